#include "CVexoDoc.h"

#include <cstdio>

#include "journal_writer.h"
#include "memory_budget.h"
#include "program_paths.h"
#include "undo_journal.h"

CVexoDoc::CVexoDoc(DocHost* host) : image(kTypeBMP), host_(host) { docmem::Register(this); }

CVexoDoc::~CVexoDoc() {
    DropPending();   // a layer still being filled reads the image
    docmem::Unregister(this);
    SayClosing();
    // A closed document leaves no journal files behind.
    if (host_ && undoPos >= 0) DiscardJournalFiles();
}

void CVexoDoc::SetCanvasSize(int width, int height) {
    CanvasInfo& c = live.canvas;
    c.width = width;
    c.height = height;
    c.canvasPixelSize = int32_t(LayerStride(width, c.bitsPerPixel > 0 ? c.bitsPerPixel : 24) * height);
    c.canvasPlaneSize = width * height;
}

// --- headless host ----------------------------------------------------------

HeadlessHost::HeadlessHost() = default;
HeadlessHost::~HeadlessHost() {
    // Documents reach back into the host while they close.
    newDocuments.clear();
}

void HeadlessHost::MessageBox(const std::string& text) {
    messages.push_back(text);
    if (echoMessages) std::fprintf(stderr, "%s\n", text.c_str());
}

void HeadlessHost::JournalFailed(const std::string& file, const std::string& message) {
    journalFailures.emplace_back(file, message);
}

CVexoDoc* HeadlessHost::AdoptNewDocument(std::unique_ptr<CVexoDoc> doc, const std::string& title) {
    newDocuments.push_back(std::move(doc));
    newDocumentTitles.push_back(title);
    return newDocuments.back().get();
}

std::string HeadlessHost::JournalFolder() {
    if (journalFolder.empty()) {
        static paths::JournalLock lock;   // one folder for this process
        journalFolder = lock.Folder();
    }
    return journalFolder;
}
