// CThreadImpl: the thread entry, Start and Wait of a CThread whose body is T::Run. The thread is
// made suspended and lowered to its priority before it runs a single instruction of the body.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <process.h>

#include <cstdint>

#include "job/Thread.h"

// t_initCom: the thread runs inside a COM apartment of its own (the image code may need COM).
// t_stackSize: the stack reservation in bytes, 0 for the executable's default.
template <class T, bool t_initCom = true, unsigned t_stackSize = 0>
class CThreadImpl : public CThread {
public:
  // Once told to quit, the object never starts a thread again. A thread that still runs is left
  // alone, so there is never a second thread on one object.
  bool Start() override {
    if (IsQuitting()) return false;
    if (m_thread.IsValid()) {
      if (IsRunning()) return true;
      Wait(INFINITE);
    }
    m_cancel.store(false);

    uintptr_t handle = _beginthreadex(nullptr, t_stackSize, &ThreadEntry, static_cast<T*>(this),
                                      CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (handle == 0) return false;
    m_thread.Reset(reinterpret_cast<HANDLE>(handle));
    SetThreadPriority(m_thread.Get(), m_priority);
    // TRUE switches dynamic boosting off: a worker woken from a wait must not jump ahead of the
    // dialog.
    SetThreadPriorityBoost(m_thread.Get(), TRUE);
    ResumeThread(m_thread.Get());
    return true;
  }

  // Waits for the thread to end and forgets it. A wait that times out keeps the handle: the
  // thread still runs and stays this object's thread.
  void Wait(DWORD milliseconds) override {
    if (!m_thread.IsValid()) return;
    if (WaitForSingleObject(m_thread.Get(), milliseconds) == WAIT_TIMEOUT) return;
    m_thread.Close();
  }

  // True from Start until the thread has ended (its handle is signalled).
  bool IsRunning() const {
    return m_thread.IsValid() && WaitForSingleObject(m_thread.Get(), 0) == WAIT_TIMEOUT;
  }
  HANDLE GetHandle() const { return m_thread.Get(); }

private:
  // Nothing thrown by the body leaves the thread: it ends the thread with exit code -1.
  static unsigned __stdcall ThreadEntry(void* param) {
    T* thread = static_cast<T*>(param);
    HRESULT com = E_FAIL;
    if (t_initCom) {
      com = thread->m_comModel == COINIT_APARTMENTTHREADED ? CoInitialize(nullptr)
                                                          : CoInitializeEx(nullptr, thread->m_comModel);
    }
    unsigned code;
    try {
      code = thread->Run();
    } catch (...) {
      code = static_cast<unsigned>(-1);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return code;
  }
};
