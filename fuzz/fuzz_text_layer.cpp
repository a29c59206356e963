// Text and balloon layers rebuilt from stored attributes that a damaged
// document may carry: the record's text attributes and text come from the
// input, then the layer is edited, its balloon rebuilt and rasterized.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "CVexoDoc.h"
#include "text_layers.h"

namespace {
struct Input {
    const uint8_t* p;
    size_t n;
    int32_t Int() {
        int32_t v = 0;
        const size_t k = n < 4 ? n : 4;
        std::memcpy(&v, p, k);
        p += k;
        n -= k;
        return v;
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static HeadlessHost* host = [] {
        auto* h = new HeadlessHost;
        h->echoMessages = false;
        return h;
    }();
    Input in{data, size};
    CVexoDoc doc(host);
    if (!doc.NewImage(64, 48)) return 0;
    const int32_t flags = in.Int();
    host->SwitchTool(flags & 1 ? textlayer::kBalloonTool : textlayer::kTextTool);
    textlayer::TextDialogValues v;
    v.settings.size = 6 + (flags >> 1 & 15);
    v.text = u"가a";
    if (!doc.EditTextLayer(false, 5, 5, v)) return 0;
    LayerRecord& L = doc.Layer(doc.currentLayer);

    // Stored attributes from the input (sizes and buffers stay consistent,
    // as the document reader guarantees).
    L.textOriginX = in.Int();
    L.textOriginY = in.Int();
    L.fontSize = in.Int() % 64;
    L.charWidthScale = in.Int();
    L.textAttr388 = in.Int();
    L.textAttr392 = in.Int();
    L.textBoxLeft = in.Int();
    L.textBoxTop = in.Int();
    L.textBoxWidth = in.Int();
    L.textBoxHeight = in.Int();
    L.tailX = in.Int();
    L.tailY = in.Int();
    const size_t faceBytes = in.n < 48 ? in.n : 48;
    std::memset(L.fontFace, 0, sizeof L.fontFace);
    std::memcpy(L.fontFace, in.p, faceBytes);
    in.p += faceBytes;
    in.n -= faceBytes;
    const size_t units = in.n / 2 > 100 ? 100 : in.n / 2;
    L.textLength = int32_t(units);
    L.text.reset(new char16_t[units + 1]);
    std::memcpy(L.text.get(), in.p, units * 2);
    L.text[units] = 0;

    doc.BuildBalloon(false, L.tailX, L.tailY, flags >> 5 & 3, flags >> 7 & 7);
    host->SwitchTool(flags & 1 ? textlayer::kBalloonTailTool : textlayer::kTextTool);
    textlayer::TextDialogValues e;
    e.settings = textlayer::SettingsOfLayer(L);
    e.text = textlayer::TextOfLayer(L);
    doc.EditTextLayer(true, -1, -1, e);
    doc.RasterizeTextLayer();
    return 0;
}
