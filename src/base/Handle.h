// Owners of Windows handles: CScopedHandle, the CScoped (base/Scoped.h) of a handle given back
// by one call that takes it, and the handle types the program owns.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <type_traits>

#include "base/Scoped.h"

// A handle given back by one call that takes it; that call's result, of whatever type, is not
// needed. Both "no handle" values of the API count as empty: most calls return null on failure,
// file calls INVALID_HANDLE_VALUE.
template <class THandle, auto TRelease>
struct HandleTraits {
  typedef THandle Type;
  static THandle Empty() { return THandle(); }
  static bool IsEmpty(THandle handle) {
    if (handle == THandle()) return true;
    if constexpr (std::is_pointer_v<THandle>) {
      return reinterpret_cast<HANDLE>(handle) == INVALID_HANDLE_VALUE;
    } else {
      return false;
    }
  }
  static void Release(THandle handle) { TRelease(handle); }
};

template <class THandle, auto TRelease>
using CScopedHandle = CScoped<HandleTraits<THandle, TRelease>>;

inline BOOL WINAPI ReleaseFont(HFONT font) { return DeleteObject(font); }

typedef CScopedHandle<HANDLE, CloseHandle> CHandle;
typedef CScopedHandle<HANDLE, FindClose> CFindHandle;  // a FindFirstFile search
// A string the shell or COM allocated for the caller (a folder's path, an element's name).
typedef CScopedObject<wchar_t, CoTaskMemFree> CTaskMemString;
typedef CScopedHandle<HACCEL, DestroyAcceleratorTable> CAccelHandle;
typedef CScopedHandle<HICON, DestroyIcon> CIconHandle;
typedef CScopedHandle<HFONT, ReleaseFont> CFontHandle;
typedef CScopedHandle<HKEY, RegCloseKey> CKeyHandle;
typedef CScopedHandle<HDC, DeleteDC> CMemoryDC;
typedef CScopedHandle<HBITMAP, DeleteObject> CBitmapHandle;

// A window's context from GetDC or GetWindowDC, given back to that window with ReleaseDC.
struct WindowDC {
  HWND window;
  HDC dc;
};
struct WindowDCTraits {
  typedef WindowDC Type;
  static WindowDC Empty() { return WindowDC{nullptr, nullptr}; }
  static bool IsEmpty(const WindowDC& value) { return value.dc == nullptr; }
  static void Release(const WindowDC& value) { ReleaseDC(value.window, value.dc); }
};
typedef CScoped<WindowDCTraits> CWindowDC;
