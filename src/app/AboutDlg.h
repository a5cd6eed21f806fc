// CAboutDlg: the modal about box with the program icon, name, version and maker, a link to the
// home page that opens in the default browser and one to the libraries' licence texts, which
// travel beside the program as THIRD-PARTY-NOTICES.txt.
#pragma once

#include <windows.h>

#include "base/Handle.h"
#include "res/ResourceIds.h"
#include "win/Dialog.h"
#include "win/MessageMap.h"

class CAboutDlg : public CDialogImpl<CAboutDlg> {
public:
  enum { IDD = IDD_ABOUT };

  BEGIN_MSG_MAP(CAboutDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    MESSAGE_HANDLER(WM_SETCURSOR, OnSetCursor)
    MESSAGE_HANDLER(WM_CTLCOLORSTATIC, OnCtlColorStatic)
    COMMAND_ID_HANDLER(IDC_HOME_LINK, OnLink)
    COMMAND_ID_HANDLER(IDC_NOTICES_LINK, OnLink)
    COMMAND_ID_HANDLER(IDOK, OnCloseCommand)
    COMMAND_ID_HANDLER(IDCANCEL, OnCloseCommand)
  END_MSG_MAP()

private:
  LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  LRESULT OnSetCursor(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  LRESULT OnCtlColorStatic(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  LRESULT OnLink(WORD code, WORD id, HWND control, bool& handled);
  LRESULT OnCloseCommand(WORD code, WORD id, HWND control, bool& handled);
  bool IsLink(HWND control) const;

  // The dialog font underlined, for the links; lives until the object ends, after the box.
  CFontHandle m_linkFont;
};
