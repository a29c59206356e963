#include "anchor_path.h"

#include <algorithm>
#include <cmath>

#include "CVexoDoc.h"
#include "selection.h"

namespace docpath {

int64_t DistanceSq(Point a, Point b) {
    const int64_t dx = int64_t(a.x) - b.x, dy = int64_t(a.y) - b.y;
    return dx * dx + dy * dy;
}

int AnchorPath::Nearest(Point p, int64_t* d2) const {
    int best = -1;
    int64_t bestD = 0;
    for (size_t i = 0; i < anchors.size(); ++i) {
        const int64_t d = DistanceSq(anchors[i], p);
        if (best < 0 || d < bestD) {
            best = int(i);
            bestD = d;
        }
    }
    if (d2) *d2 = bestD;
    return best;
}

namespace {

PointD D(Point p) { return PointD{double(p.x), double(p.y)}; }

// Samples per span: about one every three pixels of the chord, 2 to 64.
int SamplesFor(PointD a, PointD b) {
    const double len = std::hypot(b.x - a.x, b.y - a.y);
    return std::clamp(int(std::ceil(len / 3.0)), 2, 64);
}

// Uniform Catmull-Rom between p1 and p2 at t in [0, 1].
PointD CatmullRom(PointD p0, PointD p1, PointD p2, PointD p3, double t) {
    const double t2 = t * t, t3 = t2 * t;
    auto f = [&](double a, double b, double c, double d) {
        return 0.5 * ((2 * b) + (-a + c) * t + (2 * a - 5 * b + 4 * c - d) * t2 + (-a + 3 * b - 3 * c + d) * t3);
    };
    return PointD{f(p0.x, p1.x, p2.x, p3.x), f(p0.y, p1.y, p2.y, p3.y)};
}

}  // namespace

std::vector<PointD> Curve(const AnchorPath& path, std::vector<int>* spans) {
    std::vector<PointD> out;
    if (spans) spans->clear();
    const auto& a = path.anchors;
    const size_t n = a.size();
    if (n == 0) return out;
    out.push_back(D(a[0]));
    if (spans) spans->push_back(0);
    if (n == 1) return out;
    const bool closed = path.completed && n >= 3;
    const size_t spanCount = closed ? n : n - 1;
    auto at = [&](long i) {
        if (closed) return D(a[size_t((i % long(n) + long(n)) % long(n))]);
        return D(a[size_t(std::clamp<long>(i, 0, long(n) - 1))]);
    };
    for (size_t s = 0; s < spanCount; ++s) {
        const PointD p0 = at(long(s) - 1), p1 = at(long(s)), p2 = at(long(s) + 1), p3 = at(long(s) + 2);
        const int k = SamplesFor(p1, p2);
        // The last span of a closed path ends where the curve began.
        const int last = closed && s + 1 == spanCount ? k - 1 : k;
        for (int j = 1; j <= last; ++j) {
            out.push_back(j == k ? p2 : CatmullRom(p0, p1, p2, p3, double(j) / k));
            if (spans) spans->push_back(int(s));
        }
    }
    return out;
}

int InsertionIndex(const AnchorPath& path, Point p) {
    const size_t n = path.anchors.size();
    if (n < 2) return int(n);
    std::vector<int> spans;
    const std::vector<PointD> curve = Curve(path, &spans);
    const bool closed = path.completed && n >= 3;
    // The curve segment nearest to p (distance from p to each piece).
    double best = -1;
    int bestSpan = 0;
    const size_t pieces = closed ? curve.size() : curve.size() - 1;
    for (size_t i = 0; i < pieces; ++i) {
        const PointD u = curve[i], v = curve[(i + 1) % curve.size()];
        const double dx = v.x - u.x, dy = v.y - u.y, len2 = dx * dx + dy * dy;
        double t = len2 > 0 ? ((p.x - u.x) * dx + (p.y - u.y) * dy) / len2 : 0.0;
        t = std::clamp(t, 0.0, 1.0);
        const double ex = p.x - (u.x + t * dx), ey = p.y - (u.y + t * dy);
        const double d = ex * ex + ey * ey;
        if (best < 0 || d < best) {
            best = d;
            // The piece ending at sample i + 1 belongs to that sample's span
            // (the closing piece to the last span).
            bestSpan = i + 1 < spans.size() ? spans[i + 1] : int(n) - 1;
        }
    }
    return bestSpan + 1;
}

namespace {
// The layer's top row on the canvas (counted from the top).
int LayerTop(const CVexoDoc& doc, const LayerRecord& l) { return doc.live.canvas.height - l.height + l.y; }
}  // namespace

Point ToLayer(const CVexoDoc& doc, int layer, int canvasX, int canvasY) {
    if (!IsValidLayer(layer)) return Point{canvasX, canvasY};
    const LayerRecord& l = doc.Layer(layer);
    return Point{canvasX - l.x, canvasY - LayerTop(doc, l)};
}

PointD ToCanvas(const CVexoDoc& doc, int layer, PointD p) {
    if (!IsValidLayer(layer)) return p;
    const LayerRecord& l = doc.Layer(layer);
    return PointD{p.x + l.x, p.y + LayerTop(doc, l)};
}

bool MakeSelection(CVexoDoc& doc, int feather) {
    AnchorPath& path = doc.anchorPath;
    if (path.anchors.size() <= 2) {
        doc.Host().MessageBox(kNeedMoreAnchors);
        return false;
    }
    if (!path.completed) {
        doc.Host().MessageBox(kNotClosed);
        return false;
    }
    const int cur = doc.currentLayer;
    std::vector<CVexoDoc::CanvasPoint> pts;
    for (const PointD& q : Curve(path)) {
        const PointD c = ToCanvas(doc, cur, q);
        const CVexoDoc::CanvasPoint p{int(std::lround(c.x)), int(std::lround(c.y))};
        if (pts.empty() || pts.back().x != p.x || pts.back().y != p.y) pts.push_back(p);
    }
    if (!doc.SelectShape(selection::kShapePolygon, pts, feather)) return false;
    path.Clear();
    return true;
}

}  // namespace docpath
