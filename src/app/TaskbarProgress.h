// A job on the window's taskbar button: its progress through the shell's taskbar list
// (ITaskbarList3), the error state once a file has failed, nothing between jobs, and a flash of
// the button when a job ends while another window is in front.
#pragma once

#include <windows.h>

#include <shobjidl.h>

#include "base/ComPtr.h"
#include "win/MessageMap.h"

// One window's button. Where the shell offers no taskbar list (a system older than it, a shell
// without the interface, no taskbar at all) every call does nothing: the window shows its own
// progress all the same. Used on the window's thread, in a single-threaded apartment.
class CTaskbarButton {
public:
  explicit CTaskbarButton(HWND window = nullptr) : m_window(window) {}
  CTaskbarButton(const CTaskbarButton&) = delete;
  CTaskbarButton& operator=(const CTaskbarButton&) = delete;

  void SetWindow(HWND window) { m_window = window; }
  // `done` of `total`, in the normal state.
  void ShowProgress(ULONGLONG done, ULONGLONG total);
  // The error state, at the value last shown: a file has failed and the job stops.
  void ShowError();
  // Nothing on the button.
  void Clear();
  // The shell has made the window's button (again, after it restarted): the taskbar list made
  // before no longer reaches it, and what was shown is shown anew.
  void OnButtonCreated();
  // When another window is in front, the button flashes until the window comes to the front.
  void FlashIfBehind() const;

  // The message the shell sends when it has made a window's button; 0 when it cannot be
  // registered.
  static UINT ButtonCreatedMessage();

private:
  enum class State { None, Progress, Error };

  ITaskbarList3* List();
  void Apply();

  HWND m_window;
  CComPtr<ITaskbarList3> m_list;
  bool m_tried = false;  // the list is made at its first use, once the window has its button
  State m_state = State::None;
  ULONGLONG m_done = 0;
  ULONGLONG m_total = 0;
};

// The mix-in that owns T's button and hears the shell make it. What T supplies: HWND m_hWnd.
template <class T>
class CTaskbarButtonImpl {
public:
  BEGIN_MSG_MAP(CTaskbarButtonImpl)
    MESSAGE_HANDLER(CTaskbarButton::ButtonCreatedMessage(), OnButtonCreated)
  END_MSG_MAP()

protected:
  CTaskbarButton& TaskbarButton() {
    m_button.SetWindow(static_cast<T*>(this)->m_hWnd);
    return m_button;
  }

private:
  LRESULT OnButtonCreated(UINT message, WPARAM, LPARAM, bool& handled) {
    handled = false;  // only observed
    if (message != 0) TaskbarButton().OnButtonCreated();  // WM_NULL when the name is not registered
    return 0;
  }

  CTaskbarButton m_button;
};
