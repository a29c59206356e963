// The one table from command identifier to document operation. pimlora-cli
// runs steps through it; the editor's event tables route menu, tool-bar and
// accelerator commands through it. Each area of the document registers its
// commands in its own Register... function, called from commands.cpp.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

class CVexoDoc;

namespace commands {

// A numeric command: its integer parameters come from "ID:P1,P2,...".
using CommandFn = std::function<bool(CVexoDoc& doc, const std::vector<int>& params)>;
// A named step ("wand:X,Y,T", "filter:NAME:...", "text:..."): gets the text
// after the first colon; false when it refused (message already shown).
// Throws std::invalid_argument when the text is malformed (a usage error).
using NamedFn = std::function<bool(CVexoDoc& doc, const std::string& args)>;

// Where a command gets what it needs from the user. A tool choice only
// switches the tool (the mouse does the work in the view); a dialog command
// runs when its values come as parameters ("ID:P1,P2,..."), which only its
// dialog supplies in the editor.
enum class Needs { Nothing, Tool, Dialog };

struct Command {
    int id = -1;
    std::string label;     // menu text or undo label, for listings
    CommandFn run;
    Needs needs = Needs::Nothing;
};

class Table {
public:
    void Add(int id, std::string label, CommandFn run, Needs needs = Needs::Nothing);
    void AddNamed(const std::string& name, NamedFn run);
    const Command* Find(int id) const;
    const NamedFn* FindNamed(const std::string& name) const;
    const std::map<int, Command>& All() const { return byId_; }

private:
    std::map<int, Command> byId_;
    std::map<std::string, NamedFn> named_;
};

// Parses "A,B,C" into whole numbers; throws std::invalid_argument with
// "USAGE expected: TEXT" when an item is not a whole number.
std::vector<int> ParseIntList(const std::string& text, const std::string& usage);

// The table with every command registered.
const Table& All();

// Registration by area (one function per source file that has commands).
void RegisterLayerCommands(Table& t);
// Colour format and file commands (2016, 2091), called from RegisterLayerCommands.
void RegisterDocumentCommands(Table& t);
// Text and balloon layers (1545, 4828, "text:", "balloon:", "edit-text:").
void RegisterTextCommands(Table& t);
// Undo, redo, undo brush (undo_journal.cpp).
void RegisterUndoCommands(Table& t);
// Selection commands and the wand:, rect:, range: steps (selection.cpp).
void RegisterSelectionCommands(Table& t);
// Filters and geometric transforms, and the named step "filter" (filter_commands.cpp).
void RegisterFilterCommands(Table& t);
// Dialog operations: image size, canvas size, levels (dlg_*.cpp).
void RegisterDialogCommands(Table& t);
// Levels: 2076, 2077 and the named step "levels" (dlg_levels.cpp).
void RegisterLevelsCommands(Table& t);
// The free-rotation panel's named step "rotate" (dlg_rotate.cpp).
void RegisterRotateCommands(Table& t);
// Red-eye removal's named step "redeye" (dlg_redeye.cpp).
void RegisterRedEyeCommands(Table& t);
// Photo frames' named step "frame" (dlg_frame.cpp).
void RegisterFrameCommands(Table& t);
// Calendar's named step "calendar" (dlg_calendar.cpp).
void RegisterCalendarCommands(Table& t);

// Clipboard, duplicates and parameter-only entries (edit_commands.cpp).
void RegisterEditCommands(Table& t);
// Transparency and alpha settings of the document image, and the named step
// "pick-transparent" (transparency.cpp).
void RegisterTransparencyCommands(Table& t);
// Comb pattern layer (4816) and the named step "pattern" (dlg_pattern.cpp).
void RegisterPatternCommands(Table& t);
// Tool choices and the entries of commands whose values come from a dialog
// (tool_commands.cpp).
void RegisterToolCommands(Table& t);

}  // namespace commands
