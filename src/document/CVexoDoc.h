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
//   text_layers.cpp      text layers: build, edit, rasterize (1545)
//   balloon.cpp          speech balloons: BuildBalloon
//   doc_change.cpp       the change notice and its observers
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "VaZavi.h"
#include "anchor_path.h"
#include "doc_change.h"
#include "free_transform.h"
#include "doc_host.h"
#include "layer_set.h"
#include "paint_state.h"
#include "prepared_layer.h"

struct UndoStep;   // undo_journal.h
namespace journal {     // journal_writer.h
struct DocJournal;
}
namespace textlayer {   // text_layers.h
struct TextSettings;
struct TextDialogValues;
}

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
    // A document built by one window and handed to another changes host.
    void SetHost(DocHost* host) { host_ = host; }

    // --- change notice (doc_change.cpp, doc_change.h) -----------------------
    // Tells the observers what changed (docchange::What bits); a change of
    // pixels names its layer (-1: several or all) and raises its revision.
    void Notify(unsigned what, int layer = -1);
    void AddObserver(DocObserver* observer);
    void RemoveObserver(DocObserver* observer);
    // Notices between these reach the observers as one, at the outermost end.
    void BeginChanges();
    void EndChanges();
    // Raised by every pixel notice of the slot (and of all slots).
    uint64_t LayerRevision(int slot) const;
    // Tells the observers the document goes away (the destructor does).
    void SayClosing();

    // --- layer slots (layer_stack.cpp) ------------------------------------
    bool SetupLayerBuffers(int height, int width, const std::u16string& name, int colorFormat, int bitsPerPixel,
                           int paletteColors, uint8_t alphaFill, int slot, int x, int y, int paletteMode,
                           int canvasWidthOverride, int canvasHeightOverride, int selectionReset, int tag,
                           int kind, int link, bool centre, PreparedLayer* prepared = nullptr);
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
    // Moves a layer to another place in the stack (position 0 the bottom)
    // and records "레이어 위치 이동"; false (nothing recorded) when it is
    // there already or either is out of the stack.
    bool MoveLayerInStack(int index, int position);
    // The layers panel's switches of a layer (no undo step; the document
    // counts as changed): visibility, blend mode 0-9, fade 0-255.
    bool SetLayerVisible(int index, bool visible);
    bool SetLayerBlend(int index, int mode);
    bool SetLayerTransparency(int index, int transparency);
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

    // Sets the canvas size and its derived buffer sizes.
    void SetCanvasSize(int width, int height);

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
    // With `onto` the layers go over what the destination already holds
    // (at and below zoom 1 only: above it nothing is done), so that a run
    // may be composited in parts: [a, b) then onto it [b, c) gives the
    // pixels of [a, c) bit for bit.
    void CompositeRect(int start, int count, double zoomFactor, int left, int top, int width, int height,
                       uint8_t* dst, ptrdiff_t dstStride, int designated = -1, bool onto = false) const;
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
    // Opens a picture already in memory (pimlora-cli convert to VOR): as
    // Open does with a decoded file; the picture is taken over.
    bool OpenPicture(VaZavi& picture, const std::string& name);
    // The picture as the single layer of this fresh document (doc_open_save.cpp);
    // with `prepared` buffers of the picture's size, those become the layer.
    // With `pending` (a 24-bit picture's layer still being filled), the
    // layer is made without buffers and settled later (SettleLayers).
    bool TakePicture(VaZavi& picture, const std::u16string& title, PreparedLayer* prepared = nullptr,
                     std::unique_ptr<PendingFill> pending = nullptr);
    // The work of Open and Save; those two catch what runs out of memory.
    bool OpenFile(const std::string& path);
    bool SaveFile(const std::string& path);
    // After every successful open: new docSerial, current bottom layer,
    // 24-bit conversion, the first undo step.
    void PostOpen();
    // Set before an open: its first undo step ("Opening....") waits for
    // FinishOpening(), so that the editor shows the picture first. Nothing
    // may change the document in between (the editor records the step before
    // it handles any input).
    bool deferOpeningStep = false;
    bool OpeningStepPending() const { return openingStepPending_; }
    // Records the step an open left waiting; nothing when none waits.
    void FinishOpening();

    // --- a layer filled after the first paint (layer_pending.cpp) -------------
    // An open with its opening step deferred may also leave the fill of the
    // picture's layer running on the decode's helper thread: until it is
    // settled the layer has no buffers and the compositor shows the document
    // image (the same picture) in its place. Every command, undo step, save,
    // layer operation and the end of the document settle it first; the
    // editor does after its first paint and before it handles any input.
    bool LayersPending() const { return pendingSlot_ != kNoLayer; }
    // Waits for that fill and gives the layer its buffers and the selection
    // its mask; nothing when none is pending. Throws std::bad_alloc, leaving
    // the layer pending, only when the fill failed and no memory is left to
    // do it here.
    void SettleLayers();
    // How many documents of this process have a layer pending.
    static int PendingLayerDocuments();
    // Where the compositor reads a layer's rows: its own buffers, or, while
    // it is pending, the document image's rows and one opaque alpha row for
    // every row (stride 0). Null pixels: nothing to read.
    struct LayerRows {
        const uint8_t* pixels = nullptr;
        size_t pixelStride = 0;
        const uint8_t* alpha = nullptr;
        size_t alphaStride = 0;
    };
    LayerRows RowsOf(int slot) const;
    bool ConvertToRgb();          // command 2091 (every layer)
    bool ReduceTo256Colours();    // command 2016

    // --- undo journal (undo_journal.cpp) -------------------------------------
    bool RecordUndoStep(const std::u16string& label, int type, int layer);
    // A step of type 0 that changed settings only (the document image's, or
    // the layer's record), no pixels: it keeps no copy of the layer.
    bool RecordSettingsStep(const std::u16string& label, int layer);
    // Journal files are written behind by a helper thread. CheckJournal
    // reports (through the host) the writes that failed so far; FlushJournal
    // first waits for every pending write. Both return false when something
    // was reported.
    bool CheckJournal();
    bool FlushJournal();
    bool Undo();
    bool Redo();
    bool CanUndo() const { return undoPos > 0; }
    bool CanRedo() const { return redoTop > undoPos && undoPos >= 0; }
    // Undo brush (command 4669): picks the source step and keeps the current
    // layer's pixels of that step in undoBrushSource.
    bool UndoBrushSelectSource();
    // Writes the layer files of every layer in the stack for the current
    // step: whole-document commands (image size, canvas turns and flips)
    // call it before they change the layers, so that undo can rebuild them.
    // A layer whose files already hold it and the selection exactly as they
    // are (checked against the snapshots the writer still holds) is not
    // written again.
    //
    // A command that replaces every layer's buffers (image size, canvas
    // size) passes `fromOwnBuffers`: the layers' files are then written from
    // their own buffers, handed to the journal by JournalReplacedLayer just
    // before the command replaces them, instead of from a copy taken now
    // (nothing is compared either). JournalUnreplacedLayers writes those of
    // the layers the command did not replace (it failed on the way).
    bool JournalAllLayers(bool fromOwnBuffers = false);
    void JournalReplacedLayer(int slot);
    void JournalUnreplacedLayers();
    // Writes the document image for the current step. Commands that change
    // the image call it before the change (changedByStep false: written
    // only when the step has no image file yet) and again after recording
    // their step (changedByStep true: the step is marked as the change).
    bool JournalImage(bool changedByStep);
    // Removes every journal file of this document (when it closes).
    void DiscardJournalFiles();

    // --- selection (selection.cpp) ---------------------------------------------
    // Canvas pixel (origin top-left) to layer pixel (column, stored row).
    void CanvasToLayer(int index, int canvasX, int canvasY, int& layerX, int& layerRow) const;
    // A point of the view in zoomed image coordinates to a canvas pixel.
    void ZoomedToCanvas(int zx, int zy, int& canvasX, int& canvasY) const;
    // Fits the mask to the layer: 1 outside an active selection, 0 inside
    // one, the old bytes kept where the rectangles overlap on the canvas.
    void FitSelectionToLayer(int index);
    // No selection: a mask of the layer's size and place, all 1.
    void ResetSelectionMask(int index);
    void InvertSelection();                 // 2058
    void ClearSelection();                  // 2060 (the document's part)
    void FinishSelectionShape();            // mask bytes 2 become 1
    // Magic wand at a canvas pixel with tolerance T (sum of |dB|+|dG|+|dR| < T).
    bool MagicWand(int canvasX, int canvasY, int tolerance, bool addMode);
    // Colour range: pixels within the tolerance of colour (packed with blue
    // in the low byte, PackBGR); mode 0 new selection, 1 add to it.
    // Returns the number of pixels marked, -1 when refused.
    int SelectColourRange(uint32_t colour, int tolerance, int mode);
    // Rectangle (1), ellipse (2), lasso (3) and polygon (5) from canvas
    // points, widened by the feather width.
    struct CanvasPoint {
        int x, y;
    };
    bool SelectShape(int shape, const std::vector<CanvasPoint>& points, int feather);
    // The selected part of the current layer as a packed 24-bit DIB.
    bool SelectionToDib(std::vector<uint8_t>& packedDib) const;
    bool CropToNewDocument();               // 1482

    // --- text and balloon layers (text_layers.cpp, balloon.cpp) ---------------
    // The OK of the text dialog: builds a new text layer (edit false; click
    // at the view position clickX, clickY) or rebuilds the current one, then
    // records "글자입력" (type 5) or "글자수정" (type 4). A balloon tool
    // (4828, 4829) being current makes it a balloon layer.
    bool EditTextLayer(bool edit, int clickX, int clickY, const textlayer::TextDialogValues& values);
    // Builds the layer without recording a step; the slot built, or -1.
    int BuildTextLayer(bool edit, int clickX, int clickY, const textlayer::TextSettings& settings,
                       const std::u16string& text);
    // Balloon around the current layer's text (style 1 outline, 2 ellipse).
    bool BuildBalloon(bool recompute, int tailX, int tailY, int style = 2, int lineWidth = 2);
    // Command 1545: the current text or balloon layer becomes a raster layer.
    bool RasterizeTextLayer();
    // Balloon outline of the last balloon built (layer pixel coordinates, top-down).
    int balloonPointCount = 0;
    int balloonPoints[7][2] = {};

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
    // The buffers of the last layer a quarter turn replaced, kept for the
    // next transform that needs buffers of the same sizes (the turn back).
    LayerRecord spareBuffers;
    // Slots whose previous-state buffers a quarter turn has already filled
    // with the turned layer's bytes: the next refresh of the previous-state
    // copy takes only their records (and clears the marks).
    bool prevStateFilled[kMaxLayers] = {};

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
    std::unique_ptr<journal::DocJournal> journal;   // writer and step numbering, made on first use
    // Off only for timing an operation by itself (pimlora-cli apply
    // --no-undo): steps then refresh the previous-state copy and write no
    // journal files, so nothing can be undone.
    bool recordUndo = true;

    // View state kept for the view and put back by undo and redo; the
    // journal copies them unchanged.
    int32_t viewRect[4] = {0, 0, 0, 0};
    int32_t viewSettings[30] = {};
    int32_t frameRect[4] = {0, 0, 0, 0};
    int32_t frameValues[2] = {0, 0};   // handed over by whole-document commands

    // Undo brush source: the current layer's pixels of the source step.
    std::unique_ptr<uint8_t[]> undoBrushSource;
    int32_t undoBrushSourceSize = 0;
    int undoBrushSourceStep = -1;

    // Colour range: the reference colour and tolerance last used.
    uint32_t rangeColour = 0;
    int rangeTolerance = 10;

    // The path of the path tools (anchor_path.h), kept while other tools run.
    docpath::AnchorPath anchorPath;
    // The free transform in progress (free_transform.h); selecting another
    // layer applies it.
    docxform::Session freeTransform;

    // Paint operations (paint.h): the area painted since the last commit,
    // the area the view has still to repaint, the last droplet position.
    paint::PaintState paintState;

private:
    DocHost* host_;
    std::vector<DocObserver*> observers_;
    int batchDepth_ = 0;
    DocChange pending_;
    uint64_t layerRevision_[kMaxLayers] = {};
    uint64_t revisionCounter_ = 0;
    bool openingStepPending_ = false;
    // The layers JournalAllLayers(true) left to JournalReplacedLayer (or,
    // when the command did not reach them, to JournalUnreplacedLayers).
    std::vector<int> layersJournaledOnReplace_;
    // The pending layer (see SettleLayers): its fill, its slot, and the
    // alpha the compositor gives every one of its rows meanwhile.
    std::unique_ptr<PendingFill> pendingFill_;
    int pendingSlot_ = kNoLayer;
    std::vector<uint8_t> pendingAlphaRow_;
    void SetPending(std::unique_ptr<PendingFill> fill, int slot);
    void DropPending();
};
