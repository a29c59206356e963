// The document's open and save against hostile use: inputs that are not
// files, save failures and their messages, the second native name "sco",
// and compositing of canvases too wide or too tall for one pass.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "CVexoDoc.h"
#include "commands.h"
#include "test_support.h"

using testsupport::ReadBytes;
using testsupport::TempDir;

namespace {

struct DocTest : ::testing::Test {
    TempDir dir;
    HeadlessHost host;
    void SetUp() override {
        host.echoMessages = false;
        host.journalFolder = dir.Path() + "/";
    }
    std::string Last() const { return host.messages.empty() ? std::string() : host.messages.back(); }
};

void SavePicture(const std::string& path, int w, int h) {
    VaZavi img(24, w, h, kTypeBMP);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = img.Row(y) + 3 * x;
            p[0] = uint8_t(x * 5), p[1] = uint8_t(y * 9), p[2] = uint8_t(x + y);
        }
    ASSERT_TRUE(img.Save(path.c_str(), kTypeBMP));
}

}  // namespace

// A FIFO or a folder named like a picture is refused with a message and the
// open document stays.
TEST_F(DocTest, OpenRefusesWhatIsNotAFile) {
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(3, 2));
    ASSERT_EQ(mkfifo(dir.File("p.bmp").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo(dir.File("p.vor").c_str(), 0644), 0);
    ASSERT_EQ(mkdir(dir.File("d.jpg").c_str(), 0755), 0);
    for (const char* name : {"p.bmp", "p.vor", "d.jpg"}) {
        host.messages.clear();
        EXPECT_FALSE(doc.Open(dir.File(name))) << name;
        EXPECT_EQ(Last(), "일반 파일이 아니어서 열 수 없습니다.") << name;
        EXPECT_EQ(doc.lastError.rfind("일반 파일이 아니어서 열 수 없습니다.", 0), 0u);
        EXPECT_EQ(doc.live.canvas.width, 3);
    }
}

// Every save failure says why, in the message box and in lastError, and the
// replaced file stays as it was.
TEST_F(DocTest, SaveFailuresSayWhy) {
    SavePicture(dir.File("a.bmp"), 12, 8);
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.Open(dir.File("a.bmp")));
    for (const char* name : {"missing/x.vor", "missing/x.bmp", "missing/x.jpg"}) {
        host.messages.clear();
        EXPECT_FALSE(doc.Save(dir.File(name))) << name;
        EXPECT_NE(doc.lastError.find(std::strerror(ENOENT)), std::string::npos) << doc.lastError;
        EXPECT_EQ(Last(), "파일을 저장하지 못했습니다: " + doc.lastError);
    }
    for (const char* name : {"ro.vor", "ro.gif", "ro.tif"}) {
        testsupport::WriteBytes(dir.File(name), {1, 2, 3});
        ASSERT_EQ(chmod(dir.File(name).c_str(), 0444), 0);
        EXPECT_FALSE(doc.Save(dir.File(name))) << name;
        EXPECT_EQ(doc.lastError, "쓰기 금지된 파일입니다") << name;
        EXPECT_EQ(Last(), "파일을 저장하지 못했습니다: 쓰기 금지된 파일입니다");
        EXPECT_EQ(ReadBytes(dir.File(name)), (std::vector<uint8_t>{1, 2, 3}));
    }
    // The document is still savable and unchanged by the failures.
    ASSERT_TRUE(doc.Save(dir.File("ok.vor")));
    CVexoDoc back(&host);
    ASSERT_TRUE(back.Open(dir.File("ok.vor")));
    EXPECT_EQ(back.live.canvas.width, 12);
}

// "sco" is written as VOR and read as VOR; a picture already in memory opens
// as the same one-layer document a file of it opens as.
TEST_F(DocTest, ScoAndPicturesInMemory) {
    SavePicture(dir.File("a.bmp"), 9, 7);
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.Open(dir.File("a.bmp")));
    ASSERT_TRUE(commands::All().Find(1552)->run(doc, {}));
    ASSERT_TRUE(doc.Save(dir.File("two.sco")));
    ASSERT_TRUE(doc.Save(dir.File("two.vor")));
    EXPECT_EQ(ReadBytes(dir.File("two.sco")), ReadBytes(dir.File("two.vor")));
    CVexoDoc back(&host);
    ASSERT_TRUE(back.Open(dir.File("two.sco")));
    EXPECT_EQ(back.LayerCount(), 2);
    EXPECT_EQ(back.StackOrder(), doc.StackOrder());

    VaZavi picture;
    ASSERT_TRUE(picture.Load(dir.File("a.bmp").c_str(), kTypeBMP));
    CVexoDoc fromMemory(&host);
    ASSERT_TRUE(fromMemory.OpenPicture(picture, dir.File("a.bmp")));
    CVexoDoc fromFile(&host);
    ASSERT_TRUE(fromFile.Open(dir.File("a.bmp")));
    ASSERT_TRUE(fromMemory.Save(dir.File("m.vor")));
    ASSERT_TRUE(fromFile.Save(dir.File("f.vor")));
    EXPECT_EQ(ReadBytes(dir.File("m.vor")), ReadBytes(dir.File("f.vor")));
    VaZavi none;
    EXPECT_FALSE(fromMemory.OpenPicture(none, "x"));
    EXPECT_EQ(fromMemory.live.canvas.width, 9);
}

// A canvas wider or taller than one compositing tile gives the same
// composite as one pass over the whole canvas: two layers, one offset and
// half transparent, one in a blend mode.
TEST_F(DocTest, TiledCompositeEqualsOnePass) {
    for (auto [w, h] : {std::pair{70001, 3}, std::pair{5, 9000}}) {
        CVexoDoc doc(&host);
        ASSERT_TRUE(doc.NewImage(w, h));
        LayerRecord& base = doc.Layer(doc.headLayer);
        for (int r = 0; r < h; ++r)
            for (int x = 0; x < w; ++x) {
                uint8_t* p = base.PixelRow(r) + 3 * x;
                p[0] = uint8_t(x * 3 + r), p[1] = uint8_t(x >> 4), p[2] = uint8_t(r * 7);
            }
        ASSERT_TRUE(doc.AddLayer());
        LayerRecord& top = doc.Layer(doc.currentLayer);
        for (int r = 0; r < top.height; ++r)
            for (int x = 0; x < top.width; ++x) {
                top.AlphaRow(r)[x] = uint8_t((x + r) % 3 ? 128 : 0);
                uint8_t* p = top.PixelRow(r) + 3 * x;
                p[0] = uint8_t(x ^ r), p[1] = 200, p[2] = uint8_t(x * 11);
            }
        top.x = 7;
        top.y = -2;
        top.blendMode = 3;
        std::vector<uint8_t> tiled(size_t(w) * h * 4), whole(tiled.size());
        doc.CompositeRun(doc.headLayer, -1, tiled.data());
        const ptrdiff_t stride = ptrdiff_t(w) * 4;
        doc.CompositeRect(doc.headLayer, -1, 1.0, 0, 0, w, h, whole.data() + stride * (h - 1), -stride);
        EXPECT_EQ(tiled, whole) << w << " x " << h;
        // Pixels of the second tile were drawn (full alpha from the base layer).
        EXPECT_EQ(w > 65536 ? tiled[size_t(stride) * (h - 1) + 4 * 65540 + 3] : tiled[size_t(stride) * 5000 + 3], 255);
    }
}
