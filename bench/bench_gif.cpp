// GIF decode and encode of a 256-colour 1920 x 1080 picture: our codec
// against ImageMagick on the same file, one thread. ImageMagick runs as a
// process, so its start-up (measured on a 1 x 1 picture) is subtracted from
// each run; its encode time also has the decode of the input subtracted.
// Each measured run is paired with a run of its reference command just
// before it, so that both see the same load on the machine.
// ImageMagick's figures are the CPU time (user + system) of its process, the
// manual time of those rows; compare them with the CPU column of ours (on a
// quiet machine wall and CPU time agree; on a busy one only CPU time means
// something).
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ImageStream.h"
#include "VaZavi.h"

extern char** environ;

namespace {

const char* kMagick = "/usr/bin/convert-im6.q16";

// CPU seconds (user + system) a command takes, run directly (no shell).
double TimeRun(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    struct rusage ru {};
    if (wait4(pid, &status, 0, &ru) != pid) return -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    auto sec = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return sec(ru.ru_utime) + sec(ru.ru_stime);
}

double Median(const std::vector<std::string>& args, int runs) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) t.push_back(TimeRun(args));
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

std::vector<std::string> Magick(std::initializer_list<std::string> rest) {
    std::vector<std::string> a = {kMagick, "-limit", "thread", "1"};
    a.insert(a.end(), rest);
    return a;
}

struct Fixture {
    std::string dir, src, tiny;
    double startup = 0;
    bool ok = false;
    Fixture() {
        char tmpl[] = "/tmp/pimlora-bench-gif-XXXXXX";
        if (!mkdtemp(tmpl)) return;
        dir = tmpl;
        src = dir + "/src.gif";
        tiny = dir + "/tiny.gif";
        // A photo-like picture reduced to 256 colours with dithering.
        if (TimeRun({kMagick, "-seed", "7", "-size", "1920x1080", "plasma:fractal", "-blur", "0x1", "-colors", "256",
                     src}) < 0 ||
            TimeRun({kMagick, "-size", "1x1", "xc:red", tiny}) < 0)
            return;
        startup = Median(Magick({tiny, "null:"}), 3);
        ok = startup >= 0;
    }
    ~Fixture() {
        if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
    }
};

Fixture& F() {
    static Fixture f;
    return f;
}

void BM_GifDecode_Ours(benchmark::State& state) {
    if (!F().ok) return state.SkipWithError("ImageMagick not available");
    for (auto _ : state) {
        VaZavi img(kTypeGIF);
        if (!img.Load(F().src.c_str(), kTypeGIF)) return state.SkipWithError("load failed");
        benchmark::DoNotOptimize(img.bits);
    }
}

void BM_GifDecode_ImageMagick(benchmark::State& state) {
    if (!F().ok) return state.SkipWithError("ImageMagick not available");
    for (auto _ : state) {
        double base = TimeRun(Magick({F().tiny, "null:"}));
        double t = TimeRun(Magick({F().src, "null:"}));
        if (t < 0 || base < 0) return state.SkipWithError("convert failed");
        state.SetIterationTime(std::max(0.0, t - base));
    }
}

void BM_GifEncode_Ours(benchmark::State& state) {
    if (!F().ok) return state.SkipWithError("ImageMagick not available");
    VaZavi img(kTypeGIF);
    if (!img.Load(F().src.c_str(), kTypeGIF) || img.BitCount() != 8) return state.SkipWithError("load failed");
    const std::string out = F().dir + "/ours.gif";
    for (auto _ : state) {
        // Plain file writing, as ImageMagick does (Save by file name adds
        // the safe-replace steps: temporary file, fsync, rename).
        FILE* f = std::fopen(out.c_str(), "wb");
        ImageStream s(f);
        bool ok = f && img.Save(s, kTypeGIF);
        if (f) std::fclose(f);
        if (!ok) return state.SkipWithError("save failed");
    }
}

void BM_GifEncode_ImageMagick(benchmark::State& state) {
    if (!F().ok) return state.SkipWithError("ImageMagick not available");
    const std::string out = F().dir + "/im.gif";
    for (auto _ : state) {
        double base = TimeRun(Magick({F().src, "null:"}));
        double t = TimeRun(Magick({F().src, out}));
        if (t < 0 || base < 0) return state.SkipWithError("convert failed");
        state.SetIterationTime(std::max(0.0, t - base));
    }
}

}  // namespace

BENCHMARK(BM_GifDecode_Ours)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_GifDecode_ImageMagick)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(15);
BENCHMARK(BM_GifEncode_Ours)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_GifEncode_ImageMagick)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(15);

BENCHMARK_MAIN();
