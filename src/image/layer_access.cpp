// Plumbing shared by the layer operations, and the colour conversions.
#include "layer_access.h"

#include <cmath>
#include <cstdlib>
#include <unordered_map>

namespace layerops {

LayerOpContext MakeContext(VaZavi& image, ImageSet& set, int layer, uint8_t* scratchPixels,
                           uint8_t* scratchAlpha) {
    LayerOpContext c;
    c.image = &image;
    c.layer = IsValidLayer(layer) ? &set.layers[layer] : nullptr;
    c.bitsPerPixel = set.canvas.bitsPerPixel > 0 ? set.canvas.bitsPerPixel : 24;
    c.outPixels = scratchPixels;
    c.outAlpha = scratchAlpha;
    c.selection = &set.selection;
    return c;
}

LayerAccess::LayerAccess(LayerOpContext& ctx) : ctx_(ctx) {
    const LayerRecord* L = ctx.layer;
    if (!ctx.image || !L || !L->pixels || !L->alpha || !ctx.outPixels || !ctx.outAlpha) return;
    if (L->width < 1 || L->height < 1) return;
    w = L->width;
    h = L->height;
    const bool text = L->IsTextKind();
    const int bpp = text ? 8 : ctx.bitsPerPixel;
    if (!text && bpp != 24 && bpp != 8) return;
    if (!text && int64_t(L->stride) < (int64_t(w) * bpp + 7) / 8) return;

    // Outside colour.
    RgbQuad bg = ctx.image->info.backgroundColor;
    const RgbQuad* pal = ctx.image->GetPalette();
    const int palSize = pal ? ctx.image->ColorsUsed() : 0;
    if (bpp == 8 && !text && ctx.image->info.transparentIndex >= 0 && ctx.image->info.transparentIndex < palSize)
        bg = pal[ctx.image->info.transparentIndex];
    outB = bg.blue;
    outG = bg.green;
    outR = bg.red;

    if (bpp == 24 && !text) {
        direct = true;
        src_ = L->pixels.get();
        dst_ = ctx.outPixels;
        srcStride = dstStride = size_t(L->stride);
        // Under a selection the operation works on a copy of the scratch,
        // and Commit takes over only the pixels the mask marks.
        if (Restricted()) {
            dstCopy_.assign(ctx.outPixels, ctx.outPixels + size_t(L->stride) * size_t(h));
            dst_ = dstCopy_.data();
        }
        ok_ = true;
        return;
    }
    // Palette or coverage layers: work on blue-green-red copies.
    const size_t st = size_t(w) * 3;
    srcCopy_.resize(st * size_t(h));
    dstCopy_.resize(st * size_t(h));
    const size_t inStride = text ? size_t(w) : size_t(L->stride);
    for (int r = 0; r < h; ++r) {
        const uint8_t* s = L->pixels.get() + size_t(r) * inStride;
        const uint8_t* o = ctx.outPixels + size_t(r) * inStride;
        uint8_t* ds = srcCopy_.data() + size_t(r) * st;
        uint8_t* dd = dstCopy_.data() + size_t(r) * st;
        for (int x = 0; x < w; ++x) {
            if (text) {
                std::memcpy(ds + 3 * x, L->textColor, 3);
                std::memcpy(dd + 3 * x, L->textColor, 3);
            } else {
                RgbQuad a = s[x] < palSize ? pal[s[x]] : RgbQuad{0, 0, 0, 0};
                RgbQuad b = o[x] < palSize ? pal[o[x]] : RgbQuad{0, 0, 0, 0};
                ds[3 * x] = a.blue, ds[3 * x + 1] = a.green, ds[3 * x + 2] = a.red;
                dd[3 * x] = b.blue, dd[3 * x + 1] = b.green, dd[3 * x + 2] = b.red;
            }
        }
    }
    src_ = srcCopy_.data();
    dst_ = dstCopy_.data();
    srcStride = dstStride = st;
    ok_ = true;
}

const uint8_t* LayerAccess::MaskRow(int r, int& shift) const {
    const SelectionMask* s = ctx_.selection;
    if (!s || s->size < 0 || s->mask.empty()) return nullptr;
    const LayerRecord* L = ctx_.layer;
    const int mr = r - L->y + s->y;
    if (mr < 0 || mr >= s->height) return nullptr;
    if (size_t(s->width) * size_t(s->height) > s->mask.size()) return nullptr;
    shift = L->x - s->x;
    return s->mask.data() + size_t(mr) * size_t(s->width);
}

// Nearest palette entry of a colour written into a palette layer: the sum
// of the channel distances, first entry on ties, 0 without a palette.
uint8_t NearestPaletteIndex(const VaZavi& image, uint32_t colour) {
    const RgbQuad* pal = image.GetPalette();
    if (!pal) return 0;
    int best = 9000, bestIndex = 0;
    for (int i = 0; i < image.ColorsUsed() && i < 256; ++i) {
        const int d = std::abs(pal[i].blue - int(ColB(colour))) + std::abs(pal[i].green - int(ColG(colour))) +
                      std::abs(pal[i].red - int(ColR(colour)));
        if (d == 0) return uint8_t(i);
        if (d < best) best = d, bestIndex = i;
    }
    return uint8_t(bestIndex);
}

bool LayerAccess::Restricted() const {
    const SelectionMask* s = ctx_.selection;
    return s && s->size >= 0 && !s->mask.empty();
}

void LayerAccess::KeepUnselected(int r, uint8_t* out, const uint8_t* before, int bpp) const {
    if (!Restricted()) return;
    const SelectionMask* s = ctx_.selection;
    int shift = 0;
    const uint8_t* m = MaskRow(r, shift);
    const size_t b = size_t(bpp);
    if (!m) {
        std::memcpy(out, before, size_t(w) * b);
        return;
    }
    // Columns x0..x1-1 lie under the mask; the rest of the row is outside it.
    const int x0 = std::clamp(-shift, 0, w), x1 = std::clamp(s->width - shift, x0, w);
    std::memcpy(out, before, size_t(x0) * b);
    std::memcpy(out + size_t(x1) * b, before + size_t(x1) * b, size_t(w - x1) * b);
    for (int x = x0; x < x1;) {
        if (m[x + shift] == 1) {
            ++x;
            continue;
        }
        int e = x + 1;
        while (e < x1 && m[e + shift] != 1) ++e;
        std::memcpy(out + size_t(x) * b, before + size_t(x) * b, size_t(e - x) * b);
        x = e;
    }
}

void LayerAccess::Commit(const uint8_t* written) {
    const LayerRecord* L = ctx_.layer;
    const bool text = L->IsTextKind();
    const SelectionMask* s = ctx_.selection;
    const bool everything = !s || s->size < 0 || s->mask.empty();
    std::unordered_map<uint32_t, uint8_t> nearest;
    for (int r = 0; r < h; ++r) {
        const uint8_t* wr = written ? written + size_t(r) * size_t(w) : AlphaRow(r);
        uint8_t* oa = OutAlphaRow(r);
        int shift = 0;
        const uint8_t* m = everything ? nullptr : MaskRow(r, shift);
        if (direct) {
            // Under a selection the operation wrote into a copy of the
            // scratch: its marked pixels go to the scratch.
            if (!everything) {
                uint8_t* out = ctx_.outPixels + size_t(r) * size_t(L->stride);
                const uint8_t* d = DstRow(r);
                const int x0 = m ? std::max(0, -shift) : 0, x1 = m ? std::min(w, s->width - shift) : 0;
                for (int x = x0; x < x1; ++x)
                    if (m[x + shift] == 1) std::memcpy(out + 3 * size_t(x), d + 3 * size_t(x), 3);
            }
        } else {
            uint8_t* out = ctx_.outPixels + size_t(r) * (text ? size_t(w) : size_t(L->stride));
            const uint8_t* d = DstRow(r);
            for (int x = 0; x < w; ++x) {
                if (!wr[x]) continue;
                if (!everything && (!m || x + shift < 0 || x + shift >= s->width || m[x + shift] != 1)) continue;
                if (text) {
                    out[x] = 255;
                } else {
                    uint32_t c = PackBGR(d[3 * x], d[3 * x + 1], d[3 * x + 2]);
                    auto it = nearest.find(c);
                    if (it == nearest.end()) it = nearest.emplace(c, NearestPaletteIndex(*ctx_.image, c)).first;
                    out[x] = it->second;
                }
            }
        }
        if (everything) {
            if (!std::memchr(wr, 0, size_t(w))) std::memset(oa, 255, size_t(w));
            else
                for (int x = 0; x < w; ++x)
                    if (wr[x]) oa[x] = 255;
        } else if (m) {
            const int x0 = std::max(0, -shift), x1 = std::min(w, s->width - shift);
            for (int x = x0; x < x1; ++x)
                if (wr[x] && m[x + shift] == 1) oa[x] = 255;
        }
    }
}

std::vector<uint8_t> LumPlane100(const LayerAccess& a) {
    std::vector<uint8_t> lum(size_t(a.w) * size_t(a.h));
    for (int r = 0; r < a.h; ++r) {
        const uint8_t* s = a.SrcRow(r);
        uint8_t* l = lum.data() + size_t(r) * size_t(a.w);
        for (int x = 0; x < a.w; ++x)
            l[x] = uint8_t((59 * s[3 * x + 1] + 30 * s[3 * x + 2] + 11 * s[3 * x]) / 100);
    }
    return lum;
}

// --- colour conversions -----------------------------------------------------------

Yuv RgbToYuv(int r, int g, int b) {
    const int y = int(0.299f * r + 0.587f * g + 0.114f * b);
    const int u = Clamp255(int((b - y) * 0.565f + 128));
    const int v = Clamp255(int((r - y) * 0.713f + 128));
    return Yuv{uint8_t(y), uint8_t(u), uint8_t(v)};
}

void YuvToRgb(int y, int u, int v, uint8_t& r, uint8_t& g, uint8_t& b) {
    const int uu = u - 128, vv = v - 128;
    b = Clamp255(int(y + 1.77f * uu));
    g = Clamp255(int(y - 0.344f * uu - 0.714f * vv));
    r = Clamp255(int(y + 1.403f * vv));
}

Hsl RgbToHsl(int r, int g, int b) {
    const int mx = std::max({r, g, b}), mn = std::min({r, g, b});
    const int l = ((mx + mn) * 255 + 255) / 510;
    if (mx == mn) return Hsl{255, 0, uint8_t(l)};
    const int d = mx - mn;
    const int den = l <= 127 ? mx + mn : 510 - mx - mn;
    const int s = (d * 255 + den / 2) / den;
    const int rd = ((mx - r) * 42 + d / 2) / d;
    const int gd = ((mx - g) * 42 + d / 2) / d;
    const int bd = ((mx - b) * 42 + d / 2) / d;
    int hue;
    if (r == mx)
        hue = bd - gd;
    else if (g == mx)
        hue = 85 + rd - bd;
    else
        hue = 170 + gd - rd;
    return Hsl{uint8_t(hue & 255), uint8_t(s), uint8_t(l)};
}

}  // namespace layerops
