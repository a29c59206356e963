// The one narrow interface through which the document core reaches the
// user interface and the application: message boxes, views, the layers panel,
// the main frame's current command and tool, the counters that name documents
// and undo files, the clipboard (packed-DIB bytes), the wait cursor, progress,
// and new document windows. HeadlessHost serves pimlora-cli and the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CVexoDoc;
namespace textlayer {
struct TextDialogValues;
}

class DocHost {
public:
    virtual ~DocHost() = default;

    // A modal message box with the system's text (UTF-8).
    virtual void MessageBox(const std::string& text) = 0;
    // A line for the status bar.
    virtual void StatusText(const std::string& text) = 0;

    // Views of the document must repaint (rebuild: recomposite first), and
    // the layers changed: both send the document's change notice
    // (doc_change.h) with Composite or Repaint, and Layers.
    virtual void UpdateViews(CVexoDoc& doc, bool rebuild);
    virtual void RefreshLayersPanel(CVexoDoc& doc);
    // The selection outline animation (the view's timer 1).
    virtual void StartSelectionTimer(CVexoDoc& doc, int milliseconds) = 0;
    virtual void StopSelectionTimer(CVexoDoc& doc) = 0;

    // The main frame's current command identifier (-1 none) and tool.
    virtual int CurrentCommand() const = 0;
    virtual void SetCurrentCommand(int id) = 0;
    virtual int CurrentTool() const = 0;
    // Asks to switch the tool; false when the main frame refuses.
    virtual bool SwitchTool(int id) = 0;

    // Counters of the application.
    virtual int NextDocSerial() = 0;      // names the undo files of a document
    virtual int NextImageNumber() = 0;    // names new untitled documents

    // Clipboard, as a packed DIB (header, palette, rows).
    virtual bool SetClipboardDib(const std::vector<uint8_t>& packedDib) = 0;
    virtual bool GetClipboardDib(std::vector<uint8_t>& packedDib) = 0;

    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
    // Progress of a long operation in percent; 0 when done.
    virtual void Progress(int percent) = 0;

    // Opens a new document window for a document the core made (crop to a
    // new picture, channel splits, duplicates). The host takes ownership.
    virtual CVexoDoc* AdoptNewDocument(std::unique_ptr<CVexoDoc> doc, const std::string& title) = 0;

    // Folder that receives the undo journal files of this running program.
    virtual std::string JournalFolder() = 0;

    // The program should close (offering to save modified documents).
    virtual void RequestClose() = 0;

    // A journal file could not be written (the edit itself is kept): the
    // file and a message that names the cause.
    virtual void JournalFailed(const std::string& file, const std::string& message) {
        (void)file;
        MessageBox(message);
    }
    // A function the journal's writer thread calls after a failed write, so
    // that the user-interface thread soon calls CVexoDoc::CheckJournal. It
    // must be safe to call from any thread at any time and touch nothing of
    // the document or its windows.
    virtual std::function<void()> WorkerWakeUp() { return {}; }

    // The document's view waits for the click that picks the transparent
    // colour (command 1427).
    virtual void BeginTransparentPick(CVexoDoc&) {}

    // The text dialog for a tool or panel: fills `values` (when editing,
    // starting from the layer's own); false when cancelled, and always
    // without windows.
    virtual bool AskText(CVexoDoc&, textlayer::TextDialogValues&, bool /*edit*/) { return false; }
    // The colour-range tool's press picked `colour` (blue in the low byte).
    // The editor's colour-range dialog runs its selection with its own
    // tolerance and mode; without windows the selection runs at once with
    // the document's tolerance as a new selection.
    virtual void ColourRangePicked(CVexoDoc& doc, uint32_t colour);
};

// Host for programs without windows: messages go to stderr (and are kept
// for inspection), the clipboard is held in memory, new documents are kept.
class HeadlessHost : public DocHost {
public:
    HeadlessHost();
    ~HeadlessHost() override;

    void MessageBox(const std::string& text) override;
    void StatusText(const std::string& text) override { status = text; }
    void UpdateViews(CVexoDoc& doc, bool rebuild) override {
        ++viewUpdates;
        DocHost::UpdateViews(doc, rebuild);
    }
    void RefreshLayersPanel(CVexoDoc& doc) override {
        ++panelRefreshes;
        DocHost::RefreshLayersPanel(doc);
    }
    void StartSelectionTimer(CVexoDoc&, int ms) override { timerMs = ms; }
    void StopSelectionTimer(CVexoDoc&) override { timerMs = 0; }
    int CurrentCommand() const override { return currentCommand; }
    void SetCurrentCommand(int id) override { currentCommand = id; }
    int CurrentTool() const override { return currentTool; }
    bool SwitchTool(int id) override {
        currentTool = id;
        return true;
    }
    int NextDocSerial() override { return ++docSerialCounter; }
    int NextImageNumber() override { return ++imageCounter; }
    bool SetClipboardDib(const std::vector<uint8_t>& dib) override {
        clipboard = dib;
        return true;
    }
    bool GetClipboardDib(std::vector<uint8_t>& dib) override {
        dib = clipboard;
        return !clipboard.empty();
    }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void Progress(int percent) override { lastProgress = percent; }
    CVexoDoc* AdoptNewDocument(std::unique_ptr<CVexoDoc> doc, const std::string& title) override;
    std::string JournalFolder() override;
    void RequestClose() override { closeRequested = true; }
    void BeginTransparentPick(CVexoDoc&) override { ++transparentPicks; }
    // Kept (file, message), not echoed: the program reports them in its
    // own way.
    void JournalFailed(const std::string& file, const std::string& message) override;

    // When false, message boxes are only kept, not printed.
    bool echoMessages = true;
    std::vector<std::string> messages;
    std::string status;
    int viewUpdates = 0, panelRefreshes = 0, timerMs = 0, lastProgress = 0;
    int currentCommand = -1, currentTool = -1;
    int docSerialCounter = 0, imageCounter = 0;
    bool closeRequested = false;
    std::vector<std::pair<std::string, std::string>> journalFailures;
    int transparentPicks = 0;
    std::vector<uint8_t> clipboard;
    std::vector<std::unique_ptr<CVexoDoc>> newDocuments;
    std::vector<std::string> newDocumentTitles;
    // Journal folder; made on first use under the program's per-user folder.
    std::string journalFolder;
};
