// The program's shortcut in the user's Send To folder ("Kestrelle.lnk"), and the system-menu item
// of the main window that adds or removes it.
#pragma once

#include <windows.h>

#include <string>

#include "base/FilePaths.h"
#include "base/ResourceText.h"
#include "res/ResourceIds.h"
#include "res/StringIds.h"
#include "win/MessageMap.h"

// The shortcut's path in the user's Send To folder; empty when the folder is unknown.
std::wstring SendToShortcutPath();
bool SendToShortcutExists();
// Writes the shortcut to `target` (with the target's folder as the working folder and its first
// icon), replacing one of the same name.
HRESULT CreateSendToShortcut(const std::wstring& target);
// S_OK also when there was none.
HRESULT RemoveSendToShortcut();

// The mix-in that puts the item on T's system menu. Its text says what choosing it does, decided
// each time the menu opens by whether the shortcut exists. What T supplies: HWND m_hWnd,
// int ShowMessage(const std::wstring& text, UINT flags).
template <class T>
class CSendToMenuImpl {
public:
  BEGIN_MSG_MAP(CSendToMenuImpl)
    MESSAGE_HANDLER(WM_INITMENUPOPUP, OnInitMenuPopup)
    MESSAGE_HANDLER(WM_SYSCOMMAND, OnSysCommand)
  END_MSG_MAP()

  // Called once the window exists: the item goes above the system menu's last item (Close).
  void AddSendToMenuItem() {
    HMENU menu = GetSystemMenu(static_cast<T*>(this)->m_hWnd, FALSE);
    if (!menu) return;
    const int count = GetMenuItemCount(menu);
    const UINT before = count > 0 ? static_cast<UINT>(count - 1) : 0;
    InsertMenuW(menu, before, MF_BYPOSITION | MF_STRING, ID_SENDTO_MENU,
                MenuText(SendToShortcutExists()).c_str());
    InsertMenuW(menu, before + 1, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
  }

private:
  static std::wstring MenuText(bool exists) {
    return ResourceString(exists ? IDS_MENU_SENDTO_REMOVE : IDS_MENU_SENDTO_ADD);
  }

  LRESULT OnInitMenuPopup(UINT, WPARAM wParam, LPARAM lParam, bool& handled) {
    handled = false;  // the dialog's own handling goes on
    if (!HIWORD(lParam)) return 0;
    ModifyMenuW(reinterpret_cast<HMENU>(wParam), ID_SENDTO_MENU, MF_BYCOMMAND | MF_STRING,
                ID_SENDTO_MENU, MenuText(SendToShortcutExists()).c_str());
    return 0;
  }

  LRESULT OnSysCommand(UINT, WPARAM wParam, LPARAM, bool& handled) {
    if ((wParam & 0xFFF0) != ID_SENDTO_MENU) {
      handled = false;
      return 0;
    }
    const bool exists = SendToShortcutExists();
    const HRESULT result = exists ? RemoveSendToShortcut() : CreateSendToShortcut(ProgramFile());
    if (FAILED(result)) {
      std::wstring text;
      FormatResourceString(&text, exists ? IDS_MSG_SENDTO_REMOVE_FAILED : IDS_MSG_SENDTO_FAILED,
                           SendToShortcutPath().c_str(), HResultText(result).c_str());
      static_cast<T*>(this)->ShowMessage(text, MB_OK | MB_ICONERROR);
    }
    return 0;
  }
};
