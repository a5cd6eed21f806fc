// CSlimLock and CSlimCondition: a lock and a condition on the system's slim reader/writer lock and
// condition variable, for the threads of a job.
//
// The MinGW-w64 runtime's std::mutex and std::condition_variable (winpthreads) wait on kernel
// events and semaphores: a contended lock, every wait and every wake is a system call, and under
// Wine each is a round trip to the server. Measured on the JPEG batch with two threads, the
// look-ahead's lock and condition alone cost 2.5 % of the batch's time that way; the slim ones
// wait in the process and cost nothing while nobody waits. Both meet the standard's Lockable
// requirements, so std::lock_guard and std::unique_lock hold them.
#pragma once

#include <windows.h>

#include <mutex>

class CSlimLock {
public:
  CSlimLock() = default;
  CSlimLock(const CSlimLock&) = delete;
  CSlimLock& operator=(const CSlimLock&) = delete;

  void lock() { AcquireSRWLockExclusive(&m_lock); }
  bool try_lock() { return TryAcquireSRWLockExclusive(&m_lock) != FALSE; }
  void unlock() { ReleaseSRWLockExclusive(&m_lock); }

private:
  friend class CSlimCondition;
  SRWLOCK m_lock = SRWLOCK_INIT;
};

class CSlimCondition {
public:
  CSlimCondition() = default;
  CSlimCondition(const CSlimCondition&) = delete;
  CSlimCondition& operator=(const CSlimCondition&) = delete;

  // Gives the held lock back while it sleeps and takes it again before it returns. May return
  // without a wake, as std::condition_variable::wait may: callers wait in a loop on their
  // predicate.
  void wait(std::unique_lock<CSlimLock>& held) {
    SleepConditionVariableSRW(&m_condition, &held.mutex()->m_lock, INFINITE, 0);
  }
  void notify_one() { WakeConditionVariable(&m_condition); }
  void notify_all() { WakeAllConditionVariable(&m_condition); }

private:
  CONDITION_VARIABLE m_condition = CONDITION_VARIABLE_INIT;
};
