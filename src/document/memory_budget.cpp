#include "memory_budget.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "CVexoDoc.h"

namespace docmem {
namespace {

std::atomic<int64_t> gConfiguredMB{0};
thread_local int tOpening = 0;

struct Entry {
    const CVexoDoc* doc;
    std::thread::id thread;
};
std::mutex gLock;
std::vector<Entry> gDocuments;

constexpr int64_t kMB = int64_t(1) << 20;

// Bytes of a layer's pixels, alpha and effect plane.
int64_t LayerBytes(int64_t pixelSize, int64_t planeSize) { return pixelSize + 2 * planeSize; }

int64_t ReadLimit(const char* file) {
    std::ifstream in(file);
    std::string text;
    if (!(in >> text) || text == "max") return -1;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno || !end || *end || v <= 0) return -1;
    return v;
}

// Sizes of the slots after a change: slot i gets sizes[i] (pixel bytes,
// plane bytes, text units).
struct SlotSizes {
    int64_t pixel[kMaxLayers] = {}, plane[kMaxLayers] = {}, text[kMaxLayers] = {};
};

SlotSizes CurrentSizes(const CVexoDoc& doc) {
    SlotSizes s;
    for (int i = 0; i < kMaxLayers; ++i) {
        const LayerRecord& L = doc.live.layers[i];
        if (!L.pixels && !L.alpha) continue;
        s.pixel[i] = std::max(0, L.pixelSize);
        s.plane[i] = std::max(0, L.planeSize);
        s.text[i] = L.text ? std::max(0, L.textLength) + 1 : 0;
    }
    return s;
}

int64_t Estimate(const CVexoDoc& doc, const SlotSizes& s, int canvasW, int canvasH) {
    int64_t layers = 0, largest = 0, largestPixels = 0, largestPlane = 0;
    for (int i = 0; i < kMaxLayers; ++i) {
        const int64_t bytes = LayerBytes(s.pixel[i], s.plane[i]) + 2 * s.text[i];
        layers += bytes;
        largest = std::max(largest, bytes);
        largestPixels = std::max(largestPixels, s.pixel[i]);
        largestPlane = std::max(largestPlane, s.plane[i]);
    }
    const int64_t canvas = int64_t(std::max(0, canvasW)) * std::max(0, canvasH);
    return 2 * layers                       // live layers and the previous-state copy
           + largest                        // the preview copy of one layer
           + largestPixels + largestPlane   // the scratch buffers
           + largestPlane                   // the selection mask
           + 4 * canvas                     // the composite
           + int64_t(doc.image.DibSize());  // the document image
}

std::string Megabytes(int64_t bytes) { return std::to_string((bytes + kMB - 1) / kMB); }

}  // namespace

int64_t ClampBudgetMB(int64_t mb) { return mb <= 0 ? 0 : std::min(mb, kMaxBudgetMB); }

void SetConfiguredBudgetMB(int64_t mb) { gConfiguredMB = ClampBudgetMB(mb); }
int64_t ConfiguredBudgetMB() { return gConfiguredMB; }

int64_t DefaultBudgetBytes() {
    static const int64_t bytes = [] {
        const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
        int64_t total = pages > 0 && pageSize > 0 ? int64_t(pages) * pageSize : int64_t(1) << 32;
        for (const char* f : {"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory/memory.limit_in_bytes"})
            if (const int64_t limit = ReadLimit(f); limit > 0) total = std::min(total, limit);
        return total / 2;
    }();
    return bytes;
}

int64_t BudgetBytes() {
    if (const char* v = std::getenv(kBudgetVariable); v && *v) {
        errno = 0;
        char* end = nullptr;
        const long long mb = std::strtoll(v, &end, 10);
        if (!errno && end && *end == 0 && mb > 0) return ClampBudgetMB(mb) * kMB;
    }
    if (const int64_t mb = gConfiguredMB; mb > 0) return mb * kMB;
    return DefaultBudgetBytes();
}

int64_t WorkingSet(const CVexoDoc& doc) {
    return Estimate(doc, CurrentSizes(doc), doc.live.canvas.width, doc.live.canvas.height);
}

int64_t WorkingSetWithSlot(const CVexoDoc& doc, int slot, int64_t pixelSize, int64_t planeSize, int canvasW,
                           int canvasH) {
    SlotSizes s = CurrentSizes(doc);
    if (IsValidLayer(slot)) {
        s.pixel[slot] = pixelSize;
        s.plane[slot] = planeSize;
        s.text[slot] = 0;
    }
    return Estimate(doc, s, canvasW, canvasH);
}

int64_t WorkingSetWithLayers(const CVexoDoc& doc, const LayerResize& resize, int W2, int H2) {
    SlotSizes s = CurrentSizes(doc);
    const int bpp = doc.live.canvas.bitsPerPixel > 0 ? doc.live.canvas.bitsPerPixel : 24;
    for (int i : doc.StackOrder()) {
        const LayerRecord& L = doc.live.layers[i];
        int w = L.width, h = L.height;
        resize(i, L, w, h);
        const int64_t plane = int64_t(std::max(1, w)) * std::max(1, h);
        s.plane[i] = plane;
        s.pixel[i] = L.IsTextKind() ? plane : LayerStride(std::max(1, w), bpp) * std::max(1, h);
    }
    return Estimate(doc, s, W2, H2);
}

int64_t PictureWorkingSet(int width, int height, int bitCount) {
    if (width <= 0 || height <= 0) return 0;
    const int64_t plane = int64_t(width) * height;
    const int64_t pixels = LayerStride(width, 24) * height;
    const int bits = bitCount <= 1 ? 1 : bitCount <= 4 ? 4 : bitCount <= 8 ? 8 : bitCount <= 24 ? 24 : 32;
    const int64_t dib = 40 + (bits <= 8 ? (int64_t(1) << bits) * 4 : 0) + LayerStride(width, bits) * height;
    const int64_t layer = LayerBytes(pixels, plane);
    return 2 * layer + layer + pixels + plane + plane + 4 * plane + dib;
}

int64_t OtherDocuments(const CVexoDoc* except, const CVexoDoc* alsoExcept) {
    std::vector<const CVexoDoc*> docs;
    {
        std::lock_guard<std::mutex> guard(gLock);
        const std::thread::id me = std::this_thread::get_id();
        for (const Entry& e : gDocuments)
            if (e.thread == me && e.doc != except && e.doc != alsoExcept) docs.push_back(e.doc);
    }
    int64_t total = 0;
    for (const CVexoDoc* d : docs) total += WorkingSet(*d);
    return total;
}

void Register(const CVexoDoc* doc) {
    std::lock_guard<std::mutex> guard(gLock);
    gDocuments.push_back({doc, std::this_thread::get_id()});
}

void Unregister(const CVexoDoc* doc) {
    std::lock_guard<std::mutex> guard(gLock);
    gDocuments.erase(std::remove_if(gDocuments.begin(), gDocuments.end(), [doc](const Entry& e) { return e.doc == doc; }),
                     gDocuments.end());
}

std::string RefusalMessage(bool opening, int64_t needed, int64_t budget) {
    return std::string(opening ? "메모리가 부족하여 그림을 열 수 없습니다" : "메모리가 부족하여 작업할 수 없습니다") +
           ": 약 " + Megabytes(needed) + " MB가 필요하지만 허용된 메모리는 " + Megabytes(budget) + " MB입니다.";
}

OpeningScope::OpeningScope() { ++tOpening; }
OpeningScope::~OpeningScope() { --tOpening; }

bool AllowGrowth(CVexoDoc& doc, int64_t projected) {
    const int64_t now = WorkingSet(doc);
    if (projected <= now) return true;
    const int64_t budget = BudgetBytes();
    const int64_t total = projected + OtherDocuments(&doc);
    if (total <= budget) return true;
    doc.lastError = RefusalMessage(tOpening > 0, total, budget);
    doc.Host().MessageBox(doc.lastError);
    return false;
}

bool AllowLayerSize(CVexoDoc& doc, int slot, int width, int height) {
    if (!IsValidLayer(slot) || width < 1 || height < 1) return true;
    const LayerRecord& L = doc.live.layers[slot];
    const int bpp = doc.live.canvas.bitsPerPixel > 0 ? doc.live.canvas.bitsPerPixel : 24;
    const int64_t plane = int64_t(width) * height;
    const int64_t pixels = L.IsTextKind() ? plane : LayerStride(width, bpp) * height;
    return AllowGrowth(doc, WorkingSetWithSlot(doc, slot, pixels, plane, doc.live.canvas.width,
                                               doc.live.canvas.height));
}

bool AllowNewDocument(CVexoDoc& from, int64_t cost) {
    const int64_t budget = BudgetBytes();
    const int64_t total = cost + OtherDocuments(nullptr);
    if (total <= budget) return true;
    from.lastError = RefusalMessage(false, total, budget);
    from.Host().MessageBox(from.lastError);
    return false;
}

}  // namespace docmem
