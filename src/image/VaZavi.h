// VaZavi: the one raster image type. One packed DIB block (header, palette,
// bottom-up rows padded to 4 bytes) plus an information block and the working
// buffers of the filters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "dib_types.h"
#include "host_hooks.h"

class ImageStream;
class DrawSurface;
class BitmapSource;
struct DrawRect;
struct EmbeddedResource;

// Largest picture the program accepts: 2^28 pixels and 1 GiB of pixel rows.
// Every decoder sizes its image through Create, so no file can make us
// allocate more than this.
inline constexpr int64_t kMaxImagePixels = int64_t(1) << 28;
inline constexpr int64_t kMaxImageBytes = int64_t(1) << 30;

// The information block, copied as one unit by the copy operations.
struct VaZaviInfo {
    int32_t stride = 0;
    int8_t type = 0;
    char lastError[256] = {};
    int32_t progress = 0;
    int32_t transparentIndex = -1;
    RgbQuad backgroundColor = {0, 0, 0, 0};
    uint8_t jpegQuality = 150;
    int32_t frameIndex = 0;
    int32_t frameCount = 0;
    int32_t frameDelay = 0;
    int32_t xDpi = 0;
    int32_t yDpi = 0;
    bool enabled = true;
    int32_t frameLeft = 0;
    int32_t frameTop = 0;
    // Alpha settings of the picture: the largest alpha value its pixels may
    // have (255 = fully opaque allowed) and whether the fourth byte of the
    // palette entries is alpha. The transparent colour of a direct-colour
    // picture is backgroundColor; a palette picture names it by
    // transparentIndex as well.
    uint8_t alphaValue = 255;
    bool alphaPalette = false;
};

// Shared multiply table: entry[i][j] = trunc(i * (j / 255.0)), which is 0 when
// i*j == 0 and (i*j - 1) / 255 otherwise.
using BlendRow = uint8_t[256];
const BlendRow* BlendTable();

class VaZavi {
public:
    explicit VaZavi(int type = kTypeBMP);
    VaZavi(const char* fileName, int type);
    VaZavi(int bitCount, int width, int height, int type);
    VaZavi(const VaZavi& src);
    VaZavi& operator=(const VaZavi&) = delete;
    virtual ~VaZavi();

    // --- lifetime -------------------------------------------------------
    uint8_t* Create(int bitCount, int width, int height, int type);
    void Destroy();
    bool Transfer(VaZavi& source);
    bool Ghost(VaZavi& target) const;
    // Lets target read this image's header, information block and pixels
    // without copying them; the target must not outlive this image nor
    // change the pixels. Used by the savers.
    void Lend(VaZavi& target) const;
    // As Create, but the pixel rows are left unfilled: for decoders that
    // write every row themselves.
    uint8_t* CreateUnfilled(int bitCount, int width, int height, int type);
    void CopyInfoIfEmpty(const VaZavi& source);
    bool IsValid() const { return dib_ != nullptr; }

    // Reads a packed DIB held in memory (the program's clipboard exchange
    // format). `size` bounds every read of the block.
    bool CreateFromHandle(const uint8_t* packedDib, size_t size, BitmapInfoHeader* outHeader,
                          int32_t* outXPelsPerMeter, bool checkDisplay);
    bool CreateFromBitmap(const BitmapSource* bitmap);

    // Converts 16- or 32-bit source rows into this 24-bit image.
    void ConvertPackedRows(int bitsPerPixel, const uint8_t* sourceRows, uint32_t redMask,
                           uint32_t greenMask, uint32_t blueMask);

    // --- drawing ---------------------------------------------------------
    bool Draw(DrawSurface* dc, int x, int y, int width, int height) const;
    bool DrawTiled(DrawSurface* dc, const DrawRect& clip) const;
    bool DrawAt(DrawSurface* dc, int x, int y, const DrawRect& clip) const;

    // --- palette and pixels ----------------------------------------------
    void SetPaletteColor(int index, uint8_t red, uint8_t green, uint8_t blue);
    void SetPaletteColor(int index, uint32_t packed);
    uint32_t GetPaletteColor(int index) const;
    RgbQuad* GetPalette() const;
    int GetPaletteSize() const;
    void SetPalette(const RgbQuad* entries, int count);
    void SetPalette(int count, const uint8_t* red, const uint8_t* green, const uint8_t* blue);
    void SetGrayPalette();
    bool IsGrayScale() const;
    int GetNearestIndex(uint32_t colour) const;
    int GetPixelIndex(int x, int y) const;
    void SetPixelIndex(int x, int y, int index);
    uint32_t GetPixelColor(int x, int y) const;
    bool IsInside(int x, int y) const;
    void SwapRedBlue(uint8_t* row, int length) const;
    static uint32_t SwapRedBlue(uint32_t colour);
    void SetXDpi(int dpi);
    void SetYDpi(int dpi);

    // --- whole-image turns -----------------------------------------------
    bool Flip();
    bool Mirror();
    bool RotateLeft();
    bool RotateRight();

    // --- files -------------------------------------------------------------
    bool Load(const char* fileName, int type);
    bool Load(ImageStream& stream, int type);
    bool LoadResource(const EmbeddedResource* resource, int type);
    bool Save(const char* fileName, int type);
    bool Save(ImageStream& stream, int type);

    // --- accessors ---------------------------------------------------------
    int Width() const { return header.width; }
    int Height() const { return header.height; }
    int BitCount() const { return header.bitCount; }
    int ColorsUsed() const { return int(header.clrUsed); }
    int Stride() const { return info.stride; }
    uint8_t* Row(int storedRow) const { return bits + size_t(storedRow) * size_t(info.stride); }
    uint8_t* DibBlock() const { return dib_; }
    size_t DibSize() const { return dibSize_; }
    size_t ImageBytes() const { return size_t(header.sizeImage); }
    const char* LastError() const { return info.lastError; }
    void SetLastError(std::string_view text);
    void SetProgress(int percent);

    // --- fields -------------------------------------------------------------
    BitmapInfoHeader header{};
    uint8_t* bits = nullptr;   // first pixel row inside the DIB block
    VaZaviInfo info;

    // Drop mask of the drop painting and the soft brush, with its origin.
    uint8_t dropMask[50][50] = {};
    int32_t dropX = 0, dropY = 0;

    bool hasAlpha = false;
    std::unique_ptr<uint8_t[]> workMask;   // one byte per layer pixel
    std::unique_ptr<uint8_t[]> viewImage;  // canvas-sized copy of a layer
    std::unique_ptr<uint8_t[]> viewMask;   // and of its alpha plane
    imagehost::ProgressFn progressWindow;  // the main window's progress display

    // Working fields of the oil painting filter.
    double oil[8] = {};

private:
    void InitDefaults(int type);
    uint8_t* Allocate(int bitCount, int width, int height, int type);
    void ReleaseDib();
    uint8_t* dib_ = nullptr;      // the packed DIB block
    bool ownsDib_ = false;        // false while lent by another image
    size_t dibSize_ = 0;
};

// Codec errors: raised inside a codec and caught at its entry point.
struct CodecError {
    std::string text;
};
[[noreturn]] void ThrowCodecError(std::string_view text);
// The image core keeps the last large pixel block it freed for the next
// picture of about that size; this gives it back to the system.
void ReleaseKeptPixelBlock();
// Copies at most 255 bytes of text into a 256-byte error field.
void CopyErrorText(char (&dest)[256], std::string_view text);
