// The quarter turns' kernels by instruction set (layer_ops.h has the rules
// of QuarterTurnLayer, which takes the best one the CPU has).
#pragma once

#include "layer_set.h"

namespace layerops {

// Scalar: one pixel at a time along the source columns, the reference the
// others are compared with. Avx2: 8 x 8 blocks of colour pixels widened to
// four bytes and transposed in registers, 16 x 16 blocks of bytes (alpha,
// palette and text layers) transposed with SSE2; the half turn and the
// no-op turn keep the scalar walk, which reads its rows in order. Avx512:
// bands of 16 whole destination rows made in a buffer that stays in cache
// (16 x 16 colour pixels and 16 x 64 bytes transposed in AVX-512
// registers) and streamed into the destination with non-temporal stores.
enum class TurnKernel { Scalar, Avx2, Avx512 };
bool TurnKernelAvailable(TurnKernel kernel);   // the CPU has its instructions
TurnKernel BestTurnKernel();
bool QuarterTurnLayerWith(TurnKernel kernel, const LayerRecord& src, LayerRecord& dst, int bitsPerPixel, int quarters,
                          LayerRecord* copy = nullptr);

}  // namespace layerops
