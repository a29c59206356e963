// Row kernels in 512-bit registers. A run of 64 pixels is three vectors of
// 64 bytes; byte j of the run's vector v holds channel (v + j) mod 3
// (64 is 1 modulo 3), so three fixed bit masks tell each byte's channel in
// every vector. A 256-entry byte table is four registers: one two-register
// permute (vpermi2b) looks up the entries 0..127, another 128..255, and
// bit 7 of each byte picks which of the two applies. Ends of rows, the
// pixels before the first aligned streaming store and runs holding
// transparent pixels use the same lookups with masked loads and stores.
// The grey values take a run apart into planes with byte permutes as
// well; the HSL split widens each channel of 16 pixels at a time straight
// into 32-bit lanes with one permute.
#include "pixel_rows_avx512.h"

#include <algorithm>

#include "pixel_rows.h"

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12 reports the undefined start register of many AVX-512 intrinsics
// (_mm512_undefined_*) as possibly uninitialised, inside its own header.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#define PIMLORA_WIDE 1
#define PIMLORA_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi")))
// The kernels' helpers inlined whole, so that the tables stay in registers.
#define PIMLORA_INLINE inline __attribute__((always_inline))
#endif

namespace layerops {
namespace pixelrows {
namespace wide {

#ifdef PIMLORA_WIDE
namespace {

constexpr uint64_t EveryThird(int from) {
    uint64_t m = 0;
    for (int j = from; j < 64; j += 3) m |= uint64_t(1) << j;
    return m;
}
// kThird[c]: the bytes j with j mod 3 == c.
constexpr uint64_t kThird[3] = {EveryThird(0), EveryThird(1), EveryThird(2)};

// The pixel of each byte of a run's three vectors (byte 64 v + j belongs
// to pixel (64 v + j) div 3), for spreading a pixel mask over bytes.
struct Spread {
    alignas(64) uint8_t at[3][64];
    constexpr Spread() : at{} {
        for (int v = 0; v < 3; ++v)
            for (int j = 0; j < 64; ++j) at[v][j] = uint8_t((64 * v + j) / 3);
    }
};
constexpr Spread kSpread;

inline uint64_t LowBits(int n) { return n >= 64 ? ~uint64_t(0) : (uint64_t(1) << n) - 1; }

// The three tables, four registers each.
struct Tables {
    __m512i q[3][4];
};

// Every byte of vector v of a run through its channel's table. Each byte
// is replaced by exactly one of the six masked permutes (channel, half),
// so the permutes can share one register: the lanes a permute leaves alone
// still hold their indices.
template <int V>
PIMLORA_AVX512 PIMLORA_INLINE __m512i Look(const Tables& t, __m512i idx) {
    const __mmask64 high = _mm512_movepi8_mask(idx);
    constexpr uint64_t m0 = kThird[(3 - V) % 3], m1 = kThird[(4 - V) % 3], m2 = kThird[(5 - V) % 3];
    __m512i r = _mm512_mask2_permutex2var_epi8(t.q[0][0], idx, m0 & ~high, t.q[0][1]);
    r = _mm512_mask2_permutex2var_epi8(t.q[0][2], r, m0 & high, t.q[0][3]);
    r = _mm512_mask2_permutex2var_epi8(t.q[1][0], r, m1 & ~high, t.q[1][1]);
    r = _mm512_mask2_permutex2var_epi8(t.q[1][2], r, m1 & high, t.q[1][3]);
    r = _mm512_mask2_permutex2var_epi8(t.q[2][0], r, m2 & ~high, t.q[2][1]);
    return _mm512_mask2_permutex2var_epi8(t.q[2][2], r, m2 & high, t.q[2][3]);
}

PIMLORA_AVX512 PIMLORA_INLINE __m512i Look(const Tables& t, __m512i idx, int v) {
    return v == 0 ? Look<0>(t, idx) : v == 1 ? Look<1>(t, idx) : Look<2>(t, idx);
}

// n pixels (1..64) from s to d: the ones whose alpha is non-zero mapped,
// their oa (when given) set to 255; the others keep their bytes. A full
// run of opaque pixels is stored whole, with streaming stores if asked
// (d then on a 64-byte boundary).
PIMLORA_AVX512 PIMLORA_INLINE void Run(const uint8_t* s, uint8_t* d, const uint8_t* a, uint8_t* oa, int n, const Tables& t,
                               const __m512i spread[3], bool stream) {
    const __m512i av = _mm512_maskz_loadu_epi8(LowBits(n), a);
    const __mmask64 mapped = _mm512_test_epi8_mask(av, av);
    if (!mapped) return;
    const __m512i full = _mm512_set1_epi8(-1);
    if (mapped == ~uint64_t(0)) {
        const __m512i r0 = Look<0>(t, _mm512_loadu_si512(s));
        const __m512i r1 = Look<1>(t, _mm512_loadu_si512(s + 64));
        const __m512i r2 = Look<2>(t, _mm512_loadu_si512(s + 128));
        if (stream) {
            _mm512_stream_si512(reinterpret_cast<__m512i*>(d), r0);
            _mm512_stream_si512(reinterpret_cast<__m512i*>(d + 64), r1);
            _mm512_stream_si512(reinterpret_cast<__m512i*>(d + 128), r2);
        } else {
            _mm512_storeu_si512(d, r0);
            _mm512_storeu_si512(d + 64, r1);
            _mm512_storeu_si512(d + 128, r2);
        }
        if (oa) _mm512_storeu_si512(oa, full);
        return;
    }
    for (int v = 0; v < 3 && 3 * n > 64 * v; ++v) {
        const __m512i idx = _mm512_maskz_loadu_epi8(LowBits(3 * n - 64 * v), s + 64 * v);
        // Alpha beyond the n pixels was loaded as 0: those bytes stay.
        const __m512i spreadA = _mm512_permutexvar_epi8(spread[v], av);
        const __mmask64 bytes = _mm512_test_epi8_mask(spreadA, spreadA);
        if (bytes) _mm512_mask_storeu_epi8(d + 64 * v, bytes, Look(t, idx, v));
    }
    if (oa) _mm512_mask_storeu_epi8(oa, mapped, full);
}

// The planes of a 64-pixel run (192 bytes in three vectors): byte i of
// plane c is byte 3 i + c, from the first two vectors where that is below
// 128 and from the third one (at 3 i + c - 128) elsewhere.
struct Deal {
    alignas(64) uint8_t first[3][64];
    alignas(64) uint8_t third[3][64];
    uint64_t inThird[3];
    constexpr Deal() : first{}, third{}, inThird{} {
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 64; ++i) {
                const int at = 3 * i + c;
                first[c][i] = uint8_t(at & 127);
                third[c][i] = uint8_t(at >= 128 ? at - 128 : 0);
                if (at >= 128) inThird[c] |= uint64_t(1) << i;
            }
    }
};
constexpr Deal kDeal;

// The channels of 16 pixels of a 64-pixel run as 32-bit lanes, straight
// from the run's vectors: group k (pixels 16 k .. 16 k + 15) lies within
// vectors 0 and 1 (k < 2) or 1 and 2, and at[k][c] puts byte 3 p + c of
// that pair into the low byte of lane p - 16 k (the others are zeroed).
// pack[h] takes the low bytes of two such groups' lanes back into the
// bytes 32 h .. 32 h + 31 of a vector.
struct Widen {
    alignas(64) uint8_t at[4][3][64];
    alignas(64) uint8_t pack[2][64];
    constexpr Widen() : at{}, pack{} {
        for (int k = 0; k < 4; ++k)
            for (int c = 0; c < 3; ++c)
                for (int i = 0; i < 16; ++i) at[k][c][4 * i] = uint8_t(3 * (16 * k + i) + c - (k < 2 ? 0 : 64));
        for (int h = 0; h < 2; ++h)
            for (int j = 0; j < 32; ++j) pack[h][32 * h + j] = uint8_t(j < 16 ? 4 * j : 64 + 4 * (j - 16));
    }
};
constexpr Widen kWiden;
constexpr uint64_t kLowBytes = 0x1111111111111111ull;

PIMLORA_AVX512 PIMLORA_INLINE __m512i Pack64(const __m512i q[4], __m512i pack0, __m512i pack1) {
    return _mm512_mask_blend_epi8(~uint64_t(0) << 32, _mm512_permutex2var_epi8(q[0], pack0, q[1]),
                                  _mm512_permutex2var_epi8(q[2], pack1, q[3]));
}

// x div d as in pixel_rows.cpp: trunc((2 x + 1) * (0.5 / d)) in single
// precision, with the same two roundings; Odd() takes 2 x + 1 as given.
PIMLORA_AVX512 inline __m512 Half(__m512i d) { return _mm512_div_ps(_mm512_set1_ps(0.5f), _mm512_cvtepi32_ps(d)); }
PIMLORA_AVX512 inline __m512i Odd(__m512i odd, __m512 half) {
    return _mm512_cvttps_epi32(_mm512_mul_ps(_mm512_cvtepi32_ps(odd), half));
}

// The spread vectors of a run of 64 pixels (three 64-byte destination vectors).
PIMLORA_AVX512 PIMLORA_INLINE void LoadSpread(__m512i spread[3]) {
    for (int v = 0; v < 3; ++v) spread[v] = _mm512_load_si512(kSpread.at[v]);
}

// A row of w 24-bit pixels at d in runs: run(x, n, streamed) for pixels
// x .. x + n - 1. Streamed, the runs of 64 start where the pixels' bytes
// start on a 64-byte boundary (3 * 43 = 1 modulo 64); the pixels before it
// and the last run shorter than 64 are stored without streaming.
template <class RunFn>
PIMLORA_AVX512 PIMLORA_INLINE void WalkRow(uint8_t* d, int w, bool stream, RunFn&& run) {
    int x = 0;
    if (stream) {
        const int mis = int(reinterpret_cast<uintptr_t>(d) & 63);
        x = std::min(w, ((64 - mis) * 43) & 63);
        if (x > 0) run(0, x, false);
    }
    for (; x + 64 <= w; x += 64) run(x, 64, stream);
    if (x < w) run(x, w - x, false);
    if (stream) _mm_sfence();
}

}  // namespace

bool Have() {
    static const bool have = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                             __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi");
    return have;
}

PIMLORA_AVX512 void MapRow(const uint8_t* s, uint8_t* d, const uint8_t* a, uint8_t* oa, int w, const ByteTables& bt,
                           bool stream) {
    Tables t;
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 4; ++k) t.q[c][k] = _mm512_loadu_si512(bt.t[c] + 64 * k);
    __m512i spread[3];
    LoadSpread(spread);
    WalkRow(d, w, stream, [&](int x, int n, bool st) PIMLORA_AVX512 {
        Run(s + 3 * size_t(x), d + 3 * size_t(x), a + x, oa ? oa + x : nullptr, n, t, spread, st);
    });
}

// RgbToHsl of every pixel, the operations of the AVX2 kernel in 16 lanes
// (of the three hue quotients only the two the hue uses).
PIMLORA_AVX512 void HslRow(const uint8_t* s, uint8_t* hp, uint8_t* sp, uint8_t* lp, int w) {
    const __m512i one = _mm512_set1_epi32(1), k84 = _mm512_set1_epi32(84), k85 = _mm512_set1_epi32(85),
                  k170 = _mm512_set1_epi32(170), k255 = _mm512_set1_epi32(255), k128 = _mm512_set1_epi32(128),
                  k510 = _mm512_set1_epi32(510);
    const __m512i pack0 = _mm512_load_si512(kWiden.pack[0]), pack1 = _mm512_load_si512(kWiden.pack[1]);
    for (int x = 0; x < w; x += 64) {
        const int n = std::min(64, w - x);
        const uint8_t* p = s + 3 * size_t(x);
        __m512i v[3];
        for (int k = 0; k < 3; ++k)
            v[k] = n == 64 ? _mm512_loadu_si512(p + 64 * k)
                           : _mm512_maskz_loadu_epi8(3 * n > 64 * k ? LowBits(3 * n - 64 * k) : 0, p + 64 * k);
        __m512i H[4], S[4], L[4];
        for (int k = 0; k < 4; ++k) {
            const __m512i lo = k < 2 ? v[0] : v[1], hi = k < 2 ? v[1] : v[2];
            auto channel = [&](int c) PIMLORA_AVX512 {
                return _mm512_maskz_permutex2var_epi8(kLowBytes, lo, _mm512_load_si512(kWiden.at[k][c]), hi);
            };
            const __m512i b = channel(0), g = channel(1), r = channel(2);
            const __m512i mx = _mm512_max_epi32(r, _mm512_max_epi32(g, b));
            const __m512i mn = _mm512_min_epi32(r, _mm512_min_epi32(g, b));
            const __m512i sum = _mm512_add_epi32(mx, mn);
            const __m512i l = _mm512_srli_epi32(_mm512_add_epi32(sum, one), 1);
            const __mmask16 flat = _mm512_cmpeq_epi32_mask(mx, mn);
            const __m512i dd = _mm512_mask_blend_epi32(flat, _mm512_sub_epi32(mx, mn), one);
            __m512i den = _mm512_mask_blend_epi32(_mm512_cmplt_epi32_mask(l, k128), _mm512_sub_epi32(k510, sum), sum);
            den = _mm512_mask_blend_epi32(flat, den, one);
            const __m512 byD = Half(dd), byDen = Half(den);
            // 2 (y + d div 2) + 1 is 2 y + (d | 1).
            const __m512i oddD = _mm512_or_si512(dd, one);
            const __m512i sat = Odd(_mm512_add_epi32(_mm512_mullo_epi32(dd, k510), _mm512_or_si512(den, one)), byDen);
            // The hue takes the quotients of the two channels other than
            // the largest (red first, then green, as the rule picks it):
            // red largest, (blue - green); green, 85 + (red - blue); blue,
            // 170 + (green - red), each channel c standing for
            // ((mx - c) 42 + dd div 2) div dd.
            const __mmask16 rMax = _mm512_cmpeq_epi32_mask(r, mx);
            const __mmask16 gMax = __mmask16(_mm512_cmpeq_epi32_mask(g, mx) & ~rMax);
            const __m512i plus = _mm512_mask_blend_epi32(rMax, _mm512_mask_blend_epi32(gMax, g, r), b);
            const __m512i minus = _mm512_mask_blend_epi32(rMax, _mm512_mask_blend_epi32(gMax, r, b), g);
            const __m512i base = _mm512_maskz_mov_epi32(__mmask16(~rMax), _mm512_mask_blend_epi32(gMax, k170, k85));
            const __m512i qp = Odd(_mm512_add_epi32(_mm512_mullo_epi32(_mm512_sub_epi32(mx, plus), k84), oddD), byD);
            const __m512i qm = Odd(_mm512_add_epi32(_mm512_mullo_epi32(_mm512_sub_epi32(mx, minus), k84), oddD), byD);
            const __m512i hue = _mm512_add_epi32(base, _mm512_sub_epi32(qp, qm));
            H[k] = _mm512_mask_blend_epi32(flat, _mm512_and_si512(hue, k255), k255);
            S[k] = _mm512_maskz_mov_epi32(__mmask16(~flat), sat);
            L[k] = l;
        }
        const __m512i h = Pack64(H, pack0, pack1), sa = Pack64(S, pack0, pack1), li = Pack64(L, pack0, pack1);
        if (n == 64) {
            _mm512_storeu_si512(hp + x, h);
            _mm512_storeu_si512(sp + x, sa);
            _mm512_storeu_si512(lp + x, li);
        } else {
            _mm512_mask_storeu_epi8(hp + x, LowBits(n), h);
            _mm512_mask_storeu_epi8(sp + x, LowBits(n), sa);
            _mm512_mask_storeu_epi8(lp + x, LowBits(n), li);
        }
    }
}

// (B + G + R) div 3 of every pixel: x * 21846 >> 16 in 16-bit lanes is
// x div 3 for x up to 765.
PIMLORA_AVX512 void GreyValues(const uint8_t* s, uint8_t* grey, int w) {
    __m512i first[3], third[3];
    for (int c = 0; c < 3; ++c) {
        first[c] = _mm512_load_si512(kDeal.first[c]);
        third[c] = _mm512_load_si512(kDeal.third[c]);
    }
    const __m512i thirdOf = _mm512_set1_epi16(21846);
    for (int x = 0; x < w; x += 64) {
        const int n = std::min(64, w - x);
        const uint8_t* p = s + 3 * size_t(x);
        __m512i v[3];
        for (int k = 0; k < 3; ++k)
            v[k] = n == 64 ? _mm512_loadu_si512(p + 64 * k)
                           : _mm512_maskz_loadu_epi8(3 * n > 64 * k ? LowBits(3 * n - 64 * k) : 0, p + 64 * k);
        __m512i lo = _mm512_setzero_si512(), hi = lo;
        for (int c = 0; c < 3; ++c) {
            const __m512i plane = _mm512_mask_permutexvar_epi8(_mm512_permutex2var_epi8(v[0], first[c], v[1]),
                                                               kDeal.inThird[c], third[c], v[2]);
            lo = _mm512_add_epi16(lo, _mm512_cvtepu8_epi16(_mm512_castsi512_si256(plane)));
            hi = _mm512_add_epi16(hi, _mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(plane, 1)));
        }
        lo = _mm512_mulhi_epu16(lo, thirdOf);
        hi = _mm512_mulhi_epu16(hi, thirdOf);
        if (n == 64) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(grey + x), _mm512_cvtepi16_epi8(lo));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(grey + x + 32), _mm512_cvtepi16_epi8(hi));
        } else {
            _mm512_mask_cvtepi16_storeu_epi8(grey + x, __mmask32(LowBits(std::min(n, 32))), lo);
            if (n > 32) _mm512_mask_cvtepi16_storeu_epi8(grey + x + 32, __mmask32(LowBits(n - 32)), hi);
        }
    }
}

namespace {
// n pixels (1..64) of flags to d: where a[x] != 0 the pixel becomes white
// (flag non-zero) or black and oa[x] (when given) takes a[x]; the others
// keep their bytes. Streaming as in Run.
PIMLORA_AVX512 inline void PaintRun(const uint8_t* flag, uint8_t* d, const uint8_t* a, uint8_t* oa, int n,
                                    const __m512i spread[3], bool stream) {
    const __mmask64 in = LowBits(n);
    const __m512i av = _mm512_maskz_loadu_epi8(in, a);
    const __mmask64 painted = _mm512_test_epi8_mask(av, av);
    if (!painted) return;
    const __m512i f = _mm512_maskz_loadu_epi8(in, flag);
    const __m512i white = _mm512_movm_epi8(_mm512_test_epi8_mask(f, f));
    if (painted == ~uint64_t(0)) {
        for (int v = 0; v < 3; ++v) {
            const __m512i r = _mm512_permutexvar_epi8(spread[v], white);
            if (stream) _mm512_stream_si512(reinterpret_cast<__m512i*>(d + 64 * v), r);
            else _mm512_storeu_si512(d + 64 * v, r);
        }
    } else {
        for (int v = 0; v < 3 && 3 * n > 64 * v; ++v) {
            const __m512i spreadA = _mm512_permutexvar_epi8(spread[v], av);
            const __mmask64 bytes = _mm512_test_epi8_mask(spreadA, spreadA);
            if (bytes) _mm512_mask_storeu_epi8(d + 64 * v, bytes, _mm512_permutexvar_epi8(spread[v], white));
        }
    }
    if (oa) _mm512_mask_storeu_epi8(oa, painted, av);
}
}  // namespace

PIMLORA_AVX512 void PaintFlags(const uint8_t* flag, uint8_t* d, const uint8_t* a, uint8_t* oa, int w, bool stream) {
    __m512i spread[3];
    LoadSpread(spread);
    WalkRow(d, w, stream, [&](int x, int n, bool st) PIMLORA_AVX512 {
        PaintRun(flag + x, d + 3 * size_t(x), a + x, oa ? oa + x : nullptr, n, spread, st);
    });
}

#else

bool Have() { return false; }
void GreyValues(const uint8_t*, uint8_t*, int) {}
void PaintFlags(const uint8_t*, uint8_t*, const uint8_t*, uint8_t*, int, bool) {}
void HslRow(const uint8_t*, uint8_t*, uint8_t*, uint8_t*, int) {}
void MapRow(const uint8_t*, uint8_t*, const uint8_t*, uint8_t*, int, const ByteTables&, bool) {}

#endif

}  // namespace wide
}  // namespace pixelrows
}  // namespace layerops
