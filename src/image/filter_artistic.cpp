// The artistic filters of the filter dialog whose rules are this program's
// own. Each reads the layer, writes the scratch buffers through the common
// rules (only pixels with non-zero alpha, opaque inside the selection) and
// is deterministic for a given seed.
#include <cmath>
#include <numeric>

#include "layer_access.h"

namespace layerops {

namespace {
constexpr double kPi = 3.14159265358979323846;

// Bilinear read of the blue-green-red source, clamped to the layer's edge.
inline void SampleClamped(const LayerAccess& a, double x, double y, uint8_t out[3]) {
    x = std::clamp(x, 0.0, double(a.w - 1));
    y = std::clamp(y, 0.0, double(a.h - 1));
    const int x0 = int(x), y0 = int(y);
    const int x1 = std::min(a.w - 1, x0 + 1), y1 = std::min(a.h - 1, y0 + 1);
    const double fx = x - x0, fy = y - y0;
    const uint8_t* p00 = a.SrcRow(y0) + 3 * size_t(x0);
    const uint8_t* p10 = a.SrcRow(y0) + 3 * size_t(x1);
    const uint8_t* p01 = a.SrcRow(y1) + 3 * size_t(x0);
    const uint8_t* p11 = a.SrcRow(y1) + 3 * size_t(x1);
    for (int c = 0; c < 3; ++c) {
        const double v = (p00[c] * (1 - fx) + p10[c] * fx) * (1 - fy) + (p01[c] * (1 - fx) + p11[c] * fx) * fy;
        out[c] = Clamp255(int(v + 0.5));
    }
}

inline int Lum(const uint8_t* p) { return (11 * p[0] + 59 * p[1] + 30 * p[2]) / 100; }

// Box mean of radius rad over the whole source (edges clamped), into a
// w*h*3 plane.
std::vector<uint8_t> BoxBlur(const LayerAccess& a, int rad) {
    const int w = a.w, h = a.h;
    std::vector<uint8_t> out(size_t(w) * size_t(h) * 3);
    std::vector<uint32_t> tmp(size_t(w) * size_t(h) * 3);
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                uint32_t s = 0;
                for (int k = -rad; k <= rad; ++k) s += a.SrcRow(std::clamp(r + k, 0, h - 1))[3 * x + c];
                tmp[(size_t(r) * size_t(w) + size_t(x)) * 3 + size_t(c)] = s;
            }
    const uint32_t n = uint32_t(2 * rad + 1) * uint32_t(2 * rad + 1);
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                uint32_t s = 0;
                for (int k = -rad; k <= rad; ++k)
                    s += tmp[(size_t(r) * size_t(w) + size_t(std::clamp(x + k, 0, w - 1))) * 3 + size_t(c)];
                out[(size_t(r) * size_t(w) + size_t(x)) * 3 + size_t(c)] = uint8_t(s / n);
            }
    return out;
}

// Sobel magnitude |gx| + |gy| of the luminance (edges clamped).
void Sobel(const LayerAccess& a, std::vector<int32_t>& mag, std::vector<float>* angle) {
    const int w = a.w, h = a.h;
    std::vector<uint8_t> lum(size_t(w) * size_t(h));
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) lum[size_t(r) * size_t(w) + size_t(x)] = uint8_t(Lum(a.SrcRow(r) + 3 * size_t(x)));
    auto L = [&](int x, int r) {
        return int(lum[size_t(std::clamp(r, 0, h - 1)) * size_t(w) + size_t(std::clamp(x, 0, w - 1))]);
    };
    mag.assign(lum.size(), 0);
    if (angle) angle->assign(lum.size(), 0.0f);
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            const int gx = L(x + 1, r - 1) + 2 * L(x + 1, r) + L(x + 1, r + 1) - L(x - 1, r - 1) - 2 * L(x - 1, r) -
                           L(x - 1, r + 1);
            const int gy = L(x - 1, r + 1) + 2 * L(x, r + 1) + L(x + 1, r + 1) - L(x - 1, r - 1) - 2 * L(x, r - 1) -
                           L(x + 1, r - 1);
            mag[size_t(r) * size_t(w) + size_t(x)] = std::abs(gx) + std::abs(gy);
            if (angle) (*angle)[size_t(r) * size_t(w) + size_t(x)] = float(std::atan2(double(gy), double(gx)));
        }
}

inline uint8_t Posterize(int v, int levels) {
    const int q = (v * (levels - 1) + 127) / 255;
    return uint8_t(q * 255 / (levels - 1));
}

// Mean colour of the pixels for which `in` holds, over the dst (processed
// pixels only are written by the callers).
template <class F>
void ForProcessed(LayerAccess& a, F f) {
    for (int r = 0; r < a.h; ++r) {
        if ((r & 63) == 0) a.Progress(int(int64_t(r) * 100 / a.h));
        const uint8_t* al = a.AlphaRow(r);
        uint8_t* d = a.DstRow(r);
        for (int x = 0; x < a.w; ++x)
            if (al[x]) f(x, r, d + 3 * x);
    }
}
}  // namespace

// "노이즈제거(B)": the luminance median of the noiseSize x noiseSize window
// replaces the pixel by absorb quarters: out = c + (median - c) * absorb / 4.
// Specks smaller than the window vanish; absorb 4 is the plain median.
bool NoiseRemovalB(LayerOpContext& ctx, int noiseSize, int absorb) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int n = std::clamp(noiseSize, 1, 15), k = std::clamp(absorb, 0, 4);
    const int lo = -(n / 2), hi = n - n / 2 - 1;
    const std::vector<uint8_t> lum = LumPlane100(a);
    std::vector<uint32_t> keys(size_t(n) * size_t(n));
    ForProcessed(a, [&](int x, int r, uint8_t* d) {
        size_t cnt = 0;
        for (int rr = std::max(0, r + lo); rr <= std::min(a.h - 1, r + hi); ++rr)
            for (int xx = std::max(0, x + lo); xx <= std::min(a.w - 1, x + hi); ++xx)
                keys[cnt++] = (uint32_t(lum[size_t(rr) * size_t(a.w) + size_t(xx)]) << 24) |
                              (uint32_t(rr - std::max(0, r + lo)) << 8) | uint32_t(xx - std::max(0, x + lo));
        std::nth_element(keys.begin(), keys.begin() + long(cnt / 2), keys.begin() + long(cnt));
        const uint32_t key = keys[cnt / 2];
        const uint8_t* m = a.SrcRow(std::max(0, r + lo) + int((key >> 8) & 255)) + 3 * size_t(std::max(0, x + lo) + int(key & 255));
        const uint8_t* c = a.SrcRow(r) + 3 * size_t(x);
        for (int ch = 0; ch < 3; ++ch) d[ch] = Clamp255(c[ch] + (m[ch] - c[ch]) * k / 4);
    });
    a.Commit();
    a.Progress(0);
    return true;
}

// "찍어붙이기" (stamp print): colours are posterized to 2..8 levels by
// `colours`; where the Sobel edge strength exceeds 10 * (25 - contour) the
// pixel is inked (its posterized colour at a quarter), the ink spread over
// strokeLength / 10 pixels around each edge, like a rubber stamp's lines.
bool Stamp(LayerOpContext& ctx, int contour, int strokeLength, int colours) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h;
    std::vector<int32_t> mag;   // per-pixel table of edge strengths
    Sobel(a, mag, nullptr);
    const int threshold = 10 * (25 - std::clamp(contour, 1, 24));
    const int levels = 2 + std::clamp(colours, 1, 99) * 6 / 99;
    const int spread = std::clamp(strokeLength, 0, 30) / 10;
    std::vector<uint8_t> ink(size_t(w) * size_t(h), 0);
    for (size_t i = 0; i < ink.size(); ++i) ink[i] = mag[i] > threshold;
    if (spread > 0) {
        std::vector<uint8_t> grown(ink.size(), 0);
        for (int r = 0; r < h; ++r)
            for (int x = 0; x < w; ++x) {
                if (!ink[size_t(r) * size_t(w) + size_t(x)]) continue;
                for (int rr = std::max(0, r - spread); rr <= std::min(h - 1, r + spread); ++rr)
                    std::memset(&grown[size_t(rr) * size_t(w) + size_t(std::max(0, x - spread))], 1,
                                size_t(std::min(w - 1, x + spread) - std::max(0, x - spread) + 1));
            }
        ink.swap(grown);
    }
    ForProcessed(a, [&](int x, int r, uint8_t* d) {
        const uint8_t* s = a.SrcRow(r) + 3 * size_t(x);
        const bool inked = ink[size_t(r) * size_t(w) + size_t(x)];
        for (int c = 0; c < 3; ++c) {
            const uint8_t p = Posterize(s[c], levels);
            d[c] = inked ? uint8_t(p / 4) : p;
        }
    });
    a.Commit();
    a.Progress(0);
    return true;
}

// "색종이뿌리기" (confetti): square paper pieces of side max(3, pieceSize),
// turned by random angles, are scattered at random places (about one and a
// half times the picture's area in total); each takes the picture's colour
// at its centre posterized to 2 + colours / 3 levels and has a rim darkened
// by contour * 3 percent. Later pieces lie on earlier ones.
bool Confetti(LayerOpContext& ctx, int contour, int pieceSize, int colours) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h;
    const int side = std::max(3, pieceSize);
    const int levels = 2 + std::clamp(colours, 1, 20) / 3;
    const int dark = 100 - 3 * std::clamp(contour, 0, 30);
    FilterRandom rnd(ctx.seed);
    // Start from the picture itself.
    for (int r = 0; r < h; ++r) {
        const uint8_t* al = a.AlphaRow(r);
        for (int x = 0; x < w; ++x)
            if (al[x]) std::memcpy(a.DstRow(r) + 3 * x, a.SrcRow(r) + 3 * size_t(x), 3);
    }
    const int64_t pieces = int64_t(w) * h * 3 / (2 * int64_t(side) * side) + 1;
    const double half = side / 2.0;
    const int reach = int(std::ceil(half * 1.4143));
    for (int64_t p = 0; p < pieces; ++p) {
        if ((p & 4095) == 0) a.Progress(int(p * 100 / pieces));
        const int cx = int((int64_t(rnd.Next()) << 15 | rnd.Next()) % w);
        const int cy = int((int64_t(rnd.Next()) << 15 | rnd.Next()) % h);
        const double ang = rnd.Next() * (kPi / 2) / 32768.0;
        const double cs = std::cos(ang), sn = std::sin(ang);
        const uint8_t* sc = a.SrcRow(cy) + 3 * size_t(cx);
        uint8_t col[3], rim[3];
        for (int c = 0; c < 3; ++c) {
            col[c] = Posterize(sc[c], levels);
            rim[c] = uint8_t(col[c] * dark / 100);
        }
        for (int r = std::max(0, cy - reach); r <= std::min(h - 1, cy + reach); ++r) {
            const uint8_t* al = a.AlphaRow(r);
            uint8_t* d = a.DstRow(r);
            for (int x = std::max(0, cx - reach); x <= std::min(w - 1, cx + reach); ++x) {
                if (!al[x]) continue;
                const double dx = x - cx, dy = r - cy;
                const double u = std::fabs(dx * cs + dy * sn), v = std::fabs(-dx * sn + dy * cs);
                if (u > half || v > half) continue;
                std::memcpy(d + 3 * x, std::max(u, v) > half - 1 ? rim : col, 3);
            }
        }
    }
    a.Commit();
    a.Progress(0);
    return true;
}

// "선효과채색" (line colouring): every pixel becomes the mean of the
// 2 * strokeLength + 1 samples along the local edge direction (across the
// luminance gradient, kept in a per-pixel table of angles), like strokes
// that follow the shapes; repeated `repeat` times, then the colours are
// given 20 percent more saturation.
bool LineColouring(LayerOpContext& ctx, int strokeLength, int repeat) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h, len = std::clamp(strokeLength, 0, 30), times = std::clamp(repeat, 1, 5);
    std::vector<int32_t> mag;
    std::vector<float> angle;
    Sobel(a, mag, &angle);
    std::vector<uint8_t> cur(size_t(w) * size_t(h) * 3), next(cur.size());
    for (int r = 0; r < h; ++r) std::memcpy(&cur[size_t(r) * size_t(w) * 3], a.SrcRow(r), size_t(w) * 3);
    for (int t = 0; t < times; ++t) {
        for (int r = 0; r < h; ++r)
            for (int x = 0; x < w; ++x) {
                const size_t i = size_t(r) * size_t(w) + size_t(x);
                const double th = mag[i] > 8 ? angle[i] + kPi / 2 : 0.0;
                const double dx = std::cos(th), dy = std::sin(th);
                uint32_t s[3] = {0, 0, 0};
                for (int k = -len; k <= len; ++k) {
                    const int xx = std::clamp(int(std::lround(x + k * dx)), 0, w - 1);
                    const int yy = std::clamp(int(std::lround(r + k * dy)), 0, h - 1);
                    const uint8_t* p = &cur[(size_t(yy) * size_t(w) + size_t(xx)) * 3];
                    s[0] += p[0], s[1] += p[1], s[2] += p[2];
                }
                for (int c = 0; c < 3; ++c) next[i * 3 + size_t(c)] = uint8_t(s[c] / uint32_t(2 * len + 1));
            }
        cur.swap(next);
        a.Progress((t + 1) * 100 / (times + 1));
    }
    ForProcessed(a, [&](int x, int r, uint8_t* d) {
        const uint8_t* p = &cur[(size_t(r) * size_t(w) + size_t(x)) * 3];
        const int grey = (p[0] + p[1] + p[2]) / 3;
        for (int c = 0; c < 3; ++c) d[c] = Clamp255(grey + (p[c] - grey) * 6 / 5);
    });
    a.Commit();
    a.Progress(0);
    return true;
}

// Lens effects (commands 3479, mode 0, and 3477, mode 4).
// Mode 0, "렌즈효과": a convex lens over the middle of the layer, radius half
// the smaller side; a point at distance d from the centre shows the picture
// at d * (0.5 + 0.5 (d / R)^2), so the middle is magnified twice and the rim
// joins the picture without a seam.
// Mode 4, "욕실효과" (bathroom glass): reeded glass; each pixel shows the
// picture displaced by a ripple of period 14 pixels and amplitude 5 across
// the columns plus a random jitter of up to 2 pixels, softened by a 3 x 3 mean.
bool LensEffect(LayerOpContext& ctx, int mode) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h;
    if (mode == 4) {
        FilterRandom rnd(ctx.seed);
        std::vector<uint8_t> moved(size_t(w) * size_t(h) * 3);
        for (int r = 0; r < h; ++r)
            for (int x = 0; x < w; ++x) {
                const double sx = x + 5 * std::sin(2 * kPi * x / 14.0) + (rnd.Next() % 5 - 2);
                const double sy = r + (rnd.Next() % 5 - 2);
                SampleClamped(a, sx, sy, &moved[(size_t(r) * size_t(w) + size_t(x)) * 3]);
            }
        ForProcessed(a, [&](int x, int r, uint8_t* d) {
            uint32_t s[3] = {0, 0, 0}, n = 0;
            for (int rr = std::max(0, r - 1); rr <= std::min(h - 1, r + 1); ++rr)
                for (int xx = std::max(0, x - 1); xx <= std::min(w - 1, x + 1); ++xx) {
                    const uint8_t* p = &moved[(size_t(rr) * size_t(w) + size_t(xx)) * 3];
                    s[0] += p[0], s[1] += p[1], s[2] += p[2], ++n;
                }
            for (int c = 0; c < 3; ++c) d[c] = uint8_t(s[c] / n);
        });
    } else {
        const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0, R = std::max(1.0, std::min(w, h) / 2.0);
        ForProcessed(a, [&](int x, int r, uint8_t* d) {
            const double dx = x - cx, dy = r - cy, dist = std::hypot(dx, dy);
            if (dist >= R) {
                std::memcpy(d, a.SrcRow(r) + 3 * size_t(x), 3);
                return;
            }
            const double q = dist / R, f = 0.5 + 0.5 * q * q;
            SampleClamped(a, cx + dx * f, cy + dy * f, d);
        });
    }
    a.Commit();
    a.Progress(0);
    return true;
}

// "한지효과" (mulberry paper): the picture softened by a box mean of radius
// blur / 20, laid on a warm paper tone (18 percent), with long pale fibres
// (random short curved strands, one per 300 pixels) and a fine grain of
// +-6 levels, as if printed on hand-made paper.
bool HanjiPaper(LayerOpContext& ctx, int blur, int) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h;
    const std::vector<uint8_t> soft = BoxBlur(a, std::clamp(blur, 0, 99) / 20);
    std::vector<uint8_t> fibre(size_t(w) * size_t(h), 0);
    FilterRandom rnd(ctx.seed);
    const int64_t strands = int64_t(w) * h / 300 + 1;
    for (int64_t s = 0; s < strands; ++s) {
        double x = double((int64_t(rnd.Next()) << 15 | rnd.Next()) % w);
        double y = double((int64_t(rnd.Next()) << 15 | rnd.Next()) % h);
        double ang = rnd.Next() * 2 * kPi / 32768.0;
        const int length = 8 + rnd.Below(32);
        const uint8_t strength = uint8_t(20 + rnd.Below(30));
        for (int k = 0; k < length; ++k) {
            const int xi = int(x), yi = int(y);
            if (xi >= 0 && yi >= 0 && xi < w && yi < h) {
                uint8_t& f = fibre[size_t(yi) * size_t(w) + size_t(xi)];
                f = std::max(f, strength);
            }
            ang += (rnd.Next() - 16384) / 16384.0 * 0.3;
            x += std::cos(ang);
            y += std::sin(ang);
        }
    }
    static const int kPaper[3] = {222, 236, 244};   // blue, green, red
    ForProcessed(a, [&](int x, int r, uint8_t* d) {
        const size_t i = size_t(r) * size_t(w) + size_t(x);
        const int grain = int((i * 2654435761u + ctx.seed) >> 7 & 15) - 7;
        for (int c = 0; c < 3; ++c) {
            const int v = (soft[i * 3 + size_t(c)] * 82 + kPaper[c] * 18) / 100 + fibre[i] + grain;
            d[c] = Clamp255(v);
        }
    });
    a.Commit();
    a.Progress(0);
    return true;
}

// "빗방울" (raindrops): round drops of radius up to 3 + size / 6 at random
// places, frequency / 100 drops per 36 R^2 pixels. Inside a drop the
// picture is seen upside down and reduced, as through a water lens (the
// point at offset v from the centre shows the picture at centre - v / 2), a
// little brighter towards the upper left, darker at the rim, with a small
// white highlight. Drops read the picture without other drops.
bool Raindrops(LayerOpContext& ctx, int size, int frequency) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h;
    const int maxR = 3 + std::clamp(size, 0, 99) / 6;
    FilterRandom rnd(ctx.seed);
    for (int r = 0; r < h; ++r) {
        const uint8_t* al = a.AlphaRow(r);
        for (int x = 0; x < w; ++x)
            if (al[x]) std::memcpy(a.DstRow(r) + 3 * x, a.SrcRow(r) + 3 * size_t(x), 3);
    }
    const int64_t drops = int64_t(w) * h * std::clamp(frequency, 0, 1000) / (100 * 36 * int64_t(maxR) * maxR) + 1;
    for (int64_t k = 0; k < drops; ++k) {
        const int cx = int((int64_t(rnd.Next()) << 15 | rnd.Next()) % w);
        const int cy = int((int64_t(rnd.Next()) << 15 | rnd.Next()) % h);
        const double R = maxR / 2.0 + rnd.Below(maxR / 2 + 1);
        const int reach = int(std::ceil(R));
        for (int r = std::max(0, cy - reach); r <= std::min(h - 1, cy + reach); ++r) {
            const uint8_t* al = a.AlphaRow(r);
            uint8_t* d = a.DstRow(r);
            for (int x = std::max(0, cx - reach); x <= std::min(w - 1, cx + reach); ++x) {
                if (!al[x]) continue;
                const double dx = x - cx, dy = r - cy, dist = std::hypot(dx, dy);
                if (dist > R) continue;
                uint8_t p[3];
                SampleClamped(a, cx - dx / 2, cy - dy / 2, p);
                // Stored rows run upward: the upper left is -x, +y.
                double light = 1.0 + 0.25 * (-dx + dy) / (R * 1.4143);
                if (dist > 0.8 * R) light *= 0.75;
                const double hx = dx + 0.35 * R, hy = dy - 0.35 * R;
                const bool spot = std::hypot(hx, hy) < 0.18 * R + 0.5;
                for (int c = 0; c < 3; ++c) d[3 * x + c] = spot ? 255 : Clamp255(int(p[c] * light));
            }
        }
    }
    a.Commit();
    a.Progress(0);
    return true;
}

// "영역확장" (region expand): regions grow from pixels taken in row order;
// a 4-neighbour joins when the sum of its channel distances to the region's
// running mean is at most `tolerance`. Every region is then painted with its
// mean colour, so areas of similar colour spread into flat patches. Uses a
// per-pixel table of region numbers and real sums per region.
bool RegionExpand(LayerOpContext& ctx, int tolerance) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h;
    std::vector<int32_t> label(size_t(w) * size_t(h), -1);
    std::vector<double> sums;   // 3 per region
    std::vector<uint32_t> counts;
    std::vector<int32_t> stack;
    for (int r = 0; r < h; ++r) {
        if ((r & 63) == 0) a.Progress(int(int64_t(r) * 100 / h));
        for (int x = 0; x < w; ++x) {
            const size_t start = size_t(r) * size_t(w) + size_t(x);
            if (label[start] >= 0 || !a.AlphaRow(r)[x]) continue;
            const int32_t id = int32_t(counts.size());
            counts.push_back(0);
            sums.insert(sums.end(), {0.0, 0.0, 0.0});
            auto join = [&](size_t i) {
                label[i] = id;
                const uint8_t* p = a.SrcRow(int(i / size_t(w))) + 3 * (i % size_t(w));
                sums[3 * size_t(id)] += p[0], sums[3 * size_t(id) + 1] += p[1], sums[3 * size_t(id) + 2] += p[2];
                ++counts[size_t(id)];
                stack.push_back(int32_t(i));
            };
            join(start);
            while (!stack.empty()) {
                const size_t i = size_t(stack.back());
                stack.pop_back();
                const int px = int(i % size_t(w)), py = int(i / size_t(w));
                const int nx[4] = {px - 1, px + 1, px, px};
                const int ny[4] = {py, py, py - 1, py + 1};
                for (int k = 0; k < 4; ++k) {
                    if (nx[k] < 0 || ny[k] < 0 || nx[k] >= w || ny[k] >= h) continue;
                    const size_t j = size_t(ny[k]) * size_t(w) + size_t(nx[k]);
                    if (label[j] >= 0 || !a.AlphaRow(ny[k])[nx[k]]) continue;
                    const uint8_t* q = a.SrcRow(ny[k]) + 3 * size_t(nx[k]);
                    const double n = counts[size_t(id)];
                    const double dist = std::fabs(q[0] - sums[3 * size_t(id)] / n) +
                                        std::fabs(q[1] - sums[3 * size_t(id) + 1] / n) +
                                        std::fabs(q[2] - sums[3 * size_t(id) + 2] / n);
                    if (dist <= tolerance) join(j);
                }
            }
        }
    }
    ForProcessed(a, [&](int x, int r, uint8_t* d) {
        const int32_t id = label[size_t(r) * size_t(w) + size_t(x)];
        const double n = counts[size_t(id)];
        for (int c = 0; c < 3; ++c) d[c] = Clamp255(int(sums[3 * size_t(id) + size_t(c)] / n + 0.5));
    });
    a.Commit();
    a.Progress(0);
    return true;
}

// "방울채색" (bubble colouring): round bubbles on a staggered grid of cells
// bubbleSize + 3 pixels wide, each filled with the mean colour of its cell
// and shaded like a sphere (lighter towards the upper left); a bubble's rim
// is darkened by outline * 4 percent; the gaps between bubbles show the
// colour at half brightness.
bool BubbleColouring(LayerOpContext& ctx, int bubbleSize, int outline) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h;
    const int s = std::clamp(bubbleSize, 0, 60) + 3;
    const int rows = h / s + 2, cols = w / s + 2;
    // Cell centres: row j at y = j s + s/2, odd rows shifted by s/2.
    auto centre = [&](int i, int j, double& cx, double& cy) {
        cx = i * s + s / 2.0 - ((j & 1) ? s / 2.0 : 0.0);
        cy = j * s + s / 2.0;
    };
    std::vector<uint8_t> mean(size_t(rows) * size_t(cols) * 3, 0);
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i) {
            double cx, cy;
            centre(i, j, cx, cy);
            uint32_t sum[3] = {0, 0, 0}, n = 0;
            for (int r = std::max(0, int(cy - s / 2.0)); r < std::min(h, int(cy + s / 2.0) + 1); ++r)
                for (int x = std::max(0, int(cx - s / 2.0)); x < std::min(w, int(cx + s / 2.0) + 1); ++x) {
                    const uint8_t* p = a.SrcRow(r) + 3 * size_t(x);
                    sum[0] += p[0], sum[1] += p[1], sum[2] += p[2], ++n;
                }
            if (!n) {
                const uint8_t* p =
                    a.SrcRow(std::clamp(int(cy), 0, h - 1)) + 3 * size_t(std::clamp(int(cx), 0, w - 1));
                sum[0] = p[0], sum[1] = p[1], sum[2] = p[2], n = 1;
            }
            for (int c = 0; c < 3; ++c) mean[(size_t(j) * size_t(cols) + size_t(i)) * 3 + size_t(c)] = uint8_t(sum[c] / n);
        }
    const double R = s * 0.5;
    const int dark = 100 - 4 * std::clamp(outline, 0, 25);
    ForProcessed(a, [&](int x, int r, uint8_t* d) {
        const int j0 = r / s;
        double best = 1e30, bdx = 0, bdy = 0;
        int bi = 0, bj = 0;
        for (int j = std::max(0, j0 - 1); j <= std::min(rows - 1, j0 + 1); ++j) {
            const int i0 = int((x + ((j & 1) ? s / 2.0 : 0.0)) / s);
            for (int i = std::max(0, i0 - 1); i <= std::min(cols - 1, i0 + 1); ++i) {
                double cx, cy;
                centre(i, j, cx, cy);
                const double dd = (x - cx) * (x - cx) + (r - cy) * (r - cy);
                if (dd < best) best = dd, bi = i, bj = j, bdx = x - cx, bdy = r - cy;
            }
        }
        const uint8_t* m = &mean[(size_t(bj) * size_t(cols) + size_t(bi)) * 3];
        const double dist = std::sqrt(best);
        for (int c = 0; c < 3; ++c) {
            int v;
            if (dist > R) {
                v = m[c] / 2;
            } else {
                const double light = 1.0 + 0.3 * (-bdx + bdy) / (R * 1.4143) - 0.15 * (dist / R) * (dist / R);
                v = int(m[c] * light);
                if (dist > R - 1.2) v = v * dark / 100;
            }
            d[c] = Clamp255(v);
        }
    });
    a.Commit();
    a.Progress(0);
    return true;
}

// "유화" (oil painting): within a window of radius 1 + brushLength / 3 the
// luminances fall into 8 + detail * 24 / 99 levels; the pixel takes the mean
// colour of the most frequent level (the lower level on ties), which gives
// flat dabs of paint that keep the shapes' edges.
bool OilPainting(LayerOpContext& ctx, int brushLength, int detail) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h;
    const int rad = 1 + std::clamp(brushLength, 0, 30) / 3;
    const int levels = 8 + std::clamp(detail, 0, 99) * 24 / 99;
    std::vector<uint8_t> lev(size_t(w) * size_t(h));
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) lev[size_t(r) * size_t(w) + size_t(x)] = uint8_t(Lum(a.SrcRow(r) + 3 * size_t(x)) * levels / 256);
    std::vector<uint32_t> cnt(static_cast<size_t>(levels)), sb(cnt), sg(cnt), sr(cnt);
    for (int r = 0; r < h; ++r) {
        if ((r & 31) == 0) a.Progress(int(int64_t(r) * 100 / h));
        const int r0 = std::max(0, r - rad), r1 = std::min(h - 1, r + rad);
        std::fill(cnt.begin(), cnt.end(), 0u), std::fill(sb.begin(), sb.end(), 0u);
        std::fill(sg.begin(), sg.end(), 0u), std::fill(sr.begin(), sr.end(), 0u);
        auto column = [&](int xx, int sign) {
            for (int rr = r0; rr <= r1; ++rr) {
                const uint8_t L = lev[size_t(rr) * size_t(w) + size_t(xx)];
                const uint8_t* p = a.SrcRow(rr) + 3 * size_t(xx);
                cnt[L] += uint32_t(sign), sb[L] += uint32_t(sign * p[0]), sg[L] += uint32_t(sign * p[1]),
                    sr[L] += uint32_t(sign * p[2]);
            }
        };
        for (int xx = 0; xx <= std::min(w - 1, rad); ++xx) column(xx, 1);
        const uint8_t* al = a.AlphaRow(r);
        uint8_t* d = a.DstRow(r);
        for (int x = 0; x < w; ++x) {
            if (x > 0) {
                if (x + rad < w) column(x + rad, 1);
                if (x - rad - 1 >= 0) column(x - rad - 1, -1);
            }
            if (!al[x]) continue;
            int best = 0;
            for (int L = 1; L < levels; ++L)
                if (cnt[size_t(L)] > cnt[size_t(best)]) best = L;
            const uint32_t n = cnt[size_t(best)];
            d[3 * x] = uint8_t(sb[size_t(best)] / n), d[3 * x + 1] = uint8_t(sg[size_t(best)] / n),
                  d[3 * x + 2] = uint8_t(sr[size_t(best)] / n);
        }
    }
    a.Commit();
    a.Progress(0);
    return true;
}

// "부드럽게B" (soften B): an edge-keeping soften. Each pixel becomes the mean
// of the pixels of its 5 x 5 window (inside the layer, non-zero alpha) whose
// colour differs from its own by at most 48 in the sum of channel
// distances: flat areas and gentle gradients smooth out, edges stay sharp.
bool SoftenB(LayerOpContext& ctx) {
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const int w = a.w, h = a.h;
    ForProcessed(a, [&](int x, int r, uint8_t* d) {
        const uint8_t* c = a.SrcRow(r) + 3 * size_t(x);
        uint32_t s[3] = {0, 0, 0}, n = 0;
        for (int rr = std::max(0, r - 2); rr <= std::min(h - 1, r + 2); ++rr) {
            const uint8_t* al = a.AlphaRow(rr);
            for (int xx = std::max(0, x - 2); xx <= std::min(w - 1, x + 2); ++xx) {
                if (!al[xx]) continue;
                const uint8_t* p = a.SrcRow(rr) + 3 * size_t(xx);
                if (std::abs(p[0] - c[0]) + std::abs(p[1] - c[1]) + std::abs(p[2] - c[2]) > 48) continue;
                s[0] += p[0], s[1] += p[1], s[2] += p[2], ++n;
            }
        }
        for (int k = 0; k < 3; ++k) d[k] = uint8_t(s[k] / n);
    });
    a.Commit();
    a.Progress(0);
    return true;
}

}  // namespace layerops
