// Whether the journal files of a slot still hold the live layer and the
// document's selection: the bytes are compared with the snapshots the
// writer's pool still holds of those files (journal_writer.h, TakeKept).
#include <sys/uio.h>

#include <algorithm>
#include <cstring>

#include "journal_files.h"

namespace journal {

namespace {

// The bytes [off, off + n) of a kept payload equal src (null: zeros).
bool SameBytes(const std::vector<iovec>& payload, size_t off, const uint8_t* src, size_t n) {
    for (const iovec& v : payload) {
        if (!n) return true;
        if (off >= v.iov_len) {
            off -= v.iov_len;
            continue;
        }
        const size_t k = std::min(n, v.iov_len - off);
        const uint8_t* kept = static_cast<const uint8_t*>(v.iov_base) + off;
        if (src) {
            if (std::memcmp(kept, src, k) != 0) return false;
            src += k;
        } else {
            static const uint8_t zeros[4096] = {};
            for (size_t i = 0; i < k; i += sizeof zeros)
                if (std::memcmp(kept + i, zeros, std::min(sizeof zeros, k - i)) != 0) return false;
        }
        off = 0;
        n -= k;
    }
    return n == 0;
}

size_t PayloadSize(const std::vector<iovec>& payload) {
    size_t n = 0;
    for (const iovec& v : payload) n += v.iov_len;
    return n;
}

// Takes kept snapshots out of the pool and puts them back when done.
struct KeptFiles {
    Writer& writer;
    KeptFile layer, selection;
    explicit KeptFiles(Writer& w) : writer(w) {}
    ~KeptFiles() {
        writer.ReturnKept(layer);
        writer.ReturnKept(selection);
    }
};

}  // namespace

bool FilesHoldLayerNow(CVexoDoc& d, int pos, int slot) {
    LayerSource src;
    if (!ResolveSource(d, pos, slot, src) || src.pos < 0) return false;
    DocJournal& J = JournalOf(d);
    if (J.folder.empty() || !d.InStack(slot)) return false;
    // The sizes of a layer file written now.
    const LayerRecord& l = d.Layer(slot);
    const size_t pix = l.IsTextKind() ? 0 : size_t(std::max(0, l.pixelSize));
    const size_t plane = size_t(std::max(0, l.planeSize)), text = size_t(TextUnits(l) * 2);
    KeptFiles kept(J.writer);
    if (!J.writer.TakeKept(LayerFileName(J.folder, d.docSerial, src.pos, slot), src.number, kept.layer)) return false;
    const StepFileHeader& h = kept.layer.header;
    if (h.docSerial != d.docSerial || h.slot != slot || h.content != ContentLayer || h.width != l.width ||
        h.height != l.height || h.pixelBytes != int64_t(pix) || h.planeBytes != int64_t(plane) ||
        h.textBytes != int64_t(text) || PayloadSize(kept.layer.payload) != size_t(PayloadBytes(h)))
        return false;
    // The selection comes from the newer selection file when there is one.
    const StepFileHeader* selHeader = &h;
    const std::vector<iovec>* selPayload = &kept.layer.payload;
    size_t maskOffset = size_t(h.pixelBytes + 2 * h.planeBytes);
    int selPos = src.pos;
    if (src.maskPos >= 0) {
        if (!J.writer.TakeKept(SelectionFileName(J.folder, d.docSerial, src.maskPos, slot), src.maskNumber,
                               kept.selection))
            return false;
        const StepFileHeader& m = kept.selection.header;
        if (m.docSerial != d.docSerial || m.slot != slot || m.content != ContentSelection || m.pixelBytes ||
            m.planeBytes || m.textBytes || PayloadSize(kept.selection.payload) != size_t(PayloadBytes(m)))
            return false;
        selHeader = &m;
        selPayload = &kept.selection.payload;
        maskOffset = 0;
        selPos = src.maskPos;
    }
    const SelectionPart sel = CurrentSelection(d);
    if (selHeader->selWidth != sel.width || selHeader->selHeight != sel.height || selHeader->selX != sel.x ||
        selHeader->selY != sel.y || selHeader->maskBytes != int64_t(sel.bytes))
        return false;
    // Without a mask the selection's size is taken from the step record of
    // the file's position: it must be the one of `pos`.
    if (!sel.bytes && d.steps[size_t(selPos)].selectionSize != d.steps[size_t(pos)].selectionSize) return false;
    if (!SameBytes(*selPayload, maskOffset, sel.mask, sel.bytes)) return false;
    // Pixels, planes and text, as a file written now would hold them.
    const size_t textOffset = pix + 2 * plane + size_t(h.maskBytes);
    return SameBytes(kept.layer.payload, 0, l.pixels.get(), pix) &&
           SameBytes(kept.layer.payload, pix, l.alpha.get(), plane) &&
           SameBytes(kept.layer.payload, pix + plane, l.effectPlane.get(), plane) &&
           SameBytes(kept.layer.payload, textOffset, reinterpret_cast<const uint8_t*>(l.text.get()), text);
}

}  // namespace journal
