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
    g->Browser()->StartTrace();
    // The window is frozen from here until the main frame has been laid out
    // again for the panel: the panel manager (and the document area's own)
    // paint what moved at once, each such paint drawing the whole window,
    // two or three times over; frozen, it is drawn once, after the thaw.
    // The folder's labels, progress bar and status change before the show,
    // so that one new layout of the frame takes them all.
    f.Freeze();
    g->ShowFolder(folder);
    f.ShowPanel(kPanel, true);
    g->Browser()->Trace("panel");
    // Pending calls run after the frame's new layout (the toolkit lays out
    // before the program's idle time).
    f.CallAfter([&f] {
        if (f.IsFrozen()) f.Thaw();
    });
}

// After the editor's first paint, while the group is still hidden: its tree
// read down to the remembered folder and its windows laid out at the size
// the panel will have, so that the first show mostly maps it.
void PrepareBrowser(CMainFrame& f) {
    BrowserGroup* g = Group(f);
    if (!g || f.PanelShown(kPanel)) return;
    const wxAuiPaneInfo& pane = f.PanelManager().GetPane(g);
    wxSize size = pane.floating_size;
    if (pane.IsOk() && pane.IsDocked()) {
        const bool across = pane.dock_direction == wxAUI_DOCK_TOP || pane.dock_direction == wxAUI_DOCK_BOTTOM;
        size = across ? wxSize(f.GetClientSize().x, pane.best_size.y) : wxSize(pane.best_size.x, f.GetClientSize().y);
    }
    g->Prepare(RememberedFolder(f), size);
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
        if (f.settings.ws[1] == 1) {
            ShowBrowser(f);
        } else {
            f.ShowPanel(kPanel, false);
            f.CallAfter([&f] { PrepareBrowser(f); });
        }
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
