#include "safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

SafeFileWriter::SafeFileWriter(const std::string& target) : target_(target) {
    std::string dir = ".", base = target;
    if (auto slash = target.rfind('/'); slash != std::string::npos) {
        dir = slash == 0 ? "/" : target.substr(0, slash);
        base = target.substr(slash + 1);
    }
    temp_ = dir + "/." + base + ".XXXXXX";
    int fd = mkstemp(temp_.data());
    if (fd < 0) {
        error_ = std::strerror(errno);
        temp_.clear();
        return;
    }
    // Keep the mode of the file being replaced, else the usual 0666 & ~umask.
    struct stat st;
    if (stat(target.c_str(), &st) == 0) {
        fchmod(fd, st.st_mode & 07777);
    } else {
        mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }
    file_ = fdopen(fd, "wb");
    if (!file_) {
        error_ = std::strerror(errno);
        close(fd);
    }
}

SafeFileWriter::~SafeFileWriter() {
    if (file_) std::fclose(file_);
    if (!done_ && !temp_.empty()) unlink(temp_.c_str());
}

bool SafeFileWriter::Commit() {
    if (!file_) return false;
    bool ok = std::fflush(file_) == 0 && !std::ferror(file_) && fsync(fileno(file_)) == 0;
    if (!ok) error_ = std::strerror(errno);
    if (std::fclose(file_) != 0 && ok) {
        ok = false;
        error_ = std::strerror(errno);
    }
    file_ = nullptr;
    if (!ok) return false;
    if (rename(temp_.c_str(), target_.c_str()) != 0) {
        error_ = std::strerror(errno);
        return false;
    }
    done_ = true;
    return true;
}
