// The print preview without its window: the paper table, the orientation,
// the resolution box with its spin rule, the printed size in inches, the
// picture box and the paper outline (one screen pixel per millimetre).
#pragma once

#include <string>
#include <vector>

namespace printing {

struct Paper {
    const char* name;       // "A4"
    const char* sizeText;   // "210 ⅹ 297mm" (with the character ⅹ)
    int widthMm, heightMm;  // portrait
};
// "A4", "B5", "D3", "D4", "D5", in the paper box's order.
const std::vector<Paper>& Papers();
// The index of a paper by name (case-insensitive); -1 when there is none.
int FindPaper(const std::string& name);
// The size text shown before the first paper selection (with a plain x).
inline constexpr const char* kInitialSizeText = "210 x 297mm";
// The orientation box: "세로방향" (portrait), "가로방향" (landscape).
const std::vector<std::string>& Orientations();

// The resolution a picture prints at when it carries none.
inline constexpr int kDefaultDpi = 72;

struct Box {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Box&) const = default;
};

class PrintPreviewModel {
public:
    // The picture's size in pixels and its horizontal resolution (a
    // resolution of 0 or less, a picture that carries none, starts at
    // kDefaultDpi).
    PrintPreviewModel(int pictureWidth, int pictureHeight, int pictureDpi);

    // --- paper -----------------------------------------------------------------
    // Any index past the first four counts as "D5"; landscape swaps width
    // and height.
    void SelectPaper(int index, bool landscape);
    int PaperIndex() const { return paper_; }
    bool Landscape() const { return landscape_; }
    const std::string& PaperSizeText() const { return sizeText_; }
    // At (250, 50), the paper's size in millimetres as pixels (230 x 300
    // before the first selection).
    Box PaperOutline() const { return outline_; }

    // --- resolution --------------------------------------------------------------
    // The text of the resolution box as the user typed it. A text that is
    // not a decimal number reads as 0; a resolution of 0 (or less) is never
    // divided by: it counts as 1.
    void SetResolutionText(const std::string& text);
    // The text the box should show after an edit: "1" for a zero the user
    // typed; the text itself otherwise (an empty box is left to the user
    // while typing).
    std::string CorrectedText() const;
    // The resolution printing uses (at least 1).
    int Resolution() const;
    // Spin notification: a delta of zero or less adds 1, a positive delta
    // subtracts 1; at least 1. The box then shows the new value.
    void Spin(int delta);
    const std::string& ResolutionText() const { return text_; }

    // --- the printed size -----------------------------------------------------------
    double WidthInches() const;
    double HeightInches() const;
    std::string WidthText() const;    // "%.2f"
    std::string HeightText() const;
    // At (260, 60): the printed size in millimetres as pixels, truncated.
    Box PictureBox() const;

private:
    int width_, height_;
    std::string text_;
    int paper_ = -1;
    bool landscape_ = false;
    std::string sizeText_ = kInitialSizeText;
    Box outline_{250, 50, 230, 300};
};

// Decimal integer of a text (surrounding blanks allowed); 0 when it is not
// one or does not fit.
int ParseResolution(const std::string& text);

}  // namespace printing
