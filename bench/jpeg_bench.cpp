// JPEG decode and encode of a 6000 x 4000 photo: through our adapter, and
// through libjpeg-turbo called directly on the same file with the same
// settings (the floor our glue is measured against). On a shared machine
// compare the CPU column: the wall clock mostly measures the other load.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "ImageStream.h"
#include "VaZavi.h"
#include "bench_fixture.h"

namespace {

constexpr int kW = 6000, kH = 4000, kQuality = 90;

const std::string& JpegFile() {
    static const std::string p = benchfixture::Derived(
        "photo6000x4000_q90.jpg", "cjpeg -quality 90 " + benchfixture::Photo(kW, kH) + " >");
    return p;
}

const VaZavi& Picture() {
    static VaZavi img = [] {
        VaZavi i;
        i.Load(JpegFile().c_str(), kTypeJPEG);
        return VaZavi(i);
    }();
    return img;
}

void JpegDecodeOurs(benchmark::State& st) {
    const std::string& file = JpegFile();
    for (auto _ : st) {
        VaZavi img;
        if (!img.Load(file.c_str(), kTypeJPEG)) st.SkipWithError(img.LastError());
        benchmark::DoNotOptimize(img.bits);
    }
    st.SetItemsProcessed(st.iterations() * int64_t(kW) * kH);
}

void JpegDecodeLibjpeg(benchmark::State& st) {
    const std::string& file = JpegFile();
    for (auto _ : st) {
        FILE* f = std::fopen(file.c_str(), "rb");
        jpeg_decompress_struct c;
        jpeg_error_mgr e;
        c.err = jpeg_std_error(&e);
        jpeg_create_decompress(&c);
        jpeg_stdio_src(&c, f);
        jpeg_read_header(&c, TRUE);
        jpeg_start_decompress(&c);
        const size_t stride = size_t(c.output_width) * c.output_components;
        std::vector<uint8_t> pixels(stride * c.output_height);
        JSAMPROW rows[16];
        while (c.output_scanline < c.output_height) {
            int n = 0;
            for (JDIMENSION k = c.output_scanline; n < 16 && k < c.output_height; ++k, ++n)
                rows[n] = pixels.data() + stride * k;
            jpeg_read_scanlines(&c, rows, JDIMENSION(n));
        }
        jpeg_finish_decompress(&c);
        jpeg_destroy_decompress(&c);
        std::fclose(f);
        benchmark::DoNotOptimize(pixels.data());
    }
    st.SetItemsProcessed(st.iterations() * int64_t(kW) * kH);
}

void JpegEncodeOurs(benchmark::State& st) {
    VaZavi img(Picture());
    img.info.jpegQuality = kQuality;
    const std::string out = benchfixture::Dir() + "/enc_ours.jpg";
    for (auto _ : st) {
        FILE* f = std::fopen(out.c_str(), "wb");
        ImageStream s(f);
        if (!img.Save(s, kTypeJPEG)) st.SkipWithError(img.LastError());
        std::fclose(f);
    }
    st.SetItemsProcessed(st.iterations() * int64_t(kW) * kH);
}

// The same file our writer makes: progressive, no subsampling, quality 90.
void JpegEncodeLibjpeg(benchmark::State& st) {
    const VaZavi& img = Picture();
    const size_t stride = size_t(kW) * 3;
    std::vector<uint8_t> rgb(stride * kH);
    for (int y = 0; y < kH; ++y) {
        const uint8_t* s = img.Row(kH - 1 - y);
        uint8_t* d = rgb.data() + stride * y;
        for (int x = 0; x < kW; ++x) d[3 * x] = s[3 * x + 2], d[3 * x + 1] = s[3 * x + 1], d[3 * x + 2] = s[3 * x];
    }
    const std::string out = benchfixture::Dir() + "/enc_direct.jpg";
    for (auto _ : st) {
        FILE* f = std::fopen(out.c_str(), "wb");
        jpeg_compress_struct c;
        jpeg_error_mgr e;
        c.err = jpeg_std_error(&e);
        jpeg_create_compress(&c);
        jpeg_stdio_dest(&c, f);
        c.image_width = kW;
        c.image_height = kH;
        c.input_components = 3;
        c.in_color_space = JCS_RGB;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, kQuality, TRUE);
        jpeg_simple_progression(&c);
        for (int i = 0; i < 3; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
        jpeg_start_compress(&c, TRUE);
        JSAMPROW rows[16];
        while (c.next_scanline < c.image_height) {
            int n = 0;
            for (JDIMENSION k = c.next_scanline; n < 16 && k < c.image_height; ++k, ++n)
                rows[n] = rgb.data() + stride * k;
            jpeg_write_scanlines(&c, rows, JDIMENSION(n));
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        std::fclose(f);
    }
    st.SetItemsProcessed(st.iterations() * int64_t(kW) * kH);
}

}  // namespace

BENCHMARK(JpegDecodeOurs)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(JpegDecodeLibjpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(JpegEncodeOurs)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(JpegEncodeLibjpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

BENCHMARK_MAIN();
