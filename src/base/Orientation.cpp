// EXIF orientation tag parsing and the eight pixel transforms.
#include "base/Orientation.h"

#include <cstring>

#include "base/TiffReader.h"

namespace {

const uint32_t kOrientationTag = 0x0112;
const uint32_t kTypeShort = 3;

}  // namespace

int ExifOrientation(const uint8_t* data, size_t size) {
  TiffReader tiff;
  if (!TiffReader::Open(data, size, &tiff)) return 1;
  uint32_t ifd = 0, count = 0;
  if (!tiff.U32(4, &ifd) || !tiff.U16(ifd, &count)) return 1;
  for (uint32_t i = 0; i < count; ++i) {
    size_t entry = static_cast<size_t>(ifd) + 2 + 12 * static_cast<size_t>(i);
    uint32_t tag = 0, type = 0, values = 0, value = 0;
    if (!tiff.U16(entry, &tag) || !tiff.U16(entry + 2, &type) || !tiff.U32(entry + 4, &values)) return 1;
    if (tag != kOrientationTag) continue;
    if (type != kTypeShort || values != 1 || !tiff.U16(entry + 8, &value)) return 1;
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
  }
  return 1;
}

int ExifOrientationFromApp1(const uint8_t* data, size_t size) {
  static const uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
  if (!data || size < 6 || std::memcmp(data, kExif, 6) != 0) return 1;
  return ExifOrientation(data + 6, size - 6);
}

void OrientPixels(const PixelRows& stored, int orientation, const PixelRows& upright) {
  const uint32_t w = stored.width, h = stored.height;
  for (uint32_t dy = 0; dy < upright.height; ++dy) {
    uint32_t* out = reinterpret_cast<uint32_t*>(upright.Row(dy));
    for (uint32_t dx = 0; dx < upright.width; ++dx) {
      uint32_t sx, sy;
      StoredPixelOf(orientation, w, h, dx, dy, &sx, &sy);
      out[dx] = reinterpret_cast<const uint32_t*>(stored.Row(sy))[sx];
    }
  }
}

namespace {

// Each orientation as the 2x2 matrix that maps a stored pixel's offset from the centre (x to the
// right, y down) to its offset in the upright picture: {xx, xy, yx, yy}.
const int kOrientationMatrices[9][4] = {
    {1, 0, 0, 1},    // (unused)
    {1, 0, 0, 1},    // 1 as stored
    {-1, 0, 0, 1},   // 2 mirrored left to right
    {-1, 0, 0, -1},  // 3 turned half way
    {1, 0, 0, -1},   // 4 mirrored top to bottom
    {0, 1, 1, 0},    // 5 mirrored along the main diagonal
    {0, -1, 1, 0},   // 6 turned a quarter clockwise
    {0, -1, -1, 0},  // 7 mirrored along the other diagonal
    {0, 1, -1, 0},   // 8 turned a quarter anticlockwise
};

}  // namespace

int ComposeOrientations(int first, int then) {
  if (first < 1 || first > 8) first = 1;
  if (then < 1 || then > 8) then = 1;
  const int* a = kOrientationMatrices[then];
  const int* b = kOrientationMatrices[first];
  const int product[4] = {a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2],
                          a[2] * b[1] + a[3] * b[3]};
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const int* m = kOrientationMatrices[orientation];
    if (m[0] == product[0] && m[1] == product[1] && m[2] == product[2] && m[3] == product[3]) return orientation;
  }
  return 1;
}
