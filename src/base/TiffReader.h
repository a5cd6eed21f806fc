// TiffReader: the numbers of a TIFF structure (an EXIF block) read in its byte order, each read
// checked against the block's end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/ByteOrder.h"

struct TiffReader {
  const uint8_t* data;
  size_t size;
  bool bigEndian;

  // A reader of the block at `data` when it starts with a TIFF header ("II*\0" little-endian,
  // "MM\0*" big-endian) and holds the offset of its first IFD; false otherwise.
  static bool Open(const uint8_t* data, size_t size, TiffReader* out) {
    if (!data || size < 8) return false;
    if (std::memcmp(data, "II*\0", 4) == 0) {
      *out = {data, size, false};
    } else if (std::memcmp(data, "MM\0*", 4) == 0) {
      *out = {data, size, true};
    } else {
      return false;
    }
    return true;
  }

  bool U16(size_t at, uint32_t* out) const {
    if (at > size || size - at < 2) return false;
    *out = bigEndian ? ReadBe16(data + at) : ReadLe16(data + at);
    return true;
  }
  bool U32(size_t at, uint32_t* out) const {
    if (at > size || size - at < 4) return false;
    *out = bigEndian ? ReadBe32(data + at) : ReadLe32(data + at);
    return true;
  }
};
