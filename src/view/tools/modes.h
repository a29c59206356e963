// The commands around the tools that open, end or hand over a mode: the
// path panel (1509 shows it with tool 5615; closing it asks whether to
// remove the path), the selection from the path (5622), the free transform
// (4250-4252 start it with its panel; Return applies, Escape cancels) and
// the hand-over of a layer to another document window. The editor's
// windows, pimlora-cli and the tests call the same functions.
#pragma once

#include "text_layers.h"

class CVexoDoc;

namespace tools {

class ToolBox;
class ToolUi;
class Workbench;

// 1509 "경로선택": the path panel with tool 5615; false when refused.
bool OpenPathPanel(ToolBox& box, CVexoDoc* doc);
// Closing the path panel: when the document has a path, asks
// "작업한 경로를 제거하시겠습니까?" (OK removes it); the tool becomes none.
void ClosePathPanel(ToolBox& box, CVexoDoc* doc, ToolUi& ui);
// 5622: the closed path becomes a polygon selection widened by the feather
// setting; the polygon tool becomes current (which closes the panel).
bool MakePathSelection(ToolBox& box, CVexoDoc& doc);

// 4250, 4251, 4252: starts (or changes the rule of) the free transform of
// the current layer and shows its panel; false when refused.
bool BeginTransform(ToolBox& box, CVexoDoc& doc, int tool);
// Applies (Return, "적용") or cancels (Escape, "취소") it; the panel closes
// and the tool becomes none unless the transform asked for 100 % first
// (then it stays, and false is returned).
bool EndTransform(ToolBox& box, CVexoDoc& doc, bool apply);

// The hand-over of a layer to another document window, the entry point of
// the layers panel's drag of a layer row (and of the move tool's drag out
// of a window): copies `layer` of `doc` (its selected part when it is the
// current layer and a selection is active) to the clipboard, makes the move
// tool current and sets the drag-out flag. The first hover of the mouse in
// a window other than `source` (null: any window) then pastes it there as a
// new layer, which follows the mouse until the next press in that window.
// (grabX, grabY), when grab is set, is the point of the layer that comes
// under the mouse, in pixels from the top-left corner of what was copied.
bool StartHandOver(ToolBox& box, CVexoDoc& doc, int layer, const Workbench* source, bool grab = false,
                   int grabX = 0, int grabY = 0);
// Drops a hand-over that was not taken up.
void CancelHandOver(ToolBox& box);

// The balloon editor's "말풍선 수정" and "문구 수정": the current balloon
// layer takes the text and settings of `values` and is built again around
// them with its tail where it was, as one step "글자수정" (the balloon tail
// tool becomes current unless a balloon tool is). False, with nothing
// changed, when the current layer is no balloon or the text is empty.
bool EditBalloon(CVexoDoc& doc, const textlayer::TextDialogValues& values);

}  // namespace tools
