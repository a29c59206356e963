#include "program_paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
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

namespace {
constexpr const char* kMakingPrefix = ".making-";
constexpr const char* kRunPrefix = "run-";

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Removes the folders of programs that are gone. A folder under its final
// name always has its lock held by a running program (it was locked before
// it got that name), so a free lock means its program ended. Folders still
// being made are left alone unless they are old (a program killed while
// making one).
void RemoveStaleFolders(const std::string& root) {
    std::error_code ec;
    const auto now = std::filesystem::file_time_type::clock::now();
    for (const auto& entry : std::filesystem::directory_iterator(root, ec)) {
        if (!entry.is_directory(ec)) continue;
        const std::string name = entry.path().filename().string();
        if (StartsWith(name, kMakingPrefix)) {
            const auto when = std::filesystem::last_write_time(entry.path(), ec);
            if (!ec && now - when > std::chrono::minutes(1)) std::filesystem::remove_all(entry.path(), ec);
            continue;
        }
        const std::string lockPath = entry.path().string() + "/.lock";
        const int fd = open(lockPath.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            // A folder of ours without its lock is what an interrupted
            // clean-up left.
            if (errno == ENOENT && StartsWith(name, kRunPrefix)) std::filesystem::remove_all(entry.path(), ec);
            continue;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) std::filesystem::remove_all(entry.path(), ec);
        close(fd);
    }
}
}  // namespace

JournalLock::JournalLock() {
    const std::string root = JournalRoot();
    RemoveStaleFolders(root);
    // Made under a name the clean-up passes over, locked, and only then
    // given its final name: no other program can ever find it unlocked.
    for (int attempt = 0; attempt < 8 && fd_ < 0; ++attempt) {
        std::string making = root + "/" + kMakingPrefix + std::to_string(getpid()) + "-XXXXXX";
        if (!mkdtemp(making.data())) {
            error_ = errno;
            return;
        }
        const int fd = open((making + "/.lock").c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
            error_ = errno;
            if (fd >= 0) close(fd);
            std::error_code ec;
            std::filesystem::remove_all(making, ec);
            return;
        }
        // "PID-XXXXXX" of the name it was made under.
        const std::string tail = making.substr(root.size() + 1 + std::char_traits<char>::length(kMakingPrefix));
        const std::string final = root + "/" + kRunPrefix + tail;
        if (renameat2(AT_FDCWD, making.c_str(), AT_FDCWD, final.c_str(), RENAME_NOREPLACE) != 0) {
            error_ = errno;
            close(fd);
            std::error_code ec;
            std::filesystem::remove_all(making, ec);
            continue;
        }
        fd_ = fd;
        folder_ = final + "/";
        error_ = 0;
    }
}

JournalLock::~JournalLock() {
    if (!folder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    if (fd_ >= 0) close(fd_);
}

}  // namespace paths
