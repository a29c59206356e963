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
};

namespace config {

inline constexpr const char* kConfigFile = "RoviCon_380.ini";
inline constexpr const char* kFirstShowFile = "FirstShow.ini";
inline constexpr int kMaxFontName = 100;

// Reads "RoviCon_380.ini" over s; false when the file cannot be opened.
// Lines that do not match leave their values as they were.
bool LoadSettings(const std::string& file, AppSettings& s);
// Parses the bytes of such a file (what LoadSettings does after reading).
void ParseSettings(const std::string& bytes, AppSettings& s);
std::string FormatSettings(const AppSettings& s);
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
