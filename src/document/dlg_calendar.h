// Calendar (command 3379), headless: the weekday of the first day, the month
// text of the preview box, the spin rules, and the calendar layer drawn with
// the text renderer.
#pragma once

#include <cstdint>
#include <string>

class CVexoDoc;

namespace dlg {

bool IsLeapYear(int64_t year);
int DaysInMonth(int64_t year, int month);
// Weekday (0 Sunday .. 6 Saturday) of the first day of the month; weeks
// counted from 1 January 1995, a Sunday.
int FirstWeekday(int64_t year, int month);
// The preview text of the month (UTF-8, lines ending in "\r\n").
std::string BuildCalendarText(int64_t year, int month);

struct CalendarModel {
    int64_t year = 2000;
    int month = 1;
    std::string sizeText = "12";
    std::string style = "Regular";
    std::u16string face = u"굴림";
    uint8_t r = 0, g = 0, b = 0;
    std::string text;   // the preview text, rebuilt on every change

    void Init(int64_t y, int m);
    void SpinMonth(int delta);   // delta <= 0 adds 1; wraps 12 -> 1 and 1 -> 12
    void SpinYear(int delta);    // delta <= 0 adds 1; never below 1
    void SetYear(int64_t y);
    void SetMonth(int m);
    int Size() const;            // the size box as a number (0 when not one)
    int DrawHeight() const;      // g: size + 8, or 10 below size 2
    int CellUnit() const;        // K = g + g / 4
};

// OK: a new layer " [달력]%2d월" above the current one, the title, weekday
// names and day numbers drawn from the canvas centre in rows K apart; the
// step "[달력]" (type 2). False (nothing changed) when the stack is full.
bool DrawCalendarLayer(CVexoDoc& doc, const CalendarModel& m);

// "YEAR,MONTH[,SIZE,RRGGBB[,FACE]]" of the cli. Throws std::invalid_argument.
bool RunCalendarStep(CVexoDoc& doc, const std::string& args);

}  // namespace dlg
