// CAppModule: the process's instance handle, from which every resource is loaded, and the message
// loop of each thread that runs one.
#pragma once

#include <windows.h>

#include <map>
#include <mutex>

class CMessageLoop;

class CAppModule {
public:
  CAppModule() = default;
  CAppModule(const CAppModule&) = delete;
  CAppModule& operator=(const CAppModule&) = delete;

  void Init(HINSTANCE instance);
  // Forgets the instance and every registered loop.
  void Term();
  HINSTANCE GetResourceInstance() const { return m_instance; }

  // Registers `loop` as the current thread's loop; false when the thread already has one.
  bool AddMessageLoop(CMessageLoop* loop);
  // Removes the current thread's loop; false when it had none.
  bool RemoveMessageLoop();
  // The loop of the current thread, or null.
  CMessageLoop* GetMessageLoop() const;

private:
  HINSTANCE m_instance = nullptr;
  // Only the user-interface thread registers a loop; the lock keeps the map sound regardless.
  mutable std::mutex m_lock;
  std::map<DWORD, CMessageLoop*> m_loops;
};

// The one module of the process.
CAppModule& GetAppModule();
