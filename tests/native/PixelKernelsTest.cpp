// The pixel kernels and the size rule on plain buffers: exact results, padded and bottom-up rows,
// the colour set under worst-case collisions, and the size rule's extremes against a wider
// arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <memory>
#include <limits>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "base/Orientation.h"
#include "base/SizeRule.h"
#include "image/PixelOps.h"
#include "native/PlainImage.h"

namespace {

// The multiplier of the colour set's hash, and its inverse modulo 2^32 by Newton's iteration.
const uint32_t kHashMultiplier = 2654435761u;

uint32_t InverseMod32(uint32_t a) {
  uint32_t x = a;  // correct to 3 bits for odd a; each step doubles that
  for (int i = 0; i < 5; ++i) x *= 2 - a * x;
  return x;
}

}  // namespace

TEST(PixelOps, CompositeRoundsEveryAlphaToNearestAndTouchesNothingElse) {
  // Colours 0..255 across, every alpha down; the background is a COLORREF (red lowest).
  PlainImage source(256, 256, 4), target(256, 256, 4, true);
  for (uint32_t a = 0; a < 256; ++a) {
    for (uint32_t x = 0; x < 256; ++x) source.SetPixel(x, a, a << 24 | x << 16 | (255 - x) << 8 | (x ^ a));
  }
  const uint32_t background = 0x0030A0F0;  // red F0, green A0, blue 30
  CompositeOverColor(source.Rows(), target.Rows(), background);
  auto blend = [](uint32_t c, uint32_t a, uint32_t bg) {
    return static_cast<uint32_t>(std::lround((c * a + bg * (255.0 - a)) / 255.0));
  };
  for (uint32_t a = 0; a < 256; ++a) {
    for (uint32_t x = 0; x < 256; ++x) {
      uint32_t p = target.Pixel(x, a);
      ASSERT_EQ(0xFFu, p >> 24);
      ASSERT_EQ(blend(x, a, 0xF0), (p >> 16) & 0xFF) << a << " " << x;
      ASSERT_EQ(blend(255 - x, a, 0xA0), (p >> 8) & 0xFF) << a << " " << x;
      ASSERT_EQ(blend(x ^ a, a, 0x30), p & 0xFF) << a << " " << x;
    }
  }
  EXPECT_TRUE(target.GuardsIntact(4));
}

TEST(PixelOps, PaletteOfCollidingValuesIsCompleteSortedAndMapsBack) {
  // 256 values that all hash to one slot (the last): the set probes a cluster that wraps around
  // its end. Should the hash change, they merely stop colliding.
  const uint32_t inverse = InverseMod32(kHashMultiplier);
  ASSERT_EQ(1u, inverse * kHashMultiplier);
  std::vector<uint32_t> values;
  for (uint32_t i = 0; i < 257; ++i) values.push_back(inverse * (0xFF800000u + i));
  std::set<uint32_t> distinct(values.begin(), values.end());
  ASSERT_EQ(257u, distinct.size());

  PlainImage picture(64, 9, 4, true);
  for (uint32_t y = 0; y < 8; ++y) {
    for (uint32_t x = 0; x < 64; ++x) picture.SetPixel(x, y, values[(x + 64 * y) % 256]);
  }
  // A last row of runs and repeats of the values already used.
  for (uint32_t x = 0; x < 64; ++x) picture.SetPixel(x, 8, values[(x / 5) * 7 % 256]);
  uint32_t palette[256];
  ASSERT_EQ(256, CollectPalette(picture.Rows(), palette));
  for (int i = 1; i < 256; ++i) ASSERT_LT(palette[i - 1], palette[i]);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(1u, distinct.count(palette[i]));

  PlainImage indices(64, 9, 1);
  MapToPalette(picture.Rows(), palette, 256, indices.Rows());
  for (uint32_t y = 0; y < 9; ++y) {
    for (uint32_t x = 0; x < 64; ++x) ASSERT_EQ(picture.Pixel(x, y), palette[indices.Row(y)[x]]);
  }
  EXPECT_TRUE(indices.GuardsIntact(1));

  // One more colliding value anywhere is one too many.
  picture.SetPixel(63, 8, values[256]);
  EXPECT_EQ(-1, CollectPalette(picture.Rows(), palette));
}

TEST(PixelOps, ChannelBytesComeFromTheirOwnByteOfEveryPixel) {
  PlainImage source(7, 5, 4, true);
  for (uint32_t y = 0; y < 5; ++y) {
    for (uint32_t x = 0; x < 7; ++x) source.SetPixel(x, y, 0x40302010u + (y * 7 + x) * 0x01010101u);
  }
  for (int channel = 0; channel < 4; ++channel) {
    PlainImage bytes(7, 5, 1);
    ExtractChannelBytes(source.Rows(), channel, bytes.Rows());
    for (uint32_t y = 0; y < 5; ++y) {
      for (uint32_t x = 0; x < 7; ++x) {
        ASSERT_EQ(0x10 * (channel + 1) + y * 7 + x, bytes.Row(y)[x]) << channel;
      }
    }
    EXPECT_TRUE(bytes.GuardsIntact(1));
  }
}

TEST(Orientation, EveryTurnPutsTheStoredFirstRowOnItsRecordedSide) {
  // What the tag records: where the stored first row and first column end up when upright.
  enum Side { Top, Bottom, Left, Right };
  const Side firstRow[9] = {Top, Top, Top, Bottom, Bottom, Left, Right, Right, Left};
  const Side firstColumn[9] = {Left, Left, Right, Right, Left, Top, Top, Bottom, Bottom};
  const uint32_t w = 5, h = 3;
  PlainImage stored(w, h, 4);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) stored.SetPixel(x, y, y << 8 | x);
  }
  for (int o = 1; o <= 8; ++o) {
    bool swap = SwapsSides(o);
    PlainImage upright(swap ? h : w, swap ? w : h, 4, o % 2 == 0);
    OrientPixels(stored.Rows(), o, upright.Rows());
    ASSERT_TRUE(upright.GuardsIntact(4)) << o;
    const uint32_t uw = upright.Width(), uh = upright.Height();
    // Each stored pixel (x, y) lies at distance y from the first row's side and x from the first
    // column's side.
    for (uint32_t y = 0; y < h; ++y) {
      for (uint32_t x = 0; x < w; ++x) {
        uint32_t ux = 0, uy = 0;
        for (auto [side, distance] : {std::make_pair(firstRow[o], y), std::make_pair(firstColumn[o], x)}) {
          switch (side) {
            case Top: uy = distance; break;
            case Bottom: uy = uh - 1 - distance; break;
            case Left: ux = distance; break;
            case Right: ux = uw - 1 - distance; break;
          }
        }
        ASSERT_EQ(y << 8 | x, upright.Pixel(ux, uy)) << "orientation " << o << " at " << x << "," << y;
      }
    }
  }
  EXPECT_FALSE(SwapsSides(0) || SwapsSides(4) || SwapsSides(9));
}

// Turning a picture by one orientation and the result by another gives the pixels of turning
// it once by their composition, for all 64 pairs.
TEST(Orientation, ComposedOrientationsTurnAsBothInTurn) {
  const uint32_t w = 5, h = 3;
  PlainImage stored(w, h, 4);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) stored.SetPixel(x, y, y << 8 | x);
  }
  auto turn = [](const PlainImage& from, int o) {
    const bool swap = SwapsSides(o);
    std::unique_ptr<PlainImage> to(new PlainImage(swap ? from.Height() : from.Width(), swap ? from.Width() : from.Height(), 4));
    OrientPixels(from.Rows(), o, to->Rows());
    return to;
  };
  for (int first = 1; first <= 8; ++first) {
    for (int then = 1; then <= 8; ++then) {
      std::unique_ptr<PlainImage> twice = turn(*turn(stored, first), then);
      std::unique_ptr<PlainImage> once = turn(stored, ComposeOrientations(first, then));
      ASSERT_EQ(twice->Width(), once->Width()) << first << " then " << then;
      for (uint32_t y = 0; y < once->Height(); ++y) {
        for (uint32_t x = 0; x < once->Width(); ++x) {
          ASSERT_EQ(twice->Pixel(x, y), once->Pixel(x, y)) << first << " then " << then;
        }
      }
    }
  }
  EXPECT_EQ(1, ComposeOrientations(6, 8));
  EXPECT_EQ(6, ComposeOrientations(0, 6));
}

TEST(Orientation, OffsetsAndCountsAtTheLimitsOfTheirFieldsStayInside) {
  // A little-endian header whose IFD offset and entry count are whatever the test writes.
  auto block = [](uint32_t ifd, uint16_t count, size_t size) {
    std::vector<uint8_t> b(size, 0);
    const uint8_t head[8] = {'I', 'I', 42, 0, uint8_t(ifd), uint8_t(ifd >> 8), uint8_t(ifd >> 16),
                             uint8_t(ifd >> 24)};
    std::copy(head, head + 8, b.begin());
    if (static_cast<size_t>(ifd) + 2 <= size) {
      b[ifd] = uint8_t(count);
      b[ifd + 1] = uint8_t(count >> 8);
    }
    return b;
  };
  for (uint32_t ifd : {0xFFFFFFFFu, 0xFFFFFFF4u, 0x80000000u, 29u, 30u, 31u}) {
    std::vector<uint8_t> b = block(ifd, 0xFFFF, 32);
    EXPECT_EQ(1, ExifOrientation(b.data(), b.size())) << ifd;
  }
  // One entry whose SHORT value takes bytes 18 and 19: read while both are inside the block.
  std::vector<uint8_t> b = block(8, 1, 8 + 2 + 12);
  const uint8_t entry[12] = {0x12, 0x01, 3, 0, 1, 0, 0, 0, 8, 0, 0, 0};
  std::copy(entry, entry + 12, b.begin() + 10);
  EXPECT_EQ(8, ExifOrientation(b.data(), 20));
  EXPECT_EQ(1, ExifOrientation(b.data(), 19));
  EXPECT_EQ(1, ExifOrientation(nullptr, 100));
  EXPECT_EQ(1, ExifOrientationFromApp1(nullptr, 100));
}

TEST(SizeRule, MulDivAgreesWithWiderArithmeticEverywhere) {
  const int32_t kMin = std::numeric_limits<int32_t>::min(), kMax = std::numeric_limits<int32_t>::max();
  // Long double holds every 64-bit product exactly, and its quotient is never close enough to a
  // half to round the wrong way for any result that fits 32 bits.
  auto expected = [&](int32_t a, int32_t b, int32_t c) -> int32_t {
    if (c == 0) return -1;
    long double q = static_cast<long double>(static_cast<int64_t>(a) * b) / c;
    long double rounded = std::round(q);  // halves away from zero
    return rounded > kMax || rounded < -static_cast<long double>(kMax) ? -1 : static_cast<int32_t>(rounded);
  };
  std::vector<int32_t> edges = {kMin, kMin + 1, -65536, -3, -2, -1, 0, 1, 2, 3, 7, 46341, 65536,
                                kMax - 1, kMax};
  for (int32_t a : edges) {
    for (int32_t b : edges) {
      for (int32_t c : edges) ASSERT_EQ(expected(a, b, c), MulDivRound(a, b, c)) << a << " " << b << " " << c;
    }
  }
  std::mt19937 random(23);
  for (int i = 0; i < 200000; ++i) {
    // Mostly picture-sized numbers, some anywhere in the range.
    auto pick = [&]() -> int32_t {
      uint32_t r = random();
      return i % 4 == 0 ? static_cast<int32_t>(r) : static_cast<int32_t>(r % 20001) - 1000;
    };
    int32_t a = pick(), b = pick(), c = pick();
    ASSERT_EQ(expected(a, b, c), MulDivRound(a, b, c)) << a << " " << b << " " << c;
  }
}

TEST(SizeRule, FitKeepsTheAspectAndTouchesTheBoxForEverySize) {
  // Extreme sides included: a result either keeps the picture's aspect within one unit of
  // rounding, or is the rule's -1 where a product does not fit; nothing undefined on the way.
  const int32_t sides[] = {1, 2, 3, 999, 1000, 1001, 65535, 46341, std::numeric_limits<int32_t>::max()};
  for (int32_t bw : sides) {
    for (int32_t bh : sides) {
      for (int32_t pw : sides) {
        for (int32_t ph : sides) {
          SCOPED_TRACE(testing::Message() << bw << "x" << bh << " box, " << pw << "x" << ph);
          FitSize f = CalcFitSize({bw, bh}, {pw, ph});
          ASSERT_LE(f.width, bw);
          ASSERT_LE(f.height, bh);
          ASSERT_TRUE(f.width == bw || f.height == bh);
          if (f.width < 0 || f.height < 0) continue;
          int64_t skew = static_cast<int64_t>(f.width) * ph - static_cast<int64_t>(f.height) * pw;
          ASSERT_LE(std::llabs(skew), std::max(pw, ph));
        }
      }
    }
  }
  FitSize f = CalcFitSize({1920, 1080}, {4000, 3000});
  EXPECT_EQ(1440, f.width);
  EXPECT_EQ(1080, f.height);
  f = CalcFitSize({800, 600}, {0, 100});  // no width to divide by: the rule's -1 height
  EXPECT_EQ(800, f.width);
  EXPECT_EQ(-1, f.height);
}
