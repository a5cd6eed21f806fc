// The drawing surface: context lifecycle, solid and alpha fills, alpha frames.
#include "image/DrawingSurface.h"

#include <objidl.h>
#include <gdiplus.h>

#include <boost/make_shared.hpp>

#include "image/GdiplusImage.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

HRESULT CScreen::FrameRectAlpha(const RECT& rect, int width, COLORREF color, BYTE alpha) {
  if (width <= 0) return S_OK;
  const DWORD argb = static_cast<DWORD>(alpha) << 24 | static_cast<DWORD>(GetRValue(color)) << 16 |
                     static_cast<DWORD>(GetGValue(color)) << 8 | GetBValue(color);
  if (2 * width >= rect.right - rect.left || 2 * width >= rect.bottom - rect.top) {
    FillRectArgb(argb, rect);
    return S_OK;
  }
  const RECT sides[] = {
      {rect.left, rect.top, rect.right, rect.top + width},
      {rect.left, rect.bottom - width, rect.right, rect.bottom},
      {rect.left, rect.top + width, rect.left + width, rect.bottom - width},
      {rect.right - width, rect.top + width, rect.right, rect.bottom - width},
  };
  for (const RECT& side : sides) FillRectArgb(argb, side);
  return S_OK;
}

HRESULT CScreen::FillRectArgb(DWORD argb, const RECT& rect) {
  CGdipBrush brush;
  GpSolidFill* fill = nullptr;
  if (GdipCreateSolidFill(argb, &fill) != Ok || !fill) return E_FAIL;
  brush.Reset(fill);
  CComplexHDCPtr dcs = GetDCs();
  for (int i = 0; dcs && i < dcs->GetCount(); ++i) {
    CGdipGraphics graphics;
    if (GdipCreateFromHDC(dcs->GetAt(i), graphics.Receive()) != Ok || !graphics.IsValid()) continue;
    GdipFillRectangleI(graphics.Get(), brush.Get(), rect.left, rect.top, rect.right - rect.left,
                       rect.bottom - rect.top);
  }
  return S_OK;
}

HRESULT CScreen::FillSolidRect(COLORREF color, const RECT& rect) {
  CComplexHDCPtr dcs = GetDCs();
  for (int i = 0; dcs && i < dcs->GetCount(); ++i) {
    HDC dc = dcs->GetAt(i);
    const COLORREF previous = SetBkColor(dc, color);
    if (previous == CLR_INVALID) continue;
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
    SetBkColor(dc, previous);
  }
  return S_OK;
}

CDCScreen::CDCScreen(HDC dc, const RECT& rect) : m_dc(dc), m_rect(rect) {
  POINT previous;
  if (SetViewportOrgEx(dc, -rect.left, -rect.top, &previous)) m_origin.Reset(Origin{dc, previous});
}

HRESULT CDCScreen::CreateForWindow(HWND window) {
  Free();
  HDC dc = ::GetDC(window);
  if (!dc) return E_FAIL;
  m_windowDC.Reset(WindowDC{window, dc});
  m_dc = dc;
  GetClientRect(window, &m_rect);
  return S_OK;
}

HRESULT CDCScreen::CreateCompatible(HDC dc, const RECT& rect) {
  Free();
  m_memoryDC.Reset(CreateCompatibleDC(dc));
  if (!m_memoryDC.IsValid()) return E_FAIL;
  m_bitmap.Reset(CreateCompatibleBitmap(dc, rect.right - rect.left, rect.bottom - rect.top));
  if (!m_bitmap.IsValid()) {
    Free();
    return E_FAIL;
  }
  HDC memory = m_memoryDC.Get();
  m_selection.Reset(Selection{memory, SelectObject(memory, m_bitmap.Get())});
  m_dc = memory;
  m_rect = rect;
  SetViewportOrgEx(m_dc, -rect.left, -rect.top, nullptr);
  return S_OK;
}

CComplexHDCPtr CDCScreen::GetDCs() const {
  CComplexHDCPtr dcs = boost::make_shared<CComplexHDC>();
  if (m_dc) dcs->Add(m_dc);
  return dcs;
}

void CDCScreen::Free() {
  m_selection.Reset();
  m_bitmap.Reset();
  m_origin.Reset();
  m_memoryDC.Reset();
  m_windowDC.Reset();
  m_dc = nullptr;
  m_rect = RECT{};
}
