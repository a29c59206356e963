#include "CPreviewDlg.h"

#include <wx/dcbuffer.h>

#include <cstring>

CPreviewDlg::CPreviewDlg(wxWindow* parent) : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxSize(220, 360)) {
    auto* title = new wxStaticText(this, wxID_ANY, wxString::FromUTF8("미리보기"), wxPoint(10, 5), wxSize(100, 15));
    title->SetForegroundColour(wxColour(88, 135, 110));
    canvas_ = new wxPanel(this, 80, wxPoint(10, 27), wxSize(200, 273), wxBORDER_NONE, "Image Preview Canvas");
    canvas_->SetBackgroundStyle(wxBG_STYLE_PAINT);
    canvas_->Bind(wxEVT_PAINT, &CPreviewDlg::OnPaintCanvas, this);
    info_ = new wxStaticText(this, wxID_ANY, "***", wxPoint(10, 330), wxSize(180, 25), wxST_NO_AUTORESIZE);
    info_->SetForegroundColour(*wxBLACK);
    SetMinSize(wxSize(220, 360));
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
        LayOut();
        e.Skip();
    });
}

void CPreviewDlg::SetPicture(const browser::Picture24& pic, int width, int height, const std::string& name) {
    if (pic.Empty()) {
        Clear();
        return;
    }
    wxImage img(pic.width, pic.height, false);
    // wxImage keeps red, green, blue; the picture blue, green, red.
    unsigned char* d = img.GetData();
    for (size_t i = 0, n = size_t(pic.width) * size_t(pic.height); i < n; ++i) {
        d[3 * i] = pic.bgr[3 * i + 2];
        d[3 * i + 1] = pic.bgr[3 * i + 1];
        d[3 * i + 2] = pic.bgr[3 * i];
    }
    picture_ = img;
    width_ = width;
    height_ = height;
    name_ = name;
    LayOut();
}

void CPreviewDlg::Clear() {
    picture_ = wxImage();
    width_ = height_ = 0;
    name_.clear();
    canvas_->Refresh();
}

void CPreviewDlg::LayOut() {
    const wxSize client = GetClientSize();
    const browser::Rect r = browser::PreviewLayout(client.x, client.y, picture_.IsOk() ? width_ : 0,
                                                   picture_.IsOk() ? height_ : 0);
    canvas_->SetSize(r.x, r.y, std::max(1, r.width), std::max(1, r.height));
    if (picture_.IsOk())
        info_->SetLabel(wxString::FromUTF8(browser::PreviewInfoText(width_, height_, name_)));
    canvas_->Refresh();
}

void CPreviewDlg::OnPaintCanvas(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(canvas_);
    const wxSize size = canvas_->GetClientSize();
    dc.SetBackground(wxBrush(GetBackgroundColour()));
    dc.Clear();
    if (!picture_.IsOk() || size.x <= 0 || size.y <= 0) return;
    const wxImage scaled = picture_.Scale(size.x, size.y, wxIMAGE_QUALITY_BICUBIC);
    dc.DrawBitmap(wxBitmap(scaled), 0, 0);
}
