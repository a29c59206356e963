// The view side of the mouse tools on a 6000 x 4000 picture, shown at 100 %
// in a 1280 x 1024 frame scrolled into its middle, as the editor does it
// without the window system:
//   RubberBand   one drag step of the rectangle selection: the tool moves
//                the band, then the frame repaints the tiles the band
//                covered before and covers now, and draws the band (goal
//                under 2 ms);
//   BrushStep    one drag step of the brush at size 25 over 40 pixels:
//                restore, the stamp line, commit, then the repaint of the
//                area it painted (goal under 4 ms);
//   MoveStep     one drag step of the move tool carrying the middle one of
//                three 6000 x 4000 layers, then the repaint of the window
//                (goal under 16 ms): /1 as the view does it, from the kept
//                composites of the layers below and above (move_cache.h),
//                /0 compositing the whole stack at every step, to compare;
//                the second number: the layers below the moving one (1: three
//                layers in all, 4: six);
//   TransformStep one drag step of the free transform (resize) of a
//                2000 x 2000 layer: the layer back from the preview copy,
//                the handles moved, the frame repainted (goal under 16 ms).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "CVexoDoc.h"
#include "modes.h"
#include "move_cache.h"
#include "session.h"
#include "undo_journal.h"
#include "view_render.h"
#include "workbench.h"

namespace {

constexpr int kW = 6000, kH = 4000, kClientW = 1280, kClientH = 1024, kScrollX = 2400, kScrollY = 1500;

struct Window {
    tools::SessionHost host;
    CVexoDoc doc{&host};
    tools::Workbench bench{host.box, doc, host};
    std::vector<uint8_t> frame = std::vector<uint8_t>(size_t(kClientW) * kClientH * 4);
    viewmath::Frame out;
    viewmath::FramePainter painter;
    viewmath::FramePainter::State state;
    viewmath::CompositeFn composite;
    tools::MoveCache cache;
    bool useCache = false;

    Window() {
        doc.NewImage(kW, kH);
        LayerRecord& L = doc.Layer(doc.currentLayer);
        for (int r = 0; r < L.height; ++r) {
            uint8_t* p = L.PixelRow(r);
            for (int x = 0; x < L.width * 3; ++x) p[x] = uint8_t(x * 3 + r);
        }
        doc.recordUndo = false;   // the steps of a drag are not what is measured
        doc.RecordUndoStep(u"initial state", UndoLayerChanged, -1);
        out.px = frame.data();
        out.stride = kClientW * 4;
        out.clientW = kClientW;
        out.clientH = kClientH;
        state.W = kW;
        state.H = kH;
        state.scrollX = kScrollX;
        state.scrollY = kScrollY;
        cache.SetWindow(kScrollX, kScrollY, kClientW, kClientH);
        composite = [this](int left, int top, int w, int h, uint8_t* dst, ptrdiff_t stride) {
            // As the view: the kept composites while a layer moves.
            const int moving = bench.MovingLayer();
            if (useCache && moving >= 0)
                cache.Composite(doc, moving, left, top, w, h, dst, stride);
            else
                doc.CompositeRect(doc.headLayer, -1, 1.0, left, top, w, h, dst, stride);
        };
        painter.Paint(state, out, composite, true);
    }
    // What the view does after an event: the damaged rectangles again, then
    // the overlay within them.
    void Repaint() {
        const tools::Damage d = bench.TakeDamage();
        if (d.full) {
            painter.Paint(state, out, composite, true);
            return;
        }
        const viewmath::Visible& v = painter.LastVisible();
        std::vector<viewmath::Clip> clips;
        for (const tools::ZRect& r : d.rects) {
            painter.Repaint(state, out, composite, r.left, r.top, r.right - r.left, r.bottom - r.top);
            clips.push_back(viewmath::Clip{r.left, r.top, r.right, r.bottom});
        }
        bench.GetOverlay().Rasterize([&](int x, int y, int n) {
            for (const viewmath::Clip& c : clips)
                if (y >= c.top && y < c.bottom) viewmath::FillSpan(v, out, x, y, n, 0, c);
        });
    }
    static tools::MouseEvent At(int x, int y) {
        tools::MouseEvent e;
        e.at = paint::ZPoint{x, y};
        return e;
    }
};

void BM_RubberBand(benchmark::State& st) {
    Window w;
    w.host.box.Switch(1342);
    const int x0 = kScrollX + 100, y0 = kScrollY + 80;
    w.bench.Press(Window::At(x0, y0));
    w.Repaint();
    int step = 0;
    for (auto _ : st) {
        // The far corner wanders over most of the window.
        const int k = step++ % 800;
        w.bench.Move(Window::At(x0 + 200 + k, y0 + 150 + k / 2), true);
        w.Repaint();
    }
}
BENCHMARK(BM_RubberBand)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BrushStep(benchmark::State& st) {
    Window w;
    w.host.box.Settings().SetBrush(25, 1);
    w.host.box.Switch(1347);
    int x = kScrollX + 100;
    const int y = kScrollY + 500;
    w.bench.Press(Window::At(x, y));
    w.Repaint();
    for (auto _ : st) {
        x += 40;
        if (x > kScrollX + kClientW - 100) x = kScrollX + 100;
        w.bench.Move(Window::At(x, y), true);
        w.Repaint();
    }
    w.bench.Release(Window::At(x, y));
}
BENCHMARK(BM_BrushStep)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MoveStep(benchmark::State& st) {
    Window w;
    w.useCache = st.range(0) == 1;
    // More full-size layers: range(1) - 1 more below the moving one (faded,
    // screening), the moving one, and one above it, faded and multiplying.
    const int below = int(st.range(1));
    for (int k = 0; k < below + 1; ++k) {
        w.doc.AddLayer();
        LayerRecord& L = w.doc.Layer(w.doc.currentLayer);
        const bool top = k == below, moving = k == below - 1;
        for (int r = 0; r < L.height; ++r) std::memset(L.AlphaRow(r), top ? 90 : 200, size_t(L.width));
        if (!moving) {
            L.blendMode = top ? 2 : 3;
            L.transparency = 60;
        }
    }
    const std::vector<int> order = w.doc.StackOrder();
    w.doc.SelectLayer(order[size_t(below)]);
    w.host.box.Switch(1570);
    w.painter.Paint(w.state, w.out, w.composite, true);
    int x = kScrollX + 300;
    const int y = kScrollY + 400;
    w.bench.Press(Window::At(x, y));
    int step = 0;
    for (auto _ : st) {
        x += (step++ / 50) % 2 ? -3 : 3;
        w.bench.Move(Window::At(x, y), true);
        w.Repaint();
    }
    w.bench.Release(Window::At(x, y));
    st.counters["builds"] = w.cache.Builds();
}
BENCHMARK(BM_MoveStep)->Args({0, 1})->Args({1, 1})->Args({0, 4})->Args({1, 4})->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_TransformStep(benchmark::State& st) {
    tools::SessionHost host;
    CVexoDoc doc{&host};
    tools::Workbench bench{host.box, doc, host};
    doc.NewImage(2000, 2000);
    doc.recordUndo = false;
    doc.RecordUndoStep(u"initial state", UndoLayerChanged, -1);
    std::vector<uint8_t> frame(size_t(kClientW) * kClientH * 4);
    viewmath::Frame out{frame.data(), kClientW * 4, kClientW, kClientH};
    viewmath::FramePainter painter;
    viewmath::FramePainter::State state;
    state.W = state.H = 2000;
    state.scrollX = 400;
    state.scrollY = 400;
    viewmath::CompositeFn composite = [&doc](int left, int top, int w, int h, uint8_t* dst, ptrdiff_t stride) {
        doc.CompositeRect(doc.headLayer, -1, 1.0, left, top, w, h, dst, stride);
    };
    painter.Paint(state, out, composite, true);
    tools::BeginTransform(host.box, doc, 4250);
    bench.Press(Window::At(1999, 1999));
    int step = 0;
    for (auto _ : st) {
        const int k = step++ % 400;
        bench.Move(Window::At(1000 + k, 1000 + k / 2), true);
        const tools::Damage d = bench.TakeDamage();
        if (d.full) {
            painter.Paint(state, out, composite, true);
        } else {
            for (const tools::ZRect& r : d.rects)
                painter.Repaint(state, out, composite, r.left, r.top, r.right - r.left, r.bottom - r.top);
        }
        const viewmath::Visible& v = painter.LastVisible();
        const viewmath::Clip all{v.left, v.top, v.left + v.width, v.top + v.height};
        bench.GetOverlay().Rasterize([&](int x, int y, int n) { viewmath::FillSpan(v, out, x, y, n, 0, all); });
    }
}
BENCHMARK(BM_TransformStep)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
