// Brush stamps, strokes, circle, dot and undo brush, every pixel against
// the rules worked out here on a plain copy of the layer.
#include <cmath>
#include <utility>

#include "journaled_doc.h"
#include "paint_support.h"
#include "undo_journal.h"

using namespace painttest;
using paint::Rgb;
using paint::StrokeMode;
using paint::ZPoint;

namespace {

const Rgb kRed{250, 20, 40};

// One stamp by the rule: size n (>= 25 as 25) over the square of side 2n
// from (cx - n, row - n); weight from the squared distance.
void RefStamp(Plain& p, int cx, int crow, int n, Rgb c, bool soft, bool erase) {
    const int bgr[3] = {c.b, c.g, c.r};
    if (n <= 1) {
        if (!p.inside(cx, crow)) return;
        if (erase) {
            p.a(cx, crow) = uint8_t(std::max(0, p.a(cx, crow) - 50));
        } else {
            for (int k = 0; k < 3; ++k) p.px(cx, crow)[k] = uint8_t(bgr[k]);
            p.a(cx, crow) = 255;
        }
        return;
    }
    const int m = std::min(n, 25);
    for (int row = 0; row < p.h; ++row)
        for (int x = 0; x < p.w; ++x) {
            if (x < cx - m || x >= cx + m || row < crow - m || row >= crow + m) continue;
            const double d2 = double(x - cx) * (x - cx) + double(row - crow) * (row - crow);
            const double F = soft ? std::min(1.0, d2 / (m * m / 2.0)) : 0.0;
            const int w = std::clamp(int(255 * F), 0, 255);
            if (erase) {
                p.a(x, row) = uint8_t(Mul(w, p.a(x, row)));
            } else if (F < 1) {
                for (int k = 0; k < 3; ++k) p.px(x, row)[k] = uint8_t(Mul(bgr[k], 255 - w) + Mul(p.px(x, row)[k], w));
                p.a(x, row) = 255;
            }
        }
}

// The line by the stated rule: the major axis steps every time, the minor
// one when the error (from 2 minor - major, + 2 minor or + 2 (minor - major))
// is positive.
std::vector<std::pair<int, int>> RefLine(int x0, int y0, int x1, int y1) {
    std::vector<std::pair<int, int>> pts;
    const int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
    const int sx = x1 >= x0 ? 1 : -1, sy = y1 >= y0 ? 1 : -1;
    int* major = dx >= dy ? &x0 : &y0;
    int* minor = dx >= dy ? &y0 : &x0;
    const int smaj = dx >= dy ? sx : sy, smin = dx >= dy ? sy : sx;
    const int M = std::max(dx, dy), m = std::min(dx, dy);
    int e = 2 * m - M;
    pts.push_back({x0, y0});
    for (int i = 0; i < M; ++i) {
        if (e > 0) *minor += smin, e += 2 * (m - M);
        else e += 2 * m;
        *major += smaj;
        pts.push_back({x0, y0});
    }
    return pts;
}

TEST(PaintStamp, SizesPencilSoftDiscAndTheCap) {
    for (int n : {1, 2, 5, 8, 25, 30}) {
        for (int mode : {paint::kPencil, paint::kSoftBrush}) {
            PaintDoc d(70, 64);
            Plain want = d.Now();
            RefStamp(want, 33, 30, n, kRed, mode == paint::kSoftBrush, false);
            ASSERT_TRUE(paint::Stroke(d.doc, StrokeMode::Paint, d.Z(33, 30), d.Z(33, 30), kRed, n, mode));
            EXPECT_TRUE(d.Now() == want) << "size " << n << " mode " << mode;
        }
    }
    // Size 30 paints exactly what 25 paints; the pencil square has side 2n
    // in the pure colour, and the soft disc's centre is the pure colour.
    PaintDoc a(70, 64), b(70, 64);
    paint::Stroke(a.doc, StrokeMode::Paint, a.Z(33, 30), a.Z(33, 30), kRed, 30, paint::kSoftBrush);
    paint::Stroke(b.doc, StrokeMode::Paint, b.Z(33, 30), b.Z(33, 30), kRed, 25, paint::kSoftBrush);
    EXPECT_TRUE(a.Now() == b.Now());
    PaintDoc p(40, 40);
    const Plain before = p.Now();
    paint::Stroke(p.doc, StrokeMode::Paint, p.Z(20, 20), p.Z(20, 20), kRed, 4, paint::kPencil);
    Plain now = p.Now();
    int painted = 0;
    for (int row = 0; row < 40; ++row)
        for (int x = 0; x < 40; ++x) {
            const bool in = x >= 16 && x < 24 && row >= 16 && row < 24;
            const uint8_t* q = now.px(x, row);
            if (in) painted += q[0] == kRed.b && q[1] == kRed.g && q[2] == kRed.r;
            else EXPECT_EQ(0, std::memcmp(q, Plain(before).px(x, row), 3));
        }
    EXPECT_EQ(64, painted);
    PaintDoc s(40, 40);
    paint::Stroke(s.doc, StrokeMode::Paint, s.Z(20, 20), s.Z(20, 20), kRed, 9, paint::kSoftBrush);
    now = s.Now();
    EXPECT_EQ(kRed.r, now.px(20, 20)[2]);
    EXPECT_EQ(kRed.b, now.px(20, 20)[0]);
}

TEST(PaintStamp, EraseRules) {
    // Size 1 takes 50 of the alpha per pass: six passes clear an opaque pixel.
    PaintDoc d(10, 10);
    const int expect[] = {205, 155, 105, 55, 5, 0, 0};
    for (int pass = 0; pass < 7; ++pass) {
        paint::Stroke(d.doc, StrokeMode::Erase, d.Z(4, 4), d.Z(4, 4), kRed, 1, paint::kPencil);
        EXPECT_EQ(expect[pass], d.Layer().AlphaRow(4)[4]) << "pass " << pass + 1;
    }
    // Larger stamps scale the alpha by the weight: cleared in the pencil
    // square, kept where the soft weight is full; colours never change.
    for (int mode : {paint::kPencil, paint::kSoftBrush}) {
        PaintDoc e(48, 40, 3, true);
        Plain want = e.Now();
        RefStamp(want, 20, 18, 7, kRed, mode == paint::kSoftBrush, true);
        paint::Stroke(e.doc, StrokeMode::Erase, e.Z(20, 18), e.Z(20, 18), kRed, 7, mode);
        EXPECT_TRUE(e.Now() == want) << "mode " << mode;
    }
}

TEST(PaintStroke, BresenhamLinesOfStamps) {
    const int lines[][4] = {{3, 4, 40, 17}, {40, 30, 5, 2}, {10, 2, 14, 33}, {30, 5, 30, 25}, {2, 20, 45, 20},
                            {20, 20, 20, 20}, {44, 1, 1, 34}};
    for (const auto& L : lines) {
        for (int size : {1, 3, 6}) {
            PaintDoc d(48, 36, 11, true);
            Plain want = d.Now();
            for (auto [x, row] : RefLine(L[0], L[1], L[2], L[3])) RefStamp(want, x, row, size, kRed, true, false);
            ASSERT_TRUE(paint::Stroke(d.doc, StrokeMode::Paint, d.Z(L[0], L[1]), d.Z(L[2], L[3]), kRed, size,
                                      paint::kSoftBrush));
            EXPECT_TRUE(d.Now() == want) << L[0] << "," << L[1] << " -> " << L[2] << "," << L[3] << " size " << size;
        }
    }
    // A line's points: both ends, one step of the major axis each.
    const auto pts = RefLine(0, 0, 7, 3);
    ASSERT_EQ(8u, pts.size());
    EXPECT_EQ(std::make_pair(7, 3), pts.back());
    // Half-way pixels on a drag at zoom 2 are the same picture pixels.
    PaintDoc z(30, 20), one(30, 20);
    z.doc.zoom = 2.0;
    paint::Stroke(z.doc, StrokeMode::Paint, ZPoint{9, 7}, ZPoint{41, 31}, kRed, 1, paint::kPencil);
    paint::Stroke(one.doc, StrokeMode::Paint, ZPoint{4, 3}, ZPoint{20, 15}, kRed, 1, paint::kPencil);
    EXPECT_TRUE(z.Now() == one.Now());
}

TEST(PaintStroke, GuardAndGrowth) {
    // Text layers are refused with the guard message and nothing changes.
    PaintDoc t(20, 20);
    t.Layer().kind = LayerText;
    const Plain before = t.Now();
    EXPECT_FALSE(paint::Stroke(t.doc, StrokeMode::Paint, t.Z(5, 5), t.Z(9, 9), kRed, 3, paint::kPencil));
    ASSERT_EQ(1u, t.host.messages.size());
    EXPECT_EQ(doctext::kTextLayerRefused, t.host.messages[0]);
    EXPECT_TRUE(t.Now() == before);
    // A point beyond the layer's right edge grows the layer towards it by
    // the overflow and 15 pixels; the old pixels keep their canvas places.
    PaintDoc g(20, 10);
    const Plain old = g.Now();
    ASSERT_TRUE(paint::Stroke(g.doc, StrokeMode::Paint, ZPoint{24, 3}, ZPoint{24, 3}, kRed, 1, paint::kPencil));
    const LayerRecord& l = g.Layer();
    EXPECT_EQ(20 + 5 + 15, l.width);
    EXPECT_EQ(0, l.x);
    Plain now = g.Now();
    EXPECT_EQ(kRed.r, now.px(24, 6)[2]);
    EXPECT_EQ(255, now.a(24, 6));
    EXPECT_EQ(0, now.a(30, 6));   // the new pixels are transparent
    EXPECT_EQ(0, std::memcmp(now.px(7, 2), Plain(old).px(7, 2), 3));
}

TEST(PaintStroke, PaletteLayersTakeTheNearestEntry) {
    // A soft stamp on a 256-colour picture: every written pixel is the
    // palette entry nearest to the mix of its old palette colour.
    PaintDoc d(40, 30, 13);
    ASSERT_TRUE(d.doc.ReduceTo256Colours());
    const LayerRecord& l = d.Layer();
    const std::vector<uint8_t> before(l.pixels.get(), l.pixels.get() + l.pixelSize);
    const auto& pal = d.doc.live.palette;
    ASSERT_TRUE(paint::Stroke(d.doc, StrokeMode::Paint, d.Z(20, 15), d.Z(20, 15), kRed, 6, paint::kSoftBrush));
    for (int row = 9; row < 21; ++row)
        for (int x = 14; x < 26; ++x) {
            const int d2 = (x - 20) * (x - 20) + (row - 15) * (row - 15), w = 510 * d2 / 36;
            const uint8_t old = before[size_t(row) * size_t(l.stride) + size_t(x)];
            if (2 * d2 >= 36) {
                EXPECT_EQ(old, l.PixelRow(row)[x]);
                continue;
            }
            const uint32_t mix = PackBGR(uint8_t(Mul(kRed.b, 255 - w) + Mul(pal[old].blue, w)),
                                         uint8_t(Mul(kRed.g, 255 - w) + Mul(pal[old].green, w)),
                                         uint8_t(Mul(kRed.r, 255 - w) + Mul(pal[old].red, w)));
            EXPECT_EQ(d.doc.NearestPaletteIndex(mix), l.PixelRow(row)[x]) << x << "," << row;
        }
}

TEST(PaintCircle, MidpointStampsAroundTheCurrentPoint) {
    // Press and current point 2r apart: radius r, centred at the current point.
    for (auto [dx, dy, size] : {std::tuple{20, 0, 1}, {14, 9, 1}, {7, 24, 3}, {0, 1, 1}, {1, 0, 4}}) {
        PaintDoc d(64, 64, 5);
        Plain want = d.Now();
        const int r = int(std::sqrt(double(dx * dx + dy * dy)) / 2);
        // The soft stamps mix with what the earlier ones left: in the order traced.
        for (auto [x, row] : Ring(r)) RefStamp(want, 32 + x, 30 + row, size, kRed, true, false);
        ASSERT_TRUE(paint::Circle(d.doc, d.Z(32 - dx, 30 - dy), d.Z(32, 30), kRed, size));
        EXPECT_TRUE(d.Now() == want) << dx << "," << dy << " size " << size;
    }
    EXPECT_EQ(1u, Ring(0).size());
    EXPECT_EQ(12u, Ring(2).size());
    EXPECT_EQ(24u, Ring(4).size());   // the diagonals (3, 3) close it
}

TEST(PaintDot, ShiftedDiscInsideTheSelectionAndItsStep) {
    testsupport::TempDir dir;
    PaintDoc d(40, 30);
    d.host.journalFolder = dir.Path() + "/";
    ASSERT_TRUE(d.doc.RecordUndoStep(u"initial state", UndoLayerChanged, -1));
    // Only the left half of the picture is selected.
    ASSERT_TRUE(d.doc.SelectShape(1, {{0, 0}, {19, 29}}, 0));
    Plain want = d.Now();
    // The dot lands 2 pixels left and 1 down of the point: (18, 11) from the top.
    const int cx = 18, crow = 29 - 11;
    for (int row = 0; row < 30; ++row)
        for (int x = 0; x < 20; ++x)
            if (2 * ((x - cx) * (x - cx) + (row - crow) * (row - crow)) < 25) {
                uint8_t* q = want.px(x, row);
                q[0] = kRed.b, q[1] = kRed.g, q[2] = kRed.r;
                want.a(x, row) = 255;
            }
    ASSERT_TRUE(paint::Dot(d.doc, ZPoint{20, 10}, kRed, 5));
    EXPECT_TRUE(d.Now() == want);
    EXPECT_EQ(u"점찍기", d.doc.steps[size_t(d.doc.undoPos)].label);
}

struct UndoBrush : JournaledDocTest {};

TEST_F(UndoBrush, PaintsTheEarlierStepBackWhereItChanged) {
    StartJournal(40, 30);
    LayerRecord& l = doc.Layer(doc.currentLayer);
    // A step paints a red band over stored rows 10..19.
    for (int row = 10; row < 20; ++row)
        for (int x = 0; x < 40; ++x) {
            uint8_t* q = l.PixelRow(row) + 3 * x;
            q[0] = 0, q[1] = 0, q[2] = 255;
        }
    ASSERT_TRUE(doc.RecordUndoStep(u"붓그리기", UndoLayerChanged, doc.currentLayer));
    const Plain painted = Take(l);
    ASSERT_TRUE(doc.UndoBrushSelectSource());
    // Over the rows the step did not change, nothing changes.
    ASSERT_TRUE(paint::UndoBrushStroke(doc, ZPoint{5, 3}, ZPoint{34, 4}, 3, paint::kSoftBrush));
    EXPECT_TRUE(Take(l) == painted);
    // Over the band, the pixels of the stroke mask get the white back.
    ASSERT_TRUE(paint::UndoBrushStroke(doc, ZPoint{5, 15}, ZPoint{34, 15}, 2, paint::kPencil));
    Plain now = Take(l);
    // The line lies on stored row 14: pencil squares over rows 12..15 and
    // columns 3..35.
    for (int row = 0; row < 30; ++row)
        for (int x = 0; x < 40; ++x) {
            const bool masked = x >= 3 && x < 36 && row >= 12 && row < 16;
            const uint8_t* q = now.px(x, row);
            if (masked) EXPECT_TRUE(q[0] == 255 && q[1] == 255 && q[2] == 255) << x << "," << row;
            else EXPECT_EQ(0, std::memcmp(q, Plain(painted).px(x, row), 3)) << x << "," << row;
        }
}

}  // namespace
