// The selection tools driven by synthetic events: the masks they leave,
// the double-click rules, Shift with the wand, the polygon by presses and a
// double click, the text-layer guard, and the commands that need a
// selection working from what the tools made.
#include <gtest/gtest.h>

#include "selection.h"
#include "tools_fixture.h"

namespace {

// The canvas rectangle [x0, x1] x [y0, y1] as a mask picture.
std::string RectMask(int w, int h, int x0, int y0, int x1, int y1) {
    std::string s;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) s += x >= x0 && x <= x1 && y >= y0 && y <= y1 ? '#' : '.';
        s += '\n';
    }
    return s;
}

}  // namespace

TEST(SelectionTools, RectangleCircleAndClicks) {
    ToolsFixture f(12, 8);
    ASSERT_TRUE(f.Choose(1342));
    f.Press(2, 1);
    EXPECT_TRUE(f.doc.selectionDrag);   // being formed
    f.Drag(5, 4);
    EXPECT_TRUE(f.bench.GetOverlay().Shown());
    f.Release(6, 5);   // the band ends where the button is released
    EXPECT_FALSE(f.bench.GetOverlay().Shown());
    EXPECT_TRUE(f.doc.selectionActive);
    EXPECT_FALSE(f.doc.selectionDrag);
    EXPECT_EQ(f.Mask(), RectMask(12, 8, 2, 1, 6, 5));
    EXPECT_EQ(f.host.timerMs, 400);   // the outline animation runs

    // A click (no drag) clears the selection and makes none.
    f.Press(9, 2);
    f.Release(9, 2);
    EXPECT_FALSE(f.doc.selectionActive);

    // Feather widens the shape by a disc.
    f.host.box.Settings().SetFeather(1);
    f.DragLine(4, 3, 6, 4);
    EXPECT_EQ(f.Selected().size(), size_t(3 * 2 + 2 * 3 + 2 * 2));
    // A double click with a selection removes it.
    f.DClick(5, 3);
    EXPECT_FALSE(f.doc.selectionActive);

    // The circle tool: centre the midpoint, radius half the distance.
    f.host.box.Settings().SetFeather(0);
    ASSERT_TRUE(f.Choose(4812));
    f.DragLine(1, 3, 5, 3);
    std::vector<uint8_t> want(12 * 8, 0);
    selection::RasterCircle(want, 12, 8, {1, 4}, {5, 4});   // stored rows: 8 - 3 - 1
    const SelectionMask& s = f.doc.live.selection;
    ASSERT_EQ(s.width, 12);
    EXPECT_EQ(s.mask, want);
    f.DClick(3, 3);
    EXPECT_FALSE(f.doc.selectionActive);
}

TEST(SelectionTools, LassoAndPolygon) {
    ToolsFixture f(10, 10);
    ASSERT_TRUE(f.Choose(1343));
    f.Press(1, 1);
    f.Drag(8, 1);
    f.Drag(8, 8);
    f.Release(1, 8);
    ASSERT_TRUE(f.doc.selectionActive);
    EXPECT_EQ(f.Mask(), RectMask(10, 10, 1, 1, 8, 8));

    // Polygon: presses place corners; the double click adds its point and
    // closes the shape.
    ASSERT_TRUE(f.Choose(1345));
    f.Press(0, 0);
    EXPECT_FALSE(f.doc.selectionActive);   // the new polygon replaced it
    f.bench.Release(ToolsFixture::At(0, 0));
    f.Press(9, 0);
    f.bench.Release(ToolsFixture::At(9, 0));
    f.bench.Move(ToolsFixture::At(5, 5), false);   // the rubber edge follows the mouse
    EXPECT_EQ(f.bench.GetOverlay().Items()[0].points.size(), 3u);
    f.Press(9, 9);
    f.bench.Release(ToolsFixture::At(9, 9));
    f.DClick(9, 9);
    ASSERT_TRUE(f.doc.selectionActive);
    EXPECT_FALSE(f.bench.GetOverlay().Shown());
    // The triangle above the diagonal from (0,0) to (9,9).
    std::string want;
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) want += x >= y ? '#' : '.';
        want += '\n';
    }
    EXPECT_EQ(f.Mask(), want);
    // A zoom step while placing corners: they follow the zoom.
    ToolsFixture z(20, 20);
    ASSERT_TRUE(z.Choose(1345));
    for (auto [x, y] : {std::pair{2, 2}, {10, 2}}) {
        z.Press(x, y);
        z.bench.Release(ToolsFixture::At(x, y));
    }
    z.doc.zoom = 2.0;
    z.bench.ScaleAnchors(2.0);
    z.Press(20, 20);
    z.bench.Release(ToolsFixture::At(20, 20));
    z.DClick(20, 20);
    ASSERT_TRUE(z.doc.selectionActive);
    std::string tri;   // corners (2,2), (10,2), (10,10) in picture pixels
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) tri += x >= 2 && x <= 10 && y >= 2 && y <= 10 && x >= y ? '#' : '.';
        tri += '\n';
    }
    EXPECT_EQ(z.Mask(), tri);

    // A double click on it (its first click cleared it) leaves no selection.
    f.Press(4, 4);
    f.bench.Release(ToolsFixture::At(4, 4));
    f.DClick(4, 4);
    EXPECT_FALSE(f.doc.selectionActive);
    EXPECT_FALSE(f.doc.selectionDrag);
}

TEST(SelectionTools, WandShiftAddsDoubleClickClears) {
    ToolsFixture f(9, 3);
    // Three stripes: red columns 0-2, green 3-5, red 6-8.
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 9; ++x) {
            if (x / 3 == 1)
                f.SetPixel(x, y, 0, 200, 0);
            else
                f.SetPixel(x, y, 200, 0, 0);
        }
    ASSERT_TRUE(f.Choose(1344));
    f.Press(1, 1);
    f.bench.Release(ToolsFixture::At(1, 1));
    EXPECT_EQ(f.Mask(), "###......\n###......\n###......\n");
    f.Press(7, 1);   // without Shift: a new selection
    f.bench.Release(ToolsFixture::At(7, 1));
    EXPECT_EQ(f.Mask(), "......###\n......###\n......###\n");
    f.Press(4, 0, true);   // with Shift: added
    f.bench.Release(ToolsFixture::At(4, 0));
    EXPECT_EQ(f.Mask(), "...######\n...######\n...######\n");
    f.DClick(4, 0, true);   // Shift held: the double click keeps it
    EXPECT_TRUE(f.doc.selectionActive);
    f.DClick(4, 0);
    EXPECT_FALSE(f.doc.selectionActive);
    // The tolerance of the option bar decides how far the colour may differ.
    f.host.box.Settings().SetWandTolerance(600);
    f.Press(0, 0);
    EXPECT_EQ(f.Selected().size(), size_t(27));
}

TEST(SelectionTools, ColourRangeAtAPointReportsItsCount) {
    ToolsFixture f(4, 3);
    f.SetPixel(0, 0, 10, 20, 30);
    f.SetPixel(3, 2, 12, 22, 30);
    ASSERT_TRUE(f.Choose(3344));
    f.Press(0, 0);
    EXPECT_TRUE(f.doc.selectionActive);
    EXPECT_EQ(f.Selected().size(), 2u);
    ASSERT_FALSE(f.host.reports.empty());
    EXPECT_EQ(f.host.reports.back(), "픽셀수 2   (16.67)%");
    // With a handler (the colour-range dialog) the press only gives the colour.
    uint32_t picked = 0;
    f.host.box.SetRangePickHandler([&](CVexoDoc&, uint32_t c) { picked = c; });
    f.Press(3, 2);
    EXPECT_EQ(picked, PackBGR(30, 22, 12));
}

TEST(SelectionTools, TextLayerGuardKeepsThePreviousTool) {
    ToolsFixture f;
    tools::Session s(f.host, f.doc);
    ASSERT_TRUE(s.Run("tool:1347"));
    f.doc.Layer(f.doc.currentLayer).kind = LayerText;
    for (const char* step : {"tool:1342", "tool:1343", "tool:1344", "tool:1345", "tool:1356", "tool:1352", "tool:3344"}) {
        f.host.messages.clear();
        EXPECT_FALSE(s.Run(step)) << step;
        ASSERT_EQ(f.host.messages.size(), 1u) << step;
        EXPECT_EQ(f.host.messages[0], doctext::kTextLayerRefused);
        EXPECT_EQ(f.host.box.Current(), 1347);
    }
    f.doc.Layer(f.doc.currentLayer).kind = LayerImage;
}

TEST(SelectionTools, CropAndTheCommandsThatNeedASelection) {
    ToolsFixture f(10, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x) f.SetPixel(x, y, uint8_t(x * 20), uint8_t(y * 40), 7);
    // Crop without a selection: the message, no document.
    ASSERT_FALSE(commands::All().Find(1482)->run(f.doc, {}));
    EXPECT_EQ(f.host.messages.back(), "영역선택 후에 시도하십시요");
    EXPECT_TRUE(f.host.newDocuments.empty());
    ASSERT_TRUE(f.Choose(1342));
    f.DragLine(2, 1, 5, 3);
    ASSERT_TRUE(commands::All().Find(1482)->run(f.doc, {}));
    ASSERT_EQ(f.host.newDocuments.size(), 1u);
    CVexoDoc& crop = *f.host.newDocuments[0];
    ASSERT_EQ(crop.live.canvas.width, 4);
    ASSERT_EQ(crop.live.canvas.height, 3);
    const LayerRecord& l = crop.Layer(crop.headLayer);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const uint8_t* p = l.PixelRow(2 - y) + 3 * x;
            EXPECT_EQ(p[2], (x + 2) * 20);
            EXPECT_EQ(p[1], (y + 1) * 40);
        }
    // Invert makes the rest selected; clear (2060) ends the selection and the tool.
    ASSERT_TRUE(commands::All().Find(2058)->run(f.doc, {}));
    EXPECT_EQ(f.Selected().size(), size_t(60 - 12));
    ASSERT_TRUE(commands::All().Find(2060)->run(f.doc, {}));
    EXPECT_FALSE(f.doc.selectionActive);
    EXPECT_EQ(f.host.box.Current(), -1);
}
