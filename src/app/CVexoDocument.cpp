#include "CVexoDocument.h"

#include <wx/clipbrd.h>
#include <wx/filedlg.h>
#include <wx/filename.h>

#include <algorithm>
#include <cstring>

#include "../view/CVexoView.h"
#include "../view/startup_log.h"
#include "CMainFrame.h"
#include "CVexoApp.h"
#include "command_ids.h"
#include "commands.h"
#include "dib_types.h"
#include "layer_set.h"
#include "dialog_models.h"
#include "memory_budget.h"
#include "open_prefetch.h"
#include "text_layers.h"
#include "tool_shell.h"
#include "tool_table.h"

wxIMPLEMENT_DYNAMIC_CLASS(CVexoDocument, wxDocument);

namespace {
wxString U(const std::string& s) { return wxString::FromUTF8(s); }
std::string S(const wxString& s) { return std::string(s.utf8_str()); }
}  // namespace

CVexoDocument::CVexoDocument() {
    Bind(wxEVT_MENU, &CVexoDocument::OnCommand, this);
    Bind(wxEVT_UPDATE_UI, &CVexoDocument::OnUpdateCommand, this);
    // Journal writes that failed behind the user's back are told at the
    // next idle time (the writer thread wakes the idle processing).
    if (wxTheApp) wxTheApp->Bind(wxEVT_IDLE, &CVexoDocument::OnAppIdle, this);
}

CVexoDocument::~CVexoDocument() {
    if (wxTheApp) wxTheApp->Unbind(wxEVT_IDLE, &CVexoDocument::OnAppIdle, this);
    if (core_) core_->RemoveObserver(this);
    // The panels follow the document window that is active now.
    if (CMainFrame* main = wxGetApp().MainFrame()) main->ActiveDocumentChanged(true);
}

void CVexoDocument::OnAppIdle(wxIdleEvent& event) {
    event.Skip();
    if (core_) core_->CheckJournal();
}

void CVexoDocument::SetCore(std::unique_ptr<CVexoDoc> core) {
    if (core_) core_->RemoveObserver(this);
    core_ = std::move(core);
    if (core_) core_->AddObserver(this);
}

const std::string& CVexoDocument::TitleSuffix() const {
    shownSuffix_ = titleSuffix_;
    if (layerInTitle_ && core_ && IsValidLayer(core_->currentLayer)) {
        if (!shownSuffix_.empty()) shownSuffix_ += " ";
        shownSuffix_ += "레이어 " + std::to_string(core_->currentLayer);
    }
    return shownSuffix_;
}

void CVexoDocument::ShowLayerInTitle(bool show) {
    layerInTitle_ = show;
    if (CVexoView* v = View()) v->UpdateTitle();
}

void CVexoDocument::DocumentChanged(CVexoDoc& doc, const DocChange& change) {
    if (&doc != core_.get() || change.Has(docchange::Closing)) return;
    // A change marks the document (a tool, a panel or a dialog made it).
    if (core_->modified && !coreModified_) {
        coreModified_ = true;
        wxDocument::Modify(true);
    }
    if (change.Has(docchange::kRecomposite)) core_->viewRebuild = true;
    if (!change.Has(docchange::kRecomposite | docchange::Selection | docchange::Repaint)) return;
    UpdateAllViews();
    // Asked for by a command: shown at once.
    if (change.Has(docchange::Composite | docchange::Repaint))
        if (CVexoView* v = View())
            if (v->Canvas()) v->Canvas()->Update();
}

CVexoView* CVexoDocument::View() const { return wxDynamicCast(GetFirstView(), CVexoView); }

std::string CVexoDocument::DisplayName() const {
    if (core_ && !core_->displayName.empty()) return core_->displayName;
    return S(GetUserReadableName());
}

bool CVexoDocument::OnNewDocument() {
    std::string name, suffix;
    std::unique_ptr<CVexoDoc> core = wxGetApp().TakePendingCore(this, name, suffix);
    if (!core) return false;   // nothing prepared: the command ends
    wxDocument::OnNewDocument();
    SetCore(std::move(core));
    titleSuffix_ = suffix;
    if (!name.empty()) {
        SetTitle(U(name));
        core_->displayName = name;
    }
    Modify(false);
    UpdateAllViews();
    return true;
}

bool CVexoDocument::OnOpenDocument(const wxString& file) {
    auto core = std::make_unique<CVexoDoc>(this);
    core->deferOpeningStep = wxGetApp().DeferOpeningSteps();
    wxBusyCursor busy;
    startuplog::Stage("opening");
    const bool opened = core->Open(S(file));
    startuplog::Stage("opened");
    if (const openahead::Timings t = openahead::LastTimings(); startuplog::On() && t.decodeMs >= 0) {
        if (!t.fillLater)
            std::fprintf(stderr, "start-up: decoded ahead in %.0f ms, layer filled in %.0f ms, the open waited %.0f ms\n",
                         t.decodeMs, t.fillMs, t.waitMs);
        else
            std::fprintf(stderr, "start-up: decoded ahead in %.0f ms, the open waited %.0f ms, the layer is filled later\n",
                         t.decodeMs, t.waitMs);
    }
    if (!opened) {
        // Readers that fail without a message of their own: say why here.
        if (core->lastError == "can't open file" || core->lastError == "not a readable VOR document")
            MessageBox("해당 파일을 열 수 없습니다.\n(" + core->lastError + ")");
        return false;
    }
    SetCore(std::move(core));
    if (core_->OpeningStepPending()) wxGetApp().OpeningStepLeft();
    if (core_->displayName.empty()) core_->displayName = S(wxFileName(file).GetFullName());
    SetFilename(file, true);
    SetDocumentSaved(true);
    // Initial zoom from the main window's size.
    if (CMainFrame* main = wxGetApp().MainFrame()) {
        wxSize size = main->GetClientSize();
        core_->zoom = viewmath::InitialZoom(core_->live.canvas.width, core_->live.canvas.height, size.x, size.y);
    }
    Modify(false);
    core_->viewRebuild = true;
    UpdateAllViews();
    if (CVexoView* v = View()) v->ZoomChanged();
    return true;
}

bool CVexoDocument::OnSaveDocument(const wxString& file) {
    if (!core_) return false;
    // A flat format keeps only the composite: the user is asked first.
    if (dlgmodel::SaveFlattens(*core_, S(file)) &&
        wxMessageBox(U(dlgmodel::kFlattenQuestion), "Pimlora", wxYES_NO | wxICON_QUESTION, wxGetApp().MainFrame()) !=
            wxYES)
        return false;
    wxBusyCursor busy;
    if (!core_->Save(S(file))) return false;
    core_->displayName = S(wxFileName(file).GetFullName());
    Modify(false);
    SetFilename(file, true);
    SetDocumentSaved(true);
    if (CVexoView* v = View()) v->UpdateTitle();
    return true;
}

bool CVexoDocument::IsModified() const { return wxDocument::IsModified() || coreModified_ || (core_ && core_->modified); }

void CVexoDocument::Modify(bool mod) {
    coreModified_ = mod;
    if (!mod && core_) core_->modified = false;
    wxDocument::Modify(mod);
}

int CVexoDocument::AskSave() {
    wxString text = wxString::Format(U("[%s] 파일을 저장하시겠습니까?"), U(DisplayName()));
    CMainFrame* main = wxGetApp().MainFrame();
    return wxMessageBox(text, "Pimlora", wxYES_NO | wxCANCEL | wxICON_QUESTION, main);
}

bool CVexoDocument::OnSaveModified() {
    if (!IsModified()) return true;
    switch (AskSave()) {
        case wxYES: return Save();
        case wxNO: Modify(false); return true;
        default: return false;
    }
}

bool CVexoDocument::SaveAs() {
    if (!core_) return false;
    CMainFrame* main = wxGetApp().MainFrame();
    // A picture never saved proposes its own title (the framework's file
    // name of a new document is only a placeholder).
    std::string current = GetFilename().empty() || !GetDocumentSaved() ? DisplayName() : S(GetFilename());
    std::string proposed = filetypes::WithoutExtension(S(wxFileName(U(current)).GetFullName()));
    wxString folder = main ? wxString::FromUTF8(Utf16ToUtf8(main->settings.browserFolder)) : wxString();
    if (!GetFilename().empty() && GetDocumentSaved()) folder = wxFileName(GetFilename()).GetPath();
    std::vector<filetypes::Row> savable;
    for (const auto& r : filetypes::Table())
        if (r.save) savable.push_back(r);
    // The proposed name carries the extension of the preselected type.
    const int preselected = filetypes::PreselectedSaveFilter(current) - 1;
    if (preselected >= 0 && preselected < int(savable.size()))
        proposed = dlgmodel::ProposedSaveName(proposed, savable[size_t(preselected)].name);
    wxFileDialog dlg(main, U("이미저장 [ VOR 형식 저장 : 레이어 정보를 포함함]"), folder, U(proposed),
                     filetypes::Filter(true), wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    dlg.SetFilterIndex(preselected);
    if (dlg.ShowModal() != wxID_OK) return false;
    wxString path = dlg.GetPath();
    // The chosen row back to its type; a name without an extension of a
    // savable type gets the row's extension.
    int index = dlg.GetFilterIndex();
    if (index >= 0 && index < int(savable.size()) && savable[size_t(index)].type != 8)
        path = U(dlgmodel::PathForType(S(path), savable[size_t(index)].name));
    if (wxFileName(path).GetExt().empty()) path += ".vor";
    if (!OnSaveDocument(path)) return false;
    if (wxDocManager* dm = GetDocumentManager()) dm->AddFileToHistory(path);
    return true;
}

bool CVexoDocument::RunCommand(int id) {
    if (!core_) return false;
    const commands::Command* c = commands::All().Find(id);
    if (!c || !c->run) return false;
    CMainFrame* main = wxGetApp().MainFrame();
    if (main) main->currentCommand = id;
    bool ok = false;
    try {
        // The command's changes reach the views and panels as one notice.
        ChangeBatch batch(*core_);
        ok = c->run(*core_, {});
    } catch (const std::bad_alloc&) {   // the table's own guard catches it first
        MessageBox(docmem::kOutOfMemory);
    }
    if (main) main->currentCommand = -1;
    // Only a change marks the document: choosing a tool, copying or a
    // command that did nothing leaves it as it was.
    if (core_->modified) {
        coreModified_ = true;
        wxDocument::Modify(true);
    }
    core_->viewRebuild = true;
    UpdateAllViews();
    return ok;
}

void CVexoDocument::OnCommand(wxCommandEvent& event) {
    int id = cmd::CommandFromEvent(event.GetId());
    if (id == cmd::Save) {
        Save();
        return;
    }
    if (id == cmd::SaveAs) {
        SaveAs();
        return;
    }
    // The view and the main frame serve zoom and grid themselves.
    if (const commands::Command* c = commands::All().Find(id);
        core_ && c && !IsServedByShell(id) &&
        (c->needs == commands::Needs::Nothing || (c->needs == commands::Needs::Tool && tools::IsBuilt(id)))) {
        RunCommand(id);
        return;
    }
    event.Skip();
}

void CVexoDocument::OnUpdateCommand(wxUpdateUIEvent& event) {
    int id = cmd::CommandFromEvent(event.GetId());
    if (id == cmd::Save || id == cmd::SaveAs) {
        event.Enable(core_ != nullptr);
        return;
    }
    if (const commands::Command* c = commands::All().Find(id); c && !IsServedByShell(id)) {
        // Tools and dialogs get their values from the mouse or a window of
        // the editor; until those exist their entries stay greyed.
        bool on = core_ != nullptr && c->needs == commands::Needs::Nothing;
        // The tools whose mouse work exists; their buttons show the current one.
        if (c->needs == commands::Needs::Tool) {
            on = core_ != nullptr && tools::IsBuilt(id);
            if (wxDynamicCast(event.GetEventObject(), wxToolBar)) event.Check(ToolShell::Get().Box().Current() == id);
        }
        if (id == cmd::Paste) on = on && clip::ClipboardHasBitmap();
        if (id == cmd::Undo) on = on && core_->CanUndo();
        if (id == cmd::Redo) on = on && core_->CanRedo();
        event.Enable(on);
        return;
    }
    event.Skip();
}

// --- DocHost ---------------------------------------------------------------------

void CVexoDocument::MessageBox(const std::string& text) {
    wxMessageBox(U(text), "Pimlora", wxOK, wxGetApp().MainFrame());
}

// Shown once the current command or open has finished: a message box in
// the middle of opening runs the event loop before the view has its
// picture, and the view then kept an empty frame.
void CVexoDocument::JournalFailed(const std::string&, const std::string& message) {
    CallAfter([this, message] {
        MessageBox(message);
        if (core_) UpdateViews(*core_, true);
    });
}

void CVexoDocument::StatusText(const std::string& text) {
    if (CMainFrame* m = wxGetApp().MainFrame()) m->SetStatus(U(text));
}

void CVexoDocument::StartSelectionTimer(CVexoDoc&, int ms) {
    if (CVexoView* v = View()) v->StartOutlineTimer(ms);
}

void CVexoDocument::StopSelectionTimer(CVexoDoc&) {
    if (CVexoView* v = View()) v->StopOutlineTimer();
}

int CVexoDocument::CurrentCommand() const {
    CMainFrame* m = wxGetApp().MainFrame();
    return m ? m->currentCommand : -1;
}

void CVexoDocument::SetCurrentCommand(int id) {
    if (CMainFrame* m = wxGetApp().MainFrame()) m->currentCommand = id;
}

int CVexoDocument::CurrentTool() const { return ToolShell::Get().Box().Current(); }

// The one tool switch of the editor (it keeps the main frame's fields too).
bool CVexoDocument::SwitchTool(int id) { return ToolShell::Get().Box().Switch(id); }

int CVexoDocument::NextDocSerial() { return wxGetApp().NextDocSerial(); }
int CVexoDocument::NextImageNumber() { return wxGetApp().NextImageNumber(); }

bool CVexoDocument::SetClipboardDib(const std::vector<uint8_t>& packedDib) {
    wxImage image;
    if (!clip::DibToImage(packedDib, image)) return false;
    wxClipboardLocker lock;
    if (!lock) return false;
    return wxTheClipboard->SetData(new wxBitmapDataObject(wxBitmap(image)));
}

bool CVexoDocument::GetClipboardDib(std::vector<uint8_t>& packedDib) {
    wxClipboardLocker lock;
    if (!lock || !wxTheClipboard->IsSupported(wxDF_BITMAP)) return false;
    wxBitmapDataObject data;
    if (!wxTheClipboard->GetData(data) || !data.GetBitmap().IsOk()) return false;
    return clip::ImageToDib(data.GetBitmap().ConvertToImage(), packedDib);
}

void CVexoDocument::BeginWaitCursor() {
    if (waitDepth_++ == 0) wxBeginBusyCursor();
}

void CVexoDocument::EndWaitCursor() {
    if (waitDepth_ > 0 && --waitDepth_ == 0) wxEndBusyCursor();
}

void CVexoDocument::Progress(int percent) {
    if (CMainFrame* m = wxGetApp().MainFrame()) m->SetProgress(percent);
}

CVexoDoc* CVexoDocument::AdoptNewDocument(std::unique_ptr<CVexoDoc> doc, const std::string& title) {
    CVexoDoc* raw = doc.get();
    CVexoDocument* d = wxGetApp().NewWindowForCore(std::move(doc), title, "");
    return d ? raw : nullptr;
}

std::string CVexoDocument::JournalFolder() { return wxGetApp().JournalFolder(); }

std::function<void()> CVexoDocument::WorkerWakeUp() {
    return [] { wxWakeUpIdle(); };   // safe from any thread
}

void CVexoDocument::RequestClose() {
    if (CMainFrame* m = wxGetApp().MainFrame()) m->Close();
}

// --- file types ----------------------------------------------------------------------

namespace filetypes {

const std::vector<Row>& Table() {
    static const std::vector<Row> rows = {
        {0, "jpg", "*.jpg;*.jpeg", true, true},
        {1, "bmp", "*.bmp", true, true},
        {2, "gif", "*.gif", true, true},
        {3, "tif", "*.tif;*.tiff", true, true},
        {4, "pcx", "*.pcx", true, false},
        {5, "vor", "*.vor", true, true},
        {7, "raw", "*.raw", true, false},
        {8, "모든그림형식", "*.bmp;*.gif;*.jpg;*.tif;*.pcx;*.vor;*.psd;*.raw", true, true},
    };
    return rows;
}

wxString Filter(bool forSave) {
    wxString out;
    for (const Row& r : Table()) {
        if (forSave ? !r.save : !r.open) continue;
        wxString pattern = r.pattern;
        wxString upper = pattern.Upper();
        if (!out.empty()) out += "|";
        out += U(r.name) + "|" + pattern + ";" + upper;
    }
    return out;
}

int PreselectedSaveFilter(const std::string& name) {
    std::string base = name.substr(name.find_last_of('/') == std::string::npos ? 0 : name.find_last_of('/') + 1);
    size_t dot = base.find_last_of('.');
    std::string ext = dot == std::string::npos ? "" : base.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    int n = 0;
    for (const Row& r : Table()) {
        if (!r.save) continue;
        ++n;
        if (ext == r.name) return n;
    }
    return 1;
}

std::string WithoutExtension(const std::string& name) {
    size_t slash = name.find_last_of('/');
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name;
    return name.substr(0, dot);
}

}  // namespace filetypes

// --- clipboard ------------------------------------------------------------------------

namespace clip {

bool ImageToDib(const wxImage& image, std::vector<uint8_t>& dib) {
    if (!image.IsOk()) return false;
    int w = image.GetWidth(), h = image.GetHeight();
    int stride = (w * 3 + 3) & ~3;
    BitmapInfoHeader hdr{};
    hdr.size = sizeof(BitmapInfoHeader);
    hdr.width = w;
    hdr.height = h;
    hdr.planes = 1;
    hdr.bitCount = 24;
    hdr.compression = 0;
    hdr.sizeImage = uint32_t(stride) * uint32_t(h);
    hdr.xPelsPerMeter = 2835;
    hdr.yPelsPerMeter = 2835;
    dib.assign(sizeof hdr + size_t(stride) * size_t(h), 0);
    std::memcpy(dib.data(), &hdr, sizeof hdr);
    const unsigned char* rgb = image.GetData();
    for (int y = 0; y < h; ++y) {
        uint8_t* d = dib.data() + sizeof hdr + size_t(h - 1 - y) * size_t(stride);
        const unsigned char* s = rgb + size_t(y) * size_t(w) * 3;
        for (int x = 0; x < w; ++x, d += 3, s += 3) {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
        }
    }
    return true;
}

bool DibToImage(const std::vector<uint8_t>& dib, wxImage& image) {
    VaZavi v;
    BitmapInfoHeader hdr{};
    int32_t ppm = 0;
    if (!v.CreateFromHandle(dib.data(), dib.size(), &hdr, &ppm, false) || !v.IsValid()) return false;
    int w = v.Width(), h = v.Height();
    if (w <= 0 || h <= 0) return false;
    image.Create(w, h, false);
    unsigned char* rgb = image.GetData();
    for (int y = 0; y < h; ++y) {
        unsigned char* d = rgb + size_t(y) * size_t(w) * 3;
        for (int x = 0; x < w; ++x, d += 3) {
            uint32_t c = v.GetPixelColor(x, h - 1 - y);   // stored rows run bottom-up
            d[0] = uint8_t(c >> 16);
            d[1] = uint8_t(c >> 8);
            d[2] = uint8_t(c);
        }
    }
    return true;
}

bool ClipboardHasBitmap() {
    if (!wxTheClipboard->Open()) return false;
    bool has = wxTheClipboard->IsSupported(wxDF_BITMAP);
    wxTheClipboard->Close();
    return has;
}

}  // namespace clip

void CVexoDocument::BeginTransparentPick(CVexoDoc&) {
    if (CVexoView* v = View()) v->BeginTransparentPick();
}

// The dialogs' side (dialog_commands.cpp).
bool AskTextDialog(textlayer::TextDialogValues& values, bool edit);
bool ColourRangePress(CVexoDoc& doc, uint32_t colour);

bool CVexoDocument::AskText(CVexoDoc&, textlayer::TextDialogValues& values, bool edit) {
    return AskTextDialog(values, edit);
}

void CVexoDocument::ColourRangePicked(CVexoDoc& doc, uint32_t colour) {
    if (!ColourRangePress(doc, colour)) DocHost::ColourRangePicked(doc, colour);
}
