// Pixel kernels of the background and palette steps, on plain buffers.
#pragma once

#include <cstdint>

#include "base/PixelBuffers.h"

// Source-over of straight-alpha BGRA `source` onto the opaque colour 0x00BBGGRR (a COLORREF),
// rounded to nearest; every target pixel comes out opaque. Same sizes.
void CompositeOverColor(const PixelRows& source, const PixelRows& target, uint32_t colorref);

// True when every pixel of BGRA `source` has alpha 255: drawn over any colour, it stays as it is.
bool IsOpaque(const PixelRows& source);

// Collects the distinct 32-bit values (0xAARRGGBB) of `source` in ascending unsigned order.
// Returns their number, or -1 as soon as a 257th value appears.
int CollectPalette(const PixelRows& source, uint32_t palette[256]);

// Writes into 8-bit `target` the index of every source pixel in `palette` (as CollectPalette
// produced it, `count` entries).
void MapToPalette(const PixelRows& source, const uint32_t palette[256], int count,
                  const PixelRows& target);

// Copies byte `channel` (0 blue, 1 green, 2 red, 3 alpha) of every BGRA pixel into 8-bit `target`.
void ExtractChannelBytes(const PixelRows& source, int channel, const PixelRows& target);
