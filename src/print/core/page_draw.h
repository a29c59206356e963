// One printed page: the picture at the place and size the view's printing
// rule gives, on white, drawn through cairo. The same function draws the
// page of the editor's printout (the printer's cairo context) and of a PDF
// written without windows (cairo's PDF surface).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

typedef struct _cairo cairo_t;

class VaZavi;
class CVexoDoc;

namespace printing {

// The picture to print: one 32-bit word per pixel, 0x00RRGGBB (cairo's
// RGB24), top row first; and its resolution in dots per inch.
struct PrintPicture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    int xDpi = 0, yDpi = 0;
    bool Empty() const { return width <= 0 || height <= 0; }
};

// Palette pictures expanded; the fourth byte of 32-bit pixels is ignored,
// as the flat savers ignore it.
PrintPicture PictureFromImage(const VaZavi& image);
// The document's composite of its visible layers (the colours a flat save
// writes) with the resolution of the document's image.
PrintPicture PictureFromDocument(const CVexoDoc& doc);

struct Placement {
    double x = 0, y = 0, width = 0, height = 0;
};

// The printing rule of the view, in printer dots: at (100, 100), width =
// printer dots per inch x picture width / picture resolution - 100 and the
// height likewise. A picture without a resolution prints at 72 dots per
// inch; one that would end up 100 dots or less keeps its whole size.
Placement PlaceOnPage(const PrintPicture& picture, double printerDpiX, double printerDpiY);

// Fills the page (its size in printer dots) with white and draws the
// picture at its placement; the context's user units must be printer dots.
void DrawPage(cairo_t* cr, double pageWidth, double pageHeight, const PrintPicture& picture, double printerDpiX,
              double printerDpiY);

// The resolution of the printer a PDF page is laid out for.
inline constexpr double kPdfPrinterDpi = 300;

// A one-page PDF of the paper's size (printing::Papers() index; landscape
// swaps its sides), laid out for a kPdfPrinterDpi printer. The file is
// replaced only when the whole page was written; false with the reason.
bool WritePdf(const std::string& path, const PrintPicture& picture, int paper, bool landscape, std::string& error);

}  // namespace printing
