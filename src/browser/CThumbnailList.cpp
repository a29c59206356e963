#include "CThumbnailList.h"

#include <wx/dcbuffer.h>
#include <wx/settings.h>

#include <algorithm>

namespace {
constexpr int kTop = 8, kGap = 6, kTextGap = 4;
}

CThumbnailList::CThumbnailList(wxWindow* parent, wxWindowID id)
    : wxScrolledCanvas(parent, id, wxDefaultPosition, wxDefaultSize, wxVSCROLL | wxBORDER_SUNKEN | wxWANTS_CHARS) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetBackgroundColour(*wxWHITE);
    SetScrollRate(0, 20);
    Bind(wxEVT_PAINT, &CThumbnailList::OnPaint, this);
    Bind(wxEVT_LEFT_DOWN, &CThumbnailList::OnMouse, this);
    Bind(wxEVT_LEFT_DCLICK, &CThumbnailList::OnMouse, this);
    Bind(wxEVT_KEY_DOWN, &CThumbnailList::OnKey, this);
    Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
        UpdateExtent();
        Refresh(false);
        e.Skip();
    });
}

int CThumbnailList::Columns() const { return std::max(1, GetClientSize().x / kCellWidth); }

int CThumbnailList::CellHeight() const { return kPictureHeight + kTextGap + GetCharHeight() + kGap + kTop; }

wxRect CThumbnailList::CellRect(int index) const {
    const int cols = Columns();
    return wxRect((index % cols) * kCellWidth, (index / cols) * CellHeight(), kCellWidth, CellHeight());
}

void CThumbnailList::UpdateExtent() {
    const int rows = (Count() + Columns() - 1) / Columns();
    SetVirtualSize(GetClientSize().x, rows * CellHeight());
}

void CThumbnailList::Clear() {
    items_.clear();
    focus_ = anchor_ = -1;
    visibleFirst_ = 0;
    visibleLast_ = -1;
    Scroll(0, 0);
    UpdateExtent();
    Refresh(false);
}

void CThumbnailList::SetNames(const std::vector<std::string>& names) {
    items_.clear();
    items_.reserve(names.size());
    for (const std::string& n : names) items_.push_back(Item{n, wxBitmap(), false});
    focus_ = anchor_ = -1;
    UpdateExtent();
    Refresh(false);
}

void CThumbnailList::SetPicture(int index, const wxBitmap& picture) {
    if (index < 0 || index >= Count()) return;
    items_[size_t(index)].picture = picture;
    RefreshItem(index);
}

std::vector<int> CThumbnailList::Selected() const {
    std::vector<int> out;
    for (int i = 0; i < Count(); ++i)
        if (items_[size_t(i)].selected) out.push_back(i);
    return out;
}

void CThumbnailList::Select(int index, bool only) {
    if (index < 0 || index >= Count()) return;
    if (only)
        for (Item& it : items_) it.selected = false;
    items_[size_t(index)].selected = true;
    focus_ = anchor_ = index;
    Refresh(false);
    if (onItemChanged) onItemChanged(index);
}

int CThumbnailList::HitTest(const wxPoint& p) const {
    const wxPoint v = CalcUnscrolledPosition(p);
    if (v.x < 0 || v.y < 0 || v.x >= Columns() * kCellWidth) return -1;
    const int index = (v.y / CellHeight()) * Columns() + v.x / kCellWidth;
    if (index >= Count()) return -1;
    // Only the picture and its name count, not the space around them.
    const wxRect cell = CellRect(index);
    const wxRect body(cell.x + (kCellWidth - kPictureWidth) / 2 - 2, cell.y + kTop - 2, kPictureWidth + 4,
                      cell.height - kTop - kGap + 4);
    return body.Contains(v) ? index : -1;
}

void CThumbnailList::RefreshItem(int index) {
    wxRect r = CellRect(index);
    r.SetPosition(CalcScrolledPosition(r.GetPosition()));
    RefreshRect(r, false);
}

void CThumbnailList::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    DoPrepareDC(dc);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    if (items_.empty()) return;
    const wxPoint origin = CalcUnscrolledPosition(wxPoint(0, 0));
    const wxSize client = GetClientSize();
    const int cols = Columns(), h = CellHeight();
    const int firstRow = std::max(0, origin.y / h), lastRow = (origin.y + client.y) / h;
    // The worker makes the thumbnails in view first.
    const int first = std::min(Count() - 1, firstRow * cols), last = std::min(Count() - 1, lastRow * cols + cols - 1);
    if ((first != visibleFirst_ || last != visibleLast_) && onVisibleChanged) {
        visibleFirst_ = first;
        visibleLast_ = last;
        onVisibleChanged(first, last);
    }
    const wxColour highlight = wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT);
    const wxColour highlightText = wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHTTEXT);
    dc.SetFont(GetFont());
    // Only the cells the update touches: a new thumbnail repaints its own
    // cell, not the whole view (names are laid out by Pango, costly).
    wxRect box = GetUpdateRegion().GetBox();
    box.SetPosition(CalcUnscrolledPosition(box.GetPosition()));
    const int rowFrom = std::max(firstRow, box.y / h), rowTo = std::min(lastRow, box.GetBottom() / h);
    const int colFrom = std::max(0, box.x / kCellWidth), colTo = std::min(cols - 1, box.GetRight() / kCellWidth);
    for (int row = rowFrom; row <= rowTo; ++row)
        for (int col = colFrom; col <= colTo; ++col) {
            const int i = row * cols + col;
            if (i >= Count()) return;
            const Item& it = items_[size_t(i)];
            const wxRect cell = CellRect(i);
            const int px = cell.x + (kCellWidth - kPictureWidth) / 2, py = cell.y + kTop;
            if (it.picture.IsOk()) {
                dc.DrawBitmap(it.picture, px, py);
            }
            dc.SetBrush(*wxTRANSPARENT_BRUSH);
            dc.SetPen(wxPen(it.selected ? highlight : wxColour(210, 210, 210), it.selected ? 2 : 1));
            dc.DrawRectangle(px - 1, py - 1, kPictureWidth + 2, kPictureHeight + 2);
            wxString label = wxString::FromUTF8(it.name);
            wxCoord tw, th;
            dc.GetTextExtent(label, &tw, &th);
            const int room = kCellWidth - 6;
            if (tw > room) {
                while (label.length() > 1 && tw > room) {
                    label.RemoveLast();
                    dc.GetTextExtent(label + "…", &tw, &th);
                }
                label += "…";
            }
            const int tx = cell.x + (kCellWidth - tw) / 2, ty = py + kPictureHeight + kTextGap;
            if (it.selected) {
                dc.SetBrush(wxBrush(highlight));
                dc.SetPen(*wxTRANSPARENT_PEN);
                dc.DrawRectangle(tx - 2, ty, tw + 4, th);
                dc.SetTextForeground(highlightText);
            } else {
                dc.SetTextForeground(*wxBLACK);
            }
            dc.DrawText(label, tx, ty);
        }
}

void CThumbnailList::MoveTo(int index, bool extend) {
    if (index < 0 || index >= Count()) return;
    if (extend && anchor_ >= 0) {
        for (Item& it : items_) it.selected = false;
        for (int i = std::min(anchor_, index); i <= std::max(anchor_, index); ++i) items_[size_t(i)].selected = true;
        focus_ = index;
    } else {
        for (Item& it : items_) it.selected = false;
        items_[size_t(index)].selected = true;
        focus_ = anchor_ = index;
    }
    // Keep the item in view.
    const wxRect r = CellRect(index);
    int ux, uy;
    GetScrollPixelsPerUnit(&ux, &uy);
    const wxPoint origin = CalcUnscrolledPosition(wxPoint(0, 0));
    if (uy > 0) {
        if (r.y < origin.y) Scroll(-1, r.y / uy);
        else if (r.GetBottom() > origin.y + GetClientSize().y) Scroll(-1, (r.GetBottom() - GetClientSize().y) / uy + 1);
    }
    Refresh(false);
    if (onItemChanged) onItemChanged(index);
}

void CThumbnailList::OnMouse(wxMouseEvent& event) {
    SetFocus();
    const int i = HitTest(event.GetPosition());
    if (event.LeftDClick()) {
        if (i < 0) {
            if (onBackgroundDoubleClick) onBackgroundDoubleClick();
        } else if (onActivate) {
            onActivate();
        }
        return;
    }
    if (i < 0) {
        if (!event.ControlDown() && !event.ShiftDown()) {
            for (Item& it : items_) it.selected = false;
            Refresh(false);
        }
        return;
    }
    if (event.ControlDown()) {
        items_[size_t(i)].selected = !items_[size_t(i)].selected;
        focus_ = anchor_ = i;
        RefreshItem(i);
        if (items_[size_t(i)].selected && onItemChanged) onItemChanged(i);
        return;
    }
    MoveTo(i, event.ShiftDown());
}

void CThumbnailList::OnKey(wxKeyEvent& event) {
    const int cols = Columns();
    const int at = focus_ < 0 ? 0 : focus_;
    const bool shift = event.ShiftDown();
    switch (event.GetKeyCode()) {
    case WXK_LEFT: MoveTo(focus_ < 0 ? 0 : std::max(0, at - 1), shift); return;
    case WXK_RIGHT: MoveTo(focus_ < 0 ? 0 : std::min(Count() - 1, at + 1), shift); return;
    case WXK_UP: MoveTo(focus_ < 0 ? 0 : (at - cols >= 0 ? at - cols : at), shift); return;
    case WXK_DOWN: MoveTo(focus_ < 0 ? 0 : (at + cols < Count() ? at + cols : at), shift); return;
    case WXK_HOME: MoveTo(0, shift); return;
    case WXK_END: MoveTo(Count() - 1, shift); return;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
        if (onActivate) onActivate();
        return;
    default: break;
    }
    if (event.ControlDown() && (event.GetKeyCode() == 'A' || event.GetKeyCode() == 1)) {
        for (Item& it : items_) it.selected = true;
        Refresh(false);
        return;
    }
    event.Skip();
}
