// Pictures from a scanner and from the screen: scan and capture.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "CTwain.h"
#include "CVexoDoc.h"
#include "VaZavi.h"
#include "cli.h"
#include "picture_document.h"
#include "x11_screen.h"

namespace {

// Page n of a scan: OUT for the first, NAME-n.EXT after it.
std::string PagePath(const std::string& out, int n) {
    if (n <= 1) return out;
    const size_t slash = out.find_last_of('/');
    const size_t dot = out.find_last_of('.');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string suffix = "-" + std::to_string(n);
    return hasExt ? out.substr(0, dot) + suffix + out.substr(dot) : out + suffix;
}

bool SavableType(int type) { return type >= 0 && type != 4 && type != 6; }

// Writes a picture by the file's extension; a VOR file, or a picture the
// codec cannot take as it is (line art as JPEG), goes through a document.
bool WritePicture(std::unique_ptr<VaZavi> picture, const std::string& path, const std::string& name,
                  std::string& error) {
    const int type = cli::TypeFromExtension(path);
    if (type != 5) {
        picture->SetLastError("");
        if (picture->Save(path.c_str(), type)) return true;
    }
    HeadlessHost host;
    host.echoMessages = false;
    std::unique_ptr<CVexoDoc> doc = acquire::DocumentFromPicture(&host, std::move(picture), name);
    if (!doc) {
        error = "could not be made into a document";
        return false;
    }
    if (doc->Save(path)) return true;
    error = doc->lastError.empty() ? "could not be saved" : doc->lastError;
    return false;
}

class CliScanner : public acquire::CTwain {
public:
    std::string out, device;
    std::vector<std::pair<std::string, std::string>> settings;
    std::string failedFile, failure;   // the first failure
    int written = 0;

    std::string DefaultSourceName() override { return device; }

    acquire::ScannerEvent ShowSourceInterface() override {
        // The options given on the command line, in their order.
        for (const auto& [key, value] : settings) {
            std::string error;
            if (!Options() || !Options()->Set(key, value, error)) {
                Failure(sourceIdentity.name, error.empty() ? "cannot set option " + key : error);
                return acquire::ScannerEvent::CloseRequest;
            }
        }
        return acquire::ScannerEvent::TransferReady;
    }

    void ReceiveScannedImage(std::unique_ptr<VaZavi> image, const acquire::ImageInfo&) override {
        if (!failure.empty()) return;
        const std::string path = PagePath(out, written + 1);
        std::string error;
        if (!WritePicture(std::move(image), path, acquire::ScanDocumentName(written + 1), error)) {
            Failure(path, error);
            RequestCancel();
            return;
        }
        ++written;
        std::printf("%s\n", path.c_str());
        std::fflush(stdout);
    }

    void ShowMessage(const std::string& text) override {
        Failure(sourceIdentity.name, text + (lastCondition.empty() ? "" : " (" + lastCondition + ")"));
    }

    void Failure(const std::string& file, const std::string& text) {
        if (failure.empty()) {
            failedFile = file;
            failure = text;
        }
    }
};

int Scan(const cli::Args& args) {
    CliScanner scanner;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-') {
            files.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "--device" || a == "--option" || a == "--pages") {
            if (i + 1 >= args.size()) return cli::Usage(a + " needs a value");
            const std::string& v = args[++i];
            if (a == "--device") {
                scanner.device = v;
            } else if (a == "--pages") {
                int n;
                if (!cli::ParseInt(v, n) || n < 1 || n > 32767) return cli::Usage("--pages takes 1 to 32767");
                scanner.pagesWanted = n;
            } else {
                const size_t eq = v.find('=');
                if (eq == std::string::npos || eq == 0) return cli::Usage("--option takes KEY=VALUE");
                scanner.settings.emplace_back(v.substr(0, eq), v.substr(eq + 1));
            }
        } else {
            return cli::Usage("unknown option '" + a + "' (put -- before a file name that starts with '-')");
        }
    }
    if (files.size() != 1) return cli::Usage("scan takes one OUT");
    scanner.out = files[0];
    if (!SavableType(cli::TypeFromExtension(scanner.out)))
        return cli::Fail(scanner.out, "unknown file type (bmp, jpg, gif, tif or vor)");

    if (!scanner.StartScannerManager(nullptr) || !scanner.ManagerLoaded())
        return cli::Fail(acquire::SaneLibrary::FileName(), "the SANE library cannot be loaded: " + scanner.lastCondition);
    if (!scanner.managerOpen) return cli::Fail("sane_init", scanner.lastCondition);
    if (!scanner.OpenScanner(nullptr)) {
        if (!scanner.failure.empty()) return cli::Fail(scanner.failedFile, scanner.failure);
        if (scanner.sourceIdentity.Empty()) return cli::Fail("scan", "no scanner found");
        return cli::Fail(scanner.sourceIdentity.name, "cannot be opened (" + scanner.lastCondition + ")");
    }
    const std::string deviceName = scanner.sourceIdentity.name;
    scanner.Scan();
    if (!scanner.failure.empty()) return cli::Fail(scanner.failedFile, scanner.failure);
    if (scanner.transferCancelled) return cli::Fail(deviceName, "the scan was cancelled");
    if (!scanner.transferError.empty()) return cli::Fail(deviceName, scanner.transferError);
    if (scanner.written == 0) return cli::Fail(deviceName, "the scanner sent no picture");
    return cli::kOk;
}

bool ParseArea(const std::string& text, acquire::ScreenRect& r) {
    int v[4];
    size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t comma = text.find(',', pos);
        if ((i < 3) != (comma != std::string::npos)) return false;
        if (!cli::ParseInt(text.substr(pos, i < 3 ? comma - pos : std::string::npos), v[i])) return false;
        pos = comma + 1;
    }
    r = {v[0], v[1], v[2], v[3]};
    return r.width > 0 && r.height > 0;
}

int Capture(const cli::Args& args) {
    std::vector<std::string> files;
    std::string window;
    bool byWindow = false, byArea = false;
    acquire::ScreenRect area;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-') {
            files.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "--window" || a == "--area") {
            if (i + 1 >= args.size()) return cli::Usage(a + " needs a value");
            const std::string& v = args[++i];
            if (a == "--window") {
                window = v;
                byWindow = true;
            } else {
                if (!ParseArea(v, area)) return cli::Usage("--area takes X,Y,W,H with a positive width and height");
                byArea = true;
            }
        } else {
            return cli::Usage("unknown option '" + a + "' (put -- before a file name that starts with '-')");
        }
    }
    if (files.size() != 1) return cli::Usage("capture takes one OUT");
    if (byWindow && byArea) return cli::Usage("capture takes --window or --area, not both");
    const std::string& out = files[0];
    if (!SavableType(cli::TypeFromExtension(out)))
        return cli::Fail(out, "unknown file type (bmp, jpg, gif, tif or vor)");

    acquire::XScreen screen;
    if (!screen.Open()) return cli::Fail(out, "screen capture needs an X display");
    std::string error;
    std::unique_ptr<VaZavi> picture;
    if (byArea) {
        picture = screen.ReadArea(area, error);
    } else if (byWindow) {
        unsigned long id = 0;
        for (const acquire::WindowEntry& e : screen.ListWindows())
            if (e.title == window) {
                id = e.window;
                break;
            }
        if (!id) return cli::Fail(out, "no window titled '" + window + "' is on the screen");
        picture = screen.CaptureWindow(id, true, 200, error);
    } else {
        picture = screen.CaptureWindow(screen.Root(), false, 0, error);
    }
    if (!picture) return cli::Fail(out, error);
    if (!WritePicture(std::move(picture), out, acquire::CaptureDocumentName(1), error)) return cli::Fail(out, error);
    return cli::kOk;
}

const cli::Registrar kScan({"scan",
                            "  pimlora-cli scan OUT [--device NAME] [--option KEY=VALUE]... [--pages N]\n"
                            "      one file per page: OUT, then NAME-2.EXT, NAME-3.EXT, ... (printed one a line);\n"
                            "      the first scanner SANE lists unless --device names one; KEY is a SANE option\n"
                            "      (mode, resolution, source, tl-x, br-y, ...); a document feeder gives every\n"
                            "      page it holds, or N pages\n",
                            60, Scan});
const cli::Registrar kCapture({"capture",
                               "  pimlora-cli capture OUT [--window TITLE | --area X,Y,W,H]\n"
                               "      the whole screen, a top-level window by its title, or an area of the screen\n",
                               61, Capture});

}  // namespace
