#include "sane_library.h"

#include <dlfcn.h>

#include <cstdlib>

namespace acquire {

SaneLibrary::~SaneLibrary() { Unload(); }

std::string SaneLibrary::FileName() {
    const char* override = std::getenv("PIMLORA_SANE_LIBRARY");
    return override && *override ? override : "libsane.so.1";
}

namespace {
template <typename Fn>
bool Take(void* handle, const char* name, Fn& fn, std::string& error) {
    void* p = dlsym(handle, name);
    if (!p) {
        error = std::string("missing entry point ") + name;
        return false;
    }
    fn = reinterpret_cast<Fn>(p);
    return true;
}
}  // namespace

bool SaneLibrary::Load() {
    if (handle_) return true;
    error_.clear();
    const std::string file = FileName();
    void* h = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* why = dlerror();
        error_ = why ? why : ("cannot load " + file);
        return false;
    }
    bool ok = Take(h, "sane_init", init, error_) && Take(h, "sane_exit", exit, error_) &&
              Take(h, "sane_get_devices", get_devices, error_) && Take(h, "sane_open", open, error_) &&
              Take(h, "sane_close", close, error_) &&
              Take(h, "sane_get_option_descriptor", get_option_descriptor, error_) &&
              Take(h, "sane_control_option", control_option, error_) &&
              Take(h, "sane_get_parameters", get_parameters, error_) && Take(h, "sane_start", start, error_) &&
              Take(h, "sane_read", read, error_) && Take(h, "sane_cancel", cancel, error_) &&
              Take(h, "sane_strstatus", strstatus, error_);
    if (!ok) {
        dlclose(h);
        ClearEntries();
        return false;
    }
    handle_ = h;
    return true;
}

void SaneLibrary::Unload() {
    if (!handle_) return;
    dlclose(handle_);
    handle_ = nullptr;
    ClearEntries();
}

void SaneLibrary::ClearEntries() {
    init = nullptr;
    exit = nullptr;
    get_devices = nullptr;
    open = nullptr;
    close = nullptr;
    get_option_descriptor = nullptr;
    control_option = nullptr;
    get_parameters = nullptr;
    start = nullptr;
    read = nullptr;
    cancel = nullptr;
    strstatus = nullptr;
}

std::string SaneLibrary::StatusText(SANE_Status status) const {
    if (strstatus) {
        const char* t = strstatus(status);
        if (t) return t;
    }
    return "SANE status " + std::to_string(int(status));
}

}  // namespace acquire
