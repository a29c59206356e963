// The one change notice of a document. Everything that changes a document
// tells it what changed (CVexoDoc::Notify); the document hands the notice to
// each of its observers: the windows of its views, the layers panel and any
// other panel that shows it. Nobody polls a document for changes.
//
// A notice says what kind of thing changed; a change of pixels also names
// the layer (or -1 for several or all). Every layer slot keeps a revision
// that a pixel notice raises, so an observer that keeps something built from
// a layer (a thumbnail) rebuilds it only when that layer's revision moved.
//
// Changes made inside a batch (CVexoDoc::BeginChanges / EndChanges, or a
// ChangeBatch on the stack) reach the observers once, merged, when the
// outermost batch ends. Notices come from the thread that edits the
// document (the user-interface thread); workers never send them.
#pragma once

#include <cstdint>

class CVexoDoc;

namespace docchange {
enum What : unsigned {
    Layers = 1u << 0,      // the stack, the current layer, a layer's name, kind, flags, blend, fade or place
    Pixels = 1u << 1,      // the pixels, alpha or size of DocChange::layer (-1: several or all)
    Selection = 1u << 2,   // the selection mask or its outline
    Journal = 1u << 3,     // the undo ring: a step recorded, undone or redone
    Canvas = 1u << 4,      // canvas size, bits per pixel, resolution, palette
    Composite = 1u << 5,   // the picture must be recomposited (what changed is not said)
    Repaint = 1u << 6,     // the views repaint what they show (outline, overlay), no recomposite
    Active = 1u << 7,      // another document became the active one (sent by the application)
    Closing = 1u << 8,     // the document is going away: drop every reference to it
};
// What makes the views recomposite.
inline constexpr unsigned kRecomposite = Layers | Pixels | Canvas | Composite;
}  // namespace docchange

struct DocChange {
    unsigned what = 0;
    int layer = -1;   // with Pixels: the layer whose pixels changed, -1 several or all
    bool Has(unsigned bits) const { return (what & bits) != 0; }
};

class DocObserver {
public:
    virtual ~DocObserver() = default;
    virtual void DocumentChanged(CVexoDoc& doc, const DocChange& change) = 0;
};

// Groups the changes of one command into one notice.
class ChangeBatch {
public:
    explicit ChangeBatch(CVexoDoc& doc);
    ~ChangeBatch();
    ChangeBatch(const ChangeBatch&) = delete;
    ChangeBatch& operator=(const ChangeBatch&) = delete;

private:
    CVexoDoc& doc_;
};
