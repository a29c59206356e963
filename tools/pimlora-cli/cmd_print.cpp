// Printing and thumbnails without windows: print, thumbnail.
#include <cstdio>
#include <cstring>
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

// The image browser's thumbnail of a file: the 100 x 90 cell, saved by the
// output's extension.
int Thumbnail(const cli::Args& args) {
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a.size() > 1 && a[0] == '-') return cli::Usage("unknown option " + a);
        files.push_back(a);
    }
    if (files.size() != 2) return cli::Usage("thumbnail takes IN and OUT");
    VaZavi source(kTypeBMP);
    int w = 0, h = 0;
    std::string error;
    if (!browser::LoadPictureSource(files[0], 2 * browser::kCellWidth, 2 * browser::kCellHeight, source, w, h, &error))
        return cli::Fail(files[0], error.empty() ? "not a picture this program can read" : error);
    const browser::Picture24 cell = browser::MakeThumbnail(source, w, h);
    VaZavi out(24, cell.width, cell.height, kTypeBMP);
    for (int y = 0; y < cell.height; ++y)
        std::memcpy(out.Row(cell.height - 1 - y), cell.At(0, y), size_t(cell.width) * 3);
    const int type = cli::TypeFromExtension(files[1]);
    if (type < 0 || type == kTypePCX || type >= kTypeVOR) return cli::Fail(files[1], "no writer for this extension");
    if (!out.Save(files[1].c_str(), type))
        return cli::Fail(files[1], out.LastError()[0] ? out.LastError() : "could not be saved");
    return cli::kOk;
}

const cli::Registrar kPrint({"print",
                             "  pimlora-cli print IN OUT.pdf [--dpi N] [--paper A4|B5|D3|D4|D5] [--landscape]\n"
                             "      the printed page as PDF (picture at N dots per inch; 300-dpi page)\n",
                             60, Print});
const cli::Registrar kThumbnail({"thumbnail",
                                 "  pimlora-cli thumbnail IN OUT\n"
                                 "      the image browser's 100 x 90 thumbnail of IN\n",
                                 61, Thumbnail});

}  // namespace
