// Undo steps: the record kept in memory for each of the 20 steps.
#pragma once

#include <cstdint>
#include <string>

struct UndoStep {
    std::u16string label;
    uint8_t type = 0;
    uint8_t layer = 0;
};
