#include "view_cursors.h"

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/image.h>

#include <map>

#include "tool.h"
#include "view_icons.h"

namespace viewcursors {

namespace {

// A cursor from a Breeze icon with its hot spot, or the system's cursor.
wxCursor FromIcon(const char* name, int hotX, int hotY, wxStockCursor fallback) {
    wxBitmapBundle b = viewicons::ByName(name, 24);
    if (!b.IsOk()) return wxCursor(fallback);
    wxImage image = b.GetBitmap(wxSize(24, 24)).ConvertToImage();
    if (!image.IsOk()) return wxCursor(fallback);
    image.SetOption(wxIMAGE_OPTION_CUR_HOTSPOT_X, hotX);
    image.SetOption(wxIMAGE_OPTION_CUR_HOTSPOT_Y, hotY);
    return wxCursor(image);
}

// The program's dot cursor (1110): a small ring around the hot spot.
wxCursor DotCursor() {
    wxImage image(16, 16);
    image.InitAlpha();
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int dx = x - 7, dy = y - 7, d2 = dx * dx + dy * dy;
            const bool ring = d2 >= 9 && d2 <= 20, centre = d2 == 0;
            image.SetRGB(x, y, ring ? 0 : 255, ring ? 0 : 255, ring ? 0 : 255);
            image.SetAlpha(x, y, ring || centre ? 255 : 0);
        }
    image.SetOption(wxIMAGE_OPTION_CUR_HOTSPOT_X, 7);
    image.SetOption(wxIMAGE_OPTION_CUR_HOTSPOT_Y, 7);
    return wxCursor(image);
}

wxCursor Make(int c, int configured) {
    switch (c) {
    case tools::kCursorDefault:
        switch (configured) {
        case 1: return wxCursor(wxCURSOR_ARROW);
        case 2: return wxCursor(wxCURSOR_POINT_LEFT);
        case 3: return DotCursor();
        case 4: return wxCursor(wxCURSOR_IBEAM);
        default: return wxCursor(wxCURSOR_CROSS);
        }
    case tools::kCursorCross: return wxCursor(wxCURSOR_CROSS);
    case tools::kCursorWait: return wxCursor(wxCURSOR_WAIT);
    case tools::kCursorDot: return DotCursor();
    case tools::kCursorHand: return wxCursor(wxCURSOR_HAND);
    case tools::kCursorMove: return wxCursor(wxCURSOR_SIZING);
    case tools::kCursorPicker: return FromIcon("color-picker", 2, 21, wxCURSOR_CROSS);
    case tools::kCursorBrush: return FromIcon("draw-brush", 2, 21, wxCURSOR_PENCIL);
    case tools::kCursorZoom: return wxCursor(wxCURSOR_MAGNIFIER);
    case tools::kCursorEraser: return FromIcon("draw-eraser", 4, 20, wxCURSOR_CROSS);
    case tools::kCursorTransform: return wxCursor(wxCURSOR_SIZING);
    case tools::kCursorBalloon: return FromIcon("draw-text", 2, 2, wxCURSOR_IBEAM);
    case tools::kCursorText: return wxCursor(wxCURSOR_IBEAM);
    default: return wxCursor(wxCURSOR_ARROW);
    }
}

}  // namespace

const wxCursor& ForTool(int cursor, int configured) {
    static std::map<std::pair<int, int>, wxCursor> made;
    const auto key = std::make_pair(cursor, cursor == tools::kCursorDefault ? configured : 0);
    auto it = made.find(key);
    if (it == made.end()) it = made.emplace(key, Make(cursor, configured)).first;
    return it->second;
}

}  // namespace viewcursors
