// The smaller windows' models: their limits, the texts they show, and what
// their values do to a document; the save plan; the cli's filter numbers.
#include <gtest/gtest.h>

#include <cstring>

#include "CVexoDoc.h"
#include "commands.h"
#include "dialog_models.h"
#include "test_support.h"

namespace {
struct Doc {
    HeadlessHost host;
    CVexoDoc doc{&host};
    explicit Doc(int w = 20, int h = 10) {
        host.echoMessages = false;
        EXPECT_TRUE(doc.NewImage(w, h));
    }
    bool Step(const char* name, const std::string& args) {
        const commands::NamedFn* f = commands::All().FindNamed(name);
        return f && (*f)(doc, args);
    }
};
}  // namespace

TEST(DialogModels, NewImageLimitsAndBackgrounds) {
    dlgmodel::NewImageModel m;
    m.SetWidth(0);
    m.SetHeight(5000);
    EXPECT_EQ(m.width, 1);
    EXPECT_EQ(m.height, 4000);
    m.format = 1;
    EXPECT_EQ(m.Bits(), 8);
    for (int background : {0, 1, 2}) {
        Doc d(6, 4);
        dlgmodel::FillNewLayer(d.doc, background, 0x3020F0);   // red F0, green 20, blue 30
        const LayerRecord& L = d.doc.Layer(d.doc.currentLayer);
        const uint8_t* p = L.PixelRow(2) + 3 * 3;
        EXPECT_EQ(L.alpha[5], background == 1 ? 0 : 255);
        if (background == 2) {
            EXPECT_EQ(p[0], 0x30);
            EXPECT_EQ(p[1], 0x20);
            EXPECT_EQ(p[2], 0xF0);
        } else {
            EXPECT_EQ(p[0] & p[1] & p[2], 255);
        }
    }
}

TEST(DialogModels, ShadowValuesReachTheLayerAndComeBack) {
    Doc d;
    dlgmodel::ShadowModel m;
    m.direction = 9;
    m.distance = 0;
    m.strength = 400;
    EXPECT_EQ(m.Params(), (std::vector<int>{3, 7, 1, 4, 180}));
    m.direction = 2;
    m.distance = 9;
    m.spread = 3;
    m.strength = 120;
    ASSERT_TRUE(commands::All().Find(1558)->run(d.doc, m.Params()));
    dlgmodel::ShadowModel back;
    back.FromLayer(d.doc.Layer(d.doc.currentLayer));
    EXPECT_EQ(back.Params(), m.Params());
    m.on = false;
    EXPECT_EQ(m.Params()[0], 0);
}

TEST(DialogModels, PatternKeepsThicknessWithinSpacingAndAddsALayer) {
    dlgmodel::PatternModel m;
    m.SetSpacing(1);
    EXPECT_EQ(m.spacing, 2);
    m.SetThickness(9);
    EXPECT_EQ(m.thickness, 2);
    m.SetSpacing(10);
    m.SetThickness(4);
    m.r = 0xAB;
    EXPECT_EQ(m.StepArgs(), "10,4,AB0000");
    Doc d;
    const int before = d.doc.LayerCount();
    ASSERT_TRUE(d.Step("pattern", m.StepArgs()));
    EXPECT_EQ(d.doc.LayerCount(), before + 1);
}

TEST(DialogModels, ColourRangeCountsAndResets) {
    Doc d(20, 10);
    LayerRecord& L = d.doc.Layer(d.doc.currentLayer);
    // Three red pixels on white.
    for (int x : {1, 5, 9}) {
        uint8_t* p = L.PixelRow(3) + 3 * x;
        p[0] = 0, p[1] = 0, p[2] = 255;
    }
    d.doc.prevState.layers[d.doc.currentLayer].CopyFrom(L);
    dlgmodel::ColourRangeModel m;
    EXPECT_FALSE(m.Run(d.doc));   // no reference colour yet
    m.SetTolerance(300);
    EXPECT_EQ(m.tolerance, 255);
    m.SetTolerance(10);
    ASSERT_TRUE(m.Pick(d.doc, PackBGR(0, 0, 250)));
    EXPECT_EQ(m.resultText, "픽셀수 3   (1.50)%");
    EXPECT_TRUE(d.doc.selectionActive);
    m.SetTolerance(0);
    ASSERT_TRUE(m.Run(d.doc));
    EXPECT_EQ(m.resultText, "픽셀수 0   (0.00)%");
    m.Reset(d.doc);
    EXPECT_FALSE(d.doc.selectionActive);
    for (uint8_t b : d.doc.live.selection.mask) EXPECT_EQ(b, 0);
    EXPECT_EQ(dlgmodel::RangeResultText(1, 3), "픽셀수 1   (33.33)%");
}

TEST(DialogModels, TextDialogFields) {
    dlgmodel::TextDialogModel m;
    EXPECT_EQ(m.WidthText(), "1.0");
    m.StepWidth(1);
    EXPECT_EQ(m.WidthText(), "1.1");
    m.SetWidthText("0.05");
    EXPECT_EQ(m.settings.widthScale10, 1);
    m.StepWidth(-1);
    EXPECT_EQ(m.settings.widthScale10, 1);
    m.SetWidthText("abc");   // not a number: unchanged
    EXPECT_EQ(m.settings.widthScale10, 1);
    m.SetStyleIndex(3);
    EXPECT_TRUE(m.settings.bold && m.settings.italic);
    EXPECT_EQ(m.StyleIndex(), 3);
    EXPECT_EQ(dlgmodel::TextDialogModel::Styles()[size_t(m.StyleIndex())], "Bold Italic");
    EXPECT_FALSE(m.Ready());
    m.text = u"\0abc";   // a text that starts with NUL is empty
    EXPECT_FALSE(m.Ready());
    m.text = std::u16string(800, u'가');
    EXPECT_TRUE(m.Ready());
    EXPECT_EQ(m.Values().text.size(), 700u);
}

TEST(DialogModels, PupilRectangleFromTheSelection) {
    Doc d(40, 30);
    EXPECT_EQ(dlgmodel::SelectionBounds(d.doc).left, -1);
    ASSERT_TRUE(d.Step("rect", "4,6,13,20"));
    const dlg::PupilRect r = dlgmodel::SelectionBounds(d.doc);
    EXPECT_EQ(r.left, 4);
    EXPECT_EQ(r.top, 6);
    EXPECT_EQ(r.right, 14);
    EXPECT_EQ(r.bottom, 21);
    // The red-eye panel applies inside it: the centre pixel's red drops.
    LayerRecord& L = d.doc.Layer(d.doc.currentLayer);
    uint8_t* centre = L.PixelRow(30 - 1 - 13) + 3 * 9;
    centre[0] = 0, centre[1] = 0, centre[2] = 255;
    dlg::RedEyePanel panel;
    panel.rect = r;
    panel.strengthText = "10";
    ASSERT_TRUE(panel.Apply(d.doc));
    EXPECT_LT(d.doc.Layer(d.doc.currentLayer).PixelRow(30 - 1 - 13)[3 * 9 + 2], 60);
}

TEST(DialogModels, SavePlan) {
    Doc d;
    EXPECT_FALSE(dlgmodel::SaveFlattens(d.doc, "a.bmp"));
    ASSERT_TRUE(d.doc.AddLayer());
    EXPECT_TRUE(dlgmodel::SaveFlattens(d.doc, "a.jpg"));
    EXPECT_TRUE(dlgmodel::SaveFlattens(d.doc, "/x.y/a.BMP"));
    EXPECT_FALSE(dlgmodel::SaveFlattens(d.doc, "a.VOR"));
    EXPECT_EQ(dlgmodel::ProposedSaveName("Pimlora1", "jpg"), "Pimlora1.jpg");
    EXPECT_EQ(dlgmodel::ProposedSaveName("photo", "vor"), "photo.vor");
    EXPECT_EQ(dlgmodel::ProposedSaveName("photo", "모든그림형식"), "photo");
    EXPECT_EQ(dlgmodel::PathForType("/d/photo", "vor"), "/d/photo.vor");
    EXPECT_EQ(dlgmodel::PathForType("/d/photo.JPG", "vor"), "/d/photo.JPG");
    EXPECT_EQ(dlgmodel::PathForType("/d.v/my.photo", "bmp"), "/d.v/my.photo.bmp");
}

TEST(DialogModels, CliListsFiltersAndTakesTheirNumbers) {
    testsupport::TempDir dir;
    std::string help;
    testsupport::Run(std::string(PIMLORA_CLI) + " --help 2>&1", &help);
    EXPECT_NE(help.find("3 흐리게"), std::string::npos) << help;
    EXPECT_NE(help.find("20 부드럽게B"), std::string::npos);
    EXPECT_NE(help.find("21 임계치변환"), std::string::npos);
    const std::string in = dir.File("in.bmp");
    ASSERT_EQ(testsupport::Run(testsupport::ImageMagick() + " -size 30x20 plasma:fractal -seed 3 -type TrueColor BMP3:" + in), 0);
    auto run = [&](const std::string& out, const std::string& step) {
        return testsupport::Run(std::string(PIMLORA_CLI) + " run " + in + " " + dir.File(out) + " '" + step + "' 2>/dev/null");
    };
    ASSERT_EQ(run("a.bmp", "filter:3:7"), 0);
    ASSERT_EQ(run("b.bmp", "filter:흐리게:7"), 0);
    EXPECT_EQ(testsupport::ReadBytes(dir.File("a.bmp")), testsupport::ReadBytes(dir.File("b.bmp")));
    ASSERT_EQ(run("c.bmp", "filter:21/3:100"), 0);
    ASSERT_EQ(run("d.bmp", "filter:임계치변환/절대변환:100"), 0);
    EXPECT_EQ(testsupport::ReadBytes(dir.File("c.bmp")), testsupport::ReadBytes(dir.File("d.bmp")));
    EXPECT_EQ(run("e.bmp", "filter:23"), 2);
    EXPECT_EQ(run("e.bmp", "filter:0"), 2);
    EXPECT_EQ(run("e.bmp", "filter:21/4"), 2);
}
