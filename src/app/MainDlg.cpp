// The main dialog's frame.
#include "app/MainDlg.h"

#include <iterator>

#include "app/AboutDlg.h"
#include "app/Placement.h"
#include "settings/Settings.h"
#include "win/AppModule.h"

CMainDlg::~CMainDlg() {
  // The window may have gone without its teardown (a failed creation); the loop must not keep
  // a filter that is about to vanish.
  if (m_loop) m_loop->RemoveMessageFilter(this);
}

void CMainDlg::SetRunning(bool running) {
  EnableItem(ID_APP_ABOUT, !running);
  EnableItem(IDC_CANCEL_JOB, running);
  for (const boost::shared_ptr<CShrinkController>& panel : m_panels) panel->UpdateEnabled(running);
}

bool CMainDlg::PreTranslateMessage(MSG* message) {
  if (!m_hWnd || (message->hwnd != m_hWnd && !IsChild(m_hWnd, message->hwnd))) return false;
  if (m_accelerators.Get() && TranslateAcceleratorW(m_hWnd, m_accelerators.Get(), message)) {
    return true;
  }
  return IsDialogMessageW(m_hWnd, message) != FALSE;
}

LRESULT CMainDlg::OnInitDialog(UINT, WPARAM, LPARAM, bool&) {
  m_accelerators.Reset(LoadAcceleratorsW(GetAppModule().GetResourceInstance(),
                                         MAKEINTRESOURCEW(IDR_ACCELERATORS)));
  CenterWindow(m_hWnd, nullptr);
  LoadIcons();
  m_loop = GetAppModule().GetMessageLoop();
  if (m_loop) m_loop->AddMessageFilter(this);
  CreatePanels();
  RegisterDropTarget();  // without OLE the dialog simply takes no drops
  AddSendToMenuItem();
  ApplyTo(GetSettings().WindowPlacement, m_hWnd, KeepSize | ClampToVirtualScreen);
  return TRUE;
}

void CMainDlg::CreatePanels() {
  CSettings& settings = GetSettings();
  m_panels.clear();
  for (size_t i = 0; i < std::size(kPanelControlIds); ++i) {
    m_panels.push_back(boost::shared_ptr<CShrinkController>(
        new CShrinkController(m_hWnd, kPanelControlIds[i], settings.Profiles[i],
                              settings.FolderHistory, settings.PrefixHistory, this)));
  }
  // Attached once all three exist: a panel's history change reaches the others.
  for (const boost::shared_ptr<CShrinkController>& panel : m_panels) panel->Attach();
}

void CMainDlg::OnFolderHistoryChanged(CShrinkController*) {
  for (const boost::shared_ptr<CShrinkController>& panel : m_panels) panel->RefreshFolderList();
}

void CMainDlg::OnPrefixHistoryChanged(CShrinkController*) {
  for (const boost::shared_ptr<CShrinkController>& panel : m_panels) panel->RefreshPrefixList();
}

void CMainDlg::LoadIcons() {
  HINSTANCE instance = GetAppModule().GetResourceInstance();
  m_bigIcon.Reset(static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_KESTRELLE), IMAGE_ICON,
                 GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR)));
  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_bigIcon.Get()));
  m_smallIcon.Reset(static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_KESTRELLE), IMAGE_ICON,
                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR)));
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon.Get()));
}

LRESULT CMainDlg::OnDestroy(UINT, WPARAM, LPARAM, bool& handled) {
  // The chained handlers see this message too.
  handled = false;
  RevokeDropTarget();
  CSettings& settings = GetSettings();
  CaptureFrom(&settings.WindowPlacement, m_hWnd);
  // The window still exists here, so it owns the message box.
  if (!settings.SaveSettings()) ShowMessageId(IDS_MSG_SAVE_SETTINGS_FAILED, MB_OK | MB_ICONERROR);
  if (m_loop) m_loop->RemoveMessageFilter(this);
  m_loop = nullptr;
  // The window goes: its job with it, then every private copy of dropped items, once no worker
  // reads them.
  Close();
  m_dropCopies.Reset();
  return 0;
}

LRESULT CMainDlg::OnClose(WORD, WORD id, HWND, bool&) {
  // What the panels show is kept, up to the first panel that is not valid; then a running job is
  // told to quit and waited for before the window goes.
  ValidateProfiles(false);
  Close();
  DestroyWindow();
  PostQuitMessage(id);
  return 0;
}

LRESULT CMainDlg::OnAbout(WORD, WORD, HWND, bool&) {
  const COpenBox box = OpenBox();
  CAboutDlg about;
  about.DoModal(GetActiveWindow());
  return 0;
}
