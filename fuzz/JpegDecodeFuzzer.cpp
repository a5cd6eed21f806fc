// JPEG decoding: any bytes, any reduction the canvas asks for.
#include <cstdlib>

#include "fuzz/FuzzCanvas.h"
#include "image/codec/JpegCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The reduction follows from the size, so every file is also tried scaled (3 is not a valid
  // reduction and must be ignored).
  static const unsigned kReductions[5] = {1, 2, 4, 8, 3};
  FuzzCanvas canvas(kReductions[size % 5]);
  DecodeStatus status = DecodeJpeg(data, size, &canvas);
  if ((status == DecodeStatus::Ok) != canvas.Finished()) std::abort();
  return 0;
}
