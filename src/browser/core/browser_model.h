// The image browser's rules without windows: the file-type filter, the fit
// of a picture into a thumbnail cell, and the preview window's layout and
// text.
#pragma once

#include <string>
#include <vector>

namespace browser {

inline constexpr int kCellWidth = 100;
inline constexpr int kCellHeight = 90;

// The entries of the filter box, in order ("모든이미지형식" first).
const std::vector<std::string>& FilterNames();
inline constexpr const char* kAllFormats = "모든이미지형식";

// The extension after the last dot of a file name, in lower case ("" when
// there is none).
std::string LowerExtension(const std::string& name);
// Whether a file of this (lower-case) extension is listed under the filter:
// every extension the editor opens under "모든이미지형식"; "jpg" takes
// ".jpeg" too and "tif" ".tiff".
bool ExtensionPassesFilter(const std::string& ext, const std::string& filter);
// Extensions listed without a picture probe (documents of the program).
bool IsDocumentExtension(const std::string& ext);

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

// The rectangle of a W x H picture in a cell: scaled to fit the cell with
// its aspect kept (enlarged when smaller), centred on the axis that has room
// to spare; offsets and sizes truncated.
Rect FitIntoCell(int width, int height, int cellWidth = kCellWidth, int cellHeight = kCellHeight);

// The preview canvas in the preview window's client area: the free area is
// the client less 10 pixels left and right, from y = 27 to y = 300; without
// a picture (W or H 0) the canvas fills it, otherwise it keeps the
// picture's aspect and is centred in it.
Rect PreviewLayout(int clientWidth, int clientHeight, int pictureWidth, int pictureHeight);
// The information line: "%d ×%d  %s".
std::string PreviewInfoText(int width, int height, const std::string& name);

}  // namespace browser
