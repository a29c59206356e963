// Image size and canvas size: the dialog rules, the operations and their
// undo steps.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "CVexoDoc.h"
#include "commands.h"
#include "dlg_geometry.h"
#include "test_support.h"
#include "undo_journal.h"

namespace {

struct GeometryFixture : ::testing::Test {
    testsupport::TempDir dir;
    HeadlessHost host;
    CVexoDoc doc{&host};

    void Start(int w, int h) {
        host.echoMessages = false;
        host.journalFolder = dir.Path() + "/";
        ASSERT_TRUE(doc.NewImage(w, h));
        // A pattern that tells every pixel apart.
        LayerRecord& L = doc.Layer(0);
        for (int r = 0; r < L.height; ++r)
            for (int c = 0; c < L.width; ++c) {
                uint8_t* p = L.PixelRow(r) + 3 * c;
                p[0] = uint8_t(c), p[1] = uint8_t(r), p[2] = uint8_t(c * 7 + r);
                L.AlphaRow(r)[c] = uint8_t(200 + (c + r) % 50);
            }
        ASSERT_TRUE(doc.RecordUndoStep(u"initial state", UndoLayerChanged, -1));
    }
    std::vector<uint8_t> Bytes(int slot) const {
        const LayerRecord& L = doc.Layer(slot);
        std::vector<uint8_t> v(L.pixels.get(), L.pixels.get() + L.pixelSize);
        v.insert(v.end(), L.alpha.get(), L.alpha.get() + L.planeSize);
        return v;
    }
};

}  // namespace

TEST(ImageSizeModel, ProportionalRulesAndPercents) {
    dlg::ImageSizeModel m;
    m.Init(400, 300, 72);
    m.SetWidth(200);
    EXPECT_EQ(m.height, 150);
    EXPECT_EQ(m.percentX, 50);
    EXPECT_EQ(m.percentY, 50);
    m.SetHeight(60);
    EXPECT_EQ(m.width, 80);
    EXPECT_EQ(m.percentX, 20);

    m.Init(100, 100, 72);
    m.SetWidth(33);
    EXPECT_EQ(m.percentX, 33);
    EXPECT_EQ(m.percentY, 33);
    m.SetPercentX(0);   // never below 1
    EXPECT_EQ(m.percentX, 1);
    EXPECT_EQ(m.width, 1);
    EXPECT_EQ(m.height, 1);

    // The toggle resets every box, then turns proportions off.
    m.ResetAndToggle();
    EXPECT_FALSE(m.keepProportions);
    EXPECT_EQ(m.width, 100);
    EXPECT_EQ(m.percentX, 100);
    m.SetWidth(200);
    m.SetHeight(100);
    EXPECT_EQ(m.percentX, 200);
    EXPECT_EQ(m.percentY, 100);
    m.SetPercentX(150);
    EXPECT_EQ(m.width, 150);
    EXPECT_EQ(m.height, 100);
    m.ResetAndToggle();
    EXPECT_TRUE(m.keepProportions);
}

TEST(ImageSizeModel, PrintedSizeAndResolution) {
    dlg::ImageSizeModel m;
    m.Init(300, 150, 150);
    EXPECT_EQ(m.PrintedText(m.printWidth), "2.000");
    EXPECT_EQ(m.PrintedText(m.printHeight), "1.000");
    m.SetPrinted(2.0, 1.0, 150);
    EXPECT_EQ(m.width, 300);
    m.SetPrinted(2.5, 1.0, 100);
    EXPECT_EQ(m.width, 250);
    EXPECT_EQ(m.height, 100);
    // Resolution up: printed size at 101 dpi, then the width rule (height follows).
    m.Init(300, 150, 150);
    m.StepDpi(1);
    EXPECT_EQ(m.dpi, 151);
    EXPECT_EQ(m.width, 302);
    EXPECT_EQ(m.height, 151);
    m.StepPrintWidth(-5);   // never below one inch
    EXPECT_EQ(m.printWidth, 1.0);
    EXPECT_EQ(m.width, 151);
}

TEST_F(GeometryFixture, ResizeScalesLayersTextAndUndoesExactly) {
    Start(100, 100);
    const std::vector<uint8_t> before = Bytes(0);
    // A second layer at 10, 10 of 50 x 50, and a text layer record.
    ASSERT_TRUE(doc.InsertLayer(-1, 0));
    ASSERT_EQ(doc.currentLayer, 1);
    ASSERT_TRUE(doc.SetupLayerBuffers(50, 50, u"작은", 1, 24, 0, 255, 1, 10, 10, 2, -1, -1, 0, 0, 0, -1, false));
    ASSERT_TRUE(doc.InsertLayer(-1, 1));
    ASSERT_EQ(doc.currentLayer, 2);
    ASSERT_TRUE(doc.SetupLayerBuffers(20, 40, u"글", 1, 24, 0, 255, 2, 4, 8, 2, -1, -1, 0, 0, LayerText, -1, false));
    // Setting a layer up moves the canvas to its size: put the canvas back.
    CanvasInfo& c = doc.live.canvas;
    c.width = c.height = 100;
    c.canvasPixelSize = int32_t(LayerStride(100, 24) * 100);
    c.canvasPlaneSize = 100 * 100;
    doc.Layer(2).fontSize = 20;
    doc.Layer(2).textOriginX = 3;
    doc.Layer(2).textOriginY = 5;
    doc.currentLayer = 0;
    ASSERT_TRUE(doc.RecordUndoStep(u"layers", UndoLinksChanged, 0));

    ASSERT_TRUE(dlg::ResizeDocument(doc, 300, 200, 100));
    EXPECT_EQ(doc.live.canvas.width, 200);
    EXPECT_EQ(doc.live.canvas.height, 100);
    EXPECT_EQ(doc.image.info.xDpi, 300);
    EXPECT_EQ(doc.Layer(1).x, 20);
    EXPECT_EQ(doc.Layer(1).y, 10);
    EXPECT_EQ(doc.Layer(1).width, 100);
    EXPECT_EQ(doc.Layer(1).height, 50);
    EXPECT_EQ(doc.Layer(2).fontSize, 20);
    EXPECT_EQ(doc.Layer(2).textOriginX, 6);
    EXPECT_EQ(doc.Layer(2).width, 80);
    EXPECT_EQ(Utf16ToUtf8(doc.steps[size_t(doc.undoPos)].label), "이미지크기");

    // Half the width, double the height: the font takes the smaller ratio.
    ASSERT_TRUE(dlg::ResizeDocument(doc, 300, 100, 200));
    EXPECT_EQ(doc.Layer(2).fontSize, 10);
    EXPECT_EQ(doc.Layer(2).textOriginY, 10);

    ASSERT_TRUE(doc.Undo());
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.live.canvas.width, 100);
    EXPECT_EQ(doc.Layer(1).width, 50);
    EXPECT_EQ(doc.Layer(2).fontSize, 20);
    EXPECT_EQ(Bytes(0), before);
}

TEST_F(GeometryFixture, SameSizeKeepsPixelsButRecordsStep) {
    Start(20, 10);
    const std::vector<uint8_t> before = Bytes(0);
    const int pos = doc.undoPos;
    ASSERT_TRUE(dlg::ResizeDocument(doc, 96, 20, 10));
    EXPECT_EQ(Bytes(0), before);
    EXPECT_EQ(doc.undoPos, pos + 1);
    EXPECT_EQ(doc.image.info.xDpi, 96);
    ASSERT_TRUE(dlg::ApplyCanvasSize(doc, 20, 10, 3));
    EXPECT_EQ(Bytes(0), before);
    EXPECT_EQ(doc.undoPos, pos + 2);
}

TEST(CanvasAnchors, TableRows) {
    // 100 x 100 into 200 x 150.
    const dlg::AnchorOffsets a4 = dlg::CanvasAnchorOffsets(4, 100, 100, 200, 150);
    EXPECT_EQ(a4.dx, 50);
    EXPECT_EQ(a4.dy, 25);
    const dlg::AnchorOffsets a0 = dlg::CanvasAnchorOffsets(0, 100, 100, 200, 150);
    EXPECT_EQ(a0.dx, 0);
    EXPECT_EQ(a0.dy, 50);
    const dlg::AnchorOffsets a6 = dlg::CanvasAnchorOffsets(6, 100, 100, 200, 150);
    EXPECT_EQ(a6.dx + a6.dy + a6.ax + a6.ay, 0);
    // Shrinking 200 x 200 to 100 x 100.
    const dlg::AnchorOffsets a8 = dlg::CanvasAnchorOffsets(8, 200, 200, 100, 100);
    EXPECT_EQ(a8.dx, 0);
    EXPECT_EQ(a8.ax, 100);
    const dlg::AnchorOffsets a1 = dlg::CanvasAnchorOffsets(1, 200, 200, 100, 100);
    EXPECT_EQ(a1.ax, 50);
    EXPECT_EQ(a1.ay, 100);
    const dlg::AnchorOffsets bad = dlg::CanvasAnchorOffsets(9, 10, 10, 20, 20);
    EXPECT_EQ(bad.dx + bad.dy + bad.ax + bad.ay, 0);
}

TEST_F(GeometryFixture, CanvasEnlargeCentredAndUndo) {
    Start(100, 100);
    const std::vector<uint8_t> before = Bytes(0);
    ASSERT_TRUE(dlg::ApplyCanvasSize(doc, 200, 150, 4));
    const LayerRecord& L = doc.Layer(0);
    ASSERT_EQ(L.width, 200);
    ASSERT_EQ(L.height, 150);
    EXPECT_EQ(doc.live.canvas.width, 200);
    // Old stored row 0, column 0 now at stored row 25, column 50.
    EXPECT_EQ(L.PixelRow(25)[150], 0);
    EXPECT_EQ(L.PixelRow(25 + 7)[3 * (50 + 3) + 1], 7);
    EXPECT_EQ(L.PixelRow(25 + 7)[3 * (50 + 3) + 0], 3);
    EXPECT_EQ(L.AlphaRow(25)[50], 200);
    // Borders transparent white.
    EXPECT_EQ(L.AlphaRow(24)[50], 0);
    EXPECT_EQ(L.AlphaRow(25)[49], 0);
    EXPECT_EQ(L.AlphaRow(125)[50], 0);
    EXPECT_EQ(L.PixelRow(0)[0], 255);
    EXPECT_EQ(Utf16ToUtf8(doc.steps[size_t(doc.undoPos)].label), "캔버스크기조정");
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.Layer(0).width, 100);
    EXPECT_EQ(doc.live.canvas.height, 100);
    EXPECT_EQ(Bytes(0), before);
}

TEST_F(GeometryFixture, CanvasShrinkKeepsLayerAndMovesIt) {
    Start(200, 200);
    ASSERT_TRUE(dlg::ApplyCanvasSize(doc, 100, 100, 8));
    EXPECT_EQ(doc.Layer(0).width, 200);
    EXPECT_EQ(doc.Layer(0).height, 200);
    EXPECT_EQ(doc.Layer(0).x, -100);
    EXPECT_EQ(doc.live.canvas.width, 100);
}

TEST_F(GeometryFixture, CliStepsParseAndRun) {
    Start(40, 30);
    const auto* size = commands::All().FindNamed("size");
    const auto* canvas = commands::All().FindNamed("canvas");
    ASSERT_TRUE(size && canvas);
    EXPECT_THROW((*size)(doc, "40"), std::invalid_argument);
    EXPECT_THROW((*size)(doc, "0,10"), std::invalid_argument);
    EXPECT_THROW((*size)(doc, "10,10,x"), std::invalid_argument);
    EXPECT_THROW((*canvas)(doc, "10,10,9"), std::invalid_argument);
    ASSERT_TRUE((*size)(doc, "20,15,200,all"));
    EXPECT_EQ(doc.live.canvas.width, 20);
    EXPECT_EQ(doc.live.canvas.height, 15);
    EXPECT_EQ(doc.image.info.xDpi, 200);
    ASSERT_TRUE((*canvas)(doc, "30,15,6"));
    EXPECT_EQ(doc.Layer(0).width, 30);
    EXPECT_EQ(doc.Layer(0).AlphaRow(0)[20], 0);
}
