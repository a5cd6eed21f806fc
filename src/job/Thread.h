// CThread: a worker thread object with its stop requests. The dialog thread alone writes the
// requests; the worker polls them, so they are atomics.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <atomic>

#include "base/Handle.h"

class CThread {
public:
  CThread() = default;
  virtual ~CThread() = default;
  CThread(const CThread&) = delete;
  CThread& operator=(const CThread&) = delete;

  virtual unsigned Run() = 0;
  virtual bool Start() = 0;
  virtual void Wait(DWORD milliseconds) = 0;
  virtual bool IsStopping() const { return m_quit.load() || m_cancel.load(); }
  virtual bool IsQuitting() const { return m_quit.load(); }
  virtual void SetCancel(bool cancel) { m_cancel.store(cancel); }
  virtual void SetQuit(bool quit) { m_quit.store(quit); }
  // The COM apartment a thread started afterwards enters: COINIT_APARTMENTTHREADED (the default)
  // or COINIT_MULTITHREADED. A single-threaded apartment is owed a message loop, which a worker
  // never runs, and the first one in a process creates a hidden window; a console program that
  // has no window of its own otherwise would pay for the window system just for that (under Wine
  // the desktop process is started: about 0.3 s per run).
  void SetComApartment(DWORD model) { m_comModel = model; }

protected:
  std::atomic<bool> m_cancel{false};
  std::atomic<bool> m_quit{false};
  CHandle m_thread;
  int m_priority = THREAD_PRIORITY_IDLE;
  DWORD m_comModel = COINIT_APARTMENTTHREADED;
};
