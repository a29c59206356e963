// The head of a VOR file (see vor_header.h).
#include "vor_header.h"

#include <cctype>
#include <cstdint>

#include "ImageStream.h"
#include "VaZavi.h"
#include "CVexoDoc.h"

namespace vorfmt {

namespace {
void SkipSpaces(ImageStream& in) {
    for (;;) {
        const int c = in.GetChar();
        if (c < 0) return;
        if (!std::isspace(c)) {
            in.Seek(-1, 1);
            return;
        }
    }
}
}  // namespace

bool ReadNumber(ImageStream& in, int& value, int maxDigits) {
    SkipSpaces(in);
    int c = in.GetChar();
    bool negative = false;
    if (c == '-') {
        negative = true;
        c = in.GetChar();
    }
    if (c < '0' || c > '9') return false;
    long v = 0;
    int digits = 0;
    while (c >= '0' && c <= '9') {
        if (++digits > maxDigits) return false;
        v = v * 10 + (c - '0');
        c = in.GetChar();
    }
    if (c >= 0) in.Seek(-1, 1);
    value = int(negative ? -v : v);
    return true;
}

bool CanvasConsistent(const CanvasInfo& cv) {
    if (cv.width < 1 || cv.height < 1) return false;
    if (int64_t(cv.width) * cv.height > kMaxImagePixels) return false;
    if (cv.bitsPerPixel != 24 && cv.bitsPerPixel != 8) return false;
    if (cv.paletteColors < 0 || cv.paletteColors > 256) return false;
    const int64_t bytes = LayerStride(cv.width, cv.bitsPerPixel) * cv.height;
    return bytes <= kMaxImageBytes && cv.canvasPixelSize == bytes &&
           cv.canvasPlaneSize == int64_t(cv.width) * cv.height;
}

// The header line's last number is followed directly by the title, which
// may itself begin with digits: of the ways to end that number, the one
// after which a consistent canvas header and the first layer line follow is
// taken.
Head ReadHead(ImageStream& in, int& head, int& current, CanvasInfo& cv, std::string& detail) {
    int version;
    detail = "no header line";
    if (!ReadNumber(in, version)) return Head::Damaged;
    if (version != kVersion) return Head::OtherVersion;
    if (!ReadNumber(in, head)) return Head::Damaged;
    SkipSpaces(in);
    int c = in.GetChar();
    bool negative = false;
    if (c == '-') {
        negative = true;
        c = in.GetChar();
    }
    if (c < '0' || c > '9') return Head::Damaged;
    int value = 0, chosen = -1, chosenValue = 0;
    const int64_t digitsStart = in.Tell() - 1;
    for (int k = 1; k <= 3 && c >= '0' && c <= '9'; ++k) {
        value = value * 10 + (c - '0');
        const int64_t end = digitsStart + k;
        if (in.Seek(end, 0) != 0) break;
        CanvasInfo probe;
        if (in.Read(&probe, 1, sizeof probe) == sizeof probe && CanvasConsistent(probe) &&
            in.Remaining() > probe.canvasPixelSize && in.Seek(probe.canvasPixelSize, 1) == 0) {
            // The first layer line follows: a line feed.
            if (in.GetChar() == '\n') {
                chosen = k;
                chosenValue = value;
            }
        }
        if (in.Seek(end, 0) != 0) break;
        c = in.GetChar();
    }
    detail = "canvas header does not fit the file";
    if (chosen < 0) return Head::Damaged;
    current = negative ? -chosenValue : chosenValue;
    in.Seek(digitsStart + chosen, 0);
    detail = "canvas header cut short";
    if (in.Read(&cv, 1, sizeof cv) != sizeof cv) return Head::Damaged;
    detail.clear();
    return Head::Ok;
}

}  // namespace vorfmt
