// PNG decoding and encoding through libpng, on plain buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/PixelBuffers.h"

bool IsPngSignature(const uint8_t* data, size_t size);

// Decodes any PNG (palette with tRNS, grey, grey with alpha, 16-bit, interlaced) into
// straight-alpha BGRA; 16-bit samples are rounded to 8 bits.
DecodeStatus DecodePng(const uint8_t* data, size_t size, BgraCanvas* canvas);

// Encodes BGRA rows as RGBA, or as RGB when every pixel is opaque.
bool EncodePngRgba(const PixelRows& rows, std::vector<uint8_t>* out);

// Encodes rows of 8-bit indices as indexed PNG. `palette` holds 256 entries of B, G, R, A. PLTE
// ends at the highest index a pixel uses; tRNS is cut after the last non-opaque entry of those and
// left out when all of them are opaque.
bool EncodePngIndexed(const PixelRows& rows, const uint8_t (*palette)[4], std::vector<uint8_t>* out);
