// Calendar: weekdays, month lengths, the preview text, the spin rules and
// the calendar layer.
#include <gtest/gtest.h>

#include "CVexoDoc.h"
#include "commands.h"
#include "dlg_calendar.h"
#include "test_support.h"
#include "undo_journal.h"

TEST(Calendar, WeekdaysAndMonthLengths) {
    EXPECT_EQ(dlg::FirstWeekday(1995, 1), 0);
    EXPECT_EQ(dlg::FirstWeekday(1996, 1), 1);
    EXPECT_EQ(dlg::FirstWeekday(1994, 1), 6);
    EXPECT_EQ(dlg::FirstWeekday(2026, 12), 2);   // 1 December 2026: Tuesday
    EXPECT_EQ(dlg::FirstWeekday(2000, 3), 3);    // after a leap February
    EXPECT_EQ(dlg::FirstWeekday(1900, 1), 1);
    EXPECT_EQ(dlg::FirstWeekday(1, 1), 1);
    EXPECT_EQ(dlg::DaysInMonth(2000, 2), 29);
    EXPECT_EQ(dlg::DaysInMonth(1900, 2), 28);
    EXPECT_EQ(dlg::DaysInMonth(2100, 2), 28);
    EXPECT_EQ(dlg::DaysInMonth(2024, 4), 30);
    // Far years answer at once and agree with the 400-year cycle.
    EXPECT_EQ(dlg::FirstWeekday(1995 + 400 * 1000, 1), 0);
}

TEST(Calendar, PreviewTextOfSaturdayMonth) {
    const std::string t = dlg::BuildCalendarText(1994, 1);
    const std::string head = "\r\n        1994년  1월 \r\n\r\n    일 월 화 수 목 금 토\r\n";
    ASSERT_EQ(t.substr(0, head.size()), head);
    const std::string rows = t.substr(head.size());
    EXPECT_EQ(rows.substr(0, 2 + 18 + 3 + 4), "  " + std::string(18, ' ') + "  1\r\n  ");
    EXPECT_EQ(rows.substr(rows.size() - 6), " 30 31");
}

TEST(Calendar, SpinsAndCellUnit) {
    dlg::CalendarModel m;
    m.Init(2020, 12);
    m.SpinMonth(0);
    EXPECT_EQ(m.month, 1);
    m.SpinMonth(1);
    EXPECT_EQ(m.month, 12);
    m.Init(1, 1);
    m.SpinYear(1);
    EXPECT_EQ(m.year, 1);
    m.SpinYear(-1);
    EXPECT_EQ(m.year, 2);
    EXPECT_NE(m.text.find("   2년"), std::string::npos);
    EXPECT_EQ(m.DrawHeight(), 20);
    EXPECT_EQ(m.CellUnit(), 25);
    m.sizeText = "1";
    EXPECT_EQ(m.CellUnit(), 12);
}

TEST(Calendar, LayerNamedAfterMonthWithDrawnText) {
    testsupport::TempDir dir;
    HeadlessHost host;
    host.echoMessages = false;
    host.journalFolder = dir.Path() + "/";
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(400, 300));
    ASSERT_TRUE(doc.RecordUndoStep(u"initial state", UndoLayerChanged, -1));
    const auto* step = commands::All().FindNamed("calendar");
    EXPECT_THROW((*step)(doc, "2024,13"), std::invalid_argument);
    EXPECT_THROW((*step)(doc, "2024,3,12"), std::invalid_argument);
    ASSERT_TRUE((*step)(doc, "2024,3,12,FF0000"));
    EXPECT_EQ(doc.LayerCount(), 2);
    const LayerRecord& L = doc.Layer(doc.currentLayer);
    EXPECT_EQ(Utf16ToUtf8(GetFixedText(L.name, 100)), " [달력] 3월");
    EXPECT_EQ(Utf16ToUtf8(doc.steps[size_t(doc.undoPos)].label), "[달력]");
    // Red ink below and right of the centre only.
    int inked = 0, misplaced = 0;
    for (int r = 0; r < L.height; ++r)
        for (int c = 0; c < L.width; ++c)
            if (L.AlphaRow(r)[c]) {
                ++inked;
                const int top = L.height - 1 - r;
                if (c < 200 || top < 150 || L.PixelRow(r)[3 * c + 2] != 255 || L.PixelRow(r)[3 * c] != 0) ++misplaced;
            }
    EXPECT_GT(inked, 200);
    EXPECT_EQ(misplaced, 0);
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.LayerCount(), 1);
}
