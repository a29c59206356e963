#include "skin.h"

#include <wx/dcbuffer.h>
#include <wx/fontenum.h>
#include <wx/rawbmp.h>

#include <cmath>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

namespace {

int Clamp(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// A reproducible noise value in -amp..amp for a pixel.
int Noise(int x, int y, int amp) {
    if (amp <= 0) return 0;
    uint32_t h = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return int(h % uint32_t(2 * amp + 1)) - amp;
}

}  // namespace

void SetAccessibleName(wxWindow* window, const wxString& name, bool asButton) {
#ifdef __WXGTK__
    if (GtkWidget* w = window->GetHandle()) {
        if (AtkObject* a = gtk_widget_get_accessible(w)) {
            atk_object_set_name(a, name.utf8_str());
            atk_object_set_role(a, asButton ? ATK_ROLE_PUSH_BUTTON : ATK_ROLE_LABEL);
        }
    }
#else
    (void)window;
    (void)name;
    (void)asButton;
#endif
}

wxString KoreanFaceName() {
    static wxString face;
    if (!face.empty()) return face;
    face = wxString::FromUTF8("굴림");
    if (!wxFontEnumerator::IsValidFacename(face))
        for (const char* f : {"NanumGothic", "Nanum Gothic", "NanumGothicCoding", "Noto Sans CJK KR"})
            if (wxFontEnumerator::IsValidFacename(f)) {
                face = f;
                break;
            }
    return face;
}

// --- CBDialog ------------------------------------------------------------------

CBDialog::CBDialog(wxWindow* parent, const wxString& title, const wxSize& clientSize, const wxColour& base)
    : wxDialog(parent, wxID_ANY, title, wxDefaultPosition, wxDefaultSize, wxBORDER_SIMPLE) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetClientSize(clientSize);
    // A 48 x 48 tile: a gentle relief with grain, lit from the top left.
    const int n = 48;
    wxImage img(n, n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            double relief = 0.5 + 0.25 * std::cos(2 * M_PI * x / n) * std::cos(2 * M_PI * y / n);
            int lift = int(relief * 40) - 20 + Noise(x, y, 4);
            img.SetRGB(x, y, uint8_t(Clamp(base.Red() + lift)), uint8_t(Clamp(base.Green() + lift)),
                       uint8_t(Clamp(base.Blue() + lift)));
        }
    tile_ = wxBitmap(img);
    Bind(wxEVT_PAINT, &CBDialog::OnPaint, this);
    Centre();
}

void CBDialog::PaintBackground(wxDC& dc, const wxRect& rect) const {
    const int tw = tile_.GetWidth(), th = tile_.GetHeight();
    for (int y = rect.y - ((rect.y % th) + th) % th; y < rect.GetBottom() + 1; y += th)
        for (int x = rect.x - ((rect.x % tw) + tw) % tw; x < rect.GetRight() + 1; x += tw)
            dc.DrawBitmap(tile_, x - rect.x, y - rect.y);
}

void CBDialog::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    wxSize s = GetClientSize();
    PaintBackground(dc, wxRect(0, 0, s.x, s.y));
}

// --- MyShadeBtn ----------------------------------------------------------------

MyShadeBtn::MyShadeBtn(wxWindow* parent, wxWindowID id, const wxString& label, const wxPoint& pos,
                       const wxSize& size)
    : wxControl(parent, id, pos, size, wxBORDER_NONE | wxWANTS_CHARS) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    wxControl::SetLabel(label);
    SetAccessibleName(this, label, true);
    Bind(wxEVT_PAINT, &MyShadeBtn::OnPaint, this);
    for (auto t : {wxEVT_ENTER_WINDOW, wxEVT_LEAVE_WINDOW, wxEVT_LEFT_DOWN, wxEVT_LEFT_UP, wxEVT_LEFT_DCLICK})
        Bind(t, &MyShadeBtn::OnMouse, this);
    Bind(wxEVT_KEY_DOWN, &MyShadeBtn::OnKey, this);
    Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& e) { Refresh(); e.Skip(); });
    Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& e) { Refresh(); e.Skip(); });
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) { Rebuild(); e.Skip(); });
    Rebuild();
}

void MyShadeBtn::SetShade(int style, int granularity, int highlight, int colouring, const wxColour& base) {
    style_ = style;
    granularity_ = granularity;
    highlight_ = highlight;
    colouring_ = colouring < 0 ? 0 : (colouring > 100 ? 100 : colouring);
    base_ = base;
    Rebuild();
    Refresh();
}

bool MyShadeBtn::Enable(bool enable) {
    bool changed = wxControl::Enable(enable);
    Refresh();
    return changed;
}

void MyShadeBtn::Rebuild() {
    wxSize s = GetClientSize();
    const int w = std::max(2, s.x), h = std::max(2, s.y);
    for (int face = 0; face < 3; ++face) {
        wxImage img(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double fx = double(x) / (w - 1), fy = double(y) / (h - 1), v;
                switch (style_) {
                    case 0: v = 0.6; break;
                    case 1: v = 1.0 - (fx + fy) / 2; break;
                    case 2: v = 1.0 - fx; break;
                    case 3: v = 1.0 - fy; break;
                    case 4: v = std::sin(M_PI * fy); break;
                    case 5: v = std::sin(M_PI * fx); break;
                    default: v = 0.5 + 0.5 * std::sin(M_PI * fx) * std::sin(M_PI * fy); break;
                }
                if (face == 2) v = 1.0 - v;                                  // pressed: the light turns over
                int grey = int(96 + 150 * v) + Noise(x, y, granularity_) + (face == 1 ? 2 * highlight_ : 0);
                auto mix = [&](int channel) {
                    int tinted = int(channel * (0.55 + 0.45 * v)) + (face == 1 ? 2 * highlight_ : 0);
                    return Clamp((Clamp(grey) * (100 - colouring_) + Clamp(tinted) * colouring_) / 100);
                };
                img.SetRGB(x, y, uint8_t(mix(base_.Red())), uint8_t(mix(base_.Green())), uint8_t(mix(base_.Blue())));
            }
        faces_[face] = wxBitmap(img);
    }
}

void MyShadeBtn::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    wxSize s = GetClientSize();
    int face = !IsEnabled() ? 0 : (pressed_ && hover_) ? 2 : hover_ ? 1 : 0;
    if (faces_[face].IsOk()) dc.DrawBitmap(faces_[face], 0, 0);
    dc.SetPen(wxPen(wxColour(70, 70, 70)));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(0, 0, s.x, s.y);
    if (HasFocus()) {
        dc.SetPen(wxPen(wxColour(40, 40, 40), 1, wxPENSTYLE_DOT));
        dc.DrawRectangle(3, 3, s.x - 6, s.y - 6);
    }
    dc.SetFont(GetFont());
    dc.SetTextForeground(IsEnabled() ? wxColour(0, 0, 0) : wxColour(128, 128, 128));
    wxString label = GetLabel();
    int shift = face == 2 ? 1 : 0;
    if (label.empty()) {
        // Without a caption the button is a close box: a small cross.
        int cx = s.x / 2 + shift, cy = s.y / 2 + shift, r = std::max(2, std::min(s.x, s.y) / 4);
        dc.SetPen(wxPen(IsEnabled() ? wxColour(30, 30, 30) : wxColour(128, 128, 128), 2));
        dc.DrawLine(cx - r, cy - r, cx + r + 1, cy + r + 1);
        dc.DrawLine(cx - r, cy + r, cx + r + 1, cy - r - 1);
        return;
    }
    wxSize t = dc.GetTextExtent(label);
    dc.DrawText(label, (s.x - t.x) / 2 + shift, (s.y - t.y) / 2 + shift);
}

void MyShadeBtn::OnMouse(wxMouseEvent& e) {
    wxEventType t = e.GetEventType();
    if (t == wxEVT_ENTER_WINDOW) hover_ = true;
    else if (t == wxEVT_LEAVE_WINDOW) hover_ = false;
    else if (t == wxEVT_LEFT_DOWN || t == wxEVT_LEFT_DCLICK) {
        if (!IsEnabled()) return;
        pressed_ = true;
        hover_ = true;
        CaptureMouse();
    } else if (t == wxEVT_LEFT_UP && pressed_) {
        pressed_ = false;
        if (HasCapture()) ReleaseMouse();
        hover_ = wxRect(GetClientSize()).Contains(e.GetPosition());
        Refresh();
        if (hover_) Click();
        return;
    }
    Refresh();
}

void MyShadeBtn::OnKey(wxKeyEvent& e) {
    if (e.GetKeyCode() == WXK_SPACE && IsEnabled()) Click();
    else e.Skip();
}

void MyShadeBtn::Click() {
    wxCommandEvent ev(wxEVT_BUTTON, GetId());
    ev.SetEventObject(this);
    ProcessWindowEvent(ev);
}

// --- CMyTransStatic ------------------------------------------------------------

CMyTransStatic::CMyTransStatic(wxWindow* parent, wxWindowID id, const wxString& text, const wxPoint& pos,
                               const wxSize& size)
    : wxWindow(parent, id, pos, size, wxBORDER_NONE), text_(text) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetAccessibleName(this, text);
    Bind(wxEVT_PAINT, &CMyTransStatic::OnPaint, this);
}

void CMyTransStatic::SetLabel(const wxString& text) {
    if (text == text_) return;
    text_ = text;
    SetAccessibleName(this, text);
    Refresh();
}

void CMyTransStatic::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    wxSize s = GetClientSize();
    // What lies under the text: the parent's tiled background.
    if (auto* skinned = dynamic_cast<CBDialog*>(GetParent())) {
        skinned->PaintBackground(dc, wxRect(GetPosition(), s));
    } else {
        dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
        dc.Clear();
    }
    dc.SetFont(GetFont());
    dc.SetTextForeground(GetForegroundColour().IsOk() ? GetForegroundColour() : *wxBLACK);
    dc.SetClippingRegion(wxRect(s));
    dc.DrawText(text_, 0, std::max(0, (s.y - dc.GetTextExtent(text_).y) / 2));
}
