// Red-eye removal: the fade from the centre, the strength box and the
// no-selection message, with undo.
#include <gtest/gtest.h>

#include <vector>

#include "CVexoDoc.h"
#include "commands.h"
#include "dlg_redeye.h"
#include "journaled_doc.h"
#include "test_support.h"
#include "undo_journal.h"

namespace {

struct RedEyeFixture : JournaledDocTest {
    void SetUp() override { StartJournal(21, 21); }
    // Canvas pixel (x, y from the top) of the only layer: blue, green, red.
    uint8_t* Px(int x, int y) { return doc.Layer(0).PixelRow(20 - y) + 3 * x; }
    uint8_t& Alpha(int x, int y) { return doc.Layer(0).AlphaRow(20 - y)[x]; }
    void Set(int x, int y, uint8_t r, uint8_t g, uint8_t b) {
        uint8_t* p = Px(x, y);
        p[0] = b, p[1] = g, p[2] = r;
    }
    bool Run(const std::string& args) { return (*commands::All().FindNamed("redeye"))(doc, args); }
};

}  // namespace

TEST_F(RedEyeFixture, CentreMovesRedTowardsSmallerOfGreenAndBlue) {
    Set(10, 10, 255, 0, 0);
    ASSERT_TRUE(Run("0,0,20,20,10"));
    EXPECT_EQ(Px(10, 10)[2], 0);
    EXPECT_EQ(Utf16ToUtf8(doc.steps[size_t(doc.undoPos)].label), "적안 제거");

    Set(10, 10, 200, 40, 60);
    Set(0, 0, 200, 40, 60);   // the corner of the rectangle
    Set(12, 10, 200, 40, 60); // d^2 = 4: k = 0.5 * (1 - 20 / 400)
    ASSERT_TRUE(doc.RecordUndoStep(u"paint", UndoLayerChanged, 0));
    const std::vector<uint8_t> before(doc.Layer(0).pixels.get(), doc.Layer(0).pixels.get() + doc.Layer(0).pixelSize);
    ASSERT_TRUE(Run("0,0,20,20,5"));
    EXPECT_EQ(Px(10, 10)[2], 120);
    EXPECT_EQ(Px(10, 10)[1], 40);
    EXPECT_EQ(Px(0, 0)[2], 200);
    EXPECT_EQ(Px(12, 10)[2], 123);   // trunc(200 * 0.525 + 0.475 * 40)
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(std::vector<uint8_t>(doc.Layer(0).pixels.get(), doc.Layer(0).pixels.get() + doc.Layer(0).pixelSize),
              before);

    // Green and blue above red: red rises.
    Set(10, 10, 20, 100, 120);
    ASSERT_TRUE(Run("0,0,20,20,10"));
    EXPECT_EQ(Px(10, 10)[2], 100);
}

TEST_F(RedEyeFixture, StrengthZeroOnlyMakesSelectedPixelsOpaque) {
    Set(10, 10, 200, 40, 60);
    Alpha(10, 10) = 0;
    Alpha(0, 20) = 0;   // outside the ellipse
    ASSERT_TRUE(Run("0,0,20,20,0"));
    EXPECT_EQ(Px(10, 10)[2], 200);
    EXPECT_EQ(Alpha(10, 10), 255);
    EXPECT_EQ(Alpha(0, 20), 0);
}

TEST_F(RedEyeFixture, PanelBoxAndMessages) {
    dlg::RedEyePanel p;
    p.UpDown(0);
    p.UpDown(-3);
    p.UpDown(0);
    EXPECT_EQ(p.strengthText, "10");
    p.UpDown(1);
    EXPECT_EQ(p.strengthText, "9");
    const int pos = doc.undoPos;
    EXPECT_FALSE(p.Apply(doc));   // no rectangle
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back(), dlg::kRedEyeNoSelection);
    EXPECT_EQ(doc.undoPos, pos);
    // A number beyond the range is clamped and shown clamped; a foreign text is 0.
    p.rect = {0, 0, 20, 20};
    p.strengthText = "25";
    Set(10, 10, 255, 0, 0);
    ASSERT_TRUE(p.Apply(doc));
    EXPECT_EQ(p.strengthText, "10");
    EXPECT_EQ(Px(10, 10)[2], 0);
    p.rect = {0, 0, 20, 20};
    p.strengthText = "abc";
    Set(10, 10, 255, 0, 0);
    ASSERT_TRUE(p.Apply(doc));
    EXPECT_EQ(p.strengthText, "0");
    EXPECT_EQ(Px(10, 10)[2], 255);
    EXPECT_THROW(Run("0,0,20"), std::invalid_argument);
    EXPECT_THROW(Run("5,0,5,20,3"), std::invalid_argument);
}
