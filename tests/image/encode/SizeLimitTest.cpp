// The size limit's search: within the limit at the highest quality that fits, few encodes, a
// smaller picture only when no quality fits (or the format has none), and a limit no picture of
// 16 pixels meets refused.
#include <gtest/gtest.h>

#include <cstdlib>

#include "image/encode/ImageSaver.h"
#include "image/encode/SizeLimit.h"
#include "support/Pictures.h"

namespace {

CImageSaverPtr Saver(int type) {
  SaveFormat format;
  format.Type = type;
  return CreateSaver(format);
}

size_t EncodedSize(const CImageSaver& saver, const CDib& picture, int quality) {
  std::vector<uint8_t> bytes;
  EXPECT_EQ(S_OK, saver.Encode(picture, quality, &bytes));
  return bytes.size();
}

// Noise every encoder keeps nearly whole: no format makes it small.
CDibPtr Noise(int width, int height) {
  uint32_t state = 12345;
  return MakeDib(width, height, [&](int, int) {
    state = state * 1103515245u + 12345u;
    return state;
  });
}

}  // namespace

TEST(SizeLimit, LossyFormatsGetTheHighestQualityThatFitsInFewEncodes) {
  CDibPtr photo = MakePhotoLike(640, 480);
  for (int type : {SaveFormat::Jpeg, SaveFormat::Webp}) {
    SCOPED_TRACE(type);
    CImageSaverPtr saver = Saver(type);
    const size_t at80 = EncodedSize(*saver, *photo, 80);
    const size_t at20 = EncodedSize(*saver, *photo, 20);
    ASSERT_LT(at20, at80);
    // A limit the profile's own quality meets: one encode, nothing changed.
    LimitedOutput out;
    ASSERT_EQ(S_OK, EncodeWithinLimit(*saver, photo, 80, at80, &out));
    EXPECT_EQ(80, out.quality);
    EXPECT_EQ(1u, out.encodes);
    EXPECT_EQ(at80, out.bytes.size());
    // Limits between: within each, at a quality whose next one does not fit, full size, in at
    // most 1 + 7 encodes (the profile's quality, then a bisection of 0..79).
    for (size_t limit : {at80 - 1, (at20 + at80) / 2, at20 + 1}) {
      SCOPED_TRACE(limit);
      ASSERT_EQ(S_OK, EncodeWithinLimit(*saver, photo, 80, limit, &out));
      EXPECT_LE(out.bytes.size(), limit);
      EXPECT_LT(out.quality, 80);
      EXPECT_GT(EncodedSize(*saver, *photo, out.quality + 1), limit);
      EXPECT_EQ(640, out.width);
      EXPECT_EQ(480, out.height);
      EXPECT_LE(out.encodes, 8u);
    }
  }
}

TEST(SizeLimit, BelowTheLowestQualityOrWithoutOneThePictureIsMadeSmaller) {
  CDibPtr photo = MakePhotoLike(640, 480);
  for (int type : {SaveFormat::Jpeg, SaveFormat::Webp, SaveFormat::Png}) {
    SCOPED_TRACE(type);
    CImageSaverPtr saver = Saver(type);
    const size_t lowest = EncodedSize(*saver, *photo, 0);
    const size_t limit = lowest / 4;
    LimitedOutput out;
    ASSERT_EQ(S_OK, EncodeWithinLimit(*saver, photo, 80, limit, &out));
    EXPECT_LE(out.bytes.size(), limit);
    EXPECT_LT(out.width, 640);
    EXPECT_GE(out.width, 16);
    // The sides keep their ratio, to the pixel.
    EXPECT_LE(std::abs(out.height * 4 - out.width * 3), 4);
  }
}

TEST(SizeLimit, ALimitThatSixteenPixelsCannotMeetIsRefused) {
  CDibPtr noise = Noise(400, 300);
  for (int type : {SaveFormat::Jpeg, SaveFormat::Webp, SaveFormat::Png}) {
    SCOPED_TRACE(type);
    LimitedOutput out;
    EXPECT_EQ(S_FALSE, EncodeWithinLimit(*Saver(type), noise, 80, 40, &out));
    EXPECT_TRUE(out.bytes.empty());
  }
}
