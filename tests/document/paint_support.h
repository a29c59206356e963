// Shared pieces of the paint tests: a document with a patterned layer, a
// plain copy of a layer to work the rules on, and the product rule.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "CVexoDoc.h"
#include "paint.h"
#include "test_support.h"

namespace painttest {

// floor(a * b / 255), the mix of the painting rules.
inline int Mul(int a, int b) { return a * b / 255; }

// A layer's pixels and alpha, addressed by column and stored row.
struct Plain {
    int w = 0, h = 0, stride = 0;
    std::vector<uint8_t> pix, alpha;
    uint8_t* px(int x, int row) { return &pix[size_t(row) * size_t(stride) + size_t(x) * 3]; }
    uint8_t& a(int x, int row) { return alpha[size_t(row) * size_t(w) + size_t(x)]; }
    bool inside(int x, int row) const { return x >= 0 && row >= 0 && x < w && row < h; }
    bool operator==(const Plain& o) const { return w == o.w && h == o.h && pix == o.pix && alpha == o.alpha; }
};

inline Plain Take(const LayerRecord& l) {
    Plain p;
    p.w = l.width, p.h = l.height, p.stride = l.stride;
    p.pix.assign(l.pixels.get(), l.pixels.get() + l.pixelSize);
    p.alpha.assign(l.alpha.get(), l.alpha.get() + l.planeSize);
    return p;
}

inline void Put(LayerRecord& l, const Plain& p) {
    std::memcpy(l.pixels.get(), p.pix.data(), p.pix.size());
    std::memcpy(l.alpha.get(), p.alpha.data(), p.alpha.size());
}

// A document of one 24-bit layer covering the canvas, its colours a fixed
// pseudo-random pattern; alpha 255, or pseudo-random with `randomAlpha`.
template <class Host = HeadlessHost>
struct PaintDocWith {
    Host host;
    CVexoDoc doc{&host};
    PaintDocWith(int w, int h, uint32_t seed = 7, bool randomAlpha = false) {
        host.echoMessages = false;
        EXPECT_TRUE(doc.NewImage(w, h));
        LayerRecord& l = Layer();
        const std::vector<uint8_t> bytes = testsupport::RandomBytes(size_t(l.pixelSize) + size_t(l.planeSize), seed);
        std::memcpy(l.pixels.get(), bytes.data(), size_t(l.pixelSize));
        if (randomAlpha) std::memcpy(l.alpha.get(), bytes.data() + l.pixelSize, size_t(l.planeSize));
        doc.prevState.layers[doc.currentLayer].CopyFrom(l);
    }
    LayerRecord& Layer() { return doc.Layer(doc.currentLayer); }
    Plain Now() { return Take(Layer()); }
    // Canvas pixel (x, y from the top) of a layer covering the canvas, at zoom 1.
    paint::ZPoint Z(int x, int row) const { return paint::ZPoint{x, doc.live.canvas.height - 1 - row}; }
};
using PaintDoc = PaintDocWith<>;

// The midpoint circle of radius r as the circle and the spray trace it: the
// axis points (+r,0) (-r,0) (0,+r) (0,-r); then for i = 1 while i < k,
// k = sqrt(r² - i²) rounded, the points (±i, ±k) and (±k, ±i), x sign
// first; the four diagonals when i reaches k. Each point once.
inline std::vector<std::pair<int, int>> Ring(int r) {
    std::vector<std::pair<int, int>> v;
    auto add = [&v](int a, int b) {
        if (std::find(v.begin(), v.end(), std::pair{a, b}) == v.end()) v.push_back({a, b});
    };
    add(r, 0), add(-r, 0), add(0, r), add(0, -r);
    auto root = [r](int j) { return int(std::lround(std::sqrt(std::max(0.0, double(r) * r - double(j) * j)))); };
    int i = 1, k = root(1);
    for (; i < k; ++i, k = root(i)) {
        add(i, k), add(-i, k), add(i, -k), add(-i, -k);
        add(k, i), add(-k, i), add(k, -i), add(-k, -i);
    }
    if (i == k) add(i, i), add(-i, i), add(i, -i), add(-i, -i);
    return v;
}

}  // namespace painttest
