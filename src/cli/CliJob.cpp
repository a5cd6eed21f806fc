// The command line's job: profile checks, source checks, existing outputs, then the worker.
#include "cli/CliJob.h"

#include <windows.h>

#include <vector>

#include "base/AutoCriticalSection.h"
#include "base/FilePaths.h"
#include "base/Handle.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleText.h"
#include "image/GdiplusStartup.h"
#include "job/JobStart.h"
#include "job/MultiTaskPool.h"
#include "settings/Settings.h"

namespace {

const int kExitDone = 0;
const int kExitFailed = 1;
const int kExitRefused = 2;

// The job start's refusals and its question on standard error; the question is answered by
// --overwrite.
class CCliStart : public CJobStartClient {
public:
  explicit CCliStart(bool overwrite) : m_overwrite(overwrite) {}
  void ShowStartError(const std::wstring& text, int, ProfileField) override { WriteErr(text + L"\n"); }
  bool ConfirmOverwrite(const std::wstring& question) override {
    if (!m_overwrite) WriteErr(question + L"\n(--overwrite deletes them first)\n");
    return m_overwrite;
  }

private:
  bool m_overwrite;
};

// Receives finished tasks on the worker thread and wakes the main thread for each.
class CCliClient : public CShrinkTaskExClient {
public:
  CCliClient() : m_event(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

  void OnTaskFinished(const CShrinkTaskExPtr& task) override {
    {
      CAutoLock lock(m_lock);
      m_finished.push_back(task);
    }
    SetEvent(m_event.Get());
  }
  std::vector<CShrinkTaskExPtr> TakeFinished() {
    CAutoLock lock(m_lock);
    std::vector<CShrinkTaskExPtr> taken;
    taken.swap(m_finished);
    return taken;
  }
  HANDLE Event() const { return m_event.Get(); }

private:
  CAutoCriticalSection m_lock;
  std::vector<CShrinkTaskExPtr> m_finished;
  CHandle m_event;
};

std::wstring CurrentFolder() {
  DWORD needed = GetCurrentDirectoryW(0, nullptr);
  std::wstring folder(needed, L'\0');
  DWORD got = needed ? GetCurrentDirectoryW(needed, &folder[0]) : 0;
  folder.resize(got < needed ? got : 0);
  return folder;
}

int RunJob(const CliOptions& options) {
  std::vector<ShrinkProfile> profiles;
  if (options.ownProfile) {
    profiles.push_back(ProfileFromOptions(options, CurrentFolder()));
    profiles.back().Folder = FullPath(profiles.back().Folder);  // the shell's folders are absolute
  } else {
    GetSettings().LoadSettings();  // defaults stay where nothing is stored; never written back
    profiles = GetSettings().Profiles;
  }

  CFileList files;
  // Typed paths may be relative; the dialog's come from the shell as full paths.
  for (const std::wstring& file : options.files) files.Add(FullPath(file));
  CCliClient client;
  CMultiTaskPool pool;
  CCliStart start(options.overwrite);
  if (!PrepareJob(files, profiles, &client, &pool.Pending(), &start)) return kExitRefused;

  const size_t total = pool.Pending().Count();
  pool.Resize(1);
  if (options.threads > 0) pool.SetThreadCount(options.threads);
  // The console program has no window and its worker no message loop: it joins the
  // multithreaded apartment (see CThread::SetComApartment).
  pool.Workers().front()->SetComApartment(COINIT_MULTITHREADED);
  if (!pool.StartAll()) {
    WriteErr(L"the worker thread could not be started\n");
    return kExitFailed;
  }
  HANDLE waits[2] = {client.Event(), pool.Workers().front()->GetHandle()};
  size_t done = 0;
  bool workerEnded = false;
  while (done < total) {
    if (!workerEnded) {
      DWORD woken = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
      workerEnded = woken == WAIT_OBJECT_0 + 1;
    }
    std::vector<CShrinkTaskExPtr> finished = client.TakeFinished();
    for (const CShrinkTaskExPtr& task : finished) {
      if (task->GetErrorNumber() != 0) {
        pool.CancelAll(true);
        pool.WaitAll(INFINITE);
        WriteErr(task->GetErrorText() + L"\n");
        return kExitFailed;
      }
      ++done;  // the progress line counts the files whose every output is written
      WriteErr(std::to_wstring(done) + L" / " + std::to_wstring(total) + L"\n");
    }
    if (workerEnded && finished.empty() && done < total) {
      WriteErr(L"the worker thread ended before every file was done\n");
      return kExitFailed;
    }
  }
  pool.WaitAll(INFINITE);
  return kExitDone;
}

}  // namespace

int RunCli(const std::vector<std::wstring>& args) {
  CliOptions options;
  std::wstring error;
  if (!ParseCliArguments(args, &options, &error)) {
    WriteErr(L"kestrelle-cli: " + error + L" (--help shows the usage)\n");
    return kExitRefused;
  }
  if (options.help) {
    WriteOut(CliUsage());
    return kExitDone;
  }
  if (options.version) {
    WriteOut(CliVersion());
    return kExitDone;
  }
  CGdiplusStartup gdiplus;
  return RunJob(options);
}
