#include "app_config.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "layer_set.h"

namespace config {
namespace {

// A folder or anything else that is not a plain file counts as missing.
std::string ReadAll(const std::string& file, bool& ok) {
    std::error_code ec;
    ok = std::filesystem::is_regular_file(file, ec);
    if (!ok) return {};
    std::ifstream in(file, std::ios::binary);
    ok = bool(in);
    if (!ok) return {};
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Reads text by scanf formats from a byte buffer, line after line, the way
// the file was written. Each Match either consumes its line and returns the
// values, or leaves the position at the next line break.
class Scanner {
public:
    explicit Scanner(const std::string& bytes) : s_(bytes) {}

    template <typename... T>
    bool Match(const char* format, int expected, T*... out) {
        if (pos_ >= s_.size()) return false;
        // sscanf needs a terminated string: the text part never holds NULs
        // before the names, and the buffer is a std::string (terminated).
        std::string fmt = std::string(format) + "%n";
        int used = -1;
        int got = std::sscanf(s_.c_str() + pos_, fmt.c_str(), out..., &used);
        if (got == expected && used > 0) {
            pos_ += size_t(used);
            return true;
        }
        // Skip the rest of this line; the next format starts with its break.
        size_t p = pos_;
        while (p < s_.size() && std::isspace((unsigned char)s_[p])) ++p;
        size_t nl = s_.find('\n', p);
        pos_ = nl == std::string::npos ? s_.size() : nl;
        return false;
    }
    // Exactly one line break ("\r\n" or "\n").
    void Break() {
        if (pos_ < s_.size() && s_[pos_] == '\r') ++pos_;
        if (pos_ < s_.size() && s_[pos_] == '\n') ++pos_;
    }
    std::u16string Units(int count) {
        std::u16string out;
        for (int i = 0; i < count && pos_ + 1 < s_.size(); ++i, pos_ += 2)
            out.push_back(char16_t(uint8_t(s_[pos_]) | (uint8_t(s_[pos_ + 1]) << 8)));
        // A NUL ends a name early.
        size_t z = out.find(u'\0');
        if (z != std::u16string::npos) out.resize(z);
        return out;
    }
    std::string Rest() const { return pos_ < s_.size() ? s_.substr(pos_) : std::string(); }

private:
    const std::string& s_;
    size_t pos_ = 0;
};

void PutUnits(std::string& out, const std::u16string& text) {
    for (char16_t c : text) {
        out.push_back(char(c & 0xFF));
        out.push_back(char(c >> 8));
    }
}

bool WriteAll(const std::string& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}

std::string Printf(const char* format, auto... args) {
    char buf[256];
    int n = std::snprintf(buf, sizeof buf, format, args...);
    return std::string(buf, size_t(n < 0 ? 0 : (n >= int(sizeof buf) ? int(sizeof buf) - 1 : n)));
}

std::u16string Clip(const std::u16string& s) { return s.size() > size_t(kMaxFontName) ? s.substr(0, kMaxFontName) : s; }

// The memory budget's line among the lines after the names: its value
// (0 when missing), the line taken out of `trailer`.
int64_t TakeMemoryBudget(std::string& trailer) {
    static const std::string key = "\nMemoryBudgetMB ";
    const size_t at = trailer.find(key);
    if (at == std::string::npos) return 0;
    const size_t end = std::min(trailer.find('\n', at + 1), trailer.size());
    const std::string value = trailer.substr(at + key.size(), end - at - key.size());
    trailer.erase(at, end - at);
    char* stop = nullptr;
    const long long v = std::strtoll(value.c_str(), &stop, 10);
    if (stop == value.c_str() || v <= 0) return 0;
    return std::min<long long>(v, kMaxMemoryBudgetMB);
}

// A colour is 24 bits: red, green, blue from the lowest byte.
int32_t Colour(long long v) { return int32_t(std::clamp<long long>(v, 0, 0xFFFFFF)); }

}  // namespace

void ParseSettings(const std::string& bytes, AppSettings& s) {
    // Every number is read as a 64-bit value (a number too long even for
    // that reads as the largest one) and then brought into its range, so no
    // text can wrap a value around.
    Scanner in(bytes);
    long long a, b, c, d, e, f;
    auto i32 = [](long long v) { return int32_t(std::clamp<long long>(v, INT32_MIN, INT32_MAX)); };
    if (in.Match("FG%lld BG%lld TX%lld pFG%lld pBG%lld", 5, &a, &b, &c, &d, &e)) {
        s.fg = Colour(a), s.bg = Colour(b), s.tx = Colour(c), s.pfg = Colour(d), s.pbg = Colour(e);
    }
    if (in.Match("\nFG: %lld X%lld Y%lld", 3, &a, &b, &c)) s.fgPick = {i32(a), i32(b), i32(c)};
    if (in.Match("\nBG: %lld X%lld Y%lld", 3, &a, &b, &c)) s.bgPick = {i32(a), i32(b), i32(c)};
    if (in.Match("\nTX: %lld X%lld Y%lld", 3, &a, &b, &c)) s.txPick = {i32(a), i32(b), i32(c)};
    int len1 = int(s.fontName.size()), len2 = int(s.fontName2.size());
    bool haveNames = false;
    if (in.Match("\nFontSize %lld %lld %lld", 3, &a, &b, &c)) {
        s.fontSize = int32_t(std::clamp<long long>(a, kMinFontSize, kMaxFontSize));
        // A negative count is as wrong as a long one: read nothing then.
        len1 = b < 0 ? 0 : int(std::min<long long>(b, kMaxFontName));
        len2 = c < 0 ? 0 : int(std::min<long long>(c, kMaxFontName));
        haveNames = true;
    }
    if (in.Match("\nFontStrikeOut %lld", 1, &a)) s.strikeOut = a != 0;
    if (in.Match("\nFontUnderLine %lld", 1, &a)) s.underline = a != 0;
    if (in.Match("\n%lld %lld", 2, &a, &b)) {
        s.brushSize = i32(a);
        s.brushMode = i32(b);
    }
    if (in.Match("\nGGap%lld GClr%lld Cur%lld Pnt%lld %lld %lld", 6, &a, &b, &c, &d, &e, &f)) {
        s.gridGap = i32(a);
        s.gridColour = Colour(b);
        s.cursor = i32(c);
        s.pnt = i32(d);
        s.pathSegColour = Colour(e);
        s.pathPointColour = Colour(f);
    }
    if (in.Match("\nFog %lld", 1, &a)) s.fog = i32(a);
    if (in.Match("\nTranspRep %lld", 1, &a)) s.transpRep = i32(a);
    if (in.Match("\nFolder: %lld", 1, &a)) s.folder = i32(a);
    if (in.Match("\nUD %lld", 1, &a)) s.ud = i32(a);
    if (in.Match("\nRS %lld", 1, &a)) s.rs = i32(a);
    if (in.Match("\nWS %lld %lld %lld %lld", 4, &a, &b, &c, &d)) {
        s.ws[0] = i32(a), s.ws[1] = i32(b), s.ws[2] = i32(c), s.ws[3] = i32(d);
    }
    if (haveNames) {
        in.Break();
        std::u16string n1 = in.Units(len1);
        in.Break();
        std::u16string n2 = in.Units(len2);
        if (!n1.empty()) s.fontName = n1;
        if (!n2.empty()) s.fontName2 = n2;
        s.trailer = in.Rest();
        s.memoryBudgetMB = TakeMemoryBudget(s.trailer);
    }
    ClampSettings(s);
}

void ClampSettings(AppSettings& s) {
    for (int32_t* colour : {&s.fg, &s.bg, &s.tx, &s.pfg, &s.pbg, &s.gridColour, &s.pathSegColour, &s.pathPointColour})
        *colour = Colour(*colour);
    s.fontSize = std::clamp(s.fontSize, kMinFontSize, kMaxFontSize);
    s.brushSize = std::clamp(s.brushSize, kMinBrushSize, kMaxBrushSize);
    s.brushMode = s.brushMode != 0 ? 1 : 0;
    // The grid gap keeps its sign (negative while the grid is hidden).
    const int32_t gap = int32_t(std::clamp<int64_t>(s.gridGap < 0 ? -int64_t(s.gridGap) : s.gridGap, kMinGridGap, kMaxGridGap));
    s.gridGap = s.gridGap < 0 ? -gap : gap;
    // Cursor values other than 1-4 all meant the cross-hair, which is 5.
    if (s.cursor < 1 || s.cursor > 5) s.cursor = 5;
    if (s.transpRep < 0 || s.transpRep > 5) s.transpRep = 3;
    s.folder = std::clamp(s.folder, 0, 1);
    s.ud = std::clamp(s.ud, 0, 1);
    s.rs = std::clamp(s.rs, 0, 1);
    s.ws[0] = std::clamp(s.ws[0], 0, 255);
    s.ws[1] = std::clamp(s.ws[1], 0, 1);
    s.ws[2] = std::clamp(s.ws[2], 0, 1);
    s.ws[3] = std::clamp(s.ws[3], 0, 255);
    s.memoryBudgetMB = std::clamp<int64_t>(s.memoryBudgetMB, 0, kMaxMemoryBudgetMB);
    if (s.fontName.size() > size_t(kMaxFontName)) s.fontName.resize(kMaxFontName);
    if (s.fontName2.size() > size_t(kMaxFontName)) s.fontName2.resize(kMaxFontName);
}

void ToggleGrid(int32_t& gridGap) {
    const int32_t gap = int32_t(std::clamp<int64_t>(gridGap < 0 ? -int64_t(gridGap) : gridGap, kMinGridGap, kMaxGridGap));
    gridGap = gridGap > 0 ? -gap : gap;
}

bool LoadSettings(const std::string& file, AppSettings& s) {
    bool ok = false;
    std::string bytes = ReadAll(file, ok);
    if (!ok) return false;
    s.transpRep = 3;   // when the line is missing
    ParseSettings(bytes, s);
    return true;
}

std::string FormatSettings(const AppSettings& settings) {
    // Nothing out of range is ever written.
    AppSettings s = settings;
    ClampSettings(s);
    std::u16string n1 = Clip(s.fontName), n2 = Clip(s.fontName2);
    std::string out;
    out += Printf("FG%ld BG%ld TX%ld pFG%ld pBG%ld", long(s.fg), long(s.bg), long(s.tx), long(s.pfg), long(s.pbg));
    out += Printf("\nFG: %d X%d Y%d", s.fgPick.swatch, s.fgPick.x, s.fgPick.y);
    out += Printf("\nBG: %d X%d Y%d", s.bgPick.swatch, s.bgPick.x, s.bgPick.y);
    out += Printf("\nTX: %d X%d Y%d", s.txPick.swatch, s.txPick.x, s.txPick.y);
    out += Printf("\nFontSize %d %d %d\n", s.fontSize, int(n1.size()), int(n2.size()));
    out += Printf("\nFontStrikeOut %d", int(s.strikeOut));
    out += Printf("\nFontUnderLine %d", int(s.underline));
    out += Printf("\n%d %d", s.brushSize, s.brushMode);
    out += Printf("\nGGap%d GClr%ld Cur%d Pnt%d %ld %ld", s.gridGap < 0 ? -s.gridGap : s.gridGap, long(s.gridColour),
                  s.cursor, s.pnt, long(s.pathSegColour), long(s.pathPointColour));
    out += Printf("\nFog %d", s.fog);
    out += Printf("\nTranspRep %d", s.transpRep);
    out += "\nFolder: 0";
    out += Printf("\nUD %d", s.ud);
    out += Printf("\nRS %d", s.rs);
    out += Printf("\nWS %d %d %d %d", s.ws[0], s.ws[1], s.ws[2], s.ws[3]);
    out += "\n";
    PutUnits(out, n1);
    out += "\n";
    PutUnits(out, n2);
    out += s.trailer;
    // Only when set, so that files with the automatic budget stay as they were.
    if (s.memoryBudgetMB > 0) out += Printf("\nMemoryBudgetMB %lld", (long long)s.memoryBudgetMB);
    return out;
}

bool SaveSettings(const std::string& file, const AppSettings& s) { return WriteAll(file, FormatSettings(s)); }

void LoadFirstShow(const std::string& file, const std::string& startDir, AppSettings& s) {
    bool ok = false;
    std::string bytes = ReadAll(file, ok);
    s.folder = 0;
    s.browserFolder.clear();
    if (!ok) return;
    Scanner in(bytes);
    long long flag = 0, ud = 0, len = 0;
    if (in.Match("%lld update %lld", 2, &flag, &ud)) {
        s.folder = int32_t(std::clamp<long long>(flag, 0, 1));
        s.ud = int32_t(std::clamp<long long>(ud, 0, 1));
    }
    if (s.folder == 0) {
        if (in.Match("\n%lld", 1, &len) && len > 0) {
            in.Break();
            s.browserFolder = in.Units(int(std::min<long long>(len, 4096)));
        }
    } else {
        s.browserFolder = Utf8ToUtf16(startDir + "/Samples");
    }
}

bool SaveFirstShow(const std::string& file, const AppSettings& s) {
    std::string out = Printf("0 update %d", s.ud);
    out += Printf("\n%d", int(s.browserFolder.size()));
    out += "\n";
    PutUnits(out, s.browserFolder);
    return WriteAll(file, out);
}

bool InstallDefaults(const std::string& folder, const std::string& defaultsFolder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    // Installed once: a configuration deleted later stays missing.
    fs::path marker = fs::path(folder) / ".installed";
    if (fs::exists(marker, ec)) return false;
    bool any = false;
    for (const char* name : {kConfigFile, kFirstShowFile}) {
        fs::path src = fs::path(defaultsFolder) / name, dst = fs::path(folder) / name;
        if (fs::exists(src, ec) && !fs::exists(dst, ec)) {
            fs::copy_file(src, dst, ec);
            if (!ec && std::string(name) == kConfigFile) any = true;
        }
    }
    std::ofstream(marker.string()) << "1\n";
    return any;
}

}  // namespace config

void ApplyOptions(const OptionsValues& v, AppSettings& s) {
    bool hidden = s.gridGap < 0;
    int gap = std::clamp(v.gridGapText, int(config::kMinGridGap), int(config::kMaxGridGap));
    s.gridGap = hidden ? -gap : gap;
    s.gridColour = v.gridColour;
    s.pathSegColour = v.pathSeg;
    s.pathPointColour = v.pathPoint;
    s.transpRep = v.backdrop;
    // The stored cursor runs 1-5 (arrow .. cross-hair): button i is i + 1.
    s.cursor = v.cursorButton + 1;
    s.ws[1] = v.showBrowser ? 1 : 0;
    s.rs = v.tintedSelection ? 1 : 0;
    s.ud = v.startupOption ? 1 : 0;
    s.memoryBudgetMB = std::clamp<int64_t>(v.memoryBudgetMB, 0, config::kMaxMemoryBudgetMB);
}
