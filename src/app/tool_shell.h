// The editor's side of the tools: the one tool switch (tools::ToolBox) with
// the paint settings, the host the views reach the application through
// (ViewHost), the questions and messages of the tools as message boxes, the
// tool palette with the colour swatches and the size display, the option
// bar and the paint panels, all registered through shell_commands.h.
#pragma once

#include <wx/wx.h>

#include <string>
#include <vector>

#include "tool_box.h"
#include "tool_ui.h"
#include "view_host.h"

class CMainFrame;
class wxToolBar;

class ToolShell : public ViewHost, public tools::ToolBoxListener, public tools::ToolUi {
public:
    static ToolShell& Get();

    tools::ToolBox& Box() { return box_; }
    // The main frame was built (its settings are loaded): the paint
    // settings start from them and write back into them.
    void Attach(CMainFrame& frame);
    void Detach();
    // The colour dialogs and the swap button of the application.
    void SetColour(bool foreground, int32_t rgb);
    void SwapColours();

    // --- ViewHost ----------------------------------------------------------------
    wxWindow* MakeDocumentFrame(wxDocument* doc, wxView* view, const wxString& title) override;
    wxString FrameTitle(wxWindow* frame) const override;
    void SetFrameTitle(wxWindow* frame, const wxString& title) override;
    viewmath::Look PictureLook() const override;
    int DefaultCursor() const override;
    bool IsActiveView(const wxView* view) const override;
    void ShowDocumentTitle(const wxString& childTitle) override;
    void ViewActivated(CVexoDoc* core) override;
    void SetProgress(int percent) override;
    void SendCommand(int id) override;
    bool CommandEnabled(int id) override;
    void ShowToolText(const std::string& text) override;
    void ShowPointer(int x, int y, unsigned colour, int alpha) override;
    void ShowZoom(int percent) override;
    tools::ToolBox& Tools() override { return box_; }
    tools::ToolUi& ToolMessages() override { return *this; }

    // --- ToolBoxListener ---------------------------------------------------------
    void ClosePanels(int newTool) override;
    void ToolChanged(int newTool, int oldTool) override;
    void PanelsChanged() override;

    // --- ToolUi ------------------------------------------------------------------
    void Message(const std::string& text) override;
    bool Ask(const std::string& text) override;
    void Status(const std::string& text) override;
    // The text and balloon tools open the document's text dialog.
    bool AskText(CVexoDoc& doc, textlayer::TextDialogValues& values, bool edit) override;
    // The balloon editor strip ("말풍선 편집").
    bool OpenBalloonEditor(CVexoDoc& doc) override;

    // The palette's columns of tools, in order (0: separator), and the
    // label of a button (its accessible name and tool tip).
    static const std::vector<std::vector<int>>& PaletteColumns();
    static std::string PaletteLabel(int id);
    void AddPalette(wxToolBar* bar) { palettes_.push_back(bar); }
    // The pressed button of the current tool, on every bar that has it.
    void SyncToolButtons();

private:
    void SettingsChanged();
    void ShowSwatches(wxToolBar* bar);
    tools::ToolBox box_;
    CMainFrame* frame_ = nullptr;
    std::vector<wxToolBar*> palettes_;
    CMainFrame* activateBound_ = nullptr;
    int listener_ = 0;
};

// The picture of a tool-bar button: the Breeze icon when installed, else
// the program's own drawing.
wxBitmapBundle ToolBitmap(int id);
