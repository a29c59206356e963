// Shared plumbing of the layer operations: a blue-green-red view of the
// source layer, the destination rows, the outside colour, the commit of
// written pixels (palette index, alpha under the selection) and progress.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "layer_ops.h"

namespace layerops {

inline uint8_t Clamp255(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// Exact truncating division of non-negative numbers by a fixed divisor
// through one multiplication (valid while value * divisor < 2^32).
struct UDivider {
    uint64_t m = 1;
    uint32_t d = 1;
    void Set(uint32_t divisor) {
        d = divisor;
        m = (uint64_t(1) << 32) / divisor + 1;
    }
    uint32_t operator()(uint32_t v) const { return uint32_t((v * m) >> 32); }
};

// Runs fn(begin, end) over the rows 0..n-1: the upper half on a helper
// thread and the lower half on the calling thread (which alone may report
// progress) when `split`, else all of them here. Rows must be independent.
template <class Fn>
void SplitRows(int n, bool split, Fn&& fn) {
    if (!split || n < 2) {
        fn(0, n);
        return;
    }
    const int mid = n / 2;
    std::thread helper;
    try {
        helper = std::thread([&fn, mid, n] { fn(mid, n); });
    } catch (const std::system_error&) {
        fn(0, n);
        return;
    }
    fn(0, mid);
    helper.join();
}

// Worth a second thread: more than about a megabyte of pixels to move.
inline bool WorthSplitting(int64_t pixels) { return pixels >= (int64_t(1) << 18); }

class LayerAccess {
public:
    // False (Ok()) when the layer or the scratch buffers are missing.
    explicit LayerAccess(LayerOpContext& ctx);
    bool Ok() const { return ok_; }

    int w = 0, h = 0;
    // Source colours, 3 bytes per pixel (a copy for palette and text layers).
    const uint8_t* SrcRow(int r) const { return src_ + size_t(r) * srcStride; }
    uint8_t* DstRow(int r) const { return dst_ + size_t(r) * dstStride; }
    const uint8_t* AlphaRow(int r) const { return ctx_.layer->alpha.get() + size_t(r) * size_t(w); }
    uint8_t* OutAlphaRow(int r) const { return ctx_.outAlpha + size_t(r) * size_t(w); }
    size_t srcStride = 0, dstStride = 0;
    uint8_t outB = 0, outG = 0, outR = 0;   // the outside colour
    bool direct = false;                    // 24-bit layer: dst is the scratch itself

    // Commits the written pixels: by default every pixel with non-zero
    // alpha; `written` (w*h bytes, non-zero = written) when given.
    void Commit(const uint8_t* written = nullptr);
    void Progress(int percent) const { ctx_.image->SetProgress(percent); }
    // The selection mask row for stored row r, and the column shift (mask
    // column = layer column + shift); null when the row is not covered.
    const uint8_t* MaskRow(int r, int& shift) const;
    LayerOpContext& ctx() const { return ctx_; }

private:
    LayerOpContext& ctx_;
    bool ok_ = false;
    const uint8_t* src_ = nullptr;
    uint8_t* dst_ = nullptr;
    std::vector<uint8_t> srcCopy_, dstCopy_;
};

uint8_t NearestPaletteIndex(const VaZavi& image, uint32_t colour);

// Luminance planes used by several filters.
// (59 G + 30 R + 11 B) div 100
std::vector<uint8_t> LumPlane100(const LayerAccess& a);

}  // namespace layerops
