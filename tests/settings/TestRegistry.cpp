// Private registry keys for tests.
#include "settings/TestRegistry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <vector>

const std::wstring kSettingPath = L"Software\\Orvandel\\Kestrelle32\\Setting";

namespace {

const wchar_t kTestsPath[] = L"Software\\Kestrelle tests";

}  // namespace

CTestRegistry::CTestRegistry() {
  static std::atomic<int> counter(0);
  m_path = std::wstring(kTestsPath) + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter);
  RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
  EXPECT_EQ(ERROR_SUCCESS, OpenForWrite(HKEY_CURRENT_USER, m_path, &m_key));
}

CTestRegistry::~CTestRegistry() {
  m_key.Close();
  RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, kTestsPath);  // only once no other test's key is left
}

bool CTestRegistry::Exists(const std::wstring& path) const {
  CKeyHandle key;
  return OpenForRead(Hive(), path, &key) == ERROR_SUCCESS;
}

void CTestRegistry::Set(const std::wstring& path, const wchar_t* name, DWORD type,
                        const void* data, size_t bytes) const {
  CKeyHandle key;
  ASSERT_EQ(ERROR_SUCCESS, OpenForWrite(Hive(), path, &key));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.Get(), name, 0, type, static_cast<const BYTE*>(data),
                                          static_cast<DWORD>(bytes)));
}

void CTestRegistry::Set(const std::wstring& path, const wchar_t* name, DWORD value) const {
  Set(path, name, REG_DWORD, &value, sizeof value);
}

void CTestRegistry::Set(const std::wstring& path, const wchar_t* name,
                        const std::wstring& text) const {
  Set(path, name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

std::string CTestRegistry::Get(const std::wstring& path, const wchar_t* name) const {
  CKeyHandle key;
  DWORD type = 0;
  std::vector<unsigned char> data(256);
  DWORD size = static_cast<DWORD>(data.size());
  if (OpenForRead(Hive(), path, &key) != ERROR_SUCCESS ||
      RegQueryValueExW(key.Get(), name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
    return "missing";
  }
  std::string text = std::to_string(type) + ":";
  char hex[4];
  for (DWORD i = 0; i < size; ++i) {
    std::snprintf(hex, sizeof hex, "%02x", data[i]);
    text += hex;
  }
  return text;
}
