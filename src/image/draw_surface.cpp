#include "draw_surface.h"

#include <algorithm>

DrawRect DrawRect::Intersect(const DrawRect& a, const DrawRect& b) {
    DrawRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
    if (r.Empty()) r = DrawRect{};
    return r;
}

uint32_t DibPixel(const DibView& dib, int x, int storedRow) {
    const BitmapInfoHeader& h = *dib.header;
    const size_t stride = size_t(((int64_t(h.width) * h.bitCount + 31) / 32) * 4);
    const uint8_t* row = dib.bits + size_t(storedRow) * stride;
    auto pal = [&](int i) -> uint32_t {
        if (!dib.palette || i >= int(h.clrUsed)) return 0;
        const RgbQuad& q = dib.palette[i];
        return PackBGR(q.blue, q.green, q.red, 255);
    };
    switch (h.bitCount) {
    case 1: return pal((row[x >> 3] >> (7 - (x & 7))) & 1);
    case 4: return pal((x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4);
    case 8: return pal(row[x]);
    case 24: return PackBGR(row[3 * x], row[3 * x + 1], row[3 * x + 2], 255);
    case 32: return PackBGR(row[4 * x], row[4 * x + 1], row[4 * x + 2], 255);
    default: return 0;
    }
}

MemorySurface::MemorySurface(int width, int height, uint32_t fill)
    : width_(std::max(0, width)), height_(std::max(0, height)),
      pixels_(size_t(width_) * size_t(height_), fill), clip_{0, 0, width_, height_} {}

void MemorySurface::SetClip(const DrawRect& clip) {
    clip_ = DrawRect::Intersect(clip, DrawRect{0, 0, width_, height_});
}

bool MemorySurface::StretchDib(int x, int y, int width, int height, const DibView& dib) {
    if (!dib.header || !dib.bits || width <= 0 || height <= 0) return false;
    const int sw = dib.header->width, sh = dib.header->height;
    DrawRect area = DrawRect::Intersect(DrawRect{x, y, x + width, y + height}, clip_);
    for (int dy = area.top; dy < area.bottom; ++dy) {
        int sy = int(int64_t(dy - y) * sh / height);   // from the top
        int stored = sh - 1 - sy;
        for (int dx = area.left; dx < area.right; ++dx) {
            int sx = int(int64_t(dx - x) * sw / width);
            Put(dx, dy, DibPixel(dib, sx, stored));
        }
    }
    return true;
}

bool MemorySurface::SetDibBits(int x, int y, const DibView& dib) {
    if (!dib.header || !dib.bits) return false;
    const int sw = dib.header->width, sh = dib.header->height;
    DrawRect area = DrawRect::Intersect(DrawRect{x, y, x + sw, y + sh}, clip_);
    for (int dy = area.top; dy < area.bottom; ++dy)
        for (int dx = area.left; dx < area.right; ++dx)
            Put(dx, dy, DibPixel(dib, dx - x, sh - 1 - (dy - y)));
    return true;
}

bool MemorySurface::GetDibBits(int bitCount, uint8_t* rows, int stride) const {
    if (!rows || (bitCount != 24 && bitCount != 32)) return false;
    const int bpp = bitCount / 8;
    for (int r = 0; r < height_; ++r) {
        uint8_t* d = rows + size_t(r) * size_t(stride);
        int y = height_ - 1 - r;
        for (int x = 0; x < width_; ++x) {
            uint32_t c = At(x, y);
            d[bpp * x] = ColB(c);
            d[bpp * x + 1] = ColG(c);
            d[bpp * x + 2] = ColR(c);
            if (bpp == 4) d[4 * x + 3] = 0;
        }
    }
    return true;
}
