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

// The names of the temporary files of WriteNewFile, as a search pattern: "~kestrelle-", eight
// hexadecimal digits, ".tmp". Outputs end in ".png" or ".jpg", so none is ever taken for one.
extern const wchar_t kTemporaryFilePattern[];

// True for a name of kTemporaryFilePattern's form exactly (lower-case digits, as they are made).
bool IsTemporaryFileName(const std::wstring& name);

// Writes the bytes to a temporary file beside `path` and then gives it the name `path`, so a
// failed write never leaves a partial file under the real name. Nothing is ever replaced: when a
// file exists at `path` by the time the bytes are written, the write fails with
// HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) and that file is left as it is. The temporary file has
// a short name of its own that no output can have (kTemporaryFilePattern), made new for every
// write, so a name of any allowed length can be written and a file left by a crash is never
// reused nor replaced. On failure, the system's reason (disk full, access denied, ...) as an
// HRESULT, with the temporary file removed.
HRESULT WriteNewFile(const std::wstring& path, const uint8_t* data, size_t size);

// Deletes the temporary files that writes in `folder` left behind when their process ended
// during a write (killed, or the machine stopped): only names of kTemporaryFilePattern's form,
// and only those no process has open, so another job's write in progress is never touched.
// Returns how many were deleted.
int RemoveAbandonedTemporaryFiles(const std::wstring& folder);
