// Test pictures made in memory, and files made from them with encoders other than the program's.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image/Dib.h"

// A 32-bit CDib whose pixel (x, y), counted from the top left, is argb(x, y) = 0xAARRGGBB.
CDibPtr MakeDib(int width, int height, const std::function<uint32_t(int, int)>& argb);
// Pixel (x, y) from the top left of a 32-bit CDib as 0xAARRGGBB, or the index of an 8-bit one.
uint32_t PixelAt(const CDib& dib, int x, int y);
// A smooth picture with edges and fine texture, opaque, deterministic.
CDibPtr MakePhotoLike(int width, int height);

// Writes `dib` through GDI+'s encoder for `mime` ("image/bmp", "image/gif", "image/tiff").
bool SaveWithGdiplus(const CDib& dib, const std::wstring& path, const wchar_t* mime);

// A PNG file written by libpng exactly as described, for the decoder's tests.
struct TestPng {
  int width = 0, height = 0;
  int colorType = 0;  // PNG_COLOR_TYPE_*
  int bitDepth = 8;
  bool interlaced = false;
  std::vector<std::vector<uint8_t>> rows;  // packed as PNG stores them (16-bit big-endian)
  std::vector<uint8_t> paletteRgb;          // 3 bytes per entry
  std::vector<uint8_t> paletteAlpha;        // tRNS for palette pictures
  std::vector<uint8_t> exif;                // eXIf chunk, written after the pixel data
};
std::string EncodeTestPng(const TestPng& png);

// A JPEG file written by libjpeg from interleaved samples. colorSpace is a J_COLOR_SPACE value of
// the input (JCS_GRAYSCALE, JCS_RGB, JCS_CMYK); storeAs is the colour space in the file.
std::string EncodeTestJpeg(int width, int height, int colorSpace, int components, int storeAs,
                           const std::vector<uint8_t>& samples, int quality,
                           const std::vector<uint8_t>& app1 = std::vector<uint8_t>());

// A TIFF-structured EXIF block whose IFD0 holds the orientation tag (and one other tag before it).
std::vector<uint8_t> MakeExifBlock(int orientation, bool bigEndian);
// The 32-bit picture as RGB samples, top row first, for the encoders above.
std::vector<uint8_t> RgbSamples(const CDib& dib);

// A GIF89a with a 4-entry palette (3 bytes each), one transparent index (or -1) and one index per
// pixel, row by row; its LZW stream sends a clear code before every second pixel.
std::string EncodeTestGif(int width, int height, const std::vector<uint8_t>& paletteRgb,
                          int transparentIndex, const std::vector<uint8_t>& indices);

// Mean absolute difference per channel between two 32-bit pictures of the same size.
double MeanAbsoluteError(const CDib& a, const CDib& b);
