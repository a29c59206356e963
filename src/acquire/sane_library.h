// The SANE library, loaded at run time: the editor starts and runs without
// it. Every entry point is taken from "libsane.so.1" (or the file named by
// $PIMLORA_SANE_LIBRARY) when the scanner manager starts; without the
// library Loaded() is false and nothing else may be called.
#pragma once

#include <sane/sane.h>

#include <string>

namespace acquire {

class SaneLibrary {
public:
    SaneLibrary() = default;
    ~SaneLibrary();
    SaneLibrary(const SaneLibrary&) = delete;
    SaneLibrary& operator=(const SaneLibrary&) = delete;

    // dlopen and take every entry point; false (and nothing loaded) when the
    // library or one of its functions is missing.
    bool Load();
    void Unload();
    bool Loaded() const { return handle_ != nullptr; }
    // Why the last Load failed.
    const std::string& Error() const { return error_; }
    // The file Load opens.
    static std::string FileName();

    SANE_Status (*init)(SANE_Int* version, SANE_Auth_Callback authorize) = nullptr;
    void (*exit)() = nullptr;
    SANE_Status (*get_devices)(const SANE_Device*** list, SANE_Bool localOnly) = nullptr;
    SANE_Status (*open)(SANE_String_Const name, SANE_Handle* handle) = nullptr;
    void (*close)(SANE_Handle handle) = nullptr;
    const SANE_Option_Descriptor* (*get_option_descriptor)(SANE_Handle handle, SANE_Int option) = nullptr;
    SANE_Status (*control_option)(SANE_Handle handle, SANE_Int option, SANE_Action action, void* value,
                                  SANE_Int* info) = nullptr;
    SANE_Status (*get_parameters)(SANE_Handle handle, SANE_Parameters* params) = nullptr;
    SANE_Status (*start)(SANE_Handle handle) = nullptr;
    SANE_Status (*read)(SANE_Handle handle, SANE_Byte* data, SANE_Int maxLength, SANE_Int* length) = nullptr;
    void (*cancel)(SANE_Handle handle) = nullptr;
    SANE_String_Const (*strstatus)(SANE_Status status) = nullptr;

    // sane_strstatus when loaded, else a fixed text.
    std::string StatusText(SANE_Status status) const;

private:
    void ClearEntries();

    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace acquire
