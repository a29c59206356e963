// Document window: a tab (or split pane) of the main frame's notebook.
#pragma once

#include <wx/wx.h>
#include <wx/aui/tabmdi.h>
#include <wx/docview.h>

using CChildFrameBase = wxDocChildFrameAny<wxAuiMDIChildFrame, wxAuiMDIParentFrame>;

class CChildFrame : public CChildFrameBase {
public:
    // Created here rather than by the base's constructor, so that the
    // realize handling below is already this class's while it is created.
    CChildFrame(wxDocument* doc, wxView* view, wxAuiMDIParentFrame* parent, const wxString& title) {
        Create(doc, view, parent, wxID_ANY, title);
    }

    // A tabbed document window is a frame in wx's class tree but a plain
    // child widget in GTK: the top-level window's realize handling would
    // treat that widget as a GtkWindow (GLib and GTK warnings for every new
    // document window), so the ordinary window's handling is used.
    void GTKHandleRealized() override { wxWindow::GTKHandleRealized(); }
};
