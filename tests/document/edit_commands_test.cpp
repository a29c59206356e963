// Clipboard, duplicate, channel-split and parameter-only commands.
#include <gtest/gtest.h>

#include <cstring>

#include "CVexoDoc.h"
#include "commands.h"
#include "test_support.h"
#include "undo_journal.h"

namespace {

bool RunCmd(CVexoDoc& doc, int id, std::vector<int> params = {}) {
    const commands::Command* c = commands::All().Find(id);
    EXPECT_NE(c, nullptr) << id;
    return c && c->run(doc, params);
}

struct Doc {
    HeadlessHost host;
    CVexoDoc doc{&host};
    explicit Doc(int w = 10, int h = 8) {
        host.echoMessages = false;
        EXPECT_TRUE(doc.NewImage(w, h));
        displayName();
        LayerRecord& L = doc.Layer(doc.currentLayer);
        const auto bytes = testsupport::RandomBytes(size_t(L.pixelSize), 11);
        std::memcpy(L.pixels.get(), bytes.data(), bytes.size());
        doc.RecordUndoStep(u"initial state", 0, doc.currentLayer);
    }
    void displayName() { doc.displayName = "그림"; }
    const UndoStep& Step() const { return doc.steps[size_t(doc.undoPos)]; }
};

std::vector<uint8_t> Bytes(const uint8_t* p, int n) { return std::vector<uint8_t>(p, p + n); }

// Selects canvas rectangle x0..x1, y0..y1 (origin top-left).
void Select(CVexoDoc& doc, int x0, int y0, int x1, int y1) {
    ASSERT_TRUE((*commands::All().FindNamed("rect"))(doc, std::to_string(x0) + "," + std::to_string(y0) + "," +
                                                            std::to_string(x1) + "," + std::to_string(y1)));
}

}  // namespace

TEST(EditCommands, CopyPasteMakesALayerWithThePixelsAndUndoes) {
    Doc d;
    const int base = d.doc.currentLayer;
    const LayerRecord& B = d.doc.Layer(base);
    ASSERT_TRUE(RunCmd(d.doc, 57634));
    EXPECT_FALSE(d.host.clipboard.empty());
    EXPECT_EQ(d.host.currentCommand, -1);
    ASSERT_TRUE(RunCmd(d.doc, 57637));
    ASSERT_EQ(d.doc.LayerCount(), 2);
    const int pasted = d.doc.currentLayer;
    ASSERT_NE(pasted, base);
    const LayerRecord& P = d.doc.Layer(pasted);
    EXPECT_EQ(d.Step().label, u"복사물 붙이기");
    EXPECT_EQ(d.Step().type, 3);
    ASSERT_EQ(P.width, B.width);
    ASSERT_EQ(P.height, B.height);
    EXPECT_EQ(P.x, 0);
    EXPECT_EQ(P.y, 0);
    for (int r = 0; r < B.height; ++r)
        ASSERT_EQ(Bytes(P.PixelRow(r), B.width * 3), Bytes(B.PixelRow(r), B.width * 3)) << r;
    EXPECT_EQ(P.effectKind, 0);

    ASSERT_TRUE(d.doc.Undo());
    EXPECT_EQ(d.doc.LayerCount(), 1);
    ASSERT_TRUE(d.doc.Redo());
    ASSERT_EQ(d.doc.LayerCount(), 2);
    const LayerRecord& R = d.doc.Layer(d.doc.currentLayer);
    for (int r = 0; r < B.height; ++r)
        ASSERT_EQ(Bytes(R.PixelRow(r), B.width * 3), Bytes(B.PixelRow(r), B.width * 3)) << r;
}

TEST(EditCommands, CopyOfSelectionAndWholeLayer) {
    Doc d;
    Select(d.doc, 2, 1, 5, 3);
    ASSERT_TRUE(RunCmd(d.doc, 57634));
    BitmapInfoHeader hdr;
    std::memcpy(&hdr, d.host.clipboard.data(), sizeof hdr);
    EXPECT_EQ(hdr.width, 4);
    EXPECT_EQ(hdr.height, 3);
    ASSERT_TRUE(RunCmd(d.doc, 4604));
    std::memcpy(&hdr, d.host.clipboard.data(), sizeof hdr);
    EXPECT_EQ(hdr.width, 10);
    EXPECT_EQ(hdr.height, 8);
    // The small picture pastes at the canvas's top-left: canvas (2..5, 0..2)
    // of the new layer hold the copied part.
    Select(d.doc, 2, 1, 5, 3);
    ASSERT_TRUE(RunCmd(d.doc, 57634));
    const LayerRecord& B = d.doc.Layer(d.doc.currentLayer);
    const std::vector<uint8_t> row1(B.PixelRow(8 - 1 - 1) + 2 * 3, B.PixelRow(8 - 1 - 1) + 6 * 3);
    d.doc.selectionActive = false;
    ASSERT_TRUE(RunCmd(d.doc, 57637));
    const LayerRecord& P = d.doc.Layer(d.doc.currentLayer);
    EXPECT_EQ(Bytes(P.PixelRow(8 - 1), 12), row1);   // canvas row 0
    EXPECT_EQ(P.alpha[size_t(7) * size_t(P.width) + 3], 255);
    EXPECT_EQ(P.alpha[size_t(7) * size_t(P.width) + 4], 0);   // outside the pasted picture
}

TEST(EditCommands, CutClearsTheSelectionWithAFeatheredEdge) {
    Doc d(12, 12);
    LayerRecord& L = d.doc.Layer(d.doc.currentLayer);
    const auto before = Bytes(L.alpha.get(), L.planeSize);
    Select(d.doc, 2, 2, 9, 9);
    ASSERT_TRUE(RunCmd(d.doc, 57635, {2}));
    EXPECT_EQ(d.Step().label, u"자르기");
    EXPECT_EQ(d.Step().type, 0);
    auto alphaAt = [&](int x, int y) { return int(L.alpha[size_t(12 - 1 - y) * 12 + size_t(x)]); };
    EXPECT_EQ(alphaAt(0, 0), 255);
    EXPECT_EQ(alphaAt(1, 5), 255);      // outside
    EXPECT_EQ(alphaAt(2, 5), 170);      // one pixel in: 255 * (1 - 1/3)
    EXPECT_EQ(alphaAt(3, 5), 85);       // two pixels in
    EXPECT_EQ(alphaAt(5, 5), 0);        // deep inside
    const auto cut = Bytes(L.alpha.get(), L.planeSize);
    EXPECT_NE(cut, before);
    ASSERT_TRUE(d.doc.Undo());
    EXPECT_EQ(Bytes(d.doc.Layer(d.doc.currentLayer).alpha.get(), L.planeSize), before);
    ASSERT_TRUE(d.doc.Redo());
    EXPECT_EQ(Bytes(d.doc.Layer(d.doc.currentLayer).alpha.get(), L.planeSize), cut);

    // Without a feather width the whole selected part goes.
    Doc e(6, 6);
    Select(e.doc, 1, 1, 4, 4);
    ASSERT_TRUE(RunCmd(e.doc, 57635));
    const LayerRecord& M = e.doc.Layer(e.doc.currentLayer);
    EXPECT_EQ(M.alpha[size_t(4) * 6 + 1], 0);
    EXPECT_EQ(M.alpha[size_t(4) * 6 + 0], 255);
}

TEST(EditCommands, GuardsRefuseTextLayersAndChangeNothing) {
    Doc d;
    d.doc.Layer(d.doc.currentLayer).kind = LayerText;
    const int steps = d.doc.undoPos;
    for (int id : {57634, 4604, 57635, 3500, 1441}) {
        d.host.messages.clear();
        EXPECT_FALSE(RunCmd(d.doc, id)) << id;
        ASSERT_FALSE(d.host.messages.empty()) << id;
        EXPECT_EQ(d.host.messages.back(), doctext::kTextLayerRefused);
    }
    EXPECT_TRUE(d.host.clipboard.empty());
    EXPECT_EQ(d.doc.undoPos, steps);
    EXPECT_EQ(d.doc.LayerCount(), 1);
    // Paste with an empty clipboard does nothing.
    d.doc.Layer(d.doc.currentLayer).kind = LayerImage;
    EXPECT_FALSE(RunCmd(d.doc, 57637));
    EXPECT_EQ(d.doc.LayerCount(), 1);
}

TEST(EditCommands, DuplicateLayerAndPicture) {
    Doc d;
    ASSERT_TRUE(RunCmd(d.doc, 3500));
    EXPECT_EQ(d.doc.LayerCount(), 2);
    EXPECT_EQ(d.Step().label, u"복사물 붙이기");

    ASSERT_TRUE(RunCmd(d.doc, 1412));
    ASSERT_EQ(d.host.newDocuments.size(), 1u);
    CVexoDoc& copy = *d.host.newDocuments[0];
    EXPECT_EQ(d.host.newDocumentTitles[0], "복사1_그림");
    ASSERT_EQ(copy.LayerCount(), 2);
    for (int i : d.doc.StackOrder())
        EXPECT_EQ(Bytes(copy.Layer(i).pixels.get(), copy.Layer(i).pixelSize),
                  Bytes(d.doc.Layer(i).pixels.get(), d.doc.Layer(i).pixelSize));
    EXPECT_EQ(copy.live.canvas.width, 10);
}

TEST(EditCommands, ChannelSplitsOpenThreeTitledDocuments) {
    Doc d(4, 3);
    LayerRecord& L = d.doc.Layer(d.doc.currentLayer);
    L.PixelRow(0)[0] = 10, L.PixelRow(0)[1] = 20, L.PixelRow(0)[2] = 30;   // blue, green, red
    ASSERT_TRUE(RunCmd(d.doc, 1441));
    ASSERT_EQ(d.host.newDocuments.size(), 3u);
    EXPECT_EQ(d.host.newDocumentTitles[0], "Red Channel 1 from 그림");
    EXPECT_EQ(d.host.newDocuments[0]->Layer(0).PixelRow(0)[0], 30);
    EXPECT_EQ(d.host.newDocuments[1]->Layer(0).PixelRow(0)[1], 20);
    EXPECT_EQ(d.host.newDocuments[2]->Layer(0).PixelRow(0)[2], 10);
    ASSERT_TRUE(RunCmd(d.doc, 1442));
    EXPECT_EQ(d.host.newDocumentTitles[3], "Y Channel 4 from 그림");
    EXPECT_EQ(d.host.newDocumentTitles[5], "V Channel 6 from 그림");
    ASSERT_TRUE(RunCmd(d.doc, 1443));
    EXPECT_EQ(d.host.newDocumentTitles[6], "Hue Channel 7 from 그림");
    EXPECT_EQ(d.host.newDocumentTitles[8], "Lightness Channel 9 from 그림");
    EXPECT_EQ(d.host.newDocuments[8]->live.canvas.width, 4);
}

TEST(EditCommands, FourBitEntriesOnlyStoreTheirParameters) {
    Doc d;
    const auto before = Bytes(d.doc.Layer(0).pixels.get(), d.doc.Layer(0).pixelSize);
    const int steps = d.doc.undoPos;
    ASSERT_TRUE(RunCmd(d.doc, 2011));
    EXPECT_EQ(d.host.currentCommand, 1433);
    EXPECT_EQ(d.doc.filterParams[1], 1);
    ASSERT_TRUE(RunCmd(d.doc, 2013));
    EXPECT_EQ(d.doc.filterParams[1], 0);
    EXPECT_EQ(d.doc.undoPos, steps);
    EXPECT_EQ(Bytes(d.doc.Layer(0).pixels.get(), d.doc.Layer(0).pixelSize), before);
    d.doc.image.info.transparentIndex = 3;
    ASSERT_TRUE(RunCmd(d.doc, 1430));
    EXPECT_EQ(d.doc.image.info.transparentIndex, -1);
    EXPECT_EQ(d.Step().label, u"Removetransparency");
}

TEST(EditCommands, CliSavesCreatedDocumentsBesideOut) {
    Doc d(6, 5);
    testsupport::TempDir dir;
    const std::string in = dir.File("in.bmp"), out = dir.File("out.bmp");
    ASSERT_TRUE(d.doc.Save(in));
    std::string listing;
    ASSERT_EQ(testsupport::Run(std::string(PIMLORA_CLI) + " run " + in + " " + out + " 1441 1412", &listing), 0)
        << listing;
    for (int n = 1; n <= 4; ++n) {
        HeadlessHost h;
        h.echoMessages = false;
        CVexoDoc back(&h);
        EXPECT_TRUE(back.Open(dir.File("out-" + std::to_string(n) + ".bmp"))) << n;
    }
    HeadlessHost h;
    h.echoMessages = false;
    CVexoDoc none(&h);
    EXPECT_FALSE(none.Open(dir.File("out-5.bmp")));
}

TEST(EditCommands, FreeTransformZoomRuleIdentityScaleAndUndo) {
    Doc d(8, 6);
    LayerRecord& L = d.doc.Layer(d.doc.currentLayer);
    const auto before = Bytes(L.pixels.get(), L.pixelSize);
    const int steps = d.doc.undoPos;
    d.doc.zoom = 2.0;
    EXPECT_FALSE(RunCmd(d.doc, 4250, {0, 0, 8, 0, 8, 6, 0, 6}));
    EXPECT_EQ(d.host.messages.back(), "자유변형은 줌 100% 상태에서 동작함");
    EXPECT_EQ(d.doc.zoom, 1.0);
    EXPECT_EQ(d.doc.undoPos, steps);
    EXPECT_EQ(Bytes(L.pixels.get(), L.pixelSize), before);

    // Handles on the layer's edges give it back.
    ASSERT_TRUE(RunCmd(d.doc, 4251, {0, 0, 8, 0, 8, 6, 0, 6}));
    EXPECT_EQ(d.Step().label, u"자유변형_왜곡");
    EXPECT_EQ(d.Step().type, 0);
    ASSERT_EQ(d.doc.Layer(d.doc.currentLayer).width, 8);
    EXPECT_EQ(Bytes(d.doc.Layer(d.doc.currentLayer).pixels.get(), L.pixelSize), before);

    // Twice the size, moved right by 2: a 16 x 12 layer at x 2, the top-left
    // source pixel covering the top-left 2 x 2 block.
    ASSERT_TRUE(RunCmd(d.doc, 4250, {2, 0, 18, 0, 18, 12, 2, 12}));
    const LayerRecord& S = d.doc.Layer(d.doc.currentLayer);
    EXPECT_EQ(S.width, 16);
    EXPECT_EQ(S.height, 12);
    EXPECT_EQ(S.x, 2);
    EXPECT_EQ(d.Step().label, u"자유변형_크기");
    const uint8_t* srcTopLeft = before.data() + size_t(5) * 24;   // stored row 5 of 6, rows of 24 bytes
    const int stride = S.stride;
    for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx)
            EXPECT_EQ(Bytes(S.pixels.get() + size_t(11 - dy) * size_t(stride) + size_t(dx) * 3, 3),
                      Bytes(srcTopLeft, 3));
    const auto scaled = Bytes(S.pixels.get(), S.pixelSize);
    ASSERT_TRUE(d.doc.Undo());
    EXPECT_EQ(d.doc.Layer(d.doc.currentLayer).width, 8);
    EXPECT_EQ(Bytes(d.doc.Layer(d.doc.currentLayer).pixels.get(), d.doc.Layer(d.doc.currentLayer).pixelSize), before);
    ASSERT_TRUE(d.doc.Redo());
    EXPECT_EQ(Bytes(d.doc.Layer(d.doc.currentLayer).pixels.get(), d.doc.Layer(d.doc.currentLayer).pixelSize), scaled);

    d.doc.Layer(d.doc.currentLayer).kind = LayerBalloon;
    EXPECT_FALSE(RunCmd(d.doc, 4252, {0, 0, 8, 0, 8, 6, 0, 6}));
    EXPECT_EQ(d.host.messages.back(), "[말풍선]레이어 입니다. [레스터 형식 변환] 후 다시 실행하십시요.");
}

TEST(EditCommands, ShadowEffectRendersAndUndoes) {
    Doc d(20, 20);
    LayerRecord& L = d.doc.Layer(d.doc.currentLayer);
    std::memset(L.alpha.get(), 0, size_t(L.planeSize));
    for (int r = 8; r < 12; ++r) std::memset(L.alpha.get() + size_t(r) * 20 + 8, 255, 4);
    d.doc.RecordUndoStep(u"shape", 0, d.doc.currentLayer);
    const auto alphaBefore = Bytes(L.alpha.get(), L.planeSize);
    ASSERT_TRUE(RunCmd(d.doc, 1558, {3, 0, 3, 2, 150}));
    EXPECT_EQ(d.Step().label, u"레이어효과(그림자)");
    EXPECT_EQ(L.effectKind, 3);
    const LayerRecord& S = d.doc.Layer(d.doc.currentLayer);
    EXPECT_NE(Bytes(S.alpha.get(), S.planeSize), alphaBefore);
    ASSERT_TRUE(d.doc.Undo());
    EXPECT_EQ(d.doc.Layer(d.doc.currentLayer).effectKind, 0);
    EXPECT_EQ(Bytes(d.doc.Layer(d.doc.currentLayer).alpha.get(), S.planeSize), alphaBefore);
}

TEST(EditCommands, EllipseTransformChangesOnlyTheDocumentImage) {
    Doc d(9, 7);
    VaZavi& img = d.doc.image;
    for (int r = 0; r < img.Height(); ++r) std::memset(img.Row(r), 40, size_t(img.Width()) * 3);
    const auto layer = Bytes(d.doc.Layer(0).pixels.get(), d.doc.Layer(0).pixelSize);
    ASSERT_TRUE(RunCmd(d.doc, 1406));
    EXPECT_EQ(d.Step().label, u"Ellipse transform");
    EXPECT_EQ(img.Row(0)[0], 255);                  // corner outside the ellipse
    EXPECT_EQ(img.Row(3)[4 * 3], 40);               // centre
    EXPECT_EQ(img.Row(3)[0], 40);                   // middle row keeps its ends
    EXPECT_EQ(Bytes(d.doc.Layer(0).pixels.get(), d.doc.Layer(0).pixelSize), layer);
}
