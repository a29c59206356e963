// Saving over existing files: write-protected targets, links, permissions,
// failed writes and their messages, temporary files; inputs that are not
// regular files.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ImageStream.h"
#include "VaZavi.h"
#include "safe_file.h"
#include "test_support.h"

using namespace testsupport;

namespace {

// A w x h true-colour picture whose pixels depend on `seed`.
VaZavi Picture(int w, int h, int seed) {
    VaZavi img(24, w, h, kTypeBMP);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = img.Row(y) + 3 * x;
            p[0] = uint8_t(x * 7 + seed), p[1] = uint8_t(y * 5 + seed), p[2] = uint8_t(seed * 31);
        }
    return img;
}

std::vector<uint8_t> Encoded(VaZavi& img, int type) {
    ImageStream out;
    EXPECT_TRUE(img.Save(out, type));
    return std::vector<uint8_t>(out.Data(), out.Data() + out.Tell());
}

// Names in a folder that end with the temporary files' suffix.
std::vector<std::string> Temporaries(const std::string& folder) {
    std::vector<std::string> found;
    if (DIR* d = opendir(folder.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            const std::string suffix = SafeFileWriter::kTempSuffix;
            if (n.size() > suffix.size() && n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
                found.push_back(n);
        }
        closedir(d);
    }
    return found;
}

mode_t ModeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Start of a process in seconds since the epoch, from /proc (-1 unknown).
long long StartTime(pid_t pid) {
    long long boot = -1;
    {
        std::ifstream in("/proc/stat");
        std::string key;
        while (in >> key)
            if (key == "btime") {
                in >> boot;
                break;
            }
    }
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (boot < 0 || !std::getline(in, line)) return -1;
    std::istringstream f(line.substr(line.rfind(')') + 1));
    std::string field;
    for (int i = 3; i <= 22; ++i) f >> field;
    return boot + std::atoll(field.c_str()) / sysconf(_SC_CLK_TCK);
}

void SetMtime(const std::string& path, long long when) {
    struct timeval tv[2] = {{time_t(when), 0}, {time_t(when), 0}};
    ASSERT_EQ(utimes(path.c_str(), tv), 0);
}

}  // namespace

// A target that may not be written is refused with the Korean message and
// keeps its content; a write-protected file is one without any write
// permission, even for a user (root) whom the system would let write it.
TEST(SafeSave, WriteProtectedTargetsAreRefusedAndKept) {
    TempDir dir;
    VaZavi a = Picture(9, 4, 1), b = Picture(9, 4, 2);
    const std::string f = dir.File("ro.bmp");
    ASSERT_TRUE(a.Save(f.c_str(), kTypeBMP));
    const auto before = ReadBytes(f);
    ASSERT_EQ(chmod(f.c_str(), 0444), 0);
    EXPECT_FALSE(b.Save(f.c_str(), kTypeBMP));
    EXPECT_STREQ(b.LastError(), "쓰기 금지된 파일입니다");
    EXPECT_EQ(ReadBytes(f), before);
    EXPECT_EQ(ModeOf(f), 0444u);
    // Through a link to it, too.
    ASSERT_EQ(symlink("ro.bmp", dir.File("to-ro.bmp").c_str()), 0);
    EXPECT_FALSE(b.Save(dir.File("to-ro.bmp").c_str(), kTypeBMP));
    EXPECT_EQ(ReadBytes(f), before);
    EXPECT_TRUE(Temporaries(dir.Path()).empty());
    // Writable again: the save goes through and the mode stays.
    ASSERT_EQ(chmod(f.c_str(), 0640), 0);
    ASSERT_TRUE(b.Save(f.c_str(), kTypeBMP)) << b.LastError();
    EXPECT_EQ(ReadBytes(f), Encoded(b, kTypeBMP));
    EXPECT_EQ(ModeOf(f), 0640u);
}

// A symbolic link stays a link and the file it names gets the new picture
// (through a chain of links and relative targets; a dangling link creates
// its target).
TEST(SafeSave, LinksAreFollowed) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0755), 0);
    VaZavi a = Picture(6, 5, 3), b = Picture(6, 5, 4);
    const std::string real = dir.File("sub/real.bmp");
    ASSERT_TRUE(a.Save(real.c_str(), kTypeBMP));
    ASSERT_EQ(chmod(real.c_str(), 0600), 0);
    ASSERT_EQ(symlink("sub/real.bmp", dir.File("one.bmp").c_str()), 0);
    ASSERT_EQ(symlink("one.bmp", dir.File("two.bmp").c_str()), 0);
    ASSERT_TRUE(b.Save(dir.File("two.bmp").c_str(), kTypeBMP)) << b.LastError();
    struct stat st;
    ASSERT_EQ(lstat(dir.File("two.bmp").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(lstat(dir.File("one.bmp").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadBytes(real), Encoded(b, kTypeBMP));
    EXPECT_EQ(ModeOf(real), 0600u);
    ASSERT_EQ(symlink("sub/new.bmp", dir.File("dangling.bmp").c_str()), 0);
    ASSERT_TRUE(a.Save(dir.File("dangling.bmp").c_str(), kTypeBMP)) << a.LastError();
    EXPECT_EQ(ReadBytes(dir.File("sub/new.bmp")), Encoded(a, kTypeBMP));
    // A loop of links is a failure with the system's reason.
    ASSERT_EQ(symlink("loop2.bmp", dir.File("loop1.bmp").c_str()), 0);
    ASSERT_EQ(symlink("loop1.bmp", dir.File("loop2.bmp").c_str()), 0);
    EXPECT_FALSE(a.Save(dir.File("loop1.bmp").c_str(), kTypeBMP));
    EXPECT_NE(std::string(a.LastError()).find(std::strerror(ELOOP)), std::string::npos) << a.LastError();
    EXPECT_TRUE(Temporaries(dir.Path()).empty());
    EXPECT_TRUE(Temporaries(dir.File("sub")).empty());
}

// Every name of a file with several hard links sees the new picture: the
// file is rewritten in place (same inode), also when it shrinks.
TEST(SafeSave, HardLinkedFilesAreRewrittenInPlace) {
    TempDir dir;
    VaZavi big = Picture(50, 40, 5), small = Picture(7, 3, 6);
    const std::string f = dir.File("a.bmp"), g = dir.File("b.bmp");
    ASSERT_TRUE(big.Save(f.c_str(), kTypeBMP));
    ASSERT_EQ(link(f.c_str(), g.c_str()), 0);
    struct stat before;
    ASSERT_EQ(stat(f.c_str(), &before), 0);
    ASSERT_TRUE(small.Save(g.c_str(), kTypeBMP)) << small.LastError();
    struct stat after;
    ASSERT_EQ(stat(f.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_nlink, 2u);
    EXPECT_EQ(ReadBytes(f), Encoded(small, kTypeBMP));
    EXPECT_EQ(ReadBytes(g), ReadBytes(f));
    ASSERT_TRUE(big.Save(f.c_str(), kTypeJPEG)) << big.LastError();
    EXPECT_EQ(ReadBytes(g), ReadBytes(f));
    EXPECT_TRUE(Temporaries(dir.Path()).empty());
}

// A new file gets the usual mode of new files; a replaced one keeps its own.
TEST(SafeSave, PermissionBitsAreKept) {
    TempDir dir;
    VaZavi a = Picture(4, 4, 7);
    const mode_t mask = umask(027);
    ASSERT_TRUE(a.Save(dir.File("new.bmp").c_str(), kTypeBMP));
    umask(mask);
    EXPECT_EQ(ModeOf(dir.File("new.bmp")), 0640u);
    ASSERT_EQ(chmod(dir.File("new.bmp").c_str(), 0604), 0);
    ASSERT_TRUE(a.Save(dir.File("new.bmp").c_str(), kTypeTIFF));
    EXPECT_EQ(ModeOf(dir.File("new.bmp")), 0604u);
}

// A FIFO, a folder or a device is no file to replace, and no input: both
// are refused at once, without waiting for a writer of the FIFO.
TEST(SafeSave, NonRegularFilesAreRefused) {
    TempDir dir;
    const std::string fifo = dir.File("pipe.bmp"), folder = dir.File("folder.bmp");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    VaZavi a = Picture(3, 3, 8);
    EXPECT_FALSE(a.Save(fifo.c_str(), kTypeBMP));
    EXPECT_STREQ(a.LastError(), "not a regular file (a FIFO)");
    EXPECT_FALSE(a.Save(folder.c_str(), kTypeBMP));
    EXPECT_STREQ(a.LastError(), "not a regular file (a folder)");
    EXPECT_FALSE(a.Save("/dev/null", kTypeBMP));
    EXPECT_STREQ(a.LastError(), "not a regular file (a character device)");
    struct stat st;
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    VaZavi in;
    EXPECT_FALSE(in.Load(fifo.c_str(), kTypeBMP));
    EXPECT_STREQ(in.LastError(), "can't open file: not a regular file (a FIFO)");
    EXPECT_FALSE(in.Load(fifo.c_str(), kTypeDetect));
    EXPECT_FALSE(in.Load(folder.c_str(), kTypeBMP));
    EXPECT_STREQ(in.LastError(), "can't open file: not a regular file (a folder)");
    std::string why;
    EXPECT_EQ(OpenRegularFileForReading(fifo, why), nullptr);
    EXPECT_EQ(why, "not a regular file (a FIFO)");
    EXPECT_TRUE(Temporaries(dir.Path()).empty());
}

// A write that fails names the system's reason (here the file size limit,
// which a full disk would give as "No space left on device"), leaves the
// replaced file as it was and removes the temporary file; the same for a
// missing folder.
TEST(SafeSave, FailedWritesNameTheCauseAndKeepTheTarget) {
    TempDir dir;
    VaZavi small = Picture(4, 4, 9), big = Picture(300, 200, 10);
    const auto noise = RandomBytes(big.ImageBytes(), 3);   // so that no coder makes it small
    std::memcpy(big.bits, noise.data(), noise.size());
    const std::string f = dir.File("keep.bmp");
    ASSERT_TRUE(small.Save(f.c_str(), kTypeBMP));
    const auto before = ReadBytes(f);
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = old;
    limit.rlim_cur = 20000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    std::vector<std::string> messages;
    for (int type : {kTypeBMP, kTypeTIFF, kTypeJPEG}) {
        const bool ok = big.Save(f.c_str(), type);
        messages.push_back(big.LastError());
        EXPECT_FALSE(ok) << type;
    }
    // The hard-linked (rewrite in place) road fails the same way.
    ASSERT_EQ(link(f.c_str(), dir.File("other.bmp").c_str()), 0);
    EXPECT_FALSE(big.Save(f.c_str(), kTypeBMP));
    messages.push_back(big.LastError());
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, previous);
    for (const std::string& m : messages)
        EXPECT_NE(m.find(std::strerror(EFBIG)), std::string::npos) << m;
    EXPECT_EQ(messages[0].rfind("write error: ", 0), 0u) << messages[0];
    EXPECT_EQ(ReadBytes(f), before);
    EXPECT_EQ(ReadBytes(dir.File("other.bmp")), before);
    EXPECT_TRUE(Temporaries(dir.Path()).empty());

    EXPECT_FALSE(small.Save(dir.File("missing/x.bmp").c_str(), kTypeBMP));
    EXPECT_NE(std::string(small.LastError()).find(std::strerror(ENOENT)), std::string::npos) << small.LastError();
}

// Temporary files of programs that were killed are removed by the next save
// into their folder; those of a program that still runs, and any newer than
// this process, stay.
TEST(SafeSave, StaleTemporariesOfDeadProgramsAreRemoved) {
    TempDir dir;
    const long long self = StartTime(getpid());
    ASSERT_GT(self, 0);
    // A process number that is not in use.
    pid_t dead = 0;
    for (pid_t p = 4000000; p > 300000; p -= 7777)
        if (kill(p, 0) != 0 && errno == ESRCH) {
            dead = p;
            break;
        }
    ASSERT_NE(dead, 0);
    auto name = [&](pid_t pid, const char* base) {
        return dir.File(std::string(".") + base + "." + std::to_string(pid) + ".AbC123" + SafeFileWriter::kTempSuffix);
    };
    const std::string stale = name(dead, "pic.bmp"), fresh = name(dead, "new.bmp");
    const std::string foreign = dir.File(".pic.bmp.123.AbC123.other-tmp");
    WriteBytes(stale, {1, 2, 3});
    WriteBytes(fresh, {1});
    WriteBytes(foreign, {1});
    SetMtime(stale, self - 30);
    SetMtime(foreign, self - 30);
    // The owner of this one runs: a process that started before the file.
    std::string live;
    for (pid_t p : {getppid(), pid_t(1)}) {
        const long long started = StartTime(p);
        if (started > 0 && started + 2 <= self) {
            live = name(p, "live.bmp");
            WriteBytes(live, {1});
            SetMtime(live, started + 1);
            break;
        }
    }
    VaZavi a = Picture(3, 2, 11);
    ASSERT_TRUE(a.Save(dir.File("out.bmp").c_str(), kTypeBMP));
    EXPECT_NE(access(stale.c_str(), F_OK), 0) << "the dead program's temporary file stays";
    EXPECT_EQ(access(fresh.c_str(), F_OK), 0);     // newer than this process
    EXPECT_EQ(access(foreign.c_str(), F_OK), 0);   // not one of ours
    if (!live.empty()) {
        EXPECT_EQ(access(live.c_str(), F_OK), 0);
    }
}

// SIGTERM and SIGINT while a save is being written: the program ends by the
// signal and leaves no temporary file.
TEST(SafeSave, SignalsRemoveTheTemporaryFile) {
    for (int sig : {SIGTERM, SIGINT}) {
        TempDir dir;
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(ready[0]);
            signal(sig, SIG_DFL);   // as in a program started from a terminal
            SafeFileWriter w(dir.File("pic.bmp"));
            if (!w.Ok()) _exit(3);
            std::fputs("partly written", w.File());
            std::fflush(w.File());
            if (write(ready[1], "x", 1) != 1) _exit(4);
            for (;;) pause();
        }
        close(ready[1]);
        char c;
        ASSERT_EQ(read(ready[0], &c, 1), 1);
        close(ready[0]);
        EXPECT_EQ(Temporaries(dir.Path()).size(), 1u);
        kill(child, sig);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_TRUE(Temporaries(dir.Path()).empty()) << sig;
        EXPECT_NE(access(dir.File("pic.bmp").c_str(), F_OK), 0);
    }
}
