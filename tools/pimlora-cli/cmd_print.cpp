// Printing and thumbnails without windows: print, thumbnail.
#include <cairo.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "CVexoDoc.h"
#include "VaZavi.h"
#include "cli.h"
#include "page_draw.h"
#include "print_model.h"
#include "thumbnail.h"

namespace {

// The page the editor prints, as a PDF: the document's composite at the
// resolution given (or the picture's own), placed by the view's printing
// rule for a 300-dpi printer on the paper chosen.
int Print(const cli::Args& args) {
    std::vector<std::string> files;
    int dpi = 0, paper = 0;
    bool landscape = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--dpi") {
            if (i + 1 >= args.size() || !cli::ParseInt(args[i + 1], dpi) || dpi < 1 || dpi > 100000)
                return cli::Usage("--dpi takes a resolution from 1 to 100000");
            ++i;
        } else if (a == "--paper") {
            if (i + 1 >= args.size() || (paper = printing::FindPaper(args[i + 1])) < 0)
                return cli::Usage("--paper takes A4, B5, D3, D4 or D5");
            ++i;
        } else if (a == "--landscape") {
            landscape = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return cli::Usage("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) return cli::Usage("print takes IN and OUT.pdf");
    HeadlessHost host;
    CVexoDoc doc(&host);
    if (!doc.Open(files[0]))
        return cli::Fail(files[0], doc.lastError.empty() ? "cannot be opened as a document" : doc.lastError);
    printing::PrintPicture picture = printing::PictureFromDocument(doc);
    if (picture.Empty()) return cli::Fail(files[0], "the document has no picture to print");
    if (dpi > 0) picture.xDpi = picture.yDpi = dpi;
    std::string error;
    if (!printing::WritePdf(files[1], picture, paper, landscape, error)) return cli::Fail(files[1], error);
    return cli::kOk;
}

// PNG through cairo (the codecs have no PNG writer): file managers ask
// thumbnailers for PNG.
// `p` is a 24-bit picture.
bool WritePng(const VaZavi& p, const std::string& path, std::string& error) {
    const int width = p.Width(), height = p.Height();
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        error = "can't allocate memory";
        cairo_surface_destroy(s);
        return false;
    }
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + size_t(y) * size_t(stride));
        const uint8_t* in = p.Row(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const uint8_t* q = in + 3 * x;
            row[x] = uint32_t(q[0]) | uint32_t(q[1]) << 8 | uint32_t(q[2]) << 16;
        }
    }
    cairo_surface_mark_dirty(s);
    // Written beside the target and renamed over it when complete.
    const std::string temp = path + ".part";
    const cairo_status_t st = cairo_surface_write_to_png(s, temp.c_str());
    cairo_surface_destroy(s);
    if (st != CAIRO_STATUS_SUCCESS || std::rename(temp.c_str(), path.c_str()) != 0) {
        error = st != CAIRO_STATUS_SUCCESS ? cairo_status_to_string(st) : std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

// The image browser's thumbnail of a file: the 100 x 90 cell; or, with a
// SIZE, the picture made to fit SIZE x SIZE (never enlarged), as file
// managers ask of a thumbnailer. Saved by the output's extension; PNG for
// ".png" and for names without a writer of their own.
int Thumbnail(const cli::Args& args) {
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a.size() > 1 && a[0] == '-') return cli::Usage("unknown option " + a);
        files.push_back(a);
    }
    if (files.size() != 2 && files.size() != 3) return cli::Usage("thumbnail takes IN, OUT and an optional SIZE");
    int size = 0;
    if (files.size() == 3 && (!cli::ParseInt(files[2], size) || size < 1 || size > 4096))
        return cli::Usage("SIZE takes 1 to 4096");
    std::string error;
    std::unique_ptr<VaZavi> out;
    if (size == 0) {
        VaZavi source(kTypeBMP);
        int w = 0, h = 0;
        if (!browser::LoadPictureSource(files[0], 2 * browser::kCellWidth, 2 * browser::kCellHeight, source, w, h,
                                        &error))
            return cli::Fail(files[0], error.empty() ? "not a picture this program can read" : error);
        const browser::Picture24 cell = browser::MakeThumbnail(source, w, h);
        out = std::make_unique<VaZavi>(24, cell.width, cell.height, kTypeBMP);
        for (int y = 0; y < cell.height; ++y)
            std::memcpy(out->Row(cell.height - 1 - y), cell.At(0, y), size_t(cell.width) * 3);
    } else {
        browser::ThumbnailResult t = browser::MakeThumbnail(files[0], size, size);
        if (!t) return cli::Fail(files[0], t.error);
        out = std::move(t.picture);
    }
    const int type = cli::TypeFromExtension(files[1]);
    if (type < 0 || type == kTypePCX || type >= kTypeVOR) {
        if (!WritePng(*out, files[1], error)) return cli::Fail(files[1], error);
        return cli::kOk;
    }
    if (!out->Save(files[1].c_str(), type))
        return cli::Fail(files[1], out->LastError()[0] ? out->LastError() : "could not be saved");
    return cli::kOk;
}

const cli::Registrar kPrint({"print",
                             "  pimlora-cli print IN OUT.pdf [--dpi N] [--paper A4|B5|D3|D4|D5] [--landscape]\n"
                             "      the printed page as PDF (picture at N dots per inch; 300-dpi page)\n",
                             60, Print});
const cli::Registrar kThumbnail({"thumbnail",
                                 "  pimlora-cli thumbnail IN OUT [SIZE]\n"
                                 "      the image browser's 100 x 90 thumbnail of IN, or IN fitted into\n"
                                 "      SIZE x SIZE; PNG unless OUT names a BMP, JPEG, GIF or TIFF\n",
                                 61, Thumbnail});

}  // namespace
