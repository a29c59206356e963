// Settings file formats and the view's zoom and rectangle rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app_config.h"
#include "view_render.h"

namespace {

std::string Bytes(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) {
        out.push_back(char(c & 0xFF));
        out.push_back(char(c >> 8));
    }
    return out;
}

TEST(Settings, WrittenInTheListedFormatAndReadBack) {
    AppSettings s;
    s.fg = 0x112233;
    s.gridGap = -12;   // hidden grid: written as its absolute value
    s.transpRep = 5;
    s.ws[1] = 1;
    s.fontName = u"나눔";
    s.fontName2 = u"AB";
    std::string text = config::FormatSettings(s);
    EXPECT_EQ(text.rfind("FG1122867 BG16777215 TX0 pFG0 pBG16777215\nFG: 0 X0 Y0", 0), 0u);
    EXPECT_NE(text.find("\nFontSize 12 2 2\n\nFontStrikeOut 0"), std::string::npos);
    EXPECT_NE(text.find("\nGGap12 GClr12632256 Cur5 Pnt0 255 16711680\nFog 0\nTranspRep 5\nFolder: 0\nUD 0\nRS 0\nWS 0 1 0 0\n"),
              std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 9), Bytes(u"나눔") + "\n" + Bytes(u"AB"));

    AppSettings r;
    config::ParseSettings(text, r);
    EXPECT_EQ(r.fg, 0x112233);
    EXPECT_EQ(r.gridGap, 12);
    EXPECT_EQ(r.transpRep, 5);
    EXPECT_EQ(r.ws[1], 1);
    EXPECT_EQ(r.fontName, u"나눔");
    EXPECT_EQ(r.fontName2, u"AB");
}

TEST(Settings, ClampsAndLinesThatDoNotMatch) {
    std::u16string longName(250, u'x');
    std::string text = "FG1 BG2 TX3 pFG4 pBG5\nFG: 1 X2 Y3\nBG: junk\nTX: 7 X8 Y9\nFontSize 1 250 -4\n"
                       "\nFontStrikeOut 1\nFontUnderLine 0\n0 1\nGGap20 GClr5 Cur2 Pnt7 8 9\nFog 3\nTranspRep 9"
                       "\nFolder: 1\nUD 1\nRS 1\nWS 1 2 3 4\n" +
                       Bytes(longName) + "\n";
    AppSettings s;
    s.bgPick = {5, 6, 7};
    config::ParseSettings(text, s);
    EXPECT_EQ(s.bgPick.swatch, 5);            // unmatched line keeps its value
    EXPECT_EQ(s.txPick.swatch, 7);
    EXPECT_EQ(s.fontSize, 2);                 // at least 2
    EXPECT_EQ(s.fontName.size(), 100u);       // 250 reads 100
    EXPECT_EQ(s.brushSize, 1);                // at least 1
    EXPECT_EQ(s.cursor, 2);
    EXPECT_EQ(s.transpRep, 3);                // out of range
    EXPECT_EQ(s.folder, 1);
    EXPECT_EQ(s.ws[3], 4);
}

TEST(Settings, FirstShowFlagAndSamplesFolder) {
    auto dir = std::filesystem::temp_directory_path() / ("pimlora_cfg_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string file = (dir / "FirstShow.ini").string();
    { std::ofstream(file) << "1 update 1\n0\n"; }
    AppSettings s;
    config::LoadFirstShow(file, "/start", s);
    EXPECT_EQ(s.folder, 1);
    EXPECT_EQ(s.ud, 1);
    EXPECT_EQ(s.browserFolder, u"/start/Samples");
    s.browserFolder = u"/pics/여행";
    ASSERT_TRUE(config::SaveFirstShow(file, s));
    AppSettings r;
    config::LoadFirstShow(file, "/start", r);
    EXPECT_EQ(r.folder, 0);
    EXPECT_EQ(r.browserFolder, u"/pics/여행");
    AppSettings missing;
    config::LoadFirstShow((dir / "none.ini").string(), "/start", missing);
    EXPECT_EQ(missing.folder, 0);
    EXPECT_TRUE(missing.browserFolder.empty());
    std::filesystem::remove_all(dir);
}

TEST(ViewMath, ZoomStepsAndLimits) {
    double z = 0.9;
    ASSERT_TRUE(viewmath::ZoomInStep(z));
    EXPECT_EQ(z, 1.0);
    ASSERT_TRUE(viewmath::ZoomInStep(z));
    EXPECT_EQ(z, 1.25);
    z = 1.0;
    int steps = 0;
    while (viewmath::ZoomInStep(z)) ++steps;
    EXPECT_EQ(steps, 13);
    EXPECT_NEAR(z, 18.19, 0.01);
    z = 1.0;
    while (viewmath::ZoomOutStep(z)) {}
    EXPECT_LT(z, 0.0625);
    EXPECT_GT(z, 0.05);
    // A large picture opens at 0.8 x f; a small one at 1.
    EXPECT_NEAR(viewmath::InitialZoom(4000, 3000, 1000, 800), 0.4, 1e-9);
    EXPECT_EQ(viewmath::InitialZoom(300, 200, 1000, 800), 1.0);
}

TEST(ViewMath, SmallImageCentredLargeOneAtZero) {
    auto r = viewmath::ComputeImageRect(100, 50, 1.0, 299, 199);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 75);
    EXPECT_EQ(r.right, 199);
    auto big = viewmath::ComputeImageRect(1000, 50, 1.0, 299, 199);
    EXPECT_EQ(big.left, 0);
    EXPECT_TRUE(big.wider);
    EXPECT_EQ(big.right, 299);
    auto v = viewmath::VisiblePart(big, 400, 0, 299, 199);
    EXPECT_EQ(v.left, 400);
    EXPECT_EQ(v.width, 299);
}

TEST(ViewMath, TransparentPixelsShowTheHatch) {
    // One transparent and one opaque pixel at zoom 1 over the backward hatch.
    uint8_t bgra[8] = {0, 0, 0, 0, 10, 20, 30, 255};
    viewmath::Visible v{0, 0, 2, 1, 0, 0};
    std::vector<uint8_t> px(2 * 4);
    viewmath::Frame f{px.data(), 8, 2, 1};
    viewmath::Render(bgra, v, 1.0, viewmath::Look{}, f);
    EXPECT_EQ(px[0], 255);   // paper of the hatch at (0, 0)
    EXPECT_EQ(px[2], 255);
    EXPECT_EQ(px[4], 10);    // opaque: as composited, blue first
    EXPECT_EQ(px[6], 30);
}

// A picture whose zoomed pixels depend on their position only, with
// opaque, transparent and partly covered runs.
void FakeComposite(int left, int top, int w, int h, uint8_t* dst, ptrdiff_t stride) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int zx = left + x, zy = top + y;
            uint8_t* d = dst + stride * y + x * 4;
            const int a = (zx / 7 + zy / 5) % 3 == 0 ? 255 : (zx * 3 + zy) % 3 == 0 ? 0 : (zx ^ zy) & 255;
            d[0] = uint8_t(zx * a / 255), d[1] = uint8_t(zy * a / 255), d[2] = uint8_t((zx + zy) * a / 255);
            d[3] = uint8_t(a);
        }
}

// After a scroll only the strips that came into view are composited, and the
// frame equals a fresh paint at the new position (hatch and grid included).
TEST(ViewMath, ScrollRepaintsOnlyTheUncoveredStrips) {
    const int cw = 120, ch = 90;
    viewmath::FramePainter::State s;
    s.W = 300, s.H = 200, s.z = 1.25, s.scrollX = 40, s.scrollY = 30;
    s.look.gridGap = 4, s.look.gridColour = 0x0000FF;
    std::vector<uint8_t> px(size_t(cw) * ch * 4), fresh(px.size());
    viewmath::Frame f{px.data(), cw * 4, cw, ch}, g{fresh.data(), cw * 4, cw, ch};
    viewmath::FramePainter painter;
    painter.Paint(s, f, FakeComposite, true);
    EXPECT_EQ(painter.LastCompositedPixels(), cw * ch);
    struct Step {
        int dx, dy;
    };
    for (const Step step : {Step{13, 0}, Step{0, 9}, Step{-5, 0}, Step{0, -20}, Step{31, 17}, Step{-30, 11},
                            Step{7, -3}, Step{-1, -1}, Step{200, 0}}) {
        s.scrollX += step.dx, s.scrollY += step.dy;
        painter.Paint(s, f, FakeComposite, false);
        const int strips = std::abs(step.dx) * ch + std::abs(step.dy) * cw - std::abs(step.dx * step.dy);
        if (std::abs(step.dx) < cw) {
            EXPECT_EQ(painter.LastCompositedPixels(), strips) << step.dx << "," << step.dy;
        }
        viewmath::FramePainter other;
        other.Paint(s, g, FakeComposite, true);
        ASSERT_EQ(px, fresh) << "after a scroll by " << step.dx << "," << step.dy;
    }
    // A changed picture is composited whole.
    painter.Paint(s, f, FakeComposite, true);
    EXPECT_EQ(painter.LastCompositedPixels(), cw * ch);
}

}  // namespace

namespace {
TEST(ViewMath, SelectionOutlineFollowsTheMaskBorder) {
    // 4 x 4 canvas, selected canvas pixels (1,1)-(2,2); rows stored bottom-up.
    std::vector<uint8_t> mask(16, 0);
    for (int r = 1; r <= 2; ++r)
        for (int c = 1; c <= 2; ++c) mask[size_t(3 - r) * 4 + c] = 1;
    viewmath::MaskView m{mask.data(), 4, 4, 0, 0, 4};
    viewmath::Visible v{0, 0, 4, 4, 0, 0};
    std::vector<uint8_t> px(4 * 4 * 4, 100);
    viewmath::Frame f{px.data(), 16, 4, 4};
    viewmath::DrawOutline(m, v, 1.0, 0, f);
    auto marked = [&](int x, int y) { return px[size_t(y) * 16 + x * 4] != 100; };
    EXPECT_TRUE(marked(0, 1));    // left of the selection
    EXPECT_TRUE(marked(2, 1));    // right edge inside
    EXPECT_TRUE(marked(1, 0));    // above
    EXPECT_FALSE(marked(3, 3));   // far outside
    EXPECT_FALSE(marked(0, 0));
}
}  // namespace

namespace {
std::string Configured(const std::string& text) {
    AppSettings s;
    config::ParseSettings(text, s);
    return config::FormatSettings(s);
}
}  // namespace

// Values outside their ranges are brought into them when read, numbers too
// long for their field do not wrap, and nothing out of range is written.
TEST(Settings, RangesOnReadAndWrite) {
    const std::string names = "\n\n";
    AppSettings s;
    config::ParseSettings("FG99999999999 BG-5 TX16777216 pFG1 pBG2\nFG: 3 X-99999999999 Y99999999999"
                          "\nBG: 1 X2 Y3\nTX: 4 X5 Y6\nFontSize 2147483647 0 0\n"
                          "\nFontStrikeOut 7\nFontUnderLine 0\n2147483647 9\nGGap-2147483648 GClr-1 Cur999999 Pnt5 1 2"
                          "\nFog 3\nTranspRep 2\nFolder: 9\nUD 2147483647\nRS -4\nWS 999 5 -1 256" + names,
                          s);
    EXPECT_EQ(s.fg, 0xFFFFFF);
    EXPECT_EQ(s.bg, 0);
    EXPECT_EQ(s.tx, 0xFFFFFF);
    EXPECT_EQ(s.fgPick.x, INT32_MIN);
    EXPECT_EQ(s.fgPick.y, INT32_MAX);   // not 1215752191
    EXPECT_EQ(s.fontSize, config::kMaxFontSize);
    EXPECT_TRUE(s.strikeOut);
    EXPECT_EQ(s.brushSize, 30);
    EXPECT_EQ(s.brushMode, 1);
    EXPECT_EQ(s.gridGap, -40);          // hidden, at most 40
    EXPECT_EQ(s.gridColour, 0);
    EXPECT_EQ(s.cursor, 5);             // other values meant the cross-hair
    EXPECT_EQ(s.transpRep, 2);
    EXPECT_EQ(s.folder, 1);
    EXPECT_EQ(s.ud, 1);
    EXPECT_EQ(s.rs, 0);
    EXPECT_EQ(s.ws[0], 255);
    EXPECT_EQ(s.ws[1], 1);
    EXPECT_EQ(s.ws[2], 0);
    EXPECT_EQ(s.ws[3], 255);
    const std::string out = config::FormatSettings(s);
    EXPECT_NE(out.find("\nFontSize 2000 "), std::string::npos) << out;
    EXPECT_NE(out.find("\n30 1\nGGap40 GClr0 Cur5 "), std::string::npos) << out;
    EXPECT_NE(out.find("\nUD 1\nRS 0\nWS 255 1 0 255\n"), std::string::npos) << out;

    // Values set out of range in memory are written in range.
    AppSettings m;
    m.brushSize = -7;
    m.fontSize = 0;
    m.gridGap = INT32_MIN;
    m.cursor = 0;
    m.transpRep = 77;
    m.fg = -1;
    const std::string w = config::FormatSettings(m);
    EXPECT_NE(w.find("FG0 BG16777215"), std::string::npos) << w;
    EXPECT_NE(w.find("\nFontSize 2 "), std::string::npos) << w;
    EXPECT_NE(w.find("\n1 0\nGGap40 "), std::string::npos) << w;
    EXPECT_NE(w.find(" Cur5 "), std::string::npos) << w;
    EXPECT_NE(w.find("\nTranspRep 3\n"), std::string::npos) << w;
    EXPECT_EQ(Configured(w), w);   // what is written reads back as written

    // The grid toggle keeps the gap in range, also from the most negative value.
    int32_t gap = INT32_MIN;
    config::ToggleGrid(gap);
    EXPECT_EQ(gap, 40);
    config::ToggleGrid(gap);
    EXPECT_EQ(gap, -40);
    gap = 2;
    config::ToggleGrid(gap);
    EXPECT_EQ(gap, -4);

    // The options dialog stores the gap within 4-40 and the memory budget.
    OptionsValues v;
    AppSettings o;
    v.gridGapText = 100;
    v.memoryBudgetMB = 512;
    ApplyOptions(v, o);
    EXPECT_EQ(o.gridGap, -40);   // the grid stays hidden
    EXPECT_EQ(o.memoryBudgetMB, 512);
    v.gridGapText = 2;
    v.memoryBudgetMB = -1;
    ApplyOptions(v, o);
    EXPECT_EQ(o.gridGap, -4);
    EXPECT_EQ(o.memoryBudgetMB, 0);
}

// The memory budget follows the names and is written only when it is set,
// so files of the automatic budget stay as they were.
TEST(Settings, MemoryBudgetAfterTheNames) {
    AppSettings s;
    s.fontName = u"AB";
    const std::string automatic = config::FormatSettings(s);
    EXPECT_EQ(automatic.find("MemoryBudget"), std::string::npos);
    s.memoryBudgetMB = 3000;
    const std::string set = config::FormatSettings(s);
    EXPECT_EQ(set, automatic + "\nMemoryBudgetMB 3000");
    AppSettings r;
    config::ParseSettings(set, r);
    EXPECT_EQ(r.memoryBudgetMB, 3000);
    EXPECT_EQ(r.fontName, u"AB");
    config::ParseSettings(automatic + "\nMemoryBudgetMB 99999999999999", r);
    EXPECT_EQ(r.memoryBudgetMB, config::kMaxMemoryBudgetMB);
    // Beside the other lines after the names, which stay as they were.
    AppSettings t;
    config::ParseSettings(automatic + "\nUpdateServer example\nMemoryBudgetMB 700\nOther 1", t);
    EXPECT_EQ(t.memoryBudgetMB, 700);
    EXPECT_EQ(t.trailer, "\nUpdateServer example\nOther 1");
    EXPECT_EQ(config::FormatSettings(t), automatic + "\nUpdateServer example\nOther 1\nMemoryBudgetMB 700");
}

// Folders in place of the two files: the configuration counts as missing
// (the editor then ends with its message) and FirstShow.ini as absent.
TEST(Settings, FoldersInPlaceOfTheFiles) {
    auto dir = std::filesystem::temp_directory_path() / ("pimlora_cfgdir_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / config::kConfigFile);
    std::filesystem::create_directories(dir / config::kFirstShowFile);
    AppSettings s;
    s.fontSize = 33;
    EXPECT_FALSE(config::LoadSettings((dir / config::kConfigFile).string(), s));
    EXPECT_EQ(s.fontSize, 33);
    EXPECT_FALSE(config::SaveSettings((dir / config::kConfigFile).string(), s));
    s.folder = 1;
    s.browserFolder = u"x";
    config::LoadFirstShow((dir / config::kFirstShowFile).string(), "/start", s);
    EXPECT_EQ(s.folder, 0);
    EXPECT_TRUE(s.browserFolder.empty());
    std::filesystem::remove_all(dir);
}
