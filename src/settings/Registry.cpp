// Registry access: typed values, the settings root key and history entries.
#include "settings/Registry.h"

#include <algorithm>
#include <cwchar>
#include <vector>

#include "base/ResourceText.h"

namespace {

static_assert(kRegTypeString == REG_SZ && kRegTypeExpandString == REG_EXPAND_SZ,
              "the string rule numbers value types as the registry does");

const REGSAM kWriteAccess = KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE;

// The first query of a string value; the buffer doubles from here while the value is larger.
const DWORD kInitialStringChars = 1024;

}  // namespace

bool OpenForRead(HKEY parent, const std::wstring& path, CKeyHandle* key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  key->Reset(opened);
  return true;
}

bool OpenForWrite(HKEY parent, const std::wstring& path, CKeyHandle* key) {
  HKEY opened = nullptr;
  if (RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kWriteAccess,
                      nullptr, &opened, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  key->Reset(opened);
  return true;
}

bool ReadDword(HKEY key, const wchar_t* name, uint32_t* value) {
  DWORD data = 0;
  DWORD type = REG_NONE;
  DWORD bytes = sizeof data;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &bytes) !=
      ERROR_SUCCESS) {
    return false;
  }
  // A REG_DWORD set by hand with fewer bytes would leave part of the number unread.
  if (type != REG_DWORD || bytes != sizeof data) return false;
  *value = data;
  return true;
}

bool ReadDword(HKEY key, const wchar_t* name, int32_t* value) {
  uint32_t data = 0;
  if (!ReadDword(key, name, &data)) return false;
  *value = static_cast<int32_t>(data);
  return true;
}

bool ReadFlag(HKEY key, const wchar_t* name, bool* value) {
  uint32_t data = 0;
  if (!ReadDword(key, name, &data)) return false;
  *value = data != 0;
  return true;
}

bool ReadString(HKEY key, const wchar_t* name, std::wstring* value) {
  std::vector<wchar_t> buffer;
  DWORD chars = kInitialStringChars;
  DWORD type = REG_NONE;
  DWORD bytes = 0;
  for (;;) {
    buffer.assign(chars, L'\0');
    bytes = static_cast<DWORD>(chars * sizeof(wchar_t));
    LONG status =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    if (status == ERROR_SUCCESS) break;
    if (status != ERROR_MORE_DATA || chars >= kMaxRegStringChars) return false;
    chars *= 2;
  }
  // Only what was filled in counts.
  if (bytes > buffer.size() * sizeof(wchar_t)) return false;
  return RegistryStringText(type, reinterpret_cast<const uint8_t*>(buffer.data()), bytes, value);
}

bool WriteDword(HKEY key, const wchar_t* name, uint32_t value) {
  DWORD data = value;
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                        sizeof data) == ERROR_SUCCESS;
}

bool WriteDword(HKEY key, const wchar_t* name, int32_t value) {
  return WriteDword(key, name, static_cast<uint32_t>(value));
}

bool WriteFlag(HKEY key, const wchar_t* name, bool value) {
  return WriteDword(key, name, static_cast<uint32_t>(value ? 1 : 0));
}

bool WriteString(HKEY key, const wchar_t* name, const std::wstring& value) {
  if (value.size() + 1 > kMaxRegStringChars) return false;
  DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        bytes) == ERROR_SUCCESS;
}

bool ReadCount(HKEY key, size_t bound, size_t* count) {
  DWORD data = 0;
  DWORD type = REG_NONE;
  DWORD bytes = sizeof data;
  LONG status =
      RegQueryValueExW(key, L"Count", nullptr, &type, reinterpret_cast<BYTE*>(&data), &bytes);
  if (status == ERROR_FILE_NOT_FOUND) {
    *count = 0;
    return true;
  }
  if (status != ERROR_SUCCESS || type != REG_DWORD || bytes != sizeof data) return false;
  int32_t stored = static_cast<int32_t>(data);
  if (stored < 0) {
    *count = 0;
  } else {
    *count = std::min(static_cast<size_t>(stored), bound);
  }
  return true;
}

std::wstring ListEntryPath(const std::wstring& listPath, size_t index) {
  wchar_t number[24];
  std::swprintf(number, 24, L"%02lu", static_cast<unsigned long>(index));
  return listPath + L"\\" + number;
}

bool CSettingsKey::Open(HKEY hive, unsigned makerId, unsigned productId) {
  std::wstring maker;
  std::wstring product;
  if (!LoadResourceString(&maker, makerId) || !LoadResourceString(&product, productId)) {
    return false;
  }
  std::wstring path = L"Software\\" + maker + L"\\" + product + L"32";
  CKeyHandle root;
  if (!OpenForWrite(hive, path, &root)) return false;
  std::swap(m_root, root);  // `root` now closes the handle of an earlier open
  m_hive = hive;
  m_rootPath = path;
  return true;
}

std::wstring CSettingsKey::Path(const std::wstring& name) const {
  return m_rootPath + L"\\" + name;
}

bool CRegString::Load(HKEY parent, const std::wstring& path, std::wstring* value) {
  CKeyHandle key;
  return OpenForRead(parent, path, &key) && ReadString(key.Get(), L"", value);
}

bool CRegString::Save(HKEY parent, const std::wstring& path, const std::wstring& value) {
  CKeyHandle key;
  return OpenForWrite(parent, path, &key) && WriteString(key.Get(), L"", value);
}
