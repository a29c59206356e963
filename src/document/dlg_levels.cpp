// Levels commands and the levels dialog's model.
#include "dlg_levels.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "CVexoDoc.h"
#include "command_frame.h"
#include "commands.h"
#include "layer_ops.h"
#include "undo_journal.h"

namespace dlg {

namespace {

void SyncPalette(CVexoDoc& doc) {
    const RgbQuad* pal = doc.image.GetPalette();
    if (!pal || doc.image.ColorsUsed() <= 0) return;
    doc.live.palette.assign(pal, pal + doc.image.ColorsUsed());
}

// The re-mapping of the current layer in the command frame.
bool FramedRemap(CVexoDoc& doc, int channel, int low, int high, bool equalise) {
    const int cur = doc.currentLayer;
    if (!doc.BeginLayerOp(cur)) return false;
    layerops::LayerOpContext ctx =
        layerops::MakeContext(doc.image, doc.live, cur, doc.scratchPixels.get(), doc.scratchAlpha.get());
    if (!doc.selectionActive) ctx.selection = nullptr;
    const bool ok = layerops::RemapLevels(ctx, channel, low, high, equalise);
    SyncPalette(doc);
    doc.EndLayerOp(cur, true);
    return ok;
}

}  // namespace

bool AutoLevels(CVexoDoc& doc, bool equalise) {
    if (!doc.CurrentLayerPtr() || !doc.GuardRasterLayer()) return false;
    CommandScope scope(doc, equalise ? 2077 : 2076);
    FramedRemap(doc, 0, -1, -1, equalise);
    return doc.RecordUndoStep(equalise ? u"컬러 정규화" : u"자동 색상 조정", UndoLayerChanged, doc.currentLayer);
}

bool LevelsModel::Open(CVexoDoc& doc) {
    if (!doc.CurrentLayerPtr() || !doc.GuardRasterLayer()) return false;
    if (!doc.Host().SwitchTool(2533)) return false;
    doc_ = &doc;
    doc.Host().SetCurrentCommand(2533);
    const int cur = doc.currentLayer;
    if (doc.prevState.layers[cur].pixels) doc.live.layers[cur].CopyFrom(doc.prevState.layers[cur]);
    doc.preview.layers[cur].CopyFrom(doc.live.layers[cur]);
    if (!doc.EnsureScratch(doc.live.layers[cur].pixelSize, doc.live.layers[cur].planeSize)) return false;
    layerops::LayerOpContext ctx =
        layerops::MakeContext(doc.image, doc.live, cur, doc.scratchPixels.get(), doc.scratchAlpha.get());
    if (!layerops::Histogram(ctx, histogram)) return false;
    for (int ch = 0; ch < 4; ++ch) {
        const uint32_t* c = histogram + 256 * ch;
        maxCount[ch] = 0;
        lowest[ch] = -1, highest[ch] = -1;
        for (int k = 0; k < 255; ++k) {
            maxCount[ch] = std::max(maxCount[ch], c[k]);
            if (c[k]) {
                if (lowest[ch] < 0) lowest[ch] = k;
                highest[ch] = k;
            }
        }
        lowest[ch] = std::max(lowest[ch], 0);
        highest[ch] = std::max(highest[ch], 0);
    }
    channel = 0, low = 0, high = 255;
    return true;
}

void LevelsModel::SetChannel(int c) {
    if (c >= 0 && c <= 3) channel = c;
}

void LevelsModel::PressStrip(int x) {
    const int v = std::clamp(x - 10, 0, 255);
    const int oldLow = low, oldHigh = high;
    if (std::abs(v - low) <= std::abs(v - high)) low = v;
    else high = v;
    if (low >= high) low = oldLow, high = oldHigh;
}

bool LevelsModel::Release() {
    if (!doc_) return false;
    CVexoDoc& doc = *doc_;
    const int cur = doc.currentLayer;
    if (!doc.prevState.layers[cur].pixels) return false;
    doc.live.layers[cur].CopyFrom(doc.prevState.layers[cur]);
    const bool ok = FramedRemap(doc, channel, low, high, false);
    doc.preview.layers[cur].CopyFrom(doc.live.layers[cur]);
    return ok;
}

bool LevelsModel::Keep() {
    if (!doc_) return false;
    CVexoDoc& doc = *doc_;
    const int cur = doc.currentLayer;
    doc.live.layers[cur].CopyFrom(doc.preview.layers[cur]);
    const bool ok = doc.RecordUndoStep(u"색상조정", UndoLayerChanged, cur);
    doc.Host().SwitchTool(-1);
    doc.Host().SetCurrentCommand(-1);
    doc_ = nullptr;
    return ok;
}

void LevelsModel::Cancel() {
    if (!doc_) return;
    CVexoDoc& doc = *doc_;
    const int cur = doc.currentLayer;
    if (doc.prevState.layers[cur].pixels) doc.live.layers[cur].CopyFrom(doc.prevState.layers[cur]);
    doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, true);
    doc.Host().SwitchTool(-1);
    doc.Host().SetCurrentCommand(-1);
    doc_ = nullptr;
}

int LevelsModel::BarHeight(int level) const {
    if (level < 0 || level > 254) return 0;
    const uint32_t c = histogram[256 * channel + level];
    if (!c || !maxCount[channel]) return 0;
    const double s = std::min(1.0, 111.0 / maxCount[channel]);
    return int(s * c);
}

std::string LevelsModel::RangeText() const {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d ~ %d", lowest[0], highest[0]);
    return buf;
}

bool RunLevelsStep(CVexoDoc& doc, const std::string& args) {
    std::vector<int> v = commands::ParseIntList(args, "levels:CHANNEL,LOW,HIGH");
    if (v.size() != 3 || v[0] < 0 || v[0] > 3 || v[1] < 0 || v[2] > 255 || v[1] >= v[2])
        throw std::invalid_argument("levels:CHANNEL,LOW,HIGH with channel 0..3 and 0 <= LOW < HIGH <= 255: " + args);
    LevelsModel m;
    if (!m.Open(doc)) return false;
    m.SetChannel(v[0]);
    m.low = v[1];
    m.high = v[2];
    m.Release();
    return m.Keep();
}

}  // namespace dlg

namespace commands {

void RegisterLevelsCommands(Table& t) {
    t.Add(2076, "자동 색상 조정", [](CVexoDoc& doc, const std::vector<int>&) { return dlg::AutoLevels(doc, false); });
    t.Add(2077, "컬러 정규화", [](CVexoDoc& doc, const std::vector<int>&) { return dlg::AutoLevels(doc, true); });
    t.AddNamed("levels", [](CVexoDoc& doc, const std::string& args) { return dlg::RunLevelsStep(doc, args); });
}

}  // namespace commands
