// CMultiTaskPool: starting, stopping and waiting for the job's worker.
#include "job/MultiTaskPool.h"

CMultiTaskPool::CMultiTaskPool() {
  Resize(1);
  SetThreadCount(DefaultThreadCount());
}

int CMultiTaskPool::DefaultThreadCount() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}

void CMultiTaskPool::SetThreadCount(int threads) {
  if (threads < 1) return;
  m_threads = threads < kMaxThreads ? threads : kMaxThreads;
}

CMultiTaskPool::~CMultiTaskPool() {
  QuitAll(true);
  WaitAll(INFINITE);
}

void CMultiTaskPool::Resize(int count) {
  if (count < 1) return;
  size_t wanted = static_cast<size_t>(count);
  if (m_workers.size() > wanted) m_workers.resize(wanted);
  while (m_workers.size() < wanted) m_workers.push_back(WorkerPtr(new Worker(&m_pending)));
}

bool CMultiTaskPool::StartAll() {
  bool all = true;
  for (const WorkerPtr& worker : m_workers) {
    if (!worker->IsRunning()) worker->SetHelperCount(m_threads > 1 ? m_threads : 0);
    if (!worker->Start()) all = false;
  }
  return all;
}

bool CMultiTaskPool::AnyRunning() const {
  for (const WorkerPtr& worker : m_workers) {
    if (worker->IsRunning()) return true;
  }
  return false;
}

void CMultiTaskPool::CancelAll(bool cancel) {
  m_pending.MoveAllTo(&m_cancelled);
  for (const WorkerPtr& worker : m_workers) worker->SetCancel(cancel);
}

void CMultiTaskPool::QuitAll(bool quit) {
  m_closing.store(quit);
  for (const WorkerPtr& worker : m_workers) worker->SetQuit(quit);
}

void CMultiTaskPool::WaitAll(DWORD milliseconds) {
  for (const WorkerPtr& worker : m_workers) worker->Wait(milliseconds);
}
