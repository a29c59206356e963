// Commands and panels that areas of the editor add to the main frame without
// touching it: each area's file in src/app registers its commands (menu,
// tool-bar and accelerator identifiers of the one command table) and its
// modeless panels through a static Registrar, and the main frame binds
// them, answers their menu state, and creates the panels once at start-up.
//
//   static shell::Registrar reg({
//       {1432, [](CMainFrame& f) { RunCanvasSizeDialog(f); }, shell::NeedsDocument},
//   });
//   static shell::PanelRegistrar panel({"layers", [](CMainFrame& f) { ... }});
//
// A registered command is served by the shell: the document leaves it to the
// main frame even when the document command table knows the identifier.
#pragma once

#include <functional>
#include <string>
#include <vector>

class CMainFrame;
class CVexoDoc;
class wxWindow;
class wxAuiPaneInfo;

namespace shell {

struct Command {
    int id = 0;
    std::function<void(CMainFrame&)> run;
    // Null: always enabled.
    std::function<bool(CMainFrame&)> enabled;
    // Null: not a check item; else whether the item shows checked.
    std::function<bool(CMainFrame&)> checked;
};

struct Registrar {
    explicit Registrar(std::vector<Command> commands);
};

const Command* Find(int id);
const std::vector<Command>& All();

// Enabled while a document window is active.
bool NeedsDocument(CMainFrame& frame);

// A modeless panel, created once when the main frame is built. `create`
// makes the window (a child of the frame) and returns it; the frame docks it
// with `pane` and keeps its place in the configuration (pane names must be
// unique). Returning null creates nothing.
struct Panel {
    std::string name;
    std::function<wxWindow*(CMainFrame&)> create;
    std::function<void(wxAuiPaneInfo&)> pane;   // caption, dock side, size, hidden at first...
};

struct PanelRegistrar {
    explicit PanelRegistrar(Panel panel);
};

const std::vector<Panel>& Panels();

// Called with the active document (null: none) whenever another document
// window becomes the active one or the last one closes.
using Follower = std::function<void(CMainFrame&, CVexoDoc*)>;
struct FollowerRegistrar {
    explicit FollowerRegistrar(Follower follow);
};
const std::vector<Follower>& Followers();

}  // namespace shell
