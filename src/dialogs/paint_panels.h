// The windows of the paint tools' panels: the brush settings panel
// (CDlg_SetBrush), the gradient panel (CDlg_GradientBucket) and the option
// bar of the current tool (feather, tolerances). Thin views of the models in
// models/paint_panels.h.
#pragma once

#include <wx/wx.h>
#include <wx/slider.h>
#include <wx/spinctrl.h>
#include <wx/tglbtn.h>

#include <functional>
#include <memory>
#include <vector>

#include "paint_panels_model.h"

class CDlg_SetBrush : public wxPanel {
public:
    CDlg_SetBrush(wxWindow* parent, tools::ToolBox& box);
    ~CDlg_SetBrush() override;
    // Shows the settings as they are now.
    void Reload();

private:
    void Show();
    tools::ToolBox& box_;
    paintpanels::BrushModel model_;
    wxTextCtrl* edit_ = nullptr;
    wxSlider* slider_ = nullptr;
    wxToggleButton* presets_[6] = {};
    wxRadioButton* brush_ = nullptr;
    wxRadioButton* pencil_ = nullptr;
    int listener_ = 0;
    bool showing_ = false;
};

class CDlg_GradientBucket : public wxPanel {
public:
    // `close` hides the panel (its close button also ends the tool).
    CDlg_GradientBucket(wxWindow* parent, tools::ToolBox& box, std::function<void()> close);
    ~CDlg_GradientBucket() override;
    void Reload();

private:
    tools::ToolBox& box_;
    paintpanels::GradientModel model_;
    std::function<void()> close_;
    wxToggleButton* linear_ = nullptr;
    wxToggleButton* normal_ = nullptr;
    wxRadioButton* fore_ = nullptr;
    wxRadioButton* both_ = nullptr;
    int listener_ = 0;
};

// The option bar: one labelled number field per option of the current tool.
class COptionBar : public wxPanel {
public:
    COptionBar(wxWindow* parent, tools::ToolBox& box);
    ~COptionBar() override;
    // The current tool changed: its fields.
    void Rebuild();
    // The values changed elsewhere.
    void Reload();

private:
    tools::ToolBox& box_;
    wxBoxSizer* sizer_ = nullptr;
    std::vector<std::pair<tools::OptionField::Value, wxSpinCtrl*>> fields_;
    int listener_ = 0;
    bool showing_ = false;
};
