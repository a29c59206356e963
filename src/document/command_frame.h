// The command frame: every document command tells the main frame which
// command runs while it runs (and -1 afterwards), works on a layer through
// the document's two scratch buffers (BeginLayerOp / EndLayerOp), and
// refuses text and balloon layers where it needs pixels (GuardRasterLayer).
#pragma once

class CVexoDoc;

// Sets the main frame's current command id for the lifetime of the scope;
// puts -1 back at its end.
class CommandScope {
public:
    CommandScope(CVexoDoc& doc, int id);
    ~CommandScope();
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

private:
    CVexoDoc& doc_;
};
