// Plain pixel-buffer types shared by the codecs and the pixel kernels (no Windows headers, so
// these parts also build natively for sanitizers and fuzzers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "base/ColorDescription.h"

// Rows of pixels in memory, top row first at `top`; `stride` may be negative for bottom-up storage.
struct PixelRows {
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t* top = nullptr;
  ptrdiff_t stride = 0;

  uint8_t* Row(uint32_t y) const { return top + static_cast<ptrdiff_t>(y) * stride; }
};

// Where a decoder writes its picture: 4 bytes B, G, R, A per pixel, straight alpha.
class BgraCanvas {
public:
  virtual ~BgraCanvas() = default;
  // Told the stored size and EXIF orientation before decoding, and the bytes the decoder itself
  // holds for the whole stored picture while it decodes, besides the canvas's rows (a JPEG of
  // several scans its coefficients, a library its own decoded copy; 0 for a decoder that holds a
  // few rows); returns the reduction wanted (1, 2, 4 or 8; decoders that cannot reduce ignore
  // it), or 0 to refuse the picture as too large before the decoder allocates for it.
  virtual unsigned Prepare(uint32_t width, uint32_t height, int orientation, uint64_t wholePictureBytes) {
    (void)width, (void)height, (void)orientation, (void)wholePictureBytes;
    return 1;
  }
  // Told what the file says about its colours (see ColorDescription), before Finish, and by a
  // decoder that hands its rows over through Written before Begin. True when the canvas turns
  // the pixels into sRGB itself: a CMYK decoder then writes its C, M, Y, K values as they are,
  // where it would otherwise write their plain conversion to B, G, R.
  virtual bool DescribeColor(const ColorDescription& color) {
    (void)color;
    return false;
  }
  // Called once the decoded size is known; false refuses the picture (no memory for it).
  virtual bool Begin(uint32_t width, uint32_t height) = 0;
  // The rows to write into, valid after Begin succeeded.
  virtual PixelRows Rows() const = 0;
  // Where row y goes, for decoders that write rows top to bottom and report them with Written:
  // such a decoder asks for at most 16 rows past the last one it reported. By default a row of
  // Rows(); a canvas that passes rows on may hand out the same memory again later.
  virtual uint8_t* Row(uint32_t y) { return Rows().Row(y); }
  // Rows [first, first + count) hold their final pixels.
  virtual void Written(uint32_t first, uint32_t count) { (void)first, (void)count; }
  // Called after every row was written, with the orientation the file records (1 when none).
  virtual bool Finish(int orientation) {
    (void)orientation;
    return true;
  }
  // Looked at while decoding, every few rows: true once the picture is no longer wanted, and the
  // decoder stops with DecodeStatus::Abandoned.
  virtual bool Abandoned() const { return false; }
};

enum class DecodeStatus {
  Ok,
  Undecodable,   // not this format, corrupt or truncated
  OutOfMemory,   // the canvas refused the size
  Abandoned,     // the canvas no longer wanted the picture
};

// A decoder's body behind its signature test, with every exception of a C++ library (or of the
// canvas) turned into a status: a file of another format is Undecodable without a look inside,
// and nothing thrown leaves a decoder.
template <class Body>
DecodeStatus GuardedDecode(bool signatureMatches, Body body) {
  if (!signatureMatches) return DecodeStatus::Undecodable;
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return DecodeStatus::OutOfMemory;
  } catch (...) {
    return DecodeStatus::Undecodable;
  }
}
