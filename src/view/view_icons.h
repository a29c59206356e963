// Pictures of tool-bar buttons and cursors from the Breeze icon theme
// (Debian's breeze-icon-theme, SVG drawn at any size); callers fall back to
// their own drawn pictures when an icon is missing.
#pragma once

#include <wx/bmpbndl.h>

namespace viewicons {

// The Breeze icon name of a command (empty when no icon fits it).
const char* IconName(int command);
// The icon of a command at the given size; an invalid bundle when the
// theme or the icon is not installed.
wxBitmapBundle ForCommand(int command, int size = 22);
wxBitmapBundle ByName(const char* name, int size = 22);

}  // namespace viewicons
