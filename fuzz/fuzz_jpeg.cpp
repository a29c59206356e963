// Feeds arbitrary bytes to the JPEG reader and writes back whatever it
// accepted. The pixel budget is lowered so that a few bytes claiming a giant
// picture (legal: a cut-short file still decodes) cost milliseconds.
#include <cstddef>
#include <cstdint>

#include "ImageStream.h"
#include "VaZavi.h"
#include "image_probe.h"
#include "decode_limits.h"
#include "reduced_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        // The header-only probe reads the same bytes first (it never decodes).
        ImageStream probeIn(data, size);
        ImageProbe probe;
        (void)ProbeJpeg(probeIn, probe);
    }
    gDecodePixelBudget = int64_t(1) << 18;
    {
        // The thumbnail's decode at 1/8 (the DC decoder, or the library
        // when the DC decoder gives up).
        ImageStream thumbIn(data, size);
        VaZavi small;
        if (DecodeJpegReduced(thumbIn, 1, 1, small)) (void)small.GetPixelColor(small.Width() - 1, 0);
    }
    VaZavi img;
    ImageStream in(data, size);
    if (img.Load(in, kTypeJPEG)) {
        ImageStream out;
        img.info.jpegQuality = uint8_t(size);
        img.Save(out, kTypeJPEG);
        (void)img.GetPixelColor(img.Width() - 1, img.Height() - 1);
    }
    return 0;
}
