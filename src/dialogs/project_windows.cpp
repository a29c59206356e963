// Levels (2533), calendar (3379), photo frames (3392) and the comb pattern
// layer (4816).
#include <wx/colordlg.h>
#include <wx/dcbuffer.h>
#include <wx/fontenum.h>
#include <wx/spinbutt.h>
#include <wx/spinctrl.h>

#include <algorithm>
#include <ctime>

#include "CVexoDoc.h"
#include "commands.h"
#include "dialog_host.h"
#include "dialog_models.h"
#include "dialog_util.h"
#include "dlg_calendar.h"
#include "dlg_frame.h"
#include "dlg_levels.h"
#include "param_windows.h"

using dlgui::U;

namespace dlgui {

namespace {

// A colour swatch button that opens the colour dialog.
class Swatch : public wxButton {
public:
    Swatch(wxWindow* parent, const wxString& name, wxColour c)
        : wxButton(parent, wxID_ANY, "", wxDefaultPosition, wxSize(44, 24)), colour_(c) {
        SetBackgroundColour(c);
        SetToolTip(name);
        Name(this, name);
        Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
            wxColourData data;
            data.SetChooseFull(true);
            data.SetColour(colour_);
            wxColourDialog dlg(this, &data);
            if (dlg.ShowModal() != wxID_OK) return;
            colour_ = dlg.GetColourData().GetColour();
            SetBackgroundColour(colour_);
            Refresh();
            if (onChange) onChange(colour_);
        });
    }
    wxColour Colour() const { return colour_; }
    std::function<void(const wxColour&)> onChange;

private:
    wxColour colour_;
};

void OnSpin(wxSpinButton* spin, std::function<void(int delta)> step) {
    // A step up reports a delta of 0 or less in the program's terms.
    spin->Bind(wxEVT_SPIN_UP, [step](wxSpinEvent& e) {
        step(-1);
        e.Veto();
    });
    spin->Bind(wxEVT_SPIN_DOWN, [step](wxSpinEvent& e) {
        step(1);
        e.Veto();
    });
}

wxSpinButton* MakeSpin(wxWindow* parent, const wxString& name) {
    auto* s = new wxSpinButton(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxSP_VERTICAL);
    s->SetRange(-1000000, 1000000);
    Name(s, name);
    return s;
}

// --- levels -----------------------------------------------------------------------------

class HistogramDialog : public wxDialog {
public:
    HistogramDialog(wxWindow* parent, dlg::LevelsModel& m)
        : wxDialog(parent, wxID_ANY, U("픽셀분포조정"), wxDefaultPosition, wxSize(440, 210)), m_(m) {
        SetBackgroundStyle(wxBG_STYLE_PAINT);
        const char* labels[4] = {"RGB", "R", "G", "B"};
        const wxPoint at[4] = {{300, 32}, {300, 50}, {345, 50}, {390, 50}};
        for (int i = 0; i < 4; ++i) {
            radio_[i] = new wxRadioButton(this, 5263 + i, labels[i], at[i], wxDefaultSize, i == 0 ? wxRB_GROUP : 0);
            radio_[i]->Bind(wxEVT_RADIOBUTTON, [this, i](wxCommandEvent&) {
                m_.SetChannel(i);
                Refresh();
            });
        }
        new wxStaticText(this, wxID_ANY, U("최대도수"), wxPoint(300, 80));
        new wxStaticText(this, wxID_ANY, wxString::Format("%u", unsigned(m_.maxCount[0])), wxPoint(360, 80));
        new wxStaticText(this, wxID_ANY, U("명암범위"), wxPoint(300, 98));
        new wxStaticText(this, wxID_ANY, U(m_.RangeText()), wxPoint(360, 98));
        auto* ok = new wxButton(this, wxID_OK, U("확인"), wxPoint(325, 130), wxSize(80, 28));
        ok->SetDefault();
        auto* cancel = new wxButton(this, wxID_CANCEL, U("취소"), wxPoint(325, 162), wxSize(80, 28));
        (void)cancel;
        // The graph is drawn, not laid out: the window keeps its size.
        auto* area = new wxBoxSizer(wxVERTICAL);
        area->Add(440, 210);
        SetSizerAndFit(area);
        Bind(wxEVT_PAINT, &HistogramDialog::OnPaint, this);
        Bind(wxEVT_LEFT_DOWN, &HistogramDialog::OnMouse, this);
        Bind(wxEVT_MOTION, &HistogramDialog::OnMouse, this);
        Bind(wxEVT_LEFT_UP, &HistogramDialog::OnMouse, this);
        NameUnnamed(this);
    }

private:
    static bool InStrip(const wxPoint& p) { return p.x >= 10 && p.x <= 266 && p.y >= 150 && p.y <= 180; }

    void OnMouse(wxMouseEvent& e) {
        const wxPoint p = e.GetPosition();
        if (e.LeftDown() && InStrip(p)) {
            CaptureMouse();
            dragging_ = true;
        }
        if (!dragging_) {
            e.Skip();
            return;
        }
        if (e.LeftDown() || (e.Dragging() && e.LeftIsDown())) {
            m_.PressStrip(p.x);
            Refresh();
        }
        if (e.LeftUp()) {
            if (HasCapture()) ReleaseMouse();
            dragging_ = false;
            m_.PressStrip(p.x);
            wxBusyCursor busy;
            m_.Release();
            Refresh();
        }
    }

    void OnPaint(wxPaintEvent&) {
        wxAutoBufferedPaintDC dc(this);
        dc.SetBackground(wxBrush(GetBackgroundColour()));
        dc.Clear();
        dc.SetFont(GetFont());
        dc.DrawText(U("픽셀분포조정"), 20, 5);
        const wxColour frame(120, 140, 120);
        dc.SetPen(wxPen(frame));
        dc.SetBrush(*wxTRANSPARENT_BRUSH);
        dc.DrawRectangle(10, 28, 257, 113);
        dc.DrawLine(10, 155, 267, 155);
        dc.DrawLine(10, 167, 267, 167);
        dc.SetPen(wxPen(frame, 1, wxPENSTYLE_DOT));
        for (int x : {73, 137, 201}) dc.DrawLine(x, 28, x, 140);
        dc.SetPen(*wxBLACK_PEN);
        for (int i = 0; i < 255; ++i) {
            const int h = m_.BarHeight(i);
            if (h > 0) dc.DrawLine(i + 10, 140 - h, i + 10, 141);
        }
        wxFont small = GetFont();
        small.SetPointSize(7);
        dc.SetFont(small);
        dc.DrawText("0", 10, 143);
        dc.DrawText("127", 128, 143);
        dc.DrawText("255", 250, 143);
        dc.SetFont(GetFont());
        dc.DrawText(U("△"), m_.low + 10 - 5, 154);
        dc.DrawText(U("▲"), m_.high + 10 - 5, 154);
        dc.DrawText(wxString::Format("%d", m_.low), m_.low + 10, 170);
        dc.DrawText(wxString::Format("%d", m_.high), m_.high + 10 + 20 > 280 ? 250 : m_.high + 10, 184);
    }

    dlg::LevelsModel& m_;
    wxRadioButton* radio_[4] = {};
    bool dragging_ = false;
};

// --- calendar ---------------------------------------------------------------------------

class CalendarDialog : public wxDialog {
public:
    CalendarDialog(wxWindow* parent, dlg::CalendarModel& m)
        : wxDialog(parent, wxID_ANY, U("달력넣기"), wxPoint(0, 60), wxDefaultSize), m_(m) {
        auto* top = new wxBoxSizer(wxHORIZONTAL);
        auto* left = new wxFlexGridSizer(2, 6, 8);
        auto ymRow = [&](const wxString& label, wxTextCtrl*& box, wxSpinButton*& spin) {
            left->Add(new wxStaticText(this, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
            auto* row = new wxBoxSizer(wxHORIZONTAL);
            box = new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxSize(70, -1));
            spin = MakeSpin(this, label + U(" 조절"));
            row->Add(box, 1);
            row->Add(spin, 0);
            left->Add(row);
            Name(box, label);
        };
        ymRow(U("년"), year_, yearSpin_);
        ymRow(U("월"), month_, monthSpin_);
        left->Add(new wxStaticText(this, wxID_ANY, U("글꼴")), 0, wxALIGN_CENTER_VERTICAL);
        face_ = new wxChoice(this, 1211, wxDefaultPosition, wxSize(170, -1));
        const std::string current = Utf16ToUtf8(m_.face);
        if (!current.empty()) face_->Append(U(current));
        wxArrayString faces = wxFontEnumerator::GetFacenames();
        faces.Sort();
        for (const wxString& f : faces)
            if (!f.StartsWith("@")) face_->Append(f);
        face_->SetSelection(0);
        Name(face_, U("글꼴"));
        left->Add(face_);
        left->Add(new wxStaticText(this, wxID_ANY, U("크기")), 0, wxALIGN_CENTER_VERTICAL);
        size_ = new wxComboBox(this, 1234, U(m_.sizeText));
        size_->Append(U(m_.sizeText));
        for (int s = 2; s <= 120; s += 2) size_->Append(wxString::Format("%d", s));
        Name(size_, U("크기"));
        left->Add(size_);
        left->Add(new wxStaticText(this, wxID_ANY, U("스타일")), 0, wxALIGN_CENTER_VERTICAL);
        style_ = new wxChoice(this, 1235);
        style_->Append(U(m_.style));
        for (const char* s : {"Regular", "Italic", "Bold", "Bold Italic"}) style_->Append(s);
        style_->SetSelection(0);
        Name(style_, U("스타일"));
        left->Add(style_);
        left->Add(new wxStaticText(this, wxID_ANY, U("글자색")), 0, wxALIGN_CENTER_VERTICAL);
        swatch_ = new Swatch(this, U("글자색"), wxColour(m_.r, m_.g, m_.b));
        swatch_->onChange = [this](const wxColour& c) {
            m_.r = c.Red(), m_.g = c.Green(), m_.b = c.Blue();
        };
        left->Add(swatch_);
        auto* col = new wxBoxSizer(wxVERTICAL);
        col->Add(left, 0, wxALL, 8);
        auto* buttons = new wxBoxSizer(wxHORIZONTAL);
        auto* ok = new wxButton(this, wxID_OK, U("확인"));
        ok->SetDefault();
        buttons->Add(ok, 0, wxRIGHT, 6);
        buttons->Add(new wxButton(this, wxID_CANCEL, U("취소")));
        col->Add(buttons, 0, wxLEFT | wxRIGHT, 8);
        col->Add(new wxStaticText(this, wxID_ANY, U("[확인] 후, 툴바의 이동 도구로 달력의 위치를 조정함"),
                                  wxDefaultPosition, wxSize(290, -1)),
                 0, wxALL, 8);
        top->Add(col, 0);
        preview_ = new wxTextCtrl(this, 1153, "", wxDefaultPosition, wxSize(330, 240),
                                  wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP);
        Name(preview_, U("달력 미리보기"));
        top->Add(preview_, 1, wxEXPAND | wxALL, 8);
        SetSizerAndFit(top);

        year_->ChangeValue(wxString::Format("%lld", static_cast<long long>(m_.year)));
        month_->ChangeValue(wxString::Format("%d", m_.month));
        year_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) {
            m_.SetYear(LeadingInt(year_->GetValue()));
            ShowText();
        });
        month_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) {
            m_.SetMonth(int(LeadingInt(month_->GetValue())));
            ShowText();
        });
        OnSpin(yearSpin_, [this](int d) {
            m_.SpinYear(d);
            year_->ChangeValue(wxString::Format("%lld", static_cast<long long>(m_.year)));
            ShowText();
        });
        OnSpin(monthSpin_, [this](int d) {
            m_.SpinMonth(d);
            month_->ChangeValue(wxString::Format("%d", m_.month));
            ShowText();
        });
        auto restyle = [this](wxCommandEvent&) {
            m_.face = Utf8ToUtf16(S(face_->GetStringSelection()));
            m_.sizeText = S(size_->GetValue());
            m_.style = S(style_->GetStringSelection());
            ShowText();
        };
        face_->Bind(wxEVT_CHOICE, restyle);
        style_->Bind(wxEVT_CHOICE, restyle);
        size_->Bind(wxEVT_TEXT, restyle);
        size_->Bind(wxEVT_COMBOBOX, restyle);
        ShowText();
        NameUnnamed(this);
    }

private:
    void ShowText() {
        wxString text = U(m_.text);
        text.Replace("\r\n", "\n");
        preview_->ChangeValue(text);
        wxFontInfo info(wxSize(0, m_.DrawHeight()));
        info.FaceName(U(Utf16ToUtf8(m_.face)));
        if (m_.style.find("Bold") != std::string::npos) info.Bold();
        if (m_.style == "Italic" || m_.style == "Bold Italic") info.Italic();
        preview_->SetFont(wxFont(info));
    }
    dlg::CalendarModel& m_;
    wxTextCtrl *year_, *month_, *preview_;
    wxSpinButton *yearSpin_, *monthSpin_;
    wxChoice *face_, *style_;
    wxComboBox* size_;
    Swatch* swatch_;
};

// --- photo frames ---------------------------------------------------------------------------

class FrameDialog : public wxDialog {
public:
    FrameDialog(wxWindow* parent, dlg::PhotoFrameModel& m)
        : wxDialog(parent, wxID_ANY, U("액자틀 선택"), wxPoint(0, 60), wxDefaultSize), m_(m) {
        auto* top = new wxBoxSizer(wxHORIZONTAL);
        for (int i = 0; i < 4; ++i) {
            auto* b = new wxButton(this, 5341 + i, wxString::Format("%d", i), wxDefaultPosition, wxSize(36, 30));
            const wxString tip = wxString::Format(U("사진틀 %d 선택"), i);
            b->SetToolTip(tip);
            Name(b, tip);
            b->Bind(wxEVT_BUTTON, [this, i](wxCommandEvent&) {
                m_.SetStyle(i);
                Shown();
            });
            top->Add(b, 0, wxALL, 3);
        }
        top->Add(new wxStaticText(this, wxID_ANY, U("색상지정")), 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 10);
        swatch_ = new Swatch(this, U("색상지정"), wxColour(m_.first.r, m_.first.g, m_.first.b));
        swatch_->onChange = [this](const wxColour& c) {
            m_.SetFirstColour(dlg::FrameColour{c.Red(), c.Green(), c.Blue()});
            Shown();
        };
        top->Add(swatch_, 0, wxALIGN_CENTER_VERTICAL | wxALL, 4);
        top->Add(new wxStaticText(this, wxID_ANY, U("틀의두께")), 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 10);
        thickness_ = new wxTextCtrl(this, 3357, wxString::Format("%d", m_.thickness), wxDefaultPosition, wxSize(50, -1));
        Name(thickness_, U("틀의두께"));
        auto* spin = MakeSpin(this, U("틀의두께 조절"));
        top->Add(thickness_, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 4);
        top->Add(spin, 0, wxALIGN_CENTER_VERTICAL);
        auto* ok = new wxButton(this, wxID_OK, U("확인"));
        ok->SetDefault();
        top->Add(ok, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 12);
        top->Add(new wxButton(this, wxID_CANCEL, U("취소")), 0, wxALIGN_CENTER_VERTICAL | wxALL, 4);
        SetSizerAndFit(top);
        thickness_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) {
            if (updating_) return;
            const long t = LeadingInt(thickness_->GetValue());
            if (t >= 1 && t <= 300 && m_.SetThickness(int(t))) Shown();
        });
        OnSpin(spin, [this](int d) {
            m_.Spin(d);
            updating_ = true;
            thickness_->ChangeValue(wxString::Format("%d", m_.thickness));
            updating_ = false;
            Shown();
        });
        NameUnnamed(this);
    }
    std::function<void()> onChange;

private:
    void Shown() {
        if (onChange) onChange();
    }
    dlg::PhotoFrameModel& m_;
    Swatch* swatch_;
    wxTextCtrl* thickness_;
    bool updating_ = false;
};

// --- comb pattern -------------------------------------------------------------------------------

class PatternDialog : public wxDialog {
public:
    PatternDialog(wxWindow* parent, dlgmodel::PatternModel& m)
        : wxDialog(parent, wxID_ANY, U("빗살무뉘넣기")), m_(m) {
        auto* top = new wxBoxSizer(wxVERTICAL);
        auto* g = new wxFlexGridSizer(2, 6, 8);
        g->Add(new wxStaticText(this, wxID_ANY, U("간격")), 0, wxALIGN_CENTER_VERTICAL);
        spacing_ = new wxSpinCtrl(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 2, 256,
                                  m_.spacing);
        Name(spacing_, U("간격"));
        g->Add(spacing_);
        g->Add(new wxStaticText(this, wxID_ANY, U("선 두께")), 0, wxALIGN_CENTER_VERTICAL);
        thickness_ = new wxSpinCtrl(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, 1, 256,
                                    m_.thickness);
        Name(thickness_, U("선 두께"));
        g->Add(thickness_);
        g->Add(new wxStaticText(this, wxID_ANY, U("색상")), 0, wxALIGN_CENTER_VERTICAL);
        auto* swatch = new Swatch(this, U("색상"), wxColour(m_.r, m_.g, m_.b));
        swatch->onChange = [this](const wxColour& c) { m_.r = c.Red(), m_.g = c.Green(), m_.b = c.Blue(); };
        g->Add(swatch);
        top->Add(g, 0, wxALL, 10);
        top->Add(OkCancel(this), 0, wxEXPAND | wxALL, 8);
        SetSizerAndFit(top);
        NameUnnamed(this);
    }
    void Collect() {
        m_.SetSpacing(spacing_->GetValue());
        m_.SetThickness(thickness_->GetValue());
    }

private:
    dlgmodel::PatternModel& m_;
    wxSpinCtrl *spacing_, *thickness_;
};

}  // namespace

bool RunLevelsDialog(wxWindow* parent, CVexoDoc& doc) {
    dlg::LevelsModel m;
    doc.Host().StopSelectionTimer(doc);
    if (!m.Open(doc)) return false;
    HistogramDialog dlg(parent, m);
    const bool ok = dlg.ShowModal() == wxID_OK;
    if (ok)
        m.Keep();
    else
        m.Cancel();
    if (doc.selectionActive) doc.Host().StartSelectionTimer(doc, 400);
    Changed(doc);
    return ok;
}

bool RunCalendarDialog(wxWindow* parent, CVexoDoc& doc) {
    if (!doc.Host().SwitchTool(3379)) return false;
    doc.Host().StopSelectionTimer(doc);
    const int cur = doc.currentLayer;
    if (IsValidLayer(cur)) {
        if (doc.preview.layers[cur].pixels) doc.live.layers[cur].CopyFrom(doc.preview.layers[cur]);
        doc.prevState.layers[cur].CopyFrom(doc.live.layers[cur]);
    }
    dlg::CalendarModel m;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    m.Init(local.tm_year + 1900, local.tm_mon + 1);
    if (Host().textSettings) m.face = Host().textSettings().face;
    if (Host().textColour) {
        const uint32_t c = Host().textColour();
        m.r = uint8_t(c), m.g = uint8_t(c >> 8), m.b = uint8_t(c >> 16);
    }
    CalendarDialog dlg(parent, m);
    bool ok = false;
    if (dlg.ShowModal() == wxID_OK) {
        wxBusyCursor busy;
        ok = dlg::DrawCalendarLayer(doc, m);
        // The main frame keeps the face and colour for the next text.
        if (Host().textSettings && Host().setTextSettings) {
            textlayer::TextSettings s = Host().textSettings();
            s.face = m.face;
            Host().setTextSettings(s);
        }
        if (Host().setTextColour) Host().setTextColour(uint32_t(m.r) | uint32_t(m.g) << 8 | uint32_t(m.b) << 16);
    } else if (IsValidLayer(cur) && doc.preview.layers[cur].pixels) {
        doc.live.layers[cur].CopyFrom(doc.preview.layers[cur]);
    }
    doc.Host().SwitchTool(-1);
    doc.Host().SetCurrentCommand(-1);
    doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, true);
    Changed(doc);
    return ok;
}

bool RunPhotoFrameDialog(wxWindow* parent, CVexoDoc& doc) {
    dlg::PhotoFrameModel m;
    if (Host().foreColour) {
        const uint32_t c = Host().foreColour();
        m.first = dlg::FrameColour{uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)};
    }
    if (Host().backColour) {
        const uint32_t c = Host().backColour();
        m.second = dlg::FrameColour{uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)};
    }
    if (!m.Open(doc)) return false;
    Changed(doc);
    FrameDialog dlg(parent, m);
    dlg.onChange = [&doc] { Changed(doc); };
    const bool ok = dlg.ShowModal() == wxID_OK;
    if (ok)
        m.Ok();
    else
        m.Cancel();
    doc.Host().SwitchTool(-1);
    doc.Host().SetCurrentCommand(-1);
    doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, true);
    Changed(doc);
    return ok;
}

bool RunPatternDialog(wxWindow* parent, CVexoDoc& doc) {
    static dlgmodel::PatternModel m;   // the last values are offered again
    if (Host().foreColour) {
        const uint32_t c = Host().foreColour();
        m.r = uint8_t(c), m.g = uint8_t(c >> 8), m.b = uint8_t(c >> 16);
    }
    PatternDialog dlg(parent, m);
    if (dlg.ShowModal() != wxID_OK) return false;
    dlg.Collect();
    const commands::NamedFn* step = commands::All().FindNamed("pattern");
    const bool ok = step && (*step)(doc, m.StepArgs());
    Changed(doc);
    return ok;
}

}  // namespace dlgui
