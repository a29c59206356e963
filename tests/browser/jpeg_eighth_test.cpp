// The JPEG decoder at one eighth against libjpeg's own decoding at that
// scale (the thumbnails must not change with the path that made them):
// every sampling it takes, restart intervals, sizes that are no multiple
// of the block or the MCU, and the files it must leave to the library —
// progressive ones, cut-short and damaged ones — where the result must
// still be the library's.
#include <gtest/gtest.h>

#include <cstring>

#include "ImageStream.h"
#include "VaZavi.h"
#include "reduced_decode.h"
#include "test_support.h"

using testsupport::ImageMagick;
using testsupport::TempDir;

namespace {

struct Decoded {
    bool ok = false;
    bool eighth = false;   // made by the decoder at one eighth
    int width = 0, height = 0, bits = 0;
    std::vector<uint8_t> pixels;
};

Decoded Decode(const std::vector<uint8_t>& bytes, bool eighthDecoder) {
    Decoded d;
    ImageStream in(bytes.data(), bytes.size());
    VaZavi img(kTypeJPEG);
    ReducedInfo info;
    // 1 x 1 asks for the smallest scale, 1/8.
    d.ok = DecodeJpegReduced(in, 1, 1, img, &info, eighthDecoder);
    if (!d.ok) return d;
    d.eighth = info.eighthDecoder;
    d.width = img.Width();
    d.height = img.Height();
    d.bits = img.BitCount();
    d.pixels.assign(img.bits, img.bits + img.ImageBytes());
    return d;
}

// The same result through both ways; `fast` when the decoder at one
// eighth must have taken the file.
void ExpectSameAsLibrary(const std::vector<uint8_t>& bytes, bool fast, const std::string& what) {
    const Decoded mine = Decode(bytes, true), library = Decode(bytes, false);
    ASSERT_EQ(mine.ok, library.ok) << what;
    EXPECT_FALSE(library.eighth) << what;
    if (fast) {
        EXPECT_TRUE(mine.eighth) << what << ": left to the library";
    }
    if (!mine.ok) return;
    ASSERT_EQ(mine.width, library.width) << what;
    ASSERT_EQ(mine.height, library.height) << what;
    ASSERT_EQ(mine.bits, library.bits) << what;
    size_t differ = 0, first = 0;
    for (size_t i = 0; i < mine.pixels.size(); ++i)
        if (mine.pixels[i] != library.pixels[i] && differ++ == 0) first = i;
    EXPECT_EQ(differ, 0u) << what << ": " << differ << " bytes differ, the first at " << first << " ("
                          << int(mine.pixels[first]) << " instead of " << int(library.pixels[first]) << ")";
}

// A textured picture (smooth fields and grain: every kind of AC symbol,
// long codes of the standard tables included) as a PPM.
std::string Source(const TempDir& dir, int w, int h, int seed) {
    const std::string path = dir.File("src" + std::to_string(w) + "x" + std::to_string(h) + ".ppm");
    const std::string cmd = ImageMagick() + " -size " + std::to_string(w) + "x" + std::to_string(h) +
                            " plasma:fractal -seed " + std::to_string(seed) +
                            " -attenuate 0.4 +noise Gaussian ppm:'" + path + "'";
    EXPECT_EQ(testsupport::Run(cmd), 0);
    return path;
}

std::vector<uint8_t> Cjpeg(const TempDir& dir, const std::string& source, const std::string& options) {
    const std::string out = dir.File("out.jpg");
    EXPECT_EQ(testsupport::Run("cjpeg " + options + " -outfile '" + out + "' '" + source + "'"), 0) << options;
    return testsupport::ReadBytes(out);
}

}  // namespace

TEST(JpegEighth, SamplingsSizesAndRestartsGiveTheLibrarysPixels) {
    if (!testsupport::HaveTool("cjpeg")) GTEST_SKIP() << "no cjpeg";
    TempDir dir;
    // Sizes: whole MCUs, neither blocks nor MCUs, one block and less.
    const int sizes[][2] = {{128, 64}, {203, 117}, {17, 33}, {9, 9}, {1, 1}, {250, 7}};
    const char* samplings[] = {"1x1,1x1,1x1", "2x1,1x1,1x1", "2x2,1x1,1x1", "1x2,1x1,1x1"};
    int seed = 3;
    for (const auto& size : sizes) {
        const std::string src = Source(dir, size[0], size[1], seed++);
        const std::string name = std::to_string(size[0]) + "x" + std::to_string(size[1]);
        for (const char* s : samplings) {
            ExpectSameAsLibrary(Cjpeg(dir, src, std::string("-quality 90 -sample ") + s), true, name + " " + s);
            // A restart marker after every MCU, and after every second row of them.
            ExpectSameAsLibrary(Cjpeg(dir, src, std::string("-quality 75 -restart 1B -sample ") + s), true,
                                name + " " + s + " restart 1B");
            ExpectSameAsLibrary(Cjpeg(dir, src, std::string("-quality 60 -restart 2 -sample ") + s), true,
                                name + " " + s + " restart 2");
        }
        ExpectSameAsLibrary(Cjpeg(dir, src, "-grayscale -quality 85"), true, name + " grey");
        ExpectSameAsLibrary(Cjpeg(dir, src, "-grayscale -restart 3B"), true, name + " grey restart 3B");
        // Tables of the picture's own (short and long codes) and fine steps.
        ExpectSameAsLibrary(Cjpeg(dir, src, "-optimize -quality 100"), true, name + " optimized, quality 100");
    }
}

TEST(JpegEighth, OtherEncodersAndLayoutsLeftToTheLibraryStillMatch) {
    if (!testsupport::HaveTool("cjpeg")) GTEST_SKIP() << "no cjpeg";
    TempDir dir;
    const std::string src = Source(dir, 161, 95, 9);
    // ImageMagick's own encoder settings.
    for (const char* f : {"4:2:2", "4:2:0", "4:4:4"}) {
        const std::string out = dir.File(std::string("im") + f[2] + ".jpg");
        ASSERT_EQ(testsupport::Run(ImageMagick() + " '" + src + "' -quality 82 -sampling-factor " + f + " '" + out + "'"),
                  0);
        ExpectSameAsLibrary(testsupport::ReadBytes(out), true, std::string("ImageMagick ") + f);
    }
    // Unusual factors of 1 and 2: chroma of two samplings, chroma finer
    // than luma (which then takes the 2 x 2 transform).
    ExpectSameAsLibrary(Cjpeg(dir, src, "-sample 2x2,2x1,1x1"), true, "mixed chroma sampling");
    ExpectSameAsLibrary(Cjpeg(dir, src, "-sample 1x1,2x2,2x2"), true, "chroma finer than luma");
    // Layouts the decoder does not take: the library's result unchanged.
    for (const char* options : {"-progressive", "-arithmetic", "-rgb", "-sample 4x1,1x1,1x1"}) {
        const std::vector<uint8_t> bytes = Cjpeg(dir, src, options);
        EXPECT_FALSE(Decode(bytes, true).eighth) << options;
        ExpectSameAsLibrary(bytes, false, options);
    }
}

TEST(JpegEighth, CutShortAndDamagedFilesGiveTheLibrarysResult) {
    if (!testsupport::HaveTool("cjpeg")) GTEST_SKIP() << "no cjpeg";
    TempDir dir;
    const std::string src = Source(dir, 203, 117, 5);
    for (const char* options : {"-sample 2x2,1x1,1x1 -restart 1", "-sample 1x1,1x1,1x1", "-grayscale -restart 2B"}) {
        const std::vector<uint8_t> good = Cjpeg(dir, src, options);
        ASSERT_GT(good.size(), 1000u);
        // Cut short anywhere in the data, the end-of-image marker lost.
        for (size_t keep : {good.size() - 2, good.size() - 3, good.size() * 3 / 4, good.size() / 2, size_t(700)}) {
            std::vector<uint8_t> cut(good.begin(), good.begin() + long(keep));
            const Decoded d = Decode(cut, true);
            EXPECT_FALSE(d.eighth) << options << " cut to " << keep;
            ExpectSameAsLibrary(cut, false, std::string(options) + " cut to " + std::to_string(keep));
        }
        // Damaged bytes in the entropy-coded data: the decoder either takes
        // the file and gives the library's pixels, or leaves it to it.
        uint32_t state = 12345;
        for (int round = 0; round < 60; ++round) {
            std::vector<uint8_t> bad = good;
            state = state * 1103515245u + 12345u;
            const size_t at = 700 + (state >> 8) % (good.size() - 702);
            const uint8_t values[] = {0xFF, 0x00, uint8_t(state >> 3), 0xD0, 0xD9};
            bad[at] = values[round % 5];
            if (round % 7 == 0) bad[at + 1] = 0xD3;   // a marker out of place
            ExpectSameAsLibrary(bad, false, std::string(options) + " damaged at " + std::to_string(at));
        }
        // A restart marker that goes missing (made plain data) or comes too soon.
        std::vector<uint8_t> noRst = good;
        for (size_t i = 700; i + 1 < noRst.size(); ++i)
            if (noRst[i] == 0xFF && noRst[i + 1] >= 0xD0 && noRst[i + 1] <= 0xD7) {
                noRst[i + 1] = 0x00;
                break;
            }
        ExpectSameAsLibrary(noRst, false, std::string(options) + " restart marker lost");
        // Only two bytes after the scan header, then nothing.
        for (size_t i = 2; i + 1 < good.size(); ++i)
            if (good[i] == 0xFF && good[i + 1] == 0xDA) {
                const size_t header = i + 2 + (size_t(good[i + 2]) << 8 | good[i + 3]);
                std::vector<uint8_t> empty(good.begin(), good.begin() + long(header) + 2);
                ExpectSameAsLibrary(empty, false, std::string(options) + " nothing after the scan header");
                break;
            }
    }
}
