// CWindowW: a thin wrapper over a window handle, with the helpers every dialog of the program uses
// to read and set control texts, enable and check items, empty combo lists and centre windows.
// It owns nothing: the window lives and dies by the window system.
#pragma once

#include <windows.h>

#include <string>

// Notifications reflected back to the control that sent them arrive as their message number plus
// this offset, so that a control's own window procedure can act on them.
const UINT kReflectedMessageBase = 0x2000;

class CWindowW {
public:
  explicit CWindowW(HWND window = nullptr) : m_hWnd(window) {}

  HWND GetHwnd() const { return m_hWnd; }
  void Attach(HWND window) { m_hWnd = window; }
  bool IsWindow() const { return m_hWnd != nullptr && ::IsWindow(m_hWnd) != FALSE; }

  // The whole text of `window`; with `trim`, white space and carriage returns are removed from
  // both ends. A text that cannot be read is empty.
  static void GetItemText(HWND window, std::wstring* text, bool trim);
  // Sets the text; with `onlyIfDifferent`, a window that already shows exactly `text` is left
  // alone. True when the window now shows `text`.
  static bool SetItemText(HWND window, const std::wstring& text, bool onlyIfDifferent);
  // As SetItemText with string-table entry `id`; false when there is no such entry.
  static bool SetItemTextFromString(HWND window, unsigned id, bool onlyIfDifferent);
  // As SetItemText with `number` in decimal, minus sign for negatives, no grouping.
  static bool SetItemNumber(HWND window, int number, bool onlyIfDifferent);
  // False when the dialog has no item `id`.
  static bool EnableItem(HWND dialog, int id, bool enable);
  static bool SetItemCheck(HWND dialog, int id, bool check);
  // Deletes the list entries of a combo box, last to first, until the list is empty.
  static void ClearComboList(HWND combo);
  // Centres `window` over `reference` (or its owner, or its parent for a child window; a hidden
  // or minimised top-level reference is not used) and keeps it inside the work area. Without a
  // reference a top-level window is centred in the work area. Size, z-order and activation stay.
  static bool CenterWindow(HWND window, HWND reference);

  // Public, as the mix-ins of a window class reach the window through their host.
  HWND m_hWnd;

protected:
  // The message-map step that sends a control's notification back to the control as
  // kReflectedMessageBase + message. Leaves `handled` false for messages that name no control.
  LRESULT ReflectNotifications(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
};

// Makes `window` the foreground window even while another program's window has the foreground:
// the input of the two threads is joined for the moment of the switch and the foreground lock
// time-out is lifted around it.
void BringToForeground(HWND window);
