#include "capture_windows.h"

#include <wx/button.h>
#include <wx/dcbuffer.h>
#include <wx/filename.h>
#include <wx/listbox.h>
#include <wx/region.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

namespace acquire {

namespace {
wxString U(const std::string& s) { return wxString::FromUTF8(s); }

const wxColour kBand(40, 110, 60), kBorder(180, 245, 180), kText(195, 235, 195);
const wxColour kPrintShade(140, 205, 140), kCaptureShade(180, 245, 180);

wxRect R(const ScreenRect& r) { return wxRect(r.x, r.y, r.width, r.height); }
}  // namespace

// --- DlgCapture ---------------------------------------------------------------------

DlgCapture::DlgCapture(wxWindow* parent, unsigned long desktop, const std::vector<WindowEntry>& windows)
    : wxDialog(parent, 1013, U("화면 캡쳐"), wxDefaultPosition, wxSize(420, 360),
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER) {
    entries_.push_back({desktop, "Desktop"});
    entries_.insert(entries_.end(), windows.begin(), windows.end());
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(this, wxID_ANY, U("캡쳐할 창을 고르십시오.")), 0, wxALL, 8);
    list_ = new wxListBox(this, 1154);
    for (const WindowEntry& e : entries_) list_->Append(U(e.title));
    list_->SetSelection(0);
    sizer->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT, 8);
    sizer->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 8);
    SetSizer(sizer);
    Bind(wxEVT_BUTTON, &DlgCapture::OnOk, this, wxID_OK);
    list_->Bind(wxEVT_LISTBOX_DCLICK, [this](wxCommandEvent& e) { OnOk(e); });
    list_->SetFocus();
}

void DlgCapture::OnOk(wxCommandEvent&) {
    const int sel = list_->GetSelection();
    if (sel < 0 || size_t(sel) >= entries_.size()) return;
    chosen_ = entries_[size_t(sel)].window;
    chosenText_ = entries_[size_t(sel)].title;
    EndModal(wxID_OK);
}

// --- CTransScreenDlg ----------------------------------------------------------------

CTransScreenDlg::CTransScreenDlg(wxWindow* owner)
    : wxFrame(owner, 4748, U("  화면 캡쳐 및 인쇄창"), wxDefaultPosition, wxSize(kDefaultFrameWidth, kDefaultFrameHeight),
              wxFRAME_SHAPED | wxBORDER_NONE | wxSTAY_ON_TOP | wxFRAME_NO_TASKBAR | wxFRAME_TOOL_WINDOW) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    // The skin of the band, when the file is there.
    if (wxFileName::FileExists("Image2.bmp")) skin_.LoadFile("Image2.bmp", wxBITMAP_TYPE_BMP);
    Bind(wxEVT_PAINT, &CTransScreenDlg::OnPaint, this);
    Bind(wxEVT_LEFT_DOWN, &CTransScreenDlg::OnMouseDown, this);
    Bind(wxEVT_LEFT_DCLICK, &CTransScreenDlg::OnMouseDown, this);
    Bind(wxEVT_MOTION, &CTransScreenDlg::OnMouseMove, this);
    Bind(wxEVT_LEFT_UP, &CTransScreenDlg::OnMouseUp, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, &CTransScreenDlg::OnCaptureLost, this);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
        ShapeCaptureFrame();
        e.Skip();
    });
    // The system's close acts as the close button.
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& e) {
        if (!e.CanVeto()) {
            e.Skip();
            return;
        }
        e.Veto();
        Press(FramePart::CloseButton);
    });
}

ScreenRect CTransScreenDlg::FrameRect() const {
    const wxRect r = GetScreenRect();
    return {r.x, r.y, r.width, r.height};
}

void CTransScreenDlg::ShowFrame(int sw, int sh) {
    ScreenRect r = remembered_;
    r.width = std::max(r.width, kMinFrameWidth);
    r.height = std::max(r.height, kMinFrameHeight);
    r = KeepOnScreen(r, sw, sh);
    SetSize(r.x, r.y, r.width, r.height);
    ShapeCaptureFrame();
    Show(true);
    Raise();
    // The window manager may place a window itself once it is shown.
    Move(r.x, r.y);
}

void CTransScreenDlg::ShapeCaptureFrame() {
    const wxSize s = GetSize();
    wxRegion region;
    for (const ScreenRect& r : CaptureFrameShape(s.x, s.y)) region.Union(R(r));
    SetShape(region);
    Refresh(false);
}

void CTransScreenDlg::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    const wxSize s = GetClientSize();
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(kBorder));
    dc.DrawRectangle(0, 0, s.x, s.y);
    dc.SetBrush(wxBrush(kBand));
    dc.DrawRectangle(0, 0, s.x, kBandHeight);
    if (skin_.IsOk()) dc.DrawBitmap(skin_, 0, 0);
    auto button = [&dc](const ScreenRect& r, const wxColour& shade, bool enabled) {
        dc.SetPen(wxPen(enabled ? wxColour(20, 60, 30) : wxColour(110, 130, 115)));
        dc.SetBrush(wxBrush(enabled ? shade : wxColour(150, 165, 155)));
        dc.DrawRoundedRectangle(R(r), 3);
    };
    const ScreenRect print = PrintButtonRect(), capture = CaptureButtonRect(), close = CloseButtonRect(s.x);
    const bool canPrint = bool(onPrint);
    button(print, kPrintShade, canPrint);
    button(capture, kCaptureShade, true);
    button(close, kCaptureShade, true);
    // Printer, camera and cross.
    dc.SetPen(wxPen(canPrint ? wxColour(20, 60, 30) : wxColour(110, 130, 115), 2));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(print.x + 8, print.y + 7, 16, 8);
    dc.DrawRectangle(print.x + 11, print.y + 3, 10, 4);
    dc.SetPen(wxPen(wxColour(20, 60, 30), 2));
    dc.DrawRectangle(capture.x + 7, capture.y + 5, 18, 11);
    dc.DrawCircle(capture.x + 16, capture.y + 10, 3);
    dc.DrawLine(close.x + 5, close.y + 4, close.x + 13, close.y + 12);
    dc.DrawLine(close.x + 13, close.y + 4, close.x + 5, close.y + 12);
    dc.SetTextForeground(canPrint ? kText : wxColour(120, 150, 125));
    dc.SetFont(GetFont());
    dc.DrawText(U("프린트"), 42, 7);
    dc.SetTextForeground(kText);
    dc.DrawText(U("캡쳐"), 124, 7);
    dc.DrawText(GetTitle(), 164, 7);
}

void CTransScreenDlg::Press(FramePart part) {
    switch (part) {
        case FramePart::CaptureButton: if (onCapture) onCapture(); break;
        case FramePart::PrintButton: if (onPrint) onPrint(); break;
        case FramePart::CloseButton: if (onClose) onClose(); break;
        default: break;
    }
}

void CTransScreenDlg::OnMouseDown(wxMouseEvent& event) {
    const wxSize s = GetSize();
    const FramePart part = acquire::HitTest(s.x, s.y, event.GetX(), event.GetY());
    switch (part) {
        case FramePart::PrintButton: case FramePart::CaptureButton: case FramePart::CloseButton:
            Press(part);
            return;
        case FramePart::Band: case FramePart::LeftBorder: case FramePart::RightBorder: case FramePart::BottomBorder:
        case FramePart::BottomLeft: case FramePart::BottomRight:
            dragging_ = part;
            dragStart_ = ClientToScreen(event.GetPosition());
            startRect_ = FrameRect();
            if (!HasCapture()) CaptureMouse();
            return;
        default: event.Skip();
    }
}

void CTransScreenDlg::OnMouseMove(wxMouseEvent& event) {
    const wxSize s = GetSize();
    if (dragging_ == FramePart::Hollow) {
        // Tool tips and cursors of the band's parts.
        const FramePart part = acquire::HitTest(s.x, s.y, event.GetX(), event.GetY());
        wxString tip;
        if (part == FramePart::PrintButton) tip = U("선택 영역을 프린트합니다.");
        else if (part == FramePart::CaptureButton) tip = U("선택 영역을 캡쳐합니다");
        else if (part == FramePart::CloseButton) tip = U("캡쳐 화면 닫기");
        if (GetToolTipText() != tip) SetToolTip(tip);
        wxStockCursor c = wxCURSOR_ARROW;
        if (part == FramePart::LeftBorder || part == FramePart::RightBorder) c = wxCURSOR_SIZEWE;
        else if (part == FramePart::BottomBorder) c = wxCURSOR_SIZENS;
        else if (part == FramePart::BottomLeft) c = wxCURSOR_SIZENESW;
        else if (part == FramePart::BottomRight) c = wxCURSOR_SIZENWSE;
        else if (part == FramePart::Band) c = wxCURSOR_SIZING;
        SetCursor(wxCursor(c));
        return;
    }
    const wxPoint now = ClientToScreen(event.GetPosition());
    const int dx = now.x - dragStart_.x, dy = now.y - dragStart_.y;
    if (dragging_ == FramePart::Band) {
        Move(startRect_.x + dx, startRect_.y + dy);
    } else {
        const ScreenRect r = ResizeByBorder(startRect_, dragging_, dx, dy);
        SetSize(r.x, r.y, r.width, r.height);
    }
}

void CTransScreenDlg::OnMouseUp(wxMouseEvent&) {
    if (HasCapture()) ReleaseMouse();
    if (dragging_ != FramePart::Hollow) {
        dragging_ = FramePart::Hollow;
        ShapeCaptureFrame();
        Remember();
    }
}

void CTransScreenDlg::OnCaptureLost(wxMouseCaptureLostEvent&) { dragging_ = FramePart::Hollow; }

void CTransScreenDlg::Remember() {
    if (IsShown()) remembered_ = FrameRect();
}

}  // namespace acquire
