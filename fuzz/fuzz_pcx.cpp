// Feeds arbitrary bytes to the PCX reader and reads every pixel of what it
// accepted.
#include <cstddef>
#include <cstdint>

#include "ImageStream.h"
#include "VaZavi.h"
#include "image_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        // The header-only probe reads the same bytes first (it never decodes).
        ImageStream probeIn(data, size);
        ImageProbe probe;
        (void)ProbePcx(probeIn, probe);
    }
    VaZavi img;
    ImageStream in(data, size);
    if (img.Load(in, kTypePCX)) {
        uint32_t sum = 0;
        for (int y = 0; y < img.Height(); ++y)
            for (int x = 0; x < img.Width(); ++x) sum += img.GetPixelColor(x, y);
        volatile uint32_t sink = sum;
        (void)sink;
    }
    return 0;
}
