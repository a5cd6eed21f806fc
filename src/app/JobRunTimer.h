// CJobRunTimer: the dialog's job run. The run (CJobRun) receives every finished task from the
// worker thread; the dialog's timer tick (T::OnTick, every 200 ms) collects them. The worker never
// touches a window: the dialog polls.
#pragma once

#include "job/JobRun.h"
#include "win/SingleTimer.h"

template <class T>
class CJobRunTimer : public CJobRun, public CSingleTimerImpl<T, 200, 1> {
public:
  // The job's progress tick, 200 ms on timer 1; the window chains its message map.
  typedef CSingleTimerImpl<T, 200, 1> CJobTimer;

  // Dialog thread, no worker running: runs the tasks already in the pending queue and starts the
  // tick. A worker that cannot start leaves the job waiting for a cancel.
  void StartJob() {
    Start();
    this->StartTimer();
  }
};
