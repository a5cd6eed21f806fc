// CGlobalLocker: holds a global memory block locked for its lifetime, as clipboard and drag data
// arrive in such blocks.
#pragma once

#include <windows.h>

#include <cstddef>

class CGlobalLocker {
public:
  // A null block, or one that cannot be locked, leaves the locker empty.
  explicit CGlobalLocker(HGLOBAL block)
      : m_block(block), m_data(block ? GlobalLock(block) : nullptr) {}
  ~CGlobalLocker() {
    if (m_data) GlobalUnlock(m_block);
  }
  CGlobalLocker(const CGlobalLocker&) = delete;
  CGlobalLocker& operator=(const CGlobalLocker&) = delete;

  // The block's bytes, or null when it is not locked.
  const void* Get() const { return m_data; }
  // The block's size in bytes; 0 when it is not locked.
  size_t Size() const { return m_data ? GlobalSize(m_block) : 0; }

private:
  HGLOBAL m_block;
  void* m_data;
};
