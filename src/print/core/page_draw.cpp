#include "page_draw.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <algorithm>
#include <cstdio>

#include "CVexoDoc.h"
#include "VaZavi.h"
#include "print_model.h"
#include "safe_file.h"

namespace printing {

PrintPicture PictureFromImage(const VaZavi& img) {
    PrintPicture p;
    if (!img.IsValid()) return p;
    p.width = img.Width();
    p.height = img.Height();
    p.xDpi = img.info.xDpi;
    p.yDpi = img.info.yDpi;
    p.pixels.resize(size_t(p.width) * size_t(p.height));
    for (int y = 0; y < p.height; ++y) {
        const int stored = p.height - 1 - y;
        const uint8_t* row = img.Row(stored);
        uint32_t* out = p.pixels.data() + size_t(y) * size_t(p.width);
        for (int x = 0; x < p.width; ++x) {
            uint32_t c;
            if (img.BitCount() == 24)
                c = uint32_t(row[3 * x]) | uint32_t(row[3 * x + 1]) << 8 | uint32_t(row[3 * x + 2]) << 16;
            else if (img.BitCount() == 32)
                c = uint32_t(row[4 * x]) | uint32_t(row[4 * x + 1]) << 8 | uint32_t(row[4 * x + 2]) << 16;
            else
                c = img.GetPixelColor(x, stored) & 0xFFFFFF;
            out[x] = c;
        }
    }
    return p;
}

PrintPicture PictureFromDocument(const CVexoDoc& doc) {
    PrintPicture p;
    const int w = doc.live.canvas.width, h = doc.live.canvas.height;
    if (w <= 0 || h <= 0 || !IsValidLayer(doc.headLayer)) return p;
    std::vector<uint8_t> bgra(size_t(w) * size_t(h) * 4, 0);
    doc.CompositeRun(doc.headLayer, -1, bgra.data());
    p.width = w;
    p.height = h;
    p.xDpi = doc.image.info.xDpi;
    p.yDpi = doc.image.info.yDpi;
    p.pixels.resize(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = bgra.data() + size_t(h - 1 - y) * size_t(w) * 4;   // bottom-up rows
        uint32_t* out = p.pixels.data() + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x)
            out[x] = uint32_t(row[4 * x]) | uint32_t(row[4 * x + 1]) << 8 | uint32_t(row[4 * x + 2]) << 16;
    }
    return p;
}

Placement PlaceOnPage(const PrintPicture& pic, double printerDpiX, double printerDpiY) {
    const int xDpi = pic.xDpi > 0 ? pic.xDpi : kDefaultDpi;
    const int yDpi = pic.yDpi > 0 ? pic.yDpi : kDefaultDpi;
    Placement p;
    p.x = 100;
    p.y = 100;
    const double w = printerDpiX * pic.width / xDpi, h = printerDpiY * pic.height / yDpi;
    p.width = w > 100 ? w - 100 : w;
    p.height = h > 100 ? h - 100 : h;
    return p;
}

void DrawPage(cairo_t* cr, double pageWidth, double pageHeight, const PrintPicture& pic, double printerDpiX,
              double printerDpiY) {
    cairo_save(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_rectangle(cr, 0, 0, pageWidth, pageHeight);
    cairo_fill(cr);
    if (!pic.Empty() && pic.pixels.size() == size_t(pic.width) * size_t(pic.height)) {
        const Placement at = PlaceOnPage(pic, printerDpiX, printerDpiY);
        cairo_surface_t* image = cairo_image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(pic.pixels.data())), CAIRO_FORMAT_RGB24, pic.width,
            pic.height, pic.width * 4);
        if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS && at.width > 0 && at.height > 0) {
            cairo_rectangle(cr, at.x, at.y, at.width, at.height);
            cairo_clip(cr);
            cairo_translate(cr, at.x, at.y);
            cairo_scale(cr, at.width / pic.width, at.height / pic.height);
            cairo_set_source_surface(cr, image, 0, 0);
            cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
            // Edge pixels repeat instead of fading into the white around.
            cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
            cairo_paint(cr);
        }
        cairo_surface_destroy(image);
    }
    cairo_restore(cr);
}

namespace {
cairo_status_t WriteToFile(void* closure, const unsigned char* data, unsigned int length) {
    FILE* f = static_cast<FILE*>(closure);
    return std::fwrite(data, 1, length, f) == length ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}
}  // namespace

bool WritePdf(const std::string& path, const PrintPicture& picture, int paper, bool landscape, std::string& error) {
    const auto& papers = Papers();
    if (paper < 0 || paper >= int(papers.size())) paper = 0;
    double wMm = papers[size_t(paper)].widthMm, hMm = papers[size_t(paper)].heightMm;
    if (landscape) std::swap(wMm, hMm);
    const double wPt = wMm / 25.4 * 72, hPt = hMm / 25.4 * 72;
    SafeFileWriter out(path);
    if (!out.Ok()) {
        error = "can't create file: " + out.Error();
        return false;
    }
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(WriteToFile, out.File(), wPt, hPt);
    cairo_t* cr = cairo_create(surface);
    const double dots = kPdfPrinterDpi / 72.0;
    cairo_scale(cr, 1 / dots, 1 / dots);
    DrawPage(cr, wPt * dots, hPt * dots, picture, kPdfPrinterDpi, kPdfPrinterDpi);
    cairo_show_page(cr);
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = std::string("could not write the page: ") + cairo_status_to_string(status);
        return false;
    }
    if (!out.Commit()) {
        error = "write error: " + out.Error();
        return false;
    }
    return true;
}

}  // namespace printing
