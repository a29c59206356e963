// Lines after the font names (the updater's "KEY VALUE" settings) survive
// the editor's read and write of "RoviCon_380.ini".
#include <gtest/gtest.h>

#include "app_config.h"

TEST(Settings, UpdaterLinesAfterTheNamesAreKept) {
    AppSettings s;
    s.fontName = u"나눔";
    s.fontName2 = u"굴림";
    std::string file = config::FormatSettings(s) + "\nUpdateHost https://vandelore.example\nUpdateTimeout 5\n";
    AppSettings r;
    config::ParseSettings(file, r);
    EXPECT_EQ(r.fontName, u"나눔");
    EXPECT_EQ(r.fontName2, u"굴림");
    EXPECT_EQ(config::FormatSettings(r), file);
    // A file without them gains nothing.
    AppSettings plain;
    config::ParseSettings(config::FormatSettings(s), plain);
    EXPECT_EQ(config::FormatSettings(plain), config::FormatSettings(s));
}
