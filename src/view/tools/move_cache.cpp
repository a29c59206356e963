#include "move_cache.h"

#include <algorithm>
#include <cstring>

#include "CVexoDoc.h"

namespace tools {

MoveCache::~MoveCache() { Drop(); }

void MoveCache::SetWindow(int left, int top, int width, int height) {
    winLeft_ = left;
    winTop_ = top;
    winW_ = std::max(0, width);
    winH_ = std::max(0, height);
}

void MoveCache::Drop() {
    if (doc_) doc_->RemoveObserver(this);
    doc_ = nullptr;
    moving_ = -1;
    signature_.clear();
    below_.clear();
    below_.shrink_to_fit();
    aboveFrom_.clear();
    aboveTo_.clear();
}

void MoveCache::DocumentChanged(CVexoDoc& doc, const DocChange& change) {
    if (&doc != doc_) return;
    // A move step changes a layer's place (Layers) and asks for the
    // picture to be composited again (Composite); anything else, or a
    // change of the stack beyond that place (pixels raise the layers'
    // revisions), ends the composites.
    if (change.what & ~unsigned(docchange::Layers | docchange::Composite | docchange::Repaint)) {
        Drop();
        return;
    }
    if (Signature(doc, moving_) != signature_) Drop();
}

std::vector<int64_t> MoveCache::Signature(const CVexoDoc& doc, int moving) const {
    const CanvasInfo& c = doc.live.canvas;
    std::vector<int64_t> s = {c.width,         c.height,        c.bitsPerPixel, c.paletteColors,
                              int64_t(doc.live.palette.size()), doc.headLayer,  moving,
                              int64_t(doc.zoom * 1e9),          left_,          top_,
                              w_,              h_};
    for (int i : doc.StackOrder()) {
        const LayerRecord& L = doc.Layer(i);
        s.insert(s.end(), {int64_t(i), int64_t(doc.LayerRevision(i)), L.visible, L.blendMode, L.transparency, L.kind,
                           i == moving ? 0 : L.x, i == moving ? 0 : L.y, L.width, L.height, L.stride,
                           int64_t(L.textColor[0]) | int64_t(L.textColor[1]) << 8 | int64_t(L.textColor[2]) << 16,
                           int64_t(reinterpret_cast<intptr_t>(L.pixels.get())),
                           int64_t(reinterpret_cast<intptr_t>(L.alpha.get()))});
    }
    return s;
}

bool MoveCache::Build(CVexoDoc& doc, int moving) {
    Drop();
    if (winW_ < 1 || winH_ < 1 || !(doc.zoom > 0) || doc.zoom > 1.0) return false;
    const std::vector<int> order = doc.StackOrder();
    const auto at = std::find(order.begin(), order.end(), moving);
    if (at == order.end()) return false;
    left_ = winLeft_;
    top_ = winTop_;
    w_ = winW_;
    h_ = winH_;
    const ptrdiff_t stride = ptrdiff_t(w_) * 4;
    below_.assign(size_t(stride) * size_t(h_), 0);
    const int belowCount = int(at - order.begin());
    if (belowCount > 0) doc.CompositeRect(doc.headLayer, belowCount, doc.zoom, left_, top_, w_, h_, below_.data(), stride);

    // Where the layers above draw: the compositor's own sampling of
    // columns and rows, pixels of alpha above 0.
    const double z = doc.zoom;
    const int W = doc.live.canvas.width, H = doc.live.canvas.height;
    aboveFrom_.assign(size_t(h_), w_);
    aboveTo_.assign(size_t(h_), 0);
    std::vector<int> col(static_cast<size_t>(w_));
    for (int j = 0; j < w_; ++j) {
        const int64_t c = int64_t((left_ + j) / z);
        col[size_t(j)] = (left_ + j >= 0 && c < W) ? int(c) : -1;
    }
    for (auto it = at + 1; it != order.end(); ++it) {
        const LayerRecord& L = doc.Layer(*it);
        if (L.visible != 1 || !L.pixels || !L.alpha || L.width <= 0 || L.height <= 0) continue;
        for (int i = 0; i < h_; ++i) {
            const int64_t t = int64_t((top_ + i) / z);
            if (top_ + i < 0 || t >= H) continue;
            const int64_t r = int64_t(H - 1 - t) + L.y;
            if (r < 0 || r >= L.height) continue;
            const uint8_t* a = L.AlphaRow(int(r));
            int& from = aboveFrom_[size_t(i)];
            int& to = aboveTo_[size_t(i)];
            for (int j = 0; j < from; ++j) {
                const int64_t lc = int64_t(col[size_t(j)]) - L.x;
                if (col[size_t(j)] >= 0 && lc >= 0 && lc < L.width && a[lc]) {
                    from = j;
                    break;
                }
            }
            for (int j = w_ - 1; j >= to; --j) {
                const int64_t lc = int64_t(col[size_t(j)]) - L.x;
                if (col[size_t(j)] >= 0 && lc >= 0 && lc < L.width && a[lc]) {
                    to = j + 1;
                    break;
                }
            }
        }
    }
    doc_ = &doc;
    moving_ = moving;
    signature_ = Signature(doc, moving);
    doc.AddObserver(this);
    ++builds_;
    return true;
}

void MoveCache::Composite(CVexoDoc& doc, int moving, int left, int top, int width, int height, uint8_t* dst,
                          ptrdiff_t stride) {
    if (width <= 0 || height <= 0) return;
    auto whole = [&] { doc.CompositeRect(doc.headLayer, -1, doc.zoom, left, top, width, height, dst, stride); };
    if (moving < 0 || !IsValidLayer(moving)) {
        if (Holds()) Drop();
        return whole();
    }
    const bool fresh = doc_ == &doc && moving_ == moving && winLeft_ == left_ && winTop_ == top_ && winW_ == w_ &&
                       winH_ == h_ && Signature(doc, moving) == signature_;
    if (!fresh && !Build(doc, moving)) return whole();
    if (left < left_ || top < top_ || int64_t(left) + width > int64_t(left_) + w_ ||
        int64_t(top) + height > int64_t(top_) + h_)
        return whole();
    // Below, as kept.
    const int dx = left - left_, dy = top - top_;
    for (int i = 0; i < height; ++i)
        std::memcpy(dst + stride * i, below_.data() + (size_t(dy + i) * size_t(w_) + size_t(dx)) * 4, size_t(width) * 4);
    // The moving layer over it, and the layers above with it where they
    // draw, in bands of rows that share those columns (one pass of the
    // compositor over each part).
    const int above = doc.Layer(moving).next;
    auto run = [&](int start, int count, int i0, int i1, int c0, int c1) {
        if (c0 < c1 && i0 < i1)
            doc.CompositeRect(start, count, doc.zoom, left + c0, top + i0, c1 - c0, i1 - i0,
                              dst + stride * i0 + ptrdiff_t(c0) * 4, stride, -1, true);
    };
    if (!IsValidLayer(above)) return run(moving, 1, 0, height, 0, width);
    auto from = [&](int i) { return std::clamp(aboveFrom_[size_t(dy + i)] - dx, 0, width); };
    auto to = [&](int i) { return std::clamp(aboveTo_[size_t(dy + i)] - dx, 0, width); };
    int i = 0;
    while (i < height) {
        const int f = from(i), t = to(i);
        int k = i + 1;
        while (k < height && from(k) == f && to(k) == t) ++k;
        if (f < t) {
            run(moving, 1, i, k, 0, f);
            run(moving, -1, i, k, f, t);
            run(moving, 1, i, k, t, width);
        } else {
            run(moving, 1, i, k, 0, width);
        }
        i = k;
    }
}

}  // namespace tools
