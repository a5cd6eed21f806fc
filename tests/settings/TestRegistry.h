// A private registry key per test, under HKEY_CURRENT_USER\Software\Kestrelle tests, used as the
// hive of the code under test and removed with everything below it when the test ends. Values
// are planted and read back with the raw registry calls.
#pragma once

#include <windows.h>

#include <string>

#include "settings/Registry.h"

class CTestRegistry {
public:
  CTestRegistry();
  ~CTestRegistry();
  CTestRegistry(const CTestRegistry&) = delete;
  CTestRegistry& operator=(const CTestRegistry&) = delete;

  HKEY Hive() const { return m_key.Get(); }
  bool Exists(const std::wstring& path) const;
  // Creates the key when needed and stores `bytes` bytes of `data`.
  void Set(const std::wstring& path, const wchar_t* name, DWORD type, const void* data,
           size_t bytes) const;
  void Set(const std::wstring& path, const wchar_t* name, DWORD value) const;
  void Set(const std::wstring& path, const wchar_t* name, const std::wstring& text) const;
  // "<type>:<bytes in hex>", or "missing".
  std::string Get(const std::wstring& path, const wchar_t* name) const;

private:
  std::wstring m_path;  // below HKEY_CURRENT_USER
  CKeyHandle m_key;
};

// The settings tree's path below a test hive, as the string table names it.
extern const std::wstring kSettingPath;
