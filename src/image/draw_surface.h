// The small drawing interface the image object draws onto. The editor
// implements it over its window toolkit; MemorySurface is an in-memory one
// (32-bit BGRA, top row first) for headless use and tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dib_types.h"

struct DrawRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
    static DrawRect Intersect(const DrawRect& a, const DrawRect& b);
};

// A packed DIB as drawn by the surface: header, palette (header.clrUsed
// entries) and bottom-up rows.
struct DibView {
    const BitmapInfoHeader* header = nullptr;
    const RgbQuad* palette = nullptr;
    const uint8_t* bits = nullptr;
};

class DrawSurface {
public:
    virtual ~DrawSurface() = default;
    // Stretches the whole DIB into the destination rectangle, nearest
    // neighbour ("colour on colour"), plain copy, honouring the current clip.
    virtual bool StretchDib(int x, int y, int width, int height, const DibView& dib) = 0;
    // Sets the DIB's pixels unscaled with its top-left at (x, y), honouring
    // the current clip.
    virtual bool SetDibBits(int x, int y, const DibView& dib) = 0;
    virtual DrawRect GetClip() const = 0;
    virtual void SetClip(const DrawRect& clip) = 0;
};

// A platform bitmap whose pixels can be fetched as DIB rows.
class BitmapSource {
public:
    virtual ~BitmapSource() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual int BitCount() const = 0;
    // Writes the pixels as bottom-up DIB rows of the given bit count (24 or
    // 32) with the given stride; false on failure.
    virtual bool GetDibBits(int bitCount, uint8_t* rows, int stride) const = 0;
};

// Decodes one pixel of a DIB (any depth this program makes) as packed BGRA.
uint32_t DibPixel(const DibView& dib, int x, int storedRow);

class MemorySurface : public DrawSurface, public BitmapSource {
public:
    MemorySurface(int width, int height, uint32_t fill = 0);

    bool StretchDib(int x, int y, int width, int height, const DibView& dib) override;
    bool SetDibBits(int x, int y, const DibView& dib) override;
    DrawRect GetClip() const override { return clip_; }
    void SetClip(const DrawRect& clip) override;

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    int BitCount() const override { return 32; }
    bool GetDibBits(int bitCount, uint8_t* rows, int stride) const override;

    // Packed BGRA of the pixel at (x, y), y counted from the top.
    uint32_t At(int x, int y) const { return pixels_[size_t(y) * width_ + x]; }
    void Put(int x, int y, uint32_t c) { pixels_[size_t(y) * width_ + x] = c; }

private:
    int width_, height_;
    std::vector<uint32_t> pixels_;
    DrawRect clip_;
};
