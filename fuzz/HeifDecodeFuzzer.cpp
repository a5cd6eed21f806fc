// HEIF and AVIF decoding: any bytes, with the colours converted as the program converts them.
#include <cstdlib>

#include "fuzz/FuzzCanvas.h"
#include "image/codec/HeifCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // libheif cannot decode at a reduced scale: the canvas asks for none.
  FuzzCanvas canvas(1);
  DecodeStatus status = DecodeHeif(data, size, &canvas);
  if ((status == DecodeStatus::Ok) != canvas.Finished()) std::abort();
  return 0;
}
