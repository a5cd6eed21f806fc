// Typed access to the per-user registry: key handles, reads and writes with one failure
// convention, the settings root key and the storage of one history entry.
//
// Paths are relative to the hive passed in (HKEY_CURRENT_USER in the program) and are built by
// plain concatenation. Opens, reads and writes return a success flag; a failed open leaves the
// key handle as it was, a failed read its destination. Nothing here throws on a registry failure.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "base/Handle.h"
#include "base/RegistryText.h"

// Opens `path` below `parent` with KEY_READ.
bool OpenForRead(HKEY parent, const std::wstring& path, CKeyHandle* key);
// Opens or creates `path` (and its missing parents) with read, create-sub-key and set-value rights.
bool OpenForWrite(HKEY parent, const std::wstring& path, CKeyHandle* key);

// A REG_DWORD of exactly four bytes; anything else fails.
bool ReadDword(HKEY key, const wchar_t* name, int32_t* value);
bool ReadDword(HKEY key, const wchar_t* name, uint32_t* value);
// As ReadDword; any non-zero value is true.
bool ReadFlag(HKEY key, const wchar_t* name, bool* value);
// A REG_SZ or REG_EXPAND_SZ value, by the rule of RegistryStringText. An empty name reads the
// key's unnamed value.
bool ReadString(HKEY key, const wchar_t* name, std::wstring* value);

bool WriteDword(HKEY key, const wchar_t* name, uint32_t value);
bool WriteDword(HKEY key, const wchar_t* name, int32_t value);
// 1 for true, 0 for false.
bool WriteFlag(HKEY key, const wchar_t* name, bool value);
// REG_SZ with its terminator. Fails, writing nothing, for a text that ReadString would refuse as
// too long.
bool WriteString(HKEY key, const wchar_t* name, const std::wstring& value);

// The "Count" value of a list key, as a number of entries at most `bound`. A missing value is 0
// and so is a negative one; a larger one is cut to `bound`. A value that is not a four-byte
// REG_DWORD fails, so that the bytes of a string are never taken for a number.
bool ReadCount(HKEY key, size_t bound, size_t* count);

// Key of entry `index` of the list at `listPath`: "<listPath>\NN", at least two digits.
std::wstring ListEntryPath(const std::wstring& listPath, size_t index);

// The settings root key: <hive>\Software\<maker>\<product>32, the two names taken from the
// string table. Opening it creates it, so even a first load leaves the empty root behind.
class CSettingsKey {
public:
  CSettingsKey() = default;
  CSettingsKey(const CSettingsKey&) = delete;
  CSettingsKey& operator=(const CSettingsKey&) = delete;

  // A missing name fails before anything is created. The hive, path and handle of an earlier
  // open are replaced only on success.
  bool Open(HKEY hive, unsigned makerId, unsigned productId);
  HKEY Hive() const { return m_hive; }
  // Root path + "\" + name.
  std::wstring Path(const std::wstring& name) const;

private:
  HKEY m_hive = nullptr;
  std::wstring m_rootPath;
  CKeyHandle m_root;
};

// How one history entry is stored: the unnamed string value of its own key.
class CRegString {
public:
  static bool Load(HKEY parent, const std::wstring& path, std::wstring* value);
  static bool Save(HKEY parent, const std::wstring& path, const std::wstring& value);
};
