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
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "CQuantizer.h"
#include "CVexoDoc.h"
#include "command_frame.h"
#include "compositing_simd.h"

namespace {

// Row kernels. s: source colours, 3 bytes per pixel (or one colour repeated
// when sstep is 0); a: alpha values; d: destination BGRA; n pixels. The
// normal rule and the blend rules are compositing::NormalRow and
// compositing::BlendRow.

// Destination alpha rule.
inline uint8_t DestAlpha(uint8_t D, int a) {
    if (D == 0) return uint8_t(a);
    const int v = (a + 1) * D;
    return uint8_t(v > 255 ? 255 : v);
}

// The layer the view designates: its colour replaces the destination.
void DesignatedRow(uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t, int mode,
                   const MulRow* mul) {
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
            // The faded colour at full alpha (MulTable[v][255] = v).
            for (int c = 0; c < 3; ++c) d[c] = uint8_t(compositing::Fade(s[c], d[c], uint32_t(t)));
            d[3] = DestAlpha(d[3], 255);
        }
    }
}

struct LayerPlan {
    const LayerRecord* L;
    CVexoDoc::LayerRows rows;   // where its rows are read
    int a0, a1;                 // destination columns covered
    bool text, palette8, designated;
    const int32_t* off;         // source column per work column
    int step;                   // below zoom 1: the whole-number step between source columns, or 0
};

// What the band workers share for one paint.
struct Paint {
    const LayerPlan* plans;
    size_t planCount;
    const int* row;             // stored canvas row per destination row, -1 outside
    uint8_t* dst;
    ptrdiff_t stride;
    int width;                  // destination columns
    int workWidth;              // columns composited per row
    // Above zoom 1 the work columns are the canvas columns of the rectangle,
    // each composited once; destination column j in [expandFrom, expandTo)
    // shows work column expand[j], the others are transparent. Null at and
    // below zoom 1, where the work columns are the destination columns.
    const int* expand;
    int expandFrom, expandTo;
    bool linear;                // zoom 1 and above: source columns follow one by one
    bool palette;
    const RgbQuad* paletteColours;
    size_t paletteSize;
    const MulRow* mul;
    bool onto;                  // the layers go over what the destination holds
};

// Destination rows are done in bands, every layer in turn, so the band stays
// in cache while the layers stream through once.
constexpr int kBandRows = 8;

// Gathered colours and alpha values of one row, one set per thread, kept
// between paints.
struct RowScratch {
    std::vector<uint8_t> colours, alphas, band;
};

void PaintRows(const Paint& P, int from, int to) {
    thread_local RowScratch scratch;
    const size_t workW = size_t(P.workWidth);
    if (scratch.alphas.size() < workW) {
        scratch.colours.resize(workW * 3);
        scratch.alphas.resize(workW);
    }
    if (P.expand && scratch.band.size() < workW * 4 * kBandRows) scratch.band.resize(workW * 4 * kBandRows);
    uint8_t* colours = scratch.colours.data();
    uint8_t* alphas = scratch.alphas.data();
    // Where row i of a band is composited: the destination row itself, or
    // above zoom 1 a row of the band buffer, expanded afterwards.
    auto target = [&](int i, int b0) {
        return P.expand ? scratch.band.data() + size_t(i - b0) * workW * 4 : P.dst + P.stride * i;
    };
    for (int b0 = from; b0 < to; b0 += kBandRows) {
        const int b1 = std::min(to, b0 + kBandRows);
        // Above zoom 1 neighbouring rows may show the same canvas row: such a
        // row is a copy of the one before it, made once the band is done.
        auto repeats = [&](int i) { return i > from && P.row[size_t(i)] == P.row[size_t(i) - 1]; };
        for (int i = b0; i < b1; ++i)
            if (!P.onto && !repeats(i)) std::memset(target(i, b0), 0, workW * 4);
        for (size_t k = 0; k < P.planCount; ++k) {
            const LayerPlan& p = P.plans[k];
            const LayerRecord& L = *p.L;
            const int32_t* off = p.off + p.a0;
            const int n = p.a1 - p.a0;
            // Destination rows run down the picture, stored rows up: the
            // band's rows go bottom first, so that each layer is read in
            // memory order, one stream per band that the prefetchers follow
            // (top first, every row began a new stream: about twice the
            // processor time).
            for (int i = b1 - 1; i >= b0; --i) {
                const int R = P.row[size_t(i)];
                if (R < 0 || repeats(i)) continue;
                const int64_t r64 = int64_t(R) + L.y;
                if (r64 < 0 || r64 >= L.height) continue;
                const int r = int(r64);
                const uint8_t* arow = p.rows.alpha + size_t(r) * p.rows.alphaStride;
                const uint8_t* prow = p.rows.pixels + size_t(r) * p.rows.pixelStride;
                uint8_t* d = target(i, b0) + size_t(p.a0) * 4;
                const uint8_t* s;
                size_t sstep = 3;
                const uint8_t* a;
                if (!P.linear && !p.text && !p.palette8 && !p.designated && L.blendMode == 0) {
                    // Sampled pixels straight from the layer's rows.
                    if (p.step)
                        compositing::NormalRowStrided(d, prow, p.rows.pixelStride, arow, size_t(L.width), off, p.step, n,
                                                      L.transparency);
                    else
                        compositing::NormalRowGather(d, prow, p.rows.pixelStride, arow, off, n, L.transparency);
                    continue;
                }
                if (P.linear) {
                    a = arow + off[0];
                } else {
                    // Only the sampled source pixels are read.
                    for (int j = 0; j < n; ++j) alphas[j] = arow[off[j]];
                    a = alphas;
                }
                if (p.text) {
                    s = L.textColor;   // blue, green, red for every pixel
                    sstep = 0;
                } else if (p.palette8) {
                    for (int j = 0; j < n; ++j) {
                        if (a[j] == 0) continue;
                        const uint8_t idx = prow[off[j]];
                        RgbQuad q = P.palette ? (idx < P.paletteSize ? P.paletteColours[idx] : RgbQuad{0, 0, 0, 0})
                                              : RgbQuad{idx, idx, idx, 0};
                        uint8_t* o = colours + size_t(j) * 3;
                        o[0] = q.blue;
                        o[1] = q.green;
                        o[2] = q.red;
                    }
                    s = colours;
                } else if (P.linear) {
                    s = prow + size_t(off[0]) * 3;
                } else {
                    // Colours of the pixels that are drawn at all.
                    for (int j = 0; j < n; ++j)
                        if (a[j] != 0) std::memcpy(colours + size_t(j) * 3, prow + size_t(off[j]) * 3, 3);
                    s = colours;
                }
                if (p.designated)
                    DesignatedRow(d, s, sstep, a, n, L.transparency, L.blendMode, P.mul);
                else if (L.blendMode == 0)
                    compositing::NormalRow(d, s, sstep, a, n, L.transparency);
                else
                    compositing::BlendRow(d, s, sstep, a, n, L.transparency, L.blendMode);
            }
        }
        if (P.expand)
            for (int i = b0; i < b1; ++i) {
                if (repeats(i)) continue;
                // Each canvas pixel fills the destination columns that show it.
                const uint8_t* b = target(i, b0);
                uint8_t* o = P.dst + P.stride * i;
                std::memset(o, 0, size_t(P.expandFrom) * 4);
                for (int j = P.expandFrom; j < P.expandTo; ++j)
                    std::memcpy(o + size_t(j) * 4, b + size_t(P.expand[size_t(j)]) * 4, 4);
                std::memset(o + size_t(P.expandTo) * 4, 0, size_t(P.width - P.expandTo) * 4);
            }
        for (int i = b0; i < b1; ++i)
            if (repeats(i)) std::memcpy(P.dst + P.stride * i, P.dst + P.stride * (i - 1), size_t(P.width) * 4);
    }
}

// One helper thread, started on first use and kept for the life of the
// process: a paint gives it the lower half of its rows and does the upper
// half itself. A paint that finds the helper busy (another thread is
// compositing) does all its rows alone.
class BandHelper {
public:
    static BandHelper& Get() {
        static BandHelper* helper = new BandHelper;   // never destroyed: the thread outlives static teardown
        return *helper;
    }
    bool Start(const Paint* paint, int from, int to) {
        if (!running_ || !use_.try_lock()) return false;
        {
            std::lock_guard<std::mutex> g(m_);
            paint_ = paint;
            from_ = from;
            to_ = to;
            pending_ = true;
        }
        wake_.notify_one();
        return true;
    }
    void Finish() {
        std::unique_lock<std::mutex> g(m_);
        done_.wait(g, [this] { return !pending_; });
        g.unlock();
        use_.unlock();
    }

private:
    BandHelper() {
        try {
            std::thread([this] { Loop(); }).detach();
            running_ = true;
        } catch (const std::system_error&) {
            running_ = false;
        }
    }
    void Loop() {
        std::unique_lock<std::mutex> g(m_);
        for (;;) {
            wake_.wait(g, [this] { return pending_ && paint_; });
            const Paint* paint = paint_;
            paint_ = nullptr;
            g.unlock();
            PaintRows(*paint, from_, to_);
            g.lock();
            pending_ = false;
            done_.notify_all();
        }
    }
    std::mutex use_;            // held by the paint using the helper
    std::mutex m_;
    std::condition_variable wake_, done_;
    const Paint* paint_ = nullptr;
    int from_ = 0, to_ = 0;
    bool pending_ = false;
    bool running_ = false;
};

// Below this many layer pixels a paint is not worth handing over.
constexpr int64_t kSplitPixels = 1 << 17;

// Per-paint tables of the calling thread, kept between paints.
struct RectScratch {
    std::vector<int> col, row, expand;
    std::vector<int32_t> offsets;
};

}  // namespace

void CVexoDoc::CompositeRect(int start, int count, double zoomFactor, int left, int top, int width, int height,
                             uint8_t* dst, ptrdiff_t dstStride, int designated, bool onto) const {
    if (width <= 0 || height <= 0 || !dst || !(zoomFactor > 0)) return;
    if (onto && zoomFactor > 1.0) return;   // not above zoom 1 (see CVexoDoc.h)
    auto clearAll = [&] {
        if (onto) return;
        for (int i = 0; i < height; ++i) std::memset(dst + dstStride * i, 0, size_t(width) * 4);
    };
    const int W = live.canvas.width, H = live.canvas.height;
    if (W <= 0 || H <= 0) return clearAll();

    thread_local RectScratch scratch;
    // Canvas column and stored row of every destination column and row,
    // computed once per paint (-1 outside the canvas).
    std::vector<int>& col = scratch.col;
    std::vector<int>& row = scratch.row;
    if (col.size() < size_t(width)) col.resize(size_t(width));
    if (row.size() < size_t(height)) row.resize(size_t(height));
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
    if (j0 >= j1) return clearAll();

    // The work columns: at and below zoom 1 the destination columns; above
    // it every canvas column of the run once (neighbouring destination
    // columns showing the same canvas pixel would get identical results).
    const bool magnify = zoomFactor > 1.0;
    int w0 = j0, w1 = j1, workWidth = width;
    const int* workCol = col.data();
    if (magnify) {
        const int c0 = col[size_t(j0)], c1 = col[size_t(j1 - 1)];
        workWidth = c1 - c0 + 1;
        w0 = 0;
        w1 = workWidth;
        std::vector<int>& ex = scratch.expand;
        if (ex.size() < size_t(width) + size_t(workWidth)) ex.resize(size_t(width) + size_t(workWidth));
        int* canvasCol = ex.data() + width;
        for (int j = j0; j < j1; ++j) ex[size_t(j)] = col[size_t(j)] - c0;
        for (int k = 0; k < workWidth; ++k) canvasCol[k] = c0 + k;
        workCol = canvasCol;
    }

    // The layers of the run and what each needs, worked out once. The
    // column table holds one row of source offsets per layer that is drawn.
    std::array<LayerPlan, kMaxLayers> plans;
    size_t planCount = 0;
    const size_t offsetsPerLayer = size_t(std::max(width, workWidth));
    size_t drawn = 0;
    if (IsValidLayer(start)) {
        bool seen[kMaxLayers] = {};
        int visited = 0;
        for (int i = start; IsValidLayer(i) && !seen[i] && (count < 0 || visited < count); i = live.layers[i].next) {
            seen[i] = true;
            ++visited;
            const LayerRecord& L = live.layers[i];
            if (L.visible == 1 && RowsOf(i).pixels && L.width > 0 && L.height > 0) ++drawn;
        }
    }
    if (scratch.offsets.size() < drawn * offsetsPerLayer) scratch.offsets.resize(drawn * offsetsPerLayer);
    int64_t work = 0;
    if (IsValidLayer(start)) {
        bool seen[kMaxLayers] = {};
        int visited = 0;
        for (int i = start; IsValidLayer(i) && !seen[i] && (count < 0 || visited < count); i = live.layers[i].next) {
            seen[i] = true;
            ++visited;
            const LayerRecord& L = live.layers[i];
            const LayerRows rows = RowsOf(i);
            if (L.visible != 1 || !rows.pixels || L.width <= 0 || L.height <= 0) continue;
            LayerPlan p{&L, rows, w1, w0, L.IsTextKind(), false, false, nullptr, 0};
            const int bpp = p.text ? 0 : live.canvas.bitsPerPixel;
            if (!p.text && bpp != 24 && bpp != 8) continue;
            if (!p.text && int64_t(L.stride) < LayerStride(L.width, bpp)) continue;
            p.palette8 = bpp == 8;
            // Source column per work column.
            int32_t* off = scratch.offsets.data() + planCount * offsetsPerLayer;
            for (int j = w0; j < w1; ++j) {
                const int64_t lc = int64_t(workCol[j]) - L.x;   // offsets may be anything in a file
                if (lc < 0 || lc >= L.width) continue;
                if (p.a0 == w1) p.a0 = j;
                p.a1 = j + 1;
                off[j] = int32_t(lc);
            }
            if (p.a0 >= p.a1) continue;
            // The designated layer replaces the destination, except under a
            // blend rule 2 to 9, which keeps its own formula.
            p.designated = i == designated && !(L.blendMode >= 2 && L.blendMode <= 9);
            p.off = off;
            if (zoomFactor < 1.0 && p.a1 - p.a0 >= 2) {
                // Source columns a whole number apart (zoom 1/2, 1/3, ...).
                const int k = off[p.a0 + 1] - off[p.a0];
                bool even = k > 1;
                for (int j = p.a0 + 2; even && j < p.a1; ++j) even = off[j] - off[j - 1] == k;
                if (even) p.step = k;
            }
            plans[planCount++] = p;
            work += int64_t(p.a1 - p.a0) * std::min<int64_t>(height, L.height);
        }
    }
    if (planCount == 0) return clearAll();

    const bool palette = live.canvas.paletteColors > 0 && !live.palette.empty();
    const Paint paint{plans.data(),
                      planCount,
                      row.data(),
                      dst,
                      dstStride,
                      width,
                      workWidth,
                      magnify ? scratch.expand.data() : nullptr,
                      j0,
                      j1,
                      zoomFactor >= 1.0,
                      palette,
                      live.palette.data(),
                      live.palette.size(),
                      MulTable(),
                      onto};
    // Rows are independent: two workers take one half each.
    const int mid = (height / 2 + kBandRows - 1) / kBandRows * kBandRows;
    if (work >= kSplitPixels && mid > 0 && mid < height && BandHelper::Get().Start(&paint, mid, height)) {
        PaintRows(paint, 0, mid);
        BandHelper::Get().Finish();
    } else {
        PaintRows(paint, 0, height);
    }
}

void CVexoDoc::CompositeRun(int start, int count, uint8_t* bgra) const {
    const int W = live.canvas.width, H = live.canvas.height;
    if (W <= 0 || H <= 0) return;
    // Bottom-up like the layers: canvas stored row R at bgra + R * W * 4.
    // A very wide or tall canvas goes in tiles, so that the compositor's
    // row and column tables stay the size of a tile.
    constexpr int kTileColumns = 1 << 16, kTileRows = 1 << 12;
    const ptrdiff_t stride = ptrdiff_t(W) * 4;
    for (int top = 0; top < H; top += kTileRows) {
        const int h = std::min(kTileRows, H - top);
        for (int left = 0; left < W; left += kTileColumns) {
            const int w = std::min(kTileColumns, W - left);
            CompositeRect(start, count, 1.0, left, top, w, h, bgra + stride * (H - 1 - top) + ptrdiff_t(left) * 4,
                          -stride);
        }
    }
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
