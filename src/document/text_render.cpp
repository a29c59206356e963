// Text renderer: fontconfig finds the font files, FreeType draws the glyph
// outlines straight into the coverage plane through its span callback.
#include "text_render.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "layer_set.h"

namespace textrender {
namespace {

// Windows faces the documents name, and the installed families that stand in
// for them. Korean gothic faces take Nanum Gothic, the fixed-pitch ones its
// coding variant, the Korean serif and brush faces Nanum Myeongjo.
struct FaceAlias {
    const char* windows;
    const char* family;
};
const FaceAlias kAliases[] = {
    {"굴림", "NanumGothic"},          {"굴림체", "NanumGothicCoding"},
    {"새굴림", "NanumGothic"},        {"돋움", "NanumGothic"},
    {"돋움체", "NanumGothicCoding"},  {"맑은 고딕", "NanumBarunGothic"},
    {"바탕", "NanumMyeongjo"},        {"바탕체", "NanumMyeongjo"},
    {"궁서", "NanumMyeongjo"},        {"궁서체", "NanumMyeongjo"},
    {"gulim", "NanumGothic"},         {"gulimche", "NanumGothicCoding"},
    {"new gulim", "NanumGothic"},     {"dotum", "NanumGothic"},
    {"dotumche", "NanumGothicCoding"}, {"malgun gothic", "NanumBarunGothic"},
    {"batang", "NanumMyeongjo"},      {"batangche", "NanumMyeongjo"},
    {"gungsuh", "NanumMyeongjo"},     {"gungsuhche", "NanumMyeongjo"},
    {"arial", "Nimbus Sans"},         {"helvetica", "Nimbus Sans"},
    {"arial narrow", "Nimbus Sans Narrow"},
    {"times new roman", "Nimbus Roman"}, {"times", "Nimbus Roman"},
    {"courier new", "Nimbus Mono PS"}, {"courier", "Nimbus Mono PS"},
    {"tahoma", "DejaVu Sans"},        {"verdana", "DejaVu Sans"},
    {"ms sans serif", "DejaVu Sans"}, {"microsoft sans serif", "DejaVu Sans"},
    {"segoe ui", "DejaVu Sans"},      {"system", "DejaVu Sans"},
    {"georgia", "DejaVu Serif"},
};
const char* const kKoreanFallback = "NanumGothic";
const char* const kLatinFallback = "DejaVu Sans";

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '@')) ++a;   // '@' marks vertical faces
    while (b > a && s[b - 1] == ' ') --b;
    return s.substr(a, b - a);
}

// A font file resolved for a family and style.
struct FontFile {
    std::string path;
    int index = 0;
    bool synthBold = false;     // asked bold, the file is not
    bool synthItalic = false;   // asked italic, the file is upright
};

// A glyph source: the FreeType face and the synthetic styles to apply.
struct FaceUse {
    FT_Face face = nullptr;
    bool synthBold = false;
    bool synthItalic = false;
};

class Engine {
public:
    Engine() {
        if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
        config_ = FcInitLoadConfigAndFonts();
    }
    ~Engine() {
        for (auto& [key, face] : faces_)
            if (face) FT_Done_Face(face);
        if (library_) FT_Done_FreeType(library_);
        if (config_) FcConfigDestroy(config_);
    }

    std::mutex mutex;
    std::string lastError;

    bool Ready() const { return library_ && config_; }

    // Fontconfig's best scalable match for a family name and style.
    FontFile Resolve(const std::string& family, bool bold, bool italic, bool korean) {
        auto key = std::make_tuple(family, bold, italic, korean);
        auto it = resolved_.find(key);
        if (it != resolved_.end()) return it->second;
        FontFile out;
        if (config_) {
            FcPattern* pat = FcPatternCreate();
            FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
            FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
            FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
            FcPatternAddBool(pat, FC_OUTLINE, FcTrue);
            FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
            if (korean) FcPatternAddString(pat, FC_LANG, reinterpret_cast<const FcChar8*>("ko"));
            FcConfigSubstitute(config_, pat, FcMatchPattern);
            FcDefaultSubstitute(pat);
            FcResult result = FcResultNoMatch;
            FcPattern* match = FcFontMatch(config_, pat, &result);
            if (match) {
                FcChar8* file = nullptr;
                int index = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
                if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
                    out.path = reinterpret_cast<const char*>(file);
                    FcPatternGetInteger(match, FC_INDEX, 0, &index);
                    FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
                    FcPatternGetInteger(match, FC_SLANT, 0, &slant);
                    out.index = index;
                    // The configuration may already mark a synthetic style
                    // (embolden, an oblique matrix) on an upright or regular file.
                    FcBool embolden = FcFalse;
                    FcMatrix* matrix = nullptr;
                    FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden);
                    const bool sheared = FcPatternGetMatrix(match, FC_MATRIX, 0, &matrix) == FcResultMatch &&
                                         matrix && matrix->xy != 0.0;
                    out.synthBold = bold && (weight < FC_WEIGHT_DEMIBOLD || embolden);
                    out.synthItalic = italic && (slant == FC_SLANT_ROMAN || sheared);
                }
                FcPatternDestroy(match);
            }
            FcPatternDestroy(pat);
        }
        // Face names come from documents: keep the cache bounded.
        if (resolved_.size() >= 512) resolved_.clear();
        resolved_[key] = out;
        return out;
    }

    FT_Face Face(const FontFile& f) {
        if (f.path.empty() || !library_) return nullptr;
        auto key = std::make_pair(f.path, f.index);
        auto it = faces_.find(key);
        if (it != faces_.end()) return it->second;
        FT_Face face = nullptr;
        if (FT_New_Face(library_, f.path.c_str(), f.index, &face) != 0 || !FT_IS_SCALABLE(face)) {
            if (face) FT_Done_Face(face);
            face = nullptr;
        }
        faces_[key] = face;
        return face;
    }

    FT_Library Library() const { return library_; }

private:
    FT_Library library_ = nullptr;
    FcConfig* config_ = nullptr;
    std::map<std::tuple<std::string, bool, bool, bool>, FontFile> resolved_;
    std::map<std::pair<std::string, int>, FT_Face> faces_;
};

Engine& TheEngine() {
    static Engine engine;
    return engine;
}

// The faces a line draws with: the chosen face first, then the Korean
// fallback, then a Latin one.
std::vector<FaceUse> FacesFor(Engine& e, const FontSpec& font) {
    std::vector<FaceUse> uses;
    const std::string family = MapFaceName(font.face);
    const std::string order[3] = {family, kKoreanFallback, kLatinFallback};
    for (int k = 0; k < 3; ++k) {
        FontFile f = e.Resolve(order[k], font.bold, font.italic, k == 1);
        FT_Face face = e.Face(f);
        if (!face) continue;
        bool dup = false;
        for (const FaceUse& u : uses) dup = dup || u.face == face;
        if (!dup) uses.push_back(FaceUse{face, f.synthBold, f.synthItalic});
    }
    return uses;
}

int Clamp(int v, int lo, int hi) { return std::min(hi, std::max(lo, v)); }

// Layout parameters of one line, in 26.6 fixed point.
struct LineSetup {
    std::vector<FaceUse> faces;
    int size = 24;
    FT_Fixed xScale = 0x10000;   // width ratio, 16.16
    int ascent = 0, descent = 0; // whole pixels
    FT_Pos emboldenX = 0;        // 26.6
};

bool Prepare(Engine& e, const FontSpec& font, LineSetup& s) {
    if (!e.Ready()) {
        e.lastError = "글꼴 시스템을 초기화하지 못했습니다.";
        return false;
    }
    s.faces = FacesFor(e, font);
    if (s.faces.empty()) {
        e.lastError = "설치된 글꼴이 없습니다.";
        return false;
    }
    s.size = Clamp(font.size, kMinFontSize, kMaxFontSize);
    s.xScale = FT_Fixed(int64_t(Clamp(font.widthScale10, kMinWidthScale10, kMaxWidthScale10)) * 0x10000 / 10);
    for (FaceUse& u : s.faces) FT_Set_Pixel_Sizes(u.face, 0, FT_UInt(s.size));
    const FT_Size_Metrics& m = s.faces[0].face->size->metrics;
    s.ascent = int((m.ascender + 63) >> 6);
    s.descent = int((-m.descender + 63) >> 6);
    if (s.ascent + s.descent <= 0) {
        s.ascent = s.size;
        s.descent = s.size / 4;
    }
    s.emboldenX = std::max<FT_Pos>(32, FT_Pos(s.size) * 64 / 22);
    return true;
}

// Next code point of UTF-16 text.
char32_t NextCodePoint(const std::u16string& text, size_t& i) {
    char32_t c = text[i++];
    if (c >= 0xD800 && c < 0xDC00 && i < text.size() && text[i] >= 0xDC00 && text[i] < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[i] - 0xDC00);
        ++i;
    }
    return c;
}

// Loads the glyph of c (from the first face that has it) with its styles
// applied to the outline. Returns the face's slot, or null.
FT_GlyphSlot LoadStyled(const LineSetup& s, char32_t c, FT_Pos& advance) {
    const FaceUse* use = &s.faces[0];
    FT_UInt gi = 0;
    for (const FaceUse& u : s.faces) {
        gi = FT_Get_Char_Index(u.face, FT_ULong(c));
        if (gi) {
            use = &u;
            break;
        }
    }
    FT_Face face = use->face;
    if (FT_Load_Glyph(face, gi, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT) != 0) return nullptr;
    FT_GlyphSlot slot = face->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return nullptr;
    advance = FT_MulFix(slot->advance.x, s.xScale);
    if (use->synthBold) {
        FT_Outline_EmboldenXY(&slot->outline, s.emboldenX, s.emboldenX / 2);
        advance += s.emboldenX;
    }
    FT_Matrix m;
    m.xx = s.xScale;
    m.xy = use->synthItalic ? 0x3333 : 0;   // 0.2: about 11 degrees of slant
    m.yx = 0;
    m.yy = 0x10000;
    FT_Outline_Transform(&slot->outline, &m);
    return slot;
}

struct SpanTarget {
    const Plane* plane;
    int originX;       // pixel column of the glyph origin
    int baselineRow;   // top-down row of the baseline
};

void Spans(int y, int count, const FT_Span* spans, void* user) {
    const SpanTarget& t = *static_cast<const SpanTarget*>(user);
    const int row = t.baselineRow - 1 - y;
    if (row < 0 || row >= t.plane->height) return;
    uint8_t* p = t.plane->Row(row);
    for (int k = 0; k < count; ++k) {
        int x0 = t.originX + spans[k].x;
        int x1 = x0 + int(spans[k].len);
        const uint8_t cov = spans[k].coverage;
        x0 = std::max(x0, 0);
        x1 = std::min(x1, t.plane->width);
        for (int x = x0; x < x1; ++x)
            if (p[x] < cov) p[x] = cov;
    }
}

void FillRows(const Plane& plane, int x0, int x1, int row0, int rows) {
    x0 = std::max(x0, 0);
    x1 = std::min(x1, plane.width);
    for (int r = std::max(row0, 0); r < std::min(row0 + rows, plane.height); ++r)
        if (x1 > x0) std::memset(plane.Row(r) + x0, 255, size_t(x1 - x0));
}

// Lays out (and, with a plane, draws) one line. Width in whole pixels.
int RunLine(Engine& e, const LineSetup& s, const std::u16string& line, const Plane* plane, int x, int y) {
    FT_Pos pen = 0, inkRight = 0;
    const int baseline = y + s.ascent;
    for (size_t i = 0; i < line.size();) {
        const char32_t c = NextCodePoint(line, i);
        if (c == 0) break;
        if (c < 0x20 || c == 0x7F) continue;
        FT_Pos advance = 0;
        FT_GlyphSlot slot = LoadStyled(s, c, advance);
        if (!slot) continue;
        FT_Outline& outline = slot->outline;
        FT_Outline_Translate(&outline, pen & 63, 0);
        FT_BBox box;
        FT_Outline_Get_CBox(&outline, &box);
        if (outline.n_points > 0) inkRight = std::max(inkRight, (pen & ~FT_Pos(63)) + box.xMax);
        if (plane && outline.n_points > 0) {
            SpanTarget target{plane, x + int(pen >> 6), baseline};
            FT_Raster_Params params;
            std::memset(&params, 0, sizeof params);
            params.source = &outline;
            params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT;
            params.gray_spans = Spans;
            params.user = &target;
            FT_Outline_Render(e.Library(), &outline, &params);
        }
        pen += advance;
    }
    const int advanceWidth = int((pen + 63) >> 6);
    return std::max(advanceWidth, int((inkRight + 63) >> 6));
}

// Underline and strike-out rows of the first face, relative to the baseline
// (positive = below).
void DecorationRows(const LineSetup& s, int& underRow, int& underRows, int& strikeRow, int& strikeRows) {
    FT_Face face = s.faces[0].face;
    const FT_Fixed ys = face->size->metrics.y_scale;
    const int thick = std::max(1, int((FT_MulFix(face->underline_thickness, ys) + 32) >> 6));
    underRows = thick;
    underRow = std::max(1, int((FT_MulFix(-face->underline_position, ys) + 32) >> 6)) - thick / 2;
    strikeRows = thick;
    strikeRow = -std::max(1, s.ascent * 3 / 10);   // fallback: a bit under the middle of the x-height
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2)); os2 && os2->version != 0xFFFF) {
        if (os2->yStrikeoutSize > 0) strikeRows = std::max(1, int((FT_MulFix(os2->yStrikeoutSize, ys) + 32) >> 6));
        if (os2->yStrikeoutPosition > 0) strikeRow = -int((FT_MulFix(os2->yStrikeoutPosition, ys) + 32) >> 6);
    }
    // Both stay inside the line box (some fonts put the underline below it).
    underRows = std::min(underRows, std::max(1, s.descent));
    underRow = std::max(1, std::min(underRow, s.descent - underRows));
    strikeRow = std::max(strikeRow, -s.ascent);
}

}  // namespace

std::string MapFaceName(const std::u16string& face) {
    const std::string name = Trim(Utf16ToUtf8(face));
    const std::string lower = Lower(name);
    for (const FaceAlias& a : kAliases)
        if (lower == a.windows) return a.family;
    return name.empty() ? std::string(kKoreanFallback) : name;
}

std::string ResolveFontFile(const std::u16string& face, bool bold, bool italic) {
    Engine& e = TheEngine();
    std::lock_guard<std::mutex> lock(e.mutex);
    return e.Resolve(MapFaceName(face), bold, italic, false).path;
}

bool MeasureLine(const FontSpec& font, const std::u16string& line, Extent& extent) {
    Engine& e = TheEngine();
    std::lock_guard<std::mutex> lock(e.mutex);
    extent = Extent{};
    LineSetup s;
    if (!Prepare(e, font, s)) return false;
    extent.width = RunLine(e, s, line, nullptr, 0, 0);
    extent.ascent = s.ascent;
    extent.lineHeight = s.ascent + s.descent;
    return true;
}

bool DrawLine(const FontSpec& font, const std::u16string& line, int x, int y, const Plane& plane) {
    Engine& e = TheEngine();
    std::lock_guard<std::mutex> lock(e.mutex);
    LineSetup s;
    if (!Prepare(e, font, s)) return false;
    if (!plane.data || plane.width <= 0 || plane.height <= 0) return true;
    const int width = RunLine(e, s, line, &plane, x, y);
    if ((font.underline || font.strikeout) && width > 0) {
        int underRow = 0, underRows = 1, strikeRow = 0, strikeRows = 1;
        DecorationRows(s, underRow, underRows, strikeRow, strikeRows);
        const int baseline = y + s.ascent;
        if (font.underline) FillRows(plane, x, x + width, baseline + underRow, underRows);
        if (font.strikeout) FillRows(plane, x, x + width, baseline + strikeRow, strikeRows);
    }
    return true;
}

std::string LastError() {
    Engine& e = TheEngine();
    std::lock_guard<std::mutex> lock(e.mutex);
    return e.lastError;
}

}  // namespace textrender
