// What documents cost in memory, and the budget they must stay within.
//
// A document's working set is estimated from its sizes, not measured: every
// layer's pixels, alpha and effect planes twice (the live layers and their
// previous-state copy), the preview copy of one layer, the two scratch
// buffers and the selection mask at the largest layer's size, the 32-bit
// composite of the canvas and the document image. A one-layer true-colour
// document therefore costs 27 bytes per pixel (27 MB per megapixel).
//
// The budget is, in this order: the environment variable
// PIMLORA_MEMORY_BUDGET_MB (whole megabytes), the value of the options
// dialog (0 = automatic), or half of the physical memory (or of the memory
// limit of the process's control group, when that is lower). It covers the
// documents of one thread together (the editor's windows, or a pimlora-cli
// run). Opening a picture and every change that enlarges a document are
// refused with a message when they would exceed it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class CVexoDoc;
struct LayerRecord;

namespace docmem {

// The message of every operation that ran out of memory on the way.
inline constexpr const char* kOutOfMemory = "메모리가 부족합니다";
inline constexpr const char* kBudgetVariable = "PIMLORA_MEMORY_BUDGET_MB";
inline constexpr int64_t kMaxBudgetMB = int64_t(1) << 24;   // 16 TiB

// Range of the setting: 0 (automatic) or 1 MB up to kMaxBudgetMB.
int64_t ClampBudgetMB(int64_t mb);
// The options dialog's value; 0 = automatic.
void SetConfiguredBudgetMB(int64_t mb);
int64_t ConfiguredBudgetMB();
// Half of the memory the process can have.
int64_t DefaultBudgetBytes();
// The budget in force (environment, setting, default).
int64_t BudgetBytes();

// Estimated bytes of a document as it is.
int64_t WorkingSet(const CVexoDoc& doc);
// The same with the buffers of one slot resized (pixelSize, planeSize; 0
// and 0 for a freed slot) and the canvas resized to canvasW x canvasH.
int64_t WorkingSetWithSlot(const CVexoDoc& doc, int slot, int64_t pixelSize, int64_t planeSize, int canvasW,
                           int canvasH);
// The same with every layer of the stack given the size `resize` chooses
// (it gets the slot and the layer and changes width and height), on a
// canvas of W2 x H2.
using LayerResize = std::function<void(int slot, const LayerRecord& layer, int& width, int& height)>;
int64_t WorkingSetWithLayers(const CVexoDoc& doc, const LayerResize& resize, int W2, int H2);
// Of the one-layer document a width x height picture of bitCount bits
// opens as (layers become true colour).
int64_t PictureWorkingSet(int width, int height, int bitCount);
// Estimated bytes of the other documents of this thread.
int64_t OtherDocuments(const CVexoDoc* except, const CVexoDoc* alsoExcept = nullptr);

// Documents announce themselves while they live.
void Register(const CVexoDoc* doc);
void Unregister(const CVexoDoc* doc);

// While one lives on a thread, refusals speak of opening a picture (the
// document's open uses one around reading a file).
struct OpeningScope {
    OpeningScope();
    ~OpeningScope();
    OpeningScope(const OpeningScope&) = delete;
    OpeningScope& operator=(const OpeningScope&) = delete;
};

// The refusal text: opening (a picture) or working (a command).
std::string RefusalMessage(bool opening, int64_t needed, int64_t budget);
// True when the document may grow to `projected` bytes (its own estimate
// after the change): within the budget together with the other documents,
// or not larger than it is now. Otherwise the refusal is shown through the
// document's host, kept in lastError, and false is returned.
bool AllowGrowth(CVexoDoc& doc, int64_t projected);
// AllowGrowth for the layer of `slot` made width x height at the canvas's
// bits per pixel (one byte per pixel for text and balloon layers).
bool AllowLayerSize(CVexoDoc& doc, int slot, int width, int height);
// A new document of `cost` bytes made from `from` (duplicates): within the
// budget together with every document there is, or refused as AllowGrowth.
bool AllowNewDocument(CVexoDoc& from, int64_t cost);

}  // namespace docmem
