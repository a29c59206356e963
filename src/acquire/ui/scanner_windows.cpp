#include "scanner_windows.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/gauge.h>
#include <wx/listctrl.h>
#include <wx/scrolwin.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <cmath>
#include <cstdio>

namespace acquire {

namespace {
wxString U(const std::string& s) { return wxString::FromUTF8(s); }
std::string S(const wxString& s) { return std::string(s.utf8_str()); }

std::string NumberText(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}
}  // namespace

// --- device list ------------------------------------------------------------------

bool RunDeviceListDialog(wxWindow* parent, const std::vector<SourceIdentity>& devices, SourceIdentity& chosen) {
    wxDialog dlg(parent, wxID_ANY, U("외부장치 선택"), wxDefaultPosition, wxSize(560, 300),
                 wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    auto* list = new wxListCtrl(&dlg, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLC_REPORT | wxLC_SINGLE_SEL);
    list->AppendColumn(U("제조사"), wxLIST_FORMAT_LEFT, 120);
    list->AppendColumn(U("모델"), wxLIST_FORMAT_LEFT, 170);
    list->AppendColumn(U("종류"), wxLIST_FORMAT_LEFT, 110);
    list->AppendColumn(U("이름"), wxLIST_FORMAT_LEFT, 130);
    long selected = devices.empty() ? -1 : 0;
    for (size_t i = 0; i < devices.size(); ++i) {
        const SourceIdentity& d = devices[i];
        long row = list->InsertItem(long(i), U(d.vendor));
        list->SetItem(row, 1, U(d.model));
        list->SetItem(row, 2, U(d.type));
        list->SetItem(row, 3, U(d.name));
        if (d.name == chosen.name) selected = long(i);
    }
    if (selected >= 0) {
        list->SetItemState(selected, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                           wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
        list->EnsureVisible(selected);
    }
    sizer->Add(new wxStaticText(&dlg, wxID_ANY, devices.empty() ? U("연결된 장치가 없습니다.") : U("사용할 장치를 고르십시오.")),
               0, wxALL, 8);
    sizer->Add(list, 1, wxEXPAND | wxLEFT | wxRIGHT, 8);
    sizer->Add(dlg.CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 8);
    dlg.SetSizer(sizer);
    if (wxWindow* ok = dlg.FindWindow(wxID_OK)) ok->Enable(!devices.empty());
    list->Bind(wxEVT_LIST_ITEM_ACTIVATED, [&dlg](wxListEvent&) { dlg.EndModal(wxID_OK); });
    list->SetFocus();
    if (dlg.ShowModal() != wxID_OK) return false;
    long row = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    if (row < 0 || size_t(row) >= devices.size()) return false;
    chosen = devices[size_t(row)];
    return true;
}

// --- scan dialog --------------------------------------------------------------------

ScanDialog::ScanDialog(wxWindow* parent, const SourceIdentity& device, ScanOptions& options, int pages)
    : wxDialog(parent, wxID_ANY, U("외부이미지 입력"), wxDefaultPosition, wxSize(520, 560),
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      options_(options) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    std::string name = device.vendor.empty() ? device.name : device.vendor + " " + device.model + " (" + device.name + ")";
    sizer->Add(new wxStaticText(this, wxID_ANY, U(name)), 0, wxALL, 8);
    panel_ = new wxScrolledWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxVSCROLL);
    panel_->SetScrollRate(0, 12);
    sizer->Add(panel_, 1, wxEXPAND | wxLEFT | wxRIGHT, 8);
    auto* pagesRow = new wxBoxSizer(wxHORIZONTAL);
    pagesRow->Add(new wxStaticText(this, wxID_ANY, U("급지 장치에서 읽을 쪽 수 (0: 전부)")), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
    pages_ = new wxSpinCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 0, 9999,
                            pages < 0 ? 0 : pages);
    pagesRow->Add(pages_, 0);
    sizer->Add(pagesRow, 0, wxALL, 8);
    error_ = new wxStaticText(this, wxID_ANY, "");
    error_->SetForegroundColour(wxColour(180, 0, 0));
    sizer->Add(error_, 0, wxLEFT | wxRIGHT | wxEXPAND, 8);
    auto* buttons = new wxStdDialogButtonSizer;
    auto* scan = new wxButton(this, wxID_OK, U("스캔"));
    scan->SetDefault();
    buttons->AddButton(scan);
    buttons->AddButton(new wxButton(this, wxID_CANCEL, U("취소")));
    buttons->Realize();
    sizer->Add(buttons, 0, wxEXPAND | wxALL, 8);
    SetSizer(sizer);
    Bind(wxEVT_BUTTON, &ScanDialog::OnScan, this, wxID_OK);
    Build();
    scan->SetFocus();
}

int ScanDialog::Pages() const { return pages_->GetValue(); }

void ScanDialog::Build() {
    rebuilding_ = true;
    texts_.clear();
    panel_->DestroyChildren();
    auto* grid = new wxFlexGridSizer(2, 6, 10);
    grid->AddGrowableCol(1, 1);
    panel_->SetSizer(grid);
    std::string group;
    for (const ScanOption& o : options_.All()) {
        if (!o.Shown()) continue;
        if (o.group != group) {
            group = o.group;
            auto* heading = new wxStaticText(panel_, wxID_ANY, U(group));
            heading->SetFont(heading->GetFont().Bold());
            grid->Add(heading, 0, wxTOP, 6);
            grid->AddSpacer(0);
        }
        AddOption(o);
    }
    panel_->FitInside();
    panel_->Layout();
    rebuilding_ = false;
}

void ScanDialog::AddOption(const ScanOption& o) {
    auto* grid = static_cast<wxFlexGridSizer*>(panel_->GetSizer());
    std::string label = o.title;
    if (!o.UnitText().empty()) label += " (" + o.UnitText() + ")";
    auto* text = new wxStaticText(panel_, wxID_ANY, U(label));
    if (!o.description.empty()) text->SetToolTip(U(o.description));
    grid->Add(text, 0, wxALIGN_CENTER_VERTICAL);
    const std::string name = o.name;
    wxWindow* control = nullptr;
    if (o.type == SANE_TYPE_BOOL) {
        auto* box = new wxCheckBox(panel_, wxID_ANY, "");
        box->SetValue(o.value == "yes");
        box->Bind(wxEVT_CHECKBOX, [this, name](wxCommandEvent& e) { Apply(name, e.IsChecked() ? "yes" : "no"); });
        control = box;
    } else if (o.constraint == ScanOption::Constraint::Texts || o.constraint == ScanOption::Constraint::Numbers) {
        auto* choice = new wxChoice(panel_, wxID_ANY);
        std::vector<std::string> values;
        if (o.constraint == ScanOption::Constraint::Texts) values = o.texts;
        else for (double n : o.numbers) values.push_back(NumberText(n));
        int sel = -1;
        for (size_t i = 0; i < values.size(); ++i) {
            choice->Append(U(values[i]));
            const bool same = o.constraint == ScanOption::Constraint::Texts
                                  ? values[i] == o.value
                                  : std::fabs(o.numbers[i] - o.Number()) < 1e-6;
            if (same) sel = int(i);
        }
        if (sel >= 0) choice->SetSelection(sel);
        choice->Bind(wxEVT_CHOICE, [this, name, values](wxCommandEvent& e) {
            if (e.GetSelection() >= 0 && size_t(e.GetSelection()) < values.size()) Apply(name, values[size_t(e.GetSelection())]);
        });
        control = choice;
    } else if (o.constraint == ScanOption::Constraint::Range && o.type == SANE_TYPE_INT) {
        auto* spin = new wxSpinCtrl(panel_, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS,
                                    int(o.min), int(o.max), int(o.Number()));
        if (o.quant > 1) spin->SetIncrement(int(o.quant));
        spin->Bind(wxEVT_SPINCTRL, [this, name](wxSpinEvent& e) { Apply(name, std::to_string(e.GetPosition())); });
        control = spin;
    } else if (o.constraint == ScanOption::Constraint::Range) {
        auto* spin = new wxSpinCtrlDouble(panel_, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                          wxSP_ARROW_KEYS, o.min, o.max, o.Number(), o.quant > 0 ? o.quant : 0.1);
        spin->SetDigits(o.quant > 0 && o.quant >= 1 ? 0 : 2);
        spin->Bind(wxEVT_SPINCTRLDOUBLE, [this, name](wxSpinDoubleEvent& e) { Apply(name, NumberText(e.GetValue())); });
        control = spin;
    } else {
        auto* edit = new wxTextCtrl(panel_, wxID_ANY, U(o.value), wxDefaultPosition, wxDefaultSize, wxTE_PROCESS_ENTER);
        edit->Bind(wxEVT_TEXT_ENTER, [this, name, edit](wxCommandEvent&) { Apply(name, S(edit->GetValue())); });
        edit->Bind(wxEVT_KILL_FOCUS, [this, name, edit](wxFocusEvent& e) {
            if (!rebuilding_) Apply(name, S(edit->GetValue()));
            e.Skip();
        });
        texts_.emplace_back(name, edit);
        control = edit;
    }
    if (!o.description.empty()) control->SetToolTip(U(o.description));
    grid->Add(control, 1, wxEXPAND);
}

void ScanDialog::Apply(const std::string& name, const std::string& value) {
    if (rebuilding_) return;
    const ScanOption* o = options_.Find(name);
    if (o && o->value == value) return;
    std::string error;
    bool reloaded = false;
    const bool ok = options_.Set(name, value, error, &reloaded);
    error_->SetLabel(ok ? wxString() : U(error));
    // Options may come and go with this value; a failed value shows the
    // device's own again. The controls are rebuilt after this event.
    if (reloaded || !ok) CallAfter([this] { Build(); });
}

void ScanDialog::ApplyTexts() {
    const auto texts = texts_;
    for (const auto& [name, w] : texts)
        if (auto* edit = wxDynamicCast(w, wxTextCtrl)) Apply(name, S(edit->GetValue()));
}

void ScanDialog::OnScan(wxCommandEvent&) {
    ApplyTexts();
    EndModal(wxID_OK);
}

// --- progress -----------------------------------------------------------------------

ScanProgressDialog::ScanProgressDialog(wxWindow* parent, std::function<void()> onCancel)
    : wxDialog(parent, wxID_ANY, U("스캔 중"), wxDefaultPosition, wxDefaultSize, wxCAPTION),
      onCancel_(std::move(onCancel)) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    label_ = new wxStaticText(this, wxID_ANY, U("1쪽을 읽는 중..."));
    sizer->Add(label_, 0, wxALL | wxEXPAND, 10);
    gauge_ = new wxGauge(this, wxID_ANY, 100, wxDefaultPosition, wxSize(320, -1));
    sizer->Add(gauge_, 0, wxLEFT | wxRIGHT | wxEXPAND, 10);
    auto* cancel = new wxButton(this, wxID_CANCEL, U("취소"));
    sizer->Add(cancel, 0, wxALL | wxALIGN_RIGHT, 10);
    SetSizerAndFit(sizer);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Cancel(); }, wxID_CANCEL);
    // Escape and the window's close ask to cancel; the window stays until
    // the transfers have ended.
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& e) {
        if (finished_) e.Skip();
        else Cancel();
    });
    SetEscapeId(wxID_NONE);
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& e) {
        if (e.GetKeyCode() == WXK_ESCAPE) Cancel();
        else e.Skip();
    });
    cancel->SetFocus();
    CentreOnParent();
}

void ScanProgressDialog::SetPage(int page, int percent) {
    if (cancelled_) return;
    label_->SetLabel(wxString::Format(U("%d쪽을 읽는 중..."), page));
    gauge_->SetValue(std::max(0, std::min(100, percent)));
}

void ScanProgressDialog::Cancel() {
    if (cancelled_ || finished_) return;
    cancelled_ = true;
    label_->SetLabel(U("취소하는 중..."));
    if (onCancel_) onCancel_();
}

void ScanProgressDialog::Finish() {
    finished_ = true;
    if (IsModal()) EndModal(wxID_OK);
}

}  // namespace acquire
