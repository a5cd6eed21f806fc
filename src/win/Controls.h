// CButtonW and CComboBoxW: thin wrappers over the window handle of a button and of a combo box,
// with the few control messages the panels send. Like CWindowW they own nothing.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "win/Window.h"

class CButtonW : public CWindowW {
public:
  explicit CButtonW(HWND window = nullptr) : CWindowW(window) {}

  bool IsChecked() const { return SendMessageW(m_hWnd, BM_GETCHECK, 0, 0) == BST_CHECKED; }
  void SetCheck(bool check) const {
    SendMessageW(m_hWnd, BM_SETCHECK, check ? BST_CHECKED : BST_UNCHECKED, 0);
  }
};

class CComboBoxW : public CWindowW {
public:
  explicit CComboBoxW(HWND window = nullptr) : CWindowW(window) {}

  int GetCount() const { return static_cast<int>(SendMessageW(m_hWnd, CB_GETCOUNT, 0, 0)); }
  // The selected position, or CB_ERR (-1) with none.
  int GetCurSel() const { return static_cast<int>(SendMessageW(m_hWnd, CB_GETCURSEL, 0, 0)); }
  // -1 clears the selection (and with it the edit field).
  void SetCurSel(int position) const {
    SendMessageW(m_hWnd, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
  }
  int AddString(const std::wstring& text) const {
    return static_cast<int>(
        SendMessageW(m_hWnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
  }
  // The first item equal to `text`, letter case ignored (the control's own comparison); CB_ERR
  // when there is none.
  int FindStringExact(const std::wstring& text) const {
    return static_cast<int>(SendMessageW(m_hWnd, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(text.c_str())));
  }
  // The text of item `position`; false when it cannot be read.
  bool GetLBText(int position, std::wstring* text) const {
    LRESULT length = SendMessageW(m_hWnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(position), 0);
    if (length == CB_ERR || length < 0) return false;
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    LRESULT copied = SendMessageW(m_hWnd, CB_GETLBTEXT, static_cast<WPARAM>(position),
                                  reinterpret_cast<LPARAM>(buffer.data()));
    if (copied == CB_ERR || copied < 0) return false;
    text->assign(buffer.data(), static_cast<size_t>(copied));
    return true;
  }
  // Selects characters [start, end) of the edit field; -1 as end means to the end of the text.
  void SetEditSel(int start, int end) const {
    SendMessageW(m_hWnd, CB_SETEDITSEL, 0, MAKELPARAM(start, end));
  }
  void SetDroppedWidth(int width) const {
    SendMessageW(m_hWnd, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(width), 0);
  }
};
