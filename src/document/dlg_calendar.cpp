// Calendar: arithmetic, preview text and the calendar layer.
#include "dlg_calendar.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "CVexoDoc.h"
#include "command_frame.h"
#include "commands.h"
#include "text_render.h"
#include "undo_journal.h"

namespace dlg {

namespace {

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
// Leap years in 1..n (negative n: minus those in n+1..0).
int64_t LeapsUpTo(int64_t n) { return FloorDiv(n, 4) - FloorDiv(n, 100) + FloorDiv(n, 400); }
// Leap years in a..b (a <= b).
int64_t LeapsIn(int64_t a, int64_t b) { return a > b ? 0 : LeapsUpTo(b) - LeapsUpTo(a - 1); }
int Mod7(int64_t v) { return int(((v % 7) + 7) % 7); }

}  // namespace

bool IsLeapYear(int64_t y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

int DaysInMonth(int64_t year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

int FirstWeekday(int64_t year, int month) {
    // 1 January: one day later per year, two after a leap year (counted in
    // closed form so that any typed year answers at once).
    int64_t shift;
    if (year >= 1995) shift = -1 + (year - 1994) + LeapsIn(1995, year - 1);
    else shift = -((1995 - year) + LeapsIn(year, 1994));
    for (int m = 1; m < month && m <= 12; ++m) shift += DaysInMonth(year, m);
    return Mod7(shift);
}

std::string BuildCalendarText(int64_t year, int month) {
    char buf[96];
    std::string s;
    std::snprintf(buf, sizeof buf, "\r\n        %4lld년 %2d월 \r\n", static_cast<long long>(year), month);
    s += buf;
    s += "\r\n    일 월 화 수 목 금 토\r\n";
    s += "  ";
    const int first = FirstWeekday(year, month);
    for (int i = 0; i < first; ++i) s += "   ";
    const int days = DaysInMonth(year, month);
    for (int d = 1; d <= days; ++d) {
        std::snprintf(buf, sizeof buf, "%3d", d);
        s += buf;
        if ((first + d) % 7 == 0) s += "\r\n  ";
    }
    return s;
}

void CalendarModel::Init(int64_t y, int m) {
    year = y;
    month = std::clamp(m, 1, 12);
    text = BuildCalendarText(year, month);
}
void CalendarModel::SpinMonth(int delta) {
    month += delta <= 0 ? 1 : -1;
    if (month > 12) month = 1;
    if (month < 1) month = 12;
    text = BuildCalendarText(year, month);
}
void CalendarModel::SpinYear(int delta) {
    year = std::max<int64_t>(1, year + (delta <= 0 ? 1 : -1));
    text = BuildCalendarText(year, month);
}
void CalendarModel::SetYear(int64_t y) {
    year = y;
    text = BuildCalendarText(year, month);
}
void CalendarModel::SetMonth(int m) {
    month = std::clamp(m, 1, 12);
    text = BuildCalendarText(year, month);
}
int CalendarModel::Size() const { return std::atoi(sizeText.c_str()); }
int CalendarModel::DrawHeight() const { return Size() >= 2 ? Size() + 8 : 10; }
int CalendarModel::CellUnit() const { return DrawHeight() + DrawHeight() / 4; }

bool DrawCalendarLayer(CVexoDoc& doc, const CalendarModel& m) {
    if (!doc.CurrentLayerPtr()) return false;
    const int W = doc.live.canvas.width, H = doc.live.canvas.height;
    const int x0 = W / 2, y0 = H / 2;
    textrender::FontSpec font;
    font.face = m.face;
    font.size = std::clamp(m.DrawHeight(), textrender::kMinFontSize, textrender::kMaxFontSize);
    font.bold = m.style.find("Bold") != std::string::npos;
    font.italic = m.style == "Italic" || m.style == "Bold Italic";
    // The preview text's extent: the widest line, the lines' heights.
    int textW = 0, textH = 0;
    {
        std::stringstream ss(m.text.empty() ? BuildCalendarText(m.year, m.month) : m.text);
        std::string line;
        while (std::getline(ss, line, '\n')) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            textrender::Extent e;
            if (textrender::MeasureLine(font, Utf8ToUtf16(line), e)) textW = std::max(textW, e.width);
            textH += e.lineHeight > 0 ? e.lineHeight : font.size;
        }
    }
    const int lw = std::max(W, x0 + textW), lh = std::max(H, y0 + textH);
    if (int64_t(lw) * lh > kMaxImagePixels) return false;
    const int below = doc.currentLayer;
    if (!doc.InsertLayer(-1, below)) return false;
    const int slot = doc.currentLayer;
    LayerRecord& L = doc.Layer(slot);
    if (L.width != lw || L.height != lh) {
        const int bpp = doc.live.canvas.bitsPerPixel > 0 ? doc.live.canvas.bitsPerPixel : 24;
        const std::u16string name = GetFixedText(L.name, 100);
        if (!doc.SetupLayerBuffers(lh, lw, name, doc.live.canvas.colorFormat, bpp, doc.live.canvas.paletteColors, 0,
                                   slot, L.x, L.y, 2, W, H, 0, L.tag, L.kind, L.link, false)) {
            doc.DeleteLayer(slot, false);
            return false;
        }
    }
    char name[32];
    std::snprintf(name, sizeof name, " [달력]%2d월", m.month);
    doc.RenameLayer(Utf8ToUtf16(name));
    L.textColor[0] = m.b, L.textColor[1] = m.g, L.textColor[2] = m.r;

    // Coverage of every string, then the colour where it covers.
    std::vector<uint8_t> cover(size_t(L.width) * size_t(L.height), 0);
    textrender::Plane plane{cover.data(), L.width, L.height, L.width, true};
    const int K = m.CellUnit();
    char buf[64];
    std::snprintf(buf, sizeof buf, "%lld년 %d월", static_cast<long long>(m.year), m.month);
    bool drawn = textrender::DrawLine(font, Utf8ToUtf16(buf), x0, y0, plane);
    static const char16_t* names[7] = {u"일", u"월", u"화", u"수", u"목", u"금", u"토"};
    for (int i = 0; i < 7; ++i) textrender::DrawLine(font, names[i], x0 + i * K, y0 + K, plane);
    const int first = FirstWeekday(m.year, m.month), days = DaysInMonth(m.year, m.month);
    int col = first, row = 2;
    for (int d = 1; d <= days; ++d) {
        std::snprintf(buf, sizeof buf, "%d", d);
        textrender::DrawLine(font, Utf8ToUtf16(buf), x0 + K * col + (d < 10 ? K / 4 : 0), y0 + K * row, plane);
        ++col;
        if ((first + d) % 7 == 0) col = 0, ++row;
    }
    if (!drawn) doc.Host().MessageBox(textrender::LastError());
    if (doc.BeginLayerOp(slot)) {
        const bool palette = L.stride < L.width * 3;
        const uint8_t index = palette ? uint8_t(doc.NearestPaletteIndex(PackBGR(m.b, m.g, m.r))) : 0;
        for (int r = 0; r < L.height; ++r) {
            uint8_t* p = doc.scratchPixels.get() + size_t(r) * size_t(L.stride);
            uint8_t* a = doc.scratchAlpha.get() + size_t(r) * size_t(L.width);
            const uint8_t* c = cover.data() + size_t(r) * size_t(L.width);
            for (int x = 0; x < L.width; ++x) {
                if (!c[x]) continue;
                if (palette) p[x] = index;
                else p[3 * x] = m.b, p[3 * x + 1] = m.g, p[3 * x + 2] = m.r;
                a[x] = std::max(a[x], c[x]);
            }
        }
        doc.EndLayerOp(slot, true);
    }
    doc.Host().RefreshLayersPanel(doc);
    return doc.RecordUndoStep(u"[달력]", UndoLayerAdded, slot);
}

bool RunCalendarStep(CVexoDoc& doc, const std::string& args) {
    std::vector<std::string> p;
    std::stringstream ss(args);
    std::string item;
    while (std::getline(ss, item, ',')) p.push_back(item);
    if (p.size() != 2 && p.size() != 4 && p.size() != 5)
        throw std::invalid_argument("calendar:YEAR,MONTH[,SIZE,RRGGBB[,FACE]] expected: " + args);
    auto num = [](const std::string& s, long long lo, long long hi, const char* what) {
        size_t used = 0;
        long long v = 0;
        try {
            v = std::stoll(s, &used);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used == 0 || used != s.size() || v < lo || v > hi)
            throw std::invalid_argument(std::string(what) + " out of range: '" + s + "'");
        return v;
    };
    CalendarModel m;
    m.Init(num(p[0], 1, 999999, "year (1..999999)"), int(num(p[1], 1, 12, "month (1..12)")));
    if (p.size() >= 4) {
        m.sizeText = std::to_string(num(p[2], 1, 500, "size (1..500)"));
        const std::string& c = p[3];
        if (c.size() != 6 || c.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            throw std::invalid_argument("colour must be RRGGBB: '" + c + "'");
        const unsigned long v = std::strtoul(c.c_str(), nullptr, 16);
        m.r = uint8_t(v >> 16), m.g = uint8_t(v >> 8), m.b = uint8_t(v);
    }
    if (p.size() == 5) m.face = Utf8ToUtf16(p[4]);
    return DrawCalendarLayer(doc, m);
}

}  // namespace dlg

namespace commands {

void RegisterCalendarCommands(Table& t) {
    t.AddNamed("calendar", [](CVexoDoc& doc, const std::string& args) { return dlg::RunCalendarStep(doc, args); });
}

}  // namespace commands
