// The editor's commands for pictures from a scanner and from the screen:
// 1474 choose the scanner, 1475 scan, 1424 capture a window or the desktop,
// 2065 the capture frame. The scanner side is the main frame's CTwain; the
// scan runs on a worker thread and each finished page crosses to this
// thread, where it becomes a document "스캔영상_%d". Captures become
// "Captured Image %d"; both take the application's new-document counter.
#include <wx/config.h>
#include <wx/timer.h>

#include <memory>
#include <thread>

#include "../view/CVexoView.h"
#include "../view/view_render.h"
#include "CMainFrame.h"
#include "CTwain.h"
#include "CVexoApp.h"
#include "CVexoDocument.h"
#include "VaZavi.h"
#include "capture_windows.h"
#include "command_ids.h"
#include "picture_document.h"
#include "scanner_windows.h"
#include "shell_commands.h"
#include "x11_screen.h"

namespace {

wxString U(const std::string& s) { return wxString::FromUTF8(s); }
std::string S(const wxString& s) { return std::string(s.utf8_str()); }

constexpr int kChooseScanner = 1474, kScan = 1475, kCaptureWindow = 1424, kCaptureFrame = 2065;

// Runs `fn` once on this thread after `ms` milliseconds of the event loop.
void RunLater(int ms, std::function<void()> fn) {
    struct Once : wxTimer {
        std::function<void()> fn;
        void Notify() override {
            auto f = std::move(fn);
            delete this;
            if (f) f();
        }
    };
    auto* t = new Once;
    t->fn = std::move(fn);
    t->StartOnce(ms);
}

// A document window for a picture the program took; the first zoom fits
// it into the main window as an opened file's does.
CVexoDocument* ShowPictureDocument(std::unique_ptr<VaZavi> picture, const std::string& name) {
    CMainFrame* main = wxGetApp().MainFrame();
    if (!main || !picture) return nullptr;
    const int w = picture->Width(), h = picture->Height();
    auto shared = std::make_shared<std::unique_ptr<VaZavi>>(std::move(picture));
    CVexoDocument* doc = wxGetApp().NewWindowFromBuilder(
        [shared, name](DocHost* host) { return acquire::DocumentFromPicture(host, std::move(*shared), name); }, name,
        "");
    if (!doc || !doc->Core()) return nullptr;
    const wxSize size = main->GetClientSize();
    doc->Core()->zoom = viewmath::InitialZoom(w, h, size.x, size.y);
    doc->Core()->viewRebuild = true;
    // A new picture is not saved anywhere yet.
    doc->Modify(true);
    doc->UpdateAllViews();
    if (CVexoView* v = doc->View()) {
        v->ZoomChanged();
        v->UpdateTitle();
    }
    doc->RefreshLayersPanel(*doc->Core());
    return doc;
}

// --- the scanner ------------------------------------------------------------------

class FrameScanner : public acquire::CTwain {
public:
    explicit FrameScanner(CMainFrame& frame) : frame_(frame) {}

    std::string DefaultSourceName() override {
        wxString name;
        if (wxConfigBase* cfg = wxConfigBase::Get(false)) cfg->Read("Scanner/Device", &name);
        return S(name);
    }

    bool SelectSource(const std::vector<acquire::SourceIdentity>& devices, acquire::SourceIdentity& chosen) override {
        if (!acquire::RunDeviceListDialog(&frame_, devices, chosen)) return false;
        if (wxConfigBase* cfg = wxConfigBase::Get(false)) {
            cfg->Write("Scanner/Device", U(chosen.name));
            cfg->Flush();
        }
        return true;
    }

    acquire::ScannerEvent ShowSourceInterface() override {
        if (!Options()) return acquire::ScannerEvent::CloseRequest;
        wxConfigBase* cfg = wxConfigBase::Get(false);
        // The settings of the last scan with this device come back.
        wxString saved, savedDevice;
        long pages = 0;
        if (cfg) {
            cfg->Read("Scanner/OptionsDevice", &savedDevice);
            cfg->Read("Scanner/Options", &saved);
            cfg->Read("Scanner/Pages", &pages, 0);
        }
        if (S(savedDevice) == sourceIdentity.name) {
            for (const wxString& item : wxSplit(saved, '\t', 0)) {
                const int eq = item.Find('=');
                if (eq <= 0) continue;
                std::string error;
                Options()->Set(S(item.Left(size_t(eq))), S(item.Mid(size_t(eq) + 1)), error);
            }
        }
        acquire::ScanDialog dlg(&frame_, sourceIdentity, *Options(), int(pages));
        if (dlg.ShowModal() != wxID_OK) return acquire::ScannerEvent::CloseRequest;
        pagesWanted = dlg.Pages() > 0 ? dlg.Pages() : -1;
        imageCount = int16_t(pagesWanted);
        if (cfg) {
            wxArrayString items;
            for (const acquire::ScanOption& o : Options()->All())
                if (o.Shown()) items.Add(U(o.name + "=" + o.value));
            cfg->Write("Scanner/OptionsDevice", U(sourceIdentity.name));
            cfg->Write("Scanner/Options", wxJoin(items, '\t', 0));
            cfg->Write("Scanner/Pages", long(dlg.Pages()));
            cfg->Flush();
        }
        return acquire::ScannerEvent::TransferReady;
    }

    void BeginTransfers() override {
        // The pages are read on a worker; this thread keeps the windows
        // alive in the progress window's loop until the worker is done.
        acquire::ScanProgressDialog progress(&frame_, [this] { RequestCancel(); });
        progress_ = &progress;
        std::thread worker([this] {
            TransferImages();
            frame_.CallAfter([this] {
                if (progress_) progress_->Finish();
            });
        });
        progress.ShowModal();
        worker.join();
        progress_ = nullptr;
        if (!transferError.empty()) frame_.SetStatus(U("스캔: " + transferError));
        HandleScannerEvent(acquire::ScannerEvent::CloseRequest);
    }

    // On the worker thread.
    void TransferProgress(int page, int percent) override {
        frame_.CallAfter([this, page, percent] {
            if (progress_) progress_->SetPage(page, percent);
        });
    }

    // On the worker thread: only the finished picture crosses over.
    void ReceiveScannedImage(std::unique_ptr<VaZavi> image, const acquire::ImageInfo& info) override {
        if (!image || info.width < 1 || info.height == 0) return;
        auto shared = std::make_shared<std::unique_ptr<VaZavi>>(std::move(image));
        frame_.CallAfter([shared] {
            if (!*shared || (*shared)->Width() < 1 || (*shared)->Height() < 1) return;
            ShowPictureDocument(std::move(*shared), acquire::ScanDocumentName(wxGetApp().NextImageNumber()));
        });
    }

    void ShowMessage(const std::string& text) override { wxMessageBox(U(text), "Pimlora", wxOK, &frame_); }

private:
    CMainFrame& frame_;
    acquire::ScanProgressDialog* progress_ = nullptr;
};

std::unique_ptr<FrameScanner> gScanner;
acquire::CTransScreenDlg* gCaptureFrame = nullptr;

FrameScanner& Scanner(CMainFrame& frame) {
    if (!gScanner) gScanner = std::make_unique<FrameScanner>(frame);
    // Loaded on the first scanner command: starting the editor never waits
    // for the devices' back ends.
    if (!gScanner->ManagerLoaded()) gScanner->StartScannerManager(&frame);
    return *gScanner;
}

void ChooseScanner(CMainFrame& frame) {
    FrameScanner& s = Scanner(frame);
    if (!s.ManagerLoaded() || !s.managerOpen) return;   // without SANE: quietly nothing
    s.ChooseScanner();
}

void ScanPages(CMainFrame& frame) {
    FrameScanner& s = Scanner(frame);
    if (!s.ManagerLoaded() || !s.managerOpen) return;
    if (!s.sourceKnown && !s.ChooseScanner()) return;
    s.Scan();
}

// --- the screen ---------------------------------------------------------------------

bool NoDisplayMessage(CMainFrame& frame) {
    wxMessageBox(U(acquire::kNeedsXDisplay), "Pimlora", wxOK | wxICON_INFORMATION, &frame);
    return false;
}

void CaptureWindow(CMainFrame& frame) {
    auto screen = std::make_shared<acquire::XScreen>();
    if (!screen->Open()) {
        NoDisplayMessage(frame);
        return;
    }
    acquire::DlgCapture dlg(&frame, screen->Root(), screen->ListWindows());
    if (dlg.ShowModal() != wxID_OK) return;
    const unsigned long window = dlg.ChosenWindow();
    // The dialog leaves the screen first; what it covered is repainted.
    RunLater(300, [screen, window] {
        CMainFrame* main = wxGetApp().MainFrame();
        if (!main) return;
        std::string error;
        std::unique_ptr<VaZavi> picture = screen->CaptureWindow(window, true, 200, error);
        main->Raise();
        if (!picture) {
            main->SetStatus(U(error));
            return;
        }
        ShowPictureDocument(std::move(picture), acquire::CaptureDocumentName(wxGetApp().NextImageNumber()));
    });
}

void SaveFramePlace() {
    if (!gCaptureFrame) return;
    const acquire::ScreenRect r = gCaptureFrame->Remembered();
    if (wxConfigBase* cfg = wxConfigBase::Get(false)) {
        cfg->Write("CaptureFrame/X", long(r.x));
        cfg->Write("CaptureFrame/Y", long(r.y));
        cfg->Write("CaptureFrame/Width", long(r.width));
        cfg->Write("CaptureFrame/Height", long(r.height));
        cfg->Flush();
    }
}

void RestoreMain(CMainFrame& main, bool maximise) {
    main.Iconize(false);
    if (maximise) main.Maximize(true);
    main.Show(true);
    main.Raise();
}

// Takes the area under the frame once the frame is off the screen; then
// `after` runs with the new document (or none).
void CaptureUnderFrame(std::function<void(CVexoDocument*)> after) {
    if (!gCaptureFrame) return;
    const acquire::ScreenRect area = gCaptureFrame->FrameRect();
    gCaptureFrame->SetRemembered(area);
    SaveFramePlace();
    gCaptureFrame->Hide();
    RunLater(400, [area, after] {
        CVexoDocument* doc = nullptr;
        acquire::XScreen screen;
        std::string error;
        CMainFrame* main = wxGetApp().MainFrame();
        if (!screen.Open()) {
            error = acquire::kNeedsXDisplay;
        } else if (std::unique_ptr<VaZavi> picture = screen.ReadArea(area, error)) {
            doc = ShowPictureDocument(std::move(picture), acquire::CaptureDocumentName(wxGetApp().NextImageNumber()));
        }
        if (main && !error.empty()) main->SetStatus(U(error));
        if (after) after(doc);
    });
}

void ShowCaptureFrame(CMainFrame& frame) {
    if (!gCaptureFrame) return;
    acquire::XScreen screen;
    if (!screen.Open()) {
        NoDisplayMessage(frame);
        return;
    }
    frame.Iconize(true);
    gCaptureFrame->ShowFrame(screen.Width(), screen.Height());
}

void SetUpCaptureFrame(CMainFrame& frame) {
    // A top-level window of its own: minimising the main window leaves it.
    gCaptureFrame = new acquire::CTransScreenDlg(nullptr);
    if (wxConfigBase* cfg = wxConfigBase::Get(false)) {
        acquire::ScreenRect r = gCaptureFrame->Remembered();
        long v;
        if (cfg->Read("CaptureFrame/X", &v)) r.x = int(v);
        if (cfg->Read("CaptureFrame/Y", &v)) r.y = int(v);
        if (cfg->Read("CaptureFrame/Width", &v)) r.width = int(v);
        if (cfg->Read("CaptureFrame/Height", &v)) r.height = int(v);
        gCaptureFrame->SetRemembered(r);
    }
    CMainFrame* main = &frame;
    gCaptureFrame->onCapture = [main] {
        CaptureUnderFrame([main](CVexoDocument*) { RestoreMain(*main, false); });
    };
    gCaptureFrame->onClose = [main] {
        gCaptureFrame->SetRemembered(gCaptureFrame->FrameRect());
        SaveFramePlace();
        gCaptureFrame->Hide();
        RestoreMain(*main, true);
    };
    // The print button opens the print preview of the new picture, once the
    // editor has one (its command registered with the shell); greyed until then.
    if (shell::Find(cmd::PrintPreview)) {
        gCaptureFrame->onPrint = [main] {
            CaptureUnderFrame([main](CVexoDocument* doc) {
                RestoreMain(*main, true);
                const shell::Command* c = shell::Find(cmd::PrintPreview);
                if (doc && c && c->run) c->run(*main);
            });
        };
    }
    frame.Bind(wxEVT_DESTROY, [main](wxWindowDestroyEvent& e) {
        if (e.GetEventObject() == main) {
            SaveFramePlace();
            if (gCaptureFrame) gCaptureFrame->Destroy();
            gCaptureFrame = nullptr;
            // The scanner interface is released with the main frame.
            gScanner.reset();
        }
        e.Skip();
    });
}

const shell::Registrar kCommands({
    {kChooseScanner, [](CMainFrame& f) { ChooseScanner(f); }, nullptr, nullptr},
    {kScan, [](CMainFrame& f) { ScanPages(f); }, nullptr, nullptr},
    {kCaptureWindow, [](CMainFrame& f) { CaptureWindow(f); }, nullptr, nullptr},
    {kCaptureFrame, [](CMainFrame& f) { ShowCaptureFrame(f); }, nullptr, nullptr},
});

// Created with the main frame, as a panel would be; it docks nothing.
const shell::PanelRegistrar kCapturePanel({"acquire", [](CMainFrame& f) -> wxWindow* {
                                               SetUpCaptureFrame(f);
                                               return nullptr;
                                           }, nullptr});

}  // namespace
