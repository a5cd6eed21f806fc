// Keeping an output within a number of bytes: the highest quality that fits, and a smaller
// picture when no quality does (or the format has none).
#pragma once

#include <cstdint>
#include <vector>

#include "image/Dib.h"
#include "image/encode/ImageSaver.h"

// A kilobyte of the size limit: 1,024 bytes, as Explorer counts them.
const uint64_t kBytesPerKilobyte = 1024;
// The shortest longer side a picture is made smaller to: a limit that a picture of this size
// cannot meet cannot be met.
const LONG kSmallestLimitedSide = 16;

// What was written within the limit, and what it took.
struct LimitedOutput {
  std::vector<uint8_t> bytes;
  int quality = 0;       // the quality number encoded at (for a format that uses one)
  LONG width = 0;        // the picture's size, smaller than the one given when it had to be
  LONG height = 0;
  unsigned encodes = 0;  // the encodes the search made
};

// Encodes `picture` (32-bit, after the background step) in `saver`'s format, in memory, into at
// most `limit` bytes, trying a palette first where the format does. A format that uses the
// quality gets the highest number from the lowest (base/OutputQuality.h) up to `quality` that
// fits, by bisection; when not even the lowest fits, or for a format without a quality number,
// the picture is made smaller in steps (each made from `picture` itself), and at the first size
// that fits the quality is searched again. S_OK with the bytes; S_FALSE when a picture whose
// longer side is kSmallestLimitedSide still does not fit (nothing in `out`); a failure code when
// an encode or a resampling fails.
HRESULT EncodeWithinLimit(const CImageSaver& saver, const CDibPtr& picture, int quality, uint64_t limit,
                          LimitedOutput* out);
