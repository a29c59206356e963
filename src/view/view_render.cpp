#include "view_render.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace viewmath {

bool ZoomInStep(double& z) {
    if (z >= kZoomMax) return false;
    double old = z;
    z *= 1.25;
    if (old < 1.0 && z > 1.0) z = 1.0;
    return true;
}

bool ZoomOutStep(double& z) {
    if (z <= kZoomMin) return false;
    double old = z;
    z *= 0.8;
    if (old > 1.0 && z < 1.0) z = 1.0;
    return true;
}

double InitialZoom(int W, int H, int mainW, int mainH) {
    if (W <= 0 || H <= 0) return 1.0;
    double f = std::min(double(mainH) / H, double(mainW) / W);
    if (f < 0.5) f = 0.5;
    double z = 1.0;
    if (f < 1.3) {
        z = f;
        ZoomOutStep(z);
    }
    return z;
}

ImageRect ComputeImageRect(int W, int H, double z, int clientW, int clientH) {
    ImageRect r;
    int cw = clientW + 1, ch = clientH + 1;
    r.zw = int(W * z);
    r.zh = int(H * z);
    int dx = (cw - r.zw) / 2, dy = (ch - r.zh) / 2;
    r.wider = dx < 0;
    r.taller = dy < 0;
    r.dx = r.wider ? 0 : dx;
    r.dy = r.taller ? 0 : dy;
    r.left = r.dx;
    r.top = r.dy;
    r.right = r.dx + (r.wider ? cw : r.zw) - 1;
    r.bottom = r.dy + (r.taller ? ch : r.zh) - 1;
    return r;
}

ZoomedPoint ClientToZoomed(const ImageRect& r, int scrollX, int scrollY, int x, int y) {
    ZoomedPoint p;
    const int cx = std::clamp(x, r.left, std::max(r.left, r.right));
    const int cy = std::clamp(y, r.top, std::max(r.top, r.bottom));
    p.clamped = cx != x || cy != y;
    p.x = cx + (r.wider ? scrollX : 0) - r.left;
    p.y = cy + (r.taller ? scrollY : 0) - r.top;
    // A window wider than the rest of a scrolled picture: keep inside it.
    p.x = std::clamp(p.x, 0, std::max(r.zw - 1, 0));
    p.y = std::clamp(p.y, 0, std::max(r.zh - 1, 0));
    return p;
}

namespace {

inline bool HatchOn(int style, int x, int y) {
    x &= 7;
    y &= 7;
    switch (style) {
        case 0: return y == 0;                                   // horizontal
        case 1: return x == 0;                                   // vertical
        case 2: return ((x - y) & 7) == 0;                       // forward diagonal
        case 3: return ((x + y) & 7) == 7;                       // backward diagonal
        case 4: return x == 0 || y == 0;                         // cross
        case 5: return ((x - y) & 7) == 0 || ((x + y) & 7) == 7; // diagonal cross
        default: return false;
    }
}

}  // namespace

Visible VisiblePart(const ImageRect& r, int sx, int sy, int clientW, int clientH) {
    Visible v;
    v.left = r.wider ? sx : 0;
    v.top = r.taller ? sy : 0;
    v.destX = r.dx;
    v.destY = r.dy;
    v.width = std::max(0, std::min(clientW - r.dx, r.zw - v.left));
    v.height = std::max(0, std::min(clientH - r.dy, r.zh - v.top));
    return v;
}

namespace {

constexpr uint8_t kField = 120, kHatch = 191, kPaper = 255;

// Backdrop weights: colour + back * (255 - alpha) / 255, for paper and hatch.
struct Weights {
    uint8_t w[2][256];
    Weights() {
        for (int a = 0; a < 256; ++a) {
            w[0][a] = uint8_t((kPaper * (255 - a) + 127) / 255);
            w[1][a] = uint8_t((kHatch * (255 - a) + 127) / 255);
        }
    }
};
const Weights kWeights;

}  // namespace

void FillField(const Visible& v, Frame& out) {
    const bool any = v.width > 0 && v.height > 0;
    for (int y = 0; y < out.clientH; ++y) {
        uint8_t* row = out.At(0, y);
        if (!any || y < v.destY || y >= v.destY + v.height) {
            std::memset(row, kField, size_t(out.clientW) * 4);
            continue;
        }
        std::memset(row, kField, size_t(v.destX) * 4);
        const int right = v.destX + v.width;
        if (right < out.clientW) std::memset(row + size_t(right) * 4, kField, size_t(out.clientW - right) * 4);
    }
}

void Finish(const Visible& v, int x0, int y0, int x1, int y1, double z, const Look& look, Frame& out) {
    if (x0 >= x1 || y0 >= y1) return;
    const bool grid = look.gridGap > 0 && z > 0;
    const uint8_t gr = uint8_t(look.gridColour), gg = uint8_t(look.gridColour >> 8), gb = uint8_t(look.gridColour >> 16);
    const double inv = 1.0 / z;
    for (int i = y0; i < y1; ++i) {
        const int zy = v.top + i;
        uint8_t* row = out.At(v.destX, v.destY + i);
        // The backdrop of this row repeats every 8 zoomed columns.
        const uint8_t* weight[8];
        for (int k = 0; k < 8; ++k) weight[(v.left + k) & 7] = kWeights.w[HatchOn(look.hatch, v.left + k, zy) ? 1 : 0];
        auto pixel = [&](int j) {
            uint8_t* d = row + size_t(j) * 4;
            const uint8_t a = d[3];
            if (a == 255) return;
            const uint8_t w = weight[(v.left + j) & 7][a];
            d[0] = uint8_t(std::min(255, d[0] + w));
            d[1] = uint8_t(std::min(255, d[1] + w));
            d[2] = uint8_t(std::min(255, d[2] + w));
        };
        int j = x0;
        // Groups of four opaque pixels are already final.
        for (; j + 4 <= x1; j += 4) {
            uint32_t px[4];
            std::memcpy(px, row + size_t(j) * 4, 16);
            if ((px[0] & px[1] & px[2] & px[3]) >> 24 == 255) continue;
            pixel(j), pixel(j + 1), pixel(j + 2), pixel(j + 3);
        }
        for (; j < x1; ++j) pixel(j);
        if (grid) {
            // A grid line on the last screen row of every gap-th image row.
            const int iy = int(zy * inv), next = int((zy + 1) * inv);
            const bool lineRow = next != iy && (iy + 1) % look.gridGap == 0;
            for (int k = x0; k < x1; ++k) {
                const int zx = v.left + k;
                const int ix = int(zx * inv), nx = int((zx + 1) * inv);
                if (lineRow || (nx != ix && (ix + 1) % look.gridGap == 0)) {
                    uint8_t* d = row + size_t(k) * 4;
                    d[0] = gb;
                    d[1] = gg;
                    d[2] = gr;
                }
            }
        }
    }
}

void Render(const uint8_t* bgra, const Visible& v, double z, const Look& look, Frame& out) {
    const bool any = bgra && v.width > 0 && v.height > 0;
    Visible shown = v;
    if (!any) shown.width = shown.height = 0;
    FillField(shown, out);
    if (!any) return;
    for (int i = 0; i < v.height; ++i)
        std::memcpy(out.At(v.destX, v.destY + i), bgra + size_t(i) * size_t(v.width) * 4, size_t(v.width) * 4);
    Finish(v, 0, 0, v.width, v.height, z, look, out);
}

bool FramePainter::State::operator==(const State&) const = default;

void FramePainter::Strip(const Visible& v, int x0, int y0, int x1, int y1, double z, const Look& look, Frame& out,
                         const CompositeFn& composite) {
    if (x0 >= x1 || y0 >= y1) return;
    composite(v.left + x0, v.top + y0, x1 - x0, y1 - y0, out.At(v.destX + x0, v.destY + y0), out.stride);
    Finish(v, x0, y0, x1, y1, z, look, out);
    lastPixels_ += (x1 - x0) * (y1 - y0);
}

Visible FramePainter::Paint(const State& s, Frame& out, const CompositeFn& composite, bool changed) {
    const ImageRect r = ComputeImageRect(s.W, s.H, s.z, out.clientW, out.clientH);
    Visible v = VisiblePart(r, s.scrollX, s.scrollY, out.clientW, out.clientH);
    if (!composite) v.width = v.height = 0;
    lastPixels_ = 0;
    State moved = s;
    moved.scrollX = last_.scrollX;
    moved.scrollY = last_.scrollY;
    const int dx = v.left - lastVisible_.left, dy = v.top - lastVisible_.top;
    const bool reuse = valid_ && !changed && moved == last_ && out.px == lastPx_ && out.stride == lastStride_ &&
                       out.clientW == lastW_ && out.clientH == lastH_ && v.width > 0 && v.height > 0 &&
                       v.width == lastVisible_.width && v.height == lastVisible_.height &&
                       v.destX == lastVisible_.destX && v.destY == lastVisible_.destY && std::abs(dx) < v.width &&
                       std::abs(dy) < v.height;
    if (reuse) {
        // Visible pixel (x, y) now shows what (x + dx, y + dy) showed.
        const int keepW = v.width - std::abs(dx), keepH = v.height - std::abs(dy);
        const int toX = std::max(0, -dx), fromX = std::max(0, dx);
        const int toY = std::max(0, -dy), fromY = std::max(0, dy);
        auto move = [&](int k) {
            std::memmove(out.At(v.destX + toX, v.destY + toY + k), out.At(v.destX + fromX, v.destY + fromY + k),
                         size_t(keepW) * 4);
        };
        if (dy > 0 || (dy == 0 && dx != 0))
            for (int k = 0; k < keepH; ++k) move(k);
        else
            for (int k = keepH - 1; k >= 0; --k) move(k);
        // The rows that came into view, then the columns beside the kept block.
        if (dy > 0) Strip(v, 0, keepH, v.width, v.height, s.z, s.look, out, composite);
        if (dy < 0) Strip(v, 0, 0, v.width, -dy, s.z, s.look, out, composite);
        if (dx > 0) Strip(v, keepW, toY, v.width, toY + keepH, s.z, s.look, out, composite);
        if (dx < 0) Strip(v, 0, toY, -dx, toY + keepH, s.z, s.look, out, composite);
    } else {
        FillField(v, out);
        if (v.width > 0 && v.height > 0) Strip(v, 0, 0, v.width, v.height, s.z, s.look, out, composite);
    }
    last_ = s;
    lastVisible_ = v;
    lastPx_ = out.px;
    lastStride_ = out.stride;
    lastW_ = out.clientW;
    lastH_ = out.clientH;
    valid_ = true;
    return v;
}

bool FramePainter::Repaint(const State& s, Frame& out, const CompositeFn& composite, int left, int top, int width,
                           int height) {
    if (!valid_ || !composite || !(s == last_) || out.px != lastPx_ || out.stride != lastStride_ ||
        out.clientW != lastW_ || out.clientH != lastH_)
        return false;
    const Visible& v = lastVisible_;
    lastPixels_ = 0;
    const int x0 = std::max(left - v.left, 0), y0 = std::max(top - v.top, 0);
    const int x1 = std::min(left + width - v.left, v.width), y1 = std::min(top + height - v.top, v.height);
    if (x0 < x1 && y0 < y1) Strip(v, x0, y0, x1, y1, s.z, s.look, out, composite);
    return true;
}

void DrawOutline(const MaskView& m, const Visible& v, double z, int phase, Frame& out) {
    DrawOutline(m, v, z, phase, out, v.left, v.top, v.width, v.height);
}

void FillSpan(const Visible& v, Frame& out, int x, int y, int length, uint32_t rgb, const Clip& clip) {
    const int top = std::max(v.top, clip.top), bottom = std::min(v.top + v.height, clip.bottom);
    if (y < top || y >= bottom) return;
    const int x0 = std::max({x, v.left, clip.left}), x1 = std::min({x + length, v.left + v.width, clip.right});
    if (x0 >= x1) return;
    uint8_t* d = out.At(v.destX + x0 - v.left, v.destY + y - v.top);
    const uint8_t r = uint8_t(rgb), g = uint8_t(rgb >> 8), b = uint8_t(rgb >> 16);
    for (int k = x0; k < x1; ++k, d += 4) {
        d[0] = b;
        d[1] = g;
        d[2] = r;
    }
}

void DrawOutline(const MaskView& m, const Visible& v, double z, int phase, Frame& out, int left, int top, int width,
                 int height) {
    if (!m.mask || m.mw <= 0 || m.mh <= 0 || v.width <= 0 || v.height <= 0 || !(z > 0)) return;
    const int i0 = std::max(top - v.top, 0), i1 = std::min(top + height - v.top, v.height);
    const int j0 = std::max(left - v.left, 0), j1 = std::min(left + width - v.left, v.width);
    if (i0 >= i1 || j0 >= j1) return;
    const double inv = 1.0 / z;
    // Mask column of every visible column (and of the one after it), -1
    // outside; the table is kept between paints.
    thread_local std::vector<int> col;
    if (col.size() < size_t(v.width) + 1) col.resize(size_t(v.width) + 1);
    for (int j = 0; j <= v.width; ++j) {
        int lx = int((v.left + j) * inv) - m.selX;
        col[size_t(j)] = lx >= 0 && lx < m.mw ? lx : -1;
    }
    auto rowOf = [&](int zy) {
        int r = int(zy * inv);
        int lrow = m.selY + m.H - r - 1;
        return lrow >= 0 && lrow < m.mh ? lrow : -1;
    };
    auto at = [&](int lrow, int lx) -> bool { return lrow >= 0 && lx >= 0 && m.mask[size_t(lrow) * m.mw + lx] == 1; };
    for (int i = i0; i < i1; ++i) {
        const int zy = v.top + i;
        const int r0 = rowOf(zy), r1 = rowOf(zy + 1);
        uint8_t* d = out.At(v.destX + j0, v.destY + i);
        for (int j = j0; j < j1; ++j, d += 4) {
            const int c0 = col[size_t(j)], c1 = col[size_t(j) + 1];
            const bool here = at(r0, c0);
            if (here == at(r0, c1) && here == at(r1, c0)) continue;
            const bool dark = (((v.left + j + zy) >> 2) + phase) & 1;
            d[0] = d[1] = d[2] = dark ? 0 : 255;
        }
    }
}

}  // namespace viewmath
