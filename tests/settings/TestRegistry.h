// A private registry key per test, under HKEY_CURRENT_USER\Software\Kestrelle tests, used as the
// hive of the code under test and removed with everything below it when the test ends. Values
// are planted and read back with the raw registry calls. Code that names HKEY_CURRENT_USER
// itself runs against the key once it stands in for it; a program started as another process
// is reached by no such stand-in, and CSetAsideKey keeps the user's own key out of its way.
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
  // Makes the key this process's HKEY_CURRENT_USER (RegOverridePredefKey) until the object ends.
  // Only what is opened through HKEY_CURRENT_USER afterwards is redirected, and only in this
  // process. The window system is started first: the first window of a process reads the
  // user's theme through HKEY_CURRENT_USER, and must find the user's own.
  bool StandInForCurrentUser();
  // The key stays when the object ends: what it holds is the only copy of something of the user's.
  void Keep() { m_keep = true; }
  const std::wstring& Path() const { return m_path; }
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
  bool m_standsIn = false;
  bool m_keep = false;
};

// Sets the key at `path` below HKEY_CURRENT_USER aside for its lifetime: copies it (when it
// exists) into a private key and removes it, so that a program run by the test starts without
// it; at the end removes whatever the test left there and puts back exactly what was set aside,
// also when the test failed, and removes the parent keys that did not exist before and are
// empty. When the copy fails the key is left where it is and IsSetAside() is false.
class CSetAsideKey {
public:
  explicit CSetAsideKey(const std::wstring& path);
  ~CSetAsideKey();
  CSetAsideKey(const CSetAsideKey&) = delete;
  CSetAsideKey& operator=(const CSetAsideKey&) = delete;

  bool IsSetAside() const { return m_setAside; }

private:
  std::wstring m_path;
  CTestRegistry m_store;
  bool m_existed = false;
  bool m_setAside = false;
  std::wstring m_firstMissing;  // the outermost key of `path` that did not exist; empty if none
};

// Everything at `path` below `parent` as text: each value's name, type and bytes, then each
// subkey's the same way, in name order; "missing" when the key does not open.
std::string KeyTreeText(HKEY parent, const std::wstring& path);

// The settings tree's path below a test hive, as the string table names it.
extern const std::wstring kSettingPath;
