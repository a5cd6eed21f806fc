// Private registry keys for tests.
#include "settings/TestRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

const std::wstring kSettingPath = L"Software\\Orvandel\\Kestrelle32\\Setting";

namespace {

const wchar_t kTestsPath[] = L"Software\\Kestrelle tests";

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
  return narrow;
}

void AppendTree(HKEY key, const std::string& indent, std::string* text) {
  std::vector<std::wstring> names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD length = 16384;
    if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(name, length);
  }
  std::sort(names.begin(), names.end());
  for (const std::wstring& name : names) {
    DWORD type = 0, size = 0;
    RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
    std::vector<unsigned char> data(size + 1);
    RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
    *text += indent + "\"" + Narrow(name) + "\" " + std::to_string(type) + ":";
    char hex[4];
    for (DWORD b = 0; b < size; ++b) {
      std::snprintf(hex, sizeof hex, "%02x", data[b]);
      *text += hex;
    }
    *text += "\n";
  }
  names.clear();
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(name, length);
  }
  std::sort(names.begin(), names.end());
  for (const std::wstring& name : names) {
    *text += indent + "[" + Narrow(name) + "]\n";
    CKeyHandle subkey;
    if (OpenForRead(key, name, &subkey)) AppendTree(subkey.Get(), indent + "  ", text);
  }
}

}  // namespace

std::string KeyTreeText(HKEY parent, const std::wstring& path) {
  CKeyHandle key;
  if (!OpenForRead(parent, path, &key)) return "missing";
  std::string text;
  AppendTree(key.Get(), "", &text);
  return text;
}

CTestRegistry::CTestRegistry() {
  static std::atomic<int> counter(0);
  m_path = std::wstring(kTestsPath) + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter);
  RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
  EXPECT_TRUE(OpenForWrite(HKEY_CURRENT_USER, m_path, &m_key));
}

CTestRegistry::~CTestRegistry() {
  if (m_standsIn) RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  m_key.Close();
  if (m_keep) return;
  RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, kTestsPath);  // only once no other test's key is left
}

bool CTestRegistry::StandInForCurrentUser() {
  DestroyWindow(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr));
  if (!m_standsIn) m_standsIn = RegOverridePredefKey(HKEY_CURRENT_USER, Hive()) == ERROR_SUCCESS;
  return m_standsIn;
}

bool CTestRegistry::Exists(const std::wstring& path) const {
  CKeyHandle key;
  return OpenForRead(Hive(), path, &key);
}

void CTestRegistry::Set(const std::wstring& path, const wchar_t* name, DWORD type,
                        const void* data, size_t bytes) const {
  CKeyHandle key;
  ASSERT_TRUE(OpenForWrite(Hive(), path, &key));
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
  if (!OpenForRead(Hive(), path, &key) ||
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

CSetAsideKey::CSetAsideKey(const std::wstring& path) : m_path(path) {
  for (size_t end = 0; end != std::wstring::npos;) {
    end = m_path.find(L'\\', end + 1);
    const std::wstring outer = m_path.substr(0, end);
    CKeyHandle key;
    if (!OpenForRead(HKEY_CURRENT_USER, outer, &key)) {
      m_firstMissing = outer;
      break;
    }
  }
  if (m_firstMissing.empty()) {
    CKeyHandle source, copy;
    if (!OpenForRead(HKEY_CURRENT_USER, m_path, &source) ||
        !OpenForWrite(m_store.Hive(), L"saved", &copy) ||
        RegCopyTreeW(source.Get(), nullptr, copy.Get()) != ERROR_SUCCESS) {
      ADD_FAILURE() << "the key to set aside could not be copied; it is left alone";
      return;
    }
    m_existed = true;
    // From here on the copy is the user's key: it stays if the key cannot be put back.
    if (RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str()) != ERROR_SUCCESS) {
      ADD_FAILURE() << "the key to set aside could not be removed";
    }
  }
  m_setAside = true;
}

CSetAsideKey::~CSetAsideKey() {
  if (!m_setAside) return;
  RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
  if (m_existed) {
    CKeyHandle saved, target;
    if (!OpenForRead(m_store.Hive(), L"saved", &saved) ||
        !OpenForWrite(HKEY_CURRENT_USER, m_path, &target) ||
        RegCopyTreeW(saved.Get(), nullptr, target.Get()) != ERROR_SUCCESS) {
      m_store.Keep();
      ADD_FAILURE() << "the key set aside could not be put back; its copy stays below "
                       "HKEY_CURRENT_USER\\"
                    << std::string(m_store.Path().begin(), m_store.Path().end()) << "\\saved";
    }
    return;
  }
  // Parents the test's program created are removed from the inside out, each only when empty.
  for (std::wstring outer = m_path; outer.size() > m_firstMissing.size();) {
    outer.resize(outer.find_last_of(L'\\'));
    RegDeleteKeyW(HKEY_CURRENT_USER, outer.c_str());
  }
}
