// The print preview: the picture at its printed size in millimetres (one
// screen pixel each) beside the outline of the paper chosen, the print
// resolution with its spin buttons and the size in inches, and the print
// button. The window only shows a PrintPreviewModel and calls `print` with
// the resolution chosen.
#pragma once

#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/image.h>
#include <wx/spinbutt.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <functional>

#include "print_model.h"

class VaZavi;
namespace printing {
struct PrintPicture;
}

class CDlg_Print_Preview : public wxDialog {
public:
    CDlg_Print_Preview(wxWindow* parent, const wxPoint& position, printing::PrintPreviewModel model,
                       const wxImage& preview, std::function<void(int dpi)> print);
    const printing::PrintPreviewModel& Model() const { return model_; }

private:
    void SelectPaper();
    void UpdatePrintSize();
    void OnPaint(wxPaintEvent&);

    printing::PrintPreviewModel model_;
    wxImage preview_;
    std::function<void(int)> print_;
    wxTextCtrl* dpi_ = nullptr;
    wxSpinButton* spin_ = nullptr;
    wxStaticText* widthValue_ = nullptr;
    wxStaticText* heightValue_ = nullptr;
    wxStaticText* sizeText_ = nullptr;
    wxChoice* paper_ = nullptr;
    wxChoice* orientation_ = nullptr;
};

wxImage PrintPictureToImage(const printing::PrintPicture& picture);

// The print preview of a picture that is not a document (the capture
// frame's print button): printing prints that picture at the resolution
// chosen, through the system's print dialog.
void ShowPrintPreview(wxWindow* parent, const VaZavi& picture);
