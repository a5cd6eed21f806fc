// CJobSession: a start from its listing to its checks, the run on the worker, the hand-over of
// its finished tasks, and the ways a job ends.
#include "job/JobSession.h"

// The start's refusals and question on their way to the front end. A box's own message loop may
// let the user cancel or close meanwhile: the answer then counts as no, so nothing is deleted for
// a start that no longer goes on.
class CJobSession::CStartRelay final : public CJobStartClient {
public:
  explicit CStartRelay(CJobSession* session) : m_session(session) {}
  void ShowStartError(const StartRefusal& refusal) override { m_session->m_client->ShowStartError(refusal); }
  bool ConfirmOverwrite(const std::wstring& question) override {
    return m_session->m_client->ConfirmOverwrite(question) && !m_session->m_stopAsked;
  }

private:
  CJobSession* m_session;
};

CJobSession::CJobSession(CJobSessionClient* client)
    : m_client(client), m_finishedEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

CJobSession::~CJobSession() {
  Close();
}

void CJobSession::SetThreadCount(int threads) {
  m_pool.SetThreadCount(threads);
}

void CJobSession::SetWorkerApartment(DWORD model) {
  for (const CMultiTaskPool::WorkerPtr& worker : m_pool.Workers()) worker->SetComApartment(model);
}

StartOutcome CJobSession::Start(const CFileList& files, const std::vector<ShrinkProfile>& profiles,
                                CKeepAlive keepAlive, Listing listing) {
  // A refused start lets its holder go with the argument.
  if (m_closed) return StartOutcome::Stopped;
  if (m_state != State::Idle) return StartOutcome::Busy;
  m_keepAlive = std::move(keepAlive);
  m_stopAsked = false;
  m_files = files;
  m_profiles = profiles;
  m_state = State::Listing;
  ++m_listingRound;
  if (listing == Listing::OnThread && m_listing.Begin(m_files, m_profiles, this)) return StartOutcome::Listing;
  return Check(ListDroppedSources(m_files, m_profiles));  // no thread: listed here
}

// Listing thread: its last act, so the wait in ContinueStart is short.
void CJobSession::OnListingFinished() {
  m_client->OnListingEnded(m_listingRound);
}

// A listing stopped by a cancel may report its end after the next start has begun another: only
// the present round goes on.
StartOutcome CJobSession::ContinueStart(unsigned round) {
  if (m_state != State::Listing || round != m_listingRound) return StartOutcome::Stale;
  m_listing.Wait(INFINITE);
  if (m_listing.Listed().stopped) {
    EndStart();
    return StartOutcome::Stopped;
  }
  return Check(m_listing.Listed());
}

StartOutcome CJobSession::Check(const DroppedSources& listed) {
  m_state = State::Checking;
  m_client->OnChecking();
  // What a previous start left queued, and what a cancel moved aside, goes now.
  m_pool.CancelAll(true);
  m_pool.WaitAll(INFINITE);
  m_pool.Pending().Clear();
  m_pool.Cancelled().Clear();
  CStartRelay relay(this);
  const bool prepared = !m_stopAsked && PrepareJob(listed, m_profiles, this, &m_pool.Pending(), &relay);
  if (prepared && !m_stopAsked) m_client->OnChecked();
  if (m_stopAsked) {
    EndStart();
    return StartOutcome::Stopped;
  }
  if (!prepared) {
    // The tasks queued by then stay for the next start to discard.
    EndStart();
    return StartOutcome::Refused;
  }
  return RunWorker();
}

StartOutcome CJobSession::RunWorker() {
  m_state = State::Running;
  m_cancelled = false;
  m_total = static_cast<int32_t>(m_pool.Pending().Count());
  m_done = 0;
  {
    std::lock_guard<CSlimLock> lock(m_finishedLock);
    m_finished.clear();
    // A wake left from the previous job would only make one wait return early.
    ResetEvent(m_finishedEvent.Get());
  }
  m_pool.Resize(1);
  return m_pool.StartAll() ? StartOutcome::Running : StartOutcome::NoWorker;
}

void CJobSession::EndStart() {
  m_state = State::Idle;
  m_keepAlive.Reset();
}

bool CJobSession::IsStopping() const {
  return m_pool.IsClosing() || m_pool.Workers().front()->IsStopping();
}

CShrinkTaskExPtr CJobSession::CollectFinished() {
  std::lock_guard<CSlimLock> lock(m_finishedLock);
  for (size_t i = static_cast<size_t>(m_done); i < m_finished.size(); ++i) {
    if (m_finished[i]->GetErrorNumber() != 0) return m_finished[i];
    ++m_done;
  }
  return CShrinkTaskExPtr();
}

bool CJobSession::WaitForFinished() {
  HANDLE worker = m_pool.Workers().front()->GetHandle();
  if (!worker) return true;  // never started
  // The event comes first: a task handed over just before the worker ended wakes as a task.
  HANDLE waits[2] = {m_finishedEvent.Get(), worker};
  return WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0;
}

bool CJobSession::Cancel() {
  switch (m_state) {
    case State::Listing:
      // The listing ends before its next folder; its end, when reported, finds nothing to go on.
      m_listing.SetCancel(true);
      m_listing.Wait(INFINITE);
      EndStart();
      return true;
    case State::Checking:
      m_stopAsked = true;  // the checks end the start when the client's box returns
      return true;
    case State::Running:
      m_cancelled = true;
      m_pool.CancelAll(true);
      return false;
    case State::Idle:
      break;
  }
  return false;
}

void CJobSession::Finish() {
  if (m_state != State::Running) return;
  m_pool.WaitAll(INFINITE);
  EndStart();  // the worker has ended: nothing reads what was kept alive any more
}

void CJobSession::Abort() {
  if (m_state != State::Running) {
    // A start: its listing has ended, or its checks end it when they return.
    Cancel();
    m_keepAlive.Reset();
    return;
  }
  m_pool.CancelAll(true);
  m_pool.WaitAll(INFINITE);
  EndStart();
}

void CJobSession::Close() {
  m_closed = true;
  m_listing.SetCancel(true);
  m_listing.Wait(INFINITE);
  if (m_state == State::Checking) m_stopAsked = true;
  // Told to quit, the worker never starts again, and what it hands over from now on is dropped.
  m_pool.QuitAll(true);
  m_pool.WaitAll(INFINITE);
  m_pool.Pending().Clear();
  m_pool.Cancelled().Clear();
  m_keepAlive.Reset();
  if (m_state != State::Checking) m_state = State::Idle;
}

void CJobSession::OnTaskFinished(const CShrinkTaskExPtr& task) {
  if (m_pool.IsClosing()) return;
  std::lock_guard<CSlimLock> lock(m_finishedLock);
  m_finished.push_back(task);
  SetEvent(m_finishedEvent.Get());
}
