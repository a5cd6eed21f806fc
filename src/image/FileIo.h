// Whole-file reading and all-or-nothing writing of picture files.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// `path` made absolute against the current folder (GetFullPathNameW); unchanged when that fails.
std::wstring FullPath(const std::wstring& path);

// The form of `path` that the file functions accept beyond 260 characters ("\\?\C:\..." or
// "\\?\UNC\server\share\..."). An absolute path in canonical form keeps every character,
// trailing blanks and dots included; other paths are made absolute first. Empty stays empty.
std::wstring ExtendedPath(const std::wstring& path);

// True when anything, file or folder, exists at `path` (of any length).
bool PathExists(const std::wstring& path);

// The spelling under which two names of one path compare equal, as the file functions resolve
// them: the extended form of `path` ("." and ".." resolved, backslashes, one "\\?\" prefix),
// short (8.3) names of the levels that exist expanded, letters folded to upper case.
std::wstring ComparablePath(const std::wstring& path);

// What the file system says identifies a file, whatever its name: the volume and the file's index
// on it. Two hard links of one file have the same identity.
struct FileIdentity {
  DWORD volume = 0;
  DWORD indexHigh = 0;
  DWORD indexLow = 0;
  bool operator<(const FileIdentity& other) const;
  bool operator==(const FileIdentity& other) const;
};

// False when nothing can be opened at `path`.
bool GetFileIdentity(const std::wstring& path, FileIdentity* identity);

// Reads the whole file. The system's reason as an HRESULT when it cannot be opened or read (not
// found, access denied, in use), HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY) when it does not fit
// in memory.
HRESULT ReadWholeFile(const std::wstring& path, std::vector<uint8_t>* data);

// The names of the temporary files of WriteFileReplacing, as a search pattern: "~kestrelle-",
// eight hexadecimal digits, ".tmp". Outputs end in ".png" or ".jpg", so none is ever taken for one.
extern const wchar_t kTemporaryFilePattern[];

// Writes the bytes to a temporary file beside `path` and then moves it over `path`, so a failed
// write never leaves a partial file under the real name nor destroys an existing one. The
// temporary file has a short name of its own that no output can have (kTemporaryFilePattern),
// made new for every write, so a name of any allowed length can be written and a file left by a
// crash is never reused nor replaced. E_FAIL on any failure, with the temporary file removed.
HRESULT WriteFileReplacing(const std::wstring& path, const uint8_t* data, size_t size);

// True when a folder exists at `path` (of any length, read as ExtendedPath reads it).
bool IsExistingFolder(const std::wstring& path);
