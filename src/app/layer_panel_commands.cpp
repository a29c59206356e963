// The layers panel "      레이어창" (src/dialogs/CDlg_Layer.*) in the main
// frame: created once at start-up, hidden, docked at the right edge of the
// document area (its place is kept with the other panels' layout), shown
// and hidden by command 1554, and told which document window is the active
// one.
#include <wx/aui/aui.h>

#include "../view/CVexoView.h"
#include "../view/command_ids.h"
#include "CDlg_Layer.h"
#include "CMainFrame.h"
#include "CVexoApp.h"
#include "CVexoDocument.h"
#include "CVexoDoc.h"
#include "modes.h"
#include "shell_commands.h"
#include "tool_shell.h"

namespace {

constexpr const char* kName = "layers";

CDlg_Layer* PanelOf(CMainFrame& f) { return dynamic_cast<CDlg_Layer*>(f.FindPanel(kName)); }

void SendCommand(CMainFrame& f, int id) {
    wxCommandEvent e(wxEVT_MENU, cmd::EventId(id));
    e.SetEventObject(&f);
    f.GetEventHandler()->ProcessEvent(e);
}

// A command's state as the menus show it (asked along the frame's route).
bool CommandEnabled(CMainFrame& f, int id) {
    wxUpdateUIEvent ue(cmd::EventId(id));
    ue.SetEventObject(&f);
    f.ProcessWindowEvent(ue);
    return !ue.GetSetEnabled() || ue.GetEnabled();
}

CVexoDocument* WindowOf(CVexoDoc& core) {
    wxDocManager* dm = wxGetApp().DocManager();
    if (!dm) return nullptr;
    for (wxDocument* d : dm->GetDocumentsVector())
        if (auto* vd = wxDynamicCast(d, CVexoDocument); vd && vd->Core() == &core) return vd;
    return nullptr;
}

void SetCaption(CMainFrame& f, CDlg_Layer* p, const wxString& caption) {
    wxAuiPaneInfo& info = f.PanelManager().GetPane(p);
    if (!info.IsOk() || info.caption == caption) return;
    info.Caption(caption);
    f.PanelManager().Update();
}

wxWindow* Create(CMainFrame& f) {
    auto* p = new CDlg_Layer(&f);
    CMainFrame* frame = &f;
    p->command = [frame](int id) { SendCommand(*frame, id); };
    p->enabled = [frame](int id) { return CommandEnabled(*frame, id); };
    p->setCaption = [frame, p](const wxString& c) { SetCaption(*frame, p, c); };
    p->setHeight = [frame, p](int height) {
        // "늘여 보기": the pane asks for the taller height; a floating
        // panel takes it at once, a docked one as far as its dock allows.
        wxAuiPaneInfo& info = frame->PanelManager().GetPane(p);
        if (!info.IsOk()) return;
        const wxSize border = p->GetParent() ? p->GetParent()->GetSize() - p->GetParent()->GetClientSize() : wxSize();
        info.BestSize(layerpanel::kPanelWidth, height).MinSize(layerpanel::kPanelWidth, height);
        if (info.IsFloating()) info.FloatingSize(wxSize(layerpanel::kPanelWidth, height) + border);
        frame->PanelManager().Update();
        info.MinSize(layerpanel::kPanelWidth, layerpanel::kRowTop + layerpanel::kRowStep);
    };
    p->layerPressed = [](CVexoDoc& core) {
        if (CVexoDocument* d = WindowOf(core)) d->ShowLayerInTitle(true);
    };
    p->dragOut = [frame, p] {
        // The current layer goes to the clipboard and the move tool takes it
        // into the picture window the mouse enters next (the hand-over).
        CVexoDocument* d = frame->ActiveDocument();
        CVexoDoc* core = d ? d->Core() : nullptr;
        if (!core || !tools::StartHandOver(ToolShell::Get().Box(), *core, core->currentLayer, nullptr)) return;
        SetCaption(*frame, p, wxString::FromUTF8("이미지 복사됨"));
        if (CVexoView* v = frame->ActiveView())
            if (v->Canvas()) v->Canvas()->SetFocus();
    };
    p->contextMenu = [frame](wxWindow* on, const wxPoint& at) {
        wxMenu menu;
        const std::pair<int, const char*> entries[] = {
            {cmd::Copy, "복사"},           {cmd::Paste, "붙이기"},          {3500, "레이어 복제"},
            {1553, "레이어 삭제"},         {1552, "레이어 추가"},           {3994, "레이어 이름 변경"},
            {1500, "떡 이미지 만들기"},    {1545, "레스터 만들기"}};
        for (const auto& [id, label] : entries) {
            menu.Append(cmd::EventId(id), wxString::FromUTF8(label));
            menu.Enable(cmd::EventId(id), CommandEnabled(*frame, id));
        }
        const int chosen = on->GetPopupMenuSelectionFromUser(menu, at);
        if (chosen != wxID_NONE) SendCommand(*frame, cmd::CommandFromEvent(chosen));
    };
    p->balloonEditor = [frame] { frame->ShowPanel("balloon", true); };
    p->moveTo = [frame, p](const wxPoint& at) {
        wxAuiPaneInfo& info = frame->PanelManager().GetPane(p);
        if (!info.IsOk()) return false;
        if (info.IsFloating() && info.frame) {
            info.frame->Move(at);
            return true;
        }
        info.Float().FloatingPosition(at);
        frame->PanelManager().Update();
        return false;
    };
    CVexoDocument* d = f.ActiveDocument();
    p->Follow(d ? d->Core() : nullptr);
    return p;
}

const shell::PanelRegistrar kLayers({kName, Create,
    [](wxAuiPaneInfo& p) {
        p.Caption(wxString::FromUTF8("      레이어창"))
            .Right()
            .Layer(0)
            .Position(0)
            .BestSize(layerpanel::kPanelWidth, layerpanel::kPanelHeight)
            .MinSize(layerpanel::kPanelWidth, layerpanel::kRowTop + layerpanel::kRowStep)
            .FloatingSize(layerpanel::kPanelWidth + 8, layerpanel::kPanelHeight + 30)
            .Floatable(true)
            .Dockable(true)
            .CloseButton(true)
            .Hide();
    }});

const shell::FollowerRegistrar kFollow([](CMainFrame& f, CVexoDoc* doc) {
    if (CDlg_Layer* p = PanelOf(f)) p->Follow(doc);
});

const shell::Registrar kCommands({
    {cmd::LayersPanel, [](CMainFrame& f) { f.ShowPanel(kName, !f.PanelShown(kName)); }, nullptr,
     [](CMainFrame& f) { return f.PanelShown(kName); }},
});

}  // namespace
