// Printing in the editor: the print preview (57609), printing the active
// document with the system's print dialog (57607, Ctrl+P) or straight away
// (57608), and the printer setup (57606).
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "CDlg_Print_Preview.h"
#include "CMainFrame.h"
#include "CVexoDoc.h"
#include "CVexoDocument.h"
#include "VaZavi.h"
#include "command_ids.h"
#include "page_draw.h"
#include "picture_printout.h"
#include "program_paths.h"
#include "shell_commands.h"

namespace {

// The preview picture's file: in the user's cache folder, named for this
// process, removed on every way out of the preview.
class PreviewFile {
public:
    PreviewFile() : path_(paths::CacheFolder() + "/ttemp-" + std::to_string(::getpid()) + ".bmp") {}
    ~PreviewFile() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

bool PrintActiveDocument(CMainFrame& f, bool prompt) {
    CVexoDocument* d = f.ActiveDocument();
    if (!d || !d->Core()) return false;
    const printing::PrintPicture picture = printing::PictureFromDocument(*d->Core());
    if (picture.Empty()) return false;
    return PrintPicture(&f, picture, wxString::FromUTF8(d->DisplayName()), prompt);
}

void RunPrintPreview(CMainFrame& f) {
    CVexoDocument* d = f.ActiveDocument();
    if (!d || !d->Core()) return;
    CVexoDoc& doc = *d->Core();
    // The picture the document saves as a BMP; when it cannot be written or
    // read back the preview stays empty and the dialog still works.
    PreviewFile file;
    wxImage preview;
    {
        const printing::PrintPicture composite = printing::PictureFromDocument(doc);
        VaZavi bmp(24, composite.width, composite.height, kTypeBMP);
        if (bmp.IsValid()) {
            for (int y = 0; y < composite.height; ++y) {
                uint8_t* row = bmp.Row(composite.height - 1 - y);
                const uint32_t* in = composite.pixels.data() + size_t(y) * size_t(composite.width);
                for (int x = 0; x < composite.width; ++x) {
                    row[3 * x] = uint8_t(in[x]);
                    row[3 * x + 1] = uint8_t(in[x] >> 8);
                    row[3 * x + 2] = uint8_t(in[x] >> 16);
                }
            }
            VaZavi back(kTypeBMP);
            if (bmp.Save(file.Path().c_str(), kTypeBMP) && back.Load(file.Path().c_str(), kTypeBMP))
                preview = PrintPictureToImage(printing::PictureFromImage(back));
        }
    }
    printing::PrintPreviewModel model(doc.live.canvas.width, doc.live.canvas.height, doc.image.info.xDpi);
    // At x = 200, below the menu bar.
    const wxPoint at(200, f.ClientToScreen(wxPoint(0, 0)).y);
    CDlg_Print_Preview dialog(&f, at, model, preview, [&f](int dpi) {
        CVexoDocument* active = f.ActiveDocument();
        if (!active || !active->Core()) return;
        // The resolution chosen stays in the document's image, printed or
        // not; a save writes it, so a change is a change of the document.
        VaZavi& image = active->Core()->image;
        if (image.info.xDpi != dpi || image.info.yDpi != dpi) {
            image.SetXDpi(dpi);
            image.SetYDpi(dpi);
            active->Modify(true);
        }
        PrintActiveDocument(f, true);
    });
    dialog.ShowModal();
}

const shell::Registrar kPrintCommands({
    {cmd::PrintPreview, [](CMainFrame& f) { RunPrintPreview(f); }, shell::NeedsDocument, nullptr},
    {cmd::Print, [](CMainFrame& f) { PrintActiveDocument(f, true); }, shell::NeedsDocument, nullptr},
    {cmd::PrintDirect, [](CMainFrame& f) { PrintActiveDocument(f, false); }, shell::NeedsDocument, nullptr},
    {cmd::PrinterSetup, [](CMainFrame& f) { PrinterSetup(&f); }, nullptr, nullptr},
});

}  // namespace
