#include "free_transform.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "CVexoDoc.h"
#include "command_frame.h"
#include "commands.h"
#include "layer_ops.h"
#include "memory_budget.h"

namespace docxform {

namespace {

int64_t Sq(Handle a, Handle b) {
    const int64_t dx = int64_t(a.x) - b.x, dy = int64_t(a.y) - b.y;
    return dx * dx + dy * dy;
}

// The partner of a corner on the same horizontal / vertical edge.
int SameRow(int k) { return k ^ 1; }           // 0-1, 2-3
int SameColumn(int k) { return 3 - k; }        // 0-3, 1-2

}  // namespace

bool Begin(CVexoDoc& doc, int tool) {
    if (tool < kResize || tool > kPerspective) return false;
    Session& s = doc.freeTransform;
    if (s.active && Valid(doc)) {
        s.tool = tool;
        return true;
    }
    if (!IsValidLayer(doc.currentLayer) || !GuardLayerTransform(doc)) return false;
    const int cur = doc.currentLayer;
    const LayerRecord& L = doc.Layer(cur);
    if (!L.pixels || !L.alpha || L.width < 1 || L.height < 1) return false;
    const int W = doc.live.canvas.width, H = doc.live.canvas.height;
    const int top = H - L.height + L.y;
    const int left = std::max(0, L.x), right = int(std::min<int64_t>(W, int64_t(L.x) + L.width));
    const int up = std::max(0, top), down = int(std::min<int64_t>(H, int64_t(top) + L.height));
    if (right <= left || down <= up) return false;
    if (!doc.preview.layers[cur].CopyFrom(L)) return false;
    s = Session{};
    s.active = true;
    s.layer = cur;
    s.tool = tool;
    s.undoPos = doc.undoPos;
    s.start = Handles{Handle{left, up}, Handle{right, up}, Handle{right, down}, Handle{left, down}};
    s.handles = s.atPress = s.start;
    return true;
}

bool Valid(CVexoDoc& doc) {
    Session& s = doc.freeTransform;
    if (!s.active) return false;
    if (s.layer == doc.currentLayer && s.undoPos == doc.undoPos && doc.InStack(s.layer)) return true;
    s = Session{};
    return false;
}

int NearestHandle(const Handles& h, Handle p) {
    int best = 0;
    for (int k = 1; k < 4; ++k)
        if (Sq(h[size_t(k)], p) < Sq(h[size_t(best)], p)) best = k;
    return best;
}

void Press(Session& s, Handle p) {
    s.activeHandle = NearestHandle(s.handles, p);
    s.atPress = s.handles;
    s.pressPoint = p;
}

void Drag(Session& s, int tool, Handle p) {
    const int k = s.activeHandle;
    if (k < 0 || k > 3) return;
    Handles& h = s.handles;
    if (tool == kResize) {
        const Handle old = h[size_t(k)];
        for (Handle& q : h) {
            if (q.x == old.x) q.x = p.x;
            if (q.y == old.y) q.y = p.y;
        }
        h[size_t(k)] = p;
    } else if (tool == kDistort) {
        h[size_t(k)] = p;
    } else {
        const Handle a = s.atPress[size_t(k)];
        const int dx = p.x - a.x, dy = p.y - a.y;
        h = s.atPress;
        if (std::abs(dy) < std::abs(dx)) {
            h[size_t(k)].x += dx;
            h[size_t(SameRow(k))].x -= dx;
        } else {
            h[size_t(k)].y += dy;
            h[size_t(SameColumn(k))].y -= dy;
        }
    }
}

bool Warp(CVexoDoc& doc, const LayerRecord& L, const Handles& h, LayerRecord& out) {
    for (const Handle& q : h)
        if (q.x < -1000000 || q.x > 1000000 || q.y < -1000000 || q.y > 1000000) return false;
    if (!L.pixels || !L.alpha || L.width < 1 || L.height < 1) return false;
    const int CH = doc.live.canvas.height;
    // Stored-row space (upwards): the layer's bottom edge runs P0 -> P1.
    layerops::PointD p[4] = {{double(h[kBottomLeft].x), double(CH - h[kBottomLeft].y)},
                             {double(h[kBottomRight].x), double(CH - h[kBottomRight].y)},
                             {double(h[kTopRight].x), double(CH - h[kTopRight].y)},
                             {double(h[kTopLeft].x), double(CH - h[kTopLeft].y)}};
    double mx = p[0].x, my = p[0].y;
    for (const auto& q : p) mx = std::min(mx, q.x), my = std::min(my, q.y);
    int ow = 0, oh = 0;
    layerops::FreeTransformBounds(p, ow, oh);
    if (ow < 1 || oh < 1 || int64_t(ow) * oh > kMaxImagePixels) return false;
    // The layer warped is the current one (the tool command's and the session's).
    if (!docmem::AllowLayerSize(doc, doc.currentLayer, ow, oh)) return false;
    std::vector<layerops::PointI> grid;
    if (!layerops::FreeTransformGrid(p, L.width, L.height, grid)) return false;
    static_cast<LayerRecordData&>(out) = L;
    out.width = ow;
    out.height = oh;
    out.stride = int32_t(LayerStride(ow, 24));
    out.planeSize = ow * oh;
    out.pixelSize = out.stride * oh;
    out.pixels.reset(new (std::nothrow) uint8_t[size_t(out.pixelSize)]);
    out.alpha.reset(new (std::nothrow) uint8_t[size_t(out.planeSize)]());
    out.effectPlane.reset(new (std::nothrow) uint8_t[size_t(out.planeSize)]());
    if (!out.pixels || !out.alpha || !out.effectPlane) return false;
    std::memset(out.pixels.get(), 255, size_t(out.pixelSize));
    out.effectKind = 0;
    if (!layerops::FreeTransformWarp(doc.image, L, grid, out)) return false;
    out.x = int(mx);
    out.y = -int(my);
    return true;
}

void RestoreLayer(CVexoDoc& doc) {
    Session& s = doc.freeTransform;
    if (!s.active || !s.previewShown || !IsValidLayer(s.layer)) return;
    doc.Layer(s.layer).CopyFrom(doc.preview.layers[s.layer]);
    s.previewShown = false;
    doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, true);
}

bool ShowPreview(CVexoDoc& doc) {
    if (!Valid(doc)) return false;
    Session& s = doc.freeTransform;
    RestoreLayer(doc);
    if (s.handles == s.start) return true;
    LayerRecord out;
    doc.image.progressWindow = [&doc](int pc) { doc.Host().Progress(pc); };
    const bool ok = Warp(doc, doc.preview.layers[s.layer], s.handles, out);
    doc.image.progressWindow = nullptr;
    doc.Host().Progress(0);
    if (!ok) return false;
    LayerRecord& L = doc.Layer(s.layer);
    static_cast<LayerRecordData&>(L) = out;
    L.pixels = std::move(out.pixels);
    L.alpha = std::move(out.alpha);
    L.effectPlane = std::move(out.effectPlane);
    s.previewShown = true;
    doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, true);
    return true;
}

bool Apply(CVexoDoc& doc) {
    if (!Valid(doc)) return true;
    Session& s = doc.freeTransform;
    RestoreLayer(doc);
    if (s.handles == s.start) {
        s = Session{};
        return true;
    }
    const commands::Command* c = commands::All().Find(s.tool);
    if (!c) return false;
    std::vector<int> h;
    for (const Handle& q : s.handles) {
        h.push_back(q.x);
        h.push_back(q.y);
    }
    const bool atActualSize = doc.zoom == 1.0;
    // The session ends before the command, whose selection of the layer
    // must not apply it a second time.
    const Session kept = s;
    s = Session{};
    if (c->run(doc, h)) return true;
    if (!atActualSize) {
        // The message was shown and the zoom is 100 % now: the handles stay.
        s = kept;
        s.undoPos = doc.undoPos;
        return false;
    }
    return true;   // the warp failed: the layer stays as it was
}

void Cancel(CVexoDoc& doc) {
    if (!doc.freeTransform.active) return;
    if (Valid(doc)) RestoreLayer(doc);
    doc.freeTransform = Session{};
}

}  // namespace docxform
