#include "browser_model.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>

namespace browser {

const std::vector<std::string>& FilterNames() {
    static const std::vector<std::string> names = {kAllFormats, "jpg", "gif", "vor", "bmp", "tif"};
    return names;
}

std::string LowerExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.find('/', dot) != std::string::npos) return "";
    std::string ext = name.substr(dot + 1);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

bool IsDocumentExtension(const std::string& ext) { return ext == "vor"; }

bool ExtensionPassesFilter(const std::string& ext, const std::string& filter) {
    // What the editor's open command reads as pictures or documents.
    static const char* const kOpened[] = {"jpg", "jpeg", "bmp", "gif", "tif", "tiff", "pcx", "vor", "raw"};
    const bool opened = std::any_of(std::begin(kOpened), std::end(kOpened), [&](const char* e) { return ext == e; });
    if (!opened) return false;
    if (filter == kAllFormats) return true;
    if (filter == "jpg") return ext == "jpg" || ext == "jpeg";
    if (filter == "tif") return ext == "tif" || ext == "tiff";
    return ext == filter;
}

Rect FitIntoCell(int width, int height, int cellWidth, int cellHeight) {
    if (width <= 0 || height <= 0) return Rect{};
    const double sy = double(cellHeight) / height, sx = double(cellWidth) / width;
    Rect r;
    if (sy < sx) {
        r.width = int(width * sy);
        r.height = int(height * sy);
        r.x = int((cellWidth - width * sy) / 2);
    } else {
        r.width = int(width * sx);
        r.height = int(height * sx);
        r.y = int((cellHeight - height * sx) / 2);
    }
    return r;
}

Rect PreviewLayout(int clientWidth, int /*clientHeight*/, int pictureWidth, int pictureHeight) {
    const Rect area{10, 27, std::max(0, clientWidth - 20), 300 - 27};
    if (pictureWidth <= 0 || pictureHeight <= 0 || area.width <= 0) return area;
    Rect r = area;
    if (int64_t(pictureHeight) * area.width > int64_t(area.height) * pictureWidth) {
        r.width = int(int64_t(area.height) * pictureWidth / pictureHeight);
        r.x = area.x + (area.width - r.width) / 2;
    } else {
        r.height = int(int64_t(area.width) * pictureHeight / pictureWidth);
        r.y = area.y + (area.height - r.height) / 2;
    }
    return r;
}

std::string PreviewInfoText(int width, int height, const std::string& name) {
    char head[64];
    std::snprintf(head, sizeof head, "%d ×%d  ", width, height);
    return head + name;
}

}  // namespace browser
