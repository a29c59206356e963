// The filter dialog's model, without a window: the list of filters, the
// parameter table (labels, ranges, starting values), which document
// operation receives which parameters, and the try / back to the start /
// keep / cancel rules. The dialog window only shows this model.
#pragma once

#include <string>
#include <vector>

class CVexoDoc;

namespace filters {

struct ParamSpec {
    std::string label;   // "미지정" when unused
    int min = 0, max = 0, start = 0;
    bool used = false;
};

struct FilterSpec {
    std::string name;
    ParamSpec params[3];
    int inputs = 0;      // how many parameters the operation receives (0..3)
};

// The combo box's list, in its order.
const std::vector<std::string>& FilterNames();
// The threshold filter and its three modes.
inline constexpr const char* kThreshold = "임계치변환";
const std::vector<std::string>& ThresholdModes();   // "FS 디더링", "OR 디더링", "절대변환"
// Parameter table row for a filter (threshold: with its mode index, -1 =
// none). Names not in the table get the "조정 1" / "조정 2" rows.
FilterSpec Lookup(const std::string& name, int mode = -1);
// "%s(%d‥%d)" of a parameter.
std::string ParamLabel(const ParamSpec& p);

// Runs the document's filter operation for a filter of the list (or the
// threshold with a mode, or "렌즈효과") with the three values; the
// operation takes the values it needs. False when it refused or failed.
bool RunDocumentFilter(CVexoDoc& doc, const std::string& name, int mode, int p1, int p2, int p3);
// The undo label of a filter: its name; the threshold modes record
// "FS디더링", "순서화디더링" and "영상의 임계치변환".
std::u16string UndoLabel(const std::string& name, int mode);

// The dialog's state and its buttons.
class FilterDialogModel {
public:
    explicit FilterDialogModel(CVexoDoc* doc);

    struct ParamView {
        std::string label;        // "%s(%d‥%d)"
        int min = 0, max = 0;
        int value = 0;            // what the filter receives
        int slider = 0;           // slider position (clamped into the range)
        int tick = 1, page = 10;
        bool enabled = false;
    };

    // Selection change of the filter (and of the threshold mode).
    void Choose(const std::string& name, int mode = -1);
    // Slider released or number typed: stores the value, moves the slider.
    void SetValue(int index, int value);
    // Typed text: its leading decimal digits (with a sign) are the value.
    void SetText(int index, const std::string& text);

    // "적용": restore the layer from the previous-state copy, then run.
    bool Apply();
    // "시작 이미지": the layer as it was when the panel opened or last closed.
    bool StartImage();
    // "닫기": keep the tried result as one undo step named after the filter.
    bool Close();
    // The dialog's cancel: put the layer back and close.
    void Cancel();

    const std::string& Name() const { return name_; }
    int Mode() const { return mode_; }
    const ParamView& Param(int i) const { return params_[i]; }
    bool Tried() const { return tried_; }

private:
    bool RestoreLayer();
    CVexoDoc* doc_;
    std::string name_;
    int mode_ = -1;
    ParamView params_[3];
    bool tried_ = false;
};

}  // namespace filters
