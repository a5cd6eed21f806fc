// CSimpleMsgImpl: message boxes owned by the host's window, captioned by string-table entries:
// TErrorCaption when the error icon is asked for, TConfirmCaption otherwise.
#pragma once

#include <windows.h>

#include <string>

#include "base/ResourceText.h"

template <class T, unsigned TErrorCaption, unsigned TConfirmCaption>
class CSimpleMsgImpl {
public:
  // Flags are MessageBox's (icon and buttons); returns the button pressed.
  int ShowMessage(const std::wstring& text, UINT flags) {
    const std::wstring& caption = (flags & MB_ICONERROR) != 0
                                      ? Caption(&m_errorCaption, &m_errorLoaded, TErrorCaption)
                                      : Caption(&m_confirmCaption, &m_confirmLoaded, TConfirmCaption);
    return MessageBoxW(static_cast<T*>(this)->GetHwnd(), text.c_str(), caption.c_str(), flags);
  }
  // The text is string-table entry `id` (empty when there is none).
  int ShowMessageId(unsigned id, UINT flags) {
    std::wstring text;
    LoadResourceString(&text, id);
    return ShowMessage(text, flags);
  }

private:
  // Loaded on first use and kept; a missing entry leaves the caption empty.
  static const std::wstring& Caption(std::wstring* caption, bool* loaded, unsigned id) {
    if (!*loaded) {
      LoadResourceString(caption, id);
      *loaded = true;
    }
    return *caption;
  }

  std::wstring m_errorCaption;
  std::wstring m_confirmCaption;
  bool m_errorLoaded = false;
  bool m_confirmLoaded = false;
};
