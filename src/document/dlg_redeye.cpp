// Red-eye removal: the document operation and the panel's model.
#include "dlg_redeye.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "CVexoDoc.h"
#include "command_frame.h"
#include "commands.h"
#include "layer_ops.h"
#include "selection.h"
#include "undo_journal.h"

namespace dlg {

bool RemoveRedEye(CVexoDoc& doc, int strength, const PupilRect& rect) {
    const int cur = doc.currentLayer;
    LayerRecord* L = doc.CurrentLayerPtr();
    if (!L || rect.left < 0 || !doc.GuardRasterLayer()) return false;
    CommandScope scope(doc, 1476);
    if (!doc.BeginLayerOp(cur)) return false;
    // Canvas rectangle to layer pixels, rows counted from the layer's top.
    int left, right, rowTop, rowBottom;
    doc.CanvasToLayer(cur, rect.left, rect.top, left, rowTop);
    doc.CanvasToLayer(cur, rect.right, rect.bottom, right, rowBottom);
    const int top = L->height - 1 - rowTop, bottom = L->height - 1 - rowBottom;
    layerops::LayerOpContext ctx =
        layerops::MakeContext(doc.image, doc.live, cur, doc.scratchPixels.get(), doc.scratchAlpha.get());
    if (!doc.selectionActive) ctx.selection = nullptr;
    layerops::RemoveRedEyeLayer(ctx, left, top, right, bottom, std::clamp(strength, 0, 10) * 0.1);
    doc.EndLayerOp(cur, true);
    return doc.RecordUndoStep(u"적안 제거", UndoLayerChanged, cur);
}

void RedEyePanel::UpDown(int delta) {
    const int n = std::atoi(strengthText.c_str()) + (delta <= 0 ? 1 : -1);
    strengthText = std::to_string(std::clamp(n, 0, 10));
}

bool RedEyePanel::Apply(CVexoDoc& doc) {
    if (rect.left < 0) {
        doc.Host().MessageBox(kRedEyeNoSelection);
        return false;
    }
    char* end = nullptr;
    double v = std::strtod(strengthText.c_str(), &end);
    if (end == strengthText.c_str() || !std::isfinite(v)) v = 0;
    const int n = int(std::clamp(v, 0.0, 10.0));
    strengthText = std::to_string(n);
    const bool ok = RemoveRedEye(doc, n, rect);
    doc.ClearSelection();
    rect = PupilRect{};
    doc.Host().SetCurrentCommand(-1);
    doc.Host().SwitchTool(-1);
    return ok;
}

void RedEyePanel::StartImage(CVexoDoc& doc) {
    const int cur = doc.currentLayer;
    if (!IsValidLayer(cur) || !doc.prevState.layers[cur].pixels) return;
    doc.live.layers[cur].CopyFrom(doc.prevState.layers[cur]);
    doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, true);
}

void RedEyePanel::Close(CVexoDoc& doc) {
    StartImage(doc);
    doc.Host().MessageBox("적안 제거를 마칩니다.");
    doc.Host().SetCurrentCommand(-1);
    doc.Host().SwitchTool(-1);
}

bool RunRedEyeStep(CVexoDoc& doc, const std::string& args) {
    std::vector<int> v = commands::ParseIntList(args, "redeye:L,T,R,B,N");
    if (v.size() != 5 || v[0] < 0 || v[1] < 0 || v[2] <= v[0] || v[3] <= v[1] || v[4] < 0 || v[4] > 10)
        throw std::invalid_argument("redeye:L,T,R,B,N with L < R, T < B and N in 0..10: " + args);
    if (!doc.CurrentLayerPtr() || !doc.GuardRasterLayer()) return false;
    if (!doc.SelectShape(selection::kShapeEllipse, {{v[0], v[1]}, {v[2] - 1, v[3] - 1}}, 0)) return false;
    RedEyePanel p;
    p.rect = PupilRect{v[0], v[1], v[2], v[3]};
    p.strengthText = std::to_string(v[4]);
    return p.Apply(doc);
}

}  // namespace dlg

namespace commands {

void RegisterRedEyeCommands(Table& t) {
    t.AddNamed("redeye", [](CVexoDoc& doc, const std::string& args) { return dlg::RunRedEyeStep(doc, args); });
}

}  // namespace commands
