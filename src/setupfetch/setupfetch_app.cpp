// setupfetch: downloads the newest installer with a progress display,
// checks it and hands it to the desktop's opener, then ends.
#include <wx/wx.h>

#include <filesystem>

#include "CAutoUpdater.h"
#include "CDlg_DownInstall.h"
#include "update_config.h"

class CUrlFileApp : public wxApp {
public:
    bool OnInit() override {
        update::InitNetwork();   // before the download thread exists
        std::string folder = update::CacheFolder() + "/setupfetch";
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        CDlg_DownInstall dlg(update::LoadConfig(), folder);
        dlg.ShowModal();
        return false;   // the program ends with the dialog
    }
};

wxIMPLEMENT_APP(CUrlFileApp);
