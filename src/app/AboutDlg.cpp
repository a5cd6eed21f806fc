// The about box.
#include "app/AboutDlg.h"

#include <shellapi.h>

#include <string>

#include "base/FilePaths.h"
#include "res/Version.h"

namespace {

// The licence file beside the running program, as the release package places it.
std::wstring NoticesPath() {
  std::wstring path = ProgramFile();
  if (path.empty()) return path;
  path.resize(path.find_last_of(L'\\') + 1);
  return path + L"" KESTRELLE_NOTICES_FILE;
}

}  // namespace

LRESULT CAboutDlg::OnInitDialog(UINT, WPARAM, LPARAM, bool&) {
  CenterWindow(m_hWnd, nullptr);
  const wchar_t* bits = sizeof(void*) == 4 ? L"32 ビット版" : L"64 ビット版";
  const std::wstring about = L"" KESTRELLE_PRODUCT L" バージョン " KESTRELLE_VERSION_TEXT L" (" +
                             std::wstring(bits) + L")\n\n" KESTRELLE_COPYRIGHT;
  SetDlgItemTextW(m_hWnd, IDC_ABOUT_TEXT, about.c_str());
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
  LOGFONTW description;
  if (font && GetObjectW(font, sizeof description, &description) == sizeof description) {
    description.lfUnderline = TRUE;
    m_linkFont.Reset(CreateFontIndirectW(&description));
    if (m_linkFont.Get()) {
      for (int link : {IDC_HOME_LINK, IDC_NOTICES_LINK}) {
        SendDlgItemMessageW(m_hWnd, link, WM_SETFONT, reinterpret_cast<WPARAM>(m_linkFont.Get()), TRUE);
      }
    }
  }
  return TRUE;
}

LRESULT CAboutDlg::OnSetCursor(UINT, WPARAM wParam, LPARAM, bool& handled) {
  if (!IsLink(reinterpret_cast<HWND>(wParam))) {
    handled = false;
    return FALSE;
  }
  SetCursor(LoadCursorW(nullptr, IDC_HAND));
  return TRUE;
}

LRESULT CAboutDlg::OnCtlColorStatic(UINT, WPARAM wParam, LPARAM lParam, bool&) {
  HDC dc = reinterpret_cast<HDC>(wParam);
  const bool link = IsLink(reinterpret_cast<HWND>(lParam));
  SetTextColor(dc, link ? RGB(0, 0, 255) : GetSysColor(COLOR_BTNTEXT));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

bool CAboutDlg::IsLink(HWND control) const {
  return control && (control == GetItem(IDC_HOME_LINK) || control == GetItem(IDC_NOTICES_LINK));
}

// The home page opens in the browser, the notices in the editor that opens text files.
LRESULT CAboutDlg::OnLink(WORD, WORD id, HWND, bool&) {
  std::wstring address;
  if (id == IDC_NOTICES_LINK) {
    address = NoticesPath();
  } else {
    GetItemText(GetItem(IDC_HOME_LINK), &address, true);
  }
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
