// Journal files: what goes into them (a snapshot of the document's buffers,
// copied on the document's thread and written by the writer) and how they
// are read back (checked against the step records, the header and the CRC,
// into staged buffers; the document changes only when all is read).
#include "journal_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "program_paths.h"

namespace journal {

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    void Open(const std::string& path) {
        if (fd_ >= 0) close(fd_);
        fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }

private:
    int fd_;
};

bool IsTextKind(uint8_t kind) { return kind == LayerText || kind == LayerBalloon; }

// Bytes of a regular file, or -1.
int64_t RegularFileSize(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return int64_t(st.st_size);
}

template <class T>
std::unique_ptr<T[]> Allocate(int64_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[size_t(std::max<int64_t>(count, 1))]);
}

// The payload of a file to be: pieces in file order; a piece without bytes
// to copy from stands for zeros.
struct Pieces {
    std::vector<iovec> parts;
    size_t total = 0;
    void Add(const void* p, size_t n) {
        if (!n) return;
        parts.push_back(iovec{const_cast<void*>(p), n});
        total += n;
    }
};

// Copies the pieces into dst; returns where each piece landed.
std::vector<iovec> CopyInto(uint8_t* dst, const Pieces& in) {
    std::vector<iovec> out;
    out.reserve(in.parts.size());
    for (const iovec& v : in.parts) {
        if (v.iov_base) std::memcpy(dst, v.iov_base, v.iov_len);
        else std::memset(dst, 0, v.iov_len);
        out.push_back(iovec{dst, v.iov_len});
        dst += v.iov_len;
    }
    return out;
}

// Points the zero pieces at a block of zeros (for writes straight from the
// document's buffers).
void FillZeros(std::vector<iovec>& parts, std::vector<uint8_t>& zeros) {
    size_t need = 0;
    for (const iovec& v : parts)
        if (!v.iov_base) need = std::max(need, v.iov_len);
    if (!need) return;
    zeros.assign(need, 0);
    for (iovec& v : parts)
        if (!v.iov_base) v.iov_base = zeros.data();
}

// Hands one file to the writer: copied into a snapshot when memory allows,
// else written at once from the document's buffers (the step is never
// lost for want of a snapshot).
void SubmitFile(DocJournal& J, FileOp op, const Pieces& pieces) {
    try {
        op.buffer = J.writer.Take(pieces.total);
        op.parts = CopyInto(op.buffer.data.get(), pieces);
        J.writer.Submit(std::move(op));
        return;
    } catch (const std::bad_alloc&) {
    }
    op.buffer = Buffer();
    op.parts = pieces.parts;
    std::vector<uint8_t> zeros;
    try {
        FillZeros(op.parts, zeros);
    } catch (const std::bad_alloc&) {
        J.writer.RecordFailure(op.path, ENOMEM);
        return;
    }
    std::vector<FileOp> ops;
    ops.push_back(std::move(op));
    J.writer.RunHere(std::move(ops));
}

// A journal without a folder writes nothing: every file is a failure.
bool FolderUsable(DocJournal& J, const std::string& name) {
    if (!J.folder.empty()) return true;
    // The cause, as far as the journal root tells it.
    const std::string root = paths::JournalRoot();
    struct stat st;
    int err = EACCES;
    if (stat(root.c_str(), &st) != 0) err = errno;
    else if (!S_ISDIR(st.st_mode)) err = ENOTDIR;
    else if (access(root.c_str(), W_OK) != 0) err = errno;
    J.writer.RecordFailure(root + "/" + name, err);
    return false;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

SelectionPart CurrentSelection(const CVexoDoc& d) {
    const SelectionMask& sel = d.live.selection;
    SelectionPart s;
    s.x = sel.x;
    s.y = sel.y;
    if (sel.width > 0 && sel.height > 0 && sel.mask.size() >= size_t(sel.width) * size_t(sel.height)) {
        s.width = sel.width;
        s.height = sel.height;
        s.bytes = size_t(sel.width) * size_t(sel.height);
        s.mask = sel.mask.data();
    }
    return s;
}

namespace {

// Header and pieces of a layer (or selection) file of the live layer.
void LayerFilePieces(const CVexoDoc& d, int slot, int number, bool selectionOnly, StepFileHeader& h, Pieces& p) {
    const LayerRecord& l = d.Layer(slot);
    const SelectionPart sel = CurrentSelection(d);
    h = MakeHeader(d.docSerial, number, slot, selectionOnly ? ContentSelection : ContentLayer, l.width, l.height);
    h.selWidth = sel.width;
    h.selHeight = sel.height;
    h.selX = sel.x;
    h.selY = sel.y;
    h.maskBytes = int64_t(sel.bytes);
    if (!selectionOnly) {
        const size_t pix = size_t(std::max(0, l.pixelSize)), plane = size_t(std::max(0, l.planeSize));
        const size_t units = size_t(TextUnits(l));
        h.pixelBytes = l.IsTextKind() ? 0 : int64_t(pix);
        h.planeBytes = int64_t(plane);
        h.textBytes = int64_t(units * 2);
        p.Add(l.pixels.get(), size_t(h.pixelBytes));
        p.Add(l.alpha.get(), plane);
        p.Add(l.effectPlane.get(), plane);
        p.Add(sel.mask, sel.bytes);
        p.Add(l.text.get(), units * 2);
    } else {
        p.Add(sel.mask, sel.bytes);
    }
}

// Pieces of a head file: CanvasInfo (scratch addresses 0), the palette,
// then for every layer from the bottom "%ld %d %d" (848, pixelSize,
// planeSize), the record, pixels, alpha plane, effect plane and the text
// of text layers. `lines` and `canvas` hold bytes the pieces point at.
struct HeadPieces {
    CanvasInfo canvas{};
    std::vector<RgbQuad> palette;
    std::vector<std::string> lines;
    Pieces pieces;
    // Piece indices of one layer's pixels, alpha, effect plane and text
    // (-1: none), for the step-0 layer file taken from the same snapshot.
    int pix = -1, alpha = -1, effect = -1, text = -1;
};

void BuildHeadPieces(const CVexoDoc& d, int slot, HeadPieces& h) {
    h.canvas = d.live.canvas;
    h.canvas.scratchAddr1 = h.canvas.scratchAddr2 = 0;
    h.palette.assign(size_t(std::clamp(h.canvas.paletteColors, 0, 256)), RgbQuad{0, 0, 0, 0});
    std::copy_n(d.live.palette.begin(), std::min(h.palette.size(), d.live.palette.size()), h.palette.begin());
    const std::vector<int> order = d.StackOrder();
    h.lines.resize(order.size());
    h.pieces.Add(&h.canvas, sizeof h.canvas);
    h.pieces.Add(h.palette.data(), h.palette.size() * sizeof(RgbQuad));
    for (size_t k = 0; k < order.size(); ++k) {
        const LayerRecord& l = d.Layer(order[k]);
        char line[64];
        std::snprintf(line, sizeof line, "%ld %d %d", long(kLayerRecordStoredSize), l.pixelSize, l.planeSize);
        h.lines[k] = line;
        h.pieces.Add(h.lines[k].data(), h.lines[k].size());
        h.pieces.Add(static_cast<const LayerRecordData*>(&l), kLayerRecordStoredSize);
        const size_t pix = size_t(std::max(0, l.pixelSize)), plane = size_t(std::max(0, l.planeSize));
        const size_t units = size_t(TextUnits(l));
        auto add = [&](const void* p, size_t n) {
            if (!n) return -1;
            h.pieces.Add(p, n);
            return int(h.pieces.parts.size()) - 1;
        };
        const bool mine = order[k] == slot;
        int i = add(l.pixels.get(), pix);
        if (mine) h.pix = i;
        i = add(l.alpha.get(), plane);
        if (mine) h.alpha = i;
        i = add(l.effectPlane.get(), plane);
        if (mine) h.effect = i;
        i = add(l.text.get(), units * 2);
        if (mine) h.text = i;
    }
}

// --- reading ---------------------------------------------------------------------

// Opens a step file and checks its header against what is expected; the
// header is returned for the sizes.
bool OpenStepFile(DocJournal& J, const std::string& path, int docSerial, int number, int slot, int32_t content,
                  Fd& fd, StepFileHeader& h) {
    J.writer.Wait(path);
    fd.Open(path);
    if (!fd.ok()) return false;
    const int64_t size = RegularFileSize(fd.get());
    if (size < int64_t(sizeof h) || !ReadAt(fd.get(), 0, &h, sizeof h) || !HeaderIntact(h)) return false;
    if (h.docSerial != docSerial || h.step != number || h.slot != slot || h.content != content) return false;
    const int64_t payload = PayloadBytes(h);
    if (payload < 0 || size != int64_t(sizeof h) + payload) return false;
    if (h.selWidth < 0 || h.selHeight < 0) return false;
    const int64_t mask = int64_t(h.selWidth) * h.selHeight;
    return mask <= kMaxImagePixels && h.maskBytes == mask;
}

bool ReadSelection(const StepFileHeader& h, StagedSelection& sel, std::vector<iovec>& parts) {
    try {
        sel.mask.resize(size_t(h.maskBytes));
    } catch (const std::bad_alloc&) {
        return false;
    }
    sel.present = true;
    sel.width = h.selWidth;
    sel.height = h.selHeight;
    sel.size = int32_t(h.maskBytes);
    sel.x = h.selX;
    sel.y = h.selY;
    if (h.maskBytes) parts.push_back(iovec{sel.mask.data(), size_t(h.maskBytes)});
    return true;
}

// A layer file of `pos` into `out`, shaped by out.rec.
bool LoadLayerFile(CVexoDoc& d, int pos, int slot, int number, StagedLayer& out) {
    DocJournal& J = JournalOf(d);
    const std::string path = LayerFileName(J.folder, d.docSerial, pos, slot);
    Fd fd(-1);
    StepFileHeader h;
    if (!OpenStepFile(J, path, d.docSerial, number, slot, ContentLayer, fd, h)) return false;
    const LayerRecordData& rec = out.rec;
    const bool text = IsTextKind(rec.kind);
    if (h.width != rec.width || h.height != rec.height || h.planeBytes != rec.planeSize ||
        h.pixelBytes != (text ? 0 : int64_t(rec.pixelSize)) || h.textBytes != 2 * TextUnits(rec))
        return false;
    out.pixels = Allocate<uint8_t>(rec.pixelSize);
    out.alpha = Allocate<uint8_t>(rec.planeSize);
    out.effect = Allocate<uint8_t>(rec.planeSize);
    const int64_t units = TextUnits(rec);
    if (text) out.text = Allocate<char16_t>(std::clamp<int64_t>(rec.textLength, 0, kMaxTextUnits) + 1);
    if (!out.pixels || !out.alpha || !out.effect || (text && !out.text)) return false;
    std::vector<iovec> parts;
    if (!text && h.pixelBytes) parts.push_back(iovec{out.pixels.get(), size_t(h.pixelBytes)});
    if (h.planeBytes) {
        parts.push_back(iovec{out.alpha.get(), size_t(h.planeBytes)});
        parts.push_back(iovec{out.effect.get(), size_t(h.planeBytes)});
    }
    if (!ReadSelection(h, out.selection, parts)) return false;
    if (units) parts.push_back(iovec{out.text.get(), size_t(units) * 2});
    uint32_t crc = 0;
    if (!ReadChecked(fd.get(), int64_t(sizeof h), parts, crc) || crc != h.payloadCrc) return false;
    // Text and balloon layers keep no pixels: full coverage until their
    // text is drawn again.
    if (text) {
        std::memset(out.pixels.get(), 255, size_t(std::max(0, rec.pixelSize)));
        std::fill(out.text.get() + units, out.text.get() + std::clamp<int64_t>(rec.textLength, 0, kMaxTextUnits) + 1,
                  u'\0');
    }
    return true;
}

bool LoadSelectionFile(CVexoDoc& d, int pos, int slot, int number, StagedSelection& sel) {
    DocJournal& J = JournalOf(d);
    const std::string path = SelectionFileName(J.folder, d.docSerial, pos, slot);
    Fd fd(-1);
    StepFileHeader h;
    if (!OpenStepFile(J, path, d.docSerial, number, slot, ContentSelection, fd, h)) return false;
    if (h.pixelBytes || h.planeBytes || h.textBytes) return false;
    std::vector<iovec> parts;
    StagedSelection staged;
    if (!ReadSelection(h, staged, parts)) return false;
    uint32_t crc = 0;
    if (!ReadChecked(fd.get(), int64_t(sizeof h), parts, crc) || crc != h.payloadCrc) return false;
    sel = std::move(staged);
    return true;
}

// --- head files ---------------------------------------------------------------------------

struct HeadSection {
    int slot = kNoLayer;
    LayerRecordData rec{};
    int64_t dataOffset = 0;   // pixels, alpha, effect, text follow here
};

struct HeadPlan {
    CanvasInfo canvas{};
    std::vector<RgbQuad> palette;
    std::vector<HeadSection> sections;
};

// Reads a decimal number of at most 10 digits at p; false without digits.
bool ParseNumber(const char*& p, const char* end, int64_t& value) {
    const char* start = p;
    value = 0;
    while (p < end && *p >= '0' && *p <= '9' && p - start < 10) value = value * 10 + (*p++ - '0');
    return p > start && !(p < end && *p >= '0' && *p <= '9');
}

// Checks every size of a head file against the file and the image cap, the
// slot links against cycles and the slot range. Nothing is allocated beyond
// the plan itself.
bool ParseHeadFile(int fd, int64_t fileSize, int firstSlot, HeadPlan& plan) {
    if (!IsValidLayer(firstSlot) || fileSize < int64_t(sizeof(CanvasInfo))) return false;
    if (!ReadAt(fd, 0, &plan.canvas, sizeof plan.canvas)) return false;
    CanvasInfo& c = plan.canvas;
    c.scratchAddr1 = c.scratchAddr2 = 0;
    if (c.width < 1 || c.height < 1 || int64_t(c.width) * c.height > kMaxImagePixels) return false;
    if (c.paletteColors < 0 || c.paletteColors > 256) return false;
    if (c.bitsPerPixel != 8 && c.bitsPerPixel != 24) return false;
    int64_t off = sizeof(CanvasInfo);
    const int64_t palBytes = int64_t(c.paletteColors) * 4;
    if (palBytes > fileSize - off) return false;
    plan.palette.resize(size_t(c.paletteColors));
    if (palBytes && !ReadAt(fd, off, plan.palette.data(), size_t(palBytes))) return false;
    off += palBytes;
    bool seen[kMaxLayers] = {};
    for (int slot = firstSlot; slot != kNoLayer;) {
        if (!IsValidLayer(slot) || seen[slot]) return false;
        seen[slot] = true;
        char text[40] = {};
        const size_t want = size_t(std::min<int64_t>(sizeof text, fileSize - off));
        if (!ReadAt(fd, off, text, want)) return false;
        const char* p = text;
        const char* end = text + want;
        int64_t recLen = 0, pix = 0, plane = 0;
        if (!ParseNumber(p, end, recLen) || p >= end || *p++ != ' ') return false;
        if (!ParseNumber(p, end, pix) || p >= end || *p++ != ' ') return false;
        if (!ParseNumber(p, end, plane)) return false;
        if (recLen != kLayerRecordStoredSize) return false;
        off += p - text;
        HeadSection sec;
        sec.slot = slot;
        if (fileSize - off < kLayerRecordStoredSize || !ReadAt(fd, off, &sec.rec, kLayerRecordStoredSize)) return false;
        off += kLayerRecordStoredSize;
        if (!RecordSizesSane(sec.rec) || sec.rec.pixelSize != pix || sec.rec.planeSize != plane) return false;
        const int64_t bytes = pix + 2 * plane + 2 * TextUnits(sec.rec);
        if (bytes > fileSize - off) return false;
        sec.dataOffset = off;
        off += bytes;
        plan.sections.push_back(sec);
        slot = sec.rec.next;
    }
    return off == fileSize;
}

// Opens a head file that the writer wrote, checks it against its seal and
// parses it.
bool OpenHeadFile(CVexoDoc& d, const std::string& path, int firstSlot, Fd& fd, HeadPlan& plan) {
    DocJournal& J = JournalOf(d);
    J.writer.Wait(path);
    FileSeal seal;
    if (!J.writer.SealOf(path, seal)) return false;
    fd.Open(path);
    if (!fd.ok()) return false;
    const int64_t size = RegularFileSize(fd.get());
    uint32_t crc = 0;
    if (size != seal.size || !CrcOfFile(fd.get(), 0, size, crc) || crc != seal.crc) return false;
    return ParseHeadFile(fd.get(), size, firstSlot, plan);
}

bool LoadHeadSection(int fd, const HeadSection& sec, StagedLayer& out) {
    const LayerRecordData& rec = out.rec;
    out.slot = sec.slot;
    out.pixels = Allocate<uint8_t>(rec.pixelSize);
    out.alpha = Allocate<uint8_t>(rec.planeSize);
    out.effect = Allocate<uint8_t>(rec.planeSize);
    const bool text = IsTextKind(rec.kind);
    const int64_t units = TextUnits(rec);
    if (text) out.text = Allocate<char16_t>(std::clamp<int64_t>(rec.textLength, 0, kMaxTextUnits) + 1);
    if (!out.pixels || !out.alpha || !out.effect || (text && !out.text)) return false;
    const size_t pix = size_t(rec.pixelSize), plane = size_t(rec.planeSize);
    int64_t off = sec.dataOffset;
    if (!ReadAt(fd, off, out.pixels.get(), pix)) return false;
    off += int64_t(pix);
    if (!ReadAt(fd, off, out.alpha.get(), plane)) return false;
    off += int64_t(plane);
    if (!ReadAt(fd, off, out.effect.get(), plane)) return false;
    off += int64_t(plane);
    if (units && !ReadAt(fd, off, out.text.get(), size_t(units) * 2)) return false;
    if (text)
        std::fill(out.text.get() + units, out.text.get() + std::clamp<int64_t>(rec.textLength, 0, kMaxTextUnits) + 1,
                  u'\0');
    return true;
}

bool SameSizes(const LayerRecordData& a, const LayerRecordData& b) {
    return a.width == b.width && a.height == b.height && a.pixelSize == b.pixelSize && a.planeSize == b.planeSize &&
           a.kind == b.kind && TextUnits(a) == TextUnits(b);
}

}  // namespace

// --- shared ---------------------------------------------------------------------------------

DocJournal& JournalOf(CVexoDoc& d) {
    if (!d.journal) {
        d.journal = std::make_unique<DocJournal>(d.Host().WorkerWakeUp());
        d.journal->folder = d.Host().JournalFolder();
    }
    return *d.journal;
}

int64_t TextUnits(const LayerRecordData& rec) {
    return IsTextKind(rec.kind) && rec.textLength > 0 ? std::min<int64_t>(rec.textLength, kMaxTextUnits) : 0;
}

bool RecordSizesSane(const LayerRecordData& r) {
    if (r.width < 1 || r.height < 1) return false;
    const int64_t plane = int64_t(r.width) * r.height;
    if (plane > kMaxImagePixels || r.planeSize != plane) return false;
    if (r.textLength < 0 || r.textLength > kMaxTextUnits) return false;
    if (r.kind == LayerText || r.kind == LayerBalloon) return r.stride == r.width && r.pixelSize == r.planeSize;
    if (int64_t(r.stride) < (int64_t(r.width) + 7) / 8 || int64_t(r.stride) > 4 * int64_t(r.width) + 4) return false;
    const int64_t pix = int64_t(r.stride) * r.height;
    return pix <= kMaxImageBytes && r.pixelSize == pix;
}

// --- layer sources -----------------------------------------------------------------------------

bool ResolveSource(const CVexoDoc& d, int pos, int slot, LayerSource& src) {
    if (!IsValidLayer(slot) || pos < 0 || size_t(pos) >= d.steps.size()) return false;
    src = LayerSource();
    src.slot = slot;
    src.rec = d.steps[size_t(pos)].slots[slot];
    int maskNumber = -1, maskPos = -1;
    for (int j = pos; j >= 0; --j) {
        const UndoStep& st = d.steps[size_t(j)];
        if (st.selectionFile[slot] > maskNumber) {
            maskNumber = st.selectionFile[slot];
            maskPos = j;
        }
        if (st.layerFile[slot] >= 0) {
            src.pos = j;
            src.number = st.layerFile[slot];
            break;
        }
    }
    // A selection file newer than the layer file gives the selection.
    if (maskNumber > src.number) {
        src.maskPos = maskPos;
        src.maskNumber = maskNumber;
    }
    if (src.pos >= 0) return true;
    // No layer file: the state of step 0 from the head file, when the slot
    // was in the stack then.
    const UndoStep& s0 = d.steps[0];
    bool seen[kMaxLayers] = {};
    for (int i = s0.headLayer; IsValidLayer(i) && !seen[i]; i = s0.next[i]) {
        if (i == slot) return true;
        seen[i] = true;
    }
    return false;
}

bool LoadSource(CVexoDoc& d, const LayerSource& src, StagedLayer& out) {
    out = StagedLayer();
    out.slot = src.slot;
    out.rec = src.rec;
    if (!RecordSizesSane(src.rec)) return false;
    if (src.pos >= 0) {
        if (!LoadLayerFile(d, src.pos, src.slot, src.number, out)) return false;
        if (!out.selection.present) return false;
        if (!out.selection.mask.size()) out.selection.size = d.steps[size_t(src.pos)].selectionSize;
    } else {
        if (d.steps.empty()) return false;
        DocJournal& J = JournalOf(d);
        const std::string path = HeadFileName(J.folder, d.docSerial);
        Fd fd(-1);
        HeadPlan plan;
        if (!OpenHeadFile(d, path, d.steps[0].headLayer, fd, plan)) return false;
        const HeadSection* sec = nullptr;
        for (const HeadSection& s : plan.sections)
            if (s.slot == src.slot) sec = &s;
        // The slot is taken with the record of the position restored: only
        // settings may differ from the state of step 0.
        if (!sec || !SameSizes(sec->rec, src.rec) || !LoadHeadSection(fd.get(), *sec, out)) return false;
    }
    if (src.maskPos >= 0) {
        if (!LoadSelectionFile(d, src.maskPos, src.slot, src.maskNumber, out.selection)) return false;
        if (!out.selection.mask.size()) out.selection.size = d.steps[size_t(src.maskPos)].selectionSize;
    }
    return true;
}

void ApplyStaged(CVexoDoc& d, StagedLayer& s) {
    LayerRecord& l = d.Layer(s.slot);
    const int16_t prev = l.prev, next = l.next;
    const int32_t inUse = l.inUse;
    static_cast<LayerRecordData&>(l) = s.rec;
    l.prev = prev;
    l.next = next;
    l.inUse = inUse;
    l.pixels = std::move(s.pixels);
    l.alpha = std::move(s.alpha);
    l.effectPlane = std::move(s.effect);
    l.text = std::move(s.text);
    if (s.selection.present) {
        SelectionMask& sel = d.live.selection;
        sel.mask = std::move(s.selection.mask);
        sel.width = s.selection.width;
        sel.height = s.selection.height;
        sel.size = s.selection.size;
        sel.x = s.selection.x;
        sel.y = s.selection.y;
    }
}

// --- head files -------------------------------------------------------------------------------

bool LoadHeadFile(CVexoDoc& d, const std::string& path, int firstSlot, StagedHead& out) {
    Fd fd(-1);
    HeadPlan plan;
    if (!OpenHeadFile(d, path, firstSlot, fd, plan)) return false;
    StagedHead head;
    head.canvas = plan.canvas;
    head.palette = plan.palette;
    head.firstSlot = firstSlot;
    head.layers.resize(plan.sections.size());
    for (size_t k = 0; k < plan.sections.size(); ++k) {
        head.layers[k].rec = plan.sections[k].rec;
        if (!LoadHeadSection(fd.get(), plan.sections[k], head.layers[k])) return false;
    }
    out = std::move(head);
    return true;
}

void ApplyHead(CVexoDoc& d, StagedHead& head) {
    d.live.canvas = head.canvas;
    d.live.palette = head.palette;
    bool inPlan[kMaxLayers] = {};
    for (size_t k = 0; k < head.layers.size(); ++k) {
        StagedLayer& s = head.layers[k];
        inPlan[s.slot] = true;
        ApplyStaged(d, s);
        LayerRecord& l = d.Layer(s.slot);
        l.inUse = 1;
        l.prev = int16_t(k ? head.layers[k - 1].slot : kNoLayer);
        l.next = int16_t(k + 1 < head.layers.size() ? head.layers[k + 1].slot : kNoLayer);
    }
    for (int i = 0; i < kMaxLayers; ++i)
        if (!inPlan[i]) {
            d.Layer(i).inUse = 0;
            d.Layer(i).prev = d.Layer(i).next = -1;
        }
    d.headLayer = head.firstSlot;
    d.currentLayer = kNoLayer;
}

// --- snapshots --------------------------------------------------------------------------------

void QueueLayerFile(CVexoDoc& d, int pos, int slot, int number, bool selectionOnly) {
    DocJournal& J = JournalOf(d);
    FileOp op;
    op.path = selectionOnly ? SelectionFileName(J.folder, d.docSerial, pos, slot)
                            : LayerFileName(J.folder, d.docSerial, pos, slot);
    if (!FolderUsable(J, BaseName(op.path))) return;
    op.withHeader = true;
    Pieces pieces;
    LayerFilePieces(d, slot, number, selectionOnly, op.header, pieces);
    SubmitFile(J, std::move(op), pieces);
}

void QueueLayerFileFromOwnBuffers(CVexoDoc& d, int pos, int slot, int number) {
    DocJournal& J = JournalOf(d);
    LayerRecord& l = d.Layer(slot);
    if (l.IsTextKind()) {
        QueueLayerFile(d, pos, slot, number, false);
        return;
    }
    FileOp op;
    op.path = LayerFileName(J.folder, d.docSerial, pos, slot);
    if (!FolderUsable(J, BaseName(op.path))) return;
    op.withHeader = true;
    Pieces all;
    LayerFilePieces(d, slot, number, false, op.header, all);
    // The layer's pixels, alpha and effect plane are written from where
    // they are; the rest (the selection mask, text, zeros for a missing
    // plane) goes into a snapshot.
    const auto own = [&l](const iovec& v) {
        return v.iov_base && (v.iov_base == l.pixels.get() || v.iov_base == l.alpha.get() ||
                              v.iov_base == l.effectPlane.get());
    };
    Pieces copied;
    for (const iovec& v : all.parts)
        if (!own(v)) copied.Add(v.iov_base, v.iov_len);
    try {
        if (copied.total) op.buffer = J.writer.Take(copied.total);
    } catch (const std::bad_alloc&) {
        QueueLayerFile(d, pos, slot, number, false);
        return;
    }
    const std::vector<iovec> placed = copied.total ? CopyInto(op.buffer.data.get(), copied) : std::vector<iovec>{};
    size_t next = 0;
    for (const iovec& v : all.parts) op.parts.push_back(own(v) ? v : placed[next++]);
    op.given.push_back(std::move(l.pixels));
    op.given.push_back(std::move(l.alpha));
    op.given.push_back(std::move(l.effectPlane));
    J.writer.Submit(std::move(op));
}

void QueueHeadFile(CVexoDoc& d, const std::string& path, int pos, int slot, int number) {
    DocJournal& J = JournalOf(d);
    if (!FolderUsable(J, BaseName(path))) return;
    HeadPieces head;
    BuildHeadPieces(d, slot, head);
    if (slot >= 0 && !d.InStack(slot)) {
        // Not in the head file: its own snapshot.
        QueueLayerFile(d, pos, slot, number, false);
        slot = -1;
    }
    FileOp headOp;
    headOp.path = path;
    // The layer's file shares the snapshot: its pieces of the head file and
    // the selection mask after them.
    StepFileHeader layerHeader;
    Pieces layerPieces;
    if (slot >= 0) LayerFilePieces(d, slot, number, false, layerHeader, layerPieces);
    const SelectionPart sel = CurrentSelection(d);
    Pieces all = head.pieces;
    if (slot >= 0) all.Add(sel.mask, sel.bytes);
    try {
        headOp.buffer = J.writer.Take(all.total);
    } catch (const std::bad_alloc&) {
        SubmitFile(J, std::move(headOp), head.pieces);
        if (slot >= 0) QueueLayerFile(d, pos, slot, number, false);
        return;
    }
    const std::vector<iovec> placed = CopyInto(headOp.buffer.data.get(), all);
    headOp.parts.assign(placed.begin(), placed.begin() + long(head.pieces.parts.size()));
    std::vector<FileOp> ops;
    if (slot >= 0) {
        FileOp layerOp;
        layerOp.path = LayerFileName(J.folder, d.docSerial, pos, slot);
        layerOp.withHeader = true;
        layerOp.header = layerHeader;
        const bool text = d.Layer(slot).IsTextKind();
        auto take = [&](int i) {
            if (i >= 0) layerOp.parts.push_back(placed[size_t(i)]);
        };
        if (!text) take(head.pix);
        take(head.alpha);
        take(head.effect);
        if (sel.bytes) layerOp.parts.push_back(placed.back());
        take(head.text);
        ops.push_back(std::move(headOp));
        ops.push_back(std::move(layerOp));
    } else {
        ops.push_back(std::move(headOp));
    }
    J.writer.Submit(std::move(ops));
}

void QueueImageFile(CVexoDoc& d, int pos, int number) {
    DocJournal& J = JournalOf(d);
    const VaZavi& img = d.image;
    if (!img.IsValid()) return;
    FileOp op;
    op.path = ImageFileName(J.folder, d.docSerial, pos);
    if (!FolderUsable(J, BaseName(op.path))) return;
    op.withHeader = true;
    op.header = MakeHeader(d.docSerial, number, -1, ContentImage, img.Width(), img.Height());
    Pieces pieces;
    pieces.Add(&img.header, sizeof img.header);
    if (img.GetPalette()) pieces.Add(img.GetPalette(), size_t(img.GetPaletteSize()));
    pieces.Add(img.bits, img.ImageBytes());
    op.header.pixelBytes = int64_t(pieces.total);
    SubmitFile(J, std::move(op), pieces);
}

void QueueRemove(CVexoDoc& d, const std::vector<std::string>& paths) {
    if (paths.empty() || JournalOf(d).folder.empty()) return;
    std::vector<FileOp> ops;
    for (const std::string& p : paths) {
        FileOp op;
        op.kind = FileOp::Remove;
        op.path = p;
        ops.push_back(std::move(op));
    }
    JournalOf(d).writer.Submit(std::move(ops));
}

// --- the document image --------------------------------------------------------------------

bool LoadImageFile(CVexoDoc& d, int pos, int number, VaZavi& fresh) {
    DocJournal& J = JournalOf(d);
    const std::string path = ImageFileName(J.folder, d.docSerial, pos);
    Fd fd(-1);
    StepFileHeader fh;
    if (!OpenStepFile(J, path, d.docSerial, number, -1, ContentImage, fd, fh)) return false;
    if (fh.planeBytes || fh.maskBytes || fh.textBytes) return false;
    // The packed picture: its 40-byte header, checked against the payload
    // and the image cap before anything is allocated.
    BitmapInfoHeader h;
    if (fh.pixelBytes < int64_t(sizeof h) || !ReadAt(fd.get(), int64_t(sizeof fh), &h, sizeof h)) return false;
    if (h.size != sizeof h || h.planes != 1 || h.compression != 0) return false;
    if (h.width < 1 || h.height < 1 || int64_t(h.width) * h.height > kMaxImagePixels) return false;
    const int bpp = h.bitCount;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return false;
    if (h.clrUsed != (bpp <= 8 ? (1u << bpp) : 0u)) return false;
    const int64_t stride = (int64_t(h.width) * bpp + 31) / 32 * 4;
    if (stride * h.height > kMaxImageBytes || int64_t(h.sizeImage) != stride * h.height) return false;
    if (fh.pixelBytes != int64_t(sizeof h) + 4 * int64_t(h.clrUsed) + int64_t(h.sizeImage)) return false;
    VaZavi staged(fresh.info.type);
    if (!staged.CreateUnfilled(h.bitCount, h.width, h.height, fresh.info.type) || staged.ImageBytes() != h.sizeImage ||
        staged.GetPaletteSize() != int(4 * h.clrUsed))
        return false;
    BitmapInfoHeader again;
    std::vector<iovec> parts;
    parts.push_back(iovec{&again, sizeof again});
    if (staged.GetPalette()) parts.push_back(iovec{staged.GetPalette(), size_t(staged.GetPaletteSize())});
    parts.push_back(iovec{staged.bits, staged.ImageBytes()});
    uint32_t crc = 0;
    if (!ReadChecked(fd.get(), int64_t(sizeof fh), parts, crc) || crc != fh.payloadCrc) return false;
    staged.header.xPelsPerMeter = h.xPelsPerMeter;
    staged.header.yPelsPerMeter = h.yPelsPerMeter;
    return fresh.Transfer(staged);
}

void ApplyImage(VaZavi& img, VaZavi& fresh) {
    const VaZaviInfo keep = img.info;
    const bool alpha = img.hasAlpha;
    if (!img.Transfer(fresh)) return;
    img.hasAlpha = alpha;
    // The settings come from the step record; the geometry from the file.
    const int32_t stride = img.info.stride;
    const int8_t type = img.info.type;
    img.info = keep;
    img.info.stride = stride;
    img.info.type = type;
}

}  // namespace journal
