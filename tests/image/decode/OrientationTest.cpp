// Photos stored turned come out upright: the EXIF tag is read safely and all eight orientations
// are applied before the size rule; large JPEGs are decoded at a reduced scale without losing
// quality.
#include <gtest/gtest.h>

#include <cmath>

#include <jpeglib.h>
#include <png.h>

#include "base/Orientation.h"
#include "image/decode/LoadDib.h"
#include "image/resample/Shrink.h"
#include "support/ImageCalls.h"
#include "support/Pictures.h"
#include "support/TempDir.h"

namespace {

// Where upright pixel (dx, dy) lies in the stored picture of stored width w and height h.
void StoredPlace(int orientation, int w, int h, int dx, int dy, int* sx, int* sy) {
  switch (orientation) {
    case 2: *sx = w - 1 - dx; *sy = dy; break;
    case 3: *sx = w - 1 - dx; *sy = h - 1 - dy; break;
    case 4: *sx = dx; *sy = h - 1 - dy; break;
    case 5: *sx = dy; *sy = dx; break;
    case 6: *sx = dy; *sy = h - 1 - dx; break;
    case 7: *sx = w - 1 - dy; *sy = h - 1 - dx; break;
    case 8: *sx = w - 1 - dy; *sy = dx; break;
    default: *sx = dx; *sy = dy; break;
  }
}

// The stored form of `upright` for a camera that records `orientation`.
CDibPtr StoreTurned(const CDib& upright, int orientation) {
  int uw = upright.Width(), uh = upright.Height();
  bool swap = orientation >= 5;
  int w = swap ? uh : uw, h = swap ? uw : uh;
  CDibPtr stored = MakeDib(w, h, [](int, int) { return 0u; });
  for (int dy = 0; dy < uh; ++dy) {
    for (int dx = 0; dx < uw; ++dx) {
      int sx, sy;
      StoredPlace(orientation, w, h, dx, dy, &sx, &sy);
      reinterpret_cast<uint32_t*>(stored->TopRow(sy))[sx] = PixelAt(upright, dx, dy);
    }
  }
  return stored;
}

// Four quadrants in four colours: any wrong turn or mirror moves a colour to another corner.
CDibPtr Quadrants(int w, int h) {
  return MakeDib(w, h, [=](int x, int y) {
    static const uint32_t colors[4] = {0xFFE01010u, 0xFF10E010u, 0xFF1010E0u, 0xFFE0E0E0u};
    return colors[(x >= w / 2 ? 1 : 0) + (y >= h / 2 ? 2 : 0)];
  });
}

std::string StoredPng(const CDib& stored, const std::vector<uint8_t>& exif) {
  TestPng png;
  png.width = stored.Width();
  png.height = stored.Height();
  png.colorType = PNG_COLOR_TYPE_RGB;
  std::vector<uint8_t> samples = RgbSamples(stored);
  for (int y = 0; y < png.height; ++y) {
    png.rows.emplace_back(samples.begin() + y * png.width * 3, samples.begin() + (y + 1) * png.width * 3);
  }
  png.exif = exif;
  return EncodeTestPng(png);
}

std::vector<uint8_t> App1(int orientation, bool bigEndian) {
  std::vector<uint8_t> app1 = {'E', 'x', 'i', 'f', 0, 0};
  std::vector<uint8_t> block = MakeExifBlock(orientation, bigEndian);
  app1.insert(app1.end(), block.begin(), block.end());
  return app1;
}

}  // namespace

TEST(Orientation, TagIsReadInEitherByteOrderAndOnlyWithinTheBlock) {
  for (bool big : {false, true}) {
    for (int o = 1; o <= 8; ++o) {
      std::vector<uint8_t> block = MakeExifBlock(o, big);
      EXPECT_EQ(o, ExifOrientation(block.data(), block.size()));
      std::vector<uint8_t> app1 = App1(o, big);
      EXPECT_EQ(o, ExifOrientationFromApp1(app1.data(), app1.size()));
    }
    std::vector<uint8_t> outOfRange = MakeExifBlock(9, big);
    EXPECT_EQ(1, ExifOrientation(outOfRange.data(), outOfRange.size()));
    std::vector<uint8_t> zero = MakeExifBlock(0, big);
    EXPECT_EQ(1, ExifOrientation(zero.data(), zero.size()));
  }
  std::vector<uint8_t> block = MakeExifBlock(6, false);
  // Every truncation ends as "no tag": the value lies at bytes 30-31.
  for (size_t keep = 0; keep < 32; ++keep) EXPECT_EQ(1, ExifOrientation(block.data(), keep)) << keep;
  // An IFD offset or entry count pointing beyond the block.
  std::vector<uint8_t> distantIfd = block;
  distantIfd[4] = 0xF0;
  EXPECT_EQ(1, ExifOrientation(distantIfd.data(), distantIfd.size()));
  std::vector<uint8_t> many = block;
  many[8] = 0xFF;
  many[9] = 0xFF;
  many[22] = 0;  // hide the real tag so the walk runs off the end
  EXPECT_EQ(1, ExifOrientation(many.data(), many.size()));
  std::vector<uint8_t> wrongType = block;
  wrongType[24] = 4;  // LONG instead of SHORT
  EXPECT_EQ(1, ExifOrientation(wrongType.data(), wrongType.size()));
  std::vector<uint8_t> notExif = App1(6, false);
  notExif[0] = 'e';
  EXPECT_EQ(1, ExifOrientationFromApp1(notExif.data(), notExif.size()));
}

TEST(Orientation, AllEightPngOrientationsComeOutIdenticalAndUpright) {
  CTempDir dir;
  CDibPtr upright = MakePhotoLike(23, 14);
  for (int o = 1; o <= 8; ++o) {
    CDibPtr stored = StoreTurned(*upright, o);
    std::wstring path = dir / (L"o" + std::to_wstring(o) + L".png");
    ASSERT_TRUE(WriteBytes(path, StoredPng(*stored, MakeExifBlock(o, o % 2 == 0))));
    CDibPtr loaded;
    ASSERT_EQ(S_OK, LoadDib(path, &loaded));
    ASSERT_EQ(23, loaded->Width()) << o;
    ASSERT_EQ(14, loaded->Height()) << o;
    for (int y = 0; y < 14; ++y) {
      for (int x = 0; x < 23; ++x) ASSERT_EQ(PixelAt(*upright, x, y), PixelAt(*loaded, x, y)) << o;
    }
  }
}

TEST(Orientation, AllEightJpegOrientationsComeOutUpright) {
  CTempDir dir;
  CDibPtr upright = Quadrants(64, 32);
  for (int o = 1; o <= 8; ++o) {
    CDibPtr stored = StoreTurned(*upright, o);
    std::wstring path = dir / (L"o" + std::to_wstring(o) + L".jpg");
    ASSERT_TRUE(WriteBytes(path, EncodeTestJpeg(stored->Width(), stored->Height(), JCS_RGB, 3, JCS_YCbCr,
                                                RgbSamples(*stored), 95, App1(o, o > 4))));
    CDibPtr loaded;
    ASSERT_EQ(S_OK, LoadDib(path, &loaded));
    ASSERT_EQ(64, loaded->Width()) << o;
    ASSERT_EQ(32, loaded->Height()) << o;
    EXPECT_LT(MeanAbsoluteError(*upright, *loaded), 3.0) << o;
  }
}

TEST(Orientation, TurnedPhotoFitsTheBoxAsItIsSeen) {
  CTempDir dir;
  CDibPtr upright = MakePhotoLike(200, 300);  // a portrait
  CDibPtr stored = StoreTurned(*upright, 6);  // stored as a 300 x 200 landscape
  std::wstring path = dir / L"portrait.jpg";
  ASSERT_TRUE(WriteBytes(path, EncodeTestJpeg(300, 200, JCS_RGB, 3, JCS_YCbCr, RgbSamples(*stored), 90, App1(6, false))));
  ShrinkSettings fit = {2, 100, 100, 0, 0};
  CDibPtr loaded;
  FitSize fileSize;
  ASSERT_EQ(S_OK, LoadDibForShrink(path, fit, &loaded, &fileSize));
  EXPECT_EQ(200, fileSize.width);
  EXPECT_EQ(300, fileSize.height);
  ShrinkResult shrunk = ShrinkImage(fit, loaded, &fileSize);
  ASSERT_TRUE(shrunk.image);
  EXPECT_EQ(67, shrunk.image->Width());
  EXPECT_EQ(100, shrunk.image->Height());
}

TEST(ShrinkOnLoad, LargeJpegDecodesReducedWithTheSameSizeAndQuality) {
  CTempDir dir;
  CDibPtr photo = MakePhotoLike(1600, 1200);
  std::wstring path = dir / L"photo.jpg";
  ASSERT_TRUE(WriteBytes(path, EncodeTestJpeg(1600, 1200, JCS_RGB, 3, JCS_YCbCr, RgbSamples(*photo), 90)));
  ShrinkSettings fit = {2, 200, 200, 0, 0};
  CDibPtr reduced;
  FitSize fileSize;
  ASSERT_EQ(S_OK, LoadDibForShrink(path, fit, &reduced, &fileSize));
  EXPECT_EQ(400, reduced->Width());  // 1/4 still leaves twice the 200 x 150 target
  EXPECT_EQ(300, reduced->Height());
  EXPECT_EQ(1600, fileSize.width);
  EXPECT_EQ(1200, fileSize.height);
  ShrinkResult fast = ShrinkImage(fit, reduced, &fileSize);

  CDibPtr whole;
  ASSERT_EQ(S_OK, LoadDib(path, &whole));
  ShrinkResult full = ShrinkImage(fit, whole);
  ASSERT_TRUE(fast.image && full.image);
  EXPECT_EQ(full.image->Width(), fast.image->Width());
  EXPECT_EQ(full.image->Height(), fast.image->Height());
  double psnr = Psnr(*full.image, *fast.image);
  std::cout << "shrink-on-load PSNR against full decode: " << psnr << " dB\n";
  EXPECT_GT(psnr, 40.0);

  // A target more than half the picture decodes at full scale.
  ShrinkSettings mild = {1, 0, 0, 1000, 1000};
  ASSERT_EQ(S_OK, LoadDibForShrink(path, mild, &reduced, &fileSize));
  EXPECT_EQ(1600, reduced->Width());
}

TEST(ShrinkOnLoad, JpegOutputsDecodeSmallerUnlessTheyFeedAnotherShrink) {
  // A 1600 x 1200 JPEG fitted into 240 x 240 (240 x 180): a quarter-scale decode (400 x 300)
  // keeps one and a half times that but not twice. A lossy output gets it; a lossless one, and a
  // lossy one that a quarter-size shrink may be made from, keep the half-scale decode.
  CTempDir dir;
  std::wstring path = dir / L"photo.jpg";
  ASSERT_TRUE(WriteBytes(path, EncodeTestJpeg(1600, 1200, JCS_RGB, 3, JCS_YCbCr, RgbSamples(*MakePhotoLike(1600, 1200)), 90)));
  ShrinkSettings lossless = {2, 240, 240, 0, 0}, lossy = lossless, tiny = {2, 60, 60, 0, 0};
  lossy.LossyOutput = tiny.LossyOutput = true;
  struct Case {
    std::vector<ShrinkSettings> set;
    int32_t decodedWidth;
  };
  const Case cases[] = {{{lossless}, 800}, {{lossy}, 400}, {{lossy, lossless}, 800},
                        {{lossy, tiny}, 800}, {{tiny}, 200}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.decodedWidth);
    CDibPtr loaded;
    FitSize fileSize;
    ASSERT_EQ(S_OK, LoadDibForShrinks(path, c.set, &loaded, &fileSize));
    EXPECT_EQ(c.decodedWidth, loaded->Width());
    EXPECT_EQ(1600, fileSize.width);
  }
}
