// The main window: menus, accelerators, tool bar, status bar with the
// progress display, the settings of the configuration file, the current tool
// and command, and the close sequence.
#pragma once

#include <wx/wx.h>
#include <wx/aui/aui.h>
#include <wx/aui/tabmdi.h>
#include <wx/docview.h>
#include <wx/wx.h>

#include "app_config.h"
#include "shell_commands.h"

class CVexoDocument;
class CVexoView;

using CMainFrameBase = wxDocParentFrameAny<wxAuiMDIParentFrame>;

class CMainFrame : public CMainFrameBase {
public:
    CMainFrame(wxDocManager* manager, const wxString& title);
    ~CMainFrame() override;

    // False when the configuration file was missing (the program ends).
    bool ConfigLoaded() const { return configLoaded_; }
    void SaveConfiguration();

    CVexoDocument* ActiveDocument() const;
    CVexoView* ActiveView() const;
    void SetProgress(int percent);
    void SetStatus(const wxString& text);
    // "Pimlora - <document window title>".
    void ShowDocumentTitle(const wxString& childTitle);

    // Docking of the modeless panels around the document area.
    wxAuiManager& PanelManager() { return aui_; }
    // The panel registered under `name` (shell::PanelRegistrar), or null.
    wxWindow* FindPanel(const std::string& name) const;
    // Shows or hides a panel by name; false when there is no such panel.
    bool ShowPanel(const std::string& name, bool show);
    bool PanelShown(const std::string& name) const;
    // The panels that follow the active document are told which one it is
    // now (later: once the events being handled are done, for a window
    // that is closing).
    void ActiveDocumentChanged(bool later = false);

    AppSettings settings;
    int currentTool = -1, previousTool = -1, currentCommand = -1;
    // Prepared by the new-image step for the next new document.
    int newWidth = 0, newHeight = 0, newBackground = -1, newBits = 32;
    wxString newName;
    wxFont uiFonts[4];

private:
    void BuildMenus();
    void BuildToolBar();
    void BuildAccelerators();
    void LoadConfiguration();
    void OnClose(wxCloseEvent& event);
    void OnCloseSequence(wxCommandEvent&);
    void OnOptions(wxCommandEvent&);
    void OnCascade(wxCommandEvent&);
    void OnTile(wxCommandEvent&);
    void OnUpdateAny(wxUpdateUIEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnDropFiles(wxDropFilesEvent& event);
    bool RunCloseSequence();
    void CreatePanels();
    void CreatePanel(const shell::Panel& panel, const wxAuiPaneInfo& info);
    // The panel's pane as registered, with its place from the saved layout.
    wxAuiPaneInfo PaneInfoOf(const shell::Panel& panel) const;
    // The hidden panels left for after the first paint, made once.
    void CreateDeferredPanels();
    bool TryBefore(wxEvent& event) override;
    void SavePanelLayout();

    bool configLoaded_ = false;
    wxEvtHandler* logo_ = nullptr;   // paints the logo behind the documents
    bool closing_ = false;
    wxAuiManager aui_;
    std::vector<std::pair<std::string, wxWindow*>> panels_;
    std::vector<size_t> deferredPanels_;   // indices into shell::Panels()
    wxString layout_;                      // the saved panel layout

};

// Commands served somewhere along the route (view, document, frame,
// application) other than the document command table.
bool IsServedByShell(int command);
