// Levels: the per-channel tables built from a layer's histogram (1 % points,
// equalisation, or a given range) and their application to the layer's
// colours or, on palette canvases, to the palette.
#include <algorithm>
#include <cmath>

#include "layer_access.h"
#include "layer_ops.h"
#include "pixel_rows.h"

namespace layerops {

namespace {
// Whether every pixel of the layer has the same luminance (level gets it).
// Pictures of more than one level show it within their first rows.
bool OneLuminance(const LayerAccess& a, int& level) {
    std::vector<uint8_t> lum(size_t(std::max(a.w, 1)));
    for (int r = 0; r < a.h; ++r) {
        pixelrows::LumRow(a.SrcRow(r), lum.data(), a.w);
        if (r == 0) level = lum[0];
        for (int x = 0; x < a.w; ++x)
            if (lum[size_t(x)] != level) return false;
    }
    return true;
}
}  // namespace

bool LevelPoints(const uint32_t hist[1024], int64_t pixels, int points[4][2]) {
    const int64_t u = pixels / 100;
    for (int ch = 0; ch < 4; ++ch) {
        const uint32_t* c = hist + 256 * ch;
        int lo = 255, hi = 0;
        int64_t sum = 0;
        for (int k = 0; k < 256; ++k)
            if ((sum += c[k]) > u) { lo = k; break; }
        sum = 0;
        for (int k = 255; k >= 0; --k)
            if ((sum += c[k]) > u) { hi = k; break; }
        if (lo == hi) {
            int first = -1, last = -1;
            for (int k = 0; k < 256; ++k)
                if (c[k]) {
                    if (first < 0) first = k;
                    last = k;
                }
            if (first >= 0) lo = first, hi = last;
        }
        points[ch][0] = lo;
        points[ch][1] = hi;
    }
    return true;
}

bool RemapLevels(LayerOpContext& ctx, int channel, int low, int high, bool equalise) {
    if (channel < 0 || channel > 3) return false;
    if (!ctx.layer || ctx.layer->IsTextKind()) return false;
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    // The tables come from the colour counters; of the luminance only
    // whether it holds a single level (or only level 0) is asked, which a
    // scan that stops at the first pixel of another level tells. A
    // true-colour layer's single channel needs only its own counters (a
    // palette takes all three tables).
    ColourCounts counts;
    CountColours(a, false, counts, ctx.bitsPerPixel > 8 && channel != 0 ? channel : 0, false);
    if (channel == 0 && a.w > 0 && a.h > 0) {
        int level = 0;
        if (OneLuminance(a, level)) counts.lumLo = counts.lumHi = uint8_t(level);
        else counts.lumLo = 0, counts.lumHi = 1;   // two levels at least
    }
    const uint32_t* hist = counts.table;
    int points[4][2];
    LevelPoints(hist, int64_t(a.w) * a.h, points);
    int64_t cum[4][256];
    for (int ch = 0; ch < 4; ++ch) {
        int64_t s = 0;
        for (int k = 0; k < 256; ++k) cum[ch][k] = (s += hist[256 * ch + k]);
    }
    const bool onlyZero = channel == 0 ? counts.lumHi == 0 : cum[channel][0] == cum[channel][255];
    const bool oneLevel = channel == 0 ? counts.lumLo == counts.lumHi : points[channel][0] == points[channel][1];
    if (equalise && onlyZero) return false;
    if (oneLevel) return false;
    const bool automatic = low == -1;
    // A given range must be a rising one inside 0..255.
    if (!automatic && (low < 0 || high > 255 || low >= high)) return false;

    uint8_t table[4][256];
    for (int ch = 0; ch < 4; ++ch) {
        for (int k = 0; k < 256; ++k) {
            int v;
            if (automatic && equalise) {
                const int64_t span = cum[ch][255] - cum[ch][0];
                // A channel without a spread keeps its levels.
                v = span != 0 ? int(std::trunc(255.0 * double(cum[ch][k] - cum[ch][0]) / double(span))) : k;
            } else {
                const int lo = automatic ? points[ch][0] : low, hi = automatic ? points[ch][1] : high;
                if (k < lo) v = 0;
                else if (k > hi) v = 255;
                else if (hi == lo) v = k;   // a channel of a single level keeps it
                else v = (k - lo) * 255 / (hi - lo);
            }
            table[ch][k] = Clamp255(v);
        }
    }
    const uint8_t* tr = table[1];
    const uint8_t* tg = table[2];
    const uint8_t* tb = table[3];
    VaZavi& img = *ctx.image;
    if (ctx.bitsPerPixel <= 8) {
        for (int i = 0; i < img.ColorsUsed(); ++i) {
            const uint32_t c = img.GetPaletteColor(i);
            img.SetPaletteColor(i, tr[ColR(c)], tg[ColG(c)], tb[ColB(c)]);
        }
        return true;
    }
    const bool mapR = channel == 0 || channel == 1, mapG = channel == 0 || channel == 2,
               mapB = channel == 0 || channel == 3;
    pixelrows::ByteTables tables;
    for (int k = 0; k < 256; ++k) {
        tables.t[0][k] = mapB ? tb[k] : uint8_t(k);
        tables.t[1][k] = mapG ? tg[k] : uint8_t(k);
        tables.t[2][k] = mapR ? tr[k] : uint8_t(k);
    }
    tables.Fit();
    // True colour without a selection: alpha in the same pass, the scratch
    // written around the caches.
    const bool inPlace = a.direct && !a.Restricted();
    const bool stream = inPlace && a.dstStride * size_t(a.h) >= pixelrows::kStreamBytes;
    SplitRows(a.h, WorthSplitting(int64_t(a.w) * a.h), [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r)
            pixelrows::MapRow(a.SrcRow(r), a.DstRow(r), a.AlphaRow(r), inPlace ? a.OutAlphaRow(r) : nullptr, a.w,
                              tables, stream);
    });
    if (!inPlace) a.Commit();
    return true;
}

}  // namespace layerops
