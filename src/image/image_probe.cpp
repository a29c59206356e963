// Probe dispatch by file-type id.
#include "image_probe.h"

#include <cstdio>

#include "ImageStream.h"
#include "VaZavi.h"
#include "regular_file.h"

bool ProbePicture(ImageStream& stream, int type, ImageProbe& probe) {
    switch (type) {
    case kTypeJPEG: return ProbeJpeg(stream, probe);
    case kTypeBMP: return ProbeBmp(stream, probe);
    case kTypeGIF: return ProbeGif(stream, probe);
    case kTypeTIFF: return ProbeTiff(stream, probe);
    case kTypePCX: return ProbePcx(stream, probe);
    case kTypeDetect: {
        const int64_t start = stream.Tell();
        for (int t : {kTypeBMP, kTypeJPEG, kTypeGIF, kTypeTIFF, kTypePCX}) {
            if (stream.Seek(start, 0) != 0) break;
            if (ProbePicture(stream, t, probe)) return true;
        }
        probe = ImageProbe{};
        probe.error = "not a picture this program can read";
        return false;
    }
    default:
        probe = ImageProbe{};
        probe.error = "Unsupported operation for this format";
        return false;
    }
}

bool ProbePictureFile(const char* path, int type, ImageProbe& probe) {
    probe = ImageProbe{};
    std::string why;
    FILE* f = OpenRegularFile(path, why);
    if (!f) {
        probe.error = why;
        return false;
    }
    ImageStream stream(f);
    const bool ok = ProbePicture(stream, type, probe);
    std::fclose(f);
    return ok;
}
