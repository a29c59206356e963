// Screen capture on an X server of the test's own (Xvfb, black root, no
// window manager): the window list and its filters, window, desktop and
// area pictures, the command line, and the capture frame's geometry.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "VaZavi.h"
#include "capture_frame_model.h"
#include "test_support.h"
#include "x11_screen.h"

using namespace testsupport;
using acquire::ScreenRect;

namespace {

// A process of ours with its stdin and stdout on pipes.
struct Child {
    pid_t pid = -1;
    int in = -1, out = -1;
    ~Child() {
        if (in >= 0) close(in);
        if (out >= 0) close(out);
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    std::string ReadLine() {
        std::string line;
        char c;
        while (read(out, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }
};

std::unique_ptr<Child> Spawn(const std::vector<std::string>& argv) {
    int toChild[2], fromChild[2];
    if (pipe(toChild) || pipe(fromChild)) return nullptr;
    auto c = std::make_unique<Child>();
    c->pid = fork();
    if (c->pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        close(toChild[1]);
        close(fromChild[0]);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    c->in = toChild[1];
    c->out = fromChild[0];
    return c;
}

// Xvfb on a free display it picks itself; DISPLAY names it while it runs.
class XServer {
public:
    XServer() {
        server_ = Spawn({"Xvfb", "-displayfd", "1", "-screen", "0", "640x480x24", "-br", "-nolisten", "tcp", "-noreset"});
        if (server_) display_ = ":" + server_->ReadLine();
        if (display_ != ":") setenv("DISPLAY", display_.c_str(), 1);
    }
    ~XServer() { unsetenv("DISPLAY"); }
    bool Up() const { return display_.size() > 1; }
    const std::string& Name() const { return display_; }

private:
    std::unique_ptr<Child> server_;
    std::string display_;
};

// Returns once the window is mapped and, unless it lies off the screen,
// painted.
std::unique_ptr<Child> Painter(const std::string& title, int x, int y, int w, int h, const char* flag = nullptr,
                               bool onScreen = true) {
    std::vector<std::string> argv = {X11_PAINTER, title, std::to_string(x), std::to_string(y), std::to_string(w),
                                     std::to_string(h)};
    if (flag) argv.push_back(flag);
    auto c = Spawn(argv);
    if (c) {
        EXPECT_EQ(c->ReadLine(), "mapped") << title;
        if (onScreen) {
            EXPECT_EQ(c->ReadLine(), "ready") << title;
        }
    }
    return c;
}

bool Listed(const std::vector<acquire::WindowEntry>& list, const std::string& title) {
    for (const auto& e : list)
        if (e.title == title) return true;
    return false;
}

// The painter's colours (top-left quadrant red, top-right green,
// bottom-left blue, bottom-right white) at window pixel (x, y).
uint32_t Painted(int x, int y, int w, int h) {
    if (x == 0 || y == 0 || x == w - 1 || y == h - 1) return PackBGR(0, 0, 0);
    if (y < h / 2) return x < w / 2 ? PackBGR(0, 0, 255) : PackBGR(0, 255, 0);
    return x < w / 2 ? PackBGR(255, 0, 0) : PackBGR(255, 255, 255);
}

// Picture pixel, top row first.
uint32_t At(const VaZavi& p, int x, int y) { return p.GetPixelColor(x, p.Height() - 1 - y) & 0xFFFFFF; }

struct Result {
    int status;
    std::string out, err;
};
Result Cli(const TempDir& dir, const std::string& args) {
    Result r;
    r.status = Run(std::string(PIMLORA_CLI) + " " + args + " 2>" + dir.File("err.txt"), &r.out);
    auto e = ReadBytes(dir.File("err.txt"));
    r.err.assign(e.begin(), e.end());
    return r;
}

}  // namespace

TEST(Capture, WindowListOffersVisibleTitledWindows) {
    XServer x;
    ASSERT_TRUE(x.Up());
    auto known = Painter("Known Window", 40, 30, 300, 200);
    auto untitled = Painter("", 400, 30, 100, 100);
    auto tiny = Painter("Tiny Window", 400, 200, 4, 4);
    auto minimised = Painter("Minimised Window", 400, 300, 100, 100, "--hidden-state");
    auto wide = Painter("Wide Window", 500, 300, 5, 5);
    acquire::XScreen screen;
    ASSERT_TRUE(screen.Open());
    EXPECT_EQ(screen.Width(), 640);
    EXPECT_EQ(screen.Height(), 480);
    // No window manager here: the root's children, bottom to top.
    auto list = screen.ListWindows();
    EXPECT_TRUE(Listed(list, "Known Window"));
    EXPECT_TRUE(Listed(list, "Wide Window"));   // 5 x 5 is more than 4 x 4
    EXPECT_FALSE(Listed(list, "Tiny Window"));
    EXPECT_FALSE(Listed(list, "Minimised Window"));
    for (const auto& e : list) EXPECT_FALSE(e.title.empty());
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(screen.ListWindows(1).size(), 1u);

    // A window manager's client list decides the order; an unmapped window
    // in it is left out.
    Display* d = XOpenDisplay(nullptr);
    ASSERT_TRUE(d);
    Window hidden = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 50, 50, 0, 0, 0);
    XStoreName(d, hidden, "Unmapped Window");
    Window order[3] = {Window(list[1].window), hidden, Window(list[0].window)};
    XChangeProperty(d, DefaultRootWindow(d), XInternAtom(d, "_NET_CLIENT_LIST", False), XA_WINDOW, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(order), 3);
    XSync(d, False);
    auto managed = screen.ListWindows();
    ASSERT_EQ(managed.size(), 2u);
    EXPECT_EQ(managed[0].title, list[1].title);
    EXPECT_EQ(managed[1].title, list[0].title);
    XDestroyWindow(d, hidden);
    XCloseDisplay(d);

    // Titles are cut at 100 characters.
    const std::string longTitle(130, 'x');
    auto longOne = Painter(longTitle, 10, 400, 50, 50);
    acquire::XScreen again;
    ASSERT_TRUE(again.Open());
    bool found = false;
    for (const auto& e : again.ListWindows())
        if (e.title == std::string(100, 'x')) found = true;
    EXPECT_TRUE(found);
}

TEST(Capture, WindowDesktopAndAreaPictures) {
    XServer x;
    ASSERT_TRUE(x.Up());
    auto known = Painter("Known Window", 40, 30, 300, 200);
    acquire::XScreen screen;
    ASSERT_TRUE(screen.Open());
    unsigned long id = 0;
    for (const auto& e : screen.ListWindows())
        if (e.title == "Known Window") id = e.window;
    ASSERT_NE(id, 0u);
    ScreenRect r;
    ASSERT_TRUE(screen.WindowRect(id, r));
    EXPECT_EQ(r.x, 40);
    EXPECT_EQ(r.y, 30);
    EXPECT_EQ(r.width, 300);
    EXPECT_EQ(r.height, 200);

    // The window: exactly its pixels.
    std::string error;
    auto win = screen.CaptureWindow(id, true, 0, error);
    ASSERT_TRUE(win) << error;
    ASSERT_EQ(win->Width(), 300);
    ASSERT_EQ(win->Height(), 200);
    EXPECT_EQ(win->BitCount(), 24);
    size_t wrong = 0;
    for (int y = 0; y < 200; ++y)
        for (int xx = 0; xx < 300; ++xx) wrong += At(*win, xx, y) != Painted(xx, y, 300, 200);
    EXPECT_EQ(wrong, 0u);

    // The desktop: the whole screen, the window at its place on black.
    auto desk = screen.CaptureWindow(screen.Root(), false, 0, error);
    ASSERT_TRUE(desk) << error;
    EXPECT_EQ(desk->Width(), 640);
    EXPECT_EQ(desk->Height(), 480);
    EXPECT_EQ(At(*desk, 10, 10), 0u);
    EXPECT_EQ(At(*desk, 40 + 10, 30 + 10), PackBGR(0, 0, 255));
    EXPECT_EQ(At(*desk, 40 + 299, 30 + 199), 0u);   // the window's frame line
    EXPECT_EQ(At(*desk, 40 + 298, 30 + 198), PackBGR(255, 255, 255));

    // An area across the window's top-left corner: exactly what is there.
    auto area = screen.ReadArea({30, 20, 30, 25}, error);
    ASSERT_TRUE(area) << error;
    ASSERT_EQ(area->Width(), 30);
    ASSERT_EQ(area->Height(), 25);
    for (int y = 0; y < 25; ++y)
        for (int xx = 0; xx < 30; ++xx) {
            const int sx = 30 + xx, sy = 20 + y;
            const bool inside = sx >= 40 && sx < 340 && sy >= 30 && sy < 230;
            EXPECT_EQ(At(*area, xx, y), inside ? Painted(sx - 40, sy - 30, 300, 200) : 0u) << xx << "," << y;
        }
    // An area past the screen's edge keeps the part on the screen; one off
    // the screen gives nothing.
    auto edge = screen.ReadArea({600, 460, 100, 100}, error);
    ASSERT_TRUE(edge);
    EXPECT_EQ(edge->Width(), 40);
    EXPECT_EQ(edge->Height(), 20);
    EXPECT_EQ(screen.ReadArea({700, 0, 10, 10}, error), nullptr);
    EXPECT_FALSE(error.empty());
}

TEST(Capture, WindowPartlyOffTheScreen) {
    XServer x;
    ASSERT_TRUE(x.Up());
    // Half past the left edge: the visible part, 150 pixels wide, is the
    // window's right half (green over white).
    auto left = Painter("Left Window", -150, 100, 300, 200);
    auto gone = Painter("Gone Window", 700, 100, 50, 50, nullptr, false);
    acquire::XScreen screen;
    ASSERT_TRUE(screen.Open());
    unsigned long leftId = 0, goneId = 0;
    for (const auto& e : screen.ListWindows()) {
        if (e.title == "Left Window") leftId = e.window;
        if (e.title == "Gone Window") goneId = e.window;
    }
    ASSERT_NE(leftId, 0u);
    std::string error;
    auto pic = screen.CaptureWindow(leftId, true, 0, error);
    ASSERT_TRUE(pic) << error;
    EXPECT_EQ(pic->Width(), 150);
    EXPECT_EQ(pic->Height(), 200);
    EXPECT_EQ(At(*pic, 5, 10), PackBGR(0, 255, 0));
    EXPECT_EQ(At(*pic, 5, 150), PackBGR(255, 255, 255));
    // A window wholly off the screen gives no picture.
    ASSERT_NE(goneId, 0u);
    EXPECT_EQ(screen.CaptureWindow(goneId, true, 0, error), nullptr);
    int ox = 0, oy = 0;
    const ScreenRect cut = acquire::ClipToScreen({-150, -20, 300, 200}, 640, 480, &ox, &oy);
    EXPECT_EQ(cut.x, 0);
    EXPECT_EQ(cut.width, 150);
    EXPECT_EQ(cut.height, 180);
    EXPECT_EQ(ox, 150);
    EXPECT_EQ(oy, 20);
    EXPECT_TRUE(acquire::ClipToScreen({640, 0, 10, 10}, 640, 480).Empty());
}

TEST(Capture, CommandLine) {
    XServer x;
    ASSERT_TRUE(x.Up());
    auto known = Painter("Known Window", 40, 30, 300, 200);
    TempDir dir;
    setenv("PIMLORA_HOME", dir.File("home").c_str(), 1);
    Result r = Cli(dir, "capture " + dir.File("desk.bmp"));
    ASSERT_EQ(r.status, 0) << r.err;
    VaZavi desk(kTypeBMP);
    ASSERT_TRUE(desk.Load(dir.File("desk.bmp").c_str(), kTypeBMP));
    EXPECT_EQ(desk.Width(), 640);
    EXPECT_EQ(desk.Height(), 480);
    r = Cli(dir, "capture " + dir.File("win.bmp") + " --window 'Known Window'");
    ASSERT_EQ(r.status, 0) << r.err;
    VaZavi win(kTypeBMP);
    ASSERT_TRUE(win.Load(dir.File("win.bmp").c_str(), kTypeBMP));
    EXPECT_EQ(win.Width(), 300);
    EXPECT_EQ(At(win, 20, 20), PackBGR(0, 0, 255));
    r = Cli(dir, "capture " + dir.File("area.vor") + " --area 50,40,10,8");
    ASSERT_EQ(r.status, 0) << r.err;
    r = Cli(dir, "capture " + dir.File("x.bmp") + " --window 'No Such Window'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("pimlora-cli: " + dir.File("x.bmp") + ": no window titled"), std::string::npos) << r.err;
    EXPECT_EQ(Cli(dir, "capture " + dir.File("x.bmp") + " --area 1,2,0,4").status, 2);
    EXPECT_EQ(Cli(dir, "capture " + dir.File("x.bmp") + " --area 1,2,3").status, 2);
    EXPECT_EQ(Cli(dir, "capture").status, 2);
    EXPECT_EQ(Cli(dir, "capture " + dir.File("x.pcx")).status, 1);
    // Without an X display it says so.
    EXPECT_EQ(testsupport::Run("env -u DISPLAY " + std::string(PIMLORA_CLI) + " capture " + dir.File("y.bmp") + " 2>" +
                  dir.File("e2.txt")),
              1);
    auto e = ReadBytes(dir.File("e2.txt"));
    EXPECT_NE(std::string(e.begin(), e.end()).find("screen capture needs an X display"), std::string::npos);
    acquire::XScreen nowhere;
    EXPECT_FALSE(nowhere.Open(":9999"));
    std::string error;
    EXPECT_EQ(nowhere.ReadArea({0, 0, 5, 5}, error), nullptr);
    EXPECT_EQ(error, acquire::kNeedsXDisplay);
}

TEST(CaptureFrame, ShapeButtonsAndPlace) {
    using acquire::FramePart;
    // The shape: the band, the three borders; the middle is hollow.
    const auto shape = acquire::CaptureFrameShape(400, 300);
    ASSERT_EQ(shape.size(), 4u);
    auto inShape = [&shape](int x, int y) {
        for (const ScreenRect& r : shape)
            if (x >= r.x && y >= r.y && x < r.x + r.width && y < r.y + r.height) return true;
        return false;
    };
    EXPECT_TRUE(inShape(200, 10));    // band
    EXPECT_TRUE(inShape(3, 150));     // left border
    EXPECT_TRUE(inShape(396, 150));   // right border
    EXPECT_TRUE(inShape(200, 296));   // bottom border
    EXPECT_FALSE(inShape(200, 150));  // the hollow middle
    EXPECT_FALSE(inShape(8, 33));
    EXPECT_FALSE(inShape(391, 292));
    // What a press does where.
    EXPECT_EQ(acquire::HitTest(400, 300, 20, 10), FramePart::PrintButton);
    EXPECT_EQ(acquire::HitTest(400, 300, 100, 10), FramePart::CaptureButton);
    EXPECT_EQ(acquire::HitTest(400, 300, 370, 10), FramePart::CloseButton);
    EXPECT_EQ(acquire::HitTest(400, 300, 250, 10), FramePart::Band);
    EXPECT_EQ(acquire::HitTest(400, 300, 250, 28), FramePart::BandBelowDrag);
    EXPECT_EQ(acquire::HitTest(400, 300, 2, 150), FramePart::LeftBorder);
    EXPECT_EQ(acquire::HitTest(400, 300, 398, 150), FramePart::RightBorder);
    EXPECT_EQ(acquire::HitTest(400, 300, 200, 298), FramePart::BottomBorder);
    EXPECT_EQ(acquire::HitTest(400, 300, 398, 298), FramePart::BottomRight);
    EXPECT_EQ(acquire::HitTest(400, 300, 200, 150), FramePart::Hollow);
    // Back onto the screen.
    ScreenRect r = acquire::KeepOnScreen({-20, -5, 400, 300}, 1280, 1024);
    EXPECT_EQ(r.x, 1);
    EXPECT_EQ(r.y, 1);
    r = acquire::KeepOnScreen({1000, 900, 400, 300}, 1280, 1024);
    EXPECT_EQ(r.x, 880);
    EXPECT_EQ(r.y, 724);
    r = acquire::KeepOnScreen({100, 200, 400, 300}, 1280, 1024);
    EXPECT_EQ(r.x, 100);
    EXPECT_EQ(r.y, 200);
    // Border drags keep the smallest size; the left border moves the left edge.
    r = acquire::ResizeByBorder({100, 100, 400, 300}, FramePart::LeftBorder, 50, 0);
    EXPECT_EQ(r.x, 150);
    EXPECT_EQ(r.width, 350);
    r = acquire::ResizeByBorder({100, 100, 400, 300}, FramePart::BottomRight, -1000, -1000);
    EXPECT_EQ(r.width, acquire::kMinFrameWidth);
    EXPECT_EQ(r.height, acquire::kMinFrameHeight);
}
