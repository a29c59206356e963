// Photo frames (command 3392), headless: the frame drawn on its own layer
// "[ImgFrame]" along the canvas edges in one of four styles, redrawn from
// the layer's saved state on every change, kept as "사진틀 넣기" or removed.
#pragma once

#include <cstdint>
#include <string>

class CVexoDoc;

namespace dlg {

inline constexpr const char16_t* kFrameLayerName = u"[ImgFrame]";

struct FrameColour {
    uint8_t r = 0, g = 0, b = 0;
};

// Draws style 0..3 of thickness t on the layer `index` (canvas-sized rows of
// the given buffers), rows counted from the canvas top. Written pixels
// become opaque.
void DrawFrameStyle(CVexoDoc& doc, int index, uint8_t* pixels, uint8_t* alpha, int style, int thickness,
                    FrameColour c1, FrameColour c2);
// The frame of the current settings: the current layer from the previous-
// state copy, the frame layer found (made current) or inserted, the drawing.
bool ApplyPhotoFrame(CVexoDoc& doc, int style, int thickness, FrameColour c1, FrameColour c2);

struct PhotoFrameModel {
    int style = 0;
    int thickness = 30;
    FrameColour first{0, 0, 0}, second{255, 255, 255};

    // Command 3392: the tool switch, the previous-state and preview copies,
    // the first drawing.
    bool Open(CVexoDoc& doc);
    void SetStyle(int s);          // 5341..5344
    bool SetThickness(int t);      // the edit box: 1..300, false otherwise
    void Spin(int delta);          // delta <= 0 adds 1, otherwise subtracts; never below 5
    void SetFirstColour(FrameColour c);
    bool Ok();                     // "사진틀 넣기", type 2
    void Cancel();                 // deletes the frame layer

private:
    void Apply();
    CVexoDoc* doc_ = nullptr;
};

// "STYLE,THICKNESS,RRGGBB[,RRGGBB]" of the cli. Throws std::invalid_argument.
bool RunFrameStep(CVexoDoc& doc, const std::string& args);

}  // namespace dlg
