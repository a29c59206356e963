// Layer slots and their helpers.
//
// Coordinates: a layer's (x, y) place it on the canvas with y measured in
// stored-row order: layer stored row r lies on canvas stored row r - y, so a
// layer of height h has its top row at canvas row H - h + y counted from the
// top. Every operation (compositing, tools, rotation, canvas size, VOR) uses
// this one convention.
#include "layer_set.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

void LayerRecord::FreeBuffers() {
    pixels.reset();
    alpha.reset();
    effectPlane.reset();
    text.reset();
}

void LayerRecord::Clear() {
    FreeBuffers();
    std::memset(static_cast<LayerRecordData*>(this), 0, sizeof(LayerRecordData));
    prev = next = link = -1;
}

namespace {
// `had` is the size dst's buffer was made for (-1: none): a buffer of the
// right size is kept, since fresh memory costs more than the copy itself.
template <class T>
bool CopyBuffer(std::unique_ptr<T[]>& dst, const std::unique_ptr<T[]>& src, size_t n, int64_t had = -1) {
    if (!src) {
        dst.reset();
        return true;
    }
    if (!dst || had != int64_t(n)) dst.reset(new (std::nothrow) T[n ? n : 1]);
    if (!dst) return false;
    if (n) std::memcpy(dst.get(), src.get(), n * sizeof(T));
    return true;
}
}  // namespace

bool LayerRecord::CopyFrom(const LayerRecord& src) {
    if (&src == this) return true;
    const int64_t hadPix = pixels ? std::max(0, pixelSize) : -1;
    const int64_t hadPlane = std::max(0, planeSize);
    static_cast<LayerRecordData&>(*this) = src;
    const size_t pix = size_t(std::max(0, src.pixelSize));
    const size_t plane = size_t(std::max(0, src.planeSize));
    const size_t units = size_t(std::max(0, src.textLength)) + 1;
    return CopyBuffer(pixels, src.pixels, pix, hadPix) && CopyBuffer(alpha, src.alpha, plane, hadPlane) &&
           CopyBuffer(effectPlane, src.effectPlane, plane, hadPlane) && CopyBuffer(text, src.text, units);
}

void LayerRecord::TakeFrom(LayerRecord& from) {
    static_cast<LayerRecordData&>(*this) = from;
    pixels = std::move(from.pixels);
    alpha = std::move(from.alpha);
    effectPlane = std::move(from.effectPlane);
    text = std::move(from.text);
}

const MulRow* MulTable() {
    struct Holder {
        uint8_t t[256][256];
        Holder() {
            const float c = 1.0f / 255.0f;
            for (int v = 0; v < 256; ++v)
                for (int a = 0; a < 256; ++a) t[v][a] = uint8_t((long double)v * a * (long double)c);
            t[255][255] = 255;
        }
    };
    static const Holder h;
    return h.t;
}

std::u16string Utf8ToUtf16(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        uint32_t c = uint8_t(s[i]);
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        if (c >= 0x80) c &= (0x3F >> extra);
        if (extra && i + extra >= s.size()) break;
        for (int k = 1; k <= extra; ++k) c = (c << 6) | (uint8_t(s[i + k]) & 0x3F);
        i += size_t(extra) + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(char16_t(0xD800 + (c >> 10)));
            out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(char16_t(c));
        }
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out.push_back(char(c));
        } else if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

void SetFixedText(char16_t* field, size_t n, const std::u16string& text) {
    if (!n) return;
    size_t k = std::min(text.size(), n - 1);
    std::memcpy(field, text.data(), k * sizeof(char16_t));
    for (size_t i = k; i < n; ++i) field[i] = 0;
}

std::u16string GetFixedText(const char16_t* field, size_t n) {
    size_t k = 0;
    while (k < n && field[k]) ++k;
    return std::u16string(field, k);
}
