// The framework's document: owns the headless CVexoDoc and serves it as its
// host (message boxes, views, clipboard, cursor, progress, new windows).
// Document commands of the command table are routed here.
#pragma once

#include <wx/docview.h>
#include <wx/timer.h>

#include <memory>
#include <string>

#include "CVexoDoc.h"
#include "view_host.h"

class CVexoView;

class CVexoDocument : public wxDocument, public DocHost, public ViewDocument, public DocObserver {
public:
    CVexoDocument();
    ~CVexoDocument() override;

    CVexoDoc* Core() const override { return core_.get(); }
    CVexoView* View() const;
    // Extra text after the zoom in the window title (resource images).
    const std::string& TitleSuffix() const override;
    // After a press on a layer row the title also names the current layer.
    void ShowLayerInTitle(bool show);
    std::string DisplayName() const override;
    void MarkModified() override { Modify(true); }

    bool OnNewDocument() override;
    bool OnOpenDocument(const wxString& file) override;
    bool OnSaveDocument(const wxString& file) override;
    bool OnSaveModified() override;
    bool SaveAs() override;
    bool IsModified() const override;
    void Modify(bool mod) override;

    // Asks "[%s] 파일을 저장하시겠습니까?"; wxYES, wxNO or wxCANCEL.
    int AskSave();
    // Runs a command of the table on this document.
    bool RunCommand(int id);

    // --- DocHost ---------------------------------------------------------------
    void MessageBox(const std::string& text) override;
    void StatusText(const std::string& text) override;
    void StartSelectionTimer(CVexoDoc& doc, int milliseconds) override;
    void StopSelectionTimer(CVexoDoc& doc) override;
    int CurrentCommand() const override;
    void SetCurrentCommand(int id) override;
    int CurrentTool() const override;
    bool SwitchTool(int id) override;
    int NextDocSerial() override;
    int NextImageNumber() override;
    bool SetClipboardDib(const std::vector<uint8_t>& packedDib) override;
    bool GetClipboardDib(std::vector<uint8_t>& packedDib) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void Progress(int percent) override;
    CVexoDoc* AdoptNewDocument(std::unique_ptr<CVexoDoc> doc, const std::string& title) override;
    std::string JournalFolder() override;
    void RequestClose() override;
    void BeginTransparentPick(CVexoDoc& doc) override;
    std::function<void()> WorkerWakeUp() override;
    void JournalFailed(const std::string& file, const std::string& message) override;
    bool AskText(CVexoDoc& doc, textlayer::TextDialogValues& values, bool edit) override;
    void ColourRangePicked(CVexoDoc& doc, uint32_t colour) override;

    // --- DocObserver: the views and the modified flag follow the core ------------
    void DocumentChanged(CVexoDoc& doc, const DocChange& change) override;

private:
    void OnCommand(wxCommandEvent& event);
    void OnAppIdle(wxIdleEvent& event);
    void OnUpdateCommand(wxUpdateUIEvent& event);

    void SetCore(std::unique_ptr<CVexoDoc> core);

    std::unique_ptr<CVexoDoc> core_;
    std::string titleSuffix_;
    bool layerInTitle_ = false;
    mutable std::string shownSuffix_;
    bool coreModified_ = false;
    int waitDepth_ = 0;

    wxDECLARE_DYNAMIC_CLASS(CVexoDocument);
};

// File type table of the open and save dialogs.
namespace filetypes {
struct Row {
    int type;
    const char* name;
    const char* pattern;
    bool open, save;
};
const std::vector<Row>& Table();
// "name|pattern|..." for the rows allowed in that dialog; patterns carry
// upper-case forms too (the file systems here tell case apart).
wxString Filter(bool forSave);
// The savable row (1-based among savable rows) whose name is the lowered
// extension of name, else 1.
int PreselectedSaveFilter(const std::string& name);
// Document name without its extension (cut at the last '.' after the last '/').
std::string WithoutExtension(const std::string& name);
}  // namespace filetypes

// Packed DIB <-> wx image, for the clipboard.
namespace clip {
bool ImageToDib(const wxImage& image, std::vector<uint8_t>& dib);
bool DibToImage(const std::vector<uint8_t>& dib, wxImage& image);
bool ClipboardHasBitmap();
}  // namespace clip
