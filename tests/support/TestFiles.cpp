// Third-party encoders for test files, and EXIF blocks.
#include "support/TestFiles.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <png.h>

namespace {

void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}
void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}
void PngFlush(png_structp) {}

bool EncodeTestPngC(const TestPng* layout, png_bytep* rows, std::string* out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, PngWrite, PngFlush);
  png_set_IHDR(png, info, layout->width, layout->height, layout->bitDepth, layout->colorType,
               layout->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!layout->paletteRgb.empty()) {
    png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(layout->paletteRgb.data()),
                 static_cast<int>(layout->paletteRgb.size() / 3));
  }
  if (!layout->paletteAlpha.empty()) {
    png_set_tRNS(png, info, layout->paletteAlpha.data(), static_cast<int>(layout->paletteAlpha.size()),
                 nullptr);
  }
  png_write_info(png, info);
  png_write_image(png, rows);
  if (!layout->exif.empty()) {
    png_set_eXIf_1(png, info, static_cast<png_uint_32>(layout->exif.size()),
                   const_cast<png_bytep>(layout->exif.data()));
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

// The compressor's parameters for a test file, once it is created: the colour space before the
// quality, whose tables follow the components the colour space sets.
void SetUpTestCompress(jpeg_compress_struct* cinfo, int width, int height, int colorSpace, int components,
                       int storeAs, int quality, JpegLayout layout) {
  cinfo->image_width = width;
  cinfo->image_height = height;
  cinfo->input_components = components;
  cinfo->in_color_space = static_cast<J_COLOR_SPACE>(colorSpace);
  jpeg_set_defaults(cinfo);
  jpeg_set_colorspace(cinfo, static_cast<J_COLOR_SPACE>(storeAs));
  jpeg_set_quality(cinfo, quality, TRUE);
  if (layout == JpegLayout::Progressive || layout == JpegLayout::ArithmeticProgressive) {
    jpeg_simple_progression(cinfo);
  }
  cinfo->arith_code = layout == JpegLayout::ArithmeticProgressive;
  if (layout == JpegLayout::Restarts) cinfo->restart_in_rows = 1;
}

bool EncodeTestJpegC(int width, int height, int colorSpace, int components, int storeAs,
                     const uint8_t* samples, int quality, const std::vector<uint8_t>* app1,
                     JpegLayout layout, unsigned char** buffer, unsigned long* size) {
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
  SetUpTestCompress(&cinfo, width, height, colorSpace, components, storeAs, quality, layout);
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

bool EncodeLargeJpegC(int width, int height, JpegLayout layout, bool fullChroma,
                      const RowSource* row, uint8_t* samples, unsigned char** buffer,
                      unsigned long* size) {
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
  SetUpTestCompress(&cinfo, width, height, JCS_RGB, 3, JCS_YCbCr, 75, layout);
  if (fullChroma) cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 1;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    (*row)(static_cast<int>(cinfo.next_scanline), samples);  // no C++ object lives in this frame
    JSAMPROW rows[1] = {samples};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

bool EncodeLargePngC(int width, int height, bool alpha, const RowSource* row, uint8_t* samples,
                     std::string* out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, PngWrite, PngFlush);
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, width, height, 8, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    (*row)(y, samples);
    png_write_row(png, samples);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

std::string EncodeTestPng(const TestPng& layout) {
  std::vector<std::vector<uint8_t>> rows = layout.rows;
  std::vector<png_bytep> pointers;
  for (auto& row : rows) pointers.push_back(row.data());
  std::string out;
  if (!EncodeTestPngC(&layout, pointers.data(), &out)) return std::string();
  return out;
}

std::string EncodeTestJpeg(int width, int height, int colorSpace, int components, int storeAs,
                           const std::vector<uint8_t>& samples, int quality,
                           const std::vector<uint8_t>& app1, JpegLayout layout) {
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  std::string out;
  if (EncodeTestJpegC(width, height, colorSpace, components, storeAs, samples.data(), quality,
                      &app1, layout, &buffer, &size)) {
    out.assign(reinterpret_cast<char*>(buffer), size);
  }
  std::free(buffer);
  return out;
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

void AppendLe16(std::vector<uint8_t>* bytes, size_t value) {
  bytes->push_back(static_cast<uint8_t>(value));
  bytes->push_back(static_cast<uint8_t>(value >> 8));
}

void AppendLe32(std::vector<uint8_t>* bytes, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) bytes->push_back(static_cast<uint8_t>(value >> shift));
}

std::vector<uint8_t> EncodeItemIdList(const std::vector<std::string>& payloads) {
  std::vector<uint8_t> list;
  for (const std::string& payload : payloads) {
    AppendLe16(&list, payload.size() + 2);
    list.insert(list.end(), payload.begin(), payload.end());
  }
  AppendLe16(&list, 0);
  return list;
}

std::string EncodeLargeJpeg(int width, int height, JpegLayout layout, bool fullChroma,
                            const RowSource& row) {
  std::vector<uint8_t> samples(static_cast<size_t>(width) * 3);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  std::string out;
  if (EncodeLargeJpegC(width, height, layout, fullChroma, &row, samples.data(), &buffer, &size)) {
    out.assign(reinterpret_cast<char*>(buffer), size);
  }
  std::free(buffer);
  return out;
}

std::string EncodeLargePng(int width, int height, bool alpha, const RowSource& row) {
  std::vector<uint8_t> samples(static_cast<size_t>(width) * (alpha ? 4 : 3));
  std::string out;
  if (!EncodeLargePngC(width, height, alpha, &row, samples.data(), &out)) return std::string();
  return out;
}
