// The main window: menus, accelerators, tool bar, status bar with the
// progress display, the settings of the configuration file, the current tool
// and command, and the close sequence.
#pragma once

#include <wx/wx.h>
#include <wx/aui/tabmdi.h>
#include <wx/docview.h>
#include <wx/wx.h>

#include "app_config.h"

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

    bool configLoaded_ = false;
    wxEvtHandler* logo_ = nullptr;   // paints the logo behind the documents
    bool closing_ = false;
};

// Commands served somewhere along the route (view, document, frame,
// application) other than the document command table.
bool IsServedByShell(int command);
