// Image-level commands: info and convert.
#include <cstdio>

#include "VaZavi.h"
#include "cli.h"
#include "image_probe.h"
#include "vor_probe.h"

namespace {

const char* FormatName(int type) {
    switch (type) {
    case 0: return "jpeg";
    case 1: return "bmp";
    case 2: return "gif";
    case 3: return "tiff";
    case 4: return "pcx";
    case 5: return "vor";
    default: return "unknown";
    }
}

std::string ErrorText(const VaZavi& img, const char* fallback) {
    return img.LastError()[0] ? std::string(img.LastError()) : std::string(fallback);
}

// Headers only: the picture's pixels (and a document's layers) are never read.
int Info(const cli::Args& args) {
    if (args.size() != 1) return cli::Usage("info takes one FILE");
    const std::string& file = args[0];
    const int type = cli::TypeFromExtension(file);
    ImageProbe p;
    if (type == kTypeVOR || type == kTypeSCO) {
        if (!ProbeVorFile(file, p))
            return cli::Fail(file, "not a readable VOR document" + (p.error.empty() ? "" : " (" + p.error + ")"));
    } else if (!ProbePictureFile(file.c_str(), type < 0 ? kTypeDetect : type, p)) {
        // Detection goes on to the program's own documents.
        ImageProbe vor;
        if (type >= 0 || !ProbeVorFile(file, vor))
            return cli::Fail(file, p.error.empty() ? "not a picture this program can read" : p.error);
        p = vor;
    }
    std::printf("format=%s width=%d height=%d bits=%d colors=%d frames=%d xdpi=%d ydpi=%d\n", FormatName(p.type),
                p.width, p.height, p.bits, p.colors, p.frames > 0 ? p.frames : 1, p.xDpi, p.yDpi);
    return cli::kOk;
}

int Convert(const cli::Args& args) {
    std::vector<std::string> files;
    int frame = 0, quality = -1;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--frame" || a == "--quality") {
            int v;
            if (i + 1 >= args.size() || !cli::ParseInt(args[i + 1], v)) return cli::Usage(a + " needs a number");
            if (a == "--frame") {
                if (v < 0) return cli::Usage("--frame must not be negative");
                frame = v;
            } else {
                if (v < 0 || v > 255) return cli::Usage("--quality takes 0 to 255");
                quality = v;
            }
            ++i;
        } else if (a.size() > 1 && a[0] == '-') {
            return cli::Usage("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) return cli::Usage("convert takes IN and OUT");
    const std::string& in = files[0];
    const std::string& out = files[1];
    VaZavi img(cli::TypeFromExtension(in));
    img.info.frameIndex = frame;
    if (!img.Load(in.c_str(), cli::TypeFromExtension(in)))
        return cli::Fail(in, ErrorText(img, "not a picture this program can read"));
    if (quality >= 0) img.info.jpegQuality = uint8_t(quality);
    img.SetLastError("");
    if (!img.Save(out.c_str(), cli::TypeFromExtension(out))) return cli::Fail(out, ErrorText(img, "could not be saved"));
    return cli::kOk;
}

const cli::Registrar kInfo({"info", "  pimlora-cli info FILE\n", 10, Info});
const cli::Registrar kConvert({"convert", "  pimlora-cli convert IN OUT [--frame N] [--quality Q]\n", 20, Convert});

}  // namespace
