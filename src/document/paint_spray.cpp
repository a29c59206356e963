// Spray and droplet.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "paint_internal.h"

namespace paint {

using namespace detail;

// Rings of radius 1..19 about the point, each traced by the midpoint
// method in the order of CirclePoints; every ring pixel takes one number
// of rand(). The strength g = i / 20 - 0.2 + 0.1 * u with u = rand() /
// RAND_MAX (rand() / 32767 where the C library's numbers end at 32767),
// raised to 0 when negative; the new colour is B - trunc((B - A) * g) per
// channel (B the drawing colour, A the old colour, or B where the pixel
// is fully transparent), written as an opaque one-pixel dot where the
// selection marks the pixel. The first ring that reaches outside the
// layer is not drawn, nor any after it. Then every cell of the 40 x 40
// grid (corner at the point minus (20, 20)) that no ring reached, with
// both neighbours on its row reached (or, failing that, both on its
// column), gets a dot in the colour of the pixel before it on that line.
bool Spray(CVexoDoc& doc, ZPoint at, Rgb colour) {
    if (!at.IsSet()) return false;
    Frame f(doc);
    if (!f.Ok()) return false;
    LPoint p;
    if (!f.Convert({at}, &p)) return false;
    Surface s = f.MakeSurface();
    const SelectionTest selected(doc, f.Layer());
    const int B[3] = {colour.b, colour.g, colour.r};
    const int gx0 = p.x - 20, gr0 = p.row - 20;
    bool marked[40][40] = {};
    auto dot = [&](int x, int r, const uint8_t c[3]) {
        if (!selected(x, r)) return;
        s.Put(x, r, c);
        s.Alpha(x, r) = 255;
    };
    std::vector<LPoint> ring;
    for (int i = 1; i <= 19; ++i) {
        CirclePoints(p, i, ring);
        if (std::any_of(ring.begin(), ring.end(), [&](const LPoint& q) { return !s.Inside(q.x, q.row); })) break;
        for (const LPoint& q : ring) {
            const double u = double(std::rand()) / double(RAND_MAX);
            double g = i / 20.0 - 0.2 + 0.1 * u;
            if (g < 0) g = 0;
            uint8_t old[3];
            s.Get(q.x, q.row, old);
            const bool clear = s.Alpha(q.x, q.row) == 0;
            uint8_t out[3];
            for (int k = 0; k < 3; ++k) {
                const int A = clear ? B[k] : old[k];
                out[k] = uint8_t(B[k] - int(std::trunc((B[k] - A) * g)));
            }
            dot(q.x, q.row, out);
            marked[q.row - gr0][q.x - gx0] = true;
        }
    }
    for (int gy = 0; gy < 40; ++gy)
        for (int gx = 0; gx < 40; ++gx) {
            if (marked[gy][gx]) continue;
            const int x = gx0 + gx, r = gr0 + gy;
            if (!s.Inside(x, r)) continue;
            uint8_t c[3];
            if (gx > 0 && gx < 39 && marked[gy][gx - 1] && marked[gy][gx + 1]) {
                s.Get(x - 1, r, c);
                dot(x, r, c);
            } else if (gy > 0 && gy < 39 && marked[gy - 1][gx] && marked[gy + 1][gx]) {
                s.Get(x, r - 1, c);
                dot(x, r, c);
            }
        }
    f.Touch(LayerArea{gx0, gr0, gx0 + 40, gr0 + 40});
    f.Finish();
    return true;
}

// The colour S and alpha Sa under the point spread into the square of
// half-side n (the brush size, 25 at most) around it: a pixel at distance
// d takes the weight k = max(0, 1 - 1.5 d / D), D = n * sqrt(2) the
// distance from the centre to the square's corner, w = trunc(255 k);
// colour (S w + old (255 - w)) / 255 rounded (old = S where the pixel is
// fully transparent), alpha max(alpha, T[Sa][w]). Nothing changes when the
// pixel under the point is fully transparent. The previous position only
// names where the last drop fell; the document keeps the new one.
bool Droplet(CVexoDoc& doc, ZPoint previous, ZPoint current, int size) {
    (void)previous;
    if (!current.IsSet()) return false;
    Frame f(doc);
    if (!f.Ok()) return false;
    LPoint p;
    if (!f.Convert({current}, &p)) return false;
    doc.paintState.dropletX = current.x;
    doc.paintState.dropletY = current.y;
    Surface s = f.MakeSurface();
    const uint8_t sa = s.Alpha(p.x, p.row);
    if (sa == 0) {
        f.Finish();
        return true;
    }
    uint8_t S[3];
    s.Get(p.x, p.row, S);
    const ProductRow* T = Product();
    const int n = StampSize(size);
    const double D = n * std::sqrt(2.0);
    for (int dy = -n; dy <= n; ++dy)
        for (int dx = -n; dx <= n; ++dx) {
            const int x = p.x + dx, r = p.row + dy;
            if (!s.Inside(x, r)) continue;
            const double k = 1.0 - 1.5 * std::sqrt(double(dx * dx + dy * dy)) / D;
            if (k <= 0) continue;
            const int w = int(255.0 * k);
            uint8_t old[3];
            s.Get(x, r, old);
            uint8_t& a = s.Alpha(x, r);
            if (a == 0) old[0] = S[0], old[1] = S[1], old[2] = S[2];
            const uint8_t out[3] = {Mix(S[0], old[0], w), Mix(S[1], old[1], w), Mix(S[2], old[2], w)};
            s.Put(x, r, out);
            a = std::max(a, T[sa][w]);
        }
    f.Touch(LayerArea{p.x - n, p.row - n, p.x + n + 1, p.row + n + 1});
    f.Finish();
    return true;
}

ZPoint LastDropletPoint(const CVexoDoc& doc) { return ZPoint{doc.paintState.dropletX, doc.paintState.dropletY}; }

}  // namespace paint
