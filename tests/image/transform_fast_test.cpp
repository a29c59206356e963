// The fast geometric transforms and the nearest-colour map against plain
// per-pixel versions of their rules: random layers with random alpha, odd
// sizes, palette and coverage layers, sizes that take the two-thread paths,
// and every class of angle.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "CQuantizer.h"
#include "layer_ops.h"
#include "quarter_turn.h"

using namespace layerops;

namespace {

// Bytes per pixel 3 (24-bit), 1 (8-bit palette indices) or a text layer's
// coverage (kind LayerText, rows of width bytes).
struct Layer {
    LayerRecord L;
    int bits = 24;
    Layer(int w, int h, int bits_, bool text, uint32_t seed) : bits(bits_) {
        std::mt19937 rng(seed);
        L.inUse = 1;
        L.kind = text ? LayerText : LayerImage;
        L.width = w, L.height = h;
        L.stride = text ? w : ((w * bits + 31) / 32) * 4;
        L.pixelSize = L.stride * h;
        L.planeSize = w * h;
        L.pixels.reset(new uint8_t[size_t(L.pixelSize)]);
        L.alpha.reset(new uint8_t[size_t(L.planeSize)]);
        for (int i = 0; i < L.pixelSize; ++i) L.pixels[size_t(i)] = uint8_t(rng());
        for (int i = 0; i < L.planeSize; ++i) L.alpha[size_t(i)] = rng() % 4 == 0 ? 0 : uint8_t(rng());
    }
    int Bpp() const { return L.IsTextKind() ? 1 : bits / 8; }
    const uint8_t* Px(int x, int r) const { return L.pixels.get() + size_t(r) * L.stride + size_t(x) * Bpp(); }
    uint8_t A(int x, int r) const { return L.alpha[size_t(r) * L.width + x]; }
};

// An empty destination layer of the given size, the source's kind and bits.
std::unique_ptr<LayerRecord> Blank(const Layer& s, int w, int h) {
    auto d = std::make_unique<LayerRecord>();
    d->kind = s.L.kind;
    d->width = w, d->height = h;
    d->stride = s.L.IsTextKind() ? w : ((w * s.bits + 31) / 32) * 4;
    d->pixelSize = d->stride * h, d->planeSize = w * h;
    d->pixels.reset(new uint8_t[size_t(d->pixelSize)]());
    d->alpha.reset(new uint8_t[size_t(d->planeSize)]());
    return d;
}

struct Kind { int bits; bool text; };
const Kind kKinds[] = {{24, false}, {8, false}, {8, true}};

// d is s turned by qq (0..3) quarters: each pixel and alpha value from its
// place by the per-pixel rule, the rows' padding still 0xA5.
void ExpectTurned(const Layer& s, const LayerRecord& d, int qq, const std::string& what) {
    const int w = s.L.width, h = s.L.height, nw = d.width, nh = d.height, bpp = s.Bpp();
    for (int r = 0; r < nh; ++r) {
        for (int b = nw * bpp; b < d.stride; ++b) ASSERT_EQ(d.pixels[size_t(r) * d.stride + b], 0xA5) << what;
        for (int x = 0; x < nw; ++x) {
            int sx = x, sy = r;
            if (qq == 1) sx = w - 1 - r, sy = x;
            if (qq == 2) sx = w - 1 - x, sy = h - 1 - r;
            if (qq == 3) sx = r, sy = h - 1 - x;
            ASSERT_EQ(0, std::memcmp(d.pixels.get() + size_t(r) * d.stride + size_t(x) * bpp, s.Px(sx, sy),
                                     size_t(bpp)))
                << what << " at " << x << "," << r;
            ASSERT_EQ(d.alpha[size_t(r) * nw + x], s.A(sx, sy)) << what << " at " << x << "," << r;
        }
    }
}

}  // namespace

TEST(FastTransforms, MirrorAndFlipMatchTheRuleWithAndWithoutSelection) {
    for (auto [w, h] : {std::pair{1, 1}, {2, 3}, {13, 7}, {700, 401}})
        for (const Kind& k : kKinds)
            for (int withSel = 0; withSel < 2; ++withSel) {
                Layer s(w, h, k.bits, k.text, uint32_t(w * 7 + h + withSel));
                s.L.x = 2, s.L.y = -1;
                VaZavi image(kTypeBMP);
                SelectionMask sel;
                sel.width = w + 3, sel.height = h + 1, sel.x = 1, sel.y = 0;
                sel.size = sel.width * sel.height;
                std::mt19937 rng(9);
                for (int i = 0; i < sel.size; ++i) sel.mask.push_back(uint8_t(rng() % 3));
                auto marked = [&](int x, int r) {
                    if (!withSel) return true;
                    const int mc = x + s.L.x - sel.x, mr = r - s.L.y + sel.y;
                    return mc >= 0 && mr >= 0 && mc < sel.width && mr < sel.height &&
                           sel.mask[size_t(mr) * sel.width + mc] == 1;
                };
                for (int flip = 0; flip < 2; ++flip) {
                    std::vector<uint8_t> px(size_t(s.L.pixelSize), 0x5A), al(size_t(s.L.planeSize), 0xA5);
                    const std::vector<uint8_t> al0 = al;
                    LayerOpContext c;
                    c.image = &image, c.layer = &s.L, c.bitsPerPixel = k.bits;
                    c.outPixels = px.data(), c.outAlpha = al.data();
                    c.selection = withSel ? &sel : nullptr;
                    ASSERT_TRUE(flip ? FlipLayer(c) : MirrorLayer(c));
                    for (int r = 0; r < h; ++r)
                        for (int x = 0; x < w; ++x) {
                            const int sx = flip ? x : w - 1 - x, sr = flip ? h - 1 - r : r;
                            // Unmarked pixels keep their scratch bytes.
                            const std::vector<uint8_t> scratch(size_t(s.Bpp()), 0x5A);
                            ASSERT_EQ(0, std::memcmp(px.data() + size_t(r) * s.L.stride + size_t(x) * s.Bpp(),
                                                     marked(x, r) ? s.Px(sx, sr) : scratch.data(), size_t(s.Bpp())))
                                << w << "x" << h << " flip " << flip;
                            ASSERT_EQ(al[size_t(r) * w + x], marked(x, r) ? s.A(sx, sr) : al0[size_t(r) * w + x]);
                        }
                    if (withSel) continue;
                    // In place on a copy of the layer: the same bytes.
                    LayerRecord copy;
                    ASSERT_TRUE(copy.CopyFrom(s.L));
                    ASSERT_TRUE(flip ? FlipLayerInPlace(copy, k.bits) : MirrorLayerInPlace(copy, k.bits));
                    for (int r = 0; r < h; ++r) {
                        const size_t n = size_t(w) * size_t(s.Bpp());
                        ASSERT_EQ(0, std::memcmp(copy.PixelRow(r), px.data() + size_t(r) * s.L.stride, n));
                        ASSERT_EQ(0, std::memcmp(copy.AlphaRow(r), al.data() + size_t(r) * w, size_t(w)));
                    }
                }
            }
}

TEST(FastTransforms, InPlaceRefusesBuffersThatDoNotMatchTheRecord) {
    Layer s(10, 4, 24, false, 1);
    s.L.pixelSize = s.L.stride * 3;   // shorter than its rows
    EXPECT_FALSE(MirrorLayerInPlace(s.L, 24));
    EXPECT_FALSE(FlipLayerInPlace(s.L, 24));
    Layer t(10, 4, 24, false, 1);
    EXPECT_FALSE(MirrorLayerInPlace(t.L, 32));
    t.L.alpha.reset();
    EXPECT_FALSE(FlipLayerInPlace(t.L, 24));
}

TEST(FastTransforms, RotateMatchesThePerPixelRuleAtEveryAngle) {
    const double angles[] = {0,   1,   29.9, 30,  45,  60,  89,  89.99, 90.5, 91,  120,  135, 179,
                             180, 181, 225,  269, 270, 271, 315, 359,   -30,  -91, -135, 720.25};
    auto check = [](const Layer& s, double deg, VaZavi& image) {
        int nw, nh;
        RotatedSize(s.L.width, s.L.height, deg, nw, nh);
        auto d = Blank(s, nw, nh);
        ASSERT_TRUE(RotateLayer(image, s.L, *d, s.bits, deg));
        const double th = -(deg * (1.0 / 90) * std::acos(0.0));
        const double cs = std::cos(th), sn = std::sin(th);
        const int W = s.L.width, H = s.L.height;
        int xmin = 0, ymin = 0;
        bool first = true;
        for (auto [cx, cy] : {std::pair{0, 0}, {W - 1, 0}, {0, H - 1}, {W - 1, H - 1}}) {
            const int x = int(double(cx) * cs - double(cy) * sn), y = int(double(cx) * sn + double(cy) * cs);
            xmin = first ? x : std::min(xmin, x), ymin = first ? y : std::min(ymin, y);
            first = false;
        }
        const int bpp = s.Bpp();
        for (int r = 0; r < nh; ++r)
            for (int c = 0; c < nw; ++c) {
                const double x = xmin + c, y = ymin + r;
                const int sx = int(x * cs + y * sn - 0.5), sy = int(y * cs - x * sn - 0.5);
                const uint8_t* p = d->pixels.get() + size_t(r) * d->stride + size_t(c) * bpp;
                const uint8_t a = d->alpha[size_t(r) * nw + c];
                if (sx >= 0 && sy >= 0 && sx < W && sy < H) {
                    ASSERT_EQ(0, std::memcmp(p, s.Px(sx, sy), size_t(bpp))) << deg << " at " << c << "," << r;
                    ASSERT_EQ(a, s.A(sx, sy)) << deg;
                } else if (bpp == 3) {
                    ASSERT_EQ(p[0], 17) << deg << " at " << c << "," << r;
                    ASSERT_EQ(p[1], 99);
                    ASSERT_EQ(p[2], 201);
                    ASSERT_EQ(a, 0);
                } else {
                    ASSERT_EQ(p[0], s.L.IsTextKind() ? 0 : 6) << deg;
                    ASSERT_EQ(a, 0);
                }
            }
    };
    VaZavi image(kTypeBMP);
    image.info.backgroundColor = RgbQuad{17, 99, 201, 0};
    image.info.transparentIndex = 6;
    for (auto [w, h] : {std::pair{1, 1}, {5, 1}, {1, 5}, {2, 2}, {13, 7}, {31, 64}})
        for (const Kind& k : kKinds) {
            Layer s(w, h, k.bits, k.text, uint32_t(w * 31 + h));
            for (double deg : angles) check(s, deg, image);
        }
    // Large enough for two threads.
    Layer big(640, 470, 24, false, 77);
    for (double deg : {30.0, 135.0, 271.0}) check(big, deg, image);
}

// Sizes with whole tiles and blocks and without, rows with and without
// padding; the padding of the destination rows is left as it was (the
// pixels move four bytes at a time inside a row).
TEST(FastTransforms, QuarterTurnsMoveEveryPixelToItsPlace) {
    for (auto [w, h] : {std::pair{1, 1}, {1, 9}, {9, 1}, {33, 65}, {64, 32}, {96, 128}, {129, 97}, {700, 389},
                        {257, 513}, {512, 256}})
        for (const Kind& k : kKinds) {
            Layer s(w, h, k.bits, k.text, uint32_t(w + 3 * h));
            for (int q = -1; q <= 4; ++q) {
                const int qq = ((q % 4) + 4) % 4;
                const int nw = (qq & 1) ? h : w, nh = (qq & 1) ? w : h;
                auto d = Blank(s, nw, nh);
                std::memset(d->pixels.get(), 0xA5, size_t(d->pixelSize));
                ASSERT_TRUE(QuarterTurnLayer(s.L, *d, s.bits, q));
                ExpectTurned(s, *d, qq, std::to_string(w) + "x" + std::to_string(h) + " q " + std::to_string(q));
            }
        }
}

// Each kernel the CPU can run against the per-pixel rule: every kind, the
// odd turns that the block kernel takes and the others, sizes below, at
// and off the block sides (8 colour pixels, 16 bytes) and the 64-pixel
// tiles, rows with padding, sizes that take the two threads. The
// previous-state copy filled in the same pass must equal the result byte
// for byte (padding included), and nothing past a row's pixels is written.
TEST(FastTransforms, QuarterTurnKernelsMatchThePerPixelRule) {
    std::vector<TurnKernel> kernels;
    for (TurnKernel k : {TurnKernel::Scalar, TurnKernel::Avx2, TurnKernel::Avx512})
        if (TurnKernelAvailable(k)) kernels.push_back(k);
    const std::pair<int, int> sizes[] = {{1, 1},  {1, 17},  {17, 1},  {8, 8},   {16, 16},  {7, 9},    {15, 17},
                                         {23, 40}, {64, 64}, {65, 63}, {97, 90}, {130, 47}, {48, 200}, {701, 389}, {333, 1030}};
    for (TurnKernel kernel : kernels)
        for (auto [w, h] : sizes)
            for (const Kind& k : kKinds) {
                Layer s(w, h, k.bits, k.text, uint32_t(w * 5 + h + int(kernel)));
                for (int q : {1, 3, 2, 0, -1, 5}) {
                    const int qq = ((q % 4) + 4) % 4;
                    const int nw = (qq & 1) ? h : w, nh = (qq & 1) ? w : h;
                    auto d = Blank(s, nw, nh), copy = Blank(s, nw, nh);
                    std::memset(d->pixels.get(), 0xA5, size_t(d->pixelSize));
                    std::memset(copy->pixels.get(), 0x3C, size_t(copy->pixelSize));
                    std::memset(copy->alpha.get(), 0x3C, size_t(copy->planeSize));
                    const std::string what = std::to_string(w) + "x" + std::to_string(h) + " bits " +
                                             std::to_string(k.bits) + (k.text ? " text" : "") + " q " +
                                             std::to_string(q) + " kernel " + std::to_string(int(kernel));
                    ASSERT_TRUE(QuarterTurnLayerWith(kernel, s.L, *d, s.bits, q, copy.get())) << what;
                    ExpectTurned(s, *d, qq, what);
                    ASSERT_EQ(0, std::memcmp(copy->pixels.get(), d->pixels.get(), size_t(d->pixelSize))) << what;
                    ASSERT_EQ(0, std::memcmp(copy->alpha.get(), d->alpha.get(), size_t(d->planeSize))) << what;
                }
            }
}

// What the kernels cannot do they refuse, leaving the destination as it
// was: depths other than 8 and 24 bits, a destination of the wrong size, a
// copy of other byte counts.
TEST(FastTransforms, QuarterTurnRefusesWhatItCannotTurn) {
    for (TurnKernel kernel : {TurnKernel::Scalar, TurnKernel::Avx2, TurnKernel::Avx512}) {
        if (!TurnKernelAvailable(kernel)) continue;
        for (int bits : {1, 4, 16, 32}) {
            Layer s(20, 12, bits, false, 3);
            auto d = Blank(s, 12, 20);
            std::memset(d->pixels.get(), 0x5A, size_t(d->pixelSize));
            EXPECT_FALSE(QuarterTurnLayerWith(kernel, s.L, *d, bits, 1)) << bits;
            for (int i = 0; i < d->pixelSize; ++i) ASSERT_EQ(d->pixels[size_t(i)], 0x5A) << bits;
        }
        Layer s(20, 12, 24, false, 4);
        auto wrong = Blank(s, 20, 12);
        EXPECT_FALSE(QuarterTurnLayerWith(kernel, s.L, *wrong, 24, 1));
        auto d = Blank(s, 12, 20), small = Blank(s, 12, 19);
        EXPECT_FALSE(QuarterTurnLayerWith(kernel, s.L, *d, 24, 3, small.get()));
        for (int i = 0; i < d->planeSize; ++i) ASSERT_EQ(d->alpha[size_t(i)], 0);
    }
}

// Every destination pixel against the sampling kernel called on its own,
// alpha against the nearest source pixel.
TEST(FastTransforms, ResizeMatchesTheSamplingKernels) {
    struct Case { int sw, sh, dw, dh; };
    const Case cases[] = {{11, 8, 25, 19},  {1, 1, 3, 3},     {3, 3, 1, 1},    {10, 10, 10, 10}, {40, 30, 20, 15},
                          {37, 23, 12, 7},  {9, 9, 4, 4},     {20, 10, 7, 25}, {7, 25, 20, 10},  {5, 17, 11, 17},
                          {300, 220, 643, 509}, {600, 450, 251, 190}, {601, 449, 300, 224}};
    VaZavi image(kTypeBMP);
    for (const Case& c : cases) {
        Layer s(c.sw, c.sh, 24, false, uint32_t(c.sw * c.dw));
        auto d = Blank(s, c.dw, c.dh);
        ASSERT_TRUE(ResizeLayer(image, s.L, *d));
        const double sx = double(c.sw) / c.dw, sy = double(c.sh) / c.dh;
        for (int j = 0; j < c.dh; ++j)
            for (int i = 0; i < c.dw; ++i) {
                const double x = (i + 0.5) * sx - 0.5, y = (j + 0.5) * sy - 0.5;
                const uint32_t want = (sx <= 1 && sy <= 1) ? SampleBilinear(s.L, x, y) : SampleArea(s.L, x, y, sx, sy);
                const uint8_t* p = d->pixels.get() + size_t(j) * d->stride + 3 * size_t(i);
                ASSERT_EQ(PackBGR(p[0], p[1], p[2]), want & 0xFFFFFFu)
                    << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << " at " << i << "," << j;
                const int ax = std::clamp(int(std::lround(x)), 0, c.sw - 1), ay = std::clamp(int(std::lround(y)), 0, c.sh - 1);
                ASSERT_EQ(d->alpha[size_t(j) * c.dw + i], s.A(ax, ay));
            }
    }
}

TEST(NearestColour, MapGivesTheFullSearchsAnswerIncludingTies) {
    std::mt19937 rng(5);
    std::vector<std::vector<RgbQuad>> palettes;
    // Random, with duplicates and entries one step apart (ties everywhere).
    std::vector<RgbQuad> p;
    for (int i = 0; i < 256; ++i) {
        if (i % 5 == 4) {
            RgbQuad q = p[size_t(rng() % p.size())];
            q.green = uint8_t(std::min(255, q.green + int(rng() % 3)));
            p.push_back(q);
        } else {
            p.push_back(RgbQuad{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0});
        }
    }
    palettes.push_back(p);
    palettes.push_back(std::vector<RgbQuad>(256, RgbQuad{0, 0, 0, 0}));   // the zero-filled tail of a short table
    palettes.push_back({{10, 10, 10, 0}, {30, 10, 10, 0}, {20, 10, 10, 0}});
    palettes.push_back({{255, 0, 128, 0}});
    std::vector<RgbQuad> grey;
    for (int i = 0; i < 256; i += 15) grey.push_back(RgbQuad{uint8_t(i), uint8_t(i), uint8_t(i), 0});
    palettes.push_back(grey);
    for (const auto& pal : palettes) {
        NearestColourMap map(pal.data(), int(pal.size()));
        auto check = [&](int b, int g, int r) {
            ASSERT_EQ(map(uint8_t(b), uint8_t(g), uint8_t(r)),
                      NearestColourIndex(pal.data(), int(pal.size()), uint8_t(b), uint8_t(g), uint8_t(r)))
                << b << "," << g << "," << r << " palette of " << pal.size();
        };
        for (int b = 0; b < 256; b += 5)
            for (int g = 0; g < 256; g += 5)
                for (int r = 0; r < 256; r += 5) check(b, g, r);
        for (int i = 0; i < 100000; ++i) check(int(rng() & 255), int(rng() & 255), int(rng() & 255));
        for (const RgbQuad& q : pal)
            for (int d = -2; d <= 2; ++d)
                check(std::clamp(q.blue + d, 0, 255), std::clamp(q.green - d, 0, 255), std::clamp(q.red + d, 0, 255));
    }
    NearestColourMap none(nullptr, 0);
    EXPECT_EQ(none(1, 2, 3), 0);
}

TEST(NearestColour, MapRowsEqualsOneColourAtATime) {
    std::mt19937 rng(8);
    std::vector<RgbQuad> pal;
    for (int i = 0; i < 256; ++i) pal.push_back(RgbQuad{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0});
    for (int step : {3, 4}) {
        const int w = 700, h = 400;
        const ptrdiff_t stride = w * step + 5;
        std::vector<uint8_t> px(size_t(stride) * h);
        for (auto& v : px) v = uint8_t(rng() % 7 == 0 ? 200 : rng());   // some runs of one colour
        std::vector<uint8_t> out(size_t(w + 2) * h, 0xEE);
        NearestColourMap map(pal.data(), 256);
        map.MapRows(px.data(), stride, step, out.data(), w + 2, w, h);
        for (int r = 0; r < h; ++r) {
            for (int x = 0; x < w; ++x) {
                const uint8_t* c = px.data() + r * stride + x * step;
                ASSERT_EQ(out[size_t(r) * (w + 2) + x], NearestColourIndex(pal.data(), 256, c[0], c[1], c[2]));
            }
            ASSERT_EQ(out[size_t(r) * (w + 2) + w], 0xEE);   // the rest of each row is left alone
        }
    }
}

TEST(LayerRecordCopy, ReusesBuffersOfTheSameSizeAndCopiesEverything) {
    Layer a(30, 20, 24, false, 1), b(30, 20, 24, false, 2), c(7, 5, 24, false, 3);
    a.L.effectPlane.reset(new uint8_t[size_t(a.L.planeSize)]);
    for (int i = 0; i < a.L.planeSize; ++i) a.L.effectPlane[size_t(i)] = uint8_t(i * 3);
    LayerRecord dst;
    ASSERT_TRUE(dst.CopyFrom(b.L));
    const uint8_t* kept = dst.pixels.get();
    ASSERT_TRUE(dst.CopyFrom(a.L));
    EXPECT_EQ(dst.pixels.get(), kept);
    EXPECT_EQ(0, std::memcmp(dst.pixels.get(), a.L.pixels.get(), size_t(a.L.pixelSize)));
    EXPECT_EQ(0, std::memcmp(dst.alpha.get(), a.L.alpha.get(), size_t(a.L.planeSize)));
    EXPECT_EQ(0, std::memcmp(dst.effectPlane.get(), a.L.effectPlane.get(), size_t(a.L.planeSize)));
    ASSERT_TRUE(dst.CopyFrom(c.L));
    EXPECT_EQ(dst.width, 7);
    EXPECT_EQ(0, std::memcmp(dst.pixels.get(), c.L.pixels.get(), size_t(c.L.pixelSize)));
    EXPECT_FALSE(dst.effectPlane);
}

namespace {
// The octree of the colour reduction, plainly: every pixel descends from
// the root.
class PlainOctree {
public:
    ~PlainOctree() { Delete(root_); }
    void Add(uint8_t r, uint8_t g, uint8_t b) {
        Node** slot = &root_;
        for (unsigned level = 0;; ++level) {
            Node*& n = *slot;
            if (!n) {
                n = new Node;
                if (level == 8) {
                    n->leaf = true;
                    ++leaves_;
                } else {
                    n->next = reducible_[level];
                    reducible_[level] = n;
                }
            }
            if (n->leaf) {
                ++n->count, n->r += r, n->g += g, n->b += b;
                break;
            }
            const unsigned mask = 0x80u >> level, shift = 7 - level;
            slot = &n->child[(((r & mask) >> shift) << 2) | (((g & mask) >> shift) << 1) | ((b & mask) >> shift)];
        }
        while (leaves_ > 256) Reduce();
    }
    std::vector<RgbQuad> Table() const {
        std::vector<RgbQuad> t;
        Collect(root_, t);
        return t;
    }

private:
    struct Node {
        bool leaf = false;
        uint32_t count = 0, r = 0, g = 0, b = 0;
        Node* child[8] = {};
        Node* next = nullptr;
    };
    void Reduce() {
        int level = 7;
        while (level > 0 && !reducible_[level]) --level;
        Node* n = reducible_[level];
        reducible_[level] = n->next;
        unsigned merged = 0;
        for (Node*& c : n->child)
            if (c) {
                n->count += c->count, n->r += c->r, n->g += c->g, n->b += c->b;
                Delete(c);
                c = nullptr;
                ++merged;
            }
        n->leaf = true;
        leaves_ -= merged - 1;
    }
    static void Delete(Node* n) {
        if (!n) return;
        for (Node* c : n->child) Delete(c);
        delete n;
    }
    static void Collect(const Node* n, std::vector<RgbQuad>& t) {
        if (!n) return;
        if (n->leaf) {
            const uint32_t k = n->count ? n->count : 1;
            t.push_back(RgbQuad{uint8_t(n->b / k), uint8_t(n->g / k), uint8_t(n->r / k), 0});
            return;
        }
        for (const Node* c : n->child) Collect(c, t);
    }
    Node* root_ = nullptr;
    unsigned leaves_ = 0;
    Node* reducible_[9] = {};
};
}  // namespace

// Random colours (folds at every level), few colours, and a picture that
// wanders through colour space slowly: the same table as the plain tree.
TEST(ColourReduction, QuantizerGivesThePlainTreesTable) {
    std::mt19937 rng(21);
    auto compare = [](const std::vector<uint8_t>& px) {
        CQuantizer q;
        PlainOctree plain;
        for (size_t i = 0; i + 2 < px.size(); i += 3) {
            q.AddColour(px[i + 2], px[i + 1], px[i]);
            plain.Add(px[i + 2], px[i + 1], px[i]);
        }
        const std::vector<RgbQuad> want = plain.Table();
        ASSERT_EQ(q.GetColourCount(), want.size());
        std::vector<RgbQuad> got(want.size());
        q.GetColourTable(got.data());
        for (size_t i = 0; i < want.size(); ++i)
            ASSERT_TRUE(got[i].blue == want[i].blue && got[i].green == want[i].green && got[i].red == want[i].red) << i;
    };
    std::vector<uint8_t> noise(3 * 200000);
    for (auto& v : noise) v = uint8_t(rng());
    compare(noise);
    std::vector<uint8_t> few;
    for (int i = 0; i < 50000; ++i) {
        const int k = int(rng() % 300);   // 300 colours: just over the limit
        few.insert(few.end(), {uint8_t(k * 7), uint8_t(k * 13), uint8_t(k)});
    }
    compare(few);
    std::vector<uint8_t> walk;
    int c[3] = {128, 128, 128};
    for (int i = 0; i < 300000; ++i) {
        for (int& v : c) v = std::clamp(v + int(rng() % 7) - 3, 0, 255);
        walk.insert(walk.end(), {uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2])});
    }
    compare(walk);
}
