// Paths as the file functions take them: absolute and extended forms of any length, whether
// something exists at a path, and which spellings and names are one file.
#pragma once

#include <windows.h>

#include <string>

// The running program's own file (GetModuleFileNameW, of any length); empty when unknown.
std::wstring ProgramFile();

// `path` made absolute against the current folder (GetFullPathNameW); unchanged when that fails.
std::wstring FullPath(const std::wstring& path);

// `path` made absolute against the current folder and its spelling resolved (NormalizedPath,
// base/PathNames.h): what every path from outside the program (a drop, a hand-over, the command
// line) becomes before it is listed, checked or named. Empty stays empty.
std::wstring ResolvedPath(const std::wstring& path);

// True when `path` lies below `folder` (not at it), both resolved (ResolvedPath) and compared
// with letter case ignored, as the file system compares names. Text only: nothing is looked up,
// so a link inside `folder` counts as inside.
bool IsPathUnder(const std::wstring& folder, const std::wstring& path);

// The form of `path` that the file functions accept beyond 260 characters ("\\?\C:\..." or
// "\\?\UNC\server\share\..."). An absolute path in canonical form keeps every character,
// trailing blanks and dots included; other paths are made absolute first. Empty stays empty.
std::wstring ExtendedPath(const std::wstring& path);

// True when anything, file or folder, exists at `path` (of any length).
bool PathExists(const std::wstring& path);

// `text` with its letters folded to upper case as the file system folds them when it compares
// names (CharUpperBuffW): two names that differ only in letter case become one.
std::wstring UpperCase(std::wstring text);

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

// True when a folder exists at `path` (of any length, read as ExtendedPath reads it).
bool IsExistingFolder(const std::wstring& path);
