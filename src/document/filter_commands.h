// The document's filter and transform operations: each runs an image-core
// layer operation inside the command frame (current command id, previous-
// state copy, BeginLayerOp, the operation on the scratch buffers,
// EndLayerOp). The undo step is recorded by the caller (the filter dialog,
// or the command table for the transforms).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "layer_ops.h"

class CVexoDoc;

namespace docfilters {

using LayerFn = std::function<bool(layerops::LayerOpContext& ctx)>;

// Runs `op` on the current layer in the command frame with command `id`;
// the two values are stored as the document's filter parameters.
bool RunLayerOp(CVexoDoc& doc, int id, int p1, int p2, const LayerFn& op);

// A filter of the dialog's list (threshold with its mode, "렌즈효과").
bool RunFilterByName(CVexoDoc& doc, const std::string& name, int mode, int p1, int p2, int p3);
// The image-core operation of a filter with its values (empty when the name
// is unknown); RunFilterByName runs it in the command frame, the filter
// panel's preview on a copy of the layer.
LayerFn MakeFilterOp(const std::string& name, int mode, int p1, int p2, int p3);
// Command id of a filter name (-1 when unknown).
int FilterCommandId(const std::string& name);

// Transforms.
bool MirrorCurrentLayer(CVexoDoc& doc, int id);
bool FlipCurrentLayer(CVexoDoc& doc, int id);
bool MirrorEveryLayer(CVexoDoc& doc);    // 1410
bool FlipEveryLayer(CVexoDoc& doc);      // 1411
bool RotateCurrentLayer(CVexoDoc& doc, int id, double degrees);
bool RotateCanvas(CVexoDoc& doc, int id, double degrees);
bool NegativeLayer(CVexoDoc& doc);       // 1413
// Grey rule for every layer (1414) or the current one (4224).
bool GreyLayers(CVexoDoc& doc, bool every);
// Resamples every layer to the new canvas size (image-size command).
bool ResizeCanvas(CVexoDoc& doc, int width, int height);

// The filters of the cli's filter step in their numbering (1-based): the
// panel's list, then "임계치변환" and "렌즈효과".
const std::vector<std::string>& FilterStepNames();
// "NAME[:P1[,P2[,P3]]]" of the cli's filter step; NAME may be
// "임계치변환/MODE" and either may be given by its number (the filter's in
// FilterStepNames, the mode's 1..3). Throws std::invalid_argument when
// malformed.
struct FilterStep {
    std::string name;
    int mode = -1;
    int params[3] = {0, 0, 0};
};
FilterStep ParseFilterStep(const std::string& text);
// Applies and keeps a parsed step (undo step named after the filter).
bool ApplyFilterStep(CVexoDoc& doc, const FilterStep& step);

}  // namespace docfilters
