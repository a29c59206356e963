// The screen capture's windows: DlgCapture, the list of windows to capture
// ("Desktop" first), and CTransScreenDlg, the capture frame: a top-level
// window hollow in the middle (a window shape), with a band of buttons on
// top, that the user moves and sizes over the area to capture.
#pragma once

#include <wx/dialog.h>
#include <wx/frame.h>

#include <functional>
#include <string>
#include <vector>

#include "capture_frame_model.h"
#include "x11_screen.h"

class wxListBox;

namespace acquire {

class DlgCapture : public wxDialog {
public:
    // `windows` as XScreen::ListWindows gives them; `desktop` is the root.
    DlgCapture(wxWindow* parent, unsigned long desktop, const std::vector<WindowEntry>& windows);
    // After OK: the chosen window and its text.
    unsigned long ChosenWindow() const { return chosen_; }
    const std::string& ChosenText() const { return chosenText_; }

private:
    void OnOk(wxCommandEvent& event);

    std::vector<WindowEntry> entries_;
    wxListBox* list_ = nullptr;
    unsigned long chosen_ = 0;
    std::string chosenText_;
};

class CTransScreenDlg : public wxFrame {
public:
    explicit CTransScreenDlg(wxWindow* owner);

    // The frame's actions: the editor sets them (capture and close always,
    // print when the print preview exists; the print button is greyed
    // without it).
    std::function<void()> onCapture, onPrint, onClose;

    // Shows the frame at its remembered place, moved back onto the screen.
    void ShowFrame(int screenWidth, int screenHeight);
    // The frame's rectangle on the screen.
    ScreenRect FrameRect() const;
    // Remembered place (kept in the profile by the editor).
    void SetRemembered(const ScreenRect& r) { remembered_ = r; }
    const ScreenRect& Remembered() const { return remembered_; }
    // 1 while the frame has its own size, 0 when maximised.
    int normalSize = 1;

    void ShapeCaptureFrame();

private:
    void OnPaint(wxPaintEvent& event);
    void OnMouseDown(wxMouseEvent& event);
    void OnMouseMove(wxMouseEvent& event);
    void OnMouseUp(wxMouseEvent& event);
    void OnCaptureLost(wxMouseCaptureLostEvent& event);
    void Press(FramePart part);
    void Remember();

    ScreenRect remembered_{100, 100, kDefaultFrameWidth, kDefaultFrameHeight};
    FramePart dragging_ = FramePart::Hollow;
    wxPoint dragStart_;
    ScreenRect startRect_;
    wxBitmap skin_;
};

}  // namespace acquire
