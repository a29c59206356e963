// Photo frames: the four styles and the dialog's model.
#include "dlg_frame.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "CVexoDoc.h"
#include "command_frame.h"
#include "commands.h"
#include "undo_journal.h"

namespace dlg {

namespace {

// 1 in the middle of a side of length L at band row i, falling to 0 at its
// ends. A side of at most one pixel has no ends: 1.
double Tent(int k, int L, int i) {
    const int h = (L - 2 * i) / 2;
    if (h <= 0) return 1.0;
    return 1.0 - double(std::abs(h - k)) / h;
}

}  // namespace

void DrawFrameStyle(CVexoDoc& doc, int index, uint8_t* pixels, uint8_t* alpha, int style, int t, FrameColour c1,
                    FrameColour c2) {
    const LayerRecord& L = doc.Layer(index);
    const int W = doc.live.canvas.width, H = doc.live.canvas.height;
    if (t < 1 || !pixels || !alpha) return;
    auto paint = [&](int x, int y, double f, FrameColour c) {
        int col, row;
        doc.CanvasToLayer(index, x, y, col, row);
        if (col < 0 || col >= L.width || row < 0 || row >= L.height) return;
        uint8_t* p = pixels + size_t(row) * size_t(L.stride) + 3 * size_t(col);
        auto ch = [f](uint8_t v) { return uint8_t(std::min(255, int(std::trunc(f * v)))); };
        p[0] = ch(c.b), p[1] = ch(c.g), p[2] = ch(c.r);
        alpha[size_t(row) * size_t(L.width) + size_t(col)] = 255;
    };
    const double dt = t;
    for (int i = 0; i < t; ++i) {
        const bool odd = (i & 1) != 0;
        // Top and bottom sides.
        for (int pass = 0; pass < 2; ++pass) {
            const int y = pass == 0 ? i : H - 1 - i;
            for (int x = i; x <= W - 1 - i; ++x) {
                const int k = x - i;
                double f;
                FrameColour c = c1;
                switch (style) {
                    case 0: f = i / dt; break;
                    case 1: f = std::min(double(x) / (W - i) + 0.2, 1.0); break;
                    case 2:
                        if (odd) f = Tent(k, W, i), c = c2;
                        else f = std::min(double(x) / (W - i) + 0.2, 1.0);
                        break;
                    default: f = std::min(Tent(k, W, i) + 0.5, 1.0); break;
                }
                paint(x, y, f, c);
            }
        }
        // Left and right sides.
        for (int pass = 0; pass < 2; ++pass) {
            const int x = pass == 0 ? i : W - 1 - i;
            for (int y = i; y <= H - 1 - i; ++y) {
                const int k = y - i;
                double f;
                FrameColour c = c1;
                switch (style) {
                    case 0: f = i / dt; break;
                    case 1: f = pass == 0 ? std::max(i / dt - 0.2, 0.0) : std::min((t - i) / dt + 0.8, 1.3); break;
                    case 2:
                        if (odd) f = Tent(k, H, i), c = c2;
                        else f = pass == 0 ? i / dt : (t - i) / dt + 0.8;
                        break;
                    default: f = std::min(Tent(k, H, i) + 0.5, 1.0); break;
                }
                paint(x, y, f, c);
            }
        }
    }
}

bool ApplyPhotoFrame(CVexoDoc& doc, int style, int thickness, FrameColour c1, FrameColour c2) {
    int cur = doc.currentLayer;
    // The frame is drawn in true colour.
    if (!doc.CurrentLayerPtr() || (doc.live.canvas.bitsPerPixel != 24 && doc.live.canvas.bitsPerPixel != 0)) return false;
    if (doc.prevState.layers[cur].pixels) doc.live.layers[cur].CopyFrom(doc.prevState.layers[cur]);
    const int found = doc.FindLayerByName(kFrameLayerName);
    if (found != kNoLayer) {
        doc.currentLayer = found;
    } else {
        if (!doc.InsertLayer(-1, cur)) return false;
        doc.RenameLayer(kFrameLayerName);
        doc.prevState.layers[doc.currentLayer].CopyFrom(doc.live.layers[doc.currentLayer]);
    }
    cur = doc.currentLayer;
    if (doc.live.layers[cur].IsTextKind() || !doc.BeginLayerOp(cur)) return false;
    DrawFrameStyle(doc, cur, doc.scratchPixels.get(), doc.scratchAlpha.get(), style, thickness, c1, c2);
    doc.EndLayerOp(cur, true);
    doc.Host().RefreshLayersPanel(doc);
    return true;
}

bool PhotoFrameModel::Open(CVexoDoc& doc) {
    LayerRecord* L = doc.CurrentLayerPtr();
    if (!L || !doc.Host().SwitchTool(3392)) return false;
    const int cur = doc.currentLayer;
    doc.prevState.layers[cur].CopyFrom(*L);
    doc.preview.layers[cur].CopyFrom(*L);
    doc_ = &doc;
    Apply();
    return true;
}

void PhotoFrameModel::Apply() {
    if (doc_) ApplyPhotoFrame(*doc_, style, thickness, first, second);
}

void PhotoFrameModel::SetStyle(int s) {
    if (s < 0 || s > 3) return;
    style = s;
    Apply();
}

bool PhotoFrameModel::SetThickness(int t) {
    if (t < 1 || t > 300) return false;
    thickness = t;
    Apply();
    return true;
}

void PhotoFrameModel::Spin(int delta) {
    thickness = std::max(5, thickness + (delta <= 0 ? 1 : -1));
    Apply();
}

void PhotoFrameModel::SetFirstColour(FrameColour c) {
    first = c;
    Apply();
}

bool PhotoFrameModel::Ok() {
    if (!doc_) return false;
    CVexoDoc& doc = *doc_;
    const bool ok = doc.RecordUndoStep(u"사진틀 넣기", UndoLayerAdded, doc.currentLayer);
    doc.Host().SwitchTool(-1);
    doc_ = nullptr;
    return ok;
}

void PhotoFrameModel::Cancel() {
    if (!doc_) return;
    CVexoDoc& doc = *doc_;
    const int found = doc.FindLayerByName(kFrameLayerName);
    if (found != kNoLayer) doc.DeleteLayer(found, false);
    const int cur = doc.currentLayer;
    if (IsValidLayer(cur) && doc.preview.layers[cur].pixels) doc.live.layers[cur].CopyFrom(doc.preview.layers[cur]);
    doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, true);
    doc.Host().SwitchTool(-1);
    doc_ = nullptr;
}

namespace {
FrameColour ParseColour(const std::string& s) {
    if (s.size() != 6 || s.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        throw std::invalid_argument("colour must be RRGGBB: '" + s + "'");
    const unsigned long v = std::strtoul(s.c_str(), nullptr, 16);
    return FrameColour{uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}
}  // namespace

bool RunFrameStep(CVexoDoc& doc, const std::string& args) {
    std::vector<std::string> p;
    std::stringstream ss(args);
    std::string item;
    while (std::getline(ss, item, ',')) p.push_back(item);
    if (p.size() < 3 || p.size() > 4) throw std::invalid_argument("frame:STYLE,THICKNESS,RRGGBB[,RRGGBB] expected: " + args);
    auto num = [&](const std::string& s, int lo, int hi, const char* what) {
        size_t used = 0;
        int v = 0;
        try {
            v = std::stoi(s, &used);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used == 0 || used != s.size() || v < lo || v > hi)
            throw std::invalid_argument(std::string(what) + " out of range: '" + s + "'");
        return v;
    };
    PhotoFrameModel m;
    m.style = num(p[0], 0, 3, "frame style (0..3)");
    m.thickness = num(p[1], 1, 300, "frame thickness (1..300)");
    m.first = ParseColour(p[2]);
    if (p.size() == 4) m.second = ParseColour(p[3]);
    if (!m.Open(doc)) return false;
    return m.Ok();
}

}  // namespace dlg

namespace commands {

void RegisterFrameCommands(Table& t) {
    t.AddNamed("frame", [](CVexoDoc& doc, const std::string& args) { return dlg::RunFrameStep(doc, args); });
}

}  // namespace commands
