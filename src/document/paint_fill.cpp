// Flood fill ("채우기").
//
// The region: the pixel under the point, and every pixel joined to it
// through the eight neighbours (sides and corners) by pixels inside the
// layer that pass the test, when the tolerance is at least 1: alpha below
// 255, or |dB| + |dG| + |dR| against the colour under the point below the
// tolerance. The test reads the layer as it was before the fill, so the
// order in which the region is walked does not change it; it is walked
// row span by row span, counting the points, with the progress shown
// every 100 points and cleared at the end.
//
// The paint: each pixel of the region that the selection marks becomes
// the drawing colour, opaque. With a feather width f ("경계퍼짐") of 1 or
// more the region's rim is softened: a pixel at chamfer distance d (3 for
// a side step, 4 for a corner step) from the nearest pixel of the layer
// outside the region takes the weight w = min(255, 255 d / (3 (f + 1))),
// the colour (C w + old (255 - w)) / 255 rounded (old = C where the pixel
// is fully transparent) and the alpha a + T[255 - a][w]. The layer's own edges are
// no rim.
#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

#include "paint_internal.h"

namespace paint {

using namespace detail;

namespace {

struct Region {
    std::vector<uint8_t> in;   // w x h, 1 inside
    int left = 0, bottom = 0, right = 0, top = 0;   // bounds, exclusive right and top
};

// Counts the points and reports the percentage of the layer every 100.
struct FillProgress {
    DocHost& host;
    int64_t plane;
    int64_t count = 0;
    int last = -1;
    void Add(int64_t n) {
        const int64_t before = count;
        count += n;
        if (count / 100 == before / 100) return;
        const int pct = int(std::min<int64_t>(100, count / 100 * 100 * 100 / plane));
        if (pct != last) host.Progress(pct);
        last = pct;
    }
};

template <class Pass>
void Walk(Region& reg, int w, int h, LPoint seed, Pass&& pass, FillProgress& progress) {
    uint8_t* in = reg.in.data();
    auto at = [w](int x, int r) { return size_t(r) * size_t(w) + size_t(x); };
    std::vector<LPoint> stack;
    in[at(seed.x, seed.row)] = 1;
    stack.push_back(seed);
    reg.left = reg.right = seed.x;
    reg.bottom = reg.top = seed.row;
    progress.Add(1);
    while (!stack.empty()) {
        const LPoint p = stack.back();
        stack.pop_back();
        uint8_t* row = in + at(0, p.row);
        int a = p.x, b = p.x;
        while (a > 0 && !row[a - 1] && pass(a - 1, p.row)) row[--a] = 1;
        while (b + 1 < w && !row[b + 1] && pass(b + 1, p.row)) row[++b] = 1;
        progress.Add((p.x - a) + (b - p.x));
        reg.left = std::min(reg.left, a), reg.right = std::max(reg.right, b);
        reg.bottom = std::min(reg.bottom, p.row), reg.top = std::max(reg.top, p.row);
        for (int r : {p.row - 1, p.row + 1}) {
            if (r < 0 || r >= h) continue;
            uint8_t* next = in + at(0, r);
            const int x0 = std::max(a - 1, 0), x1 = std::min(b + 1, w - 1);
            for (int x = x0; x <= x1; ++x) {
                if (next[x] || !pass(x, r)) continue;
                // One seed per run: the rest of the run is taken when the
                // seed's own row span is grown.
                next[x] = 1;
                progress.Add(1);
                stack.push_back(LPoint{x, r});
                while (x + 1 <= x1 && !next[x + 1] && pass(x + 1, r)) ++x;
            }
        }
    }
    ++reg.right;
    ++reg.top;
}

void PaintHard(Surface& s, const Region& reg, const SelectionTest& selected, const uint8_t c[3]) {
    for (int r = reg.bottom; r < reg.top; ++r) {
        const uint8_t* in = reg.in.data() + size_t(r) * size_t(s.w);
        for (int x = reg.left; x < reg.right; ++x) {
            if (!in[x] || !selected(x, r)) continue;
            s.Put(x, r, c);
            s.Alpha(x, r) = 255;
        }
    }
}

bool PaintFeathered(Surface& s, const Region& reg, const SelectionTest& selected, const uint8_t c[3], int feather) {
    const int f = std::min(feather, 254);
    const int cap = 3 * (f + 1);
    // The bounds grown by one pixel inside the layer: the pixels added
    // there are outside the region and seed the distances.
    const int x0 = std::max(reg.left - 1, 0), x1 = std::min(reg.right + 1, s.w);
    const int r0 = std::max(reg.bottom - 1, 0), r1 = std::min(reg.top + 1, s.h);
    const int bw = x1 - x0, bh = r1 - r0;
    std::vector<uint16_t> d;
    try {
        d.assign(size_t(bw) * size_t(bh), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int r = 0; r < bh; ++r) {
        const uint8_t* in = reg.in.data() + size_t(r + r0) * size_t(s.w) + size_t(x0);
        for (int x = 0; x < bw; ++x)
            if (in[x]) d[size_t(r) * size_t(bw) + size_t(x)] = uint16_t(cap);
    }
    auto relax = [&](int x, int r, int nx, int nr, int step) {
        if (nx < 0 || nr < 0 || nx >= bw || nr >= bh) return;   // outside the layer or already counted
        uint16_t& v = d[size_t(r) * size_t(bw) + size_t(x)];
        const int n = d[size_t(nr) * size_t(bw) + size_t(nx)] + step;
        if (n < v) v = uint16_t(n);
    };
    for (int r = 0; r < bh; ++r)
        for (int x = 0; x < bw; ++x) {
            if (!d[size_t(r) * size_t(bw) + size_t(x)]) continue;
            relax(x, r, x - 1, r, 3), relax(x, r, x - 1, r - 1, 4), relax(x, r, x, r - 1, 3), relax(x, r, x + 1, r - 1, 4);
        }
    for (int r = bh - 1; r >= 0; --r)
        for (int x = bw - 1; x >= 0; --x) {
            if (!d[size_t(r) * size_t(bw) + size_t(x)]) continue;
            relax(x, r, x + 1, r, 3), relax(x, r, x + 1, r + 1, 4), relax(x, r, x, r + 1, 3), relax(x, r, x - 1, r + 1, 4);
        }
    // Pixels on the layer's edge have no outside neighbour there: the grown
    // bounds stop at the edge, so their distances come from inside only.
    const ProductRow* T = Product();
    for (int r = 0; r < bh; ++r)
        for (int x = 0; x < bw; ++x) {
            const int dist = d[size_t(r) * size_t(bw) + size_t(x)];
            const int lx = x + x0, lr = r + r0;
            if (!dist || !selected(lx, lr)) continue;
            const int w = std::min(255, 255 * dist / cap);
            uint8_t old[3];
            s.Get(lx, lr, old);
            uint8_t& a = s.Alpha(lx, lr);
            if (a == 0) old[0] = c[0], old[1] = c[1], old[2] = c[2];
            const uint8_t out[3] = {Mix(c[0], old[0], w), Mix(c[1], old[1], w), Mix(c[2], old[2], w)};
            s.Put(lx, lr, out);
            a = uint8_t(a + T[255 - a][w]);
        }
    return true;
}

}  // namespace

bool Fill(CVexoDoc& doc, ZPoint at, Rgb colour, int tolerance, int feather) {
    if (!at.IsSet()) return false;
    Frame f(doc);
    if (!f.Ok()) return false;
    LPoint p;
    if (!f.Convert({at}, &p)) return false;
    Surface s = f.MakeSurface();
    Region reg;
    try {
        reg.in.assign(size_t(s.w) * size_t(s.h), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    FillProgress progress{doc.Host(), int64_t(s.w) * s.h};
    uint8_t ref[3];
    s.Get(p.x, p.row, ref);
    if (tolerance < 1) {
        auto none = [](int, int) { return false; };
        Walk(reg, s.w, s.h, p, none, progress);
    } else if (!s.palette) {
        auto pass = [&](int x, int r) {
            if (s.alpha[size_t(r) * size_t(s.w) + size_t(x)] < 255) return true;
            const uint8_t* q = s.pixels + size_t(r) * s.stride + size_t(x) * 3;
            return std::abs(q[0] - ref[0]) + std::abs(q[1] - ref[1]) + std::abs(q[2] - ref[2]) < tolerance;
        };
        Walk(reg, s.w, s.h, p, pass, progress);
    } else {
        auto pass = [&](int x, int r) {
            if (s.Alpha(x, r) < 255) return true;
            uint8_t q[3];
            s.Get(x, r, q);
            return std::abs(q[0] - ref[0]) + std::abs(q[1] - ref[1]) + std::abs(q[2] - ref[2]) < tolerance;
        };
        Walk(reg, s.w, s.h, p, pass, progress);
    }
    const SelectionTest selected(doc, f.Layer());
    const uint8_t c[3] = {colour.b, colour.g, colour.r};
    bool ok = true;
    if (feather < 1) PaintHard(s, reg, selected, c);
    else ok = PaintFeathered(s, reg, selected, c, feather);
    doc.Host().Progress(0);
    f.Touch(LayerArea{reg.left, reg.bottom, reg.right, reg.top});
    f.Finish();
    return ok;
}

}  // namespace paint
