// Image size and canvas size: the operations and the dialog models.
#include "dlg_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <sstream>
#include <stdexcept>

#include "CVexoDoc.h"
#include "command_frame.h"
#include "commands.h"
#include "layer_ops.h"
#include "memory_budget.h"
#include "undo_journal.h"

namespace dlg {

namespace {

int Trunc(double v) { return int(std::trunc(v)); }

// Percent shown for a new size: trunc((new / old + 0.005) * 100).
int PercentOf(int now, int start) { return start > 0 ? Trunc((double(now) / start + 0.005) * 100) : 100; }

void ResetSelection(CVexoDoc& doc) {
    doc.selectionActive = false;
    if (doc.CurrentLayerPtr()) doc.ResetSelectionMask(doc.currentLayer);
}

// Nearest-sample column table of the resizing rule: source index of
// ((i + 0.5) * step - 0.5), rounded, inside 0..srcN-1.
std::vector<int> NearestTable(int n, int srcN) {
    std::vector<int> t(static_cast<size_t>(n));
    const double step = double(srcN) / n;
    for (int i = 0; i < n; ++i) t[size_t(i)] = std::clamp(int(std::lround((i + 0.5) * step - 0.5)), 0, srcN - 1);
    return t;
}

// Resamples a plane of `bytes` bytes per sample (rows of the given strides)
// by the nearest sample.
void ResampleNearest(const uint8_t* src, int sw, int sh, int sstride, uint8_t* dst, int dw, int dh, int dstride,
                     int bytes) {
    const std::vector<int> cx = NearestTable(dw, sw), cy = NearestTable(dh, sh);
    for (int j = 0; j < dh; ++j) {
        const uint8_t* s = src + size_t(cy[size_t(j)]) * size_t(sstride);
        uint8_t* d = dst + size_t(j) * size_t(dstride);
        if (bytes == 1)
            for (int i = 0; i < dw; ++i) d[i] = s[cx[size_t(i)]];
        else
            for (int i = 0; i < dw; ++i) std::memcpy(d + size_t(i) * bytes, s + size_t(cx[size_t(i)]) * bytes, size_t(bytes));
    }
}

bool ValidCanvasSize(int w, int h) { return w >= 1 && h >= 1 && int64_t(w) * h <= kMaxImagePixels; }

}  // namespace

// --- image-size model -----------------------------------------------------------------

void ImageSizeModel::Init(int w, int h, int resolution) {
    startWidth = width = w;
    startHeight = height = h;
    startDpi = dpi = resolution > 0 ? resolution : 72;
    percentX = percentY = 100;
    printWidth = double(w) / startDpi;
    printHeight = double(h) / startDpi;
}

void ImageSizeModel::SetWidth(int w) {
    width = std::max(1, w);
    if (keepProportions && startWidth > 0) height = int(int64_t(startHeight) * width / startWidth);
    percentX = PercentOf(width, startWidth);
    percentY = keepProportions ? percentX : PercentOf(height, startHeight);
}

void ImageSizeModel::SetHeight(int h) {
    height = std::max(1, h);
    if (keepProportions && startHeight > 0) width = int(int64_t(startWidth) * height / startHeight);
    percentY = PercentOf(height, startHeight);
    percentX = keepProportions ? percentY : PercentOf(width, startWidth);
}

void ImageSizeModel::SetPercentX(int x) {
    percentX = std::max(1, x);
    if (keepProportions) percentY = percentX;
    width = Trunc(percentX * 0.01 * startWidth);
    height = Trunc(percentY * 0.01 * startHeight);
}

void ImageSizeModel::SetPercentY(int y) {
    percentY = std::max(1, y);
    if (keepProportions) percentX = percentY;
    width = Trunc(percentX * 0.01 * startWidth);
    height = Trunc(percentY * 0.01 * startHeight);
}

void ImageSizeModel::SetPrinted(double w, double h, int resolution) {
    printWidth = w;
    printHeight = h;
    dpi = resolution;
    width = Trunc(resolution * w);
    height = Trunc(resolution * h);
}

void ImageSizeModel::StepPrintWidth(int delta) {
    SetPrinted(std::max(1.0, double(Trunc(printWidth) + delta)), printHeight, dpi);
    SetWidth(width);
}

void ImageSizeModel::StepPrintHeight(int delta) {
    SetPrinted(printWidth, std::max(1.0, double(Trunc(printHeight) + delta)), dpi);
    SetHeight(height);
}

void ImageSizeModel::StepDpi(int delta) {
    SetPrinted(printWidth, printHeight, std::max(1, dpi + delta));
    SetWidth(width);
}

void ImageSizeModel::ResetAndToggle() {
    const bool keep = keepProportions;
    Init(startWidth, startHeight, startDpi);
    keepProportions = !keep;
}

std::string ImageSizeModel::PrintedText(double inches) const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", inches);
    return buf;
}

// --- image size ------------------------------------------------------------------------

namespace {
// Within the memory budget once every layer is resampled to the canvas of
// W2 x H2 (or refused with the message).
bool ResampleFits(CVexoDoc& doc, int W2, int H2) {
    const int W = doc.live.canvas.width, H = doc.live.canvas.height;
    if (W < 1 || H < 1) return true;
    const double sx = double(W2) / W, sy = double(H2) / H;
    const auto scaled = [&](int, const LayerRecord&, int& w, int& h) {
        w = std::max(1, Trunc(w * sx + 0.5)), h = std::max(1, Trunc(h * sy + 0.5));
    };
    return docmem::AllowGrowth(doc, docmem::WorkingSetWithLayers(doc, scaled, W2, H2));
}
// The same for every layer raised to at least the new canvas size.
bool CanvasFits(CVexoDoc& doc, int W2, int H2) {
    const auto grown = [&](int, const LayerRecord&, int& w, int& h) { w = std::max(w, W2), h = std::max(h, H2); };
    return docmem::AllowGrowth(doc, docmem::WorkingSetWithLayers(doc, grown, W2, H2));
}
}  // namespace

bool ResampleLayers(CVexoDoc& doc, int W2, int H2) {
    const int W = doc.live.canvas.width, H = doc.live.canvas.height;
    if (W2 == W && H2 == H) return true;
    if (!ValidCanvasSize(W2, H2) || W < 1 || H < 1) return false;
    const double sx = double(W2) / W, sy = double(H2) / H;
    const int bpp = doc.live.canvas.bitsPerPixel > 0 ? doc.live.canvas.bitsPerPixel : 24;
    if (!ResampleFits(doc, W2, H2)) return false;
    DocHost& host = doc.Host();
    host.RefreshLayersPanel(doc);
    host.BeginWaitCursor();
    bool ok = true;
    for (int i : doc.StackOrder()) {
        LayerRecord& L = doc.live.layers[i];
        // A layer keeps at least one pixel each way.
        const int nw = std::max(1, Trunc(L.width * sx + 0.5)), nh = std::max(1, Trunc(L.height * sy + 0.5));
        if (int64_t(nw) * nh > kMaxImagePixels) { ok = false; break; }
        LayerRecord out;
        if (!NewLayerBuffers(L, bpp, nw, nh, out)) { ok = false; break; }
        out.x = Trunc(L.x * sx + 0.5);
        out.y = Trunc(L.y * sy + 0.5);
        if (L.IsTextKind()) {
            out.textOriginX = Trunc(L.textOriginX * sx + 0.5);
            out.textOriginY = Trunc(L.textOriginY * sy + 0.5);
            out.fontSize = Trunc(L.fontSize * std::min(sx, sy));
            ResampleNearest(L.pixels.get(), L.width, L.height, L.stride, out.pixels.get(), nw, nh, out.stride, 1);
            ResampleNearest(L.alpha.get(), L.width, L.height, L.width, out.alpha.get(), nw, nh, nw, 1);
        } else if (bpp == 24) {
            doc.image.progressWindow = [&host](int p) { host.Progress(p); };
            const bool done = layerops::ResizeLayer(doc.image, L, out);
            doc.image.progressWindow = nullptr;
            if (!done) { ok = false; break; }
        } else {
            // Palette indices cannot be blended: nearest sample.
            ResampleNearest(L.pixels.get(), L.width, L.height, L.stride, out.pixels.get(), nw, nh, out.stride, bpp / 8);
            ResampleNearest(L.alpha.get(), L.width, L.height, L.width, out.alpha.get(), nw, nh, nw, 1);
        }
        if (L.effectPlane)
            ResampleNearest(L.effectPlane.get(), L.width, L.height, L.width, out.effectPlane.get(), nw, nh, nw, 1);
        // The old buffers go to the journal's file of the step before.
        doc.JournalReplacedLayer(i);
        L.TakeFrom(out);
        host.RefreshLayersPanel(doc);
    }
    if (ok) doc.SetCanvasSize(W2, H2);
    host.Progress(0);
    host.EndWaitCursor();
    doc.viewRebuild = true;
    host.UpdateViews(doc, true);
    return ok;
}

bool ResizeDocument(CVexoDoc& doc, int dpi, int width, int height) {
    if (!IsValidLayer(doc.currentLayer) || !ValidCanvasSize(width, height) || dpi < 1) return false;
    if (!ResampleFits(doc, width, height)) return false;   // refused: no step, nothing changed
    CommandScope scope(doc, 1431);
    doc.image.SetXDpi(dpi);
    doc.image.SetYDpi(dpi);
    // Undo brings back the selection of before the command.
    doc.JournalAllLayers(true);
    doc.selectionActive = false;
    const bool ok = ResampleLayers(doc, width, height);
    doc.JournalUnreplacedLayers();
    ResetSelection(doc);
    // A failed layer leaves the earlier ones resized: the step is kept so
    // that undo can bring them back.
    doc.RecordUndoStep(u"이미지크기", UndoWholeDocument, doc.currentLayer);
    return ok;
}

bool ApplyImageSize(const ImageSizeModel& m, CVexoDoc& active, const std::vector<CVexoDoc*>& open) {
    if (!m.allOpen) return ResizeDocument(active, m.dpi, m.width, m.height);
    bool ok = true;
    for (CVexoDoc* d : open)
        if (d) ok = ResizeDocument(*d, m.dpi, m.width, m.height) && ok;
    return ok;
}

// --- canvas size -----------------------------------------------------------------------

void CanvasSizeModel::Init(int w, int h) {
    startWidth = width = w;
    startHeight = height = h;
}
void CanvasSizeModel::StepWidth(int delta) { width = std::max(1, width + delta); }
void CanvasSizeModel::StepHeight(int delta) { height = std::max(1, height + delta); }
void CanvasSizeModel::SetAnchor(int a) {
    if (a >= 0 && a <= 8) anchor = a;
}
std::string CanvasSizeModel::CurrentSizeText() const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "(%d x %d)", startWidth, startHeight);
    return buf;
}

AnchorOffsets CanvasAnchorOffsets(int anchor, int w, int h, int W2, int H2) {
    auto z = [](int v) { return std::max(0, v); };
    const int dw = W2 - w, dh = H2 - h;
    switch (anchor) {
        case 0: return {0, z(dh), 0, 0};
        case 1: return {z(dw / 2), z(dh), z((w - W2) / 2), h - H2};
        case 2: return {z(dw), z(dh), z(w - W2), h - H2};
        case 3: return {0, z(dh / 2), 0, 0};
        case 4: return {z(dw / 2), z(dh / 2), 0, 0};
        case 5: return {z(dw), z(dh / 2), z(w - W2), z((h - H2) / 2)};
        case 6: return {0, 0, 0, 0};
        case 7: return {z(dw / 2), 0, z((w - W2) / 2), 0};
        case 8: return {z(dw), 0, z(w - W2), 0};
        default: return {0, 0, 0, 0};
    }
}

bool ChangeCanvasSize(CVexoDoc& doc, int W2, int H2, int anchor) {
    if (W2 == doc.live.canvas.width && H2 == doc.live.canvas.height) return true;
    if (!ValidCanvasSize(W2, H2)) return false;
    const int bpp = doc.live.canvas.bitsPerPixel > 0 ? doc.live.canvas.bitsPerPixel : 24;
    if (!CanvasFits(doc, W2, H2)) return false;
    DocHost& host = doc.Host();
    host.RefreshLayersPanel(doc);
    host.BeginWaitCursor();
    bool ok = true;
    for (int i : doc.StackOrder()) {
        LayerRecord& L = doc.live.layers[i];
        const int w = L.width, h = L.height;
        const int nw = std::max(w, W2), nh = std::max(h, H2);
        if (int64_t(nw) * nh > kMaxImagePixels) { ok = false; break; }
        LayerRecord out;
        if (!NewLayerBuffers(L, bpp, nw, nh, out)) { ok = false; break; }
        out.link = -1;
        // White and fully transparent, effect plane 0.
        std::memset(out.pixels.get(), L.IsTextKind() ? 0 : 255, size_t(out.pixelSize));
        std::memset(out.alpha.get(), 0, size_t(out.planeSize));
        const AnchorOffsets o = CanvasAnchorOffsets(anchor, w, h, W2, H2);
        const size_t pixelBytes = L.IsTextKind() ? 1 : size_t(bpp / 8);
        for (int r = 0; r < h; ++r) {
            std::memcpy(out.pixels.get() + size_t(r + o.dy) * size_t(out.stride) + size_t(o.dx) * pixelBytes,
                        L.PixelRow(r), size_t(w) * pixelBytes);
            std::memcpy(out.alpha.get() + size_t(r + o.dy) * size_t(nw) + size_t(o.dx), L.AlphaRow(r), size_t(w));
        }
        out.x = L.x - o.ax;
        out.y = L.y + o.ay;
        doc.JournalReplacedLayer(i);
        L.TakeFrom(out);
        host.RefreshLayersPanel(doc);
    }
    doc.SetCanvasSize(W2, H2);
    host.EndWaitCursor();
    doc.viewRebuild = true;
    host.UpdateViews(doc, true);
    return ok;
}

bool ApplyCanvasSize(CVexoDoc& doc, int width, int height, int anchor) {
    if (!IsValidLayer(doc.currentLayer) || !ValidCanvasSize(width, height)) return false;
    if (!CanvasFits(doc, width, height)) return false;   // refused: no step, nothing changed
    CommandScope scope(doc, 1432);
    // Undo brings back the selection of before the command.
    doc.JournalAllLayers(true);
    doc.selectionActive = false;
    const bool ok = ChangeCanvasSize(doc, width, height, anchor);
    doc.JournalUnreplacedLayers();
    ResetSelection(doc);
    doc.RecordUndoStep(u"캔버스크기조정", UndoWholeDocument, doc.currentLayer);
    return ok;
}

// --- cli arguments ------------------------------------------------------------------------

namespace {
std::vector<std::string> SplitCommas(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, ',')) out.push_back(item);
    if (!text.empty() && text.back() == ',') out.push_back("");
    return out;
}
int ParseInt(const std::string& s, int lo, int hi, const char* what) {
    size_t used = 0;
    long v = 0;
    try {
        v = std::stol(s, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != s.size() || v < lo || v > hi)
        throw std::invalid_argument(std::string(what) + " must be a whole number in " + std::to_string(lo) + ".." +
                                    std::to_string(hi) + ": '" + s + "'");
    return int(v);
}
}  // namespace

SizeArgs ParseSizeArgs(const std::string& text) {
    const std::vector<std::string> p = SplitCommas(text);
    if (p.size() < 2 || p.size() > 4) throw std::invalid_argument("size:W,H[,DPI][,all] expected: " + text);
    SizeArgs a;
    a.width = ParseInt(p[0], 1, 1 << 28, "width");
    a.height = ParseInt(p[1], 1, 1 << 28, "height");
    for (size_t i = 2; i < p.size(); ++i) {
        if (p[i] == "all" && i + 1 == p.size()) a.all = true;
        else if (i == 2) a.dpi = ParseInt(p[i], 1, 1000000, "resolution");
        else throw std::invalid_argument("size:W,H[,DPI][,all] expected: " + text);
    }
    return a;
}

void ParseCanvasArgs(const std::string& text, int& width, int& height, int& anchor) {
    const std::vector<std::string> p = SplitCommas(text);
    if (p.size() != 3) throw std::invalid_argument("canvas:W,H,ANCHOR expected: " + text);
    width = ParseInt(p[0], 1, 1 << 28, "width");
    height = ParseInt(p[1], 1, 1 << 28, "height");
    anchor = ParseInt(p[2], 0, 8, "anchor");
}

}  // namespace dlg

namespace commands {

void RegisterDialogCommands(Table& t) {
    t.AddNamed("size", [](CVexoDoc& doc, const std::string& args) {
        const dlg::SizeArgs a = dlg::ParseSizeArgs(args);
        dlg::ImageSizeModel m;
        m.Init(doc.live.canvas.width, doc.live.canvas.height, doc.image.info.xDpi);
        m.keepProportions = false;
        m.SetWidth(a.width);
        m.SetHeight(a.height);
        if (a.dpi > 0) m.dpi = a.dpi;
        m.allOpen = a.all;   // the command line has one open picture
        return dlg::ApplyImageSize(m, doc, {&doc});
    });
    t.AddNamed("canvas", [](CVexoDoc& doc, const std::string& args) {
        int w, h, a;
        dlg::ParseCanvasArgs(args, w, h, a);
        return dlg::ApplyCanvasSize(doc, w, h, a);
    });
}

}  // namespace commands
