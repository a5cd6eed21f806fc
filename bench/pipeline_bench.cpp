// Times the shrink pipeline's stages in-process on real files: decode (with reduced-scale JPEG
// decoding), resample, and encode, per file and in total. Run under wine64:
//   wine pipeline_bench.exe BOX (jpg|png) FILE...
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "image/BackgroundPalette.h"
#include "image/FileIo.h"
#include "image/PngCodec.h"
#include "image/ImageSaver.h"
#include "image/LoadDib.h"
#include "image/Shrink.h"
#include "win/GdiplusStartup.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fwprintf(stderr, L"usage: pipeline_bench BOX (jpg|png) FILE...\n");
    return 2;
  }
  CGdiplusStartup gdiplus;
  int box = _wtoi(argv[1]);
  bool jpeg = std::wstring(argv[2]) == L"jpg";
  ShrinkSettings fit = {2, box, box, 0, 0};
  SaveFormat format;
  format.Type = jpeg ? 1 : 0;
  double load = 0, shrink = 0, finish = 0, pixels = 0;
  for (int i = 3; i < argc; ++i) {
    auto start = std::chrono::steady_clock::now();
    CDibPtr dib;
    FitSize size;
    if (FAILED(LoadDibForShrink(argv[i], fit, &dib, &size))) return 1;
    double l = Seconds(start);
    start = std::chrono::steady_clock::now();
    ShrinkResult r = ShrinkImage(fit, dib, &size);
    double s = Seconds(start);
    start = std::chrono::steady_clock::now();
    CImageSaverPtr saver = CreateSaver(format);
    CDibPtr out = r.image;
    if (jpeg) ApplyBackgroundColor(*r.image, 0xFFFFFF, &out);
    CDibPtr indexed;
    if (!jpeg && SUCCEEDED(ReduceToPalette(*out, &indexed))) out = indexed;
    saver->Save(*out, std::wstring(argv[i]) + (jpeg ? L".bench.jpg" : L".bench.png"));
    double f = Seconds(start);
    if (!jpeg && out->BitCount() == 32) {
      auto t = std::chrono::steady_clock::now();
      std::vector<uint8_t> bytes;
      EncodePngRgba(out->Rows(), &bytes);
      double e = Seconds(t);
      t = std::chrono::steady_clock::now();
      WriteFileReplacing(std::wstring(argv[i]) + L".bench2.png", bytes.data(), bytes.size());
      std::fwprintf(stderr, L"  encode %.3f write %.3f (%zu bytes)\n", e, Seconds(t), bytes.size());
    }
    std::fwprintf(stderr, L"%ls: %dx%d decoded %dx%d: load %.3f shrink %.3f save %.3f\n", argv[i], size.width,
                  size.height, dib->Width(), dib->Height(), l, s, f);
    load += l;
    shrink += s;
    finish += f;
    pixels += static_cast<double>(size.width) * size.height;
  }
  std::fwprintf(stderr, L"total: load %.3f shrink %.3f save %.3f = %.3f s, %.1f MP/s\n", load, shrink, finish,
                load + shrink + finish, pixels / 1e6 / (load + shrink + finish));
  return 0;
}
