// The buffers of a picture's single layer filled before the document that
// takes them exists: the decode ahead of the editor's start (open_prefetch.h)
// fills them on its helper thread while the main window is built, so that
// the open only moves them into the layer.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class VaZavi;

struct PreparedLayer {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;   // 8 or 24, as the open makes the layer
    int64_t stride = 0;
    std::unique_ptr<uint8_t[]> pixels;   // the picture's rows; row padding 255
    std::unique_ptr<uint8_t[]> alpha;    // opaque
    std::unique_ptr<uint8_t[]> effect;   // clear
    std::vector<uint8_t> mask;           // everything selected

    bool Ready() const { return pixels && alpha && effect; }
};

// The layer depth the open gives a picture of `bits` bits per pixel.
inline int LayerBitsForPicture(int bits) { return bits <= 8 ? 8 : 24; }

// The picture's rows into a layer's pixel rows of `stride` bytes, converted
// as the open converts them (32-bit pixels lose their fourth byte, indexed
// ones below 8 bits are widened to one byte, 16-bit ones become BGR). The
// padding at the end of each row is left as it is.
void CopyPictureRows(const VaZavi& img, uint8_t* pixels, int64_t stride);

// Fills `out` from `img`. False, with `out` empty, when memory runs out or
// the picture is empty.
bool PrepareLayer(const VaZavi& img, PreparedLayer& out);
