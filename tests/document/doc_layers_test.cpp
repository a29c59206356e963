// Layer stack: set-up, add, delete, select, queries and the command frame.
#include <gtest/gtest.h>

#include "CVexoDoc.h"
#include "commands.h"

namespace {
std::string Name(const CVexoDoc& d, int i) { return Utf16ToUtf8(GetFixedText(d.Layer(i).name, 100)); }
}  // namespace

TEST(LayerStack, SetupRefusesBadArgumentsAndKeepsSlot) {
    HeadlessHost host;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(10, 6));
    uint8_t* before = doc.Layer(0).pixels.get();
    EXPECT_FALSE(doc.SetupLayerBuffers(-1, 5, u"", 1, 24, 0, 0, 0, 0, 0, 2, -1, -1, 0, 0, 0, -1, false));
    EXPECT_FALSE(doc.SetupLayerBuffers(5, 0, u"", 1, 24, 0, 0, 0, 0, 0, 2, -1, -1, 0, 0, 0, -1, false));
    EXPECT_FALSE(doc.SetupLayerBuffers(5, 5, u"", 1, 24, 0, 0, 40, 0, 0, 2, -1, -1, 0, 0, 0, -1, false));
    EXPECT_FALSE(doc.SetupLayerBuffers(1 << 20, 1 << 20, u"", 1, 24, 0, 0, 0, 0, 0, 2, -1, -1, 0, 0, 0, -1, false));
    EXPECT_EQ(doc.Layer(0).pixels.get(), before);
    EXPECT_EQ(doc.Layer(0).width, 10);
    EXPECT_EQ(doc.live.canvas.width, 10);
}

TEST(LayerStack, SetupSizesRaisesAndCentres) {
    HeadlessHost host;
    CVexoDoc doc(&host);
    // A 5 x 3 layer on an override canvas of 8 x 4 is raised to 8 x 4.
    ASSERT_TRUE(doc.SetupLayerBuffers(3, 5, u"제목", 1, 24, 0, 7, 2, 1, 1, 2, 8, 4, 1, 0, 0, -1, false));
    const LayerRecord& L = doc.Layer(2);
    EXPECT_EQ(L.width, 8);
    EXPECT_EQ(L.height, 4);
    EXPECT_EQ(L.stride, 24);
    EXPECT_EQ(L.pixelSize, 96);
    EXPECT_EQ(L.planeSize, 32);
    EXPECT_EQ(L.alpha[31], 7);
    EXPECT_EQ(L.pixels[95], 255);
    EXPECT_EQ(doc.live.canvas.canvasPixelSize, 96);
    EXPECT_EQ(Utf16ToUtf8(GetFixedText(doc.live.canvas.title, 100)), "제목");
    // Text layers hold one coverage byte per pixel.
    ASSERT_TRUE(doc.SetupLayerBuffers(3, 5, u"", 1, 24, 0, 0, 3, 0, 0, 2, 5, 3, 1, 0, LayerText, -1, false));
    EXPECT_EQ(doc.Layer(3).stride, 5);
    EXPECT_EQ(doc.Layer(3).pixelSize, 15);
    // Centring a 14 x 10 layer on an override canvas of 10 x 6: in
    // stored-row order the layer sticks out two rows at the bottom and two
    // at the top (layer stored row 2 lies on canvas stored row 0).
    ASSERT_TRUE(doc.SetupLayerBuffers(10, 14, u"", 1, 24, 0, 0, 4, 0, 0, 2, 10, 6, 1, 0, 0, -1, true));
    EXPECT_EQ(doc.Layer(4).x, -2);
    EXPECT_EQ(doc.Layer(4).y, 2);
}

TEST(LayerStack, AddDeleteSelectAndQueries) {
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(4, 3));
    ASSERT_TRUE(doc.AddLayer());   // slot 1 above 0
    EXPECT_EQ(doc.currentLayer, 1);
    EXPECT_EQ(Name(doc, 1), "레이어 1");
    EXPECT_EQ(doc.Layer(1).alpha[0], 0);
    EXPECT_EQ(doc.Layer(1).charWidthScale, 10);
    EXPECT_EQ(doc.Layer(1).tailY, -1);
    ASSERT_TRUE(doc.SelectLayer(0));
    ASSERT_TRUE(doc.AddLayer());   // slot 2 between 0 and 1
    EXPECT_EQ(doc.StackOrder(), (std::vector<int>{0, 2, 1}));
    EXPECT_EQ(doc.LayerAt(-5), 0);
    EXPECT_EQ(doc.LayerAt(1), 2);
    EXPECT_EQ(doc.LayerAt(3), -1);
    EXPECT_EQ(doc.TopLayer(), 1);
    EXPECT_EQ(doc.LayerPosition(1, 0), 2);
    EXPECT_EQ(doc.LayerPosition(1, 7), -1);
    doc.Layer(1).visible = 0;
    EXPECT_EQ(doc.TopVisibleLayer(), 2);
    EXPECT_EQ(doc.FindLayerByName(u"레이어 2"), 2);
    EXPECT_EQ(doc.FirstLinkedLayer(), -1);

    // Deleting the bottom layer moves the head up.
    ASSERT_TRUE(doc.DeleteLayer(0, true));
    EXPECT_EQ(doc.headLayer, 2);
    EXPECT_EQ(doc.Layer(2).prev, -1);
    EXPECT_EQ(doc.currentLayer, 2);
    // Deleting the top selects the one below and renames it by its slot.
    SetFixedText(doc.Layer(2).name, 100, u"배경");
    ASSERT_TRUE(doc.DeleteLayer(1, true));
    EXPECT_EQ(doc.currentLayer, 2);
    EXPECT_EQ(Name(doc, 2), "레이어 2");
    EXPECT_FALSE(doc.DeleteLayer(2, true));
    EXPECT_EQ(host.messages.back(), "레이어가 1개 밖에 없습니다");
    EXPECT_FALSE(doc.SelectLayer(-1));
    EXPECT_FALSE(doc.SelectLayer(1));   // not in the stack
}

TEST(LayerStack, FortyLayersThenRefused) {
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(2, 2));
    for (int i = 1; i < kMaxLayers; ++i) ASSERT_TRUE(doc.AddLayer());
    EXPECT_EQ(doc.LayerCount(), 40);
    EXPECT_FALSE(doc.AddLayer());
    EXPECT_EQ(host.messages.back(), "레이어수 과다... 기존 레이어의 병합 혹은 제거하신 후에 다시 시도.");
    EXPECT_EQ(doc.LayerCount(), 40);
}

TEST(LayerStack, SelectionRefusesTextLayers) {
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(3, 3));
    ASSERT_TRUE(doc.AddLayer());
    doc.Layer(1).kind = LayerText;
    ASSERT_TRUE(doc.SelectLayer(0));
    doc.selectionActive = true;
    EXPECT_FALSE(doc.SelectLayer(1));
    EXPECT_EQ(doc.currentLayer, 0);
    EXPECT_EQ(host.messages.back(), doctext::kTextLayerRefused);
    doc.selectionActive = false;
    EXPECT_TRUE(doc.SelectLayer(1));
    EXPECT_FALSE(doc.GuardRasterLayer());
}

TEST(CommandFrame, ScratchRoundTripAndSizeChange) {
    HeadlessHost host;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(5, 2));
    ASSERT_TRUE(doc.BeginLayerOp(-1));
    EXPECT_EQ(doc.scratchPixelSize, doc.Layer(0).pixelSize);
    doc.scratchPixels[0] = 7;
    doc.scratchAlpha[0] = 9;
    EXPECT_TRUE(doc.EndLayerOp(-1, true));
    EXPECT_EQ(doc.Layer(0).pixels[0], 7);
    EXPECT_EQ(doc.Layer(0).alpha[0], 9);
    EXPECT_TRUE(doc.viewRebuild);
    // The layer changed size meanwhile: nothing comes back.
    ASSERT_TRUE(doc.BeginLayerOp(0));
    doc.keepScratch = true;
    ASSERT_TRUE(doc.SetupLayerBuffers(3, 3, u"", 1, 24, 0, 0, 0, 0, 0, 2, -1, -1, 0, 1, 1, -1, false));
    EXPECT_FALSE(doc.EndLayerOp(0, false));
    EXPECT_EQ(doc.Layer(0).pixels[0], 255);
    EXPECT_FALSE(doc.BeginLayerOp(7));   // free slot
}

TEST(CommandFrame, CurrentCommandWhileRunning) {
    HeadlessHost host;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(3, 3));
    const commands::Command* add = commands::All().Find(1552);
    ASSERT_NE(add, nullptr);
    EXPECT_TRUE(add->run(doc, {}));
    EXPECT_EQ(host.currentCommand, -1);
    EXPECT_EQ(doc.LayerCount(), 2);
    EXPECT_TRUE(commands::All().Find(1553)->run(doc, {}));
    EXPECT_EQ(doc.LayerCount(), 1);
}
