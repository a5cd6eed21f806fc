// CHandle: the owner of one kernel handle (thread, event, file), closed when the owner goes.
#pragma once

#include <windows.h>

class CHandle {
public:
  CHandle() = default;
  explicit CHandle(HANDLE handle) : m_handle(handle) {}
  ~CHandle() { Close(); }
  CHandle(const CHandle&) = delete;
  CHandle& operator=(const CHandle&) = delete;

  // Both "no handle" values of the API count as empty: thread and event calls return null on
  // failure, file calls INVALID_HANDLE_VALUE.
  bool IsValid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return m_handle; }

  void Reset(HANDLE handle) {
    Close();
    m_handle = handle;
  }
  void Close() {
    if (IsValid()) CloseHandle(m_handle);
    m_handle = nullptr;
  }

private:
  HANDLE m_handle = nullptr;
};
