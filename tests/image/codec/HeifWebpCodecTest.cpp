// The HEIF/AVIF and WebP decoders on the files scripts/codec-samples makes with Debian's encoders
// (CTest passes their folder in KESTRELLE_CODEC_SAMPLES): pixels against the pictures they were
// encoded from, transformations applied once, alpha, 10-bit rounding, the colour descriptions,
// and what the canvas is told when files are damaged, refused or abandoned. Plain buffers only:
// built into the Wine suite and into the native sanitizer tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <lcms2.h>
#include <libheif/heif.h>

#include "base/ExifDate.h"
#include "base/Orientation.h"
#include "image/codec/HeifCodec.h"
#include "image/codec/PngCodec.h"
#include "image/codec/WebpCodec.h"
#include "image/decode/ColorConversion.h"
#include "native/PlainImage.h"
#include "support/TestProfiles.h"

namespace {

typedef std::vector<uint8_t> Bytes;
using Decoder = DecodeStatus (*)(const uint8_t*, size_t, BgraCanvas*);

// Decodes into bottom-up rows padded with guard bytes and holds the decoder to the canvas's
// promises: Prepare before Begin, once each; rows reported top to bottom, each once; the colours
// described at most once, before Finish; Finish after the last row. With `convert`, it converts
// the colours to sRGB as the program's canvas does.
class CheckingCanvas : public BgraCanvas {
public:
  // Decoders that write through Rows() and learn the size only from Begin (PNG) are held to
  // less: Begin and Finish, once each.
  bool rowsDecoder = false;
  bool refusePrepare = false, refuseBegin = false, refuseFinish = false;
  bool abandonAtStart = false, abandonAfterBegin = false;
  bool convert = false;

  int prepareCalls = 0, beginCalls = 0, finishCalls = 0;
  uint32_t preparedWidth = 0, preparedHeight = 0;
  int preparedOrientation = 0, finishedOrientation = 0;
  uint64_t preparedHeldBytes = 0;
  uint32_t rowsWritten = 0;
  int describeCalls = 0;
  ColorDescription described;  // without its profile's bytes, which are copied to describedIcc
  Bytes describedIcc;
  CColorConversionPtr conversion;
  bool broken = false;  // a promise was not kept
  std::unique_ptr<PlainImage> image;

  unsigned Prepare(uint32_t width, uint32_t height, int orientation, uint64_t heldBytes) override {
    broken |= prepareCalls++ > 0 || beginCalls > 0;
    preparedHeldBytes = heldBytes;
    preparedWidth = width;
    preparedHeight = height;
    preparedOrientation = orientation;
    return refusePrepare ? 0 : 1;
  }
  bool Begin(uint32_t width, uint32_t height) override {
    broken |= beginCalls++ > 0 ||
              (!rowsDecoder && (prepareCalls != 1 || width != preparedWidth || height != preparedHeight));
    if (refuseBegin) return false;
    image.reset(new PlainImage(width, height, 4, true));
    return true;
  }
  PixelRows Rows() const override { return image->Rows(); }
  void Written(uint32_t first, uint32_t count) override {
    broken |= first != rowsWritten || count == 0;
    rowsWritten = first + count;
  }
  bool DescribeColor(const ColorDescription& color) override {
    broken |= describeCalls++ > 0 || finishCalls > 0 || (color.iccSize > 0 && !color.icc);
    described = color;
    described.icc = nullptr;
    describedIcc.assign(color.icc, color.icc + color.iccSize);
    if (convert) conversion = CColorConversion::For(color);
    return conversion != nullptr;
  }
  bool Finish(int orientation) override {
    broken |= finishCalls++ > 0 || !image || (!rowsDecoder && rowsWritten != image->Height());
    finishedOrientation = orientation;
    if (conversion) {
      for (uint32_t y = 0; y < image->Height(); ++y) conversion->Apply(image->Row(y), image->Width());
    }
    return !refuseFinish;
  }
  bool Abandoned() const override { return abandonAtStart || (abandonAfterBegin && beginCalls > 0); }

  uint32_t Width() const { return image->Width(); }
  uint32_t Height() const { return image->Height(); }
  // B, G, R, A of a pixel.
  std::array<int, 4> At(uint32_t x, uint32_t y) const {
    const uint8_t* p = image->Row(y) + 4 * static_cast<size_t>(x);
    return {p[0], p[1], p[2], p[3]};
  }
  // The mean B, G, R, A over [x0, x1) x [y0, y1).
  std::array<double, 4> Mean(uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) const {
    std::array<double, 4> sum = {0, 0, 0, 0};
    for (uint32_t y = y0; y < y1; ++y) {
      for (uint32_t x = x0; x < x1; ++x) {
        std::array<int, 4> p = At(x, y);
        for (int c = 0; c < 4; ++c) sum[c] += p[c];
      }
    }
    for (double& s : sum) s /= double(x1 - x0) * double(y1 - y0);
    return sum;
  }
};

std::string SampleDir() {
  const char* dir = std::getenv("KESTRELLE_CODEC_SAMPLES");
  return dir ? dir : "";
}

// The named file of the sample folder; an empty result fails the test that asked.
Bytes Sample(const std::string& name) {
  std::ifstream file(SampleDir() + "/" + name, std::ios::binary);
  if (!file) {
    ADD_FAILURE() << name << " is missing from KESTRELLE_CODEC_SAMPLES (" << SampleDir()
                  << "): run the tests through ctest, which makes the samples";
    return Bytes();
  }
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Decodes a private copy of exactly the given bytes, so the sanitizer sees any read past them.
DecodeStatus DecodeBytes(Decoder decode, const Bytes& file, CheckingCanvas* canvas) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[file.empty() ? 1 : file.size()]);
  std::copy(file.begin(), file.end(), copy.get());
  DecodeStatus status = decode(copy.get(), file.size(), canvas);
  EXPECT_FALSE(canvas->broken) << "the decoder broke a promise to the canvas";
  if (canvas->image) {
    EXPECT_TRUE(canvas->image->GuardsIntact(4)) << "a row was written past its end";
  }
  return status;
}

Decoder DecoderFor(const std::string& name) {
  if (name.compare(0, 4, "webp") == 0) return DecodeWebp;
  return name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0 ? DecodePng : DecodeHeif;
}

// The colours of scripts/codec-samples, as B, G, R.
const std::array<int, 3> kRed = {40, 40, 220}, kGreen = {60, 200, 40}, kBlue = {210, 60, 50},
                         kYellow = {50, 220, 230};
const std::array<int, 3> kQuad[4] = {kRed, kGreen, kBlue, kYellow};
const int kQuadAlpha[4] = {255, 128, 255, 0};

// Each quadrant of the canvas, away from its edges (where lossy coding blurs), has the mean
// colour given, within `tolerance` per channel.
void ExpectQuadrants(const CheckingCanvas& canvas, const std::array<int, 3> (&colors)[4], double tolerance,
                     const std::string& what) {
  const uint32_t w = canvas.Width(), h = canvas.Height();
  const uint32_t mx = w / 8, my = h / 8;
  for (int q = 0; q < 4; ++q) {
    const uint32_t x0 = (q & 1) ? w / 2 : 0, y0 = (q & 2) ? h / 2 : 0;
    std::array<double, 4> mean = canvas.Mean(x0 + mx, y0 + my, x0 + w / 2 - mx, y0 + h / 2 - my);
    for (int c = 0; c < 3; ++c) {
      EXPECT_NEAR(mean[c], colors[q][c], tolerance) << what << ", quadrant " << q << ", channel " << c;
    }
  }
}

void ExpectAlphaQuadrants(const CheckingCanvas& canvas, double tolerance, const std::string& what) {
  const uint32_t w = canvas.Width(), h = canvas.Height();
  for (int q = 0; q < 4; ++q) {
    const uint32_t x0 = (q & 1) ? w / 2 : 0, y0 = (q & 2) ? h / 2 : 0;
    EXPECT_NEAR(canvas.Mean(x0 + 4, y0 + 4, x0 + w / 2 - 4, y0 + h / 2 - 4)[3], kQuadAlpha[q], tolerance)
        << what << ", quadrant " << q;
  }
}

// A decode that must succeed, with the canvas told the stored size and orientation 1.
void DecodeOk(const std::string& name, CheckingCanvas* canvas) {
  Bytes file = Sample(name);
  ASSERT_FALSE(file.empty());
  ASSERT_EQ(DecodeBytes(DecoderFor(name), file, canvas), DecodeStatus::Ok) << name;
  ASSERT_EQ(canvas->finishCalls, 1) << name;
}

TEST(HeifWebpSignatureTest, BrandsAndFormsDecideNotNames) {
  for (const char* name : {"heic-8.heic", "heic-alpha.heic", "avif-8.avif", "avif-grid.avif"}) {
    Bytes file = Sample(name);
    EXPECT_TRUE(IsHeifSignature(file.data(), file.size())) << name;
    EXPECT_FALSE(IsWebpSignature(file.data(), file.size())) << name;
  }
  for (const char* name : {"webp-lossy.webp", "webp-anim.webp"}) {
    Bytes file = Sample(name);
    EXPECT_TRUE(IsWebpSignature(file.data(), file.size())) << name;
    EXPECT_FALSE(IsHeifSignature(file.data(), file.size())) << name;
  }
  Bytes png = Sample("quad.png");
  EXPECT_FALSE(IsHeifSignature(png.data(), png.size()));
  EXPECT_FALSE(IsWebpSignature(png.data(), png.size()));

  // An ftyp box: size, "ftyp", major brand, minor version, compatible brands.
  auto ftyp = [](const std::string& brands) {
    Bytes box = {0, 0, 0, uint8_t(8 + brands.size()), 'f', 't', 'y', 'p'};
    box.insert(box.end(), brands.begin(), brands.end());
    return box;
  };
  Bytes video = ftyp(std::string("isom\0\0\0\0isommp42", 16));
  EXPECT_FALSE(IsHeifSignature(video.data(), video.size()));
  // A compatible brand is enough (phones write major brands of their own).
  Bytes compatible = ftyp(std::string("xxxx\0\0\0\0mp41heix", 16));
  EXPECT_TRUE(IsHeifSignature(compatible.data(), compatible.size()));
  // A brand beyond the box's own size belongs to the next box.
  Bytes shortBox = compatible;
  shortBox[3] = 16;
  EXPECT_FALSE(IsHeifSignature(shortBox.data(), shortBox.size()));
  EXPECT_FALSE(IsHeifSignature(compatible.data(), 15));

  const std::string wave = "RIFF\x10\0\0\0WAVEfmt ";
  EXPECT_FALSE(IsWebpSignature(reinterpret_cast<const uint8_t*>(wave.data()), wave.size()));
  EXPECT_FALSE(IsWebpSignature(reinterpret_cast<const uint8_t*>("RIFF\0\0\0\0WEB"), 11));
}

TEST(HeifDecodeTest, HeicOfEightAndTenBitsIsCloseToItsSource) {
  for (const char* name : {"heic-8.heic", "heic-10.heic", "heic-thumb.heic"}) {
    CheckingCanvas canvas;
    DecodeOk(name, &canvas);
    EXPECT_EQ(canvas.Width(), 96u);
    EXPECT_EQ(canvas.Height(), 64u);
    EXPECT_EQ(canvas.preparedOrientation, 1);
    EXPECT_EQ(canvas.finishedOrientation, 1);
    ExpectQuadrants(canvas, kQuad, 6, name);
    EXPECT_EQ(canvas.Mean(0, 0, 96, 64)[3], 255.0) << name;
  }
}

TEST(HeifDecodeTest, AlphaStaysStraight) {
  // The half-transparent quadrant keeps its full colour: premultiplied output would halve it.
  for (const char* name : {"heic-alpha.heic", "avif-10-alpha.avif"}) {
    CheckingCanvas canvas;
    DecodeOk(name, &canvas);
    ExpectAlphaQuadrants(canvas, 3, name);
    const std::array<int, 3> visible[4] = {kRed, kGreen, kBlue, kBlue};
    for (int q = 0; q < 3; ++q) {
      const uint32_t x0 = (q & 1) ? 48 : 0, y0 = (q & 2) ? 32 : 0;
      std::array<double, 4> mean = canvas.Mean(x0 + 8, y0 + 8, x0 + 40, y0 + 24);
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(mean[c], visible[q][c], 8) << name << ", quadrant " << q;
    }
  }
}

TEST(HeifDecodeTest, AvifOfEightBitsIsCloseToItsSource) {
  CheckingCanvas canvas;
  DecodeOk("avif-8.avif", &canvas);
  EXPECT_EQ(canvas.Width(), 96u);
  ExpectQuadrants(canvas, kQuad, 6, "avif-8.avif");
}

TEST(HeifDecodeTest, TenBitSamplesAreRoundedToEight) {
  // Lossless 10-bit grey: every band holds exactly its level rounded to 8 bits (cutting the low
  // bits off would give one less for the levels 3, 7 and 259).
  CheckingCanvas canvas;
  DecodeOk("avif-grey10.avif", &canvas);
  std::istringstream levels(std::string(reinterpret_cast<const char*>(Sample("grey10.txt").data()),
                                        Sample("grey10.txt").size()));
  ASSERT_EQ(canvas.Width(), 64u);
  for (uint32_t band = 0; band < 8; ++band) {
    int level = -1;
    levels >> level;
    ASSERT_GE(level, 0);
    const int expected = (level * 255 + 511) / 1023;
    for (uint32_t y = 0; y < 64; y += 9) {
      for (uint32_t x = band * 8; x < band * 8 + 8; ++x) {
        std::array<int, 4> p = canvas.At(x, y);
        ASSERT_EQ(p[0], expected) << "level " << level << " at " << x << "," << y;
        ASSERT_EQ(p[1], expected);
        ASSERT_EQ(p[2], expected);
        ASSERT_EQ(p[3], 255);
      }
    }
  }
}

TEST(HeifDecodeTest, CropRotationAndMirrorAreAppliedOnce) {
  // Cropped to 64x48 from (16, 8), turned a quarter anticlockwise, mirrored top to bottom: the
  // quadrants red, green, blue, yellow come out red, blue, green, yellow, 48 by 64, and the
  // canvas is not asked to turn the picture again.
  CheckingCanvas canvas;
  DecodeOk("avif-transformed.avif", &canvas);
  EXPECT_EQ(canvas.preparedWidth, 48u);
  EXPECT_EQ(canvas.preparedHeight, 64u);
  ASSERT_EQ(canvas.Width(), 48u);
  ASSERT_EQ(canvas.Height(), 64u);
  EXPECT_EQ(canvas.preparedOrientation, 1);
  EXPECT_EQ(canvas.finishedOrientation, 1);
  const std::array<int, 3> expected[4] = {kRed, kBlue, kGreen, kYellow};
  ExpectQuadrants(canvas, expected, 6, "avif-transformed.avif");
}

// dav1d's 32-bit builds refused frames past 8192 x 8192 whatever their caller allowed; the
// program's own limit is what decides, in the 32-bit program as in the 64-bit one.
TEST(HeifDecodeTest, AvifPastEightThousandSquareIsRead) {
  CheckingCanvas canvas;
  DecodeOk("avif-8194x8192.avif", &canvas);
  ASSERT_EQ(canvas.Width(), 8194u);
  ASSERT_EQ(canvas.Height(), 8192u);
  EXPECT_LT(canvas.Mean(1000, 4000, 1064, 4064)[1], 100.0);
  EXPECT_GT(canvas.Mean(7000, 4000, 7064, 4064)[1], 150.0);
}

TEST(HeifDecodeTest, GridTilesAreAssembled) {
  CheckingCanvas canvas;
  DecodeOk("avif-grid.avif", &canvas);
  ASSERT_EQ(canvas.Width(), 128u);
  ASSERT_EQ(canvas.Height(), 128u);
  // scripts/codec-samples: one colour per 64x64 tile, as B, G, R.
  const std::array<int, 3> tiles[4] = {{120, 30, 200}, {200, 160, 30}, {30, 200, 120}, {40, 60, 90}};
  ExpectQuadrants(canvas, tiles, 6, "avif-grid.avif");
}

// A grid is decoded a row of tiles at a time and its rows handed over as they are complete:
// each pixel is the one libheif's decode of the whole picture gives.
TEST(HeifDecodeTest, GridsDecodedTileByTileAreTheWholeDecode) {
  for (const char* name : {"avif-grid.avif"}) {
    CheckingCanvas canvas;
    DecodeOk(name, &canvas);
    const Bytes file = Sample(name);
    heif_context* context = heif_context_alloc();
    ASSERT_EQ(heif_error_Ok, heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr).code);
    heif_image_handle* handle = nullptr;
    ASSERT_EQ(heif_error_Ok, heif_context_get_primary_image_handle(context, &handle).code);
    heif_image* whole = nullptr;
    ASSERT_EQ(heif_error_Ok,
              heif_decode_image(handle, &whole, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr).code);
    int stride = 0;
    const uint8_t* rgba = heif_image_get_plane_readonly(whole, heif_channel_interleaved, &stride);
    ASSERT_EQ(canvas.Width(), uint32_t(heif_image_get_width(whole, heif_channel_interleaved))) << name;
    ASSERT_EQ(canvas.Height(), uint32_t(heif_image_get_height(whole, heif_channel_interleaved))) << name;
    int differing = 0;
    for (uint32_t y = 0; y < canvas.Height(); ++y) {
      for (uint32_t x = 0; x < canvas.Width(); ++x) {
        const uint8_t* p = rgba + size_t(y) * size_t(stride) + 4 * size_t(x);
        differing += canvas.At(x, y) != std::array<int, 4>{p[2], p[1], p[0], p[3]};
      }
    }
    EXPECT_EQ(0, differing) << name;
    heif_image_release(whole);
    heif_image_handle_release(handle);
    heif_context_free(context);
  }
}

// A cropped grid, as phones write their largest photos, is made from its stored tiles a strip of
// tiles at a time, the crop cutting through tiles on every side; a turned one is turned as its
// strips are handed over (columns of tiles for a quarter turn), so the canvas never turns it.
// Both give the picture that the same file stored as one image gives (lossy, so within a few
// levels), holding less than a whole decode would.
TEST(HeifDecodeTest, CroppedAndTurnedGridsAreTheirWindowTurned) {
  // Every orientation, each after a crop, and a crop that comes after the turn.
  for (const char* name : {"crop", "crop-turned", "turn1", "turn2", "turn3", "turn2m", "turn3m", "mirror",
                           "crop-after-turn"}) {
    const std::string gridName = std::string("avif-grid-") + name + ".avif";
    CheckingCanvas grid, single;
    DecodeOk(gridName, &grid);
    DecodeOk(std::string("avif-") + name + ".avif", &single);
    if (!grid.image || !single.image) continue;
    EXPECT_EQ(grid.preparedWidth, single.Width()) << gridName;
    EXPECT_EQ(grid.preparedHeight, single.Height()) << gridName;
    EXPECT_EQ(grid.preparedOrientation, 1) << gridName;
    EXPECT_EQ(grid.finishedOrientation, 1) << gridName;
    // A whole decode holds the picture as RGBA and its coded 4:2:0 planes: 5.5 bytes a pixel.
    EXPECT_LT(grid.preparedHeldBytes, uint64_t(150) * 130 * 11 / 2) << gridName;
    EXPECT_EQ(single.finishedOrientation, 1);
    ASSERT_EQ(grid.Width(), single.Width()) << gridName;
    ASSERT_EQ(grid.Height(), single.Height()) << gridName;
    double total = 0;
    int largest = 0;
    for (uint32_t y = 0; y < single.Height(); ++y) {
      for (uint32_t x = 0; x < single.Width(); ++x) {
        const std::array<int, 4> p = grid.At(x, y), q = single.At(x, y);
        for (int c = 0; c < 3; ++c) {
          const int difference = std::abs(p[c] - q[c]);
          total += difference;
          largest = std::max(largest, difference);
        }
      }
    }
    EXPECT_LT(total / (3.0 * single.Width() * single.Height()), 2.0) << gridName;
    EXPECT_LT(largest, 40) << gridName;
  }
}

TEST(ColorConversionTest, DecodersDescribeTheColorsOfTheirFiles) {
  const Bytes icc = Sample("quad.icc");
  ASSERT_FALSE(icc.empty());
  for (const char* name : {"heic-icc.heic", "avif-icc.avif", "webp-icc.webp", "quad-icc.png"}) {
    CheckingCanvas canvas;
    canvas.rowsDecoder = DecoderFor(name) == DecodePng;
    DecodeOk(name, &canvas);
    EXPECT_EQ(canvas.describeCalls, 1) << name;
    EXPECT_EQ(canvas.describedIcc, icc) << name;
    EXPECT_TRUE(canvas.described.stored == StoredColor::Rgb) << name;
  }
  CheckingCanvas nclx;
  DecodeOk("avif-nclx.avif", &nclx);
  EXPECT_TRUE(nclx.describedIcc.empty());
  EXPECT_TRUE(nclx.described.hasCodePoints);
  EXPECT_EQ(nclx.described.colorPrimaries, 9);
  EXPECT_EQ(nclx.described.transferCharacteristics, 16);
  EXPECT_EQ(nclx.described.matrixCoefficients, 9);
  EXPECT_FALSE(nclx.described.fullRange);
  CheckingCanvas plain;
  DecodeOk("webp-lossy.webp", &plain);
  EXPECT_TRUE(plain.describedIcc.empty());
  EXPECT_FALSE(plain.described.hasCodePoints);
}

// Every decoder's pixels reach sRGB: the sample profile swaps red and green, so a file whose
// profile was lost or ignored keeps its red where sRGB has green. A Display P3 file tagged by
// code points alone comes out more saturated than its numbers.
TEST(ColorConversionTest, TaggedPicturesComeOutInSrgb) {
  const std::array<int, 3> swapped[4] = {{40, 220, 40}, {60, 40, 200}, {210, 50, 60}, {50, 230, 220}};
  for (const char* name : {"heic-icc.heic", "avif-icc.avif", "webp-icc.webp", "quad-icc.png"}) {
    CheckingCanvas canvas;
    canvas.rowsDecoder = DecoderFor(name) == DecodePng;
    canvas.convert = true;
    DecodeOk(name, &canvas);
    ExpectQuadrants(canvas, swapped, canvas.rowsDecoder ? 2 : 7, name);
  }
  // P3 (220, 40, 40) is sRGB (240, -8, 25): its linear light through the two sets of primaries.
  CheckingCanvas p3;
  p3.convert = true;
  DecodeOk("avif-p3.avif", &p3);
  const std::array<double, 4> red = p3.Mean(8, 8, 40, 24);
  EXPECT_NEAR(red[2], 240, 6);
  EXPECT_NEAR(red[1], 0, 6);
  EXPECT_NEAR(red[0], 25, 6);
  // PQ (HDR) is not mapped: the numbers stay as they are.
  CheckingCanvas pq;
  pq.convert = true;
  DecodeOk("avif-nclx.avif", &pq);
  EXPECT_EQ(pq.conversion, nullptr);
}

ColorDescription ProfileOf(const Bytes& icc, StoredColor stored = StoredColor::Rgb) {
  ColorDescription color;
  color.icc = icc.data();
  color.iccSize = icc.size();
  color.stored = stored;
  return color;
}

ColorDescription CodePoints(uint16_t primaries, uint16_t transfer) {
  ColorDescription color;
  color.hasCodePoints = true;
  color.colorPrimaries = primaries;
  color.transferCharacteristics = transfer;
  return color;
}

TEST(ColorConversionTest, OnlyColorsThatDifferFromSrgbAreConverted) {
  const Bytes adobe = Sample("adobe-rgb.icc"), srgb = Sample("srgb.icc"), swapped = Sample("quad.icc");
  ASSERT_FALSE(adobe.empty() || srgb.empty() || swapped.empty());
  // Nothing to do: nothing described, sRGB by profile or by code points (unspecified primaries
  // and sRGB-like curves included), a transfer not mapped, a profile that cannot be read or does
  // not fit the pixels.
  EXPECT_EQ(CColorConversion::For(ColorDescription()), nullptr);
  EXPECT_EQ(CColorConversion::For(ProfileOf(srgb)), nullptr);
  EXPECT_EQ(CColorConversion::For(CodePoints(1, 13)), nullptr);
  EXPECT_EQ(CColorConversion::For(CodePoints(2, 2)), nullptr);
  EXPECT_EQ(CColorConversion::For(CodePoints(1, 1)), nullptr);
  EXPECT_EQ(CColorConversion::For(CodePoints(9, 16)), nullptr);
  EXPECT_EQ(CColorConversion::For(CodePoints(12, 18)), nullptr);
  EXPECT_EQ(CColorConversion::For(ProfileOf(Bytes(adobe.begin(), adobe.begin() + 100))), nullptr);
  Bytes noise(600);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 37 + 11);
  EXPECT_EQ(CColorConversion::For(ProfileOf(noise)), nullptr);
  EXPECT_EQ(CColorConversion::For(ProfileOf(adobe, StoredColor::Grey)), nullptr);
  EXPECT_EQ(CColorConversion::For(ProfileOf(adobe, StoredColor::Cmyk)), nullptr);
  EXPECT_NE(CColorConversion::For(CodePoints(12, 13)), nullptr);
  EXPECT_NE(CColorConversion::For(CodePoints(9, 1)), nullptr);

  // sRGB's red is (219, 0, 0) in Adobe RGB; alpha is kept as it is.
  CColorConversionPtr fromAdobe = CColorConversion::For(ProfileOf(adobe));
  ASSERT_NE(fromAdobe, nullptr);
  uint8_t pixels[8] = {0, 0, 219, 77, 128, 128, 128, 255};
  fromAdobe->Apply(pixels, 2);
  EXPECT_NEAR(pixels[2], 255, 2);
  EXPECT_NEAR(pixels[1], 0, 2);
  EXPECT_NEAR(pixels[0], 0, 2);
  EXPECT_EQ(pixels[3], 77);
  for (int c = 4; c < 7; ++c) EXPECT_NEAR(pixels[c], 128, 2) << "grey stays grey";
  // The conversion kept for the next picture is that picture's own.
  EXPECT_EQ(CColorConversion::For(ProfileOf(adobe)), fromAdobe);
  CColorConversionPtr fromSwapped = CColorConversion::For(ProfileOf(swapped));
  ASSERT_NE(fromSwapped, nullptr);
  uint8_t red[4] = {0, 0, 200, 255};
  fromSwapped->Apply(red, 1);
  EXPECT_LT(red[2], 10);
  EXPECT_GT(red[1], 190);

  // Every colour, not only those the conversion was checked on, within a level of Little CMS's
  // own transform (the conversion takes a faster way for profiles of curves and primaries).
  for (const Bytes* profile : {&adobe, &swapped}) {
    cmsHPROFILE input = cmsOpenProfileFromMem(profile->data(), static_cast<cmsUInt32Number>(profile->size()));
    cmsHPROFILE output = cmsCreate_sRGBProfile();
    cmsHTRANSFORM exact = cmsCreateTransform(input, TYPE_BGRA_8, output, TYPE_BGRA_8, INTENT_PERCEPTUAL, 0);
    ASSERT_NE(exact, nullptr);
    std::vector<uint8_t> ours(4 * 20000), theirs;
    uint32_t seed = 12345;
    for (uint8_t& byte : ours) byte = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 23);
    theirs = ours;
    CColorConversion::For(ProfileOf(*profile))->Apply(ours.data(), 20000);
    cmsDoTransform(exact, theirs.data(), theirs.data(), 20000);
    int worst = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
      if (i % 4 != 3) worst = std::max(worst, std::abs(int(ours[i]) - int(theirs[i])));
    }
    EXPECT_LE(worst, 1) << (profile == &adobe ? "Adobe RGB" : "swapped");
    cmsDeleteTransform(exact);
    cmsCloseProfile(output);
    cmsCloseProfile(input);
  }
  // A grey picture of linear light: level 128 is sRGB's 188, and stays grey.
  const Bytes grey = LinearGreyProfile();
  ASSERT_FALSE(grey.empty());
  CColorConversionPtr fromGrey = CColorConversion::For(ProfileOf(grey, StoredColor::Grey));
  ASSERT_NE(fromGrey, nullptr);
  uint8_t levels[12] = {0, 0, 0, 255, 128, 128, 128, 40, 255, 255, 255, 255};
  fromGrey->Apply(levels, 3);
  const uint8_t expected[12] = {0, 0, 0, 255, 188, 188, 188, 40, 255, 255, 255, 255};
  for (int i = 0; i < 12; ++i) EXPECT_NEAR(levels[i], expected[i], 1) << i;
  EXPECT_EQ(CColorConversion::For(ProfileOf(grey, StoredColor::Rgb)), nullptr);

  // CMYK through its profile, stored plainly or inverted: full cyan ink alone prints magenta
  // with these inks, and the pixel comes out opaque.
  const Bytes inks = SwappedInksCmykProfile();
  for (StoredColor stored : {StoredColor::Cmyk, StoredColor::InvertedCmyk}) {
    CColorConversionPtr fromInks = CColorConversion::For(ProfileOf(inks, stored));
    ASSERT_NE(fromInks, nullptr);
    const bool inverted = stored == StoredColor::InvertedCmyk;
    uint8_t cyanInk[4] = {uint8_t(inverted ? 0 : 255), uint8_t(inverted ? 255 : 0), uint8_t(inverted ? 255 : 0),
                          uint8_t(inverted ? 255 : 0)};
    fromInks->Apply(cyanInk, 1);
    EXPECT_NEAR(cyanInk[0], 255, 3) << inverted;
    EXPECT_NEAR(cyanInk[1], 0, 3) << inverted;
    EXPECT_NEAR(cyanInk[2], 255, 3) << inverted;
    EXPECT_EQ(cyanInk[3], 255) << inverted;
  }
  ReleaseThreadColorConversions();
}

TEST(WebpDecodeTest, LossyLosslessAndAlpha) {
  CheckingCanvas source;
  source.rowsDecoder = true;
  ASSERT_EQ(DecodeBytes(DecodePng, Sample("quad.png"), &source), DecodeStatus::Ok);
  {
    CheckingCanvas canvas;
    DecodeOk("webp-lossless.webp", &canvas);
    ASSERT_EQ(canvas.Width(), 96u);
    ASSERT_EQ(canvas.Height(), 64u);
    for (uint32_t y = 0; y < 64; ++y) {
      for (uint32_t x = 0; x < 96; ++x) ASSERT_EQ(canvas.At(x, y), source.At(x, y)) << x << "," << y;
    }
    EXPECT_EQ(canvas.finishedOrientation, 1);
  }
  {
    CheckingCanvas canvas;
    DecodeOk("webp-lossy.webp", &canvas);
    ExpectQuadrants(canvas, kQuad, 6, "webp-lossy.webp");
  }
  {
    CheckingCanvas canvas;
    DecodeOk("webp-alpha.webp", &canvas);
    ExpectAlphaQuadrants(canvas, 0.5, "webp-alpha.webp");  // alpha coded losslessly
    // Kept exactly under alpha 0 too (-exact), and straight where half transparent.
    ExpectQuadrants(canvas, kQuad, 6, "webp-alpha.webp");
  }
}

TEST(WebpDecodeTest, AnimationGivesItsFirstFrame) {
  CheckingCanvas source;
  source.rowsDecoder = true;
  ASSERT_EQ(DecodeBytes(DecodePng, Sample("quad.png"), &source), DecodeStatus::Ok);
  CheckingCanvas canvas;
  DecodeOk("webp-anim.webp", &canvas);
  ASSERT_EQ(canvas.Width(), 96u);
  ASSERT_EQ(canvas.Height(), 64u);
  for (uint32_t y = 0; y < 64; ++y) {
    for (uint32_t x = 0; x < 96; ++x) ASSERT_EQ(canvas.At(x, y), source.At(x, y)) << x << "," << y;
  }
}

TEST(WebpDecodeTest, ExifOrientationIsPassedOn) {
  CheckingCanvas canvas;
  DecodeOk("webp-exif6.webp", &canvas);
  EXPECT_EQ(canvas.preparedOrientation, 6);
  EXPECT_EQ(canvas.finishedOrientation, 6);
  EXPECT_EQ(canvas.Width(), 96u);  // stored as it is: the canvas turns it
}

// The date taken of HEIF and AVIF files is in their Exif item (heif-enc and avifenc carry the
// source PNG's eXIf there), found from the TIFF header the item points to.
TEST(HeifDecodeTest, DateTakenIsReadFromTheExifItem) {
  for (const char* name : {"heic-date.heic", "avif-date.avif"}) {
    SCOPED_TRACE(name);
    const Bytes file = Sample(name);
    std::vector<uint8_t> block;
    ASSERT_TRUE(ReadHeifExifBlock(file.data(), file.size(), &block));
    EXPECT_EQ("2021:02:03 04:05:06", ReadExifDate(block.data(), block.size()).original);
    // The item's offset pointing past the item: no block, rather than bytes from beyond it.
    Bytes damaged = file;
    const Bytes header = {'M', 'M', 0, 42};
    const auto tiff = std::search(damaged.begin(), damaged.end(), header.begin(), header.end());
    ASSERT_NE(tiff, damaged.end());
    // The item's first four bytes: right before the header, or before "Exif\0\0" where it stands.
    const Bytes exif = {'E', 'x', 'i', 'f', 0, 0};
    const bool named = tiff - damaged.begin() >= 10 && std::equal(exif.begin(), exif.end(), tiff - 6);
    ASSERT_GE(tiff - damaged.begin(), named ? 10 : 4);
    std::fill(tiff - (named ? 10 : 4), tiff - (named ? 6 : 0), uint8_t(0x7F));
    EXPECT_FALSE(ReadHeifExifBlock(damaged.data(), damaged.size(), &block));
    EXPECT_TRUE(block.empty());
  }
  for (const char* name : {"heic-8.heic", "avif-8.avif", "quad-date.png"}) {
    SCOPED_TRACE(name);
    const Bytes file = Sample(name);
    std::vector<uint8_t> block = {1};
    EXPECT_FALSE(ReadHeifExifBlock(file.data(), file.size(), &block));
    EXPECT_TRUE(block.empty());
  }
}

// heic-thumb.heic cut short keeps its whole picture and loses its thumbnail: damaged all the same.
const char* const kAllSamples[] = {"heic-8.heic", "heic-10.heic", "heic-alpha.heic", "heic-thumb.heic", "avif-8.avif",
                                   "avif-10-alpha.avif", "avif-transformed.avif", "avif-grid.avif", "avif-grid-crop-turned.avif",
                                   "avif-grid-turn1.avif", "avif-grid-crop-after-turn.avif",
                                   "webp-lossy.webp", "webp-lossless.webp", "webp-alpha.webp",
                                   "webp-anim.webp", "webp-exif6.webp"};

TEST(HeifWebpDamageTest, TruncatedAndCorruptFilesAreUndecodable) {
  for (const char* name : kAllSamples) {
    const Bytes file = Sample(name);
    ASSERT_FALSE(file.empty());
    for (size_t keep : {size_t(0), size_t(12), size_t(40), file.size() / 4, file.size() / 2,
                        file.size() - 10, file.size() - 1}) {
      CheckingCanvas canvas;
      EXPECT_EQ(DecodeBytes(DecoderFor(name), Bytes(file.begin(), file.begin() + keep), &canvas),
                DecodeStatus::Undecodable)
          << name << " cut to " << keep << " bytes";
      EXPECT_EQ(canvas.finishCalls, 0) << name;
    }
    // Noise after the signature: the boxes or chunks that describe the picture are gone.
    Bytes corrupt = file;
    for (size_t i = 16; i < corrupt.size(); ++i) corrupt[i] = static_cast<uint8_t>(i * 131 + 17);
    CheckingCanvas canvas;
    EXPECT_EQ(DecodeBytes(DecoderFor(name), corrupt, &canvas), DecodeStatus::Undecodable) << name;
    EXPECT_EQ(canvas.finishCalls, 0) << name;
  }
}

TEST(HeifWebpDamageTest, ClaimedGiantSizeIsNeverAllocated) {
  // The AVIF's ispe box claims 60000 x 60000 pixels; the WebP's VP8X canvas 16384 x 16384.
  Bytes heif = Sample("avif-8.avif");
  size_t at = 0;
  while (at + 16 <= heif.size() && std::string(heif.begin() + at, heif.begin() + at + 4) != "ispe") ++at;
  ASSERT_LE(at + 16, heif.size());
  for (size_t i = 0; i < 2; ++i) {
    heif[at + 8 + 4 * i] = 0;
    heif[at + 9 + 4 * i] = 0;
    heif[at + 10 + 4 * i] = 0xEA;
    heif[at + 11 + 4 * i] = 0x60;
  }
  CheckingCanvas heifCanvas;
  heifCanvas.refusePrepare = true;
  const DecodeStatus heifStatus = DecodeBytes(DecodeHeif, heif, &heifCanvas);
  EXPECT_TRUE(heifStatus == DecodeStatus::Undecodable || heifStatus == DecodeStatus::OutOfMemory);
  EXPECT_EQ(heifCanvas.beginCalls, 0);

  Bytes webp = Sample("webp-exif6.webp");
  ASSERT_GT(webp.size(), 30u);
  ASSERT_EQ(std::string(webp.begin() + 12, webp.begin() + 16), "VP8X");
  for (size_t i = 24; i < 30; ++i) webp[i] = i % 3 == 0 ? 0xFF : i % 3 == 1 ? 0x3F : 0x00;  // 16383, twice
  CheckingCanvas webpCanvas;
  webpCanvas.refusePrepare = true;
  const DecodeStatus webpStatus = DecodeBytes(DecodeWebp, webp, &webpCanvas);
  EXPECT_TRUE(webpStatus == DecodeStatus::Undecodable || webpStatus == DecodeStatus::OutOfMemory);
  EXPECT_EQ(webpCanvas.beginCalls, 0);
}

// A grid's tiles that claim far more than the grid needs (two 16000 x 16000 tiles for a 128 x 128
// picture) count as what the decode would hold: refused as a picture too large is, before the
// canvas is asked and before any tile is decoded.
TEST(HeifWebpDamageTest, GridTilesClaimingMoreThanTheBudgetAreRefused) {
  Bytes heif = Sample("avif-grid.avif");
  int claims = 0;
  for (size_t at = 0; at + 16 <= heif.size(); ++at) {
    const uint8_t tile64[8] = {0, 0, 0, 64, 0, 0, 0, 64};
    if (std::string(heif.begin() + at, heif.begin() + at + 4) != "ispe" ||
        !std::equal(tile64, tile64 + 8, heif.begin() + at + 8)) {
      continue;
    }
    for (size_t i = 0; i < 2; ++i) {
      heif[at + 10 + 4 * i] = 0x3E;  // 16000
      heif[at + 11 + 4 * i] = 0x80;
    }
    ++claims;
  }
  ASSERT_EQ(claims, 1) << "the tiles' ispe box";
  CheckingCanvas canvas;
  EXPECT_EQ(DecodeBytes(DecodeHeif, heif, &canvas), DecodeStatus::OutOfMemory);
  EXPECT_EQ(canvas.prepareCalls, 0);
  EXPECT_EQ(canvas.beginCalls, 0);
}

TEST(HeifWebpCanvasTest, RefusalIsOutOfMemory) {
  for (const char* name : {"heic-8.heic", "heic-10.heic", "avif-grid.avif", "webp-lossy.webp", "webp-anim.webp"}) {
    const Bytes file = Sample(name);
    CheckingCanvas refusesPrepare;
    refusesPrepare.refusePrepare = true;
    EXPECT_EQ(DecodeBytes(DecoderFor(name), file, &refusesPrepare), DecodeStatus::OutOfMemory) << name;
    EXPECT_EQ(refusesPrepare.beginCalls, 0) << name;

    CheckingCanvas refusesBegin;
    refusesBegin.refuseBegin = true;
    EXPECT_EQ(DecodeBytes(DecoderFor(name), file, &refusesBegin), DecodeStatus::OutOfMemory) << name;
    EXPECT_EQ(refusesBegin.rowsWritten, 0u) << name;

    CheckingCanvas refusesFinish;
    refusesFinish.refuseFinish = true;
    EXPECT_EQ(DecodeBytes(DecoderFor(name), file, &refusesFinish), DecodeStatus::OutOfMemory) << name;
  }
}

TEST(HeifWebpCanvasTest, AbandonedPictureStops) {
  for (const char* name : {"heic-8.heic", "avif-grid.avif", "webp-lossy.webp", "webp-anim.webp"}) {
    const Bytes file = Sample(name);
    CheckingCanvas atStart;
    atStart.abandonAtStart = true;
    EXPECT_EQ(DecodeBytes(DecoderFor(name), file, &atStart), DecodeStatus::Abandoned) << name;
    EXPECT_EQ(atStart.beginCalls, 0) << name;

    CheckingCanvas afterBegin;
    afterBegin.abandonAfterBegin = true;
    EXPECT_EQ(DecodeBytes(DecoderFor(name), file, &afterBegin), DecodeStatus::Abandoned) << name;
    EXPECT_EQ(afterBegin.beginCalls, 1) << name;
    EXPECT_EQ(afterBegin.finishCalls, 0) << name;
  }
}

}  // namespace
