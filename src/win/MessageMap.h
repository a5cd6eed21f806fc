// Message maps: a window class lists the messages it handles at the top of its body, in the order
// in which they are tried, and chains to the maps of its mix-ins.
//
//   BEGIN_MSG_MAP(CMyDlg)
//     MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
//     COMMAND_ID_HANDLER(IDCANCEL, OnClose)
//     CHAIN_MSG_MAP(CSomeMixin<CMyDlg>)
//     REFLECT_NOTIFICATIONS()
//   END_MSG_MAP()
//
// The map becomes ProcessWindowMessage, which returns whether the message was handled and puts
// the result in `result`. Handlers are members:
//   LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
//   LRESULT OnCommand(WORD code, WORD id, HWND control, bool& handled);
// `handled` arrives true; a handler that only observes a message sets it false, and the message
// goes on down the map (and to the default processing if nothing else takes it).
#pragma once

#include <windows.h>

#define BEGIN_MSG_MAP(theClass)                                                            \
 public:                                                                                   \
  bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,         \
                            LRESULT& result) {                                             \
    static_cast<void>(hwnd);                                                               \
    bool handled = true;                                                                   \
    static_cast<void>(handled);

#define MESSAGE_HANDLER(msg, func)                                                         \
    if (message == (msg)) {                                                                \
      handled = true;                                                                      \
      result = func(message, wParam, lParam, handled);                                     \
      if (handled) return true;                                                            \
    }

#define COMMAND_ID_HANDLER(id, func)                                                       \
    if (message == WM_COMMAND && LOWORD(wParam) == (id)) {                                 \
      handled = true;                                                                      \
      result = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), handled); \
      if (handled) return true;                                                            \
    }

#define CHAIN_MSG_MAP(theChainClass)                                                       \
    if (theChainClass::ProcessWindowMessage(hwnd, message, wParam, lParam, result)) return true;

#define REFLECT_NOTIFICATIONS()                                                            \
    {                                                                                      \
      handled = true;                                                                      \
      result = ReflectNotifications(message, wParam, lParam, handled);                     \
      if (handled) return true;                                                            \
    }

#define END_MSG_MAP()                                                                      \
    return false;                                                                          \
  }
