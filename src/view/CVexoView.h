// The document window's view: shows the document's composite at its zoom
// factor, centred on a grey field over the backdrop hatch, with scroll bars
// in step with the zoom. One persistent image surface per view receives the
// visible rectangle straight from the compositor and goes to the window as
// it is; it is repainted only when something it shows changed: after a
// scroll only the strips that came into view, after a tool step only the
// area it painted and the boxes of the overlay before and after.
//
// Mouse and key events are turned into zoomed image positions (clamped to
// the picture) and handed to the tools of this window (tools::Workbench);
// the view keeps no tool logic. It reaches the application only through
// ViewHost and ViewDocument (view_host.h).
#pragma once

#include <wx/docview.h>
#include <wx/scrolwin.h>
#include <wx/timer.h>

#include <memory>
#include <vector>

typedef struct _cairo_surface cairo_surface_t;

#include "move_cache.h"
#include "overlay.h"
#include "view_host.h"
#include "view_render.h"

class CVexoCanvas;
namespace tools {
class Workbench;
struct MouseEvent;
}

class CVexoView : public wxView {
public:
    CVexoView();
    ~CVexoView() override;

    bool OnCreate(wxDocument* doc, long flags) override;
    void OnDraw(wxDC* dc) override;
    void OnUpdate(wxView* sender, wxObject* hint) override;
    bool OnClose(bool deleteWindow) override;
    void OnActivateView(bool activate, wxView* activeView, wxView* deactiveView) override;
    void OnChangeFilename() override;

    ViewDocument* Doc() const;
    CVexoDoc* Core() const;
    CVexoCanvas* Canvas() const { return canvas_; }

    // Zoom steps (the keyboard reaches 0.0625, the menu stops at 0.125).
    void ZoomIn();
    void ZoomOut();
    void ActualSize();
    void ZoomChanged();
    // The composite must be rebuilt before the next paint.
    void MarkRebuild() { rebuildComposite_ = true; }
    void UpdateTitle();

    // Paints the client area into the persistent surface (32-bit pixels,
    // blue first); null when it cannot be made.
    cairo_surface_t* RenderFrame(int clientW, int clientH, int scrollX, int scrollY);

    // Selection outline animation (timer 1).
    void StartOutlineTimer(int ms);
    void StopOutlineTimer();
    // A suspended animation starts again (a mouse move over the view).
    void RestartOutline();

    // Picking the transparent colour (command 1427): the next left click in
    // the picture picks it, Esc cancels; a cross cursor meanwhile.
    void BeginTransparentPick();
    void EndTransparentPick();
    bool PickingTransparent() const { return pickTransparent_; }
    // A click at a client position while picking; false outside the picture.
    bool PickTransparentAt(int clientX, int clientY);

    // The tools of this window (made once the document has its core).
    tools::Workbench* Bench();
    // A client position as the tools see it: zoomed image coordinates,
    // clamped into the picture.
    tools::MouseEvent ToolEvent(int clientX, int clientY, bool shift, bool ctrl) const;
    // Before and after every event handed to the tools: document updates
    // asked for meanwhile are collected, then only what changed is repainted.
    void BeginToolEvent();
    void EndToolEvent();
    // The cursor the current tool shows at a client position.
    void UpdateCursor(int clientX, int clientY);
    // The status bar: the picture pixel and colour under the mouse.
    void ShowPointer(int clientX, int clientY);

private:
    void OnZoomIn(wxCommandEvent&);
    void OnZoomOut(wxCommandEvent&);
    void OnActualSize(wxCommandEvent&);
    void OnUpdateZoom(wxUpdateUIEvent& event);
    void OnTimer(wxTimerEvent&);
    void ZoomBy(bool in);
    // Zoomed rectangle to the client rectangle that shows it.
    wxRect ClientRectOf(const tools::ZRect& r) const;
    void DrawOverlay(viewmath::Frame& out, const viewmath::Visible& v, const std::vector<viewmath::Clip>& clips);
    viewmath::FramePainter::State PaintState(int scrollX, int scrollY) const;
    struct PaintKey {
        int cw = -1, ch = -1;
        viewmath::FramePainter::State state;
        int phase = 0;
        bool operator==(const PaintKey&) const = default;
    };

    CVexoCanvas* canvas_ = nullptr;
    bool rebuildComposite_ = true;
    cairo_surface_t* surface_ = nullptr;   // the persistent frame of this view
    viewmath::FramePainter painter_;
    PaintKey lastKey_;
    wxTimer outlineTimer_;
    int ticks_ = 0;
    bool outlineSuspended_ = false;
    bool pickTransparent_ = false;
    // Tools.
    std::unique_ptr<tools::Workbench> bench_;
    tools::MoveCache moveCache_;   // the layers below and above a moving layer
    CVexoDoc* benchCore_ = nullptr;
    int dispatching_ = 0;
    bool updateAsked_ = false;
    std::vector<tools::ZRect> pending_;   // zoomed rectangles to repaint
    bool outlineDrawn_ = false, overlayDrawn_ = false;

    wxDECLARE_DYNAMIC_CLASS(CVexoView);
    wxDECLARE_EVENT_TABLE();
};

class CVexoCanvas : public wxScrolledCanvas {
public:
    CVexoCanvas(CVexoView* view, wxWindow* parent);
    void SetZoomedSize(int w, int h);
    void DropView() { view_ = nullptr; }

private:
    void OnPaint(wxPaintEvent&);
    void OnKeyDown(wxKeyEvent& event);
    void OnKeyUp(wxKeyEvent& event);
    void OnContextMenu(wxContextMenuEvent& event);
    void OnMouse(wxMouseEvent& event);
    void OnScroll(wxScrollWinEvent& event);
    void OnCaptureLost(wxMouseCaptureLostEvent& event);

    CVexoView* view_;
    bool ctrlHeld_ = false;
    bool shiftRepeat_ = false;   // the Shift key held (the wand adds)
    wxPoint lastMouse_{-1, -1};
};
