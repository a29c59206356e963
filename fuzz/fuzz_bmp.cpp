// Feeds arbitrary bytes to the BMP reader, as a file and as a bare DIB, and
// writes back whatever it accepted.
//
// Pictures declared larger than 2^20 pixels are skipped: the reader's size
// checks for them are covered by the unit tests, and clearing hundreds of
// megabytes per input would slow the search down a thousandfold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ImageStream.h"
#include "VaZavi.h"
#include "image_probe.h"

namespace {
int64_t Le(const uint8_t* p, int n) {
    int64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

bool DeclaresHugePicture(const uint8_t* d, size_t n) {
    size_t at = n >= 2 && d[0] == 'B' && d[1] == 'M' ? 14 : 0;
    if (n < at + 12) return false;
    const int64_t hsize = Le(d + at, 4);
    int64_t w, h;
    if (hsize == 12) {
        w = Le(d + at + 4, 2), h = Le(d + at + 6, 2);
    } else {
        w = int32_t(Le(d + at + 4, 4)), h = int32_t(Le(d + at + 8, 4));
    }
    return std::llabs(w) * std::llabs(h) > (int64_t(1) << 20);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        // The header-only probe reads the same bytes first (it never decodes).
        ImageStream probeIn(data, size);
        ImageProbe probe;
        (void)ProbeBmp(probeIn, probe);
    }
    if (DeclaresHugePicture(data, size)) return 0;
    VaZavi img;
    ImageStream in(data, size);
    if (img.Load(in, kTypeBMP)) {
        ImageStream out;
        img.Save(out, kTypeBMP);
        (void)img.GetPixelColor(img.Width() - 1, img.Height() - 1);
    }
    return 0;
}
