// Brush stamps and the operations built from them: stroke, undo brush,
// circle and dot.
//
// Stamp of size n at (x, y): n = 1 is the pixel itself. Larger sizes
// (from 25 up taken as 25) cover the square of side 2n whose corner is
// (x - n, y - n); d² is a pixel's squared distance to (x, y) and the weight
// w = 255 * min(1, d² / (n² / 2)), truncated (0 everywhere for the pencil).
// Painting mixes T[C][255 - w] + T[old][w] and makes the pixel opaque,
// leaving the pixels with w = 255 alone; erasing gives every pixel of the
// square the alpha T[w][alpha]. A stamp reads the pixels as the stamps
// before it left them.
#include <algorithm>
#include <cmath>
#include <vector>

#include "paint_internal.h"
#include "undo_journal.h"

namespace paint {

namespace detail {

namespace {
inline bool Soft(int brushMode) { return brushMode == kSoftBrush; }

// Calls fn(x, row, w) for every pixel of the stamp inside the surface
// that the painting rule writes (w < 255 in the soft brush).
template <class Fn>
void ForStampPixels(const Surface& s, LPoint at, int width, int brushMode, bool everyPixel, Fn&& fn) {
    if (width <= 1) {
        if (s.Inside(at.x, at.row)) fn(at.x, at.row, 0);
        return;
    }
    const int n = StampSize(width), n2 = n * n;
    const bool soft = Soft(brushMode);
    const int r0 = std::max(at.row - n, 0), r1 = std::min(at.row + n, s.h);
    const int x0 = std::max(at.x - n, 0), x1 = std::min(at.x + n, s.w);
    for (int r = r0; r < r1; ++r) {
        const int dy = r - at.row;
        for (int x = x0; x < x1; ++x) {
            const int dx = x - at.x, d2 = dx * dx + dy * dy;
            int w = 0;
            if (soft) {
                if (2 * d2 >= n2) {
                    if (everyPixel) fn(x, r, 255);
                    continue;
                }
                w = 510 * d2 / n2;
            }
            fn(x, r, w);
        }
    }
}
}  // namespace

void StampPaint(Surface& s, LPoint at, int width, const uint8_t c[3], int brushMode) {
    const ProductRow* T = Product();
    if (width <= 1) {
        if (!s.Inside(at.x, at.row)) return;
        s.Put(at.x, at.row, c);
        s.Alpha(at.x, at.row) = 255;
        return;
    }
    ForStampPixels(s, at, width, brushMode, false, [&](int x, int r, int w) {
        uint8_t old[3];
        s.Get(x, r, old);
        const uint8_t out[3] = {uint8_t(T[c[0]][255 - w] + T[old[0]][w]), uint8_t(T[c[1]][255 - w] + T[old[1]][w]),
                                uint8_t(T[c[2]][255 - w] + T[old[2]][w])};
        s.Put(x, r, out);
        s.Alpha(x, r) = 255;
    });
}

void StampErase(Surface& s, LPoint at, int width, int brushMode) {
    const ProductRow* T = Product();
    if (width <= 1) {
        if (!s.Inside(at.x, at.row)) return;
        uint8_t& a = s.Alpha(at.x, at.row);
        a = a < 50 ? 0 : uint8_t(a - 50);
        return;
    }
    ForStampPixels(s, at, width, brushMode, true, [&](int x, int r, int w) {
        uint8_t& a = s.Alpha(x, r);
        a = T[w][a];
    });
}

}  // namespace detail

using namespace detail;

namespace {
LayerArea LineArea(LPoint a, LPoint b, int width) {
    LayerArea area = StampArea(a, width);
    area.Add(StampArea(b, width));
    return area;
}
}  // namespace

bool Stroke(CVexoDoc& doc, StrokeMode mode, ZPoint from, ZPoint to, Rgb colour, int width, int brushMode) {
    if (!to.IsSet()) return false;
    if (!from.IsSet()) from = to;
    Frame f(doc);
    if (!f.Ok()) return false;
    LPoint p[2];
    if (!f.Convert({from, to}, p)) return false;
    Surface s = f.MakeSurface();
    const uint8_t c[3] = {colour.b, colour.g, colour.r};
    Bresenham(p[0], p[1], [&](LPoint at) {
        if (mode == StrokeMode::Erase) StampErase(s, at, width, brushMode);
        else StampPaint(s, at, width, c, brushMode);
    });
    f.Touch(LineArea(p[0], p[1], width));
    f.Finish();
    return true;
}

bool UndoBrushStroke(CVexoDoc& doc, ZPoint from, ZPoint to, int width, int brushMode) {
    if (!to.IsSet()) return false;
    if (!from.IsSet()) from = to;
    Frame f(doc);
    if (!f.Ok()) return false;
    LPoint p[2];
    if (!f.Convert({from, to}, p)) return false;
    const LayerRecord& l = f.Layer();
    // The source holds the layer's pixels of an earlier step: it must still
    // fit the layer (which may have grown towards a point).
    if (!doc.undoBrushSource || doc.undoBrushSourceSize != l.pixelSize) return false;
    Surface s = f.MakeSurface();
    LayerArea area = LineArea(p[0], p[1], width);
    area.left = std::max(area.left, 0), area.bottom = std::max(area.bottom, 0);
    area.right = std::min(area.right, s.w), area.top = std::min(area.top, s.h);
    if (area.Empty()) {
        f.Finish();
        return true;
    }
    // The stroke mask of the area, cleared before the stroke marks it.
    const int mw = area.right - area.left, mh = area.top - area.bottom;
    std::vector<uint8_t> mask(size_t(mw) * size_t(mh), 0);
    Bresenham(p[0], p[1], [&](LPoint at) {
        if (width <= 1) {
            if (s.Inside(at.x, at.row)) mask[size_t(at.row - area.bottom) * size_t(mw) + size_t(at.x - area.left)] = 1;
            return;
        }
        const int n = StampSize(width), n2 = n * n;
        const bool soft = brushMode == kSoftBrush;
        const int r0 = std::max(at.row - n, area.bottom), r1 = std::min(at.row + n, area.top);
        const int x0 = std::max(at.x - n, area.left), x1 = std::min(at.x + n, area.right);
        for (int r = r0; r < r1; ++r) {
            uint8_t* m = &mask[size_t(r - area.bottom) * size_t(mw)];
            const int dy = r - at.row;
            for (int x = x0; x < x1; ++x)
                if (!soft || 2 * ((x - at.x) * (x - at.x) + dy * dy) < n2) m[x - area.left] = 1;
        }
    });
    const size_t bpp = s.palette ? 1 : 3;
    const uint8_t* src = doc.undoBrushSource.get();
    for (int r = area.bottom; r < area.top; ++r) {
        const uint8_t* m = &mask[size_t(r - area.bottom) * size_t(mw)];
        for (int x = area.left; x < area.right; ++x) {
            if (!m[x - area.left]) continue;
            const size_t at = size_t(r) * s.stride + size_t(x) * bpp;
            std::copy(src + at, src + at + bpp, s.pixels + at);
            s.Alpha(x, r) = 255;
        }
    }
    f.Touch(area);
    f.Finish();
    return true;
}

bool Circle(CVexoDoc& doc, ZPoint press, ZPoint current, Rgb colour, int size) {
    if (!current.IsSet()) return false;
    if (!press.IsSet()) press = current;
    Frame f(doc);
    if (!f.Ok()) return false;
    LPoint p[2];
    if (!f.Convert({press, current}, p)) return false;
    const double dx = double(p[1].x) - p[0].x, dy = double(p[1].row) - p[0].row;
    const int radius = int(std::sqrt(dx * dx + dy * dy) / 2.0);
    std::vector<LPoint> points;
    CirclePoints(p[1], radius, points);
    Surface s = f.MakeSurface();
    const uint8_t c[3] = {colour.b, colour.g, colour.r};
    LayerArea area;
    for (const LPoint& at : points) {
        StampPaint(s, at, size, c, kSoftBrush);
        area.Add(StampArea(at, size));
    }
    f.Touch(area);
    f.Finish();
    return true;
}

bool Dot(CVexoDoc& doc, ZPoint at, Rgb colour, int size) {
    Frame f(doc);
    if (!f.Ok()) return false;
    LPoint p;
    if (!f.Convert({ZPoint{at.x - 2, at.y + 1}}, &p)) return false;
    Surface s = f.MakeSurface();
    const SelectionTest selected(doc, f.Layer());
    const uint8_t c[3] = {colour.b, colour.g, colour.r};
    // The disc of the soft stamp of that size, in the pure colour.
    auto put = [&](int x, int r) {
        if (!s.Inside(x, r) || !selected(x, r)) return;
        s.Put(x, r, c);
        s.Alpha(x, r) = 255;
    };
    if (size <= 1) {
        put(p.x, p.row);
    } else {
        const int n = StampSize(size), n2 = n * n;
        for (int dy = -n; dy < n; ++dy)
            for (int dx = -n; dx < n; ++dx)
                if (2 * (dx * dx + dy * dy) < n2) put(p.x + dx, p.row + dy);
    }
    f.Touch(StampArea(p, size));
    f.Finish();
    doc.RecordUndoStep(u"점찍기", UndoLayerChanged, doc.currentLayer);
    return true;
}

}  // namespace paint
