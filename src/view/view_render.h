// The view's picture maths without the window system: the image rectangle,
// zoom steps and the composition of the visible part of the composite at
// the zoom factor over the backdrop hatch and the grey field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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

// A window position to zoomed image coordinates: a point outside the image
// rectangle is first clamped into it (clamped = true), then the scroll
// position is added; the result lies inside the zoomed picture.
struct ZoomedPoint {
    int x = 0, y = 0;
    bool clamped = false;
};
ZoomedPoint ClientToZoomed(const ImageRect& r, int scrollX, int scrollY, int clientX, int clientY);

struct Frame {
    // Destination: clientW x clientH pixels, 4 bytes each (blue, green, red,
    // a fourth byte that is not shown: the layout of a 32-bit image surface
    // without alpha), stride bytes per row.
    uint8_t* px = nullptr;
    int stride = 0;
    int clientW = 0, clientH = 0;
    uint8_t* At(int x, int y) const { return px + ptrdiff_t(y) * stride + ptrdiff_t(x) * 4; }
};

struct Look {
    int hatch = 3;                   // 0-5: horizontal, vertical, \\\, ///, cross, diagonal cross
    int gridGap = -1;                // grid lines every gridGap image pixels when > 0
    uint32_t gridColour = 0;         // red in the low byte
    bool operator==(const Look&) const = default;
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

// The grey field: every pixel of the frame outside the visible part.
void FillField(const Visible& v, Frame& out);

// Columns [x0, x1) and rows [y0, y1) of the visible part (counted from its
// top-left corner) already hold the compositor's BGRA pixels in the frame:
// puts them over the backdrop hatch and draws the grid over them.
void Finish(const Visible& v, int x0, int y0, int x1, int y1, double z, const Look& look, Frame& out);

// Composites the zoomed rectangle (left, top, width, height) of the picture
// into dst (BGRA rows, stride bytes apart).
using CompositeFn = std::function<void(int left, int top, int width, int height, uint8_t* dst, ptrdiff_t stride)>;

// The paint of one view into frame memory that persists between paints.
// When nothing but the scroll position changed since the last paint into the
// same memory, the part still on screen is moved and only the uncovered
// strips are composited.
class FramePainter {
public:
    struct State {
        int W = 0, H = 0;            // picture size
        double z = 1.0;
        int scrollX = 0, scrollY = 0;
        Look look;
        bool operator==(const State&) const;
    };
    // `composite` may be empty (no picture: the field only). `changed`: the
    // picture itself changed since the last paint. Returns the visible part.
    Visible Paint(const State& s, Frame& out, const CompositeFn& composite, bool changed);
    // Composites again only the zoomed rectangle (left, top, width, height)
    // of the picture, clipped to what is visible, into the same memory as
    // the last paint; false (nothing done) when anything else changed since
    // then, so that a whole paint is needed.
    bool Repaint(const State& s, Frame& out, const CompositeFn& composite, int left, int top, int width, int height);
    // The visible part of the last paint.
    const Visible& LastVisible() const { return lastVisible_; }
    // The next paint composites everything.
    void Invalidate() { valid_ = false; }
    // Rows composited by the last paint (for tests and measurements).
    int LastCompositedPixels() const { return lastPixels_; }

private:
    void Strip(const Visible& v, int x0, int y0, int x1, int y1, double z, const Look& look, Frame& out,
               const CompositeFn& composite);
    State last_;
    Visible lastVisible_;
    uint8_t* lastPx_ = nullptr;
    int lastStride_ = 0, lastW_ = 0, lastH_ = 0;
    bool valid_ = false;
    int lastPixels_ = 0;
};

// The selection outline: a dashed line (black and white, dash phase
// `phase`) along the border between selected (1) and unselected mask bytes.
// The mask covers mw x mh layer pixels placed at canvas column selX, its
// rows stored bottom-up with offset selY in a canvas of height H.
struct MaskView {
    const uint8_t* mask = nullptr;
    int mw = 0, mh = 0, selX = 0, selY = 0, H = 0;
};
void DrawOutline(const MaskView& m, const Visible& v, double z, int phase, Frame& out);
// The same within the zoomed rectangle (left, top, width, height) only.
void DrawOutline(const MaskView& m, const Visible& v, double z, int phase, Frame& out, int left, int top, int width,
                 int height);

// A run of overlay pixels at zoomed (x, y), length pixels long, in one
// colour (red in the low byte), clipped to the visible part and to the
// zoomed rectangle clip (left, top, right, bottom exclusive).
struct Clip {
    int left, top, right, bottom;
};
void FillSpan(const Visible& v, Frame& out, int x, int y, int length, uint32_t rgb, const Clip& clip);

}  // namespace viewmath
