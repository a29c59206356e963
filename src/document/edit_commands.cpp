// Clipboard and duplicate commands (copy 57634, copy whole layer 4604, cut
// 57635, paste 57637, duplicate layer 3500, duplicate picture 1412), the
// 4-bit entries that only store their parameters (2011, 2013) and the commands
// that do nothing (1444, 1507).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

#include "CVexoDoc.h"
#include "command_frame.h"
#include "commands.h"
#include "dib_types.h"
#include "filter_commands.h"
#include "free_transform.h"
#include "layer_ops.h"
#include "memory_budget.h"
#include "undo_journal.h"

namespace {

constexpr const char* kRgbOnly = "RGB영상만 지원합니다.";

// The current layer (or its selected part) to the clipboard.
bool CopyToClipboard(CVexoDoc& doc) {
    std::vector<uint8_t> dib;
    return doc.SelectionToDib(dib) && doc.Host().SetClipboardDib(dib);
}

// Cut edge: a selected pixel at Euclidean distance d from the nearest
// unselected pixel of the mask keeps alpha * (1 - d / (feather + 1)) while
// d <= feather, and becomes fully transparent beyond; feather 0 clears the
// whole selected part.
void ClearSelectedPart(CVexoDoc& doc, int index, int feather) {
    const LayerRecord& L = doc.live.layers[index];
    const SelectionMask& sel = doc.live.selection;
    uint8_t* alpha = doc.scratchAlpha.get();
    if (!alpha || sel.width < 1 || sel.height < 1 || sel.mask.size() < size_t(sel.width) * size_t(sel.height)) return;
    feather = std::clamp(feather, 0, 254);
    const int64_t dc = int64_t(L.x) - sel.x, dr = int64_t(sel.y) - L.y;
    auto selected = [&](int64_t c, int64_t r) {
        const int64_t mc = c + dc, mr = r + dr;
        return mc >= 0 && mr >= 0 && mc < sel.width && mr < sel.height &&
               sel.mask[size_t(mr) * size_t(sel.width) + size_t(mc)] != 0;
    };
    const int f2 = feather * feather;
    for (int r = 0; r < L.height; ++r) {
        uint8_t* a = alpha + size_t(r) * size_t(L.width);
        for (int c = 0; c < L.width; ++c) {
            if (!selected(c, r)) continue;
            int best = f2 + 1;   // squared distance to the nearest unselected pixel
            for (int y = -feather; y <= feather && best > 1; ++y)
                for (int x = -feather; x <= feather; ++x) {
                    const int d2 = x * x + y * y;
                    if (d2 == 0 || d2 >= best) continue;
                    if (!selected(int64_t(c) + x, int64_t(r) + y)) best = d2;
                }
            if (best > f2) {
                a[c] = 0;
                continue;
            }
            const double d = std::min(std::sqrt(double(best)), double(feather + 1));
            a[c] = uint8_t(a[c] * (1.0 - d / (feather + 1)));
        }
    }
}

}  // namespace

// Paste: the clipboard picture as a new layer above the current one, its
// top-left corner on the canvas's top-left corner.
static bool PasteAsLayer(CVexoDoc& doc) {
    std::vector<uint8_t> clip;
    if (!doc.Host().GetClipboardDib(clip) || clip.size() < sizeof(BitmapInfoHeader)) return false;
    BitmapInfoHeader hdr;
    std::memcpy(&hdr, clip.data(), sizeof hdr);
    const int64_t w = hdr.width, h = hdr.height < 0 ? -int64_t(hdr.height) : int64_t(hdr.height);
    if (w < 1 || h < 1 || w * h > kMaxImagePixels) return false;
    VaZavi picture(kTypeBMP);
    int32_t xpm = 0;
    if (!picture.CreateFromHandle(clip.data(), clip.size(), &hdr, &xpm, false) || picture.Width() != w ||
        picture.Height() != h)
        return false;
    if (doc.live.canvas.bitsPerPixel != 24) {
        doc.Host().MessageBox(kRgbOnly);
        return false;
    }
    CommandScope scope(doc, 57637);
    if (!doc.InsertLayer(-1, doc.currentLayer)) return false;
    const int slot = doc.currentLayer;
    const CanvasInfo cv = doc.live.canvas;
    LayerRecord& L = doc.Layer(slot);
    const int H = std::max<int>(int(h), cv.height);
    if (!doc.SetupLayerBuffers(int(h), int(w), u"", kTypeBMP, 24, 0, 0, slot, 0, H - cv.height, 2, cv.width,
                               cv.height, 0, 0, LayerRaster, -1, false)) {
        doc.DeleteLayer(slot, false);
        return false;
    }
    L.effectKind = 0;
    const int top = L.height - int(h);   // stored row of the picture's bottom row
    for (int r = 0; r < int(h); ++r) {
        uint8_t* out = L.PixelRow(top + r);
        uint8_t* a = L.alpha.get() + size_t(top + r) * size_t(L.width);
        for (int c = 0; c < int(w); ++c, out += 3) {
            const uint32_t colour = picture.GetPixelColor(c, r);
            out[0] = ColB(colour);
            out[1] = ColG(colour);
            out[2] = ColR(colour);
            a[c] = 255;
        }
    }
    doc.viewRebuild = true;
    doc.Host().RefreshLayersPanel(doc);
    doc.Host().UpdateViews(doc, true);
    doc.RecordUndoStep(u"복사물 붙이기", 3, slot);
    doc.modified = true;
    return true;
}

// Duplicate the whole picture (every layer) into a new document.
static bool DuplicatePicture(CVexoDoc& doc) {
    if (!IsValidLayer(doc.currentLayer)) return false;
    if (!docmem::AllowNewDocument(doc, docmem::WorkingSet(doc))) return false;
    CommandScope scope(doc, 1412);
    auto copy = std::make_unique<CVexoDoc>(&doc.Host());
    copy->live.canvas = doc.live.canvas;
    copy->live.palette = doc.live.palette;
    for (int i = 0; i < kMaxLayers; ++i)
        if (doc.live.layers[i].inUse && !copy->live.layers[i].CopyFrom(doc.live.layers[i])) return false;
    copy->headLayer = doc.headLayer;
    copy->currentLayer = doc.currentLayer;
    VaZavi imageCopy(doc.image);
    if (!copy->image.Transfer(imageCopy)) return false;
    copy->ResetSelectionMask(copy->currentLayer);
    char title[400];
    std::snprintf(title, sizeof title, "복사%d_%s", doc.Host().NextImageNumber(), doc.displayName.c_str());
    SetFixedText(copy->live.canvas.title, 100, Utf8ToUtf16(title));
    copy->displayName = title;
    copy->docSerial = doc.Host().NextDocSerial();
    copy->viewRebuild = true;
    copy->RecordUndoStep(u"initial state", 0, copy->currentLayer);
    copy->modified = true;
    CVexoDoc* shown = doc.Host().AdoptNewDocument(std::move(copy), title);
    if (shown) doc.Host().UpdateViews(*shown, true);
    return shown != nullptr;
}


// A new one-layer document of grey pixels: value (column, stored row) of
// `plane`, rows bottom-up and `width` bytes long.
static bool AdoptGreyDocument(CVexoDoc& doc, int width, int height, const std::vector<uint8_t>& plane,
                              const std::string& title) {
    auto grey = std::make_unique<CVexoDoc>(&doc.Host());
    if (!grey->NewImage(width, height)) return false;
    LayerRecord& base = grey->Layer(grey->headLayer);
    for (int r = 0; r < height; ++r) {
        uint8_t* out = base.PixelRow(r);
        const uint8_t* in = plane.data() + size_t(r) * size_t(width);
        for (int c = 0; c < width; ++c, out += 3) out[0] = out[1] = out[2] = in[c];
    }
    SetFixedText(grey->live.canvas.title, 100, Utf8ToUtf16(title));
    grey->displayName = title;
    grey->docSerial = doc.Host().NextDocSerial();
    grey->RecordUndoStep(u"initial state", 0, grey->headLayer);
    grey->modified = true;
    CVexoDoc* shown = doc.Host().AdoptNewDocument(std::move(grey), title);
    if (shown) doc.Host().UpdateViews(*shown, true);
    return shown != nullptr;
}

// Channel split (1441 RGB, 1442 YUV, 1443 HSL) of the current layer into
// three new documents.
static bool SplitChannels(CVexoDoc& doc, int id) {
    if (!IsValidLayer(doc.currentLayer) || !doc.GuardRasterLayer()) return false;
    CommandScope scope(doc, id);
    static const char* const kNames[3][3] = {{"Red", "Green", "Blue"},
                                             {"Y", "U", "V"},
                                             {"Lightness", "Saturation", "Hue"}};
    const int kindIndex = id - 1441;
    std::vector<uint8_t> planes[3];
    int w = 0, h = 0;
    if (id == 1441) {
        w = doc.live.canvas.width, h = doc.live.canvas.height;
        for (auto& p : planes) p.assign(size_t(w) * size_t(h), 0);
        if (!layerops::SplitRGB(doc.image, doc.live, doc.currentLayer, planes[0].data(), planes[1].data(),
                                planes[2].data()))
            return false;
    } else {
        VaZavi t[3] = {VaZavi(kTypeBMP), VaZavi(kTypeBMP), VaZavi(kTypeBMP)};
        const bool ok = id == 1442 ? layerops::SplitYUV(doc.image, doc.live, doc.currentLayer, &t[0], &t[1], &t[2])
                                   : layerops::SplitHSL(doc.image, doc.live, doc.currentLayer, &t[0], &t[1], &t[2]);
        if (!ok) return false;
        w = t[0].Width(), h = t[0].Height();
        for (int k = 0; k < 3; ++k) {
            if (t[k].Width() != w || t[k].Height() != h) return false;
            planes[k].resize(size_t(w) * size_t(h));
            for (int r = 0; r < h; ++r) std::memcpy(planes[k].data() + size_t(r) * size_t(w), t[k].Row(r), size_t(w));
        }
    }
    // Titles in the order hue, saturation, lightness for HSL (the planes
    // come as lightness, saturation, hue).
    const int order[3][3] = {{0, 1, 2}, {0, 1, 2}, {2, 1, 0}};
    for (int n = 0; n < 3; ++n) {
        const int k = order[kindIndex][n];
        char title[400];
        std::snprintf(title, sizeof title, "%s Channel %d from %s", kNames[kindIndex][k], doc.Host().NextImageNumber(),
                      doc.displayName.c_str());
        if (!AdoptGreyDocument(doc, w, h, planes[k], title)) return false;
    }
    return true;
}

// Free transform apply (4250 scale, 4251 distort, 4252 perspective). The
// handles are canvas edge coordinates (origin top-left) in the order
// top-left, top-right, bottom-right, bottom-left; handles on the layer's
// own edges give the layer back unchanged.
static bool ApplyFreeTransform(CVexoDoc& doc, int id, const std::vector<int>& h) {
    static const char16_t* const kLabels[3] = {u"자유변형_크기", u"자유변형_왜곡", u"자유변형_원근"};
    if (h.size() != 8) throw std::invalid_argument("free transform takes four corners X,Y (eight values)");
    if (!GuardLayerTransform(doc)) return false;
    if (doc.zoom != 1.0) {
        doc.Host().MessageBox("자유변형은 줌 100% 상태에서 동작함");
        doc.zoom = 1.0;
        doc.viewRebuild = true;
        doc.Host().UpdateViews(doc, true);
        return false;
    }
    if (doc.live.canvas.bitsPerPixel != 24) {
        doc.Host().MessageBox(kRgbOnly);
        return false;
    }
    for (int v : h)
        if (v < -1000000 || v > 1000000) return false;
    CommandScope scope(doc, id);
    const int cur = doc.currentLayer;
    LayerRecord& L = doc.live.layers[cur];
    const docxform::Handles corners{docxform::Handle{h[0], h[1]}, docxform::Handle{h[2], h[3]},
                                    docxform::Handle{h[4], h[5]}, docxform::Handle{h[6], h[7]}};
    LayerRecord out;
    doc.Host().BeginWaitCursor();
    doc.image.progressWindow = [&doc](int pc) { doc.Host().Progress(pc); };
    const bool ok = docxform::Warp(doc, L, corners, out);
    doc.image.progressWindow = nullptr;
    doc.Host().Progress(0);
    doc.Host().EndWaitCursor();
    if (!ok) return false;
    static_cast<LayerRecordData&>(L) = out;
    L.pixels = std::move(out.pixels);
    L.alpha = std::move(out.alpha);
    L.effectPlane = std::move(out.effectPlane);
    doc.selectionActive = false;
    doc.ResetSelectionMask(cur);
    doc.prevState.layers[cur].CopyFrom(L);
    doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, true);
    doc.RecordUndoStep(kLabels[id - 4250], 0, cur);
    doc.modified = true;
    return true;
}

// Shadow effect (1558) of the current layer: KIND (3 shadow, 0 none),
// direction 0..7, distance, spread, strength as the effect dialog gives
// them; the shadow is rendered at once.
static bool ShadowEffect(CVexoDoc& doc, const std::vector<int>& p) {
    if (p.size() > 5) throw std::invalid_argument("shadow takes at most KIND,DIR,DIST,SPREAD,STRENGTH");
    if (!doc.GuardRasterLayer()) return false;
    for (size_t i = 0; i < p.size(); ++i)
        if (p[i] < 0 || p[i] > (i == 1 ? 7 : 255)) throw std::invalid_argument("shadow value out of range");
    if (!p.empty() && p[0] != 0 && p[0] != 3) throw std::invalid_argument("shadow kind is 0 or 3");
    CommandScope scope(doc, 1558);
    const int cur = doc.currentLayer;
    LayerRecord& L = doc.live.layers[cur];
    L.effectKind = uint8_t(p.empty() ? 3 : p[0]);
    if (p.size() > 1) L.effectParam = uint8_t(p[1]);
    for (size_t i = 2; i < p.size(); ++i) L.effectParams[i - 2] = uint8_t(p[i]);
    doc.RenderShadow(cur);
    doc.prevState.layers[cur].CopyFrom(L);
    doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, true);
    doc.RecordUndoStep(u"레이어효과(그림자)", 0, cur);
    doc.modified = true;
    return true;
}

// Ellipse transform (1406) of the document image: every row is squeezed
// into the chord of the ellipse inscribed in the picture at that row,
// centred; outside the ellipse the picture becomes white. The layers are
// not touched; the image is journaled before and after, so that undo and
// redo bring its pixels back.
static bool EllipseTransform(CVexoDoc& doc) {
    VaZavi& img = doc.image;
    if (!img.IsValid() || !IsValidLayer(doc.currentLayer)) return false;
    const int w = img.Width(), hgt = img.Height(), bpp = img.BitCount();
    if (w < 1 || hgt < 1 || (bpp != 8 && bpp != 24 && bpp != 32)) return false;
    CommandScope scope(doc, 1406);
    // Without the image of the step before, the change could not be undone.
    if (doc.undoPos >= 0 && !doc.JournalImage(false)) return false;
    const int bytes = bpp / 8;
    const uint8_t white8 = uint8_t(bpp == 8 ? img.GetNearestIndex(PackBGR(255, 255, 255)) : 255);
    std::vector<uint8_t> row(size_t(w) * size_t(bytes));
    const double cx = (w - 1) / 2.0, cy = (hgt - 1) / 2.0;
    const double rx = w / 2.0, ry = hgt / 2.0;
    for (int r = 0; r < hgt; ++r) {
        uint8_t* line = img.Row(r);
        std::memcpy(row.data(), line, row.size());
        const double v = (r - cy) / ry;
        const double half = v * v < 1.0 ? std::sqrt(1.0 - v * v) : 0.0;
        for (int c = 0; c < w; ++c) {
            const double u = (c - cx) / rx;
            uint8_t* d = line + size_t(c) * size_t(bytes);
            if (half <= 0.0 || std::fabs(u) > half) {
                std::memset(d, white8, size_t(bytes));
                continue;
            }
            const int sc = std::clamp(int(std::lround(cx + u / half * rx)), 0, w - 1);
            std::memcpy(d, row.data() + size_t(sc) * size_t(bytes), size_t(bytes));
        }
    }
    if (doc.RecordUndoStep(u"Ellipse transform", 0, doc.currentLayer)) doc.JournalImage(true);
    doc.Host().UpdateViews(doc, true);
    return true;
}

namespace commands {
void RegisterEditCommands(Table& t) {
    t.Add(57634, "복사", [](CVexoDoc& d, const std::vector<int>&) {
        if (!d.GuardRasterLayer()) return false;
        CommandScope scope(d, 57634);
        return CopyToClipboard(d);
    });
    t.Add(4604, "레이어 전체 영상을 복사", [](CVexoDoc& d, const std::vector<int>&) {
        if (!d.GuardRasterLayer()) return false;
        CommandScope scope(d, 4604);
        d.selectionActive = false;
        return CopyToClipboard(d);
    });
    // 57635[:FEATHER]: the feather width of the main frame softens the edge.
    t.Add(57635, "잘라내기", [](CVexoDoc& d, const std::vector<int>& p) {
        if (!d.GuardRasterLayer()) return false;
        const int feather = p.empty() ? 0 : p[0];
        {
            CommandScope scope(d, 57635);
            if (!CopyToClipboard(d)) return false;
        }
        if (!d.selectionActive) return true;
        const int cur = d.currentLayer;
        if (!docfilters::RunLayerOp(d, 57635, feather, 0, [&d, cur, feather](layerops::LayerOpContext&) {
                ClearSelectedPart(d, cur, feather);
                return true;
            }))
            return false;
        d.RecordUndoStep(u"자르기", 0, cur);
        d.modified = true;
        return true;
    });
    t.Add(57637, "붙이기", [](CVexoDoc& d, const std::vector<int>&) { return PasteAsLayer(d); });
    t.Add(3500, "레이어 복제", [](CVexoDoc& d, const std::vector<int>&) {
        if (d.live.canvas.bitsPerPixel <= 8 || !d.live.palette.empty()) {
            d.Host().MessageBox(kRgbOnly);
            return false;
        }
        if (!d.GuardRasterLayer()) return false;
        {
            CommandScope scope(d, 3500);
            if (!CopyToClipboard(d)) return false;
        }
        const bool ok = PasteAsLayer(d);
        d.Host().RefreshLayersPanel(d);
        return ok;
    });
    t.Add(1412, "레이어 복제", [](CVexoDoc& d, const std::vector<int>&) { return DuplicatePicture(d); });
    // 4-bit reductions: the parameters are stored, the conversion itself is
    // started later by command 1433.
    t.Add(2011, "4비트칼라 최적변환", [](CVexoDoc& d, const std::vector<int>&) {
        d.filterParams[0] = 4;
        d.filterParams[1] = 1;
        d.Host().SetCurrentCommand(1433);
        return true;
    });
    t.Add(2013, "4비트칼라 표준변환", [](CVexoDoc& d, const std::vector<int>&) {
        d.filterParams[0] = 4;
        d.filterParams[1] = 0;
        d.Host().SetCurrentCommand(1433);
        return true;
    });
    t.Add(1441, "RGB구분", [](CVexoDoc& d, const std::vector<int>&) { return SplitChannels(d, 1441); });
    t.Add(1442, "YUV구분", [](CVexoDoc& d, const std::vector<int>&) { return SplitChannels(d, 1442); });
    t.Add(1443, "HSL구분", [](CVexoDoc& d, const std::vector<int>&) { return SplitChannels(d, 1443); });
    for (int id : {4250, 4251, 4252})
        t.Add(id, id == 4250 ? "자유변형(크기조정)" : id == 4251 ? "자유변형(왜곡)" : "자유변형(원근)",
              [id](CVexoDoc& d, const std::vector<int>& p) { return ApplyFreeTransform(d, id, p); });
    t.Add(1558, "투명 영역에 그림자 효과를 만듬 ", [](CVexoDoc& d, const std::vector<int>& p) { return ShadowEffect(d, p); });
    t.Add(1406, "Ellipse transform", [](CVexoDoc& d, const std::vector<int>&) { return EllipseTransform(d); });
    t.Add(1444, "Pseudo Colors", [](CVexoDoc&, const std::vector<int>&) { return true; });
    t.Add(1507, "Pseudo Colors", [](CVexoDoc&, const std::vector<int>&) { return true; });
    // Entries that keep their texts but do nothing.
    t.Add(1450, "명도 및 대비의 조절", [](CVexoDoc&, const std::vector<int>&) { return true; });
    t.Add(2104, "필터링", [](CVexoDoc&, const std::vector<int>&) { return true; });
}
}  // namespace commands
