// Growing a layer towards a point outside it (the magic wand and the paint
// operations convert their points through it).
#pragma once

#include <cstdint>

class CVexoDoc;

// Enlarges raster layer `index` so that the layer pixel (x, stored row
// `row`) lies inside it, with 15 pixels to spare beyond the point. New
// pixels are white and transparent. False, with the layer unchanged, for
// text layers, missing buffers or a size beyond the picture limits.
bool EnlargeLayerTowards(CVexoDoc& d, int index, int64_t x, int64_t row);
