#include "CVexoApp.h"

#include <wx/cmdline.h>
#include <wx/colordlg.h>
#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/stdpaths.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "../view/CVexoView.h"
#include "../view/first_paint.h"
#include "../view/startup_log.h"
#include "CMainFrame.h"
#include "browser_commands.h"
#include "CVexoDocument.h"
#include "CVexoDoc.h"
#include "VaZavi.h"
#include "layer_set.h"
#include "command_ids.h"
#include "commands.h"
#include "embedded_resources.h"
#include "host_hooks.h"
#include "tool_shell.h"
#include "install_paths.h"
#include "memory_budget.h"
#include "open_prefetch.h"
#include "single_instance.h"
#include "update_check.h"

wxIMPLEMENT_APP_NO_MAIN(CVexoApp);

void AdviseHugePages();   // huge_page_advice.cpp

int main(int argc, char** argv) {
    AdviseHugePages();
    // The first file named on the command line is decoded while the toolkit
    // and the main window start; the open takes the picture from there.
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] != '-') {
            openahead::Start(argv[i], docmem::BudgetBytes());
            break;
        }
    wxDISABLE_DEBUG_SUPPORT();   // as wxIMPLEMENT_APP's own main does
    const int status = wxEntry(argc, argv);
    openahead::Drop();
    return status;
}

namespace {
wxString U(const char* s) { return wxString::FromUTF8(s); }
std::string S(const wxString& s) { return std::string(s.utf8_str()); }
}  // namespace

CVexoApp::CVexoApp() {
    // Scroll bars that are always shown, as the view's extent tells.
    setenv("GTK_OVERLAY_SCROLLING", "0", 0);
    // Nothing here draws through OpenGL: without this GDK loads the GL
    // libraries and asks the X server about GLX while it opens the display,
    // a good part of the toolkit's start.
    setenv("GDK_GL", "disable", 0);
}

void CVexoApp::OnInitCmdLine(wxCmdLineParser& parser) {
    wxApp::OnInitCmdLine(parser);
    parser.AddParam("file", wxCMD_LINE_VAL_STRING, wxCMD_LINE_PARAM_OPTIONAL | wxCMD_LINE_PARAM_MULTIPLE);
}

bool CVexoApp::OnCmdLineParsed(wxCmdLineParser& parser) {
    for (size_t i = 0; i < parser.GetParamCount() && i < 3; ++i) args.push_back(parser.GetParam(i));
    for (size_t i = 0; i < parser.GetParamCount(); ++i) files_.push_back(parser.GetParam(i));
    return wxApp::OnCmdLineParsed(parser);
}

bool SetUpKoreanLocale();   // korean_locale.cpp

bool CVexoApp::OnInit() {
    startuplog::Stage("toolkit ready");
    if (!wxApp::OnInit()) return false;
    SetUpKoreanLocale();
    wxInitAllImageHandlers();
    programFolder = S(wxFileName(wxStandardPaths::Get().GetExecutablePath()).GetPath());
    startDir = S(wxGetCwd());
    configFolder = paths::ConfigFolder();
    // An editor already running for this user and display takes the files.
    single_ = std::make_unique<SingleInstance>([this](const std::vector<wxString>& files) {
        for (const wxString& f : files) OpenPath(f);
        if (frame_) {
            if (frame_->IsIconized()) frame_->Iconize(false);
            frame_->Raise();
        }
    });
    if (single_->HandOver(files_, configFolder)) {
        openahead::Drop();
        handedOver_ = true;
        return true;
    }
    // First start: install the shipped defaults, as an installer would.
    config::InstallDefaults(configFolder, paths::ResourceFolder(config::kConfigFile));

    // 1. The profile ("Vandelore Applications"): a file in the per-user folder.
    auto* profile = new wxFileConfig("Vandelore Applications", "", U((configFolder + "/profile.ini").c_str()), "",
                                     wxCONFIG_USE_LOCAL_FILE);
    wxConfigBase::Set(profile);
    imagehost::SetMessageBoxHook([](const std::string& text) {
        wxMessageBox(wxString::FromUTF8(text), "Pimlora", wxOK, wxGetApp().MainFrame());
    });

    // 3-4. Recent files (9) and the one document template.
    docManager_ = new wxDocManager;
    docManager_->SetMaxDocsOpen(1000);
    new wxDocTemplate(docManager_, "Pimlora", "*", "", "", "Pimlora Document", "Pimlora View",
                      CLASSINFO(CVexoDocument), CLASSINFO(CVexoView));
    docManager_->FileHistoryLoad(*profile);

    Bind(wxEVT_MENU, &CVexoApp::OnNew, this, cmd::New);
    Bind(wxEVT_MENU, &CVexoApp::OnOpen, this, cmd::Open);
    Bind(wxEVT_MENU, &CVexoApp::OnAbout, this, cmd::About);
    Bind(wxEVT_MENU, &CVexoApp::OnExit, this, cmd::Exit);
    for (int id : {cmd::ResBitmap, cmd::ResJpeg, cmd::ResGif, cmd::ResTif})
        Bind(wxEVT_MENU, &CVexoApp::OnResourceImage, this, id);
    Bind(wxEVT_MENU, &CVexoApp::OnColourDialog, this, cmd::ForeColour);
    Bind(wxEVT_MENU, &CVexoApp::OnColourDialog, this, cmd::BackColour);
    Bind(wxEVT_MENU, &CVexoApp::OnSwapColours, this, cmd::SwapColours);

    // 5. The main frame; it reads the configuration.
    startuplog::Stage("main frame");
    firstpaint::ExpectPicture(!files_.empty());
    firstpaint::After([this] {
        deferOpening_ = false;
        SettleLayers();
        FinishOpeningSteps();
        if (!files_.empty()) startuplog::Stage("first steps recorded");
    });
    frame_ = new CMainFrame(docManager_, "Pimlora");
    SetTopWindow(frame_);
    if (!frame_->ConfigLoaded()) {
        wxMessageBox(U("프로그램 실행에 필요한 환경 설정 파일이 없어서 종료합니다(0)."), "Pimlora", wxOK);
        // The normal close writes a configuration from the values in memory.
        frame_->SaveConfiguration();
        frame_->Destroy();
        frame_ = nullptr;
        return false;
    }
    // 6. The update check; when setupfetch took over, the editor ends here.
    startuplog::Stage("main frame made");
    if (!RunStartupUpdateCheck()) {
        frame_->Destroy();
        frame_ = nullptr;
        return false;
    }
    // 9. Undo folder: this run's own journal folder; stale ones are removed.
    startuplog::Stage("update check done");
    CleanUndoFolder();
    // 10. Show maximised.
    frame_->Maximize(true);
    frame_->Show(true);
    // 7. The file named on the command line.
    startuplog::Stage("main frame shown");
    for (const wxString& file : files_) OpenPath(file);
    openahead::Drop();   // a picture no open took (its file was not opened)
    if (docManager_->GetDocuments().empty()) firstpaint::ExpectPicture(false);
    if (!files_.empty()) startuplog::Stage("files opened");
    return true;
}

bool CVexoApp::OnExceptionInMainLoop() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        wxMessageBox(U(docmem::kOutOfMemory), "Pimlora", wxOK, frame_);
        return true;
    } catch (...) {
        return wxApp::OnExceptionInMainLoop();
    }
}

int CVexoApp::OnRun() {
    if (handedOver_) return 0;
    return wxApp::OnRun();
}

int CVexoApp::OnExit() {
    openahead::Drop();
    ToolShell::Get().Detach();
    single_.reset();
    delete docManager_;
    docManager_ = nullptr;
    delete wxConfigBase::Set(nullptr);
    journal_.reset();
    return wxApp::OnExit();
}

void CVexoApp::FinishOpeningSteps() {
    if (!openingStepsWaiting_ || !docManager_) return;
    openingStepsWaiting_ = false;
    for (wxDocument* d : docManager_->GetDocumentsVector())
        if (auto* vd = wxDynamicCast(d, CVexoDocument); vd && vd->Core()) vd->Core()->FinishOpening();
}

void CVexoApp::SettleLayers() {
    if (CVexoDoc::PendingLayerDocuments() == 0 || !docManager_) return;
    for (wxDocument* d : docManager_->GetDocumentsVector())
        if (auto* vd = wxDynamicCast(d, CVexoDocument); vd && vd->Core() && vd->Core()->LayersPending()) {
            vd->Core()->SettleLayers();
            if (startuplog::On())
                std::fprintf(stderr, "start-up: layer filled in %.0f ms, settled at %.0f ms\n",
                             openahead::LastTimings().fillMs, startuplog::MsSinceProcessStart());
        }
}

int CVexoApp::FilterEvent(wxEvent& event) {
    // Anything the user does, a menu command or a timer may reach the layers;
    // the mouse merely passing over does not (the tools leave hovering
    // alone until the layers are settled).
    if (CVexoDoc::PendingLayerDocuments() > 0) {
        const wxEventType t = event.GetEventType();
        const bool passing = t == wxEVT_MOTION || t == wxEVT_ENTER_WINDOW || t == wxEVT_LEAVE_WINDOW;
        if ((event.IsKindOf(wxCLASSINFO(wxMouseEvent)) && !passing) || event.IsKindOf(wxCLASSINFO(wxKeyEvent)) ||
            event.GetEventCategory() == wxEVT_CATEGORY_TIMER || t == wxEVT_MENU || t == wxEVT_BUTTON ||
            t == wxEVT_DROP_FILES || t == wxEVT_CLOSE_WINDOW)
            SettleLayers();
    }
    if (openingStepsWaiting_) {
        const wxEventType t = event.GetEventType();
        if (t == wxEVT_MENU || t == wxEVT_KEY_DOWN || t == wxEVT_CHAR_HOOK || t == wxEVT_LEFT_DOWN ||
            t == wxEVT_RIGHT_DOWN || t == wxEVT_MIDDLE_DOWN || t == wxEVT_LEFT_DCLICK || t == wxEVT_RIGHT_DCLICK ||
            t == wxEVT_DROP_FILES)
            FinishOpeningSteps();
    }
    return wxApp::FilterEvent(event);
}

void CVexoApp::CleanUndoFolder() {
    if (!journal_) journal_ = std::make_unique<paths::JournalLock>();
}

std::string CVexoApp::JournalFolder() {
    CleanUndoFolder();
    return journal_->Folder();
}

CVexoDocument* CVexoApp::OpenPath(const wxString& path) {
    wxDocument* d = docManager_->CreateDocument(path, wxDOC_SILENT);
    return wxDynamicCast(d, CVexoDocument);
}

CVexoDocument* CVexoApp::NewWindowForCore(std::unique_ptr<CVexoDoc> core, const std::string& name,
                                          const std::string& suffix) {
    pendingCore_ = std::move(core);
    pendingName_ = name;
    pendingSuffix_ = suffix;
    wxDocument* d = docManager_->CreateDocument(wxEmptyString, wxDOC_NEW | wxDOC_SILENT);
    pendingCore_.reset();
    return wxDynamicCast(d, CVexoDocument);
}

CVexoDocument* CVexoApp::NewWindowFromBuilder(CoreBuilder builder, const std::string& name,
                                              const std::string& suffix) {
    pendingBuilder_ = std::move(builder);
    pendingName_ = name;
    pendingSuffix_ = suffix;
    wxDocument* d = docManager_->CreateDocument(wxEmptyString, wxDOC_NEW | wxDOC_SILENT);
    pendingBuilder_ = nullptr;
    return wxDynamicCast(d, CVexoDocument);
}

std::unique_ptr<CVexoDoc> CVexoApp::TakePendingCore(DocHost* host, std::string& name, std::string& suffix) {
    name = pendingName_;
    suffix = pendingSuffix_;
    if (pendingCore_) {
        pendingCore_->SetHost(host);
        return std::move(pendingCore_);
    }
    if (pendingBuilder_) {
        CoreBuilder b = std::move(pendingBuilder_);
        pendingBuilder_ = nullptr;
        return b(host);
    }
    return nullptr;
}

namespace {

// A document made from a picture in memory: the picture goes through the same
// opening path as a file (a private temporary file in the journal folder).
std::unique_ptr<CVexoDoc> CoreFromImage(DocHost* host, VaZavi& image, const std::string& folder) {
    std::string tmp = folder + "picture_in.bmp";
    if (!image.Save(tmp.c_str(), kTypeBMP)) return nullptr;
    auto core = std::make_unique<CVexoDoc>(host);
    bool ok = core->Open(tmp);
    std::error_code ec;
    std::filesystem::remove(tmp, ec);
    if (!ok) return nullptr;
    core->path.clear();
    return core;
}

}  // namespace


void CVexoApp::OnNew(wxCommandEvent&) {
    CMainFrame* f = frame_;
    if (!f) return;
    // The new-image dialog accepts at once with the size of the picture on
    // the clipboard; without one nothing is created.
    f->newWidth = f->newHeight = 0;
    f->newBackground = -1;
    f->newBits = 32;
    std::vector<uint8_t> dib;
    {
        CVexoDocument probe;   // only for the clipboard conversion
        if (probe.GetClipboardDib(dib) && dib.size() >= sizeof(BitmapInfoHeader)) {
            BitmapInfoHeader h;
            std::memcpy(&h, dib.data(), sizeof h);
            f->newWidth = std::min(4000, std::max(1, int(h.width)));
            f->newHeight = std::min(4000, std::max(1, std::abs(int(h.height))));
        }
    }
    f->newBackground = 0;   // first entry: white
    f->newBits = 24;
    if (f->newWidth == 0 || f->newHeight == 0) return;
    int w = f->newWidth, h = f->newHeight, bits = f->newBits;
    std::string name = "Pimlora" + std::to_string(NextImageNumber());
    std::string folder = JournalFolder();
    CVexoDocument* doc = NewWindowFromBuilder(
        [w, h, bits, folder](DocHost* host) -> std::unique_ptr<CVexoDoc> {
            VaZavi image(bits, w, h, kTypeBMP);
            if (!image.IsValid()) return nullptr;
            for (int y = 0; y < h; ++y) std::memset(image.Row(y), 0xFF, size_t(image.Stride()));
            return CoreFromImage(host, image, folder);
        },
        name, "");
    if (!doc) return;
    if (commands::All().Find(cmd::Paste)) doc->RunCommand(cmd::Paste);
    doc->Modify(true);
    if (CVexoView* v = doc->View()) v->ActualSize();
}

void CVexoApp::OnOpen(wxCommandEvent&) {
    CMainFrame* f = frame_;
    if (!f) return;
    // The configuration's third WS value 1: the image browser is the open dialog.
    if (f->settings.ws[2] == 1 && ToggleImageBrowser(*f)) return;
    wxSetWorkingDirectory(wxString::FromUTF8(startDir));
    wxString folder = wxString::FromUTF8(Utf16ToUtf8(f->settings.browserFolder));
    wxFileDialog dlg(f, U("이미지 열기"), folder, "", filetypes::Filter(false),
                     wxFD_OPEN | wxFD_MULTIPLE | wxFD_FILE_MUST_EXIST);
    dlg.SetFilterIndex(7);   // "모든그림형식"
    if (dlg.ShowModal() != wxID_OK) return;
    wxArrayString files;
    dlg.GetPaths(files);
    for (const wxString& file : files) OpenPath(file);
}

void CVexoApp::OnAbout(wxCommandEvent&) {
    wxMessageBox(U("Pimlora 3.80\n\n레이어 사진 편집기\n(c) Vandelore"), U("'Pimlora'에 관하여"), wxOK | wxICON_INFORMATION,
                 frame_);
}

void CVexoApp::OnExit(wxCommandEvent&) {
    if (frame_) frame_->Close();
}

void CVexoApp::OnResourceImage(wxCommandEvent& event) {
    struct Res {
        int id;
        const char* name;
        const char* type;
        int codec;
        const char* suffix;
    };
    static const Res table[] = {
        {cmd::ResBitmap, "4698", "BITMAP", kTypeBMP, "BITMAP Resource Image %d"},
        {cmd::ResJpeg, "IDR_JPG1", "JPG", kTypeJPEG, "JPEG Resource Image %d"},
        {cmd::ResGif, "1011", "GIF", kTypeGIF, "GIF Resource Image %d"},
        {cmd::ResTif, "1015", "TIF", kTypeTIFF, "TIF Resource Image %d"},
    };
    const Res* r = nullptr;
    for (const Res& t : table)
        if (t.id == event.GetId()) r = &t;
    if (!r) return;
    const EmbeddedResource* res = FindEmbeddedResource(r->name, r->type);
    if (!res) return;   // no document, no message
    auto image = std::make_shared<VaZavi>();
    imagehost::SetMessageBoxHook([](const std::string&) {});
    bool loaded = image->LoadResource(res, r->codec) && image->IsValid();
    imagehost::SetMessageBoxHook([](const std::string& text) {
        wxMessageBox(wxString::FromUTF8(text), "Pimlora", wxOK, wxGetApp().MainFrame());
    });
    if (!loaded) return;
    int number = resourceCounter_ + 1;
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, r->suffix, number);
    std::string folder = JournalFolder();
    std::string name = "Pimlora" + std::to_string(NextImageNumber());
    CVexoDocument* doc = NewWindowFromBuilder(
        [image, folder](DocHost* host) { return CoreFromImage(host, *image, folder); }, name, suffix);
    if (!doc) return;
    ++resourceCounter_;
    if (CVexoView* v = doc->View()) v->UpdateTitle();
}

void CVexoApp::OnColourDialog(wxCommandEvent& event) {
    CMainFrame* f = frame_;
    if (!f) return;
    bool fore = event.GetId() == cmd::ForeColour;
    int32_t& target = fore ? f->settings.fg : f->settings.bg;
    wxColourData data;
    data.SetChooseFull(true);
    data.SetColour(wxColour(uint8_t(f->settings.fg), uint8_t(f->settings.fg >> 8), uint8_t(f->settings.fg >> 16)));
    wxColourDialog dlg(f, &data);
    dlg.SetSize(f->ClientToScreen(wxPoint(fore ? 9 : 51, 0)).x, f->GetClientAreaOrigin().y + f->GetPosition().y, 330, 370);
    if (dlg.ShowModal() != wxID_OK) return;
    wxColour c = dlg.GetColourData().GetColour();
    if (fore) f->settings.pfg = f->settings.fg; else f->settings.pbg = f->settings.bg;
    target = int32_t(c.Red() | (c.Green() << 8) | (c.Blue() << 16));
    // The paint settings and the swatches follow.
    ToolShell::Get().SetColour(fore, target);
}

void CVexoApp::OnSwapColours(wxCommandEvent&) {
    CMainFrame* f = frame_;
    if (!f) return;
    std::swap(f->settings.fgPick, f->settings.bgPick);
    ToolShell::Get().SwapColours();   // writes fg and bg back into the settings
}

