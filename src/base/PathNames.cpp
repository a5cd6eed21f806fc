// Path text helpers; plain strings only, so they build natively too.
#include "base/PathNames.h"

#include <cwchar>

SplitName SplitFileName(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind(L'.');
  SplitName split;
  if (dot == std::wstring::npos) {
    split.base = name;
  } else {
    split.base = name.substr(0, dot);
    split.extension = name.substr(dot + 1);
  }
  return split;
}

std::wstring AppendPath(const std::wstring& folder, const std::wstring& name) {
  std::wstring result = folder;
  if (!folder.empty()) {
    wchar_t last = folder.back();
    if (last != L'\\' && last != L'/' && last != L':') result += L'\\';
  }
  result += name;
  return result;
}

namespace {

bool IsForbiddenInNames(wchar_t c) {
  return c < 0x20 || std::wcschr(L"\\/:*?\"<>|", c) != nullptr;
}

}  // namespace

bool HasCharacterForbiddenInNames(const std::wstring& text) {
  for (wchar_t c : text) {
    if (IsForbiddenInNames(c)) return true;
  }
  return false;
}

bool IsPlainFileName(const std::wstring& name) {
  if (name.empty() || name.size() > kMaxFileNameLength || HasCharacterForbiddenInNames(name)) return false;
  // "." and ".." name folders, and the file system drops blanks and dots at a name's end.
  const wchar_t last = name.back();
  return last != L' ' && last != L'.';
}

std::wstring PlainFileNameFrom(const std::wstring& name) {
  std::wstring plain = name.empty() ? std::wstring(L"_") : name;
  for (wchar_t& c : plain) {
    if (IsForbiddenInNames(c)) c = L'_';
  }
  for (size_t i = plain.size(); i > 0 && (plain[i - 1] == L' ' || plain[i - 1] == L'.'); --i) {
    plain[i - 1] = L'_';
  }
  return plain;
}
