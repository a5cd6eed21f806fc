// UTF-8 console and pipe output.
#include "cli/ConsoleText.h"

namespace {

void WriteTo(DWORD stream, const std::wstring& text) {
  static const bool kConsoleSet = SetConsoleOutputCP(CP_UTF8) != 0;
  (void)kConsoleSet;
  HANDLE handle = GetStdHandle(stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  std::string bytes = ToUtf8(text);
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    DWORD want = static_cast<DWORD>(bytes.size() - done);
    if (!WriteFile(handle, bytes.data() + done, want, &written, nullptr) || written == 0) return;
    done += written;
  }
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, nullptr);
  }
  return bytes;
}

void WriteOut(const std::wstring& text) {
  WriteTo(STD_OUTPUT_HANDLE, text);
}

void WriteErr(const std::wstring& text) {
  WriteTo(STD_ERROR_HANDLE, text);
}
