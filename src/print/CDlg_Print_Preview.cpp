#include "CDlg_Print_Preview.h"

#include <wx/artprov.h>
#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/dcbuffer.h>

#include <algorithm>

#include "VaZavi.h"
#include "page_draw.h"
#include "picture_printout.h"

namespace {

wxString U(const char* s) { return wxString::FromUTF8(s); }
wxString U(const std::string& s) { return wxString::FromUTF8(s); }

wxStaticText* Label(wxWindow* parent, const char* text, int x, int y, int w, int h, const wxColour& colour) {
    auto* t = new wxStaticText(parent, wxID_ANY, U(text), wxPoint(x, y), wxSize(w, h), wxST_NO_AUTORESIZE);
    t->SetForegroundColour(colour);
    return t;
}

// Longest side of the picture the dialog keeps for drawing.
constexpr int kPreviewSide = 2048;

}  // namespace

CDlg_Print_Preview::CDlg_Print_Preview(wxWindow* parent, const wxPoint& position, printing::PrintPreviewModel model,
                                       const wxImage& preview, std::function<void(int)> print)
    : wxDialog(parent, 4662, U("인쇄 미리 보기"), position, wxSize(580, 460)), model_(std::move(model)),
      print_(std::move(print)) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    if (preview.IsOk()) {
        const double k = std::min(1.0, double(kPreviewSide) / std::max(preview.GetWidth(), preview.GetHeight()));
        preview_ = k < 1 ? preview.Scale(std::max(1, int(preview.GetWidth() * k)), std::max(1, int(preview.GetHeight() * k)),
                                         wxIMAGE_QUALITY_BOX_AVERAGE)
                         : preview;
    }
    const wxColour grey(100, 100, 100);
    auto* close = new wxBitmapButton(this, wxID_CLOSE, wxArtProvider::GetBitmap(wxART_CLOSE, wxART_BUTTON, wxSize(16, 16)),
                                     wxPoint(580 - 25, 2), wxSize(18, 17), wxBORDER_NONE);
    close->SetToolTip("Close");
    Label(this, "인쇄 미리 보기", 20, 5, 160, 18, wxColour(88, 135, 110));
    Label(this, "DPI", 50, 60, 50, 27, wxColour(50, 50, 50));
    dpi_ = new wxTextCtrl(this, 4841, U(model_.ResolutionText()), wxPoint(85, 52), wxSize(60, -1));
    spin_ = new wxSpinButton(this, 1181, wxPoint(150, 52), wxDefaultSize, wxSP_VERTICAL);
    spin_->SetRange(-1000000, 1000000);
    spin_->SetValue(0);
    Label(this, "크기(인치)", 20, 230, 70, 27, grey);
    Label(this, "너비", 90, 230, 30, 27, grey);
    widthValue_ = Label(this, "", 120, 230, 40, 20, grey);
    Label(this, "높이", 160, 230, 30, 27, grey);
    heightValue_ = Label(this, "", 190, 230, 50, 20, grey);
    auto* printButton = new wxButton(this, 57607, U("인쇄"), wxPoint(60, 290), wxSize(100, 34));
    printButton->SetBackgroundColour(wxColour(200, 240, 220));
    Label(this, "미리보기 용지", 20, 170, 85, 27, grey);
    paper_ = new wxChoice(this, 1209, wxPoint(110, 160), wxSize(110, -1));
    for (const printing::Paper& p : printing::Papers()) paper_->Append(U(p.name));
    paper_->SetSelection(0);
    orientation_ = new wxChoice(this, 1210, wxPoint(110, 196), wxSize(110, -1));
    for (const std::string& o : printing::Orientations()) orientation_->Append(U(o));
    orientation_->SetSelection(0);
    sizeText_ = Label(this, printing::kInitialSizeText, 20, 250, 130, 27, grey);
    Label(this, "인쇄시 용지크기와 방향을 재선택해야 함", 20, 415, 280, 27, wxColour(0, 0, 200));

    Bind(wxEVT_PAINT, &CDlg_Print_Preview::OnPaint, this);
    paper_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { SelectPaper(); });
    orientation_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { SelectPaper(); });
    auto spin = [this](int delta) {
        model_.Spin(delta);
        dpi_->ChangeValue(U(model_.ResolutionText()));
        spin_->SetValue(0);
        UpdatePrintSize();
    };
    // Up raises the resolution (the negative delta of the spin rule).
    spin_->Bind(wxEVT_SPIN_UP, [spin](wxSpinEvent&) { spin(-1); });
    spin_->Bind(wxEVT_SPIN_DOWN, [spin](wxSpinEvent&) { spin(1); });
    dpi_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) {
        model_.SetResolutionText(std::string(dpi_->GetValue().utf8_str()));
        const std::string corrected = model_.CorrectedText();
        if (U(corrected) != dpi_->GetValue()) {
            model_.SetResolutionText(corrected);
            dpi_->ChangeValue(U(corrected));
            dpi_->SetInsertionPointEnd();
        }
        UpdatePrintSize();
    });
    // An empty box shows the resolution it counts as once the user leaves it.
    dpi_->Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& e) {
        if (dpi_->GetValue().Trim().Trim(false).empty()) {
            model_.SetResolutionText("1");
            dpi_->ChangeValue("1");
            UpdatePrintSize();
        }
        e.Skip();
    });
    printButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        if (print_) print_(model_.Resolution());
    });
    close->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wxID_CLOSE); });
    SetEscapeId(wxID_CLOSE);
    SelectPaper();
    UpdatePrintSize();
}

void CDlg_Print_Preview::SelectPaper() {
    model_.SelectPaper(paper_->GetSelection(), orientation_->GetSelection() == 1);
    sizeText_->SetLabel(U(model_.PaperSizeText()));
    Refresh();
}

void CDlg_Print_Preview::UpdatePrintSize() {
    widthValue_->SetLabel(U(model_.WidthText()));
    heightValue_->SetLabel(U(model_.HeightText()));
    Refresh();
}

void CDlg_Print_Preview::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    dc.SetBackground(wxBrush(GetBackgroundColour()));
    dc.Clear();
    const printing::Box o = model_.PaperOutline();
    dc.SetPen(wxPen(wxColour(120, 120, 120)));
    dc.SetBrush(*wxWHITE_BRUSH);
    dc.DrawRectangle(o.x, o.y, o.width, o.height);
    // The picture box: only the part inside the window is drawn.
    const printing::Box b = model_.PictureBox();
    const wxRect box(b.x, b.y, std::max(1, b.width), std::max(1, b.height));
    const wxRect visible = box.Intersect(wxRect(GetClientSize()));
    if (preview_.IsOk() && !visible.IsEmpty()) {
        const double kx = double(preview_.GetWidth()) / box.width, ky = double(preview_.GetHeight()) / box.height;
        wxRect src(int((visible.x - box.x) * kx), int((visible.y - box.y) * ky),
                   std::max(1, int(visible.width * kx + 0.999)), std::max(1, int(visible.height * ky + 0.999)));
        src = src.Intersect(wxRect(0, 0, preview_.GetWidth(), preview_.GetHeight()));
        if (!src.IsEmpty()) {
            const wxImage part = preview_.GetSubImage(src).Scale(visible.width, visible.height, wxIMAGE_QUALITY_BILINEAR);
            dc.DrawBitmap(wxBitmap(part), visible.x, visible.y);
        }
    }
    dc.SetPen(wxPen(wxColour(0, 0, 0)));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(box);
}

wxImage PrintPictureToImage(const printing::PrintPicture& p) {
    if (p.Empty()) return wxImage();
    wxImage img(p.width, p.height, false);
    unsigned char* d = img.GetData();
    for (size_t i = 0, n = size_t(p.width) * size_t(p.height); i < n; ++i) {
        const uint32_t c = p.pixels[i];
        d[3 * i] = uint8_t(c >> 16);
        d[3 * i + 1] = uint8_t(c >> 8);
        d[3 * i + 2] = uint8_t(c);
    }
    return img;
}

void ShowPrintPreview(wxWindow* parent, const VaZavi& picture) {
    printing::PrintPicture pic = printing::PictureFromImage(picture);
    if (pic.Empty()) return;
    printing::PrintPreviewModel model(pic.width, pic.height, pic.xDpi);
    wxWindow* owner = parent;
    CDlg_Print_Preview dialog(parent, wxPoint(200, 80), model, PrintPictureToImage(pic), [&pic, &owner](int dpi) {
        pic.xDpi = pic.yDpi = dpi;
        PrintPicture(owner, pic, wxString::FromUTF8("Pimlora"), true);
    });
    owner = &dialog;
    dialog.ShowModal();
}
