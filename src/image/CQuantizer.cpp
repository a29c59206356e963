#include "CQuantizer.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include "layer_set.h"
#include "split_rows.h"

CQuantizer::CQuantizer() : shortcut_(size_t(1) << (3 * kShortcutLevel)) {}

CQuantizer::~CQuantizer() { DeleteTree(root_); }

void CQuantizer::DeleteTree(Node* node) {
    if (!node) return;
    for (Node* c : node->child) DeleteTree(c);
    delete node;
}

void CQuantizer::AddColour(uint8_t r, uint8_t g, uint8_t b) {
    constexpr unsigned kShift = 8 - kShortcutLevel;
    Shortcut& sc = shortcut_[(unsigned(r >> kShift) << (2 * kShortcutLevel)) | (unsigned(g >> kShift) << kShortcutLevel) |
                             unsigned(b >> kShift)];
    Node* start = root_;
    Node** slot = &root_;
    unsigned level = 0;
    const bool known = sc.gen == gen_;
    if (known) {
        // The same nodes the descent from the root would pass through.
        start = sc.node;
        slot = &start;
        level = sc.level;
    }
    for (;; ++level) {
        Node*& node = *slot;
        if (!node) {
            node = new Node;
            if (level == colourBits_) {
                node->isLeaf = true;
                ++leafCount_;
            } else {
                node->next = reducible_[level];
                reducible_[level] = node;
            }
        }
        if (!known && (level == kShortcutLevel || node->isLeaf) && level <= kShortcutLevel)
            sc = Shortcut{node, level, gen_};
        if (node->isLeaf) {
            ++node->pixelCount;
            node->redSum += r;
            node->greenSum += g;
            node->blueSum += b;
            break;
        }
        const unsigned mask = 0x80u >> level, shift = 7 - level;
        const unsigned index = (((r & mask) >> shift) << 2) | (((g & mask) >> shift) << 1) | ((b & mask) >> shift);
        slot = &node->child[index];
    }
    while (leafCount_ > maxColours_) ReduceTree();
}

void CQuantizer::ReduceTree() {
    int level = int(colourBits_) - 1;
    while (level > 0 && !reducible_[level]) --level;
    Node* node = reducible_[level];
    if (!node) return;
    reducible_[level] = node->next;
    if (unsigned(level) < kShortcutLevel) ++gen_;   // nodes of level <= 4 go
    unsigned merged = 0;
    for (Node*& c : node->child) {
        if (!c) continue;
        node->pixelCount += c->pixelCount;
        node->redSum += c->redSum;
        node->greenSum += c->greenSum;
        node->blueSum += c->blueSum;
        DeleteTree(c);
        c = nullptr;
        ++merged;
    }
    node->isLeaf = true;
    leafCount_ -= merged - 1;
}

void CQuantizer::Collect(const Node* node, RgbQuad* table, unsigned& index) {
    if (!node) return;
    if (node->isLeaf) {
        const uint32_t n = node->pixelCount ? node->pixelCount : 1;
        table[index++] = RgbQuad{uint8_t(node->blueSum / n), uint8_t(node->greenSum / n), uint8_t(node->redSum / n), 0};
        return;
    }
    for (const Node* c : node->child) Collect(c, table, index);
}

void CQuantizer::GetColourTable(RgbQuad* table) const {
    unsigned index = 0;
    Collect(root_, table, index);
}

bool CQuantizer::ProcessPixels(const uint8_t* pixels, int width, int height, ptrdiff_t stride, int pixelStep) {
    if (!pixels || width < 0 || height < 0 || pixelStep < 3) return false;
    for (int y = 0; y < height; ++y) {
        const uint8_t* p = pixels + stride * y;
        for (int x = 0; x < width; ++x, p += pixelStep) AddColour(p[2], p[1], p[0]);
    }
    return true;
}

bool CQuantizer::ProcessLayer(const LayerRecord& layer, int bitsPerPixel, const RgbQuad* palette, int colourCount) {
    if (!layer.pixels || layer.width <= 0 || layer.height <= 0) return false;
    if (bitsPerPixel == 24) {
        if (int64_t(layer.stride) * layer.height > layer.pixelSize || layer.stride < layer.width * 3) return false;
        return ProcessPixels(layer.pixels.get(), layer.width, layer.height, layer.stride, 3);
    }
    if (bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8) {
        const size_t n = std::min(size_t(layer.planeSize), size_t(layer.pixelSize));
        for (size_t i = 0; i < n; ++i) {
            const uint8_t v = layer.pixels[i];
            const RgbQuad q = palette && v < colourCount ? palette[v] : RgbQuad{0, 0, 0, 0};
            AddColour(q.red, q.green, q.blue);
        }
        return true;
    }
    return false;
}

int NearestColourIndex(const RgbQuad* palette, int count, uint8_t blue, uint8_t green, uint8_t red) {
    if (!palette || count <= 0) return 0;
    int best = 9000, bestIndex = 0;
    for (int i = 0; i < count; ++i) {
        const int d = std::abs(palette[i].blue - blue) + std::abs(palette[i].green - green) +
                      std::abs(palette[i].red - red);
        if (d == 0) return i;
        if (d < best) {
            best = d;
            bestIndex = i;
        }
    }
    return bestIndex;
}

namespace {
constexpr int kCellBits = 5, kCells = 1 << (3 * kCellBits), kCellSide = 256 >> kCellBits;
inline int CellOf(uint8_t b, uint8_t g, uint8_t r) {
    return ((r >> (8 - kCellBits)) << (2 * kCellBits)) | ((g >> (8 - kCellBits)) << kCellBits) | (b >> (8 - kCellBits));
}
// Smallest and largest |v - c| over c in lo..lo + kCellSide - 1.
inline int MinGap(int v, int lo) { return v < lo ? lo - v : v > lo + kCellSide - 1 ? v - (lo + kCellSide - 1) : 0; }
inline int MaxGap(int v, int lo) { return std::max(std::abs(v - lo), std::abs(v - (lo + kCellSide - 1))); }
}  // namespace

NearestColourMap::NearestColourMap(const RgbQuad* palette, int count)
    : palette_(palette), count_(palette ? std::clamp(count, 0, 256) : 0),
      cache_(static_cast<uint16_t*>(std::calloc(size_t(1) << 24, sizeof(uint16_t)))) {
    if (count_ <= 0) return;
    // Candidate lists of a range of cells, built by two threads.
    auto build = [this](int c0, int c1, std::vector<uint32_t>& first, std::vector<uint8_t>& list) {
        for (int cell = c0; cell < c1; ++cell) {
            first.push_back(uint32_t(list.size()));
            const int bl = (cell & ((1 << kCellBits) - 1)) * kCellSide;
            const int gl = ((cell >> kCellBits) & ((1 << kCellBits) - 1)) * kCellSide;
            const int rl = (cell >> (2 * kCellBits)) * kCellSide;
            int bound = 1 << 30;
            for (int i = 0; i < count_; ++i) {
                const RgbQuad& q = palette_[i];
                bound = std::min(bound, MaxGap(q.blue, bl) + MaxGap(q.green, gl) + MaxGap(q.red, rl));
            }
            for (int i = 0; i < count_; ++i) {
                const RgbQuad& q = palette_[i];
                if (MinGap(q.blue, bl) + MinGap(q.green, gl) + MinGap(q.red, rl) <= bound) list.push_back(uint8_t(i));
            }
        }
    };
    std::vector<uint32_t> firstHigh;
    std::vector<uint8_t> listHigh;
    first_.reserve(kCells + 1);
    // Without a helper thread the lower half takes every cell and the upper
    // lists stay empty.
    layerops::SplitRows(kCells, true, [&](int c0, int c1) {
        if (c0 == 0) build(c0, c1, first_, candidates_);
        else build(c0, c1, firstHigh, listHigh);
    });
    const uint32_t shift = uint32_t(candidates_.size());
    for (uint32_t f : firstHigh) first_.push_back(f + shift);
    candidates_.insert(candidates_.end(), listHigh.begin(), listHigh.end());
    first_.push_back(uint32_t(candidates_.size()));
}

NearestColourMap::~NearestColourMap() { std::free(cache_); }

// The first entry of least distance among the cell's candidates, which are
// in palette order: what the full search over the palette gives.
uint8_t NearestColourMap::Search(uint8_t blue, uint8_t green, uint8_t red) const {
    if (count_ <= 0) return 0;
    const int cell = CellOf(blue, green, red);
    const uint8_t* c = candidates_.data() + first_[size_t(cell)];
    const uint8_t* end = candidates_.data() + first_[size_t(cell) + 1];
    int best = 9000, bestIndex = 0;
    for (; c < end; ++c) {
        const RgbQuad& q = palette_[*c];
        const int d = std::abs(q.blue - blue) + std::abs(q.green - green) + std::abs(q.red - red);
        if (d == 0) return *c;
        if (d < best) best = d, bestIndex = *c;
    }
    return uint8_t(bestIndex);
}

uint8_t NearestColourMap::operator()(uint8_t blue, uint8_t green, uint8_t red) {
    if (!cache_) return Search(blue, green, red);
    std::atomic_ref<uint16_t> c(cache_[(size_t(red) << 16) | (size_t(green) << 8) | blue]);
    uint16_t v = c.load(std::memory_order_relaxed);
    if (!v) {
        v = uint16_t(Search(blue, green, red) + 1);
        c.store(v, std::memory_order_relaxed);
    }
    return uint8_t(v - 1);
}

void NearestColourMap::MapRows(const uint8_t* pixels, ptrdiff_t stride, int pixelStep, uint8_t* out,
                               ptrdiff_t outStride, int width, int height) {
    if (!pixels || !out || width <= 0 || height <= 0 || pixelStep < 3) return;
    // Both threads may fill the same table entry: with the same value.
    auto rows = [&](int r0, int r1) {
        for (int r = r0; r < r1; ++r) {
            const uint8_t* p = pixels + stride * r;
            uint8_t* o = out + outStride * r;
            uint32_t last = ~0u;   // runs of one colour skip the table
            uint8_t lastIndex = 0;
            for (int x = 0; x < width; ++x, p += pixelStep) {
                const uint32_t c = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
                if (c != last) last = c, lastIndex = (*this)(p[0], p[1], p[2]);
                o[x] = lastIndex;
            }
        }
    };
    layerops::SplitRows(height, layerops::WorthSplitting(int64_t(width) * height), rows);
}
