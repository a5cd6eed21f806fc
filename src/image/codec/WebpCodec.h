// WebP decoding through libwebp, on plain buffers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/PixelBuffers.h"

// A RIFF file of form type WEBP.
bool IsWebpSignature(const uint8_t* data, size_t size);

// Decodes lossy, lossless and alpha pictures, and the first frame of an animation as the
// animation shows it, into straight-alpha BGRA. Finish is told the orientation of an EXIF chunk,
// and the canvas the ICC profile of an ICCP chunk.
DecodeStatus DecodeWebp(const uint8_t* data, size_t size, BgraCanvas* canvas);
