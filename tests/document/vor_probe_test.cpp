// VOR documents without opening them: the probe against the reader (the
// same files accepted and refused, the layer count), the flattened picture
// the browser shows, and pimlora-cli info on documents.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "CVexoDoc.h"
#include "ImageStream.h"
#include "VaZavi.h"
#include "test_support.h"
#include "vor_probe.h"

using namespace testsupport;

namespace {

// A 40 x 30 document of `layers` layers: the picture (left half red, right
// half blue) and empty layers above it.
std::string MakeVor(const TempDir& dir, const std::string& name, int layers) {
    VaZavi pic(24, 40, 30, kTypeBMP);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            uint8_t* p = pic.Row(y) + 3 * x;
            p[0] = x < 20 ? 0 : 255;
            p[1] = 0;
            p[2] = x < 20 ? 255 : 0;
        }
    EXPECT_TRUE(pic.Save(dir.File("pic.bmp").c_str(), kTypeBMP));
    HeadlessHost host;
    CVexoDoc doc(&host);
    EXPECT_TRUE(doc.Open(dir.File("pic.bmp")));
    for (int i = 1; i < layers; ++i) EXPECT_TRUE(doc.AddLayer());
    EXPECT_TRUE(doc.Save(dir.File(name)));
    return dir.File(name);
}

bool ReaderAccepts(const std::vector<uint8_t>& bytes) {
    HeadlessHost host;
    CVexoDoc doc(&host);
    ImageStream in(bytes.data(), bytes.size());
    return doc.ReadVor(in, "/x/d.vor");
}

bool ProbeAccepts(const std::vector<uint8_t>& bytes, ImageProbe& p) {
    ImageStream in(bytes.data(), bytes.size());
    return ProbeVor(in, p);
}

struct Result {
    int status;
    std::string out, err;
};
Result Cli(const TempDir& dir, const std::string& args) {
    Result r;
    r.status = testsupport::Run(std::string(PIMLORA_CLI) + " " + args + " 2>" + dir.File("err.txt"), &r.out);
    const auto e = ReadBytes(dir.File("err.txt"));
    r.err.assign(e.begin(), e.end());
    return r;
}

}  // namespace

TEST(VorProbe, CountsTheLayersTheReaderReads) {
    TempDir dir;
    for (int layers : {1, 3}) {
        const std::string file = MakeVor(dir, "d" + std::to_string(layers) + ".vor", layers);
        ImageProbe p;
        ASSERT_TRUE(ProbeVorFile(file, p)) << p.error;
        HeadlessHost host;
        CVexoDoc doc(&host);
        ASSERT_TRUE(doc.Open(file));
        EXPECT_EQ(p.frames, doc.LayerCount());
        EXPECT_EQ(p.frames, layers);
        EXPECT_EQ(p.width, 40);
        EXPECT_EQ(p.height, 30);
        EXPECT_EQ(p.bits, 24);
        EXPECT_EQ(p.colors, 0);
        EXPECT_EQ(p.type, kTypeVOR);
    }
}

TEST(VorProbe, RefusesTheFilesTheReaderRefuses) {
    TempDir dir;
    const std::vector<uint8_t> good = ReadBytes(MakeVor(dir, "g.vor", 2));
    ImageProbe p;
    ASSERT_TRUE(ProbeAccepts(good, p));
    ASSERT_TRUE(ReaderAccepts(good));
    auto both = [&](std::vector<uint8_t> bytes, const char* what) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(ProbeAccepts(bytes, p));
        EXPECT_FALSE(p.error.empty());
        EXPECT_FALSE(ReaderAccepts(bytes));
    };
    // Another version.
    std::vector<uint8_t> v = good;
    ASSERT_EQ(v[1], '4');
    v[2] = '0';
    both(v, "version 40");
    ASSERT_FALSE(ProbeAccepts(v, p));
    EXPECT_EQ(p.error, "VOR 형식의 버전이 상이함");
    // Cut short inside the last layer, and right after the canvas header.
    both(std::vector<uint8_t>(good.begin(), good.end() - 100), "last layer cut short");
    both(std::vector<uint8_t>(good.begin(), good.begin() + 300), "flattened picture cut short");
    // The first layer's link leads out of range, or back to itself. Its
    // record is found by its name, "배경영상" in UTF-16LE at offset 8.
    const std::u16string name = u"배경영상";
    const uint8_t* n = reinterpret_cast<const uint8_t*>(name.data());
    size_t record = 0;
    for (size_t i = 263; i + name.size() * 2 < good.size() && !record; ++i)
        if (std::memcmp(&good[i], n, name.size() * 2) == 0) record = i - 8;
    ASSERT_GT(record, 0u);
    ASSERT_EQ(good[record - 1], '0');   // the line "\n 0 0": slot 0
    std::vector<uint8_t> link = good;
    link[record + 212] = 77;   // next = 77
    link[record + 213] = 0;
    both(link, "link out of range");
    std::vector<uint8_t> cycle = good;
    cycle[record + 212] = 0;   // next = its own slot
    cycle[record + 213] = 0;
    both(cycle, "link to itself");
    both({}, "empty file");
    both(std::vector<uint8_t>(512, 'x'), "text");
}

TEST(VorProbe, FlattenedPictureIsTheComposite) {
    TempDir dir;
    const std::string file = MakeVor(dir, "f.vor", 2);
    VaZavi pic(kTypeBMP);
    ASSERT_TRUE(ReadVorPicture(file, pic));
    ASSERT_EQ(pic.Width(), 40);
    ASSERT_EQ(pic.Height(), 30);
    ASSERT_EQ(pic.BitCount(), 24);
    // Left half red, right half blue (the empty layer above changes nothing).
    for (int y : {0, 15, 29})
        for (int x : {0, 19, 20, 39}) {
            const uint8_t* p = pic.Row(y) + 3 * x;
            EXPECT_EQ(p[2], x < 20 ? 255 : 0) << x << "," << y;
            EXPECT_EQ(p[0], x < 20 ? 0 : 255) << x << "," << y;
        }
    // Another version, a file cut inside the block, and not a document at all.
    std::vector<uint8_t> bytes = ReadBytes(file);
    std::vector<uint8_t> v = bytes;
    v[2] = '0';
    WriteBytes(dir.File("v.vor"), v);
    EXPECT_FALSE(ReadVorPicture(dir.File("v.vor"), pic));
    WriteBytes(dir.File("cut.vor"), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 1000));
    EXPECT_FALSE(ReadVorPicture(dir.File("cut.vor"), pic));
    EXPECT_FALSE(ReadVorPicture(dir.File("pic.bmp"), pic));
    EXPECT_FALSE(ReadVorPicture(dir.File("missing.vor"), pic));
}

TEST(VorProbe, PaletteCanvasPictureReadsAsGrey) {
    // A foreign 8-bit document: its flattened block holds palette indices,
    // which the format stores no palette for.
    std::string f = "\n41 0 0";
    std::vector<uint8_t> canvas(256, 0);
    auto put32 = [&canvas](size_t at, int32_t v) { std::memcpy(&canvas[at], &v, 4); };
    put32(200, 2);    // height
    put32(204, 3);    // width
    put32(224, 8);    // bits per pixel
    put32(228, 8);    // stride 4 x 2 rows
    put32(232, 6);
    std::vector<uint8_t> bytes(f.begin(), f.end());
    bytes.insert(bytes.end(), canvas.begin(), canvas.end());
    for (uint8_t v : {10, 20, 30, 0, 40, 50, 60, 0}) bytes.push_back(v);
    const std::string line = "\n 0 0";
    bytes.insert(bytes.end(), line.begin(), line.end());
    std::vector<uint8_t> rec(848, 0);
    int32_t one = 1, w = 3, h = 2, plane = 6, stride = 4, size = 8, none = -1;
    std::memcpy(&rec[0], &one, 4);
    std::memcpy(&rec[212], &none, 2);
    std::memcpy(&rec[236], &one, 4);
    std::memcpy(&rec[248], &h, 4);
    std::memcpy(&rec[252], &w, 4);
    std::memcpy(&rec[256], &plane, 4);
    std::memcpy(&rec[260], &size, 4);
    std::memcpy(&rec[264], &stride, 4);
    bytes.insert(bytes.end(), rec.begin(), rec.end());
    bytes.insert(bytes.end(), 8 + 6 + 6, 0);
    ImageStream in(bytes.data(), bytes.size());
    VaZavi pic(kTypeBMP);
    ASSERT_TRUE(ReadVorPicture(in, pic));
    EXPECT_EQ(pic.BitCount(), 8);
    EXPECT_EQ(pic.GetPixelColor(1, 0) & 0xFFFFFF, 0x141414u);   // index 20: grey 20
    ImageProbe p;
    ImageStream again(bytes.data(), bytes.size());
    ASSERT_TRUE(ProbeVor(again, p)) << p.error;
    EXPECT_EQ(p.bits, 8);
    EXPECT_EQ(p.colors, 256);
    EXPECT_EQ(p.frames, 1);
    EXPECT_TRUE(ReaderAccepts(bytes));
}

TEST(VorProbe, InfoDescribesDocuments) {
    TempDir dir;
    const std::string file = MakeVor(dir, "i.vor", 3);
    Result r = Cli(dir, "info " + file);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "format=vor width=40 height=30 bits=24 colors=0 frames=3 xdpi=72 ydpi=72\n");
    // Detection goes on to documents under any other name.
    ASSERT_EQ(testsupport::Run("cp " + file + " " + dir.File("i.dat")), 0);
    r = Cli(dir, "info " + dir.File("i.dat"));
    EXPECT_EQ(r.out, "format=vor width=40 height=30 bits=24 colors=0 frames=3 xdpi=72 ydpi=72\n");
    // A picture named .vor is not a document.
    ASSERT_EQ(testsupport::Run("cp " + dir.File("pic.bmp") + " " + dir.File("p.vor")), 0);
    r = Cli(dir, "info " + dir.File("p.vor"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("pimlora-cli: " + dir.File("p.vor") + ": not a readable VOR document", 0), 0u) << r.err;
}
