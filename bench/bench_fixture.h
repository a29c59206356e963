// Shared by the benchmarks: the synthetic test photo (made once by
// ImageMagick with a fixed seed and kept in /tmp, never in the tree),
// whole-process timing of other programs, and the main() of the benchmarks
// that run on huge pages.
#pragma once

#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

#include "huge_pages.h"

namespace benchfixture {

inline const char* kImageMagick = "/usr/bin/convert-im6.q16";

inline std::string Dir() {
    std::string d = "/tmp/pimlora-bench";
    mkdir(d.c_str(), 0755);
    return d;
}

inline bool Exists(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && st.st_size > 0;
}

inline int Shell(const std::string& cmd) { return std::system(cmd.c_str()); }

// The w x h photo as a binary PPM, made on first use.
inline std::string Photo(int w, int h) {
    std::string p = Dir() + "/photo" + std::to_string(w) + "x" + std::to_string(h) + ".ppm";
    if (!Exists(p)) {
        std::fprintf(stderr, "making the %dx%d test photo (once)...\n", w, h);
        Shell(std::string(kImageMagick) + " -seed 42 -size " + std::to_string(w) + "x" + std::to_string(h) +
              " plasma:fractal -depth 8 " + p);
    }
    return p;
}

// Makes `out` from `cmd` (which must write it) unless it exists.
inline std::string Derived(const std::string& name, const std::string& cmd) {
    std::string p = Dir() + "/" + name;
    if (!Exists(p)) Shell(cmd + " " + p);
    return p;
}

// Seconds of one whole run of a shell command.
inline double TimeCommand(const std::string& cmd) {
    auto t0 = std::chrono::steady_clock::now();
    Shell(cmd);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Processor seconds (user + system) of one whole run of a shell command and
// the programs it starts. On a shared machine this, not the wall clock, is
// what can be compared with our own processor time.
inline double CpuOfCommand(const std::string& cmd) {
    auto cpu = [] {
        rusage ru{};
        getrusage(RUSAGE_CHILDREN, &ru);
        return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
               double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
    };
    const double before = cpu();
    Shell(cmd);
    return cpu() - before;
}

// The body of main(): large buffers in huge pages, as the editor and
// pimlora-cli have them (PIMLORA_NO_HUGEPAGES=1 measures ordinary pages),
// then the benchmarks the command line selects.
inline int RunOnHugePages(int argc, char** argv) {
    RestartWithHugePages(argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace benchfixture
