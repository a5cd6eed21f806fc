// What a decoded picture says about its colours: an embedded ICC profile and, for HEIF and AVIF,
// the code points of ITU-T H.273 (an nclx colour box or the coded stream's own description).
// The decoders only report it; their pixels are the file's values, unconverted.
#pragma once

#include <cstdint>
#include <vector>

struct ColourDescription {
  // The ICC profile's bytes as stored (HEIF colr prof or rICC, WebP ICCP); empty when none.
  std::vector<uint8_t> icc;
  // The H.273 code points, when the file gives them (hasCodePoints); 2 means "unspecified".
  bool hasCodePoints = false;
  uint16_t colourPrimaries = 2;          // 1 BT.709/sRGB, 9 BT.2020, 12 Display P3 (SMPTE EG 432)
  uint16_t transferCharacteristics = 2;  // 13 sRGB, 16 PQ, 18 HLG
  uint16_t matrixCoefficients = 2;
  bool fullRange = false;
};
