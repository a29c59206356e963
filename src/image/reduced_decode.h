// Decoding a JPEG at a reduced size through libjpeg's DCT scaling
// (scale_num / scale_denom): the fastest way to a small picture of a large
// photograph, for thumbnails and previews.
#pragma once

class ImageStream;
class VaZavi;

struct ReducedInfo {
    int width = 0, height = 0;   // of the whole picture
    int xDpi = 0, yDpi = 0;
    bool eighthDecoder = false;   // the picture came from the decoder at one eighth
};

// Decodes at the smallest scale M/8 (M = 1..8) whose output is at least
// minWidth x minHeight (the whole picture when no smaller scale is), into a
// 24-bit (colour) or 8-bit grey image; out's resolution is the file's.
// fullSize, when given, receives the picture's own size. False (with the
// reason in out.LastError()) for a file the JPEG reader refuses.
// At scale 1/8 a file in memory goes through the decoder of jpeg_eighth.h
// first (the same pixels, much faster) unless eighthDecoder is false.
bool DecodeJpegReduced(ImageStream& stream, int minWidth, int minHeight, VaZavi& out, ReducedInfo* fullSize = nullptr,
                       bool eighthDecoder = true);
