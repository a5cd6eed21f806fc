// TiffReader: the numbers of a TIFF structure (an EXIF block) read in its byte order, each read
// checked against the block's end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/ByteOrder.h"

struct TiffReader {
  const uint8_t* data;
  size_t size;
  bool bigEndian;

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
