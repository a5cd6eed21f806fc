// CJobRun: one job's tasks on the worker, as every front end sees them. It owns the worker's pool,
// receives each finished task from the worker thread, and counts them for the front end's thread:
// the dialog collects on its timer tick, the command line blocks in WaitForFinished between
// collections.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <vector>

#include "base/Handle.h"
#include "job/MultiTaskPool.h"
#include "job/ShrinkTaskEx.h"

class CJobRun : public CShrinkTaskExClient {
public:
  CJobRun();
  // The worker calls into this object and fills its list: it must have ended before they go. An
  // orderly close has already quit and waited, so this passes straight through.
  ~CJobRun();
  CJobRun(const CJobRun&) = delete;
  CJobRun& operator=(const CJobRun&) = delete;

  // Front end's thread, no worker running: runs the tasks already in the pending queue, counting
  // from zero. False when the worker could not start; the job then waits for a cancel.
  bool Start();

  // Front end's thread. Counts the finished tasks not yet counted, in the order the worker
  // finished them, up to the first failed one, which is returned (uncounted, and returned again by
  // the next call). With no failure, every finished task is counted and nothing is returned.
  CShrinkTaskExPtr CollectFinished();

  // The user's cancel: the tasks not yet taken are moved aside and the worker is told to stop.
  void Cancel();

  // Front end's thread, with the worker started: blocks until a task has been handed over since
  // the last wake, or the worker has ended. True once the worker has ended; everything it
  // finished has been handed over by then, so the next CollectFinished takes all of it.
  bool WaitForFinished();

  // Worker thread: a task has run. After closing has begun, the task is dropped.
  void OnTaskFinished(const CShrinkTaskExPtr& task) override;

  CMultiTaskPool& Pool() { return m_pool; }
  int32_t GetTotal() const { return m_total; }
  int32_t GetDone() const { return m_done; }
  bool IsCancelled() const { return m_cancelled; }

private:
  bool m_cancelled = false;  // set by Cancel
  int32_t m_total = 0;       // tasks of the running job
  int32_t m_done = 0;        // finished tasks already counted
  CMultiTaskPool m_pool;
  std::mutex m_finishedLock;
  std::vector<CShrinkTaskExPtr> m_finished;  // in the order the worker finished them
  CHandle m_finishedEvent;                   // auto-reset; set after each task joins the list
};
