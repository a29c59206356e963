#include "dialog_models.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>

#include "CVexoDoc.h"
#include "commands.h"

namespace dlgmodel {

namespace {
int Clamp(long v, int lo, int hi) { return int(std::clamp<long>(v, lo, hi)); }

std::string LowerExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}
}  // namespace

// --- new image -------------------------------------------------------------------

const std::vector<std::string>& NewImageModel::Backgrounds() {
    static const std::vector<std::string> v = {"흰색", "투명", "배경색"};
    return v;
}

const std::vector<std::string>& NewImageModel::Formats() {
    static const std::vector<std::string> v = {"24비트 컬러", "8비트 컬러"};
    return v;
}

void NewImageModel::SetWidth(long w) { width = Clamp(w, 1, kMaxSide); }
void NewImageModel::SetHeight(long h) { height = Clamp(h, 1, kMaxSide); }

void FillNewLayer(CVexoDoc& doc, int background, uint32_t rgb) {
    LayerRecord* L = doc.CurrentLayerPtr();
    if (!L || !L->pixels || !L->alpha) return;
    const uint8_t r = uint8_t(rgb), g = uint8_t(rgb >> 8), b = uint8_t(rgb >> 16);
    for (int row = 0; row < L->height; ++row) {
        uint8_t* p = L->PixelRow(row);
        for (int x = 0; x < L->width; ++x) {
            if (background == 2) {
                p[3 * x] = b, p[3 * x + 1] = g, p[3 * x + 2] = r;
            } else {
                p[3 * x] = p[3 * x + 1] = p[3 * x + 2] = 255;
            }
        }
    }
    std::memset(L->alpha.get(), background == 1 ? 0 : 255, size_t(L->planeSize));
}

// --- shadow ------------------------------------------------------------------------

const std::vector<std::string>& ShadowModel::Directions() {
    static const std::vector<std::string> v = {"오른쪽 아래", "아래", "왼쪽 아래", "왼쪽",
                                               "왼쪽 위",     "위",   "오른쪽 위", "오른쪽"};
    return v;
}

void ShadowModel::FromLayer(const LayerRecord& layer) {
    on = layer.effectKind == 3 || layer.effectKind == 0;
    if (layer.effectKind != 3) return;
    direction = layer.effectParam & 7;
    distance = layer.effectParams[0] ? layer.effectParams[0] : 6;
    spread = layer.effectParams[1] ? layer.effectParams[1] : 4;
    strength = layer.effectParams[2] ? std::min<int>(layer.effectParams[2], 180) : 150;
}

std::vector<int> ShadowModel::Params() const {
    return {on ? 3 : 0, std::clamp(direction, 0, 7), std::clamp(distance, 1, 255), std::clamp(spread, 1, 255),
            std::clamp(strength, 1, 180)};
}

// --- pattern ------------------------------------------------------------------------

void PatternModel::SetSpacing(long s) {
    spacing = Clamp(s, 2, 256);
    thickness = std::min(thickness, spacing);
}

void PatternModel::SetThickness(long t) { thickness = Clamp(t, 1, spacing); }

std::string PatternModel::StepArgs() const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d,%d,%02X%02X%02X", spacing, thickness, r, g, b);
    return buf;
}

// --- colour range -------------------------------------------------------------------

std::string RangeResultText(int64_t count, int64_t layerPixels) {
    char line[96];
    std::snprintf(line, sizeof line, "픽셀수 %lld   (%.2f)%s", static_cast<long long>(count),
                  layerPixels > 0 ? 100.0 * double(count) / double(layerPixels) : 0.0, "%");
    return line;
}

void ColourRangeModel::SetTolerance(long t) { tolerance = Clamp(t, 0, 255); }

bool ColourRangeModel::Run(CVexoDoc& doc) {
    if (!haveColour) return false;
    const int n = doc.SelectColourRange(colour, tolerance, mode);
    if (n < 0) return false;
    const LayerRecord* L = doc.CurrentLayerPtr();
    resultText = RangeResultText(n, L ? int64_t(L->width) * L->height : 0);
    return true;
}

bool ColourRangeModel::Pick(CVexoDoc& doc, uint32_t c) {
    colour = c;
    haveColour = true;
    return Run(doc);
}

void ColourRangeModel::Reset(CVexoDoc& doc) {
    const int cur = doc.currentLayer;
    if (IsValidLayer(cur) && doc.prevState.layers[cur].pixels) doc.live.layers[cur].CopyFrom(doc.prevState.layers[cur]);
    doc.selectionActive = false;
    std::fill(doc.live.selection.mask.begin(), doc.live.selection.mask.end(), 0);
    doc.outlineChanged = true;
    doc.viewRebuild = true;
    resultText.clear();
    doc.Host().UpdateViews(doc, true);
}

void ColourRangeModel::Cancel(CVexoDoc& doc) {
    const int cur = doc.currentLayer;
    if (IsValidLayer(cur) && doc.prevState.layers[cur].pixels) doc.live.layers[cur].CopyFrom(doc.prevState.layers[cur]);
    doc.ClearSelection();
    doc.viewRebuild = true;
    resultText.clear();
    doc.Host().UpdateViews(doc, true);
}

// --- text dialog ---------------------------------------------------------------------

const std::vector<std::string>& TextDialogModel::Styles() {
    static const std::vector<std::string> v = {"Regular", "Bold", "Italic", "Bold Italic"};
    return v;
}

int TextDialogModel::StyleIndex() const { return (settings.bold ? 1 : 0) + (settings.italic ? 2 : 0); }

void TextDialogModel::SetStyleIndex(int i) {
    settings.bold = i == 1 || i == 3;
    settings.italic = i == 2 || i == 3;
}

std::string TextDialogModel::WidthText() const {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", settings.widthScale10 / 10.0);
    return buf;
}

void TextDialogModel::SetWidthText(const std::string& t) {
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || !std::isfinite(v)) return;
    settings.widthScale10 = std::clamp(int(std::lround(v * 10.0)), 1, 99);
}

void TextDialogModel::StepWidth(int delta) {
    settings.widthScale10 = std::clamp(settings.widthScale10 + (delta > 0 ? 1 : -1), 1, 99);
}

bool TextDialogModel::Ready() const { return !textlayer::LimitText(text).empty(); }

textlayer::TextDialogValues TextDialogModel::Values() const {
    textlayer::TextDialogValues v;
    v.settings = settings;
    v.settings.size = std::clamp(settings.size, 2, 999);
    v.text = textlayer::LimitText(text);
    return v;
}

// --- red eye ---------------------------------------------------------------------------

dlg::PupilRect SelectionBounds(const CVexoDoc& doc) {
    dlg::PupilRect r;
    const SelectionMask& s = doc.live.selection;
    if (!doc.selectionActive || s.width <= 0 || s.height <= 0 ||
        s.mask.size() < size_t(s.width) * size_t(s.height))
        return r;
    int minC = s.width, maxC = -1, minR = s.height, maxR = -1;
    for (int row = 0; row < s.height; ++row) {
        const uint8_t* m = &s.mask[size_t(row) * size_t(s.width)];
        for (int c = 0; c < s.width; ++c)
            if (m[c] == 1) {
                minC = std::min(minC, c), maxC = std::max(maxC, c);
                minR = std::min(minR, row), maxR = std::max(maxR, row);
            }
    }
    if (maxC < 0) return r;
    const int H = doc.live.canvas.height;
    // Stored rows run upwards from the mask's place.
    r.left = s.x + minC;
    r.right = s.x + maxC + 1;
    r.top = H - 1 - (s.y + maxR);
    r.bottom = H - 1 - (s.y + minR) + 1;
    return r;
}

// --- save as ------------------------------------------------------------------------------

bool SaveFlattens(const CVexoDoc& doc, const std::string& path) {
    const std::string ext = LowerExtension(path);
    if (ext == "vor" || ext == "sco") return false;
    if (doc.LayerCount() > 1) return true;
    for (int i : doc.StackOrder())
        if (doc.Layer(i).IsTextKind()) return true;
    return false;
}

std::string ProposedSaveName(const std::string& base, const std::string& typeName) {
    if (typeName.empty() || typeName.find('*') != std::string::npos) return base;
    bool ascii = true;
    for (unsigned char c : typeName) ascii = ascii && c < 0x80 && std::isalnum(c);
    return ascii ? base + "." + typeName : base;
}

std::string PathForType(const std::string& path, const std::string& typeName) {
    static const char* known[] = {"jpg", "jpeg", "bmp", "gif", "tif", "tiff", "vor", "sco"};
    const std::string ext = LowerExtension(path);
    for (const char* k : known)
        if (ext == k) return path;
    return ProposedSaveName(path, typeName);
}

}  // namespace dlgmodel
