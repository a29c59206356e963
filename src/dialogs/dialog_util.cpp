#include "dialog_util.h"

#include <wx/toolbar.h>
#include <wx/tooltip.h>

#include <gtk/gtk.h>

namespace dlgui {

namespace {
void SetAtkName(GtkWidget* w, const char* name) {
    if (!w) return;
    if (AtkObject* a = gtk_widget_get_accessible(w)) atk_object_set_name(a, name);
}

// The input widgets inside a control's outer widget (a slider's box holds
// its scale, a spin control its entry).
void NameInner(GtkWidget* w, const char* name) {
    if (!w || !GTK_IS_CONTAINER(w) || GTK_IS_BUTTON(w) || GTK_IS_COMBO_BOX(w)) return;
    GList* kids = gtk_container_get_children(GTK_CONTAINER(w));
    for (GList* k = kids; k; k = k->next) {
        GtkWidget* c = GTK_WIDGET(k->data);
        if (GTK_IS_SCALE(c) || GTK_IS_ENTRY(c) || GTK_IS_SCROLLBAR(c)) SetAtkName(c, name);
        NameInner(c, name);
    }
    g_list_free(kids);
}

bool HasAtkName(GtkWidget* w) {
    if (!w) return true;
    AtkObject* a = gtk_widget_get_accessible(w);
    const char* n = a ? atk_object_get_name(a) : nullptr;
    return n && *n;
}
}  // namespace

void Name(wxWindow* control, const wxString& name) {
    if (!control) return;
    control->SetName(name);
    const wxScopedCharBuffer utf8 = name.utf8_str();
    auto* w = static_cast<GtkWidget*>(control->GetHandle());
    SetAtkName(w, utf8.data());
    NameInner(w, utf8.data());
}

void NameUnnamed(wxWindow* root) {
    if (!root) return;
    for (wxWindow* child : root->GetChildren()) {
        auto* w = static_cast<GtkWidget*>(child->GetHandle());
        if (!HasAtkName(w)) {
            wxString name = child->GetLabel();
            name.Replace("&", "");
            if (name.empty() && child->GetToolTip()) name = child->GetToolTip()->GetTip();
            if (!name.empty()) Name(child, name);
        }
        NameUnnamed(child);
    }
}

void NameToolBar(wxToolBar* bar) {
    if (!bar) return;
    // The tool bar's widget may be a box around the GtkToolbar.
    GtkWidget* w = static_cast<GtkWidget*>(bar->GetHandle());
    while (w && !GTK_IS_TOOLBAR(w) && GTK_IS_BIN(w)) w = gtk_bin_get_child(GTK_BIN(w));
    if (!w || !GTK_IS_TOOLBAR(w)) return;
    auto* gtkBar = GTK_TOOLBAR(w);
    const int n = gtk_toolbar_get_n_items(gtkBar);
    int tool = 0;
    for (int i = 0; i < n; ++i) {
        GtkToolItem* item = gtk_toolbar_get_nth_item(gtkBar, i);
        const wxToolBarToolBase* t = bar->GetToolByPos(tool++);
        if (!item || !t || t->IsSeparator()) continue;
        wxString tip = t->GetShortHelp();
        if (tip.empty()) tip = t->GetLabel();
        const wxScopedCharBuffer utf8 = tip.utf8_str();
        SetAtkName(GTK_WIDGET(item), utf8.data());
        if (GTK_IS_BIN(item)) SetAtkName(gtk_bin_get_child(GTK_BIN(item)), utf8.data());
    }
}

wxSizer* Labelled(wxWindow* parent, const wxString& label, wxWindow* control, int labelWidth) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    auto* text = new wxStaticText(parent, wxID_ANY, label, wxDefaultPosition, wxSize(labelWidth, -1));
    row->Add(text, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    row->Add(control, 1, wxALIGN_CENTER_VERTICAL);
    Name(control, label);
    return row;
}

wxSizer* OkCancel(wxWindow* parent) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->AddStretchSpacer();
    auto* ok = new wxButton(parent, wxID_OK, U("확인"));
    ok->SetDefault();
    row->Add(ok, 0, wxRIGHT, 6);
    row->Add(new wxButton(parent, wxID_CANCEL, U("취소")));
    return row;
}

long LeadingInt(const wxString& text) {
    std::string s = S(text);
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
    long v = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && v < 100000000) v = v * 10 + (s[i++] - '0');
    return neg ? -v : v;
}

}  // namespace dlgui

#include "dialog_host.h"

namespace dlgui {
DialogHost& Host() {
    static DialogHost host;
    return host;
}
}  // namespace dlgui
