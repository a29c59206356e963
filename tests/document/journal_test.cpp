// Undo journal: undo and redo over every step type, the ring of 20 steps,
// the fall-back to older files, and damaged journal files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "CVexoDoc.h"
#include "commands.h"
#include "journaled_doc.h"
#include "test_support.h"
#include "undo_journal.h"

namespace {

struct JournalFixture : JournaledDocTest {
    void SetUp() override { StartJournal(8, 6); }
    std::string LayerFile(int step, int slot) const {
        return journal::LayerFileName(host.journalFolder, doc.docSerial, step, slot);
    }
    // Fills a layer's pixels with one value and its alpha with another.
    void Paint(int slot, uint8_t value, uint8_t alpha = 255) {
        LayerRecord& l = doc.Layer(slot);
        std::memset(l.pixels.get(), value, size_t(l.pixelSize));
        std::memset(l.alpha.get(), alpha, size_t(l.planeSize));
    }
    void PaintStep(int slot, uint8_t value, const char16_t* label = u"붓 도구") {
        doc.currentLayer = slot;
        Paint(slot, value);
        ASSERT_TRUE(doc.RecordUndoStep(label, UndoLayerChanged, slot));
    }
    uint8_t PixelOf(int slot) const { return doc.Layer(slot).pixels[0]; }
    bool Uniform(int slot, uint8_t value) const {
        const LayerRecord& l = doc.Layer(slot);
        for (int r = 0; r < l.height; ++r)
            for (int c = 0; c < l.width * 3; ++c)
                if (l.PixelRow(r)[c] != value) return false;
        return true;
    }
};

TEST_F(JournalFixture, PixelStepsUndoAndRedoWithStatusLine) {
    EXPECT_EQ(doc.undoPos, 0);
    EXPECT_FALSE(doc.CanUndo());
    PaintStep(0, 10, u"첫째");
    PaintStep(0, 20, u"둘째");
    EXPECT_TRUE(doc.modified);
    EXPECT_EQ(doc.redoTop, 2);

    ASSERT_TRUE(doc.Undo());
    EXPECT_TRUE(Uniform(0, 10));
    EXPECT_TRUE(doc.CanRedo());
    ASSERT_TRUE(doc.Undo());   // back to step 0: the head file
    EXPECT_TRUE(Uniform(0, 255));
    EXPECT_FALSE(doc.Undo());  // nothing below step 0
    EXPECT_EQ(doc.undoPos, 0);
    EXPECT_TRUE(Uniform(0, 255));

    ASSERT_TRUE(doc.Redo());
    EXPECT_TRUE(Uniform(0, 10));
    ASSERT_TRUE(doc.Redo());
    EXPECT_TRUE(Uniform(0, 20));
    EXPECT_FALSE(doc.Redo());
    EXPECT_EQ(host.status, "");   // the status bar shows no journal listing
    // The previous-state copy follows.
    EXPECT_EQ(doc.prevState.layers[0].pixels[0], 20);

    // A new step after an undo ends redo.
    ASSERT_TRUE(doc.Undo());
    PaintStep(0, 30);
    EXPECT_FALSE(doc.Redo());
    EXPECT_EQ(doc.undoPos, 2);
    EXPECT_TRUE(Uniform(0, 30));
}

TEST_F(JournalFixture, LayerFilesHoldExactlyTheBuffers) {
    PaintStep(0, 7);
    struct stat st;
    ASSERT_EQ(stat(LayerFile(1, 0).c_str(), &st), 0);
    const LayerRecord& l = doc.Layer(0);
    const int64_t mask = int64_t(doc.live.selection.width) * doc.live.selection.height;
    EXPECT_EQ(st.st_size, l.pixelSize + 2 * l.planeSize + mask);
    auto bytes = testsupport::ReadBytes(LayerFile(1, 0));
    EXPECT_EQ(bytes[0], 7);
    EXPECT_EQ(bytes[size_t(l.pixelSize)], 255);   // alpha follows the pixels
    // Head file: canvas block, then "848 P Q" and the record.
    auto head = testsupport::ReadBytes(journal::HeadFileName(host.journalFolder, doc.docSerial));
    ASSERT_GT(head.size(), 256u + 848u);
    CanvasInfo canvas;
    std::memcpy(&canvas, head.data(), sizeof canvas);
    EXPECT_EQ(canvas.width, 8);
    EXPECT_EQ(canvas.height, 6);
    EXPECT_EQ(canvas.scratchAddr1, 0u);
    const std::string line = "848 " + std::to_string(l.pixelSize) + " " + std::to_string(l.planeSize);
    EXPECT_EQ(std::string(head.begin() + 256, head.begin() + 256 + long(line.size())), line);
    EXPECT_EQ(head.size(), 256 + line.size() + 848 + size_t(l.pixelSize + 2 * l.planeSize));
}

TEST_F(JournalFixture, AddedPastedAndEnteredLayersGoAndComeBack) {
    for (int type : {UndoLayerAdded, UndoLayerPasted, UndoTextEntered}) {
        SCOPED_TRACE(type);
        const int before = doc.LayerCount();
        ASSERT_TRUE(doc.InsertLayer(-1, doc.currentLayer));
        const int slot = doc.currentLayer;
        const int below = doc.Layer(slot).prev;
        Paint(slot, uint8_t(40 + type), 128);
        ASSERT_TRUE(doc.RecordUndoStep(u"레이어추가", type, slot));
        PaintStep(slot, 99);

        ASSERT_TRUE(doc.Undo());
        EXPECT_TRUE(Uniform(slot, uint8_t(40 + type)));
        ASSERT_TRUE(doc.Undo());
        EXPECT_EQ(doc.LayerCount(), before);
        EXPECT_FALSE(doc.InStack(slot));
        ASSERT_TRUE(doc.Redo());
        EXPECT_TRUE(doc.InStack(slot));
        EXPECT_EQ(doc.Layer(slot).prev, below);
        EXPECT_EQ(doc.Layer(below).next, slot);
        EXPECT_TRUE(Uniform(slot, uint8_t(40 + type)));
        EXPECT_EQ(doc.Layer(slot).alpha[0], 128);
        ASSERT_TRUE(doc.Redo());
        EXPECT_TRUE(Uniform(slot, 99));
    }
    EXPECT_EQ(doc.LayerCount(), 4);
}

TEST_F(JournalFixture, DeletedLayerIsReinsertedBetweenItsNeighbours) {
    doc.AddLayer();   // slot 1, step 1
    doc.AddLayer();   // slot 2, step 2
    PaintStep(1, 77); // step 3
    doc.currentLayer = 1;
    ASSERT_TRUE(doc.DeleteLayer(1, true));   // step 4, type 1
    EXPECT_EQ(doc.steps[4].type, UndoLayerDeleted);
    EXPECT_EQ(doc.StackOrder(), (std::vector<int>{0, 2}));
    EXPECT_EQ(doc.Layer(1).pixels, nullptr);   // freed once recorded

    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.StackOrder(), (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(Uniform(1, 77));
    ASSERT_TRUE(doc.Redo());
    EXPECT_EQ(doc.StackOrder(), (std::vector<int>{0, 2}));
    ASSERT_TRUE(doc.Undo());
    EXPECT_TRUE(Uniform(1, 77));
}

TEST_F(JournalFixture, MergeFlattenAndLinkStepsRestoreTheStack) {
    doc.AddLayer();   // slot 1 above 0, transparent
    PaintStep(1, 50);
    PaintStep(0, 60);
    // Merge 1 into 0 (type 9): the upper layer leaves the stack.
    ASSERT_TRUE(doc.MergeLayerPair(0, 1));
    EXPECT_EQ(doc.steps[size_t(doc.undoPos)].type, UndoMerge);
    EXPECT_EQ(doc.StackOrder(), (std::vector<int>{0}));
    EXPECT_TRUE(Uniform(0, 50));
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.StackOrder(), (std::vector<int>{0, 1}));
    EXPECT_TRUE(Uniform(0, 60));
    EXPECT_TRUE(Uniform(1, 50));
    ASSERT_TRUE(doc.Redo());
    EXPECT_EQ(doc.StackOrder(), (std::vector<int>{0}));
    EXPECT_TRUE(Uniform(0, 50));
    ASSERT_TRUE(doc.Undo());

    // Flatten (type 8).
    ASSERT_TRUE(doc.FlattenDocument());
    EXPECT_EQ(doc.steps[size_t(doc.undoPos)].type, UndoFlatten);
    EXPECT_EQ(doc.LayerCount(), 1);
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.StackOrder(), (std::vector<int>{0, 1}));
    EXPECT_TRUE(Uniform(0, 60));

    // A change of order (type 6): 1 goes to the bottom.
    doc.headLayer = 1;
    doc.Layer(1).prev = -1;
    doc.Layer(1).next = 0;
    doc.Layer(0).prev = 1;
    doc.Layer(0).next = -1;
    doc.currentLayer = 1;
    ASSERT_TRUE(doc.RecordUndoStep(u"순서", UndoLinksChanged, 1));
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.StackOrder(), (std::vector<int>{0, 1}));
    ASSERT_TRUE(doc.Redo());
    EXPECT_EQ(doc.StackOrder(), (std::vector<int>{1, 0}));
}

TEST_F(JournalFixture, TextEditRestoresTextColourAndSizeWithoutPixels) {
    ASSERT_TRUE(doc.InsertLayer(-1, 0));
    const int slot = doc.currentLayer;
    auto makeText = [&](const std::u16string& text, uint8_t red, int width) {
        LayerRecord& l = doc.Layer(slot);
        ASSERT_TRUE(doc.SetupLayerBuffers(3, width, u"", kTypeBMP, 24, 0, 0, slot, 1, 0, 2, -1, -1, 0, 0, LayerText,
                                          -1, false));
        l.textLength = int32_t(text.size());
        l.text.reset(new char16_t[text.size() + 1]());
        std::copy(text.begin(), text.end(), l.text.get());
        l.textColor[2] = red;
        std::memset(l.alpha.get(), 200, size_t(l.planeSize));
        doc.live.canvas.width = 8;   // the set-up took the layer's size as canvas
        doc.live.canvas.height = 6;
    };
    makeText(u"가나다", 10, 5);
    ASSERT_TRUE(doc.RecordUndoStep(u"글자입력", UndoTextEntered, slot));
    struct stat st;
    ASSERT_EQ(stat(LayerFile(doc.undoPos, slot).c_str(), &st), 0);
    const int64_t mask = int64_t(doc.live.selection.width) * doc.live.selection.height;
    EXPECT_EQ(st.st_size, 2 * 15 + mask + 3 * 2);   // no pixels for text layers

    makeText(u"hello!!", 200, 7);
    ASSERT_TRUE(doc.RecordUndoStep(u"글자수정", UndoTextEdited, slot));
    ASSERT_TRUE(doc.Undo());
    const LayerRecord& l = doc.Layer(slot);
    EXPECT_EQ(std::u16string(l.text.get()), u"가나다");
    EXPECT_EQ(l.textLength, 3);
    EXPECT_EQ(l.textColor[2], 10);
    EXPECT_EQ(l.width, 5);
    EXPECT_EQ(l.kind, LayerText);
    EXPECT_EQ(l.alpha[4], 200);
    ASSERT_TRUE(doc.Redo());
    EXPECT_EQ(std::u16string(doc.Layer(slot).text.get()), u"hello!!");
    EXPECT_EQ(doc.Layer(slot).width, 7);
}

TEST_F(JournalFixture, WholeDocumentStepsRebuildEveryLayer) {
    doc.AddLayer();   // slot 1
    PaintStep(1, 33);
    PaintStep(0, 44);
    for (int type : {UndoWholeDocument, UndoWholeWithAngle}) {
        SCOPED_TRACE(type);
        // The command writes every layer for the current step, then changes
        // the canvas: both layers become 4 x 3.
        ASSERT_TRUE(doc.JournalAllLayers());
        for (int s : {0, 1}) {
            ASSERT_TRUE(doc.SetupLayerBuffers(3, 4, u"", kTypeBMP, 24, 0, 255, s, 0, 0, 2, 4, 3, 1, 0, 0, -1, false));
            Paint(s, uint8_t(100 + s + type));
        }
        doc.angle = 90.0;
        ASSERT_TRUE(doc.RecordUndoStep(type == UndoWholeDocument ? u"이미지크기" : u"캔버스 90 우회전", type, 0));
        EXPECT_EQ(doc.steps[size_t(doc.undoPos)].angle, type == UndoWholeWithAngle ? 90.0 : 0.0);

        ASSERT_TRUE(doc.Undo());
        EXPECT_EQ(doc.live.canvas.width, 8);
        EXPECT_EQ(doc.live.canvas.height, 6);
        EXPECT_EQ(doc.Layer(1).width, 8);
        EXPECT_TRUE(Uniform(1, 33));
        EXPECT_TRUE(Uniform(0, 44));
        ASSERT_TRUE(doc.Redo());
        EXPECT_EQ(doc.live.canvas.width, 4);
        EXPECT_EQ(doc.Layer(0).height, 3);
        EXPECT_TRUE(Uniform(0, uint8_t(100 + type)));
        EXPECT_TRUE(Uniform(1, uint8_t(101 + type)));
        ASSERT_TRUE(doc.Undo());
    }
}

TEST_F(JournalFixture, TwentyFirstStepShiftsTheRing) {
    for (int i = 1; i <= 19; ++i) PaintStep(0, uint8_t(i), (u"s" + std::u16string(1, char16_t(u'A' + i))).c_str());
    EXPECT_EQ(doc.undoPos, 19);
    EXPECT_EQ(doc.steps.size(), 20u);
    const auto step3File = testsupport::ReadBytes(LayerFile(3, 0));
    PaintStep(0, 20, u"s21");   // the 21st step
    EXPECT_EQ(doc.undoPos, 19);
    EXPECT_EQ(doc.steps.size(), 20u);
    EXPECT_EQ(doc.steps[0].label, u"initial state");
    EXPECT_EQ(doc.steps[1].label, u"sB");
    EXPECT_EQ(doc.steps[2].label, u"sD");   // old step 2 ("sC") is gone
    EXPECT_EQ(doc.steps[19].label, u"s21");
    EXPECT_EQ(testsupport::ReadBytes(LayerFile(2, 0)), step3File);   // renamed one down
    EXPECT_EQ(access(LayerFile(19, 0).c_str(), F_OK), 0);
    EXPECT_NE(access(LayerFile(20, 0).c_str(), F_OK), 0);

    ASSERT_TRUE(doc.Undo());
    EXPECT_TRUE(Uniform(0, 19));
    for (int i = 0; i < 16; ++i) ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.undoPos, 2);
    EXPECT_TRUE(Uniform(0, 3));   // what was step 3
    ASSERT_TRUE(doc.Undo());
    EXPECT_TRUE(Uniform(0, 1));   // step 1 stayed
    ASSERT_TRUE(doc.Redo());      // reads the redo head file at step 2
    EXPECT_TRUE(Uniform(0, 3));
}

TEST_F(JournalFixture, MissingFilesFallBackToOlderStepsAndTheHeadFile) {
    ASSERT_TRUE(doc.InsertLayer(-1, 0));   // slot 1, before the journal starts again
    Paint(1, 5);
    doc.currentLayer = 0;
    ASSERT_TRUE(doc.RecordUndoStep(u"initial state", UndoLayerChanged, 0));
    PaintStep(0, 10);   // 1
    PaintStep(0, 20);   // 2
    PaintStep(0, 30);   // 3
    PaintStep(1, 40);   // 4
    ASSERT_EQ(unlink(LayerFile(2, 0).c_str()), 0);
    doc.currentLayer = 0;
    PaintStep(0, 50);   // 5
    ASSERT_TRUE(doc.Undo());   // layer 0 from step 4: no file, step 3 has one
    EXPECT_TRUE(Uniform(0, 30));
    ASSERT_TRUE(doc.Undo());   // layer 1 from step 3: no file down to step 0 -> head file
    EXPECT_TRUE(Uniform(1, 5));
    ASSERT_TRUE(doc.Undo());   // layer 0 from step 2: deleted -> step 1
    EXPECT_TRUE(Uniform(0, 10));
}

TEST_F(JournalFixture, DamagedLayerFilesAreRefusedAndChangeNothing) {
    PaintStep(0, 10);
    PaintStep(0, 20);
    // Truncated, grown, and missing together with the head file.
    for (int cut : {1, -1}) {
        SCOPED_TRACE(cut);
        auto bytes = testsupport::ReadBytes(LayerFile(1, 0));
        auto damaged = bytes;
        if (cut > 0) damaged.resize(bytes.size() - 1);
        else damaged.push_back(0);
        testsupport::WriteBytes(LayerFile(1, 0), damaged);
        EXPECT_FALSE(doc.Undo());
        EXPECT_EQ(doc.undoPos, 2);
        EXPECT_TRUE(Uniform(0, 20));
        EXPECT_FALSE(host.messages.empty());
        testsupport::WriteBytes(LayerFile(1, 0), bytes);
    }
    ASSERT_TRUE(doc.Undo());
    EXPECT_TRUE(Uniform(0, 10));
    ASSERT_TRUE(doc.Redo());
    // A step whose file and every older source are gone.
    unlink(LayerFile(1, 0).c_str());
    unlink(LayerFile(0, 0).c_str());
    unlink(journal::HeadFileName(host.journalFolder, doc.docSerial).c_str());
    EXPECT_FALSE(doc.Undo());
    EXPECT_EQ(doc.undoPos, 2);
    EXPECT_TRUE(Uniform(0, 20));
    PaintStep(0, 25);   // the document stays usable
    EXPECT_EQ(doc.undoPos, 3);
}

TEST_F(JournalFixture, HostileHeadFilesAreRefused) {
    PaintStep(0, 10);
    const std::string head = journal::HeadFileName(host.journalFolder, doc.docSerial);
    const auto good = testsupport::ReadBytes(head);
    const LayerRecord& l = doc.Layer(0);
    const size_t line = ("848 " + std::to_string(l.pixelSize) + " " + std::to_string(l.planeSize)).size();
    const size_t rec = 256 + line;
    auto setInt = [](std::vector<uint8_t>& b, size_t at, int32_t v) { std::memcpy(&b[at], &v, 4); };
    std::vector<std::vector<uint8_t>> bad;
    bad.push_back(std::vector<uint8_t>(good.begin(), good.begin() + 100));   // truncated canvas
    bad.push_back(std::vector<uint8_t>(good.begin(), good.end() - 1));       // truncated planes
    {
        auto b = good;
        b.push_back(0);   // trailing byte
        bad.push_back(b);
    }
    {
        auto b = good;
        setInt(b, 204, 1 << 20);   // canvas width far beyond the cap
        setInt(b, 200, 1 << 20);
        bad.push_back(b);
    }
    {
        auto b = good;
        setInt(b, rec + 212, 0x00000000);   // next points at itself: a cycle (slot 0)
        b[rec + 212] = 0;
        b[rec + 213] = 0;
        bad.push_back(b);
    }
    {
        auto b = good;
        setInt(b, rec + 248, 1 << 16);   // height that does not match the sizes
        bad.push_back(b);
    }
    {
        auto b = good;
        b[256] = '9';   // record length 948
        bad.push_back(b);
    }
    {
        auto b = good;
        setInt(b, rec + 268, 5000);   // text length beyond 700
        b[rec + 208] = LayerText;
        bad.push_back(b);
    }
    for (size_t i = 0; i < bad.size(); ++i) {
        SCOPED_TRACE(i);
        testsupport::WriteBytes(head, bad[i]);
        EXPECT_FALSE(doc.Undo());
        EXPECT_EQ(doc.undoPos, 1);
        EXPECT_TRUE(Uniform(0, 10));
        EXPECT_EQ(doc.live.canvas.width, 8);
    }
    testsupport::WriteBytes(head, good);
    ASSERT_TRUE(doc.Undo());
    EXPECT_TRUE(Uniform(0, 255));
}

TEST_F(JournalFixture, UndoBrushTakesTheStateBeforeTheLastOtherStep) {
    EXPECT_FALSE(doc.UndoBrushSelectSource());   // needs a step to go back to
    PaintStep(0, 10);    // 1
    PaintStep(0, 20);    // 2
    ASSERT_TRUE(doc.UndoBrushSelectSource());
    EXPECT_EQ(doc.undoBrushSourceStep, 1);
    EXPECT_EQ(doc.undoBrushSource[0], 10);
    EXPECT_EQ(host.currentTool, 4669);
    PaintStep(0, 15, u"작업취소붓");   // 3
    PaintStep(0, 12, u"작업취소붓");   // 4
    ASSERT_TRUE(doc.UndoBrushSelectSource());
    EXPECT_EQ(doc.undoBrushSourceStep, 1);   // the step below "step 2"
    EXPECT_EQ(doc.undoBrushSource[0], 10);

    // A layer whose size changed since the step before is refused.
    ASSERT_TRUE(doc.SetupLayerBuffers(3, 4, u"", kTypeBMP, 24, 0, 255, 0, 0, 0, 2, -1, -1, 1, 0, 0, -1, false));
    ASSERT_TRUE(doc.RecordUndoStep(u"이미지크기", UndoLayerChanged, 0));
    host.messages.clear();
    EXPECT_FALSE(doc.UndoBrushSelectSource());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "바로 전과 현재 이미지의 크기가 상이하여 적용 불가");
}

TEST_F(JournalFixture, SelectionComesBackWithItsStep) {
    ASSERT_TRUE(doc.SelectShape(1, {{1, 1}, {2, 2}}, 0));   // picture rows 1..2 = stored rows 3..4
    const auto selected = doc.live.selection.mask;
    PaintStep(0, 10);   // 1: with the selection
    doc.ClearSelection();
    PaintStep(0, 20);   // 2: without
    EXPECT_EQ(doc.live.selection.mask, std::vector<uint8_t>(48, 1));
    ASSERT_TRUE(doc.Undo());
    EXPECT_TRUE(doc.selectionActive);
    EXPECT_EQ(doc.live.selection.mask, selected);
    ASSERT_TRUE(doc.Redo());
    EXPECT_FALSE(doc.selectionActive);
    EXPECT_EQ(doc.live.selection.mask, std::vector<uint8_t>(48, 1));
    // Step 0 with an active selection: the mask comes from its layer file.
    ASSERT_TRUE(doc.SelectShape(1, {{1, 1}, {2, 2}}, 0));
    ASSERT_TRUE(doc.RecordUndoStep(u"initial state", 0, -1));
    doc.ClearSelection();
    PaintStep(0, 30);
    ASSERT_TRUE(doc.Undo());
    EXPECT_TRUE(doc.selectionActive);
    EXPECT_EQ(doc.live.selection.mask, selected);
}

TEST(Journal, OpeningRestartsAndAnUnwritableFolderClosesTheProgram) {
    HeadlessHost host;
    host.echoMessages = false;
    host.journalFolder = "/nonexistent-pimlora-folder/";
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(4, 4));
    EXPECT_FALSE(doc.RecordUndoStep(u"Opening....", 0, -1));
    EXPECT_TRUE(host.closeRequested);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "임시 파일 생성 실패 : 관리자권한으로 실행 바람");
    EXPECT_EQ(doc.undoPos, -1);
}

TEST_F(JournalFixture, CommandsAndRestart) {
    PaintStep(0, 10);
    const commands::Table& t = commands::All();
    ASSERT_NE(t.Find(4870), nullptr);
    ASSERT_NE(t.Find(4871), nullptr);
    EXPECT_TRUE(t.Find(4870)->run(doc, {}));
    EXPECT_TRUE(Uniform(0, 255));
    EXPECT_TRUE(t.Find(4871)->run(doc, {}));
    EXPECT_TRUE(Uniform(0, 10));
    // "Opening...." starts the journal again; no old file is taken for it.
    ASSERT_TRUE(doc.RecordUndoStep(u"Opening....", 0, -1));
    EXPECT_EQ(doc.undoPos, 0);
    EXPECT_EQ(doc.steps.size(), 1u);
    EXPECT_NE(access(LayerFile(1, 0).c_str(), F_OK), 0);
    EXPECT_FALSE(doc.Undo());
}

}  // namespace

namespace {

TEST(JournalCli, UndoRedoAndSelectionStepsThroughRun) {
    testsupport::TempDir dir;
    const std::string im = testsupport::ImageMagick();
    ASSERT_EQ(testsupport::Run(im + " -size 8x4 xc:red -fill blue -draw 'rectangle 4,0 7,3' -type TrueColor BMP3:" +
                               dir.File("in.bmp")),
              0);
    const std::string cli = std::string("PIMLORA_HOME=") + dir.Path() + " " + PIMLORA_CLI;
    std::string out;
    ASSERT_EQ(testsupport::Run(cli + " run " + dir.File("in.bmp") + " " + dir.File("out.vor") +
                                   " --journal 1552 move:1,2,1 4870 4870 4871 wand:0,0 2058 range:0000FF,0 rect:0,0,1,1 "
                                   "2060 4871",
                               &out),
              0);
    EXPECT_EQ(out, "0 0 Opening....\n1 2 레이어추가\n2 0 전체영상 위치이동\n");
    ASSERT_EQ(testsupport::Run(std::string(PIMLORA_CLI) + " layers " + dir.File("out.vor"), &out), 0);
    EXPECT_NE(out.find("slot=1 kind=0 name=레이어 1 x=2 y=1 "), std::string::npos) << out;
    // Malformed selection steps are usage errors.
    EXPECT_EQ(testsupport::Run(cli + " run " + dir.File("in.bmp") + " " + dir.File("x.bmp") + " wand:1 2>/dev/null"), 2);
    EXPECT_EQ(testsupport::Run(cli + " run " + dir.File("in.bmp") + " " + dir.File("x.bmp") + " range:red 2>/dev/null"),
              2);
    // Each run had its own journal folder, removed at its end.
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path() + "/tmp"));
}

}  // namespace
