// GDI+ views and decoding. Every GDI+ object lives within one operation.
#include "image/GdiplusImage.h"

#include <shlwapi.h>

#include <new>

#include "base/ComPtr.h"
#include "base/ErrorCodes.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

// Draws sourceRect of `source` into targetRect of `target` with the given interpolation and
// high-quality pixel offset; true when the draw succeeded.
bool DrawImageRect(GpImage* source, const RECT& sourceRect, GpImage* target,
                   const RECT& targetRect, InterpolationMode interpolation) {
  if (!source || !target) return false;
  CGdipGraphics graphics;
  if (GdipGetImageGraphicsContext(target, graphics.Receive()) != Ok || !graphics.IsValid()) {
    return false;
  }
  GdipSetInterpolationMode(graphics.Get(), interpolation);
  GdipSetPixelOffsetMode(graphics.Get(), PixelOffsetModeHighQuality);
  GpStatus status = GdipDrawImageRectRectI(
      graphics.Get(), source, targetRect.left, targetRect.top, targetRect.right - targetRect.left,
      targetRect.bottom - targetRect.top, sourceRect.left, sourceRect.top,
      sourceRect.right - sourceRect.left, sourceRect.bottom - sourceRect.top, UnitPixel, nullptr,
      nullptr, nullptr);
  return status == Ok;
}

}  // namespace

CBitmapView CreateBitmapView(const CDib& dib, bool direct) {
  if (!dib.IsValid()) return CBitmapView();
  const BITMAPINFOHEADER* header = dib.GetHeader();
  GpBitmap* bitmap = nullptr;
  if (direct && (header->biBitCount == 32 || header->biBitCount == 8)) {
    PixelFormat format = header->biBitCount == 32 ? PixelFormat32bppARGB : PixelFormat8bppIndexed;
    INT stride = static_cast<INT>(dib.Stride());
    BYTE* topRow = dib.TopRow(0);
    GdipCreateBitmapFromScan0(header->biWidth, header->biHeight, -stride, format, topRow, &bitmap);
    if (bitmap && header->biBitCount == 8) {
      // ColorPalette with 256 entries: flags, count, then the ARGB entries.
      struct {
        UINT flags;
        UINT count;
        ARGB entries[256];
      } palette = {PaletteFlagsHasAlpha, 256, {}};
      const RGBQUAD* table = dib.ColorTable();
      UINT tableCount = CalcColorCount(*header);
      for (UINT i = 0; i < 256 && table && i < tableCount; ++i) {
        palette.entries[i] = static_cast<ARGB>(table[i].rgbReserved) << 24 |
                             static_cast<ARGB>(table[i].rgbRed) << 16 |
                             static_cast<ARGB>(table[i].rgbGreen) << 8 | table[i].rgbBlue;
      }
      GdipSetImagePalette(bitmap, reinterpret_cast<ColorPalette*>(&palette));
    }
    return CBitmapView(bitmap);
  }
  if (GdipCreateBitmapFromGdiDib(reinterpret_cast<const BITMAPINFO*>(header), dib.GetBits(),
                                 &bitmap) != Ok) {
    return CBitmapView();
  }
  return CBitmapView(bitmap);
}

HRESULT LoadImageFromBytes(const uint8_t* data, size_t size, CGdipImage* image) {
  image->Reset();
  if (size > UINT_MAX) return E_NOTIMPL;
  CComPtr<IStream> stream;
  *stream.Receive() = SHCreateMemStream(data, static_cast<UINT>(size));
  if (!stream) return E_NOTIMPL;
  if (GdipLoadImageFromStream(stream.Get(), image->Receive()) != Ok || !image->IsValid()) {
    image->Reset();
    return E_NOTIMPL;
  }
  return S_OK;
}

HRESULT GetImageRect(GpImage* image, ImageBounds* bounds) {
  GpRectF rect;
  GpUnit unit;
  if (GdipGetImageBounds(image, &rect, &unit) != Ok) return E_FAIL;
  bounds->x = static_cast<LONG>(rect.X);
  bounds->y = static_cast<LONG>(rect.Y);
  bounds->width = static_cast<LONG>(rect.Width);
  bounds->height = static_cast<LONG>(rect.Height);
  return S_OK;
}

HRESULT RenderImageToDib(GpImage* source, const RECT& sourceRect, CDibPtr* dib, LONG width,
                         LONG height, InterpolationMode interpolation) {
  CDibPtr result(new (std::nothrow) CDib);
  if (!result || !result->Create(width, height, 32, 0, BI_RGB) || !result->AllocBits()) {
    return kOutOfMemory;
  }
  result->ClearBits();
  CBitmapView view = CreateBitmapView(*result, true);
  if (!view.IsValid()) return kOutOfMemory;
  RECT targetRect = {0, 0, width, height};
  if (!DrawImageRect(source, sourceRect, view.Get(), targetRect, interpolation)) return kOutOfMemory;
  view.Reset();
  *dib = result;
  return S_OK;
}
