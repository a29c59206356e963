// GIF writer output byte for byte, reader behaviour on crafted files, and
// hostile input.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ImageStream.h"
#include "VaZavi.h"
#include "codecs.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes EncodeGif(const VaZavi& img, const std::string& comment = "", bool* ok = nullptr) {
    VaZaviGIF gif;
    img.Lend(gif);
    gif.comment = comment;
    ImageStream out;
    bool r = gif.Encode(out);
    if (ok) *ok = r;
    return Bytes(out.Data(), out.Data() + (r ? out.Tell() : 0));
}

bool DecodeGif(const Bytes& file, VaZaviGIF& gif, int frame = 0) {
    gif.info.frameIndex = frame;
    ImageStream in(file.data(), file.size());
    return gif.Decode(in);
}

// Sets image pixel (x, y) counted from the top row.
void SetTop(VaZavi& img, int x, int y, int index) { img.SetPixelIndex(x, img.Height() - 1 - y, index); }
int GetTop(const VaZavi& img, int x, int y) { return img.GetPixelIndex(x, img.Height() - 1 - y); }

// Packs codes of the given widths least significant bit first into data
// sub-blocks of at most 255 bytes, with the terminator.
Bytes PackCodes(const std::vector<std::pair<int, int>>& codes, bool terminate = true) {
    Bytes data;
    uint32_t acc = 0;
    int bits = 0;
    for (auto [code, width] : codes) {
        acc |= uint32_t(code) << bits;
        bits += width;
        while (bits >= 8) {
            data.push_back(uint8_t(acc));
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) data.push_back(uint8_t(acc));
    Bytes out;
    for (size_t i = 0; i < data.size(); i += 255) {
        size_t n = std::min<size_t>(255, data.size() - i);
        out.push_back(uint8_t(n));
        out.insert(out.end(), data.begin() + ptrdiff_t(i), data.begin() + ptrdiff_t(i + n));
    }
    if (terminate) out.push_back(0);
    return out;
}

// "GIF89a", screen w x h with a global table of 2^(sizeField+1) grey entries.
Bytes Header(int w, int h, int sizeField = 1) {
    Bytes b = {'G', 'I', 'F', '8', '9', 'a', uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8),
               uint8_t(0x80 | sizeField), 0, 0};
    int n = 2 << sizeField;
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c) b.push_back(uint8_t(i * 255 / (n - 1)));
    return b;
}

void Append(Bytes& a, const Bytes& b) { a.insert(a.end(), b.begin(), b.end()); }

Bytes Descriptor(int left, int top, int w, int h, uint8_t packed = 0) {
    return {0x2C, uint8_t(left), uint8_t(left >> 8), uint8_t(top), uint8_t(top >> 8), uint8_t(w), uint8_t(w >> 8),
            uint8_t(h), uint8_t(h >> 8), packed};
}

// Reference LZW coder written from the textbook description with a
// dictionary instead of the hash table: the writer must produce exactly its
// codes, code widths and packets.
Bytes ReferenceLzw(const std::vector<int>& px, int codeSize) {
    const int clear = 1 << codeSize, end = clear + 1;
    int width = codeSize + 1, next = clear + 2;
    std::map<std::pair<int, int>, int> dict;
    std::vector<std::pair<int, int>> out;
    auto emit = [&](int code) {
        out.push_back({code, width});
        // The width grows once the next free code no longer fits.
        if (next > (1 << width) - 1 && width < 12) ++width;
    };
    emit(clear);
    int ent = px[0];
    for (size_t i = 1; i < px.size(); ++i) {
        auto it = dict.find({ent, px[i]});
        if (it != dict.end()) {
            ent = it->second;
            continue;
        }
        emit(ent);
        if (next < 4096) {
            dict[{ent, px[i]}] = next++;
        } else {
            // Table full: the clear code goes out in the current width.
            out.push_back({clear, width});
            dict.clear();
            next = clear + 2;
            width = codeSize + 1;
        }
        ent = px[i];
    }
    emit(ent);
    emit(end);
    // Regroup into 254-byte packets.
    Bytes raw = PackCodes(out, false), data;
    for (size_t i = 0; i < raw.size();) {
        size_t n = raw[i++];
        data.insert(data.end(), raw.begin() + ptrdiff_t(i), raw.begin() + ptrdiff_t(i + n));
        i += n;
    }
    Bytes packets;
    for (size_t i = 0; i < data.size(); i += 254) {
        size_t n = std::min<size_t>(254, data.size() - i);
        packets.push_back(uint8_t(n));
        packets.insert(packets.end(), data.begin() + ptrdiff_t(i), data.begin() + ptrdiff_t(i + n));
    }
    return packets;
}

}  // namespace

TEST(GifWriter, TinyPictureByteForByte) {
    // 3 x 2, one bit: top row 0 1 1, bottom row 1 1 1. Codes worked out by
    // hand: clear(4) 0 1 7 in 3 bits, then 7 and end(5) in 4 bits.
    VaZavi img(1, 3, 2, kTypeGIF);
    img.SetPaletteColor(0, 0, 0, 0);
    img.SetPaletteColor(1, 255, 255, 255);
    for (int x = 0; x < 3; ++x) SetTop(img, x, 0, x ? 1 : 0), SetTop(img, x, 1, 1);
    img.info.frameDelay = 258;
    img.info.transparentIndex = 1;
    const Bytes expected = {
        'G', 'I', 'F', '8', '7', 'a', 3, 0, 2, 0, 0x80, 0, 0,   // header, screen
        0, 0, 0, 255, 255, 255,                                // palette
        0x21, 0xF9, 0x04, 0x01, 0x02, 0x01, 0x01, 0x00,        // graphic control
        0x2C, 0, 0, 0, 0, 3, 0, 2, 0, 0x00,                    // descriptor
        0x02, 0x03, 0x44, 0x7E, 0x05, 0x00,                    // code size, data
        0x21, 0xFE, 0x02, 'h', 'i', 0x00,                      // comment
        0x3B};
    EXPECT_EQ(EncodeGif(img, "hi"), expected);

    // Without transparency the index byte is the low byte of -1.
    img.info.transparentIndex = -1;
    img.info.frameDelay = 0;
    Bytes plain = EncodeGif(img);
    const Bytes gce = {0x21, 0xF9, 0x04, 0x00, 0x00, 0x00, 0xFF, 0x00};
    EXPECT_TRUE(std::equal(gce.begin(), gce.end(), plain.begin() + 19));
    EXPECT_EQ(plain.size(), expected.size() - 6);
}

TEST(GifWriter, HashCoderMatchesDictionaryCoderOverManyTableResets) {
    // Noise fills the 4,096 codes many times; a smooth band and long runs
    // give long strings and deep probe chains.
    for (int bits : {8, 4, 1}) {
        const int w = 317, h = 211;
        VaZavi img(bits, w, h, kTypeGIF);
        auto noise = testsupport::RandomBytes(size_t(w) * h, 7 + bits);
        std::vector<int> px;
        const int mask = (1 << bits) - 1;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int v = y < 70 ? noise[size_t(y) * w + x] : y < 140 ? (x / 9 + y / 5) : (x < 200 ? 0 : x);
                v &= mask;
                SetTop(img, x, y, v);
                px.push_back(v);
            }
        Bytes file = EncodeGif(img);
        const int codeSize = std::max(bits, 2);
        const size_t dataStart = 13 + size_t(img.ColorsUsed()) * 3 + 8 + 10;
        ASSERT_EQ(file[dataStart], codeSize) << bits;
        Bytes ref = ReferenceLzw(px, codeSize);
        ASSERT_GE(file.size(), dataStart + 1 + ref.size() + 2);
        EXPECT_TRUE(std::equal(ref.begin(), ref.end(), file.begin() + ptrdiff_t(dataStart + 1))) << bits;
        EXPECT_EQ(file[dataStart + 1 + ref.size()], 0);
        EXPECT_EQ(file.back(), 0x3B);

        // The clear code comes first: initial width code size + 1.
        EXPECT_EQ((file[dataStart + 2] | file[dataStart + 3] << 8) & ((1 << (codeSize + 1)) - 1), 1 << codeSize);

        VaZaviGIF back;
        ASSERT_TRUE(DecodeGif(file, back));
        ASSERT_EQ(back.BitCount(), bits);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) ASSERT_EQ(GetTop(back, x, y), px[size_t(y) * w + x]) << bits << " " << x << "," << y;
    }
}

TEST(GifWriter, HeaderPackedByteRefusalAndComment) {
    struct Case { int bits; uint8_t packed; int codeSize; };
    for (Case c : {Case{1, 0x80, 2}, Case{4, 0xE3, 4}, Case{8, 0xE7, 8}}) {
        VaZavi img(c.bits, 5, 3, kTypeGIF);
        Bytes f = EncodeGif(img);
        EXPECT_EQ(f[10], c.packed) << c.bits;
        EXPECT_EQ(f[13 + img.ColorsUsed() * 3 + 8 + 10], c.codeSize) << c.bits;
    }
    VaZavi rgb(24, 4, 4, kTypeBMP);
    bool ok = true;
    EXPECT_TRUE(EncodeGif(rgb, "", &ok).empty());
    EXPECT_FALSE(ok);
    VaZavi shown(24, 4, 4, kTypeBMP);
    ImageStream s;
    EXPECT_FALSE(shown.Save(s, kTypeGIF));
    EXPECT_EQ(s.Size(), 0);

    VaZavi img(8, 2, 2, kTypeGIF);
    std::string longText(300, 'x');
    Bytes f = EncodeGif(img, longText);
    // ... 0x21 0xFE 255 <255 x> 0x00 0x3B
    ASSERT_GT(f.size(), 260u);
    size_t at = f.size() - 1 - 1 - 255 - 3;
    EXPECT_EQ(f[at], 0x21);
    EXPECT_EQ(f[at + 1], 0xFE);
    EXPECT_EQ(f[at + 2], 255);
    VaZaviGIF back;
    ASSERT_TRUE(DecodeGif(f, back));
    EXPECT_EQ(back.comment, std::string(255, 'x'));
}

TEST(GifWriter, WriteFailureIsReported) {
    VaZavi img(8, 4, 4, kTypeGIF);
    VaZaviGIF gif;
    img.Lend(gif);
    FILE* ro = std::fopen("/dev/null", "rb");   // writes fail on a read-only FILE
    ASSERT_NE(ro, nullptr);
    ImageStream s(ro);
    EXPECT_FALSE(gif.Encode(s));
    EXPECT_STREQ(gif.LastError(), "Write Error in GIF file");
    std::fclose(ro);
}

TEST(GifReader, SmallTablesPaletteRuleAndTransparency) {
    // Two entries give a 1-bit image; 32 entries an 8-bit image whose other
    // entries stay black, or become white with a transparent index.
    for (int sizeField : {0, 4}) {
        for (bool trans : {false, true}) {
            const int entries = 2 << sizeField, w = 5, h = 2;
            Bytes f = Header(w, h, sizeField);
            if (trans) Append(f, {0x21, 0xF9, 4, 0x01, 0, 0, 1, 0});
            Append(f, Descriptor(0, 0, w, h));
            const int cs = std::max(2, sizeField + 1);
            std::vector<std::pair<int, int>> codes = {{1 << cs, cs + 1}};
            for (int i = 0; i < w * h; ++i) codes.push_back({1 << cs, cs + 1}), codes.push_back({i % 2, cs + 1});
            codes.push_back({(1 << cs) + 1, cs + 1});
            Append(f, {uint8_t(cs)});
            Append(f, PackCodes(codes));
            f.push_back(0x3B);
            VaZaviGIF g;
            ASSERT_TRUE(DecodeGif(f, g)) << sizeField;
            EXPECT_EQ(g.BitCount(), entries == 2 ? 1 : 8);
            EXPECT_EQ(g.info.transparentIndex, trans ? 1 : -1);
            EXPECT_EQ(g.info.frameCount, 1);
            EXPECT_EQ(GetTop(g, 1, 0), 1);
            EXPECT_EQ(GetTop(g, 1, 1), 0);
            if (entries == 32) {
                EXPECT_EQ(g.GetPaletteColor(31), PackBGR(255, 255, 255));
                EXPECT_EQ(g.GetPaletteColor(1), PackBGR(8, 8, 8));
                EXPECT_EQ(g.GetPaletteColor(32), trans ? PackBGR(255, 255, 255) : 0u);
                EXPECT_EQ(g.GetPaletteColor(255), trans ? PackBGR(255, 255, 255) : 0u);
            }
        }
    }
    // A full 256-entry table keeps its last colour even with transparency
    // and no white entry.
    Bytes f = Header(2, 1, 7);
    for (int c = 0; c < 3; ++c) f[13 + 255 * 3 + c] = uint8_t(10 + c);
    Append(f, {0x21, 0xF9, 4, 0x01, 0, 0, 0, 0});
    Append(f, Descriptor(0, 0, 2, 1));
    Append(f, {8});
    Append(f, PackCodes({{256, 9}, {255, 9}, {0, 9}, {257, 9}}));
    VaZaviGIF g;
    ASSERT_TRUE(DecodeGif(f, g));
    EXPECT_EQ(g.GetPaletteColor(255), PackBGR(12, 11, 10));
    EXPECT_EQ(GetTop(g, 0, 0), 255);
}

TEST(GifReader, InterlacedRowsOfEveryHeight) {
    // Each picture row y carries the value y; the data sends them in the
    // interlace order, which must land each on its own row.
    for (int h = 1; h <= 17; ++h) {
        std::vector<int> order;
        for (int start : {0, 4, 2, 1}) {
            int step = start == 0 ? 8 : start * 2;
            for (int y = start; y < h; y += step) order.push_back(y);
        }
        ASSERT_EQ(int(order.size()), h);
        if (h == 10) {
            EXPECT_EQ(order, (std::vector<int>{0, 8, 4, 2, 6, 1, 3, 5, 7, 9}));
        }
        Bytes f = Header(3, h, 4);
        Append(f, Descriptor(0, 0, 3, h, 0x40));
        Append(f, {5});
        std::vector<std::pair<int, int>> codes;
        for (int y : order)
            for (int x = 0; x < 3; ++x) codes.push_back({32, 6}), codes.push_back({y, 6});
        codes.push_back({33, 6});
        Append(f, PackCodes(codes));
        f.push_back(0x3B);
        VaZaviGIF g;
        ASSERT_TRUE(DecodeGif(f, g)) << h;
        for (int y = 0; y < h; ++y) EXPECT_EQ(GetTop(g, 2, y), y) << "height " << h;
    }
}

TEST(GifReader, FramesCompositeAndTransparencyBelongsToOneFrame) {
    // Screen 4 x 3; frame 0 all index 1; frame 1 (disposal 1, transparent 3)
    // 2 x 2 at (1, 1) with indices 2, 3 / 3, 2; frame 2 (disposal 1, no
    // transparency) 1 x 1 at (3, 0) index 3.
    Bytes f = Header(4, 3, 1);
    Append(f, Descriptor(0, 0, 4, 3));
    {
        std::vector<std::pair<int, int>> c = {{4, 3}};
        for (int i = 0; i < 12; ++i) c.push_back({1, 3}), c.push_back({4, 3});
        c.push_back({5, 3});
        Append(f, {2});
        Append(f, PackCodes(c));
    }
    Append(f, {0x21, 0xF9, 4, 0x05, 7, 0, 3, 0});
    Append(f, Descriptor(1, 1, 2, 2));
    Append(f, {2});
    Append(f, PackCodes({{4, 3}, {2, 3}, {4, 3}, {3, 3}, {4, 3}, {3, 3}, {4, 3}, {2, 3}, {5, 3}}));
    Append(f, {0x21, 0xF9, 4, 0x04, 9, 0, 0, 0});
    Append(f, Descriptor(3, 0, 1, 1));
    Append(f, {2});
    Append(f, PackCodes({{4, 3}, {3, 3}, {5, 3}}));
    f.push_back(0x3B);

    VaZaviGIF g0, g1, g2, g3;
    ASSERT_TRUE(DecodeGif(f, g0, 0));
    EXPECT_EQ(g0.info.frameCount, 3);
    ASSERT_TRUE(DecodeGif(f, g1, 1));
    ASSERT_TRUE(DecodeGif(f, g2, 2));
    EXPECT_FALSE(DecodeGif(f, g3, 3));
    EXPECT_FALSE(DecodeGif(f, g3, -1));
    const int want1[3][4] = {{1, 1, 1, 1}, {1, 2, 1, 1}, {1, 1, 2, 1}};
    const int want2[3][4] = {{1, 1, 1, 3}, {1, 2, 1, 1}, {1, 1, 2, 1}};
    ASSERT_EQ(g2.Width(), 4);
    ASSERT_EQ(g2.Height(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(GetTop(g1, x, y), want1[y][x]) << x << "," << y;
            EXPECT_EQ(GetTop(g2, x, y), want2[y][x]) << x << "," << y;
        }
    EXPECT_EQ(g2.info.frameDelay, 9);
    EXPECT_EQ(g1.info.frameDelay, 7);
    EXPECT_EQ(g2.info.transparentIndex, -1);   // that of the first frame
    EXPECT_EQ(g2.info.frameLeft, 0);
}

TEST(GifReader, ExtensionsCommentLoopCountAndStrayBytes) {
    Bytes f = Header(1, 1, 0);
    Append(f, {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0x34, 0x12, 0});
    Append(f, {0x21, 0xFE, 5, 'h', 'e', 'l', 'l', 'o', 3, 'x', 'y', 'z', 0});
    Append(f, {0x21, 0x01, 2, 9, 9, 0});    // plain text extension: skipped
    Append(f, {0x00, 0x77});                // stray bytes between blocks
    Append(f, Descriptor(0, 0, 1, 1));
    Append(f, {2});
    Append(f, PackCodes({{4, 3}, {1, 3}, {5, 3}}));
    f.push_back(0x3B);
    VaZaviGIF g;
    ASSERT_TRUE(DecodeGif(f, g));
    EXPECT_EQ(g.loopCount, 0x1234);
    EXPECT_EQ(g.comment, "hello");
    EXPECT_EQ(GetTop(g, 0, 0), 1);
    EXPECT_EQ(g.info.frameCount, 1);
}

TEST(GifReader, RefusesWithoutSignatureOrImagesAndKeepsCallersPicture) {
    VaZavi keep(24, 3, 3, kTypeBMP);
    Bytes notGif = {'G', 'I', 'F', '7', '9', 'a', 1, 0, 1, 0, 0, 0, 0};
    ImageStream s1(notGif.data(), notGif.size());
    EXPECT_FALSE(keep.Load(s1, kTypeGIF));
    Bytes noImages = Header(2, 2, 0);
    noImages.push_back(0x3B);
    ImageStream s2(noImages.data(), noImages.size());
    EXPECT_FALSE(keep.Load(s2, kTypeGIF));
    EXPECT_EQ(keep.Width(), 3);
    EXPECT_EQ(keep.BitCount(), 24);
}

TEST(GifReader, HostileData) {
    auto quick = [](const Bytes& f, int frame = 0) {
        VaZaviGIF g;
        return DecodeGif(f, g, frame);
    };
    // A prefix chain that loops on itself: clear, 0, a code beyond the next
    // slot (which then becomes the prefix of the next entry), 6, then 7 in 4
    // bits walks 7 -> 7 -> ...
    {
        Bytes f = Header(64, 64, 1);
        Append(f, Descriptor(0, 0, 64, 64));
        Append(f, {2});
        Append(f, PackCodes({{4, 3}, {0, 3}, {7, 3}, {6, 3}, {7, 4}, {7, 4}, {1, 4}, {5, 4}}));
        f.push_back(0x3B);
        VaZaviGIF g;
        ASSERT_TRUE(DecodeGif(f, g));
        EXPECT_EQ(GetTop(g, 0, 0), 0);
    }
    // Bad code sizes, or data that ends at once: the frame asked for gives
    // no pixels, and the load fails with a message instead of handing out
    // a blank picture as a success.
    for (int cs : {0, 1, 10, 12, 255}) {
        Bytes f = Header(2, 2, 0);
        Append(f, Descriptor(0, 0, 2, 2));
        Append(f, {uint8_t(cs)});
        Append(f, PackCodes({{4, 3}, {0, 3}, {5, 3}}));
        f.push_back(0x3B);
        VaZavi img;
        ImageStream s(f.data(), f.size());
        EXPECT_FALSE(img.Load(s, kTypeGIF)) << cs;
        EXPECT_STREQ(img.LastError(), "GIF image data gives no pixels") << cs;
        EXPECT_FALSE(img.IsValid());
    }
    {
        Bytes f = Header(2, 2, 0);
        Append(f, Descriptor(0, 0, 2, 2));
        Append(f, {2});
        Append(f, PackCodes({{4, 3}, {5, 3}}));   // clear, end
        f.push_back(0x3B);
        EXPECT_FALSE(quick(f));
    }
    // Inside an animation a bad frame before the wanted one stays blank:
    // frame 0 has code size 12; frame 1 on its own, and frame 1 painted over
    // frame 0 (disposal 1), both load.
    for (bool painted : {false, true}) {
        Bytes f = Header(2, 2, 0);
        Append(f, Descriptor(0, 0, 2, 2));
        Append(f, {12});
        Append(f, PackCodes({{4, 3}, {0, 3}, {5, 3}}));
        if (painted) Append(f, {0x21, 0xF9, 4, 0x04, 0, 0, 0, 0});
        Append(f, Descriptor(1, 0, 1, 1));
        Append(f, {2});
        Append(f, PackCodes({{4, 3}, {0, 3}, {5, 3}}));
        f.push_back(0x3B);
        VaZaviGIF g;
        EXPECT_FALSE(DecodeGif(f, g, 0)) << painted;
        VaZaviGIF g1;
        ASSERT_TRUE(DecodeGif(f, g1, 1)) << painted;
        EXPECT_EQ(g1.info.frameCount, 2);
        EXPECT_EQ(g1.Width(), painted ? 2 : 1);
        EXPECT_EQ(GetTop(g1, painted ? 1 : 0, 0), 0);   // frame 1's pixel
    }
    // A 60,000 x 60,000 frame with a few bytes of data is refused before
    // anything that size is made.
    {
        Bytes f = Header(10, 10, 0);
        Append(f, Descriptor(0, 0, 60000, 60000));
        Append(f, {2});
        Append(f, PackCodes({{4, 3}, {0, 3}, {5, 3}}));
        VaZavi img;
        ImageStream s(f.data(), f.size());
        EXPECT_FALSE(img.Load(s, kTypeGIF));
        EXPECT_STREQ(img.LastError(), "GIF image data too short for its size");
    }
    // Truncations anywhere: no crash; extensions and sub-blocks running to
    // the end of the data end the walk.
    Bytes good = Header(8, 8, 1);
    Append(good, {0x21, 0xF9, 4, 1, 0, 0, 2, 0, 0x21, 0xFE, 3, 'a', 'b', 'c', 0});
    Append(good, Descriptor(0, 0, 8, 8, 0x40));
    Append(good, {2});
    {
        std::vector<std::pair<int, int>> c = {{4, 3}};
        for (int i = 0; i < 64; ++i) c.push_back({i % 4, 3}), c.push_back({4, 3});
        c.push_back({5, 3});
        Append(good, PackCodes(c));
    }
    good.push_back(0x3B);
    ASSERT_TRUE(quick(good));
    for (size_t n = 0; n < good.size(); ++n) quick(Bytes(good.begin(), good.begin() + ptrdiff_t(n)));
    Bytes openExt = Header(2, 2, 0);
    Append(openExt, {0x21, 0xFE});
    for (int i = 0; i < 10000; ++i) openExt.push_back(0);  // zero-length sub-blocks to the end
    openExt.push_back(0x21);
    openExt.push_back(0xF9);
    EXPECT_FALSE(quick(openExt));
    // Random damage to a valid file.
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        Bytes f = good;
        auto r = testsupport::RandomBytes(8, seed);
        for (int k = 0; k < 4; ++k) f[13 + r[2 * k] % (f.size() - 13)] = r[2 * k + 1];
        quick(f, seed % 3);
    }
}

TEST(GifReader, DetectionFindsGifAfterTheOtherReaders) {
    VaZavi img(8, 6, 4, kTypeGIF);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) img.SetPixelIndex(x, y, x * y);
    Bytes f = EncodeGif(img);
    VaZavi back(kTypeBMP);
    ImageStream s(f.data(), f.size());
    ASSERT_TRUE(back.Load(s, kTypeDetect));
    EXPECT_EQ(back.info.type, kTypeGIF);
    EXPECT_EQ(back.info.frameCount, 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(back.GetPixelIndex(x, y), x * y);
}

TEST(GifWriter, FrameOffsetStaysInsideTheLogicalScreen) {
    VaZavi img(4, 5, 3, kTypeGIF);
    img.info.frameLeft = 3;
    img.info.frameTop = 2;
    Bytes f = EncodeGif(img);
    EXPECT_EQ(f[6], 8);    // screen 5 + 3 wide
    EXPECT_EQ(f[8], 5);    // and 3 + 2 high
    const size_t d = 13 + 16 * 3 + 8;
    ASSERT_EQ(f[d], 0x2C);
    EXPECT_EQ(f[d + 1], 3);
    EXPECT_EQ(f[d + 3], 2);
    VaZaviGIF back;
    ASSERT_TRUE(DecodeGif(f, back));
    EXPECT_EQ(back.info.frameLeft, 3);
    EXPECT_EQ(back.info.frameTop, 2);
    EXPECT_EQ(back.Width(), 5);
    // An offset that cannot fit a 16-bit screen is dropped.
    img.info.frameLeft = 70000;
    f = EncodeGif(img);
    EXPECT_EQ(f[6], 5);
    EXPECT_EQ(f[13 + 16 * 3 + 8 + 1], 0);
}
