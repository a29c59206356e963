// Row kernels of the compositor's normal rule, vectorised where the CPU
// allows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace compositing {

// trunc(x / 255) for x in 0..65280, with integer operations only. Equal to
// MulTable()[v][a] for x = v * a over the whole byte range (the table's
// factor is 1/255 rounded up to a float, too little above 1/255 to carry any
// product across an integer).
inline uint32_t Div255(uint32_t x) { return (x + 1 + (x >> 8)) >> 8; }

// The normal rule over n pixels: d is BGRA, s the source blue, green, red
// (3 bytes a pixel, or one colour for every pixel when sstep is 0), a the
// source alpha, t the layer's transparency. Pixels with A <= t keep the
// destination unchanged.
void NormalRow(uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t);

// The normal rule over n sampled pixels: pixel j takes its colour from
// prow + off[j] * 3 and its alpha from arow[off[j]]; rowBytes is the number of
// bytes readable from prow.
void NormalRowGather(uint8_t* d, const uint8_t* prow, size_t rowBytes, const uint8_t* arow, const int32_t* off, int n,
                     int t);

// The same with off[j] = off[0] + j * k (a whole-number step, zoom 1/k);
// alphaBytes is the number of bytes readable from arow.
void NormalRowStrided(uint8_t* d, const uint8_t* prow, size_t rowBytes, const uint8_t* arow, size_t alphaBytes,
                      const int32_t* off, int k, int n, int t);

// The same rule, one pixel at a time without vector instructions.
void NormalRowScalar(uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t);

// The kernels by instruction set; the best one the CPU has is used. Tests
// run each against the others.
enum class Kernel { Scalar, Sse41, Avx2 };
Kernel BestKernel();
void NormalRowWith(Kernel k, uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t);
void NormalRowGatherWith(Kernel k, uint8_t* d, const uint8_t* prow, size_t rowBytes, const uint8_t* arow,
                         const int32_t* off, int n, int t);
void NormalRowStridedWith(Kernel k, uint8_t* d, const uint8_t* prow, size_t rowBytes, const uint8_t* arow,
                          size_t alphaBytes, const int32_t* off, int step, int n, int t);

}  // namespace compositing
