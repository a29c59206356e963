// The paint tools driven by synthetic events: what each leaves on the layer
// (against a plain implementation of the painting rule, or against the
// document's operation called with the points the tool must use), the
// previews that the next step replaces, the undo step each records under
// its name, and undo putting the layer back byte for byte.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "paint.h"
#include "tools_fixture.h"

namespace {

struct Bytes {
    std::vector<uint8_t> px, alpha;
    bool operator==(const Bytes&) const = default;
};
Bytes LayerBytes(const CVexoDoc& d) {
    const LayerRecord& l = d.Layer(d.currentLayer);
    return Bytes{std::vector<uint8_t>(l.pixels.get(), l.pixels.get() + l.pixelSize),
                 std::vector<uint8_t>(l.alpha.get(), l.alpha.get() + l.planeSize)};
}

// A picture that tells its pixels apart (opaque).
void Pattern(ToolsFixture& f) {
    const int w = f.doc.live.canvas.width, h = f.doc.live.canvas.height;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) f.SetPixel(x, y, uint8_t(x * 7), uint8_t(y * 9), uint8_t((x + y) * 3));
}

// Layer pixel (column, stored row) of the fixture's only layer.
struct LayerPx {
    const LayerRecord& l;
    const uint8_t* At(int c, int r) const { return l.PixelRow(r) + 3 * c; }
    uint8_t Alpha(int c, int r) const { return l.AlphaRow(r)[c]; }
};

}  // namespace

TEST(PaintTools, PencilStampsAndTheSizeCap) {
    // Pencil: a press paints one hard square of side 2n with its top-left
    // corner at (x - n, y - n) in layer pixels.
    for (int n : {2, 5, 30}) {
        ToolsFixture f(80, 70);
        ASSERT_TRUE(f.Choose(1347));
        f.host.box.Settings().SetBrush(n, paint::kPencil);
        f.host.box.Settings().SetColour({10, 200, 30});
        f.Press(40, 35);
        f.Release(40, 35);
        const int side = std::min(n, 25);   // sizes from 25 up are stamped as 25
        const int cx = 40, cr = 70 - 35 - 1;
        LayerPx p{f.doc.Layer(0)};
        for (int r = 0; r < 70; ++r)
            for (int c = 0; c < 80; ++c) {
                const bool in = c >= cx - side && c < cx + side && r >= cr - side && r < cr + side;
                const uint8_t* q = p.At(c, r);
                if (in) {
                    ASSERT_EQ(q[0], 30) << n << " " << c << "," << r;
                    ASSERT_EQ(q[1], 200);
                    ASSERT_EQ(q[2], 10);
                } else {
                    ASSERT_EQ(q[0] & q[1] & q[2], 255) << n << " " << c << "," << r;
                }
            }
        EXPECT_EQ(f.Journal().back(), "붓그리기");
    }
}

TEST(PaintTools, SoftBrushDiscAndStrokes) {
    ToolsFixture f(60, 60);
    ASSERT_TRUE(f.Choose(1347));
    f.host.box.Settings().SetBrush(8, paint::kSoftBrush);
    f.host.box.Settings().SetColour({0, 0, 0});
    f.Press(30, 30);
    f.Release(30, 30);
    // Only pixels closer than n / sqrt(2) to the centre change, darker the
    // nearer they are.
    LayerPx p{f.doc.Layer(0)};
    const int cx = 30, cr = 60 - 30 - 1;
    for (int r = 0; r < 60; ++r)
        for (int c = 0; c < 60; ++c) {
            const int d2 = (c - cx) * (c - cx) + (r - cr) * (r - cr);
            const uint8_t v = p.At(c, r)[1];
            if (2 * d2 >= 64) {
                ASSERT_EQ(v, 255) << c << "," << r;
            } else {
                ASSERT_LT(v, 255) << c << "," << r;
            }
        }
    EXPECT_LE(p.At(cx, cr)[1], 1);
    EXPECT_LT(p.At(cx, cr)[1], p.At(cx + 3, cr)[1]);

    // A drag strokes from the last point at every step: the same pixels as
    // the operation called with those points.
    ToolsFixture g(60, 60), want(60, 60);
    Pattern(g);
    Pattern(want);
    ASSERT_TRUE(g.doc.RecordUndoStep(u"무늬", UndoLayerChanged, 0));
    ASSERT_TRUE(g.Choose(1347));
    g.host.box.Settings().SetBrush(4, paint::kSoftBrush);
    g.Press(5, 5);
    g.Drag(30, 12);
    g.Drag(50, 50);
    g.Release(50, 50);
    const paint::Rgb black{0, 0, 0};
    paint::Stroke(want.doc, paint::StrokeMode::Paint, {5, 5}, {5, 5}, black, 4, 1);
    paint::Stroke(want.doc, paint::StrokeMode::Paint, {5, 5}, {30, 12}, black, 4, 1);
    paint::Stroke(want.doc, paint::StrokeMode::Paint, {30, 12}, {50, 50}, black, 4, 1);
    EXPECT_TRUE(LayerBytes(g.doc) == LayerBytes(want.doc));
    EXPECT_EQ(g.Journal(), (std::vector<std::string>{"initial state", "무늬", "붓그리기"}));
}

TEST(PaintTools, EraserNeedsSixPassesAtSizeOne) {
    ToolsFixture f(10, 10);
    ASSERT_TRUE(f.Choose(1355));
    f.host.box.Settings().SetBrush(1, paint::kPencil);
    LayerPx p{f.doc.Layer(0)};
    const int want[] = {205, 155, 105, 55, 5, 0, 0};
    for (int pass = 0; pass < 7; ++pass) {
        f.Press(4, 4);
        f.Release(4, 4);
        EXPECT_EQ(p.Alpha(4, 5), want[pass]) << pass;
        EXPECT_EQ(p.Alpha(5, 5), 255);
    }
    EXPECT_EQ(f.Journal().back(), "영역지우기");
}

TEST(PaintTools, FillWithToleranceAndEightNeighbours) {
    ToolsFixture f(12, 8);
    // Background grey 100; a region of greys 100..104 on the left; a
    // diagonal chain that touches it only at a corner; a wall of 180.
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x) f.SetPixel(x, y, 180, 180, 180);
    for (int y = 1; y < 4; ++y)
        for (int x = 1; x < 4; ++x) f.SetPixel(x, y, uint8_t(100 + x), 100, uint8_t(100 + y));
    for (int k = 0; k < 4; ++k) f.SetPixel(4 + k, 4 + k, 101, 101, 101);
    const auto before = LayerBytes(f.doc);
    ASSERT_TRUE(f.Choose(1352));
    f.host.box.Settings().SetFill(9, 0);
    f.host.box.Settings().SetColour({250, 0, 0});
    f.Press(2, 2);
    f.Release(2, 2);
    // The plain rule: 8 neighbours whose |dB|+|dG|+|dR| from the seed's
    // colour is below the tolerance.
    const uint8_t* s = &before.px[0];
    const LayerRecord& l = f.doc.Layer(0);
    auto old = [&](int x, int y) {
        const size_t o = size_t(8 - y - 1) * size_t(l.stride) + size_t(3 * x);
        return std::array<int, 3>{s[o], s[o + 1], s[o + 2]};
    };
    const auto seed = old(2, 2);
    std::vector<int> mark(12 * 8, 0);
    std::vector<std::pair<int, int>> stack{{2, 2}};
    mark[2 * 12 + 2] = 1;
    while (!stack.empty()) {
        auto [x, y] = stack.back();
        stack.pop_back();
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int nx = x + dx, ny = y + dy;
                if (nx < 0 || ny < 0 || nx >= 12 || ny >= 8 || mark[ny * 12 + nx]) continue;
                const auto c = old(nx, ny);
                if (std::abs(c[0] - seed[0]) + std::abs(c[1] - seed[1]) + std::abs(c[2] - seed[2]) < 9) {
                    mark[ny * 12 + nx] = 1;
                    stack.push_back({nx, ny});
                }
            }
    }
    int filled = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x) {
            const uint8_t* q = f.Pixel(x, y);
            if (mark[y * 12 + x]) {
                ++filled;
                EXPECT_TRUE(q[0] == 0 && q[1] == 0 && q[2] == 250) << x << "," << y;
            } else {
                const auto c = old(x, y);
                EXPECT_TRUE(q[0] == c[0] && q[1] == c[1] && q[2] == c[2]) << x << "," << y;
            }
        }
    EXPECT_EQ(filled, 9 + 4);   // the square and the corner-touching chain
    EXPECT_EQ(f.Journal().back(), "채우기");
}

TEST(PaintTools, SprayStaysInItsDiscWithItsStatistics) {
    ToolsFixture f(80, 80);
    ASSERT_TRUE(f.Choose(1346));
    f.host.box.Settings().SetColour({0, 0, 0});
    std::srand(12345);
    f.Press(40, 40);
    f.Release(40, 40);
    EXPECT_EQ(f.Journal().back(), "스프레이");
    double outer = 0;
    int outerCount = 0, changed = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 80; ++x) {
            const uint8_t v = f.Pixel(x, y)[1];
            const double d = std::hypot(x - 40.0, y - 40.0);
            if (v != 255) {
                ++changed;
                ASSERT_LE(d, 20.5) << x << "," << y;   // the rings stop at radius 19
            }
            if (d <= 1.5) {
                EXPECT_LE(v, 13) << x << "," << y;   // the centre is almost the colour
            }
            if (d >= 17 && d <= 19) {
                outer += v;
                ++outerCount;
            }
        }
    EXPECT_GT(changed, 900);
    ASSERT_GT(outerCount, 0);
    // Near the rim the strength is about 0.6 to 0.85 of the old colour.
    EXPECT_GT(outer / outerCount, 140);
    EXPECT_LT(outer / outerCount, 230);
}

TEST(PaintTools, PreviewsAreReplacedByTheNextStep) {
    // Circle: the drag previews, the release draws once, at the release point.
    ToolsFixture f(80, 80), want(80, 80);
    ASSERT_TRUE(f.Choose(1380));
    f.Press(20, 40);
    f.Drag(70, 40);
    f.Drag(40, 40);
    f.Release(40, 40);
    paint::Circle(want.doc, {20, 40}, {40, 40}, {0, 0, 0}, 5);
    EXPECT_TRUE(LayerBytes(f.doc) == LayerBytes(want.doc));
    EXPECT_EQ(f.Journal().back(), "원 그리기");

    // Line: nothing is painted until the release; then one stroke.
    ToolsFixture l(60, 40), lwant(60, 40);
    ASSERT_TRUE(l.Choose(1356));
    const auto clean = LayerBytes(l.doc);
    l.Press(5, 5);
    l.Drag(50, 30);
    EXPECT_TRUE(LayerBytes(l.doc) == clean);
    EXPECT_TRUE(l.bench.GetOverlay().Shown());
    l.Release(55, 35);
    paint::Stroke(lwant.doc, paint::StrokeMode::Paint, {5, 5}, {55, 35}, {0, 0, 0}, 5, 1);
    EXPECT_TRUE(LayerBytes(l.doc) == LayerBytes(lwant.doc));
    EXPECT_EQ(l.Journal().back(), "선그리기");

    // Gradient: the base line preview goes, a click is refused.
    ToolsFixture g(30, 20), gwant(30, 20);
    ASSERT_TRUE(g.Choose(1353));
    const auto plain = LayerBytes(g.doc);
    g.Press(10, 10);
    g.Release(10, 10);
    ASSERT_FALSE(g.host.messages.empty());
    EXPECT_EQ(g.host.messages.back(), "클릭이 아닌 드래깅으로 기준선을 먼저 잡으세요");
    EXPECT_TRUE(LayerBytes(g.doc) == plain);
    EXPECT_EQ(g.Journal().size(), 1u);
    g.host.box.Settings().SetColour({200, 100, 50});
    g.Press(5, 2);
    g.Drag(25, 9);
    g.Drag(5, 17);
    g.Release(5, 17);
    paint::Gradient(gwant.doc, {5, 2}, {5, 17}, {200, 100, 50}, {255, 255, 255}, 2, 1);
    EXPECT_TRUE(LayerBytes(g.doc) == LayerBytes(gwant.doc));
    EXPECT_EQ(g.Journal().back(), "그라디언트");
}

TEST(PaintTools, PolylineAndToolsWithoutBehaviour) {
    ToolsFixture f(50, 50), want(50, 50);
    ASSERT_TRUE(f.Choose(1357));
    for (auto [x, y] : {std::pair{5, 5}, {40, 5}, {40, 40}}) {
        f.Press(x, y);
        f.Release(x, y);
    }
    f.DClick(40, 40);   // ends the chain
    f.Press(10, 45);
    f.Release(10, 45);
    paint::Stroke(want.doc, paint::StrokeMode::Paint, {5, 5}, {40, 5}, {0, 0, 0}, 5, 1);
    paint::Stroke(want.doc, paint::StrokeMode::Paint, {40, 5}, {40, 40}, {0, 0, 0}, 5, 1);
    EXPECT_TRUE(LayerBytes(f.doc) == LayerBytes(want.doc));
    EXPECT_EQ(f.Journal(), (std::vector<std::string>{"initial state", "다각형그리기", "다각형그리기"}));

    // 1348 and 1351: the mouse does nothing.
    for (int id : {1348, 1351}) {
        ToolsFixture g(20, 20);
        const auto before = LayerBytes(g.doc);
        tools::Session s(g.host, g.doc);
        ASSERT_TRUE(s.Run("tool:" + std::to_string(id)));
        g.Press(3, 3);
        g.Drag(15, 15);
        g.Release(15, 15);
        g.DClick(15, 15);
        EXPECT_TRUE(LayerBytes(g.doc) == before) << id;
        EXPECT_EQ(g.Journal().size(), 1u) << id;
    }
}

TEST(PaintTools, UndoOfEveryToolRestoresTheLayer) {
    struct Case {
        int tool;
        const char* step;
        std::function<void(ToolsFixture&)> act;
    };
    const std::vector<Case> cases = {
        {1347, "붓그리기", [](ToolsFixture& f) { f.DragLine(3, 3, 30, 20); }},
        {1355, "영역지우기", [](ToolsFixture& f) { f.DragLine(3, 3, 30, 20); }},
        {1346, "스프레이", [](ToolsFixture& f) { f.DragLine(20, 15, 24, 15); }},
        {1350, "점찍기", [](ToolsFixture& f) { f.DragLine(20, 15, 20, 15); }},
        {1354, "물방울", [](ToolsFixture& f) { f.DragLine(20, 15, 22, 16); }},
        {1352, "채우기", [](ToolsFixture& f) { f.DragLine(20, 15, 20, 15); }},
        {1356, "선그리기", [](ToolsFixture& f) { f.DragLine(3, 3, 30, 20); }},
        {1380, "원 그리기", [](ToolsFixture& f) { f.DragLine(10, 15, 30, 15); }},
        {1353, "그라디언트", [](ToolsFixture& f) { f.DragLine(3, 3, 30, 20); }},
        {3340, "터치변형", [](ToolsFixture& f) { f.DragLine(20, 15, 20, 15); }},
        {1357, "다각형그리기", [](ToolsFixture& f) {
             f.DragLine(3, 3, 3, 3);
             f.DragLine(30, 20, 30, 20);
         }},
    };
    for (const Case& c : cases) {
        ToolsFixture f(40, 30);
        Pattern(f);
        ASSERT_TRUE(f.doc.RecordUndoStep(u"무늬", UndoLayerChanged, f.doc.currentLayer));
        const Bytes before = LayerBytes(f.doc);
        tools::Session s(f.host, f.doc);
        ASSERT_TRUE(s.Run("tool:" + std::to_string(c.tool)));
        c.act(f);
        EXPECT_FALSE(LayerBytes(f.doc) == before) << c.tool;
        ASSERT_EQ(f.Journal().back(), c.step) << c.tool;
        ASSERT_TRUE(f.doc.Undo()) << c.tool;
        EXPECT_TRUE(LayerBytes(f.doc) == before) << c.tool;
    }
}

TEST(PaintTools, UndoBrushPaintsTheEarlierStepBack) {
    ToolsFixture f(40, 30);
    Pattern(f);
    ASSERT_TRUE(f.doc.RecordUndoStep(u"무늬", UndoLayerChanged, f.doc.currentLayer));
    const Bytes pattern = LayerBytes(f.doc);
    tools::Session s(f.host, f.doc);
    ASSERT_TRUE(s.Run("brush:6,0"));
    ASSERT_TRUE(s.Run("tool:1347"));
    f.DragLine(5, 15, 35, 15);
    ASSERT_FALSE(LayerBytes(f.doc) == pattern);
    // The undo brush over everything the brush touched gives the pattern back.
    ASSERT_TRUE(s.Run("tool:4669"));
    ASSERT_TRUE(s.Run("brush:10,0"));
    f.DragLine(5, 15, 35, 15);
    EXPECT_EQ(f.Journal().back(), "작업취소붓");
    EXPECT_TRUE(LayerBytes(f.doc).px == pattern.px);
}

TEST(PaintTools, ADragStepReportsOnlyThePaintedArea) {
    ToolsFixture f(400, 300);
    ASSERT_TRUE(f.Choose(1347));
    f.host.box.Settings().SetBrush(10, paint::kPencil);
    f.Press(100, 100);
    f.bench.TakeDamage();
    f.Drag(140, 100);
    const tools::Damage d = f.bench.TakeDamage();
    ASSERT_FALSE(d.full);
    ASSERT_FALSE(d.rects.empty());
    tools::ZRect all;
    for (const tools::ZRect& r : d.rects) all = all.Union(r);
    // The stroke from 100 to 140 with squares of side 20, nothing far away.
    EXPECT_LE(all.left, 90);
    EXPECT_GE(all.right, 150);
    EXPECT_LE(all.top, 91);
    EXPECT_GE(all.bottom, 110);
    EXPECT_LT(int64_t(all.right - all.left) * (all.bottom - all.top), 400 * 300 / 10);
    f.Release(140, 100);
}
