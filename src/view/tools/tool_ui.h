// The questions and messages a tool raises. The editor answers with message
// boxes and the status bar; pimlora-cli prints them and answers OK (or
// Cancel with --answer cancel); the tests record them.
#pragma once

#include <string>
#include <vector>

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

    bool answer = true;
    std::vector<std::string> messages, questions, status;
};

}  // namespace tools
