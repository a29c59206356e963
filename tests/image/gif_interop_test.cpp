// GIF files of ImageMagick and giflib load with the pixels those tools
// decode, and the files we write load identically in them.
#include <gtest/gtest.h>

#include <string>

#include "ImageStream.h"
#include "VaZavi.h"
#include "codecs.h"
#include "test_support.h"

using namespace testsupport;

namespace {

std::string IM() { return ImageMagick() + " "; }

void Sh(const std::string& cmd) { ASSERT_EQ(testsupport::Run(cmd + " 2>&1"), 0) << cmd; }

Rgb ImDecode(const TempDir& dir, const std::string& gif, const std::string& suffix = "") {
    std::string ppm = dir.File("imdecode.ppm");
    EXPECT_EQ(testsupport::Run(IM() + "'" + gif + suffix + "' -alpha off " + ppm + " 2>&1"), 0);
    return ReadPnm(ppm);
}

void ExpectSame(const Rgb& a, const Rgb& b, const std::string& what) {
    Diff d = Compare(a, b);
    EXPECT_EQ(d.count, 0u) << what << " (" << a.width << "x" << a.height << " vs " << b.width << "x" << b.height << ")";
}

VaZaviGIF LoadGif(const std::string& path, int frame = 0, bool* ok = nullptr) {
    VaZaviGIF g;
    g.info.frameIndex = frame;
    FILE* f = std::fopen(path.c_str(), "rb");
    ImageStream s(f);
    bool r = f && g.Decode(s);
    if (f) std::fclose(f);
    if (ok) *ok = r;
    return g;
}

}  // namespace

TEST(GifInterop, ImageMagickDepthsPalettesAndInterlace) {
    TempDir dir;
    struct Case { int colours; int bits; };
    for (Case c : {Case{2, 1}, Case{5, 4}, Case{16, 4}, Case{32, 8}, Case{256, 8}}) {
        for (bool interlace : {false, true}) {
            std::string gif = dir.File("p" + std::to_string(c.colours) + (interlace ? "i" : "") + ".gif");
            Sh(IM() + "-seed 4 -size 61x43 plasma:fractal +dither -colors " + std::to_string(c.colours) +
               (interlace ? " -interlace GIF " : " ") + gif);
            bool ok = false;
            VaZaviGIF g = LoadGif(gif, 0, &ok);
            ASSERT_TRUE(ok) << gif;
            EXPECT_EQ(g.BitCount(), c.bits) << gif;
            ExpectSame(ToRgb(g), ImDecode(dir, gif), gif);
        }
    }
}

TEST(GifInterop, InterlacedHeightsOneToSeventeen) {
    TempDir dir;
    for (int h = 1; h <= 17; ++h) {
        std::string gif = dir.File("i" + std::to_string(h) + ".gif");
        // Every row its own colour so a misplaced row shows.
        Sh(IM() + "-size 1x" + std::to_string(h) + " gradient:red-blue -scale 4x" + std::to_string(h) +
           "! +dither -colors 64 -interlace GIF " + gif);
        std::string text;
        testsupport::Run("giftext " + gif + " | grep -c 'Image is Interlaced'", &text);
        EXPECT_EQ(std::stoi(text), 1) << h;
        bool ok = false;
        VaZaviGIF g = LoadGif(gif, 0, &ok);
        ASSERT_TRUE(ok) << h;
        ExpectSame(ToRgb(g), ImDecode(dir, gif), "interlaced height " + std::to_string(h));
    }
}

TEST(GifInterop, TransparencyAndAnimationWithLocalTables) {
    TempDir dir;
    // Frame 0 opaque; frame 1 its own colours (local table) with transparent
    // pixels; frame 2 more new colours; all "leave in place".
    std::string gif = dir.File("anim.gif");
    Sh(IM() + "-dispose none -delay 10 -seed 2 -size 40x30 plasma:fractal +dither -colors 20 "
              "\\( -size 16x12 xc:none -fill red -draw 'circle 8,6 8,1' -fill '#30c040' -draw 'point 2,2' "
              "-repage +5+6 \\) "
              "\\( -size 9x7 gradient:yellow-navy +dither -colors 9 -repage +28+20 \\) -loop 3 " + gif);
    std::string text;
    testsupport::Run("giftext " + gif + " | grep -c 'Image Has Color Map'", &text);
    EXPECT_GE(std::stoi(text), 1) << "expected local colour tables";
    Sh(IM() + gif + " -coalesce -alpha off " + dir.File("co-%d.ppm"));
    for (int k = 0; k < 3; ++k) {
        bool ok = false;
        VaZaviGIF g = LoadGif(gif, k, &ok);
        ASSERT_TRUE(ok) << k;
        EXPECT_EQ(g.info.frameCount, 3);
        EXPECT_EQ(g.loopCount, 2);   // ImageMagick stores -loop N as N - 1
        EXPECT_EQ(g.info.frameDelay, 10);
        EXPECT_EQ(g.Width(), 40);
        EXPECT_EQ(g.Height(), 30);
        ExpectSame(ToRgb(g), ReadPnm(dir.File("co-" + std::to_string(k) + ".ppm")), "frame " + std::to_string(k));
    }
    // A lone transparent picture: opaque pixels as ImageMagick sees them,
    // transparent ones on the transparent index.
    std::string t = dir.File("t.gif");
    Sh(IM() + "-size 20x14 xc:none -fill '#2050a0' -draw 'rectangle 3,2 12,9' -fill orange -draw 'point 15,11' " + t);
    VaZaviGIF g = LoadGif(t);
    ASSERT_NE(g.info.transparentIndex, -1);
    Rgb ours = ToRgb(g), theirs = ImDecode(dir, t);
    Sh(IM() + t + " -alpha extract " + dir.File("a.pgm"));
    Rgb alpha = ReadPnm(dir.File("a.pgm"));
    for (int y = 0; y < 14; ++y)
        for (int x = 0; x < 20; ++x) {
            if (alpha.at(x, y, 0) == 0) {
                EXPECT_EQ(g.GetPixelIndex(x, 13 - y), g.info.transparentIndex);
            } else {
                for (int c = 0; c < 3; ++c) EXPECT_EQ(ours.at(x, y, c), theirs.at(x, y, c)) << x << "," << y;
            }
        }
}

TEST(GifInterop, GiflibBuiltFileWithLocalTableAndInterlace) {
    TempDir dir;
    // gifbuild: global table, then an interlaced 6 x 9 image with a local
    // table of four colours.
    std::string text =
        "screen width 8\nscreen height 10\nscreen colors 4\nscreen background 0\npixel aspect byte 0\n\n"
        "screen map\n\tsort flag off\n\trgb 010 020 030 is a\n\trgb 200 100 050 is b\n"
        "\trgb 000 000 000 is c\n\trgb 255 255 255 is d\nend\n\n"
        "image # 1\nimage left 1\nimage top 1\nimage interlaced\n"
        "image map\n\tsort flag off\n\trgb 255 000 000 is r\n\trgb 000 255 000 is g\n"
        "\trgb 000 000 255 is u\n\trgb 128 128 000 is y\nend\n"
        "image bits 6 by 9\nrguyrg\nguyrgu\nuyrguy\nyrguyr\nrrrrrr\ngggggg\nuuuuuu\nyyyyyy\nrgrgrg\n";
    WriteBytes(dir.File("g.txt"), std::vector<uint8_t>(text.begin(), text.end()));
    Sh("gifbuild " + dir.File("g.txt") + " > " + dir.File("g.gif"));
    Sh("giftopnm " + dir.File("g.gif") + " > " + dir.File("g.ppm"));
    bool ok = false;
    VaZaviGIF g = LoadGif(dir.File("g.gif"), 0, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(g.Width(), 6);
    EXPECT_EQ(g.info.frameLeft, 1);
    ExpectSame(ToRgb(g), ReadPnm(dir.File("g.ppm")), "gifbuild");
}

TEST(GifInterop, FilesWeWriteLoadIdenticallyInOtherTools) {
    TempDir dir;
    for (int bits : {1, 4, 8}) {
        VaZavi img(bits, 53, 37, kTypeGIF);
        auto noise = RandomBytes(53 * 37 + 768, uint32_t(bits));
        for (int i = 0; i < img.ColorsUsed(); ++i)
            img.SetPaletteColor(i, noise[3 * i], noise[3 * i + 1], noise[3 * i + 2]);
        for (int y = 0; y < 37; ++y)
            for (int x = 0; x < 53; ++x) img.SetPixelIndex(x, y, y > 20 ? x / 4 : noise[768 + y * 53 + x]);
        if (bits == 8) img.info.transparentIndex = 3;
        std::string gif = dir.File("w" + std::to_string(bits) + ".gif");
        ASSERT_TRUE(img.Save(gif.c_str(), kTypeGIF));
        Rgb ours = ToRgb(img);
        ExpectSame(ours, ImDecode(dir, gif), gif + " in ImageMagick");
        Sh("giftopnm " + gif + " > " + dir.File("n.ppm"));
        ExpectSame(ours, ReadPnm(dir.File("n.ppm")), gif + " in giftopnm");
        if (bits == 8) {
            std::string t;
            testsupport::Run("giftext " + gif + " | grep 'Transparent Index'", &t);
            EXPECT_NE(t.find("Transparent Index: 3"), std::string::npos) << t;
        }
        // And back through our own reader.
        bool ok = false;
        VaZaviGIF g = LoadGif(gif, 0, &ok);
        ASSERT_TRUE(ok);
        ExpectSame(ToRgb(g), ours, gif + " read back");
    }
}

TEST(GifInterop, CommandLineFramesAndFrameSelection) {
    TempDir dir;
    std::string gif = dir.File("a.gif");
    Sh(IM() + "-dispose none -delay 5 -size 12x10 xc:white \\( -size 4x4 xc:red -repage +1+1 \\) "
              "\\( -size 3x3 xc:blue -repage +8+6 \\) " + gif);
    std::string out;
    ASSERT_EQ(testsupport::Run(std::string(PIMLORA_CLI) + " info " + gif, &out), 0);
    EXPECT_NE(out.find("format=gif width=12 height=10 "), std::string::npos) << out;
    EXPECT_NE(out.find("frames=3"), std::string::npos) << out;
    Sh(std::string(PIMLORA_CLI) + " convert " + gif + " " + dir.File("f2.bmp") + " --frame 2");
    Sh(IM() + gif + " -coalesce " + dir.File("c-%d.ppm"));
    Sh(IM() + dir.File("f2.bmp") + " " + dir.File("f2.ppm"));
    ExpectSame(ReadPnm(dir.File("f2.ppm")), ReadPnm(dir.File("c-2.ppm")), "--frame 2");
    EXPECT_NE(testsupport::Run(std::string(PIMLORA_CLI) + " convert " + gif + " " + dir.File("f9.bmp") + " --frame 9 2>/dev/null"), 0);
}
