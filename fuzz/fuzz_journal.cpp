// Journal files are read back by undo and redo: a damaged or hostile head
// file, layer file or selection file must be refused without a crash, a
// read outside a buffer or an unbounded allocation, and the document must
// stay usable.
//
// The first byte chooses what the rest becomes:
//   0  the head file of step 0, written through the journal's writer (so it
//      passes the writer's size and CRC check and reaches the parser), read
//      by undoing to step 0;
//   1  the raw layer file of step 1 (header checks), read by undoing from
//      step 2;
//   2  the layer file of step 1 with a header whose fields come from the
//      input and whose CRCs are right (the size checks behind the CRC);
//   3  likewise the selection file of a settings step, read by undoing into
//      that step.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "CVexoDoc.h"
#include "commands.h"
#include "journal_io.h"
#include "journal_writer.h"
#include "undo_journal.h"

namespace {
std::string Folder() {
    static const std::string folder = [] {
        std::string f = std::filesystem::temp_directory_path().string() + "/pimlora-fuzz-journal-" +
                        std::to_string(getpid()) + "/";
        std::filesystem::create_directories(f);
        return f;
    }();
    return folder;
}

void Replace(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

// A file written by the writer: with a header (its fields from the input,
// CRCs made by the writer) or raw.
void WriteThroughJournal(CVexoDoc& doc, const std::string& path, const uint8_t* data, size_t size, bool header) {
    journal::FileOp op;
    op.path = path;
    if (header) {
        op.withHeader = true;
        const size_t n = std::min(size, sizeof op.header);
        std::memcpy(&op.header, data, n);
        std::memcpy(op.header.magic, journal::kStepFileMagic, sizeof op.header.magic);
        data += n;
        size -= n;
    }
    if (size) op.parts.push_back(iovec{const_cast<uint8_t*>(data), size});
    doc.journal->writer.Submit(std::move(op));
    doc.FlushJournal();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    HeadlessHost host;
    host.echoMessages = false;
    host.journalFolder = Folder();
    CVexoDoc doc(&host);
    if (!doc.NewImage(5, 3)) std::abort();
    doc.InsertLayer(-1, doc.currentLayer);   // two layers in the head file
    doc.currentLayer = doc.headLayer;
    doc.docSerial = 1;
    doc.RecordUndoStep(u"initial state", 0, -1);
    doc.journal->writer.SetSynchronous(true);
    doc.Layer(0).pixels[0] = 7;
    doc.RecordUndoStep(u"a", 0, 0);
    doc.Layer(0).pixels[0] = 9;
    doc.RecordUndoStep(u"b", 0, 0);
    const uint8_t* rest = data + 1;
    const size_t n = size - 1;
    switch (data[0] % 4) {
    case 0:
        doc.Undo();   // to step 1: layer file, fine
        WriteThroughJournal(doc, journal::HeadFileName(host.journalFolder, doc.docSerial), rest, n, false);
        doc.Undo();   // to step 0: the hostile head file
        break;
    case 1:
        Replace(journal::LayerFileName(host.journalFolder, doc.docSerial, 1, 0), rest, n);
        doc.Undo();
        break;
    case 2:
        WriteThroughJournal(doc, journal::LayerFileName(host.journalFolder, doc.docSerial, 1, 0), rest, n, true);
        doc.Undo();
        break;
    default: {
        doc.SelectShape(1, {{0, 0}, {2, 1}}, 0);
        commands::All().Find(1483)->run(doc, {});   // a settings step: its selection file
        doc.ClearSelection();
        doc.Layer(0).pixels[0] = 11;
        doc.RecordUndoStep(u"c", 0, 0);
        WriteThroughJournal(doc, journal::SelectionFileName(host.journalFolder, doc.docSerial, 3, 0), rest, n, true);
        doc.Undo();
        break;
    }
    }
    // Whatever happened, the document works on.
    doc.Redo();
    if (!IsValidLayer(doc.currentLayer) || doc.LayerCount() < 1) std::abort();
    doc.Layer(doc.currentLayer).pixels[0] ^= 1;
    doc.RecordUndoStep(u"c", 0, -1);
    doc.Undo();
    doc.DiscardJournalFiles();
    return 0;
}
