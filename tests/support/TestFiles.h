// Test files made in memory by encoders other than the program's (libpng and libjpeg called
// directly, a GIF written by hand) and EXIF blocks. Plain buffers only: the native tests and the
// fuzzers' seed generator use these too.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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

// How a test JPEG's entropy-coded data is laid out: one sequential scan, several progressive
// scans (Huffman or arithmetic coded), or one scan with a restart marker after every row of
// blocks.
enum class JpegLayout { Baseline, Progressive, ArithmeticProgressive, Restarts };

// A JPEG file written by libjpeg from interleaved samples. colorSpace is a J_COLOR_SPACE value of
// the input (JCS_GRAYSCALE, JCS_RGB, JCS_CMYK); storeAs is the colour space in the file.
std::string EncodeTestJpeg(int width, int height, int colorSpace, int components, int storeAs,
                           const std::vector<uint8_t>& samples, int quality,
                           const std::vector<uint8_t>& app1 = std::vector<uint8_t>(),
                           JpegLayout layout = JpegLayout::Baseline);

// Pictures too large to hold as samples, encoded row by row: `row(y, samples)` fills row y with
// RGB (3 bytes per pixel) or, for the PNG with alpha, RGBA. The JPEG keeps full chroma resolution
// when `fullChroma` (the largest coefficient buffer a progressive decode needs); the PNG is
// written at zlib's fastest level.
typedef std::function<void(int y, uint8_t* samples)> RowSource;
std::string EncodeLargeJpeg(int width, int height, JpegLayout layout, bool fullChroma,
                            const RowSource& row);
std::string EncodeLargePng(int width, int height, bool alpha, const RowSource& row);

// A TIFF-structured EXIF block whose IFD0 holds the orientation tag (and one other tag before it).
std::vector<uint8_t> MakeExifBlock(int orientation, bool bigEndian);

// A GIF89a with a 4-entry palette (3 bytes each), one transparent index (or -1) and one index per
// pixel, row by row; its LZW stream sends a clear code before every second pixel.
std::string EncodeTestGif(int width, int height, const std::vector<uint8_t>& paletteRgb,
                          int transparentIndex, const std::vector<uint8_t>& indices);

// Little-endian 16- and 32-bit values appended to a byte block.
void AppendLe16(std::vector<uint8_t>* bytes, size_t value);
void AppendLe32(std::vector<uint8_t>* bytes, uint32_t value);
// A shell item identifier list: each payload as one item after its 16-bit size, then the
// terminating 0.
std::vector<uint8_t> EncodeItemIdList(const std::vector<std::string>& payloads);
