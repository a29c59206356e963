// The window filters on a 6000 x 4000 layer (24-bit colour and an alpha
// plane): the operation alone (BM_Op) and the whole document command with
// its frame (BM_Command: previous-state copy, scratch copy in, operation,
// scratch back into the layer; no undo step).
//
// Wall time is the benchmark's time; the CPU column is the process's
// processor time (both workers of the two-thread filters).
#include <benchmark/benchmark.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "CVexoDoc.h"
#include "filter_commands.h"
#include "layer_ops.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

// Smooth picture with noise, every pixel opaque.
void Fill(LayerRecord& l) {
    std::mt19937 rng(7);
    for (int r = 0; r < l.height; ++r) {
        uint8_t* p = l.pixels.get() + size_t(r) * size_t(l.stride);
        for (int x = 0; x < l.stride; ++x) p[x] = uint8_t((x / 3 + r) / 4 + (rng() & 31));
    }
    std::memset(l.alpha.get(), 255, size_t(l.planeSize));
}

struct Layer {
    VaZavi image{kTypeBMP};
    LayerRecord layer;
    std::vector<uint8_t> outPixels, outAlpha;
    layerops::LayerOpContext ctx;
    Layer() {
        layer.width = kWidth;
        layer.height = kHeight;
        layer.stride = ((kWidth * 24 + 31) / 32) * 4;
        layer.pixelSize = layer.stride * kHeight;
        layer.planeSize = kWidth * kHeight;
        layer.pixels.reset(new uint8_t[size_t(layer.pixelSize)]);
        layer.alpha.reset(new uint8_t[size_t(layer.planeSize)]);
        Fill(layer);
        outPixels.assign(layer.pixels.get(), layer.pixels.get() + layer.pixelSize);
        outAlpha.assign(size_t(layer.planeSize), 255);
        ctx.image = &image;
        ctx.layer = &layer;
        ctx.outPixels = outPixels.data();
        ctx.outAlpha = outAlpha.data();
    }
};

Layer& Shared() {
    static Layer l;
    return l;
}

const int kOutline[9] = {-1, -1, -1, -1, 8, -1, -1, -1, -1};
const int kEmboss[9] = {-3, 0, 0, 0, 0, 0, 0, 0, 3};

void Op(benchmark::State& state, const std::function<bool(layerops::LayerOpContext&)>& op) {
    Layer& l = Shared();
    for (auto _ : state)
        if (!op(l.ctx)) state.SkipWithError("operation failed");
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}

using layerops::LayerOpContext;
void BM_Mean(benchmark::State& s) { Op(s, [&](LayerOpContext& c) { return layerops::WindowMean(c, int(s.range(0)), 1); }); }
void BM_Soften(benchmark::State& s) {
    const int n = int(s.range(0));
    Op(s, [n](LayerOpContext& c) { return layerops::WindowMean(c, n, n * n); });
}
void BM_Erode(benchmark::State& s) { Op(s, [&](LayerOpContext& c) { return layerops::Erode(c, int(s.range(0))); }); }
void BM_Dilate(benchmark::State& s) { Op(s, [&](LayerOpContext& c) { return layerops::Dilate(c, int(s.range(0))); }); }
void BM_Outline(benchmark::State& s) { Op(s, [](LayerOpContext& c) { return layerops::Convolve3x3(c, kOutline, 1, 0, true); }); }
void BM_Emboss(benchmark::State& s) { Op(s, [](LayerOpContext& c) { return layerops::Convolve3x3(c, kEmboss, 2, 0, false); }); }
void BM_Median(benchmark::State& s) { Op(s, [&](LayerOpContext& c) { return layerops::Median(c, int(s.range(0))); }); }

#define OPBENCH(f) BENCHMARK(f)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()
OPBENCH(BM_Mean)->Arg(3)->Arg(5)->Arg(9);
OPBENCH(BM_Soften)->Arg(3)->Arg(9);
OPBENCH(BM_Erode)->Arg(3)->Arg(20);
OPBENCH(BM_Dilate)->Arg(3)->Arg(20);
OPBENCH(BM_Outline);
OPBENCH(BM_Emboss);
OPBENCH(BM_Median)->Arg(3)->Arg(5);

// The whole command on a document: warm buffers, as in an editing session.
struct Doc {
    HeadlessHost host;
    CVexoDoc doc{&host};
    Doc() {
        host.echoMessages = false;
        if (!doc.NewImage(kWidth, kHeight)) std::abort();
        Fill(doc.Layer(0));
    }
};

void Command(benchmark::State& state, const std::string& name, int p1, int p2) {
    static Doc d;
    if (!docfilters::RunFilterByName(d.doc, name, 0, p1, p2, 0)) state.SkipWithError("command failed");   // warm
    for (auto _ : state)
        if (!docfilters::RunFilterByName(d.doc, name, 0, p1, p2, 0)) state.SkipWithError("command failed");
}
void BM_CommandMean3(benchmark::State& s) { Command(s, "흐리게", 3, 0); }
void BM_CommandErode3(benchmark::State& s) { Command(s, "물체축소", 3, 0); }
void BM_CommandOutline(benchmark::State& s) { Command(s, "윤곽선", 1, 0); }
OPBENCH(BM_CommandMean3);
OPBENCH(BM_CommandErode3);
OPBENCH(BM_CommandOutline);

}  // namespace

BENCHMARK_MAIN();
