// The paint settings shared by all documents: colours, brush, gradient,
// fill and selection options. The editor loads them from the configuration
// and shows them in the tool bar and the paint panels; whoever changes a
// value calls Changed() so that those windows follow.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "paint.h"
#include "text_layers.h"

namespace tools {

struct PaintSettings {
    paint::Rgb colour{0, 0, 0};          // drawing colour
    paint::Rgb colour2{255, 255, 255};   // second colour (gradient)
    int brushSize = 5;                   // 1..30
    int brushMode = paint::kSoftBrush;   // 1 "붓", 0 "연필"
    int gradientMode = 2;                // 1 "전경", 2 "전경+배경"
    int gradientProfile = 1;             // 1 "선형변화", 2 "정규변화"
    int fillTolerance = 10;              // "포함한계"
    int feather = 0;                     // "경계퍼짐"
    int wandTolerance = 70;              // "포함한계치"
    // The text settings the text dialog starts from and hands back (face,
    // size, style, colour, balloon style).
    textlayer::TextSettings text;
    // Colours of the path being edited: its curve and its anchors.
    paint::Rgb pathSegment{255, 0, 0}, pathPoint{0, 0, 255};

    static constexpr int kMinBrush = 1, kMaxBrush = 30;
    static constexpr int kMaxFeather = 254, kMaxTolerance = 765;

    // Setters keep the values in range and tell the listeners.
    void SetColour(paint::Rgb c);
    void SetColour2(paint::Rgb c);
    void SetBrush(int size, int mode);
    void SetGradient(int mode, int profile);
    void SetFill(int tolerance, int feather);
    void SetFeather(int feather);
    void SetWandTolerance(int tolerance);
    void SetText(const textlayer::TextSettings& s);
    void Swap();

    // Listeners (the swatches, the size display, the panels).
    using Listener = std::function<void()>;
    int Listen(Listener l);
    void Unlisten(int id);
    void Changed();

private:
    std::vector<std::pair<int, Listener>> listeners_;
    int nextId_ = 1;
};

// "RRGGBB" (hex, red first) to a colour; false when malformed.
bool ParseRgb(const std::string& text, paint::Rgb& out);

}  // namespace tools
