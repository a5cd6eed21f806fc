// File reading and replacing writes for the image layer.
#include "image/FileIo.h"

#include <atomic>
#include <new>

namespace {

class CFileHandle {
public:
  explicit CFileHandle(HANDLE handle) : m_handle(handle) {}
  ~CFileHandle() { Close(); }
  CFileHandle(const CFileHandle&) = delete;
  CFileHandle& operator=(const CFileHandle&) = delete;
  bool IsValid() const { return m_handle != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return m_handle; }
  void Reset(HANDLE handle) {
    Close();
    m_handle = handle;
  }
  bool Close() {
    bool ok = true;
    if (IsValid()) ok = CloseHandle(m_handle) != FALSE;
    m_handle = INVALID_HANDLE_VALUE;
    return ok;
  }

private:
  HANDLE m_handle;
};

const DWORD kChunk = 1u << 24;

// The calling thread's last Win32 error as an HRESULT; a failure even when the system set none.
HRESULT LastErrorResult() {
  DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

// A name for a temporary file that no earlier write of this process has used; the counter is
// mixed with the process id so that two programs writing into one folder start far apart.
std::wstring NextTemporaryName() {
  static std::atomic<unsigned> counter{0};
  const unsigned number = GetCurrentProcessId() * 0x9E3779B1u + counter.fetch_add(1);
  const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring name = L"~kestrelle-";
  for (int shift = 28; shift >= 0; shift -= 4) name += kDigits[(number >> shift) & 0xF];
  return name + L".tmp";
}

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

std::wstring FullPath(const std::wstring& path) {
  DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring buffer(needed, L'\0');
  DWORD got = GetFullPathNameW(path.c_str(), needed, &buffer[0], nullptr);
  if (got == 0 || got >= needed) return path;
  buffer.resize(got);
  return buffer;
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

std::wstring ComparablePath(const std::wstring& path) {
  std::wstring comparable = ExpandShortNames(ExtendedPath(path));
  if (!comparable.empty()) {
    CharUpperBuffW(&comparable[0], static_cast<DWORD>(comparable.size()));
  }
  return comparable;
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
  CFileHandle file(CreateFileW(ExtendedPath(path).c_str(), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION information;
  if (!file.IsValid() || !GetFileInformationByHandle(file.Get(), &information)) return false;
  identity->volume = information.dwVolumeSerialNumber;
  identity->indexHigh = information.nFileIndexHigh;
  identity->indexLow = information.nFileIndexLow;
  return true;
}

HRESULT ReadWholeFile(const std::wstring& path, std::vector<uint8_t>* data) {
  if (path.empty()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  CFileHandle file(CreateFileW(ExtendedPath(path).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.IsValid()) return LastErrorResult();
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0) return LastErrorResult();
  if (static_cast<unsigned long long>(size.QuadPart) > data->max_size() ||
      static_cast<unsigned long long>(size.QuadPart) > static_cast<size_t>(-1) / 2) {
    return HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY);
  }
  size_t total = static_cast<size_t>(size.QuadPart);
  try {
    data->resize(total);
  } catch (const std::bad_alloc&) {
    return HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY);
  }
  size_t done = 0;
  while (done < total) {
    DWORD want = total - done > kChunk ? kChunk : static_cast<DWORD>(total - done);
    DWORD got = 0;
    if (!ReadFile(file.Get(), data->data() + done, want, &got, nullptr)) return LastErrorResult();
    if (got == 0) break;  // the file shrank while being read
    done += got;
  }
  data->resize(done);
  return S_OK;
}

const wchar_t kTemporaryFilePattern[] = L"~kestrelle-????????.tmp";

HRESULT WriteFileReplacing(const std::wstring& path, const uint8_t* data, size_t size) {
  const std::wstring target = ExtendedPath(path);
  const size_t separator = target.rfind(L'\\');
  if (separator == std::wstring::npos) return E_FAIL;
  const std::wstring folder = target.substr(0, separator + 1);
  std::wstring temp;
  {
    // A new file is made under a fresh name; a name that exists (a file left by a crash, or
    // another program's) is passed over, never replaced.
    CFileHandle file(INVALID_HANDLE_VALUE);
    for (int attempt = 0; attempt < 1000 && !file.IsValid(); ++attempt) {
      temp = folder + NextTemporaryName();
      file.Reset(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!file.IsValid() && GetLastError() != ERROR_FILE_EXISTS &&
          GetLastError() != ERROR_ALREADY_EXISTS) {
        return E_FAIL;
      }
    }
    if (!file.IsValid()) return E_FAIL;
    size_t done = 0;
    bool ok = true;
    while (ok && done < size) {
      DWORD want = size - done > kChunk ? kChunk : static_cast<DWORD>(size - done);
      DWORD written = 0;
      ok = WriteFile(file.Get(), data + done, want, &written, nullptr) && written == want;
      done += written;
    }
    if (!file.Close()) ok = false;
    if (!ok) {
      DeleteFileW(temp.c_str());
      return E_FAIL;
    }
  }
  if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileW(temp.c_str());
    return E_FAIL;
  }
  return S_OK;
}

bool IsExistingFolder(const std::wstring& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesW(ExtendedPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
