// Speed of the resampler on 32-bit BGRA pictures with alpha, in source megapixels per second:
// the median of several timed runs after one warm-up run, with the fastest and slowest beside it.
// Built natively by bench/resample-vs-pillow:
//   g++ -std=c++17 -O2 -Isrc bench/resample_bench.cpp src/image/resample/Resample*.cpp
// Options: --runs N, --isa scalar|sse2|avx2 (default: what the processor offers best),
// --dump DIR (also write each source picture as raw RGBA for the peer's timing).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/resample/Resample.h"
#include "image/resample/ResampleKernels.h"

namespace {

struct Case {
  uint32_t sourceWidth, sourceHeight, targetWidth, targetHeight;
};

// Photo-like content with edges and noise, and an alpha that runs from clear to opaque with
// fully clear and fully opaque stretches, so every pixel takes the premultiplied path.
std::vector<uint8_t> MakeSource(uint32_t width, uint32_t height) {
  std::vector<uint8_t> pixels(4 * static_cast<size_t>(width) * height);
  uint32_t noise = 12345;
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* p = &pixels[4 * static_cast<size_t>(y) * width];
    double fy = static_cast<double>(y) / height;
    for (uint32_t x = 0; x < width; ++x, p += 4) {
      double fx = static_cast<double>(x) / width;
      noise = noise * 1664525u + 1013904223u;
      int grain = static_cast<int>(noise >> 28);
      int b = static_cast<int>(128 + 100 * std::sin(9.0 * fx * fy + 1.0)) + grain;
      int g = static_cast<int>(128 + 90 * std::cos(4.0 * fy - 3.0 * fx)) + grain;
      int r = static_cast<int>(128 + 100 * std::sin(6.0 * fx + 2.0 * fy)) + grain;
      if (((x / 37) + (y / 53)) % 7 == 0) r = 255 - r;
      double opacity = std::min(std::max(1.6 * fx - 0.3 + 0.1 * fy, 0.0), 1.0);
      int a = static_cast<int>(std::lround(opacity * 255));
      p[0] = static_cast<uint8_t>(std::min(b, 255));
      p[1] = static_cast<uint8_t>(std::min(g, 255));
      p[2] = static_cast<uint8_t>(std::min(r, 255));
      p[3] = static_cast<uint8_t>(a);
    }
  }
  return pixels;
}

bool DumpRgba(const std::string& path, const std::vector<uint8_t>& bgra) {
  std::vector<uint8_t> rgba(bgra);
  for (size_t i = 0; i < rgba.size(); i += 4) std::swap(rgba[i], rgba[i + 2]);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(rgba.data(), 1, rgba.size(), f) == rgba.size();
  return std::fclose(f) == 0 && ok;
}

const char* IsaName(resample::Isa isa) {
  switch (isa) {
    case resample::Isa::Scalar: return "scalar";
    case resample::Isa::Sse2: return "sse2";
    case resample::Isa::Avx2: return "avx2";
  }
  return "?";
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 7;
  resample::Isa isa = resample::BestIsa();
  std::string dump;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--dump" && i + 1 < argc) {
      dump = argv[++i];
    } else if (arg == "--isa" && i + 1 < argc) {
      std::string name = argv[++i];
      isa = name == "scalar" ? resample::Isa::Scalar
            : name == "sse2" ? resample::Isa::Sse2 : resample::Isa::Avx2;
    } else {
      std::fprintf(stderr, "usage: %s [--runs N] [--isa scalar|sse2|avx2] [--dump DIR]\n", argv[0]);
      return 2;
    }
  }
  if (!resample::KernelsFor(isa)) {
    std::fprintf(stderr, "this processor lacks %s\n", IsaName(isa));
    return 2;
  }

  const Case cases[] = {{4000, 3000, 640, 480}, {6000, 4000, 1280, 960}};
  std::printf("# isa %s, %d runs per case after a warm-up\n", IsaName(isa), runs);
  std::printf("# case source target median_mps min_mps max_mps median_ms\n");
  for (const Case& c : cases) {
    std::vector<uint8_t> source = MakeSource(c.sourceWidth, c.sourceHeight);
    std::vector<uint8_t> target(4 * static_cast<size_t>(c.targetWidth) * c.targetHeight);
    if (!dump.empty()) {
      std::string path = dump + "/" + std::to_string(c.sourceWidth) + "x" +
                         std::to_string(c.sourceHeight) + ".rgba";
      if (!DumpRgba(path, source)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
      }
    }
    PixelRows from;
    from.width = c.sourceWidth;
    from.height = c.sourceHeight;
    from.top = source.data();
    from.stride = 4 * static_cast<ptrdiff_t>(c.sourceWidth);
    PixelRows to;
    to.width = c.targetWidth;
    to.height = c.targetHeight;
    to.top = target.data();
    to.stride = 4 * static_cast<ptrdiff_t>(c.targetWidth);

    std::vector<double> seconds;
    for (int run = 0; run <= runs; ++run) {
      auto begin = std::chrono::steady_clock::now();
      if (!resample::ResampleBgraWith(isa, from, to)) {
        std::fprintf(stderr, "resampling failed\n");
        return 1;
      }
      auto end = std::chrono::steady_clock::now();
      if (run > 0) seconds.push_back(std::chrono::duration<double>(end - begin).count());
    }
    std::sort(seconds.begin(), seconds.end());
    const size_t half = seconds.size() / 2;
    double median = seconds.size() % 2 ? seconds[half] : (seconds[half - 1] + seconds[half]) / 2;
    double megapixels = static_cast<double>(c.sourceWidth) * c.sourceHeight / 1e6;
    std::printf("%.0fMP %ux%u %ux%u %.1f %.1f %.1f %.2f\n", megapixels, c.sourceWidth,
                c.sourceHeight, c.targetWidth, c.targetHeight, megapixels / median,
                megapixels / seconds.back(), megapixels / seconds.front(), median * 1e3);
  }
  return 0;
}
