// CLookAhead: helper threads that load and shrink the sources of the tasks still waiting in the
// worker's queue, so that the worker, which takes the tasks in drop order, finds their pictures
// made. Helpers read sources and nothing else of the file system: every folder and every output
// is the worker's, in drop and profile order.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "base/Scoped.h"
#include "base/SlimLock.h"
#include "image/decode/LoadDib.h"
#include "job/SharedSource.h"
#include "job/ShrinkTaskEx.h"
#include "job/TaskQueue.h"
#include "job/ThreadImpl.h"

class CLookAhead;

// The image pipeline's buffers of this thread for the next picture (ReleaseThreadImageBuffers):
// every thread that makes pictures, the worker and its helpers, holds this owner for its whole
// run, so that the buffers go with the thread.
struct ThreadImageBuffersTraits {
  typedef bool Type;  // true: the buffers are given back when the owner goes
  static bool Empty() { return false; }
  static bool IsEmpty(bool held) { return !held; }
  static void Release(bool) { ReleaseThreadImageBuffers(); }
};
typedef CScoped<ThreadImageBuffersTraits> CThreadImageBuffers;

// One helper thread: claims the next task, makes its pictures, hands them over, until told to end.
class CLookAheadHelper : public CThreadImpl<CLookAheadHelper, true, 0> {
public:
  explicit CLookAheadHelper(CLookAhead* owner) : m_owner(owner) {}
  unsigned Run() override;
  // Its own requests, and those of the worker it helps.
  bool IsStopping() const override;

private:
  CLookAhead* m_owner;
};

class CLookAhead {
public:
  // `queue` is the worker's pending queue and `worker` the worker: its stop requests end the
  // helpers' work too. `helpers` threads are started by Start; `pixelBudget` bounds the pixels
  // of the pictures in flight (what each load holds, as CLoadAdmission is told, then what is
  // kept of it), except that the worker's own task is never held back.
  CLookAhead(TaskQueue* queue, const CThread* worker, int helpers, uint64_t pixelBudget);
  // Stop().
  ~CLookAhead();
  CLookAhead(const CLookAhead&) = delete;
  CLookAhead& operator=(const CLookAhead&) = delete;

  // Starts the helpers; false when none could start (the worker then loads everything itself).
  bool Start();
  // Worker: `task` has just been taken from the queue. Waits while a helper works on it and
  // returns what the helper made; otherwise a source for the worker to load itself, through
  // `*admission`, which then counts that picture against the budget.
  CSharedSourcePtr Take(const CShrinkTaskExPtr& task, CLoadAdmission** admission);
  // Worker: `task` has run; its pictures no longer count.
  void Done(const CShrinkTaskExPtr& task);
  // Ends the helpers' work and waits for their threads; what was made ahead is dropped.
  void Stop();

  // The most tasks claimed ahead of the worker at once, per helper. What they hold is bounded by
  // the pixel budget; this count only has to leave a helper work while the worker waits for one
  // long photo that another helper decodes (one progressive photo may take as long as six
  // others): with 2 a helper stood idle for a tenth of such a batch.
  static const size_t kAheadPerHelper = 8;
  // The pixels in flight, the worker's own picture among them: about 180 MB of pictures and
  // decoder buffers besides what one picture alone takes. A 16-megapixel progressive photo and
  // a 10-megapixel one go at once at full scale (25 + 15 million), and several when they are
  // decoded at a reduced scale; a larger picture goes alone, so several 160-megapixel files in
  // a row are loaded one at a time, as without help.
  static const uint64_t kInFlightPixels = 44000000;

private:
  friend class CLookAheadHelper;
  // Working: a helper makes its pictures; Ready: made; Unmade: given up or never claimed, the
  // worker loads it; Worker: the worker runs the task.
  enum class State { Working, Ready, Unmade, Worker };
  struct Entry : CLoadAdmission {
    CLookAhead* owner = nullptr;
    CShrinkTaskExPtr task;
    CSharedSourcePtr source;
    State state = State::Working;
    bool admitted = false;  // has its reservation (or needs none any more)
    uint64_t reserved = 0;  // pixels counted against the budget
    bool Admit(uint64_t pixels) override { return owner->Admit(this, pixels); }
    // A helper's load ends at a stop request; the worker's own goes on as without helpers.
    bool StillWanted() const override { return state == State::Worker || !owner->IsStopping(); }
  };

  // Helper: the next task to work on, or null once stopping. Waits while nothing is to be done.
  Entry* Claim();
  // Helper: `entry` is made (complete) or given up.
  void Finish(Entry* entry, bool complete);
  bool Admit(Entry* entry, uint64_t pixels);
  bool IsStopping() const;  // under the lock or not: reads flags only
  Entry* Find(const CShrinkTaskEx* task);
  Entry* FindUnclaimed();
  bool MayAdmit(const Entry* entry, uint64_t pixels) const;
  // Whether `entry`'s reservation may become `pixels` beside what the others hold now.
  bool HasRoomToGrow(const Entry* entry, uint64_t pixels) const;

  TaskQueue* m_queue;
  const CThread* m_worker;
  const size_t m_maxAhead;
  const uint64_t m_budget;
  std::vector<std::unique_ptr<CLookAheadHelper>> m_helpers;
  CSlimLock m_lock;
  CSlimCondition m_changed;  // any entry, the queue or the flags
  std::atomic<bool> m_stop{false};
  std::list<Entry> m_entries;  // in the order the tasks were claimed; the worker's first
};
