// Undo journal. Placeholder until the journal lands: steps are only counted
// and labelled, nothing is written, undo and redo refuse.
#include "CVexoDoc.h"
#include "undo_journal.h"

bool CVexoDoc::RecordUndoStep(const std::u16string& label, int type, int layer) {
    if (!IsValidLayer(currentLayer)) return false;
    if (label == u"Opening...." || label == u"initial state") {
        undoPos = -1;
        steps.clear();
    }
    ++undoPos;
    if (undoPos > 0) modified = true;
    if (undoPos > 19) {
        steps.erase(steps.begin() + 2);
        undoPos = 19;
    }
    redoTop = undoPos;
    steps.resize(size_t(undoPos) + 1);
    steps[size_t(undoPos)] = UndoStep{label, uint8_t(type), uint8_t(layer < 0 ? currentLayer : layer)};
    return true;
}

bool CVexoDoc::Undo() { return false; }
bool CVexoDoc::Redo() { return false; }
