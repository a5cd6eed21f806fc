// The quality number of a lossy output (SaveFormat::JpegQuality): its range, and the one rule that
// the settings, the command line and the encoder apply to it (plain, so the codecs use it too).
#pragma once

#include <cstdint>

// libjpeg's quality scale: 0 gives the smallest files, 100 the most faithful ones.
const int32_t kLowestOutputQuality = 0;
const int32_t kHighestOutputQuality = 100;

// True when `quality` is on the scale: what the command line accepts.
inline bool IsOutputQuality(int64_t quality) {
  return quality >= kLowestOutputQuality && quality <= kHighestOutputQuality;
}

// The nearest number on the scale: what a stored value is taken as and what reaches the encoder.
inline int32_t ClampOutputQuality(int32_t quality) {
  if (quality < kLowestOutputQuality) return kLowestOutputQuality;
  if (quality > kHighestOutputQuality) return kHighestOutputQuality;
  return quality;
}
