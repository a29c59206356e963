// The tools of one document window: delivers the view's (or a test's, or
// pimlora-cli's) mouse and key events to the current tool with the common
// steps of the dispatch, keeps the document's anchors, the overlay and the
// tool objects with their shapes in progress, and tells the view what to
// repaint afterwards.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "anchors.h"
#include "overlay.h"
#include "tool.h"

class CVexoDoc;

namespace tools {

class ToolBox;
class ToolUi;

// What the view must repaint after an event.
struct Damage {
    bool full = false;            // everything (the selection or the layers changed)
    std::vector<ZRect> rects;     // else these zoomed rectangles
    bool Empty() const { return !full && rects.empty(); }
};

class Workbench {
public:
    Workbench(ToolBox& box, CVexoDoc& doc, ToolUi& ui);
    ~Workbench();
    Workbench(const Workbench&) = delete;
    Workbench& operator=(const Workbench&) = delete;

    CVexoDoc& Doc() const { return *doc_; }
    ToolBox& Box() const { return box_; }
    ToolUi& Ui() const { return ui_; }
    // The document window hands the workbench to another document (drag
    // into a window) or gets a new one: anchors and shapes start afresh.
    void SetDocument(CVexoDoc& doc);

    // Mouse events in zoomed image coordinates, clamped to the picture.
    void Press(const MouseEvent& e);
    // A move: with the button held after a press it is a drag step, else a
    // hover; nothing happens when the position did not change since the
    // last move.
    void Move(const MouseEvent& e, bool buttonHeld);
    void Release(const MouseEvent& e);
    void DoubleClick(const MouseEvent& e);
    bool KeyDown(const KeyEvent& e);
    void Enter();
    void Leave();
    // The hover notice: the mouse rests over the window (it came in, or a
    // drag out of another window ended over it) with no button held. The
    // tool hears it as a hover even at the position it saw last.
    void HoverNotice(const MouseEvent& e);

    bool Pressed() const { return pressed_; }
    int Cursor(const MouseEvent& e) const;

    ToolAnchors& Anchors() { return anchors_; }
    const Overlay& GetOverlay() const { return overlay_; }
    Overlay& GetOverlay() { return overlay_; }
    // The tool object of the current tool (made on first use).
    Tool& Current();

    // The repaint the events since the last call need; resets it.
    Damage TakeDamage();
    // The tool switch chose a tool: anchors and shapes start afresh.
    void ResetTools();
    // A zoom step multiplies the anchors.
    void ScaleAnchors(double factor);
    // What stays over the picture between events (the path while the path
    // panel is open, the free-transform frame) follows the document again.
    void RefreshBackground();

    // The zoom tool: one zoom step around a zoomed point (the document's
    // zoom command, the anchors follow); the view then keeps that point of
    // the picture under the mouse (TakeZoomCentre gives it, zoomed anew).
    bool ZoomAt(paint::ZPoint at, bool in);
    bool TakeZoomCentre(paint::ZPoint& at);
    // A tool asks for the keyboard (a layer handed over into this window).
    void RequestFocus() { focusAsked_ = true; }
    bool TakeFocusRequest();
    // The layer the current tool moves at every step now, or -1.
    int MovingLayer();

private:
    template <class Fn>
    void Dispatch(Fn&& fn, bool pixels);
    ToolContext Context();
    struct Before;

    ToolBox& box_;
    CVexoDoc* doc_;
    ToolUi& ui_;
    ToolAnchors anchors_;
    Overlay overlay_;
    std::map<int, std::unique_ptr<Tool>> tools_;
    bool pressed_ = false;
    paint::ZPoint lastMove_;
    Damage damage_;
    bool zoomAsked_ = false, focusAsked_ = false;
    paint::ZPoint zoomCentre_;
};

}  // namespace tools
