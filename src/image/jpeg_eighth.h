// A JPEG at one eighth of its size straight from the entropy-coded data:
// only the DC coefficient of most blocks is needed there, so the AC symbols
// are skipped through a lookup table instead of being decoded. The pixels
// are exactly those libjpeg gives at scale 1/8 without fancy upsampling
// (its 1 x 1 inverse DCT and range limit, its 2 x 2 inverse DCT for the
// chroma of 4:2:0 files, which it scales up by the DCT rather than by
// upsampling, box upsampling and its fixed-point YCbCr to RGB tables).
//
// Only baseline (or extended) sequential Huffman files with 8-bit samples,
// one grey or three YCbCr components in one interleaved scan, sampling
// factors 1 or 2, with or without restart intervals. Anything else, and
// anything unexpected in the data (a bad code, a missing or misplaced
// restart marker, data that ends before the last block, another marker
// than the end of the picture after the scan), makes the decoder give up
// with false: the caller then decodes through libjpeg, which has its own
// rules for damaged files.
#pragma once

#include <cstddef>
#include <cstdint>

struct JpegEighthTable {
    uint8_t bits[17] = {};     // bits[l]: number of codes of length l (1..16)
    uint8_t values[256] = {};
};

struct JpegEighthComponent {
    int h = 1, v = 1;                        // sampling factors
    const uint16_t* quant = nullptr;         // 64 steps in natural order
    const JpegEighthTable* dc = nullptr;
    const JpegEighthTable* ac = nullptr;
};

struct JpegEighthScan {
    int width = 0, height = 0;       // of the whole picture
    int components = 0;              // 1 (grey) or 3 (Y, Cb, Cr)
    JpegEighthComponent comp[3];     // in the frame's order
    int scanOrder[3] = {0, 1, 2};    // frame indices in the scan's order
    int restartInterval = 0;         // in MCUs; 0 for none
    const uint8_t* data = nullptr;   // first byte after the scan header
    size_t size = 0;                 // bytes from there to the end of the file
};

// Output size at 1/8, as libjpeg rounds.
inline int JpegEighthSize(int full) { return (full + 7) / 8; }

// Writes JpegEighthSize(width) x JpegEighthSize(height) pixels: blue, green,
// red for colour, one byte for grey; row y starts at firstRow + y * rowStep.
// False when the file is not one this decoder takes or anything in its data
// is unexpected (nothing useful is then left in the rows).
bool DecodeJpegEighth(const JpegEighthScan& scan, uint8_t* firstRow, ptrdiff_t rowStep);
