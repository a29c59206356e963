// The balloon editor's hooks and edits: it opens after a balloon is placed
// (at the release, once the tail is set) and on a press of the balloon tool
// on a balloon, instead of the text dialog; its text edit rebuilds the
// balloon around the new text with the tail where it was, as one step that
// undo takes back byte for byte.
#include <gtest/gtest.h>

#include "modes.h"
#include "text_layers.h"
#include "tools_fixture.h"

namespace {

std::vector<uint8_t> Bytes(const CVexoDoc& doc, int slot) {
    const LayerRecord& l = doc.Layer(slot);
    std::vector<uint8_t> out(l.pixels.get(), l.pixels.get() + l.pixelSize);
    if (l.alpha) out.insert(out.end(), l.alpha.get(), l.alpha.get() + l.planeSize);
    for (int v : {l.x, l.y, l.width, l.height, l.tailX, l.tailY, int(l.kind)}) out.push_back(uint8_t(v));
    const std::u16string t = textlayer::TextOfLayer(l);
    for (char16_t c : t) out.push_back(uint8_t(c));
    return out;
}

TEST(BalloonEditor, OpensAfterPlacingAndOnABalloonAndEditsAsOneStep) {
    ToolsFixture f(160, 120);
    f.host.balloonEditor = true;
    ASSERT_TRUE(f.Choose(4828));
    f.host.text.text = u"풍선";
    f.Press(50, 70);
    EXPECT_EQ(f.host.balloonEditors, 0) << "not while the tail is being dragged";
    f.Drag(70, 20);
    f.Release(70, 20);
    EXPECT_EQ(f.host.balloonEditors, 1);
    const int slot = f.doc.currentLayer;
    ASSERT_EQ(f.doc.Layer(slot).kind, LayerBalloon);
    const int tailX = f.doc.Layer(slot).tailX, tailY = f.doc.Layer(slot).tailY;
    const int layers = f.doc.LayerCount();
    const std::vector<uint8_t> placed = Bytes(f.doc, slot);

    // A press on the balloon (its text box) opens the editor, no dialog.
    const LayerRecord& b = f.doc.Layer(slot);
    const int cx = b.x + b.textBoxLeft + b.textBoxWidth / 2;
    const int cy = f.doc.live.canvas.height - b.height + b.y + b.textBoxTop + b.textBoxHeight / 2;
    const size_t dialogs = f.host.text.opened.size();
    f.Press(cx, cy);
    f.Release(cx, cy);
    EXPECT_EQ(f.host.balloonEditors, 2);
    EXPECT_EQ(f.host.text.opened.size(), dialogs);
    EXPECT_EQ(f.doc.LayerCount(), layers);
    EXPECT_EQ(Bytes(f.doc, slot), placed) << "the press changed the balloon";

    // The editor's text edit: new text, the tail kept, one step.
    const size_t steps = f.Journal().size();
    textlayer::TextDialogValues v;
    v.settings = textlayer::SettingsOfLayer(f.doc.Layer(slot));
    v.text = u"풍선이 커졌다";
    ASSERT_TRUE(tools::EditBalloon(f.doc, v));
    EXPECT_EQ(textlayer::TextOfLayer(f.doc.Layer(slot)), v.text);
    EXPECT_EQ(f.doc.Layer(slot).kind, LayerBalloon);
    EXPECT_EQ(f.doc.Layer(slot).tailX, tailX);
    EXPECT_EQ(f.doc.Layer(slot).tailY, tailY);
    EXPECT_NE(Bytes(f.doc, slot), placed);
    ASSERT_EQ(f.Journal().size(), steps + 1);
    EXPECT_EQ(f.Journal().back(), "글자수정");
    ASSERT_TRUE(f.doc.Undo());
    EXPECT_EQ(Bytes(f.doc, slot), placed) << "undo of the edit";

    // Nothing typed, or a layer that is no balloon: nothing happens.
    v.text.clear();
    EXPECT_FALSE(tools::EditBalloon(f.doc, v));
    v.text = u"x";
    f.doc.SelectLayer(f.doc.StackOrder().front());
    const std::vector<uint8_t> raster = Bytes(f.doc, f.doc.currentLayer);
    EXPECT_FALSE(tools::EditBalloon(f.doc, v));
    EXPECT_EQ(Bytes(f.doc, f.doc.currentLayer), raster);
}

TEST(BalloonEditor, WithoutAnEditorThePressEditsThroughTheTextDialog) {
    ToolsFixture f(160, 120);
    ASSERT_TRUE(f.Choose(4828));
    f.host.text.text = u"하나";
    f.Press(50, 70);
    f.Release(50, 70);
    const LayerRecord& b = f.doc.Layer(f.doc.currentLayer);
    const int cx = b.x + b.textBoxLeft + b.textBoxWidth / 2;
    const int cy = f.doc.live.canvas.height - b.height + b.y + b.textBoxTop + b.textBoxHeight / 2;
    f.host.text.text = u"둘";
    f.Press(cx, cy);
    f.Release(cx, cy);
    EXPECT_EQ(f.host.text.opened, (std::vector<std::string>{"글자입력", "글자수정"}));
    EXPECT_EQ(textlayer::TextOfLayer(f.doc.Layer(f.doc.currentLayer)), u"둘");
}

}  // namespace

// The hover notice of a window the mouse comes into: a layer dragged out of
// another window is taken over even where the mouse was last seen in it.
TEST(HoverNotice, TakesOverAtThePositionSeenLast) {
    TwoDocuments two;
    ASSERT_TRUE(two.ready);
    tools::SessionHost& host = two.host;
    CVexoDoc &a = two.a, &b = two.b;
    tools::Session s(host, a);
    s.AddView(b);
    ASSERT_TRUE(s.Run("view:2"));
    ASSERT_TRUE(s.Run("tool:1570"));
    ASSERT_TRUE(s.Run("hover:20,20"));   // before the drag: nothing to take
    const int layers = b.LayerCount();
    ASSERT_TRUE(s.Run("view:1"));
    for (const char* step : {"press:10,10", "drag:15,12", "leave:39,12", "release:39,12"}) ASSERT_TRUE(s.Run(step)) << step;
    ASSERT_TRUE(host.box.DragOut().active);
    ASSERT_TRUE(s.Run("view:2"));
    // A move to where the window saw the mouse last is no move at all...
    s.Bench().Move(ToolsFixture::At(20, 20), false);
    EXPECT_EQ(b.LayerCount(), layers);
    // ...the hover notice of the mouse coming in is heard.
    s.Bench().HoverNotice(ToolsFixture::At(20, 20));
    EXPECT_FALSE(host.box.DragOut().active);
    EXPECT_EQ(b.LayerCount(), layers + 1);
}
