// The view's picture maths without the window system: the image rectangle,
// zoom steps and the composition of the visible part of the composite at
// the zoom factor over the backdrop hatch and the grey field.
#pragma once

#include <cstdint>
#include <vector>

namespace viewmath {

inline constexpr double kZoomMax = 16.0, kZoomMin = 0.0625, kZoomMenuMin = 0.125;

// Zoom in / out by one step; false (z unchanged) at the limits.
bool ZoomInStep(double& z);
bool ZoomOutStep(double& z);
// Zoom for a freshly opened picture in a main window of the given size.
double InitialZoom(int imageWidth, int imageHeight, int mainWidth, int mainHeight);

struct ImageRect {
    int left = 0, top = 0, right = -1, bottom = -1;
    int dx = 0, dy = 0;          // offset of the zoomed image (0 when larger)
    int zw = 0, zh = 0;          // zoomed size
    bool wider = false, taller = false;
};
ImageRect ComputeImageRect(int W, int H, double z, int clientW, int clientH);

struct Frame {
    // Destination: clientW x clientH pixels, 3 bytes (R, G, B) each, stride
    // bytes per row.
    uint8_t* rgb = nullptr;
    int stride = 0;
    int clientW = 0, clientH = 0;
};

struct Look {
    int hatch = 3;                   // 0-5: horizontal, vertical, \\\, ///, cross, diagonal cross
    int gridGap = -1;                // grid lines every gridGap image pixels when > 0
    uint32_t gridColour = 0;         // red in the low byte
};

// The part of the zoomed image that is visible: zoomed coordinates of its
// top-left corner, its size, and where it lands in the window.
struct Visible {
    int left = 0, top = 0, width = 0, height = 0;
    int destX = 0, destY = 0;
};
Visible VisiblePart(const ImageRect& r, int scrollX, int scrollY, int clientW, int clientH);

// Paints the whole frame: the grey field, then the visible part, given as
// BGRA rows from the compositor (colour already weighted by coverage, alpha
// the coverage), over the backdrop hatch, then the grid.
void Render(const uint8_t* bgra, const Visible& v, double z, const Look& look, Frame& out);

// The selection outline: a dashed line (black and white, dash phase
// `phase`) along the border between selected (1) and unselected mask bytes.
// The mask covers mw x mh layer pixels placed at canvas column selX, its
// rows stored bottom-up with offset selY in a canvas of height H.
struct MaskView {
    const uint8_t* mask = nullptr;
    int mw = 0, mh = 0, selX = 0, selY = 0, H = 0;
};
void DrawOutline(const MaskView& m, const Visible& v, double z, int phase, Frame& out);

}  // namespace viewmath
