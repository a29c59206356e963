// Text layers: the text rules, building and editing a text layer, turning it
// into a raster layer (1545), and the commands and named steps of the area.
//
// Text length: a layer keeps at most 700 UTF-16 units and `textLength`
// counts units, so the text buffer, the stored length and the text written
// to documents and the journal always agree. The text dialog edits the same
// 700 units. Texts read from files whose length was padded (twice the
// character count, the rest NUL) end at their first NUL.
#include "text_layers.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "CVexoDoc.h"
#include "commands.h"

namespace textlayer {

std::u16string LimitText(const std::u16string& text) {
    size_t n = 0;
    while (n < text.size() && text[n] != 0) ++n;
    if (n > size_t(kMaxTextUnits)) {
        n = size_t(kMaxTextUnits);
        // Do not keep half of a surrogate pair.
        if (text[n - 1] >= 0xD800 && text[n - 1] < 0xDC00) --n;
    }
    return text.substr(0, n);
}

std::u16string TextOfLayer(const LayerRecord& layer) {
    if (!layer.text || layer.textLength <= 0) return {};
    const int n = std::min(layer.textLength, kMaxTextUnits);
    return LimitText(std::u16string(layer.text.get(), size_t(n)));
}

std::vector<std::u16string> TextLines(const std::u16string& text) {
    std::vector<std::u16string> lines;
    std::u16string line;
    auto flush = [&] {
        if (!line.empty() && line.back() == u'\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
        line.clear();
    };
    for (char16_t c : text) {
        if (c == 0) break;
        if (c == u'\n')
            flush();
        else
            line.push_back(c);
    }
    flush();
    return lines;
}

int CountTextLines(const std::u16string& text) { return int(TextLines(text).size()); }

TextSettings SettingsOfLayer(const LayerRecord& layer) {
    TextSettings s;
    s.face = GetFixedText(layer.fontFace, 25);
    if (s.face.empty()) s.face = u"굴림";
    s.size = std::clamp(layer.fontSize, textrender::kMinFontSize, textrender::kMaxFontSize);
    s.bold = layer.textAttr388 >= kBoldFromWeight;
    s.italic = (layer.textAttr392 & kEffectItalic) != 0;
    s.underline = (layer.textAttr392 & kEffectUnderline) != 0;
    s.strikeout = (layer.textAttr392 & kEffectStrikeout) != 0;
    s.widthScale10 = std::clamp(layer.charWidthScale, textrender::kMinWidthScale10, textrender::kMaxWidthScale10);
    s.color = PackBGR(layer.textColor[0], layer.textColor[1], layer.textColor[2]);
    return s;
}

textrender::FontSpec FontOf(const TextSettings& s) {
    textrender::FontSpec f;
    f.face = s.face;
    f.size = std::clamp(s.size, textrender::kMinFontSize, textrender::kMaxFontSize);
    f.bold = s.bold;
    f.italic = s.italic;
    f.underline = s.underline;
    f.strikeout = s.strikeout;
    f.widthScale10 = std::clamp(s.widthScale10, textrender::kMinWidthScale10, textrender::kMaxWidthScale10);
    return f;
}

textrender::FontSpec FontOfLayer(const LayerRecord& layer) { return FontOf(SettingsOfLayer(layer)); }

}  // namespace textlayer

using namespace textlayer;

namespace {
bool BalloonToolActive(const DocHost& host) {
    const int tool = host.CurrentTool();
    return tool == kBalloonTool || tool == kBalloonTailTool;
}
}  // namespace

int CVexoDoc::BuildTextLayer(bool edit, int clickX, int clickY, const TextSettings& settings,
                             const std::u16string& rawText) {
    const std::u16string text = LimitText(rawText);
    const std::vector<std::u16string> lines = TextLines(text);
    const int canvasW = live.canvas.width, canvasH = live.canvas.height;
    if (lines.empty() || canvasW < 1 || canvasH < 1) return kNoLayer;
    if (edit && (!CurrentLayerPtr() || !CurrentLayerPtr()->IsTextKind())) return kNoLayer;

    // 1.-2. Measure: the widest line and the height of one line.
    const textrender::FontSpec font = FontOf(settings);
    int textWidth = 0, lineHeight = 0;
    for (const std::u16string& line : lines) {
        textrender::Extent e;
        if (!textrender::MeasureLine(font, line, e)) {
            Host().MessageBox(textrender::LastError());
            return kNoLayer;
        }
        textWidth = std::max(textWidth, e.width);
        lineHeight = e.lineHeight;
    }
    const int lineCount = CountTextLines(text);

    // 3. A new layer goes directly above the current one.
    int slot = currentLayer;
    if (!edit) {
        const int below = currentLayer;
        if (!InsertLayer(-1, below)) return kNoLayer;
        slot = IsValidLayer(below) ? live.layers[below].next : headLayer;
        if (!IsValidLayer(slot) || !live.layers[slot].inUse) return kNoLayer;
        if (currentLayer != slot) SelectLayer(slot);
    }
    LayerRecord& L = live.layers[slot];
    auto dropNewLayer = [&] {
        if (!edit) DeleteLayer(slot, false);
    };

    // 4. Text origin inside the layer.
    int ox = L.textOriginX, oy = L.textOriginY;
    if (!edit) {
        const double z = zoom > 0 ? zoom : 1.0;
        const int px = int(clickX / z), py = int(clickY / z);
        ox = px - L.x;
        oy = py - (canvasH - L.height + L.y);   // the layer's top row on the canvas
    }
    ox = std::clamp(ox, 0, std::max(0, L.width));
    oy = std::clamp(oy, 0, std::max(0, L.height));

    // 5. Size: at least the canvas, and room for the text block. The layer
    // keeps its top-left corner on the canvas while it grows.
    const int64_t needW = int64_t(ox) + textWidth, needH = int64_t(oy) + int64_t(lineCount) * lineHeight;
    const int64_t newW = std::max<int64_t>(canvasW, needW), newH = std::max<int64_t>(canvasH, needH);
    if (newW * newH > (int64_t(1) << 28)) {
        Host().MessageBox("글자 레이어가 너무 큽니다.");
        dropNewLayer();
        return kNoLayer;
    }
    const int top = canvasH - L.height + L.y;
    const int newX = L.x;
    const int newY = int(top - canvasH + newH);
    const bool centre = int64_t(newX) + newW < 0;
    const int kind = BalloonToolActive(Host()) ? LayerBalloon : LayerText;

    // Attributes the slot set-up does not own.
    const int32_t keep[6] = {L.textBoxLeft, L.textBoxTop, L.textBoxWidth, L.textBoxHeight, L.tailX, L.tailY};
    if (!SetupLayerBuffers(int(newH), int(newW), u"", live.canvas.colorFormat, live.canvas.bitsPerPixel,
                           live.canvas.paletteColors, 0, slot, newX, newY, 2, canvasW, canvasH, 0, 0, kind, -1,
                           centre)) {
        dropNewLayer();
        return kNoLayer;
    }
    L.inUse = 1;
    L.kind = uint8_t(kind);
    L.textBoxLeft = keep[0];
    L.textBoxTop = keep[1];
    L.textBoxWidth = keep[2];
    L.textBoxHeight = keep[3];
    L.tailX = keep[4];
    L.tailY = keep[5];

    // 6. The text.
    L.textLength = int32_t(text.size());
    L.text.reset(new char16_t[text.size() + 1]);
    std::memcpy(L.text.get(), text.data(), text.size() * sizeof(char16_t));
    L.text[text.size()] = 0;

    // 7. Font and attributes.
    SetFixedText(L.fontFace, 25, settings.face);
    L.fontSize = font.size;
    L.textOriginX = ox;
    L.textOriginY = oy;
    L.charWidthScale = font.widthScale10;
    L.textAttr388 = settings.bold ? kWeightBold : kWeightRegular;
    L.textAttr392 = (settings.italic ? kEffectItalic : 0) | (settings.underline ? kEffectUnderline : 0) |
                    (settings.strikeout ? kEffectStrikeout : 0);

    // 8. Draw the lines into the coverage, in the command frame.
    if (!BeginLayerOp(slot)) {
        dropNewLayer();
        return kNoLayer;
    }
    textrender::Plane plane{scratchAlpha.get(), L.width, L.height, L.width, true};
    for (size_t i = 0; i < lines.size(); ++i)
        textrender::DrawLine(font, lines[i], ox, oy + int(i) * lineHeight, plane);
    EndLayerOp(slot, true);
    L.textColor[0] = ColB(settings.color);
    L.textColor[1] = ColG(settings.color);
    L.textColor[2] = ColR(settings.color);
    L.textColor[3] = 0;
    return slot;
}

bool CVexoDoc::EditTextLayer(bool edit, int clickX, int clickY, const TextDialogValues& values) {
    if (LimitText(values.text).empty()) return false;   // nothing typed: nothing built
    DocHost& host = Host();
    const bool balloon = BalloonToolActive(host);
    host.SetCurrentCommand(balloon ? kBalloonTool : kTextTool);
    host.BeginWaitCursor();
    const int slot = BuildTextLayer(edit, clickX, clickY, values.settings, values.text);
    bool ok = slot != kNoLayer;
    if (ok && live.layers[slot].kind == LayerBalloon) {
        const LayerRecord& L = live.layers[slot];
        // A new balloon takes the default tail; an edited one keeps its tail.
        const int tx = edit ? L.tailX : -1, ty = edit ? L.tailY : -1;
        BuildBalloon(true, tx, ty, values.settings.balloonStyle, values.settings.balloonLineWidth);
    }
    if (ok) {
        RecordUndoStep(edit ? kTextEditedLabel : kTextEnteredLabel, edit ? kTextEditedStep : kTextEnteredStep, slot);
        host.RefreshLayersPanel(*this);
        host.UpdateViews(*this, true);
        viewRebuild = true;
    }
    host.EndWaitCursor();
    host.SetCurrentCommand(-1);
    return ok;
}

bool CVexoDoc::RasterizeTextLayer() {
    LayerRecord* layer = CurrentLayerPtr();
    if (!layer || !layer->IsTextKind() || !layer->alpha) return false;
    DocHost& host = Host();
    const int slot = currentLayer;
    host.SetCurrentCommand(kRasterizeCommand);

    // 1. Keep the coverage.
    const int oldW = layer->width, oldH = layer->height;
    std::unique_ptr<uint8_t[]> kept(new uint8_t[size_t(layer->planeSize)]);
    std::memcpy(kept.get(), layer->alpha.get(), size_t(layer->planeSize));
    const uint8_t b = layer->textColor[0], g = layer->textColor[1], r = layer->textColor[2];

    // 2. The slot again, as a raster layer in the canvas's pixel format.
    const int bits = live.canvas.paletteColors > 0 ? live.canvas.bitsPerPixel : 24;
    if (!SetupLayerBuffers(oldH, oldW, u"", live.canvas.colorFormat, bits, live.canvas.paletteColors, 0, slot,
                           layer->x, layer->y, 2, live.canvas.width, live.canvas.height, 1, layer->tag, LayerRaster,
                           -1, false)) {
        host.SetCurrentCommand(-1);
        return false;
    }
    layer->kind = LayerRaster;
    layer->textLength = 0;
    layer->text.reset();

    // 3. Every pixel in the former text colour; the coverage becomes the alpha.
    const int W = layer->width, H = layer->height;
    if (bits == 24) {
        for (int row = 0; row < H; ++row) {
            uint8_t* p = layer->PixelRow(row);
            for (int x = 0; x < W; ++x, p += 3) {
                p[0] = b;
                p[1] = g;
                p[2] = r;
            }
        }
    } else {
        // Palette canvas: the nearest palette entry.
        const int best = NearestPaletteIndex(PackBGR(b, g, r));
        for (int row = 0; row < H; ++row) std::memset(layer->PixelRow(row), best, size_t(W));
    }
    // Stored rows line up (the layer keeps its x and y); a layer grown to a
    // larger canvas keeps the coverage where it was.
    for (int row = 0; row < std::min(H, oldH); ++row)
        std::memcpy(layer->AlphaRow(row), kept.get() + size_t(row) * size_t(oldW), size_t(std::min(W, oldW)));

    // 4. Panel, previous-state and preview copies, tool.
    host.RefreshLayersPanel(*this);
    prevState.layers[slot].CopyFrom(*layer);
    preview.layers[slot].CopyFrom(*layer);
    host.SwitchTool(-1);
    viewRebuild = true;
    RecordUndoStep(kRasterizedLabel, kRasterizedStep, slot);
    host.UpdateViews(*this, true);
    host.SetCurrentCommand(-1);
    return true;
}

// --- commands and named steps --------------------------------------------------

namespace {

// "\n" starts a new line, "\\" is a backslash.
std::u16string UnescapeText(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == 'n' || s[i + 1] == '\\')) {
            out.push_back(s[i + 1] == 'n' ? '\n' : '\\');
            ++i;
        } else {
            out.push_back(s[i]);
        }
    }
    return Utf8ToUtf16(out);
}

int ParseNumber(const std::string& s, const char* what) {
    size_t used = 0;
    long v = 0;
    try {
        v = std::stol(s, &used, 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != s.size() || v < -1000000 || v > 1000000)
        throw std::invalid_argument(std::string("bad ") + what + ": \"" + s + "\"");
    return int(v);
}

std::vector<std::string> SplitComma(const std::string& s) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = s.find(',', start);
        parts.push_back(s.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return parts;
}

// "X,Y,SIZE,RRGGBB[,FACE]:TEXT": a new text or balloon layer at picture
// position (X, Y).
bool NewTextStep(CVexoDoc& doc, const std::string& args, bool balloon) {
    const size_t colon = args.find(':');
    if (colon == std::string::npos) throw std::invalid_argument("expected X,Y,SIZE,RRGGBB[,FACE]:TEXT");
    const std::vector<std::string> p = SplitComma(args.substr(0, colon));
    if (p.size() != 4 && p.size() != 5) throw std::invalid_argument("expected X,Y,SIZE,RRGGBB[,FACE]:TEXT");
    TextDialogValues v;
    const int x = ParseNumber(p[0], "X"), y = ParseNumber(p[1], "Y");
    v.settings.size = ParseNumber(p[2], "SIZE");
    if (v.settings.size < textrender::kMinFontSize || v.settings.size > textrender::kMaxFontSize)
        throw std::invalid_argument("SIZE must be 1 to 1000");
    const std::string& hex = p[3];
    if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        throw std::invalid_argument("colour must be RRGGBB: \"" + hex + "\"");
    const uint32_t rgb = uint32_t(std::stoul(hex, nullptr, 16));
    v.settings.color = PackBGR(uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16));
    if (p.size() == 5) {
        if (p[4].empty()) throw std::invalid_argument("empty FACE");
        v.settings.face = Utf8ToUtf16(p[4]);
    }
    v.text = UnescapeText(args.substr(colon + 1));
    if (LimitText(v.text).empty()) throw std::invalid_argument("empty TEXT");
    // As in the editor: the tool is chosen, then the picture is clicked.
    doc.Host().SwitchTool(balloon ? kBalloonTool : kTextTool);
    const double z = doc.zoom > 0 ? doc.zoom : 1.0;
    return doc.EditTextLayer(false, int(x * z), int(y * z), v);
}

// "SLOT:TEXT": new text for an existing text or balloon layer.
bool EditTextStep(CVexoDoc& doc, const std::string& args) {
    const size_t colon = args.find(':');
    if (colon == std::string::npos) throw std::invalid_argument("expected SLOT:TEXT");
    const int slot = ParseNumber(args.substr(0, colon), "SLOT");
    if (!IsValidLayer(slot) || !doc.InStack(slot)) throw std::invalid_argument("no layer in slot " + std::to_string(slot));
    if (!doc.Layer(slot).IsTextKind()) {
        doc.Host().MessageBox("글자 레이어가 아닙니다.");
        return false;
    }
    if (doc.currentLayer != slot && !doc.SelectLayer(slot)) return false;
    if (doc.currentLayer != slot) return false;
    TextDialogValues v;
    v.settings = SettingsOfLayer(doc.Layer(slot));
    v.text = UnescapeText(args.substr(colon + 1));
    if (LimitText(v.text).empty()) throw std::invalid_argument("empty TEXT");
    // The balloon editor edits with the tail tool current; the text tool otherwise.
    doc.Host().SwitchTool(doc.Layer(slot).kind == LayerBalloon ? kBalloonTailTool : kTextTool);
    return doc.EditTextLayer(true, -1, -1, v);
}

}  // namespace

namespace commands {

void RegisterTextCommands(Table& t) {
    t.Add(kRasterizeCommand, "벡터이미지를 레스터 형식으로 변환 ",
          [](CVexoDoc& doc, const std::vector<int>&) { return doc.RasterizeTextLayer(); });
    t.Add(kBalloonTool, "말풍선 넣기", [](CVexoDoc& doc, const std::vector<int>&) {
        DocHost& host = doc.Host();
        if (host.CurrentTool() == kBalloonTool) return true;
        return host.SwitchTool(kBalloonTool);
    });
    t.AddNamed("text", [](CVexoDoc& doc, const std::string& args) { return NewTextStep(doc, args, false); });
    t.AddNamed("balloon", [](CVexoDoc& doc, const std::string& args) { return NewTextStep(doc, args, true); });
    t.AddNamed("edit-text", EditTextStep);
}

}  // namespace commands
