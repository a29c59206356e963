// The selection tools: rectangle and circle (a rubber band), lasso, magic
// wand, polygon and colour range at a point. Each hands the document the
// shape's points when the shape is finished (CVexoDoc::SelectShape and
// friends), which fits the mask to the current layer and starts the
// outline animation.
#include <memory>
#include <vector>

#include "CVexoDoc.h"
#include "overlay.h"
#include "paint_settings.h"
#include "selection.h"
#include "tool.h"
#include "tool_box.h"
#include "tool_helpers.h"
#include "anchors.h"

namespace tools {

namespace {

void ScalePoints(std::vector<paint::ZPoint>& pts, double f) {
    for (paint::ZPoint& p : pts) p = paint::ZPoint{int(p.x * f), int(p.y * f)};
}

// Rectangle (1342) and circle (4812): press starts the band, the drag moves
// its far corner, the release makes the selection from it.
class BandSelectTool : public Tool {
public:
    BandSelectTool(int id, int shape) : id_(id), shape_(shape) {}
    int Id() const override { return id_; }

    void Press(ToolContext& c, const MouseEvent& e) override {
        ClearSelectionIfAny(c.doc);
        c.anchors.bandOrigin = c.anchors.first = e.at;
        c.anchors.bandCurrent = {};
        c.doc.selectionDrag = true;
        Show(c, e.at);
    }
    void Drag(ToolContext& c, const MouseEvent& e) override {
        if (!c.anchors.bandOrigin.IsSet()) return;
        c.anchors.bandCurrent = e.at;
        Show(c, e.at);
    }
    void Release(ToolContext& c, const MouseEvent& e) override {
        c.overlay.Hide();
        c.doc.selectionDrag = false;
        // Only a drag makes a band: a click leaves the selection cleared.
        if (!c.doc.selectionActive && c.anchors.first.IsSet() && c.anchors.bandCurrent.IsSet()) {
            c.anchors.bandCurrent = e.at;
            c.doc.SelectShape(shape_, {CanvasOf(c.doc, c.anchors.bandOrigin), CanvasOf(c.doc, e.at)},
                              c.settings.feather);
        }
        c.anchors.first = c.anchors.bandOrigin = c.anchors.bandCurrent = {};
    }
    void DoubleClick(ToolContext& c, const MouseEvent&) override { ClearSelectionIfAny(c.doc); }
    void Reset(ToolContext& c) override { c.doc.selectionDrag = false; }

private:
    void Show(ToolContext& c, paint::ZPoint to) {
        OverlayItem item;
        item.kind = shape_ == selection::kShapeEllipse ? OverlayKind::Circle : OverlayKind::Band;
        item.points = {c.anchors.bandOrigin, to};
        c.overlay.colour = c.settings.colour;
        c.overlay.Show(std::move(item));
    }
    int id_, shape_;
};

// Lasso (1343): the drag traces the outline, the release closes it.
class LassoTool : public Tool {
public:
    int Id() const override { return 1343; }
    void Press(ToolContext& c, const MouseEvent& e) override {
        ClearSelectionIfAny(c.doc);
        c.anchors.lassoStart = c.anchors.first = e.at;
        points_ = {e.at};
        c.doc.selectionDrag = true;
        Show(c);
    }
    void Drag(ToolContext& c, const MouseEvent& e) override {
        if (!c.anchors.first.IsSet()) return;
        points_.push_back(e.at);
        c.anchors.first = e.at;
        Show(c);
    }
    void Release(ToolContext& c, const MouseEvent& e) override {
        c.overlay.Hide();
        c.doc.selectionDrag = false;
        if (c.anchors.lassoStart.IsSet() && !points_.empty()) {
            if (!(points_.back() == e.at)) points_.push_back(e.at);
            c.doc.SelectShape(selection::kShapeLasso, CanvasOf(c.doc, points_), c.settings.feather);
        }
        points_.clear();
        c.anchors.first = c.anchors.lassoStart = {};
    }
    void DoubleClick(ToolContext& c, const MouseEvent&) override { ClearSelectionIfAny(c.doc); }
    void Reset(ToolContext& c) override {
        points_.clear();
        c.doc.selectionDrag = false;
    }
    void ScaleShape(double f) override { ScalePoints(points_, f); }

private:
    void Show(ToolContext& c) {
        c.overlay.colour = c.settings.colour;
        c.overlay.Show(OverlayItem{OverlayKind::Polyline, points_, false});
    }
    std::vector<paint::ZPoint> points_;
};

// Magic wand (1344): the area of similar colour at the press; Shift adds.
class WandTool : public Tool {
public:
    int Id() const override { return 1344; }
    void Press(ToolContext& c, const MouseEvent& e) override {
        if (!e.shift) ClearSelectionIfAny(c.doc);
        const CVexoDoc::CanvasPoint p = CanvasOf(c.doc, e.at);
        if (!c.doc.MagicWand(p.x, p.y, c.settings.wandTolerance, e.shift)) return;
        if (c.settings.feather > 0) {
            SelectionMask& s = c.doc.live.selection;
            selection::Feather(s.mask, s.width, s.height, c.settings.feather);
        }
    }
    void DoubleClick(ToolContext& c, const MouseEvent& e) override {
        if (!e.shift) ClearSelectionIfAny(c.doc);
    }
};

// Polygon (1345): presses place the corners, a double click closes it.
class PolygonTool : public Tool {
public:
    int Id() const override { return 1345; }
    void Press(ToolContext& c, const MouseEvent& e) override {
        if (vertices_.empty()) {
            // A new polygon replaces the selection there was.
            clearedAtPress_ = c.doc.selectionActive;
            ClearSelectionIfAny(c.doc);
            c.anchors.polygonStart = c.anchors.first = e.at;
            vertices_ = {e.at};
        } else {
            clearedAtPress_ = false;
            vertices_.push_back(e.at);
            c.anchors.first = e.at;
        }
        c.doc.selectionDrag = true;
        Show(c, nullptr);
    }
    void Hover(ToolContext& c, const MouseEvent& e) override {
        if (!vertices_.empty()) Show(c, &e.at);
    }
    void DoubleClick(ToolContext& c, const MouseEvent& e) override {
        // The double click on a selection (its first click cleared it)
        // removes it; otherwise it closes the polygon at the point.
        if (c.doc.selectionActive || (clearedAtPress_ && vertices_.size() <= 1)) {
            ClearSelectionIfAny(c.doc);
            Forget(c);
            return;
        }
        if (vertices_.empty()) return;
        vertices_.push_back(e.at);
        const std::vector<paint::ZPoint> pts = vertices_;
        Forget(c);
        c.doc.SelectShape(selection::kShapePolygon, CanvasOf(c.doc, pts), c.settings.feather);
    }
    void Reset(ToolContext& c) override {
        vertices_.clear();
        clearedAtPress_ = false;
        c.doc.selectionDrag = false;
    }
    int CursorAt(const ToolContext&, const MouseEvent&, bool) const override { return kCursorCross; }
    void ScaleShape(double f) override { ScalePoints(vertices_, f); }

private:
    void Forget(ToolContext& c) {
        vertices_.clear();
        clearedAtPress_ = false;
        c.overlay.Hide();
        c.doc.selectionDrag = false;
        c.anchors.first = c.anchors.polygonStart = {};
    }
    void Show(ToolContext& c, const paint::ZPoint* mouse) {
        OverlayItem item{OverlayKind::Polyline, vertices_, false};
        if (mouse) item.points.push_back(*mouse);
        c.overlay.colour = c.settings.colour;
        c.overlay.Show(std::move(item));
    }
    std::vector<paint::ZPoint> vertices_;
    bool clearedAtPress_ = false;
};

// Colour range at a point (3344): the layer's colour under the press is the
// reference colour of the colour-range selection.
class RangeTool : public Tool {
public:
    int Id() const override { return 3344; }
    void Press(ToolContext& c, const MouseEvent& e) override {
        const CVexoDoc::CanvasPoint p = CanvasOf(c.doc, e.at);
        uint32_t colour = 0;
        uint8_t alpha = 0;
        if (!c.doc.GuardRasterLayer() || !LayerColourAt(c.doc, p.x, p.y, colour, alpha)) return;
        if (const ToolBox::RangePick& h = c.box.RangePickHandler()) {
            h(c.doc, colour);
            return;
        }
        // The document's host decides: the editor hands the colour to an
        // open colour-range window, otherwise it selects at once.
        c.doc.Host().ColourRangePicked(c.doc, colour);
    }
};

}  // namespace

std::unique_ptr<Tool> MakeSelectionTool(int id) {
    switch (id) {
    case 1342: return std::make_unique<BandSelectTool>(1342, selection::kShapeRectangle);
    case 4812: return std::make_unique<BandSelectTool>(4812, selection::kShapeEllipse);
    case 1343: return std::make_unique<LassoTool>();
    case 1344: return std::make_unique<WandTool>();
    case 1345: return std::make_unique<PolygonTool>();
    case 3344: return std::make_unique<RangeTool>();
    default: return nullptr;
    }
}

}  // namespace tools
