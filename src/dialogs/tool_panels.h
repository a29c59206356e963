// The modeless panels besides the filter panel: red-eye removal (1476),
// free rotation (1415), colour range (3327) and the balloon editor. Each is
// created once at start-up, docked by the main frame, and shown or hidden by
// its command; `hide` asks the owner to hide it.
#pragma once

#include <wx/wx.h>

#include <functional>
#include <memory>

#include "dialog_models.h"
#include "dlg_redeye.h"
#include "dlg_rotate.h"

class CVexoDoc;
class wxSpinButton;

class CDlg_RedEye : public wxPanel {
public:
    explicit CDlg_RedEye(wxWindow* parent);
    std::function<void()> hide;
    void Shown();   // when the command shows it

private:
    dlg::RedEyePanel model_;
    wxTextCtrl* strength_;
};

class DlgRotate : public wxPanel {
public:
    explicit DlgRotate(wxWindow* parent);
    std::function<void()> hide;
    // Command 1415: opens on the active document; false when refused.
    bool Open();
    // The close button and Esc (also when the pane is closed).
    void CloseRotation();
    bool IsOpen() const { return model_.IsOpen(); }

private:
    void ShowAngle();
    CVexoDoc* doc_ = nullptr;
    dlg::RotationPanel model_;
    wxSlider* slider_;
    wxTextCtrl* box_;
    bool updating_ = false;
};

class CDlg_Find_SimPixelArea : public wxPanel {
public:
    explicit CDlg_Find_SimPixelArea(wxWindow* parent);
    std::function<void()> hide;
    // Command 3327 showed it for the active document.
    void Shown();
    // The colour-range tool's press in the picture: `colour` (blue in the
    // low byte) becomes the reference colour and the selection runs.
    void Pick(CVexoDoc& doc, uint32_t colour);
    const dlgmodel::ColourRangeModel& Model() const { return model_; }

private:
    void Run();
    void ShowResult();
    CVexoDoc* doc_ = nullptr;
    dlgmodel::ColourRangeModel model_;
    wxSlider* slider_;
    wxStaticText* value_;
    wxStaticText* result_;
    wxButton* swatch_;
};

class CDlg_Edit_BallonTextBox : public wxPanel {
public:
    explicit CDlg_Edit_BallonTextBox(wxWindow* parent);
    std::function<void()> hide;
};
