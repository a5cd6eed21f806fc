// CMultiTaskClient: the dialog's side of the worker. It starts the worker on the tasks already
// queued, receives every finished task from the worker thread, and lets the dialog's timer tick
// (T::OnTick, every 200 ms) collect them. The worker never touches a window: the dialog polls.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "base/AutoCriticalSection.h"
#include "job/MultiTaskPool.h"
#include "win/SingleTimer.h"

template <class T, class Task, class Client>
class CMultiTaskClient : public Client, public CSingleTimerImpl<T, 200, 1> {
public:
  // The job's progress tick, 200 ms on timer 1; the window chains its message map.
  typedef CSingleTimerImpl<T, 200, 1> CJobTimer;
  typedef boost::shared_ptr<Task> TaskPtr;

  CMultiTaskClient() = default;
  // The worker calls into this object and fills its list: it must have ended before they go. An
  // orderly close has already quit and waited, so this passes straight through.
  ~CMultiTaskClient() {
    m_pool.QuitAll(true);
    m_pool.WaitAll(INFINITE);
  }
  CMultiTaskClient(const CMultiTaskClient&) = delete;
  CMultiTaskClient& operator=(const CMultiTaskClient&) = delete;

  // Dialog thread, no worker running: runs the tasks already in the pending queue.
  void StartJob() {
    m_cancelled = false;
    m_total = static_cast<int32_t>(m_pool.Pending().Count());
    m_done = 0;
    {
      CAutoLock lock(m_finishedLock);
      m_finished.clear();
    }
    m_pool.Resize(1);
    m_pool.StartAll();  // a worker that cannot start leaves the job waiting for a cancel
    this->StartTimer();
  }

  // Dialog thread. Returns the first failed task among those not yet counted, leaving the count
  // where it is; with none, counts every finished task and returns nothing.
  TaskPtr CollectFinished() {
    CAutoLock lock(m_finishedLock);
    for (size_t i = static_cast<size_t>(m_done); i < m_finished.size(); ++i) {
      if (m_finished[i]->GetErrorNumber() != 0) return m_finished[i];
    }
    m_done = static_cast<int32_t>(m_finished.size());
    return TaskPtr();
  }

  // Worker thread: a task has run. After closing has begun, the task is dropped.
  void OnTaskFinished(const TaskPtr& task) override {
    if (m_pool.IsClosing()) return;
    CAutoLock lock(m_finishedLock);
    m_finished.push_back(task);
  }

  CMultiTaskPool& Pool() { return m_pool; }
  int32_t GetTotal() const { return m_total; }
  int32_t GetDone() const { return m_done; }

protected:
  bool m_cancelled = false;  // set by the Cancel button
  int32_t m_total = 0;       // tasks of the running job
  int32_t m_done = 0;        // finished tasks already counted
  CMultiTaskPool m_pool;
  CAutoCriticalSection m_finishedLock;
  std::vector<TaskPtr> m_finished;  // in the order the worker finished them
};
