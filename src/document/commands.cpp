#include "commands.h"

#include <new>
#include <sstream>
#include <stdexcept>

#include "CVexoDoc.h"
#include "memory_budget.h"

namespace commands {

namespace {
// Every command runs inside this: running out of memory on the way is a
// refusal with a message, never the end of the program.
template <class Fn>
Fn Guarded(Fn run) {
    if (!run) return run;
    return [run = std::move(run)](CVexoDoc& doc, const auto& args) {
        try {
            doc.SettleLayers();   // a layer filled after the first paint has its buffers
            return run(doc, args);
        } catch (const std::bad_alloc&) {
            doc.lastError = docmem::kOutOfMemory;
            doc.Host().MessageBox(docmem::kOutOfMemory);
            return false;
        }
    };
}
}  // namespace

void Table::Add(int id, std::string label, CommandFn run, Needs needs) {
    byId_[id] = Command{id, std::move(label), Guarded(std::move(run)), needs};
}

void Table::AddNamed(const std::string& name, NamedFn run) { named_[name] = Guarded(std::move(run)); }

const Command* Table::Find(int id) const {
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : &it->second;
}

const NamedFn* Table::FindNamed(const std::string& name) const {
    auto it = named_.find(name);
    return it == named_.end() ? nullptr : &it->second;
}

std::vector<int> ParseIntList(const std::string& text, const std::string& usage) {
    std::vector<int> values;
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, ',')) {
        size_t used = 0;
        int n = 0;
        try {
            n = std::stoi(item, &used);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used == 0 || used != item.size()) throw std::invalid_argument(usage + " expected: " + text);
        values.push_back(n);
    }
    return values;
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
        RegisterTransparencyCommands(t);
        RegisterToolCommands(t);
        RegisterPatternCommands(t);
        return t;
    }();
    return table;
}

}  // namespace commands
