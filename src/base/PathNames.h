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

// The longest name of one file or folder that the file systems take, in UTF-16 units.
const size_t kMaxFileNameLength = 255;

// True when `text` has a character that no file name may hold: \ / : * ? " < > | or a control
// character. A name with ":" would name a stream of another file, one with a separator another
// folder.
bool HasCharacterForbiddenInNames(const std::wstring& text);

// True when `name` is the name of a file right inside a folder: not empty, within
// kMaxFileNameLength, no forbidden character, and not ending in a blank or a dot (which the file
// system would drop, giving another name; "." and ".." among them).
bool IsPlainFileName(const std::wstring& name);

// `name` made into a name of a file right inside a folder, for names that come from elsewhere:
// every character HasCharacterForbiddenInNames finds, separators included, and every blank or dot
// at the end become "_", and an empty name is "_". So "..\\x.jpg" becomes ".._x.jpg" and ".."
// becomes "__": no such name reaches another folder. The length is left as it is.
std::wstring PlainFileNameFrom(const std::wstring& name);
