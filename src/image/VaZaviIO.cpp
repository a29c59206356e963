// Load and save dispatch by file-type id, and loading from resources.
#include <cstdio>
#include <cstring>

#include "ImageStream.h"
#include "VaZavi.h"
#include "codecs.h"
#include "embedded_resources.h"
#include "safe_file.h"

namespace {
constexpr const char* kUnsupported = "Unsupported operation for this format";

template <class Codec>
bool DecodeWith(VaZavi& self, ImageStream& stream, bool passFrame, bool keepError) {
    Codec codec;
    if (passFrame) codec.info.frameIndex = self.info.frameIndex;
    if (codec.Decode(stream) && self.Transfer(codec)) return true;
    if (keepError) CopyErrorText(self.info.lastError, codec.info.lastError);
    return false;
}

template <class Codec>
bool EncodeWith(VaZavi& self, ImageStream& stream) {
    Codec codec;
    self.Lend(codec);
    if (!codec.IsValid()) {
        self.SetLastError("no image to save");
        return false;
    }
    bool ok = codec.Encode(stream);
    if (!ok) CopyErrorText(self.info.lastError, codec.info.lastError);
    return ok;
}

bool DecodeType(VaZavi& self, ImageStream& stream, int type, bool keepError) {
    switch (type) {
    case kTypeJPEG: return DecodeWith<VaZaviJPG>(self, stream, false, keepError);
    case kTypeBMP: return DecodeWith<VaZaviBMP>(self, stream, false, keepError);
    case kTypeGIF: return DecodeWith<VaZaviGIF>(self, stream, true, keepError);
    case kTypeTIFF: return DecodeWith<VaZaviTIF>(self, stream, true, keepError);
    case kTypePCX: return DecodeWith<VaZaviPCX>(self, stream, false, keepError);
    default: return false;
    }
}
}  // namespace

bool VaZavi::Load(ImageStream& stream, int type) {
    switch (type) {
    case kTypeJPEG:
    case kTypeBMP:
    case kTypeGIF:
    case kTypeTIFF:
    case kTypePCX: return DecodeType(*this, stream, type, true);
    case kTypeDetect: {
        const int64_t start = stream.Tell();
        for (int t : {kTypeBMP, kTypeJPEG, kTypeGIF, kTypeTIFF, kTypePCX}) {
            if (stream.Seek(start, 0) != 0) return false;
            if (DecodeType(*this, stream, t, false)) return true;
        }
        return false;
    }
    case kTypeVOR:
    case kTypeSCO: return true;
    default: SetLastError(kUnsupported); return false;
    }
}

bool VaZavi::Save(ImageStream& stream, int type) {
    switch (type) {
    case kTypeJPEG: return EncodeWith<VaZaviJPG>(*this, stream);
    case kTypeBMP: return EncodeWith<VaZaviBMP>(*this, stream);
    case kTypeGIF: return EncodeWith<VaZaviGIF>(*this, stream);
    case kTypeTIFF: return EncodeWith<VaZaviTIF>(*this, stream);
    case kTypeVOR:
    case kTypeSCO: return true;
    default: SetLastError(kUnsupported); return false;
    }
}

bool VaZavi::Load(const char* fileName, int type) {
    if (!fileName) return false;
    // Non-blocking, so that a FIFO is refused instead of waited for.
    std::string why;
    FILE* f = OpenRegularFileForReading(fileName, why);
    if (!f) {
        SetLastError("can't open file: " + why);
        return false;
    }
    ImageStream stream(f);
    bool ok = Load(stream, type);
    std::fclose(f);
    return ok;
}

bool VaZavi::Save(const char* fileName, int type) {
    if (!fileName) return false;
    if (type == kTypeVOR || type == kTypeSCO) return true;
    SafeFileWriter out(fileName);
    if (!out.Ok()) {
        SetLastError(out.Reason() == SafeFileWriter::Failure::System ? "can't create file: " + out.Error()
                                                                     : out.Error());
        return false;
    }
    ImageStream stream(out.File());
    if (!Save(stream, type)) {
        // The codec's own message, with the system's reason when a write failed.
        const std::string cause = out.WriteFailure();
        if (!cause.empty()) SetLastError(std::string(LastError()[0] ? LastError() : "write error") + ": " + cause);
        return false;
    }
    if (!out.Commit()) {
        SetLastError(out.Error());
        return false;
    }
    return true;
}

bool VaZavi::LoadResource(const EmbeddedResource* resource, int type) {
    if (!resource || !resource->data) {
        SetLastError("Unable to load resource!");
        imagehost::ShowMessageBox("fail");
        return false;
    }
    ImageStream stream(resource->data, resource->size);
    return Load(stream, type);
}
