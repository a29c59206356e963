// The row kernels that use 512-bit registers with byte permutes (AVX-512
// F, BW, VL and VBMI), for pixel_rows.cpp to call where the processor has
// them. Same arguments and the same bytes as the rules in pixel_rows.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace layerops {
namespace pixelrows {

struct ByteTables;

namespace wide {

// True when the processor (and the system) runs these kernels.
bool Have();

void MapRow(const uint8_t* s, uint8_t* d, const uint8_t* a, uint8_t* oa, int w, const ByteTables& t, bool stream);
void HslRow(const uint8_t* s, uint8_t* h, uint8_t* sat, uint8_t* l, int w);
void GreyValues(const uint8_t* s, uint8_t* grey, int w);
void PaintFlags(const uint8_t* flag, uint8_t* d, const uint8_t* a, uint8_t* oa, int w, bool stream);

}  // namespace wide
}  // namespace pixelrows
}  // namespace layerops
