// The tools without windows: a document host whose tool switch is a
// ToolBox, a workbench on one document, and the mouse and settings steps of
// pimlora-cli (tool:ID, press:X,Y[,shift], drag:X,Y, release:X,Y,
// dclick:X,Y, hover:X,Y, colour:RRGGBB, colour2:RRGGBB, brush:SIZE,MODE,
// gradient:COLOURMODE,PROFILE, fill:TOLERANCE,FEATHER, feather:N). Points
// are picture pixels at zoom 1, origin top-left; they reach the tool as
// the view delivers them (zoomed, clamped to the picture).
#pragma once

#include <string>
#include <vector>

#include "doc_host.h"
#include "tool_box.h"
#include "tool_ui.h"
#include "workbench.h"

namespace tools {

class SessionHost : public HeadlessHost, public ToolUi {
public:
    SessionHost() { echoMessages = false; }
    int CurrentTool() const override { return box.Current(); }
    bool SwitchTool(int id) override { return box.Switch(id); }
    void StatusText(const std::string& text) override {
        HeadlessHost::StatusText(text);
        reports.push_back(text);
    }
    // ToolUi: messages join the document's; questions get `answer`.
    void Message(const std::string& text) override { messages.push_back(text); }
    bool Ask(const std::string& text) override {
        questions.push_back(text);
        return answer;
    }
    void Status(const std::string& text) override { reports.push_back(text); }

    ToolBox box;
    bool answer = true;
    std::vector<std::string> questions, reports;
};

class Session {
public:
    Session(SessionHost& host, CVexoDoc& doc);
    // Whether the step's name (before the colon) is one of the steps above.
    static bool IsStep(const std::string& name);
    // Runs one step; false when a tool or the document refused. Throws
    // std::invalid_argument for malformed values (a usage error).
    bool Run(const std::string& step);
    Workbench& Bench() { return bench_; }

private:
    paint::ZPoint Point(const std::vector<int>& v) const;
    SessionHost& host_;
    CVexoDoc& doc_;
    Workbench bench_;
};

// A message on one line: each run of line breaks becomes one space.
std::string OneLine(const std::string& text);

}  // namespace tools
