// CWindowImpl: takes over a window that already exists (a control of a dialog template) by
// subclassing it. The class T sees every message first through its message map; what it does not
// handle goes on to the window procedure it replaced, and that procedure is put back when the
// window is destroyed or the object lets go of it.
#pragma once

#include <windows.h>

#include "win/Window.h"

// Window properties that tie a subclassed window to its object and to the replaced procedure.
// The procedure is kept on the window itself, so a window whose object has gone while another
// subclass sat on top of it still reaches the procedure below.
const wchar_t kSubclassOwnerProperty[] = L"Kestrelle.SubclassOwner";
const wchar_t kSubclassNextProperty[] = L"Kestrelle.SubclassNext";

template <class T, class TBase = CWindowW>
class CWindowImpl : public TBase {
public:
  CWindowImpl() = default;
  CWindowImpl(const CWindowImpl&) = delete;
  CWindowImpl& operator=(const CWindowImpl&) = delete;
  ~CWindowImpl() { UnsubclassWindow(); }

  // False when this object already has a window, or the window is gone or taken by another.
  bool SubclassWindow(HWND window) {
    if (this->m_hWnd || !::IsWindow(window) || GetPropW(window, kSubclassOwnerProperty) ||
        GetPropW(window, kSubclassNextProperty)) {
      return false;
    }
    if (!SetPropW(window, kSubclassOwnerProperty, this)) return false;
    WNDPROC previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc)));
    if (!previous || !SetPropW(window, kSubclassNextProperty, reinterpret_cast<HANDLE>(previous))) {
      if (previous) SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
      RemovePropW(window, kSubclassOwnerProperty);
      return false;
    }
    m_previous = previous;
    this->m_hWnd = window;
    return true;
  }

  // Puts the replaced procedure back. When another subclass has been put on top since, ours stays
  // in the chain and only passes messages on.
  void UnsubclassWindow() {
    HWND window = this->m_hWnd;
    if (!window) return;
    this->m_hWnd = nullptr;
    if (!::IsWindow(window) || GetPropW(window, kSubclassOwnerProperty) != this) return;
    RemovePropW(window, kSubclassOwnerProperty);
    if (GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&WindowProc)) {
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
      RemovePropW(window, kSubclassNextProperty);
    }
    m_previous = nullptr;
  }

protected:
  // The replaced procedure's answer to a message.
  LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(m_previous, this->m_hWnd, message, wParam, lParam);
  }

private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC next = reinterpret_cast<WNDPROC>(GetPropW(window, kSubclassNextProperty));
    auto* self = static_cast<CWindowImpl*>(GetPropW(window, kSubclassOwnerProperty));
    if (message == WM_NCDESTROY) {
      if (GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&WindowProc)) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(next));
      }
      RemovePropW(window, kSubclassOwnerProperty);
      RemovePropW(window, kSubclassNextProperty);
      if (self) {
        self->m_hWnd = nullptr;
        self->m_previous = nullptr;
      }
    } else if (self) {
      LRESULT result = 0;
      try {
        if (static_cast<T*>(self)->ProcessWindowMessage(window, message, wParam, lParam, result)) {
          return result;
        }
      } catch (...) {
        // Nothing may unwind through the window system: the message goes on as if unhandled.
      }
    }
    return next ? CallWindowProcW(next, window, message, wParam, lParam)
                : ::DefWindowProcW(window, message, wParam, lParam);
  }

  WNDPROC m_previous = nullptr;
};
