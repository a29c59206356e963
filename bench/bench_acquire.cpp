// Pictures from a scanner and from the screen, side by side with the tools
// that do the same:
//   Scan/*        SANE's test back end at 600 dpi over A4 in colour: our scan
//                 into a picture in memory, and scanimage with the same
//                 options writing its page to /dev/null (rate in bytes/s).
//   Capture/*     a 1920 x 1080 screen (a private Xvfb) becoming a document:
//                 the read alone and the whole road to the document.
// The back end's configuration and the X server are private to the run.
#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "CTwain.h"
#include "CVexoDoc.h"
#include "VaZavi.h"
#include "picture_document.h"
#include "x11_screen.h"

namespace {

std::string Folder() {
    static std::string dir = [] {
        char tmpl[] = "/tmp/pimlora-bench-acquire-XXXXXX";
        std::string d = mkdtemp(tmpl);
        std::ofstream(d + "/dll.conf") << "test\n";
        std::ofstream(d + "/test.conf") << "number_of_devices 1\nmode Color\ndepth 8\n"
                                           "resolution_min 1.0\nresolution_max 1200.0\nresolution_quant 1.0\n"
                                           "resolution 600.0\ntest-picture \"Color pattern\"\n"
                                           "geometry_min 0.0\ngeometry_max 300.0\ngeometry_quant 1.0\n"
                                           "tl_x 0.0\ntl_y 0.0\nbr_x 210.0\nbr_y 297.0\n";
        setenv("SANE_CONFIG_DIR", d.c_str(), 1);
        setenv("PIMLORA_HOME", (d + "/home").c_str(), 1);
        return d;
    }();
    return dir;
}

class MemoryScanner : public acquire::CTwain {
public:
    int64_t bytes = 0;
    void ReceiveScannedImage(std::unique_ptr<VaZavi> image, const acquire::ImageInfo&) override {
        bytes += int64_t(image->Width()) * image->Height() * 3;
        benchmark::DoNotOptimize(image->Row(0));
    }
};

void ScanOurs(benchmark::State& state) {
    Folder();
    MemoryScanner s;
    if (!s.StartScannerManager(nullptr) || !s.OpenScanner()) {
        state.SkipWithError("no SANE test back end");
        return;
    }
    for (auto _ : state) s.Scan();
    state.SetBytesProcessed(s.bytes);
}

void ScanScanimage(benchmark::State& state) {
    Folder();
    int64_t bytes = 0;
    for (auto _ : state) {
        if (std::system("scanimage -d test:0 --format=pnm --mode Color --resolution 600 -l 0 -t 0 -x 210 -y 297 "
                        "> /dev/null 2>&1") != 0) {
            state.SkipWithError("scanimage failed");
            return;
        }
        bytes += int64_t(4960) * 7015 * 3;
    }
    state.SetBytesProcessed(bytes);
}

// Xvfb 1920 x 1080 for the capture runs, on a display it picks itself.
class Server {
public:
    Server() {
        int fd[2];
        if (pipe(fd)) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fd[1], 1);
            close(fd[0]);
            execlp("Xvfb", "Xvfb", "-displayfd", "1", "-screen", "0", "1920x1080x24", "-nolisten", "tcp", "-noreset",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fd[1]);
        std::string n;
        char c;
        while (read(fd[0], &c, 1) == 1 && c != '\n') n += c;
        close(fd[0]);
        if (!n.empty()) display_ = ":" + n;
    }
    ~Server() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& Name() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

Server& XServer() {
    static Server s;
    return s;
}

void CaptureRead(benchmark::State& state) {
    acquire::XScreen screen;
    if (XServer().Name().empty() || !screen.Open(XServer().Name().c_str())) {
        state.SkipWithError("no Xvfb");
        return;
    }
    for (auto _ : state) {
        std::string error;
        auto p = screen.CaptureWindow(screen.Root(), false, 0, error);
        benchmark::DoNotOptimize(p.get());
    }
}

void CaptureToDocument(benchmark::State& state) {
    Folder();
    if (XServer().Name().empty()) {
        state.SkipWithError("no Xvfb");
        return;
    }
    HeadlessHost host;
    host.echoMessages = false;
    for (auto _ : state) {
        // As the editor does it: connect, read the screen, make the document.
        acquire::XScreen screen;
        screen.Open(XServer().Name().c_str());
        std::string error;
        auto doc = acquire::DocumentFromPicture(&host, screen.CaptureWindow(screen.Root(), false, 0, error),
                                                acquire::CaptureDocumentName(host.NextImageNumber()));
        if (!doc) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(doc.get());
        doc->DiscardJournalFiles();
    }
}

}  // namespace

BENCHMARK(ScanOurs)->Name("Scan/ours_600dpi_A4_colour")->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(ScanScanimage)->Name("Scan/scanimage_600dpi_A4_colour")->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(CaptureRead)->Name("Capture/read_1920x1080")->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();
BENCHMARK(CaptureToDocument)->Name("Capture/document_1920x1080")->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();
BENCHMARK_MAIN();
