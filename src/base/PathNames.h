// Splitting and joining of path texts (backslash or slash separators, drive letters).
#pragma once

#include <cstdint>
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

// True when `name` is one that Windows keeps for a device: CON, PRN, AUX, NUL, COM1 to COM9 and
// LPT1 to LPT9 (and COM or LPT with a superscript 1, 2 or 3), in any letter case, alone or with
// any extension, blanks before the first dot ignored ("con.jpg", "Nul.tar.gz", "AUX .png",
// "com1."). A file of such a name, made through an extended path, is one that Explorer, "type"
// and "del" cannot open, rename or delete.
bool IsReservedDeviceName(const std::wstring& name);

// True when `name` is the name of a file right inside a folder: not empty, within
// kMaxFileNameLength, no forbidden character, not ending in a blank or a dot (which the file
// system would drop, giving another name; "." and ".." among them), and no device's name.
bool IsPlainFileName(const std::wstring& name);

// `name` made into a name of a file right inside a folder, for names that come from elsewhere:
// every character HasCharacterForbiddenInNames finds, separators included, and every blank or dot
// at the end become "_", an empty name is "_", and a device's name (IsReservedDeviceName) gets a
// "_" in front. So "..\\x.jpg" becomes ".._x.jpg", ".." becomes "__" and "CON.jpg" "_CON.jpg": no
// such name reaches another folder or a device. The length is otherwise left as it is.
std::wstring PlainFileNameFrom(const std::wstring& name);

// `path` with its spelling resolved as the file functions resolve it, on text alone: "/" made
// "\", repeated separators one, "." parts dropped, each ".." taking away the part before it (never
// the root: "C:\..\x" is "C:\x"), blanks and dots at the end of each part dropped (a part of dots
// and blanks alone goes with them), and no separator at the end but the root's. The root ("C:\",
// "\\server\share\", "\\?\C:\", "\\?\UNC\server\share\") is kept as written; a relative path
// keeps the ".." parts it cannot resolve. Made absolute first (ResolvedPath, base/FilePaths.h), a
// path's last part is the name of what it names: a dropped "Trip\.." is the folder above Trip,
// not a folder named "..".
std::wstring NormalizedPath(const std::wstring& path);

// The names the program gives what it makes for itself beside the user's files (a temporary
// file, a drop folder): `prefix`, `number` in eight lower-case hexadecimal digits, `suffix`; and
// whether `name` is such a name, so that a later run can tell them from the user's.
std::wstring NumberedName(const std::wstring& prefix, uint32_t number, const std::wstring& suffix);
bool IsNumberedName(const std::wstring& name, const std::wstring& prefix, const std::wstring& suffix);
