// Shared pieces of the paint operations (paint_*.cpp): the exact product
// table, a pixel view of a raster layer, the selection test, and the frame
// every operation runs in (guard, point conversion, the painted area, the
// notices at the end).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <unordered_map>
#include <vector>

#include "CVexoDoc.h"
#include "paint.h"
#include "paint_state.h"

namespace paint::detail {

// T[a][b] = a * b / 255 rounded down, exactly: T[c][255] = c, T[255][a] = a.
using ProductRow = uint8_t[256];
const ProductRow* Product();

// a * w + b * (255 - w), over 255 and rounded: a at w = 255, b at w = 0,
// and a colour mixed with itself stays the same.
inline uint8_t Mix(int a, int b, int w) { return uint8_t((a * w + b * (255 - w) + 127) / 255); }

// A layer pixel: column and stored row (row 0 is the bottom of the layer).
struct LPoint {
    int x = 0, row = 0;
    bool operator==(const LPoint&) const = default;
};

// Colours and alpha of a raster layer, 24-bit or palette (the palette
// layers read their colours from the document palette and write the
// nearest entry).
class Surface {
public:
    Surface(CVexoDoc& doc, LayerRecord& layer);
    int w = 0, h = 0;
    bool palette = false;
    size_t stride = 0;
    uint8_t* pixels = nullptr;
    uint8_t* alpha = nullptr;

    bool Inside(int x, int row) const { return x >= 0 && row >= 0 && x < w && row < h; }
    uint8_t* Pixel(int x, int row) const { return pixels + size_t(row) * stride + size_t(x) * (palette ? 1 : 3); }
    uint8_t& Alpha(int x, int row) const { return alpha[size_t(row) * size_t(w) + size_t(x)]; }
    // Blue, green, red of a pixel.
    void Get(int x, int row, uint8_t bgr[3]) const {
        const uint8_t* p = Pixel(x, row);
        if (!palette) {
            bgr[0] = p[0], bgr[1] = p[1], bgr[2] = p[2];
            return;
        }
        GetIndexed(*p, bgr);
    }
    void Put(int x, int row, const uint8_t bgr[3]) {
        uint8_t* p = Pixel(x, row);
        if (!palette) {
            p[0] = bgr[0], p[1] = bgr[1], p[2] = bgr[2];
            return;
        }
        *p = Nearest(bgr);
    }
    void GetIndexed(uint8_t index, uint8_t bgr[3]) const;
    uint8_t Nearest(const uint8_t bgr[3]);

private:
    CVexoDoc& doc_;
    std::unordered_map<uint32_t, uint8_t> nearest_;
};

// The selection mask as the paint operations that honour it read it: with
// no active selection every pixel is marked.
class SelectionTest {
public:
    SelectionTest(const CVexoDoc& doc, const LayerRecord& layer);
    bool active = false;
    bool operator()(int x, int row) const {
        if (!active) return true;
        const int64_t mx = int64_t(x) + shiftX, my = int64_t(row) + shiftRow;
        return mx >= 0 && my >= 0 && mx < width && my < height &&
               mask[size_t(my) * size_t(width) + size_t(mx)] == 1;
    }

private:
    const uint8_t* mask = nullptr;
    int64_t width = 0, height = 0, shiftX = 0, shiftRow = 0;
};

// The frame of one paint operation. The constructor refuses text and
// balloon layers (with the guard message) and layers without buffers;
// Convert turns zoomed points into layer pixels, growing the layer towards
// points outside it; Touch records the painted area; Finish tells the
// layers panel and the views, as the end of the command frame does.
//
// The operations paint straight into the layer's own buffers. Every one
// of them reads each pixel before it writes it and never needs a pixel's
// value from before the operation once it was written (where it does, it
// keeps its own copy of the few pixels concerned), so the result is that
// of painting into a scratch copy of the whole layer and copying it back,
// at a cost that follows the painted area instead of the layer's size.
class Frame {
public:
    explicit Frame(CVexoDoc& doc);
    bool Ok() const { return ok_; }
    bool Convert(std::initializer_list<ZPoint> points, LPoint* out);
    LayerRecord& Layer() const { return doc_.Layer(index_); }
    Surface MakeSurface() const { return Surface(doc_, Layer()); }
    // Clipped to the layer.
    void Touch(const LayerArea& area);
    void TouchAll();
    void Finish();
    CVexoDoc& doc() const { return doc_; }

private:
    CVexoDoc& doc_;
    int index_ = -1;
    bool ok_ = false;
};

// The shape of a layer's buffers now.
LayerShape ShapeOf(const LayerRecord& layer);
// Adds the canvas rectangle of a layer area to the view's dirty area.
void AddCanvasDirty(CVexoDoc& doc, const LayerRecord& layer, const LayerArea& area);
// The area of a stamp of size n at a point (n > 1: the square of side 2n,
// sizes from 25 up taken as 25; n <= 1: the pixel).
LayerArea StampArea(LPoint at, int n);
inline int StampSize(int width) { return width < 1 ? 1 : width > 25 ? 25 : width; }

// The stamp rules (paint_stroke.cpp).
void StampPaint(Surface& s, LPoint at, int width, const uint8_t bgr[3], int brushMode);
void StampErase(Surface& s, LPoint at, int width, int brushMode);
// The Bresenham points from a to b, both included.
template <class Fn>
void Bresenham(LPoint a, LPoint b, Fn&& fn) {
    const int dx = a.x < b.x ? b.x - a.x : a.x - b.x, dy = a.row < b.row ? b.row - a.row : a.row - b.row;
    const int sx = a.x <= b.x ? 1 : -1, sy = a.row <= b.row ? 1 : -1;
    const bool xMajor = dx >= dy;
    const int major = xMajor ? dx : dy, minor = xMajor ? dy : dx;
    int err = 2 * minor - major;
    int x = a.x, y = a.row;
    for (int i = 0; i <= major; ++i) {
        fn(LPoint{x, y});
        if (err > 0) {
            if (xMajor) y += sy;
            else x += sx;
            err += 2 * (minor - major);
        } else {
            err += 2 * minor;
        }
        if (xMajor) x += sx;
        else y += sy;
    }
}
// The points of a circle of radius r about c by the midpoint method: the
// four axis points, then the eight symmetric points while i < k, and the
// four diagonal points when i reaches k. Each point once.
void CirclePoints(LPoint c, int r, std::vector<LPoint>& out);

}  // namespace paint::detail
