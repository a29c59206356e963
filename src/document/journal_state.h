// The document's state around the journal (journal_state.cpp): the
// previous-state copy, the layer links that undo and redo put back, and
// what a step record keeps of the document.
#pragma once

#include <string>
#include <vector>

#include "CVexoDoc.h"
#include "undo_journal.h"

namespace journal {

// Copies a layer into another slot, reusing the destination's buffers when
// their sizes match.
bool CopyLayerReusing(LayerRecord& dst, const LayerRecord& src);
// The previous-state copy follows the live layers; `same` is a slot known
// to hold the same buffers in both already (only its record is copied).
void RefreshPrevState(CVexoDoc& d, int same = kNoLayer);
// The live layer's buffers equal those of the previous-state copy.
bool SameAsPrevState(const CVexoDoc& d, int slot);

void Unlink(CVexoDoc& d, int slot);
// Puts slot back between prev and next (either may be -1).
void InsertBetween(CVexoDoc& d, int slot, int prev, int next);
void ApplyLinks(CVexoDoc& d, const UndoStep& st);
// The slots of a step's stack, bottom up.
std::vector<int> StepStack(const UndoStep& st);
void ApplyCanvas(CVexoDoc& d, const UndoStep& st);
void SelectIfPossible(CVexoDoc& d, int slot);

void PutBackImageSettings(VaZavi& img, const VaZaviInfo& in);
void FillStep(CVexoDoc& d, UndoStep& st, const std::u16string& label, int type, int layer);
// The document's selection state and geometry into the step record (the
// mask's size only when the mask is complete), as FillStep takes it.
void RecordSelection(const CVexoDoc& d, UndoStep& st);
void PutBackViewState(CVexoDoc& d, const UndoStep& st);

}  // namespace journal
