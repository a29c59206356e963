// Red-eye removal: inside the selection, every pixel's red is pulled towards
// the smaller of its green and blue, fully at the centre of the rectangle
// and fading out towards its edge.
#include <algorithm>
#include <cmath>
#include <vector>

#include "layer_access.h"
#include "layer_ops.h"

namespace layerops {

bool RemoveRedEyeLayer(LayerOpContext& ctx, int left, int top, int right, int bottom, double strength) {
    if (!ctx.layer || ctx.layer->IsTextKind()) return false;
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const long double s = std::clamp(strength, 0.0, 1.0);
    const long double cx = (left + right) * 0.5L, cy = (top + bottom) * 0.5L;
    const long double area = (long double)(int64_t(right - left) * int64_t(bottom - top));
    if (right <= left || bottom <= top) return true;
    const int x0 = std::max(left, 0), x1 = std::min(right, a.w);
    const int y0 = std::max(top, 0), y1 = std::min(bottom, a.h);
    if (x0 >= x1 || y0 >= y1) return true;
    const SelectionMask* sel = a.ctx().selection;
    const bool everything = !sel || sel->size < 0 || sel->mask.empty();
    std::vector<uint8_t> written(size_t(a.w) * size_t(a.h), 0);
    for (int y = y0; y < y1; ++y) {
        const int r = a.h - 1 - y;   // rows are stored bottom-up
        int shift = 0;
        const uint8_t* m = everything ? nullptr : a.MaskRow(r, shift);
        if (!everything && !m) continue;
        const uint8_t* src = a.SrcRow(r);
        uint8_t* dst = a.DstRow(r);
        uint8_t* wr = written.data() + size_t(r) * size_t(a.w);
        const long double dy = y - cy;
        for (int x = x0; x < x1; ++x) {
            if (m && (x + shift < 0 || x + shift >= sel->width || m[x + shift] == 0)) continue;
            const long double dx = x - cx;
            long double w = 1 - 5 * (dx * dx + dy * dy) / area;
            if (w < 0) w = 0;
            const long double k = std::min<long double>(w * s, 1);
            const uint8_t* p = src + 3 * x;
            const int mn = std::min(p[1], p[0]);
            uint8_t* q = dst + 3 * x;
            q[0] = p[0], q[1] = p[1];
            q[2] = uint8_t(int(std::trunc(p[2] * (1 - k) + k * mn)));
            wr[x] = 1;
        }
    }
    a.Commit(written.data());
    return true;
}

}  // namespace layerops
