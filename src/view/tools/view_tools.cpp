// The zoom tool (1420), the colour picker (2096), the text tool (1382) and
// the balloon tools (4828 insert, 4829 tail).
#include <algorithm>
#include <memory>

#include "CVexoDoc.h"
#include "anchor_path.h"
#include "modes.h"
#include "paint_settings.h"
#include "text_layers.h"
#include "tool.h"
#include "tool_box.h"
#include "tool_helpers.h"
#include "tool_ui.h"
#include "undo_journal.h"
#include "workbench.h"

namespace tools {

namespace {

// Zoom (1420): a press zooms in one step around the press point.
class ZoomTool : public Tool {
public:
    int Id() const override { return 1420; }
    void Press(ToolContext& c, const MouseEvent& e) override { c.bench.ZoomAt(e.at, true); }
};

// Colour picker (2096): the current layer's pixel under the press becomes
// the drawing colour (and its swatch).
class PickerTool : public Tool {
public:
    int Id() const override { return 2096; }
    void Press(ToolContext& c, const MouseEvent& e) override {
        const CVexoDoc::CanvasPoint p = CanvasOf(c.doc, e.at);
        uint32_t colour = 0;
        uint8_t alpha = 0;
        if (!LayerColourAt(c.doc, p.x, p.y, colour, alpha)) return;
        c.settings.SetColour(paint::Rgb{ColR(colour), ColG(colour), ColB(colour)});
    }
};

// The topmost visible layer of `kind` whose text box (the box of its covered
// pixels) holds the canvas point; -1 when there is none.
int TextLayerAt(const CVexoDoc& doc, int kind, int x, int y) {
    const std::vector<int> order = doc.StackOrder();
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const LayerRecord& l = doc.Layer(*it);
        if (l.kind != kind || l.visible != 1 || !l.alpha) continue;
        const docpath::Point p = docpath::ToLayer(doc, *it, x, y);
        if (p.x < 0 || p.y < 0 || p.x >= l.width || p.y >= l.height) continue;
        // Covered pixels, rows top-down: stored row height - 1 - y.
        int x0 = l.width, x1 = -1, y0 = l.height, y1 = -1;
        for (int r = 0; r < l.height; ++r) {
            const uint8_t* a = l.AlphaRow(r);
            for (int cx = 0; cx < l.width; ++cx)
                if (a[cx]) {
                    x0 = std::min(x0, cx), x1 = std::max(x1, cx);
                    const int top = l.height - 1 - r;
                    y0 = std::min(y0, top), y1 = std::max(y1, top);
                }
        }
        if (x1 >= 0 && p.x >= x0 && p.x <= x1 && p.y >= y0 && p.y <= y1) return *it;
    }
    return -1;
}

// Text (1382) and balloon (4828): a press opens the text dialog for the
// layer of the tool's kind under the point ("글자수정"), or for a new one at
// the point ("글자입력"). After a balloon was placed, a drag moves its tail.
class TextTool : public Tool {
public:
    explicit TextTool(int id) : id_(id) {}
    int Id() const override { return id_; }
    void Press(ToolContext& c, const MouseEvent& e) override {
        tailDragged_ = false;
        openEditor_ = false;
        const int kind = id_ == textlayer::kTextTool ? LayerText : LayerBalloon;
        const CVexoDoc::CanvasPoint p = CanvasOf(c.doc, e.at);
        const int slot = TextLayerAt(c.doc, kind, p.x, p.y);
        const bool edit = slot >= 0;
        // A press on a balloon opens the balloon editor for it, where there is one.
        if (edit && id_ == textlayer::kBalloonTool) {
            if (c.doc.currentLayer != slot && !c.doc.SelectLayer(slot)) return;
            if (c.ui.OpenBalloonEditor(c.doc)) return;
        }
        textlayer::TextDialogValues v;
        v.settings = c.settings.text;
        if (edit) {
            if (c.doc.currentLayer != slot && !c.doc.SelectLayer(slot)) return;
            const LayerRecord& l = c.doc.Layer(slot);
            const textlayer::TextSettings own = textlayer::SettingsOfLayer(l);
            v.settings.face = own.face;
            v.settings.size = own.size;
            v.settings.bold = own.bold;
            v.settings.italic = own.italic;
            v.settings.underline = own.underline;
            v.settings.strikeout = own.strikeout;
            v.settings.widthScale10 = own.widthScale10;
            v.settings.color = own.color;
            v.text = textlayer::TextOfLayer(l);
        }
        if (!c.ui.AskText(c.doc, v, edit)) return;
        if (textlayer::LimitText(v.text).empty()) return;
        // The dialog's values become the current text settings.
        c.settings.SetText(v.settings);
        placed_ = c.doc.EditTextLayer(edit, e.at.x, e.at.y, v) && id_ == textlayer::kBalloonTool;
        openEditor_ = placed_ && !edit;
    }
    void Drag(ToolContext& c, const MouseEvent& e) override {
        if (placed_) tailDragged_ = MoveTail(c, e.at) || tailDragged_;
    }
    void Release(ToolContext& c, const MouseEvent&) override {
        if (placed_ && tailDragged_) RecordTail(c.doc);
        // The editor of a new balloon opens once its tail is placed (its
        // strip changes the window's layout).
        if (openEditor_) c.ui.OpenBalloonEditor(c.doc);
        placed_ = tailDragged_ = openEditor_ = false;
    }
    void Reset(ToolContext&) override { placed_ = tailDragged_ = openEditor_ = false; }

    // The tail of the current balloon layer to a zoomed point.
    static bool MoveTail(ToolContext& c, paint::ZPoint at) {
        LayerRecord* l = c.doc.CurrentLayerPtr();
        if (!l || l->kind != LayerBalloon) return false;
        const CVexoDoc::CanvasPoint p = CanvasOf(c.doc, at);
        const docpath::Point q = docpath::ToLayer(c.doc, c.doc.currentLayer, p.x, p.y);
        return c.doc.BuildBalloon(false, q.x, q.y, c.settings.text.balloonStyle, c.settings.text.balloonLineWidth);
    }
    static void RecordTail(CVexoDoc& doc) {
        doc.RecordUndoStep(u"풍선 꼬리 수정", textlayer::kTextEditedStep, doc.currentLayer);
        doc.modified = true;
    }

private:
    int id_;
    bool placed_ = false, tailDragged_ = false, openEditor_ = false;
};

// Balloon tail (4829): a drag moves the tail point of the current balloon
// layer to the mouse.
class TailTool : public Tool {
public:
    int Id() const override { return textlayer::kBalloonTailTool; }
    void Press(ToolContext&, const MouseEvent&) override { moved_ = false; }
    void Drag(ToolContext& c, const MouseEvent& e) override { moved_ = TextTool::MoveTail(c, e.at) || moved_; }
    void Release(ToolContext& c, const MouseEvent&) override {
        if (moved_) TextTool::RecordTail(c.doc);
        moved_ = false;
    }
    int CursorAt(const ToolContext& c, const MouseEvent& e, bool) const override {
        const int cur = c.doc.currentLayer;
        if (!IsValidLayer(cur) || c.doc.Layer(cur).kind != LayerBalloon) return kCursorDefault;
        const LayerRecord& l = c.doc.Layer(cur);
        const CVexoDoc::CanvasPoint p = CanvasOf(c.doc, e.at);
        const docpath::Point q = docpath::ToLayer(c.doc, cur, p.x, p.y);
        const int64_t dx = q.x - l.tailX, dy = q.y - l.tailY;
        return dx * dx + dy * dy <= 30 * 30 ? kCursorHand : kCursorDefault;
    }

private:
    bool moved_ = false;
};

}  // namespace

bool EditBalloon(CVexoDoc& doc, const textlayer::TextDialogValues& values) {
    const LayerRecord* l = doc.CurrentLayerPtr();
    if (!l || l->kind != LayerBalloon || textlayer::LimitText(values.text).empty()) return false;
    DocHost& host = doc.Host();
    // The layer stays a balloon while a balloon tool is current.
    const int tool = host.CurrentTool();
    if (tool != textlayer::kBalloonTool && tool != textlayer::kBalloonTailTool &&
        !host.SwitchTool(textlayer::kBalloonTailTool))
        return false;
    return doc.EditTextLayer(true, -1, -1, values);
}

std::unique_ptr<Tool> MakeViewTool(int id) {
    switch (id) {
    case 1420: return std::make_unique<ZoomTool>();
    case 2096: return std::make_unique<PickerTool>();
    case textlayer::kTextTool: return std::make_unique<TextTool>(id);
    case textlayer::kBalloonTool: return std::make_unique<TextTool>(id);
    case textlayer::kBalloonTailTool: return std::make_unique<TailTool>();
    default: return nullptr;
    }
}

}  // namespace tools
