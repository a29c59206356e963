// Opening pictures by extension, flat saves, colour reduction and the
// command line's doc, layers and run.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "CQuantizer.h"
#include "CVexoDoc.h"
#include "commands.h"
#include "test_support.h"

using testsupport::ReadBytes;

using testsupport::TempDir;
using testsupport::WriteBytes;

namespace {
std::string Cli() { return PIMLORA_CLI; }
}  // namespace

TEST(Quantizer, ExactPaletteAndLeafRules) {
    // 256 distinct colours give exactly those colours.
    std::vector<uint8_t> px;
    for (int i = 0; i < 256; ++i) px.insert(px.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i ^ 0x5A)});
    CQuantizer q;
    ASSERT_TRUE(q.ProcessPixels(px.data(), 256, 1, 768, 3));
    EXPECT_EQ(q.GetColourCount(), 256u);
    std::vector<RgbQuad> table(256);
    q.GetColourTable(table.data());
    std::vector<uint32_t> got, want;
    for (int i = 0; i < 256; ++i) {
        got.push_back(PackQuad(table[size_t(i)]));
        want.push_back(PackBGR(uint8_t(i), uint8_t(255 - i), uint8_t(i ^ 0x5A)));
    }
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);
    // One more colour forces a reduction to at most 256.
    q.AddColour(1, 2, 3);
    EXPECT_LE(q.GetColourCount(), 256u);

    // Two colours one bit apart in red stay apart until the tree must shrink.
    CQuantizer two;
    two.AddColour(100, 50, 50);
    two.AddColour(101, 50, 50);
    two.AddColour(101, 50, 50);
    EXPECT_EQ(two.GetColourCount(), 2u);
    RgbQuad t2[2];
    two.GetColourTable(t2);
    EXPECT_EQ(t2[0].red, 100);
    EXPECT_EQ(t2[1].red, 101);

    // One colour: one entry.
    CQuantizer one;
    for (int i = 0; i < 10; ++i) one.AddColour(9, 8, 7);
    EXPECT_EQ(one.GetColourCount(), 1u);

    // Nearest colour: first entry on ties, exact match at once, 0 without palette.
    const RgbQuad pal[3] = {{10, 10, 10, 0}, {30, 10, 10, 0}, {20, 10, 10, 0}};
    EXPECT_EQ(NearestColourIndex(pal, 3, 20, 10, 10), 2);
    EXPECT_EQ(NearestColourIndex(pal, 2, 20, 10, 10), 0);
    EXPECT_EQ(NearestColourIndex(nullptr, 0, 20, 10, 10), 0);
    NearestColourMap map(pal, 3);
    EXPECT_EQ(map(21, 10, 10), 2);
    EXPECT_EQ(map(21, 10, 10), 2);
}

TEST(OpenPicture, SingleLayerAndPaletteConversion) {
    TempDir dir;
    const std::string im = testsupport::ImageMagick();
    ASSERT_EQ(testsupport::Run(im + " -size 5x3 xc:none -fill '#102030' -draw 'point 0,0' -fill '#A0B0C0' -draw 'point 4,2' "
                       "-background '#405060' -flatten -type TrueColor BMP3:" + dir.File("t.bmp")), 0);
    ASSERT_EQ(testsupport::Run(im + " " + dir.File("t.bmp") + " -type Palette -colors 3 BMP3:" + dir.File("p.bmp")), 0);
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.Open(dir.File("t.bmp")));
    EXPECT_EQ(doc.StackOrder(), std::vector<int>{0});
    const LayerRecord& L = doc.Layer(0);
    EXPECT_EQ(L.kind, LayerImage);
    EXPECT_EQ(Utf16ToUtf8(GetFixedText(L.name, 100)), "배경영상");
    EXPECT_EQ(L.width, 5);
    EXPECT_EQ(L.alpha[0], 255);
    // Top-left pixel of the picture is stored row 2.
    EXPECT_EQ(L.PixelRow(2)[0], 0x30);
    EXPECT_EQ(L.PixelRow(2)[2], 0x10);
    EXPECT_EQ(L.PixelRow(0)[4 * 3 + 1], 0xB0);
    EXPECT_EQ(doc.displayName, "t.bmp");
    EXPECT_EQ(Utf16ToUtf8(GetFixedText(doc.live.canvas.title, 100)), dir.File("t.bmp"));

    CVexoDoc pal(&host);
    ASSERT_TRUE(pal.Open(dir.File("p.bmp")));
    EXPECT_EQ(pal.live.canvas.bitsPerPixel, 24);
    EXPECT_EQ(pal.live.canvas.paletteColors, 0);
    EXPECT_EQ(pal.Layer(0).PixelRow(2)[2], 0x10);
    EXPECT_EQ(pal.Layer(0).PixelRow(1)[3 * 3 + 1], 0x50);
}

TEST(OpenPicture, CodesMessagesAndRawFrames) {
    TempDir dir;
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(2, 2));
    EXPECT_FALSE(doc.Open(""));
    EXPECT_FALSE(doc.Open(dir.File("noext")));
    EXPECT_FALSE(doc.Open(dir.File("a.png")));
    EXPECT_TRUE(host.messages.empty());   // silent refusals
    // The message names the codec's reason, and the system's, on a line of its own.
    EXPECT_FALSE(doc.Open(dir.File("missing.bmp")));
    EXPECT_EQ(host.messages.back(), "해당 파일을 열 수 없습니다.\n(can't open file: No such file or directory)");
    WriteBytes(dir.File("x.mp3"), {1, 2, 3});
    EXPECT_FALSE(doc.Open(dir.File("x.mp3")));
    EXPECT_EQ(host.messages.back(), "해당 파일을 열 수 없습니다.\n(Unsupported operation for this format)");
    EXPECT_FALSE(doc.Open(std::string(120, 'd') + "/a.bmp"));
    EXPECT_EQ(host.messages.back(), "그림파일명이 너무 깁니다.");
    EXPECT_EQ(doc.live.canvas.width, 2);

    std::vector<uint8_t> raw(640 * 480 * 3);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = uint8_t(i % 251);
    WriteBytes(dir.File("f.RAW"), raw);
    ASSERT_TRUE(doc.Open(dir.File("f.RAW")));
    EXPECT_EQ(doc.live.canvas.width, 640);
    EXPECT_EQ(doc.Layer(0).pixels[1000], uint8_t(1000 % 251));
    EXPECT_EQ(doc.Layer(0).alpha[5], 255);
    raw.resize(100);
    WriteBytes(dir.File("short.raw"), raw);
    EXPECT_FALSE(doc.Open(dir.File("short.raw")));
    EXPECT_EQ(doc.live.canvas.width, 640);
}

TEST(FlatSave, BmpThroughTheCompositeAndReduction) {
    TempDir dir;
    HeadlessHost host;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(7, 4));
    for (int i = 0; i < doc.Layer(0).pixelSize; ++i) doc.Layer(0).pixels[size_t(i)] = uint8_t(i * 13);
    ASSERT_TRUE(doc.AddLayer());
    LayerRecord& top = doc.Layer(1);
    std::memset(top.pixels.get(), 0, size_t(top.pixelSize));
    top.alpha[0] = 255;   // bottom-left pixel black
    ASSERT_TRUE(doc.Save(dir.File("o.bmp")));
    VaZavi img;
    ASSERT_TRUE(img.Load(dir.File("o.bmp").c_str(), kTypeBMP));
    EXPECT_EQ(img.BitCount(), 24);
    EXPECT_EQ(img.Row(0)[0], 0);
    EXPECT_EQ(img.Row(0)[3], 39);
    EXPECT_EQ(img.Row(3)[5], doc.Layer(0).PixelRow(3)[5]);

    // 256 colours: every layer on one palette, indices by nearest colour.
    ASSERT_TRUE(commands::All().Find(2016)->run(doc, {}));
    EXPECT_EQ(doc.live.canvas.bitsPerPixel, 8);
    EXPECT_EQ(doc.live.palette.size(), 256u);
    EXPECT_EQ(doc.Layer(1).stride, 8);
    EXPECT_EQ(doc.Layer(1).alpha[0], 255);
    ASSERT_TRUE(doc.Save(dir.File("p.bmp")));
    VaZavi p;
    ASSERT_TRUE(p.Load(dir.File("p.bmp").c_str(), kTypeBMP));
    EXPECT_EQ(p.BitCount(), 8);
    EXPECT_EQ(p.GetPixelColor(0, 0) & 0xFFFFFF, 0u);
    // Back to true colour: every layer, palette dropped.
    ASSERT_TRUE(commands::All().Find(2091)->run(doc, {}));
    EXPECT_EQ(doc.live.canvas.bitsPerPixel, 24);
    EXPECT_TRUE(doc.live.palette.empty());
    EXPECT_EQ(doc.Layer(1).stride, 24);
    EXPECT_EQ(doc.Layer(1).pixels[0], 0);
    EXPECT_EQ(doc.Layer(0).PixelRow(0)[3], 39);   // 28 colours: exact
    // On a true-colour document both do nothing more.
    const int steps = doc.undoPos;
    ASSERT_TRUE(commands::All().Find(2091)->run(doc, {}));
    EXPECT_EQ(doc.undoPos, steps);
}

TEST(CommandLine, DocLayersAndRun) {
    TempDir dir;
    const std::string im = testsupport::ImageMagick();
    ASSERT_EQ(testsupport::Run(im + " -size 6x4 gradient:red-blue -type TrueColor BMP3:" + dir.File("a.bmp")), 0);
    ASSERT_EQ(testsupport::Run(Cli() + " doc " + dir.File("a.bmp") + " " + dir.File("a.vor")), 0);
    std::string out;
    ASSERT_EQ(testsupport::Run(Cli() + " layers " + dir.File("a.vor"), &out), 0);
    EXPECT_EQ(out, "slot=0 kind=1 name=배경영상 x=0 y=0 width=6 height=4 visible=1 blend=0 transparency=0\n");
    ASSERT_EQ(testsupport::Run(Cli() + " run " + dir.File("a.vor") + " " + dir.File("b.vor") +
                      " --journal 1552 opacity:1,9 blend:1,3 visible:1,0 move:1,2,-1 select:0 1552",
                  &out),
              0);
    EXPECT_NE(out.find("0 0 Opening....\n1 2 레이어추가\n"), std::string::npos) << out;
    ASSERT_EQ(testsupport::Run(Cli() + " layers " + dir.File("b.vor"), &out), 0);
    EXPECT_EQ(out,
              "slot=0 kind=1 name=배경영상 x=0 y=0 width=6 height=4 visible=1 blend=0 transparency=0\n"
              "slot=2 kind=0 name=레이어 2 x=0 y=0 width=6 height=4 visible=1 blend=0 transparency=0\n"
              "slot=1 kind=0 name=레이어 1 x=2 y=-1 width=6 height=4 visible=0 blend=3 transparency=9\n");
    // Unknown steps are usage errors; refused commands go on.
    EXPECT_EQ(testsupport::Run(Cli() + " run " + dir.File("a.vor") + " " + dir.File("c.vor") + " 99999 2>/dev/null"), 2);
    EXPECT_EQ(testsupport::Run(Cli() + " run " + dir.File("a.vor") + " " + dir.File("c.vor") + " bogus:1 2>/dev/null"), 2);
    EXPECT_EQ(testsupport::Run(Cli() + " run " + dir.File("a.vor") + " " + dir.File("c.vor") + " select:x 2>/dev/null"), 2);
    std::string err;
    EXPECT_EQ(testsupport::Run(Cli() + " run " + dir.File("a.vor") + " " + dir.File("c.bmp") + " 1553 1552 2>&1", &err), 0);
    EXPECT_NE(err.find("레이어가 1개 밖에 없습니다"), std::string::npos);
    EXPECT_EQ(testsupport::Run(Cli() + " doc " + dir.File("nothing.vor") + " " + dir.File("d.bmp") + " 2>/dev/null"), 1);
}
