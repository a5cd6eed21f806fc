// Owners of the window-system handles the dialogs keep: each closes its handle exactly once, when
// it ends or is given another, and none can be copied.
#pragma once

#include <windows.h>


template <class THandle, BOOL(WINAPI* TRelease)(THandle)>
class CScopedHandle {
public:
  CScopedHandle() = default;
  explicit CScopedHandle(THandle handle) : m_handle(handle) {}
  ~CScopedHandle() { Reset(); }
  CScopedHandle(const CScopedHandle&) = delete;
  CScopedHandle& operator=(const CScopedHandle&) = delete;

  THandle Get() const { return m_handle; }
  void Reset(THandle handle = nullptr) {
    if (m_handle) TRelease(m_handle);
    m_handle = handle;
  }

private:
  THandle m_handle = nullptr;
};

inline BOOL WINAPI ReleaseFont(HFONT font) { return DeleteObject(font); }

typedef CScopedHandle<HACCEL, DestroyAcceleratorTable> CAccelHandle;
typedef CScopedHandle<HICON, DestroyIcon> CIconHandle;
typedef CScopedHandle<HFONT, ReleaseFont> CFontHandle;
