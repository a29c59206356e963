#include "commands.h"

namespace commands {

void Table::Add(int id, std::string label, CommandFn run) { byId_[id] = Command{id, std::move(label), std::move(run)}; }

void Table::AddNamed(const std::string& name, NamedFn run) { named_[name] = std::move(run); }

const Command* Table::Find(int id) const {
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : &it->second;
}

const NamedFn* Table::FindNamed(const std::string& name) const {
    auto it = named_.find(name);
    return it == named_.end() ? nullptr : &it->second;
}

const Table& All() {
    static const Table table = [] {
        Table t;
        RegisterLayerCommands(t);
        RegisterTextCommands(t);
        RegisterUndoCommands(t);
        RegisterSelectionCommands(t);
        RegisterFilterCommands(t);
        RegisterDialogCommands(t);
        RegisterLevelsCommands(t);
        RegisterRotateCommands(t);
        RegisterRedEyeCommands(t);
        RegisterFrameCommands(t);
        RegisterCalendarCommands(t);
        RegisterEditCommands(t);
        return t;
    }();
    return table;
}

}  // namespace commands
