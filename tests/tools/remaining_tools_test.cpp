// The path tools, the move tool (layer move, floating selection, nudge,
// hand-over between two windows), zoom, colour picker, text and balloon
// tools and the free transform, driven by synthetic events.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "anchor_path.h"
#include "free_transform.h"
#include "modes.h"
#include "paint_settings.h"
#include "selection.h"
#include "text_layers.h"
#include "tools_fixture.h"

namespace {

// The whole layer as bytes: pixels, alpha, place and size.
std::vector<uint8_t> LayerBytes(const CVexoDoc& doc, int slot) {
    const LayerRecord& l = doc.Layer(slot);
    std::vector<uint8_t> out;
    for (int v : {l.x, l.y, l.width, l.height})
        for (int k = 0; k < 4; ++k) out.push_back(uint8_t(uint32_t(v) >> (8 * k)));
    out.insert(out.end(), l.pixels.get(), l.pixels.get() + l.pixelSize);
    if (l.alpha) out.insert(out.end(), l.alpha.get(), l.alpha.get() + l.planeSize);
    return out;
}

// Paints a w x h block of one colour at canvas (x, y) of the current layer.
void Block(ToolsFixture& f, int x, int y, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    for (int yy = y; yy < y + h; ++yy)
        for (int xx = x; xx < x + w; ++xx) f.SetPixel(xx, yy, r, g, b);
}

bool Is(ToolsFixture& f, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    const uint8_t* p = f.Pixel(x, y);
    return p[2] == r && p[1] == g && p[0] == b;
}

void Key(ToolsFixture& f, tools::Key k) {
    tools::KeyEvent e;
    e.key = k;
    f.bench.KeyDown(e);
}

}  // namespace

// --- paths --------------------------------------------------------------------------------

TEST(PathTools, LimitCompletionInsertDeleteAndSelection) {
    ToolsFixture f(60, 40);
    ASSERT_TRUE(tools::OpenPathPanel(f.host.box, &f.doc));
    EXPECT_EQ(f.host.box.Current(), 5615);
    EXPECT_TRUE(f.host.box.PathPanelShown());
    docpath::AnchorPath& path = f.doc.anchorPath;

    // Two anchors: no selection yet ("안내 점이 더 필요합니다.").
    f.Press(10, 10);
    f.Release(10, 10);
    f.Press(40, 10);
    f.Release(40, 10);
    EXPECT_FALSE(tools::MakePathSelection(f.host.box, f.doc));
    ASSERT_FALSE(f.host.messages.empty());
    EXPECT_EQ(f.host.messages.back(), docpath::kNeedMoreAnchors);
    // Open path of four anchors: "경로가 닫혀 있지 않습니다.".
    for (auto [x, y] : {std::pair{40, 30}, std::pair{10, 30}}) {
        f.Press(x, y);
        f.Release(x, y);
    }
    EXPECT_FALSE(tools::MakePathSelection(f.host.box, f.doc));
    EXPECT_EQ(f.host.messages.back(), docpath::kNotClosed);
    ASSERT_EQ(path.anchors.size(), 4u);

    // A press at squared distance 10 of the first anchor is a new anchor,
    // at 9 (3, 0) it completes the path.
    f.Press(13, 11);   // 9 + 1 = 10: not close enough
    f.Release(13, 11);
    EXPECT_EQ(path.anchors.size(), 5u);
    EXPECT_FALSE(path.completed);
    f.host.box.Switch(5621);   // take it back out again
    f.Press(13, 11);
    f.Release(13, 11);
    EXPECT_EQ(path.anchors.size(), 4u);
    f.host.box.Switch(5615);
    f.Press(13, 10);
    f.Release(13, 10);
    EXPECT_TRUE(path.completed);
    EXPECT_EQ(path.anchors.size(), 4u);
    // The next press on a completed path asks; Cancel keeps it.
    f.host.answer = false;
    f.Press(30, 20);
    EXPECT_EQ(f.host.questions.back(), docpath::kRemoveCompleted);
    EXPECT_EQ(path.anchors.size(), 4u);
    f.host.answer = true;

    // Insert on the top edge goes between anchors 0 and 1; the drag tool
    // moves the nearest anchor.
    f.host.box.Switch(5620);
    f.Press(25, 9);
    f.Release(25, 9);
    ASSERT_EQ(path.anchors.size(), 5u);
    EXPECT_EQ(path.anchors[1], (docpath::Point{25, 9}));
    f.host.box.Switch(5616);
    f.Press(26, 9);
    f.Drag(25, 6);
    f.Release(25, 6);
    EXPECT_EQ(path.anchors[1], (docpath::Point{25, 6}));

    // The curve passes through every anchor.
    const std::vector<docpath::PointD> curve = docpath::Curve(path);
    for (const docpath::Point& a : path.anchors) {
        bool hit = false;
        for (const docpath::PointD& q : curve) hit = hit || (std::abs(q.x - a.x) < 1e-9 && std::abs(q.y - a.y) < 1e-9);
        EXPECT_TRUE(hit) << a.x << "," << a.y;
    }
    // The overlay shows the curve and the anchors while the panel is open.
    EXPECT_FALSE(f.bench.GetOverlay().Background().empty());

    // 5622: a selection of kind 5 inside the closed curve, the polygon tool
    // current, the path gone, the panel closed.
    ASSERT_TRUE(tools::MakePathSelection(f.host.box, f.doc));
    EXPECT_TRUE(f.doc.selectionActive);
    EXPECT_EQ(f.host.box.Current(), 1345);
    EXPECT_TRUE(path.Empty());
    const std::string m = f.Mask();
    auto at = [&](int x, int y) { return m[size_t(y) * 61 + size_t(x)]; };
    EXPECT_EQ(at(25, 20), '#');
    EXPECT_EQ(at(5, 20), '.');
    EXPECT_EQ(at(50, 20), '.');
    EXPECT_EQ(at(25, 36), '.');
    f.bench.RefreshBackground();
    EXPECT_TRUE(f.bench.GetOverlay().Background().empty());
}

TEST(PathTools, AnchorLimitAndPanelRefusals) {
    ToolsFixture f(700, 20);
    ASSERT_TRUE(tools::OpenPathPanel(f.host.box, &f.doc));
    for (int i = 0; i < 301; ++i) {
        f.Press(20 + 2 * i, 2 + (i % 3) * 5);
        f.Release(20 + 2 * i, 2 + (i % 3) * 5);
    }
    EXPECT_EQ(f.doc.anchorPath.anchors.size(), 300u);
    ASSERT_EQ(f.host.messages.size(), 1u);
    EXPECT_EQ(f.host.messages[0], docpath::kTooManyAnchors);
    // The insert tool keeps the limit too.
    f.host.box.Switch(5620);
    f.Press(100, 15);
    EXPECT_EQ(f.doc.anchorPath.anchors.size(), 300u);
    EXPECT_EQ(f.host.messages.size(), 2u);
    f.Release(100, 15);
    // Closing the panel asks whether to remove the path; Cancel keeps it.
    f.host.answer = false;
    tools::ClosePathPanel(f.host.box, &f.doc, f.host);
    EXPECT_EQ(f.host.questions.back(), docpath::kRemoveWorked);
    EXPECT_FALSE(f.host.box.PathPanelShown());
    EXPECT_EQ(f.doc.anchorPath.anchors.size(), 300u);
    // Delete takes anchors out; with two left the path goes.
    ASSERT_TRUE(tools::OpenPathPanel(f.host.box, &f.doc));
    f.doc.anchorPath.anchors.resize(3);
    f.host.box.Switch(5621);
    f.Press(20, 2);
    f.Release(20, 2);
    EXPECT_EQ(f.doc.anchorPath.anchors.size(), 2u);
    f.Press(22, 7);
    f.Release(22, 7);
    EXPECT_TRUE(f.doc.anchorPath.Empty());
}

// --- move tool ----------------------------------------------------------------------------

TEST(MoveTool, DragRefusalNudgeAndUndoByteForByte) {
    ToolsFixture f(40, 30);
    ASSERT_TRUE(f.doc.AddLayer());
    const int slot = f.doc.currentLayer;
    const std::vector<uint8_t> before = LayerBytes(f.doc, slot);
    const LayerRecord& l = f.doc.Layer(slot);
    const int x0 = l.x, y0 = l.y;
    ASSERT_TRUE(f.Choose(1570));
    f.DragLine(5, 5, 12, 9);
    EXPECT_EQ(l.x, x0 + 7);
    EXPECT_EQ(l.y, y0 + 4);
    ASSERT_FALSE(f.Journal().empty());
    EXPECT_EQ(f.Journal().back(), "전체영상 위치이동");
    const size_t steps = f.Journal().size();

    // Beyond one layer size the layer waits where it was.
    f.Press(0, 0);
    f.Drag(39, 0);
    EXPECT_EQ(l.x, x0 + 7);
    f.Drag(30, 0);   // back within one layer size: it follows again
    f.Release(30, 0);
    EXPECT_EQ(l.x, x0 + 37);

    // The arrow keys move one layer pixel whatever the zoom.
    const int kx = l.x, ky = l.y;
    f.doc.zoom = 2.0;
    Key(f, tools::Key::Right);
    Key(f, tools::Key::Down);
    EXPECT_EQ(l.x, kx + 1);
    EXPECT_EQ(l.y, ky + 1);
    EXPECT_EQ(f.Journal().back(), "전체영상 위치이동");
    f.doc.zoom = 1.0;

    // Every move undone: the layer as it was, byte for byte.
    while (f.Journal().size() > steps - 1) ASSERT_TRUE(f.doc.Undo());
    EXPECT_EQ(LayerBytes(f.doc, slot), before);
}

TEST(MoveTool, FloatingSelectionPixelsBeforeAndAfterPutDown) {
    ToolsFixture f(40, 30);
    Block(f, 0, 0, 40, 30, 0, 0, 255);   // blue
    Block(f, 5, 5, 4, 3, 255, 0, 0);     // the red piece
    Block(f, 20, 5, 4, 3, 0, 255, 0);    // green where it goes
    ASSERT_TRUE(f.doc.RecordUndoStep(u"painted", UndoLayerChanged, f.doc.currentLayer));
    const std::vector<uint8_t> painted = LayerBytes(f.doc, f.doc.currentLayer);
    ASSERT_TRUE(f.doc.SelectShape(selection::kShapeRectangle, {{5, 5}, {9, 8}}, 0));
    ASSERT_TRUE(f.doc.selectionActive);
    f.host.box.Settings().colour2 = paint::Rgb{255, 255, 255};
    ASSERT_TRUE(f.Choose(1570));
    const size_t steps = f.Journal().size();

    // The first move lifts only; the following carry the piece over the
    // green block; no layer move is recorded.
    f.Press(6, 6);
    f.Drag(7, 6);
    EXPECT_TRUE(Is(f, 5, 5, 255, 0, 0));
    f.Drag(13, 6);
    f.Drag(22, 6);
    EXPECT_TRUE(Is(f, 20, 5, 255, 0, 0));
    EXPECT_TRUE(Is(f, 23, 7, 255, 0, 0));
    f.Release(22, 6);
    EXPECT_EQ(f.Journal().back(), "선택영역 위치이동");
    EXPECT_EQ(f.Journal().size(), steps + 1);
    // The selection went with it.
    EXPECT_EQ(f.Mask()[size_t(6) * 41 + 21], '#');
    EXPECT_EQ(f.Mask()[size_t(6) * 41 + 6], '.');
    // Where it was lifted from: the second colour on the picture's own
    // layer; the layer's place is unchanged.
    EXPECT_TRUE(Is(f, 5, 5, 255, 255, 255));
    EXPECT_TRUE(Is(f, 8, 7, 255, 255, 255));
    EXPECT_TRUE(Is(f, 4, 5, 0, 0, 255));
    EXPECT_EQ(f.doc.Layer(f.doc.currentLayer).x, 0);

    // Carried on over the green block and beyond, the green comes back.
    f.Press(22, 6);
    f.Drag(30, 6);
    f.Release(30, 6);
    EXPECT_TRUE(Is(f, 20, 5, 0, 255, 0));
    EXPECT_TRUE(Is(f, 28, 5, 255, 0, 0));
    // Nudge with an arrow key: the piece moves one pixel.
    Key(f, tools::Key::Left);
    EXPECT_TRUE(Is(f, 27, 5, 255, 0, 0));
    EXPECT_TRUE(Is(f, 31, 5, 0, 0, 255));
    // Put down (Escape), it stays where it is.
    Key(f, tools::Key::Escape);
    EXPECT_TRUE(Is(f, 27, 5, 255, 0, 0));
    EXPECT_TRUE(Is(f, 20, 5, 0, 255, 0));
    // Undo of every move: the painted layer byte for byte.
    while (f.Journal().size() > steps) ASSERT_TRUE(f.doc.Undo());
    EXPECT_EQ(LayerBytes(f.doc, f.doc.currentLayer), painted);
}

TEST(MoveTool, HandOverBetweenTwoWindowsPastesAndFollows) {
    TwoDocuments two;
    ASSERT_TRUE(two.ready);
    tools::SessionHost& host = two.host;
    CVexoDoc &a = two.a, &b = two.b;
    {
        LayerRecord& l = a.Layer(a.currentLayer);
        for (int r = 0; r < l.height; ++r) std::memset(l.PixelRow(r), 0x40, size_t(3 * l.width));
    }
    tools::Session s(host, a);
    s.AddView(b);
    const int layersBefore = b.LayerCount();
    for (const char* step : {"tool:1570", "press:10,10", "drag:15,12", "leave:39,12"}) ASSERT_TRUE(s.Run(step)) << step;
    EXPECT_TRUE(host.box.DragOut().active);
    // The release lands on the window it left; the hover over the other one
    // takes the layer over.
    ASSERT_TRUE(s.Run("release:39,12"));
    ASSERT_TRUE(s.Run("view:2"));
    ASSERT_TRUE(s.Run("hover:20,20"));
    EXPECT_FALSE(host.box.DragOut().active);
    ASSERT_EQ(b.LayerCount(), layersBefore + 1);
    const LayerRecord& pasted = b.Layer(b.currentLayer);
    EXPECT_GE(pasted.width, 40);
    // The point held (10 from the layer's left edge: the press point, which
    // the drag carried to the leave point) is under the mouse, and follows it.
    EXPECT_EQ(pasted.x, 20 - 10);
    ASSERT_TRUE(s.Run("hover:25,22"));
    EXPECT_EQ(pasted.x, 25 - 10);
    EXPECT_EQ(pasted.PixelRow(pasted.height - 1)[0], 0x40);
    // A press ends the follow state; hovering no longer moves it.
    ASSERT_TRUE(s.Run("press:25,22"));
    ASSERT_TRUE(s.Run("release:25,22"));
    ASSERT_TRUE(s.Run("hover:30,30"));
    EXPECT_EQ(pasted.x, 15);
    // The source layer is where the drag left it, at the leave point.
    EXPECT_EQ(a.Layer(a.currentLayer).x, 39 - 10);
}

// --- zoom, picker, text, balloon ----------------------------------------------------------

TEST(ViewTools, ZoomPickerTextAndBalloon) {
    ToolsFixture f(60, 40);
    Block(f, 30, 20, 2, 2, 12, 34, 56);
    ASSERT_TRUE(f.Choose(2096));
    f.Press(31, 21);
    f.Release(31, 21);
    EXPECT_EQ(f.host.box.Settings().colour, (paint::Rgb{12, 34, 56}));

    ASSERT_TRUE(f.Choose(1420));
    f.Press(10, 10);
    f.Release(10, 10);
    EXPECT_DOUBLE_EQ(f.doc.zoom, 1.25);
    paint::ZPoint c;
    ASSERT_TRUE(f.bench.TakeZoomCentre(c));
    EXPECT_EQ(c.x, 12);
    f.doc.zoom = 1.0;

    // Text: Cancel adds nothing; OK adds a text layer ("글자입력"); a press
    // on it again edits it ("글자수정").
    ASSERT_TRUE(f.Choose(1382));
    const int layers = f.doc.LayerCount();
    f.Press(5, 5);
    f.Release(5, 5);
    EXPECT_EQ(f.doc.LayerCount(), layers);
    f.host.text.text = u"가나다";
    f.host.text.withSettings = true;
    f.host.text.settings = f.host.box.Settings().text;
    f.host.text.settings.size = 20;
    f.Press(5, 5);
    f.Release(5, 5);
    ASSERT_EQ(f.doc.LayerCount(), layers + 1);
    const int textSlot = f.doc.currentLayer;
    EXPECT_EQ(f.doc.Layer(textSlot).kind, LayerText);
    EXPECT_EQ(textlayer::TextOfLayer(f.doc.Layer(textSlot)), u"가나다");
    const LayerRecord& t = f.doc.Layer(textSlot);
    const int cx = t.x + t.width / 2, cy = f.doc.live.canvas.height - t.height + t.y + t.height / 2;
    f.host.text.text = u"라마";
    f.Press(cx, cy);
    f.Release(cx, cy);
    EXPECT_EQ(f.doc.LayerCount(), layers + 1);
    EXPECT_EQ(textlayer::TextOfLayer(f.doc.Layer(textSlot)), u"라마");
    EXPECT_EQ(f.host.text.opened, (std::vector<std::string>{"글자입력", "글자입력", "글자수정"}));

    // Balloon: inserted at the press; the tail follows the drag.
    ASSERT_TRUE(f.Choose(4828));
    f.host.text.text = u"풍선";
    f.Press(40, 30);
    ASSERT_EQ(f.doc.Layer(f.doc.currentLayer).kind, LayerBalloon);
    const int tx = f.doc.Layer(f.doc.currentLayer).tailX;
    f.Drag(55, 38);
    f.Release(55, 38);
    EXPECT_NE(f.doc.Layer(f.doc.currentLayer).tailX, tx);
    EXPECT_EQ(f.Journal().back(), "풍선 꼬리 수정");
}

// --- free transform -----------------------------------------------------------------------

TEST(FreeTransform, HandleRules) {
    using namespace docxform;
    Session s;
    s.handles = Handles{Handle{0, 0}, Handle{100, 0}, Handle{100, 80}, Handle{0, 80}};
    // The active handle is the nearest one (ties: the lower number).
    EXPECT_EQ(NearestHandle(s.handles, Handle{90, 70}), kBottomRight);
    EXPECT_EQ(NearestHandle(s.handles, Handle{50, 0}), kTopLeft);

    // Resize keeps an axis-aligned frame.
    Press(s, Handle{98, 78});
    Drag(s, kResize, Handle{130, 95});
    EXPECT_EQ(s.handles[kBottomRight], (Handle{130, 95}));
    EXPECT_EQ(s.handles[kTopRight].x, 130);
    EXPECT_EQ(s.handles[kBottomLeft].y, 95);
    EXPECT_EQ(s.handles[kTopLeft], (Handle{0, 0}));
    EXPECT_EQ(s.handles[kTopRight].y, s.handles[kTopLeft].y);
    EXPECT_EQ(s.handles[kBottomLeft].x, s.handles[kTopLeft].x);

    // Distort moves the one handle.
    Press(s, Handle{1, 1});
    Drag(s, kDistort, Handle{10, -5});
    EXPECT_EQ(s.handles[kTopLeft], (Handle{10, -5}));
    EXPECT_EQ(s.handles[kTopRight], (Handle{130, 0}));

    // Perspective keeps a symmetric trapezoid: a mostly horizontal drag of
    // a top corner moves its partner the other way.
    s.handles = Handles{Handle{0, 0}, Handle{100, 0}, Handle{100, 80}, Handle{0, 80}};
    Press(s, Handle{0, 0});
    Drag(s, kPerspective, Handle{20, 3});
    EXPECT_EQ(s.handles[kTopLeft], (Handle{20, 0}));
    EXPECT_EQ(s.handles[kTopRight], (Handle{80, 0}));
    EXPECT_EQ(s.handles[kBottomLeft], (Handle{0, 80}));
    // Mostly vertical: the partner on the same vertical edge.
    Press(s, Handle{100, 80});
    Drag(s, kPerspective, Handle{102, 90});
    EXPECT_EQ(s.handles[kBottomRight], (Handle{100, 90}));
    EXPECT_EQ(s.handles[kTopRight], (Handle{80, -10}));
    const int mid = 50;
    EXPECT_EQ(s.handles[kTopLeft].x - mid, mid - s.handles[kTopRight].x);
}

TEST(FreeTransform, DragPreviewApplyZoomRuleAndUndo) {
    ToolsFixture f(40, 30);
    ASSERT_TRUE(f.doc.AddLayer());
    const int slot = f.doc.currentLayer;
    const std::vector<uint8_t> before = LayerBytes(f.doc, slot);
    const size_t steps = f.Journal().size();
    ASSERT_TRUE(tools::BeginTransform(f.host.box, f.doc, docxform::kResize));
    EXPECT_TRUE(f.host.box.TransformPanelShown());
    EXPECT_EQ(f.host.box.Current(), 4250);
    // Frame and handles over the picture.
    EXPECT_FALSE(f.bench.GetOverlay().Background().empty());
    const int w = f.doc.Layer(slot).width;
    f.Press(w - 1, 29);
    f.Drag(w / 2, 15);
    f.Release(w / 2, 15);
    EXPECT_EQ(f.doc.freeTransform.handles[docxform::kBottomRight], (docxform::Handle{w / 2, 15}));
    // At zoom 2 the transform refuses with its message and sets 100 %.
    f.doc.zoom = 2.0;
    EXPECT_FALSE(tools::EndTransform(f.host.box, f.doc, true));
    EXPECT_EQ(f.host.messages.back(), docxform::kZoomOnly);
    EXPECT_DOUBLE_EQ(f.doc.zoom, 1.0);
    ASSERT_TRUE(tools::EndTransform(f.host.box, f.doc, true));
    EXPECT_FALSE(f.host.box.TransformPanelShown());
    EXPECT_EQ(f.doc.Layer(slot).width, w / 2);
    EXPECT_EQ(f.doc.Layer(slot).height, 15);
    EXPECT_EQ(f.Journal().back(), "자유변형_크기");
    ASSERT_TRUE(f.doc.Undo());
    EXPECT_EQ(f.Journal().size(), steps);
    EXPECT_EQ(LayerBytes(f.doc, slot), before);

    // Cancel puts the layer back as it was.
    ASSERT_TRUE(tools::BeginTransform(f.host.box, f.doc, docxform::kDistort));
    f.Press(0, 0);
    f.Drag(8, 6);
    f.Release(8, 6);
    tools::EndTransform(f.host.box, f.doc, false);
    EXPECT_EQ(LayerBytes(f.doc, slot), before);
    EXPECT_EQ(f.Journal().size(), steps);
}
