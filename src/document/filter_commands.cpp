// The document's filter and transform operations and their commands.
#include "filter_commands.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <new>
#include <stdexcept>

#include "CVexoDoc.h"
#include "command_frame.h"
#include "commands.h"
#include "filter_model.h"
#include "memory_budget.h"
#include "undo_journal.h"

namespace docfilters {

namespace {

// Copies a layer into the previous-state set, reusing its buffers when the
// sizes match (a fresh 72 MB buffer costs more than the copy itself).
bool KeepPrevious(CVexoDoc& doc, int index) {
    const LayerRecord& src = doc.live.layers[index];
    LayerRecord& dst = doc.prevState.layers[index];
    if (dst.pixels && dst.alpha && dst.effectPlane && src.pixels && src.alpha && src.effectPlane &&
        dst.pixelSize == src.pixelSize && dst.planeSize == src.planeSize && !src.text && !dst.text) {
        static_cast<LayerRecordData&>(dst) = src;
        std::memcpy(dst.pixels.get(), src.pixels.get(), size_t(src.pixelSize));
        std::memcpy(dst.alpha.get(), src.alpha.get(), size_t(src.planeSize));
        std::memcpy(dst.effectPlane.get(), src.effectPlane.get(), size_t(src.planeSize));
        return true;
    }
    return dst.CopyFrom(src);
}

void SyncPalette(CVexoDoc& doc) {
    const RgbQuad* pal = doc.image.GetPalette();
    if (!pal || doc.image.ColorsUsed() <= 0) return;
    doc.live.palette.assign(pal, pal + doc.image.ColorsUsed());
}

// Runs op on layer `index` between BeginLayerOp and EndLayerOp.
bool FramedOp(CVexoDoc& doc, int index, bool useSelection, const LayerFn& op) {
    if (!doc.BeginLayerOp(index)) return false;
    layerops::LayerOpContext ctx =
        layerops::MakeContext(doc.image, doc.live, index, doc.scratchPixels.get(), doc.scratchAlpha.get());
    if (!useSelection || !doc.selectionActive) ctx.selection = nullptr;
    auto saved = doc.image.progressWindow;
    DocHost& host = doc.Host();
    doc.image.progressWindow = [&host](int p) { host.Progress(p); };
    doc.busy = true;
    bool ok = op(ctx);
    doc.busy = false;
    doc.image.progressWindow = saved;
    ok = doc.EndLayerOp(index, true) && ok;
    doc.Host().Progress(0);
    return ok;
}

void ResetSelection(CVexoDoc& doc) {
    doc.selectionActive = false;
    const LayerRecord* L = doc.CurrentLayerPtr();
    if (!L) return;
    SelectionMask& s = doc.live.selection;
    s.width = L->width, s.height = L->height, s.x = L->x, s.y = L->y;
    s.size = L->width * L->height;
    s.mask.assign(size_t(s.size), 1);
}

bool Record(CVexoDoc& doc, const char* label, int type) {
    return doc.RecordUndoStep(Utf8ToUtf16(label), type, doc.currentLayer);
}

const int kOutline[9] = {-1, -1, -1, -1, 8, -1, -1, -1, -1};
}  // namespace

bool RunLayerOp(CVexoDoc& doc, int id, int p1, int p2, const LayerFn& op) {
    LayerRecord* L = doc.CurrentLayerPtr();
    if (!L || !L->inUse) return false;
    if (!doc.GuardRasterLayer()) return false;
    CommandScope scope(doc, id);
    doc.filterParams[0] = p1;
    doc.filterParams[1] = p2;
    doc.Host().BeginWaitCursor();
    const int cur = doc.currentLayer;
    // The previous state needs the layer as it was. When its buffers have
    // the layer's sizes, only the record and the effect plane are copied
    // now: EndLayerOp leaves the old pixels and alpha in the scratch
    // buffers, and those are handed over to the previous state afterwards.
    LayerRecord& prev = doc.prevState.layers[cur];
    const bool handOver = prev.pixels && prev.alpha && prev.effectPlane && L->pixels && L->alpha &&
                          L->effectPlane && prev.pixelSize == L->pixelSize && prev.planeSize == L->planeSize &&
                          !L->text && !prev.text;
    const uint8_t* oldPixels = L->pixels.get();
    const uint8_t* oldAlpha = L->alpha.get();
    if (handOver) {
        static_cast<LayerRecordData&>(prev) = *L;
        std::memcpy(prev.effectPlane.get(), L->effectPlane.get(), size_t(L->planeSize));
    } else {
        KeepPrevious(doc, cur);
    }
    const bool ok = FramedOp(doc, cur, true, op);
    if (handOver) {
        if (doc.scratchPixels.get() == oldPixels && doc.scratchAlpha.get() == oldAlpha &&
            doc.scratchPixelSize == prev.pixelSize && doc.scratchPlaneSize == prev.planeSize) {
            std::swap(prev.pixels, doc.scratchPixels);
            std::swap(prev.alpha, doc.scratchAlpha);
        } else {
            // The layer kept its buffers (nothing came back): still as it was.
            KeepPrevious(doc, cur);
        }
    }
    doc.Host().EndWaitCursor();
    return ok;
}

int FilterCommandId(const std::string& name) {
    static const std::pair<const char*, int> ids[] = {
        {"엠보스", 1452},      {"흐리게", 1453},    {"부드럽게", 1454}, {"윤곽선", 1456},
        {"물체축소", 1457},    {"유리성에", 1458},  {"물체확장", 1460}, {"찍어붙이기", 1461},
        {"색종이뿌리기", 1462}, {"선효과채색", 1463}, {"수채화", 1465},   {"빗방울", 1466},
        {"한지효과", 1467},    {"부드럽게B", 1468}, {"노이즈제거(B)", 1469}, {"경계강조", 1470},
        {"방울채색", 1471},    {"유화", 1472},      {"영역확장", 1473}, {"욕실효과", 3477},
        {"렌즈효과", 3479},    {filters::kThreshold, 2111},
    };
    for (const auto& [n, id] : ids)
        if (name == n) return id;
    return -1;
}

LayerFn MakeFilterOp(const std::string& name, int mode, int p1, int p2, int p3) {
    using namespace layerops;
    LayerFn op;
    if (name == filters::kThreshold) {
        op = [mode, p1](LayerOpContext& c) {
            if (mode == 1) return ThresholdOrdered(c, p1);
            if (mode == 2) return ThresholdSimple(c, p1);
            return ThresholdFloyd(c, p1);
        };
    } else if (name == "흐리게") {
        op = [p1](LayerOpContext& c) { return WindowMean(c, p1, 1); };
    } else if (name == "부드럽게") {
        op = [p1](LayerOpContext& c) { return WindowMean(c, p1, p1 * p1); };
    } else if (name == "윤곽선") {
        op = [p1, p2](LayerOpContext& c) { return Convolve3x3(c, kOutline, p1, p2, true); };
    } else if (name == "엠보스") {
        op = [p1, p2](LayerOpContext& c) {
            const int k[9] = {-p1, 0, 0, 0, 0, 0, 0, 0, p1};
            return Convolve3x3(c, k, p2, 0, false);
        };
    } else if (name == "경계강조") {
        op = [p1, p2](LayerOpContext& c) { return EdgeDarken(c, p1, p2); };
    } else if (name == "물체축소") {
        op = [p1](LayerOpContext& c) { return Erode(c, p1); };
    } else if (name == "물체확장") {
        op = [p1](LayerOpContext& c) { return Dilate(c, p1); };
    } else if (name == "유리성에") {
        op = [p1](LayerOpContext& c) { return Frost(c, p1); };
    } else if (name == "수채화") {
        op = [](LayerOpContext& c) { return Watercolour(c); };
    } else if (name == "노이즈제거(B)") {
        op = [p1, p2](LayerOpContext& c) { return NoiseRemovalB(c, p1, p2); };
    } else if (name == "찍어붙이기") {
        op = [p1, p2, p3](LayerOpContext& c) { return Stamp(c, p1, p2, p3); };
    } else if (name == "색종이뿌리기") {
        op = [p1, p2, p3](LayerOpContext& c) { return Confetti(c, p1, p2, p3); };
    } else if (name == "선효과채색") {
        op = [p1, p2](LayerOpContext& c) { return LineColouring(c, p1, p2); };
    } else if (name == "한지효과") {
        op = [p1, p2](LayerOpContext& c) { return HanjiPaper(c, p1, p2); };
    } else if (name == "빗방울") {
        op = [p1, p2](LayerOpContext& c) { return Raindrops(c, p1, p2); };
    } else if (name == "영역확장") {
        op = [p1](LayerOpContext& c) { return RegionExpand(c, p1); };
    } else if (name == "방울채색") {
        op = [p1, p2](LayerOpContext& c) { return BubbleColouring(c, p1, p2); };
    } else if (name == "유화") {
        op = [p1, p2](LayerOpContext& c) { return OilPainting(c, p1, p2); };
    } else if (name == "욕실효과") {
        op = [](LayerOpContext& c) { return LensEffect(c, 4); };
    } else if (name == "렌즈효과") {
        op = [](LayerOpContext& c) { return LensEffect(c, 0); };
    } else if (name == "부드럽게B") {
        op = [](LayerOpContext& c) { return SoftenB(c); };
    }
    return op;
}

bool RunFilterByName(CVexoDoc& doc, const std::string& name, int mode, int p1, int p2, int p3) {
    const int id = FilterCommandId(name);
    if (id < 0) return false;
    LayerFn op = MakeFilterOp(name, mode, p1, p2, p3);
    if (!op) return false;
    return RunLayerOp(doc, id, p1, p2, op);
}

// --- transforms ----------------------------------------------------------------------

namespace {
using InPlaceFn = bool (*)(LayerRecord&, int);

// Mirror and flip without a selection: on the layer's own buffers, without
// the scratch copies of the command frame (whose panel and view updates
// follow as in FramedOp).
bool InPlaceOp(CVexoDoc& doc, int index, InPlaceFn op) {
    LayerRecord& L = doc.live.layers[index];
    if (!L.inUse) return false;
    const int bpp = doc.live.canvas.bitsPerPixel > 0 ? doc.live.canvas.bitsPerPixel : 24;
    doc.busy = true;
    const bool ok = op(L, bpp);
    doc.busy = false;
    doc.Host().RefreshLayersPanel(doc);
    if (doc.Host().CurrentCommand() != 1415) doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, doc.viewRebuild);
    doc.Host().Progress(0);
    return ok;
}

// The current layer; with a selection the alpha values move only where it
// marks the pixels, through the command frame.
bool TurnCurrentLayer(CVexoDoc& doc, int id, const LayerFn& framed, InPlaceFn inPlace) {
    if (!GuardLayerTransform(doc)) return false;
    CommandScope scope(doc, id);
    if (!doc.selectionActive) return InPlaceOp(doc, doc.currentLayer, inPlace);
    KeepPrevious(doc, doc.currentLayer);
    return FramedOp(doc, doc.currentLayer, true, framed);
}

bool EveryLayer(CVexoDoc& doc, int id, InPlaceFn op) {
    if (!IsValidLayer(doc.currentLayer) || !doc.GuardAllRasterLayers()) return false;
    CommandScope scope(doc, id);
    for (int i : doc.StackOrder())
        if (!InPlaceOp(doc, i, op)) return false;
    return true;
}
}  // namespace

bool MirrorCurrentLayer(CVexoDoc& doc, int id) {
    return TurnCurrentLayer(doc, id, layerops::MirrorLayer, layerops::MirrorLayerInPlace);
}

bool FlipCurrentLayer(CVexoDoc& doc, int id) {
    return TurnCurrentLayer(doc, id, layerops::FlipLayer, layerops::FlipLayerInPlace);
}

bool MirrorEveryLayer(CVexoDoc& doc) { return EveryLayer(doc, 1410, layerops::MirrorLayerInPlace); }
bool FlipEveryLayer(CVexoDoc& doc) { return EveryLayer(doc, 1411, layerops::FlipLayerInPlace); }

namespace {
bool RotateOne(CVexoDoc& doc, int index, double degrees, int& nw, int& nh) {
    LayerRecord& L = doc.live.layers[index];
    const int bpp = doc.live.canvas.bitsPerPixel > 0 ? doc.live.canvas.bitsPerPixel : 24;
    layerops::RotatedSize(L.width, L.height, degrees, nw, nh);
    if (!docmem::AllowLayerSize(doc, index, nw, nh)) return false;
    LayerRecord out;
    if (!NewLayerBuffers(L, bpp, nw, nh, out, &doc.spareBuffers)) return false;
    out.effectKind = 0;
    doc.image.progressWindow = [&doc](int p) { doc.Host().Progress(p); };
    // Whole quarter turns move pixels exactly; other angles take the
    // nearest-neighbour rotation.
    const double q = degrees / 90.0;
    const bool quarter = q == std::floor(q);
    // A quarter turn also fills the previous-state copy of the layer (the
    // step that follows would copy the turned layer there) while the bytes
    // are in cache, when its buffers have the sizes already.
    LayerRecord& prev = doc.prevState.layers[index];
    const bool fillPrev = quarter && !L.text && !prev.text && prev.pixels && prev.alpha && prev.effectPlane &&
                          prev.pixelSize == out.pixelSize && prev.planeSize == out.planeSize;
    const bool ok = quarter ? layerops::QuarterTurnLayer(L, out, bpp, int(q), fillPrev ? &prev : nullptr)
                            : layerops::RotateLayer(doc.image, L, out, bpp, degrees);
    doc.image.progressWindow = nullptr;
    if (!ok) return false;
    if (fillPrev) {
        // The turned layer's effect plane is new and clear: so is the copy's.
        std::memset(prev.effectPlane.get(), 0, size_t(out.planeSize));
        doc.prevStateFilled[index] = true;
    }
    // After a quarter turn the old buffers are kept for the turn back.
    if (quarter) doc.spareBuffers.TakeFrom(L);
    L.TakeFrom(out);
    return true;
}
}  // namespace

// The turns leave the previous-state copy to the step their command
// records next, which refreshes it from the turned layers.
bool RotateCurrentLayer(CVexoDoc& doc, int id, double degrees) {
    if (!GuardLayerTransform(doc)) return false;
    CommandScope scope(doc, id);
    ResetSelection(doc);
    const int cur = doc.currentLayer;
    LayerRecord& L = doc.live.layers[cur];
    const int ow = L.width, oh = L.height;
    int nw, nh;
    if (!RotateOne(doc, cur, degrees, nw, nh)) return false;   // nothing turned, no slot filled
    // The layer turns about its own centre.
    L.x += (ow - nw) / 2;
    L.y -= (oh - nh) / 2;
    ResetSelection(doc);
    doc.angle = degrees;
    doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, true);
    return true;
}

bool RotateCanvas(CVexoDoc& doc, int id, double degrees) {
    if (!IsValidLayer(doc.currentLayer) || !doc.GuardAllRasterLayers()) return false;
    // Every layer turned, on the canvas that holds them all.
    {
        const auto turned = [&](int, const LayerRecord&, int& w, int& h) {
            int nw, nh;
            layerops::RotatedSize(w, h, degrees, nw, nh);
            w = nw, h = nh;
        };
        int w2 = 1, h2 = 1;
        for (int i : doc.StackOrder()) {
            int w = doc.live.layers[i].width, h = doc.live.layers[i].height;
            turned(i, doc.live.layers[i], w, h);
            w2 = std::max(w2, w), h2 = std::max(h2, h);
        }
        if (!docmem::AllowGrowth(doc, docmem::WorkingSetWithLayers(doc, turned, w2, h2))) return false;
    }
    CommandScope scope(doc, id);
    doc.selectionActive = false;
    const int CW = doc.live.canvas.width, CH = doc.live.canvas.height;
    const double th = -(degrees * (1.0 / 90) * std::acos(0.0));
    struct Centre { double dx, dy; };
    std::vector<std::pair<int, Centre>> moved;
    int newW = 1, newH = 1;
    for (int i : doc.StackOrder()) {
        LayerRecord& L = doc.live.layers[i];
        // Centre relative to the canvas centre, in stored-row coordinates.
        const double dx = L.x + L.width / 2.0 - CW / 2.0, dy = -L.y + L.height / 2.0 - CH / 2.0;
        int nw, nh;
        if (!RotateOne(doc, i, degrees, nw, nh)) {
            // The layers turned so far stay turned without a step: their
            // previous-state copies go back to being copied at the next refresh.
            std::fill(std::begin(doc.prevStateFilled), std::end(doc.prevStateFilled), false);
            return false;
        }
        newW = std::max(newW, nw), newH = std::max(newH, nh);
        moved.push_back({i, Centre{dx * std::cos(th) - dy * std::sin(th), dx * std::sin(th) + dy * std::cos(th)}});
    }
    for (auto& [i, c] : moved) {
        LayerRecord& L = doc.live.layers[i];
        L.x = int(std::lround(newW / 2.0 + c.dx - L.width / 2.0));
        L.y = -int(std::lround(newH / 2.0 + c.dy - L.height / 2.0));
    }
    doc.SetCanvasSize(newW, newH);
    ResetSelection(doc);
    doc.angle = degrees;
    doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, true);
    return true;
}

bool NegativeLayer(CVexoDoc& doc) {
    const bool ok = RunLayerOp(doc, 1413, 0, 0, layerops::Negative);
    SyncPalette(doc);
    return ok;
}

// Grey rule of one layer: a text or balloon layer only has its text colour
// made grey; other layers are painted grey in the command frame and then
// copied into the previous-state set.
bool GreyOneLayer(CVexoDoc& doc, int index) {
    LayerRecord& L = doc.live.layers[index];
    if (L.IsTextKind()) {
        const uint8_t g = uint8_t((L.textColor[0] + L.textColor[1] + L.textColor[2]) / 3);
        L.textColor[0] = L.textColor[1] = L.textColor[2] = g;
        return true;
    }
    if (!FramedOp(doc, index, true, layerops::GreyLayer)) return false;
    KeepPrevious(doc, index);
    return true;
}

bool GreyLayers(CVexoDoc& doc, bool every) {
    if (!IsValidLayer(doc.currentLayer)) return false;
    CommandScope scope(doc, every ? 1414 : 4224);
    if (!every) return GreyOneLayer(doc, doc.currentLayer);
    for (int i : doc.StackOrder())
        if (!GreyOneLayer(doc, i)) return false;
    return true;
}

bool ResizeCanvas(CVexoDoc& doc, int width, int height) {
    if (width < 1 || height < 1 || int64_t(width) * height > kMaxImagePixels) return false;
    if (!IsValidLayer(doc.currentLayer) || !doc.GuardAllRasterLayers()) return false;
    if (doc.live.canvas.bitsPerPixel != 24) return false;
    const double sx = double(width) / doc.live.canvas.width, sy = double(height) / doc.live.canvas.height;
    const auto scaled = [&](int, const LayerRecord&, int& w, int& h) {
        w = std::max(1, int(std::lround(w * sx))), h = std::max(1, int(std::lround(h * sy)));
    };
    if (!docmem::AllowGrowth(doc, docmem::WorkingSetWithLayers(doc, scaled, width, height))) return false;
    CommandScope scope(doc, 1431);
    for (int i : doc.StackOrder()) {
        LayerRecord& L = doc.live.layers[i];
        const int nw = std::max(1, int(std::lround(L.width * sx))), nh = std::max(1, int(std::lround(L.height * sy)));
        LayerRecord out;
        if (!NewLayerBuffers(L, 24, nw, nh, out)) return false;
        out.effectKind = 0;
        doc.image.progressWindow = [&doc](int p) { doc.Host().Progress(p); };
        const bool ok = layerops::ResizeLayer(doc.image, L, out);
        doc.image.progressWindow = nullptr;
        if (!ok) return false;
        out.x = int(std::lround(L.x * sx));
        out.y = int(std::lround(L.y * sy));
        L.TakeFrom(out);
        KeepPrevious(doc, i);
    }
    doc.SetCanvasSize(width, height);
    ResetSelection(doc);
    doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, true);
    return true;
}

// --- the cli's filter step ----------------------------------------------------------

const std::vector<std::string>& FilterStepNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v = filters::FilterNames();
        v.push_back(filters::kThreshold);
        v.push_back("렌즈효과");
        return v;
    }();
    return names;
}

namespace {
// A whole number 1..count written with digits only, else 0.
int IndexIn(const std::string& text, size_t count) {
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
    const int n = std::stoi(text);
    return n >= 1 && size_t(n) <= count ? n : 0;
}
}  // namespace

FilterStep ParseFilterStep(const std::string& text) {
    FilterStep s;
    const size_t colon = text.find(':');
    std::string name = text.substr(0, colon);
    const size_t slash = name.find('/');
    // A filter may be named by its number in the list (FilterStepNames).
    if (const std::string head = name.substr(0, slash); !head.empty() && head.find_first_not_of("0123456789") == std::string::npos) {
        const int n = IndexIn(head, FilterStepNames().size());
        if (n == 0) throw std::invalid_argument("no filter number " + head + " (1.." + std::to_string(FilterStepNames().size()) + ")");
        name = FilterStepNames()[size_t(n - 1)] + (slash == std::string::npos ? "" : name.substr(slash));
    }
    const size_t slash2 = name.find('/');
    if (slash2 != std::string::npos) {
        std::string mode = name.substr(slash2 + 1);
        name = name.substr(0, slash2);
        if (name != filters::kThreshold) throw std::invalid_argument("only 임계치변환 takes a mode: " + text);
        const auto& modes = filters::ThresholdModes();
        // The mode by its number (1..3) or its name.
        if (const int n = IndexIn(mode, modes.size())) mode = modes[size_t(n - 1)];
        for (size_t i = 0; i < modes.size(); ++i)
            if (modes[i] == mode) s.mode = int(i);
        if (s.mode < 0) throw std::invalid_argument("unknown 임계치변환 mode: " + mode);
    } else if (name == filters::kThreshold) {
        s.mode = 0;
    }
    if (FilterCommandId(name) < 0) throw std::invalid_argument("unknown filter: " + name);
    s.name = name;
    const filters::FilterSpec spec = filters::Lookup(name, s.mode);
    for (int i = 0; i < 3; ++i) s.params[i] = spec.params[i].used ? spec.params[i].start : 0;
    if (colon == std::string::npos) return s;
    const std::string list = text.substr(colon + 1);
    size_t pos = 0;
    for (int i = 0; i < 3 && pos <= list.size(); ++i) {
        const size_t comma = list.find(',', pos);
        const std::string item = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (item.empty() && comma == std::string::npos && i > 0) throw std::invalid_argument("empty parameter: " + text);
        if (!item.empty()) {
            size_t used = 0;
            long v = 0;
            try {
                v = std::stol(item, &used, 10);
            } catch (const std::exception&) {
                throw std::invalid_argument("not a whole number: " + item);
            }
            if (used != item.size()) throw std::invalid_argument("not a whole number: " + item);
            const filters::ParamSpec& p = spec.params[i];
            // The slider's range, widened to a starting value below it.
            const long lo = std::min(p.min, p.start), hi = p.max;
            if (!p.used) {
                if (v != 0) throw std::invalid_argument(name + " does not take parameter " + std::to_string(i + 1));
            } else if (v < lo || v > hi) {
                throw std::invalid_argument("parameter " + std::to_string(i + 1) + " of " + name + " lies outside " +
                                            std::to_string(lo) + ".." + std::to_string(hi));
            }
            s.params[i] = int(v);
        }
        if (comma == std::string::npos) break;
        pos = comma + 1;
        if (i == 2) throw std::invalid_argument("at most three parameters: " + text);
    }
    return s;
}

bool ApplyFilterStep(CVexoDoc& doc, const FilterStep& step) {
    if (!filters::RunDocumentFilter(doc, step.name, step.mode, step.params[0], step.params[1], step.params[2]))
        return false;
    doc.RecordUndoStep(filters::UndoLabel(step.name, step.mode), 0, doc.currentLayer);
    return true;
}

}  // namespace docfilters

namespace commands {

void RegisterFilterCommands(Table& t) {
    using namespace docfilters;
    auto layerCmd = [&t](int id, const char* label, bool (*fn)(CVexoDoc&, int)) {
        t.Add(id, label, [id, label, fn](CVexoDoc& doc, const std::vector<int>&) {
            if (!fn(doc, id)) return false;
            doc.RecordUndoStep(Utf8ToUtf16(label), 0, doc.currentLayer);
            return true;
        });
    };
    layerCmd(1408, "거울변환", MirrorCurrentLayer);
    layerCmd(4220, "레이어 수평제비회전", MirrorCurrentLayer);
    layerCmd(4219, "레이어 수직제비회전", FlipCurrentLayer);
    t.Add(1410, "수평제비회전", [](CVexoDoc& doc, const std::vector<int>&) {
        return MirrorEveryLayer(doc) && Record(doc, "수평제비회전", 10);
    });
    t.Add(1411, "수직제비회전", [](CVexoDoc& doc, const std::vector<int>&) {
        return FlipEveryLayer(doc) && Record(doc, "수직제비회전", 10);
    });
    struct Turn { int id; const char* label; double deg; bool canvas; };
    static const Turn turns[] = {
        {1491, "캔버스 90 우회전", 90.0, true},    {1492, "캔버스 90 좌회전", -90.0, true},
        {4222, "캔버스 180 회전", 180.0, true},    {4210, "레이어 90 우회전", 90.0, false},
        {4214, "레이어 90 좌회전", -90.0, false}, {4221, "레이어 180 회전", 180.0, false},
    };
    for (const Turn& tr : turns) {
        t.Add(tr.id, tr.label, [tr](CVexoDoc& doc, const std::vector<int>&) {
            const bool ok = tr.canvas ? RotateCanvas(doc, tr.id, tr.deg) : RotateCurrentLayer(doc, tr.id, tr.deg);
            return ok && Record(doc, tr.label, tr.canvas ? 10 : 0);
        });
    }
    // Free rotation of the current layer by a whole number of degrees.
    t.Add(1415, "회전", [](CVexoDoc& doc, const std::vector<int>& p) {
        if (p.empty()) return false;
        return RotateCurrentLayer(doc, 1415, double(p[0])) && Record(doc, "이미지회전", 0);
    });
    // Every layer changes: the step keeps them all (whole-document type), so
    // that undo brings back the colours of the other layers too.
    t.Add(1414, "그레이스케일 영상으로 변환", [](CVexoDoc& doc, const std::vector<int>&) {
        return GreyLayers(doc, true) && Record(doc, "회색톤이미지 변환", UndoWholeDocument);
    });
    t.Add(4224, "레이어 채도 감소", [](CVexoDoc& doc, const std::vector<int>&) {
        return GreyLayers(doc, false) && Record(doc, "레이어 채도 감소", 0);
    });
    t.Add(1413, "반전변환", [](CVexoDoc& doc, const std::vector<int>&) {
        return NegativeLayer(doc) && Record(doc, "반전변환", 0);
    });
    // The filter operations: parameters in the dialog's order, missing ones
    // take the starting values; the step is kept under the filter's name.
    for (const std::string& name : filters::FilterNames()) {
        const int id = FilterCommandId(name);
        t.Add(id, name, [name](CVexoDoc& doc, const std::vector<int>& p) {
            // Same checks as the named step: at most the used parameters,
            // each inside its range (or its below-minimum starting value).
            std::string text = name;
            for (size_t i = 0; i < p.size(); ++i) text += (i ? "," : ":") + std::to_string(p[i]);
            return ApplyFilterStep(doc, ParseFilterStep(text));
        });
    }
    t.Add(3479, "렌즈효과", [](CVexoDoc& doc, const std::vector<int>&) {
        FilterStep s;
        s.name = "렌즈효과";
        return ApplyFilterStep(doc, s);
    });
    t.AddNamed("filter", [](CVexoDoc& doc, const std::string& args) {
        return ApplyFilterStep(doc, ParseFilterStep(args));
    });
}

}  // namespace commands
