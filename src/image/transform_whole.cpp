// Whole-image turns: upside down, left-right, quarter turns.
#include <algorithm>
#include <cstring>
#include <vector>

#include "VaZavi.h"

bool VaZavi::Flip() {
    if (!IsValid()) return false;
    const size_t stride = size_t(info.stride);
    std::vector<uint8_t> tmp(stride);
    for (int a = 0, b = header.height - 1; a < b; ++a, --b) {
        std::memcpy(tmp.data(), Row(a), stride);
        std::memcpy(Row(a), Row(b), stride);
        std::memcpy(Row(b), tmp.data(), stride);
    }
    return true;
}

bool VaZavi::Mirror() {
    if (!IsValid()) return false;
    const int w = header.width;
    for (int r = 0; r < header.height; ++r) {
        uint8_t* p = Row(r);
        switch (header.bitCount) {
        case 24:
            for (int a = 0, b = w - 1; a < b; ++a, --b)
                for (int k = 0; k < 3; ++k) std::swap(p[3 * a + k], p[3 * b + k]);
            break;
        case 32: {
            uint32_t* q = reinterpret_cast<uint32_t*>(p);
            std::reverse(q, q + w);
            break;
        }
        case 8: std::reverse(p, p + w); break;
        default:
            for (int a = 0, b = w - 1; a < b; ++a, --b) {
                int ia = GetPixelIndex(a, r), ib = GetPixelIndex(b, r);
                SetPixelIndex(a, r, ib);
                SetPixelIndex(b, r, ia);
            }
            break;
        }
    }
    return true;
}

namespace {
// Quarter turn: clockwise when `clockwise`, as seen on screen.
bool Turn(VaZavi& img, bool clockwise) {
    if (!img.IsValid()) return false;
    const int w = img.Width(), h = img.Height();
    VaZavi out(img.info.type);
    out.info = img.info;
    if (!(img.BitCount() < 8 ? out.Create(img.BitCount(), h, w, img.info.type)
                              : out.CreateUnfilled(img.BitCount(), h, w, img.info.type)))
        return false;
    if (img.GetPalette()) out.SetPalette(img.GetPalette(), img.ColorsUsed());
    out.header.xPelsPerMeter = img.header.yPelsPerMeter;
    out.header.yPelsPerMeter = img.header.xPelsPerMeter;
    out.info.xDpi = img.info.yDpi;
    out.info.yDpi = img.info.xDpi;
    std::memcpy(out.DibBlock(), &out.header, sizeof out.header);
    const int bpp = img.BitCount() / 8;
    // Stored coordinates (x, r) with r counted from the bottom. A clockwise
    // turn on screen takes the picture's left column to the top row.
    for (int r2 = 0; r2 < w; ++r2) {
        uint8_t* d = out.Row(r2);
        for (int x2 = 0; x2 < h; ++x2) {
            int sx, sr;
            if (clockwise) {
                sx = w - 1 - r2;
                sr = x2;
            } else {
                sx = r2;
                sr = h - 1 - x2;
            }
            if (bpp >= 3) {
                std::memcpy(d + size_t(x2) * bpp, img.Row(sr) + size_t(sx) * bpp, size_t(bpp));
            } else if (bpp == 1) {
                d[x2] = img.Row(sr)[sx];
            } else {
                out.SetPixelIndex(x2, r2, img.GetPixelIndex(sx, sr));
            }
        }
        // Row padding of the unfilled block: keep saved files deterministic.
        if (bpp >= 1) std::memset(d + size_t(h) * bpp, 0, size_t(out.Stride()) - size_t(h) * bpp);
    }
    out.hasAlpha = img.hasAlpha;
    return img.Transfer(out);
}
}  // namespace

bool VaZavi::RotateLeft() { return Turn(*this, false); }
bool VaZavi::RotateRight() { return Turn(*this, true); }
