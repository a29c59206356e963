// PCX reader: files written by netpbm and ImageMagick in every layout load
// with the pixels those tools decode; hand-built files cover the rest and the
// hostile cases.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ImageStream.h"
#include "VaZavi.h"
#include "test_pictures.h"
#include "test_support.h"

using namespace testsupport;

namespace {

Rgb ToolDecode(const std::string& cmd, const std::string& ppm) {
    EXPECT_EQ(Run(cmd + " > " + ppm + " 2>/dev/null"), 0) << cmd;
    return ReadPnm(ppm);
}

VaZavi LoadPcx(const std::vector<uint8_t>& bytes) {
    VaZavi img;
    ImageStream s(bytes.data(), bytes.size());
    img.Load(s, kTypePCX);
    return img;
}

std::string LoadError(const std::vector<uint8_t>& bytes) {
    VaZavi img = LoadPcx(bytes);
    return img.IsValid() ? "loaded" : img.LastError();
}

// Hand-built file: header fields, then the run-length data as given.
struct PcxHeader {
    int bits = 8, planes = 1, width = 4, height = 2, bpl = 4;
    uint8_t manufacturer = 10, encoding = 1;
    uint8_t palette[48] = {};
};

std::vector<uint8_t> MakePcx(const PcxHeader& p, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> f(128, 0);
    f[0] = p.manufacturer;
    f[1] = 5;
    f[2] = p.encoding;
    f[3] = uint8_t(p.bits);
    auto put16 = [&](size_t at, int v) { f[at] = uint8_t(v), f[at + 1] = uint8_t(v >> 8); };
    put16(4, 3);   // xmin, ymin offset the corner; only the extent counts
    put16(6, 5);
    put16(8, 3 + p.width - 1);
    put16(10, 5 + p.height - 1);
    std::memcpy(&f[16], p.palette, 48);
    f[65] = uint8_t(p.planes);
    put16(66, p.bpl);
    for (uint8_t b : data) f.push_back(b);
    return f;
}

// Literal bytes, escaped where they look like run markers.
std::vector<uint8_t> Literal(const std::vector<uint8_t>& raw) {
    std::vector<uint8_t> out;
    for (uint8_t b : raw) {
        if (b > 191) out.push_back(0xC1);
        out.push_back(b);
    }
    return out;
}

std::vector<uint8_t> GreyTail() {
    std::vector<uint8_t> t{12};
    for (int i = 0; i < 256; ++i) t.insert(t.end(), {uint8_t(i), uint8_t(i), uint8_t(i)});
    return t;
}

}  // namespace

struct ToolCase {
    const char* name;
    const char* writer;   // %s: source PPM, output PCX
    int colors;
    int bitCount;         // of the loaded image
    // ImageMagick 6.9 shows 1-bit single-plane files inverted (bit 1 black);
    // there netpbm and the picture that was written are the reference.
    bool imageMagickAgrees = true;
};

class PcxFromTools : public ::testing::TestWithParam<ToolCase> {};

TEST_P(PcxFromTools, LoadsThePixelsTheToolsDecode) {
    const ToolCase& c = GetParam();
    TempDir dir;
    const std::string src = dir.File("src.ppm"), pcx = dir.File("t.pcx");
    WriteTestPpm(src, 37, 23, c.colors, 7);
    char cmd[512];
    std::snprintf(cmd, sizeof cmd, c.writer, src.c_str(), pcx.c_str());
    ASSERT_EQ(testsupport::Run(std::string(cmd) + " 2>/dev/null"), 0) << cmd;

    VaZavi img;
    ASSERT_TRUE(img.Load(pcx.c_str(), kTypePCX)) << img.LastError();
    EXPECT_EQ(img.BitCount(), c.bitCount);
    EXPECT_EQ(img.info.type, kTypePCX);
    Rgb ours = ToRgb(img);
    Rgb net = ToolDecode("pcxtoppm " + pcx, dir.File("net.ppm"));
    Diff dn = Compare(ours, net);
    EXPECT_EQ(dn.count, 0u) << "netpbm, max " << dn.max;
    if (c.imageMagickAgrees) {
        Rgb im = ToolDecode(ImageMagick() + " " + pcx + " -depth 8 ppm:-", dir.File("im.ppm"));
        Diff di = Compare(ours, im);
        EXPECT_EQ(di.count, 0u) << "ImageMagick, max " << di.max;
    }
    // And the source picture itself.
    EXPECT_EQ(Compare(ours, ReadPnm(src)).count, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PcxFromTools,
    ::testing::Values(ToolCase{"bw_1plane", "ppmtopcx -planes=1 %s > %s", 2, 1, false},
                      ToolCase{"c4_2planes", "ppmtopcx -planes=2 %s > %s", 4, 4},
                      ToolCase{"c8_3planes", "ppmtopcx -planes=3 %s > %s", 8, 24},
                      ToolCase{"c16_4planes", "ppmtopcx -planes=4 %s > %s", 16, 4},
                      ToolCase{"c4_packed2", "ppmtopcx -packed %s > %s", 4, 4},
                      ToolCase{"c16_packed4", "ppmtopcx -packed %s > %s", 16, 4},
                      ToolCase{"c200_8bit", "ppmtopcx %s > %s", 200, 8},
                      ToolCase{"c5_forced8bit", "ppmtopcx -8bit %s > %s", 5, 8},
                      ToolCase{"true_24bit", "ppmtopcx -24bit %s > %s", 1000, 24},
                      ToolCase{"im_palette", "/usr/bin/convert-im6.q16 %s -type palette %s", 60, 8},
                      ToolCase{"im_truecolor", "/usr/bin/convert-im6.q16 %s %s", 1000, 24}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Pcx, RunsExpandAndMayCrossLineEnds) {
    PcxHeader h;   // 8 bits, one plane, 4 x 2
    // 0xC3 0x07: three bytes of 7; then a run of 3 crossing into the second
    // line, and literal bytes (0xC1 escapes a byte above 191).
    auto f = MakePcx(h, {0xC3, 0x07, 0xC3, 0x09, 0xC1, 0xF0, 0x01});
    auto tail = GreyTail();
    f.insert(f.end(), tail.begin(), tail.end());
    VaZavi img = LoadPcx(f);
    ASSERT_TRUE(img.IsValid()) << img.LastError();
    EXPECT_EQ(img.Width(), 4);
    EXPECT_EQ(img.Height(), 2);
    const uint8_t top[4] = {7, 7, 7, 9}, bottom[4] = {9, 9, 0xF0, 1};
    EXPECT_EQ(std::memcmp(img.Row(1), top, 4), 0);     // first line of the file on top
    EXPECT_EQ(std::memcmp(img.Row(0), bottom, 4), 0);
    EXPECT_EQ(img.GetPaletteColor(0xF0), PackBGR(0xF0, 0xF0, 0xF0));
}

TEST(Pcx, OneBitSinglePlaneIsBlackAndWhiteWhateverTheHeaderSays) {
    PcxHeader h;
    h.bits = 1, h.width = 10, h.height = 1, h.bpl = 2;
    for (int i = 0; i < 48; ++i) h.palette[i] = uint8_t(100 + i);
    VaZavi img = LoadPcx(MakePcx(h, {0xA5, 0x80}));
    ASSERT_TRUE(img.IsValid()) << img.LastError();
    EXPECT_EQ(img.BitCount(), 1);
    EXPECT_EQ(img.GetPaletteColor(0), PackBGR(0, 0, 0));
    EXPECT_EQ(img.GetPaletteColor(1), PackBGR(255, 255, 255));
    const int expect[10] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 0};
    for (int x = 0; x < 10; ++x) EXPECT_EQ(img.GetPixelIndex(x, 0), expect[x]) << x;
}

TEST(Pcx, PlanesCombineIntoPaletteIndices) {
    // Four 1-bit planes, 16 colours from the header: plane i is bit i.
    PcxHeader h;
    h.bits = 1, h.planes = 4, h.width = 8, h.height = 1, h.bpl = 2;
    for (int i = 0; i < 16; ++i) h.palette[3 * i] = uint8_t(i * 16), h.palette[3 * i + 1] = uint8_t(i), h.palette[3 * i + 2] = 1;
    // Planes: 0b11110000, 0b11001100, 0b10101010, 0b00000001 (pad byte 0).
    VaZavi img = LoadPcx(MakePcx(h, Literal({0xF0, 0, 0xCC, 0, 0xAA, 0, 0x01, 0})));
    ASSERT_TRUE(img.IsValid()) << img.LastError();
    EXPECT_EQ(img.BitCount(), 4);
    const int expect[8] = {7, 3, 5, 1, 6, 2, 4, 8};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(img.GetPixelIndex(x, 0), expect[x]) << x;
    EXPECT_EQ(img.GetPaletteColor(8), PackBGR(1, 8, 128));
}

TEST(Pcx, ThreeOneBitPlanesGiveHeaderColoursNotAWhitePicture) {
    PcxHeader h;
    h.bits = 1, h.planes = 3, h.width = 3, h.height = 1, h.bpl = 2;
    for (int i = 0; i < 8; ++i) h.palette[3 * i] = uint8_t(10 * i), h.palette[3 * i + 1] = uint8_t(i), h.palette[3 * i + 2] = 200;
    VaZavi img = LoadPcx(MakePcx(h, Literal({0x80, 0, 0x40, 0, 0xA0, 0})));
    ASSERT_TRUE(img.IsValid()) << img.LastError();
    EXPECT_EQ(img.BitCount(), 24);
    EXPECT_EQ(img.GetPixelColor(0, 0), PackBGR(200, 5, 50));   // index 1 + 4
    EXPECT_EQ(img.GetPixelColor(1, 0), PackBGR(200, 2, 20));   // index 2
    EXPECT_EQ(img.GetPixelColor(2, 0), PackBGR(200, 4, 40));   // index 4
}

TEST(Pcx, RefusesWhatItCannotReadWithItsMessage) {
    PcxHeader ok;
    ok.bits = 4, ok.width = 4, ok.height = 1, ok.bpl = 2;
    const std::vector<uint8_t> data{0x12, 0x34};
    ASSERT_EQ(LoadError(MakePcx(ok, data)), "loaded");

    EXPECT_EQ(LoadError({10, 5, 1}), "Can't read PCX image");
    auto bad = ok;
    bad.manufacturer = 5;
    EXPECT_EQ(LoadError(MakePcx(bad, data)), "Error: Not a PCX file");
    bad = ok, bad.encoding = 0;
    EXPECT_EQ(LoadError(MakePcx(bad, data)), "PCX file has unknown encoding scheme");
    bad = ok, bad.bits = 1, bad.planes = 5;
    EXPECT_EQ(LoadError(MakePcx(bad, data)), "Can't handle image with more than 4 planes");
    for (auto [bits, planes] : {std::pair{2, 2}, {8, 4}, {4, 0}, {3, 1}, {16, 1}, {1, 0}}) {
        bad = ok, bad.bits = bits, bad.planes = planes;
        EXPECT_EQ(LoadError(MakePcx(bad, data)), "Can't handle bits per pixel image with planes.") << bits << "/" << planes;
    }
    bad = ok, bad.bits = 4, bad.planes = 3;
    EXPECT_EQ(LoadError(MakePcx(bad, data)), "Can't handle more than 1 bit per pixel");

    PcxHeader eight;   // 8-bit palette file
    eight.width = 2, eight.height = 1, eight.bpl = 2;
    auto f = MakePcx(eight, {1, 2, 11});
    f.resize(f.size() + 768);
    EXPECT_EQ(LoadError(f), "bad color map signature");
    f = MakePcx(eight, {1, 2, 12, 0, 0, 0});
    EXPECT_EQ(LoadError(f), "corrupted PCX");   // palette cut short
}

TEST(Pcx, HostileDataIsRefused) {
    PcxHeader h;
    h.bits = 8, h.width = 4, h.height = 2, h.bpl = 4;
    // Truncated data, and a run that would write past the end of the image.
    EXPECT_EQ(LoadError(MakePcx(h, {0xC5, 1})), "corrupted PCX");
    EXPECT_EQ(LoadError(MakePcx(h, {0xC5, 1, 0xC4, 2})), "repeat count spans end of image");
    EXPECT_EQ(LoadError(MakePcx(h, {0xC8})), "corrupted PCX");
    // Absurd sizes with a few bytes of data: refused before allocating.
    h.width = 60000, h.height = 60000, h.bpl = 60000;
    EXPECT_EQ(LoadError(MakePcx(h, {0xFF, 0, 0xFF, 0})), "corrupted PCX");
    // Lines too short for the width, and no pixels at all.
    h.width = 20, h.height = 1, h.bpl = 2, h.bits = 1;
    EXPECT_EQ(LoadError(MakePcx(h, {0, 0})), "PCX line is shorter than the image width");
    h.width = 0;
    EXPECT_EQ(LoadError(MakePcx(h, {0, 0})), "PCX image has no pixels");
    // Fuzzed headers over random data never crash and never read past it.
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        auto f = RandomBytes(200 + seed % 97, seed);
        f[0] = 10, f[2] = 1;
        f[3] = uint8_t("\1\2\4\x08"[seed % 4]);
        f[65] = uint8_t(1 + seed % 4);
        f[9] = f[11] = f[67] = 0;
        (void)LoadError(f);
    }
}

TEST(Pcx, DetectionFindsPcxLast) {
    TempDir dir;
    WriteTestPpm(dir.File("s.ppm"), 9, 5, 200, 3);
    ASSERT_EQ(testsupport::Run("ppmtopcx " + dir.File("s.ppm") + " > " + dir.File("a.pcx") + " 2>/dev/null"), 0);
    VaZavi img;
    ASSERT_TRUE(img.Load(dir.File("a.pcx").c_str(), kTypeDetect));
    EXPECT_EQ(img.info.type, kTypePCX);
    EXPECT_FALSE(img.Save(dir.File("b.pcx").c_str(), kTypePCX));
    EXPECT_STREQ(img.LastError(), "Unsupported operation for this format");
}
