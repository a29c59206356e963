// Exact quarter turns of a layer. Destination row r, column x of a turn by
// one quarter is source column W - 1 - r, row x; by three quarters source
// column r, row H - 1 - x (rows as stored). The scalar walk follows that
// pixel by pixel; the vector kernels move square blocks, transposed in
// registers, so that every source row and every destination row is touched
// in runs of 16 to 64 bytes instead of one pixel per row: the AVX2 one walks
// bands of 256 destination rows in strips, the AVX-512 one makes 16 whole
// destination rows at a time (see "bands of whole destination rows").
#include "quarter_turn.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "layer_ops.h"
#include "split_rows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PIMLORA_X86 1
#endif

namespace layerops {

namespace {

bool TurnBuffersUsable(const LayerRecord& src, const LayerRecord& dst, int quarters, const LayerRecord* copy) {
    const int W = src.width, H = src.height;
    const int nw = (quarters & 1) ? H : W, nh = (quarters & 1) ? W : H;
    if (!src.pixels || !src.alpha || !dst.pixels || !dst.alpha || dst.width != nw || dst.height != nh) return false;
    if (copy && (!copy->pixels || !copy->alpha || copy->pixelSize != dst.pixelSize || copy->planeSize != dst.planeSize))
        return false;
    return true;
}

// The nearest-neighbour rule above shifts by one pixel at every angle
// (trunc(-0.5) = trunc(0.5)), which would drop a row or column on each
// quarter turn of a layer; the fixed turns move pixels exactly instead.
bool QuarterTurnScalar(const LayerRecord& src, LayerRecord& dst, int bitsPerPixel, int quarters, LayerRecord* copy) {
    quarters = ((quarters % 4) + 4) % 4;
    const int W = src.width, H = src.height;
    const int nw = (quarters & 1) ? H : W, nh = (quarters & 1) ? W : H;
    if (!src.pixels || !src.alpha || !dst.pixels || !dst.alpha || dst.width != nw || dst.height != nh) return false;
    if (copy && (!copy->pixels || !copy->alpha || copy->pixelSize != dst.pixelSize || copy->planeSize != dst.planeSize))
        return false;
    const bool text = src.IsTextKind();
    const int bpp = text ? 1 : bitsPerPixel / 8;
    if (bpp != 1 && bpp != 3) return false;
    const size_t sStride = text ? size_t(W) : size_t(src.stride);
    const size_t dStride = text ? size_t(nw) : size_t(dst.stride);
    // Destination row r starts at source pixel (x0, y0) and each step to the
    // right moves the source by (dx, dy):
    //   1 (clockwise on screen): source (W - 1 - r, x);
    //   3 (counter-clockwise):   source (r, H - 1 - x);
    //   2: source (W - 1 - x, H - 1 - r); 0: the same pixel.
    struct Walk { ptrdiff_t pix, pixStep, alpha, alphaStep; };
    auto walk = [&](int r) {
        int x0, y0, dx, dy;
        switch (quarters) {
        case 1: x0 = W - 1 - r, y0 = 0, dx = 0, dy = 1; break;
        case 3: x0 = r, y0 = H - 1, dx = 0, dy = -1; break;
        case 2: x0 = W - 1, y0 = H - 1 - r, dx = -1, dy = 0; break;
        default: x0 = 0, y0 = r, dx = 1, dy = 0; break;
        }
        return Walk{ptrdiff_t(y0) * ptrdiff_t(sStride) + ptrdiff_t(x0) * bpp,
                    ptrdiff_t(dy) * ptrdiff_t(sStride) + ptrdiff_t(dx) * bpp, ptrdiff_t(y0) * W + x0,
                    ptrdiff_t(dy) * W + dx};
    };
    const uint8_t* sp = src.pixels.get();
    const uint8_t* sa = src.alpha.get();
    // Blocks of 256 x 256 pixels, each copied as tiles of 64 x 64: a tile
    // keeps the rows read and the rows written in cache (a source tile row
    // is a whole number of cache lines), and a block its pages in the
    // translation buffers, each source row's page being used by 256
    // destination rows before the walk moves on. The two threads take the
    // upper and lower bands of blocks.
    constexpr int kBlock = 256, kTile = 64;
    const int bands = (nh + kBlock - 1) / kBlock;
    const ptrdiff_t srcBytes = ptrdiff_t(sStride) * (H - 1) + ptrdiff_t(W) * bpp;
    auto tile = [&](int tr, int tr1, int tx, int tx1) {
        for (int r = tr; r < tr1; ++r) {
            const Walk w = walk(r);
            uint8_t* d = dst.pixels.get() + size_t(r) * dStride;
            uint8_t* da = dst.alpha.get() + size_t(r) * size_t(nw);
            const ptrdiff_t first = w.pix + ptrdiff_t(tx) * w.pixStep;
            const uint8_t* p = sp + first;
            const uint8_t* q = sa + w.alpha + ptrdiff_t(tx) * w.alphaStep;
            int x = tx;
            if (bpp == 3) {
                // Four bytes a pixel: each store's fourth byte is the next
                // pixel's first, written right after (or by the next tile of
                // the row). Not for a row's last pixel (the next row may be
                // another thread's), nor where the fourth byte read would lie
                // past the source.
                const ptrdiff_t last = first + ptrdiff_t(tx1 - 1 - tx) * w.pixStep;
                if (std::max(first, last) + 4 <= srcBytes) {
                    const int end = tx1 == nw ? tx1 - 1 : tx1;
                    for (; x < end; ++x, p += w.pixStep, q += w.alphaStep) {
                        uint32_t v;
                        std::memcpy(&v, p, 4);
                        std::memcpy(d + 3 * x, &v, 4);
                        da[x] = *q;
                    }
                }
                for (; x < tx1; ++x, p += w.pixStep, q += w.alphaStep) {
                    d[3 * x] = p[0], d[3 * x + 1] = p[1], d[3 * x + 2] = p[2];
                    da[x] = *q;
                }
            } else {
                for (; x < tx1; ++x, p += w.pixStep, q += w.alphaStep) {
                    d[x] = *p;
                    da[x] = *q;
                }
            }
            if (copy) {
                // The tile's bytes of the row (and the row's padding after
                // its last tile); the fourth byte past the tile is not yet
                // final, the next tile copies it.
                const size_t from = size_t(tx) * size_t(bpp), to = tx1 == nw ? dStride : size_t(tx1) * size_t(bpp);
                std::memcpy(copy->pixels.get() + size_t(r) * dStride + from, d + from, to - from);
                std::memcpy(copy->alpha.get() + size_t(r) * size_t(nw) + size_t(tx), da + tx, size_t(tx1 - tx));
            }
        }
    };
    SplitRows(bands, WorthSplitting(int64_t(nw) * nh), [&](int b0, int b1) {
        for (int band = b0; band < b1; ++band) {
            const int br = band * kBlock, br1 = std::min(nh, br + kBlock);
            for (int bx = 0; bx < nw; bx += kBlock) {
                const int bx1 = std::min(nw, bx + kBlock);
                for (int tr = br; tr < br1; tr += kTile)
                    for (int tx = bx; tx < bx1; tx += kTile)
                        tile(tr, std::min(br1, tr + kTile), tx, std::min(bx1, tx + kTile));
            }
        }
    });
    return true;
}


// --- the vector kernel --------------------------------------------------------

// One square block: element i of source run i (at s + i * ss) goes to
// destination run k = its column, at d + k * ds, position i, and when cd is
// not 0 to the same place of the copy, cd bytes further.
using BlockFn = void (*)(const uint8_t* s, ptrdiff_t ss, uint8_t* d, ptrdiff_t ds, ptrdiff_t cd);

#ifdef PIMLORA_X86
// 16 x 16 bytes: four rounds of interleaving, each doubling the width of the
// units that are already in transposed order.
inline void Store16(uint8_t* q, ptrdiff_t cd, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q), v);
    if (cd) _mm_storeu_si128(reinterpret_cast<__m128i*>(q + cd), v);
}

void BytesBlock16(const uint8_t* s, ptrdiff_t ss, uint8_t* d, ptrdiff_t ds, ptrdiff_t cd) {
    __m128i a[16], t[16];
    for (int i = 0; i < 16; ++i) a[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * ss));
    for (int p = 0; p < 8; ++p) {
        t[p] = _mm_unpacklo_epi8(a[2 * p], a[2 * p + 1]);       // columns 0..7 of rows 2p, 2p+1
        t[p + 8] = _mm_unpackhi_epi8(a[2 * p], a[2 * p + 1]);   // columns 8..15
    }
    for (int h = 0; h < 2; ++h)
        for (int q = 0; q < 4; ++q) {
            const __m128i x = t[8 * h + 2 * q], y = t[8 * h + 2 * q + 1];
            a[8 * h + q] = _mm_unpacklo_epi16(x, y);       // columns 8h..8h+3, rows 4q..4q+3
            a[8 * h + q + 4] = _mm_unpackhi_epi16(x, y);   // columns 8h+4..8h+7
        }
    for (int g = 0; g < 4; ++g) {
        const __m128i* u = a + 4 * g;   // columns 4g..4g+3; rows 0-3, 4-7, 8-11, 12-15
        t[4 * g] = _mm_unpacklo_epi32(u[0], u[1]);
        t[4 * g + 1] = _mm_unpackhi_epi32(u[0], u[1]);
        t[4 * g + 2] = _mm_unpacklo_epi32(u[2], u[3]);
        t[4 * g + 3] = _mm_unpackhi_epi32(u[2], u[3]);
    }
    for (int g = 0; g < 4; ++g) {
        const __m128i* v = t + 4 * g;
        Store16(d + (4 * g) * ds, cd, _mm_unpacklo_epi64(v[0], v[2]));
        Store16(d + (4 * g + 1) * ds, cd, _mm_unpackhi_epi64(v[0], v[2]));
        Store16(d + (4 * g + 2) * ds, cd, _mm_unpacklo_epi64(v[1], v[3]));
        Store16(d + (4 * g + 3) * ds, cd, _mm_unpackhi_epi64(v[1], v[3]));
    }
}

#define PIMLORA_AVX2 __attribute__((target("avx2")))

// 8 x 8 colour pixels: each run of 24 bytes is read exactly (two 16-byte
// loads 8 bytes apart), widened to eight 4-byte pixels, the 8 x 8 block of
// 32-bit values transposed, and each column narrowed back to 24 bytes and
// written exactly (16 + 8 bytes), so nothing outside the block is touched.
PIMLORA_AVX2 void Pixels3Block8Avx2(const uint8_t* s, ptrdiff_t ss, uint8_t* d, ptrdiff_t ds, ptrdiff_t cd) {
    const __m256i widen = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,   //
                                           4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
    const __m256i narrow = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,   //
                                            -1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14);
    const __m256i pack = _mm256_setr_epi32(0, 1, 2, 5, 6, 7, 0, 0);
    __m256i r[8], t[8];
    for (int i = 0; i < 8; ++i) {
        const uint8_t* p = s + i * ss;
        const __m256i v = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)), 1);
        r[i] = _mm256_shuffle_epi8(v, widen);
    }
    for (int i = 0; i < 8; i += 2) {
        t[i] = _mm256_unpacklo_epi32(r[i], r[i + 1]);
        t[i + 1] = _mm256_unpackhi_epi32(r[i], r[i + 1]);
    }
    for (int h = 0; h < 8; h += 4) {
        r[h] = _mm256_unpacklo_epi64(t[h], t[h + 2]);       // columns 0 | 4 of four rows
        r[h + 1] = _mm256_unpackhi_epi64(t[h], t[h + 2]);   // 1 | 5
        r[h + 2] = _mm256_unpacklo_epi64(t[h + 1], t[h + 3]);   // 2 | 6
        r[h + 3] = _mm256_unpackhi_epi64(t[h + 1], t[h + 3]);   // 3 | 7
    }
    for (int k = 0; k < 4; ++k) {
        t[k] = _mm256_permute2x128_si256(r[k], r[k + 4], 0x20);
        t[k + 4] = _mm256_permute2x128_si256(r[k], r[k + 4], 0x31);
    }
    for (int k = 0; k < 8; ++k) {
        const __m256i v = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(t[k], narrow), pack);
        uint8_t* q = d + k * ds;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm256_castsi256_si128(v));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(q + 16), _mm256_extracti128_si256(v, 1));
        if (!cd) continue;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q + cd), _mm256_castsi256_si128(v));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(q + cd + 16), _mm256_extracti128_si256(v, 1));
    }
}
#endif

// Quarters 1 and 3 by blocks. Destination row r, column x is source
// column C(r), row Y(x): one quarter C = W - 1 - r, Y = x; three quarters
// C = r, Y = H - 1 - x.
struct BlockTurn {
    const uint8_t *sp, *sa;
    uint8_t *dp, *da;
    ptrdiff_t sStride, dStride;
    int W, H, nw, bpp;
    bool clockwise;
    BlockFn pixelBlock;   // bpp 3: 8 x 8; bpp 1: 16 x 16
    int pixelSide;
    ptrdiff_t copyPixels = 0, copyAlpha = 0;   // from the destination to the copy; 0: no copy

    int Col(int r) const { return clockwise ? W - 1 - r : r; }
    int Row(int x) const { return clockwise ? x : H - 1 - x; }

    // Scalar rectangle r0..r1-1 x x0..x1-1 of the destination.
    void PixelRect(int r0, int r1, int x0, int x1) const {
        for (int r = r0; r < r1; ++r) {
            const uint8_t* s = sp + ptrdiff_t(Col(r)) * bpp;
            uint8_t* d = dp + r * dStride;
            for (int x = x0; x < x1; ++x) {
                const uint8_t* p = s + Row(x) * sStride;
                if (bpp == 3)
                    d[3 * x] = p[0], d[3 * x + 1] = p[1], d[3 * x + 2] = p[2];
                else
                    d[x] = p[0];
            }
            if (copyPixels && x1 > x0)
                std::memcpy(d + copyPixels + ptrdiff_t(x0) * bpp, d + ptrdiff_t(x0) * bpp, size_t(x1 - x0) * size_t(bpp));
        }
    }
    void AlphaRect(int r0, int r1, int x0, int x1) const {
        for (int r = r0; r < r1; ++r) {
            const uint8_t* s = sa + Col(r);
            uint8_t* d = da + ptrdiff_t(r) * nw;
            for (int x = x0; x < x1; ++x) d[x] = s[ptrdiff_t(Row(x)) * W];
            if (copyAlpha && x1 > x0) std::memcpy(d + copyAlpha + x0, d + x0, size_t(x1 - x0));
        }
    }
    // Block of side n at destination (r, x): its source runs are the rows
    // Y(x + i) from column min(C(r), C(r + n - 1)); the run's column k is
    // destination row r + k (three quarters) or r + n - 1 - k (one).
    template <class Fn>
    void Blocks(int n, int r0, int r1, int x0, int x1, Fn&& block, void (BlockTurn::*rect)(int, int, int, int) const) const {
        const int rEnd = r0 + (r1 - r0) / n * n, xEnd = x0 + (x1 - x0) / n * n;
        for (int r = r0; r < rEnd; r += n)
            for (int x = x0; x < xEnd; x += n) block(r, x);
        (this->*rect)(rEnd, r1, x0, x1);
        (this->*rect)(r0, rEnd, xEnd, x1);
    }
    // Asks for the source lines of a strip ahead of its turn: its rows are
    // far apart, too many streams for the hardware to follow.
    void Prefetch(int r0, int r1, int x0, int x1) const {
#ifdef PIMLORA_X86
        const int c0 = std::min(Col(r0), Col(r1 - 1)), c1 = std::max(Col(r0), Col(r1 - 1)) + 1;
        for (int x = x0; x < x1; ++x) {
            const uint8_t* row = sp + Row(x) * sStride;
            for (ptrdiff_t b = ptrdiff_t(c0) * bpp; b < ptrdiff_t(c1) * bpp; b += 64)
                _mm_prefetch(reinterpret_cast<const char*>(row + b), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(row + ptrdiff_t(c1) * bpp - 1), _MM_HINT_T0);
            const uint8_t* arow = sa + ptrdiff_t(Row(x)) * W;
            for (int c = c0; c < c1; c += 64) _mm_prefetch(reinterpret_cast<const char*>(arow + c), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(arow + c1 - 1), _MM_HINT_T0);
        }
#else
        (void)r0, (void)r1, (void)x0, (void)x1;
#endif
    }
    void Tile(int r0, int r1, int x0, int x1) const {
        const int n = pixelSide;
        Blocks(n, r0, r1, x0, x1, [&](int r, int x) {
            const int c0 = clockwise ? W - n - r : r;
            const uint8_t* s = sp + Row(x) * sStride + ptrdiff_t(c0) * bpp;
            uint8_t* d = dp + ptrdiff_t(clockwise ? r + n - 1 : r) * dStride + ptrdiff_t(x) * bpp;
            pixelBlock(s, clockwise ? sStride : -sStride, d, clockwise ? -dStride : dStride, copyPixels);
        }, &BlockTurn::PixelRect);
#ifdef PIMLORA_X86
        Blocks(16, r0, r1, x0, x1, [&](int r, int x) {
            const int c0 = clockwise ? W - 16 - r : r;
            const uint8_t* s = sa + ptrdiff_t(Row(x)) * W + c0;
            uint8_t* d = da + ptrdiff_t(clockwise ? r + 15 : r) * nw + x;
            BytesBlock16(s, clockwise ? W : -W, d, clockwise ? -ptrdiff_t(nw) : ptrdiff_t(nw), copyAlpha);
        }, &BlockTurn::AlphaRect);
#else
        AlphaRect(r0, r1, x0, x1);
#endif
    }
    // The padding of rows r0..r1-1 into the copy: the turn leaves it as it was.
    void CopyPadding(int r0, int r1) const {
        const size_t used = size_t(nw) * size_t(bpp);
        if (!copyPixels || size_t(dStride) <= used) return;
        for (int r = r0; r < r1; ++r) {
            uint8_t* d = dp + ptrdiff_t(r) * dStride + used;
            std::memcpy(d + copyPixels, d, size_t(dStride) - used);
        }
    }
};

BlockTurn MakeBlockTurn(const LayerRecord& src, LayerRecord& dst, int bpp, bool clockwise, BlockFn pixelBlock,
                        int pixelSide, LayerRecord* copy) {
    const bool text = src.IsTextKind();
    BlockTurn t;
    t.sp = src.pixels.get(), t.sa = src.alpha.get(), t.dp = dst.pixels.get(), t.da = dst.alpha.get();
    t.W = src.width, t.H = src.height, t.nw = dst.width, t.bpp = bpp;
    t.sStride = text ? src.width : src.stride;
    t.dStride = text ? dst.width : dst.stride;
    t.clockwise = clockwise;
    t.pixelBlock = pixelBlock, t.pixelSide = pixelSide;
    // The copy is written by the same stores, at a fixed distance from the
    // destination.
    auto distance = [](const uint8_t* to, const uint8_t* from) {
        return ptrdiff_t(reinterpret_cast<uintptr_t>(to) - reinterpret_cast<uintptr_t>(from));
    };
    if (copy) t.copyPixels = distance(copy->pixels.get(), t.dp), t.copyAlpha = distance(copy->alpha.get(), t.da);
    return t;
}

bool QuarterTurnBlocks(const LayerRecord& src, LayerRecord& dst, int bpp, bool clockwise, BlockFn pixelBlock,
                       int pixelSide, LayerRecord* copy) {
    const BlockTurn t = MakeBlockTurn(src, dst, bpp, clockwise, pixelBlock, pixelSide, copy);
    const int nw = dst.width, nh = dst.height;
    // Bands of 256 destination rows split over the two threads; a band is
    // made in strips of 16 destination columns, whose source (16 runs of 256
    // pixels: 12 KiB of colour, 4 KiB of alpha) is asked for while the strip
    // before is turned.
    constexpr int kBand = 256, kStrip = 16;
    const int bands = (nh + kBand - 1) / kBand;
    SplitRows(bands, WorthSplitting(int64_t(nw) * nh), [&](int b0, int b1) {
        for (int band = b0; band < b1; ++band) {
            const int br = band * kBand, br1 = std::min(nh, br + kBand);
            for (int tx = 0; tx < nw; tx += kStrip) {
                const int tx1 = std::min(nw, tx + kStrip);
                if (tx1 < nw) t.Prefetch(br, br1, tx1, std::min(nw, tx1 + kStrip));
                t.Tile(br, br1, tx, tx1);
            }
            t.CopyPadding(br, br1);
        }
    });
    return true;
}

#ifdef PIMLORA_X86
// --- bands of whole destination rows (AVX-512) -------------------------------

// The block walk above reads each source run at its own new place (the
// first load of every run waits for memory) and stores each block's rows
// into destination lines that are not in cache. This walk makes 16 whole
// destination rows at a time in a buffer of the thread's own, which stays
// in cache, and then streams them into the destination (and the copy)
// with non-temporal stores: no destination line is read. The source runs
// of a band (16 pixels of every source row) share their lines with the
// next band's, which finds them in cache (TurnBandsAvx512). The source is
// read at a fixed stride, which the hardware fetches ahead by itself
// (prefetches of the rows ahead measured no faster).
#define PIMLORA_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vbmi")))

struct ByteTables {
    alignas(64) uint8_t widen[64];    // 16 pixels of 3 bytes to 16 of 4 (the fourth byte is not used)
    alignas(64) uint8_t narrow[64];   // and back (bytes 48..63 are not stored)
};
constexpr ByteTables MakeByteTables() {
    ByteTables t{};
    for (int j = 0; j < 16; ++j)
        for (int b = 0; b < 4; ++b) t.widen[4 * j + b] = uint8_t(b < 3 ? 3 * j + b : 0);
    for (int i = 0; i < 64; ++i) t.narrow[i] = uint8_t(i < 48 ? 4 * (i / 3) + i % 3 : 0);
    return t;
}
constexpr ByteTables kByteTables = MakeByteTables();

// The interleaving and permutes in their masked forms with every lane
// selected: the plain forms' undefined pass-through operand makes GCC 12
// warn where they are inlined.
PIMLORA_AVX512 inline __m512i Lo8(__m512i a, __m512i b) { return _mm512_mask_unpacklo_epi8(a, ~__mmask64(0), a, b); }
PIMLORA_AVX512 inline __m512i Hi8(__m512i a, __m512i b) { return _mm512_mask_unpackhi_epi8(a, ~__mmask64(0), a, b); }
PIMLORA_AVX512 inline __m512i Lo16(__m512i a, __m512i b) { return _mm512_mask_unpacklo_epi16(a, ~__mmask32(0), a, b); }
PIMLORA_AVX512 inline __m512i Hi16(__m512i a, __m512i b) { return _mm512_mask_unpackhi_epi16(a, ~__mmask32(0), a, b); }
PIMLORA_AVX512 inline __m512i Lo32(__m512i a, __m512i b) { return _mm512_mask_unpacklo_epi32(a, __mmask16(0xFFFF), a, b); }
PIMLORA_AVX512 inline __m512i Hi32(__m512i a, __m512i b) { return _mm512_mask_unpackhi_epi32(a, __mmask16(0xFFFF), a, b); }
PIMLORA_AVX512 inline __m512i Lo64(__m512i a, __m512i b) { return _mm512_mask_unpacklo_epi64(a, __mmask8(0xFF), a, b); }
PIMLORA_AVX512 inline __m512i Hi64(__m512i a, __m512i b) { return _mm512_mask_unpackhi_epi64(a, __mmask8(0xFF), a, b); }
// 128-bit lanes 0, 2 (Even) or 1, 3 (Odd) of a, then those of b.
PIMLORA_AVX512 inline __m512i EvenLanes(__m512i a, __m512i b) {
    return _mm512_mask_shuffle_i32x4(a, __mmask16(0xFFFF), a, b, 0x88);
}
PIMLORA_AVX512 inline __m512i OddLanes(__m512i a, __m512i b) {
    return _mm512_mask_shuffle_i32x4(a, __mmask16(0xFFFF), a, b, 0xDD);
}
PIMLORA_AVX512 inline __m512i PermuteBytes(__m512i index, __m512i v) {
    return _mm512_mask_permutexvar_epi8(v, ~__mmask64(0), index, v);
}

// 16 x 16 colour pixels: each run of 48 bytes read exactly (a masked load),
// widened to sixteen 4-byte pixels, the 16 x 16 block of 32-bit values
// transposed, each column narrowed back and stored as exactly 48 bytes.
PIMLORA_AVX512 inline void Pixels3Block16Avx512(const uint8_t* s, ptrdiff_t ss, uint8_t* d, ptrdiff_t ds) {
    constexpr __mmask64 kRun = (__mmask64(1) << 48) - 1;
    const __m512i widen = _mm512_load_si512(kByteTables.widen);
    const __m512i narrow = _mm512_load_si512(kByteTables.narrow);
    __m512i a[16], b[16];
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i) a[i] = PermuteBytes(widen, _mm512_maskz_loadu_epi8(kRun, s + i * ss));
#pragma GCC unroll 8
    for (int p = 0; p < 8; ++p) {
        b[2 * p] = Lo32(a[2 * p], a[2 * p + 1]);
        b[2 * p + 1] = Hi32(a[2 * p], a[2 * p + 1]);
    }
    // a[4q + j], lane L: column 4L + j of rows 4q..4q+3.
#pragma GCC unroll 4
    for (int q = 0; q < 4; ++q) {
        a[4 * q] = Lo64(b[4 * q], b[4 * q + 2]);
        a[4 * q + 1] = Hi64(b[4 * q], b[4 * q + 2]);
        a[4 * q + 2] = Lo64(b[4 * q + 1], b[4 * q + 3]);
        a[4 * q + 3] = Hi64(b[4 * q + 1], b[4 * q + 3]);
    }
#pragma GCC unroll 4
    for (int j = 0; j < 4; ++j) {
        // Lanes 0, 2 (e0, f0) and 1, 3 (e1, f1) of the four groups of rows.
        const __m512i e0 = EvenLanes(a[j], a[4 + j]), e1 = OddLanes(a[j], a[4 + j]);
        const __m512i f0 = EvenLanes(a[8 + j], a[12 + j]);
        const __m512i f1 = OddLanes(a[8 + j], a[12 + j]);
        b[j] = EvenLanes(e0, f0);        // column j
        b[4 + j] = EvenLanes(e1, f1);    // 4 + j
        b[8 + j] = OddLanes(e0, f0);    // 8 + j
        b[12 + j] = OddLanes(e1, f1);   // 12 + j
    }
#pragma GCC unroll 16
    for (int k = 0; k < 16; ++k) _mm512_mask_storeu_epi8(d + k * ds, kRun, PermuteBytes(narrow, b[k]));
}

// 64 runs of 16 bytes into 16 runs of 64: four 16 x 16 byte blocks side by
// side, one in each 128-bit lane, transposed by the same rounds as
// BytesBlock16 (whose interleaving works lane by lane).
PIMLORA_AVX512 inline void Bytes16x64Avx512(const uint8_t* s, ptrdiff_t ss, uint8_t* d, ptrdiff_t ds) {
    __m512i a[16], t[16];
    auto run = [s, ss](int m) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + m * ss)); };
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i) {
        __m512i v = _mm512_zextsi128_si512(run(i));
        v = _mm512_mask_inserti32x4(v, __mmask16(0xFFFF), v, run(16 + i), 1);
        v = _mm512_mask_inserti32x4(v, __mmask16(0xFFFF), v, run(32 + i), 2);
        a[i] = _mm512_mask_inserti32x4(v, __mmask16(0xFFFF), v, run(48 + i), 3);
    }
#pragma GCC unroll 8
    for (int p = 0; p < 8; ++p) {
        t[p] = Lo8(a[2 * p], a[2 * p + 1]);
        t[p + 8] = Hi8(a[2 * p], a[2 * p + 1]);
    }
#pragma GCC unroll 2
    for (int h = 0; h < 2; ++h)
#pragma GCC unroll 4
        for (int q = 0; q < 4; ++q) {
            const __m512i x = t[8 * h + 2 * q], y = t[8 * h + 2 * q + 1];
            a[8 * h + q] = Lo16(x, y);
            a[8 * h + q + 4] = Hi16(x, y);
        }
#pragma GCC unroll 4
    for (int g = 0; g < 4; ++g) {
        const __m512i* u = a + 4 * g;
        t[4 * g] = Lo32(u[0], u[1]);
        t[4 * g + 1] = Hi32(u[0], u[1]);
        t[4 * g + 2] = Lo32(u[2], u[3]);
        t[4 * g + 3] = Hi32(u[2], u[3]);
    }
#pragma GCC unroll 4
    for (int g = 0; g < 4; ++g) {
        const __m512i* v = t + 4 * g;
        _mm512_storeu_si512(d + (4 * g) * ds, Lo64(v[0], v[2]));
        _mm512_storeu_si512(d + (4 * g + 1) * ds, Hi64(v[0], v[2]));
        _mm512_storeu_si512(d + (4 * g + 2) * ds, Lo64(v[1], v[3]));
        _mm512_storeu_si512(d + (4 * g + 3) * ds, Hi64(v[1], v[3]));
    }
}

// n bytes from the band buffer to d: whole aligned lines with non-temporal
// stores, the parts of lines at either end (shared with the neighbouring
// rows, perhaps another thread's) with ordinary ones.
PIMLORA_AVX512 inline void StreamBytes(uint8_t* d, const uint8_t* s, size_t n) {
    size_t head = size_t(-reinterpret_cast<uintptr_t>(d)) & 63;
    if (head > n) head = n;
    std::memcpy(d, s, head);
    d += head, s += head, n -= head;
    for (; n >= 64; n -= 64, d += 64, s += 64)
        _mm512_stream_si512(reinterpret_cast<__m512i*>(d), _mm512_loadu_si512(s));
    std::memcpy(d, s, n);
}

struct BandTurn {
    static constexpr int kRows = 16;       // destination rows of a band
    static constexpr int kGroup = 64;      // destination columns (source rows) of a 16 x 64 alpha block
    static constexpr int kSegment = 512;   // destination columns of a piece of a band
    const BlockTurn& t;
    uint8_t *bandPix, *bandAlpha;          // kRows rows of rowPix / rowAlpha bytes
    ptrdiff_t rowPix, rowAlpha;

    int Column(int br) const { return t.clockwise ? t.W - kRows - br : br; }
    // Destination rows br..br+15, columns x0..x1-1 into the band buffers.
    PIMLORA_AVX512 void Make(int br, int x0, int x1) const {
        const int bpp = t.bpp, c0 = Column(br);
        const ptrdiff_t ss = t.clockwise ? t.sStride : -t.sStride, as = t.clockwise ? t.W : -t.W;
        // Source run i (destination column x + i) element k goes to band
        // row k (three quarters) or 15 - k (one).
        uint8_t* dPix = bandPix + (t.clockwise ? (kRows - 1) * rowPix : 0) - ptrdiff_t(x0) * bpp;
        uint8_t* dAlpha = bandAlpha + (t.clockwise ? (kRows - 1) * rowAlpha : 0) - x0;
        const ptrdiff_t dps = t.clockwise ? -rowPix : rowPix, das = t.clockwise ? -rowAlpha : rowAlpha;
        auto pixRun = [&](int x) { return t.sp + ptrdiff_t(t.Row(x)) * t.sStride + ptrdiff_t(c0) * bpp; };
        auto alphaRun = [&](int x) { return t.sa + ptrdiff_t(t.Row(x)) * t.W + c0; };
        const int groups = x0 + (x1 - x0) / kGroup * kGroup, blocks = x0 + (x1 - x0) / kRows * kRows;
        int x = x0;
        for (; x < groups; x += kGroup) {
            if (bpp == 3)
                for (int i = 0; i < kGroup; i += kRows) Pixels3Block16Avx512(pixRun(x + i), ss, dPix + 3 * (x + i), dps);
            else
                Bytes16x64Avx512(pixRun(x), ss, dPix + x, dps);
            Bytes16x64Avx512(alphaRun(x), as, dAlpha + x, das);
        }
        for (; x < blocks; x += kRows) {
            if (bpp == 3) Pixels3Block16Avx512(pixRun(x), ss, dPix + 3 * x, dps);
            else BytesBlock16(pixRun(x), ss, dPix + x, dps, 0);
            BytesBlock16(alphaRun(x), as, dAlpha + x, das, 0);
        }
        for (; x < x1; ++x) {
            const uint8_t* p = pixRun(x);
            const uint8_t* q = alphaRun(x);
            for (int k = 0; k < kRows; ++k) {
                uint8_t* d = dPix + k * dps + ptrdiff_t(x) * bpp;
                for (int b = 0; b < bpp; ++b) d[b] = p[k * bpp + b];
                dAlpha[k * das + x] = q[k];
            }
        }
    }
    // The band buffers into the destination rows br.., columns x0..x1-1,
    // and the copy's; after the last piece of a row its padding into the copy.
    PIMLORA_AVX512 void Store(int br, int x0, int x1) const {
        const ptrdiff_t from = ptrdiff_t(x0) * t.bpp, n = ptrdiff_t(x1 - x0) * t.bpp;
        for (int k = 0; k < kRows; ++k) {
            const ptrdiff_t r = br + k;
            uint8_t* d = t.dp + r * t.dStride + from;
            uint8_t* a = t.da + r * t.nw + x0;
            StreamBytes(d, bandPix + k * rowPix, size_t(n));
            StreamBytes(a, bandAlpha + k * rowAlpha, size_t(x1 - x0));
            if (!t.copyPixels) continue;
            StreamBytes(d + t.copyPixels, bandPix + k * rowPix, size_t(n));
            StreamBytes(a + t.copyAlpha, bandAlpha + k * rowAlpha, size_t(x1 - x0));
        }
        if (x1 == t.nw) t.CopyPadding(br, br + kRows);
    }
};

// Bands b0..b1-1 (of 16 rows; the last may have fewer) by pieces of 512
// columns: a piece of every band, then the next piece. The source runs of
// a piece's bands (512 source rows) share their lines with the next
// band's, which finds them in the second-level cache.
PIMLORA_AVX512 void TurnBandsAvx512(const BlockTurn& t, int b0, int b1, int nh) {
    constexpr int kRows = BandTurn::kRows;
    const int segment = std::min(t.nw, BandTurn::kSegment);
    const ptrdiff_t rowPix = (ptrdiff_t(segment) * t.bpp + 63) & ~ptrdiff_t(63), rowAlpha = (segment + 63) & ~63;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size_t(kRows * (rowPix + rowAlpha) + 64)]);
    const int full = std::min(b1, nh / kRows);   // bands b0..full-1 have 16 rows
    if (!buffer) {
        // No room for the band buffers: the block walk.
        t.Tile(b0 * kRows, full * kRows, 0, t.nw);
        t.CopyPadding(b0 * kRows, full * kRows);
    } else {
        uint8_t* base = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(buffer.get()) + 63) & ~uintptr_t(63));
        const BandTurn bt{t, base, base + kRows * rowPix, rowPix, rowAlpha};
        for (int x0 = 0; x0 < t.nw; x0 += segment) {
            const int x1 = std::min(t.nw, x0 + segment);
            for (int band = b0; band < full; ++band) {
                bt.Make(band * kRows, x0, x1);
                bt.Store(band * kRows, x0, x1);
            }
        }
        _mm_sfence();   // the streamed rows are seen by the thread that waits for this one
    }
    if (b1 * kRows > nh && full < b1) {
        // The last rows, fewer than a band: one at a time.
        const int br = full * kRows;
        t.PixelRect(br, nh, 0, t.nw);
        t.AlphaRect(br, nh, 0, t.nw);
        t.CopyPadding(br, nh);
    }
}

bool QuarterTurnBands(const LayerRecord& src, LayerRecord& dst, int bpp, bool clockwise, LayerRecord* copy) {
    const BlockTurn t = bpp == 3 ? MakeBlockTurn(src, dst, 3, clockwise, Pixels3Block8Avx2, 8, copy)
                                 : MakeBlockTurn(src, dst, 1, clockwise, BytesBlock16, 16, copy);
    const int nw = dst.width, nh = dst.height;
    const int bands = (nh + BandTurn::kRows - 1) / BandTurn::kRows;
    SplitRows(bands, WorthSplitting(int64_t(nw) * nh), [&](int b0, int b1) { TurnBandsAvx512(t, b0, b1, nh); });
    return true;
}
#endif

}  // namespace

bool TurnKernelAvailable(TurnKernel kernel) {
#ifdef PIMLORA_X86
    switch (kernel) {
    case TurnKernel::Scalar: return true;
    case TurnKernel::Avx2: return __builtin_cpu_supports("avx2");
    case TurnKernel::Avx512:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
               __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
    }
    return false;
#else
    return kernel == TurnKernel::Scalar;
#endif
}

TurnKernel BestTurnKernel() {
    static const TurnKernel best = TurnKernelAvailable(TurnKernel::Avx512) ? TurnKernel::Avx512
                                   : TurnKernelAvailable(TurnKernel::Avx2) ? TurnKernel::Avx2
                                                                           : TurnKernel::Scalar;
    return best;
}

bool QuarterTurnLayerWith(TurnKernel kernel, const LayerRecord& src, LayerRecord& dst, int bitsPerPixel, int quarters,
                          LayerRecord* copy) {
    quarters = ((quarters % 4) + 4) % 4;
    const bool text = src.IsTextKind();
    const int bpp = text ? 1 : bitsPerPixel / 8;
#ifdef PIMLORA_X86
    if (kernel == TurnKernel::Avx512 && (quarters & 1) && (bpp == 1 || bpp == 3)) {
        if (!TurnBuffersUsable(src, dst, quarters, copy)) return false;
        return QuarterTurnBands(src, dst, bpp, quarters == 1, copy);
    }
    if (kernel == TurnKernel::Avx2 && (quarters & 1) && (bpp == 1 || bpp == 3)) {
        if (!TurnBuffersUsable(src, dst, quarters, copy)) return false;
        return bpp == 3 ? QuarterTurnBlocks(src, dst, 3, quarters == 1, Pixels3Block8Avx2, 8, copy)
                        : QuarterTurnBlocks(src, dst, 1, quarters == 1, BytesBlock16, 16, copy);
    }
#else
    (void)kernel;
#endif
    return QuarterTurnScalar(src, dst, bitsPerPixel, quarters, copy);
}

bool QuarterTurnLayer(const LayerRecord& src, LayerRecord& dst, int bitsPerPixel, int quarters, LayerRecord* copy) {
    return QuarterTurnLayerWith(BestTurnKernel(), src, dst, bitsPerPixel, quarters, copy);
}

}  // namespace layerops
