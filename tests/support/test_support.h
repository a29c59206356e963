// Helpers shared by the tests: temporary folders, running other programs,
// and reading the PNM files that independent tools write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class VaZavi;

namespace testsupport {

// A fresh folder for this test, removed when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Runs a shell command; returns its exit status, stdout into *out.
int Run(const std::string& command, std::string* out = nullptr);
bool HaveTool(const std::string& name);
// Path of the real ImageMagick convert.
std::string ImageMagick();

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// 8-bit RGB picture, top row first.
struct Rgb {
    int width = 0, height = 0;
    std::vector<uint8_t> px;   // r, g, b per pixel
    uint8_t at(int x, int y, int c) const { return px[(size_t(y) * width + x) * 3 + c]; }
};
// Reads P1..P6 (maxval up to 255 scaled to 8 bits, 16-bit maxvals reduced).
Rgb ReadPnm(const std::string& path);
// The image's pixels, top row first.
Rgb ToRgb(const VaZavi& img);
// A deterministic pseudo-random byte stream.
std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed);

// Counts the differing samples and the largest difference.
struct Diff {
    size_t count = 0;
    int max = 0;
};
Diff Compare(const Rgb& a, const Rgb& b);

// Every picture VaZavi::Load decodes in a test is also probed from its
// headers (image_probe.h) and the two must agree; this counts the checks.
int ProbeChecks();

}  // namespace testsupport
