// CLookAhead: claims in queue order, the pixel budget, and the hand-over to the worker.
#include "job/LookAhead.h"

#include <mutex>
#include <new>

#include "image/BlockCache.h"

unsigned CLookAheadHelper::Run() {
  const CThreadImageBuffers buffers(true);
  while (CLookAhead::Entry* entry = m_owner->Claim()) {
    bool complete = false;
    // A failure here (out of memory) leaves the task to the worker, which meets it again and
    // reports it as it would have without help.
    try {
      complete = entry->source->MakeAll(*this, entry);
    } catch (...) {
      complete = false;
    }
    m_owner->Finish(entry, complete);
  }
  return 0;
}

bool CLookAheadHelper::IsStopping() const {
  return CThread::IsStopping() || m_owner->IsStopping();
}

CLookAhead::CLookAhead(TaskQueue* queue, const CThread* worker, int helpers, uint64_t pixelBudget)
    : m_queue(queue),
      m_worker(worker),
      m_maxAhead(kAheadPerHelper * static_cast<size_t>(helpers > 0 ? helpers : 0)),
      m_budget(pixelBudget) {
  for (int i = 0; i < helpers; ++i) {
    m_helpers.emplace_back(new CLookAheadHelper(this));
    // No message loop on a helper: the multithreaded apartment (see CThread::SetComApartment).
    m_helpers.back()->SetComApartment(COINIT_MULTITHREADED);
  }
}

CLookAhead::~CLookAhead() {
  Stop();
}

bool CLookAhead::Start() {
  bool any = false;
  for (const auto& helper : m_helpers) {
    if (helper->Start()) any = true;
  }
  return any;
}

void CLookAhead::Stop() {
  {
    std::lock_guard<CSlimLock> lock(m_lock);
    m_stop.store(true);
  }
  m_changed.notify_all();
  for (const auto& helper : m_helpers) helper->Wait(INFINITE);
  // The pictures made for tasks the worker never took go here, on the worker's thread.
  std::list<Entry> dropped;
  std::lock_guard<CSlimLock> lock(m_lock);
  dropped.swap(m_entries);
}

bool CLookAhead::IsStopping() const {
  return m_stop.load() || m_worker->IsStopping();
}

CLookAhead::Entry* CLookAhead::Find(const CShrinkTaskEx* task) {
  for (Entry& entry : m_entries) {
    if (entry.task.get() == task) return &entry;
  }
  return nullptr;
}

CLookAhead::Entry* CLookAhead::FindUnclaimed() {
  size_t ahead = 0;
  for (const Entry& entry : m_entries) {
    if (entry.state != State::Worker) ++ahead;
  }
  if (ahead >= m_maxAhead) return nullptr;
  // Taken under this object's lock: a task the worker has popped is either not in the snapshot
  // or, if it still was, the worker's Take comes after this claim and finds it.
  for (const CShrinkTaskExPtr& task : m_queue->Front(m_maxAhead + 1)) {
    if (Find(task.get())) continue;
    // Everything that can fail comes before the entry exists: the worker waits for any entry
    // that is being worked on.
    CSharedSourcePtr source(new CSharedSource(task->GetSource(), task->GetProfiles()));
    m_entries.emplace_back();
    Entry& entry = m_entries.back();
    entry.owner = this;
    entry.task = task;
    entry.source = source;
    return &entry;
  }
  return nullptr;
}

CLookAhead::Entry* CLookAhead::Claim() {
  std::unique_lock<CSlimLock> lock(m_lock);
  for (;;) {
    if (IsStopping()) return nullptr;
    if (Entry* entry = FindUnclaimed()) return entry;
    m_changed.wait(lock);
  }
}

void CLookAhead::Finish(Entry* entry, bool complete) {
  {
    std::lock_guard<CSlimLock> lock(m_lock);
    entry->state = complete ? State::Ready : State::Unmade;
    entry->admitted = true;
    // What is kept ahead now is the shrinks; a given-up entry keeps its reservation until the
    // worker has run its task.
    if (complete) entry->reserved = entry->source->HeldPixels();
  }
  m_changed.notify_all();
}

bool CLookAhead::MayAdmit(const Entry* entry, uint64_t pixels) const {
  // Reservations go in claim order, so a picture further ahead never takes the room an earlier
  // one needs; with nothing reserved, any picture goes (each alone is within kPixelBudget).
  uint64_t reserved = 0;
  bool before = true;
  for (const Entry& other : m_entries) {
    if (&other == entry) before = false;
    if (before && !other.admitted) return false;
    reserved += other.reserved;
  }
  return reserved == 0 || reserved + pixels <= m_budget;
}

bool CLookAhead::HasRoomToGrow(const Entry* entry, uint64_t pixels) const {
  uint64_t others = 0;
  for (const Entry& other : m_entries) {
    if (&other != entry) others += other.reserved;
  }
  return others == 0 || others + pixels <= m_budget;
}

bool CLookAhead::Admit(Entry* entry, uint64_t pixels) {
  {
    std::unique_lock<CSlimLock> lock(m_lock);
    if (entry->admitted && entry->reserved > 0) {
      // A picture that holds more than it was admitted with. A helper's grows only into room
      // that is free now and never waits, since it holds room that others may be waiting for;
      // otherwise it gives the task up and the worker loads it. The worker's grows.
      if (entry->state != State::Worker && !HasRoomToGrow(entry, pixels)) return false;
      entry->reserved = pixels;
    } else if (entry->state != State::Worker) {
      // The worker's own task is never held back: it is the earliest in the job, and the one the
      // budget waits for.
      bool waited = false;
      for (;;) {
        if (IsStopping()) return false;
        if (MayAdmit(entry, pixels)) break;
        // A helper that waits for room holds no freed blocks meanwhile (this runs on its thread).
        if (!waited) ReleaseCachedBlocks();
        waited = true;
        m_changed.wait(lock);
      }
    }
    entry->admitted = true;
    entry->reserved = pixels;
  }
  m_changed.notify_all();
  return true;
}

CSharedSourcePtr CLookAhead::Take(const CShrinkTaskExPtr& task, CLoadAdmission** admission) {
  CSharedSourcePtr source;
  {
    std::unique_lock<CSlimLock> lock(m_lock);
    auto it = m_entries.begin();
    while (it != m_entries.end() && it->task != task) ++it;
    if (it == m_entries.end()) {
      // No helper has claimed it: the worker loads it.
      it = m_entries.emplace(m_entries.begin());
      it->owner = this;
      it->task = task;
      it->state = State::Unmade;
    } else {
      // The worker's task goes first in the budget's order.
      m_entries.splice(m_entries.begin(), m_entries, it);
    }
    Entry* entry = &*it;
    while (entry->state == State::Working) m_changed.wait(lock);
    if (entry->state != State::Ready) {
      entry->source.reset(new CSharedSource(task->GetSource(), task->GetProfiles()));
    }
    // A picture the worker loads itself counts as admitted once its load has told its size (or
    // the task is done): until then no helper's picture is admitted, so that no helper takes the
    // room that the worker's own picture, never held back, is about to need; two very large
    // pictures would otherwise load at once. A given-up entry keeps what its helper had.
    if (entry->state == State::Ready) entry->admitted = true;
    entry->state = State::Worker;
    source = entry->source;
    *admission = entry;
  }
  m_changed.notify_all();
  return source;
}

void CLookAhead::Done(const CShrinkTaskExPtr& task) {
  std::list<Entry> done;
  {
    std::lock_guard<CSlimLock> lock(m_lock);
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
      if (it->task == task) {
        done.splice(done.begin(), m_entries, it);
        break;
      }
    }
  }
  m_changed.notify_all();
}
