// Reading fixed-order integers from byte buffers at any alignment, whatever the host's order:
// the shell's drop data and item lists and registry text are little-endian, EXIF blocks are
// either.
#pragma once

#include <cstdint>

inline uint32_t ReadLe16(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8;
}

inline uint32_t ReadLe32(const uint8_t* bytes) {
  return ReadLe16(bytes) | ReadLe16(bytes + 2) << 16;
}

inline uint32_t ReadBe16(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) << 8 | static_cast<uint32_t>(bytes[1]);
}

inline uint32_t ReadBe32(const uint8_t* bytes) {
  return ReadBe16(bytes) << 16 | ReadBe16(bytes + 2);
}
