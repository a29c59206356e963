// Fuzz target: layer operations on small layers of any content, palette or
// true colour, with odd selections and parameters, and the cli's filter
// step parser.
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "filter_commands.h"
#include "layer_ops.h"

using namespace layerops;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 12) return 0;
    try {
        docfilters::ParseFilterStep(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const std::invalid_argument&) {
    }
    const int w = 1 + data[0] % 40, h = 1 + data[1] % 40;
    const bool palette = data[2] & 1;
    const int op = data[3];
    const int p1 = int(int8_t(data[4])), p2 = int(int8_t(data[5])), p3 = int(int8_t(data[6]));
    const uint8_t* body = data + 12;
    const size_t n = size - 12;
    auto byte = [&](size_t i) { return n ? body[i % n] : uint8_t(i); };

    VaZavi image(kTypeBMP);
    if (palette) {
        if (!image.Create(8, 4, 4, kTypeBMP)) return 0;
        for (int i = 0; i < 256; ++i) image.SetPaletteColor(i, byte(3 * size_t(i)), byte(3 * size_t(i) + 1), byte(3 * size_t(i) + 2));
        image.info.transparentIndex = data[7] % 3 == 0 ? -1 : data[7];
    }
    LayerRecord L;
    L.width = w, L.height = h;
    L.stride = palette ? ((w * 8 + 31) / 32) * 4 : ((w * 24 + 31) / 32) * 4;
    L.pixelSize = L.stride * h, L.planeSize = w * h;
    L.x = int(int8_t(data[8])), L.y = int(int8_t(data[9]));
    L.pixels.reset(new uint8_t[size_t(L.pixelSize)]);
    L.alpha.reset(new uint8_t[size_t(L.planeSize)]);
    for (int i = 0; i < L.pixelSize; ++i) L.pixels[size_t(i)] = byte(size_t(i) * 7 + 1);
    for (int i = 0; i < L.planeSize; ++i) L.alpha[size_t(i)] = byte(size_t(i) * 3 + 2) & 0x81 ? 255 : 0;
    SelectionMask sel;
    sel.width = 1 + data[10] % 50, sel.height = 1 + data[11] % 50;
    sel.x = int(int8_t(data[10])) / 4, sel.y = int(int8_t(data[11])) / 4;
    sel.size = sel.width * sel.height;
    sel.mask.resize(size_t(sel.size));
    for (size_t i = 0; i < sel.mask.size(); ++i) sel.mask[i] = byte(i) % 3;
    std::vector<uint8_t> outPixels(size_t(L.pixelSize)), outAlpha(size_t(L.planeSize));
    LayerOpContext c;
    c.image = &image;
    c.layer = &L;
    c.bitsPerPixel = palette ? 8 : 24;
    c.outPixels = outPixels.data();
    c.outAlpha = outAlpha.data();
    c.selection = (data[2] & 2) ? &sel : nullptr;
    c.seed = data[7];
    const int small = 1 + (p1 & 7);
    static const int kernel[9] = {-1, -1, -1, -1, 8, -1, -1, -1, -1};
    switch (op % 30) {
    case 0: WindowMean(c, small, 1 + (p2 & 63)); break;
    case 1: Erode(c, small); break;
    case 2: Dilate(c, small); break;
    case 3: Convolve3x3(c, kernel, p1, p2, p3 & 1); break;
    case 4: Sharpen(c, p1); break;
    case 5: Median(c, small); break;
    case 6: EdgeDarken(c, p1, p2); break;
    case 7: Frost(c, p1 & 15); break;
    case 8: Watercolour(c); break;
    case 9: ThresholdFloyd(c, p1); break;
    case 10: ThresholdOrdered(c, p1); break;
    case 11: ThresholdSimple(c, p1); break;
    case 12: BrightnessContrast(c, p1, p2); break;
    case 13: Negative(c); break;
    case 14: MirrorLayer(c); break;
    case 15: FlipLayer(c); break;
    case 16: NoiseRemovalB(c, p1, p2); break;
    case 17: Stamp(c, p1, p2, p3); break;
    case 18: Confetti(c, p1, p2, p3); break;
    case 19: LineColouring(c, p1, p2); break;
    case 20: LensEffect(c, p1 & 4); break;
    case 21: HanjiPaper(c, p1, p2); break;
    case 22: Raindrops(c, p1, p2); break;
    case 23: RegionExpand(c, p1); break;
    case 24: BubbleColouring(c, p1, p2); break;
    case 25: OilPainting(c, p1, p2); break;
    case 26: SoftenB(c); break;
    case 27: {
        uint32_t table[1024];
        Histogram(c, table);
        break;
    }
    case 28: GreyLayer(c); break;
    default: {
        if (palette) break;
        const double deg = p1 * 7.5;
        int nw, nh;
        RotatedSize(w, h, deg, nw, nh);
        LayerRecord d;
        d.width = nw, d.height = nh, d.stride = ((nw * 24 + 31) / 32) * 4;
        d.pixels.reset(new uint8_t[size_t(d.stride) * size_t(nh)]);
        d.alpha.reset(new uint8_t[size_t(nw) * size_t(nh)]);
        RotateLayer(image, L, d, 24, deg);
        LayerRecord r;
        r.width = 1 + (p2 & 63), r.height = 1 + (p3 & 63), r.stride = ((r.width * 24 + 31) / 32) * 4;
        r.pixels.reset(new uint8_t[size_t(r.stride) * size_t(r.height)]);
        r.alpha.reset(new uint8_t[size_t(r.width) * size_t(r.height)]);
        ResizeLayer(image, L, r);
        break;
    }
    }
    return 0;
}
