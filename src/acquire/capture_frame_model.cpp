#include "capture_frame_model.h"

#include <algorithm>

namespace acquire {

namespace {
bool Inside(const ScreenRect& r, int x, int y) { return x >= r.x && y >= r.y && x < r.x + r.width && y < r.y + r.height; }
}  // namespace

std::vector<ScreenRect> CaptureFrameShape(int w, int h) {
    return {
        {0, 0, w, kBandHeight},                                  // the band
        {w - kBorderWidth, 0, kBorderWidth + 14, h + 7},         // right border
        {0, h - kBorderWidth, w + 14, kBorderWidth + 14},        // bottom border
        {0, 0, kBorderWidth, h},                                 // left border
    };
}

ScreenRect PrintButtonRect() { return {10, 1, 32, 20}; }
ScreenRect CaptureButtonRect() { return {92, 1, 32, 20}; }
ScreenRect CloseButtonRect(int width) { return {width - 35, 4, 18, 17}; }

FramePart HitTest(int w, int h, int x, int y) {
    if (x < 0 || y < 0 || x >= w || y >= h) return FramePart::Hollow;
    if (Inside(PrintButtonRect(), x, y)) return FramePart::PrintButton;
    if (Inside(CaptureButtonRect(), x, y)) return FramePart::CaptureButton;
    if (Inside(CloseButtonRect(w), x, y)) return FramePart::CloseButton;
    if (y < kDragBandHeight) return FramePart::Band;
    const bool bottom = y >= h - kBorderWidth;
    const bool left = x < kBorderWidth, right = x >= w - kBorderWidth;
    if (bottom && left) return FramePart::BottomLeft;
    if (bottom && right) return FramePart::BottomRight;
    if (bottom) return FramePart::BottomBorder;
    if (y < kBandHeight) return FramePart::BandBelowDrag;
    if (left) return FramePart::LeftBorder;
    if (right) return FramePart::RightBorder;
    return FramePart::Hollow;
}

ScreenRect KeepOnScreen(const ScreenRect& f, int sw, int sh) {
    ScreenRect r = f;
    if (r.x + r.width > sw) r.x = sw - r.width;
    if (r.y + r.height > sh) r.y = sh - r.height;
    if (r.x < 0) r.x = 1;
    if (r.y < 0) r.y = 1;
    return r;
}

ScreenRect ResizeByBorder(const ScreenRect& s, FramePart part, int dx, int dy) {
    ScreenRect r = s;
    const bool left = part == FramePart::LeftBorder || part == FramePart::BottomLeft;
    const bool right = part == FramePart::RightBorder || part == FramePart::BottomRight;
    const bool bottom = part == FramePart::BottomBorder || part == FramePart::BottomLeft || part == FramePart::BottomRight;
    if (right) r.width = std::max(kMinFrameWidth, s.width + dx);
    if (left) {
        r.width = std::max(kMinFrameWidth, s.width - dx);
        r.x = s.x + s.width - r.width;
    }
    if (bottom) r.height = std::max(kMinFrameHeight, s.height + dy);
    return r;
}

}  // namespace acquire
