// Splitting and joining of path texts (backslash or slash separators, drive letters).
#pragma once

#include <string>

struct SplitName {
  std::wstring base;       // file name up to its last "."
  std::wstring extension;  // after the last ".", empty without one
};

SplitName SplitFileName(const std::wstring& path);

// folder + "\" + name; no separator after an empty folder or one ending in "\", "/" or ":".
std::wstring AppendPath(const std::wstring& folder, const std::wstring& name);
