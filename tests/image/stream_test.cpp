#include <gtest/gtest.h>

#include <cstring>

#include "ImageStream.h"

TEST(ImageStream, MemoryGrowsInWholePages) {
    ImageStream s;
    std::vector<uint8_t> data(5000, 7);
    EXPECT_EQ(s.Write(data.data(), 1, data.size()), 5000u);
    EXPECT_EQ(s.Capacity(), 8192u);
    EXPECT_EQ(s.Size(), 5000);
    EXPECT_EQ(s.Tell(), 5000);
    EXPECT_EQ(s.Write(nullptr, 1, 3), 0u);
    EXPECT_EQ(s.PutChar(0x1FF), 0xFF);
    EXPECT_EQ(s.Size(), 5001);
}

TEST(ImageStream, ReadSeekTellEof) {
    const uint8_t bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    ImageStream s(bytes, sizeof bytes);
    uint8_t buf[8];
    EXPECT_EQ(s.Read(buf, 4, 2), 2u);
    EXPECT_EQ(s.Read(buf, 4, 2), 0u);   // two bytes left: 0 whole items
    EXPECT_TRUE(s.Eof());
    EXPECT_EQ(s.Seek(-3, 2), 0);
    EXPECT_EQ(s.Tell(), 7);
    EXPECT_EQ(s.Seek(-8, 1), -1);
    EXPECT_EQ(s.Seek(0, 3), -1);
    EXPECT_EQ(s.Seek(20, 0), 0);        // beyond the end is allowed; reads give 0
    EXPECT_EQ(s.Read(buf, 1, 1), 0u);
    EXPECT_EQ(s.Read(nullptr, 1, 1), 0u);
    EXPECT_EQ(s.Close(), -1);
    // Writing into a caller's block copies it first.
    s.Seek(0, 0);
    s.PutChar(42);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(s.Data()[0], 42);
    EXPECT_EQ(s.Data()[9], 9);
}

TEST(ImageStream, InvalidKindFails) {
    ImageStream s;
    s.SetKindForTest(7);
    uint8_t b = 0;
    EXPECT_EQ(s.Read(&b, 1, 1), 0u);
    EXPECT_EQ(s.Write(&b, 1, 1), 0u);
    EXPECT_EQ(s.Seek(0, 0), -1);
    EXPECT_EQ(s.Tell(), -1);
}

TEST(ImageStream, FileKind) {
    FILE* f = std::tmpfile();
    ImageStream s(f);
    EXPECT_EQ(s.Write("abcdef", 1, 6), 6u);
    EXPECT_EQ(s.Size(), 6);
    EXPECT_EQ(s.Tell(), 6);
    s.Seek(1, 0);
    char c[3] = {};
    EXPECT_EQ(s.Read(c, 1, 2), 2u);
    EXPECT_EQ(std::string(c), "bc");
    EXPECT_EQ(s.Close(), -1);   // the caller owns the file
    std::fclose(f);
}
