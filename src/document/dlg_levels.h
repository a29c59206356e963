// Levels: commands 2076 (automatic colour adjustment) and 2077 (colour
// normalisation), and the headless model of the levels dialog (2533): the
// shown channel, the two markers, the re-mapping on release from the
// previous-state copy, keep and cancel.
#pragma once

#include <cstdint>
#include <string>

class CVexoDoc;

namespace dlg {

// 2076 (equalise false) and 2077 (true): the guard, the re-mapping in the
// command frame and the step ("자동 색상 조정" / "컬러 정규화"), recorded
// even when the layer holds a single level.
bool AutoLevels(CVexoDoc& doc, bool equalise);

class LevelsModel {
public:
    // Opens on the current layer: false (after the guard message) on a text
    // or balloon layer. Puts the layer back from the previous-state copy,
    // copies it into the preview copy and takes the histogram figures.
    bool Open(CVexoDoc& doc);

    int channel = 0;            // 0 RGB, 1 R, 2 G, 3 B
    int low = 0, high = 255;    // the markers
    // Per channel over levels 0..254: largest count, lowest and highest level present.
    uint32_t maxCount[4] = {};
    int lowest[4] = {}, highest[4] = {};
    uint32_t histogram[1024] = {};

    void SetChannel(int c);
    // A press or drag in the marker strip at strip x (0..255 after the 10-pixel
    // margin: x is a dialog coordinate): the nearer marker moves, kept only
    // while low stays below high.
    void PressStrip(int x);
    // Release in the strip: the layer from the previous-state copy,
    // re-mapped by (channel, low, high), copied into the preview copy.
    bool Release();
    // "확인": the layer from the preview copy, step "색상조정".
    bool Keep();
    // Cancel / close: the layer from the previous-state copy.
    void Cancel();
    // Height of the graph bar of level i (0..254) in the shown channel.
    int BarHeight(int level) const;
    std::string RangeText() const;   // "%d ~ %d" of channel 0

private:
    CVexoDoc* doc_ = nullptr;
};

// "CHANNEL,LOW,HIGH" of the cli's levels step: the dialog with the markers
// set, one release and the keep. Throws std::invalid_argument.
bool RunLevelsStep(CVexoDoc& doc, const std::string& args);

}  // namespace dlg
