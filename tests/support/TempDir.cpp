// Temporary folders and small file helpers for tests.
#include "support/TempDir.h"

#include <windows.h>

#include <atomic>
#include <fstream>
#include <sstream>

#include "base/FilePaths.h"

namespace {

// Paths of any length: every helper below goes through the extended form.
void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(ExtendedPath(path + L"\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = path + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesW(ExtendedPath(child).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(ExtendedPath(child).c_str());
      }
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  SetFileAttributesW(ExtendedPath(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryW(ExtendedPath(path).c_str());
}

}  // namespace

CTempDir::CTempDir() {
  static std::atomic<int> counter(0);
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstringstream name;
  name << temp << L"kestrelle-test-" << GetCurrentProcessId() << L"-" << ++counter;
  m_path = name.str();
  RemoveTree(m_path);
  CreateDirectoryW(m_path.c_str(), nullptr);
}

CTempDir::~CTempDir() {
  RemoveTree(m_path);
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(ExtendedPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file =
      CreateFileW(ExtendedPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

std::string ReadBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(ExtendedPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

int CountEntries(const std::wstring& folder, const wchar_t* pattern) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int entries = 0;
  do {
    const std::wstring name = found.cFileName;
    entries += name != L"." && name != L".." ? 1 : 0;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return entries;
}

bool MakeFolders(const std::wstring& path) {
  const std::wstring whole = ExtendedPath(path);
  // Past the "\\?\C:\" of the extended form, every backslash ends one level.
  for (size_t slash = whole.find(L'\\', 7); slash != std::wstring::npos;
       slash = whole.find(L'\\', slash + 1)) {
    CreateDirectoryW(whole.substr(0, slash).c_str(), nullptr);
  }
  CreateDirectoryW(whole.c_str(), nullptr);
  const DWORD attributes = GetFileAttributesW(whole.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring DeepFolder(const std::wstring& base, size_t length) {
  std::wstring deep = base;
  while (deep.size() < length) deep += L"\\階層 " + std::to_wstring(deep.size()) + L" フォルダ";
  return deep;
}
