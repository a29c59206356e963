// The free-rotation panel: box clamps, up-down wrap, same-angle rule,
// centring, start image, keep and undo.
#include <gtest/gtest.h>

#include <vector>

#include "CVexoDoc.h"
#include "commands.h"
#include "dlg_rotate.h"
#include "test_support.h"
#include "undo_journal.h"

namespace {

struct RotateFixture : ::testing::Test {
    testsupport::TempDir dir;
    HeadlessHost host;
    CVexoDoc doc{&host};

    void SetUp() override {
        host.echoMessages = false;
        host.journalFolder = dir.Path() + "/";
        ASSERT_TRUE(doc.NewImage(100, 50));
        LayerRecord& L = doc.Layer(0);
        for (int r = 0; r < L.height; ++r)
            for (int c = 0; c < L.width * 3; ++c) L.PixelRow(r)[c] = uint8_t(r * 5 + c);
        ASSERT_TRUE(doc.RecordUndoStep(u"initial state", UndoLayerChanged, -1));
    }
    std::vector<uint8_t> Bytes() const {
        const LayerRecord& L = doc.Layer(0);
        std::vector<uint8_t> v(L.pixels.get(), L.pixels.get() + L.pixelSize);
        v.insert(v.end(), L.alpha.get(), L.alpha.get() + L.planeSize);
        return v;
    }
};

}  // namespace

TEST_F(RotateFixture, BoxClampsWrapAndSameAngle) {
    dlg::RotationPanel p;
    ASSERT_TRUE(p.Open(doc));
    EXPECT_FALSE(p.Open(doc));   // already running
    p.SetText("90");
    EXPECT_EQ(doc.Layer(0).width, 50);
    EXPECT_EQ(doc.Layer(0).height, 100);
    EXPECT_EQ(doc.Layer(0).x, 25);
    EXPECT_EQ(doc.Layer(0).y, 25);
    // The corners of the turned canvas: the top-left corner goes to (75, -25).
    EXPECT_NEAR(p.corners[0].x, 75, 1e-9);
    EXPECT_NEAR(p.corners[0].y, -25, 1e-9);
    const uint8_t* buffer = doc.Layer(0).pixels.get();
    p.SetText("90.0");   // same angle: nothing rotates again
    EXPECT_EQ(doc.Layer(0).pixels.get(), buffer);

    p.SetText("-90");
    EXPECT_EQ(p.lastAngle, 270);
    p.SetText("400");
    EXPECT_EQ(p.boxText, "359");
    EXPECT_EQ(p.lastAngle, 359);
    p.SetText("-1000");
    EXPECT_EQ(p.boxText, "-359");
    EXPECT_EQ(p.lastAngle, 1);

    p.SetText("10");
    p.UpDown(1);   // a step up subtracts 0.1
    EXPECT_EQ(p.boxText, "9.90");
    p.UpDown(-1);
    EXPECT_EQ(p.boxText, "10.00");
    p.SetText("0");
    p.UpDown(1);   // 0 - 0.1 wraps to 359.90, which the preview limits to 359
    EXPECT_EQ(p.boxText, "359");
    EXPECT_EQ(p.lastAngle, 359);
    p.SliderReleased(400);
    EXPECT_EQ(p.sliderPos, 355);
    EXPECT_EQ(p.boxText, "355");

    p.StartImage();
    EXPECT_EQ(p.boxText, "0.00");
    EXPECT_EQ(doc.Layer(0).width, 100);
    p.Close();
    EXPECT_EQ(host.currentCommand, -1);
}

TEST_F(RotateFixture, KeepRecordsStepAndUndoIsExact) {
    const std::vector<uint8_t> before = Bytes();
    dlg::RotationPanel p;
    ASSERT_TRUE(p.Open(doc));
    p.SetText("30");
    const int w30 = doc.Layer(0).width;
    EXPECT_GT(w30, 100);
    p.SetText("90");
    ASSERT_TRUE(p.Ok());
    EXPECT_EQ(Utf16ToUtf8(doc.steps[size_t(doc.undoPos)].label), "이미지회전");
    EXPECT_EQ(doc.Layer(0).width, 50);
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.Layer(0).width, 100);
    EXPECT_EQ(Bytes(), before);
}

TEST_F(RotateFixture, CliStepAndTextLayerRefusal) {
    const auto* step = commands::All().FindNamed("rotate");
    ASSERT_TRUE(step);
    EXPECT_THROW((*step)(doc, "ninety"), std::invalid_argument);
    EXPECT_THROW((*step)(doc, ""), std::invalid_argument);
    ASSERT_TRUE((*step)(doc, "-90"));
    EXPECT_EQ(doc.Layer(0).width, 50);
    doc.Layer(0).kind = LayerText;
    host.messages.clear();
    EXPECT_FALSE((*step)(doc, "10"));
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back(), dlg::kRotateTextLayer);
    doc.Layer(0).kind = LayerImage;
}
