// Placeholder until this codec lands: refuses with a clear message.
#include "codecs.h"

bool VaZaviJPG::Decode(ImageStream&) {
    SetLastError("this file format is not supported yet");
    return false;
}

bool VaZaviJPG::Encode(ImageStream&) {
    SetLastError("this file format is not supported yet");
    return false;
}
