// Undo journal: RecordUndoStep, undo, redo and the undo brush's source.
//
// Every step describes the document after the step. A layer file at ring
// position s holds the state of that slot after step s; steps that do not
// touch a slot write no file for it, so restoring a slot at s reads the
// newest file of that slot at or below s, and when there is none, the
// slot's section of the head file of step 0. The step records say which
// files exist; a file they expect that is missing, foreign (another
// document, step or slot) or damaged (size, header or CRC) refuses the undo
// or redo, and the document stays as it was: everything needed is read and
// checked into staged buffers first, and only then replaces the document's.
//
// Recording a step copies what it keeps into a snapshot and hands the
// snapshot to the writer thread (journal_writer.h); the user goes on while
// the file is written. A step that changed only settings keeps no copy of
// the layer: its older file still holds the pixels, and a selection file
// keeps an active selection. A write that fails is reported through the
// host (CheckJournal, FlushJournal, and at the next step, undo or redo);
// the edit stays, only the undo that would need the file is refused.
#include "undo_journal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

#include "CVexoDoc.h"
#include "commands.h"
#include "journal_files.h"
#include "journal_state.h"
#include "journal_writer.h"

namespace journal {

std::string LayerFileName(const std::string& folder, int docSerial, int step, int slot) {
    char name[96];
    std::snprintf(name, sizeof name, "UD_%d_%d_%d.ptwtmp", docSerial, step, slot);
    return folder + name;
}

std::string SelectionFileName(const std::string& folder, int docSerial, int step, int slot) {
    char name[96];
    std::snprintf(name, sizeof name, "UD_%d_%d_%d_sel.ptwtmp", docSerial, step, slot);
    return folder + name;
}

std::string HeadFileName(const std::string& folder, int docSerial) {
    char name[96];
    std::snprintf(name, sizeof name, "WrIniLrList_Head_%d.ptwtmp", docSerial);
    return folder + name;
}

std::string RedoHeadFileName(const std::string& folder, int docSerial) {
    char name[96];
    std::snprintf(name, sizeof name, "RedIniLrList_Head_%d.ptwtmp", docSerial);
    return folder + name;
}

std::string ImageFileName(const std::string& folder, int docSerial, int step) {
    char name[96];
    std::snprintf(name, sizeof name, "UD_%d_%d_image.ptwtmp", docSerial, step);
    return folder + name;
}

int64_t LayerFileBytes(const LayerRecordData& rec, int64_t selectionBytes) {
    const bool text = rec.kind == LayerText || rec.kind == LayerBalloon;
    int64_t n = int64_t(sizeof(StepFileHeader));
    n += text ? 0 : int64_t(std::max(0, rec.pixelSize));
    n += 2 * int64_t(std::max(0, rec.planeSize));
    n += std::max<int64_t>(0, selectionBytes);
    n += 2 * TextUnits(rec);
    return n;
}

}  // namespace journal

using namespace journal;

namespace {

// --- files of the ring ---------------------------------------------------------------

// The files a step record says its position holds.
std::vector<std::string> StepFiles(const CVexoDoc& d, const std::string& folder, const UndoStep& st, int pos) {
    std::vector<std::string> files;
    for (int s = 0; s < kMaxLayers; ++s) {
        if (st.layerFile[s] >= 0) files.push_back(LayerFileName(folder, d.docSerial, pos, s));
        if (st.selectionFile[s] >= 0) files.push_back(SelectionFileName(folder, d.docSerial, pos, s));
    }
    if (st.imageFile >= 0) files.push_back(ImageFileName(folder, d.docSerial, pos));
    return files;
}

FileOp MakeOp(FileOp::Kind kind, const std::string& path, const std::string& to = std::string()) {
    FileOp op;
    op.kind = kind;
    op.path = path;
    op.to = to;
    return op;
}

// The files of a journal that starts again (and of the document's earlier
// journal under another serial) go.
void StartJournal(CVexoDoc& d, DocJournal& J) {
    J.writer.DropQueued();
    std::vector<FileOp> ops;
    for (int serial : {J.filesSerial, d.docSerial}) {
        if (serial == 0 || J.folder.empty()) continue;
        ops.push_back(MakeOp(FileOp::RemoveMatching, J.folder, "UD_" + std::to_string(serial) + "_"));
        ops.push_back(MakeOp(FileOp::Remove, RedoHeadFileName(J.folder, serial)));
        if (serial != d.docSerial) ops.push_back(MakeOp(FileOp::Remove, HeadFileName(J.folder, serial)));
    }
    J.writer.Submit(std::move(ops));
    J.filesSerial = d.docSerial;
    J.redoHeadWritten = false;
    d.steps.clear();
}

// The 21st step: step 2 goes, 3..19 move one place down; 0 and 1 stay. A
// file of step 2 that the next step does not replace shows that slot after
// the next step as well: it stays as the file of the new step 2 (else
// undoing into the new step 2 would read an older state than it had). An
// image file of step 2 likewise stays for steps 1 and 3 when they have none.
void ShiftRing(CVexoDoc& d, DocJournal& J) {
    const std::string& folder = J.folder;
    const int serial = d.docSerial;
    std::vector<FileOp> ops;
    UndoStep& s2 = d.steps[2];
    UndoStep& s3 = d.steps[3];
    int carryLayer[kMaxLayers], carrySelection[kMaxLayers];
    for (int slot = 0; slot < kMaxLayers; ++slot) {
        carryLayer[slot] = carrySelection[slot] = -1;
        if (s2.layerFile[slot] >= 0) {
            if (s3.layerFile[slot] < 0) carryLayer[slot] = s2.layerFile[slot];
            else ops.push_back(MakeOp(FileOp::Remove, LayerFileName(folder, serial, 2, slot)));
        }
        if (s2.selectionFile[slot] >= 0) {
            if (s3.selectionFile[slot] < 0 && s3.layerFile[slot] < 0) carrySelection[slot] = s2.selectionFile[slot];
            else ops.push_back(MakeOp(FileOp::Remove, SelectionFileName(folder, serial, 2, slot)));
        }
    }
    if (s2.imageFile >= 0) {
        for (int s : {1, 3})
            if (d.steps[size_t(s)].imageFile < 0) {
                ops.push_back(MakeOp(FileOp::Link, ImageFileName(folder, serial, 2), ImageFileName(folder, serial, s)));
                d.steps[size_t(s)].imageFile = s2.imageFile;
            }
        ops.push_back(MakeOp(FileOp::Remove, ImageFileName(folder, serial, 2)));
    }
    const bool imageChangedAt2 = s2.imageChanged;
    for (int s = 3; s < kUndoSteps; ++s) {
        const UndoStep& st = d.steps[size_t(s)];
        for (int slot = 0; slot < kMaxLayers; ++slot) {
            if (st.layerFile[slot] >= 0)
                ops.push_back(MakeOp(FileOp::Rename, LayerFileName(folder, serial, s, slot),
                                     LayerFileName(folder, serial, s - 1, slot)));
            if (st.selectionFile[slot] >= 0)
                ops.push_back(MakeOp(FileOp::Rename, SelectionFileName(folder, serial, s, slot),
                                     SelectionFileName(folder, serial, s - 1, slot)));
        }
        if (st.imageFile >= 0)
            ops.push_back(
                MakeOp(FileOp::Rename, ImageFileName(folder, serial, s), ImageFileName(folder, serial, s - 1)));
    }
    if (!folder.empty()) J.writer.Submit(std::move(ops));
    for (int s = 3; s < kUndoSteps; ++s) d.steps[size_t(s) - 1] = std::move(d.steps[size_t(s)]);
    d.steps[kUndoSteps - 1] = UndoStep();
    UndoStep& n2 = d.steps[2];
    for (int slot = 0; slot < kMaxLayers; ++slot) {
        if (carryLayer[slot] >= 0) n2.layerFile[slot] = carryLayer[slot];
        if (carrySelection[slot] >= 0) n2.selectionFile[slot] = carrySelection[slot];
    }
    // The new step 2 now also stands for the change the old one made.
    if (imageChangedAt2) n2.imageChanged = true;
    d.undoPos = kUndoSteps - 1;
}

// Reports the writes that failed since the last report, through the host,
// with the first file and its cause; false when there were any.
bool ReportFailures(CVexoDoc& d) {
    if (!d.journal || !d.journal->writer.HasFailures()) return true;
    const std::vector<WriteFailure> failures = d.journal->writer.TakeFailures();
    if (failures.empty()) return true;
    const WriteFailure& f = failures.front();
    std::string message = std::string(kTempFileFailed) + " (" + std::strerror(f.error) + ")";
    d.Host().JournalFailed(f.file, message);
    return false;
}

// A settings step may leave the layer's pixels to the older file when that
// file holds the layer as it is now.
bool PixelsKeptBefore(const CVexoDoc& d, int slot, int pos) {
    LayerSource src;
    if (pos < 0 || !ResolveSource(d, pos, slot, src)) return false;
    const LayerRecord& l = d.Layer(slot);
    return src.rec.width == l.width && src.rec.height == l.height && src.rec.pixelSize == l.pixelSize &&
           src.rec.planeSize == l.planeSize && src.rec.kind == l.kind && TextUnits(src.rec) == TextUnits(l) &&
           SameAsPrevState(d, slot);
}

bool RecordStep(CVexoDoc& d, const std::u16string& label, int type, int layer, bool settingsOnly) {
    d.SettleLayers();
    if (!IsValidLayer(d.currentLayer)) return false;
    if (layer < 0) layer = d.currentLayer;
    if (!IsValidLayer(layer)) return false;
    // The step names the layer it changed (every layer for whole-document
    // steps; a settings step changes no pixels).
    const bool whole = type == UndoWholeDocument || type == UndoWholeWithAngle;
    ChangeBatch batch(d);
    d.Notify(docchange::Journal | (settingsOnly ? docchange::Layers : docchange::Pixels) |
                 (whole ? docchange::Canvas : 0u),
             whole ? kNoLayer : layer);
    if (!d.recordUndo) {
        if (d.undoPos >= 0) d.modified = true;
        RefreshPrevState(d);
        return true;
    }
    ReportFailures(d);
    DocJournal& J = JournalOf(d);
    const bool restart = label == u"Opening...." || label == u"initial state";
    if (restart) d.undoPos = -1;
    d.busy = true;
    ++d.undoPos;
    if (d.undoPos > 0) d.modified = true;
    if (d.undoPos == 0) {
        if (d.docSerial == 0) d.docSerial = d.Host().NextDocSerial();
        // A new journal: nothing of an earlier one may be taken for its files.
        StartJournal(d, J);
    }
    if (d.undoPos >= kUndoSteps) ShiftRing(d, J);
    d.redoTop = d.undoPos;
    // What could have been redone is gone, with its files.
    for (size_t j = size_t(d.undoPos); j < d.steps.size(); ++j)
        QueueRemove(d, StepFiles(d, J.folder, d.steps[j], int(j)));
    d.steps.resize(size_t(d.undoPos) + 1);
    const int pos = d.undoPos;
    const bool keepPixels = settingsOnly && pos > 0 && PixelsKeptBefore(d, layer, pos - 1);
    UndoStep& st = d.steps[size_t(pos)];
    st = UndoStep();
    FillStep(d, st, label, type, layer);
    st.number = J.nextNumber++;

    // The previous-state copy is refreshed by a helper while the snapshots
    // are taken: both only read the live layers.
    const int same = keepPixels ? layer : kNoLayer;
    std::thread copier;
    try {
        copier = std::thread([&d, same] { RefreshPrevState(d, same); });
    } catch (const std::system_error&) {
    }
    if (pos == 0) {
        QueueHeadFile(d, HeadFileName(J.folder, d.docSerial), pos, layer, st.number);
        st.layerFile[layer] = st.number;
    } else {
        if (type == UndoWholeDocument || type == UndoWholeWithAngle)
            for (int s : d.StackOrder())
                if (s != layer) {
                    QueueLayerFile(d, pos, s, st.number, false);
                    st.layerFile[s] = st.number;
                }
        if (!keepPixels) {
            QueueLayerFile(d, pos, layer, st.number, false);
            st.layerFile[layer] = st.number;
        } else if (d.selectionActive) {
            QueueLayerFile(d, pos, layer, st.number, true);
            st.selectionFile[layer] = st.number;
        }
    }
    if (copier.joinable()) copier.join();
    else RefreshPrevState(d, same);

    d.Host().RefreshLayersPanel(d);
    if (type == UndoLayerDeleted) d.Layer(layer).FreeBuffers();
    d.busy = false;
    ReportFailures(d);   // what failed at once (no folder, no memory)
    return true;
}

void FinishMove(CVexoDoc& d, bool ok) {
    d.Notify(docchange::Journal | docchange::Layers | docchange::Selection | docchange::Canvas);
    if (ok) {
        // The picture is no longer the one saved: closing asks again.
        d.modified = true;
        // Without a selection the mask selects the whole current layer.
        if (!d.selectionActive) d.ResetSelectionMask(d.currentLayer);
        RefreshPrevState(d);
        d.viewRebuild = true;
        d.Host().RefreshLayersPanel(d);
        d.Host().UpdateViews(d, true);
    } else {
        d.Host().RefreshLayersPanel(d);
    }
    if (d.selectionActive) d.Host().StartSelectionTimer(d, 400);
    d.busy = false;
}

// The ring position whose image file shows the image at `pos`: the newest
// at or below it; without one, the oldest above it (up to the redo limit):
// an image file is written just before the first change of the image, so
// that file shows the image unchanged since. -1: never journaled.
int ImageSource(const CVexoDoc& d, int pos) {
    const int top = std::min<int>(d.redoTop, int(d.steps.size()) - 1);
    for (int j = std::min(pos, top); j >= 0; --j)
        if (d.steps[size_t(j)].imageFile >= 0) return j;
    for (int j = std::max(pos + 1, 0); j <= top; ++j)
        if (d.steps[size_t(j)].imageFile >= 0) return j;
    return -1;
}

// Reads the slots of position `pos` into `staged`; false at the first that
// cannot be had.
bool LoadSlots(CVexoDoc& d, int pos, const std::vector<int>& slots, std::vector<StagedLayer>& staged) {
    staged.clear();
    staged.resize(slots.size());
    for (size_t k = 0; k < slots.size(); ++k) {
        LayerSource src;
        if (!ResolveSource(d, pos, slots[k], src) || !LoadSource(d, src, staged[k])) return false;
    }
    return true;
}

// The image of position `pos`, when the step that is undone or redone
// changed it.
bool LoadImageFor(CVexoDoc& d, bool changed, int pos, VaZavi& fresh, bool& have) {
    have = false;
    if (!changed) return true;
    const int j = ImageSource(d, pos);
    if (j < 0) return true;   // never journaled: nothing to put back
    have = LoadImageFile(d, j, d.steps[size_t(j)].imageFile, fresh);
    return have;
}

}  // namespace

// --- recording ------------------------------------------------------------------

bool CVexoDoc::RecordUndoStep(const std::u16string& label, int type, int layer) {
    return RecordStep(*this, label, type, layer, false);
}

bool CVexoDoc::RecordSettingsStep(const std::u16string& label, int layer) {
    return RecordStep(*this, label, UndoLayerChanged, layer, true);
}

bool CVexoDoc::CheckJournal() { return ReportFailures(*this); }

bool CVexoDoc::FlushJournal() {
    if (journal) journal->writer.WaitAll();
    return ReportFailures(*this);
}

bool CVexoDoc::JournalAllLayers(bool fromOwnBuffers) {
    layersJournaledOnReplace_.clear();
    if (undoPos < 0 || size_t(undoPos) >= steps.size()) return false;
    if (!recordUndo) return true;
    DocJournal& J = JournalOf(*this);
    UndoStep& st = steps[size_t(undoPos)];
    // The files carry the selection of now: the step's record follows.
    RecordSelection(*this, st);
    std::vector<std::string> obsolete;
    const std::vector<int> order = StackOrder();
    for (int s : order) {
        // Files that already hold the layer and the selection as they are
        // stay: a copy would write the same bytes again.
        const bool held = !fromOwnBuffers && FilesHoldLayerNow(*this, undoPos, s);
        st.slots[s] = Layer(s);
        if (held) continue;
        if (fromOwnBuffers) layersJournaledOnReplace_.push_back(s);
        else QueueLayerFile(*this, undoPos, s, st.number, false);
        st.layerFile[s] = st.number;
        if (st.selectionFile[s] >= 0) {
            obsolete.push_back(SelectionFileName(J.folder, docSerial, undoPos, s));
            st.selectionFile[s] = -1;
        }
    }
    // A file of a slot outside the stack (a deleted layer) is never read
    // back at this step.
    const int affected = st.layer;
    if (std::find(order.begin(), order.end(), affected) == order.end()) {
        if (st.layerFile[affected] >= 0) obsolete.push_back(LayerFileName(J.folder, docSerial, undoPos, affected));
        if (st.selectionFile[affected] >= 0)
            obsolete.push_back(SelectionFileName(J.folder, docSerial, undoPos, affected));
        st.layerFile[affected] = st.selectionFile[affected] = -1;
    }
    QueueRemove(*this, obsolete);
    ReportFailures(*this);
    return true;
}

void CVexoDoc::JournalReplacedLayer(int slot) {
    auto it = std::find(layersJournaledOnReplace_.begin(), layersJournaledOnReplace_.end(), slot);
    if (it == layersJournaledOnReplace_.end()) return;
    layersJournaledOnReplace_.erase(it);
    QueueLayerFileFromOwnBuffers(*this, undoPos, slot, steps[size_t(undoPos)].number);
}

void CVexoDoc::JournalUnreplacedLayers() {
    const std::vector<int> left = std::exchange(layersJournaledOnReplace_, {});
    for (int s : left) QueueLayerFile(*this, undoPos, s, steps[size_t(undoPos)].number, false);
    ReportFailures(*this);
}

bool CVexoDoc::JournalImage(bool changedByStep) {
    if (undoPos < 0 || size_t(undoPos) >= steps.size() || !image.IsValid()) return false;
    if (!recordUndo) return true;
    UndoStep& st = steps[size_t(undoPos)];
    if (changedByStep || st.imageFile < 0) {
        QueueImageFile(*this, undoPos, st.number);
        st.imageFile = st.number;
    }
    if (changedByStep) st.imageChanged = true;
    ReportFailures(*this);
    return true;
}

void CVexoDoc::DiscardJournalFiles() {
    const std::string folder = journal ? journal->folder : Host().JournalFolder();
    if (folder.empty() || docSerial == 0) return;
    std::vector<FileOp> ops;
    std::vector<int> serials = {docSerial};
    if (journal && journal->filesSerial != 0 && journal->filesSerial != docSerial) serials.push_back(journal->filesSerial);
    for (int serial : serials) {
        ops.push_back(MakeOp(FileOp::RemoveMatching, folder, "UD_" + std::to_string(serial) + "_"));
        ops.push_back(MakeOp(FileOp::Remove, HeadFileName(folder, serial)));
        ops.push_back(MakeOp(FileOp::Remove, RedoHeadFileName(folder, serial)));
    }
    if (journal) {
        // Nothing pending is needed any more.
        journal->writer.DropQueued();
        journal->writer.RunHere(std::move(ops));
        journal->writer.TakeFailures();
    } else {
        Writer once;
        once.SetSynchronous(true);
        once.Submit(std::move(ops));
    }
}

// --- undo -----------------------------------------------------------------------------

bool CVexoDoc::Undo() {
    SettleLayers();
    if (undoPos <= 0 || size_t(undoPos) >= steps.size()) {
        if (undoPos < 0) undoPos = 0;
        return false;
    }
    ReportFailures(*this);
    DocJournal& J = JournalOf(*this);
    ChangeBatch batch(*this);
    const int from = undoPos;
    const int pos = undoPos - 1;
    busy = true;
    Host().StopSelectionTimer(*this);
    const UndoStep& su = steps[size_t(from)];
    const UndoStep& sp = steps[size_t(pos)];

    // Everything needed is read and checked before anything changes.
    VaZavi freshImage(image.info.type);
    bool imageBack = false;
    bool ok = LoadImageFor(*this, su.imageChanged, pos, freshImage, imageBack);
    StagedHead head;
    std::vector<StagedLayer> staged;
    if (ok && pos == 0) {
        ok = LoadHeadFile(*this, HeadFileName(J.folder, docSerial), sp.headLayer, head);
        // The selection of step 0 is kept in its layer file.
        if (ok && sp.selectionActive) ok = LoadSlots(*this, 0, {int(sp.layer)}, staged);
    } else if (ok) {
        std::vector<int> slots;
        switch (su.type) {
        case UndoLayerAdded:
        case UndoLayerPasted:
        case UndoTextEntered:
            break;   // the layer goes; nothing to read
        case UndoWholeDocument:
        case UndoWholeWithAngle:
            slots = StepStack(sp);
            break;
        default:
            slots.push_back(su.layer);
            break;
        }
        ok = LoadSlots(*this, pos, slots, staged);
    }
    if (!ok) {
        Host().MessageBox(kJournalDamaged);
        FinishMove(*this, false);
        return false;
    }

    undoPos = pos;
    if (pos == 1) {
        // The state being left, for redoing step 2.
        QueueHeadFile(*this, RedoHeadFileName(J.folder, docSerial), -1, -1, 0);
        J.redoHeadWritten = true;
    }
    if (pos == 0) {
        ApplyHead(*this, head);
        Notify(docchange::Pixels);
        SelectIfPossible(*this, sp.layer);
        selectionActive = sp.selectionActive;
        selectionInverted = sp.selectionInverted;
        if (selectionActive && !staged.empty() && staged[0].selection.present) {
            SelectionMask& sel = live.selection;
            StagedSelection& s = staged[0].selection;
            if (!s.mask.empty()) {
                sel.mask = std::move(s.mask);
                sel.width = s.width;
                sel.height = s.height;
                sel.size = s.size;
                sel.x = s.x;
                sel.y = s.y;
            }
        }
        PutBackViewState(*this, sp);
    } else {
        const int target = su.layer;
        SelectIfPossible(*this, sp.layer);
        switch (su.type) {
        case UndoLayerAdded:
        case UndoLayerPasted:
        case UndoTextEntered:
            Unlink(*this, target);
            break;
        case UndoLayerDeleted:
        case UndoLinksChanged:
        case UndoFlatten:
        case UndoMerge:
        case UndoWholeDocument:
        case UndoWholeWithAngle:
            ApplyLinks(*this, sp);
            break;
        default:
            break;
        }
        for (StagedLayer& s : staged) {
            ApplyStaged(*this, s);
            Layer(s.slot).inUse = 1;
            Notify(docchange::Pixels, s.slot);
        }
        ApplyCanvas(*this, sp);
        selectionActive = sp.selectionActive;
        selectionInverted = sp.selectionInverted;
        PutBackViewState(*this, sp);
        SelectIfPossible(*this, sp.layer);
    }
    if (imageBack) ApplyImage(image, freshImage);
    PutBackImageSettings(image, steps[size_t(pos)].imageInfo);
    FinishMove(*this, true);
    ReportFailures(*this);
    return true;
}

// --- redo ---------------------------------------------------------------------------------

bool CVexoDoc::Redo() {
    SettleLayers();
    if (undoPos < 0 || redoTop < undoPos + 1 || undoPos + 1 >= kUndoSteps || size_t(undoPos) + 1 >= steps.size())
        return false;
    ReportFailures(*this);
    DocJournal& J = JournalOf(*this);
    ChangeBatch batch(*this);
    const int pos = undoPos + 1;
    busy = true;
    Host().StopSelectionTimer(*this);
    const UndoStep& su = steps[size_t(pos)];
    const int target = su.layer;

    StagedHead head;
    const bool useHead = pos == 2 && J.redoHeadWritten;
    bool ok = !useHead || LoadHeadFile(*this, RedoHeadFileName(J.folder, docSerial), su.headLayer, head);
    std::vector<int> slots;
    if (su.type == UndoWholeDocument || su.type == UndoWholeWithAngle) slots = StepStack(su);
    else if (su.type != UndoLayerDeleted) slots.push_back(target);
    std::vector<StagedLayer> staged;
    VaZavi freshImage(image.info.type);
    bool imageBack = false;
    ok = ok && LoadImageFor(*this, su.imageChanged, pos, freshImage, imageBack) && LoadSlots(*this, pos, slots, staged);
    if (!ok) {
        Host().MessageBox(kJournalDamaged);
        FinishMove(*this, false);
        return false;
    }

    undoPos = pos;
    if (useHead) {
        ApplyHead(*this, head);
        Notify(docchange::Pixels);
        SelectIfPossible(*this, target);
    }
    switch (su.type) {
    case UndoLayerAdded:
    case UndoLayerPasted:
    case UndoTextEntered:
        InsertBetween(*this, target, su.prev[target], su.next[target]);
        break;
    case UndoWholeDocument:
    case UndoWholeWithAngle:
    case UndoLayerDeleted:
    case UndoLinksChanged:
    case UndoFlatten:
    case UndoMerge:
        ApplyLinks(*this, su);
        break;
    default:
        break;
    }
    for (int i = 0; i < kMaxLayers; ++i) {
        Layer(i).x = su.slots[i].x;
        Layer(i).y = su.slots[i].y;
    }
    for (StagedLayer& s : staged) {
        ApplyStaged(*this, s);
        Layer(s.slot).inUse = 1;
        Notify(docchange::Pixels, s.slot);
    }
    if (su.type == UndoLayerDeleted) Layer(target).FreeBuffers();
    ApplyCanvas(*this, su);
    selectionActive = su.selectionActive;
    selectionInverted = su.selectionInverted;
    PutBackViewState(*this, su);
    SelectIfPossible(*this, target);
    if (imageBack) ApplyImage(image, freshImage);
    PutBackImageSettings(image, su.imageInfo);
    FinishMove(*this, true);
    ReportFailures(*this);
    return true;
}

// --- undo brush ---------------------------------------------------------------------------

bool CVexoDoc::UndoBrushSelectSource() {
    if (undoPos < 1 || size_t(undoPos) >= steps.size() || !IsValidLayer(currentLayer)) return false;
    const LayerRecord& cur = Layer(currentLayer);
    const LayerRecordData& before = steps[size_t(undoPos) - 1].slots[currentLayer];
    if (cur.height != before.height || cur.width != before.width) {
        Host().MessageBox("바로 전과 현재 이미지의 크기가 상이하여 적용 불가");
        return false;
    }
    if (Host().CurrentTool() != 4669 && !Host().SwitchTool(4669)) return false;
    // Steps of the brush itself are passed over: the source is the state
    // before the last other step.
    int f = undoPos - 1;
    bool skipped = false;
    while (f >= 0 && steps[size_t(f)].label == u"작업취소붓") {
        --f;
        skipped = true;
    }
    const int source = skipped ? std::max(f - 1, 0) : undoPos - 1;
    LayerSource src;
    if (!ResolveSource(*this, source, currentLayer, src)) {
        Host().MessageBox(kJournalDamaged);
        return false;
    }
    if (src.rec.width != cur.width || src.rec.height != cur.height || src.rec.pixelSize != cur.pixelSize ||
        src.rec.kind != cur.kind) {
        Host().MessageBox("바로 전과 현재 이미지의 크기가 상이하여 적용 불가");
        return false;
    }
    // Text layers keep no pixels in their layer files.
    StagedLayer staged;
    if ((cur.IsTextKind() && src.pos >= 0) || !LoadSource(*this, src, staged)) {
        Host().MessageBox(kJournalDamaged);
        return false;
    }
    undoBrushSource = std::move(staged.pixels);
    undoBrushSourceSize = src.rec.pixelSize;
    undoBrushSourceStep = source;
    return true;
}

// --- commands ----------------------------------------------------------------------------

namespace commands {
void RegisterUndoCommands(Table& t) {
    t.Add(4870, "실행 취소", [](CVexoDoc& doc, const std::vector<int>&) { return doc.Undo(); });
    t.Add(4871, "다시 실행", [](CVexoDoc& doc, const std::vector<int>&) { return doc.Redo(); });
    t.Add(4669, "작업취소붓", [](CVexoDoc& doc, const std::vector<int>&) { return doc.UndoBrushSelectSource(); });
}
}  // namespace commands
