// CTaskbarButton: the shell's taskbar list, made at its first use.
#include "app/TaskbarProgress.h"

UINT CTaskbarButton::ButtonCreatedMessage() {
  static const UINT message = RegisterWindowMessageW(L"TaskbarButtonCreated");
  return message;
}

void CTaskbarButton::ShowProgress(ULONGLONG done, ULONGLONG total) {
  m_state = State::Progress;
  m_done = done;
  m_total = total;
  Apply();
}

void CTaskbarButton::ShowError() {
  m_state = State::Error;
  Apply();
}

void CTaskbarButton::Clear() {
  if (m_state == State::None) return;
  m_state = State::None;
  Apply();
}

void CTaskbarButton::OnButtonCreated() {
  m_list.Release();
  m_tried = false;
  if (m_state != State::None) Apply();
}

void CTaskbarButton::FlashIfBehind() const {
  if (!m_window) return;
  // A box of our own in front (the failed file's message) is the window in front.
  HWND front = GetForegroundWindow();
  if (front && (front == m_window || GetAncestor(front, GA_ROOTOWNER) == m_window)) return;
  FLASHWINFO flash = {sizeof(flash), m_window, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
  FlashWindowEx(&flash);
}

ITaskbarList3* CTaskbarButton::List() {
  if (!m_tried && m_window) {
    m_tried = true;
    CComPtr<ITaskbarList3> list;
    if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                   reinterpret_cast<void**>(list.Receive()))) &&
        list && SUCCEEDED(list->HrInit())) {
      m_list = list;
    }
  }
  return m_list.Get();
}

// The shell's answers are not looked at: a button it cannot show leaves nothing to mend.
void CTaskbarButton::Apply() {
  ITaskbarList3* list = List();
  if (!list) return;
  switch (m_state) {
    case State::None:
      list->SetProgressState(m_window, TBPF_NOPROGRESS);
      break;
    case State::Progress:
      list->SetProgressState(m_window, TBPF_NORMAL);
      list->SetProgressValue(m_window, m_done, m_total);
      break;
    case State::Error:
      list->SetProgressState(m_window, TBPF_ERROR);
      list->SetProgressValue(m_window, m_done, m_total);
      break;
  }
}
