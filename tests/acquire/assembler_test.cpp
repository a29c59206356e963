// Packing scanner frames into a picture, with frames made up here: what a
// device may send wrongly is refused before anything is allocated, and the
// pictures from scans become documents.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "CVexoDoc.h"
#include "VaZavi.h"
#include "frame_assembler.h"
#include "picture_document.h"
#include "test_support.h"

using acquire::FrameAssembler;

namespace {

SANE_Parameters Params(int f, int depth, int ppl, int lines, int bpl, bool last = true) {
    SANE_Parameters p{};
    std::memcpy(&p.format, &f, sizeof f);   // also numbers outside the enum
    p.depth = depth;
    p.pixels_per_line = ppl;
    p.lines = lines;
    p.bytes_per_line = bpl;
    p.last_frame = last ? SANE_TRUE : SANE_FALSE;
    return p;
}

}  // namespace

TEST(FrameAssembler, RefusesFramesItCannotRead) {
    struct Case {
        const char* what;
        SANE_Parameters p;
    };
    const Case cases[] = {
        {"depth 7", Params(SANE_FRAME_GRAY, 7, 10, 10, 10)},
        {"no pixels", Params(SANE_FRAME_GRAY, 8, 0, 10, 10)},
        {"no lines", Params(SANE_FRAME_GRAY, 8, 10, 0, 10)},
        {"negative height other than unknown", Params(SANE_FRAME_GRAY, 8, 10, -5, 10)},
        {"line shorter than its pixels", Params(SANE_FRAME_RGB, 8, 10, 10, 29)},
        {"line art line too short", Params(SANE_FRAME_GRAY, 1, 17, 10, 2)},
        {"unknown format", Params(9, 8, 10, 10, 10)},
        {"a picture past the pixel limit", Params(SANE_FRAME_GRAY, 8, 1 << 16, 1 << 14, 1 << 16)},
        {"an absurd line length", Params(SANE_FRAME_GRAY, 8, 10, 10, 1 << 30)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FrameAssembler a;
        EXPECT_FALSE(a.BeginFrame(c.p));
        EXPECT_FALSE(a.Error().empty());
        EXPECT_EQ(a.Finish(), nullptr);
    }
}

TEST(FrameAssembler, PacksLinesInAnyPortions) {
    // 3 x 2 colour with two padding bytes per line, fed a byte at a time.
    FrameAssembler a;
    ASSERT_TRUE(a.BeginFrame(Params(SANE_FRAME_RGB, 8, 3, 2, 11)));
    const uint8_t data[22] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xEE, 0xEE, 10, 11, 12, 13, 14, 15, 16, 17, 18, 0xEE, 0xEE};
    for (uint8_t b : data) ASSERT_TRUE(a.Feed(&b, 1));
    ASSERT_TRUE(a.EndFrame());
    EXPECT_FALSE(a.NeedsMoreFrames());
    auto p = a.Finish();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Width(), 3);
    EXPECT_EQ(p->Height(), 2);
    // Top line first from the device; stored rows are bottom-up and BGR.
    EXPECT_EQ(p->GetPixelColor(0, 1), PackBGR(3, 2, 1));
    EXPECT_EQ(p->GetPixelColor(2, 1), PackBGR(9, 8, 7));
    EXPECT_EQ(p->GetPixelColor(0, 0), PackBGR(12, 11, 10));
}

TEST(FrameAssembler, ThreePassNeedsEveryColourOfTheSameSize) {
    {
        FrameAssembler a;
        const uint8_t red[2] = {200, 201}, green[2] = {100, 101}, blue[2] = {50, 51};
        ASSERT_TRUE(a.BeginFrame(Params(SANE_FRAME_GREEN, 8, 2, 1, 2, false)));
        a.Feed(green, 2);
        a.EndFrame();
        EXPECT_TRUE(a.NeedsMoreFrames());
        ASSERT_TRUE(a.BeginFrame(Params(SANE_FRAME_BLUE, 8, 2, 1, 2, false)));
        a.Feed(blue, 2);
        a.EndFrame();
        EXPECT_EQ(a.Finish(), nullptr);   // red is missing
        ASSERT_TRUE(a.BeginFrame(Params(SANE_FRAME_RED, 8, 2, 1, 2)));
        a.Feed(red, 2);
        a.EndFrame();
        auto p = a.Finish();
        ASSERT_TRUE(p);
        EXPECT_EQ(p->GetPixelColor(1, 0), PackBGR(51, 101, 201));
    }
    {
        FrameAssembler a;
        ASSERT_TRUE(a.BeginFrame(Params(SANE_FRAME_RED, 8, 2, 1, 2, false)));
        a.EndFrame();
        EXPECT_FALSE(a.BeginFrame(Params(SANE_FRAME_GREEN, 8, 3, 1, 3, false)));   // another width
    }
    {
        FrameAssembler a;
        ASSERT_TRUE(a.BeginFrame(Params(SANE_FRAME_RED, 8, 2, 1, 2, false)));
        a.EndFrame();
        EXPECT_FALSE(a.BeginFrame(Params(SANE_FRAME_RED, 8, 2, 1, 2, false)));   // red twice
    }
    {
        FrameAssembler a;
        ASSERT_TRUE(a.BeginFrame(Params(SANE_FRAME_GRAY, 8, 2, 1, 2, false)));
        a.EndFrame();
        EXPECT_FALSE(a.BeginFrame(Params(SANE_FRAME_GRAY, 8, 2, 1, 2)));   // grey has one frame
    }
}

TEST(FrameAssembler, ShortFramesAreCutToTheirLines) {
    // Five lines announced, two and a half came: two lines.
    FrameAssembler a;
    ASSERT_TRUE(a.BeginFrame(Params(SANE_FRAME_GRAY, 8, 4, 5, 4)));
    const uint8_t data[10] = {10, 11, 12, 13, 20, 21, 22, 23, 30, 31};
    a.Feed(data, sizeof data);
    a.EndFrame();
    auto p = a.Finish();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Height(), 2);
    EXPECT_EQ(p->GetPixelIndex(0, 1), 10);
    EXPECT_EQ(p->GetPixelIndex(3, 0), 23);
    // Nothing came: no picture.
    FrameAssembler none;
    ASSERT_TRUE(none.BeginFrame(Params(SANE_FRAME_GRAY, 8, 4, 5, 4)));
    none.EndFrame();
    EXPECT_EQ(none.Finish(), nullptr);
    // Extra lines past the announced height are dropped.
    FrameAssembler more;
    ASSERT_TRUE(more.BeginFrame(Params(SANE_FRAME_GRAY, 8, 2, 1, 2)));
    const uint8_t three[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_TRUE(more.Feed(three, 6));
    more.EndFrame();
    auto one = more.Finish();
    ASSERT_TRUE(one);
    EXPECT_EQ(one->Height(), 1);
    EXPECT_EQ(one->GetPixelIndex(1, 0), 2);
}

TEST(FrameAssembler, LineArtAndOneBitColour) {
    FrameAssembler a;
    // 10 pixels: 1 = black for grey frames.
    ASSERT_TRUE(a.BeginFrame(Params(SANE_FRAME_GRAY, 1, 10, 1, 2)));
    const uint8_t bits[2] = {0b10000000, 0b01000000};
    a.Feed(bits, 2);
    a.EndFrame();
    auto p = a.Finish();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->BitCount(), 1);
    EXPECT_EQ(p->GetPixelColor(0, 0) & 0xFFFFFF, 0u);          // black
    EXPECT_EQ(p->GetPixelColor(1, 0) & 0xFFFFFF, 0xFFFFFFu);   // white
    EXPECT_EQ(p->GetPixelColor(9, 0) & 0xFFFFFF, 0u);
    // One-bit colour: a set bit is the colour at full strength.
    FrameAssembler c;
    ASSERT_TRUE(c.BeginFrame(Params(SANE_FRAME_RGB, 1, 2, 1, 1)));
    const uint8_t rgb[1] = {0b10001100};   // pixel 0 red, pixel 1 green + blue
    c.Feed(rgb, 1);
    c.EndFrame();
    auto q = c.Finish();
    ASSERT_TRUE(q);
    EXPECT_EQ(q->GetPixelColor(0, 0), PackBGR(0, 0, 255));
    EXPECT_EQ(q->GetPixelColor(1, 0), PackBGR(255, 255, 0));
}

TEST(PictureDocument, ScansAndCapturesBecomeOneLayerDocuments) {
    testsupport::TempDir dir;
    setenv("PIMLORA_HOME", dir.Path().c_str(), 1);
    HeadlessHost host;
    host.echoMessages = false;
    // A grey picture: the layer carries its greys as colour.
    auto grey = std::make_unique<VaZavi>(8, 3, 2, kTypeBMP);
    grey->SetGrayPalette();
    grey->SetPixelIndex(1, 0, 77);
    auto doc = acquire::DocumentFromPicture(&host, std::move(grey), acquire::ScanDocumentName(4));
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->displayName, "스캔영상_4");
    EXPECT_EQ(doc->live.canvas.width, 3);
    EXPECT_EQ(doc->live.canvas.height, 2);
    EXPECT_EQ(doc->LayerCount(), 1);
    const LayerRecord& L = doc->Layer(doc->headLayer);
    EXPECT_EQ(L.PixelRow(0)[3], 77);
    EXPECT_EQ(L.PixelRow(0)[5], 77);
    EXPECT_EQ(L.AlphaRow(1)[2], 255);
    EXPECT_EQ(doc->image.BitCount(), 8);   // the picture is the document image
    EXPECT_TRUE(doc->CanUndo() || doc->undoPos == 0);
    // Saved, it is the picture.
    ASSERT_TRUE(doc->Save(dir.File("scan.bmp")));
    VaZavi back(kTypeBMP);
    ASSERT_TRUE(back.Load(dir.File("scan.bmp").c_str(), kTypeBMP));
    EXPECT_EQ(back.GetPixelColor(1, 0) & 0xFFFFFF, PackBGR(77, 77, 77));
    EXPECT_EQ(acquire::CaptureDocumentName(2), "Captured Image 2");
    // No picture, or one without pixels: no document.
    EXPECT_EQ(acquire::DocumentFromPicture(&host, nullptr, "x"), nullptr);
    EXPECT_EQ(acquire::DocumentFromPicture(&host, std::make_unique<VaZavi>(kTypeBMP), "x"), nullptr);
}
