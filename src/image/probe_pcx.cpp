// PCX probe: the 128-byte header checks of the PCX reader and the picture
// it would make. The run-length data is not read, so a file whose data is
// cut short passes the probe and fails only when it is decoded.
#include <cstring>

#include "ImageStream.h"
#include "VaZavi.h"
#include "image_probe.h"

namespace {
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
}  // namespace

bool ProbePcx(ImageStream& s, ImageProbe& probe) {
    probe = ImageProbe{};
    probe.type = kTypePCX;
    auto refuse = [&probe](const char* text) {
        probe.error = text;
        return false;
    };
    const char* const kPlanes = "Can't handle bits per pixel image with planes.";
    uint8_t h[128];
    if (s.Read(h, 1, sizeof h) != sizeof h) return refuse("Can't read PCX image");
    if (h[0] != 10) return refuse("Error: Not a PCX file");
    if (h[2] != 1) return refuse("PCX file has unknown encoding scheme");
    const int b = h[3], p = h[65];
    const int width = int(Le16(h + 8)) - int(Le16(h + 4)) + 1;
    const int height = int(Le16(h + 10)) - int(Le16(h + 6)) + 1;
    const size_t bpl = Le16(h + 66);
    int bitCount = 0;
    if (b == 1) {
        if (p >= 5) return refuse("Can't handle image with more than 4 planes");
        if (p == 0) return refuse(kPlanes);
        bitCount = p == 3 ? 24 : p == 1 ? 1 : 4;
    } else if (b == 2 || b == 4 || b == 8) {
        if (p == 1)
            bitCount = b;
        else if (p == 3)
            bitCount = 24;
        else
            return refuse(kPlanes);
        if (p == 3 && b != 8) return refuse("Can't handle more than 1 bit per pixel");
    } else {
        return refuse(kPlanes);
    }
    if (width <= 0 || height <= 0) return refuse("PCX image has no pixels");
    if (bpl * 8 < size_t(width) * size_t(b)) return refuse("PCX line is shorter than the image width");
    const int64_t total = int64_t(bpl) * p * height;
    const int64_t left = s.Remaining();
    if (left >= 0 && total > left * 63 / 2 + 63) return refuse("corrupted PCX");
    if (total > kMaxImageBytes) return refuse("image too large");
    const int bits = bitCount <= 1 ? 1 : bitCount <= 4 ? 4 : bitCount <= 8 ? 8 : 24;
    const int64_t stride = ((int64_t(width) * bits + 31) / 32) * 4;
    if (int64_t(width) * height > kMaxImagePixels || stride * height > kMaxImageBytes) return refuse("image too large");
    probe.width = width;
    probe.height = height;
    probe.bits = bits;
    probe.colors = bits <= 8 ? 1 << bits : 0;
    // The reader keeps the default resolution of a new picture.
    const VaZavi defaults(kTypePCX);
    probe.xDpi = defaults.info.xDpi;
    probe.yDpi = defaults.info.yDpi;
    return true;
}
