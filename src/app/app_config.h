// The settings that survive between runs: "RoviCon_380.ini" and
// "FirstShow.ini". Plain data and file I/O, no window system, so the formats
// can be checked on their own.
#pragma once

#include <cstdint>
#include <string>

struct PickerState {
    int32_t swatch = 0, x = 0, y = 0;
};

struct AppSettings {
    // Colours: red in the lowest byte, then green, then blue.
    int32_t fg = 0x000000, bg = 0xFFFFFF, tx = 0x000000, pfg = 0x000000, pbg = 0xFFFFFF;
    PickerState fgPick, bgPick, txPick;
    int32_t fontSize = 12;
    bool strikeOut = false, underline = false;
    int32_t brushSize = 5, brushMode = 0;
    int32_t gridGap = -16;               // negative while the grid is hidden
    int32_t gridColour = 0xC0C0C0;
    int32_t cursor = 5;
    int32_t pnt = 0;
    int32_t pathSegColour = 0x0000FF, pathPointColour = 0xFF0000;
    int32_t fog = 0;
    int32_t transpRep = 3;               // backdrop hatch style 0-5
    int32_t folder = 0;                  // first-run flag (FirstShow.ini)
    int32_t ud = 0;
    int32_t rs = 0;
    int32_t ws[4] = {0, 0, 0, 0};
    std::u16string fontName = u"굴림", fontName2 = u"굴림";
    // From FirstShow.ini: the image browser's start folder.
    std::u16string browserFolder;
    // Lines after the font names that the editor does not read itself (the
    // updater's "KEY VALUE" lines), written back as they were.
    std::string trailer;
    // Memory budget of the documents in megabytes, 0 = automatic (half of
    // the physical memory): the line "MemoryBudgetMB N" after the names,
    // written only when set.
    int64_t memoryBudgetMB = 0;
};

// The values of the options dialog "환경설정" and the rules its OK applies.
struct OptionsValues {
    int gridGapText = 16;      // the number typed in the edit box
    int32_t gridColour = 0, pathSeg = 0, pathPoint = 0;
    int backdrop = 3;          // 0-5
    int cursorButton = 0;      // 0-4
    bool showBrowser = false, tintedSelection = false, startupOption = false;
    int64_t memoryBudgetMB = 0;   // 0 = automatic
};
void ApplyOptions(const OptionsValues& v, AppSettings& s);

namespace config {

inline constexpr const char* kConfigFile = "RoviCon_380.ini";
inline constexpr const char* kFirstShowFile = "FirstShow.ini";
inline constexpr int kMaxFontName = 100;
// Ranges of the settings; every value read or written is brought into them.
inline constexpr int32_t kMinFontSize = 2, kMaxFontSize = 2000;   // kept doubled by the text dialog
inline constexpr int32_t kMinBrushSize = 1, kMaxBrushSize = 30;
inline constexpr int32_t kMinGridGap = 4, kMaxGridGap = 40;
inline constexpr int64_t kMaxMemoryBudgetMB = int64_t(1) << 24;

// Reads "RoviCon_380.ini" over s; false when the file cannot be opened.
// Lines that do not match leave their values as they were.
bool LoadSettings(const std::string& file, AppSettings& s);
// Parses the bytes of such a file (what LoadSettings does after reading).
void ParseSettings(const std::string& bytes, AppSettings& s);
// Writes s with every value in its range (s itself is not changed).
std::string FormatSettings(const AppSettings& s);
// Brings every value into its range: colours to 24 bits, font size 2-2000,
// brush 1-30 and mode 0/1, grid gap 4-40 (its sign kept), cursor 1-5 (other
// values meant the cross-hair, 5), backdrop 0-5 (else 3), flags 0/1, the
// stored bytes of WS 0-255, names at most 100 units.
void ClampSettings(AppSettings& s);
// Shows or hides the grid (the gap's sign), the gap brought into 4-40.
void ToggleGrid(int32_t& gridGap);
bool SaveSettings(const std::string& file, const AppSettings& s);

// "FirstShow.ini": the first-run flag, UD and the browser folder. A missing
// file leaves the flag 0 and the folder empty. startDir is the start-up
// working directory (the Samples folder lies below it on the first run).
void LoadFirstShow(const std::string& file, const std::string& startDir, AppSettings& s);
bool SaveFirstShow(const std::string& file, const AppSettings& s);

// First start (the folder was never set up): installs the shipped defaults
// into folder, as an installer would, and marks the folder as set up; true
// when a configuration file was installed.
bool InstallDefaults(const std::string& folder, const std::string& defaultsFolder);

}  // namespace config
