// Job start: source checks, task building, and the existing outputs.
#include "job/JobStart.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <set>
#include <unordered_map>
#include <utility>

#include "base/FilePaths.h"
#include "base/PathNames.h"
#include "base/ResourceText.h"
#include "image/FileIo.h"
#include "res/StringIds.h"

namespace {

bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() && UpperCase(a) == UpperCase(b);
}

size_t JobProfileCount(const std::vector<ShrinkProfile>& profiles) {
  return profiles.size() < kJobProfileCount ? profiles.size() : kJobProfileCount;
}

}  // namespace

bool NoProfileEnabled(const std::vector<ShrinkProfile>& profiles) {
  for (size_t i = 0; i < JobProfileCount(profiles); ++i) {
    if (profiles[i].Use) return false;
  }
  return true;
}

bool FindForbiddenPrefix(const std::vector<ShrinkProfile>& profiles, size_t* profileIndex) {
  for (size_t i = 0; i < JobProfileCount(profiles); ++i) {
    if (profiles[i].Use && HasCharacterForbiddenInNames(profiles[i].Prefix)) {
      *profileIndex = i;
      return true;
    }
  }
  return false;
}

bool ProfilesConflict(const ShrinkProfile& earlier, const ShrinkProfile& later) {
  return earlier.Use && later.Use && EqualIgnoringCase(earlier.Folder, later.Folder) &&
         EqualIgnoringCase(earlier.Prefix, later.Prefix);
}

namespace {

// The enabled profiles' folders as ComparablePath resolves them, each with one separator at its
// end whether or not it was given with one; empty for a disabled profile.
std::vector<std::wstring> ComparableProfileFolders(const std::vector<ShrinkProfile>& profiles) {
  std::vector<std::wstring> folders(JobProfileCount(profiles));
  for (size_t i = 0; i < folders.size(); ++i) {
    if (!profiles[i].Use) continue;
    folders[i] = ComparablePath(profiles[i].Folder);
    while (!folders[i].empty() && folders[i].back() == L'\\') folders[i].pop_back();
    folders[i] += L'\\';
  }
  return folders;
}

// The comparable path of an output from its profile's comparable folder: outputs are plain names
// (FindUnnamableOutput) in subfolders named as the file system listed them, so only the profile's
// folder needs resolving. An output folder that does not exist yet is costly to resolve level by
// level; a short name of another file, which only an existing output can be, is found by its
// identity (CSourceIndex::Find).
std::wstring ComparableOutput(const std::wstring& comparableFolder, const std::wstring& subfolder,
                              const std::wstring& name) {
  return comparableFolder + (subfolder.empty() ? std::wstring() : UpperCase(subfolder) + L'\\') + UpperCase(name);
}

// The sources by their comparable paths, and by their identities once one is asked for: a job of
// thousands of files with no existing output opens none of them, and an existing output opens
// only the sources of its size.
class CSourceIndex {
public:
  explicit CSourceIndex(const JobSourceList& sources) {
    for (const JobSource& source : sources) {
      // The first spelling of a file is kept. A picture of a dropped folder has the name the
      // file system listed, so only its folder needs resolving.
      const std::wstring comparable = source.subfolder.empty() ? Comparable(source.path) : ComparableInFolder(source.path);
      if (m_byPath.emplace(comparable, source.path).second) m_unique.push_back(source);
    }
  }

  // The sources, each file once, in their order.
  const JobSourceList& Unique() const { return m_unique; }

  // The source that `output` would write over, or nullptr; `comparable` is the output's
  // comparable path (see ComparableOutput). Each output is looked at once.
  const std::wstring* Find(const std::wstring& output, const std::wstring& comparable) {
    auto known = m_found.find(output);
    if (known == m_found.end()) known = m_found.emplace(output, Look(output, comparable)).first;
    return known->second;
  }

private:
  const std::wstring* Look(const std::wstring& output, const std::wstring& comparable) {
    auto byPath = m_byPath.find(comparable);
    if (byPath != m_byPath.end()) return &byPath->second;
    uint64_t size = 0;
    if (!FileSize(output, &size)) return nullptr;
    // Another name of a source has its size: only an output and sources of one size are opened.
    if (!m_sizesKnown) ReadSizes();
    const auto sameSize = m_bySize.equal_range(size);
    FileIdentity identity;
    if (sameSize.first == sameSize.second || !GetFileIdentity(output, &identity)) return nullptr;
    for (auto source = sameSize.first; source != sameSize.second; ++source) {
      if (Identity(*source->second) == std::make_pair(true, identity)) return source->second;
    }
    return nullptr;
  }
  // False for a folder or nothing.
  static bool FileSize(const std::wstring& path, uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(ExtendedPath(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return false;
    }
    *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
  }
  void ReadSizes() {
    m_sizesKnown = true;
    uint64_t size = 0;
    for (const auto& source : m_byPath) {
      if (FileSize(source.second, &size)) m_bySize.emplace(size, &source.second);
    }
  }
  // Whether the source could be opened, and its identity; each source is opened once.
  std::pair<bool, FileIdentity> Identity(const std::wstring& source) {
    auto known = m_identities.find(&source);
    if (known == m_identities.end()) {
      FileIdentity identity;
      const bool opened = GetFileIdentity(source, &identity);
      known = m_identities.emplace(&source, std::make_pair(opened, identity)).first;
    }
    return known->second;
  }
  // A path given many times (one file dropped many times, a folder of many files) is resolved once.
  const std::wstring& Comparable(const std::wstring& path) {
    auto known = m_comparable.find(path);
    if (known == m_comparable.end()) known = m_comparable.emplace(path, ComparablePath(path)).first;
    return known->second;
  }
  // `path` resolved as ComparablePath does, its folder once for all the files in it: resolving
  // asks the file system about every level, which for a tree of thousands of pictures adds up.
  // The name is taken as it is.
  std::wstring ComparableInFolder(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos) return Comparable(path);
    std::wstring folder = Comparable(path.substr(0, separator + 1));
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    return folder + UpperCase(path.substr(separator + 1));
  }

  std::unordered_map<std::wstring, std::wstring> m_comparable;
  std::map<std::wstring, std::wstring> m_byPath;
  std::unordered_multimap<uint64_t, const std::wstring*> m_bySize;
  std::map<const std::wstring*, std::pair<bool, FileIdentity>> m_identities;
  std::unordered_map<std::wstring, const std::wstring*> m_found;
  JobSourceList m_unique;
  bool m_sizesKnown = false;
};

// FindOutputOverSource with the index of its sources.
bool FindOutputOverIndexedSource(CSourceIndex* index, const std::vector<ShrinkProfile>& profiles,
                                 size_t* profileIndex, std::wstring* source) {
  const std::vector<std::wstring> folders = ComparableProfileFolders(profiles);
  for (const JobSource& listed : index->Unique()) {
    const std::wstring baseName = SplitFileName(listed.path).base;
    for (size_t i = 0; i < folders.size(); ++i) {
      if (!profiles[i].Use) continue;
      const std::wstring comparable = ComparableOutput(folders[i], listed.subfolder, OutputFileName(profiles[i], baseName));
      const std::wstring* overwritten = index->Find(BuildOutputPath(profiles[i], listed.subfolder, baseName), comparable);
      if (overwritten) {
        *profileIndex = i;
        *source = *overwritten;
        return true;
      }
    }
  }
  return false;
}

}  // namespace

bool FindOutputOverSource(const JobSourceList& sources, const std::vector<ShrinkProfile>& profiles,
                          size_t* profileIndex, std::wstring* source) {
  CSourceIndex index(sources);
  return FindOutputOverIndexedSource(&index, profiles, profileIndex, source);
}

JobSourceList WithoutRepeats(const JobSourceList& sources) {
  return CSourceIndex(sources).Unique();
}

bool FindUnnamableOutput(const JobSourceList& sources, const std::vector<ShrinkProfile>& profiles,
                         size_t* profileIndex, std::wstring* source) {
  for (const JobSource& listed : sources) {
    const std::wstring baseName = SplitFileName(listed.path).base;
    for (size_t i = 0; i < JobProfileCount(profiles); ++i) {
      if (profiles[i].Use && !IsPlainFileName(OutputFileName(profiles[i], baseName))) {
        *profileIndex = i;
        *source = listed.path;
        return true;
      }
    }
  }
  return false;
}

bool FindOutputOutsideFolder(const JobSourceList& sources, const std::vector<ShrinkProfile>& profiles,
                             size_t* profileIndex, std::wstring* path) {
  // Each profile's subfolders once: a tree of thousands of pictures has few folders.
  std::set<std::pair<size_t, std::wstring>> foldersSeen;
  for (const JobSource& source : sources) {
    const std::wstring baseName = SplitFileName(source.path).base;
    for (size_t i = 0; i < JobProfileCount(profiles); ++i) {
      if (!profiles[i].Use) continue;
      const ShrinkProfile& profile = profiles[i];
      std::wstring outside;
      if (!source.subfolder.empty() && foldersSeen.emplace(i, source.subfolder).second) {
        const std::wstring folder = OutputFolder(profile, source.subfolder);
        const bool atFolder = EqualIgnoringCase(ResolvedPath(folder), ResolvedPath(profile.Folder));
        if (!atFolder && !IsPathUnder(profile.Folder, folder)) outside = folder;
      }
      const std::wstring output = BuildOutputPath(profile, source.subfolder, baseName);
      if (outside.empty() && !IsPathUnder(profile.Folder, output)) outside = output;
      if (outside.empty()) continue;
      *profileIndex = i;
      *path = ResolvedPath(outside);
      return true;
    }
  }
  return false;
}

bool FindOutputCollision(const JobSourceList& sources, const std::vector<ShrinkProfile>& profiles,
                         OutputCollision* collision) {
  // Outputs are plain names inside their folders (FindUnnamableOutput) and subfolders are names
  // the file system gave, so one output is one resolved folder, one subfolder and one name in
  // the file system's letter case.
  const std::vector<std::wstring> folders = ComparableProfileFolders(profiles);
  struct Writer {
    const std::wstring* source;
    size_t profile;
  };
  std::unordered_map<std::wstring, Writer> writers;
  for (const JobSource& source : sources) {
    const std::wstring baseName = SplitFileName(source.path).base;
    for (size_t i = 0; i < folders.size(); ++i) {
      if (!profiles[i].Use) continue;
      const std::wstring name = OutputFileName(profiles[i], baseName);
      auto added = writers.emplace(ComparableOutput(folders[i], source.subfolder, name), Writer{&source.path, i});
      if (added.second) continue;
      collision->firstSource = *added.first->second.source;
      collision->firstProfile = added.first->second.profile;
      collision->secondSource = source.path;
      collision->secondProfile = i;
      collision->output = BuildOutputPath(profiles[i], source.subfolder, baseName);
      return true;
    }
  }
  return false;
}

void QueueTasks(const JobSourceList& sources, const std::vector<ShrinkProfile>& profiles,
                CShrinkTaskExClient* client, TaskQueue* queue, CFileList* existing) {
  for (const JobSource& source : sources) {
    CShrinkTaskExPtr task = CShrinkTaskEx::Create();
    task->SetClient(client);
    task->SetSource(source.path, source.subfolder);
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

bool DeleteExistingOutputs(const CFileList& existing, std::wstring* failed, unsigned long* error) {
  for (const std::wstring& path : existing) {
    // The same output can be listed twice (a.png and a.bmp both make sa.png): once it is gone,
    // the second deletion has nothing left to do.
    if (!DeleteFileW(ExtendedPath(path).c_str())) {
      const DWORD cause = GetLastError();
      if (!PathExists(path)) continue;
      *failed = path;
      if (error) *error = cause;
      return false;
    }
  }
  return true;
}

namespace {

// Tells the client why the start ends: `profile` is the profile to blame, -1 for none.
void Tell(CJobStartClient* client, StartRefusalKind kind, std::wstring text, int profile, ProfileField field) {
  StartRefusal refusal;
  refusal.kind = kind;
  refusal.profile = profile;
  refusal.field = field;
  refusal.text = std::move(text);
  client->ShowStartError(refusal);
}

void Refuse(CJobStartClient* client, StartRefusalKind kind, std::wstring text, size_t profile,
            ProfileField field = ProfileField::Folder) {
  Tell(client, kind, std::move(text), static_cast<int>(profile), field);
}

// A refusal that blames no profile.
void Refuse(CJobStartClient* client, StartRefusalKind kind, std::wstring text) {
  Tell(client, kind, std::move(text), -1, ProfileField::Folder);
}

// The checks of the profiles alone, before any dropped path is looked at: every enabled profile
// names a folder, and no two enabled ones write the same names. False after the client has been
// told about the first profile to mend.
bool CheckProfiles(const std::vector<ShrinkProfile>& profiles, CJobStartClient* client) {
  const size_t count = JobProfileCount(profiles);
  for (size_t i = 0; i < count; ++i) {
    if (profiles[i].Use && profiles[i].Folder.empty()) {
      Refuse(client, StartRefusalKind::FolderEmpty,
             FormattedResourceString(IDS_MSG_PROFILE_FOLDER_EMPTY, static_cast<int>(i + 1)), i);
      return false;
    }
  }
  for (size_t later = 1; later < count; ++later) {
    for (size_t earlier = 0; earlier < later; ++earlier) {
      if (ProfilesConflict(profiles[earlier], profiles[later])) {
        Refuse(client, StartRefusalKind::ProfileConflict, ResourceString(IDS_MSG_PROFILE_CONFLICT), later);
        return false;
      }
    }
  }
  return true;
}

// The checks of PrepareJob that come before anything is touched; false after the client has been
// told why. `unique` receives the sources, each file once.
bool CheckJob(const DroppedSources& listed, const std::vector<ShrinkProfile>& profiles,
              CJobStartClient* client, JobSourceList* unique) {
  if (!CheckProfiles(profiles, client)) return false;
  if (NoProfileEnabled(profiles)) {
    Refuse(client, StartRefusalKind::NoProfileEnabled, ResourceString(IDS_MSG_NO_PROFILE_ENABLED));
    return false;
  }
  size_t profile = 0;
  if (FindForbiddenPrefix(profiles, &profile)) {
    Refuse(client, StartRefusalKind::ForbiddenPrefix,
           FormattedResourceString(IDS_MSG_PREFIX_FORBIDDEN, static_cast<int>(profile + 1), profiles[profile].Prefix.c_str()),
           profile, ProfileField::Prefix);
    return false;
  }
  if (listed.refusal != 0) {
    const std::wstring text =
        listed.refusalError != 0
            ? FormattedResourceString(listed.refusal, listed.refusedPath.c_str(),
                                      HResultText(HRESULT_FROM_WIN32(listed.refusalError)).c_str())
            : FormattedResourceString(listed.refusal, listed.refusedPath.c_str());
    Refuse(client, StartRefusalKind::SourceRefused, text);
    return false;
  }
  std::wstring path;
  // One index of the sources serves both: each file's resolved path is asked for once.
  CSourceIndex index(listed.sources);
  *unique = index.Unique();
  if (FindOutputOutsideFolder(*unique, profiles, &profile, &path)) {
    Refuse(client, StartRefusalKind::OutputOutsideFolder,
           FormattedResourceString(IDS_MSG_OUTPUT_OUTSIDE_FOLDER, static_cast<int>(profile + 1),
                                   profiles[profile].Folder.c_str(), path.c_str()),
           profile);
    return false;
  }
  if (FindUnnamableOutput(*unique, profiles, &profile, &path)) {
    Refuse(client, StartRefusalKind::UnnamableOutput,
           FormattedResourceString(IDS_MSG_OUTPUT_NAME_INVALID, static_cast<int>(profile + 1), path.c_str()), profile,
           ProfileField::Prefix);
    return false;
  }
  if (FindOutputOverIndexedSource(&index, profiles, &profile, &path)) {
    Refuse(client, StartRefusalKind::OutputIsSource, FormattedResourceString(IDS_MSG_OUTPUT_IS_SOURCE, path.c_str()),
           profile);
    return false;
  }
  OutputCollision collision;
  if (FindOutputCollision(*unique, profiles, &collision)) {
    if (collision.firstSource == collision.secondSource) {
      // One file, two profiles: their folders are one folder in two spellings.
      Refuse(client, StartRefusalKind::ProfileConflict, ResourceString(IDS_MSG_PROFILE_CONFLICT),
             collision.secondProfile);
    } else {
      Refuse(client, StartRefusalKind::OutputsCollide,
             FormattedResourceString(IDS_MSG_OUTPUTS_COLLIDE, collision.firstSource.c_str(),
                                     collision.secondSource.c_str(), collision.output.c_str()));
    }
    return false;
  }
  return true;
}

// Every folder the job writes into that exists already: each enabled profile's folder and its
// subfolders that the sources' outputs go to, each once.
std::vector<std::wstring> ExistingOutputFolders(const JobSourceList& sources,
                                                const std::vector<ShrinkProfile>& profiles) {
  std::set<std::wstring> subfolders = {std::wstring()};
  for (const JobSource& source : sources) subfolders.insert(source.subfolder);
  std::vector<std::wstring> folders;
  for (size_t i = 0; i < JobProfileCount(profiles); ++i) {
    if (!profiles[i].Use) continue;
    for (const std::wstring& subfolder : subfolders) {
      const std::wstring folder = OutputFolder(profiles[i], subfolder);
      if (subfolder.empty() || IsExistingFolder(folder)) folders.push_back(folder);
    }
  }
  return folders;
}

}  // namespace

bool PrepareJob(const CFileList& files, const std::vector<ShrinkProfile>& profiles,
                CShrinkTaskExClient* taskClient, TaskQueue* queue, CJobStartClient* client) {
  return PrepareJob(ListDroppedSources(files, profiles), profiles, taskClient, queue, client);
}

namespace {

// The profiles with their folders resolved, as every dropped path is (CFileList::Add): what the
// checks compare is what the tasks write into, and a folder typed "D:\out." or "D:\out\..\x"
// is the folder the file functions would open, not one Explorer cannot.
std::vector<ShrinkProfile> WithResolvedFolders(std::vector<ShrinkProfile> profiles) {
  for (ShrinkProfile& profile : profiles) profile.Folder = ResolvedPath(profile.Folder);
  return profiles;
}

}  // namespace

bool PrepareJob(const DroppedSources& listed, const std::vector<ShrinkProfile>& given,
                CShrinkTaskExClient* taskClient, TaskQueue* queue, CJobStartClient* client) {
  const std::vector<ShrinkProfile> profiles = WithResolvedFolders(given);
  JobSourceList unique;
  if (!CheckJob(listed, profiles, client, &unique)) return false;
  CFileList existing;
  QueueTasks(unique, profiles, taskClient, queue, &existing);
  if (existing.Count() > 0) {
    const std::wstring question = FormattedResourceString(
        IDS_ASK_OVERWRITE, static_cast<int>(existing.Count()), ListExistingOutputs(existing).c_str());
    if (!client->ConfirmOverwrite(question)) return false;
    std::wstring path;
    unsigned long error = 0;
    if (!DeleteExistingOutputs(existing, &path, &error)) {
      const std::wstring cause = HResultText(HRESULT_FROM_WIN32(error));
      Refuse(client, StartRefusalKind::DeleteFailed,
             FormattedResourceString(IDS_MSG_DELETE_FAILED, (path + L"\n" + cause).c_str()));
      return false;
    }
  }
  for (const std::wstring& folder : ExistingOutputFolders(unique, profiles)) RemoveAbandonedTemporaryFiles(folder);
  return true;
}
