// A job's life in its session, as both front ends drive it: a second start refused while one lists,
// checks or runs; the worker's hand-overs waking the waiting thread and collection stopping at the
// first failed task; an abort as cancel plus wait; the question's answer deciding what is deleted;
// and what a job keeps alive going every way a job ends. The worker hands each task over only
// when the test lets it (or once it is told to stop), and a listing on the session's thread is
// waited for by its report, so every step below happens in the order written, however loaded the
// machine.
#include <windows.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/Handle.h"
#include "base/ResourceText.h"
#include "image/encode/ImageSaver.h"
#include "job/JobSession.h"
#include "job/JobTasks.h"
#include "res/StringIds.h"
#include "support/ImageCalls.h"
#include "support/Pictures.h"
#include "support/TempDir.h"

namespace {

// The front end: records the refusals and questions, answers as set, and reports the end of a
// listing on the session's thread.
class CFrontEnd : public CJobSessionClient {
public:
  CFrontEnd() : m_listed(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

  void ShowStartError(const StartRefusal& refusal) override { refusals.push_back(refusal); }
  bool ConfirmOverwrite(const std::wstring& question) override {
    questions.push_back(question);
    if (whileAsked) whileAsked();  // what a box's own message loop may let the user do
    return agree;
  }
  // Listing thread.
  void OnListingEnded(unsigned round) override {
    m_round = round;
    SetEvent(m_listed.Get());
  }
  void OnChecking() override { steps += L"c"; }
  void OnChecked() override { steps += L"k"; }

  // The round of the listing that has ended; bounded, so that a listing that hangs fails the test.
  unsigned ListedRound() {
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_listed.Get(), 60000));
    return m_round;
  }

  std::vector<StartRefusal> refusals;
  std::vector<std::wstring> questions;
  std::wstring steps;  // c: checks begin, k: checks passed
  bool agree = true;
  std::function<void()> whileAsked;

private:
  CHandle m_listed;
  unsigned m_round = 0;
};

// A session whose worker hands a finished task over only after one Release of the test, or once
// it has been told to stop (a cancel, an abort, a close).
class CGatedSession : public CJobSession {
public:
  explicit CGatedSession(CJobSessionClient* client)
      : CJobSession(client),
        m_gate(CreateSemaphoreW(nullptr, 0, 1000, nullptr)),
        m_arrived(CreateSemaphoreW(nullptr, 0, 1000, nullptr)) {}
  // The worker calls the override below: it has ended before this part of the object goes.
  ~CGatedSession() { Close(); }
  CGatedSession(const CGatedSession&) = delete;
  CGatedSession& operator=(const CGatedSession&) = delete;

  void Release() { ReleaseSemaphore(m_gate.Get(), 1, nullptr); }
  // Until the worker holds at its next hand-over; bounded, so that a worker that hangs fails the
  // test.
  bool WaitUntilHeld() { return WaitForSingleObject(m_arrived.Get(), 60000) == WAIT_OBJECT_0; }

  // Worker thread.
  void OnTaskFinished(const CShrinkTaskExPtr& task) override {
    ReleaseSemaphore(m_arrived.Get(), 1, nullptr);
    while (WaitForSingleObject(m_gate.Get(), 10) == WAIT_TIMEOUT && !IsStopping()) {
    }
    CJobSession::OnTaskFinished(task);
  }

private:
  CHandle m_gate;
  CHandle m_arrived;  // one count per hand-over reached
};

// A session whose worker ends by an exception at its first hand-over, as a worker ends that meets
// a fault it cannot report: the job has files left that nobody runs.
class CWorkerEndsSession : public CJobSession {
public:
  using CJobSession::CJobSession;
  ~CWorkerEndsSession() { Close(); }
  void OnTaskFinished(const CShrinkTaskExPtr& task) override {
    if (!m_ended.exchange(true)) throw std::runtime_error("the worker ends here");
    CJobSession::OnTaskFinished(task);
  }

private:
  std::atomic<bool> m_ended{false};
};

// What a job keeps alive (the private copies of a drop, in the dialog): counts its own end.
class CProbe {
public:
  explicit CProbe(int* ended) : m_ended(ended) {}
  CProbe(CProbe&& other) : m_ended(other.m_ended) { other.m_ended = nullptr; }
  CProbe(const CProbe&) = delete;
  CProbe& operator=(const CProbe&) = delete;
  ~CProbe() {
    if (m_ended) ++*m_ended;
  }

private:
  int* m_ended;
};

class JobSession : public ::testing::Test {
protected:
  // A small picture in the temporary folder.
  std::wstring Picture(const std::wstring& name) {
    const std::wstring path = m_dir / name;
    EXPECT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(24, 16), path));
    return path;
  }
  // A file no decoder reads: its task fails.
  std::wstring Broken(const std::wstring& name) {
    const std::wstring path = m_dir / name;
    EXPECT_TRUE(WriteBytes(path, "\x89PNG\r\n\x1a\nbroken"));
    return path;
  }
  // One profile writing PNG with prefix "s" into out\, and two disabled.
  std::vector<ShrinkProfile> Profiles() {
    std::vector<ShrinkProfile> profiles(3);
    profiles[0].Folder = Out();
    profiles[0].Prefix = L"s";
    profiles[1].Use = profiles[2].Use = false;
    return profiles;
  }
  std::wstring Out() const { return m_dir / L"out"; }
  std::wstring Output(const std::wstring& name) const { return Out() + L"\\s" + name; }

  static CFileList Files(const std::vector<std::wstring>& paths) {
    CFileList files;
    for (const std::wstring& path : paths) files.Add(path);
    return files;
  }
  // Waits for the worker's end, counting every hand-over on the way.
  static void WaitForWorkerEnd(CJobSession* session) {
    while (!session->WaitForFinished()) {
    }
  }

  CTempDir m_dir;
  CFrontEnd m_front;
};

}  // namespace

TEST_F(JobSession, ASecondStartIsRefusedWhileOneListsChecksOrRuns) {
  const std::wstring a = Picture(L"a.png");
  int firstEnded = 0, refusedEnded = 0;
  CGatedSession session(&m_front);
  ASSERT_EQ(StartOutcome::Listing, session.Start(Files({a}), Profiles(), CKeepAlive(CProbe(&firstEnded)),
                                                 CJobSession::Listing::OnThread));
  EXPECT_TRUE(session.IsStarting());
  // Refused while listing: the refused start's holder goes at once, the first one's stays.
  EXPECT_EQ(StartOutcome::Busy, session.Start(Files({a}), Profiles(), CKeepAlive(CProbe(&refusedEnded)),
                                              CJobSession::Listing::Inline));
  EXPECT_EQ(1, refusedEnded);
  EXPECT_EQ(0, firstEnded);
  const unsigned round = m_front.ListedRound();
  EXPECT_EQ(StartOutcome::Stale, session.ContinueStart(round - 1)) << "an earlier listing's end";
  EXPECT_EQ(L"", m_front.steps);
  ASSERT_EQ(StartOutcome::Running, session.ContinueStart(round));
  EXPECT_EQ(L"ck", m_front.steps);
  EXPECT_FALSE(session.IsStarting());
  EXPECT_EQ(StartOutcome::Stale, session.ContinueStart(round)) << "a listing's end goes on once";

  // Refused while running, and after the worker's end until the front end has ended the job.
  EXPECT_EQ(StartOutcome::Busy, session.Start(Files({a}), Profiles(), CKeepAlive(), CJobSession::Listing::Inline));
  session.Release();
  WaitForWorkerEnd(&session);
  EXPECT_FALSE(session.IsWorkerRunning());
  EXPECT_TRUE(session.HasJob());
  EXPECT_EQ(StartOutcome::Busy, session.Start(Files({a}), Profiles(), CKeepAlive(), CJobSession::Listing::Inline));
  EXPECT_FALSE(session.CollectFinished());
  EXPECT_EQ(1, session.GetDone());
  EXPECT_EQ(0, firstEnded);
  session.Finish();
  EXPECT_EQ(1, firstEnded);
  EXPECT_FALSE(session.HasJob());

  // Refused from inside the question, as from a box's own loop; the start asking goes on.
  StartOutcome inside = StartOutcome::Running;
  m_front.whileAsked = [&] {
    inside = session.Start(Files({a}), Profiles(), CKeepAlive(), CJobSession::Listing::Inline);
  };
  ASSERT_EQ(StartOutcome::Running, session.Start(Files({a}), Profiles(), CKeepAlive(), CJobSession::Listing::Inline));
  EXPECT_EQ(StartOutcome::Busy, inside);
  EXPECT_EQ(1u, m_front.questions.size());
  session.Release();
  WaitForWorkerEnd(&session);
  EXPECT_FALSE(session.CollectFinished());
  EXPECT_EQ(1, session.GetTotal());
  EXPECT_EQ(1, session.GetDone());
}

TEST_F(JobSession, EachHandOverWakesTheWaiterAndCollectionStopsAtTheFirstFailedTask) {
  const std::wstring broken = Broken(L"c.png");
  const std::vector<std::wstring> files = {Picture(L"a.png"), Picture(L"b.png"), broken, Picture(L"d.png")};
  CGatedSession session(&m_front);
  ASSERT_EQ(StartOutcome::Running, session.Start(Files(files), Profiles(), CKeepAlive(), CJobSession::Listing::Inline));
  EXPECT_EQ(4, session.GetTotal());
  EXPECT_FALSE(session.CollectFinished());
  EXPECT_EQ(0, session.GetDone());

  for (int32_t handed = 1; handed <= 2; ++handed) {
    session.Release();
    EXPECT_FALSE(session.WaitForFinished()) << "woken by the task, the worker still runs";
    EXPECT_FALSE(session.CollectFinished());
    EXPECT_EQ(handed, session.GetDone());
  }
  // The failed task wakes the waiter before its worker ends, and stays uncounted.
  session.Release();
  EXPECT_FALSE(session.WaitForFinished());
  CShrinkTaskExPtr failed = session.CollectFinished();
  ASSERT_TRUE(failed);
  EXPECT_NE(std::wstring::npos, failed->GetErrorText().find(broken));
  EXPECT_EQ(2, session.GetDone());
  EXPECT_EQ(failed, session.CollectFinished());
  EXPECT_EQ(2, session.GetDone());
  EXPECT_TRUE(session.WaitForFinished()) << "then the worker's end";
  EXPECT_FALSE(FileExists(Output(L"d.png"))) << "nothing runs after the failed file";

  // The next job counts from zero and never sees the old failure.
  session.Abort();
  ASSERT_EQ(StartOutcome::Running,
            session.Start(Files({m_dir / L"d.png"}), Profiles(), CKeepAlive(), CJobSession::Listing::Inline));
  EXPECT_FALSE(session.IsCancelled());
  EXPECT_EQ(1, session.GetTotal());
  EXPECT_FALSE(session.CollectFinished());
  EXPECT_EQ(0, session.GetDone());
  session.Release();
  EXPECT_FALSE(session.WaitForFinished());
  EXPECT_FALSE(session.CollectFinished());
  EXPECT_EQ(1, session.GetDone());
  EXPECT_TRUE(session.WaitForFinished());
  EXPECT_TRUE(FileExists(Output(L"d.png")));
}

TEST_F(JobSession, AnAbortIsCancelPlusWaitAndACancelledListingStartsNothing) {
  const std::vector<std::wstring> files = {Picture(L"a.png"), Picture(L"b.png"), Picture(L"c.png")};
  int ended = 0;
  CGatedSession session(&m_front);
  ASSERT_EQ(StartOutcome::Running,
            session.Start(Files(files), Profiles(), CKeepAlive(CProbe(&ended)), CJobSession::Listing::Inline));
  // The worker holds at its first hand-over; the abort's cancel lets it go, and it waits for it.
  ASSERT_TRUE(session.WaitUntilHeld());
  session.Abort();
  EXPECT_FALSE(session.IsWorkerRunning());
  EXPECT_FALSE(session.HasJob());
  EXPECT_EQ(1, ended);
  EXPECT_FALSE(session.IsCancelled()) << "an abort is not the user's cancel";
  EXPECT_TRUE(FileExists(Output(L"a.png")));
  EXPECT_FALSE(FileExists(Output(L"b.png"))) << "the tasks not yet taken never run";
  EXPECT_FALSE(FileExists(Output(L"c.png")));
  EXPECT_TRUE(session.WaitForFinished());

  // A cancel ends a start that lists at once: its end, when reported, finds nothing to go on.
  m_front.steps.clear();
  ASSERT_EQ(StartOutcome::Listing, session.Start(Files({files[1]}), Profiles(), CKeepAlive(CProbe(&ended)),
                                                 CJobSession::Listing::OnThread));
  EXPECT_TRUE(session.Cancel());
  EXPECT_FALSE(session.IsStarting());
  EXPECT_EQ(2, ended);
  EXPECT_EQ(StartOutcome::Stale, session.ContinueStart(m_front.ListedRound()));
  EXPECT_EQ(L"", m_front.steps) << "no check began";
  EXPECT_FALSE(session.IsWorkerRunning());
  EXPECT_FALSE(FileExists(Output(L"b.png")));

  // The user's cancel of a running job leaves its end to the front end, once the worker has ended.
  ASSERT_EQ(StartOutcome::Running,
            session.Start(Files(files), Profiles(), CKeepAlive(CProbe(&ended)), CJobSession::Listing::Inline));
  EXPECT_FALSE(session.Cancel());
  EXPECT_TRUE(session.IsCancelled());
  WaitForWorkerEnd(&session);
  EXPECT_EQ(2, ended) << "kept until the front end ends the job";
  session.Finish();
  EXPECT_EQ(3, ended);
  EXPECT_FALSE(FileExists(Output(L"b.png")));
}

TEST_F(JobSession, TheAnswerToTheQuestionDecidesWhetherExistingOutputsAreDeleted) {
  const std::wstring a = Picture(L"a.png");
  ASSERT_TRUE(CreateDirectoryW(Out().c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(Output(L"a.png"), "old output"));
  int ended = 0;
  CJobSession session(&m_front);

  m_front.agree = false;
  EXPECT_EQ(StartOutcome::Refused,
            session.Start(Files({a}), Profiles(), CKeepAlive(CProbe(&ended)), CJobSession::Listing::Inline));
  ASSERT_EQ(1u, m_front.questions.size());
  EXPECT_NE(std::wstring::npos, m_front.questions[0].find(Output(L"a.png")));
  EXPECT_EQ("old output", ReadBytes(Output(L"a.png")));
  EXPECT_EQ(1, ended);
  EXPECT_FALSE(session.HasJob());
  EXPECT_EQ(L"c", m_front.steps) << "no worker after a no";

  // Yes, but the user cancels while the question is open: nothing is deleted.
  m_front.agree = true;
  m_front.whileAsked = [&] { EXPECT_TRUE(session.Cancel()); };
  EXPECT_EQ(StartOutcome::Stopped,
            session.Start(Files({a}), Profiles(), CKeepAlive(CProbe(&ended)), CJobSession::Listing::Inline));
  EXPECT_EQ("old output", ReadBytes(Output(L"a.png")));
  EXPECT_EQ(2, ended);
  EXPECT_FALSE(session.HasJob());

  m_front.whileAsked = nullptr;
  ASSERT_EQ(StartOutcome::Running,
            session.Start(Files({a}), Profiles(), CKeepAlive(CProbe(&ended)), CJobSession::Listing::Inline));
  WaitForWorkerEnd(&session);
  EXPECT_FALSE(session.CollectFinished());
  EXPECT_EQ(1, session.GetDone());
  session.Finish();
  EXPECT_EQ(3, ended);
  EXPECT_NE("old output", ReadBytes(Output(L"a.png")));
  EXPECT_TRUE(FileExists(Output(L"a.png")));
}

TEST_F(JobSession, WhatAJobKeepsAliveGoesEveryWayTheJobEnds) {
  const std::wstring a = Picture(L"a.png");
  const std::wstring broken = Broken(L"broken.png");
  int ended = 0;
  {
    CGatedSession session(&m_front);
    // Refused by a check: the refusal names its kind, profile and field, in words that name the
    // profile by its number.
    std::vector<ShrinkProfile> noFolder = Profiles();
    noFolder[1].Use = true;
    noFolder[1].Folder.clear();
    EXPECT_EQ(StartOutcome::Refused,
              session.Start(Files({a}), noFolder, CKeepAlive(CProbe(&ended)), CJobSession::Listing::Inline));
    EXPECT_EQ(1, ended);
    ASSERT_EQ(1u, m_front.refusals.size());
    EXPECT_EQ(StartRefusalKind::FolderEmpty, m_front.refusals[0].kind);
    EXPECT_EQ(1, m_front.refusals[0].profile);
    EXPECT_EQ(ProfileField::Folder, m_front.refusals[0].field);
    EXPECT_EQ(FormattedResourceString(IDS_MSG_PROFILE_FOLDER_EMPTY, 2), m_front.refusals[0].text);

    // A failed file: the front end aborts once it has collected it.
    ASSERT_EQ(StartOutcome::Running,
              session.Start(Files({broken, a}), Profiles(), CKeepAlive(CProbe(&ended)), CJobSession::Listing::Inline));
    session.Release();
    WaitForWorkerEnd(&session);
    EXPECT_EQ(1, ended) << "the worker has ended, but the job has not";
    ASSERT_TRUE(session.CollectFinished());
    session.Abort();
    EXPECT_EQ(2, ended);

    // A listing that runs when the front end goes.
    ASSERT_EQ(StartOutcome::Listing,
              session.Start(Files({a}), Profiles(), CKeepAlive(CProbe(&ended)), CJobSession::Listing::OnThread));
    m_front.ListedRound();
    session.Close();
    EXPECT_EQ(3, ended);
    EXPECT_EQ(StartOutcome::Stale, session.ContinueStart(0));
    EXPECT_EQ(StartOutcome::Stopped,
              session.Start(Files({a}), Profiles(), CKeepAlive(CProbe(&ended)), CJobSession::Listing::Inline))
        << "a closed session starts nothing";
    EXPECT_EQ(4, ended);
    EXPECT_FALSE(FileExists(Output(L"a.png")));
  }
  {
    // A job still running when its session goes: the worker ends first, then the holder.
    CGatedSession session(&m_front);
    ASSERT_EQ(StartOutcome::Running,
              session.Start(Files({a}), Profiles(), CKeepAlive(CProbe(&ended)), CJobSession::Listing::Inline));
    EXPECT_EQ(4, ended);
  }
  EXPECT_EQ(5, ended);
}

TEST_F(JobSession, AWorkerThatEndsEarlyWakesTheWaiterAndClosingDropsLateTasks) {
  CWorkerEndsSession session(&m_front);
  ASSERT_EQ(StartOutcome::Running, session.Start(Files({Picture(L"a.png"), Picture(L"b.png")}), Profiles(),
                                                 CKeepAlive(), CJobSession::Listing::Inline));
  EXPECT_TRUE(session.WaitForFinished());
  EXPECT_FALSE(session.CollectFinished());
  EXPECT_EQ(0, session.GetDone());
  EXPECT_EQ(2, session.GetTotal());

  // A task that failed, handed over once closing has begun, is never collected.
  CShrinkTaskExPtr failed = MissingDriveTask(&session);
  failed->Run();
  ASSERT_NE(0, failed->GetErrorNumber());
  session.Close();
  session.OnTaskFinished(failed);
  EXPECT_FALSE(session.CollectFinished());
  EXPECT_EQ(0, session.GetDone());
}
