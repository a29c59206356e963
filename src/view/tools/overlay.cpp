#include "overlay.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tools {

ZRect ZRect::Union(const ZRect& o) const {
    if (Empty()) return o;
    if (o.Empty()) return *this;
    return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right), std::max(bottom, o.bottom)};
}

ZRect ZRect::Intersect(const ZRect& o) const {
    ZRect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
    if (r.Empty()) return {};
    return r;
}

void Overlay::Show(OverlayItem item) {
    if (items_.size() == 1 && items_[0] == item) return;
    items_.clear();
    items_.push_back(std::move(item));
    ++version_;
}

void Overlay::Add(OverlayItem item) {
    items_.push_back(std::move(item));
    ++version_;
}

void Overlay::Hide() {
    if (items_.empty()) return;
    items_.clear();
    ++version_;
}

void Overlay::SetBackground(std::vector<OverlayItem> items) {
    if (items == background_) return;
    background_ = std::move(items);
    ++version_;
}

ZRect Overlay::Bounds() const {
    ZRect r;
    for (const OverlayItem& i : background_) r = r.Union(ItemBounds(i));
    for (const OverlayItem& i : items_) r = r.Union(ItemBounds(i));
    return r;
}

void Overlay::Rasterize(const SpanFn& span) const {
    for (const OverlayItem& i : background_) RasterizeItem(i, span);
    for (const OverlayItem& i : items_) RasterizeItem(i, span);
}

void Overlay::RasterizeColoured(const ColourSpanFn& span) const {
    const paint::Rgb grey{128, 128, 128};
    for (const auto* list : {&background_, &items_})
        for (const OverlayItem& i : *list) {
            const paint::Rgb c = this->grey ? grey : i.tinted ? i.tint : colour;
            RasterizeItem(i, [&](int x, int y, int n) { span(x, y, n, c); });
        }
}

Overlay::Tiles Overlay::CoverTiles(int tile) const {
    Tiles tiles;
    if (!Shown() || tile < 1) return tiles;
    auto floorDiv = [tile](int v) { return v >= 0 ? v / tile : -((-v + tile - 1) / tile); };
    Rasterize([&](int x, int y, int n) {
        const int ty = floorDiv(y);
        for (int tx = floorDiv(x), last = floorDiv(x + n - 1); tx <= last; ++tx)
            if (tiles.empty() || tiles.back() != std::make_pair(ty, tx)) tiles.emplace_back(ty, tx);
    });
    std::sort(tiles.begin(), tiles.end());
    tiles.erase(std::unique(tiles.begin(), tiles.end()), tiles.end());
    return tiles;
}

std::vector<ZRect> Overlay::TilesToRects(const Tiles& tiles, int tile) {
    std::vector<ZRect> out;
    for (size_t i = 0; i < tiles.size();) {
        size_t j = i + 1;
        while (j < tiles.size() && tiles[j].first == tiles[i].first && tiles[j].second == tiles[j - 1].second + 1) ++j;
        const int ty = tiles[i].first, tx0 = tiles[i].second, tx1 = tiles[j - 1].second;
        out.push_back(ZRect{tx0 * tile, ty * tile, (tx1 + 1) * tile, (ty + 1) * tile});
        i = j;
    }
    return out;
}

std::vector<ZRect> Overlay::Cover(int tile) const { return TilesToRects(CoverTiles(tile), tile); }

namespace {

ZRect PointBox(const std::vector<paint::ZPoint>& pts, int grow) {
    if (pts.empty()) return {};
    int x0 = pts[0].x, x1 = pts[0].x, y0 = pts[0].y, y1 = pts[0].y;
    for (const paint::ZPoint& p : pts) {
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
    }
    return {x0 - grow, y0 - grow, x1 + 1 + grow, y1 + 1 + grow};
}

// Centre (doubled) and radius of the circle item.
void CircleOf(const OverlayItem& item, int& cx, int& cy, int& r) {
    const paint::ZPoint a = item.points[0], b = item.points.size() > 1 ? item.points[1] : item.points[0];
    cx = (a.x + b.x) / 2;
    cy = (a.y + b.y) / 2;
    const double dx = b.x - a.x, dy = b.y - a.y;
    r = int(std::sqrt(dx * dx + dy * dy) / 2.0);
}

}  // namespace

ZRect ItemBounds(const OverlayItem& item) {
    if (item.points.empty()) return {};
    switch (item.kind) {
    case OverlayKind::Circle: {
        int cx, cy, r;
        CircleOf(item, cx, cy, r);
        return {cx - r, cy - r, cx + r + 1, cy + r + 1};
    }
    case OverlayKind::LineSquares: return PointBox(item.points, 4);
    case OverlayKind::Handles: return PointBox(item.points, 3);
    case OverlayKind::Marks: return PointBox(item.points, 2);
    default: return PointBox(item.points, 0);
    }
}

void MidpointCircle(int cx, int cy, int r, const std::function<void(int, int)>& point) {
    if (r < 0) return;
    point(cx + r, cy);
    point(cx - r, cy);
    point(cx, cy + r);
    point(cx, cy - r);
    if (r == 0) return;
    auto k = [r](int i) { return int(std::lround(std::sqrt(double(r) * r - double(i) * i))); };
    int i = 1;
    for (int kk = k(1); i < kk; ++i, kk = k(i)) {
        point(cx + i, cy + kk);
        point(cx - i, cy + kk);
        point(cx + i, cy - kk);
        point(cx - i, cy - kk);
        point(cx + kk, cy + i);
        point(cx - kk, cy + i);
        point(cx + kk, cy - i);
        point(cx - kk, cy - i);
    }
    if (i == k(i)) {
        point(cx + i, cy + i);
        point(cx - i, cy + i);
        point(cx + i, cy - i);
        point(cx - i, cy - i);
    }
}

void BresenhamLine(paint::ZPoint a, paint::ZPoint b, const std::function<void(int, int)>& point) {
    const int dx = std::abs(b.x - a.x), dy = std::abs(b.y - a.y);
    const int sx = b.x >= a.x ? 1 : -1, sy = b.y >= a.y ? 1 : -1;
    int x = a.x, y = a.y;
    if (dx >= dy) {
        int err = 2 * dy - dx;
        for (int i = 0; i <= dx; ++i) {
            point(x, y);
            if (err > 0) {
                y += sy;
                err += 2 * (dy - dx);
            } else {
                err += 2 * dy;
            }
            x += sx;
        }
    } else {
        int err = 2 * dx - dy;
        for (int i = 0; i <= dy; ++i) {
            point(x, y);
            if (err > 0) {
                x += sx;
                err += 2 * (dx - dy);
            } else {
                err += 2 * dx;
            }
            y += sy;
        }
    }
}

void RasterizeItem(const OverlayItem& item, const SpanFn& span) {
    if (item.points.empty()) return;
    const auto& p = item.points;
    switch (item.kind) {
    case OverlayKind::Band: {
        const paint::ZPoint b = p.size() > 1 ? p[1] : p[0];
        const int x0 = std::min(p[0].x, b.x), x1 = std::max(p[0].x, b.x);
        const int y0 = std::min(p[0].y, b.y), y1 = std::max(p[0].y, b.y);
        span(x0, y0, x1 - x0 + 1);
        if (y1 != y0) span(x0, y1, x1 - x0 + 1);
        for (int y = y0 + 1; y < y1; ++y) {
            span(x0, y, 1);
            if (x1 != x0) span(x1, y, 1);
        }
        break;
    }
    case OverlayKind::Circle: {
        int cx, cy, r;
        CircleOf(item, cx, cy, r);
        MidpointCircle(cx, cy, r, [&](int x, int y) { span(x, y, 1); });
        break;
    }
    case OverlayKind::LineSquares: {
        const paint::ZPoint b = p.size() > 1 ? p[1] : p[0];
        BresenhamLine(p[0], b, [&](int x, int y) {
            for (int k = -4; k <= 4; ++k) span(x - 4, y + k, 9);
        });
        break;
    }
    case OverlayKind::Polyline: {
        const size_t n = p.size();
        if (n == 1) span(p[0].x, p[0].y, 1);
        for (size_t i = 0; i + 1 < n; ++i) BresenhamLine(p[i], p[i + 1], [&](int x, int y) { span(x, y, 1); });
        if (item.closed && n > 2) BresenhamLine(p[n - 1], p[0], [&](int x, int y) { span(x, y, 1); });
        break;
    }
    case OverlayKind::Marks:
        for (const paint::ZPoint& q : p)
            for (int y = q.y - 2; y <= q.y + 2; ++y) span(q.x - 2, y, 5);
        break;
    case OverlayKind::Handles:
        for (const paint::ZPoint& q : p) {
            span(q.x - 3, q.y - 3, 7);
            span(q.x - 3, q.y + 3, 7);
            for (int y = q.y - 2; y <= q.y + 2; ++y) {
                span(q.x - 3, y, 1);
                span(q.x + 3, y, 1);
            }
        }
        break;
    }
}

}  // namespace tools
