// The tool switch, shared by every document window: the current tool and
// the one before it, the selection kind, the paint settings, the option bar
// of the current tool and the refusals of the switch. The editor's windows
// follow it through a listener (pressed buttons, option bar, panels, focus);
// pimlora-cli and the tests use it without one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "paint_settings.h"

class CVexoDoc;

namespace tools {

class Workbench;

// One field of the option bar.
struct OptionField {
    enum Value { Feather, WandTolerance, FillTolerance, Spread };
    Value value;
    const char* label;   // "경계퍼짐", "포함한계치", "포함한계", "퍼짐정도"
    int min, max;
};

class ToolBoxListener {
public:
    virtual ~ToolBoxListener() = default;
    // Before the switch: close the panels that the new tool does not use
    // (the path panel stays for the path and zoom tools).
    virtual void ClosePanels(int /*newTool*/) {}
    // After it: the pressed button, the option bar, the cursor, the focus.
    virtual void ToolChanged(int /*newTool*/, int /*oldTool*/) {}
    // The path panel or the free-transform panel was shown or hidden.
    virtual void PanelsChanged() {}
};

// A layer on its way from one document window to another (the move tool's
// drag out of a window, or the layers panel's drag of a layer row): the
// layer (or its selected part) is on the clipboard, and the first hover in
// another window pastes it there as a new layer that then follows the
// mouse. See StartHandOver (move_tool.h).
struct HandOver {
    bool active = false;
    const Workbench* source = nullptr;   // the window it left; null from the layers panel
    const CVexoDoc* sourceDoc = nullptr;
    // Where the mouse held it, in pixels from the top-left corner of what
    // was copied; without a grab point the copy's top-left corner comes
    // under the mouse.
    bool grab = false;
    int grabX = 0, grabY = 0;
};

class ToolBox {
public:
    ToolBox();
    ~ToolBox();
    ToolBox(const ToolBox&) = delete;
    ToolBox& operator=(const ToolBox&) = delete;

    int Current() const { return current_; }
    int Previous() const { return previous_; }
    int SelectionKind() const { return selectionKind_; }

    // The switch: false when refused (the path panel or the free-transform
    // panel is shown and the tool is not one of theirs). On success the tool
    // becomes current, the one before is remembered, the selection kind is
    // stored, the option bar is set up and every document's anchors and
    // shapes in progress are reset. -1 chooses no tool.
    bool Switch(int id);
    // Back to the tool before the last switch.
    bool SwitchToPrevious();

    // The panels the switch knows about. Choosing a path tool shows the path
    // panel and choosing any other tool but the zoom hides it; the free
    // transform shows its panel until it is applied or cancelled.
    void SetPathPanelShown(bool shown);
    void SetTransformPanelShown(bool shown);
    bool PathPanelShown() const { return pathPanel_; }
    bool TransformPanelShown() const { return transformPanel_; }
    // Whether the switch would accept the tool now.
    bool Accepts(int id) const;

    // The option bar of the current tool.
    const std::vector<OptionField>& Options() const { return options_; }
    static std::vector<OptionField> OptionsFor(int tool);
    int OptionValue(OptionField::Value v) const;
    void SetOptionValue(OptionField::Value v, int value);

    PaintSettings& Settings() { return settings_; }
    const PaintSettings& Settings() const { return settings_; }

    void SetListener(ToolBoxListener* l) { listener_ = l; }

    // The application-wide drag-out flag and what it carries.
    HandOver& DragOut() { return handOver_; }
    const HandOver& DragOut() const { return handOver_; }

    // The colour-range tool's press gives a reference colour (blue in the
    // low byte). The colour-range dialog takes it over when it is open;
    // without a handler the press selects by that colour at once.
    using RangePick = std::function<void(CVexoDoc& doc, uint32_t colour)>;
    void SetRangePickHandler(RangePick h) { rangePick_ = std::move(h); }
    const RangePick& RangePickHandler() const { return rangePick_; }

    // Workbenches (one per document window) register themselves so that a
    // switch resets their tools.
    void Attach(Workbench* w);
    void Detach(Workbench* w);
    const std::vector<Workbench*>& Workbenches() const { return benches_; }

private:
    int current_ = -1, previous_ = -1, selectionKind_ = 0;
    bool pathPanel_ = false, transformPanel_ = false;
    std::vector<OptionField> options_;
    PaintSettings settings_;
    ToolBoxListener* listener_ = nullptr;
    RangePick rangePick_;
    std::vector<Workbench*> benches_;
    HandOver handOver_;
};

}  // namespace tools
