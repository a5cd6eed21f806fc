// CImageSaver: a row of the format table's encoders, written all-or-nothing.
#include "image/encode/ImageSaver.h"

#include <cstring>
#include <new>
#include <vector>

#include "base/ErrorCodes.h"
#include "image/FileIo.h"

HRESULT CImageSaver::Save(const CDib& image, const std::wstring& path) const {
  std::vector<uint8_t> encoded;
  const HRESULT hr = Encode(image, m_quality, &encoded);
  if (FAILED(hr)) return hr;
  return WriteNewFile(path, encoded.data(), encoded.size());
}

HRESULT CImageSaver::Encode(const CDib& image, int quality, std::vector<uint8_t>* out) const {
  if (!image.IsValid() || image.Width() <= 0 || image.Height() <= 0) return E_FAIL;
  std::vector<uint8_t>& encoded = *out;
  encoded.clear();
  bool ok = false;
  try {
    PixelRows rows = image.Rows();
    if (image.BitCount() == 32) {
      ok = m_format->encode(rows, quality, &encoded);
    } else if (image.BitCount() == 8 && m_format->encodeIndexed) {
      // The pipeline hands 8-bit pictures only to formats that try a palette.
      uint8_t palette[256][4] = {};
      const RGBQUAD* table = image.ColorTable();
      UINT count = table ? CalcColorCount(*image.GetHeader()) : 0;
      if (count > 256) count = 256;
      if (count) std::memcpy(palette, table, 4 * count);
      ok = m_format->encodeIndexed(rows, palette, &encoded);
    }
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
  return ok ? S_OK : E_FAIL;
}

CImageSaverPtr CreateSaver(const SaveFormat& format) {
  return CImageSaverPtr(new (std::nothrow) CImageSaver(FindOutputFormat(format), format.JpegQuality));
}
