// PNG decoding: any bytes.
#include <cstdlib>

#include "fuzz/FuzzCanvas.h"
#include "image/codec/PngCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzCanvas canvas(1);
  DecodeStatus status = DecodePng(data, size, &canvas);
  if ((status == DecodeStatus::Ok) != canvas.Finished()) std::abort();
  return 0;
}
