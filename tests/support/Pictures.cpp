// Test picture generators and third-party encoders for test files.
#include "support/Pictures.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

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
    CBitmapViewPtr view = CreateBitmapView(dib, true);
    return view && GdipSaveImageToFile(view.get(), path.c_str(), &codecs[i].Clsid, nullptr) == Ok;
  }
  return false;
}

namespace {

void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}
void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}
void PngFlush(png_structp) {}

bool EncodeTestPngC(const TestPng* spec, png_bytep* rows, std::string* out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, PngWrite, PngFlush);
  png_set_IHDR(png, info, spec->width, spec->height, spec->bitDepth, spec->colorType,
               spec->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!spec->paletteRgb.empty()) {
    png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(spec->paletteRgb.data()),
                 static_cast<int>(spec->paletteRgb.size() / 3));
  }
  if (!spec->paletteAlpha.empty()) {
    png_set_tRNS(png, info, spec->paletteAlpha.data(), static_cast<int>(spec->paletteAlpha.size()),
                 nullptr);
  }
  png_write_info(png, info);
  png_write_image(png, rows);
  if (!spec->exif.empty()) {
    png_set_eXIf_1(png, info, static_cast<png_uint_32>(spec->exif.size()),
                   const_cast<png_bytep>(spec->exif.data()));
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

struct JpegErrors {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};
void JpegErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1); }

bool EncodeTestJpegC(int width, int height, int colorSpace, int components, int storeAs,
                     const uint8_t* samples, int quality, const std::vector<uint8_t>* app1,
                     unsigned char** buffer, unsigned long* size) {
  jpeg_compress_struct cinfo;
  JpegErrors errors;
  cinfo.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = JpegErrorExit;
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, buffer, size);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = components;
  cinfo.in_color_space = static_cast<J_COLOR_SPACE>(colorSpace);
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, static_cast<J_COLOR_SPACE>(storeAs));
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  if (!app1->empty()) jpeg_write_marker(&cinfo, JPEG_APP0 + 1, app1->data(), static_cast<unsigned>(app1->size()));
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(samples) + static_cast<size_t>(cinfo.next_scanline) * width * components;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

std::string EncodeTestPng(const TestPng& spec) {
  std::vector<std::vector<uint8_t>> rows = spec.rows;
  std::vector<png_bytep> pointers;
  for (auto& row : rows) pointers.push_back(row.data());
  std::string out;
  if (!EncodeTestPngC(&spec, pointers.data(), &out)) return std::string();
  return out;
}

std::string EncodeTestJpeg(int width, int height, int colorSpace, int components, int storeAs,
                           const std::vector<uint8_t>& samples, int quality,
                           const std::vector<uint8_t>& app1) {
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  std::string out;
  if (EncodeTestJpegC(width, height, colorSpace, components, storeAs, samples.data(), quality,
                      &app1, &buffer, &size)) {
    out.assign(reinterpret_cast<char*>(buffer), size);
  }
  std::free(buffer);
  return out;
}

double MeanAbsoluteError(const CDib& a, const CDib& b) {
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      uint32_t p = PixelAt(a, x, y), q = PixelAt(b, x, y);
      for (int shift = 0; shift < 24; shift += 8) {
        sum += std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((q >> shift) & 0xFF));
      }
    }
  }
  return sum / (3.0 * a.Width() * a.Height());
}

std::string EncodeTestGif(int width, int height, const std::vector<uint8_t>& paletteRgb,
                          int transparentIndex, const std::vector<uint8_t>& indices) {
  std::string gif = "GIF89a";
  auto word = [&gif](int v) { gif += static_cast<char>(v & 0xFF); gif += static_cast<char>(v >> 8); };
  word(width);
  word(height);
  gif += static_cast<char>(0x81);  // global table of 4 entries
  gif += '\0';
  gif += '\0';
  gif.append(reinterpret_cast<const char*>(paletteRgb.data()), 12);
  if (transparentIndex >= 0) {
    gif += "\x21\xF9\x04\x01";
    gif += std::string(2, '\0');
    gif += static_cast<char>(transparentIndex);
    gif += '\0';
  }
  gif += ',';
  word(0);
  word(0);
  word(width);
  word(height);
  gif += '\0';
  gif += '\x02';  // minimum code size: codes of 3 bits, clear 4, end 5
  std::string data;
  unsigned bits = 0, count = 0;
  auto put = [&](unsigned code) {
    bits |= code << count;
    count += 3;
    while (count >= 8) {
      data += static_cast<char>(bits & 0xFF);
      bits >>= 8;
      count -= 8;
    }
  };
  for (size_t i = 0; i < indices.size(); ++i) {
    if (i % 2 == 0) put(4);
    put(indices[i]);
  }
  put(5);
  if (count) data += static_cast<char>(bits & 0xFF);
  for (size_t at = 0; at < data.size(); at += 255) {
    std::string block = data.substr(at, 255);
    gif += static_cast<char>(block.size());
    gif += block;
  }
  gif += '\0';
  gif += ';';
  return gif;
}

std::vector<uint8_t> MakeExifBlock(int orientation, bool bigEndian) {
  std::vector<uint8_t> block;
  auto u16 = [&](unsigned v) {
    if (bigEndian) {
      block.push_back(static_cast<uint8_t>(v >> 8));
      block.push_back(static_cast<uint8_t>(v));
    } else {
      block.push_back(static_cast<uint8_t>(v));
      block.push_back(static_cast<uint8_t>(v >> 8));
    }
  };
  auto u32 = [&](unsigned v) {
    if (bigEndian) {
      u16(v >> 16);
      u16(v & 0xFFFF);
    } else {
      u16(v & 0xFFFF);
      u16(v >> 16);
    }
  };
  const char* mark = bigEndian ? "MM" : "II";
  block.push_back(static_cast<uint8_t>(mark[0]));
  block.push_back(static_cast<uint8_t>(mark[1]));
  u16(42);
  u32(8);   // IFD0 right after the header
  u16(2);   // two entries
  u16(0x010F);  // Make, ASCII, 4 bytes inline
  u16(2);
  u32(4);
  block.insert(block.end(), {'K', 'e', 's', 0});
  u16(0x0112);  // Orientation, SHORT, 1 value
  u16(3);
  u32(1);
  u16(static_cast<unsigned>(orientation));
  u16(0);
  u32(0);   // no next IFD
  return block;
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
