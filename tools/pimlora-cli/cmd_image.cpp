// Image-level commands: info and convert.
#include <cstdio>

#include "CVexoDoc.h"
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
    cli::Options o;
    if (std::string bad = cli::ParseOptions(args, {}, {}, o); !bad.empty()) return cli::Usage(bad);
    if (o.positional.size() != 1) return cli::Usage("info takes one FILE");
    const std::string& file = o.positional[0];
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

bool IsVor(int type) { return type == kTypeVOR || type == kTypeSCO; }

int Convert(const cli::Args& args) {
    cli::Options o;
    if (std::string bad = cli::ParseOptions(args, {}, {"--frame", "--quality"}, o); !bad.empty())
        return cli::Usage(bad);
    int frame = 0, quality = -1;
    if (o.values.count("--frame") && (!cli::ParseInt(o.values["--frame"], frame) || frame < 0))
        return cli::Usage("--frame takes a page or frame number from 0");
    // The JPEG library takes qualities 1 to 100.
    if (o.values.count("--quality") && (!cli::ParseInt(o.values["--quality"], quality) || quality < 1 || quality > 100))
        return cli::Usage("--quality takes 1 to 100");
    if (o.positional.size() != 2) return cli::Usage("convert takes IN and OUT");
    const std::string& in = o.positional[0];
    const std::string& out = o.positional[1];
    const int inType = cli::TypeFromExtension(in), outType = cli::TypeFromExtension(out);
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc doc(&host);
    doc.recordUndo = false;   // no undo journal for a conversion
    auto docFailure = [&](const std::string& file, const char* fallback) {
        return cli::Fail(file, !doc.lastError.empty() ? doc.lastError
                               : !host.messages.empty() ? host.messages.back() : std::string(fallback));
    };
    if (IsVor(inType)) {
        // A layered document: its composite goes to OUT.
        if (!doc.Open(in)) return docFailure(in, "cannot be opened as a document");
    } else {
        VaZavi img(inType);
        img.info.frameIndex = frame;
        if (!img.Load(in.c_str(), inType)) return cli::Fail(in, ErrorText(img, "not a picture this program can read"));
        if (quality >= 0) img.info.jpegQuality = uint8_t(quality);
        img.SetLastError("");
        if (!IsVor(outType)) {
            if (!img.Save(out.c_str(), outType)) return cli::Fail(out, ErrorText(img, "could not be saved"));
            return cli::kOk;
        }
        // A picture into a VOR document of one layer.
        if (!doc.OpenPicture(img, in)) return docFailure(in, "cannot be held as a document");
    }
    if (quality >= 0) doc.image.info.jpegQuality = uint8_t(quality);
    if (!doc.Save(out)) return docFailure(out, "could not be saved");
    return cli::kOk;
}

const cli::Registrar kInfo({"info", "  pimlora-cli info FILE\n", 10, Info});
const cli::Registrar kConvert({"convert",
                               "  pimlora-cli convert IN OUT [--frame N] [--quality Q]\n"
                               "      --quality 1 to 100 (JPEG); OUT .vor or .sco: a VOR document of one layer;\n"
                               "      IN .vor or .sco: its composite\n",
                               20, Convert});

}  // namespace
