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

// The fade of the blend rules, s' = trunc(s * k + d * (1 - k)) with
// k = (255 - t) * (1/255 as a float) in extended precision, in integers:
// k is exactly (255 - t) * 8421505 / 2^31, so s' = d + (s - d) (255 - t) / 255
// pushed up by a relative 127 / 2^31, which moves the quotient across an
// integer only when it is one already and s < d (it then falls just below
// it). Hence s' = trunc((s (255 - t) + d t - [s < d and t < 255]) / 255),
// with -1 counted as 0.
inline uint32_t Fade(uint32_t s, uint32_t d, uint32_t t) {
    const uint32_t x = s * (255 - t) + d * t, below = s < d && t < 255 ? 1 : 0;
    return x < below ? 0 : Div255(x - below);
}

// One channel of blend rule 2..9 on the faded source f and the destination
// d; rule 1 and the unknown rules give f.
inline uint32_t BlendRule(int mode, uint32_t f, uint32_t d) {
    switch (mode) {
    case 2: return (f * d) >> 8;
    case 3: return 255 - (((255 - d) * (255 - f)) >> 8);
    case 4: return f < d ? f : d;
    case 5: return f > d ? f : d;
    case 6: return d > f ? d - f : f - d;
    case 7: return 255 - (d + f > 255 ? d + f - 255 : 255 - d - f);
    case 8: return (f + d - ((f * d) >> 7)) & 255;
    case 9: return f < 128 ? (d * f) >> 7 : 255 - (((255 - f) * (255 - d)) >> 7);
    default: return f;
    }
}

// The blend rules over n pixels (d BGRA; s, sstep and a as for NormalRow;
// t the layer's transparency): every pixel with A != 0 takes the rule of
// `mode` on the faded colour and alpha 255; the others stay.
void BlendRow(uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t, int mode);
void BlendRowScalar(uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t, int mode);
void BlendRowWith(Kernel k, uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t, int mode);

}  // namespace compositing
