// Layer slots and the stack: set-up, links, queries, add, delete, select,
// merge, flatten and rename.
//
// y offsets follow the stored-row convention of layer_set.cpp: layer stored
// row r lies on canvas stored row r - y.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <stdexcept>
#include <cstdio>
#include <cstring>
#include <new>

#include "CVexoDoc.h"
#include "prepared_layer.h"
#include "command_frame.h"
#include "commands.h"
#include "memory_budget.h"

namespace {

constexpr const char* kTooManyLayers = "레이어수 과다... 기존 레이어의 병합 혹은 제거하신 후에 다시 시도.";
constexpr const char* kOnlyOneLayer = "레이어가 1개 밖에 없습니다";
constexpr const char* kMergeTextLayer =
    "두 레이어 중 적어도 하나가 글자레이어입니다.\r\n레스터 변환 후에 병합하십시요.";

std::u16string LayerName(int slot) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "레이어 %d", slot);
    return Utf8ToUtf16(buf);
}

// A buffer of exactly n bytes: the old one when it already has that size
// (its pages are warm), else a fresh one. Null when memory runs out.
uint8_t* Reuse(std::unique_ptr<uint8_t[]>& buf, size_t oldSize, size_t n, std::unique_ptr<uint8_t[]>& out) {
    if (buf && oldSize == n) {
        out = std::move(buf);
    } else {
        out.reset(new (std::nothrow) uint8_t[n ? n : 1]);
    }
    return out.get();
}

// Integer parameters of a named step ("1,2,3"); invalid_argument when the
// text is not min..max integers.
std::vector<int> StepInts(const std::string& text, size_t min, size_t max) {
    std::vector<int> out;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t comma = text.find(',', pos);
        if (comma == std::string::npos) comma = text.size();
        const std::string part = text.substr(pos, comma - pos);
        char* end = nullptr;
        errno = 0;
        const long v = std::strtol(part.c_str(), &end, 10);
        if (part.empty() || *end || errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
            throw std::invalid_argument("'" + text + "' is not a list of integers");
        out.push_back(int(v));
        pos = comma + 1;
    }
    if (out.size() < min || out.size() > max) throw std::invalid_argument("'" + text + "' has the wrong count of numbers");
    return out;
}

bool LayerOfStep(CVexoDoc& d, int slot) {
    if (d.InStack(slot)) return true;
    d.Host().MessageBox("no layer in slot " + std::to_string(slot));
    return false;
}

}  // namespace

int64_t LayerStride(int width, int bitsPerPixel) { return ((int64_t(width) * bitsPerPixel + 31) / 32) * 4; }

bool CVexoDoc::EnsureScratch(int32_t pixelSize, int32_t planeSize) {
    if (pixelSize < 0 || planeSize < 0) return false;
    if (!scratchPixels || scratchPixelSize != pixelSize) {
        scratchPixels.reset(new (std::nothrow) uint8_t[size_t(pixelSize) ? size_t(pixelSize) : 1]);
        scratchPixelSize = scratchPixels ? pixelSize : 0;
    }
    if (!scratchAlpha || scratchPlaneSize != planeSize) {
        scratchAlpha.reset(new (std::nothrow) uint8_t[size_t(planeSize) ? size_t(planeSize) : 1]);
        scratchPlaneSize = scratchAlpha ? planeSize : 0;
    }
    live.canvas.scratchSize = scratchPixelSize;
    return scratchPixels && scratchAlpha;
}

bool CVexoDoc::SetupLayerBuffers(int height, int width, const std::u16string& name, int colorFormat,
                                 int bitsPerPixel, int paletteColors, uint8_t alphaFill, int slot, int x, int y,
                                 int paletteMode, int canvasWidthOverride, int canvasHeightOverride,
                                 int selectionReset, int tag, int kind, int link, bool centre,
                                 PreparedLayer* prepared) {
    if (!IsValidLayer(slot) || height == -1 || width < 1 || height < 1) return false;
    if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 24) return false;
    if (paletteColors < 0 || paletteColors > 256) return false;
    CanvasInfo& cv = live.canvas;

    // Canvas size, and the layer raised to at least an override canvas.
    int canvasW = width, canvasH = height;
    if (canvasWidthOverride != -1) {
        canvasW = canvasWidthOverride;
        canvasH = canvasHeightOverride;
        if (canvasW < 1 || canvasH < 1) return false;
        width = std::max(width, canvasW);
        height = std::max(height, canvasH);
    }
    const bool text = kind == LayerText || kind == LayerBalloon;
    const int64_t stride = text ? width : LayerStride(width, bitsPerPixel);
    const int64_t plane = int64_t(width) * height;
    const int64_t pixelBytes = stride * height;
    const int64_t canvasPlane = int64_t(canvasW) * canvasH;
    const int64_t canvasBytes = LayerStride(canvasW, bitsPerPixel) * canvasH;
    if (plane > kMaxImagePixels || pixelBytes > kMaxImageBytes || canvasPlane > kMaxImagePixels ||
        canvasBytes > kMaxImageBytes)
        return false;

    // Within the memory budget, or refused with a message before anything changes.
    if (!docmem::AllowGrowth(*this, docmem::WorkingSetWithSlot(*this, slot, pixelBytes, plane, canvasW, canvasH)))
        return false;

    LayerRecord& L = live.layers[slot];
    // Buffers filled ahead for exactly this layer (an opaque raster layer of
    // the canvas's size) are taken as they are.
    const bool fits = prepared && !text && alphaFill == 255 && prepared->width == width &&
                      prepared->height == height && prepared->bitsPerPixel == bitsPerPixel &&
                      prepared->stride == stride;
    const bool filled = fits && prepared->Ready() && prepared->mask.size() == size_t(plane);
    // Buffers still being filled elsewhere: the layer gets them when the
    // document settles it (CVexoDoc::SettleLayers).
    const bool later = fits && !filled && prepared->later;
    // New buffers first: on failure the slot stays as it was.
    std::unique_ptr<uint8_t[]> pix, alp, eff;
    if (filled) {
        pix = std::move(prepared->pixels);
        alp = std::move(prepared->alpha);
        eff = std::move(prepared->effect);
    } else if (!later && (!Reuse(L.pixels, size_t(std::max(0, L.pixelSize)), size_t(pixelBytes), pix) ||
                          !Reuse(L.alpha, size_t(std::max(0, L.planeSize)), size_t(plane), alp) ||
                          !Reuse(L.effectPlane, size_t(std::max(0, L.planeSize)), size_t(plane), eff))) {
        // Put back what Reuse moved out.
        if (pix && !L.pixels && size_t(std::max(0, L.pixelSize)) == size_t(pixelBytes)) L.pixels = std::move(pix);
        if (alp && !L.alpha && size_t(std::max(0, L.planeSize)) == size_t(plane)) L.alpha = std::move(alp);
        return false;
    }

    if (!name.empty()) SetFixedText(cv.title, 100, name);
    cv.width = canvasW;
    cv.height = canvasH;
    cv.colorFormat = colorFormat;
    cv.bitsPerPixel = bitsPerPixel;
    cv.paletteColors = paletteColors;
    cv.canvasPixelSize = int32_t(canvasBytes);
    cv.canvasPlaneSize = int32_t(canvasPlane);

    L.tag = tag;
    L.kind = uint8_t(kind);
    L.link = int16_t(link);
    L.textLength = 0;
    L.width = width;
    L.height = height;
    L.stride = int32_t(stride);
    L.pixelSize = int32_t(pixelBytes);
    L.planeSize = int32_t(plane);
    if (centre) {
        // Centred in stored-row order: the bottom row of the layer lies
        // (canvas height - height) / 2 rows above the canvas's bottom row.
        L.x = (canvasW - width) / 2;
        L.y = (height - canvasH) / 2;
    } else {
        L.x = x;
        L.y = y;
    }

    if (!keepScratch) EnsureScratch(L.pixelSize, L.planeSize);
    cv.scratchSize = L.pixelSize;

    if (!selectionActive || selectionReset == 1) {
        SelectionMask& sel = live.selection;
        if (filled)
            sel.mask = std::move(prepared->mask);
        else if (later)
            sel.mask.clear();
        else
            sel.mask.assign(size_t(plane), 1);
        sel.width = width;
        sel.height = height;
        sel.size = int32_t(plane);
        sel.x = L.x;
        sel.y = L.y;
    }

    L.text.reset();
    L.effectKind = 0;
    L.pixels = std::move(pix);
    L.alpha = std::move(alp);
    L.effectPlane = std::move(eff);
    if (!filled && !later) {
        std::memset(L.pixels.get(), 255, size_t(pixelBytes));
        std::memset(L.alpha.get(), alphaFill, size_t(plane));
        std::memset(L.effectPlane.get(), 0, size_t(plane));
    }

    if (paletteMode != 2) {
        if (paletteColors == 0) {
            live.palette.clear();
        } else if (paletteMode == 0) {
            live.palette.assign(size_t(paletteColors), RgbQuad{0, 0, 0, 0});
            const RgbQuad* src = image.GetPalette();
            const int n = src ? std::min(paletteColors, image.ColorsUsed()) : 0;
            std::copy(src, src + n, live.palette.begin());
        } else {
            live.palette.assign(size_t(paletteColors), RgbQuad{0, 0, 0, 0});
        }
    }
    viewRebuild = true;
    Notify(docchange::Pixels | docchange::Layers | docchange::Canvas, slot);
    return true;
}

// --- queries ------------------------------------------------------------------

std::vector<int> CVexoDoc::StackOrder() const {
    std::vector<int> order;
    bool seen[kMaxLayers] = {};
    for (int i = headLayer; IsValidLayer(i) && !seen[i]; i = live.layers[i].next) {
        seen[i] = true;
        order.push_back(i);
    }
    return order;
}

int CVexoDoc::TopLayer() const {
    auto order = StackOrder();
    return order.empty() ? kNoLayer : order.back();
}

int CVexoDoc::LayerCount() const { return int(StackOrder().size()); }

bool CVexoDoc::InStack(int index) const {
    if (!IsValidLayer(index)) return false;
    for (int i : StackOrder())
        if (i == index) return true;
    return false;
}

int CVexoDoc::LayerAt(int position) const {
    auto order = StackOrder();
    if (order.empty()) return kNoLayer;
    if (position < 0) return order.front();
    return position < int(order.size()) ? order[size_t(position)] : kNoLayer;
}

int CVexoDoc::LayerPosition(int layer, int relativeTo) const {
    auto order = StackOrder();
    auto a = std::find(order.begin(), order.end(), layer);
    auto b = std::find(order.begin(), order.end(), relativeTo);
    if (!IsValidLayer(layer) || !IsValidLayer(relativeTo) || a == order.end() || b == order.end()) return -1;
    return int(a - b);
}

int CVexoDoc::TopVisibleLayer() const {
    auto order = StackOrder();
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if (live.layers[*it].visible == 1) return *it;
    return kNoLayer;
}

int CVexoDoc::FirstLinkedLayer() const {
    for (int i : StackOrder())
        if (live.layers[i].kind == LayerLinked) return i;
    return kNoLayer;
}

int CVexoDoc::FindLayerByName(const std::u16string& name) const {
    for (int i : StackOrder())
        if (GetFixedText(live.layers[i].name, 100) == name) return i;
    return kNoLayer;
}

// --- add, delete, select ----------------------------------------------------------

bool CVexoDoc::InsertLayer(int slot, int below) {
    if (slot == -1) {
        for (int i = 0; i < kMaxLayers; ++i)
            if (!live.layers[i].inUse) {
                slot = i;
                break;
            }
        if (slot == -1) {
            host_->MessageBox(kTooManyLayers);
            return false;
        }
    }
    if (!IsValidLayer(slot) || live.layers[slot].inUse) return false;
    const bool empty = !IsValidLayer(headLayer) || live.layers[headLayer].inUse == 0;
    if (!empty && !InStack(below)) below = TopLayer();
    if (empty) below = kNoLayer;
    const CanvasInfo& cv = live.canvas;
    if (cv.width < 1 || cv.height < 1) return false;

    busy = true;
    live.layers[slot].Clear();
    // A new layer covers the canvas, white and fully transparent.
    if (!SetupLayerBuffers(cv.height, cv.width, u"", cv.colorFormat, cv.bitsPerPixel ? cv.bitsPerPixel : 24,
                           cv.paletteColors, 0, slot, 0, 0, 2, cv.width, cv.height, 0, 0, LayerRaster, -1, false)) {
        busy = false;
        return false;
    }
    LayerRecord& L = live.layers[slot];
    if (below == kNoLayer) {
        L.prev = L.next = -1;
        headLayer = slot;
    } else {
        const int above = live.layers[below].next;
        L.next = int16_t(above);
        L.prev = int16_t(below);
        live.layers[below].next = int16_t(slot);
        if (IsValidLayer(above)) live.layers[above].prev = int16_t(slot);
    }
    L.inUse = 1;
    L.visible = 1;
    L.transparency = 0;
    L.effectKind = 0;
    L.blendMode = 0;
    L.kind = LayerRaster;
    L.charWidthScale = 10;
    L.textAttr388 = 100;
    L.textAttr392 = 0;
    L.textBoxLeft = L.textBoxTop = L.tailX = L.tailY = -1;
    SetFixedText(L.name, 100, LayerName(slot));
    busy = false;
    SelectLayer(slot);
    host_->RefreshLayersPanel(*this);
    return true;
}

bool CVexoDoc::AddLayer() {
    if (selectionActive) host_->StopSelectionTimer(*this);
    const bool ok = InsertLayer(-1, currentLayer);
    if (ok) {
        viewRebuild = true;
        host_->UpdateViews(*this, true);
        RecordUndoStep(u"레이어추가", 2, currentLayer);
    }
    if (selectionActive) host_->StartSelectionTimer(*this, 400);
    return ok;
}

bool CVexoDoc::DeleteLayer(int index, bool recordUndo) {
    if (index == -1) index = currentLayer;
    if (LayerCount() <= 1) {
        host_->MessageBox(kOnlyOneLayer);
        return false;
    }
    if (!InStack(index)) return false;
    LayerRecord& L = live.layers[index];
    L.inUse = 0;
    const int p = L.prev, n = L.next;
    int select;
    if (p == -1 && n == -1) {
        headLayer = currentLayer = kNoLayer;
        return true;
    } else if (p == -1) {
        headLayer = n;
        live.layers[n].prev = -1;
        select = n;
    } else if (n == -1) {
        live.layers[p].next = -1;
        select = p;
    } else {
        live.layers[p].next = int16_t(n);
        live.layers[n].prev = int16_t(p);
        select = n;
    }
    currentLayer = select;   // the deleted layer must not stay current
    if (!SelectLayer(select)) currentLayer = select;
    SetFixedText(live.layers[currentLayer].name, 100, LayerName(currentLayer));
    viewRebuild = true;
    if (recordUndo && !mergePending) RecordUndoStep(u"레이어삭제", 1, index);
    host_->RefreshLayersPanel(*this);
    host_->UpdateViews(*this, true);
    if (selectionActive) host_->StartSelectionTimer(*this, 400);
    return true;
}

bool CVexoDoc::SelectLayer(int index) {
    if (!IsValidLayer(index) || !InStack(index)) return false;
    if ((selectionActive || selectionDrag) && live.layers[index].IsTextKind()) {
        host_->MessageBox(doctext::kTextLayerRefused);
        return false;
    }
    if (index != currentLayer) {
        // A free transform pending on the layer being left is applied first
        // (put back when it cannot be).
        if (freeTransform.active && freeTransform.layer == currentLayer && !docxform::Apply(*this))
            docxform::Cancel(*this);
        currentLayer = index;
        host_->RefreshLayersPanel(*this);
    }
    if (selectionActive) host_->StartSelectionTimer(*this, 100);
    viewRebuild = true;
    return true;
}

bool CVexoDoc::MoveLayer(int index, int dx, int dy, bool recordUndo) {
    if (!InStack(index)) return false;
    LayerRecord& L = live.layers[index];
    const int64_t nx = int64_t(L.x) + dx, ny = int64_t(L.y) + dy;
    // dy counts downwards on the picture, which in stored-row order adds to y.
    if (nx < -L.width || nx > L.width || ny < -L.height || ny > L.height) return false;
    L.x = int32_t(nx);
    L.y = int32_t(ny);
    if (!selectionActive) {
        live.selection.x = L.x;
        live.selection.y = L.y;
    }
    viewRebuild = true;
    Notify(docchange::Layers);
    if (recordUndo) RecordSettingsStep(u"전체영상 위치이동", index);
    host_->UpdateViews(*this, true);
    return true;
}

bool CVexoDoc::MoveLayerInStack(int index, int position) {
    std::vector<int> order = StackOrder();
    const auto at = std::find(order.begin(), order.end(), index);
    if (at == order.end() || position < 0 || position >= int(order.size()) || at - order.begin() == position)
        return false;
    order.erase(at);
    order.insert(order.begin() + position, index);
    // The links are written again from the new order.
    for (size_t k = 0; k < order.size(); ++k) {
        LayerRecord& L = live.layers[order[k]];
        L.prev = int16_t(k ? order[k - 1] : kNoLayer);
        L.next = int16_t(k + 1 < order.size() ? order[k + 1] : kNoLayer);
    }
    headLayer = order.front();
    viewRebuild = true;
    ChangeBatch batch(*this);
    Notify(docchange::Layers);
    RecordUndoStep(u"레이어 위치 이동", 6, index);
    host_->UpdateViews(*this, true);
    return true;
}

bool CVexoDoc::SetLayerVisible(int index, bool visible) {
    if (!InStack(index)) return false;
    if ((live.layers[index].visible == 1) == visible) return true;
    live.layers[index].visible = visible ? 1 : 0;
    modified = true;
    viewRebuild = true;
    Notify(docchange::Layers);
    return true;
}

bool CVexoDoc::SetLayerBlend(int index, int mode) {
    if (!InStack(index) || mode < 0 || mode > 9) return false;
    if (live.layers[index].blendMode == mode) return true;
    live.layers[index].blendMode = uint8_t(mode);
    modified = true;
    viewRebuild = true;
    Notify(docchange::Layers);
    return true;
}

bool CVexoDoc::SetLayerTransparency(int index, int transparency) {
    if (!InStack(index) || transparency < 0 || transparency > 255) return false;
    if (live.layers[index].transparency == transparency) return true;
    live.layers[index].transparency = uint8_t(transparency);
    modified = true;
    viewRebuild = true;
    Notify(docchange::Layers);
    return true;
}

bool CVexoDoc::RenameLayer(const std::u16string& name) {
    LayerRecord* L = CurrentLayerPtr();
    if (!L) return false;
    SetFixedText(L->name, 100, name);
    host_->RefreshLayersPanel(*this);
    return true;
}

// --- merge and flatten ---------------------------------------------------------

bool CVexoDoc::MergeLayerPair(int lower, int upper) {
    if (!IsValidLayer(lower) || !IsValidLayer(upper) || !InStack(lower) || live.layers[lower].next != upper)
        return false;
    if (live.layers[lower].IsTextKind() || live.layers[upper].IsTextKind()) {
        host_->MessageBox(kMergeTextLayer);
        return false;
    }
    compositeStart = lower;
    compositeCount = 2;
    if (!RenderThroughView(2)) return false;
    mergePending = true;
    DeleteLayer(upper, false);
    mergePending = false;
    SelectLayer(lower);
    RecordUndoStep(u"레이어병합", 9, lower);
    host_->UpdateViews(*this, true);
    return true;
}

bool CVexoDoc::FlattenDocument() {
    if (!IsValidLayer(headLayer)) return false;
    CommandScope scope(*this, 1500);
    if (!RenderThroughView(1)) return false;
    host_->SwitchTool(-1);
    return true;
}

// --- commands -------------------------------------------------------------------

namespace commands {
void RegisterLayerCommands(Table& t) {
    t.Add(1552, "레이어 추가", [](CVexoDoc& d, const std::vector<int>&) {
        CommandScope scope(d, 1552);
        return d.AddLayer();
    });
    t.Add(1553, "레이어 삭제", [](CVexoDoc& d, const std::vector<int>&) {
        CommandScope scope(d, 1553);
        return d.DeleteLayer(d.currentLayer, true);
    });
    t.Add(1555, "위쪽 레이어로 합치기", [](CVexoDoc& d, const std::vector<int>&) {
        CommandScope scope(d, 1555);
        const LayerRecord* L = d.CurrentLayerPtr();
        return L && L->prev != -1 && d.MergeLayerPair(L->prev, d.currentLayer);
    });
    t.Add(1557, "아래쪽 레이어로 합치기", [](CVexoDoc& d, const std::vector<int>&) {
        CommandScope scope(d, 1557);
        const LayerRecord* L = d.CurrentLayerPtr();
        return L && L->next != -1 && d.MergeLayerPair(d.currentLayer, L->next);
    });
    t.Add(1500, "레이어 없는 영상을 만듬", [](CVexoDoc& d, const std::vector<int>&) { return d.FlattenDocument(); });
    RegisterDocumentCommands(t);

    // Steps of the command line that stand for the layers panel and the move tool.
    t.AddNamed("select", [](CVexoDoc& d, const std::string& a) {
        const auto p = StepInts(a, 1, 1);
        return LayerOfStep(d, p[0]) && d.SelectLayer(p[0]);
    });
    t.AddNamed("visible", [](CVexoDoc& d, const std::string& a) {
        const auto p = StepInts(a, 2, 2);
        if (!LayerOfStep(d, p[0])) return false;
        d.Layer(p[0]).visible = p[1] ? 1 : 0;
        d.viewRebuild = true;
        d.Notify(docchange::Layers);
        return true;
    });
    t.AddNamed("blend", [](CVexoDoc& d, const std::string& a) {
        const auto p = StepInts(a, 2, 2);
        if (!LayerOfStep(d, p[0])) return false;
        if (p[1] < 0 || p[1] > 9) throw std::invalid_argument("blend mode must be 0 to 9");
        d.Layer(p[0]).blendMode = uint8_t(p[1]);
        d.viewRebuild = true;
        d.Notify(docchange::Layers);
        return true;
    });
    t.AddNamed("opacity", [](CVexoDoc& d, const std::string& a) {
        const auto p = StepInts(a, 2, 2);
        if (!LayerOfStep(d, p[0])) return false;
        if (p[1] < 0 || p[1] > 255) throw std::invalid_argument("transparency must be 0 to 255");
        d.Layer(p[0]).transparency = uint8_t(p[1]);
        d.viewRebuild = true;
        d.Notify(docchange::Layers);
        return true;
    });
    t.AddNamed("order", [](CVexoDoc& d, const std::string& a) {
        const auto p = StepInts(a, 2, 2);
        if (!LayerOfStep(d, p[0])) return false;
        if (p[1] < 0 || p[1] >= d.LayerCount()) throw std::invalid_argument("position must be 0 to the layer count - 1");
        d.MoveLayerInStack(p[0], p[1]);
        return true;
    });
    t.AddNamed("move", [](CVexoDoc& d, const std::string& a) {
        const auto p = StepInts(a, 3, 3);
        if (!LayerOfStep(d, p[0]) || !d.SelectLayer(p[0])) return false;
        CommandScope scope(d, 1570);
        return d.MoveLayer(p[0], p[1], p[2], true);
    });
}
}  // namespace commands

bool CVexoDoc::NewImage(int width, int height) {
    if (width < 1 || height < 1 || int64_t(width) * height > kMaxImagePixels) return false;
    VaZavi fresh(kTypeBMP);
    if (!fresh.Create(24, width, height, kTypeBMP)) return false;
    for (auto& L : live.layers) L.Clear();
    headLayer = currentLayer = kNoLayer;
    selectionActive = false;
    live.canvas = CanvasInfo{};
    live.palette.clear();
    if (!SetupLayerBuffers(height, width, u"", kTypeBMP, 24, 0, 255, 0, 0, 0, 2, width, height, 1, 1, LayerImage,
                           -1, false))
        return false;
    image.Transfer(fresh);
    LayerRecord& L = live.layers[0];
    L.inUse = 1;
    L.visible = 1;
    L.prev = L.next = -1;
    L.charWidthScale = 10;
    L.textAttr388 = 100;
    L.textBoxLeft = L.textBoxTop = L.tailX = L.tailY = -1;
    SetFixedText(L.name, 100, u"배경영상");
    headLayer = currentLayer = 0;
    viewRebuild = true;
    return true;
}
