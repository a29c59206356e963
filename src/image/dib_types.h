// Plain on-disk / in-memory records of a packed device-independent bitmap.
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct BitmapFileHeader {
    uint16_t type;        // "BM" = 0x4D42
    uint32_t size;        // whole file
    uint16_t reserved1;
    uint16_t reserved2;
    uint32_t offBits;     // pixel data offset from the file start
};

struct BitmapInfoHeader {
    uint32_t size;        // always 40
    int32_t width;
    int32_t height;       // positive: rows bottom-up
    uint16_t planes;
    uint16_t bitCount;
    uint32_t compression; // 0 = BI_RGB, 1 = RLE8, 2 = RLE4, 3 = BITFIELDS
    uint32_t sizeImage;
    int32_t xPelsPerMeter;
    int32_t yPelsPerMeter;
    uint32_t clrUsed;
    uint32_t clrImportant;
};

struct RgbQuad {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint8_t reserved;
};
#pragma pack(pop)

static_assert(sizeof(BitmapFileHeader) == 14);
static_assert(sizeof(BitmapInfoHeader) == 40);
static_assert(sizeof(RgbQuad) == 4);

// Packed colour helpers: blue in the low byte, then green, red, fourth byte.
inline constexpr uint32_t PackBGR(uint8_t b, uint8_t g, uint8_t r, uint8_t a = 0) {
    return uint32_t(b) | (uint32_t(g) << 8) | (uint32_t(r) << 16) | (uint32_t(a) << 24);
}
inline constexpr uint8_t ColB(uint32_t c) { return uint8_t(c); }
inline constexpr uint8_t ColG(uint32_t c) { return uint8_t(c >> 8); }
inline constexpr uint8_t ColR(uint32_t c) { return uint8_t(c >> 16); }
inline constexpr uint8_t ColA(uint32_t c) { return uint8_t(c >> 24); }
inline uint32_t PackQuad(const RgbQuad& q) { return PackBGR(q.blue, q.green, q.red, q.reserved); }
inline RgbQuad UnpackQuad(uint32_t c) { return RgbQuad{ColB(c), ColG(c), ColR(c), ColA(c)}; }

// Scales a channel of `width` bits to 8 bits by repeating its bits, so that
// the largest value becomes 255 (5 bits: v << 3 | v >> 2).
inline constexpr uint8_t ExpandBits(uint32_t v, int width) {
    if (width <= 0) return 0;
    if (width >= 8) return uint8_t(v >> (width - 8));
    uint32_t r = 0;
    for (int pos = 8 - width; pos > -width; pos -= width) r |= pos >= 0 ? v << pos : v >> -pos;
    return uint8_t(r);
}

enum ImageFileType : int {
    kTypeDetect = -1,
    kTypeJPEG = 0,
    kTypeBMP = 1,
    kTypeGIF = 2,
    kTypeTIFF = 3,
    kTypePCX = 4,
    kTypeVOR = 5,
    kTypeSCO = 6,
};
