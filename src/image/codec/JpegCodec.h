// JPEG decoding and encoding through libjpeg-turbo, on plain buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/PixelBuffers.h"

bool IsJpegSignature(const uint8_t* data, size_t size);

// Decodes greyscale, colour, CMYK and YCCK files into opaque BGRA. Truncated or corrupt entropy
// data is an error, never a grey-filled picture.
DecodeStatus DecodeJpeg(const uint8_t* data, size_t size, BgraCanvas* canvas);

// Encodes BGRA rows (alpha ignored) at libjpeg's quality scale 0..100; false on failure.
bool EncodeJpeg(const PixelRows& rows, int quality, std::vector<uint8_t>* out);
