// TaskQueue: the locked task list shared by the dialog thread and the worker.
#include "job/TaskQueue.h"

#include <utility>

void TaskQueue::Append(const CShrinkTaskExPtr& task) {
  std::lock_guard<CSlimLock> lock(m_lock);
  m_tasks.push_back(task);
  ++m_count;
}

CShrinkTaskExPtr TaskQueue::PopFront() {
  std::lock_guard<CSlimLock> lock(m_lock);
  if (m_tasks.empty()) return CShrinkTaskExPtr();
  CShrinkTaskExPtr task = m_tasks.front();
  m_tasks.pop_front();
  --m_count;
  return task;
}

std::vector<CShrinkTaskExPtr> TaskQueue::Front(size_t count) const {
  std::vector<CShrinkTaskExPtr> tasks;
  std::lock_guard<CSlimLock> lock(m_lock);
  for (const CShrinkTaskExPtr& task : m_tasks) {
    if (tasks.size() == count) break;
    tasks.push_back(task);
  }
  return tasks;
}

size_t TaskQueue::Count() const {
  std::lock_guard<CSlimLock> lock(m_lock);
  return m_count;
}

void TaskQueue::Clear() {
  // The tasks are released after the lock is given back: a task's destruction is not the
  // queue's business.
  std::list<CShrinkTaskExPtr> released;
  std::lock_guard<CSlimLock> lock(m_lock);
  released.swap(m_tasks);
  m_count = 0;
}

void TaskQueue::MoveAllTo(TaskQueue* target) {
  std::list<CShrinkTaskExPtr> moved;
  size_t count;
  {
    std::lock_guard<CSlimLock> lock(m_lock);
    moved.swap(m_tasks);
    count = m_count;
    m_count = 0;
  }
  std::lock_guard<CSlimLock> lock(target->m_lock);
  target->m_tasks.splice(target->m_tasks.end(), moved);
  target->m_count += count;
}
