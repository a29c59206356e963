// Text and balloon layers: text rules, building, sizing, editing, balloons,
// rasterizing, the merge refusal and the named steps.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "CVexoDoc.h"
#include "commands.h"
#include "text_layers.h"
#include "undo_journal.h"

using namespace textlayer;

namespace {

struct Box {
    int left = -1, top = -1, right = -1, bottom = -1;   // inclusive, top-down
    bool empty() const { return right < 0; }
};

uint8_t AlphaAt(const LayerRecord& L, int x, int topDownY) {
    return L.alpha[size_t(L.height - 1 - topDownY) * size_t(L.width) + size_t(x)];
}

Box CoverageBox(const LayerRecord& L) {
    Box b;
    for (int y = 0; y < L.height; ++y)
        for (int x = 0; x < L.width; ++x)
            if (AlphaAt(L, x, y)) {
                if (b.empty()) b = {x, y, x, y};
                b.left = std::min(b.left, x);
                b.right = std::max(b.right, x);
                b.top = std::min(b.top, y);
                b.bottom = std::max(b.bottom, y);
            }
    return b;
}

TextDialogValues Values(const char* text, int size = 20, uint32_t color = PackBGR(0, 0, 0)) {
    TextDialogValues v;
    v.text = Utf8ToUtf16(text);
    v.settings.size = size;
    v.settings.color = color;
    return v;
}

class TextLayers : public ::testing::Test {
protected:
    void SetUp() override {
        host.echoMessages = false;
        ASSERT_TRUE(doc.NewImage(200, 100));
        host.SwitchTool(kTextTool);
    }
    int NewText(const char* text, int x, int y, int size = 20) {
        EXPECT_TRUE(doc.EditTextLayer(false, x, y, Values(text, size)));
        return doc.currentLayer;
    }
    HeadlessHost host;
    CVexoDoc doc{&host};
};

}  // namespace

TEST(TextRules, LinesAndLimits) {
    EXPECT_EQ(CountTextLines(u"첫째\n\n둘째\n셋째"), 3);   // the empty line does not count
    EXPECT_EQ(CountTextLines(u"A\n"), 1);
    EXPECT_EQ(CountTextLines(u"A\r\nB"), 2);
    EXPECT_EQ(CountTextLines(u"\n\n"), 0);
    EXPECT_EQ(TextLines(u"A\r\n\r\nB").size(), 2u);

    std::u16string longText(750, u'가');
    EXPECT_EQ(LimitText(longText).size(), 700u);
    std::u16string pairs;
    for (int i = 0; i < 400; ++i) pairs += u"\xD83D\xDE00";   // 800 units
    EXPECT_EQ(LimitText(pairs).size(), 700u);
    pairs.insert(0, u"a");                                    // unit 700 would split a pair
    EXPECT_EQ(LimitText(pairs).size(), 699u);
    EXPECT_EQ(LimitText(std::u16string(u"ab\0cd", 5)), u"ab");

    // A stored length padded with NULs (twice the character count).
    LayerRecord L;
    L.textLength = 6;
    L.text.reset(new char16_t[7]{u'한', u'글', u'!', 0, 0, 0, 0});
    EXPECT_EQ(TextOfLayer(L), u"한글!");
    L.textLength = 100000;   // hostile length: never read past 700 units
    L.text.reset(new char16_t[701]());
    L.text[0] = u'x';
    EXPECT_EQ(TextOfLayer(L), u"x");
}

TEST(BalloonGeometry, SevenPointsAndTailRule) {
    // Box 40 x 20 at (100, 50): margins 12 and 6.
    BalloonOutline o = ComputeBalloon(100, 50, 40, 20, -1, -1);
    ASSERT_EQ(o.count, 7);
    EXPECT_EQ(o.left, 88);
    EXPECT_EQ(o.right, 152);
    EXPECT_EQ(o.top, 44);
    EXPECT_EQ(o.bottom, 76);
    EXPECT_EQ(o.width, 64);
    EXPECT_EQ(o.height, 32);
    const int xs[7] = {88, 120, 120, 130, 152, 152, 88};
    const int ys[7] = {44, 44, 28, 44, 44, 76, 76};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(o.x[i], xs[i]) << i;
        EXPECT_EQ(o.y[i], ys[i]) << i;
    }
    // Margins truncate: 33 x 0.3 = 9.9 -> 9, 7 x 0.3 = 2.1 -> 2.
    o = ComputeBalloon(0, 10, 33, 7, -1, -1);
    EXPECT_EQ(o.left, -9);
    EXPECT_EQ(o.right, 42);
    EXPECT_EQ(o.top, 8);
    EXPECT_EQ(o.bottom, 19);
    EXPECT_EQ(o.x[kTailBaseLeft], -9 + 51 * 3 / 6);
    EXPECT_EQ(o.x[kTailBaseRight], -9 + 51 * 4 / 6);
    EXPECT_EQ(o.y[kTail], 8 - 11 / 2);
    // A given tail keeps its x; its y never lies below the balloon's top.
    o = ComputeBalloon(100, 50, 40, 20, 10, 60);
    EXPECT_EQ(o.x[kTail], 10);
    EXPECT_EQ(o.y[kTail], 44);
    o = ComputeBalloon(100, 50, 40, 20, 300, 5);
    EXPECT_EQ(o.x[kTail], 300);
    EXPECT_EQ(o.y[kTail], 5);
}

TEST_F(TextLayers, NewLayerAtTheClickWithItsAttributes) {
    TextDialogValues v = Values("한글 텍스트", 24, PackBGR(10, 20, 30));
    v.settings.face = u"돋움";
    v.settings.bold = true;
    v.settings.underline = true;
    v.settings.widthScale10 = 12;
    ASSERT_TRUE(doc.EditTextLayer(false, 30, 20, v));
    const int slot = doc.currentLayer;
    ASSERT_NE(slot, 0);
    EXPECT_EQ(doc.Layer(0).next, slot);   // directly above the former current layer
    const LayerRecord& L = doc.Layer(slot);
    EXPECT_EQ(L.kind, LayerText);
    EXPECT_EQ(L.width, 200);
    EXPECT_EQ(L.height, 100);
    EXPECT_EQ(L.pixelSize, L.planeSize);
    EXPECT_EQ(L.textOriginX, 30);
    EXPECT_EQ(L.textOriginY, 20);
    EXPECT_EQ(TextOfLayer(L), Utf8ToUtf16("한글 텍스트"));
    EXPECT_EQ(L.textLength, 6);
    EXPECT_EQ(GetFixedText(L.fontFace, 25), u"돋움");
    EXPECT_EQ(L.fontSize, 24);
    EXPECT_EQ(L.charWidthScale, 12);
    EXPECT_EQ(L.textAttr388, kWeightBold);
    EXPECT_EQ(L.textAttr392, kEffectUnderline);
    EXPECT_EQ(L.textColor[0], 10);
    EXPECT_EQ(L.textColor[1], 20);
    EXPECT_EQ(L.textColor[2], 30);
    // Coverage starts at the origin; the pixel buffer marks every pixel.
    Box b = CoverageBox(L);
    ASSERT_FALSE(b.empty());
    EXPECT_GE(b.left, 30);
    EXPECT_LE(b.left, 34);
    EXPECT_GE(b.top, 20);
    EXPECT_LT(b.bottom, 20 + 40);
    for (int i = 0; i < L.pixelSize; ++i) ASSERT_EQ(L.pixels[i], 255);
    // The step and the command id.
    ASSERT_GE(doc.undoPos, 0);
    EXPECT_EQ(doc.steps[size_t(doc.undoPos)].label, u"글자입력");
    EXPECT_EQ(doc.steps[size_t(doc.undoPos)].type, 5);
    EXPECT_EQ(host.currentCommand, -1);
    EXPECT_EQ(SettingsOfLayer(L).face, u"돋움");
    EXPECT_TRUE(SettingsOfLayer(L).bold);
    EXPECT_TRUE(SettingsOfLayer(L).underline);
    EXPECT_FALSE(SettingsOfLayer(L).italic);
}

TEST_F(TextLayers, LayerGrowsForTheTextAndKeepsItsTopLeft) {
    // Three lines (one empty line skipped) at the bottom right of the canvas.
    ASSERT_TRUE(doc.EditTextLayer(false, 150, 80, Values("긴 글자 한 줄입니다\n\n둘째\n셋째", 30)));
    const LayerRecord& L = doc.Layer(doc.currentLayer);
    textrender::Extent e;
    textrender::MeasureLine(FontOfLayer(L), Utf8ToUtf16("긴 글자 한 줄입니다"), e);
    EXPECT_EQ(L.width, 150 + e.width);
    EXPECT_EQ(L.height, 80 + 3 * e.lineHeight);
    EXPECT_EQ(L.x, 0);
    EXPECT_EQ(doc.live.canvas.height - L.height + L.y, 0);   // top row still at canvas row 0
    EXPECT_EQ(doc.live.canvas.width, 200);                  // the canvas stays
    Box b = CoverageBox(L);
    EXPECT_GE(b.top, 80);
    EXPECT_GT(b.bottom, 80 + 2 * e.lineHeight);             // the third line is drawn
    EXPECT_LT(b.bottom, L.height);

    // A click beyond the layer puts the origin on its edge.
    host.SwitchTool(kTextTool);
    ASSERT_TRUE(doc.EditTextLayer(false, 900, -40, Values("가", 12)));
    const LayerRecord& M = doc.Layer(doc.currentLayer);
    EXPECT_EQ(M.textOriginX, 200);
    EXPECT_EQ(M.textOriginY, 0);
    EXPECT_GT(M.width, 200);
}

TEST_F(TextLayers, SevenHundredUnitLimit) {
    std::string text;
    for (int i = 0; i < 400; ++i) text += "가나";   // 800 units
    ASSERT_TRUE(doc.EditTextLayer(false, 0, 0, Values(text.c_str(), 4)));
    const LayerRecord& L = doc.Layer(doc.currentLayer);
    EXPECT_EQ(L.textLength, 700);
    EXPECT_EQ(TextOfLayer(L).size(), 700u);
    EXPECT_EQ(L.text[700], 0);
}

TEST_F(TextLayers, EmptyTextBuildsNothing) {
    const int before = doc.LayerCount();
    EXPECT_FALSE(doc.EditTextLayer(false, 10, 10, Values("")));
    EXPECT_FALSE(doc.EditTextLayer(false, 10, 10, Values("\n\n")));
    EXPECT_EQ(doc.LayerCount(), before);
    EXPECT_EQ(doc.undoPos, -1);
}

TEST_F(TextLayers, EditKeepsOriginAndSlotAndRecordsTheEdit) {
    const int slot = NewText("처음", 40, 30);
    const Box first = CoverageBox(doc.Layer(slot));
    TextDialogValues v;
    v.settings = SettingsOfLayer(doc.Layer(slot));
    v.settings.size = 40;
    v.text = Utf8ToUtf16("고친 글");
    ASSERT_TRUE(doc.EditTextLayer(true, -1, -1, v));
    EXPECT_EQ(doc.currentLayer, slot);
    const LayerRecord& L = doc.Layer(slot);
    EXPECT_EQ(TextOfLayer(L), Utf8ToUtf16("고친 글"));
    EXPECT_EQ(L.textOriginX, 40);
    EXPECT_EQ(L.textOriginY, 30);
    EXPECT_EQ(L.fontSize, 40);
    const Box second = CoverageBox(L);
    EXPECT_GT(second.right - second.left, first.right - first.left);
    EXPECT_EQ(doc.steps[size_t(doc.undoPos)].label, u"글자수정");
    EXPECT_EQ(doc.steps[size_t(doc.undoPos)].type, 4);
    EXPECT_EQ(doc.LayerCount(), 2);

    // Editing needs a text layer.
    doc.SelectLayer(0);
    EXPECT_FALSE(doc.EditTextLayer(true, -1, -1, v));
}

TEST_F(TextLayers, LayerWhollyLeftOfTheCanvasIsCentredOnRebuild) {
    const int slot = NewText("가운데", 10, 10);
    doc.Layer(slot).x = -250;   // x + width < 0
    TextDialogValues v;
    v.settings = SettingsOfLayer(doc.Layer(slot));
    v.text = u"가운데";
    ASSERT_TRUE(doc.EditTextLayer(true, -1, -1, v));
    EXPECT_EQ(doc.Layer(slot).x, (200 - doc.Layer(slot).width) / 2);
}

TEST_F(TextLayers, RebuildFromTheStoredRecordGivesTheSameCoverage) {
    TextDialogValues v = Values("저장된 글\n둘째 줄", 22, PackBGR(1, 2, 3));
    v.settings.face = u"바탕";
    v.settings.italic = true;
    v.settings.strikeout = true;
    v.settings.widthScale10 = 8;
    ASSERT_TRUE(doc.EditTextLayer(false, 12, 7, v));
    const int slot = doc.currentLayer;
    // The stored 848 bytes and the text, as a document file keeps them.
    LayerRecordData stored;
    std::memcpy(&stored, static_cast<const LayerRecordData*>(&doc.Layer(slot)), sizeof stored);
    const std::u16string text = TextOfLayer(doc.Layer(slot));
    const std::vector<uint8_t> alpha(doc.Layer(slot).alpha.get(),
                                     doc.Layer(slot).alpha.get() + doc.Layer(slot).planeSize);

    HeadlessHost host2;
    host2.echoMessages = false;
    CVexoDoc other(&host2);
    ASSERT_TRUE(other.NewImage(200, 100));
    host2.SwitchTool(kTextTool);
    TextDialogValues again;
    LayerRecord fromFile;
    std::memcpy(static_cast<LayerRecordData*>(&fromFile), &stored, sizeof stored);
    again.settings = SettingsOfLayer(fromFile);
    again.text = text;
    EXPECT_EQ(again.settings.face, u"바탕");
    EXPECT_TRUE(again.settings.italic && again.settings.strikeout && !again.settings.bold);
    EXPECT_EQ(again.settings.widthScale10, 8);
    EXPECT_EQ(again.settings.color, PackBGR(1, 2, 3));
    ASSERT_TRUE(other.EditTextLayer(false, fromFile.textOriginX, fromFile.textOriginY, again));
    const LayerRecord& R = other.Layer(other.currentLayer);
    ASSERT_EQ(R.planeSize, int(alpha.size()));
    EXPECT_TRUE(std::equal(alpha.begin(), alpha.end(), R.alpha.get()));
}

TEST_F(TextLayers, BalloonAroundTheText) {
    host.SwitchTool(kBalloonTool);
    TextDialogValues v = Values("말풍선", 20);
    ASSERT_TRUE(doc.EditTextLayer(false, 70, 50, v));
    const int slot = doc.currentLayer;
    const LayerRecord& L = doc.Layer(slot);
    EXPECT_EQ(L.kind, LayerBalloon);
    ASSERT_GT(L.textBoxWidth, 0);
    EXPECT_GE(L.textBoxLeft, 70);
    EXPECT_GE(L.textBoxTop, 50);
    const BalloonOutline o = ComputeBalloon(L.textBoxLeft, L.textBoxTop, L.textBoxWidth, L.textBoxHeight, -1, -1);
    ASSERT_EQ(doc.balloonPointCount, 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(doc.balloonPoints[i][0], o.x[i]);
        EXPECT_EQ(doc.balloonPoints[i][1], o.y[i]);
    }
    EXPECT_EQ(L.tailX, o.x[kTail]);
    EXPECT_EQ(L.tailY, o.y[kTail]);
    // The ellipse's lowest point is drawn; its top is open between the tail
    // base points; the tail line runs up from the left base.
    const int cx = o.left + o.width / 2, cy = o.top + o.height / 2 + 2, b = o.height / 2 + 2;
    EXPECT_EQ(AlphaAt(L, cx, cy + b), 255);
    EXPECT_EQ(AlphaAt(L, o.left, cy), 255);
    EXPECT_EQ(AlphaAt(L, (o.x[kTailBaseLeft] + o.x[kTailBaseRight]) / 2 + 1, o.top + 1), 0);
    EXPECT_EQ(AlphaAt(L, o.x[kTailBaseLeft], (o.top + o.y[kTail]) / 2), 255);
    EXPECT_EQ(doc.steps[size_t(doc.undoPos)].label, u"글자입력");

    // Rebuilding with a new tail (stored box) removes the old tail.
    const int oldTailMid = (o.top + o.y[kTail]) / 2;
    ASSERT_TRUE(doc.BuildBalloon(false, o.right + 10, o.top - 5));
    EXPECT_EQ(AlphaAt(L, o.x[kTailBaseLeft], oldTailMid), 0);
    EXPECT_EQ(L.tailX, o.right + 10);
    EXPECT_EQ(L.tailY, o.top - 5);
    // The text inside the box is untouched.
    EXPECT_FALSE(CoverageBox(L).empty());

    // Editing the text keeps the tail the user placed.
    host.SwitchTool(kBalloonTailTool);
    TextDialogValues e;
    e.settings = SettingsOfLayer(L);
    e.text = u"새 문구";
    ASSERT_TRUE(doc.EditTextLayer(true, -1, -1, e));
    EXPECT_EQ(L.kind, LayerBalloon);
    EXPECT_EQ(L.tailX, o.right + 10);

    // Style 1: the seven-point outline; the left edge is a straight line.
    ASSERT_TRUE(doc.BuildBalloon(true, -1, -1, 1, 1));
    const BalloonOutline p = ComputeBalloon(L.textBoxLeft, L.textBoxTop, L.textBoxWidth, L.textBoxHeight, -1, -1);
    for (int y = p.top; y <= p.bottom; ++y) EXPECT_EQ(AlphaAt(L, p.left, y), 255) << y;

    // Not for raster layers.
    doc.SelectLayer(0);
    EXPECT_FALSE(doc.BuildBalloon(true, -1, -1));
}

TEST_F(TextLayers, RasterizeWhiteTextKeepsCoverageAsAlpha) {
    TextDialogValues v = Values("흰 글자", 24, PackBGR(255, 255, 255));
    ASSERT_TRUE(doc.EditTextLayer(false, 20, 20, v));
    const int slot = doc.currentLayer;
    LayerRecord& L = doc.Layer(slot);
    L.tag = 7;
    const std::vector<uint8_t> coverage(L.alpha.get(), L.alpha.get() + L.planeSize);
    const int w = L.width, h = L.height, x = L.x, y = L.y;

    const commands::Command* c = commands::All().Find(1545);
    ASSERT_NE(c, nullptr);
    ASSERT_TRUE(c->run(doc, {}));
    EXPECT_EQ(L.kind, LayerRaster);
    EXPECT_EQ(L.tag, 7);
    EXPECT_EQ(L.width, w);
    EXPECT_EQ(L.height, h);
    EXPECT_EQ(L.x, x);
    EXPECT_EQ(L.y, y);
    EXPECT_EQ(L.stride, ((w * 24 + 31) / 32) * 4);
    EXPECT_EQ(L.textLength, 0);
    ASSERT_EQ(L.planeSize, int(coverage.size()));
    EXPECT_TRUE(std::equal(coverage.begin(), coverage.end(), L.alpha.get()));
    for (int r = 0; r < h; ++r)
        for (int i = 0; i < w * 3; ++i) ASSERT_EQ(L.PixelRow(r)[i], 255);
    EXPECT_EQ(doc.prevState.layers[slot].kind, LayerRaster);
    EXPECT_EQ(doc.preview.layers[slot].kind, LayerRaster);
    EXPECT_EQ(host.currentTool, -1);
    EXPECT_EQ(host.currentCommand, -1);

    // Coloured text: every pixel takes the colour.
    host.SwitchTool(kTextTool);
    ASSERT_TRUE(doc.EditTextLayer(false, 5, 5, Values("색", 16, PackBGR(10, 20, 30))));
    ASSERT_TRUE(doc.RasterizeTextLayer());
    const LayerRecord& M = doc.Layer(doc.currentLayer);
    EXPECT_EQ(M.PixelRow(3)[0], 10);
    EXPECT_EQ(M.PixelRow(3)[1], 20);
    EXPECT_EQ(M.PixelRow(3)[2], 30);

    // A raster layer is left alone.
    EXPECT_FALSE(doc.RasterizeTextLayer());
}

TEST_F(TextLayers, MergeAndPixelCommandsRefuseTextLayers) {
    const int slot = NewText("합치기", 10, 10);
    const int count = doc.LayerCount();
    host.messages.clear();
    EXPECT_FALSE(doc.MergeLayerPair(0, slot));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "두 레이어 중 적어도 하나가 글자레이어입니다.\r\n레스터 변환 후에 병합하십시요.");
    EXPECT_EQ(doc.LayerCount(), count);
    EXPECT_EQ(doc.Layer(slot).kind, LayerText);
    EXPECT_FALSE(doc.GuardRasterLayer());
}

TEST_F(TextLayers, NamedSteps) {
    const commands::Table& t = commands::All();
    const commands::NamedFn* text = t.FindNamed("text");
    const commands::NamedFn* balloon = t.FindNamed("balloon");
    const commands::NamedFn* edit = t.FindNamed("edit-text");
    ASSERT_TRUE(text && balloon && edit);

    ASSERT_TRUE((*text)(doc, "15,25,18,FF8000,바탕:첫 줄\\n둘째: 줄"));
    const int a = doc.currentLayer;
    const LayerRecord& A = doc.Layer(a);
    EXPECT_EQ(A.kind, LayerText);
    EXPECT_EQ(TextOfLayer(A), Utf8ToUtf16("첫 줄\n둘째: 줄"));
    EXPECT_EQ(A.textOriginX, 15);
    EXPECT_EQ(A.textOriginY, 25);
    EXPECT_EQ(A.fontSize, 18);
    EXPECT_EQ(GetFixedText(A.fontFace, 25), u"바탕");
    EXPECT_EQ(A.textColor[2], 0xFF);   // red
    EXPECT_EQ(A.textColor[1], 0x80);
    EXPECT_EQ(A.textColor[0], 0x00);

    ASSERT_TRUE((*balloon)(doc, "60,60,16,000000:풍선"));
    const int b = doc.currentLayer;
    EXPECT_EQ(doc.Layer(b).kind, LayerBalloon);
    EXPECT_EQ(GetFixedText(doc.Layer(b).fontFace, 25), u"굴림");
    // A text step after a balloon step makes a plain text layer again.
    ASSERT_TRUE((*text)(doc, "5,5,12,000000:보통"));
    EXPECT_EQ(doc.Layer(doc.currentLayer).kind, LayerText);

    ASSERT_TRUE((*edit)(doc, std::to_string(b) + ":바뀐 풍선"));
    EXPECT_EQ(doc.currentLayer, b);
    EXPECT_EQ(doc.Layer(b).kind, LayerBalloon);
    EXPECT_EQ(TextOfLayer(doc.Layer(b)), Utf8ToUtf16("바뀐 풍선"));
    EXPECT_EQ(doc.Layer(b).fontSize, 16);
    EXPECT_FALSE((*edit)(doc, "0:배경은 글자 레이어가 아님"));

    for (const char* bad : {"", "1,2,3:x", "1,2,3,GG0000:x", "1,2,0,000000:x", "a,2,3,000000:x",
                            "1,2,3,000000,:x", "1,2,3,000000", "1,2,3,000000:"})
        EXPECT_THROW((*text)(doc, bad), std::invalid_argument) << bad;
    EXPECT_THROW((*edit)(doc, "39:x"), std::invalid_argument);
    EXPECT_THROW((*edit)(doc, "x"), std::invalid_argument);

    // 4828 switches to the balloon tool.
    host.SwitchTool(-1);
    ASSERT_TRUE(t.Find(4828)->run(doc, {}));
    EXPECT_EQ(host.currentTool, kBalloonTool);
}

#include "test_support.h"

TEST_F(TextLayers, SurviveVorSaveAndReload) {
    testsupport::TempDir dir;
    TextDialogValues v = Values("저장하고\n다시 열기", 26, PackBGR(40, 50, 60));
    v.settings.face = u"궁서";
    v.settings.strikeout = true;
    ASSERT_TRUE(doc.EditTextLayer(false, 20, 15, v));
    const int textSlot = doc.currentLayer;
    host.SwitchTool(kBalloonTool);
    ASSERT_TRUE(doc.EditTextLayer(false, 90, 60, Values("풍선", 14)));
    const int balloonSlot = doc.currentLayer;
    const std::string path = dir.File("text.vor");
    ASSERT_TRUE(doc.Save(path));

    HeadlessHost host2;
    host2.echoMessages = false;
    CVexoDoc back(&host2);
    ASSERT_TRUE(back.Open(path));
    for (int slot : {textSlot, balloonSlot}) {
        const LayerRecord& a = doc.Layer(slot);
        const LayerRecord& b = back.Layer(slot);
        EXPECT_EQ(b.kind, a.kind);
        EXPECT_EQ(TextOfLayer(b), TextOfLayer(a));
        EXPECT_EQ(b.textLength, a.textLength);
        EXPECT_EQ(b.textOriginX, a.textOriginX);
        EXPECT_EQ(b.textOriginY, a.textOriginY);
        EXPECT_EQ(b.fontSize, a.fontSize);
        EXPECT_EQ(GetFixedText(b.fontFace, 25), GetFixedText(a.fontFace, 25));
        EXPECT_EQ(b.charWidthScale, a.charWidthScale);
        EXPECT_EQ(b.textAttr388, a.textAttr388);
        EXPECT_EQ(b.textAttr392, a.textAttr392);
        EXPECT_EQ(std::memcmp(b.textColor, a.textColor, 3), 0);
        EXPECT_EQ(b.textBoxLeft, a.textBoxLeft);
        EXPECT_EQ(b.textBoxWidth, a.textBoxWidth);
        EXPECT_EQ(b.tailX, a.tailX);
        EXPECT_EQ(b.tailY, a.tailY);
        ASSERT_EQ(b.planeSize, a.planeSize);
        EXPECT_EQ(std::memcmp(b.alpha.get(), a.alpha.get(), size_t(a.planeSize)), 0);
    }
    // The reopened text layer can be edited with its own settings.
    ASSERT_TRUE(back.SelectLayer(textSlot));
    host2.SwitchTool(kTextTool);
    TextDialogValues e;
    e.settings = SettingsOfLayer(back.Layer(textSlot));
    e.text = TextOfLayer(back.Layer(textSlot));
    ASSERT_TRUE(back.EditTextLayer(true, -1, -1, e));
    EXPECT_EQ(std::memcmp(back.Layer(textSlot).alpha.get(), doc.Layer(textSlot).alpha.get(),
                          size_t(doc.Layer(textSlot).planeSize)),
              0);
}

TEST_F(TextLayers, CliRunStepsAndJournalLabels) {
    testsupport::TempDir dir;
    const std::string in = dir.File("in.bmp"), out = dir.File("out.vor");
    ASSERT_TRUE(doc.Save(in));
    std::string listing;
    const std::string cmd = std::string(PIMLORA_CLI) + " run " + in + " " + out +
                            " --journal 'text:10,10,20,FF0000:첫째\\n둘째' 'balloon:50,60,16,000000,Arial:Hi 안녕'"
                            " 'edit-text:1:고침' select:2 1545";
    ASSERT_EQ(testsupport::Run(cmd, &listing), 0) << listing;
    EXPECT_NE(listing.find("5 글자입력"), std::string::npos) << listing;
    EXPECT_NE(listing.find("4 글자수정"), std::string::npos) << listing;
    EXPECT_NE(listing.find("0 레스터 형식으로 변환"), std::string::npos) << listing;

    HeadlessHost host2;
    host2.echoMessages = false;
    CVexoDoc back(&host2);
    ASSERT_TRUE(back.Open(out));
    ASSERT_EQ(back.LayerCount(), 3);
    EXPECT_EQ(back.Layer(1).kind, LayerText);
    EXPECT_EQ(TextOfLayer(back.Layer(1)), u"고침");
    EXPECT_EQ(back.Layer(2).kind, LayerRaster);   // the balloon, rasterized
    EXPECT_FALSE(CoverageBox(back.Layer(2)).empty());

    EXPECT_EQ(testsupport::Run(std::string(PIMLORA_CLI) + " run " + in + " " + out + " 'text:1,2:x' 2>/dev/null"), 2);
}

namespace {
struct LayerSnapshot {
    LayerRecordData rec;
    std::u16string text;
    std::vector<uint8_t> alpha, pixels;
    explicit LayerSnapshot(const LayerRecord& L)
        : text(TextOfLayer(L)),
          alpha(L.alpha.get(), L.alpha.get() + L.planeSize),
          pixels(L.pixels.get(), L.pixels.get() + L.pixelSize) {
        std::memcpy(&rec, static_cast<const LayerRecordData*>(&L), sizeof rec);
    }
};

void ExpectSameLayer(const LayerSnapshot& a, const LayerRecord& L) {
    const LayerSnapshot b(L);
    EXPECT_EQ(b.rec.kind, a.rec.kind);
    EXPECT_EQ(b.text, a.text);
    EXPECT_EQ(b.rec.width, a.rec.width);
    EXPECT_EQ(b.rec.height, a.rec.height);
    EXPECT_EQ(b.rec.x, a.rec.x);
    EXPECT_EQ(b.rec.y, a.rec.y);
    EXPECT_EQ(b.rec.textOriginX, a.rec.textOriginX);
    EXPECT_EQ(b.rec.textOriginY, a.rec.textOriginY);
    EXPECT_EQ(std::memcmp(b.rec.textColor, a.rec.textColor, 3), 0);
    EXPECT_EQ(b.rec.fontSize, a.rec.fontSize);
    EXPECT_EQ(GetFixedText(b.rec.fontFace, 25), GetFixedText(a.rec.fontFace, 25));
    EXPECT_TRUE(b.alpha == a.alpha);
    EXPECT_TRUE(b.pixels == a.pixels);
}
}  // namespace

TEST_F(TextLayers, UndoAndRedoOfTextSteps) {
    ASSERT_TRUE(doc.RecordUndoStep(u"Opening....", 0, 0));
    const int slot = NewText("되돌리기", 30, 30, 24);
    const LayerSnapshot entered(doc.Layer(slot));

    TextDialogValues v;
    v.settings = SettingsOfLayer(doc.Layer(slot));
    v.settings.size = 32;
    v.settings.color = PackBGR(0, 0, 200);
    v.text = Utf8ToUtf16("고친 글자");
    ASSERT_TRUE(doc.EditTextLayer(true, -1, -1, v));
    const LayerSnapshot edited(doc.Layer(slot));

    ASSERT_TRUE(doc.RasterizeTextLayer());
    const LayerSnapshot raster(doc.Layer(slot));

    ASSERT_TRUE(doc.Undo());   // rasterize
    ExpectSameLayer(edited, doc.Layer(slot));
    ASSERT_TRUE(doc.Undo());   // edit
    ExpectSameLayer(entered, doc.Layer(slot));
    ASSERT_TRUE(doc.Undo());   // entry: the layer is gone
    EXPECT_FALSE(doc.InStack(slot));
    EXPECT_EQ(doc.LayerCount(), 1);

    ASSERT_TRUE(doc.Redo());
    ASSERT_TRUE(doc.InStack(slot));
    ExpectSameLayer(entered, doc.Layer(slot));
    ASSERT_TRUE(doc.Redo());
    ExpectSameLayer(edited, doc.Layer(slot));
    ASSERT_TRUE(doc.Redo());
    ExpectSameLayer(raster, doc.Layer(slot));
}

TEST_F(TextLayers, DamagedStoredAttributesAreLimited) {
    host.SwitchTool(kBalloonTool);
    ASSERT_TRUE(doc.EditTextLayer(false, 50, 50, Values("풍선", 16)));
    LayerRecord& L = doc.Layer(doc.currentLayer);
    // Values a damaged document may carry.
    L.textBoxLeft = INT32_MAX - 5;
    L.textBoxTop = -7;
    L.textBoxWidth = INT32_MAX;
    L.textBoxHeight = 3;
    EXPECT_FALSE(doc.BuildBalloon(false, INT32_MIN, INT32_MAX));
    L.textBoxLeft = 10;
    L.textBoxTop = 10;
    L.textBoxWidth = 20;
    L.textBoxHeight = 10;
    EXPECT_TRUE(doc.BuildBalloon(false, INT32_MIN, INT32_MIN));   // a tail far away is clipped
    L.fontSize = INT32_MAX;
    L.charWidthScale = INT32_MIN;
    L.textOriginX = INT32_MIN;
    L.textOriginY = INT32_MAX;
    L.tailX = INT32_MAX;
    L.tailY = INT32_MIN;
    SetFixedText(L.fontFace, 25, u"");
    host.SwitchTool(kBalloonTailTool);
    TextDialogValues v;
    v.settings = SettingsOfLayer(L);
    EXPECT_EQ(v.settings.size, textrender::kMaxFontSize);
    EXPECT_EQ(v.settings.widthScale10, textrender::kMinWidthScale10);
    EXPECT_EQ(v.settings.face, u"굴림");
    v.settings.size = 12;
    v.text = u"다시";
    ASSERT_TRUE(doc.EditTextLayer(true, -1, -1, v));
    EXPECT_EQ(L.textOriginX, 0);
    EXPECT_EQ(L.textOriginY, 100);   // clamped to the former layer height
    EXPECT_LE(L.width * int64_t(L.height), int64_t(1) << 28);
}
