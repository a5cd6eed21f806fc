// The GDI+ side of the image layer: views over a CDib's memory, the one drawing primitive, and
// decoding of the formats that the program's own codecs do not read (BMP, GIF, TIFF, ICO, EMF/WMF).
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>

#include "base/Handle.h"
#include "image/Dib.h"

// Owners of GDI+ objects; each lives within one operation.
typedef CScopedHandle<Gdiplus::GpBitmap*, Gdiplus::DllExports::GdipDisposeImage> CBitmapView;
typedef CScopedHandle<Gdiplus::GpImage*, Gdiplus::DllExports::GdipDisposeImage> CGdipImage;
typedef CScopedHandle<Gdiplus::GpGraphics*, Gdiplus::DllExports::GdipDeleteGraphics> CGdipGraphics;
typedef CScopedHandle<Gdiplus::GpBrush*, Gdiplus::DllExports::GdipDeleteBrush> CGdipBrush;

// A GDI+ bitmap showing the pixels of `dib`. Direct mode shares the CDib's memory (32-bit ARGB
// or 8-bit indexed with the colour table as an alpha palette); GDI mode copies through
// GdipCreateBitmapFromGdiDib. Empty when GDI+ refuses a GDI-mode view.
CBitmapView CreateBitmapView(const CDib& dib, bool direct);

// Decodes an image held in memory; E_NOTIMPL for anything GDI+ cannot read.
HRESULT LoadImageFromBytes(const uint8_t* data, size_t size, CGdipImage* image);

// Image bounds (x, y, width, height) truncated to integers; the unit GDI+ reports is ignored.
// E_FAIL when GDI+ cannot tell them.
struct ImageBounds {
  LONG x, y, width, height;
};
HRESULT GetImageRect(Gdiplus::GpImage* image, ImageBounds* bounds);

// Draws `source` onto a new transparent 32-bit CDib of width x height.
// HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY) on every failure.
HRESULT RenderImageToDib(Gdiplus::GpImage* source, const RECT& sourceRect, CDibPtr* dib,
                         LONG width, LONG height, Gdiplus::InterpolationMode interpolation);
