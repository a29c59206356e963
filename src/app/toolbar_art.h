// The tool bar's commands and their pictures, drawn by the program.
#pragma once

#include <wx/bitmap.h>

#include <vector>

namespace toolart {
struct Tool {
    int id;            // 0: separator
    const char* tip;
};
const std::vector<Tool>& Tools();
wxBitmap Draw(int id);
}  // namespace toolart
