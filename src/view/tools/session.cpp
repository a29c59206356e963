#include "session.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "CVexoDoc.h"
#include "commands.h"
#include "tool_table.h"

namespace tools {

namespace {

std::vector<int> Ints(const std::string& text, size_t minCount, size_t maxCount, const std::string& usage) {
    std::vector<int> v = commands::ParseIntList(text, usage);
    if (v.size() < minCount || v.size() > maxCount) throw std::invalid_argument(usage + " expected: " + text);
    return v;
}

const char* const kSteps[] = {"tool", "press", "drag", "release", "dclick", "hover", "colour",
                              "colour2", "brush", "gradient", "fill", "feather"};

}  // namespace

Session::Session(SessionHost& host, CVexoDoc& doc) : host_(host), doc_(doc), bench_(host.box, doc, host) {}

bool Session::IsStep(const std::string& name) {
    return std::find(std::begin(kSteps), std::end(kSteps), name) != std::end(kSteps);
}

paint::ZPoint Session::Point(const std::vector<int>& v) const {
    // Picture pixels to the view's zoomed pixels, clamped to the picture as
    // the view clamps a press outside it.
    const double z = doc_.zoom > 0 ? doc_.zoom : 1.0;
    const int zw = int(doc_.live.canvas.width * z), zh = int(doc_.live.canvas.height * z);
    const int x = int(std::clamp<double>(std::trunc(v[0] * z), 0, std::max(zw - 1, 0)));
    const int y = int(std::clamp<double>(std::trunc(v[1] * z), 0, std::max(zh - 1, 0)));
    return paint::ZPoint{x, y};
}

bool Session::Run(const std::string& step) {
    const size_t colon = step.find(':');
    const std::string name = step.substr(0, colon);
    const std::string args = colon == std::string::npos ? "" : step.substr(colon + 1);
    PaintSettings& s = host_.box.Settings();
    if (name == "tool") {
        const int id = Ints(args, 1, 1, "tool:ID")[0];
        // Through the command table where it has the tool (its guards and
        // the undo brush's source), else straight to the switch.
        if (const commands::Command* c = commands::All().Find(id)) {
            if (c->needs != commands::Needs::Tool && id != 4669) throw std::invalid_argument("not a tool: " + args);
            return c->run(doc_, {});
        }
        const ToolInfo* info = Find(id);
        if (!info && id != -1) throw std::invalid_argument("not a tool: " + args);
        if (info && info->family != Family::Other && !doc_.GuardRasterLayer()) return false;
        return host_.box.Current() == id || host_.box.Switch(id);
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
            bench_.Move(e, false);
            bench_.Press(e);
        } else if (name == "drag") {
            bench_.Move(e, true);
        } else if (name == "release") {
            bench_.Move(e, true);
            bench_.Release(e);
        } else if (name == "dclick") {
            bench_.DoubleClick(e);
        } else {
            bench_.Move(e, false);
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
