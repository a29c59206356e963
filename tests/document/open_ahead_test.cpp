// The picture named on the editor's command line decoded ahead on a helper
// thread, and the open's first undo step left until the editor has painted:
// both must give the document, the messages and the undo history an open
// gives without them.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "CVexoDoc.h"
#include "VaZavi.h"
#include "commands.h"
#include "memory_budget.h"
#include "open_prefetch.h"
#include "prepared_layer.h"
#include "test_support.h"
#include "undo_journal.h"

using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace {

// A picture (true colour, or 8 or 4 bits with a palette) whose pattern
// depends on `seed`.
void SavePicture(const std::string& path, int w, int h, int seed, int type, int bits = 24) {
    VaZavi img(bits, w, h, type);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = img.Row(y);
        for (int x = 0; x < w; ++x) {
            if (bits == 24) {
                row[x * 3] = uint8_t(x * 7 + seed);
                row[x * 3 + 1] = uint8_t(y * 5 + seed * 3);
                row[x * 3 + 2] = uint8_t((x ^ y) + seed);
            } else {
                img.SetPixelIndex(x, y, uint8_t((x * 3 + y + seed) & ((1 << bits) - 1)));
            }
        }
    }
    ASSERT_TRUE(img.Save(path.c_str(), type));
}

struct Opened {
    bool ok = false;
    int width = 0, height = 0;
    std::vector<uint8_t> pixels, alpha, effect, mask;
    std::vector<std::string> messages;
    std::string lastError;
};

Opened OpenIt(const std::string& path, const std::string& journal) {
    HeadlessHost host;
    host.echoMessages = false;
    host.journalFolder = journal;
    CVexoDoc doc(&host);
    Opened o;
    o.ok = doc.Open(path);
    o.messages = host.messages;
    o.lastError = doc.lastError;
    if (o.ok) {
        const LayerRecord& L = doc.Layer(doc.currentLayer);
        o.width = L.width;
        o.height = L.height;
        o.pixels.assign(L.pixels.get(), L.pixels.get() + L.pixelSize);
        o.alpha.assign(L.alpha.get(), L.alpha.get() + L.planeSize);
        o.effect.assign(L.effectPlane.get(), L.effectPlane.get() + L.planeSize);
        o.mask = doc.live.selection.mask;
    }
    return o;
}

// Moves the file's modification time away from the one it had (a rewrite
// within the same clock tick would otherwise look unchanged).
void Touch(const std::string& path, int seconds) {
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    const timespec times[2] = {st.st_atim, {st.st_mtim.tv_sec + seconds, st.st_mtim.tv_nsec}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

constexpr int64_t kPlenty = int64_t(1) << 40;

struct BudgetEnv {
    explicit BudgetEnv(const char* mb) { setenv(docmem::kBudgetVariable, mb, 1); }
    ~BudgetEnv() { unsetenv(docmem::kBudgetVariable); }
};

}  // namespace

// The open takes the picture decoded ahead (one decode in all) and the
// layer filled beside it, and builds the document it builds from the file
// (row padding, alpha, effect plane and selection included); the picture is
// handed out once.
TEST(OpenAhead, TakenPictureMakesTheSameDocument) {
    TempDir dir;
    struct Case {
        const char* name;
        int type, bits;
    };
    for (const Case& c : {Case{"a.bmp", kTypeBMP, 24}, Case{"b.jpg", kTypeJPEG, 24}, Case{"c.bmp", kTypeBMP, 8},
                          Case{"d.bmp", kTypeBMP, 4}, Case{"e.gif", kTypeGIF, 8}}) {
        const char* name = c.name;
        const std::string path = dir.File(name);
        SavePicture(path, 97, 61, 11, c.type, c.bits);
        const Opened plain = OpenIt(path, dir.Path() + "/");
        ASSERT_TRUE(plain.ok) << name;

        const int decodesBefore = testsupport::ProbeChecks();
        openahead::Start(path, kPlenty);
        EXPECT_TRUE(openahead::Pending());
        const Opened ahead = OpenIt(path, dir.Path() + "/");
        EXPECT_EQ(testsupport::ProbeChecks() - decodesBefore, 1) << name << ": decoded again by the open";
        EXPECT_FALSE(openahead::Pending());
        ASSERT_TRUE(ahead.ok) << name;
        EXPECT_EQ(ahead.width, plain.width);
        EXPECT_EQ(ahead.height, plain.height);
        EXPECT_EQ(ahead.pixels, plain.pixels) << name;
        EXPECT_EQ(ahead.alpha, plain.alpha) << name;
        EXPECT_EQ(ahead.effect, plain.effect) << name;
        EXPECT_EQ(ahead.mask, plain.mask) << name;
        EXPECT_TRUE(ahead.messages.empty());

        VaZavi none;
        EXPECT_FALSE(openahead::Take(path, openahead::PictureKind(path), none));
    }
}

// Layer buffers the helper thread could not fill (memory ran short there)
// leave the open to fill the layer itself: the picture's rows, not white.
TEST(OpenAhead, LayerTheHelperCouldNotFillIsFilledByTheOpen) {
    HeadlessHost host;
    host.echoMessages = false;
    VaZavi picture(24, 9, 5, kTypeBMP);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 27; ++x) picture.Row(y)[x] = uint8_t(x * 9 + y);
    const VaZavi original = picture;
    CVexoDoc doc(&host);
    PreparedLayer empty;
    ASSERT_TRUE(doc.TakePicture(picture, u"a", &empty));
    const LayerRecord& L = doc.Layer(0);
    for (int y = 0; y < 5; ++y)
        EXPECT_TRUE(std::equal(original.Row(y), original.Row(y) + 27, L.PixelRow(y))) << "row " << y;
}

// The layer's fill shared by several threads at once writes every byte a
// fill on one thread writes, for pictures of many bands (padded rows, a
// palette picture's one-byte rows, a single row) and however the pieces
// fall to the threads.
TEST(OpenAhead, FillSharedByThreadsGivesTheSameLayer) {
    struct Case {
        int bits, w, h;
    };
    for (const Case& c : {Case{24, 1501, 700}, Case{8, 3001, 900}, Case{24, 5, 1}, Case{24, 40000, 3}}) {
        VaZavi picture(c.bits, c.w, c.h, kTypeBMP);
        for (int y = 0; y < c.h; ++y) {
            uint8_t* row = picture.Row(y);
            for (int x = 0; x < picture.Stride(); ++x) row[x] = uint8_t(x * 13 + y * 7);
        }
        // The reference: the picture's rows, padding 255, opaque, clear,
        // everything selected.
        const int bpp = LayerBitsForPicture(c.bits);
        const int64_t stride = LayerStride(c.w, bpp);
        std::vector<uint8_t> pixels(size_t(stride) * size_t(c.h), 255);
        for (int y = 0; y < c.h; ++y)
            std::memcpy(pixels.data() + y * stride, picture.Row(y), size_t(c.w) * size_t(bpp / 8));
        const size_t plane = size_t(c.w) * size_t(c.h);
        for (int threads : {1, 2, 4}) {
            PreparedLayer layer;
            LayerFill fill;
            ASSERT_TRUE(fill.Start(picture, layer));
            std::vector<std::thread> helpers;
            for (int t = 1; t < threads; ++t) helpers.emplace_back([&fill] { fill.Help(); });
            fill.Help();
            for (std::thread& t : helpers) t.join();
            ASSERT_TRUE(fill.Finish()) << c.w << "x" << c.h << ", " << threads << " threads";
            ASSERT_TRUE(layer.Ready());
            EXPECT_EQ(layer.stride, stride);
            EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), layer.pixels.get())) << c.w << "x" << c.h;
            EXPECT_TRUE(std::all_of(layer.alpha.get(), layer.alpha.get() + plane, [](uint8_t v) { return v == 255; }));
            EXPECT_TRUE(std::all_of(layer.effect.get(), layer.effect.get() + plane, [](uint8_t v) { return v == 0; }));
            EXPECT_EQ(layer.mask, std::vector<uint8_t>(plane, 1));
        }
    }
    // A fill nobody helped with is not complete, and leaves no layer.
    VaZavi picture(24, 8, 8, kTypeBMP);
    PreparedLayer layer;
    LayerFill fill;
    ASSERT_TRUE(fill.Start(picture, layer));
    EXPECT_FALSE(fill.Finish());
    EXPECT_FALSE(layer.Ready());
}

// A file rewritten after the decode started is read again by the open; a
// decode of another file or of another kind is not taken (and is dropped).
TEST(OpenAhead, OnlyTheSameUnchangedFileIsTaken) {
    TempDir dir;
    const std::string path = dir.File("p.bmp");
    SavePicture(path, 40, 30, 1, kTypeBMP);
    openahead::Start(path, kPlenty);
    SavePicture(path, 40, 30, 99, kTypeBMP);   // same size: only the contents and the time differ
    Touch(path, 5);
    const Opened after = OpenIt(path, dir.Path() + "/");
    ASSERT_TRUE(after.ok);
    std::filesystem::copy_file(path, dir.File("q.bmp"));
    const Opened fresh = OpenIt(dir.File("q.bmp"), dir.Path() + "/");
    EXPECT_EQ(after.pixels, fresh.pixels) << "the picture decoded before the rewrite was shown";

    const std::string other = dir.File("o.bmp");
    SavePicture(other, 8, 8, 3, kTypeBMP);
    openahead::Start(path, kPlenty);
    VaZavi out;
    EXPECT_FALSE(openahead::Take(other, kTypeBMP, out));
    EXPECT_FALSE(openahead::Pending());
    openahead::Start(path, kPlenty);
    EXPECT_FALSE(openahead::Take(path, kTypeJPEG, out));
    EXPECT_FALSE(out.IsValid());

    // Nothing is decoded ahead for what the open does not decode as a picture.
    for (const char* name : {"d.vor", "r.raw", "m.mp3", "noext", "missing.jpg"}) {
        if (std::string(name) != "missing.jpg") WriteBytes(dir.File(name), {1, 2, 3});
        openahead::Start(dir.File(name), kPlenty);
        EXPECT_FALSE(openahead::Pending()) << name;
    }
    EXPECT_EQ(openahead::PictureKind("x.JPEG"), kTypeJPEG);
    EXPECT_EQ(openahead::PictureKind("x.tiff"), kTypeTIFF);
}

// Every failure is the open's own: a broken file gives the same messages, a
// picture too large for the decode ahead is decoded by the open, and the
// open's budget refuses a picture that was decoded ahead as it refuses it
// from the file.
TEST(OpenAhead, FailuresAreReportedAsWithoutIt) {
    TempDir dir;
    const std::string broken = dir.File("broken.jpg");
    std::vector<uint8_t> bytes = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0};
    bytes.resize(600, 0x55);
    WriteBytes(broken, bytes);
    const Opened plain = OpenIt(broken, dir.Path() + "/");
    EXPECT_FALSE(plain.ok);
    ASSERT_FALSE(plain.messages.empty());
    openahead::Start(broken, kPlenty);
    const Opened ahead = OpenIt(broken, dir.Path() + "/");
    EXPECT_FALSE(ahead.ok);
    EXPECT_EQ(ahead.messages, plain.messages);
    EXPECT_EQ(ahead.lastError, plain.lastError);

    const std::string big = dir.File("big.bmp");
    SavePicture(big, 300, 200, 5, kTypeBMP);
    const Opened wanted = OpenIt(big, dir.Path() + "/");
    ASSERT_TRUE(wanted.ok);
    openahead::Start(big, 1000);   // refused from its header by the decode ahead
    const Opened taken = OpenIt(big, dir.Path() + "/");
    ASSERT_TRUE(taken.ok);
    EXPECT_EQ(taken.pixels, wanted.pixels);
    EXPECT_TRUE(taken.messages.empty());

    const BudgetEnv small("1");   // 1 MB: this picture's document needs more
    const int64_t need = docmem::PictureWorkingSet(2000, 1000, 24);
    ASSERT_GT(need, docmem::BudgetBytes());
    const std::string large = dir.File("large.bmp");
    SavePicture(large, 2000, 1000, 2, kTypeBMP);
    const Opened refused = OpenIt(large, dir.Path() + "/");
    EXPECT_FALSE(refused.ok);
    ASSERT_EQ(refused.messages.size(), 1u);
    openahead::Start(large, kPlenty);
    const Opened refusedAhead = OpenIt(large, dir.Path() + "/");
    EXPECT_FALSE(refusedAhead.ok);
    EXPECT_EQ(refusedAhead.messages, refused.messages);
    EXPECT_EQ(refusedAhead.lastError, refused.lastError);
    EXPECT_FALSE(openahead::Pending());
}

// The open's first step left for later is the step an open records at once:
// nothing is journaled until it is finished, then the same step with the
// same head file, recorded once, and undo goes back to the opened picture.
TEST(OpeningStep, LeftForLaterIsTheSameStep) {
    TempDir dir, nowJournal, laterJournal;
    const std::string path = dir.File("p.bmp");
    SavePicture(path, 53, 37, 8, kTypeBMP);

    HeadlessHost nowHost, laterHost;
    for (HeadlessHost* h : {&nowHost, &laterHost}) h->echoMessages = false;
    nowHost.journalFolder = nowJournal.Path() + "/";
    laterHost.journalFolder = laterJournal.Path() + "/";
    CVexoDoc now(&nowHost), later(&laterHost);
    ASSERT_TRUE(now.Open(path));
    later.deferOpeningStep = true;
    ASSERT_TRUE(later.Open(path));
    EXPECT_FALSE(now.OpeningStepPending());
    EXPECT_TRUE(later.OpeningStepPending());
    EXPECT_TRUE(later.steps.empty());
    EXPECT_FALSE(later.modified);
    later.FlushJournal();
    EXPECT_TRUE(std::filesystem::is_empty(laterJournal.Path())) << "journaled before the step was recorded";

    later.FinishOpening();
    later.FinishOpening();   // once only
    EXPECT_FALSE(later.OpeningStepPending());
    ASSERT_EQ(later.steps.size(), now.steps.size());
    EXPECT_EQ(later.undoPos, now.undoPos);
    EXPECT_EQ(later.steps[0].label, u"Opening....");
    EXPECT_EQ(later.steps[0].label, now.steps[0].label);
    EXPECT_FALSE(later.modified);
    now.FlushJournal();
    later.FlushJournal();
    std::vector<std::string> nowFiles, laterFiles;
    for (const auto& e : std::filesystem::directory_iterator(nowJournal.Path())) nowFiles.push_back(e.path().filename());
    for (const auto& e : std::filesystem::directory_iterator(laterJournal.Path()))
        laterFiles.push_back(e.path().filename());
    std::sort(nowFiles.begin(), nowFiles.end());
    std::sort(laterFiles.begin(), laterFiles.end());
    ASSERT_EQ(laterFiles, nowFiles);
    for (const std::string& f : nowFiles)
        EXPECT_EQ(ReadBytes(laterJournal.File(f)), ReadBytes(nowJournal.File(f))) << f;

    // A change and its undo: back to the picture as opened.
    const LayerRecord& L = later.Layer(later.currentLayer);
    const std::vector<uint8_t> opened(L.pixels.get(), L.pixels.get() + L.pixelSize);
    const commands::Command* negative = commands::All().Find(1413);
    ASSERT_NE(negative, nullptr);
    ASSERT_TRUE(negative->run(later, {}));
    EXPECT_NE(std::vector<uint8_t>(L.pixels.get(), L.pixels.get() + L.pixelSize), opened);
    ASSERT_TRUE(later.Undo());
    const LayerRecord& back = later.Layer(later.currentLayer);
    EXPECT_EQ(std::vector<uint8_t>(back.pixels.get(), back.pixels.get() + back.pixelSize), opened);
}

namespace {

// A document opened as the editor opens the picture named on its command
// line: decoded ahead, its first step deferred, so that the layer's fill may
// still be running when the open returns.
std::unique_ptr<CVexoDoc> OpenPending(HeadlessHost& host, const std::string& path) {
    auto doc = std::make_unique<CVexoDoc>(&host);
    doc->deferOpeningStep = true;
    openahead::Start(path, kPlenty);
    if (!doc->Open(path)) return nullptr;
    return doc;
}

std::vector<uint8_t> Frame(const CVexoDoc& doc, double zoom, int left, int top, int w, int h) {
    std::vector<uint8_t> out(size_t(w) * size_t(h) * 4, 0xAB);
    doc.CompositeRect(doc.headLayer, -1, zoom, left, top, w, h, out.data(), ptrdiff_t(w) * 4);
    return out;
}

std::vector<uint8_t> LayerPixels(const CVexoDoc& doc) {
    const LayerRecord& L = doc.Layer(doc.currentLayer);
    return L.pixels ? std::vector<uint8_t>(L.pixels.get(), L.pixels.get() + L.pixelSize) : std::vector<uint8_t>{};
}

}  // namespace

// Until the layer of a true-colour picture is settled the view shows the
// document image in its place: every frame, at every zoom, is the frame of
// the settled layer, and the settled layer is the layer a plain open makes.
// Pictures of other depths are filled before the open returns.
TEST(PendingLayer, PictureShownUntilTheLayerIsSettled) {
    TempDir dir;
    struct Case {
        const char* name;
        int type, bits;
    };
    struct View {
        double zoom;
        int left, top, w, h;
    };
    const View views[] = {{1.0, 0, 0, 301, 203}, {0.25, 0, 0, 80, 60},   {1.0 / 3, 5, 4, 90, 60},
                          {0.37, 3, 2, 120, 80}, {2.5, 40, 30, 260, 170}, {1.0, -7, -5, 320, 220}};
    for (const Case& c : {Case{"a.bmp", kTypeBMP, 24}, Case{"b.jpg", kTypeJPEG, 24}, Case{"c.bmp", kTypeBMP, 8}}) {
        const std::string path = dir.File(c.name);
        SavePicture(path, 301, 203, 4, c.type, c.bits);
        const Opened plain = OpenIt(path, dir.Path() + "/");
        ASSERT_TRUE(plain.ok) << c.name;
        HeadlessHost host;
        host.echoMessages = false;
        host.journalFolder = dir.Path() + "/";
        std::unique_ptr<CVexoDoc> doc = OpenPending(host, path);
        ASSERT_TRUE(doc) << c.name;
        const bool later = c.bits == 24;
        EXPECT_EQ(doc->LayersPending(), later) << c.name;
        EXPECT_EQ(CVexoDoc::PendingLayerDocuments(), later ? 1 : 0);
        std::vector<std::vector<uint8_t>> shown;
        for (const View& v : views) shown.push_back(Frame(*doc, v.zoom, v.left, v.top, v.w, v.h));

        doc->SettleLayers();
        EXPECT_FALSE(doc->LayersPending());
        EXPECT_EQ(CVexoDoc::PendingLayerDocuments(), 0);
        for (size_t k = 0; k < std::size(views); ++k) {
            const View& v = views[k];
            EXPECT_EQ(Frame(*doc, v.zoom, v.left, v.top, v.w, v.h), shown[k]) << c.name << " zoom " << v.zoom;
        }
        const LayerRecord& L = doc->Layer(doc->currentLayer);
        EXPECT_EQ(LayerPixels(*doc), plain.pixels) << c.name;
        EXPECT_EQ(std::vector<uint8_t>(L.alpha.get(), L.alpha.get() + L.planeSize), plain.alpha);
        EXPECT_EQ(std::vector<uint8_t>(L.effectPlane.get(), L.effectPlane.get() + L.planeSize), plain.effect);
        EXPECT_EQ(doc->live.selection.mask, plain.mask) << c.name;
        doc->SettleLayers();   // nothing left to do
        EXPECT_EQ(LayerPixels(*doc), plain.pixels);
    }
}

// Whatever reaches the layer finds it settled: a command, the deferred
// first step, a save, a layer operation, undo. Each gives what it gives on a
// document opened without the decode ahead.
TEST(PendingLayer, WhateverReachesTheLayerSettlesItFirst) {
    TempDir dir;
    const std::string path = dir.File("p.bmp");
    SavePicture(path, 123, 77, 9, kTypeBMP);
    HeadlessHost host;
    host.echoMessages = false;
    host.journalFolder = dir.Path() + "/";
    CVexoDoc plain(&host);
    ASSERT_TRUE(plain.Open(path));
    const std::vector<uint8_t> opened = LayerPixels(plain);
    ASSERT_TRUE(plain.Save(dir.File("plain.bmp")));
    const commands::Command* negative = commands::All().Find(1413);
    ASSERT_NE(negative, nullptr);
    ASSERT_TRUE(negative->run(plain, {}));
    const std::vector<uint8_t> negated = LayerPixels(plain);

    struct Action {
        const char* name;
        bool (*run)(CVexoDoc&, const std::string&);
    };
    const Action actions[] = {
        {"command", [](CVexoDoc& d, const std::string&) { return commands::All().Find(1413)->run(d, {}); }},
        {"first step",
         [](CVexoDoc& d, const std::string&) {
             d.FinishOpening();
             return d.steps.size() == 1;
         }},
        {"save", [](CVexoDoc& d, const std::string& f) { return d.Save(f); }},
        {"layer operation", [](CVexoDoc& d, const std::string&) { return d.BeginLayerOp(-1); }},
        {"undo", [](CVexoDoc& d, const std::string&) { return !d.Undo(); }},   // nothing to undo, settled
    };
    for (const Action& a : actions) {
        std::unique_ptr<CVexoDoc> doc = OpenPending(host, path);
        ASSERT_TRUE(doc && doc->LayersPending()) << a.name;
        const std::string saved = dir.File(std::string(a.name) + ".bmp");
        EXPECT_TRUE(a.run(*doc, saved)) << a.name;
        EXPECT_FALSE(doc->LayersPending()) << a.name;
        EXPECT_EQ(LayerPixels(*doc), std::string(a.name) == "command" ? negated : opened) << a.name;
        if (std::string(a.name) == "save") {
            EXPECT_EQ(ReadBytes(saved), ReadBytes(dir.File("plain.bmp")));
        }
    }
    EXPECT_EQ(CVexoDoc::PendingLayerDocuments(), 0);
}

// A document closed, or opened again, before its layer was settled waits for
// the fill (which reads the document image) and leaves nothing pending.
TEST(PendingLayer, ClosedOrReopenedBeforeItIsSettled) {
    TempDir dir;
    const std::string first = dir.File("first.bmp"), second = dir.File("second.bmp");
    SavePicture(first, 640, 480, 1, kTypeBMP);
    SavePicture(second, 200, 150, 2, kTypeBMP);
    HeadlessHost host;
    host.echoMessages = false;
    host.journalFolder = dir.Path() + "/";
    for (int i = 0; i < 3; ++i) {
        std::unique_ptr<CVexoDoc> doc = OpenPending(host, first);
        ASSERT_TRUE(doc && doc->LayersPending());
        doc.reset();
        EXPECT_EQ(CVexoDoc::PendingLayerDocuments(), 0);
    }
    const Opened plain = OpenIt(second, dir.Path() + "/");
    std::unique_ptr<CVexoDoc> doc = OpenPending(host, first);
    ASSERT_TRUE(doc);
    openahead::Start(second, kPlenty);
    ASSERT_TRUE(doc->Open(second));
    EXPECT_TRUE(doc->LayersPending());
    EXPECT_EQ(CVexoDoc::PendingLayerDocuments(), 1);
    doc->SettleLayers();
    EXPECT_EQ(LayerPixels(*doc), plain.pixels);
    EXPECT_EQ(doc->live.selection.mask, plain.mask);
    EXPECT_EQ(CVexoDoc::PendingLayerDocuments(), 0);
}
