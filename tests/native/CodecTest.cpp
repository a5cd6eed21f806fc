// The JPEG and PNG wrappers on plain buffers: what the canvas is told and when, exact round
// trips into bottom-up padded rows, reduced JPEG decoding, and damaged files that must fail
// instead of giving a picture. Every decode reads from a buffer of exactly the file's size, so
// the address sanitizer sees any read past its end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "image/codec/JpegCodec.h"
#include "image/codec/PngCodec.h"
#include "native/PlainImage.h"
#include "support/TestFiles.h"

namespace {

// Decodes into a bottom-up padded PlainImage and records every call of the decoder.
class RecordingCanvas : public BgraCanvas {
public:
  unsigned reduction = 1;
  bool refuseBegin = false;
  bool refuseFinish = false;

  int prepareCalls = 0, beginCalls = 0, finishCalls = 0;
  uint32_t fileWidth = 0, fileHeight = 0;
  int preparedOrientation = 0, finishedOrientation = 0;
  uint64_t wholePictureBytes = 0;
  std::unique_ptr<PlainImage> image;

  unsigned Prepare(uint32_t width, uint32_t height, int orientation, uint64_t whole) override {
    ++prepareCalls;
    wholePictureBytes = whole;
    fileWidth = width;
    fileHeight = height;
    preparedOrientation = orientation;
    return reduction;
  }
  bool Begin(uint32_t width, uint32_t height) override {
    ++beginCalls;
    if (refuseBegin) return false;
    image.reset(new PlainImage(width, height, 4, true));
    return true;
  }
  PixelRows Rows() const override { return image->Rows(); }
  bool Finish(int orientation) override {
    ++finishCalls;
    finishedOrientation = orientation;
    return !refuseFinish;
  }
};

using Decoder = DecodeStatus (*)(const uint8_t*, size_t, BgraCanvas*);

// Decodes a private copy of exactly `size` bytes.
DecodeStatus DecodeCopy(Decoder decode, const std::string& file, size_t size, BgraCanvas* canvas) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
  std::copy(file.begin(), file.begin() + static_cast<ptrdiff_t>(size), copy.get());
  return decode(copy.get(), size, canvas);
}

DecodeStatus Decode(Decoder decode, const std::string& file, BgraCanvas* canvas) {
  return DecodeCopy(decode, file, file.size(), canvas);
}

std::string AsString(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::vector<uint8_t> App1(int orientation) {
  std::vector<uint8_t> app1 = {'E', 'x', 'i', 'f', 0, 0};
  std::vector<uint8_t> block = MakeExifBlock(orientation, true);
  app1.insert(app1.end(), block.begin(), block.end());
  return app1;
}

// Random straight-alpha pixels; clear ones keep colour, which a PNG must keep too.
PlainImage RandomPicture(uint32_t width, uint32_t height, bool opaque, std::mt19937* random) {
  PlainImage picture(width, height, 4, true);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t p = (*random)();
      picture.SetPixel(x, y, opaque ? p | 0xFF000000u : p & (x % 3 == 0 ? 0x00FFFFFFu : 0xFFFFFFFFu));
    }
  }
  return picture;
}

bool Near(uint32_t expected, uint32_t actual, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    int e = (expected >> shift) & 0xFF, a = (actual >> shift) & 0xFF;
    if (std::abs(e - a) > tolerance) return false;
  }
  return true;
}

}  // namespace

TEST(PngCodec, RoundTripsKeepEveryByteInBottomUpRows) {
  std::mt19937 random(29);
  for (bool opaque : {false, true}) {
    PlainImage source = RandomPicture(37, 23, opaque, &random);
    std::vector<uint8_t> file;
    ASSERT_TRUE(EncodePngRgba(source.Rows(), &file));
    RecordingCanvas canvas;
    ASSERT_EQ(DecodeStatus::Ok, Decode(DecodePng, AsString(file), &canvas)) << opaque;
    EXPECT_EQ(0, canvas.prepareCalls);  // PNG learns the orientation only at the end
    EXPECT_EQ(1, canvas.finishedOrientation);
    ASSERT_EQ(37u, canvas.image->Width());
    ASSERT_EQ(23u, canvas.image->Height());
    for (uint32_t y = 0; y < 23; ++y) {
      for (uint32_t x = 0; x < 37; ++x) ASSERT_EQ(source.Pixel(x, y), canvas.image->Pixel(x, y)) << x << "," << y;
    }
    EXPECT_TRUE(canvas.image->GuardsIntact(4));
  }

  // Indexed: every pixel comes back as its table entry.
  uint8_t palette[256][4];
  for (int i = 0; i < 256; ++i) {
    uint32_t p = random();
    std::memcpy(palette[i], &p, 4);
  }
  PlainImage indices(19, 7, 1, true);
  for (uint32_t y = 0; y < 7; ++y) {
    for (uint32_t x = 0; x < 19; ++x) indices.Row(y)[x] = static_cast<uint8_t>((x * 13 + y * 31) % 200);
  }
  std::vector<uint8_t> file;
  ASSERT_TRUE(EncodePngIndexed(indices.Rows(), palette, &file));
  RecordingCanvas canvas;
  ASSERT_EQ(DecodeStatus::Ok, Decode(DecodePng, AsString(file), &canvas));
  for (uint32_t y = 0; y < 7; ++y) {
    for (uint32_t x = 0; x < 19; ++x) {
      uint32_t entry;
      std::memcpy(&entry, palette[indices.Row(y)[x]], 4);
      ASSERT_EQ(entry, canvas.image->Pixel(x, y)) << x << "," << y;
    }
  }
  PixelRows none{0, 5, indices.Row(0), 19};
  EXPECT_FALSE(EncodePngRgba(none, &file));
  EXPECT_FALSE(EncodePngIndexed(none, palette, &file));
}

TEST(PngCodec, InterlacedSixteenBitFileFillsEveryPixelAndReportsItsOrientation) {
  // Each 16-bit sample repeats its byte, so scaling to 8 bits gives that byte exactly.
  TestPng png;
  png.width = 13;
  png.height = 11;
  png.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
  png.bitDepth = 16;
  png.interlaced = true;
  auto sample = [](uint32_t x, uint32_t y, int c) { return static_cast<uint8_t>(x * 19 + y * 7 + c * 60); };
  for (uint32_t y = 0; y < 11; ++y) {
    std::vector<uint8_t> row;
    for (uint32_t x = 0; x < 13; ++x) {
      for (int c = 0; c < 4; ++c) row.insert(row.end(), 2, sample(x, y, c));
    }
    png.rows.push_back(row);
  }
  png.exif = MakeExifBlock(7, false);
  RecordingCanvas canvas;
  ASSERT_EQ(DecodeStatus::Ok, Decode(DecodePng, EncodeTestPng(png), &canvas));
  EXPECT_EQ(7, canvas.finishedOrientation);
  for (uint32_t y = 0; y < 11; ++y) {
    for (uint32_t x = 0; x < 13; ++x) {
      uint32_t expected = static_cast<uint32_t>(sample(x, y, 3)) << 24 | sample(x, y, 0) << 16 |
                          sample(x, y, 1) << 8 | sample(x, y, 2);
      ASSERT_EQ(expected, canvas.image->Pixel(x, y)) << x << "," << y;
    }
  }
  EXPECT_TRUE(canvas.image->GuardsIntact(4));
}

TEST(JpegCodec, TheCanvasLearnsSizeAndOrientationFirstAndMayAskForLess) {
  // A CMYK file (converted row by row in place) and a colour one, at every reduction.
  const int w = 45, h = 30;
  std::vector<uint8_t> cmyk, rgb;
  for (int i = 0; i < w * h; ++i) {
    cmyk.insert(cmyk.end(), {255, 0, 0, 255});  // inverted as Adobe stores it: magenta and yellow
    rgb.insert(rgb.end(), {200, 40, 90});
  }
  const std::string files[] = {EncodeTestJpeg(w, h, JCS_CMYK, 4, JCS_YCCK, cmyk, 95, App1(6)),
                               EncodeTestJpeg(w, h, JCS_RGB, 3, JCS_YCbCr, rgb, 95)};
  const uint32_t colors[] = {0xFFFF0000u, 0xFFC8285Au};
  const int orientations[] = {6, 1};
  for (int f = 0; f < 2; ++f) {
    for (unsigned reduction : {1u, 2u, 4u, 8u, 3u}) {
      SCOPED_TRACE(testing::Message() << "file " << f << " reduction " << reduction);
      RecordingCanvas canvas;
      canvas.reduction = reduction;
      ASSERT_EQ(DecodeStatus::Ok, Decode(DecodeJpeg, files[f], &canvas));
      EXPECT_EQ(1, canvas.prepareCalls);
      EXPECT_EQ(static_cast<uint32_t>(w), canvas.fileWidth);
      EXPECT_EQ(static_cast<uint32_t>(h), canvas.fileHeight);
      EXPECT_EQ(orientations[f], canvas.preparedOrientation);
      EXPECT_EQ(0u, canvas.wholePictureBytes);  // one scan: a few rows of coefficients
      EXPECT_EQ(orientations[f], canvas.finishedOrientation);
      unsigned used = reduction == 3 ? 1 : reduction;  // only powers of two are honoured
      ASSERT_EQ((w + used - 1) / used, canvas.image->Width());
      ASSERT_EQ((h + used - 1) / used, canvas.image->Height());
      for (uint32_t y = 0; y < canvas.image->Height(); ++y) {
        for (uint32_t x = 0; x < canvas.image->Width(); ++x) {
          ASSERT_TRUE(Near(colors[f], canvas.image->Pixel(x, y), 4))
              << std::hex << canvas.image->Pixel(x, y) << std::dec << " at " << x << "," << y;
        }
      }
      EXPECT_TRUE(canvas.image->GuardsIntact(4));
    }
  }
}

TEST(JpegCodec, ARefusalAtTheHeaderStopsTheDecoderBeforeItsFirstScan) {
  // A few hundred bytes of arithmetic-coded progressive data under a frame header claiming
  // 64000 x 16000 pixels. Once the arithmetic decoder meets a marker it reads zeros, so all
  // scans would be decoded over a gigapixel of coefficients from nothing (the fuzzer found such a
  // file taking 13 s): a canvas that refuses the size must stop the decoder at the header.
  std::vector<uint8_t> rgb(16 * 16 * 3, 0x50);
  std::string file = EncodeTestJpeg(16, 16, JCS_RGB, 3, JCS_YCbCr, rgb, 75, std::vector<uint8_t>(),
                                    JpegLayout::ArithmeticProgressive);
  RecordingCanvas valid;
  ASSERT_EQ(DecodeStatus::Ok, Decode(DecodeJpeg, file, &valid));
  // A progressive file holds all its coefficients: 4:2:0 16 x 16 is four luma blocks and one of
  // each chroma, 64 coefficients of 2 bytes each.
  EXPECT_EQ(6u * 64 * 2, valid.wholePictureBytes);
  const size_t frame = file.find("\xFF\xCA");  // progressive, arithmetic coded
  ASSERT_NE(std::string::npos, frame);
  const char size[4] = {'\x3E', '\x80', '\xFA', '\x00'};  // height 16000, width 64000
  file.replace(frame + 5, 4, size, 4);

  RecordingCanvas refusing;
  refusing.reduction = 0;
  EXPECT_EQ(DecodeStatus::OutOfMemory, Decode(DecodeJpeg, file, &refusing));
  EXPECT_EQ(64000u, refusing.fileWidth);
  EXPECT_EQ(16000u, refusing.fileHeight);
  EXPECT_EQ(0, refusing.beginCalls);
}

TEST(JpegCodec, EncoderReadsBottomUpRowsAndHonoursTheQuality) {
  std::mt19937 random(31);
  PlainImage source(40, 24, 4, true);
  for (uint32_t y = 0; y < 24; ++y) {
    for (uint32_t x = 0; x < 40; ++x) source.SetPixel(x, y, 0xFF000000u | (x * 6) << 16 | (y * 10) << 8 | 0x40);
  }
  std::vector<uint8_t> fine, coarse;
  ASSERT_TRUE(EncodeJpeg(source.Rows(), 95, &fine));
  ASSERT_TRUE(EncodeJpeg(source.Rows(), 150, &coarse));  // beyond the scale: taken as 100
  EXPECT_GE(coarse.size(), fine.size());
  RecordingCanvas canvas;
  ASSERT_EQ(DecodeStatus::Ok, Decode(DecodeJpeg, AsString(fine), &canvas));
  for (uint32_t y = 0; y < 24; ++y) {
    for (uint32_t x = 0; x < 40; ++x) ASSERT_TRUE(Near(source.Pixel(x, y), canvas.image->Pixel(x, y), 6)) << x << "," << y;
  }
  PixelRows none{40, 0, source.Row(0), 160};
  EXPECT_FALSE(EncodeJpeg(none, 90, &fine));
}

TEST(Codecs, EveryTruncatedFileFailsWithoutAPicture) {
  // A progressive JPEG (all scans are read before the first row), a baseline one with restart
  // markers, and a PNG whose eXIf chunk follows the pixel data: cut anywhere, each fails.
  std::vector<uint8_t> rgb;
  for (int i = 0; i < 24 * 16; ++i) rgb.insert(rgb.end(), {uint8_t(i), uint8_t(i * 3), uint8_t(i * 7)});
  TestPng png;
  png.width = 24;
  png.height = 16;
  png.colorType = PNG_COLOR_TYPE_RGB;
  for (int y = 0; y < 16; ++y) png.rows.emplace_back(rgb.begin() + y * 72, rgb.begin() + y * 72 + 72);
  png.exif = MakeExifBlock(3, true);
  struct Case {
    Decoder decode;
    std::string file;
  };
  const Case cases[] = {
      {DecodeJpeg, EncodeTestJpeg(24, 16, JCS_RGB, 3, JCS_YCbCr, rgb, 90, App1(8), JpegLayout::Progressive)},
      {DecodeJpeg, EncodeTestJpeg(24, 16, JCS_RGB, 3, JCS_YCbCr, rgb, 90, App1(8), JpegLayout::Restarts)},
      {DecodePng, EncodeTestPng(png)},
  };
  for (const Case& c : cases) {
    ASSERT_GT(c.file.size(), 100u);
    RecordingCanvas whole;
    ASSERT_EQ(DecodeStatus::Ok, Decode(c.decode, c.file, &whole));
    for (size_t keep = 0; keep < c.file.size(); ++keep) {
      RecordingCanvas canvas;
      ASSERT_EQ(DecodeStatus::Undecodable, DecodeCopy(c.decode, c.file, keep, &canvas)) << keep;
      ASSERT_EQ(0, canvas.finishCalls) << keep;
    }
  }
}

TEST(Codecs, RefusalsAreOutOfMemoryAndForeignBytesUndecodable) {
  std::vector<uint8_t> rgb(8 * 8 * 3, 0x80);
  const std::string jpeg = EncodeTestJpeg(8, 8, JCS_RGB, 3, JCS_YCbCr, rgb, 90);
  TestPng grey;
  grey.width = grey.height = 2;
  grey.colorType = PNG_COLOR_TYPE_GRAY;
  grey.rows = {{1, 2}, {3, 4}};
  const std::string png = EncodeTestPng(grey);
  for (Decoder decode : {DecodeJpeg, DecodePng}) {
    const std::string& own = decode == DecodeJpeg ? jpeg : png;
    const std::string& other = decode == DecodeJpeg ? png : jpeg;
    RecordingCanvas refusing;
    refusing.refuseBegin = true;
    EXPECT_EQ(DecodeStatus::OutOfMemory, Decode(decode, own, &refusing));
    EXPECT_EQ(0, refusing.finishCalls);
    RecordingCanvas failing;
    failing.refuseFinish = true;
    EXPECT_EQ(DecodeStatus::OutOfMemory, Decode(decode, own, &failing));
    RecordingCanvas canvas;
    EXPECT_EQ(DecodeStatus::Undecodable, Decode(decode, other, &canvas));
    EXPECT_EQ(DecodeStatus::Undecodable, Decode(decode, std::string(), &canvas));
    EXPECT_EQ(0, canvas.beginCalls);
  }
}
