#include <gtest/gtest.h>

#include "CVexoDoc.h"

TEST(LayerRecords, FreshSlotAndDeepCopy) {
    LayerRecord a;
    EXPECT_EQ(a.prev, -1);
    EXPECT_EQ(a.next, -1);
    EXPECT_EQ(a.link, -1);
    a.width = 2;
    a.height = 2;
    a.planeSize = 4;
    a.pixelSize = 16;
    a.pixels.reset(new uint8_t[16]{1, 2, 3});
    a.alpha.reset(new uint8_t[4]{9, 8, 7, 6});
    LayerRecord b;
    ASSERT_TRUE(b.CopyFrom(a));
    EXPECT_NE(b.pixels.get(), a.pixels.get());
    EXPECT_EQ(b.pixels[1], 2);
    EXPECT_EQ(b.alpha[3], 6);
    EXPECT_EQ(b.effectPlane, nullptr);
}

TEST(LayerRecords, MulTableRule) {
    const MulRow* t = MulTable();
    EXPECT_EQ(t[255][255], 255);
    for (int v = 0; v < 255; ++v) EXPECT_EQ(t[v][255], v);
    EXPECT_EQ(t[128][128], 64);
    EXPECT_EQ(t[0][200], 0);
}

TEST(LayerRecords, FixedTextFields) {
    char16_t field[5];
    SetFixedText(field, 5, Utf8ToUtf16("배경영상입니다"));
    EXPECT_EQ(GetFixedText(field, 5), Utf8ToUtf16("배경영상"));
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("레이어 3")), "레이어 3");
}

TEST(Document, StackWalkSurvivesLinkCycles) {
    HeadlessHost host;
    CVexoDoc doc(&host);
    doc.headLayer = 3;
    doc.Layer(3).next = 5;
    doc.Layer(5).next = 3;   // damaged links
    EXPECT_EQ(doc.LayerCount(), 2);
    EXPECT_TRUE(doc.InStack(5));
    EXPECT_FALSE(doc.InStack(4));
}
