// The values and rules of the paint tools' panels, without windows: the
// brush settings panel (CDlg_SetBrush), the gradient panel
// (CDlg_GradientBucket) and the option bar of the current tool.
#pragma once

#include <array>
#include <string>

#include "tool_box.h"

namespace paintpanels {

// Brush settings: an edit box with the size, a slider 1-30, six presets and
// the "붓" / "연필" choice. Every change is applied at once: the size is the
// decimal value of the edit box.
class BrushModel {
public:
    static constexpr std::array<int, 6> kPresets{1, 3, 5, 7, 9, 11};
    explicit BrushModel(tools::PaintSettings& settings);

    // The panel shows the settings again (they changed elsewhere).
    void Load();
    // The edit box was typed into; a text that is not a whole number
    // changes nothing.
    void EditChanged(const std::string& text);
    void SliderMoved(int position);
    void PresetPressed(int index);   // 0..5
    void ModeChosen(int mode);       // 1 "붓", 0 "연필"

    const std::string& EditText() const { return edit_; }
    int Slider() const { return slider_; }
    int PressedPreset() const { return pressed_; }   // -1 none
    int Mode() const { return mode_; }
    // The tool bar's size display: the number, and whether its picture is
    // the brush (else the pencil).
    std::string SizeText() const { return std::to_string(settings_.brushSize); }
    bool SizeShowsBrush() const { return settings_.brushMode == 1; }

private:
    void Apply();
    tools::PaintSettings& settings_;
    std::string edit_;
    int slider_ = 5, pressed_ = -1, mode_ = 1;
};

// Gradient panel: the profile buttons "선형변화" (1) and "정규변화" (2), the
// colour choice "전경" (1) or "전경+배경" (2); its close button ends the tool.
class GradientModel {
public:
    explicit GradientModel(tools::ToolBox& box) : box_(box) {}
    int Profile() const { return box_.Settings().gradientProfile; }
    int ColourMode() const { return box_.Settings().gradientMode; }
    void ProfileChosen(int profile);
    void ColourModeChosen(int mode);
    // The close button: no tool (the panel is then hidden by its window).
    void Close();

private:
    tools::ToolBox& box_;
};

// The option bar: the fields of the current tool ("경계퍼짐", "포함한계치",
// "포함한계", "퍼짐정도") with their values.
struct OptionBarField {
    tools::OptionField field;
    int value;
};
std::vector<OptionBarField> OptionBar(const tools::ToolBox& box);
// A value typed into a field, kept in the field's range.
void SetOption(tools::ToolBox& box, tools::OptionField::Value v, int value);

}  // namespace paintpanels
