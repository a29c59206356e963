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

void Render(const Source& src, double z, int sx, int sy, const Look& look, Frame& out, std::vector<int>& xmap) {
    const uint8_t kField = 120, kHatch = 191, kPaper = 255;
    ImageRect r = ComputeImageRect(src.W, src.H, z, out.clientW, out.clientH);
    if (r.wider == false) sx = 0;
    if (r.taller == false) sy = 0;
    // Grey field everywhere first.
    for (int y = 0; y < out.clientH; ++y) std::memset(out.rgb + size_t(y) * out.stride, kField, size_t(out.clientW) * 3);
    if (!src.bgra || src.W <= 0 || src.H <= 0 || r.zw <= 0 || r.zh <= 0) return;

    // Visible columns and rows of the zoomed image.
    int x0 = r.dx, y0 = r.dy;
    int x1 = std::min(out.clientW, r.dx + r.zw - sx), y1 = std::min(out.clientH, r.dy + r.zh - sy);
    if (x1 <= x0 || y1 <= y0) return;
    xmap.resize(size_t(x1 - x0));
    const double inv = 1.0 / z;
    for (int cx = x0; cx < x1; ++cx) {
        int ix = int((cx - r.dx + sx) * inv);
        xmap[size_t(cx - x0)] = std::min(ix, src.W - 1);
    }
    const bool grid = look.gridGap > 0;
    const uint8_t gr = uint8_t(look.gridColour), gg = uint8_t(look.gridColour >> 8), gb = uint8_t(look.gridColour >> 16);
    for (int cy = y0; cy < y1; ++cy) {
        int zy = cy - r.dy + sy;
        int iy = std::min(int(zy * inv), src.H - 1);
        int row = src.bottomUp ? src.H - 1 - iy : iy;
        const uint8_t* s = src.bgra + size_t(row) * size_t(src.W) * 4;
        uint8_t* d = out.rgb + size_t(cy) * out.stride + size_t(x0) * 3;
        bool gridRow = grid && (int((zy + 1) * inv) != iy) && ((iy + 1) % look.gridGap == 0);
        for (int cx = x0; cx < x1; ++cx, d += 3) {
            int ix = xmap[size_t(cx - x0)];
            const uint8_t* p = s + size_t(ix) * 4;
            uint8_t a = p[3];
            if (a == 255) {
                d[0] = p[2];
                d[1] = p[1];
                d[2] = p[0];
            } else {
                int zx = cx - r.dx + sx;
                unsigned back = HatchOn(look.hatch, zx, zy) ? kHatch : kPaper;
                unsigned na = 255u - a;
                d[0] = uint8_t((p[2] * a + back * na + 127) / 255);
                d[1] = uint8_t((p[1] * a + back * na + 127) / 255);
                d[2] = uint8_t((p[0] * a + back * na + 127) / 255);
            }
            if (grid) {
                bool gridCol = (cx + 1 < x1 ? xmap[size_t(cx + 1 - x0)] != ix : true) && ((ix + 1) % look.gridGap == 0);
                if (gridRow || gridCol) {
                    d[0] = gr;
                    d[1] = gg;
                    d[2] = gb;
                }
            }
        }
    }
}

}  // namespace viewmath
