// Row kernels of the per-pixel colour operations: plain versions of the
// rules, and AVX2 versions that work on blocks of 32 pixels. A block is
// taken apart into blue, green and red planes of 32 bytes (pixels 0..15 in
// the lower half of each register, 16..31 in the upper one), worked on as
// planes and put together again. Blocks whose 32 alpha values are all
// non-zero take the vector path; the others go pixel by pixel.
#include "pixel_rows.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "layer_ops.h"
#include "pixel_rows_avx512.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PIMLORA_PIXEL_AVX2 1
#define PIMLORA_AVX2 __attribute__((target("avx2")))
#endif

namespace layerops {
namespace pixelrows {

namespace {
std::atomic<bool> allowed{true}, allowed512{true};

inline int Grey3(const uint8_t* p) { return (p[0] + p[1] + p[2]) / 3; }

// --- the plain rules ---------------------------------------------------------------

void InvertPlain(const uint8_t* s, uint8_t* d, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t v;
        std::memcpy(&v, s + i, 8);
        v = ~v;
        std::memcpy(d + i, &v, 8);
    }
    for (; i < n; ++i) d[i] = uint8_t(~s[i]);
}

void MapPlain(const uint8_t* s, uint8_t* d, const uint8_t* a, uint8_t* oa, int x0, int x1, const ByteTables& t) {
    for (int x = x0; x < x1; ++x) {
        if (!a[x]) continue;
        const uint8_t* p = s + 3 * size_t(x);
        uint8_t* q = d + 3 * size_t(x);
        q[0] = t.t[0][p[0]], q[1] = t.t[1][p[1]], q[2] = t.t[2][p[2]];
        if (oa) oa[x] = 255;
    }
}

void GreyPlain(const uint8_t* s, uint8_t* d, const uint8_t* a, uint8_t* oa, int x0, int x1) {
    for (int x = x0; x < x1; ++x) {
        uint8_t* q = d + 3 * size_t(x);
        q[0] = q[1] = q[2] = uint8_t(Grey3(s + 3 * size_t(x)));
        if (oa && a[x]) oa[x] = 255;
    }
}

void ThresholdPlain(const uint8_t* s, uint8_t* d, const uint8_t* a, uint8_t* oa, int x0, int x1,
                    const int16_t limit[4]) {
    for (int x = x0; x < x1; ++x) {
        if (!a[x]) continue;
        uint8_t* q = d + 3 * size_t(x);
        q[0] = q[1] = q[2] = Grey3(s + 3 * size_t(x)) <= limit[x & 3] ? 255 : 0;
        if (oa) oa[x] = a[x];
    }
}

void PaintPlain(const uint8_t* flag, uint8_t* d, const uint8_t* a, uint8_t* oa, int x0, int x1) {
    for (int x = x0; x < x1; ++x) {
        if (!a[x]) continue;
        uint8_t* q = d + 3 * size_t(x);
        q[0] = q[1] = q[2] = flag[x] ? 255 : 0;
        if (oa) oa[x] = a[x];
    }
}

void LumPlain(const uint8_t* s, uint8_t* lum, int x0, int x1) {
    for (int x = x0; x < x1; ++x) {
        const uint8_t* p = s + 3 * size_t(x);
        lum[x] = uint8_t((11 * p[0] + 59 * p[1] + 30 * p[2]) / 100);
    }
}

void GreyValuesPlain(const uint8_t* s, uint8_t* grey, int x0, int x1) {
    for (int x = x0; x < x1; ++x) grey[x] = uint8_t(Grey3(s + 3 * size_t(x)));
}

void RangePlain(const uint8_t* p, int x0, int x1, uint8_t& lo, uint8_t& hi) {
    for (int x = x0; x < x1; ++x) lo = std::min(lo, p[x]), hi = std::max(hi, p[x]);
}

void SplitPlain(const uint8_t* s, uint8_t* b, uint8_t* g, uint8_t* r, int x0, int x1) {
    for (int x = x0; x < x1; ++x) {
        const uint8_t* p = s + 3 * size_t(x);
        b[x] = p[0], g[x] = p[1], r[x] = p[2];
    }
}

void YuvPlain(const uint8_t* s, uint8_t* y, uint8_t* u, uint8_t* v, int x0, int x1) {
    for (int x = x0; x < x1; ++x) {
        const uint8_t* p = s + 3 * size_t(x);
        const Yuv c = RgbToYuv(p[2], p[1], p[0]);
        y[x] = c.y, u[x] = c.u, v[x] = c.v;
    }
}

void HslPlain(const uint8_t* s, uint8_t* h, uint8_t* sat, uint8_t* l, int x0, int x1) {
    for (int x = x0; x < x1; ++x) {
        const uint8_t* p = s + 3 * size_t(x);
        const Hsl c = RgbToHsl(p[2], p[1], p[0]);
        h[x] = c.h, sat[x] = c.s, l[x] = c.l;
    }
}

#ifdef PIMLORA_PIXEL_AVX2

bool HaveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

// Shuffle masks of the planar form, built once: take[ch][c] picks channel
// ch's bytes out of chunk c (16 bytes) of a 16-pixel run, put[ch][c] puts
// them back into chunk c.
struct Masks {
    alignas(16) int8_t take[3][3][16];
    alignas(16) int8_t put[3][3][16];
    alignas(16) int8_t spread[3][16];   // chunk c of a grey plane spread to three channels
    Masks() {
        for (int ch = 0; ch < 3; ++ch)
            for (int c = 0; c < 3; ++c)
                for (int i = 0; i < 16; ++i) {
                    const int from = 3 * i + ch - 16 * c;
                    take[ch][c][i] = int8_t(from >= 0 && from < 16 ? from : -1);
                    const int byte = 16 * c + i;
                    put[ch][c][i] = int8_t(byte % 3 == ch ? byte / 3 : -1);
                    spread[c][i] = int8_t(byte / 3);
                }
    }
};
const Masks& M() {
    static const Masks m;
    return m;
}

PIMLORA_AVX2 inline __m256i Mask256(const int8_t* m) {
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(m)));
}

// The chunks of a 32-pixel block at p (96 bytes): chunk c of pixels 0..15
// in the lower half, of pixels 16..31 in the upper half.
struct Chunks {
    __m256i c[3];
};

PIMLORA_AVX2 inline Chunks LoadBlock(const uint8_t* p) {
    Chunks k;
    for (int c = 0; c < 3; ++c)
        k.c[c] = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * c))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48 + 16 * c)), 1);
    return k;
}

struct Planes {
    __m256i ch[3];   // blue, green, red
};

PIMLORA_AVX2 inline Planes Take(const Chunks& k, const __m256i take[3][3]) {
    Planes p;
    for (int ch = 0; ch < 3; ++ch)
        p.ch[ch] = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(k.c[0], take[ch][0]),
                                                   _mm256_shuffle_epi8(k.c[1], take[ch][1])),
                                   _mm256_shuffle_epi8(k.c[2], take[ch][2]));
    return p;
}

PIMLORA_AVX2 inline void Store16(uint8_t* p, __m128i v, bool stream) {
    if (stream)
        _mm_stream_si128(reinterpret_cast<__m128i*>(p), v);
    else
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

PIMLORA_AVX2 inline void StoreBlock(uint8_t* p, const Chunks& k, bool stream) {
    for (int c = 0; c < 3; ++c) {
        Store16(p + 16 * c, _mm256_castsi256_si128(k.c[c]), stream);
        Store16(p + 48 + 16 * c, _mm256_extracti128_si256(k.c[c], 1), stream);
    }
}

PIMLORA_AVX2 inline Chunks Put(const Planes& p, const __m256i put[3][3]) {
    Chunks k;
    for (int c = 0; c < 3; ++c)
        k.c[c] = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(p.ch[0], put[0][c]),
                                                 _mm256_shuffle_epi8(p.ch[1], put[1][c])),
                                 _mm256_shuffle_epi8(p.ch[2], put[2][c]));
    return k;
}

PIMLORA_AVX2 inline Chunks Spread(__m256i grey, const __m256i spread[3]) {
    Chunks k;
    for (int c = 0; c < 3; ++c) k.c[c] = _mm256_shuffle_epi8(grey, spread[c]);
    return k;
}

struct Avx2Masks {
    __m256i take[3][3], put[3][3], spread[3];
};

PIMLORA_AVX2 inline void LoadMasks(Avx2Masks& m) {
    const Masks& src = M();
    for (int ch = 0; ch < 3; ++ch)
        for (int c = 0; c < 3; ++c) {
            m.take[ch][c] = Mask256(src.take[ch][c]);
            m.put[ch][c] = Mask256(src.put[ch][c]);
        }
    for (int c = 0; c < 3; ++c) m.spread[c] = Mask256(src.spread[c]);
}

// True when all 32 alpha values of the block are non-zero.
PIMLORA_AVX2 inline bool Opaque32(const uint8_t* a) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
    return _mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_setzero_si256())) == 0;
}

// The first pixel from which blocks of d start on a 32-byte boundary (3 is
// invertible modulo 32: 3 * 11 = 33), or 0 without streaming stores.
inline int StreamStart(const uint8_t* d, int w, bool stream) {
    if (!stream) return 0;
    const int mis = int(reinterpret_cast<uintptr_t>(d) & 31);
    return std::min(w, ((32 - mis) * 11) & 31);
}

// (B + G + R) div 3 per pixel in 16-bit lanes: lo for pixels 0..7 and
// 16..23, hi for 8..15 and 24..31 (the unpacks work within halves).
// x * 21846 >> 16 is x div 3 for x up to 765.
PIMLORA_AVX2 inline void Grey16(const Planes& p, __m256i& lo, __m256i& hi) {
    const __m256i z = _mm256_setzero_si256(), third = _mm256_set1_epi16(21846);
    lo = _mm256_add_epi16(_mm256_add_epi16(_mm256_unpacklo_epi8(p.ch[0], z), _mm256_unpacklo_epi8(p.ch[1], z)),
                          _mm256_unpacklo_epi8(p.ch[2], z));
    hi = _mm256_add_epi16(_mm256_add_epi16(_mm256_unpackhi_epi8(p.ch[0], z), _mm256_unpackhi_epi8(p.ch[1], z)),
                          _mm256_unpackhi_epi8(p.ch[2], z));
    lo = _mm256_mulhi_epu16(lo, third);
    hi = _mm256_mulhi_epu16(hi, third);
}

// Eight bytes of a plane (pixels 8k..8k+7 of the block) as 32-bit lanes.
PIMLORA_AVX2 inline __m256i Eight(__m256i plane, int k) {
    const __m128i half = k < 2 ? _mm256_castsi256_si128(plane) : _mm256_extracti128_si256(plane, 1);
    return _mm256_cvtepu8_epi32((k & 1) ? _mm_srli_si128(half, 8) : half);
}

// Four runs of eight 32-bit results (values 0..255 after the caller's
// clamp or mask) into 32 bytes in pixel order.
PIMLORA_AVX2 inline __m256i Pack32(const __m256i v[4]) {
    const __m256i p = _mm256_packus_epi16(_mm256_packs_epi32(v[0], v[1]), _mm256_packs_epi32(v[2], v[3]));
    return _mm256_permutevar8x32_epi32(p, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

PIMLORA_AVX2 void InvertAvx2(const uint8_t* s, uint8_t* d, size_t n, bool stream) {
    size_t i = 0;
    if (stream)
        while (i < n && (reinterpret_cast<uintptr_t>(d + i) & 31)) d[i] = uint8_t(~s[i]), ++i;
    const __m256i ones = _mm256_set1_epi8(-1);
    if (stream) {
        for (; i + 128 <= n; i += 128)
            for (int k = 0; k < 4; ++k)
                _mm256_stream_si256(reinterpret_cast<__m256i*>(d + i + 32 * k),
                                    _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 32 * k)), ones));
        _mm_sfence();
    }
    for (; i + 32 <= n; i += 32)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i),
                            _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i)), ones));
    InvertPlain(s + i, d + i, n - i);
}

// A block of 32 opaque pixels through the three byte tables, one byte at a
// time: a load and a table load per byte, which the processor issues
// several to a cycle (faster than any shuffle form of a 256-entry table).
inline void MapBytes96(const uint8_t* __restrict s, uint8_t* __restrict d, const ByteTables& t) {
    const uint8_t* tb = t.t[0];
    const uint8_t* tg = t.t[1];
    const uint8_t* tr = t.t[2];
    for (int i = 0; i < 96; i += 3) d[i] = tb[s[i]], d[i + 1] = tg[s[i + 1]], d[i + 2] = tr[s[i + 2]];
}

PIMLORA_AVX2 void MapAvx2(const uint8_t* s, uint8_t* d, const uint8_t* a, uint8_t* oa, int w, const ByteTables& t,
                          bool stream) {
    const __m256i full = _mm256_set1_epi8(-1);
    // The lines of the three channels for runs of eight bytes: a run that
    // starts at byte 8 g of a block begins with channel 8 g mod 3.
    __m256i lk[3], lb[3];
    for (int g = 0; g < 3; ++g) {
        alignas(32) int32_t kk[8], bb[8];
        for (int i = 0; i < 8; ++i) kk[i] = t.k[(8 * g + i) % 3], bb[i] = t.b[(8 * g + i) % 3];
        lk[g] = _mm256_load_si256(reinterpret_cast<const __m256i*>(kk));
        lb[g] = _mm256_load_si256(reinterpret_cast<const __m256i*>(bb));
    }
    int x = StreamStart(d, w, stream);
    MapPlain(s, d, a, oa, 0, x, t);
    for (; x + 32 <= w; x += 32) {
        if (!Opaque32(a + x)) {
            MapPlain(s, d, a, oa, x, x + 32, t);
            continue;
        }
        if (t.linear) {
            const uint8_t* sp = s + 3 * size_t(x);
            uint8_t* dp = d + 3 * size_t(x);
            for (int q = 0; q < 3; ++q) {
                __m256i v[4];
                for (int i = 0; i < 4; ++i) {
                    const int g = 4 * q + i;
                    const __m256i c = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(sp + 8 * g)));
                    v[i] = _mm256_srai_epi32(_mm256_add_epi32(_mm256_mullo_epi32(c, lk[g % 3]), lb[g % 3]), 16);
                }
                const __m256i out = Pack32(v);
                if (stream)
                    _mm256_stream_si256(reinterpret_cast<__m256i*>(dp + 32 * q), out);
                else
                    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dp + 32 * q), out);
            }
            if (oa) _mm256_storeu_si256(reinterpret_cast<__m256i*>(oa + x), full);
            continue;
        }
        if (stream) {
            alignas(32) uint8_t block[96];
            MapBytes96(s + 3 * size_t(x), block, t);
            for (int k = 0; k < 3; ++k)
                _mm256_stream_si256(reinterpret_cast<__m256i*>(d + 3 * size_t(x) + 32 * k),
                                    _mm256_load_si256(reinterpret_cast<const __m256i*>(block + 32 * k)));
        } else {
            MapBytes96(s + 3 * size_t(x), d + 3 * size_t(x), t);
        }
        if (oa) _mm256_storeu_si256(reinterpret_cast<__m256i*>(oa + x), full);
    }
    if (stream) _mm_sfence();
    MapPlain(s, d, a, oa, x, w, t);
}

PIMLORA_AVX2 void GreyAvx2(const uint8_t* s, uint8_t* d, const uint8_t* a, uint8_t* oa, int w, bool stream) {
    Avx2Masks m;
    LoadMasks(m);
    const __m256i full = _mm256_set1_epi8(-1);
    int x = StreamStart(d, w, stream);
    GreyPlain(s, d, a, oa, 0, x);
    for (; x + 32 <= w; x += 32) {
        __m256i lo, hi;
        Grey16(Take(LoadBlock(s + 3 * size_t(x)), m.take), lo, hi);
        StoreBlock(d + 3 * size_t(x), Spread(_mm256_packus_epi16(lo, hi), m.spread), stream);
        if (!oa) continue;
        if (Opaque32(a + x))
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(oa + x), full);
        else
            for (int k = x; k < x + 32; ++k)
                if (a[k]) oa[k] = 255;
    }
    if (stream) _mm_sfence();
    GreyPlain(s, d, a, oa, x, w);
}

PIMLORA_AVX2 void ThresholdAvx2(const uint8_t* s, uint8_t* d, const uint8_t* a, uint8_t* oa, int w,
                                const int16_t limit[4], bool stream) {
    Avx2Masks m;
    LoadMasks(m);
    int x = StreamStart(d, w, stream);
    ThresholdPlain(s, d, a, oa, 0, x, limit);
    // Every run of 8 lanes starts at a block pixel that is a multiple of 8
    // away from x: lane j stands for pixel x + (a multiple of 8) + j.
    const int ph = x & 3;
    const __m256i lim =
        _mm256_setr_epi16(limit[ph & 3], limit[(ph + 1) & 3], limit[(ph + 2) & 3], limit[(ph + 3) & 3], limit[ph & 3],
                          limit[(ph + 1) & 3], limit[(ph + 2) & 3], limit[(ph + 3) & 3], limit[ph & 3],
                          limit[(ph + 1) & 3], limit[(ph + 2) & 3], limit[(ph + 3) & 3], limit[ph & 3],
                          limit[(ph + 1) & 3], limit[(ph + 2) & 3], limit[(ph + 3) & 3]);
    for (; x + 32 <= w; x += 32) {
        if (!Opaque32(a + x)) {
            ThresholdPlain(s, d, a, oa, x, x + 32, limit);
            continue;
        }
        __m256i lo, hi;
        Grey16(Take(LoadBlock(s + 3 * size_t(x)), m.take), lo, hi);
        // Black where grey > limit: all ones; white is its complement.
        const __m256i black = _mm256_packs_epi16(_mm256_cmpgt_epi16(lo, lim), _mm256_cmpgt_epi16(hi, lim));
        const __m256i white = _mm256_xor_si256(black, _mm256_set1_epi8(-1));
        StoreBlock(d + 3 * size_t(x), Spread(white, m.spread), stream);
        if (oa) std::memcpy(oa + x, a + x, 32);
    }
    if (stream) _mm_sfence();
    ThresholdPlain(s, d, a, oa, x, w, limit);
}

PIMLORA_AVX2 void PaintAvx2(const uint8_t* flag, uint8_t* d, const uint8_t* a, uint8_t* oa, int w, bool stream) {
    Avx2Masks m;
    LoadMasks(m);
    int x = StreamStart(d, w, stream);
    PaintPlain(flag, d, a, oa, 0, x);
    const __m256i z = _mm256_setzero_si256();
    for (; x + 32 <= w; x += 32) {
        if (!Opaque32(a + x)) {
            PaintPlain(flag, d, a, oa, x, x + 32);
            continue;
        }
        // Flags are 0 or 255: any other value counts as white, as above.
        const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(flag + x));
        const __m256i white = _mm256_xor_si256(_mm256_cmpeq_epi8(f, z), _mm256_set1_epi8(-1));
        StoreBlock(d + 3 * size_t(x), Spread(white, m.spread), stream);
        if (oa) std::memcpy(oa + x, a + x, 32);
    }
    if (stream) _mm_sfence();
    PaintPlain(flag, d, a, oa, x, w);
}

// (11 B + 59 G + 30 R) div 100 in 16-bit lanes: the sum stays below 25500,
// and (x * 5243) >> 19 is x div 100 below 43699.
PIMLORA_AVX2 inline __m256i Lum16(__m256i b, __m256i g, __m256i r) {
    const __m256i sum = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_mullo_epi16(b, _mm256_set1_epi16(11)), _mm256_mullo_epi16(g, _mm256_set1_epi16(59))),
        _mm256_mullo_epi16(r, _mm256_set1_epi16(30)));
    return _mm256_srli_epi16(_mm256_mulhi_epu16(sum, _mm256_set1_epi16(5243)), 3);
}

PIMLORA_AVX2 void LumAvx2(const uint8_t* s, uint8_t* lum, int w) {
    Avx2Masks m;
    LoadMasks(m);
    const __m256i z = _mm256_setzero_si256();
    int x = 0;
    for (; x + 32 <= w; x += 32) {
        const Planes p = Take(LoadBlock(s + 3 * size_t(x)), m.take);
        const __m256i lo = Lum16(_mm256_unpacklo_epi8(p.ch[0], z), _mm256_unpacklo_epi8(p.ch[1], z),
                                 _mm256_unpacklo_epi8(p.ch[2], z));
        const __m256i hi = Lum16(_mm256_unpackhi_epi8(p.ch[0], z), _mm256_unpackhi_epi8(p.ch[1], z),
                                 _mm256_unpackhi_epi8(p.ch[2], z));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(lum + x), _mm256_packus_epi16(lo, hi));
    }
    LumPlain(s, lum, x, w);
}

PIMLORA_AVX2 void GreyValuesAvx2(const uint8_t* s, uint8_t* grey, int w) {
    Avx2Masks m;
    LoadMasks(m);
    int x = 0;
    for (; x + 32 <= w; x += 32) {
        __m256i lo, hi;
        Grey16(Take(LoadBlock(s + 3 * size_t(x)), m.take), lo, hi);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(grey + x), _mm256_packus_epi16(lo, hi));
    }
    GreyValuesPlain(s, grey, x, w);
}

PIMLORA_AVX2 void RangeAvx2(const uint8_t* p, int n, uint8_t& lo, uint8_t& hi) {
    __m256i mn = _mm256_set1_epi8(char(lo)), mx = _mm256_set1_epi8(char(hi));
    int x = 0;
    for (; x + 32 <= n; x += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + x));
        mn = _mm256_min_epu8(mn, v);
        mx = _mm256_max_epu8(mx, v);
    }
    alignas(32) uint8_t a[32], b[32];
    _mm256_store_si256(reinterpret_cast<__m256i*>(a), mn);
    _mm256_store_si256(reinterpret_cast<__m256i*>(b), mx);
    for (int k = 0; k < 32; ++k) lo = std::min(lo, a[k]), hi = std::max(hi, b[k]);
    RangePlain(p, x, n, lo, hi);
}

PIMLORA_AVX2 void SplitAvx2(const uint8_t* s, uint8_t* b, uint8_t* g, uint8_t* r, int w) {
    Avx2Masks m;
    LoadMasks(m);
    int x = 0;
    for (; x + 32 <= w; x += 32) {
        const Planes p = Take(LoadBlock(s + 3 * size_t(x)), m.take);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(b + x), p.ch[0]);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(g + x), p.ch[1]);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(r + x), p.ch[2]);
    }
    SplitPlain(s, b, g, r, x, w);
}

// The same single-precision operations, in the same order, as RgbToYuv.
PIMLORA_AVX2 void YuvAvx2(const uint8_t* s, uint8_t* yp, uint8_t* up, uint8_t* vp, int w) {
    Avx2Masks m;
    LoadMasks(m);
    const __m256 cr = _mm256_set1_ps(0.299f), cg = _mm256_set1_ps(0.587f), cb = _mm256_set1_ps(0.114f),
                 cu = _mm256_set1_ps(0.565f), cv = _mm256_set1_ps(0.713f), c128 = _mm256_set1_ps(128.0f);
    int x = 0;
    for (; x + 32 <= w; x += 32) {
        const Planes p = Take(LoadBlock(s + 3 * size_t(x)), m.take);
        __m256i Y[4], U[4], V[4];
        for (int k = 0; k < 4; ++k) {
            const __m256i b = Eight(p.ch[0], k), g = Eight(p.ch[1], k), r = Eight(p.ch[2], k);
            const __m256 sum = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(cr, _mm256_cvtepi32_ps(r)),
                                                           _mm256_mul_ps(cg, _mm256_cvtepi32_ps(g))),
                                             _mm256_mul_ps(cb, _mm256_cvtepi32_ps(b)));
            Y[k] = _mm256_cvttps_epi32(sum);
            U[k] = _mm256_cvttps_epi32(
                _mm256_add_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_sub_epi32(b, Y[k])), cu), c128));
            V[k] = _mm256_cvttps_epi32(
                _mm256_add_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_sub_epi32(r, Y[k])), cv), c128));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(yp + x), Pack32(Y));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(up + x), Pack32(U));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(vp + x), Pack32(V));
    }
    YuvPlain(s, yp, up, vp, x, w);
}

// x div d for 0 <= x <= 65281 and 1 <= d <= 510 from the reciprocal
// r = 1/d rounded to single precision: trunc((2 x + 1) * (r / 2)) with one
// rounding is the true quotient over that whole range (checked for every
// pair), so a division per divisor serves all its quotients.
PIMLORA_AVX2 inline __m256 Half(__m256i d) { return _mm256_div_ps(_mm256_set1_ps(0.5f), _mm256_cvtepi32_ps(d)); }
PIMLORA_AVX2 inline __m256i Quotient(__m256i x, __m256 half) {
    const __m256i odd = _mm256_or_si256(_mm256_slli_epi32(x, 1), _mm256_set1_epi32(1));
    return _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(odd), half));
}

// RgbToHsl in 32-bit lanes. l = ((mx + mn) 255 + 255) div 510 is
// (mx + mn + 1) div 2; grey lanes divide by 1 and are replaced at the end.
// Two divisions for eight pixels: the saturation's divisor and the hue's.
PIMLORA_AVX2 void HslAvx2(const uint8_t* s, uint8_t* hp, uint8_t* sp, uint8_t* lp, int w) {
    Avx2Masks m;
    LoadMasks(m);
    const __m256i one = _mm256_set1_epi32(1), k42 = _mm256_set1_epi32(42), k85 = _mm256_set1_epi32(85),
                  k170 = _mm256_set1_epi32(170), k255 = _mm256_set1_epi32(255), k128 = _mm256_set1_epi32(128),
                  k510 = _mm256_set1_epi32(510);
    int x = 0;
    for (; x + 32 <= w; x += 32) {
        const Planes p = Take(LoadBlock(s + 3 * size_t(x)), m.take);
        __m256i H[4], S[4], L[4];
        for (int k = 0; k < 4; ++k) {
            const __m256i b = Eight(p.ch[0], k), g = Eight(p.ch[1], k), r = Eight(p.ch[2], k);
            const __m256i mx = _mm256_max_epi32(r, _mm256_max_epi32(g, b));
            const __m256i mn = _mm256_min_epi32(r, _mm256_min_epi32(g, b));
            const __m256i sum = _mm256_add_epi32(mx, mn);
            const __m256i l = _mm256_srli_epi32(_mm256_add_epi32(sum, one), 1);
            const __m256i flat = _mm256_cmpeq_epi32(mx, mn);
            const __m256i dd = _mm256_blendv_epi8(_mm256_sub_epi32(mx, mn), one, flat);
            __m256i den = _mm256_blendv_epi8(_mm256_sub_epi32(k510, sum), sum, _mm256_cmpgt_epi32(k128, l));
            den = _mm256_blendv_epi8(den, one, flat);
            const __m256 byD = Half(dd), byDen = Half(den);
            const __m256i halfD = _mm256_srli_epi32(dd, 1);
            const __m256i sat =
                Quotient(_mm256_add_epi32(_mm256_mullo_epi32(dd, k255), _mm256_srli_epi32(den, 1)), byDen);
            const __m256i rd = Quotient(_mm256_add_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(mx, r), k42), halfD), byD);
            const __m256i gd = Quotient(_mm256_add_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(mx, g), k42), halfD), byD);
            const __m256i bd = Quotient(_mm256_add_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(mx, b), k42), halfD), byD);
            const __m256i hueR = _mm256_sub_epi32(bd, gd);
            const __m256i hueG = _mm256_add_epi32(k85, _mm256_sub_epi32(rd, bd));
            const __m256i hueB = _mm256_add_epi32(k170, _mm256_sub_epi32(gd, rd));
            __m256i hue = _mm256_blendv_epi8(hueB, hueG, _mm256_cmpeq_epi32(g, mx));
            hue = _mm256_blendv_epi8(hue, hueR, _mm256_cmpeq_epi32(r, mx));
            H[k] = _mm256_blendv_epi8(_mm256_and_si256(hue, k255), k255, flat);
            S[k] = _mm256_andnot_si256(flat, sat);
            L[k] = l;
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(hp + x), Pack32(H));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sp + x), Pack32(S));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(lp + x), Pack32(L));
    }
    HslPlain(s, hp, sp, lp, x, w);
}

#endif
}  // namespace

namespace {
// The offsets b for which the line of slope k gives every entry of t:
// [lo, hi], empty when lo > hi. Entries 0 and 255 only bound one side (the
// result is clamped).
void Offsets(const uint8_t* t, int64_t k, int64_t& lo, int64_t& hi) {
    lo = INT64_MIN / 4, hi = INT64_MAX / 4;
    for (int c = 0; c < 256; ++c) {
        const int64_t v = t[c], kc = k * c;
        if (v > 0) lo = std::max(lo, v * 65536 - kc);
        if (v < 255) hi = std::min(hi, (v + 1) * 65536 - 1 - kc);
    }
}

// A line for one table. hi - lo is a concave function of k (a minimum of
// lines less a maximum of lines), so its largest value is found by
// ternary search; the line must stay inside 32 bits for c in 0..255.
bool FitOne(const uint8_t* t, int32_t& kOut, int32_t& bOut) {
    int64_t k0 = -(int64_t(1) << 22), k1 = int64_t(1) << 22;
    auto width = [t](int64_t k) {
        int64_t lo, hi;
        Offsets(t, k, lo, hi);
        return hi - lo;
    };
    while (k1 - k0 > 2) {
        const int64_t m0 = k0 + (k1 - k0) / 3, m1 = k1 - (k1 - k0) / 3;
        if (width(m0) < width(m1)) k0 = m0 + 1;
        else k1 = m1;
    }
    for (int64_t k = k0; k <= k1; ++k) {
        int64_t lo, hi;
        Offsets(t, k, lo, hi);
        if (lo > hi) continue;
        const int64_t b = std::clamp<int64_t>(0, lo, hi);
        const int64_t ends[2] = {b, b + 255 * k};
        if (std::abs(ends[0]) >= (int64_t(1) << 30) || std::abs(ends[1]) >= (int64_t(1) << 30)) continue;
        bool same = true;
        for (int c = 0; c < 256 && same; ++c)
            same = std::clamp<int64_t>((k * c + b) >> 16, 0, 255) == t[c];
        if (!same) continue;
        kOut = int32_t(k), bOut = int32_t(b);
        return true;
    }
    return false;
}
}  // namespace

void ByteTables::Fit() {
    linear = true;
    for (int ch = 0; ch < 3; ++ch) linear = FitOne(t[ch], k[ch], b[ch]) && linear;
}

bool Avx2() {
#ifdef PIMLORA_PIXEL_AVX2
    return HaveAvx2() && allowed.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

void AllowAvx2(bool allow) { allowed.store(allow, std::memory_order_relaxed); }

bool Avx512() { return Avx2() && wide::Have() && allowed512.load(std::memory_order_relaxed); }

void AllowAvx512(bool allow) { allowed512.store(allow, std::memory_order_relaxed); }

void Invert(const uint8_t* s, uint8_t* d, size_t n, bool stream) {
#ifdef PIMLORA_PIXEL_AVX2
    if (Avx2()) return InvertAvx2(s, d, n, stream);
#endif
    (void)stream;
    InvertPlain(s, d, n);
}

void MapRow(const uint8_t* s, uint8_t* d, const uint8_t* a, uint8_t* oa, int w, const ByteTables& t, bool stream) {
#ifdef PIMLORA_PIXEL_AVX2
    if (Avx512()) return wide::MapRow(s, d, a, oa, w, t, stream);
    if (Avx2()) return MapAvx2(s, d, a, oa, w, t, stream);
#endif
    (void)stream;
    MapPlain(s, d, a, oa, 0, w, t);
}

void GreyRow(const uint8_t* s, uint8_t* d, const uint8_t* a, uint8_t* oa, int w, bool stream) {
#ifdef PIMLORA_PIXEL_AVX2
    if (Avx2()) return GreyAvx2(s, d, a, oa, w, stream);
#endif
    (void)stream;
    GreyPlain(s, d, a, oa, 0, w);
}

void ThresholdRow(const uint8_t* s, uint8_t* d, const uint8_t* a, uint8_t* oa, int w, const int16_t limit[4],
                  bool stream) {
#ifdef PIMLORA_PIXEL_AVX2
    if (Avx2()) return ThresholdAvx2(s, d, a, oa, w, limit, stream);
#endif
    (void)stream;
    ThresholdPlain(s, d, a, oa, 0, w, limit);
}

void PaintFlags(const uint8_t* flag, uint8_t* d, const uint8_t* a, uint8_t* oa, int w, bool stream) {
#ifdef PIMLORA_PIXEL_AVX2
    if (Avx512()) return wide::PaintFlags(flag, d, a, oa, w, stream);
    if (Avx2()) return PaintAvx2(flag, d, a, oa, w, stream);
#endif
    (void)stream;
    PaintPlain(flag, d, a, oa, 0, w);
}

void LumRow(const uint8_t* s, uint8_t* lum, int w) {
#ifdef PIMLORA_PIXEL_AVX2
    if (Avx2()) return LumAvx2(s, lum, w);
#endif
    LumPlain(s, lum, 0, w);
}

void GreyValues(const uint8_t* s, uint8_t* grey, int w) {
#ifdef PIMLORA_PIXEL_AVX2
    if (Avx512()) return wide::GreyValues(s, grey, w);
    if (Avx2()) return GreyValuesAvx2(s, grey, w);
#endif
    GreyValuesPlain(s, grey, 0, w);
}

void Range(const uint8_t* p, int n, uint8_t& lo, uint8_t& hi) {
#ifdef PIMLORA_PIXEL_AVX2
    if (Avx2()) return RangeAvx2(p, n, lo, hi);
#endif
    RangePlain(p, 0, n, lo, hi);
}

void SplitRow(const uint8_t* s, uint8_t* blue, uint8_t* green, uint8_t* red, int w) {
#ifdef PIMLORA_PIXEL_AVX2
    if (Avx2()) return SplitAvx2(s, blue, green, red, w);
#endif
    SplitPlain(s, blue, green, red, 0, w);
}

void YuvRow(const uint8_t* s, uint8_t* y, uint8_t* u, uint8_t* v, int w) {
#ifdef PIMLORA_PIXEL_AVX2
    if (Avx2()) return YuvAvx2(s, y, u, v, w);
#endif
    YuvPlain(s, y, u, v, 0, w);
}

void HslRow(const uint8_t* s, uint8_t* h, uint8_t* sat, uint8_t* l, int w) {
#ifdef PIMLORA_PIXEL_AVX2
    if (Avx512()) return wide::HslRow(s, h, sat, l, w);
    if (Avx2()) return HslAvx2(s, h, sat, l, w);
#endif
    HslPlain(s, h, sat, l, 0, w);
}

}  // namespace pixelrows
}  // namespace layerops
