// CQuantizer: an optimal palette of at most 256 colours from true-colour
// pixels, built with an octree of depth 8. Leaves hold the sums of the
// colours that reach them; while there are more leaves than colours wanted,
// the deepest reducible node folds its children into itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dib_types.h"

struct LayerRecord;

class CQuantizer {
public:
    CQuantizer();
    virtual ~CQuantizer();
    CQuantizer(const CQuantizer&) = delete;
    CQuantizer& operator=(const CQuantizer&) = delete;

    // Every pixel of a layer: 24-bit rows as blue, green, red triplets with
    // each row's padding skipped; 1-, 4- and 8-bit layers as one byte per
    // pixel, an index into `palette` (colourCount entries), rows taken back
    // to back. Other bit counts are refused (false).
    bool ProcessLayer(const LayerRecord& layer, int bitsPerPixel, const RgbQuad* palette, int colourCount);
    // Pixels of a buffer of `height` rows of `stride` bytes, each pixel
    // `pixelStep` bytes starting with blue, green, red (3 for 24-bit rows,
    // 4 for a 32-bit composite).
    bool ProcessPixels(const uint8_t* pixels, int width, int height, ptrdiff_t stride, int pixelStep);

    void AddColour(uint8_t red, uint8_t green, uint8_t blue);
    unsigned GetColourCount() const { return leafCount_; }
    // Entries of blue, green, red, 0 in tree order; as many as leaves.
    void GetColourTable(RgbQuad* table) const;

private:
    struct Node {
        bool isLeaf = false;
        uint32_t pixelCount = 0, redSum = 0, greenSum = 0, blueSum = 0;
        Node* child[8] = {};
        Node* next = nullptr;
    };
    void ReduceTree();
    static void DeleteTree(Node* node);
    static void Collect(const Node* node, RgbQuad* table, unsigned& index);

    // Where the descent of a colour stands after its top 4 bits per channel
    // (the node at level 4, or a leaf above it), valid while `gen` is the
    // tree's: only folding a node of level 3 or above deletes such nodes.
    struct Shortcut {
        Node* node = nullptr;
        unsigned level = 0;
        uint32_t gen = 0;
    };
    static constexpr unsigned kShortcutLevel = 4;
    std::vector<Shortcut> shortcut_;
    uint32_t gen_ = 1;

    Node* root_ = nullptr;
    unsigned leafCount_ = 0;
    Node* reducible_[9] = {};
    unsigned maxColours_ = 256;
    unsigned colourBits_ = 8;
};

// Nearest palette entry by the sum of the channel distances: the search
// starts from a best distance of 9000, returns at once on distance 0 and
// keeps the first entry on ties; 0 without a palette.
int NearestColourIndex(const RgbQuad* palette, int count, uint8_t blue, uint8_t green, uint8_t red);

// NearestColourIndex for whole layers, with exactly its answers. Colour
// space is cut into 32 x 32 x 32 cells; each cell lists, in palette order,
// only the entries that can be nearest for some colour in it (an entry whose
// smallest distance to the cell exceeds the smallest largest distance of any
// entry can never be nearest nor tie), and the answer per colour is
// remembered in a lazily touched 2^24-entry table.
class NearestColourMap {
public:
    NearestColourMap(const RgbQuad* palette, int count);
    ~NearestColourMap();
    NearestColourMap(const NearestColourMap&) = delete;
    NearestColourMap& operator=(const NearestColourMap&) = delete;
    uint8_t operator()(uint8_t blue, uint8_t green, uint8_t red);
    // `height` rows of `width` pixels of `pixelStep` bytes (blue, green,
    // red first) into rows of indices; two threads for large pictures.
    void MapRows(const uint8_t* pixels, ptrdiff_t stride, int pixelStep, uint8_t* out, ptrdiff_t outStride, int width,
                 int height);

private:
    uint8_t Search(uint8_t blue, uint8_t green, uint8_t red) const;
    const RgbQuad* palette_;
    int count_;
    uint16_t* cache_ = nullptr;       // index + 1, 0 unknown
    std::vector<uint32_t> first_;     // per cell: start in candidates_ (and one past the last)
    std::vector<uint8_t> candidates_;
};
