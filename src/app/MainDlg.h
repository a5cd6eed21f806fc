// CMainDlg: the program's one top-level window, a modeless dialog. This is its frame: the message
// map, initialisation, the close and about commands, the edit commands reached through the
// accelerators, the idle and running states of its buttons, and the teardown that records the
// window's place and saves the settings.
#pragma once

#include <windows.h>

#include <vector>

#include <boost/shared_ptr.hpp>

#include "app/DialogEdit.h"
#include "app/drop/DropTarget.h"
#include "app/InstanceHandOver.h"
#include "app/SendToShortcut.h"
#include "app/TaskbarProgress.h"
#include "base/Handle.h"
#include "base/Scoped.h"
#include "job/FileList.h"
#include "job/JobSession.h"
#include "job/ShrinkTaskEx.h"
#include "panel/ShrinkController.h"
#include "res/ResourceIds.h"
#include "res/StringIds.h"
#include "win/AppMessages.h"
#include "win/Dialog.h"
#include "win/MessageLoop.h"
#include "win/MessageMap.h"
#include "win/SimpleMsg.h"
#include "win/SingleTimer.h"

// The dialog is its job session's client. It derives from the session, protected: what a job
// does is reached through the session's own calls, and nothing outside the dialog reaches the job.
class CMainDlg : public CDialogImpl<CMainDlg>,
                 public CDialogEdit<CMainDlg>,
                 public CDropTargetImpl<CMainDlg>,
                 public CHandOverTargetImpl<CMainDlg>,
                 public CSendToMenuImpl<CMainDlg>,
                 public CTaskbarButtonImpl<CMainDlg>,
                 public CSingleTimerImpl<CMainDlg, 200, 1>,
                 public CSimpleMsgImpl<CMainDlg, IDS_CAPTION_ERROR, IDS_CAPTION_CONFIRM>,
                 public CShrinkControllerClient,
                 public CJobSessionClient,
                 protected CJobSession,
                 public CMessageFilter {
public:
  enum { IDD = IDD_MAIN };
  // The job's progress tick, 200 ms on timer 1: it collects the finished tasks. The worker never
  // touches a window: the dialog polls.
  typedef CSingleTimerImpl<CMainDlg, 200, 1> CJobTimer;

  BEGIN_MSG_MAP(CMainDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    COMMAND_ID_HANDLER(IDCANCEL, OnClose)
    MESSAGE_HANDLER(kDropReadyMessage, OnDropReady)
    MESSAGE_HANDLER(kListingDoneMessage, OnListingDone)
    COMMAND_ID_HANDLER(ID_APP_ABOUT, OnAbout)
    COMMAND_ID_HANDLER(IDC_CANCEL_JOB, OnCancelJob)
    CHAIN_MSG_MAP(CDialogEdit<CMainDlg>)
    CHAIN_MSG_MAP(CJobTimer)
    CHAIN_MSG_MAP(CDropTargetImpl<CMainDlg>)
    CHAIN_MSG_MAP(CHandOverTargetImpl<CMainDlg>)
    CHAIN_MSG_MAP(CSendToMenuImpl<CMainDlg>)
    CHAIN_MSG_MAP(CTaskbarButtonImpl<CMainDlg>)
    REFLECT_NOTIFICATIONS()
  END_MSG_MAP()

  CMainDlg() : CJobSession(this) {}
  ~CMainDlg();

  // Running: the cancel button is enabled and is what Enter presses, the about button is
  // disabled, and of the panels only the open-folder buttons stay enabled. Idle: the reverse.
  void SetRunning(bool running);

  // Accelerators first, then dialog navigation.
  bool PreTranslateMessage(MSG* message) override;

  // The job (MainDlgJob.cpp). The panels' values are read into their profiles, the first
  // invalid one stopping the check (with its message when `show`); the job start checks the
  // profiles together.
  bool ValidateProfiles(bool show);
  void StartShrink(const CFileListPtr& files);
  // The 200 ms tick of a running job: progress (the bar and the taskbar button), status line, and
  // the end of the job.
  void OnTick();

  // What the drop target and the hand-over ask of the dialog. A start counts as running from the
  // moment its paths are taken: a second drop would otherwise replace them, and its question and
  // messages are modal. So does any box of the dialog: a job started from inside one would run
  // behind it. A job whose worker has ended is not running, though its last tick may be due: the
  // next start ends it first (EndPreviousJob).
  bool IsJobRunning() {
    return m_pendingFiles || m_openBoxes > 0 || IsStarting() || IsWorkerRunning();
  }
  bool HitDropFolder(POINT screenPoint);
  void SetDroppedFiles(const CFileListPtr& files, POINT screenPoint, WPARAM source);
  bool JoinPendingStart(const CFileListPtr& files);
  void TakeDropCopies(CDropFolder copies);

  // The dialog's message boxes (CSimpleMsgImpl's, which these hide), each counted while it is
  // open.
  int ShowMessage(const std::wstring& text, UINT flags);
  int ShowMessageId(unsigned id, UINT flags);

private:
  // One open box or other modal step of the dialog, counted while its owner lives; the last to
  // close lets a start that waited for it go on.
  struct OpenBoxTraits {
    typedef CMainDlg* Type;
    static CMainDlg* Empty() { return nullptr; }
    static bool IsEmpty(CMainDlg* dialog) { return !dialog; }
    static void Release(CMainDlg* dialog) { dialog->CloseBox(); }
  };
  typedef CScoped<OpenBoxTraits> COpenBox;
  COpenBox OpenBox();
  void CloseBox();

  LRESULT OnInitDialog(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  LRESULT OnDestroy(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  LRESULT OnClose(WORD code, WORD id, HWND control, bool& handled);
  LRESULT OnAbout(WORD code, WORD id, HWND control, bool& handled);
  LRESULT OnDropReady(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  LRESULT OnCancelJob(WORD code, WORD id, HWND control, bool& handled);
  // A drop's paths are listed on the session's thread; its end, posted here, goes on with the
  // start.
  void OnListingEnded(unsigned round) override;
  LRESULT OnListingDone(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  void OnChecking() override;
  void OnChecked() override;
  // What a start's outcome shows.
  void ShowStartOutcome(StartOutcome outcome);
  void AbortJob(const CShrinkTaskExPtr& failed);
  void FinishJob();
  void EndPreviousJob();
  // The job start's refusals and question, as message boxes of the dialog.
  void ShowStartError(const StartRefusal& refusal) override;
  bool ConfirmOverwrite(const std::wstring& question) override;

  void LoadIcons();
  // The three profile panels, each bound to its profile record of the settings.
  void CreatePanels();

  // Every panel, the sender included, refills its list from the shared history.
  void OnFolderHistoryChanged(CShrinkController* sender) override;
  void OnPrefixHistoryChanged(CShrinkController* sender) override;

  std::vector<boost::shared_ptr<CShrinkController>> m_panels;  // panels 1, 2, 3

  CAccelHandle m_accelerators;
  CIconHandle m_bigIcon;
  CIconHandle m_smallIcon;
  CMessageLoop* m_loop = nullptr;  // the loop our filter is registered with
  // An accepted drop's paths until its kDropReadyMessage takes them, where it was dropped (in
  // screen coordinates) and whence (kDroppedOnWindow, kFromOutside).
  CFileListPtr m_pendingFiles;
  POINT m_lastDropPoint = {0, 0};
  WPARAM m_pendingSource = kDroppedOnWindow;
  int m_openBoxes = 0;              // boxes and other modal steps of the dialog now open
  bool m_startDeferred = false;     // a kDropReadyMessage came inside a box: posted again after it
  std::wstring m_statusBeforeListing;  // put back once listed: a refused start leaves it
  // Private copies of dropped items without a file of their own: the last drop's until a job
  // start takes them (the session keeps them until the job ends). Releasing them removes their
  // files.
  CDropFolder m_dropCopies;
};
