#include "CVexoView.h"

#include <wx/dcbuffer.h>
#include <wx/wx.h>

#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "../app/CChildFrame.h"
#include "../app/CMainFrame.h"
#include "../app/CVexoApp.h"
#include "../app/CVexoDocument.h"
#include "../app/command_ids.h"
#include "CVexoDoc.h"
#include "transparency.h"

wxIMPLEMENT_DYNAMIC_CLASS(CVexoView, wxView);

wxBEGIN_EVENT_TABLE(CVexoView, wxView)
    EVT_MENU(cmd::ZoomIn, CVexoView::OnZoomIn)
    EVT_MENU(cmd::ZoomOut, CVexoView::OnZoomOut)
    EVT_MENU(cmd::ActualSize, CVexoView::OnActualSize)
    EVT_UPDATE_UI(cmd::ZoomIn, CVexoView::OnUpdateZoom)
    EVT_UPDATE_UI(cmd::ZoomOut, CVexoView::OnUpdateZoom)
    EVT_UPDATE_UI(cmd::ActualSize, CVexoView::OnUpdateZoom)
wxEND_EVENT_TABLE()

namespace {
// The zoom-changed hint.
class ZoomHint : public wxObject {};
ZoomHint gZoomHint;
}  // namespace

CVexoDocument* CVexoView::Doc() const { return static_cast<CVexoDocument*>(GetDocument()); }

bool CVexoView::OnCreate(wxDocument* doc, long flags) {
    if (!wxView::OnCreate(doc, flags)) return false;
    CMainFrame* main = wxGetApp().MainFrame();
    auto* frame = new CChildFrame(doc, this, main, doc->GetUserReadableName());
    canvas_ = new CVexoCanvas(this, frame);
    SetFrame(frame);
    outlineTimer_.SetOwner(this);
    Bind(wxEVT_TIMER, &CVexoView::OnTimer, this);
    frame->Show(true);
    canvas_->SetFocus();
    return true;
}

void CVexoView::OnDraw(wxDC*) {}   // the canvas paints itself

bool CVexoView::OnClose(bool deleteWindow) {
    StopOutlineTimer();
    if (!wxView::OnClose(deleteWindow)) return false;
    Activate(false);
    if (canvas_) canvas_->DropView();
    if (deleteWindow && GetFrame()) {
        GetFrame()->Destroy();
        SetFrame(nullptr);
    }
    return true;
}

void CVexoView::OnActivateView(bool activate, wxView*, wxView*) {
    if (!activate) {
        if (outlineTimer_.IsRunning()) {
            outlineTimer_.Stop();
            outlineSuspended_ = true;
        }
        return;
    }
    if (CMainFrame* main = wxGetApp().MainFrame()) {
        main->SetProgress(0);
        if (auto* f = wxDynamicCast(GetFrame(), wxTopLevelWindow)) main->ShowDocumentTitle(f->GetTitle());
        else if (auto* c = dynamic_cast<CChildFrame*>(GetFrame())) main->ShowDocumentTitle(c->GetTitle());
    }
    if (outlineSuspended_) StartOutlineTimer(400);
}

void CVexoView::OnChangeFilename() { UpdateTitle(); }

void CVexoView::OnUpdate(wxView*, wxObject* hint) {
    CVexoDoc* core = Doc() ? Doc()->Core() : nullptr;
    if (!core || !canvas_) return;
    if (core->viewRebuild) rebuildComposite_ = true;
    const CanvasInfo& c = core->live.canvas;
    int zw = int(c.width * core->zoom), zh = int(c.height * core->zoom);
    if (hint == &gZoomHint) {
        // Keep the relative scroll position across the change of extent.
        wxSize oldExtent = canvas_->GetVirtualSize();
        int sx, sy;
        canvas_->GetViewStart(&sx, &sy);
        double rx = oldExtent.x > 0 ? std::max(0.0, double(sx) / oldExtent.x) : 0;
        double ry = oldExtent.y > 0 ? std::max(0.0, double(sy) / oldExtent.y) : 0;
        canvas_->SetZoomedSize(zw, zh);
        if (oldExtent.x > 0 && oldExtent.y > 0) {
            wxSize client = canvas_->GetClientSize();
            int nx = std::max(0, std::min(int(rx * zw), zw - client.x));
            int ny = std::max(0, std::min(int(ry * zh), zh - client.y));
            canvas_->Scroll(nx, ny);
        }
    } else {
        canvas_->SetZoomedSize(zw, zh);
    }
    UpdateTitle();
    canvas_->Refresh(false);
}

void CVexoView::UpdateTitle() {
    CVexoDocument* doc = Doc();
    if (!doc || !doc->Core() || !GetFrame()) return;
    int percent = int(doc->Core()->zoom * 100.0);
    wxString title = wxString::Format("%s %d %s ", wxString::FromUTF8(doc->DisplayName()), percent, "%");
    if (!doc->TitleSuffix().empty()) title = wxString::Format("%s %s", title, wxString::FromUTF8(doc->TitleSuffix()));
    if (auto* c = dynamic_cast<CChildFrame*>(GetFrame()))
        if (c->GetTitle() != title) c->SetTitle(title);
    CMainFrame* main = wxGetApp().MainFrame();
    if (main && main->ActiveView() == this) main->ShowDocumentTitle(title);
}

void CVexoView::ZoomChanged() {
    if (Doc()) Doc()->UpdateAllViews(nullptr, &gZoomHint);
}

void CVexoView::ZoomIn() {
    CVexoDoc* core = Doc() ? Doc()->Core() : nullptr;
    if (core && viewmath::ZoomInStep(core->zoom)) ZoomChanged();
}

void CVexoView::ZoomOut() {
    CVexoDoc* core = Doc() ? Doc()->Core() : nullptr;
    if (core && viewmath::ZoomOutStep(core->zoom)) ZoomChanged();
}

void CVexoView::ActualSize() {
    CVexoDoc* core = Doc() ? Doc()->Core() : nullptr;
    if (!core) return;
    core->zoom = 1.0;
    ZoomChanged();
}

void CVexoView::OnZoomIn(wxCommandEvent&) { ZoomIn(); }

void CVexoView::OnZoomOut(wxCommandEvent&) {
    // The menu entry stops at 0.125.
    CVexoDoc* core = Doc() ? Doc()->Core() : nullptr;
    if (core && core->zoom > viewmath::kZoomMenuMin) ZoomOut();
}

void CVexoView::OnActualSize(wxCommandEvent&) { ActualSize(); }

void CVexoView::OnUpdateZoom(wxUpdateUIEvent& event) {
    CVexoDoc* core = Doc() ? Doc()->Core() : nullptr;
    if (!core) {
        event.Enable(false);
        return;
    }
    double z = core->zoom;
    switch (event.GetId()) {
        case cmd::ZoomIn: event.Enable(z < viewmath::kZoomMax); break;
        case cmd::ZoomOut: event.Enable(z > viewmath::kZoomMenuMin); break;
        default: event.Enable(z != 1.0); break;
    }
}

CVexoView::~CVexoView() {
    if (surface_) cairo_surface_destroy(surface_);
}

cairo_surface_t* CVexoView::RenderFrame(int clientW, int clientH, int scrollX, int scrollY) {
    clientW = std::max(clientW, 1);
    clientH = std::max(clientH, 1);
    CVexoDoc* core = Doc() ? Doc()->Core() : nullptr;
    CMainFrame* main = wxGetApp().MainFrame();
    viewmath::FramePainter::State state;
    if (main) {
        state.look.hatch = main->settings.transpRep;
        state.look.gridGap = main->settings.gridGap;
        state.look.gridColour = uint32_t(main->settings.gridColour);
    }
    state.z = core ? core->zoom : 1.0;
    state.W = core ? core->live.canvas.width : 0;
    state.H = core ? core->live.canvas.height : 0;
    state.scrollX = scrollX;
    state.scrollY = scrollY;
    // The surface stays as it is when nothing it shows has changed.
    const PaintKey key{clientW, clientH, state, ticks_};
    const bool changed = rebuildComposite_ || (core && (core->viewRebuild || core->outlineChanged));
    if (surface_ && !changed && key == lastKey_) return surface_;
    if (!surface_ || cairo_image_surface_get_width(surface_) != clientW ||
        cairo_image_surface_get_height(surface_) != clientH) {
        if (surface_) cairo_surface_destroy(surface_);
        surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, clientW, clientH);
        painter_.Invalidate();
        if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(surface_);
            surface_ = nullptr;
            return nullptr;
        }
    }
    cairo_surface_flush(surface_);
    viewmath::Frame out;
    out.px = cairo_image_surface_get_data(surface_);
    out.stride = cairo_image_surface_get_stride(surface_);
    out.clientW = clientW;
    out.clientH = clientH;
    viewmath::CompositeFn composite;
    if (core && core->headLayer != kNoLayer)
        composite = [core](int left, int top, int width, int height, uint8_t* dst, ptrdiff_t stride) {
            core->CompositeRect(core->headLayer, -1, core->zoom, left, top, width, height, dst, stride);
        };
    // The outline is drawn over the pixels: with a selection every paint
    // starts afresh.
    const bool outline = core && core->selectionActive;
    const viewmath::Visible v = painter_.Paint(state, out, composite, changed || outline);
    if (outline) {
        const SelectionMask& sel = core->live.selection;
        viewmath::MaskView m;
        if (sel.size > 0 && sel.mask.size() >= size_t(sel.width) * size_t(sel.height)) {
            m.mask = sel.mask.data();
            m.mw = sel.width;
            m.mh = sel.height;
            m.selX = sel.x;
            m.selY = sel.y;
            m.H = state.H;
        }
        viewmath::DrawOutline(m, v, state.z, ticks_, out);
        painter_.Invalidate();
    }
    cairo_surface_mark_dirty(surface_);
    rebuildComposite_ = false;
    if (core) {
        core->viewRebuild = false;
        core->outlineChanged = false;
    }
    lastKey_ = key;
    return surface_;
}

void CVexoView::StartOutlineTimer(int ms) {
    ticks_ = 0;
    outlineSuspended_ = false;
    outlineTimer_.Start(ms);
}

void CVexoView::StopOutlineTimer() {
    outlineTimer_.Stop();
    ticks_ = 0;
}

void CVexoView::OnTimer(wxTimerEvent&) {
    CVexoDoc* core = Doc() ? Doc()->Core() : nullptr;
    if (!core || !core->selectionActive) {
        StopOutlineTimer();
        return;
    }
    if (++ticks_ <= 6) {
        core->outlineChanged = true;
        if (canvas_) canvas_->Refresh(false);
        return;
    }
    outlineTimer_.Stop();
    ticks_ = 0;
    outlineSuspended_ = true;
}

void CVexoView::BeginTransparentPick() {
    pickTransparent_ = true;
    if (canvas_) canvas_->SetCursor(wxCursor(wxCURSOR_CROSS));
}

void CVexoView::EndTransparentPick() {
    pickTransparent_ = false;
    if (canvas_) canvas_->SetCursor(wxNullCursor);
}

bool CVexoView::PickTransparentAt(int clientX, int clientY) {
    CVexoDoc* core = Doc() ? Doc()->Core() : nullptr;
    if (!core || !canvas_) return false;
    const wxSize client = canvas_->GetClientSize();
    int sx, sy;
    canvas_->GetViewStart(&sx, &sy);
    const viewmath::ImageRect r =
        viewmath::ComputeImageRect(core->live.canvas.width, core->live.canvas.height, core->zoom, client.x, client.y);
    const int zx = (r.wider ? sx : 0) + clientX - r.dx, zy = (r.taller ? sy : 0) + clientY - r.dy;
    if (zx < 0 || zy < 0 || zx >= r.zw || zy >= r.zh) return false;
    int x, y;
    core->ZoomedToCanvas(zx, zy, x, y);
    EndTransparentPick();
    if (!doctransparency::PickTransparentColour(*core, x, y)) return false;
    Doc()->Modify(true);
    return true;
}

// --- canvas --------------------------------------------------------------------

CVexoCanvas::CVexoCanvas(CVexoView* view, wxWindow* parent)
    : wxScrolledCanvas(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxHSCROLL | wxVSCROLL | wxWANTS_CHARS),
      view_(view) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);   // nothing erases: OnPaint covers all
    SetScrollRate(1, 1);
    EnableScrolling(false, false);          // repaint whole frames when scrolled
    Bind(wxEVT_PAINT, &CVexoCanvas::OnPaint, this);
    Bind(wxEVT_KEY_DOWN, &CVexoCanvas::OnKeyDown, this);
    Bind(wxEVT_KEY_UP, [this](wxKeyEvent& e) {
        if (e.GetKeyCode() == WXK_CONTROL) ctrlHeld_ = false;
        e.Skip();
    });
    Bind(wxEVT_CONTEXT_MENU, &CVexoCanvas::OnContextMenu, this);
    Bind(wxEVT_MOUSEWHEEL, [](wxMouseEvent&) {});   // swallowed
    Bind(wxEVT_MOTION, &CVexoCanvas::OnMouse, this);
    Bind(wxEVT_LEFT_DOWN, &CVexoCanvas::OnMouse, this);
    for (auto type : {wxEVT_SCROLLWIN_TOP, wxEVT_SCROLLWIN_BOTTOM, wxEVT_SCROLLWIN_LINEUP, wxEVT_SCROLLWIN_LINEDOWN,
                      wxEVT_SCROLLWIN_PAGEUP, wxEVT_SCROLLWIN_PAGEDOWN, wxEVT_SCROLLWIN_THUMBTRACK,
                      wxEVT_SCROLLWIN_THUMBRELEASE})
        Bind(type, &CVexoCanvas::OnScroll, this);
}

void CVexoCanvas::SetZoomedSize(int w, int h) { SetVirtualSize(std::max(w, 1), std::max(h, 1)); }

void CVexoCanvas::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    if (!view_) return;
    // PIMLORA_PAINT_LOG set: the time of each paint goes to the standard error.
    static const bool logPaints = std::getenv("PIMLORA_PAINT_LOG") != nullptr;
    const auto t0 = std::chrono::steady_clock::now();
    wxSize client = GetClientSize();
    int sx, sy;
    GetViewStart(&sx, &sy);
    cairo_surface_t* frame = view_->RenderFrame(client.x, client.y, sx, sy);
    if (!frame) return;
    // The frame goes to the window as it is, without a conversion.
    if (auto* cr = static_cast<cairo_t*>(dc.GetImpl()->GetCairoContext())) {
        const auto t1 = std::chrono::steady_clock::now();
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr, frame, 0, 0);
        cairo_paint(cr);
        cairo_restore(cr);
        if (logPaints) {
            cairo_surface_flush(cairo_get_target(cr));
            const auto t2 = std::chrono::steady_clock::now();
            auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
            std::fprintf(stderr, "paint %dx%d: frame %.2f ms, to the window %.2f ms\n", client.x, client.y,
                         ms(t1 - t0), ms(t2 - t1));
        }
        return;
    }
    // A device context without cairo: through an image.
    const int w = cairo_image_surface_get_width(frame), h = cairo_image_surface_get_height(frame);
    const int stride = cairo_image_surface_get_stride(frame);
    const unsigned char* px = cairo_image_surface_get_data(frame);
    wxImage image(w, h, false);
    unsigned char* rgb = image.GetData();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x, rgb += 3) {
            const unsigned char* p = px + size_t(y) * size_t(stride) + size_t(x) * 4;
            rgb[0] = p[2];
            rgb[1] = p[1];
            rgb[2] = p[0];
        }
    dc.DrawBitmap(wxBitmap(image), 0, 0, false);
}

void CVexoCanvas::OnScroll(wxScrollWinEvent& event) {
    event.Skip();
    CallAfter([this] { Refresh(false); });
}

void CVexoCanvas::OnKeyDown(wxKeyEvent& event) {
    int key = event.GetKeyCode();
    if (key == WXK_ESCAPE && view_ && view_->PickingTransparent()) {
        view_->EndTransparentPick();
        return;
    }
    if (key == WXK_CONTROL) ctrlHeld_ = true;
    if (view_ && event.ControlDown()) {
        if (key == '=' || key == '+' || key == WXK_NUMPAD_ADD) {
            view_->ZoomIn();
            return;
        }
        if (key == '-' || key == WXK_NUMPAD_SUBTRACT) {
            view_->ZoomOut();
            return;
        }
    }
    event.Skip();
}

void CVexoCanvas::OnMouse(wxMouseEvent& event) {
    if (event.GetPosition() != lastMouse_) lastMouse_ = event.GetPosition();
    if (event.LeftDown()) SetFocus();
    if (event.LeftDown() && view_ && view_->PickingTransparent()) {
        view_->PickTransparentAt(event.GetX(), event.GetY());
        return;
    }
    event.Skip();
}

void CVexoCanvas::OnContextMenu(wxContextMenuEvent& event) {
    wxMenu menu;
    menu.Append(cmd::ZoomIn, wxString::FromUTF8("확대"));
    menu.Append(cmd::ZoomOut, wxString::FromUTF8("축소"));
    menu.Append(cmd::ReleaseSelection, wxString::FromUTF8("선택/명령 해제"));
    menu.Append(cmd::Copy, wxString::FromUTF8("복사"));
    menu.Append(cmd::Paste, wxString::FromUTF8("붙이기"));
    menu.Append(cmd::Undo, wxString::FromUTF8("실행취소"));
    menu.Append(cmd::Redo, wxString::FromUTF8("실행반복"));
    menu.Append(cmd::CopyAll, wxString::FromUTF8("이미지복사"));
    wxPoint p = event.GetPosition();
    p = p == wxDefaultPosition ? wxPoint(10, 10) : ScreenToClient(p);
    // Commands go to the main frame, which routes them to the active view.
    if (CMainFrame* main = wxGetApp().MainFrame()) {
        // The entries are enabled by the same rules as the main menus: their
        // state is asked along the main frame's route (view, document, frame).
        for (wxMenuItem* item : menu.GetMenuItems()) {
            if (item->IsSeparator()) continue;
            wxUpdateUIEvent ue(item->GetId());
            ue.SetEventObject(main);
            main->ProcessWindowEvent(ue);
            item->Enable(!ue.GetSetEnabled() || ue.GetEnabled());
        }
        int id = GetPopupMenuSelectionFromUser(menu, p);
        if (id != wxID_NONE) {
            wxCommandEvent e(wxEVT_MENU, id);
            main->GetEventHandler()->ProcessEvent(e);
        }
    }
}
