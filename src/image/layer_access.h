// Shared plumbing of the layer operations: a blue-green-red view of the
// source layer, the destination rows, the outside colour, the commit of
// written pixels (palette index, alpha under the selection) and progress.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "layer_ops.h"
#include "split_rows.h"

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

// Exact truncating division of 0..maxValue (at most 65535) by a fixed
// divisor as a 16-bit multiply-high and a shift, the form 16-bit vector lanes
// offer: (x * m) >> (16 + shift). Set() checks every value of the range and
// returns false when no such pair is exact over it; divisor 1 is `identity`.
struct Recip16 {
    uint32_t m = 0;
    int shift = 0;
    bool identity = false;
    bool Set(uint32_t divisor, uint32_t maxValue) {
        identity = divisor == 1;
        if (identity) return true;
        if (divisor == 0 || maxValue > 65535) return false;
        for (shift = 0; shift < 16; ++shift) {
            const uint64_t num = uint64_t(1) << (16 + shift);
            m = uint32_t((num + divisor - 1) / divisor);
            if (m > 65535) break;
            bool exact = true;
            for (uint32_t x = 0; x <= maxValue && exact; ++x) exact = (*this)(x) == x / divisor;
            if (exact) return true;
        }
        return false;
    }
    uint32_t operator()(uint32_t x) const { return identity ? x : uint32_t((uint64_t(x) * m) >> (16 + shift)); }
};


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
    // alpha; `written` (w*h bytes, non-zero = written) when given. With a
    // selection only the pixels it marks change: the others keep their
    // scratch contents, colour and alpha.
    void Commit(const uint8_t* written = nullptr);
    // With a selection: the written row `out` of stored row r (raw layer
    // bytes, bytesPerPixel each) takes back the bytes of `before` (what it
    // held before it was written) wherever the mask does not mark the
    // pixel. Nothing without a selection.
    void KeepUnselected(int r, uint8_t* out, const uint8_t* before, int bytesPerPixel) const;
    // A selection is given: only the pixels its mask marks may change.
    bool Restricted() const;
    // After Commit, the thresholds' alpha rule: each processed pixel's
    // alpha goes into the scratch plane where the selection marks it.
    void CarryAlpha();
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

// The colour counters of Histogram (256..1023); the luminance either counted
// as well (0..255) or, without `luminance`, only its smallest and largest
// value kept (its counters stay 0). onlyChannel 1..3 counts that colour
// channel alone (red, green, blue; the others stay 0). Without `lumRange`
// the luminance's range is not taken either (lumLo, lumHi keep 255, 0).
struct ColourCounts {
    uint32_t table[1024] = {};
    uint8_t lumLo = 255, lumHi = 0;
};
void CountColours(const LayerAccess& a, bool luminance, ColourCounts& out, int onlyChannel = 0,
                  bool lumRange = true);

// Luminance planes used by several filters.
// (59 G + 30 R + 11 B) div 100
std::vector<uint8_t> LumPlane100(const LayerAccess& a);

// The window filters and the per-pixel operations take their AVX2 paths
// where the processor has them; false keeps them to the SSE2 and plain
// paths (for the tests of those).
void AllowAvx2Paths(bool allow);
// The per-pixel operations take their 512-bit paths where the processor
// has them (and AVX2 paths are allowed); false keeps them to AVX2.
void AllowAvx512Paths(bool allow);

// The exchange network that selects the middle of 25 values: Batcher's
// odd-even merge sort of 32 wires with wires 25..31 held at +infinity (their
// exchanges folded away) and every exchange that cannot reach the middle
// output dropped. An exchange (x, y) puts the smaller value on x, the larger
// on y; after all of them wire `out` holds the 13th smallest.
struct Exchange { uint8_t x, y; };
struct MedianNet25 {
    Exchange ops[191] = {};
    int count = 0;
    int out = 0;
};
constexpr MedianNet25 MakeMedianNet25() {
    int reg[32] = {};
    bool inf[32] = {};
    for (int i = 0; i < 32; ++i) reg[i] = i, inf[i] = i >= 25;
    Exchange all[191] = {};
    int n = 0;
    for (int p = 1; p < 32; p <<= 1)
        for (int k = p; k >= 1; k >>= 1)
            for (int j = k % p; j + k < 32; j += 2 * k)
                for (int i = 0; i < k && i < 32 - j - k; ++i) {
                    if ((i + j) / (2 * p) != (i + j + k) / (2 * p)) continue;
                    const int a = i + j, b = i + j + k;
                    if (inf[b]) continue;   // min(v, +inf) = v
                    if (inf[a]) {           // the value just moves down
                        const int t = reg[a];
                        reg[a] = reg[b], reg[b] = t;
                        inf[a] = false, inf[b] = true;
                        continue;
                    }
                    all[n++] = Exchange{uint8_t(reg[a]), uint8_t(reg[b])};
                }
    MedianNet25 net;
    net.out = reg[12];
    bool live[32] = {}, keep[191] = {};
    live[net.out] = true;
    for (int t = n - 1; t >= 0; --t)
        if (live[all[t].x] || live[all[t].y]) keep[t] = live[all[t].x] = live[all[t].y] = true;
    for (int t = 0; t < n; ++t)
        if (keep[t]) net.ops[net.count++] = all[t];
    return net;
}
inline constexpr MedianNet25 kMedianNet25 = MakeMedianNet25();

}  // namespace layerops
