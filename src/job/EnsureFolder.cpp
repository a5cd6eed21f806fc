// Output folder creation.
#include "job/EnsureFolder.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "base/FilePaths.h"

namespace {

// "D:\" and the like: the first ":" is followed by the last character, a backslash.
bool IsDriveRoot(const std::wstring& folder) {
  size_t colon = folder.find(L':');
  return colon != std::wstring::npos && colon + 2 == folder.size() && folder[colon + 1] == L'\\';
}

bool IsFolder(const std::wstring& extended) {
  DWORD attributes = GetFileAttributesW(extended.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The shell's folder creation stops at 260 characters; deeper trees are made one level at a time
// through the extended path form.
unsigned long CreateLongFolderTree(const std::wstring& folder) {
  std::wstring extended = ExtendedPath(folder);
  while (extended.size() > 4 && (extended.back() == L'\\')) extended.pop_back();
  // Skip "\\?\X:\" or "\\?\UNC\server\share\": those levels exist or cannot be made.
  size_t start = 4;
  if (extended.compare(4, 4, L"UNC\\") == 0) {
    start = extended.find(L'\\', 8);
    start = start == std::wstring::npos ? extended.size() : extended.find(L'\\', start + 1);
  } else {
    start = extended.find(L'\\', 4);
  }
  if (start == std::wstring::npos) start = extended.size();
  unsigned long last = ERROR_SUCCESS;
  while (start < extended.size()) {
    size_t end = extended.find(L'\\', start + 1);
    if (end == std::wstring::npos) end = extended.size();
    std::wstring level = extended.substr(0, end);
    if (!CreateDirectoryW(level.c_str(), nullptr)) {
      last = GetLastError();
      if (last != ERROR_ALREADY_EXISTS || !IsFolder(level)) return last;
    } else {
      last = ERROR_SUCCESS;
    }
    start = end;
  }
  return last;
}

}  // namespace

unsigned long EnsureFolder(const std::wstring& folder) {
  if (IsDriveRoot(folder)) return PathFileExistsW(folder.c_str()) ? 0 : ERROR_ACCESS_DENIED;
  const size_t kShellLimit = MAX_PATH - 12;  // room the shell keeps for a file name (8.3)
  int rc = folder.size() < kShellLimit ? SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr)
                                       : static_cast<int>(CreateLongFolderTree(folder));
  if (rc != ERROR_SUCCESS && rc != ERROR_ALREADY_EXISTS) return static_cast<unsigned long>(rc);
  // "Already exists" is also the answer for a file in the place of the folder or of one of its
  // levels: that is no folder to write into, and the job reports the folder, not a failed save.
  return IsFolder(ExtendedPath(folder)) ? 0 : ERROR_DIRECTORY;
}
