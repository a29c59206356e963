// The text renderer of text and balloon layers: turns a line of UTF-16 text
// into glyph coverage in a one-byte-per-pixel plane.
//
// Fonts come from the system through fontconfig; the Windows face names that
// documents carry ("굴림", "돋움", "바탕", "궁서", "Arial", "Times New Roman",
// ...) are mapped to installed families (the Korean ones to the Nanum fonts).
// Characters the chosen face lacks are taken from a Korean fallback face, so
// Hangul always renders when a Korean font is installed. Glyphs are drawn by
// FreeType from their outlines with fixed load flags and fixed-point layout,
// so the coverage is the same on every run for the same font files.
#pragma once

#include <cstdint>
#include <string>

namespace textrender {

// Font and style of one text layer.
struct FontSpec {
    std::u16string face;      // face name as stored in the layer ("굴림", "Arial", ...)
    int size = 24;            // character (em) height in pixels
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
    int widthScale10 = 10;    // character width ratio x 10 (10 = 1.0)
};

// Limits the renderer applies to stored values (a document may carry any).
inline constexpr int kMinFontSize = 1;
inline constexpr int kMaxFontSize = 1000;
inline constexpr int kMinWidthScale10 = 1;     // 0.1
inline constexpr int kMaxWidthScale10 = 100;   // 10.0

// One byte per pixel, rows top-down or bottom-up (as layer buffers are).
struct Plane {
    uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;           // bytes from one stored row to the next
    bool bottomUp = true;     // stored row 0 is the bottom row
    uint8_t* Row(int topDownRow) const {
        const int stored = bottomUp ? height - 1 - topDownRow : topDownRow;
        return data + size_t(stored) * size_t(stride);
    }
};

// Size of a line (or a whole text) in pixels.
struct Extent {
    int width = 0;            // advance width, grown to the ink of slanted glyphs
    int lineHeight = 0;       // ascent + descent of the font: one line's height
    int ascent = 0;           // baseline distance from the line's top
};

// The installed font file a face name resolves to (empty when none); the
// style picks the bold or italic member of the family when it exists.
std::string ResolveFontFile(const std::u16string& face, bool bold, bool italic);

// Windows face name -> family name asked of fontconfig (the name itself when
// it is not a known Windows face).
std::string MapFaceName(const std::u16string& face);

// Measures one line. False (and an empty extent) when no font can be loaded.
bool MeasureLine(const FontSpec& font, const std::u16string& line, Extent& extent);

// Draws one line with the top of its line box at (x, y), top-down pixel
// coordinates inside the plane. Each covered pixel takes the larger of its
// value and the glyph coverage (255 = fully covered); everything else is left
// unchanged; pixels outside the plane are clipped. Underline and strike-out
// are drawn across the line's advance width. False when no font can be loaded.
bool DrawLine(const FontSpec& font, const std::u16string& line, int x, int y, const Plane& plane);

// Last failure of the renderer (no font found, FreeType error), UTF-8.
std::string LastError();

}  // namespace textrender
