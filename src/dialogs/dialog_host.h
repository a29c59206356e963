// What the dialog windows need of the editor, without knowing its main
// frame: the active and open documents, the status bar, the main frame's
// colours and text settings, and the focus of the active picture. The
// editor fills it in once at start-up (src/app/dialog_commands.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "text_layers.h"

class CVexoDoc;
class wxWindow;

namespace dlgui {

struct DialogHost {
    wxWindow* frame = nullptr;
    std::function<CVexoDoc*()> activeDoc;
    std::function<std::vector<CVexoDoc*>()> openDocs;
    std::function<void(int percent)> progress;           // 0 clears the display
    std::function<void(const std::string& text)> status;
    // Colours packed with red in the low byte (the configuration's order).
    std::function<uint32_t()> foreColour, backColour, textColour;
    std::function<void(uint32_t)> setTextColour;
    std::function<textlayer::TextSettings()> textSettings;
    std::function<void(const textlayer::TextSettings&)> setTextSettings;
    // The active picture's window takes the keyboard focus.
    std::function<void()> focusView;
    // The document's window shows a change made outside the command table.
    std::function<void(CVexoDoc&)> changed;
};

DialogHost& Host();

inline CVexoDoc* ActiveDoc() { return Host().activeDoc ? Host().activeDoc() : nullptr; }
inline void Progress(int percent) {
    if (Host().progress) Host().progress(percent);
}
inline void Changed(CVexoDoc& doc) {
    if (Host().changed) Host().changed(doc);
}

}  // namespace dlgui
