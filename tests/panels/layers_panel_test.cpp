// The layers panel without its window: the row arithmetic of the layer page,
// the row texts and blend modes, the history lines and icons, the thumbnails,
// and the panel following its document through the change notice.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "CVexoDoc.h"
#include "commands.h"
#include "dib_types.h"
#include "layers_panel_model.h"
#include "test_support.h"
#include "undo_journal.h"

using namespace layerpanel;

namespace {

struct PanelDoc : ::testing::Test {
    testsupport::TempDir dir;
    HeadlessHost host;
    std::unique_ptr<CVexoDoc> doc = std::make_unique<CVexoDoc>(&host);
    LayersPanelModel panel;
    int changes = 0;

    void Start(int w = 40, int h = 30, int layers = 1) {
        host.echoMessages = false;
        host.journalFolder = dir.Path() + "/";
        ASSERT_TRUE(doc->NewImage(w, h));
        ASSERT_TRUE(doc->RecordUndoStep(u"Opening....", UndoLayerChanged, -1));
        for (int i = 1; i < layers; ++i) ASSERT_TRUE(Run(1552));
        panel.onChange = [this] { ++changes; };
        panel.SetClientHeight(kPanelHeight);
        panel.Show(doc.get());
        panel.Refresh();
    }
    bool Run(int id) {
        const commands::Command* c = commands::All().Find(id);
        ChangeBatch batch(*doc);
        return c && c->run(*doc, {});
    }
    bool Step(const char* name, const std::string& args) {
        const commands::NamedFn* f = commands::All().FindNamed(name);
        return f && (*f)(*doc, args);
    }
    void Fill(int slot, uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
        LayerRecord& L = doc->Layer(slot);
        for (int row = 0; row < L.height; ++row) {
            uint8_t* p = L.PixelRow(row);
            for (int x = 0; x < L.width; ++x) {
                p[3 * x] = b;
                p[3 * x + 1] = g;
                p[3 * x + 2] = r;
            }
        }
        std::memset(L.alpha.get(), a, size_t(L.planeSize));
    }
    std::vector<int> RowLayers() const {
        std::vector<int> out;
        for (const RowView& r : panel.Rows()) out.push_back(r.layer);
        return out;
    }
    std::u16string LastLabel() const { return doc->steps[size_t(doc->undoPos)].label; }
};

}  // namespace

// --- layout ------------------------------------------------------------------------------------

TEST(LayersPanelLayout, RowsFitTheHeightUpToEleven) {
    EXPECT_EQ(RowsFor(400), 4);   // (400 - 140) / 65
    EXPECT_EQ(RowsFor(kPanelHeight), 3);
    EXPECT_EQ(RowsFor(kPanelTallHeight), 11);
    EXPECT_EQ(RowsFor(204), 0);
    EXPECT_EQ(RowsFor(205), 1);
    EXPECT_EQ(RowsFor(100), 0);
    EXPECT_EQ(RowsFor(5000), kMaxRows);
    EXPECT_EQ(RowY(3), 140 + 195);
}

TEST(LayersPanelLayout, HitTestFindsRowPartsAndGaps) {
    auto hit = [](int x, int y, int rows = 4) { return HitTest(x, y, rows); };
    EXPECT_EQ(hit(150, 140).row, 0);
    EXPECT_EQ(hit(150, 140).part, Part::Body);
    EXPECT_EQ(hit(231, 199).row, 0);
    EXPECT_EQ(hit(150, 200).part, Part::None);   // the gap below a row body
    EXPECT_EQ(hit(150, 205).row, 1);
    EXPECT_EQ(hit(150, 139).part, Part::None);   // above the rows
    EXPECT_EQ(hit(150, RowY(4)).part, Part::None);   // beyond the rows shown
    EXPECT_EQ(hit(150, RowY(4), 5).row, 4);
    // The small button area and the two picture buttons below it.
    EXPECT_EQ(hit(90, RowY(2) + 5).part, Part::Effect);
    EXPECT_EQ(hit(90, RowY(2) + 20).part, Part::Visibility);
    EXPECT_EQ(hit(109, RowY(2) + 50).part, Part::Edit);
    EXPECT_EQ(hit(90, RowY(2) + 50).row, 2);
    EXPECT_EQ(hit(20, RowY(1) + 30).part, Part::Thumbnail);
    EXPECT_EQ(hit(84, RowY(1) + 30).part, Part::None);   // between thumbnail and buttons
    EXPECT_EQ(hit(240, RowY(1) + 30).part, Part::None);   // right of the fixed body
    EXPECT_EQ(HitTest(240, RowY(1) + 30, 4, 250).part, Part::Body);   // a wider panel's body
}

TEST(LayersPanelLayout, ScrollArrowsSitAtBothEndsOfTheBar) {
    // Three rows: the bar runs from 140 to 140 + 3 * 65 - 5.
    EXPECT_EQ(ScrollArrowAt(kScrollX + 5, kRowTop, 3), -1);
    EXPECT_EQ(ScrollArrowAt(kScrollX + 19, kRowTop + kArrowHeight - 1, 3), -1);
    EXPECT_EQ(ScrollArrowAt(kScrollX + 5, kRowTop + kArrowHeight, 3), 0);   // the bar itself
    EXPECT_EQ(ScrollArrowAt(kScrollX + 5, kRowTop + 190 - 1, 3), 1);
    EXPECT_EQ(ScrollArrowAt(kScrollX + 5, kRowTop + 190, 3), 0);
    EXPECT_EQ(ScrollArrowAt(kScrollX + 5, kRowTop + 190 - kArrowHeight, 3), 1);
    EXPECT_EQ(ScrollArrowAt(kScrollX + 5, kRowTop + 11 * 65 - 6, 11), 1);
    EXPECT_EQ(ScrollArrowAt(kScrollX - 1, kRowTop, 3), 0);
    EXPECT_EQ(ScrollArrowAt(kScrollX + 5, kRowTop, 0), 0);   // no rows, no bar
    // They stay clear of the rows' bodies and fit the panel.
    EXPECT_EQ(HitTest(kScrollX + 5, kRowTop + 5, 3, kScrollX - 2).part, Part::None);
    EXPECT_LE(kScrollX + kScrollWidth, kPanelWidth);
    EXPECT_GE(ScrollArrowTop(1, 1), kRowTop + kArrowHeight);   // one row: the arrows do not overlap
}

TEST(LayersPanelLayout, RowButtonCommandsMapBack) {
    EXPECT_EQ(VisibilityCommand(0, true), 5430);
    EXPECT_EQ(VisibilityCommand(10, true), 5440);
    EXPECT_EQ(VisibilityCommand(10, false), 5510);
    EXPECT_EQ(EditCommand(10), 5410);
    int row = -1;
    Part part = Part::None;
    ASSERT_TRUE(RowOfCommand(5503, row, part));
    EXPECT_EQ(row, 3);
    EXPECT_EQ(part, Part::Visibility);
    ASSERT_TRUE(RowOfCommand(5400, row, part));
    EXPECT_EQ(part, Part::Edit);
    EXPECT_FALSE(RowOfCommand(5411, row, part));
    EXPECT_FALSE(RowOfCommand(5441, row, part));
    EXPECT_FALSE(RowOfCommand(1552, row, part));
}

TEST(LayersPanelLayout, ButtonsFitAboveTheRowsWithoutOverlaps) {
    const auto& all = Buttons();
    auto overlap = [](int ax, int ay, int aw, int ah, int bx, int by, int bw, int bh) {
        return ax < bx + bw && bx < ax + aw && ay < by + bh && by < ay + ah;
    };
    for (size_t i = 0; i < all.size(); ++i) {
        const PanelButton& b = all[i];
        EXPECT_GE(b.x, 0) << b.name;
        EXPECT_LE(b.x + b.width, kPanelWidth) << b.name;
        EXPECT_LE(b.y + b.height, kRowTop) << b.name;   // the rows start below them
        // Nor under the blend combo (about 30 high) or the fade slider and its box.
        EXPECT_FALSE(overlap(b.x, b.y, b.width, b.height, kBlendX, kBlendY, kBlendWidth, 30)) << b.name;
        EXPECT_FALSE(overlap(b.x, b.y, b.width, b.height, kOpacityX, kOpacityY - 14, kPanelWidth - kOpacityX, 40))
            << b.name;
        for (size_t j = i + 1; j < all.size(); ++j) {
            const PanelButton& o = all[j];
            EXPECT_FALSE(overlap(b.x, b.y, b.width, b.height, o.x, o.y, o.width, o.height)) << b.name << " / " << o.name;
        }
        // A press at its centre finds it on its pages.
        const PanelButton* hit = ButtonAt(b.x + b.width / 2, b.y + b.height / 2, true);
        ASSERT_NE(hit, nullptr) << b.name;
        EXPECT_EQ(hit->command, b.command);
        EXPECT_EQ(ButtonAt(b.x + b.width / 2, b.y + b.height / 2, false) != nullptr, !b.layerPage) << b.name;
    }
    // The command buttons of the table are all there.
    for (int id : {1552, 1553, 1555, 1557, 3500, 1545, 1558, 1500, 3994, 4870, 4871, kTallCommand, kCopyLayerCommand,
                   kLayerPageCommand, kHistoryPageCommand}) {
        EXPECT_TRUE(std::any_of(all.begin(), all.end(), [id](const PanelButton& b) { return b.command == id; })) << id;
    }
    EXPECT_EQ(ButtonAt(100, 200, true), nullptr);   // a row, not a button
    // The top 25 pixels beside the page buttons drag the panel; the page
    // buttons keep their presses, and below the strip nothing drags.
    EXPECT_TRUE(InCaptionStrip(220, 12));
    EXPECT_TRUE(InCaptionStrip(257, 0));
    EXPECT_TRUE(InCaptionStrip(220, 24));
    EXPECT_FALSE(InCaptionStrip(220, 25));
    EXPECT_FALSE(InCaptionStrip(40, 12));    // "레이어보기"
    EXPECT_FALSE(InCaptionStrip(150, 12));   // "작업내역보기"
    int strip = 0;
    for (int x = 0; x < kPanelWidth; ++x) strip += InCaptionStrip(x, 12);
    EXPECT_GE(strip, 60);   // wide enough to take hold of
}

// --- texts ---------------------------------------------------------------------------------------

TEST(LayersPanelTexts, NamesTagsHeaderAndBlendModes) {
    LayerRecord L;
    SetFixedText(L.name, 100, u"[ImgFrame]");
    EXPECT_EQ(ShownName(L), "[액자틀]");
    SetFixedText(L.name, 100, u"[LinePattern]");
    EXPECT_EQ(ShownName(L), "//빗살무뉘//");
    SetFixedText(L.name, 100, u"레이어 3");
    EXPECT_EQ(ShownName(L), "레이어 3");
    EXPECT_EQ(Tag(L), "");
    L.kind = LayerText;
    EXPECT_EQ(Tag(L), "[글]");
    L.kind = LayerBalloon;
    EXPECT_EQ(Tag(L), "[말풍선]");
    L.kind = LayerLinked;
    EXPECT_EQ(Tag(L), "Ctrl+D : 고정");
    EXPECT_EQ(Header(24, 300), "24 비트 300 dpi");

    const auto& modes = BlendModes();
    const std::vector<std::pair<std::string, int>> expected = {
        {"표준상태", 0}, {"곱셈혼합", 2}, {"화면혼합", 3},   {"어두운혼합", 4},  {"밝은혼합", 5},
        {"차이혼합", 6}, {"역차이혼합", 7}, {"제외혼합", 8}, {"오버레이혼합", 9}};
    ASSERT_EQ(modes.size(), expected.size());
    for (size_t i = 0; i < modes.size(); ++i) {
        EXPECT_EQ(modes[i].label, expected[i].first);
        EXPECT_EQ(modes[i].value, expected[i].second);
        EXPECT_EQ(BlendIndex(modes[i].value), int(i));
    }
    EXPECT_EQ(BlendIndex(1), -1);   // the uniform fade is not offered
    EXPECT_EQ(BlendIndex(12), -1);
}

// --- history -------------------------------------------------------------------------------------

TEST(LayersPanelHistory, LinesAreRightAlignedInColumns) {
    // Hangul takes two columns of a fixed-width font.
    EXPECT_EQ(TextColumns("abc"), 3);
    EXPECT_EQ(TextColumns("레이어"), 6);
    EXPECT_EQ(TextColumns("명도·대비"), 9);
    EXPECT_EQ(HistoryLine(0, 0, u"Opening...."), "  0       (처음이미지)");
    EXPECT_EQ(HistoryLine(3, 2, u"레이어추가"), "  3    2    레이어추가");
    EXPECT_EQ(HistoryLine(12, 0, u"붓그리기"), " 12           붓그리기");
    EXPECT_EQ(HistoryLine(19, 39, u"abc"), " 19   39           abc");
    // A name wider than its field is kept whole.
    EXPECT_EQ(HistoryLine(4, 1, u"레이어효과(그림자)"), "  4    1 레이어효과(그림자)");
    EXPECT_EQ(TextColumns(HistoryLine(7, 5, u"자르기")), 3 + 1 + 4 + 1 + 13);
}

TEST(LayersPanelHistory, IconsByStepName) {
    const std::vector<std::pair<std::u16string, int>> table = {
        {u"레이어 위치 이동", 0}, {u"레이어효과(그림자)", 1}, {u"떡이미지", 2},   {u"레이어삭제", 3},
        {u"레이어추가", 4},       {u"이미지크기", 5},         {u"색상조정", 7},   {u"원 그리기", 8},
        {u"반전변환", 9},         {u"다각형그리기", 10},      {u"선그리기", 11},  {u"점찍기", 12},
        {u"붓그리기", 13},        {u"스프레이", 14},          {u"채우기", 15},    {u"물방울", 16},
        {u"영역지우기", 17},      {u"글자입력", 18},          {u"Opening....", 19}, {u"복사물 붙이기", 20},
        {u"자르기", 21},          {u"선택영역 위치이동", 22}, {u"전체영상 위치이동", 22}, {u"거울변환", 23},
        {u"수직제비회전", 23},    {u"180 우회전", 23},        {u"180 좌회전", 23}, {u"90 좌회전", 23},
        {u"90 우회전", 23},       {u"자유회전", 23},          {u"자동레벨", 24},  {u"명도·대비 조절", 24},
        {u"다각형영역선택", 24},  {u"회색톤이미지 변환", 24}, {u"RGB 컬러영상으로 변환", 24},
    };
    for (const auto& [name, icon] : table) EXPECT_EQ(HistoryIcon(name), icon) << Utf16ToUtf8(name);
    // Names not listed, and near misses of listed ones.
    for (const char16_t* other : {u"영상의 흐림효과", u"레이어병합", u"", u"레이어추가 ", u"opening...."})
        EXPECT_EQ(HistoryIcon(other), 22) << Utf16ToUtf8(other);
}

// --- thumbnails ------------------------------------------------------------------------------------

TEST_F(PanelDoc, ThumbnailKeepsProportionsAndShowsTransparency) {
    Start(200, 100);
    Fill(0, 0, 0, 255, 255);   // opaque red
    Thumbnail t;
    BuildThumbnail(*doc, 0, kThumbWidth, kThumbHeight, t);
    EXPECT_EQ(t.width, 78);
    EXPECT_EQ(t.height, 39);
    ASSERT_EQ(t.rgb.size(), size_t(78 * 39 * 3));
    EXPECT_EQ(t.rgb[0], 255);
    EXPECT_EQ(t.rgb[1], 0);
    EXPECT_EQ(t.rgb[2], 0);
    // A transparent layer shows the checkerboard; half alpha mixes with it.
    Fill(0, 0, 0, 0, 0);
    BuildThumbnail(*doc, 0, kThumbWidth, kThumbHeight, t);
    EXPECT_EQ(t.rgb[0], 255);
    EXPECT_EQ(t.rgb[size_t(4 * 3)], 204);   // the next square
    Fill(0, 0, 0, 0, 128);
    BuildThumbnail(*doc, 0, kThumbWidth, kThumbHeight, t);
    EXPECT_NEAR(t.rgb[0], 127, 1);
    // The top row of the thumbnail is the top of the picture (stored last).
    LayerRecord& L = doc->Layer(0);
    Fill(0, 255, 255, 255, 255);
    std::memset(L.PixelRow(L.height - 1), 0, size_t(L.stride));
    std::memset(L.PixelRow(L.height - 2), 0, size_t(L.stride));
    std::memset(L.PixelRow(L.height - 3), 0, size_t(L.stride));
    BuildThumbnail(*doc, 0, kThumbWidth, kThumbHeight, t);
    EXPECT_EQ(t.rgb[0], 0);
    EXPECT_EQ(t.rgb[size_t(38 * 78 * 3)], 255);
}

TEST_F(PanelDoc, TextLayerThumbnailUsesItsColourAndCoverage) {
    Start(60, 40);
    ASSERT_TRUE(Step("text", "5,5,20,00FF00:가"));
    const int slot = doc->currentLayer;
    ASSERT_TRUE(doc->Layer(slot).IsTextKind());
    Thumbnail t;
    BuildThumbnail(*doc, slot, kThumbWidth, kThumbHeight, t);
    bool green = false;
    for (size_t i = 0; i + 2 < t.rgb.size(); i += 3)
        if (t.rgb[i] < 60 && t.rgb[i + 1] > 180 && t.rgb[i + 2] < 60) green = true;
    EXPECT_TRUE(green);
}

// --- following the document ------------------------------------------------------------------------

TEST_F(PanelDoc, RowsShowTheTopFirstAndScroll) {
    Start(20, 10, 15);
    panel.SetClientHeight(kPanelTallHeight);
    panel.Refresh();
    EXPECT_EQ(panel.RowsShown(), 11);
    std::vector<int> order = doc->StackOrder();
    ASSERT_EQ(order.size(), 15u);
    EXPECT_EQ(panel.LayerOfRow(0), order.back());
    EXPECT_EQ(panel.LayerOfRow(10), order[4]);
    EXPECT_EQ(panel.LayerOfRow(11), -1);
    // Lines by one, pages by two; a position beyond the stack is ignored.
    EXPECT_TRUE(panel.ScrollLines(1));
    EXPECT_EQ(panel.LayerOfRow(0), order[13]);
    EXPECT_TRUE(panel.ScrollPages(1));
    EXPECT_EQ(panel.FirstShown(), 3);
    EXPECT_EQ(panel.LayerOfRow(10), order[1]);
    EXPECT_EQ(panel.LayerOfRow(11), -1);
    EXPECT_TRUE(panel.ScrollTo(14));
    EXPECT_EQ(panel.LayerOfRow(0), order[0]);
    EXPECT_EQ(panel.LayerOfRow(1), -1);
    EXPECT_FALSE(panel.ScrollLines(1));
    EXPECT_FALSE(panel.ScrollTo(15));
    EXPECT_FALSE(panel.ScrollTo(-1));
    EXPECT_EQ(panel.FirstShown(), 14);
    EXPECT_TRUE(panel.ScrollPages(-7));
    EXPECT_EQ(panel.FirstShown(), 0);

    // A layer chosen elsewhere is scrolled into the rows.
    panel.SetClientHeight(400);
    panel.Refresh();
    ASSERT_TRUE(doc->SelectLayer(order[0]));
    panel.Refresh();
    EXPECT_EQ(panel.RowOfLayer(order[0]), 3);
    EXPECT_TRUE(panel.Rows()[3].current);
    // A click on a row brings it to the top, as far as the four rows stay
    // filled; an empty row does nothing.
    EXPECT_EQ(panel.FirstShown(), 11);
    EXPECT_FALSE(panel.ScrollRowToTop(2));   // the last four layers: no further
    EXPECT_TRUE(panel.ScrollTo(0));
    EXPECT_TRUE(panel.ScrollRowToTop(2));
    EXPECT_EQ(panel.FirstShown(), 2);
    EXPECT_EQ(panel.LayerOfRow(0), order[12]);
    EXPECT_TRUE(panel.ScrollRowToTop(3));
    EXPECT_EQ(panel.FirstShown(), 5);
    EXPECT_FALSE(panel.ScrollRowToTop(0));   // already there
    EXPECT_TRUE(panel.ScrollTo(14));         // the arrows may still go to the last layer alone
    EXPECT_FALSE(panel.ScrollRowToTop(1));   // an empty row
    // All the layers fit: a click scrolls nothing away.
    panel.SetClientHeight(kPanelTallHeight);
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(Run(1553));
    panel.Refresh();
    ASSERT_EQ(panel.FirstShown(), 0);
    EXPECT_FALSE(panel.ScrollRowToTop(3));
    EXPECT_EQ(panel.LayerOfRow(0), doc->StackOrder().back());
}

// A panel made short and then given its full height (start-up, "늘여 보기")
// fills its new rows with the layers above instead of leaving them empty
// under the bottom one.
TEST_F(PanelDoc, ATallerPanelFillsItsRowsFromAbove) {
    Start(20, 10, 15);
    std::vector<int> order = doc->StackOrder();   // bottom first
    ASSERT_TRUE(doc->SelectLayer(order[0]));
    panel.Refresh();
    EXPECT_EQ(panel.RowOfLayer(order[0]), 2);   // three rows: the last of them
    EXPECT_EQ(panel.FirstShown(), 12);
    panel.SetClientHeight(878);
    panel.Refresh();
    ASSERT_EQ(panel.RowsShown(), 11);
    EXPECT_EQ(panel.FirstShown(), 4);
    EXPECT_EQ(panel.RowOfLayer(order[0]), 10);
    EXPECT_EQ(panel.LayerOfRow(0), order[10]);
    // Fewer layers than rows: all of them from the top.
    panel.SetClientHeight(kPanelHeight);
    for (int i = 0; i < 12; ++i) ASSERT_TRUE(Run(1553));
    panel.Refresh();
    panel.SetClientHeight(kPanelTallHeight);
    panel.Refresh();
    EXPECT_EQ(panel.FirstShown(), 0);
    EXPECT_EQ(panel.LayerCount(), 3);
    EXPECT_GE(panel.LayerOfRow(2), 0);
}

TEST_F(PanelDoc, ChangesAnywhereReachThePanelAndRebuildOnlyTheirThumbnails) {
    Start(64, 48, 3);
    const int built = panel.ThumbnailBuilds();
    EXPECT_EQ(panel.LayerCount(), 3);
    EXPECT_FALSE(panel.Pending());

    // A command of the menus: one more row and one new thumbnail.
    changes = 0;
    ASSERT_TRUE(Run(1552));
    EXPECT_EQ(changes, 1);   // one notice for the whole command
    EXPECT_TRUE(panel.Pending());
    LayersPanelModel::Refreshed r = panel.Refresh();
    EXPECT_EQ(panel.LayerCount(), 4);
    EXPECT_EQ(r.thumbnails, std::vector<int>{doc->currentLayer});
    EXPECT_EQ(panel.ThumbnailBuilds(), built + 1);
    EXPECT_TRUE(panel.Rows()[0].current);
    EXPECT_TRUE(r.history);
    EXPECT_EQ(panel.History().back().text, HistoryLine(3, doc->currentLayer, u"레이어추가"));
    EXPECT_EQ(panel.History().back().icon, 4);

    // A filter on the bottom layer: only that thumbnail.
    const int bottom = doc->headLayer;
    ASSERT_TRUE(doc->SelectLayer(bottom));
    Fill(bottom, 10, 200, 30, 255);
    ASSERT_TRUE(doc->RecordUndoStep(u"채우기", UndoLayerChanged, bottom));
    panel.Refresh();
    ASSERT_TRUE(Run(1413));   // 반전변환
    r = panel.Refresh();
    EXPECT_EQ(r.thumbnails, std::vector<int>{bottom});
    EXPECT_EQ(panel.ThumbnailOf(bottom).rgb[1], 255 - 200);

    // Notices that change no layer leave every thumbnail alone.
    doc->Host().UpdateViews(*doc, true);
    doc->Host().RefreshLayersPanel(*doc);
    r = panel.Refresh();
    EXPECT_TRUE(r.thumbnails.empty());
    EXPECT_TRUE(r.rows);

    // Undo brings back the bottom layer's pixels and its thumbnail only.
    ASSERT_TRUE(doc->Undo());
    r = panel.Refresh();
    EXPECT_EQ(r.thumbnails, std::vector<int>{bottom});
    EXPECT_EQ(panel.ThumbnailOf(bottom).rgb[1], 200);
    EXPECT_TRUE(panel.History().back().undone);
    EXPECT_FALSE(panel.History()[size_t(doc->undoPos)].undone);
}

TEST_F(PanelDoc, RowButtonsBlendAndFadeChangeTheDocumentWithoutSteps) {
    Start(20, 10, 2);
    const int top = panel.LayerOfRow(0), below = panel.LayerOfRow(1);
    const int steps = doc->undoPos;
    doc->modified = false;
    ASSERT_TRUE(panel.ToggleVisible(1));
    EXPECT_EQ(doc->Layer(below).visible, 0);
    EXPECT_TRUE(panel.Pending());
    panel.Refresh();
    EXPECT_FALSE(panel.Rows()[1].visible);
    EXPECT_TRUE(doc->modified);
    EXPECT_TRUE(doc->viewRebuild);
    ASSERT_TRUE(panel.ToggleVisible(1));
    EXPECT_EQ(doc->Layer(below).visible, 1);

    ASSERT_TRUE(panel.PressRow(0));
    EXPECT_EQ(doc->currentLayer, top);
    EXPECT_TRUE(panel.SetBlendIndex(4));
    EXPECT_EQ(doc->Layer(top).blendMode, 5);   // "밝은혼합"
    EXPECT_TRUE(panel.SetBlendIndex(0));
    EXPECT_EQ(doc->Layer(top).blendMode, 0);   // "표준상태"
    EXPECT_FALSE(panel.SetBlendIndex(9));
    EXPECT_TRUE(panel.SetOpacity(300));
    EXPECT_EQ(doc->Layer(top).transparency, 255);
    EXPECT_TRUE(panel.SetOpacity(90));
    panel.Refresh();
    EXPECT_EQ(panel.OpacityShown(), 90);
    EXPECT_EQ(panel.BlendIndexShown(), 0);
    EXPECT_EQ(doc->undoPos, steps);   // none of these is an undo step

    // The edit button opens the editor of text layers only.
    bool editor = true;
    ASSERT_TRUE(panel.EditRow(1, editor));
    EXPECT_FALSE(editor);
    ASSERT_TRUE(Step("text", "2,2,10,000000:A"));
    panel.Refresh();
    const int textRow = panel.RowOfLayer(doc->currentLayer);
    ASSERT_GE(textRow, 0);
    ASSERT_TRUE(panel.EditRow(textRow, editor));
    EXPECT_TRUE(editor);
    EXPECT_EQ(panel.Rows()[size_t(textRow)].tag, "[글]");
    EXPECT_FALSE(panel.PressRow(7));   // an empty row
}

// Button 1549 copies the whole current layer even while a part of it is
// selected (the copy button takes only the part), and a paste gives a new
// layer equal to it.
TEST_F(PanelDoc, TheWholeLayerButtonCopiesEveryPixelForAPaste) {
    Start(24, 16, 2);
    const int top = panel.LayerOfRow(0);
    LayerRecord& L = doc->Layer(top);
    for (int row = 0; row < L.height; ++row)
        for (int x = 0; x < L.width; ++x) {
            uint8_t* p = L.PixelRow(row) + 3 * x;
            p[0] = uint8_t(10 * x), p[1] = uint8_t(15 * row), p[2] = uint8_t(x ^ row);
            L.alpha[size_t(row) * size_t(L.width) + size_t(x)] = 255;
        }
    const PanelButton* b = nullptr;
    for (const PanelButton& c : Buttons())
        if (std::string(c.name) == "레이어 전체 영상을 복사") b = &c;
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(ButtonAt(b->x + 3, b->y + 3, true), b);
    EXPECT_EQ(ButtonAt(b->x + 3, b->y + 3, false), nullptr);   // not on the history page
    ASSERT_EQ(b->command, 4604);

    ASSERT_TRUE(Step("rect", "2,2,9,7"));
    ASSERT_TRUE(Run(57634));
    BitmapInfoHeader part;
    ASSERT_GE(host.clipboard.size(), sizeof part);
    std::memcpy(&part, host.clipboard.data(), sizeof part);
    EXPECT_LT(part.width, 24);   // the plain copy takes the selected part

    ASSERT_TRUE(Step("rect", "2,2,9,7"));
    ASSERT_TRUE(Run(b->command));
    BitmapInfoHeader whole;
    std::memcpy(&whole, host.clipboard.data(), sizeof whole);
    EXPECT_EQ(whole.width, 24);
    EXPECT_EQ(std::abs(whole.height), 16);

    const int layers = panel.LayerCount(), steps = doc->undoPos;
    ASSERT_TRUE(Run(57637));
    panel.Refresh();
    EXPECT_EQ(panel.LayerCount(), layers + 1);
    EXPECT_EQ(doc->undoPos, steps + 1);
    const int pasted = doc->currentLayer;
    ASSERT_NE(pasted, top);
    EXPECT_EQ(panel.LayerOfRow(0), pasted);   // above the copied layer, shown at the top
    const LayerRecord& P = doc->Layer(pasted);
    ASSERT_EQ(P.width, L.width);
    ASSERT_EQ(P.height, L.height);
    EXPECT_EQ(P.x, L.x);
    EXPECT_EQ(P.y, L.y);
    int differ = 0;
    for (int row = 0; row < L.height; ++row) {
        differ += std::memcmp(P.PixelRow(row), L.PixelRow(row), size_t(L.width) * 3) != 0;
        differ += std::memcmp(P.AlphaRow(row), L.AlphaRow(row), size_t(L.width)) != 0;
    }
    EXPECT_EQ(differ, 0);
}

TEST_F(PanelDoc, DraggingARowReordersTheStackAsOneUndoStep) {
    Start(20, 10, 4);
    panel.SetClientHeight(400);   // four rows
    panel.Refresh();
    const std::vector<int> before = RowLayers();   // top first
    const int steps = doc->undoPos;
    ASSERT_TRUE(panel.PressRow(0));
    // Dropping on its own row records nothing.
    EXPECT_FALSE(panel.DropOnRow(0, 0));
    EXPECT_EQ(doc->undoPos, steps);
    // Only the layer pressed (the current one) moves.
    EXPECT_FALSE(panel.DropOnRow(1, 2));
    ASSERT_TRUE(panel.DropOnRow(0, 2));
    panel.Refresh();
    EXPECT_EQ(RowLayers()[2], before[0]);
    EXPECT_EQ(RowLayers()[0], before[1]);
    EXPECT_EQ(RowLayers()[1], before[2]);
    EXPECT_EQ(doc->undoPos, steps + 1);
    EXPECT_EQ(LastLabel(), u"레이어 위치 이동");
    EXPECT_EQ(panel.History().back().icon, 0);

    // Upwards, from the bottom row to the top.
    ASSERT_TRUE(panel.PressRow(3));
    ASSERT_TRUE(panel.DropOnRow(3, 0));
    panel.Refresh();
    EXPECT_EQ(RowLayers()[0], before[3]);
    EXPECT_EQ(doc->headLayer, RowLayers()[3]);
    for (int s : doc->StackOrder()) EXPECT_TRUE(doc->InStack(s));
    EXPECT_EQ(doc->LayerCount(), 4);

    // Undo puts both moves back, redo the first again.
    ASSERT_TRUE(doc->Undo());
    ASSERT_TRUE(doc->Undo());
    panel.Refresh();
    EXPECT_EQ(RowLayers(), before);
    ASSERT_TRUE(doc->Redo());
    panel.Refresh();
    EXPECT_EQ(RowLayers()[2], before[0]);
}

TEST_F(PanelDoc, HistoryRangeUndoesBackToTheLineBeforeIt) {
    Start(20, 10);
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(Run(1552));
    panel.Refresh();
    ASSERT_EQ(panel.History().size(), 5u);
    EXPECT_EQ(panel.History()[0].text, HistoryLine(0, 0, u"Opening...."));
    EXPECT_EQ(panel.History()[0].icon, 19);
    EXPECT_EQ(panel.SelectionFrom(2), std::make_pair(2, 4));
    EXPECT_EQ(panel.SelectionFrom(7), std::make_pair(-1, -1));
    EXPECT_EQ(panel.UndoCountFor(-1), 1);
    EXPECT_EQ(panel.UndoCountFor(4), 1);
    EXPECT_EQ(panel.UndoCountFor(2), 3);
    EXPECT_EQ(panel.UndoCountFor(0), 4);   // the first picture cannot be undone

    changes = 0;
    ASSERT_TRUE(panel.UndoFrom(2));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(doc->undoPos, 1);
    EXPECT_EQ(doc->LayerCount(), 2);
    panel.Refresh();
    EXPECT_EQ(panel.History().size(), 5u);   // the undone lines stay for redo
    EXPECT_EQ(panel.UndoCountFor(3), 1);     // undone lines: one step
    ASSERT_TRUE(panel.RedoOne());
    EXPECT_EQ(doc->LayerCount(), 3);
    ASSERT_TRUE(panel.UndoFrom(0));
    EXPECT_EQ(doc->undoPos, 0);
    EXPECT_FALSE(panel.UndoFrom(0));
}

TEST_F(PanelDoc, AClosedDocumentLeavesThePanelEmpty) {
    Start(20, 10, 2);
    changes = 0;
    doc.reset();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(panel.Doc(), nullptr);
    panel.Refresh();
    EXPECT_EQ(panel.LayerCount(), 0);
    for (const RowView& r : panel.Rows()) EXPECT_EQ(r.layer, -1);
    EXPECT_TRUE(panel.History().empty());
    EXPECT_FALSE(panel.PressRow(0));
    EXPECT_FALSE(panel.SetOpacity(3));
    EXPECT_FALSE(panel.UndoFrom(-1));
    EXPECT_TRUE(panel.HeaderText().empty());
}

TEST_F(PanelDoc, FollowingAnotherDocumentLeavesTheFirst) {
    Start(20, 10, 2);
    HeadlessHost other;
    other.echoMessages = false;
    other.journalFolder = dir.Path() + "/";
    CVexoDoc second(&other);
    ASSERT_TRUE(second.NewImage(30, 20));
    panel.Show(&second);
    panel.Refresh();
    EXPECT_EQ(panel.LayerCount(), 1);
    EXPECT_EQ(panel.HeaderText(), "24 비트 72 dpi");
    changes = 0;
    ASSERT_TRUE(Run(1552));   // the first document's change is not the panel's
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(panel.Pending());
}

// --- the change notice itself ------------------------------------------------------------------

namespace {
struct Recorder : DocObserver {
    std::vector<DocChange> seen;
    std::function<void()> also;
    void DocumentChanged(CVexoDoc&, const DocChange& c) override {
        seen.push_back(c);
        if (also) also();
    }
};
}  // namespace

TEST(ChangeNotice, BatchesMergeAndRevisionsNameTheirLayer) {
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(8, 8));
    Recorder rec;
    doc.AddObserver(&rec);
    doc.AddObserver(&rec);   // once only

    const uint64_t r0 = doc.LayerRevision(0), r1 = doc.LayerRevision(1);
    doc.Notify(docchange::Pixels, 0);
    ASSERT_EQ(rec.seen.size(), 1u);
    EXPECT_EQ(rec.seen[0].layer, 0);
    EXPECT_GT(doc.LayerRevision(0), r0);
    EXPECT_EQ(doc.LayerRevision(1), r1);

    rec.seen.clear();
    {
        ChangeBatch outer(doc);
        doc.Notify(docchange::Layers);
        {
            ChangeBatch inner(doc);
            doc.Notify(docchange::Pixels, 3);
        }
        EXPECT_TRUE(rec.seen.empty());
        doc.Notify(docchange::Pixels, 3);
    }
    ASSERT_EQ(rec.seen.size(), 1u);
    EXPECT_EQ(rec.seen[0].what, unsigned(docchange::Layers | docchange::Pixels));
    EXPECT_EQ(rec.seen[0].layer, 3);

    rec.seen.clear();
    {
        ChangeBatch b(doc);
        doc.Notify(docchange::Pixels, 3);
        doc.Notify(docchange::Pixels, 5);
    }
    ASSERT_EQ(rec.seen.size(), 1u);
    EXPECT_EQ(rec.seen[0].layer, -1);   // two layers: the revisions tell which
    const uint64_t all = doc.LayerRevision(7);
    doc.Notify(docchange::Pixels, -1);
    EXPECT_GT(doc.LayerRevision(7), all);
    EXPECT_EQ(doc.LayerRevision(7), doc.LayerRevision(39));

    // An observer that leaves during a notice is not called again, and one
    // that joins then waits for the next notice.
    Recorder late;
    rec.seen.clear();
    rec.also = [&] {
        doc.RemoveObserver(&rec);
        doc.AddObserver(&late);
    };
    doc.Notify(docchange::Journal);
    doc.Notify(docchange::Journal);
    EXPECT_EQ(rec.seen.size(), 1u);
    EXPECT_EQ(late.seen.size(), 1u);
    doc.Notify(0);   // nothing changed: no notice
    EXPECT_EQ(late.seen.size(), 1u);
    doc.RemoveObserver(&late);
}

TEST(ChangeNotice, CommandsAndUndoSayWhatTheyChanged) {
    testsupport::TempDir dir;
    HeadlessHost host;
    host.echoMessages = false;
    host.journalFolder = dir.Path() + "/";
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(8, 8));
    ASSERT_TRUE(doc.RecordUndoStep(u"Opening....", 0, -1));
    Recorder rec;
    doc.AddObserver(&rec);
    auto merged = [&] {
        DocChange m;
        for (const DocChange& c : rec.seen) m.what |= c.what;
        rec.seen.clear();
        return m;
    };
    ASSERT_TRUE(doc.AddLayer());
    ASSERT_TRUE(doc.AddLayer());
    EXPECT_TRUE(merged().Has(docchange::Layers | docchange::Pixels | docchange::Journal));
    const int added = doc.currentLayer;
    ASSERT_TRUE(doc.SetLayerVisible(added, false));
    DocChange m = merged();
    EXPECT_TRUE(m.Has(docchange::Layers));
    EXPECT_FALSE(m.Has(docchange::Pixels | docchange::Journal));
    ASSERT_TRUE(doc.MagicWand(1, 1, 10, false));
    EXPECT_TRUE(merged().Has(docchange::Selection));
    const uint64_t before = doc.LayerRevision(added);
    ASSERT_TRUE(doc.Undo());
    m = merged();
    EXPECT_TRUE(m.Has(docchange::Journal));
    EXPECT_TRUE(m.Has(docchange::Layers));
    // Undoing the added layer reads no layer back.
    EXPECT_EQ(doc.LayerRevision(added), before);
    // An undo after a save leaves a picture that differs from the file.
    doc.modified = false;
    ASSERT_TRUE(doc.Redo());
    EXPECT_TRUE(doc.modified);
    doc.modified = false;
    ASSERT_TRUE(doc.Undo());
    EXPECT_TRUE(doc.modified);

    // The document's end is said to everyone watching it.
    Recorder* watching = &rec;
    {
        CVexoDoc gone(&host);
        gone.AddObserver(watching);
    }
    ASSERT_FALSE(rec.seen.empty());
    EXPECT_TRUE(rec.seen.back().Has(docchange::Closing));
    doc.RemoveObserver(&rec);
}
