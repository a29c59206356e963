// Journal files are read back by undo and redo: a damaged or hostile head
// file or layer file must be refused without a crash, a read outside a
// buffer or an unbounded allocation, and the document must stay usable.
//
// The first byte chooses the file the rest replaces: even = the head file of
// step 0 (read by undoing to step 0), odd = the layer file of step 1 (read by
// undoing from step 2 to step 1).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "CVexoDoc.h"
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
    doc.Layer(0).pixels[0] = 7;
    doc.RecordUndoStep(u"a", 0, 0);
    doc.Layer(0).pixels[0] = 9;
    doc.RecordUndoStep(u"b", 0, 0);
    if (data[0] % 2 == 0) {
        doc.Undo();   // to step 1: layer file, fine
        Replace(journal::HeadFileName(host.journalFolder, doc.docSerial), data + 1, size - 1);
        doc.Undo();   // to step 0: the hostile head file
    } else {
        Replace(journal::LayerFileName(host.journalFolder, doc.docSerial, 1, 0), data + 1, size - 1);
        doc.Undo();
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
