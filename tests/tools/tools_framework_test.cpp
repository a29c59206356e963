// The tool framework: the overlay's pixels and bounds, the tool switch with
// its refusals and option bar, the dispatch rules of the workbench, and the
// pimlora-cli steps that drive it.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <stdexcept>

#include "overlay.h"
#include "tool_table.h"
#include "tools_fixture.h"

using tools::OverlayItem;
using tools::OverlayKind;

namespace {

std::set<std::pair<int, int>> Pixels(const OverlayItem& item) {
    std::set<std::pair<int, int>> px;
    tools::RasterizeItem(item, [&](int x, int y, int n) {
        for (int k = 0; k < n; ++k) px.insert({x + k, y});
    });
    return px;
}

}  // namespace

TEST(Overlay, ShapesPixelsAndBounds) {
    // The band: the one-pixel outline of the rectangle, corners in any order.
    const auto band = Pixels({OverlayKind::Band, {{5, 4}, {1, 1}}, false});
    EXPECT_EQ(band.size(), size_t(2 * 5 + 2 * 2));
    for (int x = 1; x <= 5; ++x) EXPECT_TRUE(band.count({x, 1}) && band.count({x, 4}));
    EXPECT_TRUE(band.count({1, 2}) && band.count({5, 3}));
    EXPECT_FALSE(band.count({3, 2}));

    // The circle: radius half the distance, centre the midpoint; every
    // point lies within half a pixel of the radius and the shape is
    // symmetric.
    const auto circle = Pixels({OverlayKind::Circle, {{10, 20}, {30, 20}}, false});
    for (const auto& [x, y] : circle) {
        const double d = std::hypot(x - 20.0, y - 20.0);
        EXPECT_NEAR(d, 10.0, 0.75) << x << "," << y;
        EXPECT_TRUE(circle.count({40 - x, y}) && circle.count({x, 40 - y}) && circle.count({y, x}));
    }
    EXPECT_TRUE(circle.count({30, 20}) && circle.count({20, 10}) && circle.count({10, 20}));

    // The line as 9 x 9 squares along the Bresenham steps.
    const auto line = Pixels({OverlayKind::LineSquares, {{10, 10}, {20, 10}}, false});
    EXPECT_EQ(line.size(), size_t((11 + 8) * 9));
    EXPECT_TRUE(line.count({6, 6}) && line.count({24, 14}));
    EXPECT_FALSE(line.count({5, 10}) || line.count({25, 10}));

    // Every pixel of every shape lies inside its bounds.
    for (const OverlayItem& item :
         {OverlayItem{OverlayKind::Band, {{7, 3}, {-4, 12}}, false}, OverlayItem{OverlayKind::Circle, {{0, 0}, {13, 7}}, false},
          OverlayItem{OverlayKind::LineSquares, {{3, 40}, {31, -5}}, false},
          OverlayItem{OverlayKind::Polyline, {{1, 1}, {9, 30}, {25, 4}}, true},
          OverlayItem{OverlayKind::Handles, {{5, 5}, {50, 60}}, false}}) {
        const tools::ZRect b = tools::ItemBounds(item);
        for (const auto& [x, y] : Pixels(item)) {
            EXPECT_GE(x, b.left);
            EXPECT_LT(x, b.right);
            EXPECT_GE(y, b.top);
            EXPECT_LT(y, b.bottom);
        }
    }
    // A closed polyline comes back to its first point.
    const auto open = Pixels({OverlayKind::Polyline, {{0, 0}, {10, 0}, {10, 10}}, false});
    const auto closed = Pixels({OverlayKind::Polyline, {{0, 0}, {10, 0}, {10, 10}}, true});
    EXPECT_FALSE(open.count({5, 5}));
    EXPECT_TRUE(closed.count({5, 5}));

    // The cover of a band: every overlay pixel in a tile of it, and far
    // less than the band's bounds.
    tools::Overlay band2;
    band2.Show({OverlayKind::Band, {{10, 20}, {409, 319}}, false});
    const std::vector<tools::ZRect> cover = band2.Cover(32);
    int64_t area = 0;
    for (const tools::ZRect& r : cover) area += int64_t(r.right - r.left) * (r.bottom - r.top);
    EXPECT_LT(area, 400 * 300 / 2);
    band2.Rasterize([&](int x, int y, int n) {
        for (int k = 0; k < n; ++k) {
            bool in = false;
            for (const tools::ZRect& r : cover) in = in || (x + k >= r.left && x + k < r.right && y >= r.top && y < r.bottom);
            EXPECT_TRUE(in) << x + k << "," << y;
        }
    });
    tools::Overlay o;
    const uint64_t v0 = o.Version();
    o.Show({OverlayKind::Band, {{0, 0}, {3, 3}}, false});
    o.Show({OverlayKind::Band, {{0, 0}, {3, 3}}, false});   // the same: no change
    EXPECT_EQ(o.Version(), v0 + 1);
    o.Hide();
    EXPECT_TRUE(o.Bounds().Empty());
}

TEST(ToolSwitch, RefusalsMemoryKindAndOptions) {
    tools::ToolBox box;
    EXPECT_EQ(box.Current(), -1);
    ASSERT_TRUE(box.Switch(1344));
    EXPECT_EQ(box.SelectionKind(), 4);
    ASSERT_EQ(box.Options().size(), 2u);
    EXPECT_STREQ(box.Options()[0].label, "포함한계치");
    EXPECT_STREQ(box.Options()[1].label, "경계퍼짐");
    box.Settings().SetWandTolerance(20);
    ASSERT_TRUE(box.Switch(1347));
    EXPECT_EQ(box.Previous(), 1344);
    EXPECT_EQ(box.SelectionKind(), 4);   // kept until another selection tool
    EXPECT_TRUE(box.Options().empty());
    ASSERT_TRUE(box.SwitchToPrevious());
    EXPECT_EQ(box.Current(), 1344);
    EXPECT_EQ(box.Settings().wandTolerance, 70);   // the wand starts again at 70

    ASSERT_TRUE(box.Switch(1342));
    ASSERT_EQ(box.Options().size(), 1u);
    EXPECT_STREQ(box.Options()[0].label, "경계퍼짐");
    EXPECT_EQ(box.SelectionKind(), 1);
    box.Settings().SetFill(3, 0);
    ASSERT_TRUE(box.Switch(1352));
    EXPECT_STREQ(box.Options()[0].label, "포함한계");
    EXPECT_EQ(box.Settings().fillTolerance, 10);

    // The path panel lets only the path, polygon and zoom tools through;
    // the free-transform panel only its own three.
    box.SetPathPanelShown(true);
    EXPECT_FALSE(box.Switch(1347));
    EXPECT_EQ(box.Current(), 1352);
    EXPECT_TRUE(box.Switch(1345));
    EXPECT_TRUE(box.Switch(5616));
    box.SetPathPanelShown(false);
    box.SetTransformPanelShown(true);
    EXPECT_FALSE(box.Switch(1342));
    EXPECT_TRUE(box.Switch(4251));
    box.SetTransformPanelShown(false);
    EXPECT_TRUE(box.Switch(-1));

    // Option values stay in range.
    box.SetOptionValue(tools::OptionField::Feather, 999);
    EXPECT_EQ(box.Settings().feather, 254);
    box.SetOptionValue(tools::OptionField::Spread, 0);
    EXPECT_EQ(box.Settings().brushSize, 1);
}

TEST(ToolSwitch, ListenerAndResetOfEveryWindow) {
    struct Listener : tools::ToolBoxListener {
        std::vector<std::pair<int, int>> changes;
        std::vector<int> closes;
        void ClosePanels(int t) override { closes.push_back(t); }
        void ToolChanged(int n, int o) override { changes.emplace_back(n, o); }
    } l;
    ToolsFixture f;
    tools::Workbench second(f.host.box, f.doc, f.host);
    f.host.box.SetListener(&l);
    ASSERT_TRUE(f.Choose(1356));
    f.Press(3, 3);
    f.Drag(10, 5);
    EXPECT_TRUE(f.bench.GetOverlay().Shown());
    EXPECT_TRUE(f.bench.Anchors().first.IsSet());
    second.Anchors().circleStart = {1, 1};
    ASSERT_TRUE(f.Choose(1342));
    // The switch drops the shape in progress in every window.
    EXPECT_FALSE(f.bench.GetOverlay().Shown());
    EXPECT_FALSE(f.bench.Anchors().first.IsSet());
    EXPECT_FALSE(second.Anchors().circleStart.IsSet());
    EXPECT_EQ(l.closes, (std::vector<int>{1356, 1342}));
    EXPECT_EQ(l.changes.back(), (std::pair<int, int>{1342, 1356}));
    f.host.box.SetListener(nullptr);
}

TEST(ToolTable, TextsCursorsAndWhatIsBuilt) {
    EXPECT_EQ(tools::StatusText(1344), "클릭지점과 같은 색상의 영역을 자동으로 선택");
    EXPECT_EQ(tools::StatusText(1347), "붓 방식으로 칠하기");
    EXPECT_EQ(tools::StatusText(4812), "");
    // Cursors while moving, as the tools report them.
    struct Want {
        int id, cursor;
    };
    ToolsFixture f;
    for (Want w : {Want{1342, tools::kCursorCross}, Want{1343, tools::kCursorDefault}, Want{1347, tools::kCursorBrush},
                   Want{4669, tools::kCursorBrush}, Want{1355, tools::kCursorEraser}, Want{1354, tools::kCursorHand},
                   Want{1345, tools::kCursorCross}, Want{3344, tools::kCursorPicker}, Want{1570, tools::kCursorMove}}) {
        ASSERT_TRUE(f.Choose(w.id));
        EXPECT_EQ(f.bench.Cursor(ToolsFixture::At(1, 1)), w.cursor) << w.id;
    }
    // While pressed: the spray's cross, the dot's 1110.
    ASSERT_TRUE(f.Choose(1350));
    f.Press(5, 5);
    EXPECT_EQ(f.bench.Cursor(ToolsFixture::At(5, 5)), tools::kCursorDot);
    f.Release(5, 5);
    // 1348 and 1351 have no behaviour.
    for (int id : {1348, 1351}) EXPECT_FALSE(tools::IsBuilt(id)) << id;
    for (int id : {1342, 4812, 1343, 1344, 1345, 3344, 1346, 1347, 4669, 1350, 1352, 1353, 1354, 1355, 1356, 1357,
                   1380, 3340, 1570, 1420, 2096, 1382, 4828, 4829, 4250, 4251, 4252, 5615, 5616, 5620, 5621})
        EXPECT_TRUE(tools::IsBuilt(id)) << id;
    EXPECT_EQ(tools::ToolForKey('b'), 1347);
    EXPECT_EQ(tools::ToolForKey('M'), 1342);
    EXPECT_EQ(tools::ToolForKey('1'), 0);
}

TEST(Workbench, DispatchRules) {
    ToolsFixture f;
    ASSERT_TRUE(f.Choose(1356));
    // A release without its press does nothing (no step, no overlay).
    f.bench.Release(ToolsFixture::At(10, 10));
    EXPECT_EQ(f.Journal().size(), 1u);
    // Every press stores the circle start and the move tool's last point.
    f.Press(7, 8);
    EXPECT_EQ(f.bench.Anchors().circleStart, (paint::ZPoint{7, 8}));
    EXPECT_EQ(f.bench.Anchors().moveLast, (paint::ZPoint{7, 8}));
    // A move to the same position is not a drag step.
    f.Drag(12, 8);
    const uint64_t v = f.bench.GetOverlay().Version();
    f.Drag(12, 8);
    EXPECT_EQ(f.bench.GetOverlay().Version(), v);
    // The overlay's change is reported as the tiles it covered before or
    // covers now, each once.
    f.bench.TakeDamage();
    f.Drag(29, 8);
    tools::Damage d = f.bench.TakeDamage();
    ASSERT_FALSE(d.full);
    ASSERT_EQ(d.rects.size(), 1u);
    EXPECT_EQ(d.rects[0], (tools::ZRect{0, 0, 64, 32}));
    f.Drag(20, 8);
    d = f.bench.TakeDamage();
    ASSERT_EQ(d.rects.size(), 1u);
    EXPECT_EQ(d.rects[0], (tools::ZRect{0, 0, 64, 32}));   // the squares left the second tile
    f.Release(20, 8);
    EXPECT_FALSE(f.bench.GetOverlay().Shown());   // hidden after every line
    // Zoom steps scale the anchors that are set.
    f.bench.Anchors().first = {10, 20};
    f.bench.ScaleAnchors(1.25);
    EXPECT_EQ(f.bench.Anchors().first, (paint::ZPoint{12, 25}));
    EXPECT_FALSE(f.bench.Anchors().second.IsSet());
}

TEST(CliSteps, ParsingClampingAndAnswers) {
    ToolsFixture f(20, 10);
    tools::Session s(f.host, f.doc);
    EXPECT_TRUE(tools::Session::IsStep("press"));
    EXPECT_FALSE(tools::Session::IsStep("wand"));
    for (const char* bad : {"press:1", "press:a,b", "press:1,2,3", "brush:31,1", "brush:5,2", "colour:FF00", "colour:GG0000",
                            "gradient:3,1", "fill:10,-1", "feather:300", "tool:57634", "tool:99999", "drag:1,2,shift"})
        EXPECT_THROW(s.Run(bad), std::invalid_argument) << bad;
    ASSERT_TRUE(s.Run("colour:12aBef"));
    EXPECT_EQ(f.host.box.Settings().colour, (paint::Rgb{0x12, 0xAB, 0xEF}));
    ASSERT_TRUE(s.Run("brush:30,0"));
    EXPECT_EQ(f.host.box.Settings().brushSize, 30);
    EXPECT_EQ(f.host.box.Settings().brushMode, 0);
    ASSERT_TRUE(s.Run("gradient:1,2"));
    EXPECT_EQ(f.host.box.Settings().gradientMode, 1);
    EXPECT_EQ(f.host.box.Settings().gradientProfile, 2);
    ASSERT_TRUE(s.Run("fill:40,3"));
    EXPECT_EQ(f.host.box.Settings().fillTolerance, 40);
    EXPECT_EQ(f.host.box.Settings().feather, 3);
    // A tool choice goes through the command table (a bare id does the same).
    ASSERT_TRUE(s.Run("tool:1342"));
    EXPECT_EQ(f.host.box.Current(), 1342);
    ASSERT_TRUE(commands::All().Find(1356)->run(f.doc, {}));
    EXPECT_EQ(f.host.box.Current(), 1356);
    // Points outside the picture are clamped to its edge, as the view does.
    ASSERT_TRUE(s.Run("tool:1342"));
    ASSERT_TRUE(s.Run("feather:0"));
    ASSERT_TRUE(s.Run("press:-5,-7"));
    ASSERT_TRUE(s.Run("drag:50,3"));
    ASSERT_TRUE(s.Run("release:50,3"));
    EXPECT_EQ(s.Bench().GetOverlay().Shown(), false);
    EXPECT_EQ(f.Selected().size(), size_t(20 * 4));
    EXPECT_EQ(tools::OneLine("현재는 [글] 혹은 [말풍선] 레이어. \n\r레이어창에서 다른 레이어 선택"),
              "현재는 [글] 혹은 [말풍선] 레이어. 레이어창에서 다른 레이어 선택");
    EXPECT_EQ(tools::OneLine("a\nb\r\nc"), "a b c");
}
