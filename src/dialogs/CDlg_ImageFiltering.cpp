#include "CDlg_ImageFiltering.h"

#include <algorithm>

#include "CVexoDoc.h"
#include "dialog_host.h"
#include "dialog_util.h"

using dlgui::U;

namespace {
// The pause after a change before the preview starts.
constexpr int kPreviewPauseMs = 250;

filters::FilterPreview::Post PostToInterface() {
    return [](std::function<void()> fn) {
        if (wxTheApp) wxTheApp->CallAfter(std::move(fn));
    };
}

enum { kApply = 1507, kStartImage = 1508, kClose = 5122 + 30000 };
}  // namespace

CDlg_ImageFiltering::CDlg_ImageFiltering(wxWindow* parent, bool binarize)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL, binarize ? "binarize" : "filters"),
      binarize_(binarize),
      preview_(PostToInterface()),
      pause_(this) {
    name_ = binarize ? filters::kThreshold : filters::FilterNames().front();
    mode_ = binarize ? 0 : -1;
    Build();
    preview_.onResult = [this](filters::PreviewResult& r) { OnPreviewResult(r); };
    preview_.onProgress = [](int percent) { dlgui::Progress(percent); };
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { RunPreview(); }, pause_.GetId());
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& e) {
        if (e.GetKeyCode() == WXK_ESCAPE) {
            CancelAndClose();
            return;
        }
        e.Skip();
    });
}

CDlg_ImageFiltering::~CDlg_ImageFiltering() { pause_.Stop(); }

void CDlg_ImageFiltering::Build() {
    auto* top = new wxBoxSizer(wxHORIZONTAL);
    auto* left = new wxBoxSizer(wxVERTICAL);
    filter_ = new wxChoice(this, 1388, wxDefaultPosition, wxSize(150, -1));
    if (binarize_)
        filter_->Append(U(filters::kThreshold));
    else
        for (const std::string& n : filters::FilterNames()) filter_->Append(U(n));
    filter_->SetSelection(0);
    filter_->Enable(!binarize_);
    dlgui::Name(filter_, U("필터"));
    filter_->SetToolTip(U("필터"));
    modeBox_ = new wxChoice(this, 1390, wxDefaultPosition, wxSize(150, -1));
    for (const std::string& m : filters::ThresholdModes()) modeBox_->Append(U(m));
    modeBox_->SetSelection(0);
    dlgui::Name(modeBox_, U("변환 방식"));
    modeBox_->SetToolTip(U("변환 방식"));
    left->Add(filter_, 0, wxEXPAND | wxBOTTOM, 4);
    left->Add(modeBox_, 0, wxEXPAND);
    top->Add(left, 0, wxALL, 6);

    columns_ = new wxBoxSizer(wxHORIZONTAL);
    static const int sliderIds[3] = {1556, 1560, 1561}, boxIds[3] = {1153, 1155, 1161};
    for (int i = 0; i < 3; ++i) {
        auto* col = new wxBoxSizer(wxVERTICAL);
        label_[i] = new wxStaticText(this, wxID_ANY, "", wxDefaultPosition, wxSize(150, -1));
        auto* row = new wxBoxSizer(wxHORIZONTAL);
        box_[i] = new wxTextCtrl(this, boxIds[i], "0", wxDefaultPosition, wxSize(52, -1), wxTE_PROCESS_ENTER);
        slider_[i] = new wxSlider(this, sliderIds[i], 0, 0, 1, wxDefaultPosition, wxSize(150, -1));
        row->Add(box_[i], 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
        row->Add(slider_[i], 1, wxALIGN_CENTER_VERTICAL);
        col->Add(label_[i], 0, wxBOTTOM, 2);
        col->Add(row, 0, wxEXPAND);
        column_[i] = col;
        columns_->Add(col, 0, wxALL, 6);
        const int idx = i;
        slider_[i]->Bind(wxEVT_SLIDER, [this, idx](wxCommandEvent&) {
            if (!updating_) ValueChanged(idx, slider_[idx]->GetValue(), true);
        });
        box_[i]->Bind(wxEVT_TEXT, [this, idx](wxCommandEvent&) {
            if (!updating_) ValueChanged(idx, int(dlgui::LeadingInt(box_[idx]->GetValue())), false);
        });
    }
    top->Add(columns_, 1, wxEXPAND);

    auto* buttons = new wxBoxSizer(wxVERTICAL);
    auto* apply = new wxButton(this, kApply, U("적용"));
    auto* start = new wxButton(this, kStartImage, U("시작 이미지"));
    auto* close = new wxButton(this, kClose, U("닫기"));
    apply->SetToolTip(U("지금 값으로 필터를 적용해 봅니다"));
    start->SetToolTip(U("처음 그림으로 되돌립니다"));
    close->SetToolTip(U("적용한 결과를 남기고 닫습니다"));
    auto* row1 = new wxBoxSizer(wxHORIZONTAL);
    row1->Add(apply, 0, wxRIGHT, 4);
    row1->Add(start, 0);
    buttons->Add(row1, 0, wxBOTTOM, 4);
    buttons->Add(close, 0, wxALIGN_RIGHT);
    top->Add(buttons, 0, wxALL, 6);
    SetSizerAndFit(top);

    filter_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) {
        ChooseFilter(dlgui::S(filter_->GetStringSelection()), modeBox_->GetSelection());
        SchedulePreview();
    });
    modeBox_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) {
        ChooseFilter(name_, modeBox_->GetSelection());
        SchedulePreview();
    });
    apply->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Apply(); });
    start->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { StartImage(); });
    close->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { CloseKeep(); });
    ChooseFilter(name_, mode_);
}

bool CDlg_ImageFiltering::DocAlive() {
    if (!doc_) return false;
    if (dlgui::Host().openDocs) {
        const std::vector<CVexoDoc*> open = dlgui::Host().openDocs();
        if (std::find(open.begin(), open.end(), doc_) == open.end()) {
            // Its window was closed: nothing of it is touched any more.
            preview_.Cancel();
            preview_.Invalidate();
            model_.reset();
            doc_ = nullptr;
            return false;
        }
    }
    return model_ != nullptr;
}

bool CDlg_ImageFiltering::Attach() {
    preview_.Cancel();
    preview_.Invalidate();
    preview_.ForgetShown();
    applied_ = false;
    model_.reset();
    doc_ = dlgui::ActiveDoc();
    if (doc_) {
        const LayerRecord* L = doc_->CurrentLayerPtr();
        if (L && L->IsTextKind()) {
            doc_->Host().MessageBox(doctext::kTextLayerRefused);
            doc_ = nullptr;
            return false;
        }
        model_ = std::make_unique<filters::FilterDialogModel>(doc_);
    }
    ChooseFilter(name_, mode_);
    // The chosen filter shows on the picture at once.
    SchedulePreview();
    return true;
}

void CDlg_ImageFiltering::Detach() {
    pause_.Stop();
    preview_.Cancel();
    // A preview is never kept: the layer goes back to what 적용 left there.
    if (DocAlive() && preview_.HasShown()) {
        model_->StartImage();
        if (applied_)
            filters::RunDocumentFilter(*doc_, appliedParams_.name, appliedParams_.mode, appliedParams_.p[0],
                                       appliedParams_.p[1], appliedParams_.p[2]);
        preview_.ForgetShown();
        doc_->viewRebuild = true;
        doc_->Host().UpdateViews(*doc_, true);
        dlgui::Changed(*doc_);
    }
    dlgui::Progress(0);
}

void CDlg_ImageFiltering::ChooseFilter(const std::string& name, int mode) {
    name_ = name;
    mode_ = name == filters::kThreshold ? std::clamp(mode, 0, 2) : -1;
    if (model_) {
        model_->Choose(name_, mode_);
    } else {
        // Without a document the controls still show the filter's values.
        filters::FilterDialogModel shown(nullptr);
        shown.Choose(name_, mode_);
        updating_ = true;
        for (int i = 0; i < 3; ++i) {
            const auto& p = shown.Param(i);
            label_[i]->SetLabel(U(p.label));
            slider_[i]->SetRange(p.min, std::max(p.max, p.min + 1));
            slider_[i]->SetValue(p.slider);
            box_[i]->ChangeValue(wxString::Format("%d", p.value));
            label_[i]->Enable(p.enabled);
            slider_[i]->Enable(p.enabled);
            box_[i]->Enable(p.enabled);
            columns_->Show(column_[i], p.enabled || i == 0);
            dlgui::Name(slider_[i], U(p.label));
            dlgui::Name(box_[i], U(p.label + " 값"));
        }
        updating_ = false;
        Layout3();
        return;
    }
    ShowModel();
}

void CDlg_ImageFiltering::ShowModel() {
    if (!model_) return;
    updating_ = true;
    const int sel = filter_->FindString(U(name_));
    if (sel != wxNOT_FOUND) filter_->SetSelection(sel);
    modeBox_->Enable(name_ == filters::kThreshold);
    if (mode_ >= 0) modeBox_->SetSelection(mode_);
    for (int i = 0; i < 3; ++i) {
        const auto& p = model_->Param(i);
        label_[i]->SetLabel(U(p.label));
        // A slider needs a range of at least one step; unused ones are 0..0.
        slider_[i]->SetRange(p.min, std::max(p.max, p.min + 1));
        slider_[i]->SetValue(p.slider);
        // Hidden sliders carry no marks (GTK cannot draw them at no size).
        if (p.enabled)
            slider_[i]->SetTickFreq(p.tick);
        else
            slider_[i]->ClearTicks();
        slider_[i]->SetPageSize(std::max(1, p.page));
        slider_[i]->SetLineSize(1);
        box_[i]->ChangeValue(wxString::Format("%d", p.value));
        label_[i]->Enable(p.enabled);
        slider_[i]->Enable(p.enabled);
        box_[i]->Enable(p.enabled);
        dlgui::Name(slider_[i], U(p.label));
        dlgui::Name(box_[i], U(p.label + " 값"));
        // Columns not needed are hidden; the first stays to show "미지정".
        columns_->Show(column_[i], p.enabled || i == 0);
    }
    updating_ = false;
    Layout3();
}

void CDlg_ImageFiltering::Layout3() {
    Layout();
    if (wxWindow* p = GetParent()) p->Layout();
}

void CDlg_ImageFiltering::ValueChanged(int index, int value, bool fromSlider) {
    if (!model_) return;
    model_->SetValue(index, value);
    const auto& p = model_->Param(index);
    updating_ = true;
    if (fromSlider)
        box_[index]->ChangeValue(wxString::Format("%d", p.value));
    else
        slider_[index]->SetValue(p.slider);
    updating_ = false;
    SchedulePreview();
}

filters::PreviewParams CDlg_ImageFiltering::CurrentParams() const {
    filters::PreviewParams pp;
    pp.name = name_;
    pp.mode = mode_;
    for (int i = 0; i < 3; ++i) pp.p[i] = model_ ? model_->Param(i).value : 0;
    return pp;
}

void CDlg_ImageFiltering::SchedulePreview() {
    if (!model_) return;
    // The change cancels the preview under way at once; the next one starts
    // after a short pause, so a slider drag does not start one per step.
    preview_.Cancel();
    pause_.StartOnce(kPreviewPauseMs);
}

void CDlg_ImageFiltering::RunPreview() {
    if (!DocAlive() || !IsShownOnScreen()) return;
    if (dlgui::ActiveDoc() != doc_) return;
    const filters::PreviewParams pp = CurrentParams();
    if (preview_.HasShown() && preview_.Shown() == pp) return;
    if (applied_ && appliedParams_ == pp && !preview_.HasShown()) return;
    preview_.Request(*doc_, pp);
}

void CDlg_ImageFiltering::OnPreviewResult(filters::PreviewResult& r) {
    if (!DocAlive() || !(r.params == CurrentParams())) return;
    const bool shown = preview_.Show(*doc_, r);
    if (shown) {
        applied_ = false;
        dlgui::Changed(*doc_);
    }
}

void CDlg_ImageFiltering::Apply() {
    if (!DocAlive()) return;   // without a document nothing happens
    pause_.Stop();
    preview_.Cancel();
    for (int i = 0; i < 3; ++i) box_[i]->ChangeValue(wxString::Format("%d", model_->Param(i).value));
    wxBusyCursor busy;
    model_->Apply();
    preview_.ForgetShown();
    applied_ = true;
    appliedParams_ = CurrentParams();
    doc_->viewRebuild = true;
    doc_->Host().UpdateViews(*doc_, true);
    dlgui::Changed(*doc_);
}

void CDlg_ImageFiltering::StartImage() {
    if (!DocAlive()) return;
    pause_.Stop();
    preview_.Cancel();
    model_->StartImage();
    preview_.ForgetShown();
    applied_ = false;
    dlgui::Changed(*doc_);
}

void CDlg_ImageFiltering::CloseKeep() {
    pause_.Stop();
    if (DocAlive()) {
        const bool waiting = preview_.Pending();
        preview_.Cancel();
        const filters::PreviewParams pp = CurrentParams();
        const bool shownNow = (preview_.HasShown() && preview_.Shown() == pp) || (applied_ && appliedParams_ == pp);
        // The layer keeps what the panel's values give: a change whose
        // preview has not come back yet is applied now.
        if (!shownNow && (waiting || preview_.HasShown() || applied_)) {
            wxBusyCursor busy;
            model_->Apply();
        }
        model_->Close();
        preview_.ForgetShown();
        preview_.Invalidate();
        applied_ = false;
        doc_->viewRebuild = true;
        doc_->Host().UpdateViews(*doc_, true);
        dlgui::Changed(*doc_);
    }
    dlgui::Progress(0);
    if (onEnd) onEnd(true);
}

void CDlg_ImageFiltering::CancelAndClose() {
    pause_.Stop();
    preview_.Cancel();
    if (DocAlive()) {
        model_->Cancel();
        preview_.ForgetShown();
        preview_.Invalidate();
        applied_ = false;
        dlgui::Changed(*doc_);
    }
    dlgui::Progress(0);
    if (onEnd) onEnd(false);
}

// --- the modal form -----------------------------------------------------------------

CDlg_Binarize::CDlg_Binarize(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, U("이진영상으로"), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE) {
    panel_ = new CDlg_ImageFiltering(this, true);
    auto* s = new wxBoxSizer(wxVERTICAL);
    s->Add(panel_, 1, wxEXPAND);
    SetSizerAndFit(s);
    panel_->onEnd = [this](bool kept) {
        kept_ = kept;
        EndModal(kept ? wxID_OK : wxID_CANCEL);
    };
    // The window's close button and Esc end it without keeping.
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { panel_->CancelAndClose(); });
}

bool CDlg_Binarize::Run() {
    CVexoDoc* doc = dlgui::ActiveDoc();
    if (!doc) return false;
    const LayerRecord* L = doc->CurrentLayerPtr();
    if (!L || L->IsTextKind()) {
        doc->Host().MessageBox(doctext::kTextLayerRefused);
        return false;
    }
    // The outline animation pauses while the dialog is open.
    doc->Host().StopSelectionTimer(*doc);
    if (!panel_->Attach()) return false;
    Move(wxPoint(250, 0) + (GetParent() ? GetParent()->GetPosition() : wxPoint()) + wxPoint(0, 80));
    ShowModal();
    if (doc->selectionActive) doc->Host().StartSelectionTimer(*doc, 400);
    return kept_;
}
