// BMP probe: the checks of the BMP reader's header stage, and the size,
// depth and resolution of the picture it would make, without its pixels.
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "ImageStream.h"
#include "VaZavi.h"
#include "image_probe.h"

namespace {

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

bool Refuse(ImageProbe& probe, const char* text) {
    probe.error = text;
    return false;
}

bool ReadAll(ImageStream& s, void* buf, size_t n) { return n == 0 || s.Read(buf, 1, n) == n; }

// A mask must be one run of set bits.
bool OneRun(uint32_t m) {
    if (!m) return true;
    const uint32_t v = m >> std::countr_zero(m);
    return (v & (v + 1)) == 0;
}

}  // namespace

bool ProbeBmp(ImageStream& s, ImageProbe& probe) {
    constexpr uint32_t kRGB = 0, kRLE8 = 1, kRLE4 = 2, kBitFields = 3, kAlphaBitFields = 6;
    probe = ImageProbe{};
    probe.type = kTypeBMP;
    const int64_t start = s.Tell();
    if (start < 0) return Refuse(probe, "unreadable stream");
    uint8_t fh[14];
    if (s.Read(fh, 1, 14) != 14) return Refuse(probe, "not a BMP file (too short)");
    int64_t pixelOffset = 0;
    int64_t headerStart = start + 14;
    if (fh[0] == 'B' && fh[1] == 'M') {
        pixelOffset = Le32(fh + 10);
    } else {
        headerStart = start;
        s.Seek(start, 0);
    }

    uint8_t hb[124] = {};
    if (!ReadAll(s, hb, 4)) return Refuse(probe, "truncated bitmap header");
    const uint32_t hsize = Le32(hb);
    int32_t width = 0, height = 0, xPels = 0, yPels = 0;
    int bc = 0;
    uint32_t comp = 0, clrUsed = 0;
    uint32_t masks[4] = {0, 0, 0, 0};
    bool core = false;
    if (hsize == 12) {
        if (!ReadAll(s, hb + 4, 8)) return Refuse(probe, "truncated bitmap header");
        core = true;
        width = Le16(hb + 4);
        height = Le16(hb + 6);
        bc = Le16(hb + 10);
    } else if (hsize >= 16 && hsize <= 4096) {
        const size_t known = hsize <= 124 ? hsize : 124;
        if (!ReadAll(s, hb + 4, known - 4)) return Refuse(probe, "truncated bitmap header");
        if (hsize > 124 && s.Seek(headerStart + hsize, 0) != 0) return Refuse(probe, "truncated bitmap header");
        width = int32_t(Le32(hb + 4));
        height = int32_t(Le32(hb + 8));
        bc = Le16(hb + 14);
        comp = Le32(hb + 16);
        xPels = int32_t(Le32(hb + 24));
        yPels = int32_t(Le32(hb + 28));
        clrUsed = Le32(hb + 32);
        if (hsize >= 52) {
            masks[0] = Le32(hb + 40);
            masks[1] = Le32(hb + 44);
            masks[2] = Le32(hb + 48);
        }
        if (hsize >= 56) masks[3] = Le32(hb + 52);
    } else {
        return Refuse(probe, "not a BMP file (bad header size)");
    }

    if (bc != 1 && bc != 4 && bc != 8 && bc != 16 && bc != 24 && bc != 32) {
        char t[64];
        std::snprintf(t, sizeof t, "unsupported bit count %d", bc);
        probe.error = t;
        return false;
    }
    if (width <= 0 || height == 0 || height == INT32_MIN) return Refuse(probe, "invalid image size");
    const bool topDown = height < 0;
    const int w = width, h = topDown ? -height : height;
    if (bc <= 8) {
        if (comp != kRGB && !(bc == 8 && comp == kRLE8) && !(bc == 4 && comp == kRLE4))
            return Refuse(probe, "compression type not supported");
    } else if (bc == 16) {
        if (comp != kRGB && comp != kBitFields && comp != kAlphaBitFields)
            return Refuse(probe, "compression type not supported");
    } else if (bc == 24) {
        if (comp != kRGB) return Refuse(probe, "unknown compression");
    } else if (comp != kRGB && comp != kBitFields && comp != kAlphaBitFields) {
        return Refuse(probe, "unknown compression");
    }
    if (topDown && (comp == kRLE8 || comp == kRLE4)) return Refuse(probe, "compression type not supported");

    if ((comp == kBitFields || comp == kAlphaBitFields) && hsize == 40) {
        uint8_t mb[16];
        const size_t n = comp == kAlphaBitFields ? 16 : 12;
        if (!ReadAll(s, mb, n)) return Refuse(probe, "truncated bit field masks");
        for (size_t k = 0; k < n / 4; ++k) masks[k] = Le32(mb + 4 * k);
    }
    if (clrUsed > 256 && bc <= 8) return Refuse(probe, "invalid palette size");
    const int64_t fileStride = ((int64_t(w) * bc + 31) / 32) * 4;
    if (int64_t(w) * h > kMaxImagePixels || fileStride * h > kMaxImageBytes) return Refuse(probe, "image too large");

    const int entrySize = core ? 3 : 4;
    const int imageColors = bc <= 8 ? 1 << bc : 0;
    int fileEntries = bc <= 8 ? (clrUsed ? int(clrUsed) : 1 << bc) : int(std::min<uint32_t>(clrUsed, 1u << 20));
    const int paletteEntries = std::min(fileEntries, imageColors);
    const int64_t paletteBytes = int64_t(paletteEntries) * entrySize;
    if (paletteBytes > s.Remaining() || s.Seek(paletteBytes, 1) != 0) return Refuse(probe, "truncated palette");
    fileEntries -= paletteEntries;
    if (pixelOffset > 0) {
        if (pixelOffset > s.Size() - start || s.Seek(start + pixelOffset, 0) != 0)
            return Refuse(probe, "pixel data offset beyond the end of the file");
    } else if (fileEntries > 0) {
        const int64_t skip = int64_t(fileEntries) * entrySize;
        if (skip > s.Remaining() || s.Seek(skip, 1) != 0) return Refuse(probe, "truncated palette");
    }
    if (comp != kRLE8 && comp != kRLE4 && fileStride * h > s.Remaining()) return Refuse(probe, "truncated pixel data");
    if (bc == 32 && comp != kRGB)
        for (uint32_t m : masks)
            if (!OneRun(m)) return Refuse(probe, "invalid bit field masks");

    probe.width = w;
    probe.height = h;
    probe.bits = bc == 16 ? 24 : bc;
    probe.colors = probe.bits <= 8 ? 1 << probe.bits : 0;
    probe.xDpi = xPels > 0 ? int(std::floor(xPels * 0.0254 + 0.5)) : 0;
    probe.yDpi = yPels > 0 ? int(std::floor(yPels * 0.0254 + 0.5)) : 0;
    return true;
}
