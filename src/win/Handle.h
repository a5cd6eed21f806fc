// Owners of one handle each: kernel handles (thread, event, file) and the window-system handles
// the dialogs keep (accelerators, icons, fonts). Each closes its handle exactly once, when it ends
// or is given another, and none can be copied.
#pragma once

#include <windows.h>

template <class THandle, BOOL(WINAPI* TRelease)(THandle)>
class CScopedHandle {
public:
  CScopedHandle() = default;
  explicit CScopedHandle(THandle handle) : m_handle(handle) {}
  ~CScopedHandle() { Close(); }
  CScopedHandle(const CScopedHandle&) = delete;
  CScopedHandle& operator=(const CScopedHandle&) = delete;

  // Both "no handle" values of the API count as empty: most calls return null on failure, file
  // calls INVALID_HANDLE_VALUE.
  bool IsValid() const {
    return m_handle != nullptr && reinterpret_cast<HANDLE>(m_handle) != INVALID_HANDLE_VALUE;
  }
  THandle Get() const { return m_handle; }

  void Reset(THandle handle = nullptr) {
    if (IsValid()) TRelease(m_handle);
    m_handle = handle;
  }
  void Close() { Reset(); }

private:
  THandle m_handle = nullptr;
};

inline BOOL WINAPI ReleaseFont(HFONT font) { return DeleteObject(font); }

typedef CScopedHandle<HANDLE, CloseHandle> CHandle;
typedef CScopedHandle<HACCEL, DestroyAcceleratorTable> CAccelHandle;
typedef CScopedHandle<HICON, DestroyIcon> CIconHandle;
typedef CScopedHandle<HFONT, ReleaseFont> CFontHandle;
