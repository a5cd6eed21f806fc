// HEIF and AVIF decoding: any bytes, with the colours converted as the program converts them,
// and the date taken read from the Exif item.
#include <cstdlib>
#include <vector>

#include "base/ExifDate.h"

#include "fuzz/FuzzCanvas.h"
#include "image/codec/HeifCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // libheif cannot decode at a reduced scale: the canvas asks for none.
  FuzzCanvas canvas(1);
  DecodeStatus status = DecodeHeif(data, size, &canvas);
  if ((status == DecodeStatus::Ok) != canvas.Finished()) std::abort();
  std::vector<uint8_t> block;
  if (ReadHeifExifBlock(data, size, &block)) {
    if (block.empty() || block.size() > size) std::abort();
    ReadExifDate(block.data(), block.size());
  } else if (!block.empty()) {
    std::abort();
  }
  return 0;
}
