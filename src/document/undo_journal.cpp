// Undo journal: RecordUndoStep, undo, redo and the undo brush's source.
//
// Every step describes the document after the step. A layer file of step s
// holds the state of that slot after step s; steps that do not touch a slot
// write no file for it, so restoring a slot at step s reads the newest file
// of that slot at or below s, and when there is none, the slot's section of
// the head file of step 0. A file that exists but does not have exactly the
// size its step record gives is damaged: the undo or redo is refused and the
// document is left as it was.
//
// Journal files are written with one system call per file (a gather write of
// the buffers) and read straight into the layer's buffers, which are kept
// when their size does not change; the previous-state copy reuses its
// buffers the same way and is made while the file is written, so recording a
// step of a big layer costs about what writing its bytes costs.
#include "undo_journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "CVexoDoc.h"
#include "commands.h"

namespace journal {

std::string LayerFileName(const std::string& folder, int docSerial, int step, int slot) {
    char name[96];
    std::snprintf(name, sizeof name, "UD_%d_%d_%d.ptwtmp", docSerial, step, slot);
    return folder + name;
}

std::string HeadFileName(const std::string& folder, int docSerial) {
    char name[96];
    std::snprintf(name, sizeof name, "WrIniLrList_Head_%d.ptwtmp", docSerial);
    return folder + name;
}

std::string RedoHeadFileName(const std::string& folder, int docSerial) {
    char name[96];
    std::snprintf(name, sizeof name, "RedIniLrList_Head_%d.ptwtmp", docSerial);
    return folder + name;
}

std::string ImageFileName(const std::string& folder, int docSerial, int step) {
    char name[96];
    std::snprintf(name, sizeof name, "UD_%d_%d_image.ptwtmp", docSerial, step);
    return folder + name;
}

namespace {
bool IsTextKind(uint8_t kind) { return kind == LayerText || kind == LayerBalloon; }
int64_t TextUnits(const LayerRecordData& rec) {
    return IsTextKind(rec.kind) && rec.textLength > 0 ? std::min<int64_t>(rec.textLength, kMaxTextUnits) : 0;
}
}  // namespace

int64_t LayerFileBytes(const LayerRecordData& rec, int64_t selectionBytes) {
    int64_t n = IsTextKind(rec.kind) ? 0 : int64_t(std::max(0, rec.pixelSize));
    n += 2 * int64_t(std::max(0, rec.planeSize));
    n += std::max<int64_t>(0, selectionBytes);
    n += 2 * TextUnits(rec);
    return n;
}

}  // namespace journal

namespace {

using journal::LayerFileBytes;
using journal::TextUnits;

const char* const kTempFileFailed = "임시 파일 생성 실패 : 관리자권한으로 실행 바람";
const char* const kJournalDamaged = "작업 기록 파일이 없거나 손상되어 되돌릴 수 없습니다.";

// --- plain file I/O -----------------------------------------------------------

// A list of buffers moved with gather/scatter calls.
class IoList {
public:
    void Add(const void* p, size_t n) {
        if (n) v_.push_back(iovec{const_cast<void*>(p), n});
    }
    bool Write(int fd) { return Move(fd, true); }
    bool Read(int fd) { return Move(fd, false); }

private:
    bool Move(int fd, bool write) {
        size_t i = 0;
        while (i < v_.size()) {
            const int count = int(std::min<size_t>(v_.size() - i, IOV_MAX));
            ssize_t n = write ? writev(fd, &v_[i], count) : readv(fd, &v_[i], count);
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            if (n == 0) return false;   // end of file or nothing written
            size_t done = size_t(n);
            while (i < v_.size() && done >= v_[i].iov_len) done -= v_[i++].iov_len;
            if (done) {
                v_[i].iov_base = static_cast<uint8_t*>(v_[i].iov_base) + done;
                v_[i].iov_len -= done;
            }
        }
        return true;
    }
    std::vector<iovec> v_;
};

// Zero bytes for buffers that are missing (never expected of a layer in use).
const uint8_t* Zeros(std::vector<uint8_t>& holder, size_t n) {
    if (holder.size() < n) holder.assign(n, 0);
    return holder.data();
}

bool FileSize(const std::string& path, int64_t& size) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size = int64_t(st.st_size);
    return true;
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || close(fd) == 0;
    }

private:
    int fd_;
};

bool ReadAt(int fd, int64_t offset, void* dst, size_t n) {
    uint8_t* p = static_cast<uint8_t*>(dst);
    while (n) {
        ssize_t r = pread(fd, p, n, off_t(offset));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        offset += r;
        n -= size_t(r);
    }
    return true;
}

// --- sizes ---------------------------------------------------------------------

// A layer record whose sizes can be trusted for allocation: a positive size
// within the image cap, plane and pixel sizes that match it, a text length
// within the text limit.
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

// --- layer buffers -----------------------------------------------------------

template <class T>
bool Ensure(std::unique_ptr<T[]>& buf, int64_t oldCount, int64_t newCount) {
    if (buf && oldCount == newCount) return true;
    buf.reset(new (std::nothrow) T[size_t(std::max<int64_t>(newCount, 1))]);
    return buf != nullptr;
}

// Gives the slot the sizes of rec, keeping buffers whose size stays, and
// copies the record (all but the links and the in-use flag, which the
// caller sets). False when memory runs out (the slot then has no buffers).
bool ShapeSlot(LayerRecord& slot, const LayerRecordData& rec) {
    const int64_t oldPix = slot.pixels ? slot.pixelSize : -1;
    const int64_t oldPlane = slot.planeSize;
    const bool alphaOk = slot.alpha && oldPlane == rec.planeSize;
    const bool effectOk = slot.effectPlane && oldPlane == rec.planeSize;
    const int16_t prev = slot.prev, next = slot.next;
    const int32_t inUse = slot.inUse;
    static_cast<LayerRecordData&>(slot) = rec;
    slot.prev = prev;
    slot.next = next;
    slot.inUse = inUse;
    bool ok = Ensure(slot.pixels, oldPix, rec.pixelSize);
    ok = ok && Ensure(slot.alpha, alphaOk ? rec.planeSize : -1, rec.planeSize);
    ok = ok && Ensure(slot.effectPlane, effectOk ? rec.planeSize : -1, rec.planeSize);
    slot.text.reset();
    if (ok && (rec.kind == LayerText || rec.kind == LayerBalloon)) {
        const int64_t units = std::clamp<int64_t>(rec.textLength, 0, kMaxTextUnits);
        slot.text.reset(new (std::nothrow) char16_t[size_t(units) + 1]());
        ok = slot.text != nullptr;
    }
    if (!ok) slot.FreeBuffers();
    return ok;
}

// Copies a layer into another slot (the previous-state copy), reusing the
// destination's buffers when their sizes match.
bool CopyLayerReusing(LayerRecord& dst, const LayerRecord& src) {
    if (&dst == &src) return true;
    const int64_t oldPix = dst.pixels ? dst.pixelSize : -1;
    const int64_t oldPlaneA = dst.alpha ? dst.planeSize : -1;
    const int64_t oldPlaneE = dst.effectPlane ? dst.planeSize : -1;
    static_cast<LayerRecordData&>(dst) = src;
    auto copy = [](auto& d, const auto& s, int64_t oldN, int64_t n) {
        if (!s) {
            d.reset();
            return true;
        }
        if (!Ensure(d, oldN, n)) return false;
        if (n > 0) std::memcpy(d.get(), s.get(), size_t(n) * sizeof(s[0]));
        return true;
    };
    const int64_t pix = std::max(0, src.pixelSize), plane = std::max(0, src.planeSize);
    bool ok = copy(dst.pixels, src.pixels, oldPix, pix) && copy(dst.alpha, src.alpha, oldPlaneA, plane) &&
              copy(dst.effectPlane, src.effectPlane, oldPlaneE, plane);
    if (ok) {
        const int64_t units = int64_t(std::max(0, src.textLength)) + 1;
        dst.text.reset();
        if (src.text) ok = copy(dst.text, src.text, -1, units);
    }
    if (!ok) dst.FreeBuffers();
    return ok;
}

// --- links -------------------------------------------------------------------

void Unlink(CVexoDoc& d, int slot) {
    LayerRecord& l = d.Layer(slot);
    if (d.InStack(slot)) {
        const int p = l.prev, n = l.next;
        if (IsValidLayer(p)) d.Layer(p).next = int16_t(n);
        if (IsValidLayer(n)) d.Layer(n).prev = int16_t(p);
        if (d.headLayer == slot) d.headLayer = IsValidLayer(n) ? n : kNoLayer;
    }
    l.inUse = 0;
    l.prev = l.next = -1;
    if (d.currentLayer == slot) d.currentLayer = d.headLayer;
}

// Puts slot back between prev and next (either may be -1); a slot already
// in the stack is taken out first, so inserting twice changes nothing.
void InsertBetween(CVexoDoc& d, int slot, int prev, int next) {
    if (d.InStack(slot)) Unlink(d, slot);
    if (IsValidLayer(prev) && !d.InStack(prev)) prev = kNoLayer;
    if (IsValidLayer(next) && !d.InStack(next)) next = kNoLayer;
    if (!IsValidLayer(prev) && !IsValidLayer(next)) {
        // No neighbour left: put it at the bottom.
        next = d.headLayer;
    } else if (IsValidLayer(prev)) {
        next = d.Layer(prev).next;
    } else {
        prev = d.Layer(next).prev;
    }
    LayerRecord& l = d.Layer(slot);
    l.prev = int16_t(prev);
    l.next = int16_t(next);
    l.inUse = 1;
    if (IsValidLayer(prev)) d.Layer(prev).next = int16_t(slot);
    else d.headLayer = slot;
    if (IsValidLayer(next)) d.Layer(next).prev = int16_t(slot);
}

void ApplyLinks(CVexoDoc& d, const UndoStep& st) {
    d.headLayer = st.headLayer;
    for (int i = 0; i < kMaxLayers; ++i) {
        d.Layer(i).prev = st.prev[i];
        d.Layer(i).next = st.next[i];
        d.Layer(i).inUse = st.inUse[i];
    }
}

// The slots of a step's stack, bottom up (cycle-safe).
std::vector<int> StepStack(const UndoStep& st) {
    std::vector<int> order;
    bool seen[kMaxLayers] = {};
    for (int i = st.headLayer; IsValidLayer(i) && !seen[i]; i = st.next[i]) {
        seen[i] = true;
        order.push_back(i);
    }
    return order;
}

void ApplyCanvas(CVexoDoc& d, const UndoStep& st) {
    CanvasInfo& c = d.live.canvas;
    c.height = st.canvasHeight;
    c.width = st.canvasWidth;
    c.colorFormat = st.colorFormat;
    c.paletteColors = st.paletteColors;
    c.bitsPerPixel = st.bitsPerPixel;
    c.canvasPixelSize = st.canvasPixelSize;
    c.canvasPlaneSize = st.canvasPlaneSize;
    c.pictureX = st.pictureX;
    c.pictureY = st.pictureY;
    d.live.palette = st.palette;
}

void SelectIfPossible(CVexoDoc& d, int slot) {
    if (IsValidLayer(slot) && d.InStack(slot)) d.currentLayer = slot;
    else if (!d.InStack(d.currentLayer)) d.currentLayer = d.headLayer;
}

// --- head files ----------------------------------------------------------------

// Head file: CanvasInfo (scratch addresses 0), the palette, then for every
// layer from the bottom: "%ld %d %d" (848, pixelSize, planeSize), the record,
// pixels, alpha plane, effect plane and the text of text layers.
bool WriteHeadFile(const CVexoDoc& d, const std::string& path) {
    Fd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd.ok()) return false;
    CanvasInfo canvas = d.live.canvas;
    canvas.scratchAddr1 = canvas.scratchAddr2 = 0;
    std::vector<uint8_t> zeros;
    std::vector<RgbQuad> palette(size_t(std::clamp(canvas.paletteColors, 0, 256)), RgbQuad{0, 0, 0, 0});
    std::copy_n(d.live.palette.begin(), std::min(palette.size(), d.live.palette.size()), palette.begin());
    IoList io;
    io.Add(&canvas, sizeof canvas);
    io.Add(palette.data(), palette.size() * sizeof(RgbQuad));
    const std::vector<int> order = d.StackOrder();
    std::vector<std::string> lines(order.size());
    size_t maxBuf = 0;
    for (int s : order) {
        const LayerRecord& l = d.Layer(s);
        maxBuf = std::max({maxBuf, size_t(std::max(0, l.pixelSize)), size_t(std::max(0, l.planeSize))});
    }
    for (size_t k = 0; k < order.size(); ++k) {
        const LayerRecord& l = d.Layer(order[k]);
        char line[64];
        std::snprintf(line, sizeof line, "%ld %d %d", long(kLayerRecordStoredSize), l.pixelSize, l.planeSize);
        lines[k] = line;
        io.Add(lines[k].data(), lines[k].size());
        io.Add(static_cast<const LayerRecordData*>(&l), kLayerRecordStoredSize);
        const size_t pix = size_t(std::max(0, l.pixelSize)), plane = size_t(std::max(0, l.planeSize));
        io.Add(l.pixels ? l.pixels.get() : Zeros(zeros, maxBuf), pix);
        io.Add(l.alpha ? l.alpha.get() : Zeros(zeros, maxBuf), plane);
        io.Add(l.effectPlane ? l.effectPlane.get() : Zeros(zeros, maxBuf), plane);
        const size_t units = size_t(TextUnits(l));
        if (units) io.Add(l.text ? static_cast<const void*>(l.text.get()) : Zeros(zeros, units * 2), units * 2);
    }
    const bool ok = io.Write(fd.get()) && fd.Close();
    if (!ok) unlink(path.c_str());
    return ok;
}

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

// First pass over a head file: checks every size against the file and the
// image cap, the slot links against cycles and the slot range. Nothing is
// allocated beyond the plan itself.
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

// Reads one section's buffers into its slot (shaped from the section's
// record); links and in-use flag are left to the caller.
bool ReadHeadSection(CVexoDoc& d, int fd, const HeadSection& sec) {
    LayerRecord& l = d.Layer(sec.slot);
    if (!ShapeSlot(l, sec.rec)) return false;
    const size_t pix = size_t(sec.rec.pixelSize), plane = size_t(sec.rec.planeSize);
    int64_t off = sec.dataOffset;
    bool ok = ReadAt(fd, off, l.pixels.get(), pix);
    off += int64_t(pix);
    ok = ok && ReadAt(fd, off, l.alpha.get(), plane);
    off += int64_t(plane);
    ok = ok && ReadAt(fd, off, l.effectPlane.get(), plane);
    off += int64_t(plane);
    const size_t units = size_t(TextUnits(sec.rec));
    if (ok && units) ok = ReadAt(fd, off, l.text.get(), units * 2);
    if (l.text) l.text[units] = 0;
    return ok;
}

// Whole state from a head file; the stack starts at firstSlot. The file is
// checked completely before anything changes.
bool RestoreHeadFile(CVexoDoc& d, const std::string& path, int firstSlot, int current) {
    int64_t size = 0;
    if (!FileSize(path, size)) return false;
    Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    HeadPlan plan;
    if (!fd.ok() || !ParseHeadFile(fd.get(), size, firstSlot, plan)) return false;
    d.live.canvas = plan.canvas;
    d.live.palette = plan.palette;
    bool inPlan[kMaxLayers] = {};
    bool ok = true;
    for (size_t k = 0; k < plan.sections.size(); ++k) {
        const HeadSection& sec = plan.sections[k];
        inPlan[sec.slot] = true;
        ok = ReadHeadSection(d, fd.get(), sec) && ok;
        LayerRecord& l = d.Layer(sec.slot);
        l.inUse = 1;
        l.prev = int16_t(k ? plan.sections[k - 1].slot : kNoLayer);
        l.next = int16_t(k + 1 < plan.sections.size() ? plan.sections[k + 1].slot : kNoLayer);
    }
    for (int i = 0; i < kMaxLayers; ++i)
        if (!inPlan[i]) {
            d.Layer(i).inUse = 0;
            d.Layer(i).prev = d.Layer(i).next = -1;
        }
    d.headLayer = firstSlot;
    d.currentLayer = kNoLayer;
    SelectIfPossible(d, current);
    return ok;
}

// --- layer sources ---------------------------------------------------------------

// Where a slot's state at a step comes from: a layer file of step `step`, or
// (step -1) the slot's section of the head file of step 0.
struct LayerSource {
    int slot = kNoLayer;
    int step = -1;
    LayerRecordData rec{};
    int64_t selectionBytes = 0;
    HeadSection head;
};

enum class Found { Yes, Missing, Damaged };

int64_t StepSelectionBytes(const UndoStep& st) {
    if (st.selectionWidth < 1 || st.selectionHeight < 1) return 0;
    return int64_t(st.selectionWidth) * st.selectionHeight;
}

Found ResolveSource(const CVexoDoc& d, const std::string& folder, int step, int slot, LayerSource& src) {
    src.slot = slot;
    if (!IsValidLayer(slot)) return Found::Damaged;
    for (int j = std::min(step, int(d.steps.size()) - 1); j >= 0; --j) {
        int64_t size = 0;
        if (!FileSize(journal::LayerFileName(folder, d.docSerial, j, slot), size)) continue;
        const UndoStep& st = d.steps[size_t(j)];
        const LayerRecordData& rec = st.slots[slot];
        if (!RecordSizesSane(rec)) return Found::Damaged;
        if (size != LayerFileBytes(rec, StepSelectionBytes(st))) return Found::Damaged;
        src.step = j;
        src.rec = rec;
        src.selectionBytes = StepSelectionBytes(st);
        return Found::Yes;
    }
    // No step file: the state of step 0 from the head file.
    if (d.steps.empty()) return Found::Missing;
    const std::string path = journal::HeadFileName(folder, d.docSerial);
    int64_t size = 0;
    if (!FileSize(path, size)) return Found::Missing;
    Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    HeadPlan plan;
    if (!fd.ok() || !ParseHeadFile(fd.get(), size, d.steps[0].headLayer, plan)) return Found::Damaged;
    for (const HeadSection& sec : plan.sections)
        if (sec.slot == slot) {
            src.step = -1;
            src.rec = sec.rec;
            src.head = sec;
            return Found::Yes;
        }
    return Found::Missing;
}

// Reads a resolved source into its slot: the record (not the links), the
// buffers, and from a step file the selection mask and its geometry.
bool ApplySource(CVexoDoc& d, const std::string& folder, const LayerSource& src) {
    LayerRecord& l = d.Layer(src.slot);
    if (src.step < 0) {
        const std::string path = journal::HeadFileName(folder, d.docSerial);
        Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        return fd.ok() && ReadHeadSection(d, fd.get(), src.head);
    }
    const std::string path = journal::LayerFileName(folder, d.docSerial, src.step, src.slot);
    Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    int64_t size = 0;
    if (!fd.ok() || !FileSize(path, size) || size != LayerFileBytes(src.rec, src.selectionBytes)) return false;
    if (!ShapeSlot(l, src.rec)) return false;
    const UndoStep& st = d.steps[size_t(src.step)];
    SelectionMask& sel = d.live.selection;
    sel.mask.resize(size_t(src.selectionBytes));
    sel.width = src.selectionBytes ? st.selectionWidth : 0;
    sel.height = src.selectionBytes ? st.selectionHeight : 0;
    sel.size = src.selectionBytes ? int32_t(src.selectionBytes) : st.selectionSize;
    sel.x = st.selectionX;
    sel.y = st.selectionY;
    const bool text = l.IsTextKind();
    const size_t plane = size_t(src.rec.planeSize);
    const size_t units = size_t(TextUnits(src.rec));
    IoList io;
    if (!text) io.Add(l.pixels.get(), size_t(src.rec.pixelSize));
    io.Add(l.alpha.get(), plane);
    io.Add(l.effectPlane.get(), plane);
    io.Add(sel.mask.data(), sel.mask.size());
    if (units) io.Add(l.text.get(), units * 2);
    // Text and balloon layers keep no pixels: full coverage until their
    // text is drawn again.
    if (text) std::memset(l.pixels.get(), 255, size_t(src.rec.pixelSize));
    const bool ok = io.Read(fd.get());
    if (l.text) l.text[units] = 0;
    return ok;
}

// Resolves every slot first; applies only when all of them can be read.
// Missing sources are skipped (allowMissing) or fail.
bool RestoreSlots(CVexoDoc& d, const std::string& folder, int step, const std::vector<int>& slots,
                  std::vector<LayerSource>& plan) {
    plan.clear();
    for (int s : slots) {
        LayerSource src;
        if (ResolveSource(d, folder, step, s, src) != Found::Yes) return false;
        plan.push_back(src);
    }
    return true;
}

void RefreshPrevState(CVexoDoc& d) {
    d.prevState.canvas = d.live.canvas;
    d.prevState.palette = d.live.palette;
    for (int i = 0; i < kMaxLayers; ++i) {
        const LayerRecord& l = d.Layer(i);
        if (l.inUse) CopyLayerReusing(d.prevState.layers[i], l);
        else static_cast<LayerRecordData&>(d.prevState.layers[i]) = l;
    }
}

// --- step files ------------------------------------------------------------------

bool WriteLayerFile(const CVexoDoc& d, const std::string& folder, int step, int slot) {
    const LayerRecord& l = d.Layer(slot);
    const std::string path = journal::LayerFileName(folder, d.docSerial, step, slot);
    Fd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd.ok()) return false;
    const SelectionMask& sel = d.live.selection;
    size_t selBytes = 0;
    if (sel.width > 0 && sel.height > 0) selBytes = size_t(sel.width) * size_t(sel.height);
    const size_t pix = size_t(std::max(0, l.pixelSize)), plane = size_t(std::max(0, l.planeSize));
    const size_t units = size_t(TextUnits(l));
    std::vector<uint8_t> zeros;
    const size_t zeroNeed = std::max({l.pixels ? 0 : pix, (l.alpha && l.effectPlane) ? 0 : plane,
                                      sel.mask.size() >= selBytes ? 0 : selBytes, l.text ? 0 : units * 2});
    if (zeroNeed) Zeros(zeros, zeroNeed);
    IoList io;
    if (!l.IsTextKind()) io.Add(l.pixels ? l.pixels.get() : zeros.data(), pix);
    io.Add(l.alpha ? l.alpha.get() : zeros.data(), plane);
    io.Add(l.effectPlane ? l.effectPlane.get() : zeros.data(), plane);
    io.Add(sel.mask.size() >= selBytes ? sel.mask.data() : zeros.data(), selBytes);
    if (units) io.Add(l.text ? static_cast<const void*>(l.text.get()) : zeros.data(), units * 2);
    const bool ok = io.Write(fd.get()) && fd.Close();
    if (!ok) unlink(path.c_str());
    return ok;
}

void DeleteStepFiles(const CVexoDoc& d, const std::string& folder, int step) {
    for (int s = 0; s < kMaxLayers; ++s) unlink(journal::LayerFileName(folder, d.docSerial, step, s).c_str());
    unlink(journal::ImageFileName(folder, d.docSerial, step).c_str());
}

// --- the document image --------------------------------------------------------------

// The settings of the document image that steps keep and put back. The
// geometry fields (stride, type) belong to the pixels and are not touched.
void PutBackImageSettings(VaZavi& img, const VaZaviInfo& in) {
    img.info.transparentIndex = in.transparentIndex;
    img.info.backgroundColor = in.backgroundColor;
    img.info.jpegQuality = in.jpegQuality;
    img.info.alphaValue = in.alphaValue;
    img.info.alphaPalette = in.alphaPalette;
    img.SetXDpi(in.xDpi);
    img.SetYDpi(in.yDpi);
}

bool WriteImageFile(const VaZavi& img, const std::string& path) {
    if (!img.IsValid()) return false;
    Fd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd.ok()) return false;
    IoList io;
    io.Add(&img.header, sizeof img.header);
    if (img.GetPalette()) io.Add(img.GetPalette(), size_t(img.GetPaletteSize()));
    io.Add(img.bits, img.ImageBytes());
    const bool ok = io.Write(fd.get()) && fd.Close();
    if (!ok) unlink(path.c_str());
    return ok;
}

// The header of an image file, checked against the file's size and the
// image cap before anything is allocated.
bool ReadImageHeader(int fd, int64_t fileSize, BitmapInfoHeader& h) {
    if (fileSize < int64_t(sizeof h) || !ReadAt(fd, 0, &h, sizeof h)) return false;
    if (h.size != sizeof h || h.planes != 1 || h.compression != 0) return false;
    if (h.width < 1 || h.height < 1 || int64_t(h.width) * h.height > kMaxImagePixels) return false;
    const int bpp = h.bitCount;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return false;
    if (h.clrUsed != (bpp <= 8 ? (1u << bpp) : 0u)) return false;
    const int64_t stride = (int64_t(h.width) * bpp + 31) / 32 * 4;
    if (stride * h.height > kMaxImageBytes || int64_t(h.sizeImage) != stride * h.height) return false;
    return fileSize == int64_t(sizeof h) + 4 * int64_t(h.clrUsed) + int64_t(h.sizeImage);
}

// The newest image file at or below `step`; without one, the oldest above
// it (up to the redo limit): an image file is written just before the
// first change of the image, so that file shows the image unchanged since.
// Missing: the image was never journaled.
Found ResolveImage(const CVexoDoc& d, const std::string& folder, int step, std::string& path) {
    const int top = std::min<int>(d.redoTop, int(d.steps.size()) - 1);
    int64_t size = 0;
    auto check = [&](int j) {
        path = journal::ImageFileName(folder, d.docSerial, j);
        if (!FileSize(path, size)) return Found::Missing;
        Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        BitmapInfoHeader h;
        return fd.ok() && ReadImageHeader(fd.get(), size, h) ? Found::Yes : Found::Damaged;
    };
    for (int j = std::min(step, top); j >= 0; --j)
        if (Found f = check(j); f != Found::Missing) return f;
    for (int j = std::max(step + 1, 0); j <= top; ++j)
        if (Found f = check(j); f != Found::Missing) return f;
    return Found::Missing;
}

bool ReadImageFile(VaZavi& img, const std::string& path) {
    int64_t size = 0;
    if (!FileSize(path, size)) return false;
    Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    BitmapInfoHeader h;
    if (!fd.ok() || !ReadImageHeader(fd.get(), size, h)) return false;
    VaZavi fresh(img.info.type);
    if (!fresh.CreateUnfilled(h.bitCount, h.width, h.height, img.info.type) || fresh.ImageBytes() != h.sizeImage ||
        fresh.GetPaletteSize() != int(4 * h.clrUsed))
        return false;
    IoList io;
    if (fresh.GetPalette()) io.Add(fresh.GetPalette(), size_t(fresh.GetPaletteSize()));
    io.Add(fresh.bits, fresh.ImageBytes());
    if (lseek(fd.get(), off_t(sizeof h), SEEK_SET) != off_t(sizeof h) || !io.Read(fd.get())) return false;
    fresh.header.xPelsPerMeter = h.xPelsPerMeter;
    fresh.header.yPelsPerMeter = h.yPelsPerMeter;
    const VaZaviInfo keep = img.info;
    const bool alpha = img.hasAlpha;
    if (!img.Transfer(fresh)) return false;
    img.hasAlpha = alpha;
    // The settings come from the step record; the geometry from the file.
    const int32_t stride = img.info.stride;
    const int8_t type = img.info.type;
    img.info = keep;
    img.info.stride = stride;
    img.info.type = type;
    return true;
}

// Every layer file of the document, whatever its step: one pass over the
// folder (which belongs to this program alone) instead of 800 guesses.
void DeleteAllLayerFiles(const CVexoDoc& d, const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    const std::string prefix = "UD_" + std::to_string(d.docSerial) + "_";
    const std::string suffix = ".ptwtmp";
    std::vector<std::string> doomed;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() > prefix.size() + suffix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            doomed.push_back(name);
    }
    closedir(dir);
    for (const std::string& name : doomed) unlink((folder + name).c_str());
}

void FillStep(CVexoDoc& d, UndoStep& st, const std::u16string& label, int type, int layer) {
    st.label = label.substr(0, kUndoLabelUnits - 1);
    st.type = uint8_t(type);
    st.layer = uint8_t(layer);
    st.headLayer = d.headLayer;
    for (int i = 0; i < kMaxLayers; ++i) {
        const LayerRecord& l = d.Layer(i);
        st.prev[i] = l.prev;
        st.next[i] = l.next;
        st.inUse[i] = int16_t(l.inUse);
        st.slots[i] = l;
    }
    st.shadowParam = double(d.Layer(layer).shadowParam);
    const CanvasInfo& c = d.live.canvas;
    st.canvasHeight = c.height;
    st.canvasWidth = c.width;
    st.colorFormat = c.colorFormat;
    st.paletteColors = c.paletteColors;
    st.bitsPerPixel = c.bitsPerPixel;
    st.canvasPixelSize = c.canvasPixelSize;
    st.canvasPlaneSize = c.canvasPlaneSize;
    st.pictureX = c.pictureX;
    st.pictureY = c.pictureY;
    st.palette = d.live.palette;
    st.imageInfo = d.image.info;
    const SelectionMask& sel = d.live.selection;
    st.selectionActive = d.selectionActive;
    st.selectionInverted = d.selectionInverted;
    const bool hasMask = sel.width > 0 && sel.height > 0 && sel.mask.size() >= size_t(sel.width) * size_t(sel.height);
    st.selectionWidth = hasMask ? sel.width : 0;
    st.selectionHeight = hasMask ? sel.height : 0;
    st.selectionSize = sel.size;
    st.selectionX = sel.x;
    st.selectionY = sel.y;
    std::copy_n(d.viewRect, 4, st.viewRect);
    st.viewZoom = d.zoom;
    std::copy_n(d.viewSettings, 30, st.viewSettings);
    std::copy_n(d.frameRect, 4, st.frameRect);
    st.currentCommand = d.Host().CurrentCommand();
    st.frameValues[0] = type == UndoWholeDocument ? d.frameValues[0] : 0;
    st.frameValues[1] = type == UndoWholeDocument ? d.frameValues[1] : 0;
    st.angle = type == UndoWholeWithAngle ? d.angle : 0.0;
    st.imageChanged = false;
}

void PutBackViewState(CVexoDoc& d, const UndoStep& st) {
    std::copy_n(st.viewRect, 4, d.viewRect);
    std::copy_n(st.viewSettings, 30, d.viewSettings);
    std::copy_n(st.frameRect, 4, d.frameRect);
    if (st.type == UndoWholeDocument) std::copy_n(st.frameValues, 2, d.frameValues);
    if (st.type == UndoWholeWithAngle) d.angle = st.angle;
}

}  // namespace

// --- recording ------------------------------------------------------------------

bool CVexoDoc::RecordUndoStep(const std::u16string& label, int type, int layer) {
    if (!IsValidLayer(currentLayer)) return false;
    if (layer < 0) layer = currentLayer;
    if (!IsValidLayer(layer)) return false;
    // The step names the layer it changed (every layer for whole-document steps).
    const bool whole = type == UndoWholeDocument || type == UndoWholeWithAngle;
    ChangeBatch batch(*this);
    Notify(docchange::Journal | docchange::Pixels | (whole ? docchange::Canvas : 0u), whole ? kNoLayer : layer);
    if (!recordUndo) {
        if (undoPos >= 0) modified = true;
        RefreshPrevState(*this);
        return true;
    }
    const std::string folder = Host().JournalFolder();
    if (label == u"Opening...." || label == u"initial state") undoPos = -1;
    busy = true;
    ++undoPos;
    if (undoPos > 0) modified = true;
    if (undoPos == 0) {
        if (docSerial == 0) docSerial = Host().NextDocSerial();
        // A new journal: nothing of an earlier one may be taken for its files.
        DeleteAllLayerFiles(*this, folder);
        unlink(journal::RedoHeadFileName(folder, docSerial).c_str());
        steps.clear();
        if (folder.empty() || !WriteHeadFile(*this, journal::HeadFileName(folder, docSerial))) {
            undoPos = -1;
            redoTop = -1;
            busy = false;
            Host().MessageBox(kTempFileFailed);
            Host().RequestClose();
            return false;
        }
    }
    if (undoPos >= kUndoSteps) {
        // The 21st step: step 2 goes, 3..19 move one place down; 0 and 1 stay.
        // An image file of step 2 shows the image after steps 1 and 3 as
        // well when those have none (neither changed it): keep it for them.
        const std::string image2 = journal::ImageFileName(folder, docSerial, 2);
        int64_t size = 0;
        if (FileSize(image2, size))
            for (int s : {1, 3}) {
                const std::string other = journal::ImageFileName(folder, docSerial, s);
                if (!FileSize(other, size)) link(image2.c_str(), other.c_str());
            }
        const bool imageChangedAt2 = steps[2].imageChanged;
        DeleteStepFiles(*this, folder, 2);
        for (int s = 3; s < kUndoSteps; ++s) {
            steps[size_t(s) - 1] = std::move(steps[size_t(s)]);
            for (int slot = 0; slot < kMaxLayers; ++slot)
                rename(journal::LayerFileName(folder, docSerial, s, slot).c_str(),
                       journal::LayerFileName(folder, docSerial, s - 1, slot).c_str());
            rename(journal::ImageFileName(folder, docSerial, s).c_str(),
                   journal::ImageFileName(folder, docSerial, s - 1).c_str());
        }
        // The new step 2 now also stands for the change the old one made.
        if (imageChangedAt2) steps[2].imageChanged = true;
        undoPos = kUndoSteps - 1;
    }
    redoTop = undoPos;
    steps.resize(size_t(undoPos) + 1);
    DeleteStepFiles(*this, folder, undoPos);

    UndoStep& st = steps[size_t(undoPos)];
    FillStep(*this, st, label, type, layer);
    // The previous-state copy is refreshed by a helper while the files are
    // written: both only read the live layers, and the helper is joined
    // before anything changes.
    std::thread copier;
    try {
        copier = std::thread([this] { RefreshPrevState(*this); });
    } catch (const std::system_error&) {
    }
    bool ok = true;
    if (type == UndoWholeDocument || type == UndoWholeWithAngle) {
        for (int s : StackOrder())
            if (s != layer) ok = WriteLayerFile(*this, folder, undoPos, s) && ok;
    }
    ok = WriteLayerFile(*this, folder, undoPos, layer) && ok;
    if (copier.joinable()) copier.join();
    else RefreshPrevState(*this);
    if (!ok) Host().MessageBox(kTempFileFailed);

    Host().RefreshLayersPanel(*this);
    if (type == UndoLayerDeleted) Layer(layer).FreeBuffers();
    busy = false;
    return ok;
}

bool CVexoDoc::JournalAllLayers() {
    if (undoPos < 0 || size_t(undoPos) >= steps.size()) return false;
    const std::string folder = Host().JournalFolder();
    UndoStep& st = steps[size_t(undoPos)];
    // The files are sized from the step's records and selection: bring them
    // up to date with what is written now.
    const SelectionMask& sel = live.selection;
    const bool hasMask = sel.width > 0 && sel.height > 0 && sel.mask.size() >= size_t(sel.width) * size_t(sel.height);
    st.selectionWidth = hasMask ? sel.width : 0;
    st.selectionHeight = hasMask ? sel.height : 0;
    bool ok = true;
    const std::vector<int> order = StackOrder();
    for (int s : order) {
        st.slots[s] = Layer(s);
        ok = WriteLayerFile(*this, folder, undoPos, s) && ok;
    }
    // A file of a slot outside the stack (a deleted layer) is never read
    // back at this step; it must not stay with a selection size that no
    // longer matches the step.
    if (std::find(order.begin(), order.end(), int(st.layer)) == order.end())
        unlink(journal::LayerFileName(folder, docSerial, undoPos, st.layer).c_str());
    return ok;
}

bool CVexoDoc::JournalImage(bool changedByStep) {
    if (undoPos < 0 || size_t(undoPos) >= steps.size() || !image.IsValid()) return false;
    const std::string path = journal::ImageFileName(Host().JournalFolder(), docSerial, undoPos);
    int64_t size = 0;
    bool ok = true;
    if (changedByStep || !FileSize(path, size)) ok = WriteImageFile(image, path);
    if (changedByStep) steps[size_t(undoPos)].imageChanged = true;
    if (!ok) Host().MessageBox(kTempFileFailed);
    return ok;
}

void CVexoDoc::DiscardJournalFiles() {
    const std::string folder = Host().JournalFolder();
    if (folder.empty() || docSerial == 0) return;
    DeleteAllLayerFiles(*this, folder);
    unlink(journal::HeadFileName(folder, docSerial).c_str());
    unlink(journal::RedoHeadFileName(folder, docSerial).c_str());
}

// --- undo -----------------------------------------------------------------------------

namespace {
// The selection mask kept in a step's layer file, when that file is whole.
void ReadStepMask(CVexoDoc& d, const std::string& folder, int step, int slot) {
    if (size_t(step) >= d.steps.size() || !IsValidLayer(slot)) return;
    const UndoStep& st = d.steps[size_t(step)];
    const LayerRecordData& rec = st.slots[slot];
    const int64_t maskBytes = StepSelectionBytes(st);
    const std::string path = journal::LayerFileName(folder, d.docSerial, step, slot);
    int64_t size = 0;
    if (!maskBytes || !RecordSizesSane(rec) || !FileSize(path, size) || size != LayerFileBytes(rec, maskBytes)) return;
    Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    const bool text = rec.kind == LayerText || rec.kind == LayerBalloon;
    const int64_t offset = (text ? 0 : int64_t(rec.pixelSize)) + 2 * int64_t(rec.planeSize);
    std::vector<uint8_t> mask(static_cast<size_t>(maskBytes));
    if (!fd.ok() || !ReadAt(fd.get(), offset, mask.data(), mask.size())) return;
    SelectionMask& sel = d.live.selection;
    sel.mask = std::move(mask);
    sel.width = st.selectionWidth;
    sel.height = st.selectionHeight;
    sel.size = int32_t(maskBytes);
    sel.x = st.selectionX;
    sel.y = st.selectionY;
}

void FinishMove(CVexoDoc& d, bool ok) {
    d.Notify(docchange::Journal | docchange::Layers | docchange::Selection | docchange::Canvas);
    if (ok) {
        // The picture is no longer the one saved: closing asks again.
        d.modified = true;
        // Without a selection the mask selects the whole current layer.
        if (!d.selectionActive) d.ResetSelectionMask(d.currentLayer);
        RefreshPrevState(d);
        d.viewRebuild = true;
        d.Host().RefreshLayersPanel(d);
        d.Host().UpdateViews(d, true);
    } else {
        d.Host().RefreshLayersPanel(d);
    }
    if (d.selectionActive) d.Host().StartSelectionTimer(d, 400);
    d.busy = false;
}
}  // namespace

bool CVexoDoc::Undo() {
    if (undoPos <= 0 || size_t(undoPos) >= steps.size()) {
        if (undoPos < 0) undoPos = 0;
        return false;
    }
    const std::string folder = Host().JournalFolder();
    ChangeBatch batch(*this);
    const int oldPos = undoPos;
    --undoPos;
    busy = true;
    Host().StopSelectionTimer(*this);
    if (undoPos == 1) {
        // The state being left, for redoing step 2.
        const std::string redoHead = journal::RedoHeadFileName(folder, docSerial);
        if (!WriteHeadFile(*this, redoHead)) unlink(redoHead.c_str());
    }
    bool ok = false;
    // The document image comes back when the step undone changed it.
    std::string imagePath;
    const bool imageBack = steps[size_t(oldPos)].imageChanged;
    const Found imageFound = imageBack ? ResolveImage(*this, folder, undoPos, imagePath) : Found::Missing;
    if (imageFound == Found::Damaged) {
        ok = false;
    } else if (undoPos == 0) {
        const UndoStep& s0 = steps[0];
        ok = RestoreHeadFile(*this, journal::HeadFileName(folder, docSerial), s0.headLayer, s0.layer);
        Notify(docchange::Pixels);
        if (ok) {
            selectionActive = s0.selectionActive;
            selectionInverted = s0.selectionInverted;
            if (selectionActive) ReadStepMask(*this, folder, 0, s0.layer);
            PutBackViewState(*this, s0);
        }
    } else {
        const UndoStep& su = steps[size_t(undoPos) + 1];
        const UndoStep& sp = steps[size_t(undoPos)];
        const int target = su.layer;
        std::vector<int> slots;
        switch (su.type) {
        case UndoLayerAdded:
        case UndoLayerPasted:
        case UndoTextEntered:
            break;   // the layer goes; nothing to read
        case UndoWholeDocument:
        case UndoWholeWithAngle:
            slots = StepStack(sp);
            break;
        default:
            slots.push_back(target);
            break;
        }
        std::vector<LayerSource> plan;
        ok = RestoreSlots(*this, folder, undoPos, slots, plan);
        if (ok) {
            SelectIfPossible(*this, sp.layer);
            switch (su.type) {
            case UndoLayerAdded:
            case UndoLayerPasted:
            case UndoTextEntered:
                Unlink(*this, target);
                break;
            case UndoLayerDeleted:
            case UndoLinksChanged:
            case UndoFlatten:
            case UndoMerge:
            case UndoWholeDocument:
            case UndoWholeWithAngle:
                ApplyLinks(*this, sp);
                break;
            default:
                break;
            }
            if (su.type == UndoWholeDocument || su.type == UndoWholeWithAngle) ApplyCanvas(*this, sp);
            for (const LayerSource& src : plan) {
                ok = ApplySource(*this, folder, src) && ok;
                Layer(src.slot).inUse = 1;
                Notify(docchange::Pixels, src.slot);
            }
            ApplyCanvas(*this, sp);
            selectionActive = sp.selectionActive;
            selectionInverted = sp.selectionInverted;
            PutBackViewState(*this, sp);
            SelectIfPossible(*this, sp.layer);
        }
    }
    if (ok) {
        if (imageFound == Found::Yes) ok = ReadImageFile(image, imagePath);
        PutBackImageSettings(image, steps[size_t(undoPos)].imageInfo);
    }
    if (!ok) {
        undoPos = oldPos;
        Host().MessageBox(kJournalDamaged);
    }
    FinishMove(*this, ok);
    return ok;
}

// --- redo ---------------------------------------------------------------------------------

bool CVexoDoc::Redo() {
    if (undoPos < 0 || redoTop < undoPos + 1 || undoPos + 1 >= kUndoSteps || size_t(undoPos) + 1 >= steps.size())
        return false;
    const std::string folder = Host().JournalFolder();
    ChangeBatch batch(*this);
    const int oldPos = undoPos;
    ++undoPos;
    busy = true;
    Host().StopSelectionTimer(*this);
    const UndoStep& su = steps[size_t(undoPos)];
    const int target = su.layer;
    bool ok = true;
    if (undoPos == 2) {
        const std::string redoHead = journal::RedoHeadFileName(folder, docSerial);
        int64_t size = 0;
        if (FileSize(redoHead, size)) {
            ok = RestoreHeadFile(*this, redoHead, su.headLayer, target);
            Notify(docchange::Pixels);
        }
    }
    std::vector<int> slots;
    if (su.type == UndoWholeDocument || su.type == UndoWholeWithAngle) slots = StepStack(su);
    else if (su.type != UndoLayerDeleted) slots.push_back(target);
    std::vector<LayerSource> plan;
    std::string imagePath;
    const Found imageFound = su.imageChanged ? ResolveImage(*this, folder, undoPos, imagePath) : Found::Missing;
    ok = ok && imageFound != Found::Damaged && RestoreSlots(*this, folder, undoPos, slots, plan);
    if (ok) {
        switch (su.type) {
        case UndoLayerAdded:
        case UndoLayerPasted:
        case UndoTextEntered:
            InsertBetween(*this, target, su.prev[target], su.next[target]);
            break;
        case UndoWholeDocument:
        case UndoWholeWithAngle:
        case UndoLayerDeleted:
        case UndoLinksChanged:
        case UndoFlatten:
        case UndoMerge:
            ApplyLinks(*this, su);
            break;
        default:
            break;
        }
        for (int i = 0; i < kMaxLayers; ++i) {
            Layer(i).x = su.slots[i].x;
            Layer(i).y = su.slots[i].y;
        }
        for (const LayerSource& src : plan) {
            ok = ApplySource(*this, folder, src) && ok;
            Layer(src.slot).inUse = 1;
            Notify(docchange::Pixels, src.slot);
        }
        if (su.type == UndoLayerDeleted) Layer(target).FreeBuffers();
        ApplyCanvas(*this, su);
        selectionActive = su.selectionActive;
        selectionInverted = su.selectionInverted;
        PutBackViewState(*this, su);
        SelectIfPossible(*this, target);
        if (imageFound == Found::Yes) ok = ReadImageFile(image, imagePath) && ok;
        PutBackImageSettings(image, su.imageInfo);
    }
    if (!ok) {
        undoPos = oldPos;
        Host().MessageBox(kJournalDamaged);
        FinishMove(*this, false);
        return false;
    }
    FinishMove(*this, true);
    return true;
}

// --- undo brush ---------------------------------------------------------------------------

bool CVexoDoc::UndoBrushSelectSource() {
    if (undoPos < 1 || size_t(undoPos) >= steps.size() || !IsValidLayer(currentLayer)) return false;
    const LayerRecord& cur = Layer(currentLayer);
    const LayerRecordData& before = steps[size_t(undoPos) - 1].slots[currentLayer];
    if (cur.height != before.height || cur.width != before.width) {
        Host().MessageBox("바로 전과 현재 이미지의 크기가 상이하여 적용 불가");
        return false;
    }
    if (Host().CurrentTool() != 4669 && !Host().SwitchTool(4669)) return false;
    // Steps of the brush itself are passed over: the source is the state
    // before the last other step.
    int f = undoPos - 1;
    bool skipped = false;
    while (f >= 0 && steps[size_t(f)].label == u"작업취소붓") {
        --f;
        skipped = true;
    }
    const int source = skipped ? std::max(f - 1, 0) : undoPos - 1;
    const std::string folder = Host().JournalFolder();
    LayerSource src;
    if (ResolveSource(*this, folder, source, currentLayer, src) != Found::Yes) {
        Host().MessageBox(kJournalDamaged);
        return false;
    }
    if (src.rec.width != cur.width || src.rec.height != cur.height || src.rec.pixelSize != cur.pixelSize ||
        src.rec.kind != cur.kind) {
        Host().MessageBox("바로 전과 현재 이미지의 크기가 상이하여 적용 불가");
        return false;
    }
    const size_t pix = size_t(src.rec.pixelSize);
    std::unique_ptr<uint8_t[]> buf(new (std::nothrow) uint8_t[std::max<size_t>(pix, 1)]);
    if (!buf) return false;
    bool ok;
    if (src.step < 0) {
        Fd fd(open(journal::HeadFileName(folder, docSerial).c_str(), O_RDONLY | O_CLOEXEC));
        ok = fd.ok() && ReadAt(fd.get(), src.head.dataOffset, buf.get(), pix);
    } else if (cur.IsTextKind()) {
        ok = false;   // text layers keep no pixels in their files
    } else {
        Fd fd(open(journal::LayerFileName(folder, docSerial, src.step, currentLayer).c_str(), O_RDONLY | O_CLOEXEC));
        ok = fd.ok() && ReadAt(fd.get(), 0, buf.get(), pix);
    }
    if (!ok) {
        Host().MessageBox(kJournalDamaged);
        return false;
    }
    undoBrushSource = std::move(buf);
    undoBrushSourceSize = int32_t(pix);
    undoBrushSourceStep = source;
    return true;
}

// --- commands ----------------------------------------------------------------------------

namespace commands {
void RegisterUndoCommands(Table& t) {
    t.Add(4870, "실행 취소", [](CVexoDoc& doc, const std::vector<int>&) { return doc.Undo(); });
    t.Add(4871, "다시 실행", [](CVexoDoc& doc, const std::vector<int>&) { return doc.Redo(); });
    t.Add(4669, "작업취소붓", [](CVexoDoc& doc, const std::vector<int>&) { return doc.UndoBrushSelectSource(); });
}
}  // namespace commands
