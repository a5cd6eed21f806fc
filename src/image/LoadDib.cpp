// Signature dispatch between the JPEG and PNG codecs and GDI+.
#include "image/LoadDib.h"

#include <limits>
#include <new>
#include <vector>

#include "image/FileIo.h"
#include "image/GdiplusImage.h"
#include "image/JpegCodec.h"
#include "image/PngCodec.h"

namespace {

const HRESULT kNoMemory = HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY);

// Receives a decoder's rows straight into the pixel storage of a new 32-bit CDib. The decoders
// write every pixel, so the storage is not cleared first.
class CDibCanvas : public BgraCanvas {
public:
  bool Begin(uint32_t width, uint32_t height) override {
    const uint32_t kMaxSide = static_cast<uint32_t>(std::numeric_limits<LONG>::max());
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return false;
    m_dib.reset(new (std::nothrow) CDib);
    return m_dib && m_dib->Create(static_cast<LONG>(width), static_cast<LONG>(height), 32, 0, BI_RGB) &&
           m_dib->AllocBits();
  }
  PixelRows Rows() const override {
    PixelRows rows;
    rows.width = static_cast<uint32_t>(m_dib->Width());
    rows.height = static_cast<uint32_t>(m_dib->Height());
    rows.top = m_dib->TopRow(0);
    rows.stride = -static_cast<ptrdiff_t>(m_dib->Stride());
    return rows;
  }
  CDibPtr Take() { return m_dib; }

private:
  CDibPtr m_dib;
};

HRESULT FromStatus(DecodeStatus status) {
  switch (status) {
    case DecodeStatus::Ok: return S_OK;
    case DecodeStatus::OutOfMemory: return kNoMemory;
    default: return E_NOTIMPL;
  }
}

HRESULT DecodeWithGdiplus(const uint8_t* data, size_t size, CDibPtr* dib) {
  CGdipImagePtr image;
  HRESULT hr = LoadImageFromBytes(data, size, &image);
  if (FAILED(hr)) return hr;
  ImageBounds bounds;
  if (GetImageRect(image.get(), &bounds) != Gdiplus::Ok) return E_FAIL;
  RECT sourceRect = {bounds.x, bounds.y, bounds.x + bounds.width, bounds.y + bounds.height};
  return RenderImageToDib(image.get(), sourceRect, dib, bounds.width, bounds.height,
                          Gdiplus::InterpolationModeHighQualityBicubic);
}

}  // namespace

HRESULT DecodeDib(const uint8_t* data, size_t size, CDibPtr* dib) {
  dib->reset();
  if (IsJpegSignature(data, size) || IsPngSignature(data, size)) {
    CDibCanvas canvas;
    DecodeStatus status = IsJpegSignature(data, size) ? DecodeJpeg(data, size, &canvas)
                                                      : DecodePng(data, size, &canvas);
    if (status == DecodeStatus::Ok) *dib = canvas.Take();
    return FromStatus(status);
  }
  return DecodeWithGdiplus(data, size, dib);
}

HRESULT LoadDib(const std::wstring& path, CDibPtr* dib) {
  dib->reset();
  std::vector<uint8_t> data;
  HRESULT hr = ReadWholeFile(path, &data);
  if (FAILED(hr)) return hr;
  return DecodeDib(data.data(), data.size(), dib);
}
