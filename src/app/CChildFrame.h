// Document window: a tab (or split pane) of the main frame's notebook.
#pragma once

#include <wx/wx.h>
#include <wx/aui/tabmdi.h>
#include <wx/docview.h>

using CChildFrameBase = wxDocChildFrameAny<wxAuiMDIChildFrame, wxAuiMDIParentFrame>;

class CChildFrame : public CChildFrameBase {
public:
    CChildFrame(wxDocument* doc, wxView* view, wxAuiMDIParentFrame* parent, const wxString& title)
        : CChildFrameBase(doc, view, parent, wxID_ANY, title) {}
};
