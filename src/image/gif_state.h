// What the GIF reader and writer share: the coder's sizes and the state
// they keep between calls (VaZaviGIF.cpp reads, VaZaviGIFWriter.cpp writes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs.h"

namespace gifcoder {
inline constexpr size_t kReadAhead = 16384;
inline constexpr int kMaxCodes = 4096;       // 12-bit codes
inline constexpr int kHashSize = 5003;       // 80 % occupancy for 4,096 codes
inline constexpr int kHashShift = 4;
inline constexpr size_t kPacketBytes = 254;  // data sub-block length the writer uses
}  // namespace gifcoder

struct VaZaviGIF::State {
    // Reader.
    uint8_t readAhead[gifcoder::kReadAhead + 1];
    uint8_t block[256];
    uint8_t stack[gifcoder::kMaxCodes];
    uint8_t suffix[gifcoder::kMaxCodes];
    uint16_t prefix[gifcoder::kMaxCodes];
    uint8_t globalTable[256 * 3];
    uint8_t localTable[256 * 3];
    std::vector<uint8_t> row;
    // Graphic-control block of the last extension read, as in the file.
    uint8_t control[4] = {};
    // Writer.
    int32_t hash[gifcoder::kHashSize];
    uint16_t codes[gifcoder::kHashSize];
    std::vector<uint8_t> out;
    bool writeFailed = false;
};
