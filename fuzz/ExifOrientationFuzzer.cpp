// The EXIF orientation tag: any bytes as a TIFF-structured block, and as an APP1 payload.
#include <cstdlib>
#include <vector>

#include "base/Orientation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int orientation = ExifOrientation(data, size);
  if (orientation < 1 || orientation > 8) std::abort();
  const int direct = ExifOrientationFromApp1(data, size);
  if (direct < 1 || direct > 8) std::abort();
  // Behind the APP1 signature the same block means the same.
  std::vector<uint8_t> app1 = {'E', 'x', 'i', 'f', 0, 0};
  app1.insert(app1.end(), data, data + size);
  if (ExifOrientationFromApp1(app1.data(), app1.size()) != orientation) std::abort();
  return 0;
}
