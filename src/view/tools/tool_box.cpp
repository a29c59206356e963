#include "tool_box.h"

#include <algorithm>

#include "tool_table.h"
#include "workbench.h"

namespace tools {

ToolBox::ToolBox() = default;
ToolBox::~ToolBox() {
    for (Workbench* w : benches_) (void)w;   // workbenches detach themselves
}

bool ToolBox::Accepts(int id) const {
    if (pathPanel_) {
        static const int kPathPanelTools[] = {1345, 1420, 1421, 5615, 5616, 5620, 5621, 5622};
        if (std::find(std::begin(kPathPanelTools), std::end(kPathPanelTools), id) == std::end(kPathPanelTools))
            return false;
    }
    if (transformPanel_ && (id < 4250 || id > 4252)) return false;
    return true;
}

std::vector<OptionField> ToolBox::OptionsFor(int tool) {
    const OptionField feather{OptionField::Feather, "경계퍼짐", 0, PaintSettings::kMaxFeather};
    switch (tool) {
    case 1342: case 4812: case 1343: case 1345: return {feather};
    case 1344: return {{OptionField::WandTolerance, "포함한계치", 0, PaintSettings::kMaxTolerance}, feather};
    case 1352: return {{OptionField::FillTolerance, "포함한계", 0, PaintSettings::kMaxTolerance}, feather};
    case 1354: return {{OptionField::Spread, "퍼짐정도", PaintSettings::kMinBrush, PaintSettings::kMaxBrush}};
    default: return {};
    }
}

int ToolBox::OptionValue(OptionField::Value v) const {
    switch (v) {
    case OptionField::Feather: return settings_.feather;
    case OptionField::WandTolerance: return settings_.wandTolerance;
    case OptionField::FillTolerance: return settings_.fillTolerance;
    case OptionField::Spread: return settings_.brushSize;
    }
    return 0;
}

void ToolBox::SetOptionValue(OptionField::Value v, int value) {
    switch (v) {
    case OptionField::Feather: settings_.SetFeather(value); break;
    case OptionField::WandTolerance: settings_.SetWandTolerance(value); break;
    case OptionField::FillTolerance: settings_.SetFill(value, settings_.feather); break;
    case OptionField::Spread: settings_.SetBrush(value, settings_.brushMode); break;
    }
}

void ToolBox::SetPathPanelShown(bool shown) {
    if (pathPanel_ == shown) return;
    pathPanel_ = shown;
    if (listener_) listener_->PanelsChanged();
}

void ToolBox::SetTransformPanelShown(bool shown) {
    if (transformPanel_ == shown) return;
    transformPanel_ = shown;
    if (listener_) listener_->PanelsChanged();
}

bool IsPathTool(int id) { return id == 5615 || id == 5616 || id == 5620 || id == 5621; }

bool ToolBox::Switch(int id) {
    if (!Accepts(id)) return false;
    if (listener_) listener_->ClosePanels(id);
    // The path panel stays for the path and zoom tools only.
    const bool pathBefore = pathPanel_;
    if (IsPathTool(id))
        pathPanel_ = true;
    else if (id != 1420 && id != 1421)
        pathPanel_ = false;
    const int old = current_;
    previous_ = current_;
    current_ = id;
    if (const ToolInfo* info = Find(id); info && info->selectionKind > 0) selectionKind_ = info->selectionKind;
    // The tolerances start afresh when their tool is chosen.
    if (id == 1344) settings_.wandTolerance = 70;
    if (id == 1352) settings_.fillTolerance = 10;
    options_ = OptionsFor(id);
    for (Workbench* w : benches_) w->ResetTools();
    settings_.Changed();
    if (listener_) listener_->ToolChanged(id, old);
    if (listener_ && pathPanel_ != pathBefore) listener_->PanelsChanged();
    return true;
}

bool ToolBox::SwitchToPrevious() { return Switch(previous_); }

void ToolBox::Attach(Workbench* w) {
    if (std::find(benches_.begin(), benches_.end(), w) == benches_.end()) benches_.push_back(w);
}

void ToolBox::Detach(Workbench* w) { benches_.erase(std::remove(benches_.begin(), benches_.end(), w), benches_.end()); }

}  // namespace tools
