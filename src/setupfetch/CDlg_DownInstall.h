// setupfetch's one dialog: the installer's address, a progress bar and the
// status text over the download thread of DownInstallModel.
#pragma once

#include <wx/gauge.h>
#include <wx/wx.h>

#include "down_install.h"
#include "skin.h"

class CDlg_DownInstall : public CBDialog {
public:
    CDlg_DownInstall(update::UpdateConfig config, std::string downloadFolder);

private:
    void Prepare();
    void StartDownload();
    void OnDownloadProgress(uint64_t done, uint64_t total);
    void OnDownloadDone();
    void EnableUrlBox();
    void Message(const std::string& text, const std::string& detail = {});

    update::DownInstallModel model_;
    wxTextCtrl* url_ = nullptr;
    wxGauge* progress_ = nullptr;
    CMyTransStatic* status_ = nullptr;
};
