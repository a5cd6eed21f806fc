// Test picture generators on CDibs.
#include "support/Pictures.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cmath>
#include <cstdlib>
#include <cwchar>

#include "image/GdiplusImage.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

CDibPtr MakeDib(int width, int height, const std::function<uint32_t(int, int)>& argb) {
  CDibPtr dib(new CDib);
  if (!dib->Create(width, height, 32, 0, BI_RGB) || !dib->AllocBits()) return CDibPtr();
  for (int y = 0; y < height; ++y) {
    uint32_t* row = reinterpret_cast<uint32_t*>(dib->TopRow(y));
    for (int x = 0; x < width; ++x) row[x] = argb(x, y);
  }
  return dib;
}

uint32_t PixelAt(const CDib& dib, int x, int y) {
  const BYTE* row = dib.TopRow(y);
  if (dib.BitCount() == 8) return row[x];
  return reinterpret_cast<const uint32_t*>(row)[x];
}

CDibPtr MakePhotoLike(int width, int height) {
  return MakeDib(width, height, [=](int x, int y) {
    double fx = static_cast<double>(x) / width, fy = static_cast<double>(y) / height;
    double r = 128 + 100 * std::sin(6.0 * fx + 2.0 * fy);
    double g = 128 + 90 * std::cos(4.0 * fy - 3.0 * fx);
    double b = 128 + 60 * std::sin(9.0 * fx * fy);
    if ((x / 17 + y / 23) % 5 == 0) r = 255 - r;  // hard edges
    unsigned noise = (static_cast<unsigned>(x) * 2654435761u ^ static_cast<unsigned>(y) * 40503u) >> 27;
    auto clamp = [](double v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
    return 0xFF000000u | clamp(r + noise) << 16 | clamp(g + noise) << 8 | clamp(b);
  });
}

bool SaveWithGdiplus(const CDib& dib, const std::wstring& path, const wchar_t* mime) {
  UINT count = 0, size = 0;
  if (GdipGetImageEncodersSize(&count, &size) != Ok || size == 0) return false;
  std::vector<BYTE> buffer(size);
  ImageCodecInfo* codecs = reinterpret_cast<ImageCodecInfo*>(buffer.data());
  if (GdipGetImageEncoders(count, size, codecs) != Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (std::wcscmp(codecs[i].MimeType, mime) != 0) continue;
    CBitmapView view = CreateBitmapView(dib, true);
    return view.IsValid() && GdipSaveImageToFile(view.Get(), path.c_str(), &codecs[i].Clsid, nullptr) == Ok;
  }
  return false;
}

namespace {

// The mean of `measure` (of a colour channel's difference) over every colour channel of two
// pictures of the same size.
template <class Measure>
double MeanOverColorDifferences(const CDib& a, const CDib& b, Measure measure) {
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      uint32_t p = PixelAt(a, x, y), q = PixelAt(b, x, y);
      for (int shift = 0; shift < 24; shift += 8) {
        sum += measure(static_cast<double>((p >> shift) & 0xFF) - static_cast<double>((q >> shift) & 0xFF));
      }
    }
  }
  return sum / (3.0 * a.Width() * a.Height());
}

}  // namespace

double MeanAbsoluteError(const CDib& a, const CDib& b) {
  return MeanOverColorDifferences(a, b, [](double d) { return std::fabs(d); });
}

double Psnr(const CDib& a, const CDib& b) {
  double mse = MeanOverColorDifferences(a, b, [](double d) { return d * d; });
  return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

std::vector<uint8_t> RgbSamples(const CDib& dib) {
  std::vector<uint8_t> samples;
  for (int y = 0; y < dib.Height(); ++y) {
    for (int x = 0; x < dib.Width(); ++x) {
      uint32_t p = PixelAt(dib, x, y);
      samples.insert(samples.end(), {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p)});
    }
  }
  return samples;
}
