// Colour operations: channel splits, negative, conversion to true colour,
// histogram, the three thresholds, brightness and contrast.
#include <cmath>
#include <memory>

#include "layer_access.h"
#include "pixel_rows.h"

namespace layerops {

namespace {
inline int Grey(const uint8_t* p) { return (p[0] + p[1] + p[2]) / 3; }

// Canvas position of layer stored row r and column c (see layer_set.cpp).
bool CanvasPos(const CanvasInfo& cv, const LayerRecord& L, int c, int r, size_t& at) {
    const int cx = c + L.x, cy = r - L.y;
    if (cx < 0 || cy < 0 || cx >= cv.width || cy >= cv.height) return false;
    at = size_t(cy) * size_t(cv.width) + size_t(cx);
    return true;
}

bool LayerColours(VaZavi& image, const ImageSet& set, int layer, std::vector<uint8_t>& bgr) {
    if (!IsValidLayer(layer)) return false;
    const LayerRecord& L = set.layers[layer];
    if (!L.pixels || L.width < 1 || L.height < 1) return false;
    bgr.assign(size_t(L.width) * size_t(L.height) * 3, 0);
    const RgbQuad* pal = image.GetPalette();
    const int palSize = pal ? image.ColorsUsed() : 0;
    for (int r = 0; r < L.height; ++r) {
        for (int c = 0; c < L.width; ++c) {
            uint8_t* o = &bgr[(size_t(r) * size_t(L.width) + size_t(c)) * 3];
            if (L.IsTextKind()) {
                std::memcpy(o, L.textColor, 3);
            } else if (set.canvas.bitsPerPixel == 8) {
                const uint8_t i = L.PixelRow(r)[c];
                if (i < palSize) o[0] = pal[i].blue, o[1] = pal[i].green, o[2] = pal[i].red;
            } else {
                std::memcpy(o, L.PixelRow(r) + 3 * size_t(c), 3);
            }
        }
    }
    return true;
}

// `rows` converts a row of true-colour pixels into the three planes; `convert`
// one pixel (red, green, blue) for the copies of palette and text layers.
template <class Rows, class F>
bool SplitThree(VaZavi& image, const ImageSet& set, int layer, VaZavi* t[3], Rows rows, F convert) {
    if (!image.IsValid() || (!t[0] && !t[1] && !t[2])) return false;
    if (!IsValidLayer(layer)) return false;
    const LayerRecord& L = set.layers[layer];
    if (!L.pixels || L.width < 1 || L.height < 1) return false;
    const int W = image.Width(), H = image.Height();
    const int h = std::min(H, L.height), w = std::min(W, L.width);
    const bool direct = set.canvas.bitsPerPixel == 24 && !L.IsTextKind() && int64_t(L.stride) >= int64_t(L.width) * 3;
    VaZavi out[3] = {VaZavi(kTypeBMP), VaZavi(kTypeBMP), VaZavi(kTypeBMP)};
    for (auto& o : out) {
        // White where the layer does not reach; the direct path writes the
        // rest once (no white fill first).
        if (!(direct ? o.CreateUnfilled(8, W, H, kTypeBMP) : o.Create(8, W, H, kTypeBMP))) return false;
        o.SetGrayPalette();
    }
    if (direct) {
        const size_t stride = size_t(out[0].Stride());
        SplitRows(H, WorthSplitting(int64_t(w) * h), [&](int r0, int r1) {
            for (int r = r0; r < r1; ++r) {
                const size_t from = r < h ? size_t(w) : 0;
                if (r < h) rows(L.PixelRow(r), out[0].Row(r), out[1].Row(r), out[2].Row(r), w);
                for (auto& o : out) std::memset(o.Row(r) + from, 255, stride - from);
            }
        });
    } else {
        std::vector<uint8_t> bgr;
        if (!LayerColours(image, set, layer, bgr)) return false;
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) {
                const uint8_t* p = &bgr[(size_t(r) * size_t(L.width) + size_t(c)) * 3];
                uint8_t v[3];
                convert(p[2], p[1], p[0], v);
                for (int k = 0; k < 3; ++k) out[k].Row(r)[c] = v[k];
            }
    }
    for (int k = 0; k < 3; ++k)
        if (t[k]) t[k]->Transfer(out[k]);
    return true;
}
}  // namespace

bool SplitRGB(VaZavi& image, const ImageSet& set, int layer, uint8_t* red, uint8_t* green, uint8_t* blue) {
    if (!red && !green && !blue) return false;
    if (!IsValidLayer(layer)) return false;
    const LayerRecord& L = set.layers[layer];
    if (!L.pixels || L.width < 1 || L.height < 1) return false;
    const CanvasInfo& cv = set.canvas;
    if (set.canvas.bitsPerPixel == 24 && !L.IsTextKind() && int64_t(L.stride) >= int64_t(L.width) * 3) {
        // True colour: straight from the layer's rows into the planes.
        const int c0 = int(std::clamp<int64_t>(-int64_t(L.x), 0, L.width));
        const int c1 = int(std::clamp<int64_t>(int64_t(cv.width) - L.x, c0, L.width));
        if (c0 >= c1) return true;
        SplitRows(L.height, WorthSplitting(int64_t(L.width) * L.height), [&](int r0, int r1) {
            std::vector<uint8_t> spare;
            for (int r = r0; r < r1; ++r) {
                size_t at;
                if (!CanvasPos(cv, L, c0, r, at)) continue;
                const int n = c1 - c0;
                if ((!red || !green || !blue) && spare.empty()) spare.resize(size_t(n));
                pixelrows::SplitRow(L.PixelRow(r) + 3 * size_t(c0), blue ? blue + at : spare.data(),
                                    green ? green + at : spare.data(), red ? red + at : spare.data(), n);
            }
        });
        return true;
    }
    std::vector<uint8_t> bgr;
    if (!LayerColours(image, set, layer, bgr)) return false;
    for (int r = 0; r < L.height; ++r)
        for (int c = 0; c < L.width; ++c) {
            size_t at;
            if (!CanvasPos(cv, L, c, r, at)) continue;
            const uint8_t* p = &bgr[(size_t(r) * size_t(L.width) + size_t(c)) * 3];
            if (red) red[at] = p[2];
            if (green) green[at] = p[1];
            if (blue) blue[at] = p[0];
        }
    return true;
}

bool SplitYUV(VaZavi& image, const ImageSet& set, int layer, VaZavi* t0, VaZavi* t1, VaZavi* t2) {
    VaZavi* t[3] = {t0, t1, t2};
    auto rows = [](const uint8_t* s, uint8_t* y, uint8_t* u, uint8_t* v, int w) { pixelrows::YuvRow(s, y, u, v, w); };
    return SplitThree(image, set, layer, t, rows, [](int r, int g, int b, uint8_t v[3]) {
        const Yuv y = RgbToYuv(r, g, b);
        v[0] = y.y, v[1] = y.u, v[2] = y.v;
    });
}

bool SplitHSL(VaZavi& image, const ImageSet& set, int layer, VaZavi* t0, VaZavi* t1, VaZavi* t2) {
    VaZavi* t[3] = {t0, t1, t2};
    // L, S and H in that order.
    auto rows = [](const uint8_t* s, uint8_t* l, uint8_t* sat, uint8_t* h, int w) { pixelrows::HslRow(s, h, sat, l, w); };
    return SplitThree(image, set, layer, t, rows, [](int r, int g, int b, uint8_t v[3]) {
        const Hsl h = RgbToHsl(r, g, b);
        v[0] = h.l, v[1] = h.s, v[2] = h.h;
    });
}

// True colour: every byte complemented (and the background colour). Grey
// palette: index i becomes 255 - i. Other palettes: only the palette changes.
bool Negative(LayerOpContext& ctx) {
    LayerRecord* L = ctx.layer;
    if (!ctx.image || !L || !L->pixels || !ctx.outPixels) return false;
    VaZavi& img = *ctx.image;
    if (L->IsTextKind()) return false;
    const size_t n = size_t(std::max(0, L->pixelSize));
    if (ctx.bitsPerPixel > 8) {
        const uint8_t* s = L->pixels.get();
        uint8_t* d = ctx.outPixels;
        // Two halves on two threads, cut on a cache line.
        const bool stream = n >= pixelrows::kStreamBytes;
        const size_t half = n / 2 & ~size_t(63);
        SplitRows(2, WorthSplitting(int64_t(n / 3)), [&](int k0, int k1) {
            const size_t from = k0 == 0 ? 0 : half, to = k1 == 2 ? n : half;
            pixelrows::Invert(s + from, d + from, to - from, stream);
        });
        RgbQuad& bg = img.info.backgroundColor;
        bg.blue = uint8_t(~bg.blue), bg.green = uint8_t(~bg.green), bg.red = uint8_t(~bg.red);
    } else if (img.IsGrayScale()) {
        const uint8_t* s = L->pixels.get();
        uint8_t* d = ctx.outPixels;
        for (size_t i = 0; i < n; ++i) d[i] = uint8_t(255 - s[i]);
    } else {
        for (int i = 0; i < img.ColorsUsed(); ++i) {
            const uint32_t c = img.GetPaletteColor(i);
            img.SetPaletteColor(i, uint8_t(~ColR(c)), uint8_t(~ColG(c)), uint8_t(~ColB(c)));
        }
    }
    return true;
}

bool GreyLayer(LayerOpContext& ctx) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    // True colour without a selection: the alpha plane is done in the same
    // pass as the pixels, and the scratch is written around the caches.
    const bool inPlace = a.direct && !a.Restricted();
    const bool stream = inPlace && a.dstStride * size_t(a.h) >= pixelrows::kStreamBytes;
    SplitRows(a.h, WorthSplitting(int64_t(a.w) * a.h), [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r)
            pixelrows::GreyRow(a.SrcRow(r), a.DstRow(r), a.AlphaRow(r), inPlace ? a.OutAlphaRow(r) : nullptr, a.w,
                               stream);
    });
    // Transparent pixels get the grey colour but stay transparent: making
    // them opaque would cover every layer below with the layer's hidden
    // (usually white) pixels.
    if (!inPlace) a.Commit();
    return true;
}

bool ToTrueColour(VaZavi& image, const LayerRecord& src, uint8_t* dst, int dstStride) {
    if (!src.pixels || !dst || dstStride < src.width * 3) return false;
    const RgbQuad* pal = image.GetPalette();
    const int palSize = pal ? image.ColorsUsed() : 0;
    for (int r = 0; r < src.height; ++r) {
        const uint8_t* s = src.PixelRow(r);
        uint8_t* d = dst + size_t(r) * size_t(dstStride);
        for (int x = 0; x < src.width; ++x) {
            const RgbQuad q = s[x] < palSize ? pal[s[x]] : RgbQuad{0, 0, 0, 0};
            d[3 * x] = q.blue, d[3 * x + 1] = q.green, d[3 * x + 2] = q.red;
        }
    }
    return true;
}

namespace {
// Four sets of counters, pixel x counting into set x & 3: a run of one
// value then touches the same counter only every fourth pixel, so an
// increment does not wait for the store of the one before it.
struct CountTables {
    uint32_t t[4][1024] = {};
};

// Counts the bytes p[0], p[step], ... (n of them) into the 256 counters at
// `at` of the four sets.
inline void CountBytes(CountTables& c, int at, const uint8_t* p, size_t step, int n) {
    uint32_t* t0 = c.t[0] + at;
    uint32_t* t1 = c.t[1] + at;
    uint32_t* t2 = c.t[2] + at;
    uint32_t* t3 = c.t[3] + at;
    int x = 0;
    for (; x + 4 <= n; x += 4, p += 4 * step) ++t0[p[0]], ++t1[p[step]], ++t2[p[2 * step]], ++t3[p[3 * step]];
    for (; x < n; ++x, p += step) ++t0[p[0]];
}

// The three colour channels of n pixels: red at 256, green at 512, blue at 768.
inline void CountPixels(CountTables& c, const uint8_t* s, int n) {
    uint32_t* t0 = c.t[0];
    uint32_t* t1 = c.t[1];
    uint32_t* t2 = c.t[2];
    uint32_t* t3 = c.t[3];
    int x = 0;
    for (; x + 4 <= n; x += 4, s += 12) {
        ++t0[256 + s[2]], ++t0[512 + s[1]], ++t0[768 + s[0]];
        ++t1[256 + s[5]], ++t1[512 + s[4]], ++t1[768 + s[3]];
        ++t2[256 + s[8]], ++t2[512 + s[7]], ++t2[768 + s[6]];
        ++t3[256 + s[11]], ++t3[512 + s[10]], ++t3[768 + s[9]];
    }
    for (; x < n; ++x, s += 3) ++t0[256 + s[2]], ++t0[512 + s[1]], ++t0[768 + s[0]];
}
}  // namespace

void CountColours(const LayerAccess& a, bool luminance, ColourCounts& out, int onlyChannel, bool lumRange) {
    // Each half of the rows counts into its own tables, merged at the end.
    struct Part {
        CountTables c;
        uint8_t lo = 255, hi = 0;
    };
    std::unique_ptr<Part[]> parts(new Part[2]);
    const int w = a.w;
    const bool range = !luminance && !onlyChannel && lumRange;
    SplitRows(a.h, WorthSplitting(int64_t(w) * a.h), [&](int r0, int r1) {
        Part& part = parts[r0 == 0 ? 0 : 1];
        std::vector<uint8_t> lum(luminance || range ? static_cast<size_t>(w) : 0);
        for (int r = r0; r < r1; ++r) {
            const uint8_t* s = a.SrcRow(r);
            if (luminance || range) pixelrows::LumRow(s, lum.data(), w);
            if (luminance) CountBytes(part.c, 0, lum.data(), 1, w);
            else if (range) pixelrows::Range(lum.data(), w, part.lo, part.hi);
            // One channel: table 256 ch, byte 3 - ch of each pixel.
            if (onlyChannel) CountBytes(part.c, 256 * onlyChannel, s + (3 - onlyChannel), 3, w);
            else CountPixels(part.c, s, w);
        }
    });
    for (int k = 0; k < 1024; ++k) {
        uint32_t sum = 0;
        for (int p = 0; p < 2; ++p)
            for (int set = 0; set < 4; ++set) sum += parts[p].c.t[set][k];
        out.table[k] = sum;
    }
    out.lumLo = std::min(parts[0].lo, parts[1].lo);
    out.lumHi = std::max(parts[0].hi, parts[1].hi);
}

bool Histogram(LayerOpContext& ctx, uint32_t table[1024]) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    ColourCounts counts;
    CountColours(a, true, counts);
    std::copy(counts.table, counts.table + 1024, table);
    return true;
}

namespace {

void SetGreyPixel(uint8_t* d, bool white) { d[0] = d[1] = d[2] = white ? 255 : 0; }
}  // namespace

namespace {
// The ordered and simple thresholds through the row kernel: limits[r & 3]
// holds, for each column phase x & 3, the largest grey that turns white.
bool ThresholdRows(LayerAccess& a, const int16_t limits[4][4]) {
    const bool inPlace = a.direct && !a.Restricted();
    const bool stream = inPlace && a.dstStride * size_t(a.h) >= pixelrows::kStreamBytes;
    SplitRows(a.h, WorthSplitting(int64_t(a.w) * a.h), [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r)
            pixelrows::ThresholdRow(a.SrcRow(r), a.DstRow(r), a.AlphaRow(r), inPlace ? a.OutAlphaRow(r) : nullptr, a.w,
                                    limits[r & 3], stream);
    });
    if (!inPlace) {
        a.Commit();
        a.CarryAlpha();
    }
    return true;
}
}  // namespace

bool ThresholdOrdered(LayerOpContext& ctx, int level) {
    static const int kMatrix[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int den = 2 * level + 100;
    if (den == 0) return false;
    auto white = [den](int grey, int m) {
        const int dd = (grey * 16) / den;
        const int base = dd / 16, frac = dd % 16;
        return (m < frac ? base + 1 : base) == 0;
    };
    // The greys that turn white at a matrix entry form a run from 0 (d grows
    // with the grey): its last one is the entry's limit.
    int16_t limits[4][4];
    bool runs = true;
    for (int rr = 0; rr < 4; ++rr)
        for (int xx = 0; xx < 4; ++xx) {
            int last = -1;
            for (int g = 0; g < 256; ++g)
                if (white(g, kMatrix[rr][xx])) {
                    if (last != g - 1) runs = false;
                    last = g;
                }
            limits[rr][xx] = int16_t(last);
        }
    if (runs) return ThresholdRows(a, limits);
    for (int r = 0; r < a.h; ++r) {
        const uint8_t* s = a.SrcRow(r);
        const uint8_t* al = a.AlphaRow(r);
        uint8_t* d = a.DstRow(r);
        for (int x = 0; x < a.w; ++x)
            if (al[x]) SetGreyPixel(d + 3 * x, white(Grey(s + 3 * x), kMatrix[r & 3][x & 3]));
    }
    a.Commit();
    a.CarryAlpha();
    return true;
}

bool ThresholdSimple(LayerOpContext& ctx, int level) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    // White when grey <= level.
    const int16_t limit = int16_t(std::clamp(level, -1, 255));
    int16_t limits[4][4];
    for (auto& row : limits) std::fill(row, row + 4, limit);
    return ThresholdRows(a, limits);
}

bool BrightnessContrast(LayerOpContext& ctx, int brightness, int contrast) {
    if (!ctx.image) return false;
    const double k = (contrast + 255) * 0.00392156862745098;
    uint8_t lut[256];
    for (int c = 0; c < 256; ++c) lut[c] = Clamp255(int(k * (c - 128) + brightness + 128));
    VaZavi& img = *ctx.image;
    if (img.ColorsUsed() > 0 && img.GetPalette()) {
        for (int i = 0; i < img.ColorsUsed(); ++i) {
            const uint32_t c = img.GetPaletteColor(i);
            img.SetPaletteColor(i, lut[ColR(c)], lut[ColG(c)], lut[ColB(c)]);
        }
        return true;
    }
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    pixelrows::ByteTables tables;
    for (auto& t : tables.t) std::memcpy(t, lut, 256);
    tables.Fit();
    const bool inPlace = a.direct && !a.Restricted();
    const bool stream = inPlace && a.dstStride * size_t(a.h) >= pixelrows::kStreamBytes;
    SplitRows(a.h, WorthSplitting(int64_t(a.w) * a.h), [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r) {
            if (r0 == 0 && (r & 63) == 0) a.Progress(int(int64_t(r) * 100 / a.h));
            pixelrows::MapRow(a.SrcRow(r), a.DstRow(r), a.AlphaRow(r), inPlace ? a.OutAlphaRow(r) : nullptr, a.w,
                              tables, stream);
        }
    });
    if (!inPlace) a.Commit();
    a.Progress(0);
    return true;
}

}  // namespace layerops
