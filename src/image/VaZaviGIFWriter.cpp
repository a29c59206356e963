// GIF writer: one palette image of 1, 4 or 8 bits with the classic hashing
// LZW coder.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "ImageStream.h"
#include "codecs.h"
#include "gif_state.h"

using namespace gifcoder;

namespace {

class GifWriter {
public:
    GifWriter(ImageStream& s, VaZaviGIF::State& st) : s_(s), st_(st) {
        st_.out.clear();
        st_.out.reserve(1 << 16);
        st_.writeFailed = false;
    }
    void Put(uint8_t b) {
        st_.out.push_back(b);
        if (st_.out.size() >= (1 << 16)) Drain();
    }
    void Put16(int v) {
        Put(uint8_t(v));
        Put(uint8_t(v >> 8));
    }
    void Put(const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        st_.out.insert(st_.out.end(), b, b + n);
        if (st_.out.size() >= (1 << 16)) Drain();
    }
    void Drain() {
        if (!st_.out.empty() && s_.Write(st_.out.data(), 1, st_.out.size()) != st_.out.size())
            st_.writeFailed = true;
        st_.out.clear();
    }
    bool Finish() {
        Drain();
        if (s_.Flush() != 0) st_.writeFailed = true;
        if (s_.Kind() == 0 && s_.Error()) st_.writeFailed = true;
        return !st_.writeFailed;
    }

private:
    ImageStream& s_;
    VaZaviGIF::State& st_;
};

// Classic hashing LZW coder: 5,003-entry open-addressing table keyed by
// (pixel << 12) + prefix code, codes up to 12 bits, a clear code when the
// table is full. The pixels go row by row from the top of the picture, left
// to right. The coder's state lives in locals so that it stays in registers.
void EncodeLzw(GifWriter& out, VaZaviGIF::State& st, const VaZavi& img, int initBits) {
    int32_t* const hash = st.hash;
    uint16_t* const codes = st.codes;
    const int clear = 1 << (initBits - 1), endCode = clear + 1;
    int freeCode = clear + 2, width = initBits, maxCode = (1 << width) - 1;
    bool clearFlag = false;
    uint64_t acc = 0;
    int bits = 0;
    // Data bytes not yet sent; whole 254-byte packets leave when it fills.
    constexpr int kHold = int(kPacketBytes) * 32;
    uint8_t hold[kHold + 8];
    int held = 0;
    auto sendPackets = [&](bool all) {
        int sent = 0;
        while (held - sent >= int(kPacketBytes) || (all && held > sent)) {
            int n = std::min(int(kPacketBytes), held - sent);
            out.Put(uint8_t(n));
            out.Put(hold + sent, size_t(n));
            sent += n;
        }
        std::memmove(hold, hold + sent, size_t(held - sent));
        held -= sent;
    };
    auto output = [&](int code) {
        acc |= uint64_t(code) << bits;
        bits += width;
        while (bits >= 8) {
            hold[held++] = uint8_t(acc);
            acc >>= 8;
            bits -= 8;
        }
        if (held >= kHold - 2) sendPackets(false);
        if (clearFlag) {
            width = initBits;
            maxCode = (1 << width) - 1;
            clearFlag = false;
        } else if (freeCode > maxCode) {
            ++width;
            maxCode = width == 12 ? kMaxCodes : (1 << width) - 1;
        }
    };
    std::fill(hash, hash + kHashSize, -1);
    output(clear);

    const int w = img.Width(), h = img.Height(), bc = img.BitCount();
    std::vector<uint8_t>& unpacked = st.row;
    unpacked.resize(size_t(w));
    int ent = -1;
    for (int y = h - 1; y >= 0; --y) {
        const uint8_t* src = img.Row(y);
        const uint8_t* p = src;
        if (bc == 4) {
            for (int x = 0; x < w; ++x) unpacked[size_t(x)] = (x & 1) ? src[x >> 1] & 15 : src[x >> 1] >> 4;
            p = unpacked.data();
        } else if (bc == 1) {
            for (int x = 0; x < w; ++x) unpacked[size_t(x)] = (src[x >> 3] >> (7 - (x & 7))) & 1;
            p = unpacked.data();
        }
        int x = 0;
        if (ent < 0) ent = p[x++];
        for (; x < w; ++x) {
            const int c = p[x];
            const int32_t key = (int32_t(c) << 12) + ent;
            int i = (c << kHashShift) ^ ent;
            if (hash[i] == key) {
                ent = codes[i];
                continue;
            }
            if (hash[i] >= 0) {  // occupied: probe further
                const int disp = i == 0 ? 1 : kHashSize - i;
                bool found = false;
                for (;;) {
                    i -= disp;
                    if (i < 0) i += kHashSize;
                    if (hash[i] == key) {
                        found = true;
                        break;
                    }
                    if (hash[i] < 0) break;
                }
                if (found) {
                    ent = codes[i];
                    continue;
                }
            }
            output(ent);
            if (freeCode < kMaxCodes) {
                codes[i] = uint16_t(freeCode++);
                hash[i] = key;
            } else {
                std::fill(hash, hash + kHashSize, -1);
                freeCode = clear + 2;
                clearFlag = true;
                output(clear);
            }
            ent = c;
        }
    }
    output(ent);
    output(endCode);
    while (bits > 0) {
        hold[held++] = uint8_t(acc);
        acc >>= 8;
        bits -= 8;
    }
    sendPackets(true);
}

}  // namespace

bool VaZaviGIF::Encode(ImageStream& stream) {
    if (!IsValid()) {
        SetLastError("no image to save");
        return false;
    }
    const int bc = BitCount();
    if (bc > 8) {
        SetLastError("GIF holds palette pictures of at most 8 bits per pixel");
        return false;
    }
    try {
        if (!gif) gif = new State;
        State& st = *gif;
        GifWriter out(stream, st);
        const int w = Width(), h = Height();

        // Header and logical screen; the screen also holds a frame offset.
        int left = info.frameLeft, top = info.frameTop;
        if (left < 0 || top < 0 || left > 0xFFFF - w || top > 0xFFFF - h) left = top = 0;
        out.Put("GIF87a", 6);
        out.Put16(w + left);
        out.Put16(h + top);
        out.Put(uint8_t(((bc + 7) << 5) | (bc - 1) | 0x80));
        out.Put(0);
        out.Put(0);
        const RgbQuad* pal = GetPalette();
        for (int i = 0; i < ColorsUsed(); ++i) {
            out.Put(pal[i].red);
            out.Put(pal[i].green);
            out.Put(pal[i].blue);
        }

        // Graphic-control extension.
        const bool transparent = info.transparentIndex != -1;
        out.Put(0x21);
        out.Put(0xF9);
        out.Put(0x04);
        out.Put(uint8_t(((disposalMethod << 2) & 0x1F) | (transparent ? 1 : 0)));
        out.Put16(info.frameDelay);
        out.Put(uint8_t(info.transparentIndex));
        out.Put(0x00);

        // Image descriptor and data.
        out.Put(0x2C);
        out.Put16(left);
        out.Put16(top);
        out.Put16(w);
        out.Put16(h);
        out.Put(0x00);
        const int codeSize = std::max(bc, 2);
        out.Put(uint8_t(codeSize));
        EncodeLzw(out, st, *this, codeSize + 1);
        out.Put(0x00);

        // Comment.
        const size_t textLen = strnlen(comment.c_str(), std::min<size_t>(comment.size(), 255));
        if (textLen) {
            out.Put(0x21);
            out.Put(0xFE);
            out.Put(uint8_t(textLen));
            out.Put(comment.data(), textLen);
            out.Put(0x00);
        }
        out.Put(0x3B);
        if (!out.Finish()) {
            SetLastError("Write Error in GIF file");
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        SetLastError("can't allocate memory");
        return false;
    }
}
