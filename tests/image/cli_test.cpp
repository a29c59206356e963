// pimlora-cli: the info line, convert, exit codes and the failure line.
#include <gtest/gtest.h>

#include <string>

#include "VaZavi.h"
#include "test_support.h"

using namespace testsupport;

namespace {

struct Result {
    int status;
    std::string out, err;
};

Result Cli(const TempDir& dir, const std::string& args) {
    Result r;
    const std::string errFile = dir.File("stderr.txt");
    r.status = testsupport::Run(std::string(PIMLORA_CLI) + " " + args + " 2>" + errFile, &r.out);
    auto e = ReadBytes(errFile);
    r.err.assign(e.begin(), e.end());
    return r;
}

// A 5 x 3 8-bit picture at 300 x 150 dpi.
void MakeBmp(const std::string& path) {
    VaZavi img(8, 5, 3, kTypeBMP);
    img.SetGrayPalette();
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) img.SetPixelIndex(x, y, x * 40 + y);
    img.SetXDpi(300);
    img.SetYDpi(150);
    ASSERT_TRUE(img.Save(path.c_str(), kTypeBMP));
}

}  // namespace

TEST(Cli, InfoPrintsOneLine) {
    TempDir dir;
    MakeBmp(dir.File("a.bmp"));
    Result r = Cli(dir, "info " + dir.File("a.bmp"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "format=bmp width=5 height=3 bits=8 colors=256 frames=1 xdpi=300 ydpi=150\n");
    EXPECT_EQ(r.err, "");

    // Unknown extension: detection finds the decoder that reads it.
    ASSERT_EQ(testsupport::Run("cp " + dir.File("a.bmp") + " " + dir.File("a.dat")), 0);
    r = Cli(dir, "info " + dir.File("a.dat"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "format=bmp width=5 height=3 bits=8 colors=256 frames=1 xdpi=300 ydpi=150\n");

    // A true-colour PCX (its resolution is not read: the default 72 dpi).
    ASSERT_EQ(testsupport::Run("ppmmake rgb:10/20/30 7 4 | ppmtopcx -24bit > " + dir.File("c.pcx") + " 2>/dev/null"), 0);
    r = Cli(dir, "info " + dir.File("c.pcx"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "format=pcx width=7 height=4 bits=24 colors=0 frames=1 xdpi=72 ydpi=72\n");
}

TEST(Cli, FailuresNameTheFileAndTheMessage) {
    TempDir dir;
    MakeBmp(dir.File("a.bmp"));
    // The extension chooses the decoder.
    ASSERT_EQ(testsupport::Run("cp " + dir.File("a.bmp") + " " + dir.File("a.pcx")), 0);
    Result r = Cli(dir, "info " + dir.File("a.pcx"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "pimlora-cli: " + dir.File("a.pcx") + ": Error: Not a PCX file\n");

    r = Cli(dir, "info " + dir.File("missing.bmp"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("pimlora-cli: " + dir.File("missing.bmp") + ": ", 0), 0u) << r.err;
    EXPECT_GT(r.err.size(), ("pimlora-cli: " + dir.File("missing.bmp") + ": \n").size());

    // Nothing reads it under detection either: still a clear text.
    WriteBytes(dir.File("junk.dat"), {1, 2, 3});
    r = Cli(dir, "info " + dir.File("junk.dat"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "pimlora-cli: " + dir.File("junk.dat") + ": not a picture this program can read\n");
}

TEST(Cli, ConvertRoundTripsAndKeepsOutOnFailure) {
    TempDir dir;
    MakeBmp(dir.File("a.bmp"));
    Result r = Cli(dir, "convert " + dir.File("a.bmp") + " " + dir.File("b.bmp") + " --frame 0 --quality 90");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadBytes(dir.File("a.bmp")), ReadBytes(dir.File("b.bmp")));

    // PCX in, BMP out: the picture the tools see is the same.
    ASSERT_EQ(testsupport::Run("ppmmake rgb:10/20/30 6 2 | ppmtopcx -8bit > " + dir.File("c.pcx") + " 2>/dev/null"), 0);
    r = Cli(dir, "convert " + dir.File("c.pcx") + " " + dir.File("c.bmp"));
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(testsupport::Run("pcxtoppm " + dir.File("c.pcx") + " > " + dir.File("1.ppm") + " 2>/dev/null"), 0);
    ASSERT_EQ(testsupport::Run("bmptopnm " + dir.File("c.bmp") + " > " + dir.File("2.ppm") + " 2>/dev/null"), 0);
    EXPECT_EQ(Compare(ReadPnm(dir.File("1.ppm")), ReadPnm(dir.File("2.ppm"))).count, 0u);
    r = Cli(dir, "info " + dir.File("c.bmp"));
    EXPECT_EQ(r.out, "format=bmp width=6 height=2 bits=8 colors=256 frames=1 xdpi=72 ydpi=72\n");

    // A save that fails leaves an existing OUT as it was.
    WriteBytes(dir.File("out.pcx"), {'k', 'e', 'e', 'p'});
    r = Cli(dir, "convert " + dir.File("a.bmp") + " " + dir.File("out.pcx"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "pimlora-cli: " + dir.File("out.pcx") + ": Unsupported operation for this format\n");
    EXPECT_EQ(ReadBytes(dir.File("out.pcx")), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));

    r = Cli(dir, "convert " + dir.File("a.bmp") + " " + dir.File("no/such/folder/x.bmp"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("pimlora-cli: " + dir.File("no/such/folder/x.bmp") + ": ", 0), 0u) << r.err;

    // A failed load names IN and writes nothing.
    r = Cli(dir, "convert " + dir.File("a.pcx") + " " + dir.File("d.bmp"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("pimlora-cli: " + dir.File("a.pcx") + ": ", 0), 0u) << r.err;
    EXPECT_TRUE(ReadBytes(dir.File("d.bmp")).empty());
}

TEST(Cli, UsageErrorsExitTwo) {
    TempDir dir;
    for (const char* args : {"", "frobnicate", "info", "info a.bmp b.bmp", "convert a.bmp", "convert a.bmp b.bmp --frame",
                             "convert a.bmp b.bmp --frame x", "convert a.bmp b.bmp --quality 300",
                             "convert a.bmp b.bmp --bogus"}) {
        Result r = Cli(dir, args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("usage"), std::string::npos) << args;
    }
    Result r = Cli(dir, "--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("pimlora-cli info FILE"), std::string::npos);
    EXPECT_NE(r.out.find("pimlora-cli convert IN OUT [--frame N] [--quality Q]"), std::string::npos);
}
