// Text layers (kind 2) and speech-balloon layers (kind 3): their settings,
// the text rules (lines, the 700-unit limit), the balloon geometry, and the
// helpers the document's text operations share with the view and the panels.
//
// The layer record keeps, besides the text and its origin:
//   fontSize        character (em) height in pixels
//   fontFace        the face name (25 units)
//   charWidthScale  width ratio x 10
//   textAttr388     font weight: 100..900, bold from 600 (a new layer has 100)
//   textAttr392     effect bits: 1 italic, 2 underline, 4 strike-out
//   textColor       blue, green, red
// The layer's pixel buffer (one byte per pixel) stays 255 everywhere: every
// pixel is a text pixel; its alpha plane carries the glyph coverage.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layer_set.h"
#include "text_render.h"

namespace textlayer {

// Tools and commands of this area.
inline constexpr int kTextTool = 1382;
inline constexpr int kBalloonTool = 4828;        // also the command "말풍선 넣기"
inline constexpr int kBalloonTailTool = 4829;
inline constexpr int kRasterizeCommand = 1545;

// Undo labels and step types.
inline constexpr const char16_t* kTextEnteredLabel = u"글자입력";   // type 5
inline constexpr const char16_t* kTextEditedLabel = u"글자수정";    // type 4
inline constexpr const char16_t* kRasterizedLabel = u"레스터 형식으로 변환";
inline constexpr int kTextEnteredStep = 5;
inline constexpr int kTextEditedStep = 4;
inline constexpr int kRasterizedStep = 0;

// Stored attribute values.
inline constexpr int kWeightRegular = 400;
inline constexpr int kWeightBold = 700;
inline constexpr int kBoldFromWeight = 600;
enum EffectBits : int32_t { kEffectItalic = 1, kEffectUnderline = 2, kEffectStrikeout = 4 };

// The main frame's current text settings, as the text dialog returns them.
struct TextSettings {
    std::u16string face = u"굴림";
    int size = 24;                 // pixels
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
    int widthScale10 = 10;         // "장평": ratio x 10
    uint32_t color = 0;            // packed blue, green, red (PackBGR)
    int balloonStyle = 2;          // 1 outline, 2 elliptical balloon
    int balloonLineWidth = 2;      // 1..3
};

// What the text dialog hands over on OK.
struct TextDialogValues {
    TextSettings settings;
    std::u16string text;
};

// A layer's own settings (for opening the dialog on it).
TextSettings SettingsOfLayer(const LayerRecord& layer);
// The font the renderer uses for a layer or for settings.
textrender::FontSpec FontOf(const TextSettings& s);
textrender::FontSpec FontOfLayer(const LayerRecord& layer);

// The text a layer holds: at most 700 units, ending at the first NUL (files
// written with a padded length carry NULs after the text).
std::u16string TextOfLayer(const LayerRecord& layer);
// Text limited to what a layer keeps: at most 700 units, cut before the
// first NUL and never inside a surrogate pair.
std::u16string LimitText(const std::u16string& text);
// The lines that are drawn: split at line feeds (a carriage return before a
// line feed is dropped); empty lines are left out.
std::vector<std::u16string> TextLines(const std::u16string& text);
// The line count: a line feed ends a line, empty lines do not count, a last
// line without a line feed counts.
int CountTextLines(const std::u16string& text);

// Balloon outline: the seven points around a text box.
struct BalloonOutline {
    int count = 0;
    int x[7] = {};
    int y[7] = {};
    // Margin box (left', top', right', bottom') and its size.
    int left = 0, top = 0, right = 0, bottom = 0, width = 0, height = 0;
};
enum BalloonPoint { kTopLeft, kTailBaseLeft, kTail, kTailBaseRight, kTopRight, kBottomRight, kBottomLeft };
// The outline around the box (left, top, width, height); a tail point of
// (-1, -1) takes the default place above the balloon.
BalloonOutline ComputeBalloon(int left, int top, int width, int height, int tailX, int tailY);

// Coverage of a balloon drawn into a top-down addressed plane (max with what
// is there). Style 2: the ellipse around the margin box, open between the
// tail base points, and the two tail lines; style 1: the seven-point outline.
void DrawBalloon(const BalloonOutline& outline, int style, int lineWidth, const textrender::Plane& plane);

}  // namespace textlayer
