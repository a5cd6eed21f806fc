// Times the shrink pipeline's stages in-process on real files: decode (with reduced-scale JPEG
// decoding), resample, and encode, per file and in total. Run under wine64:
//   wine pipeline_bench.exe BOX (jpg|png) FILE...
// The outputs go into the current folder, named after their sources. With "compare" in place of
// the format, each file is shrunk twice, from a reduced-scale and from a full-scale decode, and the
// two load times and the PSNR between the two results are printed. With "shared" (BOX a list such
// as 240,640,1280), each file is decoded once for all the boxes, as a job of several profiles
// does, and each box's result is compared with a full-scale decode's, beside the result from the
// decode that box alone would get. With "scales" (or "scalesQ" for a quality Q other than 80),
// each file is shrunk from the decode a lossless output gets (one that keeps at least twice the
// box), from the one a JPEG output gets (at least one and a half times the box) and from a
// full-scale decode; the first two are saved as JPEG at quality Q and read back, and each is
// scored against the full-scale shrink. With "heifcost" (BOX unused), each HEIF file's primary
// picture is decoded by libheif on the calling thread, once in its stored YCbCr planes and once
// converted to the RGB the program asks for; the medians of three decodes each give the share of
// the decode that the conversion costs.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "image/BackgroundPalette.h"
#include "image/FileIo.h"
#include "image/GdiplusStartup.h"
#include "image/codec/PngCodec.h"
#include "image/decode/LoadDib.h"
#include "image/encode/ImageSaver.h"
#include "image/resample/Shrink.h"

#include <libheif/heif.h>

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// PSNR in dB between two pictures of the same size, over the colour channels.
double Psnr(const CDib& a, const CDib& b) {
  PixelRows ra = a.Rows(), rb = b.Rows();
  double sum = 0;
  for (uint32_t y = 0; y < ra.height; ++y) {
    const uint8_t* pa = ra.Row(y);
    const uint8_t* pb = rb.Row(y);
    for (uint32_t x = 0; x < ra.width * 4; ++x) {
      if (x % 4 == 3) continue;
      double d = static_cast<double>(pa[x]) - pb[x];
      sum += d * d;
    }
  }
  double mse = sum / (3.0 * ra.width * ra.height);
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Reduced-scale against full-scale decoding: load times and how close the two results are.
int Compare(const ShrinkSettings& fit, int count, wchar_t** files) {
  double reducedTotal = 0, fullTotal = 0, worst = 99;
  for (int i = 0; i < count; ++i) {
    CDibPtr reduced, full;
    FitSize reducedSize, fullSize;
    auto start = std::chrono::steady_clock::now();
    if (FAILED(LoadDibForShrinks(files[i], {fit}, &reduced, &reducedSize))) return 1;
    double r = Seconds(start);
    start = std::chrono::steady_clock::now();
    if (FAILED(LoadDib(files[i], &full))) return 1;
    double f = Seconds(start);
    fullSize = {full->Width(), full->Height()};
    ShrinkResult a = ShrinkImage(fit, reduced, &reducedSize);
    ShrinkResult b = ShrinkImage(fit, full, &fullSize);
    if (!a.image || !b.image || a.image->Width() != b.image->Width() ||
        a.image->Height() != b.image->Height()) {
      return 1;
    }
    double psnr = Psnr(*a.image, *b.image);
    worst = std::min(worst, psnr);
    std::fwprintf(stderr, L"%ls: decoded %dx%d in %.3f s, full %dx%d in %.3f s, PSNR %.1f dB\n",
                  files[i], reduced->Width(), reduced->Height(), r, full->Width(), full->Height(), f,
                  psnr);
    reducedTotal += r;
    fullTotal += f;
  }
  std::fwprintf(stderr, L"total load: reduced %.3f s, full %.3f s (%.2fx); lowest PSNR %.1f dB\n",
                reducedTotal, fullTotal, fullTotal / reducedTotal, worst);
  return 0;
}

// One decode for several boxes: PSNR against the full-scale result, of the job's shrinks (made
// from one decode, streamed where the picture allows) and of the shrink from the decode each box
// alone would get.
int Shared(const std::vector<ShrinkSettings>& fits, int count, wchar_t** files) {
  std::vector<double> worstShared(fits.size(), 99), worstAlone(fits.size(), 99);
  double sharedSeconds = 0;
  for (int i = 0; i < count; ++i) {
    CDibPtr shared, full;
    std::vector<ShrinkResult> shrinks;
    FitSize sharedSize;
    auto start = std::chrono::steady_clock::now();
    if (FAILED(LoadDibOrShrinks(files[i], fits, &shared, &shrinks, &sharedSize))) return 1;
    for (size_t k = 0; shrinks.empty() && k < fits.size(); ++k) {
      shrinks.push_back(ShrinkImage(fits[k], shared, &sharedSize));  // loaded whole
    }
    sharedSeconds += Seconds(start);
    if (FAILED(LoadDib(files[i], &full))) return 1;
    std::fwprintf(stderr, L"%ls: %ls\n", files[i], shared ? L"loaded whole" : L"streamed");
    for (size_t k = 0; k < fits.size(); ++k) {
      CDibPtr alone;
      FitSize aloneSize;
      if (FAILED(LoadDibForShrinks(files[i], {fits[k]}, &alone, &aloneSize))) return 1;
      ShrinkResult fromAlone = ShrinkImage(fits[k], alone, &aloneSize);
      ShrinkResult fromFull = ShrinkImage(fits[k], full);
      if (!shrinks[k].image || !fromAlone.image || !fromFull.image) return 1;
      double s = Psnr(*shrinks[k].image, *fromFull.image), a = Psnr(*fromAlone.image, *fromFull.image);
      worstShared[k] = std::min(worstShared[k], s);
      worstAlone[k] = std::min(worstAlone[k], a);
      std::fwprintf(stderr, L"  box %d: alone decode %dx%d; against full scale: shared %.1f dB, alone %.1f dB\n",
                    fits[k].ShrinkWidth, alone->Width(), alone->Height(), s, a);
    }
  }
  for (size_t k = 0; k < fits.size(); ++k) {
    std::fwprintf(stderr, L"box %d: lowest PSNR against full scale: shared %.1f dB, alone %.1f dB\n",
                  fits[k].ShrinkWidth, worstShared[k], worstAlone[k]);
  }
  std::fwprintf(stderr, L"shared loads and shrinks: %.3f s\n", sharedSeconds);
  return 0;
}

// `dib` saved as a JPEG of `quality` and read back.
CDibPtr JpegRoundTrip(const CDibPtr& dib, int quality, const std::wstring& path) {
  SaveFormat format;
  format.Type = SaveFormat::Jpeg;
  format.JpegQuality = quality;
  CDibPtr flat = dib, back;
  ApplyBackgroundColor(dib, 0xFFFFFF, &flat);
  DeleteFileW(path.c_str());
  if (FAILED(CreateSaver(format)->Save(*flat, path)) || FAILED(LoadDib(path, &back))) return CDibPtr();
  DeleteFileW(path.c_str());
  return back;
}

// The decode a lossless output gets against the smaller one a JPEG output gets, both saved as JPEG.
int Scales(const ShrinkSettings& fit, int quality, int count, wchar_t** files) {
  ShrinkSettings lossy = fit;
  lossy.LossyOutput = true;
  double twiceTotal = 0, lossyTotal = 0, worstLoss = 0, lossTotal = 0, twiceSeconds = 0, lossySeconds = 0;
  for (int i = 0; i < count; ++i) {
    CDibPtr full, twice, smaller;
    FitSize fullSize, twiceSize, smallerSize;
    if (FAILED(LoadDib(files[i], &full))) return 1;
    fullSize = {full->Width(), full->Height()};
    auto start = std::chrono::steady_clock::now();
    if (FAILED(LoadDibForShrinks(files[i], {fit}, &twice, &twiceSize))) return 1;
    twiceSeconds += Seconds(start);
    start = std::chrono::steady_clock::now();
    if (FAILED(LoadDibForShrinks(files[i], {lossy}, &smaller, &smallerSize))) return 1;
    lossySeconds += Seconds(start);
    ShrinkResult reference = ShrinkImage(fit, full, &fullSize);
    ShrinkResult fromTwice = ShrinkImage(fit, twice, &twiceSize);
    ShrinkResult fromSmaller = ShrinkImage(lossy, smaller, &smallerSize);
    if (!reference.image || !fromTwice.image || !fromSmaller.image) return 1;
    CDibPtr twiceJpeg = JpegRoundTrip(fromTwice.image, quality, L"scales-twice.jpg");
    CDibPtr smallerJpeg = JpegRoundTrip(fromSmaller.image, quality, L"scales-lossy.jpg");
    if (!twiceJpeg || !smallerJpeg) return 1;
    const double t = Psnr(*twiceJpeg, *reference.image), o = Psnr(*smallerJpeg, *reference.image);
    std::fwprintf(stderr, L"%ls: decoded %dx%d / %dx%d; JPEG q%d against full scale: %.2f / %.2f dB "
                          L"(shrinks alone %.2f / %.2f dB)\n",
                  files[i], twice->Width(), twice->Height(), smaller->Width(), smaller->Height(), quality, t, o,
                  Psnr(*fromTwice.image, *reference.image), Psnr(*fromSmaller.image, *reference.image));
    twiceTotal += t;
    lossyTotal += o;
    lossTotal += t - o;
    worstLoss = std::max(worstLoss, t - o);
  }
  std::fwprintf(stderr, L"box %d, q%d, %d files: mean PSNR of the JPEG outputs %.2f dB (lossless rule) / %.2f dB "
                        L"(JPEG rule), mean loss %.3f dB, largest %.3f dB; loads %.3f s / %.3f s\n",
                fit.ShrinkWidth, quality, count, twiceTotal / count, lossyTotal / count, lossTotal / count,
                worstLoss, twiceSeconds, lossySeconds);
  return 0;
}


// Seconds for one decode of `file`'s primary picture into `colorspace` and `chroma`, or a
// negative number when it fails. libheif decodes grids on its own threads by default: one thread
// here, so the time is the work.
double TimeHeifDecode(const char* file, heif_colorspace colorspace, heif_chroma chroma) {
  heif_context* context = heif_context_alloc();
  heif_context_set_max_decoding_threads(context, 0);
  heif_image_handle* handle = nullptr;
  heif_image* image = nullptr;
  double seconds = -1;
  if (heif_context_read_from_file(context, file, nullptr).code == heif_error_Ok &&
      heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
    auto start = std::chrono::steady_clock::now();
    if (heif_decode_image(handle, &image, colorspace, chroma, nullptr).code == heif_error_Ok) seconds = Seconds(start);
  }
  heif_image_release(image);
  heif_image_handle_release(handle);
  heif_context_free(context);
  return seconds;
}

double MedianOfThree(double a, double b, double c) { return std::max(std::min(a, b), std::min(std::max(a, b), c)); }

int HeifCost(int count, wchar_t** files) {
  double stored = 0, converted = 0;
  for (int i = 0; i < count; ++i) {
    char path[MAX_PATH * 3];
    if (!WideCharToMultiByte(CP_UTF8, 0, files[i], -1, path, sizeof path, nullptr, nullptr)) return 1;
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    bool high = false;
    if (heif_context_read_from_file(context, path, nullptr).code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
      high = heif_image_handle_get_luma_bits_per_pixel(handle) > 8;
    }
    heif_image_handle_release(handle);
    heif_context_free(context);
    // What the program asks for: RGBA for 8 bits, planes of RGB for more.
    const heif_chroma rgb = high ? heif_chroma_444 : heif_chroma_interleaved_RGBA;
    double y[3], r[3];
    for (int k = 0; k < 3; ++k) {
      y[k] = TimeHeifDecode(path, heif_colorspace_undefined, heif_chroma_undefined);
      r[k] = TimeHeifDecode(path, heif_colorspace_RGB, rgb);
      if (y[k] < 0 || r[k] < 0) return 1;
    }
    const double ym = MedianOfThree(y[0], y[1], y[2]), rm = MedianOfThree(r[0], r[1], r[2]);
    std::fwprintf(stderr, L"%ls: stored planes %.3f s, RGB %.3f s: conversion %.3f s, %.0f %% of the decode\n",
                  files[i], ym, rm, rm - ym, 100 * (rm - ym) / rm);
    stored += ym;
    converted += rm;
  }
  std::fwprintf(stderr, L"%d files: stored planes %.3f s, RGB %.3f s: the conversion is %.0f %% of the decode\n",
                count, stored, converted, 100 * (converted - stored) / converted);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fwprintf(stderr, L"usage: pipeline_bench BOX (jpg|png|compare|scales[Q]|heifcost) FILE...\n"
                          L"       pipeline_bench BOX,BOX,... shared FILE...\n");
    return 2;
  }
  CGdiplusStartup gdiplus;
  int box = _wtoi(argv[1]);
  bool jpeg = std::wstring(argv[2]) == L"jpg";
  ShrinkSettings fit = {2, box, box, 0, 0};
  if (std::wstring(argv[2]) == L"compare") return Compare(fit, argc - 3, argv + 3);
  if (std::wstring(argv[2]) == L"heifcost") return HeifCost(argc - 3, argv + 3);
  if (std::wstring(argv[2]).compare(0, 6, L"scales") == 0) {
    const int quality = argv[2][6] ? _wtoi(argv[2] + 6) : 80;
    return Scales(fit, quality, argc - 3, argv + 3);
  }
  if (std::wstring(argv[2]) == L"shared") {
    std::vector<ShrinkSettings> fits;
    for (const wchar_t* at = argv[1]; *at; ++at) {
      if (at == argv[1] || at[-1] == L',') fits.push_back({2, _wtoi(at), _wtoi(at), 0, 0});
    }
    return Shared(fits, argc - 3, argv + 3);
  }
  SaveFormat format;
  format.Type = jpeg ? 1 : 0;
  double load = 0, shrink = 0, finish = 0, pixels = 0;
  for (int i = 3; i < argc; ++i) {
    const std::wstring path = argv[i];
    const std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    auto start = std::chrono::steady_clock::now();
    CDibPtr dib;
    FitSize size;
    if (FAILED(LoadDibForShrinks(argv[i], {fit}, &dib, &size))) return 1;
    double l = Seconds(start);
    start = std::chrono::steady_clock::now();
    ShrinkResult r = ShrinkImage(fit, dib, &size);
    double s = Seconds(start);
    start = std::chrono::steady_clock::now();
    CImageSaverPtr saver = CreateSaver(format);
    CDibPtr out = r.image;
    if (jpeg) ApplyBackgroundColor(r.image, 0xFFFFFF, &out);
    CDibPtr indexed;
    if (!jpeg && SUCCEEDED(ReduceToPalette(*out, &indexed))) out = indexed;
    // Saves never replace a file: the last run's outputs go first.
    const std::wstring output = name + (jpeg ? L".bench.jpg" : L".bench.png");
    DeleteFileW(output.c_str());
    saver->Save(*out, output);
    double f = Seconds(start);
    if (!jpeg && out->BitCount() == 32) {
      auto t = std::chrono::steady_clock::now();
      std::vector<uint8_t> bytes;
      EncodePngRgba(out->Rows(), &bytes);
      double e = Seconds(t);
      t = std::chrono::steady_clock::now();
      DeleteFileW((name + L".bench2.png").c_str());
      WriteNewFile(name + L".bench2.png", bytes.data(), bytes.size());
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
