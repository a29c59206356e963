// CVexoDoc: one open picture. 40 layer slots linked into a stack, the canvas
// header, palette, selection, scratch buffers, the previous-state and preview
// copies of the layers, the undo ring, and the document image (the picture it
// was opened from or created as).
//
// The class is split by concern over several files:
//   CVexoDoc.cpp         construction, queries
//   layer_stack.cpp      slots, links, add/delete/select/merge/flatten
//   compositing.cpp      CompositeLayer, RenderThroughView, shadow effect
//   vor_io.cpp           VOR reader and writer
//   doc_open_save.cpp    open by extension, flat-format save
//   command_frame.cpp    BeginLayerOp / EndLayerOp and the guards
//   undo_journal.cpp     RecordUndoStep, undo, redo, undo brush
//   selection.cpp        selection mask, wand, colour range, shapes
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "VaZavi.h"
#include "doc_host.h"
#include "layer_set.h"

struct UndoStep;   // undo_journal.h

// Korean texts shared by several commands.
namespace doctext {
inline constexpr const char* kTextLayerRefused =
    "현재는 [글] 혹은 [말풍선] 레이어. \n\r레이어창에서 다른 레이어 선택";
inline constexpr const char* kTextLayersPresent =
    "[글] 또는 [말풍선] 레이어가 포함되어 있습니다. [레스터 형식 변환] 후 다시 실행하십시요.";
}

// Stride of a layer row: ((width * bits + 31) / 32) * 4.
int64_t LayerStride(int width, int bitsPerPixel);

class ImageStream;

class CVexoDoc {
public:
    explicit CVexoDoc(DocHost* host);
    ~CVexoDoc();
    CVexoDoc(const CVexoDoc&) = delete;
    CVexoDoc& operator=(const CVexoDoc&) = delete;

    DocHost& Host() const { return *host_; }

    // --- layer slots (layer_stack.cpp) ------------------------------------
    bool SetupLayerBuffers(int height, int width, const std::u16string& name, int colorFormat, int bitsPerPixel,
                           int paletteColors, uint8_t alphaFill, int slot, int x, int y, int paletteMode,
                           int canvasWidthOverride, int canvasHeightOverride, int selectionReset, int tag,
                           int kind, int link, bool centre);
    bool InsertLayer(int slot, int below);
    bool DeleteLayer(int index, bool recordUndo);
    bool SelectLayer(int index);
    bool MergeLayerPair(int lower, int upper);
    bool FlattenDocument();
    bool AddLayer();                     // command 1552
    // A new picture: a white, opaque 24-bit canvas of one layer of kind 1
    // (slot 0, "배경영상"), the document image of the same size.
    bool NewImage(int width, int height);
    bool RenameLayer(const std::u16string& name);
    // The layer move of the move tool: dx, dy in picture pixels (dy down);
    // refused beyond one layer size off its place.
    bool MoveLayer(int index, int dx, int dy, bool recordUndo);   // current layer, at most 99 units kept
    // (Re)allocates the two scratch buffers when their sizes differ.
    bool EnsureScratch(int32_t pixelSize, int32_t planeSize);

    // Queries walking the stack from headLayer through next.
    int TopLayer() const;
    int LayerCount() const;
    int LayerAt(int position) const;
    int LayerPosition(int layer, int relativeTo) const;
    int TopVisibleLayer() const;
    int FirstLinkedLayer() const;
    int FindLayerByName(const std::u16string& name) const;
    bool InStack(int index) const;
    std::vector<int> StackOrder() const;   // bottom to top

    LayerRecord& Layer(int index) { return live.layers[index]; }
    const LayerRecord& Layer(int index) const { return live.layers[index]; }
    LayerRecord* CurrentLayerPtr() { return IsValidLayer(currentLayer) ? &live.layers[currentLayer] : nullptr; }

    // --- compositing (compositing.cpp) --------------------------------------
    // Composites the visible layers of the run (start, count; count -1 = up to
    // the top) into a 32-bit BGRA destination of canvas size at zoom 1.0.
    // Rows bottom-up (canvas stored row R at bgra + R * width * 4).
    void CompositeRun(int start, int count, uint8_t* bgra) const;
    // Composites the run into a BGRA rectangle of the zoomed canvas: width x
    // height destination pixels whose top-left is (left, top) in zoomed
    // picture coordinates (origin top-left). Destination row i (top first)
    // starts at dst + i * dstStride; pixels outside the canvas stay 0. Layer
    // `designated` (or none, -1) replaces the colour instead of blending.
    void CompositeRect(int start, int count, double zoomFactor, int left, int top, int width, int height,
                       uint8_t* dst, ptrdiff_t dstStride, int designated = -1) const;
    // Re-renders the effects of the visible layers of a run (not while a
    // selection is active).
    void RefreshEffects(int start, int count);
    void ClearSelectionAfterRender();
    // Nearest document palette entry (sum of channel distances; first on
    // ties; 0 without a palette).
    int NearestPaletteIndex(uint32_t colour) const;
    // Flatten (mode 1), merge (mode 2) or save (mode 3) through the compositor.
    bool RenderThroughView(int mode);
    void RenderShadow(int index);

    // --- command frame (command_frame.cpp) ---------------------------------
    bool BeginLayerOp(int index);
    // False when nothing was copied back (the layer changed size meanwhile).
    bool EndLayerOp(int index, bool repaint);
    // Guard of pixel commands: false (after the message) for text layers.
    bool GuardRasterLayer();
    // Guard of canvas-wide commands: false when any layer is text or balloon.
    bool GuardAllRasterLayers();

    // --- files (vor_io.cpp, doc_open_save.cpp) --------------------------------
    // Open by extension; the document is unchanged when the open fails.
    bool Open(const std::string& path);
    // Save by extension: VOR ("vor", "sco") or a flat format through the
    // composite; the file replaced survives a failed save.
    bool Save(const std::string& path);
    // The VOR reader (into a fresh document) and writer (vor_io.cpp).
    bool ReadVor(ImageStream& in, const std::string& filePath);
    bool WriteVor(const std::string& target);
    // Takes over the layers, canvas, palette and image of a document that
    // was read on the side.
    void AdoptState(CVexoDoc& from);
    // After every successful open: new docSerial, current bottom layer,
    // 24-bit conversion, the first undo step.
    void PostOpen();
    bool ConvertToRgb();          // command 2091 (every layer)
    bool ReduceTo256Colours();    // command 2016

    // --- undo journal (undo_journal.cpp) -------------------------------------
    bool RecordUndoStep(const std::u16string& label, int type, int layer);
    bool Undo();
    bool Redo();

    // --- state -----------------------------------------------------------------
    ImageSet live;          // the layers as they are
    ImageSet prevState;     // previous-state copy, refreshed after every step
    ImageSet preview;       // copy taken before a dialog with live preview
    VaZavi image;           // the document image: palette and colour format

    int headLayer = kNoLayer;
    int currentLayer = kNoLayer;
    int docSerial = 0;
    std::string displayName;
    std::string lastError;   // why the last Open or Save failed (for the command line)
    std::string path;

    bool selectionActive = false;
    bool selectionInverted = false;
    bool outlineChanged = false;
    bool busy = false;
    bool mergePending = false;    // a merge deletes its upper layer without an undo step
    bool selectionDrag = false;   // a selection shape is being drawn
    bool viewRebuild = true;
    bool modified = false;
    bool keepScratch = false;

    // Scratch buffers of the command frame (pixels and alpha of the layer
    // last prepared) and their size.
    std::unique_ptr<uint8_t[]> scratchPixels;
    std::unique_ptr<uint8_t[]> scratchAlpha;
    int32_t scratchPixelSize = 0;
    int32_t scratchPlaneSize = 0;

    // Composite request and the composite buffer (canvas width x height x 4).
    int compositeStart = kNoLayer;
    int compositeCount = -1;
    std::vector<uint8_t> composite;

    int32_t filterParams[2] = {0, 0};
    double zoom = 1.0;
    double angle = 0.0;

    // Undo ring.
    int undoPos = -1;
    int redoTop = -1;
    std::vector<UndoStep> steps;   // 20 records once the journal starts

private:
    DocHost* host_;
};
