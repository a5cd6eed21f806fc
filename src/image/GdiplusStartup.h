// CGdiplusStartup: GDI+ running for the lifetime of the object. It starts GDI+ when it is made;
// the start's token is a CScoped that shuts GDI+ down again.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include "base/Scoped.h"

// The token of a successful GdiplusStartup, given back with GdiplusShutdown.
struct GdiplusTokenTraits {
  struct Type {
    bool started;
    ULONG_PTR token;
  };
  static Type Empty() { return Type{false, 0}; }
  static bool IsEmpty(const Type& value) { return !value.started; }
  static void Release(const Type& value) { Gdiplus::GdiplusShutdown(value.token); }
};

class CGdiplusStartup {
public:
  CGdiplusStartup() {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
      m_token.Reset(GdiplusTokenTraits::Type{true, token});
    }
  }

private:
  CScoped<GdiplusTokenTraits> m_token;
};
