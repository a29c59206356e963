// Drawing the image onto a surface, and making it from a surface's bitmap.
#include <algorithm>

#include "VaZavi.h"
#include "draw_surface.h"

namespace {
DibView ViewOf(const VaZavi& img) { return DibView{&img.header, img.GetPalette(), img.bits}; }
}  // namespace

bool VaZavi::Draw(DrawSurface* dc, int x, int y, int width, int height) const {
    if (!IsValid() || !dc) return false;
    return dc->StretchDib(x, y, width, height, ViewOf(*this));
}

bool VaZavi::DrawAt(DrawSurface* dc, int x, int y, const DrawRect& clip) const {
    if (!info.enabled || !IsValid() || !dc) return false;
    DrawRect saved = dc->GetClip();
    dc->SetClip(DrawRect::Intersect(saved, clip));
    bool ok = dc->SetDibBits(x, y, ViewOf(*this));
    dc->SetClip(saved);
    return ok;
}

bool VaZavi::DrawTiled(DrawSurface* dc, const DrawRect& clip) const {
    if (!info.enabled || !IsValid() || !dc) return false;
    const int w = header.width, h = header.height;
    for (int ty = clip.top; ty < clip.bottom; ty += h)
        for (int tx = clip.left; tx < clip.right; tx += w) {
            DrawRect tile{tx, ty, std::min(tx + w, clip.right), std::min(ty + h, clip.bottom)};
            DrawAt(dc, tx, ty, tile);
        }
    return true;
}

bool VaZavi::CreateFromBitmap(const BitmapSource* bitmap) {
    Destroy();
    if (!bitmap) return false;
    int bc = bitmap->BitCount() >= 32 ? 32 : 24;
    if (!Create(bc, bitmap->Width(), bitmap->Height(), info.type)) return false;
    if (!bitmap->GetDibBits(bc, bits, info.stride)) {
        SetLastError("GetDIBits failed");
        return false;
    }
    return true;
}
