// A small document with the tools of one window, driven by synthetic events
// in picture pixels (zoom 1).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CVexoDoc.h"
#include "commands.h"
#include "session.h"
#include "undo_journal.h"
#include "workbench.h"

struct ToolsFixture {
    tools::SessionHost host;
    CVexoDoc doc{&host};
    tools::Workbench bench{host.box, doc, host};

    explicit ToolsFixture(int w = 40, int h = 30) {
        EXPECT_TRUE(doc.NewImage(w, h));
        EXPECT_TRUE(doc.RecordUndoStep(u"initial state", UndoLayerChanged, -1));
    }
    static tools::MouseEvent At(int x, int y, bool shift = false) {
        tools::MouseEvent e;
        e.at = paint::ZPoint{x, y};
        e.shift = shift;
        return e;
    }
    bool Choose(int id) { return host.box.Switch(id); }
    void Press(int x, int y, bool shift = false) {
        bench.Move(At(x, y, shift), false);
        bench.Press(At(x, y, shift));
    }
    void Drag(int x, int y) { bench.Move(At(x, y), true); }
    void Release(int x, int y) {
        bench.Move(At(x, y), true);
        bench.Release(At(x, y));
    }
    void DClick(int x, int y, bool shift = false) { bench.DoubleClick(At(x, y, shift)); }
    // A drag from a to b in one step.
    void DragLine(int x0, int y0, int x1, int y1) {
        Press(x0, y0);
        Drag(x1, y1);
        Release(x1, y1);
    }

    // Canvas pixel (origin top-left) of the current layer.
    uint8_t* Pixel(int x, int y) {
        LayerRecord& l = doc.Layer(doc.currentLayer);
        int lx, row;
        doc.CanvasToLayer(doc.currentLayer, x, y, lx, row);
        return l.PixelRow(row) + 3 * lx;
    }
    void SetPixel(int x, int y, uint8_t r, uint8_t g, uint8_t b) {
        uint8_t* p = Pixel(x, y);
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
    // The selection mask as text, top canvas row first ('#' selected).
    std::string Mask() const {
        const SelectionMask& s = doc.live.selection;
        std::string out;
        const int H = doc.live.canvas.height;
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < doc.live.canvas.width; ++x) {
                const int c = x - s.x, r = s.y + H - y - 1;
                const bool in = c >= 0 && r >= 0 && c < s.width && r < s.height &&
                                s.mask[size_t(r) * size_t(s.width) + size_t(c)] == 1;
                out += in ? '#' : '.';
            }
            out += '\n';
        }
        return out;
    }
    // Canvas pixels selected.
    std::vector<std::pair<int, int>> Selected() const {
        std::vector<std::pair<int, int>> out;
        const std::string m = Mask();
        int x = 0, y = 0;
        for (char ch : m) {
            if (ch == '\n') {
                ++y;
                x = 0;
                continue;
            }
            if (ch == '#') out.emplace_back(x, y);
            ++x;
        }
        return out;
    }
    std::vector<std::string> Journal() const {
        std::vector<std::string> names;
        for (int i = 0; i <= doc.undoPos && i < int(doc.steps.size()); ++i)
            names.push_back(Utf16ToUtf8(doc.steps[size_t(i)].label));
        return names;
    }
};

// Two documents of one session host (40 × 30 and 50 × 40), each with its
// opening step, for the tests of two windows.
struct TwoDocuments {
    tools::SessionHost host;
    CVexoDoc a{&host}, b{&host};
    bool ready = false;

    TwoDocuments() {
        ready = a.NewImage(40, 30) && b.NewImage(50, 40);
        a.RecordUndoStep(u"initial state", UndoLayerChanged, -1);
        b.RecordUndoStep(u"initial state", UndoLayerChanged, -1);
    }
};
