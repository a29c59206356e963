// VOR documents without opening them: the probe (size, depth, layer count)
// and the flattened picture stored after the canvas header, which the image
// browser shows instead of compositing the layers.
#pragma once

#include <string>

#include "image_probe.h"

class ImageStream;
class VaZavi;

// Checks the header line, the canvas header and every layer section (line,
// record, sizes against the bytes left, links) as the reader does, without
// reading any buffer; frames = number of layers, bits and colours those of
// the document's canvas. False with probe.error for a file the reader refuses.
bool ProbeVor(ImageStream& stream, ImageProbe& probe);
bool ProbeVorFile(const std::string& path, ImageProbe& probe);

// The flattened picture of a VOR file as an image of the canvas size (24-bit,
// or 8-bit grey for a palette canvas). False for another version than 41, an
// empty block, or a file cut short before the block ends.
bool ReadVorPicture(ImageStream& stream, VaZavi& picture);
bool ReadVorPicture(const std::string& path, VaZavi& picture);
