// Speech balloons: the seven-point outline around a text layer's covered
// pixels, and the balloon drawn into the layer's coverage.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "CVexoDoc.h"
#include "text_layers.h"

namespace textlayer {

BalloonOutline ComputeBalloon(int left, int top, int width, int height, int tailX, int tailY) {
    BalloonOutline o;
    const int mx = int(width * 0.3);
    const int my = int(height * 0.3);
    o.left = left - mx;
    o.right = left + width + mx;
    o.top = top - my;
    o.bottom = top + height + my;
    o.width = std::abs(o.right - o.left);
    o.height = std::abs(o.bottom - o.top);
    const int baseLeft = o.left + o.width * 3 / 6;
    const int baseRight = o.left + o.width * 4 / 6;
    int tx = baseLeft, ty = o.top - o.height / 2;
    if (tailX != -1 || tailY != -1) {
        tx = tailX;
        ty = std::min(tailY, o.top);   // the tail never points into the balloon
    }
    const int xs[7] = {o.left, baseLeft, tx, baseRight, o.right, o.right, o.left};
    const int ys[7] = {o.top, o.top, ty, o.top, o.top, o.bottom, o.bottom};
    std::copy(xs, xs + 7, o.x);
    std::copy(ys, ys + 7, o.y);
    o.count = 7;
    return o;
}

namespace {

// A pixel bound from a real coordinate, limited to [lo, hi] before the
// conversion (coordinates may come from damaged documents).
inline int Bound(double v, int lo, int hi) { return int(std::clamp(v, double(lo), double(hi))); }

inline void Cover(const textrender::Plane& plane, int px, int py, double coverage) {
    if (coverage <= 0.0) return;
    const int v = coverage >= 1.0 ? 255 : int(coverage * 255.0 + 0.5);
    uint8_t& p = plane.Row(py)[px];
    if (p < v) p = uint8_t(v);
}

// A straight stroke of the given width with smooth edges, round ends.
void Segment(const textrender::Plane& plane, double x0, double y0, double x1, double y1, double halfWidth) {
    const int minX = Bound(std::floor(std::min(x0, x1) - halfWidth - 1), 0, plane.width);
    const int maxX = Bound(std::ceil(std::max(x0, x1) + halfWidth + 1), -1, plane.width - 1);
    const int minY = Bound(std::floor(std::min(y0, y1) - halfWidth - 1), 0, plane.height);
    const int maxY = Bound(std::ceil(std::max(y0, y1) + halfWidth + 1), -1, plane.height - 1);
    const double dx = x1 - x0, dy = y1 - y0;
    const double len2 = dx * dx + dy * dy;
    for (int py = minY; py <= maxY; ++py)
        for (int px = minX; px <= maxX; ++px) {
            double t = len2 > 0 ? ((px - x0) * dx + (py - y0) * dy) / len2 : 0.0;
            t = std::clamp(t, 0.0, 1.0);
            const double ex = px - (x0 + t * dx), ey = py - (y0 + t * dy);
            Cover(plane, px, py, halfWidth + 0.5 - std::sqrt(ex * ex + ey * ey));
        }
}

// The ring of an ellipse, left open on its upper half strictly between
// openLeft and openRight.
void EllipseRing(const textrender::Plane& plane, double cx, double cy, double a, double b, double halfWidth,
                 int openLeft, int openRight) {
    if (a <= 0 || b <= 0) return;
    const int minX = Bound(std::floor(cx - a - halfWidth - 1), 0, plane.width);
    const int maxX = Bound(std::ceil(cx + a + halfWidth + 1), -1, plane.width - 1);
    const int minY = Bound(std::floor(cy - b - halfWidth - 1), 0, plane.height);
    const int maxY = Bound(std::ceil(cy + b + halfWidth + 1), -1, plane.height - 1);
    const double ia2 = 1.0 / (a * a), ib2 = 1.0 / (b * b);
    for (int py = minY; py <= maxY; ++py) {
        const double dy = py - cy;
        const bool upper = py < cy;
        for (int px = minX; px <= maxX; ++px) {
            if (upper && px > openLeft && px < openRight) continue;
            const double dx = px - cx;
            const double f = dx * dx * ia2 + dy * dy * ib2 - 1.0;
            const double gx = 2.0 * dx * ia2, gy = 2.0 * dy * ib2;
            const double g = std::sqrt(gx * gx + gy * gy);
            if (g <= 0) continue;
            Cover(plane, px, py, halfWidth + 0.5 - std::fabs(f / g));
        }
    }
}

}  // namespace

void DrawBalloon(const BalloonOutline& o, int style, int lineWidth, const textrender::Plane& plane) {
    if (o.count != 7 || !plane.data) return;
    const double hw = std::clamp(lineWidth, 1, 3) / 2.0;
    if (style == 1) {
        for (int i = 0; i < 7; ++i) {
            const int j = (i + 1) % 7;
            Segment(plane, o.x[i], o.y[i], o.x[j], o.y[j], hw);
        }
        return;
    }
    const double cx = o.left + o.width / 2, cy = o.top + o.height / 2 + 2;
    const double a = o.width / 2, b = o.height / 2 + 2;
    const int baseLeft = o.x[kTailBaseLeft], baseRight = o.x[kTailBaseRight];
    EllipseRing(plane, cx, cy, a, b, hw, baseLeft, baseRight);
    Segment(plane, baseLeft, o.y[kTailBaseLeft], o.x[kTail], o.y[kTail], hw);
    Segment(plane, o.x[kTail], o.y[kTail], baseRight, o.y[kTailBaseRight], hw);
    // Where the right tail base lies above the ellipse, join it to the ring.
    if (a > 0 && std::fabs(baseRight - cx) < a) {
        const double u = (baseRight - cx) / a;
        const double ringY = cy - b * std::sqrt(1.0 - u * u);
        if (ringY > o.y[kTailBaseRight]) Segment(plane, baseRight, o.y[kTailBaseRight], baseRight, ringY, hw);
    }
}

}  // namespace textlayer

bool CVexoDoc::BuildBalloon(bool recompute, int tailX, int tailY, int style, int lineWidth) {
    using namespace textlayer;
    LayerRecord* layer = CurrentLayerPtr();
    if (!layer || !layer->IsTextKind() || !layer->alpha || layer->width < 1 || layer->height < 1) return false;
    const int slot = currentLayer;
    const int W = layer->width, H = layer->height;
    textrender::Plane live{layer->alpha.get(), W, H, W, true};

    // 1. The box of the covered pixels (top-down layer coordinates).
    int left = layer->textBoxLeft, top = layer->textBoxTop;
    int width = layer->textBoxWidth, height = layer->textBoxHeight;
    if (recompute) {
        int minX = W, minY = H, maxX = -1, maxY = -1;
        for (int r = 0; r < H; ++r) {
            const uint8_t* row = live.Row(r);
            int first = -1, last = -1;
            for (int c = 0; c < W; ++c)
                if (row[c]) {
                    if (first < 0) first = c;
                    last = c;
                }
            if (first < 0) continue;
            minX = std::min(minX, first);
            maxX = std::max(maxX, last);
            minY = std::min(minY, r);
            maxY = r;
        }
        if (maxX < 0) return false;   // nothing to put a balloon around
        left = minX;
        top = minY;
        width = maxX - minX + 1;
        height = maxY - minY + 1;
        layer->textBoxLeft = left;
        layer->textBoxTop = top;
        layer->textBoxWidth = width;
        layer->textBoxHeight = height;
    } else if (width < 1 || height < 1 || left < 0 || top < 0 || int64_t(left) + width > W ||
               int64_t(top) + height > H) {
        return false;   // no box stored yet, or one that does not fit the layer
    }

    // 3.-4. The outline; the tail point is kept in the layer.
    const BalloonOutline outline = ComputeBalloon(left, top, width, height, tailX, tailY);
    balloonPointCount = outline.count;
    for (int i = 0; i < outline.count; ++i) {
        balloonPoints[i][0] = outline.x[i];
        balloonPoints[i][1] = outline.y[i];
    }
    layer->tailX = outline.x[kTail];
    layer->tailY = outline.y[kTail];

    // 2. and 5. In the command frame: clear outside the box, draw the balloon.
    if (!BeginLayerOp(slot)) return false;
    textrender::Plane plane{scratchAlpha.get(), W, H, W, true};
    const int x0 = left, x1 = left + width;
    const int y0 = top, y1 = top + height;
    for (int r = 0; r < H; ++r) {
        uint8_t* row = plane.Row(r);
        if (r < y0 || r >= y1) {
            std::memset(row, 0, size_t(W));
            continue;
        }
        std::memset(row, 0, size_t(x0));
        std::memset(row + x1, 0, size_t(W - x1));
    }
    DrawBalloon(outline, style, lineWidth, plane);
    EndLayerOp(slot, true);
    return true;
}
