// EXIF orientation: reading the tag, and turning stored pixels upright (plain buffers only).
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/PixelBuffers.h"

// The orientation (1..8) in a TIFF-structured EXIF block (the payload of a JPEG APP1 segment
// after "Exif\0\0", or a PNG eXIf chunk), IFD0 tag 0x0112, either byte order. 1 when the tag is
// missing, malformed or out of range. Reads only within [data, data + size).
int ExifOrientation(const uint8_t* data, size_t size);

// The same for a whole APP1 segment payload, which must start with "Exif\0\0".
int ExifOrientationFromApp1(const uint8_t* data, size_t size);

// Orientations 5 to 8 swap the picture's width and height.
inline bool SwapsSides(int orientation) {
  return orientation >= 5 && orientation <= 8;
}

// Where the upright picture's pixel (dx, dy) lies in the stored one of `width` x `height` (the
// stored sides) under `orientation`; any value but 2 to 8 counts as 1.
inline void StoredPixelOf(int orientation, uint32_t width, uint32_t height, uint32_t dx, uint32_t dy, uint32_t* sx,
                          uint32_t* sy) {
  switch (orientation) {
    case 2: *sx = width - 1 - dx; *sy = dy; break;
    case 3: *sx = width - 1 - dx; *sy = height - 1 - dy; break;
    case 4: *sx = dx; *sy = height - 1 - dy; break;
    case 5: *sx = dy; *sy = dx; break;
    case 6: *sx = dy; *sy = height - 1 - dx; break;
    case 7: *sx = width - 1 - dy; *sy = height - 1 - dx; break;
    case 8: *sx = width - 1 - dy; *sy = dx; break;
    default: *sx = dx; *sy = dy; break;
  }
}

// The orientation that turns a picture as `first` does and then as `then` does (each 1..8; any
// other value counts as 1). With it a file's rotations and mirrors, applied in turn, become the
// one orientation the pixels are turned by.
int ComposeOrientations(int first, int then);

// Writes `stored` (4 bytes per pixel) turned upright into `upright`, whose width and height are
// the stored ones, swapped for orientations 5 to 8.
void OrientPixels(const PixelRows& stored, int orientation, const PixelRows& upright);
