// The table of output formats. A new format is one row here, with its encoders from its codec.
#include "image/encode/SaveFormat.h"

#include "image/codec/JpegCodec.h"
#include "image/codec/PngCodec.h"

namespace {

// PNG is lossless: the quality number has no meaning for it.
bool EncodePngAnyQuality(const PixelRows& rows, int, std::vector<uint8_t>* out) {
  return EncodePngRgba(rows, out);
}

// The first row is the one a type that no row names gets.
const OutputFormat kOutputFormats[] = {
    // type            extension  encode               encodeIndexed     transparency  palette  smaller decode
    {SaveFormat::Png,  L"png",    EncodePngAnyQuality, EncodePngIndexed, true,         true,    -1},
    {SaveFormat::Jpeg, L"jpg",    EncodeJpeg,          nullptr,          false,        false,   80},
};

}  // namespace

const OutputFormat& FindOutputFormat(const SaveFormat& format) {
  for (const OutputFormat& row : kOutputFormats) {
    if (row.type == format.Type) return row;
  }
  return kOutputFormats[0];
}

const wchar_t* GetExtension(const SaveFormat& format) { return FindOutputFormat(format).extension; }
