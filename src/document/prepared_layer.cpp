#include "prepared_layer.h"

#include <cstring>
#include <new>

#include "CVexoDoc.h"
#include "VaZavi.h"

void CopyPictureRows(const VaZavi& img, uint8_t* pixels, int64_t stride) {
    const int bits = img.BitCount();
    const int width = img.Width();
    for (int r = 0; r < img.Height(); ++r) {
        const uint8_t* s = img.Row(r);
        uint8_t* p = pixels + int64_t(r) * stride;
        if (bits == 24) {
            std::memcpy(p, s, size_t(width) * 3);
        } else if (bits == 32) {
            for (int x = 0; x < width; ++x) std::memcpy(p + x * 3, s + x * 4, 3);
        } else if (bits == 8) {
            std::memcpy(p, s, size_t(width));
        } else if (bits < 8) {
            for (int x = 0; x < width; ++x) p[x] = uint8_t(img.GetPixelIndex(x, r));
        } else {
            for (int x = 0; x < width; ++x) {
                const uint32_t c = img.GetPixelColor(x, r);
                p[x * 3] = ColB(c);
                p[x * 3 + 1] = ColG(c);
                p[x * 3 + 2] = ColR(c);
            }
        }
    }
}

bool PrepareLayer(const VaZavi& img, PreparedLayer& out) {
    out = PreparedLayer{};
    if (!img.IsValid() || img.Width() < 1 || img.Height() < 1) return false;
    PreparedLayer p;
    p.width = img.Width();
    p.height = img.Height();
    p.bitsPerPixel = LayerBitsForPicture(img.BitCount());
    p.stride = LayerStride(p.width, p.bitsPerPixel);
    const size_t bytes = size_t(p.stride) * size_t(p.height);
    const size_t plane = size_t(p.width) * size_t(p.height);
    p.pixels.reset(new (std::nothrow) uint8_t[bytes]);
    p.alpha.reset(new (std::nothrow) uint8_t[plane]);
    p.effect.reset(new (std::nothrow) uint8_t[plane]);
    if (!p.Ready()) return false;
    try {
        p.mask.assign(plane, 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Each row is written once: the picture's bytes, then the padding the
    // layer's fill would have left there.
    const size_t used = size_t(p.width) * size_t(p.bitsPerPixel / 8);
    CopyPictureRows(img, p.pixels.get(), p.stride);
    if (used < size_t(p.stride))
        for (int r = 0; r < p.height; ++r) std::memset(p.pixels.get() + int64_t(r) * p.stride + used, 255, p.stride - used);
    std::memset(p.alpha.get(), 255, plane);
    std::memset(p.effect.get(), 0, plane);
    out = std::move(p);
    return true;
}
