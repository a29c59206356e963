#include "paint_panels.h"

namespace {
wxString U(const char* s) { return wxString::FromUTF8(s); }
}  // namespace

// --- brush settings ------------------------------------------------------------------

CDlg_SetBrush::CDlg_SetBrush(wxWindow* parent, tools::ToolBox& box)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxSize(220, 190)), box_(box), model_(box.Settings()) {
    SetName(U("붓굵기"));
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* title = new wxStaticText(this, wxID_ANY, U("붓굵기"));
    title->SetFont(title->GetFont().Bold());
    top->Add(title, 0, wxALL, 4);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    edit_ = new wxTextCtrl(this, 4609, "", wxDefaultPosition, wxSize(48, -1));
    edit_->SetName(U("붓굵기"));
    slider_ = new wxSlider(this, 4610, box.Settings().brushSize, 1, 30, wxDefaultPosition, wxSize(140, -1),
                           wxSL_HORIZONTAL | wxSL_AUTOTICKS);
    slider_->SetName(U("붓굵기"));
    slider_->SetPageSize(1);
    slider_->SetTickFreq(1);
    row->Add(edit_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    row->Add(slider_, 1, wxALIGN_CENTER_VERTICAL);
    top->Add(row, 0, wxEXPAND | wxLEFT | wxRIGHT, 4);
    auto* presets = new wxGridSizer(2, 3, 2, 2);
    const int ids[6] = {1222, 1224, 1226, 1228, 1229, 1230};
    for (int i = 0; i < 6; ++i) {
        presets_[i] = new wxToggleButton(this, ids[i], wxString::Format("%d", paintpanels::BrushModel::kPresets[size_t(i)]),
                                         wxDefaultPosition, wxSize(40, -1));
        presets->Add(presets_[i], 0, wxEXPAND);
        presets_[i]->Bind(wxEVT_TOGGLEBUTTON, [this, i](wxCommandEvent&) {
            model_.PresetPressed(i);
            Show();
        });
    }
    top->Add(presets, 0, wxEXPAND | wxALL, 4);
    auto* modes = new wxBoxSizer(wxHORIZONTAL);
    modes->Add(new wxStaticText(this, wxID_ANY, U("굵기")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    brush_ = new wxRadioButton(this, 1163, U("붓"), wxDefaultPosition, wxDefaultSize, wxRB_GROUP);
    pencil_ = new wxRadioButton(this, 1164, U("연필"));
    modes->Add(brush_, 0, wxRIGHT, 6);
    modes->Add(pencil_);
    top->Add(modes, 0, wxALL, 4);
    SetSizer(top);

    edit_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) {
        if (showing_) return;
        model_.EditChanged(std::string(edit_->GetValue().utf8_str()));
        Show();
    });
    slider_->Bind(wxEVT_SLIDER, [this](wxCommandEvent&) {
        model_.SliderMoved(slider_->GetValue());
        Show();
    });
    brush_->Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) {
        model_.ModeChosen(1);
        Show();
    });
    pencil_->Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) {
        model_.ModeChosen(0);
        Show();
    });
    listener_ = box_.Settings().Listen([this] { Reload(); });
    Show();
}

CDlg_SetBrush::~CDlg_SetBrush() { box_.Settings().Unlisten(listener_); }

void CDlg_SetBrush::Reload() {
    if (showing_) return;
    model_.Load();
    Show();
}

void CDlg_SetBrush::Show() {
    showing_ = true;
    const wxString text = wxString::FromUTF8(model_.EditText());
    // The edit box keeps what is typed unless the value it stands for changed.
    if (edit_->GetValue() != text && wxAtoi(edit_->GetValue()) != box_.Settings().brushSize) edit_->ChangeValue(text);
    if (slider_->GetValue() != model_.Slider()) slider_->SetValue(model_.Slider());
    for (int i = 0; i < 6; ++i) presets_[i]->SetValue(model_.PressedPreset() == i);
    brush_->SetValue(model_.Mode() == 1);
    pencil_->SetValue(model_.Mode() == 0);
    showing_ = false;
}

// --- gradient --------------------------------------------------------------------------

CDlg_GradientBucket::CDlg_GradientBucket(wxWindow* parent, tools::ToolBox& box, std::function<void()> close)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxSize(520, 77)), box_(box), model_(box), close_(std::move(close)) {
    SetName(U("그라디언트 채우기"));
    auto* top = new wxBoxSizer(wxHORIZONTAL);
    auto* title = new wxStaticText(this, wxID_ANY, U("그라디언트 채우기"));
    title->SetFont(title->GetFont().Bold());
    top->Add(title, 0, wxALIGN_CENTER_VERTICAL | wxALL, 6);
    auto* pattern = new wxBoxSizer(wxVERTICAL);
    pattern->Add(new wxStaticText(this, wxID_ANY, U("패턴")));
    auto* profiles = new wxBoxSizer(wxHORIZONTAL);
    linear_ = new wxToggleButton(this, 5167, U("선형변화"));
    normal_ = new wxToggleButton(this, 5166, U("정규변화"));
    profiles->Add(linear_, 0, wxRIGHT, 2);
    profiles->Add(normal_);
    pattern->Add(profiles);
    top->Add(pattern, 0, wxALIGN_CENTER_VERTICAL | wxALL, 4);
    auto* colour = new wxBoxSizer(wxVERTICAL);
    colour->Add(new wxStaticText(this, wxID_ANY, U("색상")));
    fore_ = new wxRadioButton(this, 5164, U("전경"), wxDefaultPosition, wxDefaultSize, wxRB_GROUP);
    both_ = new wxRadioButton(this, 5165, U("전경+배경"));
    colour->Add(fore_);
    colour->Add(both_);
    top->Add(colour, 0, wxALIGN_CENTER_VERTICAL | wxALL, 4);
    top->Add(new wxStaticText(this, wxID_ANY, U("마우스드래깅으로 채우기 시작")), 1, wxALIGN_CENTER_VERTICAL | wxALL, 6);
    auto* closeButton = new wxButton(this, 1, "x", wxDefaultPosition, wxSize(24, 22));
    closeButton->SetName(U("닫기"));
    top->Add(closeButton, 0, wxALIGN_CENTER_VERTICAL | wxALL, 4);
    SetSizer(top);

    linear_->Bind(wxEVT_TOGGLEBUTTON, [this](wxCommandEvent&) { model_.ProfileChosen(1); });
    normal_->Bind(wxEVT_TOGGLEBUTTON, [this](wxCommandEvent&) { model_.ProfileChosen(2); });
    fore_->Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) { model_.ColourModeChosen(1); });
    both_->Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) { model_.ColourModeChosen(2); });
    closeButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        model_.Close();
        if (close_) close_();
    });
    listener_ = box_.Settings().Listen([this] { Reload(); });
    Reload();
}

CDlg_GradientBucket::~CDlg_GradientBucket() { box_.Settings().Unlisten(listener_); }

void CDlg_GradientBucket::Reload() {
    linear_->SetValue(model_.Profile() == 1);
    normal_->SetValue(model_.Profile() == 2);
    fore_->SetValue(model_.ColourMode() == 1);
    both_->SetValue(model_.ColourMode() == 2);
}

// --- option bar ---------------------------------------------------------------------------

COptionBar::COptionBar(wxWindow* parent, tools::ToolBox& box) : wxPanel(parent, wxID_ANY), box_(box) {
    SetName(U("옵션"));
    sizer_ = new wxBoxSizer(wxHORIZONTAL);
    SetSizer(sizer_);
    listener_ = box_.Settings().Listen([this] { Reload(); });
    Rebuild();
}

COptionBar::~COptionBar() { box_.Settings().Unlisten(listener_); }

void COptionBar::Rebuild() {
    sizer_->Clear(true);
    fields_.clear();
    const auto fields = paintpanels::OptionBar(box_);
    if (fields.empty()) sizer_->Add(new wxStaticText(this, wxID_ANY, " "), 0, wxALL, 6);
    for (const paintpanels::OptionBarField& f : fields) {
        auto* label = new wxStaticText(this, wxID_ANY, U(f.field.label));
        auto* spin = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS,
                                    f.field.min, f.field.max, f.value);
        spin->SetName(U(f.field.label));
        const tools::OptionField::Value v = f.field.value;
        spin->Bind(wxEVT_SPINCTRL, [this, v, spin](wxSpinEvent&) {
            if (!showing_) paintpanels::SetOption(box_, v, spin->GetValue());
        });
        spin->Bind(wxEVT_TEXT, [this, v, spin](wxCommandEvent&) {
            if (!showing_) paintpanels::SetOption(box_, v, spin->GetValue());
        });
        sizer_->Add(label, 0, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 6);
        sizer_->Add(spin, 0, wxALIGN_CENTER_VERTICAL | wxTOP | wxBOTTOM, 2);
        fields_.emplace_back(v, spin);
    }
    Layout();
    Refresh();
}

void COptionBar::Reload() {
    showing_ = true;
    for (auto& [v, spin] : fields_)
        if (spin->GetValue() != box_.OptionValue(v)) spin->SetValue(box_.OptionValue(v));
    showing_ = false;
}
