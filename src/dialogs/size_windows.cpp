// Image size (1431) and canvas size (1432).
#include <wx/spinbutt.h>
#include <wx/tglbtn.h>

#include <cstdlib>

#include "CVexoDoc.h"
#include "dialog_host.h"
#include "dialog_util.h"
#include "dlg_geometry.h"
#include "param_windows.h"

using dlgui::U;

namespace dlgui {

namespace {

// A number box with its up-down arrows.
struct SpinBox {
    wxTextCtrl* box = nullptr;
    wxSpinButton* spin = nullptr;
};

SpinBox MakeSpinBox(wxWindow* parent, wxSizer* grid, const wxString& label, int width = 70) {
    SpinBox s;
    grid->Add(new wxStaticText(parent, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    s.box = new wxTextCtrl(parent, wxID_ANY, "", wxDefaultPosition, wxSize(width, -1));
    s.spin = new wxSpinButton(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxSP_VERTICAL);
    s.spin->SetRange(-1000000, 1000000);
    row->Add(s.box, 1, wxALIGN_CENTER_VERTICAL);
    row->Add(s.spin, 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(row, 0, wxEXPAND);
    Name(s.box, label);
    Name(s.spin, label + U(" 조절"));
    return s;
}

// Up and down of an up-down control as +1 / -1 (its own position is not used).
void OnSpin(wxSpinButton* spin, std::function<void(int)> step) {
    spin->Bind(wxEVT_SPIN_UP, [step](wxSpinEvent& e) {
        step(1);
        e.Veto();
    });
    spin->Bind(wxEVT_SPIN_DOWN, [step](wxSpinEvent& e) {
        step(-1);
        e.Veto();
    });
}

class ImageSizeDialog : public wxDialog {
public:
    ImageSizeDialog(wxWindow* parent, CVexoDoc& doc)
        : wxDialog(parent, wxID_ANY, U("이미지 크기 지정")), doc_(doc) {
        int dpi = doc.image.info.xDpi > 0 ? doc.image.info.xDpi : 72;
        m_.Init(doc.live.canvas.width, doc.live.canvas.height, dpi);
        auto* top = new wxBoxSizer(wxVERTICAL);
        auto* pixels = new wxStaticBoxSizer(wxVERTICAL, this, U("픽셀조정"));
        auto* g1 = new wxFlexGridSizer(4, 6, 8);
        width_ = MakeSpinBox(pixels->GetStaticBox(), g1, U("폭"));
        px_ = MakeSpinBox(pixels->GetStaticBox(), g1, U("폭 %"));
        height_ = MakeSpinBox(pixels->GetStaticBox(), g1, U("높이"));
        py_ = MakeSpinBox(pixels->GetStaticBox(), g1, U("높이 %"));
        pixels->Add(g1, 0, wxALL, 6);
        top->Add(pixels, 0, wxEXPAND | wxALL, 8);
        auto* print = new wxStaticBoxSizer(wxVERTICAL, this, U("출력문서"));
        auto* g2 = new wxFlexGridSizer(4, 6, 8);
        pw_ = MakeSpinBox(print->GetStaticBox(), g2, U("출력 폭(inch)"));
        ph_ = MakeSpinBox(print->GetStaticBox(), g2, U("출력 높이(inch)"));
        dpi_ = MakeSpinBox(print->GetStaticBox(), g2, U("해상도(DPI)"));
        g2->Add(new wxStaticText(print->GetStaticBox(), wxID_ANY, U("픽셀/inch")), 0, wxALIGN_CENTER_VERTICAL);
        print->Add(g2, 0, wxALL, 6);
        top->Add(print, 0, wxEXPAND | wxLEFT | wxRIGHT, 8);
        keep_ = new wxToggleButton(this, wxID_ANY, U("동일 비율로"));
        keep_->SetValue(true);
        all_ = new wxCheckBox(this, wxID_ANY, U("모든 열린 이미지에 적용"));
        auto* row = new wxBoxSizer(wxHORIZONTAL);
        row->Add(keep_, 0, wxRIGHT, 12);
        row->Add(all_, 0, wxALIGN_CENTER_VERTICAL);
        top->Add(row, 0, wxALL, 8);
        top->Add(OkCancel(this), 0, wxEXPAND | wxALL, 8);
        SetSizerAndFit(top);
        Show_();

        width_.box->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { Typed(width_.box, [this](long v) { m_.SetWidth(int(v)); }); });
        height_.box->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { Typed(height_.box, [this](long v) { m_.SetHeight(int(v)); }); });
        px_.box->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { Typed(px_.box, [this](long v) { m_.SetPercentX(int(v)); }); });
        py_.box->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { Typed(py_.box, [this](long v) { m_.SetPercentY(int(v)); }); });
        auto printed = [this](wxTextCtrl* self) {
            if (updating_) return;
            m_.SetPrinted(std::atof(S(pw_.box->GetValue()).c_str()), std::atof(S(ph_.box->GetValue()).c_str()),
                          int(LeadingInt(dpi_.box->GetValue())));
            Show_(self);
        };
        pw_.box->Bind(wxEVT_TEXT, [this, printed](wxCommandEvent&) { printed(pw_.box); });
        ph_.box->Bind(wxEVT_TEXT, [this, printed](wxCommandEvent&) { printed(ph_.box); });
        dpi_.box->Bind(wxEVT_TEXT, [this, printed](wxCommandEvent&) { printed(dpi_.box); });
        OnSpin(width_.spin, [this](int d) { m_.StepWidth(d); Show_(); });
        OnSpin(height_.spin, [this](int d) { m_.StepHeight(d); Show_(); });
        OnSpin(px_.spin, [this](int d) { m_.SetPercentX(m_.percentX + d); Show_(); });
        OnSpin(py_.spin, [this](int d) { m_.SetPercentY(m_.percentY + d); Show_(); });
        OnSpin(pw_.spin, [this](int d) { m_.StepPrintWidth(d); Show_(); });
        OnSpin(ph_.spin, [this](int d) { m_.StepPrintHeight(d); Show_(); });
        OnSpin(dpi_.spin, [this](int d) { m_.StepDpi(d); Show_(); });
        keep_->Bind(wxEVT_TOGGLEBUTTON, [this](wxCommandEvent&) {
            m_.ResetAndToggle();
            Show_();
        });
        all_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { m_.allOpen = all_->GetValue(); });
        NameUnnamed(this);
    }

    const dlg::ImageSizeModel& Model() const { return m_; }

private:
    void Typed(wxTextCtrl* box, const std::function<void(long)>& set) {
        if (updating_) return;
        set(LeadingInt(box->GetValue()));
        Show_(box);
    }
    // Every box from the model but the one being typed in.
    void Show_(wxTextCtrl* except = nullptr) {
        updating_ = true;
        auto put = [except](wxTextCtrl* b, const wxString& v) {
            if (b != except && b->GetValue() != v) b->ChangeValue(v);
        };
        put(width_.box, wxString::Format("%d", m_.width));
        put(height_.box, wxString::Format("%d", m_.height));
        put(px_.box, wxString::Format("%d", m_.percentX));
        put(py_.box, wxString::Format("%d", m_.percentY));
        put(pw_.box, U(m_.PrintedText(m_.printWidth)));
        put(ph_.box, U(m_.PrintedText(m_.printHeight)));
        put(dpi_.box, wxString::Format("%d", m_.dpi));
        keep_->SetValue(m_.keepProportions);
        keep_->SetLabel(m_.keepProportions ? U("동일 비율로") : U("비율 무시"));
        Name(keep_, keep_->GetLabel());
        updating_ = false;
    }

    CVexoDoc& doc_;
    dlg::ImageSizeModel m_;
    SpinBox width_, height_, px_, py_, pw_, ph_, dpi_;
    wxToggleButton* keep_;
    wxCheckBox* all_;
    bool updating_ = false;
};

class CanvasSizeDialog : public wxDialog {
public:
    CanvasSizeDialog(wxWindow* parent, CVexoDoc& doc) : wxDialog(parent, wxID_ANY, U("캔버스 크기 조정")) {
        m_.Init(doc.live.canvas.width, doc.live.canvas.height);
        auto* top = new wxBoxSizer(wxVERTICAL);
        top->Add(new wxStaticText(this, wxID_ANY, U("현재 크기 ") + U(m_.CurrentSizeText())), 0, wxALL, 8);
        auto* g = new wxFlexGridSizer(2, 6, 8);
        width_ = MakeSpinBox(this, g, U("폭"));
        height_ = MakeSpinBox(this, g, U("높이"));
        top->Add(g, 0, wxLEFT | wxRIGHT, 8);
        top->Add(new wxStaticText(this, wxID_ANY, U("기준 위치")), 0, wxLEFT | wxTOP, 8);
        auto* grid = new wxGridSizer(3, 3, 2, 2);
        static const char* arrows[9] = {"↖", "↑", "↗", "←", "●", "→", "↙", "↓", "↘"};
        static const char* names[9] = {"위 왼쪽", "위 가운데", "위 오른쪽", "가운데 왼쪽", "가운데",
                                       "가운데 오른쪽", "아래 왼쪽", "아래 가운데", "아래 오른쪽"};
        for (int i = 0; i < 9; ++i) {
            anchors_[i] = new wxToggleButton(this, wxID_ANY, U(arrows[i]), wxDefaultPosition, wxSize(36, 30));
            anchors_[i]->SetToolTip(U("기준 ") + U(names[i]));
            Name(anchors_[i], U("기준 ") + U(names[i]));
            grid->Add(anchors_[i]);
            anchors_[i]->Bind(wxEVT_TOGGLEBUTTON, [this, i](wxCommandEvent&) {
                m_.SetAnchor(i);
                ShowAnchors();
            });
        }
        top->Add(grid, 0, wxALL, 8);
        top->Add(OkCancel(this), 0, wxEXPAND | wxALL, 8);
        SetSizerAndFit(top);
        width_.box->ChangeValue(wxString::Format("%d", m_.width));
        height_.box->ChangeValue(wxString::Format("%d", m_.height));
        auto reread = [this](wxCommandEvent&) {
            m_.width = std::max(1L, LeadingInt(width_.box->GetValue()));
            m_.height = std::max(1L, LeadingInt(height_.box->GetValue()));
        };
        width_.box->Bind(wxEVT_TEXT, reread);
        height_.box->Bind(wxEVT_TEXT, reread);
        OnSpin(width_.spin, [this](int d) {
            m_.StepWidth(d);
            width_.box->ChangeValue(wxString::Format("%d", m_.width));
        });
        OnSpin(height_.spin, [this](int d) {
            m_.StepHeight(d);
            height_.box->ChangeValue(wxString::Format("%d", m_.height));
        });
        ShowAnchors();
        NameUnnamed(this);
    }
    const dlg::CanvasSizeModel& Model() const { return m_; }

private:
    void ShowAnchors() {
        for (int i = 0; i < 9; ++i) anchors_[i]->SetValue(i == m_.anchor);
    }
    dlg::CanvasSizeModel m_;
    SpinBox width_, height_;
    wxToggleButton* anchors_[9] = {};
};

}  // namespace

bool RunImageSizeDialog(wxWindow* parent, CVexoDoc& doc) {
    ImageSizeDialog dlg(parent, doc);
    if (dlg.ShowModal() != wxID_OK) return false;
    const dlg::ImageSizeModel& m = dlg.Model();
    wxBusyCursor busy;
    std::vector<CVexoDoc*> open = Host().openDocs ? Host().openDocs() : std::vector<CVexoDoc*>{&doc};
    const bool ok = dlg::ApplyImageSize(m, doc, open);
    for (CVexoDoc* d : m.allOpen ? open : std::vector<CVexoDoc*>{&doc})
        if (d) Changed(*d);
    return ok;
}

bool RunCanvasSizeDialog(wxWindow* parent, CVexoDoc& doc) {
    CanvasSizeDialog dlg(parent, doc);
    if (dlg.ShowModal() != wxID_OK) return false;
    const dlg::CanvasSizeModel& m = dlg.Model();
    wxBusyCursor busy;
    doc.Host().StopSelectionTimer(doc);
    const bool ok = dlg::ApplyCanvasSize(doc, m.width, m.height, m.anchor);
    Changed(doc);
    return ok;
}

}  // namespace dlgui
