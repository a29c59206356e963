// The command frame: every document command tells the main frame which
// command runs while it runs (and -1 afterwards), works on a layer through
// the document's two scratch buffers (BeginLayerOp / EndLayerOp), and
// refuses text and balloon layers where it needs pixels (GuardRasterLayer).
#pragma once

class CVexoDoc;
struct LayerRecord;

// Guard of layer transforms: refuses text and balloon layers with their own
// messages (and a missing layer silently).
bool GuardLayerTransform(CVexoDoc& doc);

// Gives `out` the record of L with buffers of width x height at bpp (text
// copied; pixels and alpha left for the caller, effect plane zero). The
// buffers of `spare` are taken when their sizes fit, else fresh ones.
bool NewLayerBuffers(const LayerRecord& L, int bpp, int width, int height, LayerRecord& out,
                     LayerRecord* spare = nullptr);

// Sets the main frame's current command id for the lifetime of the scope;
// puts -1 back at its end.
class CommandScope {
public:
    CommandScope(CVexoDoc& doc, int id);
    ~CommandScope();
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

private:
    CVexoDoc& doc_;
};
