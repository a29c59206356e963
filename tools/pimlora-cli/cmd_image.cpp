// Image-level commands: info and convert.
#include <cstdio>

#include "CVexoDoc.h"
#include "VaZavi.h"
#include "cli.h"

namespace {

const char* FormatName(int type) {
    switch (type) {
    case 0: return "jpeg";
    case 1: return "bmp";
    case 2: return "gif";
    case 3: return "tiff";
    case 4: return "pcx";
    default: return "unknown";
    }
}

std::string ErrorText(const VaZavi& img, const char* fallback) {
    return img.LastError()[0] ? std::string(img.LastError()) : std::string(fallback);
}

int Info(const cli::Args& args) {
    cli::Options o;
    if (std::string bad = cli::ParseOptions(args, {}, {}, o); !bad.empty()) return cli::Usage(bad);
    if (o.positional.size() != 1) return cli::Usage("info takes one FILE");
    const std::string& file = o.positional[0];
    VaZavi img(cli::TypeFromExtension(file) < 0 ? -1 : cli::TypeFromExtension(file));
    if (!img.Load(file.c_str(), cli::TypeFromExtension(file)))
        return cli::Fail(file, ErrorText(img, "not a picture this program can read"));
    std::printf("format=%s width=%d height=%d bits=%d colors=%d frames=%d xdpi=%d ydpi=%d\n",
                FormatName(img.info.type), img.Width(), img.Height(), img.BitCount(), img.ColorsUsed(),
                img.info.frameCount > 0 ? img.info.frameCount : 1, img.info.xDpi, img.info.yDpi);
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
