// Layer operations of the image core: geometric transforms of a layer and the
// colour operations and pixel filters. Each reads one layer of an image set
// and writes its result into the document's scratch pixel buffer and scratch
// alpha plane (prepared by the command frame, committed by it afterwards).
//
// Common rules of the pixel operations:
//  - a layer pixel is processed only when its alpha value is not 0;
//  - colours are blue, green, red; palette layers look their index up in the
//    document image's palette and write back the nearest palette index;
//  - outside the layer the colour is the document image's backgroundColor
//    (palette layers: the palette entry of transparentIndex when not -1);
//  - a written pixel's scratch alpha becomes 255 where the selection mask
//    marks it (text and balloon layers: the coverage byte becomes 255);
//  - with a selection (a context whose selection is given) only the pixels
//    the mask marks change, colour and alpha: the others keep their scratch
//    contents. The negative is the exception: it inverts every pixel of the
//    layer (and palette canvases change only their palette, as does the
//    brightness and contrast of a palette canvas);
//  - channels are clamped to 0..255; integer divisions truncate toward zero.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "VaZavi.h"
#include "layer_set.h"

namespace layerops {

struct LayerOpContext {
    VaZavi* image = nullptr;              // palette, background, progress
    LayerRecord* layer = nullptr;         // the source layer
    int bitsPerPixel = 24;                // of the layer set (24, or 8 with a palette)
    uint8_t* outPixels = nullptr;         // scratch: layer->pixelSize bytes
    uint8_t* outAlpha = nullptr;          // scratch: layer->planeSize bytes
    const SelectionMask* selection = nullptr;   // null: every pixel is marked
    uint32_t seed = 1;                    // random filters: the generator's seed
};

// Context for the current layer of an image set; scratch buffers given.
LayerOpContext MakeContext(VaZavi& image, ImageSet& set, int layer, uint8_t* scratchPixels,
                           uint8_t* scratchAlpha);

// The generator of the random filters: 15-bit values 0..32767, the classic
// linear congruential rule, so a seed always gives the same picture.
struct FilterRandom {
    uint32_t state;
    explicit FilterRandom(uint32_t seed) : state(seed) {}
    int Next() {
        state = state * 214013u + 2531011u;
        return int((state >> 16) & 0x7FFF);
    }
    // Uniform in 0..n-1 (n >= 1).
    int Below(int n) { return int((int64_t(Next()) * n) >> 15); }
};

// --- luminance and colour conversions -----------------------------------
struct Yuv { uint8_t y, u, v; };
struct Hsl { uint8_t h, s, l; };
Yuv RgbToYuv(int r, int g, int b);
void YuvToRgb(int y, int u, int v, uint8_t& r, uint8_t& g, uint8_t& b);
Hsl RgbToHsl(int r, int g, int b);

// --- geometric transforms of a layer -----------------------------------------
bool MirrorLayer(LayerOpContext& ctx);
bool FlipLayer(LayerOpContext& ctx);
// The same two on the layer's own buffers (no selection: every pixel's
// colour and alpha move); false, with nothing changed, when the buffers do
// not match the record.
bool MirrorLayerInPlace(LayerRecord& layer, int bitsPerPixel);
bool FlipLayerInPlace(LayerRecord& layer, int bitsPerPixel);
void RotatedSize(int width, int height, double degrees, int& newWidth, int& newHeight);
// Rotates `src` into `dst`, whose buffers have the size RotatedSize gives
// (pixels, alpha; rows of dst->stride). Nearest neighbour.
bool RotateLayer(VaZavi& image, const LayerRecord& src, LayerRecord& dst, int bitsPerPixel, double degrees);
// Exact quarter turns (quarters 1 = 90 degrees clockwise on screen, 2, 3)
// into dst of the turned size: every pixel moves, none is lost or doubled.
// `copy` (optional, buffers of dst's byte counts) receives the same pixel
// bytes (padding included, at dst's stride) and alpha in the same pass,
// while they are in cache.
bool QuarterTurnLayer(const LayerRecord& src, LayerRecord& dst, int bitsPerPixel, int quarters,
                      LayerRecord* copy = nullptr);
// Colour samples of a 24-bit layer (packed blue, green, red, fourth byte).
uint32_t SampleBilinear(const LayerRecord& src, double x, double y);
uint32_t SampleArea(const LayerRecord& src, double x, double y, double scaleX, double scaleY);
// Resamples src (24-bit) into dst (buffers sized to its width and height):
// colours by the two kernels, alpha taken from the nearest source pixel.
bool ResizeLayer(VaZavi& image, const LayerRecord& src, LayerRecord& dst);

struct PointD { double x, y; };
struct PointI { int32_t x, y; };
// Shifts the corners so the smallest coordinates are 0; output size.
void FreeTransformBounds(PointD corners[4], int& outWidth, int& outHeight);
// (W + 1) x (H + 1) grid points, row by row; false on a degenerate grid.
bool FreeTransformGrid(const PointD corners[4], int width, int height, std::vector<PointI>& grid);
// Forward-maps src (24-bit) through the grid into dst (outWidth x outHeight).
bool FreeTransformWarp(VaZavi& image, const LayerRecord& src, const std::vector<PointI>& grid, LayerRecord& dst);

// --- colour operations ----------------------------------------------------------
bool SplitRGB(VaZavi& image, const ImageSet& set, int layer, uint8_t* red, uint8_t* green, uint8_t* blue);
bool SplitYUV(VaZavi& image, const ImageSet& set, int layer, VaZavi* t0, VaZavi* t1, VaZavi* t2);
bool SplitHSL(VaZavi& image, const ImageSet& set, int layer, VaZavi* t0, VaZavi* t1, VaZavi* t2);
bool Negative(LayerOpContext& ctx);
// Grey rule: every pixel of the layer becomes (R + G + B) div 3 in all
// three channels; pixels with alpha 0 keep their alpha.
bool GreyLayer(LayerOpContext& ctx);
// 8-bit palette layer `src` into the 24-bit pixel buffer `dst` of rows of
// dstStride bytes, through the image's palette.
bool ToTrueColour(VaZavi& image, const LayerRecord& src, uint8_t* dst, int dstStride);
bool Histogram(LayerOpContext& ctx, uint32_t table[1024]);
// Levels: per channel (0 luminance, 1 red, 2 green, 3 blue) the 1 % low and
// high points of the histogram (points[ch][0], points[ch][1]).
bool LevelPoints(const uint32_t hist[1024], int64_t pixels, int points[4][2]);
// Re-maps the layer's colours (palette canvases: the palette) through tables
// from its histogram: low -1 stretches every colour channel between its 1 %
// points, or equalises it when `equalise`; otherwise the range low..high
// becomes 0..255. Channel 0 maps red, green and blue, 1..3 only that colour.
// False, with nothing changed, when the channel holds a single level.
bool RemapLevels(LayerOpContext& ctx, int channel, int low, int high, bool equalise);
// Red eye: inside the selection and the rectangle left..right-1 x
// top..bottom-1 (layer pixels, rows from the top), red moves towards
// min(green, blue) by k = strength * max(0, 1 - 5 d^2 / area), strength 0..1.
bool RemoveRedEyeLayer(LayerOpContext& ctx, int left, int top, int right, int bottom, double strength);
bool ThresholdFloyd(LayerOpContext& ctx, int level);
bool ThresholdOrdered(LayerOpContext& ctx, int level);
bool ThresholdSimple(LayerOpContext& ctx, int level);
bool BrightnessContrast(LayerOpContext& ctx, int brightness, int contrast);

// --- window filters ----------------------------------------------------------------
bool WindowMean(LayerOpContext& ctx, int size, int centreWeight);
bool Erode(LayerOpContext& ctx, int size);
bool Dilate(LayerOpContext& ctx, int size);
bool Convolve3x3(LayerOpContext& ctx, const int kernel[9], int divisor, int offset, bool invert,
                 int32_t* output = nullptr);
bool Sharpen(LayerOpContext& ctx, int strength);
bool Median(LayerOpContext& ctx, int size);
bool EdgeDarken(LayerOpContext& ctx, int threshold, int amount);
bool Frost(LayerOpContext& ctx, int radius);
bool Watercolour(LayerOpContext& ctx);

// --- artistic filters (rules in filter_artistic.cpp) -------------------------
bool NoiseRemovalB(LayerOpContext& ctx, int noiseSize, int absorb);
bool Stamp(LayerOpContext& ctx, int contour, int strokeLength, int colours);
bool Confetti(LayerOpContext& ctx, int contour, int pieceSize, int colours);
bool LineColouring(LayerOpContext& ctx, int strokeLength, int repeat);
bool LensEffect(LayerOpContext& ctx, int mode);     // mode 0 lens, 4 bathroom glass
bool HanjiPaper(LayerOpContext& ctx, int blur, int unused);
bool Raindrops(LayerOpContext& ctx, int size, int frequency);
bool RegionExpand(LayerOpContext& ctx, int tolerance);
bool BubbleColouring(LayerOpContext& ctx, int bubbleSize, int outline);
bool OilPainting(LayerOpContext& ctx, int brushLength, int detail);
bool SoftenB(LayerOpContext& ctx);

}  // namespace layerops
