#include <gtest/gtest.h>

#include <cstring>

#include "VaZavi.h"
#include "draw_surface.h"
#include "embedded_resources.h"

TEST(VaZavi, CreateRoundsBitCountAndFillsWhite) {
    VaZavi img;
    ASSERT_NE(img.Create(3, 10, 10, 1), nullptr);
    EXPECT_EQ(img.BitCount(), 4);
    EXPECT_EQ(img.ColorsUsed(), 16);
    EXPECT_EQ(img.Stride(), 8);
    for (size_t i = 0; i < img.ImageBytes(); ++i) ASSERT_EQ(img.bits[i], 255);
    EXPECT_EQ(img.DibSize(), 40u + 16 * 4 + 80);
    const int cases[][2] = {{0, 1}, {1, 1}, {2, 4}, {5, 8}, {9, 24}, {16, 24}, {25, 32}, {40, 32}};
    for (auto& c : cases) {
        ASSERT_NE(img.Create(c[0], 3, 2, 1), nullptr);
        EXPECT_EQ(img.BitCount(), c[1]) << c[0];
    }
}

TEST(VaZavi, CreateWithZeroSizeKeepsPreviousImage) {
    VaZavi img(24, 5, 4, 1);
    uint8_t* before = img.DibBlock();
    EXPECT_EQ(img.Create(24, 0, 4, 1), nullptr);
    EXPECT_EQ(img.Create(24, 4, 0, 1), nullptr);
    EXPECT_EQ(img.DibBlock(), before);
    EXPECT_EQ(img.Width(), 5);
}

TEST(VaZavi, CreateRefusesPicturesBeyondTheCap) {
    VaZavi img(24, 5, 4, 1);
    EXPECT_EQ(img.Create(24, 1 << 15, 1 << 14, 1), nullptr);   // 2^29 pixels
    EXPECT_STREQ(img.LastError(), "image too large");
    EXPECT_EQ(img.Width(), 5);
    EXPECT_EQ(img.Create(32, 1 << 14, (1 << 14) + 1, 1), nullptr);
    EXPECT_TRUE(img.IsValid());
}

TEST(VaZavi, OneBitPixelAddressing) {
    VaZavi img(1, 33, 2, 1);
    EXPECT_EQ(img.Stride(), 8);
    std::memset(img.bits, 0, img.ImageBytes());
    img.SetPixelIndex(8, 0, 1);
    EXPECT_EQ(img.bits[1], 0x80);
    EXPECT_EQ(img.GetPixelIndex(8, 0), 1);
    img.SetPixelIndex(8, 0, 0);
    EXPECT_EQ(img.bits[1], 0);
}

TEST(VaZavi, FourBitHighNibbleFirst) {
    VaZavi img(4, 3, 1, 1);
    std::memset(img.bits, 0, img.ImageBytes());
    img.SetPixelIndex(0, 0, 0xA);
    img.SetPixelIndex(1, 0, 0x5);
    img.SetPixelIndex(2, 0, 0x1F);   // masked to 4 bits
    EXPECT_EQ(img.bits[0], 0xA5);
    EXPECT_EQ(img.bits[1], 0xF0);
    EXPECT_EQ(img.GetPixelIndex(2, 0), 0xF);
}

TEST(VaZavi, OutsidePixelsGiveBackgroundOrTransparentEntry) {
    VaZavi rgb(24, 4, 4, 1);
    rgb.info.backgroundColor = RgbQuad{1, 2, 3, 0};
    EXPECT_EQ(rgb.GetPixelColor(-1, 0), PackBGR(1, 2, 3));
    VaZavi gif(8, 4, 4, 2);
    gif.info.transparentIndex = 5;
    gif.SetPaletteColor(5, 10, 20, 30);
    EXPECT_EQ(gif.GetPixelColor(-1, 0), PackBGR(30, 20, 10));
    EXPECT_EQ(gif.GetPixelIndex(4, 0), 5);
    gif.info.transparentIndex = -1;
    EXPECT_EQ(gif.GetPixelIndex(4, 0), 0);
}

TEST(VaZavi, NearestIndexKeepsLowerIndexOnTies) {
    VaZavi img(8, 1, 1, 1);
    for (int i = 0; i < 256; ++i) img.SetPaletteColor(i, 0, 0, 0);
    img.SetPaletteColor(3, 10, 0, 0);
    img.SetPaletteColor(7, 30, 0, 0);
    EXPECT_EQ(img.GetNearestIndex(PackBGR(0, 0, 20)), 3);
    EXPECT_EQ(img.GetNearestIndex(PackBGR(0, 0, 30)), 7);
    VaZavi noPalette(24, 1, 1, 1);
    EXPECT_EQ(noPalette.GetNearestIndex(123), 0);
}

TEST(VaZavi, PaletteAccessorsAndGrey) {
    VaZavi img(4, 2, 2, 1);
    img.SetGrayPalette();
    EXPECT_EQ(img.GetPaletteColor(15), PackBGR(255, 255, 255));
    EXPECT_EQ(img.GetPaletteColor(1), PackBGR(17, 17, 17));
    EXPECT_FALSE(img.IsGrayScale());   // entry i is not i
    VaZavi g(8, 2, 2, 1);
    g.SetGrayPalette();
    EXPECT_TRUE(g.IsGrayScale());
    img.SetPaletteColor(16, 1, 2, 3);   // ignored
    EXPECT_EQ(img.GetPaletteColor(16), 0u);
    img.SetPaletteColor(2, 0x11223344u);
    EXPECT_EQ(img.GetPaletteColor(2), 0x11223344u);
    uint8_t red[2] = {9, 8};
    img.SetPalette(2, red, nullptr, nullptr);
    EXPECT_EQ(img.GetPaletteColor(1), PackBGR(8, 8, 8));
    EXPECT_EQ(img.GetPaletteSize(), 64);
}

TEST(VaZavi, DpiAndBlendTable) {
    VaZavi img;
    img.SetXDpi(72);
    EXPECT_EQ(img.header.xPelsPerMeter, 2835);
    const BlendRow* t = BlendTable();
    EXPECT_EQ(t[128][255], 127);
    EXPECT_EQ(t[255][255], 254);
    EXPECT_EQ(t[255][1], 0);
    for (int j = 0; j < 256; ++j) EXPECT_EQ(t[0][j], 0);
    for (int i = 1; i < 256; ++i)
        for (int j = 1; j < 256; ++j) ASSERT_EQ(t[i][j], (i * j - 1) / 255) << i << "," << j;
}

TEST(VaZavi, DefaultsAndCopy) {
    VaZavi img(kTypeGIF);
    EXPECT_EQ(img.info.jpegQuality, 150);
    EXPECT_EQ(img.info.transparentIndex, -1);
    EXPECT_TRUE(img.info.enabled);
    EXPECT_EQ(img.info.xDpi, 72);
    EXPECT_FALSE(img.IsValid());
    ASSERT_TRUE(img.Create(8, 3, 3, kTypeGIF));
    img.SetPaletteColor(4, 1, 2, 3);
    img.SetPixelIndex(1, 1, 4);
    VaZavi copy(img);
    EXPECT_EQ(copy.GetPixelColor(1, 1), PackBGR(3, 2, 1));
    EXPECT_NE(copy.bits, img.bits);
    EXPECT_EQ(copy.info.type, kTypeGIF);
}

TEST(VaZavi, TransferAndGhost) {
    VaZavi a(24, 4, 3, 1), b;
    a.bits[0] = 7;
    a.SetLastError("kept");
    ASSERT_TRUE(b.Transfer(a));
    EXPECT_FALSE(a.IsValid());
    EXPECT_EQ(b.bits[0], 7);
    EXPECT_STREQ(b.LastError(), "kept");
    VaZavi c;
    ASSERT_TRUE(b.Ghost(c));
    EXPECT_NE(c.bits, b.bits);
    EXPECT_EQ(0, std::memcmp(c.DibBlock(), b.DibBlock(), b.DibSize()));
}

TEST(VaZavi, SwapRedBlue) {
    EXPECT_EQ(VaZavi::SwapRedBlue(0xAA112233u), 0xAA332211u);
    VaZavi img(24, 2, 1, 1);
    uint8_t row[6] = {1, 2, 3, 4, 5, 6};
    img.SwapRedBlue(row, 6);
    EXPECT_EQ(row[0], 3);
    EXPECT_EQ(row[5], 4);
}

TEST(VaZavi, PackedSixteenBitRowsExpandToFullRange) {
    VaZavi img(24, 3, 1, 1);
    // 5-5-5: white, pure red, mid grey.
    uint16_t px[4] = {0x7FFF, 0x7C00, uint16_t((15 << 10) | (15 << 5) | 15), 0};
    img.ConvertPackedRows(16, reinterpret_cast<uint8_t*>(px), 0x7C00, 0x03E0, 0x001F);
    EXPECT_EQ(img.GetPixelColor(0, 0), PackBGR(255, 255, 255));
    EXPECT_EQ(img.GetPixelColor(1, 0), PackBGR(0, 0, 255));
    EXPECT_EQ(img.GetPixelColor(2, 0), PackBGR(123, 123, 123));
}

TEST(VaZavi, PackedDibFromClipboardBytes) {
    VaZavi src(8, 5, 3, 1);
    src.SetGrayPalette();
    src.SetXDpi(300);
    src.SetYDpi(150);
    std::memcpy(src.DibBlock(), &src.header, sizeof src.header);
    src.SetPixelIndex(2, 1, 77);
    std::vector<uint8_t> block(src.DibBlock(), src.DibBlock() + src.DibSize());
    VaZavi dst;
    BitmapInfoHeader h{};
    int32_t ppm = 0;
    EXPECT_FALSE(dst.CreateFromHandle(block.data(), block.size(), &h, &ppm, true));   // 8 bits refused
    ASSERT_TRUE(dst.CreateFromHandle(block.data(), block.size(), &h, &ppm, false));
    EXPECT_EQ(dst.GetPixelIndex(2, 1), 77);
    EXPECT_EQ(dst.info.xDpi, 300);
    EXPECT_EQ(dst.info.yDpi, 150);
    EXPECT_EQ(ppm, src.header.xPelsPerMeter);
    // A block shorter than its header promises is refused, not overrun.
    EXPECT_FALSE(dst.CreateFromHandle(block.data(), block.size() - 1, &h, &ppm, false));
}

TEST(VaZavi, DrawOntoMemorySurface) {
    VaZavi img(24, 2, 2, 1);
    // stored row 0 is the bottom row
    img.Row(0)[0] = 10;              // bottom-left blue 10
    img.Row(1)[3 + 2] = 20;          // top-right red 20
    MemorySurface dc(6, 6, 0);
    ASSERT_TRUE(img.Draw(&dc, 0, 0, 4, 4));
    EXPECT_EQ(ColB(dc.At(0, 3)), 10);
    EXPECT_EQ(ColR(dc.At(3, 0)), 20);
    EXPECT_EQ(dc.At(5, 5), 0u);
    MemorySurface tiles(5, 3, 0);
    ASSERT_TRUE(img.DrawTiled(&tiles, DrawRect{0, 0, 5, 3}));
    EXPECT_EQ(ColR(tiles.At(3, 0)), ColR(tiles.At(1, 0)));
    EXPECT_EQ(ColB(tiles.At(4, 1)), 10);
    EXPECT_EQ(tiles.GetClip().right, 5);   // clip restored
    img.info.enabled = false;
    MemorySurface none(2, 2, 7);
    EXPECT_FALSE(img.DrawAt(&none, 0, 0, DrawRect{0, 0, 2, 2}));
    EXPECT_EQ(none.At(0, 0), 7u);
    VaZavi back;
    ASSERT_TRUE(back.CreateFromBitmap(&dc));
    EXPECT_EQ(back.Width(), 6);
    EXPECT_EQ(ColB(back.GetPixelColor(0, 2)), 10);   // screen row 3 is stored row 2
}

TEST(VaZavi, WholeImageTurns) {
    // 3 x 2 picture with distinct pixels; coordinates on screen (top row first).
    VaZavi img(24, 3, 2, 1);
    auto set = [&](VaZavi& m, int x, int yTop, uint8_t v) { m.Row(m.Height() - 1 - yTop)[3 * x] = v; };
    auto get = [&](const VaZavi& m, int x, int yTop) { return m.Row(m.Height() - 1 - yTop)[3 * x]; };
    uint8_t v = 1;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) set(img, x, y, v++);
    VaZavi r(img);
    ASSERT_TRUE(r.RotateRight());
    ASSERT_EQ(r.Width(), 2);
    ASSERT_EQ(r.Height(), 3);
    EXPECT_EQ(get(r, 0, 0), 4);   // bottom-left comes to the top-left
    EXPECT_EQ(get(r, 1, 0), 1);
    EXPECT_EQ(get(r, 1, 2), 3);
    VaZavi l(img);
    ASSERT_TRUE(l.RotateLeft());
    EXPECT_EQ(get(l, 0, 0), 3);   // top-right comes to the top-left
    EXPECT_EQ(get(l, 1, 2), 4);
    VaZavi f(img);
    f.Flip();
    EXPECT_EQ(get(f, 0, 0), 4);
    VaZavi m(img);
    m.Mirror();
    EXPECT_EQ(get(m, 0, 0), 3);
    // Four-bit turns keep indices.
    VaZavi p(4, 5, 3, 1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) p.SetPixelIndex(x, y, (x + 5 * y) & 15);
    VaZavi q(p);
    q.RotateRight();
    q.RotateRight();
    q.RotateRight();
    q.RotateRight();
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(q.GetPixelIndex(x, y), p.GetPixelIndex(x, y));
}

TEST(VaZavi, EmbeddedResourcesLoad) {
    const EmbeddedResource* bmp = FindEmbeddedResource("4698", "BITMAP");
    ASSERT_NE(bmp, nullptr);
    VaZavi img;
    ASSERT_TRUE(img.LoadResource(bmp, kTypeBMP));
    EXPECT_EQ(img.Width(), 128);
    EXPECT_EQ(FindEmbeddedResource("nope", "JPG"), nullptr);
    EXPECT_FALSE(img.LoadResource(nullptr, kTypeJPEG));
    EXPECT_STREQ(img.LastError(), "Unable to load resource!");
}
