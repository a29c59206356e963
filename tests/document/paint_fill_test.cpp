// Flood fill: the region rule (eight neighbours, tolerance, transparent
// pixels always taken) against a plain stack fill, the selection limit,
// the feather and the progress.
#include <cstdlib>

#include "paint_support.h"

using namespace painttest;
using paint::Rgb;
using paint::ZPoint;

namespace {

const Rgb kGreen{30, 200, 60};

// The rule as written: a last-in-first-out stack from the point; a taken
// point is painted; its eight neighbours inside the layer, not yet
// marked, are marked and pushed when the tolerance is at least 1 and
// their alpha is below 255 or their colour distance below the tolerance.
void RefFill(Plain& p, int sx, int srow, Rgb c, int tol, const std::vector<uint8_t>* selected = nullptr) {
    const uint8_t ref[3] = {p.px(sx, srow)[0], p.px(sx, srow)[1], p.px(sx, srow)[2]};
    const Plain before = p;
    std::vector<uint8_t> visited(size_t(p.w) * size_t(p.h), 0);
    std::vector<std::pair<int, int>> stack = {{sx, srow}};
    while (!stack.empty()) {
        auto [x, row] = stack.back();
        stack.pop_back();
        if (!selected || (*selected)[size_t(row) * size_t(p.w) + size_t(x)]) {
            p.px(x, row)[0] = c.b, p.px(x, row)[1] = c.g, p.px(x, row)[2] = c.r;
            p.a(x, row) = 255;
        }
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int nx = x + dx, ny = row + dy;
                if ((!dx && !dy) || !p.inside(nx, ny) || visited[size_t(ny) * size_t(p.w) + size_t(nx)] || tol < 1)
                    continue;
                Plain& b = const_cast<Plain&>(before);
                const uint8_t* q = b.px(nx, ny);
                const int dist = std::abs(q[0] - ref[0]) + std::abs(q[1] - ref[1]) + std::abs(q[2] - ref[2]);
                if (b.a(nx, ny) < 255 || dist < tol) {
                    visited[size_t(ny) * size_t(p.w) + size_t(nx)] = 1;
                    stack.push_back({nx, ny});
                }
            }
    }
}

// Light grey with a little noise, crossed by dark walls that are closed for
// four neighbours but leave diagonal gaps, and a few transparent dark pixels.
void Pattern(PaintDoc& d) {
    LayerRecord& l = d.Layer();
    for (int row = 0; row < l.height; ++row)
        for (int x = 0; x < l.width; ++x) {
            uint8_t* q = l.PixelRow(row) + 3 * x;
            const int n = (x * 7 + row * 13) % 5;
            q[0] = uint8_t(200 + n), q[1] = uint8_t(201 - n), q[2] = 199;
            const bool wall = (x + row == 30) || (x + row == 31 && x % 3 == 0) || (x == 45) || (row == 8 && x > 45);
            if (wall) q[0] = q[1] = q[2] = 20;
            l.AlphaRow(row)[x] = 255;
        }
    l.AlphaRow(20)[45] = 100;   // a door in the straight wall: taken for its alpha
    d.doc.prevState.layers[0].CopyFrom(l);
}

TEST(PaintFill, RegionByTheRule) {
    for (int tol : {0, 1, 10, 30, 600}) {
        PaintDoc d(60, 40);
        Pattern(d);
        Plain want = d.Now();
        RefFill(want, 5, 5, kGreen, tol);
        ASSERT_TRUE(paint::Fill(d.doc, d.Z(5, 5), kGreen, tol, 0));
        EXPECT_TRUE(d.Now() == want) << "tolerance " << tol;
    }
    // The noise (distance up to 8) is inside a tolerance of 10; the diagonal
    // wall lets the fill through its corner gaps, the straight one only
    // through the transparent door; tolerance 0 paints the point alone.
    PaintDoc d(60, 40);
    Pattern(d);
    paint::Fill(d.doc, d.Z(5, 5), kGreen, 10, 0);
    Plain now = d.Now();
    EXPECT_EQ(kGreen.b, now.px(40, 30)[0]);   // past the diagonal wall
    EXPECT_EQ(kGreen.b, now.px(50, 30)[0]);   // past the door
    EXPECT_NE(kGreen.b, now.px(50, 2)[0]);    // walled off
    EXPECT_NE(kGreen.b, now.px(30, 0)[0]);    // the wall itself
    EXPECT_EQ(0, d.host.lastProgress);
    PaintDoc z(60, 40);
    Pattern(z);
    const Plain before = z.Now();
    paint::Fill(z.doc, z.Z(5, 5), kGreen, 0, 0);
    Plain want = before;
    want.px(5, 5)[0] = kGreen.b, want.px(5, 5)[1] = kGreen.g, want.px(5, 5)[2] = kGreen.r;
    EXPECT_TRUE(z.Now() == want);
}

TEST(PaintFill, LimitedToTheSelection) {
    PaintDoc d(60, 40);
    Pattern(d);
    // Canvas columns 0..24 of rows 0..39 are selected.
    ASSERT_TRUE(d.doc.SelectShape(1, {{0, 0}, {24, 39}}, 0));
    std::vector<uint8_t> sel(60 * 40, 0);
    for (int row = 0; row < 40; ++row)
        for (int x = 0; x <= 24; ++x) sel[size_t(row) * 60 + size_t(x)] = 1;
    Plain want = d.Now();
    RefFill(want, 5, 5, kGreen, 10, &sel);
    ASSERT_TRUE(paint::Fill(d.doc, d.Z(5, 5), kGreen, 10, 0));
    EXPECT_TRUE(d.Now() == want);
}

struct CountingHost : HeadlessHost {
    std::vector<int> progress;
    void Progress(int p) override {
        progress.push_back(p);
        HeadlessHost::Progress(p);
    }
};

TEST(PaintFill, FeatherSoftensTheRimAndProgressIsShown) {
    // A 20 x 12 block of one colour inside a dark frame.
    PaintDocWith<CountingHost> d(40, 30);
    LayerRecord& l = d.Layer();
    for (int row = 0; row < 30; ++row)
        for (int x = 0; x < 40; ++x) {
            const bool in = x >= 10 && x < 30 && row >= 8 && row < 20;
            uint8_t* q = l.PixelRow(row) + 3 * x;
            q[0] = q[1] = q[2] = in ? 180 : 0;
        }
    const Plain before = Take(l);
    ASSERT_TRUE(paint::Fill(d.doc, d.Z(20, 14), kGreen, 5, 2));
    Plain now = d.Now();
    auto mix = [](int c, int old, int w) { return (c * w + old * (255 - w) + 127) / 255; };
    // Rim pixels (a side step from the frame) weigh 255 * 3 / 9; the next
    // ring 255 * 6 / 9; from three steps in the pure colour.
    EXPECT_EQ(mix(kGreen.g, 180, 85), now.px(10, 14)[1]);
    EXPECT_EQ(mix(kGreen.g, 180, 170), now.px(11, 14)[1]);
    EXPECT_EQ(mix(kGreen.g, 180, 85), now.px(10, 8)[1]);
    EXPECT_EQ(kGreen.g, now.px(12, 14)[1]);
    EXPECT_EQ(kGreen.g, now.px(20, 14)[1]);
    EXPECT_EQ(255, now.a(10, 14));
    for (int row = 0; row < 30; ++row)
        for (int x = 0; x < 40; ++x)
            if (!(x >= 10 && x < 30 && row >= 8 && row < 20)) {
                EXPECT_EQ(0, std::memcmp(now.px(x, row), Plain(before).px(x, row), 3));
            }
    // 240 points: progress shown at 100 and 200 (as a share of the layer), cleared at the end.
    ASSERT_EQ(3u, d.host.progress.size());
    EXPECT_EQ(100 * 100 / 1200, d.host.progress[0]);
    EXPECT_EQ(200 * 100 / 1200, d.host.progress[1]);
    EXPECT_EQ(0, d.host.progress.back());
}

}  // namespace
