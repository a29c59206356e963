#include "paint_panels_model.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace paintpanels {

BrushModel::BrushModel(tools::PaintSettings& settings) : settings_(settings) { Load(); }

void BrushModel::Load() {
    edit_ = std::to_string(settings_.brushSize);
    slider_ = settings_.brushSize;
    mode_ = settings_.brushMode;
    if (pressed_ >= 0 && kPresets[size_t(pressed_)] != settings_.brushSize) pressed_ = -1;
}

void BrushModel::Apply() {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(edit_.c_str(), &end, 10);
    const bool number = !edit_.empty() && end && *end == 0 && errno == 0;
    const int size = number ? int(std::clamp<long>(v, tools::PaintSettings::kMinBrush, tools::PaintSettings::kMaxBrush))
                            : settings_.brushSize;
    settings_.SetBrush(size, mode_);
    slider_ = settings_.brushSize;
}

void BrushModel::EditChanged(const std::string& text) {
    edit_ = text;
    pressed_ = -1;
    Apply();
}

void BrushModel::SliderMoved(int position) {
    edit_ = std::to_string(std::clamp(position, tools::PaintSettings::kMinBrush, tools::PaintSettings::kMaxBrush));
    pressed_ = -1;
    Apply();
}

void BrushModel::PresetPressed(int index) {
    if (index < 0 || index >= int(kPresets.size())) return;
    edit_ = std::to_string(kPresets[size_t(index)]);
    pressed_ = index;
    Apply();
}

void BrushModel::ModeChosen(int mode) {
    mode_ = mode == 0 ? 0 : 1;
    Apply();
}

void GradientModel::ProfileChosen(int profile) {
    box_.Settings().SetGradient(box_.Settings().gradientMode, profile);
}

void GradientModel::ColourModeChosen(int mode) {
    box_.Settings().SetGradient(mode, box_.Settings().gradientProfile);
}

void GradientModel::Close() { box_.Switch(-1); }

std::vector<OptionBarField> OptionBar(const tools::ToolBox& box) {
    std::vector<OptionBarField> out;
    for (const tools::OptionField& f : box.Options()) out.push_back({f, box.OptionValue(f.value)});
    return out;
}

void SetOption(tools::ToolBox& box, tools::OptionField::Value v, int value) {
    for (const tools::OptionField& f : tools::ToolBox::OptionsFor(box.Current()))
        if (f.value == v) value = std::clamp(value, f.min, f.max);
    box.SetOptionValue(v, value);
}

}  // namespace paintpanels
