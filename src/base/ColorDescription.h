// What a decoded picture says about its colours: an embedded ICC profile and, for HEIF and AVIF,
// the code points of ITU-T H.273 (an nclx colour box or the coded stream's own description).
// A plain view, filled by the decoders (some of them C-style functions that may longjmp): the
// bytes belong to the decoder and stay valid only during the call that is given them.
#pragma once

#include <cstddef>
#include <cstdint>

// What the four bytes of a decoded pixel hold.
enum class StoredColor {
  Rgb,           // B, G, R, A
  Grey,          // B = G = R, A: a grey picture, each level three times
  Cmyk,          // C, M, Y, K as the file stores them (0 = no ink)
  InvertedCmyk,  // C, M, Y, K inverted (255 = no ink), as Adobe's applications store them
};

struct ColorDescription {
  // The ICC profile's bytes as stored (JPEG APP2, PNG iCCP, WebP ICCP, HEIF colr prof or rICC);
  // null when none.
  const uint8_t* icc = nullptr;
  size_t iccSize = 0;
  StoredColor stored = StoredColor::Rgb;
  // The H.273 code points, when the file gives them (hasCodePoints); 2 means "unspecified".
  bool hasCodePoints = false;
  uint16_t colorPrimaries = 2;          // 1 BT.709/sRGB, 9 BT.2020, 12 Display P3 (SMPTE EG 432)
  uint16_t transferCharacteristics = 2;  // 13 sRGB, 16 PQ, 18 HLG
  uint16_t matrixCoefficients = 2;
  bool fullRange = false;
};
