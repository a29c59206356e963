// The paint tools' mouse rules: when each restores the current layer from
// the previous-state copy (discarding an uncommitted preview), paints,
// commits, and records its undo step. The pixel work is the document's
// (paint.h).
#include <memory>

#include "CVexoDoc.h"
#include "anchors.h"
#include "overlay.h"
#include "paint.h"
#include "paint_settings.h"
#include "tool.h"
#include "tool_helpers.h"

namespace tools {

namespace {

using paint::ZPoint;

class PaintTool : public Tool {
public:
    bool ChangesPixels() const override { return true; }
};

// Brush (1347) and undo brush (4669): a committed stroke at every step.
class BrushTool : public PaintTool {
public:
    explicit BrushTool(int id) : id_(id) {}
    int Id() const override { return id_; }
    void Press(ToolContext& c, const MouseEvent& e) override {
        paint::RestoreCurrentLayer(c.doc);
        Stroke(c, e.at, e.at);
        paint::CommitCurrentLayer(c.doc);
        c.anchors.first = e.at;
    }
    void Drag(ToolContext& c, const MouseEvent& e) override {
        if (!c.anchors.first.IsSet()) return;
        paint::RestoreCurrentLayer(c.doc);
        Stroke(c, c.anchors.first, e.at);
        paint::CommitCurrentLayer(c.doc);
        c.anchors.first = e.at;
    }
    void Release(ToolContext& c, const MouseEvent&) override {
        if (!c.anchors.first.IsSet()) return;
        paint::RestoreCurrentLayer(c.doc);
        RecordStep(c.doc, id_ == 4669 ? u"작업취소붓" : u"붓그리기");
        c.anchors.first = {};
    }
    int CursorAt(const ToolContext&, const MouseEvent&, bool pressed) const override {
        return pressed ? kCursorCross : kCursorBrush;
    }

private:
    void Stroke(ToolContext& c, ZPoint from, ZPoint to) {
        const PaintSettings& s = c.settings;
        if (id_ == 4669)
            paint::UndoBrushStroke(c.doc, from, to, s.brushSize, s.brushMode);
        else
            paint::Stroke(c.doc, paint::StrokeMode::Paint, from, to, s.colour, s.brushSize, s.brushMode);
    }
    int id_;
};

// Eraser (1355): strokes in erase mode from the second anchor.
class EraserTool : public PaintTool {
public:
    int Id() const override { return 1355; }
    void Press(ToolContext& c, const MouseEvent& e) override {
        paint::RestoreCurrentLayer(c.doc);
        Erase(c, e.at, e.at);
        paint::CommitCurrentLayer(c.doc);
        c.anchors.second = e.at;
    }
    void Drag(ToolContext& c, const MouseEvent& e) override {
        if (!c.anchors.second.IsSet()) return;
        paint::RestoreCurrentLayer(c.doc);
        Erase(c, c.anchors.second, e.at);
        paint::CommitCurrentLayer(c.doc);
        c.anchors.second = e.at;
    }
    void Release(ToolContext& c, const MouseEvent&) override {
        if (!c.anchors.second.IsSet()) return;
        paint::RestoreCurrentLayer(c.doc);
        RecordStep(c.doc, u"영역지우기");
        c.anchors.second = {};
    }

private:
    static void Erase(ToolContext& c, ZPoint from, ZPoint to) {
        const PaintSettings& s = c.settings;
        paint::Stroke(c.doc, paint::StrokeMode::Erase, from, to, s.colour, s.brushSize, s.brushMode);
    }
};

// Spray (1346): the press sprays without committing; each drag step puts
// the layer back, sprays and commits.
class SprayTool : public PaintTool {
public:
    int Id() const override { return 1346; }
    void Press(ToolContext& c, const MouseEvent& e) override {
        paint::Spray(c.doc, e.at, c.settings.colour);
        pressed_ = true;
    }
    void Drag(ToolContext& c, const MouseEvent& e) override {
        paint::RestoreCurrentLayer(c.doc);
        paint::Spray(c.doc, e.at, c.settings.colour);
        paint::CommitCurrentLayer(c.doc);
    }
    void Release(ToolContext& c, const MouseEvent&) override {
        if (!pressed_) return;
        pressed_ = false;
        RecordStep(c.doc, u"스프레이");
    }
    void Reset(ToolContext&) override { pressed_ = false; }
    int CursorAt(const ToolContext&, const MouseEvent&, bool pressed) const override {
        return pressed ? kCursorCross : kCursorDefault;
    }

private:
    bool pressed_ = false;
};

// Dot (1350): one dot at the press, which records its own step.
class DotTool : public PaintTool {
public:
    int Id() const override { return 1350; }
    void Press(ToolContext& c, const MouseEvent& e) override {
        if (c.doc.selectionActive) paint::RestoreCurrentLayer(c.doc);
        paint::Dot(c.doc, e.at, c.settings.colour, c.settings.brushSize);
    }
    int CursorAt(const ToolContext&, const MouseEvent&, bool pressed) const override {
        return pressed ? kCursorDot : kCursorDefault;
    }
};

// Droplet (1354): committed at the press, a preview at each drag step.
class DropletTool : public PaintTool {
public:
    int Id() const override { return 1354; }
    void Press(ToolContext& c, const MouseEvent& e) override {
        paint::RestoreCurrentLayer(c.doc);
        Drop(c, e.at);
        paint::CommitCurrentLayer(c.doc);
        pressed_ = true;
    }
    void Drag(ToolContext& c, const MouseEvent& e) override {
        if (!pressed_) return;
        paint::RestoreCurrentLayer(c.doc);
        Drop(c, e.at);
    }
    void Release(ToolContext& c, const MouseEvent&) override {
        if (!pressed_) return;
        pressed_ = false;
        RecordStep(c.doc, u"물방울");
    }
    void Reset(ToolContext&) override { pressed_ = false; }

private:
    static void Drop(ToolContext& c, ZPoint at) {
        const ZPoint previous = c.anchors.dropletLast.IsSet() ? c.anchors.dropletLast : at;
        c.doc.Host().BeginWaitCursor();
        paint::Droplet(c.doc, previous, at, c.settings.brushSize);
        c.doc.Host().EndWaitCursor();
        c.anchors.dropletLast = at;
    }
    bool pressed_ = false;
};

// Fill (1352): a fill at the press, recorded at once.
class FillTool : public PaintTool {
public:
    int Id() const override { return 1352; }
    void Press(ToolContext& c, const MouseEvent& e) override {
        if (c.doc.selectionActive) paint::RestoreCurrentLayer(c.doc);
        const PaintSettings& s = c.settings;
        if (paint::Fill(c.doc, e.at, s.colour, s.fillTolerance, s.feather)) RecordStep(c.doc, u"채우기");
    }
};

// Straight line (1356): the overlay shows the line while dragging; the
// release strokes it.
class LineTool : public PaintTool {
public:
    int Id() const override { return 1356; }
    void Press(ToolContext& c, const MouseEvent& e) override {
        ClearSelectionIfAny(c.doc);
        c.anchors.first = e.at;
        Show(c, e.at);
    }
    void Drag(ToolContext& c, const MouseEvent& e) override {
        if (!c.anchors.first.IsSet()) return;
        c.anchors.lineEnd = e.at;
        Show(c, e.at);
    }
    void Release(ToolContext& c, const MouseEvent& e) override {
        c.overlay.Hide();
        if (!c.anchors.first.IsSet()) return;
        c.anchors.lineEnd = e.at;
        paint::RestoreCurrentLayer(c.doc);
        const PaintSettings& s = c.settings;
        if (paint::Stroke(c.doc, paint::StrokeMode::Paint, c.anchors.first, e.at, s.colour, s.brushSize, s.brushMode))
            RecordStep(c.doc, u"선그리기");
        c.anchors.first = {};
    }

private:
    static void Show(ToolContext& c, ZPoint to) {
        c.overlay.colour = c.settings.colour;
        c.overlay.Show(OverlayItem{OverlayKind::LineSquares, {c.anchors.first, to}, false});
    }
};

// Polyline (1357): every press after the first strokes the segment from
// the last press and records it; a double click ends the chain.
class PolylineTool : public PaintTool {
public:
    int Id() const override { return 1357; }
    void Press(ToolContext& c, const MouseEvent& e) override {
        if (c.anchors.first.IsSet()) {
            paint::RestoreCurrentLayer(c.doc);
            const PaintSettings& s = c.settings;
            if (paint::Stroke(c.doc, paint::StrokeMode::Paint, c.anchors.first, e.at, s.colour, s.brushSize,
                              s.brushMode))
                RecordStep(c.doc, u"다각형그리기");
        }
        c.anchors.first = e.at;
        c.overlay.Hide();
    }
    void Hover(ToolContext& c, const MouseEvent& e) override {
        if (!c.anchors.first.IsSet()) return;
        c.overlay.colour = c.settings.colour;
        c.overlay.Show(OverlayItem{OverlayKind::LineSquares, {c.anchors.first, e.at}, false});
    }
    void DoubleClick(ToolContext& c, const MouseEvent&) override {
        c.anchors.first = {};
        c.overlay.Hide();
    }
};

// Circle drawing (1380): a preview at each drag step, drawn at the release.
class CircleTool : public PaintTool {
public:
    int Id() const override { return 1380; }
    void Drag(ToolContext& c, const MouseEvent& e) override {
        if (!c.anchors.circleStart.IsSet()) return;
        paint::RestoreCurrentLayer(c.doc);
        paint::Circle(c.doc, c.anchors.circleStart, e.at, c.settings.colour, c.settings.brushSize);
    }
    void Release(ToolContext& c, const MouseEvent& e) override {
        if (!c.anchors.circleStart.IsSet()) return;
        paint::RestoreCurrentLayer(c.doc);
        if (paint::Circle(c.doc, c.anchors.circleStart, e.at, c.settings.colour, c.settings.brushSize))
            RecordStep(c.doc, u"원 그리기");
        c.anchors.circleStart = {};
    }
};

// Gradient (1353): the drag draws the base line as a one-pixel preview; the
// release runs the gradient along it.
class GradientTool : public PaintTool {
public:
    int Id() const override { return 1353; }
    void Press(ToolContext& c, const MouseEvent& e) override {
        paint::RestoreCurrentLayer(c.doc);
        if (!c.anchors.first.IsSet()) c.anchors.first = e.at;
    }
    void Drag(ToolContext& c, const MouseEvent& e) override {
        if (!c.anchors.first.IsSet()) return;
        paint::RestoreCurrentLayer(c.doc);
        paint::Stroke(c.doc, paint::StrokeMode::Paint, c.anchors.first, e.at, c.settings.colour, 1,
                      c.settings.brushMode);
    }
    void Release(ToolContext& c, const MouseEvent& e) override {
        if (!c.anchors.first.IsSet()) return;
        paint::RestoreCurrentLayer(c.doc);
        c.anchors.gradientStart = c.anchors.first;
        c.anchors.gradientEnd = e.at;
        c.anchors.first = {};
        const PaintSettings& s = c.settings;
        c.doc.Host().BeginWaitCursor();
        const bool ok = paint::Gradient(c.doc, c.anchors.gradientStart, c.anchors.gradientEnd, s.colour, s.colour2,
                                        s.gradientMode, s.gradientProfile);
        c.doc.Host().EndWaitCursor();
        if (ok) RecordStep(c.doc, u"그라디언트");
    }
};

// Touch deform (3340): the release deforms the default rectangle there.
class TouchDeformTool : public PaintTool {
public:
    int Id() const override { return 3340; }
    void Press(ToolContext& c, const MouseEvent&) override {
        paint::RestoreCurrentLayer(c.doc);
        c.anchors.moveLast = {};
        pressed_ = true;
    }
    void Release(ToolContext& c, const MouseEvent& e) override {
        if (!pressed_) return;
        pressed_ = false;
        paint::RestoreCurrentLayer(c.doc);
        if (paint::TouchDeform(c.doc, e.at, kHalfWidth, kHalfHeight, 1.0, 0)) RecordStep(c.doc, u"터치변형");
    }
    void Reset(ToolContext&) override { pressed_ = false; }
    // Without the face-transform panel: 80 x 60 half-sizes, strength 1.
    static constexpr int kHalfWidth = 80, kHalfHeight = 60;

private:
    bool pressed_ = false;
};

}  // namespace

std::unique_ptr<Tool> MakePaintTool(int id) {
    switch (id) {
    case 1347: case 4669: return std::make_unique<BrushTool>(id);
    case 1355: return std::make_unique<EraserTool>();
    case 1346: return std::make_unique<SprayTool>();
    case 1350: return std::make_unique<DotTool>();
    case 1354: return std::make_unique<DropletTool>();
    case 1352: return std::make_unique<FillTool>();
    case 1356: return std::make_unique<LineTool>();
    case 1357: return std::make_unique<PolylineTool>();
    case 1380: return std::make_unique<CircleTool>();
    case 1353: return std::make_unique<GradientTool>();
    case 3340: return std::make_unique<TouchDeformTool>();
    default: return nullptr;
    }
}

}  // namespace tools
