// The skinned look both programs share: a dialog with a tiled background
// (CBDialog), the shaded push button MyShadeBtn and the transparent text
// CMyTransStatic. Everything is drawn by us; the backgrounds are made in
// code, not loaded from pictures.
#pragma once

#include <wx/wx.h>

// The name assistive technologies (and the GUI tests) see for a window.
void SetAccessibleName(wxWindow* window, const wxString& name, bool asButton = false);

// A dialog without a caption whose client area is one tile repeated. The
// tile is a soft relief made from the base colour.
class CBDialog : public wxDialog {
public:
    CBDialog(wxWindow* parent, const wxString& title, const wxSize& clientSize, const wxColour& base);
    // Paints the background under rect (in client coordinates) into dc,
    // whose origin is at rect's top-left (for transparent children).
    void PaintBackground(wxDC& dc, const wxRect& rect) const;

private:
    void OnPaint(wxPaintEvent&);
    wxBitmap tile_;
};

class MyShadeBtn : public wxControl {
public:
    MyShadeBtn(wxWindow* parent, wxWindowID id, const wxString& label, const wxPoint& pos, const wxSize& size);
    // The face: style 0 noise, 1 diagonal, 2 horizontal, 3 vertical shade,
    // 4 horizontal bump, 5 vertical bump, other values a soft bump in both
    // directions; granularity is the noise amplitude, highlight the lift on
    // hover, colouring the share of the base colour in percent.
    void SetShade(int style, int granularity, int highlight, int colouring, const wxColour& base);
    bool AcceptsFocus() const override { return IsEnabled(); }
    bool Enable(bool enable = true) override;

private:
    void Rebuild();
    void OnPaint(wxPaintEvent&);
    void OnMouse(wxMouseEvent&);
    void OnKey(wxKeyEvent&);
    void Click();
    int style_ = 6, granularity_ = 8, highlight_ = 10, colouring_ = 0;
    wxColour base_{200, 200, 200};
    wxBitmap faces_[3];   // normal, hover, pressed
    bool hover_ = false, pressed_ = false;
};

class CMyTransStatic : public wxWindow {
public:
    CMyTransStatic(wxWindow* parent, wxWindowID id, const wxString& text, const wxPoint& pos, const wxSize& size);
    void SetLabel(const wxString& text) override;
    wxString GetLabel() const override { return text_; }

private:
    void OnPaint(wxPaintEvent&);
    wxString text_;
};

// An installed face that shows Korean text, for "굴림" and its kin.
wxString KoreanFaceName();
