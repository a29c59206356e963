// Printing a picture through the framework: one page, drawn by the same
// page function as the PDF (printing::DrawPage) on the printer's cairo
// context (GTK prints through cairo).
#pragma once

#include <wx/print.h>

#include "page_draw.h"

class PicturePrintout : public wxPrintout {
public:
    PicturePrintout(printing::PrintPicture picture, const wxString& title);
    bool OnPrintPage(int page) override;
    bool HasPage(int page) override { return page == 1; }
    void GetPageInfo(int* minPage, int* maxPage, int* selFrom, int* selTo) override;

private:
    printing::PrintPicture picture_;
};

// The print settings the editor keeps between prints (printer, paper,
// orientation), shared by the print commands and the printer setup.
wxPrintData& SharedPrintData();

// Prints the picture: with the system's print dialog first (prompt), or
// straight to the printer of the shared settings. False when nothing was
// printed (cancelled or failed).
bool PrintPicture(wxWindow* parent, const printing::PrintPicture& picture, const wxString& title, bool prompt);
// The printer setup: paper and orientation of the shared settings (the
// system's page setup dialog).
void PrinterSetup(wxWindow* parent);
