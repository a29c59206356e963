#include "x11_screen.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "VaZavi.h"

namespace acquire {

namespace {

// X errors while a request of ours may fail (a window that went away, a
// shared-memory segment the server cannot reach) are counted, not fatal.
int gXErrors = 0;
int CountError(Display*, XErrorEvent*) {
    ++gXErrors;
    return 0;
}

class ErrorTrap {
public:
    explicit ErrorTrap(Display* d) : d_(d) {
        XSync(d_, False);
        gXErrors = 0;
        old_ = XSetErrorHandler(CountError);
    }
    ~ErrorTrap() {
        XSync(d_, False);
        XSetErrorHandler(old_);
    }
    bool Failed() {
        XSync(d_, False);
        return gXErrors != 0;
    }

private:
    Display* d_;
    int (*old_)(Display*, XErrorEvent*) = nullptr;
};

// At most `n` characters (code points) of a UTF-8 text.
std::string CutCharacters(const std::string& s, size_t n) {
    size_t count = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (count == n) return s.substr(0, i);
            ++count;
        }
    }
    return s;
}

// Shift and width of a colour mask.
void MaskShape(unsigned long mask, int& shift, int& bits) {
    shift = 0;
    bits = 0;
    if (!mask) return;
    while (!(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    while (mask & 1) {
        mask >>= 1;
        ++bits;
    }
}

uint8_t Channel(unsigned long pixel, int shift, int bits) {
    if (bits <= 0) return 0;
    return ExpandBits(uint32_t((pixel >> shift) & ((1ul << bits) - 1)), bits);
}

// Rows of an XImage (top first) into the picture's rows (bottom-up).
void CopyImage(const XImage* img, VaZavi& out) {
    const int w = img->width, h = img->height;
    const bool direct = img->bits_per_pixel == 32 && img->byte_order == LSBFirst && img->red_mask == 0xff0000 &&
                        img->green_mask == 0xff00 && img->blue_mask == 0xff;
    int rs, rb, gs, gb, bs, bb;
    MaskShape(img->red_mask, rs, rb);
    MaskShape(img->green_mask, gs, gb);
    MaskShape(img->blue_mask, bs, bb);
    for (int y = 0; y < h; ++y) {
        uint8_t* d = out.Row(h - 1 - y);
        if (direct) {
            const uint8_t* s = reinterpret_cast<const uint8_t*>(img->data) + size_t(y) * size_t(img->bytes_per_line);
            for (int x = 0; x < w; ++x, s += 4, d += 3) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            }
        } else {
            XImage* im = const_cast<XImage*>(img);
            for (int x = 0; x < w; ++x, d += 3) {
                const unsigned long p = XGetPixel(im, x, y);
                d[0] = Channel(p, bs, bb);
                d[1] = Channel(p, gs, gb);
                d[2] = Channel(p, rs, rb);
            }
        }
    }
}

}  // namespace

ScreenRect ClipToScreen(const ScreenRect& r, int screenWidth, int screenHeight, int* offsetX, int* offsetY) {
    int left = r.x, top = r.y;
    int right = r.x + r.width, bottom = r.y + r.height;
    if (right > screenWidth) right = screenWidth;
    if (bottom > screenHeight) bottom = screenHeight;
    int ox = 0, oy = 0;
    if (left < 0) {
        ox = -left;
        left = 0;
    }
    if (top < 0) {
        oy = -top;
        top = 0;
    }
    if (offsetX) *offsetX = ox;
    if (offsetY) *offsetY = oy;
    ScreenRect out{left, top, right - left, bottom - top};
    if (out.Empty()) out.width = out.height = 0;
    return out;
}

XScreen::~XScreen() {
    if (display_) XCloseDisplay(display_);
}

bool XScreen::Open(const char* name) {
    if (display_) return true;
    const char* target = name ? name : std::getenv("DISPLAY");
    if (!target || !*target) return false;
    display_ = XOpenDisplay(target);
    if (!display_) return false;
    root_ = DefaultRootWindow(display_);
    width_ = DisplayWidth(display_, DefaultScreen(display_));
    height_ = DisplayHeight(display_, DefaultScreen(display_));
    return true;
}

std::string XScreen::Title(unsigned long window) {
    if (!display_) return "";
    Display* d = display_;
    ErrorTrap trap(d);
    std::string title;
    const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, window, netName, 0, 1024, False, utf8, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        if (type == utf8 && format == 8) title.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    if (title.empty()) {
        XTextProperty prop{};
        if (XGetWMName(d, window, &prop) && prop.value) {
            char** list = nullptr;
            int n = 0;
            if (Xutf8TextPropertyToTextList(d, &prop, &list, &n) >= Success && list) {
                if (n > 0 && list[0]) title = list[0];
                XFreeStringList(list);
            } else if (prop.format == 8) {
                title.assign(reinterpret_cast<char*>(prop.value), prop.nitems);
            }
            XFree(prop.value);
        }
    }
    if (trap.Failed()) return "";
    return CutCharacters(title, 100);
}

bool XScreen::Viewable(unsigned long window, int* width, int* height) {
    XWindowAttributes a{};
    ErrorTrap trap(display_);
    if (!XGetWindowAttributes(display_, window, &a) || trap.Failed()) return false;
    if (width) *width = a.width;
    if (height) *height = a.height;
    return a.map_state == IsViewable;
}

bool XScreen::Minimised(unsigned long window) {
    Display* d = display_;
    ErrorTrap trap(d);
    bool hidden = false;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom netState = XInternAtom(d, "_NET_WM_STATE", False);
    const Atom hiddenAtom = XInternAtom(d, "_NET_WM_STATE_HIDDEN", False);
    if (XGetWindowProperty(d, window, netState, 0, 64, False, XA_ATOM, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        if (type == XA_ATOM && format == 32) {
            const Atom* atoms = reinterpret_cast<const Atom*>(data);
            for (unsigned long i = 0; i < count; ++i)
                if (atoms[i] == hiddenAtom) hidden = true;
        }
        XFree(data);
    }
    const Atom wmState = XInternAtom(d, "WM_STATE", False);
    data = nullptr;
    if (XGetWindowProperty(d, window, wmState, 0, 2, False, wmState, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        if (type == wmState && format == 32 && count >= 1 && reinterpret_cast<const long*>(data)[0] == IconicState)
            hidden = true;
        XFree(data);
    }
    return hidden && !trap.Failed();
}

unsigned long XScreen::ClientOf(unsigned long window, int depth) {
    // The client inside a window manager's frame carries WM_STATE.
    Display* d = display_;
    const Atom wmState = XInternAtom(d, "WM_STATE", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, window, wmState, 0, 0, False, AnyPropertyType, &type, &format, &count, &after, &data) ==
        Success) {
        if (data) XFree(data);
        if (type != None) return window;
    }
    if (depth <= 0) return 0;
    Window rootReturn = 0, parent = 0, *children = nullptr;
    unsigned int n = 0;
    unsigned long found = 0;
    if (XQueryTree(d, window, &rootReturn, &parent, &children, &n)) {
        for (unsigned int i = 0; i < n && !found; ++i) found = ClientOf(children[i], depth - 1);
        if (children) XFree(children);
    }
    return found;
}

std::vector<WindowEntry> XScreen::ListWindows(size_t max) {
    std::vector<WindowEntry> out;
    if (!display_) return out;
    Display* d = display_;
    std::vector<unsigned long> candidates;
    {
        ErrorTrap trap(d);
        const Atom clientList = XInternAtom(d, "_NET_CLIENT_LIST", False);
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, root_, clientList, 0, 4096, False, XA_WINDOW, &type, &format, &count, &after,
                               &data) == Success &&
            data) {
            if (type == XA_WINDOW && format == 32) {
                const Window* w = reinterpret_cast<const Window*>(data);
                candidates.assign(w, w + count);
            }
            XFree(data);
        }
        if (candidates.empty()) {
            // No client list: the root's children, or the clients in them.
            Window rootReturn = 0, parent = 0, *children = nullptr;
            unsigned int n = 0;
            if (XQueryTree(d, root_, &rootReturn, &parent, &children, &n)) {
                for (unsigned int i = 0; i < n; ++i) {
                    unsigned long c = ClientOf(children[i], 3);
                    candidates.push_back(c ? c : children[i]);
                }
                if (children) XFree(children);
            }
        }
    }
    for (unsigned long w : candidates) {
        if (out.size() >= max) break;
        int cw = 0, ch = 0;
        if (!Viewable(w, &cw, &ch) || cw <= 4 || ch <= 4) continue;
        if (Minimised(w)) continue;
        std::string title = Title(w);
        if (title.empty()) continue;
        out.push_back({w, std::move(title)});
    }
    return out;
}

unsigned long XScreen::FrameOf(unsigned long window) {
    Display* d = display_;
    unsigned long w = window;
    for (int guard = 0; guard < 64 && w != root_; ++guard) {
        Window rootReturn = 0, parent = 0, *children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(d, w, &rootReturn, &parent, &children, &n)) return 0;
        if (children) XFree(children);
        if (parent == root_ || parent == 0) return w;
        w = parent;
    }
    return w;
}

bool XScreen::WindowRect(unsigned long window, ScreenRect& out) {
    if (!display_) return false;
    if (window == root_) {
        out = {0, 0, width_, height_};
        return true;
    }
    ErrorTrap trap(display_);
    const unsigned long frame = FrameOf(window);
    XWindowAttributes a{};
    if (!frame || !XGetWindowAttributes(display_, frame, &a) || trap.Failed()) return false;
    int x = 0, y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display_, frame, root_, 0, 0, &x, &y, &child) || trap.Failed()) return false;
    // The border lies outside the window's origin.
    out = {x - a.border_width, y - a.border_width, a.width + 2 * a.border_width, a.height + 2 * a.border_width};
    return true;
}

void XScreen::Raise(unsigned long window) {
    if (!display_ || window == root_) return;
    Display* d = display_;
    ErrorTrap trap(d);
    // Asked of the window manager (as a pager would) and of the server.
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2;
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    if (unsigned long frame = FrameOf(window)) XRaiseWindow(d, frame);
    XSync(d, False);
}

std::unique_ptr<VaZavi> XScreen::ReadArea(const ScreenRect& wanted, std::string& error) {
    if (!display_) {
        error = kNeedsXDisplay;
        return nullptr;
    }
    const ScreenRect area = ClipToScreen(wanted, width_, height_);
    if (area.Empty()) {
        error = "the area lies outside the screen";
        return nullptr;
    }
    auto out = std::make_unique<VaZavi>(kTypeBMP);
    if (!out->CreateUnfilled(24, area.width, area.height, kTypeBMP)) {
        error = out->LastError()[0] ? out->LastError() : "can't allocate memory";
        return nullptr;
    }
    Display* d = display_;
    const int screen = DefaultScreen(d);
    Visual* visual = DefaultVisual(d, screen);
    const int depth = DefaultDepth(d, screen);
    if (shmState_ < 0) shmState_ = XShmQueryExtension(d) ? 1 : 0;
    if (shmState_ == 1) {
        // Shared memory: the server writes the pixels straight into ours.
        XShmSegmentInfo shm{};
        XImage* img = XShmCreateImage(d, visual, unsigned(depth), ZPixmap, nullptr, &shm, unsigned(area.width),
                                      unsigned(area.height));
        bool done = false;
        if (img) {
            shm.shmid = shmget(IPC_PRIVATE, size_t(img->bytes_per_line) * size_t(img->height), IPC_CREAT | 0600);
            if (shm.shmid >= 0) {
                shm.shmaddr = img->data = static_cast<char*>(shmat(shm.shmid, nullptr, 0));
                if (shm.shmaddr != reinterpret_cast<char*>(-1)) {
                    shm.readOnly = False;
                    ErrorTrap trap(d);
                    const bool attached = XShmAttach(d, &shm) && !trap.Failed();
                    shmctl(shm.shmid, IPC_RMID, nullptr);   // gone once both sides let go
                    if (attached) {
                        done = XShmGetImage(d, root_, img, area.x, area.y, AllPlanes) && !trap.Failed();
                        if (done) CopyImage(img, *out);
                        XShmDetach(d, &shm);
                        XSync(d, False);
                    } else {
                        shmState_ = 0;   // a server that cannot reach our memory (remote)
                    }
                    shmdt(shm.shmaddr);
                } else {
                    shmctl(shm.shmid, IPC_RMID, nullptr);
                }
            }
            img->data = nullptr;
            XDestroyImage(img);
        }
        if (done) return out;
    }
    ErrorTrap trap(d);
    XImage* img = XGetImage(d, root_, area.x, area.y, unsigned(area.width), unsigned(area.height), AllPlanes, ZPixmap);
    if (!img || trap.Failed()) {
        if (img) XDestroyImage(img);
        error = "the screen could not be read";
        return nullptr;
    }
    CopyImage(img, *out);
    XDestroyImage(img);
    return out;
}

std::unique_ptr<VaZavi> XScreen::CaptureWindow(unsigned long window, bool raise, int settleMs, std::string& error) {
    if (!display_) {
        error = kNeedsXDisplay;
        return nullptr;
    }
    ScreenRect r;
    if (!WindowRect(window, r)) {
        error = "the window no longer exists";
        return nullptr;
    }
    const ScreenRect visible = ClipToScreen(r, width_, height_);
    if (visible.Empty()) {
        error = "the window lies outside the screen";
        return nullptr;
    }
    if (raise && window != root_) {
        Raise(window);
        if (settleMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
    }
    return ReadArea(visible, error);
}

}  // namespace acquire
