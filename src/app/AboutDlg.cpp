// The about box.
#include "app/AboutDlg.h"

#include <shellapi.h>

#include <string>

LRESULT CAboutDlg::OnInitDialog(UINT, WPARAM, LPARAM, bool&) {
  CenterWindow(m_hWnd, nullptr);
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
  LOGFONTW description;
  if (font && GetObjectW(font, sizeof description, &description) == sizeof description) {
    description.lfUnderline = TRUE;
    m_linkFont.Reset(CreateFontIndirectW(&description));
    if (m_linkFont.Get()) {
      SendDlgItemMessageW(m_hWnd, IDC_HOME_LINK, WM_SETFONT,
                          reinterpret_cast<WPARAM>(m_linkFont.Get()), TRUE);
    }
  }
  return TRUE;
}

LRESULT CAboutDlg::OnSetCursor(UINT, WPARAM wParam, LPARAM, bool& handled) {
  if (reinterpret_cast<HWND>(wParam) != GetItem(IDC_HOME_LINK)) {
    handled = false;
    return FALSE;
  }
  SetCursor(LoadCursorW(nullptr, IDC_HAND));
  return TRUE;
}

LRESULT CAboutDlg::OnCtlColorStatic(UINT, WPARAM wParam, LPARAM lParam, bool&) {
  HDC dc = reinterpret_cast<HDC>(wParam);
  const bool link = reinterpret_cast<HWND>(lParam) == GetItem(IDC_HOME_LINK);
  SetTextColor(dc, link ? RGB(0, 0, 255) : GetSysColor(COLOR_BTNTEXT));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT CAboutDlg::OnLink(WORD, WORD, HWND, bool&) {
  std::wstring address;
  GetItemText(GetItem(IDC_HOME_LINK), &address, true);
  SHELLEXECUTEINFOW execute = {};
  execute.cbSize = sizeof execute;
  execute.lpFile = address.c_str();
  execute.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&execute)) MessageBeep(MB_OK);
  return 0;
}

LRESULT CAboutDlg::OnCloseCommand(WORD, WORD id, HWND, bool&) {
  EndDialog(id);
  return 0;
}
