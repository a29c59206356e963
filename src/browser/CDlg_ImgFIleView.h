// The image browser: the thumbnail list of a folder with its file-type
// filter, progress bar and status, the preview check box, OK and Cancel;
// beside it the preview window (left) and the folder window (right), the
// three kept together as one group (BrowserGroup) that docks in the main
// frame or floats, moved as one.
#pragma once

#include <wx/activityindicator.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/gauge.h>
#include <wx/panel.h>
#include <wx/stattext.h>
#include <wx/timer.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "thumbnail_worker.h"

class CPreviewDlg;
class CFoldersDlg;
class CThumbnailList;

// What the browser needs of the editor.
struct BrowserHost {
    // Opens one file through the editor's normal open path.
    std::function<void(const std::string& path)> openDocument;
    // The folder pictures were opened from, to remember.
    std::function<void(const std::string& folder)> rememberFolder;
    // Hides the whole group (OK, Cancel, close).
    std::function<void()> hide;
    // Gives the main window the focus.
    std::function<void()> focusMain;
};

class CDlg_ImgFIleView : public wxPanel {
public:
    CDlg_ImgFIleView(wxWindow* parent, BrowserHost host, CPreviewDlg* preview);
    ~CDlg_ImgFIleView() override;

    // Lists the folder and starts its thumbnails.
    void ShowFolder(const std::string& folder);
    // The benchmark's trace ($PIMLORA_BROWSER_TRACE) from now: called before
    // the group is shown, so that the showing is measured too.
    void StartTrace();
    // A named moment in the trace (the next long gap names the last one).
    void Trace(const char* what, long value = -1);
    void StopThumbnailWorker() { worker_.Stop(); }
    const std::string& Folder() const { return folder_; }
    const std::vector<std::string>& Names() const { return names_; }
    CThumbnailList* List() const { return list_; }
    // The preview window follows the check box.
    void ShowPreviewWindow(bool show);
    std::function<void(bool)> onPreviewToggled;

private:
    void OnListed(int generation, std::vector<std::string> names);
    void OnThumbnail(int generation, int index, const browser::Picture24& thumb);
    void OnFinished(int generation, int count, bool stopped);
    void UpdatePreview(int item);
    void OpenSelectedImages();
    void OnOk();
    void OnCancel();
    void SetStatus(const char* text);

    BrowserHost host_;
    CPreviewDlg* preview_;
    CThumbnailList* list_ = nullptr;
    wxGauge* progress_ = nullptr;
    wxStaticText* folderLabel_ = nullptr;
    wxStaticText* status_ = nullptr;
    wxCheckBox* previewCheck_ = nullptr;
    wxActivityIndicator* busy_ = nullptr;
    wxChoice* filter_ = nullptr;

    std::string folder_;
    std::vector<std::string> names_;
    int generation_ = 0;
    int done_ = 0;
    int previewItem_ = -1;
    // Thumbnails made on the worker threads, waiting for the user-interface
    // thread: one pending call takes all of them at once.
    struct Pending {
        int generation, index;
        browser::Picture24 picture;
    };
    void TakePending();
    std::mutex pendingMutex_;
    std::vector<Pending> pending_;
    browser::ThumbnailWorker worker_;

    // Timing trace for the benchmarks ($PIMLORA_BROWSER_TRACE).
    FILE* trace_ = nullptr;
    std::chrono::steady_clock::time_point traceStart_, lastTick_;
    double longestGap_ = 0;
    double longestHandler_ = 0;   // the longest of our own event handlers, ms
    double lastTickCpu_ = 0;      // this thread's processor time at the last tick, ms
    double lastTickWait_ = 0;     // its wait for a processor until then, ms
    const char* lastMark_ = "";
    bool traceStarted_ = false;
    double uiCpuAtShow_ = 0;      // this thread's, ms
    double cpuAtShow_ = 0;        // the process's processor time when the folder was chosen, ms
    wxTimer tick_;
};

// The three windows side by side: preview, browser, folders.
class BrowserGroup : public wxPanel {
public:
    BrowserGroup(wxWindow* parent, BrowserHost host);
    CDlg_ImgFIleView* Browser() const { return browser_; }
    CFoldersDlg* Folders() const { return folders_; }
    // Lists the folder (and shows it in the tree).
    void ShowFolder(const std::string& folder);
    // While hidden: reads the tree down to the folder and lays the windows
    // out at this size, so that showing the group later has little to do.
    void Prepare(const std::string& folder, const wxSize& size);
    // The benchmark's trace ($PIMLORA_BROWSER_TRACE) from now: called before
    // the group is shown, so that the showing is measured too.
    void StartTrace();
    // A named moment in the trace (the next long gap names the last one).
    void Trace(const char* what, long value = -1);

private:
    CPreviewDlg* preview_ = nullptr;
    CDlg_ImgFIleView* browser_ = nullptr;
    CFoldersDlg* folders_ = nullptr;
};
