// VOR probe and flattened picture (see vor_probe.h).
#include "vor_probe.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "CVexoDoc.h"
#include "ImageStream.h"
#include "VaZavi.h"
#include "regular_file.h"
#include "vor_header.h"

namespace {
bool Refuse(ImageProbe& probe, const std::string& text) {
    probe.error = text;
    return false;
}
}  // namespace

bool ProbeVor(ImageStream& in, ImageProbe& probe) {
    probe = ImageProbe{};
    probe.type = kTypeVOR;
    int head = -1, current = -1;
    CanvasInfo cv;
    std::string detail;
    switch (vorfmt::ReadHead(in, head, current, cv, detail)) {
    case vorfmt::Head::Ok: break;
    case vorfmt::Head::OtherVersion: return Refuse(probe, "VOR 형식의 버전이 상이함");
    default: return Refuse(probe, "VOR 파일이 손상되었습니다: " + detail);
    }
    if (in.Remaining() < cv.canvasPixelSize || in.Seek(cv.canvasPixelSize, 1) != 0)
        return Refuse(probe, "VOR 파일이 손상되었습니다: flattened picture cut short");
    bool seen[kMaxLayers] = {};
    int expected = -1, layers = 0;
    for (;;) {
        int slot, textLength;
        if (!vorfmt::ReadNumber(in, slot, 3) || !vorfmt::ReadNumber(in, textLength))
            return Refuse(probe, "VOR 파일이 손상되었습니다: layer line missing");
        if (!IsValidLayer(slot) || seen[slot] || layers >= kMaxLayers || (expected != -1 && slot != expected) ||
            textLength < 0)
            return Refuse(probe, "VOR 파일이 손상되었습니다: layer " + std::to_string(slot) + " out of place");
        textLength = std::min(textLength, kMaxTextUnits);
        seen[slot] = true;
        LayerRecordData rec;
        if (in.Read(&rec, 1, sizeof rec) != sizeof rec)
            return Refuse(probe, "VOR 파일이 손상되었습니다: layer record cut short");
        const bool text = rec.kind == LayerText || rec.kind == LayerBalloon;
        if (rec.kind > LayerLinked || rec.width < 1 || rec.height < 1 ||
            int64_t(rec.width) * rec.height > kMaxImagePixels)
            return Refuse(probe, "VOR 파일이 손상되었습니다: layer " + std::to_string(slot) + " out of range");
        const int64_t stride = text ? rec.width : LayerStride(rec.width, cv.bitsPerPixel);
        const int64_t plane = int64_t(rec.width) * rec.height;
        if (rec.stride != stride || rec.planeSize != plane || rec.pixelSize != stride * rec.height ||
            rec.pixelSize > kMaxImageBytes)
            return Refuse(probe, "VOR 파일이 손상되었습니다: layer sizes disagree");
        const int64_t bytes = int64_t(rec.pixelSize) + 2 * plane + (text ? int64_t(textLength) * 2 : 0);
        if (in.Remaining() < bytes || (rec.next != -1 && !IsValidLayer(rec.next)))
            return Refuse(probe, "VOR 파일이 손상되었습니다: layer larger than the rest of the file");
        if (in.Seek(bytes, 1) != 0) return Refuse(probe, "VOR 파일이 손상되었습니다: layer cut short");
        ++layers;
        expected = rec.next;
        if (expected == -1) break;
        if (seen[expected]) return Refuse(probe, "VOR 파일이 손상되었습니다: layer links form a cycle");
    }
    const VaZavi defaults(kTypeBMP);   // a document's image before any change
    probe.width = cv.width;
    probe.height = cv.height;
    probe.bits = cv.bitsPerPixel;
    probe.colors = cv.bitsPerPixel == 8 ? 256 : 0;
    probe.frames = layers;
    probe.xDpi = defaults.info.xDpi;
    probe.yDpi = defaults.info.yDpi;
    return true;
}

bool ProbeVorFile(const std::string& path, ImageProbe& probe) {
    std::string why;
    FILE* f = OpenRegularFile(path.c_str(), why);
    if (!f) {
        probe = ImageProbe{};
        probe.error = why;
        return false;
    }
    ImageStream in(f);
    const bool ok = ProbeVor(in, probe);
    std::fclose(f);
    return ok;
}

bool ReadVorPicture(ImageStream& in, VaZavi& picture) {
    int head = -1, current = -1;
    CanvasInfo cv;
    std::string detail;
    if (vorfmt::ReadHead(in, head, current, cv, detail) != vorfmt::Head::Ok) return false;
    if (cv.canvasPixelSize <= 0 || cv.bitsPerPixel <= 0) return false;
    if (in.Remaining() < cv.canvasPixelSize) return false;
    const int bits = cv.bitsPerPixel == 8 ? 8 : 24;
    VaZavi img(kTypeBMP);
    if (!img.CreateUnfilled(bits, cv.width, cv.height, kTypeBMP)) return false;
    // A consistent canvas header makes the block exactly the picture's rows.
    if (img.ImageBytes() != size_t(cv.canvasPixelSize)) return false;
    if (in.Read(img.bits, 1, img.ImageBytes()) != img.ImageBytes()) return false;
    if (bits == 8) img.SetGrayPalette();
    return picture.Transfer(img);
}

bool ReadVorPicture(const std::string& path, VaZavi& picture) {
    std::string why;
    FILE* f = OpenRegularFile(path.c_str(), why);
    if (!f) return false;
    ImageStream in(f);
    const bool ok = ReadVorPicture(in, picture);
    std::fclose(f);
    return ok;
}
