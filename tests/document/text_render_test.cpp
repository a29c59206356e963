// The text renderer: face mapping, coverage where glyphs are, styles.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "layer_set.h"
#include "text_render.h"

using namespace textrender;

namespace {

struct Canvas {
    int w, h;
    std::vector<uint8_t> px;
    Canvas(int width, int height) : w(width), h(height), px(size_t(width) * height, 0) {}
    Plane plane() { return Plane{px.data(), w, h, w, false}; }
    uint8_t at(int x, int y) const { return px[size_t(y) * w + x]; }
    long sum() const {
        long s = 0;
        for (uint8_t v : px) s += v;
        return s;
    }
    // Count of pixels with any coverage.
    int covered() const { return int(std::count_if(px.begin(), px.end(), [](uint8_t v) { return v != 0; })); }
};

FontSpec Font(const char* face, int size) {
    FontSpec f;
    f.face = Utf8ToUtf16(face);
    f.size = size;
    return f;
}

}  // namespace

TEST(TextRender, WindowsFacesMapToInstalledFonts) {
    EXPECT_EQ(MapFaceName(u"굴림"), "NanumGothic");
    EXPECT_EQ(MapFaceName(u"돋움"), "NanumGothic");
    EXPECT_EQ(MapFaceName(u"바탕"), "NanumMyeongjo");
    EXPECT_EQ(MapFaceName(u"궁서"), "NanumMyeongjo");
    EXPECT_EQ(MapFaceName(u"Times New Roman"), "Nimbus Roman");
    EXPECT_EQ(MapFaceName(u"@Arial"), "Nimbus Sans");   // vertical-writing prefix dropped
    EXPECT_NE(ResolveFontFile(u"굴림", false, false).find("NanumGothic"), std::string::npos);
    EXPECT_NE(ResolveFontFile(u"굴림", true, false).find("NanumGothicBold"), std::string::npos);
    EXPECT_NE(ResolveFontFile(u"바탕", false, false).find("NanumMyeongjo"), std::string::npos);
    EXPECT_FALSE(ResolveFontFile(u"Times New Roman", false, false).empty());
}

TEST(TextRender, HangulCoversPixelsInsideItsExtent) {
    const FontSpec f = Font("굴림", 32);
    const std::u16string text = Utf8ToUtf16("가나다 한글");
    Extent e;
    ASSERT_TRUE(MeasureLine(f, text, e));
    EXPECT_GT(e.width, 5 * 20);                 // six syllable widths, roughly
    EXPECT_GE(e.lineHeight, 32);
    EXPECT_GT(e.ascent, 0);
    EXPECT_LT(e.ascent, e.lineHeight);

    Canvas c(e.width + 40, e.lineHeight + 40);
    ASSERT_TRUE(DrawLine(f, text, 20, 20, c.plane()));
    EXPECT_GT(c.covered(), 500);
    int full = 0;
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x) {
            if (!c.at(x, y)) continue;
            full += c.at(x, y) == 255;
            EXPECT_TRUE(x >= 20 && x < 20 + e.width && y >= 20 && y < 20 + e.lineHeight) << x << "," << y;
        }
    EXPECT_GT(full, 100);   // solid stroke interiors

    // The same text draws the same coverage every time.
    Canvas again(c.w, c.h);
    DrawLine(f, text, 20, 20, again.plane());
    EXPECT_EQ(again.px, c.px);
}

TEST(TextRender, StylesAndWidthRatio) {
    const std::u16string text = Utf8ToUtf16("글자 Text");
    FontSpec regular = Font("굴림", 28);
    FontSpec bold = regular;
    bold.bold = true;
    Canvas a(400, 60), b(400, 60);
    DrawLine(regular, text, 0, 0, a.plane());
    DrawLine(bold, text, 0, 0, b.plane());
    EXPECT_GT(b.sum(), a.sum() * 11 / 10);

    // A synthetic bold (Nanum Myeongjo Bold exists; a Latin face without a
    // bold member is emboldened) and an italic both change the coverage.
    FontSpec italic = regular;
    italic.italic = true;
    Canvas i(400, 60);
    DrawLine(italic, text, 0, 0, i.plane());
    EXPECT_NE(i.px, a.px);

    // Half the width ratio: about half the advance.
    FontSpec narrow = regular;
    narrow.widthScale10 = 5;
    Extent wide, thin;
    MeasureLine(regular, text, wide);
    MeasureLine(narrow, text, thin);
    EXPECT_NEAR(thin.width, wide.width / 2, 3);
    EXPECT_EQ(thin.lineHeight, wide.lineHeight);
}

TEST(TextRender, UnderlineAndStrikeoutRows) {
    FontSpec f = Font("굴림", 30);
    const std::u16string text = Utf8ToUtf16("밑줄");
    Extent e;
    MeasureLine(f, text, e);
    auto fullRows = [&](const Canvas& c) {
        std::vector<int> rows;
        for (int y = 0; y < c.h; ++y) {
            bool all = true;
            for (int x = 10; x < 10 + e.width && all; ++x) all = c.at(x, y) == 255;
            if (all) rows.push_back(y);
        }
        return rows;
    };
    Canvas plain(e.width + 20, e.lineHeight + 20);
    DrawLine(f, text, 10, 10, plain.plane());
    EXPECT_TRUE(fullRows(plain).empty());

    f.underline = true;
    Canvas under(plain.w, plain.h);
    DrawLine(f, text, 10, 10, under.plane());
    auto u = fullRows(under);
    ASSERT_FALSE(u.empty());
    EXPECT_GE(u.front(), 10 + e.ascent);   // below the baseline
    EXPECT_LT(u.back(), 10 + e.lineHeight);

    f.underline = false;
    f.strikeout = true;
    Canvas strike(plain.w, plain.h);
    DrawLine(f, text, 10, 10, strike.plane());
    auto s = fullRows(strike);
    ASSERT_FALSE(s.empty());
    EXPECT_LT(s.back(), 10 + e.ascent);    // above the baseline
    EXPECT_GT(s.front(), 10 + e.ascent / 3);
}

TEST(TextRender, ClipsAtThePlaneAndSurvivesHostileValues) {
    FontSpec f = Font("굴림", 40);
    Canvas c(30, 20);
    // Partly and wholly outside: no writes outside the buffer (checked by the
    // sanitizer build), coverage only where the plane is.
    EXPECT_TRUE(DrawLine(f, Utf8ToUtf16("가나다라"), -25, -15, c.plane()));
    EXPECT_GT(c.covered(), 0);
    Canvas far(30, 20);
    EXPECT_TRUE(DrawLine(f, Utf8ToUtf16("가나다라"), 5000, -5000, far.plane()));
    EXPECT_EQ(far.covered(), 0);

    // Sizes and ratios far out of range are limited, unknown faces fall back,
    // lone surrogates and control characters draw nothing harmful.
    f.size = 1 << 30;
    f.widthScale10 = -7;
    f.face = u"No Such Face 123";
    Extent e;
    EXPECT_TRUE(MeasureLine(f, std::u16string(u"a\xD800\x01\x7F b"), e));
    EXPECT_LE(e.lineHeight, 2 * kMaxFontSize);
    Canvas small(64, 64);
    EXPECT_TRUE(DrawLine(f, std::u16string(u"\xDC00한"), 0, 0, small.plane()));
}

TEST(TextRender, BottomUpPlanesPutTheFirstRowAtTheTop) {
    FontSpec f = Font("굴림", 20);
    f.underline = true;
    std::vector<uint8_t> buf(100 * 40, 0);
    Plane p{buf.data(), 100, 40, 100, true};
    DrawLine(f, u"__", 0, 0, p);
    // Everything lies in the top half, i.e. in the upper stored rows.
    for (int stored = 0; stored < 15; ++stored)
        for (int x = 0; x < 100; ++x) EXPECT_EQ(buf[size_t(stored) * 100 + x], 0);
}
