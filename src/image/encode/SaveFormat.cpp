// The table of output formats. A new format is one row here, with its encoders from its codec.
#include "image/encode/SaveFormat.h"

#include "image/codec/JpegCodec.h"
#include "image/codec/PngCodec.h"
#include "image/codec/WebpCodec.h"

namespace {

// PNG is lossless: the quality number has no meaning for it.
bool EncodePngAnyQuality(const PixelRows& rows, int, std::vector<uint8_t>* out) {
  return EncodePngRgba(rows, out);
}

// The first row is the one a type that no row names gets. Rows keep their order (the panel's
// format buttons follow it) and their types (stored in the registry). WebP keeps transparency
// in its lossy form too (an alpha plane beside the picture) and has no indexed form worth a
// palette step; its smaller decode is not measured, so its JPEG sources always keep twice the size.
const OutputFormat kOutputFormats[] = {
    // type            extension  keyword   quality  encode               encodeIndexed     transparency  palette  smaller decode
    {SaveFormat::Png,  L"png",    nullptr,  false,   EncodePngAnyQuality, EncodePngIndexed, true,         true,    -1},
    {SaveFormat::Jpeg, L"jpg",    L"jpeg",  true,    EncodeJpeg,          nullptr,          false,        false,   80},
    {SaveFormat::Webp, L"webp",   L"webp",  true,    EncodeWebp,          nullptr,          true,         false,   -1},
};

}  // namespace

size_t OutputFormatCount() { return sizeof(kOutputFormats) / sizeof(kOutputFormats[0]); }

const OutputFormat& OutputFormatAt(size_t index) { return kOutputFormats[index]; }

const OutputFormat& FindOutputFormat(int32_t type) {
  for (const OutputFormat& row : kOutputFormats) {
    if (row.type == type) return row;
  }
  return kOutputFormats[0];
}

const OutputFormat& FindOutputFormat(const SaveFormat& format) { return FindOutputFormat(format.Type); }

const OutputFormat* FindOutputFormatByKeyword(const std::wstring& keyword) {
  for (const OutputFormat& row : kOutputFormats) {
    if (row.keyword && keyword == row.keyword) return &row;
  }
  return nullptr;
}

const wchar_t* GetExtension(const SaveFormat& format) { return FindOutputFormat(format).extension; }
