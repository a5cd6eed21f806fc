// The main dialog's side of a job: from a drop to the running state, the progress tick, and the
// three ways a job ends (completed, cancelled, or stopped by the first failed file).
#include "app/MainDlg.h"

#include <commctrl.h>

#include "base/ResourceText.h"
#include "job/JobStart.h"
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

// A job still running when the window goes is told to quit and waited for before its copies go.
void CMainDlg::ReleaseDropCopies() {
  if (m_jobCopies.IsValid()) {
    Pool().QuitAll(true);
    Pool().WaitAll(INFINITE);
  }
  m_jobCopies.Reset();
  m_dropCopies.Reset();
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
  // A start counts as running until its checks are done: its messages and question are modal,
  // and a drop or hand-over taken meanwhile would start again inside them.
  m_starting = true;
  EndPreviousJob();
  // The drop's private copies go with this start: the job keeps them until it ends, and a start
  // that ends early lets them go.
  m_jobCopies = std::move(m_dropCopies);
  if (!ValidateProfiles(true)) {
    EndStartEarly();
    return;
  }
  // A dropped folder may hold a tree of many thousands of files: they are listed on a thread of
  // their own while the window, in its running state, takes no drop but a cancel or a close.
  SetRunning(true);
  CWindowW::GetItemText(GetDlgItem(m_hWnd, IDC_STATUS), &m_statusBeforeListing, false);
  CWindowW::SetItemTextFromString(GetDlgItem(m_hWnd, IDC_STATUS), IDS_STATUS_LISTING, true);
  ++m_listingRound;
  m_awaitingListing = m_listing.Begin(*files, GetSettings().Profiles, this);
  if (m_awaitingListing) return;
  StartListedJob(ListDroppedSources(*files, GetSettings().Profiles));  // no thread: list here
}

// Listing thread. The round cannot change meanwhile: a new listing begins only after this one's
// thread has ended.
void CMainDlg::OnListingFinished() {
  PostMessageW(m_hWnd, kListingDoneMessage, m_listingRound, 0);
}

// A listing stopped by a cancel may post its end after the next drop has begun another: only the
// present round's end is taken. Its thread posts as its last act, so the wait is short.
LRESULT CMainDlg::OnListingDone(UINT, WPARAM round, LPARAM, bool&) {
  if (!m_awaitingListing || round != m_listingRound) return 0;
  m_awaitingListing = false;
  m_listing.Wait(INFINITE);
  if (m_listing.Listed().stopped) {
    EndStartEarly();
    CWindowW::SetItemTextFromString(GetDlgItem(m_hWnd, IDC_STATUS), IDS_STATUS_ABORTED, true);
    SetRunning(false);
    return 0;
  }
  StartListedJob(m_listing.Listed());
  return 0;
}

// The rest of the start, with the dropped paths listed. Idle while the start's checks show their
// refusal (the focus goes to the field to mend) or ask their question: no worker runs, so 中止
// is off; the start still counts as running until its job does.
void CMainDlg::StartListedJob(const DroppedSources& listed) {
  SetRunning(false);
  CWindowW::SetItemText(GetDlgItem(m_hWnd, IDC_STATUS), m_statusBeforeListing, true);
  Pool().CancelAll(true);
  Pool().WaitAll(INFINITE);
  Pool().Pending().Clear();
  Pool().Cancelled().Clear();
  // A start that ends early leaves its queued tasks for the next start to discard.
  if (!PrepareJob(listed, GetSettings().Profiles, this, &Pool().Pending(), this)) {
    EndStartEarly();
    return;
  }
  if (!GetSettings().SaveSettings()) ShowMessageId(IDS_MSG_SAVE_SETTINGS_FAILED, MB_ICONERROR);
  m_starting = false;
  SetRunning(true);
  StartJob();
}

// A start refused, stopped or cancelled before its job began: the window takes drops again, and
// the private copies of its dropped items go.
void CMainDlg::EndStartEarly() {
  m_starting = false;
  m_jobCopies.Reset();
}

// Cancel and close alike: the listing ends before its next folder, and its end, when posted,
// finds nothing to start.
void CMainDlg::StopListing() {
  m_listing.SetCancel(true);
  m_listing.Wait(INFINITE);
  m_awaitingListing = false;
  // Only a start's own copies go here; a running job's go when its worker has ended.
  if (m_starting) EndStartEarly();
}

void CMainDlg::ShowStartError(const std::wstring& text, int profile, ProfileField field) {
  ShowMessage(text, MB_ICONERROR);
  if (profile < 0 || static_cast<size_t>(profile) >= m_panels.size()) return;
  const PanelControlIds& ids = m_panels[profile]->GetIds();
  const HWND control = GetDlgItem(m_hWnd, field == ProfileField::Prefix ? ids.Prefix : ids.Folder);
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
  if (Pool().AnyRunning()) {
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

LRESULT CMainDlg::OnCancelJob(WORD, WORD, HWND, bool&) {
  if (m_starting) {
    StopListing();
    CWindowW::SetItemTextFromString(GetDlgItem(m_hWnd, IDC_STATUS), IDS_STATUS_ABORTED, true);
    SetRunning(false);
    return 0;
  }
  Cancel();
  return 0;
}

void CMainDlg::AbortJob(const CShrinkTaskExPtr& failed) {
  StopTimer();
  Pool().CancelAll(true);
  Pool().WaitAll(INFINITE);
  m_jobCopies.Reset();  // the worker has ended: nothing reads them any more
  CWindowW::SetItemTextFromString(GetDlgItem(m_hWnd, IDC_STATUS), IDS_STATUS_ABORTED, true);
  // Idle before the box: 中止 has no worker to stop, and the box itself refuses drops and
  // hand-overs until it is closed.
  SetRunning(false);
  ShowMessage(failed->GetErrorText(), MB_ICONERROR);
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
  Pool().WaitAll(INFINITE);
  m_jobCopies.Reset();  // the worker has ended: nothing reads them any more
  HWND status = GetDlgItem(m_hWnd, IDC_STATUS);
  if (IsCancelled() || GetDone() < GetTotal()) {
    CWindowW::SetItemTextFromString(status, IDS_STATUS_ABORTED, true);
  } else {
    std::wstring text;
    FormatResourceString(&text, IDS_STATUS_FINISHED, GetTotal());
    CWindowW::SetItemText(status, text, true);
  }
  FlashWindow(m_hWnd, TRUE);
  SetRunning(false);
}
