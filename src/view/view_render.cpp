#include "view_render.h"

#include <algorithm>
#include <cmath>
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

void Render(const uint8_t* bgra, const Visible& v, double z, const Look& look, Frame& out) {
    const uint8_t kField = 120, kHatch = 191, kPaper = 255;
    for (int y = 0; y < out.clientH; ++y) std::memset(out.rgb + size_t(y) * out.stride, kField, size_t(out.clientW) * 3);
    if (!bgra || v.width <= 0 || v.height <= 0) return;
    // Backdrop weights: colour + back * (255 - alpha) / 255.
    static uint8_t weight[2][256];
    static bool ready = false;
    if (!ready) {
        for (int a = 0; a < 256; ++a) {
            weight[0][a] = uint8_t((kPaper * (255 - a) + 127) / 255);
            weight[1][a] = uint8_t((kHatch * (255 - a) + 127) / 255);
        }
        ready = true;
    }
    const bool grid = look.gridGap > 0 && z > 0;
    const uint8_t gr = uint8_t(look.gridColour), gg = uint8_t(look.gridColour >> 8), gb = uint8_t(look.gridColour >> 16);
    const double inv = 1.0 / z;
    for (int i = 0; i < v.height; ++i) {
        const int zy = v.top + i;
        const uint8_t* s = bgra + size_t(i) * size_t(v.width) * 4;
        uint8_t* d = out.rgb + size_t(v.destY + i) * out.stride + size_t(v.destX) * 3;
        for (int j = 0; j < v.width; ++j, s += 4, d += 3) {
            const uint8_t a = s[3];
            if (a == 255) {
                d[0] = s[2];
                d[1] = s[1];
                d[2] = s[0];
            } else {
                const int zx = v.left + j;
                const uint8_t w = weight[HatchOn(look.hatch, zx, zy) ? 1 : 0][a];
                d[0] = uint8_t(std::min(255, s[2] + w));
                d[1] = uint8_t(std::min(255, s[1] + w));
                d[2] = uint8_t(std::min(255, s[0] + w));
            }
        }
        if (grid) {
            // A grid line on the last screen row of every gap-th image row.
            const int iy = int(zy * inv), next = int((zy + 1) * inv);
            const bool lineRow = next != iy && (iy + 1) % look.gridGap == 0;
            uint8_t* row = out.rgb + size_t(v.destY + i) * out.stride + size_t(v.destX) * 3;
            for (int j = 0; j < v.width; ++j) {
                const int zx = v.left + j;
                const int ix = int(zx * inv), nx = int((zx + 1) * inv);
                if (lineRow || (nx != ix && (ix + 1) % look.gridGap == 0)) {
                    row[j * 3] = gr;
                    row[j * 3 + 1] = gg;
                    row[j * 3 + 2] = gb;
                }
            }
        }
    }
}

void DrawOutline(const MaskView& m, const Visible& v, double z, int phase, Frame& out) {
    if (!m.mask || m.mw <= 0 || m.mh <= 0 || v.width <= 0 || v.height <= 0 || !(z > 0)) return;
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
    for (int i = 0; i < v.height; ++i) {
        const int zy = v.top + i;
        const int r0 = rowOf(zy), r1 = rowOf(zy + 1);
        uint8_t* d = out.rgb + size_t(v.destY + i) * out.stride + size_t(v.destX) * 3;
        for (int j = 0; j < v.width; ++j, d += 3) {
            const int c0 = col[size_t(j)], c1 = col[size_t(j) + 1];
            const bool here = at(r0, c0);
            if (here == at(r0, c1) && here == at(r1, c0)) continue;
            const bool dark = (((v.left + j + zy) >> 2) + phase) & 1;
            d[0] = d[1] = d[2] = dark ? 0 : 255;
        }
    }
}

}  // namespace viewmath
