// Small helpers shared by the tool families.
#pragma once

#include <cstdint>
#include <vector>

#include "CVexoDoc.h"
#include "paint.h"

namespace tools {

// A zoomed point to a canvas pixel (origin top-left).
CVexoDoc::CanvasPoint CanvasOf(const CVexoDoc& doc, paint::ZPoint p);
std::vector<CVexoDoc::CanvasPoint> CanvasOf(const CVexoDoc& doc, const std::vector<paint::ZPoint>& pts);

// Clears the selection (and a shape being drawn) when there is one.
void ClearSelectionIfAny(CVexoDoc& doc);

// The current layer's colour at a canvas pixel (blue in the low byte) and
// its alpha; false outside the layer.
bool LayerColourAt(const CVexoDoc& doc, int canvasX, int canvasY, uint32_t& colour, uint8_t& alpha);

// Records an ordinary change of the current layer under a step name.
bool RecordStep(CVexoDoc& doc, const char16_t* name);

}  // namespace tools
