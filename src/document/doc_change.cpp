// The change notice of a document (doc_change.h).
#include <algorithm>

#include "CVexoDoc.h"

ChangeBatch::ChangeBatch(CVexoDoc& doc) : doc_(doc) { doc_.BeginChanges(); }
ChangeBatch::~ChangeBatch() { doc_.EndChanges(); }

void CVexoDoc::Notify(unsigned what, int layer) {
    if (!what) return;
    if (what & docchange::Pixels) {
        const uint64_t r = ++revisionCounter_;
        if (IsValidLayer(layer)) {
            layerRevision_[layer] = r;
        } else {
            layer = kNoLayer;
            std::fill(std::begin(layerRevision_), std::end(layerRevision_), r);
        }
    } else {
        layer = kNoLayer;
    }
    if (batchDepth_ > 0) {
        // One notice for the batch: a pixel change of two different layers
        // names none (the revisions tell which).
        if (what & docchange::Pixels) {
            if (!pending_.Has(docchange::Pixels)) pending_.layer = layer;
            else if (pending_.layer != layer) pending_.layer = kNoLayer;
        }
        pending_.what |= what;
        return;
    }
    const DocChange change{what, layer};
    // Observers may leave (or others join) while the notice goes round.
    const std::vector<DocObserver*> round = observers_;
    for (DocObserver* o : round)
        if (std::find(observers_.begin(), observers_.end(), o) != observers_.end()) o->DocumentChanged(*this, change);
}

void CVexoDoc::AddObserver(DocObserver* observer) {
    if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void CVexoDoc::RemoveObserver(DocObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void CVexoDoc::BeginChanges() { ++batchDepth_; }

void CVexoDoc::EndChanges() {
    if (batchDepth_ == 0 || --batchDepth_ > 0) return;
    const DocChange change = pending_;
    pending_ = DocChange{};
    if (!change.what) return;
    // Sent as it stands: the revisions were raised when the changes came.
    const std::vector<DocObserver*> round = observers_;
    for (DocObserver* o : round)
        if (std::find(observers_.begin(), observers_.end(), o) != observers_.end()) o->DocumentChanged(*this, change);
}

uint64_t CVexoDoc::LayerRevision(int slot) const { return IsValidLayer(slot) ? layerRevision_[slot] : 0; }

void CVexoDoc::SayClosing() {
    batchDepth_ = 0;
    pending_ = DocChange{};
    const std::vector<DocObserver*> round = observers_;
    observers_.clear();
    for (DocObserver* o : round) o->DocumentChanged(*this, DocChange{docchange::Closing, kNoLayer});
}

// --- the host's two spellings of the notice -------------------------------------

void DocHost::UpdateViews(CVexoDoc& doc, bool rebuild) {
    if (rebuild) doc.viewRebuild = true;
    doc.Notify(rebuild ? docchange::Composite : docchange::Repaint);
}

void DocHost::RefreshLayersPanel(CVexoDoc& doc) { doc.Notify(docchange::Layers); }
