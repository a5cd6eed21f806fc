// Resampling: uniform pictures stay exact, alpha edges stay clean, fine detail turns to flat grey
// instead of aliasing, edges and centres stay put, any row layout works, and every
// instruction-set variant gives the same bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <random>
#include <vector>

#include "image/resample/Resample.h"
#include "image/resample/ResampleKernels.h"

using resample::Isa;

namespace {

const double kPi = 3.14159265358979323846;

// A top-down picture of 0xAARRGGBB pixels (B, G, R, A in memory).
struct Picture {
  uint32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;

  Picture(uint32_t w, uint32_t h, uint32_t fill = 0) : width(w), height(h), pixels(w * h, fill) {}
  uint32_t& At(uint32_t x, uint32_t y) { return pixels[y * width + x]; }
  uint32_t At(uint32_t x, uint32_t y) const { return pixels[y * width + x]; }
  PixelRows Rows() const {
    PixelRows rows;
    rows.width = width;
    rows.height = height;
    rows.top = reinterpret_cast<uint8_t*>(const_cast<uint32_t*>(pixels.data()));
    rows.stride = 4 * static_cast<ptrdiff_t>(width);
    return rows;
  }
};

template <class F>
Picture Make(uint32_t width, uint32_t height, F argb) {
  Picture p(width, height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) p.At(x, y) = argb(x, y);
  }
  return p;
}

Picture Resampled(const Picture& source, uint32_t width, uint32_t height,
                  Isa isa = resample::BestIsa()) {
  Picture target(width, height, 0xDEADBEEF);
  EXPECT_TRUE(resample::ResampleBgraWith(isa, source.Rows(), target.Rows()));
  return target;
}

int Channel(uint32_t pixel, int c) { return (pixel >> (8 * c)) & 0xFF; }
uint32_t Grey(int v) { return 0xFF000000u | v * 0x010101u; }

std::vector<Isa> AvailableIsas() {
  std::vector<Isa> isas;
  for (Isa isa : {Isa::Scalar, Isa::Sse2, Isa::Avx2}) {
    if (resample::KernelsFor(isa)) isas.push_back(isa);
  }
  return isas;
}

Picture RandomPicture(uint32_t width, uint32_t height, std::mt19937* random) {
  return Make(width, height, [&](uint32_t, uint32_t) {
    uint32_t p = (*random)();
    switch (p % 4) {
      case 0: return p & 0x00FFFFFF;   // clear, with colour to ignore
      case 1: return p | 0xFF000000;   // opaque
      default: return p;
    }
  });
}

}  // namespace

TEST(ResampleUniform, EveryColorAndAlphaComesBackExactly) {
  // A clear colour comes back as all zero.
  const uint32_t colors[] = {0xFF000000, 0xFFFFFFFF, 0xFF3C7A19, 0x80FF8001, 0x01FFFFFF,
                              0x01010203, 0x4D102030, 0xFEFDFCFB, 0x00FF8040};
  // Wide windows (1500 -> 2 spreads each weight over 3000 taps) show any slack in the weight sums.
  const uint32_t sizes[][4] = {{97, 61, 13, 7}, {50, 50, 37, 29}, {5, 3, 23, 17}, {33, 1, 7, 1},
                               {1, 9, 4, 3},    {1, 1, 5, 3},     {1500, 4, 2, 1}};
  for (Isa isa : AvailableIsas()) {
    for (uint32_t color : colors) {
      for (const auto& s : sizes) {
        SCOPED_TRACE(testing::Message() << "isa " << static_cast<int>(isa) << " colour "
                                        << std::hex << color << std::dec << " " << s[0] << "x"
                                        << s[1] << " -> " << s[2] << "x" << s[3]);
        Picture out = Resampled(Picture(s[0], s[1], color), s[2], s[3], isa);
        for (uint32_t p : out.pixels) ASSERT_EQ(color >> 24 ? color : 0, p);
      }
    }
  }
}

TEST(ResampleAlpha, OpaqueNextToClearHasNoFringe) {
  // Opaque blue beside clear red: averaging straight colour would bleed red into the edge.
  Picture source = Make(40, 20, [](uint32_t x, uint32_t) {
    return x < 20 ? 0xFF0000FFu : 0x00FF0000u;
  });
  for (const auto& size : {std::make_pair(13u, 7u), std::make_pair(97u, 31u)}) {
    Picture out = Resampled(source, size.first, size.second);
    int partial = 0;
    for (uint32_t p : out.pixels) {
      int alpha = Channel(p, 3);
      if (alpha == 0) {
        ASSERT_EQ(0u, p) << "clear pixels carry no colour";
        continue;
      }
      if (alpha < 255) ++partial;
      ASSERT_EQ(255, Channel(p, 0));
      ASSERT_EQ(0, Channel(p, 1));
      ASSERT_EQ(0, Channel(p, 2));
    }
    EXPECT_GT(partial, 0) << "the edge itself must be translucent";
    EXPECT_EQ(0u, out.At(out.width - 1, 0));
  }
}

TEST(ResampleAlpha, TranslucentShapeKeepsItsColor) {
  // An orange disc at alpha 96 on clear black: every edge pixel keeps the disc's colour.
  Picture source = Make(64, 64, [](uint32_t x, uint32_t y) {
    double dx = x - 31.5, dy = y - 31.5;
    return dx * dx + dy * dy < 24.0 * 24.0 ? 0x60FF8000u : 0u;
  });
  Picture out = Resampled(source, 9, 9);
  int seen = 0, edge = 0;
  for (uint32_t p : out.pixels) {
    if (p == 0) continue;
    ++seen;
    if (Channel(p, 3) < 80) ++edge;
    EXPECT_NEAR(0xFF, Channel(p, 2), 1);
    EXPECT_NEAR(0x80, Channel(p, 1), 1);
    EXPECT_NEAR(0x00, Channel(p, 0), 1);
  }
  EXPECT_GT(seen, 40);
  EXPECT_GT(edge, 8);
}

TEST(ResampleAliasing, ZonePlateIsFlatWhereRingsAreFinerThanTargetPixels) {
  // Rings centred on the picture: the local frequency along each axis, |x - 600| / 1200 cycles per
  // pixel, stays below the source's own limit of 0.5, so the source itself is free of aliases.
  const uint32_t size = 1200, reduced = 200;
  const double factor = static_cast<double>(size) / reduced;
  Picture source = Make(size, size, [](uint32_t x, uint32_t y) {
    double dx = x + 0.5 - 600.0, dy = y + 0.5 - 600.0;
    double grey = 127.5 + 127.5 * std::cos(kPi * (dx * dx + dy * dy) / 1200.0);
    return Grey(static_cast<int>(std::lround(grey)));
  });
  Picture out = Resampled(source, reduced, reduced);

  // At radius r the ring period is 1200 / r source pixels: finer than a target pixel (6 source
  // pixels) beyond r = 200, and the filter's half-width (12 source pixels) away from that.
  double worst = 0.0, squares = 0.0;
  int flat = 0, coarseMin = 255, coarseMax = 0;
  for (uint32_t y = 0; y < reduced; ++y) {
    for (uint32_t x = 0; x < reduced; ++x) {
      uint32_t p = out.At(x, y);
      ASSERT_EQ(Channel(p, 0), Channel(p, 1));
      ASSERT_EQ(Channel(p, 0), Channel(p, 2));
      double r = std::hypot((x + 0.5) * factor - 600.0, (y + 0.5) * factor - 600.0);
      if (r < 100.0) {
        coarseMin = std::min(coarseMin, Channel(p, 1));
        coarseMax = std::max(coarseMax, Channel(p, 1));
      } else if (r > 212.0) {
        double deviation = std::fabs(Channel(p, 1) - 127.5);
        worst = std::max(worst, deviation);
        squares += deviation * deviation;
        ++flat;
      }
    }
  }
  double rms = std::sqrt(squares / flat);
  std::cout << "zone plate 1200 -> 200, " << flat << " pixels beyond the rings' limit: largest "
            << "deviation from 127.5 is " << worst << ", rms " << rms << "\n";
  RecordProperty("ZonePlateMaxDeviation", testing::PrintToString(worst));
  RecordProperty("ZonePlateRmsDeviation", testing::PrintToString(rms));
  EXPECT_LE(worst, 2.0);
  EXPECT_LE(rms, 0.6);  // 0.5 is the rounding of 127.5 itself
  EXPECT_GT(coarseMax - coarseMin, 200) << "rings coarser than two target pixels must remain";
}

TEST(ResampleAliasing, CheckerboardShrinksToMidGrey) {
  // Halved, and by awkward factors; corners and edges included.
  const uint32_t sizes[][4] = {{64, 48, 32, 24}, {65, 49, 32, 24}, {100, 80, 37, 29}};
  for (const auto& s : sizes) {
    Picture source = Make(s[0], s[1], [](uint32_t x, uint32_t y) {
      return (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u;
    });
    Picture out = Resampled(source, s[2], s[3]);
    for (uint32_t y = 0; y < s[3]; ++y) {
      for (uint32_t x = 0; x < s[2]; ++x) {
        for (int c = 0; c < 3; ++c) {
          ASSERT_NEAR(127.5, Channel(out.At(x, y), c), 2.0) << x << "," << y;
        }
      }
    }
  }
}

TEST(ResampleEdges, BrightBorderStaysBright) {
  // Nothing dark or clear lies outside the picture: an 8-pixel border at 250 around a dark middle
  // keeps its brightness (and full alpha) in the outer target pixels, corners included.
  Picture source = Make(96, 96, [](uint32_t x, uint32_t y) {
    bool border = x < 8 || y < 8 || x >= 88 || y >= 88;
    return Grey(border ? 250 : 20);
  });
  Picture out = Resampled(source, 24, 24);
  for (uint32_t i = 0; i < 24; ++i) {
    for (uint32_t p : {out.At(i, 0), out.At(i, 23), out.At(0, i), out.At(23, i)}) {
      EXPECT_EQ(255, Channel(p, 3));
      EXPECT_GE(Channel(p, 1), 245) << i;
    }
  }
  EXPECT_LE(Channel(out.At(12, 12), 1), 25);
}

TEST(ResampleGeometry, TargetCentresLandOnSourceCentres) {
  // A ramp is reproduced exactly by the cubic: target x must show the source at
  // (x + 0.5) × factor - 0.5, not half a pixel (or half a factor) off. Away from the edges.
  for (uint32_t target : {64u, 100u, 77u}) {
    Picture across = Make(256, 3, [](uint32_t x, uint32_t) { return Grey(static_cast<int>(x)); });
    Picture down = Make(3, 256, [](uint32_t, uint32_t y) { return Grey(static_cast<int>(y)); });
    Picture outAcross = Resampled(across, target, 3);
    Picture outDown = Resampled(down, 3, target);
    double factor = 256.0 / target;
    for (uint32_t i = 0; i < target; ++i) {
      double centre = (i + 0.5) * factor - 0.5;
      if (centre - 2 * factor < 0 || centre + 2 * factor > 255) continue;
      EXPECT_NEAR(centre, Channel(outAcross.At(i, 1), 1), 0.51) << target << " column " << i;
      EXPECT_NEAR(centre, Channel(outDown.At(1, i), 1), 0.51) << target << " row " << i;
    }
  }
}

TEST(ResampleGeometry, MirroredPictureGivesMirroredResult) {
  std::mt19937 random(7);
  Picture half = RandomPicture(51, 38, &random);
  Picture source = Make(101, 75, [&](uint32_t x, uint32_t y) {
    return half.At(x < 51 ? x : 100 - x, y < 38 ? y : 74 - y) | 0xFF000000u;
  });
  const std::pair<uint32_t, uint32_t> sizes[] = {{33, 19}, {40, 31}, {150, 80}};
  for (const auto& size : sizes) {
    Picture out = Resampled(source, size.first, size.second);
    for (uint32_t y = 0; y < out.height; ++y) {
      for (uint32_t x = 0; x < out.width; ++x) {
        uint32_t p = out.At(x, y);
        uint32_t across = out.At(out.width - 1 - x, y), down = out.At(x, out.height - 1 - y);
        for (int c = 0; c < 4; ++c) {
          ASSERT_NEAR(Channel(p, c), Channel(across, c), 1) << x << "," << y;
          ASSERT_NEAR(Channel(p, c), Channel(down, c), 1) << x << "," << y;
        }
      }
    }
  }
}

TEST(ResampleEnlarge, SourcePixelsSurviveAtTheTargetCentresOnThem) {
  // Three times larger, target pixel 3i + 1 is centred on source pixel i; the cubic interpolates,
  // so those pixels come back unchanged (clear ones as zero), and the others lie in between.
  std::mt19937 random(3);
  Picture source = RandomPicture(16, 12, &random);
  Picture out = Resampled(source, 48, 36);
  for (uint32_t y = 0; y < 12; ++y) {
    for (uint32_t x = 0; x < 16; ++x) {
      uint32_t expected = (source.At(x, y) >> 24) == 0 ? 0 : source.At(x, y);
      ASSERT_EQ(expected, out.At(3 * x + 1, 3 * y + 1)) << x << "," << y;
    }
  }
  Picture ramp = Make(8, 1, [](uint32_t x, uint32_t) { return Grey(static_cast<int>(30 * x)); });
  Picture smooth = Resampled(ramp, 29, 1);
  for (uint32_t x = 1; x < 29; ++x) {
    EXPECT_GE(Channel(smooth.At(x, 0), 1), Channel(smooth.At(x - 1, 0), 1)) << x;
  }
}

TEST(ResampleLayout, BottomUpRowsAndSubViewsGiveTheSameResult) {
  std::mt19937 random(11);
  Picture source = RandomPicture(45, 33, &random);
  Picture expected = Resampled(source, 17, 29);

  // The same pixels stored bottom-up, as in a DIB: negative strides on both sides.
  Picture from = Make(45, 33, [&](uint32_t x, uint32_t y) { return source.At(x, 32 - y); });
  Picture to(17, 29);
  PixelRows fromRows{45, 33, reinterpret_cast<uint8_t*>(&from.At(0, 32)), -4 * 45};
  PixelRows toRows{17, 29, reinterpret_cast<uint8_t*>(&to.At(0, 28)), -4 * 17};
  ASSERT_TRUE(ResampleBgra(fromRows, toRows));
  for (uint32_t y = 0; y < 29; ++y) {
    for (uint32_t x = 0; x < 17; ++x) {
      ASSERT_EQ(expected.At(x, y), to.At(x, 28 - y)) << x << "," << y;
    }
  }

  // A window inside a larger canvas: written exactly there, nothing around it touched.
  Picture canvas(30, 40, 0x12345678);
  PixelRows window{17, 29, reinterpret_cast<uint8_t*>(&canvas.At(5, 6)), 4 * 30};
  ASSERT_TRUE(ResampleBgra(source.Rows(), window));
  for (uint32_t y = 0; y < 40; ++y) {
    for (uint32_t x = 0; x < 30; ++x) {
      bool inside = x >= 5 && x < 22 && y >= 6 && y < 35;
      uint32_t want = inside ? expected.At(x - 5, y - 6) : 0x12345678u;
      ASSERT_EQ(want, canvas.At(x, y)) << x << "," << y;
    }
  }
}

TEST(ResampleSizes, OnePixelTargets) {
  // Rows of one colour each, squeezed to one column: each row keeps its colour; likewise columns.
  Picture rows = Make(30, 20, [](uint32_t, uint32_t y) { return 0xFF000000u | y * 0xC07; });
  Picture column = Resampled(rows, 1, 20);
  for (uint32_t y = 0; y < 20; ++y) EXPECT_EQ(rows.At(0, y), column.At(0, y));
  Picture columns = Make(30, 20, [](uint32_t x, uint32_t) { return 0x800000C8u | x << 19; });
  Picture row = Resampled(columns, 30, 1);
  for (uint32_t x = 0; x < 30; ++x) EXPECT_EQ(columns.At(x, 0), row.At(x, 0));

  // Black and white halves to a single pixel: the mean.
  Picture halves = Make(40, 26, [](uint32_t x, uint32_t) { return Grey(x < 20 ? 0 : 255); });
  uint32_t mean = Resampled(halves, 1, 1).At(0, 0);
  EXPECT_NEAR(127.5, Channel(mean, 1), 1.0);
  EXPECT_EQ(255, Channel(mean, 3));

  // From a single pixel, and from a single column, to more.
  EXPECT_EQ(0x80402010u, Resampled(Picture(1, 1, 0x80402010), 3, 2).At(2, 1));
  Picture line = Make(1, 10, [](uint32_t, uint32_t y) { return Grey(static_cast<int>(20 * y)); });
  Picture wide = Resampled(line, 6, 4);
  for (uint32_t y = 0; y < 4; ++y) {
    for (uint32_t x = 1; x < 6; ++x) EXPECT_EQ(wide.At(0, y), wide.At(x, y));
  }
}

TEST(ResampleSizes, WorkingMemoryBeyondAddressSpaceIsRefused) {
  // Two rows enlarged to four billion: the open accumulator rows alone overflow size_t.
  uint32_t pixel = 0xFFFFFFFF;
  PixelRows source{0xFFFFFFF0u, 2, reinterpret_cast<uint8_t*>(&pixel), 0};
  PixelRows target{1, 0xFFFFFFF0u, reinterpret_cast<uint8_t*>(&pixel), 0};
  EXPECT_FALSE(ResampleBgra(source, target));
  EXPECT_EQ(0xFFFFFFFFu, pixel);
}

TEST(ResampleVariants, EveryInstructionSetGivesTheSameBytes) {
  std::vector<Isa> isas = AvailableIsas();
#if defined(__x86_64__)
  ASSERT_GE(isas.size(), 2u) << "SSE2 is part of x86-64";
#endif
  const char* const names[] = {"scalar", "sse2", "avx2"};
  std::cout << "variants compared: " << isas.size() << ", in use: "
            << names[static_cast<int>(resample::BestIsa())] << "\n";
  std::mt19937 random(5);
  for (int trial = 0; trial < 40; ++trial) {
    uint32_t w = 1 + random() % 41, h = 1 + random() % 23;
    uint32_t tw = 1 + random() % 50, th = 1 + random() % 30;
    Picture source = RandomPicture(w, h, &random);
    Picture reference = Resampled(source, tw, th, Isa::Scalar);
    for (Isa isa : isas) {
      ASSERT_EQ(reference.pixels, Resampled(source, tw, th, isa).pixels)
          << "isa " << static_cast<int>(isa) << ", " << w << "x" << h << " -> " << tw << "x" << th;
    }
  }
}

// The bytes of a shrink are part of what the program promises: a batch run again, by any build
// on any processor, writes the same files. Any change to the filter, its rounding or the order of
// its sums shows here. Heights of every remainder by four and reductions of up to 40 times.
TEST(ResampleVariants, ResultsStayTheBytesTheyHaveAlwaysBeen) {
  std::mt19937 random(11);
  uint32_t hash = 2166136261u;
  for (int trial = 0; trial < 60; ++trial) {
    uint32_t w = 1 + random() % 200, h = 1 + random() % 200;
    uint32_t tw = 1 + random() % (trial % 3 == 0 ? 5 : 60), th = 1 + random() % (trial % 2 ? 5 : 60);
    Picture out = Resampled(RandomPicture(w, h, &random), tw, th);
    for (uint32_t pixel : out.pixels) {
      for (int c = 0; c < 4; ++c) hash = (hash ^ Channel(pixel, c)) * 16777619u;
    }
  }
  EXPECT_EQ(4032924514u, hash);
}
