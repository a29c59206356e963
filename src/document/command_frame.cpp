// The command frame around every pixel operation: the current command id,
// the scratch copy of a layer, copying it back, and the text-layer guards.
#include "command_frame.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "CVexoDoc.h"

CommandScope::CommandScope(CVexoDoc& doc, int id) : doc_(doc) { doc_.Host().SetCurrentCommand(id); }
CommandScope::~CommandScope() { doc_.Host().SetCurrentCommand(-1); }

bool GuardLayerTransform(CVexoDoc& doc) {
    const LayerRecord* L = doc.CurrentLayerPtr();
    if (!L || !L->inUse) return false;
    if (L->kind == LayerText) {
        doc.Host().MessageBox("[글]레이어 입니다. [레스터 형식 변환] 후 다시 실행하십시요.");
        return false;
    }
    if (L->kind == LayerBalloon) {
        doc.Host().MessageBox("[말풍선]레이어 입니다. [레스터 형식 변환] 후 다시 실행하십시요.");
        return false;
    }
    return true;
}

bool NewLayerBuffers(const LayerRecord& L, int bpp, int width, int height, LayerRecord& out, LayerRecord* spare) {
    static_cast<LayerRecordData&>(out) = L;
    out.width = width;
    out.height = height;
    out.stride = L.IsTextKind() ? width : int32_t(LayerStride(width, bpp));
    out.planeSize = width * height;
    out.pixelSize = L.IsTextKind() ? out.planeSize : out.stride * height;
    if (spare && spare->pixels && spare->alpha && spare->effectPlane && spare->pixelSize == out.pixelSize &&
        spare->planeSize == out.planeSize) {
        out.pixels = std::move(spare->pixels);
        out.alpha = std::move(spare->alpha);
        out.effectPlane = std::move(spare->effectPlane);
        spare->Clear();
        std::memset(out.effectPlane.get(), 0, size_t(out.planeSize));
    } else {
        if (spare) spare->FreeBuffers();   // no use now: give the memory back first
        out.pixels.reset(new (std::nothrow) uint8_t[size_t(out.pixelSize)]);
        out.alpha.reset(new (std::nothrow) uint8_t[size_t(out.planeSize)]);
        out.effectPlane.reset(new (std::nothrow) uint8_t[size_t(out.planeSize)]());
    }
    out.text.reset();
    if (!out.pixels || !out.alpha || !out.effectPlane) return false;
    if (L.text) {
        const size_t n = size_t(std::max(0, L.textLength)) + 1;
        out.text.reset(new (std::nothrow) char16_t[n]);
        if (!out.text) return false;
        std::memcpy(out.text.get(), L.text.get(), n * 2);
    }
    return true;
}

bool CVexoDoc::BeginLayerOp(int index) {
    SettleLayers();
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
    // The buffers trade places rather than being copied: the layer takes
    // the result, the scratch buffers the old contents (BeginLayerOp fills
    // them again before they are used).
    if (L.pixels && L.alpha && scratchPixels && scratchAlpha && L.pixelSize == scratchPixelSize &&
        L.planeSize == scratchPlaneSize) {
        std::swap(L.pixels, scratchPixels);
        std::swap(L.alpha, scratchAlpha);
        copied = true;
        Notify(docchange::Pixels, index);
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
