// apply: the steps of `run` with timing, for the benchmarks. Each step is
// timed inside the program (--time), optionally run several times on the
// same open document keeping the fastest (--repeat N: buffers already
// allocated, as in an editing session). Besides the command ids and the
// named steps it knows resize:W,H (image size), median:N and
// brightness:B,C (the colour dialog's operations). --no-undo times the
// operations without writing their undo steps (nothing can be undone then).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "CVexoDoc.h"
#include "VaZavi.h"
#include "cli.h"
#include "commands.h"
#include "filter_commands.h"
#include "session.h"

namespace {

int Apply(const cli::Args& args) {
    cli::Options o;
    if (std::string bad = cli::ParseOptions(args, {"--time", "--no-undo"}, {"--repeat"}, o); !bad.empty())
        return cli::Usage(bad);
    const std::vector<std::string>& rest = o.positional;
    const bool timing = o.Has("--time"), noUndo = o.Has("--no-undo");
    int repeat = 1;
    if (o.values.count("--repeat") && (!cli::ParseInt(o.values["--repeat"], repeat) || repeat < 1 || repeat > 100))
        return cli::Usage("--repeat 1..100");
    if (rest.size() < 2) return cli::Usage("apply takes INPUT OUTPUT and steps");
    const std::string& in = rest[0];
    const std::string& outPath = rest[1];
    tools::SessionHost host;
    CVexoDoc doc(&host);
    if (!doc.Open(in)) return cli::Fail(in, doc.lastError.empty() ? "cannot be opened as a document" : doc.lastError);
    if (noUndo) doc.recordUndo = false;
    tools::Session session(host, doc);
    for (size_t i = 2; i < rest.size(); ++i) {
      const std::string& step = rest[i];
      double best = 1e300;
      for (int rep = 0; rep < repeat; ++rep) {
        const auto start = std::chrono::steady_clock::now();
        bool ok = false;
        try {
            const size_t colon = step.find(':');
            const std::string head = step.substr(0, colon);
            const std::string tail = colon == std::string::npos ? "" : step.substr(colon + 1);
            int id = 0;
            if (tools::Session::IsStep(head) && colon != std::string::npos) {
                ok = session.Run(step);
            } else if (head == "resize") {
                int w = 0, h = 0;
                const size_t comma = tail.find(',');
                if (comma == std::string::npos || !cli::ParseInt(tail.substr(0, comma), w) ||
                    !cli::ParseInt(tail.substr(comma + 1), h))
                    return cli::Usage("resize:WIDTH,HEIGHT");
                ok = docfilters::ResizeCanvas(doc, w, h);
            } else if (head == "median" || head == "brightness") {
                int a = 0, b = 0;
                const size_t comma = tail.find(',');
                if (!cli::ParseInt(tail.substr(0, comma), a) ||
                    (comma != std::string::npos && !cli::ParseInt(tail.substr(comma + 1), b)))
                    return cli::Usage(head + " takes whole numbers");
                if (head == "median" && (a < 1 || a > 25)) return cli::Usage("median:1..25");
                ok = docfilters::RunLayerOp(doc, -1, a, b, [&](layerops::LayerOpContext& c) {
                    return head == "median" ? layerops::Median(c, a) : layerops::BrightnessContrast(c, a, b);
                });
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
            std::string why = host.messages.empty() ? "the step failed" : tools::OneLine(host.messages.back());
            return cli::Fail(in, step + ": " + why);
        }
        best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
      }
      if (timing) std::fprintf(stderr, "%s %.1f ms\n", step.c_str(), best);
    }
    if (!doc.Save(outPath)) return cli::Fail(outPath, doc.lastError.empty() ? "could not be saved" : doc.lastError);
    return cli::kOk;
}

const cli::Registrar kApply({"apply",
                             "  pimlora-cli apply IN OUT [--time] [--repeat N] [--no-undo] STEP...\n"
                             "      the steps of run (mouse steps too), timed; also resize:W,H median:N brightness:B,C\n"
                             "      --no-undo: without writing undo steps\n",
                             40, Apply});

}  // namespace
