// TIFF reader and writer, checked against ImageMagick and libtiff's tools.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ImageStream.h"
#include "VaZavi.h"
#include "test_support.h"

using namespace testsupport;

namespace {

std::string IM() { return ImageMagick(); }

int Sh(const std::string& cmd, std::string* out = nullptr) { return testsupport::Run(cmd, out); }

std::string MakePhoto(const TempDir& dir, int w, int h) {
    std::string path = dir.File("photo.ppm");
    Sh(IM() + " -seed 11 -size " + std::to_string(w) + "x" + std::to_string(h) + " plasma:fractal -depth 8 " +
       path);
    return path;
}

// ImageMagick's decode of a file, as 8-bit RGB.
Rgb Decode(const TempDir& dir, const std::string& file) {
    std::string out = dir.File("ref.ppm");
    EXPECT_EQ(Sh(IM() + " " + file + " -depth 8 ppm:" + out), 0) << file;
    return ReadPnm(out);
}

bool Load(VaZavi& img, const std::string& path, int frame = 0) {
    img.info.frameIndex = frame;
    return img.Load(path.c_str(), kTypeTIFF);
}

std::string TiffInfo(const std::string& path) {
    std::string out;
    Sh("tiffinfo " + path + " 2>&1", &out);
    return out;
}

}  // namespace

// Files of every layout, written by ImageMagick and tiffcp, load with the
// pixels ImageMagick decodes.
TEST(Tiff, ReadsEveryLayoutLikeImageMagick) {
    TempDir dir;
    std::string ppm = MakePhoto(dir, 37, 23);
    std::string pal = dir.File("pal.tif");
    ASSERT_EQ(Sh(IM() + " " + ppm + " -colors 200 -type Palette -compress LZW " + pal), 0);
    std::string rgb = dir.File("rgb.tif");
    ASSERT_EQ(Sh(IM() + " " + ppm + " -compress None " + rgb), 0);
    struct Variant {
        const char* name;
        std::string make;
        int bits;
        int tolerance;
    } variants[] = {
        {"rgb none", IM() + " " + ppm + " -compress None", 24, 0},
        {"rgb lzw", IM() + " " + ppm + " -compress LZW", 24, 0},
        {"rgb packbits", IM() + " " + ppm + " -compress RLE", 24, 0},
        {"rgb zip", IM() + " " + ppm + " -compress Zip", 24, 0},
        {"ycbcr jpeg", IM() + " " + ppm + " -compress JPEG", 24, 0},
        {"cmyk", IM() + " " + ppm + " -colorspace CMYK -compress LZW", 24, 1},
        {"rgb 16-bit", IM() + " " + ppm + " -depth 16", 24, 0},
        {"grey 8", IM() + " " + ppm + " -colorspace Gray -compress RLE", 8, 0},
        {"grey 4", IM() + " " + ppm + " -colorspace Gray -depth 4", 4, 0},
        {"grey 2", IM() + " " + ppm + " -colorspace Gray -depth 2", 4, 0},
        {"bilevel g4", IM() + " " + ppm + " -monochrome -compress Group4", 1, 0},
        {"bilevel g3", IM() + " " + ppm + " -monochrome -compress Fax", 1, 0},
        {"palette 8", "cp " + pal, 8, 0},
        {"palette 4", IM() + " " + ppm + " -colors 12 -type Palette -depth 4", 4, 0},
        {"grey alpha", IM() + " " + ppm + " -colorspace Gray -alpha opaque", 24, 0},
        {"tiled rgb", "tiffcp -t -w 16 -l 16 " + rgb, 24, 0},
        {"tiled palette", "tiffcp -t -w 16 -l 16 " + pal, 24, 1},   // libtiff keeps the high byte
        {"separate planes", "tiffcp -p separate " + rgb, 24, 0},
    };
    for (const Variant& v : variants) {
        std::string file = dir.File("v.tif");
        ASSERT_EQ(Sh(v.make + " " + file), 0) << v.name;
        VaZavi img;
        ASSERT_TRUE(Load(img, file)) << v.name << ": " << img.LastError();
        EXPECT_EQ(img.BitCount(), v.bits) << v.name;
        EXPECT_EQ(img.info.frameCount, 1) << v.name;
        Diff d = Compare(ToRgb(img), Decode(dir, file));
        EXPECT_LE(d.max, v.tolerance) << v.name << " differing samples " << d.count;
    }
}

// Pages the library renders are read in bands of rows; a page taller than
// one band, with orientation, still comes out whole and in place.
TEST(Tiff, RenderedPagesInBands) {
    TempDir dir;
    std::string ppm = MakePhoto(dir, 1500, 1100);
    std::string file = dir.File("tall.tif");
    ASSERT_EQ(Sh(IM() + " " + ppm + " -depth 16 -compress Zip -define tiff:rows-per-strip=3 " + file), 0);
    ASSERT_NE(TiffInfo(file).find("Rows/Strip: 3"), std::string::npos);
    VaZavi img;
    ASSERT_TRUE(Load(img, file)) << img.LastError();
    EXPECT_EQ(Compare(ToRgb(img), Decode(dir, file)).count, 0u);
    ASSERT_EQ(Sh("tiffset -s 274 7 " + file), 0);
    ASSERT_TRUE(Load(img, file)) << img.LastError();
    std::string ref = dir.File("ref.ppm");
    ASSERT_EQ(Sh(IM() + " " + file + " -auto-orient -depth 8 ppm:" + ref), 0);
    EXPECT_EQ(Compare(ToRgb(img), ReadPnm(ref)).count, 0u);
}

// Sixteen-bit samples keep their more significant byte; min-is-white
// bilevel pages get white as entry 0.
TEST(Tiff, SampleDepthsAndPalettes) {
    TempDir dir;
    // A 16-bit PGM (big-endian samples) with low bytes that would round up.
    std::string pgm = dir.File("g16.pgm");
    std::vector<uint8_t> f;
    std::string head = "P5\n4 2\n65535\n";
    f.assign(head.begin(), head.end());
    const uint16_t vals[8] = {0x00FF, 0x12FF, 0x8080, 0xFFFF, 0x0001, 0x7FF0, 0xA0C0, 0x3390};
    for (uint16_t v : vals) f.push_back(uint8_t(v >> 8)), f.push_back(uint8_t(v));
    WriteBytes(pgm, f);
    std::string g16 = dir.File("g16.tif");
    ASSERT_EQ(Sh(IM() + " " + pgm + " -depth 16 -compress None " + g16), 0);
    ASSERT_NE(TiffInfo(g16).find("Bits/Sample: 16"), std::string::npos);
    VaZavi img;
    ASSERT_TRUE(Load(img, g16)) << img.LastError();
    EXPECT_EQ(img.BitCount(), 8);
    EXPECT_TRUE(img.IsGrayScale());
    for (int i = 0; i < 8; ++i) EXPECT_EQ(img.GetPixelIndex(i % 4, 1 - i / 4), vals[i] >> 8) << i;

    std::string bw = dir.File("bw.tif"), pbm = dir.File("bw.pbm");
    WriteBytes(pbm, {'P', '1', '\n', '8', ' ', '2', '\n', '0', '1', '0', '0', '0', '0', '0', '0', '\n',
                     '0', '0', '0', '0', '0', '0', '0', '0', '\n'});
    ASSERT_EQ(Sh("pnmtotiff -miniswhite " + pbm + " > " + bw + " 2>/dev/null"), 0);
    ASSERT_NE(TiffInfo(bw).find("min-is-white"), std::string::npos);
    VaZavi b;
    ASSERT_TRUE(Load(b, bw));
    EXPECT_EQ(b.BitCount(), 1);
    EXPECT_EQ(b.GetPaletteColor(0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(b.GetPaletteColor(1) & 0xFFFFFF, 0u);
    EXPECT_EQ(b.GetPixelIndex(1, 1), 1);
    EXPECT_EQ(b.GetPixelIndex(0, 1), 0);
}

// The Orientation tag, on pages read by strips and on pages rendered by the
// library, gives what ImageMagick's auto-orient shows.
TEST(Tiff, OrientationLikeImageMagick) {
    TempDir dir;
    std::string ppm = MakePhoto(dir, 7, 5);
    // Grey and 8-bit RGB pages are read by strips, 16-bit RGB is rendered.
    for (const char* kind : {"-colorspace Gray -compress None", "-compress None", "-depth 16 -compress Zip"}) {
        std::string base = dir.File("base.tif");
        ASSERT_EQ(Sh(IM() + " " + ppm + " " + kind + " " + base), 0);
        for (int o = 1; o <= 8; ++o) {
            std::string file = dir.File("o.tif");
            ASSERT_EQ(Sh("cp " + base + " " + file + " && tiffset -s 274 " + std::to_string(o) + " " + file), 0);
            VaZavi img;
            ASSERT_TRUE(Load(img, file)) << img.LastError();
            std::string ref = dir.File("ref.ppm");
            ASSERT_EQ(Sh(IM() + " " + file + " -auto-orient -depth 8 ppm:" + ref), 0);
            Diff d = Compare(ToRgb(img), ReadPnm(ref));
            EXPECT_EQ(d.count, 0u) << kind << " orientation " << o;
        }
    }
}

TEST(Tiff, PagesResolutionAndPosition) {
    TempDir dir;
    std::string file = dir.File("pages.tif");
    ASSERT_EQ(Sh(IM() + " -size 5x4 xc:red -size 6x3 xc:lime -size 2x9 xc:blue -density 150x75 -units "
                        "PixelsPerInch -compress None " + file),
              0);
    VaZavi img;
    ASSERT_TRUE(Load(img, file, 1)) << img.LastError();
    EXPECT_EQ(img.info.frameCount, 3);
    EXPECT_EQ(img.Width(), 6);
    EXPECT_EQ(img.Height(), 3);
    EXPECT_EQ(img.GetPixelColor(0, 0) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(img.info.xDpi, 150);
    EXPECT_EQ(img.info.yDpi, 75);
    VaZavi third;
    ASSERT_TRUE(Load(third, file, 2));
    EXPECT_EQ(third.Width(), 2);
    VaZavi none(24, 3, 3, kTypeBMP);
    EXPECT_FALSE(Load(none, file, 3));
    EXPECT_STREQ(none.LastError(), "Error: page not present in TIFF file");
    EXPECT_EQ(none.Width(), 3);

    // --frame selects the page on the command line.
    std::string info;
    Sh(std::string(PIMLORA_CLI) + " convert " + file + " " + dir.File("p2.bmp") + " --frame 2 && " +
           PIMLORA_CLI + " info " + dir.File("p2.bmp"),
       &info);
    EXPECT_NE(info.find("width=2 height=9"), std::string::npos) << info;

    // Pixels per centimetre are converted to dots per inch.
    std::string cm = dir.File("cm.tif");
    ASSERT_EQ(Sh(IM() + " -size 3x3 xc:gray -units PixelsPerCentimeter -density 118x40 " + cm), 0);
    VaZavi c;
    ASSERT_TRUE(Load(c, cm));
    EXPECT_EQ(c.info.xDpi, 300);
    EXPECT_EQ(c.info.yDpi, 102);

    std::string pos = dir.File("pos.tif");
    ASSERT_EQ(Sh(IM() + " -size 4x4 xc:gray " + pos + " && tiffset -s 286 2.75 " + pos + " && tiffset -s 287 1.5 " +
                 pos),
              0);
    VaZavi p;
    ASSERT_TRUE(Load(p, pos));
    EXPECT_EQ(p.info.frameLeft, 2);
    EXPECT_EQ(p.info.frameTop, 1);
}

// Every kind of image we write: the chosen compression and photometric, and
// the pixels ImageMagick reads back.
TEST(Tiff, WritesFilesOtherProgramsRead) {
    TempDir dir;
    std::string ppm = MakePhoto(dir, 45, 31);
    std::string bmp = dir.File("p.bmp");
    ASSERT_EQ(Sh(IM() + " " + ppm + " BMP3:" + bmp), 0);
    VaZavi photo;
    ASSERT_TRUE(photo.Load(bmp.c_str(), kTypeBMP));
    photo.SetXDpi(240);
    photo.SetYDpi(120);

    // 24-bit: JPEG-compressed RGB; what others decode is what we decode.
    {
        const std::vector<uint8_t> before(photo.bits, photo.bits + photo.ImageBytes());
        std::string f = dir.File("c.tif");
        ASSERT_TRUE(photo.Save(f.c_str(), kTypeTIFF)) << photo.LastError();
        EXPECT_EQ(std::vector<uint8_t>(photo.bits, photo.bits + photo.ImageBytes()), before);
        std::string ti = TiffInfo(f);
        EXPECT_NE(ti.find("Compression Scheme: JPEG"), std::string::npos) << ti;
        EXPECT_NE(ti.find("RGB color"), std::string::npos);
        EXPECT_NE(ti.find("Resolution: 240, 120 pixels/inch"), std::string::npos) << ti;
        VaZavi back;
        ASSERT_TRUE(Load(back, f));
        EXPECT_EQ(back.info.xDpi, 240);
        EXPECT_EQ(Compare(ToRgb(back), Decode(dir, f)).count, 0u);
        EXPECT_LE(Compare(ToRgb(back), ToRgb(photo)).max, 40);
    }
    // 32-bit: written from blue, green, red; the same file as the 24-bit one.
    {
        VaZavi c32(32, photo.Width(), photo.Height(), kTypeBMP);
        for (int y = 0; y < photo.Height(); ++y)
            for (int x = 0; x < photo.Width(); ++x) {
                std::memcpy(c32.Row(y) + 4 * x, photo.Row(y) + 3 * x, 3);
                c32.Row(y)[4 * x + 3] = uint8_t(x);
            }
        c32.info.xDpi = photo.info.xDpi;
        c32.info.yDpi = photo.info.yDpi;
        ImageStream a, b;
        ASSERT_TRUE(c32.Save(a, kTypeTIFF));
        ASSERT_TRUE(photo.Save(b, kTypeTIFF));
        ASSERT_EQ(a.Size(), b.Size());
        EXPECT_EQ(std::memcmp(a.Data(), b.Data(), size_t(a.Size())), 0);
    }
    // 8-bit colour palette: PackBits with a ColorMap, exact pixels.
    {
        std::string pal = dir.File("pal.bmp");
        ASSERT_EQ(Sh(IM() + " " + ppm + " -colors 100 -type Palette BMP3:" + pal), 0);
        VaZavi img;
        ASSERT_TRUE(img.Load(pal.c_str(), kTypeBMP));
        ASSERT_EQ(img.BitCount(), 8);
        std::string f = dir.File("pal.tif");
        ASSERT_TRUE(img.Save(f.c_str(), kTypeTIFF)) << img.LastError();
        std::string ti = TiffInfo(f);
        EXPECT_NE(ti.find("PackBits"), std::string::npos) << ti;
        EXPECT_NE(ti.find("palette color"), std::string::npos) << ti;
        EXPECT_EQ(Compare(Decode(dir, f), ToRgb(img)).count, 0u);
        VaZavi back;
        ASSERT_TRUE(Load(back, f));
        EXPECT_EQ(back.BitCount(), 8);
        EXPECT_EQ(std::memcmp(back.GetPalette(), img.GetPalette(), 1024), 0);
        EXPECT_EQ(std::memcmp(back.bits, img.bits, img.ImageBytes()), 0);
    }
    // 8-bit identity grey: min-is-black.
    {
        VaZavi g(8, 20, 6, kTypeBMP);
        g.SetGrayPalette();
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 20; ++x) g.SetPixelIndex(x, y, (x * 13 + y * 40) & 255);
        std::string f = dir.File("g.tif");
        ASSERT_TRUE(g.Save(f.c_str(), kTypeTIFF));
        EXPECT_NE(TiffInfo(f).find("min-is-black"), std::string::npos);
        EXPECT_EQ(Compare(Decode(dir, f), ToRgb(g)).count, 0u);
    }
    // 4-bit: uncompressed; a colour palette stays a palette, the 16-step grey
    // ramp is written as grey.
    {
        VaZavi c(4, 11, 5, kTypeBMP);
        for (int i = 0; i < 16; ++i) c.SetPaletteColor(i, uint8_t(i * 16), uint8_t(255 - i * 10), uint8_t(i * 3));
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 11; ++x) c.SetPixelIndex(x, y, (x + y) & 15);
        std::string f = dir.File("c4.tif");
        ASSERT_TRUE(c.Save(f.c_str(), kTypeTIFF));
        std::string ti = TiffInfo(f);
        EXPECT_NE(ti.find("Compression Scheme: None"), std::string::npos) << ti;
        EXPECT_NE(ti.find("palette color"), std::string::npos) << ti;
        EXPECT_EQ(Compare(Decode(dir, f), ToRgb(c)).count, 0u);
        // A palette of entries 0..15 is dark, not a full grey ramp.
        for (int i = 0; i < 16; ++i) c.SetPaletteColor(i, uint8_t(i), uint8_t(i), uint8_t(i));
        ASSERT_TRUE(c.Save(f.c_str(), kTypeTIFF));
        EXPECT_EQ(Compare(Decode(dir, f), ToRgb(c)).count, 0u);
        for (int i = 0; i < 16; ++i) c.SetPaletteColor(i, uint8_t(i * 17), uint8_t(i * 17), uint8_t(i * 17));
        ASSERT_TRUE(c.Save(f.c_str(), kTypeTIFF));
        EXPECT_NE(TiffInfo(f).find("min-is-black"), std::string::npos);
        EXPECT_EQ(Compare(Decode(dir, f), ToRgb(c)).count, 0u);
    }
    // 1-bit: CCITT Group 3; a white, black palette gives min-is-white.
    for (bool whiteFirst : {true, false}) {
        VaZavi b(1, 70, 9, kTypeBMP);
        b.SetPaletteColor(0, whiteFirst ? 0xFFFFFFu : 0u);
        b.SetPaletteColor(1, whiteFirst ? 0u : 0xFFFFFFu);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 70; ++x) b.SetPixelIndex(x, y, (x / 3 + y) & 1);
        std::string f = dir.File("b.tif");
        ASSERT_TRUE(b.Save(f.c_str(), kTypeTIFF));
        std::string ti = TiffInfo(f);
        EXPECT_NE(ti.find("CCITT Group 3"), std::string::npos) << ti;
        EXPECT_NE(ti.find(whiteFirst ? "min-is-white" : "min-is-black"), std::string::npos) << ti;
        EXPECT_EQ(Compare(Decode(dir, f), ToRgb(b)).count, 0u);
        VaZavi back;
        ASSERT_TRUE(Load(back, f));
        EXPECT_EQ(Compare(ToRgb(back), ToRgb(b)).count, 0u);
    }
}

TEST(Tiff, MalformedInputFailsCleanly) {
    TempDir dir;
    VaZavi img(24, 3, 3, kTypeBMP);
    {
        auto junk = RandomBytes(300, 5);
        ImageStream in(junk.data(), junk.size());
        EXPECT_FALSE(img.Load(in, kTypeTIFF));
        EXPECT_EQ(std::string(img.LastError()).rfind("Error encountered while opening TIFF file", 0), 0u)
            << img.LastError();
    }
    std::string file = dir.File("g.tif");
    ASSERT_EQ(Sh(IM() + " -seed 2 -size 64x64 plasma:fractal -colorspace Gray -depth 8 -compress None " + file), 0);
    auto good = ReadBytes(file);
    {
        // Cut short: the rows are not all there.
        std::vector<uint8_t> cut(good.begin(), good.begin() + 1000);
        ImageStream in(cut.data(), cut.size());
        EXPECT_FALSE(img.Load(in, kTypeTIFF));
        EXPECT_STRNE(img.LastError(), "");
    }
    {
        // A page claiming 2^20 x 2^20 pixels is refused before anything is made.
        std::vector<uint8_t> t = {'I', 'I', 42, 0, 8, 0, 0, 0, 9, 0};
        auto entry = [&t](uint16_t tag, uint16_t type, uint32_t value) {
            const uint8_t e[12] = {uint8_t(tag), uint8_t(tag >> 8), uint8_t(type), 0, 1, 0, 0, 0,
                                   uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
            t.insert(t.end(), e, e + 12);
        };
        entry(256, 4, 1u << 20);   // width
        entry(257, 4, 1u << 20);   // length
        entry(258, 3, 8);
        entry(259, 3, 8);          // deflate
        entry(262, 3, 1);
        entry(273, 4, 200);
        entry(277, 3, 1);
        entry(278, 4, 1u << 20);
        entry(279, 4, 16);
        t.resize(t.size() + 4 + 200, 0);
        ImageStream huge(t.data(), t.size());
        EXPECT_FALSE(img.Load(huge, kTypeTIFF));
        EXPECT_STREQ(img.LastError(), "image too large");
    }
    {
        // Uncompressed rows the file cannot hold.
        std::string tall = dir.File("tall.tif");
        ASSERT_EQ(Sh("cp " + file + " " + tall + " && tiffset -s 257 8000 " + tall), 0);
        EXPECT_FALSE(Load(img, tall));
        EXPECT_EQ(std::string(img.LastError()).rfind("Corrupted TIFF file!", 0), 0u) << img.LastError();
    }
    EXPECT_EQ(img.Width(), 3);
    // Saving on a dead stream.
    ImageStream dead;
    dead.SetKindForTest(7);
    EXPECT_FALSE(img.Save(dead, kTypeTIFF));
    EXPECT_STREQ(img.LastError(), "invalid file pointer");
}

namespace {
// A little-endian TIFF of one page: the entries in tag order, values of more
// than four bytes in a data area after the directory, then `tail`.
struct TiffEntry {
    uint16_t tag, type;
    std::vector<uint32_t> values;
};
std::vector<uint8_t> CraftTiff(const std::vector<TiffEntry>& entries, const std::vector<uint8_t>& tail,
                               size_t* tailOffset = nullptr) {
    auto put16 = [](std::vector<uint8_t>& b, uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); };
    auto put32 = [&](std::vector<uint8_t>& b, uint32_t v) { put16(b, v & 0xFFFF), put16(b, v >> 16); };
    const size_t dirEnd = 8 + 2 + entries.size() * 12 + 4;
    std::vector<uint8_t> t = {'I', 'I', 42, 0, 8, 0, 0, 0}, area;
    put16(t, uint32_t(entries.size()));
    for (const TiffEntry& e : entries) {
        const size_t unit = e.type == 3 ? 2 : 4;
        put16(t, e.tag), put16(t, e.type), put32(t, uint32_t(e.values.size()));
        std::vector<uint8_t> v;
        for (uint32_t x : e.values) unit == 2 ? put16(v, x) : put32(v, x);
        if (v.size() <= 4) {
            v.resize(4, 0);
            t.insert(t.end(), v.begin(), v.end());
        } else {
            put32(t, uint32_t(dirEnd + area.size()));
            area.insert(area.end(), v.begin(), v.end());
        }
    }
    put32(t, 0);
    t.insert(t.end(), area.begin(), area.end());
    if (tailOffset) *tailOffset = t.size();
    t.insert(t.end(), tail.begin(), tail.end());
    return t;
}

// PackBits rows of `width` RGBA pixels, every byte `v` (runs of 128 bytes).
std::vector<uint8_t> PackBitsRows(int width, int rows, uint8_t v) {
    std::vector<uint8_t> out;
    for (int r = 0; r < rows; ++r)
        for (int left = width * 4; left > 0; left -= 128) {
            const int n = std::min(left, 128);
            out.push_back(uint8_t(257 - n));
            out.push_back(v);
        }
    return out;
}
}  // namespace

// Pages read through the RGBA path (here 8-bit RGB with alpha, PackBits) stop
// at the first strip that cannot be read: a file cut short fails with the
// strip path's message instead of loading with blank rows.
TEST(Tiff, CutShortRgbaPagesFail) {
    const uint16_t kShort = 3, kLong = 4;
    auto page = [&](uint32_t w, uint32_t h, uint32_t rowsPerStrip, std::vector<uint32_t> offsets,
                    std::vector<uint32_t> counts) {
        return std::vector<TiffEntry>{{256, kLong, {w}},
                                      {257, kLong, {h}},
                                      {258, kShort, {8, 8, 8, 8}},
                                      {259, kShort, {32773}},
                                      {262, kShort, {2}},
                                      {273, kLong, std::move(offsets)},
                                      {277, kShort, {4}},
                                      {278, kLong, {rowsPerStrip}},
                                      {279, kLong, std::move(counts)},
                                      {338, kShort, {1}}};   // associated alpha: colours as stored
    };
    // 16384 x 16384 in 130-odd bytes: the one strip lies beyond the end, or
    // (2048 x 2048) begins in the file and is cut short after a few bytes.
    for (bool inside : {false, true}) {
        const uint32_t side = inside ? 2048 : 16384;
        size_t at = 0;
        CraftTiff(page(side, side, side, {0}, {0}), {}, &at);
        const std::vector<uint8_t> f =
            CraftTiff(page(side, side, side, {inside ? uint32_t(at) : 4096u}, {1u << 20}), {0x81, 0x10, 0x81});
        ASSERT_LT(f.size(), 200u);
        VaZavi img(24, 3, 3, kTypeBMP);
        ImageStream in(f.data(), f.size());
        EXPECT_FALSE(img.Load(in, kTypeTIFF)) << inside;
        EXPECT_EQ(std::string(img.LastError()).rfind("Corrupted TIFF file!", 0), 0u) << img.LastError();
        EXPECT_EQ(img.Width(), 3);   // the caller's picture stays
    }
    // Four strips of 64 rows; with all of them the page loads with their
    // colour, with the last one cut short it fails.
    const int w = 40, h = 256;
    const std::vector<uint8_t> strip = PackBitsRows(w, 64, 0x5A);
    for (bool complete : {true, false}) {
        size_t at = 0;
        CraftTiff(page(w, h, 64, {0, 0, 0, 0}, {0, 0, 0, 0}), {}, &at);   // where the strips begin
        const uint32_t n = uint32_t(strip.size());
        std::vector<uint32_t> offsets, counts;
        for (uint32_t k = 0; k < 4; ++k) {
            offsets.push_back(uint32_t(at) + k * n);
            counts.push_back(n);
        }
        std::vector<uint8_t> tail;
        for (int k = 0; k < 4; ++k) tail.insert(tail.end(), strip.begin(), strip.end());
        if (!complete) tail.resize(tail.size() - strip.size() / 2);
        const std::vector<uint8_t> f = CraftTiff(page(w, h, 64, offsets, counts), tail);
        VaZavi img;
        ImageStream in(f.data(), f.size());
        if (complete) {
            ASSERT_TRUE(img.Load(in, kTypeTIFF)) << img.LastError();
            ASSERT_EQ(img.BitCount(), 24);
            EXPECT_EQ(img.Row(0)[0], 0x5A);          // bottom row
            EXPECT_EQ(img.Row(h - 1)[3 * (w - 1)], 0x5A);
        } else {
            EXPECT_FALSE(img.Load(in, kTypeTIFF));
            EXPECT_EQ(std::string(img.LastError()).rfind("Corrupted TIFF file!", 0), 0u) << img.LastError();
        }
    }
}

// A 1-bit picture whose two colours are not black and white is written as a
// palette page with a ColorMap, so that its colours survive; black and white
// pictures keep the min-is-black / min-is-white pages.
TEST(Tiff, OneBitPicturesKeepTheirTwoColours) {
    TempDir dir;
    struct Case {
        uint32_t c0, c1;   // palette entries, red in the high byte
        const char* photometric;
    } cases[] = {{0xFF0000u, 0x0000FFu, "palette color"},
                 {0x000000u, 0x808080u, "palette color"},
                 {0x000000u, 0x000000u, "palette color"},
                 {0x000000u, 0xFFFFFFu, "min-is-black"},
                 {0xFFFFFFu, 0x000000u, "min-is-white"}};
    for (const Case& c : cases) {
        VaZavi b(1, 37, 7, kTypeBMP);
        b.SetPaletteColor(0, c.c0);
        b.SetPaletteColor(1, c.c1);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 37; ++x) b.SetPixelIndex(x, y, (x * 7 + y) % 3 == 0);
        const std::string f = dir.File("two.tif");
        ASSERT_TRUE(b.Save(f.c_str(), kTypeTIFF)) << b.LastError();
        const std::string ti = TiffInfo(f);
        EXPECT_NE(ti.find(c.photometric), std::string::npos) << std::hex << c.c0 << " " << c.c1 << "\n" << ti;
        EXPECT_NE(ti.find("Bits/Sample: 1"), std::string::npos) << ti;
        // Other programs and our reader see the two colours at their pixels.
        EXPECT_EQ(Compare(Decode(dir, f), ToRgb(b)).count, 0u) << std::hex << c.c0 << " " << c.c1;
        VaZavi back;
        ASSERT_TRUE(Load(back, f)) << back.LastError();
        EXPECT_EQ(back.BitCount(), 1);
        EXPECT_EQ(Compare(ToRgb(back), ToRgb(b)).count, 0u) << std::hex << c.c0 << " " << c.c1;
    }
}
