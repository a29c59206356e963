// Photo frames: the style 0 shading, redrawing from the saved state, keep
// with undo and cancel.
#include <gtest/gtest.h>

#include <vector>

#include "CVexoDoc.h"
#include "commands.h"
#include "dlg_frame.h"
#include "journaled_doc.h"
#include "test_support.h"
#include "undo_journal.h"

namespace {

struct FrameFixture : JournaledDocTest {
    void SetUp() override { StartJournal(100, 80); }
    int FrameLayer() const { return doc.FindLayerByName(dlg::kFrameLayerName); }
    // Canvas pixel (x, y from the top) of the frame layer.
    const uint8_t* Px(int x, int y) const {
        int col, row;
        doc.CanvasToLayer(FrameLayer(), x, y, col, row);
        return doc.Layer(FrameLayer()).PixelRow(row) + 3 * col;
    }
    uint8_t AlphaAt(int x, int y) const {
        int col, row;
        doc.CanvasToLayer(FrameLayer(), x, y, col, row);
        return doc.Layer(FrameLayer()).AlphaRow(row)[col];
    }
};

}  // namespace

TEST_F(FrameFixture, StyleZeroShadesFromBlackToColour) {
    const std::vector<uint8_t> base(doc.Layer(0).pixels.get(), doc.Layer(0).pixels.get() + doc.Layer(0).pixelSize);
    ASSERT_TRUE((*commands::All().FindNamed("frame"))(doc, "0,30,FF0000"));
    ASSERT_NE(FrameLayer(), kNoLayer);
    EXPECT_EQ(doc.LayerCount(), 2);
    EXPECT_EQ(Utf16ToUtf8(doc.steps[size_t(doc.undoPos)].label), "사진틀 넣기");
    EXPECT_EQ(Px(50, 0)[2], 0);      // outer row black
    EXPECT_EQ(AlphaAt(50, 0), 255);
    EXPECT_EQ(Px(50, 29)[2], 246);   // 29 / 30 of 255
    EXPECT_EQ(Px(50, 29)[1], 0);
    EXPECT_EQ(Px(99, 40)[2], 0);     // right side, outer column
    EXPECT_EQ(Px(70, 40)[2], 246);   // right side, inner column
    EXPECT_EQ(Px(50, 79 - 29)[2], 246);
    EXPECT_EQ(AlphaAt(50, 30), 0);   // inside the frame: untouched
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.LayerCount(), 1);
    EXPECT_EQ(FrameLayer(), kNoLayer);
    EXPECT_EQ(std::vector<uint8_t>(doc.Layer(0).pixels.get(), doc.Layer(0).pixels.get() + doc.Layer(0).pixelSize),
              base);
}

TEST_F(FrameFixture, ChangesRedrawFromSavedStateAndCancelRemovesLayer) {
    dlg::PhotoFrameModel m;
    m.first = {0, 0, 200};
    ASSERT_TRUE(m.Open(doc));
    EXPECT_EQ(AlphaAt(50, 20), 255);
    EXPECT_TRUE(m.SetThickness(10));
    EXPECT_EQ(AlphaAt(50, 20), 0);   // no trace of the wider frame
    EXPECT_EQ(AlphaAt(50, 9), 255);
    EXPECT_EQ(Px(50, 9)[0], 180);    // 9 / 10 of 200 in blue
    EXPECT_FALSE(m.SetThickness(301));
    m.thickness = 6;
    m.Spin(1);
    m.Spin(1);
    EXPECT_EQ(m.thickness, 5);
    m.Spin(0);
    EXPECT_EQ(m.thickness, 6);
    // Style 3: corners at half the colour, the middle of a side at full.
    m.SetStyle(3);
    EXPECT_EQ(Px(0, 0)[0], 100);
    EXPECT_EQ(Px(50, 0)[0], 200);
    // Style 1: the right side brightened (1.3 limited to 255), the left dark.
    m.SetStyle(1);
    EXPECT_EQ(Px(0, 40)[0], 0);
    EXPECT_EQ(Px(99, 40)[0], 255);
    EXPECT_EQ(doc.LayerCount(), 2);
    m.Cancel();
    EXPECT_EQ(doc.LayerCount(), 1);
    EXPECT_EQ(FrameLayer(), kNoLayer);
}

TEST_F(FrameFixture, StepArguments) {
    const auto* step = commands::All().FindNamed("frame");
    EXPECT_THROW((*step)(doc, "4,30,FF0000"), std::invalid_argument);
    EXPECT_THROW((*step)(doc, "0,0,FF0000"), std::invalid_argument);
    EXPECT_THROW((*step)(doc, "0,30,red"), std::invalid_argument);
    EXPECT_THROW((*step)(doc, "0,30"), std::invalid_argument);
    ASSERT_TRUE((*step)(doc, "2,8,00FF00,0000FF"));
    EXPECT_EQ(Px(50, 1)[0], 255);   // odd row 1: tent in the middle of the top side, blue
}
