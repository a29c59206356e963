// Image size and canvas size: the document operations behind the two
// dialogs and the dialogs' headless models (the values typed into their
// boxes and the rules that derive the others), so that a dialog window only
// shows the model and forwards what the user types.
#pragma once

#include <string>
#include <vector>

class CVexoDoc;

namespace dlg {

// --- image size ----------------------------------------------------------------
// Model of the image-size dialog. Boxes hold whole pixels and percents, the
// printed size in inches and the resolution in dots per inch.
struct ImageSizeModel {
    int startWidth = 0, startHeight = 0;   // W, H
    int startDpi = 72;                     // r
    int width = 0, height = 0;             // W', H'
    int percentX = 100, percentY = 100;    // X, Y
    double printWidth = 0, printHeight = 0;
    int dpi = 72;
    bool keepProportions = true;
    bool allOpen = false;

    void Init(int w, int h, int resolution);
    void SetWidth(int w);          // width rule
    void SetHeight(int h);         // height rule
    void StepWidth(int delta) { SetWidth(width + delta); }
    void StepHeight(int delta) { SetHeight(height + delta); }
    void SetPercentX(int x);       // width-percent rule (never below 1)
    void SetPercentY(int y);       // height-percent rule
    // Printed-size rule: W' = trunc(r' * w), H' = trunc(r' * h).
    void SetPrinted(double w, double h, int resolution);
    // The up-downs of the printed width, printed height and resolution:
    // +-1 as a whole number (never below 1), the printed-size rule, then the
    // width rule (printed width, resolution) or the height rule (height).
    void StepPrintWidth(int delta);
    void StepPrintHeight(int delta);
    void StepDpi(int delta);
    // Button 5134: every box back to its start, then the switch inverted.
    void ResetAndToggle();
    std::string PrintedText(double inches) const;   // "%.3f"
};

// Resamples every layer to the canvas size width x height (nothing when the
// size is the current one): positions and sizes scaled with rounding, text
// layers keep their text with a scaled origin and font size.
bool ResampleLayers(CVexoDoc& doc, int width, int height);
// The image-size step "이미지크기" (type 7): resolution, journal of every
// layer, ResampleLayers, the step.
bool ResizeDocument(CVexoDoc& doc, int dpi, int width, int height);
// The dialog's OK: the active document, or every open one.
bool ApplyImageSize(const ImageSizeModel& m, CVexoDoc& active, const std::vector<CVexoDoc*>& open);

// --- canvas size ------------------------------------------------------------------
struct CanvasSizeModel {
    int startWidth = 0, startHeight = 0;
    int width = 0, height = 0;
    int anchor = 4;     // 0..8, row by row from the top-left; the centre starts pressed
    void Init(int w, int h);
    void StepWidth(int delta);
    void StepHeight(int delta);
    void SetAnchor(int a);
    std::string CurrentSizeText() const;   // "(%d x %d)"
};

struct AnchorOffsets {
    int dx, dy, ax, ay;
};
// Where the old pixels go in a layer of w x h for the canvas W' x H'.
AnchorOffsets CanvasAnchorOffsets(int anchor, int w, int h, int newWidth, int newHeight);
// Re-creates every layer at least as large as the new canvas and copies the
// old pixels at the anchor's offset (no undo step).
bool ChangeCanvasSize(CVexoDoc& doc, int width, int height, int anchor);
// Command 1432's OK: journal, ChangeCanvasSize, step "캔버스크기조정" (type 7).
bool ApplyCanvasSize(CVexoDoc& doc, int width, int height, int anchor);

// "W,H[,DPI][,all]" and "W,H,ANCHOR" of the cli; throw std::invalid_argument.
struct SizeArgs {
    int width = 0, height = 0, dpi = -1;
    bool all = false;
};
SizeArgs ParseSizeArgs(const std::string& text);
void ParseCanvasArgs(const std::string& text, int& width, int& height, int& anchor);

}  // namespace dlg
