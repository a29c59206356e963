// The filter panel "이미지 필터링" (modeless, toggled by command 1505) and
// its modal form "이진영상으로" (command 2111, the threshold filter preset).
// The window shows filters::FilterDialogModel and the live preview of
// filters::FilterPreview; it keeps no rule of its own.
#pragma once

#include <wx/wx.h>
#include <wx/timer.h>

#include <memory>
#include <string>

#include "filter_model.h"
#include "filter_preview.h"

class CVexoDoc;

class CDlg_ImageFiltering : public wxPanel {
public:
    // binarize: the modal form, with "임계치변환" and "FS 디더링" preset.
    CDlg_ImageFiltering(wxWindow* parent, bool binarize);
    ~CDlg_ImageFiltering() override;

    // The panel is being shown: it takes the active document's current
    // layer as its starting picture and sets up the chosen filter's values.
    // False (after the message) on a text or balloon layer.
    bool Attach();
    // The panel is hidden without an ending (the tried result stays).
    void Detach();
    // "닫기", and the cancel command (Esc, the window's close button).
    void CloseKeep();
    void CancelAndClose();

    // Called after "닫기" (true) or cancel (false) so the owner hides the
    // panel or ends the modal dialog.
    std::function<void(bool kept)> onEnd;

    // The filter chosen (kept while hidden).
    const std::string& FilterName() const { return name_; }

private:
    void Build();
    void ChooseFilter(const std::string& name, int mode);
    void ShowModel();
    void ValueChanged(int index, int value, bool fromSlider);
    void SchedulePreview();
    void RunPreview();
    void OnPreviewResult(filters::PreviewResult& r);
    bool DocAlive();
    filters::PreviewParams CurrentParams() const;
    void Apply();
    void StartImage();
    void Layout3();

    bool binarize_;
    CVexoDoc* doc_ = nullptr;
    std::unique_ptr<filters::FilterDialogModel> model_;
    filters::FilterPreview preview_;
    wxTimer pause_;
    std::string name_;
    int mode_ = -1;
    // What the layer shows now beyond its starting picture.
    bool applied_ = false;
    filters::PreviewParams appliedParams_;

    wxChoice* filter_ = nullptr;
    wxChoice* modeBox_ = nullptr;
    wxStaticText* label_[3] = {};
    wxSlider* slider_[3] = {};
    wxTextCtrl* box_[3] = {};
    wxSizer* column_[3] = {};
    wxSizer* columns_ = nullptr;
    bool updating_ = false;
};

// The modal form of command 2111.
class CDlg_Binarize : public wxDialog {
public:
    explicit CDlg_Binarize(wxWindow* parent);
    // Runs on the active document; true when "닫기" kept the result.
    bool Run();

private:
    CDlg_ImageFiltering* panel_;
    bool kept_ = false;
};
