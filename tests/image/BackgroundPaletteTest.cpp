// Flattening onto the background colour, and reduction to an indexed picture.
#include <gtest/gtest.h>

#include "image/BackgroundPalette.h"
#include "support/Pictures.h"

TEST(Background, PureRedColorrefIsDrawnOpaqueRed) {
  CDibPtr clear = MakeDib(3, 3, [](int, int) { return 0u; });
  CDibPtr flat;
  ASSERT_EQ(S_OK, ApplyBackgroundColor(clear, 0x0000FF, &flat));
  EXPECT_EQ(0xFFFF0000u, PixelAt(*flat, 1, 1));
  ASSERT_EQ(S_OK, ApplyBackgroundColor(clear, 0xCC000C, &flat));  // blue-ish COLORREF
  EXPECT_EQ(0xFF0C00CCu, PixelAt(*flat, 2, 0));
}

TEST(Background, EveryAlphaAndColorBlendsWithExactRounding) {
  // One pixel per (alpha, colour) pair over a grey background of 77.
  CDibPtr all = MakeDib(256, 256, [](int x, int y) {
    return static_cast<uint32_t>(y) << 24 | x << 16 | (255 - x) << 8 | (x ^ y);
  });
  CDibPtr flat;
  ASSERT_EQ(S_OK, ApplyBackgroundColor(all, 0x4D4D4D, &flat));
  auto blend = [](int c, int a) { return (2 * (c * a + 77 * (255 - a)) + 255) / 510; };
  for (int a = 0; a < 256; ++a) {
    for (int x = 0; x < 256; ++x) {
      uint32_t p = PixelAt(*flat, x, a);
      ASSERT_EQ(0xFFu, p >> 24);
      ASSERT_EQ(static_cast<uint32_t>(blend(x, a)), (p >> 16) & 0xFF) << a << " " << x;
      ASSERT_EQ(static_cast<uint32_t>(blend(255 - x, a)), (p >> 8) & 0xFF);
      ASSERT_EQ(static_cast<uint32_t>(blend(x ^ a, a)), p & 0xFF);
    }
  }
  CDibPtr indexed(new CDib);
  ASSERT_TRUE(indexed->Create(2, 2, 8, 0, BI_RGB));
  ASSERT_TRUE(indexed->AllocBits());
  EXPECT_EQ(E_INVALIDARG, ApplyBackgroundColor(indexed, 0, &flat));
  EXPECT_FALSE(flat);
}

TEST(Background, AnOpaquePictureIsNotCopiedButOneClearPixelAnywhereIsDrawn) {
  // Odd widths, so that the last pixel of a row is outside any whole vector of pixels.
  for (int width : {1, 7, 33}) {
    CDibPtr photo = MakeDib(width, 5, [](int x, int y) { return 0xFF000000u | (x * 40 + y * 7); });
    CDibPtr flat;
    ASSERT_EQ(S_OK, ApplyBackgroundColor(photo, 0x4D4D4D, &flat));
    EXPECT_EQ(photo.get(), flat.get()) << width;
    for (int y : {0, 4}) {
      CDibPtr hole = MakeDib(width, 5, [&](int x, int row) {
        return (x == width - 1 && row == y ? 0xFE000000u : 0xFF000000u) | 0x102030u;
      });
      ASSERT_EQ(S_OK, ApplyBackgroundColor(hole, 0xFFFFFF, &flat));
      ASSERT_NE(hole.get(), flat.get()) << width << " " << y;
      EXPECT_EQ(0xFF112131u, PixelAt(*flat, width - 1, y));  // (c * 254 + 255) / 255, rounded
      EXPECT_EQ(0xFF102030u, PixelAt(*flat, 0, y == 0 ? 1 : 0));
    }
  }
}

TEST(Palette, TableIsSortedByUnsignedValueWithAlphaHighest) {
  CDibPtr picture = MakeDib(4, 2, [](int x, int) { return x % 2 ? 0xFF0000FFu : 0u; });
  CDibPtr indexed;
  ASSERT_EQ(S_OK, ReduceToPalette(*picture, &indexed));
  ASSERT_EQ(8, indexed->BitCount());
  const RGBQUAD* t = indexed->ColorTable();
  EXPECT_EQ(0, t[0].rgbBlue + t[0].rgbGreen + t[0].rgbRed + t[0].rgbReserved);  // transparent black
  EXPECT_EQ(255, t[1].rgbBlue);
  EXPECT_EQ(255, t[1].rgbReserved);
  EXPECT_EQ(0u, PixelAt(*indexed, 0, 0));
  EXPECT_EQ(1u, PixelAt(*indexed, 1, 1));
  EXPECT_EQ(2, t[2].rgbRed);  // unused entries keep the grey ramp
  EXPECT_EQ(0, t[2].rgbReserved);
}

TEST(Palette, TwoHundredFiftySixValuesReduceAndOneMoreDoesNot) {
  auto value = [](int i) { return static_cast<uint32_t>(0x80000000u | (i * 2654435761u & 0x00FFFFFF)); };
  CDibPtr exactly = MakeDib(64, 8, [&](int x, int y) { return value((x + 64 * y) % 256); });
  CDibPtr indexed;
  ASSERT_EQ(S_OK, ReduceToPalette(*exactly, &indexed));
  const RGBQUAD* t = indexed->ColorTable();
  uint32_t previous = 0;
  for (int i = 0; i < 256; ++i) {
    uint32_t entry = static_cast<uint32_t>(t[i].rgbReserved) << 24 | t[i].rgbRed << 16 | t[i].rgbGreen << 8 | t[i].rgbBlue;
    if (i > 0) {
      EXPECT_GT(entry, previous);
    }
    previous = entry;
  }
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 64; ++x) {
      const RGBQUAD& e = t[PixelAt(*indexed, x, y)];
      uint32_t back = static_cast<uint32_t>(e.rgbReserved) << 24 | e.rgbRed << 16 | e.rgbGreen << 8 | e.rgbBlue;
      ASSERT_EQ(PixelAt(*exactly, x, y), back);
    }
  }
  CDibPtr tooMany = MakeDib(64, 8, [&](int x, int y) { return x == 63 && y == 7 ? 0xFF123456u : value((x + 64 * y) % 256); });
  EXPECT_EQ(S_FALSE, ReduceToPalette(*tooMany, &indexed));
  EXPECT_FALSE(indexed);
  EXPECT_EQ(S_FALSE, ReduceToPalette(*MakePhotoLike(300, 200), &indexed));
}

TEST(Palette, OneColorUsesOneEntryAndEightBitSourcesAreLeftAlone) {
  CDibPtr flat = MakeDib(5, 5, [](int, int) { return 0xFF336699u; });
  CDibPtr indexed;
  ASSERT_EQ(S_OK, ReduceToPalette(*flat, &indexed));
  EXPECT_EQ(0x99, indexed->ColorTable()[0].rgbBlue);
  EXPECT_EQ(1, indexed->ColorTable()[1].rgbBlue);
  EXPECT_EQ(0u, PixelAt(*indexed, 4, 4));
  EXPECT_EQ(S_FALSE, ReduceToPalette(*indexed, &flat));
}
