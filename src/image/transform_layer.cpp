// Geometric transforms of a layer: mirror, flip, rotation by any angle, the
// two sampling kernels of resizing, and the free transform.
#include <thread>
#include <cmath>
#include <cstring>
#include <vector>

#include "layer_access.h"

namespace layerops {

namespace {

int BytesPerPixel(const LayerOpContext& ctx) {
    return ctx.layer->IsTextKind() ? 1 : ctx.bitsPerPixel / 8;
}

bool Usable(const LayerOpContext& ctx) {
    const LayerRecord* L = ctx.layer;
    return ctx.image && L && L->pixels && L->alpha && ctx.outPixels && ctx.outAlpha && L->width > 0 &&
           L->height > 0 && (L->IsTextKind() || ctx.bitsPerPixel == 24 || ctx.bitsPerPixel == 8);
}

// Moves alpha values into the scratch plane where the selection marks the
// destination pixel: outAlpha(x, r) = alpha of source (sx(x), sr).
template <class SourceColumn>
void MoveAlpha(LayerAccess& a, int r, const uint8_t* srcAlphaRow, SourceColumn sx) {
    uint8_t* oa = a.OutAlphaRow(r);
    const SelectionMask* s = a.ctx().selection;
    if (!s || s->size < 0 || s->mask.empty()) {
        for (int x = 0; x < a.w; ++x) oa[x] = srcAlphaRow[sx(x)];
        return;
    }
    int shift = 0;
    const uint8_t* m = a.MaskRow(r, shift);
    if (!m) return;
    const int x0 = std::max(0, -shift), x1 = std::min(a.w, s->width - shift);
    for (int x = x0; x < x1; ++x)
        if (m[x + shift] == 1) oa[x] = srcAlphaRow[sx(x)];
}

}  // namespace

namespace {

// Reverses a row of w pixels of 3 bytes from s into d (different buffers).
// The inner pixels move as 4-byte words; the spilled fourth byte is
// overwritten by the next pixel, and the two end pixels, whose word would
// reach past the row, move as 3 bytes.
void ReverseRow3(const uint8_t* s, uint8_t* d, int w) {
    if (w <= 0) return;
    std::memcpy(d, s + 3 * size_t(w - 1), 3);
    if (w == 1) return;
    for (int x = 1, sx = w - 2; x < w - 1; ++x, --sx) std::memcpy(d + 3 * size_t(x), s + 3 * size_t(sx), 4);
    std::memcpy(d + 3 * size_t(w - 1), s, 3);
}

void ReverseRow1(const uint8_t* s, uint8_t* d, int w) {
    for (int x = 0, sx = w - 1; x < w; ++x, --sx) d[x] = s[sx];
}

}  // namespace

// Destination (x, y) receives colour and alpha of source (width - 1 - x, y).
// Palette indices and text coverage move as they are. With a selection only
// the pixels it marks change.
bool MirrorLayer(LayerOpContext& ctx) {
    if (!Usable(ctx)) return false;
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const LayerRecord& L = *ctx.layer;
    const int bpp = BytesPerPixel(ctx), w = L.width;
    const size_t stride = L.IsTextKind() ? size_t(w) : size_t(L.stride);
    SplitRows(L.height, WorthSplitting(int64_t(w) * L.height), [&](int r0, int r1) {
        std::vector<uint8_t> before(a.Restricted() ? size_t(w) * size_t(bpp) : 0);
        for (int r = r0; r < r1; ++r) {
            const uint8_t* s = L.pixels.get() + size_t(r) * stride;
            uint8_t* d = ctx.outPixels + size_t(r) * stride;
            if (!before.empty()) std::memcpy(before.data(), d, before.size());
            if (bpp == 3)
                ReverseRow3(s, d, w);
            else
                ReverseRow1(s, d, w);
            a.KeepUnselected(r, d, before.data(), bpp);
            MoveAlpha(a, r, L.AlphaRow(r), [w](int x) { return w - 1 - x; });
        }
    });
    return true;
}

// Destination (x, y) receives source (x, height - 1 - y).
bool FlipLayer(LayerOpContext& ctx) {
    if (!Usable(ctx)) return false;
    LayerAccess a(ctx);
    if (!a.Ok()) return false;
    const LayerRecord& L = *ctx.layer;
    const size_t stride = L.IsTextKind() ? size_t(L.width) : size_t(L.stride);
    const size_t rowBytes = L.IsTextKind() ? size_t(L.width) : size_t(L.width) * size_t(BytesPerPixel(ctx));
    SplitRows(L.height, WorthSplitting(int64_t(L.width) * L.height), [&](int r0, int r1) {
        std::vector<uint8_t> before(a.Restricted() ? rowBytes : 0);
        for (int r = r0; r < r1; ++r) {
            const int sr = L.height - 1 - r;
            uint8_t* d = ctx.outPixels + size_t(r) * stride;
            if (!before.empty()) std::memcpy(before.data(), d, rowBytes);
            std::memcpy(d, L.pixels.get() + size_t(sr) * stride, rowBytes);
            a.KeepUnselected(r, d, before.data(), BytesPerPixel(ctx));
            MoveAlpha(a, r, L.AlphaRow(sr), [](int x) { return x; });
        }
    });
    return true;
}

namespace {
// The layer's buffers hold what its record says: rows of `stride` bytes
// (text and balloon layers: one coverage byte per pixel) and the alpha plane.
bool WholeLayer(const LayerRecord& L, int bitsPerPixel, int& bpp, size_t& stride) {
    if (!L.pixels || !L.alpha || L.width < 1 || L.height < 1) return false;
    bpp = L.IsTextKind() ? 1 : bitsPerPixel / 8;
    if (bpp != 1 && bpp != 3) return false;
    stride = L.IsTextKind() ? size_t(L.width) : size_t(std::max(0, L.stride));
    return stride >= size_t(L.width) * size_t(bpp) && int64_t(stride) * L.height <= int64_t(L.pixelSize) &&
           int64_t(L.width) * L.height <= int64_t(L.planeSize);
}
}  // namespace

// MirrorLayer without a selection, on the layer's own buffers: each row is
// reversed through a row buffer, so no scratch copy of the layer is needed.
bool MirrorLayerInPlace(LayerRecord& L, int bitsPerPixel) {
    int bpp;
    size_t stride;
    if (!WholeLayer(L, bitsPerPixel, bpp, stride)) return false;
    const int w = L.width;
    SplitRows(L.height, WorthSplitting(int64_t(w) * L.height), [&](int r0, int r1) {
        std::vector<uint8_t> row(size_t(w) * size_t(bpp));
        for (int r = r0; r < r1; ++r) {
            uint8_t* p = L.pixels.get() + size_t(r) * stride;
            std::memcpy(row.data(), p, row.size());
            if (bpp == 3)
                ReverseRow3(row.data(), p, w);
            else
                ReverseRow1(row.data(), p, w);
            uint8_t* al = L.AlphaRow(r);
            std::reverse(al, al + w);
        }
    });
    return true;
}

// FlipLayer without a selection, on the layer's own buffers: rows swap
// through a row buffer.
bool FlipLayerInPlace(LayerRecord& L, int bitsPerPixel) {
    int bpp;
    size_t stride;
    if (!WholeLayer(L, bitsPerPixel, bpp, stride)) return false;
    const size_t rowBytes = size_t(L.width) * size_t(bpp), w = size_t(L.width);
    const int pairs = L.height / 2;
    SplitRows(pairs, WorthSplitting(int64_t(L.width) * L.height), [&](int r0, int r1) {
        std::vector<uint8_t> tmp(std::max(rowBytes, w));
        for (int a = r0; a < r1; ++a) {
            const int b = L.height - 1 - a;
            uint8_t* pa = L.pixels.get() + size_t(a) * stride;
            uint8_t* pb = L.pixels.get() + size_t(b) * stride;
            std::memcpy(tmp.data(), pa, rowBytes);
            std::memcpy(pa, pb, rowBytes);
            std::memcpy(pb, tmp.data(), rowBytes);
            uint8_t* aa = L.AlphaRow(a);
            uint8_t* ab = L.AlphaRow(b);
            std::memcpy(tmp.data(), aa, w);
            std::memcpy(aa, ab, w);
            std::memcpy(ab, tmp.data(), w);
        }
    });
    return true;
}

// --- rotation ----------------------------------------------------------------------

namespace {
double Theta(double degrees) {
    const double halfPi = std::acos(0.0);
    return -(degrees * (1.0 / 90) * halfPi);
}

void RotatedBounds(int width, int height, double theta, int& xmin, int& xmax, int& ymin, int& ymax) {
    const double c = std::cos(theta), s = std::sin(theta);
    const double cx[4] = {0, double(width - 1), 0, double(width - 1)};
    const double cy[4] = {0, 0, double(height - 1), double(height - 1)};
    xmin = ymin = 0;
    xmax = ymax = 0;
    for (int k = 0; k < 4; ++k) {
        const int x = int(cx[k] * c - cy[k] * s);
        const int y = int(cx[k] * s + cy[k] * c);
        if (k == 0) {
            xmin = xmax = x;
            ymin = ymax = y;
        }
        xmin = std::min(xmin, x), xmax = std::max(xmax, x);
        ymin = std::min(ymin, y), ymax = std::max(ymax, y);
    }
}
}  // namespace

void RotatedSize(int width, int height, double degrees, int& newWidth, int& newHeight) {
    int xmin, xmax, ymin, ymax;
    RotatedBounds(width, height, Theta(degrees), xmin, xmax, ymin, ymax);
    newWidth = xmax - xmin + 1;
    newHeight = ymax - ymin + 1;
}

// Destination (c, r) = source (trunc(x cos + y sin - 0.5), trunc(y cos - x sin
// - 0.5)) with x = xmin + c, y = ymin + r; outside: background colour, alpha 0.
// The two products are formed per pixel exactly as written, so the result is
// the same whatever order the pixels are visited in.
bool RotateLayer(VaZavi& image, const LayerRecord& src, LayerRecord& dst, int bitsPerPixel, double degrees) {
    if (!src.pixels || !src.alpha || !dst.pixels || !dst.alpha) return false;
    const double theta = Theta(degrees);
    int xmin, xmax, ymin, ymax;
    RotatedBounds(src.width, src.height, theta, xmin, xmax, ymin, ymax);
    const int nw = xmax - xmin + 1, nh = ymax - ymin + 1;
    if (dst.width != nw || dst.height != nh) return false;
    const bool text = src.IsTextKind();
    const int bpp = text ? 1 : bitsPerPixel / 8;
    if (bpp != 1 && bpp != 3) return false;
    const size_t sStride = text ? size_t(src.width) : size_t(src.stride);
    const size_t dStride = text ? size_t(dst.width) : size_t(dst.stride);
    uint8_t outside[3] = {image.info.backgroundColor.blue, image.info.backgroundColor.green,
                          image.info.backgroundColor.red};
    if (bpp == 1) {
        outside[0] = 0;
        if (!text && image.info.transparentIndex >= 0) outside[0] = uint8_t(image.info.transparentIndex);
    }
    const double c = std::cos(theta), s = std::sin(theta);
    const int W = src.width, H = src.height;
    std::vector<double> xc(static_cast<size_t>(nw)), xs(xc);
    for (int col = 0; col < nw; ++col) {
        xc[size_t(col)] = double(xmin + col) * c;
        xs[size_t(col)] = double(xmin + col) * s;
    }
    // Along a row both source coordinates are monotonic in the column
    // (rounding and truncation keep the order of the exact values), so the
    // columns that hit the source form one span, found by bisection with the
    // very expressions of the inner loop; the rest is filled as outside.
    auto span = [nw](auto f, int limit, int& lo, int& hi) {
        const bool rising = f(0) <= f(nw - 1);
        auto first = [nw](auto pred) {   // first column where pred holds (nw: none)
            int l = 0, h = nw;
            while (l < h) {
                const int m = l + (h - l) / 2;
                if (pred(m)) h = m;
                else l = m + 1;
            }
            return l;
        };
        if (rising) {
            lo = first([&](int k) { return f(k) >= 0; });
            hi = first([&](int k) { return f(k) >= limit; });
        } else {
            lo = first([&](int k) { return f(k) < limit; });
            hi = first([&](int k) { return f(k) < 0; });
        }
    };
    const uint8_t* sp = src.pixels.get();
    const uint8_t* sa = src.alpha.get();
    // Bands of 8 rows are copied in chunks of 512 columns, so that the
    // source lines one row reads along its slanted path are still in cache
    // for the rows below it.
    constexpr int kBand = 8, kChunk = 512;
    auto band = [&](int b0, int b1) {
        int lo[kBand], hi[kBand];
        for (int bandIndex = b0; bandIndex < b1; ++bandIndex) {
            const int rTop = bandIndex * kBand, n = std::min(nh, rTop + kBand) - rTop;
            if (b0 == 0) image.SetProgress(int(int64_t(rTop) * 100 / nh));
            int spanLo = nw, spanHi = 0;
            for (int k = 0; k < n; ++k) {
                const int r = rTop + k;
                const double y = double(ymin + r);
                const double ys = y * s, yc = y * c;
                auto fx = [&](int col) { return int(xc[size_t(col)] + ys - 0.5); };
                auto fy = [&](int col) { return int(yc - xs[size_t(col)] - 0.5); };
                int lx, hx, ly, hy;
                span(fx, W, lx, hx);
                span(fy, H, ly, hy);
                lo[k] = std::max(lx, ly), hi[k] = std::min(hx, hy);
                if (hi[k] < lo[k]) lo[k] = hi[k] = 0;
                if (lo[k] < hi[k]) spanLo = std::min(spanLo, lo[k]), spanHi = std::max(spanHi, hi[k]);
                uint8_t* d = dst.pixels.get() + size_t(r) * dStride;
                uint8_t* da = dst.alpha.get() + size_t(r) * size_t(nw);
                auto fill = [&](int c0, int c1) {
                    if (c1 <= c0) return;
                    std::memset(da + c0, 0, size_t(c1 - c0));
                    if (bpp == 1) {
                        std::memset(d + c0, outside[0], size_t(c1 - c0));
                    } else {
                        for (int col = c0; col < c1; ++col)
                            d[3 * col] = outside[0], d[3 * col + 1] = outside[1], d[3 * col + 2] = outside[2];
                    }
                };
                fill(0, lo[k]);
                fill(hi[k], nw);
            }
            for (int c0 = spanLo; c0 < spanHi; c0 += kChunk) {
                const int c1 = std::min(spanHi, c0 + kChunk);
                for (int k = 0; k < n; ++k) {
                    const int from = std::max(c0, lo[k]), to = std::min(c1, hi[k]);
                    if (from >= to) continue;
                    const int r = rTop + k;
                    const double y = double(ymin + r);
                    const double ys = y * s, yc = y * c;
                    uint8_t* const d = dst.pixels.get() + size_t(r) * dStride;
                    uint8_t* const da = dst.alpha.get() + size_t(r) * size_t(nw);
                    const double* const xcp = xc.data();
                    const double* const xsp = xs.data();
                    if (bpp == 3) {
                        for (int col = from; col < to; ++col) {
                            const int sx = int(xcp[col] + ys - 0.5);
                            const int sy = int(yc - xsp[col] - 0.5);
                            const uint8_t* q = sp + size_t(sy) * sStride + size_t(sx) * 3;
                            d[3 * col] = q[0], d[3 * col + 1] = q[1], d[3 * col + 2] = q[2];
                            da[col] = sa[size_t(sy) * size_t(W) + size_t(sx)];
                        }
                    } else {
                        for (int col = from; col < to; ++col) {
                            const int sx = int(xcp[col] + ys - 0.5);
                            const int sy = int(yc - xsp[col] - 0.5);
                            d[col] = sp[size_t(sy) * sStride + size_t(sx)];
                            da[col] = sa[size_t(sy) * size_t(W) + size_t(sx)];
                        }
                    }
                }
            }
        }
    };
    SplitRows((nh + kBand - 1) / kBand, WorthSplitting(int64_t(nw) * nh), band);
    image.SetProgress(0);
    return true;
}

// --- sampling ---------------------------------------------------------------------

namespace {
inline uint32_t PixelOrBlack(const LayerRecord& src, int x, int y) {
    if (x < 0 || y < 0 || x >= src.width || y >= src.height) return 0;
    const uint8_t* p = src.pixels.get() + size_t(y) * size_t(src.stride) + size_t(x) * 3;
    return PackBGR(p[0], p[1], p[2]);
}
}  // namespace

uint32_t SampleBilinear(const LayerRecord& src, double x, double y) {
    const double fx0 = std::floor(x), fy0 = std::floor(y);
    if (fx0 < -1 || fx0 >= src.width || fy0 < -1 || fy0 >= src.height) return PackBGR(255, 255, 255, 0);
    const int x0 = int(fx0), y0 = int(fy0);
    const int fx = int((x - fx0) * 256), fy = int((y - fy0) * 256);
    const int w11 = (fx * fy) >> 8, w10 = fx - w11, w01 = fy - w11, w00 = 256 - fx - fy + w11;
    const uint32_t p00 = PixelOrBlack(src, x0, y0), p10 = PixelOrBlack(src, x0 + 1, y0);
    const uint32_t p01 = PixelOrBlack(src, x0, y0 + 1), p11 = PixelOrBlack(src, x0 + 1, y0 + 1);
    uint32_t out = 0;
    for (int sh = 0; sh < 24; sh += 8) {
        const unsigned v = unsigned(w00 * int((p00 >> sh) & 255) + w10 * int((p10 >> sh) & 255) +
                                    w01 * int((p01 >> sh) & 255) + w11 * int((p11 >> sh) & 255));
        out |= uint32_t(uint16_t(v) >> 8) << sh;
    }
    return out;
}

// Footprint scaleX x scaleY centred on (x, y); pixel (i, j) covers the unit
// square around its centre. The weighted sums are divided by the footprint's
// area; the quotient is truncated (a tiny allowance keeps a uniform area from
// losing one level to rounding).
uint32_t SampleArea(const LayerRecord& src, double x, double y, double scaleX, double scaleY) {
    const double left = x - scaleX / 2, right = x + scaleX / 2;
    const double bottom = y - scaleY / 2, top = y + scaleY / 2;
    double sum[3] = {0, 0, 0};
    if (scaleX > 1 && scaleY > 1) {
        const int i0 = int(std::floor(left + 0.5)), i1 = int(std::ceil(right - 0.5));
        const int j0 = int(std::floor(bottom + 0.5)), j1 = int(std::ceil(top - 0.5));
        for (int j = j0; j <= j1; ++j) {
            const double hy = std::min(top, j + 0.5) - std::max(bottom, j - 0.5);
            if (hy <= 0) continue;
            for (int i = i0; i <= i1; ++i) {
                const double wx = std::min(right, i + 0.5) - std::max(left, i - 0.5);
                if (wx <= 0) continue;
                const uint32_t p = PixelOrBlack(src, i, j);
                const double a = wx * hy;
                sum[0] += a * ColB(p), sum[1] += a * ColG(p), sum[2] += a * ColR(p);
            }
        }
    } else if (scaleX > 1) {
        // Pieces along x, each inside one source column.
        double a = left;
        while (a < right) {
            const double b = std::min(right, std::floor(a + 0.5) + 0.5);
            const double len = b - a;
            if (len <= 0) break;
            const uint32_t p = SampleBilinear(src, (a + b) / 2, y);
            const double area = len * scaleY;
            sum[0] += area * ColB(p), sum[1] += area * ColG(p), sum[2] += area * ColR(p);
            a = b;
        }
    } else if (scaleY > 1) {
        double a = bottom;
        while (a < top) {
            const double b = std::min(top, std::floor(a + 0.5) + 0.5);
            const double len = b - a;
            if (len <= 0) break;
            const uint32_t p = SampleBilinear(src, x, (a + b) / 2);
            const double area = len * scaleX;
            sum[0] += area * ColB(p), sum[1] += area * ColG(p), sum[2] += area * ColR(p);
            a = b;
        }
    } else {
        return SampleBilinear(src, x, y);
    }
    const double area = scaleX * scaleY;
    uint8_t c[3];
    for (int k = 0; k < 3; ++k) c[k] = Clamp255(int(sum[k] / area + 1e-7));
    return PackBGR(c[0], c[1], c[2]);
}

// Destination (i, j) samples the source at ((i + 0.5) sx - 0.5, (j + 0.5) sy
// - 0.5). Enlarging in both directions uses the bilinear kernel through
// per-column and per-row tables (same arithmetic as SampleBilinear);
// reducing in both directions the area kernel through per-column and per-row
// lists of the covered source pixels and their overlaps (the same products
// summed in the same order as SampleArea). Rows go to two threads.
bool ResizeLayer(VaZavi& image, const LayerRecord& src, LayerRecord& dst) {
    if (!src.pixels || !src.alpha || !dst.pixels || !dst.alpha || dst.width < 1 || dst.height < 1) return false;
    const double scaleX = double(src.width) / dst.width, scaleY = double(src.height) / dst.height;
    const int W = src.width, H = src.height, DW = dst.width, DH = dst.height;
    // Alpha comes from the nearest source pixel.
    std::vector<int> ax(static_cast<size_t>(DW));
    for (int i = 0; i < DW; ++i) ax[size_t(i)] = std::clamp(int(std::lround((i + 0.5) * scaleX - 0.5)), 0, W - 1);
    auto alphaRow = [&](int j, uint8_t* da) {
        const int ya = std::clamp(int(std::lround((j + 0.5) * scaleY - 0.5)), 0, H - 1);
        const uint8_t* const arow = src.alpha.get() + size_t(ya) * size_t(W);
        const int* const cols = ax.data();
        const int n = DW;
        for (int i = 0; i < n; ++i) da[i] = arow[cols[i]];
    };
    const bool split = WorthSplitting(int64_t(DW) * DH);
    if (scaleX <= 1 && scaleY <= 1) {
        struct Tap { int x0; int f; bool white; };
        auto taps = [](int n, int srcN, double scale) {
            std::vector<Tap> t(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) {
                const double v = (i + 0.5) * scale - 0.5;
                const double f0 = std::floor(v);
                t[size_t(i)] = Tap{int(f0), int((v - f0) * 256), f0 < -1 || f0 >= srcN};
            }
            return t;
        };
        const std::vector<Tap> tx = taps(DW, W, scaleX), ty = taps(DH, H, scaleY);
        // Columns whose two source columns both lie inside: x0 rises with
        // the column, so they form one span [cLo, cHi).
        int cLo = 0;
        while (cLo < DW && !(tx[size_t(cLo)].x0 >= 0 && tx[size_t(cLo)].x0 + 1 < W)) ++cLo;
        int cHi = cLo;
        while (cHi < DW && tx[size_t(cHi)].x0 + 1 < W) ++cHi;
        std::vector<int> off(static_cast<size_t>(DW)), fxs(static_cast<size_t>(DW));
        for (int i = 0; i < DW; ++i) off[size_t(i)] = 3 * tx[size_t(i)].x0, fxs[size_t(i)] = tx[size_t(i)].f;
        SplitRows(DH, split, [&](int j0, int j1) {
            for (int j = j0; j < j1; ++j) {
                if (j0 == 0 && (j & 63) == 0) image.SetProgress(int(int64_t(j) * 100 / DH));
                const Tap& y = ty[size_t(j)];
                uint8_t* d = dst.pixels.get() + size_t(j) * size_t(dst.stride);
                alphaRow(j, dst.alpha.get() + size_t(j) * size_t(DW));
                const uint8_t* r0 =
                    (y.x0 >= 0 && y.x0 < H) ? src.pixels.get() + size_t(y.x0) * size_t(src.stride) : nullptr;
                const uint8_t* r1 = (y.x0 + 1 >= 0 && y.x0 + 1 < H)
                                        ? src.pixels.get() + size_t(y.x0 + 1) * size_t(src.stride)
                                        : nullptr;
                auto general = [&](int i) {
                    const Tap& x = tx[size_t(i)];
                    if (x.white || y.white) {
                        d[3 * i] = d[3 * i + 1] = d[3 * i + 2] = 255;
                        return;
                    }
                    const int fx = x.f, fy = y.f;
                    const int w11 = (fx * fy) >> 8, w10 = fx - w11, w01 = fy - w11, w00 = 256 - fx - fy + w11;
                    const bool in0 = x.x0 >= 0, in1 = x.x0 + 1 < W;
                    for (int k = 0; k < 3; ++k) {
                        const int p00 = (r0 && in0) ? r0[3 * x.x0 + k] : 0;
                        const int p10 = (r0 && in1) ? r0[3 * (x.x0 + 1) + k] : 0;
                        const int p01 = (r1 && in0) ? r1[3 * x.x0 + k] : 0;
                        const int p11 = (r1 && in1) ? r1[3 * (x.x0 + 1) + k] : 0;
                        d[3 * i + k] = uint8_t(uint16_t(w00 * p00 + w10 * p10 + w01 * p01 + w11 * p11) >> 8);
                    }
                };
                if (!r0 || !r1 || y.white) {
                    for (int i = 0; i < DW; ++i) general(i);
                    continue;
                }
                for (int i = 0; i < cLo; ++i) general(i);
                // Both rows and both columns inside: no tests.
                // Everything the loop reads is local: the byte stores could
                // otherwise alias the tables and force reloads.
                const int fy = y.f, i1 = cHi;
                const int* const offs = off.data();
                const int* const fracs = fxs.data();
                const uint8_t* const s0 = r0;
                const uint8_t* const s1 = r1;
                uint8_t* const out = d;
                for (int i = cLo; i < i1; ++i) {
                    const int fx = fracs[i];
                    const int w11 = (fx * fy) >> 8, w10 = fx - w11, w01 = fy - w11, w00 = 256 - fx - fy + w11;
                    const uint8_t* a0 = s0 + offs[i];
                    const uint8_t* a1 = s1 + offs[i];
                    uint8_t* o = out + 3 * size_t(i);
                    o[0] = uint8_t(uint16_t(w00 * a0[0] + w10 * a0[3] + w01 * a1[0] + w11 * a1[3]) >> 8);
                    o[1] = uint8_t(uint16_t(w00 * a0[1] + w10 * a0[4] + w01 * a1[1] + w11 * a1[4]) >> 8);
                    o[2] = uint8_t(uint16_t(w00 * a0[2] + w10 * a0[5] + w01 * a1[2] + w11 * a1[5]) >> 8);
                }
                for (int i = cHi; i < DW; ++i) general(i);
            }
        });
    } else if (scaleX > 1 && scaleY > 1) {
        // Per destination column the source columns its footprint touches
        // with their overlap widths (zero overlaps left out, as SampleArea
        // skips them), likewise per row; columns outside the layer are left
        // out too: they add a product with black, +0, which changes no sum.
        struct Cover { int index; double part; };
        auto covers = [](int n, int srcN, double scale, std::vector<int>& first, std::vector<Cover>& list) {
            first.assign(size_t(n) + 1, 0);
            list.clear();
            for (int i = 0; i < n; ++i) {
                first[size_t(i)] = int(list.size());
                const double c = (i + 0.5) * scale - 0.5;
                const double lo = c - scale / 2, hi = c + scale / 2;
                const int k0 = int(std::floor(lo + 0.5)), k1 = int(std::ceil(hi - 0.5));
                for (int k = k0; k <= k1; ++k) {
                    const double part = std::min(hi, k + 0.5) - std::max(lo, k - 0.5);
                    if (part <= 0) continue;
                    if (k >= 0 && k < srcN) list.push_back(Cover{k, part});
                }
            }
            first[size_t(n)] = int(list.size());
        };
        std::vector<int> firstX, firstY;
        std::vector<Cover> cx, cy;
        covers(DW, W, scaleX, firstX, cx);
        covers(DH, H, scaleY, firstY, cy);
        const double area = scaleX * scaleY;
        SplitRows(DH, split, [&](int j0, int j1) {
            for (int j = j0; j < j1; ++j) {
                if (j0 == 0 && (j & 15) == 0) image.SetProgress(int(int64_t(j) * 100 / DH));
                uint8_t* d = dst.pixels.get() + size_t(j) * size_t(dst.stride);
                alphaRow(j, dst.alpha.get() + size_t(j) * size_t(DW));
                const Cover* ry = cy.data() + firstY[size_t(j)];
                const int ny = firstY[size_t(j) + 1] - firstY[size_t(j)];
                for (int i = 0; i < DW; ++i) {
                    const Cover* rx = cx.data() + firstX[size_t(i)];
                    const int nx = firstX[size_t(i) + 1] - firstX[size_t(i)];
                    double s0 = 0, s1 = 0, s2 = 0;
                    for (int v = 0; v < ny; ++v) {
                        const uint8_t* row = src.pixels.get() + size_t(ry[v].index) * size_t(src.stride);
                        const double hy = ry[v].part;
                        for (int u = 0; u < nx; ++u) {
                            const uint8_t* p = row + 3 * size_t(rx[u].index);
                            const double a = rx[u].part * hy;
                            s0 += a * p[0], s1 += a * p[1], s2 += a * p[2];
                        }
                    }
                    d[3 * i] = Clamp255(int(s0 / area + 1e-7));
                    d[3 * i + 1] = Clamp255(int(s1 / area + 1e-7));
                    d[3 * i + 2] = Clamp255(int(s2 / area + 1e-7));
                }
            }
        });
    } else {
        SplitRows(DH, split, [&](int j0, int j1) {
            for (int j = j0; j < j1; ++j) {
                if (j0 == 0) image.SetProgress(int(int64_t(j) * 100 / DH));
                const double y = (j + 0.5) * scaleY - 0.5;
                uint8_t* d = dst.pixels.get() + size_t(j) * size_t(dst.stride);
                alphaRow(j, dst.alpha.get() + size_t(j) * size_t(DW));
                for (int i = 0; i < DW; ++i) {
                    const double x = (i + 0.5) * scaleX - 0.5;
                    const uint32_t c = SampleArea(src, x, y, scaleX, scaleY);
                    d[3 * i] = ColB(c), d[3 * i + 1] = ColG(c), d[3 * i + 2] = ColR(c);
                }
            }
        });
    }
    image.SetProgress(0);
    return true;
}

// --- free transform ----------------------------------------------------------------

void FreeTransformBounds(PointD corners[4], int& outWidth, int& outHeight) {
    double mx = corners[0].x, my = corners[0].y;
    for (int k = 1; k < 4; ++k) mx = std::min(mx, corners[k].x), my = std::min(my, corners[k].y);
    double ex = 0, ey = 0;
    for (int k = 0; k < 4; ++k) {
        corners[k].x -= mx;
        corners[k].y -= my;
        ex = std::max(ex, corners[k].x);
        ey = std::max(ey, corners[k].y);
    }
    auto up = [](double v) {
        const double r = std::round(v);
        return std::fabs(v - r) < 1e-9 ? int(r) : int(std::ceil(v));
    };
    outWidth = up(ex);
    outHeight = up(ey);
}

bool FreeTransformGrid(const PointD p[4], int width, int height, std::vector<PointI>& grid) {
    if (width < 1 || height < 1) return false;
    double len[4];
    PointD dir[4];
    for (int k = 0; k < 4; ++k) {
        const PointD& a = p[k];
        const PointD& b = p[(k + 1) % 4];
        len[k] = std::hypot(b.x - a.x, b.y - a.y);
        dir[k] = len[k] > 0 ? PointD{(b.x - a.x) / len[k], (b.y - a.y) / len[k]} : PointD{0, 0};
    }
    grid.assign(size_t(width + 1) * size_t(height + 1), PointI{0, 0});
    for (int i = 0; i <= height; ++i) {
        const double s = double(i) / height;
        const PointD C{p[1].x + s * len[1] * dir[1].x, p[1].y + s * len[1] * dir[1].y};
        const PointD D{p[3].x + (1 - s) * len[3] * dir[3].x, p[3].y + (1 - s) * len[3] * dir[3].y};
        for (int hcol = 0; hcol <= width; ++hcol) {
            const double t = double(hcol) / width;
            const PointD A{p[0].x + t * len[0] * dir[0].x, p[0].y + t * len[0] * dir[0].y};
            const PointD B{p[2].x + (1 - t) * len[2] * dir[2].x, p[2].y + (1 - t) * len[2] * dir[2].y};
            const double det = (D.x - C.x) * (B.y - A.y) - (C.y - D.y) * (A.x - B.x);
            if (std::fabs(det) < 1e-9) return false;
            // Line A-B: A + u (B - A); line C-D: C + v (D - C).
            const double u = ((C.x - A.x) * (D.y - C.y) - (C.y - A.y) * (D.x - C.x)) /
                             ((B.x - A.x) * (D.y - C.y) - (B.y - A.y) * (D.x - C.x));
            grid[size_t(i) * size_t(width + 1) + size_t(hcol)] =
                PointI{int32_t(A.x + u * (B.x - A.x)), int32_t(A.y + u * (B.y - A.y))};
        }
    }
    return true;
}

// Forward mapping. The cell of layer pixel (x, y) is the quadrilateral of
// grid points (x, y), (x + 1, y), (x + 1, y + 1), (x, y + 1), so the pixel's
// corner lands exactly on grid point (x, y). A destination pixel is covered
// by a cell when its centre lies inside the quadrilateral (even-odd crossing
// test with half-open edges, so a centre on an edge shared by two cells
// counts for exactly one of them). A cell that covers no centre at all (a
// shrunken pixel) still gives its colour to the destination pixel holding
// the cell's first corner, so no source pixel is lost. Each covering adds
// the colour and alpha with weight 1; the destination is the integer mean
// of what reached it; pixels nothing reached stay transparent. Source
// pixels with alpha 0 contribute nothing.
bool FreeTransformWarp(VaZavi& image, const LayerRecord& src, const std::vector<PointI>& grid, LayerRecord& dst) {
    const int W = src.width, H = src.height, OW = dst.width, OH = dst.height;
    if (!src.pixels || !src.alpha || !dst.pixels || !dst.alpha || OW < 1 || OH < 1) return false;
    if (grid.size() != size_t(W + 1) * size_t(H + 1)) return false;
    struct Acc { uint32_t b, g, r, a, n; };
    std::vector<Acc> acc(size_t(OW) * size_t(OH), Acc{0, 0, 0, 0, 0});
    auto add = [&](int px, int py, const uint8_t* c, uint8_t a) {
        Acc& e = acc[size_t(py) * size_t(OW) + size_t(px)];
        e.b += c[0], e.g += c[1], e.r += c[2], e.a += a, ++e.n;
    };
    for (int y = 0; y < H; ++y) {
        image.SetProgress(int(int64_t(y) * 100 / H));
        for (int x = 0; x < W; ++x) {
            const uint8_t a = src.alpha[size_t(y) * size_t(W) + size_t(x)];
            if (!a) continue;
            const uint8_t* c = src.pixels.get() + size_t(y) * size_t(src.stride) + size_t(x) * 3;
            const PointI q[4] = {grid[size_t(y) * size_t(W + 1) + size_t(x)],
                                 grid[size_t(y) * size_t(W + 1) + size_t(x + 1)],
                                 grid[size_t(y + 1) * size_t(W + 1) + size_t(x + 1)],
                                 grid[size_t(y + 1) * size_t(W + 1) + size_t(x)]};
            int x0 = q[0].x, x1 = q[0].x, y0 = q[0].y, y1 = q[0].y;
            for (int k = 1; k < 4; ++k)
                x0 = std::min(x0, q[k].x), x1 = std::max(x1, q[k].x), y0 = std::min(y0, q[k].y),
                y1 = std::max(y1, q[k].y);
            bool any = false;
            for (int py = std::max(0, y0); py < std::min(OH, y1); ++py) {
                const double cy = py + 0.5;
                for (int px = std::max(0, x0); px < std::min(OW, x1); ++px) {
                    const double cx = px + 0.5;
                    bool inside = false;
                    for (int k = 0, j = 3; k < 4; j = k++) {
                        if ((q[k].y > cy) != (q[j].y > cy) &&
                            cx < double(q[j].x - q[k].x) * (cy - q[k].y) / double(q[j].y - q[k].y) + q[k].x)
                            inside = !inside;
                    }
                    if (inside) {
                        add(px, py, c, a);
                        any = true;
                    }
                }
            }
            if (!any && q[0].x >= 0 && q[0].x < OW && q[0].y >= 0 && q[0].y < OH) add(q[0].x, q[0].y, c, a);
        }
    }
    for (int py = 0; py < OH; ++py) {
        uint8_t* d = dst.pixels.get() + size_t(py) * size_t(dst.stride);
        uint8_t* da = dst.alpha.get() + size_t(py) * size_t(OW);
        for (int px = 0; px < OW; ++px) {
            const Acc& e = acc[size_t(py) * size_t(OW) + size_t(px)];
            if (!e.n) {
                da[px] = 0;
                continue;
            }
            d[3 * px] = uint8_t(e.b / e.n), d[3 * px + 1] = uint8_t(e.g / e.n), d[3 * px + 2] = uint8_t(e.r / e.n);
            da[px] = uint8_t(e.a / e.n);
        }
    }
    image.SetProgress(0);
    return true;
}

}  // namespace layerops
