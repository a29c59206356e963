#include "view_icons.h"

#include <wx/filename.h>

#include <string>

namespace viewicons {

const char* IconName(int command) {
    switch (command) {
    case 57600: return "document-new";
    case 57601: return "document-open";
    case 57603: return "document-save";
    case 4870: return "edit-undo";
    case 4871: return "edit-redo";
    case 57635: return "edit-cut";
    case 57634: return "edit-copy";
    case 57637: return "edit-paste";
    case 1420: return "zoom-in";
    case 1421: return "zoom-out";
    case 1422: return "zoom-original";
    case 1570: return "transform-move";
    case 1342: return "select-rectangular";
    case 4812: return "tool_elliptical_selection";
    case 1343: return "edit-select-lasso";
    case 1345: return "draw-polygon";
    case 3327: case 3344: return "color-picker";
    case 1346: return "tool_spraycan";
    case 1347: return "draw-brush";
    case 4669: return "edit-clear-history";
    case 1352: return "color-fill";
    case 1353: return "color-gradient";
    case 1354: return "draw-watercolor";
    case 1355: return "draw-eraser";
    case 1356: return "draw-line";
    case 1357: return "draw-polyline";
    case 1380: return "draw-circle";
    case 3340: return "tool-tweak";
    case 2096: return "color-picker";
    case 1382: return "draw-text";
    case 4828: return "callout-shape";
    case 4829: return "edit-comment";
    case 5615: return "draw-path";
    case 5616: return "edit-node";
    case 5620: return "format-insert-node";
    case 5621: return "format-remove-node";
    case 4250: return "transform-scale";
    case 4251: return "shear";
    case 4252: return "perspective";
    default: return "";
    }
}

wxBitmapBundle ByName(const char* name, int size) {
    if (!name || !*name) return wxBitmapBundle();
    // The theme's folders by size; SVG scales, so the nearest one will do.
    for (const char* dir : {"22", "24", "32", "16"}) {
        const std::string path = std::string("/usr/share/icons/breeze/actions/") + dir + "/" + name + ".svg";
        if (wxFileName::FileExists(path)) return wxBitmapBundle::FromSVGFile(path, wxSize(size, size));
    }
    return wxBitmapBundle();
}

wxBitmapBundle ForCommand(int command, int size) { return ByName(IconName(command), size); }

}  // namespace viewicons
