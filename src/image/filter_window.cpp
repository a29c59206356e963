// Window filters: mean, erode, dilate, 3 x 3 convolution, sharpen, median,
// edge darkening, frosted glass and watercolour.
#include <cmath>
#include <thread>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "layer_access.h"

namespace layerops {

namespace {
// Window offsets -(n div 2) .. n - (n div 2) - 1.
inline int Lo(int n) { return -(n / 2); }
inline int Hi(int n) { return n - n / 2 - 1; }
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
    const bool fastDiv = maxCount < 4096;
    std::vector<UDivider> div;
    if (fastDiv) {
        div.resize(size_t(maxCount + 1));
        for (uint32_t c = 1; c <= maxCount; ++c) div[c].Set(c);
    }
    // Rows [ra, rb) with their own column sums: every output row depends
    // only on the source, so two workers each take half of the rows.
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
            const uint32_t n = p1[3] - p0[3] + extra;
            for (int k = 0; k < 3; ++k) {
                const uint32_t sum = p1[k] - p0[k] + extra * s[3 * x + k];
                d[3 * x + k] = uint8_t(fastDiv ? div[n](sum) : sum / n);
            }
        }
    }
    };
    if (h >= 4) {   // small layers too, so the tests cover the split
        std::thread helper(band, h / 2, h, false);
        band(0, h / 2, true);
        helper.join();
    } else {
        band(0, h, true);
    }
    a.Commit();
    a.Progress(0);
    return true;
}

namespace {
// Separable minimum (erode) or maximum (dilate) over the window clipped to
// the layer; dilate also lets the outside colour in where the window leaves
// the layer.
template <bool kMax>
bool MinMax(LayerOpContext& ctx, int size) {
    if (size < 1) return false;
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h, lo = Lo(size), hi = Hi(size);
    const size_t rb = size_t(w) * 3;
    std::vector<uint8_t> vert(rb), out(rb);
    const uint8_t outside[3] = {a.outB, a.outG, a.outR};
    auto pick = [](uint8_t p, uint8_t q) { return kMax ? std::max(p, q) : std::min(p, q); };
    for (int r = 0; r < h; ++r) {
        if ((r & 63) == 0) a.Progress(int(int64_t(r) * 100 / h));
        const int r0 = std::max(0, r + lo), r1 = std::min(h - 1, r + hi);
        std::memcpy(vert.data(), a.SrcRow(r0), rb);
        for (int rr = r0 + 1; rr <= r1; ++rr) {
            const uint8_t* s = a.SrcRow(rr);
            uint8_t* v = vert.data();
            for (size_t i = 0; i < rb; ++i) v[i] = pick(v[i], s[i]);
        }
        // Horizontal: out[x] = pick over vert[x + k], k in lo..hi, clipped.
        std::memcpy(out.data(), vert.data(), rb);
        for (int k = lo; k <= hi; ++k) {
            if (k == 0) continue;
            const int x0 = std::max(0, -k), x1 = std::min(w, w - k);
            if (x1 <= x0) continue;
            uint8_t* o = out.data() + size_t(x0) * 3;
            const uint8_t* v = vert.data() + size_t(x0 + k) * 3;
            const size_t n = size_t(x1 - x0) * 3;
            for (size_t i = 0; i < n; ++i) o[i] = pick(o[i], v[i]);
        }
        const uint8_t* al = a.AlphaRow(r);
        uint8_t* d = a.DstRow(r);
        const bool rowsOut = r + lo < 0 || r + hi >= h;
        for (int x = 0; x < w; ++x) {
            if (!al[x]) continue;
            if (kMax && (rowsOut || x + lo < 0 || x + hi >= w)) {
                for (int c = 0; c < 3; ++c) d[3 * x + c] = pick(out[3 * size_t(x) + c], outside[c]);
            } else {
                d[3 * x] = out[3 * size_t(x)], d[3 * x + 1] = out[3 * size_t(x) + 1], d[3 * x + 2] = out[3 * size_t(x) + 2];
            }
        }
    }
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
    std::vector<int32_t> rowSums(size_t(w) * 3);
    std::vector<uint8_t> rowOut(size_t(w) * 3);
    const int step = 100 / std::max(1, h);
    for (int r = 0; r < h; ++r) {
        ctx.image->info.progress += step;
        const uint8_t* rows[3] = {r > 0 ? a.SrcRow(r - 1) : nullptr, a.SrcRow(r), r + 1 < h ? a.SrcRow(r + 1) : nullptr};
        const uint8_t* al = a.AlphaRow(r);
        uint8_t* d = a.DstRow(r);
        const uint8_t* centre = a.SrcRow(r);
        const bool innerRow = r > 0 && r + 1 < h && !output && w > 2;
        if (innerRow) {
            // Whole row at once: channel sums of the inner pixels, then the
            // channel rule, in loops the compiler vectorises.
            const size_t o0 = 3, o1 = 3 * size_t(w - 1);
            int32_t* sums = rowSums.data();
            const uint8_t *u = rows[0], *m = rows[1], *b = rows[2];
            for (size_t o = o0; o < o1; ++o)
                sums[o] = kernel[0] * u[o - 3] + kernel[1] * u[o] + kernel[2] * u[o + 3] + kernel[3] * m[o - 3] +
                          kernel[4] * m[o] + kernel[5] * m[o + 3] + kernel[6] * b[o - 3] + kernel[7] * b[o] +
                          kernel[8] * b[o + 3];
            uint8_t* res = rowOut.data();
            if (useFast && !scaled && !negDen) {
                for (size_t o = o0; o < o1; ++o) {
                    const int v = sums[o];
                    const uint32_t av = uint32_t(v < 0 ? -v : v);
                    const int q0 = int((uint64_t(av) * fast.m) >> 32);
                    int t = offset + (v < 0 ? -q0 : q0);
                    t = t < 0 ? 0 : t > 255 ? 255 : t;
                    res[o] = uint8_t(invert ? 255 - t : t);
                }
            } else if (divisor == 0) {
                for (size_t o = o0; o < o1; ++o) {
                    int t = offset + sums[o];
                    t = t < 0 ? 0 : t > 255 ? 255 : t;
                    res[o] = uint8_t(invert ? 255 - t : t);
                }
            } else {
                for (size_t o = o0; o < o1; ++o) res[o] = inner(sums[o]);
            }
            for (int x = 1; x + 1 < w; ++x)
                if (al[x]) d[3 * x] = res[3 * x], d[3 * x + 1] = res[3 * x + 1], d[3 * x + 2] = res[3 * x + 2];
        }
        for (int x = 0; x < w; ++x) {
            if (!al[x]) continue;
            if (innerRow && x > 0 && x + 1 < w) continue;
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

// Median by luminance. Equal luminances are ordered by their place in the
// window (rows, then columns), so the result is one definite pixel. Inner
// 3 x 3 windows go through an exchange network; other windows keep a
// running histogram along the row, find the middle luminance from it and
// then the pixel of that luminance with the right rank in window order.
bool Median(LayerOpContext& ctx, int size) {
    if (size <= 0) return true;
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h, lo = Lo(size), hi = Hi(size);
    const std::vector<uint8_t> lum = LumPlane100(a);
    std::vector<uint32_t> keys(size_t(size) * size_t(size));
    const bool net = size == 3;
    std::vector<uint32_t> hist(256), coarse(16);
    auto column = [&](int r0, int r1, int xx, int sign) {
        for (int rr = r0; rr <= r1; ++rr) {
            const uint8_t l = lum[size_t(rr) * size_t(w) + size_t(xx)];
            hist[l] += uint32_t(sign);
            coarse[size_t(l >> 4)] += uint32_t(sign);
        }
    };
    std::vector<int16_t> p[9];
    if (net)
        for (auto& v : p) v.assign(size_t(w), 0);
    for (int r = 0; r < h; ++r) {
        if ((r & 31) == 0) a.Progress(int(int64_t(r) * 100 / h));
        const uint8_t* al = a.AlphaRow(r);
        uint8_t* d = a.DstRow(r);
        const int r0 = std::max(0, r + lo), r1 = std::min(h - 1, r + hi);
        if (net && r > 0 && r + 1 < h) {
            // Inner 3 x 3 windows: a median-of-nine exchange network run on
            // whole rows of keys (luminance, window position). The keys are
            // distinct, so the middle key names the pixel the sort gives.
            for (int k = 0; k < 9; ++k) {
                const uint8_t* l = lum.data() + size_t(r - 1 + k / 3) * size_t(w) + size_t(k % 3);
                int16_t* q = p[k].data();
                for (int x = 1; x + 1 < w; ++x) q[x] = int16_t((l[x - 1] << 4) | k);
            }
            auto sort2 = [&](int i, int j) {
                int16_t* u = p[i].data();
                int16_t* v = p[j].data();
                int x = 1;
#ifdef __SSE2__
                for (; x + 8 < w; x += 8) {
                    const __m128i a8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + x));
                    const __m128i b8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(u + x), _mm_min_epi16(a8, b8));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(v + x), _mm_max_epi16(a8, b8));
                }
#endif
                for (; x + 1 < w; ++x) {
                    const int16_t lo2 = std::min(u[x], v[x]), hi2 = std::max(u[x], v[x]);
                    u[x] = lo2, v[x] = hi2;
                }
            };
            sort2(1, 2), sort2(4, 5), sort2(7, 8), sort2(0, 1), sort2(3, 4), sort2(6, 7);
            sort2(1, 2), sort2(4, 5), sort2(7, 8), sort2(0, 3), sort2(5, 8), sort2(4, 7);
            sort2(3, 6), sort2(1, 4), sort2(2, 5), sort2(4, 7), sort2(4, 2), sort2(6, 4);
            sort2(4, 2);
        }
        if (!net) {
            // Running luminance histogram of the clipped window (fine and
            // coarse bins), slid along the row one column at a time.
            std::fill(hist.begin(), hist.end(), 0u);
            std::fill(coarse.begin(), coarse.end(), 0u);
            for (int xx = 0; xx <= std::min(w - 1, hi); ++xx) column(r0, r1, xx, 1);
        }
        for (int x = 0; x < w; ++x) {
            if (!net && x > 0) {
                if (x + hi < w) column(r0, r1, x + hi, 1);
                if (x + lo - 1 >= 0) column(r0, r1, x + lo - 1, -1);
            }
            if (!al[x]) continue;
            if (!net) {
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
                    const uint8_t* l = lum.data() + size_t(rr) * size_t(w);
                    for (int xx = x0; xx <= x1; ++xx) {
                        if (l[xx] != level) continue;
                        if (skip-- == 0) {
                            std::memcpy(d + 3 * x, a.SrcRow(rr) + 3 * size_t(xx), 3);
                            rr = r1 + 1;
                            break;
                        }
                    }
                }
                continue;
            }
            if (net && r > 0 && r + 1 < h && x > 0 && x + 1 < w) {
                const int k = p[4][x] & 15;
                std::memcpy(d + 3 * x, a.SrcRow(r - 1 + k / 3) + 3 * size_t(x - 1 + k % 3), 3);
                continue;
            }
            const int x0 = std::max(0, x + lo), x1 = std::min(w - 1, x + hi);
            size_t n = 0;
            for (int rr = r0; rr <= r1; ++rr) {
                const uint8_t* l = lum.data() + size_t(rr) * size_t(w);
                for (int xx = x0; xx <= x1; ++xx)
                    keys[n++] = (uint32_t(l[xx]) << 22) | (uint32_t(rr - r0) << 11) | uint32_t(xx - x0);
            }
            std::nth_element(keys.begin(), keys.begin() + long(n / 2), keys.begin() + long(n));
            const uint32_t kk = keys[n / 2];
            const int sr = r0 + int((kk >> 11) & 2047), sx = x0 + int(kk & 2047);
            std::memcpy(d + 3 * x, a.SrcRow(sr) + 3 * size_t(sx), 3);
        }
    }
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

}  // namespace layerops
