// Row kernels of the per-pixel colour operations (negative, tables,
// grey, thresholds, luminance, channel splits), in 256-bit vectors where
// the processor has AVX2 and the paths are allowed (AllowAvx2Paths), some
// in 512-bit ones where it has AVX-512 with byte permutes
// (pixel_rows_avx512.*), one pixel at a time otherwise. Both give the same bytes: the vector paths
// compute the rules with the same integer and single-precision operations
// as the plain ones (the tests run each against the other).
//
// Rows are blue, green, red, 3 bytes a pixel, with an alpha plane of one
// byte a pixel; `stream` asks for stores that bypass the caches (for
// results far larger than them, which nothing reads before they are out of
// the cache anyway: the write then costs no read of the old contents).
#pragma once

#include <cstddef>
#include <cstdint>

namespace layerops {
namespace pixelrows {

// True when the vector paths run; AllowAvx2Paths(false) turns them off.
bool Avx2();
void AllowAvx2(bool allow);
// True when the 512-bit kernels (AVX-512 with byte permutes) run where they
// exist: the processor has them, the vector paths run and
// AllowAvx512Paths(false) has not kept them to AVX2.
bool Avx512();
void AllowAvx512(bool allow);

// Results at least this large are written with streaming stores.
constexpr size_t kStreamBytes = size_t(8) << 20;

// d[i] = 255 - s[i] for n bytes.
void Invert(const uint8_t* s, uint8_t* d, size_t n, bool stream);

// Three byte tables, one per channel: blue, green, red. Fit() looks for a
// straight line that gives every entry of each table,
// t[c] = clamp((k c + b) >> 16, 0, 255) in 32-bit integers; where all three
// have one, rows are mapped by the line instead of by looking up.
struct ByteTables {
    uint8_t t[3][256];
    int32_t k[3] = {0, 0, 0}, b[3] = {0, 0, 0};
    bool linear = false;
    void Fit();
};

// Where a[x] != 0 the pixel's channels go through the tables and oa[x]
// (when given) becomes 255; the other pixels keep their bytes.
void MapRow(const uint8_t* s, uint8_t* d, const uint8_t* a, uint8_t* oa, int w, const ByteTables& t, bool stream);

// Every pixel becomes grey, (B + G + R) div 3 in each channel; where
// a[x] != 0, oa[x] (when given) becomes 255.
void GreyRow(const uint8_t* s, uint8_t* d, const uint8_t* a, uint8_t* oa, int w, bool stream);

// Where a[x] != 0 the pixel becomes white when its grey (B + G + R) div 3
// is at most limit[x & 3] (limits -1..255, -1: never), else black,
// and oa[x] (when given) takes a[x]; the others keep their bytes.
void ThresholdRow(const uint8_t* s, uint8_t* d, const uint8_t* a, uint8_t* oa, int w, const int16_t limit[4],
                  bool stream);

// Where a[x] != 0 the pixel becomes white when flag[x] is 255, black when
// it is 0, and oa[x] (when given) takes a[x]; the others keep their bytes.
void PaintFlags(const uint8_t* flag, uint8_t* d, const uint8_t* a, uint8_t* oa, int w, bool stream);

// lum[x] = (11 B + 59 G + 30 R) div 100.
void LumRow(const uint8_t* s, uint8_t* lum, int w);

// grey[x] = (B + G + R) div 3.
void GreyValues(const uint8_t* s, uint8_t* grey, int w);

// The smallest and largest of n bytes (n >= 1), folded into lo and hi.
void Range(const uint8_t* p, int n, uint8_t& lo, uint8_t& hi);

// The three channels into planes.
void SplitRow(const uint8_t* s, uint8_t* blue, uint8_t* green, uint8_t* red, int w);

// Y, U, V (RgbToYuv) and H, S, L (RgbToHsl) of every pixel into planes.
void YuvRow(const uint8_t* s, uint8_t* y, uint8_t* u, uint8_t* v, int w);
void HslRow(const uint8_t* s, uint8_t* h, uint8_t* sat, uint8_t* l, int w);

}  // namespace pixelrows
}  // namespace layerops
