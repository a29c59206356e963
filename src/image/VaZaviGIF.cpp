// GIF reader (the writer is in VaZaviGIFWriter.cpp).
//
// The reader takes GIF87a and GIF89a files, any frame of an animation
// (frames whose graphic-control block asks to leave the previous picture in
// place are painted over it on the logical screen), interlaced or not, with
// global and local colour tables and transparency.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "ImageStream.h"
#include "codecs.h"
#include "gif_state.h"

using namespace gifcoder;

namespace {

// A code of w bits stands for at most 2^w pixels (each table entry is one
// pixel longer than an earlier one), so a byte of LZW data yields at most
// 8 * 4096 / 12 < 2,731 pixels; a picture larger than its data can describe
// is refused before it is allocated.
constexpr int64_t kPixelsPerDataByte = 2731;

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// Reads the stream through a 16 KB read-ahead buffer and knows the stream
// offset of every byte, so that unread bytes can be given back.
class GifReader {
public:
    explicit GifReader(ImageStream& s, uint8_t* buffer) : s_(s), buf_(buffer) {
        base_ = s.Tell();
        if (base_ < 0) base_ = 0;
    }
    int Byte() {
        if (pos_ >= fill_ && !Refill()) return -1;
        return buf_[pos_++];
    }
    bool Read(uint8_t* out, size_t n) {
        while (n) {
            if (pos_ >= fill_ && !Refill()) return false;
            size_t k = std::min(n, fill_ - pos_);
            std::memcpy(out, buf_ + pos_, k);
            pos_ += k;
            out += k;
            n -= k;
        }
        return true;
    }
    // Skips n bytes; false when the data ends first.
    bool Skip(size_t n) {
        if (n <= fill_ - pos_) {
            pos_ += n;
            return true;
        }
        int64_t target = Tell() + int64_t(n);
        if (target > end_) return false;
        return Seek(target);
    }
    // Skips data sub-blocks up to and including the zero-length one.
    bool SkipSubBlocks() {
        for (;;) {
            int n = Byte();
            if (n < 0) return false;
            if (n == 0) return true;
            if (!Skip(size_t(n))) return false;
        }
    }
    int64_t Tell() const { return base_ + int64_t(pos_); }
    bool Seek(int64_t offset) {
        if (offset >= base_ && offset <= base_ + int64_t(fill_)) {
            pos_ = size_t(offset - base_);
            return true;
        }
        if (s_.Seek(offset, 0) != 0) return false;
        base_ = offset;
        pos_ = fill_ = 0;
        return true;
    }
    // Puts the stream at the first byte not consumed.
    void GiveBack() { s_.Seek(Tell(), 0); }
    void SetEnd(int64_t end) { end_ = end; }
    int64_t End() const { return end_; }

private:
    bool Refill() {
        base_ += int64_t(fill_);
        pos_ = 0;
        fill_ = s_.Read(buf_, 1, kReadAhead);
        buf_[fill_] = 255;  // a stray read past the data sees 255
        return fill_ > 0;
    }
    ImageStream& s_;
    uint8_t* buf_;            // kReadAhead + 1 bytes
    int64_t base_ = 0;        // stream offset of buf_[0]
    size_t fill_ = 0, pos_ = 0;
    int64_t end_ = INT64_MAX;
};

// Sends each decoded row to its stored row: top to bottom, or in the four
// interlace passes (rows 0, 8, ...; 4, 12, ...; 2, 6, ...; 1, 3, ...).
class RowPlacer {
public:
    RowPlacer(VaZavi& img, bool interlaced)
        : img_(img), width_(img.Width()), height_(img.Height()), bitCount_(img.BitCount()),
          interlaced_(interlaced) {}
    bool Done() const { return done_; }
    // Places `count` pixels (count <= width) into the current row and moves on.
    void Put(const uint8_t* px, int count) {
        if (done_) return;
        uint8_t* dst = img_.Row(height_ - 1 - row_);
        if (count == width_) {
            Pack(dst, px, count);
        } else {
            for (int x = 0; x < count; ++x) img_.SetPixelIndex(x, height_ - 1 - row_, px[x]);
        }
        Advance();
    }

private:
    void Pack(uint8_t* dst, const uint8_t* px, int n) const {
        switch (bitCount_) {
        case 8: std::memcpy(dst, px, size_t(n)); break;
        case 4: {
            int i = 0;
            for (; i + 1 < n; i += 2) dst[i >> 1] = uint8_t((px[i] & 15) << 4 | (px[i + 1] & 15));
            if (i < n) dst[i >> 1] = uint8_t((px[i] & 15) << 4 | (dst[i >> 1] & 15));
            break;
        }
        default: {
            int i = 0;
            for (; i + 8 <= n; i += 8) {
                const uint8_t* p = px + i;
                dst[i >> 3] = uint8_t((p[0] & 1) << 7 | (p[1] & 1) << 6 | (p[2] & 1) << 5 | (p[3] & 1) << 4 |
                                      (p[4] & 1) << 3 | (p[5] & 1) << 2 | (p[6] & 1) << 1 | (p[7] & 1));
            }
            if (i < n) {
                uint8_t b = dst[i >> 3];
                for (int k = 0; i + k < n; ++k) {
                    uint8_t bit = uint8_t(0x80 >> k);
                    b = (px[i + k] & 1) ? uint8_t(b | bit) : uint8_t(b & ~bit);
                }
                dst[i >> 3] = b;
            }
            break;
        }
        }
    }
    void Advance() {
        static constexpr int kStart[4] = {0, 4, 2, 1};
        static constexpr int kStep[4] = {8, 8, 4, 2};
        if (!interlaced_) {
            if (++row_ >= height_) done_ = true;
            return;
        }
        row_ += kStep[pass_];
        // Passes whose first row lies beyond the picture are skipped, so a
        // picture of any height gets each row exactly once.
        while (row_ >= height_) {
            if (++pass_ >= 4) {
                done_ = true;
                return;
            }
            row_ = kStart[pass_];
        }
    }
    VaZavi& img_;
    const int width_, height_, bitCount_;
    const bool interlaced_;
    int row_ = 0, pass_ = 0;
    bool done_ = false;
};

// One image's palette and placement while an animation is walked.
struct FrameInfo {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    int tableEntries = 0;           // 0: no colour table at all
    const uint8_t* table = nullptr; // red, green, blue triples
};

int BitCountForTable(int entries) {
    if (entries == 2) return 1;
    if (entries > 0 && entries <= 16) return 4;
    return 8;
}

bool SameColour(const RgbQuad& a, const RgbQuad& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

// LZW decoding of one image's data into `img`, the stream just after the
// image descriptor and its local table. Leaves the reader after the
// terminating zero-length sub-block (or at the end of the data). Returns the
// number of pixels the data gave (0 for an unusable code size).
int64_t DecodeLzw(GifReader& r, VaZavi& img, bool interlaced, VaZaviGIF::State& st) {
    const int codeSize = r.Byte();
    if (codeSize < 2 || codeSize > 9) {  // unusable: the image keeps no pixels
        if (codeSize >= 0) r.SkipSubBlocks();
        return 0;
    }
    int64_t produced = 0;
    const int clear = 1 << codeSize, endCode = clear + 1, firstFree = clear + 2;
    int width = codeSize + 1, slot = firstFree, limit = 1 << width;
    int prev = -1, first = 0;

    // Bit reservoir fed from the data sub-blocks.
    uint32_t acc = 0;
    int bits = 0;
    const uint8_t* bp = st.block;
    const uint8_t* be = st.block;
    bool terminated = false;  // zero-length sub-block read, or data ended

    const int w = img.Width();
    st.row.resize(size_t(w));
    uint8_t* row = st.row.data();
    int x = 0;
    RowPlacer placer(img, interlaced);
    uint8_t* const stackBase = st.stack;
    uint8_t* const stackEnd = st.stack + kMaxCodes;
    uint16_t* const prefix = st.prefix;
    uint8_t* const suffix = st.suffix;
    std::memset(prefix, 0, sizeof st.prefix);
    std::memset(suffix, 0, sizeof st.suffix);

    for (;;) {
        // Next code, least significant bit first.
        while (bits < width) {
            if (bp == be) {
                int n = terminated ? 0 : r.Byte();
                if (n <= 0 || !r.Read(st.block, size_t(n))) {
                    terminated = true;
                    bits = -1;
                    break;
                }
                bp = st.block;
                be = st.block + n;
            }
            acc |= uint32_t(*bp++) << bits;
            bits += 8;
        }
        if (bits < 0) break;  // end of data counts as the end code
        int code = int(acc & ((1u << width) - 1));
        acc >>= width;
        bits -= width;

        if (code == endCode) break;
        if (code == clear) {
            width = codeSize + 1;
            slot = firstFree;
            limit = 1 << width;
            prev = -1;
            continue;
        }
        uint8_t* sp = stackBase;
        if (prev < 0) {
            // First code after a clear (or of data that starts without one).
            if (code >= slot) code = 0;
            *sp++ = uint8_t(code);
            prev = first = code;
        } else {
            int c = code;
            if (c >= slot) {  // the code being defined (or a bad one)
                *sp++ = uint8_t(first);
                c = prev;
            }
            // A corrupt table can chain prefixes in a cycle; the stack bounds
            // every string to the 4,096 entries a table can hold.
            bool bad = false;
            while (c >= firstFree) {
                if (sp == stackEnd) {
                    bad = true;
                    break;
                }
                *sp++ = suffix[c];
                c = prefix[c];
            }
            if (bad || sp == stackEnd) break;
            *sp++ = uint8_t(c);
            first = c;
            if (slot < limit) {
                suffix[slot] = uint8_t(c);
                prefix[slot] = uint16_t(prev);
                ++slot;
            }
            if (slot >= limit && width < 12) {
                limit <<= 1;
                ++width;
            }
            prev = code;
        }
        // The stacked pixels, in reverse order of pushing.
        while (sp > stackBase) {
            int n = int(std::min<ptrdiff_t>(sp - stackBase, w - x));
            uint8_t* d = row + x;
            for (int i = 0; i < n; ++i) d[i] = *--sp;
            x += n;
            produced += n;
            if (x == w) {
                placer.Put(row, w);
                x = 0;
                if (placer.Done()) break;
            }
        }
        if (placer.Done()) break;
    }
    if (x > 0) placer.Put(row, x);
    if (!terminated) r.SkipSubBlocks();
    return produced;
}

// Total length of the data sub-blocks starting at the reader's position
// (after the code-size byte); the reader is put back where it was.
int64_t MeasureData(GifReader& r) {
    const int64_t at = r.Tell();
    int64_t total = 0;
    if (r.Byte() >= 0) {
        for (;;) {
            int n = r.Byte();
            if (n <= 0) break;
            total += n;
            if (!r.Skip(size_t(n))) break;
        }
    }
    r.Seek(at);
    return total;
}

// Copies every pixel of `src` into `dst` at (left, top) of the picture,
// leaving out those equal to `skip` (-1: none) and those outside `dst`.
void CopyAt(VaZavi& dst, const VaZavi& src, int left, int top, int skip) {
    const int dh = dst.Height(), sh = src.Height();
    for (int y = 0; y < sh && top + y < dh; ++y)
        for (int x = 0; x < src.Width() && left + x < dst.Width(); ++x) {
            int q = src.GetPixelIndex(x, sh - 1 - y);
            if (skip != -1 && q == skip) continue;
            dst.SetPixelIndex(left + x, dh - 1 - (top + y), q);
        }
}


// Paints `frame` (placed at f.left, f.top) over `canvas`. A canvas that is
// still a lone frame first becomes a screen-sized picture with that frame at
// its place. Pixels equal to the frame's transparent index are left out.
// When the frame's colours are not all in the canvas palette the canvas
// turns into a 24-bit picture so that every colour stays right.
void PaintOver(VaZavi& canvas, bool canvasIsScreen, const FrameInfo& canvasFrame, int screenW,
                          int screenH, int background, int firstTransparent, const VaZavi& frame,
                          const FrameInfo& f, int transparent, int64_t fileBytes) {
    if (!canvasIsScreen) {
        int sw = screenW, sh = screenH;
        if (sw == 0 || sh == 0) {
            sw = canvasFrame.left + canvas.Width();
            sh = canvasFrame.top + canvas.Height();
        }
        if (int64_t(sw) * sh > (fileBytes + 1) * kPixelsPerDataByte) ThrowCodecError("GIF screen too large for its data");
        VaZavi screen(kTypeGIF);
        if (!screen.CreateUnfilled(canvas.BitCount(), sw, sh, kTypeGIF)) ThrowCodecError(screen.LastError());
        if (canvas.GetPalette()) std::memcpy(screen.GetPalette(), canvas.GetPalette(), size_t(canvas.GetPaletteSize()));
        int fill = firstTransparent != -1 ? firstTransparent : background;
        if (screen.BitCount() == 1) fill = (fill & 1) ? 0xFF : 0;
        else if (screen.BitCount() == 4) fill = (fill & 15) * 0x11;
        std::memset(screen.bits, fill, screen.ImageBytes());
        CopyAt(screen, canvas, canvasFrame.left, canvasFrame.top, -1);
        canvas.Transfer(screen);
    }
    // Where the frame's colours sit in the canvas palette.
    int map[256];
    bool toTrueColour = false;
    const RgbQuad* cp = canvas.GetPalette();
    const RgbQuad* fp = frame.GetPalette();
    const int cn = canvas.ColorsUsed(), fn = frame.ColorsUsed();
    if (cp) {
        bool used[256] = {};
        for (int y = 0; y < frame.Height(); ++y)
            for (int x = 0; x < frame.Width(); ++x) used[frame.GetPixelIndex(x, y)] = true;
        for (int q = 0; q < fn; ++q) {
            map[q] = -1;
            if (!used[q]) continue;
            if (q < cn && SameColour(cp[q], fp[q])) {
                map[q] = q;
            } else {
                for (int j = 0; j < cn; ++j)
                    if (SameColour(cp[j], fp[q])) {
                        map[q] = j;
                        break;
                    }
            }
            if (map[q] < 0 && !(transparent != -1 && q == (transparent & 0xFF))) toTrueColour = true;
        }
    }
    if (toTrueColour) {
        VaZavi rgb(kTypeGIF);
        if (!rgb.CreateUnfilled(24, canvas.Width(), canvas.Height(), kTypeGIF)) ThrowCodecError(rgb.LastError());
        for (int y = 0; y < canvas.Height(); ++y) {
            uint8_t* d = rgb.Row(y);
            for (int x = 0; x < canvas.Width(); ++x) {
                const RgbQuad& c = cp[canvas.GetPixelIndex(x, y)];
                d[3 * x] = c.blue, d[3 * x + 1] = c.green, d[3 * x + 2] = c.red;
            }
        }
        canvas.Transfer(rgb);
    }
    const int ch = canvas.Height(), fh = frame.Height();
    const bool rgb = canvas.BitCount() == 24;
    for (int y = 0; y < fh; ++y) {
        const int sy = f.top + y;
        if (sy >= ch) break;
        const int canvasRow = ch - 1 - sy, frameRow = fh - 1 - y;
        for (int x = 0; x < frame.Width(); ++x) {
            const int sx = f.left + x;
            if (sx >= canvas.Width()) break;
            const int q = frame.GetPixelIndex(x, frameRow);
            if (transparent != -1 && uint8_t(q) == uint8_t(transparent)) continue;
            if (rgb) {
                uint8_t* d = canvas.Row(canvasRow) + 3 * sx;
                d[0] = fp[q].blue, d[1] = fp[q].green, d[2] = fp[q].red;
            } else {
                canvas.SetPixelIndex(sx, canvasRow, map[q]);
            }
        }
    }
}

}  // namespace

VaZaviGIF::VaZaviGIF() : VaZavi(kTypeGIF) {}
VaZaviGIF::~VaZaviGIF() { delete gif; }

bool VaZaviGIF::Decode(ImageStream& stream) {
    const VaZaviInfo keep = info;
    try {
        if (!gif) gif = new State;
        State& st = *gif;
        GifReader r(stream, st.readAhead);
        {
            int64_t size = stream.Size();
            if (size >= 0) r.SetEnd(size);
        }
        const int64_t fileStart = r.Tell();

        uint8_t hdr[13];
        if (!r.Read(hdr, 13) || std::memcmp(hdr, "GIF8", 4) != 0) {
            r.GiveBack();
            return false;
        }
        const int screenW = Le16(hdr + 6), screenH = Le16(hdr + 8);
        const int background = hdr[11];
        int globalEntries = 0;
        if (hdr[10] & 0x80) {
            globalEntries = 2 << (hdr[10] & 7);
            if (!r.Read(st.globalTable, size_t(globalEntries) * 3)) ThrowCodecError("truncated GIF colour table");
        }
        const int64_t blocksStart = r.Tell();

        // One walk over the blocks. With target < 0 it only counts the images
        // and notes which of them are painted over the picture before them;
        // otherwise it decodes images from..target and stops after target.
        std::vector<uint8_t> composites;
        int firstTransparent = -1;
        VaZavi current(kTypeGIF);   // the picture of the last decoded frame
        bool currentIsScreen = false;
        FrameInfo currentFrame;
        int currentTransparent = -1;

        auto walk = [&](int from, int target) {
            int k = 0;
            int transparent = -1;   // of the graphic-control block before the next image
            disposalMethod = 0;
            info.frameDelay = 0;
            for (;;) {
                int b = r.Byte();
                if (b < 0 || b == 0x3B) return;
                if (b == 0x21) {
                    int label = r.Byte();
                    if (label < 0) return;
                    if (label == 0xF9 || label == 0xFE || label == 0xFF) {
                        int n = r.Byte();
                        if (n < 0) return;
                        if (n > 0 && !r.Read(st.block, size_t(n))) return;
                        if (label == 0xF9) {
                            if (n == 4) {
                                std::memcpy(st.control, st.block, 4);
                                transparent = (st.control[0] & 1) ? st.control[3] : -1;
                                info.frameDelay = Le16(st.control + 1);
                                disposalMethod = (st.control[0] >> 2) & 7;
                            }
                        } else if (label == 0xFE) {
                            comment.assign(reinterpret_cast<const char*>(st.block),
                                           strnlen(reinterpret_cast<const char*>(st.block), size_t(n)));
                        } else if (n == 11) {
                            n = r.Byte();
                            if (n < 0) return;
                            if (n > 0 && !r.Read(st.block, size_t(n))) return;
                            if (n == 3) loopCount = st.block[1] | st.block[2] << 8;
                        }
                        if (n == 0) continue;  // that was the terminator
                    }
                    if (!r.SkipSubBlocks()) return;
                    continue;
                }
                if (b != 0x2C) continue;  // stray byte between blocks

                uint8_t d[9];
                if (!r.Read(d, 9)) return;
                FrameInfo f;
                f.left = Le16(d), f.top = Le16(d + 2), f.width = Le16(d + 4), f.height = Le16(d + 6);
                f.interlaced = (d[8] & 0x40) != 0;
                if (d[8] & 0x80) {
                    f.tableEntries = 2 << (d[8] & 7);
                    if (!r.Read(st.localTable, size_t(f.tableEntries) * 3)) return;
                    f.table = st.localTable;
                } else if (globalEntries) {
                    f.tableEntries = globalEntries;
                    f.table = st.globalTable;
                }
                const bool composite = k > 0 && disposalMethod == 1;
                if (k == 0) firstTransparent = transparent;

                if (target < 0 || k < from) {
                    if (target < 0) composites.push_back(composite);
                    if (r.Byte() < 0 || !r.SkipSubBlocks()) return;
                } else {
                    // Decode this image on its own.
                    VaZavi frame(kTypeGIF);
                    const int64_t pixels = int64_t(f.width) * f.height;
                    if (pixels > 0) {
                        int64_t data = MeasureData(r);
                        if (pixels > (data + 1) * kPixelsPerDataByte) ThrowCodecError("GIF image data too short for its size");
                        if (!frame.Create(BitCountForTable(f.tableEntries), f.width, f.height, kTypeGIF))
                            ThrowCodecError(frame.LastError());
                        RgbQuad* pal = frame.GetPalette();
                        const int palEntries = frame.ColorsUsed();
                        if (f.table) {
                            for (int i = 0; i < std::min(f.tableEntries, palEntries); ++i)
                                pal[i] = RgbQuad{f.table[3 * i + 2], f.table[3 * i + 1], f.table[3 * i], 0};
                            // With transparency the entries past the table are white.
                            if (transparent != -1)
                                for (int i = f.tableEntries; i < palEntries; ++i) pal[i] = RgbQuad{255, 255, 255, 0};
                        } else {
                            frame.SetGrayPalette();
                        }
                        // A frame before the wanted one may come out blank;
                        // the wanted one itself must give pixels.
                        if (DecodeLzw(r, frame, f.interlaced, st) == 0 && k == target)
                            ThrowCodecError("GIF image data gives no pixels");
                    } else if (r.Byte() >= 0) {
                        r.SkipSubBlocks();
                    }

                    if (composite && current.IsValid() && frame.IsValid()) {
                        PaintOver(current, currentIsScreen, currentFrame, screenW, screenH, background,
                                  firstTransparent, frame, f, transparent,
                                  std::min<int64_t>(r.End() - fileStart, int64_t(1) << 40));
                        currentIsScreen = true;
                    } else if (frame.IsValid()) {
                        current.Transfer(frame);
                        currentIsScreen = false;
                        currentFrame = f;
                        currentTransparent = transparent;
                    } else if (!composite) {
                        current.Destroy();
                    }
                    if (k == target) return;
                }
                transparent = -1;
                ++k;
            }
        };

        walk(0, -1);
        info.frameCount = int(composites.size());
        const int want = keep.frameIndex;
        if (want < 0 || want >= info.frameCount) {
            r.GiveBack();
            Destroy();
            return false;
        }
        // The wanted frame depends on the frames before it back to the last
        // one that is not painted over its predecessor.
        int from = want;
        while (from > 0 && composites[size_t(from)]) --from;
        const int frameCount = info.frameCount;
        if (!r.Seek(blocksStart)) ThrowCodecError("can't seek in GIF file");
        walk(from, want);
        const int delay = info.frameDelay;
        r.GiveBack();
        if (!current.IsValid()) ThrowCodecError("GIF image has no pixels");

        if (!Transfer(current)) ThrowCodecError("can't allocate memory");
        const int32_t stride = info.stride;
        info = keep;
        info.stride = stride;
        info.type = kTypeGIF;
        info.frameCount = frameCount;
        info.frameDelay = delay;
        info.lastError[0] = 0;
        if (currentIsScreen) {
            info.transparentIndex = BitCount() <= 8 ? firstTransparent : -1;
            info.frameLeft = info.frameTop = 0;
        } else {
            info.transparentIndex = currentTransparent;
            info.frameLeft = currentFrame.left;
            info.frameTop = currentFrame.top;
        }
        return true;
    } catch (const CodecError& e) {
        info = keep;
        SetLastError(e.text);
    } catch (const std::bad_alloc&) {
        info = keep;
        SetLastError("can't allocate memory");
    }
    Destroy();
    return false;
}
