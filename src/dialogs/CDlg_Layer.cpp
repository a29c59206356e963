// The layers panel window (CDlg_Layer.h).
#include "CDlg_Layer.h"

#include <wx/dcbuffer.h>
#include <wx/vlbox.h>


#include <algorithm>

#include "CVexoDoc.h"
#include "dialog_host.h"
#include "dialog_util.h"
#include "param_windows.h"
#include "text_layers.h"

using namespace layerpanel;
using dlgui::U;

namespace {

// The history list: one 27-pixel line per step, its icon at the left, in a
// fixed-width font; the lines undone (redo brings them back) in grey.
class HistoryList : public wxVListBox {
public:
    HistoryList(wxWindow* parent, LayersPanelModel& model)
        : wxVListBox(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLB_MULTIPLE), model_(model) {
        font_ = wxFont(wxFontInfo(9).Family(wxFONTFAMILY_TELETYPE));
    }
    void Reload() {
        SetItemCount(model_.History().size());
        if (!model_.History().empty()) ScrollToRow(model_.History().size() - 1);
        RefreshAll();
    }

private:
    wxCoord OnMeasureItem(size_t) const override { return kHistoryLineHeight; }
    void OnDrawItem(wxDC& dc, const wxRect& rect, size_t n) const override {
        const auto& h = model_.History();
        if (n >= h.size()) return;
        DrawIcon(dc, rect.x + 2, rect.y + 2, h[n].icon);
        dc.SetFont(font_);
        dc.SetTextForeground(IsSelected(n) ? wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHTTEXT)
                             : h[n].undone ? wxColour(150, 150, 150)
                                           : wxColour(0, 0, 0));
        dc.DrawText(U(h[n].text), rect.x + kHistoryIconWidth + 6, rect.y + 6);
    }
    // The icons: a coloured tile with a mark for each group of steps.
    static void DrawIcon(wxDC& dc, int x, int y, int icon) {
        static const unsigned char kHue[kHistoryIcons][3] = {
            {70, 130, 200}, {90, 90, 90},   {200, 150, 60}, {200, 60, 60},  {60, 160, 80},  {120, 80, 160},
            {150, 150, 150}, {220, 120, 40}, {60, 120, 200}, {40, 40, 40},   {100, 150, 60}, {60, 60, 160},
            {160, 60, 120}, {40, 120, 120}, {120, 160, 200}, {200, 180, 40}, {60, 170, 220}, {230, 100, 100},
            {30, 30, 120},  {70, 160, 70},  {180, 120, 60}, {150, 60, 60},  {110, 110, 110}, {60, 100, 160},
            {170, 110, 40}};
        const int k = std::clamp(icon, 0, kHistoryIcons - 1);
        dc.SetPen(wxPen(wxColour(40, 40, 40)));
        dc.SetBrush(wxBrush(wxColour(kHue[k][0], kHue[k][1], kHue[k][2])));
        dc.DrawRoundedRectangle(x, y, kHistoryIconWidth - 2, kHistoryIconHeight - 2, 3);
        dc.SetTextForeground(*wxWHITE);
        dc.SetFont(wxFont(wxFontInfo(7).Bold()));
        const wxString mark = wxString::Format("%d", k);
        const wxSize s = dc.GetTextExtent(mark);
        dc.DrawText(mark, x + (kHistoryIconWidth - 2 - s.x) / 2, y + (kHistoryIconHeight - 2 - s.y) / 2);
    }
    LayersPanelModel& model_;
    wxFont font_;
};

HistoryList* AsList(wxVListBox* l) { return static_cast<HistoryList*>(l); }


}  // namespace

CDlg_Layer::CDlg_Layer(wxWindow* parent)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxSize(kPanelWidth, kPanelHeight), wxWANTS_CHARS | wxFULL_REPAINT_ON_RESIZE,
              "layers") {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetMinSize(wxSize(kPanelWidth, kRowTop + kRowStep));
    dlgui::Name(this, U("레이어창"));

    wxArrayString modes;
    for (const BlendEntry& b : BlendModes()) modes.Add(U(b.label));
    blend_ = new wxChoice(this, wxID_ANY, wxPoint(kBlendX, kBlendY), wxSize(kBlendWidth, -1), modes);
    dlgui::Name(blend_, U("혼합 방식"));
    opacityLabel_ = new wxStaticText(this, wxID_ANY, U("투명"), wxPoint(kOpacityX, kBlendY - 2));
    opacity_ = new wxSlider(this, wxID_ANY, 255, 0, 255, wxPoint(kOpacityX, kOpacityY - 4), wxSize(kOpacityWidth, 30));
    dlgui::Name(opacity_, U("투명"));
    opacityBox_ = new wxTextCtrl(this, wxID_ANY, "255", wxPoint(kOpacityBoxX, kOpacityY - 2), wxSize(kOpacityBoxWidth, 26),
                                 wxTE_PROCESS_ENTER);
    dlgui::Name(opacityBox_, U("투명 값"));
    scroll_ = new wxScrollBar(this, wxID_ANY, wxPoint(kScrollX, kRowTop + kArrowHeight), wxSize(kScrollWidth, 100),
                              wxSB_VERTICAL);
    dlgui::Name(scroll_, U("레이어 스크롤"));
    list_ = new HistoryList(this, model_);
    dlgui::Name(list_, U("작업내역"));
    list_->Hide();

    blend_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { model_.SetBlendIndex(blend_->GetSelection()); });
    // The fade is set when the slider is let go (or its box confirmed).
    auto fade = [this](int v) {
        opacityBox_->ChangeValue(wxString::Format("%d", std::clamp(v, 0, 255)));
        model_.SetOpacity(v);
    };
    opacity_->Bind(wxEVT_SCROLL_THUMBRELEASE, [this, fade](wxScrollEvent&) { fade(opacity_->GetValue()); });
    opacity_->Bind(wxEVT_SCROLL_CHANGED, [this, fade](wxScrollEvent&) { fade(opacity_->GetValue()); });
    opacity_->Bind(wxEVT_SCROLL_THUMBTRACK,
                   [this](wxScrollEvent&) { opacityBox_->ChangeValue(wxString::Format("%d", opacity_->GetValue())); });
    opacityBox_->Bind(wxEVT_TEXT_ENTER, [this, fade](wxCommandEvent&) {
        const int v = std::clamp(int(dlgui::LeadingInt(opacityBox_->GetValue())), 0, 255);
        opacity_->SetValue(v);
        fade(v);
    });
    scroll_->Bind(wxEVT_SCROLL_LINEUP, [this](wxScrollEvent&) { if (model_.ScrollLines(-1)) Rebuild(false); });
    scroll_->Bind(wxEVT_SCROLL_LINEDOWN, [this](wxScrollEvent&) { if (model_.ScrollLines(1)) Rebuild(false); });
    scroll_->Bind(wxEVT_SCROLL_PAGEUP, [this](wxScrollEvent&) { if (model_.ScrollPages(-1)) Rebuild(false); });
    scroll_->Bind(wxEVT_SCROLL_PAGEDOWN, [this](wxScrollEvent&) { if (model_.ScrollPages(1)) Rebuild(false); });
    scroll_->Bind(wxEVT_SCROLL_THUMBTRACK, &CDlg_Layer::OnScroll, this);
    scroll_->Bind(wxEVT_SCROLL_THUMBRELEASE, &CDlg_Layer::OnScroll, this);
    // Selecting a line selects from it to the last one.
    list_->Bind(wxEVT_LISTBOX, [this](wxCommandEvent& e) {
        const auto [first, last] = model_.SelectionFrom(e.GetSelection());
        list_->DeselectAll();
        if (first >= 0) list_->SelectRange(size_t(first), size_t(last));
    });

    Bind(wxEVT_PAINT, &CDlg_Layer::OnPaint, this);
    Bind(wxEVT_SIZE, &CDlg_Layer::OnSize, this);
    Bind(wxEVT_LEFT_DOWN, &CDlg_Layer::OnLeftDown, this);
    Bind(wxEVT_LEFT_UP, &CDlg_Layer::OnLeftUp, this);
    Bind(wxEVT_MOTION, &CDlg_Layer::OnMotion, this);
    Bind(wxEVT_LEFT_DCLICK, &CDlg_Layer::OnDoubleClick, this);
    Bind(wxEVT_MOUSEWHEEL, &CDlg_Layer::OnWheel, this);
    Bind(wxEVT_CHAR_HOOK, &CDlg_Layer::OnKey, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) {
        pressedRow_ = -1;
        pressedButton_ = nullptr;
        captionDrag_ = false;
    });
    Bind(wxEVT_CONTEXT_MENU, [this](wxContextMenuEvent& e) {
        wxPoint p = e.GetPosition();
        p = p == wxDefaultPosition ? wxPoint(10, 10) : ScreenToClient(p);
        if (contextMenu) contextMenu(this, p);
    });

    // A notice of the document asks for one refresh once the events are done.
    model_.onChange = [this] {
        if (refreshQueued_) return;
        refreshQueued_ = true;
        CallAfter([this] {
            refreshQueued_ = false;
            Rebuild(false);
        });
    };
    model_.SetClientHeight(GetClientSize().y);
    Rebuild(true);
}

CDlg_Layer::~CDlg_Layer() { model_.onChange = nullptr; }

void CDlg_Layer::Follow(CVexoDoc* doc) {
    if (doc == model_.Doc()) return;
    model_.Show(doc);
    if (setCaption) setCaption(U("      레이어창"));
}

void CDlg_Layer::ShowHistoryPage(bool history) {
    history_ = history;
    hovered_ = nullptr;
    UnsetToolTip();
    Layout2();
    Rebuild(true);
}

void CDlg_Layer::Layout2() {
    const wxSize cs = GetClientSize();
    for (wxWindow* w : std::initializer_list<wxWindow*>{blend_, opacity_, opacityBox_, opacityLabel_, scroll_}) w->Show(!history_);
    list_->Show(history_);
    if (history_)
        list_->SetSize(2, kHistoryTop, std::max(10, cs.x - 4), std::max(10, cs.y - kHistoryTop - kHistoryBottomMargin));
    // Between the two line arrows the panel draws itself (GTK's own bar has none).
    scroll_->SetSize(kScrollX, kRowTop + kArrowHeight, kScrollWidth,
                     std::max(10, model_.RowsShown() * kRowStep - 5 - 2 * kArrowHeight));
}

void CDlg_Layer::Rebuild(bool all) {
    const LayersPanelModel::Refreshed r = all ? model_.RefreshAll() : model_.Refresh();
    (void)r;
    const bool doc = model_.Doc() != nullptr;
    blend_->Enable(doc);
    opacity_->Enable(doc);
    opacityBox_->Enable(doc);
    if (model_.BlendIndexShown() >= 0) blend_->SetSelection(model_.BlendIndexShown());
    else blend_->SetSelection(wxNOT_FOUND);
    if (!opacity_->HasCapture()) {
        opacity_->SetValue(model_.OpacityShown());
        opacityBox_->ChangeValue(wxString::Format("%d", model_.OpacityShown()));
    }
    if (r.history || all) AsList(list_)->Reload();
    SyncScrollBar();
    Refresh(false);
}

void CDlg_Layer::SyncScrollBar() {
    const int n = model_.LayerCount(), rows = std::max(1, model_.RowsShown());
    // A page step moves two rows, as the model does.
    // The slider runs from the first layer at the top to the last one alone.
    scroll_->SetScrollbar(model_.FirstShown(), rows, std::max(rows, n + rows - 1), 2, true);
}

void CDlg_Layer::OnSize(wxSizeEvent& e) {
    model_.SetClientHeight(GetClientSize().y);
    Layout2();
    SyncScrollBar();
    Refresh(false);
    e.Skip();
}

void CDlg_Layer::OnScroll(wxScrollEvent& e) {
    if (model_.ScrollTo(e.GetPosition())) Rebuild(false);
}

void CDlg_Layer::OnWheel(wxMouseEvent& e) {
    if (history_) return e.Skip();
    if (model_.ScrollLines(e.GetWheelRotation() > 0 ? -1 : 1)) Rebuild(false);
}

// --- drawing -------------------------------------------------------------------------------------

void CDlg_Layer::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    const wxSize cs = GetClientSize();
    dc.SetBackground(wxBrush(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE)));
    dc.Clear();
    const wxFont small = wxFont(wxFontInfo(8));
    for (const PanelButton& b : Buttons()) {
        if (b.layerPage && history_) continue;
        const bool on = (b.command == kLayerPageCommand && !history_) || (b.command == kHistoryPageCommand && history_) ||
                        (b.command == kTallCommand && tall_);
        const bool live = model_.Doc() || b.command == kLayerPageCommand || b.command == kHistoryPageCommand ||
                          b.command == kTallCommand;
        dc.SetPen(wxPen(wxColour(120, 120, 120)));
        dc.SetBrush(wxBrush(on ? wxColour(190, 205, 230) : wxColour(235, 235, 235)));
        dc.DrawRectangle(b.x, b.y, b.width, b.height);
        dc.SetFont(small);
        dc.SetTextForeground(live ? wxColour(0, 0, 0) : wxColour(160, 160, 160));
        const wxString t = U(b.label);
        const wxSize s = dc.GetTextExtent(t);
        dc.DrawText(t, b.x + (b.width - s.x) / 2, b.y + (b.height - s.y) / 2);
    }
    // The caption strip beside the page buttons: a grip of dots.
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(wxColour(140, 140, 140)));
    for (int x = 196; x < cs.x - 4; x += 4)
        for (int y = 7; y < 20; y += 4) dc.DrawRectangle(x + (y / 4) % 2 * 2, y, 2, 2);
    dc.SetFont(wxFont(wxFontInfo(9)));
    dc.SetTextForeground(wxColour(0, 0, 0));
    dc.DrawText(U(model_.HeaderText()), 4, 29);
    if (history_) {
        const wxString undo = U("(Undo) 뒤로 회복"), redo = U("(Redo) 앞으로 회복");
        const int y = cs.y - kHistoryBottomMargin + 4, w = (cs.x - 6) / 2;
        for (int i = 0; i < 2; ++i) {
            dc.SetPen(wxPen(wxColour(120, 120, 120)));
            dc.SetBrush(wxBrush(wxColour(235, 235, 235)));
            dc.DrawRectangle(2 + i * (w + 2), y, w, 22);
            const wxString& t = i ? redo : undo;
            const wxSize s = dc.GetTextExtent(t);
            dc.DrawText(t, 2 + i * (w + 2) + (w - s.x) / 2, y + (22 - s.y) / 2);
        }
        return;
    }
    for (int row = 0; row < model_.RowsShown(); ++row) DrawRow(dc, row);
    // The line arrows at both ends of the scroll bar.
    if (model_.RowsShown() > 0)
        for (int dir : {-1, 1}) {
            const int top = ScrollArrowTop(dir, model_.RowsShown());
            const bool live = model_.Doc() && model_.LayerCount() > 1;
            dc.SetPen(wxPen(wxColour(150, 150, 150)));
            dc.SetBrush(wxBrush(wxColour(225, 225, 225)));
            dc.DrawRectangle(kScrollX, top, kScrollWidth, kArrowHeight);
            dc.SetPen(*wxTRANSPARENT_PEN);
            dc.SetBrush(wxBrush(live ? wxColour(60, 60, 60) : wxColour(170, 170, 170)));
            const int cx = kScrollX + kScrollWidth / 2, cy = top + kArrowHeight / 2;
            const wxPoint tri[3] = {wxPoint(cx - 5, cy - 2 * dir), wxPoint(cx + 5, cy - 2 * dir), wxPoint(cx, cy + 3 * dir)};
            dc.DrawPolygon(3, tri);
        }
}

void CDlg_Layer::DrawRow(wxDC& dc, int row) {
    const auto& rows = model_.Rows();
    if (row >= int(rows.size())) return;
    const RowView& v = rows[size_t(row)];
    const int y = RowY(row);
    if (v.layer < 0) return;
    // The thumbnail, centred in its box.
    const Thumbnail& t = model_.ThumbnailOf(v.layer);
    dc.SetPen(wxPen(wxColour(150, 150, 150)));
    dc.SetBrush(*wxWHITE_BRUSH);
    dc.DrawRectangle(kThumbLeft - 1, y + kThumbTop - 1, kThumbWidth + 2, kThumbHeight + 2);
    if (t.built && t.width > 0 && t.height > 0) {
        wxImage img(t.width, t.height, const_cast<unsigned char*>(t.rgb.data()), true);
        dc.DrawBitmap(wxBitmap(img), kThumbLeft + (kThumbWidth - t.width) / 2, y + kThumbTop + (kThumbHeight - t.height) / 2);
    }
    // The effect mark, the show/hide and the select/edit pictures.
    dc.SetFont(wxFont(wxFontInfo(7)));
    if (v.effect) {
        dc.SetTextForeground(wxColour(120, 40, 140));
        dc.DrawText("fx", kButtonLeft + 4, y + kEffectTop);
    }
    dc.SetPen(wxPen(wxColour(110, 110, 110)));
    dc.SetBrush(wxBrush(wxColour(245, 245, 245)));
    dc.DrawRectangle(kButtonLeft, y + kVisibleTop, kButtonRight - kButtonLeft + 1, kVisibleBottom - kVisibleTop);
    dc.DrawRectangle(kButtonLeft, y + kEditTop, kButtonRight - kButtonLeft + 1, kEditBottom - kEditTop);
    const int cx = (kButtonLeft + kButtonRight) / 2, cy = y + (kVisibleTop + kVisibleBottom) / 2;
    if (v.visible) {   // an open eye
        dc.SetBrush(*wxWHITE_BRUSH);
        dc.DrawEllipse(cx - 9, cy - 5, 19, 11);
        dc.SetBrush(wxBrush(wxColour(30, 30, 30)));
        dc.DrawCircle(cx, cy, 3);
    }
    dc.SetTextForeground(wxColour(40, 40, 40));
    const wxString mark = v.kind == LayerText ? "T" : v.kind == LayerBalloon ? "B" : U("✎");
    const wxSize ms = dc.GetTextExtent(mark);
    dc.DrawText(mark, cx - ms.x / 2, y + (kEditTop + kEditBottom - ms.y) / 2);
    // The body: name and tag, the current layer highlighted.
    const int right = kScrollX - 2;
    dc.SetPen(wxPen(v.current ? wxColour(60, 90, 160) : wxColour(170, 170, 170)));
    dc.SetBrush(wxBrush(v.current ? wxColour(200, 215, 240) : wxColour(250, 250, 250)));
    dc.DrawRectangle(kBodyLeft, y, right - kBodyLeft, kRowBodyHeight);
    dc.SetFont(v.current ? wxFont(wxFontInfo(9).Bold()) : wxFont(wxFontInfo(9)));
    dc.SetTextForeground(v.visible ? wxColour(0, 0, 0) : wxColour(130, 130, 130));
    dc.SetClippingRegion(kBodyLeft + 2, y, right - kBodyLeft - 4, kRowBodyHeight);
    dc.DrawText(U(v.name), kBodyLeft + 4, y + 8);
    if (!v.tag.empty()) {
        dc.SetFont(wxFont(wxFontInfo(8)));
        dc.SetTextForeground(wxColour(150, 60, 20));
        dc.DrawText(U(v.tag), kBodyLeft + 4, y + 32);
    }
    dc.DestroyClippingRegion();
}

// --- mouse and keys -------------------------------------------------------------------------------

void CDlg_Layer::OnLeftDown(wxMouseEvent& e) {
    SetFocus();
    const wxPoint p = e.GetPosition();
    pressedButton_ = nullptr;
    pressedRow_ = -1;
    if (draggedOut_ && setCaption) setCaption(U("      레이어창"));
    draggedOut_ = false;
    if (const PanelButton* b = ButtonAt(p.x, p.y, !history_)) {
        pressedButton_ = b;
        if (!HasCapture()) CaptureMouse();
        return;
    }
    if (InCaptionStrip(p.x, p.y)) {
        // The strip drags the panel like a caption.
        wxWindow* top = wxGetTopLevelParent(this);
        pressScreen_ = wxGetMousePosition();
        grabOffset_ = top && top != dlgui::Host().frame ? pressScreen_ - top->GetPosition() : p;
        captionDrag_ = true;
        captionMoved_ = false;
        if (!HasCapture()) CaptureMouse();
        return;
    }
    if (history_) {
        const wxSize cs = GetClientSize();
        if (p.y >= cs.y - kHistoryBottomMargin + 4) {
            CVexoDoc* doc = model_.Doc();
            if (!doc) return;
            std::vector<int> sel;
            for (size_t i = 0; i < model_.History().size(); ++i)
                if (list_->IsSelected(i)) sel.push_back(int(i));
            if (p.x < cs.x / 2) model_.UndoFrom(sel.empty() ? -1 : sel.front());
            else model_.RedoOne();
            list_->DeselectAll();
            dlgui::Changed(*doc);
        }
        return;
    }
    if (const int dir = ScrollArrowAt(p.x, p.y, model_.RowsShown())) {
        if (model_.ScrollLines(dir)) Rebuild(false);
        return;
    }
    const Hit h = layerpanel::HitTest(p.x, p.y, model_.RowsShown(), kScrollX - 2);
    if (h.row < 0 || model_.LayerOfRow(h.row) < 0) return;
    CVexoDoc* doc = model_.Doc();
    bool editor = false;
    switch (h.part) {
        case Part::Body:
        case Part::Thumbnail:
            if (model_.PressRow(h.row)) {
                pressedRow_ = h.row;
                pressedPart_ = h.part;
                if (!HasCapture()) CaptureMouse();
                if (layerPressed && doc) layerPressed(*doc);
            }
            break;
        case Part::Visibility: model_.ToggleVisible(h.row); break;
        case Part::Edit:
            if (model_.EditRow(h.row, editor) && editor) OpenEditor();
            break;
        case Part::Effect:
            pressedRow_ = h.row;
            pressedPart_ = h.part;
            if (!HasCapture()) CaptureMouse();
            break;
        case Part::None: break;
    }
}

void CDlg_Layer::OnLeftUp(wxMouseEvent& e) {
    if (HasCapture()) ReleaseMouse();
    if (captionDrag_) {
        captionDrag_ = false;
        return;
    }
    const wxPoint p = e.GetPosition();
    if (pressedButton_) {
        const PanelButton* b = pressedButton_;
        pressedButton_ = nullptr;
        if (ButtonAt(p.x, p.y, !history_) == b) PressButton(*b);
        return;
    }
    const int pressed = pressedRow_;
    pressedRow_ = -1;
    if (pressed < 0 || draggedOut_) return;
    const Hit h = layerpanel::HitTest(p.x, p.y, model_.RowsShown(), kScrollX - 2);
    if (h.part == Part::Effect && model_.EffectAt(h.row)) {
        if (model_.PressRow(h.row) && command) command(2068);
        Refresh(false);
    } else if (h.part == Part::Body && h.row != pressed && pressedPart_ != Part::Effect) {
        model_.DropOnRow(pressed, h.row);
    } else if ((h.part == Part::Body || h.part == Part::Thumbnail) && h.row == pressed && pressedPart_ != Part::Effect) {
        // A click (let go on its own row) brings the row to the top; only
        // on the release, so that a row can still be dragged onto one above.
        if (model_.ScrollRowToTop(pressed)) Rebuild(false);
    }
}

void CDlg_Layer::OnMotion(wxMouseEvent& e) {
    // The drawn buttons tell their full names in a tool tip.
    if (!e.LeftIsDown()) {
        const PanelButton* b = ButtonAt(e.GetX(), e.GetY(), !history_);
        if (b != hovered_) {
            hovered_ = b;
            if (b) SetToolTip(U(b->name));
            else UnsetToolTip();
        }
    }
    if (captionDrag_) {
        const wxPoint m = wxGetMousePosition();
        if (!e.LeftIsDown()) {
            captionDrag_ = false;
        } else if (captionMoved_ || std::abs(m.x - pressScreen_.x) + std::abs(m.y - pressScreen_.y) >= 4) {
            captionMoved_ = true;
            if (!moveTo || !moveTo(m - grabOffset_)) {
                captionDrag_ = false;
                if (HasCapture()) ReleaseMouse();
            }
        }
        return;
    }
    if (pressedRow_ < 0 || draggedOut_ || !e.LeftIsDown() || pressedPart_ == Part::Effect) return;
    // A row dragged beyond the panel's edge leaves it: the layer goes to
    // the clipboard and follows the mouse into a picture window.
    const wxPoint p = e.GetPosition();
    const wxSize cs = GetClientSize();
    if (p.x >= 0 && p.y >= 0 && p.x < cs.x && p.y < cs.y) return;
    draggedOut_ = true;
    pressedRow_ = -1;
    if (HasCapture()) ReleaseMouse();
    if (dragOut) dragOut();
}

void CDlg_Layer::OnDoubleClick(wxMouseEvent& e) {
    const wxPoint p = e.GetPosition();
    if (!history_ && !ButtonAt(p.x, p.y, true)) OpenEditor();
}

void CDlg_Layer::OnKey(wxKeyEvent& e) {
    // Delete and Ctrl+X cut the selected part of the current layer; the
    // panel swallows every other plain key (the text box keeps its own).
    if (wxWindow::FindFocus() == opacityBox_) return e.Skip();
    const int k = e.GetKeyCode();
    if (k == WXK_DELETE || (e.ControlDown() && (k == 'X' || k == 'x'))) {
        if (model_.Doc() && command) command(57635);
        return;
    }
    // The menus' accelerators still reach the main window.
    if (e.ControlDown() || e.AltDown() || wxWindow::FindFocus() == list_ || wxWindow::FindFocus() == blend_) e.Skip();
}

void CDlg_Layer::PressButton(const PanelButton& b) {
    switch (b.command) {
        case kLayerPageCommand: ShowHistoryPage(false); return;
        case kHistoryPageCommand: ShowHistoryPage(true); return;
        case kTallCommand:
        case kTallCommand2:
            tall_ = !tall_;
            if (setHeight) setHeight(tall_ ? kPanelTallHeight : kPanelHeight);
            Refresh(false);
            return;
        default: break;
    }
    if (!model_.Doc() || !command) return;
    if (enabled && !enabled(b.command)) return;
    command(b.command);
}

void CDlg_Layer::OpenEditor() {
    CVexoDoc* doc = model_.Doc();
    LayerRecord* L = doc ? doc->CurrentLayerPtr() : nullptr;
    if (!L || !L->IsTextKind()) return;
    if (L->kind == LayerBalloon && balloonEditor) {
        balloonEditor();
        return;
    }
    textlayer::TextDialogValues v;
    v.settings = textlayer::SettingsOfLayer(*L);
    v.text = textlayer::TextOfLayer(*L);
    if (!dlgui::RunTextDialog(this, v, true)) return;
    const bool balloon = L->kind == LayerBalloon;
    const int tx = L->tailX, ty = L->tailY;
    doc->Host().SwitchTool(balloon ? textlayer::kBalloonTailTool : textlayer::kTextTool);
    doc->EditTextLayer(true, -1, -1, v);
    if (balloon) doc->BuildBalloon(true, tx, ty, v.settings.balloonStyle, v.settings.balloonLineWidth);
    doc->Host().SwitchTool(-1);
    dlgui::Changed(*doc);
}
