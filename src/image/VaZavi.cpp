#include "VaZavi.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <mutex>
#include <new>
#include <utility>

#include <sys/mman.h>

#include "picture_gate.h"

namespace {

struct BlendTableHolder {
    uint8_t t[256][256];
    BlendTableHolder() {
        for (int i = 0; i < 256; ++i)
            for (int j = 0; j < 256; ++j) {
                // trunc(i * (j * (1/255))) in extended precision.
                long double v = (long double)i * ((long double)j * 0.00392156862745098L);
                t[i][j] = uint8_t((int)v);
            }
    }
};

// Pixel blocks. Large ones are aligned to 2 MiB and marked for huge pages:
// a fresh 70 MB picture then costs a few dozen page faults instead of some
// 17,000, which otherwise dominate the time of loading it. The last large
// block given back is kept for the next picture of about its size (the
// usual road: a picture replaced by the next one, a filter's result
// replacing its source), which saves the kernel clearing fresh pages.
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kLargeBlock = 2 * kHugePage;
constexpr size_t kMaxKeptBlock = size_t(512) << 20;

size_t RoundToHugePages(size_t n) { return (n + kHugePage - 1) & ~(kHugePage - 1); }

struct KeptBlock {
    std::mutex lock;
    uint8_t* block = nullptr;
    size_t size = 0;   // rounded size
};
KeptBlock& Kept() {
    static KeptBlock kept;
    return kept;
}

uint8_t* AllocateBlock(size_t n) {
    if (n < kLargeBlock) return static_cast<uint8_t*>(std::malloc(n ? n : 1));
    const size_t rounded = RoundToHugePages(n);
    {
        KeptBlock& k = Kept();
        std::lock_guard<std::mutex> guard(k.lock);
        if (k.block && k.size >= rounded && k.size - rounded <= k.size / 4) {
            uint8_t* p = k.block;
            k.block = nullptr;
            k.size = 0;
            return p;
        }
    }
    void* p = nullptr;
    if (posix_memalign(&p, kHugePage, rounded) != 0) return nullptr;
    madvise(p, rounded, MADV_HUGEPAGE);
    return static_cast<uint8_t*>(p);
}

void FreeBlock(uint8_t* p, size_t n) {
    if (p && n >= kLargeBlock && RoundToHugePages(n) <= kMaxKeptBlock) {
        KeptBlock& k = Kept();
        std::lock_guard<std::mutex> guard(k.lock);
        std::swap(p, k.block);
        k.size = RoundToHugePages(n);
    }
    std::free(p);
}

}  // namespace

void ReleaseKeptPixelBlock() {
    KeptBlock& k = Kept();
    std::lock_guard<std::mutex> guard(k.lock);
    std::free(k.block);
    k.block = nullptr;
    k.size = 0;
}

namespace {

int RoundBitCount(int bitCount) {
    if (bitCount <= 1) return 1;
    if (bitCount <= 4) return 4;
    if (bitCount <= 8) return 8;
    if (bitCount <= 24) return 24;
    return 32;
}

}  // namespace

const BlendRow* BlendTable() {
    static const BlendTableHolder holder;
    return holder.t;
}

void CopyErrorText(char (&dest)[256], std::string_view text) {
    size_t n = std::min<size_t>(text.size(), 255);
    std::memcpy(dest, text.data(), n);
    dest[n] = 0;
}

void ThrowCodecError(std::string_view text) { throw CodecError{std::string(text)}; }

// ---------------------------------------------------------------------------

void VaZavi::InitDefaults(int type) {
    BlendTable();
    header = BitmapInfoHeader{};
    header.size = 40;
    info = VaZaviInfo{};
    info.type = int8_t(type);
    info.jpegQuality = 150;
    info.transparentIndex = -1;
    info.enabled = true;
    info.alphaValue = 255;
    info.alphaPalette = false;
    SetXDpi(72);
    SetYDpi(72);
}

VaZavi::VaZavi(int type) { InitDefaults(type); }

VaZavi::VaZavi(const char* fileName, int type) {
    InitDefaults(type);
    if (!Load(fileName, type)) Load(fileName, kTypeDetect);
}

VaZavi::VaZavi(int bitCount, int width, int height, int type) {
    InitDefaults(type);
    Create(bitCount, width, height, type);
}

VaZavi::VaZavi(const VaZavi& src) {
    InitDefaults(src.info.type);
    info = src.info;
    if (!src.IsValid()) return;
    if (!Create(src.header.bitCount, src.header.width, src.header.height, src.info.type)) return;
    if (src.GetPalette() && GetPalette())
        std::memcpy(GetPalette(), src.GetPalette(),
                    size_t(std::min(256, std::min(ColorsUsed(), src.ColorsUsed()))) * 4);
    std::memcpy(bits, src.bits, ImageBytes());
    header.xPelsPerMeter = src.header.xPelsPerMeter;
    header.yPelsPerMeter = src.header.yPelsPerMeter;
    std::memcpy(dib_, &header, sizeof header);
    hasAlpha = src.hasAlpha;
}

VaZavi::~VaZavi() { Destroy(); }

void VaZavi::ReleaseDib() {
    if (ownsDib_) FreeBlock(dib_, dibSize_);
    dib_ = nullptr;
    ownsDib_ = false;
    dibSize_ = 0;
    bits = nullptr;
}

void VaZavi::Destroy() {
    ReleaseDib();
    workMask.reset();
    viewImage.reset();
    viewMask.reset();
}

void VaZavi::SetLastError(std::string_view text) { CopyErrorText(info.lastError, text); }

void VaZavi::SetProgress(int percent) {
    info.progress = percent;
    if (progressWindow) progressWindow(percent);
}

uint8_t* VaZavi::Allocate(int bitCount, int width, int height, int type) {
    if (width <= 0 || height <= 0) return nullptr;
    int bc = RoundBitCount(bitCount);
    int64_t stride = ((int64_t(width) * bc + 31) / 32) * 4;
    int64_t imageBytes = stride * int64_t(height);
    if (int64_t(width) * int64_t(height) > kMaxImagePixels || imageBytes > kMaxImageBytes) {
        SetLastError("image too large");
        return nullptr;
    }
    if (std::string refusal; !ScopedPictureGate::Allows(width, height, bc, refusal)) {
        SetLastError(refusal);
        return nullptr;
    }
    int colors = bc <= 8 ? (1 << bc) : 0;
    size_t total = sizeof(BitmapInfoHeader) + size_t(colors) * 4 + size_t(imageBytes);
    uint8_t* block = AllocateBlock(total);
    if (!block) {
        SetLastError("can't allocate memory");
        return nullptr;
    }
    ReleaseDib();
    dib_ = block;
    ownsDib_ = true;
    dibSize_ = total;
    info.stride = int32_t(stride);
    info.type = int8_t(type);
    header.size = 40;
    header.width = width;
    header.height = height;
    header.planes = 1;
    header.bitCount = uint16_t(bc);
    header.compression = 0;
    header.sizeImage = uint32_t(imageBytes);
    header.clrUsed = uint32_t(colors);
    header.clrImportant = 0;
    std::memset(dib_ + sizeof header, 0, size_t(colors) * 4);
    std::memcpy(dib_, &header, sizeof header);
    bits = dib_ + sizeof header + size_t(colors) * 4;
    hasAlpha = false;
    return dib_;
}

uint8_t* VaZavi::Create(int bitCount, int width, int height, int type) {
    uint8_t* block = Allocate(bitCount, width, height, type);
    if (block) std::memset(bits, 255, ImageBytes());
    return block;
}

uint8_t* VaZavi::CreateUnfilled(int bitCount, int width, int height, int type) {
    return Allocate(bitCount, width, height, type);
}

bool VaZavi::Transfer(VaZavi& source) {
    if (!source.IsValid()) return false;
    if (!source.ownsDib_) {
        // A lent block stays with its owner: take a copy.
        uint8_t* block = AllocateBlock(source.dibSize_);
        if (!block) return false;
        std::memcpy(block, source.dib_, source.dibSize_);
        ReleaseDib();
        dib_ = block;
    } else {
        // The source gives its buffers up anyway, so the block moves over.
        ReleaseDib();
        dib_ = source.dib_;
        source.ownsDib_ = false;
    }
    ownsDib_ = true;
    header = source.header;
    info = source.info;
    dibSize_ = source.dibSize_;
    bits = dib_ + (source.bits - source.dib_);
    std::memcpy(dib_, &header, sizeof header);
    hasAlpha = source.hasAlpha;
    source.Destroy();
    return true;
}

bool VaZavi::Ghost(VaZavi& target) const {
    target.header = header;
    target.info = info;
    target.hasAlpha = hasAlpha;
    if (!dib_) return false;
    if (!target.dib_ || !target.ownsDib_ || target.dibSize_ != dibSize_) {
        uint8_t* block = AllocateBlock(dibSize_);
        if (!block) return false;
        target.ReleaseDib();
        target.dib_ = block;
        target.ownsDib_ = true;
        target.dibSize_ = dibSize_;
    }
    std::memcpy(target.dib_, dib_, dibSize_);
    target.bits = target.dib_ + (bits - dib_);
    return true;
}

void VaZavi::Lend(VaZavi& target) const {
    target.ReleaseDib();
    target.header = header;
    target.info = info;
    target.hasAlpha = hasAlpha;
    if (!dib_) return;
    target.dib_ = dib_;
    target.ownsDib_ = false;
    target.dibSize_ = dibSize_;
    target.bits = bits;
}

void VaZavi::CopyInfoIfEmpty(const VaZavi& source) {
    if (!dib_) info = source.info;
}

bool VaZavi::CreateFromHandle(const uint8_t* packedDib, size_t size, BitmapInfoHeader* outHeader,
                              int32_t* outXPelsPerMeter, bool checkDisplay) {
    if (!packedDib || size < sizeof(BitmapInfoHeader)) return false;
    BitmapInfoHeader h;
    std::memcpy(&h, packedDib, sizeof h);
    if (checkDisplay && h.xPelsPerMeter != -2 && h.xPelsPerMeter != -3 && h.bitCount != 24 &&
        h.bitCount != 32) {
        char text[160];
        std::snprintf(text, sizeof text, "디스플레이 설정이 32비트 True Color 인지 확인 (현재 %d 비트)",
                      int(h.bitCount));
        imagehost::ShowMessageBox(text);
        return false;
    }
    if (h.size < 40 || h.size > size || h.width <= 0 || h.height <= 0 ||
        (h.compression != 0 && !(h.compression == 3 && (h.bitCount == 16 || h.bitCount == 32))))
        return false;
    VaZavi tmp(info.type);
    tmp.info = info;
    int srcBits = h.bitCount;
    int createBits = srcBits == 16 ? 24 : srcBits;
    if (!tmp.Create(createBits, h.width, h.height, info.type)) {
        SetLastError(tmp.info.lastError);
        return false;
    }
    if (h.xPelsPerMeter > 0) {
        tmp.info.xDpi = int(std::floor(h.xPelsPerMeter * 0.0254 + 0.5));
        tmp.info.yDpi = int(std::floor(h.yPelsPerMeter * 0.0254 + 0.5));
    }
    tmp.header.xPelsPerMeter = h.xPelsPerMeter;
    tmp.header.yPelsPerMeter = h.yPelsPerMeter;
    size_t pos = h.size;
    uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (h.compression == 3) {
        if (pos + 12 > size) return false;
        std::memcpy(masks, packedDib + pos, 12);
        pos += 12;
    }
    int paletteEntries = tmp.ColorsUsed();
    if (paletteEntries) {
        uint32_t stored = h.clrUsed ? std::min<uint32_t>(h.clrUsed, 256) : uint32_t(paletteEntries);
        size_t bytes = size_t(std::min<uint32_t>(stored, uint32_t(paletteEntries))) * 4;
        if (pos + size_t(stored) * 4 > size) return false;
        std::memcpy(tmp.GetPalette(), packedDib + pos, bytes);
        pos += size_t(stored) * 4;
    }
    int64_t srcStride = ((int64_t(h.width) * srcBits + 31) / 32) * 4;
    if (srcBits != 1 && srcBits != 4 && srcBits != 8 && srcBits != 16 && srcBits != 24 && srcBits != 32)
        return false;
    if (int64_t(pos) + srcStride * h.height > int64_t(size)) return false;
    if (srcBits == 16) {
        tmp.ConvertPackedRows(16, packedDib + pos, masks[0], masks[1], masks[2]);
    } else {
        for (int r = 0; r < h.height; ++r)
            std::memcpy(tmp.Row(r), packedDib + pos + size_t(r) * size_t(srcStride), size_t(tmp.Stride()));
    }
    std::memcpy(tmp.DibBlock(), &tmp.header, sizeof tmp.header);
    Transfer(tmp);
    if (outHeader) *outHeader = h;
    if (outXPelsPerMeter) *outXPelsPerMeter = h.xPelsPerMeter;
    return true;
}

void VaZavi::ConvertPackedRows(int bitsPerPixel, const uint8_t* src, uint32_t redMask, uint32_t greenMask,
                               uint32_t blueMask) {
    if (!dib_ || !src || header.bitCount != 24) return;
    const int w = header.width, h = header.height;
    if (bitsPerPixel == 16) {
        auto width = [](uint32_t m) { return std::popcount(m & 0xFFFF); };
        auto shift = [](uint32_t m) { return m & 0xFFFF ? std::countr_zero(m & 0xFFFF) : 0; };
        const int rw = width(redMask), gw = width(greenMask), bw = width(blueMask);
        const int rs = shift(redMask), gs = shift(greenMask), bs = shift(blueMask);
        const size_t srcStride = size_t((w + 1) / 2) * 4;
        auto up = [](uint32_t v, int bitsWide) { return ExpandBits(v, bitsWide); };
        // Rows are converted in place only when the caller hands our own
        // buffer; walking from the last row keeps sources ahead of targets.
        for (int r = h - 1; r >= 0; --r) {
            const uint8_t* s = src + size_t(r) * srcStride;
            uint8_t* d = Row(r);
            for (int x = w - 1; x >= 0; --x) {
                uint32_t p = uint32_t(s[2 * x]) | (uint32_t(s[2 * x + 1]) << 8);
                uint8_t b = up((p & blueMask) >> bs, bw);
                uint8_t g = up((p & greenMask) >> gs, gw);
                uint8_t rr = up((p & redMask) >> rs, rw);
                d[3 * x] = b;
                d[3 * x + 1] = g;
                d[3 * x + 2] = rr;
            }
        }
    } else if (bitsPerPixel == 32) {
        const size_t srcStride = size_t(w) * 4;
        for (int r = 0; r < h; ++r) {
            const uint8_t* s = src + size_t(r) * srcStride;
            uint8_t* d = Row(r);
            for (int x = 0; x < w; ++x) {
                d[3 * x] = s[4 * x];
                d[3 * x + 1] = s[4 * x + 1];
                d[3 * x + 2] = s[4 * x + 2];
            }
        }
    }
}

// --- palette --------------------------------------------------------------

RgbQuad* VaZavi::GetPalette() const {
    if (!dib_ || header.clrUsed == 0) return nullptr;
    return reinterpret_cast<RgbQuad*>(dib_ + sizeof(BitmapInfoHeader));
}

int VaZavi::GetPaletteSize() const { return int(header.clrUsed) * 4; }

void VaZavi::SetPaletteColor(int index, uint8_t red, uint8_t green, uint8_t blue) {
    RgbQuad* pal = GetPalette();
    if (!pal || index < 0 || index >= int(header.clrUsed)) return;
    pal[index] = RgbQuad{blue, green, red, 0};
}

void VaZavi::SetPaletteColor(int index, uint32_t packed) {
    RgbQuad* pal = GetPalette();
    if (!pal || index < 0 || index >= int(header.clrUsed)) return;
    pal[index] = UnpackQuad(packed);
}

uint32_t VaZavi::GetPaletteColor(int index) const {
    RgbQuad* pal = GetPalette();
    if (!pal || index < 0 || index >= int(header.clrUsed)) return 0;
    return PackQuad(pal[index]);
}

void VaZavi::SetPalette(const RgbQuad* entries, int count) {
    RgbQuad* pal = GetPalette();
    if (!pal || !entries || count <= 0) return;
    size_t n = std::min<size_t>(size_t(count) * 4, size_t(GetPaletteSize()));
    std::memcpy(pal, entries, n);
}

void VaZavi::SetPalette(int count, const uint8_t* red, const uint8_t* green, const uint8_t* blue) {
    RgbQuad* pal = GetPalette();
    if (!pal || !red) return;
    if (!green) green = red;
    if (!blue) blue = green;
    int n = std::min(count, int(header.clrUsed));
    for (int i = 0; i < n; ++i) pal[i] = RgbQuad{blue[i], green[i], red[i], 0};
}

void VaZavi::SetGrayPalette() {
    RgbQuad* pal = GetPalette();
    if (!pal || header.clrUsed < 2) return;
    int step = 255 / int(header.clrUsed - 1);
    for (int i = 0; i < int(header.clrUsed); ++i) {
        uint8_t v = uint8_t(i * step);
        pal[i] = RgbQuad{v, v, v, 0};
    }
}

bool VaZavi::IsGrayScale() const {
    RgbQuad* pal = GetPalette();
    if (!pal) return false;
    for (int i = 0; i < int(header.clrUsed); ++i)
        if (pal[i].blue != i || pal[i].green != i || pal[i].red != i) return false;
    return true;
}

int VaZavi::GetNearestIndex(uint32_t colour) const {
    RgbQuad* pal = GetPalette();
    if (!pal) return 0;
    const int b = ColB(colour), g = ColG(colour), r = ColR(colour);
    long best = 200000;
    int bestIndex = 0;
    for (int i = 0; i < int(header.clrUsed); ++i) {
        long db = pal[i].blue - b, dg = pal[i].green - g, dr = pal[i].red - r;
        long d = db * db + dg * dg + dr * dr;
        if (d == 0) return i;
        if (d < best) {
            best = d;
            bestIndex = i;
        }
    }
    return bestIndex;
}

// --- pixels -----------------------------------------------------------------

bool VaZavi::IsInside(int x, int y) const {
    return x >= 0 && y >= 0 && x < header.width && y < header.height;
}

int VaZavi::GetPixelIndex(int x, int y) const {
    if (!dib_ || header.clrUsed == 0) return 0;
    if (!IsInside(x, y)) return info.transparentIndex != -1 ? info.transparentIndex : 0;
    const uint8_t* row = Row(y);
    switch (header.bitCount) {
    case 8: return row[x];
    case 4: return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    default: return 0;
    }
}

void VaZavi::SetPixelIndex(int x, int y, int index) {
    if (!dib_ || header.clrUsed == 0 || !IsInside(x, y)) return;
    uint8_t* row = Row(y);
    switch (header.bitCount) {
    case 8: row[x] = uint8_t(index); break;
    case 4: {
        uint8_t& b = row[x >> 1];
        if (x & 1)
            b = uint8_t((b & 0xF0) | (index & 0x0F));
        else
            b = uint8_t((b & 0x0F) | ((index & 0x0F) << 4));
        break;
    }
    case 1: {
        uint8_t& b = row[x >> 3];
        uint8_t bit = uint8_t(0x80 >> (x & 7));
        b = (index & 1) ? uint8_t(b | bit) : uint8_t(b & ~bit);
        break;
    }
    default: break;
    }
}

uint32_t VaZavi::GetPixelColor(int x, int y) const {
    if (!dib_) return 0;
    if (!IsInside(x, y)) {
        if (info.transparentIndex != -1 && header.bitCount < 24)
            return GetPaletteColor(info.transparentIndex);
        return PackQuad(info.backgroundColor);
    }
    if (header.clrUsed) return GetPaletteColor(GetPixelIndex(x, y));
    const uint8_t* p = Row(y);
    if (header.bitCount == 32) {
        p += size_t(x) * 4;
        return PackBGR(p[0], p[1], p[2], p[3]);
    }
    p += size_t(x) * 3;
    return PackBGR(p[0], p[1], p[2], 0);
}

void VaZavi::SwapRedBlue(uint8_t* row, int length) const {
    if (!row || header.clrUsed) return;
    int n = std::min(length, info.stride);
    for (int i = 0; i + 2 < n; i += 3) std::swap(row[i], row[i + 2]);
}

uint32_t VaZavi::SwapRedBlue(uint32_t c) {
    return (c & 0xFF00FF00u) | ((c & 0xFF) << 16) | ((c >> 16) & 0xFF);
}

void VaZavi::SetXDpi(int dpi) {
    info.xDpi = dpi;
    header.xPelsPerMeter = int32_t(std::floor(dpi * 39.37007874015748 + 0.5));
    if (dib_ && ownsDib_) std::memcpy(dib_, &header, sizeof header);
}

void VaZavi::SetYDpi(int dpi) {
    info.yDpi = dpi;
    header.yPelsPerMeter = int32_t(std::floor(dpi * 39.37007874015748 + 0.5));
    if (dib_ && ownsDib_) std::memcpy(dib_, &header, sizeof header);
}
