#include "CMainFrame.h"

#include <wx/artprov.h>
#include <wx/aui/auibook.h>
#include <wx/filename.h>
#include <wx/fileconf.h>
#include <wx/fontenum.h>

#include <filesystem>

#include "../view/CVexoView.h"
#include "../view/first_paint.h"
#include "CVexoApp.h"
#include "CVexoDocument.h"
#include "command_ids.h"
#include "commands.h"
#include "memory_budget.h"
#include "dialog_util.h"
#include "options_dialog.h"
#include "shell_commands.h"
#include "tool_shell.h"
#include "tool_table.h"
#include "toolbar_art.h"

namespace {

// Window-menu identifiers of the tabbed MDI frame (its own numbering).
enum { wxWINDOWCLOSE = 4001, wxWINDOWCLOSEALL, wxWINDOWNEXT, wxWINDOWPREV };

wxString U(const char* s) { return wxString::FromUTF8(s); }

struct MenuEntry {
    const char* caption;   // nullptr: separator
    int id;                // 0: group heading
};

struct MenuDef {
    const char* title;
    std::vector<MenuEntry> entries;
};

// The nine menus of the menu bar, in order.
const std::vector<MenuDef>& Menus() {
    static const std::vector<MenuDef> menus = {
        {"파일",
         {{"파일 열기", 57601}, {"새창", 57600}, {"새이름으로 저장", 57604}, {"저장", 57603}, {"이미지 인쇄", 57609},
          {"프린터 지정", 57606}, {"외부장치 선택", 1474}, {"외부이미지 입력", 1475}, {"화면 캡쳐", 1424},
          {"영역 캡쳐 및 인쇄", 2065}, {"환경설정", 1571},
          {nullptr, 0}, {"종료", 57665}, {"[최근사용파일]", 0}}},
        {"편집",
         {{"실행취소", 4870}, {"실행반복", 4871}, {"작업내역브러쉬", 4669}, {"자르기", 57635}, {"복사", 57634},
          {"이미지복사", 4604}, {"붙이기", 57637}, {"잘라서새로만들기", 1482}}},
        {"그리기", {{"선그리기", 1356}, {"원그리기", 1380}, {"다각선", 1357}, {"스프레이", 1346}, {"지우개", 1355}}},
        {"이미지",
         {{"픽셀분포조정", 2533}, {"자동색상조정", 2076}, {"반전변환", 1413}, {"회색톤이미지표현", 1414},
          {"이진영상으로", 2111}, {"전체레이어합치기", 1500}, {"[크기조정]", 0}, {"이미지 크기", 1431},
          {"캔버스 크기", 1432}}},
        {"영역선택", {{"자유선택", 1343}, {"자동선택", 1344}, {"색상범위지정", 3327}, {"선택반전", 2058}, {"경로선택", 1509}}},
        {"변형|꾸미기", {{"달력넣기", 3379}, {"사진틀넣기", 3392}, {"빗살무뉘넣기", 4816}, {"적안제거", 1476}}},
        {"이미지회전",
         {{"[레이어]", 0}, {"   자유회전", 1415}, {"   90도 시계방향", 4210}, {"   90도 반시계방향", 4214},
          {"   180도 회전", 4221}, {"   수직제비회전", 4219}, {"   수평제비회전", 4220}, {"[캔버스]", 0},
          {"   90도 시계방향", 1491}, {"   90도 반시계방향", 1492}, {"   180도 회전", 4222}, {"   수직제비회전", 1411},
          {"   수평제비회전", 1410}}},
        {"보기",
         {{"메인툴바", 1559}, {"레이어.작업내역", 1554}, {"늘여보기", 1405}, {"(1:1)보기", 1422}, {"격자보기", 1572},
          {"[창배열] 계단식", 57650}, {"             타일배열", 57651}, {"레이어 복제창", 1412}}},
        {"도움말", {{"'Pimlora'에 관하여", 57664}, {"'Vandelore'웹사이트", 2074}}},
    };
    return menus;
}

// Accelerator texts shown in the menus (the table itself is BuildAccelerators).
wxString AccelText(int id) {
    switch (id) {
        case 57600: return "Ctrl+N";
        case 57601: return "Ctrl+O";
        case 57603: return "Ctrl+S";
        case 57604: return "Ctrl+Shift+S";
        case 4870: return "Ctrl+Z";
        case 4871: return "Ctrl+Y";
        case 57634: return "Ctrl+C";
        case 57635: return "Ctrl+X";
        case 57637: return "Ctrl+V";
        case 1422: return "Ctrl+1";
        default: return "";
    }
}

// Group headings and separators carry no command; headings get ids of their
// own (disabled) so that wx does not take them for stock items.
int gHeadingId = 31000;

}  // namespace

void PaintLogo(wxDC& dc, const wxSize& size);

bool IsServedByShell(int c) {
    if (shell::Find(c)) return true;
    switch (c) {
        case cmd::New: case cmd::Open: case cmd::Save: case cmd::SaveAs: case cmd::Exit: case cmd::About:
        case cmd::Options: case cmd::Cascade: case cmd::Tile: case cmd::ZoomIn: case cmd::ZoomOut:
        case cmd::ActualSize: case cmd::Grid: case cmd::CloseSequence: case cmd::ForeColour: case cmd::BackColour:
        case cmd::SwapColours: case cmd::ResBitmap: case cmd::ResJpeg: case cmd::ResGif: case cmd::ResTif:
        case cmd::MainToolBar:
            return true;
        default: return false;
    }
}

CMainFrame::CMainFrame(wxDocManager* manager, const wxString& title)
    : CMainFrameBase(manager, nullptr, wxID_ANY, title, wxDefaultPosition, wxSize(1100, 800)) {
    LoadConfiguration();
    BuildMenus();
    BuildToolBar();
    BuildAccelerators();
    // The tool's text, the pixel and colour under the mouse, the zoom, progress.
    CreateStatusBar(5);
    int widths[5] = {-1, 110, 170, 70, 80};
    GetStatusBar()->SetStatusWidths(5, widths);
    SetStatus(U("준비"));

    Bind(wxEVT_CLOSE_WINDOW, &CMainFrame::OnClose, this);
    Bind(wxEVT_MENU, &CMainFrame::OnCloseSequence, this, cmd::EventId(cmd::CloseSequence));
    Bind(wxEVT_MENU, &CMainFrame::OnOptions, this, cmd::Options);
    Bind(wxEVT_MENU, &CMainFrame::OnCascade, this, cmd::Cascade);
    Bind(wxEVT_MENU, &CMainFrame::OnTile, this, cmd::Tile);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) {
        config::ToggleGrid(settings.gridGap);
        if (CVexoView* v = ActiveView())
            if (v->Canvas()) v->Canvas()->Refresh(false);
    }, cmd::Grid);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) {
        if (wxToolBar* tb = GetToolBar()) {
            tb->Show(!tb->IsShown());
            SendSizeEvent();
        }
    }, cmd::MainToolBar);
    for (const shell::Command& c : shell::All()) {
        const int id = c.id;
        Bind(wxEVT_MENU, [this, id](wxCommandEvent&) {
            if (const shell::Command* sc = shell::Find(id); sc && sc->run) sc->run(*this);
        }, cmd::EventId(id));
    }
    Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdateAny, this);
    Bind(wxEVT_CHAR_HOOK, &CMainFrame::OnCharHook, this);
    DragAcceptFiles(true);
    Bind(wxEVT_DROP_FILES, &CMainFrame::OnDropFiles, this);
    // The document area shows the program's logo while it holds no
    // document; it is repainted whole when its size changes. The area's own
    // layout manager handles its paint first, so the logo comes on top of it.
    if (wxAuiNotebook* area = GetClientWindow()) {
        logo_ = new wxEvtHandler;
        logo_->Bind(wxEVT_PAINT, [area](wxPaintEvent& e) {
            if (area->GetPageCount() > 0) {
                e.Skip();
                return;
            }
            wxPaintDC dc(area);
            PaintLogo(dc, area->GetClientSize());
            firstpaint::AreaPainted();
        });
        logo_->Bind(wxEVT_SIZE, [area](wxSizeEvent& e) {
            area->Refresh(false);
            e.Skip();
        });
        area->PushEventHandler(logo_);
    }
    CreatePanels();
}

namespace {

// The part of a saved panel layout that describes the pane `name`, or empty.
wxString PanePart(const wxString& layout, const wxString& name) {
    // Escaped separators (a backslash before "|") belong to the text of a part.
    wxString text = layout;
    text.Replace("\\|", "\a");
    const wxString key = "name=" + name + ";";
    for (wxString part : wxSplit(text, '|', '\0'))
        if (part.StartsWith(key)) {
            part.Replace("\a", "\\|");
            return part;
        }
    return wxString();
}

}  // namespace

void CMainFrame::CreatePanels() {
    // The document area is the centre; the panels dock around it. Their
    // places are kept in the profile under "PanelLayout".
    aui_.SetManagedWindow(this);
    if (wxAuiNotebook* area = GetClientWindow())
        aui_.AddPane(area, wxAuiPaneInfo().Name("documents").CenterPane().PaneBorder(false));
    layout_.clear();
    if (wxConfigBase* cfg = wxConfigBase::Get(false)) cfg->Read("PanelLayout", &layout_);
    // The panels shown at start are made now; the hidden ones once the first
    // paint is on the screen, or before a command that could need them.
    for (size_t i = 0; i < shell::Panels().size(); ++i) {
        const shell::Panel& p = shell::Panels()[i];
        wxAuiPaneInfo info = PaneInfoOf(p);
        if (info.IsShown())
            CreatePanel(p, info);
        else
            deferredPanels_.push_back(i);
    }
    if (!layout_.empty()) aui_.LoadPerspective(layout_, false);
    aui_.Update();
    if (!deferredPanels_.empty()) firstpaint::After([this] { CreateDeferredPanels(); });
}

wxAuiPaneInfo CMainFrame::PaneInfoOf(const shell::Panel& p) const {
    wxAuiPaneInfo info;
    info.Name(wxString::FromUTF8(p.name)).Right().Hide();
    if (p.pane) p.pane(info);
    if (const wxString part = PanePart(layout_, info.name); !part.empty())
        const_cast<wxAuiManager&>(aui_).LoadPaneInfo(part, info);
    return info;
}

void CMainFrame::CreatePanel(const shell::Panel& p, const wxAuiPaneInfo& info) {
    wxWindow* w = p.create ? p.create(*this) : nullptr;
    if (!w) return;
    aui_.AddPane(w, info);
    panels_.emplace_back(p.name, w);
}

void CMainFrame::CreateDeferredPanels() {
    if (deferredPanels_.empty() || IsBeingDeleted()) return;
    // Taken first: a panel being made may run a command itself.
    const std::vector<size_t> pending = std::move(deferredPanels_);
    deferredPanels_.clear();
    for (size_t i : pending) {
        const shell::Panel& p = shell::Panels()[i];
        CreatePanel(p, PaneInfoOf(p));
    }
    aui_.Update();
    // Made after a document window became the active one: they follow it.
    ActiveDocumentChanged(false);
}

bool CMainFrame::TryBefore(wxEvent& event) {
    // Every command may show a panel or use what one sets up.
    if (event.GetEventType() == wxEVT_MENU && !deferredPanels_.empty()) CreateDeferredPanels();
    return CMainFrameBase::TryBefore(event);
}

void CMainFrame::SavePanelLayout() {
    wxConfigBase* cfg = wxConfigBase::Get(false);
    if (!cfg) return;
    wxString layout = aui_.SavePerspective();
    // The places of panels not made yet stay as they were saved.
    for (size_t i : deferredPanels_)
        if (const wxString part = PanePart(layout_, wxString::FromUTF8(shell::Panels()[i].name)); !part.empty())
            layout += part + "|";
    cfg->Write("PanelLayout", layout);
}

wxWindow* CMainFrame::FindPanel(const std::string& name) const {
    for (const auto& [n, w] : panels_)
        if (n == name) return w;
    return nullptr;
}

bool CMainFrame::ShowPanel(const std::string& name, bool show) {
    if (show && !FindPanel(name)) CreateDeferredPanels();
    wxWindow* w = FindPanel(name);
    if (!w) return false;
    wxAuiPaneInfo& info = aui_.GetPane(w);
    if (!info.IsOk()) return false;
    info.Show(show);
    aui_.Update();
    return true;
}

void CMainFrame::ActiveDocumentChanged(bool later) {
    if (IsBeingDeleted() || closing_) return;
    if (later) {
        CallAfter([this] { ActiveDocumentChanged(false); });
        return;
    }
    CVexoDocument* d = ActiveDocument();
    CVexoDoc* core = d ? d->Core() : nullptr;
    for (const shell::Follower& f : shell::Followers())
        if (f) f(*this, core);
}

bool CMainFrame::PanelShown(const std::string& name) const {
    wxWindow* w = FindPanel(name);
    if (!w) return false;
    return const_cast<wxAuiManager&>(aui_).GetPane(w).IsShown();
}

void PaintLogo(wxDC& dc, const wxSize& size) {
    // A deep blue field with a light band, a stack of three layers and the
    // program's name: drawn, not loaded.
    dc.GradientFillLinear(wxRect(size), wxColour(24, 40, 72), wxColour(70, 96, 140), wxSOUTH);
    const int cy = size.y / 2;
    dc.GradientFillLinear(wxRect(0, cy - 70, size.x, 140), wxColour(90, 120, 170), wxColour(40, 60, 100), wxSOUTH);
    const int mx = size.x / 2 - 240, my = cy - 44;
    const wxColour layer[3] = {wxColour(230, 90, 80), wxColour(250, 190, 70), wxColour(90, 190, 230)};
    for (int i = 0; i < 3; ++i) {
        dc.SetPen(wxPen(wxColour(255, 255, 255), 2));
        dc.SetBrush(wxBrush(layer[i]));
        dc.DrawRoundedRectangle(mx + i * 16, my + i * 16, 60, 48, 6);
    }
    dc.SetTextForeground(wxColour(245, 245, 250));
    dc.SetFont(wxFont(wxFontInfo(wxSize(0, 64)).Bold()));
    dc.DrawText("Pimlora", mx + 120, cy - 52);
    dc.SetFont(wxFont(wxFontInfo(wxSize(0, 18))));
    dc.SetTextForeground(wxColour(200, 210, 230));
    dc.DrawText(wxString::FromUTF8("레이어 사진 편집기"), mx + 124, cy + 22);
}

CMainFrame::~CMainFrame() {
    aui_.UnInit();
    if (logo_) {
        if (wxAuiNotebook* area = GetClientWindow()) area->RemoveEventHandler(logo_);
        delete logo_;
    }
}


void CMainFrame::LoadConfiguration() {
    // Interface fonts: "굴림" is not installed here; an installed Korean face
    // stands in for it.
    wxString face = U("굴림");
    if (!wxFontEnumerator::IsValidFacename(face)) {
        for (const char* f : {"NanumGothic", "Nanum Gothic", "NanumBarunGothic", "Noto Sans CJK KR"})
            if (wxFontEnumerator::IsValidFacename(f)) {
                face = f;
                break;
            }
    }
    uiFonts[0] = wxFont(wxFontInfo(wxSize(0, 12)).FaceName(face));
    uiFonts[1] = wxFont(wxFontInfo(wxSize(0, 12)).FaceName(face).Bold());
    uiFonts[2] = wxFont(wxFontInfo(wxSize(0, 16)).FaceName(face).Bold());
    uiFonts[3] = wxFont(wxFontInfo(wxSize(0, 11)).FaceName(face));
    SetFont(uiFonts[0]);

    settings.transpRep = 3;
    std::string folder = wxGetApp().configFolder;
    configLoaded_ = config::LoadSettings(folder + "/" + config::kConfigFile, settings);
    config::LoadFirstShow(folder + "/" + config::kFirstShowFile, wxGetApp().startDir, settings);
    // The grid starts hidden.
    if (settings.gridGap > 0) settings.gridGap = -settings.gridGap;
    if (settings.gridGap == 0) settings.gridGap = -16;
    docmem::SetConfiguredBudgetMB(settings.memoryBudgetMB);
}

void CMainFrame::SaveConfiguration() {
    std::string folder = wxGetApp().configFolder;
    if (config::SaveSettings(folder + "/" + config::kConfigFile, settings))
        config::SaveFirstShow(folder + "/" + config::kFirstShowFile, settings);
}

void CMainFrame::BuildMenus() {
    auto* bar = new wxMenuBar;
    wxMenu* fileMenu = nullptr;
    for (const MenuDef& def : Menus()) {
        auto* menu = new wxMenu;
        for (const MenuEntry& e : def.entries) {
            if (!e.caption) {
                menu->AppendSeparator();
                continue;
            }
            wxString text = U(e.caption);
            if (e.id == 0) {
                menu->Append(gHeadingId++, text)->Enable(false);
                continue;
            }
            wxString accel = AccelText(e.id);
            if (!accel.empty()) text += "\t" + accel;
            int id = cmd::EventId(e.id);
            if (e.id == cmd::Grid || e.id == cmd::MainToolBar)
                menu->AppendCheckItem(id, text);
            else
                menu->Append(id, text);
        }
        if (!fileMenu) fileMenu = menu;
        bar->Append(menu, U(def.title));
    }
    // The window menu of the tabbed document area, in Korean (our own menu:
    // the frame's built-in one is found by its English title).
    SetWindowMenu(nullptr);
    auto* windowMenu = new wxMenu;
    windowMenu->Append(wxWINDOWCLOSE, U("닫기"));
    windowMenu->Append(wxWINDOWCLOSEALL, U("모두 닫기"));
    windowMenu->AppendSeparator();
    windowMenu->Append(wxWINDOWNEXT, U("다음 창"));
    windowMenu->Append(wxWINDOWPREV, U("이전 창"));
    bar->Append(windowMenu, U("창"));
    SetMenuBar(bar);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) {
        if (wxAuiMDIChildFrame* c = GetActiveChild()) c->Close();
    }, wxWINDOWCLOSE);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) { m_docManager->CloseDocuments(false); }, wxWINDOWCLOSEALL);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) { ActivateNext(); }, wxWINDOWNEXT);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) { ActivatePrevious(); }, wxWINDOWPREV);
    // The recent files follow their heading in the file menu.
    m_docManager->FileHistoryUseMenu(fileMenu);
    m_docManager->FileHistoryAddFilesToMenu(fileMenu);
}

void CMainFrame::BuildToolBar() {
    wxToolBar* tb = CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT);
    for (const toolart::Tool& t : toolart::Tools()) {
        if (t.id == 0) {
            tb->AddSeparator();
            continue;
        }
        // Tools show which one is chosen; pictures from the icon theme.
        if (tools::Find(t.id))
            tb->AddCheckTool(cmd::EventId(t.id), U(t.tip), ToolBitmap(t.id), wxBitmapBundle(), U(t.tip));
        else
            tb->AddTool(cmd::EventId(t.id), U(t.tip), ToolBitmap(t.id), U(t.tip));
    }
    tb->Realize();
    // Its buttons are found by their names (tips) from the start.
    dlgui::NameToolBar(tb);
}

void CMainFrame::BuildAccelerators() {
    std::vector<wxAcceleratorEntry> e = {
        {wxACCEL_CTRL, 'N', cmd::New},
        {wxACCEL_CTRL, 'O', cmd::Open},
        {wxACCEL_CTRL, 'S', cmd::Save},
        {wxACCEL_CTRL | wxACCEL_SHIFT, 'S', cmd::SaveAs},
        {wxACCEL_CTRL, 'P', cmd::Print},
        {wxACCEL_CTRL, 'Z', cmd::Undo},
        {wxACCEL_CTRL, 'Y', cmd::Redo},
        {wxACCEL_CTRL, 'C', cmd::Copy},
        {wxACCEL_CTRL, WXK_INSERT, cmd::Copy},
        {wxACCEL_CTRL, 'X', cmd::Cut},
        {wxACCEL_NORMAL, WXK_DELETE, cmd::Cut},
        {wxACCEL_CTRL, 'V', cmd::Paste},
        {wxACCEL_CTRL, 'D', cmd::ReleaseSelection},
        {wxACCEL_CTRL | wxACCEL_SHIFT, 'E', 2068},
        {wxACCEL_CTRL | wxACCEL_SHIFT, 'L', 1558},
        {wxACCEL_CTRL, '1', cmd::ActualSize},
    };
    SetAcceleratorTable(wxAcceleratorTable(int(e.size()), e.data()));
}

CVexoView* CMainFrame::ActiveView() const {
    return m_docManager ? wxDynamicCast(m_docManager->GetCurrentView(), CVexoView) : nullptr;
}

CVexoDocument* CMainFrame::ActiveDocument() const {
    CVexoView* v = ActiveView();
    return v ? wxDynamicCast(v->GetDocument(), CVexoDocument) : nullptr;
}

void CMainFrame::SetProgress(int percent) {
    if (!GetStatusBar()) return;
    GetStatusBar()->SetStatusText(percent > 0 ? wxString::Format("%d %%", percent) : wxString(),
                                  GetStatusBar()->GetFieldsCount() - 1);
}

void CMainFrame::SetStatus(const wxString& text) {
    if (GetStatusBar()) GetStatusBar()->SetStatusText(text, 0);
}

void CMainFrame::ShowDocumentTitle(const wxString& childTitle) {
    wxString t = childTitle.empty() ? wxString("Pimlora") : "Pimlora - " + childTitle;
    if (GetTitle() != t) SetTitle(t);
}

void CMainFrame::OnUpdateAny(wxUpdateUIEvent& event) {
    // Windows ask about themselves too: only commands are answered here.
    auto* w = wxDynamicCast(event.GetEventObject(), wxWindow);
    if (event.GetId() <= 0 || (w && w->GetId() == event.GetId())) {
        event.Skip();
        return;
    }
    int id = cmd::CommandFromEvent(event.GetId());
    if (id >= 31000 && id < 32000) {
        event.Enable(false);   // group headings
        return;
    }
    if (id >= wxID_FILE1 && id <= wxID_FILE9) return;   // recent files
    if (id == wxWINDOWCLOSE || id == wxWINDOWCLOSEALL || id == wxWINDOWNEXT || id == wxWINDOWPREV) {
        event.Enable(ActiveView() != nullptr);
        return;
    }
    bool haveDoc = ActiveDocument() != nullptr;
    if (const shell::Command* c = shell::Find(id)) {
        event.Enable(!c->enabled || c->enabled(*this));
        if (c->checked) event.Check(c->checked(*this));
        return;
    }
    switch (id) {
        case cmd::New: case cmd::Open: case cmd::Exit: case cmd::About: case cmd::Options:
        case cmd::ForeColour: case cmd::BackColour: case cmd::SwapColours:
        case cmd::ResBitmap: case cmd::ResJpeg: case cmd::ResGif: case cmd::ResTif:
            event.Enable(true);
            return;
        case cmd::MainToolBar:
            event.Enable(true);
            event.Check(GetToolBar() && GetToolBar()->IsShown());
            return;
        case cmd::Grid:
            event.Enable(haveDoc);
            event.Check(settings.gridGap > 0);
            return;
        case cmd::Cascade: case cmd::Tile:
            event.Enable(haveDoc);
            return;
        default: break;
    }
    // Everything else: a document command when the table has it (the document
    // enables those it serves before this runs); otherwise not built yet.
    event.Enable(false);
}

void CMainFrame::OnCharHook(wxKeyEvent& event) {
    // Ctrl+"+" / Ctrl+"-" belong to the image window: wherever the focus is
    // in the main window, they reach the active view.
    if (event.ControlDown() && !event.AltDown()) {
        int key = event.GetKeyCode();
        CVexoView* v = ActiveView();
        if (v && (key == '=' || key == '+' || key == WXK_NUMPAD_ADD)) {
            v->ZoomIn();
            return;
        }
        if (v && (key == '-' || key == WXK_NUMPAD_SUBTRACT)) {
            v->ZoomOut();
            return;
        }
    }
    event.Skip();
}

void CMainFrame::OnDropFiles(wxDropFilesEvent& event) {
    for (int i = 0; i < event.GetNumberOfFiles(); ++i) wxGetApp().OpenPath(event.GetFiles()[i]);
}

void CMainFrame::OnOptions(wxCommandEvent&) {
    CVexoView* v = ActiveView();
    if (v) v->StopOutlineTimer();
    if (!RunOptionsDialog(this, settings)) return;
    docmem::SetConfiguredBudgetMB(settings.memoryBudgetMB);
    if (v && v->Canvas()) v->Canvas()->Refresh(false);
}

void CMainFrame::OnCascade(wxCommandEvent&) {
    // Tabs cannot overlap: cascading puts every document back into one
    // notebook.
    wxAuiNotebook* nb = GetClientWindow();
    if (!nb) return;
    std::vector<std::pair<wxWindow*, wxString>> pages;
    int sel = nb->GetSelection();
    wxWindow* selected = sel >= 0 ? nb->GetPage(size_t(sel)) : nullptr;
    for (size_t i = nb->GetPageCount(); i-- > 0;) {
        pages.insert(pages.begin(), {nb->GetPage(i), nb->GetPageText(i)});
        nb->RemovePage(i);
    }
    for (auto& [w, text] : pages) nb->AddPage(w, text, w == selected);
}

void CMainFrame::OnTile(wxCommandEvent&) { Tile(wxHORIZONTAL); }

bool CMainFrame::RunCloseSequence() {
    SaveConfiguration();
    wxDocManager* dm = m_docManager;
    wxList docs = dm->GetDocuments();   // copy: closing changes the list
    for (wxList::iterator it = docs.begin(); it != docs.end(); ++it) {
        auto* doc = wxDynamicCast(*it, CVexoDocument);
        if (!doc) continue;
        if (doc->IsModified()) {
            int answer = doc->AskSave();
            if (answer == wxCANCEL) continue;   // stays open; go on with the next
            if (answer == wxYES && !doc->Save()) continue;
            doc->Modify(false);
        }
        doc->DeleteAllViews();
    }
    return dm->GetDocuments().empty();
}

void CMainFrame::OnCloseSequence(wxCommandEvent&) { Close(); }

void CMainFrame::OnClose(wxCloseEvent& event) {
    if (closing_) return;
    if (!RunCloseSequence() && event.CanVeto()) {
        event.Veto();
        return;
    }
    closing_ = true;
    SavePanelLayout();
    if (wxFileConfig* cfg = wxDynamicCast(wxConfigBase::Get(false), wxFileConfig)) {
        m_docManager->FileHistorySave(*cfg);
        cfg->Flush();
    }
    Destroy();
}
