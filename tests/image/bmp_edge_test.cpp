// BMP files built byte by byte for what the common tools do not write, and
// hostile files.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "ImageStream.h"
#include "VaZavi.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, int v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); }
void Put32(Bytes& b, int64_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void Append(Bytes& b, std::initializer_list<uint8_t> v) { b.insert(b.end(), v.begin(), v.end()); }
void Append(Bytes& b, const Bytes& v) { b.insert(b.end(), v.begin(), v.end()); }

// A 40-byte information header.
Bytes InfoHeader(int w, int h, int bits, int compression = 0, int colors = 0) {
    Bytes b;
    Put32(b, 40), Put32(b, w), Put32(b, h), Put16(b, 1), Put16(b, bits), Put32(b, compression);
    Put32(b, 0), Put32(b, 2835), Put32(b, 3780), Put32(b, colors), Put32(b, 0);
    return b;
}

// "BM" file header in front of the DIB; the offset points just past the
// given header and palette bytes unless given.
Bytes WithFileHeader(const Bytes& dib, size_t headerAndPalette, int64_t offset = -1) {
    Bytes b{'B', 'M'};
    Put32(b, int64_t(14 + dib.size())), Put32(b, 0);
    Put32(b, offset >= 0 ? offset : int64_t(14 + headerAndPalette));
    Append(b, dib);
    return b;
}

Bytes GreyPalette(int n, int entrySize = 4) {
    Bytes b;
    for (int i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c) b.push_back(uint8_t(i));
        if (entrySize == 4) b.push_back(0);
    }
    return b;
}

struct Loaded {
    bool ok;
    std::string error;
    VaZavi img;
};

void LoadBytes(Loaded& out, const Bytes& file, int type = kTypeBMP) {
    ImageStream s(file.data(), file.size());
    out.ok = out.img.Load(s, type);
    out.error = out.img.LastError();
}

std::string LoadError(const Bytes& file) {
    Loaded l;
    LoadBytes(l, file);
    return l.ok ? "loaded" : l.error;
}

// An 8-bit RLE file 6 x 3 with the given data.
Bytes Rle8File(const Bytes& data, int w = 6, int h = 3) {
    Bytes dib = InfoHeader(w, h, 8, 1);
    Append(dib, GreyPalette(256));
    Append(dib, data);
    return WithFileHeader(dib, 40 + 1024);
}

Bytes Rle4File(const Bytes& data, int w = 8, int h = 2) {
    Bytes dib = InfoHeader(w, h, 4, 2);
    Append(dib, GreyPalette(16));
    Append(dib, data);
    return WithFileHeader(dib, 40 + 64);
}

int Index(const VaZavi& img, int x, int storedRow) { return img.GetPixelIndex(x, storedRow); }

}  // namespace

TEST(BmpEdge, CoreHeaderEightBitWidensItsThreeBytePalette) {
    Bytes dib;
    Put32(dib, 12), Put16(dib, 3), Put16(dib, 2), Put16(dib, 1), Put16(dib, 8);
    for (int i = 0; i < 256; ++i) Append(dib, {uint8_t(i), uint8_t(255 - i), uint8_t(i ^ 0x55)});
    Append(dib, {0, 1, 255, 0, 7, 8, 9, 0});   // two rows of 3, padded to 4
    Loaded l;
    LoadBytes(l, WithFileHeader(dib, 12 + 768));
    ASSERT_TRUE(l.ok) << l.error;
    EXPECT_EQ(l.img.BitCount(), 8);
    EXPECT_EQ(l.img.Width(), 3);
    for (int i : {0, 1, 200, 255}) {
        RgbQuad q = l.img.GetPalette()[i];
        EXPECT_EQ(q.blue, i);
        EXPECT_EQ(q.green, 255 - i);
        EXPECT_EQ(q.red, i ^ 0x55);
        EXPECT_EQ(q.reserved, 0);
    }
    EXPECT_EQ(Index(l.img, 2, 0), 255);
    EXPECT_EQ(Index(l.img, 0, 1), 7);
    EXPECT_EQ(l.img.info.xDpi, 0);   // a core header has no resolution
}

TEST(BmpEdge, BareDibLoadsAndDetectionStartsWhereTheStreamIs) {
    Bytes dib = InfoHeader(2, 2, 24);
    Append(dib, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0});
    Loaded l;
    LoadBytes(l, dib);
    ASSERT_TRUE(l.ok) << l.error;
    EXPECT_EQ(l.img.GetPixelColor(1, 1), PackBGR(10, 11, 12));
    EXPECT_EQ(l.img.info.xDpi, 72);   // 2835 pixels per metre
    EXPECT_EQ(l.img.info.yDpi, 96);

    // Detection from the middle of a stream: every decoder starts at the
    // remembered position; the BMP reader is tried first and takes it.
    Bytes file{'j', 'u', 'n', 'k'};
    Append(file, WithFileHeader(dib, 40));
    ImageStream s(file.data(), file.size());
    s.Seek(4, 0);
    VaZavi img;
    ASSERT_TRUE(img.Load(s, kTypeDetect));
    EXPECT_EQ(img.info.type, kTypeBMP);
    EXPECT_EQ(img.GetPixelColor(0, 0), PackBGR(1, 2, 3));
}

TEST(BmpEdge, TopDownRowsAreTurnedOver) {
    Bytes dib = InfoHeader(1, -3, 8);
    Append(dib, GreyPalette(256));
    Append(dib, {10, 0, 0, 0, 20, 0, 0, 0, 30, 0, 0, 0});   // top row first
    Loaded l;
    LoadBytes(l, WithFileHeader(dib, 40 + 1024));
    ASSERT_TRUE(l.ok) << l.error;
    EXPECT_EQ(l.img.Height(), 3);
    EXPECT_EQ(Index(l.img, 0, 2), 10);
    EXPECT_EQ(Index(l.img, 0, 0), 30);
    Bytes rle = InfoHeader(1, -3, 8, 1);
    Append(rle, GreyPalette(256));
    Append(rle, {0, 1});
    EXPECT_EQ(LoadError(WithFileHeader(rle, 40 + 1024)), "compression type not supported");
}

TEST(BmpEdge, Rle8RunsEscapesAndOddAbsoluteRuns) {
    // Row 0: run of 2 x 5, absolute run of 3 (odd: one padding byte), end of
    // line. Row 1: delta (+2, +1) lands on row 2 column 2; run 2 x 9;
    // a run reaching past the row end (dropped), end of bitmap, then junk.
    Loaded l;
    LoadBytes(l, Rle8File({2, 5, 0, 3, 11, 12, 13, 0xEE, 0, 0, 0, 2, 2, 1, 2, 9, 200, 4, 0, 1, 7, 7}));
    ASSERT_TRUE(l.ok) << l.error;
    const int row0[6] = {5, 5, 11, 12, 13, 0};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(Index(l.img, x, 0), row0[x]) << x;
    for (int x = 0; x < 6; ++x) EXPECT_EQ(Index(l.img, x, 1), 0) << x;   // skipped by the delta
    const int row2[6] = {0, 0, 9, 9, 4, 4};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(Index(l.img, x, 2), row2[x]) << x;
    // The padding byte was consumed: without it 0xEE would have been a count.
    EXPECT_NE(Index(l.img, 5, 0), 0xEE);
}

TEST(BmpEdge, Rle4RunsTakeNibblesInFileOrder) {
    // Row 0: run of 3 of 0x12 (1 2 1), run of 2 of 0x34 starting on an odd
    // pixel (3 4: each run starts with its high nibble), absolute run of 3
    // (5 6 7; two data bytes, a whole word, no padding), end of line.
    // Row 1: delta +1, absolute run of 5 (three bytes and a padding byte), a
    // run of 9 reaching past the row end, end of bitmap.
    Loaded l;
    LoadBytes(l, Rle4File({3, 0x12, 2, 0x34, 0, 3, 0x56, 0x70, 0, 0, 0, 2, 1, 0, 0, 5, 0x89, 0xAB, 0xC0, 0xFF, 9,
                           0xDE, 0, 1}));
    ASSERT_TRUE(l.ok) << l.error;
    const int row0[8] = {1, 2, 1, 3, 4, 5, 6, 7};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(Index(l.img, x, 0), row0[x]) << x;
    const int row1[8] = {0, 8, 9, 0xA, 0xB, 0xC, 0xD, 0xE};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(Index(l.img, x, 1), row1[x]) << x;
}

TEST(BmpEdge, SixteenBitFiveFiveFiveAndFiveSixFive) {
    // No masks: 5-5-5. Channels are widened by repeating their high bits.
    Bytes dib = InfoHeader(3, 1, 16);
    for (int p : {0x7FFF, 0x001F, 0x4210}) Put16(dib, p);
    Put16(dib, 0);
    Loaded l;
    LoadBytes(l, WithFileHeader(dib, 40));
    ASSERT_TRUE(l.ok) << l.error;
    EXPECT_EQ(l.img.BitCount(), 24);
    EXPECT_EQ(l.img.GetPixelColor(0, 0), PackBGR(255, 255, 255));
    EXPECT_EQ(l.img.GetPixelColor(1, 0), PackBGR(255, 0, 0));
    EXPECT_EQ(l.img.GetPixelColor(2, 0), PackBGR(132, 132, 132));   // 16 -> 10000100

    // Bit fields 5-6-5 after a 40-byte header.
    Bytes d565 = InfoHeader(2, 1, 16, 3);
    Put32(d565, 0xF800), Put32(d565, 0x07E0), Put32(d565, 0x001F);
    Put16(d565, 0x07E0), Put16(d565, 0x0820);   // green 63; green 1, red 1
    LoadBytes(l, WithFileHeader(d565, 52));
    ASSERT_TRUE(l.ok) << l.error;
    EXPECT_EQ(l.img.GetPixelColor(0, 0), PackBGR(0, 255, 0));
    EXPECT_EQ(l.img.GetPixelColor(1, 0), PackBGR(0, 4, 8));
}

TEST(BmpEdge, ThirtyTwoBitFieldsAndPlainRows) {
    // Masks in an unusual order, and 10-bit channels (their high 8 bits count).
    Bytes dib = InfoHeader(2, 1, 32, 3);
    Put32(dib, 0x0000FF00), Put32(dib, 0x00FF0000), Put32(dib, 0xFF000000);
    Append(dib, {0, 0x11, 0x22, 0x33, 0, 0xFF, 0, 0});
    Loaded l;
    LoadBytes(l, WithFileHeader(dib, 52));
    ASSERT_TRUE(l.ok) << l.error;
    EXPECT_EQ(l.img.BitCount(), 32);
    EXPECT_FALSE(l.img.hasAlpha);   // no alpha mask: opaque
    EXPECT_EQ(l.img.GetPixelColor(0, 0), PackBGR(0x33, 0x22, 0x11, 255));
    EXPECT_EQ(l.img.GetPixelColor(1, 0), PackBGR(0, 0, 0xFF, 255));

    Bytes ten = InfoHeader(1, 1, 32, 3);
    Put32(ten, 0x3FF00000), Put32(ten, 0x000FFC00), Put32(ten, 0x000003FF);
    Put32(ten, (0x3FFll << 20) | (0x200 << 10) | 0x004);
    LoadBytes(l, WithFileHeader(ten, 52));
    ASSERT_TRUE(l.ok) << l.error;
    EXPECT_EQ(l.img.GetPixelColor(0, 0), PackBGR(0x01, 0x80, 0xFF, 255));

    // Non-contiguous masks are refused.
    Bytes bad = InfoHeader(1, 1, 32, 3);
    Put32(bad, 0x00FF00FF), Put32(bad, 0x0000FF00), Put32(bad, 0);
    Put32(bad, 0);
    EXPECT_EQ(LoadError(WithFileHeader(bad, 52)), "invalid bit field masks");

    // Plain 32-bit rows: blue, green, red, alpha; alpha 0 everywhere means
    // there is none.
    Bytes plain = InfoHeader(1, 2, 32);
    Append(plain, {1, 2, 3, 0, 4, 5, 6, 0});
    LoadBytes(l, WithFileHeader(plain, 40));
    ASSERT_TRUE(l.ok) << l.error;
    EXPECT_EQ(l.img.GetPixelColor(0, 1), PackBGR(4, 5, 6, 255));
    Bytes withAlpha = InfoHeader(1, 1, 32);
    Append(withAlpha, {1, 2, 3, 128});
    LoadBytes(l, WithFileHeader(withAlpha, 40));
    ASSERT_TRUE(l.ok);
    EXPECT_TRUE(l.img.hasAlpha);
    EXPECT_EQ(l.img.GetPixelColor(0, 0), PackBGR(1, 2, 3, 128));
}

TEST(BmpEdge, SaveDispatchByType) {
    VaZavi img(8, 3, 2, kTypeBMP);
    ImageStream s;
    EXPECT_FALSE(img.Save(s, kTypePCX));
    EXPECT_STREQ(img.LastError(), "Unsupported operation for this format");
    for (int t : {kTypeVOR, kTypeSCO}) {
        EXPECT_TRUE(img.Save(s, t));
        EXPECT_EQ(s.Size(), 0);
        EXPECT_TRUE(img.Load(s, t));
    }
    EXPECT_FALSE(img.Save(s, 7));
    EXPECT_FALSE(img.Load(s, 9));
    EXPECT_STREQ(img.LastError(), "Unsupported operation for this format");

    // What the writer produces: file header, 40-byte header, palette, rows.
    img.SetPaletteColor(3, 10, 20, 30);
    img.SetPixelIndex(2, 1, 3);
    ASSERT_TRUE(img.Save(s, kTypeBMP));
    ASSERT_EQ(s.Size(), 14 + 40 + 1024 + 8);
    const uint8_t* d = s.Data();
    EXPECT_EQ(d[0], 'B');
    EXPECT_EQ(d[10] | d[11] << 8, 14 + 40 + 1024);
    s.Seek(0, 0);
    VaZavi back;
    ASSERT_TRUE(back.Load(s, kTypeBMP));
    EXPECT_EQ(back.GetPixelColor(2, 1), PackBGR(30, 20, 10));
    EXPECT_EQ(back.info.xDpi, 72);
}

TEST(BmpEdge, UndecodableFilesAreRefusedWithAMessage) {
    // Bit count 2 must not become a white picture reported as success.
    Bytes two = InfoHeader(4, 1, 2);
    Append(two, GreyPalette(4));
    Append(two, {0x1B, 0, 0, 0});
    EXPECT_EQ(LoadError(WithFileHeader(two, 40 + 16)), "unsupported bit count 2");
    Bytes zero = InfoHeader(4, 1, 0);
    EXPECT_EQ(LoadError(WithFileHeader(zero, 40)), "unsupported bit count 0");

    Bytes rgb24rle = InfoHeader(1, 1, 24, 1);
    Append(rgb24rle, {0, 0, 0, 0});
    EXPECT_EQ(LoadError(WithFileHeader(rgb24rle, 40)), "unknown compression");
    Bytes rle4on8 = InfoHeader(1, 1, 8, 2);
    Append(rle4on8, GreyPalette(256));
    EXPECT_EQ(LoadError(WithFileHeader(rle4on8, 40 + 1024)), "compression type not supported");
    Bytes jpeg32 = InfoHeader(1, 1, 32, 4);
    Append(jpeg32, {0, 0, 0, 0});
    EXPECT_EQ(LoadError(WithFileHeader(jpeg32, 40)), "unknown compression");

    // A failed load leaves the caller's picture as it was.
    VaZavi keep(24, 5, 5, kTypeBMP);
    ImageStream s(two.data(), two.size());
    EXPECT_FALSE(keep.Load(s, kTypeBMP));
    EXPECT_EQ(keep.Width(), 5);
    EXPECT_TRUE(keep.IsValid());
}

TEST(BmpEdge, HostileFilesAreRefused) {
    // Every truncation of a valid file fails with a message (a core-header
    // file can be 14 + 12 bytes long without pixels only when empty).
    Bytes dib = InfoHeader(5, 3, 8);
    Append(dib, GreyPalette(256));
    for (int i = 0; i < 24; ++i) dib.push_back(uint8_t(i));
    Bytes full = WithFileHeader(dib, 40 + 1024);
    ASSERT_EQ(LoadError(full), "loaded");
    for (size_t n = 0; n < full.size(); n += (n < 80 ? 1 : 97)) {
        Bytes cut(full.begin(), full.begin() + ptrdiff_t(n));
        std::string e = LoadError(cut);
        EXPECT_NE(e, "loaded") << n;
        EXPECT_FALSE(e.empty()) << n;
    }

    // Absurd sizes: refused by the cap, or because the bytes are not there,
    // before anything is allocated.
    EXPECT_EQ(LoadError(WithFileHeader(InfoHeader(1 << 30, 1 << 30, 24), 40)), "image too large");
    EXPECT_EQ(LoadError(WithFileHeader(InfoHeader(16000, 16000, 24), 40)), "truncated pixel data");
    EXPECT_EQ(LoadError(WithFileHeader(InfoHeader(-5, 5, 24), 40)), "invalid image size");
    EXPECT_EQ(LoadError(WithFileHeader(InfoHeader(5, int32_t(0x80000000), 24), 40)), "invalid image size");
    // Offsets far beyond the end, or "negative" ones.
    Bytes small = InfoHeader(1, 1, 24);
    Append(small, {1, 2, 3, 0});
    for (int64_t off : {int64_t(0xFFFFFFFF), int64_t(0x80000000), int64_t(1000)})
        EXPECT_EQ(LoadError(WithFileHeader(small, 40, off)), "pixel data offset beyond the end of the file");
    // Palette counts beyond 256.
    Bytes pal = InfoHeader(1, 1, 8, 0, 300);
    Append(pal, GreyPalette(300));
    Append(pal, {0, 0, 0, 0});
    EXPECT_EQ(LoadError(WithFileHeader(pal, 40 + 1200)), "invalid palette size");
    // Header sizes no BMP has.
    Bytes odd = InfoHeader(1, 1, 24);
    odd[0] = 5;
    EXPECT_EQ(LoadError(WithFileHeader(odd, 40)), "not a BMP file (bad header size)");

    // Run-length data that runs off the picture in every direction: dropped.
    Bytes wild{255, 1, 0, 2, 255, 255, 0, 255};
    for (int i = 0; i < 255; ++i) wild.push_back(uint8_t(i));
    Append(wild, {0, 0, 0, 0, 0, 2, 255, 255, 255, 3, 0, 2, 255, 255, 255, 4});
    Loaded l;
    LoadBytes(l, Rle8File(wild, 3, 2));
    EXPECT_TRUE(l.ok) << l.error;
    EXPECT_EQ(Index(l.img, 0, 0), 1);
    LoadBytes(l, Rle4File(wild, 3, 2));
    EXPECT_TRUE(l.ok) << l.error;
    // A huge picture with a tiny RLE stream still obeys the core-wide cap.
    EXPECT_EQ(LoadError(Rle8File({0, 1}, 1 << 16, 1 << 14)), "image too large");

    // Random headers over random bytes: never a crash, never a silent success
    // with an impossible picture.
    for (uint32_t seed = 1; seed <= 400; ++seed) {
        Bytes f = testsupport::RandomBytes(60 + seed % 300, seed);
        Bytes head = InfoHeader(1 + int(seed % 40), int(seed % 7) - 3, "\1\4\x08\x10\x18\x20"[seed % 6],
                                int(seed % 4), int(seed % 3) * 7);
        std::memcpy(f.data() + 14, head.data(), 40);
        f[0] = 'B', f[1] = 'M';
        f[10] = uint8_t(seed % 2 ? 0 : 54 + seed % 64), f[11] = f[12] = f[13] = 0;
        Loaded r;
        LoadBytes(r, f);
        if (r.ok) {
            EXPECT_GT(r.img.Width(), 0);
            EXPECT_GT(r.img.Height(), 0);
        } else {
            EXPECT_FALSE(r.error.empty());
        }
    }
}
