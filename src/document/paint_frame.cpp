// The frame of the paint operations, the restore and commit of a drag's
// live preview, and the dirty areas.
//
// Restore and commit copy only the layer area painted since the last
// commit. That is exact while the live layer equals its previous-state
// copy outside the area, which holds from the moment a restore or commit
// made them equal, for as long as both layers keep the buffers and the
// geometry they had then and only the paint operations (which record
// what they paint) change them. Anything else that changes a layer either
// replaces its buffers, moves or resizes it, or makes the two equal again
// (recording an undo step refreshes the whole previous state); the first
// two are seen by comparing the buffers and geometry, and then restore and
// commit copy the whole layer.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "layer_grow.h"
#include "paint_internal.h"

namespace paint {

namespace detail {

const ProductRow* Product() {
    struct Holder {
        uint8_t t[256][256];
        Holder() {
            for (int a = 0; a < 256; ++a)
                for (int b = 0; b < 256; ++b) t[a][b] = uint8_t(a * b / 255);
        }
    };
    static const Holder h;
    return h.t;
}

Surface::Surface(CVexoDoc& doc, LayerRecord& layer) : doc_(doc) {
    w = layer.width;
    h = layer.height;
    palette = doc.live.canvas.bitsPerPixel == 8;
    stride = size_t(std::max(0, layer.stride));
    pixels = layer.pixels.get();
    alpha = layer.alpha.get();
}

void Surface::GetIndexed(uint8_t index, uint8_t bgr[3]) const {
    const auto& pal = doc_.live.palette;
    if (index < pal.size()) {
        bgr[0] = pal[index].blue, bgr[1] = pal[index].green, bgr[2] = pal[index].red;
    } else {
        bgr[0] = bgr[1] = bgr[2] = index;
    }
}

uint8_t Surface::Nearest(const uint8_t bgr[3]) {
    const uint32_t c = PackBGR(bgr[0], bgr[1], bgr[2]);
    auto it = nearest_.find(c);
    if (it == nearest_.end()) it = nearest_.emplace(c, uint8_t(doc_.NearestPaletteIndex(c))).first;
    return it->second;
}

SelectionTest::SelectionTest(const CVexoDoc& doc, const LayerRecord& layer) {
    const SelectionMask& s = doc.live.selection;
    if (!doc.selectionActive) return;
    active = true;
    // Mask column = layer column + layer x - mask x; mask row = layer row - layer y + mask y.
    if (s.width > 0 && s.height > 0 && s.mask.size() >= size_t(s.width) * size_t(s.height)) {
        mask = s.mask.data();
        width = s.width;
        height = s.height;
    }
    shiftX = int64_t(layer.x) - s.x;
    shiftRow = int64_t(s.y) - layer.y;
}

LayerShape ShapeOf(const LayerRecord& l) {
    LayerShape s;
    s.pixels = l.pixels.get();
    s.alpha = l.alpha.get();
    s.x = l.x, s.y = l.y, s.width = l.width, s.height = l.height;
    s.stride = l.stride, s.pixelSize = l.pixelSize, s.planeSize = l.planeSize;
    return s;
}

void AddCanvasDirty(CVexoDoc& doc, const LayerRecord& l, const LayerArea& a) {
    if (a.Empty()) return;
    const int64_t W = doc.live.canvas.width, H = doc.live.canvas.height;
    // Layer stored row r lies on canvas stored row r - y, which is canvas
    // row H - 1 - (r - y) counted from the top.
    int64_t left = int64_t(a.left) + l.x, right = int64_t(a.right) + l.x;
    int64_t top = H - (int64_t(a.top) - l.y), bottom = H - (int64_t(a.bottom) - l.y);
    left = std::clamp<int64_t>(left, 0, W), right = std::clamp<int64_t>(right, 0, W);
    top = std::clamp<int64_t>(top, 0, H), bottom = std::clamp<int64_t>(bottom, 0, H);
    if (right <= left || bottom <= top) return;
    PaintState& st = doc.paintState;
    if (!st.dirty) {
        st.dirty = true;
        st.dirtyLeft = int(left), st.dirtyTop = int(top), st.dirtyRight = int(right), st.dirtyBottom = int(bottom);
        return;
    }
    st.dirtyLeft = std::min(st.dirtyLeft, int(left));
    st.dirtyTop = std::min(st.dirtyTop, int(top));
    st.dirtyRight = std::max(st.dirtyRight, int(right));
    st.dirtyBottom = std::max(st.dirtyBottom, int(bottom));
}

LayerArea StampArea(LPoint at, int width) {
    if (width <= 1) return LayerArea{at.x, at.row, at.x + 1, at.row + 1};
    const int n = StampSize(width);
    return LayerArea{at.x - n, at.row - n, at.x + n, at.row + n};
}

void CirclePoints(LPoint c, int r, std::vector<LPoint>& out) {
    out.clear();
    if (r < 0) return;
    auto put = [&](int x, int y) {
        const LPoint p{c.x + x, c.row + y};
        if (std::find(out.end() - std::min<ptrdiff_t>(ptrdiff_t(out.size()), 8), out.end(), p) == out.end())
            out.push_back(p);
    };
    put(r, 0), put(-r, 0), put(0, r), put(0, -r);
    int i = 1;
    auto root = [r](int j) { return int(std::lround(std::sqrt(std::max(0.0, double(r) * r - double(j) * j)))); };
    int k = root(i);
    for (; i < k; ++i, k = root(i)) {
        put(i, k), put(-i, k), put(i, -k), put(-i, -k);
        put(k, i), put(-k, i), put(k, -i), put(-k, -i);
    }
    if (i == k) put(i, i), put(-i, i), put(i, -i), put(-i, -i);
}

namespace {
// Restore and commit may copy only the area: the state is tracked for this
// layer and neither layer changed its buffers or geometry since.
bool Tracking(const CVexoDoc& doc, int index) {
    const PaintState& st = doc.paintState;
    if (!st.tracked || st.layer != index) return false;
    const LayerRecord& l = doc.Layer(index);
    const LayerRecord& p = doc.prevState.layers[index];
    return st.live == ShapeOf(l) && st.prev == ShapeOf(p);
}

void StartTracking(CVexoDoc& doc, int index) {
    PaintState& st = doc.paintState;
    st.tracked = true;
    st.layer = index;
    st.live = ShapeOf(doc.Layer(index));
    st.prev = ShapeOf(doc.prevState.layers[index]);
    st.sinceCommit = LayerArea{};
}

LayerArea WholeLayer(const LayerRecord& l) { return LayerArea{0, 0, l.width, l.height}; }

int BytesPerPixel(const CVexoDoc& doc, const LayerRecord& l) {
    return l.IsTextKind() || doc.live.canvas.bitsPerPixel == 8 ? 1 : 3;
}

// Pixels and alpha of the area from one layer into another of the same shape.
void CopyArea(const CVexoDoc& doc, const LayerRecord& from, LayerRecord& to, LayerArea a) {
    a.left = std::max(a.left, 0), a.bottom = std::max(a.bottom, 0);
    a.right = std::min(a.right, from.width), a.top = std::min(a.top, from.height);
    if (a.Empty()) return;
    const size_t bpp = size_t(BytesPerPixel(doc, from));
    const size_t off = size_t(a.left) * bpp, n = size_t(a.right - a.left) * bpp, an = size_t(a.right - a.left);
    for (int r = a.bottom; r < a.top; ++r) {
        std::memcpy(to.PixelRow(r) + off, from.PixelRow(r) + off, n);
        std::memcpy(to.AlphaRow(r) + a.left, from.AlphaRow(r) + a.left, an);
    }
}

bool Copyable(const LayerRecord& l) { return l.inUse && l.pixels && l.alpha; }
}  // namespace

Frame::Frame(CVexoDoc& doc) : doc_(doc), index_(doc.currentLayer) {
    if (!IsValidLayer(index_) || !doc.Layer(index_).inUse) return;
    if (!doc.GuardRasterLayer()) return;
    const LayerRecord& l = doc.Layer(index_);
    const int bpp = doc.live.canvas.bitsPerPixel == 8 ? 1 : 3;
    if (doc.live.canvas.bitsPerPixel != 8 && doc.live.canvas.bitsPerPixel != 24 && doc.live.canvas.bitsPerPixel != 0)
        return;
    if (!l.pixels || !l.alpha || l.width < 1 || l.height < 1) return;
    if (int64_t(l.stride) < int64_t(l.width) * bpp || int64_t(l.stride) * l.height > l.pixelSize ||
        int64_t(l.width) * l.height > l.planeSize)
        return;
    ok_ = true;
}

bool Frame::Convert(std::initializer_list<ZPoint> points, LPoint* out) {
    const size_t n = points.size();
    // Each growth brings at least one more point inside; a point that
    // cannot be reached (the layer would grow past the picture limits)
    // refuses the operation.
    for (size_t attempt = 0; attempt <= n; ++attempt) {
        const LayerRecord& l = Layer();
        size_t i = 0;
        const LPoint* outside = nullptr;
        for (const ZPoint& z : points) {
            int cx, cy;
            doc_.ZoomedToCanvas(z.x, z.y, cx, cy);
            doc_.CanvasToLayer(index_, cx, cy, out[i].x, out[i].row);
            if (!outside && (out[i].x < 0 || out[i].row < 0 || out[i].x >= l.width || out[i].row >= l.height))
                outside = &out[i];
            ++i;
        }
        if (!outside) return true;
        if (!EnlargeLayerTowards(doc_, index_, outside->x, outside->row)) return false;
    }
    return false;
}

void Frame::Touch(const LayerArea& area) {
    const LayerRecord& l = Layer();
    LayerArea a{std::max(area.left, 0), std::max(area.bottom, 0), std::min(area.right, l.width),
                std::min(area.top, l.height)};
    if (a.Empty()) return;
    PaintState& st = doc_.paintState;
    if (Tracking(doc_, index_)) st.sinceCommit.Add(a);
    else st.tracked = false;
    AddCanvasDirty(doc_, l, a);
}

void Frame::TouchAll() { Touch(WholeLayer(Layer())); }

void Frame::Finish() {
    DocHost& host = doc_.Host();
    host.RefreshLayersPanel(doc_);
    if (host.CurrentCommand() != 1415) doc_.viewRebuild = true;
    host.UpdateViews(doc_, doc_.viewRebuild);
}

}  // namespace detail

using namespace detail;

void RestoreCurrentLayer(CVexoDoc& doc) {
    const int cur = doc.currentLayer;
    if (!IsValidLayer(cur)) return;
    LayerRecord& l = doc.Layer(cur);
    const LayerRecord& p = doc.prevState.layers[cur];
    if (!Copyable(l) || !Copyable(p)) return;
    PaintState& st = doc.paintState;
    bool changed = false;
    if (Tracking(doc, cur)) {
        changed = !st.sinceCommit.Empty();
        CopyArea(doc, p, l, st.sinceCommit);
        AddCanvasDirty(doc, l, st.sinceCommit);
    } else {
        AddCanvasDirty(doc, l, WholeLayer(l));
        const bool ok = l.CopyFrom(p);
        AddCanvasDirty(doc, l, WholeLayer(l));
        changed = true;
        if (!ok) {
            st.tracked = false;
            return;
        }
    }
    StartTracking(doc, cur);
    if (changed) {
        doc.viewRebuild = true;
        doc.Host().UpdateViews(doc, true);
    }
}

void CommitCurrentLayer(CVexoDoc& doc) {
    const int cur = doc.currentLayer;
    if (!IsValidLayer(cur)) return;
    const LayerRecord& l = doc.Layer(cur);
    LayerRecord& p = doc.prevState.layers[cur];
    if (!Copyable(l)) return;
    if (Tracking(doc, cur)) {
        CopyArea(doc, l, p, doc.paintState.sinceCommit);
    } else if (!p.CopyFrom(l)) {
        doc.paintState.tracked = false;
        return;
    }
    StartTracking(doc, cur);
}

CanvasRect TakeDirtyArea(CVexoDoc& doc) {
    PaintState& st = doc.paintState;
    CanvasRect r;
    if (st.dirty) r = CanvasRect{st.dirtyLeft, st.dirtyTop, st.dirtyRight, st.dirtyBottom};
    st.dirty = false;
    return r;
}

}  // namespace paint
