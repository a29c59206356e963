// JPEG reader and writer over the image stream, through libjpeg's 6b
// interface (libjpeg-turbo as the system ships it).
//
// The library reads and writes through our own source and destination
// managers, 4096 bytes at a time. Its fatal errors leave through the error
// manager with a longjmp back to the entry point (the formatted library text
// goes to lastError); its warnings are counted and never printed.
//
// Reading: greyscale files become 8-bit images with the grey ramp, colour
// files 24-bit images (the library writes blue, green, red straight into our
// bottom-up rows), four-component files (CMYK, YCCK) 24-bit images converted
// with the inverted-CMYK convention of Adobe files. A file cut short after its
// header still decodes: the missing tail reads as an end-of-image marker.
//
// Writing: progressive JPEG without chroma subsampling, quality jpegQuality
// (the library limits it to 1..100), density in dots per inch. 8-bit images
// with the identity grey ramp give a one-component file; other palette
// images are refused; 32-bit images are written from their blue, green and
// red bytes (the fourth byte is dropped).
#include <cstdio>
#include <cstring>
#include <csetjmp>

#include <jpeglib.h>
#include <jerror.h>

#include "ImageStream.h"
#include "codecs.h"
#include "decode_limits.h"

namespace {

constexpr size_t kBufferSize = 4096;
// Working memory the library may take for whole-image buffers (progressive
// files keep every coefficient of the picture).
constexpr long kLibraryMemoryLimit = 1L << 30;
// Real progressive files have a few dozen scans; thousands mean a hostile file.
constexpr int kMaxScans = 1000;
constexpr const char* kPaletteRefused = "JPEG 는 RGB 혹은 그레이스케일 이미지만 저장할 수 있음";

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char (*lastError)[256];
};

void ErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    char text[JMSG_LENGTH_MAX];
    cinfo->err->format_message(cinfo, text);
    CopyErrorText(*err->lastError, text);
    std::longjmp(err->jump, 1);
}

void SilentOutput(j_common_ptr) {}

void InstallErrorManager(ErrorManager& err, char (&lastError)[256]) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.output_message = SilentOutput;
    err.lastError = &lastError;
}

// --- source manager ------------------------------------------------------------

struct Source {
    jpeg_source_mgr pub;
    ImageStream* stream;
    bool startOfFile;
    JOCTET buffer[kBufferSize];
};

void InitSource(j_decompress_ptr cinfo) { reinterpret_cast<Source*>(cinfo->src)->startOfFile = true; }

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<Source*>(cinfo->src);
    size_t n = src->stream->Read(src->buffer, 1, kBufferSize);
    if (n == 0) {
        if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // Cut short: an end-of-image marker lets the library finish the
        // picture with what it has.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        n = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = n;
    src->startOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    auto* src = reinterpret_cast<Source*>(cinfo->src);
    if (count <= 0) return;
    while (count > long(src->pub.bytes_in_buffer)) {
        count -= long(src->pub.bytes_in_buffer);
        FillInputBuffer(cinfo);
    }
    src->pub.next_input_byte += count;
    src->pub.bytes_in_buffer -= size_t(count);
}

void TermSource(j_decompress_ptr) {}

void AttachSource(j_decompress_ptr cinfo, ImageStream& stream) {
    auto* src = static_cast<Source*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(Source)));
    src->pub.init_source = InitSource;
    src->pub.fill_input_buffer = FillInputBuffer;
    src->pub.skip_input_data = SkipInputData;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = TermSource;
    src->pub.bytes_in_buffer = 0;
    src->pub.next_input_byte = nullptr;
    src->stream = &stream;
    src->startOfFile = true;
    cinfo->src = &src->pub;
}

// Stops files that pile up scans: each scan may revisit the whole picture.
void ScanLimit(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number <= kMaxScans) return;
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    CopyErrorText(*err->lastError, "too many scans in JPEG file");
    std::longjmp(err->jump, 1);
}

// --- destination manager --------------------------------------------------------

struct Destination {
    jpeg_destination_mgr pub;
    ImageStream* stream;
    JOCTET buffer[kBufferSize];
};

void InitDestination(j_compress_ptr cinfo) {
    auto* dst = reinterpret_cast<Destination*>(cinfo->dest);
    dst->pub.next_output_byte = dst->buffer;
    dst->pub.free_in_buffer = kBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    auto* dst = reinterpret_cast<Destination*>(cinfo->dest);
    if (dst->stream->Write(dst->buffer, 1, kBufferSize) != kBufferSize) ERREXIT(cinfo, JERR_FILE_WRITE);
    dst->pub.next_output_byte = dst->buffer;
    dst->pub.free_in_buffer = kBufferSize;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    auto* dst = reinterpret_cast<Destination*>(cinfo->dest);
    size_t n = kBufferSize - dst->pub.free_in_buffer;
    if (n && dst->stream->Write(dst->buffer, 1, n) != n) ERREXIT(cinfo, JERR_FILE_WRITE);
    // A memory stream has no error state of its own (its Error() only says
    // "at the end", which is where a writer always is).
    if (dst->stream->Flush() != 0 || (dst->stream->Kind() == 0 && dst->stream->Error()))
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

void AttachDestination(j_compress_ptr cinfo, ImageStream& stream) {
    auto* dst = static_cast<Destination*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(Destination)));
    dst->pub.init_destination = InitDestination;
    dst->pub.empty_output_buffer = EmptyOutputBuffer;
    dst->pub.term_destination = TermDestination;
    dst->stream = &stream;
    cinfo->dest = &dst->pub;
}

constexpr int kRowBatch = 16;

}  // namespace

// The library's fatal errors longjmp back here; between setjmp and the jump
// this function keeps no object with a destructor, and all buffers come from
// the library's pools, released by jpeg_destroy_decompress.
bool VaZaviJPG::Decode(ImageStream& stream) {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress;
    cinfo.err = nullptr;
    InstallErrorManager(err, info.lastError);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_CreateDecompress(&cinfo, JPEG_LIB_VERSION, sizeof(cinfo));
    cinfo.mem->max_memory_to_use = kLibraryMemoryLimit;
    progress.progress_monitor = ScanLimit;
    cinfo.progress = &progress;
    AttachSource(&cinfo, stream);
    jpeg_read_header(&cinfo, TRUE);

    int bitCount;
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo.out_color_space = JCS_GRAYSCALE;
        bitCount = 8;
        break;
    case JCS_YCbCr:
    case JCS_RGB:
        cinfo.out_color_space = JCS_EXT_BGR;
        bitCount = 24;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo.out_color_space = JCS_CMYK;
        bitCount = 24;
        break;
    default:
        // Two components, five or more: no picture can be made of them.
        ERREXIT(&cinfo, JERR_CONVERSION_NOTIMPL);
        return false;
    }
    jpeg_calc_output_dimensions(&cinfo);
    const int w = int(cinfo.output_width), h = int(cinfo.output_height);
    if (int64_t(w) * h > gDecodePixelBudget) {
        SetLastError("image too large");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (!CreateUnfilled(bitCount, w, h, kTypeJPEG)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }

    // Resolution: dots per inch, dots per centimetre, or an aspect ratio
    // applied to the default horizontal resolution.
    switch (cinfo.density_unit) {
    case 1:
        SetXDpi(cinfo.X_density);
        SetYDpi(cinfo.Y_density);
        break;
    case 2:
        SetXDpi(int(cinfo.X_density * 2.54 + 0.5));
        SetYDpi(int(cinfo.Y_density * 2.54 + 0.5));
        break;
    case 0:
        if (cinfo.X_density && cinfo.Y_density)
            SetYDpi(int(double(cinfo.Y_density) / double(cinfo.X_density) * info.xDpi));
        break;
    default: break;
    }
    if (bitCount == 8) SetGrayPalette();

    jpeg_start_decompress(&cinfo);
    const size_t rowBytes = size_t(w) * (bitCount / 8);
    const size_t stride = size_t(info.stride);
    JSAMPROW rows[kRowBatch];
    if (cinfo.out_color_space == JCS_CMYK) {
        JSAMPARRAY buffer = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                      JDIMENSION(w) * 4, 1);
        while (cinfo.output_scanline < cinfo.output_height) {
            uint8_t* out = Row(h - 1 - int(cinfo.output_scanline));
            if (jpeg_read_scanlines(&cinfo, buffer, 1) != 1) break;
            const uint8_t* in = buffer[0];
            for (int x = 0; x < w; ++x, in += 4, out += 3) {
                const unsigned k = in[3];
                out[0] = uint8_t(in[2] * k / 255);
                out[1] = uint8_t(in[1] * k / 255);
                out[2] = uint8_t(in[0] * k / 255);
            }
        }
    } else {
        while (cinfo.output_scanline < cinfo.output_height) {
            int n = 0;
            for (JDIMENSION k = cinfo.output_scanline; n < kRowBatch && k < cinfo.output_height; ++k, ++n)
                rows[n] = Row(h - 1 - int(k));
            if (jpeg_read_scanlines(&cinfo, rows, JDIMENSION(n)) == 0) break;
        }
    }
    // Rows the library did not reach (it cannot stop early on its own, but
    // keep every byte defined) and the padding at the end of each row.
    for (int k = int(cinfo.output_scanline); k < h; ++k) std::memset(Row(h - 1 - k), 128, stride);
    if (stride > rowBytes)
        for (int r = 0; r < h; ++r) std::memset(Row(r) + rowBytes, 0, stride - rowBytes);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool VaZaviJPG::Encode(ImageStream& stream) {
    if (!IsValid()) {
        SetLastError("no image to save");
        return false;
    }
    const int bitCount = BitCount();
    if (GetPalette() && (bitCount != 8 || !IsGrayScale())) {
        // 1- and 4-bit images pass the identity-ramp test with their 2 or 16
        // entries but hold packed indices, so they are refused too.
        SetLastError(kPaletteRefused);
        return false;
    }
    jpeg_compress_struct cinfo;
    ErrorManager err;
    InstallErrorManager(err, info.lastError);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_CreateCompress(&cinfo, JPEG_LIB_VERSION, sizeof(cinfo));
    AttachDestination(&cinfo, stream);
    cinfo.image_width = JDIMENSION(Width());
    cinfo.image_height = JDIMENSION(Height());
    if (bitCount == 8) {
        cinfo.input_components = 1;
        cinfo.in_color_space = JCS_GRAYSCALE;
    } else if (bitCount == 32) {
        cinfo.input_components = 4;
        cinfo.in_color_space = JCS_EXT_BGRX;
    } else {
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_EXT_BGR;
    }
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, info.jpegQuality, TRUE);
    jpeg_simple_progression(&cinfo);
    for (int i = 0; i < cinfo.num_components && i < 3; ++i) {
        cinfo.comp_info[i].h_samp_factor = 1;
        cinfo.comp_info[i].v_samp_factor = 1;
    }
    // Density in dots per inch; without a usable resolution only the
    // square-pixel aspect ratio is written (a zero density is invalid JFIF).
    if (info.xDpi > 0 && info.yDpi > 0) {
        cinfo.density_unit = 1;
        cinfo.X_density = UINT16(info.xDpi > 65535 ? 65535 : info.xDpi);
        cinfo.Y_density = UINT16(info.yDpi > 65535 ? 65535 : info.yDpi);
    } else {
        cinfo.density_unit = 0;
        cinfo.X_density = 1;
        cinfo.Y_density = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    // The library only reads the rows it is given, so it takes ours directly.
    const int h = Height();
    JSAMPROW rows[kRowBatch];
    while (cinfo.next_scanline < cinfo.image_height) {
        int n = 0;
        for (JDIMENSION k = cinfo.next_scanline; n < kRowBatch && k < cinfo.image_height; ++k, ++n)
            rows[n] = Row(h - 1 - int(k));
        jpeg_write_scanlines(&cinfo, rows, JDIMENSION(n));
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

// --- header probe and reduced decoding ---------------------------------------------

#include "image_probe.h"
#include "jpeg_eighth.h"
#include "reduced_decode.h"

namespace {

// The file's scan as the decoder at one eighth takes it, when it is one it
// takes: one interleaved sequential Huffman scan of 8-bit grey or YCbCr.
bool EighthScan(const jpeg_decompress_struct& cinfo, JpegEighthTable (&tables)[6], JpegEighthScan& scan) {
    const bool grey = cinfo.num_components == 1 && cinfo.jpeg_color_space == JCS_GRAYSCALE &&
                      cinfo.out_color_space == JCS_GRAYSCALE;
    const bool ycc = cinfo.num_components == 3 && cinfo.jpeg_color_space == JCS_YCbCr &&
                     cinfo.out_color_space == JCS_EXT_BGR;
    if ((!grey && !ycc) || cinfo.progressive_mode || cinfo.arith_code || cinfo.data_precision != 8 ||
        cinfo.comps_in_scan != cinfo.num_components || cinfo.Ss != 0 || cinfo.Se != 63 || cinfo.Ah != 0 ||
        cinfo.Al != 0 || cinfo.CCIR601_sampling || !cinfo.src || !cinfo.src->next_input_byte)
        return false;
    scan.width = int(cinfo.image_width);
    scan.height = int(cinfo.image_height);
    scan.components = cinfo.num_components;
    scan.restartInterval = int(cinfo.restart_interval);
    for (int i = 0; i < cinfo.comps_in_scan; ++i) {
        const jpeg_component_info* k = cinfo.cur_comp_info[i];
        const int c = k->component_index;
        if (c < 0 || c >= scan.components || k->quant_tbl_no < 0 || k->quant_tbl_no >= NUM_QUANT_TBLS ||
            k->dc_tbl_no < 0 || k->dc_tbl_no >= NUM_HUFF_TBLS || k->ac_tbl_no < 0 || k->ac_tbl_no >= NUM_HUFF_TBLS)
            return false;
        const JQUANT_TBL* q = cinfo.quant_tbl_ptrs[k->quant_tbl_no];
        const JHUFF_TBL* dc = cinfo.dc_huff_tbl_ptrs[k->dc_tbl_no];
        const JHUFF_TBL* ac = cinfo.ac_huff_tbl_ptrs[k->ac_tbl_no];
        if (!q || !dc || !ac) return false;   // the library's defaults or its error
        JpegEighthComponent& out = scan.comp[c];
        out.h = k->h_samp_factor;
        out.v = k->v_samp_factor;
        out.quant = q->quantval;
        std::memcpy(tables[2 * i].bits, dc->bits, 17);
        std::memcpy(tables[2 * i].values, dc->huffval, 256);
        std::memcpy(tables[2 * i + 1].bits, ac->bits, 17);
        std::memcpy(tables[2 * i + 1].values, ac->huffval, 256);
        out.dc = &tables[2 * i];
        out.ac = &tables[2 * i + 1];
        scan.scanOrder[i] = c;
    }
    scan.data = cinfo.src->next_input_byte;
    scan.size = cinfo.src->bytes_in_buffer;
    return true;
}

// The resolution the reader gives a picture with these density fields.
void JpegDensity(const jpeg_decompress_struct& cinfo, VaZavi& img) {
    switch (cinfo.density_unit) {
    case 1:
        img.SetXDpi(cinfo.X_density);
        img.SetYDpi(cinfo.Y_density);
        break;
    case 2:
        img.SetXDpi(int(cinfo.X_density * 2.54 + 0.5));
        img.SetYDpi(int(cinfo.Y_density * 2.54 + 0.5));
        break;
    case 0:
        if (cinfo.X_density && cinfo.Y_density)
            img.SetYDpi(int(double(cinfo.Y_density) / double(cinfo.X_density) * img.info.xDpi));
        break;
    default: break;
    }
}

// Output colour space and bit count of the reader for a file's colour
// space; false for the layouts it refuses.
bool JpegOutput(jpeg_decompress_struct& cinfo, int& bitCount) {
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo.out_color_space = JCS_GRAYSCALE;
        bitCount = 8;
        return true;
    case JCS_YCbCr:
    case JCS_RGB:
        cinfo.out_color_space = JCS_EXT_BGR;
        bitCount = 24;
        return true;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo.out_color_space = JCS_CMYK;
        bitCount = 24;
        return true;
    default: return false;
    }
}

}  // namespace

// Reads the markers up to the first scan (the library stops there) and
// nothing of the entropy-coded data.
bool ProbeJpeg(ImageStream& stream, ImageProbe& probe) {
    probe = ImageProbe{};
    probe.type = kTypeJPEG;
    VaZavi result(kTypeJPEG);   // the defaults the reader starts from
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    InstallErrorManager(err, result.info.lastError);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        probe.error = result.LastError();
        return false;
    }
    jpeg_CreateDecompress(&cinfo, JPEG_LIB_VERSION, sizeof(cinfo));
    cinfo.mem->max_memory_to_use = kLibraryMemoryLimit;
    AttachSource(&cinfo, stream);
    jpeg_read_header(&cinfo, TRUE);
    int bitCount = 0;
    if (!JpegOutput(cinfo, bitCount)) ERREXIT(&cinfo, JERR_CONVERSION_NOTIMPL);
    jpeg_calc_output_dimensions(&cinfo);
    const int w = int(cinfo.output_width), h = int(cinfo.output_height);
    const int64_t stride = ((int64_t(w) * bitCount + 31) / 32) * 4;
    if (int64_t(w) * h > gDecodePixelBudget || int64_t(w) * h > kMaxImagePixels || stride * h > kMaxImageBytes) {
        jpeg_destroy_decompress(&cinfo);
        probe.error = "image too large";
        return false;
    }
    if (w <= 0 || h <= 0) {
        jpeg_destroy_decompress(&cinfo);
        probe.error = "image has no pixels";
        return false;
    }
    JpegDensity(cinfo, result);
    jpeg_destroy_decompress(&cinfo);
    probe.width = w;
    probe.height = h;
    probe.bits = bitCount;
    probe.colors = bitCount == 8 ? 256 : 0;
    probe.xDpi = result.info.xDpi;
    probe.yDpi = result.info.yDpi;
    return true;
}

bool DecodeJpegReduced(ImageStream& stream, int minWidth, int minHeight, VaZavi& out, ReducedInfo* fullSize,
                       bool eighthDecoder) {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    InstallErrorManager(err, out.info.lastError);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        out.Destroy();
        return false;
    }
    jpeg_CreateDecompress(&cinfo, JPEG_LIB_VERSION, sizeof(cinfo));
    cinfo.mem->max_memory_to_use = kLibraryMemoryLimit;
    jpeg_progress_mgr progress;
    progress.progress_monitor = ScanLimit;
    cinfo.progress = &progress;
    // A picture already in memory is read in place: the library's fast
    // entropy decoding then never runs out of buffered bytes.
    const int64_t at = stream.Tell();
    const bool inMemory = stream.Kind() == 1 && stream.Data() && at >= 0 && stream.Size() > at;
    if (inMemory)
        jpeg_mem_src(&cinfo, stream.Data() + at, static_cast<unsigned long>(stream.Size() - at));
    else
        AttachSource(&cinfo, stream);
    jpeg_read_header(&cinfo, TRUE);
    int bitCount = 0;
    if (!JpegOutput(cinfo, bitCount)) ERREXIT(&cinfo, JERR_CONVERSION_NOTIMPL);
    const int64_t fullW = cinfo.image_width, fullH = cinfo.image_height;
    if (fullW * fullH > gDecodePixelBudget || fullW * fullH > kMaxImagePixels) {
        out.SetLastError("image too large");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    // The smallest scale M/8 whose output still covers the wanted size
    // (rounded up, as the library rounds).
    int num = 8;
    for (int m = 1; m < 8; ++m) {
        const int64_t sw = (fullW * m + 7) / 8, sh = (fullH * m + 7) / 8;
        if (sw >= minWidth && sh >= minHeight) {
            num = m;
            break;
        }
    }
    cinfo.scale_num = unsigned(num);
    cinfo.scale_denom = 8;
    // A picture to be made smaller: the fast transforms are good enough.
    if (num < 8) {
        cinfo.dct_method = JDCT_IFAST;
        cinfo.do_fancy_upsampling = FALSE;
    }
    jpeg_calc_output_dimensions(&cinfo);
    const int w = int(cinfo.output_width), h = int(cinfo.output_height);
    if (!out.CreateUnfilled(bitCount, w, h, kTypeJPEG)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    JpegDensity(cinfo, out);
    if (bitCount == 8) out.SetGrayPalette();
    if (fullSize) {
        fullSize->width = int(fullW);
        fullSize->height = int(fullH);
        fullSize->xDpi = out.info.xDpi;
        fullSize->yDpi = out.info.yDpi;
    }
    const size_t rowBytes = size_t(w) * (bitCount / 8);
    const size_t stride = size_t(out.info.stride);
    // At one eighth most files need only the DC coefficients: the decoder
    // that skips the rest gives the library's pixels in a fraction of its
    // time, and leaves whatever it does not take to the library.
    if (eighthDecoder && inMemory && num == 1) {
        JpegEighthTable tables[6];
        JpegEighthScan scan;
        if (EighthScan(cinfo, tables, scan) && JpegEighthSize(scan.width) == w && JpegEighthSize(scan.height) == h &&
            DecodeJpegEighth(scan, out.Row(h - 1), -ptrdiff_t(stride))) {
            if (stride > rowBytes)
                for (int r = 0; r < h; ++r) std::memset(out.Row(r) + rowBytes, 0, stride - rowBytes);
            if (fullSize) fullSize->eighthDecoder = true;
            jpeg_destroy_decompress(&cinfo);
            return true;
        }
    }
    jpeg_start_decompress(&cinfo);
    if (cinfo.out_color_space == JCS_CMYK) {
        JSAMPARRAY buffer = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                      JDIMENSION(w) * 4, 1);
        while (cinfo.output_scanline < cinfo.output_height) {
            uint8_t* o = out.Row(h - 1 - int(cinfo.output_scanline));
            if (jpeg_read_scanlines(&cinfo, buffer, 1) != 1) break;
            const uint8_t* in = buffer[0];
            for (int x = 0; x < w; ++x, in += 4, o += 3) {
                const unsigned k = in[3];
                o[0] = uint8_t(in[2] * k / 255);
                o[1] = uint8_t(in[1] * k / 255);
                o[2] = uint8_t(in[0] * k / 255);
            }
        }
    } else {
        JSAMPROW rows[kRowBatch];
        while (cinfo.output_scanline < cinfo.output_height) {
            int n = 0;
            for (JDIMENSION k = cinfo.output_scanline; n < kRowBatch && k < cinfo.output_height; ++k, ++n)
                rows[n] = out.Row(h - 1 - int(k));
            if (jpeg_read_scanlines(&cinfo, rows, JDIMENSION(n)) == 0) break;
        }
    }
    for (int k = int(cinfo.output_scanline); k < h; ++k) std::memset(out.Row(h - 1 - k), 128, stride);
    if (stride > rowBytes)
        for (int r = 0; r < h; ++r) std::memset(out.Row(r) + rowBytes, 0, stride - rowBytes);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}
