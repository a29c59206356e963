#include "floating.h"

#include <algorithm>
#include <cstring>

#include "CVexoDoc.h"
#include "paint_internal.h"

namespace tools {

FloatingPiece::Key FloatingPiece::KeyOf(const CVexoDoc& doc) {
    Key k;
    k.layer = doc.currentLayer;
    if (IsValidLayer(k.layer)) {
        const LayerRecord& l = doc.Layer(k.layer);
        k.pixels = l.pixels.get();
        k.alpha = l.alpha.get();
        k.x = l.x;
        k.y = l.y;
        k.width = l.width;
        k.height = l.height;
    }
    k.undoPos = doc.undoPos;
    k.selX = doc.live.selection.x;
    k.selY = doc.live.selection.y;
    k.selection = doc.selectionActive;
    return k;
}

bool FloatingPiece::Valid(const CVexoDoc& doc) const { return active_ && KeyOf(doc) == key_; }

void FloatingPiece::Touch(const CVexoDoc& doc) {
    if (active_) key_ = KeyOf(doc);
}

bool FloatingPiece::Lift(CVexoDoc& doc, paint::Rgb second) {
    Drop();
    const int cur = doc.currentLayer;
    if (!doc.selectionActive || !IsValidLayer(cur)) return false;
    const LayerRecord& l = doc.Layer(cur);
    if (!l.pixels || !l.alpha || l.IsTextKind() || l.width < 1 || l.height < 1) return false;
    const int bits = doc.live.canvas.bitsPerPixel;
    if (bits != 24 && bits != 8) return false;
    const SelectionMask& sel = doc.live.selection;
    if (sel.width < 1 || sel.height < 1 || sel.mask.size() < size_t(sel.width) * size_t(sel.height)) return false;
    // Mask column of layer column c: c + x - sel.x; mask row of stored row r: r - y + sel.y.
    const int64_t dc = int64_t(l.x) - sel.x, dr = int64_t(sel.y) - l.y;
    auto selected = [&](int c, int r) {
        const int64_t mc = c + dc, mr = r + dr;
        return mc >= 0 && mr >= 0 && mc < sel.width && mr < sel.height &&
               sel.mask[size_t(mr) * size_t(sel.width) + size_t(mc)] == 1;
    };
    // The box of the selected pixels, within the part of the layer the mask covers.
    const int cFrom = int(std::clamp<int64_t>(-dc, 0, l.width)), cTo = int(std::clamp<int64_t>(sel.width - dc, 0, l.width));
    const int rFrom = int(std::clamp<int64_t>(-dr, 0, l.height)), rTo = int(std::clamp<int64_t>(sel.height - dr, 0, l.height));
    int c0 = l.width, c1 = -1, r0 = l.height, r1 = -1;
    for (int r = rFrom; r < rTo; ++r)
        for (int c = cFrom; c < cTo; ++c)
            if (selected(c, r)) {
                c0 = std::min(c0, c), c1 = std::max(c1, c);
                r0 = std::min(r0, r), r1 = std::max(r1, r);
            }
    if (c1 < 0) return false;
    bytes_ = bits / 8;
    c0_ = c0, r0_ = r0, w_ = c1 - c0 + 1, h_ = r1 - r0 + 1;
    px_.assign(size_t(w_) * size_t(h_) * size_t(bytes_), 0);
    alpha_.assign(size_t(w_) * size_t(h_), 0);
    inside_.assign(size_t(w_) * size_t(h_), 0);
    // The hole: the layer with the piece taken out.
    holePx_.assign(l.pixels.get(), l.pixels.get() + l.pixelSize);
    holeAlpha_.assign(l.alpha.get(), l.alpha.get() + l.planeSize);
    const bool background = l.kind == LayerImage;
    uint8_t behind[3] = {255, 255, 255};
    if (background) behind[0] = second.b, behind[1] = second.g, behind[2] = second.r;
    const uint8_t behindIndex = uint8_t(doc.NearestPaletteIndex(PackBGR(behind[0], behind[1], behind[2])));
    for (int j = 0; j < h_; ++j)
        for (int i = 0; i < w_; ++i) {
            const int c = c0_ + i, r = r0_ + j;
            if (!selected(c, r)) continue;
            const size_t k = size_t(j) * size_t(w_) + size_t(i);
            const size_t p = size_t(r) * size_t(l.stride) + size_t(c) * size_t(bytes_);
            inside_[k] = 1;
            std::memcpy(px_.data() + k * size_t(bytes_), l.pixels.get() + p, size_t(bytes_));
            alpha_[k] = l.alpha[size_t(r) * size_t(l.width) + size_t(c)];
            if (bytes_ == 3)
                std::memcpy(holePx_.data() + p, behind, 3);
            else
                holePx_[p] = behindIndex;
            holeAlpha_[size_t(r) * size_t(l.width) + size_t(c)] = background ? 255 : 0;
        }
    offX_ = offY_ = 0;
    active_ = true;
    key_ = KeyOf(doc);
    return true;
}

void FloatingPiece::Put(CVexoDoc& doc, bool piece) {
    LayerRecord& l = doc.Layer(key_.layer);
    // Layer pixels of the box at the current offset, clipped to the layer.
    const int cFrom = std::max(0, c0_ + offX_), cTo = std::min(l.width, c0_ + offX_ + w_);
    const int rFrom = std::max(0, r0_ - offY_), rTo = std::min(l.height, r0_ - offY_ + h_);
    if (cFrom >= cTo || rFrom >= rTo) return;
    for (int r = rFrom; r < rTo; ++r) {
        const int j = r - (r0_ - offY_);
        uint8_t* dp = l.PixelRow(r);
        uint8_t* da = l.AlphaRow(r);
        for (int c = cFrom; c < cTo; ++c) {
            const size_t p = size_t(c) * size_t(bytes_);
            if (!piece) {
                std::memcpy(dp + p, holePx_.data() + size_t(r) * size_t(l.stride) + p, size_t(bytes_));
                da[c] = holeAlpha_[size_t(r) * size_t(l.width) + size_t(c)];
                continue;
            }
            const size_t k = size_t(j) * size_t(w_) + size_t(c - (c0_ + offX_));
            if (!inside_[k]) continue;
            std::memcpy(dp + p, px_.data() + k * size_t(bytes_), size_t(bytes_));
            da[c] = alpha_[k];
        }
    }
    paint::detail::AddCanvasDirty(doc, l, paint::LayerArea{cFrom, rFrom, cTo, rTo});
}

void FloatingPiece::MoveBy(CVexoDoc& doc, int dx, int dy) {
    if (!Valid(doc) || (dx == 0 && dy == 0)) return;
    Put(doc, false);
    offX_ += dx;
    offY_ += dy;
    Put(doc, true);
    SelectionMask& sel = doc.live.selection;
    sel.x += dx;
    sel.y += dy;
    // The layer changed outside the paint operations' frame: their next
    // restore copies the whole layer.
    doc.paintState.tracked = false;
    doc.outlineChanged = true;
    doc.modified = true;
    key_ = KeyOf(doc);
}

}  // namespace tools
