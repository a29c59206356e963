// The document's state around the journal: the previous-state copy, the
// links of the layer stack, and what a step record keeps of the document
// and puts back.
#include "journal_state.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "journal_files.h"

namespace journal {

namespace {
template <class T>
bool Ensure(std::unique_ptr<T[]>& buf, int64_t oldCount, int64_t newCount) {
    if (buf && oldCount == newCount) return true;
    buf.reset(new (std::nothrow) T[size_t(std::max<int64_t>(newCount, 1))]);
    return buf != nullptr;
}

}  // namespace

// --- buffers -------------------------------------------------------------------------

// Copies a layer into another slot (the previous-state copy), reusing the
// destination's buffers when their sizes match.
bool CopyLayerReusing(LayerRecord& dst, const LayerRecord& src) {
    if (&dst == &src) return true;
    const int64_t oldPix = dst.pixels ? dst.pixelSize : -1;
    const int64_t oldPlaneA = dst.alpha ? dst.planeSize : -1;
    const int64_t oldPlaneE = dst.effectPlane ? dst.planeSize : -1;
    static_cast<LayerRecordData&>(dst) = src;
    auto copy = [](auto& d, const auto& s, int64_t oldN, int64_t n) {
        if (!s) {
            d.reset();
            return true;
        }
        if (!Ensure(d, oldN, n)) return false;
        if (n > 0) std::memcpy(d.get(), s.get(), size_t(n) * sizeof(s[0]));
        return true;
    };
    const int64_t pix = std::max(0, src.pixelSize), plane = std::max(0, src.planeSize);
    bool ok = copy(dst.pixels, src.pixels, oldPix, pix) && copy(dst.alpha, src.alpha, oldPlaneA, plane) &&
              copy(dst.effectPlane, src.effectPlane, oldPlaneE, plane);
    if (ok) {
        const int64_t units = int64_t(std::max(0, src.textLength)) + 1;
        dst.text.reset();
        if (src.text) ok = copy(dst.text, src.text, -1, units);
    }
    if (!ok) dst.FreeBuffers();
    return ok;
}

// The previous-state copy follows the live layers; `same` is a slot known
// to hold the same buffers in both already (only its record is copied).
void RefreshPrevState(CVexoDoc& d, int same) {
    d.prevState.canvas = d.live.canvas;
    d.prevState.palette = d.live.palette;
    for (int i = 0; i < kMaxLayers; ++i) {
        const LayerRecord& l = d.Layer(i);
        if (l.inUse && i != same && !d.prevStateFilled[i]) CopyLayerReusing(d.prevState.layers[i], l);
        else static_cast<LayerRecordData&>(d.prevState.layers[i]) = l;
        d.prevStateFilled[i] = false;
    }
}

// The live layer's buffers equal those of the previous-state copy: nothing
// was painted since the last step, undo or redo.
bool SameAsPrevState(const CVexoDoc& d, int slot) {
    const LayerRecord& a = d.Layer(slot);
    const LayerRecord& b = d.prevState.layers[slot];
    if (a.pixelSize != b.pixelSize || a.planeSize != b.planeSize || a.kind != b.kind || TextUnits(a) != TextUnits(b))
        return false;
    auto same = [](const uint8_t* p, const uint8_t* q, int64_t n) {
        if (n <= 0) return true;
        return p && q && std::memcmp(p, q, size_t(n)) == 0;
    };
    const int64_t units = TextUnits(a);
    if (units && (!a.text || !b.text || std::memcmp(a.text.get(), b.text.get(), size_t(units) * 2) != 0)) return false;
    return same(a.pixels.get(), b.pixels.get(), a.pixelSize) && same(a.alpha.get(), b.alpha.get(), a.planeSize) &&
           same(a.effectPlane.get(), b.effectPlane.get(), a.planeSize);
}

// --- links -------------------------------------------------------------------

void Unlink(CVexoDoc& d, int slot) {
    LayerRecord& l = d.Layer(slot);
    if (d.InStack(slot)) {
        const int p = l.prev, n = l.next;
        if (IsValidLayer(p)) d.Layer(p).next = int16_t(n);
        if (IsValidLayer(n)) d.Layer(n).prev = int16_t(p);
        if (d.headLayer == slot) d.headLayer = IsValidLayer(n) ? n : kNoLayer;
    }
    l.inUse = 0;
    l.prev = l.next = -1;
    if (d.currentLayer == slot) d.currentLayer = d.headLayer;
}

// Puts slot back between prev and next (either may be -1); a slot already
// in the stack is taken out first, so inserting twice changes nothing.
void InsertBetween(CVexoDoc& d, int slot, int prev, int next) {
    if (d.InStack(slot)) Unlink(d, slot);
    if (IsValidLayer(prev) && !d.InStack(prev)) prev = kNoLayer;
    if (IsValidLayer(next) && !d.InStack(next)) next = kNoLayer;
    if (!IsValidLayer(prev) && !IsValidLayer(next)) {
        // No neighbour left: put it at the bottom.
        next = d.headLayer;
    } else if (IsValidLayer(prev)) {
        next = d.Layer(prev).next;
    } else {
        prev = d.Layer(next).prev;
    }
    LayerRecord& l = d.Layer(slot);
    l.prev = int16_t(prev);
    l.next = int16_t(next);
    l.inUse = 1;
    if (IsValidLayer(prev)) d.Layer(prev).next = int16_t(slot);
    else d.headLayer = slot;
    if (IsValidLayer(next)) d.Layer(next).prev = int16_t(slot);
}

void ApplyLinks(CVexoDoc& d, const UndoStep& st) {
    d.headLayer = st.headLayer;
    for (int i = 0; i < kMaxLayers; ++i) {
        d.Layer(i).prev = st.prev[i];
        d.Layer(i).next = st.next[i];
        d.Layer(i).inUse = st.inUse[i];
    }
}

// The slots of a step's stack, bottom up (cycle-safe).
std::vector<int> StepStack(const UndoStep& st) {
    std::vector<int> order;
    bool seen[kMaxLayers] = {};
    for (int i = st.headLayer; IsValidLayer(i) && !seen[i]; i = st.next[i]) {
        seen[i] = true;
        order.push_back(i);
    }
    return order;
}

void ApplyCanvas(CVexoDoc& d, const UndoStep& st) {
    CanvasInfo& c = d.live.canvas;
    c.height = st.canvasHeight;
    c.width = st.canvasWidth;
    c.colorFormat = st.colorFormat;
    c.paletteColors = st.paletteColors;
    c.bitsPerPixel = st.bitsPerPixel;
    c.canvasPixelSize = st.canvasPixelSize;
    c.canvasPlaneSize = st.canvasPlaneSize;
    c.pictureX = st.pictureX;
    c.pictureY = st.pictureY;
    d.live.palette = st.palette;
}

void SelectIfPossible(CVexoDoc& d, int slot) {
    if (IsValidLayer(slot) && d.InStack(slot)) d.currentLayer = slot;
    else if (!d.InStack(d.currentLayer)) d.currentLayer = d.headLayer;
}

// --- step records ------------------------------------------------------------------

// The settings of the document image that steps keep and put back. The
// geometry fields (stride, type) belong to the pixels and are not touched.
void PutBackImageSettings(VaZavi& img, const VaZaviInfo& in) {
    img.info.transparentIndex = in.transparentIndex;
    img.info.backgroundColor = in.backgroundColor;
    img.info.jpegQuality = in.jpegQuality;
    img.info.alphaValue = in.alphaValue;
    img.info.alphaPalette = in.alphaPalette;
    img.SetXDpi(in.xDpi);
    img.SetYDpi(in.yDpi);
}

void RecordSelection(const CVexoDoc& d, UndoStep& st) {
    const SelectionPart part = CurrentSelection(d);
    st.selectionActive = d.selectionActive;
    st.selectionInverted = d.selectionInverted;
    st.selectionWidth = part.width;
    st.selectionHeight = part.height;
    st.selectionSize = d.live.selection.size;
    st.selectionX = part.x;
    st.selectionY = part.y;
}

void FillStep(CVexoDoc& d, UndoStep& st, const std::u16string& label, int type, int layer) {
    st.label = label.substr(0, kUndoLabelUnits - 1);
    st.type = uint8_t(type);
    st.layer = uint8_t(layer);
    st.headLayer = d.headLayer;
    for (int i = 0; i < kMaxLayers; ++i) {
        const LayerRecord& l = d.Layer(i);
        st.prev[i] = l.prev;
        st.next[i] = l.next;
        st.inUse[i] = int16_t(l.inUse);
        st.slots[i] = l;
    }
    st.shadowParam = double(d.Layer(layer).shadowParam);
    const CanvasInfo& c = d.live.canvas;
    st.canvasHeight = c.height;
    st.canvasWidth = c.width;
    st.colorFormat = c.colorFormat;
    st.paletteColors = c.paletteColors;
    st.bitsPerPixel = c.bitsPerPixel;
    st.canvasPixelSize = c.canvasPixelSize;
    st.canvasPlaneSize = c.canvasPlaneSize;
    st.pictureX = c.pictureX;
    st.pictureY = c.pictureY;
    st.palette = d.live.palette;
    st.imageInfo = d.image.info;
    RecordSelection(d, st);
    std::copy_n(d.viewRect, 4, st.viewRect);
    st.viewZoom = d.zoom;
    std::copy_n(d.viewSettings, 30, st.viewSettings);
    std::copy_n(d.frameRect, 4, st.frameRect);
    st.currentCommand = d.Host().CurrentCommand();
    st.frameValues[0] = type == UndoWholeDocument ? d.frameValues[0] : 0;
    st.frameValues[1] = type == UndoWholeDocument ? d.frameValues[1] : 0;
    st.angle = type == UndoWholeWithAngle ? d.angle : 0.0;
    st.imageChanged = false;
}

void PutBackViewState(CVexoDoc& d, const UndoStep& st) {
    std::copy_n(st.viewRect, 4, d.viewRect);
    std::copy_n(st.viewSettings, 30, d.viewSettings);
    std::copy_n(st.frameRect, 4, d.frameRect);
    if (st.type == UndoWholeDocument) std::copy_n(st.frameValues, 2, d.frameValues);
    if (st.type == UndoWholeWithAngle) d.angle = st.angle;
}

}  // namespace journal
