// Whole-document steps (image size, canvas size, rotation) and the files of
// the step before them: a layer whose files already hold it and the
// selection as they are is not written again, and undo and redo bring back
// exactly the layers and the selection of before the command, whatever came
// before it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CVexoDoc.h"
#include "commands.h"
#include "dlg_geometry.h"
#include "dlg_rotate.h"
#include "journal_writer.h"
#include "test_support.h"
#include "undo_journal.h"

namespace {

// What undo must bring back: every layer's buffers and place, the canvas
// and the selection.
struct DocState {
    struct Layer {
        std::vector<uint8_t> pixels, alpha, effect;
        int32_t width = 0, height = 0, x = 0, y = 0;
        bool operator==(const Layer&) const = default;
    };
    std::vector<Layer> layers;
    std::vector<uint8_t> mask;
    int32_t selWidth = 0, selHeight = 0, selX = 0, selY = 0;
    bool selectionActive = false, selectionInverted = false;
    int32_t canvasWidth = 0, canvasHeight = 0;
    bool operator==(const DocState&) const = default;
};

// The first difference between two states, "" when there is none.
std::string Difference(const DocState& a, const DocState& b) {
    if (a.layers.size() != b.layers.size()) return "layer count";
    for (size_t i = 0; i < a.layers.size(); ++i) {
        const DocState::Layer &p = a.layers[i], &q = b.layers[i];
        const std::string n = "layer " + std::to_string(i) + " ";
        if (p.width != q.width || p.height != q.height) return n + "size";
        if (p.x != q.x || p.y != q.y) return n + "place";
        if (p.pixels != q.pixels) return n + "pixels";
        if (p.alpha != q.alpha) return n + "alpha";
        if (p.effect != q.effect) return n + "effect plane";
    }
    if (a.selectionActive != b.selectionActive || a.selectionInverted != b.selectionInverted) return "selection state";
    // Without a selection the mask only follows the current layer.
    if (!a.selectionActive) return "";
    if (a.selWidth != b.selWidth || a.selHeight != b.selHeight || a.selX != b.selX || a.selY != b.selY)
        return "selection geometry";
    if (a.mask != b.mask) return "selection mask";
    if (a.canvasWidth != b.canvasWidth || a.canvasHeight != b.canvasHeight) return "canvas";
    return "";
}

enum class Command { Resize, Canvas, Rotate };
const char* NameOf(Command c) { return c == Command::Resize ? "resize" : c == Command::Canvas ? "canvas" : "rotate"; }

struct Doc {
    testsupport::TempDir dir;
    HeadlessHost host;
    CVexoDoc doc{&host};

    Doc() {
        host.echoMessages = false;
        host.journalFolder = dir.Path() + "/";
        EXPECT_TRUE(doc.NewImage(24, 16));
        Paint(0, 0);
        EXPECT_TRUE(doc.RecordUndoStep(u"Opening....", UndoLayerChanged, -1));
    }
    ~Doc() { doc.DiscardJournalFiles(); }

    // A pattern that tells every pixel apart, shifted by `seed`.
    void Paint(int slot, int seed) {
        LayerRecord& L = doc.Layer(slot);
        for (int r = 0; r < L.height; ++r)
            for (int c = 0; c < L.width; ++c) {
                uint8_t* p = L.PixelRow(r) + 3 * c;
                p[0] = uint8_t(c + seed), p[1] = uint8_t(r * 3 + seed), p[2] = uint8_t(c * 7 + r + seed);
                L.AlphaRow(r)[c] = uint8_t(150 + (c + r + seed) % 100);
            }
    }
    void PaintStep(int seed) {
        Paint(0, seed);
        ASSERT_TRUE(doc.RecordUndoStep(u"붓 도구", UndoLayerChanged, 0));
    }
    void Select() { ASSERT_TRUE(doc.SelectShape(1, {{2, 3}, {9, 8}}, 0)); }

    DocState State() const {
        DocState s;
        for (int i : doc.StackOrder()) {
            const LayerRecord& L = doc.Layer(i);
            DocState::Layer l;
            l.pixels.assign(L.pixels.get(), L.pixels.get() + L.pixelSize);
            l.alpha.assign(L.alpha.get(), L.alpha.get() + L.planeSize);
            if (L.effectPlane) l.effect.assign(L.effectPlane.get(), L.effectPlane.get() + L.planeSize);
            l.width = L.width, l.height = L.height, l.x = L.x, l.y = L.y;
            s.layers.push_back(std::move(l));
        }
        const SelectionMask& sel = doc.live.selection;
        s.mask = sel.mask;
        s.selWidth = sel.width, s.selHeight = sel.height, s.selX = sel.x, s.selY = sel.y;
        s.selectionActive = doc.selectionActive;
        s.selectionInverted = doc.selectionInverted;
        s.canvasWidth = doc.live.canvas.width;
        s.canvasHeight = doc.live.canvas.height;
        return s;
    }

    bool Run(Command c) {
        switch (c) {
        case Command::Resize: return dlg::ResizeDocument(doc, 72, 12, 8);
        case Command::Canvas: return dlg::ApplyCanvasSize(doc, 30, 20, 4);
        case Command::Rotate: return dlg::RunRotateStep(doc, "90");
        }
        return false;
    }

    uint64_t Snapshots() const { return doc.journal->writer.SnapshotBytes(); }
    int64_t FileBytes(int pos, int slot) const {
        struct stat st;
        const std::string path = journal::LayerFileName(host.journalFolder, doc.docSerial, pos, slot);
        return stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
    }
};

// What the command copied besides its own step's file: nothing when the
// files of the step before were kept, only the selection mask when they were
// written from the layer's own buffers (image size, canvas size).
struct Outcome {
    int64_t copied = 0, maskBytes = 0;
    explicit operator bool() const { return copied == 0; }   // kept
    bool FromOwnBuffers() const { return copied == maskBytes; }
};

// Runs the command on a document prepared by `prepare` (with its files
// written), undoes, redoes and undoes it, and checks every state.
Outcome RunAndCheck(Command c, const std::function<void(Doc&)>& prepare, int line = __builtin_LINE()) {
    SCOPED_TRACE(std::string(NameOf(c)) + " from line " + std::to_string(line));
    Doc d;
    prepare(d);
    d.doc.FlushJournal();
    const DocState before = d.State();
    const uint64_t snapshotsBefore = d.Snapshots();
    EXPECT_TRUE(d.Run(c));
    d.doc.FlushJournal();
    const DocState after = d.State();
    EXPECT_NE(after, before);
    // The step itself writes the changed layer; anything more is the
    // snapshot of the layer as it was.
    const int64_t own = d.FileBytes(d.doc.undoPos, 0) - int64_t(sizeof(journal::StepFileHeader));
    Outcome outcome;
    outcome.copied = int64_t(d.Snapshots() - snapshotsBefore) - own;
    outcome.maskBytes = int64_t(before.selWidth) * before.selHeight;

    EXPECT_TRUE(d.doc.Undo());
    EXPECT_EQ(Difference(d.State(), before), "");
    EXPECT_TRUE(d.doc.Redo());
    EXPECT_EQ(Difference(d.State(), after), "");
    EXPECT_TRUE(d.doc.Undo());
    EXPECT_EQ(Difference(d.State(), before), "");
    EXPECT_TRUE(d.host.messages.empty()) << d.host.messages.front();
    return outcome;
}

constexpr Command kAll[] = {Command::Resize, Command::Canvas, Command::Rotate};

}  // namespace

// The turn keeps files that already hold the layer; image size and canvas
// size write them from the layers' own buffers, which they replace, so that
// neither copies the pixels.
TEST(WholeDocumentSteps, FilesThatHoldTheLayerAreNotWrittenAgain) {
    for (Command c : kAll) {
        const auto expect = [c](const Outcome& o) {
            if (c == Command::Rotate) EXPECT_TRUE(o) << o.copied;
            else EXPECT_TRUE(o.FromOwnBuffers()) << o.copied << " bytes copied";
        };
        // A plain open: the layer file of step 0 holds the layer.
        expect(RunAndCheck(c, [](Doc&) {}));
        // After a pixel step.
        expect(RunAndCheck(c, [](Doc& d) { d.PaintStep(40); }));
        // After a settings-only step: its older layer file holds the pixels.
        expect(RunAndCheck(c, [](Doc& d) {
            d.PaintStep(40);
            ASSERT_TRUE(commands::All().Find(1483)->run(d.doc, {}));
        }));
        // With a selection made after the last step: the file carries it.
        const Outcome selected = RunAndCheck(c, [](Doc& d) {
            d.PaintStep(40);
            d.Select();
        });
        if (c != Command::Rotate) {
            EXPECT_TRUE(selected.FromOwnBuffers()) << selected.copied;
        }
    }
}

TEST(WholeDocumentSteps, WhatThePoolNoLongerHoldsIsWrittenAgain) {
    // The writer's pool reuses its buffers: once a newer snapshot took the
    // buffer of the file the rule needs, nothing proves the file holds the
    // layer, and it is written again. Which buffers are left depends on the
    // steps before; either way undo and redo are exact.
    for (Command c : kAll) {
        // A settings-only step with an active selection: its selection file
        // may take the buffer of the older layer file.
        RunAndCheck(c, [](Doc& d) {
            d.PaintStep(40);
            d.Select();
            ASSERT_TRUE(commands::All().Find(1483)->run(d.doc, {}));
        });
        // After an undo: the files of the position below the top.
        RunAndCheck(c, [](Doc& d) {
            for (int k = 1; k <= 3; ++k) d.PaintStep(10 * k);
            ASSERT_TRUE(d.doc.Undo());
            ASSERT_TRUE(d.doc.Undo());
        });
    }
}

TEST(WholeDocumentSteps, ChangesSinceTheLastStepAreWrittenAndComeBack) {
    for (Command c : kAll) {
        // The selection changed after the last step.
        EXPECT_FALSE(RunAndCheck(c, [](Doc& d) {
            d.PaintStep(40);
            d.Select();
        }));
        // A selection step, then the selection cleared without a step.
        EXPECT_FALSE(RunAndCheck(c, [](Doc& d) {
            d.Select();
            d.PaintStep(40);
            d.doc.ClearSelection();
        }));
        // Pixels changed without a step, the previous-state copy too.
        EXPECT_FALSE(RunAndCheck(c, [](Doc& d) {
            d.PaintStep(40);
            d.Paint(0, 77);
            d.doc.prevState.layers[0].CopyFrom(d.doc.Layer(0));
        }));
        // A step recorded while the journal was off.
        EXPECT_FALSE(RunAndCheck(c, [](Doc& d) {
            d.PaintStep(40);
            d.doc.recordUndo = false;
            d.PaintStep(90);
            d.doc.recordUndo = true;
        }));
        // One byte of the effect plane.
        EXPECT_FALSE(RunAndCheck(c, [](Doc& d) {
            d.PaintStep(40);
            d.doc.Layer(0).effectPlane[5] ^= 1;
        }));
    }
}

TEST(WholeDocumentSteps, RingShiftAndSettingsSurviveTheCommand) {
    for (Command c : kAll) {
        // More than 20 steps: the files were renamed by the ring; whatever
        // the rule decides, undo and redo are exact.
        RunAndCheck(c, [](Doc& d) {
            for (int k = 1; k <= 23; ++k) d.PaintStep(k);
        });
        RunAndCheck(c, [](Doc& d) {
            for (int k = 1; k <= 23; ++k) d.PaintStep(k);
            d.Select();
            ASSERT_TRUE(commands::All().Find(1483)->run(d.doc, {}));
        });
        // A layer setting changed without a step: the step record takes it.
        RunAndCheck(c, [](Doc& d) {
            d.PaintStep(40);
            d.doc.Layer(0).x = 3;
        });
    }
}

TEST(WholeDocumentSteps, EveryLayerOfTheStackComesBack) {
    // Two layers; after a pixel step on the lower, the upper is painted
    // without a step: the turn writes only the upper again, the resize
    // writes both from their own buffers (copying only the selection mask);
    // undo brings both back either way.
    for (Command c : {Command::Rotate, Command::Resize}) {
        SCOPED_TRACE(NameOf(c));
        Doc d;
        ASSERT_TRUE(d.doc.InsertLayer(-1, 0));
        ASSERT_TRUE(d.doc.SetupLayerBuffers(10, 6, u"위", 1, 24, 0, 255, 1, 4, 2, 2, -1, -1, 0, 0, 0, -1, false));
        CanvasInfo& cv = d.doc.live.canvas;
        cv.width = 24, cv.height = 16;
        cv.canvasPixelSize = int32_t(LayerStride(24, 24) * 16);
        cv.canvasPlaneSize = 24 * 16;
        for (int i = 0; i < d.doc.Layer(1).pixelSize; ++i) d.doc.Layer(1).pixels[size_t(i)] = uint8_t(i * 13);
        ASSERT_TRUE(d.doc.RecordUndoStep(u"initial state", UndoLayerChanged, -1));
        d.doc.currentLayer = 0;
        d.PaintStep(60);
        d.doc.Layer(1).pixels[7] ^= 0x55;
        d.doc.FlushJournal();
        const DocState before = d.State();
        const int pos = d.doc.undoPos;
        const int64_t mask = int64_t(before.selWidth) * before.selHeight;
        const uint64_t snapshotsBefore = d.Snapshots();
        ASSERT_TRUE(d.Run(c));
        d.doc.FlushJournal();
        const UndoStep& st = d.doc.steps[size_t(pos)];
        EXPECT_EQ(st.layerFile[0], st.number);
        EXPECT_EQ(st.layerFile[1], st.number);
        const int64_t header = int64_t(sizeof(journal::StepFileHeader));
        const int64_t step = d.FileBytes(pos + 1, 0) + d.FileBytes(pos + 1, 1) - 2 * header;
        const int64_t copied = int64_t(d.Snapshots() - snapshotsBefore) - step;
        if (c == Command::Rotate) {
            // The upper layer again (and the turn's small records), not the lower.
            EXPECT_GE(copied, d.FileBytes(pos, 1) - header);
            EXPECT_LT(copied, d.FileBytes(pos, 1) - header + d.FileBytes(pos, 0) - header);
        } else {
            EXPECT_EQ(copied, 2 * mask);
        }
        ASSERT_TRUE(d.doc.Undo());
        EXPECT_EQ(Difference(d.State(), before), "");
        ASSERT_TRUE(d.doc.Redo());
        ASSERT_TRUE(d.doc.Undo());
        EXPECT_EQ(Difference(d.State(), before), "");
    }
}
