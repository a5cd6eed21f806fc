// The shrink step: the size rule's rounding, when a picture is passed on untouched, and the
// messages for boxes that cannot be used.
#include <gtest/gtest.h>

#include "base/SizeRule.h"
#include "image/resample/Shrink.h"
#include "support/Pictures.h"

namespace {

FitSize Fit(int32_t bw, int32_t bh, int32_t pw, int32_t ph) {
  return CalcFitSize({bw, bh}, {pw, ph});
}

ShrinkSettings Settings(int32_t type, int32_t w, int32_t h) {
  return {type, w, h, w, h};
}

CDibPtr Grey(int w, int h) {
  return MakeDib(w, h, [](int, int) { return 0xFF808080u; });
}

}  // namespace

TEST(SizeRule, MulDivRoundsHalvesAwayFromZero) {
  EXPECT_EQ(100, MulDivRound(100, 1000, 1001));  // 99.9
  EXPECT_EQ(167, MulDivRound(500, 333, 1000));   // 166.5
  EXPECT_EQ(-167, MulDivRound(-500, 333, 1000));
  EXPECT_EQ(-167, MulDivRound(500, 333, -1000));
  EXPECT_EQ(2, MulDivRound(3, 1, 2));
  EXPECT_EQ(1, MulDivRound(1, 1, 3) + 1);        // 0.33 rounds down to 0
  EXPECT_EQ(-1, MulDivRound(5, 5, 0));
  EXPECT_EQ(-1, MulDivRound(2000000000, 2000000000, 1));
}

TEST(SizeRule, PictureFitsTheBoxByWidthOrByHeight) {
  FitSize f = Fit(800, 600, 4000, 3000);
  EXPECT_EQ(800, f.width);
  EXPECT_EQ(600, f.height);
  f = Fit(800, 600, 3000, 4000);  // h1 = 1067 > 600, w2 = 450
  EXPECT_EQ(450, f.width);
  EXPECT_EQ(600, f.height);
  f = Fit(100, 100, 1001, 1000);
  EXPECT_EQ(100, f.width);
  EXPECT_EQ(100, f.height);
  f = Fit(500, 500, 333, 1000);  // w2 = 166.5 rounds up
  EXPECT_EQ(167, f.width);
  EXPECT_EQ(500, f.height);
  f = Fit(1000, 100, 640, 480);
  EXPECT_EQ(133, f.width);
  EXPECT_EQ(100, f.height);
  f = Fit(10, 10, 1000, 1);  // the rule itself rounds the height to 0
  EXPECT_EQ(10, f.width);
  EXPECT_EQ(0, f.height);
}

TEST(ShrinkImage, NothingToDoPassesTheSameImageOn) {
  CDibPtr picture = Grey(64, 48);
  EXPECT_EQ(picture, ShrinkImage(Settings(0, 1, 1), picture).image);
  EXPECT_EQ(picture, ShrinkImage(Settings(1, 64, 48), picture).image);
  EXPECT_EQ(picture, ShrinkImage(Settings(2, 640, 640), picture).image);
  // A box larger in one side and smaller in the other still shrinks.
  ShrinkResult r = ShrinkImage(Settings(1, 100, 24), picture);
  ASSERT_TRUE(r.image);
  EXPECT_NE(picture, r.image);
  EXPECT_EQ(32, r.image->Width());
  EXPECT_EQ(24, r.image->Height());
}

TEST(ShrinkImage, UnusableBoxesAndMethodsAreReported) {
  CDibPtr picture = Grey(64, 48);
  ShrinkResult r = ShrinkImage(Settings(1, 0, 600), picture);
  EXPECT_EQ(ShrinkPlan::BoxNotPositive, r.plan);
  EXPECT_EQ(0, r.code);
  EXPECT_FALSE(r.image);
  EXPECT_EQ(ShrinkPlan::BoxNotPositive, ShrinkImage(Settings(2, 32, -5), picture).plan);
  r = ShrinkImage(Settings(7, 10, 10), picture);
  EXPECT_EQ(ShrinkPlan::UnknownMethod, r.plan);
  EXPECT_FALSE(r.image);
  EXPECT_EQ(ShrinkPlan::UnknownMethod, ShrinkImage(Settings(-1, 10, 10), picture).plan);
}

TEST(ShrinkImage, SideRoundedToZeroBecomesOnePixel) {
  ShrinkResult r = ShrinkImage(Settings(1, 10, 10), Grey(1000, 1));
  ASSERT_EQ(S_OK, r.code);
  ASSERT_TRUE(r.image);
  EXPECT_EQ(10, r.image->Width());
  EXPECT_EQ(1, r.image->Height());
  r = ShrinkImage(Settings(2, 10, 10), Grey(1, 1000));
  ASSERT_TRUE(r.image);
  EXPECT_EQ(1, r.image->Width());
  EXPECT_EQ(10, r.image->Height());
  // A box far wider than needed overflows the width fit; the height fit applies.
  r = ShrinkImage(Settings(1, 2000000000, 5), Grey(10, 100));
  ASSERT_TRUE(r.image);
  EXPECT_EQ(1, r.image->Width());
  EXPECT_EQ(5, r.image->Height());
}

TEST(ShrinkImage, ResizedPictureIsANewThirtyTwoBitImage) {
  CDibPtr picture = MakePhotoLike(400, 300);
  ShrinkResult r = ShrinkImage(Settings(2, 160, 160), picture);
  ASSERT_TRUE(r.image);
  EXPECT_EQ(32, r.image->BitCount());
  EXPECT_EQ(160, r.image->Width());
  EXPECT_EQ(120, r.image->Height());
  EXPECT_EQ(400, picture->Width());  // the source is untouched
}

TEST(ShrinkImage, GreyTableAndChannelExtraction) {
  CDib indexed;
  ASSERT_TRUE(indexed.Create(4, 4, 8, 0, BI_RGB));
  EXPECT_TRUE(IsGrayPalette(*indexed.GetHeader()));
  indexed.ColorTable()[200].rgbRed = 1;
  EXPECT_FALSE(IsGrayPalette(*indexed.GetHeader()));
  CDibPtr color = MakeDib(3, 2, [](int x, int y) { return (0x11000000u * (x + 1)) | (0x00224466u + y); });
  EXPECT_FALSE(IsGrayPalette(*color->GetHeader()));
  for (int channel = 0; channel < 4; ++channel) {
    CDibPtr grey;
    ASSERT_EQ(S_OK, ExtractChannel(*color, channel, &grey));
    EXPECT_EQ(8, grey->BitCount());
    EXPECT_TRUE(IsGrayPalette(*grey->GetHeader()));
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) {
        EXPECT_EQ((PixelAt(*color, x, y) >> (8 * channel)) & 0xFF, PixelAt(*grey, x, y));
      }
    }
  }
  CDibPtr out;
  EXPECT_EQ(E_INVALIDARG, ExtractChannel(indexed, 1, &out));
}
