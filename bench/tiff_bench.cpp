// TIFF read and write of a 6000 x 4000 photo (PackBits and JPEG), ours
// against ImageMagick with one thread on the same files. ImageMagick is timed
// as whole processes (processor time of the process); its start-up (and, for
// writing, reading its input from its own memory-mappable format) is measured
// the same way and subtracted. Compare our CPU column with its Time column.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "ImageStream.h"
#include "VaZavi.h"
#include "bench_fixture.h"

namespace {

using benchfixture::Derived;
using benchfixture::CpuOfCommand;

constexpr int kW = 6000, kH = 4000;

std::string IM() { return std::string(benchfixture::kImageMagick) + " -limit thread 1 "; }
std::string Photo() { return benchfixture::Photo(kW, kH); }

// The files both sides read.
const std::string& RgbPackBits() {
    static const std::string p = Derived("rgb_packbits.tif", IM() + Photo() + " -compress RLE");
    return p;
}
const std::string& GreyPackBits() {
    static const std::string p = Derived("grey_packbits.tif", IM() + Photo() + " -colorspace Gray -compress RLE");
    return p;
}
const std::string& RgbJpeg() {
    static const std::string p =
        Derived("rgb_jpeg.tif", IM() + Photo() + " -compress JPEG -quality 90 -sampling-factor 1x1");
    return p;
}
// ImageMagick's own format, read by mapping: the input of its write runs.
const std::string& RgbMpc() {
    static const std::string p = Derived("rgb.mpc", IM() + Photo());
    return p;
}
const std::string& GreyMpc() {
    static const std::string p = Derived("grey.mpc", IM() + Photo() + " -colorspace Gray");
    return p;
}
const std::string& Tiny() {
    static const std::string p = Derived("tiny.tif", IM() + " -size 1x1 xc:gray -compress None");
    return p;
}

double Best(const std::string& cmd, int runs = 3) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) best = std::min(best, CpuOfCommand(cmd));
    return best;
}

void ImageMagickRun(benchmark::State& st, const std::string& cmd, const std::string& baseline) {
    const double base = Best(baseline);
    for (auto _ : st) st.SetIterationTime(std::max(0.0, CpuOfCommand(cmd) - base));
    st.counters["baseline_ms"] = base * 1000;
}

void OursRead(benchmark::State& st, const std::string& file) {
    for (auto _ : st) {
        VaZavi img;
        if (!img.Load(file.c_str(), kTypeTIFF)) st.SkipWithError(img.LastError());
        benchmark::DoNotOptimize(img.bits);
    }
}

void OursWrite(benchmark::State& st, const std::string& source, int jpegQuality) {
    VaZavi img;
    if (!img.Load(source.c_str(), kTypeTIFF)) {
        st.SkipWithError(img.LastError());
        return;
    }
    img.info.jpegQuality = uint8_t(jpegQuality);
    const std::string out = benchfixture::Dir() + "/ours_out.tif";
    for (auto _ : st) {
        FILE* f = std::fopen(out.c_str(), "wb");
        ImageStream s(f);
        if (!img.Save(s, kTypeTIFF)) st.SkipWithError(img.LastError());
        std::fclose(f);
    }
}

void ReadRgbPackBitsOurs(benchmark::State& st) { OursRead(st, RgbPackBits()); }
void ReadRgbPackBitsImageMagick(benchmark::State& st) {
    ImageMagickRun(st, IM() + RgbPackBits() + " null:", IM() + Tiny() + " null:");
}
void ReadGreyPackBitsOurs(benchmark::State& st) { OursRead(st, GreyPackBits()); }
void ReadGreyPackBitsImageMagick(benchmark::State& st) {
    ImageMagickRun(st, IM() + GreyPackBits() + " null:", IM() + Tiny() + " null:");
}
void ReadJpegOurs(benchmark::State& st) { OursRead(st, RgbJpeg()); }
void ReadJpegImageMagick(benchmark::State& st) {
    ImageMagickRun(st, IM() + RgbJpeg() + " null:", IM() + Tiny() + " null:");
}
// 8-bit grey pictures are written with PackBits, true colour with JPEG.
void WriteGreyPackBitsOurs(benchmark::State& st) { OursWrite(st, GreyPackBits(), 90); }
void WriteGreyPackBitsImageMagick(benchmark::State& st) {
    const std::string out = benchfixture::Dir() + "/im_out.tif";
    ImageMagickRun(st, IM() + GreyMpc() + " -compress RLE " + out, IM() + GreyMpc() + " null:");
}
void WriteJpegOurs(benchmark::State& st) { OursWrite(st, RgbPackBits(), 90); }
void WriteJpegImageMagick(benchmark::State& st) {
    const std::string out = benchfixture::Dir() + "/im_out.tif";
    ImageMagickRun(st, IM() + RgbMpc() + " -compress JPEG -quality 90 -sampling-factor 1x1 " + out,
                   IM() + RgbMpc() + " null:");
}

}  // namespace

#define OURS(f) BENCHMARK(f)->Unit(benchmark::kMillisecond)->MinTime(2)
#define THEIRS(f) BENCHMARK(f)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3)
OURS(ReadRgbPackBitsOurs);
THEIRS(ReadRgbPackBitsImageMagick);
OURS(ReadGreyPackBitsOurs);
THEIRS(ReadGreyPackBitsImageMagick);
OURS(ReadJpegOurs);
THEIRS(ReadJpegImageMagick);
OURS(WriteGreyPackBitsOurs);
THEIRS(WriteGreyPackBitsImageMagick);
OURS(WriteJpegOurs);
THEIRS(WriteJpegImageMagick);

BENCHMARK_MAIN();
