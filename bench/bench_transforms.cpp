// Geometric transforms, colour operations and colour reduction of one
// 6000 x 4000 true-colour layer: the image-core operation alone, on warm
// buffers (the destination is allocated and touched once, as the document
// keeps its scratch buffers and reuses replaced layer buffers).
//
// The operations split their rows over two threads; the CPU column is the
// whole process's CPU time, next to the wall time.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "CQuantizer.h"
#include "VaZavi.h"
#include "bench_fixture.h"
#include "layer_ops.h"
#include "layer_set.h"

namespace {

constexpr int kW = 6000, kH = 4000;

int64_t Stride24(int w) { return (int64_t(w) * 3 + 3) & ~int64_t(3); }

void Shape(LayerRecord& L, int w, int h) {
    L.Clear();
    L.inUse = 1;
    L.kind = LayerImage;
    L.width = w;
    L.height = h;
    L.stride = int32_t(Stride24(w));
    L.pixelSize = L.stride * h;
    L.planeSize = w * h;
    L.pixels.reset(new uint8_t[size_t(L.pixelSize)]);
    L.alpha.reset(new uint8_t[size_t(L.planeSize)]);
    std::memset(L.pixels.get(), 0, size_t(L.pixelSize));
    std::memset(L.alpha.get(), 0, size_t(L.planeSize));
}

// A photo-like layer: smooth gradients with a little grain, opaque.
struct Source {
    VaZavi image;
    LayerRecord layer;
    std::vector<uint8_t> outPixels, outAlpha;
    Source() {
        image.Create(24, 16, 16, 1);
        Shape(layer, kW, kH);
        uint32_t seed = 12345;
        for (int r = 0; r < kH; ++r) {
            uint8_t* p = layer.PixelRow(r);
            for (int x = 0; x < kW; ++x) {
                seed = seed * 1664525u + 1013904223u;
                const int grain = int(seed >> 29);
                p[3 * x] = uint8_t((x / 24 + grain) & 255);
                p[3 * x + 1] = uint8_t((r / 16 + grain) & 255);
                p[3 * x + 2] = uint8_t(((x + r) / 40 + grain) & 255);
            }
            std::memset(layer.AlphaRow(r), 255, size_t(kW));
        }
        outPixels.assign(size_t(layer.pixelSize), 0);
        outAlpha.assign(size_t(layer.planeSize), 0);
    }
    layerops::LayerOpContext Context() {
        layerops::LayerOpContext c;
        c.image = &image;
        c.layer = &layer;
        c.bitsPerPixel = 24;
        c.outPixels = outPixels.data();
        c.outAlpha = outAlpha.data();
        return c;
    }
};

Source& Src() {
    static Source s;
    return s;
}

void BM_MirrorLayer(benchmark::State& state) {
    Source& s = Src();
    for (auto _ : state) {
        auto c = s.Context();
        benchmark::DoNotOptimize(layerops::MirrorLayer(c));
    }
}

void BM_FlipLayer(benchmark::State& state) {
    Source& s = Src();
    for (auto _ : state) {
        auto c = s.Context();
        benchmark::DoNotOptimize(layerops::FlipLayer(c));
    }
}

// In place on the layer itself, as the document does without a selection.
void BM_MirrorLayerInPlace(benchmark::State& state) {
    Source& s = Src();
    for (auto _ : state) benchmark::DoNotOptimize(layerops::MirrorLayerInPlace(s.layer, 24));
}

void BM_FlipLayerInPlace(benchmark::State& state) {
    Source& s = Src();
    for (auto _ : state) benchmark::DoNotOptimize(layerops::FlipLayerInPlace(s.layer, 24));
}

void BM_QuarterTurnLayer(benchmark::State& state) {
    Source& s = Src();
    LayerRecord out;
    Shape(out, kH, kW);
    for (auto _ : state) benchmark::DoNotOptimize(layerops::QuarterTurnLayer(s.layer, out, 24, int(state.range(0))));
}

void BM_RotateLayer(benchmark::State& state) {
    Source& s = Src();
    const double deg = double(state.range(0));
    int nw, nh;
    layerops::RotatedSize(kW, kH, deg, nw, nh);
    LayerRecord out;
    Shape(out, nw, nh);
    for (auto _ : state) benchmark::DoNotOptimize(layerops::RotateLayer(s.image, s.layer, out, 24, deg));
}

void BM_ResizeLayer(benchmark::State& state) {
    Source& s = Src();
    const int pct = int(state.range(0));
    LayerRecord out;
    Shape(out, kW * pct / 100, kH * pct / 100);
    for (auto _ : state) benchmark::DoNotOptimize(layerops::ResizeLayer(s.image, s.layer, out));
}

void BM_Negative(benchmark::State& state) {
    Source& s = Src();
    for (auto _ : state) {
        auto c = s.Context();
        benchmark::DoNotOptimize(layerops::Negative(c));
    }
}

void BM_BrightnessContrast(benchmark::State& state) {
    Source& s = Src();
    for (auto _ : state) {
        auto c = s.Context();
        benchmark::DoNotOptimize(layerops::BrightnessContrast(c, 10, 20));
    }
}

// Tree, palette and the nearest-colour mapping of every pixel.
void BM_Quantize256(benchmark::State& state) {
    Source& s = Src();
    std::vector<uint8_t> indices(size_t(kW) * kH);
    for (auto _ : state) {
        CQuantizer q;
        q.ProcessLayer(s.layer, 24, nullptr, 0);
        std::vector<RgbQuad> table(256, RgbQuad{0, 0, 0, 0});
        q.GetColourTable(table.data());
        NearestColourMap nearest(table.data(), 256);
        nearest.MapRows(s.layer.pixels.get(), s.layer.stride, 3, indices.data(), kW, kW, kH);
        benchmark::DoNotOptimize(indices.data());
    }
}

void BM_QuantizeTreeOnly(benchmark::State& state) {
    Source& s = Src();
    for (auto _ : state) {
        CQuantizer q;
        q.ProcessLayer(s.layer, 24, nullptr, 0);
        benchmark::DoNotOptimize(q.GetColourCount());
    }
}

#define PIMLORA_TRANSFORM(fn) BENCHMARK(fn)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()

PIMLORA_TRANSFORM(BM_MirrorLayer);
PIMLORA_TRANSFORM(BM_FlipLayer);
PIMLORA_TRANSFORM(BM_MirrorLayerInPlace);
PIMLORA_TRANSFORM(BM_FlipLayerInPlace);
PIMLORA_TRANSFORM(BM_QuarterTurnLayer)->Arg(1)->Arg(3);
PIMLORA_TRANSFORM(BM_RotateLayer)->Arg(30);
PIMLORA_TRANSFORM(BM_ResizeLayer)->Arg(200)->Arg(50);
PIMLORA_TRANSFORM(BM_Negative);
PIMLORA_TRANSFORM(BM_BrightnessContrast);
PIMLORA_TRANSFORM(BM_Quantize256);
PIMLORA_TRANSFORM(BM_QuantizeTreeOnly);

}  // namespace

int main(int argc, char** argv) { return benchfixture::RunOnHugePages(argc, argv); }
