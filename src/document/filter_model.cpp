// The filter dialog's model: list, parameter table, calling order, commit
// and revert rules.
#include "filter_model.h"

#include <algorithm>
#include <cstdio>

#include "CVexoDoc.h"
#include "filter_commands.h"

namespace filters {

namespace {
struct Row {
    const char* name;
    ParamSpec p[3];
};

ParamSpec P(const char* label, int mn, int mx, int start) { return ParamSpec{label, mn, mx, start, true}; }
ParamSpec None() { return ParamSpec{"미지정", 0, 0, 0, false}; }

const std::vector<Row>& Table() {
    static const std::vector<Row> rows = {
        {"노이즈제거(B)", {P("잡영크기", 2, 5, 3), P("흡수정도", 1, 4, 4), None()}},
        {"부드럽게", {P("부드러움", 1, 9, 4), None(), None()}},
        {"흐리게", {P("흐림", 1, 9, 4), None(), None()}},
        {"윤곽선", {P("추출정도", 0, 5, 0), P("명암정도", -30, 30, 0), None()}},
        {"경계강조", {P("테두리양", 0, 99, 1), P("표시강도", 0, 10, 1), None()}},
        {"물체축소", {P("축소허용", 2, 20, 4), None(), None()}},
        {"물체확장", {P("확장허용", 2, 20, 4), None(), None()}},
        {"찍어붙이기", {P("윤곽정도", 5, 20, 8), P("선분길이", 3, 30, 1), P("색상표현", 1, 99, 1)}},
        {"색종이뿌리기", {P("윤곽정도", 5, 20, 10), P("선분길이", 3, 30, 1), P("색상표현", 1, 20, 2)}},
        {"선효과채색", {P("선분길이", 0, 7, 5), P("반복", 1, 3, 1), None()}},
        {"수채화", {P("붓크기", 0, 99, 1), P("부드럽게", 0, 99, 1), None()}},
        {"한지효과", {P("흐림정도", 0, 99, 1), None(), None()}},
        {"빗방울", {P("크기", 0, 99, 40), P("빈도", 50, 150, 100), None()}},
        {"유리성에", {P("흐림정도", 0, 15, 1), None(), None()}},
        {"영역확장", {P("확장허용", 20, 70, 30), None(), None()}},
        {"방울채색", {P("방울크기", 0, 30, 7), P("윤곽선표시", 5, 20, 8), None()}},
        {"유화", {P("붓길이", 0, 10, 5), P("세밀함", 0, 99, 50), None()}},
        {"엠보스", {P("추출정도", 1, 10, 1), P("음영표현", 0, 99, 0), None()}},
        {"욕실효과", {P("조정 1", -49, 49, 0), P("조정 2", -49, 49, 0), None()}},
        {"부드럽게B", {None(), None(), None()}},
    };
    return rows;
}

// Which parameters the document operation receives.
int InputsOf(const std::string& name) {
    static const char* one[] = {"물체축소", "물체확장", "흐리게", "부드럽게", "유리성에", "영역확장", kThreshold};
    static const char* two[] = {"윤곽선", "노이즈제거(B)", "엠보스", "선효과채색", "수채화",
                                "한지효과", "빗방울", "경계강조", "방울채색", "유화"};
    for (const char* n : one)
        if (name == n) return 1;
    for (const char* n : two)
        if (name == n) return 2;
    if (name == "찍어붙이기" || name == "색종이뿌리기") return 3;
    return 0;
}
}  // namespace

const std::vector<std::string>& FilterNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        for (const Row& r : Table()) v.push_back(r.name);
        return v;
    }();
    return names;
}

const std::vector<std::string>& ThresholdModes() {
    static const std::vector<std::string> modes = {"FS 디더링", "OR 디더링", "절대변환"};
    return modes;
}

FilterSpec Lookup(const std::string& name, int mode) {
    FilterSpec s;
    s.name = name;
    s.inputs = InputsOf(name);
    if (name == kThreshold) {
        if (mode == 1)
            s.params[0] = P("농도조절", 0, 255, 75);
        else if (mode == 2)
            s.params[0] = P("이진임계치", 0, 255, 128);
        else
            s.params[0] = P("농도조절", 0, 255, 128);
        s.params[1] = s.params[2] = None();
        return s;
    }
    for (const Row& r : Table())
        if (name == r.name) {
            for (int i = 0; i < 3; ++i) s.params[i] = r.p[i];
            return s;
        }
    s.params[0] = P("조정 1", -49, 49, 0);
    s.params[1] = P("조정 2", -49, 49, 0);
    s.params[2] = None();
    return s;
}

std::string ParamLabel(const ParamSpec& p) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s(%d‥%d)", p.label.c_str(), p.min, p.max);
    return buf;
}

std::u16string UndoLabel(const std::string& name, int mode) {
    if (name == kThreshold) {
        if (mode == 1) return u"순서화디더링";
        if (mode == 2) return u"영상의 임계치변환";
        return u"FS디더링";
    }
    return Utf8ToUtf16(name);
}

bool RunDocumentFilter(CVexoDoc& doc, const std::string& name, int mode, int p1, int p2, int p3) {
    const int n = InputsOf(name);
    // Parameters the operation does not receive are passed as 0.
    if (n < 3) p3 = 0;
    if (n < 2) p2 = 0;
    if (n < 1) p1 = 0;
    return docfilters::RunFilterByName(doc, name, mode, p1, p2, p3);
}

// --- the dialog model --------------------------------------------------------------

FilterDialogModel::FilterDialogModel(CVexoDoc* doc) : doc_(doc) {
    // The panel opens: the current layer is the starting picture.
    if (doc_ && IsValidLayer(doc_->currentLayer))
        doc_->prevState.layers[doc_->currentLayer].CopyFrom(doc_->live.layers[doc_->currentLayer]);
    Choose(FilterNames().front());
}

void FilterDialogModel::Choose(const std::string& name, int mode) {
    name_ = name;
    mode_ = name == kThreshold ? std::clamp(mode, 0, 2) : -1;
    const FilterSpec s = Lookup(name, name == kThreshold ? mode_ : mode);
    for (int i = 0; i < 3; ++i) {
        const ParamSpec& p = s.params[i];
        ParamView& v = params_[i];
        v.enabled = p.used;
        v.min = p.min;
        v.max = p.max;
        v.label = ParamLabel(p);
        if (!p.used) {
            v.value = v.slider = 0;
            continue;
        }
        v.tick = std::max(1, (p.max - p.min) / 20);
        v.page = i == 0 ? (p.max - p.min) / 10 + 1 : 10;
        v.value = p.start;                              // below-minimum starts are kept
        v.slider = std::clamp(p.start, p.min, p.max);   // the slider stops at its minimum
    }
}

void FilterDialogModel::SetValue(int index, int value) {
    if (index < 0 || index > 2 || !params_[index].enabled) return;
    ParamView& v = params_[index];
    v.value = value;
    v.slider = std::clamp(value, v.min, v.max);
}

void FilterDialogModel::SetText(int index, const std::string& text) {
    size_t i = 0;
    bool neg = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) neg = text[i++] == '-';
    long v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && v < 1000000) v = v * 10 + (text[i++] - '0');
    SetValue(index, int(neg ? -v : v));
}

bool FilterDialogModel::RestoreLayer() {
    if (!doc_ || !IsValidLayer(doc_->currentLayer)) return false;
    const int cur = doc_->currentLayer;
    const LayerRecord& saved = doc_->prevState.layers[cur];
    if (!saved.inUse || !saved.pixels) return false;
    return doc_->live.layers[cur].CopyFrom(saved);
}

bool FilterDialogModel::Apply() {
    if (!doc_ || !IsValidLayer(doc_->currentLayer)) return false;
    RestoreLayer();
    doc_->Host().Progress(0);
    doc_->Host().BeginWaitCursor();
    const bool ok = RunDocumentFilter(*doc_, name_, mode_, params_[0].value, params_[1].value, params_[2].value);
    doc_->Host().EndWaitCursor();
    tried_ = tried_ || ok;
    return ok;
}

bool FilterDialogModel::StartImage() {
    const bool ok = RestoreLayer();
    if (ok && doc_) {
        doc_->viewRebuild = true;
        doc_->Host().UpdateViews(*doc_, true);
    }
    return ok;
}

bool FilterDialogModel::Close() {
    if (!doc_ || !IsValidLayer(doc_->currentLayer)) return false;
    doc_->Host().Progress(0);
    const bool ok = doc_->RecordUndoStep(UndoLabel(name_, mode_), 0, doc_->currentLayer);
    // The kept picture is the new starting point.
    doc_->prevState.layers[doc_->currentLayer].CopyFrom(doc_->live.layers[doc_->currentLayer]);
    tried_ = false;
    return ok;
}

void FilterDialogModel::Cancel() {
    if (!doc_) return;
    doc_->Host().Progress(0);
    if (RestoreLayer()) {
        doc_->viewRebuild = true;
        doc_->Host().UpdateViews(*doc_, true);
    }
    tried_ = false;
}

}  // namespace filters
