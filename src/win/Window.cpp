// The window helpers, the reflection of control notifications and the foreground switch.
#include "win/Window.h"

#include <cwctype>
#include <vector>

#include "base/ResourceText.h"

namespace {

bool IsTrimmed(wchar_t c) { return c == L'\r' || std::iswspace(c); }

// The work area of the monitor that `window` is on, or nearest to; the primary monitor's when
// the monitor cannot be asked. On a single screen both are the desktop without the task bar.
RECT WorkAreaNear(HWND window) {
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info)) {
    return info.rcWork;
  }
  RECT area = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return area;
}

// Moves the span [*start, *start + length) inside [low, high); the low edge wins when the span
// is longer than the room.
void KeepInside(LONG low, LONG high, LONG length, LONG* start) {
  if (*start < low) {
    *start = low;
  } else if (*start + length > high) {
    *start = high - length;
  }
}

}  // namespace

void CWindowW::GetItemText(HWND window, std::wstring* text, bool trim) {
  text->clear();
  int length = GetWindowTextLengthW(window);
  if (length > 0) {
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    int copied = GetWindowTextW(window, buffer.data(), length + 1);
    if (copied > 0) text->assign(buffer.data(), static_cast<size_t>(copied));
  }
  if (trim) {
    size_t first = 0;
    while (first < text->size() && IsTrimmed((*text)[first])) ++first;
    size_t last = text->size();
    while (last > first && IsTrimmed((*text)[last - 1])) --last;
    *text = text->substr(first, last - first);
  }
}

bool CWindowW::SetItemText(HWND window, const std::wstring& text, bool onlyIfDifferent) {
  if (onlyIfDifferent) {
    std::wstring current;
    GetItemText(window, &current, false);
    if (current == text) return true;
  }
  return SetWindowTextW(window, text.c_str()) != FALSE;
}

bool CWindowW::SetItemTextFromString(HWND window, unsigned id, bool onlyIfDifferent) {
  std::wstring text;
  if (!LoadResourceString(&text, id)) return false;
  return SetItemText(window, text, onlyIfDifferent);
}

bool CWindowW::SetItemNumber(HWND window, int number, bool onlyIfDifferent) {
  return SetItemText(window, std::to_wstring(number), onlyIfDifferent);
}

bool CWindowW::EnableItem(HWND dialog, int id, bool enable) {
  HWND item = GetDlgItem(dialog, id);
  if (!item) return false;
  EnableWindow(item, enable ? TRUE : FALSE);
  return true;
}

bool CWindowW::SetItemCheck(HWND dialog, int id, bool check) {
  return CheckDlgButton(dialog, id, check ? BST_CHECKED : BST_UNCHECKED) != FALSE;
}

void CWindowW::ClearComboList(HWND combo) {
  LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  while (count > 0) {
    LRESULT left = SendMessageW(combo, CB_DELETESTRING, static_cast<WPARAM>(count - 1), 0);
    // A list that refuses to shrink would otherwise keep this loop going for ever.
    if (left == CB_ERR || left >= count) break;
    count = left;
  }
}

bool CWindowW::CenterWindow(HWND window, HWND reference) {
  RECT own;
  if (!GetWindowRect(window, &own)) return false;
  const bool child = (GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) != 0;
  HWND parent = child ? GetParent(window) : nullptr;
  if (!reference) reference = child ? parent : GetWindow(window, GW_OWNER);
  if (!child && reference && (!IsWindowVisible(reference) || IsIconic(reference))) {
    reference = nullptr;
  }

  RECT bounds;
  RECT target;
  if (child) {
    // A child window moves in its parent's client coordinates and stays inside the client area.
    GetClientRect(parent, &bounds);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&own), 2);
    target = bounds;
    if (reference && reference != parent && GetWindowRect(reference, &target)) {
      MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&target), 2);
    }
  } else {
    bounds = WorkAreaNear(reference ? reference : window);
    if (!reference || !GetWindowRect(reference, &target)) target = bounds;
  }

  const LONG width = own.right - own.left;
  const LONG height = own.bottom - own.top;
  LONG left = (target.left + target.right) / 2 - width / 2;
  LONG top = (target.top + target.bottom) / 2 - height / 2;
  KeepInside(bounds.left, bounds.right, width, &left);
  KeepInside(bounds.top, bounds.bottom, height, &top);
  return SetWindowPos(window, nullptr, left, top, 0, 0,
                      SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

LRESULT CWindowW::ReflectNotifications(UINT message, WPARAM wParam, LPARAM lParam,
                                       bool& handled) {
  HWND control = nullptr;
  switch (message) {
    case WM_COMMAND:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      control = reinterpret_cast<HWND>(lParam);
      break;
    case WM_NOTIFY:
      if (lParam) control = reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
      break;
    case WM_PARENTNOTIFY:
      if (LOWORD(wParam) == WM_CREATE || LOWORD(wParam) == WM_DESTROY) {
        control = reinterpret_cast<HWND>(lParam);
      } else {
        control = GetDlgItem(m_hWnd, HIWORD(wParam));
      }
      break;
    // The owner-draw messages come from a menu when wParam is 0: those stay with the window.
    case WM_DRAWITEM:
      if (wParam) control = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem;
      break;
    case WM_MEASUREITEM:
      if (wParam) control = GetDlgItem(m_hWnd, reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam)->CtlID);
      break;
    case WM_COMPAREITEM:
      if (wParam) control = reinterpret_cast<const COMPAREITEMSTRUCT*>(lParam)->hwndItem;
      break;
    case WM_DELETEITEM:
      if (wParam) control = reinterpret_cast<const DELETEITEMSTRUCT*>(lParam)->hwndItem;
      break;
    default:
      break;
  }
  // WM_CTLCOLORDLG names the dialog itself; sending it back to itself would only go round.
  if (!control || control == m_hWnd || !::IsWindow(control)) {
    handled = false;
    return 0;
  }
  handled = true;
  return SendMessageW(control, kReflectedMessageBase + message, wParam, lParam);
}

void BringToForeground(HWND window) {
  HWND top = GetForegroundWindow();
  for (HWND parent = top ? GetParent(top) : nullptr; parent; parent = GetParent(top)) top = parent;
  if (top == window) return;

  const DWORD ours = GetWindowThreadProcessId(window, nullptr);
  const DWORD theirs = top ? GetWindowThreadProcessId(top, nullptr) : 0;
  // Joining fails for our own thread or without a foreground window; the switch is tried anyway.
  const bool attached = theirs != 0 && theirs != ours && AttachThreadInput(ours, theirs, TRUE);
  DWORD timeout = 0;
  const bool haveTimeout =
      SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0) != FALSE;
  if (haveTimeout) SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
  SetForegroundWindow(window);
  if (haveTimeout) {
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                          reinterpret_cast<void*>(static_cast<UINT_PTR>(timeout)), 0);
  }
  if (attached) AttachThreadInput(ours, theirs, FALSE);
}
