// Pixel budget of the decoders that hand sizes to outside libraries.
//
// Every picture is capped by VaZavi::Create (kMaxImagePixels); a decoder
// additionally refuses, before allocating anything, pictures above this
// budget. It equals the core cap in the program; fuzz targets lower it so
// that a few hostile bytes claiming a giant picture cost milliseconds, not
// seconds, and the fuzzer keeps exploring.
#pragma once

#include <cstdint>

#include "VaZavi.h"

inline int64_t gDecodePixelBudget = kMaxImagePixels;
