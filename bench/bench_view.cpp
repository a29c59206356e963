// Paint of the editor's view without the window system: the visible part of
// a 6000 x 4000, 10-layer document composited at the zoom straight into a
// 1280 x 1024 frame of 32-bit pixels over the backdrop hatch (what
// CVexoView::RenderFrame does before the frame goes to the X server). The
// compositor uses two threads; the CPU column is the whole process's CPU
// time.
#include <benchmark/benchmark.h>

#include <algorithm>
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
    bool Ok() const { return doc && doc->LayerCount() == 10; }
    viewmath::CompositeFn Compositor(double z) const {
        CVexoDoc* d = doc.get();
        return [d, z](int left, int top, int w, int h, uint8_t* dst, ptrdiff_t stride) {
            d->CompositeRect(d->headLayer, -1, z, left, top, w, h, dst, stride);
        };
    }
};

BigDocument& Doc() {
    static BigDocument d;
    return d;
}

constexpr int kClientW = 1280, kClientH = 1024;

struct FrameMemory {
    std::vector<uint8_t> px = std::vector<uint8_t>(size_t(kClientW) * kClientH * 4);
    viewmath::Frame frame{px.data(), kClientW * 4, kClientW, kClientH};
};

// A whole paint at one zoom (the picture changed, or the zoom did).
void BM_ViewPaint(benchmark::State& state) {
    BigDocument& d = Doc();
    if (!d.Ok()) return state.SkipWithError("document not built");
    const double z = state.range(0) / 100.0;
    FrameMemory m;
    viewmath::FramePainter painter;
    viewmath::FramePainter::State s;
    s.W = 6000, s.H = 4000, s.z = z;
    const auto composite = d.Compositor(z);
    for (auto _ : state) {
        painter.Paint(s, m.frame, composite, true);
        benchmark::DoNotOptimize(m.px.data());
    }
    state.counters["layers"] = d.doc->LayerCount();
}
BENCHMARK(BM_ViewPaint)->Arg(25)->Arg(100)->Arg(125)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// From a zoom key to the finished frame: the zoom step, the new scroll
// position that keeps the relative position, and the whole paint. Argument:
// the zoom before the key times 1000; even iterations zoom in, odd ones
// zoom back out.
void BM_ZoomKey(benchmark::State& state) {
    BigDocument& d = Doc();
    if (!d.Ok()) return state.SkipWithError("document not built");
    const double from = state.range(0) / 1000.0;
    FrameMemory m;
    viewmath::FramePainter painter;
    viewmath::FramePainter::State s;
    s.W = 6000, s.H = 4000, s.z = from;
    s.scrollX = int(1500 * from), s.scrollY = int(1000 * from);
    bool in = true;
    for (auto _ : state) {
        const double oldZ = s.z;
        if (in) viewmath::ZoomInStep(s.z);
        else s.z = from;   // the step back (0.8 x 1.25 need not give the start again)
        in = !in;
        const int oldW = int(6000 * oldZ), oldH = int(4000 * oldZ);
        const int zw = int(6000 * s.z), zh = int(4000 * s.z);
        s.scrollX = std::max(0, std::min(int(double(s.scrollX) / oldW * zw), zw - kClientW));
        s.scrollY = std::max(0, std::min(int(double(s.scrollY) / oldH * zh), zh - kClientH));
        painter.Paint(s, m.frame, d.Compositor(s.z), false);
        benchmark::DoNotOptimize(m.px.data());
    }
}
BENCHMARK(BM_ZoomKey)->Arg(1000)->Arg(800)->Arg(262)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// Scrolling at one zoom (at 0.33 the picture is 1980 x 1320): 40 screen pixels right and 24 down per paint (and
// back); only the strips that came into view are composited.
void BM_ViewScroll(benchmark::State& state) {
    BigDocument& d = Doc();
    if (!d.Ok()) return state.SkipWithError("document not built");
    const double z = state.range(0) / 100.0;
    FrameMemory m;
    viewmath::FramePainter painter;
    viewmath::FramePainter::State s;
    s.W = 6000, s.H = 4000, s.z = z;
    // Scroll positions the window allows (the picture fills it on both axes).
    s.scrollX = std::min(400, int(6000 * z) - kClientW - 40);
    s.scrollY = std::min(200, int(4000 * z) - kClientH - 24);
    const auto composite = d.Compositor(z);
    painter.Paint(s, m.frame, composite, true);
    int dir = 1;
    for (auto _ : state) {
        s.scrollX += 40 * dir;
        s.scrollY += 24 * dir;
        dir = -dir;
        painter.Paint(s, m.frame, composite, false);
        benchmark::DoNotOptimize(m.px.data());
    }
}
BENCHMARK(BM_ViewScroll)->Arg(33)->Arg(100)->Arg(125)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// The view's own share: backdrop and grid over an already composited
// 1280 x 1024 rectangle with partly transparent pixels.
void BM_ViewFrameOnly(benchmark::State& state) {
    std::vector<uint8_t> rect(size_t(kClientW) * kClientH * 4);
    for (size_t i = 0; i < rect.size(); ++i) rect[i] = uint8_t(i * 13);
    FrameMemory m;
    viewmath::Visible v{0, 0, kClientW, kClientH, 0, 0};
    for (auto _ : state) {
        std::memcpy(m.px.data(), rect.data(), rect.size());
        viewmath::Finish(v, 0, 0, kClientW, kClientH, 1.0, viewmath::Look{}, m.frame);
        benchmark::DoNotOptimize(m.px.data());
    }
}
BENCHMARK(BM_ViewFrameOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
