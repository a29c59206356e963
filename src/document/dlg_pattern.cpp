// Comb pattern layer (command 4816, "빗살무뉘넣기"): a new layer above the
// current one, covering the canvas, clear except for a herringbone of
// slanted strokes in the chosen colour. Bands of 2 x SPACING rows slant
// alternately right and left; in each band a stroke of THICKNESS pixels
// starts every SPACING pixels. One undo step "패턴 레이어 넣기" (layer added).
#include <stdexcept>
#include <string>

#include "CVexoDoc.h"
#include "command_frame.h"
#include "commands.h"
#include "undo_journal.h"

namespace {

constexpr int kPatternCommand = 4816;

bool AddPatternLayer(CVexoDoc& doc, int spacing, int thickness, uint32_t colour) {
    if (!IsValidLayer(doc.currentLayer)) return false;
    CommandScope scope(doc, kPatternCommand);
    if (!doc.InsertLayer(-1, doc.currentLayer)) return false;
    const int slot = doc.currentLayer;
    LayerRecord& L = doc.Layer(slot);
    // The layers panel shows a layer of this name as "//빗살무뉘//".
    doc.RenameLayer(u"[LinePattern]");
    if (!doc.BeginLayerOp(slot)) {
        doc.DeleteLayer(slot, false);
        return false;
    }
    const bool palette = L.stride < L.width * 3;
    const uint8_t index = palette ? uint8_t(doc.NearestPaletteIndex(colour)) : 0;
    const int band = 2 * spacing;
    for (int r = 0; r < L.height; ++r) {
        const int y = L.height - 1 - r;   // picture row, top first
        const bool right = (y / band) % 2 == 0;
        uint8_t* p = doc.scratchPixels.get() + size_t(r) * size_t(L.stride);
        uint8_t* a = doc.scratchAlpha.get() + size_t(r) * size_t(L.width);
        for (int x = 0; x < L.width; ++x) {
            const int64_t t = right ? int64_t(x) + y : int64_t(x) - y;
            const int d = int(((t % spacing) + spacing) % spacing);
            if (d >= thickness) continue;
            if (palette) p[x] = index;
            else p[3 * x] = ColB(colour), p[3 * x + 1] = ColG(colour), p[3 * x + 2] = ColR(colour);
            a[x] = 255;
        }
    }
    doc.EndLayerOp(slot, true);
    doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, true);
    return doc.RecordUndoStep(u"패턴 레이어 넣기", UndoLayerAdded, slot);
}

// SPACING,THICKNESS[,RRGGBB]: spacing 2..256, thickness 1..spacing, black
// without a colour.
bool PatternStep(CVexoDoc& doc, const std::string& args) {
    const std::string usage = "pattern:SPACING,THICKNESS[,RRGGBB]";
    std::string numbers = args, hex;
    const size_t first = args.find(',');
    const size_t second = first == std::string::npos ? std::string::npos : args.find(',', first + 1);
    if (second != std::string::npos) {
        numbers = args.substr(0, second);
        hex = args.substr(second + 1);
        if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            throw std::invalid_argument(usage + " expected: " + args);
    }
    const std::vector<int> v = commands::ParseIntList(numbers, usage);
    if (v.size() != 2 || v[0] < 2 || v[0] > 256 || v[1] < 1 || v[1] > v[0])
        throw std::invalid_argument(usage + " expected: " + args);
    const unsigned long rgb = hex.empty() ? 0 : std::stoul(hex, nullptr, 16);
    return AddPatternLayer(doc, v[0], v[1], PackBGR(uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16)));
}

}  // namespace

namespace commands {
void RegisterPatternCommands(Table& t) {
    // The pattern dialog gives the values; 4816:SPACING,THICKNESS draws in black.
    t.Add(kPatternCommand, "빗살무뉘넣기", [](CVexoDoc& d, const std::vector<int>& p) {
        if (p.empty()) return false;
        if (p.size() != 2) throw std::invalid_argument("4816 takes SPACING,THICKNESS");
        return PatternStep(d, std::to_string(p[0]) + "," + std::to_string(p[1]));
    }, Needs::Dialog);
    t.AddNamed("pattern", PatternStep);
}
}  // namespace commands
