// A top-level X window painted in known colours, for the capture tests:
//   x11_painter TITLE X Y W H [--hidden-state] [--override] [--stay]
// Quadrants of the window: top left red, top right green, bottom left blue,
// bottom right white; a one-pixel black frame. An empty TITLE sets no name.
// With --hidden-state the window says it is minimised (_NET_WM_STATE_HIDDEN).
// Prints "mapped" once the window is mapped and "ready" once it is painted
// (a window wholly off the screen is never painted); repaints on
// every expose and follows its size; ends on SIGTERM or when its stdin
// closes (with --stay only on SIGTERM).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
unsigned long Rgb(int r, int g, int b) { return (unsigned long)(r << 16 | g << 8 | b); }

void Paint(Display* d, Window w, GC gc, int width, int height) {
    const int hw = width / 2, hh = height / 2;
    XSetForeground(d, gc, Rgb(255, 0, 0));
    XFillRectangle(d, w, gc, 0, 0, unsigned(hw), unsigned(hh));
    XSetForeground(d, gc, Rgb(0, 255, 0));
    XFillRectangle(d, w, gc, hw, 0, unsigned(width - hw), unsigned(hh));
    XSetForeground(d, gc, Rgb(0, 0, 255));
    XFillRectangle(d, w, gc, 0, hh, unsigned(hw), unsigned(height - hh));
    XSetForeground(d, gc, Rgb(255, 255, 255));
    XFillRectangle(d, w, gc, hw, hh, unsigned(width - hw), unsigned(height - hh));
    XSetForeground(d, gc, Rgb(0, 0, 0));
    XDrawRectangle(d, w, gc, 0, 0, unsigned(width - 1), unsigned(height - 1));
    XFlush(d);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: x11_painter TITLE X Y W H [--hidden-state] [--override] [--stay]\n");
        return 2;
    }
    bool hiddenState = false, override = false, stay = false;
    for (int i = 6; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--hidden-state")) hiddenState = true;
        if (!std::strcmp(argv[i], "--override")) override = true;
        if (!std::strcmp(argv[i], "--stay")) stay = true;
    }
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "x11_painter: no display\n");
        return 1;
    }
    const int x = std::atoi(argv[2]), y = std::atoi(argv[3]);
    int width = std::atoi(argv[4]), height = std::atoi(argv[5]);
    XSetWindowAttributes a{};
    a.background_pixel = Rgb(128, 128, 128);
    a.override_redirect = override;
    a.event_mask = ExposureMask | StructureNotifyMask;
    Window w = XCreateWindow(d, DefaultRootWindow(d), x, y, unsigned(width), unsigned(height), 0, CopyFromParent,
                             InputOutput, CopyFromParent, CWBackPixel | CWOverrideRedirect | CWEventMask, &a);
    XSizeHints hints{};
    hints.flags = USPosition | USSize | PPosition | PSize;
    hints.x = x;
    hints.y = y;
    hints.width = width;
    hints.height = height;
    XSetWMNormalHints(d, w, &hints);
    const std::string title = argv[1];
    if (!title.empty()) {
        XStoreName(d, w, title.c_str());
        XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(title.c_str()), int(title.size()));
    }
    if (hiddenState) {
        Atom hidden = XInternAtom(d, "_NET_WM_STATE_HIDDEN", False);
        XChangeProperty(d, w, XInternAtom(d, "_NET_WM_STATE", False), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&hidden), 1);
    }
    GC gc = XCreateGC(d, w, 0, nullptr);
    XMapRaised(d, w);
    bool ready = false;
    for (;;) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == MapNotify) {
                std::printf("mapped\n");
                std::fflush(stdout);
            }
            if (e.type == ConfigureNotify) {
                width = e.xconfigure.width;
                height = e.xconfigure.height;
            }
            if (e.type == Expose && e.xexpose.count == 0) {
                Paint(d, w, gc, width, height);
                XSync(d, False);
                if (!ready) {
                    ready = true;
                    std::printf("ready\n");
                    std::fflush(stdout);
                }
            }
        }
        pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {0, POLLIN, 0}};
        if (poll(fds, stay ? 1 : 2, 1000) < 0) break;
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char buf[64];
            if (read(0, buf, sizeof buf) <= 0) break;
        }
    }
    XCloseDisplay(d);
    return 0;
}
