#include "CDlg_ImgFIleView.h"

#include <wx/button.h>
#include <wx/sizer.h>

#include <gtk/gtk.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdlib>

#include "CFoldersTreeCtrl.h"
#include "CPreviewDlg.h"
#include "CThumbnailList.h"
#include "browser_model.h"
#include "folder_listing.h"

namespace {

wxString U(const char* s) { return wxString::FromUTF8(s); }
wxString U(const std::string& s) { return wxString::FromUTF8(s); }

// Processor time of the whole process (every thread), ms.
double ProcessCpuMs() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double ThreadCpuMs() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// How long this thread has waited for a processor while it could run, ms
// (Linux's scheduler statistics; 0 where there are none).
double ThreadRunQueueWaitMs() {
    FILE* f = std::fopen("/proc/thread-self/schedstat", "r");
    if (!f) return 0;
    unsigned long long run = 0, wait = 0;
    const int got = std::fscanf(f, "%llu %llu", &run, &wait);
    std::fclose(f);
    return got == 2 ? wait / 1e6 : 0;
}

// Measures one event handler for the trace.
class HandlerTimer {
public:
    explicit HandlerTimer(double& longest) : longest_(longest), start_(std::chrono::steady_clock::now()) {}
    ~HandlerTimer() {
        longest_ = std::max(longest_,
                            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count());
    }

private:
    double& longest_;
    std::chrono::steady_clock::time_point start_;
};

// Makes the toolkit's resources of a hidden window and all within it, so
// that its first show only maps them.
void RealizeAll(wxWindow* w) {
    if (GtkWidget* g = w->GetHandle()) gtk_widget_realize(g);
    for (wxWindow* c : w->GetChildren()) RealizeAll(c);
}

wxBitmap ToBitmap(const browser::Picture24& p) {
    wxImage img(p.width, p.height, false);
    unsigned char* d = img.GetData();
    for (size_t i = 0, n = size_t(p.width) * size_t(p.height); i < n; ++i) {
        d[3 * i] = p.bgr[3 * i + 2];
        d[3 * i + 1] = p.bgr[3 * i + 1];
        d[3 * i + 2] = p.bgr[3 * i];
    }
    return wxBitmap(img);
}

}  // namespace

CDlg_ImgFIleView::CDlg_ImgFIleView(wxWindow* parent, BrowserHost host, CPreviewDlg* preview)
    : wxPanel(parent, 4753), host_(std::move(host)), preview_(preview),
      worker_({[this](int g, std::vector<std::string> names) {
                   auto shared = std::make_shared<std::vector<std::string>>(std::move(names));
                   CallAfter([this, g, shared] { OnListed(g, std::move(*shared)); });
               },
               [this](int g, int i, browser::Picture24 thumb) {
                   bool first;
                   {
                       std::lock_guard<std::mutex> lock(pendingMutex_);
                       first = pending_.empty();
                       pending_.push_back(Pending{g, i, std::move(thumb)});
                   }
                   // Only the first of a group posts: the user-interface thread
                   // then inserts all that arrived meanwhile in one go.
                   if (first) CallAfter([this] { TakePending(); });
               },
               [this](int g, int count, bool stopped) { CallAfter([this, g, count, stopped] { OnFinished(g, count, stopped); }); }}) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    // The title and the close button are the caption of the panel the
    // group docks in ("파일열기창"); a floating group has them too.
    list_ = new CThumbnailList(this, 1154);
    list_->SetMinSize(wxSize(450, 260));
    top->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 8);

    progress_ = new wxGauge(this, 1265, 1, wxDefaultPosition, wxSize(-1, 6));
    progress_->Hide();
    // The progress bar, the status and the spinner keep their places when
    // hidden: a run that starts or ends lays nothing out again (a new layout
    // would repaint the whole list).
    top->Add(progress_, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP | wxRESERVE_SPACE_EVEN_IF_HIDDEN, 8);

    auto* labels = new wxBoxSizer(wxHORIZONTAL);
    folderLabel_ = new wxStaticText(this, wxID_ANY, "", wxDefaultPosition, wxSize(200, -1), wxST_ELLIPSIZE_START);
    folderLabel_->SetForegroundColour(wxColour(88, 135, 110));
    labels->Add(folderLabel_, 1, wxALIGN_CENTER_VERTICAL | wxLEFT, 10);
    status_ = new wxStaticText(this, wxID_ANY, "", wxDefaultPosition, wxSize(130, -1), wxST_NO_AUTORESIZE);
    status_->SetForegroundColour(*wxBLACK);
    status_->Hide();
    labels->Add(status_, 0, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT | wxRESERVE_SPACE_EVEN_IF_HIDDEN, 10);
    top->Add(labels, 0, wxEXPAND | wxTOP, 4);

    auto* controls = new wxBoxSizer(wxHORIZONTAL);
    previewCheck_ = new wxCheckBox(this, 1203, U("미리 보기 창"));
    previewCheck_->SetForegroundColour(*wxBLACK);
    controls->Add(previewCheck_, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 10);
    busy_ = new wxActivityIndicator(this, wxID_ANY, wxDefaultPosition, wxSize(24, 24));
    busy_->Hide();
    controls->Add(busy_, 0, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRESERVE_SPACE_EVEN_IF_HIDDEN, 8);
    filter_ = new wxChoice(this, 1209);
    for (const std::string& f : browser::FilterNames()) filter_->Append(U(f));
    filter_->SetSelection(0);
    controls->Add(filter_, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 8);
    controls->AddStretchSpacer();
    auto* ok = new wxButton(this, wxID_OK, U("확인"), wxDefaultPosition, wxSize(65, -1));
    auto* cancel = new wxButton(this, wxID_CANCEL, U("취소"), wxDefaultPosition, wxSize(65, -1));
    ok->SetBackgroundColour(wxColour(200, 240, 220));
    cancel->SetBackgroundColour(wxColour(200, 240, 220));
    controls->Add(ok, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 6);
    controls->Add(cancel, 0, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 6);
    top->Add(controls, 0, wxEXPAND | wxTOP | wxBOTTOM, 6);
    SetSizer(top);

    ok->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnOk(); });
    cancel->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnCancel(); });
    previewCheck_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent& e) { ShowPreviewWindow(e.IsChecked()); });
    filter_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { ShowFolder(folder_); });
    list_->onItemChanged = [this](int item) { UpdatePreview(item); };
    list_->onVisibleChanged = [this](int first, int last) { worker_.SetVisibleRange(first, last); };
    // A double click on an item (or Enter), or on the list's background, is OK.
    list_->onActivate = [this] { CallAfter([this] { OnOk(); }); };
    list_->onBackgroundDoubleClick = [this] { CallAfter([this] { OnOk(); }); };

    if (const char* trace = std::getenv("PIMLORA_BROWSER_TRACE"); trace && *trace) trace_ = std::fopen(trace, "a");
    if (trace_)
        list_->Bind(wxEVT_PAINT, [this](wxPaintEvent& e) {
            Trace("paint");
            e.Skip();
        });
    tick_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
        const auto now = std::chrono::steady_clock::now();
        const double gap = std::chrono::duration<double, std::milli>(now - lastTick_).count();
        longestGap_ = std::max(longestGap_, gap);
        lastTick_ = now;
        // A long gap is traced with the processor time this thread had in
        // it and the time it waited for a processor: a gap with little of
        // either is a thread that slept (for the X server, mostly), not one
        // our code kept busy.
        const double cpu = ThreadCpuMs();
        const double waited = ThreadRunQueueWaitMs();
        if (gap > 50 && trace_) {
            const double ms = std::chrono::duration<double, std::milli>(now - traceStart_).count();
            std::fprintf(trace_, "slowgap %ld %.1f %.1f %.1f %s\n", long(gap + 0.5), ms, cpu - lastTickCpu_,
                         waited - lastTickWait_, lastMark_);
        }
        lastTickCpu_ = cpu;
        lastTickWait_ = waited;
    });
}

CDlg_ImgFIleView::~CDlg_ImgFIleView() {
    worker_.Stop();
    if (trace_) std::fclose(trace_);
}

void CDlg_ImgFIleView::StartTrace() {
    if (!trace_) return;
    traceStart_ = lastTick_ = std::chrono::steady_clock::now();
    traceStarted_ = true;
    longestGap_ = 0;
    longestHandler_ = 0;
    cpuAtShow_ = ProcessCpuMs();
    uiCpuAtShow_ = lastTickCpu_ = ThreadCpuMs();
    lastTickWait_ = ThreadRunQueueWaitMs();
    // Every 10 ms: fine enough for gaps of 50 ms, and each tick costs the
    // editor an idle pass (its tool bars' update events) of its own.
    tick_.Start(10);
    Trace("start");
}

void CDlg_ImgFIleView::Trace(const char* what, long value) {
    if (!trace_) return;
    lastMark_ = what;
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - traceStart_).count();
    std::fprintf(trace_, "%s %ld %.1f\n", what, value, ms);
    std::fflush(trace_);
}

void CDlg_ImgFIleView::SetStatus(const char* text) {
    status_->SetLabel(U(text));
    status_->Show(text && *text);
}

void CDlg_ImgFIleView::ShowFolder(const std::string& folder) {
    // Started already when the group was about to be shown.
    if (!traceStarted_) StartTrace();
    traceStarted_ = false;
    HandlerTimer timed(longestHandler_);
    Trace("show");
    progress_->Show();
    // The spinner stays still: each of its animation frames woke the
    // editor's whole idle pass (tool-bar update events), 12 ms of the
    // user-interface thread per thumbnail; the progress bar and "진행중"
    // show the run.
    busy_->Show();
    SetStatus("진행중");
    list_->Clear();
    progress_->SetRange(1);
    progress_->SetValue(1);
    folderLabel_->SetLabel(U(folder));
    folder_ = folder;
    names_.clear();
    done_ = 0;
    preview_->Clear();
    previewItem_ = -1;
    const int sel = filter_->GetSelection();
    const std::string filter = sel >= 0 ? std::string(filter_->GetString(unsigned(sel)).utf8_str()) : browser::kAllFormats;
    generation_ = worker_.Start(folder, filter);
}

void CDlg_ImgFIleView::OnListed(int generation, std::vector<std::string> names) {
    if (generation != generation_) return;   // a folder left behind
    HandlerTimer timed(longestHandler_);
    names_ = std::move(names);
    Trace("listed", long(names_.size()));
    progress_->SetRange(std::max<int>(1, int(names_.size())));
    progress_->SetValue(0);
    list_->SetNames(names_);
}

void CDlg_ImgFIleView::OnThumbnail(int generation, int index, const browser::Picture24& thumb) {
    if (generation != generation_ || index < 0 || index >= list_->Count()) return;
    HandlerTimer timed(longestHandler_);
    ++done_;
    progress_->SetValue(std::min(done_, progress_->GetRange()));
    if (!thumb.Empty()) list_->SetPicture(index, ToBitmap(thumb));
    Trace("thumb", index);
}

void CDlg_ImgFIleView::TakePending() {
    std::vector<Pending> group;
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        group.swap(pending_);
    }
    for (const Pending& p : group) OnThumbnail(p.generation, p.index, p.picture);
}

void CDlg_ImgFIleView::OnFinished(int generation, int count, bool /*stopped*/) {
    if (generation != generation_) return;
    progress_->Hide();
    busy_->Stop();
    busy_->Hide();
    SetStatus(names_.empty() ? "폴더 내 이미지 없음" : "");
    tick_.Stop();
    Trace("done", count);
    Trace("handler", long(longestHandler_ + 0.5));
    Trace("cpu", long(ProcessCpuMs() - cpuAtShow_ + 0.5));
    Trace("uicpu", long(ThreadCpuMs() - uiCpuAtShow_ + 0.5));
    Trace("gap", long(longestGap_ + 0.5));
}

void CDlg_ImgFIleView::UpdatePreview(int item) {
    if (item == previewItem_ || item < 0 || item >= int(names_.size())) return;
    previewItem_ = item;
    const std::string name = names_[size_t(item)];
    int w = 0, h = 0;
    wxBusyCursor wait;
    const browser::Picture24 pic =
        browser::PreviewOfFile(browser::JoinPath(folder_, name), CPreviewDlg::kMaxWidth, CPreviewDlg::kMaxHeight, w, h);
    if (pic.Empty()) {
        preview_->Clear();
        return;
    }
    preview_->SetPicture(pic, w, h, name);
}

void CDlg_ImgFIleView::ShowPreviewWindow(bool show) {
    previewCheck_->SetValue(show);
    if (onPreviewToggled) onPreviewToggled(show);
    preview_->LayOut();
}

void CDlg_ImgFIleView::OpenSelectedImages() {
    if (host_.rememberFolder) host_.rememberFolder(folder_);
    std::vector<std::string> chosen;
    for (int i : list_->Selected()) chosen.push_back(list_->Name(i));
    for (const std::string& name : chosen)
        if (host_.openDocument) host_.openDocument(browser::JoinPath(folder_, name));
    if (host_.focusMain) host_.focusMain();
}

void CDlg_ImgFIleView::OnOk() {
    OpenSelectedImages();
    if (host_.hide) host_.hide();
}

void CDlg_ImgFIleView::OnCancel() {
    if (host_.hide) host_.hide();
}

BrowserGroup::BrowserGroup(wxWindow* parent, BrowserHost host) : wxPanel(parent, wxID_ANY) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    preview_ = new CPreviewDlg(this);
    browser_ = new CDlg_ImgFIleView(this, std::move(host), preview_);
    folders_ = new CFoldersDlg(this, [this](const std::string& folder, bool byMouse) {
        wxBusyCursor wait;
        browser_->ShowFolder(folder);
        // A folder clicked hands the focus to the list; one reached with the
        // keys leaves it in the tree, so that the user can go on.
        if (byMouse) browser_->List()->SetFocus();
    });
    row->Add(preview_, 0, wxEXPAND);
    row->Add(browser_, 1, wxEXPAND);
    row->Add(folders_, 0, wxEXPAND);
    preview_->Hide();
    SetSizer(row);
    browser_->onPreviewToggled = [this](bool show) {
        preview_->Show(show);
        Layout();
    };
}

void BrowserGroup::Prepare(const std::string& folder, const wxSize& size) {
    if (IsShown()) return;
    // The tree's levels down to the folder are read now: the show then only
    // selects it.
    folders_->Tree()->Reveal(folder);
    // And the sizers are run at the size the group will most likely have,
    // so that its first show has little left to lay out.
    if (size.x > 0 && size.y > 0) SetSize(size);
    Layout();
    browser_->Layout();
    folders_->Layout();
    RealizeAll(this);
}

void BrowserGroup::ShowFolder(const std::string& folder) {
    browser_->ShowPreviewWindow(false);
    folders_->Tree()->Reveal(folder);
    browser_->Trace("revealed");
    browser_->ShowFolder(folder);
}
