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

struct Source {
    const uint8_t* bgra = nullptr;   // composite: W x H x 4 (blue, green, red, alpha)
    int W = 0, H = 0;
    bool bottomUp = false;           // rows stored bottom-up
};

struct Look {
    int hatch = 3;                   // 0-5: horizontal, vertical, \\\, ///, cross, diagonal cross
    int gridGap = -1;                // grid lines every gridGap image pixels when > 0
    uint32_t gridColour = 0;         // red in the low byte
};

// Paints the whole frame: grey field, then the visible rectangle of the
// composite at zoom z, scrolled by (sx, sy), blended over the hatch.
// Reuses xmap between calls (column lookup).
void Render(const Source& src, double z, int sx, int sy, const Look& look, Frame& out, std::vector<int>& xmap);

}  // namespace viewmath
