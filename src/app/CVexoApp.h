// The application object: start-up, the document manager with its one
// template, the counters shared by all documents, and the application's
// commands (new, open, resource images, colours, about, exit).
#pragma once

#include <wx/wx.h>
#include <wx/docview.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "program_paths.h"

class DocHost;
class SingleInstance;

class CMainFrame;
class CVexoDoc;
class CVexoDocument;

class CVexoApp : public wxApp {
public:
    CVexoApp();
    bool OnInit() override;
    int OnRun() override;
    int OnExit() override;
    void OnInitCmdLine(wxCmdLineParser& parser) override;
    bool OnCmdLineParsed(wxCmdLineParser& parser) override;
    // Memory that runs out inside an event handler is a message, not the end.
    bool OnExceptionInMainLoop() override;

    CMainFrame* MainFrame() const { return frame_; }
    wxDocManager* DocManager() const { return docManager_; }

    // Opens a path as a new document window (or activates it when open).
    CVexoDocument* OpenPath(const wxString& path);
    // Makes a document window for a document the program built itself.
    // titleSuffix is appended to the window title ("%s %s").
    CVexoDocument* NewWindowForCore(std::unique_ptr<CVexoDoc> core, const std::string& name,
                                    const std::string& titleSuffix);
    // Builds a document with the new window's host (null when it failed).
    using CoreBuilder = std::function<std::unique_ptr<CVexoDoc>(DocHost* host)>;
    CVexoDocument* NewWindowFromBuilder(CoreBuilder builder, const std::string& name, const std::string& titleSuffix);
    // Taken by the next new document (CVexoDocument::OnNewDocument).
    std::unique_ptr<CVexoDoc> TakePendingCore(DocHost* host, std::string& name, std::string& suffix);

    int NextDocSerial() { return ++docSerial_; }
    int NextImageNumber() { return ++imageNumber_; }
    std::string JournalFolder();
    // Until the first paint, documents opened leave their first undo step for
    // later; any input records the waiting steps before it is handled.
    bool DeferOpeningSteps() const { return deferOpening_; }
    void OpeningStepLeft() { openingStepsWaiting_ = true; }
    void FinishOpeningSteps();
    // Gives every document's layer still being filled its buffers (after
    // the first paint, and before any input is handled).
    void SettleLayers();
    int FilterEvent(wxEvent& event) override;

    std::string programFolder;   // the executable's folder
    std::string startDir;        // working directory at start-up
    std::string configFolder;    // per-user folder with the .ini files
    std::vector<wxString> args;  // up to three command-line arguments

private:
    void OnNew(wxCommandEvent&);
    void OnOpen(wxCommandEvent&);
    void OnAbout(wxCommandEvent&);
    void OnExit(wxCommandEvent&);
    void OnResourceImage(wxCommandEvent&);
    void OnColourDialog(wxCommandEvent&);
    void OnSwapColours(wxCommandEvent&);
    void CleanUndoFolder();

    CMainFrame* frame_ = nullptr;
    wxDocManager* docManager_ = nullptr;
    int docSerial_ = 0, imageNumber_ = 0, resourceCounter_ = 0;
    std::unique_ptr<paths::JournalLock> journal_;
    std::unique_ptr<CVexoDoc> pendingCore_;
    CoreBuilder pendingBuilder_;
    std::string pendingName_, pendingSuffix_;
    std::vector<wxString> files_;   // named on the command line
    std::unique_ptr<SingleInstance> single_;
    bool handedOver_ = false;       // another editor took the files
    bool deferOpening_ = true;
    bool openingStepsWaiting_ = false;
};

wxDECLARE_APP(CVexoApp);
