// apply: runs filter and transform steps on a picture through the document
// (one layer made from the picture), and writes the result.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "CVexoDoc.h"
#include "VaZavi.h"
#include "cli.h"
#include "commands.h"
#include "filter_commands.h"

namespace {

bool PictureToDocument(VaZavi& pic, CVexoDoc& doc) {
    if (!doc.NewImage(pic.Width(), pic.Height())) return false;
    LayerRecord& L = doc.live.layers[doc.currentLayer];
    for (int r = 0; r < pic.Height(); ++r) {
        uint8_t* d = L.PixelRow(r);
        if (pic.BitCount() == 24) {
            std::memcpy(d, pic.Row(r), size_t(pic.Width()) * 3);
        } else {
            for (int x = 0; x < pic.Width(); ++x) {
                const uint32_t c = pic.GetPixelColor(x, r);
                d[3 * x] = ColB(c), d[3 * x + 1] = ColG(c), d[3 * x + 2] = ColR(c);
            }
        }
    }
    doc.prevState.layers[doc.currentLayer].CopyFrom(L);
    return true;
}

bool LayerToPicture(const CVexoDoc& doc, VaZavi& out) {
    const LayerRecord& L = doc.live.layers[doc.currentLayer];
    if (!out.CreateUnfilled(24, L.width, L.height, kTypeBMP)) return false;
    for (int r = 0; r < L.height; ++r) std::memcpy(out.Row(r), L.PixelRow(r), size_t(L.width) * 3);
    return true;
}

int Apply(const cli::Args& args) {
    std::vector<std::string> rest;
    bool timing = false;
    for (const std::string& a : args) {
        if (a == "--time")
            timing = true;
        else
            rest.push_back(a);
    }
    if (rest.size() < 2) return cli::Usage("apply takes INPUT OUTPUT and steps");
    const std::string& in = rest[0];
    const std::string& outPath = rest[1];
    VaZavi pic(-1);
    if (!pic.Load(in.c_str(), cli::TypeFromExtension(in)))
        return cli::Fail(in, pic.LastError()[0] ? pic.LastError() : "not a picture this program can read");
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc doc(&host);
    if (!PictureToDocument(pic, doc)) return cli::Fail(in, "picture too large for a document");
    for (size_t i = 2; i < rest.size(); ++i) {
        const std::string& step = rest[i];
        const auto start = std::chrono::steady_clock::now();
        bool ok = false;
        try {
            const size_t colon = step.find(':');
            const std::string head = step.substr(0, colon);
            const std::string tail = colon == std::string::npos ? "" : step.substr(colon + 1);
            int id = 0;
            if (head == "resize") {
                int w = 0, h = 0;
                const size_t comma = tail.find(',');
                if (comma == std::string::npos || !cli::ParseInt(tail.substr(0, comma), w) ||
                    !cli::ParseInt(tail.substr(comma + 1), h))
                    return cli::Usage("resize:WIDTH,HEIGHT");
                ok = docfilters::ResizeCanvas(doc, w, h);
            } else if (cli::ParseInt(head, id)) {
                const commands::Command* c = commands::All().Find(id);
                if (!c) return cli::Usage("unknown command id: " + head);
                std::vector<int> params;
                size_t pos = 0;
                while (colon != std::string::npos && pos <= tail.size()) {
                    const size_t comma = tail.find(',', pos);
                    int v = 0;
                    if (!cli::ParseInt(tail.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos), v))
                        return cli::Usage("bad parameter in step: " + step);
                    params.push_back(v);
                    if (comma == std::string::npos) break;
                    pos = comma + 1;
                }
                ok = c->run(doc, params);
            } else {
                const commands::NamedFn* f = commands::All().FindNamed(head);
                if (!f) return cli::Usage("unknown step: " + step);
                ok = (*f)(doc, tail);
            }
        } catch (const std::invalid_argument& e) {
            return cli::Usage(e.what());
        }
        if (!ok) {
            std::string why = host.messages.empty() ? "the step failed" : host.messages.back();
            return cli::Fail(in, step + ": " + why);
        }
        if (timing) {
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            std::fprintf(stderr, "%s %.1f ms\n", step.c_str(), ms);
        }
    }
    VaZavi out(kTypeBMP);
    if (!LayerToPicture(doc, out)) return cli::Fail(outPath, "cannot make the result picture");
    const int type = cli::TypeFromExtension(outPath);
    if (!out.Save(outPath.c_str(), type < 0 ? kTypeBMP : type))
        return cli::Fail(outPath, out.LastError()[0] ? out.LastError() : "cannot write");
    return cli::kOk;
}

const cli::Registrar kApply({"apply",
                             "  pimlora-cli apply INPUT OUTPUT [--time] STEP...\n"
                             "      STEP: filter:NAME[:P1[,P2[,P3]]], a command id ID[:P1,...], resize:W,H\n",
                             40, Apply});

}  // namespace
