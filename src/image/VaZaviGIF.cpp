// Placeholder until this codec lands: refuses with a clear message.
#include "codecs.h"

struct VaZaviGIF::State {};

VaZaviGIF::VaZaviGIF() : VaZavi(kTypeGIF) {}
VaZaviGIF::~VaZaviGIF() { delete gif; }

bool VaZaviGIF::Decode(ImageStream&) {
    SetLastError("this file format is not supported yet");
    return false;
}

bool VaZaviGIF::Encode(ImageStream&) {
    SetLastError("this file format is not supported yet");
    return false;
}
