// The turn and mirror commands on the document: the in-place path without a
// selection and the command-frame path with one give the rule's result, the
// previous-state copy follows the recorded step, and buffers handed back by
// a quarter turn serve the next one.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "commands.h"
#include "journaled_doc.h"

namespace {

void Randomise(LayerRecord& L, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int i = 0; i < L.pixelSize; ++i) L.pixels[size_t(i)] = uint8_t(rng());
    for (int i = 0; i < L.planeSize; ++i) L.alpha[size_t(i)] = uint8_t(rng() % 3 ? rng() : 0);
}

struct Snapshot {
    int w, h;
    std::vector<uint8_t> px, al;
    explicit Snapshot(const LayerRecord& L) : w(L.width), h(L.height) {
        for (int r = 0; r < h; ++r) {
            px.insert(px.end(), L.PixelRow(r), L.PixelRow(r) + 3 * w);
            al.insert(al.end(), L.AlphaRow(r), L.AlphaRow(r) + w);
        }
    }
    const uint8_t* Px(int x, int r) const { return px.data() + (size_t(r) * w + x) * 3; }
    uint8_t A(int x, int r) const { return al[size_t(r) * w + x]; }
};

bool SameAsLive(const CVexoDoc& doc, int slot) {
    const LayerRecord& a = doc.live.layers[slot];
    const LayerRecord& b = doc.prevState.layers[slot];
    return a.width == b.width && a.height == b.height && a.pixelSize == b.pixelSize &&
           std::memcmp(a.pixels.get(), b.pixels.get(), size_t(a.pixelSize)) == 0 &&
           std::memcmp(a.alpha.get(), b.alpha.get(), size_t(a.planeSize)) == 0;
}

}  // namespace

using TransformCommands = JournaledDocTest;

TEST_F(TransformCommands, MirrorMovesOnlyWhatTheSelectionMarks) {
    StartJournal(37, 21);
    LayerRecord& L = doc.Layer(doc.currentLayer);
    Randomise(L, 3);
    const Snapshot before(L);

    // No selection: colours and alpha move, in place.
    ASSERT_TRUE(commands::All().Find(4220)->run(doc, {}));
    for (int r = 0; r < 21; ++r)
        for (int x = 0; x < 37; ++x) {
            ASSERT_EQ(0, std::memcmp(L.PixelRow(r) + 3 * x, before.Px(36 - x, r), 3));
            ASSERT_EQ(L.AlphaRow(r)[x], before.A(36 - x, r));
        }
    EXPECT_TRUE(SameAsLive(doc, doc.currentLayer));

    // With a selection of the left half: colours and alpha move back only
    // where the selection marks the pixel.
    const Snapshot mirrored(L);
    SelectionMask& s = doc.live.selection;
    s.width = 37, s.height = 21, s.x = L.x, s.y = L.y, s.size = 37 * 21;
    s.mask.assign(size_t(s.size), 0);
    for (int r = 0; r < 21; ++r)
        for (int x = 0; x < 18; ++x) s.mask[size_t(r) * 37 + x] = 1;
    doc.selectionActive = true;
    ASSERT_TRUE(commands::All().Find(4220)->run(doc, {}));
    for (int r = 0; r < 21; ++r)
        for (int x = 0; x < 37; ++x) {
            ASSERT_EQ(0, std::memcmp(L.PixelRow(r) + 3 * x, x < 18 ? before.Px(x, r) : mirrored.Px(x, r), 3));
            ASSERT_EQ(L.AlphaRow(r)[x], x < 18 ? before.A(x, r) : mirrored.A(x, r));
        }
}

TEST_F(TransformCommands, FlipOfEveryLayerAndTurnsKeepThePreviousStateCurrent) {
    StartJournal(40, 25);
    LayerRecord& L = doc.Layer(doc.currentLayer);
    Randomise(L, 4);
    ASSERT_TRUE(doc.RecordUndoStep(u"paint", UndoLayerChanged, -1));
    const Snapshot before(L);
    ASSERT_TRUE(commands::All().Find(1411)->run(doc, {}));
    for (int r = 0; r < 25; ++r) ASSERT_EQ(0, std::memcmp(L.PixelRow(r), before.Px(0, 24 - r), 3 * 40));
    EXPECT_TRUE(SameAsLive(doc, doc.currentLayer));
    ASSERT_TRUE(commands::All().Find(1411)->run(doc, {}));

    // A canvas turn right keeps the old buffers; the turn back takes them.
    ASSERT_TRUE(commands::All().Find(1491)->run(doc, {}));
    EXPECT_EQ(L.width, 25);
    EXPECT_EQ(L.height, 40);
    EXPECT_TRUE(SameAsLive(doc, doc.currentLayer));
    const uint8_t* spare = doc.spareBuffers.pixels.get();
    ASSERT_NE(spare, nullptr);
    ASSERT_TRUE(commands::All().Find(1492)->run(doc, {}));
    EXPECT_EQ(L.pixels.get(), spare);
    const Snapshot after(L);
    EXPECT_EQ(after.px, before.px);
    EXPECT_EQ(after.al, before.al);
    EXPECT_TRUE(SameAsLive(doc, doc.currentLayer));
    for (int i = 0; i < L.planeSize; ++i) ASSERT_EQ(L.effectPlane[size_t(i)], 0);

    // A free rotation: the previous-state copy has the rotated layer too.
    ASSERT_TRUE(commands::All().Find(1415)->run(doc, {30}));
    EXPECT_TRUE(SameAsLive(doc, doc.currentLayer));
    EXPECT_EQ(doc.prevState.layers[doc.currentLayer].width, L.width);
}

// Where the turned layer's buffers have the sizes of the old ones (a square
// layer with padded rows, a wide one without), the turn fills the previous-
// state copy itself: it must hold the turned bytes, padding and effect plane
// included, for every layer of a canvas turn; undo and redo still bring the
// pictures back; and a change after the turn is copied at its step as usual.
TEST_F(TransformCommands, QuarterTurnFillsThePreviousStateCopyExactly) {
    for (auto [w, h] : {std::pair{21, 21}, {36, 24}}) {
        StartJournal(w, h);
        ASSERT_TRUE(doc.AddLayer());
        std::vector<int> slots = doc.StackOrder();
        ASSERT_EQ(slots.size(), 2u);
        uint32_t seed = 11;
        for (int s : slots) {
            Randomise(doc.Layer(s), seed++);
            // Padding bytes with a mark of their own, which the copy must carry.
            LayerRecord& L = doc.Layer(s);
            for (int r = 0; r < L.height; ++r)
                for (int b = 3 * L.width; b < L.stride; ++b) L.PixelRow(r)[b] = uint8_t(0xC0 + b);
            // An effect plane the turn clears: the copy must not keep it.
            std::memset(L.effectPlane.get(), 0x5A, size_t(L.planeSize));
        }
        ASSERT_TRUE(doc.RecordUndoStep(u"paint", UndoWholeDocument, -1));
        std::vector<Snapshot> before;
        for (int s : slots) before.emplace_back(doc.Layer(s));
        for (int turn = 0; turn < 3; ++turn) {   // fresh buffers, then the spare ones
            ASSERT_TRUE(commands::All().Find(1491)->run(doc, {})) << w << "x" << h;
            for (int s : slots) {
                const LayerRecord& a = doc.Layer(s);
                const LayerRecord& b = doc.prevState.layers[s];
                EXPECT_TRUE(SameAsLive(doc, s)) << w << "x" << h << " turn " << turn << " slot " << s;
                EXPECT_EQ(0, std::memcmp(a.effectPlane.get(), b.effectPlane.get(), size_t(a.planeSize)));
                EXPECT_EQ(a.x, b.x);
                EXPECT_EQ(a.y, b.y);
            }
        }
        // Back to the start: undo the three turns.
        for (int k = 0; k < 3; ++k) ASSERT_TRUE(doc.Undo());
        for (size_t k = 0; k < slots.size(); ++k) {
            const Snapshot now(doc.Layer(slots[k]));
            EXPECT_EQ(now.px, before[k].px) << w << "x" << h;
            EXPECT_EQ(now.al, before[k].al);
        }
        ASSERT_TRUE(doc.Redo());
        EXPECT_TRUE(SameAsLive(doc, slots[0]));
        // A turn, then a pixel painted and its step: the copy follows the paint.
        ASSERT_TRUE(commands::All().Find(1492)->run(doc, {}));
        doc.Layer(doc.currentLayer).pixels[0] ^= 0xFF;
        ASSERT_TRUE(doc.RecordUndoStep(u"paint", UndoLayerChanged, -1));
        EXPECT_TRUE(SameAsLive(doc, doc.currentLayer));
    }
}
