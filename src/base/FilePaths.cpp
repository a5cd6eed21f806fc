// Path forms, existence and file identity.
#include "base/FilePaths.h"

#include "base/Handle.h"
#include "base/PathNames.h"

namespace {

bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

// "X:\..." or "\\server\share\..." with backslashes only and no "." or ".." component.
bool IsCanonicalAbsolute(const std::wstring& path) {
  bool drive = path.size() >= 3 && path[1] == L':' && path[2] == L'\\' &&
               ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
  bool unc = path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' && path[2] != L'.';
  if (!drive && !unc) return false;
  if (path.find(L'/') != std::wstring::npos) return false;
  size_t start = drive ? 3 : 2;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    std::wstring part = path.substr(start, end - start);
    if (part == L"." || part == L"..") return false;
    if (part.empty() && end != path.size()) return false;  // doubled separator
    start = end + 1;
  }
  return true;
}

}  // namespace

std::wstring ProgramFile() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);  // cut short: again with room for more
  }
}

std::wstring FullPath(const std::wstring& path) {
  DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring buffer(needed, L'\0');
  DWORD got = GetFullPathNameW(path.c_str(), needed, &buffer[0], nullptr);
  if (got == 0 || got >= needed) return path;
  buffer.resize(got);
  return buffer;
}

std::wstring ResolvedPath(const std::wstring& path) {
  if (path.empty()) return path;
  // An absolute path is resolved on its text alone: GetFullPathNameW makes one whose last part
  // is a device's name ("D:\disc\AUX", a folder of a disc) into the device ("\\.\AUX").
  const bool absolute = (path.size() >= 3 && path[1] == L':' && IsSeparator(path[2])) ||
                        (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]));
  return NormalizedPath(absolute ? path : FullPath(path));
}

bool IsPathUnder(const std::wstring& folder, const std::wstring& path) {
  std::wstring outer = ResolvedPath(folder);
  std::wstring inner = ResolvedPath(path);
  if (outer.empty() || inner.empty()) return false;
  outer = AppendPath(outer, std::wstring());  // a drive's root has its separator already
  if (inner.size() <= outer.size()) return false;
  return UpperCase(inner).compare(0, outer.size(), UpperCase(outer)) == 0;
}

std::wstring ExtendedPath(const std::wstring& path) {
  if (path.empty() || path.compare(0, 4, L"\\\\?\\") == 0) return path;
  const std::wstring full = IsCanonicalAbsolute(path) ? path : FullPath(path);
  if (full.size() >= 2 && IsSeparator(full[0]) && IsSeparator(full[1])) {
    return L"\\\\?\\UNC\\" + full.substr(2);
  }
  return L"\\\\?\\" + full;
}

bool PathExists(const std::wstring& path) {
  if (path.empty()) return false;
  return GetFileAttributesW(ExtendedPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// The long form of an extended path whose deepest existing level is expanded; the levels below
// it, which do not exist, are kept as written.
std::wstring ExpandShortNames(const std::wstring& extended) {
  size_t end = extended.size();
  while (end > 4) {
    const std::wstring existing = extended.substr(0, end);
    DWORD needed = GetLongPathNameW(existing.c_str(), nullptr, 0);
    if (needed != 0) {
      std::wstring expanded(needed, L'\0');
      DWORD got = GetLongPathNameW(existing.c_str(), &expanded[0], needed);
      if (got != 0 && got < needed) {
        expanded.resize(got);
        return expanded + extended.substr(end);
      }
    }
    size_t separator = extended.rfind(L'\\', end - 1);
    if (separator == std::wstring::npos || separator < 4) break;
    end = separator;
  }
  return extended;
}

}  // namespace

std::wstring UpperCase(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

std::wstring ComparablePath(const std::wstring& path) {
  return UpperCase(ExpandShortNames(ExtendedPath(path)));
}

bool FileIdentity::operator<(const FileIdentity& other) const {
  if (volume != other.volume) return volume < other.volume;
  if (indexHigh != other.indexHigh) return indexHigh < other.indexHigh;
  return indexLow < other.indexLow;
}

bool FileIdentity::operator==(const FileIdentity& other) const {
  return volume == other.volume && indexHigh == other.indexHigh && indexLow == other.indexLow;
}

bool GetFileIdentity(const std::wstring& path, FileIdentity* identity) {
  if (path.empty()) return false;
  // No access is asked for, so a file that another program holds open is still identified.
  CHandle file(CreateFileW(ExtendedPath(path).c_str(), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION information;
  if (!file.IsValid() || !GetFileInformationByHandle(file.Get(), &information)) return false;
  identity->volume = information.dwVolumeSerialNumber;
  identity->indexHigh = information.nFileIndexHigh;
  identity->indexLow = information.nFileIndexLow;
  return true;
}

bool IsExistingFolder(const std::wstring& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesW(ExtendedPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
