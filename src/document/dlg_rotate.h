// The free-rotation panel (command 1415), headless: the number box and its
// clamps, the up-down steps of 0.1 with wrap, the same-angle rule, the
// preview rotation from the previous-state copy, "시작 이미지", "확인" and
// close, and the corner handles of the turned canvas.
#pragma once

#include <string>

#include "layer_ops.h"

class CVexoDoc;

namespace dlg {

inline constexpr const char* kRotateTextLayer = "[텍스트] 혹은 [말풍선] 레이어. 다른 레이어 선택 후 진행";

// The four corners (canvas coordinates, origin top-left) of the canvas
// rectangle turned by `degrees` about its centre: top-left, top-right,
// bottom-right, bottom-left of the unturned rectangle.
void TurnedCanvasCorners(int width, int height, double degrees, layerops::PointD corners[4]);

class RotationPanel {
public:
    // Command 1415: false when it already runs or there is no layer. Copies
    // the layer into the previous-state and preview copies, writes the
    // journal of every layer and centres the layer on the canvas.
    bool Open(CVexoDoc& doc);
    bool IsOpen() const { return doc_ != nullptr; }

    std::string boxText = "0";
    double lastAngle = 0;
    int sliderPos = 0;
    layerops::PointD corners[4] = {};

    // The number box changed: preview with the layer rotated.
    void SetText(const std::string& text);
    void SliderReleased(int pos);
    // Up-down: delta +1 subtracts 0.1, any other adds it; wraps at 0 / 360.
    void UpDown(int delta);
    void StartImage();      // 5645
    bool Ok();              // "확인": the step "이미지회전"
    void Close();           // close button, Esc

    // Preview: clamps the box to +-359, negative angles +360; the same angle
    // as last time does nothing. False when nothing was rotated.
    bool Preview(bool rotate);

private:
    bool RotateCurrent(double degrees);
    CVexoDoc* doc_ = nullptr;
};

// The cli's rotate:DEGREES (the panel with the number typed, then "확인").
bool RunRotateStep(CVexoDoc& doc, const std::string& args);

}  // namespace dlg
