// BMP reader and writer.
//
// The reader takes files with the "BM" file header and bare DIBs (as held on
// the clipboard), with the 12-byte core header, the 40-byte header and the
// later 52/56/108/124-byte headers (their masks are honoured and the palette is
// read from directly after the header). Bit counts 1, 4, 8 (uncompressed, RLE4,
// RLE8), 16 (5-5-5 or masks), 24 and 32 (bit fields or plain BGRA) are decoded;
// anything else is refused with a message.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "ImageStream.h"
#include "codecs.h"

namespace {

constexpr uint32_t kRGB = 0, kRLE8 = 1, kRLE4 = 2, kBitFields = 3, kAlphaBitFields = 6;

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

void ReadExact(ImageStream& s, void* buf, size_t n, const char* what) {
    if (n && s.Read(buf, 1, n) != n) ThrowCodecError(what);
}

struct MaskChannel {
    uint32_t mask = 0;
    int shift = 0, width = 0;
    explicit MaskChannel(uint32_t m = 0) : mask(m) {
        if (m) {
            shift = std::countr_zero(m);
            width = std::popcount(m);
        }
    }
    uint8_t Get(uint32_t p) const { return mask ? ExpandBits((p & mask) >> shift, width) : 0; }
    // A mask must be one run of set bits.
    bool Valid() const { return mask == 0 || ((mask >> shift) & ((mask >> shift) + 1)) == 0; }
};

// Output cursor of the run-length decoders; writes outside the picture are
// dropped and the cursor saturates so no amount of data can overflow it.
struct RleCursor {
    int64_t x = 0, row = 0;
    void Advance(int64_t dx, int64_t dy) {
        x = std::min<int64_t>(x + dx, int64_t(1) << 40);
        row = std::min<int64_t>(row + dy, int64_t(1) << 40);
    }
};

void DecodeRle8(VaZavi& img, const uint8_t* p, size_t n) {
    const int w = img.Width(), h = img.Height();
    RleCursor c;
    size_t i = 0;
    auto put = [&](uint8_t v) {
        if (c.row < h && c.x < w) img.Row(int(c.row))[c.x] = v;
        c.Advance(1, 0);
    };
    while (i + 1 < n) {
        uint8_t count = p[i++], value = p[i++];
        if (count) {
            for (int k = 0; k < count; ++k) put(value);
            continue;
        }
        switch (value) {
        case 0: c.x = 0; c.Advance(0, 1); break;
        case 1: return;
        case 2:
            if (i + 2 > n) return;
            c.Advance(p[i], p[i + 1]);
            i += 2;
            break;
        default:
            for (int k = 0; k < value && i < n; ++k) put(p[i++]);
            if (value & 1) ++i;
            break;
        }
    }
}

void DecodeRle4(VaZavi& img, const uint8_t* p, size_t n) {
    const int w = img.Width(), h = img.Height();
    RleCursor c;
    size_t i = 0;
    auto put = [&](uint8_t nib) {
        if (c.row < h && c.x < w) {
            uint8_t& b = img.Row(int(c.row))[c.x >> 1];
            b = (c.x & 1) ? uint8_t((b & 0xF0) | nib) : uint8_t((b & 0x0F) | (nib << 4));
        }
        c.Advance(1, 0);
    };
    while (i + 1 < n) {
        uint8_t count = p[i++], value = p[i++];
        if (count) {
            // Pixels of an encoded run alternate the two nibbles, high first.
            for (int k = 0; k < count; ++k) put((k & 1) ? value & 15 : value >> 4);
            continue;
        }
        switch (value) {
        case 0: c.x = 0; c.Advance(0, 1); break;
        case 1: return;
        case 2:
            if (i + 2 > n) return;
            c.Advance(p[i], p[i + 1]);
            i += 2;
            break;
        default: {
            size_t bytes = (size_t(value) + 1) / 2;
            for (int k = 0; k < value; ++k) {
                size_t at = i + size_t(k / 2);
                if (at >= n) break;
                put((k & 1) ? p[at] & 15 : p[at] >> 4);
            }
            i += bytes + (bytes & 1);  // absolute runs fill whole 16-bit words
            break;
        }
        }
    }
}

}  // namespace

bool VaZaviBMP::Decode(ImageStream& s) {
    try {
        const int64_t start = s.Tell();
        if (start < 0) ThrowCodecError("unreadable stream");
        uint8_t fh[14];
        if (s.Read(fh, 1, 14) != 14) ThrowCodecError("not a BMP file (too short)");
        int64_t pixelOffset = 0;
        int64_t headerStart = start + 14;
        if (fh[0] == 'B' && fh[1] == 'M') {
            pixelOffset = Le32(fh + 10);
        } else {
            headerStart = start;
            s.Seek(start, 0);
        }

        uint8_t hb[124] = {};
        ReadExact(s, hb, 4, "truncated bitmap header");
        const uint32_t hsize = Le32(hb);
        BitmapInfoHeader hdr{};
        uint32_t masks[4] = {0, 0, 0, 0};
        bool core = false;
        if (hsize == 12) {
            ReadExact(s, hb + 4, 8, "truncated bitmap header");
            core = true;
            hdr.size = 40;
            hdr.width = Le16(hb + 4);
            hdr.height = Le16(hb + 6);
            hdr.planes = Le16(hb + 8);
            hdr.bitCount = Le16(hb + 10);
        } else if (hsize >= 16 && hsize <= 124) {
            ReadExact(s, hb + 4, hsize - 4, "truncated bitmap header");
            std::memcpy(&hdr, hb, sizeof hdr);
            if (hsize < 40) std::memset(reinterpret_cast<uint8_t*>(&hdr) + hsize, 0, 40 - hsize);
            hdr.size = 40;
            if (hsize >= 52) {
                masks[0] = Le32(hb + 40);
                masks[1] = Le32(hb + 44);
                masks[2] = Le32(hb + 48);
            }
            if (hsize >= 56) masks[3] = Le32(hb + 52);
        } else if (hsize > 124 && hsize <= 4096) {
            // A longer header than we know: its first 124 bytes mean what they
            // always mean; skip the rest.
            ReadExact(s, hb + 4, 120, "truncated bitmap header");
            std::memcpy(&hdr, hb, sizeof hdr);
            hdr.size = 40;
            masks[0] = Le32(hb + 40), masks[1] = Le32(hb + 44), masks[2] = Le32(hb + 48), masks[3] = Le32(hb + 52);
            if (s.Seek(headerStart + hsize, 0) != 0) ThrowCodecError("truncated bitmap header");
        } else {
            ThrowCodecError("not a BMP file (bad header size)");
        }

        const int bc = hdr.bitCount;
        const uint32_t comp = hdr.compression;
        if (bc != 1 && bc != 4 && bc != 8 && bc != 16 && bc != 24 && bc != 32) {
            char t[64];
            std::snprintf(t, sizeof t, "unsupported bit count %d", bc);
            ThrowCodecError(t);
        }
        if (hdr.width <= 0 || hdr.height == 0 || hdr.height == INT32_MIN)
            ThrowCodecError("invalid image size");
        const bool topDown = hdr.height < 0;
        const int w = hdr.width, h = topDown ? -hdr.height : hdr.height;

        if (bc <= 8) {
            if (comp != kRGB && !(bc == 8 && comp == kRLE8) && !(bc == 4 && comp == kRLE4))
                ThrowCodecError("compression type not supported");
        } else if (bc == 16) {
            if (comp != kRGB && comp != kBitFields && comp != kAlphaBitFields)
                ThrowCodecError("compression type not supported");
        } else if (bc == 24) {
            if (comp != kRGB) ThrowCodecError("unknown compression");
        } else if (comp != kRGB && comp != kBitFields && comp != kAlphaBitFields) {
            ThrowCodecError("unknown compression");
        }
        if (topDown && (comp == kRLE8 || comp == kRLE4)) ThrowCodecError("compression type not supported");

        // Masks of a 40-byte header follow it.
        if ((comp == kBitFields || comp == kAlphaBitFields) && hsize == 40) {
            uint8_t mb[16];
            size_t n = comp == kAlphaBitFields ? 16 : 12;
            ReadExact(s, mb, n, "truncated bit field masks");
            for (size_t k = 0; k < n / 4; ++k) masks[k] = Le32(mb + 4 * k);
        }

        if (hdr.clrUsed > 256 && bc <= 8) ThrowCodecError("invalid palette size");
        // Pixel data size the file must hold, checked before anything large is made.
        const int64_t fileStride = ((int64_t(w) * bc + 31) / 32) * 4;
        if (int64_t(w) * h > kMaxImagePixels || fileStride * h > kMaxImageBytes) ThrowCodecError("image too large");

        // Palette, read before anything large is made.
        const int entrySize = core ? 3 : 4;
        const int imageColors = bc <= 8 ? 1 << bc : 0;
        int fileEntries = bc <= 8 ? (hdr.clrUsed ? int(hdr.clrUsed) : 1 << bc) : int(std::min<uint32_t>(hdr.clrUsed, 1u << 20));
        const int paletteEntries = std::min(fileEntries, imageColors);
        uint8_t raw[256 * 4];
        ReadExact(s, raw, size_t(paletteEntries) * entrySize, "truncated palette");
        fileEntries -= paletteEntries;
        if (pixelOffset > 0) {
            if (pixelOffset > s.Size() - start || s.Seek(start + pixelOffset, 0) != 0)
                ThrowCodecError("pixel data offset beyond the end of the file");
        } else if (fileEntries > 0) {
            int64_t skip = int64_t(fileEntries) * entrySize;
            if (skip > s.Remaining() || s.Seek(skip, 1) != 0) ThrowCodecError("truncated palette");
        }
        // Uncompressed rows must all be there before the picture is made.
        if (comp != kRLE8 && comp != kRLE4 && fileStride * h > s.Remaining()) ThrowCodecError("truncated pixel data");

        VaZavi& img = *this;
        if (!img.CreateUnfilled(bc == 16 ? 24 : bc, w, h, kTypeBMP)) ThrowCodecError(img.LastError());
        if (comp == kRLE8 || comp == kRLE4) std::memset(img.bits, 0, img.ImageBytes());
        img.info.xDpi = hdr.xPelsPerMeter > 0 ? int(std::floor(hdr.xPelsPerMeter * 0.0254 + 0.5)) : 0;
        img.info.yDpi = hdr.yPelsPerMeter > 0 ? int(std::floor(hdr.yPelsPerMeter * 0.0254 + 0.5)) : 0;
        img.header.xPelsPerMeter = std::max(0, hdr.xPelsPerMeter);
        img.header.yPelsPerMeter = std::max(0, hdr.yPelsPerMeter);
        std::memcpy(img.DibBlock(), &img.header, sizeof img.header);
        if (RgbQuad* pal = img.GetPalette())
            for (int k = 0; k < paletteEntries; ++k)
                pal[k] = RgbQuad{raw[k * entrySize], raw[k * entrySize + 1], raw[k * entrySize + 2], 0};

        if (comp == kRLE8 || comp == kRLE4) {
            int64_t left = s.Remaining();
            std::vector<uint8_t> data(size_t(std::max<int64_t>(0, left)));
            size_t got = data.empty() ? 0 : s.Read(data.data(), 1, data.size());
            if (comp == kRLE8)
                DecodeRle8(img, data.data(), got);
            else
                DecodeRle4(img, data.data(), got);
            return true;
        }

        if (bc <= 8 || bc == 24) {
            if (!topDown) {
                ReadExact(s, img.bits, img.ImageBytes(), "truncated pixel data");
            } else {
                for (int r = 0; r < h; ++r) ReadExact(s, img.Row(h - 1 - r), size_t(img.Stride()), "truncated pixel data");
            }
            return true;
        }

        // 16 and 32 bits: rows through a work buffer.
        const size_t rowBytes = size_t(fileStride);
        std::vector<uint8_t> work;
        try {
            work.resize(rowBytes * size_t(h));
        } catch (const std::bad_alloc&) {
            ThrowCodecError("can't allocate memory");
        }
        ReadExact(s, work.data(), work.size(), "truncated pixel data");
        if (topDown)
            for (int r = 0; r < h / 2; ++r)
                std::swap_ranges(work.begin() + ptrdiff_t(r * rowBytes), work.begin() + ptrdiff_t((r + 1) * rowBytes),
                                 work.begin() + ptrdiff_t((h - 1 - r) * rowBytes));

        if (bc == 16) {
            uint32_t rm = 0x7C00, gm = 0x03E0, bm = 0x001F;
            if (comp != kRGB) rm = masks[0], gm = masks[1], bm = masks[2];
            img.ConvertPackedRows(16, work.data(), rm, gm, bm);
            return true;
        }

        // 32 bits. Plain rows are blue, green, red and a fourth byte; bit
        // fields are decoded by their masks. A fourth byte (or alpha mask)
        // that is 0 everywhere means "no alpha": the pixels become opaque.
        bool anyAlpha = false;
        if (comp == kRGB) {
            for (int r = 0; r < h; ++r) {
                const uint8_t* src = work.data() + size_t(r) * rowBytes;
                std::memcpy(img.Row(r), src, size_t(w) * 4);
            }
            for (int r = 0; r < h && !anyAlpha; ++r)
                for (int x = 0; x < w; ++x)
                    if (img.Row(r)[4 * x + 3]) {
                        anyAlpha = true;
                        break;
                    }
        } else {
            MaskChannel R(masks[0]), G(masks[1]), B(masks[2]), A(masks[3]);
            if (!R.Valid() || !G.Valid() || !B.Valid() || !A.Valid()) ThrowCodecError("invalid bit field masks");
            for (int r = 0; r < h; ++r) {
                const uint8_t* src = work.data() + size_t(r) * rowBytes;
                uint8_t* d = img.Row(r);
                for (int x = 0; x < w; ++x) {
                    uint32_t p = Le32(src + 4 * x);
                    d[4 * x] = B.Get(p);
                    d[4 * x + 1] = G.Get(p);
                    d[4 * x + 2] = R.Get(p);
                    uint8_t a = A.Get(p);
                    d[4 * x + 3] = a;
                    anyAlpha |= a != 0;
                }
            }
        }
        if (anyAlpha) {
            img.hasAlpha = true;
        } else {
            for (int r = 0; r < h; ++r)
                for (int x = 0; x < w; ++x) img.Row(r)[4 * x + 3] = 255;
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

bool VaZaviBMP::Encode(ImageStream& s) {
    if (!IsValid()) {
        SetLastError("no image to save");
        return false;
    }
    const size_t paletteBytes = size_t(GetPaletteSize());
    BitmapInfoHeader h = header;
    h.size = 40;
    h.compression = 0;
    h.sizeImage = uint32_t(ImageBytes());
    h.planes = 1;
    BitmapFileHeader fh{};
    fh.type = 0x4D42;
    fh.size = uint32_t(14 + 40 + paletteBytes + ImageBytes());
    fh.offBits = uint32_t(14 + 40 + paletteBytes);
    bool ok = s.Write(&fh, sizeof fh, 1) == 1 && s.Write(&h, sizeof h, 1) == 1 &&
              (paletteBytes == 0 || s.Write(GetPalette(), 1, paletteBytes) == paletteBytes) &&
              s.Write(bits, 1, ImageBytes()) == ImageBytes();
    if (!ok) SetLastError("write error");
    return ok;
}
