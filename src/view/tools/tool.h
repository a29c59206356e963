// The mouse tools: one small class per tool (or per family of tools that
// share their rules) behind one tiny interface. A tool works on a headless
// context: the document, the paint settings, the overlay the view draws
// over the picture, the per-document anchors, and the questions and
// messages it raises. The same objects run in the editor (events from the
// view), in pimlora-cli (steps) and in the tests (synthetic events).
//
// Points are zoomed image coordinates (picture pixels times the zoom,
// origin top-left), already clamped to the picture by whoever delivers them.
#pragma once

#include <string>

#include "paint.h"

class CVexoDoc;

namespace tools {

class Overlay;
class ToolBox;
class ToolUi;
class Workbench;
struct PaintSettings;
struct ToolAnchors;

struct MouseEvent {
    paint::ZPoint at;
    bool shift = false;   // the Shift-repeat flag of the view (wand: add)
    bool ctrl = false;
    bool right = false;   // right button (double clicks)
};

// Keys the tools read (the next tools nudge layers with the arrows).
enum class Key { Other, Left, Right, Up, Down, Delete, Escape, Return };
struct KeyEvent {
    Key key = Key::Other;
    bool shift = false, ctrl = false;
};

// Cursors: the program's cursor resources by number, and two of the
// system's. kCursorDefault is the one chosen in the configuration (Cur).
enum Cursor : int {
    kCursorDefault = -1,
    kCursorCross = -2,
    kCursorWait = -3,
    kCursorDot = 1110,
    kCursorHand = 2049,     // droplet, anchors, handles
    kCursorMove = 2052,
    kCursorPicker = 3353,
    kCursorBrush = 3461,
    kCursorZoom = 4012,
    kCursorEraser = 4153,
    kCursorTransform = 4600,
    kCursorBalloon = 4670,
    kCursorText = 1404,
};

// What a tool works on during one event.
struct ToolContext {
    CVexoDoc& doc;
    PaintSettings& settings;
    Overlay& overlay;
    ToolAnchors& anchors;
    ToolUi& ui;
    ToolBox& box;
    Workbench& bench;
};

class Tool {
public:
    virtual ~Tool() = default;
    virtual int Id() const = 0;
    virtual void Press(ToolContext&, const MouseEvent&) {}
    // A move with the button held (only when the position changed).
    virtual void Drag(ToolContext&, const MouseEvent&) {}
    virtual void Release(ToolContext&, const MouseEvent&) {}
    virtual void DoubleClick(ToolContext&, const MouseEvent&) {}
    // A move without a button (only when the position changed).
    virtual void Hover(ToolContext&, const MouseEvent&) {}
    // True when the tool used the key.
    virtual bool KeyDown(ToolContext&, const KeyEvent&) { return false; }
    // The mouse came into the view / left it.
    virtual void Enter(ToolContext&) {}
    virtual void Leave(ToolContext&) {}
    // The cursor over the picture; `pressed` while the button is held.
    virtual int CursorAt(const ToolContext&, const MouseEvent&, bool pressed) const;
    // Whether the tool changes pixels (the outline animation pauses while
    // it works).
    virtual bool ChangesPixels() const { return false; }
    // Another tool was chosen (or this one again): forget the state of the
    // shape in progress.
    virtual void Reset(ToolContext&) {}
    // A zoom step: the points of the shape in progress follow (truncated).
    virtual void ScaleShape(double /*factor*/) {}
    // The layer whose place follows the mouse at every step now (the move
    // tool's drag and follow state), or -1: the view keeps the composite of
    // the other layers while it moves.
    virtual int MovingLayer(const CVexoDoc&) const { return -1; }
};

}  // namespace tools
