// WebP decoding: any bytes, still pictures and animations, with an ICC profile converted as the program converts it.
#include <cstdlib>

#include "fuzz/FuzzCanvas.h"
#include "image/codec/WebpCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzCanvas canvas(1);
  DecodeStatus status = DecodeWebp(data, size, &canvas);
  if ((status == DecodeStatus::Ok) != canvas.Finished()) std::abort();
  return 0;
}
