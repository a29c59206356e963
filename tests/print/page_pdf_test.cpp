// The printed page as a PDF, rasterised by pdftoppm: page size, the
// picture's place and size by the printing rule, its pixels; and
// pimlora-cli print on the same page code.
#include <gtest/gtest.h>

#include <cmath>

#include "CVexoDoc.h"
#include "VaZavi.h"
#include "page_draw.h"
#include "print_model.h"
#include "test_support.h"

using namespace printing;
using namespace testsupport;

namespace {

// 600 x 400 at 150 dpi: left half blue, right half red; the top 12 rows green.
PrintPicture TwoColours() {
    PrintPicture p;
    p.width = 600;
    p.height = 400;
    p.xDpi = p.yDpi = 150;
    p.pixels.resize(600 * 400);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 600; ++x) p.pixels[size_t(y) * 600 + size_t(x)] = y < 12 ? 0x00FF00 : x < 300 ? 0x0000FF : 0xFF0000;
    return p;
}

Rgb Rasterise(const TempDir& dir, const std::string& pdf, int dpi) {
    const std::string base = dir.File("page");
    EXPECT_EQ(testsupport::Run("pdftoppm -r " + std::to_string(dpi) + " -singlefile '" + pdf + "' '" + base + "'"), 0);
    return ReadPnm(base + ".ppm");
}

bool Is(const Rgb& img, int x, int y, int r, int g, int b, int tolerance = 24) {
    return std::abs(img.at(x, y, 0) - r) <= tolerance && std::abs(img.at(x, y, 1) - g) <= tolerance &&
           std::abs(img.at(x, y, 2) - b) <= tolerance;
}

}  // namespace

TEST(PdfPage, PictureAtThePlaceAndSizeOfTheRule) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(WritePdf(dir.File("a4.pdf"), TwoColours(), 0, false, error)) << error;
    // 100 dpi: A4 is 827 x 1169 pixels; the picture starts at 100 dots of
    // 300 (33.3 px) and is 1100 x 700 dots (366.7 x 233.3 px).
    const Rgb page = Rasterise(dir, dir.File("a4.pdf"), 100);
    EXPECT_NEAR(page.width, 827, 1);
    EXPECT_NEAR(page.height, 1169, 1);
    const int x0 = 34, y0 = 34, x1 = 33 + 366, y1 = 33 + 233;
    EXPECT_TRUE(Is(page, x0 - 3, 100, 255, 255, 255)) << "white left of the picture";
    EXPECT_TRUE(Is(page, 100, y0 - 3, 255, 255, 255)) << "white above";
    EXPECT_TRUE(Is(page, x0 + 1, y0 + 3, 0, 255, 0)) << "the green top rows (7 px)";
    EXPECT_TRUE(Is(page, x0 + 1, y0 + 9, 0, 0, 255));
    EXPECT_TRUE(Is(page, x0 + 1, 150, 0, 0, 255)) << "blue left half";
    EXPECT_TRUE(Is(page, 33 + 180, 150, 0, 0, 255));
    EXPECT_TRUE(Is(page, 33 + 187, 150, 255, 0, 0)) << "red right half";
    EXPECT_TRUE(Is(page, x1 - 1, y1 - 1, 255, 0, 0)) << "last pixel";
    EXPECT_TRUE(Is(page, x1 + 3, 150, 255, 255, 255)) << "white right of the picture";
    EXPECT_TRUE(Is(page, 150, y1 + 3, 255, 255, 255)) << "white below";
    EXPECT_TRUE(Is(page, 800, 1100, 255, 255, 255));
    // Where blue turns red: at the picture's middle column.
    int edge = -1;
    for (int x = x0; x < x1 && edge < 0; ++x)
        if (page.at(x, 150, 0) > 128) edge = x;
    EXPECT_NEAR(edge, 33.3 + 366.7 / 2, 2);
}

TEST(PdfPage, PaperAndOrientation) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(WritePdf(dir.File("d4.pdf"), TwoColours(), FindPaper("D4"), true, error)) << error;
    // 135 x 102 mm at 100 dpi.
    const Rgb page = Rasterise(dir, dir.File("d4.pdf"), 100);
    EXPECT_NEAR(page.width, 531, 1);
    EXPECT_NEAR(page.height, 402, 1);
    EXPECT_TRUE(Is(page, 100, 150, 0, 0, 255));
    // A page that cannot be written keeps what the path held.
    EXPECT_FALSE(WritePdf(dir.File("missing/x.pdf"), TwoColours(), 0, false, error));
    EXPECT_FALSE(error.empty());
}

TEST(PdfPage, DocumentCompositeAndTheCommandLine) {
    TempDir dir;
    // A 600 x 400 BMP at 150 dpi, left half blue.
    VaZavi img(24, 600, 400, kTypeBMP);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 600; ++x) {
            uint8_t* p = img.Row(y) + 3 * x;
            p[0] = x < 300 ? 255 : 0;
            p[1] = 0;
            p[2] = x < 300 ? 0 : 255;
        }
    img.SetXDpi(150);
    img.SetYDpi(150);
    ASSERT_TRUE(img.Save(dir.File("p.bmp").c_str(), kTypeBMP));
    HeadlessHost host;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.Open(dir.File("p.bmp")));
    const PrintPicture pic = PictureFromDocument(doc);
    ASSERT_EQ(pic.width, 600);
    EXPECT_EQ(pic.xDpi, 150);
    EXPECT_EQ(pic.pixels[0], 0x0000FFu);
    EXPECT_EQ(pic.pixels[599], 0xFF0000u);
    EXPECT_EQ(PictureFromImage(img).pixels, pic.pixels);

    std::string out;
    ASSERT_EQ(testsupport::Run(std::string(PIMLORA_CLI) + " print " + dir.File("p.bmp") + " " + dir.File("p.pdf") +
                                   " --dpi 300 --paper D3 2>&1",
                               &out),
              0)
        << out;
    // At 300 dpi the picture is 600 - 100 dots wide from dot 100: at 100 dpi
    // pixels 33 to 200, on a 95 x 127 mm page.
    const Rgb page = Rasterise(dir, dir.File("p.pdf"), 100);
    EXPECT_NEAR(page.width, 374, 1);
    EXPECT_NEAR(page.height, 500, 1);
    EXPECT_TRUE(Is(page, 40, 60, 0, 0, 255));
    EXPECT_TRUE(Is(page, 190, 60, 255, 0, 0));
    EXPECT_TRUE(Is(page, 205, 60, 255, 255, 255));
    EXPECT_TRUE(Is(page, 100, 140, 255, 255, 255));

    // Usage errors and failures.
    EXPECT_EQ(testsupport::Run(std::string(PIMLORA_CLI) + " print " + dir.File("p.bmp") + " " + dir.File("q.pdf") +
                               " --paper A5 2>/dev/null"),
              2);
    EXPECT_EQ(testsupport::Run(std::string(PIMLORA_CLI) + " print " + dir.File("p.bmp") + " " + dir.File("q.pdf") +
                               " --dpi 0 2>/dev/null"),
              2);
    EXPECT_EQ(testsupport::Run(std::string(PIMLORA_CLI) + " print " + dir.File("p.bmp") + " 2>/dev/null"), 2);
    EXPECT_EQ(testsupport::Run(std::string(PIMLORA_CLI) + " print " + dir.File("none.bmp") + " " + dir.File("q.pdf") +
                               " 2>" + dir.File("err.txt")),
              1);
    const auto err = ReadBytes(dir.File("err.txt"));
    EXPECT_NE(std::string(err.begin(), err.end()).find("pimlora-cli: " + dir.File("none.bmp") + ": "), std::string::npos);
}
