// Whole-file reading and all-or-nothing writing of picture files.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

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
