// The editor's side of the tools that open a mode (modes.h): the path panel
// ("path": its four tool buttons, "영역으로" for 5622, "닫기") opened by 1509
// "경로선택", and the free-transform panel ("transform": the three rules,
// "적용" and "취소") opened by 4250, 4251 and 4252. Both are shown and
// hidden by ToolShell::PanelsChanged as the tool switch says.
#include <wx/aui/aui.h>

#include "../view/CVexoView.h"
#include "CMainFrame.h"
#include "CVexoApp.h"
#include "CVexoDocument.h"
#include "CVexoDoc.h"
#include "command_ids.h"
#include "modes.h"
#include "shell_commands.h"
#include "tool_shell.h"
#include "workbench.h"

namespace {

wxString U(const char* s) { return wxString::FromUTF8(s); }

CVexoDoc* ActiveCore(CMainFrame& f) {
    CVexoDocument* d = f.ActiveDocument();
    return d ? d->Core() : nullptr;
}

// After a mode command: the overlays follow and the views repaint.
void Repaint(CMainFrame& f) {
    for (tools::Workbench* w : ToolShell::Get().Box().Workbenches()) w->RefreshBackground();
    if (CVexoDocument* d = f.ActiveDocument()) d->UpdateAllViews();
    if (CVexoView* v = f.ActiveView())
        if (v->Canvas()) v->Canvas()->SetFocus();
}

wxButton* Button(wxWindow* parent, wxSizer* row, const char* label, std::function<void()> run) {
    auto* b = new wxButton(parent, wxID_ANY, U(label), wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
    b->SetName(U(label));
    b->Bind(wxEVT_BUTTON, [run](wxCommandEvent&) { run(); });
    row->Add(b, 0, wxALL, 2);
    return b;
}

void OpenPath(CMainFrame& f) {
    tools::ToolBox& box = ToolShell::Get().Box();
    // A second 1509 while the panel is open closes it (asking about the path).
    if (box.PathPanelShown()) {
        tools::ClosePathPanel(box, ActiveCore(f), ToolShell::Get());
    } else {
        tools::OpenPathPanel(box, ActiveCore(f));
    }
    Repaint(f);
}

void PathSelection(CMainFrame& f) {
    CVexoDoc* doc = ActiveCore(f);
    if (!doc) return;
    tools::MakePathSelection(ToolShell::Get().Box(), *doc);
    Repaint(f);
}

void Transform(CMainFrame& f, int id) {
    CVexoDoc* doc = ActiveCore(f);
    if (!doc) return;
    tools::BeginTransform(ToolShell::Get().Box(), *doc, id);
    Repaint(f);
}

void EndTransform(CMainFrame& f, bool apply) {
    CVexoDoc* doc = ActiveCore(f);
    if (!doc) return;
    tools::EndTransform(ToolShell::Get().Box(), *doc, apply);
    Repaint(f);
}

const shell::Registrar kCommands({
    {1509, [](CMainFrame& f) { OpenPath(f); }, shell::NeedsDocument, nullptr},
    {5622, [](CMainFrame& f) { PathSelection(f); }, shell::NeedsDocument, nullptr},
    {4250, [](CMainFrame& f) { Transform(f, 4250); }, shell::NeedsDocument, nullptr},
    {4251, [](CMainFrame& f) { Transform(f, 4251); }, shell::NeedsDocument, nullptr},
    {4252, [](CMainFrame& f) { Transform(f, 4252); }, shell::NeedsDocument, nullptr},
});

const shell::PanelRegistrar kPathPanel({"path",
    [](CMainFrame& f) -> wxWindow* {
        auto* p = new wxPanel(&f, wxID_ANY);
        p->SetName(U("경로"));
        auto* row = new wxBoxSizer(wxHORIZONTAL);
        struct Entry {
            int id;
            const char* label;
        };
        for (const Entry& e : {Entry{5615, "점 찍기"}, Entry{5616, "점 끌기"}, Entry{5620, "점 넣기"}, Entry{5621, "점 지우기"}})
            Button(p, row, e.label, [e] { ToolShell::Get().SendCommand(e.id); });
        Button(p, row, "영역으로", [&f] { PathSelection(f); });
        Button(p, row, "닫기", [&f] {
            tools::ClosePathPanel(ToolShell::Get().Box(), ActiveCore(f), ToolShell::Get());
            Repaint(f);
        });
        p->SetSizerAndFit(row);
        // The pane's close button closes the panel the same way.
        f.Bind(wxEVT_AUI_PANE_CLOSE, [p, &f](wxAuiManagerEvent& e) {
            if (e.GetPane() && e.GetPane()->window == p && ToolShell::Get().Box().PathPanelShown()) {
                tools::ClosePathPanel(ToolShell::Get().Box(), ActiveCore(f), ToolShell::Get());
                Repaint(f);
            }
            e.Skip();
        });
        return p;
    },
    [](wxAuiPaneInfo& p) { p.Caption(U("경로")).Top().Row(4).Floatable(true).CloseButton(true).Hide(); }});

const shell::PanelRegistrar kTransformPanel({"transform",
    [](CMainFrame& f) -> wxWindow* {
        auto* p = new wxPanel(&f, wxID_ANY);
        p->SetName(U("자유변형"));
        auto* row = new wxBoxSizer(wxHORIZONTAL);
        Button(p, row, "크기조정", [&f] { Transform(f, 4250); });
        Button(p, row, "왜곡", [&f] { Transform(f, 4251); });
        Button(p, row, "원근", [&f] { Transform(f, 4252); });
        Button(p, row, "적용", [&f] { EndTransform(f, true); });
        Button(p, row, "취소", [&f] { EndTransform(f, false); });
        p->SetSizerAndFit(row);
        f.Bind(wxEVT_AUI_PANE_CLOSE, [p, &f](wxAuiManagerEvent& e) {
            if (e.GetPane() && e.GetPane()->window == p && ToolShell::Get().Box().TransformPanelShown())
                EndTransform(f, false);
            e.Skip();
        });
        return p;
    },
    [](wxAuiPaneInfo& p) { p.Caption(U("자유변형")).Top().Row(5).Floatable(true).CloseButton(true).Hide(); }});

}  // namespace
