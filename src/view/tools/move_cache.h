// The composites kept while the move tool carries a layer. A drag step
// changes nothing but the moving layer's place, so the layers below it and
// above it are not composited again at every step:
//
// * below: the composite of the layers under the moving one over the
//   picture window (the zoomed rectangle the view shows), built once at the
//   first paint of the move;
// * above: for every row of the window, the columns the layers over the
//   moving one draw on at all (pixels of alpha 0 change nothing under any
//   blend rule), also found once.
//
// A step then copies the rectangle from the kept composite below, puts the
// moving layer on it and the layers above only over the columns where they
// draw; the result is the full composite bit for bit. Everything is
// dropped when the move ends (the tool no longer names a moving layer) and
// at any other change of the document: a notice of anything but layers and
// recompositing ends them, and at those and before each use the stack is
// checked (layers, their pixel revisions, blend rules, fades, kinds, sizes,
// places but the moving layer's). Above zoom 1 the window shows few picture
// pixels and the whole stack is composited as usual.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "doc_change.h"

class CVexoDoc;

namespace tools {

class MoveCache : public DocObserver {
public:
    MoveCache() = default;
    ~MoveCache() override;
    MoveCache(const MoveCache&) = delete;
    MoveCache& operator=(const MoveCache&) = delete;

    // The zoomed rectangle the view shows (its picture part).
    void SetWindow(int left, int top, int width, int height);
    // Composites the zoomed rectangle as doc.CompositeRect(doc.headLayer,
    // -1, doc.zoom, ...) does; from the kept composites while `moving` is a
    // layer of the stack and the rectangle lies in the window.
    void Composite(CVexoDoc& doc, int moving, int left, int top, int width, int height, uint8_t* dst,
                   ptrdiff_t stride);
    void Drop();

    bool Holds() const { return doc_ != nullptr; }
    // How often the composites were built (for tests and measurements).
    int Builds() const { return builds_; }

    void DocumentChanged(CVexoDoc& doc, const DocChange& change) override;

private:
    std::vector<int64_t> Signature(const CVexoDoc& doc, int moving) const;
    bool Build(CVexoDoc& doc, int moving);

    CVexoDoc* doc_ = nullptr;
    int moving_ = -1;
    int winLeft_ = 0, winTop_ = 0, winW_ = 0, winH_ = 0;
    int left_ = 0, top_ = 0, w_ = 0, h_ = 0;   // the window the composites were built for
    std::vector<int64_t> signature_;
    std::vector<uint8_t> below_;                 // w_ x h_ BGRA
    std::vector<int> aboveFrom_, aboveTo_;       // per row: the columns [from, to) the layers above draw on
    int builds_ = 0;
};

}  // namespace tools
