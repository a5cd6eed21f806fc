// File reading and replacing writes for the image layer.
#include "image/FileIo.h"

#include <atomic>
#include <new>

#include "base/ErrorCodes.h"
#include "base/FilePaths.h"
#include "base/Handle.h"
#include "base/PathNames.h"

namespace {

const DWORD kChunk = 1u << 24;

// A temporary file's name: "~kestrelle-", eight hexadecimal digits, ".tmp".
const wchar_t kTemporaryStart[] = L"~kestrelle-";
const wchar_t kTemporaryEnd[] = L".tmp";

// A name for a temporary file that no earlier write of this process has used; the counter is
// mixed with the process id so that two programs writing into one folder start far apart.
std::wstring NextTemporaryName() {
  static std::atomic<unsigned> counter{0};
  const unsigned number = GetCurrentProcessId() * 0x9E3779B1u + counter.fetch_add(1);
  return NumberedName(kTemporaryStart, number, kTemporaryEnd);
}

}  // namespace

HRESULT ReadWholeFile(const std::wstring& path, std::vector<uint8_t>* data) {
  if (path.empty()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  CHandle file(CreateFileW(ExtendedPath(path).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.IsValid()) return LastErrorResult();
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0) return LastErrorResult();
  if (static_cast<unsigned long long>(size.QuadPart) > data->max_size() ||
      static_cast<unsigned long long>(size.QuadPart) > static_cast<size_t>(-1) / 2) {
    return kOutOfMemory;
  }
  size_t total = static_cast<size_t>(size.QuadPart);
  try {
    data->resize(total);
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
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

HRESULT WriteNewFile(const std::wstring& path, const uint8_t* data, size_t size) {
  const std::wstring target = ExtendedPath(path);
  const size_t separator = target.rfind(L'\\');
  if (separator == std::wstring::npos) return E_INVALIDARG;
  const std::wstring folder = target.substr(0, separator + 1);
  // A new file is made under a fresh name; a name that exists (a file left by a crash, or
  // another program's) is passed over, never replaced. The file stays open, shared for nothing
  // but the rename, until it has its final name: while it is open no other job's clean-up can
  // take it for a leftover.
  std::wstring temp;
  CHandle file;
  for (int attempt = 0; attempt < 1000 && !file.IsValid(); ++attempt) {
    temp = folder + NextTemporaryName();
    file.Reset(CreateFileW(temp.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid() && GetLastError() != ERROR_FILE_EXISTS &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      return LastErrorResult();
    }
  }
  if (!file.IsValid()) return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
  HRESULT hr = S_OK;
  size_t done = 0;
  while (SUCCEEDED(hr) && done < size) {
    DWORD want = size - done > kChunk ? kChunk : static_cast<DWORD>(size - done);
    DWORD written = 0;
    if (!WriteFile(file.Get(), data + done, want, &written, nullptr)) {
      hr = LastErrorResult();
    } else if (written != want) {
      hr = HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    }
    done += written;
  }
  // Without MOVEFILE_REPLACE_EXISTING: a file that took the name since the job started is
  // left as it is, and this write fails with ERROR_ALREADY_EXISTS.
  if (SUCCEEDED(hr) && !MoveFileExW(temp.c_str(), target.c_str(), 0)) hr = LastErrorResult();
  if (!CloseHandle(file.Detach()) && SUCCEEDED(hr)) hr = LastErrorResult();
  if (FAILED(hr)) DeleteFileW(temp.c_str());
  return hr;
}

bool IsTemporaryFileName(const std::wstring& name) {
  return IsNumberedName(name, kTemporaryStart, kTemporaryEnd);
}

int RemoveAbandonedTemporaryFiles(const std::wstring& folder) {
  const std::wstring base = ExtendedPath(AppendPath(folder, std::wstring()));
  WIN32_FIND_DATAW found;
  CFindHandle search(FindFirstFileExW((base + kTemporaryFilePattern).c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, 0));
  if (!search.IsValid()) return 0;
  int removed = 0;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsTemporaryFileName(found.cFileName)) continue;
    // Opened for nobody else: a write in progress (this process's or another's) holds its file
    // open, so the open fails and the file is left to its writer.
    HANDLE abandoned = CreateFileW((base + found.cFileName).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (abandoned == INVALID_HANDLE_VALUE) continue;
    CloseHandle(abandoned);
    ++removed;
  } while (FindNextFileW(search.Get(), &found));
  return removed;
}
