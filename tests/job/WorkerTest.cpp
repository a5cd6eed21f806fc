// The worker: its thread entry, the loop over the pending queue, and how Start, cancel and quit
// act on a worker that is running a task.
#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/Handle.h"
#include "image/FileIo.h"
#include "image/encode/ImageSaver.h"
#include "job/JobTasks.h"
#include "job/LookAhead.h"
#include "job/MultiTaskPool.h"
#include "job/ShrinkTaskEx.h"
#include "job/TaskQueue.h"
#include "job/ThreadImpl.h"
#include "res/StringIds.h"
#include "support/ImageCalls.h"
#include "support/Pictures.h"
#include "support/ProcessCounters.h"
#include "support/TempDir.h"

namespace {

// Records every handover with the thread and the priority it came with. It can hold the worker
// inside the handover of one task, so that the test acts while that task is the worker's
// current one.
class CRecordingClient : public CShrinkTaskExClient {
public:
  struct Handover {
    CShrinkTaskExPtr task;
    DWORD threadId;
    int priority;
  };

  void HoldAt(const CShrinkTaskExPtr& task) { m_hold = task.get(); }
  bool WaitHeld() { return WaitForSingleObject(m_held.Get(), 60000) == WAIT_OBJECT_0; }
  void Release() { SetEvent(m_release.Get()); }

  void OnTaskFinished(const CShrinkTaskExPtr& task) override {
    Handover handover = {task, GetCurrentThreadId(), GetThreadPriority(GetCurrentThread())};
    {
      std::lock_guard<std::mutex> lock(m_lock);
      m_handovers.push_back(handover);
    }
    if (task.get() == m_hold) {
      SetEvent(m_held.Get());
      WaitForSingleObject(m_release.Get(), 60000);
    }
  }

  std::vector<Handover> Handovers() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_handovers;
  }

private:
  CShrinkTaskEx* m_hold = nullptr;  // set before the worker starts
  CHandle m_held{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  CHandle m_release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::mutex m_lock;
  std::vector<Handover> m_handovers;
};

std::vector<CShrinkTaskExPtr> TasksOf(const std::vector<CRecordingClient::Handover>& handovers) {
  std::vector<CShrinkTaskExPtr> tasks;
  for (const CRecordingClient::Handover& handover : handovers) tasks.push_back(handover.task);
  return tasks;
}

std::vector<CShrinkTaskExPtr> Drain(TaskQueue& queue) {
  std::vector<CShrinkTaskExPtr> tasks;
  while (CShrinkTaskExPtr task = queue.PopFront()) tasks.push_back(task);
  return tasks;
}

DWORD ExitCodeOf(HANDLE thread) {
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  return code;
}

// A thread body that notes what the entry set up for it and then returns or throws.
class CProbeThread : public CThreadImpl<CProbeThread> {
public:
  enum Ending { Return7, ThrowStd, ThrowInt };
  explicit CProbeThread(Ending ending) : m_ending(ending) {}

  unsigned Run() override {
    APTTYPEQUALIFIER qualifier;
    if (FAILED(CoGetApartmentType(&apartment, &qualifier))) apartment = APTTYPE_CURRENT;
    if (m_ending == ThrowStd) throw std::runtime_error("body failed");
    if (m_ending == ThrowInt) throw 42;
    return 7;
  }

  APTTYPE apartment = APTTYPE_CURRENT;  // APTTYPE_CURRENT: the body found no apartment

private:
  Ending m_ending;
};

// A worker that pauses at the first stop check made once `folder` exists, which is the running
// task's first look at its worker after it made its first output folder.
class CPausingWorker : public CMultiTaskPool::Worker {
  typedef CMultiTaskPool::Worker Worker;

public:
  CPausingWorker(TaskQueue* queue, const std::wstring& folder) : Worker(queue), m_folder(folder) {}
  ~CPausingWorker() override {
    GoOn();
    Wait(INFINITE);
  }

  bool IsStopping() const override {
    if (!m_paused && PathIsDirectoryW(m_folder.c_str())) {
      m_paused = true;
      SetEvent(m_reached.Get());
      WaitForSingleObject(m_goOn.Get(), 60000);
    }
    return Worker::IsStopping();
  }

  bool WaitReached() { return WaitForSingleObject(m_reached.Get(), 60000) == WAIT_OBJECT_0; }
  void GoOn() { SetEvent(m_goOn.Get()); }

private:
  std::wstring m_folder;
  mutable bool m_paused = false;  // worker thread only
  CHandle m_reached{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  CHandle m_goOn{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

}  // namespace

TEST(WorkerThread, EntryRunsTheBodyInsideComAndTurnsAnEscapingExceptionIntoMinusOne) {
  const struct {
    CProbeThread::Ending ending;
    DWORD code;
  } cases[] = {{CProbeThread::Return7, 7}, {CProbeThread::ThrowStd, 0xFFFFFFFFu},
               {CProbeThread::ThrowInt, 0xFFFFFFFFu}};
  for (const auto& c : cases) {
    CProbeThread thread(c.ending);
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(ThreadEnds(thread.GetHandle()));
    EXPECT_EQ(c.code, ExitCodeOf(thread.GetHandle()));
    // The first single-threaded apartment of a process is its main one.
    EXPECT_TRUE(thread.apartment == APTTYPE_STA || thread.apartment == APTTYPE_MAINSTA)
        << thread.apartment;
    EXPECT_FALSE(thread.IsRunning());
    thread.Wait(INFINITE);
    EXPECT_EQ(nullptr, thread.GetHandle());
  }
}

TEST(WorkerThread, AThreadToldToJoinTheMultithreadedApartmentDoesAndAnotherStartStaysThere) {
  CProbeThread thread(CProbeThread::Return7);
  thread.SetComApartment(COINIT_MULTITHREADED);
  for (int start = 0; start < 2; ++start) {
    thread.apartment = APTTYPE_CURRENT;
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(ThreadEnds(thread.GetHandle()));
    EXPECT_EQ(7u, ExitCodeOf(thread.GetHandle()));
    EXPECT_EQ(APTTYPE_MTA, thread.apartment);
    thread.Wait(INFINITE);
  }
}

TEST(WorkerThread, ACancelDuringATaskEndsItAtItsNextStopCheckAndItIsStillHandedOver) {
  CTempDir dir;
  std::wstring source = dir / L"pic.bmp";
  ASSERT_TRUE(SaveWithGdiplus(*MakePhotoLike(160, 120), source, L"image/bmp"));
  CRecordingClient client;
  TaskQueue queue;
  CShrinkTaskExPtr task = PictureTask(&client, source, {dir / L"one", dir / L"two"});
  CShrinkTaskExPtr behind = MissingDriveTask(&client);
  queue.Append(task);
  queue.Append(behind);

  CPausingWorker worker(&queue, dir / L"one");
  ASSERT_TRUE(worker.Start());
  ASSERT_TRUE(worker.WaitReached());
  worker.SetCancel(true);
  worker.GoOn();
  ASSERT_TRUE(ThreadEnds(worker.GetHandle()));
  EXPECT_EQ(0u, ExitCodeOf(worker.GetHandle()));

  EXPECT_EQ(std::vector<CShrinkTaskExPtr>{task}, TasksOf(client.Handovers()));
  EXPECT_EQ(0, task->GetErrorNumber());
  EXPECT_FALSE(FileExists(dir / L"one\\spic.png"));
  // The second profile still makes its folder, then stops too.
  EXPECT_TRUE(PathIsDirectoryW((dir / L"two").c_str()));
  EXPECT_FALSE(FileExists(dir / L"two\\spic.png"));
  EXPECT_EQ(1u, queue.Count());
  EXPECT_EQ(0, behind->GetErrorNumber());
}

TEST(WorkerPool, RunsQueuedTasksInOrderOnOneIdleThreadAndHandsEachToItsClient) {
  CTempDir dir;
  std::wstring source = dir / L"pic.bmp";
  ASSERT_TRUE(SaveWithGdiplus(*MakePhotoLike(120, 80), source, L"image/bmp"));
  CRecordingClient client;
  CMultiTaskPool pool;
  ASSERT_EQ(1u, pool.Workers().size());
  const CMultiTaskPool::WorkerPtr& worker = pool.Workers()[0];

  // A task without a client is run but handed to no one.
  CShrinkTaskExPtr unclaimed = PictureTask(nullptr, source, {dir / L"unclaimed"});
  std::vector<CShrinkTaskExPtr> tasks = {IdleTask(&client), PictureTask(&client, source, {dir / L"out"}),
                                         IdleTask(&client), MissingDriveTask(&client)};
  pool.Pending().Append(tasks[0]);
  pool.Pending().Append(tasks[1]);
  pool.Pending().Append(unclaimed);
  pool.Pending().Append(tasks[2]);
  pool.Pending().Append(tasks[3]);
  ASSERT_TRUE(pool.StartAll());
  ASSERT_TRUE(ThreadEnds(worker->GetHandle()));
  EXPECT_EQ(0u, ExitCodeOf(worker->GetHandle()));
  EXPECT_FALSE(pool.AnyRunning());
  pool.WaitAll(INFINITE);
  EXPECT_EQ(nullptr, worker->GetHandle());

  std::vector<CRecordingClient::Handover> handovers = client.Handovers();
  EXPECT_EQ(tasks, TasksOf(handovers));
  for (const CRecordingClient::Handover& handover : handovers) {
    EXPECT_NE(GetCurrentThreadId(), handover.threadId);
    EXPECT_EQ(handovers[0].threadId, handover.threadId);
    EXPECT_EQ(THREAD_PRIORITY_IDLE, handover.priority);
  }
  EXPECT_TRUE(FileExists(dir / L"out\\spic.png"));
  EXPECT_TRUE(FileExists(dir / L"unclaimed\\spic.png"));
  EXPECT_EQ(IDS_MSG_CREATE_FOLDER_FAILED, tasks[3]->GetErrorNumber());
  EXPECT_EQ(0u, pool.Pending().Count());
}

TEST(WorkerPool, AFailedTaskIsTheLastOneTheWorkerRuns) {
  // The client learns of the failure only when it looks; until then nothing of a later file may
  // be written. The worker ends after handing the failed task over, and the tasks behind it stay
  // queued, unrun, for the client's cancel. With helpers, the pictures they made of the later
  // files are dropped: helpers never write.
  CTempDir dir;
  const std::wstring source = dir / L"pic.bmp", photo = dir / L"photo.jpg", broken = dir / L"broken.jpg";
  ASSERT_TRUE(SaveWithGdiplus(*MakePhotoLike(40, 30), source, L"image/bmp"));
  ASSERT_EQ(S_OK, CreateJpegSaver(90)->Save(*MakePhotoLike(800, 600), photo));
  ASSERT_TRUE(WriteBytes(broken, "\xFF\xD8\xFF not a real picture"));
  for (int threads : {1, 3}) {
    for (bool loadFails : {false, true}) {
      SCOPED_TRACE(threads * 10 + loadFails);
      CTempDir out;
      CRecordingClient client;
      CMultiTaskPool pool;
      pool.SetThreadCount(threads);
      const CMultiTaskPool::WorkerPtr& worker = pool.Workers()[0];
      std::vector<CShrinkTaskExPtr> tasks = {
          PictureTask(&client, source, {out / L"before"}),
          loadFails ? PictureTask(&client, broken, {out / L"failed", out / L"failed2"}) : MissingDriveTask(&client)};
      for (int i = 0; i < 8; ++i) {
        tasks.push_back(PictureTask(&client, i % 2 ? photo : source, {out / (L"after" + std::to_wstring(i))}));
      }
      for (const CShrinkTaskExPtr& task : tasks) pool.Pending().Append(task);
      ASSERT_TRUE(pool.StartAll());
      ASSERT_TRUE(ThreadEnds(worker->GetHandle()));
      EXPECT_EQ(0u, ExitCodeOf(worker->GetHandle()));
      pool.WaitAll(INFINITE);

      EXPECT_EQ(std::vector<CShrinkTaskExPtr>(tasks.begin(), tasks.begin() + 2), TasksOf(client.Handovers()));
      EXPECT_EQ(loadFails ? IDS_MSG_LOAD_FAILED : IDS_MSG_CREATE_FOLDER_FAILED, tasks[1]->GetErrorNumber());
      EXPECT_TRUE(FileExists(out / L"before\\spic.png"));
      // Only the folders of the first two files: nothing of the files behind the failed one.
      EXPECT_EQ(loadFails ? 3 : 1, CountEntries(out.Path()));
      EXPECT_EQ(std::vector<CShrinkTaskExPtr>(tasks.begin() + 2, tasks.end()), Drain(pool.Pending()));
      for (size_t i = 2; i < tasks.size(); ++i) EXPECT_EQ(0, tasks[i]->GetErrorNumber());
    }
  }
}

TEST(WorkerPool, OutputsAreTheSameBytesWhateverTheNumberOfThreads) {
  // A batch of JPEG, PNG and BMP sources of several sizes through three profiles: one picture
  // decoded per source, by the worker alone or by helpers ahead of it.
  CTempDir dir;
  std::vector<std::wstring> sources;
  const int sizes[][2] = {{1600, 1200}, {900, 1400}, {300, 200}, {2000, 700}, {640, 640}, {1200, 900}};
  for (int i = 0; i < 6; ++i) {
    CDibPtr picture = MakePhotoLike(sizes[i][0], sizes[i][1]);
    std::wstring path = dir / (L"src" + std::to_wstring(i));
    if (i % 3 == 0) {
      path += L".jpg";
      ASSERT_EQ(S_OK, CreateJpegSaver(90)->Save(*picture, path));
    } else if (i % 3 == 1) {
      path += L".png";
      ASSERT_EQ(S_OK, CreatePngSaver()->Save(*picture, path));
    } else {
      path += L".bmp";
      ASSERT_TRUE(SaveWithGdiplus(*picture, path, L"image/bmp"));
    }
    sources.push_back(path);
  }
  auto runJob = [&](int threads, const std::wstring& out) {
    std::vector<ShrinkProfile> profiles(3);
    const int boxes[3] = {240, 640, 1280};
    for (int p = 0; p < 3; ++p) {
      profiles[p].Folder = out + L"\\p" + std::to_wstring(p);
      profiles[p].ShrinkType = 1;
      profiles[p].CustomWidth = profiles[p].CustomHeight = boxes[p];
      profiles[p].SaveFormat.Type = p == 0 ? SaveFormat::Png : SaveFormat::Jpeg;
      profiles[p].SaveFormat.JpegQuality = p == 1 ? 80 : 90;
    }
    CRecordingClient client;
    CMultiTaskPool pool;
    pool.SetThreadCount(threads);
    for (const std::wstring& source : sources) {
      CShrinkTaskExPtr task = CShrinkTaskEx::Create();
      task->SetSource(source);
      task->AddProfiles(profiles, profiles.size());
      task->SetClient(&client);
      pool.Pending().Append(task);
    }
    ASSERT_TRUE(pool.StartAll());
    pool.WaitAll(INFINITE);
    std::vector<CShrinkTaskExPtr> done = TasksOf(client.Handovers());
    ASSERT_EQ(sources.size(), done.size());
    for (size_t i = 0; i < done.size(); ++i) {
      EXPECT_EQ(sources[i], done[i]->GetSource());
      EXPECT_EQ(0, done[i]->GetErrorNumber()) << done[i]->GetErrorText();
    }
  };
  CTempDir one;
  runJob(1, one.Path());
  for (int threads : {2, 4}) {
    SCOPED_TRACE(threads);
    CTempDir many;
    runJob(threads, many.Path());
    for (int p = 0; p < 3; ++p) {
      for (int i = 0; i < 6; ++i) {
        const std::wstring name = L"\\p" + std::to_wstring(p) + L"\\ssrc" + std::to_wstring(i) +
                                  (p == 0 ? L".png" : L".jpg");
        const std::string expected = ReadBytes(one.Path() + name);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(expected, ReadBytes(many.Path() + name)) << p << " " << i;
      }
    }
  }
}

TEST(WorkerPool, CancelOrCloseWithHelpersAheadWritesNothingOfTheFilesBehind) {
  // The worker is held in the hand-over of the first file while three helpers make the next
  // ones; then the job is cancelled, or the dialog closes (quit, then wait).
  CTempDir dir;
  const std::wstring photo = dir / L"photo.jpg";
  ASSERT_EQ(S_OK, CreateJpegSaver(90)->Save(*MakePhotoLike(1600, 1200), photo));
  for (bool close : {false, true}) {
    SCOPED_TRACE(close);
    CTempDir out;
    CRecordingClient client;
    CMultiTaskPool pool;
    pool.SetThreadCount(3);
    std::vector<CShrinkTaskExPtr> tasks;
    for (int i = 0; i < 10; ++i) {
      tasks.push_back(PictureTask(&client, photo, {out / (L"a" + std::to_wstring(i)), out / (L"b" + std::to_wstring(i))}));
      pool.Pending().Append(tasks.back());
    }
    client.HoldAt(tasks[0]);
    ASSERT_TRUE(pool.StartAll());
    ASSERT_TRUE(client.WaitHeld());
    if (close) {
      pool.QuitAll(true);
    } else {
      pool.CancelAll(true);
    }
    client.Release();
    pool.WaitAll(INFINITE);
    EXPECT_FALSE(pool.AnyRunning());

    EXPECT_EQ(std::vector<CShrinkTaskExPtr>{tasks[0]}, TasksOf(client.Handovers()));
    EXPECT_TRUE(FileExists(out / L"a0\\sphoto.png"));
    EXPECT_TRUE(FileExists(out / L"b0\\sphoto.png"));
    EXPECT_EQ(2, CountEntries(out.Path()));  // no folder, output or temporary file of a later file
    EXPECT_EQ(2, CountEntries(out / L"a0") + CountEntries(out / L"b0"));
    EXPECT_EQ(std::vector<CShrinkTaskExPtr>(tasks.begin() + 1, tasks.end()),
              Drain(close ? pool.Pending() : pool.Cancelled()));
  }
}

TEST(WorkerPool, StartWhileTheWorkerRunsMakesNoSecondThread) {
  CRecordingClient client;
  CMultiTaskPool pool;
  const CMultiTaskPool::WorkerPtr& worker = pool.Workers()[0];
  std::vector<CShrinkTaskExPtr> tasks = {IdleTask(&client), IdleTask(&client), IdleTask(&client)};
  for (const CShrinkTaskExPtr& task : tasks) pool.Pending().Append(task);
  client.HoldAt(tasks[0]);

  ASSERT_TRUE(pool.StartAll());
  ASSERT_TRUE(client.WaitHeld());
  HANDLE thread = worker->GetHandle();
  const DWORD id = GetThreadId(worker->GetHandle());
  EXPECT_TRUE(pool.AnyRunning());
  EXPECT_TRUE(pool.StartAll());
  EXPECT_TRUE(pool.StartAll());
  EXPECT_EQ(thread, worker->GetHandle());
  EXPECT_EQ(id, GetThreadId(worker->GetHandle()));
  client.Release();
  ASSERT_TRUE(ThreadEnds(worker->GetHandle()));
  pool.WaitAll(INFINITE);

  std::vector<CRecordingClient::Handover> handovers = client.Handovers();
  EXPECT_EQ(tasks, TasksOf(handovers));
  for (const CRecordingClient::Handover& handover : handovers) EXPECT_EQ(id, handover.threadId);
}

TEST(WorkerPool, CancelWhileATaskRunsHandsItOverAndNeverRunsTheRest) {
  CRecordingClient client;
  CMultiTaskPool pool;
  const CMultiTaskPool::WorkerPtr& worker = pool.Workers()[0];
  std::vector<CShrinkTaskExPtr> tasks = {IdleTask(&client), MissingDriveTask(&client),
                                         MissingDriveTask(&client), MissingDriveTask(&client)};
  for (const CShrinkTaskExPtr& task : tasks) pool.Pending().Append(task);
  client.HoldAt(tasks[0]);

  ASSERT_TRUE(pool.StartAll());
  ASSERT_TRUE(client.WaitHeld());
  pool.CancelAll(true);
  EXPECT_TRUE(pool.StartAll());  // on a running worker: neither a new thread nor a cleared cancel
  client.Release();
  ASSERT_TRUE(ThreadEnds(worker->GetHandle()));
  EXPECT_EQ(0u, ExitCodeOf(worker->GetHandle()));

  EXPECT_EQ(std::vector<CShrinkTaskExPtr>{tasks[0]}, TasksOf(client.Handovers()));
  EXPECT_EQ(0u, pool.Pending().Count());
  EXPECT_EQ(std::vector<CShrinkTaskExPtr>(tasks.begin() + 1, tasks.end()), Drain(pool.Cancelled()));
  for (size_t i = 1; i < tasks.size(); ++i) EXPECT_EQ(0, tasks[i]->GetErrorNumber());

  // The next start, on the ended worker, clears the cancel.
  CShrinkTaskExPtr next = MissingDriveTask(&client);
  pool.Pending().Append(next);
  ASSERT_TRUE(pool.StartAll());
  ASSERT_TRUE(ThreadEnds(worker->GetHandle()));
  pool.WaitAll(INFINITE);
  EXPECT_EQ(next, client.Handovers().back().task);
  EXPECT_EQ(IDS_MSG_CREATE_FOLDER_FAILED, next->GetErrorNumber());
}

TEST(WorkerPool, AfterQuitTheRunningTaskIsHandedOverAndNothingStartsAgain) {
  CRecordingClient client;
  CMultiTaskPool pool;
  const CMultiTaskPool::WorkerPtr& worker = pool.Workers()[0];
  std::vector<CShrinkTaskExPtr> tasks = {IdleTask(&client), MissingDriveTask(&client)};
  for (const CShrinkTaskExPtr& task : tasks) pool.Pending().Append(task);
  client.HoldAt(tasks[0]);

  ASSERT_TRUE(pool.StartAll());
  ASSERT_TRUE(client.WaitHeld());
  pool.QuitAll(true);
  EXPECT_TRUE(pool.IsClosing());
  client.Release();
  ASSERT_TRUE(ThreadEnds(worker->GetHandle()));
  pool.WaitAll(INFINITE);
  EXPECT_EQ(std::vector<CShrinkTaskExPtr>{tasks[0]}, TasksOf(client.Handovers()));
  EXPECT_EQ(1u, pool.Pending().Count());

  EXPECT_FALSE(pool.StartAll());
  pool.Resize(1);
  EXPECT_FALSE(pool.StartAll());
  EXPECT_FALSE(pool.AnyRunning());
  EXPECT_EQ(nullptr, worker->GetHandle());
  EXPECT_EQ(0, tasks[1]->GetErrorNumber());
}

TEST(WorkerPool, EndedWorkersLeaveSoundHeapsAndGiveTheirPictureMemoryBack) {
  // Each worker decodes a picture large enough for its buffers to be kept for a next picture;
  // when the worker ends, what it kept must be returned without touching freed memory.
  CTempDir dir;
  const std::wstring source = dir / L"large.bmp";
  ASSERT_TRUE(SaveWithGdiplus(*MakePhotoLike(2400, 1800), source, L"image/bmp"));
  auto heapsSound = [] {
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    for (DWORD i = 0; i < count && i < 64; ++i) {
      if (!HeapValidate(heaps[i], 0, nullptr)) return false;
    }
    return count > 0;
  };
  size_t before = 0;
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    CRecordingClient client;
    CMultiTaskPool pool;
    pool.Pending().Append(PictureTask(&client, source, {dir / (L"out" + std::to_wstring(round))}));
    ASSERT_TRUE(pool.StartAll());
    pool.WaitAll(INFINITE);
    ASSERT_EQ(1u, client.Handovers().size());
    EXPECT_EQ(0, client.Handovers()[0].task->GetErrorNumber());
    EXPECT_TRUE(heapsSound());
    if (round == 0) before = ProcessPrivateBytes();
  }
  // The 17 MB decoded picture and the rest of each worker's buffers did not pile up.
  EXPECT_GT(before, 0u);
  EXPECT_LT(ProcessPrivateBytes(), before + (24u << 20));
}

TEST(WorkerThread, FaultsInTheMiddleOfATaskEndWithTheirMessagesAndLeaveNothingPartial) {
  // The worker pauses once the task has made its output folder; the fault happens there.
  enum class Fault { FolderVanishes, FolderBecomesAFile, SourceDeleted };
  const struct {
    Fault fault;
    int message;
  } cases[] = {{Fault::FolderVanishes, IDS_MSG_SAVE_FAILED},
               {Fault::FolderBecomesAFile, IDS_MSG_SAVE_FAILED},
               {Fault::SourceDeleted, IDS_MSG_LOAD_FAILED}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.fault));
    CTempDir dir;
    const std::wstring source = dir / L"pic 100%.bmp", out = dir / L"out";
    ASSERT_TRUE(SaveWithGdiplus(*MakePhotoLike(640, 480), source, L"image/bmp"));
    CRecordingClient client;
    TaskQueue queue;
    CShrinkTaskExPtr task = PictureTask(&client, source, {out});
    queue.Append(task);
    CPausingWorker worker(&queue, out);
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.WaitReached());
    switch (c.fault) {
      case Fault::FolderVanishes: ASSERT_TRUE(RemoveDirectoryW(out.c_str())); break;
      case Fault::FolderBecomesAFile:
        ASSERT_TRUE(RemoveDirectoryW(out.c_str()));
        ASSERT_TRUE(WriteBytes(out, "a file where the folder was"));
        break;
      case Fault::SourceDeleted: ASSERT_TRUE(DeleteFileW(source.c_str())); break;
    }
    worker.GoOn();
    ASSERT_TRUE(ThreadEnds(worker.GetHandle()));
    EXPECT_EQ(c.message, task->GetErrorNumber());
    // The message ends with the path it is about, "%" and all: the output that could not be
    // saved, or the source that could not be read.
    const std::wstring& text = task->GetErrorText();
    const std::wstring tail =
        L"\n\n" + (c.message == IDS_MSG_SAVE_FAILED ? out + L"\\spic 100%.png" : source);
    ASSERT_GT(text.size(), tail.size());
    EXPECT_EQ(tail, text.substr(text.size() - tail.size()));
    // No output and no part of one, anywhere in the test's folder.
    EXPECT_FALSE(FileExists(out + L"\\spic 100%.png"));
    WIN32_FIND_DATAW found;
    for (const std::wstring& pattern : {dir / kTemporaryFilePattern, out + L"\\" + kTemporaryFilePattern}) {
      HANDLE search = FindFirstFileW(pattern.c_str(), &found);
      EXPECT_EQ(INVALID_HANDLE_VALUE, search);
      if (search != INVALID_HANDLE_VALUE) FindClose(search);
    }
  }

  // A folder that cannot be made at all (below a file) is the folder's own message.
  CTempDir dir;
  ASSERT_TRUE(WriteBytes(dir / L"taken", "a file"));
  ASSERT_TRUE(SaveWithGdiplus(*MakePhotoLike(64, 48), dir / L"pic.bmp", L"image/bmp"));
  CShrinkTaskExPtr task = PictureTask(nullptr, dir / L"pic.bmp", {dir / L"taken\\out"});
  task->Run();
  EXPECT_EQ(IDS_MSG_CREATE_FOLDER_FAILED, task->GetErrorNumber());
}

TEST(LookAhead, TheWorkerTakesEveryTaskInOrderWhateverTheBudgetAndAStopDropsWhatWasMadeAhead) {
  // The test thread is the worker: it takes tasks from the queue and asks for their pictures. A
  // budget of one pixel admits a picture only when nothing else is held, so helpers wait for the
  // worker between pictures; a generous one lets them run ahead.
  class CIdleOwner : public CThread {
  public:
    unsigned Run() override { return 0; }
    bool Start() override { return false; }
    void Wait(DWORD) override {}
  };
  CTempDir dir;
  const std::wstring photo = dir / L"photo.jpg", small = dir / L"small.png";
  ASSERT_EQ(S_OK, CreateJpegSaver(90)->Save(*MakePhotoLike(1200, 900), photo));
  ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(300, 200), small));
  for (uint64_t budget : {uint64_t(1), kPixelBudget}) {
    SCOPED_TRACE(budget);
    CTempDir out;
    CIdleOwner owner;
    TaskQueue queue;
    std::vector<CShrinkTaskExPtr> tasks;
    for (int i = 0; i < 6; ++i) {
      tasks.push_back(PictureTask(nullptr, i % 2 ? small : photo, {out / (L"o" + std::to_wstring(i))}));
      queue.Append(tasks.back());
    }
    CLookAhead lookAhead(&queue, &owner, 2, budget);
    ASSERT_TRUE(lookAhead.Start());
    for (int i = 0; i < 4; ++i) {
      CShrinkTaskExPtr task = queue.PopFront();
      ASSERT_EQ(tasks[i], task);
      task->SetWorker(&owner);
      CLoadAdmission* admission = nullptr;
      CSharedSourcePtr source = lookAhead.Take(task, &admission);
      ASSERT_TRUE(source && admission);
      task->Run(source.get(), admission);
      EXPECT_EQ(0, task->GetErrorNumber());
      lookAhead.Done(task);
    }
    // Two tasks are left, perhaps made ahead: a stop ends the helpers, and nothing of them is
    // written.
    lookAhead.Stop();
    EXPECT_EQ(4, CountEntries(out.Path()));
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(FileExists(out / (L"o" + std::to_wstring(i) + (i % 2 ? L"\\ssmall.png" : L"\\sphoto.png"))));
    EXPECT_EQ(2u, queue.Count());
  }
}

TEST(LookAhead, AHelperWaitingForWorkIsWokenByTheWorkersTakeAndClaimsWhatTheQueueHoldsNow) {
  // While it makes no picture, a helper looks at the worker only in its claim, under the
  // look-ahead's lock, right before it finds nothing to claim and waits. Once that look is seen,
  // the worker's next call into the look-ahead comes after the helper waits: the queue then
  // receives a task without telling anyone, and only the wake of the worker's Take lets the
  // helper see it. The helper makes it, and the worker takes what the helper made.
  class CWatchedOwner : public CThread {
  public:
    unsigned Run() override { return 0; }
    bool Start() override { return false; }
    void Wait(DWORD) override {}
    bool IsStopping() const override {
      if (GetCurrentThreadId() != m_worker) SetEvent(m_helperLooked.Get());
      return CThread::IsStopping();
    }
    bool WaitHelperLooked() { return WaitForSingleObject(m_helperLooked.Get(), 60000) == WAIT_OBJECT_0; }
    void ForgetLooks() { ResetEvent(m_helperLooked.Get()); }

  private:
    const DWORD m_worker = GetCurrentThreadId();  // the test thread plays the worker
    CHandle m_helperLooked{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  };
  CTempDir dir, out;
  const std::wstring small = dir / L"small.png";
  ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(300, 200), small));
  CShrinkTaskExPtr first = PictureTask(nullptr, small, {out / L"first"});
  CShrinkTaskExPtr second = PictureTask(nullptr, small, {out / L"second"});
  CWatchedOwner owner;
  first->SetWorker(&owner);
  second->SetWorker(&owner);
  TaskQueue queue;  // empty: the helper waits for work
  CLookAhead lookAhead(&queue, &owner, 1, kPixelBudget);
  ASSERT_TRUE(lookAhead.Start());
  ASSERT_TRUE(owner.WaitHelperLooked());

  // The queue's second task arrives while the helper waits; the first is the worker's own (a
  // task it took before the helper could see it).
  queue.Append(second);
  owner.ForgetLooks();
  CLoadAdmission* admission = nullptr;
  CSharedSourcePtr source = lookAhead.Take(first, &admission);
  ASSERT_TRUE(source && admission);
  EXPECT_EQ(0u, source->HeldPixels());  // nothing made ahead: the worker loads it
  // Woken by the Take, the helper has looked again and claimed the second task in that same hold
  // of the lock, before the worker's next call.
  ASSERT_TRUE(owner.WaitHelperLooked());
  first->Run(source.get(), admission);
  EXPECT_EQ(0, first->GetErrorNumber());
  lookAhead.Done(first);

  ASSERT_EQ(second, queue.PopFront());
  source = lookAhead.Take(second, &admission);
  ASSERT_TRUE(source && admission);
  EXPECT_GT(source->HeldPixels(), 0u);  // the helper's shrink, handed over
  second->Run(source.get(), admission);
  EXPECT_EQ(0, second->GetErrorNumber());
  lookAhead.Done(second);
  // The helper waits for work again; the stop's wake ends it.
  lookAhead.Stop();
  EXPECT_TRUE(FileExists(out / L"first\\ssmall.png"));
  EXPECT_TRUE(FileExists(out / L"second\\ssmall.png"));
}
