// The thumbnail list of the image browser: cells of a 100 x 90 picture
// with the file name below, laid out in rows that follow the window's
// width, scrolled vertically. Selection as in a file manager: a click
// selects one item, Ctrl+click adds or removes one, Shift+click a range,
// Ctrl+A all; the arrow keys move (Shift extends); a double click or Enter
// opens. Drawn by itself, so that thousands of items cost nothing until
// they are scrolled into view.
#pragma once

#include <wx/bitmap.h>
#include <wx/scrolwin.h>

#include <functional>
#include <string>
#include <vector>

class CThumbnailList : public wxScrolledCanvas {
public:
    CThumbnailList(wxWindow* parent, wxWindowID id);

    void Clear();
    // The items, each with an empty (white) picture until SetPicture.
    void SetNames(const std::vector<std::string>& names);
    void SetPicture(int index, const wxBitmap& picture);
    int Count() const { return int(items_.size()); }
    const std::string& Name(int index) const { return items_[size_t(index)].name; }
    bool HasPicture(int index) const { return items_[size_t(index)].picture.IsOk(); }
    // Selected items in list order.
    std::vector<int> Selected() const;
    void Select(int index, bool only = true);
    // The item under a point of the window (scrolled), or -1.
    int HitTest(const wxPoint& windowPoint) const;

    // The selection moved to this item (the last one clicked or reached).
    std::function<void(int index)> onItemChanged;
    // Enter, or a double click on an item.
    std::function<void()> onActivate;
    // A double click where there is no item.
    std::function<void()> onBackgroundDoubleClick;
    // The items in view changed (scrolled, resized, new items): first..last.
    std::function<void(int first, int last)> onVisibleChanged;

    static constexpr int kCellWidth = 130;
    static constexpr int kPictureWidth = 100, kPictureHeight = 90;

private:
    struct Item {
        std::string name;
        wxBitmap picture;
        bool selected = false;
    };
    int Columns() const;
    int CellHeight() const;
    wxRect CellRect(int index) const;   // in scrolled (virtual) coordinates
    void UpdateExtent();
    void RefreshItem(int index);
    void MoveTo(int index, bool extend);
    void OnPaint(wxPaintEvent&);
    void OnMouse(wxMouseEvent& event);
    void OnKey(wxKeyEvent& event);

    std::vector<Item> items_;
    int focus_ = -1, anchor_ = -1;
    int visibleFirst_ = 0, visibleLast_ = -1;
};
