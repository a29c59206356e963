#include "tool_shell.h"

#include <wx/aui/aui.h>
#include <wx/dcmemory.h>

#include <cstdio>

#include "../dialogs/dialog_util.h"
#include "../dialogs/paint_panels.h"
#include "../view/CVexoView.h"
#include "CChildFrame.h"
#include "CMainFrame.h"
#include "CVexoApp.h"
#include "CVexoDocument.h"
#include "command_ids.h"
#include "shell_commands.h"
#include "tool_table.h"
#include "toolbar_art.h"
#include "workbench.h"
#include "view_icons.h"
#include "view_render.h"

namespace {

wxString U(const char* s) { return wxString::FromUTF8(s); }
wxString U(const std::string& s) { return wxString::FromUTF8(s); }

paint::Rgb RgbOf(int32_t c) { return paint::Rgb{uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)}; }
int32_t IntOf(paint::Rgb c) { return int32_t(c.r) | int32_t(c.g) << 8 | int32_t(c.b) << 16; }

// Status bar fields: tool text, pixel, colour, zoom, progress.
enum { kFieldText = 0, kFieldPixel = 1, kFieldColour = 2, kFieldZoom = 3 };

constexpr int kBrushPanelCommand = 1510;

// A swatch: the colour in a frame.
wxBitmap Swatch(paint::Rgb c) {
    wxBitmap bmp(22, 22, 24);
    wxMemoryDC dc(bmp);
    dc.SetBackground(wxBrush(wxColour(240, 240, 240)));
    dc.Clear();
    dc.SetPen(*wxBLACK_PEN);
    dc.SetBrush(wxBrush(wxColour(c.r, c.g, c.b)));
    dc.DrawRectangle(3, 3, 16, 16);
    dc.SelectObject(wxNullBitmap);
    return bmp;
}

// The size display: the brush size over a soft disc ("붓") or a square ("연필").
wxBitmap SizeDisplay(int size, bool brush) {
    wxBitmap bmp(22, 22, 24);
    wxMemoryDC dc(bmp);
    dc.SetBackground(wxBrush(wxColour(240, 240, 240)));
    dc.Clear();
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(wxColour(150, 170, 210)));
    if (brush)
        dc.DrawCircle(11, 11, 9);
    else
        dc.DrawRectangle(3, 3, 16, 16);
    dc.SetTextForeground(wxColour(20, 20, 40));
    dc.SetFont(wxFont(wxFontInfo(8).Bold()));
    const wxString t = wxString::Format("%d", size);
    const wxSize s = dc.GetTextExtent(t);
    dc.DrawText(t, (22 - s.x) / 2, (22 - s.y) / 2);
    dc.SelectObject(wxNullBitmap);
    return bmp;
}

// Pictures for the tools no icon fits.
wxBitmap DrawnTool(int id) {
    wxBitmap bmp(22, 22, 24);
    wxMemoryDC dc(bmp);
    dc.SetBackground(wxBrush(wxColour(240, 240, 240)));
    dc.Clear();
    dc.SetPen(wxPen(wxColour(40, 40, 60), 2));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    switch (id) {
    case 1350:   // dot
        dc.SetBrush(wxBrush(wxColour(40, 40, 60)));
        dc.DrawCircle(11, 11, 3);
        break;
    case 4812:
        dc.SetPen(wxPen(wxColour(40, 40, 60), 1, wxPENSTYLE_SHORT_DASH));
        dc.DrawEllipse(3, 4, 16, 14);
        break;
    case 1345: {
        dc.SetPen(wxPen(wxColour(40, 40, 60), 1, wxPENSTYLE_SHORT_DASH));
        wxPoint p[5] = {{4, 16}, {6, 5}, {15, 3}, {19, 12}, {11, 19}};
        dc.DrawPolygon(5, p);
        break;
    }
    default: {
        dc.SetFont(wxFont(wxFontInfo(6)));
        const wxString t = wxString::Format("%d", id);
        const wxSize s = dc.GetTextExtent(t);
        dc.DrawText(t, (22 - s.x) / 2, (22 - s.y) / 2);
    }
    }
    dc.SelectObject(wxNullBitmap);
    return bmp;
}

CMainFrame* Frame() { return wxGetApp().MainFrame(); }

void RepaintViewsSoon();

}  // namespace

wxBitmapBundle ToolBitmap(int id) {
    if (wxBitmapBundle b = viewicons::ForCommand(id); b.IsOk()) return b;
    for (const toolart::Tool& t : toolart::Tools())
        if (t.id == id) return wxBitmapBundle(toolart::Draw(id));
    if (id == 1344) return wxBitmapBundle(toolart::Draw(id));
    return wxBitmapBundle(DrawnTool(id));
}

ToolShell& ToolShell::Get() {
    static ToolShell shell;
    return shell;
}

const std::vector<std::vector<int>>& ToolShell::PaletteColumns() {
    // Two columns side by side, so that every tool fits a window 900 pixels
    // high: the selection and paint tools, then the layer, view, text, path
    // and free-transform tools with the colours and the size display.
    static const std::vector<std::vector<int>> columns = {
        {1342, 4812, 1343, 1344, 1345, 0, 1347, 4669, 1355, 1346, 1350, 1354, 1352, 1353, 0, 1356, 1357, 1380, 3340},
        {1570, 1420, 2096, 0, 1382, 4828, 4829, 0, 5615, 5616, 5620, 5621, 0, 4250, 4251, 4252, 0,
         1384, 1385, 1386, kBrushPanelCommand},
    };
    return columns;
}

std::string ToolShell::PaletteLabel(int id) {
    switch (id) {
    case cmd::ForeColour: return "전경색";
    case cmd::BackColour: return "배경색";
    case cmd::SwapColours: return "색 바꾸기";
    case kBrushPanelCommand: return "붓굵기";
    case 1382: return "글자 입력";
    case 4829: return "말풍선 꼬리";
    case 5615: return "경로 점 찍기";
    case 5616: return "경로 점 끌기";
    case 5620: return "경로 점 넣기";
    case 5621: return "경로 점 지우기";
    case 4250: return "자유변형(크기조정)";
    case 4251: return "자유변형(왜곡)";
    case 4252: return "자유변형(원근)";
    default: break;
    }
    // The tool's own text: the part after "\n" when there is one.
    const tools::ToolInfo* info = tools::Find(id);
    const std::string t = info ? info->text : std::string();
    const size_t nl = t.find('\n');
    if (nl != std::string::npos) return t.substr(nl + 1);
    if (!t.empty()) return t;
    const std::string status = tools::StatusText(id);
    return status.empty() ? std::to_string(id) : status;
}

void ToolShell::Attach(CMainFrame& frame) {
    frame_ = &frame;
    ViewHost::Set(this);
    box_.SetListener(this);
    tools::PaintSettings& s = box_.Settings();
    const AppSettings& a = frame.settings;
    s.colour = RgbOf(a.fg);
    s.colour2 = RgbOf(a.bg);
    s.brushSize = std::clamp<int>(a.brushSize, tools::PaintSettings::kMinBrush, tools::PaintSettings::kMaxBrush);
    s.brushMode = a.brushMode == 0 ? 0 : 1;
    s.feather = 0;   // the feather starts at 0 at every start
    if (!listener_) listener_ = s.Listen([this] { SettingsChanged(); });
    if (activateBound_ != &frame) {
        activateBound_ = &frame;
        // Back from a dialog: the picture windows it covered paint again.
        frame.Bind(wxEVT_ACTIVATE, [](wxActivateEvent& e) {
            e.Skip();
            if (e.GetActive()) RepaintViewsSoon();
        });
    }
}

void ToolShell::Detach() {
    frame_ = nullptr;
    palettes_.clear();
}

void ToolShell::SettingsChanged() {
    if (!frame_) return;
    const tools::PaintSettings& s = box_.Settings();
    AppSettings& a = frame_->settings;
    a.fg = IntOf(s.colour);
    a.bg = IntOf(s.colour2);
    a.brushSize = s.brushSize;
    a.brushMode = s.brushMode;
    ShowSwatches(frame_->GetToolBar());
    for (wxToolBar* bar : palettes_) ShowSwatches(bar);
}

void ToolShell::ShowSwatches(wxToolBar* bar) {
    if (!bar) return;
    const tools::PaintSettings& s = box_.Settings();
    if (bar->FindById(cmd::ForeColour)) bar->SetToolNormalBitmap(cmd::ForeColour, Swatch(s.colour));
    if (bar->FindById(cmd::BackColour)) bar->SetToolNormalBitmap(cmd::BackColour, Swatch(s.colour2));
    if (bar->FindById(kBrushPanelCommand)) {
        bar->SetToolNormalBitmap(kBrushPanelCommand, SizeDisplay(s.brushSize, s.brushMode == 1));
        bar->SetToolShortHelp(kBrushPanelCommand,
                              wxString::Format(U("붓굵기 %d (%s)"), s.brushSize, U(s.brushMode == 1 ? "붓" : "연필")));
    }
}

void ToolShell::SetColour(bool foreground, int32_t rgb) {
    if (foreground)
        box_.Settings().SetColour(RgbOf(rgb));
    else
        box_.Settings().SetColour2(RgbOf(rgb));
}

void ToolShell::SwapColours() { box_.Settings().Swap(); }

// --- ViewHost ---------------------------------------------------------------------------

wxWindow* ToolShell::MakeDocumentFrame(wxDocument* doc, wxView* view, const wxString& title) {
    return new CChildFrame(doc, view, Frame(), title);
}

wxString ToolShell::FrameTitle(wxWindow* frame) const {
    auto* c = dynamic_cast<CChildFrame*>(frame);
    return c ? c->GetTitle() : wxString();
}

void ToolShell::SetFrameTitle(wxWindow* frame, const wxString& title) {
    auto* c = dynamic_cast<CChildFrame*>(frame);
    if (!c) return;
    c->SetTitle(title);
    // The picture window is found by its document's title (tests, screen readers).
    for (wxWindow* w : c->GetChildren())
        if (dynamic_cast<CVexoCanvas*>(w)) dlgui::Name(w, U("그림: ") + wxString(title).Trim());
}

viewmath::Look ToolShell::PictureLook() const {
    viewmath::Look look;
    if (const CMainFrame* f = Frame()) {
        look.hatch = f->settings.transpRep;
        look.gridGap = f->settings.gridGap;
        look.gridColour = uint32_t(f->settings.gridColour);
    }
    return look;
}

int ToolShell::DefaultCursor() const {
    const CMainFrame* f = Frame();
    return f ? f->settings.cursor : 5;
}

bool ToolShell::IsActiveView(const wxView* view) const {
    const CMainFrame* f = Frame();
    return f && f->ActiveView() == view;
}

void ToolShell::ShowDocumentTitle(const wxString& childTitle) {
    if (CMainFrame* f = Frame()) f->ShowDocumentTitle(childTitle);
}

void ToolShell::ViewActivated(CVexoDoc*) {
    // The document manager takes the view as current after this call.
    if (CMainFrame* f = Frame()) f->ActiveDocumentChanged(true);
}

void ToolShell::SetProgress(int percent) {
    if (CMainFrame* f = Frame()) f->SetProgress(percent);
}

void ToolShell::SendCommand(int id) {
    CMainFrame* f = Frame();
    if (!f) return;
    wxCommandEvent e(wxEVT_MENU, cmd::EventId(id));
    e.SetEventObject(f);
    f->GetEventHandler()->ProcessEvent(e);
}

bool ToolShell::CommandEnabled(int id) {
    // The state is asked along the main frame's route (view, document,
    // frame), as for its own menus.
    CMainFrame* f = Frame();
    if (!f) return false;
    wxUpdateUIEvent ue(cmd::EventId(id));
    ue.SetEventObject(f);
    f->ProcessWindowEvent(ue);
    return !ue.GetSetEnabled() || ue.GetEnabled();
}

void ToolShell::ShowToolText(const std::string& text) {
    CMainFrame* f = Frame();
    if (!f || !f->GetStatusBar() || f->GetStatusBar()->GetFieldsCount() <= kFieldText) return;
    const wxString t = text.empty() ? U("준비") : U(text);
    if (f->GetStatusBar()->GetStatusText(kFieldText) != t) f->GetStatusBar()->SetStatusText(t, kFieldText);
}

void ToolShell::ShowPointer(int x, int y, unsigned colour, int alpha) {
    CMainFrame* f = Frame();
    if (!f || !f->GetStatusBar() || f->GetStatusBar()->GetFieldsCount() <= kFieldColour) return;
    if (x < 0) {
        f->GetStatusBar()->SetStatusText("", kFieldPixel);
        f->GetStatusBar()->SetStatusText("", kFieldColour);
        return;
    }
    f->GetStatusBar()->SetStatusText(wxString::Format("X %d  Y %d", x, y), kFieldPixel);
    // Blue in the low byte.
    f->GetStatusBar()->SetStatusText(
        wxString::Format("R %d G %d B %d A %d", int((colour >> 16) & 255), int((colour >> 8) & 255), int(colour & 255), alpha),
        kFieldColour);
}

void ToolShell::ShowZoom(int percent) {
    CMainFrame* f = Frame();
    if (!f || !f->GetStatusBar() || f->GetStatusBar()->GetFieldsCount() <= kFieldZoom) return;
    f->GetStatusBar()->SetStatusText(wxString::Format("%d %%", percent), kFieldZoom);
}

// --- ToolBoxListener ---------------------------------------------------------------------

void ToolShell::ClosePanels(int newTool) {
    CMainFrame* f = Frame();
    if (!f) return;
    if (newTool != 1353 && f->PanelShown("gradient")) f->ShowPanel("gradient", false);
}

void ToolShell::PanelsChanged() {
    CMainFrame* f = Frame();
    if (!f) return;
    // The path and free-transform panels follow the tool switch (tool_modes.cpp).
    if (f->FindPanel("path") && f->PanelShown("path") != box_.PathPanelShown()) f->ShowPanel("path", box_.PathPanelShown());
    if (f->FindPanel("transform") && f->PanelShown("transform") != box_.TransformPanelShown())
        f->ShowPanel("transform", box_.TransformPanelShown());
    for (tools::Workbench* w : box_.Workbenches()) w->RefreshBackground();
    if (CVexoView* v = f->ActiveView())
        if (v->Canvas()) v->Canvas()->Refresh(false);
}

void ToolShell::ToolChanged(int newTool, int oldTool) {
    CMainFrame* f = Frame();
    if (!f) return;
    f->previousTool = oldTool;
    f->currentTool = newTool;
    // The pressed button of the tool, on every bar that has it.
    SyncToolButtons();
    if (auto* options = dynamic_cast<COptionBar*>(f->FindPanel("options"))) options->Rebuild();
    if (newTool == 1353 && !f->PanelShown("gradient")) f->ShowPanel("gradient", true);
    ShowToolText(tools::StatusText(newTool));
    // The keyboard goes to the active view.
    if (CVexoView* v = f->ActiveView())
        if (v->Canvas()) v->Canvas()->SetFocus();
}

void ToolShell::SyncToolButtons() {
    CMainFrame* f = Frame();
    if (!f) return;
    std::vector<wxToolBar*> bars = palettes_;
    bars.push_back(f->GetToolBar());
    const int current = box_.Current();
    for (wxToolBar* bar : bars) {
        if (!bar) continue;
        for (const tools::ToolInfo& t : tools::Table())
            if (wxToolBarToolBase* tool = bar->FindById(cmd::EventId(t.id)); tool && tool->CanBeToggled())
                bar->ToggleTool(cmd::EventId(t.id), t.id == current);
    }
}

// --- ToolUi ---------------------------------------------------------------------------------

void ToolShell::Message(const std::string& text) { wxMessageBox(U(text), "Pimlora", wxOK, Frame()); }

bool ToolShell::Ask(const std::string& text) {
    return wxMessageBox(U(text), "Pimlora", wxOK | wxCANCEL | wxICON_QUESTION, Frame()) == wxOK;
}

namespace {
// After a dialog closed over the picture window or a strip changed the
// layout: the picture windows paint again, once the layout is done (under
// Xvfb the areas uncovered were not always repainted).
void RepaintViewsSoon() {
    wxTheApp->CallAfter([] {
        CMainFrame* f = Frame();
        if (!f) return;
        if (wxAuiManager* m = wxAuiManager::GetManager(f)) m->Update();
        for (tools::Workbench* w : ToolShell::Get().Box().Workbenches()) w->RefreshBackground();
        if (CVexoView* v = f->ActiveView())
            if (v->Canvas()) {
                v->MarkRebuild();
                v->Canvas()->Refresh(false);
                v->Canvas()->Update();
            }
    });
}
}  // namespace

bool ToolShell::AskText(CVexoDoc& doc, textlayer::TextDialogValues& values, bool edit) {
    const bool ok = doc.Host().AskText(doc, values, edit);
    RepaintViewsSoon();
    return ok;
}

bool ShowBalloonEditor();   // dialog_commands.cpp

bool ToolShell::OpenBalloonEditor(CVexoDoc&) {
    const bool shown = ShowBalloonEditor();
    RepaintViewsSoon();
    return shown;
}

void ToolShell::Status(const std::string& text) {
    CMainFrame* f = Frame();
    if (f && f->GetStatusBar()) f->GetStatusBar()->SetStatusText(U(text), kFieldText);
}

// --- panels and commands ------------------------------------------------------------------

namespace {

wxToolBar* MakePalette(CMainFrame& f, size_t column) {
    ToolShell& shell = ToolShell::Get();
    shell.Attach(f);
    auto* bar = new wxToolBar(&f, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTB_VERTICAL | wxTB_FLAT | wxTB_NODIVIDER);
    bar->SetName(U(column == 0 ? "도구" : "도구 2"));
    for (int id : ToolShell::PaletteColumns()[column]) {
        if (id == 0) {
            bar->AddSeparator();
            continue;
        }
        const wxString label = U(ToolShell::PaletteLabel(id));
        const wxBitmapBundle b = ToolBitmap(id);
        if (tools::Find(id))
            bar->AddCheckTool(cmd::EventId(id), label, b, wxBitmapBundle(), label, U(tools::StatusText(id)));
        else
            bar->AddTool(cmd::EventId(id), label, b, label);
    }
    bar->Realize();
    // The zoom tool's number is also the zoom-in command: its button
    // chooses the tool only.
    bar->Bind(wxEVT_TOOL, [](wxCommandEvent&) { ToolShell::Get().Box().Switch(1420); }, cmd::EventId(1420));
    // A refused switch leaves the pressed button as it was.
    bar->Bind(wxEVT_TOOL, [](wxCommandEvent& e) {
        e.Skip();
        wxTheApp->CallAfter([] { ToolShell::Get().SyncToolButtons(); });
    });
    shell.AddPalette(bar);
    shell.ToolChanged(shell.Box().Current(), shell.Box().Previous());
    shell.Box().Settings().Changed();
    return bar;
}

const shell::PanelRegistrar kPalette({"toolpalette",
                                      [](CMainFrame& f) -> wxWindow* { return MakePalette(f, 0); },
                                      [](wxAuiPaneInfo& p) {
                                          p.Caption(U("도구")).ToolbarPane().Left().Show().Gripper(false).Row(0);
                                      }});
const shell::PanelRegistrar kPalette2({"toolpalette2",
                                       [](CMainFrame& f) -> wxWindow* { return MakePalette(f, 1); },
                                       [](wxAuiPaneInfo& p) {
                                           p.Caption(U("도구 2")).ToolbarPane().Left().Show().Gripper(false).Row(1);
                                       }});

const shell::PanelRegistrar kOptions({"options",
                                      [](CMainFrame& f) -> wxWindow* {
                                          return new COptionBar(&f, ToolShell::Get().Box());
                                      },
                                      [](wxAuiPaneInfo& p) {
                                          p.Caption(U("옵션")).ToolbarPane().Top().Show().Gripper(false).MinSize(240, 40);
                                      }});

const shell::PanelRegistrar kBrushPanel({"brush",
                                         [](CMainFrame& f) -> wxWindow* {
                                             return new CDlg_SetBrush(&f, ToolShell::Get().Box());
                                         },
                                         [](wxAuiPaneInfo& p) {
                                             p.Caption(U("붓굵기")).Right().BestSize(230, 210).MinSize(220, 190)
                                                 .FloatingSize(230, 220).Hide();
                                         }});

const shell::PanelRegistrar kGradientPanel({"gradient",
                                            [](CMainFrame& f) -> wxWindow* {
                                                return new CDlg_GradientBucket(&f, ToolShell::Get().Box(), [&f] {
                                                    f.currentCommand = -1;
                                                    f.ShowPanel("gradient", false);
                                                });
                                            },
                                            [](wxAuiPaneInfo& p) {
                                                p.Caption(U("그라디언트 채우기")).Top().Row(2).MinSize(520, 77).Hide();
                                            }});

// 1510: the brush settings panel, hidden when shown, else shown.
const shell::Registrar kCommands({
    {kBrushPanelCommand, [](CMainFrame& f) { f.ShowPanel("brush", !f.PanelShown("brush")); }, nullptr, nullptr},
});

}  // namespace
