// Thumbnails and preview pictures: the picture the editor would open from a
// file (a JPEG decoded at a reduced size, a TIFF's first page, a GIF's first
// frame, a VOR document's flattened picture), made small with an area
// average (or bilinear when enlarged) onto white.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "browser_model.h"

class VaZavi;

namespace browser {

// 24-bit picture, blue, green, red per pixel, top row first, rows packed.
struct Picture24 {
    int width = 0, height = 0;
    std::vector<uint8_t> bgr;
    bool Empty() const { return width <= 0 || height <= 0; }
    const uint8_t* At(int x, int y) const { return bgr.data() + (size_t(y) * size_t(width) + size_t(x)) * 3; }
};

// The picture of a file as the editor opens it (by its extension), at least
// minWidth x minHeight where the file's format can be decoded smaller (JPEG)
// and the whole picture otherwise. fullWidth and fullHeight receive the
// picture's own size. False (with the reason) when it cannot be read.
bool LoadPictureSource(const std::string& path, int minWidth, int minHeight, VaZavi& source, int& fullWidth,
                       int& fullHeight, std::string* error = nullptr);

// Draws `source` (any bit depth; rows as the image keeps them) into the
// rectangle r of dst; pixels of dst outside r stay as they are. Alpha of a
// 32-bit picture that has it is laid over what dst holds.
void DrawScaled(const VaZavi& source, Picture24& dst, const Rect& r);

// A white 100 x 90 cell with the picture fitted into it (FitIntoCell of
// the picture's own size).
Picture24 MakeThumbnail(const VaZavi& source, int fullWidth, int fullHeight);
// The file's thumbnail; an empty picture when the file cannot be read.
Picture24 ThumbnailOfFile(const std::string& path);

// The picture scaled down (never up) to fit maxWidth x maxHeight, aspect
// kept; for the preview window, which shows it stretched to its canvas.
Picture24 PreviewOfFile(const std::string& path, int maxWidth, int maxHeight, int& fullWidth, int& fullHeight);

// A file's thumbnail for callers without windows (the command line, file
// managers): the picture as the browser decodes it (a JPEG at the smallest
// DCT scale that covers the size, a TIFF's first page, a GIF's first frame,
// a VOR document's flattened picture) fitted into maxWidth x maxHeight on
// white, aspect kept, never enlarged; a 24-bit picture (rows bottom-up, as
// every VaZavi keeps them) with the file's resolution. On failure `picture`
// is null and `error` says why.
struct ThumbnailResult {
    std::unique_ptr<VaZavi> picture;
    int fullWidth = 0, fullHeight = 0;   // the picture's own size
    std::string error;
    explicit operator bool() const { return picture != nullptr; }
};
inline constexpr int kMaxThumbnailSide = 16384;
ThumbnailResult MakeThumbnail(const std::string& path, int maxWidth, int maxHeight);

}  // namespace browser
