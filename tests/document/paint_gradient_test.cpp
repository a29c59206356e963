// Gradient (the click refusal, the vertical rule, the other base lines in
// both colour modes and profiles) and touch deform.
#include <cmath>

#include "paint_support.h"

using namespace painttest;
using paint::Rgb;
using paint::ZPoint;

namespace {

const Rgb kFirst{240, 120, 30}, kSecond{10, 90, 250};

TEST(PaintGradient, AClickIsRefused) {
    PaintDoc d(30, 20);
    const Plain before = d.Now();
    EXPECT_FALSE(paint::Gradient(d.doc, ZPoint{5, 5}, ZPoint{5, 5}, kFirst, kSecond, 2, 1));
    ASSERT_EQ(1u, d.host.messages.size());
    EXPECT_EQ("클릭이 아닌 드래깅으로 기준선을 먼저 잡으세요", d.host.messages[0]);
    // At zoom 4 a drag of three screen pixels stays on one picture pixel.
    d.doc.zoom = 4.0;
    EXPECT_FALSE(paint::Gradient(d.doc, ZPoint{8, 8}, ZPoint{11, 10}, kFirst, kSecond, 2, 1));
    EXPECT_EQ(2u, d.host.messages.size());
    EXPECT_TRUE(d.Now() == before);
}

TEST(PaintGradient, VerticalLineShadesByRowsTowardsTheFarEdge) {
    // Rows from the top: the drag starts at row `from`; the far edge is the
    // last row in the drag's direction, black; rows behind the start keep
    // the full colour.
    for (auto [from, to] : {std::pair{5, 30}, {30, 5}, {0, 39}, {12, 13}}) {
        PaintDoc d(20, 40, 3, true);
        ASSERT_TRUE(paint::Gradient(d.doc, ZPoint{7, from}, ZPoint{7, to}, kFirst, kSecond, 2, 2));
        Plain p = d.Now();
        const int far = to > from ? 39 : 0;
        for (int y = 0; y < 40; ++y) {
            const bool beyond = to > from ? y > from : y < from;
            const int C[3] = {kFirst.b, kFirst.g, kFirst.r};
            for (int x = 0; x < 20; x += 7) {
                const uint8_t* q = p.px(x, 39 - y);
                for (int k = 0; k < 3; ++k)
                    EXPECT_EQ(beyond ? C[k] * std::abs(far - y) / std::abs(far - from) : C[k], q[k])
                        << from << "->" << to << " row " << y;
                EXPECT_EQ(255, p.a(x, 39 - y));
            }
        }
    }
}

TEST(PaintGradient, OtherLinesAlongTheDrag) {
    // A horizontal drag from x 10 to x 50: the first colour up to 10, the
    // second from 50, a steady change between, the same down each column.
    PaintDoc d(64, 16);
    ASSERT_TRUE(paint::Gradient(d.doc, ZPoint{10, 3}, ZPoint{50, 3}, kFirst, kSecond, 2, 1));
    Plain p = d.Now();
    auto mix = [](int a, int b, int w) { return (a * w + b * (255 - w) + 127) / 255; };
    for (int x = 0; x < 64; ++x) {
        const int v = std::clamp(int(std::floor(255.0 * (x - 10) / 40.0)), 0, 255);
        for (int row : {0, 9, 15}) {
            EXPECT_EQ(mix(kSecond.r, kFirst.r, v), p.px(x, row)[2]) << x;
            EXPECT_EQ(mix(kSecond.b, kFirst.b, v), p.px(x, row)[0]) << x;
            EXPECT_EQ(255, p.a(x, row));
        }
    }
    // A diagonal: equal along the perpendicular, and the end points exact.
    PaintDoc g(50, 50);
    paint::Gradient(g.doc, ZPoint{10, 10}, ZPoint{40, 40}, kFirst, kSecond, 2, 1);
    Plain q = g.Now();
    EXPECT_EQ(0, std::memcmp(q.px(30, 49 - 20), q.px(20, 49 - 30), 3));
    EXPECT_EQ(0, std::memcmp(q.px(35, 49 - 5), q.px(5, 49 - 35), 3));
    EXPECT_EQ(kFirst.r, q.px(10, 39)[2]);
    EXPECT_EQ(kSecond.r, q.px(40, 9)[2]);
    // Drawing colour only: its colour everywhere, the alpha fading from
    // opaque at the start to transparent at the end.
    PaintDoc a(64, 8);
    paint::Gradient(a.doc, ZPoint{50, 2}, ZPoint{10, 2}, kFirst, kSecond, 1, 1);
    Plain r = a.Now();
    for (int x = 0; x < 64; ++x) {
        EXPECT_EQ(kFirst.g, r.px(x, 4)[1]);
        EXPECT_EQ(255 - std::clamp(int(std::floor(255.0 * (50 - x) / 40.0)), 0, 255), r.a(x, 4)) << x;
    }
    // "정규변화": an S curve, slow at both ends, symmetric about the middle.
    PaintDoc n(256, 4);
    paint::Gradient(n.doc, ZPoint{0, 1}, ZPoint{255, 1}, kFirst, kSecond, 1, 2);
    Plain s = n.Now();
    EXPECT_EQ(255, s.a(0, 1));
    EXPECT_EQ(0, s.a(255, 1));
    EXPECT_GT(s.a(25, 1), 255 - 25);   // slower than linear near the start
    EXPECT_LT(s.a(230, 1), 25);        // and near the end
    for (int x = 0; x < 256; ++x) EXPECT_NEAR(255, s.a(x, 1) + s.a(255 - x, 1), 1) << x;
}

// White with a black column at x 40 and a black row at stored row 30.
void Cross(PaintDoc& d) {
    LayerRecord& l = d.Layer();
    for (int row = 0; row < l.height; ++row)
        for (int x = 0; x < l.width; ++x) {
            uint8_t* q = l.PixelRow(row) + 3 * x;
            q[0] = q[1] = q[2] = (x == 40 || row == 30) ? 0 : 255;
        }
}

TEST(PaintTouchDeform, PushesInsideTheEllipseOnly) {
    PaintDoc d(120, 80);
    Cross(d);
    const Plain before = d.Now();
    // Strength 0 changes nothing; the default rectangle is 80 x 60 half-sizes.
    ASSERT_TRUE(paint::TouchDeform(d.doc, d.Z(40, 30), 0, 0, 0.0, paint::kDeformPushRight));
    EXPECT_TRUE(d.Now() == before);
    ASSERT_TRUE(paint::TouchDeform(d.doc, d.Z(40, 30), 30, 20, 1.0, paint::kDeformPushRight));
    Plain p = d.Now();
    // Five rows off the centre the column slid right: x 47 samples from
    // 47 - 9 f = 39.98, nearly the column; x 40 samples white from 32.
    EXPECT_LT(p.px(47, 25)[0], 10);
    EXPECT_EQ(255, p.px(40, 25)[0]);
    // Outside the ellipse nothing changed; at its rim the column is in place.
    for (int row = 0; row < 80; ++row)
        for (int x = 0; x < 120; ++x) {
            const double u = (x - 40) / 30.0, v = (row - 30) / 20.0;
            if (u * u + v * v >= 1) {
                EXPECT_EQ(0, std::memcmp(p.px(x, row), Plain(before).px(x, row), 3)) << x << "," << row;
            }
        }
    EXPECT_LT(p.px(40, 49)[0], 40);   // near the rim the column hardly moves
    // The swell spreads the row: the black row stays where it is at the
    // centre, and pixels near the middle come from closer to it.
    PaintDoc s(120, 80);
    Cross(s);
    paint::TouchDeform(s.doc, s.Z(60, 30), 30, 20, 1.0, paint::kDeformSwell);
    Plain q = s.Now();
    EXPECT_EQ(0, q.px(60, 30)[0]);
    // One row off the middle the picture comes from 0.6 rows off: the
    // black row has grown into a grey neighbour.
    EXPECT_GT(q.px(60, 31)[0], 100);
    EXPECT_LT(q.px(60, 31)[0], 200);
    EXPECT_EQ(255, q.px(60, 33)[0]);
}

TEST(PaintTouchDeform, TheSelectionsBoundsForPointMinusOne) {
    PaintDoc d(120, 80);
    Cross(d);
    ASSERT_TRUE(d.doc.SelectShape(1, {{20, 30}, {70, 70}}, 0));   // canvas rows 30..70: stored rows 9..49
    const Plain before = d.Now();
    ASSERT_TRUE(paint::TouchDeform(d.doc, ZPoint{-1, -1}, 0, 0, 1.0, paint::kDeformPinch));
    Plain p = d.Now();
    bool changed = false;
    for (int row = 0; row < 80; ++row)
        for (int x = 0; x < 120; ++x) {
            const bool same = std::memcmp(p.px(x, row), Plain(before).px(x, row), 3) == 0;
            if (x < 20 || x > 70 || row < 9 || row > 49) EXPECT_TRUE(same) << x << "," << row;
            else changed |= !same;
        }
    EXPECT_TRUE(changed);
    // A text layer is refused.
    d.Layer().kind = LayerText;
    EXPECT_FALSE(paint::TouchDeform(d.doc, ZPoint{30, 30}, 0, 0, 1.0, 0));
}

}  // namespace
