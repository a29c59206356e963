// The preview window: the picture of the selected list item drawn into a
// canvas that keeps its aspect within the window's free area, and a line
// with its size and name.
#pragma once

#include <wx/bitmap.h>
#include <wx/panel.h>
#include <wx/stattext.h>

#include <string>

#include "thumbnail.h"

class CPreviewDlg : public wxPanel {
public:
    explicit CPreviewDlg(wxWindow* parent);
    // The picture (reduced to at most the preview's size), its own size and
    // its file name; an empty picture clears the preview.
    void SetPicture(const browser::Picture24& picture, int width, int height, const std::string& name);
    void Clear();
    // Lays the canvas out again (the window's size message).
    void LayOut();
    bool HasPicture() const { return picture_.IsOk(); }

    // Largest picture the preview keeps (larger ones are reduced first).
    static constexpr int kMaxWidth = 400, kMaxHeight = 546;

private:
    void OnPaintCanvas(wxPaintEvent&);

    wxPanel* canvas_ = nullptr;       // "Image Preview Canvas"
    wxStaticText* info_ = nullptr;
    wxImage picture_;
    int width_ = 0, height_ = 0;
    std::string name_;
};
