// VOR documents: the layered format of the program.
//
//   "\n41 HEAD CURRENT"               header line, ASCII digits
//   CanvasInfo                         256 bytes
//   flattened picture                  canvasPixelSize bytes (readers skip it)
//   per layer, from HEAD along next:
//     "\n SLOT TEXTLENGTH"             ASCII digits
//     LayerRecordData                  848 bytes
//     pixels, alpha, effect plane      pixelSize, planeSize, planeSize bytes
//     text                             TEXTLENGTH * 2 bytes, text and balloon layers
//
// The reader checks every size against the bytes the file has left and the
// core-wide cap before it allocates, reads exactly the stored sizes, refuses
// slot indices out of range and link cycles, and reads into a document of
// its own so that a refused file leaves the open document untouched.
//
// 8-bit canvases: the format stores no palette, so a palette document is
// written as a true-colour document (its layers expanded through the
// palette; colours are kept exactly) and reads back as one. An 8-bit file
// from elsewhere, which cannot carry its palette, reads with a grey ramp.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "CVexoDoc.h"
#include "ImageStream.h"
#include "safe_file.h"
#include "vor_header.h"

namespace {

constexpr int kVorVersion = vorfmt::kVersion;
constexpr const char* kVersionMessage = "VOR 형식의 버전이 상이함";
constexpr const char* kDamaged = "VOR 파일이 손상되었습니다";

struct VorError {
    std::string text;
    bool shown = false;   // the message box was already shown
};
[[noreturn]] void Damaged(const std::string& detail) { throw VorError{std::string(kDamaged) + ": " + detail}; }

using vorfmt::ReadNumber;

bool ReadHeaderAndCanvas(ImageStream& in, int& head, int& current, CanvasInfo& cv) {
    std::string detail;
    switch (vorfmt::ReadHead(in, head, current, cv, detail)) {
    case vorfmt::Head::Ok: return true;
    case vorfmt::Head::OtherVersion: return false;
    default: Damaged(detail);
    }
}

}  // namespace

bool CVexoDoc::ReadVor(ImageStream& in, const std::string& filePath) {
    try {
        int head = -1, current = -1;
        CanvasInfo cv;
        if (!ReadHeaderAndCanvas(in, head, current, cv)) {
            host_->MessageBox(kVersionMessage);
            lastError = kVersionMessage;
            return false;
        }
        SetFixedText(cv.title, 100, Utf8ToUtf16(filePath));
        cv.scratchAddr1 = cv.scratchAddr2 = 0;
        if (in.Remaining() < cv.canvasPixelSize || in.Seek(cv.canvasPixelSize, 1) != 0)
            Damaged("flattened picture cut short");

        const bool paletteFile = cv.bitsPerPixel == 8;
        live.canvas = cv;
        live.palette.clear();
        if (paletteFile) {
            live.canvas.paletteColors = 256;
            for (int i = 0; i < 256; ++i) live.palette.push_back(RgbQuad{uint8_t(i), uint8_t(i), uint8_t(i), 0});
        } else {
            live.canvas.paletteColors = 0;
        }
        const CanvasInfo canvas = live.canvas;
        prevState.canvas = canvas;
        prevState.palette = live.palette;

        bool seen[kMaxLayers] = {};
        int expected = -1, previous = -1, first = -1;
        for (int count = 0;; ++count) {
            int slot, textLength;
            if (!ReadNumber(in, slot, 3) || !ReadNumber(in, textLength)) Damaged("layer line missing");
            if (!IsValidLayer(slot)) Damaged("layer slot " + std::to_string(slot) + " out of range");
            if (seen[slot] || count >= kMaxLayers) Damaged("layer links form a cycle");
            if (expected != -1 && slot != expected) Damaged("layer " + std::to_string(slot) + " out of link order");
            if (textLength < 0) Damaged("negative text length");
            textLength = std::min(textLength, kMaxTextUnits);
            seen[slot] = true;
            const std::string where = "layer " + std::to_string(slot);

            LayerRecordData rec;
            if (in.Read(&rec, 1, sizeof rec) != sizeof rec) Damaged(where + " record cut short");
            const bool text = rec.kind == LayerText || rec.kind == LayerBalloon;
            if (rec.kind > LayerLinked) Damaged(where + " of unknown kind");
            if (rec.width < 1 || rec.height < 1 || int64_t(rec.width) * rec.height > kMaxImagePixels)
                Damaged(where + " size out of range");
            const int64_t stride = text ? rec.width : LayerStride(rec.width, cv.bitsPerPixel);
            const int64_t plane = int64_t(rec.width) * rec.height;
            if (rec.stride != stride || rec.planeSize != plane || rec.pixelSize != stride * rec.height ||
                rec.pixelSize > kMaxImageBytes)
                Damaged(where + " sizes disagree with its width and height");
            const int64_t textBytes = text ? int64_t(textLength) * 2 : 0;
            if (in.Remaining() < int64_t(rec.pixelSize) + 2 * plane + textBytes)
                Damaged(where + " larger than the rest of the file");
            if (rec.next != -1 && !IsValidLayer(rec.next)) Damaged(where + " links to a slot out of range");

            // Exactly the stored size: no canvas override.
            if (!SetupLayerBuffers(rec.height, rec.width, u"", cv.colorFormat, cv.bitsPerPixel,
                                   live.canvas.paletteColors, 0, slot, rec.x, rec.y, 2, -1, -1, 0, 0, rec.kind, -1,
                                   false)) {
                if (!lastError.empty()) throw VorError{lastError, true};   // over the memory budget
                Damaged(where + " cannot be held in memory");
            }
            live.canvas = canvas;
            LayerRecord& L = live.layers[slot];
            static_cast<LayerRecordData&>(L) = rec;
            L.inUse = 1;
            L.tag = 0;
            L.link = -1;
            L.effectKind = 0;
            L.textLength = 0;
            L.prev = int16_t(previous);
            if (in.Read(L.pixels.get(), 1, size_t(L.pixelSize)) != size_t(L.pixelSize) ||
                in.Read(L.alpha.get(), 1, size_t(L.planeSize)) != size_t(L.planeSize) ||
                in.Read(L.effectPlane.get(), 1, size_t(L.planeSize)) != size_t(L.planeSize))
                Damaged(where + " buffers cut short");
            if (text) {
                L.textLength = textLength;
                L.text.reset(new char16_t[size_t(textLength) + 1]);
                for (int i = 0; i < textLength; ++i) {
                    uint8_t u[2];
                    if (in.Read(u, 1, 2) != 2) Damaged(where + " text cut short");
                    L.text[size_t(i)] = char16_t(u[0] | (u[1] << 8));
                }
                L.text[size_t(textLength)] = 0;
            }
            if (!prevState.layers[slot].CopyFrom(L)) Damaged(where + " cannot be held in memory");
            if (first < 0) first = slot;
            previous = slot;
            expected = L.next;
            if (expected == -1) break;
            if (seen[expected]) Damaged("layer links form a cycle");
        }
        headLayer = first;
        currentLayer = InStack(current) ? current : first;
        viewRebuild = true;
        return true;
    } catch (const VorError& e) {
        if (!e.shown) host_->MessageBox(e.text);
        lastError = e.text;
        return false;
    }
}

bool CVexoDoc::WriteVor(const std::string& target) {
    SettleLayers();
    lastError = "the document has no layers to save";
    if (!IsValidLayer(headLayer) || !InStack(headLayer)) return false;
    // Every section along the links must end at -1.
    const std::vector<int> order = StackOrder();
    if (live.layers[order.back()].next != -1) return false;
    for (int slot : order)
        if (!live.layers[slot].pixels || !live.layers[slot].alpha) return false;
    if (!RenderThroughView(3)) return false;
    lastError.clear();
    SafeFileWriter out(target);
    if (!out.Ok()) {
        lastError = out.Error();
        return false;
    }
    FILE* f = out.File();

    // A palette canvas goes out as true colour (the format has no palette).
    const bool expand = live.canvas.bitsPerPixel == 8;
    CanvasInfo cv = live.canvas;
    if (expand) {
        cv.bitsPerPixel = 24;
        cv.paletteColors = 0;
        cv.canvasPixelSize = int32_t(LayerStride(cv.width, 24) * cv.height);
    }
    std::fprintf(f, "\n%d %d %d", kVorVersion, headLayer, currentLayer);
    std::fwrite(&cv, sizeof cv, 1, f);

    // Flattened picture: the composite's colours, rows bottom-up.
    {
        const size_t stride = size_t(LayerStride(cv.width, 24));
        std::vector<uint8_t> row(stride, 0xFF);
        const uint8_t* c = composite.data();
        for (int r = 0; r < cv.height; ++r) {
            for (int x = 0; x < cv.width; ++x, c += 4) {
                row[size_t(x) * 3] = c[0];
                row[size_t(x) * 3 + 1] = c[1];
                row[size_t(x) * 3 + 2] = c[2];
            }
            std::fwrite(row.data(), 1, stride, f);
        }
    }

    std::vector<uint8_t> expanded;
    for (int slot : order) {
        const LayerRecord& L = live.layers[slot];
        const bool text = L.IsTextKind();
        const bool hasText = text && L.text && L.textLength > 0;
        std::fprintf(f, "\n %d %d", slot, hasText ? L.textLength : 0);
        LayerRecordData rec = L;
        if (!hasText) rec.textLength = 0;
        const uint8_t* pixels = L.pixels.get();
        if (expand && !text) {
            rec.stride = int32_t(LayerStride(L.width, 24));
            rec.pixelSize = rec.stride * L.height;
            expanded.assign(size_t(rec.pixelSize), 0);
            for (int r = 0; r < L.height; ++r) {
                const uint8_t* s = L.PixelRow(r);
                uint8_t* d = expanded.data() + size_t(r) * size_t(rec.stride);
                for (int x = 0; x < L.width; ++x) {
                    const RgbQuad q = s[x] < live.palette.size() ? live.palette[s[x]] : RgbQuad{0, 0, 0, 0};
                    d[x * 3] = q.blue;
                    d[x * 3 + 1] = q.green;
                    d[x * 3 + 2] = q.red;
                }
            }
            pixels = expanded.data();
        }
        std::fwrite(&rec, sizeof rec, 1, f);
        std::fwrite(pixels, 1, size_t(rec.pixelSize), f);
        std::fwrite(L.alpha.get(), 1, size_t(L.planeSize), f);
        if (L.effectPlane)
            std::fwrite(L.effectPlane.get(), 1, size_t(L.planeSize), f);
        else
            for (int i = 0; i < L.planeSize; ++i) std::fputc(0, f);
        if (hasText)
            for (int i = 0; i < L.textLength; ++i) {
                const uint8_t u[2] = {uint8_t(L.text[size_t(i)]), uint8_t(L.text[size_t(i)] >> 8)};
                std::fwrite(u, 1, 2, f);
            }
    }
    if (!out.Commit()) {
        lastError = out.Error();
        return false;
    }
    modified = false;
    return true;
}
