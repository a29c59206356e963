// The screen as the X server shows it: the list of top-level windows that a
// window capture offers, their rectangles, and pictures of any part of the
// screen (through MIT-SHM where the server offers it). Xlib only, no
// toolkit: the command line uses it as the editor does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class VaZavi;
struct _XDisplay;

namespace acquire {

// The message of the capture commands where there is no X display (a
// Wayland session without XWayland, a console).
inline constexpr const char* kNeedsXDisplay = "화면 캡쳐에는 X 디스플레이가 필요합니다.";

struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool Empty() const { return width <= 0 || height <= 0; }
};

struct WindowEntry {
    unsigned long window = 0;   // X window id (the root for the desktop)
    std::string title;          // at most 100 characters
};

// Cuts a rectangle to a screen of the given size: a right or bottom edge
// beyond the screen is moved to it, a negative left or top edge to 0, the
// amount cut there being the offset into the window (offsetX, offsetY).
// Empty when nothing is left.
ScreenRect ClipToScreen(const ScreenRect& r, int screenWidth, int screenHeight, int* offsetX = nullptr,
                        int* offsetY = nullptr);

class XScreen {
public:
    XScreen() = default;
    ~XScreen();
    XScreen(const XScreen&) = delete;
    XScreen& operator=(const XScreen&) = delete;

    // Connects to `display` (null: $DISPLAY); false when there is no X
    // display to reach.
    bool Open(const char* display = nullptr);
    bool IsOpen() const { return display_ != nullptr; }

    int Width() const { return width_; }
    int Height() const { return height_; }
    unsigned long Root() const { return root_; }

    // The top-level windows a capture offers, in the window manager's order
    // (its client list, else the root's children bottom to top): visible,
    // not minimised, larger than 4 x 4 pixels, with a title; at most `max`.
    std::vector<WindowEntry> ListWindows(size_t max = 254);
    // The window's title ("" when it has none).
    std::string Title(unsigned long window);
    // The window's rectangle on the screen, its frame included (the
    // window manager's frame around it, where it has one). The root gives
    // the screen.
    bool WindowRect(unsigned long window, ScreenRect& out);
    // Brings the window (its frame) to the top.
    void Raise(unsigned long window);
    // The screen's pixels in the rectangle (inside the screen) as a 24-bit
    // picture; null with `error` filled when they cannot be read.
    std::unique_ptr<VaZavi> ReadArea(const ScreenRect& area, std::string& error);

    // Window capture: the window's rectangle cut to the screen, read from
    // the screen after the window was raised (raise: wait `settleMs` for it
    // to repaint). Null when the window lies wholly off the screen.
    std::unique_ptr<VaZavi> CaptureWindow(unsigned long window, bool raise, int settleMs, std::string& error);

    _XDisplay* Connection() const { return display_; }

private:
    unsigned long ClientOf(unsigned long window, int depth);
    unsigned long FrameOf(unsigned long window);
    bool Viewable(unsigned long window, int* width, int* height);
    bool Minimised(unsigned long window);

    _XDisplay* display_ = nullptr;
    unsigned long root_ = 0;
    int width_ = 0, height_ = 0;
    int shmState_ = -1;   // -1 not tried, 0 unavailable, 1 usable
};

}  // namespace acquire
