#include "picture_document.h"

#include <cstring>

#include "CVexoDoc.h"
#include "VaZavi.h"
#include "layer_set.h"

namespace acquire {

std::unique_ptr<CVexoDoc> DocumentFromPicture(DocHost* host, std::unique_ptr<VaZavi> picture,
                                              const std::string& name) {
    if (!host || !picture || !picture->IsValid() || picture->Width() < 1 || picture->Height() < 1) return nullptr;
    const int w = picture->Width(), h = picture->Height(), bits = picture->BitCount();
    auto doc = std::make_unique<CVexoDoc>(host);
    if (!doc->NewImage(w, h)) return nullptr;
    // The background layer from the picture's rows (both bottom-up).
    LayerRecord& L = doc->Layer(doc->headLayer);
    for (int r = 0; r < h; ++r) {
        const uint8_t* s = picture->Row(r);
        uint8_t* d = L.PixelRow(r);
        if (bits == 24) {
            std::memcpy(d, s, size_t(w) * 3);
        } else if (bits == 32) {
            for (int x = 0; x < w; ++x) std::memcpy(d + x * 3, s + x * 4, 3);
        } else {
            for (int x = 0; x < w; ++x) {
                const uint32_t c = picture->GetPixelColor(x, r);
                d[x * 3] = ColB(c);
                d[x * 3 + 1] = ColG(c);
                d[x * 3 + 2] = ColR(c);
            }
        }
    }
    std::memset(L.alpha.get(), 255, size_t(L.planeSize));
    // The picture replaces the document image.
    doc->image.Transfer(*picture);
    const std::u16string title = Utf8ToUtf16(name);
    SetFixedText(doc->live.canvas.title, 100, title);
    doc->PostOpen();
    doc->displayName = name;
    return doc;
}

std::string ScanDocumentName(int number) { return "스캔영상_" + std::to_string(number); }

std::string CaptureDocumentName(int number) { return "Captured Image " + std::to_string(number); }

}  // namespace acquire
