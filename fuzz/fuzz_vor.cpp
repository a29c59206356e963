// Feeds arbitrary bytes to the VOR reader; composites whatever it accepted.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "CVexoDoc.h"
#include "ImageStream.h"
#include "VaZavi.h"
#include "image_probe.h"
#include "vor_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        // The header probe and the flattened picture alone (thumbnails), as
        // the browser reads them.
        ImageStream probeIn(data, size);
        ImageProbe probe;
        (void)ProbeVor(probeIn, probe);
        ImageStream pictureIn(data, size);
        VaZavi picture(kTypeBMP);
        (void)ReadVorPicture(pictureIn, picture);
    }
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc doc(&host);
    doc.keepScratch = true;
    ImageStream in(data, size);
    if (doc.ReadVor(in, "fuzz.vor")) {
        const CanvasInfo& cv = doc.live.canvas;
        if (int64_t(cv.width) * cv.height <= (int64_t(1) << 20)) {
            std::vector<uint8_t> out(size_t(cv.width) * size_t(cv.height) * 4);
            doc.CompositeRun(doc.headLayer, -1, out.data());
            std::vector<uint8_t> view(64 * 48 * 4);
            doc.CompositeRect(doc.headLayer, -1, 0.37, 3, 2, 64, 48, view.data(), 64 * 4);
        }
        doc.ConvertToRgb();
    }
    return 0;
}
