// The free transform of the current layer (4250 resize "자유변형(크기조정)",
// 4251 distort "자유변형(왜곡)", 4252 perspective "자유변형(원근)") as the
// mouse drives it: the session the tool command starts (the layer kept in
// the preview copy, four corner handles on its bounds), the handle rules of
// a drag, the warped preview, and applying or cancelling it.
//
// Handles are canvas edge coordinates (origin top-left): a layer covering
// columns 0..w-1 has its right handles at x = w. They are numbered
// clockwise from the top-left corner.
#pragma once

#include <array>
#include <cstdint>

class CVexoDoc;
struct LayerRecord;

namespace docxform {

inline constexpr int kResize = 4250, kDistort = 4251, kPerspective = 4252;
enum Corner { kTopLeft = 0, kTopRight = 1, kBottomRight = 2, kBottomLeft = 3 };
inline constexpr const char* kZoomOnly = "자유변형은 줌 100% 상태에서 동작함";

struct Handle {
    int x = 0, y = 0;
    bool operator==(const Handle&) const = default;
};
using Handles = std::array<Handle, 4>;

struct Session {
    bool active = false;
    int layer = -1;
    int tool = kResize;
    int undoPos = -1;        // the journal position it started at
    Handles start{};         // on the layer's bounds, as set up
    Handles handles{};       // where they are now
    Handles atPress{};       // where they were at the last press
    int activeHandle = -1;   // chosen by the last press
    Handle pressPoint;
    bool previewShown = false;   // the live layer shows the warped preview
};

// The tool command: starts a session on the current layer (or, when one
// is running on it already, only changes the rule). Refuses text and
// balloon layers with the layer-transform guard's message, and layers that
// do not reach into the canvas.
bool Begin(CVexoDoc& doc, int tool);
// Whether the session still belongs to the document as it is (its layer is
// current and nothing was undone or redone since it started); a stale
// session is dropped.
bool Valid(CVexoDoc& doc);

// The handle with the smallest squared distance to p (ties keep the lower
// number).
int NearestHandle(const Handles& h, Handle p);
// A press: the active handle and the handles at the press.
void Press(Session& s, Handle p);
// One drag step of rule `tool` with the mouse at p:
//   resize: the active handle goes to p; every handle that shared its old x
//           takes the new x, every one that shared its old y the new y;
//   distort: only the active handle goes to p;
//   perspective: with (dx, dy) = p minus the active handle's place at the
//           press, |dy| < |dx| moves the active handle by dx horizontally
//           and its partner on the same horizontal edge by -dx; otherwise
//           the active handle by dy vertically and its partner on the same
//           vertical edge by -dy.
void Drag(Session& s, int tool, Handle p);

// The live layer back from the preview copy (when it shows a preview).
void RestoreLayer(CVexoDoc& doc);
// The live layer shows the layer warped to the handles (nothing recorded).
bool ShowPreview(CVexoDoc& doc);
// The layer (from the preview copy) warped to the handles, recorded as
// "자유변형_크기", "자유변형_왜곡" or "자유변형_원근" by the current rule;
// handles that never moved change nothing. At a zoom other than 1.0 the
// command shows kZoomOnly, sets the zoom to 100 % and applies nothing (the
// session stays). True when the session ended.
bool Apply(CVexoDoc& doc);
// Ends the session with the layer as it was.
void Cancel(CVexoDoc& doc);

// The layer `index` warped so that its corners land on the handles: the
// result (a new layer record with its own buffers, 24 bits per pixel) and
// its x and y offsets. False when the handles cannot be warped to.
bool Warp(CVexoDoc& doc, const LayerRecord& src, const Handles& h, LayerRecord& out);

}  // namespace docxform
