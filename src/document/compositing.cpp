// Compositing the layer stack, rendering through the compositor (flatten,
// merge, save) and the shadow effect.
//
// The compositor works on a rectangle of the zoomed canvas: destination pixel
// (zx, zy) of the zoomed picture (origin top-left) shows canvas column
// trunc(zx / zoom) and canvas row trunc(zy / zoom) counted from the top, i.e.
// canvas stored row H - 1 - that; layer stored row r lies on canvas stored row
// r - y (layer_set.cpp). The destination rows are written top row first at a
// signed stride, so a negative stride gives the bottom-up order of the layers.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "CQuantizer.h"
#include "CVexoDoc.h"
#include "command_frame.h"

namespace {

// Fade of the blend modes: s' = trunc(s * k + d * (1 - k)), k = (255 - t) *
// (1/255 as a float), in extended precision. One 64 KiB table per
// transparency value, built on first use.
const uint8_t* FadeTable(int t) {
    static std::array<std::unique_ptr<uint8_t[]>, 256> tables;
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    auto& tab = tables[size_t(t)];
    if (!tab) {
        tab.reset(new uint8_t[65536]);
        const float c = 1.0f / 255.0f;
        const long double k = (long double)(255 - t) * (long double)c;
        for (int s = 0; s < 256; ++s)
            for (int d = 0; d < 256; ++d) {
                long double v = (long double)s * k + (long double)d * (1.0L - k);
                tab[size_t(s) * 256 + size_t(d)] = uint8_t(int(std::trunc(v)));
            }
    }
    return tab.get();
}

inline uint8_t BlendChannel(int mode, int s, int d) {
    switch (mode) {
    case 2: return uint8_t((s * d) >> 8);
    case 3: return uint8_t(255 - (((255 - d) * (255 - s)) >> 8));
    case 4: return uint8_t(std::min(s, d));
    case 5: return uint8_t(std::max(s, d));
    case 6: return uint8_t(std::abs(d - s));
    case 7: return uint8_t(255 - std::abs(255 - d - s));
    case 8: return uint8_t(s + d - ((s * d) >> 7));
    case 9: return s < 128 ? uint8_t((d * s) >> 7) : uint8_t(255 - (((255 - s) * (255 - d)) >> 7));
    default: return uint8_t(s);   // 1 and unknown: normal rule at full alpha
    }
}

// Destination alpha rule.
inline uint8_t DestAlpha(uint8_t D, int a) {
    if (D == 0) return uint8_t(a);
    int v = (a + 1) * D;
    return uint8_t(v > 255 ? 255 : v);
}

// Blend table of one mode: out[s][d] for the whole byte range.
const uint8_t* ModeTable(int mode) {
    static std::array<std::unique_ptr<uint8_t[]>, 10> tables;
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    auto& tab = tables[size_t(mode)];
    if (!tab) {
        tab.reset(new uint8_t[65536]);
        for (int s = 0; s < 256; ++s)
            for (int d = 0; d < 256; ++d) tab[size_t(s) * 256 + size_t(d)] = BlendChannel(mode, s, d);
    }
    return tab.get();
}

// Fade and blend rule in one table: out[s][d] = rule(fade(s, d), d), per
// transparency value and mode (1 stands for 1 and the unknown modes).
const uint8_t* FadeBlendTable(int t, int mode) {
    const int m = mode >= 2 && mode <= 9 ? mode : 1;
    static std::array<std::unique_ptr<uint8_t[]>, 256 * 10> tables;
    static std::mutex lock;
    const uint8_t* fade = FadeTable(t);
    const uint8_t* blend = m >= 2 ? ModeTable(m) : nullptr;
    std::lock_guard<std::mutex> guard(lock);
    auto& tab = tables[size_t(t) * 10 + size_t(m)];
    if (!tab) {
        tab.reset(new uint8_t[65536]);
        for (size_t sd = 0; sd < 65536; ++sd) {
            const uint8_t f = fade[sd];
            tab[sd] = blend ? blend[size_t(f) * 256 + (sd & 255)] : f;
        }
    }
    return tab.get();
}

}  // namespace

namespace {

// Row kernels. s: source colours, 3 bytes per pixel (or one colour repeated
// when sstep is 0); a: alpha values; d: destination BGRA; n pixels.

// Normal rule. MulTable is symmetric (v * a = a * v), so mul[a] is the row of
// multiples by a. a' <= 0 leaves the destination unchanged and a' = 255
// copies the colour, so runs of eight transparent or (with no transparency)
// opaque pixels are done word-wise.

inline void NormalPixel(uint8_t* d, const uint8_t* s, int A, int t, const MulRow* mul) {
    if (A <= t) return;
    const int al = A - t;
    const uint8_t* ms = mul[al];
    const uint8_t* md = mul[255 - al];
    d[0] = uint8_t(md[d[0]] + ms[s[0]]);
    d[1] = uint8_t(md[d[1]] + ms[s[1]]);
    d[2] = uint8_t(md[d[2]] + ms[s[2]]);
    const int D = d[3];
    d[3] = D == 0 ? uint8_t(al) : uint8_t(std::min(255, (al + 1) * D));
}

void NormalRow(uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t, const MulRow* mul) {
    int j = 0;
    if (sstep == 3) {
        for (; j + 8 <= n; j += 8, d += 32, s += 24) {
            uint64_t w;
            std::memcpy(&w, a + j, 8);
            if (w == 0) continue;
            if (w == ~uint64_t(0) && t == 0) {
                for (int k = 0; k < 7; ++k) {
                    uint32_t v;
                    std::memcpy(&v, s + k * 3, 4);
                    v |= 0xFF000000u;
                    std::memcpy(d + k * 4, &v, 4);
                }
                d[28] = s[21];
                d[29] = s[22];
                d[30] = s[23];
                d[31] = 255;
                continue;
            }
            for (int k = 0; k < 8; ++k) NormalPixel(d + k * 4, s + k * 3, a[j + k], t, mul);
        }
    }
    for (; j < n; ++j, d += 4, s += sstep) NormalPixel(d, s, a[j], t, mul);
}

// The layer the view designates: its colour replaces the destination.
void DesignatedRow(uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t, int mode,
                   const uint8_t* fade, const MulRow* mul) {
    for (int j = 0; j < n; ++j, d += 4, s += sstep) {
        const int A = a[j];
        if (A == 0) continue;
        if (mode == 0) {
            const int al = A > t ? A - t : 0;
            d[0] = mul[s[0]][al];
            d[1] = mul[s[1]][al];
            d[2] = mul[s[2]][al];
            d[3] = DestAlpha(d[3], al);
        } else {
            d[0] = mul[fade[size_t(s[0]) * 256 + d[0]]][255];
            d[1] = mul[fade[size_t(s[1]) * 256 + d[1]]][255];
            d[2] = mul[fade[size_t(s[2]) * 256 + d[2]]][255];
            d[3] = DestAlpha(d[3], 255);
        }
    }
}

// Blend rules: the fade towards the destination, then the rule (or, for
// mode 1 and unknown modes, the faded colour at full alpha).
void BlendModeRow(uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, const uint8_t* rule) {
    for (int j = 0; j < n; ++j, d += 4, s += sstep) {
        if (a[j] == 0) continue;
        d[0] = rule[size_t(s[0]) * 256 + d[0]];
        d[1] = rule[size_t(s[1]) * 256 + d[1]];
        d[2] = rule[size_t(s[2]) * 256 + d[2]];
        d[3] = 255;   // D = 0 becomes 255; otherwise (255 + 1) * D saturates
    }
}

struct LayerPlan {
    const LayerRecord* L;
    int index;
    int a0, a1;                 // destination columns covered
    bool linear;                // source columns follow one by one
    bool text, palette8;
    const uint8_t* fade;
    const uint8_t* blend;
    const uint8_t* rule;        // fade and blend in one table
};

// Destination rows are done in bands, every layer in turn, so the band stays
// in cache while the layers stream through once.
constexpr int kBandRows = 8;

}  // namespace

void CVexoDoc::CompositeRect(int start, int count, double zoomFactor, int left, int top, int width, int height,
                             uint8_t* dst, ptrdiff_t dstStride, int designated) const {
    if (width <= 0 || height <= 0 || !dst || !(zoomFactor > 0)) return;
    for (int i = 0; i < height; ++i) std::memset(dst + dstStride * i, 0, size_t(width) * 4);
    const int W = live.canvas.width, H = live.canvas.height;
    if (W <= 0 || H <= 0) return;

    // Canvas column and stored row of every destination column and row,
    // computed once per paint (-1 outside the canvas).
    std::vector<int> col(static_cast<size_t>(width)), row(static_cast<size_t>(height));
    for (int j = 0; j < width; ++j) {
        const int64_t c = int64_t((left + j) / zoomFactor);
        col[size_t(j)] = (left + j >= 0 && c < W) ? int(c) : -1;
    }
    for (int i = 0; i < height; ++i) {
        const int64_t t = int64_t((top + i) / zoomFactor);
        row[size_t(i)] = (top + i >= 0 && t < H) ? int(H - 1 - t) : -1;
    }
    // Destination columns inside the canvas form one run.
    int j0 = 0, j1 = width;
    while (j0 < width && col[size_t(j0)] < 0) ++j0;
    while (j1 > j0 && col[size_t(j1 - 1)] < 0) --j1;
    if (j0 >= j1) return;

    const MulRow* mul = MulTable();
    const bool palette = live.canvas.paletteColors > 0 && !live.palette.empty();

    // The layers of the run and what each needs, worked out once.
    std::vector<LayerPlan> plans;
    // Source byte offsets (column x 3, or column for 8-bit) per destination
    // column, one table per layer.
    std::vector<std::vector<int32_t>> offsets;
    if (IsValidLayer(start)) {
        bool seen[kMaxLayers] = {};
        int visited = 0;
        for (int i = start; IsValidLayer(i) && !seen[i] && (count < 0 || visited < count); i = live.layers[i].next) {
            seen[i] = true;
            ++visited;
            const LayerRecord& L = live.layers[i];
            if (L.visible != 1 || !L.pixels || !L.alpha || L.width <= 0 || L.height <= 0) continue;
            LayerPlan p{&L, i, j1, j0, false, L.IsTextKind(), false, nullptr, nullptr, nullptr};
            const int bpp = p.text ? 0 : live.canvas.bitsPerPixel;
            if (!p.text && bpp != 24 && bpp != 8) continue;
            if (!p.text && int64_t(L.stride) < LayerStride(L.width, bpp)) continue;
            p.palette8 = bpp == 8;
            std::vector<int32_t> off(static_cast<size_t>(width));
            for (int j = j0; j < j1; ++j) {
                const int64_t lc = int64_t(col[size_t(j)]) - L.x;   // offsets may be anything in a file
                if (lc < 0 || lc >= L.width) continue;
                if (p.a0 == j1) p.a0 = j;
                p.a1 = j + 1;
                off[size_t(j)] = int32_t(lc);
            }
            if (p.a0 >= p.a1) continue;
            p.linear = zoomFactor == 1.0;
            if (L.blendMode != 0 || i == designated) p.fade = FadeTable(L.transparency);
            if (L.blendMode >= 2 && L.blendMode <= 9) p.blend = ModeTable(L.blendMode);
            if (L.blendMode != 0) p.rule = FadeBlendTable(L.transparency, L.blendMode);
            plans.push_back(p);
            offsets.push_back(std::move(off));
        }
    }
    if (plans.empty()) return;

    std::vector<uint8_t> colours(size_t(width) * 3), alphas(static_cast<size_t>(width));
    for (int b0 = 0; b0 < height; b0 += kBandRows) {
        const int b1 = std::min(height, b0 + kBandRows);
        for (size_t k = 0; k < plans.size(); ++k) {
            const LayerPlan& p = plans[k];
            const LayerRecord& L = *p.L;
            const int32_t* off = offsets[k].data();
            const int n = p.a1 - p.a0;
            for (int i = b0; i < b1; ++i) {
                const int R = row[size_t(i)];
                if (R < 0) continue;
                const int64_t r64 = int64_t(R) + L.y;
                if (r64 < 0 || r64 >= L.height) continue;
                const int r = int(r64);
                const uint8_t* arow = L.AlphaRow(r);
                const uint8_t* prow = L.PixelRow(r);
                uint8_t* d = dst + dstStride * i + size_t(p.a0) * 4;
                const uint8_t* s;
                size_t sstep = 3;
                const uint8_t* a;
                if (p.linear) {
                    a = arow + off[p.a0];
                } else {
                    for (int j = 0; j < n; ++j) alphas[size_t(j)] = arow[off[p.a0 + j]];
                    a = alphas.data();
                }
                if (p.text) {
                    s = L.textColor;   // blue, green, red for every pixel
                    sstep = 0;
                } else if (p.palette8) {
                    for (int j = 0; j < n; ++j) {
                        const uint8_t idx = prow[off[p.a0 + j]];
                        RgbQuad q = palette ? (idx < live.palette.size() ? live.palette[idx] : RgbQuad{0, 0, 0, 0})
                                            : RgbQuad{idx, idx, idx, 0};
                        uint8_t* o = &colours[size_t(j) * 3];
                        o[0] = q.blue;
                        o[1] = q.green;
                        o[2] = q.red;
                    }
                    s = colours.data();
                } else if (p.linear) {
                    s = prow + size_t(off[p.a0]) * 3;
                } else {
                    for (int j = 0; j < n; ++j) std::memcpy(&colours[size_t(j) * 3], prow + size_t(off[p.a0 + j]) * 3, 3);
                    s = colours.data();
                }
                if (p.index == designated && !p.blend)
                    DesignatedRow(d, s, sstep, a, n, L.transparency, L.blendMode, p.fade, mul);
                else if (L.blendMode == 0)
                    NormalRow(d, s, sstep, a, n, L.transparency, mul);
                else
                    BlendModeRow(d, s, sstep, a, n, p.rule);
            }
        }
    }
}

void CVexoDoc::CompositeRun(int start, int count, uint8_t* bgra) const {
    const int W = live.canvas.width, H = live.canvas.height;
    if (W <= 0 || H <= 0) return;
    // Bottom-up like the layers: canvas stored row R at bgra + R * W * 4.
    const ptrdiff_t stride = ptrdiff_t(W) * 4;
    CompositeRect(start, count, 1.0, 0, 0, W, H, bgra + stride * (H - 1), -stride);
}

// --- rendering through the compositor ----------------------------------------------

namespace {
// A document without a selection behaves as if everything were selected.
void DropSelection(CVexoDoc& doc) {
    doc.selectionActive = false;
    doc.selectionInverted = false;
    doc.outlineChanged = true;
    doc.Host().StopSelectionTimer(doc);
    if (const LayerRecord* L = doc.CurrentLayerPtr()) {
        SelectionMask& sel = doc.live.selection;
        sel.mask.assign(size_t(L->planeSize), 1);
        sel.width = L->width;
        sel.height = L->height;
        sel.size = L->planeSize;
        sel.x = L->x;
        sel.y = L->y;
    }
}
}  // namespace

void CVexoDoc::ClearSelectionAfterRender() { DropSelection(*this); }

void CVexoDoc::RefreshEffects(int start, int count) {
    if (selectionActive) return;
    std::vector<int> order;
    bool seen[kMaxLayers] = {};
    for (int i = start; IsValidLayer(i) && !seen[i] && (count < 0 || int(order.size()) < count);
         i = live.layers[i].next) {
        seen[i] = true;
        order.push_back(i);
    }
    for (int i : order)
        if (live.layers[i].visible == 1 && live.layers[i].effectKind != 0 && !live.layers[i].IsTextKind())
            RenderShadow(i);
}

bool CVexoDoc::RenderThroughView(int mode) {
    if (mode != 2) {
        compositeStart = headLayer;
        compositeCount = -1;
    }
    const int start = compositeStart, count = compositeCount;
    if (!IsValidLayer(start) || !InStack(start)) return false;
    const CanvasInfo& cv = live.canvas;
    const size_t plane = size_t(cv.width) * size_t(cv.height);
    if (cv.width <= 0 || cv.height <= 0) return false;
    RefreshEffects(start, count);
    host_->BeginWaitCursor();
    if (composite.size() != plane * 4) composite.assign(plane * 4, 0);
    CompositeRun(start, count, composite.data());
    host_->EndWaitCursor();
    compositeStart = kNoLayer;
    compositeCount = -1;
    if (mode == 3) return true;

    // Flatten and merge: the result goes into the start layer, now covering
    // the canvas at (0, 0). Its fade is part of the result.
    LayerRecord& L = live.layers[start];
    const int kind = L.IsTextKind() ? int(LayerRaster) : int(L.kind);
    const int bpp = cv.bitsPerPixel == 8 ? 8 : 24;
    if (!SetupLayerBuffers(cv.height, cv.width, u"", cv.colorFormat, bpp, cv.paletteColors, 0, start, 0, 0, 2,
                           cv.width, cv.height, 0, L.tag, kind, L.link, false))
        return false;
    L.transparency = 0;
    if (mode == 1) L.blendMode = 0;
    const uint8_t* c = composite.data();
    for (int r = 0; r < cv.height; ++r) {
        uint8_t* p = L.PixelRow(r);
        uint8_t* a = L.AlphaRow(r);
        for (int x = 0; x < cv.width; ++x, c += 4) {
            if (bpp == 24) {
                p[x * 3] = c[0];
                p[x * 3 + 1] = c[1];
                p[x * 3 + 2] = c[2];
            } else {
                p[x] = uint8_t(NearestPaletteIndex(PackBGR(c[0], c[1], c[2])));
            }
            a[x] = c[3];
        }
    }
    viewRebuild = true;
    if (mode == 1) {
        L.next = -1;
        SelectLayer(start);
        RecordUndoStep(u"떡이미지", 8, start);
        DropSelection(*this);
        host_->UpdateViews(*this, true);
    }
    return true;
}

int CVexoDoc::NearestPaletteIndex(uint32_t colour) const {
    return NearestColourIndex(live.palette.data(), int(live.palette.size()), ColB(colour), ColG(colour), ColR(colour));
}

// --- the shadow effect ---------------------------------------------------------------
//
// A soft drop shadow in the transparent area of a layer. The solid part of the
// layer (alpha above 180) is the object that casts it. For every pixel whose
// alpha is at most 180, the shadow value is the share of solid pixels in a
// square window of side 2 * spread + 1 centred on the point shifted back from
// the pixel against the shadow direction by the distance, so the shadow
// falls `distance` pixels away from the object in that direction and fades
// out over `spread` pixels at its edge (a box-filtered silhouette, computed
// with a summed-area table so the cost does not depend on the window). The
// value is that share times the shadow strength (at most 180, so a shadow
// pixel never counts as solid and rendering again gives the same result).
// Where the value exceeds the pixel's own alpha the pixel becomes a black
// shadow pixel with that alpha; the effect plane keeps the value applied, so
// clearing the effect (effectKind 0) makes exactly those pixels transparent
// again.
//
// Parameters from the layer record: effectParam = direction in steps of 45
// degrees (0 right-down, 1 down, 2 left-down, 3 left, 4 left-up, 5 up,
// 6 right-up, 7 right); effectParams[0] = distance (0 means 6);
// effectParams[1] = spread (0 means 4); effectParams[2] = strength (0 means
// 150; capped at 180).
void CVexoDoc::RenderShadow(int index) {
    if (!IsValidLayer(index)) return;
    LayerRecord& L = live.layers[index];
    if (!L.inUse || L.IsTextKind() || !L.effectPlane || !L.alpha || !L.pixels) return;
    const bool bpp24 = live.canvas.bitsPerPixel == 24;
    if (!BeginLayerOp(index)) return;
    uint8_t* pix = scratchPixels.get();
    uint8_t* alp = scratchAlpha.get();
    uint8_t* eff = L.effectPlane.get();
    const int w = L.width, h = L.height;
    // Take away the shadow of the last rendering.
    for (size_t i = 0; i < size_t(L.planeSize); ++i)
        if (eff[i]) {
            alp[i] = 0;
            eff[i] = 0;
            const int x = int(i % size_t(w)), r = int(i / size_t(w));
            uint8_t* p = pix + size_t(r) * size_t(L.stride);
            if (bpp24)
                std::memset(p + size_t(x) * 3, 255, 3);
            else
                p[x] = uint8_t(NearestPaletteIndex(PackBGR(255, 255, 255)));
        }
    if (L.effectKind == 3) {
        static const int dirX[8] = {1, 0, -1, -1, -1, 0, 1, 1};
        static const int dirY[8] = {1, 1, 1, 0, -1, -1, -1, 0};   // +1 = downwards on screen
        const int dir = L.effectParam & 7;
        const int dist = L.effectParams[0] ? L.effectParams[0] : 6;
        const int spread = L.effectParams[1] ? L.effectParams[1] : 4;
        const int strength = std::min(180, L.effectParams[2] ? int(L.effectParams[2]) : 150);
        // Offsets in layer coordinates; stored rows run upwards.
        const int ox = dirX[dir] * dist, oy = -dirY[dir] * dist;
        // Summed-area table of the solid pixels.
        std::vector<uint32_t> sat(size_t(w + 1) * size_t(h + 1), 0);
        for (int r = 0; r < h; ++r) {
            uint32_t acc = 0;
            const uint8_t* a = alp + size_t(r) * size_t(w);
            uint32_t* out = &sat[size_t(r + 1) * size_t(w + 1) + 1];
            const uint32_t* above = &sat[size_t(r) * size_t(w + 1) + 1];
            for (int x = 0; x < w; ++x) {
                acc += a[x] > 180 ? 1 : 0;
                out[x] = above[x] + acc;
            }
        }
        const int side = 2 * spread + 1;
        const uint32_t area = uint32_t(side) * uint32_t(side);
        std::vector<uint8_t> value(size_t(L.planeSize), 0);
        for (int r = 0; r < h; ++r) {
            const int cy = r - oy;
            const int y0 = std::clamp(cy - spread, 0, h), y1 = std::clamp(cy + spread + 1, 0, h);
            for (int x = 0; x < w; ++x) {
                const size_t i = size_t(r) * size_t(w) + size_t(x);
                if (alp[i] > 180 || y0 >= y1) continue;
                const int cx = x - ox;
                const int x0 = std::clamp(cx - spread, 0, w), x1 = std::clamp(cx + spread + 1, 0, w);
                if (x0 >= x1) continue;
                const uint32_t n = sat[size_t(y1) * size_t(w + 1) + size_t(x1)] -
                                   sat[size_t(y0) * size_t(w + 1) + size_t(x1)] -
                                   sat[size_t(y1) * size_t(w + 1) + size_t(x0)] +
                                   sat[size_t(y0) * size_t(w + 1) + size_t(x0)];
                value[i] = uint8_t(n * uint32_t(strength) / area);
            }
            if (h > 1) host_->Progress(std::max(1, r * 100 / h));
        }
        const uint8_t black = bpp24 ? 0 : uint8_t(NearestPaletteIndex(0));
        for (int r = 0; r < h; ++r)
            for (int x = 0; x < w; ++x) {
                const size_t i = size_t(r) * size_t(w) + size_t(x);
                if (value[i] <= alp[i]) continue;
                alp[i] = value[i];
                eff[i] = value[i];
                uint8_t* p = pix + size_t(r) * size_t(L.stride);
                if (bpp24)
                    std::memset(p + size_t(x) * 3, 0, 3);
                else
                    p[x] = black;
            }
        host_->Progress(0);
    }
    EndLayerOp(index, false);
}
