// The head of a VOR file: the header line and the canvas header, read by
// the document reader, the probe and the browser's picture reader alike.
#pragma once

#include <string>

#include "layer_set.h"

class ImageStream;

namespace vorfmt {

inline constexpr int kVersion = 41;

enum class Head { Ok, OtherVersion, Damaged };

// Reads "\n41 HEAD CURRENT" and the 256-byte canvas header after it; on
// Ok the stream is at the flattened picture. Damaged leaves the reason in
// `detail`.
Head ReadHead(ImageStream& in, int& head, int& current, CanvasInfo& canvas, std::string& detail);

// An optionally signed decimal number of at most maxDigits digits after
// white space; the first non-digit stays in the stream.
bool ReadNumber(ImageStream& in, int& value, int maxDigits = 9);

// Sizes of a canvas header that agree with each other and the core's caps.
bool CanvasConsistent(const CanvasInfo& canvas);

}  // namespace vorfmt
