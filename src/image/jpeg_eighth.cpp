// The JPEG decoder at one eighth: see jpeg_eighth.h. Every rounding below
// is libjpeg's own, so that a thumbnail does not change with the path that
// made it.
//
// The entropy-coded data is first copied without its byte stuffing (FF 00
// becomes FF) and cut at its markers, one segment per restart interval.
// Each segment is then read through a 64-bit big-endian bit buffer that is
// refilled from the copy without looking at the bytes (the copy ends in
// zeros, and a segment that would need more bits than it has is refused).
// A Huffman code of up to 12 bits is found with one lookup, which for an
// AC symbol also gives the bits of its value to skip and how far it moves
// along the block; longer codes take libjpeg's canonical search.
#include "jpeg_eighth.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kLook = 12;   // bits of the code lookup
constexpr int kMaxBlocksInMcu = 10;
constexpr size_t kPadding = 4096;   // zeros after the copy: more than one MCU can read
// A dequantized coefficient of the 2 x 2 transform beyond this is never in a
// picture of 8-bit samples; the library's vector code could round such a
// value differently, so the decoder leaves it to the library.
constexpr int kMaxDequantized = 3072;

// libjpeg's zigzag to natural order, with the 16 extra entries it keeps for
// runs that overshoot the block in damaged data.
constexpr int kNatural[80] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13,
    6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31,
    39, 46, 53, 60, 61, 54, 47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

// The 2 x 2 transform reads the coefficients of rows and columns 0, 1, 3,
// 5 and 7 only: each has a slot (row * 5 + column in that list), the
// others all go to slot 25, which nothing reads.
constexpr int kSlots = 32;   // 26 rounded up for the vector unit
constexpr int SlotOf(int natural) {
    constexpr int kIndex[8] = {0, 1, -1, 2, -1, 3, -1, 4};
    const int r = kIndex[natural / 8], c = kIndex[natural % 8];
    return r < 0 || c < 0 ? 25 : r * 5 + c;
}
struct SlotTable {
    int8_t slot[80];
    constexpr SlotTable() : slot() {
        for (int k = 0; k < 80; ++k) slot[k] = int8_t(SlotOf(kNatural[k]));
    }
};
constexpr SlotTable kSlotOf;

// Bit k for the places (in zigzag order) whose values the 2 x 2 transform reads.
constexpr uint64_t NeededPlaces() {
    uint64_t m = 0;
    for (int k = 0; k < 64; ++k)
        if (kSlotOf.slot[k] != 25) m |= uint64_t(1) << k;
    return m;
}
constexpr uint64_t kNeededPlaces = NeededPlaces();

struct Huffman {
    // AC: (k advance << 8) | bits to consume (code and value); 0: look further.
    uint16_t skip[1 << kLook];
    // (code length << 8) | symbol; 0: look further.
    uint16_t sym[1 << kLook];
    // AC, all the whole symbols (code and value) within the next 12 bits:
    // bits 0-3 how many bits they take, bit 4 set when the last one ends
    // the block, bits 5-11 how far the others move along it; 0: not one.
    uint16_t multi[1 << kLook];
    // AC, where those symbols put their values: bit i for i places after
    // the current one (zero runs skipped).
    uint64_t lands[1 << kLook];
    int32_t maxcode[18];
    int32_t valoffset[18];
    uint8_t values[256];
};

uint16_t SkipEntry(int length, int symbol) {
    const int r = symbol >> 4, s = symbol & 15;
    int advance = 64;   // end of block
    if (s)
        advance = r + 1;
    else if (r == 15)
        advance = 16;
    return uint16_t((advance << 8) | (length + s));
}

// The checks and the canonical codes of libjpeg's jpeg_make_d_derived_tbl.
bool Build(const JpegEighthTable& t, bool dc, Huffman& h) {
    int size[257];
    uint32_t code[257];
    int p = 0;
    for (int l = 1; l <= 16; ++l) {
        if (p + t.bits[l] > 256) return false;
        for (int i = 0; i < t.bits[l]; ++i) size[p++] = l;
    }
    size[p] = 0;
    const int count = p;
    uint32_t c = 0;
    int si = size[0];
    p = 0;
    while (size[p]) {
        while (size[p] == si) code[p++] = c++;
        if (c >= (uint32_t(1) << si)) return false;
        c <<= 1;
        ++si;
    }
    p = 0;
    for (int l = 1; l <= 16; ++l) {
        if (t.bits[l]) {
            h.valoffset[l] = p - int32_t(code[p]);
            p += t.bits[l];
            h.maxcode[l] = int32_t(code[p - 1]);
        } else {
            h.maxcode[l] = -1;
        }
    }
    h.maxcode[17] = 0xFFFFF;
    h.valoffset[17] = 0;
    std::memcpy(h.values, t.values, sizeof h.values);
    if (dc)
        for (int i = 0; i < count; ++i)
            if (t.values[i] > 15) return false;
    std::memset(h.skip, 0, sizeof h.skip);
    std::memset(h.sym, 0, sizeof h.sym);
    p = 0;
    for (int l = 1; l <= kLook; ++l) {
        for (int i = 0; i < t.bits[l]; ++i, ++p) {
            const uint32_t first = code[p] << (kLook - l);
            const uint16_t sym = uint16_t((l << 8) | t.values[p]);
            const uint16_t skip = SkipEntry(l, t.values[p]);
            for (uint32_t k = 0; k < (uint32_t(1) << (kLook - l)); ++k) {
                h.sym[first + k] = sym;
                h.skip[first + k] = skip;
            }
        }
    }
    if (!dc) {
        for (uint32_t idx = 0; idx < (uint32_t(1) << kLook); ++idx) {
            int used = 0, advance = 0;
            bool end = false;
            uint64_t lands = 0;
            while (used < kLook && advance < 64) {
                const uint16_t e = h.sym[(idx << used) & ((1u << kLook) - 1)];
                const int l = e >> 8, sym = e & 0xFF, r = sym >> 4, z = sym & 15;
                if (!e || l + z > kLook - used) break;
                used += l + z;
                if (z == 0 && r != 15) {
                    end = true;
                    break;
                }
                if (z && advance + r < 64) lands |= uint64_t(1) << (advance + r);
                advance += z ? r + 1 : 16;
            }
            h.lands[idx] = lands;
            if (used) h.multi[idx] = uint16_t(used | (end ? 16 : 0) | (std::min(advance, 127) << 5));
            else h.multi[idx] = 0;
        }
    }
    return true;
}

struct Bits {
    uint64_t acc = 0;   // the next bits, first at the top
    int n = 0;          // how many of them are valid
    const uint8_t* p = nullptr;

    void Refill() {
        uint64_t v;
        std::memcpy(&v, p, 8);
        acc |= __builtin_bswap64(v) >> n;
        p += (63 - n) >> 3;
        n |= 56;
    }
    void Drop(int k) {
        acc <<= k;
        n -= k;
    }
    uint32_t Take(int k) {   // k in 1..16
        const uint32_t v = uint32_t(acc >> (64 - k));
        Drop(k);
        return v;
    }
};

// A code longer than the lookup (libjpeg's jpeg_huff_decode from length 13
// on); false for a bit pattern that is no code.
inline bool Slow(const Huffman& h, uint64_t acc, int& length, int& symbol) {
    const int32_t bits16 = int32_t(acc >> 48);
    for (int l = kLook + 1; l <= 16; ++l) {
        const int32_t c = bits16 >> (16 - l);
        if (c <= h.maxcode[l]) {
            length = l;
            symbol = h.values[(c + h.valoffset[l]) & 0xFF];
            return true;
        }
    }
    return false;
}

// One symbol: from the lookup when its code is short enough, otherwise bit
// by bit; false for a bit pattern that is no code.
inline bool Decode(const Huffman& h, uint64_t acc, int& length, int& symbol) {
    if (const uint16_t e = h.sym[acc >> (64 - kLook)]) {
        length = e >> 8;
        symbol = e & 0xFF;
        return true;
    }
    return Slow(h, acc, length, symbol);
}

// libjpeg's HUFF_EXTEND without a branch.
inline int Extend(uint32_t v, int s) {
    return int(v) + ((int32_t(v - (uint32_t(1) << (s - 1))) >> 31) & (int32_t(~0u << s) + 1));
}

// libjpeg's limit after the inverse transform (its sample_range_limit +
// CENTERJSAMPLE, indexed with & 1023: values far out of range wrap).
struct Tables {
    uint8_t idct[1024];
    int crR[256], cbB[256], crG[256], cbG[256];
    Tables() {
        for (int i = 0; i < 1024; ++i) idct[i] = uint8_t(i < 128 ? i + 128 : i < 512 ? 255 : i < 896 ? 0 : i - 896);
        constexpr int64_t half = int64_t(1) << 15;
        auto fix = [](double x) { return int64_t(x * 65536.0 + 0.5); };
        for (int i = 0; i < 256; ++i) {
            const int64_t x = i - 128;
            crR[i] = int((fix(1.40200) * x + half) >> 16);
            cbB[i] = int((fix(1.77200) * x + half) >> 16);
            crG[i] = int(-fix(0.71414) * x);
            cbG[i] = int(-fix(0.34414) * x + half);
        }
    }
};

const Tables& Limits() {
    static const Tables tables;
    return tables;
}

inline uint8_t Clamp255(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// libjpeg's jpeg_idct_2x2 (jidctred.c) on the coefficients it reads.
// dq holds the dequantized coefficients by slot.
void Idct2x2(const int* dq, const uint8_t* limit, uint8_t* out, size_t stride) {
    constexpr int kConst = 13, kPass1 = 2;
    auto descale = [](int64_t x, int n) { return int64_t((x + (int64_t(1) << (n - 1))) >> n); };
    int ws[16];
    static constexpr int kCols[5] = {0, 1, 3, 5, 7};
    for (int ci = 0; ci < 5; ++ci) {
        const int col = kCols[ci];
        // Rows 0, 1, 3, 5 and 7 of this column.
        const int z0 = dq[ci], z1 = dq[5 + ci], z3 = dq[10 + ci], z5 = dq[15 + ci], z7 = dq[20 + ci];
        if (z1 == 0 && z3 == 0 && z5 == 0 && z7 == 0) {
            ws[col] = ws[8 + col] = z0 * (1 << kPass1);
            continue;
        }
        const int64_t tmp10 = int64_t(z0) * (int64_t(1) << (kConst + 2));
        const int64_t tmp0 =
            int64_t(z7) * -5906 + int64_t(z5) * 6967 + int64_t(z3) * -10426 + int64_t(z1) * 29692;
        ws[col] = int(descale(tmp10 + tmp0, kConst - kPass1 + 2));
        ws[8 + col] = int(descale(tmp10 - tmp0, kConst - kPass1 + 2));
    }
    for (int r = 0; r < 2; ++r) {
        const int* w = ws + 8 * r;
        uint8_t* o = out + size_t(r) * stride;
        if (w[1] == 0 && w[3] == 0 && w[5] == 0 && w[7] == 0) {
            o[0] = o[1] = limit[int(descale(w[0], kPass1 + 3)) & 1023];
            continue;
        }
        const int64_t tmp10 = int64_t(w[0]) * (int64_t(1) << (kConst + 2));
        const int64_t tmp0 =
            int64_t(w[7]) * -5906 + int64_t(w[5]) * 6967 + int64_t(w[3]) * -10426 + int64_t(w[1]) * 29692;
        o[0] = limit[int(descale(tmp10 + tmp0, kConst + kPass1 + 3 + 2)) & 1023];
        o[1] = limit[int(descale(tmp10 - tmp0, kConst + kPass1 + 3 + 2)) & 1023];
    }
}

struct Plane {
    int scale = 1;          // samples per block side: 1, or 2 for a 2 x 2 transform
    int shiftX = 0, shiftY = 0;   // box upsampling to the output: 1 for twice
    size_t width = 0;       // samples per row
    std::vector<uint8_t> samples;
};

struct Segment {
    size_t begin = 0, end = 0;
    int marker = -1;   // the marker that ends it; -1 for the end of the data
};

// The entropy-coded data without its stuffing, cut at restart markers, up
// to the first other marker. False for fill bytes (FF FF), which libjpeg
// reads in its own way.
bool Unstuff(const uint8_t* data, size_t size, std::vector<uint8_t>& out, std::vector<Segment>& segments) {
    out.resize(size + kPadding);
    uint8_t* o = out.data();
    const uint8_t* s = data;
    const uint8_t* const e = data + size;
    Segment seg;
    for (;;) {
        const uint8_t* ff = static_cast<const uint8_t*>(std::memchr(s, 0xFF, size_t(e - s)));
        const uint8_t* stop = ff ? ff : e;
        std::memcpy(o, s, size_t(stop - s));
        o += stop - s;
        if (!ff || ff + 1 >= e) {
            seg.end = size_t(o - out.data());
            seg.marker = -1;
            segments.push_back(seg);
            break;
        }
        const uint8_t c = ff[1];
        s = ff + 2;
        if (c == 0) {
            *o++ = 0xFF;
            continue;
        }
        if (c == 0xFF) return false;
        seg.end = size_t(o - out.data());
        seg.marker = c;
        segments.push_back(seg);
        if (c < 0xD0 || c > 0xD7) break;
        seg = Segment{};
        seg.begin = size_t(o - out.data());
    }
    std::memset(o, 0, kPadding);
    return true;
}

}  // namespace

bool DecodeJpegEighth(const JpegEighthScan& scan, uint8_t* firstRow, ptrdiff_t rowStep) {
    const int nc = scan.components;
    if ((nc != 1 && nc != 3) || scan.width < 1 || scan.height < 1 || !scan.data || scan.restartInterval < 0)
        return false;
    int maxH = 1, maxV = 1;
    for (int c = 0; c < nc; ++c) {
        const JpegEighthComponent& k = scan.comp[c];
        if (k.h < 1 || k.h > 2 || k.v < 1 || k.v > 2 || !k.quant || !k.dc || !k.ac) return false;
        maxH = std::max(maxH, k.h);
        maxV = std::max(maxV, k.v);
    }
    bool seen[3] = {false, false, false};
    for (int i = 0; i < nc; ++i) {
        const int c = scan.scanOrder[i];
        if (c < 0 || c >= nc || seen[c]) return false;
        seen[c] = true;
    }

    // Huffman tables, built once per distinct table.
    std::vector<std::unique_ptr<Huffman>> owned;
    const Huffman* dcOf[3] = {};
    const Huffman* acOf[3] = {};
    auto build = [&](const JpegEighthTable* t, bool dc) -> const Huffman* {
        for (int c = 0; c < nc; ++c) {
            if (dc && scan.comp[c].dc == t && dcOf[c]) return dcOf[c];
            if (!dc && scan.comp[c].ac == t && acOf[c]) return acOf[c];
        }
        auto h = std::make_unique<Huffman>();
        if (!Build(*t, dc, *h)) return nullptr;
        owned.push_back(std::move(h));
        return owned.back().get();
    };
    for (int c = 0; c < nc; ++c) {
        dcOf[c] = build(scan.comp[c].dc, true);
        acOf[c] = build(scan.comp[c].ac, false);
        if (!dcOf[c] || !acOf[c]) return false;
    }

    // The block layout of the scan and libjpeg's choice of transform size:
    // a component sampled at half the size in both directions gets the
    // 2 x 2 transform instead of being upsampled.
    const int outW = JpegEighthSize(scan.width), outH = JpegEighthSize(scan.height);
    int mcusX, mcusY;
    Plane planes[3];
    struct BlockAt {
        int comp, dx, dy;
    };
    std::vector<BlockAt> mcu;
    if (nc == 1) {
        mcusX = outW;
        mcusY = outH;
        mcu.push_back({0, 0, 0});
    } else {
        mcusX = (scan.width + 8 * maxH - 1) / (8 * maxH);
        mcusY = (scan.height + 8 * maxV - 1) / (8 * maxV);
        for (int i = 0; i < nc; ++i) {
            const int c = scan.scanOrder[i];
            for (int y = 0; y < scan.comp[c].v; ++y)
                for (int x = 0; x < scan.comp[c].h; ++x) mcu.push_back({c, x, y});
        }
    }
    if (mcu.size() > size_t(kMaxBlocksInMcu)) return false;
    for (int c = 0; c < nc; ++c) {
        const JpegEighthComponent& k = scan.comp[c];
        Plane& p = planes[c];
        const int h = nc == 1 ? 1 : k.h, v = nc == 1 ? 1 : k.v;
        const int mh = nc == 1 ? 1 : maxH, mv = nc == 1 ? 1 : maxV;
        p.scale = 1;
        while (p.scale < 8 && mh % (h * p.scale * 2) == 0 && mv % (v * p.scale * 2) == 0) p.scale *= 2;
        p.shiftX = mh / (h * p.scale) == 2 ? 1 : 0;
        p.shiftY = mv / (v * p.scale) == 2 ? 1 : 0;
        p.width = size_t(mcusX) * size_t(h) * size_t(p.scale);
        p.samples.assign(p.width * size_t(mcusY) * size_t(v) * size_t(p.scale), 0);
        // Steps of 16 bits in a SIMD build of libjpeg; larger ones only in
        // files of 16-bit steps, which are left to it.
        for (int i = 0; i < 64; ++i)
            if (k.quant[i] > 32767) return false;
    }

    thread_local std::vector<uint8_t> copy;
    std::vector<Segment> segments;
    if (!Unstuff(scan.data, scan.size, copy, segments)) {
        copy.clear();
        return false;
    }
    const int64_t totalMcus = int64_t(mcusX) * mcusY;
    const int64_t interval = scan.restartInterval ? scan.restartInterval : totalMcus;
    const int64_t expected = (totalMcus + interval - 1) / interval;
    bool ok = int64_t(segments.size()) == expected;
    for (size_t i = 0; ok && i < segments.size(); ++i) {
        const int want = i + 1 == segments.size() ? 0xD9 : 0xD0 + int(i & 7);
        ok = segments[i].marker == want;
    }

    const Tables& t = Limits();
    // Everything one block of the MCU needs, found once.
    struct Job {
        const Huffman* dc;
        const Huffman* ac;
        int comp;
        int q0;
        bool coefficients;        // the 2 x 2 transform: keep the values
        int32_t quant[kSlots];    // by slot, 0 beyond the 25 read
        uint8_t* first;           // the block's samples in the MCU at (0, 0)
        size_t stepX, stepY;      // samples to the next MCU across and down
        size_t stride;
    };
    Job jobs[kMaxBlocksInMcu];
    const int jobCount = int(mcu.size());
    for (int i = 0; i < jobCount; ++i) {
        const BlockAt& at = mcu[size_t(i)];
        const int c = at.comp;
        Plane& pl = planes[c];
        const JpegEighthComponent& k = scan.comp[c];
        const int h = nc == 1 ? 1 : k.h, v = nc == 1 ? 1 : k.v;
        Job& j = jobs[i];
        j.dc = dcOf[c];
        j.ac = acOf[c];
        j.comp = c;
        j.q0 = k.quant[0];
        j.coefficients = pl.scale == 2;
        for (int q = 25; q < kSlots; ++q) j.quant[q] = 0;
        for (int q = 0; q < 25; ++q) j.quant[q] = k.quant[(q / 5 == 0 ? 0 : 2 * (q / 5) - 1) * 8 + (q % 5 == 0 ? 0 : 2 * (q % 5) - 1)];
        j.stride = pl.width;
        j.stepX = size_t(h) * size_t(pl.scale);
        j.stepY = pl.width * size_t(v) * size_t(pl.scale);
        j.first = pl.samples.data() + size_t(at.dy) * size_t(pl.scale) * pl.width + size_t(at.dx) * size_t(pl.scale);
    }
    int64_t mcuIndex = 0;
    int mx = 0, my = 0;
    for (size_t si = 0; ok && si < segments.size(); ++si) {
        const Segment& seg = segments[si];
        Bits b;
        b.p = copy.data() + seg.begin;
        const uint8_t* const segEnd = copy.data() + seg.end;
        uint32_t last[3] = {0, 0, 0};
        const int64_t stop = std::min(totalMcus, mcuIndex + interval);
        for (; ok && mcuIndex < stop; ++mcuIndex) {
            for (int i = 0; i < jobCount; ++i) {
                const Job& j = jobs[i];
                const Huffman& dc = *j.dc;
                const Huffman& ac = *j.ac;
                uint8_t* out = j.first + size_t(my) * j.stepY + size_t(mx) * j.stepX;
                b.Refill();
                int length, s;
                if (!Decode(dc, b.acc, length, s)) {
                    ok = false;
                    break;
                }
                b.Drop(length);
                if (s) last[j.comp] += uint32_t(Extend(b.Take(s), s));
                const int coef0 = int16_t(uint16_t(last[j.comp]));
                if (!j.coefficients) {
                    for (int kk = 1; kk < 64;) {
                        b.Refill();
                        uint32_t idx = uint32_t(b.acc >> (64 - kLook));
                        // Several symbols at once while they stay inside the
                        // block; twice per refill (12 bits each of the 56).
                        uint32_t m = ac.multi[idx];
                        if (m && kk + int(m >> 5) < 64) {
                            b.Drop(int(m & 15));
                            kk += int(m >> 5);
                            if (m & 16) break;
                            idx = uint32_t(b.acc >> (64 - kLook));
                            m = ac.multi[idx];
                            if (m && kk + int(m >> 5) < 64) {
                                b.Drop(int(m & 15));
                                kk += int(m >> 5);
                                if (m & 16) break;
                                continue;
                            }
                        }
                        // One symbol (at least 44 bits are left).
                        uint32_t e = ac.skip[idx];
                        if (!e) {
                            int sym;
                            if (!Slow(ac, b.acc, length, sym)) {
                                ok = false;
                                break;
                            }
                            e = SkipEntry(length, sym);
                        }
                        b.Drop(int(e & 0xFF));
                        kk += int(e >> 8);
                    }
                    *out = t.idct[int((int64_t(coef0) * j.q0 + 4) >> 3) & 1023];
                } else {
                    // Dequantized as they come, each checked against the range
                    // of real pictures.
                    int dq[kSlots] = {};
                    dq[0] = coef0 * j.quant[0];
                    unsigned outside = unsigned(dq[0] + kMaxDequantized) > unsigned(2 * kMaxDequantized);
                    bool anyRead = false;   // a value the transform reads besides the DC
                    for (int kk = 1; kk < 64;) {
                        b.Refill();
                        const uint32_t idx = uint32_t(b.acc >> (64 - kLook));
                        // Skipped together while none of them has a value
                        // the transform reads.
                        const uint32_t m = ac.multi[idx];
                        if (m && kk + int(m >> 5) < 64 && ((ac.lands[idx] << kk) & kNeededPlaces) == 0) {
                            b.Drop(int(m & 15));
                            kk += int(m >> 5);
                            if (m & 16) break;
                            continue;
                        }
                        int sym;
                        if (!Decode(ac, b.acc, length, sym)) {
                            ok = false;
                            break;
                        }
                        b.Drop(length);
                        const int r = sym >> 4, z = sym & 15;
                        if (z) {
                            kk += r;
                            const int slot = kSlotOf.slot[kk];
                            const int d = int(int16_t(Extend(b.Take(z), z))) * j.quant[slot];
                            dq[slot] = d;
                            outside |= unsigned(d + kMaxDequantized) > unsigned(2 * kMaxDequantized);
                            anyRead |= slot != 25;
                            ++kk;
                        } else if (r == 15) {
                            kk += 16;
                        } else {
                            break;
                        }
                    }
                    if (ok && outside) ok = false;
                    if (ok && !anyRead) {
                        // The 2 x 2 transform of a DC alone: four equal samples.
                        out[0] = out[1] = out[j.stride] = out[j.stride + 1] = t.idct[((dq[0] * 4 + 16) >> 5) & 1023];
                    } else if (ok) {
                        Idct2x2(dq, t.idct, out, j.stride);
                    }
                }
                if (!ok) break;
            }
            // Past the segment by more than the look-ahead: damaged data.
            if (b.p > segEnd + 8) ok = false;
            if (++mx == mcusX) {
                mx = 0;
                ++my;
            }
        }
        if (ok && (b.p - (copy.data() + seg.begin)) * 8 - b.n > int64_t(seg.end - seg.begin) * 8) ok = false;
    }
    if (copy.capacity() > (size_t(16) << 20)) std::vector<uint8_t>().swap(copy);
    if (!ok) return false;

    // Upsampling by repetition and libjpeg's YCbCr to RGB.
    for (int y = 0; y < outH; ++y) {
        uint8_t* o = firstRow + ptrdiff_t(y) * rowStep;
        if (nc == 1) {
            std::memcpy(o, planes[0].samples.data() + size_t(y) * planes[0].width, size_t(outW));
            continue;
        }
        const Plane &py = planes[0], &pb = planes[1], &pr = planes[2];
        const uint8_t* ry = py.samples.data() + size_t(y >> py.shiftY) * py.width;
        const uint8_t* rb = pb.samples.data() + size_t(y >> pb.shiftY) * pb.width;
        const uint8_t* rr = pr.samples.data() + size_t(y >> pr.shiftY) * pr.width;
        for (int x = 0; x < outW; ++x, o += 3) {
            const int yy = ry[x >> py.shiftX], cb = rb[x >> pb.shiftX], cr = rr[x >> pr.shiftX];
            o[0] = Clamp255(yy + t.cbB[cb]);
            o[1] = Clamp255(yy + ((t.cbG[cb] + t.crG[cr]) >> 16));
            o[2] = Clamp255(yy + t.crR[cr]);
        }
    }
    return true;
}
