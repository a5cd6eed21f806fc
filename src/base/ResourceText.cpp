// Resource strings and failure texts.
#include "base/ResourceText.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <vector>

bool LoadResourceString(std::wstring* out, unsigned id) {
  // LoadStringW reports only how much it copied, so a text that filled the buffer may have been
  // cut: grow tenfold and load again, up to a sane bound.
  size_t room = 256;
  for (;;) {
    std::vector<wchar_t> buffer(room);
    int loaded = LoadStringW(GetModuleHandleW(nullptr), id, buffer.data(), static_cast<int>(room));
    if (loaded <= 0) {
      out->clear();
      return false;
    }
    if (static_cast<size_t>(loaded) < room - 1) {
      out->assign(buffer.data(), static_cast<size_t>(loaded));
      return true;
    }
    if (room > 65536) {
      out->clear();
      return false;
    }
    room *= 10;
  }
}

namespace {

bool FormatResourceStringV(std::wstring* out, unsigned id, va_list args) {
  std::wstring format;
  if (!LoadResourceString(&format, id)) return false;
  size_t room = format.size() + 1024;
  std::vector<wchar_t> buffer(room);
  int written = _vsnwprintf(buffer.data(), room - 1, format.c_str(), args);
  if (written < 0 || static_cast<size_t>(written) >= room - 1) {
    out->assign(buffer.data(), room - 1);  // truncated: the first (length + 1,023) characters
  } else {
    out->assign(buffer.data(), static_cast<size_t>(written));
  }
  return true;
}

}  // namespace

bool FormatResourceString(std::wstring* out, unsigned id, ...) {
  va_list args;
  va_start(args, id);
  const bool formatted = FormatResourceStringV(out, id, args);
  va_end(args);
  return formatted;
}

std::wstring ResourceString(unsigned id) {
  std::wstring text;
  LoadResourceString(&text, id);
  return text;
}

std::wstring FormattedResourceString(unsigned id, ...) {
  std::wstring text;
  va_list args;
  va_start(args, id);
  FormatResourceStringV(&text, id, args);
  va_end(args);
  return text;
}

std::wstring HResultText(long code) {
  DWORD number = static_cast<DWORD>(code);
  if (((number >> 16) & 0x1FFF) == FACILITY_WIN32) number &= 0xFFFF;
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, number, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text),
      0, nullptr);
  if (length != 0 && text) {
    std::wstring result(text, length);
    LocalFree(text);
    return result;
  }
  if (text) LocalFree(text);
  wchar_t hex[32];
  std::swprintf(hex, 32, L"Unknown HRESULT: %lx", static_cast<unsigned long>(code));
  return hex;
}
