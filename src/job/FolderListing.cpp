// Listing the pictures of dropped folders.
#include "job/FolderListing.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>

#include "base/FilePaths.h"
#include "base/Handle.h"
#include "base/PathNames.h"
#include "image/decode/InputFormats.h"
#include "job/JobStart.h"
#include "res/StringIds.h"

namespace {

const DWORD kSkippedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_REPARSE_POINT;

bool LogicalLess(const std::wstring& a, const std::wstring& b) {
  return StrCmpLogicalW(a.c_str(), b.c_str()) < 0;
}

// A folder still to be read: its path as dropped and extended below, its comparable form (with a
// separator at its end) and its outputs' subfolder.
struct PendingFolder {
  std::wstring path;
  std::wstring comparable;
  std::wstring subfolder;
};

class CFolderLister {
public:
  CFolderLister(const std::vector<ShrinkProfile>& profiles, const std::function<bool()>& stop) : m_stop(stop) {
    const size_t count = std::min(profiles.size(), kJobProfileCount);
    for (size_t i = 0; i < count; ++i) {
      if (profiles[i].Use && !profiles[i].Folder.empty()) m_outputFolders.push_back(WithSeparator(ComparablePath(profiles[i].Folder)));
    }
  }

  enum class Outcome { Listed, Stopped, Unreadable };

  // Appends the pictures of the tree at `folder` (a resolved path) to `sources`. Unreadable: the
  // folder of the tree that could not be read is FailedFolder(), for the reason FailedError().
  Outcome List(const std::wstring& folder, JobSourceList* sources) {
    std::wstring root = folder;
    while (root.size() > 1 && (root.back() == L'\\' || root.back() == L'/')) root.pop_back();
    // Depth first: a folder's subfolders are pushed last to first, so the first is read next.
    std::vector<PendingFolder> pending;
    pending.push_back({root, WithSeparator(ComparablePath(root)), ListedFolderName(root)});
    const std::vector<std::wstring> outputsInside = OutputFoldersInside(pending.back().comparable);
    while (!pending.empty()) {
      if (m_stop && m_stop()) return Outcome::Stopped;
      PendingFolder current = std::move(pending.back());
      pending.pop_back();
      if (IsUnderAny(current.comparable, outputsInside)) continue;
      std::vector<std::wstring> pictures, subfolders;
      if (const DWORD error = ReadFolder(current.path, &pictures, &subfolders)) {
        m_failedFolder = current.path;
        m_failedError = error;
        return Outcome::Unreadable;
      }
      std::sort(pictures.begin(), pictures.end(), LogicalLess);
      std::sort(subfolders.begin(), subfolders.end(), LogicalLess);
      for (const std::wstring& name : pictures) sources->push_back({AppendPath(current.path, name), current.subfolder});
      for (auto name = subfolders.rbegin(); name != subfolders.rend(); ++name) {
        pending.push_back({AppendPath(current.path, *name), current.comparable + UpperCase(*name) + L'\\',
                           current.subfolder + L'\\' + PlainFileNameFrom(*name)});
      }
    }
    return Outcome::Listed;
  }

  const std::wstring& FailedFolder() const { return m_failedFolder; }
  DWORD FailedError() const { return m_failedError; }

private:
  static std::wstring WithSeparator(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path + L'\\';
  }

  static bool IsUnderAny(const std::wstring& comparable, const std::vector<std::wstring>& folders) {
    for (const std::wstring& folder : folders) {
      if (comparable.compare(0, folder.size(), folder) == 0) return true;
    }
    return false;
  }

  // The enabled profiles' folders inside the tree at `root`: what lies there is the job's own
  // outputs, no sources. A folder dropped inside an output folder is still read (the user chose
  // it, as a file dropped there); the start's checks keep its sources from being written over.
  std::vector<std::wstring> OutputFoldersInside(const std::wstring& root) const {
    std::vector<std::wstring> inside;
    for (const std::wstring& output : m_outputFolders) {
      if (output.size() > root.size() && IsUnderAny(output, {root})) inside.push_back(output);
    }
    return inside;
  }

  // The name of the dropped folder at `root` as its parent lists it, made plain; by its text
  // where nothing lists it (a drive's or a share's root).
  static std::wstring ListedFolderName(const std::wstring& root) {
    WIN32_FIND_DATAW found;
    CFindHandle search(FindFirstFileExW(ExtendedPath(root).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, 0));
    std::wstring name;
    if (search.IsValid()) {
      name = found.cFileName;
    }
    if (name.empty() || name == L"." || name == L"..") name = DroppedFolderName(root);
    return PlainFileNameFrom(name);
  }

  // The visible pictures and subfolders of `folder`; 0, or the system's error when the folder
  // could not be opened or read to its end.
  static DWORD ReadFolder(const std::wstring& folder, std::vector<std::wstring>* pictures,
                          std::vector<std::wstring>* subfolders) {
    WIN32_FIND_DATAW found;
    CFindHandle search(FindFirstFileExW(ExtendedPath(AppendPath(folder, L"*")).c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!search.IsValid()) {
      // Nothing at all: a drive's root holds no "." to find.
      const DWORD error = GetLastError();
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES ? 0 : error;
    }
    do {
      if (found.dwFileAttributes & kSkippedAttributes) continue;
      const std::wstring name = found.cFileName;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (name != L"." && name != L"..") subfolders->push_back(name);
      } else if (HasPictureExtension(name)) {
        pictures->push_back(name);
      }
    } while (FindNextFileW(search.Get(), &found));
    const DWORD error = GetLastError();
    return error == ERROR_NO_MORE_FILES ? 0 : error;
  }

  std::function<bool()> m_stop;
  std::vector<std::wstring> m_outputFolders;
  std::wstring m_failedFolder;
  DWORD m_failedError = 0;
};

}  // namespace

bool HasPictureExtension(const std::wstring& name) {
  // What the decoders read (the decoder is chosen by signature; the extension only chooses which
  // files of a folder are offered to them).
  static const std::vector<std::wstring> kPictureExtensions = PictureExtensions();
  const size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos) return false;
  const wchar_t* extension = name.c_str() + dot + 1;
  return std::any_of(kPictureExtensions.begin(), kPictureExtensions.end(),
                     [extension](const std::wstring& known) { return StrCmpIW(extension, known.c_str()) == 0; });
}

std::wstring DroppedFolderName(const std::wstring& folder) {
  std::wstring path = folder;
  while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  const size_t separator = path.find_last_of(L"\\/");
  std::wstring name = separator == std::wstring::npos ? path : path.substr(separator + 1);
  if (!name.empty() && name.back() == L':') name.pop_back();
  return name;
}

DroppedSources ListDroppedSources(const CFileList& dropped, const std::vector<ShrinkProfile>& profiles,
                                  const std::function<bool()>& stop) {
  DroppedSources listed;
  CFolderLister lister(profiles, stop);
  for (const std::wstring& path : dropped) {
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(ExtendedPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      listed.refusal = IDS_MSG_FILE_NOT_FOUND;
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      listed.sources.push_back({path, std::wstring()});
      continue;
    } else {
      const size_t before = listed.sources.size();
      const CFolderLister::Outcome outcome = lister.List(path, &listed.sources);
      if (outcome == CFolderLister::Outcome::Stopped) {
        listed.stopped = true;
        return listed;
      }
      if (outcome == CFolderLister::Outcome::Unreadable) {
        listed.refusal = IDS_MSG_FOLDER_UNREADABLE;
        listed.refusedPath = lister.FailedFolder();
        listed.refusalError = lister.FailedError();
        return listed;
      }
      if (listed.sources.size() > before) continue;
      listed.refusal = IDS_MSG_FOLDER_HAS_NO_PICTURES;
    }
    listed.refusedPath = path;
    return listed;
  }
  return listed;
}

CFolderListingThread::CFolderListingThread() {
  // The user waits for this thread, unlike for a worker that runs beside the dialog.
  m_priority = THREAD_PRIORITY_NORMAL;
}

bool CFolderListingThread::Begin(const CFileList& dropped, const std::vector<ShrinkProfile>& profiles,
                                 CFolderListingClient* client) {
  if (IsRunning()) return false;
  m_dropped = dropped;
  m_profiles = profiles;
  m_client = client;
  m_listed = DroppedSources();
  return Start();
}

unsigned CFolderListingThread::Run() {
  // The client is told in every case: a listing that could not finish (out of memory) counts as
  // stopped.
  try {
    m_listed = ListDroppedSources(m_dropped, m_profiles, [this] { return IsStopping(); });
  } catch (...) {
    m_listed = DroppedSources();
    m_listed.stopped = true;
  }
  m_client->OnListingFinished();
  return 0;
}
