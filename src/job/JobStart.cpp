// Job start: source checks, task building, and the existing outputs.
#include "job/JobStart.h"

#include <windows.h>

#include "image/FileIo.h"

namespace {

bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  if (a.empty()) return true;
  std::wstring foldedA = a, foldedB = b;
  CharUpperBuffW(&foldedA[0], static_cast<DWORD>(foldedA.size()));
  CharUpperBuffW(&foldedB[0], static_cast<DWORD>(foldedB.size()));
  return foldedA == foldedB;
}

}  // namespace

bool ProfilesConflict(const ShrinkProfile& earlier, const ShrinkProfile& later) {
  return earlier.Use && later.Use && EqualIgnoringCase(earlier.Folder, later.Folder) &&
         EqualIgnoringCase(earlier.Prefix, later.Prefix);
}

bool FindMissingSource(const CFileList& paths, std::wstring* missing) {
  for (const std::wstring& path : paths) {
    DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES
                                    : GetFileAttributesW(ExtendedPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      *missing = path;
      return true;
    }
  }
  return false;
}

void QueueTasks(const CFileList& paths, const std::vector<ShrinkProfile>& profiles,
                CShrinkTaskExClient* client, TaskQueue* queue, CFileList* existing) {
  for (const std::wstring& path : paths) {
    CShrinkTaskExPtr task = CShrinkTaskEx::Create();
    task->SetClient(client);
    task->SetSource(path);
    task->AddProfiles(profiles, kJobProfileCount);
    task->CollectExistingOutputs(existing);
    queue->Append(task);
  }
}

std::wstring ListExistingOutputs(const CFileList& existing) {
  const size_t kShown = 10;
  std::wstring listing;
  size_t shown = 0;
  for (const std::wstring& path : existing) {
    if (shown++ == kShown) break;
    listing += path + L"\n";
  }
  if (existing.Count() > kShown) listing += L"...\n";
  return listing;
}

bool DeleteExistingOutputs(const CFileList& existing, std::wstring* failed) {
  for (const std::wstring& path : existing) {
    // The same output can be listed twice (a.png and a.bmp both make sa.png): once it is gone,
    // the second deletion has nothing left to do.
    if (!DeleteFileW(ExtendedPath(path).c_str()) && PathExists(path)) {
      *failed = path;
      return false;
    }
  }
  return true;
}
