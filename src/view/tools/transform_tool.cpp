// The free-transform tools (4250 resize, 4251 distort, 4252 perspective):
// the mouse side of docxform (free_transform.h). A press takes the nearest
// handle; each drag step puts the layer back as it was (the preview copy),
// drops the selection outline, moves the handles by the tool's rule and
// shows the frame; the release shows the layer warped to the frame. The
// frame and its handles stay over the picture while the panel is open.
#include <memory>

#include "CVexoDoc.h"
#include "free_transform.h"
#include "modes.h"
#include "tool.h"
#include "tool_box.h"
#include "tool_helpers.h"
#include "tool_table.h"
#include "workbench.h"

namespace tools {

namespace {

docxform::Handle HandleAt(const CVexoDoc& doc, paint::ZPoint at) {
    // Zoomed point to the nearest canvas edge coordinate.
    const double z = doc.zoom > 0 ? doc.zoom : 1.0;
    return docxform::Handle{int(at.x / z + 0.5), int(at.y / z + 0.5)};
}

class TransformTool : public Tool {
public:
    explicit TransformTool(int id) : id_(id) {}
    int Id() const override { return id_; }
    void Press(ToolContext& c, const MouseEvent& e) override {
        pressed_ = Live(c);
        if (!pressed_) return;
        docxform::Press(c.doc.freeTransform, HandleAt(c.doc, e.at));
    }
    void Drag(ToolContext& c, const MouseEvent& e) override {
        if (!pressed_ || !Live(c)) return;
        docxform::RestoreLayer(c.doc);
        ClearSelectionIfAny(c.doc);
        docxform::Drag(c.doc.freeTransform, id_, HandleAt(c.doc, e.at));
    }
    void Release(ToolContext& c, const MouseEvent& e) override {
        if (!pressed_ || !Live(c)) return;
        pressed_ = false;
        docxform::Session& s = c.doc.freeTransform;
        if (id_ == docxform::kDistort && s.activeHandle >= 0)
            s.handles[size_t(s.activeHandle)] = HandleAt(c.doc, e.at);
        docxform::ShowPreview(c.doc);
    }
    bool KeyDown(ToolContext& c, const KeyEvent& k) override {
        if (k.key != Key::Return && k.key != Key::Escape) return false;
        EndTransform(c.box, c.doc, k.key == Key::Return);
        return true;
    }
    int CursorAt(const ToolContext& c, const MouseEvent& e, bool pressed) const override {
        (void)c;
        (void)e;
        (void)pressed;
        return id_ == docxform::kResize ? kCursorTransform : kCursorHand;
    }
    void Reset(ToolContext&) override { pressed_ = false; }

private:
    // The session runs on this document; one that went stale closes the panel.
    bool Live(ToolContext& c) {
        if (docxform::Valid(c.doc)) return true;
        c.box.SetTransformPanelShown(false);
        return false;
    }
    int id_;
    bool pressed_ = false;
};

}  // namespace

std::unique_ptr<Tool> MakeTransformTool(int id) {
    if (!IsTransformTool(id)) return nullptr;
    return std::make_unique<TransformTool>(id);
}

bool BeginTransform(ToolBox& box, CVexoDoc& doc, int tool) {
    if (!IsTransformTool(tool)) return false;
    // Another tool's panel must let the transform tools in first.
    if (!box.Accepts(tool)) return false;
    if (!docxform::Begin(doc, tool)) return false;
    if (box.Current() != tool && !box.Switch(tool)) {
        docxform::Cancel(doc);
        return false;
    }
    box.SetTransformPanelShown(true);
    for (Workbench* w : box.Workbenches()) w->RefreshBackground();
    return true;
}

bool EndTransform(ToolBox& box, CVexoDoc& doc, bool apply) {
    if (apply) {
        if (!docxform::Apply(doc)) {
            for (Workbench* w : box.Workbenches()) w->RefreshBackground();
            return false;
        }
    } else {
        docxform::Cancel(doc);
    }
    box.SetTransformPanelShown(false);
    if (IsTransformTool(box.Current())) box.Switch(-1);
    for (Workbench* w : box.Workbenches()) w->RefreshBackground();
    return true;
}

}  // namespace tools
