// A fresh folder under the temporary folder, removed with everything in it at the end of a test.
#pragma once

#include <string>

class CTempDir {
public:
  CTempDir();
  ~CTempDir();
  CTempDir(const CTempDir&) = delete;
  CTempDir& operator=(const CTempDir&) = delete;

  const std::wstring& Path() const { return m_path; }
  // Path of a name inside the folder.
  std::wstring operator/(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
  std::wstring m_path;
};

// File helpers that take paths of any length.
bool FileExists(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
// Creates the folder and every missing one above it; whether it exists afterwards.
bool MakeFolders(const std::wstring& path);
// Entries of `folder` matching `pattern` ("." and ".." not counted).
int CountEntries(const std::wstring& folder, const wchar_t* pattern = L"*");
// A folder path below `base` of at least `length` characters, with Japanese in every level.
std::wstring DeepFolder(const std::wstring& base, size_t length);
