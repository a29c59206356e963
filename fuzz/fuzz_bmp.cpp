// Feeds arbitrary bytes to the BMP reader, as a file and as a bare DIB, and
// writes back whatever it accepted.
#include <cstddef>
#include <cstdint>

#include "ImageStream.h"
#include "VaZavi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VaZavi img;
    ImageStream in(data, size);
    if (img.Load(in, kTypeBMP)) {
        ImageStream out;
        img.Save(out, kTypeBMP);
        (void)img.GetPixelColor(img.Width() - 1, img.Height() - 1);
    }
    return 0;
}
