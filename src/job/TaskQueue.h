// TaskQueue: a list of shared tasks that the dialog thread and the worker share, guarded by its
// own lock. Every operation takes the lock for its own duration only, so no caller ever holds
// two queues' locks at once.
#pragma once

#include <cstddef>
#include <list>
#include <vector>

#include "base/SlimLock.h"
#include "job/ShrinkTaskEx.h"

class TaskQueue {
public:
  TaskQueue() = default;
  TaskQueue(const TaskQueue&) = delete;
  TaskQueue& operator=(const TaskQueue&) = delete;

  void Append(const CShrinkTaskExPtr& task);
  // The first task, taken out of the queue; empty when the queue is empty.
  CShrinkTaskExPtr PopFront();
  // The first `count` tasks (fewer when the queue holds fewer), left in the queue.
  std::vector<CShrinkTaskExPtr> Front(size_t count) const;
  size_t Count() const;
  void Clear();
  // Moves every task, first to last, to the end of `target`. The tasks leave this queue in one
  // step, so a reader of this queue sees either all of them or none.
  void MoveAllTo(TaskQueue* target);

private:
  mutable CSlimLock m_lock;
  std::list<CShrinkTaskExPtr> m_tasks;
  size_t m_count = 0;
};
