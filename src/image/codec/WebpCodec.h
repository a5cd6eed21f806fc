// WebP decoding and encoding through libwebp, on plain buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/PixelBuffers.h"

// A RIFF file of form type WEBP.
bool IsWebpSignature(const uint8_t* data, size_t size);

// Decodes lossy, lossless and alpha pictures, and the first frame of an animation as the
// animation shows it, into straight-alpha BGRA. Finish is told the orientation of an EXIF chunk,
// and the canvas the ICC profile of an ICCP chunk.
DecodeStatus DecodeWebp(const uint8_t* data, size_t size, BgraCanvas* canvas);

// Encodes BGRA rows as a lossy WebP at `quality` (0..100, base/OutputQuality.h: libwebp's scale
// runs the same way as libjpeg's), keeping their alpha: a picture with a pixel that is not
// opaque gets an alpha plane, compressed losslessly. False on failure, which includes a side
// longer than the format's 16383 pixels.
bool EncodeWebp(const PixelRows& rows, int quality, std::vector<uint8_t>* out);
