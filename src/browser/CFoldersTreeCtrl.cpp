#include "CFoldersTreeCtrl.h"

#include <wx/artprov.h>
#include <wx/imaglist.h>
#include <wx/sizer.h>

#include "folder_listing.h"

namespace {

enum Icon { kFolder, kFolderOpen, kHome, kDisk, kRemovable };

class FolderData : public wxTreeItemData {
public:
    explicit FolderData(std::string p) : path(std::move(p)) {}
    std::string path;
    bool filled = false;   // its level has been read once
};

wxString U(const std::string& s) { return wxString::FromUTF8(s); }

}  // namespace

CFoldersTreeCtrl::CFoldersTreeCtrl(wxWindow* parent, Chosen chosen)
    : wxTreeCtrl(parent, 1000, wxDefaultPosition, wxDefaultSize,
                 wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxTR_HIDE_ROOT | wxTR_SINGLE),
      chosen_(std::move(chosen)) {
    const wxSize icon(16, 16);
    auto* images = new wxImageList(icon.x, icon.y, true, 5);
    for (const char* id : {wxART_FOLDER, wxART_FOLDER_OPEN, wxART_GO_HOME, wxART_HARDDISK, wxART_REMOVABLE})
        images->Add(wxArtProvider::GetBitmap(id, wxART_OTHER, icon));
    AssignImageList(images);
    const wxTreeItemId root = AddRoot("root");
    for (const browser::FolderRoot& r : browser::FolderRoots()) {
        int image = kRemovable;
        if (r.path == "/") image = kDisk;
        else if (r.label == "홈 폴더") image = kHome;
        AddFolderItem(root, r.label, r.path, image);
    }
    Bind(wxEVT_TREE_ITEM_EXPANDING, &CFoldersTreeCtrl::OnExpanding, this);
    Bind(wxEVT_TREE_SEL_CHANGED, &CFoldersTreeCtrl::OnSelChanged, this);
    // Whether the next selection comes from the mouse or the keys.
    Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent& e) {
        byMouse_ = true;
        e.Skip();
    });
    Bind(wxEVT_KEY_DOWN, [this](wxKeyEvent& e) {
        byMouse_ = false;
        e.Skip();
    });
}

wxTreeItemId CFoldersTreeCtrl::AddFolderItem(const wxTreeItemId& parent, const std::string& label,
                                             const std::string& path, int image) {
    const wxTreeItemId item = AppendItem(parent, U(label), image, image == kFolder ? kFolderOpen : image,
                                         new FolderData(path));
    // The expand button only where there is something to expand.
    SetItemHasChildren(item, browser::HasSubFolders(path));
    return item;
}

void CFoldersTreeCtrl::FillFolderLevel(const wxTreeItemId& parent) {
    auto* data = static_cast<FolderData*>(GetItemData(parent));
    if (!data || data->filled) return;
    data->filled = true;
    const std::string folder = data->path;
    wxBusyCursor wait;
    for (const std::string& name : browser::SubFolders(folder))
        AddFolderItem(parent, name, browser::JoinPath(folder, name), kFolder);
    if (GetChildrenCount(parent, false) == 0) SetItemHasChildren(parent, false);
}

std::string CFoldersTreeCtrl::FolderOf(const wxTreeItemId& item) const {
    if (!item.IsOk()) return "";
    auto* data = static_cast<FolderData*>(GetItemData(item));
    return data ? data->path : "";
}

void CFoldersTreeCtrl::OnExpanding(wxTreeEvent& event) { FillFolderLevel(event.GetItem()); }

void CFoldersTreeCtrl::OnSelChanged(wxTreeEvent& event) {
    const wxTreeItemId item = event.GetItem();
    const std::string folder = FolderOf(item);
    if (folder.empty() || revealing_) return;
    // A folder chosen is read at once, so that its expand button is right.
    FillFolderLevel(item);
    if (chosen_) chosen_(folder, byMouse_);
}

void CFoldersTreeCtrl::Reveal(const std::string& folder) {
    if (folder.empty()) return;
    // The root whose path is the longest prefix of the folder.
    wxTreeItemIdValue cookie;
    wxTreeItemId best;
    size_t bestLength = 0;
    for (wxTreeItemId c = GetFirstChild(GetRootItem(), cookie); c.IsOk(); c = GetNextChild(GetRootItem(), cookie)) {
        const std::string p = FolderOf(c);
        const bool prefix = folder == p || (folder.rfind(p, 0) == 0 && (p == "/" || folder[p.size()] == '/'));
        if (prefix && p.size() >= bestLength) {
            best = c;
            bestLength = p.size();
        }
    }
    if (!best.IsOk()) return;
    wxTreeItemId item = best;
    std::string at = FolderOf(best);
    while (at != folder) {
        FillFolderLevel(item);
        std::string rest = folder.substr(at == "/" ? 1 : at.size() + 1);
        const std::string next = rest.substr(0, rest.find('/'));
        wxTreeItemIdValue c2;
        wxTreeItemId found;
        for (wxTreeItemId c = GetFirstChild(item, c2); c.IsOk(); c = GetNextChild(item, c2))
            if (GetItemText(c) == U(next)) found = c;
        if (!found.IsOk()) break;
        Expand(item);
        item = found;
        at = browser::JoinPath(at, next);
    }
    revealing_ = true;
    SelectItem(item);
    EnsureVisible(item);
    revealing_ = false;
}

CFoldersDlg::CFoldersDlg(wxWindow* parent, CFoldersTreeCtrl::Chosen chosen)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxSize(190, -1)) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    auto* title = new wxStaticText(this, wxID_ANY, wxString::FromUTF8("폴더선택"));
    title->SetForegroundColour(wxColour(88, 135, 110));
    sizer->Add(title, 0, wxLEFT | wxTOP, 8);
    tree_ = new CFoldersTreeCtrl(this, std::move(chosen));
    sizer->Add(tree_, 1, wxEXPAND | wxALL, 6);
    SetSizer(sizer);
    SetMinSize(wxSize(190, -1));
}
