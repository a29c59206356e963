// Rename (3994), shadow effect (1558 / 2068), new image (57600) and the
// text dialog "글자 입력".
#include <wx/colordlg.h>
#include <wx/fontenum.h>
#include <wx/spinbutt.h>
#include <wx/spinctrl.h>

#include "CVexoDoc.h"
#include "commands.h"
#include "dialog_host.h"
#include "dialog_models.h"
#include "dialog_util.h"
#include "param_windows.h"

using dlgui::U;

namespace dlgui {

namespace {

wxSpinCtrl* SpinRow(wxWindow* parent, wxFlexGridSizer* g, const wxString& label, int lo, int hi, int value) {
    g->Add(new wxStaticText(parent, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
    auto* s = new wxSpinCtrl(parent, wxID_ANY, "", wxDefaultPosition, wxSize(110, -1), wxSP_ARROW_KEYS, lo, hi, value);
    Name(s, label);
    g->Add(s);
    return s;
}

wxChoice* ChoiceRow(wxWindow* parent, wxFlexGridSizer* g, const wxString& label, const std::vector<std::string>& items,
                    int sel) {
    g->Add(new wxStaticText(parent, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
    auto* c = new wxChoice(parent, wxID_ANY);
    for (const std::string& s : items) c->Append(U(s));
    c->SetSelection(sel);
    Name(c, label);
    g->Add(c, 0, wxEXPAND);
    return c;
}

}  // namespace

bool RunRenameDialog(wxWindow* parent, CVexoDoc& doc) {
    const LayerRecord* L = doc.CurrentLayerPtr();
    if (!L) return false;
    wxDialog dlg(parent, wxID_ANY, U("레이어 이름 변경"));
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* box = new wxTextCtrl(&dlg, wxID_ANY, U(Utf16ToUtf8(GetFixedText(L->name, 100))), wxDefaultPosition,
                               wxSize(260, -1));
    box->SetMaxLength(99);
    top->Add(Labelled(&dlg, U("레이어 이름"), box), 0, wxEXPAND | wxALL, 10);
    top->Add(OkCancel(&dlg), 0, wxEXPAND | wxALL, 8);
    dlg.SetSizerAndFit(top);
    box->SelectAll();
    box->SetFocus();
    NameUnnamed(&dlg);
    if (dlg.ShowModal() != wxID_OK) return false;
    const std::string name = S(box->GetValue());
    if (name.empty()) return false;
    const commands::NamedFn* step = commands::All().FindNamed("rename");
    const bool ok = step && (*step)(doc, name);
    Changed(doc);
    return ok;
}

bool RunShadowDialog(wxWindow* parent, CVexoDoc& doc, bool edit) {
    const LayerRecord* L = doc.CurrentLayerPtr();
    if (!L) return false;
    if (L->IsTextKind()) {
        doc.Host().MessageBox(doctext::kTextLayerRefused);
        return false;
    }
    static dlgmodel::ShadowModel m;
    if (edit) m.FromLayer(*L);
    wxDialog dlg(parent, wxID_ANY, U("레이어효과(그림자)"));
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* on = new wxCheckBox(&dlg, wxID_ANY, U("그림자 효과"));
    on->SetValue(m.on);
    top->Add(on, 0, wxALL, 10);
    auto* g = new wxFlexGridSizer(2, 6, 8);
    wxChoice* dir = ChoiceRow(&dlg, g, U("방향"), dlgmodel::ShadowModel::Directions(), m.direction);
    wxSpinCtrl* dist = SpinRow(&dlg, g, U("거리"), 1, 255, m.distance);
    wxSpinCtrl* spread = SpinRow(&dlg, g, U("퍼짐"), 1, 255, m.spread);
    wxSpinCtrl* strength = SpinRow(&dlg, g, U("진하기"), 1, 180, m.strength);
    top->Add(g, 0, wxLEFT | wxRIGHT, 10);
    top->Add(OkCancel(&dlg), 0, wxEXPAND | wxALL, 8);
    dlg.SetSizerAndFit(top);
    NameUnnamed(&dlg);
    if (dlg.ShowModal() != wxID_OK) return false;
    m.on = on->GetValue();
    m.direction = dir->GetSelection();
    m.distance = dist->GetValue();
    m.spread = spread->GetValue();
    m.strength = strength->GetValue();
    const commands::Command* c = commands::All().Find(1558);
    wxBusyCursor busy;
    const bool ok = c && c->run(doc, m.Params());
    Changed(doc);
    return ok;
}

bool RunNewImageDialog(wxWindow* parent, dlgmodel::NewImageModel& m) {
    wxDialog dlg(parent, wxID_ANY, U("새 이미지"));
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* g = new wxFlexGridSizer(2, 6, 8);
    g->Add(new wxStaticText(&dlg, wxID_ANY, U("이름")), 0, wxALIGN_CENTER_VERTICAL);
    auto* name = new wxTextCtrl(&dlg, wxID_ANY, U(m.name), wxDefaultPosition, wxSize(160, -1));
    Name(name, U("이름"));
    g->Add(name, 0, wxEXPAND);
    wxSpinCtrl* w = SpinRow(&dlg, g, U("폭"), 1, dlgmodel::NewImageModel::kMaxSide, m.width);
    wxSpinCtrl* h = SpinRow(&dlg, g, U("높이"), 1, dlgmodel::NewImageModel::kMaxSide, m.height);
    wxChoice* bg = ChoiceRow(&dlg, g, U("배경"), dlgmodel::NewImageModel::Backgrounds(), m.background);
    wxChoice* fmt = ChoiceRow(&dlg, g, U("영상형식"), dlgmodel::NewImageModel::Formats(), m.format);
    top->Add(g, 0, wxALL, 10);
    top->Add(OkCancel(&dlg), 0, wxEXPAND | wxALL, 8);
    dlg.SetSizerAndFit(top);
    NameUnnamed(&dlg);
    w->SetFocus();
    w->SetSelection(-1, -1);
    if (dlg.ShowModal() != wxID_OK) return false;
    m.SetWidth(w->GetValue());
    m.SetHeight(h->GetValue());
    if (!name->GetValue().empty()) m.name = S(name->GetValue());
    m.background = bg->GetSelection();
    m.format = fmt->GetSelection();
    return true;
}

bool RunTextDialog(wxWindow* parent, textlayer::TextDialogValues& values, bool edit) {
    dlgmodel::TextDialogModel m;
    m.settings = values.settings;
    m.text = values.text;
    wxDialog dlg(parent, wxID_ANY, edit ? U("글자 수정") : U("글자 입력"), wxDefaultPosition, wxDefaultSize,
                 wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER);
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* g = new wxFlexGridSizer(4, 6, 8);
    g->Add(new wxStaticText(&dlg, wxID_ANY, U("글꼴")), 0, wxALIGN_CENTER_VERTICAL);
    auto* face = new wxChoice(&dlg, wxID_ANY, wxDefaultPosition, wxSize(180, -1));
    wxArrayString faces = wxFontEnumerator::GetFacenames();
    faces.Sort();
    const wxString current = U(Utf16ToUtf8(m.settings.face));
    face->Append(current);
    for (const wxString& f : faces)
        if (f != current && !f.StartsWith("@")) face->Append(f);
    face->SetSelection(0);
    Name(face, U("글꼴"));
    g->Add(face);
    wxSpinCtrl* size = SpinRow(&dlg, g, U("크기"), 2, 999, m.settings.size);
    wxChoice* style = ChoiceRow(&dlg, g, U("스타일"), dlgmodel::TextDialogModel::Styles(), m.StyleIndex());
    g->Add(new wxStaticText(&dlg, wxID_ANY, U("장평(%)")), 0, wxALIGN_CENTER_VERTICAL);
    auto* widthRow = new wxBoxSizer(wxHORIZONTAL);
    auto* width = new wxTextCtrl(&dlg, wxID_ANY, U(m.WidthText()), wxDefaultPosition, wxSize(60, -1));
    auto* widthSpin = new wxSpinButton(&dlg, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxSP_VERTICAL);
    widthSpin->SetRange(-1000, 1000);
    Name(width, U("장평(%)"));
    Name(widthSpin, U("장평 조절"));
    widthRow->Add(width);
    widthRow->Add(widthSpin);
    g->Add(widthRow);
    top->Add(g, 0, wxALL, 10);
    auto* effects = new wxBoxSizer(wxHORIZONTAL);
    effects->Add(new wxStaticText(&dlg, wxID_ANY, U("효과")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
    auto* strike = new wxCheckBox(&dlg, wxID_ANY, "Strikeout");
    auto* under = new wxCheckBox(&dlg, wxID_ANY, "Underline");
    strike->SetValue(m.settings.strikeout);
    under->SetValue(m.settings.underline);
    effects->Add(strike, 0, wxRIGHT, 8);
    effects->Add(under, 0, wxRIGHT, 16);
    effects->Add(new wxStaticText(&dlg, wxID_ANY, U("글자색")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    wxColour colour(ColR(m.settings.color), ColG(m.settings.color), ColB(m.settings.color));
    auto* swatch = new wxButton(&dlg, wxID_ANY, "", wxDefaultPosition, wxSize(44, 24));
    swatch->SetBackgroundColour(colour);
    swatch->SetToolTip(U("글자색"));
    Name(swatch, U("글자색"));
    swatch->Bind(wxEVT_BUTTON, [&](wxCommandEvent&) {
        wxColourData data;
        data.SetChooseFull(true);
        data.SetColour(colour);
        wxColourDialog cd(&dlg, &data);
        if (cd.ShowModal() != wxID_OK) return;
        colour = cd.GetColourData().GetColour();
        swatch->SetBackgroundColour(colour);
    });
    effects->Add(swatch);
    top->Add(effects, 0, wxLEFT | wxRIGHT, 10);
    top->Add(new wxStaticText(&dlg, wxID_ANY, U("글자 입력")), 0, wxLEFT | wxTOP, 10);
    auto* text = new wxTextCtrl(&dlg, wxID_ANY, U(Utf16ToUtf8(m.text)), wxDefaultPosition, wxSize(380, 140),
                                wxTE_MULTILINE);
    Name(text, U("글자 입력"));
    top->Add(text, 1, wxEXPAND | wxALL, 10);
    top->Add(new wxStaticText(&dlg, wxID_ANY, U("[확인]후,이동도구[") + U("이동") + U("]로 위치조정")), 0,
             wxLEFT | wxRIGHT, 10);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    auto* ok = new wxButton(&dlg, wxID_OK, U("확인"));
    buttons->Add(ok, 0, wxRIGHT, 6);
    buttons->Add(new wxButton(&dlg, wxID_CANCEL, U("취소")));
    top->Add(buttons, 0, wxALIGN_RIGHT | wxALL, 10);
    dlg.SetSizerAndFit(top);
    width->Bind(wxEVT_KILL_FOCUS, [&](wxFocusEvent& e) {
        m.SetWidthText(S(width->GetValue()));
        width->ChangeValue(U(m.WidthText()));
        e.Skip();
    });
    auto step = [&](int d) {
        m.SetWidthText(S(width->GetValue()));
        m.StepWidth(d);
        width->ChangeValue(U(m.WidthText()));
    };
    widthSpin->Bind(wxEVT_SPIN_UP, [&](wxSpinEvent& e) { step(1); e.Veto(); });
    widthSpin->Bind(wxEVT_SPIN_DOWN, [&](wxSpinEvent& e) { step(-1); e.Veto(); });
    NameUnnamed(&dlg);
    text->SetFocus();
    for (;;) {
        if (dlg.ShowModal() != wxID_OK) return false;
        m.text = Utf8ToUtf16(S(text->GetValue()));
        m.settings.face = Utf8ToUtf16(S(face->GetStringSelection()));
        m.settings.size = size->GetValue();
        m.SetStyleIndex(style->GetSelection());
        m.SetWidthText(S(width->GetValue()));
        m.settings.strikeout = strike->GetValue();
        m.settings.underline = under->GetValue();
        m.settings.color = PackBGR(colour.Blue(), colour.Green(), colour.Red());
        if (m.Ready()) break;
        return false;   // an empty text builds nothing
    }
    values = m.Values();
    return true;
}

}  // namespace dlgui
