// Selection shapes: the rules that turn a shape's points into mask bytes.
//
// Points are layer pixels (column, stored row); a point stands for the
// centre of its pixel. The mask is width x height bytes, stored rows in the
// layer's order. Every rasteriser writes `value` into the pixels of the
// shape and leaves the other bytes alone.
#pragma once

#include <cstdint>
#include <vector>

namespace selection {

enum Shape : int {
    kShapeRectangle = 1,
    kShapeEllipse = 2,
    kShapeLasso = 3,
    kShapeWand = 4,
    kShapePolygon = 5,
};

struct Point {
    int64_t x, y;
};

// Every pixel of the rectangle spanned by two corners, both included.
void RasterRectangle(std::vector<uint8_t>& mask, int width, int height, Point a, Point b, uint8_t value = 1);

// The circle the view draws while the ellipse tool drags: centre at the
// midpoint of the two points, radius half their distance. A pixel belongs
// to it when its centre lies within the radius (plus half a pixel, so a
// drag of two neighbouring pixels selects both).
void RasterCircle(std::vector<uint8_t>& mask, int width, int height, Point a, Point b, uint8_t value = 1);

// Closed polygon (lasso and polygon tools): the pixels whose centres are
// inside by the even-odd rule, plus every pixel the outline passes through
// (so a lasso drawn as a thin line still selects its trace). Fewer than
// three points give only the outline.
void RasterPolygon(std::vector<uint8_t>& mask, int width, int height, const std::vector<Point>& points,
                   uint8_t value = 1);

// Feather width ("경계퍼짐"): the mask holds whole pixels only (0 or 1), so
// the feather widens the shape outward by a disc of radius `feather`: a
// pixel becomes `value` when a pixel of the shape lies within Euclidean
// distance `feather` of it (dx² + dy² <= feather²). Soft weighting at the
// edge is left to the operations that use the mask. Widths above 254 are
// taken as 254.
void Feather(std::vector<uint8_t>& mask, int width, int height, int feather, uint8_t value = 1);

}  // namespace selection
