#include "session.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "CVexoDoc.h"
#include "commands.h"
#include "modes.h"
#include "text_render.h"
#include "tool_table.h"

namespace tools {

namespace {

std::vector<int> Ints(const std::string& text, size_t minCount, size_t maxCount, const std::string& usage) {
    std::vector<int> v = commands::ParseIntList(text, usage);
    if (v.size() < minCount || v.size() > maxCount) throw std::invalid_argument(usage + " expected: " + text);
    return v;
}

const char* const kSteps[] = {"tool",   "press", "drag",     "release", "dclick", "hover", "leave", "key",  "view",
                              "colour", "colour2", "brush", "gradient", "fill",   "feather", "type"};

}  // namespace

Session::Session(SessionHost& host, CVexoDoc& doc) : host_(host) { AddView(doc); }

Session::~Session() = default;

void Session::AddView(CVexoDoc& doc) {
    docs_.push_back(&doc);
    benches_.push_back(std::make_unique<Workbench>(host_.box, doc, host_));
}

bool Session::KeyByName(const std::string& name, Key& key) {
    static const std::pair<const char*, Key> kKeys[] = {{"Left", Key::Left},     {"Right", Key::Right},
                                                         {"Up", Key::Up},         {"Down", Key::Down},
                                                         {"Delete", Key::Delete}, {"Escape", Key::Escape},
                                                         {"Return", Key::Return}};
    for (const auto& [n, k] : kKeys)
        if (name == n) {
            key = k;
            return true;
        }
    return false;
}

// Tools that open or end a mode, as the editor's commands do: the path
// panel (1509) and its selection (5622), the free transform (4250-4252)
// and the zoom tool (1420, whose command of the same number zooms).
bool Session::RunTool(int id) {
    ToolBox& box = host_.box;
    CVexoDoc& doc = Doc();
    switch (id) {
    case 1509: return OpenPathPanel(box, &doc);
    case 5622: return MakePathSelection(box, doc);
    case 4250: case 4251: case 4252: return BeginTransform(box, doc, id);
    case 1420: return box.Current() == id || box.Switch(id);
    default: break;
    }
    // Through the command table where it has the tool (its guards and the
    // undo brush's source), else straight to the switch.
    if (const commands::Command* c = commands::All().Find(id)) {
        if (c->needs != commands::Needs::Tool && id != 4669) throw std::invalid_argument("not a tool: " + std::to_string(id));
        return c->run(doc, {});
    }
    const ToolInfo* info = Find(id);
    if (!info && id != -1) throw std::invalid_argument("not a tool: " + std::to_string(id));
    if (info && info->family != Family::Other && !doc.GuardRasterLayer()) return false;
    return box.Current() == id || box.Switch(id);
}

bool Session::IsStep(const std::string& name) {
    return std::find(std::begin(kSteps), std::end(kSteps), name) != std::end(kSteps);
}

paint::ZPoint Session::Point(const std::vector<int>& v) const {
    // Picture pixels to the view's zoomed pixels, clamped to the picture as
    // the view clamps a press outside it.
    const CVexoDoc& doc = *docs_[current_];
    const double z = doc.zoom > 0 ? doc.zoom : 1.0;
    const int zw = int(doc.live.canvas.width * z), zh = int(doc.live.canvas.height * z);
    const int x = int(std::clamp<double>(std::trunc(v[0] * z), 0, std::max(zw - 1, 0)));
    const int y = int(std::clamp<double>(std::trunc(v[1] * z), 0, std::max(zh - 1, 0)));
    return paint::ZPoint{x, y};
}

bool Session::Run(const std::string& step) {
    const size_t colon = step.find(':');
    const std::string name = step.substr(0, colon);
    const std::string args = colon == std::string::npos ? "" : step.substr(colon + 1);
    PaintSettings& s = host_.box.Settings();
    Workbench& bench = Bench();
    if (name == "tool") return RunTool(Ints(args, 1, 1, "tool:ID")[0]);
    if (name == "view") {
        const int n = Ints(args, 1, 1, "view:N")[0];
        if (n < 1 || size_t(n) > docs_.size())
            throw std::invalid_argument("view:N takes 1" + std::string(docs_.size() > 1 ? " or 2" : "") + ": " + args);
        current_ = size_t(n - 1);
        return true;
    }
    if (name == "key") {
        KeyEvent k;
        if (!KeyByName(args, k.key))
            throw std::invalid_argument("key:NAME takes Left, Right, Up, Down, Delete, Escape or Return: " + args);
        bench.KeyDown(k);
        return true;
    }
    if (name == "leave") {
        // The mouse goes to the point (with the button as it is) and leaves the window.
        MouseEvent e;
        e.at = Point(Ints(args, 2, 2, "leave:X,Y"));
        bench.Move(e, bench.Pressed());
        bench.Leave();
        return true;
    }
    if (name == "type") {
        // type:SIZE,RRGGBB[,FACE]:TEXT (\n a new line): how the next text
        // dialogs answer; type: alone cancels them.
        TextAnswer& t = host_.text;
        if (args.empty()) {
            t.text.clear();
            return true;
        }
        const size_t colon2 = args.find(':');
        if (colon2 == std::string::npos) throw std::invalid_argument("type:SIZE,RRGGBB[,FACE]:TEXT expected: " + args);
        const std::string head = args.substr(0, colon2);
        std::vector<std::string> parts;
        for (size_t at = 0;;) {
            const size_t comma = head.find(',', at);
            parts.push_back(head.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
            if (comma == std::string::npos) break;
            at = comma + 1;
        }
        paint::Rgb colour;
        if (parts.size() < 2 || parts.size() > 3 || !ParseRgb(parts[1], colour))
            throw std::invalid_argument("type:SIZE,RRGGBB[,FACE]:TEXT expected: " + args);
        const int size = Ints(parts[0], 1, 1, "type:SIZE")[0];
        if (size < textrender::kMinFontSize || size > textrender::kMaxFontSize)
            throw std::invalid_argument("type: SIZE must be 1 to 1000: " + args);
        std::string text;
        const std::string raw = args.substr(colon2 + 1);
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\\' && i + 1 < raw.size() && (raw[i + 1] == 'n' || raw[i + 1] == '\\')) {
                text += raw[i + 1] == 'n' ? '\n' : '\\';
                ++i;
            } else {
                text += raw[i];
            }
        }
        if (text.empty()) throw std::invalid_argument("type: empty TEXT");
        t.text = Utf8ToUtf16(text);
        t.withSettings = true;
        t.settings = s.text;
        t.settings.size = size;
        t.settings.color = PackBGR(colour.b, colour.g, colour.r);
        if (parts.size() == 3 && !parts[2].empty()) t.settings.face = Utf8ToUtf16(parts[2]);
        return true;
    }
    if (name == "press" || name == "drag" || name == "release" || name == "dclick" || name == "hover") {
        const std::string usage = name + ":X,Y" + (name == "press" || name == "dclick" ? "[,shift]" : "");
        std::vector<int> v;
        bool shift = false;
        std::string coords = args;
        if (name == "press" || name == "dclick") {
            const size_t last = args.rfind(',');
            if (last != std::string::npos && args.substr(last + 1) == "shift") {
                shift = true;
                coords = args.substr(0, last);
            }
        }
        v = Ints(coords, 2, 2, usage);
        MouseEvent e;
        e.at = Point(v);
        e.shift = shift;
        if (name == "press") {
            bench.Move(e, false);
            bench.Press(e);
        } else if (name == "drag") {
            bench.Move(e, true);
        } else if (name == "release") {
            bench.Move(e, true);
            bench.Release(e);
        } else if (name == "dclick") {
            bench.DoubleClick(e);
        } else {
            bench.Move(e, false);
        }
        return true;
    }
    if (name == "colour" || name == "colour2") {
        paint::Rgb c;
        if (!ParseRgb(args, c)) throw std::invalid_argument(name + ":RRGGBB expected: " + args);
        if (name == "colour")
            s.SetColour(c);
        else
            s.SetColour2(c);
        return true;
    }
    if (name == "brush") {
        const std::vector<int> v = Ints(args, 2, 2, "brush:SIZE,MODE");
        if (v[0] < PaintSettings::kMinBrush || v[0] > PaintSettings::kMaxBrush || (v[1] != 0 && v[1] != 1))
            throw std::invalid_argument("brush:SIZE,MODE takes a size 1..30 and a mode 1 (붓) or 0 (연필): " + args);
        s.SetBrush(v[0], v[1]);
        return true;
    }
    if (name == "gradient") {
        const std::vector<int> v = Ints(args, 2, 2, "gradient:COLOURMODE,PROFILE");
        if ((v[0] != 1 && v[0] != 2) || (v[1] != 1 && v[1] != 2))
            throw std::invalid_argument("gradient:COLOURMODE,PROFILE takes 1 or 2 each: " + args);
        s.SetGradient(v[0], v[1]);
        return true;
    }
    if (name == "fill") {
        const std::vector<int> v = Ints(args, 2, 2, "fill:TOLERANCE,FEATHER");
        if (v[0] < 0 || v[0] > PaintSettings::kMaxTolerance || v[1] < 0 || v[1] > PaintSettings::kMaxFeather)
            throw std::invalid_argument("fill:TOLERANCE,FEATHER takes 0..765 and 0..254: " + args);
        s.SetFill(v[0], v[1]);
        return true;
    }
    if (name == "feather") {
        const std::vector<int> v = Ints(args, 1, 1, "feather:N");
        if (v[0] < 0 || v[0] > PaintSettings::kMaxFeather) throw std::invalid_argument("feather:N takes 0..254: " + args);
        s.SetFeather(v[0]);
        return true;
    }
    throw std::invalid_argument("unknown step: " + step);
}

std::string OneLine(const std::string& text) {
    std::string out;
    bool lastBreak = false;
    for (char ch : text) {
        if (ch == '\n' || ch == '\r') {
            if (!lastBreak && !out.empty() && out.back() != ' ') out += ' ';
            lastBreak = true;
            continue;
        }
        lastBreak = false;
        out += ch;
    }
    return out;
}

}  // namespace tools
