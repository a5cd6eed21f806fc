// The output format of one profile: PNG, or JPEG with a quality number.
#pragma once

#include <cstdint>

struct SaveFormat {
  enum { Png = 0, Jpeg = 1 };
  int32_t Type = Png;        // 1 JPEG; any other value is PNG
  int32_t JpegQuality = 80;  // libjpeg's quality scale, 0..100
};

// "jpg" for JPEG, "png" for everything else (no dot).
const wchar_t* GetExtension(const SaveFormat& format);
