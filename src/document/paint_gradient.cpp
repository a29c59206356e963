// Gradient ("그라디언트") over the whole current layer.
//
// A vertical base line (start and end in the same layer column) shades by
// rows: with S the start row and F the layer's last row in the direction
// of the drag, the rows from S to F get C * |F - r| / |F - S| per channel
// (integer division; C the drawing colour at S, black at F), the rows
// behind S the full colour; every pixel becomes opaque.
//
// Any other base line shades along its own direction: a pixel's place
// t = ((p - start) . (end - start)) / |end - start|², limited to 0..1, is
// taken in 256 steps, v = floor(255 t), and the profile turns it into a
// weight: linear ("선형변화", 1) w = v; "정규변화" (2) follows the normal
// distribution's S curve, slow at both ends and fastest in the middle,
// w = round(255 (Φ((t - 1/2) / σ) - Φ(-1/(2σ))) / (Φ(1/(2σ)) - Φ(-1/(2σ))))
// with σ = 0.2. The colour mode decides what the weight does: 2 ("전경+배경")
// mixes (C2 w + C1 (255 - w)) / 255 rounded, opaque; 1 ("전경") paints the drawing
// colour with the alpha 255 - w, so that it fades out towards the end.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "paint_internal.h"
#include "split_rows.h"

namespace paint {

using namespace detail;

namespace {

const char* const kDragFirst = "클릭이 아닌 드래깅으로 기준선을 먼저 잡으세요";

struct Shade {
    uint8_t bgr[3];
    uint8_t alpha;
};

void Vertical(Surface& s, int start, int end, const Rgb& c) {
    const int far = end > start ? s.h - 1 : 0;
    const int span = std::abs(far - start);
    const int first[3] = {c.b, c.g, c.r};
    auto rowShade = [&](int r, uint8_t out[3]) {
        const bool beyond = far > start ? r > start : r < start;
        for (int k = 0; k < 3; ++k) out[k] = uint8_t(beyond && span ? first[k] * std::abs(far - r) / span : first[k]);
    };
    const bool split = !s.palette && layerops::WorthSplitting(int64_t(s.w) * s.h);
    layerops::SplitRows(s.h, split, [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r) {
            uint8_t c3[3];
            rowShade(r, c3);
            if (s.palette) {
                for (int x = 0; x < s.w; ++x) s.Put(x, r, c3);
            } else {
                uint8_t* p = s.Pixel(0, r);
                for (int x = 0; x < s.w; ++x, p += 3) p[0] = c3[0], p[1] = c3[1], p[2] = c3[2];
            }
            std::memset(&s.Alpha(0, r), 255, size_t(s.w));
        }
    });
}

double NormalCurve(double t) {
    const double sigma = 0.2;
    auto phi = [](double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); };
    const double lo = phi(-0.5 / sigma), hi = phi(0.5 / sigma);
    return (phi((t - 0.5) / sigma) - lo) / (hi - lo);
}

void Linear(Surface& s, LPoint a, LPoint b, const Rgb& c1, const Rgb& c2, int colourMode, int profile) {
    Shade lut[256];
    const uint8_t f[3] = {c1.b, c1.g, c1.r}, g[3] = {c2.b, c2.g, c2.r};
    for (int v = 0; v < 256; ++v) {
        const int w = profile == 2 ? int(std::lround(255.0 * NormalCurve(v / 255.0))) : v;
        Shade& sh = lut[v];
        if (colourMode == 1) {
            std::memcpy(sh.bgr, f, 3);
            sh.alpha = uint8_t(255 - w);
        } else {
            for (int k = 0; k < 3; ++k) sh.bgr[k] = Mix(g[k], f[k], w);
            sh.alpha = 255;
        }
    }
    const int64_t ex = int64_t(b.x) - a.x, ey = int64_t(b.row) - a.row;
    const int64_t den = ex * ex + ey * ey;
    // floor(255 num / den) along a row, stepped exactly: N = 255 num grows
    // by 255 ex per column.
    auto floorDiv = [](int64_t n, int64_t d) {
        int64_t q = n / d;
        if ((n % d != 0) && ((n < 0) != (d < 0))) --q;
        return q;
    };
    const int64_t step = 255 * ex, qs = floorDiv(step, den), rs = step - qs * den;
    const bool split = !s.palette && layerops::WorthSplitting(int64_t(s.w) * s.h);
    layerops::SplitRows(s.h, split, [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r) {
            const int64_t n0 = 255 * ((0 - int64_t(a.x)) * ex + (int64_t(r) - a.row) * ey);
            int64_t q = floorDiv(n0, den), rem = n0 - q * den;
            uint8_t* p = s.Pixel(0, r);
            uint8_t* al = &s.Alpha(0, r);
            for (int x = 0; x < s.w; ++x) {
                const Shade& sh = lut[q < 0 ? 0 : q > 255 ? 255 : q];
                if (s.palette) {
                    s.Put(x, r, sh.bgr);
                } else {
                    p[3 * x] = sh.bgr[0], p[3 * x + 1] = sh.bgr[1], p[3 * x + 2] = sh.bgr[2];
                }
                al[x] = sh.alpha;
                q += qs;
                rem += rs;
                if (rem >= den) rem -= den, ++q;
            }
        }
    });
}

}  // namespace

bool Gradient(CVexoDoc& doc, ZPoint start, ZPoint end, Rgb first, Rgb second, int colourMode, int profile) {
    Frame f(doc);
    if (!f.Ok()) return false;
    if (!start.IsSet() || !end.IsSet() || start == end) {
        doc.Host().MessageBox(kDragFirst);
        return false;
    }
    LPoint p[2];
    if (!f.Convert({start, end}, p)) return false;
    if (p[0] == p[1]) {   // a drag shorter than one picture pixel at this zoom
        doc.Host().MessageBox(kDragFirst);
        return false;
    }
    doc.Host().BeginWaitCursor();
    Surface s = f.MakeSurface();
    if (p[0].x == p[1].x) Vertical(s, p[0].row, p[1].row, first);
    else Linear(s, p[0], p[1], first, second, colourMode, profile);
    doc.Host().EndWaitCursor();
    f.TouchAll();
    f.Finish();
    return true;
}

}  // namespace paint
