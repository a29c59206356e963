// The editor's parameter windows and panels: each command that needs a
// window is registered here as a shell command (served by the main frame),
// and the modeless panels are created once at start-up and docked:
//   "filters"      the filter panel (1505), docked at the top, floatable
//   "redeye"       red-eye removal (1476), a strip at the top
//   "rotate"       free rotation (1415), a strip at the top
//   "colourrange"  colour range (3327), at the right edge
//   "balloon"      the balloon editor, a strip at the top
#include <wx/aui/aui.h>

#include <algorithm>
#include <cstring>

#include "../view/CVexoView.h"
#include "CDlg_ImageFiltering.h"
#include "CMainFrame.h"
#include "CVexoApp.h"
#include "CVexoDocument.h"
#include "CVexoDoc.h"
#include "commands.h"
#include "dialog_host.h"
#include "dialog_models.h"
#include "dialog_util.h"
#include "param_windows.h"
#include "shell_commands.h"
#include "tool_panels.h"

namespace {

using dlgui::U;

CVexoDoc* ActiveCore(CMainFrame& f) {
    CVexoDocument* d = f.ActiveDocument();
    return d ? d->Core() : nullptr;
}

CVexoDocument* WindowOf(CVexoDoc& core) {
    wxDocManager* dm = wxGetApp().DocManager();
    if (!dm) return nullptr;
    for (wxDocument* d : dm->GetDocumentsVector())
        if (auto* vd = wxDynamicCast(d, CVexoDocument); vd && vd->Core() == &core) return vd;
    return nullptr;
}

// The main frame's current command and tool back to none.
void ResetTool(CVexoDoc& doc) {
    doc.Host().SetCurrentCommand(-1);
    doc.Host().SwitchTool(-1);
}

template <class T>
T* PanelOf(CMainFrame& f, const char* name) {
    return dynamic_cast<T*>(f.FindPanel(name));
}

void FillHost() {
    dlgui::DialogHost& h = dlgui::Host();
    h.activeDoc = [] {
        CMainFrame* f = wxGetApp().MainFrame();
        return f ? ActiveCore(*f) : nullptr;
    };
    h.openDocs = [] {
        std::vector<CVexoDoc*> out;
        if (wxDocManager* dm = wxGetApp().DocManager())
            for (wxDocument* d : dm->GetDocumentsVector())
                if (auto* vd = wxDynamicCast(d, CVexoDocument); vd && vd->Core()) out.push_back(vd->Core());
        return out;
    };
    h.progress = [](int p) {
        if (CMainFrame* f = wxGetApp().MainFrame()) f->SetProgress(p);
    };
    h.status = [](const std::string& t) {
        if (CMainFrame* f = wxGetApp().MainFrame()) f->SetStatus(U(t));
    };
    auto setting = [](int32_t AppSettings::*field) {
        return [field]() -> uint32_t {
            CMainFrame* f = wxGetApp().MainFrame();
            return f ? uint32_t(f->settings.*field) : 0;
        };
    };
    h.foreColour = setting(&AppSettings::fg);
    h.backColour = setting(&AppSettings::bg);
    h.textColour = setting(&AppSettings::tx);
    h.setTextColour = [](uint32_t c) {
        if (CMainFrame* f = wxGetApp().MainFrame()) f->settings.tx = int32_t(c);
    };
    h.textSettings = [] {
        static textlayer::TextSettings kept;
        textlayer::TextSettings s = kept;
        if (CMainFrame* f = wxGetApp().MainFrame()) {
            const AppSettings& a = f->settings;
            s.face = a.fontName.empty() ? s.face : a.fontName;
            s.size = std::max(2, a.fontSize);
            s.underline = a.underline;
            s.strikeout = a.strikeOut;
            s.color = PackBGR(uint8_t(a.tx >> 16), uint8_t(a.tx >> 8), uint8_t(a.tx));
        }
        return s;
    };
    h.setTextSettings = [](const textlayer::TextSettings& s) {
        CMainFrame* f = wxGetApp().MainFrame();
        if (!f) return;
        AppSettings& a = f->settings;
        a.fontName = s.face.substr(0, config::kMaxFontName);
        a.fontSize = std::max(2, s.size);
        a.underline = s.underline;
        a.strikeOut = s.strikeout;
        a.tx = int32_t(ColR(s.color) | ColG(s.color) << 8 | ColB(s.color) << 16);
    };
    h.focusView = [] {
        CMainFrame* f = wxGetApp().MainFrame();
        if (CVexoView* v = f ? f->ActiveView() : nullptr)
            if (v->Canvas()) v->Canvas()->SetFocus();
    };
    h.changed = [](CVexoDoc& core) {
        // The document's change notice: its window and the panels follow.
        core.viewRebuild = true;
        core.Notify(docchange::Composite);
    };
}

void HidePanel(const char* name) {
    if (CMainFrame* f = wxGetApp().MainFrame()) f->ShowPanel(name, false);
}

// --- commands ------------------------------------------------------------------------------

void ToggleFilterPanel(CMainFrame& f) {
    auto* panel = PanelOf<CDlg_ImageFiltering>(f, "filters");
    if (!panel) return;
    if (f.PanelShown("filters")) {
        panel->Detach();
        f.ShowPanel("filters", false);
        return;
    }
    if (!panel->Attach()) return;   // a text or balloon layer: the message was shown
    f.ShowPanel("filters", true);
    if (CVexoDoc* doc = ActiveCore(f)) {
        doc->Host().SwitchTool(-1);
        if (doc->selectionActive) doc->Host().StartSelectionTimer(*doc, 400);
    }
}

void Binarize(CMainFrame& f) {
    CDlg_Binarize dlg(&f);
    dlg.Run();
}

void ToggleRedEye(CMainFrame& f) {
    CVexoDoc* doc = ActiveCore(f);
    if (doc && doc->Host().CurrentCommand() == 1476) {
        f.ShowPanel("redeye", false);
        ResetTool(*doc);
        return;
    }
    const bool shown = f.PanelShown("redeye");
    f.ShowPanel("redeye", !shown);
    if (!shown)
        if (auto* p = PanelOf<CDlg_RedEye>(f, "redeye")) p->Shown();
}

void FreeRotation(CMainFrame& f) {
    auto* p = PanelOf<DlgRotate>(f, "rotate");
    if (!p) return;
    CVexoDoc* doc = ActiveCore(f);
    if (doc && doc->Host().CurrentCommand() == 1415) return;
    if (p->Open()) f.ShowPanel("rotate", true);
}

// A modal window over a document: the tool switch must agree first; the
// current command and tool are none afterwards.
template <class Fn>
void WithTool(CMainFrame& f, int id, Fn run) {
    CVexoDoc* doc = ActiveCore(f);
    if (!doc) return;
    if (!doc->Host().SwitchTool(id)) return;
    doc->Host().SetCurrentCommand(id);
    run(*doc);
    ResetTool(*doc);
    if (CVexoDocument* d = WindowOf(*doc)) d->UpdateAllViews();
}

void ColourRange(CMainFrame& f) {
    CVexoDoc* doc = ActiveCore(f);
    if (!doc) return;
    const commands::Command* c = commands::All().Find(3327);
    if (!c || !c->run(*doc, {})) return;
    doc->Host().SetCurrentCommand(3344);
    doc->FitSelectionToLayer(doc->currentLayer);
    std::fill(doc->live.selection.mask.begin(), doc->live.selection.mask.end(), 0);
    if (auto* p = PanelOf<CDlg_Find_SimPixelArea>(f, "colourrange")) p->Shown();
    f.ShowPanel("colourrange", true);
}

void NewImage(CMainFrame& f) {
    // The size of the picture on the clipboard is taken at once; without
    // one, the dialog asks for the size.
    dlgmodel::NewImageModel m;
    m.name = "Pimlora" + std::to_string(wxGetApp().NextImageNumber());
    std::vector<uint8_t> dib;
    {
        CVexoDocument probe;
        if (probe.GetClipboardDib(dib) && dib.size() >= sizeof(BitmapInfoHeader)) {
            BitmapInfoHeader h;
            std::memcpy(&h, dib.data(), sizeof h);
            m.SetWidth(h.width);
            m.SetHeight(std::abs(int(h.height)));
        } else {
            dib.clear();
        }
    }
    if (dib.empty() && !dlgui::RunNewImageDialog(&f, m)) return;
    f.newWidth = m.width;
    f.newHeight = m.height;
    f.newBackground = m.background;
    f.newBits = m.Bits();
    f.newName = U(m.name);
    const int w = m.width, h = m.height, background = m.background;
    const uint32_t back = uint32_t(f.settings.bg);
    CVexoDocument* doc = wxGetApp().NewWindowFromBuilder(
        [w, h, background, back](DocHost* host) -> std::unique_ptr<CVexoDoc> {
            auto core = std::make_unique<CVexoDoc>(host);
            if (!core->NewImage(w, h)) return nullptr;
            dlgmodel::FillNewLayer(*core, background, back);
            core->PostOpen();
            return core;
        },
        m.name, "");
    if (!doc) return;
    if (!dib.empty()) doc->RunCommand(57637);   // the clipboard as a new layer
    doc->Modify(true);
    if (CVexoView* v = doc->View()) v->ActualSize();
}

const shell::Registrar kCommands({
    {1505, [](CMainFrame& f) { ToggleFilterPanel(f); }, nullptr,
     [](CMainFrame& f) { return f.PanelShown("filters"); }},
    {2111, [](CMainFrame& f) { Binarize(f); }, shell::NeedsDocument, nullptr},
    {1476, [](CMainFrame& f) { ToggleRedEye(f); }, shell::NeedsDocument, nullptr},
    {1415, [](CMainFrame& f) { FreeRotation(f); }, shell::NeedsDocument, nullptr},
    {1431, [](CMainFrame& f) { WithTool(f, 1431, [&f](CVexoDoc& d) { dlgui::RunImageSizeDialog(&f, d); }); },
     shell::NeedsDocument, nullptr},
    {1432, [](CMainFrame& f) { WithTool(f, 1432, [&f](CVexoDoc& d) { dlgui::RunCanvasSizeDialog(&f, d); }); },
     shell::NeedsDocument, nullptr},
    {2533, [](CMainFrame& f) {
         if (CVexoDoc* d = ActiveCore(f)) {
             dlgui::RunLevelsDialog(&f, *d);
             ResetTool(*d);
         }
     },
     shell::NeedsDocument, nullptr},
    {3379, [](CMainFrame& f) {
         if (CVexoDoc* d = ActiveCore(f)) dlgui::RunCalendarDialog(&f, *d);
     },
     shell::NeedsDocument, nullptr},
    {3392, [](CMainFrame& f) {
         if (CVexoDoc* d = ActiveCore(f)) dlgui::RunPhotoFrameDialog(&f, *d);
     },
     shell::NeedsDocument, nullptr},
    {4816, [](CMainFrame& f) { WithTool(f, 4816, [&f](CVexoDoc& d) { dlgui::RunPatternDialog(&f, d); }); },
     shell::NeedsDocument, nullptr},
    {3994, [](CMainFrame& f) {
         if (CVexoDoc* d = ActiveCore(f)) dlgui::RunRenameDialog(&f, *d);
     },
     shell::NeedsDocument, nullptr},
    {1558, [](CMainFrame& f) {
         if (CVexoDoc* d = ActiveCore(f)) dlgui::RunShadowDialog(&f, *d, false);
     },
     shell::NeedsDocument, nullptr},
    {2068, [](CMainFrame& f) {
         if (CVexoDoc* d = ActiveCore(f)) dlgui::RunShadowDialog(&f, *d, true);
     },
     shell::NeedsDocument, nullptr},
    {3327, [](CMainFrame& f) { ColourRange(f); }, shell::NeedsDocument, nullptr},
    {57600, [](CMainFrame& f) { NewImage(f); }, nullptr, nullptr},
});

// --- panels --------------------------------------------------------------------------------

// Caption and the pane of a strip along the top edge.
void TopStrip(wxAuiPaneInfo& p, const char* caption, int row) {
    p.Caption(U(caption)).Top().Row(row).Floatable(true).Dockable(true).CloseButton(true).Hide();
}

const shell::PanelRegistrar kFilters({"filters",
    [](CMainFrame& f) -> wxWindow* {
        FillHost();
        // The tool bar exists by now; its buttons get their names.
        dlgui::NameToolBar(f.GetToolBar());
        auto* p = new CDlg_ImageFiltering(&f, false);
        p->onEnd = [](bool) { HidePanel("filters"); };
        // The pane's close button is the panel's cancel.
        f.Bind(wxEVT_AUI_PANE_CLOSE, [p](wxAuiManagerEvent& e) {
            if (e.GetPane() && e.GetPane()->window == p) p->CancelAndClose();
            e.Skip();
        });
        return p;
    },
    [](wxAuiPaneInfo& p) { TopStrip(p, "이미지 필터링", 1); }});

const shell::PanelRegistrar kRedEye({"redeye",
    [](CMainFrame& f) -> wxWindow* {
        auto* p = new CDlg_RedEye(&f);
        p->hide = [] { HidePanel("redeye"); };
        return p;
    },
    [](wxAuiPaneInfo& p) { TopStrip(p, "적안제거", 2); }});

const shell::PanelRegistrar kRotate({"rotate",
    [](CMainFrame& f) -> wxWindow* {
        auto* p = new DlgRotate(&f);
        p->hide = [] { HidePanel("rotate"); };
        f.Bind(wxEVT_AUI_PANE_CLOSE, [p](wxAuiManagerEvent& e) {
            if (e.GetPane() && e.GetPane()->window == p && p->IsOpen()) p->CloseRotation();
            e.Skip();
        });
        return p;
    },
    [](wxAuiPaneInfo& p) { TopStrip(p, "이미지회전", 3); }});

const shell::PanelRegistrar kColourRange({"colourrange",
    [](CMainFrame& f) -> wxWindow* {
        auto* p = new CDlg_Find_SimPixelArea(&f);
        p->hide = [] { HidePanel("colourrange"); };
        return p;
    },
    [](wxAuiPaneInfo& p) {
        p.Caption(U("색상 범위 지정")).Right().Layer(1).Floatable(true).CloseButton(true).Hide();
    }});

const shell::PanelRegistrar kBalloon({"balloon",
    [](CMainFrame& f) -> wxWindow* {
        auto* p = new CDlg_Edit_BallonTextBox(&f);
        p->hide = [] { HidePanel("balloon"); };
        return p;
    },
    [](wxAuiPaneInfo& p) { TopStrip(p, "말풍선 편집", 4); }});

}  // namespace

// --- services the document's host hands to the windows ---------------------------------------

bool AskTextDialog(textlayer::TextDialogValues& values, bool edit) {
    CMainFrame* f = wxGetApp().MainFrame();
    if (!f) return false;
    if (dlgui::Host().textSettings && !edit) values.settings = dlgui::Host().textSettings();
    if (!dlgui::RunTextDialog(f, values, edit)) return false;
    if (dlgui::Host().setTextSettings) dlgui::Host().setTextSettings(values.settings);
    return true;
}

bool ColourRangePress(CVexoDoc& doc, uint32_t colour) {
    CMainFrame* f = wxGetApp().MainFrame();
    auto* p = f ? PanelOf<CDlg_Find_SimPixelArea>(*f, "colourrange") : nullptr;
    if (!p) return false;
    p->Pick(doc, colour);
    return true;
}

bool ShowBalloonEditor() {
    CMainFrame* f = wxGetApp().MainFrame();
    return f && f->ShowPanel("balloon", true);
}
