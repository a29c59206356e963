// Feeds arbitrary bytes to the GIF reader (the first byte picks the frame),
// writes back what it accepted and checks that the written file reads back
// with the same palette indices.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ImageStream.h"
#include "VaZavi.h"
#include "image_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        // The header-only probe reads the same bytes first (it never decodes).
        ImageStream probeIn(data, size);
        ImageProbe probe;
        (void)ProbeGif(probeIn, probe);
    }
    if (size < 1) return 0;
    VaZavi img(kTypeGIF);
    img.info.frameIndex = data[0] % 4;
    ImageStream in(data + 1, size - 1);
    if (!img.Load(in, kTypeGIF)) return 0;
    (void)img.GetPixelColor(img.Width() - 1, img.Height() - 1);
    // The round trip is checked on pictures of modest size, which keeps the
    // run fast; decoding is exercised on all.
    if (img.BitCount() > 8 || int64_t(img.Width()) * img.Height() > (1 << 16)) return 0;
    ImageStream out;
    if (!img.Save(out, kTypeGIF)) abort();
    VaZavi back(kTypeGIF);
    ImageStream again(out.Data(), size_t(out.Tell()));
    if (!back.Load(again, kTypeGIF)) abort();
    if (back.Width() != img.Width() || back.Height() != img.Height() || back.BitCount() != img.BitCount()) abort();
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x)
            if (back.GetPixelIndex(x, y) != img.GetPixelIndex(x, y)) abort();
    return 0;
}
