// Source pictures for the interoperability tests.
#pragma once

#include <string>
#include <vector>

#include "test_support.h"

namespace testsupport {

// Writes a binary PPM of `colors` colours (2: black and white; above 256: a
// smooth true-colour pattern), asymmetric so that flipped or shifted rows
// show up.
inline void WriteTestPpm(const std::string& path, int w, int h, int colors, uint32_t seed) {
    auto noise = RandomBytes(size_t(w) * h + 3 * size_t(colors > 256 ? 0 : colors), seed);
    std::string out = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    const int pal = colors > 256 ? 0 : colors;
    std::vector<uint8_t> table(size_t(pal) * 3);
    for (int i = 0; i < pal; ++i)
        for (int c = 0; c < 3; ++c) table[i * 3 + c] = uint8_t(colors == 2 ? (i ? 255 : 0) : noise[i * 3 + c]);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t n = noise[3 * size_t(pal) + size_t(y) * w + x];
            for (int c = 0; c < 3; ++c) {
                uint8_t v = pal ? table[((x + 2 * y + n / 64) % pal) * 3 + c] : uint8_t(x * 7 + y * 3 * (c + 1) + (n & 7));
                out.push_back(char(v));
            }
        }
    WriteBytes(path, std::vector<uint8_t>(out.begin(), out.end()));
}

}  // namespace testsupport
