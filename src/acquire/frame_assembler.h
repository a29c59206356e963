// Packs the frames a scanner sends into one picture: grey frames of 1, 8 or
// 16 bits per sample, colour frames with the three samples side by side,
// and the separate red, green and blue frames of a three-pass scanner. The
// picture is a packed bottom-up bitmap (VaZavi): 1 bit with a white/black
// palette for line art, 8-bit grey with a grey palette, 24-bit colour
// otherwise. A frame of unknown height (a hand scanner) grows as its lines
// arrive. Every size is checked before anything is allocated.
#pragma once

#include <sane/sane.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class VaZavi;

namespace acquire {

class FrameAssembler {
public:
    FrameAssembler();
    ~FrameAssembler();

    // A new frame begins with the parameters the device reports after its
    // start. The first frame decides the picture's size and kind; a further
    // frame (three-pass colour) must have the same geometry.
    bool BeginFrame(const SANE_Parameters& params);
    // Bytes of the current frame, in any portions.
    bool Feed(const uint8_t* data, size_t length);
    // The current frame is complete (end of its data).
    bool EndFrame();
    // Whether the picture needs further frames (the other colours of a
    // three-pass scan).
    bool NeedsMoreFrames() const;
    // The finished picture, cut to the lines that came; null when nothing
    // came or a frame was missing.
    std::unique_ptr<VaZavi> Finish();

    const std::string& Error() const { return error_; }
    // Bytes expected in the whole picture (0 when unknown) and received.
    int64_t ExpectedBytes() const { return expectedBytes_; }
    int64_t ReceivedBytes() const { return receivedBytes_; }
    int Width() const { return width_; }
    // Dots per inch written into the picture (0: none).
    void SetResolution(int dpi) { dpi_ = dpi; }

private:
    bool Fail(const std::string& text);
    uint8_t* TopRow(int line);     // the picture row of line `line` (top first)
    bool EnsureLine(int line);     // grows a picture of unknown height
    void PackLine(const uint8_t* src, uint8_t* dst) const;

    std::unique_ptr<VaZavi> image_;
    // Unknown height: rows top first, grown by lines; turned into the
    // picture by Finish.
    std::vector<uint8_t> growing_;
    bool unknownHeight_ = false;

    SANE_Frame frame_ = SANE_FRAME_GRAY;
    int depth_ = 8, bytesPerLine_ = 0;
    int width_ = 0, height_ = 0, outBits_ = 0, outStride_ = 0;
    int framesDone_ = 0;           // colour frames of a three-pass scan (bit per colour)
    int linesThisFrame_ = 0, maxLines_ = 0, completeLines_ = 0;
    bool inFrame_ = false, threePass_ = false;
    std::vector<uint8_t> carry_;   // a line begun in one portion, ended in the next
    int64_t expectedBytes_ = 0, receivedBytes_ = 0;
    int dpi_ = 0;
    std::string error_;
};

}  // namespace acquire
