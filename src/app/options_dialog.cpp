#include "options_dialog.h"

#include <wx/radiobox.h>
#include <wx/simplebook.h>
#include <wx/spinbutt.h>
#include <wx/spinctrl.h>

#include <algorithm>

#include "command_ids.h"
#include "memory_budget.h"

const int32_t kSwatchColours[16] = {
    0xFFFFFF, 0xC0C0C0, 0x808080, 0x000000, 0x000080, 0x0000FF, 0x008080, 0x00FFFF,
    0x008000, 0x00FF00, 0x808000, 0xFFFF00, 0x800000, 0xFF0000, 0x800080, 0xFF00FF,
};

namespace {

wxString U(const char* s) { return wxString::FromUTF8(s); }
wxColour ToColour(int32_t c) { return wxColour(uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)); }

class CDlg_SetEnvironment : public wxDialog {
public:
    CDlg_SetEnvironment(wxWindow* parent, const AppSettings& s)
        : wxDialog(parent, wxID_ANY, U("환경설정"), wxDefaultPosition, wxSize(480, -1)) {
        v_.gridGapText = s.gridGap < 0 ? -s.gridGap : s.gridGap;
        v_.gridColour = s.gridColour;
        v_.pathSeg = s.pathSegColour;
        v_.pathPoint = s.pathPointColour;
        v_.backdrop = s.transpRep;
        v_.cursorButton = s.cursor >= 1 && s.cursor <= 5 ? s.cursor - 1 : 4;
        v_.showBrowser = s.ws[1] != 0;
        v_.tintedSelection = s.rs != 0;
        v_.startupOption = s.ud != 0;
        v_.memoryBudgetMB = s.memoryBudgetMB;

        auto* top = new wxBoxSizer(wxVERTICAL);
        auto* buttons = new wxBoxSizer(wxHORIZONTAL);
        const char* pages[5] = {"커서", "배경무늬", "격자", "경로", "시작/표시"};
        for (int i = 0; i < 5; ++i) {
            auto* b = new wxButton(this, cmd::EventId(5080 + i), U(pages[i]));
            buttons->Add(b, 1, wxALL, 2);
            b->Bind(wxEVT_BUTTON, [this, i](wxCommandEvent&) { book_->SetSelection(size_t(i)); });
        }
        top->Add(buttons, 0, wxEXPAND);
        book_ = new wxSimplebook(this);

        // Cursor.
        auto* p0 = new wxPanel(book_);
        wxString cursors[5] = {U("화살표"), U("위 화살표"), U("프로그램 커서"), U("텍스트"), U("십자")};
        cursorBox_ = new wxRadioBox(p0, wxID_ANY, U("기본 커서"), wxPoint(8, 8), wxDefaultSize, 5, cursors, 1);
        cursorBox_->SetSelection(v_.cursorButton);
        book_->AddPage(p0, pages[0]);

        // Backdrop.
        auto* p1 = new wxPanel(book_);
        wxString hatches[6] = {U("가로줄"), U("세로줄"), U("사선 \\"), U("사선 /"), U("격자"), U("사선 격자")};
        backdropBox_ = new wxRadioBox(p1, wxID_ANY, U("투명 배경 무늬"), wxPoint(8, 8), wxDefaultSize, 6, hatches, 2);
        backdropBox_->SetSelection(v_.backdrop >= 0 && v_.backdrop <= 5 ? v_.backdrop : 3);
        book_->AddPage(p1, pages[1]);

        // Grid.
        auto* p2 = new wxPanel(book_);
        auto* g = new wxBoxSizer(wxVERTICAL);
        auto* row = new wxBoxSizer(wxHORIZONTAL);
        row->Add(new wxStaticText(p2, wxID_ANY, U("격자간격  ")), 0, wxALIGN_CENTER_VERTICAL);
        gapEdit_ = new wxTextCtrl(p2, 1262, wxString::Format("%d", v_.gridGapText), wxDefaultPosition, wxSize(60, -1));
        row->Add(gapEdit_, 0);
        spin_ = new wxSpinButton(p2, 1173);
        spin_->SetRange(4, 40);
        spin_->SetValue(std::min(40, std::max(4, v_.gridGapText)));
        spin_->Bind(wxEVT_SPIN, [this](wxSpinEvent& e) { gapEdit_->ChangeValue(wxString::Format("%d", e.GetPosition())); });
        row->Add(spin_, 0);
        g->Add(row, 0, wxALL, 6);
        g->Add(new wxStaticText(p2, wxID_ANY, U("컬러지정")), 0, wxLEFT, 6);
        g->Add(Swatches(p2, 0), 0, wxALL, 6);
        gridSample_ = new wxPanel(p2, wxID_ANY, wxDefaultPosition, wxSize(120, 16));
        g->Add(gridSample_, 0, wxALL, 6);
        p2->SetSizer(g);
        book_->AddPage(p2, pages[2]);

        // Path.
        auto* p3 = new wxPanel(book_);
        auto* pth = new wxBoxSizer(wxVERTICAL);
        segRadio_ = new wxRadioButton(p3, cmd::EventId(5015), U("경로선분"), wxDefaultPosition, wxDefaultSize, wxRB_GROUP);
        pointRadio_ = new wxRadioButton(p3, cmd::EventId(5016), U("경로점"));
        segRadio_->SetValue(true);
        pth->Add(segRadio_, 0, wxALL, 4);
        pth->Add(pointRadio_, 0, wxALL, 4);
        pth->Add(Swatches(p3, 1), 0, wxALL, 6);
        auto* samples = new wxBoxSizer(wxHORIZONTAL);
        segSample_ = new wxPanel(p3, wxID_ANY, wxDefaultPosition, wxSize(60, 16));
        pointSample_ = new wxPanel(p3, wxID_ANY, wxDefaultPosition, wxSize(60, 16));
        samples->Add(segSample_, 0, wxALL, 4);
        samples->Add(pointSample_, 0, wxALL, 4);
        pth->Add(samples);
        p3->SetSizer(pth);
        book_->AddPage(p3, pages[3]);

        // Start-up and display.
        auto* p4 = new wxPanel(book_);
        auto* st = new wxBoxSizer(wxVERTICAL);
        browserCheck_ = new wxCheckBox(p4, wxID_ANY, U("프로그램 시작시 이미지 열기 창 보임"));
        tintCheck_ = new wxCheckBox(p4, wxID_ANY, U("선택영역을 다른 톤으로 구별하여 나타내기"));
        udCheck_ = new wxCheckBox(p4, wxID_ANY, U("시작할 때 새 버전 확인 안 함"));
        browserCheck_->SetValue(v_.showBrowser);
        tintCheck_->SetValue(v_.tintedSelection);
        udCheck_->SetValue(v_.startupOption);
        for (auto* c : {browserCheck_, tintCheck_, udCheck_}) st->Add(c, 0, wxALL, 6);
        // The memory the documents may take together (0: half of the
        // physical memory).
        auto* mem = new wxBoxSizer(wxHORIZONTAL);
        mem->Add(new wxStaticText(p4, wxID_ANY, U("문서 메모리 한도(MB, 0 = 자동)")), 0,
                 wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
        memorySpin_ = new wxSpinCtrl(p4, wxID_ANY, wxString::Format("%lld", (long long)v_.memoryBudgetMB),
                                     wxDefaultPosition, wxSize(160, -1), wxSP_ARROW_KEYS, 0,
                                     int(config::kMaxMemoryBudgetMB), int(v_.memoryBudgetMB));
        mem->Add(memorySpin_, 0);
        st->Add(mem, 0, wxALL, 6);
        st->Add(new wxStaticText(p4, wxID_ANY,
                                 wxString::Format(U("자동이면 물리 메모리의 절반 (%lld MB)"),
                                                  (long long)(docmem::DefaultBudgetBytes() >> 20))),
                0, wxLEFT | wxRIGHT, 6);
        p4->SetSizer(st);
        book_->AddPage(p4, pages[4]);

        top->Add(book_, 1, wxEXPAND | wxALL, 6);
        top->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 6);
        SetSizerAndFit(top);
        SetSize(wxSize(480, GetSize().y));
        ShowSamples();
        // Opens on the grid page with the gap selected.
        book_->SetSelection(2);
        gapEdit_->SetFocus();
        gapEdit_->SelectAll();
    }

    OptionsValues Values() {
        long gap = 0;
        if (!gapEdit_->GetValue().ToLong(&gap)) gap = 4;
        v_.gridGapText = int(std::max(-1000000L, std::min(1000000L, gap)));
        v_.backdrop = backdropBox_->GetSelection();
        v_.cursorButton = cursorBox_->GetSelection();
        v_.showBrowser = browserCheck_->GetValue();
        v_.tintedSelection = tintCheck_->GetValue();
        v_.startupOption = udCheck_->GetValue();
        v_.memoryBudgetMB = memorySpin_->GetValue();
        return v_;
    }

private:
    wxSizer* Swatches(wxWindow* parent, int group) {
        auto* grid = new wxGridSizer(2, 8, 2, 2);
        for (int i = 0; i < 16; ++i) {
            auto* b = new wxButton(parent, cmd::EventId(5040 + i), "", wxDefaultPosition, wxSize(22, 22),
                                   wxBORDER_SIMPLE);
            b->SetBackgroundColour(ToColour(kSwatchColours[i]));
            b->Bind(wxEVT_BUTTON, [this, i, group](wxCommandEvent&) {
                if (group == 0)
                    v_.gridColour = kSwatchColours[i];
                else if (segRadio_->GetValue())
                    v_.pathSeg = kSwatchColours[i];
                else
                    v_.pathPoint = kSwatchColours[i];
                ShowSamples();
            });
            grid->Add(b);
        }
        return grid;
    }
    void ShowSamples() {
        if (gridSample_) gridSample_->SetBackgroundColour(ToColour(v_.gridColour));
        if (segSample_) segSample_->SetBackgroundColour(ToColour(v_.pathSeg));
        if (pointSample_) pointSample_->SetBackgroundColour(ToColour(v_.pathPoint));
        Refresh();
    }

    OptionsValues v_;
    wxSimplebook* book_ = nullptr;
    wxRadioBox *cursorBox_ = nullptr, *backdropBox_ = nullptr;
    wxTextCtrl* gapEdit_ = nullptr;
    wxSpinButton* spin_ = nullptr;
    wxPanel *gridSample_ = nullptr, *segSample_ = nullptr, *pointSample_ = nullptr;
    wxRadioButton *segRadio_ = nullptr, *pointRadio_ = nullptr;
    wxCheckBox *browserCheck_ = nullptr, *tintCheck_ = nullptr, *udCheck_ = nullptr;
    wxSpinCtrl* memorySpin_ = nullptr;
};

}  // namespace

bool RunOptionsDialog(wxWindow* parent, AppSettings& settings) {
    CDlg_SetEnvironment dlg(parent, settings);
    if (dlg.ShowModal() != wxID_OK) return false;
    ApplyOptions(dlg.Values(), settings);
    return true;
}
