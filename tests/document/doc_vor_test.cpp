// VOR documents: files built byte by byte here (not by our writer), round
// trips of every stored field, and damaged or hostile files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "CVexoDoc.h"
#include "ImageStream.h"
#include "commands.h"
#include "undo_journal.h"
#include "test_support.h"

using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& b, size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(uint32_t(v) >> (8 * i));
}
void Put16(Bytes& b, size_t at, int16_t v) {
    b[at] = uint8_t(uint16_t(v));
    b[at + 1] = uint8_t(uint16_t(v) >> 8);
}
void PutText(Bytes& b, size_t at, const std::u16string& s) {
    for (size_t i = 0; i < s.size(); ++i) Put16(b, at + 2 * i, int16_t(s[i]));
}
void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }
void Append(Bytes& to, const std::string& s) { to.insert(to.end(), s.begin(), s.end()); }

int Stride(int w, int bpp) { return ((w * bpp + 31) / 32) * 4; }

Bytes CanvasBlock(const std::u16string& title, int w, int h, int bpp = 24) {
    Bytes b(256, 0);
    PutText(b, 0, title);
    Put32(b, 200, h);
    Put32(b, 204, w);
    Put32(b, 216, 1);
    Put32(b, 220, 0);
    Put32(b, 224, bpp);
    Put32(b, 228, int32_t(uint32_t(Stride(w, bpp)) * uint32_t(h)));
    Put32(b, 232, int32_t(uint32_t(w) * uint32_t(h)));
    Put32(b, 240, 0x12345678);   // an address from the writer's memory
    return b;
}

struct LayerSpec {
    int slot = 0, next = -1, prev = -1;
    int w = 1, h = 1, x = 0, y = 0;
    int kind = 0, blend = 0, transparency = 0, visible = 1;
    std::u16string name = u"레이어";
    std::u16string text;
    int tag = 5, link = 3, effectKind = 3;
    uint8_t seed = 1;
};

// One layer section: line, record, pixels, alpha, effect plane, text.
Bytes Section(const LayerSpec& s, int bpp = 24, int lineTextLength = -1) {
    const bool text = s.kind == 2 || s.kind == 3;
    const int stride = text ? s.w : Stride(s.w, bpp);
    Bytes out;
    Append(out, "\n " + std::to_string(s.slot) + " " +
                    std::to_string(lineTextLength >= 0 ? lineTextLength : int(s.text.size())));
    Bytes r(848, 0);
    Put32(r, 0, 1);
    Put32(r, 4, s.tag);
    PutText(r, 8, s.name);
    r[208] = uint8_t(s.kind);
    r[209] = uint8_t(s.blend);
    Put16(r, 210, int16_t(s.prev));
    Put16(r, 212, int16_t(s.next));
    Put16(r, 214, int16_t(s.link));
    r[216] = uint8_t(s.effectKind);
    r[217] = 2;
    r[218] = 9;
    r[228] = 10;   // text colour blue, green, red
    r[229] = 20;
    r[230] = 30;
    r[232] = uint8_t(s.transparency);
    Put32(r, 236, s.visible);
    Put32(r, 240, s.x);
    Put32(r, 244, s.y);
    Put32(r, 248, s.h);
    Put32(r, 252, s.w);
    Put32(r, 256, s.w * s.h);
    Put32(r, 260, stride * s.h);
    Put32(r, 264, stride);
    Put32(r, 268, int32_t(s.text.size()));
    Put32(r, 272, 11);
    Put32(r, 276, 12);
    Put32(r, 280, 24);
    PutText(r, 284, u"굴림");
    Put32(r, 384, 10);
    Put32(r, 388, 100);
    Put32(r, 432, -1);
    Put32(r, 444, -1);
    r[847] = 0x5A;
    Append(out, r);
    Bytes pix(size_t(stride) * size_t(s.h));
    for (size_t i = 0; i < pix.size(); ++i) pix[i] = uint8_t(s.seed * 7 + i * 3);
    Append(out, pix);
    Bytes alpha(size_t(s.w) * size_t(s.h)), effect(alpha.size());
    for (size_t i = 0; i < alpha.size(); ++i) {
        alpha[i] = uint8_t(200 + s.seed + i);
        effect[i] = uint8_t(i + s.seed);
    }
    Append(out, alpha);
    Append(out, effect);
    if (text) {
        Bytes t(s.text.size() * 2);
        PutText(t, 0, s.text);
        Append(out, t);
    }
    return out;
}

Bytes Header(int version, int head, int current) {
    Bytes b;
    Append(b, "\n" + std::to_string(version) + " " + std::to_string(head) + " " + std::to_string(current));
    return b;
}

Bytes FlatBlock(int w, int h, int bpp = 24) { return Bytes(size_t(Stride(w, bpp)) * size_t(h), 0xFF); }

// Canvas 5 x 4: slot 7 (full) below slot 2 (3 x 2 at 1, 1) below text slot 4.
// The title begins with digits, right after the current-layer number.
Bytes SampleFile(int current = 2) {
    Bytes f = Header(41, 7, current);
    Append(f, CanvasBlock(u"12 제목", 5, 4));
    Append(f, FlatBlock(5, 4));
    LayerSpec a;
    a.slot = 7, a.next = 2, a.w = 5, a.h = 4, a.name = u"배경", a.seed = 1;
    LayerSpec b;
    b.slot = 2, b.prev = 7, b.next = 4, b.w = 3, b.h = 2, b.x = 1, b.y = 1, b.blend = 3, b.transparency = 40,
    b.seed = 2;
    LayerSpec c;
    c.slot = 4, c.prev = 2, c.w = 2, c.h = 2, c.kind = 2, c.text = u"가나다", c.seed = 3;
    Append(f, Section(a));
    Append(f, Section(b));
    Append(f, Section(c));
    return f;
}

bool ReadInto(CVexoDoc& doc, const Bytes& file) {
    ImageStream in(file.data(), file.size());
    return doc.ReadVor(in, "/some/folder/name.vor");
}

}  // namespace

TEST(VorRead, HandBuiltFileOpens) {
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc doc(&host);
    ASSERT_TRUE(ReadInto(doc, SampleFile(2))) << (host.messages.empty() ? "" : host.messages.back());
    EXPECT_EQ(doc.live.canvas.width, 5);   // the title's digits were not taken as part of the header
    EXPECT_EQ(doc.live.canvas.height, 4);
    EXPECT_EQ(doc.live.canvas.scratchAddr1, 0u);
    EXPECT_EQ(Utf16ToUtf8(GetFixedText(doc.live.canvas.title, 100)), "/some/folder/name.vor");
    EXPECT_EQ(doc.headLayer, 7);
    EXPECT_EQ(doc.currentLayer, 2);
    EXPECT_EQ(doc.StackOrder(), (std::vector<int>{7, 2, 4}));   // by links, not slot order

    const LayerRecord& b = doc.Layer(2);
    EXPECT_EQ(b.width, 3);
    EXPECT_EQ(b.height, 2);
    EXPECT_EQ(b.stride, 12);
    EXPECT_EQ(b.x, 1);
    EXPECT_EQ(b.y, 1);
    EXPECT_EQ(b.blendMode, 3);
    EXPECT_EQ(b.transparency, 40);
    EXPECT_EQ(b.prev, 7);
    EXPECT_EQ(b.link, -1);
    EXPECT_EQ(b.effectKind, 0);
    EXPECT_EQ(b.tag, 0);
    EXPECT_EQ(b.attrs448[399], 0x5A);
    for (int i = 0; i < 24; ++i) ASSERT_EQ(b.pixels[size_t(i)], uint8_t(2 * 7 + i * 3));
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(b.alpha[size_t(i)], uint8_t(202 + i));
        EXPECT_EQ(b.effectPlane[size_t(i)], uint8_t(i + 2));   // stored bytes kept
    }
    const LayerRecord& c = doc.Layer(4);
    EXPECT_EQ(c.kind, LayerText);
    EXPECT_EQ(c.textLength, 3);
    EXPECT_EQ(std::u16string(c.text.get()), u"가나다");
    EXPECT_EQ(c.textColor[2], 30);
    EXPECT_EQ(GetFixedText(c.fontFace, 25), u"굴림");
    EXPECT_EQ(c.textOriginY, 12);
    // The layer after the smaller one is read in step.
    EXPECT_EQ(c.pixels[0], uint8_t(3 * 7));
    // The previous-state copy holds the layers as read.
    EXPECT_EQ(doc.prevState.layers[2].pixels[5], b.pixels[5]);
}

TEST(VorRead, ShortLayerLiesInStoredRowOrder) {
    HeadlessHost host;
    CVexoDoc doc(&host);
    ASSERT_TRUE(ReadInto(doc, SampleFile()));
    doc.Layer(7).visible = 0;
    doc.Layer(4).visible = 0;
    doc.Layer(2).blendMode = 0;
    doc.Layer(2).transparency = 0;
    for (int i = 0; i < 6; ++i) doc.Layer(2).alpha[size_t(i)] = 255;
    std::vector<uint8_t> out(5 * 4 * 4);
    doc.CompositeRun(doc.headLayer, -1, out.data());
    // Layer stored row r lies on canvas stored row r - y: with y = 1 its row 1
    // is the canvas's bottom row and its row 0 falls off the canvas.
    const LayerRecord& L = doc.Layer(2);
    for (int x = 0; x < 5; ++x) {
        const uint8_t* p = &out[size_t(x) * 4];
        if (x >= 1 && x <= 3) {
            EXPECT_EQ(p[0], L.PixelRow(1)[(x - 1) * 3]);
            EXPECT_EQ(p[3], 255);
        } else {
            EXPECT_EQ(p[3], 0);
        }
    }
    for (size_t i = 5 * 4; i < out.size(); i += 4) EXPECT_EQ(out[i + 3], 0) << i;
}

TEST(VorOpen, PostOpenStepAndTextAtTheBottom) {
    TempDir dir;
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc doc(&host);
    WriteBytes(dir.File("a.vor"), SampleFile());
    ASSERT_TRUE(doc.Open(dir.File("a.vor")));
    EXPECT_EQ(doc.currentLayer, 7);
    EXPECT_EQ(doc.Layer(7).kind, LayerImage);
    EXPECT_EQ(doc.displayName, "a.vor");
    EXPECT_EQ(doc.docSerial, 1);
    ASSERT_FALSE(doc.steps.empty());
    EXPECT_EQ(doc.steps[0].label, u"Opening....");

    // A text layer at the bottom keeps its kind.
    Bytes f = Header(41, 4, 4);
    Append(f, CanvasBlock(u"t", 2, 2));
    Append(f, FlatBlock(2, 2));
    LayerSpec t;
    t.slot = 4, t.w = 2, t.h = 2, t.kind = 3, t.text = u"말";
    Append(f, Section(t));
    WriteBytes(dir.File("t.vor"), f);
    ASSERT_TRUE(doc.Open(dir.File("t.vor")));
    EXPECT_EQ(doc.Layer(4).kind, LayerBalloon);
}

TEST(VorRead, SeventeenHundredUnitsOfTextAreCut) {
    HeadlessHost host;
    CVexoDoc doc(&host);
    Bytes f = Header(41, 0, 0);
    Append(f, CanvasBlock(u"t", 2, 1));
    Append(f, FlatBlock(2, 1));
    LayerSpec t;
    t.w = 2, t.h = 1, t.kind = 2, t.text = std::u16string(700, u'가');
    Append(f, Section(t, 24, 800));   // the line claims more than the cap
    ASSERT_TRUE(ReadInto(doc, f));
    EXPECT_EQ(doc.Layer(0).textLength, 700);
    EXPECT_EQ(doc.Layer(0).text[699], u'가');
}

TEST(VorRead, EightBitFileReadsWithGreyRamp) {
    HeadlessHost host;
    CVexoDoc doc(&host);
    Bytes f = Header(41, 0, 0);
    Append(f, CanvasBlock(u"t", 3, 2, 8));
    Append(f, FlatBlock(3, 2, 8));
    LayerSpec s;
    s.w = 3, s.h = 2;
    Append(f, Section(s, 8));
    ASSERT_TRUE(ReadInto(doc, f));
    EXPECT_EQ(doc.live.canvas.paletteColors, 256);
    ASSERT_TRUE(doc.ConvertToRgb());
    const uint8_t v = uint8_t(1 * 7);
    EXPECT_EQ(doc.Layer(0).pixels[0], v);
    EXPECT_EQ(doc.Layer(0).pixels[2], v);
}

TEST(VorRoundTrip, EveryStoredFieldSurvives) {
    TempDir dir;
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(9, 7));
    ASSERT_TRUE(doc.AddLayer());
    ASSERT_TRUE(doc.AddLayer());
    // Slot 1: a smaller layer off the canvas corner with every field set.
    ASSERT_TRUE(doc.SetupLayerBuffers(3, 4, u"", 1, 24, 0, 128, 1, -2, 5, 2, -1, -1, 0, 0, 0, -1, false));
    doc.live.canvas.width = 9;
    doc.live.canvas.height = 7;
    doc.live.canvas.canvasPixelSize = int32_t(LayerStride(9, 24) * 7);
    doc.live.canvas.canvasPlaneSize = 63;
    doc.live.canvas.pictureX = 3;
    doc.live.canvas.unused248[7] = 0x77;
    LayerRecord& L = doc.Layer(1);
    L.inUse = 1;
    SetFixedText(L.name, 100, u"작은 레이어");
    L.blendMode = 5;
    L.transparency = 17;
    L.visible = 0;
    L.effectParam = 4;
    L.effectParams[9] = 99;
    L.textColor[1] = 44;
    L.unused233[2] = 3;
    L.textOriginX = -7;
    L.fontSize = 31;
    SetFixedText(L.fontFace, 25, u"바탕");
    L.textAttrs[49] = 8;
    L.charWidthScale = 12;
    L.shadowParam = 66;
    L.textBoxWidth = 100;
    L.attrs408[23] = 1;
    L.tailX = 5;
    L.attrs448[0] = 0xAB;
    for (int i = 0; i < L.pixelSize; ++i) L.pixels[size_t(i)] = uint8_t(i * 5);
    for (int i = 0; i < L.planeSize; ++i) L.effectPlane[size_t(i)] = uint8_t(i + 1);
    // Slot 2: a text layer with 700 units.
    LayerRecord& T = doc.Layer(2);
    T.kind = LayerText;
    ASSERT_TRUE(doc.SetupLayerBuffers(2, 3, u"", 1, 24, 0, 255, 2, 1, 1, 2, -1, -1, 0, 0, LayerText, -1, false));
    doc.live.canvas.width = 9;
    doc.live.canvas.height = 7;
    doc.live.canvas.canvasPixelSize = int32_t(LayerStride(9, 24) * 7);
    doc.live.canvas.canvasPlaneSize = 63;
    T.textLength = 700;
    T.text.reset(new char16_t[701]);
    for (int i = 0; i < 700; ++i) T.text[size_t(i)] = char16_t(0xAC00 + i);
    T.text[700] = 0;
    ASSERT_TRUE(doc.SelectLayer(1));

    const std::string file = dir.File("r.vor");
    ASSERT_TRUE(doc.Save(file));
    HeadlessHost host2;
    CVexoDoc back(&host2);
    const Bytes bytes = ReadBytes(file);
    ASSERT_TRUE(ReadInto(back, bytes));
    EXPECT_EQ(back.headLayer, doc.headLayer);
    EXPECT_EQ(back.currentLayer, 1);
    EXPECT_EQ(back.StackOrder(), doc.StackOrder());
    CanvasInfo a = doc.live.canvas, b = back.live.canvas;
    std::memset(a.title, 0, sizeof a.title);
    std::memset(b.title, 0, sizeof b.title);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
    for (int slot : doc.StackOrder()) {
        LayerRecordData x = doc.Layer(slot), y = back.Layer(slot);
        // The reader's rule: tag 0, link -1, no effect kind.
        x.tag = 0;
        x.link = -1;
        x.effectKind = 0;
        EXPECT_EQ(std::memcmp(&x, &y, sizeof x), 0) << "slot " << slot;
        const LayerRecord &p = doc.Layer(slot), &q = back.Layer(slot);
        EXPECT_EQ(std::memcmp(p.pixels.get(), q.pixels.get(), size_t(p.pixelSize)), 0);
        EXPECT_EQ(std::memcmp(p.alpha.get(), q.alpha.get(), size_t(p.planeSize)), 0);
        EXPECT_EQ(std::memcmp(p.effectPlane.get(), q.effectPlane.get(), size_t(p.planeSize)), 0);
    }
    EXPECT_EQ(std::u16string(back.Layer(2).text.get()), std::u16string(T.text.get()));

    // The flattened picture is the composite of the visible layers.
    std::vector<uint8_t> comp(9 * 7 * 4);
    doc.CompositeRun(doc.headLayer, -1, comp.data());
    const size_t flat = std::string("\n41 0 1").size() + 256;
    EXPECT_EQ(bytes[flat], comp[0]);
    EXPECT_EQ(bytes[flat + 5], comp[6]);
}

TEST(VorRoundTrip, EightBitCanvasKeepsItsColours) {
    TempDir dir;
    HeadlessHost host;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(6, 5));
    for (int r = 0; r < 5; ++r)
        for (int x = 0; x < 6; ++x) {
            uint8_t* p = doc.Layer(0).PixelRow(r) + x * 3;
            p[0] = uint8_t(x * 40);
            p[1] = uint8_t(r * 50);
            p[2] = 7;
        }
    ASSERT_TRUE(commands::All().Find(2016)->run(doc, {}));
    ASSERT_EQ(doc.live.canvas.bitsPerPixel, 8);
    const std::vector<RgbQuad> palette = doc.live.palette;
    const uint8_t index = doc.Layer(0).PixelRow(3)[4];
    ASSERT_TRUE(doc.Save(dir.File("p.vor")));
    CVexoDoc back(&host);
    ASSERT_TRUE(back.Open(dir.File("p.vor")));
    EXPECT_EQ(back.live.canvas.bitsPerPixel, 24);
    const uint8_t* p = back.Layer(0).PixelRow(3) + 4 * 3;
    EXPECT_EQ(p[0], palette[index].blue);
    EXPECT_EQ(p[1], palette[index].green);
    EXPECT_EQ(p[2], palette[index].red);
    // Exact here: 30 colours fit the palette.
    EXPECT_EQ(p[0], 160);
    EXPECT_EQ(p[1], 150);
}

TEST(VorHostile, RefusedWithoutDamage) {
    TempDir dir;
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(3, 2));
    doc.Layer(0).pixels[0] = 42;
    const auto unchanged = [&doc] {
        return doc.StackOrder() == std::vector<int>{0} && doc.Layer(0).pixels[0] == 42 &&
               doc.live.canvas.width == 3 && doc.currentLayer == 0;
    };
    const Bytes good = SampleFile();
    std::vector<std::pair<std::string, Bytes>> cases;
    // Cut short anywhere.
    for (size_t n : {size_t(0), size_t(3), size_t(8), size_t(100), size_t(300), good.size() / 2, good.size() - 1})
        cases.push_back({"cut at " + std::to_string(n), Bytes(good.begin(), good.begin() + ptrdiff_t(n))});
    // Slot out of range; a link cycle; sizes beyond the file; negative text.
    auto one = [](LayerSpec s, int head, int w = 2, int h = 2) {
        Bytes f = Header(41, head, head);
        Append(f, CanvasBlock(u"t", w, h));
        Append(f, FlatBlock(w, h));
        Append(f, Section(s));
        return f;
    };
    LayerSpec s;
    s.w = 2, s.h = 2;
    s.slot = 40;
    cases.push_back({"slot 40", one(s, 40)});
    s.slot = 0;
    s.next = 0;
    cases.push_back({"self link", one(s, 0)});
    {
        LayerSpec a = s, b = s;
        a.next = 1;
        b.slot = 1;
        b.next = 0;
        Bytes f = one(a, 0);
        Append(f, Section(b));
        Append(f, Section(a));
        cases.push_back({"cycle", f});
    }
    s.next = 45;
    cases.push_back({"next out of range", one(s, 0)});
    s.next = -1;
    {
        const size_t rec = Header(41, 0, 0).size() + 256 + 16 + std::string("\n 0 0").size();
        Bytes f = one(s, 0);
        Put32(f, rec + 248, 30000);   // height
        Put32(f, rec + 256, 60000);
        Put32(f, rec + 260, 8 * 30000);
        cases.push_back({"height beyond the file", f});
        Bytes g = one(s, 0);
        Put32(g, rec + 248, 60000);
        Put32(g, rec + 252, 60000);
        Put32(g, rec + 256, int32_t(uint32_t(60000) * 60000u));
        cases.push_back({"huge layer", g});
        Bytes h = g;
        Put32(h, rec + 248, 2);
        Put32(h, rec + 252, 2);
        Put32(h, rec + 256, 4);
        Put32(h, rec + 260, 1 << 30);
        cases.push_back({"pixel size disagrees", h});
        Bytes k = one(s, 0);
        Put32(k, rec + 248, -2);
        cases.push_back({"negative height", k});
    }
    {
        Bytes f = Header(41, 0, 0);
        Append(f, CanvasBlock(u"t", 1 << 16, 1 << 14));
        cases.push_back({"huge canvas", f});
        Bytes g = Header(41, 0, 0);
        Bytes cv = CanvasBlock(u"t", 2, 2);
        Put32(cv, 228, 5);
        Append(g, cv);
        cases.push_back({"canvas size disagrees", g});
    }
    Bytes neg = one(s, 0);
    {
        const std::string line = "\n 0 0";
        const size_t at = Header(41, 0, 0).size() + 256 + 16;
        neg.erase(neg.begin() + ptrdiff_t(at), neg.begin() + ptrdiff_t(at + line.size()));
        const std::string bad = "\n 0 -5";
        neg.insert(neg.begin() + ptrdiff_t(at), bad.begin(), bad.end());
        cases.push_back({"negative text length", neg});
    }
    cases.push_back({"garbage", Bytes{'h', 'e', 'l', 'l', 'o'}});

    for (const auto& [what, bytes] : cases) {
        WriteBytes(dir.File("bad.vor"), bytes);
        host.messages.clear();
        EXPECT_FALSE(doc.Open(dir.File("bad.vor"))) << what;
        EXPECT_TRUE(unchanged()) << what;
        if (!bytes.empty()) {
            EXPECT_FALSE(host.messages.empty()) << what;
        }
    }
}

TEST(VorHostile, OtherVersionsAreRefusedWithTheVersionMessage) {
    TempDir dir;
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc doc(&host);
    for (int version : {36, 362, 40}) {
        Bytes f = SampleFile();
        const std::string h = "\n" + std::to_string(version);
        f.erase(f.begin(), f.begin() + 3);
        f.insert(f.begin(), h.begin(), h.end());
        WriteBytes(dir.File("v.vor"), f);
        EXPECT_FALSE(doc.Open(dir.File("v.vor")));
        ASSERT_FALSE(host.messages.empty());
        EXPECT_EQ(host.messages.back(), "VOR 형식의 버전이 상이함");
    }
}

TEST(VorSave, FailedSaveKeepsTheOldFile) {
    TempDir dir;
    HeadlessHost host;
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(2, 2));
    const std::string file = dir.File("keep.vor");
    WriteBytes(file, Bytes{1, 2, 3});
    doc.Layer(0).next = 5;   // a link to a slot that holds no layer
    doc.Layer(5).next = 0;
    EXPECT_FALSE(doc.Save(file));
    EXPECT_EQ(ReadBytes(file), (Bytes{1, 2, 3}));
    doc.Layer(0).next = -1;
    EXPECT_TRUE(doc.Save(file));
    EXPECT_GT(ReadBytes(file).size(), 3u);
    EXPECT_FALSE(doc.Save(dir.File("x.png")));
}
