#include "program_paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace paths {
namespace {
std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : std::string();
}

std::string Home() {
    std::string h = Env("HOME");
    return h.empty() ? std::string("/tmp") : h;
}

std::string Under(const char* xdgVar, const char* fallback) {
    std::string base = Env("PIMLORA_HOME");
    if (base.empty()) {
        std::string xdg = Env(xdgVar);
        base = (xdg.empty() ? Home() + fallback : xdg) + "/pimlora";
    }
    MakeFolders(base);
    return base;
}
}  // namespace

bool MakeFolders(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
}

std::string ConfigFolder() { return Under("XDG_CONFIG_HOME", "/.config"); }
std::string CacheFolder() { return Under("XDG_CACHE_HOME", "/.cache"); }

std::string JournalRoot() {
    std::string root = CacheFolder() + "/tmp";
    MakeFolders(root);
    return root;
}

JournalLock::JournalLock() {
    const std::string root = JournalRoot();
    // Clean up after programs that are gone: their lock is free.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(root, ec)) {
        if (!entry.is_directory(ec)) continue;
        const std::string lockPath = entry.path().string() + "/.lock";
        int fd = open(lockPath.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) continue;   // not one of ours, or being made right now
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) std::filesystem::remove_all(entry.path(), ec);
        close(fd);
    }
    std::string tmpl = root + "/run-" + std::to_string(getpid()) + "-XXXXXX";
    if (!mkdtemp(tmpl.data())) return;
    const std::string lockPath = tmpl + "/.lock";
    fd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        close(fd_);
        fd_ = -1;
    }
    folder_ = tmpl + "/";
}

JournalLock::~JournalLock() {
    if (!folder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    if (fd_ >= 0) close(fd_);
}

}  // namespace paths
