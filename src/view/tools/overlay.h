// The overlay: what the view draws over the picture while a tool works (the
// rubber band of the rectangle tool, the circle outline, the line as a band
// of 9 x 9 squares, the running outline of the lasso and the polygon; later
// paths and transform frames). All in zoomed image coordinates. The view
// repaints only the bounding boxes of what changed.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "paint.h"

namespace tools {

// A rectangle of zoomed image pixels, right and bottom exclusive.
struct ZRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
    ZRect Union(const ZRect& o) const;
    ZRect Intersect(const ZRect& o) const;
    bool operator==(const ZRect&) const = default;
};

enum class OverlayKind {
    Band,          // one-pixel rectangle outline between points[0] and points[1]
    Circle,        // one-pixel circle: centre the midpoint, radius half the distance
    LineSquares,   // the line points[0]..points[1] as 9 x 9 squares stepped by Bresenham
    Polyline,      // one-pixel segments through the points (closed: back to the first)
    Handles,       // a 7 x 7 square outline at every point (anchors, corner handles)
    Marks,         // a filled 5 x 5 square at every point (the first anchor of a path)
};

struct OverlayItem {
    OverlayItem() = default;
    OverlayItem(OverlayKind k, std::vector<paint::ZPoint> p, bool c = false) : kind(k), points(std::move(p)), closed(c) {}
    // The item in a colour of its own.
    OverlayItem Tinted(paint::Rgb c) && {
        tinted = true;
        tint = c;
        return std::move(*this);
    }
    OverlayKind kind = OverlayKind::Band;
    std::vector<paint::ZPoint> points;
    bool closed = false;
    // A colour of its own (the path's segments and anchors), else the
    // overlay's colour.
    bool tinted = false;
    paint::Rgb tint;
    bool operator==(const OverlayItem&) const = default;
};

// One horizontal run of overlay pixels: [x, x + length) on row y.
using SpanFn = std::function<void(int x, int y, int length)>;
// The same with the run's colour.
using ColourSpanFn = std::function<void(int x, int y, int length, paint::Rgb colour)>;

class Overlay {
public:
    const std::vector<OverlayItem>& Items() const { return items_; }
    // What stays over the picture between the tool's shapes (the path being
    // edited, the free-transform frame): drawn under the items, kept by
    // Show and Hide, replaced as a whole.
    const std::vector<OverlayItem>& Background() const { return background_; }
    void SetBackground(std::vector<OverlayItem> items);
    bool Shown() const { return !items_.empty() || !background_.empty(); }
    // Replaces the tool's items with one item / adds one / hides them.
    void Show(OverlayItem item);
    void Add(OverlayItem item);
    void Hide();
    // Counts every change (the view compares it).
    uint64_t Version() const { return version_; }
    // The box of every overlay pixel.
    ZRect Bounds() const;
    // Every pixel of the overlay as runs (a pixel may be reported twice).
    void Rasterize(const SpanFn& span) const;
    // The same with each run's colour (grey in grey mode), background first.
    void RasterizeColoured(const ColourSpanFn& span) const;
    // Tiles of tile x tile zoomed pixels that hold overlay pixels, joined
    // along their rows: what must be repainted when the overlay goes or
    // comes (much less than its bounds for a band or a circle).
    std::vector<ZRect> Cover(int tile = 32) const;
    // The same tiles as (row, column) pairs, sorted.
    using Tiles = std::vector<std::pair<int, int>>;
    Tiles CoverTiles(int tile = 32) const;
    static std::vector<ZRect> TilesToRects(const Tiles& tiles, int tile = 32);
    // The overlay's colour: the drawing colour, grey in grey mode.
    paint::Rgb colour{0, 0, 0};
    bool grey = false;

private:
    std::vector<OverlayItem> items_, background_;
    uint64_t version_ = 0;
};

ZRect ItemBounds(const OverlayItem& item);
void RasterizeItem(const OverlayItem& item, const SpanFn& span);

// The points of a circle of radius r around (cx, cy) by the midpoint
// method: the four axis points, then for i = 1 while i < k (k = sqrt(r² -
// i²) rounded to nearest) the eight symmetric points, and the four diagonal
// points when i reaches k.
void MidpointCircle(int cx, int cy, int r, const std::function<void(int, int)>& point);
// The Bresenham line from a to b, both ends included.
void BresenhamLine(paint::ZPoint a, paint::ZPoint b, const std::function<void(int, int)>& point);

}  // namespace tools
