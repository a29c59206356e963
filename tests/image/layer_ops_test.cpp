// Layer operations against hand-computed cases and against plain reference
// implementations on random layers with random alpha and random selections.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include "layer_access.h"
#include "layer_ops.h"
#include "test_support.h"

using namespace layerops;

namespace {

struct Fixture {
    VaZavi image{kTypeBMP};
    LayerRecord layer;
    SelectionMask sel;
    std::vector<uint8_t> outPixels, outAlpha;
    LayerOpContext ctx;

    Fixture(int w, int h, uint32_t seed, bool withSelection, bool zeroAlpha = true) {
        std::mt19937 rng(seed);
        layer.width = w;
        layer.height = h;
        layer.stride = ((w * 24 + 31) / 32) * 4;
        layer.pixelSize = layer.stride * h;
        layer.planeSize = w * h;
        layer.x = 3;
        layer.y = -2;
        layer.pixels.reset(new uint8_t[size_t(layer.pixelSize)]);
        layer.alpha.reset(new uint8_t[size_t(layer.planeSize)]);
        // Smooth-ish content with noise so ties and edges both occur.
        for (int r = 0; r < h; ++r)
            for (int x = 0; x < layer.stride; ++x)
                layer.pixels[size_t(r) * layer.stride + x] = uint8_t((x * 7 + r * 13) / 3 + (rng() % 40));
        for (int i = 0; i < w * h; ++i) layer.alpha[size_t(i)] = (zeroAlpha && rng() % 5 == 0) ? 0 : uint8_t(rng() % 255 + 1);
        outPixels.assign(size_t(layer.pixelSize), 0);
        outAlpha.assign(size_t(layer.planeSize), 0);
        for (size_t i = 0; i < outPixels.size(); ++i) outPixels[i] = uint8_t(rng());
        for (size_t i = 0; i < outAlpha.size(); ++i) outAlpha[i] = uint8_t(rng());
        image.info.backgroundColor = RgbQuad{17, 99, 201, 0};
        if (withSelection) {
            sel.width = w + 2;
            sel.height = h;
            sel.x = 1;
            sel.y = -1;
            sel.size = sel.width * sel.height;
            sel.mask.resize(size_t(sel.size));
            for (auto& m : sel.mask) m = uint8_t(rng() % 3);
        }
        ctx.image = &image;
        ctx.layer = &layer;
        ctx.bitsPerPixel = 24;
        ctx.outPixels = outPixels.data();
        ctx.outAlpha = outAlpha.data();
        ctx.selection = withSelection ? &sel : nullptr;
    }
    const uint8_t* Px(int x, int r) const { return layer.pixels.get() + size_t(r) * layer.stride + 3 * size_t(x); }
    uint8_t A(int x, int r) const { return layer.alpha[size_t(r) * layer.width + x]; }
    bool Marked(int x, int r) const {
        if (!ctx.selection) return true;
        const int mc = x + layer.x - sel.x, mr = r - layer.y + sel.y;
        return mc >= 0 && mr >= 0 && mc < sel.width && mr < sel.height && sel.mask[size_t(mr) * sel.width + mc] == 1;
    }
};

// The one-pixel paint of the reference implementations: with a selection
// only the pixels it marks change (colour and alpha).
void Paint(const Fixture& f, std::vector<uint8_t>& px, std::vector<uint8_t>& al, int x, int r, const int c[3]) {
    if (!f.Marked(x, r)) return;
    for (int k = 0; k < 3; ++k) px[size_t(r) * f.layer.stride + 3 * size_t(x) + k] = uint8_t(std::clamp(c[k], 0, 255));
    al[size_t(r) * f.layer.width + x] = 255;
}

using RefFn = std::function<bool(const Fixture& f, int x, int r, int c[3])>;   // false: not written

// Alpha planes the filters treat differently: random zeros everywhere,
// none (whole rows take the vector paths), zeros in a few rows only.
enum class Holes { Random, None, FewRows };

void SetHoles(Fixture& f, Holes holes, uint32_t seed) {
    if (holes == Holes::Random) return;
    std::mt19937 rng(seed * 31 + 5);
    for (int i = 0; i < f.layer.planeSize; ++i) f.layer.alpha[size_t(i)] = uint8_t(rng() % 255 + 1);
    if (holes == Holes::FewRows)
        for (int r = 0; r < f.layer.height; r += 7) f.layer.alpha[size_t(r) * f.layer.width + rng() % f.layer.width] = 0;
}

// Runs `fast` on a fixture and the reference on a copy; compares every byte.
void Check(const char* what, int w, int h, uint32_t seed, bool sel, const std::function<bool(LayerOpContext&)>& fast,
           const RefFn& ref, Holes holes = Holes::Random) {
    Fixture f(w, h, seed, sel);
    SetHoles(f, holes, seed);
    std::vector<uint8_t> px = f.outPixels, al = f.outAlpha;
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            if (!f.A(x, r)) continue;
            int c[3];
            if (ref(f, x, r, c)) Paint(f, px, al, x, r, c);
        }
    ASSERT_TRUE(fast(f.ctx)) << what;
    EXPECT_EQ(f.outPixels, px) << what << " pixels, seed " << seed;
    EXPECT_EQ(f.outAlpha, al) << what << " alpha, seed " << seed;
}

struct Win { int lo, hi; };
Win Window(int n) { return Win{-(n / 2), n - n / 2 - 1}; }

RefFn RefMean(int n, int wc) {
    return [n, wc](const Fixture& f, int x, int r, int c[3]) {
        long s[3] = {0, 0, 0}, wt = 0;
        const Win wi = Window(n);
        for (int dy = wi.lo; dy <= wi.hi; ++dy)
            for (int dx = wi.lo; dx <= wi.hi; ++dx) {
                const int xx = x + dx, yy = r + dy;
                if (xx < 0 || yy < 0 || xx >= f.layer.width || yy >= f.layer.height || !f.A(xx, yy)) continue;
                const int k = (dx == 0 && dy == 0) ? wc : 1;
                for (int ch = 0; ch < 3; ++ch) s[ch] += k * f.Px(xx, yy)[ch];
                wt += k;
            }
        for (int ch = 0; ch < 3; ++ch) c[ch] = int(s[ch] / wt);
        return true;
    };
}

RefFn RefMinMax(int n, bool mx) {
    return [n, mx](const Fixture& f, int x, int r, int c[3]) {
        const Win wi = Window(n);
        for (int ch = 0; ch < 3; ++ch) c[ch] = mx ? 0 : 255;
        const uint8_t out[3] = {f.image.info.backgroundColor.blue, f.image.info.backgroundColor.green,
                                f.image.info.backgroundColor.red};
        for (int dy = wi.lo; dy <= wi.hi; ++dy)
            for (int dx = wi.lo; dx <= wi.hi; ++dx) {
                const int xx = x + dx, yy = r + dy;
                const bool in = !(xx < 0 || yy < 0 || xx >= f.layer.width || yy >= f.layer.height);
                if (!in && !mx) continue;
                for (int ch = 0; ch < 3; ++ch) {
                    const int v = in ? f.Px(xx, yy)[ch] : out[ch];
                    c[ch] = mx ? std::max(c[ch], v) : std::min(c[ch], v);
                }
            }
        return true;
    };
}

RefFn RefConvolve(const int k[9], int a, int b, bool inv) {
    std::vector<int> kernel(k, k + 9);
    return [kernel, a, b, inv](const Fixture& f, int x, int r, int c[3]) {
        int K = 0;
        for (int v : kernel) K += v;
        int s[3] = {0, 0, 0}, m = 0;
        for (int kr = 0; kr < 3; ++kr)
            for (int kc = 0; kc < 3; ++kc) {
                const int xx = x + kc - 1, yy = r + kr - 1;
                if (xx < 0 || yy < 0 || xx >= f.layer.width || yy >= f.layer.height) continue;
                for (int ch = 0; ch < 3; ++ch) s[ch] += kernel[size_t(kr * 3 + kc)] * f.Px(xx, yy)[ch];
                ++m;
            }
        for (int ch = 0; ch < 3; ++ch) {
            int v = a == 0 ? b + s[ch] : (K == m || K == 0) ? b + s[ch] / a : b + (K * s[ch]) / (m * a);
            v = std::clamp(v, 0, 255);
            c[ch] = inv ? 255 - v : v;
        }
        return true;
    };
}

RefFn RefMedian(int n) {
    return [n](const Fixture& f, int x, int r, int c[3]) {
        const Win wi = Window(n);
        std::vector<std::pair<int, const uint8_t*>> v;
        for (int dy = wi.lo; dy <= wi.hi; ++dy)
            for (int dx = wi.lo; dx <= wi.hi; ++dx) {
                const int xx = x + dx, yy = r + dy;
                if (xx < 0 || yy < 0 || xx >= f.layer.width || yy >= f.layer.height) continue;
                const uint8_t* p = f.Px(xx, yy);
                v.push_back({(59 * p[1] + 30 * p[2] + 11 * p[0]) / 100, p});
            }
        // Equal luminances keep their window order (rows, then columns).
        std::stable_sort(v.begin(), v.end(), [](auto& a, auto& b) { return a.first < b.first; });
        const uint8_t* p = v[v.size() / 2].second;
        for (int ch = 0; ch < 3; ++ch) c[ch] = p[ch];
        return true;
    };
}

RefFn RefWatercolour() {
    return [](const Fixture& f, int x, int r, int c[3]) {
        int cnt[31] = {}, s[31][3] = {};
        for (int yy = r - 3; yy <= r + 3; ++yy)
            for (int xx = x - 3; xx <= x + 3; ++xx) {
                if (xx < 0 || yy < 0 || xx >= f.layer.width || yy >= f.layer.height) continue;
                const uint8_t* p = f.Px(xx, yy);
                const int lum = int(0.11 * p[0] + 0.59 * p[1] + 0.3 * p[2]) % 256;
                const int bin = int(lum * 0.11764705882352941);
                ++cnt[bin];
                for (int ch = 0; ch < 3; ++ch) s[bin][ch] += p[ch];
            }
        int best = 0;
        for (int b = 1; b < 31; ++b)
            if (cnt[b] > cnt[best]) best = b;
        for (int ch = 0; ch < 3; ++ch) c[ch] = s[best][ch] / cnt[best];
        return true;
    };
}

}  // namespace

TEST(LayerOpsExact, WindowMeanMatchesReference) {
    for (int n : {1, 2, 3, 4, 5, 9})
        for (int wc : {1, n * n}) {
            Check("mean", 23, 17, uint32_t(n * 10 + wc), true, [&](LayerOpContext& c) { return WindowMean(c, n, wc); },
                  RefMean(n, wc));
        }
    Check("mean no selection", 31, 3, 7, false, [](LayerOpContext& c) { return WindowMean(c, 5, 1); }, RefMean(5, 1));
}

TEST(LayerOpsExact, ErodeDilateMatchReference) {
    for (int n : {1, 2, 3, 4, 7, 20}) {
        Check("erode", 29, 19, uint32_t(n), true, [&](LayerOpContext& c) { return Erode(c, n); }, RefMinMax(n, false));
        Check("dilate", 29, 19, uint32_t(n + 50), true, [&](LayerOpContext& c) { return Dilate(c, n); },
              RefMinMax(n, true));
    }
}

TEST(LayerOpsExact, ConvolutionMatchesReference) {
    const int ones[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    const int outline[9] = {-1, -1, -1, -1, 8, -1, -1, -1, -1};
    const int emboss[9] = {-3, 0, 0, 0, 0, 0, 0, 0, 3};
    const int odd[9] = {1, 2, -1, 0, 3, 1, -2, 1, 1};
    for (int a : {0, 1, 2, 9, -3})
        for (const int* k : {ones, outline, emboss, odd})
            for (int inv : {0, 1})
                Check("convolve", 21, 13, uint32_t(a * 7 + inv),
                      true, [&](LayerOpContext& c) { return Convolve3x3(c, k, a, 5, inv != 0); },
                      RefConvolve(k, a, 5, inv != 0));
}

TEST(LayerOpsExact, MedianAndWatercolourMatchReference) {
    for (int n : {1, 2, 3, 5})
        Check("median", 61, 47, uint32_t(n), true, [&](LayerOpContext& c) { return Median(c, n); }, RefMedian(n));
    Check("watercolour", 25, 21, 3, true, [](LayerOpContext& c) { return Watercolour(c); }, RefWatercolour());
}

// The row-vector paths and their fall-backs near the edges, around
// transparent pixels and at the seam of the two row halves: every layer
// size 1..17 in both directions (a sample of pairs), a few wide ones, every
// window size the dialogs offer.
TEST(LayerOpsExact, WindowFiltersMatchReferenceOnAllShapes) {
    std::vector<std::pair<int, int>> shapes;
    for (int w : {1, 2, 3, 5, 6, 9, 16, 17})
        for (int h : {1, 2, 3, 4, 7, 17}) shapes.push_back({w, h});
    shapes.insert(shapes.end(), {{70, 40}, {203, 13}, {33, 64}});
    const int outline[9] = {-1, -1, -1, -1, 8, -1, -1, -1, -1};
    const int emboss[9] = {-10, 0, 0, 0, 0, 0, 0, 0, 10};
    const int odd[9] = {1, 2, -1, 0, 3, 1, -2, 1, 1};
    uint32_t seed = 100;
    for (auto [w, h] : shapes)
        for (Holes holes : {Holes::None, Holes::FewRows, Holes::Random}) {
            const bool sel = (seed & 1) != 0;
            ++seed;
            for (int n = 1; n <= 9; ++n) {
                for (int wc : {1, n * n})
                    Check("mean", w, h, seed, sel, [&](LayerOpContext& c) { return WindowMean(c, n, wc); },
                          RefMean(n, wc), holes);
            }
            // 16-bit sums without an exact reciprocal (blur 14), then
            // sums beyond 16 bits.
            const bool wide = w * h > 17 * 17;   // large windows on the small shapes only
            for (auto [n, wc] : {std::pair{14, 1}, {12, 12 * 12}, {17, 1}}) {
                if (wide && n == 17) continue;
                Check("mean", w, h, seed, sel, [&](LayerOpContext& c) { return WindowMean(c, n, wc); }, RefMean(n, wc),
                      holes);
            }
            for (int n : {1, 2, 3, 4, 5, 8, 13, 20}) {
                if (wide && n > 8) continue;
                Check("erode", w, h, seed, sel, [&](LayerOpContext& c) { return Erode(c, n); }, RefMinMax(n, false),
                      holes);
                Check("dilate", w, h, seed, sel, [&](LayerOpContext& c) { return Dilate(c, n); }, RefMinMax(n, true),
                      holes);
            }
            // Every kernel, divisor and inversion on the wide shapes; one
            // combination per divisor on the small ones.
            int combo = 0;
            for (auto [a, b] : {std::pair{0, 0}, {1, 30}, {2, -30}, {5, 7}, {-3, 4}, {99, 0}})
                for (const int* k : {outline, emboss, odd})
                    for (bool inv : {false, true}) {
                        if (!wide && combo++ % 7 != 0) continue;
                        Check("convolve", w, h, seed, sel, [&](LayerOpContext& c) { return Convolve3x3(c, k, a, b, inv); },
                              RefConvolve(k, a, b, inv), holes);
                    }
            for (int n : {1, 2, 3, 4, 5})
                Check("median", w, h, seed, sel, [&](LayerOpContext& c) { return Median(c, n); }, RefMedian(n), holes);
            if (HasFailure()) return;
        }
}

// The SSE2 paths that processors with AVX2 only use for the rest of a row.
TEST(LayerOpsExact, WindowFiltersWithoutAvx2MatchReference) {
    AllowAvx2Paths(false);
    const int outline[9] = {-1, -1, -1, -1, 8, -1, -1, -1, -1};
    const int emboss[9] = {-10, 0, 0, 0, 0, 0, 0, 0, 10};
    uint32_t seed = 900;
    for (auto [w, h] : {std::pair{70, 40}, {203, 13}})
        for (Holes holes : {Holes::None, Holes::FewRows}) {
            ++seed;
            for (int n : {3, 5, 9})
                for (int wc : {1, n * n})
                    Check("mean", w, h, seed, true, [&](LayerOpContext& c) { return WindowMean(c, n, wc); },
                          RefMean(n, wc), holes);
            for (auto [a, b] : {std::pair{0, 0}, {2, -30}, {-3, 4}})
                for (const int* k : {outline, emboss})
                    Check("convolve", w, h, seed, false, [&](LayerOpContext& c) { return Convolve3x3(c, k, a, b, a < 0); },
                          RefConvolve(k, a, b, a < 0), holes);
            for (int n : {3, 5})
                Check("median", w, h, seed, true, [&](LayerOpContext& c) { return Median(c, n); }, RefMedian(n), holes);
        }
    AllowAvx2Paths(true);
}

// Uniform and extreme pictures: ties everywhere (median keys), clamping at
// both ends (convolution with large offsets), sums at their 16-bit limit
// (mean of white with the largest centre weight).
TEST(LayerOpsExact, WindowFiltersOnFlatAndExtremePictures) {
    for (int fill : {0, 255, 128}) {
        for (int n : {3, 5, 9}) {
            Fixture f(37, 21, 3, true);
            SetHoles(f, Holes::None, 3);
            std::memset(f.layer.pixels.get(), fill, size_t(f.layer.pixelSize));
            std::vector<uint8_t> px = f.outPixels;
            ASSERT_TRUE(WindowMean(f.ctx, n, n * n));
            // Marked pixels keep the fill; the others their scratch bytes.
            for (int r = 0; r < 21; ++r)
                for (int x = 0; x < 37 * 3; ++x) {
                    const size_t at = size_t(r) * f.layer.stride + x;
                    ASSERT_EQ(f.outPixels[at], f.Marked(x / 3, r) ? fill : px[at]);
                }
        }
    }
    const int big[9] = {-16, -16, -16, -16, 127, -16, -16, -16, -16};   // 255 * 239 would overflow 16 bits
    Check("convolve big", 40, 9, 4, true, [&](LayerOpContext& c) { return Convolve3x3(c, big, 3, 0, false); },
          RefConvolve(big, 3, 0, false), Holes::None);
    const int outline[9] = {-1, -1, -1, -1, 8, -1, -1, -1, -1};
    for (int off : {-40000, -300, 300, 40000})
        Check("convolve offset", 40, 9, 5, false, [&](LayerOpContext& c) { return Convolve3x3(c, outline, 1, off, true); },
              RefConvolve(outline, 1, off, true), Holes::None);
}

// The 16-bit reciprocals: every divisor Set() accepts is exact over its
// whole range, and it accepts every divisor the dialogs lead to: window
// means of sizes 1..9 (n n, and 2 n n - 1 for soften, sums up to 255 times
// that) and the convolution divisors 1..99 (|sums| up to 32767). Divisors
// it refuses take the scalar path (blur 14: 196).
TEST(LayerOpsExact, Reciprocal16IsExactOverItsRange) {
    auto exact = [](uint32_t d, uint32_t max) {
        Recip16 rc;
        if (!rc.Set(d, max)) return false;
        for (uint32_t x = 0; x <= max; ++x)
            if (rc(x) != x / d) {
                ADD_FAILURE() << x << " / " << d;
                return false;
            }
        return true;
    };
    for (uint32_t n = 1; n <= 9; ++n) {
        EXPECT_TRUE(exact(n * n, 255 * n * n)) << n;
        EXPECT_TRUE(exact(2 * n * n - 1, 255 * (2 * n * n - 1))) << n;
    }
    for (uint32_t d = 1; d <= 257; ++d) exact(d, 255 * d);
    for (uint32_t d = 1; d <= 99; ++d) EXPECT_TRUE(exact(d, 32767)) << d;
    Recip16 rc;
    EXPECT_FALSE(rc.Set(196, 255 * 196));
    EXPECT_FALSE(rc.Set(3, 70000));
}

// The median-of-25 exchange network selects the 13th smallest of every
// input: by the 0-1 principle it is enough that it does so for all 2^25
// inputs of zeros and ones (min = and, max = or), 64 of them per word.
TEST(LayerOpsExact, MedianNetworkSelectsTheMiddleOf25) {
    const MedianNet25& net = kMedianNet25;
    EXPECT_LT(net.count, 120);
    uint64_t expect[26];   // lanes whose 25 bits hold at least 13 ones, by the ones of the top 19 bits
    for (int top = 0; top <= 19; ++top) {
        expect[top] = 0;
        for (int lane = 0; lane < 64; ++lane)
            if (top + __builtin_popcount(unsigned(lane)) >= 13) expect[top] |= uint64_t(1) << lane;
    }
    uint64_t low[6];   // wire i < 6 carries bit i of the lane number
    for (int i = 0; i < 6; ++i) {
        low[i] = 0;
        for (int lane = 0; lane < 64; ++lane)
            if (lane >> i & 1) low[i] |= uint64_t(1) << lane;
    }
    for (uint32_t block = 0; block < (1u << 19); ++block) {
        uint64_t v[25];
        for (int i = 0; i < 6; ++i) v[i] = low[i];
        for (int i = 6; i < 25; ++i) v[i] = (block >> (i - 6) & 1) ? ~uint64_t(0) : 0;
        for (int t = 0; t < net.count; ++t) {
            const uint64_t p = v[net.ops[t].x], q = v[net.ops[t].y];
            v[net.ops[t].x] = p & q;
            v[net.ops[t].y] = p | q;
        }
        ASSERT_EQ(v[net.out], expect[__builtin_popcount(block)]) << block;
    }
}

TEST(LayerOpsExact, MirrorFlipMoveColourAndAlpha) {
    Fixture f(9, 6, 11, true);
    std::vector<uint8_t> px = f.outPixels, al = f.outAlpha;
    ASSERT_TRUE(MirrorLayer(f.ctx));
    for (int r = 0; r < 6; ++r)
        for (int x = 0; x < 9; ++x) {
            const uint8_t* was = px.data() + size_t(r) * f.layer.stride + 3 * x;
            EXPECT_EQ(0, std::memcmp(f.outPixels.data() + size_t(r) * f.layer.stride + 3 * x,
                                     f.Marked(x, r) ? f.Px(8 - x, r) : was, 3));
            EXPECT_EQ(f.outAlpha[size_t(r) * 9 + x], f.Marked(x, r) ? f.A(8 - x, r) : al[size_t(r) * 9 + x]);
        }
    Fixture g(9, 6, 12, false);
    ASSERT_TRUE(FlipLayer(g.ctx));
    for (int r = 0; r < 6; ++r)
        for (int x = 0; x < 9; ++x) {
            EXPECT_EQ(0, std::memcmp(g.outPixels.data() + size_t(r) * g.layer.stride + 3 * x, g.Px(x, 5 - r), 3));
            EXPECT_EQ(g.outAlpha[size_t(r) * 9 + x], g.A(x, 5 - r));
        }
}

TEST(LayerOpsExact, RotateMatchesRule) {
    // 70 x 50 turns into more than 32 rows: the two-worker path.
    for (auto [W, H] : {std::pair{13, 7}, {70, 50}})
    for (double deg : {0.0, 30.0, 90.0, -90.0, 180.0, 47.5}) {
        Fixture f(W, H, 5, false);
        int nw, nh;
        RotatedSize(W, H, deg, nw, nh);
        LayerRecord dst;
        dst.width = nw, dst.height = nh, dst.stride = ((nw * 24 + 31) / 32) * 4;
        dst.pixels.reset(new uint8_t[size_t(dst.stride) * nh]());
        dst.alpha.reset(new uint8_t[size_t(nw) * nh]());
        ASSERT_TRUE(RotateLayer(f.image, f.layer, dst, 24, deg));
        const double th = -(deg * (1.0 / 90) * std::acos(0.0));
        const double cs = std::cos(th), sn = std::sin(th);
        int xmin = 0, ymin = 0;
        for (auto [cx, cy] : {std::pair{0, 0}, {W - 1, 0}, {0, H - 1}, {W - 1, H - 1}}) {
            xmin = std::min(xmin, int(cx * cs - cy * sn));
            ymin = std::min(ymin, int(cx * sn + cy * cs));
        }
        for (int r = 0; r < nh; ++r)
            for (int c = 0; c < nw; ++c) {
                const double x = xmin + c, y = ymin + r;
                const int sx = int(x * cs + y * sn - 0.5), sy = int(y * cs - x * sn - 0.5);
                const uint8_t* d = dst.pixels.get() + size_t(r) * dst.stride + 3 * c;
                if (sx >= 0 && sy >= 0 && sx < W && sy < H) {
                    ASSERT_EQ(0, std::memcmp(d, f.Px(sx, sy), 3)) << deg;
                    ASSERT_EQ(dst.alpha[size_t(r) * nw + c], f.A(sx, sy));
                } else {
                    ASSERT_EQ(d[0], 17);
                    ASSERT_EQ(d[2], 201);
                    ASSERT_EQ(dst.alpha[size_t(r) * nw + c], 0);
                }
            }
    }
}

TEST(LayerOpsExact, ResizeTablesMatchSampleBilinear) {
    Fixture f(11, 8, 9, false);
    LayerRecord dst;
    dst.width = 25, dst.height = 19, dst.stride = ((25 * 24 + 31) / 32) * 4;
    dst.pixels.reset(new uint8_t[size_t(dst.stride) * 19]);
    dst.alpha.reset(new uint8_t[25 * 19]);
    ASSERT_TRUE(ResizeLayer(f.image, f.layer, dst));
    for (int j = 0; j < 19; ++j)
        for (int i = 0; i < 25; ++i) {
            const uint32_t c = SampleBilinear(f.layer, (i + 0.5) * 11 / 25 - 0.5, (j + 0.5) * 8 / 19 - 0.5);
            const uint8_t* d = dst.pixels.get() + size_t(j) * dst.stride + 3 * i;
            ASSERT_EQ(PackBGR(d[0], d[1], d[2]), c) << i << "," << j;
        }
}

TEST(LayerOpsEdges, RotatedSizes) {
    int w, h;
    RotatedSize(100, 50, 90, w, h);
    EXPECT_EQ(w, 50); EXPECT_EQ(h, 100);
    RotatedSize(100, 50, 0, w, h);
    EXPECT_EQ(w, 100); EXPECT_EQ(h, 50);
    RotatedSize(100, 50, 45, w, h);
    EXPECT_EQ(w, 105); EXPECT_EQ(h, 105);
    RotatedSize(100, 50, 30, w, h);
    EXPECT_EQ(w, 111); EXPECT_EQ(h, 92);
}

TEST(LayerOpsEdges, RotateByZeroShiftsRight) {
    Fixture f(5, 2, 1, false, false);
    LayerRecord dst;
    dst.width = 5, dst.height = 2, dst.stride = f.layer.stride;
    dst.pixels.reset(new uint8_t[size_t(dst.stride) * 2]);
    dst.alpha.reset(new uint8_t[10]);
    ASSERT_TRUE(RotateLayer(f.image, f.layer, dst, 24, 0.0));
    EXPECT_EQ(0, std::memcmp(dst.pixels.get(), f.Px(0, 0), 3));
    EXPECT_EQ(0, std::memcmp(dst.pixels.get() + 3, f.Px(0, 0), 3));
    EXPECT_EQ(0, std::memcmp(dst.pixels.get() + 12, f.Px(3, 0), 3));
}

TEST(LayerOpsEdges, SampleBilinearCases) {
    Fixture f(4, 4, 2, false);
    const uint8_t* p = f.Px(2, 1);
    EXPECT_EQ(SampleBilinear(f.layer, 2, 1), PackBGR(p[0], p[1], p[2]));
    EXPECT_EQ(SampleBilinear(f.layer, -1.5, 1), PackBGR(255, 255, 255, 0));
    // Half way between two pixels: 128/256 each (black beyond the edge).
    const uint8_t* q = f.Px(3, 0);
    EXPECT_EQ(ColB(SampleBilinear(f.layer, 3.5, 0)), (128 * q[0]) >> 8);
}

TEST(LayerOpsEdges, ColourConversions) {
    Hsl red = RgbToHsl(255, 0, 0);
    EXPECT_EQ(red.h, 0); EXPECT_EQ(red.s, 255); EXPECT_EQ(red.l, 128);
    Hsl grey = RgbToHsl(100, 100, 100);
    EXPECT_EQ(grey.h, 255); EXPECT_EQ(grey.s, 0);
    Yuv y = RgbToYuv(255, 255, 255);
    EXPECT_EQ(y.y, 255);
}

TEST(LayerOpsEdges, ThresholdsAndHistogram) {
    Fixture f(2, 1, 1, false, false);
    uint8_t* p = f.layer.pixels.get();
    std::memset(p, 200, 3);
    std::memset(p + 3, 100, 3);
    ASSERT_TRUE(ThresholdSimple(f.ctx, 128));
    EXPECT_EQ(f.outPixels[0], 0);
    EXPECT_EQ(f.outPixels[3], 255);
    EXPECT_EQ(f.outAlpha[0], f.A(0, 0));   // alpha carried, not set to 255
    std::memset(p, 255, 3);
    std::memset(p + 3, 0, 3);
    ASSERT_TRUE(ThresholdOrdered(f.ctx, 0));
    EXPECT_EQ(f.outPixels[0], 0);     // d = 40, base 2: black
    EXPECT_EQ(f.outPixels[3], 255);   // pick 0: white

    Fixture w(10, 10, 1, false, false);
    std::memset(w.layer.pixels.get(), 255, size_t(w.layer.pixelSize));
    uint32_t table[1024];
    ASSERT_TRUE(Histogram(w.ctx, table));
    EXPECT_EQ(table[255], 100u); EXPECT_EQ(table[511], 100u); EXPECT_EQ(table[767], 100u);
    EXPECT_EQ(table[1023], 100u);
}

TEST(LayerOpsEdges, MeanOfUniformAndCornerConvolution) {
    Fixture f(6, 5, 1, false, false);
    std::memset(f.layer.pixels.get(), 77, size_t(f.layer.pixelSize));
    ASSERT_TRUE(WindowMean(f.ctx, 3, 9));
    for (int r = 0; r < 5; ++r)
        for (int x = 0; x < 18; ++x) EXPECT_EQ(f.outPixels[size_t(r) * f.layer.stride + x], 77);
    Fixture g(3, 3, 4, false, false);
    const int ones[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    ASSERT_TRUE(Convolve3x3(g.ctx, ones, 9, 0, false));
    int sum = g.Px(0, 0)[1] + g.Px(1, 0)[1] + g.Px(0, 1)[1] + g.Px(1, 1)[1];
    EXPECT_EQ(g.outPixels[1], (9 * sum) / (4 * 9));
}

// The outline and emboss kernels sum to 0; with divisor 2 an inner pixel is
// b + sum div 2, not b (which would flatten the picture).
TEST(LayerOpsEdges, ZeroSumKernelsWithDivisor) {
    Fixture f(3, 3, 1, false, false);
    for (int r = 0; r < 3; ++r)
        for (int x = 0; x < 3; ++x) std::memset(f.layer.pixels.get() + size_t(r) * f.layer.stride + 3 * x, 10 * (x + 3 * r), 3);
    const int outline[9] = {-1, -1, -1, -1, 8, -1, -1, -1, -1};
    ASSERT_TRUE(Convolve3x3(f.ctx, outline, 2, 0, false));
    // Centre 40, neighbours sum 320: 8*40 - 320 = 0 -> 0; use an uneven one:
    f.layer.pixels[size_t(1) * f.layer.stride + 3] = 100;   // centre blue
    ASSERT_TRUE(Convolve3x3(f.ctx, outline, 2, 0, false));
    EXPECT_EQ(f.outPixels[size_t(1) * f.layer.stride + 3], (8 * 100 - 320) / 2);
    const int emboss[9] = {-2, 0, 0, 0, 0, 0, 0, 0, 2};
    ASSERT_TRUE(Convolve3x3(f.ctx, emboss, 2, 0, false));
    // 2 * (P(+1,+1) - P(-1,-1)) / 2 = 80 - 0.
    EXPECT_EQ(f.outPixels[size_t(1) * f.layer.stride + 4], (2 * 80 - 2 * 0) / 2);
}

TEST(LayerOpsEdges, NegativeOfPaletteLayerChangesPaletteOnly) {
    Fixture f(4, 2, 1, false, false);
    ASSERT_TRUE(f.image.Create(8, 4, 2, kTypeBMP));
    for (int i = 0; i < 256; ++i) f.image.SetPaletteColor(i, uint8_t(i), 0, 50);
    LayerRecord& L = f.layer;
    L.stride = 4, L.pixelSize = 8;
    L.pixels.reset(new uint8_t[8]{1, 2, 3, 4, 5, 6, 7, 8});
    f.ctx.bitsPerPixel = 8;
    std::vector<uint8_t> before = f.outPixels;
    ASSERT_TRUE(Negative(f.ctx));
    EXPECT_EQ(f.outPixels, before);
    EXPECT_EQ(f.image.GetPaletteColor(3), PackBGR(205, 255, 252));
}

TEST(LayerOpsEdges, FreeTransformIdentityPlacesPixels) {
    PointD corners[4] = {{10, 20}, {14, 20}, {14, 23}, {10, 23}};
    int w, h;
    FreeTransformBounds(corners, w, h);
    EXPECT_EQ(w, 4); EXPECT_EQ(h, 3);
    std::vector<PointI> grid;
    ASSERT_TRUE(FreeTransformGrid(corners, 4, 3, grid));
    EXPECT_EQ(grid[1 * 5 + 2].x, 2); EXPECT_EQ(grid[1 * 5 + 2].y, 1);
    Fixture f(4, 3, 3, false, false);
    LayerRecord dst;
    dst.width = 4, dst.height = 3, dst.stride = f.layer.stride;
    dst.pixels.reset(new uint8_t[size_t(dst.stride) * 3]);
    dst.alpha.reset(new uint8_t[12]);
    ASSERT_TRUE(FreeTransformWarp(f.image, f.layer, grid, dst));
    for (int r = 0; r < 3; ++r)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(0, std::memcmp(dst.pixels.get() + size_t(r) * dst.stride + 3 * x, f.Px(x, r), 3));
    PointD flat[4] = {{0, 0}, {5, 0}, {10, 0}, {15, 0}};
    EXPECT_FALSE(FreeTransformGrid(flat, 4, 3, grid));
}

// The open filters: deterministic for a seed, leave alpha-0 pixels alone,
// write only inside the layer.
TEST(LayerOpsArtistic, DeterministicAndRespectAlpha) {
    const std::vector<std::pair<const char*, std::function<bool(LayerOpContext&)>>> ops = {
        {"noise", [](LayerOpContext& c) { return NoiseRemovalB(c, 3, 4); }},
        {"stamp", [](LayerOpContext& c) { return Stamp(c, 8, 1, 1); }},
        {"confetti", [](LayerOpContext& c) { return Confetti(c, 10, 1, 2); }},
        {"lines", [](LayerOpContext& c) { return LineColouring(c, 5, 2); }},
        {"lens", [](LayerOpContext& c) { return LensEffect(c, 0); }},
        {"bath", [](LayerOpContext& c) { return LensEffect(c, 4); }},
        {"hanji", [](LayerOpContext& c) { return HanjiPaper(c, 40, 0); }},
        {"rain", [](LayerOpContext& c) { return Raindrops(c, 40, 100); }},
        {"region", [](LayerOpContext& c) { return RegionExpand(c, 30); }},
        {"bubble", [](LayerOpContext& c) { return BubbleColouring(c, 7, 8); }},
        {"oil", [](LayerOpContext& c) { return OilPainting(c, 5, 50); }},
        {"softenB", [](LayerOpContext& c) { return SoftenB(c); }},
        {"frost", [](LayerOpContext& c) { return Frost(c, 2); }},
    };
    for (const auto& [name, op] : ops) {
        Fixture a(40, 30, 21, true), b(40, 30, 21, true);
        const std::vector<uint8_t> before = a.outPixels;
        ASSERT_TRUE(op(a.ctx)) << name;
        ASSERT_TRUE(op(b.ctx)) << name;
        EXPECT_EQ(a.outPixels, b.outPixels) << name;
        EXPECT_NE(a.outPixels, before) << name;
        for (int r = 0; r < 30; ++r)
            for (int x = 0; x < 40; ++x)
                if (!a.A(x, r)) {
                    ASSERT_EQ(0, std::memcmp(a.outPixels.data() + size_t(r) * a.layer.stride + 3 * x,
                                             before.data() + size_t(r) * a.layer.stride + 3 * x, 3))
                        << name;
                }
    }
}

// Frosted glass with a window larger than 256 pixels: a level whose one-byte
// counter wrapped only keeps the pixels added after the wrap.
TEST(LayerOpsEdges, FrostOnUniformLayerKeepsColour) {
    Fixture f(40, 40, 1, false, false);
    std::memset(f.layer.pixels.get(), 90, size_t(f.layer.pixelSize));
    ASSERT_TRUE(Frost(f.ctx, 9));   // 19 x 19 = 361 pixels of one level
    for (int r = 0; r < 40; ++r)
        for (int x = 0; x < 120; ++x) ASSERT_EQ(f.outPixels[size_t(r) * f.layer.stride + x], 90);
}

TEST(LayerOpsExact, QuarterTurnsAreExact) {
    Fixture f(7, 4, 8, false);
    auto turned = [](const LayerRecord& s, int q) {
        auto d = std::make_unique<LayerRecord>();
        d->width = (q & 1) ? s.height : s.width;
        d->height = (q & 1) ? s.width : s.height;
        d->stride = ((d->width * 24 + 31) / 32) * 4;
        d->pixels.reset(new uint8_t[size_t(d->stride) * d->height]());
        d->alpha.reset(new uint8_t[size_t(d->width) * d->height]());
        EXPECT_TRUE(QuarterTurnLayer(s, *d, 24, q));
        return d;
    };
    auto right = turned(f.layer, 1);
    // Clockwise on screen: the picture's left column becomes its top row
    // (stored rows run bottom-up, so the top row is the last stored row).
    EXPECT_EQ(0, std::memcmp(right->pixels.get() + size_t(right->height - 1) * right->stride, f.Px(0, 0), 3));
    auto back = turned(*right, 3);
    auto half = turned(*turned(f.layer, 2), 2);
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(0, std::memcmp(back->pixels.get() + size_t(r) * back->stride, f.Px(0, r), 21));
        EXPECT_EQ(0, std::memcmp(half->pixels.get() + size_t(r) * half->stride, f.Px(0, r), 21));
        EXPECT_EQ(0, std::memcmp(back->alpha.get() + size_t(r) * 7, f.layer.alpha.get() + size_t(r) * 7, 7));
    }
}

// Palette layers: colours come from the document palette and results go
// back as the nearest palette index (a grey ramp: index = grey value).
TEST(LayerOpsExact, PaletteLayerThroughNearestIndex) {
    Fixture f(15, 9, 31, true);
    ASSERT_TRUE(f.image.Create(8, 4, 4, kTypeBMP));
    f.image.SetGrayPalette();
    LayerRecord& L = f.layer;
    L.stride = 16, L.pixelSize = 16 * 9;
    L.pixels.reset(new uint8_t[size_t(L.pixelSize)]);
    std::mt19937 rng(4);
    for (int i = 0; i < L.pixelSize; ++i) L.pixels[size_t(i)] = uint8_t(rng());
    f.ctx.bitsPerPixel = 8;
    std::vector<uint8_t> out(size_t(L.pixelSize), 7), al = f.outAlpha;
    f.ctx.outPixels = out.data();
    std::vector<uint8_t> expect = out, expectAlpha = al;
    for (int r = 0; r < 9; ++r)
        for (int x = 0; x < 15; ++x) {
            if (!f.A(x, r)) continue;
            int s = 0, n = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int xx = x + dx, yy = r + dy;
                    if (xx < 0 || yy < 0 || xx >= 15 || yy >= 9 || !f.A(xx, yy)) continue;
                    s += L.pixels[size_t(yy) * 16 + xx], ++n;
                }
            if (!f.Marked(x, r)) continue;
            expect[size_t(r) * 16 + x] = uint8_t(s / n);
            expectAlpha[size_t(r) * 15 + x] = 255;
        }
    ASSERT_TRUE(WindowMean(f.ctx, 3, 1));
    EXPECT_EQ(out, expect);
    EXPECT_EQ(f.outAlpha, expectAlpha);
}
