#include "prepared_layer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "CVexoDoc.h"
#include "VaZavi.h"

void CopyPictureRows(const VaZavi& img, uint8_t* pixels, int64_t stride, int first, int last) {
    const int bits = img.BitCount();
    const int width = img.Width();
    if (last < 0 || last > img.Height()) last = img.Height();
    for (int r = std::max(first, 0); r < last; ++r) {
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
    LayerFill fill;
    if (!fill.Start(img, out)) return false;
    fill.Help();
    return fill.Finish();
}

bool LayerFill::Start(const VaZavi& img, PreparedLayer& out) {
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
        p.mask.reserve(plane);   // filled by piece 0, without a new allocation
    } catch (const std::bad_alloc&) {
        return false;
    }
    out = std::move(p);
    img_ = &img;
    rows24_ = img.BitCount() == 24 ? img.Row(0) : nullptr;
    rowStride24_ = img.info.stride;
    out_ = &out;
    // The planes' addresses stay as they are when `out` is moved.
    pixels_ = out.pixels.get();
    alpha_ = out.alpha.get();
    effect_ = out.effect.get();
    // Piece 0 is the selection mask; the others are bands of about 2 MB of
    // rows of the three planes.
    const int64_t rowBytes = out.stride + 2 * int64_t(out.width);
    bandRows_ = int(std::clamp<int64_t>((int64_t(2) << 20) / std::max<int64_t>(rowBytes, 1), 1, out.height));
    pieces_ = 1 + (out.height + bandRows_ - 1) / bandRows_;
    next_ = 0;
    done_ = 0;
    return true;
}

void LayerFill::Help() {
    for (int k = next_.fetch_add(1); k < pieces_; k = next_.fetch_add(1)) {
        Piece(k);
        done_.fetch_add(1);
    }
}

bool LayerFill::Finish() {
    if (!out_) return false;
    const bool ok = done_.load() == pieces_;
    if (!ok) *out_ = PreparedLayer{};
    out_ = nullptr;
    return ok;
}

void LayerFill::Piece(int k) {
    PreparedLayer& p = *out_;
    const size_t plane = size_t(p.width) * size_t(p.height);
    if (k == 0) {
        p.mask.assign(plane, 1);   // everything selected (within the reserved capacity)
        return;
    }
    // Each row is written once: the picture's bytes, then the padding the
    // layer's fill would have left there.
    const int r0 = (k - 1) * bandRows_, r1 = std::min(p.height, r0 + bandRows_);
    const size_t used = size_t(p.width) * size_t(p.bitsPerPixel / 8);
    if (rows24_)
        for (int r = r0; r < r1; ++r)
            std::memcpy(pixels_ + int64_t(r) * p.stride, rows24_ + int64_t(r) * rowStride24_, used);
    else
        CopyPictureRows(*img_, pixels_, p.stride, r0, r1);
    if (used < size_t(p.stride))
        for (int r = r0; r < r1; ++r) std::memset(pixels_ + int64_t(r) * p.stride + used, 255, p.stride - used);
    const size_t from = size_t(r0) * size_t(p.width), count = size_t(r1 - r0) * size_t(p.width);
    std::memset(alpha_ + from, 255, count);   // opaque
    std::memset(effect_ + from, 0, count);    // clear
}
