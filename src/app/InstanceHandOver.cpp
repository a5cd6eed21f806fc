// The block of handed-over paths, the per-user instance slot, and the command line's paths.
#include "app/InstanceHandOver.h"

#include <sddl.h>
#include <shellapi.h>

#include <cstdint>
#include <cstring>

#include "base/FilePaths.h"

namespace {

const size_t kHeaderBytes = 3 * sizeof(uint32_t);  // version, path count, character count

// What a path from another process must look like: a drive's root ("C:\") or a network or
// extended path ("\\server\share", "\\?\C:\") at its start. A relative path would be read against
// the receiving process's current folder, which the sender never saw.
bool IsAbsolutePath(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') {
    return (path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z');
  }
  return path.size() > 2 && path[0] == L'\\' && path[1] == L'\\';
}

// The user's SID as text: objects named with it are this user's alone within the session.
std::wstring UserSuffix() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::wstring();
  CHandle owner(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  wchar_t* text = nullptr;
  if (size == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), size, &size) ||
      !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
    return std::wstring();
  }
  std::wstring suffix = text;
  LocalFree(text);
  return suffix;
}

}  // namespace

std::vector<unsigned char> EncodeHandOverBlock(const std::vector<std::wstring>& paths) {
  size_t chars = 0;
  for (const std::wstring& path : paths) {
    if (path.empty() || path.find(L'\0') != std::wstring::npos) return {};
    chars += path.size() + 1;
  }
  if (paths.empty() || paths.size() > kMaxHandOverPaths || chars > kMaxHandOverChars) return {};
  std::vector<unsigned char> block(kHeaderBytes + chars * sizeof(wchar_t));
  const uint32_t header[3] = {kHandOverVersion, static_cast<uint32_t>(paths.size()),
                              static_cast<uint32_t>(chars)};
  memcpy(block.data(), header, kHeaderBytes);
  unsigned char* out = block.data() + kHeaderBytes;
  for (const std::wstring& path : paths) {
    const size_t bytes = (path.size() + 1) * sizeof(wchar_t);
    memcpy(out, path.c_str(), bytes);
    out += bytes;
  }
  return block;
}

bool DecodeHandOverBlock(const void* data, size_t size, std::vector<std::wstring>* paths) {
  paths->clear();
  if (!data || size < kHeaderBytes) return false;
  uint32_t header[3];
  memcpy(header, data, kHeaderBytes);
  const uint32_t version = header[0], count = header[1], chars = header[2];
  if (version != kHandOverVersion || count == 0 || count > kMaxHandOverPaths ||
      chars > kMaxHandOverChars || size - kHeaderBytes != chars * sizeof(wchar_t)) {
    return false;
  }
  // Copied out first: the sender's bytes need not be aligned for wchar_t.
  std::wstring text(chars, L'\0');
  memcpy(&text[0], static_cast<const unsigned char*>(data) + kHeaderBytes, chars * sizeof(wchar_t));
  std::vector<std::wstring> found;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find(L'\0', start);
    if (end == std::wstring::npos || found.size() == count) return false;
    found.push_back(text.substr(start, end - start));
    if (!IsAbsolutePath(found.back())) return false;
    start = end + 1;
  }
  if (found.size() != count) return false;
  paths->swap(found);
  return true;
}

CInstanceSlot::CInstanceSlot() {
  const std::wstring suffix = UserSuffix();
  if (suffix.empty()) return;  // without the user's name there is no slot: every start runs alone
  const std::wstring base = L"Local\\Kestrelle.Instance." + suffix;
  m_mutex.Reset(CreateMutexW(nullptr, FALSE, base.c_str()));
  m_ready.Reset(CreateEventW(nullptr, TRUE, FALSE, (base + L".Ready").c_str()));
  m_mapping.Reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                     sizeof(uint64_t), (base + L".Window").c_str()));
}

CInstanceSlot::~CInstanceSlot() {
  Withdraw();
  if (m_claimed) ReleaseMutex(m_mutex.Get());
}

bool CInstanceSlot::Claim() {
  if (m_claimed) return true;
  if (!IsOpen()) return false;
  const DWORD result = WaitForSingleObject(m_mutex.Get(), 0);
  m_claimed = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
  // A holder that died may have left its window named.
  Withdraw();
  return m_claimed;
}

CInstanceSlot::HandOver CInstanceSlot::HandOverPaths(const std::vector<std::wstring>& paths,
                                                     DWORD waitMs) {
  const std::vector<unsigned char> block = EncodeHandOverBlock(paths);
  if (block.empty() || !IsOpen() || m_claimed) return HandOver::NoAnswer;
  // The mutex first: a holder that has ended wins over a ready flag it left behind.
  const HANDLE waits[2] = {m_mutex.Get(), m_ready.Get()};
  const DWORD result = WaitForMultipleObjects(2, waits, FALSE, waitMs);
  if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED_0) {
    m_claimed = true;
    Withdraw();
    return HandOver::Claimed;
  }
  if (result != WAIT_OBJECT_0 + 1) return HandOver::NoAnswer;

  HWND window = PublishedWindow();
  DWORD process = 0;
  if (!window || !GetWindowThreadProcessId(window, &process)) return HandOver::NoAnswer;
  // The running window may then come forward, which only the foreground process can grant.
  AllowSetForegroundWindow(process);
  COPYDATASTRUCT copy = {};
  copy.dwData = kHandOverDataId;
  copy.cbData = static_cast<DWORD>(block.size());
  copy.lpData = const_cast<unsigned char*>(block.data());
  DWORD_PTR answer = FALSE;
  if (!SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy),
                           SMTO_ABORTIFHUNG, waitMs, &answer)) {
    return HandOver::NoAnswer;
  }
  if (answer == static_cast<DWORD_PTR>(kHandOverTaken)) return HandOver::Delivered;
  if (answer == static_cast<DWORD_PTR>(kHandOverRefused)) return HandOver::Refused;
  return HandOver::NoAnswer;
}

void CInstanceSlot::Publish(HWND window) {
  if (m_claimed && NameWindow(window)) SetEvent(m_ready.Get());
}

void CInstanceSlot::Withdraw() {
  if (!m_claimed) return;
  ResetEvent(m_ready.Get());
  NameWindow(nullptr);
}

HWND CInstanceSlot::PublishedWindow() const {
  const void* view = MapViewOfFile(m_mapping.Get(), FILE_MAP_READ, 0, 0, sizeof(uint64_t));
  if (!view) return nullptr;
  uint64_t value = 0;
  memcpy(&value, view, sizeof value);
  UnmapViewOfFile(view);
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
}

// 64 bits whatever this process's size: a 32-bit and a 64-bit start read the same value.
bool CInstanceSlot::NameWindow(HWND window) {
  void* view = MapViewOfFile(m_mapping.Get(), FILE_MAP_WRITE, 0, 0, sizeof(uint64_t));
  if (!view) return false;
  const uint64_t value = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(window));
  memcpy(view, &value, sizeof value);
  UnmapViewOfFile(view);
  return true;
}

std::vector<std::wstring> CommandLinePaths(const wchar_t* commandLine) {
  std::vector<std::wstring> paths;
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(commandLine, &count);
  if (!arguments) return paths;
  for (int i = 1; i < count; ++i) {
    if (arguments[i][0] != L'\0') paths.push_back(FullPath(arguments[i]));
  }
  LocalFree(arguments);
  return paths;
}

CFileListPtr MakeFileList(const std::vector<std::wstring>& paths) {
  CFileListPtr files(new CFileList);
  for (const std::wstring& path : paths) files->Add(path);
  return files;
}
