// The run of a job as both front ends drive it: the worker's hand-overs wake the waiting thread,
// collection counts them up to the first failed task, and what arrives once closing has begun is
// dropped. The worker hands each task over only when the test lets it, so every step below
// happens in the order written, however loaded the machine.
#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "base/Handle.h"
#include "job/JobRun.h"
#include "job/JobTasks.h"

namespace {

// A run whose worker hands a finished task over only after one Release of the test.
class CGatedRun : public CJobRun {
public:
  CGatedRun()
      : m_gate(CreateSemaphoreW(nullptr, 0, 1000, nullptr)),
        m_open(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  // A worker waiting at the gate goes on, and has ended, before this object goes.
  ~CGatedRun() {
    Pool().QuitAll(true);
    SetEvent(m_open.Get());
    Pool().WaitAll(INFINITE);
  }
  CGatedRun(const CGatedRun&) = delete;
  CGatedRun& operator=(const CGatedRun&) = delete;

  void Release() { ReleaseSemaphore(m_gate.Get(), 1, nullptr); }

  // Worker thread.
  void OnTaskFinished(const CShrinkTaskExPtr& task) override {
    HANDLE waits[2] = {m_gate.Get(), m_open.Get()};
    WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    CJobRun::OnTaskFinished(task);
  }

private:
  CHandle m_gate;
  CHandle m_open;
};

// A run whose worker ends by an exception at its first hand-over, as a worker ends that meets a
// fault it cannot report: the job has files left that nobody runs.
class CWorkerEndsRun : public CJobRun {
public:
  void OnTaskFinished(const CShrinkTaskExPtr& task) override {
    if (!m_ended.exchange(true)) throw std::runtime_error("the worker ends here");
    CJobRun::OnTaskFinished(task);
  }

private:
  std::atomic<bool> m_ended{false};
};

}  // namespace

TEST(JobRun, EachHandOverWakesTheWaiterAndCollectionStopsAtTheFirstFailedTask) {
  CGatedRun run;
  std::vector<CShrinkTaskExPtr> tasks = {IdleTask(&run), IdleTask(&run), MissingDriveTask(&run),
                                         IdleTask(&run)};
  for (const CShrinkTaskExPtr& task : tasks) run.Pool().Pending().Append(task);
  ASSERT_TRUE(run.Start());
  EXPECT_EQ(4, run.GetTotal());
  EXPECT_FALSE(run.CollectFinished());
  EXPECT_EQ(0, run.GetDone());

  for (int32_t handed = 1; handed <= 2; ++handed) {
    run.Release();
    EXPECT_FALSE(run.WaitForFinished()) << "woken by the task, the worker still runs";
    EXPECT_FALSE(run.CollectFinished());
    EXPECT_EQ(handed, run.GetDone());
  }
  // The failed task wakes the waiter before its worker ends, and stays uncounted.
  run.Release();
  EXPECT_FALSE(run.WaitForFinished());
  EXPECT_EQ(tasks[2], run.CollectFinished());
  EXPECT_EQ(2, run.GetDone());
  EXPECT_EQ(tasks[2], run.CollectFinished());
  EXPECT_EQ(2, run.GetDone());
  EXPECT_TRUE(run.WaitForFinished()) << "then the worker's end";
  EXPECT_EQ(1u, run.Pool().Pending().Count()) << "the task behind the failure waits for the cancel";

  // The next job counts from zero and never sees the old failure.
  run.Cancel();
  EXPECT_TRUE(run.IsCancelled());
  run.Pool().WaitAll(INFINITE);
  run.Pool().Cancelled().Clear();
  run.Pool().Pending().Append(IdleTask(&run));
  ASSERT_TRUE(run.Start());
  EXPECT_FALSE(run.IsCancelled());
  EXPECT_EQ(1, run.GetTotal());
  EXPECT_FALSE(run.CollectFinished());
  EXPECT_EQ(0, run.GetDone());
  run.Release();
  EXPECT_FALSE(run.WaitForFinished());
  EXPECT_FALSE(run.CollectFinished());
  EXPECT_EQ(1, run.GetDone());
  EXPECT_TRUE(run.WaitForFinished());
}

TEST(JobRun, AWorkerThatEndsEarlyWakesTheWaiterAndClosingDropsLateTasks) {
  CWorkerEndsRun run;
  run.Pool().Pending().Append(IdleTask(&run));
  run.Pool().Pending().Append(IdleTask(&run));
  ASSERT_TRUE(run.Start());
  EXPECT_TRUE(run.WaitForFinished());
  EXPECT_FALSE(run.CollectFinished());
  EXPECT_EQ(0, run.GetDone());
  EXPECT_EQ(2, run.GetTotal());

  // A task that failed, handed over once closing has begun, is never collected.
  CShrinkTaskExPtr failed = MissingDriveTask(&run);
  failed->Run();
  ASSERT_NE(0, failed->GetErrorNumber());
  run.Pool().QuitAll(true);
  run.OnTaskFinished(failed);
  EXPECT_FALSE(run.CollectFinished());
  EXPECT_EQ(0, run.GetDone());
}
