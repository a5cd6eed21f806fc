// CGlobalLocker: holds a global memory block locked for its lifetime, as clipboard and drag data
// arrive in such blocks. The lock is a CScoped that unlocks the block.
#pragma once

#include <windows.h>

#include <cstddef>

#include "base/Scoped.h"

// A locked global block and its bytes, unlocked with GlobalUnlock.
struct GlobalLockTraits {
  struct Type {
    HGLOBAL block;
    void* data;
  };
  static Type Empty() { return Type{nullptr, nullptr}; }
  static bool IsEmpty(const Type& value) { return value.data == nullptr; }
  static void Release(const Type& value) { GlobalUnlock(value.block); }
};

class CGlobalLocker {
public:
  // A null block, or one that cannot be locked, leaves the locker empty.
  explicit CGlobalLocker(HGLOBAL block)
      : m_lock(GlobalLockTraits::Type{block, block ? GlobalLock(block) : nullptr}) {}

  // The block's bytes, or null when it is not locked.
  const void* Get() const { return m_lock.Get().data; }
  // The block's size in bytes; 0 when it is not locked.
  size_t Size() const { return m_lock.IsValid() ? GlobalSize(m_lock.Get().block) : 0; }

private:
  CScoped<GlobalLockTraits> m_lock;
};
