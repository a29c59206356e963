// BMP read and write of a 6000 x 4000 24-bit picture beside plain fread and
// fwrite of the same byte count (the floor).
//
// "Fresh" floors read into a newly allocated buffer each time, as a decoder
// must (the kernel hands out and zeroes new pages); "reused" floors read into
// one buffer that stays mapped.
#include <benchmark/benchmark.h>

#include <unistd.h>

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

void FreadInto(uint8_t* buf, size_t n) {
    FILE* f = std::fopen(SourcePath().c_str(), "rb");
    if (!f || std::fread(buf, 1, n, f) != n) std::abort();
    std::fclose(f);
}

void BM_FreadFloorReused(benchmark::State& st) {
    std::unique_ptr<uint8_t[]> buf(new uint8_t[FileBytes()]);
    std::memset(buf.get(), 0, FileBytes());
    for (auto _ : st) {
        FreadInto(buf.get(), FileBytes());
        benchmark::DoNotOptimize(buf[FileBytes() / 2]);
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(FileBytes()));
}

void BM_FreadFloorFresh(benchmark::State& st) {
    for (auto _ : st) {
        std::unique_ptr<uint8_t[]> buf(new uint8_t[FileBytes()]);
        FreadInto(buf.get(), FileBytes());
        benchmark::DoNotOptimize(buf[FileBytes() / 2]);
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * int64_t(FileBytes()));
}

void BM_BmpRead(benchmark::State& st) {
    for (auto _ : st) {
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

BENCHMARK(BM_FreadFloorReused)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FreadFloorFresh)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BmpRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FwriteFloor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BmpWriteStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FwriteFsyncFloor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BmpWriteFile)->Unit(benchmark::kMillisecond)->UseRealTime();

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
