// Job start: source checks, task building, and the existing outputs.
#include "job/JobStart.h"

#include <windows.h>

#include <map>
#include <unordered_map>

#include "base/FilePaths.h"
#include "base/PathNames.h"
#include "base/ResourceText.h"
#include "res/StringIds.h"

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

namespace {

// The dropped files by their comparable paths, and by their identities once one is asked for: a
// job of thousands of files with no existing output opens none of them.
class CSourceIndex {
public:
  explicit CSourceIndex(const CFileList& sources) {
    for (const std::wstring& source : sources) {
      m_byPath.emplace(Comparable(source), source);  // the first spelling of a file is kept
    }
  }

  // The dropped path that `output` would write over, or nullptr. Each output is looked at once.
  const std::wstring* Find(const std::wstring& output) {
    auto known = m_found.find(output);
    if (known == m_found.end()) known = m_found.emplace(output, Look(output)).first;
    return known->second;
  }

private:
  const std::wstring* Look(const std::wstring& output) {
    auto byPath = m_byPath.find(Comparable(output));
    if (byPath != m_byPath.end()) return &byPath->second;
    FileIdentity identity;
    if (!PathExists(output) || !GetFileIdentity(output, &identity)) return nullptr;
    if (!m_identitiesKnown) IdentifySources();
    auto byIdentity = m_byIdentity.find(identity);
    return byIdentity != m_byIdentity.end() ? byIdentity->second : nullptr;
  }
  // A path given many times (one file dropped many times) is resolved once.
  const std::wstring& Comparable(const std::wstring& path) {
    auto known = m_comparable.find(path);
    if (known == m_comparable.end()) known = m_comparable.emplace(path, ComparablePath(path)).first;
    return known->second;
  }
  void IdentifySources() {
    m_identitiesKnown = true;
    for (const auto& source : m_byPath) {
      FileIdentity identity;
      if (GetFileIdentity(source.second, &identity)) m_byIdentity.emplace(identity, &source.second);
    }
  }

  std::unordered_map<std::wstring, std::wstring> m_comparable;
  std::map<std::wstring, std::wstring> m_byPath;
  std::map<FileIdentity, const std::wstring*> m_byIdentity;
  std::unordered_map<std::wstring, const std::wstring*> m_found;
  bool m_identitiesKnown = false;
};

}  // namespace

bool FindOutputOverSource(const CFileList& sources, const std::vector<ShrinkProfile>& profiles,
                          size_t* profileIndex, std::wstring* source) {
  CSourceIndex index(sources);
  const size_t count = profiles.size() < kJobProfileCount ? profiles.size() : kJobProfileCount;
  for (const std::wstring& path : sources) {
    const std::wstring baseName = SplitFileName(path).base;
    for (size_t i = 0; i < count; ++i) {
      if (!profiles[i].Use) continue;
      const std::wstring* overwritten = index.Find(BuildOutputPath(profiles[i], baseName));
      if (overwritten) {
        *profileIndex = i;
        *source = *overwritten;
        return true;
      }
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

bool PrepareJob(const CFileList& files, const std::vector<ShrinkProfile>& profiles,
                CShrinkTaskExClient* taskClient, TaskQueue* queue, CJobStartClient* client) {
  std::wstring path;
  if (FindMissingSource(files, &path)) {
    client->ShowStartError(FormattedResourceString(IDS_MSG_FILE_NOT_FOUND, path.c_str()), -1);
    return false;
  }
  size_t profile = 0;
  if (FindOutputOverSource(files, profiles, &profile, &path)) {
    client->ShowStartError(FormattedResourceString(IDS_MSG_OUTPUT_IS_SOURCE, path.c_str()),
                           static_cast<int>(profile));
    return false;
  }
  CFileList existing;
  QueueTasks(files, profiles, taskClient, queue, &existing);
  if (existing.Count() == 0) return true;
  const std::wstring question = FormattedResourceString(
      IDS_ASK_OVERWRITE, static_cast<int>(existing.Count()), ListExistingOutputs(existing).c_str());
  if (!client->ConfirmOverwrite(question)) return false;
  if (!DeleteExistingOutputs(existing, &path)) {
    client->ShowStartError(FormattedResourceString(IDS_MSG_DELETE_FAILED, path.c_str()), -1);
    return false;
  }
  return true;
}
