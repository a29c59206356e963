#include "browser_commands.h"

#include <wx/aui/aui.h>
#include <wx/filename.h>

#include "CDlg_ImgFIleView.h"
#include "CMainFrame.h"
#include "CVexoApp.h"
#include "layer_set.h"
#include "shell_commands.h"

namespace {

constexpr const char* kPanel = "browser";

BrowserGroup* Group(CMainFrame& f) { return dynamic_cast<BrowserGroup*>(f.FindPanel(kPanel)); }

std::string RememberedFolder(CMainFrame& f) {
    const std::string folder = Utf16ToUtf8(f.settings.browserFolder);
    if (!folder.empty() && wxFileName::DirExists(wxString::FromUTF8(folder))) return folder;
    return wxGetApp().startDir;
}

void ShowBrowser(CMainFrame& f) {
    BrowserGroup* g = Group(f);
    if (!g) return;
    const std::string folder = RememberedFolder(f);
    wxSetWorkingDirectory(wxString::FromUTF8(folder));
    f.ShowPanel(kPanel, true);
    g->ShowFolder(folder);
}

wxWindow* CreateBrowser(CMainFrame& f) {
    BrowserHost host;
    host.openDocument = [](const std::string& path) { wxGetApp().OpenPath(wxString::FromUTF8(path)); };
    host.rememberFolder = [&f](const std::string& folder) { f.settings.browserFolder = Utf8ToUtf16(folder); };
    host.hide = [&f] { f.ShowPanel(kPanel, false); };
    host.focusMain = [&f] {
        f.Raise();
        f.SetFocus();
    };
    auto* group = new BrowserGroup(&f, host);
    // Made hidden, whatever the saved layout says; its place and size are
    // kept. The configuration may ask for it at start.
    group->CallAfter([&f] {
        if (f.settings.ws[1] == 1)
            ShowBrowser(f);
        else
            f.ShowPanel(kPanel, false);
    });
    return group;
}

const shell::PanelRegistrar kBrowserPanel({kPanel, CreateBrowser, [](wxAuiPaneInfo& pane) {
                                               pane.Caption(wxString::FromUTF8("파일열기창"))
                                                   .Bottom()
                                                   .BestSize(900, 430)
                                                   .MinSize(640, 400)
                                                   .FloatingSize(920, 470)
                                                   .CloseButton(true)
                                                   .Hide();
                                           }});

}  // namespace

bool ToggleImageBrowser(CMainFrame& f) {
    if (!Group(f)) return false;
    if (f.PanelShown(kPanel))
        f.ShowPanel(kPanel, false);
    else
        ShowBrowser(f);
    return true;
}
