// Header-only probes: each agrees with its decoder on the pictures the tools
// make (every decode in the tests is also compared, see ProbeChecks), refuses
// what its decoder refuses, and reads nothing but headers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ImageStream.h"
#include "VaZavi.h"
#include "image_probe.h"
#include "test_support.h"

using namespace testsupport;

namespace {

struct Made {
    const char* name;     // file name (its extension chooses the codec)
    const char* command;  // shell command writing it ($F = the file)
    int type;
};

// Pictures of every layout the readers take, written by independent tools.
const Made kPictures[] = {
    {"gray.bmp", "convert -size 33x17 gradient: -type Grayscale -colors 200 BMP3:$F", kTypeBMP},
    {"bw.bmp", "convert -size 41x9 pattern:checkerboard -monochrome BMP3:$F", kTypeBMP},
    {"c16.bmp", "convert -size 19x7 plasma:fractal -colors 16 -type Palette BMP3:$F", kTypeBMP},
    {"rgb.bmp", "convert -size 31x13 plasma:fractal -density 120 -units PixelsPerInch BMP3:$F", kTypeBMP},
    {"argb.bmp", "convert -size 10x6 xc:'rgba(10,200,30,0.5)' BMP:$F", kTypeBMP},
    {"rle.bmp", "convert -size 25x12 plasma:fractal -colors 60 -compress RLE BMP3:$F", kTypeBMP},
    {"os2.bmp", "ppmmake rgb:10/80/f0 13 5 | ppmtobmp -os2 > $F 2>/dev/null", kTypeBMP},
    {"rgb565.bmp", "convert -size 9x4 plasma:fractal -define bmp:subtype=RGB565 BMP:$F", kTypeBMP},
    {"top.jpg", "convert -size 64x48 plasma:fractal -quality 85 $F", kTypeJPEG},
    {"gray.jpg", "convert -size 30x20 gradient: -colorspace Gray $F", kTypeJPEG},
    {"dpcm.jpg", "convert -size 30x20 xc:red -density 40 -units PixelsPerCentimeter $F", kTypeJPEG},
    {"aspect.jpg", "convert -size 30x20 xc:red -density 2x3 -units Undefined $F", kTypeJPEG},
    {"cmyk.jpg", "convert -size 20x10 xc:red -colorspace CMYK $F", kTypeJPEG},
    {"prog.jpg", "convert -size 70x50 plasma:fractal -interlace Plane $F", kTypeJPEG},
    {"odd.jpg", "convert -size 101x37 plasma:fractal -sampling-factor 2x2 $F", kTypeJPEG},
    {"one.gif", "convert -size 23x11 plasma:fractal -colors 100 $F", kTypeGIF},
    {"bw.gif", "convert -size 16x16 pattern:checkerboard -monochrome $F", kTypeGIF},
    {"anim.gif", "convert -size 20x10 xc:red -size 7x5 xc:blue -size 3x3 xc:lime -loop 0 $F", kTypeGIF},
    {"inter.gif", "convert -size 40x30 plasma:fractal -colors 7 -interlace GIF $F", kTypeGIF},
    {"pages.tif", "convert -size 20x10 xc:red -size 9x4 xc:blue -size 5x5 xc:lime $F", kTypeTIFF},
    {"pal.tif", "convert -size 17x9 plasma:fractal -colors 12 -type Palette $F", kTypeTIFF},
    {"bw.tif", "convert -size 33x7 pattern:checkerboard -monochrome -compress Group4 $F", kTypeTIFF},
    {"g16.tif", "convert -size 12x5 gradient: -depth 16 -colorspace Gray $F", kTypeTIFF},
    {"rgb16.tif", "convert -size 12x5 plasma:fractal -depth 16 $F", kTypeTIFF},
    {"cm.tif", "convert -size 8x6 xc:red -density 50 -units PixelsPerCentimeter $F", kTypeTIFF},
    {"turned.tif", "convert -size 20x8 xc:red -orient RightTop -density 100x50 -units PixelsPerInch $F", kTypeTIFF},
    {"tiled.tif", "convert -size 70x40 plasma:fractal -define tiff:tile-geometry=16x16 $F", kTypeTIFF},
    {"lzw.tif", "convert -size 30x20 plasma:fractal -compress LZW -alpha on $F", kTypeTIFF},
    {"bw.pcx", "convert -size 16x8 pattern:checkerboard -monochrome $F", kTypePCX},
    {"pal.pcx", "convert -size 21x9 plasma:fractal -colors 50 $F", kTypePCX},
    {"true.pcx", "ppmmake rgb:10/20/30 7 4 | ppmtopcx -24bit > $F 2>/dev/null", kTypePCX},
    {"c16.pcx", "ppmmake rgb:ff/00/00 9 3 | ppmtopcx -planes=4 > $F 2>/dev/null", kTypePCX},
    {"packed.pcx", "ppmmake rgb:ff/00/00 9 3 | ppmtopcx -packed > $F 2>/dev/null", kTypePCX},
};

std::string Make(const TempDir& dir, const Made& m) {
    const std::string file = dir.File(m.name);
    std::string cmd = m.command;
    for (size_t at; (at = cmd.find("$F")) != std::string::npos;) cmd.replace(at, 2, "'" + file + "'");
    if (cmd.rfind("convert ", 0) == 0) cmd = ImageMagick() + cmd.substr(7);
    EXPECT_EQ(testsupport::Run(cmd), 0) << cmd;
    return file;
}

// A 16 x 16 PackBits TIFF of `samples` samples of `bits` bits, its one
// strip at `offset` with `count` bytes in a file of `size` bytes; offset 0
// makes the strip real (all zero).
std::vector<uint8_t> MinimalTiff(int samples, int bits, uint32_t size, uint32_t count, uint32_t offset) {
    std::vector<uint8_t> f(8, 0);
    f[0] = f[1] = 'I';
    f[2] = 42;
    f[4] = 8;
    auto put16 = [&f](size_t at, uint16_t v) { f[at] = uint8_t(v), f[at + 1] = uint8_t(v >> 8); };
    auto put32 = [&f](size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) f[at + size_t(k)] = uint8_t(v >> (8 * k));
    };
    struct Entry {
        uint16_t tag, type;
        uint32_t count, value;
    };
    const uint32_t rowBytes = 16u * uint32_t(samples) * uint32_t(bits) / 8;
    std::vector<uint8_t> strip;
    for (uint32_t left = rowBytes * 16; left > 0;) {   // runs of zeros
        const uint32_t n = std::min<uint32_t>(left, 128);
        strip.push_back(uint8_t(257 - n));
        strip.push_back(0);
        left -= n;
    }
    const uint32_t entries = 9, ifdEnd = 8 + 2 + entries * 12 + 4;
    const uint32_t bitsAt = ifdEnd, stripAt = ifdEnd + 8;
    const std::vector<Entry> e = {
        {256, 4, 1, 16}, {257, 4, 1, 16},
        {258, 3, uint32_t(samples), samples == 1 ? uint32_t(bits) : bitsAt},
        {259, 3, 1, 32773}, {262, 3, 1, samples == 1 ? 1u : 2u},
        {273, 4, 1, offset ? offset : stripAt}, {277, 3, 1, uint32_t(samples)}, {278, 4, 1, 16},
        {279, 4, 1, offset ? count : uint32_t(strip.size())},
    };
    f.resize(ifdEnd + 8, 0);
    put16(8, uint16_t(entries));
    for (size_t i = 0; i < e.size(); ++i) {
        const size_t at = 10 + i * 12;
        put16(at, e[i].tag);
        put16(at + 2, e[i].type);
        put32(at + 4, e[i].count);
        if (e[i].type == 3 && e[i].count == 1) put16(at + 8, uint16_t(e[i].value));
        else put32(at + 8, e[i].value);
    }
    for (int k = 0; k < samples; ++k) put16(bitsAt + 2 * size_t(k), uint16_t(bits));
    if (!offset) f.insert(f.end(), strip.begin(), strip.end());
    if (size > f.size()) f.resize(size, 0);
    return f;
}

bool Probe(const std::vector<uint8_t>& bytes, int type, ImageProbe& p) {
    ImageStream s(bytes.data(), bytes.size());
    return ProbePicture(s, type, p);
}

}  // namespace

TEST(Probe, AgreesWithTheDecoderOnEveryLayout) {
    TempDir dir;
    for (const Made& m : kPictures) {
        SCOPED_TRACE(m.name);
        const std::string file = Make(dir, m);
        ImageProbe p;
        ASSERT_TRUE(ProbePictureFile(file.c_str(), m.type, p)) << p.error;
        const int before = ProbeChecks();
        VaZavi img(m.type);
        ASSERT_TRUE(img.Load(file.c_str(), m.type)) << img.LastError();
        // The decode itself was checked against the probe of the same bytes.
        EXPECT_EQ(ProbeChecks(), before + 1);
        EXPECT_EQ(p.type, m.type);
        EXPECT_EQ(p.width, img.Width());
        EXPECT_EQ(p.height, img.Height());
        EXPECT_EQ(p.bits, img.BitCount());
        EXPECT_EQ(p.colors, img.ColorsUsed());
        EXPECT_EQ(p.frames, img.info.frameCount > 0 ? img.info.frameCount : 1);
        EXPECT_EQ(p.xDpi, img.info.xDpi);
        EXPECT_EQ(p.yDpi, img.info.yDpi);
        // Detection finds the same codec.
        ImageProbe d;
        ASSERT_TRUE(ProbePictureFile(file.c_str(), kTypeDetect, d));
        EXPECT_EQ(d.type, m.type);
    }
    // Frames, pages and the turned page, spelled out.
    ImageProbe p;
    ASSERT_TRUE(ProbePictureFile(dir.File("anim.gif").c_str(), kTypeGIF, p));
    EXPECT_EQ(p.frames, 3);
    EXPECT_EQ(p.width, 20);
    ASSERT_TRUE(ProbePictureFile(dir.File("pages.tif").c_str(), kTypeTIFF, p));
    EXPECT_EQ(p.frames, 3);
    ASSERT_TRUE(ProbePictureFile(dir.File("turned.tif").c_str(), kTypeTIFF, p));
    EXPECT_EQ(p.width, 8);
    EXPECT_EQ(p.height, 20);
    EXPECT_EQ(p.xDpi, 50);
    EXPECT_EQ(p.yDpi, 100);
    // The program's own pictures.
    for (const char* res : {"resource_jpg1.jpg", "resource_1011.gif", "resource_1015.tif", "resource_4698.bmp"}) {
        const std::string file = std::string(PIMLORA_SOURCE_DIR) + "/resources/" + res;
        ImageProbe r;
        EXPECT_TRUE(ProbePictureFile(file.c_str(), kTypeDetect, r)) << res << ": " << r.error;
        VaZavi img(kTypeBMP);
        EXPECT_TRUE(img.Load(file.c_str(), kTypeDetect)) << res;
    }
}

TEST(Probe, ReadsHeadersOnly) {
    TempDir dir;
    // A JPEG whose entropy-coded data is garbage: the header is all the
    // probe needs.
    ASSERT_EQ(testsupport::Run(ImageMagick() + " -size 800x600 plasma:fractal -quality 90 " + dir.File("p.jpg")), 0);
    std::vector<uint8_t> bytes = ReadBytes(dir.File("p.jpg"));
    size_t sos = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) sos = i;
    ASSERT_GT(sos, 0u);
    std::vector<uint8_t> headerOnly(bytes.begin(), bytes.begin() + ptrdiff_t(sos + 20));
    ImageProbe p;
    ASSERT_TRUE(Probe(headerOnly, kTypeJPEG, p)) << p.error;
    EXPECT_EQ(p.width, 800);
    EXPECT_EQ(p.height, 600);
    // A BMP claiming a picture of 2^28 pixels in a file of a few bytes is
    // refused before anything is made, as the reader refuses it.
    std::vector<uint8_t> huge(14 + 40 + 16, 0);
    huge[0] = 'B', huge[1] = 'M';
    const uint32_t w = 1u << 14, h = 1u << 14;
    huge[10] = 54;
    huge[14] = 40;
    std::memcpy(&huge[18], &w, 4);
    std::memcpy(&huge[22], &h, 4);
    huge[26] = 1;
    huge[28] = 24;
    EXPECT_FALSE(Probe(huge, kTypeBMP, p));
    EXPECT_EQ(p.error, "truncated pixel data");
    // A multi-page TIFF probes its page count without reading strips.
    ASSERT_EQ(testsupport::Run(ImageMagick() + " -size 3000x2000 xc:red -size 3000x2000 xc:blue -compress LZW " + dir.File("two.tif")), 0);
    ASSERT_TRUE(ProbePictureFile(dir.File("two.tif").c_str(), kTypeTIFF, p));
    EXPECT_EQ(p.frames, 2);
    EXPECT_EQ(p.width, 3000);
}

TEST(Probe, RefusesWhatTheReadersRefuse) {
    TempDir dir;
    ImageProbe p;
    // Each: bytes, type, and whether the decoder refuses the same bytes.
    auto both = [&](const std::vector<uint8_t>& bytes, int type, const std::string& what) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(Probe(bytes, type, p));
        EXPECT_FALSE(p.error.empty());
        VaZavi img(type);
        ImageStream s(bytes.data(), bytes.size());
        EXPECT_FALSE(img.Load(s, type));
    };
    both({}, kTypeBMP, "empty BMP");
    both({'B', 'M', 1, 2, 3}, kTypeBMP, "short BMP");
    both({10, 5, 1, 8, 0, 0, 0, 0, 9, 0, 9, 0}, kTypePCX, "short PCX");
    both({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B}, kTypeGIF, "GIF without an image");
    both({0xFF, 0xD8, 0xFF, 0xD9}, kTypeJPEG, "JPEG without a frame");
    both({'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0}, kTypeTIFF, "TIFF without a directory");
    // A PCX of five planes.
    std::vector<uint8_t> pcx(128 + 16, 0);
    pcx[0] = 10, pcx[2] = 1, pcx[3] = 1, pcx[8] = 7, pcx[10] = 7, pcx[65] = 5, pcx[66] = 1;
    both(pcx, kTypePCX, "PCX of five planes");
    // A GIF frame of no pixels.
    std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255,
                                0x2C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 0x44, 0x01, 0, 0x3B};
    both(gif, kTypeGIF, "GIF frame of 0 x 0");
    // A JPEG of two components.
    ASSERT_EQ(testsupport::Run(ImageMagick() + " -size 8x8 xc:red " + dir.File("r.jpg")), 0);
    std::vector<uint8_t> jpg = ReadBytes(dir.File("r.jpg"));
    for (size_t i = 0; i + 9 < jpg.size(); ++i)
        if (jpg[i] == 0xFF && jpg[i + 1] == 0xC0) jpg[i + 9] = 2;   // Nf of the frame header
    both(jpg, kTypeJPEG, "JPEG of two components");
}

// What the probe refuses although today's decoders take it: the probe
// already gives the sound answer for these hostile files.
TEST(Probe, RefusesPicturesTheirFilesCannotHold) {
    TempDir dir;
    ImageProbe p;
    // A GIF whose first frame has an unusable LZW code size (12) yields no
    // pixels at all.
    std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255,
                                0x2C, 0, 0, 0, 0, 4, 0, 4, 0, 0, 12, 2, 0x44, 0x01, 0, 0x3B};
    EXPECT_FALSE(Probe(gif, kTypeGIF, p));
    EXPECT_EQ(p.error, "GIF image has no pixels");
    gif[29] = 2;   // the same file with a usable code size
    EXPECT_TRUE(Probe(gif, kTypeGIF, p)) << p.error;
    // A TIFF cut short: its one strip lies beyond the end of the file.
    EXPECT_FALSE(Probe(MinimalTiff(3, 16, 400, 5000, 300), kTypeTIFF, p));
    EXPECT_EQ(p.error, "Corrupted TIFF file!");
    // The same page whole probes and decodes.
    const std::vector<uint8_t> whole = MinimalTiff(3, 16, 0, 0, 0);
    ASSERT_TRUE(Probe(whole, kTypeTIFF, p)) << p.error;
    EXPECT_EQ(p.width, 16);
    EXPECT_EQ(p.bits, 24);
    VaZavi img(kTypeTIFF);
    ImageStream s(whole.data(), whole.size());
    EXPECT_TRUE(img.Load(s, kTypeTIFF)) << img.LastError();
}

TEST(Probe, TiffStripsOutsideTheFileAreRefusedByBoth) {
    ImageProbe p;
    const std::vector<uint8_t> grey = MinimalTiff(1, 8, 400, 5000, 300);
    EXPECT_FALSE(Probe(grey, kTypeTIFF, p));
    VaZavi img(kTypeTIFF);
    ImageStream s(grey.data(), grey.size());
    EXPECT_FALSE(img.Load(s, kTypeTIFF));
}

TEST(Probe, FilesThatAreNotRegularAreRefusedWithoutBlocking) {
    TempDir dir;
    ImageProbe p;
    ASSERT_EQ(testsupport::Run("mkfifo " + dir.File("f.bmp")), 0);
    EXPECT_FALSE(ProbePictureFile(dir.File("f.bmp").c_str(), kTypeBMP, p));
    EXPECT_EQ(p.error.rfind("not a regular file", 0), 0u) << p.error;   // and what it is
    EXPECT_FALSE(ProbePictureFile(dir.Path().c_str(), kTypeBMP, p));
    EXPECT_FALSE(ProbePictureFile(dir.File("missing.bmp").c_str(), kTypeBMP, p));
    EXPECT_NE(p.error.find("No such file"), std::string::npos) << p.error;
}
