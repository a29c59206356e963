#include "CQuantizer.h"

#include <algorithm>
#include <cstdlib>

#include "layer_set.h"

CQuantizer::CQuantizer() = default;

CQuantizer::~CQuantizer() { DeleteTree(root_); }

void CQuantizer::DeleteTree(Node* node) {
    if (!node) return;
    for (Node* c : node->child) DeleteTree(c);
    delete node;
}

void CQuantizer::AddColour(uint8_t r, uint8_t g, uint8_t b) {
    Node** slot = &root_;
    for (unsigned level = 0;; ++level) {
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

NearestColourMap::NearestColourMap(const RgbQuad* palette, int count)
    : palette_(palette), count_(count), cache_(static_cast<uint16_t*>(std::calloc(size_t(1) << 24, sizeof(uint16_t)))) {}

NearestColourMap::~NearestColourMap() { std::free(cache_); }

uint8_t NearestColourMap::operator()(uint8_t blue, uint8_t green, uint8_t red) {
    if (!cache_) return uint8_t(NearestColourIndex(palette_, count_, blue, green, red));
    uint16_t& c = cache_[(size_t(red) << 16) | (size_t(green) << 8) | blue];
    if (!c) c = uint16_t(NearestColourIndex(palette_, count_, blue, green, red) + 1);
    return uint8_t(c - 1);
}
