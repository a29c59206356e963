// The folder window: a tree of the file system (the home folder, the root
// and the mounted volumes), folders only, hidden ones left out, filled level
// by level as items are expanded, with the system's folder icons.
#pragma once

#include <wx/panel.h>
#include <wx/stattext.h>
#include <wx/treectrl.h>

#include <functional>
#include <string>

class CFoldersTreeCtrl : public wxTreeCtrl {
public:
    // `chosen` runs when the user selects a folder (byMouse: with a click,
    // not by moving through the tree with the keys).
    using Chosen = std::function<void(const std::string& folder, bool byMouse)>;
    CFoldersTreeCtrl(wxWindow* parent, Chosen chosen);
    // The folder of an item ("" for none).
    std::string FolderOf(const wxTreeItemId& item) const;
    // Expands the tree down to `folder` (below one of the roots) and
    // selects it without listing it again.
    void Reveal(const std::string& folder);

private:
    void FillFolderLevel(const wxTreeItemId& parent);
    wxTreeItemId AddFolderItem(const wxTreeItemId& parent, const std::string& label, const std::string& path, int image);
    void OnExpanding(wxTreeEvent& event);
    void OnSelChanged(wxTreeEvent& event);

    Chosen chosen_;
    bool revealing_ = false;
    bool byMouse_ = false;
};

// The window around the tree, with its title "폴더선택".
class CFoldersDlg : public wxPanel {
public:
    CFoldersDlg(wxWindow* parent, CFoldersTreeCtrl::Chosen chosen);
    CFoldersTreeCtrl* Tree() const { return tree_; }

private:
    CFoldersTreeCtrl* tree_ = nullptr;
};
