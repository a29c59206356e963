// The composites kept while the move tool carries a layer: every step must
// give the full composite of the stack bit for bit, with blend rules, fades
// and partial layers above the moving one, and the composites must be
// dropped (and built again) when anything else changes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "move_cache.h"
#include "tools_fixture.h"

namespace {

struct Stack : ToolsFixture {
    int base = -1, moving = -1;
    std::vector<int> above;
    std::mt19937 rng{7};

    Stack() : ToolsFixture(120, 90) {
        base = doc.currentLayer;
        Fill(base, false);
        moving = Add(false);
        for (int k = 0; k < 3; ++k) above.push_back(Add(true));
        doc.SelectLayer(moving);
    }
    // A layer of noise; `patchy`: alpha 0 over whole rows and columns.
    void Fill(int slot, bool patchy) {
        LayerRecord& L = doc.Layer(slot);
        for (int r = 0; r < L.height; ++r) {
            uint8_t* p = L.PixelRow(r);
            uint8_t* a = L.AlphaRow(r);
            for (int c = 0; c < L.width * 3; ++c) p[c] = uint8_t(rng());
            for (int c = 0; c < L.width; ++c) {
                const bool hole = patchy && (r % 17 < 6 || c < 20 || c > 90);
                a[c] = hole ? 0 : uint8_t(rng() % 3 == 0 ? 255 : rng());
            }
        }
    }
    int Add(bool patchy) {
        EXPECT_TRUE(doc.AddLayer());
        const int slot = doc.currentLayer;
        Fill(slot, patchy);
        return slot;
    }
    std::vector<uint8_t> Full(int left, int top, int w, int h) {
        std::vector<uint8_t> out(size_t(w) * h * 4, 0xAB);
        doc.CompositeRect(doc.headLayer, -1, doc.zoom, left, top, w, h, out.data(), ptrdiff_t(w) * 4);
        return out;
    }
    std::vector<uint8_t> Cached(tools::MoveCache& cache, int left, int top, int w, int h) {
        std::vector<uint8_t> out(size_t(w) * h * 4, 0xCD);
        cache.Composite(doc, moving, left, top, w, h, out.data(), ptrdiff_t(w) * 4);
        return out;
    }
};

TEST(MoveCache, StepsEqualTheFullCompositeUnderEveryBlendRuleAndFade) {
    for (int mode = 0; mode <= 9; ++mode) {
        for (double zoom : {1.0, 0.8, 0.5}) {
            Stack s;
            s.doc.zoom = zoom;
            s.doc.Layer(s.above[0]).blendMode = uint8_t(mode);
            s.doc.Layer(s.above[1]).blendMode = uint8_t((mode + 3) % 10);
            s.doc.Layer(s.above[1]).transparency = 100;
            s.doc.Layer(s.above[2]).transparency = uint8_t(30 * mode);
            s.doc.Layer(s.moving).transparency = 60;
            s.doc.Layer(s.moving).blendMode = uint8_t((mode + 5) % 10);
            const int zw = int(120 * zoom), zh = int(90 * zoom);
            tools::MoveCache cache;
            cache.SetWindow(0, 0, zw, zh);
            for (int step = 0; step < 5; ++step) {
                ASSERT_TRUE(s.doc.MoveLayer(s.moving, step % 2 ? -7 : 5, step - 2, false));
                SCOPED_TRACE(testing::Message() << "mode " << mode << " zoom " << zoom << " step " << step);
                EXPECT_EQ(s.Cached(cache, 0, 0, zw, zh), s.Full(0, 0, zw, zh));
                // A damaged rectangle inside the window.
                EXPECT_EQ(s.Cached(cache, 13, 9, zw / 2, zh / 3), s.Full(13, 9, zw / 2, zh / 3));
            }
            EXPECT_EQ(cache.Builds(), 1) << "the composites below and above are built once for the move";
        }
    }
}

TEST(MoveCache, TextLayerAboveAndScrolledWindow) {
    Stack s;
    s.doc.Layer(s.above[1]).kind = LayerText;   // coverage in the alpha, painted in its colour
    s.doc.Layer(s.above[1]).textColor[2] = 200;
    tools::MoveCache cache;
    cache.SetWindow(30, 20, 60, 50);
    for (int step = 0; step < 3; ++step) {
        ASSERT_TRUE(s.doc.MoveLayer(s.moving, 3, 2, false));
        EXPECT_EQ(s.Cached(cache, 30, 20, 60, 50), s.Full(30, 20, 60, 50));
    }
    // Outside the window: composited as a whole, still the right pixels.
    EXPECT_EQ(s.Cached(cache, 0, 0, 120, 90), s.Full(0, 0, 120, 90));
    EXPECT_EQ(cache.Builds(), 1);
}

TEST(MoveCache, AnyOtherChangeDropsTheComposites) {
    Stack s;
    tools::MoveCache cache;
    cache.SetWindow(0, 0, 120, 90);
    ASSERT_TRUE(s.doc.MoveLayer(s.moving, 4, 4, false));
    EXPECT_EQ(s.Cached(cache, 0, 0, 120, 90), s.Full(0, 0, 120, 90));
    ASSERT_TRUE(cache.Holds());

    // Pixels of the layer below change, with the notice: dropped, and the
    // next step is right again.
    s.Fill(s.base, false);
    s.doc.Notify(docchange::Pixels, s.base);
    EXPECT_FALSE(cache.Holds());
    EXPECT_EQ(s.Cached(cache, 0, 0, 120, 90), s.Full(0, 0, 120, 90));
    EXPECT_EQ(cache.Builds(), 2);

    // A layer above is faded: the stack check finds it even without a notice.
    s.doc.Layer(s.above[0]).transparency = 140;
    EXPECT_EQ(s.Cached(cache, 0, 0, 120, 90), s.Full(0, 0, 120, 90));
    EXPECT_EQ(cache.Builds(), 3);

    // Another layer moves: a place change that is not the moving layer's.
    ASSERT_TRUE(s.doc.MoveLayer(s.above[2], 2, 0, false));
    EXPECT_FALSE(cache.Holds());
    EXPECT_EQ(s.Cached(cache, 0, 0, 120, 90), s.Full(0, 0, 120, 90));

    // The move ends: no moving layer, nothing kept.
    std::vector<uint8_t> out(120 * 90 * 4);
    cache.Composite(s.doc, -1, 0, 0, 120, 90, out.data(), 120 * 4);
    EXPECT_FALSE(cache.Holds());
    EXPECT_EQ(out, s.Full(0, 0, 120, 90));
}

TEST(MoveCache, TheMoveToolsDragNamesItsLayerUntilTheRelease) {
    Stack s;
    s.Choose(1570);
    s.Press(50, 40);
    s.Drag(55, 42);
    EXPECT_EQ(s.bench.MovingLayer(), s.moving);
    tools::MoveCache cache;
    cache.SetWindow(0, 0, 120, 90);
    s.Drag(60, 45);
    EXPECT_EQ(s.Cached(cache, 0, 0, 120, 90), s.Full(0, 0, 120, 90));
    s.Release(60, 45);
    EXPECT_EQ(s.bench.MovingLayer(), -1);
    // The release records its step: the journal's notice drops the composites.
    EXPECT_FALSE(cache.Holds());
}

}  // namespace
