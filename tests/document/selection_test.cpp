// Selection: shape rules against masks worked out by hand, the wand, colour
// range, invert, clear, fitting, crop to a new document, the named steps.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "CVexoDoc.h"
#include "commands.h"
#include "selection.h"
#include "test_support.h"

namespace {

// Mask as text, top line = stored row 0.
std::string Pic(const std::vector<uint8_t>& m, int w, int h) {
    std::string s;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) s += m[size_t(y * w + x)] ? '#' : '.';
        s += '\n';
    }
    return s;
}

TEST(SelectionShapes, CircleFromTwoPoints) {
    std::vector<uint8_t> m(7 * 5, 0);
    selection::RasterCircle(m, 7, 5, {1, 2}, {5, 2});   // centre (3,2), radius 2 (+ half a pixel)
    EXPECT_EQ(Pic(m, 7, 5),
              "..###..\n"
              ".#####.\n"
              ".#####.\n"
              ".#####.\n"
              "..###..\n");
    std::vector<uint8_t> one(9, 0);
    selection::RasterCircle(one, 3, 3, {1, 1}, {1, 1});
    EXPECT_EQ(Pic(one, 3, 3), "...\n.#.\n...\n");
}

TEST(SelectionShapes, RectanglePolygonAndLasso) {
    std::vector<uint8_t> r(5 * 4, 0);
    selection::RasterRectangle(r, 5, 4, {3, 2}, {1, -7});   // corners in any order, clipped
    EXPECT_EQ(Pic(r, 5, 4), ".###.\n.###.\n.###.\n.....\n");

    std::vector<uint8_t> t(7 * 7, 0);
    selection::RasterPolygon(t, 7, 7, {{0, 0}, {6, 0}, {0, 6}});   // x + y <= 6
    EXPECT_EQ(Pic(t, 7, 7),
              "#######\n"
              "######.\n"
              "#####..\n"
              "####...\n"
              "###....\n"
              "##.....\n"
              "#......\n");

    std::vector<uint8_t> line(7 * 3, 0);
    selection::RasterPolygon(line, 7, 3, {{1, 1}, {5, 1}});   // a thin lasso keeps its trace
    EXPECT_EQ(Pic(line, 7, 3), ".......\n.#####.\n.......\n");

    // A square with a concave notch, partly outside the mask.
    std::vector<uint8_t> n(6 * 6, 0);
    selection::RasterPolygon(n, 6, 6, {{-2, 0}, {4, 0}, {4, 4}, {2, 2}, {-2, 4}});
    EXPECT_EQ(Pic(n, 6, 6),
              "#####.\n"
              "#####.\n"
              "#####.\n"
              "##.##.\n"
              "....#.\n"
              "......\n");
}

TEST(SelectionShapes, FeatherWidensByADisc) {
    for (int f : {1, 2}) {
        std::vector<uint8_t> m(7 * 7, 0);
        m[3 * 7 + 3] = 1;
        selection::Feather(m, 7, 7, f);
        if (f == 1)
            EXPECT_EQ(Pic(m, 7, 7), ".......\n.......\n...#...\n..###..\n...#...\n.......\n.......\n");
        else
            EXPECT_EQ(Pic(m, 7, 7), ".......\n...#...\n..###..\n.#####.\n..###..\n...#...\n.......\n");
    }
    std::vector<uint8_t> edge(4 * 2, 0);
    edge[0] = 1;
    selection::Feather(edge, 4, 2, 300);   // clipped to the mask, width capped
    EXPECT_EQ(Pic(edge, 4, 2), "####\n####\n");
}

struct SelectionFixture : ::testing::Test {
    testsupport::TempDir dir;
    HeadlessHost host;
    CVexoDoc doc{&host};
    void SetUp() override {
        host.echoMessages = false;
        host.journalFolder = dir.Path() + "/";
        ASSERT_TRUE(doc.NewImage(6, 4));
    }
    void SetPixel(int slot, int col, int row, uint8_t b, uint8_t g, uint8_t r) {
        uint8_t* p = doc.Layer(slot).PixelRow(row) + col * 3;
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
    // Left half dark (one pixel a little off), right half light.
    void TwoRegions() {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 6; ++c) {
                const uint8_t v = c < 3 ? 10 : 200;
                SetPixel(0, c, r, v, v, v);
            }
        SetPixel(0, 1, 1, 10, 10, 20);   // distance 10 from the dark colour
    }
    std::string Mask() const { return Pic(doc.live.selection.mask, doc.live.selection.width, doc.live.selection.height); }
};

TEST_F(SelectionFixture, RectangleOnAShorterLayerUsesStoredRows) {
    // Canvas 10 x 8; layer 6 x 4 at x 2, y 1: its top row is canvas row
    // 8 - 4 + 1 = 5 from the top, its stored row 3.
    doc.live.canvas.width = 10;
    doc.live.canvas.height = 8;
    ASSERT_TRUE(doc.SetupLayerBuffers(4, 6, u"", kTypeBMP, 24, 0, 255, 0, 2, 1, 2, -1, -1, 1, 1, LayerImage, -1, false));
    doc.live.canvas.width = 10;
    doc.live.canvas.height = 8;
    int col, row;
    doc.CanvasToLayer(0, 3, 5, col, row);
    EXPECT_EQ(col, 1);
    EXPECT_EQ(row, 3);
    ASSERT_TRUE(doc.SelectShape(selection::kShapeRectangle, {{3, 5}, {4, 6}}, 0));
    EXPECT_TRUE(doc.selectionActive);
    EXPECT_EQ(host.timerMs, 400);
    const SelectionMask& sel = doc.live.selection;
    EXPECT_EQ(sel.width, 6);
    EXPECT_EQ(sel.height, 4);
    EXPECT_EQ(sel.x, 2);
    EXPECT_EQ(sel.y, 1);
    EXPECT_EQ(Mask(), "......\n......\n.##...\n.##...\n");
    // The named step does the same with picture pixels.
    doc.ClearSelection();
    ASSERT_TRUE((*commands::All().FindNamed("rect"))(doc, "4,6,3,5"));
    EXPECT_EQ(Mask(), "......\n......\n.##...\n.##...\n");
}

TEST_F(SelectionFixture, MagicWandGrowsFromTheSeed) {
    TwoRegions();
    // Canvas (0, 0) is layer column 0, stored row 3.
    ASSERT_TRUE(doc.MagicWand(0, 0, 70, false));
    EXPECT_TRUE(doc.selectionActive);
    EXPECT_EQ(Mask(), "###...\n###...\n###...\n###...\n");
    ASSERT_TRUE(doc.MagicWand(0, 0, 10, false));   // strictly below the tolerance
    EXPECT_EQ(Mask(), "###...\n#.#...\n###...\n###...\n");
    ASSERT_TRUE(doc.MagicWand(5, 3, 10, true));    // add the right half
    EXPECT_EQ(Mask(), "######\n#.####\n######\n######\n");
    // Transparent pixels stop the growth; the seed itself is always taken.
    for (int r = 0; r < 4; ++r) doc.Layer(0).AlphaRow(r)[1] = 0;
    ASSERT_TRUE(doc.MagicWand(0, 0, 70, false));
    EXPECT_EQ(Mask(), "#.....\n#.....\n#.....\n#.....\n");
    // A transparent seed still spreads to its opaque neighbours.
    ASSERT_TRUE(doc.MagicWand(1, 0, 70, false));
    EXPECT_EQ(Mask(), "#.#...\n#.#...\n#.#...\n###...\n");
}

TEST_F(SelectionFixture, MagicWandOutsideTheLayerEnlargesIt) {
    TwoRegions();
    ASSERT_TRUE(doc.MagicWand(-3, 0, 70, false));
    const LayerRecord& l = doc.Layer(0);
    EXPECT_EQ(l.width, 6 + 3 + 15);
    EXPECT_EQ(l.x, -18);
    EXPECT_EQ(l.height, 4);
    EXPECT_EQ(l.PixelRow(0)[18 * 3], 10);    // old pixels kept in place
    EXPECT_EQ(l.AlphaRow(0)[0], 0);          // new ones transparent
    EXPECT_EQ(doc.live.selection.width, 24);
    int count = 0;
    for (uint8_t b : doc.live.selection.mask) count += b;
    EXPECT_EQ(count, 1);
    EXPECT_EQ(doc.live.selection.mask[3 * 24 + 15], 1);
    // Below the canvas bottom: rows are added at the start of the stored order.
    ASSERT_TRUE(doc.MagicWand(0, 5, 70, false));
    EXPECT_EQ(doc.Layer(0).height, 4 + 2 + 15);
    EXPECT_EQ(doc.Layer(0).y, 17);
    EXPECT_EQ(doc.Layer(0).PixelRow(17)[18 * 3], 10);
}

TEST_F(SelectionFixture, ColourRangeCountsAndReports) {
    TwoRegions();
    EXPECT_EQ(doc.SelectColourRange(PackBGR(10, 10, 10), 10, 0), 12);
    EXPECT_EQ(host.status, "픽셀수 12   (50.00)%");
    EXPECT_EQ(doc.SelectColourRange(PackBGR(10, 10, 10), 9, 0), 11);
    EXPECT_EQ(Mask(), "###...\n#.#...\n###...\n###...\n");
    EXPECT_EQ(doc.SelectColourRange(PackBGR(200, 200, 200), 0, 1), 12);   // added
    EXPECT_EQ(Mask(), "######\n#.####\n######\n######\n");
    ASSERT_TRUE((*commands::All().FindNamed("range"))(doc, "c8c8c8"));
    EXPECT_EQ(Mask(), "...###\n...###\n...###\n...###\n");
    ASSERT_TRUE((*commands::All().FindNamed("range"))(doc, "140A0A,0"));   // red 20, green 10, blue 10
    EXPECT_EQ(Mask(), "......\n.#....\n......\n......\n");
}

TEST_F(SelectionFixture, InvertClearAndFit) {
    TwoRegions();
    ASSERT_TRUE(doc.MagicWand(0, 0, 70, false));
    const auto before = doc.live.selection.mask;
    ASSERT_TRUE(commands::All().Find(2058)->run(doc, {}));
    EXPECT_TRUE(doc.selectionInverted);
    EXPECT_EQ(Mask(), "...###\n...###\n...###\n...###\n");
    doc.InvertSelection();
    EXPECT_FALSE(doc.selectionInverted);
    EXPECT_EQ(doc.live.selection.mask, before);
    // Shape bytes still being drawn become selected when finished.
    doc.live.selection.mask[5] = 2;
    doc.FinishSelectionShape();
    EXPECT_EQ(doc.live.selection.mask[5], 1);

    // Fitting an active selection to a layer placed one column right and
    // one stored row up keeps the bytes where the rectangles overlap.
    ASSERT_TRUE(doc.InsertLayer(-1, 0));
    LayerRecord& l = doc.Layer(doc.currentLayer);
    l.x = 1;
    l.y = 1;
    doc.FitSelectionToLayer(doc.currentLayer);
    EXPECT_EQ(doc.live.selection.x, 1);
    EXPECT_EQ(Mask(), "......\n##..#.\n##....\n##....\n");

    ASSERT_TRUE(commands::All().Find(2060)->run(doc, {}));
    EXPECT_FALSE(doc.selectionActive);
    EXPECT_EQ(Mask(), "######\n######\n######\n######\n");
    EXPECT_EQ(host.currentTool, -1);

    SelectionMask& sel = doc.live.selection;
    sel.width = 0;
    sel.height = 0;
    doc.InvertSelection();   // nothing to invert: only the flag
    EXPECT_TRUE(doc.selectionInverted);
}

TEST_F(SelectionFixture, CropToNewDocumentThroughTheClipboard) {
    TwoRegions();
    ASSERT_FALSE(commands::All().Find(1482)->run(doc, {}));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "영역선택 후에 시도하십시요");
    EXPECT_TRUE(host.newDocuments.empty());

    // Picture rows 1..2, columns 2..3: a dark and a light column.
    ASSERT_TRUE(doc.SelectShape(selection::kShapeRectangle, {{2, 1}, {3, 2}}, 0));
    ASSERT_TRUE(doc.CropToNewDocument());
    ASSERT_GE(host.clipboard.size(), 40u);
    BitmapInfoHeader hdr;
    std::memcpy(&hdr, host.clipboard.data(), sizeof hdr);
    EXPECT_EQ(hdr.width, 2);
    EXPECT_EQ(hdr.height, 2);
    EXPECT_EQ(hdr.bitCount, 24);
    ASSERT_EQ(host.newDocuments.size(), 1u);
    EXPECT_EQ(host.newDocumentTitles[0], "이름없음");
    CVexoDoc& nd = *host.newDocuments[0];
    EXPECT_EQ(nd.live.canvas.width, 2);
    EXPECT_EQ(nd.live.canvas.height, 2);
    EXPECT_EQ(nd.LayerCount(), 1);
    const LayerRecord& l = nd.Layer(nd.headLayer);
    EXPECT_EQ(l.kind, LayerImage);
    for (int r = 0; r < 2; ++r) {
        EXPECT_EQ(l.PixelRow(r)[0], 10);
        EXPECT_EQ(l.PixelRow(r)[3], 200);
        EXPECT_EQ(l.AlphaRow(r)[1], 255);
    }
    EXPECT_EQ(nd.undoPos, 0);   // its journal started
    EXPECT_NE(nd.docSerial, doc.docSerial);
}

TEST_F(SelectionFixture, TextLayersAndMalformedStepsAreRefused) {
    doc.Layer(0).kind = LayerText;
    EXPECT_FALSE(doc.MagicWand(0, 0, 70, false));
    EXPECT_EQ(doc.SelectColourRange(0, 10, 0), -1);
    EXPECT_FALSE(doc.SelectShape(selection::kShapeEllipse, {{0, 0}, {2, 2}}, 0));
    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[0], doctext::kTextLayerRefused);
    doc.Layer(0).kind = LayerImage;

    const auto& wand = *commands::All().FindNamed("wand");
    const auto& rect = *commands::All().FindNamed("rect");
    const auto& range = *commands::All().FindNamed("range");
    EXPECT_THROW(wand(doc, "1"), std::invalid_argument);
    EXPECT_THROW(wand(doc, "1,x"), std::invalid_argument);
    EXPECT_THROW(wand(doc, "1,2,3,4"), std::invalid_argument);
    EXPECT_THROW(rect(doc, "1,2,3"), std::invalid_argument);
    EXPECT_THROW(rect(doc, "1,2,3,99999999999"), std::invalid_argument);
    EXPECT_THROW(range(doc, "12345"), std::invalid_argument);
    EXPECT_THROW(range(doc, "GG0000"), std::invalid_argument);
    EXPECT_THROW(range(doc, "000000,"), std::invalid_argument);
    EXPECT_TRUE(wand(doc, "2,1,5"));
    // Far-away corners are clipped, not walked.
    EXPECT_TRUE(rect(doc, "-2000000000,-2000000000,2000000000,2000000000"));
    EXPECT_EQ(Mask(), "######\n######\n######\n######\n");
}

}  // namespace
