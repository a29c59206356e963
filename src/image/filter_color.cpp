// Colour operations: channel splits, negative, conversion to true colour,
// histogram, the three thresholds, brightness and contrast.
#include <cmath>

#include "layer_access.h"

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

template <class F>
bool SplitThree(VaZavi& image, const ImageSet& set, int layer, VaZavi* t[3], F convert) {
    if (!image.IsValid() || (!t[0] && !t[1] && !t[2])) return false;
    std::vector<uint8_t> bgr;
    if (!LayerColours(image, set, layer, bgr)) return false;
    const LayerRecord& L = set.layers[layer];
    const int W = image.Width(), H = image.Height();
    VaZavi out[3] = {VaZavi(kTypeBMP), VaZavi(kTypeBMP), VaZavi(kTypeBMP)};
    for (auto& o : out) {
        if (!o.Create(8, W, H, kTypeBMP)) return false;
        o.SetGrayPalette();
    }
    for (int r = 0; r < std::min(H, L.height); ++r)
        for (int c = 0; c < std::min(W, L.width); ++c) {
            const uint8_t* p = &bgr[(size_t(r) * size_t(L.width) + size_t(c)) * 3];
            uint8_t v[3];
            convert(p[2], p[1], p[0], v);
            for (int k = 0; k < 3; ++k) out[k].Row(r)[c] = v[k];
        }
    for (int k = 0; k < 3; ++k)
        if (t[k]) t[k]->Transfer(out[k]);
    return true;
}
}  // namespace

bool SplitRGB(VaZavi& image, const ImageSet& set, int layer, uint8_t* red, uint8_t* green, uint8_t* blue) {
    if (!red && !green && !blue) return false;
    std::vector<uint8_t> bgr;
    if (!LayerColours(image, set, layer, bgr)) return false;
    const LayerRecord& L = set.layers[layer];
    for (int r = 0; r < L.height; ++r)
        for (int c = 0; c < L.width; ++c) {
            size_t at;
            if (!CanvasPos(set.canvas, L, c, r, at)) continue;
            const uint8_t* p = &bgr[(size_t(r) * size_t(L.width) + size_t(c)) * 3];
            if (red) red[at] = p[2];
            if (green) green[at] = p[1];
            if (blue) blue[at] = p[0];
        }
    return true;
}

bool SplitYUV(VaZavi& image, const ImageSet& set, int layer, VaZavi* t0, VaZavi* t1, VaZavi* t2) {
    VaZavi* t[3] = {t0, t1, t2};
    return SplitThree(image, set, layer, t, [](int r, int g, int b, uint8_t v[3]) {
        const Yuv y = RgbToYuv(r, g, b);
        v[0] = y.y, v[1] = y.u, v[2] = y.v;
    });
}

bool SplitHSL(VaZavi& image, const ImageSet& set, int layer, VaZavi* t0, VaZavi* t1, VaZavi* t2) {
    VaZavi* t[3] = {t0, t1, t2};
    return SplitThree(image, set, layer, t, [](int r, int g, int b, uint8_t v[3]) {
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
        // One thread already moves these bytes at memory speed.
        for (size_t i = 0; i < n; ++i) d[i] = uint8_t(~s[i]);
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
    for (int r = 0; r < a.h; ++r) {
        const uint8_t* s = a.SrcRow(r);
        uint8_t* d = a.DstRow(r);
        for (int x = 0; x < a.w; ++x) d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = uint8_t(Grey(s + 3 * x));
    }
    // Transparent pixels get the grey colour but stay transparent: making
    // them opaque would cover every layer below with the layer's hidden
    // (usually white) pixels.
    a.Commit();
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

bool Histogram(LayerOpContext& ctx, uint32_t table[1024]) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    std::fill(table, table + 1024, 0u);
    for (int r = 0; r < a.h; ++r) {
        const uint8_t* s = a.SrcRow(r);
        for (int x = 0; x < a.w; ++x) {
            const int b = s[3 * x], g = s[3 * x + 1], rr = s[3 * x + 2];
            ++table[(11 * b + 59 * g + 30 * rr) / 100];
            ++table[256 + rr];
            ++table[512 + g];
            ++table[768 + b];
        }
    }
    return true;
}

namespace {

// The thresholds carry each processed pixel's alpha into the scratch plane
// where the selection marks the pixel.
void CarryAlpha(LayerAccess& a) {
    const SelectionMask* s = a.ctx().selection;
    const bool everything = !s || s->size < 0 || s->mask.empty();
    for (int r = 0; r < a.h; ++r) {
        const uint8_t* al = a.AlphaRow(r);
        uint8_t* oa = a.OutAlphaRow(r);
        int shift = 0;
        const uint8_t* m = everything ? nullptr : a.MaskRow(r, shift);
        if (!everything && !m) continue;
        for (int x = 0; x < a.w; ++x)
            if (al[x] && (everything || (x + shift >= 0 && x + shift < s->width && m[x + shift] == 1))) oa[x] = al[x];
    }
}

void SetGreyPixel(uint8_t* d, bool white) { d[0] = d[1] = d[2] = white ? 255 : 0; }
}  // namespace

// Floyd-Steinberg: the diffused grey values live in a working plane that
// stands for the layer's own pixels (which the rule updates as it goes).
bool ThresholdFloyd(LayerOpContext& ctx, int level) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w;
    std::vector<int16_t> cur(static_cast<size_t>(w)), next(cur);
    auto load = [&](int r, std::vector<int16_t>& row) {
        const uint8_t* s = a.SrcRow(r);
        for (int x = 0; x < w; ++x) row[size_t(x)] = int16_t(Grey(s + 3 * x));
    };
    load(0, cur);
    for (int r = 0; r < a.h; ++r) {
        if (r + 1 < a.h) load(r + 1, next);
        const uint8_t* al = a.AlphaRow(r);
        uint8_t* d = a.DstRow(r);
        for (int x = 0; x < w; ++x) {
            if (!al[x]) continue;
            const int g = cur[size_t(x)];
            const bool white = g > level;
            const int e = white ? g - 255 : g;
            SetGreyPixel(d + 3 * x, white);
            if (x + 1 < w) cur[size_t(x + 1)] = int16_t(Clamp255(cur[size_t(x + 1)] + e * 7 / 16));
            if (r + 1 < a.h) {
                if (x > 0) next[size_t(x - 1)] = int16_t(Clamp255(next[size_t(x - 1)] + e * 3 / 16));
                next[size_t(x)] = int16_t(Clamp255(next[size_t(x)] + e * 5 / 16));
                if (x + 1 < w) next[size_t(x + 1)] = int16_t(Clamp255(next[size_t(x + 1)] + e * 1 / 16));
            }
        }
        std::swap(cur, next);
        a.Progress(int(int64_t(r) * 100 / a.h));
    }
    a.Commit();
    CarryAlpha(a);
    a.Progress(0);
    return true;
}

bool ThresholdOrdered(LayerOpContext& ctx, int level) {
    static const int kMatrix[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int den = 2 * level + 100;
    if (den == 0) return false;
    for (int r = 0; r < a.h; ++r) {
        const uint8_t* s = a.SrcRow(r);
        const uint8_t* al = a.AlphaRow(r);
        uint8_t* d = a.DstRow(r);
        for (int x = 0; x < a.w; ++x) {
            if (!al[x]) continue;
            const int dd = (Grey(s + 3 * x) * 16) / den;
            const int base = dd / 16, frac = dd % 16;
            const int pick = kMatrix[r & 3][x & 3] < frac ? base + 1 : base;
            SetGreyPixel(d + 3 * x, pick == 0);
        }
    }
    a.Commit();
    CarryAlpha(a);
    return true;
}

bool ThresholdSimple(LayerOpContext& ctx, int level) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    for (int r = 0; r < a.h; ++r) {
        const uint8_t* s = a.SrcRow(r);
        const uint8_t* al = a.AlphaRow(r);
        uint8_t* d = a.DstRow(r);
        for (int x = 0; x < a.w; ++x)
            if (al[x]) SetGreyPixel(d + 3 * x, Grey(s + 3 * x) <= level);
    }
    a.Commit();
    CarryAlpha(a);
    return true;
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
    SplitRows(a.h, WorthSplitting(int64_t(a.w) * a.h), [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r) {
            if (r0 == 0 && (r & 63) == 0) a.Progress(int(int64_t(r) * 100 / a.h));
            const uint8_t* s = a.SrcRow(r);
            const uint8_t* al = a.AlphaRow(r);
            uint8_t* d = a.DstRow(r);
            for (int x = 0; x < a.w; ++x) {
                if (!al[x]) continue;
                d[3 * x] = lut[s[3 * x]], d[3 * x + 1] = lut[s[3 * x + 1]], d[3 * x + 2] = lut[s[3 * x + 2]];
            }
        }
    });
    a.Commit();
    a.Progress(0);
    return true;
}

}  // namespace layerops
