// Writing a file so that a failure never destroys the file it replaces.
//
// The data goes to a temporary file beside the target; only when everything
// was written and flushed does it take the target's place:
//   - a symbolic link is followed, and the file it names is replaced;
//   - a target that exists must be a regular file that the user may write
//     (a file without any write permission counts as write-protected even
//     for a user who could override that);
//   - the new file keeps the permission bits, and where the system allows,
//     the owner and group of the file it replaces;
//   - a file with several hard links, or one whose owner could not be kept,
//     is rewritten in place once the new content is complete, so that every
//     name sees the new content;
//   - otherwise the temporary file is renamed over the target.
// Temporary files are named ".NAME.PID.XXXXXX.pimlora-tmp". They are removed
// on every failure, also when the program is stopped by SIGINT, SIGTERM or
// SIGHUP while they exist; the next save into a folder removes the ones left
// there by programs that were killed (older than this process, owner gone).
//
// Error() names the cause the system gave (strerror) for every failure.
#pragma once

#include <cstdio>
#include <string>

class SafeFileWriter {
public:
    enum class Failure {
        None,
        WriteProtected,   // the target exists and may not be written
        NotRegular,       // the target is a folder, a FIFO, a device ...
        System,           // the system refused (Error() names why)
    };

    explicit SafeFileWriter(const std::string& target);
    ~SafeFileWriter();   // discards the temporary file unless committed
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // The stream to write to; null when the writer could not be set up.
    FILE* File() const { return file_; }
    bool Ok() const { return file_ != nullptr; }
    // Flushes and puts the new content in the target's place; false (and
    // the target untouched, its content as before) on any failure.
    bool Commit();
    const std::string& Error() const { return error_; }
    Failure Reason() const { return reason_; }
    // The file that is replaced (the target with its links followed).
    const std::string& ResolvedTarget() const { return resolved_; }
    const std::string& TempPath() const { return temp_; }
    // The system's reason for the first write to the temporary file that
    // failed (a full disk, a size limit), or "" while every write succeeded.
    std::string WriteFailure() const;

    // Suffix of every temporary file of the program.
    static constexpr const char* kTempSuffix = ".pimlora-tmp";
    // Removes the temporary files of dead programs in `folder`; returns how
    // many were removed. Called by every writer for its own folder.
    static int RemoveStaleTemporaries(const std::string& folder);

private:
    bool Fail(Failure why, const std::string& text);
    bool FailErrno(const std::string& what, int err);
    bool CopyBack();

    std::string target_, resolved_, temp_;
    FILE* file_ = nullptr;
    int fd_ = -1;
    int slot_ = -1;           // entry in the signal handler's list
    bool inPlace_ = false;    // rewrite the target instead of renaming over it
    bool done_ = false;
    int writeErrno_ = 0;      // first error of a write to the temporary file
    std::string error_;
    Failure reason_ = Failure::None;

    friend struct SafeFileCookie;
};

// Opens an input for reading without blocking on FIFOs and refuses
// anything that is not a regular file. Null with `error` set ("not a
// regular file (a FIFO)" or the system's reason) on failure.
FILE* OpenRegularFileForReading(const std::string& path, std::string& error);
