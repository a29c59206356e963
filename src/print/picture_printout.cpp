#include "picture_printout.h"

#include <wx/printdlg.h>

#include <cairo.h>

PicturePrintout::PicturePrintout(printing::PrintPicture picture, const wxString& title)
    : wxPrintout(title), picture_(std::move(picture)) {}

void PicturePrintout::GetPageInfo(int* minPage, int* maxPage, int* selFrom, int* selTo) {
    *minPage = *maxPage = *selFrom = *selTo = 1;
}

bool PicturePrintout::OnPrintPage(int page) {
    wxDC* dc = GetDC();
    if (page != 1 || !dc) return false;
    int ppiX = 0, ppiY = 0;
    GetPPIPrinter(&ppiX, &ppiY);
    if (ppiX <= 0 || ppiY <= 0) {
        const wxSize ppi = dc->GetPPI();
        ppiX = ppi.x;
        ppiY = ppi.y;
    }
    int w = 0, h = 0;
    dc->GetSize(&w, &h);
    // The printer context's user units are printer dots.
    auto* cr = static_cast<cairo_t*>(dc->GetImpl()->GetCairoContext());
    if (!cr) return false;
    printing::DrawPage(cr, w, h, picture_, ppiX, ppiY);
    return true;
}

wxPrintData& SharedPrintData() {
    static wxPrintData data;
    return data;
}

bool PrintPicture(wxWindow* parent, const printing::PrintPicture& picture, const wxString& title, bool prompt) {
    wxPrintDialogData dialogData(SharedPrintData());
    dialogData.SetMinPage(1);
    dialogData.SetMaxPage(1);
    dialogData.SetFromPage(1);
    dialogData.SetToPage(1);
    wxPrinter printer(&dialogData);
    PicturePrintout printout(picture, title);
    const bool ok = printer.Print(parent, &printout, prompt);
    if (ok) SharedPrintData() = printer.GetPrintDialogData().GetPrintData();
    return ok;
}

void PrinterSetup(wxWindow* parent) {
    wxPageSetupDialogData setup(SharedPrintData());
    wxPageSetupDialog dialog(parent, &setup);
    if (dialog.ShowModal() == wxID_OK) SharedPrintData() = dialog.GetPageSetupDialogData().GetPrintData();
}
