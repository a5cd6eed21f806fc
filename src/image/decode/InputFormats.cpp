// The table of the formats the program reads. A new decoder is one row here, with its extensions.
#include "image/decode/InputFormats.h"

#include "image/codec/HeifCodec.h"
#include "image/codec/JpegCodec.h"
#include "image/codec/PngCodec.h"
#include "image/codec/WebpCodec.h"

namespace {

const InputFormat kInputFormats[] = {
    // The program's own decoders, tried in this order.
    {L"JPEG", IsJpegSignature, DecodeJpeg, true, L"jpg jpeg jpe jfif"},
    // A PNG may tell its orientation after its pixels: it is always kept whole.
    {L"PNG", IsPngSignature, DecodePng, false, L"png"},
    // HEIC, HEIF and AVIF, upright and at full size: a grid made a strip of tiles at a time,
    // anything else decoded whole.
    {L"HEIF", IsHeifSignature, DecodeHeif, true, L"heic heif hif avif"},
    // WebP, the first frame of an animation; decoded at full size.
    {L"WebP", IsWebpSignature, DecodeWebp, false, L"webp"},
    // What GDI+ reads. It reads EMF and WMF too, but a folder listing takes none of them (a
    // dropped one is still read).
    {L"BMP", nullptr, nullptr, false, L"bmp dib"},
    {L"GIF", nullptr, nullptr, false, L"gif"},
    {L"TIFF", nullptr, nullptr, false, L"tif tiff"},
    {L"ICO", nullptr, nullptr, false, L"ico"},
};

}  // namespace

const InputFormat* FindPlainDecoder(const uint8_t* data, size_t size) {
  for (const InputFormat& format : kInputFormats) {
    if (format.matches && format.matches(data, size)) return &format;
  }
  return nullptr;
}

std::vector<std::wstring> PictureExtensions() {
  std::vector<std::wstring> extensions;
  for (const InputFormat& format : kInputFormats) {
    const std::wstring list = format.extensions;
    size_t start = 0;
    while (start < list.size()) {
      size_t end = list.find(L' ', start);
      if (end == std::wstring::npos) end = list.size();
      if (end > start) extensions.push_back(list.substr(start, end - start));
      start = end + 1;
    }
  }
  return extensions;
}
