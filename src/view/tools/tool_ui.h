// The questions and messages a tool raises. The editor answers with message
// boxes and the status bar; pimlora-cli prints them and answers OK (or
// Cancel with --answer cancel); the tests record them.
#pragma once

#include <string>
#include <vector>

#include "text_layers.h"

class CVexoDoc;

namespace tools {

class ToolUi {
public:
    virtual ~ToolUi() = default;
    // A message with an OK button.
    virtual void Message(const std::string& text) = 0;
    // An OK / Cancel question; true for OK.
    virtual bool Ask(const std::string& text) = 0;
    // A line for the status bar (a tool's report).
    virtual void Status(const std::string& text) = 0;
    // The text dialog of the text and balloon tools ("글자입력" / "글자수정"),
    // starting from `values`: true on OK with the values it returns. Without
    // a dialog it is cancelled.
    virtual bool AskText(CVexoDoc&, textlayer::TextDialogValues&, bool /*edit*/) { return false; }
    // The balloon editor for the current (balloon) layer; false where there
    // is none (the balloon tool then edits through the text dialog).
    virtual bool OpenBalloonEditor(CVexoDoc&) { return false; }
};

// How a text dialog without a window answers: OK with `text` (and with
// `settings` when withSettings) while text is set, else Cancel. Every
// opening is kept ("글자입력" for a new layer, "글자수정" for an edit).
struct TextAnswer {
    std::u16string text;
    bool withSettings = false;
    textlayer::TextSettings settings;
    std::vector<std::string> opened;
    bool Answer(textlayer::TextDialogValues& v, bool edit) {
        opened.push_back(edit ? "글자수정" : "글자입력");
        if (text.empty()) return false;
        v.text = text;
        if (withSettings) v.settings = settings;
        return true;
    }
};

// Keeps what was said and answers every question the same way.
class RecordingUi : public ToolUi {
public:
    void Message(const std::string& text) override { messages.push_back(text); }
    bool Ask(const std::string& text) override {
        questions.push_back(text);
        return answer;
    }
    void Status(const std::string& text) override { status.push_back(text); }
    bool AskText(CVexoDoc&, textlayer::TextDialogValues& v, bool edit) override { return text.Answer(v, edit); }
    bool OpenBalloonEditor(CVexoDoc&) override {
        ++balloonEditors;
        return balloonEditor;
    }

    bool answer = true;
    bool balloonEditor = false;   // whether there is a balloon editor to open
    int balloonEditors = 0;       // how often it was asked for
    std::vector<std::string> messages, questions, status;
    TextAnswer text;
};

}  // namespace tools
