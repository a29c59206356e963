// The layers panel's refresh after a change on a 40-layer 6000 x 4000
// document (the goal: under 10 ms): a change of one layer's pixels rebuilds
// that layer's thumbnail only; a change of the stack (a name, a flag, the
// current layer) rebuilds the rows and no thumbnail. For comparison, the
// refresh that rebuilds all 40 thumbnails (a new document shown).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "CVexoDoc.h"
#include "commands.h"
#include "layers_panel_model.h"

namespace {

using namespace layerpanel;

struct Big {
    HeadlessHost host;
    CVexoDoc doc{&host};
    LayersPanelModel panel;
    Big() {
        host.echoMessages = false;
        doc.NewImage(6000, 4000);
        const commands::Command* add = commands::All().Find(1552);
        while (add && doc.LayerCount() < 40) add->run(doc, {});
        for (int slot : doc.StackOrder()) {
            LayerRecord& L = doc.Layer(slot);
            for (int row = 0; row < L.height; row += 7) std::memset(L.PixelRow(row), slot * 6, size_t(L.width) * 3);
            std::memset(L.alpha.get(), 255, size_t(L.planeSize));
        }
        panel.SetClientHeight(kPanelTallHeight);
        panel.Show(&doc);
        panel.Refresh();
    }
};

Big& Doc() {
    static Big big;
    return big;
}

void BM_RefreshAfterOneLayerPainted(benchmark::State& state) {
    Big& b = Doc();
    const std::vector<int> order = b.doc.StackOrder();
    size_t k = 0;
    for (auto _ : state) {
        b.doc.Notify(docchange::Pixels | docchange::Journal, order[k++ % order.size()]);
        auto r = b.panel.Refresh();
        benchmark::DoNotOptimize(r);
        if (r.thumbnails.size() != 1) state.SkipWithError("more than one thumbnail rebuilt");
    }
    state.counters["layers"] = double(b.doc.LayerCount());
}
BENCHMARK(BM_RefreshAfterOneLayerPainted)->Unit(benchmark::kMillisecond);

void BM_RefreshAfterStackChange(benchmark::State& state) {
    Big& b = Doc();
    for (auto _ : state) {
        b.doc.Notify(docchange::Layers);
        auto r = b.panel.Refresh();
        benchmark::DoNotOptimize(r);
        if (!r.thumbnails.empty()) state.SkipWithError("a thumbnail was rebuilt");
    }
}
BENCHMARK(BM_RefreshAfterStackChange)->Unit(benchmark::kMillisecond);

void BM_RefreshRebuildingAllThumbnails(benchmark::State& state) {
    Big& b = Doc();
    for (auto _ : state) {
        b.doc.Notify(docchange::Pixels, -1);
        auto r = b.panel.Refresh();
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_RefreshRebuildingAllThumbnails)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
