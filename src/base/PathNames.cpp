// Path text helpers; plain strings only, so they build natively too.
#include "base/PathNames.h"

#include <cwchar>
#include <vector>

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

namespace {

wchar_t AsciiUpper(wchar_t c) {
  return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

bool SameLetters(const std::wstring& text, const wchar_t* ascii) {
  size_t i = 0;
  for (; ascii[i] != L'\0'; ++i) {
    if (i >= text.size() || AsciiUpper(text[i]) != ascii[i]) return false;
  }
  return i == text.size();
}

bool IsTrailingDrop(wchar_t c) {
  return c == L' ' || c == L'.';
}

}  // namespace

bool IsReservedDeviceName(const std::wstring& name) {
  // Windows reads the part before the first dot, blanks at its end dropped, as the device.
  std::wstring stem = name.substr(0, name.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL"}) {
    if (SameLetters(stem, device)) return true;
  }
  if (stem.size() != 4) return false;
  const wchar_t digit = stem[3];
  const bool numbered = (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
  const std::wstring port = stem.substr(0, 3);
  return numbered && (SameLetters(port, L"COM") || SameLetters(port, L"LPT"));
}

bool IsPlainFileName(const std::wstring& name) {
  if (name.empty() || name.size() > kMaxFileNameLength || HasCharacterForbiddenInNames(name)) return false;
  // "." and ".." name folders, and the file system drops blanks and dots at a name's end.
  if (IsTrailingDrop(name.back())) return false;
  return !IsReservedDeviceName(name);
}

std::wstring PlainFileNameFrom(const std::wstring& name) {
  std::wstring plain = name.empty() ? std::wstring(L"_") : name;
  for (wchar_t& c : plain) {
    if (IsForbiddenInNames(c)) c = L'_';
  }
  for (size_t i = plain.size(); i > 0 && IsTrailingDrop(plain[i - 1]); --i) {
    plain[i - 1] = L'_';
  }
  // As a character a name cannot hold becomes "_", a device's name gets one in front, read
  // before or after its end was changed ("nul." is "_nul_").
  if (IsReservedDeviceName(name) || IsReservedDeviceName(plain)) plain.insert(0, 1, L'_');
  return plain;
}

namespace {

// The length of the root of a path whose separators are all backslashes: "C:\", "C:" (relative
// to that drive's current folder), "\" (the current drive), "\\server\share\", "\\?\C:\",
// "\\?\UNC\server\share\", "\\?\Volume{...}\"; 0 for a relative path.
size_t RootLength(const std::wstring& path) {
  // The end of the part starting at `from`, with its separator when there is one.
  auto partEnd = [&path](size_t from) {
    const size_t separator = path.find(L'\\', from);
    return separator == std::wstring::npos ? path.size() : separator + 1;
  };
  if (path.compare(0, 4, L"\\\\?\\") == 0 || path.compare(0, 4, L"\\\\.\\") == 0) {
    if (SameLetters(path.substr(4, 4), L"UNC\\")) return partEnd(partEnd(8));
    return partEnd(4);  // "C:\\" or a volume's name
  }
  if (path.compare(0, 2, L"\\\\") == 0) return partEnd(partEnd(2));
  if (path.size() >= 2 && path[1] == L':') return path.size() >= 3 && path[2] == L'\\' ? 3 : 2;
  if (!path.empty() && path[0] == L'\\') return 1;
  return 0;
}

}  // namespace

std::wstring NormalizedPath(const std::wstring& path) {
  std::wstring text = path;
  for (wchar_t& c : text) {
    if (c == L'/') c = L'\\';
  }
  const size_t rootLength = RootLength(text);
  std::wstring root = text.substr(0, rootLength);
  if (!root.empty() && root.size() > 3 && root.back() != L'\\') root += L'\\';  // a share named without its separator
  std::vector<std::wstring> parts;
  size_t start = rootLength;
  while (start < text.size()) {
    size_t end = text.find(L'\\', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring part = text.substr(start, end - start);
    start = end + 1;
    if (part == L"..") {
      if (!parts.empty() && parts.back() != L"..") {
        parts.pop_back();
      } else if (rootLength == 0) {
        parts.push_back(part);  // above a relative path's start: left for whoever resolves it
      }
      continue;
    }
    while (!part.empty() && IsTrailingDrop(part.back())) part.pop_back();
    if (!part.empty()) parts.push_back(part);
  }
  std::wstring normalized = root;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) normalized += L'\\';
    normalized += parts[i];
  }
  return normalized;
}

std::wstring NumberedName(const std::wstring& prefix, uint32_t number, const std::wstring& suffix) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring name = prefix;
  for (int shift = 28; shift >= 0; shift -= 4) name += kDigits[(number >> shift) & 0xF];
  return name + suffix;
}

bool IsNumberedName(const std::wstring& name, const std::wstring& prefix, const std::wstring& suffix) {
  const size_t kDigits = 8;
  if (name.size() != prefix.size() + kDigits + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(prefix.size() + kDigits, suffix.size(), suffix) != 0) {
    return false;
  }
  for (size_t i = prefix.size(); i < prefix.size() + kDigits; ++i) {
    const wchar_t c = name[i];
    if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) return false;
  }
  return true;
}
