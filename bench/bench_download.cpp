// The installer download against curl: run by bench/download.sh, which
// starts the loopback server and times curl on the same file.
//   bench_download URL FOLDER [REPEATS]
// Prints, per run, the transfer's MB/s and the progress reports per second,
// and the time of the checksum that follows the download in setupfetch.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "download.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_download URL FOLDER [REPEATS]\n");
        return 2;
    }
    int repeats = argc > 3 ? std::atoi(argv[3]) : 3;
    using Clock = std::chrono::steady_clock;
    for (int i = 0; i < repeats; ++i) {
        std::atomic<bool> cancel{false};
        long reports = 0;
        update::ProgressFn progress = [&reports](uint64_t, uint64_t) { ++reports; };
        auto t0 = Clock::now();
        update::DownloadResult r = update::DownloadFile(argv[1], argv[2], cancel, progress, 3);
        double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        if (!r.ok) {
            std::fprintf(stderr, "bench_download: %s\n", r.error.c_str());
            return 1;
        }
        double mb = double(std::filesystem::file_size(r.path)) / 1e6;
        auto t1 = Clock::now();
        std::string sum = update::FileSha256(r.path);
        double hash = std::chrono::duration<double>(Clock::now() - t1).count();
        std::printf("pimlora %.1f MB/s  %.2f s  %ld reports (%.1f per second)  checksum %.2f s\n", mb / seconds,
                    seconds, reports, reports / seconds, hash);
        std::filesystem::remove(r.path);
    }
    return 0;
}
