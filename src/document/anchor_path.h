// The path of the path tools: an ordered list of at most 300 anchor points
// in layer pixels with a completed flag, the curve through them, and the
// selection made from a closed path (command 5622).
//
// Anchors are layer pixels: the column and the row counted from the layer's
// top row (the way the picture shows it), so the path stays on the pixels it
// was drawn on when the layer moves. The curve is a uniform Catmull-Rom
// spline: it runs through every anchor in order, with a tangent at each
// anchor parallel to the chord of its two neighbours (the end anchors of an
// open path use their one neighbour), and closes from the last anchor back
// to the first once the path is completed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CVexoDoc;

namespace docpath {

inline constexpr int kMaxAnchors = 300;
// Squared distance (layer pixels) below which a press hits the first anchor.
inline constexpr int64_t kFirstAnchorSq = 10;
// Squared distance within which the drag tool's cursor shows it can grab.
inline constexpr int64_t kGrabSq = 900;

inline constexpr const char* kTooManyAnchors = "경로 설정에 사용된 안내점이 너무 많습니다.";
inline constexpr const char* kRemoveCompleted = "현재 완성된 경로를 제거하시겠습니까?";
inline constexpr const char* kRemoveWorked = "작업한 경로를 제거하시겠습니까?";
inline constexpr const char* kNeedMoreAnchors = "안내 점이 더 필요합니다.";
inline constexpr const char* kNotClosed = "경로가 닫혀 있지 않습니다.";

struct Point {
    int x = 0, y = 0;
    bool operator==(const Point&) const = default;
};
struct PointD {
    double x = 0, y = 0;
};

struct AnchorPath {
    std::vector<Point> anchors;
    bool completed = false;

    bool Empty() const { return anchors.empty(); }
    void Clear() { *this = AnchorPath{}; }
    // The anchor nearest to p (lowest index on ties), -1 when empty; its
    // squared distance in d2.
    int Nearest(Point p, int64_t* d2 = nullptr) const;
};

int64_t DistanceSq(Point a, Point b);

// The curve through the anchors as a polyline in layer pixels; spans[i]
// tells which anchor span (from anchor spans[i] to the next) sample i ends.
// Closed (the last sample joins the first) when the path is completed.
std::vector<PointD> Curve(const AnchorPath& path, std::vector<int>* spans = nullptr);

// Where an anchor inserted at p goes: the index it takes (the span of the
// curve nearest to p ends there). Appends (returns the size) for paths of
// fewer than two anchors.
int InsertionIndex(const AnchorPath& path, Point p);

// Canvas pixel (origin top-left) to the layer pixels of the path and back.
Point ToLayer(const CVexoDoc& doc, int layer, int canvasX, int canvasY);
PointD ToCanvas(const CVexoDoc& doc, int layer, PointD p);

// Command 5622: the completed curve becomes a closed polygon selection of
// the current layer (widened by `feather`) and the path is cleared. Refused
// with kNeedMoreAnchors (two anchors or fewer) or kNotClosed (not completed),
// shown through the document's host. The caller makes the polygon tool
// current.
bool MakeSelection(CVexoDoc& doc, int feather);

}  // namespace docpath
