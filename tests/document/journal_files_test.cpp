// Journal files read back: missing, foreign and damaged files refuse the
// undo, redo or undo brush and change nothing; steps that change only
// settings keep no copy of the layer; the writer thread leaves the same
// files as writing at once, and whoever needs a file waits for it.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>

#include "CVexoDoc.h"
#include "commands.h"
#include "journal_io.h"
#include "journal_writer.h"
#include "journaled_doc.h"
#include "test_support.h"
#include "undo_journal.h"

namespace {

const char* const kDamaged = "작업 기록 파일이 없거나 손상되어 되돌릴 수 없습니다.";

// Every file of a folder with its bytes.
std::map<std::string, std::vector<uint8_t>> FolderBytes(const std::string& folder) {
    std::map<std::string, std::vector<uint8_t>> files;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            struct stat st;
            if (stat((folder + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) files[name + "/"] = {};
            else files[name] = testsupport::ReadBytes(folder + "/" + name);
        }
        closedir(dir);
    }
    return files;
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

struct Files : JournaledDocTest {
    void SetUp() override { StartJournal(8, 6); }
    std::string Folder() const { return host.journalFolder; }
    std::string LayerFile(int pos, int slot) const {
        return journal::LayerFileName(Folder(), doc.docSerial, pos, slot);
    }
    std::string SelectionFile(int pos, int slot) const {
        return journal::SelectionFileName(Folder(), doc.docSerial, pos, slot);
    }
    void Paint(int slot, uint8_t value) {
        LayerRecord& l = doc.Layer(slot);
        std::memset(l.pixels.get(), value, size_t(l.pixelSize));
    }
    void PaintStep(int slot, uint8_t value) {
        doc.currentLayer = slot;
        Paint(slot, value);
        ASSERT_TRUE(doc.RecordUndoStep(u"붓 도구", UndoLayerChanged, slot));
    }
    bool Uniform(int slot, uint8_t value) const {
        const LayerRecord& l = doc.Layer(slot);
        for (int i = 0; i < l.pixelSize; ++i)
            if (l.pixels[size_t(i)] != value) return false;
        return true;
    }
    bool Run(int id, std::vector<int> params = {}) { return commands::All().Find(id)->run(doc, params); }
    bool RunNamed(const std::string& name, const std::string& args) {
        return (*commands::All().FindNamed(name))(doc, args);
    }
};

// Ways to spoil the file at `path`; `other` is a good file of the same
// document and size but another step.
struct Damage {
    const char* what;
    void (*apply)(const std::string& path, const std::string& other);
};

void Reseal(std::vector<uint8_t>& b) {
    journal::StepFileHeader h;
    std::memcpy(&h, b.data(), sizeof h);
    journal::SealHeader(h, h.payloadCrc);
    std::memcpy(b.data(), &h, sizeof h);
}

const Damage kDamages[] = {
    {"missing", [](const std::string& p, const std::string&) { unlink(p.c_str()); }},
    {"one byte short",
     [](const std::string& p, const std::string&) {
         auto b = testsupport::ReadBytes(p);
         b.pop_back();
         testsupport::WriteBytes(p, b);
     }},
    {"one pixel changed",
     [](const std::string& p, const std::string&) {
         auto b = testsupport::ReadBytes(p);
         b[100] ^= 0x40;
         testsupport::WriteBytes(p, b);
     }},
    {"header byte changed",
     [](const std::string& p, const std::string&) {
         auto b = testsupport::ReadBytes(p);
         b[9] ^= 1;
         testsupport::WriteBytes(p, b);
     }},
    {"the file of another step",
     [](const std::string& p, const std::string& other) { testsupport::WriteBytes(p, testsupport::ReadBytes(other)); }},
    {"another document's file",
     [](const std::string& p, const std::string&) {
         auto b = testsupport::ReadBytes(p);
         int32_t serial;
         std::memcpy(&serial, b.data() + 8, 4);
         serial += 1;
         std::memcpy(b.data() + 8, &serial, 4);
         Reseal(b);
         testsupport::WriteBytes(p, b);
     }},
    {"another slot's file",
     [](const std::string& p, const std::string&) {
         auto b = testsupport::ReadBytes(p);
         b[16] = 3;
         Reseal(b);
         testsupport::WriteBytes(p, b);
     }},
    {"a directory", [](const std::string& p, const std::string&) {
         unlink(p.c_str());
         mkdir(p.c_str(), 0700);
     }},
};

TEST_F(Files, MissingForeignOrDamagedFilesRefuseAndChangeNothing) {
    PaintStep(0, 10);   // 1
    PaintStep(0, 20);   // 2
    PaintStep(0, 30);   // 3
    doc.FlushJournal();
    const std::string target = LayerFile(2, 0);
    const auto good = testsupport::ReadBytes(target);
    for (const Damage& d : kDamages) {
        SCOPED_TRACE(d.what);
        // Undo from step 3 needs step 2's file.
        d.apply(target, LayerFile(1, 0));
        const auto before = FolderBytes(Folder());
        host.messages.clear();
        EXPECT_FALSE(doc.Undo());
        EXPECT_EQ(doc.undoPos, 3);
        EXPECT_TRUE(Uniform(0, 30));
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0], kDamaged);
        EXPECT_EQ(FolderBytes(Folder()), before);
        // The undo brush at step 3 takes its pixels from the same file.
        EXPECT_FALSE(doc.UndoBrushSelectSource());
        EXPECT_EQ(doc.undoBrushSource, nullptr);
        rmdir(target.c_str());
        testsupport::WriteBytes(target, good);

        // Redo into step 2 from step 1 reads it too.
        ASSERT_TRUE(doc.Undo());
        ASSERT_TRUE(doc.Undo());
        EXPECT_TRUE(Uniform(0, 10));
        d.apply(target, LayerFile(1, 0));
        host.messages.clear();
        EXPECT_FALSE(doc.Redo());
        EXPECT_EQ(doc.undoPos, 1);
        EXPECT_TRUE(Uniform(0, 10));
        EXPECT_EQ(host.messages.size(), 1u);
        rmdir(target.c_str());
        testsupport::WriteBytes(target, good);
        ASSERT_TRUE(doc.Redo());
        ASSERT_TRUE(doc.Redo());
        EXPECT_TRUE(Uniform(0, 30));
    }
    // The intact files work as before.
    ASSERT_TRUE(doc.Undo());
    EXPECT_TRUE(Uniform(0, 20));
}

// The commands of the report: negative, greyscale, negative, then undo with
// step 2's file gone. The undo is refused; it does not show step 1.
TEST(JournalIssue, UndoWithAMissingStepFileIsRefusedNotAnOlderStep) {
    testsupport::TempDir dir;
    HeadlessHost host;
    host.echoMessages = false;
    host.journalFolder = dir.Path() + "/";
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(16, 8));
    LayerRecord& l = doc.Layer(0);
    for (int i = 0; i < l.pixelSize; ++i) l.pixels[size_t(i)] = uint8_t(i * 7);
    ASSERT_TRUE(doc.RecordUndoStep(u"Opening....", 0, -1));
    const commands::Table& t = commands::All();
    for (int id : {1413, 1414, 1413}) ASSERT_TRUE(t.Find(id)->run(doc, {}));
    doc.FlushJournal();
    const std::vector<uint8_t> step3(l.pixels.get(), l.pixels.get() + l.pixelSize);
    ASSERT_EQ(unlink(journal::LayerFileName(host.journalFolder, doc.docSerial, 2, 0).c_str()), 0);
    EXPECT_FALSE(t.Find(4870)->run(doc, {}));
    EXPECT_EQ(doc.undoPos, 3);
    EXPECT_EQ(std::vector<uint8_t>(doc.Layer(0).pixels.get(), doc.Layer(0).pixels.get() + l.pixelSize), step3);
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back(), kDamaged);
}

TEST_F(Files, SettingsStepsKeepNoCopyOfTheLayer) {
    PaintStep(0, 10);   // 1
    ASSERT_TRUE(Run(1483));                       // 2: alpha 255
    ASSERT_TRUE(Run(1486));                       // 3: alpha palette toggled
    ASSERT_TRUE(Run(1490));                       // 4: transparent colour white
    ASSERT_TRUE(RunNamed("rename", "바탕"));       // 5
    ASSERT_TRUE(doc.MoveLayer(0, 2, 0, true));    // 6
    ASSERT_EQ(doc.undoPos, 6);
    doc.FlushJournal();
    for (int pos = 2; pos <= 6; ++pos) {
        SCOPED_TRACE(pos);
        EXPECT_FALSE(Exists(LayerFile(pos, 0)));
        EXPECT_FALSE(Exists(SelectionFile(pos, 0)));
    }
    const VaZaviInfo at6 = doc.image.info;
    const int x6 = doc.Layer(0).x;
    // Each undo puts back the settings of its step; the pixels come from
    // the file of step 1 all along.
    ASSERT_TRUE(doc.Undo());   // to 5
    EXPECT_EQ(doc.Layer(0).x, x6 - 2);
    EXPECT_EQ(std::u16string(GetFixedText(doc.Layer(0).name, 100)), u"바탕");
    ASSERT_TRUE(doc.Undo());   // to 4
    EXPECT_NE(std::u16string(GetFixedText(doc.Layer(0).name, 100)), u"바탕");
    EXPECT_EQ(doc.image.info.backgroundColor.red, 255);
    ASSERT_TRUE(doc.Undo());   // to 3
    ASSERT_TRUE(doc.Undo());   // to 2
    EXPECT_EQ(doc.image.info.alphaPalette, !at6.alphaPalette);
    EXPECT_TRUE(Uniform(0, 10));
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(doc.Redo());
    EXPECT_EQ(doc.Layer(0).x, x6);
    EXPECT_EQ(doc.image.info.alphaPalette, at6.alphaPalette);
    EXPECT_EQ(std::u16string(GetFixedText(doc.Layer(0).name, 100)), u"바탕");
    EXPECT_TRUE(Uniform(0, 10));
}

TEST_F(Files, ASettingsStepKeepsAnActiveSelectionAndUnrecordedPaint) {
    PaintStep(0, 10);   // 1
    ASSERT_TRUE(doc.SelectShape(1, {{1, 1}, {3, 2}}, 0));
    const auto selected = doc.live.selection.mask;
    ASSERT_TRUE(Run(1483));   // 2: the selection file only
    doc.FlushJournal();
    EXPECT_FALSE(Exists(LayerFile(2, 0)));
    ASSERT_TRUE(Exists(SelectionFile(2, 0)));
    struct stat st;
    ASSERT_EQ(stat(SelectionFile(2, 0).c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 88 + int64_t(selected.size()));
    doc.ClearSelection();
    PaintStep(0, 20);   // 3
    ASSERT_TRUE(doc.Undo());
    EXPECT_TRUE(doc.selectionActive);
    EXPECT_EQ(doc.live.selection.mask, selected);
    EXPECT_TRUE(Uniform(0, 10));
    ASSERT_TRUE(doc.Redo());
    EXPECT_FALSE(doc.selectionActive);
    EXPECT_TRUE(Uniform(0, 20));

    // Paint that no step recorded yet goes into the settings step's file.
    Paint(0, 99);
    ASSERT_TRUE(Run(1486));   // 4
    doc.FlushJournal();
    EXPECT_TRUE(Exists(LayerFile(4, 0)));
    PaintStep(0, 40);   // 5
    ASSERT_TRUE(doc.Undo());
    EXPECT_TRUE(Uniform(0, 99));
}

// The ring drops step 2; a layer that step 2 changed and step 3 did not
// must still show step 2's change at the new step 2 when a later change of
// that layer is undone.
TEST_F(Files, TheRingKeepsTheStateOfALayerThatTheDroppedStepChanged) {
    ASSERT_TRUE(doc.InsertLayer(-1, 0));   // slot 1
    Paint(1, 0);
    doc.currentLayer = 0;
    ASSERT_TRUE(doc.RecordUndoStep(u"initial state", UndoLayerChanged, 0));
    PaintStep(0, 1);   // 1
    PaintStep(1, 2);   // 2: layer 1, dropped by the shift
    PaintStep(0, 3);   // 3
    PaintStep(1, 4);   // 4: layer 1 again
    for (int i = 5; i <= 20; ++i) PaintStep(0, uint8_t(i));   // the 20th step after the start shifts the ring
    ASSERT_EQ(doc.undoPos, 19);
    // Undo down to the new step 2 (what was step 3): undoing the new step 3
    // (layer 1 painted 4) shows layer 1 as step 2 left it, not as it was
    // at the start.
    for (int i = 0; i < 17; ++i) ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.undoPos, 2);
    EXPECT_TRUE(Uniform(0, 3));
    EXPECT_TRUE(Uniform(1, 2));
    ASSERT_TRUE(doc.Undo());   // to step 1: layer 0 back to 1
    EXPECT_TRUE(Uniform(0, 1));
    for (int i = 0; i < 18; ++i) ASSERT_TRUE(doc.Redo());
    EXPECT_TRUE(Uniform(0, 20));
    EXPECT_TRUE(Uniform(1, 4));
}

// The same steps, written behind and written at once, leave the same files
// with the same bytes.
TEST(JournalWriter, WriteBehindLeavesTheSameFilesAsWritingAtOnce) {
    std::map<std::string, std::vector<uint8_t>> result[2];
    for (int mode = 0; mode < 2; ++mode) {
        testsupport::TempDir dir;
        HeadlessHost host;
        host.echoMessages = false;
        host.journalFolder = dir.Path() + "/";
        CVexoDoc doc(&host);
        ASSERT_TRUE(doc.NewImage(40, 30));
        ASSERT_TRUE(doc.RecordUndoStep(u"Opening....", 0, -1));
        if (mode == 1) doc.journal->writer.SetSynchronous(true);
        const commands::Table& t = commands::All();
        ASSERT_TRUE(t.Find(1552)->run(doc, {}));   // a layer
        ASSERT_TRUE(doc.SelectShape(1, {{2, 2}, {20, 10}}, 0));
        ASSERT_TRUE(t.Find(1413)->run(doc, {}));   // negative inside the selection
        ASSERT_TRUE(t.Find(1483)->run(doc, {}));   // settings, with a selection
        doc.ClearSelection();
        ASSERT_TRUE(t.Find(1411)->run(doc, {}));   // whole document
        for (int i = 0; i < 18; ++i) ASSERT_TRUE(t.Find(1413)->run(doc, {}));   // past the ring
        for (int i = 0; i < 18; ++i) ASSERT_TRUE(doc.Undo());   // to step 1: the redo head
        ASSERT_TRUE(doc.Redo());
        ASSERT_TRUE(doc.FlushJournal());
        result[mode] = FolderBytes(dir.Path());
        EXPECT_GT(result[mode].size(), 20u);
    }
    EXPECT_EQ(result[0], result[1]);
}

// A writer that takes its time: the undo waits for the file it needs.
std::atomic<int> gSlowWrites{0};
int SlowStepOne(const std::string& path) {
    if (path.find("UD_1_1_0.ptwtmp") != std::string::npos) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ++gSlowWrites;
    }
    return 0;
}

TEST_F(Files, UndoWaitsForThePendingWriteOfTheStepItNeeds) {
    gSlowWrites = 0;
    journal::Writer::SetFaultForTesting(SlowStepOne);
    PaintStep(0, 10);   // 1: written slowly
    PaintStep(0, 20);   // 2
    ASSERT_TRUE(doc.Undo());   // needs step 1's file
    journal::Writer::SetFaultForTesting(nullptr);
    EXPECT_EQ(gSlowWrites.load(), 1);
    EXPECT_TRUE(Uniform(0, 10));
    ASSERT_TRUE(doc.Redo());
    EXPECT_TRUE(Uniform(0, 20));
}

}  // namespace
