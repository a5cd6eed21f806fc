// CMultiTaskPool: the job's workers (the front ends use one, see Resize), the queue of tasks it
// has not taken yet and the list that cancelled tasks are moved to. Driven by one thread only.
#pragma once

#include <windows.h>

#include <atomic>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "job/MultiTaskThread.h"
#include "job/ShrinkTaskEx.h"
#include "job/TaskQueue.h"

class CMultiTaskPool {
public:
  typedef CMultiTaskThread<CShrinkTaskEx, true> Worker;
  typedef boost::shared_ptr<Worker> WorkerPtr;

  CMultiTaskPool();
  // Quits and waits for a worker that still runs: it reads the pending queue, which goes first.
  ~CMultiTaskPool();
  CMultiTaskPool(const CMultiTaskPool&) = delete;
  CMultiTaskPool& operator=(const CMultiTaskPool&) = delete;

  // Keeps the first `count` workers or adds unstarted ones up to `count`; below 1 does nothing.
  void Resize(int count);
  // The threads that load and shrink pictures: 1 is the worker alone; with
  // more, that many helper threads load and shrink the next files behind it while the worker
  // writes (see CLookAhead), at most kMaxThreads. Below 1 does nothing. Read by StartAll; the
  // default is DefaultThreadCount().
  void SetThreadCount(int threads);
  // The number of processors.
  static int DefaultThreadCount();
  // Every helper keeps its own buffers for its next picture, which a 32-bit address space
  // affords for a few threads only.
  static const int kMaxThreads = sizeof(void*) == 4 ? 4 : 64;

  // Starts every worker in order; true when every one started.
  bool StartAll();
  // True while some worker's thread has not ended.
  bool AnyRunning() const;
  // Moves every pending task to the cancelled list, then passes `cancel` to every worker.
  void CancelAll(bool cancel);
  // Sets the closing flag, then passes `quit` to every worker: a worker told to quit never starts
  // again.
  void QuitAll(bool quit);
  void WaitAll(DWORD milliseconds);

  // Once closing, finished tasks are no longer collected. Written by the dialog thread only.
  bool IsClosing() const { return m_closing.load(); }
  TaskQueue& Pending() { return m_pending; }
  TaskQueue& Cancelled() { return m_cancelled; }
  const std::vector<WorkerPtr>& Workers() const { return m_workers; }

private:
  std::atomic<bool> m_closing{false};
  int m_threads = 1;
  std::vector<WorkerPtr> m_workers;
  TaskQueue m_pending;
  TaskQueue m_cancelled;
};
