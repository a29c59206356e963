// Writing a file so that a failure never destroys the file it replaces: the
// data goes to a temporary file beside the target, which is renamed over the
// target only when everything was written and flushed.
#pragma once

#include <cstdio>
#include <string>

class SafeFileWriter {
public:
    explicit SafeFileWriter(const std::string& target);
    ~SafeFileWriter();   // discards the temporary file unless committed
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    FILE* File() const { return file_; }
    bool Ok() const { return file_ != nullptr; }
    // Flushes, closes and renames over the target; false (and the target
    // untouched) on any failure.
    bool Commit();
    const std::string& Error() const { return error_; }

private:
    std::string target_, temp_;
    FILE* file_ = nullptr;
    bool done_ = false;
    std::string error_;
};
