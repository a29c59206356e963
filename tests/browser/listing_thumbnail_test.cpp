// Listing a folder (probes decide, documents by their extension, the
// filter, hidden and odd files) and the thumbnails of every kind of file.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <cstring>

#include "CVexoDoc.h"
#include "ImageStream.h"
#include "VaZavi.h"
#include "folder_listing.h"
#include "reduced_decode.h"
#include "test_support.h"
#include "thumbnail.h"

using namespace browser;
using testsupport::ImageMagick;
using testsupport::TempDir;

namespace {

// `format` is ImageMagick's output prefix ("BMP3:") when the name alone
// does not choose the layout.
void Picture(const TempDir& dir, const std::string& name, const std::string& spec, const std::string& format = "") {
    ASSERT_EQ(testsupport::Run(ImageMagick() + " " + spec + " " + format + "'" + dir.File(name) + "'"), 0) << name;
}

void Vor(const TempDir& dir, const std::string& name, const std::string& from) {
    HeadlessHost host;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.Open(dir.File(from)));
    ASSERT_TRUE(doc.Save(dir.File(name)));
}

// Blue, green, red of a thumbnail pixel.
struct Bgr {
    int b, g, r;
};
Bgr At(const Picture24& p, int x, int y) {
    const uint8_t* q = p.At(x, y);
    return {q[0], q[1], q[2]};
}
bool Near(Bgr c, int b, int g, int r, int tolerance = 8) {
    return std::abs(c.b - b) <= tolerance && std::abs(c.g - g) <= tolerance && std::abs(c.r - r) <= tolerance;
}

// "WxH" from a PNG's header, "" when it is not a PNG.
std::string PngSize(const std::string& path) {
    const std::vector<uint8_t> b = testsupport::ReadBytes(path);
    if (b.size() < 24 || b[1] != 'P' || b[2] != 'N' || b[3] != 'G') return "";
    auto be = [&b](size_t at) { return (b[at] << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3]; };
    return std::to_string(be(16)) + "x" + std::to_string(be(20));
}

}  // namespace

TEST(Listing, FilterCasesAndWhatIsLeftOut) {
    TempDir dir;
    Picture(dir, "a.JPG", "-size 8x8 xc:red");
    Picture(dir, "b.png", "-size 8x8 xc:red");
    Picture(dir, "x.jpeg", "-size 8x8 xc:red");
    Picture(dir, "d.tiff", "-size 8x8 xc:red");
    Picture(dir, "e.pcx", "-size 8x8 xc:red");
    Picture(dir, "Z.bmp", "-size 8x8 xc:red", "BMP3:");
    Picture(dir, "m.gif", "-size 8x8 xc:red");
    Vor(dir, "c.vor", "a.JPG");
    testsupport::WriteBytes(dir.File("broken.jpg"), {1, 2, 3, 4});      // no picture
    testsupport::WriteBytes(dir.File("f.vor"), {'n', 'o', 'p', 'e'});  // a document in name only
    Picture(dir, ".hidden.jpg", "-size 8x8 xc:red");
    ASSERT_EQ(testsupport::Run("mkdir '" + dir.File("folder.jpg") + "'"), 0);
    ASSERT_EQ(testsupport::Run("mkfifo '" + dir.File("pipe.bmp") + "'"), 0);
    ASSERT_EQ(testsupport::Run("ln -s '" + dir.File("a.JPG") + "' '" + dir.File("link.jpg") + "'"), 0);
    ASSERT_EQ(testsupport::Run("ln -s '" + dir.File("gone.jpg") + "' '" + dir.File("dangling.jpg") + "'"), 0);

    const std::vector<std::string> all = {"a.JPG", "c.vor", "d.tiff", "e.pcx", "f.vor", "link.jpg", "m.gif", "x.jpeg", "Z.bmp"};
    const std::vector<std::string> jpg = {"a.JPG", "link.jpg", "x.jpeg"};
    const std::vector<std::string> vor = {"c.vor", "f.vor"};
    const std::vector<std::string> tif = {"d.tiff"};
    const std::vector<std::string> gif = {"m.gif"};
    EXPECT_EQ(ListPictures(dir.Path(), "모든이미지형식"), all);
    EXPECT_EQ(ListPictures(dir.Path(), "jpg"), jpg);
    EXPECT_EQ(ListPictures(dir.Path(), "vor"), vor);
    EXPECT_EQ(ListPictures(dir.Path(), "tif"), tif);
    EXPECT_EQ(ListPictures(dir.Path(), "gif"), gif);
    // Nothing, and a folder that cannot be read.
    TempDir empty;
    EXPECT_TRUE(ListPictures(empty.Path(), "모든이미지형식").empty());
    EXPECT_TRUE(ListPictures(dir.File("missing"), "모든이미지형식").empty());
    // A stop set before the listing ends it at once.
    std::atomic<bool> stop{true};
    EXPECT_TRUE(ListPictures(dir.Path(), "모든이미지형식", &stop).empty());
}

TEST(Listing, ThePartsExample) {
    TempDir dir;
    Picture(dir, "a.JPG", "-size 8x8 xc:red");
    Picture(dir, "b.png", "-size 8x8 xc:red");
    Vor(dir, "c.vor", "a.JPG");
    EXPECT_EQ(ListPictures(dir.Path(), "모든이미지형식"), (std::vector<std::string>{"a.JPG", "c.vor"}));
    EXPECT_EQ(ListPictures(dir.Path(), "jpg"), (std::vector<std::string>{"a.JPG"}));
    EXPECT_EQ(ListPictures(dir.Path(), "vor"), (std::vector<std::string>{"c.vor"}));
}

TEST(Thumbnail, FittedOnWhiteForEveryKindOfFile) {
    TempDir dir;
    Picture(dir, "wide.bmp", "-size 1000x500 xc:red -type TrueColor", "BMP3:");
    Picture(dir, "tall.gif", "-size 300x900 xc:blue");
    Picture(dir, "small.pcx", "-size 50x45 xc:lime");
    Picture(dir, "pages.tif", "-size 200x100 xc:red -size 200x100 xc:blue");
    Picture(dir, "anim.gif", "-size 80x40 xc:lime -size 80x40 xc:red -loop 0");
    Picture(dir, "photo.jpg", "-size 1600x1200 xc:blue -quality 95");
    Vor(dir, "doc.vor", "tall.gif");

    Picture24 t = ThumbnailOfFile(dir.File("wide.bmp"));
    ASSERT_EQ(t.width, 100);
    ASSERT_EQ(t.height, 90);
    EXPECT_TRUE(Near(At(t, 50, 10), 255, 255, 255, 0));   // band above
    EXPECT_TRUE(Near(At(t, 0, 20), 0, 0, 255, 0));       // first row of the picture
    EXPECT_TRUE(Near(At(t, 99, 69), 0, 0, 255, 0));      // last
    EXPECT_TRUE(Near(At(t, 50, 70), 255, 255, 255, 0));  // band below
    t = ThumbnailOfFile(dir.File("tall.gif"));
    EXPECT_TRUE(Near(At(t, 34, 45), 255, 255, 255, 0));
    EXPECT_TRUE(Near(At(t, 35, 45), 255, 0, 0, 0));
    EXPECT_TRUE(Near(At(t, 64, 89), 255, 0, 0, 0));
    EXPECT_TRUE(Near(At(t, 65, 45), 255, 255, 255, 0));
    // Enlarged to fill the whole cell.
    t = ThumbnailOfFile(dir.File("small.pcx"));
    for (int y : {0, 89})
        for (int x : {0, 99}) EXPECT_TRUE(Near(At(t, x, y), 0, 255, 0, 0)) << x << "," << y;
    // The first page and the first frame.
    t = ThumbnailOfFile(dir.File("pages.tif"));
    EXPECT_TRUE(Near(At(t, 50, 45), 0, 0, 255, 0));
    t = ThumbnailOfFile(dir.File("anim.gif"));
    EXPECT_TRUE(Near(At(t, 50, 45), 0, 255, 0, 0));
    // A JPEG decoded at a reduced size, a document's flattened picture.
    t = ThumbnailOfFile(dir.File("photo.jpg"));
    EXPECT_TRUE(Near(At(t, 50, 45), 255, 0, 0));
    EXPECT_TRUE(Near(At(t, 50, 1), 255, 255, 255, 0));   // 100 x 75 at y 7
    EXPECT_TRUE(Near(At(t, 50, 8), 255, 0, 0));
    t = ThumbnailOfFile(dir.File("doc.vor"));
    EXPECT_TRUE(Near(At(t, 50, 45), 255, 0, 0, 0));
    EXPECT_TRUE(Near(At(t, 20, 45), 255, 255, 255, 0));
    // Files that cannot be read have no thumbnail.
    testsupport::WriteBytes(dir.File("broken.jpg"), {0xFF, 0xD8, 0xFF});
    EXPECT_TRUE(ThumbnailOfFile(dir.File("broken.jpg")).Empty());
    testsupport::WriteBytes(dir.File("broken.vor"), {'\n', '4', '1'});
    EXPECT_TRUE(ThumbnailOfFile(dir.File("broken.vor")).Empty());
    EXPECT_TRUE(ThumbnailOfFile(dir.File("missing.bmp")).Empty());
}

TEST(Thumbnail, ReducedJpegMatchesTheWholeDecode) {
    TempDir dir;
    Picture(dir, "p.jpg", "-size 1600x1200 plasma:fractal -blur 0x4 -quality 92");
    // The smallest scale that still covers 200 x 180: 1600 / 8 * 2.
    VaZavi reduced(kTypeBMP);
    ReducedInfo full;
    {
        FILE* f = std::fopen(dir.File("p.jpg").c_str(), "rb");
        ASSERT_TRUE(f);
        ImageStream s(f);
        ASSERT_TRUE(DecodeJpegReduced(s, 200, 180, reduced, &full)) << reduced.LastError();
        std::fclose(f);
    }
    EXPECT_EQ(reduced.Width(), 400);
    EXPECT_EQ(reduced.Height(), 300);
    EXPECT_EQ(full.width, 1600);
    EXPECT_EQ(full.height, 1200);
    // A picture smaller than asked is decoded whole.
    Picture(dir, "s.jpg", "-size 120x60 xc:red");
    {
        FILE* f = std::fopen(dir.File("s.jpg").c_str(), "rb");
        ImageStream s(f);
        VaZavi whole(kTypeBMP);
        ASSERT_TRUE(DecodeJpegReduced(s, 200, 180, whole));
        std::fclose(f);
        EXPECT_EQ(whole.Width(), 120);
    }
    // The thumbnail from the reduced picture and from the whole one.
    VaZavi all(kTypeJPEG);
    ASSERT_TRUE(all.Load(dir.File("p.jpg").c_str(), kTypeJPEG));
    const Picture24 a = MakeThumbnail(all, 1600, 1200), b = ThumbnailOfFile(dir.File("p.jpg"));
    ASSERT_EQ(a.bgr.size(), b.bgr.size());
    int worst = 0;
    for (size_t i = 0; i < a.bgr.size(); ++i) worst = std::max(worst, std::abs(int(a.bgr[i]) - int(b.bgr[i])));
    EXPECT_LE(worst, 12);
}

TEST(Thumbnail, PreviewIsReducedNeverEnlarged) {
    TempDir dir;
    Picture(dir, "big.bmp", "-size 1200x600 xc:red -type TrueColor");
    Picture(dir, "small.gif", "-size 40x30 xc:blue");
    int w = 0, h = 0;
    Picture24 p = PreviewOfFile(dir.File("big.bmp"), 400, 546, w, h);
    EXPECT_EQ(w, 1200);
    EXPECT_EQ(h, 600);
    EXPECT_EQ(p.width, 400);
    EXPECT_EQ(p.height, 200);
    p = PreviewOfFile(dir.File("small.gif"), 400, 546, w, h);
    EXPECT_EQ(p.width, 40);
    EXPECT_EQ(p.height, 30);
    EXPECT_TRUE(Near(At(p, 39, 29), 255, 0, 0, 0));
    p = PreviewOfFile(dir.File("missing.gif"), 400, 546, w, h);
    EXPECT_TRUE(p.Empty());
}

TEST(Thumbnail, CommandLineCellAndFileManagerSizes) {
    TempDir dir;
    Picture(dir, "wide.jpg", "-size 1000x500 xc:red");
    const std::string cli = PIMLORA_CLI;
    // The browser's cell, as a BMP.
    ASSERT_EQ(testsupport::Run(cli + " thumbnail " + dir.File("wide.jpg") + " " + dir.File("t.bmp")), 0);
    std::string out;
    testsupport::Run(cli + " info " + dir.File("t.bmp"), &out);
    EXPECT_EQ(out.rfind("format=bmp width=100 height=90 ", 0), 0u) << out;
    // A file manager's size: the picture fitted, as PNG (any other name).
    ASSERT_EQ(testsupport::Run(cli + " thumbnail " + dir.File("wide.jpg") + " " + dir.File("t.out") + " 128"), 0);
    EXPECT_EQ(PngSize(dir.File("t.out")), "128x64");
    // Never enlarged; a usage error for a bad size; a failure for no picture.
    ASSERT_EQ(testsupport::Run(cli + " thumbnail " + dir.File("wide.jpg") + " " + dir.File("big.png") + " 4000"), 0);
    EXPECT_EQ(PngSize(dir.File("big.png")), "1000x500");
    EXPECT_EQ(testsupport::Run(cli + " thumbnail " + dir.File("wide.jpg") + " " + dir.File("x.png") + " 0 2>/dev/null"), 2);
    testsupport::WriteBytes(dir.File("junk.jpg"), {1, 2, 3});
    EXPECT_EQ(testsupport::Run(cli + " thumbnail " + dir.File("junk.jpg") + " " + dir.File("x.png") + " 2>/dev/null"), 1);
    EXPECT_FALSE(std::ifstream(dir.File("x.png")).good());
}

// The headless thumbnail the command line's verb is built on: a 24-bit
// picture, rows bottom-up, the file's resolution kept, reasons on failure.
TEST(Thumbnail, HeadlessThumbnailOfAFile) {
    TempDir dir;
    // Red above blue, so that a picture upside down shows.
    Picture(dir, "wide.jpg", "-size 1000x250 xc:red -size 1000x250 xc:blue -append -density 150 -units PixelsPerInch");
    Picture(dir, "small.bmp", "-size 40x30 xc:lime -type TrueColor -density 96 -units PixelsPerInch", "BMP3:");
    Picture(dir, "tall.gif", "-size 300x900 xc:blue");
    Vor(dir, "doc.vor", "tall.gif");
    auto topLeft = [](const VaZavi& p) {
        const uint8_t* q = p.Row(p.Height() - 1);
        return Bgr{q[0], q[1], q[2]};
    };
    auto bottomLeft = [](const VaZavi& p) {
        const uint8_t* q = p.Row(0);
        return Bgr{q[0], q[1], q[2]};
    };
    ThumbnailResult t = MakeThumbnail(dir.File("wide.jpg"), 128, 128);
    ASSERT_TRUE(t) << t.error;
    EXPECT_EQ(t.picture->BitCount(), 24);
    EXPECT_EQ(t.picture->Width(), 128);
    EXPECT_EQ(t.picture->Height(), 64);
    EXPECT_EQ(t.fullWidth, 1000);
    EXPECT_EQ(t.fullHeight, 500);
    EXPECT_TRUE(Near(topLeft(*t.picture), 0, 0, 255, 24));
    EXPECT_TRUE(Near(bottomLeft(*t.picture), 255, 0, 0, 24));
    EXPECT_EQ(t.picture->info.xDpi, 150);
    // Never enlarged.
    t = MakeThumbnail(dir.File("small.bmp"), 256, 256);
    ASSERT_TRUE(t) << t.error;
    EXPECT_EQ(t.picture->Width(), 40);
    EXPECT_EQ(t.picture->Height(), 30);
    EXPECT_TRUE(Near(topLeft(*t.picture), 0, 255, 0, 0));
    EXPECT_EQ(t.picture->info.yDpi, 96);
    // A document: its flattened picture, fitted to a non-square box.
    t = MakeThumbnail(dir.File("doc.vor"), 64, 32);
    ASSERT_TRUE(t) << t.error;
    EXPECT_EQ(t.picture->Height(), 32);
    EXPECT_EQ(t.picture->Width(), 11);
    EXPECT_TRUE(Near(topLeft(*t.picture), 255, 0, 0, 0));
    // Failures say why and give no picture.
    t = MakeThumbnail(dir.File("missing.jpg"), 128, 128);
    EXPECT_FALSE(t);
    EXPECT_FALSE(t.error.empty());
    testsupport::WriteBytes(dir.File("junk.jpg"), {0xFF, 0xD8, 0xFF, 0xE0, 0, 2});
    t = MakeThumbnail(dir.File("junk.jpg"), 128, 128);
    EXPECT_FALSE(t);
    EXPECT_FALSE(t.error.empty());
    testsupport::WriteBytes(dir.File("notes.txt"), {'h', 'i'});
    t = MakeThumbnail(dir.File("notes.txt"), 128, 128);
    EXPECT_FALSE(t);
    EXPECT_FALSE(t.error.empty());
    for (int side : {0, -1, kMaxThumbnailSide + 1}) {
        t = MakeThumbnail(dir.File("wide.jpg"), side, 128);
        EXPECT_FALSE(t) << side;
        EXPECT_FALSE(t.error.empty());
    }
}
