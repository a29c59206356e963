// The five codec classes. Each only sets its file-type id; the coders are
// ordinary member operations chosen by the load/save dispatch.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "VaZavi.h"

class VaZaviBMP : public VaZavi {
public:
    VaZaviBMP() : VaZavi(kTypeBMP) {}
    bool Decode(ImageStream& stream);
    bool Encode(ImageStream& stream);
};

class VaZaviJPG : public VaZavi {
public:
    VaZaviJPG() : VaZavi(kTypeJPEG) {}
    bool Decode(ImageStream& stream);
    bool Encode(ImageStream& stream);
};

class VaZaviTIF : public VaZavi {
public:
    VaZaviTIF() : VaZavi(kTypeTIFF) {}
    bool Decode(ImageStream& stream);
    bool Encode(ImageStream& stream);
};

class VaZaviPCX : public VaZavi {
public:
    VaZaviPCX() : VaZavi(kTypePCX) {}
    bool Decode(ImageStream& stream);
};

class VaZaviGIF : public VaZavi {
public:
    VaZaviGIF();
    ~VaZaviGIF() override;
    bool Decode(ImageStream& stream);
    bool Encode(ImageStream& stream);

    // GIF coder state (comment, loop count, ...) lives in the implementation.
    struct State;
    State* gif = nullptr;
    std::string comment;
    int loopCount = -1;
};
