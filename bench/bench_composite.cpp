// Compositing speed.
//
//  * 40 visible 1920 x 1080 layers with alpha (a third opaque, a third
//    transparent, a third soft), composited at zoom 1.0 into a canvas-sized
//    BGRA buffer, with the normal rule and with each blend rule;
//  * one 1280 x 1024 view of a 6000 x 4000 document of 10 layers at zoom
//    0.25 and 1.0.
//
// Each is measured warm (destination buffer kept, as the document keeps its
// composite buffer) and cold (a fresh destination every time), next to the
// memory-bandwidth floor: a plain copy of the bytes the compositor reads
// (each layer's pixel and alpha rows it visits), measured in the same run.
// The compositor splits its rows over two threads: its CPU column is the
// whole process's CPU time, next to the wall time.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "CVexoDoc.h"

namespace {

void FillLayer(LayerRecord& L, int seed) {
    for (int r = 0; r < L.height; ++r) {
        uint8_t* p = L.PixelRow(r);
        for (int i = 0; i < L.width * 3; ++i) p[i] = uint8_t(i * 7 + r * 3 + seed * 11);
        uint8_t* a = L.AlphaRow(r);
        for (int x = 0; x < L.width; ++x) {
            // Bands a few hundred pixels wide, shifted per layer.
            const int band = ((x + seed * 97 + r / 64 * 31) / 211) % 3;
            a[x] = band == 0 ? 255 : band == 1 ? 0 : uint8_t((x * 5 + r + seed) & 255);
        }
    }
}

struct Stack {
    HeadlessHost host;
    std::unique_ptr<CVexoDoc> doc;
    Stack(int w, int h, int layers) : doc(new CVexoDoc(&host)) {
        host.echoMessages = false;
        doc->NewImage(w, h);
        FillLayer(doc->Layer(0), 0);
        for (int i = 1; i < layers; ++i) {
            doc->AddLayer();
            FillLayer(doc->Layer(doc->currentLayer), i);
        }
    }
    void SetMode(int mode) {
        for (int s : doc->StackOrder()) doc->Layer(s).blendMode = uint8_t(s == doc->headLayer ? 0 : mode);
    }
};

Stack* Full() {
    static Stack* s = nullptr;
    if (!s) s = new Stack(1920, 1080, 40);
    return s;
}

Stack* Big() {
    static Stack* s = nullptr;
    if (!s) s = new Stack(6000, 4000, 10);
    return s;
}


// --- 40 layers at zoom 1.0 ---------------------------------------------------------

void BM_Full_Floor(benchmark::State& state) {
    Stack* s = Full();
    const CVexoDoc& d = *s->doc;
    std::vector<uint8_t> sink(size_t(d.Layer(0).pixelSize) + size_t(d.Layer(0).planeSize));
    for (auto _ : state) {
        for (int i : d.StackOrder()) {
            const LayerRecord& L = d.Layer(i);
            std::memcpy(sink.data(), L.pixels.get(), size_t(L.pixelSize));
            std::memcpy(sink.data() + L.pixelSize, L.alpha.get(), size_t(L.planeSize));
        }
        benchmark::DoNotOptimize(sink.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 40 * (d.Layer(0).pixelSize + d.Layer(0).planeSize));
}

void BM_Full_Composite(benchmark::State& state) {
    Stack* s = Full();
    s->SetMode(int(state.range(0)));
    const bool cold = state.range(1) != 0;
    CVexoDoc& d = *s->doc;
    const size_t bytes = size_t(1920) * 1080 * 4;
    std::vector<uint8_t> warm(bytes);
    for (auto _ : state) {
        if (cold) {
            std::unique_ptr<uint8_t[]> fresh(new uint8_t[bytes]);
            d.CompositeRun(d.headLayer, -1, fresh.get());
            benchmark::DoNotOptimize(fresh.get());
        } else {
            d.CompositeRun(d.headLayer, -1, warm.data());
            benchmark::DoNotOptimize(warm.data());
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 40 * (d.Layer(0).pixelSize + d.Layer(0).planeSize));
    s->SetMode(0);
}

// --- one view of a 6000 x 4000 document -------------------------------------------------

constexpr int kViewW = 1280, kViewH = 1024;

// The bytes a view paint reads: per layer, the source rows it visits, over
// the columns it shows.
void BM_View_Floor(benchmark::State& state) {
    Stack* s = Big();
    const CVexoDoc& d = *s->doc;
    const double zoom = double(state.range(0)) / 100.0;
    const int cols = std::min(6000, int(kViewW / zoom)), rows = std::min(4000, int(kViewH / zoom));
    const int step = zoom < 1.0 ? int(1 / zoom) : 1;
    std::vector<uint8_t> sink(size_t(cols) * 4);
    int64_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (int i : d.StackOrder()) {
            const LayerRecord& L = d.Layer(i);
            for (int r = 0; r < rows; r += step) {
                std::memcpy(sink.data(), L.PixelRow(r), size_t(cols) * 3);
                std::memcpy(sink.data() + size_t(cols) * 3, L.AlphaRow(r), size_t(cols));
                bytes += int64_t(cols) * 4;
            }
        }
        benchmark::DoNotOptimize(sink.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}

void BM_View_Composite(benchmark::State& state) {
    Stack* s = Big();
    const CVexoDoc& d = *s->doc;
    const double zoom = double(state.range(0)) / 100.0;
    const bool cold = state.range(1) != 0;
    const size_t bytes = size_t(kViewW) * kViewH * 4;
    std::vector<uint8_t> warm(bytes);
    for (auto _ : state) {
        if (cold) {
            std::unique_ptr<uint8_t[]> fresh(new uint8_t[bytes]);
            d.CompositeRect(d.headLayer, -1, zoom, 0, 0, kViewW, kViewH, fresh.get(), kViewW * 4);
            benchmark::DoNotOptimize(fresh.get());
        } else {
            d.CompositeRect(d.headLayer, -1, zoom, 0, 0, kViewW, kViewH, warm.data(), kViewW * 4);
            benchmark::DoNotOptimize(warm.data());
        }
    }
}

}  // namespace

BENCHMARK(BM_Full_Floor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Full_Composite)
    ->ArgNames({"mode", "cold"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {0}})
    ->Args({0, 1})
    ->Args({2, 1})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_View_Floor)->ArgName("zoom%")->Arg(25)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_View_Composite)
    ->ArgNames({"zoom%", "cold"})
    ->ArgsProduct({{25, 100}, {0, 1}})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
