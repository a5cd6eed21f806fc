// CJobSession: one job's life, as every front end sees it. From a start's dropped paths to the
// job's end it owns the listing (on a thread of its own for a front end whose window must not
// wait, or on the caller's thread), the start checks and the overwrite question (PrepareJob,
// answered by the client), the queue, the worker's pool, the finished tasks and their count, the
// cancel, the end, and what the front end asked to keep alive until the job ends. The front end
// starts, answers, shows progress and shows the end; it never reaches the worker.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "base/Handle.h"
#include "base/SlimLock.h"
#include "job/FileList.h"
#include "job/FolderListing.h"
#include "job/JobStart.h"
#include "job/MultiTaskPool.h"
#include "job/ShrinkProfile.h"
#include "job/ShrinkTaskEx.h"

// Something a job's files depend on (the private copies of a drop's items, say) that must live
// until the job ends: held by value, whatever its type, and destroyed when the session lets it go.
// Move-only, as the owners it holds are.
class CKeepAlive {
public:
  CKeepAlive() = default;
  template <class T>
  explicit CKeepAlive(T value) : m_held(new CHeld<T>(std::move(value))) {}
  CKeepAlive(CKeepAlive&&) = default;
  CKeepAlive& operator=(CKeepAlive&&) = default;

  bool IsEmpty() const { return !m_held; }
  // Destroys what is held.
  void Reset() { m_held.reset(); }

private:
  struct CBase {
    virtual ~CBase() = default;
  };
  template <class T>
  struct CHeld : CBase {
    explicit CHeld(T held) : value(std::move(held)) {}
    T value;
  };
  std::unique_ptr<CBase> m_held;
};

// The front end of a session: the start's refusals and question (CJobStartClient), and the steps
// of a start listed on the session's thread.
class CJobSessionClient : public CJobStartClient {
public:
  // Listing thread: a start's listing has ended, stopped or not. The front end hands `round` back
  // to CJobSession::ContinueStart on its own thread.
  virtual void OnListingEnded(unsigned round) = 0;
  // Front end's thread: the dropped paths are listed; the checks, with their refusals and
  // question, come next.
  virtual void OnChecking() {}
  // Front end's thread: every check passed and the outputs are cleared; the worker starts next.
  virtual void OnChecked() {}

protected:
  ~CJobSessionClient() = default;
};

// How a start (or its continuation) ended up.
enum class StartOutcome {
  Busy,      // refused: a start or a job of this session is under way; nothing was done
  Listing,   // the paths are listed on the session's thread: ContinueStart goes on
  Stale,     // ContinueStart of a listing that is not the present start's: nothing was done
  Stopped,   // a cancel, abort or close ended the start before its job began
  Refused,   // a check or the question's answer ended the start; the client was told
  Running,   // the worker runs the job
  NoWorker,  // the job is queued but no worker could start: it waits for a cancel
};

class CJobSession : public CShrinkTaskExClient, private CFolderListingClient {
public:
  // `client` outlives the session.
  explicit CJobSession(CJobSessionClient* client);
  // Close: nothing of the job runs once the session has gone.
  ~CJobSession();
  CJobSession(const CJobSession&) = delete;
  CJobSession& operator=(const CJobSession&) = delete;

  // Read when a worker starts: the threads that load and shrink pictures (see
  // CMultiTaskPool::SetThreadCount), and the worker's COM apartment (see CThread::SetComApartment).
  void SetThreadCount(int threads);
  void SetWorkerApartment(DWORD model);

  enum class Listing { OnThread, Inline };
  // Front end's thread. Starts a job of `files` with copies of `profiles`: lists them (OnThread:
  // on the session's thread, Listing returned and ContinueStart goes on; Inline, or when no thread
  // starts: here), checks, asks, queues and runs. `keepAlive` is held until the job ends, and goes
  // at once when the start ends early. A session that is starting or whose job has not been ended
  // (Finish, Abort) refuses with Busy.
  StartOutcome Start(const CFileList& files, const std::vector<ShrinkProfile>& profiles, CKeepAlive keepAlive,
                     Listing listing);
  // Front end's thread, when the client was told OnListingEnded(round): goes on with that start.
  StartOutcome ContinueStart(unsigned round);

  // From Start to the end of its checks and question.
  bool IsStarting() const { return m_state == State::Listing || m_state == State::Checking; }
  // From the worker's start to Finish, Abort or Close.
  bool HasJob() const { return m_state == State::Running; }
  // While the worker's thread has not ended.
  bool IsWorkerRunning() const { return m_pool.AnyRunning(); }
  // Any thread: a cancel, abort or close has asked the worker to stop.
  bool IsStopping() const;

  // Front end's thread. Counts the finished tasks not yet counted, in the order the worker
  // finished them, up to the first failed one, which is returned (uncounted, and returned again by
  // the next call). With no failure, every finished task is counted and nothing is returned.
  CShrinkTaskExPtr CollectFinished();
  // Front end's thread, with a job: blocks until a task has been handed over since the last wake,
  // or the worker has ended. True once the worker has ended (or never started); everything it
  // finished has been handed over by then, so the next CollectFinished takes all of it.
  bool WaitForFinished();
  int32_t GetTotal() const { return m_total; }
  int32_t GetDone() const { return m_done; }
  bool IsCancelled() const { return m_cancelled; }

  // The user's cancel. A start ends at once (its listing stopped, its holder gone; during its
  // question, the answer counts as no) and true is returned; a job's tasks not yet taken are
  // moved aside and its worker is told to stop, and the front end ends it when the worker has
  // ended (Finish). False then, and when there is nothing to cancel.
  bool Cancel();
  // The job's end, once its worker has ended: waits for it, and lets the holder go.
  void Finish();
  // Cancel plus wait: once this returns, no task of the job runs and the holder is gone.
  void Abort();
  // The front end goes: as Abort, and the worker never starts again.
  void Close();

  // Worker thread: a task has run. After closing has begun, the task is dropped.
  void OnTaskFinished(const CShrinkTaskExPtr& task) override;

private:
  enum class State { Idle, Listing, Checking, Running };

  // Listing thread.
  void OnListingFinished() override;
  // The rest of a start, with its paths listed.
  StartOutcome Check(const DroppedSources& listed);
  StartOutcome RunWorker();
  // A start that ends before its job runs: its holder goes.
  void EndStart();
  // The start's refusals and question pass through here on their way to the client: a stop
  // asked for while one is shown ends the start when it returns.
  class CStartRelay;

  CJobSessionClient* m_client;
  State m_state = State::Idle;
  bool m_stopAsked = false;     // a cancel, abort or close came while the checks called out
  bool m_closed = false;        // Close: no start any more
  CKeepAlive m_keepAlive;
  CFileList m_files;
  std::vector<ShrinkProfile> m_profiles;
  CFolderListingThread m_listing;
  // Counts the listings; each ends with its number. It cannot change while a listing runs: a new
  // start comes only after the previous listing's thread has ended.
  unsigned m_listingRound = 0;

  bool m_cancelled = false;  // set by Cancel on a job
  int32_t m_total = 0;       // tasks of the running job
  int32_t m_done = 0;        // finished tasks already counted
  CMultiTaskPool m_pool;
  CSlimLock m_finishedLock;
  std::vector<CShrinkTaskExPtr> m_finished;  // in the order the worker finished them
  CHandle m_finishedEvent;                   // auto-reset; set after each task joins the list
};
