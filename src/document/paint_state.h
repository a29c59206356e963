// What the paint operations keep in a document between calls: the layer
// area painted since the last commit (so that restore and commit copy only
// that area), the canvas area changed since the view last asked, and the
// last droplet position.
#pragma once

#include <cstdint>

namespace paint {

// A rectangle of layer pixels: columns left..right-1, stored rows
// bottom..top-1; empty when right <= left or top <= bottom.
struct LayerArea {
    int left = 0, bottom = 0, right = 0, top = 0;
    bool Empty() const { return right <= left || top <= bottom; }
    void Add(const LayerArea& a) {
        if (a.Empty()) return;
        if (Empty()) {
            *this = a;
            return;
        }
        if (a.left < left) left = a.left;
        if (a.bottom < bottom) bottom = a.bottom;
        if (a.right > right) right = a.right;
        if (a.top > top) top = a.top;
    }
};

// The buffers and geometry of one layer as the area was started on them;
// any difference later means the layer was replaced, moved or resized.
struct LayerShape {
    const uint8_t* pixels = nullptr;
    const uint8_t* alpha = nullptr;
    int32_t x = 0, y = 0, width = 0, height = 0, stride = 0, pixelSize = 0, planeSize = 0;
    bool operator==(const LayerShape&) const = default;
};

struct PaintState {
    // The live layer equals its previous-state copy outside `sinceCommit`
    // while `tracked` holds and both layers still have the shapes below.
    bool tracked = false;
    int layer = -1;
    LayerShape live, prev;
    LayerArea sinceCommit;

    // Canvas pixels changed since TakeDirtyArea last ran (origin top-left,
    // right and bottom exclusive).
    bool dirty = false;
    int dirtyLeft = 0, dirtyTop = 0, dirtyRight = 0, dirtyBottom = 0;

    // The last droplet position (zoomed image coordinates; -1 unset).
    int dropletX = -1, dropletY = -1;
};

}  // namespace paint
