// CJobRun: starting the worker on a job, and the hand-over of its finished tasks.
#include "job/JobRun.h"

CJobRun::CJobRun() : m_finishedEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

CJobRun::~CJobRun() {
  m_pool.QuitAll(true);
  m_pool.WaitAll(INFINITE);
}

bool CJobRun::Start() {
  m_cancelled = false;
  m_total = static_cast<int32_t>(m_pool.Pending().Count());
  m_done = 0;
  {
    std::lock_guard<std::mutex> lock(m_finishedLock);
    m_finished.clear();
    // A wake left from the previous job would only make one wait return early.
    ResetEvent(m_finishedEvent.Get());
  }
  m_pool.Resize(1);
  return m_pool.StartAll();
}

CShrinkTaskExPtr CJobRun::CollectFinished() {
  std::lock_guard<std::mutex> lock(m_finishedLock);
  for (size_t i = static_cast<size_t>(m_done); i < m_finished.size(); ++i) {
    if (m_finished[i]->GetErrorNumber() != 0) return m_finished[i];
    ++m_done;
  }
  return CShrinkTaskExPtr();
}

void CJobRun::Cancel() {
  m_cancelled = true;
  m_pool.CancelAll(true);
}

bool CJobRun::WaitForFinished() {
  HANDLE worker = m_pool.Workers().front()->GetHandle();
  if (!worker) return true;  // never started
  // The event comes first: a task handed over just before the worker ended wakes as a task.
  HANDLE waits[2] = {m_finishedEvent.Get(), worker};
  return WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0;
}

void CJobRun::OnTaskFinished(const CShrinkTaskExPtr& task) {
  if (m_pool.IsClosing()) return;
  std::lock_guard<std::mutex> lock(m_finishedLock);
  m_finished.push_back(task);
  SetEvent(m_finishedEvent.Get());
}
