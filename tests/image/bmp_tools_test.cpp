// BMP files written by ImageMagick and netpbm, in every depth and header they
// write, load with the pixels those tools decode; and what we write back is
// read by both tools as the same picture.
#include <gtest/gtest.h>

#include <string>

#include "VaZavi.h"
#include "test_pictures.h"
#include "test_support.h"

using namespace testsupport;

namespace {

enum NetpbmCheck { kExact, kWithinOne, kRefuses };

struct ToolCase {
    const char* name;
    int colors;           // of the source picture
    const char* writer;   // %s: source PPM, %s: output BMP
    int headerSize;       // the variant the writer must have produced
    int fileBits;
    int compression;
    int bitCount;         // of the loaded image
    // netpbm refuses ImageMagick's RLE8 files (runs reaching past the row
    // end, which we and ImageMagick drop); and it rounds 5- and 6-bit
    // channels to 8 bits where we, as ImageMagick, repeat their high bits,
    // a difference of at most 1.
    int netpbm = kExact;
};

uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
    return uint32_t(d[at]) | uint32_t(d[at + 1]) << 8 | uint32_t(d[at + 2]) << 16 | uint32_t(d[at + 3]) << 24;
}

Rgb Decode(const std::string& cmd, const std::string& ppm) {
    EXPECT_EQ(testsupport::Run(cmd + " > " + ppm + " 2>/dev/null"), 0) << cmd;
    return ReadPnm(ppm);
}

void ExpectSame(const Rgb& a, const Rgb& b, const char* who, int tolerance = 0) {
    Diff d = Compare(a, b);
    if (tolerance)
        EXPECT_LE(d.max, tolerance) << who << ": " << d.count << " samples differ";
    else
        EXPECT_EQ(d.count, 0u) << who << ": " << d.count << " samples differ, max " << d.max;
}

}  // namespace

class BmpFromTools : public ::testing::TestWithParam<ToolCase> {};

TEST_P(BmpFromTools, LoadsAsToolsDecodeAndWritesWhatToolsRead) {
    const ToolCase& c = GetParam();
    TempDir dir;
    const std::string src = dir.File("src.ppm"), bmp = dir.File("t.bmp");
    WriteTestPpm(src, 37, 23, c.colors, 11);
    char cmd[512];
    std::snprintf(cmd, sizeof cmd, c.writer, src.c_str(), bmp.c_str());
    ASSERT_EQ(testsupport::Run(std::string(cmd) + " 2>/dev/null"), 0) << cmd;

    // The tool wrote the variant this case is about.
    auto bytes = ReadBytes(bmp);
    ASSERT_GT(bytes.size(), 54u);
    ASSERT_EQ(int(Le32(bytes, 14)), c.headerSize);
    if (c.headerSize == 12) {
        EXPECT_EQ(bytes[24], c.fileBits);
    } else {
        EXPECT_EQ(bytes[28], c.fileBits);
        EXPECT_EQ(int(Le32(bytes, 30)), c.compression);
    }

    VaZavi img;
    ASSERT_TRUE(img.Load(bmp.c_str(), kTypeBMP)) << img.LastError();
    EXPECT_EQ(img.BitCount(), c.bitCount);
    Rgb ours = ToRgb(img);
    if (c.netpbm != kRefuses)
        ExpectSame(ours, Decode("bmptopnm " + bmp, dir.File("net.ppm")), "bmptopnm", c.netpbm == kWithinOne);
    ExpectSame(ours, Decode(ImageMagick() + " " + bmp + " -depth 8 ppm:-", dir.File("im.ppm")), "ImageMagick");
    if (c.colors <= 256) ExpectSame(ours, ReadPnm(src), "the source picture");

    // Our own file of the same picture.
    const std::string back = dir.File("back.bmp");
    ASSERT_TRUE(img.Save(back.c_str(), kTypeBMP)) << img.LastError();
    ExpectSame(ours, Decode("bmptopnm " + back, dir.File("net2.ppm")), "bmptopnm of our file");
    ExpectSame(ours, Decode(ImageMagick() + " " + back + " -depth 8 ppm:-", dir.File("im2.ppm")), "ImageMagick of our file");
    VaZavi again;
    ASSERT_TRUE(again.Load(back.c_str(), kTypeBMP));
    EXPECT_EQ(again.BitCount(), img.BitCount());
    ExpectSame(ours, ToRgb(again), "ourselves");
}

#define IM "/usr/bin/convert-im6.q16 %s "
INSTANTIATE_TEST_SUITE_P(
    Variants, BmpFromTools,
    ::testing::Values(
        // ImageMagick: Windows 3 headers
        ToolCase{"im_bmp3_1bit", 2, IM "-type palette -compress none BMP3:%s", 40, 1, 0, 1},
        ToolCase{"im_bmp3_4bit", 11, IM "-type palette -compress none BMP3:%s", 40, 4, 0, 4},
        ToolCase{"im_bmp3_8bit", 200, IM "-type palette -compress none BMP3:%s", 40, 8, 0, 8},
        ToolCase{"im_bmp3_rle8", 200, IM "-type palette BMP3:%s", 40, 8, 1, 8, kRefuses},
        ToolCase{"im_bmp3_rle8_few_colours", 5, IM "-type palette -compress RLE BMP3:%s", 40, 8, 1, 8, kRefuses},
        ToolCase{"im_bmp3_24bit", 1000, IM "-type truecolor BMP3:%s", 40, 24, 0, 24},
        ToolCase{"im_bmp3_32bit_rgb", 1000, IM "-alpha on -define bmp3:alpha=true BMP3:%s", 40, 32, 0, 32},
        // ImageMagick: OS/2 core headers with three-byte palettes
        ToolCase{"im_bmp2_4bit", 11, IM "-type palette BMP2:%s", 12, 4, 0, 4},
        ToolCase{"im_bmp2_8bit", 200, IM "-type palette BMP2:%s", 12, 8, 0, 8},
        ToolCase{"im_bmp2_24bit", 1000, IM "BMP2:%s", 12, 24, 0, 24},
        // ImageMagick: version 5 headers
        ToolCase{"im_bmp5_24bit", 1000, IM "BMP:%s", 124, 24, 0, 24},
        ToolCase{"im_bmp5_rle8", 200, IM "-type palette BMP:%s", 124, 8, 1, 8, kRefuses},
        ToolCase{"im_bmp5_32bit_fields", 1000, IM "-alpha on BMP:%s", 124, 32, 3, 32},
        ToolCase{"im_bmp5_rgb565", 1000, IM "-define bmp:subtype=RGB565 BMP:%s", 124, 16, 3, 24, kWithinOne},
        ToolCase{"im_bmp5_rgb555", 1000, IM "-define bmp:subtype=RGB555 BMP:%s", 124, 16, 3, 24, kWithinOne},
        ToolCase{"im_bmp5_argb1555", 1000, IM "-alpha on -define bmp:subtype=ARGB1555 BMP:%s", 124, 16, 3, 24, kWithinOne},
        // netpbm
        ToolCase{"net_1bit", 2, "ppmtobmp -windows -bpp=1 %s > %s", 40, 1, 0, 1},
        ToolCase{"net_4bit", 11, "ppmtobmp -windows -bpp=4 %s > %s", 40, 4, 0, 4},
        ToolCase{"net_8bit", 200, "ppmtobmp -windows -bpp=8 %s > %s", 40, 8, 0, 8},
        ToolCase{"net_24bit", 1000, "ppmtobmp -windows -bpp=24 %s > %s", 40, 24, 0, 24},
        ToolCase{"net_os2_1bit", 2, "ppmtobmp -os2 -bpp=1 %s > %s", 12, 1, 0, 1},
        ToolCase{"net_os2_4bit", 11, "ppmtobmp -os2 -bpp=4 %s > %s", 12, 4, 0, 4},
        ToolCase{"net_os2_8bit", 200, "ppmtobmp -os2 -bpp=8 %s > %s", 12, 8, 0, 8},
        ToolCase{"net_os2_24bit", 1000, "ppmtobmp -os2 -bpp=24 %s > %s", 12, 24, 0, 24},
        ToolCase{"net_from_pbm", 2, "pnmtopnm %s | ppmtopgm | pgmtopbm -threshold | ppmtobmp > %s", 40, 1, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });
#undef IM

TEST(BmpTools, AlphaOfThirtyTwoBitFilesIsKept) {
    TempDir dir;
    const std::string bmp = dir.File("a.bmp");
    ASSERT_EQ(testsupport::Run(ImageMagick() +
                               " -size 9x4 gradient:red-blue -alpha set -channel A -fx 'i/8' +channel BMP:" + bmp),
              0);
    VaZavi img;
    ASSERT_TRUE(img.Load(bmp.c_str(), kTypeBMP)) << img.LastError();
    ASSERT_EQ(img.BitCount(), 32);
    EXPECT_TRUE(img.hasAlpha);
    const std::string pgm = dir.File("a.pgm");
    ASSERT_EQ(testsupport::Run(ImageMagick() + " " + bmp + " -alpha extract pgm:" + pgm), 0);
    Rgb alpha = ReadPnm(pgm);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 9; ++x) EXPECT_EQ(ColA(img.GetPixelColor(x, 3 - y)), alpha.at(x, y, 0)) << x << "," << y;
}
