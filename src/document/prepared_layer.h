// The buffers of a picture's single layer filled before the document that
// takes them exists: the decode ahead of the editor's start (open_prefetch.h)
// fills them on its helper thread while the main window is built, so that
// the open only moves them into the layer.
#pragma once

#include <atomic>
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
    // No buffers yet: they come from a PendingFill (the layer is made without
    // them, and the document settles it later).
    bool later = false;

    bool Ready() const { return pixels && alpha && effect; }
};

// The layer depth the open gives a picture of `bits` bits per pixel.
inline int LayerBitsForPicture(int bits) { return bits <= 8 ? 8 : 24; }

// The picture's rows into a layer's pixel rows of `stride` bytes, converted
// as the open converts them (32-bit pixels lose their fourth byte, indexed
// ones below 8 bits are widened to one byte, 16-bit ones become BGR). The
// padding at the end of each row is left as it is.
// Rows [first, last) only when given.
void CopyPictureRows(const VaZavi& img, uint8_t* pixels, int64_t stride, int first = 0, int last = -1);

// Fills `out` from `img`. False, with `out` empty, when memory runs out or
// the picture is empty.
bool PrepareLayer(const VaZavi& img, PreparedLayer& out);

// A layer's buffers still being filled on another thread, handed to the
// document that shows the picture meanwhile (CVexoDoc::SettleLayers). Finish
// shares what is left of the fill, waits for the other thread and hands the
// buffers over; they are complete (every buffer was allocated before the
// fill began). The picture the fill reads must stay where it is until then.
class PendingFill {
public:
    virtual ~PendingFill() = default;
    virtual PreparedLayer Finish() = 0;
};

// The same fill in pieces that several threads can share: most of its time
// is the first touch of the fresh buffers (about 144 MB for 24 megapixels),
// so a second thread that would otherwise wait halves it. Start allocates the
// buffers; then any number of threads call Help, each doing pieces until none
// is left; once every one of them has returned, Finish tells whether the
// layer is complete (when not, `out` is emptied: memory ran short). Every
// buffer is allocated by Start, so that once it succeeded the fill cannot
// fail. A 24-bit picture is read through its rows' address, which stays
// valid when the picture's block moves to another VaZavi (Transfer); other
// depths read the VaZavi itself, which must then stay as it is.
class LayerFill {
public:
    bool Start(const VaZavi& img, PreparedLayer& out);
    void Help();
    bool Finish();

private:
    void Piece(int k);

    const VaZavi* img_ = nullptr;
    const uint8_t* rows24_ = nullptr;   // the 24-bit picture's stored row 0
    int64_t rowStride24_ = 0;
    PreparedLayer* out_ = nullptr;
    uint8_t *pixels_ = nullptr, *alpha_ = nullptr, *effect_ = nullptr;
    int bandRows_ = 1;
    int pieces_ = 0;
    std::atomic<int> next_{0};
    std::atomic<int> done_{0};
};
