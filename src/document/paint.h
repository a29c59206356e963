// Paint operations of the document: the pixel work of the brush, undo brush,
// eraser, dot, spray, droplet, fill, line, polyline, circle, gradient and
// touch deform tools, on the current layer.
//
// Every operation takes its points in zoomed image coordinates (the view's
// picture space: picture pixels times the zoom, origin top-left) and
//   1. refuses text and balloon layers with doctext::kTextLayerRefused,
//   2. converts each point to layer pixels (the layer grows towards a point
//      outside it),
//   3. paints in the frame of the paint operations: the result of
//      BeginLayerOp / EndLayerOp (the layer painted through a scratch copy
//      and copied back, then the layers panel and the views told), but
//      painted straight into the layer so that the cost follows the
//      painted area (paint_internal.h says why that is the same),
// and returns false when it refused or could not run. Undo steps are the
// caller's (the tool records them on release), except the dot, which
// records "점찍기" itself.
//
// Restore and commit (the live preview of a drag): restoring copies the
// current layer back from the previous-state copy, committing copies it
// into the previous-state copy. Both copy only the area painted since the
// last commit; the result is byte for byte that of whole-layer copies.
//
// This header is the contract between the tools and the document; the
// arithmetic behind it is exact to the painting rules.
#pragma once

#include <cstdint>

class CVexoDoc;

namespace paint {

// A point in zoomed image coordinates.
struct ZPoint {
    int x = -1, y = -1;
    bool IsSet() const { return x != -1 || y != -1; }
    bool operator==(const ZPoint&) const = default;
};

// A colour as the paint settings hold it.
struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// A rectangle of canvas pixels (origin top-left), right and bottom exclusive;
// empty when right <= left or bottom <= top.
struct CanvasRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
};

enum class StrokeMode { Paint = 0, Erase = 1 };
enum BrushMode { kPencil = 0, kSoftBrush = 1 };

// Line of brush stamps from `from` to `to` (Bresenham, both ends included).
// width 1..30 (stamps from 25 up are stamped as 25).
bool Stroke(CVexoDoc& doc, StrokeMode mode, ZPoint from, ZPoint to, Rgb colour, int width, int brushMode);

// Undo brush: the stroke marks a stroke mask, and every marked pixel takes
// its colour from the undo brush source (CVexoDoc::undoBrushSource), alpha 255.
bool UndoBrushStroke(CVexoDoc& doc, ZPoint from, ZPoint to, int width, int brushMode);

// One dot of the brush size at the point shifted by (-2, +1) zoomed pixels,
// full alpha, limited by the selection; records "점찍기".
bool Dot(CVexoDoc& doc, ZPoint at, Rgb colour, int size);

// Spray around the point (radius 19), with the C library's rand().
bool Spray(CVexoDoc& doc, ZPoint at, Rgb colour);

// Droplet: spreads the colour under `current` around it; `previous` is the
// last droplet position (kept by the caller).
bool Droplet(CVexoDoc& doc, ZPoint previous, ZPoint current, int size);

// Flood fill from the point in the colour, tolerance ("포함한계") and
// feather width ("경계퍼짐"); progress every 100 points; limited to the selection.
bool Fill(CVexoDoc& doc, ZPoint at, Rgb colour, int tolerance, int feather);

// Circle through the midpoint method: centre `current`, radius half the
// distance from `press` to `current`; soft stamps of the brush size.
bool Circle(CVexoDoc& doc, ZPoint press, ZPoint current, Rgb colour, int size);

// Gradient along the base line from start to end; refused with
// "클릭이 아닌 드래깅으로 기준선을 먼저 잡으세요" when start equals end.
// colourMode 1 drawing colour only, 2 drawing and second colour; profile 1
// linear ("선형변화"), 2 "정규변화".
bool Gradient(CVexoDoc& doc, ZPoint start, ZPoint end, Rgb first, Rgb second, int colourMode, int profile);

// Touch deform of the rectangle of half-size (halfWidth, halfHeight)
// centred at the point (the point -1,-1: the selection's bounds), strength
// (1.0 by default) and deform mode. Half-sizes of 0 or less take the
// defaults used without the face-transform panel.
inline constexpr int kTouchHalfWidth = 80;
inline constexpr int kTouchHalfHeight = 60;
inline constexpr double kTouchStrength = 1.0;
enum DeformMode {
    kDeformSwell = 0,       // the middle grows
    kDeformPinch = 1,       // the middle shrinks
    kDeformPushRight = 2,   // the middle slides, the rim stays
    kDeformPushLeft = 3,
    kDeformPushUp = 4,
    kDeformPushDown = 5,
};
bool TouchDeform(CVexoDoc& doc, ZPoint at, int halfWidth, int halfHeight, double strength, int mode);

// The live preview of a drag (see above).
void RestoreCurrentLayer(CVexoDoc& doc);
void CommitCurrentLayer(CVexoDoc& doc);

// Canvas pixels the paint operations changed since the last call (for the
// view's repaint of only what changed); resets the area.
CanvasRect TakeDirtyArea(CVexoDoc& doc);

// The last droplet position the document remembers (-1,-1 before the first).
ZPoint LastDropletPoint(const CVexoDoc& doc);

}  // namespace paint
