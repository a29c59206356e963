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
}

class CVexoDoc {
public:
    explicit CVexoDoc(DocHost* host);
    ~CVexoDoc();
    CVexoDoc(const CVexoDoc&) = delete;
    CVexoDoc& operator=(const CVexoDoc&) = delete;

    DocHost& Host() const { return *host_; }
    // A document built by one window and handed to another changes host.
    void SetHost(DocHost* host) { host_ = host; }

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
    void CompositeRun(int start, int count, uint8_t* bgra) const;
    // Flatten (mode 1), merge (mode 2) or save (mode 3) through the compositor.
    bool RenderThroughView(int mode);
    void RenderShadow(int index);

    // --- command frame (command_frame.cpp) ---------------------------------
    bool BeginLayerOp(int index);
    void EndLayerOp(int index, bool repaint);
    // Guard of pixel commands: false (after the message) for text layers.
    bool GuardRasterLayer();

    // --- files (vor_io.cpp, doc_open_save.cpp) --------------------------------
    bool Open(const std::string& path);
    bool Save(const std::string& path);

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
    std::string path;

    bool selectionActive = false;
    bool selectionInverted = false;
    bool outlineChanged = false;
    bool busy = false;
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
