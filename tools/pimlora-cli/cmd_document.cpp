// Document commands: doc, layers, run.
#include <cstdio>
#include <stdexcept>
#include <string>

#include "CVexoDoc.h"
#include "cli.h"
#include "commands.h"
#include "session.h"
#include "filter_commands.h"
#include "undo_journal.h"

namespace {

bool OpenDocument(CVexoDoc& doc, const std::string& file) {
    if (doc.Open(file)) return true;
    cli::Fail(file, doc.lastError.empty() ? "cannot be opened as a document" : doc.lastError);
    return false;
}

bool SaveDocument(CVexoDoc& doc, const std::string& file) {
    if (doc.Save(file)) return true;
    cli::Fail(file, doc.lastError.empty() ? "could not be saved" : doc.lastError);
    return false;
}

int Doc(const cli::Args& args) {
    cli::Options o;
    if (std::string bad = cli::ParseOptions(args, {}, {}, o); !bad.empty()) return cli::Usage(bad);
    if (o.positional.size() != 2) return cli::Usage("doc takes IN and OUT");
    HeadlessHost host;
    CVexoDoc doc(&host);
    if (!OpenDocument(doc, o.positional[0])) return cli::kFailure;
    return SaveDocument(doc, o.positional[1]) ? cli::kOk : cli::kFailure;
}

int Layers(const cli::Args& args) {
    cli::Options o;
    if (std::string bad = cli::ParseOptions(args, {}, {}, o); !bad.empty()) return cli::Usage(bad);
    if (o.positional.size() != 1) return cli::Usage("layers takes one FILE");
    HeadlessHost host;
    CVexoDoc doc(&host);
    if (!OpenDocument(doc, o.positional[0])) return cli::kFailure;
    for (int slot : doc.StackOrder()) {
        const LayerRecord& L = doc.Layer(slot);
        std::printf("slot=%d kind=%d name=%s x=%d y=%d width=%d height=%d visible=%d blend=%d transparency=%d\n", slot,
                    int(L.kind), Utf16ToUtf8(GetFixedText(L.name, 100)).c_str(), L.x, L.y, L.width, L.height,
                    L.visible, int(L.blendMode), int(L.transparency));
    }
    return cli::kOk;
}

std::vector<int> IntList(const std::string& text) {
    std::vector<int> out;
    if (text.empty()) return out;
    size_t pos = 0;
    for (;;) {
        const size_t comma = text.find(',', pos);
        int v;
        if (!cli::ParseInt(text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos), v))
            throw std::invalid_argument("'" + text + "' is not a list of integers");
        out.push_back(v);
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    return out;
}

// OUT with "-N" before its extension (the extension of the file name only).
std::string NumberedPath(const std::string& out, size_t n) {
    const size_t slash = out.find_last_of('/');
    const size_t dot = out.find_last_of('.');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string suffix = "-" + std::to_string(n);
    return hasExt ? out.substr(0, dot) + suffix + out.substr(dot) : out + suffix;
}

// A step resolved against the command table.
struct Step {
    std::string text;
    const commands::Command* command = nullptr;
    std::vector<int> params;
    const commands::NamedFn* named = nullptr;
    std::string namedArgs;
    bool tool = false;   // a mouse or paint-settings step (tools::Session)
};

// What the step said, one line each: "pimlora-cli: STEP: MESSAGE".
void PrintMessages(const std::string& step, std::vector<std::string>& lines) {
    for (const std::string& m : lines)
        std::fprintf(stderr, "pimlora-cli: %s: %s\n", step.c_str(), tools::OneLine(m).c_str());
    lines.clear();
}

int Run(const cli::Args& args) {
    // --view2 IN2 OUT2 (two values) is taken out before the shared parser.
    std::string in2, out2;   // a second window's document
    cli::Args rest;
    for (size_t k = 0; k < args.size(); ++k) {
        if (args[k] == "--") {
            rest.insert(rest.end(), args.begin() + long(k), args.end());
            break;
        }
        if (args[k] != "--view2") {
            rest.push_back(args[k]);
            continue;
        }
        if (k + 2 >= args.size()) return cli::Usage("--view2 takes IN2 and OUT2");
        in2 = args[++k];
        out2 = args[++k];
    }
    cli::Options o;
    if (std::string bad = cli::ParseOptions(rest, {"--journal", "--image"}, {"--answer"}, o); !bad.empty())
        return cli::Usage(bad);
    const std::vector<std::string>& positional = o.positional;
    const bool journal = o.Has("--journal"), imageSettings = o.Has("--image");
    bool answerCancel = false;
    if (o.values.count("--answer")) {
        const std::string& answer = o.values.at("--answer");
        if (answer != "ok" && answer != "cancel") return cli::Usage("--answer takes ok or cancel");
        answerCancel = answer == "cancel";
    }
    if (positional.size() < 2) return cli::Usage("run takes IN, OUT and steps");
    const commands::Table& table = commands::All();
    std::vector<Step> steps;
    for (size_t i = 2; i < positional.size(); ++i) {
        Step s;
        s.text = positional[i];
        const size_t colon = s.text.find(':');
        const std::string head = s.text.substr(0, colon);
        int id;
        if (cli::ParseInt(head, id)) {
            s.command = table.Find(id);
            if (!s.command) return cli::Usage("unknown step '" + s.text + "'");
            try {
                if (colon != std::string::npos) s.params = IntList(s.text.substr(colon + 1));
            } catch (const std::invalid_argument& e) {
                return cli::Usage(std::string("step ") + e.what());
            }
        } else if (tools::Session::IsStep(head) && colon != std::string::npos) {
            s.tool = true;
        } else {
            s.named = colon == std::string::npos ? nullptr : table.FindNamed(head);
            if (!s.named) return cli::Usage("unknown step '" + s.text + "'");
            s.namedArgs = s.text.substr(colon + 1);
        }
        steps.push_back(std::move(s));
    }

    tools::SessionHost host;
    host.answer = !answerCancel;
    CVexoDoc doc(&host);
    if (!OpenDocument(doc, positional[0])) return cli::kFailure;
    tools::Session session(host, doc);
    // The second document sits in a window beside the first (view:2 sends
    // the steps after it there, view:1 back); it is saved to OUT2.
    CVexoDoc doc2(&host);
    if (!in2.empty()) {
        if (!OpenDocument(doc2, in2)) return cli::kFailure;
        session.AddView(doc2);
    }
    for (const Step& s : steps) {
        try {
            CVexoDoc& target = session.Doc();
            const bool ok = s.tool      ? session.Run(s.text)
                            : s.command ? s.command->run(target, s.params)
                                        : (*s.named)(target, s.namedArgs);
            if (!ok && host.messages.empty()) host.messages.push_back("refused");
        } catch (const std::invalid_argument& e) {
            return cli::Usage("step '" + s.text + "': " + e.what());
        }
        PrintMessages(s.text, host.messages);
        PrintMessages(s.text, host.questions);
        PrintMessages(s.text, host.reports);
    }
    if (journal)
        for (int i = 0; i <= doc.undoPos && i < int(doc.steps.size()); ++i)
            std::printf("%d %d %s\n", i, int(doc.steps[size_t(i)].type),
                        Utf16ToUtf8(doc.steps[size_t(i)].label).c_str());
    if (imageSettings) {
        const VaZaviInfo& i = doc.image.info;
        const RgbQuad& c = i.backgroundColor;
        std::printf("image transparent-index=%d transparent-colour=%02X%02X%02X alpha=%d alpha-palette=%d\n",
                    int(i.transparentIndex), c.red, c.green, c.blue, int(i.alphaValue), i.alphaPalette ? 1 : 0);
    }
    if (!SaveDocument(doc, positional[1])) return cli::kFailure;
    if (!in2.empty() && !SaveDocument(doc2, out2)) return cli::kFailure;
    // Documents the steps created (channel splits, crops, duplicates) go
    // beside OUT as NAME-1.EXT, NAME-2.EXT, ...
    for (size_t i = 0; i < host.newDocuments.size(); ++i)
        if (!SaveDocument(*host.newDocuments[i], NumberedPath(positional[1], i + 1))) return cli::kFailure;
    return cli::kOk;
}

const cli::Registrar kDoc({"doc", "  pimlora-cli doc IN OUT\n", 30, Doc});
const cli::Registrar kLayers({"layers", "  pimlora-cli layers FILE\n", 31, Layers});
// The run command's help, with the filters' names and numbers.
const std::string& RunUsage() {
    static const std::string text = [] {
        std::string t =
            "  pimlora-cli run IN OUT [--journal] [--image] [--answer ok|cancel] [--view2 IN2 OUT2] STEP...\n"
            "      --journal lists the undo steps, --image the picture's transparency settings\n"
            "      --view2: IN2 opens in a second window beside the first and is saved to OUT2\n"
            "      --answer: how a tool's questions are answered (ok unless told)\n"
            "      STEP: ID[:P1,P2,...] | select:SLOT | visible:SLOT,V | blend:SLOT,MODE\n"
            "            opacity:SLOT,T | move:SLOT,DX,DY | wand:X,Y[,T] | rect:X0,Y0,X1,Y1\n"
            "            range:RRGGBB[,T] | filter:NAME[:P1[,P2[,P3]]]\n"
            "            text:X,Y,SIZE,RRGGBB[,FACE]:TEXT | balloon:X,Y,SIZE,RRGGBB[,FACE]:TEXT\n"
            "            edit-text:SLOT:TEXT\n"
            "            redeye:L,T,R,B,N | size:W,H[,DPI][,all] | canvas:W,H,ANCHOR\n"
            "            rotate:DEGREES | levels:CHANNEL,LOW,HIGH | frame:STYLE,THICKNESS,RRGGBB[,RRGGBB]\n"
            "            calendar:YEAR,MONTH[,SIZE,RRGGBB[,FACE]]\n"
            "            pattern:SPACING,THICKNESS[,RRGGBB] | pick-transparent:X,Y | rename:NAME\n"
            "      mouse steps, as the image window delivers them (picture pixels at zoom 1):\n"
            "            tool:ID | press:X,Y[,shift] | drag:X,Y | release:X,Y | dclick:X,Y[,shift] | hover:X,Y\n"
            "            leave:X,Y (the mouse leaves the window there) | view:1|2 (the window the steps go to)\n"
            "            key:Left|Right|Up|Down|Delete|Escape|Return\n"
            "            tool:1509 opens the path panel, tool:5622 makes its closed path a selection\n"
            "            type:SIZE,RRGGBB[,FACE]:TEXT how the text dialog answers (type: cancels it)\n"
            "      paint settings: colour:RRGGBB | colour2:RRGGBB | brush:SIZE,MODE (1 붓, 0 연필)\n"
            "            gradient:COLOURMODE,PROFILE (1 전경, 2 전경+배경; 1 선형변화, 2 정규변화)\n"
            "            fill:TOLERANCE,FEATHER | feather:N\n"
            "      messages: pimlora-cli: STEP: MESSAGE on stderr\n"
            "      documents that steps create are saved beside OUT as NAME-1.EXT, NAME-2.EXT, ...\n"
            "      filter NAME, or its number:";
        const auto& names = docfilters::FilterStepNames();
        for (size_t i = 0; i < names.size(); ++i)
            t += (i % 6 == 0 ? "\n        " : "  ") + std::to_string(i + 1) + " " + names[i];
        t += "\n      임계치변환/MODE: MODE FS 디더링 (1), OR 디더링 (2), 절대변환 (3), by name or number\n";
        return t;
    }();
    return text;
}

const cli::Registrar kRun({"run", RunUsage().c_str(), 32, Run});

}  // namespace
