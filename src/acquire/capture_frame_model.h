// The geometry of the capture frame, without windows: the window's shape
// (a band of buttons on top, thin borders around a hollow middle that shows
// and takes the clicks of what lies beneath), the place of its buttons,
// what a press at a point does, and the move back onto the screen.
#pragma once

#include <vector>

#include "x11_screen.h"

namespace acquire {

// Control identifiers of the frame's buttons.
inline constexpr int kPrintAreaId = 5660, kCloseFrameId = 5661, kCaptureAreaId = 5663;

// Height of the band and width of the borders, in window pixels.
inline constexpr int kBandHeight = 32, kBorderWidth = 7, kDragBandHeight = 25;
// The frame's size when nothing is remembered, and its smallest size.
inline constexpr int kDefaultFrameWidth = 400, kDefaultFrameHeight = 300;
inline constexpr int kMinFrameWidth = 200, kMinFrameHeight = 80;

// The union of these rectangles is the window; the rest is hollow.
std::vector<ScreenRect> CaptureFrameShape(int width, int height);

// Buttons of the band, in window pixels (the frame has no title bar of the
// window manager, so its client area is the whole window).
ScreenRect PrintButtonRect();
ScreenRect CaptureButtonRect();
ScreenRect CloseButtonRect(int width);

enum class FramePart {
    Hollow,        // inside: not part of the window
    Band,          // the band outside its buttons: moves the frame (top 25 pixels)
    BandBelowDrag, // the rest of the band
    PrintButton,
    CaptureButton,
    CloseButton,
    LeftBorder,
    RightBorder,
    BottomBorder,
    BottomLeft,
    BottomRight,
};

FramePart HitTest(int width, int height, int x, int y);

// A negative left or top edge becomes 1; a frame past the right or bottom
// edge moves left or up so that it ends at the edge.
ScreenRect KeepOnScreen(const ScreenRect& frame, int screenWidth, int screenHeight);

// A new rectangle from a border drag by (dx, dy), kept at the smallest size.
ScreenRect ResizeByBorder(const ScreenRect& start, FramePart part, int dx, int dy);

}  // namespace acquire
