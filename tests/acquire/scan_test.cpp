// Scanning through SANE's own "test" back end: the pages it draws, its
// frame formats, its document feeder, cancelling, and a program without
// the SANE library. A private configuration folder lists only that back
// end, so no real device is touched.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>

#include "CTwain.h"
#include "CVexoDoc.h"
#include "VaZavi.h"
#include "picture_document.h"
#include "test_support.h"

using namespace testsupport;
using acquire::ScannerEvent;

namespace {

// The test back end, configured as these tests expect: colour pattern,
// 80 x 100 mm, the scan area allowed up to A4.
class SaneConfig {
public:
    SaneConfig() {
        std::ofstream(dir_.File("dll.conf")) << "test\n";
        std::ofstream(dir_.File("test.conf")) << "number_of_devices 2\n"
                                                 "mode Color\n"
                                                 "depth 8\n"
                                                 "resolution_min 1.0\nresolution_max 1200.0\nresolution_quant 1.0\n"
                                                 "resolution 50.0\n"
                                                 "test-picture \"Color pattern\"\n"
                                                 "geometry_min 0.0\ngeometry_max 300.0\ngeometry_quant 1.0\n"
                                                 "tl_x 0.0\ntl_y 0.0\nbr_x 80.0\nbr_y 100.0\n";
        setenv("SANE_CONFIG_DIR", dir_.Path().c_str(), 1);
        setenv("PIMLORA_HOME", dir_.File("home").c_str(), 1);
        unsetenv("PIMLORA_SANE_LIBRARY");
    }
    const TempDir& Dir() const { return dir_; }

private:
    TempDir dir_;
};

class Collector : public acquire::CTwain {
public:
    std::string device;
    std::vector<std::pair<std::string, std::string>> settings;
    std::vector<std::unique_ptr<VaZavi>> pages;
    std::vector<acquire::ImageInfo> infos;
    std::vector<std::string> messages;
    std::vector<std::string> optionErrors;
    std::function<void(int, int)> onProgress;

    std::string DefaultSourceName() override { return device; }
    ScannerEvent ShowSourceInterface() override {
        for (const auto& [k, v] : settings) {
            std::string error;
            if (!Options()->Set(k, v, error)) optionErrors.push_back(k + ": " + error);
        }
        return optionErrors.empty() ? ScannerEvent::TransferReady : ScannerEvent::CloseRequest;
    }
    void ReceiveScannedImage(std::unique_ptr<VaZavi> image, const acquire::ImageInfo& info) override {
        pages.push_back(std::move(image));
        infos.push_back(info);
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void TransferProgress(int page, int percent) override {
        if (onProgress) onProgress(page, percent);
    }
};

// One scan with the given options; the collector keeps the pages.
std::unique_ptr<Collector> ScanWith(std::vector<std::pair<std::string, std::string>> settings, int pages = -1) {
    auto c = std::make_unique<Collector>();
    c->settings = std::move(settings);
    c->pagesWanted = pages;
    EXPECT_TRUE(c->StartScannerManager(nullptr));
    EXPECT_TRUE(c->managerOpen);
    c->Scan();
    EXPECT_TRUE(c->optionErrors.empty()) << c->optionErrors.front();
    return c;
}

// The same page as scanimage reads it from the same back end.
Rgb Reference(const SaneConfig& cfg, const std::string& options) {
    const std::string out = cfg.Dir().File("reference.pnm");
    EXPECT_EQ(Run("scanimage -d test:0 --format=pnm " + options + " > " + out + " 2>/dev/null"), 0);
    return ReadPnm(out);
}

}  // namespace

TEST(Scan, ColourAndGreyPagesAreTheTestPattern) {
    SaneConfig cfg;
    ASSERT_TRUE(HaveTool("scanimage"));
    // Colour at 50 dpi over 80 x 100 mm: 157 x 196 pixels.
    auto colour = ScanWith({{"resolution", "50"}});
    ASSERT_EQ(colour->pages.size(), 1u);
    const VaZavi& c = *colour->pages[0];
    EXPECT_EQ(c.Width(), 157);
    EXPECT_EQ(c.Height(), 196);
    EXPECT_EQ(c.BitCount(), 24);
    EXPECT_EQ(c.info.xDpi, 50);
    const Rgb ref = Reference(cfg, "--mode Color --resolution 50 -x 80 -y 100");
    const Diff d = Compare(ToRgb(c), ref);
    EXPECT_EQ(d.count, 0u) << "largest difference " << d.max;
    EXPECT_EQ(colour->infos[0].samplesPerPixel, 3);

    // Grey at 75 dpi: an 8-bit picture with a grey palette.
    auto grey = ScanWith({{"mode", "Gray"}, {"resolution", "75"}});
    ASSERT_EQ(grey->pages.size(), 1u);
    const VaZavi& g = *grey->pages[0];
    EXPECT_EQ(g.BitCount(), 8);
    EXPECT_TRUE(g.IsGrayScale());
    EXPECT_EQ(g.Width(), int(80 / 25.4 * 75));
    EXPECT_EQ(Compare(ToRgb(g), Reference(cfg, "--mode Gray --resolution 75 -x 80 -y 100")).count, 0u);

    // The grid: squares of 10 mm, white at the top left.
    auto grid = ScanWith({{"mode", "Gray"}, {"resolution", "100"}, {"test-picture", "Grid"}});
    ASSERT_EQ(grid->pages.size(), 1u);
    const Rgb px = ToRgb(*grid->pages[0]);
    size_t wrong = 0;
    size_t checked = 0;
    auto square = [](int p) { return int(p * 25.4 / 100 / 10); };
    for (int y = 0; y < px.height; ++y)
        for (int x = 0; x < px.width; ++x) {
            // Pixels beside a square's edge may fall either way.
            if (square(x - 1) != square(x + 1) || square(y - 1) != square(y + 1)) continue;
            const bool white = (square(x) + square(y)) % 2 == 0;
            wrong += px.at(x, y, 0) != (white ? 255 : 0);
            ++checked;
        }
    EXPECT_EQ(wrong, 0u);
    EXPECT_GT(checked, size_t(px.width) * px.height * 9 / 10);
    EXPECT_EQ(px.at(39, 0, 0), 255);
    EXPECT_EQ(px.at(40, 0, 0), 0);
}

TEST(Scan, EveryFrameFormatGivesTheSamePicture) {
    SaneConfig cfg;
    const Rgb colour = Reference(cfg, "--mode Color --resolution 40 -x 80 -y 100");
    const Rgb grey = Reference(cfg, "--mode Gray --resolution 40 -x 80 -y 100");
    const Rgb lineArt = Reference(cfg, "--mode Gray --depth 1 --resolution 40 -x 80 -y 100");
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> settings;
        const Rgb* expected;
        int bits;
        int tolerance;
    };
    const Case cases[] = {
        {"three-pass colour", {{"three-pass", "yes"}}, &colour, 24, 0},
        {"three-pass in another order", {{"three-pass", "yes"}, {"three-pass-order", "BRG"}}, &colour, 24, 0},
        {"16-bit colour", {{"depth", "16"}}, nullptr, 24, 0},
        {"16-bit grey", {{"mode", "Gray"}, {"depth", "16"}}, nullptr, 8, 0},
        {"line art", {{"mode", "Gray"}, {"depth", "1"}}, &lineArt, 1, 0},
        {"reads of 7 bytes that split lines", {{"read-limit", "yes"}, {"read-limit-size", "7"}}, &colour, 24, 0},
        {"hand scanner of unknown height", {{"mode", "Gray"}, {"hand-scanner", "yes"}}, nullptr, 8, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        auto settings = k.settings;
        settings.insert(settings.begin(), {"resolution", "40"});
        auto s = ScanWith(settings);
        ASSERT_EQ(s->pages.size(), 1u);
        const VaZavi& p = *s->pages[0];
        EXPECT_EQ(p.BitCount(), k.bits);
        if (k.expected) {
            EXPECT_EQ(Compare(ToRgb(p), *k.expected).count, 0u);
        }
    }
    // 16-bit samples: the high byte of each, as scanimage's 16-bit page says.
    {
        auto s = ScanWith({{"resolution", "40"}, {"mode", "Gray"}, {"depth", "16"}});
        const std::string out = cfg.Dir().File("g16.pnm");
        ASSERT_EQ(testsupport::Run("scanimage -d test:0 --format=pnm --mode Gray --depth 16 --resolution 40 -x 80 -y 100 > " + out +
                      " 2>/dev/null"),
                  0);
        const std::vector<uint8_t> bytes = ReadBytes(out);
        // P5 header of three lines, then big-endian samples.
        size_t pos = 0;
        for (int lines = 0; lines < 4 && pos < bytes.size(); ++pos)
            if (bytes[pos] == '\n') ++lines;
        const VaZavi& p = *s->pages[0];
        ASSERT_EQ(bytes.size() - pos, size_t(p.Width()) * p.Height() * 2);
        size_t wrong = 0;
        for (int y = 0; y < p.Height(); ++y)
            for (int x = 0; x < p.Width(); ++x)
                wrong += p.Row(p.Height() - 1 - y)[x] != bytes[pos + (size_t(y) * p.Width() + x) * 2];
        EXPECT_EQ(wrong, 0u);
    }
    // A hand scanner's page has the height of the lines that came.
    {
        auto s = ScanWith({{"resolution", "40"}, {"hand-scanner", "yes"}});
        ASSERT_EQ(s->pages.size(), 1u);
        EXPECT_EQ(s->infos[0].height, -1);
        EXPECT_GT(s->pages[0]->Height(), 0);
    }
    // Pixels lost at the end of each line: the picture has the pixels
    // that are there, not the padding.
    {
        auto s = ScanWith({{"resolution", "40"}, {"ppl-loss", "5"}});
        ASSERT_EQ(s->pages.size(), 1u);
        EXPECT_EQ(s->pages[0]->Width(), colour.width - 5);
        Rgb cut = colour;
        cut.width -= 5;
        cut.px.clear();
        for (int y = 0; y < colour.height; ++y)
            for (int x = 0; x < cut.width; ++x)
                for (int ch = 0; ch < 3; ++ch) cut.px.push_back(colour.at(x, y, ch));
        EXPECT_EQ(Compare(ToRgb(*s->pages[0]), cut).count, 0u);
    }
}

TEST(Scan, DocumentFeederPagesBecomeNumberedDocuments) {
    SaneConfig cfg;
    // Three pages asked of the feeder.
    auto s = ScanWith({{"resolution", "20"}, {"source", "Automatic Document Feeder"}}, 3);
    ASSERT_EQ(s->pages.size(), 3u);
    EXPECT_EQ(s->pagesReceived, 3);
    EXPECT_TRUE(s->transferError.empty()) << s->transferError;
    HeadlessHost host;
    host.echoMessages = false;
    std::vector<std::string> names;
    for (auto& page : s->pages) {
        auto doc = acquire::DocumentFromPicture(&host, std::move(page), acquire::ScanDocumentName(host.NextImageNumber()));
        ASSERT_TRUE(doc);
        names.push_back(doc->displayName);
        EXPECT_EQ(doc->LayerCount(), 1);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"스캔영상_1", "스캔영상_2", "스캔영상_3"}));

    // Without a count the feeder gives all it holds (ten pages) and its
    // emptying is the normal end, not a failure.
    auto all = ScanWith({{"resolution", "20"}, {"source", "Automatic Document Feeder"}});
    EXPECT_EQ(all->pages.size(), 10u);
    EXPECT_TRUE(all->transferError.empty()) << all->transferError;
    // The flatbed gives one page per scan.
    auto flat = ScanWith({{"resolution", "20"}, {"source", "Flatbed"}});
    EXPECT_EQ(flat->pages.size(), 1u);
    // The source stays known after the batch closed it: the next scan
    // reopens the same device without asking.
    EXPECT_FALSE(flat->sourceOpen);
    EXPECT_FALSE(flat->sourceEnabled);
    EXPECT_TRUE(flat->sourceKnown);
    EXPECT_EQ(flat->sourceIdentity.name, "test:0");
    flat->Scan();
    EXPECT_EQ(flat->pages.size(), 2u);
}

TEST(Scan, CancelledScanLeavesNoPicture) {
    SaneConfig cfg;
    auto c = std::make_unique<Collector>();
    // Slow reads: the cancel comes while the first page is under way.
    c->settings = {{"resolution", "100"}, {"read-limit", "yes"}, {"read-limit-size", "64"},
                   {"read-delay", "yes"}, {"read-delay-duration", "1000"}};
    Collector* raw = c.get();
    bool cancelSent = false;
    c->onProgress = [raw, &cancelSent](int, int percent) {
        if (percent >= 1 && !cancelSent) {
            cancelSent = true;
            std::thread([raw] { raw->RequestCancel(); }).join();
        }
    };
    ASSERT_TRUE(c->StartScannerManager(nullptr));
    c->Scan();
    EXPECT_TRUE(cancelSent);
    EXPECT_TRUE(c->transferCancelled);
    EXPECT_TRUE(c->pages.empty());
    EXPECT_EQ(c->pagesReceived, 0);
    EXPECT_FALSE(c->sourceOpen);
    // The device is usable again afterwards.
    c->settings = {{"read-delay", "no"}, {"read-limit", "no"}, {"resolution", "20"}};
    c->onProgress = nullptr;
    c->Scan();
    EXPECT_EQ(c->pages.size(), 1u);
}

TEST(Scan, WithoutTheLibraryEverythingRefusesQuietly) {
    SaneConfig cfg;
    setenv("PIMLORA_SANE_LIBRARY", cfg.Dir().File("no-such-libsane.so.1").c_str(), 1);
    Collector c;
    EXPECT_FALSE(c.StartScannerManager(nullptr));
    EXPECT_FALSE(c.ManagerLoaded());
    EXPECT_FALSE(c.ChooseScanner());
    EXPECT_FALSE(c.OpenScanner());
    EXPECT_FALSE(c.Scan());
    EXPECT_TRUE(c.Devices().empty());
    EXPECT_EQ(c.lastReturnCode, 1);
    EXPECT_TRUE(c.messages.empty());
    EXPECT_TRUE(c.pages.empty());
    unsetenv("PIMLORA_SANE_LIBRARY");
}

TEST(Scan, ChoosingAndOpeningSources) {
    SaneConfig cfg;
    // One manager at a time in a process, as in the editor.
    {
        Collector c;
        ASSERT_TRUE(c.StartScannerManager(nullptr));
        const auto devices = c.Devices();
        ASSERT_EQ(devices.size(), 2u);
        EXPECT_EQ(devices[0].name, "test:0");
        EXPECT_EQ(devices[0].vendor, "Noname");
        EXPECT_EQ(devices[0].type, "virtual device");
        // No source known: the choice takes the default source (the first).
        EXPECT_TRUE(c.ChooseScanner());
        EXPECT_EQ(c.sourceIdentity.name, "test:0");
    }
    {
        // The remembered device is the default source.
        Collector r;
        r.device = "test:1";
        ASSERT_TRUE(r.StartScannerManager(nullptr));
        EXPECT_TRUE(r.OpenScanner());
        EXPECT_EQ(r.sourceIdentity.name, "test:1");
        EXPECT_TRUE(r.messages.empty());
    }
    {
        // A known device that cannot be opened says so, at every attempt.
        Collector k;
        ASSERT_TRUE(k.StartScannerManager(nullptr));
        acquire::SourceIdentity gone{"test:7", "", "", ""};
        EXPECT_FALSE(k.OpenScanner(&gone));
        EXPECT_EQ(k.messages, std::vector<std::string>{acquire::kCannotConnect});
        EXPECT_FALSE(k.Scan());
        EXPECT_EQ(k.messages.size(), 2u);
        EXPECT_TRUE(k.pages.empty());
    }
}

TEST(Scan, OptionsKeepTheDeviceConstraints) {
    SaneConfig cfg;
    Collector c;
    ASSERT_TRUE(c.StartScannerManager(nullptr));
    ASSERT_TRUE(c.OpenScanner());
    acquire::ScanOptions& o = *c.Options();
    const acquire::ScanOption* mode = o.Find("mode");
    ASSERT_TRUE(mode);
    EXPECT_EQ(mode->constraint, acquire::ScanOption::Constraint::Texts);
    EXPECT_EQ(mode->texts, (std::vector<std::string>{"Gray", "Color"}));
    EXPECT_EQ(mode->value, "Color");
    EXPECT_TRUE(mode->Shown());
    const acquire::ScanOption* res = o.Find("resolution");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->constraint, acquire::ScanOption::Constraint::Range);
    EXPECT_EQ(res->min, 1);
    EXPECT_EQ(res->max, 1200);
    EXPECT_EQ(res->UnitText(), "dpi");
    const acquire::ScanOption* source = o.Find("source");
    ASSERT_TRUE(source);
    EXPECT_NE(std::find(source->texts.begin(), source->texts.end(), "Automatic Document Feeder"), source->texts.end());
    EXPECT_TRUE(o.Find("br-y") && o.Find("br-y")->Shown());
    EXPECT_FALSE(o.SourceIsFeeder());
    // Values outside the device's constraint are refused before they reach it.
    std::string error;
    EXPECT_FALSE(o.Set("resolution", "0", error));
    EXPECT_NE(error.find("between 1 and 1200"), std::string::npos);
    EXPECT_FALSE(o.Set("resolution", "fifty", error));
    EXPECT_FALSE(o.Set("mode", "Sepia", error));
    EXPECT_FALSE(o.Set("no-such-option", "1", error));
    EXPECT_FALSE(o.Set("three-pass", "maybe", error));
    EXPECT_EQ(o.Resolution(), 50);
    // A text of the list in another case takes the device's spelling.
    EXPECT_TRUE(o.Set("mode", "gray", error)) << error;
    EXPECT_EQ(o.Find("mode")->value, "Gray");
    // Gray has no three-pass: the device took the option away.
    bool reloaded = false;
    EXPECT_FALSE(o.Find("three-pass")->Active());
    EXPECT_TRUE(o.Set("mode", "Color", error, &reloaded));
    EXPECT_TRUE(reloaded);
    EXPECT_TRUE(o.Find("three-pass")->Active());
    EXPECT_TRUE(o.Set("source", "automatic document feeder", error));
    EXPECT_TRUE(o.SourceIsFeeder());
    EXPECT_TRUE(acquire::IsFeederSource("ADF Duplex"));
    EXPECT_FALSE(acquire::IsFeederSource("Flatbed"));
}
