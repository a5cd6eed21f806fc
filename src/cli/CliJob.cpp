// The command line's job: profile checks, source checks, existing outputs, then the worker.
#include "cli/CliJob.h"

#include <windows.h>

#include <vector>

#include "base/FilePaths.h"
#include "cli/CliOptions.h"
#include "cli/ConsoleText.h"
#include "image/GdiplusStartup.h"
#include "job/JobSession.h"
#include "settings/Settings.h"

namespace {

const int kExitDone = 0;
const int kExitFailed = 1;
const int kExitRefused = 2;

// The job start's refusals and its question on standard error; the question is answered by
// --overwrite. The paths are listed on the console's thread, so no listing ends elsewhere.
class CCliStart : public CJobSessionClient {
public:
  explicit CCliStart(bool overwrite) : m_overwrite(overwrite) {}
  void ShowStartError(const StartRefusal& refusal) override { WriteErr(refusal.text + L"\n"); }
  bool ConfirmOverwrite(const std::wstring& question) override {
    if (!m_overwrite) WriteErr(question + L"\n(--overwrite deletes them first)\n");
    return m_overwrite;
  }
  void OnListingEnded(unsigned) override {}

private:
  bool m_overwrite;
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
  // Typed paths may be relative: the list resolves them against the current folder.
  for (const std::wstring& file : options.files) files.Add(file);
  CCliStart start(options.overwrite);
  CJobSession run(&start);
  if (options.threads > 0) run.SetThreadCount(options.threads);
  // The console program has no window and its worker no message loop: it joins the
  // multithreaded apartment (see CThread::SetComApartment).
  run.SetWorkerApartment(COINIT_MULTITHREADED);
  const StartOutcome outcome = run.Start(files, profiles, CKeepAlive(), CJobSession::Listing::Inline);
  if (outcome == StartOutcome::NoWorker) {
    WriteErr(L"the worker thread could not be started\n");
    return kExitFailed;
  }
  if (outcome != StartOutcome::Running) return kExitRefused;
  const std::wstring total = std::to_wstring(run.GetTotal());
  bool workerEnded = false;
  while (run.GetDone() < run.GetTotal()) {
    if (!workerEnded) workerEnded = run.WaitForFinished();
    const int32_t before = run.GetDone();
    CShrinkTaskExPtr failed = run.CollectFinished();
    // The progress line counts the files whose every output is written.
    for (int32_t done = before + 1; done <= run.GetDone(); ++done) {
      WriteErr(std::to_wstring(done) + L" / " + total + L"\n");
    }
    if (failed) {
      run.Abort();
      WriteErr(failed->GetErrorText() + L"\n");
      return kExitFailed;
    }
    if (workerEnded && run.GetDone() == before) {
      WriteErr(L"the worker thread ended before every file was done\n");
      return kExitFailed;
    }
  }
  run.Finish();
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
