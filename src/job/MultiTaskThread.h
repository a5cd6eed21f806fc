// CMultiTaskThread: a worker that takes tasks from a shared queue one at a time, runs each and
// hands it to the task's client, until the queue is empty or a stop is requested.
#pragma once

#include <memory>

#include <boost/shared_ptr.hpp>

#include "image/decode/LoadDib.h"
#include "job/LookAhead.h"
#include "job/TaskQueue.h"
#include "job/ThreadImpl.h"

template <class Task, bool t_initCom = true>
class CMultiTaskThread : public CThreadImpl<CMultiTaskThread<Task, t_initCom>, t_initCom, 0> {
public:
  typedef boost::shared_ptr<Task> TaskPtr;

  // The queue is not owned; it outlives the worker.
  explicit CMultiTaskThread(TaskQueue* queue) : m_queue(queue) {}

  // The thread runs on this object and reads the queue, so it must have ended before either
  // goes. A worker destroyed while its thread still runs tells it to quit and waits for it; an
  // orderly shut-down has already done both and passes straight through.
  ~CMultiTaskThread() override {
    if (this->IsRunning()) {
      this->m_quit.store(true);
      this->Wait(INFINITE);
    }
  }

  // Helper threads that load and shrink the next files while this worker writes: 0 (the
  // default) for none. Read when the thread starts.
  void SetHelperCount(int helpers) { m_helpers = helpers; }

  // The worker loop. The queue's lock is held only while a task is taken, never while it runs;
  // a stop request is honoured before each task and inside it at the task's own checks. A task
  // that ends with an error is the last one the worker runs: the job stops at its first failed
  // file, and no output of a later file may be written before the client has seen the failure.
  // The tasks behind it stay in the queue for the client to cancel. Helpers only ever make
  // pictures; they end, and what they made ahead is dropped, before this thread does.
  unsigned Run() override {
    const CThreadImageBuffers buffers(true);
    std::unique_ptr<CLookAhead> lookAhead;
    if (m_helpers > 0) {
      lookAhead.reset(new CLookAhead(m_queue, this, m_helpers, CLookAhead::kInFlightPixels));
      lookAhead->Start();
    }
    for (;;) {
      if (this->IsStopping()) {
        m_current.reset();
        return 0;
      }
      m_current = m_queue->PopFront();
      if (!m_current) return 0;
      m_current->SetWorker(this);
      if (lookAhead) {
        CLoadAdmission* admission = nullptr;
        CSharedSourcePtr source = lookAhead->Take(m_current, &admission);
        m_current->Run(source.get(), admission);
        source.reset();
        lookAhead->Done(m_current);
      } else {
        m_current->Run();
      }
      if (m_current->GetClient()) m_current->GetClient()->OnTaskFinished(m_current->GetSelf());
      if (m_current->GetErrorNumber() != 0) {
        m_current.reset();
        return 0;
      }
    }
  }

private:
  TaskQueue* m_queue;
  int m_helpers = 0;
  TaskPtr m_current;  // the task being run; touched by the worker thread only while it runs
};
