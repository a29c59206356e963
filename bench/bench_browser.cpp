// The image browser's costs, one file at a time (used by bench/browser.sh):
//   bench_browser thumbs FILE...   in-process thumbnail time per file:
//                                  processor ms and wall ms (best of 3;
//                                  reduced JPEG decode + fit)
//   bench_browser decode FILE      the whole decode (what info did before it
//                                  read headers only) and its info line
//   bench_browser probe FILE       the header probe and the same line
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "VaZavi.h"
#include "image_probe.h"
#include "thumbnail.h"

namespace {
// Processor time of this thread: the figures stay meaningful on a machine
// that others share (the wall time is printed beside it).
double CpuMs() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}
double Ms(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_browser thumbs FILE... | decode FILE | probe FILE\n");
        return 2;
    }
    const std::string verb = argv[1];
    if (verb == "thumbs") {
        for (int i = 2; i < argc; ++i) {
            double best = 1e30, bestCpu = 1e30;
            for (int k = 0; k < 3; ++k) {
                const auto t0 = std::chrono::steady_clock::now();
                const double c0 = CpuMs();
                const browser::Picture24 t = browser::ThumbnailOfFile(argv[i]);
                const double c1 = CpuMs();
                const auto t1 = std::chrono::steady_clock::now();
                if (t.Empty()) {
                    std::fprintf(stderr, "%s: no thumbnail\n", argv[i]);
                    return 1;
                }
                best = std::min(best, Ms(t0, t1));
                bestCpu = std::min(bestCpu, c1 - c0);
            }
            std::printf("%.2f %.2f\n", bestCpu, best);
        }
        return 0;
    }
    if (verb == "decode") {
        VaZavi img(kTypeJPEG);
        const auto t0 = std::chrono::steady_clock::now();
        if (!img.Load(argv[2], kTypeDetect)) return 1;
        const auto t1 = std::chrono::steady_clock::now();
        std::printf("width=%d height=%d bits=%d %.1f ms\n", img.Width(), img.Height(), img.BitCount(), Ms(t0, t1));
        return 0;
    }
    if (verb == "probe") {
        ImageProbe p;
        const auto t0 = std::chrono::steady_clock::now();
        if (!ProbePictureFile(argv[2], kTypeDetect, p)) return 1;
        const auto t1 = std::chrono::steady_clock::now();
        std::printf("width=%d height=%d bits=%d %.3f ms\n", p.width, p.height, p.bits, Ms(t0, t1));
        return 0;
    }
    return 2;
}
