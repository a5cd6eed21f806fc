// CDialogW, a window wrapper for dialogs that reaches their items by id, and CDialogImpl, the
// base of every dialog class: it creates the dialog from the class's template T::IDD (modeless or
// modal), routes its messages to T's message map and keeps exceptions out of the window system.
#pragma once

#include <windows.h>

#include "win/AppModule.h"
#include "win/Window.h"

class CDialogW : public CWindowW {
public:
  explicit CDialogW(HWND dialog = nullptr) : CWindowW(dialog) {}

  using CWindowW::EnableItem;
  using CWindowW::SetItemCheck;
  HWND GetItem(int id) const { return GetDlgItem(m_hWnd, id); }
  bool EnableItem(int id, bool enable) const { return EnableItem(m_hWnd, id, enable); }
  bool SetItemCheck(int id, bool check) const { return SetItemCheck(m_hWnd, id, check); }
};

// What a dialog procedure returns for a message that its map did or did not handle.
INT_PTR DialogProcResult(HWND dialog, UINT message, bool handled, LRESULT result);

template <class T, class TBase = CDialogW>
class CDialogImpl : public TBase {
public:
  CDialogImpl() = default;
  CDialogImpl(const CDialogImpl&) = delete;
  CDialogImpl& operator=(const CDialogImpl&) = delete;
  // A window that outlives its object is cut loose from it before it is destroyed, so no message
  // reaches the half-destroyed object.
  ~CDialogImpl() {
    if (!this->IsWindow()) return;
    SetWindowLongPtrW(this->m_hWnd, DWLP_USER, 0);
    ::DestroyWindow(this->m_hWnd);
  }

  // Modeless; the window is null when it could not be created. `param` reaches WM_INITDIALOG.
  HWND Create(HWND parent, LPARAM param = 0) {
    m_param = param;
    return CreateDialogParamW(GetAppModule().GetResourceInstance(), MAKEINTRESOURCEW(T::IDD),
                              parent, DialogProc, reinterpret_cast<LPARAM>(static_cast<T*>(this)));
  }
  // Modal; the value given to EndDialog, or -1 when the dialog could not be created.
  INT_PTR DoModal(HWND owner, LPARAM param = 0) {
    m_param = param;
    return DialogBoxParamW(GetAppModule().GetResourceInstance(), MAKEINTRESOURCEW(T::IDD), owner,
                           DialogProc, reinterpret_cast<LPARAM>(static_cast<T*>(this)));
  }
  bool DestroyWindow() { return ::DestroyWindow(this->m_hWnd) != FALSE; }
  bool EndDialog(INT_PTR result) { return ::EndDialog(this->m_hWnd, result) != FALSE; }

private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      CDialogImpl* created = reinterpret_cast<T*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      created->m_hWnd = dialog;
      lParam = created->m_param;
    }
    T* self = reinterpret_cast<T*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!self) return FALSE;
    LRESULT result = 0;
    bool handled = false;
    try {
      handled = self->ProcessWindowMessage(dialog, message, wParam, lParam, result);
    } catch (...) {
      // Nothing may unwind through the window system: the message gets default processing.
      handled = false;
      result = 0;
    }
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrW(dialog, DWLP_USER, 0);
      static_cast<CDialogImpl*>(self)->m_hWnd = nullptr;
    }
    return DialogProcResult(dialog, message, handled, result);
  }

  LPARAM m_param = 0;
};
