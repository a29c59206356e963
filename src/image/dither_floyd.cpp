// The Floyd-Steinberg threshold: row by row, left to right, each pixel's
// error spread to its right neighbour (7/16) and to three pixels of the next
// row (3/16, 5/16, 1/16), each sum clamped to 0..255 as it is added.
//
// The rule is a chain along each row: a pixel's grey depends on the pixel
// before it. Where the processor has AVX2, sixteen rows run at once (32 in
// 512-bit registers where it has AVX-512 BW), one per 16-bit lane, each
// three columns behind the row above it: pixel (r, x) needs row r - 1 done
// up to x + 2 (the last pixel that adds to (r, x + 1)), so in step t lane k
// works on column t - 3 k and every sum still receives its shares in the
// order of the one-row-at-a-time rule: the same bytes. The rows are laid
// out for this skew once per batch (transposes of 16 x 16 blocks), and the
// results put back the same way.
#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "layer_access.h"
#include "pixel_rows.h"

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12 reports the undefined start register of many AVX-512 intrinsics
// (_mm512_undefined_*) as possibly uninitialised, inside its own header.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#define PIMLORA_FLOYD_AVX2 1
#define PIMLORA_AVX2 __attribute__((target("avx2")))
#define PIMLORA_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vl")))
#endif

namespace layerops {

namespace {

// The shares of the error of each grey value, and whether it turns white.
struct Shares {
    int16_t right[256], below[3][256];   // below: x - 1 (3/16), x (5/16), x + 1 (1/16)
    bool white[256];
    explicit Shares(int level) {
        for (int g = 0; g < 256; ++g) {
            white[g] = g > level;
            const int e = white[g] ? g - 255 : g;
            right[g] = int16_t(e * 7 / 16);
            below[0][g] = int16_t(e * 3 / 16);
            below[1][g] = int16_t(e * 5 / 16);
            below[2][g] = int16_t(e * 1 / 16);
        }
    }
};

inline int Add(int v, int q) {
    const int s = v + q;
    return s < 0 ? 0 : s > 255 ? 255 : s;
}

// One row the plain way: cur holds the row's greys (as the row above left
// them), next the next row's (null on the last row).
void PlainRow(const Shares& f, const uint8_t* cur, uint8_t* next, const uint8_t* al, uint8_t* d, uint8_t* oa, int w) {
    // The grey of pixel x with the right share of x - 1 added, and the next
    // row's cells x - 1 and x as they stand (stored once their last share
    // came: each cell gets its shares from x - 1, x and x + 1 in that order).
    int g = cur[0], left = 0, mid = next ? next[0] : 0;
    for (int x = 0; x < w; ++x) {
        const bool last = x + 1 == w;
        int after = next && !last ? next[x + 1] : 0;
        int g1 = last ? 0 : cur[x + 1];
        if (al[x]) {
            uint8_t* q = d + 3 * size_t(x);
            q[0] = q[1] = q[2] = f.white[g] ? 255 : 0;
            if (oa) oa[x] = al[x];
            g1 = Add(g1, f.right[g]);
            if (next) {
                left = Add(left, f.below[0][g]);
                mid = Add(mid, f.below[1][g]);
                after = Add(after, f.below[2][g]);
            }
        }
        if (next) {
            if (x > 0) next[x - 1] = uint8_t(left);
            left = mid;
            mid = after;
        }
        g = g1;
    }
    if (next) next[w - 1] = uint8_t(left);
}

void PlainRows(LayerAccess& a, int level, bool inPlace) {
    const Shares f(level);
    std::vector<uint8_t> cur(static_cast<size_t>(a.w)), next(cur);
    pixelrows::GreyValues(a.SrcRow(0), cur.data(), a.w);
    for (int r = 0; r < a.h; ++r) {
        const bool more = r + 1 < a.h;
        if (more) pixelrows::GreyValues(a.SrcRow(r + 1), next.data(), a.w);
        PlainRow(f, cur.data(), more ? next.data() : nullptr, a.AlphaRow(r), a.DstRow(r),
                 inPlace ? a.OutAlphaRow(r) : nullptr, a.w);
        std::swap(cur, next);
        a.Progress(int(int64_t(r) * 100 / a.h));
    }
}

#ifdef PIMLORA_FLOYD_AVX2

constexpr int kSkew = 3;

// Transposes two 16 x 16 blocks of bytes at once, one in each half of the
// registers (four rounds of the perfect shuffle).
PIMLORA_AVX2 inline void Transpose16x2(__m256i v[16]) {
    for (int round = 0; round < 4; ++round) {
        __m256i t[16];
        for (int i = 0; i < 8; ++i) {
            t[2 * i] = _mm256_unpacklo_epi8(v[i], v[i + 8]);
            t[2 * i + 1] = _mm256_unpackhi_epi8(v[i], v[i + 8]);
        }
        for (int i = 0; i < 16; ++i) v[i] = t[i];
    }
}

PIMLORA_AVX2 inline __m256i Clamp8(__m256i v) {
    return _mm256_min_epi16(_mm256_max_epi16(v, _mm256_setzero_si256()), _mm256_set1_epi16(255));
}

// t / 16, truncated toward zero.
PIMLORA_AVX2 inline __m256i Sixteenth(__m256i t) {
    return _mm256_srai_epi16(_mm256_add_epi16(t, _mm256_and_si256(_mm256_srai_epi16(t, 15), _mm256_set1_epi16(15))), 4);
}

// Lane k to lane k + 1 (lane 0 gets 0, lane 15 drops out).
PIMLORA_AVX2 inline __m256i LaneUp(__m256i v) {
    return _mm256_alignr_epi8(v, _mm256_permute2x128_si256(v, v, 0x08), 14);
}

// The 16 lanes of step t, widened to 16 bits.
PIMLORA_AVX2 inline __m256i Cell16(const uint8_t* cells, int t) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cells + size_t(t) * 16)));
}

// The same in 512-bit registers, 32 lanes.
PIMLORA_AVX512 inline __m512i Cell32(const uint8_t* cells, int t) {
    return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(cells + size_t(t) * 32)));
}
PIMLORA_AVX512 inline __m512i Clamp8(__m512i v) {
    return _mm512_min_epi16(_mm512_max_epi16(v, _mm512_setzero_si512()), _mm512_set1_epi16(255));
}
PIMLORA_AVX512 inline __m512i Sixteenth(__m512i t) {
    return _mm512_srai_epi16(_mm512_add_epi16(t, _mm512_and_si512(_mm512_srai_epi16(t, 15), _mm512_set1_epi16(15))), 4);
}
// Lane k to lane k + 1 (lane 0 gets 0, lane 31 drops out); `below` holds
// k - 1 in lane k.
PIMLORA_AVX512 inline __m512i LaneUp(__m512i v, __m512i below) {
    return _mm512_maskz_permutexvar_epi16(__mmask32(0xFFFFFFFEu), below, v);
}

// L rows at once: 16 in 256-bit registers, 32 in 512-bit ones.
template <int L>
struct Batches {
    static constexpr int kLanes = L;
    static constexpr int kPad = L == 16 ? 48 : 96;   // kPad >= kSkew * (kLanes - 1), a multiple of 16
    static constexpr int kLag = kSkew * (kLanes - 1);   // the last lane's column is the step less this
    LayerAccess& a;
    int level;
    bool inPlace, stream;
    int w = 0, stride = 0, steps = 0, cellsCount = 0;
    std::vector<uint8_t> greys, alphas, flags;   // kLanes padded rows each
    std::vector<uint8_t> cells;                   // the skewed greys, kLanes lanes per step
    std::vector<uint8_t> valid, white;            // kLanes bytes per step
    std::vector<uint8_t> bounds;                  // valid for a batch of opaque rows
    bool boundsReady = false;
    std::vector<int16_t> lastErr;                 // the last lane's error at each step (its shares to the row after the batch)
    std::vector<uint8_t> carry;                   // that row's greys

    // On two threads the batches alternate between two of these: a batch's
    // first lane takes the shares of the batch above (`above`, the other
    // thread's) as far as that batch has published its steps in `done`.
    const Batches* above = nullptr;
    std::atomic<int>* done = nullptr;      // steps done of each batch, INT_MAX when finished
    static constexpr int kChunk = 64;      // steps between two looks at the batch above

    Batches(LayerAccess& access, int lvl, bool inPl, bool str) : a(access), level(lvl), inPlace(inPl), stream(str) {
        w = a.w;
        steps = w + kSkew * (kLanes - 1);
        cellsCount = (steps + 5 + 31) / 32 * 32;
        stride = kPad + cellsCount + 32;
        greys.assign(size_t(kLanes) * size_t(stride), 0);
        alphas.assign(size_t(kLanes) * size_t(stride), 0);
        flags.assign(size_t(kLanes) * size_t(stride), 0);
        cells.assign(size_t(cellsCount) * kLanes, 0);
        valid.assign(size_t(cellsCount) * kLanes, 0);
        bounds.assign(size_t(cellsCount) * kLanes, 0);
        white.assign(size_t(cellsCount) * kLanes, 0);
        lastErr.assign(size_t(cellsCount) + 2, 0);
        carry.assign(size_t(w), 0);
    }

    // Lane k's row at column c: row k of a padded buffer.
    uint8_t* Padded(std::vector<uint8_t>& b, int k) { return b.data() + size_t(k) * size_t(stride) + kPad; }

    // The skewed layout: step t, lane k holds column t - 3 k of row k.
    // Steps t0 .. t0 + 31 of 16 rows (lanes h .. h + 15) are 32 bytes of
    // each row.
    PIMLORA_AVX2 void Skew(std::vector<uint8_t>& rows, uint8_t* out) {
        for (int t0 = 0; t0 < cellsCount; t0 += 32)
            for (int h = 0; h < kLanes; h += 16) {
                __m256i v[16];
                for (int k = 0; k < 16; ++k)
                    v[k] = _mm256_loadu_si256(
                        reinterpret_cast<const __m256i*>(Padded(rows, h + k) + t0 - kSkew * (h + k)));
                Transpose16x2(v);
                for (int j = 0; j < 16; ++j) {
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + size_t(t0 + j) * kLanes + h),
                                     _mm256_castsi256_si128(v[j]));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + size_t(t0 + 16 + j) * kLanes + h),
                                     _mm256_extracti128_si256(v[j], 1));
                }
            }
    }

    PIMLORA_AVX2 void Unskew(const uint8_t* in, std::vector<uint8_t>& rows) {
        for (int t0 = 0; t0 < cellsCount; t0 += 32)
            for (int h = 0; h < kLanes; h += 16) {
                __m256i v[16];
                for (int j = 0; j < 16; ++j)
                    v[j] = _mm256_inserti128_si256(
                        _mm256_castsi128_si256(
                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + size_t(t0 + j) * kLanes + h))),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + size_t(t0 + 16 + j) * kLanes + h)), 1);
                Transpose16x2(v);
                for (int k = 0; k < 16; ++k)
                    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Padded(rows, h + k) + t0 - kSkew * (h + k)), v[k]);
            }
    }

    // True when the n rows from r0 have no transparent pixel.
    PIMLORA_AVX2 bool Opaque(int r0, int n) const {
        const __m256i z = _mm256_setzero_si256();
        for (int k = 0; k < n; ++k) {
            const uint8_t* al = a.AlphaRow(r0 + k);
            int x = 0;
            __m256i any = z;
            for (; x + 32 <= w; x += 32)
                any = _mm256_or_si256(any, _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(al + x)), z));
            if (!_mm256_testz_si256(any, any)) return false;
            for (; x < w; ++x)
                if (!al[x]) return false;
        }
        return true;
    }

    PIMLORA_AVX2 void Batch(int r0) {
        const int h = a.h;
        const int n = std::min(kLanes, h - r0);
        const int batch = r0 / kLanes;
        // Lane 0 is the row the previous batch left (its greys with the
        // shares of the row above); the others start from their greys. On
        // two threads lane 0 starts from its own greys and takes the shares
        // as the batch above publishes them.
        if (done && batch > 0) pixelrows::GreyValues(a.SrcRow(r0), carry.data(), w);
        std::memcpy(Padded(greys, 0), carry.data(), size_t(w));
        for (int k = 1; k < kLanes; ++k) {
            if (k < n) pixelrows::GreyValues(a.SrcRow(r0 + k), Padded(greys, k), w);
            else std::memset(Padded(greys, k), 0, size_t(w));
        }
        Skew(greys, cells.data());
        // Which lanes work at each step: a whole batch without transparent
        // pixels needs only the skew of the row bounds, made once.
        const uint8_t* lanes = nullptr;   // the skewed alpha: which lanes work at each step
        if (n == kLanes && Opaque(r0, n)) {
            if (!boundsReady) {
                for (int k = 0; k < kLanes; ++k) std::memset(Padded(alphas, k), 255, size_t(w));
                Skew(alphas, bounds.data());
                boundsReady = true;
            }
            lanes = bounds.data();
        } else {
            for (int k = 0; k < kLanes; ++k) {
                if (k < n) std::memcpy(Padded(alphas, k), a.AlphaRow(r0 + k), size_t(w));
                else std::memset(Padded(alphas, k), 0, size_t(w));
            }
            Skew(alphas, valid.data());
            lanes = valid.data();
        }

        Steps(lanes, batch);
        if (done) done[batch].store(INT_MAX, std::memory_order_release);
        for (int t = steps; t < cellsCount; ++t) std::memset(&white[size_t(t) * kLanes], 0, kLanes);
        Unskew(white.data(), flags);
        for (int k = 0; k < n; ++k)
            pixelrows::PaintFlags(Padded(flags, k), a.DstRow(r0 + k), a.AlphaRow(r0 + k),
                                  inPlace ? a.OutAlphaRow(r0 + k) : nullptr, w, stream);
        // The row after the batch: its greys with the last lane's shares.
        if (!done && r0 + kLanes < h) {
            pixelrows::GreyValues(a.SrcRow(r0 + kLanes), carry.data(), w);
            AddShares(*this, carry.data(), 0, w);
        }
    }

    // The steps of a batch: each lane's pixels thresholded and their errors
    // spread, `white` and `lastErr` filled; `lanes` tells which lanes work
    // at each step.
    void Steps(const uint8_t* lanes, int batch);

    // Columns j0 .. j1 - 1 of the row after batch `from` (its greys in cr)
    // take that batch's last-lane shares, column j getting those of columns
    // j - 1, j and j + 1 in turn (a share from outside the row is 0: its lane
    // had nothing to spread). Column j needs the steps up to j + lag + 1.
    PIMLORA_AVX2 static void AddShares(const Batches& from, uint8_t* cr, int j0, int j1) {
        constexpr int lag = kLag;
        const int16_t* err = from.lastErr.data();
        int j = j0;
        for (; j + 16 <= j1; j += 16) {
            __m256i v = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + j)));
            const __m256i e1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(err + j + lag - 1));
            const __m256i e5 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(err + j + lag));
            const __m256i e3 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(err + j + lag + 1));
            v = Clamp8(_mm256_add_epi16(v, Sixteenth(e1)));
            v = Clamp8(_mm256_add_epi16(v, Sixteenth(_mm256_add_epi16(_mm256_slli_epi16(e5, 2), e5))));
            v = Clamp8(_mm256_add_epi16(v, Sixteenth(_mm256_add_epi16(_mm256_slli_epi16(e3, 1), e3))));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(cr + j),
                             _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1)));
        }
        for (; j < j1; ++j) {
            int v = cr[j];
            v = Add(v, err[j + lag - 1] / 16);
            v = Add(v, err[j + lag] * 5 / 16);
            v = Add(v, err[j + lag + 1] * 3 / 16);
            cr[j] = uint8_t(v);
        }
    }

    // On two threads: the first lane's cells of the steps before `upto` made
    // final (column = step for lane 0), once the batch above has gone far
    // enough; `filled` counts the columns done.
    void FillFirstLane(int batch, int upto, int& filled) {
        upto = std::min(upto, w);
        if (!done || batch == 0 || upto <= filled) return;
        const int need = upto + kLag + 1;   // steps of the batch above
        for (int spins = 0; done[batch - 1].load(std::memory_order_acquire) < need; ++spins)
            if (spins > 64) std::this_thread::yield();
        AddShares(*above, carry.data(), filled, upto);
        for (int j = filled; j < upto; ++j) cells[size_t(j) * kLanes] = carry[size_t(j)];
        filled = upto;
    }

    void Run() {
        pixelrows::GreyValues(a.SrcRow(0), carry.data(), w);
        for (int r0 = 0; r0 < a.h; r0 += kLanes) {
            Batch(r0);
            a.Progress(int(int64_t(r0) * 100 / a.h));
        }
    }
};

template <>
PIMLORA_AVX2 void Batches<16>::Steps(const uint8_t* lanes, int batch) {
    const __m256i limit = _mm256_set1_epi16(int16_t(std::clamp(level, -1, 255)));
    const __m256i k255 = _mm256_set1_epi16(255), zero = _mm256_setzero_si256();
    // Cells t + 1 .. t + 4 as they stand, kept in registers: cell t + 2
    // still gets a 3/16 share, t + 3 a 5/16 one, t + 4 a 1/16 one.
    int filled = 0;
    FillFirstLane(batch, kChunk + 5, filled);
    __m256i c1 = Cell16(cells.data(), 1), c2 = Cell16(cells.data(), 2), c3 = Cell16(cells.data(), 3);
    __m256i right = zero;   // each lane's 7/16 share for its next pixel
    __m256i g = Cell16(cells.data(), 0);
    // The buffers through local pointers: the compiler then need not
    // load them again after each store.
    const uint8_t* cellAt = cells.data() + 4 * 16;   // cell t + 4
    uint8_t* whiteAt = white.data();
    int16_t* errAt = lastErr.data();
    for (int t = 0; t < steps; ++t) {
        if (done && t % kChunk == 0 && t > 0) {
            // Cells up to t + 4 are read before the next look.
            FillFirstLane(batch, t + kChunk + 5, filled);
            done[batch].store(t, std::memory_order_release);
        }
        g = Clamp8(_mm256_add_epi16(g, right));
        const __m256i wh = _mm256_cmpgt_epi16(g, limit);
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes + size_t(t) * 16));
        const __m256i used = _mm256_xor_si256(_mm256_cmpeq_epi16(_mm256_cvtepu8_epi16(vb), zero),
                                              _mm256_set1_epi16(-1));
        const __m256i e = _mm256_and_si256(_mm256_sub_epi16(g, _mm256_and_si256(wh, k255)), used);
        right = Sixteenth(_mm256_sub_epi16(_mm256_slli_epi16(e, 3), e));
        const __m256i q5 = Sixteenth(_mm256_add_epi16(_mm256_slli_epi16(e, 2), e));
        const __m256i q3 = Sixteenth(_mm256_add_epi16(_mm256_slli_epi16(e, 1), e));
        const __m256i q1 = Sixteenth(e);
        c2 = Clamp8(_mm256_add_epi16(c2, LaneUp(q3)));
        c3 = Clamp8(_mm256_add_epi16(c3, LaneUp(q5)));
        const __m256i c4 = Clamp8(_mm256_add_epi16(Cell16(cellAt, t), LaneUp(q1)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(whiteAt + size_t(t) * 16),
                         _mm_packs_epi16(_mm256_castsi256_si128(wh), _mm256_extracti128_si256(wh, 1)));
        errAt[t] = int16_t(_mm256_extract_epi16(e, 15));
        g = c1;
        c1 = c2, c2 = c3, c3 = c4;
    }
}

// The same steps with 32 lanes: the lane masks and the threshold as
// mask registers.
template <>
PIMLORA_AVX512 void Batches<32>::Steps(const uint8_t* lanes, int batch) {
    alignas(64) int16_t below[32];
    for (int k = 0; k < 32; ++k) below[k] = int16_t(k > 0 ? k - 1 : 0);
    const __m512i toUpper = _mm512_load_si512(below);
    const __m512i limit = _mm512_set1_epi16(int16_t(std::clamp(level, -1, 255)));
    const __m512i k255 = _mm512_set1_epi16(255);
    int filled = 0;
    FillFirstLane(batch, kChunk + 5, filled);
    __m512i c1 = Cell32(cells.data(), 1), c2 = Cell32(cells.data(), 2), c3 = Cell32(cells.data(), 3);
    __m512i right = _mm512_setzero_si512();
    __m512i g = Cell32(cells.data(), 0);
    const uint8_t* cellAt = cells.data() + 4 * 32;
    uint8_t* whiteAt = white.data();
    int16_t* errAt = lastErr.data();
    for (int t = 0; t < steps; ++t) {
        if (done && t % kChunk == 0 && t > 0) {
            FillFirstLane(batch, t + kChunk + 5, filled);
            done[batch].store(t, std::memory_order_release);
        }
        g = Clamp8(_mm512_add_epi16(g, right));
        const __mmask32 wh = _mm512_cmpgt_epi16_mask(g, limit);
        const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lanes + size_t(t) * 32));
        const __mmask32 used = _mm256_test_epi8_mask(vb, vb);
        const __m512i e = _mm512_maskz_mov_epi16(used, _mm512_mask_sub_epi16(g, wh, g, k255));
        right = Sixteenth(_mm512_sub_epi16(_mm512_slli_epi16(e, 3), e));
        const __m512i q5 = Sixteenth(_mm512_add_epi16(_mm512_slli_epi16(e, 2), e));
        const __m512i q3 = Sixteenth(_mm512_add_epi16(_mm512_slli_epi16(e, 1), e));
        const __m512i q1 = Sixteenth(e);
        c2 = Clamp8(_mm512_add_epi16(c2, LaneUp(q3, toUpper)));
        c3 = Clamp8(_mm512_add_epi16(c3, LaneUp(q5, toUpper)));
        const __m512i c4 = Clamp8(_mm512_add_epi16(Cell32(cellAt, t), LaneUp(q1, toUpper)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(whiteAt + size_t(t) * 32), _mm256_movm_epi8(wh));
        errAt[t] = int16_t(_mm_extract_epi16(_mm512_extracti32x4_epi32(e, 3), 7));
        g = c1;
        c1 = c2, c2 = c3, c3 = c4;
    }
}


// Two threads, the even batches here and the odd ones on a helper, each a
// few hundred steps behind the batch above it on the other thread: the same
// cells get the same shares in the same order, so the bytes are those of one
// thread. False when no helper could be started (nothing done then).
template <int L>
bool RunOnTwoThreads(LayerAccess& a, int level, bool inPlace, bool stream) {
    constexpr int kLanes = L;
    const int batches = (a.h + kLanes - 1) / kLanes;
    std::unique_ptr<std::atomic<int>[]> done(new std::atomic<int>[size_t(batches)]);
    for (int b = 0; b < batches; ++b) done[size_t(b)].store(0, std::memory_order_relaxed);
    Batches<L> even(a, level, inPlace, stream), odd(a, level, inPlace, stream);
    even.done = odd.done = done.get();
    even.above = &odd, odd.above = &even;
    std::thread helper;
    try {
        helper = std::thread([&] {
            for (int b = 1; b < batches; b += 2) odd.Batch(b * kLanes);
        });
    } catch (const std::system_error&) {
        return false;
    }
    pixelrows::GreyValues(a.SrcRow(0), even.carry.data(), a.w);
    for (int b = 0; b < batches; b += 2) {
        even.Batch(b * kLanes);
        a.Progress(int(int64_t(b) * 100 / batches));
    }
    helper.join();
    return true;
}

// All batches of L rows, on two threads where the picture is worth it.
template <int L>
void RunBatches(LayerAccess& a, int level, bool inPlace, bool stream) {
    const bool two = a.h > L && WorthSplitting(int64_t(a.w) * a.h);
    if (!two || !RunOnTwoThreads<L>(a, level, inPlace, stream)) Batches<L>(a, level, inPlace, stream).Run();
}

#endif

}  // namespace

bool ThresholdFloyd(LayerOpContext& ctx, int level) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    // True colour without a selection: alpha in the same pass, the scratch
    // written around the caches.
    const bool inPlace = a.direct && !a.Restricted();
    const bool stream = inPlace && a.dstStride * size_t(a.h) >= pixelrows::kStreamBytes;
#ifdef PIMLORA_FLOYD_AVX2
    if (pixelrows::Avx2() && a.h > 1) {
        if (pixelrows::Avx512()) RunBatches<32>(a, level, inPlace, stream);
        else RunBatches<16>(a, level, inPlace, stream);
    } else
#endif
    {
        (void)stream;
        PlainRows(a, level, inPlace);
    }
    if (!inPlace) {
        a.Commit();
        a.CarryAlpha();
    }
    a.Progress(0);
    return true;
}

}  // namespace layerops
