// The command frame around every pixel operation: the current command id,
// the scratch copy of a layer, copying it back, and the text-layer guards.
#include "command_frame.h"

#include <cstring>

#include "CVexoDoc.h"

CommandScope::CommandScope(CVexoDoc& doc, int id) : doc_(doc) { doc_.Host().SetCurrentCommand(id); }
CommandScope::~CommandScope() { doc_.Host().SetCurrentCommand(-1); }

bool CVexoDoc::BeginLayerOp(int index) {
    if (index == -1) index = currentLayer;
    if (!IsValidLayer(index)) return false;
    const LayerRecord& L = live.layers[index];
    if (!L.inUse || !L.pixels || !L.alpha || L.pixelSize < 0 || L.planeSize < 0) return false;
    if (scratchPixelSize != L.pixelSize || scratchPlaneSize != L.planeSize || !scratchPixels || !scratchAlpha) {
        if (!EnsureScratch(L.pixelSize, L.planeSize)) return false;
    }
    std::memcpy(scratchPixels.get(), L.pixels.get(), size_t(L.pixelSize));
    std::memcpy(scratchAlpha.get(), L.alpha.get(), size_t(L.planeSize));
    return true;
}

bool CVexoDoc::EndLayerOp(int index, bool repaint) {
    if (index == -1) index = currentLayer;
    if (!IsValidLayer(index)) return false;
    LayerRecord& L = live.layers[index];
    bool copied = false;
    // A layer whose size changed during the operation gets nothing back.
    if (L.pixels && L.alpha && scratchPixels && scratchAlpha && L.pixelSize == scratchPixelSize &&
        L.planeSize == scratchPlaneSize) {
        std::memcpy(L.pixels.get(), scratchPixels.get(), size_t(L.pixelSize));
        std::memcpy(L.alpha.get(), scratchAlpha.get(), size_t(L.planeSize));
        copied = true;
    }
    host_->RefreshLayersPanel(*this);
    if (repaint) {
        if (host_->CurrentCommand() != 1415) viewRebuild = true;
        host_->UpdateViews(*this, viewRebuild);
    }
    return copied;
}

bool CVexoDoc::GuardRasterLayer() {
    const LayerRecord* L = CurrentLayerPtr();
    if (!L) return false;
    if (L->IsTextKind()) {
        host_->MessageBox(doctext::kTextLayerRefused);
        return false;
    }
    return true;
}

bool CVexoDoc::GuardAllRasterLayers() {
    for (int i : StackOrder())
        if (live.layers[i].IsTextKind()) {
            host_->MessageBox(doctext::kTextLayersPresent);
            return false;
        }
    return true;
}
