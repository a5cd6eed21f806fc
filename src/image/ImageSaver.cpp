// CImageSaver: PNG through libpng and JPEG through libjpeg-turbo, written all-or-nothing.
#include "image/ImageSaver.h"

#include <cstring>
#include <new>
#include <vector>

#include "base/ErrorCodes.h"
#include "image/FileIo.h"
#include "image/JpegCodec.h"
#include "image/PngCodec.h"

const wchar_t* GetExtension(const SaveFormat& format) {
  return format.Type == SaveFormat::Jpeg ? L"jpg" : L"png";
}

HRESULT CImageSaver::SetMimeType(const wchar_t* mime) {
  bool png = std::wcscmp(mime, L"image/png") == 0;
  SupportsTransparency = TryPalette = png;
  if (png) {
    m_encoder = Encoder::Png;
  } else if (std::wcscmp(mime, L"image/jpeg") == 0) {
    m_encoder = Encoder::Jpeg;
  } else {
    m_encoder = Encoder::None;
    return E_FAIL;
  }
  return S_OK;
}

HRESULT CImageSaver::Save(const CDib& image, const std::wstring& path) const {
  if (!image.IsValid() || image.Width() <= 0 || image.Height() <= 0) return E_FAIL;
  std::vector<uint8_t> encoded;
  bool ok = false;
  try {
    PixelRows rows = image.Rows();
    if (image.BitCount() == 32) {
      ok = m_encoder == Encoder::Png    ? EncodePngRgba(rows, &encoded)
           : m_encoder == Encoder::Jpeg ? EncodeJpeg(rows, m_quality, &encoded)
                                        : false;
    } else if (image.BitCount() == 8 && m_encoder == Encoder::Png) {
      // The pipeline hands 8-bit pictures only to PNG (a JPEG output is never reduced).
      uint8_t palette[256][4] = {};
      const RGBQUAD* table = image.ColorTable();
      UINT count = table ? CalcColorCount(*image.GetHeader()) : 0;
      if (count > 256) count = 256;
      if (count) std::memcpy(palette, table, 4 * count);
      ok = EncodePngIndexed(rows, palette, &encoded);
    }
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
  if (!ok) return E_FAIL;
  return WriteNewFile(path, encoded.data(), encoded.size());
}

CImageSaverPtr CreatePngSaver() {
  CImageSaverPtr saver(new (std::nothrow) CImageSaver);
  if (!saver || FAILED(saver->SetMimeType(L"image/png"))) return CImageSaverPtr();
  return saver;
}

CImageSaverPtr CreateJpegSaver(int quality) {
  CImageSaverPtr saver(new (std::nothrow) CImageSaver);
  if (!saver || FAILED(saver->SetMimeType(L"image/jpeg"))) return CImageSaverPtr();
  saver->SetQuality(quality);
  return saver;
}

CImageSaverPtr CreateSaver(const SaveFormat& format) {
  return format.Type == SaveFormat::Jpeg ? CreateJpegSaver(format.JpegQuality) : CreatePngSaver();
}
