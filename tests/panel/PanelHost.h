// What the panel tests share: a dialog from the main dialog's template whose three panels are
// run by CShrinkController exactly as the main dialog runs them, so that the tests can call the
// controllers' interface (collect, check, drop) while driving the real controls; and settings
// reset to their defaults around each test.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/GuiSupport.h"
#include "panel/ShrinkController.h"
#include "res/ResourceIds.h"
#include "win/Dialog.h"
#include "win/MessageMap.h"

class CPanelHost : public CDialogImpl<CPanelHost>, public CShrinkControllerClient {
public:
  enum { IDD = IDD_MAIN };

  BEGIN_MSG_MAP(CPanelHost)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    REFLECT_NOTIFICATIONS()
  END_MSG_MAP()

  CShrinkController& Panel(size_t index) { return *m_panels[index]; }
  int FolderChanges() const { return m_folderChanges; }
  int PrefixChanges() const { return m_prefixChanges; }

private:
  LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  void OnFolderHistoryChanged(CShrinkController* sender) override;
  void OnPrefixHistoryChanged(CShrinkController* sender) override;

  std::vector<std::unique_ptr<CShrinkController>> m_panels;
  int m_folderChanges = 0;
  int m_prefixChanges = 0;
};

class PanelTest : public DialogTest {
protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the host from the current settings and shows it; fails the test when it cannot.
  HWND OpenHost();
  HWND HostItem(int id) const { return GetDlgItem(m_host->GetHwnd(), id); }
  ShrinkProfile& Profile(size_t index) { return GetSettings().Profiles[index]; }

  // As the user does it: a choice from a combo box's list, and typing into its edit field. Both
  // run the loop until the box has settled.
  void Choose(int id, int position);
  void Type(int id, const std::wstring& text);

  std::unique_ptr<CPanelHost> m_host;
};

// The pixels of a window's client area as the screen shows them, as 0x00RRGGBB.
std::vector<DWORD> ClientPixels(HWND window, LONG* width, LONG* height);
