// The filter command frame: the layer gets the result, the previous-state
// copy the layer as it was, also when the buffers trade places instead of
// being copied, and the scratch buffers never alias either of them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "CVexoDoc.h"
#include "filter_commands.h"
#include "layer_ops.h"

namespace {
std::vector<uint8_t> Bytes(const std::unique_ptr<uint8_t[]>& p, int32_t n) { return {p.get(), p.get() + n}; }
}  // namespace

TEST(FilterFrame, PreviousStateHoldsTheLayerBeforeEachFilter) {
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(23, 11));
    LayerRecord& L = doc.Layer(0);
    std::mt19937 rng(3);
    for (int32_t i = 0; i < L.pixelSize; ++i) L.pixels[size_t(i)] = uint8_t(rng());
    for (int32_t i = 0; i < L.planeSize; ++i) L.alpha[size_t(i)] = uint8_t(rng() % 4 ? 255 : 0);
    for (int32_t i = 0; i < L.planeSize; ++i) L.effectPlane[size_t(i)] = uint8_t(i);
    // First run: the previous state may still lack buffers (full copy);
    // later runs: its buffers have the layer's sizes (hand-over).
    for (const char* name : {"흐리게", "물체축소", "윤곽선", "물체확장"}) {
        const std::vector<uint8_t> pix = Bytes(L.pixels, L.pixelSize), alpha = Bytes(L.alpha, L.planeSize);
        // The expected result: the same operation on copies.
        std::vector<uint8_t> outPix = pix, outAlpha = alpha;
        layerops::LayerOpContext ctx = layerops::MakeContext(doc.image, doc.live, 0, outPix.data(), outAlpha.data());
        if (!doc.selectionActive) ctx.selection = nullptr;
        const int outline[9] = {-1, -1, -1, -1, 8, -1, -1, -1, -1};
        const std::string n = name;
        ASSERT_TRUE(n == "흐리게" ? layerops::WindowMean(ctx, 4, 1)
                    : n == "물체축소" ? layerops::Erode(ctx, 4)
                    : n == "윤곽선" ? layerops::Convolve3x3(ctx, outline, 0, 0, true)
                                    : layerops::Dilate(ctx, 4));
        ASSERT_TRUE(docfilters::RunFilterByName(doc, name, 0, n == "윤곽선" ? 0 : 4, 0, 0)) << name;
        const LayerRecord& prev = doc.prevState.layers[0];
        EXPECT_EQ(Bytes(prev.pixels, prev.pixelSize), pix) << name;
        EXPECT_EQ(Bytes(prev.alpha, prev.planeSize), alpha) << name;
        EXPECT_EQ(0, std::memcmp(prev.effectPlane.get(), L.effectPlane.get(), size_t(L.planeSize))) << name;
        EXPECT_EQ(prev.width, L.width);
        EXPECT_EQ(Bytes(L.pixels, L.pixelSize), outPix) << name;
        EXPECT_EQ(Bytes(L.alpha, L.planeSize), outAlpha) << name;
        for (const uint8_t* s : {doc.scratchPixels.get(), doc.scratchAlpha.get()})
            for (const uint8_t* o : {L.pixels.get(), L.alpha.get(), prev.pixels.get(), prev.alpha.get()}) EXPECT_NE(s, o);
    }
}
