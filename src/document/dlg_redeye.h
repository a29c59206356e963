// Red-eye removal (command 1476's panel), headless: the strength box 0..10
// with its up-down, the no-selection message, apply, "시작 이미지" and close.
#pragma once

#include <string>

class CVexoDoc;

namespace dlg {

inline constexpr const char* kRedEyeNoSelection = "눈동자 영역을 원형 선택하시오";

// The pupil rectangle in canvas pixels (origin top-left; right and bottom
// exclusive); left < 0 means no selection was finished.
struct PupilRect {
    int left = -1, top = -1, right = -1, bottom = -1;
};

// The document operation: the image-core removal on the current layer with
// s = strength * 0.1 inside the selection, then the step "적안 제거".
bool RemoveRedEye(CVexoDoc& doc, int strength, const PupilRect& rect);

struct RedEyePanel {
    std::string strengthText = "8";
    PupilRect rect;
    // Up-down: a delta of 0 or less steps up by 1, otherwise down; 0..10.
    void UpDown(int delta);
    // Apply (5635): the message without a rectangle; otherwise the box read
    // as a decimal number (not a number: 0), clamped, written back, removed.
    bool Apply(CVexoDoc& doc);
    void StartImage(CVexoDoc& doc);   // 5645: the layer from the previous-state copy
    void Close(CVexoDoc& doc);        // 2
};

// The cli's "L,T,R,B,N": an ellipse selection in the rectangle, then the
// removal with strength N. Throws std::invalid_argument.
bool RunRedEyeStep(CVexoDoc& doc, const std::string& args);

}  // namespace dlg
