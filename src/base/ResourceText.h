// String-table texts and the system's texts of failure codes, for every message the program shows.
#pragma once

#include <string>

// Loads string-table entry `id` of any length; false (and `out` empty) when there is none.
bool LoadResourceString(std::wstring* out, unsigned id);

// Loads entry `id` and formats it printf-style with the arguments, truncating at the format's
// length plus 1,023 characters. False (and `out` unchanged) when the entry is missing.
bool FormatResourceString(std::wstring* out, unsigned id, ...);

// The same, as the returned text; empty when the entry is missing.
std::wstring ResourceString(unsigned id);
std::wstring FormattedResourceString(unsigned id, ...);

// The system's text for a failure code (its trailing line end included); Win32-facility codes
// use their low 16 bits. "Unknown HRESULT: <hex>" when the system has no text.
std::wstring HResultText(long code);
