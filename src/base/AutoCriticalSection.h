// CAutoCriticalSection: a critical section for the lifetime of the object; CAutoLock holds one
// for the lifetime of a scope.
#pragma once

#include <windows.h>

class CAutoCriticalSection {
public:
  CAutoCriticalSection() { InitializeCriticalSection(&m_section); }
  ~CAutoCriticalSection() { DeleteCriticalSection(&m_section); }
  CAutoCriticalSection(const CAutoCriticalSection&) = delete;
  CAutoCriticalSection& operator=(const CAutoCriticalSection&) = delete;

  void Lock() { EnterCriticalSection(&m_section); }
  void Unlock() { LeaveCriticalSection(&m_section); }

private:
  CRITICAL_SECTION m_section;
};

class CAutoLock {
public:
  explicit CAutoLock(CAutoCriticalSection& section) : m_section(section) { m_section.Lock(); }
  ~CAutoLock() { m_section.Unlock(); }
  CAutoLock(const CAutoLock&) = delete;
  CAutoLock& operator=(const CAutoLock&) = delete;

private:
  CAutoCriticalSection& m_section;
};
