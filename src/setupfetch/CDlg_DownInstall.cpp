#include "CDlg_DownInstall.h"

#include <cstdio>

#include "version_info.h"

namespace {
wxString U(const std::string& s) { return wxString::FromUTF8(s.c_str()); }
}  // namespace

CDlg_DownInstall::CDlg_DownInstall(update::UpdateConfig config, std::string downloadFolder)
    : CBDialog(nullptr, "setupfetch", wxSize(480, 325), wxColour(222, 226, 236)),
      model_(std::move(config), std::move(downloadFolder)) {
    // "굴림" at 12 pixels, fixed pitch: the installed Korean face stands in.
    wxFont font(wxFontInfo(wxSize(0, 12)).Family(wxFONTFAMILY_TELETYPE).FaceName(KoreanFaceName()));
    SetFont(font);
    const int width = GetClientSize().x;
    auto* close = new MyShadeBtn(this, wxID_CANCEL, "", wxPoint(width - 35, 2), wxSize(18, 17));
    close->SetToolTip("Close");
    SetAccessibleName(close, "Close", true);
    close->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wxID_CANCEL); });

    auto text = [this, &font](const std::string& s, int x, int y, int w) {
        auto* t = new CMyTransStatic(this, 5000, U(s), wxPoint(x, y), wxSize(w, 15));
        t->SetFont(font);
        return t;
    };
    text("Pimlora", 20, 5, 150);
    text("파일 전송이 불가한 경우는 " + model_.Config().siteDomain + " 에 접속하여", 80, 180, 330);
    text("직접 다운로드 후 설치바람 ", 150, 200, 150);
    status_ = text("다운로드 준비", 20, 270, 250);

    url_ = new wxTextCtrl(this, 1000, "", wxPoint(22, 146), wxSize(429, -1), wxTE_DONTWRAP);
    url_->Disable();
    progress_ = new wxGauge(this, 1003, 100, wxPoint(22, 232), wxSize(430, 21));
    SetAccessibleName(url_, "URL");

    // Enter starts a download or cancels the one under way; Escape closes.
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& e) {
        if (e.GetKeyCode() == WXK_RETURN || e.GetKeyCode() == WXK_NUMPAD_ENTER) StartDownload();
        else if (e.GetKeyCode() == WXK_ESCAPE) EndModal(wxID_CANCEL);
        else e.Skip();
    });
    // The work starts once the dialog is on the screen.
    CallAfter([this] {
        Prepare();
        StartDownload();
    });
}

void CDlg_DownInstall::Message(const std::string& text, const std::string& detail) {
    std::fprintf(stderr, "setupfetch: %s%s%s\n", text.c_str(), detail.empty() ? "" : ": ", detail.c_str());
    wxMessageBox(U(text), "Pimlora", wxOK, this);
}

void CDlg_DownInstall::Prepare() {
    wxBusyCursor busy;
    update::DownInstallModel::Prepared p = model_.PrepareInstallerUrl();
    url_->ChangeValue(U(p.url));
    if (p.counter == update::CounterResult::UploadFailed) Message("파일전송오류(2)", p.counterDetail);
}

void CDlg_DownInstall::EnableUrlBox() {
    url_->Enable();
    url_->SetFocus();
    url_->SelectAll();
    url_->ShowPosition(url_->GetLastPosition());
}

void CDlg_DownInstall::StartDownload() {
    progress_->SetRange(100);
    progress_->SetValue(0);
    update::DownInstallModel::Events events;
    events.progress = [this](uint64_t done, uint64_t total) {
        CallAfter([this, done, total] { OnDownloadProgress(done, total); });
    };
    events.done = [this] { CallAfter([this] { OnDownloadDone(); }); };
    switch (model_.StartDownload(std::string(url_->GetValue().utf8_str()), events)) {
        case update::DownInstallModel::Start::Cancelling:
            break;
        case update::DownInstallModel::Start::InvalidUrl:
            EnableUrlBox();
            break;
        case update::DownInstallModel::Start::ThreadFailed:
            Message("파일전송오류(3)");
            EnableUrlBox();
            break;
        case update::DownInstallModel::Start::Started:
            url_->Disable();
            break;
    }
}

void CDlg_DownInstall::OnDownloadProgress(uint64_t done, uint64_t total) {
    progress_->SetValue(update::ProgressPercent(done, total));
    status_->SetLabel(U(update::ProgressText(done, total)));
}

void CDlg_DownInstall::OnDownloadDone() {
    update::DownInstallModel::Outcome o = model_.FinishDownload();
    if (o.kind == update::DownInstallModel::Outcome::TransferError) Message(o.message, o.detail);
    EnableUrlBox();
    if (o.kind == update::DownInstallModel::Outcome::ManualInstall) Message(o.message, o.detail);
    if (o.kind == update::DownInstallModel::Outcome::Opened)
        std::fprintf(stderr, "setupfetch: opened %s\n", o.path.c_str());
    EndModal(wxID_CANCEL);
}
