// PCX reader (there is no PCX writer).
//
// Layouts read: 1 bit in 1 plane (black and white), 2, 4 and 8 bits in one
// plane (palette), 1 bit in 2, 3 or 4 planes (4, 8 or 16 colours from the
// header palette; 3 planes give a true-colour image) and 8 bits in 3 planes
// (true colour). Run-length data is decoded one line at a time straight into
// the picture; runs may cross line ends but not the end of the image.
#include <algorithm>
#include <cstring>
#include <vector>

#include "ImageStream.h"
#include "codecs.h"

namespace {

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// Buffered byte source over the stream: the run-length data is read in
// blocks, and the palette that follows it comes from the same buffer.
class ByteSource {
public:
    explicit ByteSource(ImageStream& s) : s_(s) {}
    int Get() {
        if (at_ == len_ && !Fill()) return -1;
        return buf_[at_++];
    }
    // Copies up to n bytes; returns how many there were.
    size_t Take(uint8_t* out, size_t n) {
        size_t done = 0;
        while (done < n) {
            if (at_ == len_ && !Fill()) break;
            size_t k = std::min(n - done, len_ - at_);
            std::memcpy(out + done, buf_ + at_, k);
            at_ += k;
            done += k;
        }
        return done;
    }

private:
    bool Fill() {
        len_ = s_.Read(buf_, 1, sizeof buf_);
        at_ = 0;
        return len_ > 0;
    }
    ImageStream& s_;
    uint8_t buf_[1 << 16];
    size_t at_ = 0, len_ = 0;
};

const char* const kPlanes = "Can't handle bits per pixel image with planes.";

}  // namespace

bool VaZaviPCX::Decode(ImageStream& s) {
    try {
        uint8_t h[128];
        if (s.Read(h, 1, sizeof h) != sizeof h) ThrowCodecError("Can't read PCX image");
        if (h[0] != 10) ThrowCodecError("Error: Not a PCX file");
        if (h[2] != 1) ThrowCodecError("PCX file has unknown encoding scheme");
        const int b = h[3], p = h[65];
        const int width = int(Le16(h + 8)) - int(Le16(h + 4)) + 1;
        const int height = int(Le16(h + 10)) - int(Le16(h + 6)) + 1;
        const size_t bpl = Le16(h + 66);

        // Bit count of the image, and how its lines are laid out.
        int bitCount = 0;
        if (b == 1) {
            if (p >= 5) ThrowCodecError("Can't handle image with more than 4 planes");
            if (p == 0) ThrowCodecError(kPlanes);
            // Two planes make four colours: a 4-bit image keeps both bits.
            bitCount = p == 3 ? 24 : p == 1 ? 1 : 4;
        } else if (b == 2 || b == 4 || b == 8) {
            if (p == 1)
                bitCount = b;
            else if (p == 3)
                bitCount = 24;
            else
                ThrowCodecError(kPlanes);
            if (p == 3 && b != 8) ThrowCodecError("Can't handle more than 1 bit per pixel");
        } else {
            ThrowCodecError(kPlanes);
        }
        if (width <= 0 || height <= 0) ThrowCodecError("PCX image has no pixels");
        if (bpl * 8 < size_t(width) * size_t(b)) ThrowCodecError("PCX line is shorter than the image width");

        const size_t lineBytes = bpl * size_t(p);
        const int64_t total = int64_t(lineBytes) * height;
        // A run of two bytes gives at most 63, so the data left bounds the
        // size of the picture before anything is allocated.
        const int64_t left = s.Remaining();
        if (left >= 0 && total > left * 63 / 2 + 63) ThrowCodecError("corrupted PCX");
        if (total > kMaxImageBytes) ThrowCodecError("image too large");

        VaZavi& img = *this;
        if (!img.Create(bitCount, width, height, kTypePCX)) ThrowCodecError(img.LastError());

        std::vector<uint8_t> line(lineBytes);
        ByteSource in(s);
        int64_t expected = total;   // bytes of run-length output still to come
        int runLeft = 0;
        uint8_t runValue = 0;
        for (int e = 0; e < height; ++e) {
            // Decode one line of all planes.
            size_t filled = 0;
            while (filled < lineBytes) {
                if (runLeft) {
                    size_t k = std::min(size_t(runLeft), lineBytes - filled);
                    std::memset(line.data() + filled, runValue, k);
                    filled += k;
                    runLeft -= int(k);
                    continue;
                }
                int c = in.Get();
                if (c < 0) ThrowCodecError("corrupted PCX");
                if (c > 191) {
                    int v = in.Get();
                    if (v < 0) ThrowCodecError("corrupted PCX");
                    runLeft = c & 0x3F;
                    runValue = uint8_t(v);
                    if (runLeft > expected) ThrowCodecError("repeat count spans end of image");
                    expected -= runLeft;
                } else {
                    line[filled++] = uint8_t(c);
                    --expected;
                }
            }

            // Top line of the file is the top row of the picture.
            uint8_t* row = img.Row(height - 1 - e);
            const uint8_t* src = line.data();
            if (p == 3 && b == 8) {
                const uint8_t *r = src, *g = src + bpl, *bl = src + 2 * bpl;
                for (int x = 0; x < width; ++x) {
                    row[3 * x] = bl[x];
                    row[3 * x + 1] = g[x];
                    row[3 * x + 2] = r[x];
                }
            } else if (p == 1 && b == 8) {
                std::memcpy(row, src, size_t(width));
            } else if (p == 1 && (b == 1 || b == 4)) {
                // Same packing as our rows; the bits past the width stay as
                // Create left them.
                const size_t whole = size_t(width) * size_t(b) / 8;
                std::memcpy(row, src, whole);
                const int rest = int(size_t(width) * size_t(b) % 8);
                if (rest) {
                    const uint8_t keep = uint8_t(0xFF >> rest);
                    row[whole] = uint8_t((row[whole] & keep) | (src[whole] & ~keep));
                }
            } else if (p == 1 && b == 2) {
                for (int x = 0; x < width; ++x) {
                    int v = (src[x >> 2] >> (6 - 2 * (x & 3))) & 3;
                    uint8_t& d = row[x >> 1];
                    d = (x & 1) ? uint8_t((d & 0xF0) | v) : uint8_t((d & 0x0F) | (v << 4));
                }
            } else {
                // 1-bit planes: plane i gives bit i of the palette index.
                for (int x = 0; x < width; ++x) {
                    const size_t byte = size_t(x) >> 3;
                    const int shift = 7 - (x & 7);
                    int v = 0;
                    for (int i = 0; i < p; ++i) v |= ((src[size_t(i) * bpl + byte] >> shift) & 1) << i;
                    if (bitCount == 24) {
                        const uint8_t* c = h + 16 + 3 * v;
                        row[3 * x] = c[2];
                        row[3 * x + 1] = c[1];
                        row[3 * x + 2] = c[0];
                    } else {
                        uint8_t& d = row[x >> 1];
                        d = (x & 1) ? uint8_t((d & 0xF0) | v) : uint8_t((d & 0x0F) | (v << 4));
                    }
                }
            }
        }

        // Palette.
        if (b == 8 && p == 1) {
            if (in.Get() != 12) ThrowCodecError("bad color map signature");
            uint8_t pal[768];
            if (in.Take(pal, sizeof pal) != sizeof pal) ThrowCodecError("corrupted PCX");
            for (int i = 0; i < 256; ++i) img.SetPaletteColor(i, pal[3 * i], pal[3 * i + 1], pal[3 * i + 2]);
        } else if (b == 1 && p == 1) {
            img.SetPaletteColor(0, 0, 0, 0);
            img.SetPaletteColor(1, 255, 255, 255);
        } else {
            const int n = std::min(img.ColorsUsed(), 16);
            for (int i = 0; i < n; ++i) img.SetPaletteColor(i, h[16 + 3 * i], h[17 + 3 * i], h[18 + 3 * i]);
        }
        return true;
    } catch (const CodecError& e) {
        SetLastError(e.text);
    } catch (const std::bad_alloc&) {
        SetLastError("can't allocate memory");
    }
    Destroy();
    return false;
}
