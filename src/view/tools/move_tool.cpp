// The move tool (1570): the layer move with the mouse and the arrow keys,
// the floating selection (floating.h), and the hand-over of a layer to
// another document window (the drag out of a window, the follow state in
// the other one). Its message filter keeps the last of press, release,
// leave and hover it saw: a leave right after a press (the button still
// held) is a drag out of the window.
#include <algorithm>
#include <memory>

#include "CVexoDoc.h"
#include "commands.h"
#include "floating.h"
#include "modes.h"
#include "paint_settings.h"
#include "tool.h"
#include "tool_box.h"
#include "tool_helpers.h"
#include "tool_ui.h"
#include "undo_journal.h"
#include "workbench.h"

namespace tools {

namespace {

constexpr const char16_t* kLayerMoved = u"전체영상 위치이동";
constexpr const char16_t* kSelectionMoved = u"선택영역 위치이동";

// The layer's top-left corner on the canvas (origin top-left).
CVexoDoc::CanvasPoint LayerCorner(const CVexoDoc& doc, int layer) {
    const LayerRecord& l = doc.Layer(layer);
    return CVexoDoc::CanvasPoint{l.x, doc.live.canvas.height - l.height + l.y};
}

// The top-left corner (canvas) of what the copy command puts on the
// clipboard: the box of the selected pixels of the current layer, or the
// layer's corner.
CVexoDoc::CanvasPoint CopiedCorner(const CVexoDoc& doc, bool whole) {
    const int cur = doc.currentLayer;
    CVexoDoc::CanvasPoint corner = LayerCorner(doc, cur);
    const SelectionMask& sel = doc.live.selection;
    if (whole || !doc.selectionActive || sel.width < 1 || sel.height < 1 ||
        sel.mask.size() < size_t(sel.width) * size_t(sel.height))
        return corner;
    const LayerRecord& l = doc.Layer(cur);
    const int64_t dc = int64_t(l.x) - sel.x, dr = int64_t(sel.y) - l.y;
    int c0 = l.width, r1 = -1;
    for (int r = 0; r < l.height; ++r) {
        const int64_t mr = r + dr;
        if (mr < 0 || mr >= sel.height) continue;
        for (int c = 0; c < l.width; ++c) {
            const int64_t mc = c + dc;
            if (mc < 0 || mc >= sel.width || sel.mask[size_t(mr) * size_t(sel.width) + size_t(mc)] == 0) continue;
            c0 = std::min(c0, c);
            r1 = std::max(r1, r);
        }
    }
    if (r1 < 0) return corner;
    // Stored row r1 is the box's top row.
    return CVexoDoc::CanvasPoint{l.x + c0, corner.y + (l.height - 1 - r1)};
}

class MoveTool : public Tool {
public:
    int Id() const override { return 1570; }

    void Press(ToolContext& c, const MouseEvent& e) override {
        last_ = Notice::Press;
        EndFollow(c);
        // A press anywhere drops a hand-over not taken up.
        if (c.box.DragOut().active) CancelHandOver(c.box);
        finished_ = false;
        moved_ = false;
        dragging_ = IsValidLayer(c.doc.currentLayer);
        if (!dragging_) return;
        pressAt_ = lastAt_ = CanvasOf(c.doc, e.at);
        const LayerRecord& l = c.doc.Layer(c.doc.currentLayer);
        startX_ = l.x;
        startY_ = l.y;
        if (piece_.Active() && !piece_.Valid(c.doc)) piece_.Drop();
        pieceStartX_ = piece_.OffsetX();
        pieceStartY_ = piece_.OffsetY();
    }
    void Drag(ToolContext& c, const MouseEvent& e) override {
        if (!dragging_ || finished_ || !IsValidLayer(c.doc.currentLayer)) return;
        const CVexoDoc::CanvasPoint at = CanvasOf(c.doc, e.at);
        const int dx = at.x - lastAt_.x, dy = at.y - lastAt_.y;
        if (c.doc.selectionActive) {
            // The first move only lifts the selected pixels.
            if (!piece_.Valid(c.doc)) {
                if (piece_.Lift(c.doc, c.settings.colour2)) {
                    pieceStartX_ = pieceStartY_ = 0;
                    lastAt_ = at;
                }
                return;
            }
            piece_.MoveBy(c.doc, dx, dy);
            lastAt_ = at;
            return;
        }
        // Refused beyond one layer size: the layer waits where it is and
        // follows again once the mouse comes back.
        if (c.doc.MoveLayer(c.doc.currentLayer, dx, dy, false)) {
            lastAt_ = at;
            moved_ = true;
        }
    }
    void Release(ToolContext& c, const MouseEvent& e) override {
        last_ = Notice::Release;
        if (!dragging_) return;
        if (!finished_) {
            Drag(c, e);
            Finish(c);
        }
        dragging_ = false;
        finished_ = false;
    }
    void Leave(ToolContext& c) override {
        const Notice before = last_;
        last_ = Notice::Leave;
        // Out of the window with the button held: the move ends here and the
        // layer (or its selected part) goes over to the window the mouse
        // comes to.
        if (before != Notice::Press || !dragging_ || finished_ || !c.bench.Pressed()) return;
        Finish(c);
        finished_ = true;
        const CVexoDoc::CanvasPoint corner = CopiedCorner(c.doc, false);
        StartHandOver(c.box, c.doc, c.doc.currentLayer, &c.bench, true, lastAt_.x - corner.x, lastAt_.y - corner.y);
    }
    void Hover(ToolContext& c, const MouseEvent& e) override {
        last_ = Notice::Hover;
        const HandOver& h = c.box.DragOut();
        if (h.active && h.source != &c.bench) {
            TakeOver(c, e);
            return;
        }
        if (!following_) return;
        if (!IsValidLayer(followLayer_) || !c.doc.InStack(followLayer_)) {
            following_ = false;
            return;
        }
        const CVexoDoc::CanvasPoint at = CanvasOf(c.doc, e.at);
        if (c.doc.MoveLayer(followLayer_, at.x - lastAt_.x, at.y - lastAt_.y, false)) lastAt_ = at;
    }
    bool KeyDown(ToolContext& c, const KeyEvent& k) override {
        int dx = 0, dy = 0;
        switch (k.key) {
        case Key::Left: dx = -1; break;
        case Key::Right: dx = 1; break;
        case Key::Up: dy = -1; break;
        case Key::Down: dy = 1; break;
        case Key::Return:
        case Key::Escape:
            // Puts the floating piece down and ends a follow state.
            piece_.Drop();
            EndFollow(c);
            return true;
        default: return false;
        }
        const int cur = c.doc.currentLayer;
        if (!IsValidLayer(cur)) return false;
        // One layer pixel whatever the zoom.
        if (c.doc.selectionActive) {
            if (!piece_.Valid(c.doc) && !piece_.Lift(c.doc, c.settings.colour2)) return true;
            piece_.MoveBy(c.doc, dx, dy);
            c.doc.RecordUndoStep(kSelectionMoved, UndoLayerChanged, cur);
            piece_.Touch(c.doc);
        } else if (c.doc.MoveLayer(cur, dx, dy, false)) {
            c.doc.RecordUndoStep(kLayerMoved, UndoLayerChanged, cur);
        }
        c.doc.SelectLayer(cur);
        return true;
    }
    int CursorAt(const ToolContext&, const MouseEvent&, bool) const override { return kCursorMove; }
    void Reset(ToolContext& c) override {
        piece_.Drop();
        EndFollow(c);
        dragging_ = finished_ = false;
        last_ = Notice::None;
    }
    int MovingLayer(const CVexoDoc& doc) const override {
        if (following_) return followLayer_;
        if (dragging_ && !finished_ && !doc.selectionActive) return doc.currentLayer;
        return -1;
    }

private:
    enum class Notice { None, Press, Release, Leave, Hover };

    // The end of a drag: the step of what moved.
    void Finish(ToolContext& c) {
        const int cur = c.doc.currentLayer;
        if (!IsValidLayer(cur)) return;
        if (piece_.Valid(c.doc)) {
            if (piece_.OffsetX() != pieceStartX_ || piece_.OffsetY() != pieceStartY_) {
                c.doc.RecordUndoStep(kSelectionMoved, UndoLayerChanged, cur);
                piece_.Touch(c.doc);
            }
            return;
        }
        const LayerRecord& l = c.doc.Layer(cur);
        if (moved_ && (l.x != startX_ || l.y != startY_)) c.doc.RecordUndoStep(kLayerMoved, UndoLayerChanged, cur);
        moved_ = false;
    }
    // The hand-over reaches this window: the clipboard picture becomes a new
    // layer that follows the mouse.
    void TakeOver(ToolContext& c, const MouseEvent& e) {
        const HandOver h = c.box.DragOut();
        CancelHandOver(c.box);
        const commands::Command* paste = commands::All().Find(57637);
        if (!paste || !paste->run(c.doc, {})) return;
        followLayer_ = c.doc.currentLayer;
        const CVexoDoc::CanvasPoint at = CanvasOf(c.doc, e.at);
        // The point the mouse held comes under the mouse.
        const CVexoDoc::CanvasPoint corner = LayerCorner(c.doc, followLayer_);
        const int gx = h.grab ? h.grabX : 0, gy = h.grab ? h.grabY : 0;
        c.doc.MoveLayer(followLayer_, at.x - gx - corner.x, at.y - gy - corner.y, false);
        const LayerRecord& l = c.doc.Layer(followLayer_);
        followStartX_ = l.x;
        followStartY_ = l.y;
        lastAt_ = at;
        following_ = true;
        c.bench.RequestFocus();
    }
    void EndFollow(ToolContext& c) {
        if (!following_) return;
        following_ = false;
        if (!IsValidLayer(followLayer_) || !c.doc.InStack(followLayer_)) return;
        const LayerRecord& l = c.doc.Layer(followLayer_);
        if (l.x != followStartX_ || l.y != followStartY_)
            c.doc.RecordUndoStep(kLayerMoved, UndoLayerChanged, followLayer_);
    }

    Notice last_ = Notice::None;
    bool dragging_ = false, finished_ = false, moved_ = false;
    CVexoDoc::CanvasPoint pressAt_{0, 0}, lastAt_{0, 0};
    int startX_ = 0, startY_ = 0;
    FloatingPiece piece_;
    int pieceStartX_ = 0, pieceStartY_ = 0;
    bool following_ = false;
    int followLayer_ = -1, followStartX_ = 0, followStartY_ = 0;
};

}  // namespace

std::unique_ptr<Tool> MakeMoveTool(int id) {
    if (id != 1570) return nullptr;
    return std::make_unique<MoveTool>();
}

bool StartHandOver(ToolBox& box, CVexoDoc& doc, int layer, const Workbench* source, bool grab, int grabX, int grabY) {
    CancelHandOver(box);
    if (!IsValidLayer(layer) || !doc.InStack(layer)) return false;
    if (box.Current() != 1570 && !box.Switch(1570)) return false;
    // The layers panel hands over a whole layer; the move tool the current
    // layer or its selected part.
    const bool whole = source == nullptr;
    if (layer != doc.currentLayer && !doc.SelectLayer(layer)) return false;
    if (!doc.GuardRasterLayer()) return false;
    const bool kept = doc.selectionActive;
    if (whole) doc.selectionActive = false;
    std::vector<uint8_t> dib;
    const bool copied = doc.SelectionToDib(dib) && doc.Host().SetClipboardDib(dib);
    doc.selectionActive = kept;
    if (!copied) return false;
    HandOver& h = box.DragOut();
    h.active = true;
    h.source = source;
    h.sourceDoc = &doc;
    h.grab = grab;
    h.grabX = grabX;
    h.grabY = grabY;
    return true;
}

void CancelHandOver(ToolBox& box) { box.DragOut() = HandOver{}; }

}  // namespace tools
