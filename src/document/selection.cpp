// The selection: a byte mask with its own size and place on the canvas
// (0 not selected, 1 selected, 2 a pixel of a shape still being drawn), the
// active and inverted flags; fitting it to a layer, invert, clear, finish,
// the magic wand, colour range, the shapes, and crop to a new document.
//
// Mask rows follow the layer's stored-row order, and its (x, y) the layer
// convention of layer_set.cpp: mask row r lies on canvas stored row r - y,
// mask column c on canvas column c + x.
#include "selection.h"
#include "layer_grow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "CVexoDoc.h"
#include "command_frame.h"
#include "commands.h"
#include "undo_journal.h"

namespace selection {

namespace {
inline void Put(std::vector<uint8_t>& mask, int width, int height, int64_t x, int64_t y, uint8_t value) {
    if (x >= 0 && y >= 0 && x < width && y < height) mask[size_t(y) * size_t(width) + size_t(x)] = value;
}
// Points are clamped far outside any layer so that no arithmetic overflows.
constexpr int64_t kFar = int64_t(1) << 30;
Point Clamp(Point p) { return Point{std::clamp(p.x, -kFar, kFar), std::clamp(p.y, -kFar, kFar)}; }
}  // namespace

void RasterRectangle(std::vector<uint8_t>& mask, int width, int height, Point a, Point b, uint8_t value) {
    a = Clamp(a);
    b = Clamp(b);
    const int64_t x0 = std::max<int64_t>(std::min(a.x, b.x), 0), x1 = std::min<int64_t>(std::max(a.x, b.x), width - 1);
    const int64_t y0 = std::max<int64_t>(std::min(a.y, b.y), 0), y1 = std::min<int64_t>(std::max(a.y, b.y), height - 1);
    for (int64_t y = y0; y <= y1; ++y)
        if (x1 >= x0) std::memset(&mask[size_t(y) * size_t(width) + size_t(x0)], value, size_t(x1 - x0 + 1));
}

void RasterCircle(std::vector<uint8_t>& mask, int width, int height, Point a, Point b, uint8_t value) {
    a = Clamp(a);
    b = Clamp(b);
    // In doubled coordinates: centre (sx, sy) = a + b; a pixel (x, y) is
    // inside when |2p - s| <= d + 1 with d = |b - a|, i.e. with
    // L = |2p - s|² and D = d²: L - D - 1 <= 2 sqrt(D).
    const int64_t sx = a.x + b.x, sy = a.y + b.y;
    const __int128 D = __int128(b.x - a.x) * (b.x - a.x) + __int128(b.y - a.y) * (b.y - a.y);
    auto inside = [&](int64_t x, int64_t y) {
        const __int128 L = __int128(2 * x - sx) * (2 * x - sx) + __int128(2 * y - sy) * (2 * y - sy);
        const __int128 t = L - D - 1;
        return t <= 0 || t * t <= 4 * D;
    };
    const double cx = sx / 2.0, cy = sy / 2.0, r = std::sqrt(double(D)) / 2.0 + 0.5;
    const int64_t y0 = std::max<int64_t>(int64_t(std::floor(cy - r)) - 1, 0);
    const int64_t y1 = std::min<int64_t>(int64_t(std::ceil(cy + r)) + 1, height - 1);
    for (int64_t y = y0; y <= y1; ++y) {
        const double dy = y - cy;
        const double half = r * r - dy * dy > 0 ? std::sqrt(r * r - dy * dy) : 0.0;
        int64_t x0 = std::max<int64_t>(int64_t(std::floor(cx - half)) - 1, 0);
        int64_t x1 = std::min<int64_t>(int64_t(std::ceil(cx + half)) + 1, width - 1);
        while (x0 <= x1 && !inside(x0, y)) ++x0;
        while (x1 >= x0 && !inside(x1, y)) --x1;
        if (x1 >= x0) std::memset(&mask[size_t(y) * size_t(width) + size_t(x0)], value, size_t(x1 - x0 + 1));
    }
}

namespace {
// The pixels a segment passes through, stepped along its longer axis and
// only over the part that can meet the layer.
void RasterSegment(std::vector<uint8_t>& mask, int width, int height, Point p, Point q, uint8_t value) {
    const int64_t dx = q.x - p.x, dy = q.y - p.y;
    if (dx == 0 && dy == 0) {
        Put(mask, width, height, p.x, p.y, value);
        return;
    }
    if (std::llabs(dx) >= std::llabs(dy)) {
        const int64_t lo = std::max<int64_t>(std::min(p.x, q.x), 0), hi = std::min<int64_t>(std::max(p.x, q.x), width - 1);
        for (int64_t x = lo; x <= hi; ++x) {
            const int64_t y = int64_t(std::floor(double(p.y) + double(x - p.x) * double(dy) / double(dx) + 0.5));
            Put(mask, width, height, x, y, value);
        }
    } else {
        const int64_t lo = std::max<int64_t>(std::min(p.y, q.y), 0), hi = std::min<int64_t>(std::max(p.y, q.y), height - 1);
        for (int64_t y = lo; y <= hi; ++y) {
            const int64_t x = int64_t(std::floor(double(p.x) + double(y - p.y) * double(dx) / double(dy) + 0.5));
            Put(mask, width, height, x, y, value);
        }
    }
}
}  // namespace

void RasterPolygon(std::vector<uint8_t>& mask, int width, int height, const std::vector<Point>& points,
                   uint8_t value) {
    if (points.empty()) return;
    std::vector<Point> pts(points.size());
    std::transform(points.begin(), points.end(), pts.begin(), Clamp);
    const size_t n = pts.size();
    if (n >= 3) {
        int64_t minY = pts[0].y, maxY = pts[0].y;
        for (const Point& p : pts) {
            minY = std::min(minY, p.y);
            maxY = std::max(maxY, p.y);
        }
        std::vector<double> xs;
        for (int64_t y = std::max<int64_t>(minY, 0); y <= std::min<int64_t>(maxY, height - 1); ++y) {
            xs.clear();
            for (size_t i = 0; i < n; ++i) {
                const Point& p = pts[i];
                const Point& q = pts[(i + 1) % n];
                if ((p.y > y) != (q.y > y))
                    xs.push_back(double(p.x) + double(y - p.y) * double(q.x - p.x) / double(q.y - p.y));
            }
            std::sort(xs.begin(), xs.end());
            for (size_t k = 0; k + 1 < xs.size(); k += 2) {
                const int64_t x0 = std::max<int64_t>(int64_t(std::ceil(xs[k])), 0);
                const int64_t x1 = std::min<int64_t>(int64_t(std::floor(xs[k + 1])), width - 1);
                if (x1 >= x0) std::memset(&mask[size_t(y) * size_t(width) + size_t(x0)], value, size_t(x1 - x0 + 1));
            }
        }
    }
    for (size_t i = 0; i < n; ++i) RasterSegment(mask, width, height, pts[i], pts[(i + 1) % n], value);
}

void Feather(std::vector<uint8_t>& mask, int width, int height, int feather, uint8_t value) {
    feather = std::min(feather, 254);
    if (feather <= 0 || width < 1 || height < 1) return;
    // Bounding box of the shape, widened by the feather.
    int minX = width, maxX = -1, minY = height, maxY = -1;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = &mask[size_t(y) * size_t(width)];
        for (int x = 0; x < width; ++x)
            if (row[x] == value) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = y;
            }
    }
    if (maxX < 0) return;
    const int bx0 = std::max(minX - feather, 0), bx1 = std::min(maxX + feather, width - 1);
    const int by0 = std::max(minY - feather, 0), by1 = std::min(maxY + feather, height - 1);
    const int bw = bx1 - bx0 + 1, bh = by1 - by0 + 1;
    // Horizontal distance to the nearest shape pixel of the same row (255 = far).
    std::vector<uint8_t> h(size_t(bw) * size_t(bh));
    for (int y = 0; y < bh; ++y) {
        const uint8_t* row = &mask[size_t(y + by0) * size_t(width) + size_t(bx0)];
        uint8_t* hr = &h[size_t(y) * size_t(bw)];
        int d = 255;
        for (int x = 0; x < bw; ++x) {
            d = row[x] == value ? 0 : std::min(d + 1, 255);
            hr[x] = uint8_t(d);
        }
        d = 255;
        for (int x = bw - 1; x >= 0; --x) {
            d = row[x] == value ? 0 : std::min(d + 1, 255);
            hr[x] = uint8_t(std::min<int>(hr[x], d));
        }
    }
    // Half-width of the disc at each row distance: largest k with k² <= f² - dy².
    std::vector<int> half(size_t(feather) + 1);
    for (int dy = 0; dy <= feather; ++dy) {
        int k = int(std::sqrt(double(feather * feather - dy * dy)));
        while (k * k > feather * feather - dy * dy) --k;
        while ((k + 1) * (k + 1) <= feather * feather - dy * dy) ++k;
        half[size_t(dy)] = k;
    }
    for (int y = 0; y < bh; ++y) {
        uint8_t* row = &mask[size_t(y + by0) * size_t(width) + size_t(bx0)];
        const int dy0 = std::max(-feather, -y), dy1 = std::min(feather, bh - 1 - y);
        for (int x = 0; x < bw; ++x) {
            if (row[x] == value) continue;
            for (int dy = dy0; dy <= dy1; ++dy)
                if (h[size_t(y + dy) * size_t(bw) + size_t(x)] <= half[size_t(std::abs(dy))]) {
                    row[x] = value;
                    break;
                }
        }
    }
}

}  // namespace selection

// --- the document's selection -------------------------------------------------------

namespace {

const char* const kSelectFirst = "영역선택 후에 시도하십시요";

// The colour of a layer pixel, blue in the low byte.
inline uint32_t PixelColour(const CVexoDoc& d, const LayerRecord& l, size_t row, size_t col) {
    const uint8_t* p = l.pixels.get() + row * size_t(l.stride);
    if (d.live.canvas.bitsPerPixel == 8 || l.stride < 3 * l.width) {
        const uint8_t index = p[col];
        if (index < d.live.palette.size()) return PackQuad(d.live.palette[index]) & 0xFFFFFFu;
        return PackBGR(index, index, index);
    }
    p += col * 3;
    return PackBGR(p[0], p[1], p[2]);
}

inline int ColourDistance(uint32_t a, uint32_t b) {
    return std::abs(int(ColB(a)) - int(ColB(b))) + std::abs(int(ColG(a)) - int(ColG(b))) +
           std::abs(int(ColR(a)) - int(ColR(b)));
}

bool LayerUsable(const LayerRecord& l) {
    return l.inUse && l.pixels && l.alpha && l.width > 0 && l.height > 0;
}

}  // namespace

// Enlarges a raster layer so that the layer pixel (x, row) lies inside it,
// with 15 pixels to spare beyond the point. New pixels are white and
// transparent.
bool EnlargeLayerTowards(CVexoDoc& d, int index, int64_t x, int64_t row) {
    LayerRecord& l = d.Layer(index);
    const int bpp = d.live.canvas.bitsPerPixel == 8 ? 8 : 24;
    if (l.IsTextKind() || !LayerUsable(l)) return false;
    const int64_t addL = x < 0 ? -x + 15 : 0, addR = x >= l.width ? x - l.width + 1 + 15 : 0;
    const int64_t addB = row < 0 ? -row + 15 : 0, addT = row >= l.height ? row - l.height + 1 + 15 : 0;
    const int64_t nw = l.width + addL + addR, nh = l.height + addB + addT;
    const int64_t stride = LayerStride(int(std::min<int64_t>(nw, INT32_MAX / 32)), bpp);
    if (nw > INT32_MAX / 32 || nh > INT32_MAX || nw * nh > kMaxImagePixels || stride * nh > kMaxImageBytes) return false;
    std::unique_ptr<uint8_t[]> pix(new (std::nothrow) uint8_t[size_t(stride * nh)]);
    std::unique_ptr<uint8_t[]> alp(new (std::nothrow) uint8_t[size_t(nw * nh)]);
    std::unique_ptr<uint8_t[]> eff(new (std::nothrow) uint8_t[size_t(nw * nh)]);
    if (!pix || !alp || !eff) return false;
    std::memset(pix.get(), 255, size_t(stride * nh));
    std::memset(alp.get(), 0, size_t(nw * nh));
    std::memset(eff.get(), 0, size_t(nw * nh));
    const size_t bytesPP = size_t(bpp / 8);
    for (int r = 0; r < l.height; ++r) {
        const size_t nr = size_t(r + addB);
        std::memcpy(pix.get() + nr * size_t(stride) + size_t(addL) * bytesPP, l.PixelRow(r), size_t(l.width) * bytesPP);
        std::memcpy(alp.get() + nr * size_t(nw) + size_t(addL), l.AlphaRow(r), size_t(l.width));
        if (l.effectPlane)
            std::memcpy(eff.get() + nr * size_t(nw) + size_t(addL), l.effectPlane.get() + size_t(r) * size_t(l.width),
                        size_t(l.width));
    }
    l.pixels = std::move(pix);
    l.alpha = std::move(alp);
    l.effectPlane = std::move(eff);
    l.x -= int32_t(addL);
    l.y += int32_t(addB);   // old stored row r is now r + addB on the same canvas row
    l.width = int32_t(nw);
    l.height = int32_t(nh);
    l.stride = int32_t(stride);
    l.pixelSize = int32_t(stride * nh);
    l.planeSize = int32_t(nw * nh);
    d.viewRebuild = true;
    return true;
}

void CVexoDoc::ZoomedToCanvas(int zx, int zy, int& canvasX, int& canvasY) const {
    const double z = zoom > 0 ? zoom : 1.0;
    canvasX = int(std::trunc(zx / z));
    canvasY = int(std::trunc(zy / z));
}

void CVexoDoc::CanvasToLayer(int index, int canvasX, int canvasY, int& layerX, int& layerRow) const {
    const LayerRecord& l = Layer(index);
    layerX = canvasX - l.x;
    layerRow = l.y + live.canvas.height - canvasY - 1;
}

void CVexoDoc::ResetSelectionMask(int index) {
    SelectionMask& sel = live.selection;
    if (!IsValidLayer(index)) return;
    const LayerRecord& l = Layer(index);
    const int64_t n = int64_t(std::max(0, l.width)) * std::max(0, l.height);
    sel.mask.assign(size_t(n), 1);
    sel.width = n ? l.width : 0;
    sel.height = n ? l.height : 0;
    sel.size = n ? int32_t(n) : -1;
    sel.x = l.x;
    sel.y = l.y;
}

void CVexoDoc::FitSelectionToLayer(int index) {
    if (!IsValidLayer(index)) return;
    const LayerRecord& l = Layer(index);
    SelectionMask& sel = live.selection;
    const int nw = std::max(0, l.width), nh = std::max(0, l.height);
    std::vector<uint8_t> fresh(size_t(nw) * size_t(nh), selectionActive ? 0 : 1);
    const int ow = sel.width, oh = sel.height;
    if (ow > 0 && oh > 0 && sel.mask.size() >= size_t(ow) * size_t(oh)) {
        // New column c is old column c + nx - ox; new row r is old row r - ny + oy.
        const int64_t dc = int64_t(l.x) - sel.x, dr = int64_t(sel.y) - l.y;
        const int64_t c0 = std::max<int64_t>(0, -dc), c1 = std::min<int64_t>(nw, ow - dc);
        for (int64_t r = 0; r < nh && c1 > c0; ++r) {
            const int64_t ro = r + dr;
            if (ro < 0 || ro >= oh) continue;
            std::memcpy(&fresh[size_t(r) * size_t(nw) + size_t(c0)], &sel.mask[size_t(ro) * size_t(ow) + size_t(c0 + dc)],
                        size_t(c1 - c0));
        }
    }
    sel.mask = std::move(fresh);
    sel.width = nw;
    sel.height = nh;
    sel.size = nw && nh ? nw * nh : -1;
    sel.x = l.x;
    sel.y = l.y;
}

void CVexoDoc::InvertSelection() {
    selectionInverted = !selectionInverted;
    SelectionMask& sel = live.selection;
    if (sel.width > 0 && sel.height > 0) {
        const size_t n = std::min(sel.mask.size(), size_t(sel.width) * size_t(sel.height));
        for (size_t i = 0; i < n; ++i) sel.mask[i] = sel.mask[i] == 0 ? 1 : 0;
    }
    outlineChanged = true;
    Notify(docchange::Selection);
}

void CVexoDoc::ClearSelection() {
    selectionActive = false;
    selectionInverted = false;
    selectionDrag = false;
    Host().StopSelectionTimer(*this);
    ResetSelectionMask(currentLayer);
    outlineChanged = true;
    Notify(docchange::Selection);
    viewRebuild = true;
}

void CVexoDoc::FinishSelectionShape() {
    for (uint8_t& b : live.selection.mask)
        if (b == 2) b = 1;
    outlineChanged = true;
    Notify(docchange::Selection);
}

bool CVexoDoc::MagicWand(int canvasX, int canvasY, int tolerance, bool addMode) {
    if (!IsValidLayer(currentLayer) || !GuardRasterLayer()) return false;
    if (!LayerUsable(Layer(currentLayer))) return false;
    CommandScope scope(*this, 1344);
    int x, row;
    CanvasToLayer(currentLayer, canvasX, canvasY, x, row);
    if (x < 0 || row < 0 || x >= Layer(currentLayer).width || row >= Layer(currentLayer).height) {
        if (!EnlargeLayerTowards(*this, currentLayer, x, row)) return false;
        CanvasToLayer(currentLayer, canvasX, canvasY, x, row);
    }
    FitSelectionToLayer(currentLayer);
    SelectionMask& sel = live.selection;
    if (addMode) {
        for (uint8_t& b : sel.mask)
            if (b == 2) b = 1;
    } else {
        std::fill(sel.mask.begin(), sel.mask.end(), 0);
    }
    const LayerRecord& l = Layer(currentLayer);
    if (sel.width != l.width || sel.height != l.height) return false;
    const int w = l.width, h = l.height;
    const uint32_t seed = PixelColour(*this, l, size_t(row), size_t(x));
    uint8_t* mask = sel.mask.data();
    const uint8_t* alpha = l.alpha.get();
    // Every pixel reached from the seed through 4-neighbours that are
    // inside the layer, not transparent, not yet in the mask and nearer to
    // the seed colour than the tolerance. Pixels are marked when pushed,
    // which gives the same region as marking them when taken.
    std::vector<uint32_t> stack;
    const uint32_t seedIndex = uint32_t(size_t(row) * size_t(w) + size_t(x));
    mask[seedIndex] = 1;
    stack.push_back(seedIndex);
    auto consider = [&](uint32_t i, int px, int py) {
        if (mask[i] == 0 && alpha[i] != 0 &&
            ColourDistance(PixelColour(*this, l, size_t(py), size_t(px)), seed) < tolerance) {
            mask[i] = 1;
            stack.push_back(i);
        }
    };
    while (!stack.empty()) {
        const uint32_t i = stack.back();
        stack.pop_back();
        const int py = int(i / uint32_t(w)), px = int(i % uint32_t(w));
        if (py + 1 < h) consider(i + uint32_t(w), px, py + 1);
        if (px > 0) consider(i - 1, px - 1, py);
        if (px + 1 < w) consider(i + 1, px + 1, py);
        if (py > 0) consider(i - uint32_t(w), px, py - 1);
    }
    outlineChanged = true;
    Notify(docchange::Selection);
    selectionActive = true;
    Host().StartSelectionTimer(*this, 400);
    Host().UpdateViews(*this, false);
    return true;
}

void DocHost::ColourRangePicked(CVexoDoc& doc, uint32_t colour) {
    doc.SelectColourRange(colour, doc.rangeTolerance, 0);
}

int CVexoDoc::SelectColourRange(uint32_t colour, int tolerance, int mode) {
    if (!IsValidLayer(currentLayer) || !GuardRasterLayer()) return -1;
    if (!LayerUsable(Layer(currentLayer))) return -1;
    CommandScope scope(*this, 3344);
    rangeColour = colour;
    rangeTolerance = tolerance;
    if (mode == 0) {
        selectionActive = false;
        FitSelectionToLayer(currentLayer);
        std::fill(live.selection.mask.begin(), live.selection.mask.end(), 0);
    } else {
        FitSelectionToLayer(currentLayer);
        for (uint8_t& b : live.selection.mask)
            if (b == 2) b = 1;
    }
    const LayerRecord& l = Layer(currentLayer);
    SelectionMask& sel = live.selection;
    if (sel.width != l.width || sel.height != l.height) return -1;
    int64_t count = 0;
    const size_t w = size_t(l.width);
    const bool direct = live.canvas.bitsPerPixel != 8 && l.stride >= 3 * l.width;
    for (size_t r = 0; r < size_t(l.height); ++r) {
        const uint8_t* a = l.AlphaRow(int(r));
        uint8_t* m = &sel.mask[r * w];
        const uint8_t* p = l.PixelRow(int(r));
        for (size_t c = 0; c < w; ++c) {
            if (!a[c]) continue;
            const uint32_t pc = direct ? PackBGR(p[3 * c], p[3 * c + 1], p[3 * c + 2]) : PixelColour(*this, l, r, c);
            if (ColourDistance(pc, colour) <= tolerance) {
                m[c] = 1;
                ++count;
            }
        }
        if (image.info.progress < 0) break;   // cancelled
    }
    char line[96];
    std::snprintf(line, sizeof line, "픽셀수 %lld   (%.2f)%s", static_cast<long long>(count),
                  100.0 * double(count) / double(int64_t(l.width) * l.height), "%");
    Host().StatusText(line);
    selectionActive = true;
    outlineChanged = true;
    Notify(docchange::Selection);
    viewRebuild = true;
    Host().UpdateViews(*this, false);
    Host().StartSelectionTimer(*this, 400);
    return int(std::min<int64_t>(count, INT32_MAX));
}

bool CVexoDoc::SelectShape(int shape, const std::vector<CanvasPoint>& points, int feather) {
    if (!IsValidLayer(currentLayer) || !GuardRasterLayer()) return false;
    if (!LayerUsable(Layer(currentLayer)) || points.empty()) return false;
    if (shape != selection::kShapeRectangle && shape != selection::kShapeEllipse && shape != selection::kShapeLasso &&
        shape != selection::kShapePolygon)
        return false;
    FitSelectionToLayer(currentLayer);
    SelectionMask& sel = live.selection;
    std::fill(sel.mask.begin(), sel.mask.end(), 0);
    const LayerRecord& l = Layer(currentLayer);
    std::vector<selection::Point> pts;
    pts.reserve(points.size());
    for (const CanvasPoint& p : points)
        pts.push_back(selection::Point{int64_t(p.x) - l.x, int64_t(l.y) + live.canvas.height - p.y - 1});
    switch (shape) {
    case selection::kShapeRectangle:
        selection::RasterRectangle(sel.mask, sel.width, sel.height, pts.front(), pts.back());
        break;
    case selection::kShapeEllipse:
        selection::RasterCircle(sel.mask, sel.width, sel.height, pts.front(), pts.back());
        break;
    default:
        selection::RasterPolygon(sel.mask, sel.width, sel.height, pts);
        break;
    }
    selection::Feather(sel.mask, sel.width, sel.height, feather);
    selectionActive = true;
    selectionInverted = false;
    selectionDrag = false;
    outlineChanged = true;
    Notify(docchange::Selection);
    Host().StartSelectionTimer(*this, 400);
    Host().UpdateViews(*this, false);
    return true;
}

bool CVexoDoc::SelectionToDib(std::vector<uint8_t>& dib) const {
    if (!IsValidLayer(currentLayer)) return false;
    const LayerRecord& l = Layer(currentLayer);
    if (!LayerUsable(l) || l.IsTextKind()) return false;
    const SelectionMask& sel = live.selection;
    // Layer rows and columns of the part to copy, and the mask test.
    int c0 = 0, c1 = l.width - 1, r0 = 0, r1 = l.height - 1;
    const bool masked = selectionActive && sel.width > 0 && sel.height > 0 &&
                        sel.mask.size() >= size_t(sel.width) * size_t(sel.height);
    // Mask column of layer column c: c + lx - sx; mask row of layer row r: r - ly + sy.
    const int64_t dc = int64_t(l.x) - sel.x, dr = int64_t(sel.y) - l.y;
    auto selected = [&](int64_t c, int64_t r) {
        if (!masked) return true;
        const int64_t mc = c + dc, mr = r + dr;
        return mc >= 0 && mr >= 0 && mc < sel.width && mr < sel.height &&
               sel.mask[size_t(mr) * size_t(sel.width) + size_t(mc)] != 0;
    };
    if (masked) {
        c0 = l.width;
        c1 = -1;
        r0 = l.height;
        r1 = -1;
        for (int r = 0; r < l.height; ++r)
            for (int c = 0; c < l.width; ++c)
                if (selected(c, r)) {
                    c0 = std::min(c0, c);
                    c1 = std::max(c1, c);
                    r0 = std::min(r0, r);
                    r1 = r;
                }
        if (c1 < c0) return false;
    }
    const int w = c1 - c0 + 1, h = r1 - r0 + 1;
    const size_t stride = size_t(LayerStride(w, 24));
    BitmapInfoHeader hdr{};
    hdr.size = 40;
    hdr.width = w;
    hdr.height = h;
    hdr.planes = 1;
    hdr.bitCount = 24;
    hdr.sizeImage = uint32_t(stride * size_t(h));
    hdr.xPelsPerMeter = image.header.xPelsPerMeter;
    hdr.yPelsPerMeter = image.header.yPelsPerMeter;
    dib.assign(sizeof hdr + stride * size_t(h), 0);
    std::memcpy(dib.data(), &hdr, sizeof hdr);
    for (int r = 0; r < h; ++r) {
        uint8_t* out = dib.data() + sizeof hdr + size_t(r) * stride;
        for (int c = 0; c < w; ++c, out += 3) {
            const int lc = c0 + c, lr = r0 + r;
            const uint32_t colour = selected(lc, lr) ? PixelColour(*this, l, size_t(lr), size_t(lc)) : 0xFFFFFFu;
            out[0] = ColB(colour);
            out[1] = ColG(colour);
            out[2] = ColR(colour);
        }
    }
    return true;
}

bool CVexoDoc::CropToNewDocument() {
    if (!selectionActive) {
        Host().MessageBox(kSelectFirst);
        return false;
    }
    if (!IsValidLayer(currentLayer) || !GuardRasterLayer()) return false;
    CommandScope scope(*this, 1482);
    std::vector<uint8_t> dib;
    if (!SelectionToDib(dib) || !Host().SetClipboardDib(dib)) return false;
    std::vector<uint8_t> clip;
    if (!Host().GetClipboardDib(clip) || clip.size() < sizeof(BitmapInfoHeader)) return false;
    BitmapInfoHeader hdr;
    std::memcpy(&hdr, clip.data(), sizeof hdr);
    const int w = hdr.width, h = hdr.height < 0 ? -hdr.height : hdr.height;
    if (w < 1 || w > 4000 || h < 1 || h > 4000) return false;
    VaZavi picture(kTypeBMP);
    int32_t xpm = 0;
    if (!picture.CreateFromHandle(clip.data(), clip.size(), &hdr, &xpm, false) || picture.Width() != w ||
        picture.Height() != h)
        return false;
    auto doc = std::make_unique<CVexoDoc>(&Host());
    if (!doc->NewImage(w, h)) return false;
    const std::u16string untitled = u"이름없음";
    SetFixedText(doc->live.canvas.title, 100, untitled);
    doc->displayName = Utf16ToUtf8(untitled);
    LayerRecord& base = doc->Layer(doc->headLayer);
    for (int r = 0; r < h; ++r) {
        uint8_t* out = base.PixelRow(r);
        for (int c = 0; c < w; ++c, out += 3) {
            const uint32_t colour = picture.GetPixelColor(c, r);
            out[0] = ColB(colour);
            out[1] = ColG(colour);
            out[2] = ColR(colour);
        }
    }
    std::memset(base.alpha.get(), 255, size_t(base.planeSize));
    base.kind = LayerImage;
    doc->docSerial = Host().NextDocSerial();
    doc->RecordUndoStep(u"initial state", 0, doc->headLayer);
    doc->modified = true;
    CVexoDoc* shown = Host().AdoptNewDocument(std::move(doc), Utf16ToUtf8(untitled));
    if (shown) Host().UpdateViews(*shown, true);
    return shown != nullptr;
}

// --- commands -----------------------------------------------------------------------

namespace {
std::vector<int> ParseInts(const std::string& args, size_t minCount, size_t maxCount) {
    std::vector<int> v;
    size_t pos = 0;
    while (pos <= args.size()) {
        size_t end = args.find(',', pos);
        if (end == std::string::npos) end = args.size();
        const std::string part = args.substr(pos, end - pos);
        size_t used = 0;
        long long n = 0;
        try {
            n = std::stoll(part, &used, 10);
        } catch (const std::exception&) {
            throw std::invalid_argument("not a number: " + part);
        }
        if (used != part.size() || n < INT32_MIN || n > INT32_MAX) throw std::invalid_argument("not a number: " + part);
        v.push_back(int(n));
        pos = end + 1;
    }
    if (v.size() < minCount || v.size() > maxCount) throw std::invalid_argument("wrong number of values: " + args);
    return v;
}
}  // namespace

namespace commands {
void RegisterSelectionCommands(Table& t) {
    t.Add(2058, "선택 영역을 반대로 하여 선택함", [](CVexoDoc& d, const std::vector<int>&) {
        if (!d.GuardRasterLayer()) return false;
        CommandScope scope(d, 2058);
        d.InvertSelection();
        d.Host().UpdateViews(d, false);
        return true;
    });
    t.Add(2060, "영역/명령 선택을 해제함", [](CVexoDoc& d, const std::vector<int>&) {
        d.ClearSelection();
        d.Host().SwitchTool(-1);
        d.Host().SetCurrentCommand(-1);
        d.Host().UpdateViews(d, true);
        return true;
    });
    t.Add(1482, "선택영역을 달라낸 뒤 새창에 담는다.",
          [](CVexoDoc& d, const std::vector<int>&) { return d.CropToNewDocument(); });
    // wand:X,Y[,T]  (picture pixels, origin top-left; T 70 as the tool starts)
    t.AddNamed("wand", [](CVexoDoc& d, const std::string& args) {
        const std::vector<int> v = ParseInts(args, 2, 3);
        return d.MagicWand(v[0], v[1], v.size() > 2 ? v[2] : 70, false);
    });
    // rect:X0,Y0,X1,Y1  (both corners included)
    t.AddNamed("rect", [](CVexoDoc& d, const std::string& args) {
        const std::vector<int> v = ParseInts(args, 4, 4);
        return d.SelectShape(selection::kShapeRectangle, {{v[0], v[1]}, {v[2], v[3]}}, 0);
    });
    // range:RRGGBB[,T]  (T 10 as the dialog starts)
    t.AddNamed("range", [](CVexoDoc& d, const std::string& args) {
        const size_t comma = args.find(',');
        const std::string hex = args.substr(0, comma);
        if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            throw std::invalid_argument("colour must be RRGGBB: " + hex);
        const unsigned long rgb = std::stoul(hex, nullptr, 16);
        int tolerance = 10;
        if (comma != std::string::npos) tolerance = ParseInts(args.substr(comma + 1), 1, 1)[0];
        const uint32_t colour = PackBGR(uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16));
        return d.SelectColourRange(colour, tolerance, 0) >= 0;
    });
}
}  // namespace commands
