// Window filters: mean, erode, dilate, 3 x 3 convolution, sharpen, median,
// edge darkening, frosted glass and watercolour.
#include <atomic>
#include <cmath>
#include <utility>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "layer_access.h"
#include "pixel_rows.h"

namespace layerops {

namespace {
// Window offsets -(n div 2) .. n - (n div 2) - 1.
inline int Lo(int n) { return -(n / 2); }
inline int Hi(int n) { return n - n / 2 - 1; }

// One non-zero kernel entry of the 3 x 3 convolution: its value, the row
// (0 above, 1 centre, 2 below) and the byte shift of its column.
struct ConvTap { int k, row, shift; };

#if defined(__x86_64__) && defined(__GNUC__)
#define PIMLORA_AVX2_PATHS 1
#define PIMLORA_AVX2 __attribute__((target("avx2")))
PIMLORA_AVX2 inline void Exchange16(__m256i* v, int i, int j) {
    const __m256i lo = _mm256_min_epi16(v[i], v[j]);
    v[j] = _mm256_max_epi16(v[i], v[j]);
    v[i] = lo;
}
template <size_t... I>
PIMLORA_AVX2 inline void Median25x16(__m256i* v, std::index_sequence<I...>) {
    (Exchange16(v, kMedianNet25.ops[I].x, kMedianNet25.ops[I].y), ...);
}
// The median-of-nine network of Median9, unrolled (the middle ends on 4).
constexpr Exchange kNet9[19] = {{1, 2}, {4, 5}, {7, 8}, {0, 1}, {3, 4}, {6, 7}, {1, 2}, {4, 5}, {7, 8}, {0, 3},
                                {5, 8}, {4, 7}, {3, 6}, {1, 4}, {2, 5}, {4, 7}, {4, 2}, {6, 4}, {4, 2}};
template <size_t... I>
PIMLORA_AVX2 inline void Median9x16(__m256i* v, std::index_sequence<I...>) {
    (Exchange16(v, kNet9[I].x, kNet9[I].y), ...);
}

// The inner n x n windows (n = 3 or 5) of one row, sixteen per step, from
// column x on, as the eight-window path does them; returns the first
// column not done. `lumTop` is the luminance row of the window's top row.
template <int N>
PIMLORA_AVX2 int MedianRowAvx2(const uint8_t* lumTop, int w, int x, const uint8_t* al, uint8_t* d,
                               const uint8_t* centre, const ptrdiff_t* place) {
    constexpr int R = N / 2, K = N * N, S = N == 3 ? 4 : 5, Mask = N == 3 ? 15 : 31;
    alignas(32) int16_t mid[16];
    for (; x + 16 + R <= w; x += 16) {   // pixels x .. x+15; loads up to x+15+R
        __m256i v[K];
        for (int k = 0; k < K; ++k) {
            const uint8_t* l = lumTop + size_t(k / N) * size_t(w) + size_t(x - R + k % N);
            const __m256i b = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(l)));
            v[k] = _mm256_or_si256(_mm256_slli_epi16(b, S), _mm256_set1_epi16(int16_t(k)));
        }
        if constexpr (N == 3) {
            Median9x16(v, std::make_index_sequence<19>());
            _mm256_store_si256(reinterpret_cast<__m256i*>(mid), v[4]);
        } else {
            Median25x16(v, std::make_index_sequence<size_t(kMedianNet25.count)>());
            _mm256_store_si256(reinterpret_cast<__m256i*>(mid), v[kMedianNet25.out]);
        }
        for (int j = 0; j < 16; ++j) {
            if (!al[x + j]) continue;
            const uint8_t* p = centre + 3 * size_t(x + j) + place[mid[j] & Mask];
            uint8_t* q = d + 3 * size_t(x + j);
            q[0] = p[0], q[1] = p[1], q[2] = p[2];
        }
    }
    return x;
}

// Truncating division of signed 16-bit sums by the divisor (|sum| div |a|
// by multiply-high, the sign put back and turned for a negative divisor),
// plus the offset, saturating.
PIMLORA_AVX2 inline __m256i Quotient16(__m256i s, __m256i mul, __m128i sh, bool identity, __m256i flip, __m256i off) {
    const __m256i z = _mm256_setzero_si256(), sgn = _mm256_cmpgt_epi16(z, s), neg = _mm256_xor_si256(sgn, flip);
    __m256i m = _mm256_sub_epi16(_mm256_xor_si256(s, sgn), sgn);
    if (!identity) m = _mm256_srl_epi16(_mm256_mulhi_epu16(m, mul), sh);
    return _mm256_adds_epi16(_mm256_sub_epi16(_mm256_xor_si256(m, neg), neg), off);
}

// The inner bytes o .. of one convolution row, 32 per step, as the SSE2
// path does them; returns the first byte not done.
PIMLORA_AVX2 size_t ConvolveRowAvx2(const uint8_t* const rows[3], const ConvTap* taps, int nTaps, size_t o, size_t o1,
                                    uint8_t* res, const Recip16& rc, bool negDen, int offset, bool invert) {
    const __m256i z = _mm256_setzero_si256();
    const __m256i mul = _mm256_set1_epi16(int16_t(uint16_t(rc.m))), off = _mm256_set1_epi16(int16_t(offset));
    const __m128i sh = _mm_cvtsi32_si128(rc.shift);
    const __m256i flip = negDen ? _mm256_set1_epi16(-1) : z, inv = invert ? _mm256_set1_epi8(-1) : z;
    for (; o + 32 <= o1; o += 32) {
        __m256i s0 = z, s1 = z;
        for (int t = 0; t < nTaps; ++t) {
            const uint8_t* p = rows[taps[t].row] + o + taps[t].shift;
            const __m256i k = _mm256_set1_epi16(int16_t(taps[t].k));
            s0 = _mm256_add_epi16(s0, _mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))), k));
            s1 = _mm256_add_epi16(s1, _mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16))), k));
        }
        const __m256i q0 = Quotient16(s0, mul, sh, rc.identity, flip, off);
        const __m256i q1 = Quotient16(s1, mul, sh, rc.identity, flip, off);
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(q0, q1), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(res + o), _mm256_xor_si256(bytes, inv));
    }
    return o;
}

// Box mean, a row's interior bytes o .. from 16-bit column sums, 16 per
// step, as the SSE2 path does them; returns the first byte not done.
PIMLORA_AVX2 size_t MeanRowAvx2(const uint16_t* col, const uint8_t* s, size_t o, size_t oe, int lo, int n,
                                uint32_t extra, const Recip16& rc, uint8_t* res) {
    const __m256i z = _mm256_setzero_si256(), ext = _mm256_set1_epi16(int16_t(extra)),
                  mul = _mm256_set1_epi16(int16_t(uint16_t(rc.m)));
    const __m128i sh = _mm_cvtsi32_si128(rc.shift);
    for (; o + 16 <= oe; o += 16) {
        const uint16_t* cc = col + o + 3 * lo;
        __m256i acc = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cc));
        for (int k = 1; k < n; ++k)
            acc = _mm256_add_epi16(acc, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cc + 3 * k)));
        if (extra)
            acc = _mm256_add_epi16(
                acc, _mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + o))), ext));
        const __m256i q = rc.identity ? acc : _mm256_srl_epi16(_mm256_mulhi_epu16(acc, mul), sh);
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(q, z), 0xD8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(res + o), _mm256_castsi256_si128(bytes));
    }
    return o;
}

// Column sums plus one opaque row, minus another, 32 bytes per step;
// returns the first byte not done.
PIMLORA_AVX2 size_t SlideAvx2(uint16_t* c, const uint8_t* in, const uint8_t* out, size_t n) {
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256i v = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)));
        const __m256i u = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(out + i)));
        const __m256i cc = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(c + i), _mm256_sub_epi16(_mm256_add_epi16(cc, v), u));
    }
    return i;
}

std::atomic<bool> avx2Allowed{true};

bool HaveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have && avx2Allowed.load(std::memory_order_relaxed);
}
#endif

// Runs body(firstRow, endRow, isMain) on the two halves of the rows, the
// second half on a helper thread. Every output row depends only on the
// source, so the halves are independent. Layers below 1024 pixels are not
// worth a thread (the tests' wider layers cover the seam); without a
// thread the main one does all rows.
template <class F>
void TwoBands(const LayerAccess& a, F&& body) {
    SplitRows(a.h, a.h >= 4 && int64_t(a.w) * a.h >= 1024, [&body](int r0, int r1) { body(r0, r1, r0 == 0); });
}

// Copies the results of columns x0 .. x1-1 into the destination row where
// the layer's alpha is not 0.
inline void StoreMasked(uint8_t* d, const uint8_t* res, const uint8_t* al, int x0, int x1) {
    if (x1 <= x0) return;
    if (!std::memchr(al + x0, 0, size_t(x1 - x0))) {
        std::memcpy(d + 3 * size_t(x0), res + 3 * size_t(x0), 3 * size_t(x1 - x0));
        return;
    }
    for (int x = x0; x < x1; ++x)
        if (al[x]) std::memcpy(d + 3 * size_t(x), res + 3 * size_t(x), 3);
}

// Rows holding at least one pixel with alpha 0, counted: holed[r] is the
// number of such rows above row r (h + 1 entries).
std::vector<int> HoledRows(const LayerAccess& a) {
    std::vector<int> holed(size_t(a.h) + 1, 0);
    for (int r = 0; r < a.h; ++r) holed[size_t(r) + 1] = holed[size_t(r)] + (std::memchr(a.AlphaRow(r), 0, size_t(a.w)) ? 1 : 0);
    return holed;
}

// Weighted mean of one pixel from per-column sums (b, g, r, count).
inline void MeanPixel(const uint32_t s[4], uint32_t extra, const uint8_t* src, uint8_t* dst, bool fastDiv,
                      const std::vector<UDivider>& div) {
    const uint32_t n = s[3] + extra;
    for (int k = 0; k < 3; ++k) {
        const uint32_t sum = s[k] + extra * src[k];
        dst[k] = uint8_t(fastDiv ? div[n](sum) : sum / n);
    }
}

// Window mean whose sums fit 16 bits (255 (n n + w - 1) <= 65535, which
// covers every size the dialogs offer). Column sums of the channel bytes
// (16 bits each, alpha-0 pixels left out) and column counts slide down the
// rows; a row whose window rows have no transparent pixel takes the
// interior in 16-bit lanes: the sum of n shifted column sums, the centre
// weight, and the division by the constant n n + w - 1 as an exact
// multiply-high. The other pixels sum the columns of their clipped window.
bool MeanSmall(LayerAccess& a, int n, uint32_t extra) {
    const int w = a.w, h = a.h, lo = Lo(n), hi = Hi(n);
    const uint32_t full = uint32_t(n) * uint32_t(n) + extra;
    Recip16 rc;
    const bool vec = rc.Set(full, 255 * full);
    std::vector<UDivider> div(size_t(full) + 1);
    for (uint32_t c = 1; c <= full; ++c) div[c].Set(c);
    const std::vector<int> holed = HoledRows(a);
    const size_t rb = size_t(w) * 3;
#ifdef PIMLORA_AVX2_PATHS
    const bool avx2 = HaveAvx2();
#endif
    auto band = [&](int ra, int re, bool main) {
        std::vector<uint16_t> col(rb), cnt(static_cast<size_t>(w));
        std::vector<uint32_t> pre(size_t(w + 1) * 4, 0);
        std::vector<uint8_t> res(rb);
        auto opaque = [&](int r) { return holed[size_t(r) + 1] == holed[size_t(r)]; };
        // Adds (or removes) a source row; an opaque row in whole vectors.
        auto update = [&](int r, bool plus) {
            const uint8_t* s = a.SrcRow(r);
            uint16_t* c = col.data();
            if (opaque(r)) {
                size_t i = 0;
#ifdef __SSE2__
                const __m128i z = _mm_setzero_si128();
                for (; i + 16 <= rb; i += 16) {
                    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
                    __m128i c0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i));
                    __m128i c1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i + 8));
                    const __m128i v0 = _mm_unpacklo_epi8(v, z), v1 = _mm_unpackhi_epi8(v, z);
                    c0 = plus ? _mm_add_epi16(c0, v0) : _mm_sub_epi16(c0, v0);
                    c1 = plus ? _mm_add_epi16(c1, v1) : _mm_sub_epi16(c1, v1);
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(c + i), c0);
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(c + i + 8), c1);
                }
#endif
                for (; i < rb; ++i) c[i] = uint16_t(plus ? c[i] + s[i] : c[i] - s[i]);
                const uint16_t step = plus ? 1 : uint16_t(0xFFFF);
                for (int x = 0; x < w; ++x) cnt[size_t(x)] = uint16_t(cnt[size_t(x)] + step);
            } else {
                const uint8_t* al = a.AlphaRow(r);
                for (int x = 0; x < w; ++x) {
                    if (!al[x]) continue;
                    const int sg = plus ? 1 : -1;
                    c[3 * x] = uint16_t(c[3 * x] + sg * s[3 * x]);
                    c[3 * x + 1] = uint16_t(c[3 * x + 1] + sg * s[3 * x + 1]);
                    c[3 * x + 2] = uint16_t(c[3 * x + 2] + sg * s[3 * x + 2]);
                    cnt[size_t(x)] = uint16_t(cnt[size_t(x)] + sg);
                }
            }
        };
        // One opaque row in, one out, in one pass (the counts stay).
        auto slide = [&](const uint8_t* in, const uint8_t* out) {
            uint16_t* c = col.data();
            size_t i = 0;
#ifdef PIMLORA_AVX2_PATHS
            if (avx2) i = SlideAvx2(c, in, out, rb);
#endif
#ifdef __SSE2__
            const __m128i z = _mm_setzero_si128();
            for (; i + 16 <= rb; i += 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
                const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out + i));
                const __m128i c0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i));
                const __m128i c1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i + 8));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(c + i),
                                 _mm_sub_epi16(_mm_add_epi16(c0, _mm_unpacklo_epi8(v, z)), _mm_unpacklo_epi8(u, z)));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(c + i + 8),
                                 _mm_sub_epi16(_mm_add_epi16(c1, _mm_unpackhi_epi8(v, z)), _mm_unpackhi_epi8(u, z)));
            }
#endif
            for (; i < rb; ++i) c[i] = uint16_t(c[i] + in[i] - out[i]);
        };
        // One pixel from the columns of its clipped window.
        auto edgePixel = [&](int x, const uint8_t* s, uint8_t* d) {
            uint32_t sums[4] = {0, 0, 0, 0};
            for (int xx = std::max(0, x + lo); xx <= std::min(w - 1, x + hi); ++xx) {
                sums[0] += col[3 * size_t(xx)], sums[1] += col[3 * size_t(xx) + 1], sums[2] += col[3 * size_t(xx) + 2];
                sums[3] += cnt[size_t(xx)];
            }
            MeanPixel(sums, extra, s + 3 * x, d + 3 * x, true, div);
        };
        for (int r = std::max(0, ra + lo); r <= std::min(h - 1, ra + hi); ++r) update(r, true);
        for (int r = ra; r < re; ++r) {
            if (r > ra) {
                const int in = r + hi, out = r - 1 + lo;
                if (in < h && out >= 0 && opaque(in) && opaque(out)) {
                    slide(a.SrcRow(in), a.SrcRow(out));
                } else {
                    if (in < h) update(in, true);
                    if (out >= 0) update(out, false);
                }
            }
            if (main && (r & 63) == 0) a.Progress(int(int64_t(r) * 100 / h));
            const uint8_t* s = a.SrcRow(r);
            const uint8_t* al = a.AlphaRow(r);
            uint8_t* d = a.DstRow(r);
            const bool fastRow = vec && r + lo >= 0 && r + hi < h && holed[size_t(r + hi + 1)] == holed[size_t(r + lo)];
            if (!fastRow) {
                // Prefix sums of the columns: every window in O(1).
                for (int x = 0; x < w; ++x) {
                    uint32_t* p = &pre[size_t(x + 1) * 4];
                    const uint32_t* q = &pre[size_t(x) * 4];
                    p[0] = q[0] + col[3 * size_t(x)], p[1] = q[1] + col[3 * size_t(x) + 1];
                    p[2] = q[2] + col[3 * size_t(x) + 2], p[3] = q[3] + cnt[size_t(x)];
                }
                for (int x = 0; x < w; ++x) {
                    if (!al[x]) continue;
                    const uint32_t* p1 = &pre[size_t(std::min(w, x + hi + 1)) * 4];
                    const uint32_t* p0 = &pre[size_t(std::max(0, x + lo)) * 4];
                    const uint32_t sums[4] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2], p1[3] - p0[3]};
                    MeanPixel(sums, extra, s + 3 * x, d + 3 * x, true, div);
                }
                continue;
            }
            const int xa = std::min(w, -lo), xb = std::max(xa, w - hi);
            size_t o = 3 * size_t(xa);
            const size_t oe = 3 * size_t(xb);
            const uint16_t* c = col.data();
#ifdef PIMLORA_AVX2_PATHS
            if (avx2) o = MeanRowAvx2(c, s, o, oe, lo, n, extra, rc, res.data());
#endif
#ifdef __SSE2__
            const __m128i z = _mm_setzero_si128(), ext = _mm_set1_epi16(int16_t(extra)),
                          mul = _mm_set1_epi16(int16_t(uint16_t(rc.m)));
            const __m128i sh = _mm_cvtsi32_si128(rc.shift);
            for (; o + 8 <= oe; o += 8) {
                const uint16_t* cc = c + o + 3 * lo;
                __m128i acc = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cc));
                for (int k = 1; k < n; ++k)
                    acc = _mm_add_epi16(acc, _mm_loadu_si128(reinterpret_cast<const __m128i*>(cc + 3 * k)));
                if (extra) {
                    const __m128i v = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + o)), z);
                    acc = _mm_add_epi16(acc, _mm_mullo_epi16(v, ext));
                }
                const __m128i q = rc.identity ? acc : _mm_srl_epi16(_mm_mulhi_epu16(acc, mul), sh);
                _mm_storel_epi64(reinterpret_cast<__m128i*>(res.data() + o), _mm_packus_epi16(q, z));
            }
#endif
            for (; o < oe; ++o) {
                uint32_t sum = extra * s[o];
                for (int k = lo; k <= hi; ++k) sum += c[o + 3 * k];
                res[o] = uint8_t(rc(sum));
            }
            StoreMasked(d, res.data(), al, xa, xb);
            for (int x = 0; x < xa; ++x)
                if (al[x]) edgePixel(x, s, d);
            for (int x = xb; x < w; ++x)
                if (al[x]) edgePixel(x, s, d);
        }
    };
    TwoBands(a, band);
    return true;
}
}  // namespace

// Weighted mean over the window of pixels inside the layer with non-zero
// alpha (centre weight w). Column sums slide down the rows; each row's sums
// become a prefix table, so every window costs the same whatever its size.
bool WindowMean(LayerOpContext& ctx, int size, int centreWeight) {
    if (size < 1 || centreWeight < 1) return false;
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h, lo = Lo(size), hi = Hi(size);
    const uint32_t extra = uint32_t(centreWeight - 1);
    const uint64_t maxCount = uint64_t(size) * size + extra;
    if (maxCount * 255 <= 65535) {
        MeanSmall(a, size, extra);
        a.Commit();
        a.Progress(0);
        return true;
    }
    const bool fastDiv = maxCount < 4096;
    std::vector<UDivider> div;
    if (fastDiv) {
        div.resize(size_t(maxCount + 1));
        for (uint32_t c = 1; c <= maxCount; ++c) div[c].Set(c);
    }
    // Rows [ra, rb) with their own column sums.
    auto band = [&](int ra, int rb, bool progress) {
    // Per column: b, g, r, count of the rows in the vertical window.
    std::vector<uint32_t> col(size_t(w) * 4, 0), pre(size_t(w + 1) * 4, 0);
    auto addRow = [&](int r, int sign) {
        const uint8_t* s = a.SrcRow(r);
        const uint8_t* al = a.AlphaRow(r);
        uint32_t* c = col.data();
        if (sign > 0) {
            for (int x = 0; x < w; ++x) {
                const uint32_t m = al[x] ? 1 : 0;
                c[4 * x] += s[3 * x] * m, c[4 * x + 1] += s[3 * x + 1] * m, c[4 * x + 2] += s[3 * x + 2] * m;
                c[4 * x + 3] += m;
            }
        } else {
            for (int x = 0; x < w; ++x) {
                const uint32_t m = al[x] ? 1 : 0;
                c[4 * x] -= s[3 * x] * m, c[4 * x + 1] -= s[3 * x + 1] * m, c[4 * x + 2] -= s[3 * x + 2] * m;
                c[4 * x + 3] -= m;
            }
        }
    };
    for (int r = std::max(0, ra + lo); r <= std::min(h - 1, ra + hi); ++r) addRow(r, 1);
    for (int r = ra; r < rb; ++r) {
        if (r > ra) {
            if (r + hi < h) addRow(r + hi, 1);
            if (r - 1 + lo >= 0) addRow(r - 1 + lo, -1);
        }
        if (progress && (r & 63) == 0) a.Progress(int(int64_t(r) * 100 / h));
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < 4; ++k) pre[size_t(x + 1) * 4 + k] = pre[size_t(x) * 4 + k] + col[size_t(x) * 4 + k];
        const uint8_t* s = a.SrcRow(r);
        const uint8_t* al = a.AlphaRow(r);
        uint8_t* d = a.DstRow(r);
        for (int x = 0; x < w; ++x) {
            if (!al[x]) continue;
            const int x0 = std::max(0, x + lo), x1 = std::min(w, x + hi + 1);
            const uint32_t* p1 = &pre[size_t(x1) * 4];
            const uint32_t* p0 = &pre[size_t(x0) * 4];
            const uint32_t sums[4] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2], p1[3] - p0[3]};
            MeanPixel(sums, extra, s + 3 * x, d + 3 * x, fastDiv, div);
        }
    }
    };
    TwoBands(a, band);
    a.Commit();
    a.Progress(0);
    return true;
}

namespace {
// d = min (or max) of a and b, byte by byte; d may be a.
template <bool kMax>
inline void Pick2(uint8_t* d, const uint8_t* p, const uint8_t* q, size_t n) {
    size_t i = 0;
#ifdef __SSE2__
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), kMax ? _mm_max_epu8(x, y) : _mm_min_epu8(x, y));
    }
#endif
    for (; i < n; ++i) d[i] = kMax ? std::max(p[i], q[i]) : std::min(p[i], q[i]);
}

// Separable minimum (erode) or maximum (dilate) over the window clipped to
// the layer: rows first, then the columns of that result, each in whole
// rows of bytes; dilate also lets the outside colour in where the window
// leaves the layer.
template <bool kMax>
bool MinMax(LayerOpContext& ctx, int size) {
    if (size < 1) return false;
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h, lo = Lo(size), hi = Hi(size);
    const size_t rb = size_t(w) * 3;
    const uint8_t outside[3] = {a.outB, a.outG, a.outR};
    auto pick = [](uint8_t p, uint8_t q) { return kMax ? std::max(p, q) : std::min(p, q); };
    auto band = [&](int ra, int re, bool main) {
        std::vector<uint8_t> vert(rb), out(rb);
        for (int r = ra; r < re; ++r) {
            if (main && (r & 63) == 0) a.Progress(int(int64_t(r) * 100 / h));
            const int r0 = std::max(0, r + lo), r1 = std::min(h - 1, r + hi);
            if (r0 == r1) std::memcpy(vert.data(), a.SrcRow(r0), rb);
            else Pick2<kMax>(vert.data(), a.SrcRow(r0), a.SrcRow(r0 + 1), rb);
            for (int rr = r0 + 2; rr <= r1; ++rr) Pick2<kMax>(vert.data(), vert.data(), a.SrcRow(rr), rb);
            // Horizontal: out[x] = pick over vert[x + k], k in lo..hi, clipped.
            std::memcpy(out.data(), vert.data(), rb);
            for (int k = lo; k <= hi; ++k) {
                if (k == 0) continue;
                const int x0 = std::max(0, -k), x1 = std::min(w, w - k);
                if (x1 <= x0) continue;
                uint8_t* o = out.data() + size_t(x0) * 3;
                Pick2<kMax>(o, o, vert.data() + size_t(x0 + k) * 3, size_t(x1 - x0) * 3);
            }
            const uint8_t* al = a.AlphaRow(r);
            uint8_t* d = a.DstRow(r);
            // Dilate: pixels whose window leaves the layer meet the outside colour.
            const bool rowsOut = r + lo < 0 || r + hi >= h;
            const int xa = !kMax ? 0 : rowsOut ? w : std::min(w, -lo);
            const int xb = !kMax ? w : rowsOut ? w : std::max(xa, w - hi);
            StoreMasked(d, out.data(), al, xa, xb);
            for (int x = 0; x < w; ++x) {
                if (x == xa) x = xb;
                if (x >= w) break;
                if (!al[x]) continue;
                for (int c = 0; c < 3; ++c) d[3 * x + c] = pick(out[3 * size_t(x) + c], outside[c]);
            }
        }
    };
    TwoBands(a, band);
    a.Commit();
    a.Progress(0);
    return true;
}
}  // namespace

bool Erode(LayerOpContext& ctx, int size) { return MinMax<false>(ctx, size); }
bool Dilate(LayerOpContext& ctx, int size) { return MinMax<true>(ctx, size); }

// 3 x 3 convolution. Channel rule: a = 0: b + sum; a != 0 and (K = m or
// K = 0): b + sum div a; otherwise b + (K sum) div (m a). The K = 0 case
// (outline and emboss kernels) would otherwise multiply every sum by 0.
bool Convolve3x3(LayerOpContext& ctx, const int kernel[9], int divisor, int offset, bool invert, int32_t* output) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h;
    int K = 0;
    for (int i = 0; i < 9; ++i) K += kernel[i];
    auto channel = [&](int sum, int m) {
        int v;
        if (divisor == 0)
            v = offset + sum;
        else if (K == m || K == 0)
            v = offset + sum / divisor;
        else
            v = offset + int((int64_t(K) * sum) / (int64_t(m) * divisor));
        v = Clamp255(v);
        return uint8_t(invert ? 255 - v : v);
    };
    // Inner pixels (m = 9): the division by a fixed divisor becomes one
    // multiplication where the numerator's bound allows it exactly.
    int absSum = 0;
    for (int i = 0; i < 9; ++i) absSum += std::abs(kernel[i]);
    const bool scaled = divisor != 0 && K != 9 && K != 0;
    const int64_t numMax = int64_t(255) * absSum * (scaled ? std::abs(int64_t(K)) : 1);
    const int64_t den = divisor == 0 ? 1 : std::abs(int64_t(divisor)) * (scaled ? 9 : 1);
    UDivider fast;
    const bool useFast = divisor != 0 && numMax * den < (int64_t(1) << 32) && den < (int64_t(1) << 31);
    if (useFast) fast.Set(uint32_t(den));
    const bool negDen = divisor < 0;
    auto inner = [&](int sum) -> uint8_t {
        if (!useFast) return channel(sum, 9);
        const int num = scaled ? K * sum : sum;
        int q = num >= 0 ? int(fast(uint32_t(num))) : -int(fast(uint32_t(-num)));
        if (negDen) q = -q;
        const int v = Clamp255(offset + q);
        return uint8_t(invert ? 255 - v : v);
    };
    // Whole inner rows in 16-bit lanes: every sum fits (255 * sum |k| <=
    // 32767), the divisor is 0 or the rule's plain division, and that
    // division is an exact multiply-high over 0 .. 255 * sum |k|.
    Recip16 rc;
    const bool lanes = !scaled && int64_t(255) * absSum <= 32767 && std::abs(int64_t(offset)) <= 32767 &&
                       (divisor == 0 || rc.Set(uint32_t(std::abs(int64_t(divisor))), uint32_t(255 * absSum)));
    if (divisor == 0) rc.identity = true;
    ConvTap taps[9];
    int nTaps = 0;
    for (int i = 0; i < 9; ++i)
        if (kernel[i]) taps[nTaps++] = ConvTap{kernel[i], i / 3, 3 * (i % 3 - 1)};
#ifdef PIMLORA_AVX2_PATHS
    const bool avx2 = lanes && HaveAvx2();
#endif
    const int step = 100 / std::max(1, h);
    auto band = [&](int ra, int re, bool main) {
    std::vector<int32_t> rowSums(size_t(w) * 3);
    std::vector<uint8_t> rowOut(size_t(w) * 3);
    for (int r = ra; r < re; ++r) {
        // The main thread counts for the helper's half of the rows too.
        if (main) ctx.image->info.progress += re - ra < h ? 2 * step : step;
        const uint8_t* rows[3] = {r > 0 ? a.SrcRow(r - 1) : nullptr, a.SrcRow(r), r + 1 < h ? a.SrcRow(r + 1) : nullptr};
        const uint8_t* al = a.AlphaRow(r);
        uint8_t* d = a.DstRow(r);
        const uint8_t* centre = a.SrcRow(r);
        const bool innerRow = r > 0 && r + 1 < h && !output && w > 2;
        if (innerRow) {
            const size_t o0 = 3, o1 = 3 * size_t(w - 1);
            uint8_t* res = rowOut.data();
            size_t o = o0;
#ifdef PIMLORA_AVX2_PATHS
            if (avx2) o = ConvolveRowAvx2(rows, taps, nTaps, o, o1, res, rc, negDen, offset, invert);
#endif
#ifdef __SSE2__
            if (lanes) {
                const __m128i z = _mm_setzero_si128(), ones = _mm_set1_epi16(-1);
                const __m128i mul = _mm_set1_epi16(int16_t(uint16_t(rc.m))), sh = _mm_cvtsi32_si128(rc.shift);
                const __m128i off = _mm_set1_epi16(int16_t(offset));
                const __m128i flip = negDen ? ones : z, inv = invert ? _mm_set1_epi8(-1) : z;
                // The 16 bytes from o, from the same place in each tap's row.
                for (; o + 16 <= o1; o += 16) {
                    __m128i s0 = z, s1 = z;
                    for (int t = 0; t < nTaps; ++t) {
                        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[taps[t].row] + o + taps[t].shift));
                        const __m128i k = _mm_set1_epi16(int16_t(taps[t].k));
                        s0 = _mm_add_epi16(s0, _mm_mullo_epi16(_mm_unpacklo_epi8(v, z), k));
                        s1 = _mm_add_epi16(s1, _mm_mullo_epi16(_mm_unpackhi_epi8(v, z), k));
                    }
                    // Truncating division of signed sums: |sum| div |a|, the
                    // sign put back (and turned for a negative divisor).
                    auto quotient = [&](__m128i s) {
                        const __m128i neg = _mm_xor_si128(_mm_cmpgt_epi16(z, s), flip);
                        __m128i m = _mm_sub_epi16(_mm_xor_si128(s, _mm_cmpgt_epi16(z, s)), _mm_cmpgt_epi16(z, s));
                        if (!rc.identity) m = _mm_srl_epi16(_mm_mulhi_epu16(m, mul), sh);
                        return _mm_adds_epi16(_mm_sub_epi16(_mm_xor_si128(m, neg), neg), off);
                    };
                    const __m128i bytes = _mm_packus_epi16(quotient(s0), quotient(s1));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(res + o), _mm_xor_si128(bytes, inv));
                }
            }
#endif
            // The rest: channel sums, then the channel rule.
            int32_t* sums = rowSums.data();
            const uint8_t *u = rows[0], *m = rows[1], *b = rows[2];
            const size_t os = o;
            for (; o < o1; ++o)
                sums[o] = kernel[0] * u[o - 3] + kernel[1] * u[o] + kernel[2] * u[o + 3] + kernel[3] * m[o - 3] +
                          kernel[4] * m[o] + kernel[5] * m[o + 3] + kernel[6] * b[o - 3] + kernel[7] * b[o] +
                          kernel[8] * b[o + 3];
            if (useFast && !scaled && !negDen) {
                for (o = os; o < o1; ++o) {
                    const int v = sums[o];
                    const uint32_t av = uint32_t(v < 0 ? -v : v);
                    const int q0 = int((uint64_t(av) * fast.m) >> 32);
                    int t = offset + (v < 0 ? -q0 : q0);
                    t = t < 0 ? 0 : t > 255 ? 255 : t;
                    res[o] = uint8_t(invert ? 255 - t : t);
                }
            } else if (divisor == 0) {
                for (o = os; o < o1; ++o) {
                    int t = offset + sums[o];
                    t = t < 0 ? 0 : t > 255 ? 255 : t;
                    res[o] = uint8_t(invert ? 255 - t : t);
                }
            } else {
                for (o = os; o < o1; ++o) res[o] = inner(sums[o]);
            }
            StoreMasked(d, res, al, 1, w - 1);
        }
        for (int x = 0; x < w; ++x) {
            if (innerRow && x == 1) x = w - 1;
            if (!al[x]) continue;
            int sb = 0, sg = 0, sr = 0, m = 0;
            for (int kr = 0; kr < 3; ++kr) {
                const uint8_t* row = rows[kr];
                if (!row) continue;
                for (int kc = 0; kc < 3; ++kc) {
                    const int xx = x + kc - 1;
                    if (xx < 0 || xx >= w) continue;
                    const int kv = kernel[kr * 3 + kc];
                    sb += kv * row[3 * xx], sg += kv * row[3 * xx + 1], sr += kv * row[3 * xx + 2];
                    ++m;
                }
            }
            if (output) {
                output[size_t(r) * size_t(w) + size_t(x)] =
                    int32_t(PackBGR(centre[3 * x], centre[3 * x + 1], centre[3 * x + 2]));
            } else {
                d[3 * x] = channel(sb, m), d[3 * x + 1] = channel(sg, m), d[3 * x + 2] = channel(sr, m);
            }
        }
    }
    };
    TwoBands(a, band);
    if (!output) a.Commit();
    a.Progress(0);
    return true;
}

bool Sharpen(LayerOpContext& ctx, int strength) {
    if (strength <= 0) return true;
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const double k[9] = {0, -1.0, 0, -1.0, 12.0 - strength, -1.0, 0, -1.0, 0};
    const int w = a.w, h = a.h;
    const int step = 100 / std::max(1, h);
    for (int r = 0; r < h; ++r) {
        ctx.image->info.progress += step;
        const uint8_t* rows[3] = {r > 0 ? a.SrcRow(r - 1) : nullptr, a.SrcRow(r), r + 1 < h ? a.SrcRow(r + 1) : nullptr};
        const uint8_t* al = a.AlphaRow(r);
        const uint8_t* s = a.SrcRow(r);
        uint8_t* d = a.DstRow(r);
        for (int x = 0; x < w; ++x) {
            if (!al[x]) continue;
            double sum[3] = {0, 0, 0};
            int m = 0;
            for (int kr = 0; kr < 3; ++kr) {
                if (!rows[kr]) continue;
                for (int kc = 0; kc < 3; ++kc) {
                    const int xx = x + kc - 1;
                    if (xx < 0 || xx >= w) continue;
                    for (int c = 0; c < 3; ++c) sum[c] += k[kr * 3 + kc] * rows[kr][3 * xx + c];
                    ++m;
                }
            }
            int hEdge = 0;
            if (x + 1 < w)
                hEdge = (std::abs(s[3 * x] - s[3 * x + 3]) + std::abs(s[3 * x + 1] - s[3 * x + 4]) +
                         std::abs(s[3 * x + 2] - s[3 * x + 5])) / 3;
            for (int c = 0; c < 3; ++c)
                d[3 * x + c] = (m == 9 && hEdge > 15) ? Clamp255(int(sum[c] * 0.14285714285714285)) : s[3 * x + c];
        }
    }
    a.Commit();
    a.Progress(0);
    return true;
}

namespace {
// (59 G + 30 R + 11 B) div 100 of every pixel, in two halves of rows, into
// a plane this thread keeps for the next call: a fresh 24 MB plane would
// cost more in first-touch page faults than the filling itself. Planes
// above 64 MB are not kept; `own` holds them for the caller.
const uint8_t* LumPlane100Bands(const LayerAccess& a, std::vector<uint8_t>& own) {
    thread_local std::vector<uint8_t> kept;
    const size_t n = size_t(a.w) * size_t(a.h);
    std::vector<uint8_t>& plane = n <= (size_t(64) << 20) ? kept : own;
    if (plane.size() < n) {
        plane = std::vector<uint8_t>();
        plane.resize(n);
    }
    uint8_t* lum = plane.data();
    TwoBands(a, [&](int ra, int re, bool) {
        for (int r = ra; r < re; ++r) {
            const uint8_t* s = a.SrcRow(r);
            uint8_t* l = lum + size_t(r) * size_t(a.w);
            for (int x = 0; x < a.w; ++x)
                l[x] = uint8_t((59 * s[3 * x + 1] + 30 * s[3 * x + 2] + 11 * s[3 * x]) / 100);
        }
    });
    return lum;
}

#ifdef __SSE2__
// The median-of-nine exchange network on eight windows at once.
inline void Median9(__m128i v[9]) {
    auto s = [&](int i, int j) {
        const __m128i lo = _mm_min_epi16(v[i], v[j]);
        v[j] = _mm_max_epi16(v[i], v[j]);
        v[i] = lo;
    };
    s(1, 2), s(4, 5), s(7, 8), s(0, 1), s(3, 4), s(6, 7);
    s(1, 2), s(4, 5), s(7, 8), s(0, 3), s(5, 8), s(4, 7);
    s(3, 6), s(1, 4), s(2, 5), s(4, 7), s(4, 2), s(6, 4);
    s(4, 2);
}

template <size_t... I>
inline void Median25(__m128i v[25], std::index_sequence<I...>) {
    auto s = [&](int i, int j) {
        const __m128i lo = _mm_min_epi16(v[i], v[j]);
        v[j] = _mm_max_epi16(v[i], v[j]);
        v[i] = lo;
    };
    (s(kMedianNet25.ops[I].x, kMedianNet25.ops[I].y), ...);
}
#endif

}  // namespace

// Median by luminance. Equal luminances are ordered by their place in the
// window (rows, then columns), so the result is one definite pixel: the
// keys (luminance, place) are distinct and the middle key names it. Inner
// 3 x 3 windows go through an exchange network, eight windows per step;
// other windows keep a running histogram along the row, find the middle
// luminance from it and then the pixel of that luminance with the right
// rank in window order. Two halves of the rows run side by side.
bool Median(LayerOpContext& ctx, int size) {
    if (size <= 0) return true;
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h, lo = Lo(size), hi = Hi(size);
    std::vector<uint8_t> ownPlane;
    const uint8_t* lum = LumPlane100Bands(a, ownPlane);
    const bool net = size == 3;
#ifdef PIMLORA_AVX2_PATHS
    const bool avx2 = HaveAvx2();
#endif
    auto band = [&](int ra, int re, bool main) {
        std::vector<uint32_t> keys(size_t(size) * size_t(size));
        std::vector<uint32_t> hist(256), coarse(16);
        auto column = [&](int r0, int r1, int xx, int sign) {
            for (int rr = r0; rr <= r1; ++rr) {
                const uint8_t l = lum[size_t(rr) * size_t(w) + size_t(xx)];
                hist[l] += uint32_t(sign);
                coarse[size_t(l >> 4)] += uint32_t(sign);
            }
        };
        // Any window: the middle of its keys, found by selection.
        auto general = [&](int r, int x, int r0, int r1, uint8_t* d) {
            const int x0 = std::max(0, x + lo), x1 = std::min(w - 1, x + hi);
            size_t n = 0;
            for (int rr = r0; rr <= r1; ++rr) {
                const uint8_t* l = lum + size_t(rr) * size_t(w);
                for (int xx = x0; xx <= x1; ++xx)
                    keys[n++] = (uint32_t(l[xx]) << 22) | (uint32_t(rr - r0) << 11) | uint32_t(xx - x0);
            }
            std::nth_element(keys.begin(), keys.begin() + long(n / 2), keys.begin() + long(n));
            const uint32_t kk = keys[n / 2];
            const int sr = r0 + int((kk >> 11) & 2047), sx = x0 + int(kk & 2047);
            std::memcpy(d + 3 * x, a.SrcRow(sr) + 3 * size_t(sx), 3);
            (void)r;
        };
        for (int r = ra; r < re; ++r) {
            if (main && (r & 31) == 0) a.Progress(int(int64_t(r) * 100 / h));
            const uint8_t* al = a.AlphaRow(r);
            uint8_t* d = a.DstRow(r);
            const int r0 = std::max(0, r + lo), r1 = std::min(h - 1, r + hi);
            if (net && r > 0 && r + 1 < h) {
                int x = 1;
#ifdef __SSE2__
                // Keys (luminance << 4 | place) of eight windows, pixels x .. x+7.
                const __m128i z = _mm_setzero_si128();
                alignas(16) int16_t mid[8];
                // Source offset of window place k from the window's centre.
                ptrdiff_t place[9];
                for (int k = 0; k < 9; ++k)
                    place[k] = (k / 3 - 1) * ptrdiff_t(a.srcStride) + 3 * (k % 3 - 1);
                const uint8_t* centre = a.SrcRow(r);
#ifdef PIMLORA_AVX2_PATHS
                if (avx2) x = MedianRowAvx2<3>(lum + size_t(r - 1) * size_t(w), w, x, al, d, centre, place);
#endif
                for (; x + 8 < w; x += 8) {
                    __m128i v[9];
                    for (int k = 0; k < 9; ++k) {
                        const uint8_t* l = lum + size_t(r - 1 + k / 3) * size_t(w) + size_t(x - 1 + k % 3);
                        const __m128i b = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(l)), z);
                        v[k] = _mm_or_si128(_mm_slli_epi16(b, 4), _mm_set1_epi16(int16_t(k)));
                    }
                    Median9(v);
                    _mm_store_si128(reinterpret_cast<__m128i*>(mid), v[4]);
                    for (int j = 0; j < 8; ++j) {
                        if (!al[x + j]) continue;
                        const uint8_t* p = centre + 3 * size_t(x + j) + place[mid[j] & 15];
                        uint8_t* q = d + 3 * size_t(x + j);
                        q[0] = p[0], q[1] = p[1], q[2] = p[2];
                    }
                }
#endif
                for (; x + 1 < w; ++x)
                    if (al[x]) general(r, x, r0, r1, d);
                if (al[0]) general(r, 0, r0, r1, d);
                if (w > 1 && al[w - 1]) general(r, w - 1, r0, r1, d);
                continue;
            }
            if (net) {
                for (int x = 0; x < w; ++x)
                    if (al[x]) general(r, x, r0, r1, d);
                continue;
            }
            int xs = 0;   // pixels before xs are done
#ifdef __SSE2__
            if (size == 5 && r >= 2 && r + 2 < h) {
                // Inner 5 x 5 windows: keys (luminance << 5 | place) of
                // eight windows at once through the median-of-25 network.
                const __m128i z = _mm_setzero_si128();
                alignas(16) int16_t mid[8];
                ptrdiff_t place[25];
                for (int k = 0; k < 25; ++k) place[k] = (k / 5 - 2) * ptrdiff_t(a.srcStride) + 3 * (k % 5 - 2);
                const uint8_t* centre = a.SrcRow(r);
                for (int x = 0; x < 2 && x < w; ++x)
                    if (al[x]) general(r, x, r0, r1, d);
                int x = 2;
#ifdef PIMLORA_AVX2_PATHS
                if (avx2) x = MedianRowAvx2<5>(lum + size_t(r - 2) * size_t(w), w, x, al, d, centre, place);
#endif
                for (; x + 10 <= w; x += 8) {   // pixels x .. x+7, loads up to x+9
                    __m128i v[25];
                    for (int k = 0; k < 25; ++k) {
                        const uint8_t* l = lum + size_t(r - 2 + k / 5) * size_t(w) + size_t(x - 2 + k % 5);
                        const __m128i b = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(l)), z);
                        v[k] = _mm_or_si128(_mm_slli_epi16(b, 5), _mm_set1_epi16(int16_t(k)));
                    }
                    Median25(v, std::make_index_sequence<size_t(kMedianNet25.count)>());
                    _mm_store_si128(reinterpret_cast<__m128i*>(mid), v[kMedianNet25.out]);
                    for (int j = 0; j < 8; ++j) {
                        if (!al[x + j]) continue;
                        const uint8_t* p = centre + 3 * size_t(x + j) + place[mid[j] & 31];
                        uint8_t* q = d + 3 * size_t(x + j);
                        q[0] = p[0], q[1] = p[1], q[2] = p[2];
                    }
                }
                xs = x;
            }
#endif
            // Running luminance histogram of the clipped window (fine and
            // coarse bins), slid along the row one column at a time.
            std::fill(hist.begin(), hist.end(), 0u);
            std::fill(coarse.begin(), coarse.end(), 0u);
            for (int xx = std::max(0, xs + lo); xx <= std::min(w - 1, xs + hi); ++xx) column(r0, r1, xx, 1);
            for (int x = xs; x < w; ++x) {
                if (x > xs) {
                    if (x + hi < w) column(r0, r1, x + hi, 1);
                    if (x + lo - 1 >= 0) column(r0, r1, x + lo - 1, -1);
                }
                if (!al[x]) continue;
                const int x0 = std::max(0, x + lo), x1 = std::min(w - 1, x + hi);
                const uint32_t n = uint32_t((r1 - r0 + 1) * (x1 - x0 + 1));
                const uint32_t t = n / 2;   // rank of the middle element
                uint32_t below = 0;
                int c = 0;
                while (below + coarse[size_t(c)] <= t) below += coarse[size_t(c++)];
                int level = c * 16;
                while (below + hist[size_t(level)] <= t) below += hist[size_t(level++)];
                // The (t - below)-th pixel of this luminance in window order.
                uint32_t skip = t - below;
                for (int rr = r0; rr <= r1; ++rr) {
                    const uint8_t* l = lum + size_t(rr) * size_t(w);
                    for (int xx = x0; xx <= x1; ++xx) {
                        if (l[xx] != level) continue;
                        if (skip-- == 0) {
                            std::memcpy(d + 3 * x, a.SrcRow(rr) + 3 * size_t(xx), 3);
                            rr = r1 + 1;
                            break;
                        }
                    }
                }
            }
        }
    };
    TwoBands(a, band);
    a.Commit();
    a.Progress(0);
    return true;
}

bool EdgeDarken(LayerOpContext& ctx, int threshold, int amount) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h;
    std::vector<uint8_t> written(size_t(w) * size_t(h), 0);
    const int cut = int(amount * 0.1 * threshold);
    for (int r = 0; r < h; ++r) {
        const uint8_t* al = a.AlphaRow(r);
        const uint8_t* s = a.SrcRow(r);
        uint8_t* d = a.DstRow(r);
        for (int x = 0; x < w; ++x) {
            if (!al[x]) continue;
            int sum = 0, count = 0;
            auto visit = [&](int xx, int rr) {
                if (xx < 0 || rr < 0 || xx >= w || rr >= h || !a.AlphaRow(rr)[xx]) return;
                const uint8_t* q = a.SrcRow(rr) + 3 * size_t(xx);
                sum += std::abs(q[0] - s[3 * x]) + std::abs(q[1] - s[3 * x + 1]) + std::abs(q[2] - s[3 * x + 2]);
                ++count;
            };
            visit(x - 1, r), visit(x + 1, r), visit(x, r + 1), visit(x, r - 1);
            if (count != 4) continue;
            const int mean = sum / 4;
            if (mean < threshold) continue;
            const int e = mean - cut;
            for (int c = 0; c < 3; ++c) d[3 * x + c] = uint8_t(std::max(0, s[3 * x + c] - e));
            written[size_t(r) * size_t(w) + size_t(x)] = 1;
        }
    }
    a.Commit(written.data());
    return true;
}

namespace {
// trunc(0.11 B + 0.59 G + 0.3 R) in double, as the frosted-glass and
// watercolour rules read it.
std::vector<uint8_t> LumPlaneReal(const LayerAccess& a) {
    std::vector<uint8_t> lum(size_t(a.w) * size_t(a.h));
    for (int r = 0; r < a.h; ++r) {
        const uint8_t* s = a.SrcRow(r);
        uint8_t* l = lum.data() + size_t(r) * size_t(a.w);
        for (int x = 0; x < a.w; ++x) l[x] = uint8_t(int(0.11 * s[3 * x] + 0.59 * s[3 * x + 1] + 0.3 * s[3 * x + 2]) & 255);
    }
    return lum;
}
}  // namespace

// Frosted glass. Per level the counter is one byte: it wraps after 256
// pixels and the level's colour sums then hold only the pixels added since
// (in window order, rows then columns). Full counts slide along each row;
// the wrapped byte counter is count mod 256, and only a level that wrapped
// needs its sums recomputed from the window.
bool Frost(LayerOpContext& ctx, int radius) {
    if (radius < 0) return false;
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h, d = radius;
    const std::vector<uint8_t> lum = LumPlaneReal(a);
    FilterRandom rnd(ctx.seed);
    std::vector<uint32_t> cnt(256), sb(256), sg(256), sr(256);
    uint8_t prevColour[3] = {0, 0, 0};
    for (int r = 0; r < h; ++r) {
        a.Progress(int(int64_t(r) * 100 / h));
        const int r0 = std::max(0, r - d), r1 = std::min(h - 1, r + d);
        std::fill(cnt.begin(), cnt.end(), 0u);
        std::fill(sb.begin(), sb.end(), 0u);
        std::fill(sg.begin(), sg.end(), 0u);
        std::fill(sr.begin(), sr.end(), 0u);
        uint32_t total = 0;
        auto column = [&](int xx, int sign) {
            for (int rr = r0; rr <= r1; ++rr) {
                const uint8_t L = lum[size_t(rr) * size_t(w) + size_t(xx)];
                const uint8_t* p = a.SrcRow(rr) + 3 * size_t(xx);
                cnt[L] += uint32_t(sign), sb[L] += uint32_t(sign * p[0]), sg[L] += uint32_t(sign * p[1]),
                    sr[L] += uint32_t(sign * p[2]);
                total += uint32_t(sign);
            }
        };
        for (int xx = 0; xx <= std::min(w - 1, d); ++xx) column(xx, 1);
        const uint8_t* al = a.AlphaRow(r);
        uint8_t* dst = a.DstRow(r);
        for (int x = 0; x < w; ++x) {
            if (x > 0) {
                if (x + d < w) column(x + d, 1);
                if (x - d - 1 >= 0) column(x - d - 1, -1);
            }
            if (!al[x]) continue;
            const int64_t n = total;
            int chosen = -1;
            for (int draw = 0; draw < 10001; ++draw) {
                const int64_t rv = rnd.Next();
                int64_t m = (rv + 1) * n / 32768;
                m = std::clamp<int64_t>(m, 0, 10000);
                int64_t run = 0;
                int level = -1;
                for (int L = 0; L < 256; ++L) {
                    run += cnt[size_t(L)] & 255;
                    if (run >= m) {
                        level = L;
                        break;
                    }
                }
                if (level >= 0 && (cnt[size_t(level)] & 255) != 0) {
                    chosen = level;
                    break;
                }
            }
            if (chosen >= 0) {
                const uint32_t c8 = cnt[size_t(chosen)] & 255;
                uint32_t b = sb[size_t(chosen)], g = sg[size_t(chosen)], rr = sr[size_t(chosen)];
                if (cnt[size_t(chosen)] >= 256) {
                    // Only the last c8 pixels of this level in window order count.
                    b = g = rr = 0;
                    uint32_t need = c8;
                    const int x0 = std::max(0, x - d), x1 = std::min(w - 1, x + d);
                    for (int yy = r1; yy >= r0 && need; --yy)
                        for (int xx = x1; xx >= x0 && need; --xx)
                            if (lum[size_t(yy) * size_t(w) + size_t(xx)] == chosen) {
                                const uint8_t* p = a.SrcRow(yy) + 3 * size_t(xx);
                                b += p[0], g += p[1], rr += p[2];
                                --need;
                            }
                }
                prevColour[0] = uint8_t(b / c8), prevColour[1] = uint8_t(g / c8), prevColour[2] = uint8_t(rr / c8);
            }
            std::memcpy(dst + 3 * x, prevColour, 3);
        }
    }
    a.Commit();
    a.Progress(0);
    return true;
}

// Watercolour: the most common of 31 luminance bins over the 7 x 7 window
// (lowest bin on ties), painted with that bin's mean colour. A bin holds at
// most 49 pixels, so its one-byte counter never wraps here.
bool Watercolour(LayerOpContext& ctx) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h;
    const std::vector<uint8_t> lum = LumPlaneReal(a);
    std::vector<uint8_t> bin(lum.size());
    for (size_t i = 0; i < lum.size(); ++i) bin[i] = uint8_t(int(lum[i] * 0.11764705882352941));
    uint32_t cnt[32], sb[32], sg[32], sr[32];
    for (int r = 0; r < h; ++r) {
        a.Progress(int(int64_t(r) * 100 / h));
        const int r0 = std::max(0, r - 3), r1 = std::min(h - 1, r + 3);
        std::fill(cnt, cnt + 32, 0u), std::fill(sb, sb + 32, 0u), std::fill(sg, sg + 32, 0u), std::fill(sr, sr + 32, 0u);
        auto column = [&](int xx, int sign) {
            for (int rr = r0; rr <= r1; ++rr) {
                const uint8_t B = bin[size_t(rr) * size_t(w) + size_t(xx)];
                const uint8_t* p = a.SrcRow(rr) + 3 * size_t(xx);
                cnt[B] += uint32_t(sign), sb[B] += uint32_t(sign * p[0]), sg[B] += uint32_t(sign * p[1]),
                    sr[B] += uint32_t(sign * p[2]);
            }
        };
        for (int xx = 0; xx <= std::min(w - 1, 3); ++xx) column(xx, 1);
        const uint8_t* al = a.AlphaRow(r);
        uint8_t* d = a.DstRow(r);
        for (int x = 0; x < w; ++x) {
            if (x > 0) {
                if (x + 3 < w) column(x + 3, 1);
                if (x - 4 >= 0) column(x - 4, -1);
            }
            if (!al[x]) continue;
            int best = 0;
            for (int b = 1; b < 31; ++b)
                if (cnt[b] > cnt[best]) best = b;
            const uint32_t n = cnt[best];
            d[3 * x] = uint8_t(sb[best] / n), d[3 * x + 1] = uint8_t(sg[best] / n), d[3 * x + 2] = uint8_t(sr[best] / n);
        }
    }
    a.Commit();
    a.Progress(0);
    return true;
}

void AllowAvx512Paths(bool allow) { pixelrows::AllowAvx512(allow); }

void AllowAvx2Paths(bool allow) {
    pixelrows::AllowAvx2(allow);
#ifdef PIMLORA_AVX2_PATHS
    avx2Allowed.store(allow, std::memory_order_relaxed);
#else
    (void)allow;
#endif
}

}  // namespace layerops
