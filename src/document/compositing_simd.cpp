// Normal-rule row kernels: destination = d * (255 - a') / 255 + s * a' / 255
// (each quotient truncated), alpha D = a' when D is 0, else
// min(255, (a' + 1) * D); a' = max(0, A - t). With a' = 0 the formula leaves
// colour and alpha as they were, so the vector path needs no per-pixel test.
#include "compositing_simd.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PIMLORA_X86 1
#endif

namespace compositing {

namespace {

inline void Pixel(uint8_t* d, const uint8_t* s, int A, int t) {
    if (A <= t) return;
    const uint32_t al = uint32_t(A - t), ia = 255 - al;
    d[0] = uint8_t(Div255(d[0] * ia) + Div255(s[0] * al));
    d[1] = uint8_t(Div255(d[1] * ia) + Div255(s[1] * al));
    d[2] = uint8_t(Div255(d[2] * ia) + Div255(s[2] * al));
    const uint32_t D = d[3];
    d[3] = D == 0 ? uint8_t(al) : uint8_t(std::min<uint32_t>(255, (al + 1) * D));
}

// Eight transparent pixels are skipped, eight opaque ones (no transparency)
// copied; returns false when the group needs the rule.
inline bool TrivialGroup(uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int t) {
    uint64_t w;
    std::memcpy(&w, a, 8);
    if (w == 0) return true;
    if (w != ~uint64_t(0) || t != 0) return false;
    for (int k = 0; k < 8; ++k, d += 4, s += sstep) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        d[3] = 255;
    }
    return true;
}

}  // namespace

void NormalRowScalar(uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t) {
    int j = 0;
    for (; j + 8 <= n; j += 8, d += 32, s += 8 * sstep) {
        if (TrivialGroup(d, s, sstep, a + j, t)) continue;
        for (int k = 0; k < 8; ++k) Pixel(d + k * 4, s + k * sstep, a[j + k], t);
    }
    for (; j < n; ++j, d += 4, s += sstep) Pixel(d, s, a[j], t);
}

namespace {

inline bool HasZeroByte(uint64_t w) {
    return ((w - 0x0101010101010101ull) & ~w & 0x8080808080808080ull) != 0;
}

template <int M>
void BlendRowScalarT(uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t) {
    for (int j = 0; j < n; ++j, d += 4, s += sstep) {
        if (a[j] == 0) continue;
        for (int c = 0; c < 3; ++c) d[c] = uint8_t(BlendRule(M, Fade(s[c], d[c], uint32_t(t)), d[c]));
        d[3] = 255;   // D = 0 becomes 255; otherwise (255 + 1) * D saturates
    }
}

using BlendFn = void (*)(uint8_t*, const uint8_t*, size_t, const uint8_t*, int, int);

// Rule 1 stands for the unknown rules too.
inline int RuleIndex(int mode) { return mode >= 2 && mode <= 9 ? mode : 1; }

const BlendFn kBlendScalar[10] = {nullptr,           BlendRowScalarT<1>, BlendRowScalarT<2>, BlendRowScalarT<3>,
                                  BlendRowScalarT<4>, BlendRowScalarT<5>, BlendRowScalarT<6>, BlendRowScalarT<7>,
                                  BlendRowScalarT<8>, BlendRowScalarT<9>};

}  // namespace

void BlendRowScalar(uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t, int mode) {
    int j = 0;
    // Transparent groups of eight cost one test.
    for (; j + 8 <= n; j += 8) {
        uint64_t w;
        std::memcpy(&w, a + j, 8);
        if (w != 0) break;
    }
    kBlendScalar[RuleIndex(mode)](d + size_t(j) * 4, s + size_t(j) * sstep, sstep, a + j, n - j, t);
}

#ifdef PIMLORA_X86
namespace {

#define PIMLORA_SSE41 __attribute__((target("sse4.1")))

PIMLORA_SSE41 inline __m128i Div255x8(__m128i x) {
    const __m128i one = _mm_set1_epi16(1);
    return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, one), _mm_srli_epi16(x, 8)), 8);
}

// Two pixels in 16-bit lanes: colour lanes by the rule, alpha lanes (3 and 7)
// a' when D is 0, else min(255, (a' + 1) * D).
PIMLORA_SSE41 inline __m128i Rule2(__m128i d16, __m128i s16, __m128i a16) {
    const __m128i k255 = _mm_set1_epi16(255), one = _mm_set1_epi16(1);
    const __m128i c = _mm_add_epi16(Div255x8(_mm_mullo_epi16(d16, _mm_sub_epi16(k255, a16))),
                                    Div255x8(_mm_mullo_epi16(s16, a16)));
    const __m128i m = _mm_min_epu16(_mm_mullo_epi16(_mm_add_epi16(a16, one), d16), k255);
    const __m128i alpha = _mm_blendv_epi8(m, a16, _mm_cmpeq_epi16(d16, _mm_setzero_si128()));
    return _mm_blend_epi16(c, alpha, 0x88);
}

// Four pixels: sv holds their colours as B, G, R, 0 per pixel, al4 their a'.
PIMLORA_SSE41 inline __m128i Rule4(__m128i dv, __m128i sv, uint32_t al4) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i spread = _mm_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3);
    const __m128i av = _mm_shuffle_epi8(_mm_cvtsi32_si128(int(al4)), spread);
    const __m128i lo = Rule2(_mm_cvtepu8_epi16(dv), _mm_cvtepu8_epi16(sv), _mm_cvtepu8_epi16(av));
    const __m128i hi = Rule2(_mm_unpackhi_epi8(dv, zero), _mm_unpackhi_epi8(sv, zero), _mm_unpackhi_epi8(av, zero));
    return _mm_packus_epi16(lo, hi);
}

// Eight pixels: w their alpha values (first pixel in the low byte), s0 and s1
// their colours as B, G, R, x per pixel (the fourth byte is not used).
PIMLORA_SSE41 inline void Group8(uint8_t* d, __m128i s0, __m128i s1, uint64_t w, __m128i tv, int t) {
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    __m128i* d0 = reinterpret_cast<__m128i*>(d);
    __m128i* d1 = reinterpret_cast<__m128i*>(d + 16);
    if (w == ~uint64_t(0) && t == 0) {
        _mm_storeu_si128(d0, _mm_or_si128(s0, opaque));
        _mm_storeu_si128(d1, _mm_or_si128(s1, opaque));
        return;
    }
    // a' = A - t saturated at 0, eight at once.
    const __m128i al = _mm_subs_epu8(_mm_cvtsi64_si128(int64_t(w)), tv);
    const uint64_t al8 = uint64_t(_mm_cvtsi128_si64(al));
    if (al8 == 0) return;
    if (uint32_t(al8)) _mm_storeu_si128(d0, Rule4(_mm_loadu_si128(d0), s0, uint32_t(al8)));
    if (uint32_t(al8 >> 32)) _mm_storeu_si128(d1, Rule4(_mm_loadu_si128(d1), s1, uint32_t(al8 >> 32)));
}

PIMLORA_SSE41 void NormalRowSse41(uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t) {
    // B, G, R of four packed pixels into B, G, R, 0 per 4 bytes.
    const __m128i expand = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i tv = _mm_set1_epi8(char(t));
    __m128i fixed = _mm_setzero_si128();   // the one colour when sstep is 0
    if (sstep == 0) fixed = _mm_set1_epi32(int(uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16));
    int j = 0;
    // A 16-byte load of colours needs six pixels' worth of bytes.
    for (; j + 8 <= n && (sstep == 0 || j + 11 <= n); j += 8, d += 32, s += 8 * sstep) {
        uint64_t w;
        std::memcpy(&w, a + j, 8);
        if (w == 0) continue;
        __m128i s0 = fixed, s1 = fixed;
        if (sstep != 0) {
            s0 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), expand);
            s1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 12)), expand);
        }
        Group8(d, s0, s1, w, tv, t);
    }
    NormalRowScalar(d, s, sstep, a + j, n - j, t);
}

inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Sampled pixels: the colour of pixel j is 4 bytes read at prow + off[j] * 3
// (the fourth byte is ignored), so the caller keeps these reads inside the row.
PIMLORA_SSE41 void NormalRowGatherSse41(uint8_t* d, const uint8_t* prow, const uint8_t* arow, const int32_t* off,
                                        int n, int t) {
    const __m128i tv = _mm_set1_epi8(char(t));
    int j = 0;
    for (; j + 8 <= n; j += 8, d += 32) {
        const int32_t* o = off + j;
        const uint64_t w = uint64_t(arow[o[0]]) | uint64_t(arow[o[1]]) << 8 | uint64_t(arow[o[2]]) << 16 |
                           uint64_t(arow[o[3]]) << 24 | uint64_t(arow[o[4]]) << 32 | uint64_t(arow[o[5]]) << 40 |
                           uint64_t(arow[o[6]]) << 48 | uint64_t(arow[o[7]]) << 56;
        if (w == 0) continue;
        const __m128i s0 = _mm_setr_epi32(int(Load32(prow + size_t(o[0]) * 3)), int(Load32(prow + size_t(o[1]) * 3)),
                                          int(Load32(prow + size_t(o[2]) * 3)), int(Load32(prow + size_t(o[3]) * 3)));
        const __m128i s1 = _mm_setr_epi32(int(Load32(prow + size_t(o[4]) * 3)), int(Load32(prow + size_t(o[5]) * 3)),
                                          int(Load32(prow + size_t(o[6]) * 3)), int(Load32(prow + size_t(o[7]) * 3)));
        Group8(d, s0, s1, w, tv, t);
    }
    for (; j < n; ++j, d += 4) Pixel(d, prow + size_t(off[j]) * 3, arow[off[j]], t);
}

// The same in 256-bit registers: eight pixels in one go.
#define PIMLORA_AVX2 __attribute__((target("avx2")))

PIMLORA_AVX2 inline __m256i Div255x16(__m256i x) {
    const __m256i one = _mm256_set1_epi16(1);
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(x, one), _mm256_srli_epi16(x, 8)), 8);
}

PIMLORA_AVX2 inline __m256i Rule4x(__m256i d16, __m256i s16, __m256i a16) {
    const __m256i k255 = _mm256_set1_epi16(255), one = _mm256_set1_epi16(1);
    const __m256i c = _mm256_add_epi16(Div255x16(_mm256_mullo_epi16(d16, _mm256_sub_epi16(k255, a16))),
                                       Div255x16(_mm256_mullo_epi16(s16, a16)));
    const __m256i m = _mm256_min_epu16(_mm256_mullo_epi16(_mm256_add_epi16(a16, one), d16), k255);
    const __m256i alpha = _mm256_blendv_epi8(m, a16, _mm256_cmpeq_epi16(d16, _mm256_setzero_si256()));
    return _mm256_blend_epi16(c, alpha, 0x88);
}

// Eight pixels: sv their colours as B, G, R, x per pixel, w their alpha
// values (first pixel in the low byte).
PIMLORA_AVX2 inline void Group8x(uint8_t* d, __m256i sv, uint64_t w, __m128i tv, int t) {
    __m256i* dp = reinterpret_cast<__m256i*>(d);
    if (w == ~uint64_t(0) && t == 0) {
        _mm256_storeu_si256(dp, _mm256_or_si256(sv, _mm256_set1_epi32(int(0xFF000000u))));
        return;
    }
    const __m128i al = _mm_subs_epu8(_mm_cvtsi64_si128(int64_t(w)), tv);
    if (_mm_cvtsi128_si64(al) == 0) return;
    // a' of each pixel in its four bytes; the unpacks below and the pack
    // after the rule both work within 128-bit halves, so the order holds.
    const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3,
                                            4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7);
    const __m256i av = _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(al), spread);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i dv = _mm256_loadu_si256(dp);
    const __m256i lo = Rule4x(_mm256_unpacklo_epi8(dv, zero), _mm256_unpacklo_epi8(sv, zero),
                              _mm256_unpacklo_epi8(av, zero));
    const __m256i hi = Rule4x(_mm256_unpackhi_epi8(dv, zero), _mm256_unpackhi_epi8(sv, zero),
                              _mm256_unpackhi_epi8(av, zero));
    _mm256_storeu_si256(dp, _mm256_packus_epi16(lo, hi));
}

PIMLORA_AVX2 void NormalRowAvx2(uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t) {
    const __m256i expand = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,
                                            0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i tv = _mm_set1_epi8(char(t));
    __m256i fixed = _mm256_setzero_si256();
    if (sstep == 0) fixed = _mm256_set1_epi32(int(uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16));
    int j = 0;
    for (; j + 8 <= n && (sstep == 0 || j + 11 <= n); j += 8, d += 32, s += 8 * sstep) {
        uint64_t w;
        std::memcpy(&w, a + j, 8);
        if ((j & 15) == 0) {
            __builtin_prefetch(a + j + 512);
            __builtin_prefetch(s + 1536);
        }
        if (w == 0) continue;
        __m256i sv = fixed;
        if (sstep != 0) {
            const __m256i raw = _mm256_inserti128_si256(
                _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s))),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 12)), 1);
            sv = _mm256_shuffle_epi8(raw, expand);
        }
        Group8x(d, sv, w, tv, t);
    }
    NormalRowScalar(d, s, sstep, a + j, n - j, t);
}

PIMLORA_AVX2 void NormalRowGatherAvx2(uint8_t* d, const uint8_t* prow, const uint8_t* arow, const int32_t* off, int n,
                                      int t) {
    const __m128i tv = _mm_set1_epi8(char(t));
    int j = 0;
    for (; j + 8 <= n; j += 8, d += 32) {
        const int32_t* o = off + j;
        const uint64_t w = uint64_t(arow[o[0]]) | uint64_t(arow[o[1]]) << 8 | uint64_t(arow[o[2]]) << 16 |
                           uint64_t(arow[o[3]]) << 24 | uint64_t(arow[o[4]]) << 32 | uint64_t(arow[o[5]]) << 40 |
                           uint64_t(arow[o[6]]) << 48 | uint64_t(arow[o[7]]) << 56;
        // The rows are read once, far apart: fetch ahead.
        __builtin_prefetch(arow + o[0] + 512);
        __builtin_prefetch(prow + size_t(o[0]) * 3 + 1536);
        __builtin_prefetch(prow + size_t(o[0]) * 3 + 1600);
        if (w == 0) continue;
        const __m256i sv = _mm256_setr_epi32(
            int(Load32(prow + size_t(o[0]) * 3)), int(Load32(prow + size_t(o[1]) * 3)),
            int(Load32(prow + size_t(o[2]) * 3)), int(Load32(prow + size_t(o[3]) * 3)),
            int(Load32(prow + size_t(o[4]) * 3)), int(Load32(prow + size_t(o[5]) * 3)),
            int(Load32(prow + size_t(o[6]) * 3)), int(Load32(prow + size_t(o[7]) * 3)));
        Group8x(d, sv, w, tv, t);
    }
    for (; j < n; ++j, d += 4) Pixel(d, prow + size_t(off[j]) * 3, arow[off[j]], t);
}

// Every k-th pixel from `first` on (k from 2 to 4), in groups of eight while
// the group's loads stay inside the rows; returns the pixels done.
PIMLORA_AVX2 int NormalRowStridedAvx2(uint8_t* d, const uint8_t* prow, size_t rowBytes, const uint8_t* arow,
                                      size_t alphaBytes, int first, int k, int n, int t) {
    alignas(16) int8_t alo[16], ahi[16], cm[16];
    for (int m = 0; m < 16; ++m) alo[m] = ahi[m] = cm[m] = -1;
    for (int m = 0; m < 8; ++m) {
        const int at = m * k;
        if (at < 16) alo[m] = int8_t(at);
        else ahi[m] = int8_t(at - 16);
    }
    // Two pixels per 16-byte load: at bytes 0 and 3k.
    for (int c = 0; c < 3; ++c) cm[c] = int8_t(c), cm[4 + c] = int8_t(3 * k + c);
    const __m128i alphaLo = _mm_load_si128(reinterpret_cast<const __m128i*>(alo));
    const __m128i alphaHi = _mm_load_si128(reinterpret_cast<const __m128i*>(ahi));
    const __m128i pair = _mm_load_si128(reinterpret_cast<const __m128i*>(cm));
    const __m128i tv = _mm_set1_epi8(char(t));
    const size_t pairStep = size_t(6 * k);
    int j = 0;
    for (; j + 8 <= n; j += 8, d += 32) {
        const size_t o = size_t(first) + size_t(j) * size_t(k);
        if (o + 32 > alphaBytes || o * 3 + 3 * pairStep + 16 > rowBytes) break;
        const __m128i a = _mm_or_si128(
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(arow + o)), alphaLo),
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(arow + o + 16)), alphaHi));
        const uint64_t w = uint64_t(_mm_cvtsi128_si64(a));
        // The rows are read once, far apart: fetch ahead.
        __builtin_prefetch(arow + o + 512);
        __builtin_prefetch(prow + o * 3 + 1536);
        __builtin_prefetch(prow + o * 3 + 1600);
        if (w == 0) continue;
        const uint8_t* s = prow + o * 3;
        const __m128i p0 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), pair);
        const __m128i p1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + pairStep)), pair);
        const __m128i p2 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * pairStep)), pair);
        const __m128i p3 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * pairStep)), pair);
        const __m256i sv = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_unpacklo_epi64(p0, p1)),
                                                   _mm_unpacklo_epi64(p2, p3), 1);
        Group8x(d, sv, w, tv, t);
    }
    return j;
}

// --- blend rules 1..9 ---------------------------------------------------------------
//
// Fade and rule in 16-bit lanes, one lane per channel (values 0..255; every
// product fits 16 bits). The alpha lanes are computed with the rest and then
// set to 255; pixels with A = 0 keep the destination.

template <int M>
PIMLORA_SSE41 inline __m128i RuleLanes(__m128i f, __m128i d) {
    const __m128i k255 = _mm_set1_epi16(255);
    if constexpr (M == 2) {
        return _mm_srli_epi16(_mm_mullo_epi16(f, d), 8);
    } else if constexpr (M == 3) {
        return _mm_sub_epi16(k255, _mm_srli_epi16(_mm_mullo_epi16(_mm_sub_epi16(k255, d), _mm_sub_epi16(k255, f)), 8));
    } else if constexpr (M == 4) {
        return _mm_min_epi16(f, d);
    } else if constexpr (M == 5) {
        return _mm_max_epi16(f, d);
    } else if constexpr (M == 6) {
        return _mm_abs_epi16(_mm_sub_epi16(d, f));
    } else if constexpr (M == 7) {
        return _mm_sub_epi16(k255, _mm_abs_epi16(_mm_sub_epi16(_mm_sub_epi16(k255, d), f)));
    } else if constexpr (M == 8) {
        return _mm_and_si128(_mm_sub_epi16(_mm_add_epi16(f, d), _mm_srli_epi16(_mm_mullo_epi16(f, d), 7)), k255);
    } else if constexpr (M == 9) {
        const __m128i low = _mm_srli_epi16(_mm_mullo_epi16(d, f), 7);
        const __m128i high =
            _mm_sub_epi16(k255, _mm_srli_epi16(_mm_mullo_epi16(_mm_sub_epi16(k255, f), _mm_sub_epi16(k255, d)), 7));
        return _mm_blendv_epi8(high, low, _mm_cmpgt_epi16(_mm_set1_epi16(128), f));
    } else {
        (void)d;
        return f;
    }
}

// What the fade needs: 255 - t, t, and 1 where t < 255 (the correction of
// Fade, header), in every lane.
struct FadeConsts128 {
    __m128i m, t, below;
};

template <int M, bool Opaque>
PIMLORA_SSE41 inline __m128i FadeRule(__m128i s, __m128i d, const FadeConsts128& k) {
    const __m128i below = _mm_and_si128(_mm_cmpgt_epi16(d, s), k.below);
    __m128i f;
    if constexpr (Opaque)   // t = 0: trunc((255 s - [s < d]) / 255)
        f = _mm_subs_epu16(s, below);
    else
        f = Div255x8(_mm_subs_epu16(_mm_add_epi16(_mm_mullo_epi16(s, k.m), _mm_mullo_epi16(d, k.t)), below));
    return RuleLanes<M>(f, d);
}

// Four pixels: sv their colours as B, G, R, x; a4 their alpha values.
template <int M, bool Opaque>
PIMLORA_SSE41 inline void BlendGroup4(uint8_t* d, __m128i sv, uint32_t a4, const FadeConsts128& k) {
    if (a4 == 0) return;
    __m128i* dp = reinterpret_cast<__m128i*>(d);
    const __m128i dv = _mm_loadu_si128(dp), zero = _mm_setzero_si128();
    const __m128i lo = FadeRule<M, Opaque>(_mm_cvtepu8_epi16(sv), _mm_cvtepu8_epi16(dv), k);
    const __m128i hi = FadeRule<M, Opaque>(_mm_unpackhi_epi8(sv, zero), _mm_unpackhi_epi8(dv, zero), k);
    __m128i out = _mm_or_si128(_mm_packus_epi16(lo, hi), _mm_set1_epi32(int(0xFF000000u)));
    if (HasZeroByte(uint64_t(a4) | 0xFFFFFFFF00000000ull)) {
        const __m128i spread = _mm_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3);
        const __m128i av = _mm_shuffle_epi8(_mm_cvtsi32_si128(int(a4)), spread);
        out = _mm_blendv_epi8(out, dv, _mm_cmpeq_epi8(av, zero));
    }
    _mm_storeu_si128(dp, out);
}

template <int M, bool Opaque>
PIMLORA_SSE41 void BlendRowSse41T(uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t) {
    const __m128i expand = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const FadeConsts128 k{_mm_set1_epi16(short(255 - t)), _mm_set1_epi16(short(t)), _mm_set1_epi16(t < 255 ? 1 : 0)};
    __m128i fixed = _mm_setzero_si128();
    if (sstep == 0) fixed = _mm_set1_epi32(int(uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16));
    int j = 0;
    for (; j + 8 <= n && (sstep == 0 || j + 11 <= n); j += 8, d += 32, s += 8 * sstep) {
        uint64_t w;
        std::memcpy(&w, a + j, 8);
        if (w == 0) continue;
        __m128i s0 = fixed, s1 = fixed;
        if (sstep != 0) {
            s0 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), expand);
            s1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 12)), expand);
        }
        BlendGroup4<M, Opaque>(d, s0, uint32_t(w), k);
        BlendGroup4<M, Opaque>(d + 16, s1, uint32_t(w >> 32), k);
    }
    BlendRowScalarT<M>(d, s, sstep, a + j, n - j, t);
}

template <int M>
PIMLORA_AVX2 inline __m256i RuleLanes16(__m256i f, __m256i d) {
    const __m256i k255 = _mm256_set1_epi16(255);
    if constexpr (M == 2) {
        return _mm256_srli_epi16(_mm256_mullo_epi16(f, d), 8);
    } else if constexpr (M == 3) {
        return _mm256_sub_epi16(
            k255, _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_sub_epi16(k255, d), _mm256_sub_epi16(k255, f)), 8));
    } else if constexpr (M == 4) {
        return _mm256_min_epi16(f, d);
    } else if constexpr (M == 5) {
        return _mm256_max_epi16(f, d);
    } else if constexpr (M == 6) {
        return _mm256_abs_epi16(_mm256_sub_epi16(d, f));
    } else if constexpr (M == 7) {
        return _mm256_sub_epi16(k255, _mm256_abs_epi16(_mm256_sub_epi16(_mm256_sub_epi16(k255, d), f)));
    } else if constexpr (M == 8) {
        return _mm256_and_si256(
            _mm256_sub_epi16(_mm256_add_epi16(f, d), _mm256_srli_epi16(_mm256_mullo_epi16(f, d), 7)), k255);
    } else if constexpr (M == 9) {
        const __m256i low = _mm256_srli_epi16(_mm256_mullo_epi16(d, f), 7);
        const __m256i high = _mm256_sub_epi16(
            k255, _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_sub_epi16(k255, f), _mm256_sub_epi16(k255, d)), 7));
        return _mm256_blendv_epi8(high, low, _mm256_cmpgt_epi16(_mm256_set1_epi16(128), f));
    } else {
        (void)d;
        return f;
    }
}

struct FadeConsts256 {
    __m256i m, t, below;
};

template <int M, bool Opaque>
PIMLORA_AVX2 inline __m256i FadeRule16(__m256i s, __m256i d, const FadeConsts256& k) {
    const __m256i below = _mm256_and_si256(_mm256_cmpgt_epi16(d, s), k.below);
    __m256i f;
    if constexpr (Opaque)
        f = _mm256_subs_epu16(s, below);
    else
        f = Div255x16(
            _mm256_subs_epu16(_mm256_add_epi16(_mm256_mullo_epi16(s, k.m), _mm256_mullo_epi16(d, k.t)), below));
    return RuleLanes16<M>(f, d);
}

// Eight pixels: sv their colours as B, G, R, x; w their alpha values.
template <int M, bool Opaque>
PIMLORA_AVX2 inline void BlendGroup8x(uint8_t* d, __m256i sv, uint64_t w, const FadeConsts256& k) {
    __m256i* dp = reinterpret_cast<__m256i*>(d);
    const __m256i dv = _mm256_loadu_si256(dp), zero = _mm256_setzero_si256();
    // The unpacks and the pack work within 128-bit halves: the order holds.
    const __m256i lo = FadeRule16<M, Opaque>(_mm256_unpacklo_epi8(sv, zero), _mm256_unpacklo_epi8(dv, zero), k);
    const __m256i hi = FadeRule16<M, Opaque>(_mm256_unpackhi_epi8(sv, zero), _mm256_unpackhi_epi8(dv, zero), k);
    __m256i out = _mm256_or_si256(_mm256_packus_epi16(lo, hi), _mm256_set1_epi32(int(0xFF000000u)));
    if (HasZeroByte(w)) {
        const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3,
                                                4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7);
        const __m256i av = _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(_mm_cvtsi64_si128(int64_t(w))), spread);
        out = _mm256_blendv_epi8(out, dv, _mm256_cmpeq_epi8(av, zero));
    }
    _mm256_storeu_si256(dp, out);
}

template <int M, bool Opaque>
PIMLORA_AVX2 void BlendRowAvx2T(uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t) {
    const __m256i expand = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,
                                            0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const FadeConsts256 k{_mm256_set1_epi16(short(255 - t)), _mm256_set1_epi16(short(t)),
                          _mm256_set1_epi16(t < 255 ? 1 : 0)};
    __m256i fixed = _mm256_setzero_si256();
    if (sstep == 0) fixed = _mm256_set1_epi32(int(uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16));
    int j = 0;
    for (; j + 8 <= n && (sstep == 0 || j + 11 <= n); j += 8, d += 32, s += 8 * sstep) {
        uint64_t w;
        std::memcpy(&w, a + j, 8);
        if ((j & 15) == 0) {
            __builtin_prefetch(a + j + 512);
            __builtin_prefetch(s + 1536);
        }
        if (w == 0) continue;
        __m256i sv = fixed;
        if (sstep != 0) {
            const __m256i raw = _mm256_inserti128_si256(
                _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s))),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 12)), 1);
            sv = _mm256_shuffle_epi8(raw, expand);
        }
        BlendGroup8x<M, Opaque>(d, sv, w, k);
    }
    BlendRowScalarT<M>(d, s, sstep, a + j, n - j, t);
}

// The row functions by rule (index 1..9) and by t = 0 (index 1) or not.
#define PIMLORA_RULE(fn, m) {fn<m, false>, fn<m, true>}
#define PIMLORA_RULES(fn)                                                                            \
    {{nullptr, nullptr},  PIMLORA_RULE(fn, 1), PIMLORA_RULE(fn, 2), PIMLORA_RULE(fn, 3), PIMLORA_RULE(fn, 4), \
     PIMLORA_RULE(fn, 5), PIMLORA_RULE(fn, 6), PIMLORA_RULE(fn, 7), PIMLORA_RULE(fn, 8), PIMLORA_RULE(fn, 9)}
const BlendFn kBlendSse41[10][2] = PIMLORA_RULES(BlendRowSse41T);
const BlendFn kBlendAvx2[10][2] = PIMLORA_RULES(BlendRowAvx2T);
#undef PIMLORA_RULES
#undef PIMLORA_RULE

}  // namespace
#endif

Kernel BestKernel() {
#ifdef PIMLORA_X86
    static const Kernel best = __builtin_cpu_supports("avx2")     ? Kernel::Avx2
                               : __builtin_cpu_supports("sse4.1") ? Kernel::Sse41
                                                                  : Kernel::Scalar;
    return best;
#else
    return Kernel::Scalar;
#endif
}

void NormalRowWith(Kernel k, uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t) {
#ifdef PIMLORA_X86
    if (k == Kernel::Avx2) return NormalRowAvx2(d, s, sstep, a, n, t);
    if (k == Kernel::Sse41) return NormalRowSse41(d, s, sstep, a, n, t);
#endif
    NormalRowScalar(d, s, sstep, a, n, t);
}

void NormalRow(uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t) {
    NormalRowWith(BestKernel(), d, s, sstep, a, n, t);
}

void NormalRowGatherWith(Kernel k, uint8_t* d, const uint8_t* prow, size_t rowBytes, const uint8_t* arow,
                         const int32_t* off, int n, int t) {
    // Columns whose 4-byte colour read would pass the row's end (only the
    // last pixel of a row without padding) go one byte at a time.
    int fast = n;
    while (fast > 0 && size_t(off[fast - 1]) * 3 + 4 > rowBytes) --fast;
#ifdef PIMLORA_X86
    if (k == Kernel::Avx2)
        NormalRowGatherAvx2(d, prow, arow, off, fast, t);
    else if (k == Kernel::Sse41)
        NormalRowGatherSse41(d, prow, arow, off, fast, t);
    else
#endif
        for (int j = 0; j < fast; ++j) Pixel(d + size_t(j) * 4, prow + size_t(off[j]) * 3, arow[off[j]], t);
    for (int j = fast; j < n; ++j) Pixel(d + size_t(j) * 4, prow + size_t(off[j]) * 3, arow[off[j]], t);
}

void NormalRowGather(uint8_t* d, const uint8_t* prow, size_t rowBytes, const uint8_t* arow, const int32_t* off, int n,
                     int t) {
    NormalRowGatherWith(BestKernel(), d, prow, rowBytes, arow, off, n, t);
}

void NormalRowStridedWith(Kernel kernel, uint8_t* d, const uint8_t* prow, size_t rowBytes, const uint8_t* arow,
                          size_t alphaBytes, const int32_t* off, int k, int n, int t) {
    int done = 0;
#ifdef PIMLORA_X86
    if (kernel == Kernel::Avx2 && k >= 2 && k <= 4 && n > 0)
        done = NormalRowStridedAvx2(d, prow, rowBytes, arow, alphaBytes, off[0], k, n, t);
#else
    (void)alphaBytes;
    (void)k;
#endif
    NormalRowGatherWith(kernel, d + size_t(done) * 4, prow, rowBytes, arow, off + done, n - done, t);
}

void NormalRowStrided(uint8_t* d, const uint8_t* prow, size_t rowBytes, const uint8_t* arow, size_t alphaBytes,
                      const int32_t* off, int k, int n, int t) {
    NormalRowStridedWith(BestKernel(), d, prow, rowBytes, arow, alphaBytes, off, k, n, t);
}

void BlendRowWith(Kernel k, uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t, int mode) {
#ifdef PIMLORA_X86
    const int rule = RuleIndex(mode), opaque = t == 0 ? 1 : 0;
    if (k == Kernel::Avx2) return kBlendAvx2[rule][opaque](d, s, sstep, a, n, t);
    if (k == Kernel::Sse41) return kBlendSse41[rule][opaque](d, s, sstep, a, n, t);
#endif
    BlendRowScalar(d, s, sstep, a, n, t, mode);
}

void BlendRow(uint8_t* d, const uint8_t* s, size_t sstep, const uint8_t* a, int n, int t, int mode) {
    BlendRowWith(BestKernel(), d, s, sstep, a, n, t, mode);
}

}  // namespace compositing
