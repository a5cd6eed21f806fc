// CSingleTimerImpl: one periodic window timer of the window class T (which has m_hWnd and
// OnTick). Once StopTimer has returned, no tick of it reaches the window, not even one that was
// already waiting in the queue.
#pragma once

#include <windows.h>

#include "win/MessageMap.h"

template <class T, UINT t_period, UINT_PTR t_timerId>
class CSingleTimerImpl {
public:
  void StartTimer() {
    m_timerId = SetTimer(Window(), m_timerId != 0 ? m_timerId : t_timerId, m_period, nullptr);
  }

  void StopTimer() {
    if (m_timerId == 0) return;
    HWND window = Window();
    KillTimer(window, m_timerId);
    m_timerId = 0;
    // KillTimer leaves a WM_TIMER that is already due in the queue. WM_QUIT passes every filter:
    // it is left for the loop that ends on it.
    MSG msg;
    while (PeekMessageW(&msg, window, WM_TIMER, WM_TIMER, PM_NOREMOVE | PM_NOYIELD) &&
           msg.message != WM_QUIT) {
      PeekMessageW(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
    }
  }

  bool IsTimerRunning() const { return m_timerId != 0; }

  // Chained by the window's map after its own handlers. The timer's WM_TIMER runs T::OnTick and
  // is consumed; WM_DESTROY stops the timer and goes on to the others.
  BEGIN_MSG_MAP(CSingleTimerImpl)
    MESSAGE_HANDLER(WM_TIMER, OnTimer)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
  END_MSG_MAP()

private:
  // A WM_TIMER that reaches the window while the timer is stopped (one posted by hand, or by the
  // system for a timer that no longer exists) is no tick.
  LRESULT OnTimer(UINT, WPARAM wParam, LPARAM, bool& handled) {
    if (wParam != t_timerId || m_timerId == 0) {
      handled = false;
      return 0;
    }
    static_cast<T*>(this)->OnTick();
    return 0;
  }
  LRESULT OnDestroy(UINT, WPARAM, LPARAM, bool& handled) {
    StopTimer();
    handled = false;
    return 0;
  }

  HWND Window() const { return static_cast<const T*>(this)->m_hWnd; }

  UINT m_period = t_period;
  UINT_PTR m_timerId = 0;  // 0 while no timer runs
};
