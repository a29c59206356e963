// What the view needs from the application, as two narrow interfaces the
// application implements: its document (the headless core and the names
// shown in the title) and the shell around the views (the document window,
// the look of the picture, the title and status bar, the tools). The view
// includes nothing of the application.
#pragma once

#include <string>

class CVexoDoc;
class wxDocument;
class wxView;
class wxWindow;
class wxString;

namespace viewmath {
struct Look;
}
namespace tools {
class ToolBox;
class ToolUi;
}

class ViewDocument {
public:
    virtual ~ViewDocument() = default;
    virtual CVexoDoc* Core() const = 0;
    virtual std::string DisplayName() const = 0;
    // Extra text after the zoom in the window title.
    virtual const std::string& TitleSuffix() const = 0;
    // The document changed (a tool painted or selected).
    virtual void MarkModified() = 0;
};

class ViewHost {
public:
    virtual ~ViewHost() = default;
    // The one host, set by the application at start-up.
    static ViewHost* Get();
    static void Set(ViewHost* host);

    // The document window that holds a new view, and its title.
    virtual wxWindow* MakeDocumentFrame(wxDocument* doc, wxView* view, const wxString& title) = 0;
    virtual wxString FrameTitle(wxWindow* frame) const = 0;
    virtual void SetFrameTitle(wxWindow* frame, const wxString& title) = 0;
    // Backdrop hatch and grid of the configuration.
    virtual viewmath::Look PictureLook() const = 0;
    // The configuration's default cursor (Cur, 1-5).
    virtual int DefaultCursor() const = 0;
    virtual bool IsActiveView(const wxView* view) const = 0;
    virtual void ShowDocumentTitle(const wxString& childTitle) = 0;
    // A view became the active one: the panels follow its document.
    virtual void ViewActivated(CVexoDoc* /*core*/) {}
    virtual void SetProgress(int percent) = 0;
    // A command (the context menu's) sent to the main window.
    virtual void SendCommand(int id) = 0;
    // Whether the main window's menus would show the command enabled (the
    // same rules serve the context menu).
    virtual bool CommandEnabled(int id) = 0;
    // Status bar: the tool's text, the picture pixel and colour under the
    // mouse (x < 0: none), the zoom in percent.
    virtual void ShowToolText(const std::string& text) = 0;
    virtual void ShowPointer(int x, int y, unsigned colour, int alpha) = 0;
    virtual void ShowZoom(int percent) = 0;
    // The tools shared by every document window.
    virtual tools::ToolBox& Tools() = 0;
    virtual tools::ToolUi& ToolMessages() = 0;
};
