// Paint of the editor's view without the window system: the visible part of
// a 6000 x 4000, 10-layer document composited at the zoom into a 1280 x 1024
// frame over the backdrop hatch (what CVexoView::RenderFrame does before the
// bitmap is handed to the X server). The compositor uses two threads; the
// CPU column of the paint is the whole process's CPU time.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

#include "CVexoDoc.h"
#include "VaZavi.h"
#include "view_render.h"

namespace {

struct BigDocument {
    HeadlessHost host;
    std::unique_ptr<CVexoDoc> doc;
    BigDocument() {
        host.echoMessages = false;
        const int W = 6000, H = 4000;
        auto path = std::filesystem::temp_directory_path() / "pimlora_bench_view.bmp";
        {
            VaZavi img(24, W, H, kTypeBMP);
            std::mt19937 rng(7);
            for (int y = 0; y < H; ++y) {
                uint8_t* r = img.Row(y);
                for (int x = 0; x < W * 3; ++x) r[x] = uint8_t((x * 7 + y * 3) ^ (rng() & 15));
            }
            img.Save(path.string().c_str(), kTypeBMP);
        }
        doc = std::make_unique<CVexoDoc>(&host);
        if (!doc->Open(path.string())) return;
        std::filesystem::remove(path);
        // Nine more layers, half-transparent, with their own pixels.
        for (int n = 1; n < 10; ++n) {
            if (!doc->AddLayer()) break;
            LayerRecord& L = doc->Layer(doc->currentLayer);
            if (!L.pixels || !L.alpha) continue;
            for (int r = 0; r < L.height; ++r) {
                uint8_t* p = L.PixelRow(r);
                for (int x = 0; x < L.width * 3; ++x) p[x] = uint8_t(x * n + r);
                std::memset(L.AlphaRow(r), 40 + n * 10, size_t(L.width));
            }
        }
    }
};

BigDocument& Doc() {
    static BigDocument d;
    return d;
}

void BM_ViewPaint(benchmark::State& state) {
    BigDocument& d = Doc();
    if (!d.doc || d.doc->LayerCount() != 10) {
        state.SkipWithError("document not built");
        return;
    }
    const double z = state.range(0) / 100.0;
    const int cw = 1280, ch = 1024;
    std::vector<uint8_t> rect, rgb(size_t(cw) * ch * 3);
    viewmath::Frame f{rgb.data(), cw * 3, cw, ch};
    viewmath::Look look;
    for (auto _ : state) {
        auto r = viewmath::ComputeImageRect(6000, 4000, z, cw, ch);
        auto v = viewmath::VisiblePart(r, 0, 0, cw, ch);
        rect.resize(size_t(v.width) * v.height * 4);
        d.doc->CompositeRect(d.doc->headLayer, -1, z, v.left, v.top, v.width, v.height, rect.data(),
                             ptrdiff_t(v.width) * 4);
        viewmath::Render(rect.data(), v, z, look, f);
        benchmark::DoNotOptimize(rgb.data());
    }
    state.counters["layers"] = d.doc->LayerCount();
}
BENCHMARK(BM_ViewPaint)->Arg(25)->Arg(100)->Arg(125)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// The view's own share: backdrop, blend and copy of an already composited
// 1280 x 1024 rectangle with partly transparent pixels.
void BM_ViewFrameOnly(benchmark::State& state) {
    const int cw = 1280, ch = 1024;
    std::vector<uint8_t> rect(size_t(cw) * ch * 4), rgb(size_t(cw) * ch * 3);
    for (size_t i = 0; i < rect.size(); ++i) rect[i] = uint8_t(i * 13);
    viewmath::Frame f{rgb.data(), cw * 3, cw, ch};
    viewmath::Visible v{0, 0, cw, ch, 0, 0};
    for (auto _ : state) {
        viewmath::Render(rect.data(), v, 1.0, viewmath::Look{}, f);
        benchmark::DoNotOptimize(rgb.data());
    }
}
BENCHMARK(BM_ViewFrameOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
