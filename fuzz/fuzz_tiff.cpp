// Feeds arbitrary bytes to the TIFF reader (first and second page) and writes
// back whatever it accepted.
#include <cstddef>
#include <cstdint>

#include "ImageStream.h"
#include "VaZavi.h"
#include "image_probe.h"
#include "decode_limits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        // The header-only probe reads the same bytes first (it never decodes).
        ImageStream probeIn(data, size);
        ImageProbe probe;
        (void)ProbeTiff(probeIn, probe);
    }
    gDecodePixelBudget = int64_t(1) << 18;
    for (int page = 0; page < 2; ++page) {
        VaZavi img;
        img.info.frameIndex = page;
        ImageStream in(data, size);
        if (!img.Load(in, kTypeTIFF)) continue;
        if (page == 0 && img.Width() <= 512 && img.Height() <= 512) {
            ImageStream out;
            img.Save(out, kTypeTIFF);
        }
        (void)img.GetPixelColor(img.Width() - 1, img.Height() - 1);
        if (img.info.frameCount < 2) break;
    }
    return 0;
}
