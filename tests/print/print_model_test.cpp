// The print preview's arithmetic: papers, orientation, the resolution box
// and its spin rule, the printed size and the picture box.
#include <gtest/gtest.h>

#include "page_draw.h"
#include "print_model.h"

using namespace printing;

TEST(PrintPreview, A4PictureAt300Dpi) {
    PrintPreviewModel m(2480, 3508, 300);
    EXPECT_EQ(m.ResolutionText(), "300");
    EXPECT_EQ(m.WidthText(), "8.27");
    EXPECT_EQ(m.HeightText(), "11.69");
    EXPECT_EQ(m.PictureBox(), (Box{260, 60, 209, 297}));
    // Before the first selection: the plain "x" text and a 230 x 300 outline.
    EXPECT_EQ(m.PaperSizeText(), "210 x 297mm");
    EXPECT_EQ(m.PaperOutline(), (Box{250, 50, 230, 300}));
    m.SelectPaper(0, false);
    EXPECT_EQ(m.PaperSizeText(), "210 ⅹ 297mm");
    EXPECT_EQ(m.PaperOutline(), (Box{250, 50, 210, 297}));
    // One pixel narrower than the outline.
    EXPECT_EQ(m.PaperOutline().width - m.PictureBox().width, 1);
}

TEST(PrintPreview, PapersAndOrientation) {
    PrintPreviewModel m(100, 100, 100);
    m.SelectPaper(3, true);
    EXPECT_EQ(m.PaperOutline(), (Box{250, 50, 135, 102}));
    EXPECT_EQ(m.PaperSizeText(), "10.2 ⅹ 13.5cm");
    m.SelectPaper(1, false);
    EXPECT_EQ(m.PaperOutline(), (Box{250, 50, 182, 257}));
    EXPECT_EQ(m.PaperSizeText(), "182 ⅹ 257mm");
    m.SelectPaper(2, false);
    EXPECT_EQ(m.PaperSizeText(), "9.5 ⅹ 12.7cm");
    // Anything past the first four counts as D5.
    m.SelectPaper(7, false);
    EXPECT_EQ(m.PaperSizeText(), "12.5 ⅹ 16.9cm");
    EXPECT_EQ(m.PaperOutline(), (Box{250, 50, 125, 169}));
    m.SelectPaper(-1, true);
    EXPECT_EQ(m.PaperOutline(), (Box{250, 50, 169, 125}));
    EXPECT_EQ(FindPaper("d4"), 3);
    EXPECT_EQ(FindPaper("A4"), 0);
    EXPECT_EQ(FindPaper("A5"), -1);
    EXPECT_EQ(FindPaper(""), -1);
    EXPECT_EQ(Orientations(), (std::vector<std::string>{"세로방향", "가로방향"}));
}

TEST(PrintPreview, SpinRule) {
    PrintPreviewModel m(100, 100, 1);
    m.Spin(-1);
    EXPECT_EQ(m.ResolutionText(), "2");
    m.Spin(1);
    m.Spin(1);
    EXPECT_EQ(m.ResolutionText(), "1");   // never below 1
    m.Spin(0);
    EXPECT_EQ(m.ResolutionText(), "2");   // zero counts as negative
    // A text that is not a number reads as 0: the steps start from there.
    m.SetResolutionText("abc");
    m.Spin(1);
    EXPECT_EQ(m.ResolutionText(), "1");
    m.SetResolutionText("abc");
    m.Spin(-5);
    EXPECT_EQ(m.ResolutionText(), "1");
}

TEST(PrintPreview, ZeroIsNeverDividedBy) {
    PrintPreviewModel m(600, 300, 150);
    EXPECT_EQ(m.WidthText(), "4.00");
    m.SetResolutionText("0");
    EXPECT_EQ(m.Resolution(), 1);
    EXPECT_EQ(m.CorrectedText(), "1");
    EXPECT_EQ(m.WidthText(), "600.00");
    EXPECT_EQ(m.PictureBox(), (Box{260, 60, 15240, 7620}));
    m.SetResolutionText("-30");
    EXPECT_EQ(m.Resolution(), 1);
    EXPECT_EQ(m.CorrectedText(), "1");
    // An empty box while the user types counts as 1 and stays empty.
    m.SetResolutionText("");
    EXPECT_EQ(m.Resolution(), 1);
    EXPECT_EQ(m.CorrectedText(), "");
    m.SetResolutionText(" 75 ");
    EXPECT_EQ(m.Resolution(), 75);
    EXPECT_EQ(m.CorrectedText(), " 75 ");
    EXPECT_EQ(m.HeightText(), "4.00");
    m.SetResolutionText("99999999999");
    EXPECT_EQ(m.Resolution(), 1);
    // A picture without a resolution starts at 72.
    EXPECT_EQ(PrintPreviewModel(10, 10, 0).ResolutionText(), "72");
    EXPECT_EQ(ParseResolution("12a"), 0);
    EXPECT_EQ(ParseResolution("+12"), 12);
}

TEST(PagePlacement, TheViewsPrintingRule) {
    PrintPicture p;
    p.width = 600;
    p.height = 400;
    p.xDpi = p.yDpi = 150;
    Placement at = PlaceOnPage(p, 300, 300);
    EXPECT_DOUBLE_EQ(at.x, 100);
    EXPECT_DOUBLE_EQ(at.y, 100);
    EXPECT_DOUBLE_EQ(at.width, 1100);
    EXPECT_DOUBLE_EQ(at.height, 700);
    // Printer resolutions of their own in each direction.
    at = PlaceOnPage(p, 600, 300);
    EXPECT_DOUBLE_EQ(at.width, 2300);
    EXPECT_DOUBLE_EQ(at.height, 700);
    // Without a resolution the picture prints at 72 dots per inch.
    p.xDpi = p.yDpi = 0;
    at = PlaceOnPage(p, 72, 72);
    EXPECT_DOUBLE_EQ(at.width, 500);
    // A picture of 100 dots or less keeps its size.
    p.width = 30;
    p.xDpi = 300;
    at = PlaceOnPage(p, 300, 300);
    EXPECT_DOUBLE_EQ(at.width, 30);
}
