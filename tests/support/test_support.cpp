#include "test_support.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "VaZavi.h"

namespace testsupport {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "pimlora-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

int Run(const std::string& command, std::string* out) {
    FILE* p = popen(command.c_str(), "r");
    if (!p) return -1;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    int st = pclose(p);
    if (out) *out = text;
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

bool HaveTool(const std::string& name) { return Run("command -v " + name + " >/dev/null 2>&1") == 0; }

std::string ImageMagick() {
    for (const char* p : {"/usr/bin/convert-im6.q16", "/usr/bin/convert"})
        if (access(p, X_OK) == 0) return p;
    return "convert";
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

namespace {
int NextInt(const std::vector<uint8_t>& d, size_t& i) {
    for (;;) {
        while (i < d.size() && std::isspace(d[i])) ++i;
        if (i < d.size() && d[i] == '#') {
            while (i < d.size() && d[i] != '\n') ++i;
            continue;
        }
        break;
    }
    int v = 0;
    bool any = false;
    while (i < d.size() && std::isdigit(d[i])) v = v * 10 + (d[i++] - '0'), any = true;
    if (!any) throw std::runtime_error("bad PNM header");
    return v;
}
}  // namespace

Rgb ReadPnm(const std::string& path) {
    auto d = ReadBytes(path);
    if (d.size() < 3 || d[0] != 'P') throw std::runtime_error("not a PNM file: " + path);
    int kind = d[1] - '0';
    size_t i = 2;
    Rgb img;
    img.width = NextInt(d, i);
    img.height = NextInt(d, i);
    int maxval = (kind == 1 || kind == 4) ? 1 : NextInt(d, i);
    ++i;
    const size_t n = size_t(img.width) * img.height;
    img.px.resize(n * 3);
    auto scale = [&](int v) { return uint8_t(maxval == 255 ? v : (v * 255 + maxval / 2) / maxval); };
    const int bps = maxval > 255 ? 2 : 1;
    auto sample = [&](size_t& at) {
        int v = bps == 2 ? (d.at(at) << 8 | d.at(at + 1)) : d.at(at);
        at += bps;
        return v;
    };
    if (kind == 4) {
        size_t rowBytes = (img.width + 7) / 8;
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x) {
                int bit = (d.at(i + y * rowBytes + x / 8) >> (7 - x % 8)) & 1;
                uint8_t v = bit ? 0 : 255;
                for (int c = 0; c < 3; ++c) img.px[(size_t(y) * img.width + x) * 3 + c] = v;
            }
    } else if (kind == 5 || kind == 6) {
        for (size_t p = 0; p < n; ++p) {
            if (kind == 5) {
                uint8_t v = scale(sample(i));
                img.px[p * 3] = img.px[p * 3 + 1] = img.px[p * 3 + 2] = v;
            } else {
                for (int c = 0; c < 3; ++c) img.px[p * 3 + c] = scale(sample(i));
            }
        }
    } else {
        throw std::runtime_error("unsupported PNM kind");
    }
    return img;
}

Rgb ToRgb(const VaZavi& img) {
    Rgb out;
    out.width = img.Width();
    out.height = img.Height();
    out.px.resize(size_t(out.width) * out.height * 3);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            uint32_t c = img.GetPixelColor(x, out.height - 1 - y);
            uint8_t* p = &out.px[(size_t(y) * out.width + x) * 3];
            p[0] = ColR(c);
            p[1] = ColG(c);
            p[2] = ColB(c);
        }
    return out;
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    uint32_t s = seed * 2654435761u + 1;
    for (auto& b : v) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        b = uint8_t(s >> 11);
    }
    return v;
}

Diff Compare(const Rgb& a, const Rgb& b) {
    Diff d;
    if (a.width != b.width || a.height != b.height) {
        d.count = SIZE_MAX;
        d.max = 256;
        return d;
    }
    for (size_t i = 0; i < a.px.size(); ++i) {
        int e = std::abs(int(a.px[i]) - int(b.px[i]));
        if (e) ++d.count;
        if (e > d.max) d.max = e;
    }
    return d;
}

}  // namespace testsupport

// --- every decode checked against the header probe ------------------------------------

#include <gtest/gtest.h>

#include "image_probe.h"

namespace testsupport {
namespace {
int gProbeChecks = 0;

// The probe of the same bytes must describe the picture the decoder made:
// size (of frame 0), bits, palette length, frames and resolution.
void CheckProbe(ImageStream& stream, int type, const VaZavi& img) {
    ImageProbe p;
    const bool ok = ProbePicture(stream, type, p);
    ++gProbeChecks;
    if (!ok) {
        ADD_FAILURE() << "probe refused a picture the decoder read (type " << type << "): " << p.error;
        return;
    }
    EXPECT_EQ(p.type, type);
    EXPECT_EQ(p.frames, img.info.frameCount > 0 ? img.info.frameCount : 1) << "type " << type;
    if (img.info.frameIndex == 0) {
        EXPECT_EQ(p.width, img.Width()) << "type " << type;
        EXPECT_EQ(p.height, img.Height()) << "type " << type;
        EXPECT_EQ(p.bits, img.BitCount()) << "type " << type;
        EXPECT_EQ(p.colors, img.ColorsUsed()) << "type " << type;
        EXPECT_EQ(p.xDpi, img.info.xDpi) << "type " << type;
        EXPECT_EQ(p.yDpi, img.info.yDpi) << "type " << type;
    }
}

struct InstallProbeCheck {
    InstallProbeCheck() { SetDecodeObserver(CheckProbe); }
} gInstallProbeCheck;
}  // namespace

int ProbeChecks() { return gProbeChecks; }

}  // namespace testsupport
