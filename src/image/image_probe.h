// Header-only probing: what a picture file is (size, bits per pixel, palette
// length, frames or pages, resolution) read from its headers alone, without
// decoding a pixel. Each codec's probe makes the same checks of the headers
// as its decoder and reports what the decoder's picture would report (the
// bits and colours of the image the decoder makes, not of the file), so that
// callers that need only these values (pimlora-cli info, the image browser's
// listing) never pay for a whole decode. Every probe is bounded by the
// headers' own sizes and the file's length; none allocates by what a file
// claims.
#pragma once

#include <cstdint>
#include <string>

class ImageStream;

struct ImageProbe {
    int type = -1;      // file-type id (kTypeJPEG ...; kTypeVOR for documents)
    int width = 0;
    int height = 0;
    int bits = 0;       // bits per pixel of the decoded picture
    int colors = 0;     // palette entries of the decoded picture (0: true colour)
    int frames = 1;     // frames (GIF), pages (TIFF), layers (VOR); 1 otherwise
    int xDpi = 0;
    int yDpi = 0;
    std::string error;  // why the probe refused the file
};

// One codec's probe; the stream is read from its current position. False
// (with probe.error set) when the decoder would refuse the file.
bool ProbeBmp(ImageStream& stream, ImageProbe& probe);
bool ProbeJpeg(ImageStream& stream, ImageProbe& probe);
bool ProbeGif(ImageStream& stream, ImageProbe& probe);
bool ProbeTiff(ImageStream& stream, ImageProbe& probe);
bool ProbePcx(ImageStream& stream, ImageProbe& probe);

// By file-type id as VaZavi::Load takes it (kTypeDetect tries the codecs in
// the order Load does). VOR documents are probed by the document core
// (ProbeVor in vor_probe.h).
bool ProbePicture(ImageStream& stream, int type, ImageProbe& probe);
bool ProbePictureFile(const char* path, int type, ImageProbe& probe);

// Called after every successful decode of VaZavi::Load with the stream at
// the start of the picture and the type of the codec that read it (null:
// none). The tests install one that checks each probe against the decoder.
class VaZavi;
using DecodeObserver = void (*)(ImageStream& stream, int type, const VaZavi& picture);
void SetDecodeObserver(DecodeObserver observer);
