// A drawing surface over device contexts: CScreen is the interface, CDCScreen its implementation
// over one device context. GDI does the opaque work, GDI+ whatever blends by alpha. The surface
// carries the operations the program draws with (the colour swatch of the colour button).
#pragma once

#include <windows.h>

#include <vector>

#include <boost/shared_ptr.hpp>

#include "base/Handle.h"

// The device contexts a surface draws on, in order. Owns none of them.
class CComplexHDC {
public:
  CComplexHDC() = default;
  virtual ~CComplexHDC() = default;
  CComplexHDC(const CComplexHDC&) = delete;
  CComplexHDC& operator=(const CComplexHDC&) = delete;

  virtual int GetCount() const { return static_cast<int>(m_dcs.size()); }
  // Null when `index` is negative or not below the count.
  virtual HDC GetAt(int index) const {
    return index < 0 || index >= GetCount() ? nullptr : m_dcs[static_cast<size_t>(index)];
  }
  void Add(HDC dc) { m_dcs.push_back(dc); }

private:
  std::vector<HDC> m_dcs;
};

typedef boost::shared_ptr<CComplexHDC> CComplexHDCPtr;

class CScreen {
public:
  CScreen() = default;
  virtual ~CScreen() = default;
  CScreen(const CScreen&) = delete;
  CScreen& operator=(const CScreen&) = delete;

  // The surface has a device context to draw on.
  virtual bool IsValid() const = 0;
  // Memory mode: a new memory context compatible with `dc` holding a bitmap of the rectangle's
  // size, with the rectangle's top-left corner at the context's origin. E_FAIL when either
  // cannot be made.
  virtual HRESULT CreateCompatible(HDC dc, const RECT& rect) = 0;
  // The contexts every drawing operation works on in turn; empty without a context.
  virtual CComplexHDCPtr GetDCs() const = 0;
  virtual POINT GetOffset() const { return POINT{0, 0}; }
  virtual RECT GetRect() const = 0;

  // A frame `width` pixels wide inside `rect` in `color` (COLORREF) blended with `alpha`.
  // Nothing is drawn for a width of 0 or less; always S_OK.
  virtual HRESULT FrameRectAlpha(const RECT& rect, int width, COLORREF color, BYTE alpha);
  // Fills `rect` with a GDI+ brush of `argb` (0xAARRGGBB), blending by its alpha. E_FAIL when
  // the brush cannot be made.
  virtual HRESULT FillRectArgb(DWORD argb, const RECT& rect);
  // Fills `rect` opaquely with `color` (COLORREF) through the background colour of each context,
  // which is restored afterwards.
  virtual HRESULT FillSolidRect(COLORREF color, const RECT& rect);
};

class CDCScreen : public CScreen {
public:
  CDCScreen() = default;
  // Draws on `dc`, which stays the caller's: the surface moves the context's origin to the
  // rectangle's top-left corner and puts the old origin back when it is done.
  CDCScreen(HDC dc, const RECT& rect);
  ~CDCScreen() override { Free(); }

  // Draws on the client area of `window` through a context from GetDC, given back with
  // ReleaseDC when the surface is done. E_FAIL when the window gives no context.
  HRESULT CreateForWindow(HWND window);
  HRESULT CreateCompatible(HDC dc, const RECT& rect) override;

  bool IsValid() const override { return m_dc != nullptr; }
  CComplexHDCPtr GetDCs() const override;
  RECT GetRect() const override { return m_rect; }
  HDC GetDC() const { return m_dc; }

private:
  // A bitmap selected into a memory context, and the object it replaced there.
  struct Selection {
    HDC dc;
    HGDIOBJ previous;
  };
  struct SelectionTraits {
    typedef Selection Type;
    static Selection Empty() { return Selection{nullptr, nullptr}; }
    static bool IsEmpty(const Selection& value) { return value.previous == nullptr; }
    static void Release(const Selection& value) { SelectObject(value.dc, value.previous); }
  };
  // A borrowed context's origin before the surface moved it.
  struct Origin {
    HDC dc;
    POINT previous;
  };
  struct OriginTraits {
    typedef Origin Type;
    static Origin Empty() { return Origin{nullptr, POINT{0, 0}}; }
    static bool IsEmpty(const Origin& value) { return value.dc == nullptr; }
    static void Release(const Origin& value) {
      SetViewportOrgEx(value.dc, value.previous.x, value.previous.y, nullptr);
    }
  };

  // Gives back what the surface holds, in this order: the memory bitmap is selected out and
  // deleted, a borrowed context gets its origin back, an owned context goes. The surface is
  // then empty.
  void Free();

  CScoped<SelectionTraits> m_selection;
  CBitmapHandle m_bitmap;
  CScoped<OriginTraits> m_origin;
  CMemoryDC m_memoryDC;  // from CreateCompatible
  CWindowDC m_windowDC;  // from CreateForWindow
  HDC m_dc = nullptr;    // the context drawn on: one of the two above, or a borrowed one
  RECT m_rect = {};
};
