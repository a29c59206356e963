// BMP read and write of a 6000 x 4000 24-bit picture beside plain fread and
// fwrite of the same byte count (the floor).
//
// "Fresh" floors read into a newly allocated buffer each time, as a decoder
// must (the kernel hands out and zeroes new pages); "reused" floors read into
// one buffer that stays mapped. Reads run warm (argument 0: the file is in
// the page cache) and cold (argument 1: its cached pages are dropped before
// each iteration, outside the timing). The machine is shared, so compare the
// minimum of the repetitions (--benchmark_repetitions=N).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "ImageStream.h"
#include "VaZavi.h"

namespace {

constexpr int kW = 6000, kH = 4000;

const std::string& Dir() {
    static const std::string dir = [] {
        std::string t = "/tmp/pimlora-bench-XXXXXX";
        if (!mkdtemp(t.data())) std::abort();
        return t;
    }();
    return dir;
}
std::string SourcePath() { return Dir() + "/source.bmp"; }
std::string OutPath() { return Dir() + "/out.bmp"; }

size_t FileBytes() { return 14 + 40 + size_t(kW * 3) * kH; }

// Made once, at start: a 24-bit picture with varied pixels.
void MakeSource() {
    VaZavi img(24, kW, kH, kTypeBMP);
    for (int y = 0; y < kH; ++y) {
        uint8_t* row = img.Row(y);
        for (int x = 0; x < kW * 3; ++x) row[x] = uint8_t(x * 7 + y * 13);
    }
    FILE* f = std::fopen(SourcePath().c_str(), "wb");
    ImageStream s(f);
    if (!f || !img.Save(s, kTypeBMP)) std::abort();
    std::fclose(f);
}

// Buffers of the floors: aligned and marked for huge pages, as the image
// core allocates its pixel blocks (plain 4 KiB pages make the copy itself
// several times slower on this virtual machine); "plain" is new[].
struct Buffer {
    explicit Buffer(size_t n, bool huge) : huge_(huge) {
        if (huge) {
            const size_t page = size_t(2) << 20;
            const size_t r = (n + page - 1) & ~(page - 1);
            void* q = nullptr;
            if (posix_memalign(&q, page, r) != 0) std::abort();
            madvise(q, r, MADV_HUGEPAGE);
            p = static_cast<uint8_t*>(q);
        } else {
            p = new uint8_t[n];
        }
    }
    ~Buffer() {
        if (huge_)
            std::free(p);
        else
            delete[] p;
    }
    uint8_t* p;
    bool huge_;
};

// Drops the source file from the page cache (timing paused) when cold.
void MaybeCool(benchmark::State& st) {
    if (st.range(0) == 0) return;
    st.PauseTiming();
    int fd = open(SourcePath().c_str(), O_RDONLY);
    if (fd >= 0) {
        fdatasync(fd);
        posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        close(fd);
    }
    st.ResumeTiming();
}

void FreadInto(uint8_t* buf, size_t n) {
    FILE* f = std::fopen(SourcePath().c_str(), "rb");
    if (!f || std::fread(buf, 1, n, f) != n) std::abort();
    std::fclose(f);
}

void BM_FreadFloorReused(benchmark::State& st) {
    Buffer buf(FileBytes(), true);
    std::memset(buf.p, 0, FileBytes());
    for (auto _ : st) {
        MaybeCool(st);
        FreadInto(buf.p, FileBytes());
        benchmark::DoNotOptimize(buf.p[FileBytes() / 2]);
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(FileBytes()));
}

void BM_FreadFloorFresh(benchmark::State& st) {
    for (auto _ : st) {
        MaybeCool(st);
        Buffer buf(FileBytes(), true);
        FreadInto(buf.p, FileBytes());
        benchmark::DoNotOptimize(buf.p[FileBytes() / 2]);
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(FileBytes()));
}

void BM_FreadFreshPlainPages(benchmark::State& st) {
    for (auto _ : st) {
        MaybeCool(st);
        Buffer buf(FileBytes(), false);
        FreadInto(buf.p, FileBytes());
        benchmark::DoNotOptimize(buf.p[FileBytes() / 2]);
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(FileBytes()));
}

// The image core keeps the last large block it freed for the next picture;
// "fresh" gives it back before each iteration so the load pays for new pages.
void BM_BmpRead(benchmark::State& st) {
    for (auto _ : st) {
        MaybeCool(st);
        if (st.range(1)) {
            st.PauseTiming();
            ReleaseKeptPixelBlock();
            st.ResumeTiming();
        }
        VaZavi img;
        if (!img.Load(SourcePath().c_str(), kTypeBMP)) st.SkipWithError(img.LastError());
        benchmark::DoNotOptimize(img.bits);
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(FileBytes()));
}

VaZavi& Picture() {
    static VaZavi img = [] {
        VaZavi i;
        if (!i.Load(SourcePath().c_str(), kTypeBMP)) std::abort();
        return i;
    }();
    return img;
}

void BM_FwriteFloor(benchmark::State& st) {
    const VaZavi& img = Picture();
    for (auto _ : st) {
        FILE* f = std::fopen(OutPath().c_str(), "wb");
        uint8_t head[54] = {};
        std::fwrite(head, 1, sizeof head, f);
        std::fwrite(img.bits, 1, img.ImageBytes(), f);
        std::fclose(f);
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(FileBytes()));
}

void BM_BmpWriteStream(benchmark::State& st) {
    VaZavi& img = Picture();
    for (auto _ : st) {
        FILE* f = std::fopen(OutPath().c_str(), "wb");
        ImageStream s(f);
        if (!img.Save(s, kTypeBMP)) st.SkipWithError(img.LastError());
        std::fclose(f);
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(FileBytes()));
}

// Saving by file name replaces the file safely: a temporary file, flushed to
// the disk, then renamed. Its floor is fwrite with fsync.
void BM_FwriteFsyncFloor(benchmark::State& st) {
    const VaZavi& img = Picture();
    for (auto _ : st) {
        FILE* f = std::fopen(OutPath().c_str(), "wb");
        uint8_t head[54] = {};
        std::fwrite(head, 1, sizeof head, f);
        std::fwrite(img.bits, 1, img.ImageBytes(), f);
        std::fflush(f);
        fsync(fileno(f));
        std::fclose(f);
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(FileBytes()));
}

void BM_BmpWriteFile(benchmark::State& st) {
    VaZavi& img = Picture();
    for (auto _ : st)
        if (!img.Save(OutPath().c_str(), kTypeBMP)) st.SkipWithError(img.LastError());
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(FileBytes()));
}

}  // namespace

double Min(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

#define PIMLORA_BENCH(fn) BENCHMARK(fn)->Unit(benchmark::kMillisecond)->UseRealTime()->ComputeStatistics("min", Min)
PIMLORA_BENCH(BM_FreadFloorReused)->Arg(0)->Arg(1);
PIMLORA_BENCH(BM_FreadFloorFresh)->Arg(0)->Arg(1);
PIMLORA_BENCH(BM_FreadFreshPlainPages)->Arg(0)->Arg(1);
PIMLORA_BENCH(BM_BmpRead)->ArgNames({"cold", "fresh"})->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1});
PIMLORA_BENCH(BM_FwriteFloor);
PIMLORA_BENCH(BM_BmpWriteStream);
PIMLORA_BENCH(BM_FwriteFsyncFloor);
PIMLORA_BENCH(BM_BmpWriteFile);

int main(int argc, char** argv) {
    MakeSource();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(SourcePath().c_str());
    std::remove(OutPath().c_str());
    rmdir(Dir().c_str());
    return 0;
}
