// The main dialog's side of a job: from a drop to the running state, the progress tick (on the
// taskbar button too), and the three ways a job ends (completed, cancelled, or stopped by the
// first failed file).
#include "app/MainDlg.h"

#include <commctrl.h>

#include "base/ResourceText.h"
#include "settings/Settings.h"
#include "win/Window.h"

namespace {

// Animates the trailing full stops of the status line across all jobs; never reset.
int g_tickCounter = 0;

}  // namespace

bool CMainDlg::HitDropFolder(POINT screenPoint) {
  for (const boost::shared_ptr<CShrinkController>& panel : m_panels) {
    if (panel->HitFolder(screenPoint)) return true;
  }
  return false;
}

void CMainDlg::SetDroppedFiles(const CFileListPtr& files, POINT screenPoint, WPARAM source) {
  m_pendingFiles = files;
  m_lastDropPoint = screenPoint;
  m_pendingSource = source;
}

// Only paths from outside join: a drag released over the window may lie on a folder field, where
// more paths would change what it means.
bool CMainDlg::JoinPendingStart(const CFileListPtr& files) {
  if (!m_pendingFiles || m_pendingSource != kFromOutside) return false;
  for (const std::wstring& path : *files) m_pendingFiles->Add(path);
  return true;
}

int CMainDlg::ShowMessage(const std::wstring& text, UINT flags) {
  const COpenBox box = OpenBox();
  return CSimpleMsgImpl::ShowMessage(text, flags);
}

int CMainDlg::ShowMessageId(unsigned id, UINT flags) {
  const COpenBox box = OpenBox();
  return CSimpleMsgImpl::ShowMessageId(id, flags);
}

CMainDlg::COpenBox CMainDlg::OpenBox() {
  ++m_openBoxes;
  return COpenBox(this);
}

// A start whose kDropReadyMessage a box's own loop handed over waited for the last box to close;
// it goes on now, from the window's own loop.
void CMainDlg::CloseBox() {
  if (--m_openBoxes > 0 || !m_startDeferred) return;
  m_startDeferred = false;
  PostMessageW(m_hWnd, kDropReadyMessage, m_pendingSource, 0);
}

// A drop's copies wait for the job start that follows the drop (StartShrink); a drop that
// starts no job lets them go with the next drop.
void CMainDlg::TakeDropCopies(CDropFolder copies) {
  m_dropCopies = std::move(copies);
}

LRESULT CMainDlg::OnDropReady(UINT, WPARAM, LPARAM, bool&) {
  // A box's loop (a refused drop's message, say) handles this too: the start waits for the box.
  if (m_openBoxes > 0) {
    m_startDeferred = m_pendingFiles != nullptr;
    return 0;
  }
  // The start takes its paths: later paths from outside no longer join them. It counts as a box
  // until it runs (a panel's message about a folder drop is one).
  CFileListPtr files;
  files.swap(m_pendingFiles);
  if (!files) return 0;
  const COpenBox step = OpenBox();
  BringToForeground(m_hWnd);
  // Paths from outside never lie on a folder field, wherever the last drag was released.
  if (m_pendingSource == kDroppedOnWindow) {
    for (const boost::shared_ptr<CShrinkController>& panel : m_panels) {
      if (panel->DropOnFolder(m_lastDropPoint, *files)) {
        m_dropCopies.Reset();
        return 0;
      }
    }
  }
  StartShrink(files);
  return 0;
}

bool CMainDlg::ValidateProfiles(bool show) {
  for (const boost::shared_ptr<CShrinkController>& panel : m_panels) {
    if (!panel->Collect(show)) return false;
  }
  for (const boost::shared_ptr<CShrinkController>& panel : m_panels) {
    panel->RefreshFolderList();
    panel->RefreshPrefixList();
  }
  return true;
}

void CMainDlg::StartShrink(const CFileListPtr& files) {
  EndPreviousJob();
  // The drop's private copies go with this start: the session keeps them until the job ends, and
  // a start that ends early lets them go.
  CKeepAlive copies(std::move(m_dropCopies));
  if (!ValidateProfiles(true)) return;
  CWindowW::GetItemText(GetDlgItem(m_hWnd, IDC_STATUS), &m_statusBeforeListing, false);
  const StartOutcome outcome = Start(*files, GetSettings().Profiles, std::move(copies), Listing::OnThread);
  if (outcome != StartOutcome::Listing) {
    ShowStartOutcome(outcome);
    return;
  }
  // A dropped folder may hold a tree of many thousands of files: they are listed on a thread of
  // their own while the window, in its running state, takes no drop but a cancel or a close.
  SetRunning(true);
  CWindowW::SetItemTextFromString(GetDlgItem(m_hWnd, IDC_STATUS), IDS_STATUS_LISTING, true);
}

// Listing thread.
void CMainDlg::OnListingEnded(unsigned round) {
  PostMessageW(m_hWnd, kListingDoneMessage, round, 0);
}

// A listing stopped by a cancel may post its end after the next drop has begun another: the
// session goes on with the present round's end only.
LRESULT CMainDlg::OnListingDone(UINT, WPARAM round, LPARAM, bool&) {
  ShowStartOutcome(ContinueStart(static_cast<unsigned>(round)));
  return 0;
}

// Idle while the start's checks show their refusal (the focus goes to the field to mend) or ask
// their question: no worker runs, so 中止 is off; the start still counts as running until its job
// does.
void CMainDlg::OnChecking() {
  SetRunning(false);
  CWindowW::SetItemText(GetDlgItem(m_hWnd, IDC_STATUS), m_statusBeforeListing, true);
}

void CMainDlg::OnChecked() {
  if (!GetSettings().SaveSettings()) ShowMessageId(IDS_MSG_SAVE_SETTINGS_FAILED, MB_ICONERROR);
}

void CMainDlg::ShowStartOutcome(StartOutcome outcome) {
  switch (outcome) {
    case StartOutcome::Running:
    case StartOutcome::NoWorker:  // a worker that cannot start leaves the job waiting for a cancel
      SetRunning(true);
      StartTimer();
      break;
    case StartOutcome::Stopped:
      CWindowW::SetItemTextFromString(GetDlgItem(m_hWnd, IDC_STATUS), IDS_STATUS_ABORTED, true);
      SetRunning(false);
      break;
    case StartOutcome::Busy:     // the window refuses drops before: never here
    case StartOutcome::Listing:  // shown by StartShrink
    case StartOutcome::Stale:
    case StartOutcome::Refused:  // its box has been shown
      break;
  }
}

// An empty folder is worded as the panels word it, with the id of the field to fill.
void CMainDlg::ShowStartError(const StartRefusal& refusal) {
  const int profile = refusal.profile;
  const bool panel = profile >= 0 && static_cast<size_t>(profile) < m_panels.size();
  if (refusal.kind == StartRefusalKind::FolderEmpty && panel) {
    ShowMessage(FormattedResourceString(IDS_MSG_FOLDER_EMPTY, m_panels[profile]->GetIds().Folder), MB_ICONERROR);
  } else {
    ShowMessage(refusal.text, MB_ICONERROR);
  }
  if (!panel) return;
  const PanelControlIds& ids = m_panels[profile]->GetIds();
  const HWND control = GetDlgItem(m_hWnd, refusal.field == ProfileField::Prefix ? ids.Prefix : ids.Folder);
  SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

bool CMainDlg::ConfirmOverwrite(const std::wstring& question) {
  return ShowMessage(question, MB_YESNO) == IDYES;
}

void CMainDlg::OnTick() {
  CShrinkTaskExPtr failed = CollectFinished();
  if (failed) {
    AbortJob(failed);
    return;
  }
  // The 32-bit range message keeps the bar true for jobs of more than 65,535 files.
  HWND progress = GetDlgItem(m_hWnd, IDC_PROGRESS);
  SendMessageW(progress, PBM_SETRANGE32, 0, GetTotal());
  SendMessageW(progress, PBM_SETPOS, static_cast<WPARAM>(GetDone()), 0);
  TaskbarButton().ShowProgress(static_cast<ULONGLONG>(GetDone()), static_cast<ULONGLONG>(GetTotal()));
  if (IsWorkerRunning()) {
    std::wstring text;
    FormatResourceString(&text, IDS_STATUS_PROGRESS, GetDone() + 1, GetTotal());
    text.append(static_cast<size_t>(g_tickCounter % 10), L'.');
    CWindowW::SetItemText(GetDlgItem(m_hWnd, IDC_STATUS), text, true);
    ++g_tickCounter;
    return;
  }
  if (!IsCancelled() && GetDone() < GetTotal()) return;  // the last task is collected by the next tick
  FinishJob();
}

// A start ends at once; a job's worker is told to stop, and the ticks that follow see it end.
LRESULT CMainDlg::OnCancelJob(WORD, WORD, HWND, bool&) {
  if (Cancel()) ShowStartOutcome(StartOutcome::Stopped);
  return 0;
}

void CMainDlg::AbortJob(const CShrinkTaskExPtr& failed) {
  StopTimer();
  Abort();  // the worker has ended, and what the job kept alive has gone
  CWindowW::SetItemTextFromString(GetDlgItem(m_hWnd, IDC_STATUS), IDS_STATUS_ABORTED, true);
  // Idle before the box: 中止 has no worker to stop, and the box itself refuses drops and
  // hand-overs until it is closed. The button shows the failure while the box does; the user
  // may be in another window.
  SetRunning(false);
  TaskbarButton().ShowError();
  TaskbarButton().FlashIfBehind();
  ShowMessage(failed->GetErrorText(), MB_ICONERROR);
  TaskbarButton().Clear();
}

// A drop is taken only once the worker has ended, but the previous job's last tick may still be
// due. Its timer is stopped before anything of the new job, and the old job ends here as its tick
// would have ended it (its failed file shown, or its final status: unfinished when its worker
// ended before every file was done), so no old tick can come while the new start asks its
// question and collect or cancel the new job's tasks.
void CMainDlg::EndPreviousJob() {
  if (!IsTimerRunning()) return;
  StopTimer();
  CShrinkTaskExPtr failed = CollectFinished();
  if (failed) {
    AbortJob(failed);
  } else {
    FinishJob();
  }
}

void CMainDlg::FinishJob() {
  StopTimer();
  Finish();  // the worker has ended, and what the job kept alive has gone
  HWND status = GetDlgItem(m_hWnd, IDC_STATUS);
  if (IsCancelled() || GetDone() < GetTotal()) {
    CWindowW::SetItemTextFromString(status, IDS_STATUS_ABORTED, true);
  } else {
    std::wstring text;
    FormatResourceString(&text, IDS_STATUS_FINISHED, GetTotal());
    CWindowW::SetItemText(status, text, true);
  }
  TaskbarButton().Clear();
  FlashWindow(m_hWnd, TRUE);
  TaskbarButton().FlashIfBehind();
  SetRunning(false);
}
