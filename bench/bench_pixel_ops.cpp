// The per-pixel colour operations on one 6000 x 4000 true-colour layer,
// each next to the memory-bandwidth floor of the bytes it touches, measured
// in the same run:
//
//  * Floor/pixels: a plain memcpy of the layer's pixel buffer into the
//    scratch pixel buffer (72 MB read, 72 MB written) - what the negative
//    and the channel splits move;
//  * Floor/pixels+alpha: the same plus the alpha plane into the scratch
//    alpha plane (96 MB each way) - what the operations that test each
//    pixel's alpha and commit it (brightness/contrast, grey, levels, the
//    thresholds) move;
//  * Floor/fresh: the pixel buffer copied into a new buffer of its size -
//    what the YUV and HSL splits, whose three planes are new pictures,
//    move (a first write to fresh memory costs the kernel's clearing of
//    its pages).
//
// BM_Op/* is the image-core operation alone on warm buffers (no selection,
// every pixel opaque); BM_Command/* the document command with its frame
// (previous-state copy, scratch copy in and out) and without its undo step.
// The operations split their rows over two threads: the CPU column is the
// whole process's processor time, next to the wall time. Each benchmark
// reports the minimum of its repetitions as well (--benchmark_repetitions).
// The quarter-turn rows (last: they turn the picture) move what
// Floor/pixels+alpha moves.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "CVexoDoc.h"
#include "commands.h"
#include "filter_commands.h"
#include "bench_fixture.h"
#include "layer_access.h"
#include "layer_ops.h"
#include "quarter_turn.h"

namespace {

constexpr int kW = 6000, kH = 4000;

struct Picture {
    HeadlessHost host;
    std::unique_ptr<CVexoDoc> doc;
    std::vector<uint8_t> planes;   // three canvas-sized planes for the RGB split
    Picture() : doc(new CVexoDoc(&host)) {
        host.echoMessages = false;
        doc->recordUndo = false;
        doc->NewImage(kW, kH);
        LayerRecord& L = doc->Layer(0);
        // A photo-like picture: smooth fields with grain.
        std::mt19937 rng(9);
        for (int r = 0; r < L.height; ++r) {
            uint8_t* p = L.PixelRow(r);
            for (int x = 0; x < L.width; ++x) {
                const int grain = int(rng() & 15);
                p[3 * x] = uint8_t((x / 24 + grain) & 255);
                p[3 * x + 1] = uint8_t((r / 16 + grain) & 255);
                p[3 * x + 2] = uint8_t(((x + r) / 40 + grain) & 255);
            }
        }
        std::memset(L.alpha.get(), 255, size_t(L.planeSize));
        doc->BeginLayerOp(0);   // scratch buffers of the layer's size, touched once
        planes.assign(size_t(kW) * kH * 3, 0);
    }
    layerops::LayerOpContext Context() {
        layerops::LayerOpContext c = layerops::MakeContext(doc->image, doc->live, 0, doc->scratchPixels.get(),
                                                           doc->scratchAlpha.get());
        c.selection = nullptr;
        return c;
    }
};

Picture& Pic() {
    static Picture* p = new Picture;
    return *p;
}

double Min(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

void BM_Floor(benchmark::State& state) {
    Picture& p = Pic();
    const LayerRecord& L = p.doc->Layer(0);
    const bool alpha = state.range(0) != 0;
    for (auto _ : state) {
        std::memcpy(p.doc->scratchPixels.get(), L.pixels.get(), size_t(L.pixelSize));
        if (alpha) std::memcpy(p.doc->scratchAlpha.get(), L.alpha.get(), size_t(L.planeSize));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * (L.pixelSize + (alpha ? L.planeSize : 0)));
}

void BM_FloorFresh(benchmark::State& state) {
    Picture& p = Pic();
    const LayerRecord& L = p.doc->Layer(0);
    for (auto _ : state) {
        std::unique_ptr<uint8_t[]> fresh(new uint8_t[size_t(L.pixelSize)]);
        std::memcpy(fresh.get(), L.pixels.get(), size_t(L.pixelSize));
        benchmark::DoNotOptimize(fresh.get());
    }
}

void Op(benchmark::State& state, const std::function<bool(layerops::LayerOpContext&)>& op) {
    Picture& p = Pic();
    for (auto _ : state) {
        auto c = p.Context();
        if (!op(c)) state.SkipWithError("operation failed");
        benchmark::ClobberMemory();
    }
}

using layerops::LayerOpContext;

void BM_Op_Negative(benchmark::State& s) { Op(s, layerops::Negative); }
void BM_Op_BrightnessContrast(benchmark::State& s) {
    Op(s, [](LayerOpContext& c) { return layerops::BrightnessContrast(c, 10, 20); });
}
void BM_Op_Grey(benchmark::State& s) { Op(s, layerops::GreyLayer); }
void BM_Op_LevelsAuto(benchmark::State& s) {
    Op(s, [](LayerOpContext& c) { return layerops::RemapLevels(c, 0, -1, -1, false); });
}
void BM_Op_LevelsEqualise(benchmark::State& s) {
    Op(s, [](LayerOpContext& c) { return layerops::RemapLevels(c, 0, -1, -1, true); });
}
void BM_Op_LevelsRed(benchmark::State& s) {
    Op(s, [](LayerOpContext& c) { return layerops::RemapLevels(c, 1, 30, 200, false); });
}
void BM_Op_ThresholdFloyd(benchmark::State& s) {
    Op(s, [](LayerOpContext& c) { return layerops::ThresholdFloyd(c, 128); });
}
void BM_Op_ThresholdOrdered(benchmark::State& s) {
    Op(s, [](LayerOpContext& c) { return layerops::ThresholdOrdered(c, 128); });
}
void BM_Op_ThresholdSimple(benchmark::State& s) {
    Op(s, [](LayerOpContext& c) { return layerops::ThresholdSimple(c, 128); });
}
void BM_Op_Histogram(benchmark::State& s) {
    uint32_t table[1024];
    Op(s, [&](LayerOpContext& c) { return layerops::Histogram(c, table); });
}
void BM_Op_SplitRGB(benchmark::State& state) {
    Picture& p = Pic();
    uint8_t* pl = p.planes.data();
    const size_t n = size_t(kW) * kH;
    for (auto _ : state) {
        if (!layerops::SplitRGB(p.doc->image, p.doc->live, 0, pl, pl + n, pl + 2 * n)) state.SkipWithError("failed");
        benchmark::ClobberMemory();
    }
}
void Split3(benchmark::State& state, bool hsl) {
    Picture& p = Pic();
    for (auto _ : state) {
        VaZavi t[3];
        const bool ok = hsl ? layerops::SplitHSL(p.doc->image, p.doc->live, 0, &t[0], &t[1], &t[2])
                            : layerops::SplitYUV(p.doc->image, p.doc->live, 0, &t[0], &t[1], &t[2]);
        if (!ok) state.SkipWithError("failed");
        benchmark::DoNotOptimize(t[0].Row(0));
    }
}
void BM_Op_SplitYUV(benchmark::State& s) { Split3(s, false); }
void BM_Op_SplitHSL(benchmark::State& s) { Split3(s, true); }

// The document commands in their frame, without the undo step (which the
// journal writes behind the user's back).
void Command(benchmark::State& state, int id, std::vector<int> params) {
    Picture& p = Pic();
    const commands::Command* c = commands::All().Find(id);
    if (!c) {
        state.SkipWithError("no such command");
        return;
    }
    for (auto _ : state)
        if (!c->run(*p.doc, params)) state.SkipWithError("command failed");
}
void BM_Command_Negative(benchmark::State& s) { Command(s, 1413, {}); }
void BM_Command_Grey(benchmark::State& s) { Command(s, 4224, {}); }
void BM_Command_ThresholdSimple(benchmark::State& s) {
    Picture& p = Pic();
    for (auto _ : s)
        if (!docfilters::ApplyFilterStep(*p.doc, docfilters::ParseFilterStep("임계치변환/절대변환:128")))
            s.SkipWithError("failed");
}
void BM_Command_BrightnessContrast(benchmark::State& s) {
    Picture& p = Pic();
    for (auto _ : s)
        if (!docfilters::RunLayerOp(*p.doc, -1, 10, 20,
                                    [](LayerOpContext& c) { return layerops::BrightnessContrast(c, 10, 20); }))
            s.SkipWithError("failed");
}

// The quarter turn (1491), whose goal is 40 ms, next to Floor/alpha:1 (the
// bytes it reads and writes): the kernel alone into a layer of the turned
// size that is reused (kernel:0 the scalar reference walk, kernel:1 the best
// one the CPU has, kernel:2 the AVX2 block walk); the command as the user gives it a second time (the
// buffers the first turn replaced are reused, the previous-state copy is
// refreshed from the turned layer); and the first turn after opening, into
// memory the program has never touched (a new document each time).
void BM_Op_QuarterTurn(benchmark::State& state) {
    Picture& p = Pic();
    const LayerRecord& L = p.doc->Layer(0);
    static LayerRecord* out = [&] {
        auto* o = new LayerRecord;
        o->inUse = 1;
        o->kind = LayerImage;
        o->width = L.height, o->height = L.width;
        o->stride = (o->width * 3 + 3) & ~3;
        o->pixelSize = o->stride * o->height, o->planeSize = o->width * o->height;
        o->pixels.reset(new uint8_t[size_t(o->pixelSize)]());
        o->alpha.reset(new uint8_t[size_t(o->planeSize)]());
        return o;
    }();
    if (state.range(0) == 2 && !layerops::TurnKernelAvailable(layerops::TurnKernel::Avx2)) {
        state.SkipWithError("no AVX2");
        return;
    }
    for (auto _ : state) {
        const bool ok = state.range(0) == 1 ? layerops::QuarterTurnLayer(L, *out, 24, 1)
                        : layerops::QuarterTurnLayerWith(
                              state.range(0) ? layerops::TurnKernel::Avx2 : layerops::TurnKernel::Scalar, L, *out, 24, 1);
        if (!ok) state.SkipWithError("failed");
        benchmark::ClobberMemory();
    }
}
void BM_Command_QuarterTurn(benchmark::State& s) {
    Picture& p = Pic();
    const commands::Command* c = commands::All().Find(1491);
    c->run(*p.doc, {});   // the first turn leaves its old buffers for the next
    for (auto _ : s)
        if (!c->run(*p.doc, {})) s.SkipWithError("command failed");
}
void BM_Command_QuarterTurnFirst(benchmark::State& s) {
    const commands::Command* c = commands::All().Find(1491);
    for (auto _ : s) {
        s.PauseTiming();
        auto host = std::make_unique<HeadlessHost>();
        host->echoMessages = false;
        auto doc = std::make_unique<CVexoDoc>(host.get());
        doc->recordUndo = false;
        doc->NewImage(kW, kH);
        s.ResumeTiming();
        if (!c->run(*doc, {})) s.SkipWithError("command failed");
        s.PauseTiming();
        doc.reset();
        host.reset();
        s.ResumeTiming();
    }
}

#define PIMLORA_PIXEL(fn)                                                                                  \
    BENCHMARK(fn)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->ComputeStatistics( \
        "min", Min)

PIMLORA_PIXEL(BM_Floor)->ArgName("alpha")->Arg(0)->Arg(1);
PIMLORA_PIXEL(BM_FloorFresh);
PIMLORA_PIXEL(BM_Op_Negative);
PIMLORA_PIXEL(BM_Op_BrightnessContrast);
PIMLORA_PIXEL(BM_Op_Grey);
PIMLORA_PIXEL(BM_Op_SplitRGB);
PIMLORA_PIXEL(BM_Op_SplitYUV);
PIMLORA_PIXEL(BM_Op_SplitHSL);
PIMLORA_PIXEL(BM_Op_Histogram);
PIMLORA_PIXEL(BM_Op_LevelsAuto);
PIMLORA_PIXEL(BM_Op_LevelsEqualise);
PIMLORA_PIXEL(BM_Op_LevelsRed);
PIMLORA_PIXEL(BM_Op_ThresholdFloyd);
PIMLORA_PIXEL(BM_Op_ThresholdOrdered);
PIMLORA_PIXEL(BM_Op_ThresholdSimple);
PIMLORA_PIXEL(BM_Command_Negative);
PIMLORA_PIXEL(BM_Command_BrightnessContrast);
PIMLORA_PIXEL(BM_Command_Grey);
PIMLORA_PIXEL(BM_Command_ThresholdSimple);
PIMLORA_PIXEL(BM_Op_QuarterTurn)->ArgName("kernel")->Arg(0)->Arg(1)->Arg(2);
PIMLORA_PIXEL(BM_Command_QuarterTurn);
PIMLORA_PIXEL(BM_Command_QuarterTurnFirst)->Iterations(3);

}  // namespace

// PIMLORA_BENCH_AVX2=1 keeps the operations to their AVX2 paths (for
// side-by-side runs of the 512-bit ones against them).
int main(int argc, char** argv) {
    if (const char* v = std::getenv("PIMLORA_BENCH_AVX2"); v && *v == '1') layerops::AllowAvx512Paths(false);
    return benchfixture::RunOnHugePages(argc, argv);
}
