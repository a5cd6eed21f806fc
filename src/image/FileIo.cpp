// File reading and replacing writes for the image layer.
#include "image/FileIo.h"

#include <atomic>
#include <new>

#include "base/ErrorCodes.h"
#include "base/FilePaths.h"
#include "base/Handle.h"

namespace {

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

HRESULT WriteFileReplacing(const std::wstring& path, const uint8_t* data, size_t size) {
  const std::wstring target = ExtendedPath(path);
  const size_t separator = target.rfind(L'\\');
  if (separator == std::wstring::npos) return E_FAIL;
  const std::wstring folder = target.substr(0, separator + 1);
  std::wstring temp;
  {
    // A new file is made under a fresh name; a name that exists (a file left by a crash, or
    // another program's) is passed over, never replaced.
    CHandle file;
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
    if (!CloseHandle(file.Detach())) ok = false;
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
