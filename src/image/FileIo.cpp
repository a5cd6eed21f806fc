// File reading and replacing writes for the image layer.
#include "image/FileIo.h"

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

HRESULT ReadWholeFile(const std::wstring& path, std::vector<uint8_t>* data) {
  CFileHandle file(CreateFileW(ExtendedPath(path).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.IsValid()) return E_NOTIMPL;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0) return E_NOTIMPL;
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
    if (!ReadFile(file.Get(), data->data() + done, want, &got, nullptr)) return E_NOTIMPL;
    if (got == 0) break;  // the file shrank while being read
    done += got;
  }
  data->resize(done);
  return S_OK;
}

HRESULT WriteFileReplacing(const std::wstring& path, const uint8_t* data, size_t size) {
  std::wstring target = ExtendedPath(path);
  std::wstring temp = target + L".kestrelle-part";
  {
    CFileHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
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
