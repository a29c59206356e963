// TIFF reader and writer over the image stream, through libtiff.
//
// libtiff is opened on the stream with client procedures; its errors and
// warnings go to a handler of ours that keeps the first error text (it never
// prints or aborts), and that text follows our own message in lastError.
//
// Reading: the page frameIndex of the file (frameCount = pages found).
// Greyscale and palette pages with one sample of 1, 2, 4, 8 or 16 bits are
// read strip by strip into 1-, 4- or 8-bit images with their palette (16-bit
// samples keep their high byte, 2-bit samples widen to 4 bits), and so are
// 8-bit RGB pages into 24-bit images. Every other layout libtiff can render
// (16-bit RGB, CMYK, YCbCr, LogLuv, tiled pages, extra samples, separate
// planes) is read through its RGBA interface into a 24-bit image. Both paths read the rows as stored and then apply the
// Orientation tag with the whole-image turns.
//
// Writing: one page; black-and-white 1-bit images as CCITT Group 3 (1-bit
// images of two other colours as PackBits palette pages), 8-bit as PackBits,
// 4-bit uncompressed, 24- and 32-bit as JPEG-compressed RGB (of a 32-bit
// image the blue, green and red bytes are written, the fourth is dropped).
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include <tiffio.h>

#include "ImageStream.h"
#include "codecs.h"
#include "decode_limits.h"

namespace {

constexpr const char* kOpenFailed = "Error encountered while opening TIFF file";
constexpr const char* kNoPage = "Error: page not present in TIFF file";
constexpr const char* kNoRaster = "No space for raster buffer";
constexpr const char* kCorrupted = "Corrupted TIFF file!";
constexpr const char* kNoPalette = "Unable to allocate TIFF palette";
constexpr const char* kUnsupported = "unsupported TIFF layout";
// Largest single buffer libtiff may allocate for us, and the strip buffer
// above which rows are read one at a time.
constexpr tmsize_t kLibraryMaxAlloc = tmsize_t(1) << 30;
constexpr uint64_t kMaxStripBuffer = uint64_t(64) << 20;
// RGBA pages are rendered in bands of about this many bytes.
constexpr uint64_t kBandBytes = uint64_t(4) << 20;

// --- stream procedures -------------------------------------------------------------

ImageStream& StreamOf(thandle_t h) { return *static_cast<ImageStream*>(h); }

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t n) {
    return n <= 0 ? 0 : tmsize_t(StreamOf(h).Read(buf, 1, size_t(n)));
}

tmsize_t WriteProc(thandle_t h, void* buf, tmsize_t n) {
    return n <= 0 ? 0 : tmsize_t(StreamOf(h).Write(buf, 1, size_t(n)));
}

// libtiff expects the new position, or (toff_t)-1 on failure (0 would be taken
// for a successful seek to the start).
toff_t SeekProc(thandle_t h, toff_t off, int whence) {
    ImageStream& s = StreamOf(h);
    if (s.Seek(int64_t(off), whence) != 0) return toff_t(-1);
    return whence == SEEK_SET ? off : toff_t(s.GetPos());
}

int CloseProc(thandle_t h) {
    StreamOf(h).Close();   // the stream's owner stays in charge
    return 0;
}

toff_t SizeProc(thandle_t h) {
    int64_t n = StreamOf(h).Size();
    return n < 0 ? 0 : toff_t(n);
}

// Memory streams are handed to libtiff as mapped files (no copies of strip
// data); files are read through the procedures above.
int MapProc(thandle_t h, void** base, toff_t* size) {
    ImageStream& s = StreamOf(h);
    if (s.Kind() != 1 || !s.Data() || s.Size() <= 0) return 0;
    *base = const_cast<uint8_t*>(s.Data());
    *size = toff_t(s.Size());
    return 1;
}
void UnmapProc(thandle_t, void*, toff_t) {}

// --- messages ------------------------------------------------------------------------

struct Messages {
    std::string firstError;
};

int ErrorHandler(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* m = static_cast<Messages*>(user);
    if (m && m->firstError.empty()) {
        char text[256];
        std::vsnprintf(text, sizeof text, fmt, ap);
        m->firstError = module && *module ? std::string(module) + ": " + text : std::string(text);
    }
    return 1;   // handled: nothing reaches the global handlers
}

int WarningHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }

void SilenceGlobalHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

TIFF* OpenOnStream(ImageStream& stream, const char* mode, Messages& messages) {
    SilenceGlobalHandlers();
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (!opts) return nullptr;
    // No single buffer of the library needs more than 16 bytes per pixel of
    // the largest picture we accept.
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, tmsize_t(std::min<int64_t>(kLibraryMaxAlloc, gDecodePixelBudget * 16)));
    TIFFOpenOptionsSetErrorHandlerExtR(opts, ErrorHandler, &messages);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, WarningHandler, &messages);
    TIFF* tif = TIFFClientOpenExt("TIFF IMAGE", mode, &stream, ReadProc, WriteProc, SeekProc, CloseProc,
                                  SizeProc, MapProc, UnmapProc, opts);
    TIFFOpenOptionsFree(opts);
    return tif;
}

// Closes the library object on every way out.
struct TiffHandle {
    TIFF* tif = nullptr;
    ~TiffHandle() {
        if (tif) TIFFClose(tif);
    }
};

[[noreturn]] void Fail(const char* text, const Messages& m) {
    if (m.firstError.empty()) ThrowCodecError(text);
    ThrowCodecError(std::string(text) + " (" + m.firstError + ")");
}

int ClampToInt(double v, double limit) {
    if (!(v == v)) return 0;
    return int(std::clamp(v, -limit, limit));
}

void ApplyOrientation(VaZavi& img, int orientation) {
    switch (orientation) {
    case 2: img.Mirror(); break;
    case 3: img.Flip(); img.Mirror(); break;
    case 4: img.Flip(); break;
    case 5: img.RotateRight(); img.Mirror(); break;   // rows are columns: transpose
    case 6: img.RotateRight(); break;                  // row 0 on the right
    case 7: img.RotateLeft(); img.Mirror(); break;
    case 8: img.RotateLeft(); break;                   // row 0 on the left
    default: break;
    }
}

// Moves one stored file row of the strip path into an image row.
struct RowConverter {
    int width = 0;
    int bits = 0;            // bits per sample in the file
    bool rgb = false;        // 8-bit red, green, blue into blue, green, red
    size_t lineSize = 0;     // bytes of one file row
    size_t stride = 0;

    void operator()(const uint8_t* in, uint8_t* out) const {
        if (rgb) {
            for (int x = 0; x < width; ++x, in += 3, out += 3) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
            }
            std::memset(out, 0, stride - size_t(width) * 3);
            return;
        }
        switch (bits) {
        case 16: {
            for (int x = 0; x < width; ++x) {
                uint16_t v;
                std::memcpy(&v, in + 2 * size_t(x), 2);   // host order, as libtiff hands it
                out[x] = uint8_t(v >> 8);
            }
            std::memset(out + width, 0, stride - size_t(width));
            break;
        }
        case 2: {
            const size_t used = (size_t(width) + 1) / 2;
            for (size_t j = 0; j < used; ++j) {
                const uint8_t b = in[j / 2];
                const int shift = (j & 1) ? 0 : 4;   // two 2-bit samples per output byte
                const uint8_t pair = uint8_t((b >> shift) & 0x0F);
                out[j] = uint8_t(((pair >> 2) << 4) | (pair & 3));
            }
            std::memset(out + used, 0, stride - used);
            break;
        }
        default:
            std::memcpy(out, in, lineSize);
            std::memset(out + lineSize, 0, stride - lineSize);
            break;
        }
    }
};

// Palette of a greyscale or palette page read by strips.
void SetPagePalette(VaZaviTIF& self, TIFF* tif, uint16_t photometric, uint16_t bits, const Messages& messages) {
    std::unique_ptr<RgbQuad[]> pal(new (std::nothrow) RgbQuad[256]());
    if (!pal) Fail(kNoPalette, messages);
    const int entries = bits >= 8 ? 256 : 1 << bits;
    if (photometric == PHOTOMETRIC_PALETTE) {
        uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b)
            Fail(kCorrupted, messages);
        bool wide = false;
        for (int i = 0; i < entries && !wide; ++i) wide = r[i] > 255 || g[i] > 255 || b[i] > 255;
        for (int i = 0; i < entries; ++i) {
            auto v = [wide](uint16_t c) { return uint8_t(wide ? uint32_t(c) * 255 / 65535 : c); };
            pal[i] = RgbQuad{v(b[i]), v(g[i]), v(r[i]), 0};
        }
    } else {
        const bool minIsWhite = photometric == PHOTOMETRIC_MINISWHITE;
        const int step = 255 / (entries - 1);
        for (int i = 0; i < entries; ++i) {
            const uint8_t v = uint8_t(minIsWhite ? 255 - i * step : i * step);
            pal[i] = RgbQuad{v, v, v, 0};
        }
    }
    self.SetPalette(pal.get(), self.ColorsUsed());
}

// libtiff 4.5 refuses uncompressed tiles read through the procedures (its
// raw buffer is rounded up and then compared with the tile size); from a
// mapped file it reads them. Such pages are decoded again from memory.
struct NeedsMapping {};

bool DecodeFrom(VaZaviTIF& self, ImageStream& stream, bool allowRetry);

}  // namespace

bool VaZaviTIF::Decode(ImageStream& stream) {
    const int64_t start = stream.Tell();
    try {
        return DecodeFrom(*this, stream, stream.Kind() == 0);
    } catch (const NeedsMapping&) {
    }
    const int64_t size = stream.Size() - start;
    std::vector<uint8_t> bytes;
    if (start < 0 || size <= 0 || size > kMaxImageBytes * 2 || stream.Seek(start, 0) != 0) {
        SetLastError(kCorrupted);
        return false;
    }
    try {
        bytes.resize(size_t(size));
    } catch (const std::bad_alloc&) {
        SetLastError(kNoRaster);
        return false;
    }
    if (stream.Read(bytes.data(), 1, bytes.size()) != bytes.size()) {
        SetLastError(kCorrupted);
        return false;
    }
    ImageStream memory(bytes.data(), bytes.size());
    return DecodeFrom(*this, memory, false);
}

namespace {

bool DecodeFrom(VaZaviTIF& self, ImageStream& stream, bool allowRetry) {
    VaZaviInfo& info = self.info;
    Messages messages;
    TiffHandle handle;
    try {
        handle.tif = OpenOnStream(stream, "rb", messages);
        TIFF* tif = handle.tif;
        if (!tif) Fail(kOpenFailed, messages);

        // Pages: the library has read the first directory when opening.
        info.frameCount = 1;
        while (TIFFReadDirectory(tif)) ++info.frameCount;
        messages.firstError.clear();   // the end of the chain is not an error of this page
        if (info.frameIndex < 0 || info.frameIndex >= info.frameCount ||
            !TIFFSetDirectory(tif, tdir_t(info.frameIndex)))
            Fail(kNoPage, messages);

        uint16_t compression = 1, samples = 1, bits = 1, photometric = 0, orientation = 1, planar = 1;
        uint32_t width = 0, height = 0, rowsPerStrip = uint32_t(-1);
        float xRes = 0, yRes = 0, xPos = 0, yPos = 0;
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation);
        TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &planar);
        // Resolutions in pixels per centimetre become dots per inch as the
        // JPEG reader converts them; inch and no unit are taken as they are.
        uint16_t resUnit = RESUNIT_INCH;
        TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &resUnit);
        auto dpi = [resUnit](float v) {
            return resUnit == RESUNIT_CENTIMETER ? ClampToInt(std::floor(double(v) * 2.54 + 0.5), 1e6)
                                                 : ClampToInt(v, 1e6);
        };
        if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xRes)) self.SetXDpi(dpi(xRes));
        if (TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yRes)) self.SetYDpi(dpi(yRes));
        if (TIFFGetField(tif, TIFFTAG_XPOSITION, &xPos)) info.frameLeft = ClampToInt(xPos, 1e9);
        if (TIFFGetField(tif, TIFFTAG_YPOSITION, &yPos)) info.frameTop = ClampToInt(yPos, 1e9);
        if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) Fail(kCorrupted, messages);
        if (int64_t(width) * int64_t(height) > gDecodePixelBudget) ThrowCodecError("image too large");
        if (rowsPerStrip == 0 || rowsPerStrip > height) rowsPerStrip = height;

        // Layouts the strip path moves faithfully; everything else is
        // rendered by the library.
        const bool greyOrPalette = photometric == PHOTOMETRIC_MINISWHITE ||
                                   photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_PALETTE;
        const bool stripBits = bits == 1 || bits == 2 || bits == 4 || bits == 8 ||
                               (bits == 16 && photometric != PHOTOMETRIC_PALETTE);
        // Plain 8-bit RGB strips (also JPEG-compressed ones, which the library
        // hands over as RGB) need no rendering either.
        const bool rgb8 = photometric == PHOTOMETRIC_RGB && samples == 3 && bits == 8 &&
                          planar == PLANARCONFIG_CONTIG && compression != COMPRESSION_OJPEG && !TIFFIsTiled(tif);
        const bool byStrips = (greyOrPalette && samples == 1 && stripBits && !TIFFIsTiled(tif)) || rgb8;
        int bitCount = rgb8 ? 24 : byStrips ? (bits == 1 ? 1 : bits <= 4 ? 4 : 8) : 24;

        self.header.clrUsed = 0;
        info.transparentIndex = -1;
        if (!byStrips) {
            char emsg[1024] = "";
            if (!TIFFRGBAImageOK(tif, emsg)) {
                messages.firstError = emsg;
                Fail(kUnsupported, messages);
            }
            if (allowRetry && TIFFIsTiled(tif) && compression == COMPRESSION_NONE) throw NeedsMapping{};
        } else if (compression == COMPRESSION_NONE) {
            // Uncompressed rows must be in the file before we make room for them.
            const uint64_t need = (uint64_t(bits) * samples * width + 7) / 8 * height;
            if (int64_t(need) > stream.Size()) Fail(kCorrupted, messages);
        }
        // A strip or tile that starts beyond the end of the file cannot be
        // read: the page is corrupted, which is known before anything of the
        // page's size is made.
        if (const int64_t fileSize = stream.Size(); fileSize > 0) {
            const uint32_t striles = TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
            for (uint32_t k = 0; k < striles; ++k)
                if (TIFFGetStrileByteCount(tif, k) > 0 && TIFFGetStrileOffset(tif, k) >= uint64_t(fileSize))
                    Fail(kCorrupted, messages);
        }
        if (!self.CreateUnfilled(bitCount, int(width), int(height), kTypeTIFF)) ThrowCodecError(info.lastError);
        const int w = int(width), h = int(height);

        if (!byStrips) {
            TIFFRGBAImage img;
            char emsg[1024] = "";
            // Stop on error: a strip or tile that cannot be read fails the
            // page instead of leaving its rows blank.
            if (!TIFFRGBAImageBegin(&img, tif, 1, emsg)) {
                messages.firstError = emsg;
                Fail(kCorrupted, messages);
            }
            // Rows as stored, top first; the Orientation tag is applied below
            // for every page alike (the library alone would only flip).
            img.req_orientation = ORIENTATION_TOPLEFT;
            img.orientation = ORIENTATION_TOPLEFT;
            uint32_t unit = rowsPerStrip;
            if (TIFFIsTiled(tif)) {
                uint32_t tileLength = 0;
                TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
                unit = tileLength ? tileLength : height;
            }
            uint64_t band = std::max<uint64_t>(1, kBandBytes / (uint64_t(width) * 4 * unit)) * unit;
            band = std::min<uint64_t>(band, height);
            std::unique_ptr<uint32_t[]> raster(new (std::nothrow) uint32_t[size_t(band) * width]);
            if (!raster) {
                TIFFRGBAImageEnd(&img);
                Fail(kNoRaster, messages);
            }
            bool ok = true;
            for (uint32_t top = 0; ok && top < height; top += uint32_t(band)) {
                const uint32_t rows = uint32_t(std::min<uint64_t>(band, height - top));
                img.row_offset = int(top);
                img.col_offset = 0;
                ok = TIFFRGBAImageGet(&img, raster.get(), width, rows) != 0;
                for (uint32_t r = 0; ok && r < rows; ++r) {
                    const uint32_t* in = raster.get() + size_t(r) * width;
                    uint8_t* out = self.Row(h - 1 - int(top + r));
                    for (int x = 0; x < w; ++x, out += 3) {
                        const uint32_t p = in[x];
                        out[0] = uint8_t(TIFFGetB(p));
                        out[1] = uint8_t(TIFFGetG(p));
                        out[2] = uint8_t(TIFFGetR(p));
                    }
                    std::memset(out, 0, size_t(info.stride) - size_t(w) * 3);
                }
            }
            TIFFRGBAImageEnd(&img);
            if (!ok) Fail(kCorrupted, messages);
        } else {
            if (!rgb8) SetPagePalette(self, tif, photometric, bits, messages);

            RowConverter convert;
            convert.width = w;
            convert.bits = bits;
            convert.rgb = rgb8;
            convert.lineSize = (size_t(bits) * samples * size_t(w) + 7) / 8;
            convert.stride = size_t(info.stride);
            const uint64_t stripSize = uint64_t(TIFFStripSize64(tif));
            if (stripSize == 0) Fail(kCorrupted, messages);
            if (stripSize <= kMaxStripBuffer) {
                std::vector<uint8_t> strip(static_cast<size_t>(stripSize));
                for (uint32_t top = 0; top < height; top += rowsPerStrip) {
                    const uint32_t rows = std::min(rowsPerStrip, height - top);
                    const tmsize_t want = tmsize_t(convert.lineSize * rows);
                    if (TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, top, 0), strip.data(), want) < want)
                        Fail(kCorrupted, messages);
                    for (uint32_t k = 0; k < rows; ++k)
                        convert(strip.data() + size_t(k) * convert.lineSize, self.Row(h - 1 - int(top + k)));
                }
            } else {
                std::vector<uint8_t> line(size_t(TIFFScanlineSize64(tif)) + 8);
                if (uint64_t(TIFFScanlineSize64(tif)) < convert.lineSize) Fail(kCorrupted, messages);
                for (uint32_t v = 0; v < height; ++v) {
                    if (TIFFReadScanline(tif, line.data(), v, 0) < 0) Fail(kCorrupted, messages);
                    convert(line.data(), self.Row(h - 1 - int(v)));
                }
            }
        }
        ApplyOrientation(self, orientation);
        return true;
    } catch (const CodecError& e) {
        self.SetLastError(e.text);
        return false;
    }
}

}  // namespace

namespace {
bool IsBlack(const RgbQuad& q) { return q.red == 0 && q.green == 0 && q.blue == 0; }
bool IsWhite(const RgbQuad& q) { return q.red == 255 && q.green == 255 && q.blue == 255; }
// One entry black and the other white, in either order.
bool BlackAndWhite(const RgbQuad* pal) {
    return (IsBlack(pal[0]) && IsWhite(pal[1])) || (IsWhite(pal[0]) && IsBlack(pal[1]));
}
}  // namespace

bool VaZaviTIF::Encode(ImageStream& stream) {
    Messages messages;
    TiffHandle handle;
    try {
        if (stream.Kind() != 0 && stream.Kind() != 1) ThrowCodecError("invalid file pointer");
        if (!IsValid()) ThrowCodecError("no image to save");
        handle.tif = OpenOnStream(stream, "wb", messages);
        TIFF* tif = handle.tif;
        if (!tif) Fail("initialization fail", messages);

        const int w = Width(), h = Height(), bitCount = BitCount();
        const RgbQuad* pal = GetPalette();
        const bool direct = pal == nullptr;
        const uint16_t samples = direct ? 3 : 1;
        const uint16_t bits = direct ? 8 : uint16_t(bitCount);
        uint16_t photometric;
        if (direct) {
            photometric = PHOTOMETRIC_RGB;
        } else if (bitCount == 1 && BlackAndWhite(pal)) {
            auto lum = [](const RgbQuad& q) { return (59 * q.green + 30 * q.red + 11 * q.blue) / 100; };
            photometric = lum(pal[0]) < lum(pal[1]) ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_MINISWHITE;
        } else if (bitCount == 1) {
            // Two colours that are not black and white: only a palette page
            // keeps them.
            photometric = PHOTOMETRIC_PALETTE;
        } else {
            // Grey when the palette is the grey ramp of its depth (the
            // identity ramp for 8 bits, steps of 17 for 4 bits), as a reader
            // rebuilds it from the photometric tag.
            const int n = ColorsUsed(), step = 255 / (n - 1);
            bool ramp = true;
            for (int i = 0; i < n && ramp; ++i)
                ramp = pal[i].red == i * step && pal[i].green == i * step && pal[i].blue == i * step;
            photometric = ramp ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_PALETTE;
        }

        bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(w)) &&
                  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(h)) &&
                  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples) &&
                  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits) &&
                  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric) &&
                  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
                  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
                  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(1)) &&
                  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) &&
                  TIFFSetField(tif, TIFFTAG_SUBFILETYPE, uint32_t(0));
        // A resolution of 0 is invalid in the file; leave the tags out then.
        if (ok && info.xDpi > 0 && info.yDpi > 0)
            ok = TIFFSetField(tif, TIFFTAG_XRESOLUTION, float(info.xDpi)) &&
                 TIFFSetField(tif, TIFFTAG_YRESOLUTION, float(info.yDpi));
        if (ok && photometric == PHOTOMETRIC_PALETTE) {
            uint16_t r[256] = {}, g[256] = {}, b[256] = {};
            for (int i = 0; i < ColorsUsed() && i < 256; ++i) {
                r[i] = uint16_t(pal[i].red * 257);
                g[i] = uint16_t(pal[i].green * 257);
                b[i] = uint16_t(pal[i].blue * 257);
            }
            ok = TIFFSetField(tif, TIFFTAG_COLORMAP, r, g, b);
        }
        uint16_t compression = COMPRESSION_NONE;
        switch (bitCount) {
        // Fax coding is defined for black-and-white pages only.
        case 1: compression = photometric == PHOTOMETRIC_PALETTE ? COMPRESSION_PACKBITS : COMPRESSION_CCITTFAX3; break;
        case 8: compression = COMPRESSION_PACKBITS; break;
        case 4: compression = COMPRESSION_NONE; break;
        default: compression = COMPRESSION_JPEG; break;
        }
        if (ok) ok = TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
        if (!ok) Fail("Error saving TIFF file", messages);

        std::vector<uint8_t> work(size_t(info.stride) + 8);
        if (direct) {
            if (!TIFFSetField(tif, TIFFTAG_JPEGQUALITY, int(info.jpegQuality)) ||
                !TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(8)))
                Fail("Error saving TIFF file", messages);
            const int step = bitCount == 32 ? 4 : 3;
            for (int k = 0; k < h; ++k) {
                const uint8_t* in = Row(h - 1 - k);
                uint8_t* out = work.data();
                for (int x = 0; x < w; ++x, in += step, out += 3) {
                    out[0] = in[2];
                    out[1] = in[1];
                    out[2] = in[0];
                }
                if (TIFFWriteScanline(tif, work.data(), uint32_t(k), 0) < 0) Fail("Error saving TIFF file", messages);
            }
        } else {
            // The library may change the row it is given; ours stay untouched.
            for (int k = 0; k < h; ++k) {
                std::memcpy(work.data(), Row(h - 1 - k), size_t(info.stride));
                if (TIFFWriteScanline(tif, work.data(), uint32_t(k), 0) < 0) Fail("Error saving TIFF file", messages);
            }
        }
        if (!TIFFFlush(tif)) Fail("Error saving TIFF file", messages);
        TIFFClose(tif);
        handle.tif = nullptr;
        if (stream.Flush() != 0 || (stream.Kind() == 0 && stream.Error())) ThrowCodecError("Error saving TIFF file");
        return true;
    } catch (const CodecError& e) {
        SetLastError(e.text);
        return false;
    }
}
