// The free-rotation panel's model.
#include "dlg_rotate.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "CVexoDoc.h"
#include "command_frame.h"
#include "commands.h"
#include "memory_budget.h"
#include "undo_journal.h"

namespace dlg {

void TurnedCanvasCorners(int width, int height, double degrees, layerops::PointD corners[4]) {
    const double th = degrees * std::acos(-1.0) / 180.0;
    const double c = std::cos(th), s = std::sin(th);
    const double cx = width / 2.0, cy = height / 2.0;
    const double px[4] = {0, double(width), double(width), 0};
    const double py[4] = {0, 0, double(height), double(height)};
    // Clockwise on screen (y down) for a positive angle.
    for (int i = 0; i < 4; ++i) {
        const double dx = px[i] - cx, dy = py[i] - cy;
        corners[i] = {cx + dx * c - dy * s, cy + dx * s + dy * c};
    }
}

bool RotationPanel::Open(CVexoDoc& doc) {
    if (doc.Host().CurrentCommand() == 1415) return false;
    LayerRecord* L = doc.CurrentLayerPtr();
    if (!L || !L->inUse) return false;
    doc.Host().SetCurrentCommand(1415);
    if (!doc.Host().SwitchTool(1415)) {
        doc.Host().SetCurrentCommand(-1);
        return false;
    }
    const int cur = doc.currentLayer;
    doc.prevState.layers[cur].CopyFrom(*L);
    doc.preview.layers[cur].CopyFrom(*L);
    doc_ = &doc;
    lastAngle = 0;
    boxText = "0";
    sliderPos = 0;
    Preview(false);
    doc.JournalAllLayers();
    L->x = -((L->width - doc.live.canvas.width) / 2);
    L->y = (L->height - doc.live.canvas.height) / 2;
    doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, true);
    doc.Host().StatusText("");
    return true;
}

bool RotationPanel::Preview(bool rotate) {
    if (!doc_) return false;
    const LayerRecord* L = doc_->CurrentLayerPtr();
    if (!L) return false;
    if (L->IsTextKind()) {
        doc_->Host().MessageBox(kRotateTextLayer);
        return false;
    }
    char* end = nullptr;
    double a = std::strtod(boxText.c_str(), &end);
    if (end == boxText.c_str() || !std::isfinite(a)) a = 0;   // an empty or foreign box reads as 0
    if (a > 359) a = 359, boxText = "359";
    if (a < -359) a = -359, boxText = "-359";
    if (a < 0) a += 360;
    if (a == lastAngle) return false;
    lastAngle = a;
    TurnedCanvasCorners(doc_->live.canvas.width, doc_->live.canvas.height, a, corners);
    if (!rotate) return false;
    doc_->Host().BeginWaitCursor();
    const bool ok = RotateCurrent(a);
    doc_->Host().EndWaitCursor();
    doc_->viewRebuild = true;
    doc_->Host().UpdateViews(*doc_, true);
    return ok;
}

bool RotationPanel::RotateCurrent(double degrees) {
    CVexoDoc& doc = *doc_;
    const int cur = doc.currentLayer;
    LayerRecord& L = doc.live.layers[cur];
    const LayerRecord& src = doc.prevState.layers[cur];
    if (!src.pixels || !src.alpha || src.IsTextKind()) return false;
    if (!L.CopyFrom(src)) return false;
    const int bpp = doc.live.canvas.bitsPerPixel > 0 ? doc.live.canvas.bitsPerPixel : 24;
    int nw, nh;
    // Whole quarter turns (0 included) move every pixel exactly; other
    // angles take the nearest-neighbour rotation.
    const double q = degrees / 90.0;
    const bool quarter = q == std::floor(q);
    if (quarter) {
        const int k = ((int(q) % 4) + 4) % 4;
        nw = (k & 1) ? src.height : src.width, nh = (k & 1) ? src.width : src.height;
    } else {
        layerops::RotatedSize(src.width, src.height, degrees, nw, nh);
    }
    if (nw < 1 || nh < 1 || int64_t(nw) * nh > kMaxImagePixels) return false;
    if (!docmem::AllowLayerSize(doc, cur, nw, nh)) return false;
    LayerRecord out;
    static_cast<LayerRecordData&>(out) = src;
    out.width = nw, out.height = nh;
    out.stride = int32_t(LayerStride(nw, bpp));
    out.planeSize = nw * nh;
    out.pixelSize = out.stride * nh;
    out.pixels.reset(new (std::nothrow) uint8_t[size_t(out.pixelSize)]);
    out.alpha.reset(new (std::nothrow) uint8_t[size_t(out.planeSize)]);
    out.effectPlane.reset(new (std::nothrow) uint8_t[size_t(out.planeSize)]());
    if (!out.pixels || !out.alpha || !out.effectPlane) return false;
    bool ok;
    if (quarter && (int(q) % 4) == 0) {
        std::memcpy(out.pixels.get(), src.pixels.get(), size_t(out.pixelSize));
        std::memcpy(out.alpha.get(), src.alpha.get(), size_t(out.planeSize));
        ok = true;
    } else if (quarter) {
        ok = layerops::QuarterTurnLayer(src, out, bpp, int(q));
    } else {
        doc.image.progressWindow = [&doc](int p) { doc.Host().Progress(p); };
        ok = layerops::RotateLayer(doc.image, src, out, bpp, degrees);
        doc.image.progressWindow = nullptr;
    }
    if (!ok) return false;
    L.FreeBuffers();
    static_cast<LayerRecordData&>(L) = out;
    L.pixels = std::move(out.pixels);
    L.alpha = std::move(out.alpha);
    L.effectPlane = std::move(out.effectPlane);
    L.effectKind = 0;
    // Centred on the canvas (the move tool's move, at the view's zoom).
    const int CW = doc.live.canvas.width, CH = doc.live.canvas.height;
    L.x = -int(std::trunc(doc.zoom * ((nw - CW) / 2)));
    L.y = int(std::trunc(doc.zoom * ((nh - CH) / 2)));
    doc.ResetSelectionMask(cur);
    doc.Host().RefreshLayersPanel(doc);
    return true;
}

void RotationPanel::SetText(const std::string& text) {
    boxText = text;
    Preview(true);
}

void RotationPanel::SliderReleased(int pos) {
    sliderPos = pos < 0 ? 0 : pos > 355 ? 355 : pos;
    SetText(std::to_string(sliderPos));
}

void RotationPanel::UpDown(int delta) {
    double a = std::strtod(boxText.c_str(), nullptr);
    if (!std::isfinite(a)) a = 0;
    a += delta == 1 ? -0.1 : 0.1;
    if (a > 360) a -= 360;
    if (a < 0) a += 360;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", a);
    SetText(buf);
}

void RotationPanel::StartImage() {
    if (!doc_) return;
    const int cur = doc_->currentLayer;
    if (doc_->prevState.layers[cur].pixels) doc_->live.layers[cur].CopyFrom(doc_->prevState.layers[cur]);
    lastAngle = 0;
    boxText = "0.00";
    doc_->viewRebuild = true;
    doc_->Host().UpdateViews(*doc_, true);
}

bool RotationPanel::Ok() {
    if (!doc_) return false;
    CVexoDoc& doc = *doc_;
    if (doc.Host().CurrentCommand() != 1415) return false;
    doc.Host().BeginWaitCursor();
    doc.ClearSelection();
    const bool ok = RotateCurrent(lastAngle);
    if (ok) doc.RecordUndoStep(u"이미지회전", UndoLayerChanged, doc.currentLayer);
    doc.Host().EndWaitCursor();
    doc.Host().SetCurrentCommand(-1);
    doc.Host().SwitchTool(-1);
    doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, true);
    doc.Host().RefreshLayersPanel(doc);
    doc_ = nullptr;
    return ok;
}

void RotationPanel::Close() {
    if (!doc_) return;
    StartImage();
    CVexoDoc& doc = *doc_;
    doc.Host().SwitchTool(-1);
    doc.Host().SetCurrentCommand(-1);
    const int cur = doc.currentLayer;
    if (doc.preview.layers[cur].pixels) doc.live.layers[cur].CopyFrom(doc.preview.layers[cur]);
    doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, true);
    doc_ = nullptr;
}

bool RunRotateStep(CVexoDoc& doc, const std::string& args) {
    char* end = nullptr;
    const double a = std::strtod(args.c_str(), &end);
    if (args.empty() || end != args.c_str() + args.size() || !std::isfinite(a))
        throw std::invalid_argument("rotate:DEGREES expected: " + args);
    if (doc.CurrentLayerPtr() && doc.CurrentLayerPtr()->IsTextKind()) {
        doc.Host().MessageBox(kRotateTextLayer);
        return false;
    }
    RotationPanel p;
    if (!p.Open(doc)) return false;
    p.SetText(args);
    return p.Ok();
}

}  // namespace dlg

namespace commands {

void RegisterRotateCommands(Table& t) {
    t.AddNamed("rotate", [](CVexoDoc& doc, const std::string& args) { return dlg::RunRotateStep(doc, args); });
}

}  // namespace commands
