// Undo steps: the record kept in memory for each of the 20 steps, and the
// names of the journal files.
//
// Each step describes the document as it is after the step was made. The
// pixels live in journal files in the program's own journal folder
// (DocHost::JournalFolder):
//   "%sUD_%d_%d_%d.ptwtmp"            docSerial, step, slot: one layer
//   "%sUD_%d_%d_%d_sel.ptwtmp"        docSerial, step, slot: the selection of
//                                     a step that changed only settings
//   "%sWrIniLrList_Head_%d.ptwtmp"    docSerial: the whole state of step 0
//   "%sRedIniLrList_Head_%d.ptwtmp"   docSerial: the state kept for redoing step 2
//   "%sUD_%d_%d_image.ptwtmp"         docSerial, step: the document image
// Layer, selection and image files start with the header of journal_io.h
// (document, step number, slot, sizes, CRC-32 of the payload). A layer
// file's payload is the pixels (none for text and balloon layers), the alpha
// plane, the effect plane, the selection mask of the step and, for text
// layers with text, the text as UTF-16LE. The head files have no header;
// the writer keeps their size and CRC (journal_writer.h).
//
// The step record knows which files exist: for every slot the number of
// the step whose layer file (and selection file) its ring position holds,
// -1 for none. Restoring a slot at a position reads the newest layer file
// of that slot at or below it, else the slot's section of the head file of
// step 0; a file the records expect that is missing, foreign or damaged
// refuses the undo or redo and changes nothing.
//
// The document image (not a layer) changes only through the few commands
// that work on it directly; they journal it with CVexoDoc::JournalImage
// before and after the change. An image file's payload is the packed
// picture (40-byte header, palette, rows) as it was after its step. The
// image's settings (transparency, alpha, resolution, JPEG quality) are kept
// in every step record and put back by every undo and redo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "VaZavi.h"
#include "layer_set.h"

inline constexpr int kUndoSteps = 20;
inline constexpr int kUndoLabelUnits = 100;

// Step types.
enum UndoStepType : uint8_t {
    UndoLayerChanged = 0,    // ordinary change of one layer, "Opening....", "initial state"
    UndoLayerDeleted = 1,    // "레이어삭제"
    UndoLayerAdded = 2,      // "레이어추가", "사진틀 넣기", "패턴 레이어 넣기"
    UndoLayerPasted = 3,     // "복사물 붙이기"
    UndoTextEdited = 4,      // "글자수정"
    UndoTextEntered = 5,     // "글자입력"
    UndoLinksChanged = 6,    // other changes of the stack
    UndoWholeDocument = 7,   // e.g. "이미지크기"
    UndoFlatten = 8,         // "떡이미지"
    UndoMerge = 9,           // "레이어병합"
    UndoWholeWithAngle = 10, // canvas rotation and flips
};

struct UndoStep {
    // The step's name: at most 99 UTF-16 units (a 100-unit NUL-terminated field).
    std::u16string label;
    uint8_t type = 0;
    uint8_t layer = 0;            // the affected slot

    // The stack: headLayer, and per slot its links and in-use flag.
    int32_t headLayer = kNoLayer;
    int16_t prev[kMaxLayers] = {};
    int16_t next[kMaxLayers] = {};
    int16_t inUse[kMaxLayers] = {};

    // The stored record of every slot at this step: offsets, size, kind,
    // transparency, text colour, text length and origin, stride, pixel size,
    // effect kind and parameters, names and attributes. The journal files of
    // the step are sized from these records.
    LayerRecordData slots[kMaxLayers] = {};
    // The affected layer's shadow parameter as a real number.
    double shadowParam = 0.0;

    // Canvas.
    int32_t canvasHeight = 0, canvasWidth = 0;
    int32_t colorFormat = 0;
    int32_t paletteColors = 0;
    int32_t bitsPerPixel = 24;
    int32_t canvasPixelSize = 0, canvasPlaneSize = 0;
    int32_t pictureX = 0, pictureY = 0;
    std::vector<RgbQuad> palette;   // paletteColors entries
    VaZaviInfo imageInfo;           // the document image's own settings, copied unchanged

    // Selection.
    bool selectionActive = false;
    bool selectionInverted = false;
    int32_t selectionWidth = 0, selectionHeight = 0, selectionSize = -1;
    int32_t selectionX = 0, selectionY = 0;

    // View state kept by the document for its view.
    int32_t viewRect[4] = {};
    double viewZoom = 1.0;          // |viewRect[3]| as kept with the zoom
    int32_t viewSettings[30] = {};
    int32_t frameRect[4] = {};      // the child frame's window rectangle

    int32_t currentCommand = -1;    // the main frame's command while recorded
    int32_t frameValues[2] = {};    // type 7: two values of the main frame
    double angle = 0.0;             // type 10: the rotation angle
    bool imageChanged = false;      // the step changed the document image's pixels

    // Journal files at this ring position: the number of the step that
    // wrote each (it is in the file's header), -1 when there is none. A file
    // can be older than its position's step after the ring moved.
    int32_t number = -1;                    // this step's number since the journal began
    int32_t layerFile[kMaxLayers];
    int32_t selectionFile[kMaxLayers];
    int32_t imageFile = -1;

    UndoStep() {
        for (int i = 0; i < kMaxLayers; ++i) layerFile[i] = selectionFile[i] = -1;
    }
};

namespace journal {

// Journal file names in the given folder (which ends with '/').
std::string LayerFileName(const std::string& folder, int docSerial, int step, int slot);
std::string HeadFileName(const std::string& folder, int docSerial);       // WrIniLrList
std::string RedoHeadFileName(const std::string& folder, int docSerial);   // RedIniLrList
std::string ImageFileName(const std::string& folder, int docSerial, int step);
std::string SelectionFileName(const std::string& folder, int docSerial, int step, int slot);

// Bytes of a layer file (header included) for this record and selection size.
int64_t LayerFileBytes(const LayerRecordData& rec, int64_t selectionBytes);

}  // namespace journal
