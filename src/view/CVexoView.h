// The document window's view: shows the document's composite at its zoom
// factor, centred on a grey field over the backdrop hatch, with scroll bars
// in step with the zoom. One persistent image surface per view receives the
// visible rectangle straight from the compositor and goes to the window as
// it is; it is repainted only when something it shows changed, and after a
// scroll only the strips that came into view are composited.
#pragma once

#include <wx/docview.h>
#include <wx/scrolwin.h>
#include <wx/timer.h>

#include <vector>

typedef struct _cairo_surface cairo_surface_t;

#include "view_render.h"

class CVexoDocument;
class CVexoCanvas;

class CVexoView : public wxView {
public:
    CVexoView() = default;
    ~CVexoView() override;

    bool OnCreate(wxDocument* doc, long flags) override;
    void OnDraw(wxDC* dc) override;
    void OnUpdate(wxView* sender, wxObject* hint) override;
    bool OnClose(bool deleteWindow) override;
    void OnActivateView(bool activate, wxView* activeView, wxView* deactiveView) override;
    void OnChangeFilename() override;

    CVexoDocument* Doc() const;
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

    // Picking the transparent colour (command 1427): the next left click in
    // the picture picks it, Esc cancels; a cross cursor meanwhile.
    void BeginTransparentPick();
    void EndTransparentPick();
    bool PickingTransparent() const { return pickTransparent_; }
    // A click at a client position while picking; false outside the picture.
    bool PickTransparentAt(int clientX, int clientY);

private:
    void OnZoomIn(wxCommandEvent&);
    void OnZoomOut(wxCommandEvent&);
    void OnActualSize(wxCommandEvent&);
    void OnUpdateZoom(wxUpdateUIEvent& event);
    void OnTimer(wxTimerEvent&);
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
    void OnContextMenu(wxContextMenuEvent& event);
    void OnMouse(wxMouseEvent& event);
    void OnScroll(wxScrollWinEvent& event);

    CVexoView* view_;
    bool ctrlHeld_ = false;
    wxPoint lastMouse_{-1, -1};
};
