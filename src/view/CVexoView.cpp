#include "CVexoView.h"

#include <wx/dcbuffer.h>
#include <wx/wx.h>

#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "CVexoDoc.h"
#include "first_paint.h"
#include "startup_log.h"
#include "command_ids.h"
#include "tool_box.h"
#include "tool_helpers.h"
#include "tool_table.h"
#include "transparency.h"
#include "view_cursors.h"
#include "workbench.h"

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
ViewHost* gHost = nullptr;
}  // namespace

ViewHost* ViewHost::Get() { return gHost; }
void ViewHost::Set(ViewHost* host) { gHost = host; }

CVexoView::CVexoView() = default;

ViewDocument* CVexoView::Doc() const { return dynamic_cast<ViewDocument*>(GetDocument()); }
CVexoDoc* CVexoView::Core() const { return Doc() ? Doc()->Core() : nullptr; }

bool CVexoView::OnCreate(wxDocument* doc, long flags) {
    if (!wxView::OnCreate(doc, flags)) return false;
    ViewHost* host = ViewHost::Get();
    if (!host) return false;
    wxWindow* frame = host->MakeDocumentFrame(doc, this, doc->GetUserReadableName());
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
    moveCache_.Drop();
    bench_.reset();
    benchCore_ = nullptr;
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
    if (ViewHost* host = ViewHost::Get()) {
        host->SetProgress(0);
        if (GetFrame()) host->ShowDocumentTitle(host->FrameTitle(GetFrame()));
        if (CVexoDoc* core = Core()) host->ShowZoom(int(core->zoom * 100.0));
        host->ViewActivated(Core());
    }
    if (outlineSuspended_) StartOutlineTimer(400);
}

void CVexoView::OnChangeFilename() { UpdateTitle(); }

void CVexoView::OnUpdate(wxView*, wxObject* hint) {
    CVexoDoc* core = Core();
    if (!core || !canvas_) return;
    // During a tool event the repaint waits for the event's end.
    if (dispatching_ && hint != &gZoomHint) {
        updateAsked_ = true;
        return;
    }
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
        if (ViewHost* host = ViewHost::Get(); host && host->IsActiveView(this)) host->ShowZoom(int(core->zoom * 100.0));
    } else {
        canvas_->SetZoomedSize(zw, zh);
    }
    UpdateTitle();
    canvas_->Refresh(false);
}

void CVexoView::UpdateTitle() {
    ViewDocument* doc = Doc();
    if (!doc || !doc->Core() || !GetFrame()) return;
    int percent = int(doc->Core()->zoom * 100.0);
    // While a selection is being formed the title says so.
    const bool forming = doc->Core()->selectionDrag;
    wxString title = wxString::Format(forming ? wxString::FromUTF8("%s %d %s 영역선택중") : wxString("%s %d %s "),
                                      wxString::FromUTF8(doc->DisplayName()), percent, "%");
    if (!doc->TitleSuffix().empty()) title = wxString::Format("%s %s", title, wxString::FromUTF8(doc->TitleSuffix()));
    ViewHost* host = ViewHost::Get();
    if (!host) return;
    if (host->FrameTitle(GetFrame()) != title) host->SetFrameTitle(GetFrame(), title);
    if (host->IsActiveView(this)) host->ShowDocumentTitle(title);
}

void CVexoView::ZoomChanged() {
    if (GetDocument()) GetDocument()->UpdateAllViews(nullptr, &gZoomHint);
}

void CVexoView::ZoomBy(bool in) {
    CVexoDoc* core = Core();
    if (!core) return;
    const double before = core->zoom;
    if (!(in ? viewmath::ZoomInStep(core->zoom) : viewmath::ZoomOutStep(core->zoom))) return;
    // The anchors of a shape in progress follow the zoom.
    if (tools::Workbench* b = Bench(); b && before > 0) b->ScaleAnchors(in ? 1.25 : 0.8);
    ZoomChanged();
}

void CVexoView::ZoomIn() { ZoomBy(true); }
void CVexoView::ZoomOut() { ZoomBy(false); }

void CVexoView::ActualSize() {
    CVexoDoc* core = Core();
    if (!core) return;
    if (tools::Workbench* b = Bench(); b && core->zoom > 0 && core->zoom != 1.0) b->ScaleAnchors(1.0 / core->zoom);
    core->zoom = 1.0;
    ZoomChanged();
}

void CVexoView::OnZoomIn(wxCommandEvent&) { ZoomIn(); }

void CVexoView::OnZoomOut(wxCommandEvent&) {
    // The menu entry stops at 0.125.
    CVexoDoc* core = Core();
    if (core && core->zoom > viewmath::kZoomMenuMin) ZoomOut();
}

void CVexoView::OnActualSize(wxCommandEvent&) { ActualSize(); }

void CVexoView::OnUpdateZoom(wxUpdateUIEvent& event) {
    CVexoDoc* core = Core();
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
    bench_.reset();
    if (surface_) cairo_surface_destroy(surface_);
}

// --- tools ------------------------------------------------------------------------

tools::Workbench* CVexoView::Bench() {
    CVexoDoc* core = Core();
    ViewHost* host = ViewHost::Get();
    if (!core || !host) return nullptr;
    if (!bench_) {
        bench_ = std::make_unique<tools::Workbench>(host->Tools(), *core, host->ToolMessages());
        benchCore_ = core;
    } else if (benchCore_ != core) {
        bench_->SetDocument(*core);
        benchCore_ = core;
    }
    return bench_.get();
}

tools::MouseEvent CVexoView::ToolEvent(int clientX, int clientY, bool shift, bool ctrl) const {
    tools::MouseEvent e;
    e.shift = shift;
    e.ctrl = ctrl;
    CVexoDoc* core = Core();
    if (!core || !canvas_) return e;
    const wxSize client = canvas_->GetClientSize();
    int sx, sy;
    canvas_->GetViewStart(&sx, &sy);
    const viewmath::ImageRect r =
        viewmath::ComputeImageRect(core->live.canvas.width, core->live.canvas.height, core->zoom, client.x, client.y);
    const viewmath::ZoomedPoint z = viewmath::ClientToZoomed(r, sx, sy, clientX, clientY);
    e.at = paint::ZPoint{z.x, z.y};
    return e;
}

void CVexoView::BeginToolEvent() {
    if (dispatching_++ == 0) updateAsked_ = false;
}

void CVexoView::EndToolEvent() {
    if (--dispatching_ > 0) return;
    CVexoDoc* core = Core();
    if (!core || !canvas_ || !bench_) return;
    if (core->modified)
        if (ViewDocument* d = Doc()) d->MarkModified();
    // The zoom tool zoomed around a point: the extent follows, and the
    // point of the picture stays under the mouse.
    if (paint::ZPoint at; bench_->TakeZoomCentre(at)) {
        ZoomChanged();
        const wxPoint m = canvas_->ScreenToClient(wxGetMousePosition());
        canvas_->Scroll(std::max(0, at.x - m.x), std::max(0, at.y - m.y));
    }
    // A layer handed over from another window: this window takes the keyboard.
    if (bench_->TakeFocusRequest()) {
        if (wxWindow* top = wxGetTopLevelParent(canvas_)) top->Raise();
        canvas_->SetFocus();
    }
    tools::Damage d = bench_->TakeDamage();
    // A document update without a known area repaints everything.
    if (d.full || (updateAsked_ && d.rects.empty())) {
        rebuildComposite_ = true;
        pending_.clear();
        UpdateTitle();
        canvas_->Refresh(false);
        return;
    }
    // The areas the tools changed cover the update the document asked for.
    core->viewRebuild = false;
    for (const tools::ZRect& r : d.rects) {
        pending_.push_back(r);
        canvas_->RefreshRect(ClientRectOf(r), false);
    }
    UpdateTitle();
}

wxRect CVexoView::ClientRectOf(const tools::ZRect& r) const {
    CVexoDoc* core = Core();
    if (!core || !canvas_) return wxRect();
    const wxSize client = canvas_->GetClientSize();
    int sx, sy;
    canvas_->GetViewStart(&sx, &sy);
    const viewmath::ImageRect ir =
        viewmath::ComputeImageRect(core->live.canvas.width, core->live.canvas.height, core->zoom, client.x, client.y);
    const int ox = ir.dx - (ir.wider ? sx : 0), oy = ir.dy - (ir.taller ? sy : 0);
    return wxRect(r.left + ox, r.top + oy, r.right - r.left, r.bottom - r.top).Inflate(1);
}

void CVexoView::UpdateCursor(int clientX, int clientY) {
    tools::Workbench* b = Bench();
    ViewHost* host = ViewHost::Get();
    if (!b || !host || !canvas_ || pickTransparent_) return;
    const int c = b->Cursor(ToolEvent(clientX, clientY, false, false));
    canvas_->SetCursor(viewcursors::ForTool(c, host->DefaultCursor()));
}

void CVexoView::ShowPointer(int clientX, int clientY) {
    CVexoDoc* core = Core();
    ViewHost* host = ViewHost::Get();
    if (!core || !host) return;
    const tools::MouseEvent e = ToolEvent(clientX, clientY, false, false);
    int x, y;
    core->ZoomedToCanvas(e.at.x, e.at.y, x, y);
    uint32_t colour = 0;
    uint8_t alpha = 0;
    if (!tools::LayerColourAt(*core, x, y, colour, alpha)) alpha = 0;
    host->ShowPointer(x, y, colour, alpha);
}

void CVexoView::DrawOverlay(viewmath::Frame& out, const viewmath::Visible& v, const std::vector<viewmath::Clip>& clips) {
    if (!bench_) return;
    const tools::Overlay& o = bench_->GetOverlay();
    if (!o.Shown()) return;
    o.RasterizeColoured([&](int x, int y, int n, paint::Rgb c) {
        const uint32_t rgb = uint32_t(c.r) | uint32_t(c.g) << 8 | uint32_t(c.b) << 16;
        for (const viewmath::Clip& clip : clips)
            if (y >= clip.top && y < clip.bottom) viewmath::FillSpan(v, out, x, y, n, rgb, clip);
    });
    overlayDrawn_ = true;
}

// --- painting -------------------------------------------------------------------------

viewmath::FramePainter::State CVexoView::PaintState(int scrollX, int scrollY) const {
    CVexoDoc* core = Core();
    viewmath::FramePainter::State state;
    if (ViewHost* host = ViewHost::Get()) state.look = host->PictureLook();
    state.z = core ? core->zoom : 1.0;
    state.W = core ? core->live.canvas.width : 0;
    state.H = core ? core->live.canvas.height : 0;
    state.scrollX = scrollX;
    state.scrollY = scrollY;
    return state;
}

cairo_surface_t* CVexoView::RenderFrame(int clientW, int clientH, int scrollX, int scrollY) {
    clientW = std::max(clientW, 1);
    clientH = std::max(clientH, 1);
    CVexoDoc* core = Core();
    const viewmath::FramePainter::State state = PaintState(scrollX, scrollY);
    const PaintKey key{clientW, clientH, state, ticks_};
    const bool changed = rebuildComposite_ || (core && (core->viewRebuild || core->outlineChanged));
    viewmath::CompositeFn composite;
    // While the move tool carries a layer the layers below and above it
    // come from the kept composites (move_cache.h).
    const int moving = bench_ && core ? bench_->MovingLayer() : -1;
    if (moving < 0 && moveCache_.Holds()) moveCache_.Drop();
    if (core && core->headLayer != kNoLayer && moving >= 0) {
        const int zw = int(state.W * state.z), zh = int(state.H * state.z);
        const int x0 = std::max(0, scrollX), y0 = std::max(0, scrollY);
        moveCache_.SetWindow(x0, y0, std::min(zw, scrollX + clientW) - x0, std::min(zh, scrollY + clientH) - y0);
        composite = [this, core, moving](int left, int top, int width, int height, uint8_t* dst, ptrdiff_t stride) {
            moveCache_.Composite(*core, moving, left, top, width, height, dst, stride);
        };
    } else if (core && core->headLayer != kNoLayer) {
        composite = [core](int left, int top, int width, int height, uint8_t* dst, ptrdiff_t stride) {
            core->CompositeRect(core->headLayer, -1, core->zoom, left, top, width, height, dst, stride);
        };
    }
    viewmath::MaskView m;
    const bool outline = core && core->selectionActive;
    if (outline) {
        const SelectionMask& sel = core->live.selection;
        if (sel.size > 0 && sel.mask.size() >= size_t(sel.width) * size_t(sel.height)) {
            m.mask = sel.mask.data();
            m.mw = sel.width;
            m.mh = sel.height;
            m.selX = sel.x;
            m.selY = sel.y;
            m.H = state.H;
        }
    }
    viewmath::Frame out;
    if (surface_) {
        out.px = cairo_image_surface_get_data(surface_);
        out.stride = cairo_image_surface_get_stride(surface_);
        out.clientW = clientW;
        out.clientH = clientH;
    }
    // Only the areas a tool changed, when nothing else did.
    if (surface_ && !changed && key == lastKey_ && !pending_.empty() &&
        cairo_image_surface_get_width(surface_) == clientW && cairo_image_surface_get_height(surface_) == clientH) {
        cairo_surface_flush(surface_);
        bool ok = true;
        for (const tools::ZRect& r : pending_) {
            if (!painter_.Repaint(state, out, composite, r.left, r.top, r.right - r.left, r.bottom - r.top)) {
                ok = false;
                break;
            }
            const viewmath::Visible& v = painter_.LastVisible();
            if (outline) viewmath::DrawOutline(m, v, state.z, ticks_, out, r.left, r.top, r.right - r.left,
                                               r.bottom - r.top);
        }
        if (ok) {
            const viewmath::Visible& v = painter_.LastVisible();
            overlayDrawn_ = false;
            std::vector<viewmath::Clip> clips;
            for (const tools::ZRect& r : pending_) clips.push_back(viewmath::Clip{r.left, r.top, r.right, r.bottom});
            DrawOverlay(out, v, clips);
            pending_.clear();
            cairo_surface_mark_dirty(surface_);
            return surface_;
        }
    }
    pending_.clear();
    // The surface stays as it is when nothing it shows has changed.
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
    out.px = cairo_image_surface_get_data(surface_);
    out.stride = cairo_image_surface_get_stride(surface_);
    out.clientW = clientW;
    out.clientH = clientH;
    // The outline and the overlay are drawn over the pixels: a frame that
    // shows them cannot be moved by a scroll.
    const viewmath::Visible v = painter_.Paint(state, out, composite, changed || outline || outlineDrawn_ || overlayDrawn_);
    if (outline) viewmath::DrawOutline(m, v, state.z, ticks_, out);
    outlineDrawn_ = outline;
    overlayDrawn_ = false;
    DrawOverlay(out, v, {viewmath::Clip{v.left, v.top, v.left + v.width, v.top + v.height}});
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

void CVexoView::RestartOutline() {
    CVexoDoc* core = Core();
    if (outlineSuspended_ && core && core->selectionActive) StartOutlineTimer(400);
}

void CVexoView::StopOutlineTimer() {
    outlineTimer_.Stop();
    ticks_ = 0;
}

void CVexoView::OnTimer(wxTimerEvent&) {
    CVexoDoc* core = Core();
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
    CVexoDoc* core = Core();
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
    if (ViewDocument* d = Doc()) d->MarkModified();
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
    Bind(wxEVT_KEY_UP, &CVexoCanvas::OnKeyUp, this);
    Bind(wxEVT_CONTEXT_MENU, &CVexoCanvas::OnContextMenu, this);
    Bind(wxEVT_MOUSEWHEEL, [](wxMouseEvent&) {});   // swallowed
    for (auto type : {wxEVT_MOTION, wxEVT_LEFT_DOWN, wxEVT_LEFT_UP, wxEVT_LEFT_DCLICK, wxEVT_RIGHT_DCLICK,
                      wxEVT_ENTER_WINDOW, wxEVT_LEAVE_WINDOW})
        Bind(type, &CVexoCanvas::OnMouse, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, &CVexoCanvas::OnCaptureLost, this);
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
    // The frame goes to the window as it is, without a conversion (the
    // paint device is clipped to the area that needs it).
    if (auto* cr = static_cast<cairo_t*>(dc.GetImpl()->GetCairoContext())) {
        const auto t1 = std::chrono::steady_clock::now();
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr, frame, 0, 0);
        cairo_paint(cr);
        cairo_restore(cr);
        // Sent to the window now: without it the paints that follow a
        // layout change or a tool step did not always reach the screen
        // under Xvfb.
        cairo_surface_flush(cairo_get_target(cr));
        firstpaint::PicturePainted();
        if (logPaints) {
            const auto t2 = std::chrono::steady_clock::now();
            auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
            std::fprintf(stderr, "paint %dx%d: frame %.2f ms, to the window %.2f ms\n", client.x, client.y,
                         ms(t1 - t0), ms(t2 - t1));
            // The first paint of a picture: when it reached the window,
            // after the process start and on the wall clock (for scripts that
            // time the start from outside).
            static bool first = true;
            if (first) {
                first = false;
                timespec wall{};
                clock_gettime(CLOCK_REALTIME, &wall);
                std::fprintf(stderr, "first paint: %.0f ms after the process start, at %lld.%09ld\n",
                             startuplog::MsSinceProcessStart(), static_cast<long long>(wall.tv_sec), wall.tv_nsec);
            }
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
    firstpaint::PicturePainted();
}

void CVexoCanvas::OnScroll(wxScrollWinEvent& event) {
    event.Skip();
    CallAfter([this] { Refresh(false); });
}

namespace {
tools::Key ToolKey(int code) {
    switch (code) {
    case WXK_LEFT: case WXK_NUMPAD_LEFT: return tools::Key::Left;
    case WXK_RIGHT: case WXK_NUMPAD_RIGHT: return tools::Key::Right;
    case WXK_UP: case WXK_NUMPAD_UP: return tools::Key::Up;
    case WXK_DOWN: case WXK_NUMPAD_DOWN: return tools::Key::Down;
    case WXK_DELETE: case WXK_NUMPAD_DELETE: return tools::Key::Delete;
    case WXK_ESCAPE: return tools::Key::Escape;
    case WXK_RETURN: case WXK_NUMPAD_ENTER: return tools::Key::Return;
    default: return tools::Key::Other;
    }
}
}  // namespace

void CVexoCanvas::OnKeyDown(wxKeyEvent& event) {
    int key = event.GetKeyCode();
    if (key == WXK_ESCAPE && view_ && view_->PickingTransparent()) {
        view_->EndTransparentPick();
        return;
    }
    if (key == WXK_CONTROL) ctrlHeld_ = true;
    // The Shift-repeat flag: Shift held down (the wand adds to the selection).
    shiftRepeat_ = key == WXK_SHIFT;
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
    if (!view_) {
        event.Skip();
        return;
    }
    if (tools::Workbench* b = view_->Bench()) {
        tools::KeyEvent k;
        k.key = ToolKey(key);
        k.shift = event.ShiftDown();
        k.ctrl = event.ControlDown();
        if (k.key != tools::Key::Other) {
            view_->BeginToolEvent();
            const bool used = b->KeyDown(k);
            view_->EndToolEvent();
            if (used) return;
        }
    }
    // Single keys of the image window choose a tool.
    if (!event.HasAnyModifiers() && key < 128) {
        if (const int tool = tools::ToolForKey(char(key)); tool && tools::IsBuilt(tool)) {
            // The zoom tool's number is also the zoom-in command: its key
            // chooses the tool only.
            if (ViewHost* host = ViewHost::Get()) {
                if (tool == 1420)
                    host->Tools().Switch(tool);
                else
                    host->SendCommand(tool);
            }
            return;
        }
    }
    event.Skip();
}

void CVexoCanvas::OnKeyUp(wxKeyEvent& e) {
    // Any key up clears the Shift-repeat flag.
    shiftRepeat_ = false;
    if (e.GetKeyCode() == WXK_CONTROL) ctrlHeld_ = false;
    e.Skip();
}

void CVexoCanvas::OnCaptureLost(wxMouseCaptureLostEvent&) {
    if (!view_) return;
    if (tools::Workbench* b = view_->Bench(); b && b->Pressed()) {
        view_->BeginToolEvent();
        b->Release(view_->ToolEvent(lastMouse_.x, lastMouse_.y, false, false));
        view_->EndToolEvent();
    }
}

void CVexoCanvas::OnMouse(wxMouseEvent& event) {
    if (event.LeftDown()) SetFocus();
    if (!view_) {
        event.Skip();
        return;
    }
    if (event.LeftDown() && view_->PickingTransparent()) {
        view_->PickTransparentAt(event.GetX(), event.GetY());
        return;
    }
    tools::Workbench* b = view_->Bench();
    if (!b) {
        event.Skip();
        return;
    }
    const wxPoint p = event.GetPosition();
    const bool shift = event.ShiftDown() || shiftRepeat_;
    const tools::MouseEvent e = view_->ToolEvent(p.x, p.y, shift, event.ControlDown());
    const wxEventType type = event.GetEventType();
    view_->BeginToolEvent();
    if (type == wxEVT_LEFT_DOWN) {
        b->Press(e);
        // Captured after the press: a message box the press raised gets the mouse.
        // A dialog the press ran (the text tool's) took the release: the
        // press ends here, or the window would keep the mouse and take the
        // next click anywhere for its release.
        if (b->Pressed() && !wxGetMouseState().LeftIsDown()) b->Release(e);
        if (b->Pressed() && !HasCapture()) CaptureMouse();
    } else if (type == wxEVT_LEFT_UP) {
        if (HasCapture()) ReleaseMouse();
        b->Release(e);
    } else if (type == wxEVT_LEFT_DCLICK || type == wxEVT_RIGHT_DCLICK) {
        tools::MouseEvent d = e;
        d.right = type == wxEVT_RIGHT_DCLICK;
        b->DoubleClick(d);
    } else if (type == wxEVT_ENTER_WINDOW) {
        b->Enter();
        // The move tool hears the mouse coming in as a hover notice (a
        // layer dragged out of another window is taken over here).
        if (!event.LeftIsDown() && b->Box().Current() == 1570) b->HoverNotice(e);
    } else if (type == wxEVT_LEAVE_WINDOW) {
        b->Leave();
    } else if (type == wxEVT_MOTION) {
        view_->UpdateCursor(p.x, p.y);
        if (p != lastMouse_) {
            b->Move(e, event.LeftIsDown());
            view_->ShowPointer(p.x, p.y);
        }
        // The next mouse move over the view restarts the outline animation.
        view_->RestartOutline();
    }
    view_->EndToolEvent();
    if (type == wxEVT_LEAVE_WINDOW)
        if (ViewHost* host = ViewHost::Get()) host->ShowPointer(-1, -1, 0, 0);
    if (type == wxEVT_ENTER_WINDOW || type == wxEVT_MOTION)
        if (ViewHost* host = ViewHost::Get())
            if (tools::Workbench* bb = view_->Bench()) host->ShowToolText(tools::StatusText(bb->Box().Current()));
    lastMouse_ = p;
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
    if (ViewHost* host = ViewHost::Get()) {
        // The entries are enabled by the same rules as the main menus.
        for (wxMenuItem* item : menu.GetMenuItems())
            if (!item->IsSeparator()) item->Enable(host->CommandEnabled(cmd::CommandFromEvent(item->GetId())));
        int id = GetPopupMenuSelectionFromUser(menu, p);
        if (id != wxID_NONE) host->SendCommand(id);
    }
}
