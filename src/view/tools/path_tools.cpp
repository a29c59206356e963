// The path tools of the path panel: place anchors (5615), drag an anchor
// (5616), insert (5620) and delete (5621) one, and the panel's commands
// (1509 open, close, 5622 selection from the path). The path itself is the
// document's (anchor_path.h); the overlay shows its curve and anchors while
// the panel is open (Workbench refreshes it after every event).
#include <memory>

#include "CVexoDoc.h"
#include "anchor_path.h"
#include "commands.h"
#include "modes.h"
#include "paint_settings.h"
#include "tool.h"
#include "tool_box.h"
#include "tool_helpers.h"
#include "tool_table.h"
#include "tool_ui.h"
#include "workbench.h"

namespace tools {

namespace {

using docpath::AnchorPath;
using docpath::Point;

Point LayerPoint(const CVexoDoc& doc, paint::ZPoint at) {
    const CVexoDoc::CanvasPoint c = CanvasOf(doc, at);
    return docpath::ToLayer(doc, doc.currentLayer, c.x, c.y);
}

class PathTool : public Tool {
public:
    explicit PathTool(int id) : id_(id) {}
    int Id() const override { return id_; }

    void Press(ToolContext& c, const MouseEvent& e) override {
        if (!IsValidLayer(c.doc.currentLayer)) return;
        const Point q = LayerPoint(c.doc, e.at);
        switch (id_) {
        case 5615: Place(c, q); break;
        case 5616: dragged_ = c.doc.anchorPath.Nearest(q); break;
        case 5620: Insert(c, q); break;
        case 5621: Delete(c, q); break;
        default: break;
        }
    }
    void Drag(ToolContext& c, const MouseEvent& e) override {
        AnchorPath& path = c.doc.anchorPath;
        if (id_ != 5616 || path.Empty() || !IsValidLayer(c.doc.currentLayer)) return;
        const Point q = LayerPoint(c.doc, e.at);
        // The anchor taken at the press follows the mouse (without one, the
        // nearest to the mouse).
        if (dragged_ < 0 || dragged_ >= int(path.anchors.size())) dragged_ = path.Nearest(q);
        path.anchors[size_t(dragged_)] = q;
    }
    void Release(ToolContext&, const MouseEvent&) override { dragged_ = -1; }
    bool KeyDown(ToolContext& c, const KeyEvent& k) override {
        if (k.key == Key::Escape) {
            ClosePathPanel(c.box, &c.doc, c.ui);
            return true;
        }
        // Delete takes back the last anchor placed.
        if (k.key == Key::Delete && id_ == 5615 && !c.doc.anchorPath.Empty()) {
            AnchorPath& path = c.doc.anchorPath;
            path.anchors.pop_back();
            if (path.anchors.size() < 3) path.completed = false;
            return true;
        }
        return false;
    }
    int CursorAt(const ToolContext& c, const MouseEvent& e, bool) const override {
        const AnchorPath& path = c.doc.anchorPath;
        if (path.Empty() || !IsValidLayer(c.doc.currentLayer)) return kCursorDefault;
        int64_t d2 = 0;
        const int n = path.Nearest(LayerPoint(c.doc, e.at), &d2);
        if (id_ == 5615 && n == 0 && d2 < docpath::kFirstAnchorSq) return kCursorHand;
        if (id_ == 5616 && d2 <= docpath::kGrabSq) return kCursorHand;
        return kCursorDefault;
    }
    void Reset(ToolContext&) override { dragged_ = -1; }

private:
    void Place(ToolContext& c, Point q) {
        AnchorPath& path = c.doc.anchorPath;
        // A path whose last anchor lies on its first is closed.
        if (path.anchors.size() >= 4 && path.anchors.back() == path.anchors.front()) return;
        if (path.completed) {
            if (c.ui.Ask(docpath::kRemoveCompleted)) path.Clear();
            return;
        }
        int64_t d2 = 0;
        const bool completes = path.Nearest(q, &d2) == 0 && d2 < docpath::kFirstAnchorSq;
        if (completes) {
            path.completed = true;
            return;
        }
        if (int(path.anchors.size()) >= docpath::kMaxAnchors) {
            c.ui.Message(docpath::kTooManyAnchors);
            return;
        }
        path.anchors.push_back(q);
    }
    void Insert(ToolContext& c, Point q) {
        AnchorPath& path = c.doc.anchorPath;
        if (int(path.anchors.size()) >= docpath::kMaxAnchors) {
            c.ui.Message(docpath::kTooManyAnchors);
            return;
        }
        const int at = docpath::InsertionIndex(path, q);
        path.anchors.insert(path.anchors.begin() + at, q);
    }
    void Delete(ToolContext& c, Point q) {
        ClearSelectionIfAny(c.doc);
        AnchorPath& path = c.doc.anchorPath;
        if (path.anchors.size() <= 2) {
            path.Clear();
            return;
        }
        path.anchors.erase(path.anchors.begin() + path.Nearest(q));
        if (path.anchors.size() < 3) path.completed = false;
    }

    int id_;
    int dragged_ = -1;
};

}  // namespace

std::unique_ptr<Tool> MakePathTool(int id) {
    if (!IsPathTool(id)) return nullptr;
    return std::make_unique<PathTool>(id);
}

bool OpenPathPanel(ToolBox& box, CVexoDoc* doc) {
    if (box.PathPanelShown() && IsPathTool(box.Current())) return true;
    // The path tools do not work on text and balloon layers' pixels, but a
    // path can be drawn over any layer: no guard here.
    (void)doc;
    return box.Switch(5615);
}

void ClosePathPanel(ToolBox& box, CVexoDoc* doc, ToolUi& ui) {
    if (doc && !doc->anchorPath.Empty() && ui.Ask(docpath::kRemoveWorked)) doc->anchorPath.Clear();
    box.SetPathPanelShown(false);
    if (IsPathTool(box.Current())) {
        box.Switch(-1);
        return;
    }
    for (Workbench* w : box.Workbenches()) w->RefreshBackground();
}

bool MakePathSelection(ToolBox& box, CVexoDoc& doc) {
    const commands::Command* c = commands::All().Find(5622);
    return c && c->run(doc, {box.Settings().feather});
}

}  // namespace tools
