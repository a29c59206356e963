#include "tool_table.h"

#include <string>

namespace tools {

namespace {

// A tool without mouse behaviour (1348, 1351, and the tools still to come).
class NoTool : public Tool {
public:
    explicit NoTool(int id) : id_(id) {}
    int Id() const override { return id_; }

private:
    int id_;
};

}  // namespace

// Makers of the tool families (selection_tools.cpp, paint_tools.cpp,
// path_tools.cpp, move_tool.cpp, view_tools.cpp, transform_tool.cpp).
std::unique_ptr<Tool> MakeSelectionTool(int id);
std::unique_ptr<Tool> MakePaintTool(int id);
std::unique_ptr<Tool> MakePathTool(int id);
std::unique_ptr<Tool> MakeMoveTool(int id);
std::unique_ptr<Tool> MakeViewTool(int id);
std::unique_ptr<Tool> MakeTransformTool(int id);

const std::vector<ToolInfo>& Table() {
    using F = Family;
    static const std::vector<ToolInfo> table = {
        {1342, "마우스 드래깅의 사각영역을 선택함", 1, kCursorCross, F::Selection, true},
        {4812, "", 2, kCursorCross, F::Selection, true},
        {1343, "마우스 궤적이 만드는 영역을 선택함", 3, kCursorDefault, F::Selection, true},
        {1344, "클릭지점과 같은 색상의 영역을 자동으로 선택\n자동선택", 4, kCursorDefault, F::Selection, true},
        {1345, "다각형 형태의 영역을 선택함", 5, kCursorCross, F::Selection, true},
        {3344, "", 0, kCursorPicker, F::Selection, true},
        {5615, "", 7, kCursorDefault, F::Other, true},
        {5616, "", 0, kCursorDefault, F::Other, true},
        {5620, "", 0, kCursorDefault, F::Other, true},
        {5621, "", 0, kCursorDefault, F::Other, true},
        {1346, "스프레이 방식으로 칠하기\n스프레이", 0, kCursorDefault, F::Paint, true},
        {1347, "붓 방식으로 칠하기\n붓 도구", 0, kCursorBrush, F::Paint, true},
        {1348, "연필방식으로 칠하기\n연필 도구", 0, kCursorDefault, F::Paint, false},
        {4669, "", 0, kCursorBrush, F::Paint, true},
        {1350, "점을 찍듯이 칠하기\n점찍기", 0, kCursorDefault, F::Paint, true},
        {1351, "마우스궤적에따른 선그리기\n자유선그리기", 0, kCursorDefault, F::Paint, false},
        {1352, "선택영역을 동일색으로 채움\n채우기", 0, kCursorDefault, F::Paint, true},
        {1353, "", 0, kCursorDefault, F::Paint, true},
        {1354, "물방울을 떨어뜨리는 효과로 칠하기\n물방울", 0, kCursorHand, F::Paint, true},
        {1355, "", 0, kCursorEraser, F::Paint, true},
        {1356, "선 그리기\n선그리기", 0, kCursorDefault, F::Paint, true},
        {1357, "다각형 그리기\n다각형그리기", 0, kCursorDefault, F::Paint, true},
        {1380, "원 그리기\n원그리기", 0, kCursorDefault, F::Paint, true},
        {3340, "", 0, kCursorBrush, F::Paint, true},
        {1570, "이동\n이동(레스터형식)", 0, kCursorMove, F::Other, true},
        {1420, "화면 보기를 확대한다 \n화면 확대", 0, kCursorZoom, F::Other, true},
        {2096, "픽셀의 색상을 추출합니다\n색상추출", 0, kCursorPicker, F::Other, true},
        {1382, "", 0, kCursorText, F::Other, true},
        {4828, "말풍선 넣기", 0, kCursorBalloon, F::Other, true},
        {4829, "", 0, kCursorDefault, F::Other, true},
        {4250, "", 0, kCursorTransform, F::Other, true},
        {4251, "", 0, kCursorHand, F::Other, true},
        {4252, "", 0, kCursorHand, F::Other, true},
    };
    return table;
}

const ToolInfo* Find(int id) {
    for (const ToolInfo& t : Table())
        if (t.id == id) return &t;
    return nullptr;
}

bool IsBuilt(int id) {
    const ToolInfo* t = Find(id);
    return t && t->built;
}

std::string StatusText(int id) {
    const ToolInfo* t = Find(id);
    if (!t) return "";
    const std::string s = t->text;
    return s.substr(0, s.find('\n'));
}

std::unique_ptr<Tool> MakeTool(int id) {
    if (const ToolInfo* t = Find(id); t && t->built) {
        if (t->family == Family::Selection) {
            if (auto tool = MakeSelectionTool(id)) return tool;
        } else if (t->family == Family::Paint) {
            if (auto tool = MakePaintTool(id)) return tool;
        } else {
            for (auto make : {MakePathTool, MakeMoveTool, MakeViewTool, MakeTransformTool})
                if (auto tool = make(id)) return tool;
        }
    }
    return std::make_unique<NoTool>(id);
}

int ToolForKey(char key) {
    switch (key) {
    case 'M': case 'm': return 1342;   // rectangle (marquee)
    case 'O': case 'o': return 4812;   // circle
    case 'L': case 'l': return 1343;   // lasso
    case 'W': case 'w': return 1344;   // magic wand
    case 'P': case 'p': return 1345;   // polygon
    case 'B': case 'b': return 1347;   // brush
    case 'H': case 'h': return 4669;   // undo brush (history)
    case 'E': case 'e': return 1355;   // eraser
    case 'S': case 's': return 1346;   // spray
    case 'D': case 'd': return 1350;   // dot
    case 'F': case 'f': return 1352;   // fill
    case 'G': case 'g': return 1353;   // gradient
    case 'R': case 'r': return 1354;   // droplet (rain)
    case 'N': case 'n': return 1356;   // straight line
    case 'Y': case 'y': return 1357;   // polyline
    case 'C': case 'c': return 1380;   // circle drawing
    case 'X': case 'x': return 3340;   // touch deform
    case 'V': case 'v': return 1570;   // move
    case 'Z': case 'z': return 1420;   // zoom
    case 'I': case 'i': return 2096;   // colour picker (eyedropper)
    case 'T': case 't': return 1382;   // text
    case 'A': case 'a': return 5615;   // path: place anchors
    case 'K': case 'k': return 4828;   // balloon
    case 'Q': case 'q': return 4250;   // free transform (resize)
    default: return 0;
    }
}

}  // namespace tools
