// CMainDlg: the program's one top-level window, a modeless dialog. This is its frame: the message
// map, initialisation, the close and about commands, the edit commands reached through the
// accelerators, the idle and running states of its buttons, and the teardown that records the
// window's place and saves the settings.
#pragma once

#include <windows.h>

#include "app/DialogEdit.h"
#include "job/MultiTaskClient.h"
#include "job/ShrinkTaskEx.h"
#include "res/ResourceIds.h"
#include "res/StringIds.h"
#include "win/Dialog.h"
#include "win/Handles.h"
#include "win/MessageLoop.h"
#include "win/MessageMap.h"
#include "win/SimpleMsg.h"

class CMainDlg : public CDialogImpl<CMainDlg>,
                 public CDialogEdit<CMainDlg>,
                 public CMultiTaskClient<CMainDlg, CShrinkTaskEx, CShrinkTaskExClient>,
                 public CSimpleMsgImpl<CMainDlg, IDS_CAPTION_ERROR, IDS_CAPTION_CONFIRM>,
                 public CMessageFilter {
public:
  enum { IDD = IDD_MAIN };

  BEGIN_MSG_MAP(CMainDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    COMMAND_ID_HANDLER(IDCANCEL, OnClose)
    COMMAND_ID_HANDLER(ID_APP_ABOUT, OnAbout)
    CHAIN_MSG_MAP(CDialogEdit<CMainDlg>)
    REFLECT_NOTIFICATIONS()
  END_MSG_MAP()

  CMainDlg() = default;
  ~CMainDlg();

  // Running: the cancel button is enabled and is what Enter presses, the about button is
  // disabled. Idle: the reverse.
  void SetRunning(bool running);

  // Accelerators first, then dialog navigation.
  bool PreTranslateMessage(MSG* message) override;

private:
  LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  LRESULT OnDestroy(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  LRESULT OnClose(WORD code, WORD id, HWND control, bool& handled);
  LRESULT OnAbout(WORD code, WORD id, HWND control, bool& handled);

  void LoadIcons();

  CAccelHandle m_accelerators;
  CIconHandle m_bigIcon;
  CIconHandle m_smallIcon;
  CMessageLoop* m_loop = nullptr;  // the loop our filter is registered with
};
