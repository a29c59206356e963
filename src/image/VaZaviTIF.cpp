// Placeholder until this codec lands: refuses with a clear message.
#include "codecs.h"

bool VaZaviTIF::Decode(ImageStream&) {
    SetLastError("this file format is not supported yet");
    return false;
}

bool VaZaviTIF::Encode(ImageStream&) {
    SetLastError("this file format is not supported yet");
    return false;
}
