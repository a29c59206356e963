#include "workbench.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "CVexoDoc.h"
#include "anchor_path.h"
#include "commands.h"
#include "paint_settings.h"
#include "tool_box.h"
#include "tool_table.h"
#include "tool_ui.h"

namespace tools {

void ToolAnchors::Scale(double f) {
    for (paint::ZPoint* p : {&first, &second, &lassoStart, &polygonStart, &bandOrigin, &bandCurrent, &circleStart,
                             &lineEnd, &moveLast, &gradientStart, &gradientEnd, &dropletLast})
        if (p->IsSet()) *p = paint::ZPoint{int(p->x * f), int(p->y * f)};
}

int Tool::CursorAt(const ToolContext&, const MouseEvent&, bool) const {
    const ToolInfo* info = Find(Id());
    return info ? info->cursor : kCursorDefault;
}

Workbench::Workbench(ToolBox& box, CVexoDoc& doc, ToolUi& ui) : box_(box), doc_(&doc), ui_(ui) { box_.Attach(this); }

Workbench::~Workbench() { box_.Detach(this); }

void Workbench::SetDocument(CVexoDoc& doc) {
    doc_ = &doc;
    tools_.clear();
    anchors_.Reset();
    overlay_.Hide();
    RefreshBackground();
    pressed_ = false;
    lastMove_ = {};
    damage_.full = true;
}

ToolContext Workbench::Context() {
    return ToolContext{*doc_, box_.Settings(), overlay_, anchors_, ui_, box_, *this};
}

Tool& Workbench::Current() {
    const int id = box_.Current();
    auto it = tools_.find(id);
    if (it == tools_.end()) it = tools_.emplace(id, MakeTool(id)).first;
    return *it->second;
}

// What the document looked like before an event, to tell a change of the
// layers or the selection (a full repaint) from painted pixels (their area).
struct Workbench::Before {
    int width, height, head, current, count;
    double zoom;
    bool selection;
    int selW, selH, selX, selY;
    uint64_t overlayVersion;
    Overlay::Tiles overlayCover;
    static Before Of(const CVexoDoc& d, const Overlay& o) {
        const SelectionMask& s = d.live.selection;
        return Before{d.live.canvas.width, d.live.canvas.height, d.headLayer, d.currentLayer, d.LayerCount(), d.zoom,
                      d.selectionActive, s.width, s.height, s.x, s.y, o.Version(), o.CoverTiles()};
    }
    bool SameLayers(const Before& o) const {
        return width == o.width && height == o.height && head == o.head && current == o.current && count == o.count &&
               zoom == o.zoom && selection == o.selection && selW == o.selW && selH == o.selH && selX == o.selX &&
               selY == o.selY;
    }
};

template <class Fn>
void Workbench::Dispatch(Fn&& fn, bool pixels) {
    // A layer still being filled (the picture was shown first): the mouse
    // passing over waits for it; anything that may change pixels settles it.
    if (doc_->LayersPending()) {
        if (!pixels) return;
        doc_->SettleLayers();
    }
    CVexoDoc& d = *doc_;
    const Before before = Before::Of(d, overlay_);
    const bool outlineBefore = d.outlineChanged;
    d.outlineChanged = false;
    Tool& tool = Current();
    const bool pauses = pixels && tool.ChangesPixels() && d.selectionActive;
    if (pauses) d.Host().StopSelectionTimer(d);
    ToolContext ctx = Context();
    fn(tool, ctx);
    RefreshBackground();
    CVexoDoc& after = *doc_;
    if (pauses && after.selectionActive) after.Host().StartSelectionTimer(after, 400);
    const Before now = Before::Of(after, overlay_);
    const paint::CanvasRect dirty = paint::TakeDirtyArea(after);
    if (&after != &d || !before.SameLayers(now) || after.outlineChanged) {
        damage_.full = true;
    } else {
        if (!dirty.Empty()) {
            // Canvas pixels to the zoomed pixels that show them.
            const double z = after.zoom > 0 ? after.zoom : 1.0;
            damage_.rects.push_back(ZRect{int(std::floor(dirty.left * z)), int(std::floor(dirty.top * z)),
                                          int(std::ceil(dirty.right * z)), int(std::ceil(dirty.bottom * z))});
        }
        if (now.overlayVersion != before.overlayVersion) {
            // The tiles the overlay covered before or covers now, each once.
            Overlay::Tiles both;
            std::set_union(before.overlayCover.begin(), before.overlayCover.end(), now.overlayCover.begin(),
                           now.overlayCover.end(), std::back_inserter(both));
            const std::vector<ZRect> rects = Overlay::TilesToRects(both);
            damage_.rects.insert(damage_.rects.end(), rects.begin(), rects.end());
        }
    }
    // The view also repaints when the outline had changed before.
    after.outlineChanged = after.outlineChanged || outlineBefore;
}

void Workbench::Press(const MouseEvent& e) {
    pressed_ = true;
    lastMove_ = e.at;
    // Every tool: the press point is the circle start and the move tool's
    // last point.
    anchors_.circleStart = e.at;
    anchors_.moveLast = e.at;
    Dispatch([&](Tool& t, ToolContext& c) { t.Press(c, e); }, true);
}

void Workbench::Move(const MouseEvent& e, bool buttonHeld) {
    if (e.at == lastMove_) return;
    lastMove_ = e.at;
    if (pressed_ && buttonHeld)
        Dispatch([&](Tool& t, ToolContext& c) { t.Drag(c, e); }, true);
    else
        Dispatch([&](Tool& t, ToolContext& c) { t.Hover(c, e); }, false);
}

void Workbench::Release(const MouseEvent& e) {
    const bool was = pressed_;
    pressed_ = false;
    lastMove_ = e.at;
    if (!was) return;   // a release without its press does nothing
    Dispatch([&](Tool& t, ToolContext& c) { t.Release(c, e); }, true);
}

void Workbench::DoubleClick(const MouseEvent& e) {
    Dispatch([&](Tool& t, ToolContext& c) { t.DoubleClick(c, e); }, true);
}

bool Workbench::KeyDown(const KeyEvent& e) {
    bool used = false;
    Dispatch([&](Tool& t, ToolContext& c) { used = t.KeyDown(c, e); }, true);
    return used;
}

void Workbench::Enter() {
    Dispatch([&](Tool& t, ToolContext& c) { t.Enter(c); }, false);
}

void Workbench::HoverNotice(const MouseEvent& e) {
    if (pressed_) return;
    lastMove_ = e.at;
    Dispatch([&](Tool& t, ToolContext& c) { t.Hover(c, e); }, false);
}

void Workbench::Leave() {
    Dispatch([&](Tool& t, ToolContext& c) { t.Leave(c); }, false);
}

int Workbench::Cursor(const MouseEvent& e) const {
    auto* self = const_cast<Workbench*>(this);
    ToolContext ctx = self->Context();
    return self->Current().CursorAt(ctx, e, pressed_);
}

Damage Workbench::TakeDamage() {
    Damage d = std::move(damage_);
    damage_ = Damage{};
    if (d.full) d.rects.clear();
    return d;
}

void Workbench::ResetTools() {
    ToolContext ctx = Context();
    for (auto& [id, t] : tools_) t->Reset(ctx);
    anchors_.Reset();
    if (overlay_.Shown()) {
        const std::vector<ZRect> cover = overlay_.Cover();
        damage_.rects.insert(damage_.rects.end(), cover.begin(), cover.end());
        overlay_.Hide();
    }
    RefreshBackground();
    pressed_ = false;
}

void Workbench::RefreshBackground() {
    CVexoDoc& d = *doc_;
    const double z = d.zoom > 0 ? d.zoom : 1.0;
    const PaintSettings& s = box_.Settings();
    std::vector<OverlayItem> items;
    // Pixel centres and edges of the canvas to zoomed pixels.
    auto centre = [z](double x, double y) {
        return paint::ZPoint{int(std::floor((x + 0.5) * z)), int(std::floor((y + 0.5) * z))};
    };
    auto edge = [z](double x, double y) { return paint::ZPoint{int(std::floor(x * z)), int(std::floor(y * z))}; };
    const int cur = d.currentLayer;
    if (box_.PathPanelShown() && !d.anchorPath.Empty() && IsValidLayer(cur)) {
        const docpath::AnchorPath& path = d.anchorPath;
        OverlayItem curve = OverlayItem(OverlayKind::Polyline, {}, path.completed && path.anchors.size() >= 3).Tinted(s.pathSegment);
        for (const docpath::PointD& q : docpath::Curve(path)) {
            const docpath::PointD c = docpath::ToCanvas(d, cur, q);
            const paint::ZPoint p = centre(c.x, c.y);
            if (curve.points.empty() || !(curve.points.back() == p)) curve.points.push_back(p);
        }
        OverlayItem anchors = OverlayItem(OverlayKind::Handles, {}).Tinted(s.pathPoint);
        for (const docpath::Point& a : path.anchors) {
            const docpath::PointD c = docpath::ToCanvas(d, cur, docpath::PointD{double(a.x), double(a.y)});
            anchors.points.push_back(centre(c.x, c.y));
        }
        OverlayItem first = OverlayItem(OverlayKind::Marks, {anchors.points.front()}).Tinted(s.pathPoint);
        items.push_back(std::move(curve));
        items.push_back(std::move(anchors));
        items.push_back(std::move(first));
    }
    const docxform::Session& t = d.freeTransform;
    if (t.active && t.layer == cur && box_.TransformPanelShown()) {
        OverlayItem frame(OverlayKind::Polyline, {}, true);
        for (const docxform::Handle& h : t.handles) frame.points.push_back(edge(h.x, h.y));
        OverlayItem handles(OverlayKind::Handles, frame.points);
        items.push_back(std::move(frame));
        items.push_back(std::move(handles));
    }
    overlay_.SetBackground(std::move(items));
}

bool Workbench::ZoomAt(paint::ZPoint at, bool in) {
    CVexoDoc& d = *doc_;
    const double before = d.zoom > 0 ? d.zoom : 1.0;
    const commands::Command* c = commands::All().Find(in ? 1420 : 1421);
    if (!c || !c->run(d, {}) || d.zoom == before) return false;
    ScaleAnchors(in ? 1.25 : 0.8);
    RefreshBackground();
    zoomCentre_ = paint::ZPoint{int(at.x * d.zoom / before), int(at.y * d.zoom / before)};
    zoomAsked_ = true;
    return true;
}

bool Workbench::TakeZoomCentre(paint::ZPoint& at) {
    if (!zoomAsked_) return false;
    zoomAsked_ = false;
    at = zoomCentre_;
    return true;
}

bool Workbench::TakeFocusRequest() {
    const bool asked = focusAsked_;
    focusAsked_ = false;
    return asked;
}

int Workbench::MovingLayer() { return Current().MovingLayer(*doc_); }

void Workbench::ScaleAnchors(double factor) {
    anchors_.Scale(factor);
    for (auto& [id, t] : tools_) t->ScaleShape(factor);
    if (overlay_.Shown()) {
        // The overlay follows at the next move; until then it is not shown.
        overlay_.Hide();
    }
    RefreshBackground();
    damage_.full = true;
}

}  // namespace tools
