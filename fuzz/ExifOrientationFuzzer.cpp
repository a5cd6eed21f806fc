// The EXIF orientation tag: any bytes as a TIFF-structured block, and as an APP1 payload; the
// date tags' reader on the same bytes, and the search for a block in them as a file.
#include <cstdlib>
#include <vector>

#include "base/ExifDate.h"
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
  // A date read back from the block written of it is the same date.
  const ExifDate date = ReadExifDate(data, size);
  const std::vector<uint8_t> written = BuildExifBlock(date);
  const ExifDate again = ReadExifDate(written.data(), written.size());
  if (!date.IsEmpty() && (again.original != date.original || again.subSecDigitized != date.subSecDigitized)) {
    std::abort();
  }
  const uint8_t* block = nullptr;
  size_t blockSize = 0;
  if (FindExifBlock(data, size, &block, &blockSize) && (block < data || block + blockSize > data + size)) std::abort();
  return 0;
}
