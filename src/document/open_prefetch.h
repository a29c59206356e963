// The picture named on the editor's command line, decoded on a helper thread
// while the program starts (before the toolkit, the main window and the
// configuration), so that the document's open finds it decoded.
//
// Only the decode is done ahead: the open stays the one place that builds a
// document. It takes the picture only when it is of the same file, unchanged
// since it was decoded (device, inode, size and modification time before and
// after the decode), and when it decoded without fault; otherwise it reads
// the file itself as it always does, so that every failure is reported by
// the open exactly as without a decode ahead.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class PendingFill;
class VaZavi;
struct PreparedLayer;

namespace openahead {

// The open's picture kind for `path` (its extension: 0 JPEG, 1 BMP, 2 GIF,
// 3 TIFF, 4 PCX), or -1 when the open does not decode it as a picture
// (documents, raw, media, unknown). Defined beside the open.
int PictureKind(const std::string& path);

// Starts decoding `path` on a helper thread when it names a picture the open
// decodes; pictures whose document would need more than `budgetBytes` are
// refused from their header (the open then reads the file itself). Replaces
// a decode started earlier.
void Start(const std::string& path, int64_t budgetBytes);

// Waits for the decode of `path` of the open's kind `kind` and moves the
// picture into `out`, and into `layer` (when given) the picture's layer
// buffers, filled on the helper thread after the decode (left empty when
// memory ran short there). False, with nothing taken, when no decode was
// started for that file, it failed, the kind differs, the file changed, or
// the picture gate in force on the calling thread refuses any picture the
// decode allocated. The picture is handed out once.
// With `pending` given, the layer of a 24-bit picture whose fill has begun is
// not waited for: `*pending` gets the fill, to be finished later (after the
// editor's first paint), and `layer` stays empty. The picture's block must
// stay where it is until then (CVexoDoc keeps it as its document image).
bool Take(const std::string& path, int kind, VaZavi& out, PreparedLayer* layer = nullptr,
          std::unique_ptr<PendingFill>* pending = nullptr);

// Waits for a running decode and drops its picture (the program ends, or
// another editor took the files).
void Drop();

// True while a decode is started and its picture not yet taken or dropped.
bool Pending();

// Of the last picture taken: the helper's decode, the layer's fill (from its
// start until the helper and the thread that finished it were done with it)
// and how long the open waited in Take, in ms (-1: not measured; the fill of
// a pending layer until it is finished). For the start-up log.
struct Timings {
    double decodeMs = -1, fillMs = -1, waitMs = -1;
    bool fillLater = false;   // handed out pending
};
Timings LastTimings();

}  // namespace openahead
