// Recording an undo step of a 6000 x 4000 layer, against writing the same
// bytes (pixels, alpha plane, effect plane, selection mask) with one fwrite
// into the same folder, and undoing and redoing one step (cold: the step
// files are read back from the page cache or the disk).
//
// Then, for the rows of bench/compare.sh (and the settings-only steps), a
// table of each command on a 6000 x 4000 picture: without its undo step,
// with it (until its journal files are written), and the time the user
// waits (until the editor takes the next command; the files are written
// behind), against one plain copy of the bytes the step keeps. The goal:
// user-visible <= 1.2 x without + copy. Each time is the best of
// $BENCH_UNDO_RUNS (3) runs, each on a fresh document whose journal is idle.
//
//   bench_undo [--benchmark_...] [--table-only] [--no-table]
//   (files go to $PIMLORA_BENCH_DIR or /tmp; SKIP_SLOW=1 leaves out the medians,
//   BENCH_UNDO_ONLY=TEXT keeps the rows whose name holds TEXT)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>


#include <algorithm>
#include <functional>

#include "CVexoDoc.h"
#include "commands.h"
#include "dlg_geometry.h"
#include "filter_commands.h"
#include "journal_writer.h"
#include "layer_ops.h"
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

// The two are timed in turns within one run, so that both meet the same
// state of the page cache and the same write-back; the benchmark's time is
// the step's until its file is written (record_ms), the counters give the
// time until the step returns (visible_ms, the file written behind), the
// fwrite and the ratio of record_ms to it.
void BM_RecordUndoStepVsFwrite(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    BigDoc big;
    big.doc.RecordUndoStep(u"붓 도구", 0, 0);   // warm: the previous-state copy has its buffers
    const int64_t n = big.StepBytes();
    std::vector<uint8_t> bytes(size_t(n), 1);
    sync();
    double recordSeconds = 0, visibleSeconds = 0, fwriteSeconds = 0;
    int k = 0;
    big.doc.FlushJournal();
    for (auto _ : state) {
        big.doc.Layer(0).pixels[0]++;
        auto t0 = Clock::now();
        if (!big.doc.RecordUndoStep(u"붓 도구", 0, 0)) state.SkipWithError("record failed");
        visibleSeconds += std::chrono::duration<double>(Clock::now() - t0).count();
        big.doc.FlushJournal();
        const double rec = std::chrono::duration<double>(Clock::now() - t0).count();
        // The same bytes with one fwrite, replacing a file as the ring does.
        const std::string path = BenchFolder() + "plain_" + std::to_string(k++ % 20) + ".bin";
        t0 = Clock::now();
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) state.SkipWithError("fwrite failed");
        if (f) std::fclose(f);
        const double fw = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(rec);
        recordSeconds += rec;
        fwriteSeconds += fw;
    }
    for (int i = 0; i < 20; ++i) std::remove((BenchFolder() + "plain_" + std::to_string(i) + ".bin").c_str());
    const double it = double(state.iterations());
    state.counters["record_ms"] = recordSeconds / it * 1e3;
    state.counters["visible_ms"] = visibleSeconds / it * 1e3;
    state.counters["fwrite_ms"] = fwriteSeconds / it * 1e3;
    state.counters["ratio"] = fwriteSeconds > 0 ? recordSeconds / fwriteSeconds : 0;
    state.SetBytesProcessed(int64_t(state.iterations()) * n);
}

void BM_UndoRedo(benchmark::State& state) {
    BigDoc big;
    big.doc.RecordUndoStep(u"붓 도구", 0, 0);
    big.doc.Layer(0).pixels[0]++;
    big.doc.RecordUndoStep(u"붓 도구", 0, 0);
    big.doc.FlushJournal();
    for (auto _ : state) {
        if (!big.doc.Undo() || !big.doc.Redo()) state.SkipWithError("undo/redo failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 2 * big.StepBytes());
}

}  // namespace

// --- the command table ---------------------------------------------------------------

using Clock = std::chrono::steady_clock;
double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

struct Row {
    const char* name;
    std::function<bool(CVexoDoc&)> run;
};

bool Id(CVexoDoc& d, int id, std::vector<int> p = {}) { return commands::All().Find(id)->run(d, p); }
bool Layer(CVexoDoc& d, const char16_t* label, const docfilters::LayerFn& op) {
    return docfilters::RunLayerOp(d, -1, 0, 0, op) && d.RecordUndoStep(label, 0, d.currentLayer);
}

std::vector<Row> Rows() {
    auto filter = [](const char* text) {
        return [text](CVexoDoc& d) { return docfilters::ApplyFilterStep(d, docfilters::ParseFilterStep(text)); };
    };
    std::vector<Row> rows = {
        {"box mean 3", filter("흐리게:3")},
        {"box mean 5", filter("흐리게:5")},
        {"box mean 9", filter("흐리게:9")},
        {"median 3", [](CVexoDoc& d) { return Layer(d, u"중간값 필터", [](auto& c) { return layerops::Median(c, 3); }); }},
        {"median 5", [](CVexoDoc& d) { return Layer(d, u"중간값 필터", [](auto& c) { return layerops::Median(c, 5); }); }},
        {"erode 3", filter("물체축소:3")},
        {"dilate 3", filter("물체확장:3")},
        {"3x3 convolution", filter("윤곽선:1,0")},
        {"flip", [](CVexoDoc& d) { return Id(d, 1411); }},
        {"mirror", [](CVexoDoc& d) { return Id(d, 1410); }},
        {"quarter turn", [](CVexoDoc& d) { return Id(d, 1491); }},
        {"rotate 30", [](CVexoDoc& d) { return Id(d, 1415, {30}); }},
        {"resize 50%", [](CVexoDoc& d) { return dlg::ResizeDocument(d, 72, 3000, 2000); }},
        {"resize 200%", [](CVexoDoc& d) { return dlg::ResizeDocument(d, 72, 12000, 8000); }},
        {"negative", [](CVexoDoc& d) { return Id(d, 1413); }},
        {"brightness/contrast",
         [](CVexoDoc& d) {
             return Layer(d, u"밝기/대비", [](auto& c) { return layerops::BrightnessContrast(c, 10, 20); });
         }},
        {"256 colours", [](CVexoDoc& d) { return Id(d, 2016); }},
        {"alpha off 1483", [](CVexoDoc& d) { return Id(d, 1483); }},
        {"alpha palette 1486", [](CVexoDoc& d) { return Id(d, 1486); }},
        {"alpha strip 1490", [](CVexoDoc& d) { return Id(d, 1490); }},
    };
    return rows;
}

// A photo-like picture: smooth colour fields with grain.
void FillPhoto(LayerRecord& l) {
    uint32_t seed = 12345;
    for (int r = 0; r < l.height; ++r) {
        uint8_t* row = l.pixels.get() + size_t(r) * size_t(l.stride);
        for (int x = 0; x < l.width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 28) - 8;
            row[3 * x] = uint8_t(std::clamp((x * 255) / l.width + grain, 0, 255));
            row[3 * x + 1] = uint8_t(std::clamp((r * 255) / l.height + grain, 0, 255));
            row[3 * x + 2] = uint8_t(std::clamp(((x + r) * 127) / (l.width + l.height) + 64 + grain, 0, 255));
        }
    }
}

enum class Mode { Without, With, Visible };

// One timed run of a row on a fresh document with an idle journal.
double TimeRow(const Row& row, Mode mode, int64_t* stepBytes) {
    HeadlessHost host;
    host.echoMessages = false;
    host.journalFolder = BenchFolder();
    CVexoDoc doc(&host);
    if (!doc.NewImage(kWidth, kHeight)) std::abort();
    FillPhoto(doc.Layer(0));
    doc.RecordUndoStep(u"Opening....", 0, -1);
    doc.FlushJournal();
    doc.recordUndo = mode != Mode::Without;
    const uint64_t snapshotsBefore = doc.journal->writer.SnapshotBytes();
    const auto t0 = Clock::now();
    const bool ok = row.run(doc);
    if (mode == Mode::With) doc.FlushJournal();
    const auto t1 = Clock::now();
    if (!ok) std::fprintf(stderr, "%s: the command failed\n", row.name);
    doc.FlushJournal();
    if (stepBytes && mode != Mode::Without) *stepBytes = int64_t(doc.journal->writer.SnapshotBytes() - snapshotsBefore);
    doc.DiscardJournalFiles();
    return Ms(t0, t1);
}

// One plain copy of n bytes into a buffer already in use (best of 3).
double CopyMs(int64_t n) {
    if (n <= 0) return 0;
    std::vector<uint8_t> a(size_t(n), 1), b(size_t(n), 2);
    double best = 1e300;
    for (int k = 0; k < 3; ++k) {
        const auto t0 = Clock::now();
        std::memcpy(b.data(), a.data(), a.size());
        best = std::min(best, Ms(t0, Clock::now()));
        benchmark::DoNotOptimize(b.data());
    }
    return best;
}

void PrintCommandTable() {
    const char* runsEnv = std::getenv("BENCH_UNDO_RUNS");
    const int runs = std::max(1, runsEnv ? std::atoi(runsEnv) : 3);
    const bool skipSlow = std::getenv("SKIP_SLOW") != nullptr;
    const char* only = std::getenv("BENCH_UNDO_ONLY");   // rows whose name holds this text
    std::printf("\n%d x %d, best of %d; times in ms; kept = bytes the step copies into its snapshots\n", kWidth, kHeight, runs);
    std::printf("%-20s %9s %9s %9s %8s %8s %9s %5s\n", "command", "without", "with", "visible", "kept MB", "copy",
                "goal", "met");
    for (const Row& row : Rows()) {
        if (skipSlow && std::string(row.name).rfind("median", 0) == 0) continue;
        if (only && *only && !std::strstr(row.name, only)) continue;
        double best[3] = {1e300, 1e300, 1e300};
        int64_t kept = 0;
        for (int r = 0; r < runs; ++r)
            for (Mode m : {Mode::Without, Mode::With, Mode::Visible})
                best[int(m)] = std::min(best[int(m)], TimeRow(row, m, m == Mode::With ? &kept : nullptr));
        const double copy = CopyMs(kept);
        const double goal = 1.2 * best[0] + copy;
        std::printf("%-20s %9.1f %9.1f %9.1f %8.1f %8.1f %9.1f %5s\n", row.name, best[0], best[1], best[2],
                    double(kept) / 1e6, copy, goal, best[2] <= goal ? "yes" : "no");
        std::fflush(stdout);
    }
}

BENCHMARK(BM_RecordUndoStepVsFwrite)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(12);
BENCHMARK(BM_UndoRedo)->Unit(benchmark::kMillisecond)->Iterations(6);

int main(int argc, char** argv) {
    bool table = true, benchmarks = true;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--table-only") == 0) benchmarks = false;
        else if (std::strcmp(argv[i], "--no-table") == 0) table = false;
        else argv[kept++] = argv[i];
    }
    argc = kept;
    benchmark::Initialize(&argc, argv);
    if (benchmarks) benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (table) PrintCommandTable();
    std::error_code ec;
    std::filesystem::remove_all(BenchFolder(), ec);
    return 0;
}
