// Placeholder until this codec lands: refuses with a clear message.
#include "codecs.h"

bool VaZaviPCX::Decode(ImageStream&) {
    SetLastError("this file format is not supported yet");
    return false;
}
