// pimlora-cli against hostile use: option hygiene, VOR output of convert,
// inputs that are not files, save failures, the memory budget and pictures
// whose documents do not fit in memory.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "VaZavi.h"
#include "test_support.h"

using namespace testsupport;

namespace {

struct Result {
    int status;
    std::string out, err;
};

// Runs pimlora-cli in `dir` with `args` (shell words), optionally after
// `prefix` (environment or shell settings).
Result Cli(const TempDir& dir, const std::string& args, const std::string& prefix = "") {
    Result r;
    const std::string errFile = dir.File("stderr.txt");
    r.status = testsupport::Run("cd " + dir.Path() + " && " + prefix + " " + std::string(PIMLORA_CLI) + " " + args +
                                    " 2>" + errFile,
                                &r.out);
    auto e = ReadBytes(errFile);
    r.err.assign(e.begin(), e.end());
    return r;
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// Files in dir other than the pictures the test made and stderr.txt.
int TemporaryFiles(const TempDir& dir) {
    int n = 0;
    if (DIR* d = opendir(dir.Path().c_str())) {
        while (const dirent* e = readdir(d))
            if (std::strstr(e->d_name, ".pimlora-tmp")) ++n;
        closedir(d);
    }
    return n;
}

void MakePicture(const std::string& path, int w, int h, int seed = 1) {
    VaZavi img(24, w, h, kTypeBMP);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = img.Row(y) + 3 * x;
            p[0] = uint8_t(x * 3 + seed), p[1] = uint8_t(y * 7), p[2] = uint8_t((x ^ y) + seed);
        }
    ASSERT_TRUE(img.Save(path.c_str(), kTypeBMP));
}

// Pixels of a picture file as ImageMagick decodes them.
std::string PixelsOf(const std::string& file) {
    std::string out;
    testsupport::Run(ImageMagick() + " " + file + " -depth 8 rgb:- | md5sum", &out);
    return out;
}

}  // namespace

// "--" ends the options in every verb; before it, an argument with a
// leading dash that is no option of the verb is a usage error, so no verb
// writes or reads a file called "-x" by accident.
TEST(CliRobust, DashNamesNeedTheEndOfOptions) {
    TempDir dir;
    MakePicture(dir.File("a.bmp"), 6, 4);
    MakePicture(dir.File("-a.bmp"), 6, 4);
    struct Case {
        const char* refused;
        const char* accepted;
        const char* written;
    } cases[] = {
        {"info -a.bmp", "info -- -a.bmp", nullptr},
        {"convert a.bmp -o.bmp", "convert a.bmp -- -o.bmp", "-o.bmp"},
        {"convert -a.bmp o2.bmp --quality 50", "convert --quality 50 -- -a.bmp -o2.jpg", "-o2.jpg"},
        {"doc a.bmp -d.vor", "doc -- a.bmp -d.vor", "-d.vor"},
        {"layers -d.vor", "layers -- -d.vor", nullptr},
        {"run a.bmp -r.bmp 1413", "run --journal -- a.bmp -r.bmp 1413", "-r.bmp"},
        {"apply a.bmp -p.bmp 1413", "apply --time -- a.bmp -p.bmp 1413", "-p.bmp"},
    };
    for (const Case& c : cases) {
        Result r = Cli(dir, c.refused);
        EXPECT_EQ(r.status, 2) << c.refused << "\n" << r.err;
        EXPECT_NE(r.err.find("unknown option '-"), std::string::npos) << r.err;
        if (c.written) {
            EXPECT_FALSE(Exists(dir.File(c.written))) << c.refused;
        }
        r = Cli(dir, c.accepted);
        EXPECT_EQ(r.status, 0) << c.accepted << "\n" << r.err;
        if (c.written) {
            EXPECT_TRUE(Exists(dir.File(c.written))) << c.accepted;
        }
    }
    // After "--" even --help is a file name.
    Result r = Cli(dir, "info -- --help");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("pimlora-cli: --help: "), std::string::npos) << r.err;
    EXPECT_EQ(Cli(dir, "convert a.bmp").status, 2);
    EXPECT_EQ(Cli(dir, "convert a.bmp o.bmp --frame").status, 2);
    // The acquiring verbs follow the same rule (no scanner or screen is
    // reached for a refused line; after "--" the name gets that far).
    for (const char* refused : {"scan -s.bmp", "scan --pages 2 -s.bmp", "capture -c.bmp"}) {
        r = Cli(dir, refused);
        EXPECT_EQ(r.status, 2) << refused << "\n" << r.err;
        EXPECT_NE(r.err.find("unknown option '-"), std::string::npos) << r.err;
    }
    r = Cli(dir, "capture -- -c.bmp", "env -u DISPLAY");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("pimlora-cli: -c.bmp: screen capture needs an X display"), std::string::npos) << r.err;
    // run's valued option goes through the same parser.
    EXPECT_EQ(Cli(dir, "run --answer maybe a.bmp r.bmp 1413").status, 2);
    EXPECT_EQ(Cli(dir, "run a.bmp r.bmp --answer").status, 2);
    EXPECT_EQ(Cli(dir, "run --answer cancel -- a.bmp -r2.bmp 1413").status, 0);
    EXPECT_TRUE(Exists(dir.File("-r2.bmp")));
}

// The JPEG quality the library takes is 1 to 100; the message says so and
// anything else is a usage error.
TEST(CliRobust, QualityRange) {
    TempDir dir;
    MakePicture(dir.File("a.bmp"), 16, 16);
    for (const char* q : {"0", "101", "255", "-3", "50x"}) {
        Result r = Cli(dir, std::string("convert a.bmp q.jpg --quality ") + q);
        EXPECT_EQ(r.status, 2) << q;
        EXPECT_NE(r.err.find("--quality takes 1 to 100"), std::string::npos) << r.err;
        EXPECT_FALSE(Exists(dir.File("q.jpg")));
    }
    EXPECT_EQ(Cli(dir, "convert a.bmp q1.jpg --quality 1").status, 0);
    EXPECT_EQ(Cli(dir, "convert a.bmp q100.jpg --quality 100").status, 0);
    struct stat s1, s100;
    ASSERT_EQ(stat(dir.File("q1.jpg").c_str(), &s1), 0);
    ASSERT_EQ(stat(dir.File("q100.jpg").c_str(), &s100), 0);
    EXPECT_LT(s1.st_size, s100.st_size);
    EXPECT_NE(Cli(dir, "--help").out.find("convert IN OUT [--frame N] [--quality Q]"), std::string::npos);
}

// convert to .vor or .sco writes the one-layer document doc writes; what doc
// writes under either name, layers and doc read back.
TEST(CliRobust, VorFromConvertAndDocUnderEveryName) {
    TempDir dir;
    MakePicture(dir.File("a.bmp"), 13, 9);
    for (const char* ext : {"vor", "sco", "VOR", "Sco"}) {
        const std::string c = std::string("c.") + ext, d = std::string("d.") + ext;
        ASSERT_EQ(Cli(dir, "convert a.bmp " + c).status, 0) << ext;
        ASSERT_EQ(Cli(dir, "doc a.bmp " + d).status, 0) << ext;
        EXPECT_EQ(ReadBytes(dir.File(c)), ReadBytes(dir.File(d))) << ext;
        for (const std::string& f : {c, d}) {
            Result r = Cli(dir, "layers " + f);
            EXPECT_EQ(r.status, 0) << f << r.err;
            EXPECT_EQ(r.out, "slot=0 kind=1 name=배경영상 x=0 y=0 width=13 height=9 visible=1 blend=0 transparency=0\n")
                << f;
            ASSERT_EQ(Cli(dir, "doc " + f + " back.bmp").status, 0) << f;
            EXPECT_EQ(PixelsOf(dir.File("back.bmp")), PixelsOf(dir.File("a.bmp"))) << f;
            // convert reads a document too: its composite.
            ASSERT_EQ(Cli(dir, "convert " + f + " flat.gif").status, 0) << f;
            ASSERT_EQ(Cli(dir, "convert " + f + " flat.bmp").status, 0) << f;
            EXPECT_EQ(PixelsOf(dir.File("flat.bmp")), PixelsOf(dir.File("a.bmp"))) << f;
        }
    }
    // A palette picture and the frame asked for.
    ASSERT_EQ(testsupport::Run(ImageMagick() + " -size 8x6 xc:red xc:blue " + dir.File("two.gif")), 0);
    ASSERT_EQ(Cli(dir, "convert two.gif --frame 1 f.vor").status, 0);
    ASSERT_EQ(Cli(dir, "doc f.vor f.bmp").status, 0);
    std::string out;
    testsupport::Run(ImageMagick() + " " + dir.File("f.bmp") + " -format '%[pixel:p{3,3}]' info:", &out);
    EXPECT_EQ(out, "srgb(0,0,255)");
    Result r = Cli(dir, "convert two.gif --frame 5 g.vor");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(Exists(dir.File("g.vor")));
}

// FIFOs and folders given as input are refused by every verb at once.
TEST(CliRobust, InputsThatAreNotFiles) {
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.File("f.bmp").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo(dir.File("f.vor").c_str(), 0644), 0);
    ASSERT_EQ(mkdir(dir.File("d.bmp").c_str(), 0755), 0);
    for (const char* args : {"info f.bmp", "convert f.bmp o.bmp", "doc f.bmp o.bmp", "layers f.vor", "doc f.vor o.bmp",
                             "run f.bmp o.bmp 1413", "info d.bmp", "doc d.bmp o.bmp"}) {
        Result r = Cli(dir, args);
        EXPECT_EQ(r.status, 1) << args;
        const bool fifo = std::strstr(args, "f.") != nullptr;
        EXPECT_NE(r.err.find(fifo ? "FIFO" : "folder"), std::string::npos) << args << "\n" << r.err;
        EXPECT_FALSE(Exists(dir.File("o.bmp")));
    }
}

// Saves refuse write-protected targets and name the system's reason for a
// failed write; the old file stays and no temporary file is left.
TEST(CliRobust, SaveFailuresAreExplained) {
    TempDir dir;
    MakePicture(dir.File("a.bmp"), 20, 20, 1);
    MakePicture(dir.File("big.bmp"), 400, 300, 2);
    for (const char* target : {"ro.bmp", "ro.vor"}) {
        ASSERT_EQ(testsupport::Run("cp " + dir.File("a.bmp") + " " + dir.File(target) + " && chmod 444 " +
                                   dir.File(target)),
                  0);
        for (const std::string verb : {"convert", "doc"}) {
            if (verb == "convert" && std::strstr(target, ".vor")) continue;
            Result r = Cli(dir, verb + " big.bmp " + target);
            EXPECT_EQ(r.status, 1) << verb << " " << target;
            EXPECT_NE(r.err.find(std::string("pimlora-cli: ") + target + ": 쓰기 금지된 파일입니다"), std::string::npos)
                << r.err;
            EXPECT_EQ(ReadBytes(dir.File(target)), ReadBytes(dir.File("a.bmp")));
        }
    }
    // A file size limit: the write fails as on a full disk.
    ASSERT_EQ(testsupport::Run("cp " + dir.File("a.bmp") + " " + dir.File("keep.bmp") + " && cp " + dir.File("a.bmp") +
                               " " + dir.File("keep.vor")),
              0);
    for (const std::string args : {"convert big.bmp keep.bmp", "doc big.bmp keep.vor", "doc big.bmp keep.bmp"}) {
        Result r = Cli(dir, args, "trap '' XFSZ; ulimit -f 100;");
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_NE(r.err.find(std::strerror(EFBIG)), std::string::npos) << args << "\n" << r.err;
    }
    EXPECT_EQ(ReadBytes(dir.File("keep.bmp")), ReadBytes(dir.File("a.bmp")));
    EXPECT_EQ(ReadBytes(dir.File("keep.vor")), ReadBytes(dir.File("a.bmp")));
    // A folder that does not exist.
    Result r = Cli(dir, "doc a.bmp nowhere/x.vor");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(std::strerror(ENOENT)), std::string::npos) << r.err;
    EXPECT_EQ(TemporaryFiles(dir), 0);
}

// A picture whose document would not fit the budget is refused from its
// header with a clear message (the 1 KB BMP of width 2^28 costs
// some 6.4 GB as a document); a command that would enlarge a document past
// the budget is refused and the run goes on with the document as it was.
TEST(CliRobust, MemoryBudget) {
    TempDir dir;
    {
        // 8-bit RLE, 268435456 x 1, in 1080 bytes.
        std::vector<uint8_t> f = {'B', 'M', 0x38, 4, 0, 0, 0, 0, 0, 0, 0x36, 4, 0, 0};
        const uint8_t info[40] = {40, 0, 0, 0, 0, 0, 0, 16, 1, 0, 0, 0, 1, 0, 8, 0, 1};
        f.insert(f.end(), info, info + 40);
        f.resize(f.size() + 1024, 0);
        f.push_back(0);
        f.push_back(1);
        WriteBytes(dir.File("w.bmp"), f);
    }
    Result r = Cli(dir, "doc w.bmp o.vor", "PIMLORA_MEMORY_BUDGET_MB=1000");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("pimlora-cli: w.bmp: 메모리가 부족하여 그림을 열 수 없습니다: 약 6401 MB가 필요하지만 허용된 "
                         "메모리는 1000 MB입니다."),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(Exists(dir.File("o.vor")));
    EXPECT_EQ(TemporaryFiles(dir), 0);

    MakePicture(dir.File("a.bmp"), 500, 400);   // about 5.2 MB as a document
    r = Cli(dir, "doc a.bmp a.vor", "PIMLORA_MEMORY_BUDGET_MB=5");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("메모리가 부족하여 그림을 열 수 없습니다"), std::string::npos) << r.err;
    // A budget that is no number is not used.
    EXPECT_EQ(Cli(dir, "doc a.bmp a.vor", "PIMLORA_MEMORY_BUDGET_MB=lots").status, 0);

    // Within 20 MB: the picture opens, the image size of 2000 x 1600 (some
    // 86 MB) and the canvas size are refused, adding a layer is not.
    r = Cli(dir, "run --journal a.bmp o.vor size:2000,1600 canvas:3000,3000,0 1552", "PIMLORA_MEMORY_BUDGET_MB=20");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("메모리가 부족하여 작업할 수 없습니다"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "0 0 Opening....\n1 2 레이어추가\n");
    r = Cli(dir, "layers o.vor");
    EXPECT_NE(r.out.find("slot=0 kind=1 name=배경영상 x=0 y=0 width=500 height=400"), std::string::npos) << r.out;
    EXPECT_EQ(TemporaryFiles(dir), 0);
}

#if !defined(__SANITIZE_ADDRESS__)
// Under a limit of the address space: a picture of width 2^22 composites
// with tables the size of the tiles it is rendered in (the per-layer column
// table once took 40 x width x 4 bytes), and an allocation that fails on the
// way ends the verb with a message, never with an abort.
TEST(CliRobust, WideCanvasAndMemoryThatRunsOut) {
    TempDir dir;
    {
        std::vector<uint8_t> f = {'B', 'M', 0x38, 4, 0, 0, 0, 0, 0, 0, 0x36, 4, 0, 0};
        const uint8_t info[40] = {40, 0, 0, 0, 0, 0, 0x40, 0, 1, 0, 0, 0, 1, 0, 8, 0, 1};   // 4194304 x 1
        f.insert(f.end(), info, info + 40);
        for (int i = 0; i < 256; ++i) f.insert(f.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
        f.insert(f.end(), {255, 7, 0, 1});   // a run of 255 pixels of index 7, end of picture
        WriteBytes(dir.File("w.bmp"), f);
    }
    Result r = Cli(dir, "doc w.bmp w.vor", "ulimit -v 600000;");
    EXPECT_EQ(r.status, 0) << r.err;
    r = Cli(dir, "doc w.vor flat.bmp", "ulimit -v 600000;");
    EXPECT_EQ(r.status, 0) << r.err;
    const auto flat = ReadBytes(dir.File("flat.bmp"));
    ASSERT_EQ(flat.size(), 54u + 3u * 4194304u);
    EXPECT_EQ(flat[18] | flat[19] << 8 | flat[20] << 16 | flat[21] << 24, 4194304);
    EXPECT_EQ(flat[54], 7);   // the first pixel: palette entry 7

    MakePicture(dir.File("big.bmp"), 3000, 2000);
    for (const std::string args : {"doc big.bmp big.vor", "doc big.bmp big.tif", "run big.bmp r.bmp 1552 1552 1413"}) {
        r = Cli(dir, args, "ulimit -v 250000; PIMLORA_MEMORY_BUDGET_MB=100000");
        EXPECT_TRUE(r.status == 0 || r.status == 1) << args << " ended by a signal\n" << r.err;
        if (r.status == 1) {
            EXPECT_NE(r.err.find("pimlora-cli: "), std::string::npos) << r.err;
        }
    }
    EXPECT_EQ(TemporaryFiles(dir), 0);
}
#endif

// Run as another user: a file of someone else's that this user may write
// keeps its owner (it is rewritten in place), one this user may not write is
// refused with the system's reason.
TEST(CliRobust, AnotherUsersFilesKeepTheirOwner) {
    if (geteuid() != 0 || !HaveTool("setpriv")) GTEST_SKIP() << "needs root to act as another user";
    TempDir dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 01777), 0);
    MakePicture(dir.File("a.bmp"), 10, 6, 1);
    MakePicture(dir.File("old.bmp"), 4, 4, 2);
    for (const char* f : {"shared.bmp", "theirs.bmp"})
        ASSERT_EQ(testsupport::Run("cp " + dir.File("old.bmp") + " " + dir.File(f)), 0);
    ASSERT_EQ(chmod(dir.File("shared.bmp").c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir.File("theirs.bmp").c_str(), 0644), 0);
    ASSERT_EQ(Cli(dir, "convert a.bmp want.bmp").status, 0);
    const std::string asNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups env PIMLORA_HOME=" + dir.Path();

    Result r = Cli(dir, "convert a.bmp shared.bmp", asNobody);
    EXPECT_EQ(r.status, 0) << r.err;
    struct stat st;
    ASSERT_EQ(stat(dir.File("shared.bmp").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_mode & 07777, 0666u);
    EXPECT_EQ(ReadBytes(dir.File("shared.bmp")), ReadBytes(dir.File("want.bmp")));

    r = Cli(dir, "convert a.bmp theirs.bmp", asNobody);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(std::string("쓰기 금지된 파일입니다 (") + std::strerror(EACCES) + ")"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(dir.File("theirs.bmp")), ReadBytes(dir.File("old.bmp")));
    EXPECT_EQ(TemporaryFiles(dir), 0);
}
