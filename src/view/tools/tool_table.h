// The tool identifiers with their string-table texts, selection kinds and
// cursors, and the factory that makes the tool objects.
#pragma once

#include <memory>
#include <vector>

#include "tool.h"

namespace tools {

enum class Family {
    Selection,   // refused on text and balloon layers
    Paint,       // refused on text and balloon layers
    Other,
};

struct ToolInfo {
    int id;
    const char* text;      // status-bar text, then after "\n" the tool tip; may be empty
    int selectionKind;     // 1 rectangle, 2 circle, 3 lasso, 4 wand, 5 polygon, 7 path; 0 none
    int cursor;            // while moving (Cursor)
    Family family;
    bool built;            // the tool works (others stay greyed until they do)
};

const std::vector<ToolInfo>& Table();
// Null for an identifier that is no tool.
const ToolInfo* Find(int id);
// A tool whose mouse work exists in this program.
bool IsBuilt(int id);
// The status-bar part of a tool's text (before "\n"), or "".
std::string StatusText(int id);

// A new tool object for the identifier; tools that have no behaviour (1348,
// 1351, and those not built yet) get one that does nothing.
std::unique_ptr<Tool> MakeTool(int id);

// Single keys of the image window that choose a tool; 0 for none.
int ToolForKey(char key);

// The four tools of the path panel (5615, 5616, 5620, 5621).
bool IsPathTool(int id);
// The free-transform tools (4250, 4251, 4252).
inline bool IsTransformTool(int id) { return id >= 4250 && id <= 4252; }

}  // namespace tools
