// The layer of a picture opened at the editor's start, while its buffers are
// still being filled on the decode's helper thread: the picture is on the
// screen first (the compositor reads the document image, which holds the
// same rows), and the layer gets its buffers when the document is settled.
#include <algorithm>
#include <atomic>
#include <new>
#include <utility>

#include "CVexoDoc.h"

namespace {
std::atomic<int> gPendingDocuments{0};
}  // namespace

int CVexoDoc::PendingLayerDocuments() { return gPendingDocuments.load(std::memory_order_relaxed); }

void CVexoDoc::SetPending(std::unique_ptr<PendingFill> fill, int slot) {
    DropPending();
    if (!IsValidLayer(slot)) return;
    pendingAlphaRow_.assign(size_t(std::max(1, live.layers[slot].width)), 255);
    pendingFill_ = std::move(fill);
    pendingSlot_ = slot;
    gPendingDocuments.fetch_add(1, std::memory_order_relaxed);
}

void CVexoDoc::DropPending() {
    // The fill is waited for before the picture it reads can go.
    pendingFill_.reset();
    if (pendingSlot_ == kNoLayer) return;
    pendingSlot_ = kNoLayer;
    std::vector<uint8_t>().swap(pendingAlphaRow_);
    gPendingDocuments.fetch_sub(1, std::memory_order_relaxed);
}

void CVexoDoc::SettleLayers() {
    if (pendingSlot_ == kNoLayer) return;
    const int slot = pendingSlot_;
    LayerRecord& L = live.layers[slot];
    PreparedLayer p;
    if (std::unique_ptr<PendingFill> fill = std::move(pendingFill_)) p = fill->Finish();
    const size_t plane = size_t(L.width) * size_t(L.height);
    const bool fits = p.Ready() && p.width == L.width && p.height == L.height && p.stride == L.stride &&
                      p.mask.size() == plane;
    // A fill that began cannot fail; should it all the same, the layer is
    // filled here from the document image, which still holds the picture.
    if (!fits && !PrepareLayer(image, p)) throw std::bad_alloc();   // still pending: the image is shown
    L.pixels = std::move(p.pixels);
    L.alpha = std::move(p.alpha);
    L.effectPlane = std::move(p.effect);
    // The open made the selection the layer's, its mask to come.
    SelectionMask& sel = live.selection;
    if (sel.mask.empty() && size_t(std::max(0, sel.size)) == plane) sel.mask = std::move(p.mask);
    DropPending();
    // Same pixels as shown, but the layers panel's thumbnail was built
    // without them.
    Notify(docchange::Pixels | docchange::Layers, slot);
}

CVexoDoc::LayerRows CVexoDoc::RowsOf(int slot) const {
    LayerRows rows;
    if (!IsValidLayer(slot)) return rows;
    const LayerRecord& L = live.layers[slot];
    if (L.pixels && L.alpha) {
        rows.pixels = L.pixels.get();
        rows.pixelStride = size_t(L.stride);
        rows.alpha = L.alpha.get();
        rows.alphaStride = size_t(L.width);
    } else if (slot == pendingSlot_ && image.IsValid() && image.BitCount() == 24 && image.Width() == L.width &&
               image.Height() == L.height && pendingAlphaRow_.size() >= size_t(L.width)) {
        rows.pixels = image.Row(0);
        rows.pixelStride = size_t(image.Stride());
        rows.alpha = pendingAlphaRow_.data();
        rows.alphaStride = 0;
    }
    return rows;
}
