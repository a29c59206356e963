// Headless models of the smaller parameter windows: new image, shadow
// effect, comb pattern, colour range, the text dialog's fields, the red-eye
// panel's pupil rectangle, and the save plan of the save-as dialog. Each
// holds the window's values, limits and texts; the windows only show them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dlg_redeye.h"
#include "text_layers.h"

class CVexoDoc;

namespace dlgmodel {

// --- new image (57600) ---------------------------------------------------------
struct NewImageModel {
    static constexpr int kMaxSide = 4000;
    int width = 640, height = 480;
    std::string name;            // proposed: the next document's title
    int background = 0;          // 0 "흰색", 1 "투명", 2 the background colour
    int format = 0;              // "영상형식": 0 24-bit colour, 1 8-bit
    static const std::vector<std::string>& Backgrounds();
    static const std::vector<std::string>& Formats();
    // The up-downs and typed values keep each side within 1..4000.
    void SetWidth(long w);
    void SetHeight(long h);
    int Bits() const { return format == 1 ? 8 : 24; }
};
// Fills a new document's single layer for the background choice (colour
// packed red in the low byte, as the configuration keeps it).
void FillNewLayer(CVexoDoc& doc, int background, uint32_t backColourRgb);

// --- shadow effect (1558, edited by 2068) ----------------------------------------
struct ShadowModel {
    bool on = true;
    int direction = 0;           // 0 right-down ... 7 right (steps of 45 degrees)
    int distance = 6, spread = 4, strength = 150;
    static const std::vector<std::string>& Directions();
    // The layer's current effect (editing an existing shadow).
    void FromLayer(const LayerRecord& layer);
    // KIND,DIR,DIST,SPREAD,STRENGTH for command 1558, clamped to its ranges.
    std::vector<int> Params() const;
};

// --- comb pattern layer (4816) ---------------------------------------------------------
struct PatternModel {
    int spacing = 12, thickness = 3;
    uint8_t r = 0, g = 0, b = 0;
    // Thickness stays within 1..spacing, spacing within 2..256.
    void SetSpacing(long s);
    void SetThickness(long t);
    std::string StepArgs() const;   // "SPACING,THICKNESS,RRGGBB" of the pattern step
};

// --- colour range (3327) ----------------------------------------------------------------
struct ColourRangeModel {
    int tolerance = 10;          // 0..255
    int mode = 0;                // 0 "색상추출" (new), 1 "색상추출더하기" (add)
    bool haveColour = false;
    uint32_t colour = 0;         // reference colour, blue in the low byte
    std::string resultText;      // "픽셀수 %d   (%.2f)%s"
    void SetTolerance(long t);
    // Runs the selection with the reference colour; false without one or
    // when refused. The pixel count and its share of the layer go to
    // resultText.
    bool Run(CVexoDoc& doc);
    // The press of the tool in the picture: the layer's colour there
    // becomes the reference colour, then the selection runs.
    bool Pick(CVexoDoc& doc, uint32_t colour);
    // The reset button: the layer from the previous-state copy, the
    // selection state cleared and every mask byte 0.
    void Reset(CVexoDoc& doc);
    // Cancel: the layer put back, the selection dropped.
    void Cancel(CVexoDoc& doc);
};
std::string RangeResultText(int64_t count, int64_t layerPixels);

// --- text dialog (CDlg_Text) -----------------------------------------------------------
struct TextDialogModel {
    textlayer::TextSettings settings;
    std::u16string text;
    static const std::vector<std::string>& Styles();   // "Regular", "Bold", "Italic", "Bold Italic"
    int StyleIndex() const;
    void SetStyleIndex(int i);
    std::string WidthText() const;                     // "장평(%)": the ratio with "%.1f"
    void SetWidthText(const std::string& text);        // 0.1 .. 9.9
    void StepWidth(int delta);                         // +-0.1
    bool Ready() const;                                // at least one character
    textlayer::TextDialogValues Values() const;
};

// --- red eye: the finished selection's rectangle ------------------------------------------
// Bounding rectangle (canvas pixels, origin top-left, right and bottom
// exclusive) of the selected mask bytes; left -1 without an active selection.
dlg::PupilRect SelectionBounds(const CVexoDoc& doc);

// --- save as ----------------------------------------------------------------------------
// A layered document saved to a flat format loses its layers: true when
// the user should be asked first (more than one layer, or a text or balloon
// layer, and a target that is not VOR).
bool SaveFlattens(const CVexoDoc& doc, const std::string& path);
inline constexpr const char* kFlattenQuestion =
    "레이어가 합쳐져 저장됩니다. 레이어를 유지하려면 vor 형식으로 저장하십시요.\n계속하시겠습니까?";
// The file name proposed by the save-as dialog: the document's name
// without its extension plus the extension of the preselected type.
std::string ProposedSaveName(const std::string& nameWithoutExtension, const std::string& typeName);
// The path with the extension of the chosen type when it has none, or
// when it has the extension of another savable type than the chosen one.
std::string PathForType(const std::string& path, const std::string& typeName);

}  // namespace dlgmodel
