#include "app_config.h"

#include <cctype>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "layer_set.h"

namespace config {
namespace {

std::string ReadAll(const std::string& file, bool& ok) {
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

}  // namespace

void ParseSettings(const std::string& bytes, AppSettings& s) {
    Scanner in(bytes);
    long a, b, c, d, e;
    int i, j, k;
    if (in.Match("FG%ld BG%ld TX%ld pFG%ld pBG%ld", 5, &a, &b, &c, &d, &e)) {
        s.fg = int32_t(a), s.bg = int32_t(b), s.tx = int32_t(c), s.pfg = int32_t(d), s.pbg = int32_t(e);
    }
    if (in.Match("\nFG: %d X%d Y%d", 3, &i, &j, &k)) s.fgPick = {i, j, k};
    if (in.Match("\nBG: %d X%d Y%d", 3, &i, &j, &k)) s.bgPick = {i, j, k};
    if (in.Match("\nTX: %d X%d Y%d", 3, &i, &j, &k)) s.txPick = {i, j, k};
    int len1 = int(s.fontName.size()), len2 = int(s.fontName2.size());
    bool haveNames = false;
    if (in.Match("\nFontSize %d %d %d", 3, &i, &j, &k)) {
        s.fontSize = i < 2 ? 2 : i;
        // A negative count is as wrong as a long one: read nothing then.
        len1 = j < 0 ? 0 : (j > kMaxFontName ? kMaxFontName : j);
        len2 = k < 0 ? 0 : (k > kMaxFontName ? kMaxFontName : k);
        haveNames = true;
    }
    if (in.Match("\nFontStrikeOut %d", 1, &i)) s.strikeOut = i != 0;
    if (in.Match("\nFontUnderLine %d", 1, &i)) s.underline = i != 0;
    if (in.Match("\n%d %d", 2, &i, &j)) {
        s.brushSize = i < 1 ? 1 : i;
        s.brushMode = j;
    }
    int g, cur, pnt;
    long gc, p1, p2;
    if (in.Match("\nGGap%d GClr%ld Cur%d Pnt%d %ld %ld", 6, &g, &gc, &cur, &pnt, &p1, &p2)) {
        s.gridGap = g;
        s.gridColour = int32_t(gc);
        s.cursor = cur;
        s.pnt = pnt;
        s.pathSegColour = int32_t(p1);
        s.pathPointColour = int32_t(p2);
    }
    if (in.Match("\nFog %d", 1, &i)) s.fog = i;
    if (in.Match("\nTranspRep %d", 1, &i)) s.transpRep = i;
    if (in.Match("\nFolder: %d", 1, &i)) s.folder = i;
    if (in.Match("\nUD %d", 1, &i)) s.ud = i;
    if (in.Match("\nRS %d", 1, &i)) s.rs = i;
    int w[4];
    if (in.Match("\nWS %d %d %d %d", 4, &w[0], &w[1], &w[2], &w[3]))
        for (int n = 0; n < 4; ++n) s.ws[n] = w[n];
    if (haveNames) {
        in.Break();
        std::u16string n1 = in.Units(len1);
        in.Break();
        std::u16string n2 = in.Units(len2);
        if (!n1.empty()) s.fontName = n1;
        if (!n2.empty()) s.fontName2 = n2;
        s.trailer = in.Rest();
    }
    // Values the program cannot use are brought into range.
    if (s.transpRep < 0 || s.transpRep > 5) s.transpRep = 3;
}

bool LoadSettings(const std::string& file, AppSettings& s) {
    bool ok = false;
    std::string bytes = ReadAll(file, ok);
    if (!ok) return false;
    s.transpRep = 3;   // when the line is missing
    ParseSettings(bytes, s);
    return true;
}

std::string FormatSettings(const AppSettings& s) {
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
    int flag = 0, ud = 0, len = 0;
    if (in.Match("%d update %d", 2, &flag, &ud)) {
        s.folder = flag;
        s.ud = ud;
    }
    if (s.folder == 0) {
        if (in.Match("\n%d", 1, &len) && len > 0) {
            if (len > 4096) len = 4096;
            in.Break();
            s.browserFolder = in.Units(len);
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
