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

// Reads the whole file. E_NOTIMPL when it is missing or unreadable (the load failure of a
// shrink), HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY) when it does not fit in memory.
HRESULT ReadWholeFile(const std::wstring& path, std::vector<uint8_t>* data);

// Writes the bytes to a temporary file beside `path` and then moves it over `path`, so a failed
// write never leaves a partial file under the real name nor destroys an existing one.
// E_FAIL on any failure, with the temporary file removed.
HRESULT WriteFileReplacing(const std::wstring& path, const uint8_t* data, size_t size);

// True when a folder exists at `path` (of any length, read as ExtendedPath reads it).
bool IsExistingFolder(const std::wstring& path);
