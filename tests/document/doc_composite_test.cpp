// Compositing against a plain per-pixel reference of the rules, merge,
// flatten and the shadow effect.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "CVexoDoc.h"
#include "commands.h"
#include "compositing_simd.h"

namespace {

// The rules written out directly, one pixel at a time, without tables.
uint8_t Mul(int v, int a) {
    if (v == 255 && a == 255) return 255;
    const float c = 1.0f / 255.0f;
    return uint8_t((long double)v * a * (long double)c);
}

void ReferencePixel(const LayerRecord& L, const uint8_t src[3], int A, uint8_t* p, bool designated) {
    if (A == 0) return;
    const int t = L.transparency;
    int s[3] = {src[0], src[1], src[2]};
    if (L.IsTextKind()) s[0] = L.textColor[0], s[1] = L.textColor[1], s[2] = L.textColor[2];
    int a;
    if (L.blendMode == 0) {
        a = std::max(0, A - t);
        for (int c = 0; c < 3; ++c) p[c] = designated ? Mul(s[c], a) : uint8_t(Mul(p[c], 255 - a) + Mul(s[c], a));
    } else {
        const long double k = (long double)(255 - t) * (long double)(1.0f / 255.0f);
        a = 255;
        for (int c = 0; c < 3; ++c) {
            const int d = p[c];
            const int f = int(std::trunc((long double)s[c] * k + (long double)d * (1.0L - k)));
            int out;
            switch (L.blendMode) {
            case 2: out = (f * d) >> 8; break;
            case 3: out = 255 - (((255 - d) * (255 - f)) >> 8); break;
            case 4: out = std::min(f, d); break;
            case 5: out = std::max(f, d); break;
            case 6: out = std::abs(d - f); break;
            case 7: out = 255 - std::abs(255 - d - f); break;
            case 8: out = (f + d - ((f * d) >> 7)) & 255; break;
            case 9: out = f < 128 ? (d * f) >> 7 : 255 - (((255 - f) * (255 - d)) >> 7); break;
            default: out = designated ? Mul(f, 255) : Mul(d, 0) + Mul(f, 255); break;
            }
            p[c] = uint8_t(out);
        }
    }
    p[3] = p[3] == 0 ? uint8_t(a) : uint8_t(std::min(255, (a + 1) * p[3]));
}

std::vector<uint8_t> Reference(const CVexoDoc& doc, double zoom, int left, int top, int w, int h, int designated) {
    std::vector<uint8_t> out(size_t(w) * size_t(h) * 4, 0);
    const int W = doc.live.canvas.width, H = doc.live.canvas.height;
    for (int i : doc.StackOrder()) {
        const LayerRecord& L = doc.Layer(i);
        if (L.visible != 1) continue;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                if (left + x < 0 || top + y < 0) continue;
                const int cx = int((left + x) / zoom), cyTop = int((top + y) / zoom);
                if (cx >= W || cyTop >= H) continue;
                const int lx = cx - L.x, lr = (H - 1 - cyTop) + L.y;   // stored-row order
                if (lx < 0 || lx >= L.width || lr < 0 || lr >= L.height) continue;
                uint8_t src[3] = {0, 0, 0};
                if (!L.IsTextKind()) std::memcpy(src, L.PixelRow(lr) + lx * 3, 3);
                ReferencePixel(L, src, L.AlphaRow(lr)[lx], &out[(size_t(y) * w + x) * 4], i == designated);
            }
    }
    return out;
}

// Every kernel the CPU can run.
std::vector<compositing::Kernel> Kernels() {
    std::vector<compositing::Kernel> all{compositing::Kernel::Scalar};
    if (compositing::BestKernel() != compositing::Kernel::Scalar) all.push_back(compositing::Kernel::Sse41);
    if (compositing::BestKernel() == compositing::Kernel::Avx2) all.push_back(compositing::Kernel::Avx2);
    return all;
}

void Randomise(CVexoDoc& doc, std::mt19937& rng, int layers) {
    std::uniform_int_distribution<int> byte(0, 255);
    const int W = doc.live.canvas.width, H = doc.live.canvas.height;
    for (int n = 1; n < layers; ++n) {
        ASSERT_TRUE(doc.AddLayer());
        const int slot = doc.currentLayer;
        const int w = 1 + rng() % (W + 4), h = 1 + rng() % (H + 4);
        const bool text = n % 5 == 4;
        ASSERT_TRUE(doc.SetupLayerBuffers(h, w, u"", 1, 24, 0, 0, slot, int(rng() % 9) - 4, int(rng() % 9) - 4, 2, -1,
                                          -1, 0, 0, text ? LayerText : LayerRaster, -1, false));
        doc.live.canvas.width = W;
        doc.live.canvas.height = H;
        LayerRecord& L = doc.Layer(slot);
        L.blendMode = uint8_t(n % 12);   // 0..9 and two unknown modes
        L.transparency = uint8_t(n % 3 == 0 ? 0 : byte(rng));
        L.visible = n % 7 == 6 ? 0 : 1;
        L.textColor[0] = uint8_t(byte(rng)), L.textColor[1] = 9, L.textColor[2] = 200;
        for (int i = 0; i < L.pixelSize; ++i) L.pixels[size_t(i)] = uint8_t(byte(rng));
        for (int i = 0; i < L.planeSize; ++i) {
            const int r = byte(rng);
            L.alpha[size_t(i)] = uint8_t(r < 60 ? 0 : r < 120 ? 255 : byte(rng));
        }
    }
}

}  // namespace

TEST(Composite, MatchesReferenceForEveryRuleAndZoom) {
    HeadlessHost host;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(23, 17));
    std::mt19937 rng(7);
    for (int i = 0; i < doc.Layer(0).pixelSize; ++i) doc.Layer(0).pixels[size_t(i)] = uint8_t(rng());
    for (int i = 0; i < doc.Layer(0).planeSize; ++i) doc.Layer(0).alpha[size_t(i)] = uint8_t(rng());
    Randomise(doc, rng, 26);
    for (double zoom : {1.0, 0.37, 0.0625, 2.5, 16.0})
        for (int designated : {-1, 3}) {
            const int w = int(23 * zoom) + 3, h = int(17 * zoom) + 2;
            std::vector<uint8_t> got(size_t(w) * size_t(h) * 4, 0xCC);
            doc.CompositeRect(doc.headLayer, -1, zoom, 1, 0, w, h, got.data(), ptrdiff_t(w) * 4, designated);
            const auto want = Reference(doc, zoom, 1, 0, w, h, designated);
            size_t diff = 0;
            while (diff < got.size() && got[diff] == want[diff]) ++diff;
            ASSERT_EQ(diff, got.size()) << "zoom " << zoom << " designated " << designated << " pixel "
                                        << diff / 4 % size_t(w) << "," << diff / 4 / size_t(w) << " channel "
                                        << diff % 4 << ": " << int(got[diff]) << " want " << int(want[diff]);
        }
}

// A document big enough for the two-worker split and the vector kernels,
// every rule, text layers and offsets, at zooms below, at and above 1.
TEST(Composite, LargeStackMatchesReference) {
    HeadlessHost host;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(301, 203));
    std::mt19937 rng(11);
    for (int i = 0; i < doc.Layer(0).pixelSize; ++i) doc.Layer(0).pixels[size_t(i)] = uint8_t(rng());
    for (int i = 0; i < doc.Layer(0).planeSize; ++i) doc.Layer(0).alpha[size_t(i)] = uint8_t(rng());
    Randomise(doc, rng, 14);
    for (double zoom : {1.0, 0.5, 0.3, 1.75})
        for (int designated : {-1, doc.StackOrder()[4]}) {
            const int w = int(301 * zoom) + 5, h = int(203 * zoom) + 3;
            std::vector<uint8_t> got(size_t(w) * size_t(h) * 4, 0xCC);
            doc.CompositeRect(doc.headLayer, -1, zoom, 2, 1, w, h, got.data(), ptrdiff_t(w) * 4, designated);
            const auto want = Reference(doc, zoom, 2, 1, w, h, designated);
            size_t diff = 0;
            while (diff < got.size() && got[diff] == want[diff]) ++diff;
            ASSERT_EQ(diff, got.size()) << "zoom " << zoom << " designated " << designated << " pixel "
                                        << diff / 4 % size_t(w) << "," << diff / 4 / size_t(w);
        }
}

// Zoom steps as the view reaches them (above 1 each canvas pixel is
// composited once and spread over its destination columns; below 1 the
// sampled pixels are read straight from the rows), with rectangles that
// start before the canvas and end past it.
TEST(Composite, ViewZoomStepsMatchReference) {
    HeadlessHost host;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(157, 96));
    std::mt19937 rng(23);
    for (int i = 0; i < doc.Layer(0).pixelSize; ++i) doc.Layer(0).pixels[size_t(i)] = uint8_t(rng());
    for (int i = 0; i < doc.Layer(0).planeSize; ++i) doc.Layer(0).alpha[size_t(i)] = uint8_t(rng() % 3 ? 255 : rng());
    Randomise(doc, rng, 16);
    struct Case {
        double zoom;
        int left, top;
    };
    for (const Case c : {Case{1.25, -7, -3}, Case{1.5625, 13, 4}, Case{3.0, -1, 0}, Case{11.641532, 5, -9},
                         Case{0.8, -5, 2}, Case{0.262144, 0, -2}, Case{0.25, 3, 1}, Case{0.5, -2, 0}})
        for (int designated : {-1, doc.StackOrder()[5]}) {
            const int w = std::min(int(157 * c.zoom) + 11, 330), h = std::min(int(96 * c.zoom) + 6, 120);
            std::vector<uint8_t> got(size_t(w) * size_t(h) * 4, 0xCC);
            doc.CompositeRect(doc.headLayer, -1, c.zoom, c.left, c.top, w, h, got.data(), ptrdiff_t(w) * 4, designated);
            const auto want = Reference(doc, c.zoom, c.left, c.top, w, h, designated);
            size_t diff = 0;
            while (diff < got.size() && got[diff] == want[diff]) ++diff;
            ASSERT_EQ(diff, got.size()) << "zoom " << c.zoom << " designated " << designated << " pixel "
                                        << diff / 4 % size_t(w) << "," << diff / 4 / size_t(w);
        }
}

// The sampled-pixel kernels of every instruction set against the plain rule
// on gathered pixels, over rows whose last pixel ends exactly at the row's
// end (no byte to spare for a 4-byte read).
TEST(Composite, GatherKernelsMatchTheRule) {
    std::mt19937 rng(5);
    const int width = 64;   // 192 bytes a row: no padding
    std::vector<uint8_t> prow(size_t(width) * 3), arow(static_cast<size_t>(width));
    for (auto& b : prow) b = uint8_t(rng());
    for (auto& b : arow) b = uint8_t(rng() % 4 == 0 ? 0 : rng() % 3 == 0 ? 255 : rng());
    std::vector<int32_t> off;
    for (int j = 0; j < 40; ++j) off.push_back(std::min(width - 1, j * 13 / 8));   // ends on the last pixel
    const int n = int(off.size());
    std::vector<uint8_t> base(size_t(n) * 4);
    for (auto& b : base) b = uint8_t(rng());
    for (int t : {0, 31}) {
        std::vector<uint8_t> colours(size_t(n) * 3), alphas(static_cast<size_t>(n)), want = base;
        for (int j = 0; j < n; ++j) {
            std::memcpy(&colours[size_t(j) * 3], &prow[size_t(off[size_t(j)]) * 3], 3);
            alphas[size_t(j)] = arow[size_t(off[size_t(j)])];
        }
        compositing::NormalRowScalar(want.data(), colours.data(), 3, alphas.data(), n, t);
        for (const compositing::Kernel kernel : Kernels()) {
            std::vector<uint8_t> got = base;
            compositing::NormalRowGatherWith(kernel, got.data(), prow.data(), prow.size(), arow.data(), off.data(), n,
                                             t);
            EXPECT_EQ(got, want) << "kernel " << int(kernel) << " t " << t;
        }
    }
    // Whole-number steps up to the row's last pixel.
    for (int k = 2; k <= 5; ++k)
        for (int first : {0, 1, 3}) {
            std::vector<int32_t> steps;
            for (int c = first; c < width; c += k) steps.push_back(c);
            const int m = int(steps.size());
            std::vector<uint8_t> colours(size_t(m) * 3), alphas(static_cast<size_t>(m)), want = base;
            for (int j = 0; j < m; ++j) {
                std::memcpy(&colours[size_t(j) * 3], &prow[size_t(steps[size_t(j)]) * 3], 3);
                alphas[size_t(j)] = arow[size_t(steps[size_t(j)])];
            }
            compositing::NormalRowScalar(want.data(), colours.data(), 3, alphas.data(), m, 9);
            for (const compositing::Kernel kernel : Kernels()) {
                std::vector<uint8_t> got = base;
                compositing::NormalRowStridedWith(kernel, got.data(), prow.data(), prow.size(), arow.data(),
                                                  arow.size(), steps.data(), k, m, 9);
                EXPECT_EQ(got, want) << "kernel " << int(kernel) << " step " << k << " from " << first;
            }
        }
}

// The normal rule's integer arithmetic against the multiply table: every
// product of the table, and the row kernel for every source, destination and
// alpha value (and every destination alpha) at several transparencies.
TEST(Composite, NormalRuleEqualsTableForEveryInput) {
    const MulRow* mul = MulTable();
    for (uint32_t v = 0; v < 256; ++v)
        for (uint32_t a = 0; a < 256; ++a) ASSERT_EQ(compositing::Div255(v * a), mul[v][a]) << v << " " << a;
    const int n = 65536;
    std::vector<uint8_t> src(size_t(n) * 3), base(size_t(n) * 4), got(size_t(n) * 4), alpha(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        const uint8_t hi = uint8_t(k >> 8), lo = uint8_t(k & 255);
        src[size_t(k) * 3] = hi, src[size_t(k) * 3 + 1] = lo, src[size_t(k) * 3 + 2] = uint8_t(hi ^ lo);
        base[size_t(k) * 4] = lo, base[size_t(k) * 4 + 1] = hi, base[size_t(k) * 4 + 2] = uint8_t(hi + lo);
        base[size_t(k) * 4 + 3] = lo;
    }
    for (int t : {0, 77})
        for (int A = 0; A < 256; ++A) {
            // Mostly the one value, with runs of 0 and 255 for the fast paths.
            for (int k = 0; k < n; ++k) alpha[size_t(k)] = uint8_t(k % 97 < 9 ? 0 : k % 97 < 30 ? 255 : A);
            for (const compositing::Kernel kernel : Kernels()) {
                got = base;
                compositing::NormalRowWith(kernel, got.data(), src.data(), 3, alpha.data(), n, t);
                for (int k = 0; k < n; ++k) {
                    uint8_t want[4];
                    std::memcpy(want, &base[size_t(k) * 4], 4);
                    const int al = std::max(0, alpha[size_t(k)] - t);
                    if (al > 0) {
                        for (int c = 0; c < 3; ++c)
                            want[c] = uint8_t(mul[want[c]][255 - al] + mul[src[size_t(k) * 3 + size_t(c)]][al]);
                        want[3] = want[3] == 0 ? uint8_t(al) : uint8_t(std::min(255, (al + 1) * want[3]));
                    }
                    ASSERT_EQ(std::memcmp(want, &got[size_t(k) * 4], 4), 0)
                        << "t " << t << " A " << int(alpha[size_t(k)]) << " pixel " << k << " kernel " << int(kernel);
                }
            }
        }
}

// The fade of the blend rules in integers against the extended-precision
// formula for every source, destination and transparency; the blend row of
// every instruction set against the plain rule for every source and
// destination pair, at transparencies that take each branch of the fade.
TEST(Composite, BlendRulesInIntegersEqualThePlainRule) {
    const float c = 1.0f / 255.0f;
    for (int t = 0; t < 256; ++t) {
        const long double k = (long double)(255 - t) * (long double)c;
        for (int s = 0; s < 256; ++s)
            for (int d = 0; d < 256; ++d) {
                const int want = int(std::trunc((long double)s * k + (long double)d * (1.0L - k)));
                ASSERT_EQ(int(compositing::Fade(uint32_t(s), uint32_t(d), uint32_t(t))), want)
                    << "t " << t << " s " << s << " d " << d;
            }
    }
    const int n = 65536 + 5;   // every (s, d) pair, and a tail shorter than a vector
    std::vector<uint8_t> src(size_t(n) * 3), base(size_t(n) * 4), alpha(static_cast<size_t>(n));
    std::mt19937 rng(31);
    for (int k = 0; k < n; ++k) {
        const uint8_t hi = uint8_t(k >> 8), lo = uint8_t(k & 255);
        src[size_t(k) * 3] = hi, src[size_t(k) * 3 + 1] = lo, src[size_t(k) * 3 + 2] = uint8_t(hi * 7 + lo);
        base[size_t(k) * 4] = lo, base[size_t(k) * 4 + 1] = hi, base[size_t(k) * 4 + 2] = uint8_t(rng());
        base[size_t(k) * 4 + 3] = uint8_t(k % 5 == 0 ? 0 : rng());
        // Runs of transparent pixels, single ones and partly covered groups.
        alpha[size_t(k)] = uint8_t(k % 61 < 9 ? 0 : k % 13 == 0 ? 0 : 1 + rng() % 255);
    }
    for (int mode = 1; mode <= 11; ++mode)
        for (int t : {0, 1, 100, 128, 254, 255}) {
            std::vector<uint8_t> want = base;
            for (int k = 0; k < n; ++k) {
                if (alpha[size_t(k)] == 0) continue;
                uint8_t* p = &want[size_t(k) * 4];
                for (int ch = 0; ch < 3; ++ch) {
                    const int f = int(compositing::Fade(src[size_t(k) * 3 + size_t(ch)], p[ch], uint32_t(t)));
                    const int d = p[ch];
                    int out = f;
                    switch (mode) {
                    case 2: out = (f * d) >> 8; break;
                    case 3: out = 255 - (((255 - d) * (255 - f)) >> 8); break;
                    case 4: out = std::min(f, d); break;
                    case 5: out = std::max(f, d); break;
                    case 6: out = std::abs(d - f); break;
                    case 7: out = 255 - std::abs(255 - d - f); break;
                    case 8: out = (f + d - ((f * d) >> 7)) & 255; break;
                    case 9: out = f < 128 ? (d * f) >> 7 : 255 - (((255 - f) * (255 - d)) >> 7); break;
                    default: break;
                    }
                    p[ch] = uint8_t(out);
                }
                p[3] = 255;
            }
            for (const compositing::Kernel kernel : Kernels()) {
                std::vector<uint8_t> got = base;
                compositing::BlendRowWith(kernel, got.data(), src.data(), 3, alpha.data(), n, t, mode);
                ASSERT_EQ(got, want) << "mode " << mode << " t " << t << " kernel " << int(kernel);
                // One colour for every pixel (text layers).
                std::vector<uint8_t> one = base, oneWant = base;
                const uint8_t colour[3] = {200, 17, 90};
                compositing::BlendRowScalar(oneWant.data(), colour, 0, alpha.data(), n, t, mode);
                compositing::BlendRowWith(kernel, one.data(), colour, 0, alpha.data(), n, t, mode);
                ASSERT_EQ(one, oneWant) << "one colour, mode " << mode << " t " << t << " kernel " << int(kernel);
            }
        }
}

// Stacks whose layers all use one blend rule, wide enough for the vector
// paths and the two workers, with random sizes, offsets, opacity and alpha
// (text layers among them), against the per-pixel reference.
TEST(Composite, EveryBlendRuleOnRandomLayersMatchesReference) {
    for (int mode = 1; mode <= 10; ++mode) {
        HeadlessHost host;
        CVexoDoc doc(&host);
        ASSERT_TRUE(doc.NewImage(211, 137));
        std::mt19937 rng(uint32_t(100 + mode));
        for (int i = 0; i < doc.Layer(0).pixelSize; ++i) doc.Layer(0).pixels[size_t(i)] = uint8_t(rng());
        for (int i = 0; i < doc.Layer(0).planeSize; ++i) doc.Layer(0).alpha[size_t(i)] = uint8_t(rng());
        Randomise(doc, rng, 9);
        for (int s : doc.StackOrder())
            if (s != doc.headLayer) doc.Layer(s).blendMode = uint8_t(mode);
        for (double zoom : {1.0, 0.5, 0.7, 2.0}) {
            const int w = int(211 * zoom) + 4, h = int(137 * zoom) + 2;
            std::vector<uint8_t> got(size_t(w) * size_t(h) * 4, 0xCC);
            doc.CompositeRect(doc.headLayer, -1, zoom, 1, 1, w, h, got.data(), ptrdiff_t(w) * 4);
            const auto want = Reference(doc, zoom, 1, 1, w, h, -1);
            size_t diff = 0;
            while (diff < got.size() && got[diff] == want[diff]) ++diff;
            ASSERT_EQ(diff, got.size()) << "mode " << mode << " zoom " << zoom << " pixel " << diff / 4 % size_t(w)
                                        << "," << diff / 4 / size_t(w) << " channel " << diff % 4;
        }
    }
}

TEST(Composite, EdgeRules) {
    HeadlessHost host;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(2, 1));
    LayerRecord& L = doc.Layer(0);
    const uint8_t colours[6] = {1, 2, 3, 250, 128, 0};
    std::memcpy(L.pixels.get(), colours, 6);
    std::vector<uint8_t> out(8);
    // One opaque layer comes out exactly.
    doc.CompositeRun(0, -1, out.data());
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3, 255, 250, 128, 0, 255}));
    // Transparency 255 draws nothing in normal mode...
    L.transparency = 255;
    doc.CompositeRun(0, -1, out.data());
    EXPECT_EQ(out, std::vector<uint8_t>(8, 0));
    // ...but still draws in a blend mode (a fade of weight 0 over black).
    L.blendMode = 5;
    doc.CompositeRun(0, -1, out.data());
    EXPECT_EQ(out[3], 255);
    // A text layer of full alpha is a solid block of its colour.
    L.blendMode = 0;
    L.transparency = 0;
    L.kind = LayerText;
    L.textColor[0] = 9, L.textColor[1] = 8, L.textColor[2] = 7;
    doc.CompositeRun(0, -1, out.data());
    EXPECT_EQ(out, (std::vector<uint8_t>{9, 8, 7, 255, 9, 8, 7, 255}));
    // Offsets at the ends of the integer range (a damaged file) draw nothing.
    L.x = INT32_MIN;
    L.y = INT32_MAX;
    doc.CompositeRun(0, -1, out.data());
    EXPECT_EQ(out, std::vector<uint8_t>(8, 0));
}

TEST(Composite, MergeFlattenAndNeighbours) {
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(4, 3));
    std::mt19937 rng(3);
    Randomise(doc, rng, 4);
    for (int s : doc.StackOrder()) doc.Layer(s).kind = LayerRaster, doc.Layer(s).visible = 1;
    doc.Layer(1).blendMode = 0;
    // Merging the current layer with the one below equals compositing the two.
    const int lower = doc.StackOrder()[1], upper = doc.StackOrder()[2];
    doc.Layer(lower).transparency = 0;
    std::vector<uint8_t> two(4 * 3 * 4);
    doc.CompositeRun(lower, 2, two.data());
    ASSERT_TRUE(doc.SelectLayer(upper));
    ASSERT_TRUE(commands::All().Find(1555)->run(doc, {}));
    EXPECT_EQ(doc.LayerCount(), 3);
    EXPECT_FALSE(doc.InStack(upper));
    EXPECT_EQ(doc.currentLayer, lower);
    const LayerRecord& M = doc.Layer(lower);
    EXPECT_EQ(M.width, 4);
    EXPECT_EQ(M.x, 0);
    for (int r = 0; r < 3; ++r)
        for (int x = 0; x < 4; ++x) {
            const uint8_t* c = &two[(size_t(r) * 4 + x) * 4];
            EXPECT_EQ(M.PixelRow(r)[x * 3 + 1], c[1]);
            EXPECT_EQ(M.AlphaRow(r)[x], c[3]);
        }
    // Nothing happens at the top (1557) or a text neighbour refuses.
    ASSERT_TRUE(doc.SelectLayer(doc.TopLayer()));
    EXPECT_FALSE(commands::All().Find(1557)->run(doc, {}));
    doc.Layer(doc.TopLayer()).kind = LayerText;
    EXPECT_FALSE(commands::All().Find(1555)->run(doc, {}));
    EXPECT_EQ(host.messages.back(), "두 레이어 중 적어도 하나가 글자레이어입니다.\r\n레스터 변환 후에 병합하십시요.");
    doc.Layer(doc.TopLayer()).kind = LayerRaster;

    // Flatten: the whole stack in the bottom layer, the others kept in their slots.
    std::vector<uint8_t> all(4 * 3 * 4);
    doc.CompositeRun(doc.headLayer, -1, all.data());
    const std::vector<int> before = doc.StackOrder();
    ASSERT_TRUE(commands::All().Find(1500)->run(doc, {}));
    EXPECT_EQ(doc.LayerCount(), 1);
    EXPECT_EQ(doc.currentLayer, before[0]);
    for (int s : before) EXPECT_EQ(doc.Layer(s).inUse, 1);
    std::vector<uint8_t> flat(4 * 3 * 4);
    doc.CompositeRun(doc.headLayer, -1, flat.data());
    for (size_t i = 0; i < all.size(); i += 4) EXPECT_EQ(flat[i + 2], all[i + 2]);
    EXPECT_EQ(host.currentCommand, -1);
}

TEST(Shadow, SoftDropShadowBesideTheObject) {
    HeadlessHost host;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(40, 40));
    LayerRecord& L = doc.Layer(0);
    std::memset(L.alpha.get(), 0, size_t(L.planeSize));
    for (int r = 15; r < 25; ++r)
        for (int x = 15; x < 25; ++x) L.AlphaRow(r)[x] = 255;
    L.effectKind = 3;
    L.effectParam = 0;        // right and down
    L.effectParams[0] = 5;    // distance
    L.effectParams[1] = 3;    // spread
    doc.RenderShadow(0);
    // Right of and below the square (stored rows run upwards) there is shadow,
    // fading out; the other side stays clear; the object is untouched.
    EXPECT_GT(L.AlphaRow(12)[27], 100);
    EXPECT_LT(L.AlphaRow(12)[32], L.AlphaRow(12)[27]);
    EXPECT_EQ(L.AlphaRow(27)[12], 0);
    EXPECT_EQ(L.AlphaRow(20)[20], 255);
    EXPECT_LE(L.AlphaRow(12)[27], 180);
    EXPECT_EQ(L.PixelRow(12)[27 * 3], 0);
    // Rendering again gives the same; effect kind 0 takes it away.
    std::vector<uint8_t> once(L.alpha.get(), L.alpha.get() + L.planeSize);
    doc.RenderShadow(0);
    EXPECT_EQ(std::vector<uint8_t>(L.alpha.get(), L.alpha.get() + L.planeSize), once);
    L.effectKind = 0;
    doc.RenderShadow(0);
    EXPECT_EQ(L.AlphaRow(12)[27], 0);
    EXPECT_EQ(L.effectPlane[size_t(12 * 40 + 27)], 0);
}
