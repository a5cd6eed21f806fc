// CGdiplusStartup: GDI+ running for the lifetime of the object.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

class CGdiplusStartup {
public:
  CGdiplusStartup() {
    Gdiplus::GdiplusStartupInput input;
    m_ok = Gdiplus::GdiplusStartup(&m_token, &input, nullptr) == Gdiplus::Ok;
  }
  ~CGdiplusStartup() {
    if (m_ok) Gdiplus::GdiplusShutdown(m_token);
  }
  CGdiplusStartup(const CGdiplusStartup&) = delete;
  CGdiplusStartup& operator=(const CGdiplusStartup&) = delete;
  bool IsStarted() const { return m_ok; }

private:
  ULONG_PTR m_token = 0;
  bool m_ok = false;
};
