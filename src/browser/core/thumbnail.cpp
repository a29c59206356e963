#include "thumbnail.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "ImageStream.h"
#include "VaZavi.h"
#include "folder_listing.h"
#include "reduced_decode.h"
#include "regular_file.h"
#include "vor_probe.h"

namespace browser {

namespace {

// Contributions of source samples to one destination sample.
struct Taps {
    int first = 0;
    std::vector<float> weights;
};

// Area average when the picture is made smaller (each destination sample
// is the mean of the source area it covers), bilinear when it is enlarged.
std::vector<Taps> MakeTaps(int source, int dest) {
    std::vector<Taps> taps(size_t(std::max(dest, 0)));
    const double scale = double(source) / dest;
    for (int d = 0; d < dest; ++d) {
        Taps& t = taps[size_t(d)];
        if (dest <= source) {
            const double a = d * scale, b = (d + 1) * scale;
            const int s0 = int(std::floor(a)), s1 = std::min(source, int(std::ceil(b)));
            t.first = s0;
            for (int s = s0; s < s1; ++s) {
                const double w = std::min(b, double(s + 1)) - std::max(a, double(s));
                t.weights.push_back(float(w / (b - a)));
            }
        } else {
            const double c = (d + 0.5) * scale - 0.5;
            int s0 = int(std::floor(c));
            const float f = float(c - s0);
            if (s0 < 0) {
                t.first = 0;
                t.weights = {1.0f};
            } else if (s0 >= source - 1) {
                t.first = source - 1;
                t.weights = {1.0f};
            } else {
                t.first = s0;
                t.weights = {1.0f - f, f};
            }
        }
    }
    return taps;
}

// One row of the picture (top row first) as premultiplied blue, green, red
// and alpha in 0..255.
void FetchRow(const VaZavi& img, int topRow, const RgbQuad* palette, int paletteSize, float* out) {
    const int w = img.Width();
    const uint8_t* row = img.Row(img.Height() - 1 - topRow);
    auto put = [&out](int x, uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
        float* o = out + size_t(x) * 4;
        const float k = a / 255.0f;
        o[0] = b * k;
        o[1] = g * k;
        o[2] = r * k;
        o[3] = a;
    };
    auto index = [&](int x) -> int {
        switch (img.BitCount()) {
        case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 4: return (x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4;
        default: return row[x];
        }
    };
    switch (img.BitCount()) {
    case 24:
        for (int x = 0; x < w; ++x) put(x, row[3 * x], row[3 * x + 1], row[3 * x + 2], 255);
        break;
    case 32:
        for (int x = 0; x < w; ++x)
            put(x, row[4 * x], row[4 * x + 1], row[4 * x + 2], img.hasAlpha ? row[4 * x + 3] : 255);
        break;
    default:
        for (int x = 0; x < w; ++x) {
            const int i = index(x);
            const RgbQuad q = palette && i < paletteSize ? palette[i] : RgbQuad{uint8_t(i), uint8_t(i), uint8_t(i), 0};
            put(x, q.blue, q.green, q.red, 255);
        }
        break;
    }
}

// JPEG files up to this size are read whole before they are decoded.
constexpr int64_t kWholeJpegBytes = int64_t(64) << 20;

bool ReadRawFrame(ImageStream& in, VaZavi& out) {
    VaZavi img(kTypeBMP);
    if (!img.CreateUnfilled(24, 640, 480, kTypeBMP)) return false;
    if (in.Read(img.bits, 1, img.ImageBytes()) != img.ImageBytes()) return false;
    return out.Transfer(img);
}

}  // namespace

void DrawScaled(const VaZavi& src, Picture24& dst, const Rect& r) {
    if (!src.IsValid() || src.Width() <= 0 || src.Height() <= 0 || r.width <= 0 || r.height <= 0) return;
    const int sw = src.Width(), sh = src.Height();
    const std::vector<Taps> tx = MakeTaps(sw, r.width), ty = MakeTaps(sh, r.height);
    const RgbQuad* palette = src.GetPalette();
    const int paletteSize = src.ColorsUsed();
    // Source rows the destination needs, resampled across first.
    const int rowFirst = ty.front().first;
    const int rowLast = ty.back().first + int(ty.back().weights.size()) - 1;
    const int rows = rowLast - rowFirst + 1;
    std::vector<float> across(size_t(rows) * size_t(r.width) * 4);
    std::vector<float> line(size_t(sw) * 4);
    for (int s = 0; s < rows; ++s) {
        FetchRow(src, rowFirst + s, palette, paletteSize, line.data());
        float* o = across.data() + size_t(s) * size_t(r.width) * 4;
        for (int d = 0; d < r.width; ++d, o += 4) {
            const Taps& t = tx[size_t(d)];
            float acc[4] = {0, 0, 0, 0};
            const float* p = line.data() + size_t(t.first) * 4;
            for (float w : t.weights) {
                for (int c = 0; c < 4; ++c) acc[c] += p[c] * w;
                p += 4;
            }
            std::memcpy(o, acc, sizeof acc);
        }
    }
    for (int d = 0; d < r.height; ++d) {
        const int y = r.y + d;
        if (y < 0 || y >= dst.height) continue;
        const Taps& t = ty[size_t(d)];
        for (int x = 0; x < r.width; ++x) {
            const int dx = r.x + x;
            if (dx < 0 || dx >= dst.width) continue;
            float acc[4] = {0, 0, 0, 0};
            const float* p = across.data() + (size_t(t.first - rowFirst) * size_t(r.width) + size_t(x)) * 4;
            for (float w : t.weights) {
                for (int c = 0; c < 4; ++c) acc[c] += p[c] * w;
                p += size_t(r.width) * 4;
            }
            uint8_t* o = dst.bgr.data() + (size_t(y) * size_t(dst.width) + size_t(dx)) * 3;
            const float keep = 1.0f - std::clamp(acc[3], 0.0f, 255.0f) / 255.0f;
            for (int c = 0; c < 3; ++c) o[c] = uint8_t(std::clamp(acc[c] + o[c] * keep + 0.5f, 0.0f, 255.0f));
        }
    }
}

bool LoadPictureSource(const std::string& path, int minWidth, int minHeight, VaZavi& source, int& fullWidth,
                       int& fullHeight, std::string* error) {
    std::string why;
    FILE* f = OpenRegularFile(path.c_str(), why);
    if (!f) {
        if (error) *error = why;
        return false;
    }
    ImageStream in(f);
    const std::string ext = LowerExtension(path);
    const int type = PictureType(ext);
    bool ok = false;
    fullWidth = fullHeight = 0;
    if (type == kTypeJPEG) {
        // The whole file in memory first (one read; the decoder then works
        // from it in place), unless it is unusually large.
        ReducedInfo full;
        std::vector<uint8_t> bytes;
        const int64_t size = in.Size();
        if (size > 0 && size <= kWholeJpegBytes) {
            bytes.resize(size_t(size));
            if (in.Read(bytes.data(), 1, bytes.size()) != bytes.size()) bytes.clear();
        }
        if (!bytes.empty()) {
            ImageStream memory(bytes.data(), bytes.size());
            ok = DecodeJpegReduced(memory, minWidth, minHeight, source, &full);
        } else {
            in.Seek(0, 0);
            ok = DecodeJpegReduced(in, minWidth, minHeight, source, &full);
        }
        fullWidth = full.width;
        fullHeight = full.height;
    } else if (type == kTypeVOR) {
        ok = ReadVorPicture(in, source);
        if (!ok) source.SetLastError("not a readable VOR document");
    } else if (ext == "raw") {
        ok = ReadRawFrame(in, source);
        if (!ok) source.SetLastError("file shorter than a 640 x 480 frame");
    } else if (type != kTypeDetect) {
        ok = source.Load(in, type);
    }
    std::fclose(f);
    if (ok && !source.IsValid()) ok = false;
    if (ok && type != kTypeJPEG) {
        fullWidth = source.Width();
        fullHeight = source.Height();
    }
    if (!ok && error) *error = source.LastError();
    return ok;
}

Picture24 MakeThumbnail(const VaZavi& source, int fullWidth, int fullHeight) {
    Picture24 cell;
    cell.width = kCellWidth;
    cell.height = kCellHeight;
    cell.bgr.assign(size_t(kCellWidth) * kCellHeight * 3, 255);
    DrawScaled(source, cell, FitIntoCell(fullWidth, fullHeight));
    return cell;
}

Picture24 ThumbnailOfFile(const std::string& path) {
    VaZavi source(kTypeBMP);
    int w = 0, h = 0;
    // Twice the cell: the average over several samples per cell pixel.
    if (!LoadPictureSource(path, 2 * kCellWidth, 2 * kCellHeight, source, w, h)) return Picture24{};
    return MakeThumbnail(source, w, h);
}

Picture24 PreviewOfFile(const std::string& path, int maxWidth, int maxHeight, int& fullWidth, int& fullHeight) {
    VaZavi source(kTypeBMP);
    fullWidth = fullHeight = 0;
    if (!LoadPictureSource(path, maxWidth, maxHeight, source, fullWidth, fullHeight)) return Picture24{};
    const double scale = std::min({1.0, double(maxWidth) / fullWidth, double(maxHeight) / fullHeight});
    Picture24 out;
    out.width = std::max(1, int(fullWidth * scale + 0.5));
    out.height = std::max(1, int(fullHeight * scale + 0.5));
    out.bgr.assign(size_t(out.width) * out.height * 3, 255);
    DrawScaled(source, out, Rect{0, 0, out.width, out.height});
    return out;
}

ThumbnailResult MakeThumbnail(const std::string& path, int maxWidth, int maxHeight) {
    ThumbnailResult result;
    if (maxWidth < 1 || maxHeight < 1 || maxWidth > kMaxThumbnailSide || maxHeight > kMaxThumbnailSide) {
        result.error = "thumbnail size must be 1 to " + std::to_string(kMaxThumbnailSide);
        return result;
    }
    VaZavi source(kTypeBMP);
    int fw = 0, fh = 0;
    if (!LoadPictureSource(path, maxWidth, maxHeight, source, fw, fh, &result.error) || fw < 1 || fh < 1) {
        if (result.error.empty()) result.error = "not a picture this program can read";
        return result;
    }
    const double scale = std::min({1.0, double(maxWidth) / fw, double(maxHeight) / fh});
    Picture24 small;
    small.width = std::clamp(int(fw * scale + 0.5), 1, maxWidth);
    small.height = std::clamp(int(fh * scale + 0.5), 1, maxHeight);
    small.bgr.assign(size_t(small.width) * size_t(small.height) * 3, 255);
    DrawScaled(source, small, Rect{0, 0, small.width, small.height});
    auto out = std::make_unique<VaZavi>(24, small.width, small.height, kTypeBMP);
    if (!out->IsValid()) {
        result.error = "out of memory";
        return result;
    }
    for (int y = 0; y < small.height; ++y)
        std::memcpy(out->Row(small.height - 1 - y), small.At(0, y), size_t(small.width) * 3);
    out->SetXDpi(source.info.xDpi);
    out->SetYDpi(source.info.yDpi);
    result.picture = std::move(out);
    result.fullWidth = fw;
    result.fullHeight = fh;
    return result;
}

}  // namespace browser
