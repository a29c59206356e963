// The paint operations on a 6000 x 4000 layer.
//
//   BM_BrushDragStep      one drag step of the brush: restore, a 40-pixel
//                         line of stamps at size 25, commit, the dirty area
//   BM_BrushDragStepWhole the same with whole-layer restore and commit
//                         copies (what the step would cost without areas)
//   BM_Fill4MP            flood fill of a 2000 x 2000 region of one colour
//   BM_GradientLinear     gradient of the whole layer along a slanted line
//   BM_GradientVertical   the vertical rule
//
// PAINT_PICTURE=file.bmp opens that picture instead of the built-in one
// (bench/compare_paint.sh hands it the picture ImageMagick works on); the
// fill then starts at PAINT_FILL_X, PAINT_FILL_Y (picture pixels, from the
// top; 3000, 2000 by default).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

#include "CVexoDoc.h"
#include "paint.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

struct Picture {
    HeadlessHost host;
    CVexoDoc doc{&host};
    int fillX = 3000, fillY = 2000;
    Picture() {
        host.echoMessages = false;
        const char* path = std::getenv("PAINT_PICTURE");
        if (path && *path) {
            if (!doc.Open(path)) std::abort();
        } else {
            // Noise in blue-grey around a 2000 x 2000 square of light grey.
            doc.NewImage(kWidth, kHeight);
            LayerRecord& l = doc.Layer(doc.currentLayer);
            std::mt19937 rng(3);
            for (int r = 0; r < l.height; ++r) {
                uint8_t* p = l.PixelRow(r);
                const int y = l.height - 1 - r;
                for (int x = 0; x < l.width; ++x, p += 3) {
                    const bool square = x >= 2000 && x < 4000 && y >= 1000 && y < 3000;
                    p[0] = square ? 200 : uint8_t(150 + (rng() & 15));
                    p[1] = square ? 200 : uint8_t(90 + (rng() & 15));
                    p[2] = square ? 200 : uint8_t(40 + (rng() & 15));
                }
            }
        }
        if (const char* x = std::getenv("PAINT_FILL_X")) fillX = std::atoi(x);
        if (const char* y = std::getenv("PAINT_FILL_Y")) fillY = std::atoi(y);
        doc.prevState.layers[doc.currentLayer].CopyFrom(doc.Layer(doc.currentLayer));
    }
};

Picture& Shared() {
    static Picture p;
    return p;
}

const paint::Rgb kRed{230, 30, 40}, kBlue{20, 40, 220};

// The drag goes round a loop of 40-pixel steps over the picture.
paint::ZPoint Along(int i) {
    const int n = 120;   // points on the loop
    const int k = i % n;
    return paint::ZPoint{1000 + 40 * (k < 60 ? k : 120 - k), 500 + (k < 60 ? 0 : 60)};
}

void BM_BrushDragStep(benchmark::State& state) {
    CVexoDoc& d = Shared().doc;
    paint::RestoreCurrentLayer(d);   // starts the area (a whole copy, once)
    paint::CommitCurrentLayer(d);
    int i = 0;
    for (auto _ : state) {
        paint::RestoreCurrentLayer(d);
        paint::Stroke(d, paint::StrokeMode::Paint, Along(i), Along(i + 1), kRed, 25, paint::kSoftBrush);
        paint::CommitCurrentLayer(d);
        benchmark::DoNotOptimize(paint::TakeDirtyArea(d));
        ++i;
    }
}
BENCHMARK(BM_BrushDragStep)->Unit(benchmark::kMillisecond);

void BM_BrushDragStepWhole(benchmark::State& state) {
    CVexoDoc& d = Shared().doc;
    const int cur = d.currentLayer;
    int i = 0;
    for (auto _ : state) {
        d.Layer(cur).CopyFrom(d.prevState.layers[cur]);
        paint::Stroke(d, paint::StrokeMode::Paint, Along(i), Along(i + 1), kRed, 25, paint::kSoftBrush);
        d.prevState.layers[cur].CopyFrom(d.Layer(cur));
        ++i;
    }
}
BENCHMARK(BM_BrushDragStepWhole)->Unit(benchmark::kMillisecond);

void BM_Fill4MP(benchmark::State& state) {
    Picture& p = Shared();
    // Alternating colours: every fill finds the same region again.
    bool red = true;
    for (auto _ : state) {
        paint::Fill(p.doc, paint::ZPoint{p.fillX, p.fillY}, red ? kRed : kBlue, 10, 0);
        red = !red;
    }
}
BENCHMARK(BM_Fill4MP)->Unit(benchmark::kMillisecond);

void BM_GradientLinear(benchmark::State& state) {
    CVexoDoc& d = Shared().doc;
    for (auto _ : state)
        paint::Gradient(d, paint::ZPoint{0, 0}, paint::ZPoint{5999, 3999}, kRed, kBlue, 2, 1);
}
BENCHMARK(BM_GradientLinear)->Unit(benchmark::kMillisecond);

void BM_GradientVertical(benchmark::State& state) {
    CVexoDoc& d = Shared().doc;
    for (auto _ : state)
        paint::Gradient(d, paint::ZPoint{100, 0}, paint::ZPoint{100, 3999}, kRed, kBlue, 2, 1);
}
BENCHMARK(BM_GradientVertical)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
