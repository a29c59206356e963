// JPEG reader and writer, checked against libjpeg-turbo's own tools and
// ImageMagick.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ImageStream.h"
#include "VaZavi.h"
#include "test_support.h"

using namespace testsupport;

namespace {

// A synthetic photo-like picture written by ImageMagick (fixed seed).
std::string MakePhoto(const TempDir& dir, int w, int h) {
    std::string path = dir.File("photo.ppm");
    testsupport::Run(ImageMagick() + " -seed 7 -size " + std::to_string(w) + "x" + std::to_string(h) + " plasma:fractal " +
        path);
    return path;
}

bool LoadFile(VaZavi& img, const std::string& path, int type = kTypeJPEG) {
    return img.Load(path.c_str(), type);
}

Rgb Djpeg(const TempDir& dir, const std::string& jpg) {
    std::string out = dir.File("dj.pnm");
    // djpeg ends with status 2 when it only warned (a truncated file).
    EXPECT_NE(testsupport::Run("djpeg -pnm " + jpg + " > " + out + " 2>/dev/null"), 1);
    return ReadPnm(out);
}

void PatchDensity(std::vector<uint8_t>& f, uint8_t unit, uint16_t x, uint16_t y) {
    ASSERT_EQ(std::memcmp(&f[6], "JFIF", 4), 0);
    f[13] = unit;
    f[14] = uint8_t(x >> 8);
    f[15] = uint8_t(x);
    f[16] = uint8_t(y >> 8);
    f[17] = uint8_t(y);
}

}  // namespace

// Every variant cjpeg writes decodes to exactly what djpeg decodes.
TEST(Jpeg, DecodesLikeDjpeg) {
    TempDir dir;
    std::string ppm = MakePhoto(dir, 67, 45);
    const char* variants[] = {"-quality 90", "-progressive", "-sample 1x1", "-sample 2x1 -restart 1",
                              "-grayscale", "-optimize -quality 30", "-rgb"};
    for (const char* v : variants) {
        std::string jpg = dir.File("v.jpg");
        ASSERT_EQ(testsupport::Run(std::string("cjpeg ") + v + " " + ppm + " > " + jpg), 0) << v;
        VaZavi img;
        ASSERT_TRUE(LoadFile(img, jpg)) << v << ": " << img.LastError();
        const bool grey = std::string(v) == "-grayscale";
        EXPECT_EQ(img.BitCount(), grey ? 8 : 24) << v;
        if (grey) {
            EXPECT_TRUE(img.IsGrayScale());
        }
        Diff d = Compare(ToRgb(img), Djpeg(dir, jpg));
        EXPECT_EQ(d.count, 0u) << v << " max " << d.max;
    }
}

// Four-component files become 24-bit pictures (inverted CMYK as Adobe files
// store it); djpeg rounds where the conversion truncates.
TEST(Jpeg, CmykBecomesTrueColour) {
    TempDir dir;
    std::string ppm = MakePhoto(dir, 40, 30);
    std::string jpg = dir.File("cmyk.jpg");
    ASSERT_EQ(testsupport::Run(ImageMagick() + " " + ppm + " -colorspace CMYK " + jpg), 0);
    VaZavi img;
    ASSERT_TRUE(LoadFile(img, jpg)) << img.LastError();
    EXPECT_EQ(img.BitCount(), 24);
    Diff d = Compare(ToRgb(img), Djpeg(dir, jpg));
    EXPECT_LE(d.max, 1);
}

TEST(Jpeg, DensityUnits) {
    TempDir dir;
    VaZavi src(24, 16, 8, kTypeBMP);
    ImageStream out;
    ASSERT_TRUE(src.Save(out, kTypeJPEG));
    std::vector<uint8_t> f(out.Data(), out.Data() + out.Size());
    struct Case {
        uint8_t unit;
        uint16_t x, y;
        int xDpi, yDpi;
    } cases[] = {{1, 300, 150, 300, 150}, {2, 118, 40, 300, 102}, {0, 1, 2, 72, 144}, {0, 0, 2, 72, 72},
                 {0, 3, 2, 72, 48}};
    for (const Case& c : cases) {
        PatchDensity(f, c.unit, c.x, c.y);
        ImageStream in(f.data(), f.size());
        VaZavi img;
        ASSERT_TRUE(img.Load(in, kTypeJPEG));
        EXPECT_EQ(img.info.xDpi, c.xDpi) << int(c.unit) << " " << c.x;
        EXPECT_EQ(img.info.yDpi, c.yDpi) << int(c.unit) << " " << c.y;
        EXPECT_EQ(img.header.yPelsPerMeter, int(c.yDpi * 39.37007874015748 + 0.5));
    }
}

// A file cut short after its header still decodes, as djpeg decodes it.
TEST(Jpeg, TruncatedFileDecodes) {
    TempDir dir;
    std::string ppm = MakePhoto(dir, 64, 64);
    for (const char* opt : {"", "-progressive"}) {
        std::string jpg = dir.File("t.jpg");
        ASSERT_EQ(testsupport::Run(std::string("cjpeg ") + opt + " " + ppm + " > " + jpg), 0);
        auto bytes = ReadBytes(jpg);
        // Cut in the middle of the last scan's data.
        size_t sos = 0;
        for (size_t i = 0; i + 1 < bytes.size(); ++i)
            if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) sos = i;
        bytes.resize(sos + (bytes.size() - sos) / 2);
        WriteBytes(jpg, bytes);
        VaZavi img;
        ASSERT_TRUE(LoadFile(img, jpg)) << img.LastError();
        EXPECT_EQ(img.Width(), 64);
        Diff d = Compare(ToRgb(img), Djpeg(dir, jpg));
        EXPECT_EQ(d.count, 0u) << opt;
    }
}

TEST(Jpeg, MalformedInputFailsWithLibraryText) {
    VaZavi img(24, 3, 3, kTypeBMP);
    {
        ImageStream empty;
        EXPECT_FALSE(img.Load(empty, kTypeJPEG));
        EXPECT_STREQ(img.LastError(), "Empty input file");
    }
    {
        auto junk = RandomBytes(500, 3);
        ImageStream in(junk.data(), junk.size());
        EXPECT_FALSE(img.Load(in, kTypeJPEG));
        EXPECT_NE(std::string(img.LastError()).find("JPEG"), std::string::npos) << img.LastError();
    }
    {
        // Only the start-of-image marker: the header is missing.
        const uint8_t soi[] = {0xFF, 0xD8};
        ImageStream in(soi, sizeof soi);
        EXPECT_FALSE(img.Load(in, kTypeJPEG));
        EXPECT_STRNE(img.LastError(), "");
    }
    EXPECT_EQ(img.Width(), 3);   // a failed load leaves the image alone
    // A header claiming 65000 x 65000 pixels is refused before any room is made.
    VaZavi big(24, 16, 16, kTypeBMP);
    ImageStream out;
    ASSERT_TRUE(big.Save(out, kTypeJPEG));
    std::vector<uint8_t> f(out.Data(), out.Data() + out.Size());
    for (size_t i = 2; i + 8 < f.size(); ++i)
        if (f[i] == 0xFF && (f[i + 1] == 0xC2 || f[i + 1] == 0xC0)) {
            f[i + 5] = 0xFD, f[i + 6] = 0xE8, f[i + 7] = 0xFD, f[i + 8] = 0xE8;
            break;
        }
    ImageStream in(f.data(), f.size());
    EXPECT_FALSE(img.Load(in, kTypeJPEG));
    EXPECT_STREQ(img.LastError(), "image too large");
}

// What we write: progressive, no chroma subsampling, the requested density,
// and djpeg reads exactly what we read back.
TEST(Jpeg, WritesProgressiveFullChromaFiles) {
    TempDir dir;
    std::string ppm = MakePhoto(dir, 50, 37);
    ASSERT_EQ(testsupport::Run(ImageMagick() + " " + ppm + " BMP3:" + ppm + ".bmp"), 0);
    VaZavi img;
    ASSERT_TRUE(img.Load((ppm + ".bmp").c_str(), kTypeBMP));
    img.SetXDpi(300);
    img.SetYDpi(200);
    img.info.jpegQuality = 85;
    const std::vector<uint8_t> before(img.bits, img.bits + img.ImageBytes());
    std::string jpg = dir.File("o.jpg");
    ASSERT_TRUE(img.Save(jpg.c_str(), kTypeJPEG)) << img.LastError();
    EXPECT_EQ(std::vector<uint8_t>(img.bits, img.bits + img.ImageBytes()), before);   // pixels untouched

    std::string idf;
    testsupport::Run(ImageMagick() + " " + jpg + " -format '%[interlace] %[jpeg:sampling-factor] %Q %x %y' info:", &idf);
    EXPECT_NE(idf.find("JPEG 1x1,1x1,1x1 85"), std::string::npos) << idf;
    EXPECT_NE(idf.find("300"), std::string::npos) << idf;

    VaZavi back;
    ASSERT_TRUE(LoadFile(back, jpg));
    EXPECT_EQ(back.info.xDpi, 300);
    EXPECT_EQ(back.info.yDpi, 200);
    EXPECT_EQ(Compare(ToRgb(back), Djpeg(dir, jpg)).count, 0u);
    Diff fromSource = Compare(ToRgb(back), ToRgb(img));
    EXPECT_LE(fromSource.max, 40);

    // Quality is limited to 1..100: the initial 150 writes what 100 writes.
    ImageStream a, b;
    img.info.jpegQuality = 150;
    ASSERT_TRUE(img.Save(a, kTypeJPEG));
    img.info.jpegQuality = 100;
    ASSERT_TRUE(img.Save(b, kTypeJPEG));
    ASSERT_EQ(a.Size(), b.Size());
    EXPECT_EQ(std::memcmp(a.Data(), b.Data(), size_t(a.Size())), 0);
}

TEST(Jpeg, GreyPaletteAndThirtyTwoBitImages) {
    TempDir dir;
    // An 8-bit identity grey picture writes one component.
    VaZavi grey(8, 20, 10, kTypeBMP);
    grey.SetGrayPalette();
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) grey.SetPixelIndex(x, y, x * 12);
    std::string g = dir.File("g.jpg");
    ASSERT_TRUE(grey.Save(g.c_str(), kTypeJPEG)) << grey.LastError();
    std::string kind;
    testsupport::Run("djpeg -pnm " + g + " | head -c 2", &kind);
    EXPECT_EQ(kind, "P5");
    VaZavi gback;
    ASSERT_TRUE(LoadFile(gback, g));
    EXPECT_EQ(gback.BitCount(), 8);
    EXPECT_LE(Compare(ToRgb(gback), ToRgb(grey)).max, 3);

    // Colour palettes, and 1- and 4-bit images, are refused with the Korean text.
    const char* refusal = "JPEG 는 RGB 혹은 그레이스케일 이미지만 저장할 수 있음";
    VaZavi pal(8, 4, 4, kTypeBMP);
    pal.SetPaletteColor(3, 200, 10, 10);
    ImageStream s1;
    EXPECT_FALSE(pal.Save(s1, kTypeJPEG));
    EXPECT_STREQ(pal.LastError(), refusal);
    VaZavi bw(1, 4, 4, kTypeBMP);
    bw.SetPaletteColor(1, 1, 1, 1);   // entries 0, 1: passes the identity-ramp test
    ASSERT_TRUE(bw.IsGrayScale());
    ImageStream s2;
    EXPECT_FALSE(bw.Save(s2, kTypeJPEG));
    EXPECT_STREQ(bw.LastError(), refusal);

    // A 32-bit image writes the picture of its blue, green and red bytes.
    VaZavi c24(24, 9, 7, kTypeBMP), c32(32, 9, 7, kTypeBMP);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) {
            uint8_t b = uint8_t(x * 25), gg = uint8_t(y * 30), r = uint8_t(200 - x * 10);
            uint8_t* p = c24.Row(y) + x * 3;
            p[0] = b, p[1] = gg, p[2] = r;
            uint8_t* q = c32.Row(y) + x * 4;
            q[0] = b, q[1] = gg, q[2] = r, q[3] = uint8_t(x * y);
        }
    ImageStream o24, o32;
    ASSERT_TRUE(c24.Save(o24, kTypeJPEG));
    ASSERT_TRUE(c32.Save(o32, kTypeJPEG));
    ASSERT_EQ(o24.Size(), o32.Size());
    EXPECT_EQ(std::memcmp(o24.Data(), o32.Data(), size_t(o24.Size())), 0);
}

TEST(Jpeg, CliQualityAndDetection) {
    TempDir dir;
    std::string ppm = MakePhoto(dir, 32, 32);
    std::string bmp = dir.File("p.bmp");
    ASSERT_EQ(testsupport::Run(ImageMagick() + " " + ppm + " BMP3:" + bmp), 0);
    std::string q10 = dir.File("q10.jpg"), q95 = dir.File("q95.jpg");
    ASSERT_EQ(testsupport::Run(std::string(PIMLORA_CLI) + " convert " + bmp + " " + q10 + " --quality 10"), 0);
    ASSERT_EQ(testsupport::Run(std::string(PIMLORA_CLI) + " convert " + bmp + " " + q95 + " --quality 95"), 0);
    EXPECT_LT(ReadBytes(q10).size(), ReadBytes(q95).size());
    std::string info;
    testsupport::Run(std::string(PIMLORA_CLI) + " info " + q10, &info);
    EXPECT_NE(info.find("width=32 height=32 bits=24"), std::string::npos) << info;
    VaZavi any;
    ASSERT_TRUE(any.Load(q95.c_str(), kTypeDetect));
    EXPECT_EQ(any.Width(), 32);
}
