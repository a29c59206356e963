// Transparency and alpha commands of the document image.
#include "transparency.h"

#include <functional>
#include <stdexcept>

#include "CVexoDoc.h"
#include "command_frame.h"
#include "commands.h"
#include "undo_journal.h"

namespace {

constexpr int kPickTransparent = 1427;

// Runs a change of the image's settings as one step of the current layer.
bool SettingsStep(CVexoDoc& doc, int id, const char16_t* label, const std::function<void(VaZaviInfo&)>& change) {
    if (!IsValidLayer(doc.currentLayer)) return false;
    CommandScope scope(doc, id);
    change(doc.image.info);
    doc.RecordSettingsStep(label, doc.currentLayer);
    doc.Host().UpdateViews(doc, true);
    return true;
}

}  // namespace

namespace doctransparency {

bool PickTransparentColour(CVexoDoc& doc, int x, int y) {
    const VaZavi& img = doc.image;
    if (!img.IsValid() || x < 0 || y < 0 || x >= img.Width() || y >= img.Height()) return false;
    const int row = img.Height() - 1 - y;   // rows are stored bottom-up
    const bool palette = img.BitCount() <= 8;
    const int index = palette ? img.GetPixelIndex(x, row) : -1;
    const uint32_t colour = palette ? img.GetPaletteColor(index) : img.GetPixelColor(x, row);
    return SettingsStep(doc, kPickTransparent, u"투명색 지정", [&](VaZaviInfo& info) {
        info.backgroundColor = RgbQuad{ColB(colour), ColG(colour), ColR(colour), 0};
        if (palette) info.transparentIndex = index;
    });
}

}  // namespace doctransparency

namespace commands {
void RegisterTransparencyCommands(Table& t) {
    t.Add(1430, "Removetransparency", [](CVexoDoc& d, const std::vector<int>&) {
        return SettingsStep(d, 1430, u"Removetransparency", [](VaZaviInfo& i) { i.transparentIndex = -1; });
    });
    t.Add(1483, "Removealphachannel", [](CVexoDoc& d, const std::vector<int>&) {
        return SettingsStep(d, 1483, u"Removealphachannel", [](VaZaviInfo& i) { i.alphaValue = 255; });
    });
    // Recorded only: the picture's pixels stay as they are.
    t.Add(1485, "Invetalpha", [](CVexoDoc& d, const std::vector<int>&) {
        return SettingsStep(d, 1485, u"Invetalpha", [](VaZaviInfo&) {});
    });
    t.Add(1486, "Alphapalettetoggle", [](CVexoDoc& d, const std::vector<int>&) {
        return SettingsStep(d, 1486, u"Alphapalettetoggle", [](VaZaviInfo& i) { i.alphaPalette = !i.alphaPalette; });
    });
    t.Add(1490, "Alphastrip", [](CVexoDoc& d, const std::vector<int>&) {
        return SettingsStep(d, 1490, u"Alphastrip",
                            [](VaZaviInfo& i) { i.backgroundColor = RgbQuad{255, 255, 255, 0}; });
    });
    // 1427 puts the document's view into its picking mode; the click that
    // follows picks the colour. 1427:X,Y picks at once.
    t.Add(kPickTransparent, "투명색 지정", [](CVexoDoc& d, const std::vector<int>& p) {
        if (p.empty()) {
            if (!d.image.IsValid()) return false;
            d.Host().BeginTransparentPick(d);
            return true;
        }
        if (p.size() != 2) throw std::invalid_argument("1427 takes X,Y");
        return doctransparency::PickTransparentColour(d, p[0], p[1]);
    });
    t.AddNamed("pick-transparent", [](CVexoDoc& d, const std::string& args) {
        const std::vector<int> p = ParseIntList(args, "pick-transparent:X,Y");
        if (p.size() != 2) throw std::invalid_argument("pick-transparent:X,Y expected: " + args);
        return doctransparency::PickTransparentColour(d, p[0], p[1]);
    });
}
}  // namespace commands
