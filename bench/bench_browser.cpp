// The image browser's costs, one file at a time (used by bench/browser.sh):
//   bench_browser thumbs FILE...   in-process thumbnail time per file:
//                                  processor ms and wall ms (best of 3;
//                                  reduced JPEG decode + fit)
//   bench_browser decode FILE      the whole decode (what info did before it
//                                  read headers only) and its info line
//   bench_browser probe FILE       the header probe and the same line
//   bench_browser folder DIR       the worker over a whole folder without a
//                                  window: ms to the list, to 20 thumbnails,
//                                  to all, and the processor ms of the run
//   bench_browser eighth FILE...   the JPEG decode at 1/8 of each file
//                                  through the DC decoder and through
//                                  libjpeg (processor ms, best of 5 each),
//                                  and whether their pixels are the same
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ImageStream.h"
#include "VaZavi.h"
#include "image_probe.h"
#include "reduced_decode.h"
#include "thumbnail.h"
#include "thumbnail_worker.h"

#include <sys/resource.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {
// Processor time of this thread: the figures stay meaningful on a machine
// that others share (the wall time is printed beside it).
double CpuMs() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}
std::vector<uint8_t> ReadFileBytes(const char* path) {
    std::vector<uint8_t> b;
    if (FILE* f = std::fopen(path, "rb")) {
        uint8_t buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
        std::fclose(f);
    }
    return b;
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
    if (verb == "folder") {
        std::mutex m;
        std::condition_variable cv;
        bool finished = false;
        std::atomic<int> made{0};
        double listedMs = 0, twentyMs = 0;
        const auto t0 = std::chrono::steady_clock::now();
        auto processCpu = [] {
            rusage u;
            getrusage(RUSAGE_SELF, &u);
            return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
        };
        const double c0 = processCpu();
        browser::ThumbnailWorker worker(
            {[&](int, std::vector<std::string>) { listedMs = Ms(t0, std::chrono::steady_clock::now()); },
             [&](int, int, browser::Picture24) {
                 if (++made == 20) twentyMs = Ms(t0, std::chrono::steady_clock::now());
             },
             [&](int, int, bool) {
                 std::lock_guard<std::mutex> lock(m);
                 finished = true;
                 cv.notify_all();
             }});
        worker.Start(argv[2], "모든이미지형식");
        {
            std::unique_lock<std::mutex> lock(m);
            cv.wait(lock, [&] { return finished; });
        }
        const double all = Ms(t0, std::chrono::steady_clock::now());
        worker.Stop();
        std::printf("%d threads: listed %.1f, 20 thumbnails %.1f, all %d %.1f ms; processor %.0f ms\n", worker.Threads(),
                    listedMs, twentyMs, made.load(), all, processCpu() - c0);
        return 0;
    }
    if (verb == "eighth") {
        for (int i = 2; i < argc; ++i) {
            const std::vector<uint8_t> bytes = ReadFileBytes(argv[i]);
            double best[2] = {1e30, 1e30};
            VaZavi img[2] = {VaZavi(kTypeJPEG), VaZavi(kTypeJPEG)};
            bool fast = false;
            for (int way = 0; way < 2; ++way)
                for (int k = 0; k < 5; ++k) {
                    ImageStream in(bytes.data(), bytes.size());
                    ReducedInfo info;
                    const double c0 = CpuMs();
                    if (!DecodeJpegReduced(in, 1, 1, img[way], &info, way == 0)) {
                        std::fprintf(stderr, "%s: %s\n", argv[i], img[way].LastError());
                        return 1;
                    }
                    best[way] = std::min(best[way], CpuMs() - c0);
                    if (way == 0) fast = info.eighthDecoder;
                }
            const bool same = img[0].ImageBytes() == img[1].ImageBytes() &&
                              std::memcmp(img[0].bits, img[1].bits, img[0].ImageBytes()) == 0;
            std::printf("%.2f %.2f %s %s\n", best[0], best[1], fast ? "dc" : "library", same ? "same" : "DIFFERENT");
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
