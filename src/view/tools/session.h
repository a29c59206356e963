// The tools without windows: a document host whose tool switch is a
// ToolBox, a workbench on one document (or one each on two documents, as
// two windows side by side), and the mouse and settings steps of
// pimlora-cli (tool:ID, press:X,Y[,shift], drag:X,Y, release:X,Y,
// dclick:X,Y, hover:X,Y, leave:X,Y, key:NAME, view:N, colour:RRGGBB,
// colour2:RRGGBB, brush:SIZE,MODE, gradient:COLOURMODE,PROFILE,
// fill:TOLERANCE,FEATHER, feather:N, type:SIZE,RRGGBB[,FACE]:TEXT). Points
// are picture pixels at zoom 1, origin top-left; they reach the tool as the
// view delivers them (zoomed, clamped to the picture).
#pragma once

#include <memory>
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
    bool AskText(CVexoDoc&, textlayer::TextDialogValues& v, bool edit) override { return text.Answer(v, edit); }
    bool OpenBalloonEditor(CVexoDoc&) override {
        ++balloonEditors;
        return balloonEditor;
    }

    ToolBox box;
    bool balloonEditor = false;   // whether there is a balloon editor (the tests')
    int balloonEditors = 0;       // how often it was asked for
    bool answer = true;
    std::vector<std::string> questions, reports;
    // How the text dialog answers (type:...).
    TextAnswer text;
};

class Session {
public:
    Session(SessionHost& host, CVexoDoc& doc);
    ~Session();
    // A second window on another document (pimlora-cli --view2); view:2
    // sends the following steps there, view:1 back.
    void AddView(CVexoDoc& doc);
    // Whether the step's name (before the colon) is one of the steps above.
    static bool IsStep(const std::string& name);
    // Runs one step; false when a tool or the document refused. Throws
    // std::invalid_argument for malformed values (a usage error).
    bool Run(const std::string& step);
    Workbench& Bench() { return *benches_[current_]; }
    CVexoDoc& Doc() { return *docs_[current_]; }
    // The key names of key:NAME.
    static bool KeyByName(const std::string& name, Key& key);

private:
    paint::ZPoint Point(const std::vector<int>& v) const;
    bool RunTool(int id);
    SessionHost& host_;
    std::vector<CVexoDoc*> docs_;
    std::vector<std::unique_ptr<Workbench>> benches_;
    size_t current_ = 0;
};

// A message on one line: each run of line breaks becomes one space.
std::string OneLine(const std::string& text);

}  // namespace tools
