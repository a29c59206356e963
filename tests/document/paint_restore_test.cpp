// Restore and commit of a drag: copying only the area painted since the
// last commit must give, step after step, exactly what copying the whole
// layer gives; and the dirty area the view repaints.
#include <functional>

#include "filter_commands.h"
#include "paint_support.h"

using namespace painttest;
using paint::Rgb;
using paint::StrokeMode;
using paint::ZPoint;

namespace {

const Rgb kBlue{10, 60, 230};

struct Twin {
    PaintDoc area{64, 48, 21, true};    // restore and commit by area
    PaintDoc whole{64, 48, 21, true};   // restore and commit by whole-layer copies
    int step = 0;

    void Restore() {
        paint::RestoreCurrentLayer(area.doc);
        whole.Layer().CopyFrom(whole.doc.prevState.layers[whole.doc.currentLayer]);
    }
    void Commit() {
        paint::CommitCurrentLayer(area.doc);
        whole.doc.prevState.layers[whole.doc.currentLayer].CopyFrom(whole.Layer());
    }
    void Both(const std::function<void(CVexoDoc&)>& op) {
        op(area.doc);
        op(whole.doc);
    }
    void Check() {
        ++step;
        const int cur = area.doc.currentLayer;
        ASSERT_TRUE(Take(area.Layer()) == Take(whole.Layer())) << "live, step " << step;
        ASSERT_TRUE(Take(area.doc.prevState.layers[cur]) == Take(whole.doc.prevState.layers[cur]))
            << "previous state, step " << step;
    }
};

TEST(PaintRestore, AreaCopiesEqualWholeCopiesThroughADrag) {
    Twin t;
    // A brush press and drag: restore, stroke, commit.
    ZPoint last{10, 10};
    t.Restore();
    t.Both([&](CVexoDoc& d) { paint::Stroke(d, StrokeMode::Paint, last, last, kBlue, 6, paint::kSoftBrush); });
    t.Commit();
    t.Check();
    for (ZPoint p : {ZPoint{20, 14}, ZPoint{35, 30}, ZPoint{50, 12}, ZPoint{52, 40}}) {
        t.Restore();
        t.Both([&](CVexoDoc& d) { paint::Stroke(d, StrokeMode::Paint, last, p, kBlue, 4, paint::kSoftBrush); });
        t.Commit();
        t.Check();
        last = p;
    }
    // Previews that are restored at the next step without a commit: a
    // circle, a droplet, an eraser line.
    for (ZPoint p : {ZPoint{30, 20}, ZPoint{44, 36}, ZPoint{12, 40}, ZPoint{30, 21}}) {
        t.Restore();
        t.Both([&](CVexoDoc& d) { paint::Circle(d, ZPoint{20, 20}, p, kBlue, 3); });
        t.Check();
    }
    t.Restore();
    t.Check();
    t.Both([&](CVexoDoc& d) { paint::Droplet(d, ZPoint{-1, -1}, ZPoint{40, 25}, 8); });
    t.Restore();
    t.Both([&](CVexoDoc& d) { paint::Stroke(d, StrokeMode::Erase, ZPoint{5, 40}, ZPoint{60, 5}, kBlue, 5, 0); });
    t.Check();
    t.Restore();
    t.Check();
}

TEST(PaintRestore, FallsBackToWholeCopiesWhenTheLayerChanged) {
    Twin t;
    t.Restore();
    t.Both([&](CVexoDoc& d) { paint::Stroke(d, StrokeMode::Paint, ZPoint{5, 5}, ZPoint{9, 9}, kBlue, 3, 0); });
    t.Commit();
    t.Check();
    // A filter trades the layer's buffers with the scratch ones and leaves
    // the previous state as it was before: a restore takes it all back.
    t.Both([](CVexoDoc& d) { docfilters::RunFilterByName(d, "흐리게", -1, 3, 0, 0); });
    ASSERT_FALSE(Take(t.area.Layer()) == Take(t.area.doc.prevState.layers[0]));
    t.Restore();
    t.Check();
    EXPECT_TRUE(Take(t.area.Layer()) == Take(t.area.doc.prevState.layers[0]));
    // A point outside grows the layer during the stroke: the restore puts
    // back the previous layer of the old size, the commit then copies all.
    t.Both([&](CVexoDoc& d) { paint::Stroke(d, StrokeMode::Paint, ZPoint{60, 5}, ZPoint{70, 5}, kBlue, 2, 0); });
    EXPECT_EQ(64 + 7 + 15, t.area.Layer().width);
    t.Check();
    t.Restore();
    EXPECT_EQ(64, t.area.Layer().width);
    t.Check();
    t.Both([&](CVexoDoc& d) { paint::Stroke(d, StrokeMode::Paint, ZPoint{60, 5}, ZPoint{70, 5}, kBlue, 2, 0); });
    t.Commit();
    t.Check();
    t.Restore();
    t.Both([&](CVexoDoc& d) { paint::Stroke(d, StrokeMode::Paint, ZPoint{2, 40}, ZPoint{75, 30}, kBlue, 5, 1); });
    t.Commit();
    t.Check();
    // The layer moved: its place differs from the one the area was kept for.
    t.Both([](CVexoDoc& d) { d.MoveLayer(d.currentLayer, 3, 2, false); });
    t.Both([&](CVexoDoc& d) { paint::Stroke(d, StrokeMode::Paint, ZPoint{20, 20}, ZPoint{30, 30}, kBlue, 5, 1); });
    t.Restore();
    t.Check();
}

TEST(PaintRestore, DirtyAreaIsTheChangedCanvasRectangle) {
    PaintDoc d(64, 48);
    paint::RestoreCurrentLayer(d.doc);   // nothing kept yet: the whole layer
    paint::CanvasRect r = paint::TakeDirtyArea(d.doc);
    EXPECT_TRUE(r.left == 0 && r.top == 0 && r.right == 64 && r.bottom == 48);
    EXPECT_TRUE(paint::TakeDirtyArea(d.doc).Empty());
    // A pencil stamp of size 3 at canvas (20, 10): stored rows 37 - 3 ..
    // 37 + 2, which are canvas rows 8..13 from the top; columns 17..22.
    paint::Stroke(d.doc, StrokeMode::Paint, ZPoint{20, 10}, ZPoint{20, 10}, kBlue, 3, paint::kPencil);
    r = paint::TakeDirtyArea(d.doc);
    EXPECT_EQ(17, r.left);
    EXPECT_EQ(23, r.right);
    EXPECT_EQ(8, r.top);
    EXPECT_EQ(14, r.bottom);
    // The commit changes nothing on the screen; the restore of a preview
    // repaints what the preview painted; areas add up until taken.
    paint::CommitCurrentLayer(d.doc);
    EXPECT_TRUE(paint::TakeDirtyArea(d.doc).Empty());
    paint::Stroke(d.doc, StrokeMode::Paint, ZPoint{40, 30}, ZPoint{40, 30}, kBlue, 1, paint::kPencil);
    paint::Stroke(d.doc, StrokeMode::Paint, ZPoint{50, 31}, ZPoint{50, 31}, kBlue, 1, paint::kPencil);
    paint::TakeDirtyArea(d.doc);
    paint::RestoreCurrentLayer(d.doc);
    r = paint::TakeDirtyArea(d.doc);
    EXPECT_TRUE(r.left == 40 && r.right == 51 && r.top == 30 && r.bottom == 32);
    // Points outside the canvas are clipped to it.
    paint::Stroke(d.doc, StrokeMode::Paint, ZPoint{1, 1}, ZPoint{1, 1}, kBlue, 5, paint::kPencil);
    r = paint::TakeDirtyArea(d.doc);
    EXPECT_TRUE(r.left == 0 && r.top == 0 && r.right == 6 && r.bottom == 7);
}

}  // namespace
