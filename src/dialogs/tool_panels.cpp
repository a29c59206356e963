#include "tool_panels.h"

#include <wx/colordlg.h>
#include <wx/spinbutt.h>

#include <algorithm>

#include "CVexoDoc.h"
#include "commands.h"
#include "dialog_host.h"
#include "dialog_util.h"
#include "modes.h"
#include "param_windows.h"
#include "text_layers.h"

using dlgui::U;

namespace {
bool DocAlive(CVexoDoc* doc) {
    if (!doc) return false;
    if (!dlgui::Host().openDocs) return true;
    const auto open = dlgui::Host().openDocs();
    return std::find(open.begin(), open.end(), doc) != open.end();
}

void RunTableCommand(CVexoDoc& doc, int id) {
    if (const commands::Command* c = commands::All().Find(id); c && c->run) c->run(doc, {});
}
}  // namespace

// --- red eye ------------------------------------------------------------------------------

CDlg_RedEye::CDlg_RedEye(wxWindow* parent) : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL, "redeye") {
    auto* top = new wxBoxSizer(wxHORIZONTAL);
    auto* pick = new wxButton(this, wxID_ANY, U("눈동자 선택"));
    pick->SetToolTip(U("원형 선택 도구로 눈동자를 선택합니다"));
    top->Add(pick, 0, wxALL | wxALIGN_CENTER_VERTICAL, 6);
    top->Add(new wxStaticText(this, wxID_ANY, U("강도 1..10")), 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 8);
    strength_ = new wxTextCtrl(this, 4611, U(model_.strengthText), wxDefaultPosition, wxSize(44, -1));
    dlgui::Name(strength_, U("강도 1..10"));
    auto* spin = new wxSpinButton(this, 1173, wxDefaultPosition, wxDefaultSize, wxSP_VERTICAL);
    spin->SetRange(-1000, 1000);
    dlgui::Name(spin, U("강도 조절"));
    top->Add(strength_, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 4);
    top->Add(spin, 0, wxALIGN_CENTER_VERTICAL);
    auto* start = new wxButton(this, wxID_ANY, U("시작 이미지"));
    auto* apply = new wxButton(this, wxID_ANY, U("적용"));
    auto* close = new wxButton(this, wxID_ANY, U("닫기"));
    top->Add(start, 0, wxALL | wxALIGN_CENTER_VERTICAL, 6);
    top->Add(apply, 0, wxALL | wxALIGN_CENTER_VERTICAL, 6);
    top->Add(close, 0, wxALL | wxALIGN_CENTER_VERTICAL, 6);
    SetSizerAndFit(top);
    pick->Bind(wxEVT_BUTTON, [](wxCommandEvent&) {
        CVexoDoc* doc = dlgui::ActiveDoc();
        if (!doc) return;
        RunTableCommand(*doc, 4812);   // the ellipse selection tool
        if (dlgui::Host().focusView) dlgui::Host().focusView();
    });
    auto step = [this](int delta) {
        model_.strengthText = dlgui::S(strength_->GetValue());
        model_.UpDown(delta);
        strength_->ChangeValue(U(model_.strengthText));
    };
    spin->Bind(wxEVT_SPIN_UP, [step](wxSpinEvent& e) { step(0); e.Veto(); });
    spin->Bind(wxEVT_SPIN_DOWN, [step](wxSpinEvent& e) { step(1); e.Veto(); });
    start->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        if (CVexoDoc* doc = dlgui::ActiveDoc()) {
            model_.StartImage(*doc);
            dlgui::Changed(*doc);
        }
    });
    apply->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        CVexoDoc* doc = dlgui::ActiveDoc();
        if (!doc) return;
        model_.strengthText = dlgui::S(strength_->GetValue());
        model_.rect = dlgmodel::SelectionBounds(*doc);
        wxBusyCursor busy;
        model_.Apply(*doc);
        strength_->ChangeValue(U(model_.strengthText));
        doc->Host().UpdateViews(*doc, true);
        dlgui::Changed(*doc);
    });
    close->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        if (CVexoDoc* doc = dlgui::ActiveDoc()) {
            model_.Close(*doc);
            dlgui::Changed(*doc);
        }
        if (hide) hide();
    });
    dlgui::NameUnnamed(this);
}

void CDlg_RedEye::Shown() {
    if (CVexoDoc* doc = dlgui::ActiveDoc()) doc->Host().SwitchTool(-1);
}

// --- free rotation ------------------------------------------------------------------------

DlgRotate::DlgRotate(wxWindow* parent) : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL, "rotate") {
    auto* top = new wxBoxSizer(wxHORIZONTAL);
    auto* left = new wxBoxSizer(wxVERTICAL);
    left->Add(new wxStaticText(this, 5000, U("0                                이미지회전                                      360")));
    slider_ = new wxSlider(this, 1280, 0, 0, 355, wxDefaultPosition, wxSize(390, -1));
    slider_->SetPageSize(1);
    slider_->SetLineSize(15);
    // No tick marks: one per degree is more than GTK can draw on 390 pixels.
    dlgui::Name(slider_, U("이미지회전"));
    left->Add(slider_, 0, wxEXPAND);
    top->Add(left, 0, wxALL, 6);
    auto* fine = new wxBoxSizer(wxVERTICAL);
    auto* caption = new wxStaticText(this, 5000, U("상세조정"));
    caption->SetForegroundColour(wxColour(100, 150, 100));
    fine->Add(caption);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    box_ = new wxTextCtrl(this, 1153, "0", wxDefaultPosition, wxSize(70, -1), wxTE_PROCESS_ENTER);
    dlgui::Name(box_, U("상세조정"));
    auto* spin = new wxSpinButton(this, 1173, wxDefaultPosition, wxDefaultSize, wxSP_VERTICAL);
    spin->SetRange(-100000, 100000);
    dlgui::Name(spin, U("상세조정 0.1도"));
    row->Add(box_);
    row->Add(spin);
    fine->Add(row);
    top->Add(fine, 0, wxALL, 6);
    auto* start = new wxButton(this, 5645 + 30000, U("시작 이미지"));
    auto* ok = new wxButton(this, wxID_ANY, U("확인"));
    auto* close = new wxButton(this, wxID_ANY, U("닫기"));
    top->Add(start, 0, wxALL | wxALIGN_CENTER_VERTICAL, 6);
    top->Add(ok, 0, wxALL | wxALIGN_CENTER_VERTICAL, 6);
    top->Add(close, 0, wxALL | wxALIGN_CENTER_VERTICAL, 6);
    SetSizerAndFit(top);

    auto preview = [this] {
        if (!DocAlive(doc_) || !model_.IsOpen()) return;
        wxBusyCursor busy;
        if (model_.Preview(true)) dlgui::Changed(*doc_);
        updating_ = true;
        if (box_->GetValue() != U(model_.boxText)) box_->ChangeValue(U(model_.boxText));
        updating_ = false;
    };
    slider_->Bind(wxEVT_SCROLL_THUMBRELEASE, [this, preview](wxScrollEvent&) {
        model_.sliderPos = slider_->GetValue();
        updating_ = true;
        box_->ChangeValue(wxString::Format("%d", slider_->GetValue()));
        updating_ = false;
        model_.boxText = dlgui::S(box_->GetValue());
        preview();
    });
    slider_->Bind(wxEVT_SCROLL_CHANGED, [this, preview](wxScrollEvent&) {
        if (wxGetMouseState().LeftIsDown()) return;   // the release handles a drag
        updating_ = true;
        box_->ChangeValue(wxString::Format("%d", slider_->GetValue()));
        updating_ = false;
        model_.boxText = dlgui::S(box_->GetValue());
        preview();
    });
    box_->Bind(wxEVT_TEXT, [this, preview](wxCommandEvent&) {
        if (updating_) return;
        model_.boxText = dlgui::S(box_->GetValue());
        preview();
    });
    auto step = [this](int delta) {
        if (!DocAlive(doc_) || !model_.IsOpen()) return;
        model_.boxText = dlgui::S(box_->GetValue());
        wxBusyCursor busy;
        model_.UpDown(delta);
        ShowAngle();
        dlgui::Changed(*doc_);
    };
    spin->Bind(wxEVT_SPIN_UP, [step](wxSpinEvent& e) { step(-1); e.Veto(); });
    spin->Bind(wxEVT_SPIN_DOWN, [step](wxSpinEvent& e) { step(1); e.Veto(); });
    start->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        if (!DocAlive(doc_) || !model_.IsOpen()) return;
        model_.StartImage();
        ShowAngle();
        dlgui::Changed(*doc_);
    });
    ok->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        if (DocAlive(doc_) && model_.IsOpen()) {
            wxBusyCursor busy;
            model_.Ok();
            dlgui::Changed(*doc_);
        }
        doc_ = nullptr;
        if (hide) hide();
    });
    close->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { CloseRotation(); });
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& e) {
        if (e.GetKeyCode() == WXK_ESCAPE) {
            CloseRotation();
            return;
        }
        e.Skip();
    });
    dlgui::NameUnnamed(this);
}

void DlgRotate::ShowAngle() {
    updating_ = true;
    box_->ChangeValue(U(model_.boxText));
    slider_->SetValue(std::clamp(model_.sliderPos, 0, 355));
    updating_ = false;
}

bool DlgRotate::Open() {
    CVexoDoc* doc = dlgui::ActiveDoc();
    if (!doc) return false;
    if (model_.IsOpen() && DocAlive(doc_)) model_.Close();
    model_ = dlg::RotationPanel();
    if (!model_.Open(*doc)) return false;
    doc_ = doc;
    ShowAngle();
    dlgui::Changed(*doc);
    return true;
}

void DlgRotate::CloseRotation() {
    if (DocAlive(doc_) && model_.IsOpen()) {
        model_.Close();
        dlgui::Changed(*doc_);
    }
    model_ = dlg::RotationPanel();
    doc_ = nullptr;
    if (hide) hide();
}

// --- colour range -----------------------------------------------------------------------------

CDlg_Find_SimPixelArea::CDlg_Find_SimPixelArea(wxWindow* parent)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL, "colourrange") {
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(new wxStaticText(this, wxID_ANY, U("0     허용정도   255")), 0, wxLEFT | wxTOP, 8);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    slider_ = new wxSlider(this, wxID_ANY, model_.tolerance, 0, 255, wxDefaultPosition, wxSize(170, -1));
    dlgui::Name(slider_, U("허용정도"));
    value_ = new wxStaticText(this, wxID_ANY, wxString::Format("%d", model_.tolerance), wxDefaultPosition, wxSize(36, -1));
    row->Add(slider_, 1, wxALIGN_CENTER_VERTICAL);
    row->Add(value_, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 4);
    top->Add(row, 0, wxEXPAND | wxALL, 6);
    auto* modes = new wxBoxSizer(wxHORIZONTAL);
    auto* fresh = new wxButton(this, wxID_ANY, U("색상추출"));
    auto* add = new wxButton(this, wxID_ANY, U("색상추출더하기"));
    modes->Add(fresh, 0, wxRIGHT, 4);
    modes->Add(add);
    top->Add(modes, 0, wxLEFT | wxRIGHT, 6);
    auto* colourRow = new wxBoxSizer(wxHORIZONTAL);
    colourRow->Add(new wxStaticText(this, wxID_ANY, U("선택색상")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    swatch_ = new wxButton(this, wxID_ANY, "", wxDefaultPosition, wxSize(44, 24));
    swatch_->SetToolTip(U("선택색상"));
    dlgui::Name(swatch_, U("선택색상"));
    colourRow->Add(swatch_);
    top->Add(colourRow, 0, wxALL, 6);
    result_ = new wxStaticText(this, wxID_ANY, "", wxDefaultPosition, wxSize(200, -1));
    top->Add(result_, 0, wxLEFT | wxRIGHT, 8);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    auto* reset = new wxButton(this, wxID_ANY, U("초기화"));
    auto* cancel = new wxButton(this, wxID_ANY, U("취소"));
    auto* ok = new wxButton(this, wxID_ANY, U("확인"));
    buttons->Add(reset, 0, wxRIGHT, 4);
    buttons->Add(cancel, 0, wxRIGHT, 4);
    buttons->Add(ok);
    top->Add(buttons, 0, wxALL, 6);
    SetSizerAndFit(top);

    slider_->Bind(wxEVT_SLIDER, [this](wxCommandEvent&) {
        model_.SetTolerance(slider_->GetValue());
        value_->SetLabel(wxString::Format("%d", model_.tolerance));
        Run();
    });
    auto mode = [this](int m) {
        model_.mode = m;
        if (CVexoDoc* doc = dlgui::ActiveDoc()) doc->Host().SwitchTool(3344);
    };
    fresh->Bind(wxEVT_BUTTON, [mode](wxCommandEvent&) { mode(0); });
    add->Bind(wxEVT_BUTTON, [mode](wxCommandEvent&) { mode(1); });
    swatch_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        wxColourData data;
        data.SetChooseFull(true);
        data.SetColour(wxColour(ColR(model_.colour), ColG(model_.colour), ColB(model_.colour)));
        wxColourDialog dlg(this, &data);
        if (dlg.ShowModal() != wxID_OK) return;
        const wxColour c = dlg.GetColourData().GetColour();
        model_.colour = PackBGR(c.Blue(), c.Green(), c.Red());
        model_.haveColour = true;
        Run();
    });
    reset->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        if (!DocAlive(doc_)) return;
        model_.Reset(*doc_);
        ShowResult();
        dlgui::Changed(*doc_);
    });
    cancel->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        if (DocAlive(doc_)) {
            model_.Cancel(*doc_);
            doc_->Host().SwitchTool(-1);
            dlgui::Changed(*doc_);
        }
        doc_ = nullptr;
        if (hide) hide();
    });
    ok->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        if (DocAlive(doc_)) doc_->Host().SwitchTool(-1);
        doc_ = nullptr;
        if (hide) hide();
    });
    dlgui::NameUnnamed(this);
}

void CDlg_Find_SimPixelArea::Shown() {
    doc_ = dlgui::ActiveDoc();
    model_.resultText.clear();
    model_.SetTolerance(10);
    slider_->SetValue(model_.tolerance);
    value_->SetLabel(wxString::Format("%d", model_.tolerance));
    ShowResult();
}

void CDlg_Find_SimPixelArea::Pick(CVexoDoc& doc, uint32_t colour) {
    doc_ = &doc;
    wxBusyCursor busy;
    model_.Pick(doc, colour);
    ShowResult();
    dlgui::Changed(doc);
}

void CDlg_Find_SimPixelArea::Run() {
    if (!DocAlive(doc_)) doc_ = dlgui::ActiveDoc();
    if (!doc_ || !model_.haveColour) {
        ShowResult();
        return;
    }
    wxBusyCursor busy;
    model_.Run(*doc_);
    ShowResult();
    dlgui::Changed(*doc_);
}

void CDlg_Find_SimPixelArea::ShowResult() {
    result_->SetLabel(U(model_.resultText));
    if (model_.haveColour)
        swatch_->SetBackgroundColour(wxColour(ColR(model_.colour), ColG(model_.colour), ColB(model_.colour)));
    Layout();
}

// --- balloon editor ------------------------------------------------------------------------------

CDlg_Edit_BallonTextBox::CDlg_Edit_BallonTextBox(wxWindow* parent)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL, "balloon") {
    auto* top = new wxBoxSizer(wxHORIZONTAL);
    auto* balloon = new wxButton(this, wxID_ANY, U("말풍선 수정"));
    auto* text = new wxButton(this, wxID_ANY, U("문구 수정"));
    auto* tail = new wxButton(this, wxID_ANY, U("풍선 꼬리 수정"));
    auto* move = new wxButton(this, wxID_ANY, U("풍선 이동"));
    auto* close = new wxButton(this, wxID_ANY, U("닫기"));
    for (wxButton* b : {balloon, text, tail, move, close}) top->Add(b, 0, wxALL, 4);
    SetSizerAndFit(top);
    // Both reopen the text dialog on the balloon layer with the balloon
    // tail tool current, and rebuild the balloon around the new text with
    // its stored tail point.
    auto edit = [this](wxCommandEvent&) {
        CVexoDoc* doc = dlgui::ActiveDoc();
        LayerRecord* L = doc ? doc->CurrentLayerPtr() : nullptr;
        if (!L || L->kind != LayerBalloon) return;
        textlayer::TextDialogValues v;
        v.settings = textlayer::SettingsOfLayer(*L);
        v.text = textlayer::TextOfLayer(*L);
        if (!dlgui::RunTextDialog(this, v, true)) return;
        if (!tools::EditBalloon(*doc, v)) return;
        if (dlgui::Host().setTextSettings) dlgui::Host().setTextSettings(v.settings);
        dlgui::Changed(*doc);
    };
    balloon->Bind(wxEVT_BUTTON, edit);
    text->Bind(wxEVT_BUTTON, edit);
    tail->Bind(wxEVT_BUTTON, [](wxCommandEvent&) {
        if (CVexoDoc* doc = dlgui::ActiveDoc()) {
            doc->Host().SwitchTool(textlayer::kBalloonTailTool);
            if (dlgui::Host().focusView) dlgui::Host().focusView();
        }
    });
    move->Bind(wxEVT_BUTTON, [](wxCommandEvent&) {
        if (CVexoDoc* doc = dlgui::ActiveDoc()) {
            RunTableCommand(*doc, 1570);
            if (dlgui::Host().focusView) dlgui::Host().focusView();
        }
    });
    close->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        if (hide) hide();
    });
    dlgui::NameUnnamed(this);
}
