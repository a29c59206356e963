// Spray with a fixed seed of the C library's generator: every pixel against
// the ring rule, its bounds and its statistics; the droplet.
#include <cmath>
#include <cstdlib>

#include "paint_support.h"

using namespace painttest;
using paint::Rgb;
using paint::ZPoint;

namespace {

const Rgb kInk{200, 120, 40};

void RefSpray(Plain& p, int cx, int crow, Rgb c) {
    const int B[3] = {c.b, c.g, c.r};
    bool marked[40][40] = {};
    for (int i = 1; i <= 19; ++i) {
        const auto ring = Ring(i);
        bool out = false;
        for (auto [dx, dy] : ring) out |= !p.inside(cx + dx, crow + dy);
        if (out) break;
        for (auto [dx, dy] : ring) {
            const double u = double(std::rand()) / RAND_MAX;
            const double g = std::max(0.0, i / 20.0 - 0.2 + 0.1 * u);
            uint8_t* q = p.px(cx + dx, crow + dy);
            const bool clear = p.a(cx + dx, crow + dy) == 0;
            for (int k = 0; k < 3; ++k) q[k] = uint8_t(B[k] - int((B[k] - (clear ? B[k] : q[k])) * g));
            p.a(cx + dx, crow + dy) = 255;
            marked[dy + 20][dx + 20] = true;
        }
    }
    auto at = [&](int gy, int gx) { return gy >= 0 && gx >= 0 && gy < 40 && gx < 40 && marked[gy][gx]; };
    for (int gy = 0; gy < 40; ++gy)
        for (int gx = 0; gx < 40; ++gx) {
            const int x = cx - 20 + gx, row = crow - 20 + gy;
            if (marked[gy][gx] || !p.inside(x, row)) continue;
            const uint8_t* from = nullptr;
            if (at(gy, gx - 1) && at(gy, gx + 1)) from = p.px(x - 1, row);
            else if (at(gy - 1, gx) && at(gy + 1, gx)) from = p.px(x, row - 1);
            if (!from) continue;
            const uint8_t c3[3] = {from[0], from[1], from[2]};
            std::memcpy(p.px(x, row), c3, 3);
            p.a(x, row) = 255;
        }
}

TEST(PaintSpray, RingsByTheRuleWithAFixedSeed) {
    for (auto [cx, crow, alphaPattern] : {std::tuple{32, 30, false}, {30, 28, true}, {10, 25, false}}) {
        PaintDoc d(64, 60, 9, alphaPattern);
        Plain want = d.Now();
        std::srand(1234);
        RefSpray(want, cx, crow, kInk);
        std::srand(1234);
        ASSERT_TRUE(paint::Spray(d.doc, d.Z(cx, crow), kInk));
        EXPECT_TRUE(d.Now() == want) << cx << "," << crow;
    }
}

TEST(PaintSpray, BoundsAndStatistics) {
    // On black, the new red is B - trunc(B g) with B = 200: g comes back from it.
    PaintDoc d(64, 64);
    std::memset(d.Layer().pixels.get(), 0, size_t(d.Layer().pixelSize));
    std::srand(99);
    paint::Spray(d.doc, d.Z(32, 32), kInk);
    Plain p = d.Now();
    double sum[20] = {};
    int count[20] = {};
    for (int row = 0; row < 64; ++row)
        for (int x = 0; x < 64; ++x) {
            if (!p.px(x, row)[2]) continue;
            const double r = std::hypot(x - 32, row - 32);
            EXPECT_LT(r, 19.8) << x << "," << row;   // nothing beyond the last ring
            const int ring = int(std::lround(r));
            if (ring < 1 || ring > 19) continue;
            sum[ring] += (200.0 - p.px(x, row)[2]) / 200.0;
            ++count[ring];
        }
    // Each ring's mean strength is i / 20 - 0.2 + 0.05 (floored at 0), within noise.
    for (int i = 6; i <= 19; ++i) {
        ASSERT_GT(count[i], 0);
        EXPECT_NEAR(i / 20.0 - 0.15, sum[i] / count[i], 0.03) << "ring " << i;
    }
    EXPECT_EQ(200, p.px(32, 32)[2]);   // the centre (a gap filled from ring 1) is the pure colour
    // Near the edge the rings stop before the first that would leave the layer.
    PaintDoc e(64, 64);
    std::memset(e.Layer().pixels.get(), 0, size_t(e.Layer().pixelSize));
    paint::Spray(e.doc, e.Z(6, 30), kInk);
    Plain q = e.Now();
    for (int row = 0; row < 64; ++row)
        for (int x = 0; x < 64; ++x)
            if (q.px(x, row)[2]) {
                EXPECT_LE(std::hypot(x - 6, row - 30), 6.5) << x << "," << row;
            }
    EXPECT_NE(0, q.px(0, 30)[2]);   // ring 6 reaches the edge
}

TEST(PaintDroplet, SpreadsTheColourUnderThePoint) {
    // The colour under the point fades out from it; a uniform layer stays
    // as it is; a transparent pixel under the point changes nothing.
    PaintDoc d(40, 40);
    LayerRecord& l = d.Layer();
    for (int row = 0; row < 40; ++row)
        for (int x = 0; x < 40; ++x) {
            uint8_t* q = l.PixelRow(row) + 3 * x;
            q[0] = q[1] = q[2] = x < 20 ? 0 : 240;
        }
    ASSERT_TRUE(paint::Droplet(d.doc, ZPoint{-1, -1}, d.Z(22, 20), 10));
    Plain p = d.Now();
    // Three pixels from the point the weight is 1 - 1.5 * 3 / (10 sqrt 2).
    EXPECT_EQ((240 * int(255 * (1 - 4.5 / (10 * std::sqrt(2.0)))) + 127) / 255, p.px(19, 20)[0]);
    EXPECT_LT(p.px(15, 20)[0], p.px(18, 20)[0]);   // fading with the distance
    EXPECT_EQ(0, p.px(12, 20)[0]);                 // beyond the drop
    EXPECT_EQ(0, p.px(19, 30)[0]);                 // ten rows away
    EXPECT_TRUE((paint::LastDropletPoint(d.doc) == d.Z(22, 20)));
    PaintDoc u(30, 30);
    std::memset(u.Layer().pixels.get(), 77, size_t(u.Layer().pixelSize));
    const Plain flat = u.Now();
    paint::Droplet(u.doc, ZPoint{-1, -1}, u.Z(15, 15), 8);
    EXPECT_TRUE(u.Now() == flat);
    u.Layer().AlphaRow(15)[15] = 0;
    u.Layer().PixelRow(15)[45] = 0;
    const Plain hole = u.Now();
    paint::Droplet(u.doc, ZPoint{-1, -1}, u.Z(15, 15), 8);
    EXPECT_TRUE(u.Now() == hole);
}

}  // namespace
