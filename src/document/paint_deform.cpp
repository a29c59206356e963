// Touch deform ("터치변형"): a smooth local warp inside the ellipse that
// fills the rectangle around the point.
//
// With (cx, cy) the centre, (a, b) the half-sizes and, for a pixel p,
// u = (x - cx) / a, v = (y - cy) / b, ρ² = u² + v², the pixels with
// ρ² < 1 take the colour and alpha found at a source point q by bilinear
// sampling of the layer as it was before the warp; the falloff
// f = (1 - ρ²)² is 1 at the centre and 0, with a flat slope, at the rim,
// so the warp blends into the untouched pixels around it.
//   swell (0): q = c + (p - c) (1 - k f), k = clamp(0.4 s, -0.9, 0.9): the
//              middle grows (an eye made bigger); a negative strength pinches;
//   pinch (1): the same with -k: the middle shrinks (a cheek made slimmer);
//   push right (2), left (3), up (4), down (5): q = p - d m f, d the
//              direction and m = 0.3 clamp(s, -2, 2) times the half-size
//              along it: the middle slides, the rim stays.
// Each of these maps the ellipse onto itself without folding (the maps are
// monotone for the limits above), so no pixel is torn or doubled. Other
// modes warp as the swell.
#include <algorithm>
#include <cmath>
#include <vector>

#include "paint_internal.h"

namespace paint {

using namespace detail;

namespace {

struct Box {
    int left = 0, bottom = 0, right = 0, top = 0;   // exclusive right and top
    double cx = 0, cy = 0, a = 0, b = 0;
};

// Bounds of the selected pixels (mask bytes 1) in layer pixels, clipped.
bool SelectionBounds(const CVexoDoc& doc, const LayerRecord& l, Box& box) {
    const SelectionMask& s = doc.live.selection;
    if (s.width <= 0 || s.height <= 0 || s.mask.size() < size_t(s.width) * size_t(s.height)) return false;
    const int64_t shiftX = int64_t(l.x) - s.x, shiftRow = int64_t(s.y) - l.y;
    int64_t x0 = INT64_MAX, x1 = INT64_MIN, r0 = INT64_MAX, r1 = INT64_MIN;
    for (int64_t mr = 0; mr < s.height; ++mr) {
        const uint8_t* m = &s.mask[size_t(mr) * size_t(s.width)];
        const int64_t r = mr - shiftRow;
        if (r < 0 || r >= l.height) continue;
        for (int64_t mc = 0; mc < s.width; ++mc) {
            const int64_t x = mc - shiftX;
            if (m[mc] != 1 || x < 0 || x >= l.width) continue;
            x0 = std::min(x0, x), x1 = std::max(x1, x);
            r0 = std::min(r0, r), r1 = std::max(r1, r);
        }
    }
    if (x1 < x0) return false;
    box.left = int(x0), box.right = int(x1) + 1, box.bottom = int(r0), box.top = int(r1) + 1;
    box.cx = (x0 + x1) / 2.0, box.cy = (r0 + r1) / 2.0;
    box.a = std::max(0.5, (x1 - x0 + 1) / 2.0), box.b = std::max(0.5, (r1 - r0 + 1) / 2.0);
    return true;
}

}  // namespace

bool TouchDeform(CVexoDoc& doc, ZPoint at, int halfWidth, int halfHeight, double strength, int mode) {
    Frame f(doc);
    if (!f.Ok()) return false;
    Box box;
    if (at.x == -1 && at.y == -1) {
        if (!SelectionBounds(doc, f.Layer(), box)) return false;
    } else {
        LPoint p;
        if (!f.Convert({at}, &p)) return false;
        const int hw = halfWidth > 0 ? halfWidth : kTouchHalfWidth, hh = halfHeight > 0 ? halfHeight : kTouchHalfHeight;
        const LayerRecord& l = f.Layer();
        box.cx = p.x, box.cy = p.row, box.a = hw, box.b = hh;
        box.left = std::max(p.x - hw, 0), box.right = std::min(p.x + hw + 1, l.width);
        box.bottom = std::max(p.row - hh, 0), box.top = std::min(p.row + hh + 1, l.height);
    }
    if (!std::isfinite(strength)) return false;
    Surface s = f.MakeSurface();
    const int bw = box.right - box.left, bh = box.top - box.bottom;
    if (bw <= 0 || bh <= 0) return false;
    // The pixels of the box as they were: colour and alpha, 4 bytes each.
    std::vector<uint8_t> src(size_t(bw) * size_t(bh) * 4);
    for (int r = 0; r < bh; ++r)
        for (int x = 0; x < bw; ++x) {
            uint8_t* q = &src[(size_t(r) * size_t(bw) + size_t(x)) * 4];
            s.Get(x + box.left, r + box.bottom, q);
            q[3] = s.Alpha(x + box.left, r + box.bottom);
        }
    auto sample = [&](double sx, double sy, uint8_t out[4]) {
        sx = std::clamp(sx - box.left, 0.0, double(bw - 1));
        sy = std::clamp(sy - box.bottom, 0.0, double(bh - 1));
        const int x0 = int(sx), y0 = int(sy);
        const int x1 = std::min(x0 + 1, bw - 1), y1 = std::min(y0 + 1, bh - 1);
        const int wx = int(std::lround((sx - x0) * 256)), wy = int(std::lround((sy - y0) * 256));
        const uint8_t* p00 = &src[(size_t(y0) * size_t(bw) + size_t(x0)) * 4];
        const uint8_t* p10 = &src[(size_t(y0) * size_t(bw) + size_t(x1)) * 4];
        const uint8_t* p01 = &src[(size_t(y1) * size_t(bw) + size_t(x0)) * 4];
        const uint8_t* p11 = &src[(size_t(y1) * size_t(bw) + size_t(x1)) * 4];
        for (int k = 0; k < 4; ++k) {
            const int top = p00[k] * (256 - wx) + p10[k] * wx, bottom = p01[k] * (256 - wx) + p11[k] * wx;
            out[k] = uint8_t((top * (256 - wy) + bottom * wy + 32768) >> 16);
        }
    };
    const double k = std::clamp(0.4 * strength, -0.9, 0.9);
    const double m = 0.3 * std::clamp(strength, -2.0, 2.0);
    for (int r = box.bottom; r < box.top; ++r)
        for (int x = box.left; x < box.right; ++x) {
            const double u = (x - box.cx) / box.a, v = (r - box.cy) / box.b;
            const double rho2 = u * u + v * v;
            if (rho2 >= 1.0) continue;
            const double fall = (1.0 - rho2) * (1.0 - rho2);
            double sx = x, sy = r;
            switch (mode) {
            case kDeformPinch:
                sx = box.cx + (x - box.cx) * (1 + k * fall), sy = box.cy + (r - box.cy) * (1 + k * fall);
                break;
            case kDeformPushRight: sx = x - m * box.a * fall; break;
            case kDeformPushLeft: sx = x + m * box.a * fall; break;
            case kDeformPushUp: sy = r - m * box.b * fall; break;     // stored rows grow upwards
            case kDeformPushDown: sy = r + m * box.b * fall; break;
            default:
                sx = box.cx + (x - box.cx) * (1 - k * fall), sy = box.cy + (r - box.cy) * (1 - k * fall);
                break;
            }
            uint8_t out[4];
            sample(sx, sy, out);
            s.Put(x, r, out);
            s.Alpha(x, r) = out[3];
        }
    f.Touch(LayerArea{box.left, box.bottom, box.right, box.top});
    f.Finish();
    return true;
}

}  // namespace paint
