// The cursors of the tools (tools::Cursor) as window-system cursors.
#pragma once

#include <wx/cursor.h>

namespace viewcursors {

// `cursor` is a tools::Cursor value; `configured` the configuration's
// default cursor (Cur: 1 arrow, 2 up-arrow, 3 the program's dot cursor,
// 4 text beam, other cross-hair), used for kCursorDefault.
const wxCursor& ForTool(int cursor, int configured);

}  // namespace viewcursors
