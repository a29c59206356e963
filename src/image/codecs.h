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

    // Coder tables and read-ahead buffer, made on first use.
    struct State;
    State* gif = nullptr;
    // Text of the last comment extension read, or the comment to write
    // (at most 255 bytes are written).
    std::string comment;
    // Loop count of the application extension, -1 when the file has none.
    int loopCount = -1;
    // Disposal method of the last graphic-control block read; written into
    // the graphic-control block of a saved file.
    int disposalMethod = 0;
};
