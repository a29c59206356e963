// Recording an undo step of a 6000 x 4000 layer, against writing the same
// bytes (pixels, alpha plane, effect plane, selection mask) with one fwrite
// into the same folder, and undoing and redoing one step.
//
//   bench_undo [--benchmark_...]   (files go to $PIMLORA_BENCH_DIR or /tmp)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "CVexoDoc.h"
#include "undo_journal.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

std::string BenchFolder() {
    static std::string folder = [] {
        const char* base = std::getenv("PIMLORA_BENCH_DIR");
        std::string f = std::string(base && *base ? base : "/tmp") + "/pimlora-bench-undo-" + std::to_string(getpid());
        std::filesystem::create_directories(f);
        return f + "/";
    }();
    return folder;
}

struct BigDoc {
    HeadlessHost host;
    CVexoDoc doc{&host};
    BigDoc() {
        host.echoMessages = false;
        host.journalFolder = BenchFolder();
        if (!doc.NewImage(kWidth, kHeight)) std::abort();
        LayerRecord& l = doc.Layer(0);
        for (int32_t i = 0; i < l.pixelSize; i += 4096) l.pixels[size_t(i)] = uint8_t(i >> 12);
        doc.RecordUndoStep(u"initial state", 0, -1);
    }
    ~BigDoc() { doc.DiscardJournalFiles(); }
    int64_t StepBytes() const {
        const LayerRecord& l = doc.Layer(0);
        return int64_t(l.pixelSize) + 2 * int64_t(l.planeSize) + int64_t(doc.live.selection.width) * doc.live.selection.height;
    }
};

void BM_RecordUndoStep(benchmark::State& state) {
    BigDoc big;
    // Warm: one step first, so that the previous-state copy has its buffers.
    big.doc.RecordUndoStep(u"붓 도구", 0, 0);
    for (auto _ : state) {
        big.doc.Layer(0).pixels[0]++;
        if (!big.doc.RecordUndoStep(u"붓 도구", 0, 0)) state.SkipWithError("record failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * big.StepBytes());
    state.counters["undoPos"] = big.doc.undoPos;
}

void BM_FwriteSameBytes(benchmark::State& state) {
    BigDoc big;   // same buffers, same folder
    const int64_t n = big.StepBytes();
    std::vector<uint8_t> bytes(size_t(n), 1);
    int k = 0;
    for (auto _ : state) {
        // The journal replaces an older file of the same size each step.
        const std::string path = BenchFolder() + "plain_" + std::to_string(k++ % 20) + ".bin";
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) state.SkipWithError("fwrite failed");
        if (f) std::fclose(f);
    }
    for (int i = 0; i < 20; ++i) std::remove((BenchFolder() + "plain_" + std::to_string(i) + ".bin").c_str());
    state.SetBytesProcessed(int64_t(state.iterations()) * n);
}

void BM_UndoRedo(benchmark::State& state) {
    BigDoc big;
    big.doc.RecordUndoStep(u"붓 도구", 0, 0);
    big.doc.Layer(0).pixels[0]++;
    big.doc.RecordUndoStep(u"붓 도구", 0, 0);
    for (auto _ : state) {
        if (!big.doc.Undo() || !big.doc.Redo()) state.SkipWithError("undo/redo failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 2 * big.StepBytes());
}

}  // namespace

BENCHMARK(BM_RecordUndoStep)->Unit(benchmark::kMillisecond)->Iterations(12);
BENCHMARK(BM_FwriteSameBytes)->Unit(benchmark::kMillisecond)->Iterations(12);
BENCHMARK(BM_UndoRedo)->Unit(benchmark::kMillisecond)->Iterations(6);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(BenchFolder(), ec);
    return 0;
}
