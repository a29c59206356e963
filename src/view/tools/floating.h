// The floating selection of the move tool. With an active selection the
// first move lifts the selected pixels of the current layer into a piece;
// the following moves carry the piece and the selection mask with it.
//
// How it is held: the piece keeps the colours and alpha of the selected
// pixels (within their bounding box), and beside it the layer as the lift
// left it (the hole). What stays behind is transparent on an ordinary
// layer and the second colour ("배경색", opaque) on the layer the picture
// was opened as (kind 1), as on a background. At every move the layer gets
// the hole back where the piece was and the piece where it is now (its
// pixels replace what lies there), so moving it over other pixels and on
// never destroys them while it floats.
//
// How it is put down: the layer always shows the piece at its place, so
// each release records the move ("선택영역 위치이동") and the piece keeps
// floating for the next drag; it is put down for good (the hole dropped)
// when the tool ends, the selection goes, or the document changes under it
// (an undo, another layer, another command).
#pragma once

#include <cstdint>
#include <vector>

#include "paint.h"

class CVexoDoc;

namespace tools {

class FloatingPiece {
public:
    bool Active() const { return active_; }
    // Whether the piece still belongs to the document as it is now.
    bool Valid(const CVexoDoc& doc) const;
    // Lifts the selected pixels of the current layer; false (nothing done)
    // without an active selection or selected pixels on the layer.
    bool Lift(CVexoDoc& doc, paint::Rgb secondColour);
    // Carries the piece and the mask by (dx, dy) canvas pixels (dy down).
    void MoveBy(CVexoDoc& doc, int dx, int dy);
    // The document was changed by the move tool itself (a recorded step):
    // the piece stays valid.
    void Touch(const CVexoDoc& doc);
    // Puts it down for good.
    void Drop() { *this = FloatingPiece{}; }
    // Canvas pixels moved since the lift.
    int OffsetX() const { return offX_; }
    int OffsetY() const { return offY_; }

private:
    struct Key {
        int layer = -1;
        const uint8_t* pixels = nullptr;
        const uint8_t* alpha = nullptr;
        int x = 0, y = 0, width = 0, height = 0, undoPos = 0, selX = 0, selY = 0;
        bool selection = false;
        bool operator==(const Key&) const = default;
    };
    static Key KeyOf(const CVexoDoc& doc);
    // Layer rectangle (columns c0..c0+w, stored rows r0..r0+h) of the piece
    // at the current offset.
    void Put(CVexoDoc& doc, bool piece);

    bool active_ = false;
    Key key_;
    int bytes_ = 3;                  // bytes per pixel of the layer
    std::vector<uint8_t> holePx_, holeAlpha_;
    int c0_ = 0, r0_ = 0, w_ = 0, h_ = 0;   // the piece's box at the lift
    std::vector<uint8_t> px_, alpha_, inside_;
    int offX_ = 0, offY_ = 0;
};

}  // namespace tools
