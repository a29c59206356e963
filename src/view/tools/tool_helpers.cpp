#include "tool_helpers.h"

#include "undo_journal.h"

namespace tools {

CVexoDoc::CanvasPoint CanvasOf(const CVexoDoc& doc, paint::ZPoint p) {
    CVexoDoc::CanvasPoint c{0, 0};
    doc.ZoomedToCanvas(p.x, p.y, c.x, c.y);
    return c;
}

std::vector<CVexoDoc::CanvasPoint> CanvasOf(const CVexoDoc& doc, const std::vector<paint::ZPoint>& pts) {
    std::vector<CVexoDoc::CanvasPoint> out;
    out.reserve(pts.size());
    for (const paint::ZPoint& p : pts) out.push_back(CanvasOf(doc, p));
    return out;
}

void ClearSelectionIfAny(CVexoDoc& doc) {
    if (!doc.selectionActive && !doc.selectionDrag) return;
    doc.ClearSelection();
    doc.Host().UpdateViews(doc, false);
}

bool LayerColourAt(const CVexoDoc& doc, int canvasX, int canvasY, uint32_t& colour, uint8_t& alpha) {
    const int cur = doc.currentLayer;
    if (!IsValidLayer(cur)) return false;
    const LayerRecord& l = doc.Layer(cur);
    if (!l.inUse || !l.pixels || !l.alpha || l.IsTextKind()) return false;
    int x, row;
    doc.CanvasToLayer(cur, canvasX, canvasY, x, row);
    if (x < 0 || row < 0 || x >= l.width || row >= l.height) return false;
    const uint8_t* p = l.PixelRow(row);
    if (doc.live.canvas.bitsPerPixel == 8 || l.stride < 3 * l.width) {
        const uint8_t index = p[x];
        colour = index < doc.live.palette.size() ? PackQuad(doc.live.palette[index]) & 0xFFFFFFu
                                                 : PackBGR(index, index, index);
    } else {
        colour = PackBGR(p[3 * x], p[3 * x + 1], p[3 * x + 2]);
    }
    alpha = l.AlphaRow(row)[x];
    return true;
}

bool RecordStep(CVexoDoc& doc, const char16_t* name) {
    if (!IsValidLayer(doc.currentLayer)) return false;
    return doc.RecordUndoStep(name, UndoLayerChanged, doc.currentLayer);
}

}  // namespace tools
