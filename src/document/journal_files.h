// The journal files of one document: snapshots of the document's buffers
// handed to the writer, and files read back, checked, into staged layers
// that take the place of the document's only once everything an undo or
// redo needs has been read. Used by undo_journal.cpp.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CVexoDoc.h"
#include "journal_writer.h"
#include "undo_journal.h"

namespace journal {

inline constexpr const char* kTempFileFailed = "임시 파일 생성 실패 : 관리자권한으로 실행 바람";
inline constexpr const char* kJournalDamaged = "작업 기록 파일이 없거나 손상되어 되돌릴 수 없습니다.";

// The document's journal (made on first use, with the host's wake-up).
DocJournal& JournalOf(CVexoDoc& d);

int64_t TextUnits(const LayerRecordData& rec);
// A record whose sizes can be trusted for allocation.
bool RecordSizesSane(const LayerRecordData& r);

// A selection as a layer file keeps it: the mask and its geometry.
struct StagedSelection {
    bool present = false;
    std::vector<uint8_t> mask;
    int32_t width = 0, height = 0, size = 0, x = 0, y = 0;
};

// A layer read back and checked, not yet in the document.
struct StagedLayer {
    int slot = kNoLayer;
    LayerRecordData rec{};
    std::unique_ptr<uint8_t[]> pixels, alpha, effect;
    std::unique_ptr<char16_t[]> text;
    StagedSelection selection;
};

// Where the state of a slot at a ring position comes from, found from the
// step records alone.
struct LayerSource {
    int slot = kNoLayer;
    int pos = -1;           // ring position of the layer file; -1: the head file of step 0
    int number = -1;        // the step number its header carries
    int maskPos = -1;       // a newer selection file, or -1
    int maskNumber = -1;
    LayerRecordData rec{};  // the record the slot takes: that of the position restored
};

// False when the slot has no state at that position.
bool ResolveSource(const CVexoDoc& d, int pos, int slot, LayerSource& src);
// Reads and checks the source's files; false, with nothing changed, when a
// file is missing, foreign or damaged or memory runs out.
bool LoadSource(CVexoDoc& d, const LayerSource& src, StagedLayer& out);
// The staged record and buffers become the slot's (its links and in-use
// flag stay), the selection too when one came with them. Cannot fail.
void ApplyStaged(CVexoDoc& d, StagedLayer& s);

// The whole state kept in a head file.
struct StagedHead {
    CanvasInfo canvas{};
    std::vector<RgbQuad> palette;
    std::vector<StagedLayer> layers;   // bottom up
    int firstSlot = kNoLayer;
};
bool LoadHeadFile(CVexoDoc& d, const std::string& path, int firstSlot, StagedHead& out);
// Canvas, palette, the layers and their links; every other slot leaves
// the stack. The current layer is left to the caller.
void ApplyHead(CVexoDoc& d, StagedHead& head);

// The files that restoring `slot` at ring position `pos` reads (its layer
// file, and a newer selection file) hold the live layer and the document's
// selection exactly as a file written now would: the bytes are compared
// with the snapshots the writer's pool still holds of them. False whenever
// that cannot be known (the source is the head file, a snapshot was reused,
// a file was written again, removed or is still pending). journal_kept.cpp.
bool FilesHoldLayerNow(CVexoDoc& d, int pos, int slot);

// The document's selection as a layer file keeps it: the mask only when it
// is complete.
struct SelectionPart {
    const uint8_t* mask = nullptr;
    size_t bytes = 0;
    int32_t width = 0, height = 0, x = 0, y = 0;
};
SelectionPart CurrentSelection(const CVexoDoc& d);

// Snapshots of the document's buffers, written behind by the writer.
// A layer file (or, selectionOnly, a selection file) of `slot` for ring
// position `pos`, carrying step number `number`.
void QueueLayerFile(CVexoDoc& d, int pos, int slot, int number, bool selectionOnly);
// The same layer file, written from the layer's own pixel, alpha and effect
// buffers, which are moved into the journal (the layer is left without
// them: its command is about to replace them); the selection mask and text
// are copied as usual. Text layers, and a copy that cannot be had, are
// written as QueueLayerFile writes them and keep their buffers.
void QueueLayerFileFromOwnBuffers(CVexoDoc& d, int pos, int slot, int number);
// A head file; with slot >= 0 also that layer's file for ring position
// `pos`, from the same snapshot.
void QueueHeadFile(CVexoDoc& d, const std::string& path, int pos, int slot, int number);
void QueueImageFile(CVexoDoc& d, int pos, int number);
void QueueRemove(CVexoDoc& d, const std::vector<std::string>& paths);

// The document image of ring position `pos` into `fresh` (checked).
bool LoadImageFile(CVexoDoc& d, int pos, int number, VaZavi& fresh);
// `fresh` becomes the image's pixels; the image keeps its settings.
void ApplyImage(VaZavi& img, VaZavi& fresh);

}  // namespace journal
