#include "frame_assembler.h"

#include <algorithm>
#include <cstring>

#include "VaZavi.h"

namespace acquire {

namespace {

constexpr int kBlue = 0, kGreen = 1, kRed = 2;   // byte offsets in a stored pixel

int ChannelOf(SANE_Frame f) {
    switch (f) {
        case SANE_FRAME_RED: return kRed;
        case SANE_FRAME_GREEN: return kGreen;
        case SANE_FRAME_BLUE: return kBlue;
        default: return -1;
    }
}

inline uint16_t Sample16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);   // SANE sends 16-bit samples in the host's byte order
    return v;
}

inline uint8_t Bit(const uint8_t* line, int64_t index) {
    return (line[index >> 3] >> (7 - (index & 7))) & 1;
}

}  // namespace

FrameAssembler::FrameAssembler() = default;
FrameAssembler::~FrameAssembler() = default;

bool FrameAssembler::Fail(const std::string& text) {
    error_ = text;
    inFrame_ = false;
    image_.reset();
    growing_.clear();
    return false;
}

bool FrameAssembler::BeginFrame(const SANE_Parameters& p) {
    if (!error_.empty()) return false;
    if (inFrame_) return Fail("a frame began before the last one ended");
    // The device may send any number in the enum's place: read it as one.
    int format = 0;
    static_assert(sizeof format == sizeof p.format);
    std::memcpy(&format, &p.format, sizeof format);
    if (format < SANE_FRAME_GRAY || format > SANE_FRAME_BLUE)
        return Fail("the scanner sends a frame format this program cannot read (" + std::to_string(format) + ")");
    const bool colourFrame = ChannelOf(p.format) >= 0;
    if (p.depth != 1 && p.depth != 8 && p.depth != 16)
        return Fail("the scanner sends " + std::to_string(p.depth) + " bits per sample");
    if (p.pixels_per_line < 1) return Fail("the scanner sends lines without pixels");
    if (p.lines == 0 || p.lines < -1) return Fail("the scanner sends a picture without lines");
    const int channels = p.format == SANE_FRAME_RGB ? 3 : 1;
    const int64_t needed = (int64_t(p.pixels_per_line) * channels * p.depth + 7) / 8;
    if (p.bytes_per_line < needed || p.bytes_per_line > (int64_t(1) << 28))
        return Fail("the scanner's line length does not fit its pixels");
    if (p.lines > 0 && int64_t(p.pixels_per_line) * p.lines > kMaxImagePixels) return Fail("image too large");

    if (framesDone_ == 0 && !image_ && !unknownHeight_) {
        // The first frame decides the picture.
        threePass_ = colourFrame;
        width_ = p.pixels_per_line;
        outBits_ = (p.format == SANE_FRAME_GRAY) ? (p.depth == 1 ? 1 : 8) : 24;
        outStride_ = int(((int64_t(width_) * outBits_ + 31) / 32) * 4);
        unknownHeight_ = p.lines < 0;
        height_ = unknownHeight_ ? 0 : p.lines;
        maxLines_ = height_;
        if (!unknownHeight_) {
            image_ = std::make_unique<VaZavi>(kTypeBMP);
            // A three-pass picture starts black; every other one is written
            // row by row.
            uint8_t* block = threePass_ ? image_->Create(outBits_, width_, height_, kTypeBMP)
                                        : image_->CreateUnfilled(outBits_, width_, height_, kTypeBMP);
            if (!block) return Fail(image_->LastError()[0] ? image_->LastError() : "can't allocate memory");
            if (threePass_)
                for (int r = 0; r < height_; ++r) std::memset(image_->Row(r), 0, size_t(outStride_));
        }
        expectedBytes_ = unknownHeight_ ? 0 : int64_t(p.bytes_per_line) * p.lines * (threePass_ ? 3 : 1);
    } else {
        // The next colour of a three-pass scan.
        if (!threePass_ || !colourFrame) return Fail("the scanner sent a further frame that does not fit the first");
        if (p.pixels_per_line != width_ || (!unknownHeight_ && p.lines != height_))
            return Fail("the frames of a three-pass scan differ in size");
        if (framesDone_ & (1 << ChannelOf(p.format))) return Fail("the scanner sent one colour twice");
    }
    frame_ = p.format;
    depth_ = p.depth;
    bytesPerLine_ = p.bytes_per_line;
    linesThisFrame_ = 0;
    carry_.clear();
    carry_.reserve(size_t(bytesPerLine_));
    inFrame_ = true;
    return true;
}

bool FrameAssembler::EnsureLine(int line) {
    if (!unknownHeight_) return line < height_;
    if (threePass_ && framesDone_ != 0) return line < maxLines_;   // later colours fill existing rows
    if (line < maxLines_) return true;
    if (int64_t(width_) * (int64_t(line) + 1) > kMaxImagePixels ||
        int64_t(outStride_) * (int64_t(line) + 1) > kMaxImageBytes) {
        Fail("image too large");
        return false;
    }
    const size_t need = size_t(outStride_) * size_t(line + 1);
    if (growing_.capacity() < need) growing_.reserve(std::max(need, growing_.capacity() * 2));
    growing_.resize(need, 0);
    maxLines_ = line + 1;
    return true;
}

uint8_t* FrameAssembler::TopRow(int line) {
    if (unknownHeight_) return growing_.data() + size_t(line) * size_t(outStride_);
    return image_->Row(height_ - 1 - line);
}

void FrameAssembler::PackLine(const uint8_t* s, uint8_t* d) const {
    const int w = width_;
    if (frame_ == SANE_FRAME_GRAY) {
        if (depth_ == 1) {
            // 1 = black in both the scanner's bits and the picture's palette.
            std::memcpy(d, s, size_t((w + 7) / 8));
        } else if (depth_ == 8) {
            std::memcpy(d, s, size_t(w));
        } else {
            for (int x = 0; x < w; ++x) d[x] = uint8_t(Sample16(s + 2 * x) >> 8);
        }
        return;
    }
    if (frame_ == SANE_FRAME_RGB) {
        if (depth_ == 8) {
            for (int x = 0; x < w; ++x, s += 3, d += 3) {
                d[0] = s[2];
                d[1] = s[1];
                d[2] = s[0];
            }
        } else if (depth_ == 16) {
            for (int x = 0; x < w; ++x, s += 6, d += 3) {
                d[0] = uint8_t(Sample16(s + 4) >> 8);
                d[1] = uint8_t(Sample16(s + 2) >> 8);
                d[2] = uint8_t(Sample16(s) >> 8);
            }
        } else {
            // One bit per sample: a set bit is the colour at full strength.
            for (int x = 0; x < w; ++x, d += 3) {
                d[kRed] = Bit(s, 3 * int64_t(x)) ? 255 : 0;
                d[kGreen] = Bit(s, 3 * int64_t(x) + 1) ? 255 : 0;
                d[kBlue] = Bit(s, 3 * int64_t(x) + 2) ? 255 : 0;
            }
        }
        return;
    }
    d += ChannelOf(frame_);
    if (depth_ == 8) {
        for (int x = 0; x < w; ++x, d += 3) *d = s[x];
    } else if (depth_ == 16) {
        for (int x = 0; x < w; ++x, d += 3) *d = uint8_t(Sample16(s + 2 * x) >> 8);
    } else {
        for (int x = 0; x < w; ++x, d += 3) *d = Bit(s, x) ? 255 : 0;
    }
}

bool FrameAssembler::Feed(const uint8_t* data, size_t length) {
    if (!inFrame_) return error_.empty() ? Fail("data came outside a frame") : false;
    receivedBytes_ += int64_t(length);
    const size_t bpl = size_t(bytesPerLine_);
    auto line = [&](const uint8_t* src) {
        // Lines past the announced height are dropped.
        if (EnsureLine(linesThisFrame_)) PackLine(src, TopRow(linesThisFrame_));
        if (!error_.empty()) return false;
        ++linesThisFrame_;
        return true;
    };
    if (!carry_.empty()) {
        const size_t take = std::min(length, bpl - carry_.size());
        carry_.insert(carry_.end(), data, data + take);
        data += take;
        length -= take;
        if (carry_.size() == bpl) {
            if (!line(carry_.data())) return false;
            carry_.clear();
        }
    }
    while (length >= bpl) {
        if (!line(data)) return false;
        data += bpl;
        length -= bpl;
    }
    if (length) carry_.assign(data, data + length);
    return true;
}

bool FrameAssembler::EndFrame() {
    if (!inFrame_) return false;
    inFrame_ = false;
    carry_.clear();   // a line cut short is not part of the picture
    const int lines = unknownHeight_ ? std::min(linesThisFrame_, maxLines_) : std::min(linesThisFrame_, height_);
    if (framesDone_ == 0 || !threePass_)
        completeLines_ = lines;
    else
        completeLines_ = std::min(completeLines_, lines);
    if (threePass_) framesDone_ |= 1 << ChannelOf(frame_);
    else framesDone_ = 7;
    return true;
}

bool FrameAssembler::NeedsMoreFrames() const { return error_.empty() && threePass_ && framesDone_ != 7; }

std::unique_ptr<VaZavi> FrameAssembler::Finish() {
    if (!error_.empty() || inFrame_ || framesDone_ != 7) return nullptr;
    const int lines = completeLines_;
    if (lines < 1) {
        error_ = "the scanner sent no lines";
        return nullptr;
    }
    std::unique_ptr<VaZavi> out;
    if (!unknownHeight_ && lines == height_) {
        out = std::move(image_);
    } else {
        out = std::make_unique<VaZavi>(kTypeBMP);
        if (!out->CreateUnfilled(outBits_, width_, lines, kTypeBMP)) {
            error_ = out->LastError()[0] ? out->LastError() : "can't allocate memory";
            return nullptr;
        }
        for (int i = 0; i < lines; ++i) std::memcpy(out->Row(lines - 1 - i), TopRow(i), size_t(outStride_));
        image_.reset();
        growing_ = {};
    }
    if (outBits_ == 1) {
        out->SetPaletteColor(0, 255, 255, 255);
        out->SetPaletteColor(1, 0, 0, 0);
    } else if (outBits_ == 8) {
        out->SetGrayPalette();
    }
    if (dpi_ > 0) {
        out->SetXDpi(dpi_);
        out->SetYDpi(dpi_);
    }
    return out;
}

}  // namespace acquire
