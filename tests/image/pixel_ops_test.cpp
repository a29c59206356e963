// The per-pixel colour operations (negative, brightness/contrast, grey,
// levels, the three thresholds, histogram, channel splits) against plain
// per-pixel versions of their rules, with the vector paths and without
// them: random layers of awkward sizes with transparent pixels, runs of
// them and fully opaque stretches; scratch buffers full of noise, so that
// pixels an operation must leave alone are seen to stay. The row kernels
// also with streaming stores at every alignment, and the colour-space rows
// over every colour there is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "layer_access.h"
#include "layer_ops.h"
#include "pixel_rows.h"

using namespace layerops;

namespace {

int Clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }
int Grey(const uint8_t* p) { return (p[0] + p[1] + p[2]) / 3; }

struct Case {
    VaZavi image{kTypeBMP};
    LayerRecord layer;
    std::vector<uint8_t> outPixels, outAlpha;
    Case(int w, int h, uint32_t seed, bool opaque = false) {
        std::mt19937 rng(seed);
        layer.inUse = 1;
        layer.kind = LayerImage;
        layer.width = w, layer.height = h;
        layer.stride = ((w * 24 + 31) / 32) * 4;
        layer.pixelSize = layer.stride * h;
        layer.planeSize = w * h;
        layer.pixels.reset(new uint8_t[size_t(layer.pixelSize)]);
        layer.alpha.reset(new uint8_t[size_t(layer.planeSize)]);
        for (int i = 0; i < layer.pixelSize; ++i) layer.pixels[size_t(i)] = uint8_t((i / 3 % 97) * 2 + rng() % 60);
        // Opaque stretches, transparent runs and single transparent pixels.
        for (int i = 0; i < layer.planeSize; ++i) {
            const int band = (i / 50) % 4;
            layer.alpha[size_t(i)] = opaque ? uint8_t(1 + rng() % 255)
                                     : band == 0 ? 0 : band == 1 && rng() % 9 == 0 ? 0 : uint8_t(1 + rng() % 255);
        }
        outPixels.resize(size_t(layer.pixelSize));
        outAlpha.resize(size_t(layer.planeSize));
        for (auto& b : outPixels) b = uint8_t(rng());
        for (auto& b : outAlpha) b = uint8_t(rng());
        image.Create(24, 4, 4, kTypeBMP);
    }
    LayerOpContext Context() {
        LayerOpContext c;
        c.image = &image;
        c.layer = &layer;
        c.bitsPerPixel = 24;
        c.outPixels = outPixels.data();
        c.outAlpha = outAlpha.data();
        return c;
    }
    const uint8_t* Px(int x, int r) const { return layer.pixels.get() + size_t(r) * layer.stride + 3 * size_t(x); }
    uint8_t A(int x, int r) const { return layer.alpha[size_t(r) * size_t(layer.width) + size_t(x)]; }
};

// Runs op on a fresh copy of the case's scratch buffers; returns them.
template <class Op>
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> Apply(Case& c, Op op) {
    std::vector<uint8_t> p = c.outPixels, a = c.outAlpha;
    LayerOpContext ctx = c.Context();
    ctx.outPixels = p.data();
    ctx.outAlpha = a.data();
    EXPECT_TRUE(op(ctx));
    return {p, a};
}

// The plain rule of the per-pixel operations that write every processed
// pixel opaque: colour from f, alpha 255.
template <class F>
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> PerPixel(const Case& c, F f, bool everyPixel = false) {
    std::vector<uint8_t> p = c.outPixels, a = c.outAlpha;
    for (int r = 0; r < c.layer.height; ++r)
        for (int x = 0; x < c.layer.width; ++x) {
            if (!c.A(x, r) && !everyPixel) continue;
            f(c.Px(x, r), &p[size_t(r) * c.layer.stride + 3 * size_t(x)], x, r);
            if (c.A(x, r)) a[size_t(r) * size_t(c.layer.width) + size_t(x)] = 255;
        }
    return {p, a};
}

// The one-row-at-a-time Floyd-Steinberg rule, as plainly as it reads.
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> PlainFloyd(const Case& c, int level) {
    std::vector<uint8_t> p = c.outPixels, a = c.outAlpha;
    const int w = c.layer.width, h = c.layer.height;
    std::vector<int> cur(static_cast<size_t>(w)), next(cur);
    for (int x = 0; x < w; ++x) cur[size_t(x)] = Grey(c.Px(x, 0));
    for (int r = 0; r < h; ++r) {
        if (r + 1 < h)
            for (int x = 0; x < w; ++x) next[size_t(x)] = Grey(c.Px(x, r + 1));
        for (int x = 0; x < w; ++x) {
            if (!c.A(x, r)) continue;
            const int g = cur[size_t(x)];
            const bool white = g > level;
            const int e = white ? g - 255 : g;
            std::memset(&p[size_t(r) * c.layer.stride + 3 * size_t(x)], white ? 255 : 0, 3);
            a[size_t(r) * size_t(w) + size_t(x)] = c.A(x, r);
            if (x + 1 < w) cur[size_t(x) + 1] = Clamp(cur[size_t(x) + 1] + e * 7 / 16);
            if (r + 1 < h) {
                if (x > 0) next[size_t(x) - 1] = Clamp(next[size_t(x) - 1] + e * 3 / 16);
                next[size_t(x)] = Clamp(next[size_t(x)] + e * 5 / 16);
                if (x + 1 < w) next[size_t(x) + 1] = Clamp(next[size_t(x) + 1] + e * 1 / 16);
            }
        }
        std::swap(cur, next);
    }
    return {p, a};
}

// Shapes: single pixels, sizes around the vector block (32) and the
// threshold's batch of 16 rows, wider ones.
const std::pair<int, int> kShapes[] = {{1, 1}, {2, 3}, {31, 17}, {33, 16}, {64, 33}, {97, 5}, {200, 47}, {513, 19},
                                       {70, 50}};

// The kernels a check runs on: the 512-bit ones where the processor has
// them (else AVX2 again), AVX2 only, or the plain rules.
enum Paths { kWidest = 2, kAvx2Only = 1, kPlain = 0 };
void UsePaths(int paths) {
    AllowAvx2Paths(paths != kPlain);
    AllowAvx512Paths(paths == kWidest);
}

// Each check on every set of paths.
template <class F>
void EveryPath(F check) {
    for (int paths : {kWidest, kAvx2Only, kPlain}) {
        UsePaths(paths);
        check(paths);
    }
    UsePaths(kWidest);
}

// The levels by the plain rule: counts of luminance, red, green and blue,
// their stretch points and their running sums.
struct PlainLevels {
    uint32_t hist[1024] = {};
    int points[4][2];
    int64_t cum[4][256];

    explicit PlainLevels(const Case& c) {
        for (int r = 0; r < c.layer.height; ++r)
            for (int x = 0; x < c.layer.width; ++x) {
                const uint8_t* p = c.Px(x, r);
                ++hist[(11 * p[0] + 59 * p[1] + 30 * p[2]) / 100], ++hist[256 + p[2]], ++hist[512 + p[1]],
                    ++hist[768 + p[0]];
            }
        LevelPoints(hist, int64_t(c.layer.width) * c.layer.height, points);
        for (int ch = 0; ch < 4; ++ch) {
            int64_t s = 0;
            for (int v = 0; v < 256; ++v) cum[ch][v] = (s += hist[256 * ch + v]);
        }
    }
};

}  // namespace

TEST(PixelOps, ThresholdsMatchThePlainRule) {
    EveryPath([](int paths) {
        uint32_t seed = 1;
        for (auto [w, h] : kShapes)
            for (int level : {-60, -5, 0, 77, 128, 254, 300}) {
                // Every other case without transparent pixels (whole batches
                // of opaque rows take their own path).
                Case c(w, h, seed, seed % 2 == 0);
                ++seed;
                EXPECT_EQ(Apply(c, [&](LayerOpContext& x) { return ThresholdFloyd(x, level); }), PlainFloyd(c, level))
                    << "Floyd " << w << "x" << h << " level " << level << " paths " << paths;
                auto simple = PerPixel(c, [&](const uint8_t* s, uint8_t* d, int, int) {
                    std::memset(d, Grey(s) <= level ? 255 : 0, 3);
                });
                // The thresholds carry each processed pixel's own alpha.
                for (int i = 0; i < w * h; ++i)
                    if (c.layer.alpha[size_t(i)]) simple.second[size_t(i)] = c.layer.alpha[size_t(i)];
                EXPECT_EQ(Apply(c, [&](LayerOpContext& x) { return ThresholdSimple(x, level); }), simple)
                    << "simple " << w << "x" << h << " level " << level << " paths " << paths;
                static const int m[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
                auto ordered = PerPixel(c, [&](const uint8_t* s, uint8_t* d, int x, int r) {
                    const int dd = Grey(s) * 16 / (2 * level + 100), base = dd / 16, frac = dd % 16;
                    std::memset(d, (m[r & 3][x & 3] < frac ? base + 1 : base) == 0 ? 255 : 0, 3);
                });
                for (int i = 0; i < w * h; ++i)
                    if (c.layer.alpha[size_t(i)]) ordered.second[size_t(i)] = c.layer.alpha[size_t(i)];
                EXPECT_EQ(Apply(c, [&](LayerOpContext& x) { return ThresholdOrdered(x, level); }), ordered)
                    << "ordered " << w << "x" << h << " level " << level << " paths " << paths;
            }
    });
}

// Brightness and contrast over the dialogs' whole range (every table has a
// straight line or takes the lookup), grey, negative, levels.
TEST(PixelOps, TablesGreyNegativeAndLevelsMatchThePlainRule) {
    EveryPath([](int paths) {
        uint32_t seed = 50;
        for (auto [w, h] : kShapes) {
            Case c(w, h, seed++);
            for (int contrast = -255; contrast <= 255; contrast += 51)
                for (int brightness : {-255, -40, 0, 13, 255}) {
                    const double k = (contrast + 255) * 0.00392156862745098;
                    auto want = PerPixel(c, [&](const uint8_t* s, uint8_t* d, int, int) {
                        for (int ch = 0; ch < 3; ++ch) d[ch] = uint8_t(Clamp(int(k * (s[ch] - 128) + brightness + 128)));
                    });
                    ASSERT_EQ(Apply(c, [&](LayerOpContext& x) { return BrightnessContrast(x, brightness, contrast); }),
                              want)
                        << "brightness " << brightness << " contrast " << contrast << " " << w << "x" << h
                        << " paths " << paths;
                }
            auto grey = PerPixel(
                c, [](const uint8_t* s, uint8_t* d, int, int) { std::memset(d, Grey(s), 3); }, true);
            EXPECT_EQ(Apply(c, GreyLayer), grey) << w << "x" << h << " paths " << paths;
            std::vector<uint8_t> inverted = c.outPixels;
            for (int i = 0; i < c.layer.pixelSize; ++i) inverted[size_t(i)] = uint8_t(255 - c.layer.pixels[size_t(i)]);
            EXPECT_EQ(Apply(c, Negative).first, inverted) << w << "x" << h << " paths " << paths;

            // Levels: the tables of the plain rule from plain counts.
            const PlainLevels plain(c);
            const auto& hist = plain.hist;
            const auto& points = plain.points;
            const auto& cum = plain.cum;
            uint32_t got[1024];
            LayerOpContext hc = c.Context();
            ASSERT_TRUE(Histogram(hc, got));
            EXPECT_TRUE(std::equal(hist, hist + 1024, got)) << "histogram " << w << "x" << h;
            for (int channel = 0; channel < 4; ++channel)
                for (bool equalise : {false, true}) {
                    uint8_t t[4][256];
                    for (int ch = 0; ch < 4; ++ch)
                        for (int v = 0; v < 256; ++v) {
                            const int lo = points[ch][0], hi = points[ch][1];
                            const int64_t span = cum[ch][255] - cum[ch][0];
                            const int out =
                                equalise ? (span ? int(std::trunc(255.0 * double(cum[ch][v] - cum[ch][0]) / double(span))) : v)
                                : v < lo ? 0 : v > hi ? 255 : hi == lo ? v : (v - lo) * 255 / (hi - lo);
                            t[ch][v] = uint8_t(Clamp(out));
                        }
                    const bool map[3] = {channel == 0 || channel == 3, channel == 0 || channel == 2,
                                         channel == 0 || channel == 1};   // blue, green, red
                    const bool refused = (equalise && cum[channel][0] == cum[channel][255]) ||
                                         points[channel][0] == points[channel][1];
                    auto want = refused ? std::pair{c.outPixels, c.outAlpha}
                                        : PerPixel(c, [&](const uint8_t* s, uint8_t* d, int, int) {
                                              for (int ch = 0; ch < 3; ++ch) d[ch] = map[ch] ? t[3 - ch][s[ch]] : s[ch];
                                          });
                    std::vector<uint8_t> p = c.outPixels, a = c.outAlpha;
                    LayerOpContext x = c.Context();
                    x.outPixels = p.data(), x.outAlpha = a.data();
                    EXPECT_EQ(RemapLevels(x, channel, -1, -1, equalise), !refused) << "levels " << channel << " eq " << equalise << " " << w << "x" << h << " pts " << points[channel][0] << "," << points[channel][1] << " paths " << paths;
                    EXPECT_EQ(std::pair(p, a), want) << "levels " << channel << " equalise " << equalise << " " << w
                                                     << "x" << h << " paths " << paths;
                }
            // A given range of one channel.
            auto ranged = PerPixel(c, [](const uint8_t* s, uint8_t* d, int, int) {
                d[0] = s[0], d[1] = s[1];
                d[2] = uint8_t(s[2] < 40 ? 0 : s[2] > 190 ? 255 : (s[2] - 40) * 255 / 150);
            });
            if (points[1][0] != points[1][1]) {
                EXPECT_EQ(Apply(c, [](LayerOpContext& x) { return RemapLevels(x, 1, 40, 190, false); }), ranged)
                    << "red range " << w << "x" << h << " paths " << paths;
            }
        }
    });
}

// Pictures large enough for the two threads of Floyd-Steinberg (batches of
// 16 rows alternating between them, each following the one above): the
// bytes of the one-row-at-a-time rule, with and without transparent
// pixels, a last batch of 16 rows and of fewer, a picture of only two batches.
TEST(PixelOps, FloydOnTwoThreadsMatchesThePlainRule) {
    struct Shape { int w, h; bool opaque; int level; };
    // Batches of 16 rows (AVX2) and of 32 (512-bit): last batches full,
    // of half their rows and of fewer.
    EveryPath([](int paths) {
        for (Shape s : {Shape{1201, 250, false, 128}, Shape{1001, 272, true, 90}, Shape{8200, 32, true, 200},
                        Shape{601, 449, false, 40}, Shape{999, 288, true, 128}}) {
            Case c(s.w, s.h, uint32_t(s.w + s.h), s.opaque);
            EXPECT_EQ(Apply(c, [&](LayerOpContext& x) { return ThresholdFloyd(x, s.level); }), PlainFloyd(c, s.level))
                << s.w << "x" << s.h << " opaque " << s.opaque << " paths " << paths;
        }
    });
}

// Levels refuse a channel of a single level (the luminance of a flat grey
// picture), and equalising a picture that is all black.
TEST(PixelOps, LevelsRefuseSingleLevelChannels) {
    Case c(40, 9, 3);
    for (int i = 0; i < c.layer.pixelSize; ++i) c.layer.pixels[size_t(i)] = 90;
    const auto before = c.outPixels;
    for (int channel = 0; channel < 4; ++channel) {
        LayerOpContext x = c.Context();
        EXPECT_FALSE(RemapLevels(x, channel, -1, -1, false)) << channel;
    }
    EXPECT_EQ(c.outPixels, before);
    // Two greys: the luminance has two levels, so it is stretched.
    for (int r = 0; r < 9; ++r) std::memset(c.layer.pixels.get() + size_t(r) * c.layer.stride, 30, 3 * 20);
    LayerOpContext x = c.Context();
    EXPECT_TRUE(RemapLevels(x, 0, -1, -1, false));
    std::memset(c.layer.pixels.get(), 0, size_t(c.layer.pixelSize));
    LayerOpContext y = c.Context();
    EXPECT_FALSE(RemapLevels(y, 0, -1, -1, true));
}

// The luminance's levels are what counts, not the colours: different
// colours of one luminance are a single level, and colours that all have
// luminance 0 are "all black" to the equaliser. Large enough for two
// threads, with the one pixel of another level last.
TEST(PixelOps, LevelsJudgeTheLuminanceNotTheColours) {
    Case c(700, 400, 5);
    for (int i = 0; i < c.layer.pixelSize; i += 3) {
        const bool odd = i / 3 % 2 != 0;   // lum (11 B + 59 G + 30 R) div 100 is 0 for both
        c.layer.pixels[size_t(i)] = odd ? 9 : 0, c.layer.pixels[size_t(i) + 1] = 0, c.layer.pixels[size_t(i) + 2] = odd ? 0 : 3;
    }
    const auto before = c.outPixels;
    for (bool equalise : {false, true}) {
        LayerOpContext x = c.Context();
        EXPECT_FALSE(RemapLevels(x, 0, -1, -1, equalise)) << equalise;
    }
    EXPECT_EQ(c.outPixels, before);
    // One pixel of luminance 1 at the very end: two levels, both refusals go.
    uint8_t* last = c.layer.pixels.get() + size_t(399) * c.layer.stride + 3 * 699;
    last[0] = 0, last[1] = 2, last[2] = 0;
    for (bool equalise : {false, true}) {
        LayerOpContext x = c.Context();
        std::vector<uint8_t> p = c.outPixels, a = c.outAlpha;
        x.outPixels = p.data(), x.outAlpha = a.data();
        EXPECT_TRUE(RemapLevels(x, 0, -1, -1, equalise)) << equalise;
    }
}

// The histogram of a picture large enough for two threads, each with its
// own counters, an odd width leaving pixels after the groups of four.
TEST(PixelOps, HistogramOfTwoHalvesAddsUp) {
    Case c(701, 401, 12);
    uint32_t hist[1024] = {};
    for (int r = 0; r < 401; ++r)
        for (int x = 0; x < 701; ++x) {
            const uint8_t* p = c.Px(x, r);
            ++hist[(11 * p[0] + 59 * p[1] + 30 * p[2]) / 100], ++hist[256 + p[2]], ++hist[512 + p[1]],
                ++hist[768 + p[0]];
        }
    uint32_t got[1024];
    LayerOpContext x = c.Context();
    ASSERT_TRUE(Histogram(x, got));
    EXPECT_TRUE(std::equal(hist, hist + 1024, got));
}

TEST(PixelOps, ChannelSplitsMatchThePlainRule) {
    EveryPath([](int paths) {
        uint32_t seed = 90;
        for (auto [w, h] : kShapes) {
            Case c(w, h, seed++);
            // The layer sticks out of the canvas on the left and at the top
            // (stored row h - 1 lands on canvas row h).
            ImageSet set;
            set.canvas.bitsPerPixel = 24;
            set.canvas.width = w, set.canvas.height = h;
            set.layers[0].CopyFrom(c.layer);
            set.layers[0].x = -1, set.layers[0].y = -1;
            const size_t plane = size_t(w) * size_t(h);
            std::vector<uint8_t> planes(plane * 3, 7), want(planes);
            for (int r = 0; r + 1 < h; ++r)
                for (int x = 1; x < w; ++x) {
                    const size_t at = size_t(r + 1) * size_t(w) + size_t(x - 1);
                    want[at] = c.Px(x, r)[2], want[plane + at] = c.Px(x, r)[1], want[2 * plane + at] = c.Px(x, r)[0];
                }
            ASSERT_TRUE(SplitRGB(c.image, set, 0, planes.data(), planes.data() + plane, planes.data() + 2 * plane));
            EXPECT_EQ(planes, want) << "RGB " << w << "x" << h << " paths " << paths;

            // YUV and HSL into pictures of the document's size (larger than the
            // layer here: the rest stays white).
            VaZavi doc(kTypeBMP);
            ASSERT_TRUE(doc.Create(24, w + 5, h + 2, kTypeBMP));
            for (bool hsl : {false, true}) {
                VaZavi t[3];
                ASSERT_TRUE(hsl ? SplitHSL(doc, set, 0, &t[0], &t[1], &t[2]) : SplitYUV(doc, set, 0, &t[0], &t[1], &t[2]));
                for (int r = 0; r < h + 2; ++r)
                    for (int x = 0; x < w + 5; ++x) {
                        uint8_t v[3] = {255, 255, 255};
                        if (r < h && x < w) {
                            const uint8_t* p = c.Px(x, r);
                            if (hsl) {
                                const Hsl s = RgbToHsl(p[2], p[1], p[0]);
                                v[0] = s.l, v[1] = s.s, v[2] = s.h;
                            } else {
                                const Yuv s = RgbToYuv(p[2], p[1], p[0]);
                                v[0] = s.y, v[1] = s.u, v[2] = s.v;
                            }
                        }
                        for (int k = 0; k < 3; ++k)
                            ASSERT_EQ(t[k].Row(r)[x], v[k]) << (hsl ? "HSL " : "YUV ") << k << " at " << x << "," << r
                                                           << " of " << w << "x" << h << " paths " << paths;
                    }
            }
        }
    });
}

// The colour-space rows over all 2^24 colours, vector against plain; the
// row kernels with streaming stores at every alignment of the destination.
TEST(PixelOps, RowKernelsOverEveryColourAndAlignment) {
    const int w = 4096;
    std::vector<uint8_t> row(size_t(w) * 3);
    std::vector<uint8_t> got(size_t(w) * 6), want(got);
#ifdef __SANITIZE_ADDRESS__
    const int every = 61;   // a sample of the blocks: the sanitizer's build is slow
#else
    const int every = 1;
#endif
    for (int block = 0; block < 4096; block += every) {
        for (int i = 0; i < w; ++i) {
            const uint32_t c = uint32_t(block) * 4096 + uint32_t(i);
            row[size_t(i) * 3] = uint8_t(c), row[size_t(i) * 3 + 1] = uint8_t(c >> 8), row[size_t(i) * 3 + 2] = uint8_t(c >> 16);
        }
        for (bool hsl : {false, true}) {
            uint8_t* v = want.data();
            UsePaths(kPlain);
            (hsl ? pixelrows::HslRow : pixelrows::YuvRow)(row.data(), v, v + w, v + 2 * w, w);
            for (int paths : {kWidest, kAvx2Only}) {
                uint8_t* g = got.data();
                UsePaths(paths);
                (hsl ? pixelrows::HslRow : pixelrows::YuvRow)(row.data(), g, g + w, g + 2 * w, w);
                ASSERT_TRUE(std::equal(g, g + 3 * w, v)) << (hsl ? "HSL" : "YUV") << " block " << block << " paths " << paths;
            }
            UsePaths(kWidest);
        }
    }
    // Rows that end inside a vector run: exactly n bytes of each plane
    // written, the same as the plain rule's.
    for (int n : {1, 15, 17, 31, 33, 63, 65, 100}) {
        for (bool hsl : {false, true}) {
            std::vector<uint8_t> want3(size_t(n) * 3 + 3, 0xA5);
            UsePaths(kPlain);
            (hsl ? pixelrows::HslRow : pixelrows::YuvRow)(row.data() + 300, want3.data(), want3.data() + n + 1,
                                                          want3.data() + 2 * n + 2, n);
            for (int paths : {kWidest, kAvx2Only}) {
                std::vector<uint8_t> got3(want3.size(), 0xA5);
                UsePaths(paths);
                (hsl ? pixelrows::HslRow : pixelrows::YuvRow)(row.data() + 300, got3.data(), got3.data() + n + 1,
                                                              got3.data() + 2 * n + 2, n);
                EXPECT_EQ(got3, want3) << (hsl ? "HSL" : "YUV") << " row of " << n << " paths " << paths;
            }
            UsePaths(kWidest);
            EXPECT_EQ(want3[size_t(n)], 0xA5);
            EXPECT_EQ(want3.back(), 0xA5);
        }
    }
    // Grey and luminance of every colour: exhaustive over three-byte sums.
    for (int block = 0; block < 4096; block += 37) {
        for (int i = 0; i < w; ++i) {
            const uint32_t c = uint32_t(block) * 4096 + uint32_t(i);
            row[size_t(i) * 3] = uint8_t(c), row[size_t(i) * 3 + 1] = uint8_t(c >> 8), row[size_t(i) * 3 + 2] = uint8_t(c >> 16);
        }
        std::vector<uint8_t> lum(static_cast<size_t>(w)), grey(static_cast<size_t>(w));
        pixelrows::LumRow(row.data(), lum.data(), w);
        pixelrows::GreyValues(row.data(), grey.data(), w);
        for (int i = 0; i < w; ++i) {
            const uint8_t* p = &row[size_t(i) * 3];
            ASSERT_EQ(lum[size_t(i)], (11 * p[0] + 59 * p[1] + 30 * p[2]) / 100);
            ASSERT_EQ(grey[size_t(i)], Grey(p));
        }
    }
    // Streaming stores: every start alignment, rows with transparent pixels.
    std::mt19937 rng(4);
    const int n = 300;
    std::vector<uint8_t> src(size_t(n) * 3 + 64), alpha(static_cast<size_t>(n)), flags(static_cast<size_t>(n));
    for (auto& b : src) b = uint8_t(rng());
    for (int i = 0; i < n; ++i) alpha[size_t(i)] = i % 71 < 3 ? 0 : uint8_t(rng());
    for (auto& f : flags) f = rng() % 2 ? 255 : 0;
    pixelrows::ByteTables t;
    for (auto& tab : t.t)
        for (int v = 0; v < 256; ++v) tab[v] = uint8_t(rng());
    pixelrows::ByteTables line;
    for (auto& tab : line.t)
        for (int v = 0; v < 256; ++v) tab[v] = uint8_t(std::min(255, v * 3 / 2 + 7));
    line.Fit();
    EXPECT_TRUE(line.linear);
    const int16_t limits[4] = {40, 128, -1, 255};
    alignas(64) static uint8_t base[2][4096 + 64];
    // Offsets 0..63: the 512-bit kernels stream to 64-byte boundaries.
    for (int off = 0; off < 64; ++off) {
        auto check = [&](const char* what, auto kernel) {
            uint8_t* b = base[1] + off;
            std::vector<uint8_t> ob(alpha.size(), 9);
            std::memset(base[1], 0x5A, sizeof base[1]);
            UsePaths(kPlain);
            kernel(b, ob.data(), false);
            for (int paths : {kWidest, kAvx2Only}) {
                uint8_t* a = base[0] + off;
                std::vector<uint8_t> oa(alpha.size(), 9);
                std::memset(base[0], 0x5A, sizeof base[0]);
                UsePaths(paths);
                kernel(a, oa.data(), true);
                EXPECT_EQ(std::memcmp(base[0], base[1], sizeof base[0]), 0) << what << " offset " << off << " paths " << paths;
                EXPECT_EQ(oa, ob) << what << " alpha, offset " << off << " paths " << paths;
            }
            UsePaths(kWidest);
        };
        check("map", [&](uint8_t* d, uint8_t* oa, bool s) { pixelrows::MapRow(src.data(), d, alpha.data(), oa, n, t, s); });
        check("line", [&](uint8_t* d, uint8_t* oa, bool s) { pixelrows::MapRow(src.data(), d, alpha.data(), oa, n, line, s); });
        check("grey", [&](uint8_t* d, uint8_t* oa, bool s) { pixelrows::GreyRow(src.data(), d, alpha.data(), oa, n, s); });
        check("threshold", [&](uint8_t* d, uint8_t* oa, bool s) {
            pixelrows::ThresholdRow(src.data(), d, alpha.data(), oa, n, limits, s);
        });
        check("paint", [&](uint8_t* d, uint8_t* oa, bool s) { pixelrows::PaintFlags(flags.data(), d, alpha.data(), oa, n, s); });
        check("invert", [&](uint8_t* d, uint8_t*, bool s) { pixelrows::Invert(src.data(), d, size_t(n) * 3 + 1, s); });
    }
}

// Levels under a selection whose mask holds 0, 1 and 2 (a shape being
// drawn counts as unmarked) with a ragged edge, placed off the layer's
// corner: the marked pixels get the plain rule's colour and alpha 255, every
// other pixel keeps its scratch bytes. The tables still come from the whole
// layer. Every channel, stretched and equalised, and a given range, on
// both paths; widths that leave pixels after the vector blocks, padded
// rows, and a picture large enough for two threads.
TEST(PixelOps, LevelsUnderASelectionChangeOnlyMarkedPixels) {
    EveryPath([](int paths) {
        for (auto [w, h] : {std::pair{97, 5}, std::pair{513, 19}, std::pair{70, 50}, std::pair{1201, 250}}) {
            Case c(w, h, uint32_t(w * 7 + h), w == 1201);
            c.layer.x = 3, c.layer.y = 2;
            SelectionMask sel;
            sel.x = 1, sel.y = 0;
            sel.width = w + 1, sel.height = h - 1;   // misses the layer's last column and row
            sel.size = sel.width * sel.height;
            std::mt19937 rng{uint32_t(w)};
            sel.mask.resize(size_t(sel.size));
            for (int r = 0; r < sel.height; ++r)
                for (int x = 0; x < sel.width; ++x) {
                    // A feathered edge: the nearer the right side, the fewer marks.
                    const bool in = int(rng() % uint32_t(sel.width)) > x / 2;
                    sel.mask[size_t(r) * size_t(sel.width) + size_t(x)] = in ? (rng() % 13 == 0 ? 2 : 1) : 0;
                }
            auto marked = [&](int x, int r) {
                const int mx = x + c.layer.x - sel.x, my = r - c.layer.y + sel.y;
                return mx >= 0 && my >= 0 && mx < sel.width && my < sel.height &&
                       sel.mask[size_t(my) * size_t(sel.width) + size_t(mx)] == 1;
            };
            const PlainLevels plain(c);
            const auto& hist = plain.hist;
            const auto& points = plain.points;
            const auto& cum = plain.cum;
            struct Mode { int channel, low, high; bool equalise; };
            std::vector<Mode> modes;
            for (int channel = 0; channel < 4; ++channel)
                for (bool eq : {false, true}) modes.push_back({channel, -1, -1, eq});
            modes.push_back({2, 25, 210, false});
            modes.push_back({0, 60, 61, false});
            for (const Mode& m : modes) {
                uint8_t t[4][256];
                for (int ch = 0; ch < 4; ++ch)
                    for (int v = 0; v < 256; ++v) {
                        const int lo = m.low >= 0 ? m.low : points[ch][0], hi = m.low >= 0 ? m.high : points[ch][1];
                        const int64_t span = cum[ch][255] - cum[ch][0];
                        const int out = m.equalise ? (span ? int(std::trunc(255.0 * double(cum[ch][v] - cum[ch][0]) /
                                                                            double(span)))
                                                           : v)
                                        : v < lo ? 0 : v > hi ? 255 : (v - lo) * 255 / (hi - lo);
                        t[ch][v] = uint8_t(Clamp(out));
                    }
                const bool map[3] = {m.channel == 0 || m.channel == 3, m.channel == 0 || m.channel == 2,
                                     m.channel == 0 || m.channel == 1};
                std::vector<uint8_t> wantP = c.outPixels, wantA = c.outAlpha;
                for (int r = 0; r < h; ++r)
                    for (int x = 0; x < w; ++x) {
                        if (!c.A(x, r) || !marked(x, r)) continue;
                        uint8_t* d = &wantP[size_t(r) * c.layer.stride + 3 * size_t(x)];
                        for (int ch = 0; ch < 3; ++ch) d[ch] = map[ch] ? t[3 - ch][c.Px(x, r)[ch]] : c.Px(x, r)[ch];
                        wantA[size_t(r) * size_t(w) + size_t(x)] = 255;
                    }
                std::vector<uint8_t> p = c.outPixels, a = c.outAlpha;
                LayerOpContext x = c.Context();
                x.selection = &sel;
                x.outPixels = p.data(), x.outAlpha = a.data();
                ASSERT_TRUE(RemapLevels(x, m.channel, m.low, m.high, m.equalise))
                    << "channel " << m.channel << " " << w << "x" << h;
                EXPECT_TRUE(p == wantP && a == wantA) << "channel " << m.channel << " range " << m.low << ".."
                                                     << m.high << " equalise " << m.equalise << " " << w << "x" << h
                                                     << " paths " << paths;
            }
            // The histogram reads every pixel, marked or not.
            uint32_t got[1024];
            LayerOpContext hc = c.Context();
            hc.selection = &sel;
            ASSERT_TRUE(Histogram(hc, got));
            EXPECT_TRUE(std::equal(hist, hist + 1024, got)) << "histogram " << w << "x" << h;
        }
    });
}

// The table lookup of the levels' row kernel for every byte in every
// channel position: three unrelated random tables, a row holding each
// value in each channel, every path against the plain rule; widths around
// the vector runs (32 and 64 pixels), opaque rows and rows with
// transparent pixels (those keep the destination's bytes and alpha).
TEST(PixelOps, TableLookupOfEveryByteInEveryChannel) {
    std::mt19937 rng(77);
    pixelrows::ByteTables t;
    for (auto& tab : t.t)
        for (int v = 0; v < 256; ++v) tab[v] = uint8_t(rng());
    t.Fit();
    ASSERT_FALSE(t.linear);
    EveryPath([&](int paths) {
        for (int w : {1, 2, 21, 22, 31, 33, 63, 64, 65, 127, 129, 3 * 256 + 5}) {
            std::vector<uint8_t> row(size_t(w) * 3);
            for (int i = 0; i < w * 3; ++i) row[size_t(i)] = uint8_t(i / 3 + i % 3 * 85 + w);   // every value in every channel
            for (bool holes : {false, true}) {
                std::vector<uint8_t> alpha(size_t(w), 200);
                if (holes)
                    for (int x = 0; x < w; ++x) alpha[size_t(x)] = rng() % 5 == 0 ? 0 : uint8_t(1 + rng() % 255);
                std::vector<uint8_t> got(row.size() + 1, 1), oa(alpha.size() + 1, 0);
                pixelrows::MapRow(row.data(), got.data(), alpha.data(), oa.data(), w, t, false);
                for (int i = 0; i < w * 3; ++i)
                    ASSERT_EQ(got[size_t(i)], alpha[size_t(i / 3)] ? t.t[i % 3][row[size_t(i)]] : 1)
                        << "byte " << i << " of " << w << " holes " << holes << " paths " << paths;
                for (int x = 0; x < w; ++x) ASSERT_EQ(oa[size_t(x)], alpha[size_t(x)] ? 255 : 0) << x;
                EXPECT_EQ(got.back(), 1);
                EXPECT_EQ(oa.back(), 0);
            }
        }
    });
}
