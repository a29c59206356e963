// Filters, colour operations and thresholds under a selection: the pixels
// the selection marks get what the operation gives the whole layer, the
// others keep their colour and alpha; the fast paths alike.
#include <functional>

#include "filter_commands.h"
#include "filter_model.h"
#include "layer_access.h"
#include "paint_support.h"

using namespace painttest;

namespace {

using Op = std::function<bool(CVexoDoc&)>;

Op Filter(const char* name, int mode, int p1, int p2 = 0, int p3 = 0) {
    return [=](CVexoDoc& d) { return docfilters::RunFilterByName(d, name, mode, p1, p2, p3); };
}

// A lasso-like polygon and a rectangle, in canvas pixels.
const std::vector<CVexoDoc::CanvasPoint> kPolygon = {{5, 3}, {60, 8}, {40, 30}, {66, 44}, {3, 40}};
const std::vector<CVexoDoc::CanvasPoint> kRect = {{20, 10}, {47, 33}};

void ExpectRestricted(const char* what, const Op& op, int shape, const std::vector<CVexoDoc::CanvasPoint>& pts,
                      bool changes = true) {
    PaintDoc sel(70, 48, 5, true), whole(70, 48, 5, true);
    ASSERT_TRUE(sel.doc.SelectShape(shape, pts, 0)) << what;
    const Plain before = sel.Now();
    ASSERT_TRUE(op(sel.doc)) << what;
    ASSERT_TRUE(op(whole.doc)) << what;
    Plain got = sel.Now(), all = whole.Now(), was = before;
    const SelectionMask& m = sel.doc.live.selection;
    int inside = 0, changedInside = 0;
    for (int row = 0; row < 48; ++row)
        for (int x = 0; x < 70; ++x) {
            const bool marked = m.mask[size_t(row - sel.Layer().y + m.y) * size_t(m.width) + size_t(x + sel.Layer().x - m.x)] == 1;
            const uint8_t* want = marked ? all.px(x, row) : was.px(x, row);
            ASSERT_EQ(0, std::memcmp(got.px(x, row), want, 3)) << what << " colour at " << x << "," << row;
            ASSERT_EQ(marked ? all.a(x, row) : was.a(x, row), got.a(x, row)) << what << " alpha at " << x << "," << row;
            inside += marked;
            changedInside += marked && std::memcmp(all.px(x, row), was.px(x, row), 3) != 0;
        }
    EXPECT_GT(inside, 100) << what;
    if (changes) {
        EXPECT_GT(changedInside, inside / 4) << what;   // the operation did something there
    }
}

TEST(SelectionRestriction, FiltersColourOperationsAndThresholds) {
    const std::pair<const char*, Op> ops[] = {
        {"blur", Filter("흐리게", -1, 3)},
        {"soften", Filter("부드럽게", -1, 5)},
        {"emboss", Filter("엠보스", -1, 2, 1)},
        {"outline", Filter("윤곽선", -1, 1, 0)},
        {"erode", Filter("물체축소", -1, 3)},
        {"dilate", Filter("물체확장", -1, 5)},
        {"edges", Filter("경계강조", -1, 10, 3)},
        {"watercolour", Filter("수채화", -1, 0)},
        {"oil", Filter("유화", -1, 5, 50)},
        {"floyd", Filter(filters::kThreshold, 0, 128)},
        {"ordered", Filter(filters::kThreshold, 1, 100)},
        {"simple", Filter(filters::kThreshold, 2, 128)},
        {"sharpen", [](CVexoDoc& d) {
             return docfilters::RunLayerOp(d, 1455, 1, 0, [](layerops::LayerOpContext& c) { return layerops::Sharpen(c, 1); });
         }},
        {"median", [](CVexoDoc& d) {
             return docfilters::RunLayerOp(d, 1455, 5, 0, [](layerops::LayerOpContext& c) { return layerops::Median(c, 5); });
         }},
        {"brightness", [](CVexoDoc& d) {
             return docfilters::RunLayerOp(d, 2100, 0, 0,
                                           [](layerops::LayerOpContext& c) { return layerops::BrightnessContrast(c, 40, 60); });
         }},
        {"desaturate", [](CVexoDoc& d) { return docfilters::GreyLayers(d, false); }},
        {"levels", [](CVexoDoc& d) {
             return docfilters::RunLayerOp(d, 2076, 0, 0, [](layerops::LayerOpContext& c) {
                 return layerops::RemapLevels(c, 0, 60, 180, false);
             });
         }},
        {"mirror", [](CVexoDoc& d) { return docfilters::MirrorCurrentLayer(d, 4220); }},
        {"flip", [](CVexoDoc& d) { return docfilters::FlipCurrentLayer(d, 4219); }},
    };
    for (const auto& [what, op] : ops) {
        ExpectRestricted(what, op, 1, kRect);
        ExpectRestricted(what, op, 3, kPolygon);
    }
}

TEST(SelectionRestriction, FastPathsHonourTheMaskAlike) {
    // The window filters' AVX2 and SSE2 paths and their sizes that take the
    // small-sum and wide-window routes.
    for (bool avx2 : {true, false}) {
        layerops::AllowAvx2Paths(avx2);
        for (int n : {1, 3, 9, 21}) ExpectRestricted("mean", Filter("흐리게", -1, n), 3, kPolygon, n > 1);
        ExpectRestricted("soften", Filter("부드럽게", -1, 9), 3, kPolygon);
        for (int n : {3, 7}) ExpectRestricted("dilate", Filter("물체확장", -1, n), 3, kPolygon);
        ExpectRestricted("outline", Filter("윤곽선", -1, 2, 30), 3, kPolygon);
    }
    layerops::AllowAvx2Paths(true);
}

TEST(SelectionRestriction, TheNegativeInvertsTheWholeLayer) {
    // The stated exception: every pixel's colour is complemented.
    PaintDoc d(30, 20, 4, true);
    ASSERT_TRUE(d.doc.SelectShape(1, kRect, 0));
    const Plain before = d.Now();
    ASSERT_TRUE(docfilters::NegativeLayer(d.doc));
    Plain now = d.Now();
    for (size_t i = 0; i < now.pix.size(); ++i) ASSERT_EQ(uint8_t(~before.pix[i]), now.pix[i]);
    EXPECT_EQ(before.alpha, now.alpha);
}

}  // namespace
