// Small helpers shared by the dialog windows: UTF-8 texts, accessible names,
// labelled rows of controls, and the busy-free document access.
#pragma once

#include <wx/wx.h>

#include <string>

class wxToolBar;

namespace dlgui {

inline wxString U(const std::string& s) { return wxString::FromUTF8(s); }
inline wxString U(const char* s) { return wxString::FromUTF8(s); }
inline std::string S(const wxString& s) { return std::string(s.utf8_str()); }

// Gives a control its accessible name (the name screen readers and AT-SPI
// read) and its window name. Controls that carry their own label (buttons,
// check boxes) already read it; inputs (boxes, sliders, lists) get the
// label shown beside them.
void Name(wxWindow* control, const wxString& name);
// Every control of `root` without an accessible name yet gets one: its own
// label, else its tool tip's text.
void NameUnnamed(wxWindow* root);
// The tool bar's buttons read their tool tips (their pictures have no text).
void NameToolBar(wxToolBar* bar);

// A static label followed by `control` in a horizontal sizer; the control
// is named after the label.
wxSizer* Labelled(wxWindow* parent, const wxString& label, wxWindow* control, int labelWidth = -1);

// "확인" and "취소" buttons (wxID_OK, wxID_CANCEL) in a row at the right.
wxSizer* OkCancel(wxWindow* parent);

// Whole number from a box's text: its leading decimal digits with a sign
// (0 when none).
long LeadingInt(const wxString& text);

}  // namespace dlgui
