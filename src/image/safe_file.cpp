#include "safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

namespace {

constexpr const char* kWriteProtected = "쓰기 금지된 파일입니다";
constexpr size_t kMaxTempBase = 160;   // bytes of the target's name kept in a temporary name

std::string Cause(int err) { return std::strerror(err); }

std::string DirOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a chain of symbolic links ends at (which need not exist yet).
bool ResolveLinks(const std::string& path, std::string& out, int& err) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(p.c_str(), &st) != 0) {
            if (errno == ENOENT) {
                out = p;
                return true;
            }
            err = errno;
            return false;
        }
        if (!S_ISLNK(st.st_mode)) {
            out = p;
            return true;
        }
        std::vector<char> buf(size_t(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
        const ssize_t n = readlink(p.c_str(), buf.data(), buf.size() - 1);
        if (n <= 0) {
            err = n < 0 ? errno : ENOENT;
            return false;
        }
        std::string link(buf.data(), size_t(n));
        p = link[0] == '/' ? link : DirOf(p) + "/" + link;
    }
    err = ELOOP;
    return false;
}

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a plain file";
}

// --- process start times, for the stale temporaries -------------------------------

// Seconds since the epoch at which process `pid` started; -1 when unknown.
long long ProcessStartTime(pid_t pid) {
    static long long bootTime = [] {
        std::ifstream in("/proc/stat");
        std::string key;
        long long v = -1;
        while (in >> key) {
            if (key == "btime") {
                in >> v;
                break;
            }
            std::string rest;
            std::getline(in, rest);
        }
        return v;
    }();
    if (bootTime < 0) return -1;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return -1;
    const size_t close = line.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    // Field 22 of the line is the start time; the text after the command
    // name begins with field 3.
    for (int i = 3; i <= 22; ++i)
        if (!(fields >> field)) return -1;
    const long ticks = sysconf(_SC_CLK_TCK);
    if (ticks <= 0) return -1;
    return bootTime + std::atoll(field.c_str()) / ticks;
}

long long SelfStartTime() {
    static const long long start = [] {
        long long t = ProcessStartTime(getpid());
        return t >= 0 ? t : (long long)std::time(nullptr);
    }();
    return start;
}

// --- temporaries removed by SIGINT, SIGTERM and SIGHUP ----------------------------

constexpr int kSlots = 32;
struct TempSlot {
    std::atomic<int> state{0};   // 0 free, 1 being filled, 2 holds a live temporary
    char path[PATH_MAX];
};
TempSlot gSlots[kSlots];
constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction gPrevious[3];

void OnTerminatingSignal(int sig) {
    for (TempSlot& s : gSlots)
        if (s.state.load() == 2) unlink(s.path);
    for (int i = 0; i < 3; ++i)
        if (kSignals[i] == sig) sigaction(sig, &gPrevious[i], nullptr);
    raise(sig);   // delivered with the previous (default) action once we return
}

// Our handler goes only where the signal would end the program at once; a
// program with a handler of its own ends through its destructors.
void InstallHandlers() {
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    for (int i = 0; i < 3; ++i) {
        struct sigaction current;
        if (sigaction(kSignals[i], nullptr, &current) != 0) continue;
        // Ours already, ignored, or the program's own handler: left alone.
        if (current.sa_flags & SA_SIGINFO || current.sa_handler != SIG_DFL) continue;
        struct sigaction mine {};
        mine.sa_handler = OnTerminatingSignal;
        sigemptyset(&mine.sa_mask);
        for (int s : kSignals) sigaddset(&mine.sa_mask, s);
        gPrevious[i] = current;
        sigaction(kSignals[i], &mine, nullptr);
    }
}

int RegisterTemp(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    InstallHandlers();
    for (int i = 0; i < kSlots; ++i) {
        int expected = 0;
        if (gSlots[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(gSlots[i].path, path.c_str(), path.size() + 1);
            gSlots[i].state = 2;
            return i;
        }
    }
    return -1;
}

void UnregisterTemp(int slot) {
    if (slot >= 0 && slot < kSlots) gSlots[slot].state = 0;
}

// Cuts a UTF-8 name to at most n bytes without splitting a character.
std::string CutName(const std::string& name, size_t n) {
    if (name.size() <= n) return name;
    size_t k = n;
    while (k > 0 && (uint8_t(name[k]) & 0xC0) == 0x80) --k;
    return name.substr(0, k);
}

}  // namespace

// --- the stream over the temporary file --------------------------------------------
//
// Writes go straight to the descriptor, so the first error the system
// reports (a full disk, a file size limit) is kept with its errno.
struct SafeFileCookie {
    static ssize_t Write(void* c, const char* buf, size_t n) {
        auto* w = static_cast<SafeFileWriter*>(c);
        size_t done = 0;
        while (done < n) {
            const ssize_t k = ::write(w->fd_, buf + done, n - done);
            if (k < 0 && errno == EINTR) continue;
            if (k <= 0) {
                if (!w->writeErrno_) w->writeErrno_ = k < 0 ? errno : ENOSPC;
                return -1;
            }
            done += size_t(k);
        }
        return ssize_t(n);
    }
    static ssize_t Read(void* c, char* buf, size_t n) {
        auto* w = static_cast<SafeFileWriter*>(c);
        for (;;) {
            const ssize_t k = ::read(w->fd_, buf, n);
            if (k < 0 && errno == EINTR) continue;
            return k;
        }
    }
    static int Seek(void* c, off64_t* offset, int whence) {
        auto* w = static_cast<SafeFileWriter*>(c);
        const off_t r = lseek(w->fd_, off_t(*offset), whence);
        if (r < 0) return -1;
        *offset = r;
        return 0;
    }
    static int Close(void*) { return 0; }   // the writer closes the descriptor
};

SafeFileWriter::SafeFileWriter(const std::string& target) : target_(target) {
    int err = 0;
    if (target.empty()) {
        Fail(Failure::System, Cause(ENOENT));
        return;
    }
    if (!ResolveLinks(target, resolved_, err)) {
        FailErrno("can't follow the link", err);
        return;
    }
    const std::string dir = DirOf(resolved_);
    RemoveStaleTemporaries(dir);

    struct stat st;
    const bool exists = stat(resolved_.c_str(), &st) == 0;
    if (exists) {
        if (!S_ISREG(st.st_mode)) {
            Fail(Failure::NotRegular, std::string("not a regular file (") + KindOf(st.st_mode) + ")");
            return;
        }
        // No write permission bit at all marks a file as read-only for
        // everybody, also for a user whom the system would let write it.
        if ((st.st_mode & 0222) == 0) {
            Fail(Failure::WriteProtected, kWriteProtected);
            return;
        }
        if (access(resolved_.c_str(), W_OK) != 0) {
            const int e = errno;
            Fail(Failure::WriteProtected, std::string(kWriteProtected) + " (" + Cause(e) + ")");
            return;
        }
        inPlace_ = st.st_nlink > 1;
    }

    auto makeTemp = [&](const std::string& folder) {
        temp_ = folder + "/." + CutName(BaseOf(resolved_), kMaxTempBase) + "." + std::to_string(getpid()) +
                ".XXXXXX" + kTempSuffix;
        fd_ = mkostemps(temp_.data(), int(std::strlen(kTempSuffix)), O_CLOEXEC);
        if (fd_ < 0) temp_.clear();
        return fd_ >= 0;
    };
    if (!makeTemp(dir)) {
        err = errno;
        // A writable file in a folder we may not add to: the new content is
        // put together elsewhere and then written into the file itself.
        const char* tmpdir = std::getenv("TMPDIR");
        if (!(exists && (err == EACCES || err == EPERM || err == EROFS) &&
              makeTemp(tmpdir && *tmpdir ? tmpdir : P_tmpdir))) {
            FailErrno("can't create a temporary file in " + dir, err);
            return;
        }
        inPlace_ = true;
    }
    slot_ = RegisterTemp(temp_);

    if (exists) {
        // Owner and group first (a change of owner clears the set-id bits),
        // then the mode. When the owner cannot be kept, the file is
        // rewritten in place and keeps it that way.
        if (fchown(fd_, st.st_uid, st.st_gid) != 0) {
            struct stat mine;
            if (fstat(fd_, &mine) != 0 || mine.st_uid != st.st_uid || mine.st_gid != st.st_gid) inPlace_ = true;
        }
        fchmod(fd_, st.st_mode & 07777);
    } else {
        // The usual 0666 & ~umask of a new file.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd_, 0666 & ~mask);
    }

    cookie_io_functions_t io{SafeFileCookie::Read, SafeFileCookie::Write, SafeFileCookie::Seek,
                             SafeFileCookie::Close};
    file_ = fopencookie(this, "w+", io);
    if (!file_) FailErrno("can't create a temporary file", errno);
}

SafeFileWriter::~SafeFileWriter() {
    if (file_) std::fclose(file_);
    if (fd_ >= 0) close(fd_);
    if (!done_ && !temp_.empty()) unlink(temp_.c_str());
    UnregisterTemp(slot_);
}

std::string SafeFileWriter::WriteFailure() const { return writeErrno_ ? Cause(writeErrno_) : std::string(); }

bool SafeFileWriter::Fail(Failure why, const std::string& text) {
    if (reason_ == Failure::None) {
        reason_ = why;
        error_ = text;
    }
    return false;
}

bool SafeFileWriter::FailErrno(const std::string& what, int err) {
    return Fail(Failure::System, what + ": " + Cause(err));
}

bool SafeFileWriter::Commit() {
    if (!file_) return false;
    const bool flushed = std::fflush(file_) == 0;
    const int flushErr = errno;
    const bool streamError = std::ferror(file_) != 0;
    std::fclose(file_);
    file_ = nullptr;
    if (writeErrno_) return FailErrno("write error", writeErrno_);
    if (!flushed || streamError) return FailErrno("write error", flushErr ? flushErr : EIO);
    if (fsync(fd_) != 0) return FailErrno("write error", errno);
    if (inPlace_) {
        if (!CopyBack()) return false;
        unlink(temp_.c_str());
    } else if (rename(temp_.c_str(), resolved_.c_str()) != 0) {
        return FailErrno("can't replace " + resolved_, errno);
    }
    close(fd_);
    fd_ = -1;
    done_ = true;
    UnregisterTemp(slot_);
    slot_ = -1;
    return true;
}

// The complete new content into the target itself. Room for it is claimed
// first, so that a full disk is found before the old content is touched.
bool SafeFileWriter::CopyBack() {
    const off_t size = lseek(fd_, 0, SEEK_END);
    if (size < 0) return FailErrno("write error", errno);
    const int out = open(resolved_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (out < 0) return FailErrno("can't write " + resolved_, errno);
    if (size > 0 && fallocate(out, FALLOC_FL_KEEP_SIZE, 0, size) != 0 &&
        (errno == ENOSPC || errno == EFBIG || errno == EDQUOT)) {
        const int e = errno;
        close(out);
        return FailErrno("write error", e);
    }
    std::vector<char> buf(size_t(1) << 20);
    off_t at = 0;
    int err = 0;
    while (at < size && !err) {
        const ssize_t n = pread(fd_, buf.data(), buf.size(), at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = n < 0 ? errno : EIO;
            break;
        }
        for (ssize_t done = 0; done < n && !err;) {
            const ssize_t k = pwrite(out, buf.data() + done, size_t(n - done), at + done);
            if (k < 0 && errno == EINTR) continue;
            if (k <= 0) err = k < 0 ? errno : ENOSPC;
            else done += k;
        }
        at += n;
    }
    if (!err && ftruncate(out, size) != 0) err = errno;
    if (!err && fsync(out) != 0) err = errno;
    if (close(out) != 0 && !err) err = errno;
    if (err) {
        // The target is only partly rewritten: the temporary file keeps the
        // whole new content and is left for the user.
        done_ = true;
        return Fail(Failure::System, "write error: " + Cause(err) + "; the new content is kept in " + temp_);
    }
    return true;
}

int SafeFileWriter::RemoveStaleTemporaries(const std::string& folder) {
    DIR* d = opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return 0;
    const size_t suffix = std::strlen(kTempSuffix);
    const long long selfStart = SelfStartTime();
    const pid_t self = getpid();
    const uid_t me = geteuid();
    int removed = 0;
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        // ".NAME.PID.XXXXXX.pimlora-tmp"
        if (name.size() < suffix + 10 || name[0] != '.' || name.compare(name.size() - suffix, suffix, kTempSuffix) != 0)
            continue;
        const std::string stem = name.substr(0, name.size() - suffix);
        const size_t randomDot = stem.rfind('.');
        if (randomDot == std::string::npos || stem.size() - randomDot != 7 || randomDot == 0) continue;
        const size_t pidDot = stem.rfind('.', randomDot - 1);
        if (pidDot == std::string::npos || pidDot == 0 || pidDot + 1 >= randomDot) continue;
        const std::string pidText = stem.substr(pidDot + 1, randomDot - pidDot - 1);
        if (pidText.size() > 9 || pidText.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = pid_t(std::atol(pidText.c_str()));
        if (pid <= 0 || pid == self) continue;
        const std::string path = (folder.empty() ? std::string(".") : folder) + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (me != 0 && st.st_uid != me) continue;
        if ((long long)st.st_mtime >= selfStart) continue;   // may be a save going on right now
        // The owner is gone, or its number now belongs to a later process.
        bool ownerAlive = kill(pid, 0) == 0 || errno == EPERM;
        if (ownerAlive) {
            const long long started = ProcessStartTime(pid);
            if (started >= 0 && started > (long long)st.st_mtime) ownerAlive = false;
        }
        if (ownerAlive) continue;
        if (unlink(path.c_str()) == 0) ++removed;
    }
    closedir(d);
    return removed;
}

FILE* OpenRegularFileForReading(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = Cause(errno);
        return nullptr;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        error = Cause(errno);
        close(fd);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        error = std::string("not a regular file (") + KindOf(st.st_mode) + ")";
        close(fd);
        return nullptr;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    FILE* f = fdopen(fd, "rb");
    if (!f) {
        error = Cause(errno);
        close(fd);
    }
    return f;
}
