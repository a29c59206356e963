// The filter dialog's model, the document's filter and transform commands,
// and the cli's filter step.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "CVexoDoc.h"
#include "commands.h"
#include "filter_commands.h"
#include "filter_model.h"
#include "test_support.h"
#include "undo_journal.h"

namespace {

void Paint(CVexoDoc& doc, uint32_t seed) {
    LayerRecord& L = doc.live.layers[doc.currentLayer];
    const auto bytes = testsupport::RandomBytes(size_t(L.pixelSize), seed);
    std::memcpy(L.pixels.get(), bytes.data(), bytes.size());
}

std::vector<uint8_t> Pixels(const CVexoDoc& doc) {
    const LayerRecord& L = doc.live.layers[doc.currentLayer];
    return std::vector<uint8_t>(L.pixels.get(), L.pixels.get() + L.pixelSize);
}

struct Doc {
    HeadlessHost host;
    CVexoDoc doc{&host};
    explicit Doc(int w = 12, int h = 9) {
        host.echoMessages = false;
        EXPECT_TRUE(doc.NewImage(w, h));
        Paint(doc, 5);
    }
};

}  // namespace

TEST(FilterModel, ListAndParameterTable) {
    const auto& names = filters::FilterNames();
    ASSERT_EQ(names.size(), 20u);
    EXPECT_EQ(names.front(), "노이즈제거(B)");
    EXPECT_EQ(names.back(), "부드럽게B");

    Doc d;
    filters::FilterDialogModel m(&d.doc);
    EXPECT_EQ(m.Name(), "노이즈제거(B)");   // the first is chosen when the panel opens
    m.Choose("빗방울");
    EXPECT_EQ(m.Param(0).label, "크기(0‥99)");
    EXPECT_EQ(m.Param(0).value, 40);
    EXPECT_EQ(m.Param(1).value, 100);
    EXPECT_FALSE(m.Param(2).enabled);
    EXPECT_EQ(m.Param(2).label, "미지정(0‥0)");

    m.Choose("부드럽게B");
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(m.Param(i).enabled);

    // A starting value below the minimum: the slider stops at the minimum,
    // the filter receives the starting value until the slider moves.
    m.Choose("찍어붙이기");
    EXPECT_EQ(m.Param(1).value, 1);
    EXPECT_EQ(m.Param(1).slider, 3);
    m.SetValue(1, 12);
    EXPECT_EQ(m.Param(1).value, 12);
    m.SetText(2, "42abc");
    EXPECT_EQ(m.Param(2).value, 42);

    m.Choose(filters::kThreshold, 1);
    EXPECT_EQ(m.Param(0).value, 75);
    EXPECT_EQ(filters::Lookup("그밖의필터").params[0].label, "조정 1");
    EXPECT_EQ(filters::Lookup("흐리게").params[0].start, 4);
}

TEST(FilterModel, TriesDoNotAccumulateAndStartImageRestores) {
    Doc d;
    const std::vector<uint8_t> original = Pixels(d.doc);
    filters::FilterDialogModel m(&d.doc);
    m.Choose("흐리게");
    ASSERT_TRUE(m.Apply());
    const std::vector<uint8_t> once = Pixels(d.doc);
    EXPECT_NE(once, original);
    ASSERT_TRUE(m.Apply());
    EXPECT_EQ(Pixels(d.doc), once);   // twice with the same value = once
    m.Choose("유화");
    ASSERT_TRUE(m.Apply());
    ASSERT_TRUE(m.StartImage());
    EXPECT_EQ(Pixels(d.doc), original);
    EXPECT_EQ(d.host.currentCommand, -1);

    // Keep: one undo step named after the filter; the kept picture becomes
    // the new starting picture.
    ASSERT_TRUE(m.Apply());
    const std::vector<uint8_t> kept = Pixels(d.doc);
    const size_t stepsBefore = d.doc.steps.size();
    ASSERT_TRUE(m.Close());
    ASSERT_EQ(d.doc.steps.size(), stepsBefore + 1);
    EXPECT_EQ(d.doc.steps.back().label, u"유화");
    m.Choose("흐리게");
    ASSERT_TRUE(m.Apply());
    m.Cancel();
    EXPECT_EQ(Pixels(d.doc), kept);
}

TEST(FilterModel, TextLayerRefused) {
    Doc d;
    d.doc.live.layers[d.doc.currentLayer].kind = LayerText;
    const auto before = Pixels(d.doc);
    filters::FilterDialogModel m(&d.doc);
    m.Choose("흐리게");
    EXPECT_FALSE(m.Apply());
    ASSERT_FALSE(d.host.messages.empty());
    EXPECT_EQ(d.host.messages.back(), doctext::kTextLayerRefused);
    EXPECT_EQ(Pixels(d.doc), before);
}

TEST(FilterCommands, FilterStepParsing) {
    using docfilters::ParseFilterStep;
    auto s = ParseFilterStep("물체확장");
    EXPECT_EQ(s.params[0], 4);
    s = ParseFilterStep("찍어붙이기:10");
    EXPECT_EQ(s.params[0], 10);
    EXPECT_EQ(s.params[1], 1);   // below-minimum starting value
    EXPECT_EQ(s.params[2], 1);
    s = ParseFilterStep("임계치변환/OR 디더링");
    EXPECT_EQ(s.mode, 1);
    EXPECT_EQ(s.params[0], 75);
    s = ParseFilterStep("윤곽선:2,-5");
    EXPECT_EQ(s.params[1], -5);
    EXPECT_THROW(ParseFilterStep("없는필터"), std::invalid_argument);
    EXPECT_THROW(ParseFilterStep("흐리게:abc"), std::invalid_argument);
    EXPECT_THROW(ParseFilterStep("흐리게:99"), std::invalid_argument);
    EXPECT_THROW(ParseFilterStep("흐리게:4,1"), std::invalid_argument);
    EXPECT_THROW(ParseFilterStep("임계치변환/없음"), std::invalid_argument);
    EXPECT_THROW(ParseFilterStep("찍어붙이기:8,3,1,4"), std::invalid_argument);
}

TEST(FilterCommands, NamedStepAndIdsRunAndKeep) {
    Doc d;
    const auto* step = commands::All().FindNamed("filter");
    ASSERT_NE(step, nullptr);
    const auto before = Pixels(d.doc);
    ASSERT_TRUE((*step)(d.doc, "임계치변환/절대변환:100"));
    EXPECT_EQ(d.doc.steps.back().label, u"영상의 임계치변환");
    for (uint8_t v : Pixels(d.doc)) ASSERT_TRUE(v == 0 || v == 255);

    // Mirror twice gives the picture back; each is one step.
    Paint(d.doc, 9);
    const auto painted = Pixels(d.doc);
    const auto* mirror = commands::All().Find(1408);
    ASSERT_NE(mirror, nullptr);
    ASSERT_TRUE(mirror->run(d.doc, {}));
    EXPECT_NE(Pixels(d.doc), painted);
    ASSERT_TRUE(mirror->run(d.doc, {}));
    EXPECT_EQ(Pixels(d.doc), painted);
    EXPECT_EQ(d.doc.steps.back().label, u"거울변환");

    // Quarter turns of the layer: right then left restores it.
    ASSERT_TRUE(commands::All().Find(4210)->run(d.doc, {}));
    EXPECT_EQ(d.doc.live.layers[d.doc.currentLayer].width, 9);
    EXPECT_EQ(d.doc.live.layers[d.doc.currentLayer].height, 12);
    ASSERT_TRUE(commands::All().Find(4214)->run(d.doc, {}));
    EXPECT_EQ(Pixels(d.doc), painted);

    // Canvas turn: the canvas takes the rotated size.
    ASSERT_TRUE(commands::All().Find(1491)->run(d.doc, {}));
    EXPECT_EQ(d.doc.live.canvas.width, 9);
    EXPECT_EQ(d.doc.live.canvas.height, 12);
    EXPECT_EQ(d.doc.live.layers[d.doc.currentLayer].x, 0);
    EXPECT_EQ(d.doc.live.layers[d.doc.currentLayer].y, 0);

    // Negative twice is the identity.
    const auto turned = Pixels(d.doc);
    ASSERT_TRUE(commands::All().Find(1413)->run(d.doc, {}));
    ASSERT_TRUE(commands::All().Find(1413)->run(d.doc, {}));
    EXPECT_EQ(Pixels(d.doc), turned);
    EXPECT_EQ(d.host.currentCommand, -1);
}

TEST(FilterCommands, TransformsRefuseTextLayers) {
    Doc d;
    d.doc.live.layers[d.doc.currentLayer].kind = LayerBalloon;
    EXPECT_FALSE(commands::All().Find(4220)->run(d.doc, {}));
    EXPECT_EQ(d.host.messages.back(), "[말풍선]레이어 입니다. [레스터 형식 변환] 후 다시 실행하십시요.");
    EXPECT_FALSE(commands::All().Find(1410)->run(d.doc, {}));
    EXPECT_EQ(d.host.messages.back(), doctext::kTextLayersPresent);
}

// Inside the selection written pixels become opaque; alpha-0 pixels stay.
TEST(FilterCommands, SelectionMakesWrittenPixelsOpaque) {
    Doc d(6, 4);
    LayerRecord& L = d.doc.live.layers[d.doc.currentLayer];
    std::memset(L.alpha.get(), 100, size_t(L.planeSize));
    L.alpha[0] = 0;
    d.doc.selectionActive = true;
    SelectionMask& s = d.doc.live.selection;
    s.width = 6, s.height = 4, s.x = L.x, s.y = L.y, s.size = 24;
    s.mask.assign(24, 0);
    s.mask[1] = 1;
    ASSERT_TRUE((*commands::All().FindNamed("filter"))(d.doc, "흐리게:3"));
    EXPECT_EQ(L.alpha[0], 0);
    EXPECT_EQ(L.alpha[1], 255);
    EXPECT_EQ(L.alpha[2], 100);
}

TEST(FilterCommands, CliRunsFilterSteps) {
    testsupport::TempDir dir;
    const std::string in = dir.File("in.bmp"), out = dir.File("out.bmp");
    ASSERT_EQ(testsupport::Run(testsupport::ImageMagick() + " -size 30x20 gradient:red-blue -type TrueColor BMP3:" + in), 0);
    EXPECT_EQ(testsupport::Run(std::string(PIMLORA_CLI) + " run " + in + " " + out + " 'filter:유화:3,20' 1491 1413"), 0);
    VaZavi img(kTypeBMP);
    ASSERT_TRUE(img.Load(out.c_str(), kTypeBMP));
    EXPECT_EQ(img.Width(), 20);
    EXPECT_EQ(img.Height(), 30);
    EXPECT_EQ(testsupport::Run(std::string(PIMLORA_CLI) + " run " + in + " " + out + " 'filter:흐리게:77' 2>/dev/null"), 2);
    EXPECT_EQ(testsupport::Run(std::string(PIMLORA_CLI) + " apply " + in + " " + out + " median:3 'filter:부드럽게B'"), 0);
}

// Filter ids take the same parameter checks as the named step, so no
// command line can ask for a window of a million pixels.
TEST(FilterCommands, FilterIdsCheckRanges) {
    Doc d;
    const auto* erode = commands::All().Find(1457);
    ASSERT_NE(erode, nullptr);
    EXPECT_THROW(erode->run(d.doc, {1000000}), std::invalid_argument);
    EXPECT_TRUE(erode->run(d.doc, {3}));
    EXPECT_TRUE(commands::All().Find(1461)->run(d.doc, {}));   // starting values
    EXPECT_EQ(d.doc.steps.back().label, u"찍어붙이기");
}

TEST(FilterCommands, GreyRule) {
    Doc d;
    LayerRecord& L = d.doc.live.layers[d.doc.currentLayer];
    L.alpha[0] = 0;   // every pixel turns grey; a transparent one stays transparent
    const auto before = Pixels(d.doc);
    ASSERT_TRUE(commands::All().Find(4224)->run(d.doc, {}));
    EXPECT_EQ(L.pixels[0], (before[0] + before[1] + before[2]) / 3);
    EXPECT_EQ(L.pixels[1], L.pixels[0]);
    EXPECT_EQ(L.alpha[0], 0);
    EXPECT_EQ(L.alpha[1], 255);
    EXPECT_EQ(d.doc.steps.back().label, u"레이어 채도 감소");
    // Text layers only get a grey text colour.
    L.kind = LayerText;
    L.textColor[0] = 30, L.textColor[1] = 60, L.textColor[2] = 90;
    ASSERT_TRUE(commands::All().Find(1414)->run(d.doc, {}));
    EXPECT_EQ(L.textColor[0], 60);
    EXPECT_EQ(L.textColor[2], 60);
    EXPECT_EQ(d.doc.steps.back().label, u"회색톤이미지 변환");
}
