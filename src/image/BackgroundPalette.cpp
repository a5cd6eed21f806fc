// Background flattening and palette reduction on CDibs.
#include "image/BackgroundPalette.h"

#include <new>

#include "base/ErrorCodes.h"
#include "image/PixelOps.h"

HRESULT ApplyBackgroundColor(const CDibPtr& source, uint32_t colorref, CDibPtr* result) {
  result->reset();
  if (!source || !source->IsValid() || source->BitCount() != 32) return E_INVALIDARG;
  if (IsOpaque(source->Rows())) {
    *result = source;
    return S_OK;
  }
  CDibPtr flat(new (std::nothrow) CDib);
  if (!flat || !flat->Create(source->Width(), source->Height(), 32, 0, BI_RGB) || !flat->AllocBits()) {
    return kOutOfMemory;
  }
  CompositeOverColor(source->Rows(), flat->Rows(), colorref);
  *result = flat;
  return S_OK;
}

HRESULT ReduceToPalette(const CDib& source, CDibPtr* result) {
  result->reset();
  if (!source.IsValid() || source.BitCount() != 32) return S_FALSE;
  uint32_t palette[256];
  int count = CollectPalette(source.Rows(), palette);
  if (count < 0) return S_FALSE;
  CDibPtr indexed(new (std::nothrow) CDib);
  if (!indexed || !indexed->Create(source.Width(), source.Height(), 8, 0, BI_RGB) ||
      !indexed->AllocBits()) {
    return kOutOfMemory;
  }
  RGBQUAD* table = indexed->ColorTable();
  for (int i = 0; i < count; ++i) {
    table[i].rgbBlue = static_cast<BYTE>(palette[i]);
    table[i].rgbGreen = static_cast<BYTE>(palette[i] >> 8);
    table[i].rgbRed = static_cast<BYTE>(palette[i] >> 16);
    table[i].rgbReserved = static_cast<BYTE>(palette[i] >> 24);
  }
  MapToPalette(source.Rows(), palette, count, indexed->Rows());
  *result = indexed;
  return S_OK;
}
