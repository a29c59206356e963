#include "paint_settings.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace tools {

void PaintSettings::SetColour(paint::Rgb c) {
    colour = c;
    Changed();
}

void PaintSettings::SetColour2(paint::Rgb c) {
    colour2 = c;
    Changed();
}

void PaintSettings::SetBrush(int size, int mode) {
    brushSize = std::clamp(size, kMinBrush, kMaxBrush);
    brushMode = mode == paint::kPencil ? paint::kPencil : paint::kSoftBrush;
    Changed();
}

void PaintSettings::SetGradient(int mode, int profile) {
    gradientMode = mode == 1 ? 1 : 2;
    gradientProfile = profile == 2 ? 2 : 1;
    Changed();
}

void PaintSettings::SetFill(int tolerance, int featherWidth) {
    fillTolerance = std::clamp(tolerance, 0, kMaxTolerance);
    feather = std::clamp(featherWidth, 0, kMaxFeather);
    Changed();
}

void PaintSettings::SetText(const textlayer::TextSettings& s) {
    text = s;
    Changed();
}

void PaintSettings::SetFeather(int featherWidth) {
    feather = std::clamp(featherWidth, 0, kMaxFeather);
    Changed();
}

void PaintSettings::SetWandTolerance(int tolerance) {
    wandTolerance = std::clamp(tolerance, 0, kMaxTolerance);
    Changed();
}

void PaintSettings::Swap() {
    std::swap(colour, colour2);
    Changed();
}

int PaintSettings::Listen(Listener l) {
    listeners_.emplace_back(nextId_, std::move(l));
    return nextId_++;
}

void PaintSettings::Unlisten(int id) {
    listeners_.erase(std::remove_if(listeners_.begin(), listeners_.end(), [id](const auto& p) { return p.first == id; }),
                     listeners_.end());
}

void PaintSettings::Changed() {
    // A listener may add or remove listeners: walk a copy.
    const auto copy = listeners_;
    for (const auto& [id, l] : copy)
        if (l) l();
}

bool ParseRgb(const std::string& text, paint::Rgb& out) {
    if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
    const unsigned long v = std::strtoul(text.c_str(), nullptr, 16);
    out = paint::Rgb{uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    return true;
}

}  // namespace tools
