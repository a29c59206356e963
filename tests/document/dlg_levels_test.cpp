// Levels: automatic adjustment, normalisation, the dialog's markers and its
// preview / keep / cancel, with undo.
#include <gtest/gtest.h>

#include <vector>

#include "CVexoDoc.h"
#include "commands.h"
#include "dlg_levels.h"
#include "test_support.h"
#include "undo_journal.h"

namespace {

struct LevelsFixture : ::testing::Test {
    testsupport::TempDir dir;
    HeadlessHost host;
    CVexoDoc doc{&host};

    // Grey levels from a function of the column; two rows.
    template <class F>
    void Start(int w, F level) {
        host.echoMessages = false;
        host.journalFolder = dir.Path() + "/";
        ASSERT_TRUE(doc.NewImage(w, 2));
        LayerRecord& L = doc.Layer(0);
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < w; ++c) {
                uint8_t* p = L.PixelRow(r) + 3 * c;
                p[0] = p[1] = p[2] = uint8_t(level(c));
            }
        ASSERT_TRUE(doc.RecordUndoStep(u"initial state", UndoLayerChanged, -1));
    }
    uint8_t At(int c, int k = 0) const { return doc.Layer(0).PixelRow(1)[3 * c + k]; }
    std::vector<uint8_t> Bytes() const {
        const LayerRecord& L = doc.Layer(0);
        std::vector<uint8_t> v(L.pixels.get(), L.pixels.get() + L.pixelSize);
        v.insert(v.end(), L.alpha.get(), L.alpha.get() + L.planeSize);
        return v;
    }
    std::string Label() const { return Utf16ToUtf8(doc.steps[size_t(doc.undoPos)].label); }
};

}  // namespace

TEST_F(LevelsFixture, AutoStretchesBetweenOnePercentPointsAndUndoes) {
    Start(151, [](int c) { return 50 + c; });
    const std::vector<uint8_t> before = Bytes();
    ASSERT_TRUE(commands::All().Find(2076)->run(doc, {}));
    EXPECT_EQ(At(0), 0);      // 50 (below the low point 51)
    EXPECT_EQ(At(1), 0);      // 51
    EXPECT_EQ(At(75), 127);   // 125: 74 * 255 / 148
    EXPECT_EQ(At(149), 255);  // 199
    EXPECT_EQ(At(150), 255);  // 200
    EXPECT_EQ(Label(), "자동 색상 조정");
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(Bytes(), before);
}

TEST_F(LevelsFixture, NormalisationUsesCumulativeCounts) {
    // Three quarters at 10, one quarter at 20.
    Start(4, [](int c) { return c < 3 ? 10 : 20; });
    ASSERT_TRUE(commands::All().Find(2077)->run(doc, {}));
    EXPECT_EQ(At(0), 191);   // trunc(255 * 6 / 8)
    EXPECT_EQ(At(3), 255);
    EXPECT_EQ(Label(), "컬러 정규화");
}

TEST_F(LevelsFixture, SingleLevelChangesNothingButRecordsStep) {
    Start(10, [](int) { return 77; });
    const std::vector<uint8_t> before = Bytes();
    const int pos = doc.undoPos;
    ASSERT_TRUE(dlg::AutoLevels(doc, false));
    EXPECT_EQ(Bytes(), before);
    EXPECT_EQ(doc.undoPos, pos + 1);
}

TEST_F(LevelsFixture, DialogMarkersPreviewKeepAndCancel) {
    Start(256, [](int c) { return c; });
    // A transparent pixel is never written.
    doc.Layer(0).AlphaRow(1)[100] = 0;
    ASSERT_TRUE(doc.RecordUndoStep(u"alpha", UndoLayerChanged, 0));
    const std::vector<uint8_t> before = Bytes();

    dlg::LevelsModel m;
    ASSERT_TRUE(m.Open(doc));
    EXPECT_EQ(m.RangeText(), "0 ~ 254");
    EXPECT_EQ(m.maxCount[0], 2u);
    EXPECT_EQ(m.BarHeight(3), 2);   // the scale 111 / 2 is limited to 1
    // Identity: nothing moves.
    ASSERT_TRUE(m.Release());
    EXPECT_EQ(Bytes(), before);
    // The nearer marker moves; the low one stays below the high one.
    m.PressStrip(10 + 200);
    EXPECT_EQ(m.high, 200);
    m.PressStrip(10 + 60);
    EXPECT_EQ(m.low, 60);
    m.PressStrip(10 + 130);   // equally near: the low marker
    EXPECT_EQ(m.low, 130);
    m.PressStrip(500);        // limited to 255, nearer the high marker
    EXPECT_EQ(m.high, 255);
    m.low = 0, m.high = 127;
    m.SetChannel(1);          // red only
    ASSERT_TRUE(m.Release());
    EXPECT_EQ(At(100, 2), 100);   // transparent, unchanged
    EXPECT_EQ(At(101, 2), 202);   // 101 * 255 / 127
    EXPECT_EQ(At(101, 1), 101);
    m.Cancel();
    EXPECT_EQ(Bytes(), before);

    ASSERT_TRUE(m.Open(doc));
    m.low = 0, m.high = 127;
    ASSERT_TRUE(m.Release());
    ASSERT_TRUE(m.Keep());
    EXPECT_EQ(Label(), "색상조정");
    EXPECT_EQ(At(101, 0), 202);
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(Bytes(), before);
}

TEST_F(LevelsFixture, CliStepChecksArguments) {
    Start(256, [](int c) { return c; });
    const auto* step = commands::All().FindNamed("levels");
    ASSERT_TRUE(step);
    EXPECT_THROW((*step)(doc, "4,0,255"), std::invalid_argument);
    EXPECT_THROW((*step)(doc, "0,200,100"), std::invalid_argument);
    EXPECT_THROW((*step)(doc, "0,0"), std::invalid_argument);
    ASSERT_TRUE((*step)(doc, "3,128,255"));
    EXPECT_EQ(At(200, 0), 144);   // 72 * 255 / 127
    EXPECT_EQ(At(200, 1), 200);
    EXPECT_EQ(At(100, 0), 0);
}
