// libpng wrappers. Errors longjmp out of libpng's error callback into small functions that own no
// C++ objects; warnings are dropped, so nothing is ever printed.
#include "image/codec/PngCodec.h"

#include "base/Orientation.h"

#include <csetjmp>
#include <cstring>

#include <png.h>

namespace {

struct MemoryReader {
  const uint8_t* data;
  size_t size;
  size_t offset;
};

void ErrorCallback(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}

void WarningCallback(png_structp, png_const_charp) {}

void ReadCallback(png_structp png, png_bytep out, png_size_t length) {
  MemoryReader* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (length > reader->size - reader->offset) png_error(png, "truncated");
  std::memcpy(out, reader->data + reader->offset, length);
  reader->offset += length;
}

// No exception may cross libpng's C frames: a failed append is caught here and reported through
// png_error, outside the handler, so the writer unwinds its own way and is destroyed.
bool AppendBytes(std::vector<uint8_t>* out, const uint8_t* data, size_t length) noexcept {
  try {
    out->insert(out->end(), data, data + length);
    return true;
  } catch (...) {
    return false;
  }
}

void WriteCallback(png_structp png, png_bytep data, png_size_t length) {
  if (!AppendBytes(static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png)), data, length)) {
    png_error(png, "out of memory");
  }
}

void FlushCallback(png_structp) {}

DecodeStatus DecodePngC(MemoryReader* reader, BgraCanvas* canvas) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorCallback,
                                           WarningCallback);
  if (!png) return DecodeStatus::OutOfMemory;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return DecodeStatus::OutOfMemory;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return DecodeStatus::Undecodable;
  }
  png_set_read_fn(png, reader, ReadCallback);
  png_read_info(png, info);
  png_uint_32 width = png_get_image_width(png, info);
  png_uint_32 height = png_get_image_height(png, info);
  int colorType = png_get_color_type(png, info);
  int bitDepth = png_get_bit_depth(png, info);

  png_set_expand(png);  // palette to RGB, low grey depths to 8 bits, tRNS to alpha
  if (bitDepth == 16) png_set_scale_16(png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(png);
  }
  png_set_bgr(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<png_size_t>(width) * 4) {
    png_destroy_read_struct(&png, &info, nullptr);
    return DecodeStatus::Undecodable;
  }
  {
    ColorDescription color;
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileSize = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &profileSize) && profile) {
      color.icc = profile;
      color.iccSize = profileSize;
    }
    const bool grey = colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA;
    color.stored = grey ? StoredColor::Grey : StoredColor::Rgb;
    canvas->DescribeColor(color);
  }
  if (!canvas->Begin(width, height)) {
    png_destroy_read_struct(&png, &info, nullptr);
    return DecodeStatus::OutOfMemory;
  }
  PixelRows rows = canvas->Rows();
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) {
      if (y % 16 == 0 && canvas->Abandoned()) {
        png_destroy_read_struct(&png, &info, nullptr);
        return DecodeStatus::Abandoned;
      }
      png_read_row(png, rows.Row(y), nullptr);
    }
  }
  // An eXIf chunk may stand before or after the pixel data.
  png_read_end(png, info);
  int orientation = 1;
  png_uint_32 exifSize = 0;
  png_bytep exif = nullptr;
  if (png_get_eXIf_1(png, info, &exifSize, &exif) && exif) orientation = ExifOrientation(exif, exifSize);
  png_destroy_read_struct(&png, &info, nullptr);
  return canvas->Finish(orientation) ? DecodeStatus::Ok : DecodeStatus::OutOfMemory;
}

enum class PngLayout { Rgba, Rgb, Palette };

struct PngPalette {
  png_color colors[256];
  png_byte alpha[256];
  int colorCount;
  int alphaCount;
};

bool EncodePngC(const PixelRows* rows, PngLayout layout, const PngPalette* palette,
                std::vector<uint8_t>* out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorCallback,
                                            WarningCallback);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, WriteCallback, FlushCallback);
  if (layout == PngLayout::Palette) {
    png_set_IHDR(png, info, rows->width, rows->height, 8, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, palette->colors, palette->colorCount);
    if (palette->alphaCount > 0) {
      png_set_tRNS(png, info, palette->alpha, palette->alphaCount, nullptr);
    }
  } else {
    int type = layout == PngLayout::Rgb ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA;
    png_set_IHDR(png, info, rows->width, rows->height, 8, type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
    // On filtered photo rows level 6 spends 40% more time than 5 for 1% smaller files.
    png_set_compression_level(png, 5);
  }
  png_write_info(png, info);
  if (layout != PngLayout::Palette) png_set_bgr(png);
  if (layout == PngLayout::Rgb) png_set_filler(png, 0, PNG_FILLER_AFTER);  // drop the alpha byte
  for (uint32_t y = 0; y < rows->height; ++y) png_write_row(png, rows->Row(y));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool IsPngSignature(const uint8_t* data, size_t size) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  return size >= 8 && std::memcmp(data, kSignature, 8) == 0;
}

DecodeStatus DecodePng(const uint8_t* data, size_t size, BgraCanvas* canvas) {
  if (!IsPngSignature(data, size)) return DecodeStatus::Undecodable;
  MemoryReader reader = {data, size, 0};
  return DecodePngC(&reader, canvas);
}

bool EncodePngRgba(const PixelRows& rows, std::vector<uint8_t>* out) {
  if (rows.width == 0 || rows.height == 0) return false;
  // A picture that is opaque everywhere loses nothing without its alpha channel, and its file is
  // smaller and faster to write.
  bool opaque = true;
  for (uint32_t y = 0; y < rows.height && opaque; ++y) {
    const uint8_t* row = rows.Row(y);
    for (uint32_t x = 0; x < rows.width; ++x) {
      if (row[4 * x + 3] != 0xFF) {
        opaque = false;
        break;
      }
    }
  }
  out->clear();
  return EncodePngC(&rows, opaque ? PngLayout::Rgb : PngLayout::Rgba, nullptr, out);
}

bool EncodePngIndexed(const PixelRows& rows, const uint8_t (*palette)[4], std::vector<uint8_t>* out) {
  if (rows.width == 0 || rows.height == 0) return false;
  int highest = 0;
  for (uint32_t y = 0; y < rows.height; ++y) {
    const uint8_t* row = rows.Row(y);
    for (uint32_t x = 0; x < rows.width; ++x) {
      if (row[x] > highest) highest = row[x];
    }
  }
  PngPalette table;
  table.colorCount = highest + 1;
  table.alphaCount = 0;
  for (int i = 0; i < table.colorCount; ++i) {
    table.colors[i].blue = palette[i][0];
    table.colors[i].green = palette[i][1];
    table.colors[i].red = palette[i][2];
    table.alpha[i] = palette[i][3];
    if (palette[i][3] != 0xFF) table.alphaCount = i + 1;
  }
  out->clear();
  return EncodePngC(&rows, PngLayout::Palette, &table, out);
}
