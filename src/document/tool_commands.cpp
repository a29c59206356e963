// Entries of the command table for the commands whose work happens
// elsewhere: tool choices (the mouse does the work in the view), commands
// whose values come from a dialog (run here when the values are given as
// parameters, "ID:P1,P2,..."), the zoom steps, and sharpen (1455), which no
// dialog offers.
#include <algorithm>
#include <string>

#include "CVexoDoc.h"
#include "anchor_path.h"
#include "command_frame.h"
#include "commands.h"
#include "filter_commands.h"
#include "filter_model.h"
#include "undo_journal.h"

namespace {

struct Tool {
    int id;
    const char* label;
    bool selection;   // selection and paint tools refuse text and balloon layers
};

// Tool choices: the main frame's current tool becomes the id. Labels are the
// tools' texts.
const Tool kTools[] = {
    {1342, "사각선택", true},
    {4812, "원형선택", true},
    {1343, "마우스 궤적이 만드는 영역을 선택함", true},
    {1344, "클릭지점과 같은 색상의 영역을 자동으로 선택", true},
    {1345, "다각형 형태의 영역을 선택함", true},
    {1352, "선택영역을 동일색으로 채움", true},
    {1346, "스프레이", true},
    {1347, "붓 도구", true},
    {1348, "연필 도구", true},
    {1350, "점찍기", true},
    {1351, "자유선그리기", true},
    {1353, "그라데이션", true},
    {1354, "물방울", true},
    {1355, "지우개", true},
    {1356, "선그리기", true},
    {1357, "다각형그리기", true},
    {1380, "원그리기", true},
    {1382, "글자 입력", false},
    {1570, "이동(레스터형식)", false},
    {2096, "색상추출", false},
    {1505, "경로", false},
    {1508, "경로", false},
    {1509, "경로선택", false},
    {2068, "도구", false},
    {3339, "도구", false},
    {3340, "터치 변형", true},
    {4607, "꾸미기", false},
    {5615, "경로: 점 찍기", false},
    {5616, "경로: 점 끌기", false},
    {5620, "경로: 점 넣기", false},
    {5621, "경로: 점 지우기", false},
    {4829, "말풍선 꼬리", false},
    {1428, "도구", false},
    {1429, "도구", false},
};

// A tool command: nothing when the tool is current already; otherwise the
// main frame is asked to switch (it may refuse).
bool ChooseTool(CVexoDoc& doc, const Tool& tool) {
    if (tool.selection && !doc.GuardRasterLayer()) return false;
    DocHost& host = doc.Host();
    if (host.CurrentTool() == tool.id) return true;
    return host.SwitchTool(tool.id);
}

// Colour range (3327): tool 3344 with the starting tolerance; the layer is
// kept in the preview copy while the dialog tries colours.
bool ChooseColourRange(CVexoDoc& doc) {
    if (!doc.GuardRasterLayer()) return false;
    DocHost& host = doc.Host();
    if (host.CurrentTool() == 3344) return true;
    if (!host.SwitchTool(3344)) return false;
    doc.rangeTolerance = 10;
    const int cur = doc.currentLayer;
    doc.preview.layers[cur].CopyFrom(doc.live.layers[cur]);
    return true;
}

std::string Join(const std::vector<int>& p) {
    std::string s;
    for (size_t i = 0; i < p.size(); ++i) s += (i ? "," : "") + std::to_string(p[i]);
    return s;
}

// The zoom steps of the view: x 1.25 and x 0.8 within 0.0625..16, passing
// through 1.0 exactly.
bool ZoomStep(CVexoDoc& doc, int id) {
    double z = doc.zoom;
    if (id == 1422) {
        z = 1.0;
    } else if (id == 1420) {
        if (z >= 16.0) return false;
        const double old = z;
        z = std::min(z * 1.25, 16.0);
        if (old < 1.0 && z > 1.0) z = 1.0;
    } else {
        if (z <= 0.0625) return false;
        const double old = z;
        z = std::max(z * 0.8, 0.0625);
        if (old > 1.0 && z < 1.0) z = 1.0;
    }
    if (z == doc.zoom) return true;
    doc.zoom = z;
    doc.viewRebuild = true;
    doc.Host().UpdateViews(doc, true);
    return true;
}

}  // namespace

namespace commands {
void RegisterToolCommands(Table& t) {
    for (const Tool& tool : kTools)
        t.Add(tool.id, tool.label, [tool](CVexoDoc& d, const std::vector<int>&) { return ChooseTool(d, tool); }, Needs::Tool);
    // 5622 (the path panel): the closed path becomes a polygon selection and
    // the polygon tool becomes current.
    t.Add(5622, "경로: 영역으로", [](CVexoDoc& d, const std::vector<int>& p) {
        if (!docpath::MakeSelection(d, p.empty() ? 0 : std::clamp(p[0], 0, 254))) return false;
        d.Host().SwitchTool(1345);
        return true;
    });
    t.Add(3327, "색상 범위 지정", [](CVexoDoc& d, const std::vector<int>&) { return ChooseColourRange(d); }, Needs::Dialog);

    // Dialog commands: the editor's dialog collects the values and runs the
    // operation of the named step; given as parameters, they run at once.
    // Without values there is nothing to run.
    struct DialogCommand {
        int id;
        const char* label;
        const char* step;   // the named step that does the work
    };
    static const DialogCommand dialogs[] = {
        {2533, "픽셀분포조정", "levels"},  {1432, "캔버스크기조정", "canvas"}, {1476, "적안제거", "redeye"},
        {3379, "[달력]", "calendar"},      {3392, "사진틀 넣기", "frame"},
    };
    for (const DialogCommand& dc : dialogs)
        t.Add(dc.id, dc.label, [dc](CVexoDoc& d, const std::vector<int>& p) {
            if (p.empty()) return false;
            const NamedFn* step = All().FindNamed(dc.step);
            return step && (*step)(d, Join(p));
        }, Needs::Dialog);
    // Binarize: the filter dialog with "임계치변환" (FS dithering) preset.
    t.Add(2111, "이진영상으로", [](CVexoDoc& d, const std::vector<int>& p) {
        if (p.empty()) return false;
        return docfilters::ApplyFilterStep(d, docfilters::ParseFilterStep(std::string(filters::kThreshold) + ":" + Join(p)));
    }, Needs::Dialog);

    // Sharpen (1455): strength a; a of 0 or less changes nothing.
    t.Add(1455, "강조", [](CVexoDoc& d, const std::vector<int>& p) {
        const int a = p.empty() ? 0 : p[0];
        if (a <= 0) return true;
        if (!docfilters::RunLayerOp(d, 1455, a, 0, [a](layerops::LayerOpContext& c) { return layerops::Sharpen(c, a); }))
            return false;
        return d.RecordUndoStep(u"강조", UndoLayerChanged, d.currentLayer);
    });

    // Rename (3994): the name dialog gives the text; rename:NAME gives it here.
    t.Add(3994, "레이어 이름 변경", [](CVexoDoc&, const std::vector<int>&) { return false; }, Needs::Dialog);
    t.AddNamed("rename", [](CVexoDoc& d, const std::string& name) {
        if (!IsValidLayer(d.currentLayer)) return false;
        CommandScope scope(d, 3994);
        if (!d.RenameLayer(Utf8ToUtf16(name))) return false;
        return d.RecordSettingsStep(u"레이어 이름 변경", d.currentLayer);
    });

    for (int id : {1420, 1421, 1422})
        t.Add(id, id == 1420 ? "화면 확대" : id == 1421 ? "화면축소" : "100%",
              [id](CVexoDoc& d, const std::vector<int>&) { return ZoomStep(d, id); });
}
}  // namespace commands
