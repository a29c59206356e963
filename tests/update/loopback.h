// Test servers on 127.0.0.1 (tests/update/servers.py), started per test and
// ended when the object goes (their input closes), and small file helpers.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "update_config.h"

extern char** environ;

namespace fs = std::filesystem;

inline std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteText(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

// A fresh folder per test, removed afterwards.
struct TempFolder {
    fs::path path;
    TempFolder() {
        char name[] = "/tmp/pimlora_update_XXXXXX";
        path = ::mkdtemp(name);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

class Loopback {
public:
    // HTTP on httpRoot; FTP (accounts tester and reader) on ftpHome if given.
    explicit Loopback(const fs::path& httpRoot, const fs::path& ftpHome = {}, const fs::path& log = {}) {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0) return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_addclose(&fa, in[1]);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        std::string script = std::string(UPDATE_TEST_DIR) + "/servers.py";
        std::vector<std::string> args = {"/usr/bin/python3", script, "--http-root", httpRoot.string()};
        if (!ftpHome.empty()) args.insert(args.end(), {"--ftp-home", ftpHome.string()});
        if (!log.empty()) args.insert(args.end(), {"--log", log.string()});
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        ::close(in[0]);
        ::close(out[1]);
        input_ = in[1];
        ::fcntl(input_, F_SETFD, FD_CLOEXEC);
        FILE* f = ::fdopen(out[0], "r");
        if (f && std::fscanf(f, "http=%d ftp=%d", &http_, &ftp_) != 2) http_ = ftp_ = 0;
        if (f) std::fclose(f);
    }
    ~Loopback() {
        if (input_ >= 0) ::close(input_);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    int http() const { return http_; }
    int ftp() const { return ftp_; }
    std::string host() const { return "127.0.0.1:" + std::to_string(http_); }

private:
    pid_t pid_ = 0;
    int input_ = -1, http_ = 0, ftp_ = 0;
};

// A configuration pointing at the servers, bound to one second.
inline update::UpdateConfig TestConfig(const std::string& updateHost) {
    update::UpdateConfig c;
    c.updateHost = updateHost;
    c.timeoutSeconds = 1;
    return c;
}

// Writes "user:password" owner-only.
inline fs::path Credentials(const fs::path& folder, const std::string& account, mode_t mode = 0600) {
    fs::path p = folder / "counter.account";
    WriteText(p, account + "\n");
    ::chmod(p.c_str(), mode);
    return p;
}

// Waits (up to 20 s) for a file that another process writes.
inline bool WaitForFile(const fs::path& p) {
    for (int i = 0; i < 400; ++i) {
        std::error_code ec;
        if (fs::exists(p, ec) && fs::file_size(p, ec) > 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}
