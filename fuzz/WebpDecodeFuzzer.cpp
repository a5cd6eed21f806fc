// WebP decoding: any bytes, still pictures and animations, with the ICC profile asked for too.
#include <cstdlib>

#include "fuzz/FuzzCanvas.h"
#include "image/WebpCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzCanvas canvas(1);
  ColourDescription colour;
  DecodeStatus status = DecodeWebp(data, size, &canvas, &colour);
  if ((status == DecodeStatus::Ok) != canvas.Finished()) std::abort();
  return 0;
}
