#include "shell_commands.h"

#include "CMainFrame.h"

namespace shell {
namespace {
std::vector<Command>& CommandList() {
    static std::vector<Command> list;
    return list;
}
std::vector<Panel>& PanelList() {
    static std::vector<Panel> list;
    return list;
}
}  // namespace

Registrar::Registrar(std::vector<Command> commands) {
    for (Command& c : commands) CommandList().push_back(std::move(c));
}

const Command* Find(int id) {
    for (const Command& c : CommandList())
        if (c.id == id) return &c;
    return nullptr;
}

const std::vector<Command>& All() { return CommandList(); }

bool NeedsDocument(CMainFrame& frame) { return frame.ActiveDocument() != nullptr; }

PanelRegistrar::PanelRegistrar(Panel panel) { PanelList().push_back(std::move(panel)); }

const std::vector<Panel>& Panels() { return PanelList(); }

namespace {
std::vector<Follower>& FollowerList() {
    static std::vector<Follower> list;
    return list;
}
}  // namespace

FollowerRegistrar::FollowerRegistrar(Follower follow) { FollowerList().push_back(std::move(follow)); }

const std::vector<Follower>& Followers() { return FollowerList(); }

}  // namespace shell
